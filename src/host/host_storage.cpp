// The device host's stores and the folders it names: free space, special
// folders, the temporary, program and installer folders, and the storage
// roots a program may be installed on.
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <memory>

#include "core/path_text.h"
#include "core/split_path.h"
#include "fileutil/file_util.h"
#include "host/wince_hal_access.h"
#include "host/host_paths.h"
#include "platform/device_config.h"
#include "platform/device_root.h"
#include "platform/store_space.h"
#include "platform/win_error.h"

namespace druvex {

namespace {

using host_paths::fail;

constexpr int kCsidlWindows = 36;
constexpr int kCsidlProgramFiles = 38;
// Device types whose program launcher lives on the "ROMDisk" volume.
bool isTotalStation(DeviceType type)
{
    return type == DeviceType::TS_ONBOARD || type == DeviceType::TS_QM40 || type == DeviceType::TS_TSORLAN;
}

// Whether the profile mounts a storage card at the root folder `name`.
bool isMountedCard(const DeviceConfig& config, const SharedString& name)
{
    for (const DeviceStore& store : config.stores) {
        if (!store.mounted)
            continue;
        SharedString path = store.path;
        path.trimLeftChar(u'\\');
        path.trimLeftChar(u'/');
        path.trimRightChar(u'\\');
        path.trimRightChar(u'/');
        if (compareNoCase(path.c_str(), name.c_str()) == 0)
            return true;
    }
    return false;
}

}  // namespace

bool HalAccessWinCE::getStoreInformation(const SharedString& path, std::uint64_t& totalBytes,
                                         std::uint64_t& freeBytes)
{
    std::string host;
    if (!host_paths::toHost(path, host))
        return false;
    struct stat status {};
    if (::stat(host.c_str(), &status) != 0)
        return fail(kErrorPathNotFound);
    const std::shared_ptr<const DeviceConfig> config = activeDeviceConfig();
    SharedString devicePath;
    const DeviceStore* store = nullptr;
    if (DeviceRoot::instance().toDevicePath(host, devicePath))
        store = config->findStore(devicePath.view());
    std::uint64_t total = 0;
    std::uint64_t available = 0;
    if (!store || !store->total || !store->free) {
        struct statvfs volume {};
        if (::statvfs(host.c_str(), &volume) != 0)
            return fail(host_paths::errorFor(errno, host));
        // Whole 64-bit products: a store past 4 GiB must not wrap.
        total = std::uint64_t{volume.f_blocks} * volume.f_frsize;
        available = std::uint64_t{volume.f_bavail} * volume.f_frsize;
    }
    if (store && store->total)
        total = *store->total;
    if (store && store->free) {
        // What the program wrote or deleted since it first wrote there counts.
        const std::shared_ptr<StoreSpace> space = storeSpaceFor(host);
        available = space ? space->available() : *store->free;
    }
    totalBytes = total;
    freeBytes = available;
    return true;
}

bool HalAccessWinCE::getSpecialFolderPath(int csidl, SharedString& path)
{
    const std::shared_ptr<const DeviceConfig> config = activeDeviceConfig();
    const auto found = config->specialFolders.find(csidl);
    if (found == config->specialFolders.end() || found->second.isEmpty())
        return fail(kErrorFileNotFound);
    path = withTrailingBackslash(found->second);
    return true;
}

bool HalAccessWinCE::getTempPath(SharedString& path)
{
    const std::shared_ptr<const DeviceConfig> config = activeDeviceConfig();
    if (config->tempPath.isEmpty())
        return fail(kErrorPathNotFound);
    path = withTrailingBackslash(config->tempPath);
    return true;
}

bool HalAccessWinCE::getProgramPath(SharedString& path, const SharedString& storageRoot)
{
    if (isTotalStation(deviceTypeOrNone())) {
        path = makePath(nullptr, storageRoot.c_str(), u"Program", nullptr);
        return true;
    }
    // The program-files folder's own name, moved onto the chosen root.
    SharedString programFiles;
    SharedString name;
    if (getSpecialFolderPath(kCsidlProgramFiles, programFiles))
        name = getFileName(withoutTrailingSeparator(programFiles));
    if (name.isEmpty() || isPathSeparator(name[0]))
        name = u"Program Files";
    path = makePath(nullptr, storageRoot.c_str(), name.c_str(), nullptr);
    return true;
}

bool HalAccessWinCE::getPredefinedInstallPath(SharedString& path, bool)
{
    return getProgramPath(path, SharedString(u"/"));
}

bool HalAccessWinCE::getInstallerPath(SharedString& path)
{
    const DeviceType type = deviceTypeOrNone();
    SharedString base;
    if (type == DeviceType::KT_61)
        base = u"/SystemCF/Installer";
    else if (type == DeviceType::LQ5)
        base = u"/HardDisk/Installer";
    else if (!getSpecialFolderPath(kCsidlWindows, base))
        base = u"/windows";
    path = joinPath(base, SharedString(u"_QuendaSuperInstaller"));
    return true;
}

int HalAccessWinCE::enumerateStorageRoots(std::vector<SharedString>& roots)
{
    roots.clear();
    const DeviceType type = deviceTypeOrNone();
    if (isTotalStation(type)) {
        roots.emplace_back(u"/ROMDisk");
        return 1;
    }
    if (type != DeviceType::KT_61 && type != DeviceType::LQ5)
        roots.emplace_back(u"/");
    std::string rootFolder;
    std::vector<DeviceFolderEntry> entries;
    if (DeviceRoot::instance().toHostPath(u"\\", rootFolder) != 0 ||
        DeviceRoot::instance().listFolder(rootFolder, entries) != 0)
        return static_cast<int>(roots.size());
    const std::shared_ptr<const DeviceConfig> config = activeDeviceConfig();
    for (const DeviceFolderEntry& entry : entries) {
        if (!entry.isFolder || compareNoCase(entry.name.c_str(), u"Network") == 0)
            continue;
        if (isMountedCard(*config, entry.name))
            roots.push_back(entry.name);
    }
    return static_cast<int>(roots.size());
}

}  // namespace druvex

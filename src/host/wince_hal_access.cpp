// The device host's identity, its fixed answers, its shortcuts and its folder
// finder.
#include "host/wince_hal_access.h"

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "host/host_paths.h"
#include "host/shortcut_files.h"
#include "platform/device_config.h"
#include "platform/device_root.h"
#include "platform/process.h"
#include "platform/win_error.h"

namespace druvex {

namespace {

// One folder's entries, listed once and sorted like every listing of the device.
class DeviceFileFinder final : public HalFileFinder {
public:
    DeviceFileFinder(std::string hostFolder, std::vector<DeviceFolderEntry> entries)
        : hostFolder_(std::move(hostFolder)), entries_(std::move(entries))
    {
    }

    bool next() override
    {
        if (position_ < entries_.size())
            ++position_;
        return position_ < entries_.size();
    }
    SharedString name() const override { return current() ? current()->name : SharedString(); }
    std::uint64_t size() const override
    {
        const DeviceFolderEntry* entry = current();
        if (!entry || entry->isFolder)
            return 0;
        struct stat status {};
        const std::string path = hostFolder_ + "/" + entry->hostName;
        return ::stat(path.c_str(), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
    }
    bool isFolder() const override { return current() && current()->isFolder; }

private:
    const DeviceFolderEntry* current() const
    {
        return position_ < entries_.size() ? &entries_[position_] : nullptr;
    }

    std::string hostFolder_;
    std::vector<DeviceFolderEntry> entries_;
    std::size_t position_ = 0;
};

}  // namespace

HalAccessWinCE::HalAccessWinCE() = default;

HalAccessWinCE::~HalAccessWinCE()
{
    // Handles that scripts opened and never closed go with their host.
    for (const FileHandle handle : handles_)
        closeHandle(handle);
    // Programs it started and let go of are not left as zombies.
    reapEndedProcesses();
}

bool HalAccessWinCE::setFileForEveryone(const SharedString&)
{
    return true;
}

bool HalAccessWinCE::createShortcut(const Shortcut& shortcut, const SharedString& target)
{
    return createShortcutForDevice(*this, shortcut, target);
}

bool HalAccessWinCE::removeShortcut(const Shortcut& shortcut)
{
    return removeShortcutForDevice(*this, shortcut);
}

bool HalAccessWinCE::checkProcessActive(const SharedString&, bool&)
{
    return false;
}

bool HalAccessWinCE::getOSVersion(std::uint32_t& major, std::uint32_t& minor, std::uint32_t& servicePack,
                                  bool& isServer)
{
    const std::shared_ptr<const DeviceConfig> config = activeDeviceConfig();
    major = static_cast<std::uint32_t>(config->osVersion.major);
    minor = static_cast<std::uint32_t>(config->osVersion.minor);
    servicePack = 0;
    isServer = false;
    return true;
}

bool HalAccessWinCE::is64bitOS()
{
    return false;
}

std::uint32_t HalAccessWinCE::getLastError()
{
    return druvex::getLastError();
}

bool HalAccessWinCE::createFileFinder(const SharedString& folder, std::unique_ptr<HalFileFinder>& finder)
{
    finder.reset();
    std::string host;
    if (!host_paths::toHost(folder, host))
        return false;
    std::vector<DeviceFolderEntry> entries;
    if (DeviceRoot::instance().listFolder(host, entries) != 0)
        return false;
    if (entries.empty())
        return host_paths::fail(kErrorNoMoreFiles);
    finder = std::make_unique<DeviceFileFinder>(std::move(host), std::move(entries));
    return true;
}

bool HalAccessWinCE::reconnect()
{
    return true;
}

ConnectionState HalAccessWinCE::detectDeviceType(DeviceType& type)
{
    type = ::druvex::detectDeviceType();
    return ConnectionState::DEVICE_CONNECTED;
}

std::uint32_t HalAccessWinCE::registryViewAccess(std::uint32_t, const SharedString&)
{
    return 0;
}

}  // namespace druvex

#include "liveupdate/new_installer.h"

#include <cstdint>
#include <vector>

#include "core/app_log.h"
#include "data/installer_configuration.h"
#include "fileutil/file_util.h"
#include "hal/hal_access.h"
#include "liveupdate/live_update_context.h"
#include "liveupdate/package_installer.h"
#include "liveupdate/update_bulletin.h"
#include "liveupdate/update_patcher.h"
#include "platform/process.h"

namespace druvex {

namespace {

// The room a newer installer needs beyond its own size.
constexpr std::uint64_t kSaveFolderSlack = 16384;

SharedString preferredSaveFolder(HalAccess& host)
{
    DeviceType type = DeviceType::NONE;
    if (host.getDeviceType(type, false) != ConnectionState::DEVICE_CONNECTED)
        return {};
    if (type == DeviceType::KT_61)
        return SharedString(u"SystemCF");
    if (type == DeviceType::LQ5)
        return SharedString(u"/HardDisk");
    return {};
}

void launchFailed(LiveUpdateContext& context)
{
    context.setNewInstallerLaunchFailed(true);
}

}  // namespace

bool getNewInstallerEntry(LiveUpdateContext& context, std::shared_ptr<BulletinVersion>& version, int& index,
                          bool& platformMatched)
{
    const std::shared_ptr<UpdateBulletin>& bulletin = context.getUpdatePatcher().getBulletin();
    if (!bulletin || !bulletin->hasSeveralVersions())
        return false;
    const InstallerConfiguration& build = context.installerConfiguration();
    const TargetPlatform platform = context.getTargetPlatform();
    version = bulletin->findVersionWithPackage(build.getInstallerPlatform(), build.getInstallerType(), platform);
    return version &&
           version->findBestPackage(build.getInstallerPlatform(), build.getInstallerType(), platform, index,
                                    platformMatched);
}

bool getNewVersionInfo(LiveUpdateContext& context, SharedString& url, std::uint64_t& size)
{
    std::shared_ptr<BulletinVersion> version;
    int index = 0;
    bool matched = false;
    if (!getNewInstallerEntry(context, version, index, matched))
        return false;
    const FullInstallerEntry& entry = version->getFullInstaller(index);
    url = entry.url;
    size = entry.size;
    return true;
}

bool prepareNewVersionDownload(LiveUpdateContext& context, const SharedString& targetPath)
{
    SharedString url;
    std::uint64_t size = 0;
    if (targetPath.isEmpty() || !getNewVersionInfo(context, url, size))
        return false;
    context.buildPageSequenceForMode(kWizardModeNewVersionDownload);
    context.setNewVersionDownload(url, static_cast<std::uint32_t>(size), targetPath);
    return true;
}

int checkSaveFolderSpace(HalAccess& host, const SharedString& folder, std::uint64_t size)
{
    std::uint64_t total = 0;
    std::uint64_t available = 0;
    if (!host.getStoreInformation(folder, total, available))
        return kSaveSpaceUnknown;
    // Compared without adding to the size, which could wrap.
    if (available < size || available - size < kSaveFolderSlack)
        return kSaveSpaceTooSmall;
    if (!isFolderWritable(host, folder))
        return kSaveSpaceNotWritable;
    if (static_cast<double>(available) < 2.5 * static_cast<double>(size))
        return kSaveSpaceTight;
    return kSaveSpaceEnough;
}

bool findNewInstallerSaveFolder(HalAccess& host, std::uint64_t size, SharedString& folder, int& result)
{
    folder.clear();
    result = kSaveSpaceUnknown;
    // True when the candidate is taken with enough room, which ends the search.
    const auto consider = [&](const SharedString& candidate, bool forced) {
        const int answer = checkSaveFolderSpace(host, candidate, size);
        if (!forced && answer < result)
            return false;
        folder = candidate;
        result = answer;
        return answer == kSaveSpaceEnough;
    };
    const SharedString preferred = preferredSaveFolder(host);
    if (!preferred.isEmpty() && consider(preferred, true))
        return true;
    if (consider(SharedString(u"/"), preferred.isEmpty()))
        return true;
    std::vector<SharedString> roots;
    host.enumerateStorageRoots(roots);
    for (const SharedString& root : roots) {
        if (consider(root, false))
            return true;
    }
    return false;
}

int findNewInstallerTarget(LiveUpdateContext& context, SharedString& target)
{
    target.clear();
    SharedString url;
    std::uint64_t size = 0;
    if (!getNewVersionInfo(context, url, size))
        return -1;
    // The name comes from the update server: a backslash (a separator on
    // the device, and kept in an absolute address) or a dot folder would put
    // the program outside the save folder, over any file of the device.
    SharedString name = urlFileName(url);
    name.replaceChar(u'\\', u'_');
    if (name.isEmpty() || name.view() == u"." || name.view() == u"..")
        name = u"setup.exe";
    SharedString folder;
    int result = kSaveSpaceUnknown;
    findNewInstallerSaveFolder(*context.getHalIn(), size, folder, result);
    target = joinPath(folder, name);
    return result;
}

bool launchNewInstaller(LiveUpdateContext& context)
{
    SharedString url;
    std::uint64_t size = 0;
    SharedString target;
    context.getNewVersionDownload(url, size, target);
    HalAccess& host = *context.getHalIn();
    std::uint64_t actual = 0;
    if (target.isEmpty() || !host.getFileSize(target, actual)) {
        logPrintf(u"The newer installer %s cannot be started: the file is not there (error %u)", target,
                  host.getLastError());
        launchFailed(context);
        return false;
    }
    // The file may be older than this run's download (a run that ended
    // half-way, a copy put there by hand): one of another size than the
    // bulletin's is not the installer that was offered.
    if (actual != size) {
        logPrintf(u"The newer installer %s is deleted unstarted: it holds %I64u bytes, the bulletin announced %I64u",
                  target, actual, size);
        deleteFileOrLog(host, target);
        launchFailed(context);
        return false;
    }
    ProcessInformation process;
    if (!host.createProcess(target, SharedString(kDontCheckUniqueInstance), 0, process)) {
        logPrintf(u"The newer installer %s could not be started (error %u)", target, host.getLastError());
        launchFailed(context);
        return false;
    }
    closeProcessHandle(process.process);
    closeProcessHandle(process.thread);
    logPrintf(u"Started the newer installer %s", target);
    return true;
}

}  // namespace druvex

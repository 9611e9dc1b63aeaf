#include "controller/log_only_ui_callback.h"

#include <string>

#include "fileutil/operation_log.h"

namespace druvex {

// The answers are those that let an unattended run go on safely: keep what is
// installed unless told otherwise, never retry or skip a failed feature (the
// run fails instead), and roll a failed upgrade back.

LogOnlyUiCallback::LogOnlyUiCallback(UiCallbackController* controller)
{
    setController(controller);
}

int LogOnlyUiCallback::askExit()
{
    return 1;
}

int LogOnlyUiCallback::reportRapiSettingsProblem()
{
    return 0;
}

int LogOnlyUiCallback::reportNewerVersionInstalled(const SharedString&)
{
    return 1;
}

int LogOnlyUiCallback::reportAlreadyInstalled(const SharedString& name)
{
    std::u16string line(name.view());
    line += u" has already been installed. Continuing with the installation will remove it.";
    logInfo(line);
    return 1;
}

int LogOnlyUiCallback::askUseProxy()
{
    logInfo(u"Proxy settings set for this device. Ignored.");
    return 0;
}

int LogOnlyUiCallback::askStopUpdateSearch()
{
    return 1;
}

int LogOnlyUiCallback::reportNoUpdateServer(const std::shared_ptr<InstalledLog>&)
{
    return 1;
}

int LogOnlyUiCallback::askInstallRevision(const SharedString&)
{
    return 0;
}

int LogOnlyUiCallback::reportNewerRevisionInstalled(const SharedString&)
{
    return 0;
}

int LogOnlyUiCallback::reportNewInstallerReleased()
{
    return 1;
}

FileExistsAnswer LogOnlyUiCallback::askFileExists(const SharedString&, bool& applyToAll)
{
    applyToAll = true;
    return kFileExistsSkip;
}

int LogOnlyUiCallback::askStopEulaDownload()
{
    return 1;
}

int LogOnlyUiCallback::askRetryFeatureDownload(const SharedString& featureName, int)
{
    std::u16string line(u"An error occurred while trying to download the feature: ");
    line += featureName.view();
    logError(line);
    return 0;
}

int LogOnlyUiCallback::reportInstallToDestinationError(const SharedString&, const SharedString&)
{
    logError(u"An error occurred while trying to installing program's features");
    return 0;
}

int LogOnlyUiCallback::askSkipFeatureDownload(const SharedString&, int)
{
    return 0;
}

int LogOnlyUiCallback::askSkipFeatureInstall(const SharedString&, const SharedString&)
{
    return 0;
}

int LogOnlyUiCallback::reportUninstallFeaturesError()
{
    logError(u"An error occurred while trying to uninstall program's features");
    return 0;
}

int LogOnlyUiCallback::reportUninstallError()
{
    logError(u"An error occurred while trying to uninstall the program.");
    return 0;
}

int LogOnlyUiCallback::reportUninstallDeviceError()
{
    logError(u"An error occurred while trying to uninstall the program. Device not connected.");
    return 0;
}

int LogOnlyUiCallback::askRollback()
{
    logError((fromUtf8(failedRunKey()) + u" Rolling back...").view());
    return 1;
}

LockedFilesAnswer LogOnlyUiCallback::showLockedFiles(const std::vector<LockingProcess>&, int)
{
    logInfo(u"System reboot is required to finalize the installation.");
    return kLockedFilesIgnore;
}

int LogOnlyUiCallback::reportRebootNeeded()
{
    // Unlike the line of showLockedFiles, without a full stop: both lines are
    // kept as the log has always written them.
    logInfo(u"System reboot is required to finalize the installation");
    return 0;
}

int LogOnlyUiCallback::askInstallPcVersion()
{
    return 1;
}

}  // namespace druvex

// LogOnlyUiCallback: the UI callback of a run without a user (the controller
// holds it until the application puts its prompts in place, and a silent run
// keeps it). Every question gets a fixed answer, and what a person would have
// been told becomes a line of the application log.
#pragma once

#include "controller/installer_ui_callback.h"

namespace druvex {

class LogOnlyUiCallback final : public InstallerUiCallback {
public:
    // `controller` (may be null) names the program in the message texts.
    explicit LogOnlyUiCallback(UiCallbackController* controller);

    int askExit() override;
    int reportRapiSettingsProblem() override;
    int reportNewerVersionInstalled(const SharedString& version) override;
    int reportAlreadyInstalled(const SharedString& name) override;
    int askUseProxy() override;
    int askStopUpdateSearch() override;
    int reportNoUpdateServer(const std::shared_ptr<InstalledLog>& installedLog) override;
    int askInstallRevision(const SharedString& revision) override;
    int reportNewerRevisionInstalled(const SharedString& revision) override;
    int reportNewInstallerReleased() override;
    FileExistsAnswer askFileExists(const SharedString& file, bool& applyToAll) override;
    int askStopEulaDownload() override;
    int askRetryFeatureDownload(const SharedString& featureName, int reserved) override;
    int reportInstallToDestinationError(const SharedString& featureName, const SharedString& reason) override;
    int askSkipFeatureDownload(const SharedString& featureName, int reserved) override;
    int askSkipFeatureInstall(const SharedString& featureName, const SharedString& reason) override;
    int reportUninstallFeaturesError() override;
    int reportUninstallError() override;
    int reportUninstallDeviceError() override;
    int askRollback() override;
    LockedFilesAnswer showLockedFiles(const std::vector<LockingProcess>& processes, int reserved) override;
    int reportRebootNeeded() override;
    int askInstallPcVersion() override;
};

}  // namespace druvex

// InstallerUiCallback: every question and message that the installer logic
// and the installation engine address to the user, answered by the
// application's prompts or, in a silent run, by LogOnlyUiCallback. The base
// also builds the fixed user-facing message texts from translated templates
// and shows them through showMessage.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "data/wizard_ids.h"
#include "text/shared_string.h"

namespace druvex {

class InstalledLog;
struct LockingProcess;

// What the message texts need of the controller; the controller implements it.
class UiCallbackController {
public:
    virtual ~UiCallbackController() = default;
    // The installer settings' ProgramName.
    virtual SharedString getProgramName() const = 0;
    // The translated "{1} Installer" with the program's name; with
    // `preferShortName` its short name where the screen is small.
    virtual SharedString getInstallerTitle(bool preferShortName) const = 0;
    // The run's wizard mode (kModeNone before one is chosen): the questions
    // about a failed run name what it was doing.
    virtual WizardMode getWizardMode() { return kModeNone; }
};

// Severities of showMessage.
enum class MessageSeverity : std::int32_t {
    kMessageInformation = 0,
    kMessageWarning = 1,
    kMessageError = 2,
};
using enum MessageSeverity;

// The answers of askFileExists: what to do with a file that exists.
enum class FileExistsAnswer : std::int32_t {
    kFileExistsSkip = 0,
    kFileExistsOverwrite = 1,
    kFileExistsRename = 2,
};
using enum FileExistsAnswer;

// The answers of showLockedFiles.
enum class LockedFilesAnswer : std::int32_t {
    kLockedFilesIgnore = 0,
    kLockedFilesRetry = 1,
    kLockedFilesExit = 2,
};
using enum LockedFilesAnswer;

class InstallerUiCallback {
public:
    InstallerUiCallback() = default;
    InstallerUiCallback(const InstallerUiCallback&) = delete;
    InstallerUiCallback& operator=(const InstallerUiCallback&) = delete;
    virtual ~InstallerUiCallback();

    // The questions. Unless said otherwise an answer is yes/no: non-zero is yes.
    // Leave the installer? yes: exit.
    virtual int askExit() = 0;
    // The device connection settings could prevent communication; yes: fix them.
    virtual int reportRapiSettingsProblem() = 0;
    // A more recent version is installed and going on downgrades it to
    // `version`; yes: proceed.
    virtual int reportNewerVersionInstalled(const SharedString& version) = 0;
    // The product `name` is installed and going on removes it; yes: continue.
    virtual int reportAlreadyInstalled(const SharedString& name) = 0;
    // Proxy settings were found; yes: use them.
    virtual int askUseProxy() = 0;
    // Stop the search for new updates? yes: stop.
    virtual int askStopUpdateSearch() = 0;
    // Without the update server features cannot be installed or updated; yes:
    // proceed anyway.
    virtual int reportNoUpdateServer(const std::shared_ptr<InstalledLog>& installedLog) = 0;
    // `revision` is available; yes: download it.
    virtual int askInstallRevision(const SharedString& revision) = 0;
    // A more recent revision is installed; yes: revert to `revision`.
    virtual int reportNewerRevisionInstalled(const SharedString& revision) = 0;
    // A new version of the installation manager was released; yes: update it.
    virtual int reportNewInstallerReleased() = 0;
    // `file` exists: kFileExistsSkip, kFileExistsOverwrite or kFileExistsRename,
    // and whether the answer applies to all further files.
    virtual FileExistsAnswer askFileExists(const SharedString& file, bool& applyToAll) = 0;
    // Stop the licence download in progress? yes: stop.
    virtual int askStopEulaDownload() = 0;
    // Downloading `featureName` failed; yes: try again, no: abort the installation.
    virtual int askRetryFeatureDownload(const SharedString& featureName, int reserved) = 0;
    // Installing `featureName` to the destination folder failed for `reason`
    // (either may be empty); yes: resume, no: abort.
    virtual int reportInstallToDestinationError(const SharedString& featureName, const SharedString& reason) = 0;
    // Downloading `featureName` failed; yes: skip the feature and continue.
    virtual int askSkipFeatureDownload(const SharedString& featureName, int reserved) = 0;
    // Installing `featureName` failed for `reason` (may be empty); yes: skip
    // it and continue.
    virtual int askSkipFeatureInstall(const SharedString& featureName, const SharedString& reason) = 0;
    // Uninstalling failed (program running or folder write-protected); yes:
    // retry, no: abort.
    virtual int reportUninstallFeaturesError() = 0;
    // Uninstalling failed; yes: force the uninstallation, no: abort.
    virtual int reportUninstallError() = 0;
    // Uninstalling failed, the device is not connected; yes: resume, no: abort.
    virtual int reportUninstallDeviceError() = 0;
    // Roll back to the previous installation? no leaves the program at the
    // current update state.
    virtual int askRollback() = 0;
    // The processes hold files the installation must replace:
    // kLockedFilesIgnore, kLockedFilesRetry or kLockedFilesExit.
    virtual LockedFilesAnswer showLockedFiles(const std::vector<LockingProcess>& processes, int reserved) = 0;
    // A reboot is needed to complete the installation (or the uninstallation);
    // yes: reboot now.
    virtual int reportRebootNeeded() = 0;
    // Shows `text` at kMessageInformation, kMessageWarning or kMessageError.
    // Here: an error line of the log for an error, else an information line;
    // `flag` is not used.
    virtual void showMessage(const SharedString& text, MessageSeverity severity, int flag);
    // No device was found; yes: install the desktop version.
    virtual int askInstallPcVersion() = 0;

    // The controller whose names the message texts use; null until set.
    void setController(UiCallbackController* controller) { controller_ = controller; }
    UiCallbackController* getController() const { return controller_; }

    // The controller's ProgramName; without a controller the translated "Program".
    SharedString getProgramName() const;
    // The controller's title as the windows show it (the short name on a
    // small screen); without a controller the translated "{1} Installer" with
    // the product word.
    SharedString installerTitle() const;

    // What a failed run was doing, as a translation key: "An error occurred
    // while installing the program." in an installation, uninstalling and
    // repairing in those modes, and upgrading in any other mode or without a
    // controller.
    const char* failedRunKey() const;

    // showMessage(text, kMessageError, 1), through the virtual slot, so that
    // an implementation that replaces showMessage also receives the errors.
    void showError(const SharedString& text);

    // The fixed messages: each translates its template, fills its
    // placeholders and calls showMessage with its severity and flag 1.
    void mustUninstallProgramMessage();
    void noUpdateServerMessage();
    void backupInvalidMessage();
    void backupMissingFilesMessage();
    void backupInvalidFilesMessage();
    void backupIncompatibleMessage();
    void backupFutureVersionMessage();
    void postInstallErrorMessage();
    void customActionErrorMessage(const SharedString& actionName, std::int32_t errorNumber,
                                  const SharedString& errorText);
    void uninstallErrorMessage(const SharedString& name);
    void mustUninstallMessage(const SharedString& name);
    void installErrorMessage(const SharedString& name, const SharedString& errorText);
    // Names the program (getProgramName).
    void installNoWriteRightsMessage();
    // A failed registration is a warning; a failed unregistration is only an
    // information line of the log and never reaches the user.
    void registrationErrorMessage(const SharedString& name, bool registering);
    // The program (getProgramName) needs `size` more bytes on `storage`.
    void notEnoughSpaceMessage(std::uint64_t size, const SharedString& storage);

private:
    UiCallbackController* controller_ = nullptr;
};

}  // namespace druvex

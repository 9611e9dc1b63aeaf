// InstallerUiPrompts: the questions and messages of the installer logic and
// the installation engine, asked on the terminal. Any thread may ask: the UI
// thread shows the question while the asking thread waits. When no one can
// answer (a silent run, or the session has ended) the answers of the
// log-only callback are given instead, so that a worker never waits for good.
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "controller/installer_ui_callback.h"
#include "controller/log_only_ui_callback.h"
#include "platform/window_model.h"
#include "ui_base/message_box.h"

namespace druvex {

class TerminalSession;
class UiDispatcher;

class InstallerUiPrompts final : public InstallerUiCallback {
public:
    // `controller` (may be null) names the program in captions and texts.
    InstallerUiPrompts(TerminalSession& session, UiCallbackController* controller);

    // The window the message boxes belong to (the wizard's); 0: none.
    void setOwnerWindow(WindowHandle owner) { owner_ = owner; }
    // Tells reportRebootNeeded whether the run uninstalls (its text differs).
    void setUninstallQuery(std::function<bool()> isUninstalling) { isUninstalling_ = std::move(isUninstalling); }

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
    // "Overwrite" 1, "Skip" 0, "Rename" or any other way of closing 2; the
    // check box "Apply to all" sets `applyToAll` whatever the answer.
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
    // "Ignore" 0, "Retry" 1, "Exit" or any other way of closing 2.
    LockedFilesAnswer showLockedFiles(const std::vector<LockingProcess>& processes, int reserved) override;
    int reportRebootNeeded() override;
    // Writes the log line as the base does, then shows the text with the
    // severity's icon.
    void showMessage(const SharedString& text, MessageSeverity severity, int flag) override;
    int askInstallPcVersion() override;

private:
    // The button chosen in a box with the installer's title as caption; none
    // when no one can answer.
    std::optional<int> ask(const SharedString& text, std::uint32_t flags);
    // 1 for Yes (or Retry), 0 otherwise; `fallback` answers when no one can.
    int askYesNo(const SharedString& text, std::uint32_t flags, const std::function<int()>& fallback);
    // Runs `dialog` on the UI thread; false when no one can answer.
    bool runOnUiThread(const std::function<void(TerminalSession&)>& dialog);

    TerminalSession* session_;  // used only on the UI thread, while the dispatcher is open
    std::shared_ptr<UiDispatcher> dispatcher_;
    LogOnlyUiCallback fallback_;
    WindowHandle owner_ = 0;
    std::function<bool()> isUninstalling_;
};

}  // namespace druvex

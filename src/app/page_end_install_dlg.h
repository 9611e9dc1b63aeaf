// PageEndInstallDlg: the last page of every run. It tells how the run ended,
// offers the installer's closing action where it has one and to start the
// program where the run allows it, and on Finish runs the run's last step:
// the device restarts, or reboots when the person agrees, else the program
// starts when its box is ticked.
#pragma once

#include <vector>

#include "app/wizard_page.h"
#include "controller/page_end_install_logic.h"

namespace druvex {

class CheckBox;
class Label;

class PageEndInstallDlg final : public WizardPage, public EndPageSink {
public:
    PageEndInstallDlg(TerminalSession& session, WizardController& controller, PageEndInstallLogic& logic);

    void leaveLogic() override;

    // --- EndPageSink ----------------------------------------------------------
    void onPostExitStarted() override;
    void onPostExitFinished(bool result) override;

protected:
    void onInitDialog() override;
    bool canGoNext() const override { return !finishing_; }
    bool canGoBack() const override { return false; }
    // Runs the closing action when it is chosen, and ends after it.
    bool confirmNext() override;
    // Leaving from the last page is finishing it.
    void onCancel() override;

private:
    void finishRun(bool postRoutinesOk);
    void launchProgram();

    PageEndInstallLogic& logic_;
    Label* result_ = nullptr;
    CheckBox* action_ = nullptr;
    SharedString actionName_;
    CheckBox* launch_ = nullptr;
    bool finishing_ = false;
};

// What the end page says of a run of `mode` that ended with `result`.
SharedString endPageText(WizardMode mode, InstallResult result, const SharedString& program);
// What a run that ended with `result` did not do: the full backup it did not
// restore, however the run ended, and the features a completed run left out;
// empty when it did all it was asked.
SharedString endPageShortfall(InstallResult result, RestoreResult restore,
                              const std::vector<SharedString>& skippedFeatures);

}  // namespace druvex

#include "app/page_end_install_dlg.h"

#include "controller/wizard_controller.h"
#include "core/app_log.h"
#include "core/translate_text.h"
#include "data/install_data.h"
#include "fileutil/operation_log.h"
#include "hal/hal_access.h"
#include "host/shell_open.h"
#include "liveupdate/new_installer.h"
#include "platform/window_model.h"
#include "ui_base/message_box.h"
#include "ui/terminal_session.h"
#include "ui/widgets.h"

namespace druvex {

namespace {

SharedString completedText(WizardMode mode, const SharedString& program)
{
    switch (mode) {
    case kModeUninstall:
        return formatTranslated("{1} has been removed from the device.", program);
    case kModeBackup:
        return translateText("The backup has been completed.");
    case kModeDownload:
        return translateText("The new installer has been downloaded.");
    case kModeRepair:
    case kModeRepairBroken:
        return formatTranslated("{1} has been repaired.", program);
    case kModeUpdate:
    case kModeAddRemove:
    case kModeMaintenance:
    case kModeMaintenanceWithoutLog:
        return formatTranslated("{1} has been updated.", program);
    case kModeNone:
    case kModeStart:
    case kModeInstall:
        break;
    }
    // So does a stored mode outside the set.
    return formatTranslated("{1} has been installed on the device.", program);
}

}  // namespace

SharedString endPageText(WizardMode mode, InstallResult result, const SharedString& program)
{
    switch (result) {
    case kResultCompleted:
    case kResultCompletedUnchanged:
        return completedText(mode, program);
    case kResultCanceled:
        return translateText("The installation was canceled.");
    // A run rolled back may have failed or been canceled: the result no longer tells.
    case kResultRolledBack:
        return translateText("The installation did not complete. The device is as it was before.");
    case kResultRollbackIncomplete:
        return translateText("The installation did not complete. Not every change could be undone.");
    case kResultFailed:
        break;
    }
    // A stored result outside the set counts as failed.
    return translateText("The installation failed. See the log file for details.");
}

SharedString endPageShortfall(InstallResult result, RestoreResult restore,
                              const std::vector<SharedString>& skippedFeatures)
{
    SharedString text;
    // A restore that failed is not undone by the rollback of what came
    // after it: the person hears of it however the run ended.
    if (restore == kRestoreFailed)
        text = translateText("The full backup could not be restored.");
    // The features of a run that did not complete were rolled back with
    // the rest: only a completed run left some out.
    const bool completed = result == kResultCompleted || result == kResultCompletedUnchanged;
    if (completed && !skippedFeatures.empty()) {
        SharedString names;
        for (const SharedString& name : skippedFeatures)
            names += (names.isEmpty() ? u"" : u", ") + name;
        if (!text.isEmpty())
            text += u"\n";
        text += formatTranslated("Not every feature was installed. These were left out: {1}", names);
    }
    return text;
}

PageEndInstallDlg::PageEndInstallDlg(TerminalSession& session, WizardController& controller,
                                     PageEndInstallLogic& logic)
    : WizardPage(session, controller, kPageEndInstall, translateText("Finished")), logic_(logic)
{
    result_ = &addContent<Label>(false, 0, SharedString(), kStyleBold);
    WizardMode mode = kModeNone;
    InstallResult result = kResultFailed;
    logic_.getModeAndResult(mode, result);
    const SharedString shortfall =
        endPageShortfall(result, logic_.getRestoreResult(), logic_.getSkippedFeatures());
    if (!shortfall.isEmpty())
        addContent<Label>(false, 0, shortfall);
    SharedString text;
    bool checked = false;
    if (logic_.getPostExitAction(actionName_, text, checked))
        action_ = &addContent<CheckBox>(false, 1, text, checked);
    SharedString program;
    if (logic_.getLaunchText(program))
        launch_ = &addContent<CheckBox>(false, action_ ? 0 : 1, formatTranslated("Launch {1}", program));
    addContent<Label>(false, 1, translateText("Click Finish to close the installer."));
    nextButton().setText(translateText("Finish"));
}

void PageEndInstallDlg::leaveLogic()
{
    logic_.setSink(nullptr);
}

void PageEndInstallDlg::onInitDialog()
{
    WizardPage::onInitDialog();
    logic_.setSink(this);
    WizardMode mode = kModeNone;
    InstallResult result = kResultCompleted;
    logic_.getModeAndResult(mode, result);
    result_->setText(endPageText(mode, result, controller().getInstallData().settings().getProgramName()));
    logPrintf(u"The end page shows mode %d result %d", mode, result);
    logic_.flushScriptOutput();
    if (launch_ != nullptr)
        setFocus(launch_);
    else
        setFocus(&nextButton());
}

bool PageEndInstallDlg::confirmNext()
{
    if (action_ != nullptr && action_->isChecked()) {
        finishing_ = true;
        updateButtons();
        logic_.startPostExitThread(HookArguments{{actionName_, SharedString()}});
        // The page ends when the action has.
        return false;
    }
    finishRun(true);
    return true;
}

void PageEndInstallDlg::onCancel()
{
    if (!finishing_)
        onNext();
}

void PageEndInstallDlg::onPostExitStarted() {}

void PageEndInstallDlg::onPostExitFinished(bool result)
{
    postUpdate([this, result] {
        finishRun(result);
        endDialog(kPageCommandNext);
    });
}

void PageEndInstallDlg::finishRun(bool postRoutinesOk)
{
    bool rebootAsked = false;
    logic_.finish(postRoutinesOk, rebootAsked);
    if (rebootAsked) {
        logPrintf(u"The device restarts after the run");
        if (!controller().getHalOut()->reboot())
            logError(u"The device could not be restarted");
        return;
    }
    WizardMode mode = kModeNone;
    InstallResult result = kResultCompleted;
    logic_.getModeAndResult(mode, result);
    if (mode == kModeDownload && (result == kResultCompleted || result == kResultCompletedUnchanged)) {
        // The downloaded installer takes over from this one.
        if (!launchNewInstaller(controller()))
            showMessageBoxOwned(getForegroundWindow(), translateText("The new installer could not be started."),
                                controller().getInstallerTitle(true), kMbOk | kMbIconError);
        return;
    }
    if (launch_ != nullptr && launch_->isChecked())
        launchProgram();
}

void PageEndInstallDlg::launchProgram()
{
    SharedString program;
    SharedString arguments;
    if (!logic_.getLaunchProgram(program, arguments))
        return;
    // Started as the device's shell starts a program; the wizard's window,
    // the one in front while the wizard runs, owns what the start reports.
    if (shellOpenFile(*controller().getHalOut(), program, arguments)) {
        logPrintf(u"Launched %s", program);
        return;
    }
    logError((u"The program cannot be started: " + program).view());
    showMessageBoxOwned(getForegroundWindow(), formatTranslated("{1} could not be started.", program),
                        controller().getInstallerTitle(true), kMbOk | kMbIconError);
}

}  // namespace druvex

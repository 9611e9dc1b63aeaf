#include "app/page_welcome_dlg.h"

#include <algorithm>

#include "controller/wizard_controller.h"
#include "controller/page_welcome_logic.h"
#include "data/install_data.h"
#include "core/app_log.h"
#include "core/translate_text.h"
#include "fileutil/operation_log.h"
#include "ui/terminal_session.h"
#include "ui/widgets.h"

namespace druvex {
namespace {

bool isMaintenanceMode(WizardMode mode)
{
    switch (mode) {
    case kModeUpdate:
    case kModeAddRemove:
    case kModeUninstall:
    case kModeMaintenance:
    case kModeMaintenanceWithoutLog:
    case kModeRepairBroken:
    case kModeRepair:
        return true;
    case kModeNone:
    case kModeStart:
    case kModeInstall:
    case kModeDownload:
    case kModeBackup:
        return false;
    }
    return false;
}

}  // namespace

PageWelcomeDlg::PageWelcomeDlg(TerminalSession& session, WizardController& controller, PageWelcomeLogic& logic)
    : WizardPage(session, controller, kPageWelcome, translateText("Welcome")), logic_(logic)
{
    logic_.initChoice();
    offerTasks();
    text_ = &addContent<Label>(false, 0);
    std::vector<SharedString> items;
    for (const WelcomeTask task : tasks_)
        items.push_back(taskText(task));
    choices_ = &addContent<RadioGroup>(false, 1, std::move(items));
    backupPath_ = &addContent<EditField>(false, 1, logic_.getBackupPath());
    // Off the device, an installed program of this very version may be
    // removed whole before the task installs it anew, where the installer
    // allows wiping.
    if (isMaintenanceMode(logic_.getChosenMode()) && logic_.isWipeAllowed() && logic_.canWipe())
        wipe_ = &addContent<CheckBox>(false, 1, translateText("Remove the installed files before installing"),
                                      controller.getWipeOldInstallation());

    const SharedString program = controller.getInstallData().settings().getProgramName();
    const WizardMode mode = logic_.getChosenMode();
    text_->setText(isMaintenanceMode(mode)
                       ? formatTranslated("{1} is installed on this device. Choose what to do.", program)
                       : formatTranslated("Welcome to the setup of {1}.", program));

    // The choice starts on the task of the mode the run is in.
    WelcomeTask current = tasks_.front();
    switch (mode) {
    case kModeUpdate:
        current = WelcomeTask::Update;
        break;
    case kModeAddRemove:
        current = WelcomeTask::Modify;
        break;
    case kModeRepair:
    case kModeRepairBroken:
        current = WelcomeTask::Repair;
        break;
    case kModeUninstall:
        current = WelcomeTask::Remove;
        break;
    case kModeNone:
    case kModeStart:
    case kModeInstall:
    case kModeMaintenance:
    case kModeMaintenanceWithoutLog:
    case kModeDownload:
    case kModeBackup:
        break;
    }
    const auto at = std::find(tasks_.begin(), tasks_.end(), current);
    choices_->setSelected(at == tasks_.end() ? 0 : static_cast<int>(at - tasks_.begin()));
    choices_->setVisible(tasks_.size() > 1);
    backupPath_->setVisible(std::find(tasks_.begin(), tasks_.end(), WelcomeTask::Restore) != tasks_.end());
    backupPath_->setEnabled(chosenTask() == WelcomeTask::Restore);
    if (wipe_ != nullptr)
        wipe_->setEnabled(chosenTask() != WelcomeTask::Remove);
    choices_->onChange([this](int) {
        const bool restore = chosenTask() == WelcomeTask::Restore;
        backupPath_->setEnabled(restore);
        if (wipe_ != nullptr)
            wipe_->setEnabled(chosenTask() != WelcomeTask::Remove);
        logic_.setRestore(restore);
        updateButtons();
    });
    backupPath_->onChange([this] {
        logic_.setBackupPath(backupPath_->text());
        updateButtons();
    });
}

SharedString PageWelcomeDlg::taskText(WelcomeTask task) const
{
    switch (task) {
    case WelcomeTask::Install:
        return translateText("Install the program");
    case WelcomeTask::Restore:
        return translateText("Restore from a full backup");
    case WelcomeTask::Update:
        return translateText("Update the program");
    case WelcomeTask::Modify:
        return translateText("Add or remove features");
    case WelcomeTask::Replace: {
        const SharedString version = controller().getInstallData().settings().getProgramVersionText();
        return logic_.isNewerVersionInstalled()
                   ? formatTranslated("Go back to version {1} of the program", version)
                   : formatTranslated("Update the program to version {1}", version);
    }
    case WelcomeTask::Repair:
        return translateText("Repair the program");
    case WelcomeTask::Remove:
        return translateText("Remove the program");
    }
    return SharedString();
}

void PageWelcomeDlg::offerTasks()
{
    const WizardMode mode = logic_.getChosenMode();
    if (!isMaintenanceMode(mode)) {
        tasks_.push_back(WelcomeTask::Install);
        if (logic_.isRestoreFromBackupAllowed())
            tasks_.push_back(WelcomeTask::Restore);
        return;
    }
    if (mode == kModeUpdate)
        tasks_.push_back(WelcomeTask::Update);
    if (logic_.canModify())
        tasks_.push_back(logic_.getModifyMode() == kModeAddRemove ? WelcomeTask::Modify : WelcomeTask::Replace);
    if (mode != kModeUninstall && logic_.canRepairOrModify())
        tasks_.push_back(WelcomeTask::Repair);
    tasks_.push_back(WelcomeTask::Remove);
}

WelcomeTask PageWelcomeDlg::chosenTask() const
{
    const int index = std::clamp(choices_->selected(), 0, static_cast<int>(tasks_.size()) - 1);
    return tasks_[static_cast<std::size_t>(index)];
}

void PageWelcomeDlg::onInitDialog()
{
    WizardPage::onInitDialog();
    if (choices_->isVisible())
        setFocus(choices_);
    else
        setFocus(&nextButton());
}

bool PageWelcomeDlg::confirmNext()
{
    const WelcomeTask task = chosenTask();
    logPrintf(u"The welcome page: task %d chosen", static_cast<int>(task));
    if (wipe_ != nullptr) {
        const bool wipe = wipe_->isChecked() && task != WelcomeTask::Remove;
        controller().setWipeOldInstallation(wipe);
        if (wipe)
            logInfo(u"The installed files are removed before the installation");
    }
    switch (task) {
    case WelcomeTask::Install:
        logic_.setRestore(false);
        return true;
    case WelcomeTask::Restore:
        logic_.setRestore(true);
        logic_.setBackupPath(backupPath_->text());
        return logic_.validateBackup();
    case WelcomeTask::Update:
        logic_.chooseMode(kModeUpdate);
        return true;
    case WelcomeTask::Modify:
    case WelcomeTask::Replace:
        logic_.chooseModify();
        return true;
    case WelcomeTask::Repair:
        logic_.chooseMode(controller().isInstallationBroken() ? kModeRepairBroken : kModeRepair);
        return true;
    case WelcomeTask::Remove:
        logic_.chooseUninstall(0);
        return true;
    }
    return false;
}

}  // namespace druvex

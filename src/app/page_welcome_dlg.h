// PageWelcomeDlg: the welcome page. A fresh installation is greeted, with the
// restore of a full backup offered beside it where the installer allows it;
// an installed program is offered the tasks its logic allows: update,
// modify, repair and remove, and, where the installer allows it, the wipe of
// the installed files before the task installs anew. The task chosen rebuilds
// the wizard's pages when the person moves on.
#pragma once

#include <vector>

#include "app/wizard_page.h"

namespace druvex {

class CheckBox;
class EditField;
class Label;
class PageWelcomeLogic;
class RadioGroup;

// A task the welcome page offers.
// Replace puts this installer's version in the place of another installed
// one (an upgrade, or a downgrade the person accepted).
enum class WelcomeTask { Install, Restore, Update, Modify, Replace, Repair, Remove };

class PageWelcomeDlg final : public WizardPage {
public:
    PageWelcomeDlg(TerminalSession& session, WizardController& controller, PageWelcomeLogic& logic);

    // The tasks offered, in the order shown.
    const std::vector<WelcomeTask>& tasks() const { return tasks_; }
    // The wipe is offered.
    bool offersWipe() const { return wipe_ != nullptr; }

protected:
    void onInitDialog() override;
    bool confirmNext() override;

private:
    void offerTasks();
    SharedString taskText(WelcomeTask task) const;
    WelcomeTask chosenTask() const;

    PageWelcomeLogic& logic_;
    Label* text_ = nullptr;
    RadioGroup* choices_ = nullptr;
    EditField* backupPath_ = nullptr;
    CheckBox* wipe_ = nullptr;
    std::vector<WelcomeTask> tasks_;
};

}  // namespace druvex

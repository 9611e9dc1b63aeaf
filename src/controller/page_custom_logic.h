// PageCustomLogic: the logic of a custom wizard page (ids 13 to 22) that the
// installer data defines: its title and controls, the installer variables its
// edit boxes are bound to, and the Lua scripts it runs when it is shown and
// when the user presses Next or Back.
#pragma once

#include <memory>

#include "app_base/target_platform.h"
#include "controller/control_layout.h"
#include "controller/page_logic.h"
#include "data/custom_page.h"
#include "text/shared_string.h"

namespace druvex {

class WizardController;

// Makes the page's controls; implemented by the custom page.
class CustomPageControlFactory {
public:
    virtual ~CustomPageControlFactory() = default;
    // False when the controls cannot be made.
    virtual bool createControls(const ControlLayout& layout, TargetPlatform platform) = 0;
};

class PageCustomLogic final : public PageLogic {
public:
    // `page` is the definition shown under this page id.
    PageCustomLogic(WizardController& controller, CustomPagePtr page);

    // The scripts run only when the page asks for them.
    bool onNext() override { return true; }
    bool onBack() override { return true; }

    SharedString getPageTitle() const;
    // The title as the page shows it: translated, its variables expanded.
    const SharedString& getDialogTitle() const { return dialog_.getTitle(); }
    const ControlLayout& getLayout() const { return dialog_.getLayout(); }
    // Lays the controls out in `area` and, when there are any, has the
    // factory make them for the target platform; its answer, or false
    // without controls. The flags are the page's own and pass through unused.
    bool createControls(CustomPageControlFactory& factory, const ControlRect& area, unsigned flags);

    // Sets the value of the persistent installer variable the control edits,
    // for every platform and all users, dropping its other values. Nothing
    // for a variable that is not persistent or does not exist.
    void setVariableValue(const SharedString& controlName, const SharedString& value);
    // The value of the control's variable; false when the page has no such control.
    bool getVariableValue(const SharedString& controlName, SharedString& value) const;
    // The same for an entry of the page's layout: an edit box needs no Id of
    // its own, nor one that no other layout of the page uses, to be bound.
    void setVariableValue(const ControlLayoutEntry& entry, const SharedString& value);
    // The value of the entry's variable; empty when the variable does not exist.
    SharedString getVariableValue(const ControlLayoutEntry& entry) const;

    // True when the page has no such script; otherwise runScript's answer.
    bool runActivationScript(SharedString& message);
    bool runNextScript(SharedString& message);
    bool runBackScript(SharedString& message);
    // Loads the script in a new installer script state and calls its "exec",
    // else its "execEx", whose first answer 0 means success ("Ok") and any
    // other a failure with its second answer as the message. "Script not
    // loaded" and "Script not executed" name the other failures.
    bool runScript(const SharedString& script, SharedString& message);

private:
    bool runPageScript(const SharedString& script, SharedString& message);

    WizardController& controller_;
    CustomPagePtr page_;
    CustomPageDialogDef dialog_;
};

}  // namespace druvex

// CustomPageDlg: a wizard page that the installer data defines. Its texts and
// edit boxes stand where the page's layout places them in the page's area;
// each edit box shows the value of the installer variable it is bound to. The
// page's activation script runs as the page opens; Next writes what the
// person typed into the variables and then lets the Next script decide
// whether the page may be left, Back asks the Back script. A script that
// refuses keeps the page and its message is shown.
#pragma once

#include <memory>
#include <vector>

#include "app/wizard_page.h"
#include "controller/page_custom_logic.h"

namespace druvex {

class EditField;
class Widget;

class CustomPageDlg final : public WizardPage, private CustomPageControlFactory {
public:
    CustomPageDlg(TerminalSession& session, WizardController& controller, PageCustomLogic& logic);

    void layout(int rows, int columns) override;

protected:
    void onInitDialog() override;
    bool confirmNext() override;
    bool confirmBack() override;

private:
    // Makes a control for each entry of the layout the first time, and
    // places them where the layout says every time.
    bool createControls(const ControlLayout& layout, TargetPlatform platform) override;
    // Shows each edit box's variable as it stands now.
    void showVariables();
    // Shows why a script keeps the page.
    void showRefusal(const SharedString& message);

    PageCustomLogic& logic_;
    // One per layout entry, in the layout's order.
    std::vector<Widget*> controls_;
};

// The page of the controller's current page when that is a custom page; null
// otherwise (the current logic is not a custom page's).
std::unique_ptr<WizardPage> createCustomPageDlg(TerminalSession& session, WizardController& controller);

}  // namespace druvex

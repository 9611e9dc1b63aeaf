#include "app/custom_page_dlg.h"

#include <algorithm>

#include "controller/installer_ui_callback.h"
#include "controller/page_sequence.h"
#include "controller/wizard_controller.h"
#include "core/translate_text.h"
#include "fileutil/operation_log.h"
#include "ui/terminal_session.h"
#include "ui/widgets.h"

namespace druvex {
namespace {

// The longest text a path box takes, as the device's paths.
constexpr int kPathLength = 260;
// Any other box takes what an edit control of the device takes.
constexpr int kValueLength = 32767;

Rect toRect(const ControlRect& rect)
{
    return Rect{rect.top, rect.left, std::max(rect.height, 0), std::max(rect.width, 0)};
}

}  // namespace

CustomPageDlg::CustomPageDlg(TerminalSession& session, WizardController& controller, PageCustomLogic& logic)
    : WizardPage(session, controller, controller.getPageSequence().getCurrentPageId(), logic.getDialogTitle()),
      logic_(logic)
{
    layout(session.rows(), session.columns());
}

void CustomPageDlg::layout(int rows, int columns)
{
    WizardPage::layout(rows, columns);
    const Rect area = contentArea();
    logic_.createControls(*this, ControlRect{area.left, area.top, area.width, area.height}, 0);
}

bool CustomPageDlg::createControls(const ControlLayout& layout, TargetPlatform)
{
    const std::vector<ControlLayoutEntry>& entries = layout.entries();
    if (controls_.empty()) {
        for (const ControlLayoutEntry& entry : entries) {
            if (entry.kind == ControlKind::Text) {
                controls_.push_back(&addWidget<Label>(entry.text));
                continue;
            }
            // A value longer than a box takes is shown whole, so that Next
            // never writes back less than the variable held.
            const int limit = std::max(entry.isPath ? kPathLength : kValueLength,
                                       static_cast<int>(entry.text.view().size()));
            controls_.push_back(&addWidget<EditField>(entry.text, limit));
        }
    }
    for (std::size_t index = 0; index < entries.size() && index < controls_.size(); ++index) {
        const Rect rect = toRect(entries[index].rect);
        controls_[index]->setRect(rect);
        // What the page's area cuts off is neither shown nor reached.
        controls_[index]->setVisible(rect.height > 0 && rect.width > 0);
    }
    return true;
}

void CustomPageDlg::showVariables()
{
    const std::vector<ControlLayoutEntry>& entries = logic_.getLayout().entries();
    for (std::size_t index = 0; index < entries.size() && index < controls_.size(); ++index) {
        if (entries[index].kind != ControlKind::Edit)
            continue;
        // A variable without a value leaves the box's own text.
        const SharedString value = logic_.getVariableValue(entries[index]);
        if (!value.isEmpty())
            static_cast<EditField*>(controls_[index])->setText(value);
    }
}

void CustomPageDlg::onInitDialog()
{
    // The activation script may give the variables the values the page shows.
    SharedString message;
    if (!logic_.runActivationScript(message)) {
        logError(u"The activation script of the custom page failed: " + message);
        showRefusal(message);
    }
    showVariables();
    WizardPage::onInitDialog();
    for (Widget* control : controls_) {
        if (control->isVisible() && control->canFocus()) {
            setFocus(control);
            break;
        }
    }
}

bool CustomPageDlg::confirmNext()
{
    const std::vector<ControlLayoutEntry>& entries = logic_.getLayout().entries();
    for (std::size_t index = 0; index < entries.size() && index < controls_.size(); ++index) {
        if (entries[index].kind == ControlKind::Edit)
            logic_.setVariableValue(entries[index], static_cast<EditField*>(controls_[index])->text());
    }
    SharedString message;
    if (logic_.runNextScript(message))
        return true;
    logInfo(u"The custom page stays: " + message);
    showRefusal(message);
    // The script may have corrected what was typed.
    showVariables();
    return false;
}

bool CustomPageDlg::confirmBack()
{
    SharedString message;
    if (logic_.runBackScript(message))
        return true;
    logInfo(u"The custom page stays: " + message);
    showRefusal(message);
    return false;
}

void CustomPageDlg::showRefusal(const SharedString& message)
{
    if (message.isEmpty())
        return;
    controller().getUiCallback()->showMessage(translateTextW(message.view()), kMessageWarning, 1);
}

std::unique_ptr<WizardPage> createCustomPageDlg(TerminalSession& session, WizardController& controller)
{
    auto* logic = dynamic_cast<PageCustomLogic*>(controller.getPageLogic());
    if (!logic)
        return nullptr;
    return std::make_unique<CustomPageDlg>(session, controller, *logic);
}

}  // namespace druvex

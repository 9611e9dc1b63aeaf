#include "controller/page_custom_logic.h"

#include "controller/wizard_controller.h"
#include "data/install_data.h"
#include "fileutil/operation_log.h"
#include "host/installer_script_runner.h"
#include "text/numbers.h"

namespace druvex {
namespace {

const CustomPage& definitionOrEmpty(const CustomPagePtr& page)
{
    static const CustomPage empty;
    return page ? *page : empty;
}

}  // namespace

PageCustomLogic::PageCustomLogic(WizardController& controller, CustomPagePtr page)
    : controller_(controller), page_(std::move(page)), dialog_(controller_, definitionOrEmpty(page_))
{
}

SharedString PageCustomLogic::getPageTitle() const
{
    return page_ ? page_->title : SharedString();
}

bool PageCustomLogic::createControls(CustomPageControlFactory& factory, const ControlRect& area, unsigned)
{
    ControlLayout& layout = dialog_.getLayout();
    layout.layOut(area);
    if (!layout.hasEntries())
        return false;
    return factory.createControls(layout, controller_.getTargetPlatform());
}

void PageCustomLogic::setVariableValue(const SharedString& controlName, const SharedString& value)
{
    if (const ControlLayoutEntry* entry = dialog_.getLayout().find(controlName.view()))
        setVariableValue(*entry, value);
}

bool PageCustomLogic::getVariableValue(const SharedString& controlName, SharedString& value) const
{
    value = SharedString();
    const ControlLayoutEntry* entry = dialog_.getLayout().find(controlName.view());
    if (!entry)
        return false;
    value = getVariableValue(*entry);
    return true;
}

void PageCustomLogic::setVariableValue(const ControlLayoutEntry& entry, const SharedString& value)
{
    const InstallerVariablePtr variable = controller_.getInstallData().findByName(entry.variable.view());
    if (!variable || !variable->isPersistent())
        return;
    variable->clearValues();
    variable->setValue(kPlatformAll, kVariableAllUsers, value);
}

SharedString PageCustomLogic::getVariableValue(const ControlLayoutEntry& entry) const
{
    const InstallerVariablePtr variable = controller_.getInstallData().findByName(entry.variable.view());
    return variable ? variable->getValue(controller_.getTargetPlatform(), kVariableAllUsers) : SharedString();
}

bool PageCustomLogic::runActivationScript(SharedString& message)
{
    return runPageScript(page_ ? page_->onActivationScript : SharedString(), message);
}

bool PageCustomLogic::runNextScript(SharedString& message)
{
    return runPageScript(page_ ? page_->onNextScript : SharedString(), message);
}

bool PageCustomLogic::runBackScript(SharedString& message)
{
    return runPageScript(page_ ? page_->onBackScript : SharedString(), message);
}

bool PageCustomLogic::runPageScript(const SharedString& script, SharedString& message)
{
    if (script.isEmpty())
        return true;
    return runScript(script, message);
}

bool PageCustomLogic::runScript(const SharedString& script, SharedString& message)
{
    // The runner is this call's own: the state is closed when it goes.
    InstallerScriptRunner runner(&controller_);
    message = u"Script not loaded";
    // The page's name, as the installer data knows it.
    const std::u16string page(page_ ? page_->name.view() : std::u16string_view());
    if (runner.loadScriptText(script) != 1) {
        logError(u"The script of the custom page \"" + page + u"\" does not load: " +
                 std::u16string(runner.errorText().view()));
        return false;
    }
    message = u"Script not executed";
    if (runner.callFunction(u"exec", 0, nullptr, 0, nullptr))
        return true;
    // "exec" may be missing or may have failed; its reason is kept for the
    // log, since "execEx" is tried next and the message names neither.
    const SharedString execError = runner.errorText();
    SharedString results[2];
    if (!runner.callFunction(u"execEx", 0, nullptr, 2, results)) {
        logError(u"The script of the custom page \"" + page + u"\" ran neither \"exec\" (" +
                 std::u16string(execError.view()) + u") nor \"execEx\" (" + std::u16string(runner.errorText().view()) +
                 u")");
        return false;
    }
    int code = 0;
    parseInt(results[0].c_str(), code);
    if (code == 0) {
        message = u"Ok";
        return true;
    }
    message = results[1];
    return false;
}

}  // namespace druvex

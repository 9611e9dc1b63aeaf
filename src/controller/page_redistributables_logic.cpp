#include "controller/page_redistributables_logic.h"

#include "controller/installer_ui_callback.h"
#include "controller/redistributables_manager.h"
#include "controller/wizard_controller.h"

namespace druvex {

PageRedistributablesLogic::PageRedistributablesLogic(WizardController& controller)
    : controller_(controller), names_(controller.getRedistributables().getRedistributablesToInstall())
{
}

bool PageRedistributablesLogic::runUnattended()
{
    SharedString message;
    if (controller_.getRedistributables().getWorstResult(message))
        return true;
    controller_.getUiCallback()->showError(message);
    controller_.setFailureReason(u"A redistributable the program needs cannot be installed: " + message);
    return false;
}

}  // namespace druvex

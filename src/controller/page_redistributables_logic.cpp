#include "controller/page_redistributables_logic.h"

#include "controller/installer_controller.h"
#include "controller/redistributables_manager.h"

namespace druvex {

PageRedistributablesLogic::PageRedistributablesLogic(InstallerController& controller)
    : controller_(controller), names_(controller.getRedistributables().getRedistributablesToInstall())
{
}

bool PageRedistributablesLogic::runUnattended()
{
    SharedString message;
    if (controller_.getRedistributables().getWorstResult(message))
        return true;
    controller_.getUiCallback()->showError(message);
    return false;
}

}  // namespace druvex

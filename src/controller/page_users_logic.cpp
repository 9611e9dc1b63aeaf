#include "controller/page_users_logic.h"

#include "controller/wizard_controller.h"

namespace druvex {

PageUsersLogic::PageUsersLogic(WizardController& controller, std::shared_ptr<HalAccess> host)
    : controller_(controller), host_(std::move(host))
{
}

bool PageUsersLogic::runUnattended()
{
    controller_.setForAnyone(false);
    return true;
}

}  // namespace druvex

#include "controller/page_users_logic.h"

#include "controller/installer_controller.h"

namespace druvex {

PageUsersLogic::PageUsersLogic(InstallerController& controller, std::shared_ptr<HalAccess> host)
    : controller_(controller), host_(std::move(host))
{
}

bool PageUsersLogic::runUnattended()
{
    controller_.setForAnyone(false);
    return true;
}

}  // namespace druvex

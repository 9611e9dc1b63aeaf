// PageUsersLogic: the logic of the users page (id 6) of desktop targets,
// which asks whether the program is installed for every user. It has no
// window here; a silent run installs for the current user only.
#pragma once

#include <memory>

#include "controller/page_logic.h"

namespace druvex {

class HalAccess;
class WizardController;

class PageUsersLogic final : public PageLogic {
public:
    // `host`: the host the controller hands to this page.
    PageUsersLogic(WizardController& controller, std::shared_ptr<HalAccess> host);

    bool onNext() override { return true; }
    bool onBack() override { return true; }
    // Installs for the current user only.
    bool runUnattended() override;

private:
    WizardController& controller_;
    std::shared_ptr<HalAccess> host_;
};

}  // namespace druvex

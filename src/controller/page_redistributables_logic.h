// PageRedistributablesLogic: the logic of the redistributables page (id 10),
// which lists the redistributables the run will install. It has no window
// here and installs nothing itself (the installation does); a silent run
// stops on it when a required redistributable cannot be installed here.
#pragma once

#include <vector>

#include "controller/page_logic.h"
#include "text/shared_string.h"

namespace druvex {

class WizardController;

class PageRedistributablesLogic final : public PageLogic {
public:
    // Takes the names of the required redistributables not yet present.
    explicit PageRedistributablesLogic(WizardController& controller);

    bool onNext() override { return true; }
    bool onBack() override { return true; }
    // False, with the message of the worst check answer shown as an error,
    // when a required redistributable cannot be installed here.
    bool runUnattended() override;

    const std::vector<SharedString>& getRedistributableNames() const { return names_; }

private:
    WizardController& controller_;
    std::vector<SharedString> names_;
};

}  // namespace druvex

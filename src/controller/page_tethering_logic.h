// PageTetheringLogic: the logic of the tethering page (id 1), the first page
// of a run. It has no window here; it makes sure the run has a language.
#pragma once

#include "controller/page_logic.h"

namespace druvex {

class WizardController;

class PageTetheringLogic final : public PageLogic {
public:
    // Without a language yet, the one the installer offers for the device's
    // locale becomes current, with its display name.
    explicit PageTetheringLogic(WizardController& controller);

    bool onNext() override { return true; }
    bool onBack() override { return false; }

private:
    WizardController& controller_;
};

}  // namespace druvex

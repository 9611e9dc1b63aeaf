// PageFeatureLogicBase: what the destination, second-destination and
// feature-selection logics share: whether the user has anything to choose at
// all, and the redistributables page kept in the page list exactly while a
// redistributable has to be installed.
#pragma once

#include "controller/page_logic.h"

namespace druvex {

class WizardController;

class PageFeatureLogicBase : public PageLogic {
public:
    // No top-level feature the user may select, and no redistributable to
    // install once the selection is evaluated.
    bool hasNothingToChoose() const { return nothingToChoose_; }

    // Asks the redistributables manager whether a redistributable must be
    // installed; puts the redistributables page after the current one when
    // one must, takes it out otherwise. Answers the manager's answer.
    bool updateRedistributablesPage();
    // The manager works out again what the selection requires.
    void refreshRedistributables();

protected:
    // Whether the constructor works out the nothing-to-choose flag. It does so
    // with a scratch feature-selection logic, which must skip it: it would
    // make another scratch logic in turn, without end.
    enum class ChoiceCheck { Evaluate, Skip };

    PageFeatureLogicBase(WizardController& controller, ChoiceCheck check);

    WizardController& controller_;

private:
    bool nothingToChoose_ = false;
};

}  // namespace druvex

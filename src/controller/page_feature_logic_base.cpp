#include "controller/page_feature_logic_base.h"

#include "controller/page_feature_selection_logic.h"
#include "controller/page_sequence.h"
#include "controller/redistributables_manager.h"
#include "controller/wizard_controller.h"

namespace druvex {

PageFeatureLogicBase::PageFeatureLogicBase(WizardController& controller, ChoiceCheck check)
    : controller_(controller)
{
    if (check == ChoiceCheck::Skip || controller_.hasFeatureToInstall())
        return;
    // Nothing to select: the selection the run installs is what the
    // preselection makes of it, and only the redistributables it needs can
    // still give the user something to see.
    PageFeatureSelectionLogic::makeScratch(controller_)->evaluateSelection();
    refreshRedistributables();
    nothingToChoose_ = !updateRedistributablesPage();
}

bool PageFeatureLogicBase::updateRedistributablesPage()
{
    const bool needed = controller_.getRedistributables().needsInstall();
    if (needed)
        controller_.getPageSequence().insertAfterCurrent(kPageRedistributables);
    else
        controller_.getPageSequence().removePage(kPageRedistributables);
    return needed;
}

void PageFeatureLogicBase::refreshRedistributables()
{
    controller_.getRedistributables().evaluateRequired();
}

}  // namespace druvex

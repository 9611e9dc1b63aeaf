#include "controller/page_logic.h"

namespace druvex {

void PageLogicRegistry::registerMaker(WizardPageId first, WizardPageId last, Maker maker)
{
    for (WizardPageId id = first; id <= last; ++id)
        makers_[id] = maker;
}

std::unique_ptr<PageLogic> PageLogicRegistry::makePageLogic(InstallerController& controller, WizardPageId id,
                                                            const PageLogicArguments& arguments)
{
    const auto found = makers_.find(id);
    if (found == makers_.end() || !found->second)
        return nullptr;
    return found->second(controller, arguments);
}

}  // namespace druvex

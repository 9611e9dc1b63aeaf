#include "controller/page_tethering_logic.h"

#include "controller/wizard_controller.h"
#include "data/culture_table.h"

namespace druvex {

PageTetheringLogic::PageTetheringLogic(WizardController& controller) : controller_(controller)
{
    if (controller_.getLanguage() != 0)
        return;
    const std::uint16_t language = controller_.chooseLanguage();
    if (language == 0)
        return;
    SharedString name;
    languageDisplayName(language, name);
    controller_.setLanguage(language, name);
}

}  // namespace druvex

// What the wizard's page ids and modes mean to the controller: the name by
// which installer data anchors its custom pages to a page, and the bit of a
// custom page's SupportedModes that lets it show in a mode.
#pragma once

#include <cstdint>

#include "data/wizard_ids.h"
#include "text/shared_string.h"

namespace druvex {

// The name installer data anchors custom pages to ("Welcome page"); the two
// destination pages share "Destination page", and every custom page is
// "Custom page". Empty for any other id.
SharedString wizardPageName(WizardPageId id);

// The bit a custom page's SupportedModes must have to show in the mode:
// install 1, uninstall 2, update and add/remove 4, maintenance 8, download 16,
// repair 32. The start and backup modes, and any mode outside 2 to 10, have
// none (0). The data model's CustomPage::supportsMode tests another bit (one
// per mode number); the page sequence goes by this table.
std::int32_t customPageModeBit(WizardMode mode);

}  // namespace druvex

// What the page logics keep for the whole process: the wizard makes a page's
// logic anew each time it enters the page, and these choices must survive
// that (the storage chosen on the destination page, the second destination's
// path, the last answer on the new-version page). Touched on the UI thread only.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

struct PageLogicProcessState {
    SharedString chosenStorage;
    SharedString secondDestinationPath;
    std::uint8_t lastNewVersionChoice = 0;
};

PageLogicProcessState& pageLogicProcessState();
// Forgets every choice (a test starts as a new process would).
void resetPageLogicProcessState();

}  // namespace druvex

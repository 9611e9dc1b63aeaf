#include "controller/page_logic_state.h"

namespace druvex {

PageLogicProcessState& pageLogicProcessState()
{
    static PageLogicProcessState state;
    return state;
}

void resetPageLogicProcessState()
{
    pageLogicProcessState() = PageLogicProcessState();
}

}  // namespace druvex

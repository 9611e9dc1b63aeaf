// CustomActionHooks: the context in which the installer data's custom actions
// run, as the installer controller reaches it: a hook point's name in, the
// actions the sequence binds to it run. The controller holds one for the run;
// until a real one is set it holds one that runs nothing.
#pragma once

#include <memory>

#include "text/shared_string.h"

namespace druvex {

class CustomActionHooks {
public:
    virtual ~CustomActionHooks() = default;
    // Runs the custom actions bound to the hook ("PREREQ-ENTER" and the
    // others), in sequence order; true when every one was handled.
    virtual bool runHook(const SharedString& hook) = 0;
};

// Runs nothing and answers true, as for a hook that binds no action.
std::shared_ptr<CustomActionHooks> makeNoCustomActionHooks();

}  // namespace druvex

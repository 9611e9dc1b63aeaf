// CustomActionHooks: the context in which the installer data's custom actions
// run, as the installer controller reaches it: a hook point's name in, the
// actions the sequence binds to it run. The controller holds one for the run
// (a CustomActionContext); a test may put one of its own in its place.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "data/custom_action.h"
#include "text/shared_string.h"

namespace druvex {

// The values the end page hands to its "POST-EXIT" actions, by action name.
using HookArguments = std::map<SharedString, SharedString>;

class CustomActionHooks {
public:
    virtual ~CustomActionHooks() = default;
    // Runs the custom actions bound to the hook ("PREREQ-ENTER" and the
    // others), in sequence order; true when every one was handled.
    virtual bool runHook(const SharedString& hook) = 0;
    // The same; with arguments only the actions that the end page offers (a
    // post-install mode other than "DontShow") and that the arguments name
    // run. Here: runHook, the arguments passed over.
    virtual bool runHookCustomActions(const SharedString& hook, const HookArguments* arguments)
    {
        (void)arguments;
        return runHook(hook);
    }
    // The custom actions the sequence binds to the hook, in sequence order.
    virtual void collectHookCustomActions(const SharedString& hook, std::vector<CustomActionPtr>& out)
    {
        (void)hook;
        out.clear();
    }
    // Every custom action of the sequence that this run would execute, in
    // sequence order (the redistributables they require must be present).
    virtual void listRunCustomActions(std::vector<CustomActionPtr>& out) { out.clear(); }
};

// Runs nothing and answers true, as for a hook that binds no action.
std::shared_ptr<CustomActionHooks> makeNoCustomActionHooks();

}  // namespace druvex

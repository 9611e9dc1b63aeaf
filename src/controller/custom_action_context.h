// CustomActionContext: runs the installer data's custom actions at the hook
// points of a run ("PREREQ-ENTER" to "POST-EXIT"), in the order the
// custom-action sequence binds them. An action runs only when it applies to
// the run: its installer type (Windows installers, controller installers or
// both), its platforms (the target's), and its execution mask, whose bits are
// those of the wizard modes' custom pages (install 1, uninstall 2, update 4,
// maintenance 8, download 16, repair 32; while no mode is chosen, and in the
// backup mode, the mask does not restrict). Feature scripts (type 2) are not
// run here. A custom action kept inside the installer has its package
// unpacked into a folder of the work folder once per run; one installed with
// the product runs in the destination folder. That folder is the custom-action
// folder of the scripts while the action runs.
//
// LaunchExecutable: Command (variables expanded, relative to the action's
// folder) is started with Param (expanded) as its command line and waited for;
// it fails when it cannot start or ends with a code other than 0. RunScript:
// Command names a Lua script file (UTF-16), loaded in an installer script
// runner; its function "Main" is called with Param (expanded) as its argument
// when Param is not empty; it fails when the script does not load, has no
// "Main", or raises an error. A failed action is shown with the custom-action
// error message through the controller's UI callback.
#pragma once

#include <memory>
#include <set>
#include <vector>

#include "controller/custom_action_hooks.h"
#include "text/mutex.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;
class InstallerController;
class PayloadArchive;

class CustomActionContext final : public CustomActionHooks {
public:
    // Both must outlive the context.
    CustomActionContext(InstallerController& controller, PayloadArchive& archive);

    bool runHook(const SharedString& hook) override { return runHookCustomActions(hook, nullptr); }
    // The names the sequence binds to the hook, in order: a name without a
    // custom action writes the error line "Custom action <name> not found."
    // and answers false; an action that applies and fails answers false; the
    // actions after either are not run. True when all were handled (none
    // bound: true).
    bool runHookCustomActions(const SharedString& hook, const HookArguments* arguments) override;
    // The actions bound to the hook that exist, in sequence order.
    void collectHookCustomActions(const SharedString& hook, std::vector<CustomActionPtr>& out) override;
    void listRunCustomActions(std::vector<CustomActionPtr>& out) override;

    // Whether the action applies to this run (installer type, platforms, mode).
    bool appliesToRun(const CustomAction& action) const;

private:
    // The folder the action runs in and the host that holds it; false when
    // its package cannot be unpacked.
    bool prepareFolder(const CustomAction& action, std::shared_ptr<HalAccess>& host, SharedString& folder);
    bool runAction(const CustomAction& action);
    bool launchExecutable(const CustomAction& action, HalAccess& host, const SharedString& folder);
    bool runScript(const CustomAction& action, HalAccess& host, const SharedString& folder);
    // Command with its variables expanded, made absolute against the folder;
    // empty when the expansion fails.
    SharedString resolveCommand(const CustomAction& action, const SharedString& folder) const;
    // Shows the custom-action error message; always false.
    bool fail(const CustomAction& action, std::int32_t errorNumber, const SharedString& errorText) const;

    InstallerController& controller_;
    PayloadArchive& archive_;
    // The actions kept inside the installer whose packages are unpacked.
    Mutex mutex_;
    std::set<SharedString> unpacked_ GUARDED_BY(mutex_);
};

}  // namespace druvex

// PageEndInstallLogic: the logic of the end page (id 12), which ends every
// wizard run: the mode and the result to show, whether the device must
// restart or the system reboot, whether the program can be launched, the
// pending registrations handed to the system's Active Setup so that they are
// completed at the next start, and the "POST-EXIT" custom actions, which run
// on a thread of their own that the logic joins before it goes.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "controller/custom_action_hooks.h"
#include "controller/install_result.h"
#include "controller/page_logic.h"
#include "controller/page_sink_slot.h"
#include "core/thread_utils.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;
class WizardController;

// Implemented by the end page.
class EndPageSink {
public:
    virtual ~EndPageSink() = default;
    // The "POST-EXIT" actions start (on the thread that starts them).
    virtual void onPostExitStarted() = 0;
    // They ended, all handled or not (on their own thread).
    virtual void onPostExitFinished(bool result) = 0;
};

class PageEndInstallLogic final : public PageLogic {
public:
    // `sourceHost`: the host of the machine the installer runs on. Runs the
    // "POST-ENTER" custom actions.
    PageEndInstallLogic(WizardController& controller, std::shared_ptr<HalAccess> sourceHost);
    // Joins the "POST-EXIT" thread.
    ~PageEndInstallLogic() override;

    // Null stops the reports; waits for a report in progress.
    void setSink(EndPageSink* sink) { sink_.set(sink); }

    bool onNext() override { return true; }
    bool onBack() override { return false; }
    // Hands the pending registrations to Active Setup. False when the run
    // was to restore a full backup and the restore failed: the program stays
    // installed, but a silent run must not report the restore as done.
    bool runUnattended() override;

    void getModeAndResult(WizardMode& mode, InstallResult& result) const;
    bool getSkipFeatureChoice() const;
    RestoreResult getRestoreResult() const;
    // The display names of the features the run left out.
    std::vector<SharedString> getSkippedFeatures() const;
    // The "POST-EXIT" thread has been started (it may have ended since).
    bool isPostExitHookRunning() const { return started_; }
    // Scripts print to standard output: what they printed is pushed out.
    void flushScriptOutput();

    // A total station restarts after the run (not after a backup, unless it
    // was a "newversion" update), whatever the result.
    bool needsDeviceRestart() const;
    // A completed run that a step asked to reboot for, unless "no_welcome".
    bool needsReboot() const;
    // The program can be launched after the run: a completed install,
    // update, add/remove or maintenance run (or any backup run), the same
    // kind of device on both sides, no restart or reboot, and a program to
    // launch (a file on the device, unless a script named it); `text` names it.
    bool getLaunchText(SharedString& text) const;
    // The program the launch offer starts and its command line: the one a
    // script named, else the launch path. False when nothing is offered.
    bool getLaunchProgram(SharedString& program, SharedString& arguments) const;
    // The first "POST-EXIT" action the end page offers: its name, its text
    // and whether it starts checked. False when none is offered.
    bool getPostExitAction(SharedString& name, SharedString& text, bool& checked) const;
    // Runs the "POST-EXIT" actions with the arguments on a new thread (after
    // the previous one, if any, has ended).
    void startPostExitThread(const HookArguments& arguments);
    // The run's last step: Active Setup, the message when the post routines
    // failed, then whether to restart or reboot (the user is asked for a
    // reboot); `rebootAsked` is the answer.
    bool finish(bool postRoutinesOk, bool& rebootAsked);
    // When a reboot is required and registrations are pending: the two
    // Active Setup components that finish and validate them at the next start.
    void registerActiveSetup();

private:
    void writeActiveSetupComponent(const SharedString& key, const char16_t* displayName, const char16_t* stubFormat,
                                   const SharedString& setup);

    WizardController& controller_;
    std::shared_ptr<HalAccess> sourceHost_;
    PageSinkSlot<EndPageSink> sink_;
    HookArguments hookArguments_;
    bool started_ = false;
    WorkerThread postExitThread_;
};

}  // namespace druvex

// UninstallLauncher: a remover of another installation that must go before
// this one installs. The installer controller keeps a list of them, and the
// installation engine runs them in list order before it installs: each starts
// an installer of the installed product as a process of the target host and
// waits for it. Two kinds are made here, the remover of one feature of another
// product that a script asked for and the remover of another program found in
// this product's data folder; the engine adds the device's own uninstallers.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

class HalAccess;
class InstallerController;
class RunController;

// What a launcher asks while it waits for the program it started.
class UninstallCancelCallback {
public:
    virtual ~UninstallCancelCallback() = default;
    // True: stop waiting (the program is left running).
    virtual bool shouldStopWaiting() = 0;
};

// The answers of UninstallLauncher::run.
enum class UninstallOutcome : std::int32_t {
    kUninstallEnded = 0,
    // The program could not be started (or the installed product has no name).
    kUninstallNotStarted = 1,
    // The wait was given up on the caller's request.
    kUninstallAbandoned = 2,
    // The remover ran and ended with a failure: the installation is still there.
    kUninstallFailed = 3,
};
using enum UninstallOutcome;

// How long one step of the wait lasts before the cancel callback is asked.
constexpr std::uint32_t kUninstallWaitStepMs = 3000;

class UninstallLauncher {
public:
    UninstallLauncher() = default;
    UninstallLauncher(const UninstallLauncher&) = delete;
    UninstallLauncher& operator=(const UninstallLauncher&) = delete;
    virtual ~UninstallLauncher();

    // Whether the installation it removes was made for every user.
    virtual bool isInstalledForAllUsers() const { return false; }
    // The name of the installed product it removes, where the launcher knows it.
    virtual SharedString getProductName() const { return {}; }
    // Whether a failed start ends the removals at once.
    virtual bool endsRemovalsOnFailedStart() const { return false; }
    // Starts the remover and waits for it: kUninstallEnded, kUninstallNotStarted
    // or kUninstallAbandoned. `cancel` may be null.
    virtual UninstallOutcome run(UninstallCancelCallback* cancel) = 0;
    // A second way to run after a failed start; the same answers.
    virtual UninstallOutcome runAfterFailedStart(UninstallCancelCallback* cancel);

    // The installed program's path; empty for the removers made here.
    const SharedString& getProgramPath() const { return programPath_; }

protected:
    // Starts `program` with `arguments` through `host` and waits for it in
    // steps of kUninstallWaitStepMs, asking `cancel` after each step that
    // timed out. `exitCode`, when given, receives the program's exit code
    // once it has ended (0 when it cannot be read).
    static UninstallOutcome startAndWait(HalAccess& host, const SharedString& program, const SharedString& arguments,
                                         UninstallCancelCallback* cancel, std::uint32_t* exitCode = nullptr);
    // For a remover that is an installer of this kind, whose exit code says
    // whether it did its work: startAndWait, with a non-zero exit code a
    // failed removal of `what`.
    static UninstallOutcome runInstaller(HalAccess& host, const SharedString& program, const SharedString& arguments,
                                         UninstallCancelCallback* cancel, const SharedString& what);
    void setProgramPath(const SharedString& path) { programPath_ = path; }

private:
    SharedString programPath_;
};

using UninstallLauncherPtr = std::shared_ptr<UninstallLauncher>;

// Removes one feature of a product whose installed log a script loaded: the
// product's own "setup.exe", in the product data root of its name on the
// target host, with "dont_check_unique_instance uninstall_feature <feature>".
class FeatureUninstallLauncher final : public UninstallLauncher {
public:
    // `handle`: the product's handle in the controller's installed products.
    FeatureUninstallLauncher(InstallerController& controller, int handle, std::int32_t action,
                             const SharedString& featureName);

    UninstallOutcome run(UninstallCancelCallback* cancel) override;
    // "<feature> of <product>".
    SharedString getProductName() const override;

    int getHandle() const { return handle_; }
    std::int32_t getAction() const { return action_; }
    const SharedString& getFeatureName() const { return featureName_; }
    // Empty when the product has no name.
    SharedString getProgram() const;
    SharedString getArguments() const;

private:
    InstallerController& controller_;
    int handle_;
    std::int32_t action_;
    SharedString featureName_;
};

// Removes another program whose installed log was found in this product's
// data folder: the "setup.exe" there, with
// "uninstall_mode dont_check_unique_instance no_welcome", and "silent_mode"
// in a silent run, whose remover has nobody to show its wizard to either.
class ProgramUninstallLauncher final : public UninstallLauncher {
public:
    explicit ProgramUninstallLauncher(InstallerController& controller);

    UninstallOutcome run(UninstallCancelCallback* cancel) override;
    // The program the foreign installed log names.
    SharedString getProductName() const override;

    SharedString getProgram() const;
    SharedString getArguments() const;

private:
    InstallerController& controller_;
};

// Asks the installation engine whether an installation without an installed
// log is on the target (the finder of the target platform, given `flag`: 0
// while the mode is chosen for an empty installed log, 1 when an older
// installation is to be replaced). Empties `launchers` first; true, with the
// remover appended, when one was found. Desktop and unknown targets find none.
bool findPreviousInstallation(const std::shared_ptr<HalAccess>& targetHost, InstallerController& controller,
                              std::int32_t flag, std::vector<UninstallLauncherPtr>& launchers);

// The device uninstaller of the target platform, given the installer data's
// CabProvider and CabProgramName. False, with `remover` null, for desktop and
// unknown targets.
bool chooseUninstallMethod(const std::shared_ptr<HalAccess>& targetHost, RunController& controller,
                           UninstallLauncherPtr& remover);

// The first name that ends with ".exe" (exactly so); empty when none does.
SharedString findUninstallerExecutable(const std::vector<SharedString>& files);

}  // namespace druvex

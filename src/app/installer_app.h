// CInstallerApp: the installer program's run over the active device, from the
// command line to the exit code: the options, the one host shared as source
// and target, the controller, the prompts on the terminal unless the run is
// silent, the load of the installer archive and the language, the
// initialisation and the saved state, then the silent run, the launcher's
// message and the exit code.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app_base/installer_options.h"
#include "platform/window_model.h"
#include "text/shared_string.h"
#include "ui_base/msg_box_disp.h"

namespace druvex {

class HalAccess;
class InstallerController;
class InstallerUiPrompts;
class PageLogicRegistry;
class TerminalSession;

// Exit codes of the application (the platform maps them to process statuses).
constexpr std::uint32_t kExitCodeCompleted = 0;
constexpr std::uint32_t kExitCodeFailed = 1;
// The installed copy's answer to "query_min_ver_for_uninst" when the asking
// installer may not remove its installation (1 says it may).
constexpr std::uint32_t kExitCodeUninstallRefused = 3;
// The command line is refused, or there is no device to run on: -1.
constexpr std::uint32_t kExitCodeBadCommandLine = 0xFFFFFFFF;

// The words of the program's command line. A program that the device starts
// gets its whole command line as its one argument, split here by the
// device's rules; several arguments (given by a shell) are the words already.
std::vector<SharedString> commandLineWords(int argc, const char* const* argv);

class CInstallerApp {
public:
    // `arguments`: the words of the command line, without the program's name.
    explicit CInstallerApp(std::vector<SharedString> arguments);
    // Takes the prompts and the controller down before the terminal goes.
    ~CInstallerApp();
    CInstallerApp(const CInstallerApp&) = delete;
    CInstallerApp& operator=(const CInstallerApp&) = delete;

    // The start-up sequence and the run. False when the run did not complete;
    // getExitCode tells how it ended either way.
    bool InitInstance();
    std::uint32_t getExitCode() const { return exitCode_; }

    // The page logics of the runs: those of the controller library and the
    // installation page's; further ones are registered before InitInstance.
    PageLogicRegistry& getPageLogics() { return *pageLogics_; }

    // The wizard's window while the wizard runs, else none (0): the owner of
    // the message boxes and of the programs the installer starts.
    WindowHandle getMainWindow() const { return mainWindow_; }

private:
    // Takes over the terminal for the prompts; false, with the reason told,
    // when there is no terminal to ask on.
    bool startPrompts();
    // The wizard on the terminal; the exit code of its run.
    std::uint32_t runWizard();
    // The language the run starts with, its translation made current.
    void startLanguage();
    // Tells a person: in a box where one can be seen, else on standard error;
    // always in the log.
    void tell(const SharedString& text, std::uint32_t flags);
    // Ends the run with `code`; answers false for InitInstance to return.
    bool end(std::uint32_t code);

    std::vector<SharedString> arguments_;
    InstallerOptions options_;
    MsgBoxDisp messageBoxes_;
    std::shared_ptr<PageLogicRegistry> pageLogics_;
    std::shared_ptr<HalAccess> host_;
    std::unique_ptr<InstallerController> controller_;
    std::unique_ptr<TerminalSession> session_;
    std::shared_ptr<InstallerUiPrompts> prompts_;
    std::uint32_t exitCode_ = kExitCodeFailed;
    WindowHandle mainWindow_ = 0;
};

}  // namespace druvex

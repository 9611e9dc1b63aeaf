// TerminalWizard: the installer's wizard on the terminal. It walks the page
// list of the run's mode as the controller's page sequence holds it: it shows
// the page of the current id, moves on Next and Back through the controller,
// and ends on the end page's Finish, when the person leaves, or when the run
// cannot go on. Pages without a window here (the tethering, users, second
// destination and redistributables pages) are passed over in the direction
// of travel; moving forward over one runs its logic's own work first, as a
// silent run does, and a refusal there turns the wizard back to the page
// before it.
#pragma once

#include <functional>
#include <memory>

#include "app/wizard_page.h"
#include "platform/window_model.h"

namespace druvex {

class InstallerController;
class TerminalSession;

// How the wizard ended.
enum class WizardEnd {
    Finished,  // the end page was finished, or a page ended the run (a newer installer took over)
    Left,      // the person left the installer
    Failed,    // the page list cannot go on
};

// The dialog of the page `id` over the current page logic; null when the
// page has no window here (the wizard passes it over).
std::unique_ptr<WizardPage> makeWizardPage(TerminalSession& session, InstallerController& controller,
                                           WizardPageId id);

class TerminalWizard {
public:
    // Makes the wizard's main window, which owns the message boxes and the
    // programs the installer starts while it runs.
    TerminalWizard(TerminalSession& session, InstallerController& controller);
    ~TerminalWizard();
    TerminalWizard(const TerminalWizard&) = delete;
    TerminalWizard& operator=(const TerminalWizard&) = delete;

    WindowHandle mainWindow() const { return mainWindow_; }

    // Runs from the current page until the wizard ends.
    WizardEnd run();

private:
    // Moves past a page without a window in the direction of travel (1 or
    // -1), which turns back when the page's work fails; false when the run
    // cannot go on.
    bool passOver(WizardPageId id, int& direction);

    TerminalSession& session_;
    InstallerController& controller_;
    WindowHandle mainWindow_ = 0;
};

}  // namespace druvex

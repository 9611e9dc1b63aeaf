// The wizard's walk over pages that have no window here: each one's own work
// runs before the wizard moves on past it, a refusal there moves back, and a
// page list that cannot go on ends the wizard instead of going round.
#include "app/terminal_wizard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../controller/controller_fixture.h"
#include "../ui/scripted_terminal.h"
#include "controller/page_sequence.h"

namespace druvex {
namespace {

using Events = std::vector<std::string>;

class WizardRunner : public test::ControllerFixture {
protected:
    // The uninstallation's pages, each with a recording logic and so
    // without a window; the welcome page current.
    void startUninstallList()
    {
        makeController();
        controller().setPageLogicFactory(std::make_shared<test::RecordingPageLogicFactory>(journal_));
        controller().getPageSequence().buildForMode(kModeUninstall);
        controller().getPageSequence().goToPage(kPageWelcome);
        journal_.events.clear();
    }

    test::ScriptedSession terminal_;
};

TEST_F(WizardRunner, EachPageWithoutAWindowDoesItsWorkBeforeTheWizardMovesOn)
{
    startUninstallList();
    TerminalWizard wizard(terminal_.session, controller());
    EXPECT_NE(wizard.mainWindow(), 0u);
    // The end page has no window either, and nothing comes after it.
    EXPECT_EQ(wizard.run(), WizardEnd::Failed);
    EXPECT_EQ(journal_.events, (Events{"next 4", "next 4", "leave 4 for 11", "make 11", "delete 4",  //
                                       "next 11", "next 11", "leave 11 for 12", "make 12", "delete 11",  //
                                       "next 12", "next 12"}));
    EXPECT_EQ(controller().getPageSequence().getCurrentPageId(), kPageEndInstall);
}

TEST_F(WizardRunner, APageWhoseWorkFailsSendsTheWizardBackAndTheFirstEndsIt)
{
    startUninstallList();
    controller().getPageSequence().goToPage(kPageInstallation);
    journal_.events.clear();
    journal_.answerNext = false;
    TerminalWizard wizard(terminal_.session, controller());
    EXPECT_EQ(wizard.run(), WizardEnd::Failed);
    // Back from the installation page to the welcome page, whose work fails
    // too, and there is nothing before it.
    EXPECT_EQ(journal_.events, (Events{"next 11", "back 11", "leave 11 for 4", "make 4", "delete 11",  //
                                       "back 4"}));
}

}  // namespace
}  // namespace druvex

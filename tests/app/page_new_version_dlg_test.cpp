// The new-version page on a scripted terminal: the newer version offered,
// its release notes only when the bulletin has some, the choice it starts
// on (the last one made, or going on when the installer was built for
// another installer platform), and Next handing the choice shown to the
// logic, which keeps it for the next visit; taking the newer installer
// makes the run its download.
#include "app/page_new_version_dlg.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../ui/scripted_terminal.h"
#include "controller/page_logic_fixture.h"
#include "controller/page_new_version_logic.h"
#include "data/installer_configuration.h"
#include "liveupdate/update_patcher.h"

namespace druvex {
namespace {

using test::ch;
using test::key;

class NewVersionPage : public test::PageLogicFixture {
protected:
    // Survey Pro 4.1; the bulletin's second version, 4.9, offers an installer
    // for `installerPlatform`, with the release notes given.
    void offer(const char* installerPlatform, const std::string& notes)
    {
        makePageProduct();
        controller().getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
        controller().getBuildConfiguration().setInstallerType(kInstallerTypeFull);
        setSetting(InstallerSettingKey::LiveUpdateUrl, u"http://127.0.0.1:8080/p/bulletin.xml");
        const std::string xml =
            std::string(R"(<B><Version Ver="5.0"><FullInstaller prog-platform-mask="All" inst-platform="Controller" )"
                        R"(inst-type="Full" url="setup50.exe" size="7"/></Version><Version Ver="4.9">)") +
            (notes.empty() ? "" : "<ReleaseNotes>" + notes + "</ReleaseNotes>") +
            R"(<FullInstaller prog-platform-mask="Qm40" inst-platform=")" + installerPlatform +
            R"(" inst-type="Full" url="setup49.exe" size="9"/></Version></B>)";
        ASSERT_TRUE(controller().getUpdatePatcher().loadBulletin(xml.data(), xml.size()));
        controller().buildPageSequenceForMode(kModeInstall);
        controller().setNewVersionDownload(SharedString(), 0, SharedString());
        // A page inside the list is current: its recording logic allows Next
        // and Back.
        controller().getPageSequence().goToPage(kPageInstallation);
    }

};

TEST_F(NewVersionPage, ShowsTheOfferAndHandsTheChoiceShownToTheLogicOnNext)
{
    struct Case {
        const char* name;
        const char* installerPlatform;
        std::string notes;
        std::vector<Key> keys;
        std::vector<std::string> shown;  // in order, when the last key is taken
        bool notesShown;
        std::uint8_t choice;
    };
    const Case cases[] = {
        {"notes, the newer installer taken", "Controller", "Faster maps\nNew survey styles", {key(KeyCode::Enter)},
         {"New Version", "Version 4.9 of Survey Pro is available.", "Release notes:", "Faster maps",
          "New survey styles", "(*) Download the new version and install it", "( ) Continue with version 4.1"},
         true, kNewVersionTakeNewer},
        {"no notes, going on with this one", "Controller", "", {key(KeyCode::Down), key(KeyCode::Enter)},
         {"Version 4.9 of Survey Pro is available.", "( ) Download the new version", "(*) Continue with version 4.1"},
         false, kNewVersionKeepThis},
        {"built for another installer platform: going on", "PC", "Bug fixes", {key(KeyCode::Enter)},
         {"Release notes:", "Bug fixes", "( ) Download the new version", "(*) Continue with version 4.1"}, true,
         kNewVersionKeepThis},
        {"built for another installer platform, the newer one taken", "PC", "", {key(KeyCode::Up), key(KeyCode::Enter)},
         {"(*) Download the new version", "( ) Continue with version 4.1"}, false, kNewVersionTakeNewer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        offer(c.installerPlatform, c.notes);
        test::ScriptedSession terminal;
        terminal.setKeys(c.keys);
        std::uint8_t choice = 0xFF;
        {
            PageNewVersionLogic logic(controller());
            PageNewVersionDlg page(terminal.session, controller(), logic);
            EXPECT_EQ(page.doModal(), kPageCommandNext);
            choice = logic.getChoice();
        }
        const std::string& screen = terminal.script->screenAtLastKey;
        std::size_t from = 0;
        for (const std::string& text : c.shown) {
            from = screen.find(text, from);
            ASSERT_NE(from, std::string::npos) << text << " in\n" << screen;
        }
        EXPECT_EQ(screen.find("Release notes") != std::string::npos, c.notesShown) << screen;
        EXPECT_EQ(choice, c.choice);
        // Taking the newer installer makes the run its download, saved in
        // the device's root.
        SharedString url;
        std::uint64_t size = 0;
        SharedString target;
        controller().getNewVersionDownload(url, size, target);
        const bool download = c.choice == kNewVersionTakeNewer;
        EXPECT_EQ(controller().getPageSequence().getMode() == kModeDownload, download);
        EXPECT_EQ(target, download ? SharedString(u"/setup49.exe") : SharedString());
        resetPageLogicProcessState();
    }
}

TEST_F(NewVersionPage, TheNextVisitStartsOnTheChoiceMadeAndBackLeavesItUnchanged)
{
    offer("Controller", "");
    {
        test::ScriptedSession terminal;
        terminal.keys({key(KeyCode::Down), key(KeyCode::Enter)});
        PageNewVersionLogic logic(controller());
        PageNewVersionDlg page(terminal.session, controller(), logic);
        ASSERT_EQ(page.doModal(), kPageCommandNext);
    }
    // Back on the page: it shows the choice made, and a change left with
    // Back is not kept.
    test::ScriptedSession terminal;
    terminal.keys({key(KeyCode::Up), ch(U'b')});
    PageNewVersionLogic logic(controller());
    PageNewVersionDlg page(terminal.session, controller(), logic);
    EXPECT_EQ(logic.getChoice(), kNewVersionKeepThis);
    EXPECT_EQ(page.doModal(), kPageCommandBack);
    EXPECT_NE(terminal.script->screenAtLastKey.find("(*) Download"), std::string::npos)
        << terminal.script->screenAtLastKey;
    EXPECT_EQ(logic.getChoice(), kNewVersionKeepThis);
    EXPECT_EQ(PageNewVersionLogic(controller()).getChoice(), kNewVersionKeepThis);
}

}  // namespace
}  // namespace druvex

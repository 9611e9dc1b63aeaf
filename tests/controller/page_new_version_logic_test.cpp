// The new-version logic: without a newer installer in the bulletin the
// assertion and an empty offer; with one its version and release notes, and
// the choice kept for the process while the installer suits this platform.
#include "controller/page_new_version_logic.h"

#include <gtest/gtest.h>

#include <string>

#include "controller/page_logic_fixture.h"
#include "data/installer_configuration.h"
#include "liveupdate/update_patcher.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

class NewVersion : public test::PageLogicFixture {
protected:
    // Two versions; the second offers an installer for `installerPlatform`.
    void loadOffer(const char* installerPlatform)
    {
        const std::string xml =
            std::string(R"(<B><Version Ver="5.0"><FullInstaller prog-platform-mask="All" inst-platform="Controller" )"
                        R"(inst-type="Full" url="setup50.exe" size="7"/></Version>)"
                        R"(<Version Ver="4.9"><ReleaseNotes>Faster maps</ReleaseNotes>)"
                        R"(<FullInstaller prog-platform-mask="Qm40" inst-platform=")") +
            installerPlatform + R"(" inst-type="Full" url="setup49.exe" size="9"/></Version></B>)";
        ASSERT_TRUE(controller().getUpdatePatcher().loadBulletin(xml.data(), xml.size()));
    }
    void makeNewVersionProduct()
    {
        makePageProduct();
        controller().getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
        controller().getBuildConfiguration().setInstallerType(kInstallerTypeFull);
        setSetting(InstallerSettingKey::LiveUpdateUrl, u"http://127.0.0.1:8080/p/bulletin.xml");
    }
};

TEST_F(NewVersion, WithoutANewerInstallerTheOfferIsEmpty)
{
    makeNewVersionProduct();
    test::DiagCapture diag;
    PageNewVersionLogic logic(controller());
    EXPECT_TRUE(diag.contains(u"PageNewVersionLogic:16"));
    EXPECT_EQ(logic.getNewVersionText(), u"");
    EXPECT_FALSE(logic.hasReleaseNotes());
    EXPECT_EQ(logic.getFlag(), 0);
    EXPECT_EQ(logic.getChoice(), 1);
}

TEST_F(NewVersion, TheChoiceIsKeptForTheProcess)
{
    makeNewVersionProduct();
    loadOffer("Controller");
    test::DiagCapture diag;
    {
        PageNewVersionLogic logic(controller());
        EXPECT_EQ(diag.dbgChkCount(), 0);
        EXPECT_EQ(logic.getFlag(), 1);
        EXPECT_EQ(logic.getChoice(), 0);
        EXPECT_EQ(logic.getNewVersionText(), u"4.9");
        EXPECT_TRUE(logic.hasReleaseNotes());
        EXPECT_EQ(logic.getReleaseNotes(), u"Faster maps");
        logic.setChoice(2);
    }
    PageNewVersionLogic again(controller());
    EXPECT_EQ(again.getChoice(), 2);

    // An installer for another installer platform: the choice is fixed.
    loadOffer("PC");
    PageNewVersionLogic other(controller());
    EXPECT_EQ(other.getFlag(), 0);
    EXPECT_EQ(other.getChoice(), 1);
}

}  // namespace
}  // namespace druvex

// An older installer in the wizard over a newer version of the program, from
// end to end: druvex-setup in tmux on a test device that holds version 2.0,
// started as version 1.0. Leaving the prerequisites page asks whether to
// downgrade the program; no ends the installer with the newer version as it
// was, yes goes on to the tasks for the installed program. On a computer
// whose user lacks the administrator rights the installer needs, leaving the
// page says so and ends the installer. The screens are kept under the build
// folder's tests/app/wizard_screens for review.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "product_fixture.h"
#include "support/external_tool.h"
#include "support/tmux_session.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::dataXml;
using test::kDataFolder;
using test::ProductFeature;
using test::TmuxSession;

class EndToEndEarlierInstallation : public test::ProductFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::toolInstalled("tmux"));
        ProductFixture::SetUp();
        features_ = test::productFeatures();
    }

    // Version 2.0 installed silently.
    void installNewerVersion()
    {
        std::string newer = dataXml(features_);
        const std::string version = "ProgramVersion\" Value=\"";
        newer.replace(newer.find(version + "1.0"), version.size() + 3, version + "2.0");
        const fs::path setup20 = placeInstaller("Setup20", newer, features_);
        const std::string folder = test::quoted(device().directory());
        ASSERT_EQ(test::runTool("cd " + folder + " && DRUVEX_DEVICE=" + folder + " " + test::quoted(setup20) +
                                " silent_mode </dev/null >/dev/null 2>&1")
                      .exitCode,
                  0);
        before_ = deviceFiles();
        ASSERT_NE(before_.at(kDataFolder + "/InstalledLog.xml").find("InstalledProgramVersion=\"2.0\""),
                  std::string::npos);
    }

    std::unique_ptr<TmuxSession> start(const fs::path& program)
    {
        TmuxSession::Options options;
        options.environment = {{"DRUVEX_DEVICE", device().directory().string()}};
        return std::make_unique<TmuxSession>(std::vector<std::string>{program.string()}, options);
    }

    // Version 1.0 in the wizard over version 2.0, on to the question of the
    // prerequisites page.
    std::unique_ptr<TmuxSession> startOlderToTheQuestion()
    {
        installNewerVersion();
        const fs::path setup10 = placeInstaller("Setup10", dataXml(features_), features_);
        auto session = start(setup10);
        EXPECT_TRUE(session->waitFor("Click Next to continue.")) << session->lastScreen();
        session->sendKeys({"Enter"});
        // No update server answers: going on keeps the installed program as it is.
        EXPECT_TRUE(session->waitFor("Do you want to proceed anyway?")) << session->lastScreen();
        session->sendKeys({"y"});
        EXPECT_TRUE(session->waitFor("A more recent version of Field Demo is already installed."))
            << session->lastScreen();
        // The question's box is drawn over the one before it: a look at the
        // screen may catch its first line before the rest.
        EXPECT_TRUE(session->waitFor("version 1.0.")) << session->lastScreen();
        keepScreen(*session, "1-newer-version");
        return session;
    }

    void keepScreen(const TmuxSession& session, const std::string& name) const
    {
        session.saveScreen(fs::path(DRUVEX_WIZARD_SCREENS_DIR) /
                           ::testing::UnitTest::GetInstance()->current_test_info()->name() / (name + ".txt"));
    }

    std::vector<ProductFeature> features_;
    std::map<std::string, std::string> before_;
};

TEST_F(EndToEndEarlierInstallation, DecliningTheDowngradeEndsTheInstallerAndLeavesTheNewerVersion)
{
    auto session = startOlderToTheQuestion();
    session->sendKeys({"n"});
    ASSERT_EQ(session->waitForExit(), 1) << session->lastScreen();
    test::expectTerminalGivenBack(*session);
    EXPECT_EQ(deviceFiles(), before_);
}

TEST_F(EndToEndEarlierInstallation, AcceptingTheDowngradeGoesOnToTheTasksForTheInstalledProgram)
{
    auto session = startOlderToTheQuestion();
    session->sendKeys({"y"});
    ASSERT_TRUE(session->waitFor("Field Demo is installed on this device. Choose what to do."))
        << session->lastScreen();
    keepScreen(*session, "2-welcome");
    session->sendKeys({"Escape"});
    ASSERT_TRUE(session->waitFor("Are you sure you want to exit the installer?")) << session->lastScreen();
    session->sendKeys({"y"});
    ASSERT_EQ(session->waitForExit(), 1) << session->lastScreen();
    EXPECT_EQ(deviceFiles(), before_);
}

TEST_F(EndToEndEarlierInstallation, AComputerRunWithoutTheRightsItNeedsIsToldSoAndEnds)
{
    // A computer whose user has no administrator rights; the installer is
    // for computers and needs the rights.
    device().writeDeviceFile("device.ini", "[Device]\nForceDeviceType=21\nOsVersion=6.1\nAdministrator=0\n\n"
                                           "[Store:\\]\nTotal=268435456\nFree=134217728\n");
    const std::string build =
        "<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"PC\" TargetPlatMask=\"Win32\"/>";
    const fs::path setup =
        placeInstaller("Desktop", dataXml(features_, "", "  <Variable Type=\"RequireAdminRights\" Value=\"Yes\"/>\n"),
                       features_, {test::codedEntry(u"InstallerInfo", kPayloadMethodLzma, test::toBytes(build))});
    const std::map<std::string, std::string> before = deviceFiles();
    auto session = start(setup);
    ASSERT_TRUE(session->waitFor("Click Next to continue.")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitFor("The installation requires administrative rights.")) << session->lastScreen();
    keepScreen(*session, "1-rights");
    session->sendKeys({"Enter"});
    ASSERT_EQ(session->waitForExit(), 1) << session->lastScreen();
    EXPECT_EQ(deviceFiles(), before);
}

}  // namespace
}  // namespace druvex

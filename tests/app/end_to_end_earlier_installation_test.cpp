// An installer in the wizard over another version of the program, from end
// to end: druvex-setup in tmux on a test device. Started as version 1.0 over
// version 2.0, leaving the prerequisites page asks whether to downgrade the
// program; no ends the installer with the newer version as it was, yes goes
// on to the tasks for the installed program, whose first puts version 1.0 in
// its place. Started as version 2.0 over version 1.0, the first task updates
// the program, as a silent run of the same installer does. On a computer
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
#include "support/crash_test_device.h"
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

    // The product at `version`: Core and Maps of that edition and version,
    // Help as it is in every version.
    static std::vector<ProductFeature> featuresOf(const std::string& version)
    {
        std::vector<ProductFeature> features = test::productFeatures();
        for (ProductFeature& feature : features) {
            if (feature.name == "Help")
                continue;
            feature.version = version;
            feature.files = test::makeFiles(feature.name, version, 30);
        }
        return features;
    }
    // The installer of the product at `version` in \Temp\<folder>.
    fs::path placeVersion(const std::string& folder, const std::string& version)
    {
        std::string data = dataXml(featuresOf(version));
        const std::string setting = "ProgramVersion\" Value=\"";
        data.replace(data.find(setting + "1.0"), setting.size() + 3, setting + version);
        return placeInstaller(folder, data, featuresOf(version));
    }
    void installSilently(const fs::path& setup)
    {
        const std::string folder = test::quoted(device().directory());
        ASSERT_EQ(test::runTool("cd " + folder + " && DRUVEX_DEVICE=" + folder + " " + test::quoted(setup) +
                                " silent_mode </dev/null >/dev/null 2>&1")
                      .exitCode,
                  0);
    }
    // Past the prerequisites page: no update server answers, and going on
    // without it keeps the installed program as it is.
    static void proceedWithoutServer(TmuxSession& session)
    {
        ASSERT_TRUE(session.waitFor("Click Next to continue.")) << session.lastScreen();
        session.sendKeys({"Enter"});
        ASSERT_TRUE(session.waitFor("Do you want to proceed anyway?")) << session.lastScreen();
        session.sendKeys({"y"});
    }
    // From the welcome page of an installed program, its first task chosen
    // as the screen shows it: the features as they are, the installation,
    // and the end, with status 0.
    void runFirstTask(TmuxSession& session, const std::string& task)
    {
        ASSERT_TRUE(session.waitFor("( ) Remove the program")) << session.lastScreen();
        EXPECT_TRUE(test::containsInOrder(session.lastScreen(),
                                          {"Field Demo is installed on this device. Choose what to do.",
                                           "(*) " + task, "Remove the program"}))
            << session.lastScreen();
        keepScreen(session, "2-welcome");
        session.sendKeys({"Enter"});
        ASSERT_TRUE(session.waitFor("Space required:")) << session.lastScreen();
        session.sendKeys({"Enter"});
        ASSERT_TRUE(session.waitFor("Field Demo has been updated.")) << session.lastScreen();
        keepScreen(session, "3-end");
        session.sendKeys({"Enter"});
        ASSERT_EQ(session.waitForExit(), 0) << session.lastScreen();
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

TEST_F(EndToEndEarlierInstallation, AnAcceptedDowngradePutsTheOlderVersionInPlace)
{
    installSilently(placeVersion("Setup20", "2.0"));
    ASSERT_NO_FATAL_FAILURE(expectInstalledFeatures(featuresOf("2.0")));
    auto session = start(placeVersion("Setup10", "1.0"));
    ASSERT_NO_FATAL_FAILURE(proceedWithoutServer(*session));
    ASSERT_TRUE(session->waitFor("A more recent version of Field Demo is already installed."))
        << session->lastScreen();
    ASSERT_TRUE(session->waitFor("version 1.0.")) << session->lastScreen();
    keepScreen(*session, "1-newer-version");
    session->sendKeys({"y"});
    ASSERT_NO_FATAL_FAILURE(runFirstTask(*session, "Go back to version 1.0 of the program"));
    expectInstalledFeatures(featuresOf("1.0"));
    EXPECT_NE(deviceFiles().at(kDataFolder + "/InstalledLog.xml").find("InstalledProgramVersion=\"1.0\""),
              std::string::npos);
}

TEST_F(EndToEndEarlierInstallation, ANewerInstallerUpdatesTheProgramInTheWizard)
{
    installSilently(placeVersion("Setup10", "1.0"));
    auto session = start(placeVersion("Setup20", "2.0"));
    ASSERT_NO_FATAL_FAILURE(proceedWithoutServer(*session));
    ASSERT_NO_FATAL_FAILURE(runFirstTask(*session, "Update the program to version 2.0"));
    expectInstalledFeatures(featuresOf("2.0"));
    EXPECT_NE(deviceFiles().at(kDataFolder + "/InstalledLog.xml").find("InstalledProgramVersion=\"2.0\""),
              std::string::npos);
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

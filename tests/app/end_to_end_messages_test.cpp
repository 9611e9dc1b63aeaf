// What the real druvex-setup tells about a run, from end to end: the log of
// a run with a redistributable says what happened to it, a failed fresh
// installation is not called an upgrade, and its rollback says what the
// redistributable's own installer left on the device; the wizard's end page
// of a repair says that the program was repaired.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"
#include "support/external_tool.h"
#include "support/tmux_session.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::kDataFolder;
using test::kDestination;
using test::ProductFeature;

class EndToEndMessages : public test::EndToEndRuns {};

TEST_F(EndToEndMessages, ARunWithARedistributableLogsOnlyWhatHappened)
{
    const std::vector<ProductFeature> features = test::featuresNeedingRuntime();
    const fs::path setup = placeInstallerWithRuntime(features);
    const test::RunResult result = run(setup, {"silent_mode"});
    EXPECT_EQ(result.status, 0) << result.log;
    EXPECT_NE(result.log.find("Redistributable Runtime installed"), std::string::npos) << result.log;
    EXPECT_EQ(result.log.find("could not be unpacked"), std::string::npos) << result.log;
    EXPECT_EQ(device().readFile("Windows/runtime.dll"), "the runtime");
    expectInstalledFeatures(features);
}

TEST_F(EndToEndMessages, AFailedFreshInstallationSaysWhatItWasAndWhatItsRollbackLeft)
{
    const std::vector<ProductFeature> features = test::featuresNeedingRuntime();
    const fs::path setup = placeInstallerWithRuntime(features);
    device().writeFile("Temp/fail.txt", "fail");
    const test::RunResult result = run(setup, {"silent_mode"});
    EXPECT_EQ(result.status, 1) << result.log;
    EXPECT_NE(result.log.find("********** An error occurred while installing the program. Rolling back... **********"),
              std::string::npos)
        << result.log;
    EXPECT_EQ(result.log.find("upgrading"), std::string::npos) << result.log;
    // The program's files went; the runtime that the redistributable's own
    // installer put there stays, and the log says so.
    EXPECT_FALSE(device().exists(kDestination));
    EXPECT_FALSE(device().exists(kDataFolder + "/InstalledLog.xml"));
    EXPECT_EQ(device().readFile("Windows/runtime.dll"), "the runtime");
    EXPECT_NE(result.log.find("Rollback done, except for what the installers of the redistributables Survey runtime "
                           "changed: no rollback undoes that"),
              std::string::npos)
        << result.log;
    EXPECT_EQ(result.log.find("as it was before"), std::string::npos) << result.log;
}

TEST_F(EndToEndMessages, TheWizardsEndPageOfARepairSaysTheProgramWasRepaired)
{
    ASSERT_TRUE(test::toolInstalled("tmux"));
    const std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeInstaller("Setup", test::dataXml(features), features);
    ASSERT_EQ(run(setup, {"silent_mode"}).status, 0);
    fs::remove(device().hostPath(kDestination + "/maps-1.txt"));

    test::TmuxSession::Options options;
    options.environment = {{"DRUVEX_DEVICE", device().directory().string()}};
    test::TmuxSession session(std::vector<std::string>{setup.string()}, options);
    ASSERT_TRUE(session.waitFor("Click Next to continue.")) << session.lastScreen();
    session.sendKeys({"Enter"});
    ASSERT_TRUE(session.waitFor("Do you want to proceed anyway?")) << session.lastScreen();
    session.sendKeys({"y"});
    ASSERT_TRUE(session.waitFor("( ) Remove the program")) << session.lastScreen();
    session.sendKeys({"Down"});
    ASSERT_TRUE(session.waitFor("(*) Repair the program")) << session.lastScreen();
    session.sendKeys({"Enter"});
    ASSERT_TRUE(session.waitFor("Field Demo has been repaired.")) << session.lastScreen();
    EXPECT_EQ(session.lastScreen().find("updated"), std::string::npos) << session.lastScreen();
    session.sendKeys({"Enter"});
    ASSERT_EQ(session.waitForExit(), 0) << session.lastScreen();
    expectInstalledFeatures(features);
}

}  // namespace
}  // namespace druvex

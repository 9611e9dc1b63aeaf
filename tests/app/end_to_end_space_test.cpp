// The device's free space from end to end: the real druvex-setup on a test
// device whose device.ini states little free space. A silent installation
// that does not fit fails when the store is full and leaves the device as it
// was; so does an upgrade whose copy of the installer does not fit, and its
// log says that the store is full and how much the copy took; the wizard's
// feature page does not let a selection go on that does not fit, and its
// destination page shows paths as the device writes them.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"
#include "fileutil/file_util.h"
#include "support/crash_test_device.h"
#include "support/external_tool.h"
#include "support/tmux_session.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::kDataFolder;
using test::kDestination;
using test::ProductFeature;
using test::TmuxSession;

class EndToEndDeviceSpace : public test::EndToEndRuns {};

TEST_F(EndToEndDeviceSpace, ASilentInstallationThatDoesNotFitFailsAndLeavesTheDeviceAsItWas)
{
    // About 670 kB of files against 400 kB free.
    const std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeInstaller("Setup", test::dataXml(features), features);
    device().writeDeviceFile("device.ini", test::deviceIniWithFree(400000));
    const std::map<std::string, std::string> before = deviceFiles();

    const test::RunResult full = run(setup, {"silent_mode"});
    EXPECT_EQ(full.status, 1) << full.log;
    EXPECT_NE(full.log.find("(error 112: the store is full)"), std::string::npos) << full.log;
    EXPECT_NE(full.log.find("Rollback done: the target is as it was before the installation"), std::string::npos)
        << full.log;
    EXPECT_TRUE(full.log.ends_with("Logging finished\r\n")) << full.log;
    EXPECT_TRUE(deviceFiles() == before);
    EXPECT_FALSE(device().exists(kDataFolder + "/InstalledLog.xml"));

    // With room, the same installer installs it all.
    device().writeDeviceFile("device.ini", test::deviceIniWithFree(4294967296));
    const test::RunResult roomy = run(setup, {"silent_mode"});
    EXPECT_EQ(roomy.status, 0) << roomy.log;
    expectInstalledFeatures(features);
}

TEST_F(EndToEndDeviceSpace, AFullStoreDuringTheInstallersCopyIsNamedAndUndone)
{
    std::vector<ProductFeature> features = test::productFeatures();
    expectCompleted(run(placeInstaller("Setup10", test::dataXml(features), features), {"silent_mode"}));
    std::string newer = test::dataXml(features);
    const std::string version = "\"ProgramVersion\" Value=\"1.0\"";
    newer.replace(newer.find(version), version.size(), "\"ProgramVersion\" Value=\"2.0\"");
    const fs::path setup = placeInstaller("Setup20", newer, features);
    const std::map<std::string, std::string> before = deviceFiles();

    // Room for what the upgrade installs, not for the program's copy.
    device().writeDeviceFile("device.ini", test::deviceIniWithFree(1000000));
    const test::RunResult full = run(setup, {"silent_mode"});
    EXPECT_EQ(full.status, 1) << full.log;
    // The product data folder as the installer joins it to its root.
    const std::string dataFolder = "\\Windows\\" + kDataFolder.substr(kDataFolder.find('/') + 1);
    const std::string copy = "Cannot copy the installer (" +
                             std::string(toUtf8(formatByteSize(fs::file_size(setup), 1, true)).c_str()) +
                             ") to " + dataFolder + "/setup.exe (error 112: the store is full)";
    EXPECT_NE(full.log.find(copy), std::string::npos) << full.log;
    // The person who started the silent run hears why on standard error.
    const std::string told = test::textOf(test::readFileBytes(device().directory() / "stderr.txt"));
    EXPECT_NE(told.find("error 112: the store is full"), std::string::npos) << told;
    EXPECT_TRUE(deviceFiles() == before);
}

class EndToEndWizardSpace : public test::EndToEndRuns {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::toolInstalled("tmux"));
        EndToEndRuns::SetUp();
    }
    std::unique_ptr<TmuxSession> start(const fs::path& program)
    {
        TmuxSession::Options options;
        options.environment = {{"DRUVEX_DEVICE", device().directory().string()}};
        return std::make_unique<TmuxSession>(std::vector<std::string>{program.string()}, options);
    }
};

TEST_F(EndToEndWizardSpace, TheFeaturePageTakesOnlyASelectionThatFits)
{
    // Each feature asks for 1 MiB; 2.5 MB are free.
    std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeInstaller("Setup", test::dataXml(features), features);
    device().writeDeviceFile("device.ini", test::deviceIniWithFree(2500000));
    auto session = start(setup);
    ASSERT_TRUE(session->waitFor("Click Next to continue.")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitFor("Welcome to the setup of Field Demo.")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitFor("Space available:")) << session->lastScreen();
    // Paths as the device writes them to people: the root store is "\".
    EXPECT_TRUE(test::containsInOrder(session->lastScreen(), {"\\", "Destination folder:",
                                                              "\\Program Files\\FieldDemo"}))
        << session->lastScreen();
    EXPECT_EQ(session->lastScreen().find("Program Files/FieldDemo"), std::string::npos) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitFor("Space required: 3.0 MB")) << session->lastScreen();

    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitFor("There is not enough free disk space.")) << session->lastScreen();
    EXPECT_NE(session->lastScreen().find("of disk space on \\ to continue."), std::string::npos)
        << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitForGone("There is not enough free disk space.")) << session->lastScreen();
    ASSERT_NE(session->lastScreen().find("Space required: 3.0 MB"), std::string::npos) << session->lastScreen();

    // Core alone fits. The features keep the focus, on the first of them.
    session->sendKeys({"Down", "Space", "Down", "Space"});
    ASSERT_TRUE(session->waitFor("Space required: 1.0 MB")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitFor("Field Demo has been installed on the device.")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
    features.resize(1);
    expectInstalledFeatures(features);
}

}  // namespace
}  // namespace druvex

// What the real druvex-setup says when a run does not do all it was asked,
// on test devices whose root store fills during a feature: a repair in the
// wizard whose required feature does not fit asks whether to try again (never
// whether to leave it out), says why, and is rolled back; a feature that may
// be left out is asked about with "No" as the answer Enter gives, and once
// left out the end page names it and the status is 1; a silent installation
// that does not fit names the feature and the full store on standard error.
// A wizard restore of a full backup that fails is told on the end page and
// ends with status 1.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "data/installed_log.h"
#include "end_to_end_fixture.h"
#include "support/external_tool.h"
#include "support/tmux_session.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::kDataFolder;
using test::kDestination;
using test::ProductFeature;
using test::TmuxSession;

// The test product with Core (required) and Maps each some 1.5 MB, so that
// a store stated to the byte fills in the middle of one of them whatever the
// log and the work folder take.
std::vector<ProductFeature> largeFeatures()
{
    std::vector<ProductFeature> features = test::productFeatures();
    for (int feature = 0; feature < 2; ++feature) {
        for (int i = 0; i < 4; ++i)
            features[feature].files["data/" + features[feature].name + "-large-" + std::to_string(i) + ".dat"] =
                std::string(300000, static_cast<char>('a' + i));
    }
    return features;
}

class EndToEndRunOutcome : public test::EndToEndRuns {
protected:
    // The bytes of the files of a feature.
    static std::uint64_t bytesOf(const ProductFeature& feature) { return fileBytes(feature.files); }
    void stateFree(std::uint64_t bytes) { device().writeDeviceFile("device.ini", test::deviceIniWithFree(bytes)); }

    // The wizard of the installed program, past its prerequisites (the update
    // server does not answer) and its welcome page with Repair chosen.
    std::unique_ptr<TmuxSession> startRepair(const fs::path& setup)
    {
        std::unique_ptr<TmuxSession> session = startWizard(setup);
        proceedWithoutUpdateServer(*session);
        if (!session->waitFor("Repair the program")) {
            ADD_FAILURE() << session->lastScreen();
            return session;
        }
        // Each move waits until the choice it leaves is no longer marked, so
        // that a key is never sent to a screen that has not caught up.
        for (int moves = 0; moves < 4; ++moves) {
            const std::string screen = session->capture();
            if (screen.find("(*) Repair the program") != std::string::npos)
                break;
            const std::size_t marked = screen.find("(*) ");
            if (marked == std::string::npos)
                break;
            const std::string chosen = screen.substr(marked, screen.find('\n', marked) - marked);
            session->sendKeys({"Down"});
            session->waitForGone(chosen);
        }
        EXPECT_TRUE(session->waitFor("(*) Repair the program")) << session->lastScreen();
        session->sendKeys({"Enter"});
        return session;
    }
};

TEST_F(EndToEndRunOutcome, ASilentInstallationThatFillsTheStoreNamesTheFeatureAndTheFullStore)
{
    const std::vector<ProductFeature> features = largeFeatures();
    const fs::path setup = placeInstaller("Setup", test::dataXml(features), features);
    stateFree(bytesOf(features[0]) / 2);

    const test::RunResult result = run(setup, {"silent_mode"});
    EXPECT_EQ(result.status, 1) << result.log;
    const std::string err = test::textOf(test::readFileBytes(device().directory() / "stderr.txt"));
    EXPECT_NE(err.find("The silent run stopped on the Installation page: The feature Feature/Core could not be "
                       "installed: the store is full (error 112 writing \\Program Files\\FieldDemo\\"),
              std::string::npos)
        << err;
    // A silent run never leaves a feature out: it is rolled back.
    EXPECT_NE(result.log.find("Rollback done: the target is as it was before the installation"), std::string::npos)
        << result.log;
    EXPECT_FALSE(device().exists(kDataFolder + "/InstalledLog.xml"));
}

TEST_F(EndToEndRunOutcome, ARepairWhoseRequiredFeatureDoesNotFitIsRolledBackNeverSkipped)
{
    ASSERT_TRUE(test::toolInstalled("tmux"));
    const std::vector<ProductFeature> features = largeFeatures();
    const fs::path setup = placeInstaller("Setup", test::dataXml(features), features);
    expectCompleted(run(setup, {"silent_mode"}));
    // The removed files wait in the rollback folder on the same store, and a
    // repair of the same version makes no copy of the installer: half of
    // Core fits.
    stateFree(bytesOf(features[0]) / 2);

    std::unique_ptr<TmuxSession> session = startRepair(setup);
    ASSERT_TRUE(session->waitFor("The feature Core could not be installed: the store is full."))
        << session->lastScreen();
    EXPECT_NE(session->lastScreen().find("Do you want to resume the installation?"), std::string::npos)
        << session->lastScreen();
    EXPECT_EQ(session->lastScreen().find("skip"), std::string::npos) << session->lastScreen();
    session->sendKeys({"n"});
    ASSERT_TRUE(session->waitFor("Do you want to roll back")) << session->lastScreen();
    session->sendKeys({"y"});
    ASSERT_TRUE(session->waitFor("The installation did not complete. The device is as it was before."))
        << session->lastScreen();
    EXPECT_EQ(session->lastScreen().find("has been repaired"), std::string::npos) << session->lastScreen();
    session->sendKeys({"Enter"});
    EXPECT_EQ(session->waitForExit(), 1) << session->lastScreen();
    // The program is whole again, its installed log as before.
    expectInstalledFeatures(features);
}

TEST_F(EndToEndRunOutcome, AFeatureLeftOutOfARepairIsNamedOnTheEndPageAndTheStatusIsOne)
{
    ASSERT_TRUE(test::toolInstalled("tmux"));
    const std::vector<ProductFeature> features = largeFeatures();
    const fs::path setup = placeInstaller("Setup", test::dataXml(features), features);
    expectCompleted(run(setup, {"silent_mode"}));
    // Core fits, Maps does not; Help does once Maps's part is taken back.
    stateFree(bytesOf(features[0]) + bytesOf(features[1]) / 2);

    std::unique_ptr<TmuxSession> session = startRepair(setup);
    const std::string skipQuestion = "Do you want to skip this feature and continue without it?";
    ASSERT_TRUE(session->waitFor(skipQuestion)) << session->lastScreen();
    EXPECT_NE(session->lastScreen().find("The feature Maps could not be installed: the store is full."),
              std::string::npos)
        << session->lastScreen();
    // Enter gives the answer that loses nothing: the feature is not left
    // out, and the next question is whether to try it again.
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitFor("Do you want to resume the installation?")) << session->lastScreen();
    session->sendKeys({"y"});
    ASSERT_TRUE(session->waitForGone("Do you want to resume the installation?")) << session->lastScreen();
    ASSERT_TRUE(session->waitFor(skipQuestion)) << session->lastScreen();
    session->sendKeys({"y"});
    ASSERT_TRUE(session->waitFor("Field Demo has been repaired.")) << session->lastScreen();
    EXPECT_NE(session->lastScreen().find("Not every feature was installed. These were left out: Maps"),
              std::string::npos)
        << session->lastScreen();
    session->sendKeys({"Enter"});
    EXPECT_EQ(session->waitForExit(), 1) << session->lastScreen();

    // Core and Help stand; Maps is gone and the installed log marks it failed.
    std::set<std::string> expected;
    for (const ProductFeature* feature : {&features[0], &features[2]}) {
        for (const auto& [name, text] : feature->files) {
            expected.insert(kDestination + "/" + name);
            EXPECT_TRUE(device().readFile(kDestination + "/" + name) == text) << name;
        }
    }
    EXPECT_EQ(installedLogFiles(), expected);
    for (const auto& [name, text] : features[1].files)
        EXPECT_FALSE(device().exists(kDestination + "/" + name)) << name;
    const std::string log = device().readFile(kDataFolder + "/InstalledLog.xml");
    InstalledLog installed;
    ASSERT_TRUE(installed.loadFromBuffer(log.data(), log.size()));
    ASSERT_NE(installed.findFeature(u"Feature/Maps"), nullptr);
    EXPECT_TRUE(installed.findFeature(u"Feature/Maps")->getFailed());
}

TEST_F(EndToEndRunOutcome, AWizardRestoreThatFailsIsToldOnTheEndPageAndTheStatusIsOne)
{
    ASSERT_TRUE(test::toolInstalled("tmux"));
    const std::vector<ProductFeature> features = test::productFeatures();
    const std::string restoring = "  <Variable Type=\"AllowRestoreFromBackup\" Value=\"Yes\"/>\n";
    const fs::path setup = placeInstaller("Setup", test::dataXml(features, "", restoring), features);
    // A backup of the field program's data, made while the program was installed.
    expectCompleted(run(setup, {"silent_mode"}));
    const std::string data = kDestination + "/FieldData";
    device().writeFile(data + "/settings.xml", "<Settings Units=\"m\"/>\n");
    device().writeFile(data + "/Jobs/site.job", "P1 10 20\n");
    expectCompleted(run(setup, {"silent_mode", "create_backup", "\\Backups\\demo.7z", "FieldData"}));
    expectCompleted(run(setup, {"uninstall_mode", "silent_mode"}));
    // Where the backup's jobs folder goes stands a file: the restore fails.
    fs::remove_all(device().hostPath(data + "/Jobs"));
    device().writeFile(data + "/Jobs", "in the way");

    std::unique_ptr<TmuxSession> session = startWizard(setup);
    ASSERT_TRUE(session->waitFor("Click Next to continue.")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitFor("( ) Restore from a full backup")) << session->lastScreen();
    session->sendKeys({"Down"});
    ASSERT_TRUE(session->waitFor("(*) Restore from a full backup")) << session->lastScreen();
    session->sendKeys({"Tab"});
    session->typeText("\\Backups\\demo.7z");
    session->sendKeys({"Enter"});
    for (const char* page : {"Space available:", "Space required:"}) {
        ASSERT_TRUE(session->waitFor(page)) << session->lastScreen();
        session->sendKeys({"Enter"});
    }
    ASSERT_TRUE(session->waitFor("Field Demo has been installed on the device.")) << session->lastScreen();
    EXPECT_NE(session->lastScreen().find("The full backup could not be restored."), std::string::npos)
        << session->lastScreen();
    session->sendKeys({"Enter"});
    EXPECT_EQ(session->waitForExit(), 1) << session->lastScreen();
    // The program itself is installed.
    expectInstalledFeatures(features);
}

}  // namespace
}  // namespace druvex

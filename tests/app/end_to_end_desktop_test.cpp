// The installer on a desktop: the real druvex-setup on a test device that
// plays a desktop, for a product built for it.
// A file of the product that an application (a child process) keeps open is,
// after the person's "Ignore", written over where it stands and the run needs
// a reboot: the state of the wizard is saved for the installer that runs
// after the reboot, the pending registrations get their Active Setup
// components, a later held file goes on without a question, and in the
// wizard the end page asks for the reboot and the device restarts.
// Off the device the welcome page offers to wipe the installed program
// before the task installs it anew, as the installer allows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/installed_log.h"
#include "data/previous_settings.h"
#include "host/wince_hal_access.h"
#include "end_to_end_fixture.h"
#include "support/crash_test_device.h"
#include "support/file_holder_process.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::dataXml;
using test::kDataFolder;
using test::kSetupProgram;
using test::ProductFeature;

constexpr char kUuid[] = "{8C2F4D1E-6A3B-4C59-9E07-1B2D3F4A5C6E}";

// The product for a desktop: Core and Help, Core of the given Version; the
// newer Core brings the file "shared/runtime.dat" besides its own.
std::vector<ProductFeature> desktopFeatures(const std::string& coreVersion)
{
    std::vector<ProductFeature> features{{"Core", coreVersion, test::makeFiles("core", coreVersion, 6), ""},
                                         {"Help", "1.0", test::makeFiles("help", "1.0", 4), ""}};
    if (coreVersion != "1.0") {
        features[0].files["shared/runtime.dat"] = "runtime " + coreVersion;
        features[0].files["shared/runtime2.dat"] = "second runtime " + coreVersion;
    }
    return features;
}

class EndToEndDesktop : public test::EndToEndRuns {
protected:
    std::string deviceIni() const override
    {
        // Room for the installer's copy of itself, also a sanitizer build's.
        return "[Device]\nForceDeviceType=21\nOsVersion=6.1\n\n[Store:\\]\nTotal=8589934592\nFree=4294967296\n";
    }
    void SetUp() override
    {
        layout_.installerInfo =
            "<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"PC\" TargetPlatMask=\"Win32\"/>";
        EndToEndRuns::SetUp();
    }

    fs::path placeDesktopInstaller(const std::string& folder, const std::vector<ProductFeature>& features)
    {
        return placeInstaller(folder, dataXml(features, "", "", "", "Win32"), features);
    }

    // What the installed log says: its destination folder (relative to fs/,
    // with '/') and the log itself.
    std::unique_ptr<InstalledLog> installedLog()
    {
        auto log = std::make_unique<InstalledLog>();
        const test::Bytes bytes = test::readFileBytes(device().hostPath(kDataFolder + "/InstalledLog.xml"));
        EXPECT_TRUE(log->loadFromBuffer(bytes.data(), bytes.size()));
        return log;
    }
    std::string destination()
    {
        std::string folder = test::narrow(installedLog()->getDestinationFolder().view());
        std::replace(folder.begin(), folder.end(), '\\', '/');
        return folder.substr(folder.find_first_not_of('/'));
    }

    // The installed log, written again with the registrations an earlier run
    // left pending.
    void addPendingRegistrations(const std::vector<SharedString>& paths)
    {
        const std::unique_ptr<InstalledLog> log = installedLog();
        for (const SharedString& path : paths)
            log->addPendingRegistration(path);
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(log->serialize(bytes));
        test::writeFileBytes(device().hostPath(kDataFolder + "/InstalledLog.xml"), bytes);
    }

    static std::size_t count(const std::string& text, const std::string& what)
    {
        std::size_t found = 0;
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
            ++found;
        return found;
    }
};

TEST_F(EndToEndDesktop, AHeldFileIgnoredInASilentRunIsReplacedAndTheRunSavesItsStateForTheReboot)
{
    expectCompleted(run(placeDesktopInstaller("Setup", desktopFeatures("1.0")), {"silent_mode"}));
    const std::string folder = destination();
    addPendingRegistrations({SharedString(u"\\Program Files\\Field Demo\\survey.dll")});
    // Two files the newer Core brings stand there already, each held open by
    // an application that uses them.
    device().writeFile(folder + "/shared/runtime.dat", "runtime in use");
    device().writeFile(folder + "/shared/runtime2.dat", "second runtime in use");
    test::FileHolderProcess first(device().hostPath(folder + "/shared/runtime.dat"));
    test::FileHolderProcess second(device().hostPath(folder + "/shared/runtime2.dat"));
    ASSERT_TRUE(first.running() && second.running());

    const std::vector<ProductFeature> newer = desktopFeatures("1.1");
    const test::RunResult result = run(placeDesktopInstaller("Newer", newer), {"silent_mode"});
    expectCompleted(result);
    // Written over where they stand, while the applications still hold them.
    EXPECT_EQ(device().readFile(folder + "/shared/runtime.dat"), "runtime 1.1");
    EXPECT_EQ(device().readFile(folder + "/shared/runtime2.dat"), "second runtime 1.1");
    for (const auto& [name, text] : newer[0].files)
        EXPECT_TRUE(device().readFile(folder + "/" + name) == text) << name;
    // Asked once: the second file goes on as the run already needs a reboot.
    EXPECT_EQ(count(result.log, "System reboot is required to finalize the installation."), 1u) << result.log;
    EXPECT_NE(result.log.find("needs a reboot to complete"), std::string::npos) << result.log;

    // The state of the wizard waits for the installer after the reboot.
    HalAccessWinCE host;
    PreviousSettings saved(host);
    bool corrupt = false;
    ASSERT_TRUE(saved.loadFromFile(fromUtf8("/" + kDataFolder + "/PreviousSettings.xml"), corrupt)) << result.log;
    EXPECT_EQ(saved.getTargetDir(), installedLog()->getDestinationFolder());

    // The pending registration is finished and validated at the next start.
    const std::string registry = test::textOf(test::readFileBytes(device().directory() / "registry.reg"));
    const std::string component = std::string("Active Setup\\Installed Components\\") + kUuid;
    EXPECT_NE(registry.find(component), std::string::npos) << registry;
    EXPECT_NE(registry.find(std::string("Active Setup\\Installed Components\\>") + kUuid), std::string::npos)
        << registry;
    EXPECT_NE(registry.find("finalize_registrations"), std::string::npos) << registry;
    EXPECT_NE(registry.find("validate_registrations"), std::string::npos) << registry;
}

// In the wizard the person is shown the application holding the file and
// answers "Ignore"; the end page then asks for the reboot, and the yes
// restarts the device.
TEST_F(EndToEndDesktop, InTheWizardAHeldFileIgnoredEndsWithTheRebootOfTheDevice)
{
    ASSERT_TRUE(test::toolInstalled("tmux"));
    expectCompleted(run(placeDesktopInstaller("Setup", desktopFeatures("1.0")), {"silent_mode"}));
    const std::string folder = destination();
    device().writeFile(folder + "/shared/runtime.dat", "runtime in use");
    test::FileHolderProcess holder(device().hostPath(folder + "/shared/runtime.dat"));
    ASSERT_TRUE(holder.running());
    const fs::path newer = placeDesktopInstaller("Newer", desktopFeatures("1.1"));

    {
        const std::unique_ptr<test::TmuxSession> session = startWizard(newer);
        proceedWithoutUpdateServer(*session);
        ASSERT_TRUE(session->waitFor("Choose what to do.")) << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_TRUE(session->waitFor("Choose the features to install.")) << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_TRUE(session->waitFor("[ Ignore ]")) << session->lastScreen();
        EXPECT_TRUE(test::containsInOrder(session->lastScreen(), {"File in Use", "reboot will be required", "sleep",
                                                                  "[ Exit ]  [ Ignore ]  [ Retry ]"}))
            << session->lastScreen();
        session->sendKeys({"i"});
        ASSERT_TRUE(session->waitFor("Field Demo has been updated.")) << session->lastScreen();
        // Finish asks for the reboot.
        session->sendKeys({"Enter"});
        ASSERT_TRUE(session->waitFor("A reboot is needed to complete the installation.")) << session->lastScreen();
        session->sendKeys({"y"});
        ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
    }
    EXPECT_EQ(device().readFile(folder + "/shared/runtime.dat"), "runtime 1.1");
    const std::string events = test::textOf(test::readFileBytes(device().directory() / "events.log"));
    EXPECT_NE(events.find("SOFT_RESET"), std::string::npos) << events;
    EXPECT_TRUE(device().exists(kDataFolder + "/PreviousSettings.xml"));
    const std::string log = logOf(newer);
    EXPECT_NE(log.find("answered Yes"), std::string::npos) << log;
}

// A file of the installed program held open when an update removes the
// feature that brought it: the removal fails, and its log line names the
// file and the application holding it, so that the person knows what to close.
TEST_F(EndToEndDesktop, ARemovalStoppedByAHeldFileNamesTheFileAndItsHolder)
{
    expectCompleted(run(placeDesktopInstaller("Setup", desktopFeatures("1.0")), {"silent_mode"}));
    const std::string folder = destination();
    test::FileHolderProcess holder(device().hostPath(folder + "/core-0.txt"));
    ASSERT_TRUE(holder.running());

    const test::RunResult result = run(placeDesktopInstaller("Newer", desktopFeatures("1.1")), {"silent_mode"});
    EXPECT_EQ(result.status, 1) << result.log;
    const std::string held = "core-0.txt (error 32: held open by sleep (process " + std::to_string(holder.pid()) + "))";
    EXPECT_NE(result.log.find("********** Cannot remove "), std::string::npos) << result.log;
    EXPECT_NE(result.log.find(held + " **********"), std::string::npos) << result.log;
    // Said on standard error too, where a silent run's reason goes.
    const std::string err = test::textOf(test::readFileBytes(device().directory() / "stderr.txt"));
    EXPECT_NE(err.find("The feature Feature/Core could not be removed: Cannot remove "), std::string::npos) << err;
    EXPECT_NE(err.find(held), std::string::npos) << err;
    // Rolled back: the held file and the rest of version 1.0 stand.
    const std::vector<ProductFeature> earlier = desktopFeatures("1.0");
    for (const auto& [name, text] : earlier[0].files)
        EXPECT_TRUE(device().readFile(folder + "/" + name) == text) << name;
}

TEST_F(EndToEndDesktop, TheWelcomePageOffersTheWipeAndTheWipedProgramComesBackWhole)
{
    ASSERT_TRUE(test::toolInstalled("tmux"));
    const std::vector<ProductFeature> features = desktopFeatures("1.0");
    const fs::path setup = placeDesktopInstaller("Setup", features);
    expectCompleted(run(setup, {"silent_mode"}));
    const std::string folder = destination();
    // A file of the program changed since: only a wipe puts it back as installed.
    device().writeFile(folder + "/core-1.txt", "changed by hand");

    {
        const std::unique_ptr<test::TmuxSession> session = startWizard(setup);
        proceedWithoutUpdateServer(*session);
        ASSERT_TRUE(session->waitFor("Remove the installed files before installing")) << session->lastScreen();
        session->sendKeys({"Tab", "Space"});
        ASSERT_TRUE(session->waitFor("[x] Remove the installed files before installing")) << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_TRUE(session->waitFor("Choose the features to install.")) << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_TRUE(session->waitFor("Field Demo has been updated.")) << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
    }
    const std::string log = logOf(setup);
    EXPECT_NE(log.find("The installed files are removed before the installation"), std::string::npos) << log;
    for (const ProductFeature& feature : features) {
        EXPECT_NE(log.find("Removing Feature/" + feature.name), std::string::npos) << log;
        EXPECT_NE(log.find("Installing Feature/" + feature.name), std::string::npos) << log;
        for (const auto& [name, text] : feature.files)
            EXPECT_TRUE(device().readFile(folder + "/" + name) == text) << name;
    }
    EXPECT_EQ(installedLog()->getFeatureCount(), 2);
}

}  // namespace
}  // namespace druvex

// The wizard of the real program on a terminal: druvex-setup runs in tmux on
// a test device, the tests type keys and read the screen. A walk through
// every page installs what was left ticked; leaving during the installation
// cancels it and, after the rollback question, leaves the device as it was;
// a second run of the installer offers the maintenance tasks and removes the
// program; a fault in a page's handler ends the program with the crash
// status and gives the terminal back. Each wait polls the screen for a text.
// The screens of the walks are kept under the build folder's
// tests/app/wizard_screens for review.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "custom_page_xml.h"
#include "data/install_data.h"
#include "data/install_data_xml.h"
#include "product_fixture.h"
#include "support/crash_test_device.h"
#include "support/external_tool.h"
#include "support/loopback_http_server.h"
#include "support/recorded_start.h"
#include "support/tmux_session.h"
#include "support/xlate_file.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::containsInOrder;
using test::kDataFolder;
using test::utf16leFromUtf8;
using test::kDestination;
using test::licencedData;
using test::ProductFeature;
using test::TmuxSession;

const char kLicenceText[] = "DEMO LICENCE: the field survey programs may be used on one device.";

// Tells when a file of a folder has been written and closed.
class FileCloseWatch {
public:
    explicit FileCloseWatch(const fs::path& folder) : fd_(::inotify_init1(IN_CLOEXEC))
    {
        EXPECT_GE(::inotify_add_watch(fd_, folder.c_str(), IN_CLOSE_WRITE), 0);
    }
    ~FileCloseWatch() { ::close(fd_); }
    FileCloseWatch(const FileCloseWatch&) = delete;
    FileCloseWatch& operator=(const FileCloseWatch&) = delete;

    // Blocks until `name` has been closed after writing; false when nothing
    // at all happens in the folder for a minute (the test has failed then).
    bool waitFor(const std::string& name)
    {
        for (;;) {
            pollfd entry{fd_, POLLIN, 0};
            if (::poll(&entry, 1, 60'000) <= 0)
                return false;
            alignas(inotify_event) char buffer[4096];
            const ssize_t count = ::read(fd_, buffer, sizeof buffer);
            for (ssize_t at = 0; at < count;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0 && name == event->name)
                    return true;
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
    }

private:
    int fd_;
};

class TerminalWizard : public test::ProductFixture {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::toolInstalled("tmux"));
        ProductFixture::SetUp();
    }

    // The installer with the licence, the gate when asked, the
    // installer-data elements given (custom pages) and the settings given.
    fs::path placeWizardInstaller(const std::vector<ProductFeature>& features, bool gate,
                                  const std::string& elements = "", const std::string& settings = "")
    {
        std::vector<test::EntrySource> entries;
        entries.push_back(test::codedEntry(u"ExtraData/EULA/English", kPayloadMethodLzma,
                                           packageOf({{"eula.txt", kLicenceText}})));
        if (gate) {
            entries.push_back(gateEntry());
        }
        return placeInstaller("Setup", licencedData(features, (gate ? test::kGateAction : "") + elements, settings),
                              features, entries);
    }

    std::unique_ptr<TmuxSession> start(const fs::path& program)
    {
        if (runs_++ == 0)
            fs::remove_all(screensFolder());
        TmuxSession::Options options;
        options.environment = {{"DRUVEX_DEVICE", device().directory().string()},
                               // The program's own fault handlers must see its faults.
                               {"ASAN_OPTIONS", "handle_segv=0:handle_sigbus=0:allow_user_segv_handler=1:"
                                                "detect_leaks=0"}};
        return std::make_unique<TmuxSession>(std::vector<std::string>{program.string()}, options);
    }

    // Keeps the screen for a reviewer, named after the test, and tells where.
    // The screens of a test's second and later runs are named after the run.
    void keepScreen(const TmuxSession& session, const std::string& name) const
    {
        const std::string run = runs_ > 1 ? "run" + std::to_string(runs_) + "-" : "";
        const fs::path file = screensFolder() / (run + name + ".txt");
        session.saveScreen(file);
        std::cout << "screen kept in " << file.string() << "\n";
    }

    static fs::path screensFolder()
    {
        return fs::path(DRUVEX_WIZARD_SCREENS_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    // Waits for `text`, keeps the screen under `name`; false when it never shows.
    bool reach(TmuxSession& session, const std::string& text, const std::string& name)
    {
        if (!session.waitFor(text))
            return false;
        keepScreen(session, name);
        return true;
    }

    // Walks from the prerequisites page to the features page of a first
    // installation, accepting the licence.
    void walkToFeatures(TmuxSession& session)
    {
        ASSERT_TRUE(reach(session, "Click Next to continue.", "1-prerequisites")) << session.lastScreen();
        EXPECT_TRUE(containsInOrder(session.lastScreen(), {"Prerequisites", "The installer is complete.", "100%",
                                                           "The device can take the program."}))
            << session.lastScreen();
        session.sendKeys({"Enter"});
        ASSERT_TRUE(reach(session, "Welcome to the setup of Field Demo.", "2-welcome")) << session.lastScreen();
        session.sendKeys({"Enter"});
        ASSERT_TRUE(reach(session, "I accept the terms", "3-licence")) << session.lastScreen();
        EXPECT_TRUE(containsInOrder(session.lastScreen(), {"License Agreement", "DEMO LICENCE", "[ ] I accept"}))
            << session.lastScreen();
        // Next waits for the licence to be accepted.
        session.sendKeys({"Enter", "Space"});
        ASSERT_TRUE(session.waitFor("[x] I accept")) << session.lastScreen();
        EXPECT_NE(session.lastScreen().find("License Agreement"), std::string::npos) << session.lastScreen();
        session.sendKeys({"Enter"});
        ASSERT_TRUE(reach(session, "Space available:", "4-destination")) << session.lastScreen();
        EXPECT_TRUE(containsInOrder(session.lastScreen(), {"Destination folder:", "\\Program Files\\FieldDemo"}))
            << session.lastScreen();
        session.sendKeys({"Enter"});
        ASSERT_TRUE(reach(session, "Space required:", "5-features")) << session.lastScreen();
        EXPECT_TRUE(containsInOrder(session.lastScreen(), {"[x] Core", "[x] Maps", "[x] Help"})) << session.lastScreen();
    }

    // What the device holds below fs/ (the installers' folders left out) and
    // its registry.
    std::map<std::string, std::string> deviceState()
    {
        std::map<std::string, std::string> state = deviceFiles();
        std::ifstream registry(device().directory() / "registry.reg", std::ios::binary);
        state["registry.reg"] = std::string(std::istreambuf_iterator<char>(registry), std::istreambuf_iterator<char>());
        return state;
    }

private:
    int runs_ = 0;
};

TEST_F(TerminalWizard, AWalkThroughEveryPageInstallsTheFeaturesLeftTicked)
{
    std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeWizardInstaller(features, true);
    auto session = start(setup);
    walkToFeatures(*session);

    // Maps unticked; the required Core cannot be.
    session->sendKeys({"Space", "Down", "Space"});
    ASSERT_TRUE(session->waitFor("[ ] Maps")) << session->lastScreen();
    EXPECT_NE(session->lastScreen().find("[x] Core"), std::string::npos) << session->lastScreen();
    keepScreen(*session, "6-maps-unticked");
    session->sendKeys({"Enter"});

    // The run stops at the gate with its files in place; the page behind
    // shows how far it came.
    ASSERT_TRUE(reach(*session, "The files are in place.", "7-installation")) << session->lastScreen();
    EXPECT_TRUE(containsInOrder(session->lastScreen(), {"Installation", "Installing...", "\\Program Files\\FieldDemo\\",
                                                        "%", " kB of 435.0 kB", "The files are in place."}))
        << session->lastScreen();
    EXPECT_EQ(session->lastScreen().find("]   0%"), std::string::npos) << session->lastScreen();
    openGate();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(reach(*session, "Field Demo has been installed on the device.", "8-end")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();

    features.erase(features.begin() + 1);
    expectInstalledFeatures(features);
    EXPECT_FALSE(device().exists(kDestination + "/maps-0.txt"));
}

TEST_F(TerminalWizard, TickingTheLaunchOfferOnTheEndPageStartsTheProgram)
{
    // The program the installation offers to start: a file of Core that the
    // device runs through the recording program.
    std::vector<ProductFeature> features = test::productFeatures();
    features[0].files["fielddemo.exe"] = "the field demo program";
    device().writeDeviceFile("device.ini",
                             deviceIni() + "\n[Programs]\nfielddemo.exe=" + DRUVEX_RECORD_START_PROGRAM + "\n");
    const fs::path setup =
        placeWizardInstaller(features, false, "", "  <Variable Type=\"LaunchApp\" Value=\"fielddemo.exe\"/>\n");
    auto session = start(setup);
    walkToFeatures(*session);
    session->sendKeys({"Enter"});
    ASSERT_TRUE(reach(*session, "[ ] Launch Field Demo", "6-end")) << session->lastScreen();
    EXPECT_TRUE(containsInOrder(session->lastScreen(), {"Field Demo has been installed on the device.",
                                                        "[ ] Launch Field Demo", "Finish"}))
        << session->lastScreen();
    session->sendKeys({"Space"});
    ASSERT_TRUE(reach(*session, "[x] Launch Field Demo", "7-launch-ticked")) << session->lastScreen();
    EXPECT_TRUE(test::recordedArguments(device().directory()).empty());

    FileCloseWatch watch(device().directory());
    session->sendKeys({"Enter"});
    ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
    // The program may still be starting when the installer has ended.
    if (test::recordedArguments(device().directory()).size() < 2) {
        ASSERT_TRUE(watch.waitFor("started.bin"));
    }
    const std::vector<std::string> started = test::recordedArguments(device().directory());
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0], DRUVEX_RECORD_START_PROGRAM);
    EXPECT_EQ(started[1], "");
    expectInstalledFeatures(features);
}

TEST_F(TerminalWizard, TheNewVersionOfferedIsDownloadedAndStartedInsteadOfThisInstallation)
{
    // The update server's next version: a complete installer of this build
    // for the device, the recording program.
    std::ifstream program(DRUVEX_RECORD_START_PROGRAM, std::ios::binary);
    const std::string recorder((std::istreambuf_iterator<char>(program)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(recorder.empty());
    test::LoopbackHttpServer server;
    server.setReply("/demo/bulletin.xml",
                    test::HttpReply::ok("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<UpdateBulletin>\n"
                                        " <Installer InstallerVersion=\"5.1\"/>\n"
                                        " <Version Ver=\"1.0\" RevNum=\"1.0.1\"/>\n"
                                        " <Version Ver=\"2.0\" RevNum=\"2.0.1\">\n"
                                        "  <FullInstaller prog-platform-mask=\"Wm6\" inst-platform=\"Controller\" "
                                        "inst-type=\"Full\" url=\"FieldSetup20.exe\" size=\"" +
                                        std::to_string(recorder.size()) + "\"/>\n </Version>\n</UpdateBulletin>\n"));
    server.setReply("/demo/FieldSetup20.exe", test::HttpReply::ok(recorder));
    const std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeWizardInstaller(
        features, false, "", "  <Variable Type=\"LiveUpdateUrl\" Value=\"" + server.url("/demo/bulletin.xml") + "\"/>\n");
    auto session = start(setup);
    ASSERT_TRUE(reach(*session, "Click Next to continue.", "1-prerequisites")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(reach(*session, "Version 2.0 of Field Demo is available.", "2-new-version")) << session->lastScreen();
    EXPECT_TRUE(containsInOrder(session->lastScreen(), {"New Version", "(*) Download the new version",
                                                        "( ) Continue with version 1.0"}))
        << session->lastScreen();
    session->sendKeys({"Enter"});
    // The installation page fetches the installer, the end page says so.
    ASSERT_TRUE(reach(*session, "The new installer has been downloaded.", "3-end")) << session->lastScreen();
    EXPECT_EQ(session->lastScreen().find("Launch"), std::string::npos) << session->lastScreen();
    EXPECT_TRUE(test::recordedArguments(device().directory()).empty());

    FileCloseWatch watch(device().directory());
    session->sendKeys({"Enter"});
    ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
    // The new installer may still be starting when this one has ended.
    if (test::recordedArguments(device().directory()).size() < 2) {
        ASSERT_TRUE(watch.waitFor("started.bin"));
    }
    EXPECT_EQ(test::recordedArguments(device().directory()),
              (std::vector<std::string>{device().hostPath("FieldSetup20.exe").string(), "dont_check_unique_instance"}));
    EXPECT_TRUE(device().readFile("FieldSetup20.exe") == recorder);
    // This installer's own version was not installed.
    EXPECT_FALSE(device().exists(kDestination));
    EXPECT_FALSE(device().exists(kDataFolder + "/InstalledLog.xml"));
}

TEST_F(TerminalWizard, LeavingDuringTheInstallationRollsItBackAfterTheQuestion)
{
    const std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeWizardInstaller(features, true);
    const std::map<std::string, std::string> before = deviceState();
    auto session = start(setup);
    walkToFeatures(*session);
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitFor("The files are in place.")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitForGone("The files are in place.")) << session->lastScreen();

    session->sendKeys({"Escape"});
    ASSERT_TRUE(reach(*session, "Are you sure you want to exit the installer?", "7-leave")) << session->lastScreen();
    session->sendKeys({"y"});
    ASSERT_TRUE(session->waitFor("Canceling...")) << session->lastScreen();
    openGate();
    ASSERT_TRUE(reach(*session, "Do you want to roll back", "8-rollback")) << session->lastScreen();
    session->sendKeys({"y"});
    ASSERT_TRUE(reach(*session, "The device is as it was before.", "9-end")) << session->lastScreen();
    session->sendKeys({"Enter"});
    // A run that did not complete ends with status 1.
    ASSERT_EQ(session->waitForExit(), 1) << session->lastScreen();

    fs::remove(device().hostPath("Temp/go.txt"));
    const std::map<std::string, std::string> after = deviceState();
    for (const auto& [path, content] : after)
        EXPECT_TRUE(before.contains(path)) << path << " was left";
    for (const auto& [path, content] : before) {
        ASSERT_TRUE(after.contains(path)) << path << " is gone";
        EXPECT_TRUE(after.at(path) == content) << path << " changed";
    }
}

TEST_F(TerminalWizard, ASecondRunOffersTheMaintenanceTasksAndRemovesTheProgram)
{
    const std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeWizardInstaller(features, false);
    {
        auto session = start(setup);
        walkToFeatures(*session);
        session->sendKeys({"Enter"});
        ASSERT_TRUE(session->waitFor("has been installed on the device.")) << session->lastScreen();
        session->sendKeys({"Enter"});
        ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
    }
    expectInstalledFeatures(features);

    auto session = start(setup);
    ASSERT_TRUE(session->waitFor("Click Next to continue.")) << session->lastScreen();
    session->sendKeys({"Enter"});
    // Without an update server the program can only be kept as it is.
    ASSERT_TRUE(reach(*session, "Do you want to proceed anyway?", "1-no-update-server")) << session->lastScreen();
    session->sendKeys({"y"});
    // The last of the tasks is drawn last.
    ASSERT_TRUE(reach(*session, "( ) Remove the program", "2-welcome")) << session->lastScreen();
    EXPECT_TRUE(containsInOrder(session->lastScreen(), {"Field Demo is installed on this device. Choose what to do.",
                                                        "(*) Add or remove features", "Repair the program",
                                                        "Remove the program"}))
        << session->lastScreen();
    session->sendKeys({"Down", "Down"});
    ASSERT_TRUE(session->waitFor("(*) Remove the program")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(reach(*session, "Field Demo has been removed from the device.", "3-end")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();

    EXPECT_TRUE(installedLogFiles().empty());
    for (const ProductFeature& feature : features) {
        for (const auto& [name, text] : feature.files)
            EXPECT_FALSE(device().exists(kDestination + "/" + name)) << name;
    }
    EXPECT_FALSE(device().exists(kDataFolder + "/InstalledLog.xml"));
}

TEST_F(TerminalWizard, AFaultInAPageHandlerEndsWithTheCrashStatusAndGivesTheTerminalBack)
{
#ifdef DRUVEX_TSAN
    GTEST_SKIP() << "ThreadSanitizer owns the fault signals";
#endif
    struct FaultCase {
        const char* kind;
        std::vector<std::string> logged;
    };
    const FaultCase cases[] = {
        {"segv", {"EXCEPTION C0000005", "APPCRASH (C0000005 in THR#", ") at dlg_base.cpp@1313\r\n"}},
        {"throw",
         {"Exception in a dialog handler: thrown by the welcome page's test hook", "APPCRASH (E06D7363 in THR#",
          ") at dlg_base.cpp@1313\r\n"}},
    };
    const std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeWizardInstaller(features, false);
    // The program with the fault in place of the installer's own.
    fs::copy_file(DRUVEX_FAULTING_SETUP_PROGRAM, setup, fs::copy_options::overwrite_existing);
    for (const FaultCase& fault : cases) {
        SCOPED_TRACE(fault.kind);
        for (const auto& entry : fs::directory_iterator(setup.parent_path())) {
            if (entry.path().string().ends_with(".log.txt"))
                fs::remove(entry.path());
        }
        TmuxSession::Options options;
        options.environment = {{"DRUVEX_DEVICE", device().directory().string()},
                               {"DRUVEX_TEST_PAGE_FAULT", fault.kind},
                               {"ASAN_OPTIONS", "handle_segv=0:handle_sigbus=0:allow_user_segv_handler=1:"
                                                "detect_leaks=0"}};
        TmuxSession session(std::vector<std::string>{setup.string()}, options);
        ASSERT_TRUE(session.waitFor("Click Next to continue.")) << session.lastScreen();
        session.sendKeys({"Enter"});
        ASSERT_TRUE(session.waitFor("Welcome to the setup of Field Demo.")) << session.lastScreen();
        session.sendKeys({"Enter"});
        ASSERT_EQ(session.waitForExit(), 222) << session.lastScreen();
        test::expectTerminalGivenBack(session);

        std::string log;
        for (const auto& entry : fs::directory_iterator(setup.parent_path())) {
            if (entry.path().string().ends_with(".log.txt")) {
                std::ifstream in(entry.path(), std::ios::binary);
                log += std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
        }
        std::vector<std::string_view> wanted(fault.logged.begin(), fault.logged.end());
        bool inOrder = true;
        std::size_t from = 0;
        for (const std::string_view text : wanted) {
            from = log.find(text, from);
            if (from == std::string::npos) {
                inOrder = false;
                break;
            }
        }
        EXPECT_TRUE(inOrder) << log;
        // Nothing was installed.
        EXPECT_FALSE(device().exists(kDestination));

        // Each crash takes the next dump slot, with a copy of the log that
        // ends with its crash line.
        const fs::path dumps = setup.parent_path() / "SupportInfo" / "Dumps";
        const int slot = static_cast<int>(&fault - cases);
        ASSERT_TRUE(fs::exists(dumps / "dumps.ini"));
        const test::Bytes ini = test::readFileBytes(dumps / "dumps.ini");
        EXPECT_NE(std::string(ini.begin(), ini.end()).find("LastDumpIndex=" + std::to_string(slot)), std::string::npos);
        std::string copied;
        std::error_code missing;
        for (const auto& entry : fs::directory_iterator(dumps / std::to_string(slot), missing)) {
            if (entry.path().string().ends_with(".log.txt"))
                copied = test::textOf(test::readFileBytes(entry.path()));
        }
        EXPECT_NE(copied.find(fault.logged[fault.logged.size() - 2]), std::string::npos) << copied;
    }
}

TEST_F(TerminalWizard, ACustomPageTakesItsVariableAndItsNextScriptKeepsItUntilTheEntryIsGood)
{
    test::CustomPageSpec page;
    page.anchor = "Feature selection page";
    page.editText = "Job 1";
    page.onNextScript = "function execEx()\n"
                        "  local name = DQ_GetVariableValue('JOB_NAME')\n"
                        "  if name == 'Job 1' then return 1, 'Give the job a name of its own.' end\n"
                        "  DQ_SetVariableValue('JOB_FOLDER', '\\\\Jobs\\\\' .. name)\n"
                        "  return 0\n"
                        "end\n";
    const std::vector<ProductFeature> features = test::productFeatures();
    const fs::path setup = placeWizardInstaller(features, false, test::customPageXml(page));
    auto session = start(setup);
    walkToFeatures(*session);
    session->sendKeys({"Enter"});

    ASSERT_TRUE(reach(*session, "Name of the first job", "6-custom")) << session->lastScreen();
    EXPECT_TRUE(containsInOrder(session->lastScreen(), {"Job of Field Demo", "Name of the first job", "[Job 1"}))
        << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(reach(*session, "Give the job a name of its own.", "7-refused")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_TRUE(session->waitForGone("Give the job a name of its own.")) << session->lastScreen();
    for (int i = 0; i < 5; ++i)
        session->sendKeys({"BSpace"});
    session->typeText("North");
    ASSERT_TRUE(reach(*session, "[North", "8-typed")) << session->lastScreen();
    EXPECT_NE(session->lastScreen().find("Job of Field Demo"), std::string::npos) << session->lastScreen();
    session->sendKeys({"Enter"});

    ASSERT_TRUE(reach(*session, "Field Demo has been installed on the device.", "9-end")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
    expectInstalledFeatures(features);

    // The installed product's copy of the installer data keeps both variables.
    const std::string copy = device().readFile(kDataFolder + "/data.xml");
    InstallData data;
    ASSERT_TRUE(readInstallDataXml(data, copy.data(), copy.size())) << copy;
    for (const auto& [name, value] : {std::pair{u"JOB_NAME", u"North"}, std::pair{u"JOB_FOLDER", u"\\Jobs\\North"}}) {
        const InstallerVariablePtr variable = data.findByName(name);
        ASSERT_NE(variable, nullptr) << copy;
        EXPECT_EQ(std::u16string(variable->getValue(kPlatformWm6, kVariableAllUsers).view()), value) << copy;
    }
}

}  // namespace
}  // namespace druvex

// The end page on a scripted terminal: the offer to start the program only
// where the run allows it, the program started on Finish only when its box
// is ticked (a script's program with its command line in its place), a
// program that cannot start told in a box of the wizard's window, the newer
// installer started after its download, and the run's last step: a total station restarts, a due reboot is asked for and
// done only on yes.
#include "app/page_end_install_dlg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "../ui/scripted_terminal.h"
#include "app/terminal_wizard.h"
#include "controller/page_logic_fixture.h"
#include "data/install_data.h"
#include "data/installer_configuration.h"
#include "support/recorded_start.h"
#include "support/shared_string_print.h"
#include "ui_base/message_box.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::ch;
using test::key;

const std::string kRecorder = DRUVEX_RECORD_START_PROGRAM;

// Keeps the boxes asked for and answers each with its default button.
class RecordingBoxes final : public MessageBoxPresenter {
public:
    bool canAsk() const override { return true; }
    int ask(const MessageBoxRequest& request) override
    {
        requests.push_back(request);
        return defaultMessageBoxButton(request.flags);
    }
    std::vector<MessageBoxRequest> requests;
};

class EndPageDialog : public test::PageLogicFixture {
protected:
    void TearDown() override
    {
        setMessageBoxPresenter(nullptr);
        PageLogicFixture::TearDown();
    }

    // Survey Pro after a run of `mode` that ended with `result`, whose
    // LaunchApp is the recording program installed as survey.exe.
    void endOfRun(WizardMode mode, InstallResult result, const char16_t* launchApp = u"survey.exe")
    {
        makePageProduct(mode);
        controller().getBuildConfiguration().setInstallerPlatform(kInstallerPlatformController);
        setSetting(InstallerSettingKey::LaunchApp, launchApp);
        controller().setDestinationFolder(SharedString(u"\\Program Files\\Survey Pro"));
        controller().setResult(result);
        fs::create_directories(device().hostPath("Program Files/Survey Pro"));
        fs::copy_file(kRecorder, device().hostPath("Program Files/Survey Pro/survey.exe"),
                      fs::copy_options::overwrite_existing);
        fs::remove(device().directory() / "started.bin");
        // The program has ended when the page goes on.
        source_->waitForStartedProcesses = true;
        source_->startedProcessIds.clear();
    }

    // Shows the end page until the keys end it; the screen when the last key
    // was taken.
    std::string finishWith(std::initializer_list<Key> keys)
    {
        test::ScriptedSession terminal;
        terminal.keysWhen("Finish", keys);
        PageEndInstallLogic logic(controller(), controller().getHalIn());
        PageEndInstallDlg page(terminal.session, controller(), logic);
        EXPECT_EQ(page.doModal(), kPageCommandNext);
        page.leaveLogic();
        return terminal.script->screenAtLastKey;
    }

    std::string deviceEvents()
    {
        std::ifstream in(device().directory() / "events.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
};

// What the page says is what the run did: a repair is no update, and a run
// rolled back may have failed rather than been canceled.
TEST(EndPageText, SaysWhatTheRunDid)
{
    const SharedString program(u"Survey Pro");
    const struct {
        WizardMode mode;
        InstallResult result;
        const char16_t* text;
    } cases[] = {
        {kModeInstall, kResultCompleted, u"Survey Pro has been installed on the device."},
        {kModeRepair, kResultCompleted, u"Survey Pro has been repaired."},
        {kModeRepairBroken, kResultCompletedUnchanged, u"Survey Pro has been repaired."},
        {kModeMaintenance, kResultCompleted, u"Survey Pro has been updated."},
        {kModeAddRemove, kResultCompleted, u"Survey Pro has been updated."},
        {kModeUninstall, kResultCompleted, u"Survey Pro has been removed from the device."},
        {kModeInstall, kResultRolledBack, u"The installation did not complete. The device is as it was before."},
        {kModeRepair, kResultRollbackIncomplete, u"The installation did not complete. Not every change could be undone."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(endPageText(c.mode, c.result, program), SharedString(c.text)) << c.mode << " " << c.result;
}

// What a run did not do is said beside its result: a backup not restored
// whatever the result, and by name the features a completed run left out.
TEST(EndPageText, SaysWhatTheRunLeftUndone)
{
    const std::vector<SharedString> none;
    const std::vector<SharedString> two{SharedString(u"Maps"), SharedString(u"Help")};
    const SharedString notRestored(u"The full backup could not be restored.");
    EXPECT_EQ(endPageShortfall(kResultCompleted, kRestoreNone, none), SharedString());
    EXPECT_EQ(endPageShortfall(kResultCompleted, kRestoreDone, none), SharedString());
    EXPECT_EQ(endPageShortfall(kResultCompleted, kRestoreFailed, none), notRestored);
    EXPECT_EQ(endPageShortfall(kResultCompleted, kRestoreNone, two),
              SharedString(u"Not every feature was installed. These were left out: Maps, Help"));
    EXPECT_EQ(endPageShortfall(kResultCompletedUnchanged, kRestoreNone, two),
              SharedString(u"Not every feature was installed. These were left out: Maps, Help"));
    EXPECT_EQ(endPageShortfall(kResultCompleted, kRestoreFailed, two),
              SharedString(u"The full backup could not be restored.\nNot every feature was installed. These were "
                           u"left out: Maps, Help"));
    // A run that did not complete still did not restore the backup; the
    // features it skipped went with its rollback.
    for (const InstallResult result : {kResultFailed, kResultRolledBack, kResultRollbackIncomplete, kResultCanceled}) {
        EXPECT_EQ(endPageShortfall(result, kRestoreFailed, two), notRestored) << result;
        EXPECT_EQ(endPageShortfall(result, kRestoreDone, two), SharedString()) << result;
    }
}

TEST_F(EndPageDialog, OffersToStartTheProgramOnlyWhereTheRunAllowsIt)
{
    struct Case {
        const char* name;
        WizardMode mode;
        InstallResult result;
        const char16_t* launchApp;
        bool offered;
    };
    const Case cases[] = {
        {"installed", kModeInstall, kResultCompleted, u"survey.exe", true},
        {"maintenance that changed nothing", kModeMaintenance, kResultCompletedUnchanged, u"survey.exe", true},
        {"failed installation", kModeInstall, kResultFailed, u"survey.exe", false},
        {"canceled installation", kModeInstall, kResultCanceled, u"survey.exe", false},
        {"removed", kModeUninstall, kResultCompleted, u"survey.exe", false},
        {"repaired", kModeRepair, kResultCompleted, u"survey.exe", false},
        // The installed log's name of the program is no file to start.
        {"no LaunchApp", kModeInstall, kResultCompleted, u"", false},
        {"LaunchApp not installed", kModeInstall, kResultCompleted, u"missing.exe", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        endOfRun(c.mode, c.result, c.launchApp);
        // Finish without ticking it.
        const std::string screen = finishWith({key(KeyCode::Enter)});
        EXPECT_EQ(screen.find("[ ] Launch Survey Pro") != std::string::npos, c.offered) << screen;
        EXPECT_EQ(screen.find("Launch") != std::string::npos, c.offered) << screen;
        EXPECT_TRUE(source_->startedProcessIds.empty());
        EXPECT_TRUE(test::recordedArguments(device().directory()).empty());
    }
}

TEST_F(EndPageDialog, TickingTheOfferStartsTheProgramOnFinish)
{
    struct Case {
        const char* name;
        const char16_t* overrideProgram;
        const char16_t* overrideArguments;
        const char* offer;
        std::string argument;
    };
    const Case cases[] = {
        {"LaunchApp", u"", u"", "[x] Launch Survey Pro", ""},
        {"the program a script named", u"\\Program Files\\Survey Pro\\survey.exe", u"/map north",
         "[x] Launch survey", "/map north"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        endOfRun(kModeInstall, kResultCompleted);
        controller().setLaunchProgramOverride(SharedString(c.overrideProgram), SharedString(c.overrideArguments));
        const std::string screen = finishWith({ch(U' '), key(KeyCode::Enter)});
        EXPECT_NE(screen.find(c.offer), std::string::npos) << screen;
        ASSERT_EQ(source_->startedProcessIds.size(), 1u);
        const std::vector<std::string> started = test::recordedArguments(device().directory());
        ASSERT_EQ(started.size(), 2u);
        EXPECT_EQ(started[1], c.argument);
    }
}

TEST_F(EndPageDialog, AProgramThatCannotStartIsToldInABoxOfTheWizardsWindow)
{
    endOfRun(kModeInstall, kResultCompleted);
    controller().setLaunchProgramOverride(SharedString(u"\\Program Files\\Survey Pro\\gone.exe"), SharedString());
    auto boxes = std::make_shared<RecordingBoxes>();
    setMessageBoxPresenter(boxes);
    test::ScriptedSession terminal;
    TerminalWizard wizard(terminal.session, controller());
    terminal.keysWhen("Finish", {ch(U' '), key(KeyCode::Enter)});
    PageEndInstallLogic logic(controller(), controller().getHalIn());
    PageEndInstallDlg page(terminal.session, controller(), logic);
    EXPECT_EQ(page.doModal(), kPageCommandNext);
    page.leaveLogic();

    ASSERT_EQ(boxes->requests.size(), 1u);
    EXPECT_EQ(boxes->requests[0].owner, wizard.mainWindow());
    EXPECT_NE(boxes->requests[0].text.view().find(u"gone.exe could not be started."), std::u16string_view::npos)
        << toUtf8(boxes->requests[0].text).c_str();
    EXPECT_TRUE(source_->startedProcessIds.empty());
}

// In a download of the newer installer, Finish hands over to it: started
// with the command line that keeps it from handing back to this instance,
// only after a completed download, a failed start told in a box.
TEST_F(EndPageDialog, FinishOfADownloadStartsTheNewerInstaller)
{
    const std::uint64_t size = fs::file_size(kRecorder);
    struct Case {
        const char* name;
        InstallResult result;
        bool saved;
        std::uint64_t announced;
        bool started;
        bool box;
    };
    const Case cases[] = {
        {"downloaded", kResultCompleted, true, size, true, false},
        {"downloaded, nothing else changed", kResultCompletedUnchanged, true, size, true, false},
        {"the download failed", kResultFailed, true, size, false, false},
        {"the download was canceled", kResultCanceled, true, size, false, false},
        {"the saved installer is gone", kResultCompleted, false, size, false, true},
        // Not the installer that was offered: it is deleted unstarted.
        {"the saved file is not the size announced", kResultCompleted, true, size + 1, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        endOfRun(kModeDownload, c.result);
        const fs::path saved = device().hostPath("Temp/FieldSetup20.exe");
        fs::remove(saved);
        if (c.saved)
            fs::copy_file(kRecorder, saved);
        controller().setNewVersionDownload(SharedString(u"http://127.0.0.1:8080/p/FieldSetup20.exe"),
                                           static_cast<std::uint32_t>(c.announced),
                                           SharedString(u"\\Temp\\FieldSetup20.exe"));
        auto boxes = std::make_shared<RecordingBoxes>();
        setMessageBoxPresenter(boxes);
        test::ScriptedSession terminal;
        TerminalWizard wizard(terminal.session, controller());
        // A space would tick a launch offer if there were one.
        terminal.keysWhen("Finish", {ch(U' '), key(KeyCode::Enter)});
        PageEndInstallLogic logic(controller(), controller().getHalIn());
        PageEndInstallDlg page(terminal.session, controller(), logic);
        EXPECT_EQ(page.doModal(), kPageCommandNext);
        page.leaveLogic();

        EXPECT_EQ(terminal.script->screenAtLastKey.find("Launch"), std::string::npos)
            << terminal.script->screenAtLastKey;
        ASSERT_EQ(source_->startedProcessIds.size(), c.started ? 1u : 0u);
        const std::vector<std::string> recorded = test::recordedArguments(device().directory());
        if (c.started) {
            EXPECT_EQ(recorded, (std::vector<std::string>{saved.string(), "dont_check_unique_instance"}));
        } else {
            EXPECT_TRUE(recorded.empty());
        }
        EXPECT_EQ(controller().isNewInstallerLaunchFailed(), c.box);
        ASSERT_EQ(boxes->requests.size(), c.box ? 1u : 0u);
        if (c.box) {
            EXPECT_EQ(boxes->requests[0].owner, wizard.mainWindow());
            EXPECT_EQ(boxes->requests[0].text, u"The new installer could not be started.");
        }
        EXPECT_EQ(fs::exists(saved), c.saved && c.announced == size);
        setMessageBoxPresenter(nullptr);
        controller().setNewInstallerLaunchFailed(false);
    }
}

TEST_F(EndPageDialog, FinishRestartsOrRebootsTheDeviceAsTheRunNeeds)
{
    struct Case {
        const char* name;
        bool totalStation;
        bool rebootRequired;
        bool noWelcome;
        int answer;
        int asked;
        bool reset;
    };
    const Case cases[] = {
        {"a total station restarts without a question", true, false, false, 0, 0, true},
        {"a due reboot, yes", false, true, false, 1, 1, true},
        {"a due reboot, no", false, true, false, 0, 1, false},
        {"a due reboot in a run without the welcome", false, true, true, 1, 0, false},
        {"nothing due", false, false, false, 1, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        options_.noWelcome = c.noWelcome;
        endOfRun(kModeInstall, kResultCompleted);
        fs::remove(device().directory() / "events.log");
        if (c.totalStation)
            source_->deviceType = DeviceType::TS_QM40;
        controller().setRebootRequired(c.rebootRequired);
        ui_->rebootAnswer = c.answer;
        // Ticking the offer where there is one.
        const std::string screen = finishWith({ch(U' '), key(KeyCode::Enter)});
        EXPECT_EQ(ui_->rebootAsked, c.asked);
        EXPECT_EQ(deviceEvents().find("SOFT_RESET") != std::string::npos, c.reset) << deviceEvents();
        // A restart or a reboot leaves the program to start with the device.
        const bool restartOrReboot = c.totalStation || (c.rebootRequired && !c.noWelcome);
        EXPECT_EQ(screen.find("Launch") == std::string::npos, restartOrReboot) << screen;
        EXPECT_EQ(source_->startedProcessIds.empty(), restartOrReboot);
        source_->deviceType.reset();
    }
}

}  // namespace
}  // namespace druvex

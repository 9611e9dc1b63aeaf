// Message boxes and the installer's prompts on a scripted terminal: the
// buttons each style shows, what Escape and the hotkeys answer, the exact
// texts of the three-way dialogs, and the log-only answers when no one can
// be asked.
#include "ui/installer_ui_prompts.h"

#include <gtest/gtest.h>

#include "hal/hal_access.h"
#include "support/crash_test_device.h"
#include "support/diag_capture.h"
#include "ui/choice_dialog.h"
#include "scripted_terminal.h"

namespace druvex {
namespace {

using test::ch;
using test::containsInOrder;
using test::key;
using test::ScriptedSession;

struct BoxCase {
    std::uint32_t flags;
    const char* buttons;  // the row of buttons as shown
    Key press;
    int answer;
};

TEST(TerminalDialogs, EachStyleShowsItsButtonsAndIconAndAnswers)
{
    const Key escape = key(KeyCode::Escape);
    const BoxCase cases[] = {
        {kMbOk, "[ OK ]", escape, kIdOk},
        {kMbOkCancel | kMbIconError, "[ OK ]  [ Cancel ]", escape, kIdCancel},
        {kMbAbortRetryIgnore | kMbIconWarning, "[ Abort ]  [ Retry ]  [ Ignore ]", ch(U'r'), kIdRetry},
        {kMbYesNoCancel | kMbIconQuestion, "[ Yes ]  [ No ]  [ Cancel ]", escape, kIdCancel},
        {kMbYesNo | kMbIconInformation, "[ Yes ]  [ No ]", ch(U'N'), kIdNo},
        {kMbYesNo | kMbDefaultButton2, "[ Yes ]  [ No ]", key(KeyCode::Enter), kIdNo},
        {kMbRetryCancel, "[ Retry ]  [ Cancel ]", key(KeyCode::Enter), kIdRetry},
        // A default button the box does not have: the first.
        {kMbOkCancel | kMbDefaultButton4, "[ OK ]  [ Cancel ]", key(KeyCode::Enter), kIdOk},
    };
    const char* marks[] = {"", "(X)", "(!)", "(?)", "(i)", "", "", ""};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const BoxCase& box = cases[i];
        ScriptedSession ui;
        ui.keys({box.press});
        const int answer =
            runMessageBox(ui.session, MessageBoxRequest{0, SharedString(u"Go on?"), SharedString(u"Title"), box.flags});
        EXPECT_EQ(answer, box.answer) << box.flags;
        const std::string& screen = ui.script->screenAtLastKey;
        EXPECT_TRUE(containsInOrder(screen, {"+- Title -", marks[i], "Go on?", box.buttons})) << screen;
    }
}

TEST(TerminalDialogs, EscapeDoesNotCloseABoxWithoutCancel)
{
    ScriptedSession ui;
    ui.keys({key(KeyCode::Escape), key(KeyCode::Tab), key(KeyCode::Enter)});
    EXPECT_EQ(runMessageBox(ui.session, MessageBoxRequest{0, SharedString(u"Sure?"), SharedString(), kMbYesNo}),
              kIdNo);
    EXPECT_TRUE(ui.script->keys.empty());
}

TEST(TerminalDialogs, ATextLongerThanTheScreenScrolls)
{
    std::u16string text;
    for (int line = 1; line <= 40; ++line)
        text += u"line " + std::u16string(1, static_cast<char16_t>(u'A' + line % 26)) + u"\n";
    ScriptedSession ui;
    // The text takes the focus before the button; End shows its last line.
    ui.keys({key(KeyCode::BackTab), key(KeyCode::End), key(KeyCode::Tab), key(KeyCode::Enter)});
    EXPECT_EQ(runMessageBox(ui.session, MessageBoxRequest{0, SharedString(text), SharedString(u"Long"), kMbOk}),
              kIdOk);
    EXPECT_NE(ui.script->screenAtLastKey.find("line O"), std::string::npos) << ui.script->screenAtLastKey;
    EXPECT_NE(ui.script->screenAtLastKey.find("[ OK ]"), std::string::npos);
}

class PromptsTest : public ::testing::Test {
protected:
    ScriptedSession ui;
    InstallerUiPrompts prompts{ui.session, nullptr};
};

TEST_F(PromptsTest, TheFileExistsDialogHasItsTextCheckBoxAndButtons)
{
    struct Case {
        std::vector<Key> keys;
        FileExistsAnswer answer;
        bool applyToAll;
    };
    const Case cases[] = {
        {{ch(U'o')}, kFileExistsOverwrite, false},
        {{ch(U's')}, kFileExistsSkip, false},
        {{ch(U'R')}, kFileExistsRename, false},
        {{key(KeyCode::Enter)}, kFileExistsOverwrite, false},
        {{key(KeyCode::Escape)}, kFileExistsRename, false},
        {{key(KeyCode::BackTab), ch(U' '), key(KeyCode::Escape)}, kFileExistsRename, true},
        {{key(KeyCode::BackTab), ch(U' '), key(KeyCode::Tab), key(KeyCode::Right), key(KeyCode::Enter)},
         kFileExistsSkip, true},
    };
    for (const Case& c : cases) {
        ui.setKeys(c.keys);
        bool applyToAll = false;
        EXPECT_EQ(prompts.askFileExists(SharedString(u"\\Temp\\a.txt"), applyToAll), c.answer);
        EXPECT_EQ(applyToAll, c.applyToAll);
        EXPECT_TRUE(containsInOrder(ui.script->screenAtLastKey,
                                    {"+- File in Use -", "(?) The file \\Temp\\a.txt already exists.", "",
                                     "What do you want to do with it?", "] Apply to all",
                                     "[ Overwrite ]  [ Skip ]  [ Rename ]"}))
            << ui.script->screenAtLastKey;
    }
}

TEST_F(PromptsTest, TheLockedFilesDialogNamesEachProcessAndAnswersItsButtons)
{
    std::vector<LockingProcess> processes(3);
    processes[0].applicationName = SharedString(u"Survey");
    processes[1].serviceName = SharedString(u"SyncService");
    processes[2].processId = 4711;
    const std::pair<Key, LockedFilesAnswer> cases[] = {
        {ch(U'e'), kLockedFilesExit},
        {ch(U'i'), kLockedFilesIgnore},
        {ch(U'r'), kLockedFilesRetry},
        {key(KeyCode::Enter), kLockedFilesRetry},
        {key(KeyCode::Escape), kLockedFilesExit},
    };
    for (const auto& [press, answer] : cases) {
        ui.keys({press});
        EXPECT_EQ(prompts.showLockedFiles(processes, 0), answer);
        EXPECT_TRUE(containsInOrder(ui.script->screenAtLastKey,
                                    {"+- File in Use -", "(!) The following applications are using files", "Survey",
                                     "SyncService", "4711", "[ Exit ]  [ Ignore ]  [ Retry ]"}))
            << ui.script->screenAtLastKey;
    }
}

TEST_F(PromptsTest, YesOrRetryAnswersOneAndTheCaptionIsTheInstallersTitle)
{
    struct Case {
        std::function<int()> ask;
        const char* text;
        const char* buttons;
    };
    const Case cases[] = {
        {[&] { return prompts.askExit(); }, "Are you sure you want to exit the installer?", "[ Yes ]  [ No ]"},
        {[&] { return prompts.askRollback(); }, "Do you want to roll back to", "[ Yes ]  [ No ]"},
        {[&] { return prompts.askRetryFeatureDownload(SharedString(u"Maps"), 0); },
         "download the feature: Maps", "[ Retry ]  [ Cancel ]"},
        {[&] { return prompts.reportUninstallFeaturesError(); }, "may be running", "[ Retry ]  [ Cancel ]"},
        {[&] { return prompts.askInstallRevision(SharedString(u"7")); }, "Revision 7 is available.", "[ Yes ]"},
        {[&] { return prompts.reportAlreadyInstalled(SharedString(u"Field")); },
         "Field has already been installed.", "[ Yes ]"},
        {[&] { return prompts.reportRebootNeeded(); }, "to complete the installation.", "[ Yes ]"},
    };
    for (const Case& c : cases) {
        ui.keys({key(KeyCode::Enter)});
        EXPECT_EQ(c.ask(), 1) << c.text;
        EXPECT_TRUE(containsInOrder(ui.script->screenAtLastKey, {"+- Druvex Installer -", c.text, c.buttons}))
            << ui.script->screenAtLastKey;
        ui.keys({key(KeyCode::Tab), key(KeyCode::Enter)});
        EXPECT_EQ(c.ask(), 0) << c.text;
    }
    prompts.setUninstallQuery([] { return true; });
    ui.keys({key(KeyCode::Enter)});
    prompts.reportRebootNeeded();
    EXPECT_NE(ui.script->screenAtLastKey.find("to complete the uninstallation."), std::string::npos);
}

TEST_F(PromptsTest, AMessageShowsWithItsSeverityAndIsLoggedToo)
{
    test::DiagCapture log;
    const std::pair<MessageSeverity, const char*> cases[] = {
        {kMessageInformation, "(i) Done."}, {kMessageWarning, "(!) Done."}, {kMessageError, "(X) Done."}};
    for (const auto& [severity, shown] : cases) {
        ui.keys({key(KeyCode::Enter)});
        prompts.showMessage(SharedString(u"Done."), severity, 1);
        EXPECT_NE(ui.script->screenAtLastKey.find(shown), std::string::npos) << ui.script->screenAtLastKey;
        EXPECT_NE(ui.script->screenAtLastKey.find("[ OK ]"), std::string::npos);
    }
    EXPECT_TRUE(log.contains(u"********** Done. **********"));
}

TEST_F(PromptsTest, ASilentRunGetsTheLogOnlyAnswersWithoutAsking)
{
    setSilentRun(true);
    bool applyToAll = false;
    EXPECT_EQ(prompts.askFileExists(SharedString(u"a"), applyToAll), kFileExistsSkip);
    EXPECT_TRUE(applyToAll);
    EXPECT_EQ(prompts.askRollback(), 1);
    EXPECT_EQ(prompts.showLockedFiles({}, 0), kLockedFilesIgnore);
    EXPECT_EQ(prompts.askRetryFeatureDownload(SharedString(u"Maps"), 0), 0);
    setSilentRun(false);
    EXPECT_TRUE(ui.script->screen.empty());
}

}  // namespace
}  // namespace druvex

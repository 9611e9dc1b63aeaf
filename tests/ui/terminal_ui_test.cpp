// The toolkit on a real terminal: the probe program runs in tmux, the tests
// type keys and read the screen. Each wait polls the screen for a text. The
// screens are kept under the build folder's tests/ui/screens for review.
#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/crash_test_device.h"
#include "support/external_tool.h"
#include "support/tmux_session.h"
#include "support/xlate_file.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::containsInOrder;
using test::expectTerminalGivenBack;
using test::TmuxSession;

constexpr const char* kModulePath = "\\Program Files\\Probe\\probe.exe";

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TerminalUi : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(test::toolInstalled("tmux"));
        fs::create_directories(device_.path() / "fs");
    }

    std::unique_ptr<TmuxSession> start(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> argv = {DRUVEX_UI_PROBE};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        TmuxSession::Options options;
        options.environment = {{"DRUVEX_DEVICE", device_.path().string()}, {"DRUVEX_MODULE_PATH", kModulePath},
                               // The program's own fault handlers must see its faults.
                               {"ASAN_OPTIONS", "handle_segv=0:handle_sigbus=0:allow_user_segv_handler=1:"
                                                "detect_leaks=0"}};
        return std::make_unique<TmuxSession>(argv, options);
    }

    // Keeps the screen for a reviewer, named after the test.
    void keepScreen(const TmuxSession& session, const std::string& name) const
    {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        session.saveScreen(fs::path(DRUVEX_UI_SCREENS_DIR) / info->name() / (name + ".txt"));
    }

    std::string log() const
    {
        const fs::path folder = device_.path() / "fs/Program Files/Probe";
        std::string number = readText(folder / "probe.seq.ini");
        while (!number.empty() && (number.back() == '\n' || number.back() == '\r'))
            number.pop_back();
        return readText(folder / ("probe" + number + ".log.txt"));
    }

    void writeDeviceFile(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(device_.path() / "fs" / name, std::ios::binary) << bytes;
    }

    test::ScratchDir device_;
};

TEST_F(TerminalUi, APageShowsItsControlsAndTheKeyboardWorksThem)
{
    auto session = start({"widgets"});
    ASSERT_TRUE(session->waitFor("[ Cancel ]")) << session->lastScreen();
    const std::string first = session->lastScreen();
    keepScreen(*session, "1-page");
    EXPECT_TRUE(containsInOrder(first, {"Choose the features", "3/8", "Select what to install and where.",
                                        "[x] Create a shortcut", "(*) Install", "( ) Repair", "( ) Remove",
                                        "[\\Program Files\\Druvex", "[Main Memory", "] v", "- [x] Program",
                                        "[x] Core", "[x] Help", "[x] Samples", "Copying setup.dqres",
                                        "[####", "....]  40%", "[ < Back ]", "[ Next > ]", "[ Cancel ]"}))
        << first;

    // The check box has the focus first; the radio buttons pass over the
    // disabled item; the edit field types and deletes; the combo moves on.
    session->sendKeys({"Space", "Tab", "Down", "Tab"});
    session->typeText("X");
    session->sendKeys({"BSpace"});
    session->typeText("\\Sub");
    session->sendKeys({"Tab", "Down"});
    ASSERT_TRUE(session->waitFor("[SD Card")) << session->lastScreen();
    EXPECT_TRUE(containsInOrder(session->lastScreen(),
                                {"[ ] Create a shortcut", "( ) Repair", "(*) Remove", "[\\Program Files\\Druvex\\Sub"}))
        << session->lastScreen();
    // In the tree the disabled (required) feature stays; unticking one child
    // leaves its parent partly checked.
    session->sendKeys({"Tab", "Down", "Space", "Down", "Space"});
    ASSERT_TRUE(session->waitFor("[~] Program")) << session->lastScreen();
    EXPECT_TRUE(containsInOrder(session->lastScreen(), {"[~] Program", "[x] Core", "[ ] Help", "[x] Samples"}));
    keepScreen(*session, "2-changed");

    // Enter moves on as the Next button does.
    session->sendKeys({"Enter"});
    ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
    EXPECT_NE(session->lastScreen().find(
                  "RESULT check=0 radio=2 edit=\\Program Files\\Druvex\\Sub combo=SD Card tree=2101"),
              std::string::npos)
        << session->lastScreen();
    expectTerminalGivenBack(*session);
}

TEST_F(TerminalUi, TranslatedTextsShowWholeWithWideCharacters)
{
    writeDeviceFile("de.xlt", test::utf16leFromUtf8("\xEF\xBB\xBF"
                                                    "[Choose the features][Funktionen w\xC3\xA4hlen]\r\n"
                                                    "[Create a shortcut][Verkn\xC3\xBCpfung erstellen]\r\n"
                                                    "[Next >][\xE6\xAC\xA1\xE3\x81\xB8 >]\r\n"
                                                    "[Cancel][Abbrechen]\r\n"
                                                    "[Are you sure you want to exit the installer?]"
                                                    "[Installation beenden?]\r\n"
                                                    "[Yes][Ja]\r\n[No][Nein]\r\n"));
    auto session = start({"--lang", "\\de.xlt", "widgets"});
    ASSERT_TRUE(session->waitFor("[ Abbrechen ]")) << session->lastScreen();
    EXPECT_TRUE(containsInOrder(session->lastScreen(), {"Funktionen w\xC3\xA4hlen", "[x] Verkn\xC3\xBCpfung erstellen",
                                                       "[ < Back ] [ \xE6\xAC\xA1\xE3\x81\xB8 > ]   [ Abbrechen ]"}))
        << session->lastScreen();
    keepScreen(*session, "1-translated");

    // Escape asks to leave, in the language; the hotkey of the translated
    // "Ja" answers.
    session->sendKeys({"Escape"});
    // The buttons are drawn after the text.
    ASSERT_TRUE(session->waitFor("[ Ja ]  [ Nein ]")) << session->lastScreen();
    EXPECT_TRUE(containsInOrder(session->lastScreen(), {"(?) Installation beenden?", "[ Ja ]  [ Nein ]"}));
    keepScreen(*session, "2-exit-question");
    session->sendKeys({"j"});
    ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
    EXPECT_NE(session->lastScreen().find("RESULT cancelled"), std::string::npos) << session->lastScreen();
}

struct BoxCase {
    const char* flags;
    std::vector<std::string> keys;
    const char* answer;
};

TEST_F(TerminalUi, AMessageBoxAskedFromAWorkerShowsOverThePageAndAnswers)
{
    const BoxCase cases[] = {
        {"0x23", {"n"}, "ANSWER 7"},         // Yes/No/Cancel, the hotkey of No
        {"0x23", {"Escape"}, "ANSWER 2"},    // Escape is Cancel
        {"0x104", {"Enter"}, "ANSWER 7"},    // Yes/No, the second button is the default
        {"0x04", {"Right", "Enter"}, "ANSWER 7"},
        {"0x30", {"Escape"}, "ANSWER 1"},    // OK alone: Escape is OK
        {"0x12", {"i"}, "ANSWER 5"},         // Abort/Retry/Ignore
        {"0x15", {"Tab", "Space"}, "ANSWER 2"},
    };
    for (const BoxCase& box : cases) {
        SCOPED_TRACE(box.flags);
        auto session = start({"messagebox", box.flags, "Keep the settings of the earlier installation?"});
        ASSERT_TRUE(session->waitFor("Keep the settings")) << session->lastScreen();
        // The page behind shows what the worker reported before it asked.
        ASSERT_TRUE(session->waitFor("50%")) << session->lastScreen();
        EXPECT_TRUE(containsInOrder(session->lastScreen(), {"Installing", "6/8", "file.txt", "50%", "Probe"}))
            << session->lastScreen();
        if (std::string(box.flags) == "0x23")
            keepScreen(*session, "yes-no-cancel");
        for (const std::string& key : box.keys)
            session->sendKeys({key});
        ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
        EXPECT_NE(session->lastScreen().find(box.answer), std::string::npos) << session->lastScreen();
    }
}

TEST_F(TerminalUi, TheFileExistsDialogShowsItsTextAndAnswersItsButtons)
{
    const BoxCase cases[] = {
        {"", {"o"}, "ANSWER 1 APPLY 0"},
        {"", {"s"}, "ANSWER 0 APPLY 0"},
        {"", {"r"}, "ANSWER 2 APPLY 0"},
        {"", {"Enter"}, "ANSWER 1 APPLY 0"},
        // The check box counts whichever way the dialog ends.
        {"", {"BTab", "Space", "s"}, "ANSWER 0 APPLY 1"},
        {"", {"BTab", "Space", "Escape"}, "ANSWER 2 APPLY 1"},
    };
    for (const BoxCase& box : cases) {
        auto session = start({"file-exists", "\\Program Files\\Druvex\\orv.ini"});
        ASSERT_TRUE(session->waitFor("[ Rename ]")) << session->lastScreen();
        EXPECT_TRUE(containsInOrder(session->lastScreen(),
                                    {"File in Use", "(?) The file \\Program Files\\Druvex\\orv.ini already exists.",
                                     "What do you want to do with it?", "[ ] Apply to all", "[ Overwrite ]",
                                     "[ Skip ]", "[ Rename ]"}))
            << session->lastScreen();
        keepScreen(*session, "file-exists");
        for (const std::string& key : box.keys)
            session->sendKeys({key});
        ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
        EXPECT_NE(session->lastScreen().find(box.answer), std::string::npos)
            << box.answer << "\n" << session->lastScreen();
    }
}

TEST_F(TerminalUi, TheLockedFilesDialogListsTheApplicationsAndAnswersItsButtons)
{
    const BoxCase cases[] = {
        {"", {"e"}, "ANSWER 2"},
        {"", {"i"}, "ANSWER 0"},
        {"", {"r"}, "ANSWER 1"},
        {"", {"Enter"}, "ANSWER 1"},
    };
    for (const BoxCase& box : cases) {
        auto session = start({"locked-files", "Survey.exe", "Sync Service"});
        ASSERT_TRUE(session->waitFor("[ Retry ]")) << session->lastScreen();
        std::string screen = session->lastScreen();
        EXPECT_TRUE(containsInOrder(screen, {"File in Use", "(!) The following applications are using files that",
                                             "Survey.exe", "Sync Service", "[ Exit ]", "[ Ignore ]", "[ Retry ]"}))
            << screen;
        // The whole text, whatever the wrapping.
        std::istringstream lines(screen);
        std::string line, joined;
        while (std::getline(lines, line)) {
            const std::size_t bar = line.find("| ");
            if (bar != std::string::npos)
                joined += " " + line.substr(bar + 2, line.rfind('|') - bar - 2);
        }
        joined = std::regex_replace(joined, std::regex(" +"), " ");
        EXPECT_NE(joined.find("(!) The following applications are using files that need to be updated by this "
                              "setup. Close these applications and then click Retry or click Ignore to continue the "
                              "installation. If you select ignore a reboot will be required at the end of the "
                              "installation."),
                  std::string::npos)
            << joined;
        keepScreen(*session, "locked-files");
        for (const std::string& key : box.keys)
            session->sendKeys({key});
        ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
        EXPECT_NE(session->lastScreen().find(box.answer), std::string::npos) << session->lastScreen();
    }
}

TEST_F(TerminalUi, ClosingEitherThreeWayDialogAnswersTwo)
{
    {
        auto session = start({"file-exists", "a.txt"});
        ASSERT_TRUE(session->waitFor("[ Rename ]")) << session->lastScreen();
        session->sendKeys({"Escape"});
        ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
        EXPECT_NE(session->lastScreen().find("ANSWER 2 APPLY 0"), std::string::npos) << session->lastScreen();
    }
    {
        auto session = start({"locked-files", "Survey.exe"});
        ASSERT_TRUE(session->waitFor("[ Retry ]")) << session->lastScreen();
        session->sendKeys({"Escape"});
        ASSERT_EQ(session->waitForExit(), 0) << session->lastScreen();
        EXPECT_NE(session->lastScreen().find("ANSWER 2"), std::string::npos) << session->lastScreen();
    }
}

TEST_F(TerminalUi, SigintAndSigtermEndTheProgramAndGiveTheTerminalBack)
{
    {
        auto session = start({"wait"});
        ASSERT_TRUE(session->waitFor("Waiting for a signal")) << session->lastScreen();
        session->sendKeys({"C-c"});
        ASSERT_EQ(session->waitForExit(), 128 + SIGINT) << session->lastScreen();
        expectTerminalGivenBack(*session);
    }
    {
        auto session = start({"wait"});
        ASSERT_TRUE(session->waitFor("Waiting for a signal")) << session->lastScreen();
        const int pid = session->programPid();
        ASSERT_GT(pid, 0);
        ASSERT_EQ(::kill(pid, SIGTERM), 0);
        ASSERT_EQ(session->waitForExit(), 128 + SIGTERM) << session->lastScreen();
        expectTerminalGivenBack(*session);
    }
}

TEST_F(TerminalUi, AFaultInAPageHandlerEndsWithTheCrashStatusAndAUsableTerminal)
{
#ifdef DRUVEX_TSAN
    GTEST_SKIP() << "ThreadSanitizer owns the fault signals";
#endif
    auto session = start({"fault"});
    ASSERT_TRUE(session->waitFor("Fault probe")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_EQ(session->waitForExit(), 222) << session->lastScreen();
    expectTerminalGivenBack(*session);
    EXPECT_TRUE(containsInOrder(log(), {"Faulting in a page handler", "EXCEPTION C0000005",
                                        "APPCRASH (C0000005 in THR#", ") at dlg_base.cpp@1313\r\n",
                                        "Logging finished"}))
        << log();
}

TEST_F(TerminalUi, AnExceptionLeavingAPageHandlerIsACrashToo)
{
#ifdef DRUVEX_TSAN
    GTEST_SKIP() << "ThreadSanitizer owns the fault signals";
#endif
    auto session = start({"throw"});
    ASSERT_TRUE(session->waitFor("Fault probe")) << session->lastScreen();
    session->sendKeys({"Enter"});
    ASSERT_EQ(session->waitForExit(), 222) << session->lastScreen();
    expectTerminalGivenBack(*session);
    EXPECT_TRUE(containsInOrder(log(), {"Exception in a dialog handler: thrown by the probe",
                                        "APPCRASH (E06D7363 in THR#", ") at dlg_base.cpp@1313\r\n"}))
        << log();
}

TEST_F(TerminalUi, WithoutAUsableTerminalTheSessionRefusesAtOnce)
{
    // No terminal at all: standard input and output are not one.
    const test::ToolResult piped =
        test::runTool(std::string("'") + DRUVEX_UI_PROBE + "' widgets </dev/null 2>&1");
    EXPECT_EQ(piped.exitCode, 2);
    EXPECT_EQ(std::string(piped.output.begin(), piped.output.end()),
              "The installer cannot show its wizard: standard input is not a terminal.\n"
              "Run it in a terminal, or run it unattended with the option silent_mode.\n");

    // A terminal whose type is unknown or cannot place the cursor.
    const std::pair<const char*, const char*> terms[] = {
        {"no-such-terminal", "the terminal type \"no-such-terminal\" is unknown."},
        {"dumb", "the terminal type \"dumb\" cannot place the cursor."},
    };
    for (const auto& [term, reason] : terms) {
        TmuxSession session({"env", std::string("TERM=") + term, DRUVEX_UI_PROBE, "widgets"});
        ASSERT_EQ(session.waitForExit(), 2) << session.lastScreen();
        EXPECT_NE(session.lastScreen().find(reason), std::string::npos) << session.lastScreen();
    }
}

}  // namespace
}  // namespace druvex

// The application log: naming and numbering of the log files, the buffering
// rules on a fake tick source, the debugger output, the diagnostics sink; a
// program run eleven times for the rotation; several threads writing at once
// and racing the close.
#include "core/app_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/sequenced_file.h"
#include "text/text_convert.h"
#include "support/crash_test_device.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/external_tool.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::u16string>;

// Ticks and time set by the test, a fixed thread id, and the debugger output
// recorded piece by piece.
class FakeEnvironment : public AppLogEnvironment {
public:
    std::uint32_t tick = 0;
    WallClockFields time{7, 3, 14, 5, 2, 124, 2, 64, 0, 0, 0, 45};  // 2024-03-05 14:03:07.045
    bool debugEnabled = true;
    Lines pieces;

    std::uint32_t tickCount() override { return tick; }
    void utcTime(WallClockFields& fields) override { fields = time; }
    std::uint32_t currentThreadId() override { return 0xa1c; }
    bool debugOutputEnabled() override { return debugEnabled; }
    void debugOutput(std::u16string_view piece) override { pieces.emplace_back(piece); }
};

constexpr std::string_view kMark = "\xEF\xBB\xBF";
constexpr std::string_view kPrefix = "T14:03:07.045Z ; 00000a1c ; ";

std::string contents(const fs::path& path)
{
    const test::Bytes bytes = test::readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::string line(std::string_view text)
{
    return std::string(kPrefix) + std::string(text) + "\r\n";
}

SharedString devicePath(const fs::path& path)
{
    return fromUtf8(path.string());
}

class AppLogTest : public ::testing::Test {
protected:
    fs::path logPath() const { return scratch_.path() / "test.log.txt"; }
    // Opens the log at `tick`; the byte-order mark waits in the buffer.
    void openAt(std::uint32_t tick)
    {
        environment_.tick = tick;
        ASSERT_TRUE(log_.open(devicePath(logPath())));
    }
    void writeAt(std::uint32_t tick, std::u16string_view text)
    {
        environment_.tick = tick;
        log_.write(AppLog::kLevelAll, static_cast<int>(text.size()), text.data());
    }
    std::string onDisk() const { return contents(logPath()); }

    test::ScratchDir scratch_;
    FakeEnvironment environment_;
    AppLog log_{environment_};
};

TEST_F(AppLogTest, StartNamesTheFileAfterTheProgramAndWritesTheFirstLine)
{
    const fs::path folder = scratch_.path() / "data" / "logs";  // made when missing
    ASSERT_TRUE(log_.start(devicePath(folder), u"/opt/field/Setup.exe"));
    EXPECT_EQ(log_.getPath(), devicePath(folder / "Setup1.log.txt"));
    EXPECT_EQ(contents(folder / "Setup.seq.ini"), "1");
    log_.flush();
    EXPECT_EQ(contents(folder / "Setup1.log.txt"),
              std::string(kMark) + line("Program /opt/field/Setup.exe started on 2024/03/05 14:03:07.045 UTC"));

    AppLog unnamed(environment_);
    ASSERT_TRUE(unnamed.start(devicePath(folder), SharedString()));
    EXPECT_EQ(unnamed.getPath(), devicePath(folder / "orv1.log.txt"));
}

TEST(AppLogDevice, AFolderThatCannotBeMadeGivesTheTemporaryFolder)
{
    test::TestDevice device;
    test::DiagCapture capture;
    device.makeStandardFolders();
    device.writeFile("Blocked", "a file, not a folder");
    FakeEnvironment environment;
    AppLog log(environment);
    ASSERT_TRUE(log.start(u"\\Blocked\\Logs", u"\\Program Files\\App\\App.exe"));
    EXPECT_EQ(log.getPath(), u"\\Temp/App1.log.txt");
    EXPECT_TRUE(device.exists("Temp/App1.log.txt"));
}

TEST_F(AppLogTest, ALogFileThatCannotBeMadeDropsLinesButStillNumbersTheRun)
{
    fs::create_directory(scratch_.path() / "Prog1.log.txt");
    EXPECT_FALSE(log_.start(devicePath(scratch_.path()), u"/p/Prog"));
    EXPECT_EQ(contents(scratch_.path() / "Prog.seq.ini"), "1");
    EXPECT_TRUE(log_.getPath().isEmpty());
    writeAt(0, u"still seen by the debugger");
    log_.flush();
    EXPECT_EQ(environment_.pieces, Lines{u"T14:03:07.045Z ; 00000a1c ; still seen by the debugger\r\n"});
}

// On a store whose profile states its free space, a write-out that does not
// fit fails as on a full store; the lines it held are written, in their
// order, once a deletion (a rollback's) has made room, instead of leaving a
// log without the lines that said what went wrong.
TEST(AppLogFullStore, LinesAFullStoreRefusedAreWrittenOnceThereIsRoom)
{
    DeviceConfig config;
    DeviceStore root;
    root.path = u"\\";
    root.total = 1000000;
    root.free = 10000;
    config.stores.push_back(root);
    test::TestDevice device({}, std::move(config));
    device.makeStandardFolders();

    // Another file of the run takes most of the room first.
    PlatformFile other;
    ASSERT_TRUE(other.open(u"\\Temp\\other.bin", kFileCreateAlways | kFileWrite));
    const std::string filler(7000, 'f');
    ASSERT_EQ(writeFile(other.handle(), filler.data(), filler.size()), 7000);
    other.close();

    FakeEnvironment environment;
    AppLog log(environment);
    ASSERT_TRUE(log.open(u"\\Temp\\run.log.txt"));
    // 60 lines of 100 bytes: the buffer is written out after 40, which does not fit.
    std::string expected(kMark);
    for (int i = 0; i < 60; ++i) {
        const std::string text = std::to_string(1000 + i) + std::string(100 - kPrefix.size() - 2 - 4, 'x');
        log.writeLine(std::u16string(text.begin(), text.end()));
        expected += line(text);
    }
    log.flush();
    EXPECT_EQ(device.readFile("Temp/run.log.txt"), "");

    std::filesystem::remove(device.hostPath("Temp/other.bin"));
    log.writeLine(u"after the room was made");
    log.flush();
    EXPECT_EQ(device.readFile("Temp/run.log.txt"), expected + line("after the room was made"));
}

TEST(AppLogSequence, TheNextNumberFollowsTheStoredOneAndWrapsAfterTheCount)
{
    const std::pair<const char*, unsigned> cases[] = {
        {nullptr, 1}, {"", 1}, {"0", 1}, {"1", 2}, {"9", 10}, {"10", 1}, {"57", 1},
        {"x", 1}, {" 7", 8}, {"7x", 8}, {"-1", 1}, {"99999999999999999999", 1},
    };
    for (const auto& [stored, expected] : cases) {
        test::ScratchDir scratch;
        const fs::path sequence = scratch.path() / "orv.seq.ini";
        if (stored)
            test::writeFileBytes(sequence, test::Bytes(stored, stored + std::strlen(stored)));
        const SharedString path = nextSequencedPath({devicePath(scratch.path()), u"orv", u".log.txt", 10});
        const std::string number = std::to_string(expected);
        EXPECT_EQ(path, devicePath(scratch.path() / ("orv" + number + ".log.txt"))) << (stored ? stored : "none");
        EXPECT_EQ(contents(sequence), number) << (stored ? stored : "none");
    }
}

TEST_F(AppLogTest, LinesCloserThanTheQuietGapWaitInTheBuffer)
{
    openAt(0xFFFFF000u);  // the tick counter wraps on the way
    std::uint32_t t = 0xFFFFF000u;
    for (int i = 0; i < 10; ++i)
        writeAt(t += 500, u"short");
    EXPECT_EQ(onDisk(), "");
    writeAt(t += 5000, u"after exactly 5,000 ms");  // not more than 5,000
    EXPECT_EQ(onDisk(), "");
    writeAt(t += 5001, u"after 5,001 ms");
    std::string expected(kMark);
    for (int i = 0; i < 10; ++i)
        expected += line("short");
    expected += line("after exactly 5,000 ms") + line("after 5,001 ms");
    EXPECT_EQ(onDisk(), expected);
    // The gap is measured from the line before, not from the last write-out.
    writeAt(t + 1, u"next");
    EXPECT_EQ(onDisk(), expected);
    log_.flush();
    EXPECT_EQ(onDisk(), expected + line("next"));
}

TEST_F(AppLogTest, AFullBufferIsWrittenOutBeforeTheLineThatDoesNotFit)
{
    openAt(0);
    // The mark and 40 lines of 100 bytes: 4,003 bytes buffered.
    const std::u16string text(100 - kPrefix.size() - 2, u'x');
    for (int i = 0; i < 40; ++i)
        writeAt(0, text);
    EXPECT_EQ(onDisk(), "");
    // Long after the previous line, yet no time test follows a write-out for
    // room: the line itself stays in the buffer.
    writeAt(9000, text);
    EXPECT_EQ(onDisk().size(), 4003u);
    // A line longer than the buffer goes straight to the file after it.
    writeAt(9000, std::u16string(5000, u'y'));
    EXPECT_EQ(onDisk().size(), 4103u + 5000 + kPrefix.size() + 2);
    EXPECT_TRUE(onDisk().ends_with(line(std::string(5000, 'y'))));
}

TEST_F(AppLogTest, EmptyNullAndMaskedTextsWriteNothingAndLeaveTheTicks)
{
    openAt(0);
    writeAt(100, u"a");
    environment_.tick = 6000;
    log_.write(AppLog::kLevelAll, 0, u"x");
    log_.write(AppLog::kLevelAll, 3, nullptr);
    log_.write(AppLog::kLevelAll, 2, u"\0b");
    log_.writeText(AppLog::kLevelAll, u"");
    log_.writeTextA(AppLog::kLevelAll, nullptr);
    log_.write(2, 1, u"x");  // no bit in common with the mask
    log_.writeFormat(6, u"%d", 1);
    EXPECT_EQ(onDisk(), "");
    // 6,000 ms after "a": written out only when the writes above left the ticks.
    writeAt(6100, u"b");
    EXPECT_EQ(onDisk(), std::string(kMark) + line("a") + line("b"));
    EXPECT_EQ(environment_.pieces.size(), 2u);
}

TEST_F(AppLogTest, TextIsWrittenAsUtf8WithItsZeroCharacters)
{
    openAt(0);
    writeAt(0, std::u16string_view(u"a\0\u00E9\u4E2D\xD83D\xDE00\xDC00", 7));
    log_.writeTextA(AppLog::kLevelAll, "caf\xE9");  // ANSI code page 1252
    log_.writeFormat(AppLog::kLevelAll, u"%s=%d", u"k", 12);
    log_.writeFormatA(AppLog::kLevelAll, "%s|%ls", "n", u"w");
    log_.flush();
    EXPECT_EQ(onDisk(), std::string(kMark) + line(std::string("a\0\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80?", 12)) +
                            line("caf\xC3\xA9") + line("k=12") + line("n|w"));
}

TEST_F(AppLogTest, TheDebuggerGetsPiecesOf250WithZerosShownAsDots)
{
    std::u16string text(600 - kPrefix.size() - 2, u'z');
    text[10] = 0;
    writeAt(0, text);  // never opened: the debugger still sees the line
    ASSERT_EQ(environment_.pieces.size(), 3u);
    EXPECT_EQ(environment_.pieces[0].size(), 250u);
    EXPECT_EQ(environment_.pieces[1].size(), 250u);
    EXPECT_EQ(environment_.pieces[2].size(), 100u);
    EXPECT_EQ(environment_.pieces[0].substr(kPrefix.size(), 12), u"zzzzzzzzzz.z");
    EXPECT_TRUE(environment_.pieces[2].ends_with(u"zz\r\n"));
    log_.write(1, 1, u"q");  // without bit 4
    environment_.debugEnabled = false;
    writeAt(0, u"q");
    EXPECT_EQ(environment_.pieces.size(), 3u);
}

TEST_F(AppLogTest, TheAssertionReportIsInTheFileAtOnce)
{
    openAt(0);
    writeAt(0, u"before");
    DiagSink* previous = setDiagSink(&log_);
    reportDbgChk("a\\b", "", 12);
    setDiagSink(previous);
    EXPECT_EQ(onDisk(), std::string(kMark) + line("before") + line("DBGCHK  a\\b:12"));
}

// Error lines and questions to the user write the buffer through: what was
// logged before is in the file at once, in its order, whatever the gap.
TEST_F(AppLogTest, WriteThroughPutsTheBufferInTheFile)
{
    openAt(0);
    writeAt(10, u"first");
    writeAt(20, u"the error");
    EXPECT_EQ(onDisk(), "");
    log_.writeThrough();
    EXPECT_EQ(onDisk(), std::string(kMark) + line("first") + line("the error"));
    writeAt(30, u"after");
    log_.writeThrough();
    log_.writeThrough();
    EXPECT_EQ(onDisk(), std::string(kMark) + line("first") + line("the error") + line("after"));
}

TEST(AppLogReport, AssertionsAndNarrowLinesComeFromTheAnsiCodePage)
{
    test::DiagCapture capture;
    reportDbgChk("y.cpp", "bad \xE9", 1234);
    reportDbgChk(nullptr, nullptr, -1);
    setAnsiCodePage(932);
    reportDbgChk("x.cpp", "\x81", 1);  // a lead byte without its trail byte: kept as it is
    logPrintfA("%s", "ok \x82\xA0");
    setAnsiCodePage(0);
    EXPECT_EQ(capture.lines(),
              (Lines{u"DBGCHK bad \u00E9 y.cpp:1234", u"DBGCHK  :-1", u"DBGCHK \u0081 x.cpp:1", u"ok \u3042"}));
}

TEST_F(AppLogTest, CloseEndsTheFileAndDetachesTheSinkWithoutUndoingAnother)
{
    openAt(0);
    writeAt(0, u"last real line");
    DiagSink* previous = setDiagSink(&log_);
    log_.close();
    EXPECT_EQ(currentDiagSink(), nullptr);
    const std::string closed = onDisk();
    EXPECT_EQ(closed, std::string(kMark) + line("last real line") + line("Logging finished"));
    EXPECT_TRUE(log_.getPath().isEmpty());
    environment_.pieces.clear();
    writeAt(9000, u"after the close");
    log_.flush();
    log_.close();
    EXPECT_EQ(onDisk(), closed);
    EXPECT_TRUE(environment_.pieces.empty());

    AppLog other(environment_);
    setDiagSink(&other);
    {
        test::DiagCapture capture;  // installed on top of the log
        other.close();
        EXPECT_EQ(currentDiagSink(), &capture);
    }
    setDiagSink(previous);
}

TEST(AppLogPrintf, LinesGoToAnInstalledSinkAndMakeNoLog)
{
    test::DiagCapture capture;
    logPrintf(u"%s=%d", u"key", 5);
    logPrintfA("%s %hs", "caf\xE9", "x");
    flushLog();
    EXPECT_EQ(capture.lines(), (Lines{u"key=5", u"caf\u00E9 x"}));
    EXPECT_TRUE(getLogPath().isEmpty());
    EXPECT_EQ(AppLog::existingInstance(), nullptr);
}

// ---- Runs of a program that logs ----------------------------------------------

// `text` has the shape: '9' stands for a decimal digit, 'x' for a lower-case
// hexadecimal one, anything else for itself.
bool hasShape(std::string_view text, std::string_view shape)
{
    if (text.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool digit = c >= '0' && c <= '9';
        if (shape[i] == '9' ? !digit : shape[i] == 'x' ? !(digit || (c >= 'a' && c <= 'f')) : c != shape[i])
            return false;
    }
    return true;
}

constexpr std::string_view kPrefixShape = "T99:99:99.999Z ; xxxxxxxx ; ";

TEST(AppLogRuns, ElevenRunsLeaveTenNumberedLogs)
{
    test::ScratchDir scratch;
    const fs::path program = scratch.path() / "LogRun";
    fs::copy_file(DRUVEX_LOG_RUNS_PROGRAM, program);
    for (int run = 1; run <= 11; ++run) {
        // Runs 3 and 7 leave a thread logging while the program exits.
        const std::string command = "env -u DRUVEX_DEVICE -u DRUVEX_MODULE_PATH '" + program.string() + "' " +
                                    std::to_string(run) + (run == 3 || run == 7 ? " busy" : "") + " 2>/dev/null";
        ASSERT_EQ(test::runTool(command).exitCode, 0) << "run " << run;
    }

    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(scratch.path()))
        names.insert(entry.path().filename().string());
    std::set<std::string> expected{"LogRun", "LogRun.seq.ini"};
    for (int n = 1; n <= 10; ++n)
        expected.insert("LogRun" + std::to_string(n) + ".log.txt");
    EXPECT_EQ(names, expected);
    EXPECT_EQ(contents(scratch.path() / "LogRun.seq.ini"), "1");

    const std::string started = "Program " + program.string() + " started on ";
    for (int n = 1; n <= 10; ++n) {
        const std::string text = contents(scratch.path() / ("LogRun" + std::to_string(n) + ".log.txt"));
        ASSERT_TRUE(text.starts_with("\xEF\xBB\xBF")) << n;
        ASSERT_TRUE(text.ends_with("\r\n")) << n;
        const std::string first = text.substr(3, text.find("\r\n") - 3);
        EXPECT_TRUE(hasShape(first.substr(0, 28), kPrefixShape) && first.substr(28, started.size()) == started &&
                    hasShape(first.substr(28 + started.size()), "9999/99/99 99:99:99.999 UTC"))
            << first;
        const std::size_t lastStart = text.rfind("\r\n", text.size() - 3) + 2;
        const std::string last = text.substr(lastStart, text.size() - lastStart - 2);
        EXPECT_TRUE(hasShape(last.substr(0, 28), kPrefixShape) && last.substr(28) == "Logging finished") << last;
        // File 1 was written again by the eleventh run.
        const std::string run = n == 1 ? "11" : std::to_string(n);
        EXPECT_NE(text.find(" ; run " + run + "\r\n"), std::string::npos) << n;
        EXPECT_NE(text.find(" ; done\r\n"), std::string::npos) << n;
    }
}

// An assertion report and a platform line that come before anything else was
// logged make the log and land in it as its own lines do, not on standard
// error; the report names its source file from the source tree.
TEST(AppLogRuns, EarlyDiagnosticsMakeTheLogAndNameSourceFilesFromTheTree)
{
    test::ScratchDir scratch;
    const fs::path program = scratch.path() / "LogRun";
    fs::copy_file(DRUVEX_LOG_RUNS_PROGRAM, program);
    const test::ToolResult run =
        test::runTool("env -u DRUVEX_DEVICE -u DRUVEX_MODULE_PATH '" + program.string() + "' 1 early 2>&1 >/dev/null");
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_EQ(std::string(run.output.begin(), run.output.end()), "");

    const std::string text = contents(scratch.path() / "LogRun1.log.txt");
    EXPECT_TRUE(test::containsInOrder(text, {"Program ", " ; DBGCHK  src/core/ini_file.cpp:",
                                             " ; an early platform line\r\n", " ; run 1\r\n",
                                             " ; Logging finished\r\n"}))
        << text;
    EXPECT_EQ(text.find(DRUVEX_SOURCE_DIR), std::string::npos) << text;
}

// ---- Threads ---------------------------------------------------------------------

// The host's clocks and thread ids with a quiet debugger.
class QuietHost : public AppLogEnvironment {
public:
    bool debugOutputEnabled() override { return false; }
};

// The texts of a log file's lines, without their prefixes; every line must be whole.
std::vector<std::string> textsOf(const fs::path& path)
{
    std::istringstream in(contents(path).substr(3));
    std::vector<std::string> texts;
    for (std::string line; std::getline(in, line);) {
        EXPECT_TRUE(line.ends_with('\r') && hasShape(line.substr(0, 28), kPrefixShape)) << line;
        texts.push_back(line.substr(28, line.size() - 29));
    }
    return texts;
}

class AppLogThreads : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(log_.open(devicePath(path()))); }
    fs::path path() const { return scratch_.path() / "t.log.txt"; }

    test::ScratchDir scratch_;
    QuietHost environment_;
    AppLog log_{environment_};
};

TEST_F(AppLogThreads, LinesOfManyThreadsArriveWholeAndInTheirOrder)
{
    constexpr int kThreads = 4, kLines = 5000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kLines; ++i)
                log_.writeFormat(AppLog::kLevelAll, u"thread %d line %d", t, i);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    log_.close();

    const std::vector<std::string> texts = textsOf(path());
    ASSERT_EQ(texts.size(), static_cast<std::size_t>(kThreads * kLines + 1));
    std::vector<int> next(kThreads, 0);
    for (std::size_t i = 0; i + 1 < texts.size(); ++i) {
        int thread = -1, number = -1;
        ASSERT_EQ(std::sscanf(texts[i].c_str(), "thread %d line %d", &thread, &number), 2) << texts[i];
        ASSERT_TRUE(thread >= 0 && thread < kThreads && number == next[thread]++) << texts[i];
    }
    EXPECT_EQ(texts.back(), "Logging finished");
}

TEST_F(AppLogThreads, WritersRacingTheCloseNeverReachAClosedFile)
{
    std::atomic<bool> stop{false};
    std::atomic<int> written{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; !stop.load(); ++i) {
                // A writer that holds the log, and one that took it as the
                // diagnostics sink just before the close.
                log_.writeFormat(AppLog::kLevelAll, u"direct %d %d", t, i);
                log_.writeLine(u"as the sink");
                log_.flush();
                written.fetch_add(1);
            }
        });
    }
    while (written.load() < 2000)
        std::this_thread::yield();
    log_.close();
    const int atClose = written.load();
    while (written.load() < atClose + 2000)
        std::this_thread::yield();
    stop = true;
    for (std::thread& thread : threads)
        thread.join();

    const std::vector<std::string> texts = textsOf(path());
    EXPECT_GE(texts.size(), 2000u);
    EXPECT_EQ(texts.back(), "Logging finished");
}

}  // namespace
}  // namespace druvex

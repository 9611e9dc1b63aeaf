// Faults end the program with the crash report: death tests whose child
// faults, then the parent reads the log, "dumps.ini" and the slot the child
// left on the test device. Under ThreadSanitizer the sanitizer owns the fault
// signals, so these tests are skipped there; under AddressSanitizer the child
// runs with the sanitizer's fault handlers off (CrashTestDevice).
#include "core/crash_handler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/app_log.h"
#include "core/crash_dump.h"
#include "core/thread_utils.h"
#include "platform/builtin_modules.h"
#include "platform/manual_reset_event.h"
#include "support/crash_test_device.h"
#include "support/diag_capture.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::containsInOrder;
using test::CrashTestDevice;

#ifdef DRUVEX_TSAN
#define SKIP_WHERE_SANITIZER_OWNS_SIGNALS() GTEST_SKIP() << "ThreadSanitizer owns the fault signals"
#else
#define SKIP_WHERE_SANITIZER_OWNS_SIGNALS() (void)0
#endif

class NoSettleTime final : public WaitTimeouts {
public:
    std::chrono::milliseconds effectiveTimeout(std::uint32_t) override { return std::chrono::milliseconds(0); }
};

// Installs the waits for the life of the test; the death-test child inherits
// them, since it runs the test again up to the fault.
class CrashDeathTest : public ::testing::Test {
protected:
    void SetUp() override { setCrashDumpWaits(&waits_); }
    void TearDown() override { setCrashDumpWaits(nullptr); }

    CrashTestDevice device_;

private:
    NoSettleTime waits_;
};

// In the first page, which is never mapped; not null, which the undefined
// behaviour sanitizer would catch before the fault.
int* volatile g_nowhere = reinterpret_cast<int*>(0x10);
volatile bool g_stopRecursion = false;

void writeToUnmappedPage()
{
    *g_nowhere = 42;
}

int recurseWithoutEnd(int depth)
{
    volatile char frame[256];
    frame[0] = static_cast<char>(depth);
    if (g_stopRecursion)
        return frame[0];
    return recurseWithoutEnd(depth + 1) + frame[0];
}

std::vector<fs::path> filesIn(const fs::path& folder)
{
    std::vector<fs::path> files;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::string readHost(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(CrashDeathTest, SegvInGuardedScopeLogsDumpsAndEndsWithCrashStatus)
{
    SKIP_WHERE_SANITIZER_OWNS_SIGNALS();
    // Someone else's dump in the system's dump directory.
    device_.writeFile("Windows/DumpFiles/other.kdmp", "not ours");
    EXPECT_EXIT(
        {
            installCrashHandlers();
            logPrintf(u"before the fault");
            CrashGuardScope guard("dlgbase.cpp", 1313, 0);
            writeToUnmappedPage();
        },
        ::testing::ExitedWithCode(222), "");

    const std::string log = device_.lastLog();
    EXPECT_TRUE(containsInOrder(log, {"before the fault", "EXCEPTION C0000005 - free Mem: ", " bytes, free VM: ",
                                      "APPCRASH (C0000005 in THR#", ") at dlgbase.cpp@1313\r\n", "(0xBADE0000)",
                                      "Logging finished\r\n"}))
        << log;
    EXPECT_EQ(log.find("STACKOVERFLOW"), std::string::npos);

    const std::string dumps = std::string(CrashTestDevice::kDumpsFolder);
    EXPECT_EQ(device_.readFile(dumps + "/dumps.ini"), "[Settings]\r\nLastDumpIndex=0\r\n\r\n");
    const std::vector<fs::path> slot = filesIn(device_.hostPath(dumps + "/0"));
    ASSERT_EQ(slot.size(), 2u);
    EXPECT_EQ(slot[0].filename(), "crashtest1.log.txt");
    EXPECT_TRUE(containsInOrder(readHost(slot[0]), {"before the fault", "APPCRASH (C0000005"}));
    const std::string dump = readHost(slot[1]);
    EXPECT_TRUE(slot[1].filename().string().ends_with(".kdmp.txt")) << slot[1];
    EXPECT_TRUE(containsInOrder(dump, {"Exception code: 0xC0000005", "Signal: 11 (SIGSEGV)", "Fault address: 0x10\n",
                                       "Backtrace:", "Memory map:", "[stack]"}))
        << dump;
    // The capture's file moved into the slot; the other program's stayed.
    const std::vector<fs::path> left = filesIn(device_.hostPath(CrashTestDevice::kDumpDirectory));
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].filename(), "other.kdmp");
}

// Stands in for the terminal's restore (which writes no log line).
void logCleanup() noexcept
{
    logPrintf(u"terminal given back");
}

TEST_F(CrashDeathTest, TheCrashCleanupRunsOnceBeforeTheCrashIsReported)
{
    SKIP_WHERE_SANITIZER_OWNS_SIGNALS();
    EXPECT_EXIT(
        {
            installCrashHandlers();
            setCrashCleanup(&logCleanup);
            CrashGuardScope guard("dlg_base.cpp", 1313, 0);
            writeToUnmappedPage();
        },
        ::testing::ExitedWithCode(222), "");
    const std::string log = device_.lastLog();
    EXPECT_TRUE(containsInOrder(log, {"terminal given back", "EXCEPTION C0000005", "APPCRASH (C0000005"})) << log;
    EXPECT_EQ(log.find("terminal given back"), log.rfind("terminal given back"));
}

TEST_F(CrashDeathTest, SegvInWorkerThreadLogsItsCrashLine)
{
    SKIP_WHERE_SANITIZER_OWNS_SIGNALS();
    EXPECT_EXIT(
        {
            installCrashHandlers();
            logPrintf(u"starting the worker");
            WorkerThread worker([] { writeToUnmappedPage(); });
            worker.join();
        },
        ::testing::ExitedWithCode(222), "");

    const std::string log = device_.lastLog();
    EXPECT_TRUE(containsInOrder(log, {"EXCEPTION C0000005", "APPCRASH (C0000005 in THR#", "crash_handler_test.cpp@",
                                      "(0xBADE0000)", "Logging finished\r\n"}))
        << log;
    EXPECT_TRUE(device_.exists(std::string(CrashTestDevice::kDumpsFolder) + "/0/crashtest1.log.txt"));
}

TEST_F(CrashDeathTest, UncaughtExceptionInWorkerThreadIsACrash)
{
    EXPECT_EXIT(
        {
            installCrashHandlers();
            logPrintf(u"starting the worker");
            WorkerThread worker([] { throw std::runtime_error("nobody catches this"); });
            worker.join();
        },
        ::testing::ExitedWithCode(222), "");

    const std::string log = device_.lastLog();
    EXPECT_TRUE(containsInOrder(log, {"EXCEPTION E06D7363", "APPCRASH (E06D7363 in THR#", "Logging finished"})) << log;
}

TEST_F(CrashDeathTest, StackOverflowLogsStackOverflowBeforeTheCrashLine)
{
    SKIP_WHERE_SANITIZER_OWNS_SIGNALS();
    EXPECT_EXIT(
        {
            installCrashHandlers();
            logPrintf(u"recursing");
            CrashGuardScope guard("deep.cpp", 77, 0);
            recurseWithoutEnd(0);
        },
        ::testing::ExitedWithCode(222), "");

    const std::string log = device_.lastLog();
    EXPECT_TRUE(containsInOrder(log, {"EXCEPTION C00000FD", "STACKOVERFLOW at deep.cpp@77\r\n",
                                      "APPCRASH (C00000FD in THR#", ") at deep.cpp@77", "Logging finished"}))
        << log;
}

TEST_F(CrashDeathTest, FaultWhileHandlingAFaultEndsAtOnceWithItsOwnStatus)
{
    SKIP_WHERE_SANITIZER_OWNS_SIGNALS();
    EXPECT_EXIT(
        {
            // A capture that itself faults: the handling must not recurse.
            registerBuiltinModule(u"coredll.dll", {{u"CaptureDumpFileOnDevice",
                                                   exportAddress(+[](std::uint32_t, std::uint32_t, const char16_t*) {
                                                       writeToUnmappedPage();
                                                       return true;
                                                   })}});
            installCrashHandlers();
            logPrintf(u"before the fault");
            CrashGuardScope guard("dlgbase.cpp", 1313, 0);
            writeToUnmappedPage();
        },
        ::testing::ExitedWithCode(238), "");

    // The first fault's lines were flushed before the dump began; the log
    // never closed.
    const std::string log = device_.lastLog();
    EXPECT_TRUE(containsInOrder(log, {"APPCRASH (C0000005 in THR#", "dlgbase.cpp@1313"})) << log;
    EXPECT_EQ(log.find("Logging finished"), std::string::npos) << log;
}

TEST_F(CrashDeathTest, FaultOnAnotherThreadDuringTheReportWaitsForTheFirst)
{
    SKIP_WHERE_SANITIZER_OWNS_SIGNALS();
    EXPECT_EXIT(
        {
            // While the main thread's fault is being dumped, a worker faults:
            // the dump goes on once the worker is at its fault.
            registerBuiltinModule(u"coredll.dll", {{u"CaptureDumpFileOnDevice",
                                                   exportAddress(+[](std::uint32_t, std::uint32_t, const char16_t*) {
                                                       static ManualResetEvent faulting;
                                                       static WorkerThread second([] {
                                                           faulting.set();
                                                           writeToUnmappedPage();
                                                       });
                                                       faulting.wait(kInfiniteWait);
                                                       return captureDumpFileOnDevice(0, 0, nullptr);
                                                   })}});
            installCrashHandlers();
            logPrintf(u"before the fault");
            CrashGuardScope guard("dlgbase.cpp", 1313, 0);
            writeToUnmappedPage();
        },
        ::testing::ExitedWithCode(222), "");

    const std::string log = device_.lastLog();
    EXPECT_TRUE(containsInOrder(log, {"APPCRASH (C0000005 in THR#", "dlgbase.cpp@1313", "Logging finished"})) << log;
    EXPECT_EQ(log.find("APPCRASH", log.find("APPCRASH") + 1), std::string::npos) << log;
    EXPECT_EQ(device_.readFile(std::string(CrashTestDevice::kDumpsFolder) + "/dumps.ini"),
              "[Settings]\r\nLastDumpIndex=0\r\n\r\n");
}

TEST_F(CrashDeathTest, DumpWithAnOpenLogCopiesItAndSucceeds)
{
    EXPECT_EXIT(
        {
            logPrintf(u"a line before the dump");
            std::exit(writeCrashDump() ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_TRUE(device_.exists(std::string(CrashTestDevice::kDumpsFolder) + "/0/crashtest1.log.txt"));
}

TEST(CrashFilter, WithoutExceptionInformationPassesOnAfterTheMemoryLine)
{
    test::DiagCapture capture;
    EXPECT_EQ(crashExceptionFilter(nullptr, "x.cpp", 1, 0), 0);
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with(u"EXCEPTION 0 - free Mem: ")) << lines[0].size();
}

}  // namespace
}  // namespace druvex

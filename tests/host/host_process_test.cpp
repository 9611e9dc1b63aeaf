// The device host's processes: device programs that run as themselves or
// through their stand-ins, the one unsplit argument, exit codes, waits that
// time out at once, and children that are reaped after their handles went.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/manual_reset_event.h"
#include "platform/process.h"
#include "host_checks.h"
#include "support/recorded_start.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

const std::string kRecorder = DRUVEX_RECORD_START_PROGRAM;

// Lets every timed wait pass at once and keeps what was asked for.
class ImmediateTimeouts final : public WaitTimeouts {
public:
    std::chrono::milliseconds effectiveTimeout(std::uint32_t requestedMs) override
    {
        requested.push_back(requestedMs);
        return std::chrono::milliseconds(0);
    }
    std::vector<std::uint32_t> requested;
};

// Blocks until the process `pid` (a child that nobody reaped yet) has ended;
// a real event, never a time-out.
void awaitExit(pid_t pid)
{
    const int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    ASSERT_GE(fd, 0);
    pollfd entry{fd, POLLIN, 0};
    while (::poll(&entry, 1, -1) < 0 && errno == EINTR) {
    }
    ::close(fd);
}

// Whether `pid` is no longer a child waiting to be reaped.
bool wasReaped(pid_t pid)
{
    errno = 0;
    return ::waitpid(pid, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

class HostProcess : public test::HostFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        config.programs.push_back({u"unload.exe", kRecorder});
        config.programs.push_back({u"wceload.exe", "/nonexistent/wceload-stand-in"});
    }
    void SetUp() override
    {
        test::HostFixture::SetUp();
        // The device's own remover is a file of the device, not a program of this machine.
        device().writeFile("Windows/unload.exe", "MZ device program");
        device().writeFile("Windows/wceload.exe", "MZ device program");
        previousTimeouts_ = setProcessWaitTimeouts(&timeouts_);
    }
    void TearDown() override
    {
        setProcessWaitTimeouts(previousTimeouts_);
        test::HostFixture::TearDown();
    }

    // The arguments the last recorder run received, its own name first.
    std::vector<std::string> recordedArguments() { return test::recordedArguments(device().directory()); }

    ImmediateTimeouts timeouts_;
    WaitTimeouts* previousTimeouts_ = nullptr;
};

TEST_F(HostProcess, StandInReceivesTheCommandLineUnsplitAndGivesItsExitCode)
{
    const char16_t* commandLine = u"7 \"\\Program Files\\My App\\App.unload\"  /s $(touch x); exit 9 | > y";
    std::uint32_t exitCode = 0;
    ASSERT_TRUE(host().executeProcess(u"\\Windows\\unload.exe", commandLine, 0, exitCode));
    EXPECT_EQ(exitCode, 7u);
    EXPECT_EQ(recordedArguments(),
              (std::vector<std::string>{kRecorder, toUtf8(SharedString(commandLine)).c_str()}));

    // A bare name is looked for in \Windows, whatever its case.
    ASSERT_TRUE(host().executeProcess(u"UNLOAD.EXE", SharedString(), 0, exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(recordedArguments(), (std::vector<std::string>{kRecorder, ""}));
}

TEST_F(HostProcess, CopiedProgramOfThisMachineRunsAsItself)
{
    // Named like a mapped device program: being a program of this machine wins.
    device().makeFolder("Program Files/Tool");
    const std::filesystem::path copy = device().hostPath("Program Files/Tool/unload.exe");
    std::filesystem::copy_file(kRecorder, copy);

    ProcessInformation information;
    ASSERT_TRUE(host().createProcess(u"\\program files\\TOOL\\unload.exe", u"5 copied", 0, information));
    EXPECT_GT(information.processId, 0u);
    EXPECT_EQ(waitForProcess(information.process, kInfiniteWait), kWaitObject0);
    std::uint32_t exitCode = 0;
    ASSERT_TRUE(getProcessExitCode(information.thread, exitCode));
    EXPECT_EQ(exitCode, 5u);
    EXPECT_TRUE(closeProcessHandle(information.process));
    EXPECT_TRUE(closeProcessHandle(information.thread));
    EXPECT_FALSE(closeProcessHandle(information.thread));
    EXPECT_EQ(getLastError(), kErrorInvalidHandle);
    EXPECT_EQ(recordedArguments(), (std::vector<std::string>{copy.string(), "5 copied"}));
}

TEST_F(HostProcess, ProgramsThatCannotRunAreRefusedWithTheirReason)
{
    device().writeFile("Temp/data.exe", "plain data");
    // An ELF header for a machine this is not (ARM), as a device might hold.
    std::string foreign("\x7f" "ELF\x01\x01\x01", 7);
    foreign.resize(18, '\0');
    foreign += std::string("\x28\x00", 2);
    foreign.resize(64, '\0');
    device().writeFile("Temp/arm.exe", foreign);

    struct Case {
        const char16_t* application;
        std::uint32_t error;
    };
    const Case cases[] = {
        {u"\\Windows\\none.exe", kErrorFileNotFound},
        {u"none.exe", kErrorFileNotFound},
        {u"\\No Folder\\tool.exe", kErrorPathNotFound},
        {u"\\..\\..\\bin\\sh", kErrorPathNotFound},
        {u"\\Temp\\data.exe", kErrorBadExeFormat},
        {u"\\Temp\\arm.exe", kErrorBadExeFormat},
        {u"\\Windows", kErrorAccessDenied},
        {u"", kErrorInvalidParameter},
        // Mapped, but the stand-in named for it is missing on this machine.
        {u"\\Windows\\wceload.exe", kErrorFileNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(SharedString(c.application)).c_str());
        ProcessInformation information;
        EXPECT_TRUE(test::refused(host(), host().createProcess(c.application, u"0", 0, information), c.error));
        EXPECT_EQ(information.process, kInvalidProcessHandle);
        std::uint32_t exitCode = 12345;
        EXPECT_TRUE(test::refused(host(), host().executeProcess(c.application, u"0", 0, exitCode), c.error));
        EXPECT_EQ(exitCode, 12345u);
    }
}

TEST_F(HostProcess, AProgramThatOutlivesItsWaitIsReportedAndReapedLater)
{
    ProcessInformation information;
    ASSERT_TRUE(host().createProcess(u"\\Windows\\unload.exe", u"hold", 0, information));
    const auto pid = static_cast<pid_t>(information.processId);
    EXPECT_EQ(waitForProcess(information.process, 3000), kWaitTimeout);
    EXPECT_EQ(timeouts_.requested, std::vector<std::uint32_t>{3000});
    EXPECT_EQ(waitForProcess(information.process, 0), kWaitTimeout);
    std::uint32_t exitCode = 0;
    ASSERT_TRUE(getProcessExitCode(information.process, exitCode));
    EXPECT_EQ(exitCode, kStillActive);

    // Let go of while it runs, as a launcher that gives up waiting does.
    EXPECT_TRUE(closeProcessHandle(information.process));
    EXPECT_TRUE(closeProcessHandle(information.thread));
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    awaitExit(pid);
    // The next process query of the program reaps it.
    EXPECT_FALSE(getProcessExitCode(information.process, exitCode));
    EXPECT_TRUE(wasReaped(pid));

    // So does the host's end, when no query follows.
    ASSERT_TRUE(host().createProcess(u"\\Windows\\unload.exe", u"hold", 0, information));
    const auto second = static_cast<pid_t>(information.processId);
    EXPECT_TRUE(closeProcessHandle(information.thread));
    EXPECT_TRUE(closeProcessHandle(information.process));
    ASSERT_EQ(::kill(second, SIGKILL), 0);
    awaitExit(second);
    host_.reset();
    EXPECT_TRUE(wasReaped(second));
}

class HostProcessThreads : public HostProcess {};

TEST_F(HostProcessThreads, WaitersOnBothHandlesSeeTheOneEnd)
{
    ProcessInformation information;
    ASSERT_TRUE(host().createProcess(u"\\Windows\\unload.exe", u"hold", 0, information));
    std::atomic<int> ended{0};
    std::vector<std::uint32_t> codes(4, 0);
    std::vector<std::thread> waiters;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const ProcessHandle handle = i % 2 == 0 ? information.process : information.thread;
        waiters.emplace_back([&, i, handle] {
            if (waitForProcess(handle, kInfiniteWait) == kWaitObject0 && getProcessExitCode(handle, codes[i]))
                ended.fetch_add(1);
        });
    }
    ASSERT_EQ(::kill(static_cast<pid_t>(information.processId), SIGTERM), 0);
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(ended.load(), 4);
    // A signal's end reads back as that signal.
    EXPECT_EQ(codes, std::vector<std::uint32_t>(4, kExitCodeSignalled | SIGTERM));
    EXPECT_TRUE(closeProcessHandle(information.process));
    EXPECT_TRUE(closeProcessHandle(information.thread));
    EXPECT_TRUE(wasReaped(static_cast<pid_t>(information.processId)));
    EXPECT_EQ(waitForProcess(information.process, 0), kWaitFailed);
}

}  // namespace
}  // namespace druvex

#include "core/crash_handler.h"

#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "core/app_log.h"
#include "core/crash_dump.h"
#include "core/memory_report.h"
#include "core/thread_utils.h"
#include "platform/exit_status.h"

namespace druvex {

namespace {

// Long enough for the dump's settle time and its copies; a handler still
// running after this has deadlocked (on a lock the faulting code held).
constexpr unsigned kCrashWatchdogSeconds = 60;
constexpr long kCrashLockRetryNs = 10'000'000;  // 10 ms

thread_local CrashGuardScope* t_innermostGuard = nullptr;
thread_local bool t_handlingFault = false;
thread_local const char* t_threadSiteFile = nullptr;
thread_local int t_threadSiteLine = 0;

// The crash lock and who holds it: crash handling is serialised over the
// threads, and the thread that holds it (or is ending the program) faulting
// again is a fault inside the handling.
std::atomic<std::uint32_t> g_crashLock{0};
std::atomic<std::uint32_t> g_crashOwner{0};
std::atomic<std::uint32_t> g_exitingThread{0};
// The thread whose fault is being reported. Every fault ends the program, so
// a fault on another thread meanwhile only waits for that end: terminating at
// once, as a fault inside the handling must, would lose the first report.
std::atomic<std::uint32_t> g_faultOwner{0};
std::atomic<CrashObserver*> g_crashObserver{nullptr};
std::atomic<CrashCleanup> g_crashCleanup{nullptr};

void sleepNs(long nanoseconds)
{
    timespec pause {0, nanoseconds};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// The program is ending on another thread; this one only waits for that.
[[noreturn]] void waitForProgramEnd()
{
    for (;;)
        sleepNs(kCrashLockRetryNs);
}

void acquireCrashLock()
{
    for (;;) {
        std::uint32_t expected = 0;
        if (g_crashLock.compare_exchange_strong(expected, 1, std::memory_order_acquire))
            return;
        if (g_exitingThread.load() != 0)
            waitForProgramEnd();
        sleepNs(kCrashLockRetryNs);
    }
}

void releaseCrashLock()
{
    g_crashLock.store(0, std::memory_order_release);
}

void breakIntoDebugger()
{
    raise(SIGTRAP);
}

bool isStackOverflowCode(std::uint32_t code)
{
    return code == kExceptionStackOverflow || code == kExceptionFltStackCheck;
}

}  // namespace

// The fault handlers' dispatcher: the innermost guard's filter first, then the
// thread-level handling.
struct CrashDispatch {
    static void enterFaultHandling()
    {
        // The handling itself faulted: going on could only fault again.
        if (t_handlingFault)
            terminateProcess(kExitCodeCrashInCrash);
        t_handlingFault = true;
        runCrashCleanup();
        std::uint32_t expected = 0;
        if (!g_faultOwner.compare_exchange_strong(expected, currentThreadId()))
            waitForProgramEnd();
        armFaultWatchdog(kCrashWatchdogSeconds);
    }

    static void onFault(const ExceptionInfo& info)
    {
        enterFaultHandling();
        if (const CrashGuardScope* guard = t_innermostGuard) {
            if (crashExceptionFilter(&info, guard->sourceFile_, guard->line_, guard->mode_) == 1)
                fatalExit(guard->mode_);
        }
        reportThreadFault(info);
    }

    [[noreturn]] static void reportThreadFault(const ExceptionInfo& info);

    static void onTerminate()
    {
        ExceptionInfo info;
        info.code = std::current_exception() ? kExceptionCxx : kExceptionAbort;
        CurrentFaultScope scope(info);
        onFault(info);
    }
};

void installCrashHandlers(std::source_location site)
{
    t_threadSiteFile = site.file_name();
    t_threadSiteLine = static_cast<int>(site.line());
    std::set_terminate(&CrashDispatch::onTerminate);
    installFaultHandlers(&CrashDispatch::onFault);
}

CrashGuardScope::CrashGuardScope(const char* sourceFile, int line, int mode) noexcept
    : sourceFile_(sourceFile ? sourceFile : ""), line_(line), mode_(mode), outer_(t_innermostGuard)
{
    t_innermostGuard = this;
}

CrashGuardScope::~CrashGuardScope()
{
    t_innermostGuard = outer_;
}

int crashExceptionFilter(const ExceptionInfo* info, const char* sourceFile, int line, int mode)
{
    if (!sourceFile)
        sourceFile = "";
    const std::uint32_t code = info ? info->code : 0;
    const MemoryReport memory = readMemoryReport();
    logPrintf(u"EXCEPTION %X - free Mem: %u bytes, free VM: %u bytes", code, memory.freePhysical,
              memory.freeVirtual);
    if (isDebuggerAttached())
        breakIntoDebugger();
    if (code == 0)
        return 0;
    if (isStackOverflowCode(code)) {
        logPrintfA("STACKOVERFLOW at %s@%d", sourceFile, line);
        flushLog();
    }

    const std::uint32_t self = currentThreadId();
    if (g_crashOwner.load() == self || g_exitingThread.load() == self)
        terminateProcess(kExitCodeCrashInCrash);
    // Another thread's crash is being handled: it either ends the program or
    // releases the lock, and then this one is reported too.
    acquireCrashLock();
    g_crashOwner.store(self);
    logPrintfA("APPCRASH (%X in THR#%X) at %s@%d", code, self, sourceFile, line);
    flushLog();
    writeCrashDump();
    flushLog();
    g_crashOwner.store(0);
    releaseCrashLock();

    if (code == kExceptionFltStackCheck || mode == 1)
        return 0;
    return 1;
}

void fatalExit(int mode)
{
    if (isDebuggerAttached())
        breakIntoDebugger();
    if (mode != 0)
        return;
    const std::uint32_t self = currentThreadId();
    std::uint32_t expected = 0;
    if (!g_exitingThread.compare_exchange_strong(expected, self)) {
        if (expected == self)
            terminateProcess(kExitCodeCrashInCrash);
        waitForProgramEnd();
    }
    // Left set while the program ends: a fault in the exit handlers of this
    // thread ends it at once.
    g_crashOwner.store(self);
    std::exit(logExitStatus(kExitCodeCrash));
}

bool isDebuggerAttached()
{
    // Plain system calls into a fixed buffer: the crash filter asks this.
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char text[4096];
    std::size_t length = 0;
    for (;;) {
        const ssize_t got = ::read(fd, text + length, sizeof text - 1 - length);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        length += static_cast<std::size_t>(got);
        if (length + 1 >= sizeof text)
            break;
    }
    ::close(fd);
    text[length] = '\0';
    const char* tracer = std::strstr(text, "TracerPid:");
    if (!tracer)
        return false;
    tracer += std::strlen("TracerPid:");
    while (*tracer == ' ' || *tracer == '\t')
        ++tracer;
    return *tracer >= '1' && *tracer <= '9';
}

void setCrashCleanup(CrashCleanup cleanup)
{
    g_crashCleanup.store(cleanup);
}

void runCrashCleanup() noexcept
{
    if (CrashCleanup cleanup = g_crashCleanup.exchange(nullptr))
        cleanup();
}

void setCrashObserver(CrashObserver* observer)
{
    g_crashObserver.store(observer);
}

void handleThreadFault(const ExceptionInfo& info)
{
    CrashDispatch::enterFaultHandling();
    CrashDispatch::reportThreadFault(info);
}

void CrashDispatch::reportThreadFault(const ExceptionInfo& info)
{
    CrashObserver* observer = g_crashObserver.load();
    if (observer && observer->breakIntoDebugger() && isDebuggerAttached())
        breakIntoDebugger();

    // The line names where the thread was started; a thread the program did
    // not start names nothing.
    const char* file = "?";
    int line = 0;
    if (const WorkerThreadInfo* worker = currentWorkerThread()) {
        file = worker->sourceFile;
        line = worker->line;
    } else if (t_threadSiteFile) {
        file = t_threadSiteFile;
        line = t_threadSiteLine;
    }
    crashExceptionFilter(&info, file, line, 0);

    if (observer) {
        if (isStackOverflowCode(info.code))
            observer->crashText(SharedString(u"STACKOVERFLOW"));
        SharedString text;
        observer->crashText(text.format(u"APPCRASH (%X in THR#%X)", info.code, currentThreadId()));
        const MemoryReport memory = readMemoryReport();
        observer->crashText(text.format(u"Free Memory: %u bytes, Free VM: %u bytes", memory.freePhysical,
                                        memory.freeVirtual));
        observer->writeDump();
    }
    fatalExit(0);
    // fatalExit(0) does not come back; should it ever, the program still ends
    // with the crash code.
    terminateProcess(kExitCodeCrash);
}

}  // namespace druvex

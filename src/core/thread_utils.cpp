#include "core/thread_utils.h"

#include <cxxabi.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <thread>

#include "core/crash_handler.h"
#include "text/diag.h"
#include "platform/exit_status.h"
#include "platform/fault_signals.h"
#include "platform/manual_reset_event.h"
#include "text/mutex.h"

namespace druvex {

struct WorkerThread::State {
    const char* sourceFile = "";
    int line = 0;
    Mutex mutex;
    ConditionVariable ended;
    bool finished GUARDED_BY(mutex) = false;
};

namespace {

std::atomic<ThreadObserver*> g_threadObserver{nullptr};
std::atomic<WaitTimeouts*> g_joinTimeouts{nullptr};
thread_local const WorkerThreadInfo* t_worker = nullptr;

// Largest finite wait WaitTimeouts takes.
constexpr std::int64_t kLargestWaitMs = 0xFFFFFFFE;

}  // namespace

void setThreadObserver(ThreadObserver* observer)
{
    g_threadObserver.store(observer);
}

const WorkerThreadInfo* currentWorkerThread() noexcept
{
    return t_worker;
}

WorkerThread::WorkerThread() noexcept = default;

WorkerThread::WorkerThread(WorkerThread&& other) noexcept
    : state_(std::move(other.state_)), thread_(std::move(other.thread_))
{
}

WorkerThread& WorkerThread::operator=(WorkerThread&& other) noexcept
{
    if (this != &other) {
        abandon();
        state_ = std::move(other.state_);
        thread_ = std::move(other.thread_);
    }
    return *this;
}

WorkerThread::~WorkerThread()
{
    abandon();
}

void WorkerThread::abandon() noexcept
{
    if (!thread_.joinable())
        return;
    DRUVEX_DBGCHK("worker thread not joined");
    thread_.detach();
}

void WorkerThread::start(std::unique_ptr<Task> task, const std::source_location& site)
{
    state_ = std::make_shared<State>();
    state_->sourceFile = site.file_name();
    state_->line = static_cast<int>(site.line());
    thread_ = std::thread([state = state_, task = std::move(task)]() mutable {
        AltSignalStack altStack;
        const WorkerThreadInfo info{state->sourceFile, state->line, currentThreadId()};
        t_worker = &info;
        if (ThreadObserver* observer = g_threadObserver.load())
            observer->threadStarted(info.threadId);
        try {
            task->run();
            task.reset();
        } catch (abi::__forced_unwind&) {
            throw;  // thread cancellation must unwind on
        } catch (...) {
            // On the device an uncaught C++ exception is a fault like any other.
            ExceptionInfo fault;
            fault.code = kExceptionCxx;
            CurrentFaultScope scope(fault);
            handleThreadFault(fault);
        }
        if (ThreadObserver* observer = g_threadObserver.load())
            observer->threadEnded(info.threadId);
        t_worker = nullptr;
        {
            MutexLock lock(state->mutex);
            state->finished = true;
        }
        state->ended.notify_all();
    });
}

bool WorkerThread::joinable() const noexcept
{
    return thread_.joinable();
}

void WorkerThread::join()
{
    if (thread_.joinable())
        thread_.join();
}

bool WorkerThread::tryJoinFor(std::chrono::milliseconds timeout)
{
    if (!thread_.joinable())
        return true;
    {
        MutexLock lock(state_->mutex);
        if (!state_->ended.wait_for(state_->mutex, timeout, [this]() REQUIRES(state_->mutex) { return state_->finished; }))
            return false;
    }
    // The function has returned; only the thread's own teardown is left.
    thread_.join();
    return true;
}

bool joinThread(WorkerThread& thread, std::int64_t timeoutMs, const char* message, std::source_location site)
{
    if (timeoutMs < kJoinThreadTimeoutMs) {
        reportDbgChk(DbgChkSite::of(site));
        timeoutMs = kJoinThreadTimeoutMs;
    }
    if (!thread.joinable())
        return true;
    const std::int64_t requested = std::min(timeoutMs, kLargestWaitMs);
    WaitTimeouts* timeouts = g_joinTimeouts.load();
    const std::chrono::milliseconds wait =
        timeouts ? timeouts->effectiveTimeout(static_cast<std::uint32_t>(requested))
                 : std::chrono::milliseconds(requested);
    if (thread.tryJoinFor(wait))
        return true;
    reportDbgChk(DbgChkSite::of(site), message);
    std::exit(logExitStatus(1));
}

void setJoinThreadTimeouts(WaitTimeouts* timeouts)
{
    g_joinTimeouts.store(timeouts);
}

unsigned usableCoreCount()
{
    cpu_set_t cores;
    CPU_ZERO(&cores);
    const unsigned count = ::sched_getaffinity(0, sizeof cores, &cores) == 0 ? static_cast<unsigned>(CPU_COUNT(&cores))
                                                                           : std::thread::hardware_concurrency();
    return std::max(count, 1u);
}

}  // namespace druvex

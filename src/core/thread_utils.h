// The program's worker threads. Every thread the program starts runs through
// one start routine: it gets an alternate signal stack (so that even a stack
// overflow is reported), its data in thread-local storage, the thread
// observer's start and end calls, and a guard that turns a fault or an
// uncaught C++ exception into the crash report and the crash exit code
// instead of a silent end. joinThread waits with a time-out and ends the
// program when a thread does not finish.
#pragma once

#include <chrono>
#include <concepts>
#include <cstdint>
#include <memory>
#include <source_location>
#include <thread>
#include <type_traits>
#include <utility>

namespace druvex {

class WaitTimeouts;

// Told when a worker thread starts and ends (not when it ends through a
// fault), with the thread's id. Nothing in the program installs one.
class ThreadObserver {
public:
    virtual ~ThreadObserver() = default;
    virtual void threadStarted(std::uint32_t threadId) = 0;
    virtual void threadEnded(std::uint32_t threadId) = 0;
};

// Installs the observer (null: none); it must outlive every worker thread.
void setThreadObserver(ThreadObserver* observer);

// What the start routine keeps in thread-local storage.
struct WorkerThreadInfo {
    const char* sourceFile = "";  // where the thread was started
    int line = 0;
    std::uint32_t threadId = 0;   // the kernel's id (currentThreadId)
};

// The calling thread's data when it is a worker thread, else null.
const WorkerThreadInfo* currentWorkerThread() noexcept;

class WorkerThread {
public:
    WorkerThread() noexcept;
    // Starts `function` (callable without arguments) on a new thread. `site`
    // names the thread in crash lines; it is where the constructor is called,
    // so build the object yourself rather than in place in a container.
    template <class Function>
        requires(!std::same_as<std::remove_cvref_t<Function>, WorkerThread> && std::invocable<Function&>)
    explicit WorkerThread(Function&& function, std::source_location site = std::source_location::current())
        : WorkerThread()
    {
        start(std::make_unique<TaskOf<std::decay_t<Function>>>(std::forward<Function>(function)), site);
    }
    WorkerThread(WorkerThread&& other) noexcept;
    WorkerThread& operator=(WorkerThread&& other) noexcept;
    // A thread still joinable here is reported (DRUVEX_DBGCHK) and detached:
    // waiting without a limit could hang the program.
    ~WorkerThread();

    bool joinable() const noexcept;
    // Waits until the thread has ended.
    void join();
    // Waits at most `timeout`; true when the thread ended (it is then joined).
    bool tryJoinFor(std::chrono::milliseconds timeout);

private:
    struct Task {
        virtual ~Task() = default;
        virtual void run() = 0;
    };
    template <class Function>
    struct TaskOf final : Task {
        template <class F>
        explicit TaskOf(F&& f) : function(std::forward<F>(f))
        {
        }
        void run() override { function(); }
        Function function;
    };
    struct State;

    void start(std::unique_ptr<Task> task, const std::source_location& site);
    void abandon() noexcept;

    std::shared_ptr<State> state_;
    std::thread thread_;
};

// The default and least time-out of joinThread.
constexpr std::int64_t kJoinThreadTimeoutMs = 5000;

// Joins `thread` within `timeoutMs`. A smaller time-out is reported
// (reportDbgChk at the caller's site) and raised to 5,000 ms. A thread that is
// not joinable gives true at once; one that ends in time gives true. When the
// time-out expires, `message` is reported at the caller's site and the program
// ends through the normal exit path with exit code 1.
bool joinThread(WorkerThread& thread, std::int64_t timeoutMs = kJoinThreadTimeoutMs, const char* message = "",
                std::source_location site = std::source_location::current());

// The cores this process may run on: its affinity mask, which a container or
// taskset may keep below the machine's count (that count when the mask
// cannot be read), at least 1.
unsigned usableCoreCount();

// Decides how long joinThread really waits (null: the time asked). Tests let
// the time-out pass at once; the object must outlive every join.
void setJoinThreadTimeouts(WaitTimeouts* timeouts);

}  // namespace druvex

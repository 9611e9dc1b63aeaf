// The periodic timer: ticks on its worker until stopped, its worker gone
// (so no tick can come) once stop returns, a tick that stops its own timer,
// and a restart.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "ui_base/tic_timer.h"

namespace druvex {
namespace {

using namespace std::chrono_literals;

// Counts ticks; a test waits for a number of them (a safety limit only, the
// ticks come every millisecond).
class TickCounter {
public:
    void tick()
    {
        std::lock_guard lock(mutex_);
        ++ticks_;
        changed_.notify_all();
    }
    bool waitFor(int ticks)
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, 60s, [&] { return ticks_ >= ticks; });
    }
    int ticks()
    {
        std::lock_guard lock(mutex_);
        return ticks_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int ticks_ = 0;
};

// Tells, from inside a tick, when the worker thread that ran it has ended:
// the thread's own objects are destroyed as it exits.
class WorkerExit {
public:
    void noteTick()
    {
        thread_local Sentinel sentinel(*this);
        (void)sentinel;
    }
    bool ended() const { return ended_.load(); }

private:
    struct Sentinel {
        explicit Sentinel(WorkerExit& exit) : exit(exit) {}
        ~Sentinel() { exit.ended_.store(true); }
        WorkerExit& exit;
    };
    std::atomic<bool> ended_{false};
};

TEST(TicTimerThreads, TicksUntilStoppedAndNoneAfter)
{
    TickCounter counter;
    WorkerExit firstWorker;
    TicTimer timer;
    EXPECT_FALSE(timer.isRunning());
    ASSERT_TRUE(timer.start(1ms, [&] {
        firstWorker.noteTick();
        counter.tick();
    }));
    EXPECT_FALSE(timer.start(1ms, [] {}));
    ASSERT_TRUE(counter.waitFor(3));
    timer.stop();
    EXPECT_FALSE(timer.isRunning());
    // The thread that ticked has ended before stop returned: no tick can follow.
    EXPECT_TRUE(firstWorker.ended());
    const int stopped = counter.ticks();

    // A timer runs again after a stop, on a worker of its own.
    WorkerExit secondWorker;
    ASSERT_TRUE(timer.start(1ms, [&] {
        secondWorker.noteTick();
        counter.tick();
    }));
    ASSERT_TRUE(counter.waitFor(stopped + 2));
    EXPECT_FALSE(secondWorker.ended());
    timer.stop();
    EXPECT_TRUE(secondWorker.ended());
}

TEST(TicTimerThreads, StoppingALongPeriodDoesNotWaitItOut)
{
    TicTimer timer;
    std::atomic<int> ticks{0};
    ASSERT_TRUE(timer.start(std::chrono::hours(1), [&] { ++ticks; }));
    timer.stop();
    EXPECT_EQ(ticks.load(), 0);
}

TEST(TicTimerThreads, ATickMayStopItsOwnTimer)
{
    TickCounter counter;
    TicTimer timer;
    ASSERT_TRUE(timer.start(1ms, [&] {
        counter.tick();
        timer.stop();
    }));
    ASSERT_TRUE(counter.waitFor(1));
    timer.stop();  // joins the worker the tick asked to end
    EXPECT_EQ(counter.ticks(), 1);
}

}  // namespace
}  // namespace druvex

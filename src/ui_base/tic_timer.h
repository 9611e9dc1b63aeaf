// TicTimer: the toolkit's periodic timer. A worker thread calls the tick
// function once per period until the timer is stopped; stopping joins the
// worker (joinThread, 5,000 ms), so a tick that never returns ends the program
// rather than hanging it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <thread>

#include "core/thread_utils.h"
#include "text/mutex.h"

namespace druvex {

class TicTimer {
public:
    TicTimer() = default;
    // Stops the timer.
    ~TicTimer();
    TicTimer(const TicTimer&) = delete;
    TicTimer& operator=(const TicTimer&) = delete;

    // Starts calling `onTick` on the worker every `period`, the first time one
    // period from now. False when the timer runs already. Start and stop from
    // one thread, the timer's owner.
    bool start(std::chrono::milliseconds period, std::function<void()> onTick);
    // No tick starts after this returns (a tick under way ends first). From a
    // tick itself it only asks the worker to end; the owner's stop joins it.
    void stop();
    bool isRunning() const { return worker_.joinable(); }

private:
    void run(std::chrono::milliseconds period, const std::function<void()>& onTick);

    Mutex mutex_;
    ConditionVariable wake_;
    bool stopping_ GUARDED_BY(mutex_) = false;
    std::atomic<std::thread::id> workerId_{};
    WorkerThread worker_;
};

}  // namespace druvex

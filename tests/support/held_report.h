// Holds a report of the code under test (a listener or sink call on one of
// its threads) until the test begins to take something apart, and records
// the order of what happens: a teardown that waits for the report shows
// "held", "teardown", "left", "gone"; one that frees what the report still
// uses lets "gone" come before "left" (and the sanitizers see the rest).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace druvex::test {

class HeldReport {
public:
    // Inside the report: waits until the teardown has begun, then lets a
    // teardown that does not wait for the report (it runs on another thread)
    // finish first, so that its fault shows; one that waits is blocked
    // meanwhile, and the report goes on after a bounded number of yields.
    void hold()
    {
        std::unique_lock lock(mutex_);
        events_.push_back("held");
        changed_.notify_all();
        changed_.wait(lock, [this] { return tearingDown_; });
        for (int turn = 0; turn < kYields && !gone_; ++turn) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
        }
        events_.push_back("left");
    }

    // Waits for a report to be held; false after 20 seconds (a safety limit).
    bool waitHeld()
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(20), [this] { return !events_.empty(); });
    }

    // Lets the held report go on and runs `teardown` at once, on the calling thread.
    void tearDown(const std::function<void()>& teardown)
    {
        {
            std::lock_guard lock(mutex_);
            events_.push_back("teardown");
            tearingDown_ = true;
            changed_.notify_all();
        }
        teardown();
        std::lock_guard lock(mutex_);
        events_.push_back("gone");
        gone_ = true;
    }

    void note(std::string event)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }

    std::vector<std::string> events()
    {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
    bool tearingDown_ = false;
    bool gone_ = false;
    static constexpr int kYields = 10000;
};

}  // namespace druvex::test

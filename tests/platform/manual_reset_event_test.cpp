#include "platform/manual_reset_event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace druvex {
namespace {

using namespace std::chrono_literals;

// Lets every time-out pass at once and records what was asked for.
class InstantTimeouts final : public WaitTimeouts {
public:
    std::chrono::milliseconds effectiveTimeout(std::uint32_t requestedMs) override
    {
        requested.push_back(requestedMs);
        return 0ms;
    }
    std::vector<std::uint32_t> requested;
};

TEST(Event, StaysSetUntilReset)
{
    ManualResetEvent event;
    EXPECT_FALSE(event.isSet());
    EXPECT_FALSE(event.wait(0));
    event.set();
    EXPECT_TRUE(event.wait(0));
    EXPECT_TRUE(event.wait(kInfiniteWait));
    EXPECT_TRUE(event.wait(3'000'000));  // a set event answers at once
    event.set();
    EXPECT_TRUE(event.isSet());
    event.reset();
    EXPECT_FALSE(event.wait(0));
    event.reset();
    EXPECT_FALSE(event.isSet());

    ManualResetEvent initiallySet(true);
    EXPECT_TRUE(initiallySet.wait(0));
}

TEST(Event, TimedWaitAsksTheInjectedTimeouts)
{
    InstantTimeouts timeouts;
    ManualResetEvent event(false, &timeouts);
    // The injected time-outs answer at once: these waits end without real time passing.
    EXPECT_FALSE(event.wait(3'000'000));
    EXPECT_FALSE(event.wait(8'000));
    // No time-out to shorten for a look or an endless wait.
    EXPECT_FALSE(event.wait(0));
    event.set();
    EXPECT_TRUE(event.wait(kInfiniteWait));
    EXPECT_TRUE(event.wait(5));
    EXPECT_EQ(timeouts.requested, (std::vector<std::uint32_t>{3'000'000, 8'000, 5}));
}

TEST(Event, TimeoutHookMaySetTheEvent)
{
    class SettingTimeouts final : public WaitTimeouts {
    public:
        ManualResetEvent* event = nullptr;
        std::chrono::milliseconds effectiveTimeout(std::uint32_t) override
        {
            event->set();
            return 0ms;
        }
    } timeouts;
    ManualResetEvent event(false, &timeouts);
    timeouts.event = &event;
    EXPECT_TRUE(event.wait(1000));
}

TEST(EventThreads, SetReleasesEveryWaiter)
{
    ManualResetEvent event;
    std::atomic<int> released{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i) {
        waiters.emplace_back([&, i] {
            // Long time-outs: only the set can end these waits in time.
            if (event.wait(i % 2 == 0 ? kInfiniteWait : 600'000))
                ++released;
        });
    }
    event.set();
    for (std::thread& waiter : waiters)
        waiter.join();
    EXPECT_EQ(released.load(), 4);
    EXPECT_TRUE(event.isSet());
}

TEST(EventThreads, WaiterSeesASetFromAnotherThreadAfterAReset)
{
    ManualResetEvent ready;
    ManualResetEvent go;
    std::atomic<bool> sawGo{false};
    std::thread worker([&] {
        ready.set();
        sawGo = go.wait(600'000);
    });
    ASSERT_TRUE(ready.wait(kInfiniteWait));
    go.reset();
    go.set();
    worker.join();
    EXPECT_TRUE(sawGo.load());
}

}  // namespace
}  // namespace druvex

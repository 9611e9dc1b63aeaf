#include "core/thread_utils.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "core/app_log.h"
#include "platform/fault_signals.h"
#include "platform/manual_reset_event.h"
#include "support/crash_test_device.h"
#include "support/diag_capture.h"

namespace druvex {
namespace {

using test::containsInOrder;

// Records what joinThread asked for; waits `answer`.
class RecordedWaits final : public WaitTimeouts {
public:
    explicit RecordedWaits(std::chrono::milliseconds answer) : answer_(answer) {}
    std::chrono::milliseconds effectiveTimeout(std::uint32_t requestedMs) override
    {
        requested.push_back(requestedMs);
        return answer_;
    }
    std::vector<std::uint32_t> requested;

private:
    std::chrono::milliseconds answer_;
};

class JoinThreadTest : public ::testing::Test {
protected:
    void SetUp() override { setJoinThreadTimeouts(&waits_); }
    void TearDown() override { setJoinThreadTimeouts(nullptr); }

    RecordedWaits waits_{std::chrono::milliseconds(5000)};
    test::DiagCapture capture_;
};

TEST_F(JoinThreadTest, ShortTimeOutIsReportedAndRaisedToTheLeast)
{
    ManualResetEvent release;
    WorkerThread worker([&release] { release.wait(kInfiniteWait); });
    release.set();
    const int line = __LINE__ + 1;
    EXPECT_TRUE(joinThread(worker, 100, "not this message"));
    EXPECT_FALSE(worker.joinable());
    EXPECT_EQ(waits_.requested, std::vector<std::uint32_t>{5000});
    const auto lines = capture_.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with(u"DBGCHK  ")) << lines[0].size();
    const std::u16string site = u"thread_utils_test.cpp:" + std::u16string(SharedString().format(u"%d", line).view());
    EXPECT_TRUE(lines[0].ends_with(site));
}

TEST_F(JoinThreadTest, ThreadThatIsNotJoinableReturnsAtOnce)
{
    WorkerThread none;
    EXPECT_TRUE(joinThread(none));
    EXPECT_EQ(capture_.dbgChkCount(), 0);
    EXPECT_TRUE(joinThread(none, 10));  // the time-out is checked first
    EXPECT_EQ(capture_.dbgChkCount(), 1);
    EXPECT_TRUE(waits_.requested.empty());
}

TEST_F(JoinThreadTest, ThreadThatNeverEndsEndsTheProgramWithStatusOne)
{
    test::CrashTestDevice device;
    RecordedWaits shortWait(std::chrono::milliseconds(20));
    setJoinThreadTimeouts(&shortWait);
    EXPECT_EXIT(
        {
            setDiagSink(nullptr);  // the child logs to its file
            logPrintf(u"waiting for the downloader");
            // Never set, never freed: the thread still waits while the program ends.
            auto* never = new ManualResetEvent();
            WorkerThread hung([never] { never->wait(kInfiniteWait); });
            joinThread(hung, 5000, "downloader did not stop");
        },
        ::testing::ExitedWithCode(1), "");
    const std::string log = device.lastLog();
    EXPECT_TRUE(containsInOrder(log, {"waiting for the downloader", "DBGCHK downloader did not stop ",
                                      "thread_utils_test.cpp:", "Exit code 1 ", "Logging finished\r\n"}))
        << log;
}

class CountingObserver final : public ThreadObserver {
public:
    void threadStarted(std::uint32_t id) override
    {
        std::lock_guard lock(mutex);
        started.push_back(id);
    }
    void threadEnded(std::uint32_t id) override
    {
        std::lock_guard lock(mutex);
        ended.push_back(id);
    }
    std::mutex mutex;
    std::vector<std::uint32_t> started;
    std::vector<std::uint32_t> ended;
};

TEST(JoinThreadThreads, WorkersTellTheObserverAndKnowTheirSite)
{
    CountingObserver observer;
    setThreadObserver(&observer);
    constexpr int kWorkers = 6;
    std::vector<std::uint32_t> ids(kWorkers);
    std::vector<std::string> sites(kWorkers);
    std::vector<WorkerThread> workers;
    for (int i = 0; i < kWorkers; ++i) {
        // Made here, not in place: the site is where the constructor is called.
        workers.push_back(WorkerThread([i, &ids, &sites] {
            const WorkerThreadInfo* info = currentWorkerThread();
            ids[i] = info ? info->threadId : 0;
            sites[i] = info ? info->sourceFile : "";
            EXPECT_EQ(info ? info->threadId : 0, currentThreadId());
        }));
    }
    for (WorkerThread& worker : workers)
        EXPECT_TRUE(worker.tryJoinFor(std::chrono::seconds(30)));
    setThreadObserver(nullptr);

    EXPECT_EQ(currentWorkerThread(), nullptr);
    std::vector<std::uint32_t> expected = ids;
    std::sort(expected.begin(), expected.end());
    std::sort(observer.started.begin(), observer.started.end());
    std::sort(observer.ended.begin(), observer.ended.end());
    EXPECT_EQ(observer.started, expected);
    EXPECT_EQ(observer.ended, expected);
    for (const std::string& site : sites)
        EXPECT_TRUE(site.ends_with("thread_utils_test.cpp")) << site;
}

TEST(JoinThreadThreads, TimedJoinGivesUpAndJoinsLater)
{
    ManualResetEvent release;
    WorkerThread worker([&release] { release.wait(kInfiniteWait); });
    EXPECT_FALSE(worker.tryJoinFor(std::chrono::milliseconds(1)));
    EXPECT_TRUE(worker.joinable());
    release.set();
    EXPECT_TRUE(worker.tryJoinFor(std::chrono::seconds(30)));
    EXPECT_FALSE(worker.joinable());
}

}  // namespace
}  // namespace druvex

#include "core/time_stamp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/memory_status.h"
#include "core/wall_clock.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

constexpr std::uint64_t kSecond = 10'000'000;  // in 100-ns units
constexpr std::uint64_t kMs = 10'000;

// A clock that moves only when told; installed for the life of the object.
// Its two fields move together: a reading takes the system time and then the
// tick, and the tick it gets is the one of the same moment, however far the
// clock moved in between (a reader held up between the two would otherwise
// see them a second apart and start measuring from a wrong pair).
class FakeClock final : public ClockSource {
public:
    explicit FakeClock(std::uint64_t systemTime, std::uint32_t tick = 1000) : time_(systemTime), tick_(tick)
    {
        previous_ = setClockSource(this);
    }
    ~FakeClock() override { setClockSource(previous_); }

    std::uint64_t systemTime100ns() override
    {
        std::lock_guard lock(mutex_);
        t_tickOfTheSameMoment = tick_;
        return time_;
    }
    std::uint32_t tickMs() override
    {
        if (const std::optional<std::uint32_t> tick = std::exchange(t_tickOfTheSameMoment, std::nullopt))
            return *tick;
        std::lock_guard lock(mutex_);
        return tick_;
    }

    void advance(std::uint64_t systemUnits, std::uint32_t tickMs)
    {
        std::lock_guard lock(mutex_);
        time_ += systemUnits;
        tick_ += tickMs;
    }
    void setSystemTime(std::uint64_t time)
    {
        std::lock_guard lock(mutex_);
        time_ = time;
    }

private:
    static thread_local std::optional<std::uint32_t> t_tickOfTheSameMoment;

    std::mutex mutex_;
    std::uint64_t time_;
    std::uint32_t tick_;
    ClockSource* previous_;
};

thread_local std::optional<std::uint32_t> FakeClock::t_tickOfTheSameMoment;

std::uint64_t unixTime(std::uint64_t seconds, std::uint64_t units = 0)
{
    return kUnixEpochIn100ns + seconds * kSecond + units;
}

// Nanoseconds since 1970 of a reading.
std::uint64_t readNs()
{
    WallClockTime now{};
    EXPECT_TRUE(getWallClock(now));
    return std::uint64_t{now.seconds} * 1'000'000'000 + now.nanoseconds;
}

TEST(TimeStamp, OrdersBySignedSecondsThenByTheTieBreaker)
{
    const TimeStamp minusOne(0xFFFFFFFFu, 0xFFFFFFFFu);
    EXPECT_EQ(minusOne.seconds, -1);
    EXPECT_EQ(TimeStamp(1u, 2u).seconds, 0x200000001LL);
    TimeStamp a(100);
    TimeStamp b(100);
    a.order = 0.25;
    b.order = 0.5;
    EXPECT_TRUE(a < b && b > a);
    EXPECT_FALSE(b < a || a < a);
    b.seconds = -1;  // seconds decide before the tie-breaker
    EXPECT_TRUE(b < TimeStamp(0) && TimeStamp(0) > b);
    a.clear();
    EXPECT_TRUE(a.seconds == 0 && a.order == 0.0);
    // Now is the system time in whole seconds.
    FakeClock clock(unixTime(1'600'000'000, 9'999'999));
    EXPECT_EQ(TimeStamp::now().seconds, 1'600'000'000);
}

TEST(TimeStampClock, TicksAdvanceReadingsWhileTheSystemTimeStands)
{
    FakeClock clock(unixTime(1'000, 1'234'567), 0xFFFFFFF0u);
    const std::uint64_t first = readNs();
    EXPECT_EQ(first, 1'000'123'456'700ULL);  // the first reading is the system time
    clock.advance(0, 5);
    EXPECT_EQ(readNs() - first, 5'000'000u);
    clock.advance(0, 995);  // across the tick counter's wrap
    EXPECT_EQ(readNs() - first, 1'000'000'000u);
}

TEST(TimeStampClock, DriftOf1101MsOrMoreIsFollowedAtOnce)
{
    struct Case {
        std::int64_t systemMs;  // how far the system time moves while the tick stands
        bool followed;
    };
    for (const Case c : {Case{1100, false}, Case{1101, true}, Case{-1100, false}, Case{-1101, true},
                         Case{60'000, true}}) {
        FakeClock clock(unixTime(1'000));
        const std::uint64_t first = readNs();
        clock.setSystemTime(unixTime(1'000) + static_cast<std::uint64_t>(c.systemMs * std::int64_t(kMs)));
        const std::int64_t moved = static_cast<std::int64_t>(readNs() - first) / 1'000'000;
        EXPECT_EQ(moved, c.followed ? c.systemMs : 0) << "system moved " << c.systemMs << " ms";
        if (!c.followed)
            continue;
        // From the new base the tick counts again.
        clock.advance(0, 7);
        EXPECT_EQ(static_cast<std::int64_t>(readNs() - first) / 1'000'000, moved + 7);
    }
}

TEST(TimeStampClock, FieldsSplitTheReading)
{
    // 2009-02-13 12:34:56.7891234 UTC, day 43 of the year.
    FakeClock clock(unixTime(1'234'528'496, 7'891'234));
    WallClockFields f{};
    ASSERT_TRUE(getWallClockFields(f));
    EXPECT_EQ((std::vector<int>{f.hours, f.minutes, f.seconds, f.dayOfMonth, f.month, f.yearsSince1900, f.dayOfYear}),
              (std::vector<int>{12, 34, 56, 13, 1, 109, 43}));
    EXPECT_EQ(f.milliseconds, 789u);
    EXPECT_EQ(f.microseconds, 123u);
    EXPECT_EQ(f.nanoseconds, 400u);
}

// The calendar arithmetic against the C library's gmtime_r, over leap days,
// century years and the whole range of the 32-bit seconds.
TEST(TimeStampClock, FieldsAgreeWithGmtime)
{
    std::vector<std::uint32_t> readings = {0, 86399, 86400, 951782400, 951868799, 951868800, 4107542399u,
                                           4107542400u, 0xFFFFFFFFu};
    std::mt19937 random(5);
    for (int i = 0; i < 2000; ++i)
        readings.push_back(static_cast<std::uint32_t>(random()));
    for (const std::uint32_t seconds : readings) {
        FakeClock clock(unixTime(seconds));
        WallClockFields f{};
        ASSERT_TRUE(getWallClockFields(f));
        const std::time_t time = seconds;
        std::tm expected{};
        gmtime_r(&time, &expected);
        EXPECT_EQ((std::vector<int>{f.seconds, f.minutes, f.hours, f.dayOfMonth, f.month, f.yearsSince1900, f.weekday,
                                    f.dayOfYear, f.daylightSaving}),
                  (std::vector<int>{expected.tm_sec, expected.tm_min, expected.tm_hour, expected.tm_mday,
                                    expected.tm_mon, expected.tm_year, expected.tm_wday, expected.tm_yday,
                                    expected.tm_isdst}))
            << seconds;
    }
}

TEST(TimeStampThreads, ConcurrentReadingsNeverGoBack)
{
    FakeClock clock(unixTime(1'000));
    std::atomic<bool> stop{false};
    std::atomic<int> backwards{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            std::uint64_t last = 0;
            while (!stop) {
                const std::uint64_t now = readNs();
                backwards += now < last ? 1 : 0;
                last = now;
            }
        });
    }
    for (int i = 0; i < 2000; ++i)
        clock.advance(kMs, 1);
    stop = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(backwards.load(), 0);
    EXPECT_EQ(readNs(), 1'002'000'000'000ULL);
}

// Sets TZ for the life of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ"))
            previous_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (previous_)
            setenv("TZ", previous_->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> previous_;
};

TEST(FormatTime, FormatsLocalTimeWithTheCLocale)
{
    {
        ScopedTimeZone zone("UTC0");
        EXPECT_EQ(formatTime(TimeStamp(0), u"%I:%M:%S %p"), u"12:00:00 AM");
        EXPECT_EQ(formatTime(TimeStamp(13 * 3600 + 5 * 60 + 9), u"%I:%M:%S %p"), u"01:05:09 PM");
    }
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_EQ(formatTime(TimeStamp(1'610'000'000), u"%H:%M %Z"), u"07:13 CET");   // 06:13 UTC
    EXPECT_EQ(formatTime(TimeStamp(1'625'000'000), u"%H:%M %Z"), u"22:53 CEST");  // 20:53 UTC
    EXPECT_TRUE(formatTime(TimeStamp(0), nullptr).isEmpty());
    EXPECT_TRUE(formatTime(TimeStamp(0), u"").isEmpty());
}

TEST(FormatTime, ResultsOf128UnitsOrMoreAreEmpty)
{
    ScopedTimeZone zone("UTC0");
    const std::u16string fits(127, u'x');
    EXPECT_EQ(formatTime(TimeStamp(0), fits.c_str()), fits.c_str());
    EXPECT_TRUE(formatTime(TimeStamp(0), (fits + u"x").c_str()).isEmpty());
    EXPECT_TRUE(formatTime(TimeStamp(0), (std::u16string(126, u'x') + u"%p").c_str()).isEmpty());
    // The limit counts UTF-16 units, not UTF-8 bytes.
    const std::u16string wide(127, u'\u6E2C');
    EXPECT_EQ(formatTime(TimeStamp(0), wide.c_str()), wide.c_str());
}

std::uint64_t g_fakeFreeMemory = 0;
std::uint64_t fakeFreeMemory()
{
    return g_fakeFreeMemory;
}

TEST(NamesTimesMemory, CheckComparesWithTheAvailableMemory)
{
    EXPECT_TRUE(checkFreeMemory(0));
    EXPECT_GT(getFreePhysicalMemory(), 0u);

    const FreeMemoryQuery previous = setFreeMemoryQuery(fakeFreeMemory);
    g_fakeFreeMemory = 1000;
    test::DiagCapture capture;
    EXPECT_TRUE(checkFreeMemory(1000));
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_FALSE(checkFreeMemory(1001));
    ASSERT_EQ(capture.lines().size(), 1u);
    EXPECT_EQ(capture.lines()[0], u"free mem: 1000, needed: 1001");

    // Figures beyond 32 bits compare in full and print clamped.
    g_fakeFreeMemory = 5'000'000'000ULL;
    capture.clear();
    EXPECT_TRUE(checkFreeMemory(4'999'999'999ULL));
    EXPECT_FALSE(checkFreeMemory(6'000'000'000ULL));
    EXPECT_EQ(capture.lines().at(0), u"free mem: 4294967295, needed: 4294967295");
    setFreeMemoryQuery(previous);
}

}  // namespace
}  // namespace druvex

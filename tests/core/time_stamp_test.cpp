#include "core/time_stamp.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <thread>
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
class FakeClock final : public ClockSource {
public:
    explicit FakeClock(std::uint64_t systemTime, std::uint32_t tick = 1000) : time_(systemTime), tick_(tick)
    {
        previous_ = setClockSource(this);
    }
    ~FakeClock() override { setClockSource(previous_); }

    std::uint64_t systemTime100ns() override { return time_.load(); }
    std::uint32_t tickMs() override { return tick_.load(); }

    void advance(std::uint64_t systemUnits, std::uint32_t tickMs)
    {
        time_ += systemUnits;
        tick_ += tickMs;
    }
    void setSystemTime(std::uint64_t time) { time_ = time; }

private:
    std::atomic<std::uint64_t> time_;
    std::atomic<std::uint32_t> tick_;
    ClockSource* previous_;
};

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

TEST(TimeStamp, HalvesMakeSignedSeconds)
{
    EXPECT_EQ(TimeStamp(0xFFFFFFFFu, 0xFFFFFFFFu).seconds, -1);
    EXPECT_EQ(TimeStamp(1u, 2u).seconds, 0x200000001LL);
    EXPECT_EQ(TimeStamp(5u, 0u).order, 0.0);
}

TEST(TimeStamp, OrdersBySecondsThenByTheTieBreaker)
{
    TimeStamp a(100);
    TimeStamp b(100);
    a.order = 0.25;
    b.order = 0.5;
    EXPECT_TRUE(a < b);
    EXPECT_TRUE(b > a);
    EXPECT_FALSE(b < a);
    EXPECT_FALSE(a < a);
    // Seconds decide before the tie-breaker, and compare signed.
    TimeStamp negative(0xFFFFFFFFu, 0xFFFFFFFFu);
    negative.order = 9.0;
    EXPECT_TRUE(negative < TimeStamp(0));
    EXPECT_TRUE(TimeStamp(0) > negative);
    a.clear();
    EXPECT_EQ(a.seconds, 0);
    EXPECT_EQ(a.order, 0.0);
}

TEST(TimeStamp, NowIsTheSystemTimeInWholeSeconds)
{
    FakeClock clock(unixTime(1'600'000'000, 9'999'999));
    const TimeStamp now = TimeStamp::now();
    EXPECT_EQ(now.seconds, 1'600'000'000);
    EXPECT_EQ(now.order, 0.0);
}

TEST(TimeStampClock, FirstReadingIsTheSystemTime)
{
    FakeClock clock(unixTime(1'000, 1'234'567));
    EXPECT_EQ(readNs(), 1'000'123'456'700ULL);
}

TEST(TimeStampClock, TicksAdvanceReadingsWhileTheSystemTimeStands)
{
    FakeClock clock(unixTime(1'000));
    const std::uint64_t first = readNs();
    clock.advance(0, 5);
    EXPECT_EQ(readNs() - first, 5'000'000u);
    clock.advance(0, 995);
    EXPECT_EQ(readNs() - first, 1'000'000'000u);
}

TEST(TimeStampClock, DriftOf1100MsIsToleratedAnd1101Followed)
{
    struct Case {
        std::int64_t systemMs;  // how far the system time moves while the tick stands
        bool followed;
    };
    for (const Case c : {Case{1100, false}, Case{1101, true}, Case{-1100, false}, Case{-1101, true}}) {
        FakeClock clock(unixTime(1'000));
        const std::uint64_t first = readNs();
        clock.setSystemTime(unixTime(1'000) + static_cast<std::uint64_t>(c.systemMs * std::int64_t(kMs)));
        const std::int64_t moved = static_cast<std::int64_t>(readNs() - first) / 1'000'000;
        EXPECT_EQ(moved, c.followed ? c.systemMs : 0) << "system moved " << c.systemMs << " ms";
    }
}

TEST(TimeStampClock, SettingTheSystemClockIsFollowedAtOnce)
{
    FakeClock clock(unixTime(1'000));
    readNs();
    clock.advance(60 * kSecond + 3 * kMs, 3);
    EXPECT_EQ(readNs(), 1'060'003'000'000ULL);
    // From the new base the tick counts again.
    clock.advance(0, 7);
    EXPECT_EQ(readNs(), 1'060'010'000'000ULL);
}

TEST(TimeStampClock, TickWrapCausesNoJump)
{
    FakeClock clock(unixTime(1'000), 0xFFFFFFF0u);
    const std::uint64_t first = readNs();
    clock.advance(32 * kMs, 32);
    EXPECT_EQ(readNs() - first, 32'000'000u);
}

TEST(TimeStampClock, FieldsSplitTheReading)
{
    // 2009-02-13 12:34:56.7891234 UTC, a Friday and day 43 of the year.
    FakeClock clock(unixTime(1'234'528'496, 7'891'234));
    WallClockFields fields{};
    ASSERT_TRUE(getWallClockFields(fields));
    EXPECT_EQ(fields.hours, 12);
    EXPECT_EQ(fields.minutes, 34);
    EXPECT_EQ(fields.seconds, 56);
    EXPECT_EQ(fields.dayOfMonth, 13);
    EXPECT_EQ(fields.month, 1);
    EXPECT_EQ(fields.yearsSince1900, 109);
    EXPECT_EQ(fields.weekday, 5);
    EXPECT_EQ(fields.dayOfYear, 43);
    EXPECT_EQ(fields.daylightSaving, 0);
    EXPECT_EQ(fields.milliseconds, 789u);
    EXPECT_EQ(fields.microseconds, 123u);
    EXPECT_EQ(fields.nanoseconds, 400u);
}

TEST(TimeStampThreads, ConcurrentReadingsNeverGoBack)
{
    FakeClock clock(unixTime(1'000));
    std::atomic<bool> stop{false};
    std::thread ticker([&] {
        for (int i = 0; i < 2000; ++i)
            clock.advance(kMs, 1);
        stop = true;
    });
    std::vector<std::thread> readers;
    std::atomic<int> backwards{0};
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&] {
            std::uint64_t last = 0;
            while (!stop) {
                const std::uint64_t now = readNs();
                if (now < last)
                    ++backwards;
                last = now;
            }
        });
    }
    ticker.join();
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
    ScopedTimeZone zone("UTC0");
    EXPECT_EQ(formatTime(TimeStamp(0), u"%I:%M:%S %p"), u"12:00:00 AM");
    EXPECT_EQ(formatTime(TimeStamp(13 * 3600 + 5 * 60 + 9), u"%I:%M:%S %p"), u"01:05:09 PM");
    EXPECT_EQ(formatTime(TimeStamp(86400 * 365), u"%Y-%m-%d %a"), u"1971-01-01 Fri");
}

TEST(FormatTime, FollowsTheTimeZoneAndSummerTime)
{
    ScopedTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    const TimeStamp winter(1'610'000'000);  // 2021-01-07 06:13:20 UTC
    const TimeStamp summer(1'625'000'000);  // 2021-06-29 20:53:20 UTC
    EXPECT_EQ(formatTime(winter, u"%H:%M %Z"), u"07:13 CET");
    EXPECT_EQ(formatTime(summer, u"%H:%M %Z"), u"22:53 CEST");
}

TEST(FormatTime, ResultsOf128UnitsOrMoreAreEmpty)
{
    ScopedTimeZone zone("UTC0");
    const std::u16string fits(127, u'x');
    const std::u16string tooLong(128, u'x');
    EXPECT_EQ(formatTime(TimeStamp(0), fits.c_str()), fits.c_str());
    EXPECT_TRUE(formatTime(TimeStamp(0), tooLong.c_str()).isEmpty());
    // The limit counts UTF-16 units, not UTF-8 bytes.
    const std::u16string wide(127, u'\u6E2C');
    EXPECT_EQ(formatTime(TimeStamp(0), wide.c_str()), wide.c_str());
    EXPECT_EQ(formatTime(TimeStamp(0), (std::u16string(126, u'x') + u"%p").c_str()).length(), 0);
}

TEST(FormatTime, NullOrEmptyPatternGivesEmpty)
{
    EXPECT_TRUE(formatTime(TimeStamp(0), nullptr).isEmpty());
    EXPECT_TRUE(formatTime(TimeStamp(0), u"").isEmpty());
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

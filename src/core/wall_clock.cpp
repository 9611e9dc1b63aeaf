#include "core/wall_clock.h"

#include <atomic>
#include <ctime>

#include "text/mutex.h"

namespace druvex {
namespace {

class HostClock final : public ClockSource {
public:
    std::uint64_t systemTime100ns() override
    {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        return static_cast<std::uint64_t>(now.tv_sec) * 10'000'000ULL +
               static_cast<std::uint64_t>(now.tv_nsec) / 100 + kUnixEpochIn100ns;
    }
    std::uint32_t tickMs() override
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000 +
                                 static_cast<std::uint64_t>(now.tv_nsec) / 1'000'000;
        return static_cast<std::uint32_t>(ms);
    }
};

// Never destroyed: threads still running at exit may read the clock.
HostClock& g_hostClock = *new HostClock;
std::atomic<ClockSource*> g_source{&g_hostClock};

// The pair that readings are measured from; replaced as a whole.
struct ClockBase {
    bool set = false;
    std::uint64_t time = 0;  // system time, 100-ns units since 1601
    std::uint32_t tick = 0;
};
Mutex g_baseMutex;
ClockBase g_base GUARDED_BY(g_baseMutex);

constexpr std::int64_t kRebaseThresholdMs = 1101;

}  // namespace

ClockSource& clockSource()
{
    return *g_source.load(std::memory_order_acquire);
}

std::uint32_t coarseTickMs()
{
    ClockSource& source = clockSource();
    if (&source != &g_hostClock)
        return source.tickMs();
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(now.tv_sec) * 1000 +
                                      static_cast<std::uint64_t>(now.tv_nsec) / 1'000'000);
}

ClockSource* setClockSource(ClockSource* source)
{
    MutexLock lock(g_baseMutex);
    ClockSource* previous = g_source.exchange(source ? source : &g_hostClock, std::memory_order_acq_rel);
    g_base = ClockBase{};
    return previous == &g_hostClock ? nullptr : previous;
}

bool getWallClock(WallClockTime& out)
{
    std::uint64_t time;
    {
        MutexLock lock(g_baseMutex);
        ClockSource& source = clockSource();
        const std::uint64_t now = source.systemTime100ns();
        const std::uint32_t tick = source.tickMs();
        if (!g_base.set)
            g_base = ClockBase{true, now, tick};
        // The system time may have been set back: its elapsed time is signed.
        const std::int64_t systemElapsedMs = static_cast<std::int64_t>(now - g_base.time) / 10'000;
        const std::uint32_t tickElapsedMs = tick - g_base.tick;
        const std::int64_t drift = systemElapsedMs - static_cast<std::int64_t>(tickElapsedMs);
        if (drift >= kRebaseThresholdMs || drift <= -kRebaseThresholdMs)
            g_base = ClockBase{true, now, tick};
        time = g_base.time + static_cast<std::uint64_t>(tick - g_base.tick) * 10'000;
    }
    const std::uint64_t sinceEpoch = time >= kUnixEpochIn100ns ? time - kUnixEpochIn100ns : 0;
    out.seconds = static_cast<std::uint32_t>(sinceEpoch / 10'000'000);
    out.nanoseconds = static_cast<std::uint32_t>(sinceEpoch % 10'000'000) * 100;
    return true;
}

bool getWallClockFields(WallClockFields& out)
{
    WallClockTime now{};
    getWallClock(now);
    // The calendar by arithmetic (days to civil date in the proleptic
    // Gregorian calendar): gmtime_r takes the C library's time-zone lock,
    // which every log line would contend for.
    const std::uint32_t days = now.seconds / 86400;
    const std::uint32_t secondOfDay = now.seconds % 86400;
    out.seconds = static_cast<int>(secondOfDay % 60);
    out.minutes = static_cast<int>(secondOfDay / 60 % 60);
    out.hours = static_cast<int>(secondOfDay / 3600);
    out.weekday = static_cast<int>((days + 4) % 7);  // 1970-01-01 was a Thursday
    const std::uint32_t shifted = days + 719468;       // days since 0000-03-01
    const std::uint32_t era = shifted / 146097;
    const std::uint32_t dayOfEra = shifted - era * 146097;
    const std::uint32_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::uint32_t dayOfMarchYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::uint32_t monthFromMarch = (5 * dayOfMarchYear + 2) / 153;
    const std::uint32_t dayOfMonth = dayOfMarchYear - (153 * monthFromMarch + 2) / 5 + 1;
    const std::uint32_t month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;  // 1 to 12
    const std::uint32_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    static constexpr int kDaysBeforeMonth[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    out.dayOfMonth = static_cast<int>(dayOfMonth);
    out.month = static_cast<int>(month - 1);
    out.yearsSince1900 = static_cast<int>(year) - 1900;
    out.dayOfYear = kDaysBeforeMonth[month - 1] + static_cast<int>(dayOfMonth) - 1 + (leap && month > 2 ? 1 : 0);
    out.daylightSaving = 0;
    out.nanoseconds = now.nanoseconds % 1000;
    out.microseconds = now.nanoseconds / 1000 % 1000;
    out.milliseconds = now.nanoseconds / 1'000'000;
    return true;
}

}  // namespace druvex

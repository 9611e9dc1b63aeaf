#include "core/wall_clock.h"

#include <atomic>
#include <ctime>
#include <mutex>

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
std::mutex g_baseMutex;
ClockBase g_base;

constexpr std::int64_t kRebaseThresholdMs = 1101;

}  // namespace

ClockSource& clockSource()
{
    return *g_source.load(std::memory_order_acquire);
}

ClockSource* setClockSource(ClockSource* source)
{
    std::lock_guard lock(g_baseMutex);
    ClockSource* previous = g_source.exchange(source ? source : &g_hostClock, std::memory_order_acq_rel);
    g_base = ClockBase{};
    return previous == &g_hostClock ? nullptr : previous;
}

bool getWallClock(WallClockTime& out)
{
    std::uint64_t time;
    {
        std::lock_guard lock(g_baseMutex);
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
    const std::time_t seconds = static_cast<std::time_t>(now.seconds);
    std::tm fields{};
    gmtime_r(&seconds, &fields);
    out.seconds = fields.tm_sec;
    out.minutes = fields.tm_min;
    out.hours = fields.tm_hour;
    out.dayOfMonth = fields.tm_mday;
    out.month = fields.tm_mon;
    out.yearsSince1900 = fields.tm_year;
    out.weekday = fields.tm_wday;
    out.dayOfYear = fields.tm_yday;
    out.daylightSaving = fields.tm_isdst;
    out.nanoseconds = now.nanoseconds % 1000;
    out.microseconds = now.nanoseconds / 1000 % 1000;
    out.milliseconds = now.nanoseconds / 1'000'000;
    return true;
}

}  // namespace druvex

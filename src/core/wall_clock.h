// The millisecond wall clock of the log: the coarse system time steadied by the
// fine tick counter, and the replaceable source of both (tests set a fake).
#pragma once

#include <cstdint>

namespace druvex {

// The device's two time sources.
class ClockSource {
public:
    virtual ~ClockSource() = default;
    // System time: 100-nanosecond units since 1601-01-01 00:00 UTC.
    virtual std::uint64_t systemTime100ns() = 0;
    // Milliseconds since boot; wraps after 2^32.
    virtual std::uint32_t tickMs() = 0;
};

// The current source: the host's clocks unless a test installed another.
ClockSource& clockSource();
// Installs `source` (null: the host's clocks again), returns the previous one
// (null for the host's) and forgets the wall clock's base, so the next reading
// starts afresh from the new source. Not to be called while other threads read
// the clock.
ClockSource* setClockSource(ClockSource* source);

// The tick count at the resolution of the system's timer (a few ms), for
// callers that only measure gaps of seconds and read it often (every log
// line): cheaper to read than tickMs. The installed source's tickMs when a
// test installed one.
std::uint32_t coarseTickMs();

// 100-ns units from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kUnixEpochIn100ns = 116444736000000000ULL;

struct WallClockTime {
    std::uint32_t seconds;      // since 1970-01-01 00:00 UTC
    std::uint32_t nanoseconds;  // within that second
};

// The UTC calendar fields of a wall-clock reading, in broken-down-time order,
// and its sub-second parts.
struct WallClockFields {
    int seconds;
    int minutes;
    int hours;
    int dayOfMonth;
    int month;            // 0 to 11
    int yearsSince1900;
    int weekday;          // 0 is Sunday
    int dayOfYear;        // 0 to 365
    int daylightSaving;   // always 0 in UTC
    std::uint32_t nanoseconds;   // within the microsecond, 0 to 999
    std::uint32_t microseconds;  // within the millisecond, 0 to 999
    std::uint32_t milliseconds;  // within the second, 0 to 999
};

// The current time. Between steps of the system time, readings advance with the
// tick counter; when the two disagree by 1,101 ms or more (the system time was
// set), the reading follows the system time at once. Safe from any thread.
// Always true.
bool getWallClock(WallClockTime& out);

// getWallClock, split into UTC calendar fields. True.
bool getWallClockFields(WallClockFields& out);

}  // namespace druvex

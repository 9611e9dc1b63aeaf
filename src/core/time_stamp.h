// TimeStamp, the time of files and bulletins (whole seconds since 1970 with a
// tie-breaker), and local-time formatting with a strftime-style pattern.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

struct TimeStamp {
    std::int64_t seconds = 0;  // since 1970-01-01 00:00 UTC
    double order = 0.0;        // orders two stamps with equal seconds

    TimeStamp() = default;
    explicit TimeStamp(std::int64_t secondsSince1970) : seconds(secondsSince1970) {}
    // The seconds from their two 32-bit halves.
    TimeStamp(std::uint32_t low, std::uint32_t high)
        : seconds(static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low))
    {
    }

    void clear()
    {
        seconds = 0;
        order = 0.0;
    }
    // The system time (clockSource()) in whole seconds.
    static TimeStamp now();

    friend bool operator<(const TimeStamp& a, const TimeStamp& b)
    {
        return a.seconds != b.seconds ? a.seconds < b.seconds : a.order < b.order;
    }
    friend bool operator>(const TimeStamp& a, const TimeStamp& b) { return b < a; }
};

// `time` in local time (the process's TZ) formatted with strftime's pattern
// rules in the "C" locale ("%p" is always AM or PM). Empty for a null pattern,
// a time that has no local form, or a result of 128 characters or more.
SharedString formatTime(const TimeStamp& time, const char16_t* pattern);

}  // namespace druvex

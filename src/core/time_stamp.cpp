#include "core/time_stamp.h"

#include <clocale>
#include <ctime>
#include <locale.h>
#include <string>

#include "core/wall_clock.h"

namespace druvex {
namespace {

// The device formats into 128 characters, terminator included.
constexpr int kFormatTimeUnits = 128;

locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

}  // namespace

TimeStamp TimeStamp::now()
{
    const std::uint64_t time = clockSource().systemTime100ns();
    const std::int64_t since1970 = static_cast<std::int64_t>(time - kUnixEpochIn100ns);
    // Whole seconds, rounded towards the past also before 1970.
    std::int64_t seconds = since1970 / 10'000'000;
    if (since1970 % 10'000'000 < 0)
        --seconds;
    return TimeStamp(seconds);
}

SharedString formatTime(const TimeStamp& time, const char16_t* pattern)
{
    if (!pattern)
        return SharedString();
    // Follow changes of TZ made after start-up (the device profile, tests).
    tzset();
    const std::time_t seconds = static_cast<std::time_t>(time.seconds);
    std::tm local{};
    if (!localtime_r(&seconds, &local))
        return SharedString();
    const SharedStringA narrowPattern = toUtf8(SharedString(pattern));
    if (narrowPattern.isEmpty())
        return SharedString();
    // A result that fits 127 UTF-16 units takes at most 3 bytes per unit.
    char buffer[kFormatTimeUnits * 3 + 1];
    const std::size_t bytes = strftime_l(buffer, sizeof buffer, narrowPattern.c_str(), &local, cLocale());
    if (bytes == 0)
        return SharedString();
    SharedString result = fromUtf8(std::string_view(buffer, bytes));
    if (result.length() >= kFormatTimeUnits)
        return SharedString();
    return result;
}

}  // namespace druvex

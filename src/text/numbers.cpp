#include "text/numbers.h"

#include <charconv>
#include <cfloat>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

#include "text/char_class.h"

namespace druvex {
namespace {

bool isDigit(char16_t ch)
{
    return ch >= u'0' && ch <= u'9';
}

// [white space][sign]digits, the rest ignored. The magnitude saturates past
// the 64-bit range and `overflow` says so.
struct IntegerScan {
    bool found = false;
    bool negative = false;
    bool overflow = false;
    std::uint64_t magnitude = 0;
};

IntegerScan scanInteger(const char16_t* text)
{
    IntegerScan scan;
    if (!text)
        return scan;
    const char16_t* p = text;
    while (isSpaceChar(*p))
        ++p;
    if (*p == u'+' || *p == u'-')
        scan.negative = *p++ == u'-';
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    for (; isDigit(*p); ++p) {
        scan.found = true;
        const unsigned digit = static_cast<unsigned>(*p - u'0');
        if (scan.magnitude > (kMax - digit) / 10)
            scan.overflow = true;
        else
            scan.magnitude = scan.magnitude * 10 + digit;
    }
    return scan;
}

// Signed result of a scan when it fits in [-(limit + 1), limit].
template <typename T>
bool signedFromScan(const IntegerScan& scan, T& out)
{
    out = 0;
    constexpr auto kLimit = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
    if (!scan.found || scan.overflow || scan.magnitude > kLimit + (scan.negative ? 1 : 0))
        return false;
    if (scan.negative)
        out = static_cast<T>(-static_cast<T>(scan.magnitude - 1) - 1);
    else
        out = static_cast<T>(scan.magnitude);
    return true;
}

template <typename T>
SharedString integerText(T value)
{
    char narrow[24];
    const auto end = std::to_chars(narrow, narrow + sizeof narrow, value).ptr;
    char16_t wide[24];
    const int length = static_cast<int>(end - narrow);
    for (int i = 0; i < length; ++i)
        wide[i] = static_cast<char16_t>(narrow[i]);
    return SharedString::fromBuffer(wide, length);
}

// The ASCII form of a decimal number that the text consists of (after
// trailing white space), or empty when it is not one.
std::string decimalNumber(std::u16string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && isSpaceChar(text[i]))
        ++i;
    std::string ascii;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-')
            ascii.push_back('-');
        ++i;
    }
    std::size_t digits = 0;
    auto takeDigits = [&] {
        for (; i < text.size() && isDigit(text[i]); ++i, ++digits)
            ascii.push_back(static_cast<char>(text[i]));
    };
    takeDigits();
    if (i < text.size() && text[i] == u'.') {
        ascii.push_back('.');
        ++i;
        takeDigits();
    }
    if (digits == 0)
        return {};
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        ascii.push_back('e');
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
            ascii.push_back(static_cast<char>(text[i++]));
        const std::size_t before = digits;
        takeDigits();
        if (digits == before)
            return {};
    }
    return i == text.size() ? ascii : std::string();
}

}  // namespace

bool parseInt(const char16_t* text, int& out)
{
    return signedFromScan(scanInteger(text), out);
}

bool parseInt64(const char16_t* text, std::int64_t& out)
{
    return signedFromScan(scanInteger(text), out);
}

bool parseUInt(const char16_t* text, unsigned& out)
{
    out = 0;
    const IntegerScan scan = scanInteger(text);
    if (!scan.found || scan.overflow || scan.magnitude > std::numeric_limits<unsigned>::max())
        return false;
    const auto magnitude = static_cast<unsigned>(scan.magnitude);
    out = scan.negative ? 0u - magnitude : magnitude;
    return true;
}

bool parseDouble(const char16_t* text, double& out)
{
    out = 0.0;
    if (!text)
        return false;
    std::u16string number(text);
    while (!number.empty() && isSpaceChar(number.back()))
        number.pop_back();
    if (number.empty())
        return false;
    // Devices set to a comma locale hand over "3,25".
    if (const auto comma = number.find(u','); comma != std::u16string::npos)
        number[comma] = u'.';
    const std::string ascii = decimalNumber(number);
    if (ascii.empty())
        return false;
    double value = 0.0;
    const auto [end, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (error != std::errc() || end != ascii.data() + ascii.size())
        return false;
    out = value;
    return true;
}

SharedString intToText(int value)
{
    return integerText(value);
}

SharedString uintToText(unsigned value)
{
    return integerText(value);
}

SharedString int64ToText(std::int64_t value)
{
    return integerText(value);
}

SharedString doubleToText(double value)
{
    if (value == DBL_MAX)
        return SharedString();
    // Wide enough for any finite double with 12 decimals.
    char narrow[DBL_MAX_10_EXP + 20];
    const auto [end, error] = std::to_chars(narrow, narrow + sizeof narrow, value, std::chars_format::fixed, 12);
    if (error != std::errc())
        return SharedString();
    std::string_view text(narrow, static_cast<std::size_t>(end - narrow));
    if (text.find('.') != std::string_view::npos) {
        while (text.back() == '0')
            text.remove_suffix(1);
        if (text.back() == '.')
            text.remove_suffix(1);
    }
    char16_t wide[sizeof narrow];
    for (std::size_t i = 0; i < text.size(); ++i)
        wide[i] = static_cast<char16_t>(text[i]);
    return SharedString::fromBuffer(wide, static_cast<int>(text.size()));
}

}  // namespace druvex

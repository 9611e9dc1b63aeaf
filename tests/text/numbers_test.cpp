// Numbers to text and back.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstdint>
#include <string>

#include "text/numbers.h"

namespace druvex {
namespace {

template <typename T>
struct ScanCase {
    const char16_t* text;
    bool ok;
    T value;
};

// Each text scans to its answer; a refused one leaves the value zero.
template <typename T, std::size_t N>
void expectScans(bool (*parse)(const char16_t*, T&), const ScanCase<T> (&cases)[N], T before)
{
    for (const auto& c : cases) {
        T value = before;
        EXPECT_EQ(parse(c.text, value), c.ok) << (c.text ? std::u16string(c.text).size() : 99);
        EXPECT_EQ(value, c.value) << (c.text ? std::u16string(c.text).size() : 99);
    }
}

TEST(NumbersParse, IntUIntInt64AndDouble)
{
    const ScanCase<int> ints[] = {
        {u"12abc", true, 12}, {u" \t-7", true, -7}, {u"\u00A0+8", true, 8},
        {u"2147483647", true, INT_MAX}, {u"-2147483648", true, INT_MIN}, {u"0012", true, 12},
        {u"2147483648", false, 0}, {u"-2147483649", false, 0}, {u"99999999999999999999999", false, 0},
        {u"abc", false, 0}, {u"-", false, 0}, {u"- 1", false, 0},
        {u"", false, 0}, {nullptr, false, 0},
    };
    expectScans(parseInt, ints, 12345);
    const ScanCase<unsigned> unsignedCases[] = {
        {u"4294967295", true, 4294967295u}, {u"4294967296", false, 0}, {u"x", false, 0},
        {u"-1", true, 4294967295u},  // "%u" takes a sign, as in C
    };
    expectScans(parseUInt, unsignedCases, 7u);
    const ScanCase<std::int64_t> wideCases[] = {
        {u"-9223372036854775808", true, INT64_MIN}, {u"9223372036854775807x", true, INT64_MAX},
        {u"9223372036854775808", false, 0}, {u"18446744073709551616", false, 0}, {u" 42", true, 42},
    };
    expectScans(parseInt64, wideCases, std::int64_t{7});
    const ScanCase<double> doubles[] = {
        {u"3,25 ", true, 3.25}, {u"3.25", true, 3.25}, {u"  -1.5e3", true, -1500.0},
        {u"+.5", true, 0.5}, {u"7", true, 7.0}, {u"2E-2\t", true, 0.02},
        {u"3.2x", false, 0.0}, {u"1,5,3", false, 0.0}, {u"1.5.3", false, 0.0},
        {u"1e", false, 0.0}, {u"1e+", false, 0.0}, {u".", false, 0.0},
        {u"", false, 0.0}, {u"   ", false, 0.0}, {u"inf", false, 0.0},
        {u"nan", false, 0.0}, {u"0x10", false, 0.0}, {u"1e400", false, 0.0},
        {nullptr, false, 0.0},
    };
    expectScans(parseDouble, doubles, 9.0);
}

TEST(NumbersText, IntegersAndDoubles)
{
    EXPECT_EQ(intToText(INT_MIN).view(), u"-2147483648");
    EXPECT_EQ(intToText(0).view(), u"0");
    EXPECT_EQ(uintToText(4294967295u).view(), u"4294967295");
    EXPECT_EQ(int64ToText(INT64_MIN).view(), u"-9223372036854775808");

    struct Case {
        double value;
        const char16_t* text;
    };
    const Case cases[] = {
        {0.0, u"0"}, {10.0, u"10"}, {100.0, u"100"}, {-0.125, u"-0.125"}, {1.5, u"1.5"}, {2.0, u"2"},
        {0.1234567890126, u"0.123456789013"}, {123456789.25, u"123456789.25"}, {DBL_MAX, u""}, {1e-13, u"0"},
        {-1e-13, u"-0"},  // "%.12lf" keeps the sign of a value that rounds to zero
    };
    for (const auto& c : cases)
        EXPECT_EQ(doubleToText(c.value).view(), c.text) << c.value;
    EXPECT_EQ(doubleToText(-DBL_MAX).length(), 1 + 309);  // sign and 309 digits, no decimals left
}

}  // namespace
}  // namespace druvex

// The printf engine: the device's conversion rules for both format widths,
// refused and mismatched conversions, and the size rules of SharedString::format.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "text/shared_string.h"
#include "text/text_convert.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

template <class... Args>
SharedString wide(const char16_t* pattern, const Args&... args)
{
    SharedString result;
    result.format(pattern, args...);
    return result;
}

template <class... Args>
SharedStringA narrow(const char* pattern, const Args&... args)
{
    SharedStringA result;
    result.format(pattern, args...);
    return result;
}

// Each width takes its own text as %s and the other's as %ls/%S or %hs.
TEST(FormatRules, BothWidthsTakeTheirTextsAndDeviceIntegers)
{
    test::DiagCapture diag;
    EXPECT_EQ(wide(u"%s|%ls|%hs|%d|%u|%08x|%X|%02d|%I64d|%.*f", u"abc", SharedString(u"abc"), "nar", -5, -1, 255,
                   255, 7, INT64_MIN, 2, 1.5),
              u"abc|abc|nar|-5|4294967295|000000ff|FF|07|-9223372036854775808|1.50");
    EXPECT_EQ(narrow("%s|%ls|%hs|%d|%u|%08x|%X|%02d|%I64d|%.*f", "abc", SharedString(u"abc"), SharedStringA("nar"),
                     -5, -1, 255, 255, 7, INT64_MIN, 2, 1.5),
              "abc|abc|nar|-5|4294967295|000000ff|FF|07|-9223372036854775808|1.50");
    EXPECT_EQ(narrow("%S|%ws|%hS", u"wide", u"w", "n"), "wide|w|n");
    EXPECT_EQ(diag.dbgChkCount(), 0);
}

struct WideCase {
    const char16_t* pattern;
    std::vector<FormatArg> args;
    std::u16string_view expected;
};

enum class Colour { kRed = 3 };

// Each case formats exactly, with no report.
void expectFormats(std::span<const WideCase> cases)
{
    test::DiagCapture diag;
    for (const WideCase& c : cases) {
        SharedString result;
        result.formatV(c.pattern, c.args);
        EXPECT_EQ(result.view(), c.expected) << testing::PrintToString(SharedString(c.pattern));
    }
    EXPECT_EQ(diag.dbgChkCount(), 0);
}

TEST(FormatRules, Integers)
{
    const WideCase cases[] = {
        {u"%u|%x|%o", {-1, -1, 8}, u"4294967295|ffffffff|10"},
        {u"%d|%ld|%I32d", {std::int64_t{0x100000005}, std::int64_t{-4294967297}, 4294967295u}, u"5|-1|-1"},
        {u"%lld|%I64u|%llx", {std::int64_t{0x100000005}, -1, std::uint64_t{0xABCDEF0123}},
         u"4294967301|18446744073709551615|abcdef0123"},
        {u"%hd|%hu|%hhd", {70000, -1, 200}, u"4464|65535|-56"},
        {u"%i|%+d|% d|%-5d|%5d|%05d|%.3d", {7, 7, 7, 7, 7, -42, 7}, u"7|+7| 7|7    |    7|-0042|007"},
        {u"%#x|%#o|%#X", {255, 8, 255}, u"0xff|010|0XFF"},
        {u"%*d|%-*d|%*d", {4, 1, 3, 2, -3, 5}, u"   1|2  |5  "},
        {u"%.*d|%.*d", {3, 5, -1, 5}, u"005|5"},
        {u"%u|%d|%d|%u", {std::uint8_t{200}, short{-3}, long{-4}, std::size_t{7}}, u"200|-3|-4|7"},
        {u"%d|%d|%c", {Colour::kRed, u'A', 66}, u"3|65|B"},
    };
    expectFormats(cases);
}

// Integers against the C library's printf over flags, widths and extremes
// (the engine converts the common ones itself).
TEST(FormatRules, IntegersAgreeWithTheCLibrary)
{
    test::DiagCapture diag;
    const long long values[] = {0, 1, -1, 42, -42, INT_MAX, INT_MIN, LLONG_MAX, LLONG_MIN, 0xABCDEF};
    for (const char* flags : {"", "-", "0", "-0"}) {
        for (const char* width : {"", "1", "5", "21"}) {
            for (const char conversion : {'d', 'i', 'u', 'x', 'X'}) {
                for (const long long value : values) {
                    const std::string pattern = std::string("%") + flags + width + "ll" + conversion;
                    char expected[64];
                    std::snprintf(expected, sizeof expected, pattern.c_str(), value);
                    EXPECT_EQ(narrow(pattern.c_str(), std::int64_t{value}).view(), std::string_view(expected))
                        << pattern << " " << value;
                    const std::string narrowPattern = std::string("%") + flags + width + conversion;
                    std::snprintf(expected, sizeof expected, narrowPattern.c_str(), static_cast<int>(value));
                    EXPECT_EQ(narrow(narrowPattern.c_str(), static_cast<int>(value)).view(), std::string_view(expected))
                        << narrowPattern << " " << value;
                }
            }
        }
    }
    EXPECT_EQ(diag.dbgChkCount(), 0);
}

TEST(FormatRules, FloatingPoint)
{
    const WideCase cases[] = {
        {u"%.12lf|%f|%.0f", {1.5, 0.25, 2.5}, u"1.500000000000|0.250000|2"},
        {u"%e|%.2E|%g|%G", {1500.0, 0.00015, 0.0001, 1e20}, u"1.500000e+03|1.50E-04|0.0001|1E+20"},
        {u"%10.3f|%-8.2f|%+.1f|%08.2f", {3.14159, 2.5, 1.0, -1.5}, u"     3.142|2.50    |+1.0|-0001.50"},
        {u"%f|%Lf", {1.5f, 2.0}, u"1.500000|2.000000"},
    };
    expectFormats(cases);
}

TEST(FormatRules, TextsAndCharacters)
{
    static const SharedString shared(u"shared");
    static const SharedString withZero(std::u16string_view(u"ab\0cd", 5));
    static const char unterminated[3] = {'x', 'y', 'z'};
    const WideCase cases[] = {
        {u"[%5s][%-5s][%.2s][%05s]", {u"ab", u"ab", u"abc", u"ab"}, u"[   ab][ab   ][ab][000ab]"},
        {u"[%*s][%.*s]", {-4, u"ab", 1, u"xyz"}, u"[ab  ][x]"},
        {u"[%s][%hs][%S]", {static_cast<const char16_t*>(nullptr), static_cast<const char*>(nullptr), nullptr},
         u"[(null)][(null)][(null)]"},
        {u"[%s][%s]", {shared, withZero}, u"[shared][ab]"},
        {u"[%s][%hs]", {std::u16string_view(u"a\0b", 3), std::string_view("cd")}, std::u16string_view(u"[a\0b][cd]", 9)},
        {u"[%.3hs]", {unterminated}, u"[xyz]"},
        {u"[%hs][%S]", {"\xE9t\xE9", "\x80"}, u"[\u00E9t\u00E9][\u20AC]"},
        {u"[%c][%c][%hc][%C][%3c][%-3c]", {u'x', 'y', '\xE9', '\x80', u'r', u'l'}, u"[x][y][\u00E9][\u20AC][  r][l  ]"},
        {u"%% %5%", {}, u"% %"},
    };
    expectFormats(cases);
}

TEST(FormatRules, NarrowFormatConvertsWideTextWithTheAnsiCodePage)
{
    test::DiagCapture diag;
    EXPECT_EQ(narrow("[%ls][%S][%lc][%C][%c]", u"\u00E9\u20AC", SharedString(u"\u4E00"), u'\u00FC', u'\u20AC', 'c'),
              "[\xE9\x80][?][\xFC][\x80][c]");
    EXPECT_EQ(narrow("[%5.1ls]", u"\u00E9\u00E9"), "[    \xE9]");
    EXPECT_EQ(diag.dbgChkCount(), 0);
}

TEST(FormatRules, PointersAreUpperCaseHexOfFullWidth)
{
    const void* pointer = reinterpret_cast<const void*>(std::uintptr_t{0xDEADBEEF});
    EXPECT_EQ(wide(u"%p", pointer), u"00000000DEADBEEF");
    EXPECT_EQ(wide(u"%p|%20p|", nullptr, pointer), u"0000000000000000|    00000000DEADBEEF|");
    EXPECT_EQ(narrow("%p", static_cast<const char*>(nullptr)), "0000000000000000");
}

TEST(FormatRules, FormattingAStringIntoItself)
{
    SharedString text(u"ab");
    text.format(u"%s-%s", text, text);
    EXPECT_EQ(text, u"ab-ab");
}

TEST(FormatRefused, MismatchesAndMissingArgumentsPrintNothing)
{
    struct Case {
        const char16_t* pattern;
        std::vector<FormatArg> args;
        const char16_t* expected;
    };
    int written = 0;
    const Case cases[] = {
        {u"[%d]", {u"text"}, u"[]"},
        {u"[%s]", {42}, u"[]"},
        {u"[%s]", {"narrow"}, u"[]"},
        {u"[%hs]", {u"wide"}, u"[]"},
        {u"[%f]", {2}, u"[]"},
        {u"[%c]", {1.0}, u"[]"},
        {u"[%p]", {7}, u"[]"},
        {u"[%s][%d]", {u"a"}, u"[a][]"},
        {u"[%*d]", {u"w", 5}, u"[]"},
        {u"a%nb", {&written}, u"ab"},
        {u"a%kb", {}, u"ab"},
        {u"tail%", {}, u"tail"},
        {u"tail%-5", {}, u"tail"},
        {u"[%d][%d]", {1.5, 2}, u"[][2]"},
        {u"[%s]", {reinterpret_cast<const char16_t*>(std::uintptr_t{0x123})}, u"[]"},  // a resource id is no text
    };
    for (const Case& c : cases) {
        test::DiagCapture diag;
        SharedString result;
        result.formatV(c.pattern, c.args);
        EXPECT_EQ(result, c.expected) << testing::PrintToString(SharedString(c.pattern));
        EXPECT_EQ(diag.dbgChkCount(), 1) << testing::PrintToString(SharedString(c.pattern));
    }
    EXPECT_EQ(written, 0);
}

// ---- Size rules ------------------------------------------------------------------------

TEST(FormatSize, ResultsUpToTheLimitComeOutWhole)
{
    for (std::size_t size : {0u, 1u, 2047u, 2048u, 2049u, 8192u, 8193u, 32769u, 131071u, 131072u}) {
        const std::u16string text(size, u'w');
        SharedString result(u"previous");
        result.format(u"%s", text);
        EXPECT_EQ(result.length(), static_cast<int>(size));
        EXPECT_EQ(result.view(), text);

        const std::string bytes(size, 'n');
        SharedStringA narrowResult;
        narrowResult.format("%s", bytes);
        EXPECT_EQ(narrowResult.length(), static_cast<int>(size));
    }
}

TEST(FormatSize, LongerResultsAreCutAtTheLimitAndEndAtTheirFirstZero)
{
    const std::u16string text(200000, u'x');
    SharedString result;
    result.format(u"<%s>", text);
    ASSERT_EQ(result.length(), 131072);
    EXPECT_EQ(result[0], u'<');
    EXPECT_EQ(result[131071], u'x');

    result.format(u"%200000d|", 5);
    EXPECT_EQ(result.length(), 131072);
    EXPECT_EQ(result.view().find_first_not_of(u' '), std::u16string_view::npos);

    result.format(u"%-*d|", INT_MAX, 5);
    EXPECT_EQ(result.length(), 131072);
    EXPECT_EQ(result[0], u'5');

    SharedStringA narrowResult;
    narrowResult.format("%.300000f", 1.0);
    EXPECT_EQ(narrowResult.length(), 131072);
    EXPECT_EQ(narrowResult.view().substr(0, 4), "1.00");

    // A cut result ends at its first zero.
    result.format(u"ab%c%s", 0, text);
    EXPECT_EQ(result, u"ab");
    // Not cut: an embedded zero stays.
    result.format(u"a%cb", 0);
    EXPECT_EQ(result.view(), std::u16string_view(u"a\0b", 3));
}

}  // namespace
}  // namespace druvex

// "{n}" placeholder formatting.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/placeholders.h"

namespace druvex {
namespace {

struct PlaceholderCase {
    std::u16string pattern;
    std::vector<std::u16string> args;
    std::u16string expected;
};

std::u16string fill(const std::u16string& pattern, const std::vector<std::u16string>& args)
{
    std::vector<PlaceholderText> list(args.begin(), args.end());
    SharedString result(u"previous");
    formatPlaceholders(result, pattern, list);
    return std::u16string(result.view());
}

TEST(PlaceholderFormat, Table)
{
    const PlaceholderCase cases[] = {
        {u"Hello {1}, {2}!", {u"A", u"B"}, u"Hello A, B!"}, {u"{2}{1}", {u"x", u"y"}, u"yx"},
        {u"{1}{1}", {u"ab"}, u"abab"}, {u"{{1}", {u"x"}, u"{1}"}, {u"a{{b", {}, u"a{b"}, {u"a}b", {}, u"a}b"},
        {u"no placeholders", {}, u"no placeholders"}, {u"", {u"x"}, u""}, {u"{+1}", {u"A"}, u"A"},
        {u"{01}", {u"A"}, u"A"},
        {u"{1x}", {u"A"}, u"A"},        // reading stops at the first non-digit
        {u"{ 2}", {u"A", u"B"}, u"B"},  // leading blanks accepted
        {u"abc{1", {u"A"}, u"abc"},     // open at the end: dropped
        {u"{1}{2", {u"A", u"B"}, u"A"},
        // An argument is never rescanned.
        {u"[{1}]", {u"{1}{2}{{"}, u"[{1}{2}{{]"},
        // Anything wrong empties the whole result.
        {u"x{}y", {u"A"}, u""}, {u"x{0}y", {u"A"}, u""}, {u"x{3}y", {u"A", u"B"}, u""}, {u"x{-1}y", {u"A"}, u""},
        {u"x{y}z", {u"A"}, u""}, {u"ok {1} then {9}", {u"A"}, u""}, {u"{99999999999999999999999}", {u"A"}, u""},
        {u"{4294967297}", {u"A"}, u""},  // would wrap to 1 in 32 bits
    };
    for (const auto& c : cases)
        EXPECT_EQ(fill(c.pattern, c.args), c.expected) << std::string(c.pattern.begin(), c.pattern.end());
}

TEST(PlaceholderFormat, AHundredArgumentsWorkAHundredAndOneDoNot)
{
    std::vector<std::u16string> args;
    for (int i = 1; i <= 101; ++i)
        args.push_back(u"<" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) + u">");
    std::vector<std::u16string> hundred(args.begin(), args.begin() + 100);
    EXPECT_EQ(fill(u"{1}{100}", hundred), u"<1><0>");
    EXPECT_EQ(fill(u"{101}", hundred), u"");
    EXPECT_EQ(fill(u"plain", args), u"");
    EXPECT_EQ(fill(u"{1}", args), u"");
}

TEST(PlaceholderFormat, CountedForms)
{
    SharedString result;
    formatPlaceholders(result, u"{1}-{2}-{3}", 3, u"a", SharedString(u"b"), std::u16string(u"c"));
    EXPECT_EQ(result.view(), u"a-b-c");
    // A null text is empty.
    formatPlaceholders(result, u"[{1}]", 1, static_cast<const char16_t*>(nullptr));
    EXPECT_EQ(result.view(), u"[]");
    // The count limits the arguments; one beyond the texts given is out of range.
    formatPlaceholders(result, u"{2}", 1, u"a", u"b");
    EXPECT_EQ(result.view(), u"");
    formatPlaceholders(result, u"{2}", 5, u"a");
    EXPECT_EQ(result.view(), u"");
    formatPlaceholders(result, u"x", 101);
    EXPECT_EQ(result.view(), u"");
    formatPlaceholders(result, static_cast<const char16_t*>(nullptr), 0);
    EXPECT_EQ(result.view(), u"");

    formatPlaceholders1(result, u"File {1} not found", u"a.txt");
    EXPECT_EQ(result.view(), u"File a.txt not found");
    formatPlaceholders2(result, u"{2} of {1}", u"10", u"3");
    EXPECT_EQ(result.view(), u"3 of 10");
    EXPECT_EQ(formatPlaceholders(u"{1} of {2}", {u"3", SharedString(u"10")}).view(), u"3 of 10");
}

TEST(PlaceholderFormat, ResultMayBeThePatternOrAnArgument)
{
    SharedString text(u"<{1}>");
    formatPlaceholders1(text, text, text);
    EXPECT_EQ(text.view(), u"<<{1}>>");
}

}  // namespace
}  // namespace druvex

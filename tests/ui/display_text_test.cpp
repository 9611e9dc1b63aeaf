// Text on the terminal: columns per character and wrapping by columns.
#include "ui/display_text.h"

#include <gtest/gtest.h>

#include "ui/canvas.h"

namespace druvex {
namespace {

TEST(DisplayText, EachCharacterTakesItsColumns)
{
    const std::pair<char32_t, int> cases[] = {
        {U'a', 1},      {U'\u00E4', 1}, {U'\u0301', 0},  // a combining acute accent
        {U'\t', 0},     {U'\u007F', 0}, {U'\u6B21', 2},  // a CJK ideograph
        {U'\uAC00', 2}, {U'\uFF21', 2},                  // Hangul, a fullwidth letter
        {U'\u200B', 0}, {U'\U0001F600', 2}, {U'\U00020000', 2}, {U'\u0410', 1},
    };
    for (const auto& [ch, columns] : cases)
        EXPECT_EQ(charColumns(ch), columns) << std::hex << static_cast<unsigned>(ch);
    EXPECT_EQ(textColumns(U"\u6B21\u3078 >"), 6);
    EXPECT_EQ(fitColumns(U"ab\u6B21c", 3), U"ab");
}

TEST(DisplayText, UnpairedSurrogatesBecomeReplacementCharacters)
{
    EXPECT_EQ(toCodePoints(u"a\U0001F600b"), U"a\U0001F600b");
    EXPECT_EQ(toCodePoints(std::u16string(u"a\xD800" u"b")), U"a\uFFFDb");
    EXPECT_EQ(fromCodePoints(U"x\U0001F600"), u"x\U0001F600");
}

TEST(DisplayText, WrapsBetweenWordsByColumns)
{
    struct Case {
        std::u16string text;
        int columns;
        std::vector<std::u32string> lines;
    };
    const Case cases[] = {
        {u"", 10, {}},
        {u"one two three", 7, {U"one two", U"three"}},
        {u"one two three", 8, {U"one two", U"three"}},
        {u"one  two", 4, {U"one", U"two"}},
        {u"first\r\nsecond\n\nfourth", 20, {U"first", U"second", U"", U"fourth"}},
        {u"abcdefghij", 4, {U"abcd", U"efgh", U"ij"}},
        {u"ab abcdefghij", 4, {U"ab", U"abcd", U"efgh", U"ij"}},
        // Wide characters count two columns each.
        {u"\u6B21\u3078\u6B21\u3078 x", 5, {U"\u6B21\u3078", U"\u6B21\u3078", U"x"}},
        {u"\\Program Files\\Druvex\\orv.ini already", 22, {U"\\Program", U"Files\\Druvex\\orv.ini", U"already"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(wrapText(c.text, c.columns), c.lines) << std::string(c.text.begin(), c.text.end());
}

TEST(DisplayText, TheCanvasNeverSplitsAWideCharacter)
{
    Canvas canvas(2, 5);
    EXPECT_EQ(canvas.text(0, 0, std::u16string_view(u"ab\u6B21\u3078")), 4);
    EXPECT_EQ(canvas.rowText(0), "ab\xE6\xAC\xA1");
    EXPECT_EQ(canvas.at(0, 3).ch, 0u);  // the second half of the ideograph
    canvas.frame(Rect{0, 0, 2, 5});
    EXPECT_EQ(canvas.screenText(), "+---+\n+---+\n");
}

}  // namespace
}  // namespace druvex

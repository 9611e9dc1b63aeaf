// Code pages: our 1252 table against the C library's iconv, the ANSI code page
// switch, substitution towards code pages, and other code pages via iconv.
#include <gtest/gtest.h>

#include <string>

#include "core/text/text_convert.h"
#include "support/diag_capture.h"
#include "support/external_tool.h"

namespace druvex {
namespace {

using test::Bytes;
using test::DiagCapture;

class AnsiCodePageGuard {
public:
    explicit AnsiCodePageGuard(unsigned codePage) : previous_(ansiCodePage()) { setAnsiCodePage(codePage); }
    ~AnsiCodePageGuard() { setAnsiCodePage(previous_); }

private:
    unsigned previous_;
};

std::u16string toWide(std::string_view narrow, unsigned codePage)
{
    const int size = countWideChars(narrow.data(), static_cast<int>(narrow.size()), codePage);
    if (size < 0)
        return u"<invalid>";
    std::u16string out(static_cast<std::size_t>(size), u'\0');
    EXPECT_EQ(narrowToWide(out.data(), size, narrow.data(), static_cast<int>(narrow.size()), codePage), size);
    return out;
}

std::string toNarrow(std::u16string_view wide, unsigned codePage)
{
    const int size = countNarrowChars(wide.data(), static_cast<int>(wide.size()), codePage);
    if (size < 0)
        return "<invalid>";
    std::string out(static_cast<std::size_t>(size), '\0');
    EXPECT_EQ(wideToNarrow(out.data(), size, wide.data(), static_cast<int>(wide.size()), codePage), size);
    return out;
}

bool isUndefinedIn1252(int byte)
{
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

TEST(CodePage1252, AgreesWithIconvOnEveryDefinedByte)
{
    if (!test::haveTool("iconv"))
        GTEST_SKIP() << "iconv not installed";
    std::string narrow;
    for (int byte = 1; byte < 256; ++byte)
        if (!isUndefinedIn1252(byte))
            narrow.push_back(static_cast<char>(byte));
    const auto result = test::runTool("iconv -f CP1252 -t UTF-16LE", Bytes(narrow.begin(), narrow.end()));
    ASSERT_EQ(result.exitCode, 0);
    ASSERT_EQ(result.output.size(), narrow.size() * 2);
    std::u16string expected;
    for (std::size_t i = 0; i < result.output.size(); i += 2)
        expected.push_back(static_cast<char16_t>(result.output[i] | (result.output[i + 1] << 8)));

    EXPECT_EQ(toWide(narrow, 1252), expected);
    EXPECT_EQ(toNarrow(expected, 1252), narrow);
}

TEST(CodePage1252, UndefinedBytesMapToThemselvesAndEveryByteRoundTrips)
{
    for (int byte : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(toWide(std::string(1, static_cast<char>(byte)), 1252), std::u16string(1, static_cast<char16_t>(byte)));
    std::string all;
    for (int byte = 1; byte < 256; ++byte)
        all.push_back(static_cast<char>(byte));
    EXPECT_EQ(toNarrow(toWide(all, 1252), 1252), all);
    EXPECT_EQ(toWide("\x80\xE9", 1252), u"\u20AC\u00E9");
}

TEST(CodePage1252, UnmappedCharactersBecomeOneQuestionMarkPerCodePoint)
{
    EXPECT_EQ(toNarrow(u"a\u4E2Db", 1252), "a?b");
    EXPECT_EQ(toNarrow(u"\xD83D\xDE00", 1252), "?");  // one pair, one mark
    EXPECT_EQ(toNarrow(u"\xDE00x\xD83D", 1252), "?x?");  // lone surrogates
    EXPECT_EQ(toNarrow(u"\u0080\u0100", 1252), "??");
}

TEST(CodePageAnsi, CodePageZeroFollowsTheDeviceSetting)
{
    EXPECT_EQ(ansiCodePage(), 1252u);
    EXPECT_EQ(toNarrow(u"\u0141\u20AC", kCodePageAnsi), "?\x80");
    {
        AnsiCodePageGuard guard(1250);
        EXPECT_EQ(ansiCodePage(), 1250u);
        EXPECT_EQ(toNarrow(u"\u0141\u20AC", kCodePageAnsi), "\xA3\x80");
        EXPECT_EQ(toWide("\xA3", kCodePageAnsi), u"\u0141");
    }
    {
        AnsiCodePageGuard guard(kCodePageUtf8);
        EXPECT_EQ(toNarrow(u"\u0141", kCodePageAnsi), "\xC5\x81");
    }
    setAnsiCodePage(0);
    EXPECT_EQ(ansiCodePage(), 1252u);
}

TEST(CodePageIconv, DoubleByteCodePageBothWays)
{
    EXPECT_EQ(toNarrow(u"a\u4E2D", 932), "a\x92\x86");
    EXPECT_EQ(toWide("a\x92\x86", 932), u"a\u4E2D");
    // Nothing is replaced on the way in: a lead byte without its trail fails.
    EXPECT_EQ(countWideChars("a\x92", 2, 932), -1);
    EXPECT_EQ(toNarrow(u"\u20AC\xD83D\xDE00", 932), "??");
}

TEST(CodePageIconv, ShortDestinationNeverSplitsADoubleByteCharacter)
{
    DiagCapture diag;
    std::string out(4, '#');
    EXPECT_EQ(wideToNarrow(out.data(), 2, u"a\u4E2D", 2, 932), 1);
    EXPECT_EQ(out, "a###");
    EXPECT_EQ(diag.dbgChkCount(), 1);

    diag.clear();
    std::u16string wide(3, u'#');
    EXPECT_EQ(narrowToWide(wide.data(), 1, "\x92\x86z", 3, 932), 1);
    EXPECT_EQ(wide, u"\u4E2D##");
    EXPECT_EQ(diag.dbgChkCount(), 1);
}

TEST(CodePageIconv, LongTextCrossesInternalChunksIntact)
{
    std::u16string wide;
    std::string expected;
    for (int i = 0; i < 1001; ++i) {
        wide += i % 3 ? u"\u4E2D" : u"a\u20AC";
        expected += i % 3 ? "\x92\x86" : "a?";
    }
    EXPECT_EQ(toNarrow(wide, 932), expected);
    EXPECT_EQ(toWide(expected, 932), [&] {
        std::u16string back = wide;
        for (auto& unit : back)
            unit = unit == u'\u20AC' ? u'?' : unit;
        return back;
    }());
}

TEST(CodePageIconv, UnknownCodePageGivesMinusOne)
{
    EXPECT_EQ(countWideChars("abc", 3, 12345), -1);
    EXPECT_EQ(countNarrowChars(u"abc", 3, 12345), -1);
    char out[4];
    EXPECT_EQ(wideToNarrow(out, 4, u"abc", 3, 12345), -1);
}

TEST(CodePageRules, TerminatorAndEmptyInputAlikeForEveryCodePage)
{
    for (unsigned codePage : {1252u, 932u, kCodePageUtf8}) {
        EXPECT_EQ(countWideChars("abc", 0, codePage), 0);
        EXPECT_EQ(countWideChars("ab\0c", 4, codePage), 2) << codePage;
        EXPECT_EQ(countNarrowChars(u"ab\0c", 4, codePage), 2) << codePage;

        std::u16string wide(4, u'#');
        EXPECT_EQ(narrowToWide(wide.data(), 4, "ab", -1, codePage), 2);
        EXPECT_EQ(wide, std::u16string(u"ab\0#", 4)) << codePage;
        std::string narrow(4, '#');
        EXPECT_EQ(wideToNarrow(narrow.data(), 4, u"abcd", 2, codePage), 2);
        EXPECT_EQ(narrow, "ab##") << codePage;
    }
}

}  // namespace
}  // namespace druvex

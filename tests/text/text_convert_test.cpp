// Text conversions. The UTF-8 codec: code points at the encoding boundaries,
// invalid input in both directions, destination sizing and the terminator
// rule, and agreement with the C library's iconv over random text. Code pages:
// our 1252 table against iconv, the ANSI code page switch, substitution
// towards code pages, and other code pages via iconv.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "text/text_convert.h"
#include "support/diag_capture.h"
#include "support/external_tool.h"

namespace druvex {
namespace {

using test::Bytes;
using test::DiagCapture;

std::string toUtf8(std::u16string_view wide)
{
    const int size = utf16ToUtf8(wide.data(), static_cast<int>(wide.size()), nullptr, 0);
    if (size < 0)
        return "<invalid>";
    std::string out(static_cast<std::size_t>(size), '\0');
    EXPECT_EQ(utf16ToUtf8(wide.data(), static_cast<int>(wide.size()), out.data(), size), size);
    return out;
}

std::u16string toUtf16(std::string_view narrow)
{
    const int size = utf8ToUtf16(narrow.data(), static_cast<int>(narrow.size()), nullptr, 0);
    if (size < 0)
        return u"<invalid>";
    std::u16string out(static_cast<std::size_t>(size), u'\0');
    EXPECT_EQ(utf8ToUtf16(narrow.data(), static_cast<int>(narrow.size()), out.data(), size), size);
    return out;
}

struct CodePointCase {
    std::u16string wide;
    std::string utf8;
};

TEST(UtfCodec, BoundaryCodePointsBothWays)
{
    const CodePointCase cases[] = {
        {u"\u007F", "\x7F"},
        {u"\u0080", "\xC2\x80"},
        {u"\u07FF", "\xDF\xBF"},
        {u"\u0800", "\xE0\xA0\x80"},
        {u"\uD7FF", "\xED\x9F\xBF"},
        {u"\uE000", "\xEE\x80\x80"},
        {u"\uFFFF", "\xEF\xBF\xBF"},
        {u"\xD800\xDC00", "\xF0\x90\x80\x80"},
        {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {u"\xDBFF\xDFFF", "\xF4\x8F\xBF\xBF"},
        {u"a\u00E9\u4E2D\xD83D\xDE00z", "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toUtf8(c.wide), c.utf8);
        EXPECT_EQ(toUtf16(c.utf8), c.wide);
    }
}

TEST(UtfCodec, InvalidUtf16GivesMinusOne)
{
    const std::u16string cases[] = {
        u"\xDE00",              // low surrogate alone
        u"a\xD83D",             // pair cut after the high half
        u"\xD83D" u"a",         // high half followed by a character
        u"\xD83D\xD83D\xDE00",  // two high halves
    };
    char buffer[16];
    for (const auto& wide : cases) {
        const int units = static_cast<int>(wide.size());
        EXPECT_EQ(utf16ToUtf8(wide.data(), units, nullptr, 0), -1);
        EXPECT_EQ(utf16ToUtf8(wide.data(), units, buffer, sizeof buffer), -1);
    }
    // A high surrogate ended by the source's terminator is unpaired as well.
    EXPECT_EQ(utf16ToUtf8(u"a\xD83D", -1, buffer, sizeof buffer), -1);
}

TEST(UtfCodec, InvalidUtf8GivesMinusOne)
{
    const std::string cases[] = {
        "\xF8\x88\x80\x80\x80",  // five-byte lead
        "\xFF",
        "\x80",               // continuation nobody expects
        "a\xBF",
        "\xE2\x82",           // cut at the end
        "\xC3" "a",           // ASCII inside a sequence
        "\xE2\xC3\xA9",       // new lead inside a sequence
        "\xED\xA0\x80",       // an encoded surrogate
        "\xF4\x90\x80\x80",   // beyond U+10FFFF
        "\xF7\xBF\xBF\xBF",
    };
    char16_t buffer[16];
    for (const auto& narrow : cases) {
        const int bytes = static_cast<int>(narrow.size());
        EXPECT_EQ(utf8ToUtf16(narrow.data(), bytes, nullptr, 0), -1) << narrow.size();
        EXPECT_EQ(utf8ToUtf16(narrow.data(), bytes, buffer, 16), -1) << narrow.size();
    }
}

TEST(UtfCodec, OverlongFormsAreAccepted)
{
    char16_t buffer[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(utf8ToUtf16("\xC0\x80", 2, buffer, 4), 1);
    EXPECT_EQ(buffer[0], u'\0');
    EXPECT_EQ(toUtf16("\xE0\x81\x81"), u"A");
}

TEST(UtfCodec, CodecsReportCountsWithoutOutput)
{
    Utf16DecodeState wideState;
    wideState.bits = 0x10FFFF;
    EXPECT_EQ(encodeUtf8(wideState, nullptr), 4);
    EXPECT_EQ(wideState.bits, 0u);
    wideState.bits = 0x110000;
    EXPECT_EQ(encodeUtf8(wideState, nullptr), -1);

    Utf8DecodeState narrowState;
    narrowState.codePoint = 0xDFFF;
    EXPECT_EQ(encodeUtf16(narrowState, nullptr), -1);
    narrowState.codePoint = 0x1F600;
    char16_t pair[2];
    EXPECT_EQ(encodeUtf16(narrowState, pair), 2);
    EXPECT_EQ(pair[0], 0xD83D);
    EXPECT_EQ(pair[1], 0xDE00);

    Utf16DecodeState state;
    char out[4];
    EXPECT_EQ(decodeUtf16Unit(state, out, 0xD83D), 0);
    EXPECT_EQ(decodeUtf16Unit(state, out, 0xDE00), 4);
    EXPECT_EQ(std::string(out, 4), "\xF0\x9F\x98\x80");
}

// A short destination stops before the first code point that does not fit,
// and is reported; an exact fit is filled without a terminator.
TEST(UtfSizing, ShortDestinationStopsBeforeTheLastWholeCodePoint)
{
    const std::u16string wide = u"a\u00E9\u4E2D\xD83D\xDE00";  // 1 + 2 + 3 + 4 bytes
    const std::string utf8 = "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80";
    for (int room = 0; room <= 10; ++room) {
        DiagCapture diag;
        std::string out(12, '#');
        const int expected = room == 10 ? 10 : room >= 6 ? 6 : room >= 3 ? 3 : room >= 1 ? 1 : 0;
        EXPECT_EQ(utf16ToUtf8(wide.data(), static_cast<int>(wide.size()), out.data(), room), expected) << room;
        EXPECT_EQ(out, utf8.substr(0, static_cast<std::size_t>(expected)) + std::string(12 - expected, '#')) << room;
        EXPECT_EQ(diag.dbgChkCount(), room < 10 ? 1 : 0) << room;
        EXPECT_EQ(diag.contains(u"text_traits"), room < 10);
    }
}

TEST(UtfSizing, ShortUtf16DestinationNeverSplitsAPair)
{
    const std::string narrow = "ab\xF0\x9F\x98\x80";
    DiagCapture diag;
    std::u16string out(4, u'#');
    EXPECT_EQ(utf8ToUtf16(narrow.data(), static_cast<int>(narrow.size()), out.data(), 3), 2);
    EXPECT_EQ(out, u"ab##");
    EXPECT_EQ(diag.dbgChkCount(), 1);

    diag.clear();
    EXPECT_EQ(utf8ToUtf16(narrow.data(), static_cast<int>(narrow.size()), out.data(), 4), 4);
    EXPECT_EQ(out, u"ab\xD83D\xDE00");
    EXPECT_EQ(diag.dbgChkCount(), 0);
}

// Terminated only where the source's zero stopped the conversion with room
// left, and not counted.
TEST(UtfSizing, TerminatorOnlyAfterASourceZeroWithRoomLeftAndMeasuresAlike)
{
    const struct {
        const char16_t* source;
        int units;
        int room;
        int result;
        std::string_view out;
    } cases[] = {
        {u"ab\0cd", 5, 8, 2, {"ab\0#####", 8}},
        {u"ab", -1, 8, 2, {"ab\0#####", 8}},
        {u"abcd", 2, 8, 2, "ab######"},  // the unit count ran out
        {u"ab", -1, 2, 2, "ab######"},   // no room for the terminator
        {nullptr, 5, 8, 0, {"\0#######", 8}},
    };
    for (const auto& c : cases) {
        std::string out(8, '#');
        EXPECT_EQ(utf16ToUtf8(c.source, c.units, out.data(), c.room), c.result);
        EXPECT_EQ(out, c.out) << c.units << " " << c.room;
    }
    std::u16string wide(4, u'#');
    EXPECT_EQ(utf8ToUtf16("x\0y", 3, wide.data(), 4), 1);
    EXPECT_EQ(wide, std::u16string(u"x\0##", 4));
    EXPECT_EQ(utf8ToUtf16("x\0y", 3, nullptr, 0), 1);
    // Measuring agrees with converting.
    EXPECT_EQ(utf16ToUtf8(u"", 0, nullptr, 0), 0);
    EXPECT_EQ(utf16ToUtf8(u"a\u00E9\u4E2D\xD83D\xDE00", -1, nullptr, 0), 10);
    EXPECT_EQ(utf16ToUtf8(u"ab\0cd", 5, nullptr, 0), 2);
    EXPECT_EQ(utf8ToUtf16("a\xC3\xA9\xF0\x9F\x98\x80", -1, nullptr, 0), 4);
}

TEST(UtfSizing, AsciiRunsStopAtZerosOtherCharactersAndTheEndOfRoom)
{
    for (int length = 1; length <= 20; ++length) {
        for (int at = 0; at < length; ++at) {
            std::u16string wide(static_cast<std::size_t>(length), u'a');
            std::string narrow(static_cast<std::size_t>(length), 'a');
            wide[static_cast<std::size_t>(at)] = u'\0';
            narrow[static_cast<std::size_t>(at)] = '\0';
            std::string out(32, '#');
            EXPECT_EQ(utf16ToUtf8(wide.data(), length, out.data(), 32), at);
            EXPECT_EQ(out.substr(0, static_cast<std::size_t>(at) + 1), std::string(static_cast<std::size_t>(at), 'a') + '\0');
            std::u16string back(32, u'#');
            EXPECT_EQ(utf8ToUtf16(narrow.data(), length, back.data(), 32), at);
            EXPECT_EQ(back[static_cast<std::size_t>(at)], u'\0');

            wide[static_cast<std::size_t>(at)] = u'\u00E9';
            narrow.replace(static_cast<std::size_t>(at), 1, "\xC3\xA9");
            EXPECT_EQ(toUtf8(wide), narrow);
            EXPECT_EQ(toUtf16(narrow), wide);
        }
        const std::u16string wide(static_cast<std::size_t>(length), u'b');
        const std::string narrow(static_cast<std::size_t>(length), 'b');
        for (int room = 0; room <= length; ++room) {
            DiagCapture diag;
            std::string out(32, '#');
            EXPECT_EQ(utf16ToUtf8(wide.data(), length, out.data(), room), room);
            EXPECT_EQ(out[static_cast<std::size_t>(room)], '#');
            std::u16string back(32, u'#');
            EXPECT_EQ(utf8ToUtf16(narrow.data(), length, back.data(), room), room);
            EXPECT_EQ(back[static_cast<std::size_t>(room)], u'#');
            EXPECT_EQ(diag.dbgChkCount(), room < length ? 2 : 0);
        }
    }
}

// Random valid UTF-16: ASCII, two- and three-byte characters, pairs.
std::u16string randomText(std::mt19937& random)
{
    std::u16string text;
    const int length = std::uniform_int_distribution<int>(0, 24)(random);
    for (int i = 0; i < length; ++i) {
        switch (std::uniform_int_distribution<int>(0, 3)(random)) {
        case 0:
            text.push_back(static_cast<char16_t>(std::uniform_int_distribution<int>(1, 0x7F)(random)));
            break;
        case 1:
            text.push_back(static_cast<char16_t>(std::uniform_int_distribution<int>(0x80, 0x7FF)(random)));
            break;
        case 2: {
            int unit = std::uniform_int_distribution<int>(0x800, 0xFFFF - 0x800)(random);
            if (unit >= 0xD800)
                unit += 0x800;  // skip the surrogates
            text.push_back(static_cast<char16_t>(unit));
            break;
        }
        default: {
            const std::uint32_t v = std::uniform_int_distribution<std::uint32_t>(0, 0xFFFFF)(random);
            text.push_back(static_cast<char16_t>(0xD800 | (v >> 10)));
            text.push_back(static_cast<char16_t>(0xDC00 | (v & 0x3FF)));
        }
        }
    }
    return text;
}

TEST(UtfProperty, RandomTextRoundTripsAndMatchesIconv)
{
    ASSERT_TRUE(test::toolInstalled("iconv"));
    std::mt19937 random(20240611);
    Bytes allWide;
    std::string allUtf8;
    for (int i = 0; i < 10000; ++i) {
        const std::u16string text = randomText(random);
        const std::string utf8 = toUtf8(text);
        ASSERT_EQ(toUtf16(utf8), text) << "string " << i;
        allUtf8 += utf8;
        for (char16_t unit : text) {
            allWide.push_back(static_cast<std::uint8_t>(unit & 0xFF));
            allWide.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
    }
    const auto result = test::runTool("iconv -f UTF-16LE -t UTF-8", allWide);
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_TRUE(std::string(result.output.begin(), result.output.end()) == allUtf8);
}

// ---- Code pages ----------------------------------------------------------------

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
    ASSERT_TRUE(test::toolInstalled("iconv"));
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

TEST(CodePageIconv, DoubleByteAndUnknownCodePages)
{
    EXPECT_EQ(toNarrow(u"a\u4E2D", 932), "a\x92\x86");
    EXPECT_EQ(toWide("a\x92\x86", 932), u"a\u4E2D");
    // Nothing is replaced on the way in: a lead byte without its trail fails.
    EXPECT_EQ(countWideChars("a\x92", 2, 932), -1);
    EXPECT_EQ(toNarrow(u"\u20AC\xD83D\xDE00", 932), "??");
    // A code page nobody knows.
    EXPECT_EQ(countWideChars("abc", 3, 12345), -1);
    EXPECT_EQ(countNarrowChars(u"abc", 3, 12345), -1);
    char out[4];
    EXPECT_EQ(wideToNarrow(out, 4, u"abc", 3, 12345), -1);
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

#include "core/xlate_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "platform/input_limits.h"
#include "text/char_class.h"

#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "support/xlate_file.h"

namespace druvex {
namespace {

constexpr char16_t kUnmatchedReport[] = u"XLATE ERROR: No matching ']' in xlate file\n";
constexpr char kBom[] = "\xEF\xBB\xBF";

class XlateTableTest : public test::DeviceFixture {
protected:
    // Writes `utf8` as a UTF-16LE translation file below the device's root.
    void writeXlate(std::string_view name, std::string_view utf8, std::string_view tail = {})
    {
        device().writeFile(name, test::utf16leFromUtf8(utf8) + std::string(tail));
    }
};

TEST_F(XlateTableTest, ReadsPairsAroundJunkAndNestedBrackets)
{
    writeXlate("de.xlt",
               std::string(kBom) +
                   "junk before\r\n[Save][Speichern]\r\n"
                   "[Open]  between  [\xC3\x96" "ffnen]\r\n"
                   "[a[b]c][x]\r\n"
                   "[key][]\r\n"
                   "[][text]\r\n"
                   "[Cut@@menuEdit][Ausschneiden]\r\n",
               "Z");  // a trailing odd byte
    XlateTable table(u"\\de.xlt");
    ASSERT_TRUE(table.isLoaded());
    EXPECT_EQ(table.path(), u"\\de.xlt");
    EXPECT_EQ(table.entries().size(), 4u);

    EXPECT_EQ(table.lookup(u"Save"), u"Speichern");
    EXPECT_EQ(table.lookup(u"Open"), u"\u00D6ffnen");
    EXPECT_EQ(table.lookup(u"a[b]c"), u"x");
    EXPECT_EQ(table.lookup(u"Cut@@menuEdit"), u"Ausschneiden");
    // The empty halves made no entries: the keys come back as themselves.
    EXPECT_EQ(table.lookup(u"key"), u"key");
    EXPECT_EQ(table.lookup(u"text"), u"text");
}

TEST_F(XlateTableTest, IconvFileTranslatesThroughTheCaseInsensitiveScan)
{
    writeXlate("de.xlt", std::string(kBom) + "[Save][Speichern]");
    XlateTable table(u"\\de.xlt");
    EXPECT_EQ(table.lookup(u"save"), u"Speichern");
    EXPECT_EQ(table.lookup(u"SAVE"), u"Speichern");
    // Case beyond ASCII goes through the program's own mapping.
    writeXlate("el.xlt", "[\xCE\xA3\xCE\x99\xCE\x93\xCE\x9C\xCE\x91][sigma]");  // "ΣΙΓΜΑ"
    XlateTable greek(u"\\el.xlt");
    EXPECT_EQ(greek.lookup(u"\u03C3\u03B9\u03B3\u03BC\u03B1"), u"sigma");
}

TEST_F(XlateTableTest, ExactEntryBeatsACaseVariantAndTheFirstDuplicateWins)
{
    writeXlate("dup.xlt", "[save][klein][SAVE][gross][Save][one][Save][two]");
    XlateTable table(u"\\dup.xlt");
    EXPECT_EQ(table.lookup(u"save"), u"klein");
    EXPECT_EQ(table.lookup(u"SAVE"), u"gross");
    EXPECT_EQ(table.lookup(u"Save"), u"one");
    // The scan takes the first case variant in table order: "SAVE" sorts first.
    EXPECT_EQ(table.lookup(u"sAVE"), u"gross");
}

// The lookup rule itself, by a walk over the entries: an exact key first
// (the first in table order), else the first in table order that is equal
// without regard to case, else the key itself.
SharedString lookupByTheRule(std::span<const XlateEntry> entries, std::u16string_view query)
{
    for (const XlateEntry& entry : entries)
        if (entry.key == query)
            return SharedString(entry.text);
    for (const XlateEntry& entry : entries)
        if (equalsNoCase(entry.key, query))
            return SharedString(entry.text);
    return SharedString(query);
}

// Many keys that differ only in case, against the rule itself.
TEST_F(XlateTableTest, IndexAgreesWithTheRuleOverManyCaseVariants)
{
    std::mt19937 random(1913);
    const char16_t letters[] = u"aAbB\u00E9\u00C9";
    std::u16string content;
    for (int i = 0; i < 3000; ++i) {
        std::u16string key;
        for (std::size_t n = 1 + random() % 5; n > 0; --n)
            key += letters[random() % 6];
        const std::string number = std::to_string(i);
        content += u"[" + key + u"][t" + std::u16string(number.begin(), number.end()) + u"]";
    }
    device().writeFile("many.xlt", test::utf16leFromUtf8(toUtf8(SharedString(content)).c_str()));
    XlateTable table(u"\\many.xlt");
    ASSERT_TRUE(table.isLoaded());
    const auto entries = table.entries();
    for (int i = 0; i < 3000; ++i) {
        std::u16string query;
        for (std::size_t n = 1 + random() % 6; n > 0; --n)
            query += letters[random() % 6];
        ASSERT_EQ(table.lookup(query), lookupByTheRule(entries, query)) << i;
    }
}

// A key the file repeats thousands of times, among case variants repeated as
// often: the index keeps one slot for them all, and each lookup still finds
// what the rule finds, the first of each spelling in file order.
TEST_F(XlateTableTest, KeysRepeatedThousandsOfTimesKeepTheRule)
{
    const char16_t* spellings[] = {u"Save", u"SAVE", u"save", u"sAvE", u"Open"};
    std::u16string content;
    for (int i = 0; i < 20000; ++i) {
        const std::string number = std::to_string(i);
        content += u"[" + std::u16string(spellings[i % 4 == 3 && i > 10000 ? 4 : i % 4]) + u"][t" +
                   std::u16string(number.begin(), number.end()) + u"]";
    }
    device().writeFile("repeated.xlt", test::utf16leFromUtf8(toUtf8(SharedString(content)).c_str()));
    XlateTable table(u"\\repeated.xlt");
    ASSERT_EQ(table.entries().size(), 20000u);
    EXPECT_EQ(table.lookup(u"Save"), u"t0");
    EXPECT_EQ(table.lookup(u"SAVE"), u"t1");
    EXPECT_EQ(table.lookup(u"save"), u"t2");
    EXPECT_EQ(table.lookup(u"sAvE"), u"t3");
    EXPECT_EQ(table.lookup(u"Open"), u"t10003");
    for (const std::u16string_view query : {u"SAVe", u"open", u"OPEN", u"Sav", u"Saved"})
        EXPECT_EQ(table.lookup(query), lookupByTheRule(table.entries(), query));
}

TEST_F(XlateTableTest, PrefixKeysSortLongerFirstAndAreBothFoundExactly)
{
    writeXlate("p.xlt", "[ab][short][abc][long][b][other][a][one]");
    XlateTable table(u"\\p.xlt");
    std::vector<std::u16string_view> keys;
    for (const XlateEntry& entry : table.entries())
        keys.push_back(entry.key);
    EXPECT_EQ(keys, (std::vector<std::u16string_view>{u"abc", u"ab", u"a", u"b"}));
    EXPECT_EQ(table.lookup(u"ab"), u"short");
    EXPECT_EQ(table.lookup(u"abc"), u"long");
    EXPECT_EQ(table.lookup(u"a"), u"one");
    EXPECT_EQ(table.lookup(u"abcd"), u"abcd");
}

TEST_F(XlateTableTest, LineBreaksTravelAsEscapes)
{
    writeXlate("lines.xlt",
               "[Line1\\nLine2][Zeile1\\nZeile2]"
               "[Ret\\r\\nurn][R\\r\\nT]"
               "[Path][C:\\new]");
    XlateTable table(u"\\lines.xlt");
    EXPECT_EQ(table.lookup(u"Line1\nLine2"), u"Zeile1\nZeile2");
    EXPECT_EQ(table.lookup(u"Ret\r\nurn"), u"R\r\nT");
    // The format has no escape for a backslash: a backslash-n is a line break.
    EXPECT_EQ(table.lookup(u"Path"), u"C:\new");
    // A miss gives the key as it was asked for, not its escaped form.
    EXPECT_EQ(table.lookup(u"Missing\nKey@@ctx"), u"Missing\nKey");
}

TEST_F(XlateTableTest, UnmatchedBracketIsReportedAndEarlierPairsStay)
{
    struct Case {
        const char* text;
        bool reported;
    };
    const Case cases[] = {
        {"[k1][t1][k2", true},        // unmatched key
        {"[k1][t1][k2][t2", true},    // unmatched text
        {"[k1][t1][k2][t[2]", true},  // nested and never closed
        {"[k1][t1][k2]", false},      // a key without text ends the file quietly
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        writeXlate("bad.xlt", c.text);
        test::DiagCapture capture;
        XlateTable table(u"\\bad.xlt");
        EXPECT_EQ(capture.contains(kUnmatchedReport), c.reported);
        EXPECT_EQ(capture.dbgChkCount(), c.reported ? 1 : 0);
        EXPECT_TRUE(table.isLoaded());
        EXPECT_EQ(table.lookup(u"k1"), u"t1");
        EXPECT_EQ(table.lookup(u"k2"), u"k2");
    }
}

TEST_F(XlateTableTest, KeysAndTextsLongerThanSixteenBitsStayWhole)
{
    const std::string longKey(70000, 'k');
    const std::string longText(66000, 't');
    writeXlate("long.xlt", "[" + longKey + "][" + longText + "][k][short]");
    XlateTable table(u"\\long.xlt");
    const SharedString found = table.lookup(std::u16string(70000, u'k'));
    EXPECT_EQ(found.length(), 66000);
    EXPECT_EQ(found, std::u16string(66000, u't'));
    EXPECT_EQ(table.lookup(u"k"), u"short");
}

// A long text holding escapes is turned back in one pass, the same at every
// lookup.
TEST_F(XlateTableTest, ALongTextWithEscapesComesBackWholeAtEveryLookup)
{
    std::string text;
    std::u16string expected;
    for (int i = 0; i < 20000; ++i) {
        text += "line\\r\\nmore\\x\\";
        expected += u"line\r\nmore\\x\\";
    }
    writeXlate("text.xlt", "[Long][" + text + "n][Short][x]");
    XlateTable table(u"\\text.xlt");
    // The last backslash and the 'n' after it are one more escape.
    expected.back() = u'\n';
    for (int lookup = 0; lookup < 3; ++lookup)
        EXPECT_EQ(table.lookup(u"Long"), expected) << lookup;
    EXPECT_EQ(table.lookup(u"Short"), u"x");
}

// Each pair costs more memory than its bytes: a file past the limit of
// translation files is refused before it is indexed, like one that cannot
// be opened.
TEST_F(XlateTableTest, AFileLargerThanTheLimitIsRefused)
{
    writeXlate("huge.xlt", "[Save][Speichern]");
    std::filesystem::resize_file(device().hostPath("huge.xlt"), kMaxLanguageFileSize + 2);
    test::DiagCapture capture;
    XlateTable table(u"\\huge.xlt");
    EXPECT_FALSE(table.isLoaded());
    EXPECT_TRUE(table.path().isEmpty());
    EXPECT_TRUE(capture.contains(u"The translation file is larger than the limit: \\huge.xlt"));
    EXPECT_EQ(table.lookup(u"Save"), u"Save");

    std::filesystem::resize_file(device().hostPath("huge.xlt"), kMaxLanguageFileSize);
    EXPECT_TRUE(table.load(u"\\huge.xlt"));
    EXPECT_EQ(table.lookup(u"Save"), u"Speichern");
}

TEST_F(XlateTableTest, LoadStatesAndReloads)
{
    test::DiagCapture capture;
    XlateTable table;
    EXPECT_FALSE(table.isLoaded());
    EXPECT_EQ(table.lookup(u"Cut@@x"), u"Cut");

    // A missing file keeps the path empty, so the same path is tried again.
    EXPECT_FALSE(table.load(u"\\lang.xlt"));
    EXPECT_TRUE(table.path().isEmpty());
    EXPECT_TRUE(capture.contains(u"\\lang.xlt"));
    writeXlate("lang.xlt", "[Save][Speichern]");
    EXPECT_TRUE(table.load(u"\\lang.xlt"));
    EXPECT_EQ(table.lookup(u"Save"), u"Speichern");

    // A file with no pair opens, but the table answers false, also when the
    // same path is loaded again.
    writeXlate("none.xlt", "no pairs here");
    EXPECT_FALSE(table.load(u"\\none.xlt"));
    EXPECT_EQ(table.path(), u"\\none.xlt");
    EXPECT_FALSE(table.load(u"\\none.xlt"));
    EXPECT_EQ(table.lookup(u"Save"), u"Save");
}

TEST(XlateContext, CutsOnlyATrailingDoubleAt)
{
    const std::pair<std::u16string_view, std::u16string_view> cases[] = {
        {u"Cut@@menuEdit", u"Cut"}, {u"Cut@@a@b", u"Cut@@a@b"}, {u"Cut@@@x", u"Cut@"},
        {u"@@x", u""},              {u"@x", u"@x"},             {u"Cut@@", u"Cut"},
        {u"Cut", u"Cut"},           {u"", u""},                 {u"a@@b@@c", u"a@@b"},
    };
    for (const auto& [key, expected] : cases)
        EXPECT_EQ(cutTranslationContext(key), expected) << toUtf8(SharedString(key)).c_str();
}

}  // namespace
}  // namespace druvex

#include "core/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "text/text_convert.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/external_tool.h"
#include "support/hostile_inputs.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

struct Entry {
    std::u16string section, key, value;
    bool operator==(const Entry&) const = default;
};

std::vector<Entry> entriesOf(const IniFile& ini)
{
    std::vector<Entry> entries;
    for (const auto& [section, keys] : ini.sections()) {
        for (const auto& [key, value] : keys)
            entries.push_back({std::u16string(section.view()), std::u16string(key.view()), std::u16string(value.view())});
    }
    return entries;
}

bool parseText(IniFile& ini, std::string_view text, std::uint32_t* encoding = nullptr, IniLoadReport* report = nullptr)
{
    return ini.parse(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), encoding, report);
}

void PrintTo(const Entry& e, std::ostream* os)
{
    *os << toUtf8(SharedString(e.section)).c_str() << "|" << toUtf8(SharedString(e.key)).c_str() << "="
        << toUtf8(SharedString(e.value)).c_str();
}

struct ParseCase {
    const char* text;
    bool loads;
    std::vector<Entry> entries;  // what the map holds afterwards
};

TEST(IniFileParse, LinesAreReadAsTheFormatSays)
{
    const ParseCase cases[] = {
        {"k=1\r\n[S]\r\na=2\r\n", true, {{u"", u"k", u"1"}, {u"S", u"a", u"2"}}},
        // Nothing around '=' is trimmed; the key ends at the first '='.
        {"[S]\nk = v\r\nx=a=b\n", true, {{u"S", u"k ", u" v"}, {u"S", u"x", u"a=b"}}},
        {"[S]\nk=\n", true, {{u"S", u"k", u""}}},
        {"[S]\nk=1\nk=2\n", true, {{u"S", u"k", u"2"}}},
        // A line of blanks leaves the section; empty lines do not.
        {"[S]\na=1\n   \nb=2\n", true, {{u"", u"b", u"2"}, {u"S", u"a", u"1"}}},
        {"[S]\na=1\n\t\nb=2\n", true, {{u"", u"b", u"2"}, {u"S", u"a", u"1"}}},
        {"[S]\na=1\n\n\r\n\rb=2\n", true, {{u"S", u"a", u"1"}, {u"S", u"b", u"2"}}},
        // Headers: the line is trimmed, the name inside is not.
        {"[ a ]\nk=1\n", true, {{u" a ", u"k", u"1"}}},
        {"  [a]\nk=1\n", false, {}},
        {"[a]  \nk=1\n", true, {{u"a", u"k", u"1"}}},
        {"[]\nk=1\n", false, {}},
        {"[a\nk=1\n", false, {}},
        {"[a]x\n", false, {}},
        // Comments.
        {"#c\n;c\n/c\n[S]\nk=1\n", true, {{u"S", u"k", u"1"}}},
        // Continuations.
        {"[S]\nk=1\nabc\n", true, {{u"S", u"k", u"1abc"}}},
        {"[S]\nk=1\nab c\n_d\n", true, {{u"S", u"k", u"1ab c_d"}}},
        {"abc\n", false, {}},
        {"[S]\nk=1\n[T]\nabc\nj=2\n", true, {{u"S", u"k", u"1"}, {u"T", u"j", u"2"}}},
        {"[S]\nk=1\n[T]\nk=2\n[S]\nmore\n", true, {{u"S", u"k", u"1more"}, {u"T", u"k", u"2"}}},
        // Refused first characters; what came before stays.
        {"[S]\na=1\n=x\nb=2\n", false, {{u"S", u"a", u"1"}}},
        {"[S]\na=1\n x=1\n", false, {{u"S", u"a", u"1"}}},
        {"[S]\n-x=1\n", false, {}},
        {"[S]\n\xC9t\xE9=1\n", true, {{u"S", u"\u00C9t\u00E9", u"1"}}},  // letters beyond ASCII (1252)
        {"[S]\n\xD7=1\n", false, {}},
        // Case-sensitive sections and keys, in code-unit order.
        {"[s]\nK=1\n[S]\nk=2\nK=3\n", true, {{u"S", u"K", u"3"}, {u"S", u"k", u"2"}, {u"s", u"K", u"1"}}},
        {"", true, {}},
        {"\r\n\r\n", true, {}},
        {"/ empty\r\n", true, {}},
    };
    for (const ParseCase& c : cases) {
        test::DiagCapture capture;
        IniFile ini;
        ini.setValue(u"old", u"k", u"v");
        EXPECT_EQ(parseText(ini, c.text), c.loads) << c.text;
        EXPECT_EQ(entriesOf(ini), c.entries) << c.text;
        EXPECT_EQ(capture.dbgChkCount(), c.loads ? 0 : 1) << c.text;
    }
}

TEST(IniFileParse, ARefusedLineIsReportedByItsNumber)
{
    test::DiagCapture capture;
    IniFile ini;
    IniLoadReport report;
    std::uint32_t encoding = 99;
    EXPECT_FALSE(parseText(ini, "[S]\r\na=1\r\n\r\n\rb=2\n\n x\r\n", &encoding, &report));
    EXPECT_EQ(report.failedLine, 7);
    EXPECT_EQ(report.failedText, u" x");
    EXPECT_STREQ(report.reason, "the line starts with a blank");
    EXPECT_EQ(encoding, 99u);
    EXPECT_EQ(report.keyLines.at({u"S", u"b"}), 5);
    // A line that does not convert would read as empty and silently move b
    // into the unnamed section.
    EXPECT_FALSE(parseText(ini, "\xEF\xBB\xBF[S]\na=1\n\xC3\x28\nb=2\n", nullptr, &report));
    EXPECT_EQ(report.failedLine, 3);
    EXPECT_STREQ(report.reason, "the line is not valid in the file's encoding");
    EXPECT_EQ(entriesOf(ini), (std::vector<Entry>{{u"S", u"a", u"1"}}));
    EXPECT_FALSE(parseText(ini, "[S]\n-x=1\n", nullptr, &report));
    EXPECT_STREQ(report.reason, "a key starts with a letter, a digit or '_'");
}

// A value continued over many lines comes out whole, also when the key
// changes section in between or a refused line ends the load; a refused long
// line is quoted only in part.
TEST(IniFileParse, LongContinuationsAndLongRefusedLines)
{
    test::DiagCapture capture;
    IniFile ini;
    ASSERT_TRUE(parseText(ini, test::iniWithContinuationLines(20'000) + "other=x\r\n"));
    SharedString value;
    ASSERT_TRUE(ini.getValue(u"Section", u"key", value));
    EXPECT_EQ(value.length(), 5 + 20'000 * 41);
    EXPECT_TRUE(value.view().starts_with(u"firstcontinued over"));
    EXPECT_TRUE(value.view().ends_with(u"line of the valuecontinued over one more line of the value"));

    ASSERT_TRUE(parseText(ini, "[A]\r\nk=1\r\n[B]\r\nk=2\r\nb\r\n[A]\r\na\r\nc\r\n"));
    EXPECT_EQ(entriesOf(ini), (std::vector<Entry>{{u"A", u"k", u"1ac"}, {u"B", u"k", u"2b"}}));

    IniLoadReport report;
    const std::string refusedLine = " " + std::string(10'000, 'x');
    EXPECT_FALSE(parseText(ini, "[A]\r\nk=1\r\nm\r\nore\r\n" + refusedLine + "\r\n", nullptr, &report));
    EXPECT_EQ(entriesOf(ini), (std::vector<Entry>{{u"A", u"k", u"1more"}}));
    EXPECT_EQ(report.failedLine, 5);
    EXPECT_EQ(report.failedText, SharedString(u" " + std::u16string(119, u'x') + u"..."));
}

std::string utf16(std::u16string_view text, bool mark)
{
    std::string bytes = mark ? "\xFF\xFE" : "";
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

TEST(IniFileParse, TheEncodingIsJudgedFromTheBytes)
{
    struct Case {
        std::string bytes;
        std::uint32_t encoding;
        std::u16string value;
    };
    const Case cases[] = {
        {utf16(u"[S]\r\nk=\u4E2D\r\n", true), 2, u"\u4E2D"},
        {utf16(u"[S]\r\nk=\u00E9\r\n", false), 2, u"\u00E9"},
        {utf16(u"[S]\r\nk=v\r\n", true) + "\x41", 2, u"v"},  // an odd last byte is ignored
        {"\xEF\xBB\xBF[S]\r\nk=\xC3\xA9\r\n", 3, u"\u00E9"},
        // UTF-8 without a mark reads as ANSI (1252).
        {"[S]\r\nk=\xC3\xA9\r\n", 1, u"\u00C3\u00A9"},
        {"[S]\r\nk=\xE9\r\n", 1, u"\u00E9"},
    };
    for (const Case& c : cases) {
        IniFile ini;
        std::uint32_t encoding = 0;
        ASSERT_TRUE(parseText(ini, c.bytes, &encoding)) << c.encoding;
        EXPECT_EQ(encoding, c.encoding);
        SharedString value;
        ASSERT_TRUE(ini.getValue(u"S", u"k", value));
        EXPECT_EQ(value, c.value);
    }
}

TEST(IniFileValues, GetIntTakesTheLeadingDecimalNumber)
{
    IniFile ini;
    const std::pair<const char16_t*, int> cases[] = {
        {u"12", 12}, {u"12ab", 12}, {u"-7", -7}, {u" 5", 5}, {u"ab", -1}, {u"", -1},
        {u"2147483647", 2147483647}, {u"2147483648", -1}, {u"-2147483649", -1},
    };
    for (const auto& [text, expected] : cases) {
        ini.setValue(u"S", u"k", text);
        EXPECT_EQ(ini.getInt(u"S", u"k", -1), expected) << toUtf8(SharedString(text)).c_str();
    }
    EXPECT_EQ(ini.getInt(u"S", u"missing", 42), 42);
    EXPECT_EQ(ini.getInt(u"T", u"k", 43), 43);
    ini.setInt(u"T", u"n", -15);
    SharedString value;
    EXPECT_TRUE(ini.getValue(u"T", u"n", value));
    EXPECT_EQ(value, u"-15");
    EXPECT_FALSE(ini.getValue(u"t", u"n", value));
}

std::string serialized(const IniFile& ini, std::uint32_t encoding)
{
    std::string bytes;
    EXPECT_TRUE(ini.serialize(encoding, bytes));
    return bytes;
}

TEST(IniFileSave, TheBytesOfEachEncoding)
{
    IniFile ini;
    ini.setValue(u"T", u"c", u"");
    ini.setValue(u"S", u"b", u"2");
    ini.setValue(u"S", u"a", u"1");
    EXPECT_EQ(serialized(ini, 1), "[S]\r\na=1\r\nb=2\r\n\r\n[T]\r\nc=\r\n\r\n");
    EXPECT_EQ(serialized(ini, 3), "\xEF\xBB\xBF[S]\r\na=1\r\nb=2\r\n\r\n[T]\r\nc=\r\n\r\n");

    IniFile wide;
    wide.setValue(u"S", u"k", u"\u00E9\u4E2D");
    const std::string expected("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\xE9\0\x2D\x4E\r\0\n\0\r\0\n\0", 28);
    EXPECT_EQ(serialized(wide, 2), expected);
    EXPECT_EQ(serialized(wide, 3), "\xEF\xBB\xBF[S]\r\nk=\xC3\xA9\xE4\xB8\xAD\r\n\r\n");
    EXPECT_EQ(serialized(wide, 1), "[S]\r\nk=\xE9?\r\n\r\n");  // no 1252 mapping: '?'

    EXPECT_EQ(serialized(IniFile(), 1), "/ empty\r\n");
    EXPECT_EQ(serialized(IniFile(), 2), utf16(u"/ empty\r\n", true));
}

TEST(IniFileSave, EveryMapLoadsBackAsItWas)
{
    test::ScratchDir scratch;
    const SharedString path = fromUtf8((scratch.path() / "r.ini").string());
    IniFile ini;
    // Keys of the unnamed section: a "[]" header would not load again.
    ini.setValue(u"", u"top", u"1");
    ini.setValue(u"", u"_x", u" spaced value ");
    ini.setValue(u" padded ", u"k ", u"=v");
    ini.setValue(u"S", u"\u00C9", u"\u4E2D\u00E9");
    for (std::uint32_t encoding : {1u, 2u, 3u}) {
        IniFile source = ini;
        if (encoding == 1)
            source.setValue(u"S", u"\u00C9", u"\u00E9");
        ASSERT_TRUE(source.save(path, encoding)) << encoding;
        IniFile loaded;
        std::uint32_t found = 0;
        ASSERT_TRUE(loaded.load(path, &found)) << encoding;
        EXPECT_EQ(found, encoding);
        EXPECT_EQ(entriesOf(loaded), entriesOf(source)) << encoding;
    }
    ASSERT_TRUE(IniFile().save(path, 3));
    IniFile empty;
    empty.setValue(u"x", u"y", u"z");
    EXPECT_TRUE(empty.load(path));
    EXPECT_TRUE(empty.sections().empty());
}

TEST(IniFileSave, WhatWouldNotLoadBackIsRefusedAndTheOldFileStays)
{
    test::ScratchDir scratch;
    const SharedString path = fromUtf8((scratch.path() / "keep.ini").string());
    IniFile good;
    good.setValue(u"S", u"k", u"1");
    ASSERT_TRUE(good.save(path, 1));
    const std::pair<std::u16string, std::u16string> refused[] = {
        {u" k", u"v"}, {u"=k", u"v"}, {u"k=j", u"v"}, {u"#k", u"v"}, {u"k\r\nj", u"v"},
        {u"k", u"a\r\nb"}, {u"k", u"a\nb"}, {u"k", std::u16string(u"a\0b", 3)},
    };
    for (const auto& [key, value] : refused) {
        IniFile bad;
        bad.setValue(u"S", SharedString(key), SharedString(value));
        EXPECT_FALSE(bad.save(path, 1));
    }
    IniFile badSection;
    badSection.setValue(u"a\nb", u"k", u"v");
    EXPECT_FALSE(badSection.save(path, 1));
    EXPECT_FALSE(good.save(path, 4));
    EXPECT_FALSE(good.save(path, 0));
    IniFile loaded;
    ASSERT_TRUE(loaded.load(path));
    EXPECT_EQ(entriesOf(loaded), entriesOf(good));
}

// In the 8-bit encoding a file has no mark of its own: one whose first key
// begins with the bytes of a mark would be read in another encoding or lose
// them, and a key or section name the code page cannot hold would change or
// not load at all. Save refuses those; the other encodings hold them.
TEST(IniFileSave, AnsiRefusesWhatItsFileCannotHold)
{
    test::ScratchDir scratch;
    const SharedString path = fromUtf8((scratch.path() / "ansi.ini").string());
    struct Case {
        std::u16string section;
        std::u16string key;
        bool ansi;
    };
    const Case cases[] = {
        {u"", u"\u00EF\u00BB\u00BFkey", false},      // EF BB BF: the UTF-8 mark
        {u"", u"\u00FF\u00FEkey", false},             // FF FE: the UTF-16 mark
        {u"", u"\u00DDsfs", false},                    // DD 73 66 73: the UTF-EBCDIC mark
        {u"S", u"\u00EF\u00BB\u00BFkey", true},      // after "[S]" the bytes are no mark
        {u"S", u"\u4E2Dkey", false},                   // no 1252 character
        {u"\u4E2D", u"key", false},
        {u"", u"\u00EFkey", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(toUtf8(SharedString(c.section + u"|" + c.key)).c_str());
        IniFile ini;
        ini.setValue(SharedString(c.section), SharedString(c.key), u"v");
        EXPECT_EQ(ini.save(path, 1), c.ansi);
        for (const std::uint32_t encoding : {1u, 2u, 3u}) {
            if (encoding == 1 && !c.ansi)
                continue;
            ASSERT_TRUE(ini.save(path, encoding));
            IniFile loaded;
            std::uint32_t found = 0;
            ASSERT_TRUE(loaded.load(path, &found));
            EXPECT_EQ(found, encoding);
            EXPECT_EQ(entriesOf(loaded), entriesOf(ini));
        }
    }
}

TEST(IniFileLoad, DevicePathsGoThroughTheDeviceAndUnmappableFilesFail)
{
    test::TestDevice device;
    device.writeFile("Windows/dumps.ini", "[Dumps]\r\nCount=4\r\n");
    device.writeFile("Windows/empty.ini", "");
    IniFile ini;
    ASSERT_TRUE(ini.load(u"\\WINDOWS\\Dumps.ini"));
    EXPECT_EQ(ini.getInt(u"Dumps", u"Count", 0), 4);
    ini.setInt(u"Dumps", u"Count", 5);
    ASSERT_TRUE(ini.save(u"\\Windows\\New\\dumps.ini", 2));
    const std::string saved = device.readFile("Windows/New/dumps.ini");
    EXPECT_EQ(saved.substr(0, 4), std::string("\xFF\xFE\x5B\x00", 4));
    EXPECT_EQ(saved, utf16(u"[Dumps]\r\nCount=5\r\n\r\n", true));
    EXPECT_FALSE(ini.load(u"\\Windows\\missing.ini"));
    EXPECT_TRUE(ini.sections().empty());
    EXPECT_FALSE(ini.load(u"\\Windows\\empty.ini"));
}

}  // namespace
}  // namespace druvex

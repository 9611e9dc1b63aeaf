// The package header parser: the record tree as the writer lays it out, end
// records inside child lists, extension fields, the limits on nesting and
// sizes, and the names that may stand in a package.
#include <gtest/gtest.h>

#include "core/input_limits.h"
#include "package_writer/package_writer.h"
#include "payload/package_header.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

void putLe(Bytes& out, std::uint64_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putName(Bytes& out, std::u16string_view name)
{
    putLe(out, name.size(), 2);
    for (const char16_t unit : name)
        putLe(out, unit, 2);
}

// A header from record bytes: size word, version, the records, an end record.
Bytes headerOf(const Bytes& records, std::uint32_t version = 5, bool end = true)
{
    Bytes out;
    putLe(out, 0, 8);
    putLe(out, version, 4);
    out.insert(out.end(), records.begin(), records.end());
    if (end)
        putLe(out, 7, 4);
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<std::uint8_t>(out.size() >> (8 * i));
    return out;
}

Bytes folderRecord(std::u16string_view name, std::uint32_t children)
{
    Bytes out;
    putLe(out, 2, 4);
    putName(out, name);
    putLe(out, 0, 4);
    putLe(out, children, 4);
    putLe(out, 0, 4);
    return out;
}

bool parse(const Bytes& header, PackageHeader& parsed, std::string& reason)
{
    return parsePackageHeader(header, parsed, reason);
}

TEST(PackageUnpackerHeader, TheWritersTreeComesBackInRecordOrder)
{
    tools::PackageWriter writer;
    writer.addData(kPackageRecordShortcuts, {1, 2, 3});
    writer.openFolder(u"<TARGETDIR>", 16, {{0x55, {9}}, {0x7FFFFFFF, Bytes(1001, 7)}});
    writer.addFile(u"x.dll", Bytes(10, 1), 132000000000000000ull, 0x0003000500000000ull, 8, {{3, {}}});
    writer.openFolder(u"bin").addFile(u"empty.txt", {}).closeFolder();
    writer.addData(12, Bytes(4, 0));
    writer.closeFolder();
    writer.openFolder(u"<WINDOWS>").closeFolder();
    const Bytes header = writer.header();

    PackageHeader parsed;
    std::string reason;
    ASSERT_TRUE(parse(header, parsed, reason)) << reason;
    EXPECT_EQ(parsed.headerSize, header.size());
    EXPECT_EQ(parsed.version, 5u);
    struct Expected {
        std::uint32_t type;
        std::u16string name;
        std::uint64_t size;
        std::int32_t parent;
    };
    const Expected expected[] = {{8, u"", 3, -1},        {2, u"<TARGETDIR>", 0, -1}, {1, u"x.dll", 10, 1},
                                 {2, u"bin", 0, 1},      {1, u"empty.txt", 0, 3},    {12, u"", 4, 1},
                                 {2, u"<WINDOWS>", 0, -1}};
    ASSERT_EQ(parsed.records.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(parsed.records[i].type, expected[i].type);
        EXPECT_EQ(parsed.records[i].name.view(), expected[i].name);
        EXPECT_EQ(parsed.records[i].dataSize, expected[i].size);
        EXPECT_EQ(parsed.records[i].parent, expected[i].parent);
    }
    EXPECT_EQ(parsed.records[1].flags, 16u);
    EXPECT_EQ(parsed.records[2].flags, 8u);
    EXPECT_EQ(parsed.records[2].timeStamp, 132000000000000000ull);
    EXPECT_EQ(parsed.records[2].version, 0x0003000500000000ull);
    EXPECT_EQ(parsed.fileBytes, 10u);
    EXPECT_EQ(parsed.dataBytes, 17u);
}

// An end record in a child list ends the whole tree, however many children
// the folders announced; bytes after it up to the header size are not read.
TEST(PackageUnpackerHeader, AnEndRecordInAChildListEndsTheTree)
{
    for (const std::uint32_t endType : {0u, 7u}) {
        Bytes records = folderRecord(u"<TARGETDIR>", 5);
        const Bytes inner = folderRecord(u"a", 3);
        records.insert(records.end(), inner.begin(), inner.end());
        putLe(records, endType, 4);
        putLe(records, 0xDEADBEEF, 4);  // never read as a record
        PackageHeader parsed;
        std::string reason;
        ASSERT_TRUE(parse(headerOf(records, 5, false), parsed, reason)) << reason;
        EXPECT_EQ(parsed.records.size(), 2u);
    }
}

TEST(PackageUnpackerHeader, EveryVersionUpToFiveReadsTheSameLayout)
{
    for (std::uint32_t version = 0; version <= 6; ++version) {
        PackageHeader parsed;
        std::string reason;
        EXPECT_EQ(parse(headerOf(folderRecord(u"<TARGETDIR>", 0), version), parsed, reason), version <= 5)
            << version;
    }
}

TEST(PackageUnpackerHeader, NestingStopsAtTheLimit)
{
    auto nested = [](std::uint32_t depth) {
        Bytes records;
        for (std::uint32_t i = 0; i < depth; ++i) {
            const Bytes folder = folderRecord(i == 0 ? u"<TARGETDIR>" : u"d", i + 1 < depth ? 1 : 0);
            records.insert(records.end(), folder.begin(), folder.end());
        }
        return headerOf(records);
    };
    PackageHeader parsed;
    std::string reason;
    EXPECT_TRUE(parse(nested(kMaxFolderNesting + 1), parsed, reason)) << reason;
    EXPECT_EQ(parsed.records.size(), kMaxFolderNesting + 1);
    EXPECT_FALSE(parse(nested(kMaxFolderNesting + 2), parsed, reason));
    EXPECT_NE(reason.find("nested"), std::string::npos);
    EXPECT_FALSE(parse(nested(100000), parsed, reason));
}

TEST(PackageUnpackerHeader, DamagedHeadersAreRefused)
{
    const Bytes good = headerOf(folderRecord(u"<TARGETDIR>", 0));
    struct Case {
        const char* what;
        Bytes header;
    };
    std::vector<Case> cases;
    Bytes sizeChanged = good;
    sizeChanged[0] ^= 1;
    cases.push_back({"size word differs from the header", sizeChanged});
    cases.push_back({"cut before the version", Bytes(good.begin(), good.begin() + 10)});
    Bytes noEnd = headerOf(folderRecord(u"<TARGETDIR>", 0), 5, false);
    cases.push_back({"no end record", noEnd});
    Bytes longName = good;
    longName[16] = 0xFF;  // the name's length runs past the header
    cases.push_back({"name past the end", longName});
    Bytes extension = folderRecord(u"<TARGETDIR>", 0);
    extension.resize(extension.size() - 4);
    putLe(extension, 9, 4);
    putLe(extension, 0x7FFFFFFF, 4);
    cases.push_back({"extension field past the end", headerOf(extension)});
    Bytes bigData;
    putLe(bigData, 12, 4);
    putLe(bigData, ~0ull, 8);
    putLe(bigData, 12, 4);
    putLe(bigData, 1, 8);
    cases.push_back({"data sizes that overflow", headerOf(bigData)});
    Bytes cutFile;
    putLe(cutFile, 1, 4);
    putName(cutFile, u"f");
    putLe(cutFile, 0, 4);
    putLe(cutFile, 5, 8);
    cases.push_back({"file record cut", headerOf(cutFile, 5, false)});
    for (const Case& c : cases) {
        PackageHeader parsed;
        std::string reason;
        EXPECT_FALSE(parse(c.header, parsed, reason)) << c.what;
        EXPECT_FALSE(reason.empty()) << c.what;
    }
}

TEST(PackageUnpackerHeader, NamesBelowTheTopCannotLeaveTheirFolder)
{
    struct Case {
        std::u16string name;
        bool top;
        bool below;
    };
    const Case cases[] = {
        {u"<TARGETDIR>", true, false},  {u"<WINDOWS>", true, false},   {u"\\Windows\\Fonts", true, false},
        {u"Program Files", true, true}, {u"x.dll", true, true},        {u"..x", true, true},
        {u"...", true, true},           {u"", false, false},           {u".", false, false},
        {u"..", false, false},          {u"a/b", true, false},         {u"a\\b", true, false},
        {u"c:x", true, false},          {u"<SYSDIR>", true, false},    {u"a>b", true, false},
        {u"a|b", true, false},          {u"a*b", true, false},         {u"a?b", true, false},
        {u"a\"b", true, false},         {u"a\tb", false, false},       {u"a\x7F", false, false},
        {u"<TARGETDIR>/..", false, false}, {u"<TARGETDIR>\\..\\x", false, false}, {u"./x", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isSafePackageName(c.name, true), c.top) << std::string(c.name.begin(), c.name.end());
        EXPECT_EQ(isSafePackageName(c.name, false), c.below) << std::string(c.name.begin(), c.name.end());
    }

    // In a header, a name that could climb out refuses the whole package.
    Bytes records = folderRecord(u"<TARGETDIR>", 1);
    const Bytes climbing = folderRecord(u"..", 0);
    records.insert(records.end(), climbing.begin(), climbing.end());
    PackageHeader parsed;
    std::string reason;
    EXPECT_FALSE(parse(headerOf(records), parsed, reason));
    EXPECT_NE(reason.find("\"..\""), std::string::npos) << reason;
}

}  // namespace
}  // namespace druvex

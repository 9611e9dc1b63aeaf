// The package header parser's limits: how deep folders may nest, and which
// names may stand in a package.
#include <gtest/gtest.h>

#include "platform/input_limits.h"
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

// A header from record bytes: size word, version 5, the records, an end record.
Bytes headerOf(const Bytes& records)
{
    Bytes out;
    putLe(out, 0, 8);
    putLe(out, 5, 4);
    out.insert(out.end(), records.begin(), records.end());
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
    EXPECT_TRUE(parsePackageHeader(nested(kMaxFolderNesting + 1), parsed, reason)) << reason;
    EXPECT_EQ(parsed.records.size(), kMaxFolderNesting + 1);
    EXPECT_FALSE(parsePackageHeader(nested(kMaxFolderNesting + 2), parsed, reason));
    EXPECT_NE(reason.find("nested"), std::string::npos);
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
    EXPECT_FALSE(parsePackageHeader(headerOf(records), parsed, reason));
    EXPECT_NE(reason.find("\"..\""), std::string::npos) << reason;
}

// Every record of a header becomes a node or an entry of the unpacker's
// lists: their number is bounded whatever the header's size allows.
TEST(PackageUnpackerHeader, RecordsStopAtTheLimit)
{
    // The top folder, then data records to pass over, twelve bytes each.
    const auto records = [](std::uint64_t count) {
        Bytes bytes = folderRecord(u"<TARGETDIR>", 0);
        for (std::uint64_t i = 1; i < count; ++i) {
            putLe(bytes, kPackageRecordFirstSkipped, 4);
            putLe(bytes, 0, 8);
        }
        return headerOf(bytes);
    };
    PackageHeader parsed;
    std::string reason;
    std::int64_t refused = -1;
    ASSERT_TRUE(parsePackageHeader(records(kMaxPackageRecords), parsed, reason, &refused)) << reason;
    EXPECT_EQ(parsed.records.size(), kMaxPackageRecords);
    EXPECT_EQ(parsed.records.front().name, u"<TARGETDIR>");
    EXPECT_EQ(refused, -1);
    EXPECT_FALSE(parsePackageHeader(records(kMaxPackageRecords + 1), parsed, reason, &refused));
    EXPECT_EQ(reason, "the package holds more than " + std::to_string(kMaxPackageRecords) + " records");
    EXPECT_EQ(refused, static_cast<std::int64_t>(kMaxPackageRecords));
    EXPECT_TRUE(parsed.records.empty());
}

}  // namespace
}  // namespace druvex

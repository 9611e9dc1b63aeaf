// The translation map's byte layout, damaged maps, and lengths from the data
// that would ask for far more memory than the map holds.
#include "controller/translation_map.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "allocation_probe.h"
#include "core/byte_stream.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

void putLe16(Bytes& bytes, std::uint16_t value)
{
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void putLe32(Bytes& bytes, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

// One record as the map lays it out; `units` is the length written, which
// may differ from the name's.
Bytes record(std::uint16_t lcid, std::u16string_view name, std::uint32_t units)
{
    Bytes bytes;
    putLe16(bytes, lcid);
    putLe32(bytes, units);
    for (const char16_t unit : name)
        putLe16(bytes, unit);
    return bytes;
}

Bytes record(std::uint16_t lcid, std::u16string_view name)
{
    return record(lcid, name, static_cast<std::uint32_t>(name.size()));
}

Bytes map(std::uint32_t count, std::initializer_list<Bytes> records)
{
    Bytes bytes;
    putLe32(bytes, count);
    for (const Bytes& one : records)
        bytes.insert(bytes.end(), one.begin(), one.end());
    return bytes;
}

std::vector<std::pair<std::uint16_t, std::u16string>> contents(const std::vector<TranslationMapRecord>& records)
{
    std::vector<std::pair<std::uint16_t, std::u16string>> result;
    for (const TranslationMapRecord& one : records)
        result.emplace_back(one.lcid, std::u16string(one.name.view()));
    return result;
}

using Contents = std::vector<std::pair<std::uint16_t, std::u16string>>;

TEST(TranslationMap, RecordsAsLaidOut)
{
    std::vector<TranslationMapRecord> records;
    ASSERT_TRUE(parseTranslationMap(
        map(3, {record(1031, u"Deutsch"), record(1036, u""), record(2052, std::u16string_view(u"Chi\0nese", 8))}),
        records));
    // A name of length 0 is empty; a name holding a zero unit ends there.
    EXPECT_EQ(contents(records), (Contents{{1031, u"Deutsch"}, {1036, u""}, {2052, u"Chi"}}));

    ASSERT_TRUE(parseTranslationMap(map(0, {}), records));
    EXPECT_TRUE(records.empty());
}

TEST(TranslationMap, DamagedMapsFailAndKeepWhatCameBefore)
{
    const Bytes deutsch = record(1031, u"Deutsch");
    Bytes cutName = record(1036, u"Fran\u00E7ais");
    cutName.resize(cutName.size() - 3);
    Bytes cutLength = record(1036, u"x");
    cutLength.resize(4);
    struct Case {
        const char* what;
        Bytes bytes;
        Contents kept;
    } cases[] = {
        {"three bytes", Bytes{1, 0, 0}, {}},
        {"no bytes", Bytes{}, {}},
        {"more records counted than there are", map(2, {deutsch, Bytes{0x0C}}), {{1031, u"Deutsch"}}},
        {"a name cut short", map(2, {deutsch, cutName}), {{1031, u"Deutsch"}}},
        {"a length cut short", map(2, {deutsch, cutLength}), {{1031, u"Deutsch"}}},
        {"a length beyond the end", map(1, {record(1031, u"Deutsch", 8)}), {}},
    };
    for (const Case& c : cases) {
        std::vector<TranslationMapRecord> records;
        EXPECT_FALSE(parseTranslationMap(c.bytes, records)) << c.what;
        EXPECT_EQ(contents(records), c.kept) << c.what;
    }
}

// A language's name becomes part of its file's path in the "lng" folder.
TEST(TranslationMap, NamesThatCouldLeaveTheLanguageFolderAreRefused)
{
    const Bytes deutsch = record(1031, u"Deutsch");
    for (const std::u16string_view name : {u"..", u"../../x", u"..\\..\\x", u"a/b", u"a\\b", u"x..y", u"/"}) {
        std::vector<TranslationMapRecord> records;
        EXPECT_FALSE(parseTranslationMap(map(3, {deutsch, record(1036, name), record(1040, u"Italiano")}), records))
            << std::string(name.begin(), name.end());
        EXPECT_EQ(contents(records), (Contents{{1031, u"Deutsch"}}));
    }
    // A dot alone, or two apart, leads nowhere.
    std::vector<TranslationMapRecord> records;
    EXPECT_TRUE(parseTranslationMap(map(2, {record(1036, u"Fr. Canada"), record(1040, u".")}), records));
    EXPECT_TRUE(isSafeLanguageName(u""));
    EXPECT_TRUE(isSafeLanguageName(u"Chinese_Simplified"));
}

TEST(TranslationMap, HugeCountOrLengthFailsAtOnceWithoutAllocating)
{
    struct Case {
        const char* what;
        Bytes bytes;
    } cases[] = {
        {"count", map(0x7FFFFFFF, {record(1031, u"Deutsch")})},
        {"count of all ones", map(0xFFFFFFFF, {record(1031, u"Deutsch")})},
        {"name length", map(1, {record(1031, u"Deutsch", 0x7FFFFFFF)})},
        {"name length of all ones", map(1, {record(1031, u"Deutsch", 0xFFFFFFFF)})},
    };
    for (const Case& c : cases) {
        std::vector<TranslationMapRecord> records;
        test::AllocationProbe probe;
        EXPECT_FALSE(parseTranslationMap(c.bytes, records)) << c.what;
        EXPECT_LT(probe.largest(), 4096u) << c.what;
        EXPECT_TRUE(records.empty()) << c.what;
    }
}

TEST(TranslationMap, LengthPrefixedTextOfLengthZeroLeavesTheTextAsItWas)
{
    Bytes bytes;
    putLe32(bytes, 0);
    MemoryStream stream(bytes, true);
    BoundedStreamReader reader(stream);
    SharedString text(u"before");
    EXPECT_TRUE(readLengthPrefixedWString(reader, text));
    EXPECT_EQ(text, u"before");
    // Nothing left for the count of a second text.
    EXPECT_FALSE(readLengthPrefixedWString(reader, text));
}

}  // namespace
}  // namespace druvex

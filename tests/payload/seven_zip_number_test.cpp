// The 7z number coding, the bounded header cursor and the archive name rule.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "payload/seven_zip_entry.h"
#include "payload/seven_zip_number.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct NumberCase {
    std::uint64_t value;
    Bytes bytes;
};

TEST(SevenZipNumber, EncodesAndDecodesAtEveryLengthBoundary)
{
    const Bytes allOnes(9, 0xFF);
    const std::vector<NumberCase> cases = {
        {0, {0x00}},
        {0x7F, {0x7F}},
        {0x80, {0x80, 0x80}},
        {0x3FFF, {0xBF, 0xFF}},
        {0x4000, {0xC0, 0x00, 0x40}},
        {0x1FFFFF, {0xDF, 0xFF, 0xFF}},
        {0x200000, {0xE0, 0x00, 0x00, 0x20}},
        {0xFFFFFFFF, {0xF0, 0xFF, 0xFF, 0xFF, 0xFF}},
        {0x00FFFFFFFFFFFFFF, {0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {0x0100000000000000, {0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}},
        {UINT64_MAX, allOnes},
    };
    for (const auto& [value, bytes] : cases) {
        Bytes encoded;
        appendSevenZipNumber(encoded, value);
        EXPECT_EQ(encoded, bytes) << value;
        SevenZipCursor cursor(bytes);
        EXPECT_EQ(cursor.readNumber(), value);
        EXPECT_FALSE(cursor.failed());
        EXPECT_TRUE(cursor.atEnd());
    }
}

TEST(SevenZipNumber, CursorFailsForGoodWhenItRunsOut)
{
    const Bytes cut = {0xE0, 0x00, 0x00};  // a four-byte number missing its last byte
    SevenZipCursor number(cut);
    EXPECT_EQ(number.readNumber(), 0u);
    EXPECT_TRUE(number.failed());

    const Bytes three = {1, 2, 3};
    SevenZipCursor fixed(three);
    EXPECT_EQ(fixed.readUInt32(), 0u);
    EXPECT_TRUE(fixed.failed());
    EXPECT_EQ(fixed.readByte(), 0u);  // the failure sticks although bytes remain
    EXPECT_TRUE(fixed.readBytes(1).empty());

    SevenZipCursor huge(three);
    EXPECT_TRUE(huge.readBytes(UINT64_MAX).empty());
    EXPECT_TRUE(huge.failed());
}

TEST(SevenZipNames, OnlyNamesThatStayInsideTheTargetFolder)
{
    for (const char16_t* name : {u"settings.xml", u"jobs/a/b.txt", u"a..b", u"..a/b", u"x/.hidden"})
        EXPECT_TRUE(isSafeArchiveName(name)) << std::string(name, name + std::char_traits<char16_t>::length(name));
    for (const char16_t* name : {u"", u"..", u".", u"../x", u"a/../../x", u"a/..", u"/abs", u"a//b", u"a/",
                                 u"./a", u"a\\b", u"..\\x", u"c:x", u"C:/x"})
        EXPECT_FALSE(isSafeArchiveName(name)) << std::string(name, name + std::char_traits<char16_t>::length(name));
}

}  // namespace
}  // namespace druvex

// Byte-order marks and the text-file encoding heuristic.
#include <gtest/gtest.h>

#include <vector>

#include "text/byte_order_mark.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct MarkCase {
    Bytes bytes;
    ByteOrderMarkKind kind;
    int length;
    TextFileEncoding encoding;
};

TEST(BomFind, EveryMarkAndTheNearMisses)
{
    const MarkCase cases[] = {
        {{0xFF, 0xFE, 0x00, 0x00, 0x41}, kBomUtf32LE, 4, kEncodingUnsupported},
        {{0xFF, 0xFE, 0x41, 0x00}, kBomUtf16LE, 2, kEncodingUtf16LE},
        {{0xFF, 0xFE, 0x00}, kBomUtf16LE, 2, kEncodingUtf16LE},  // too short for UTF-32LE
        {{0xEF, 0xBB, 0xBF, 0x41}, kBomUtf8, 3, kEncodingUtf8},
        {{0xEF, 0xBB, 0xBF}, kBomUtf8, 3, kEncodingUtf8},
        {{0x2B, 0x2F, 0x76, 0x38}, kBomUtf7, 3, kEncodingUnsupported},
        {{0x2B, 0x2F, 0x76, 0x39}, kBomUtf7, 3, kEncodingUnsupported},
        {{0x2B, 0x2F, 0x76, 0x2B}, kBomUtf7, 3, kEncodingUnsupported},
        {{0x2B, 0x2F, 0x76, 0x2F}, kBomUtf7, 3, kEncodingUnsupported},
        {{0x2B, 0x2F, 0x76, 0x41}, kBomNone, 0, kEncodingAnsi},
        {{0x2B, 0x2F, 0x76}, kBomNone, 0, kEncodingAnsi},
        {{0xFE, 0xFF, 0x00, 0x41}, kBomUtf16BE, 2, kEncodingUnsupported},
        {{0x00, 0x00, 0xFE, 0xFF}, kBomUtf32BE, 4, kEncodingUnsupported},
        {{0xFB, 0xEE, 0x28}, kBomBocu1, 3, kEncodingUnsupported},
        {{0x0E, 0xFE, 0xFF}, kBomScsu, 3, kEncodingUnsupported},
        {{0xDD, 0x73, 0x66, 0x73}, kBomUtfEbcdic, 4, kEncodingUnsupported},
        {{0xDD, 0x73, 0x66}, kBomNone, 0, kEncodingAnsi},
        {{0xEF, 0xBB}, kBomNone, 0, kEncodingAnsi},
    };
    for (const auto& c : cases) {
        int length = -1;
        EXPECT_EQ(findByteOrderMark(c.bytes.data(), c.bytes.size(), &length), c.kind) << c.bytes.size();
        EXPECT_EQ(length, c.length);
        length = -1;
        EXPECT_EQ(detectTextEncoding(c.bytes.data(), c.bytes.size(), &length), c.encoding) << int(c.kind);
        EXPECT_EQ(length, c.length) << int(c.kind);
    }
    int length = -1;
    EXPECT_EQ(findByteOrderMark(nullptr, 4, &length), kBomNone);
    EXPECT_EQ(length, 0);
}

TEST(BomDetect, HeuristicWithoutMark)
{
    struct Case {
        Bytes bytes;
        TextFileEncoding encoding;
    };
    const Case cases[] = {
        {{'a', 0, 'b', 0, 'c', 0, 'd', 0, 'e', 0}, kEncodingUtf16LE},
        {{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'}, kEncodingAnsi},
        {{'a', 0, 'b', 0, 'c', 0, 'd', 0}, kEncodingAnsi},           // 8 bytes: too short to judge
        {{'a', 0, 'b', 0, 'c', 0, 'd', 'x', 0}, kEncodingAnsi},      // non-zero at offset 7
        {{0, 0, 0, 0, 0, 0, 'd', 0, 0}, kEncodingUtf16LE},           // only offset 6 set
        {{0, 0, 0, 0, 0, 0, 0, 0, 0}, kEncodingAnsi},                // zeros up to offset 6
        {{0, 0, 0, 0, 'c', 0, 0, 0, 0}, kEncodingUtf16LE},
        {{'a'}, kEncodingUnsupported},
        {{}, kEncodingUnsupported},
    };
    for (const auto& c : cases) {
        int length = -1;
        EXPECT_EQ(detectTextEncoding(c.bytes.data(), c.bytes.size(), &length), c.encoding) << c.bytes.size();
        EXPECT_EQ(length, 0);
    }
    EXPECT_EQ(detectTextEncoding(nullptr, 10, nullptr), kEncodingUnsupported);
}

TEST(BomGet, EveryKindRoundTripsThroughFind)
{
    for (int kind = 1; kind <= 9; ++kind) {
        std::uint8_t mark[8] = {};
        int length = 0;
        ASSERT_TRUE(getByteOrderMark(kind, mark, length)) << kind;
        if (kind == kBomUtf7)
            mark[length] = '8';  // the mark needs its fourth byte to be recognised
        const std::size_t size = static_cast<std::size_t>(kind == kBomUtf7 ? length + 1 : length);
        int found = 0;
        EXPECT_EQ(findByteOrderMark(mark, size, &found), kind);
        EXPECT_EQ(found, length);
    }
    std::uint8_t mark[4];
    int length = 7;
    EXPECT_FALSE(getByteOrderMark(0, mark, length));
    EXPECT_FALSE(getByteOrderMark(10, mark, length));
    EXPECT_EQ(length, 7);
}

}  // namespace
}  // namespace druvex

// The LZMA SDK as our build compiles it, checked against xz's LZMA_alone format.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include <lzma/LzmaDec.h>
#include <lzma/LzmaEnc.h>

#include "support/external_tool.h"

namespace {

using druvex::test::Bytes;

void* allocBlock(void*, size_t size) { return ::operator new(size); }
void freeBlock(void*, void* address) { ::operator delete(address); }
ISzAlloc g_alloc = {allocBlock, freeBlock};

Bytes sampleData()
{
    std::mt19937 random(7);
    Bytes data;
    const std::string words[] = {"survey ", "point ", "station ", "level ", "\r\n", "42 "};
    while (data.size() < 300000) {
        const std::string& word = words[random() % 6];
        data.insert(data.end(), word.begin(), word.end());
        if (random() % 50 == 0)
            data.push_back(static_cast<std::uint8_t>(random()));
    }
    return data;
}

// 13-byte header (5 property bytes, u64 size) followed by the stream.
Bytes encodeLevel5(const Bytes& input)
{
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = 5;
    Bytes out(13 + input.size() + input.size() / 2 + 1024);
    SizeT propsSize = 5;
    SizeT destLen = out.size() - 13;
    const int rc = LzmaEncode(out.data() + 13, &destLen, input.data(), input.size(), &props, out.data(), &propsSize,
                              0, nullptr, &g_alloc, &g_alloc);
    EXPECT_EQ(rc, SZ_OK);
    EXPECT_EQ(propsSize, 5u);
    const std::uint64_t size = input.size();
    for (int i = 0; i < 8; ++i)
        out[5 + i] = static_cast<std::uint8_t>(size >> (8 * i));
    out.resize(13 + destLen);
    return out;
}

Bytes decode(const Bytes& stream)
{
    Bytes out;
    if (stream.size() < 13)
        return out;
    std::uint64_t size = 0;
    for (int i = 0; i < 8; ++i)
        size |= std::uint64_t(stream[5 + i]) << (8 * i);
    const bool knownSize = size != ~std::uint64_t(0);
    CLzmaDec dec;
    LzmaDec_Construct(&dec);
    if (LzmaDec_Allocate(&dec, stream.data(), 5, &g_alloc) != SZ_OK)
        return out;
    LzmaDec_Init(&dec);
    size_t pos = 13;
    std::uint8_t buffer[65536];
    for (;;) {
        SizeT inLen = stream.size() - pos;
        SizeT outLen = sizeof(buffer);
        ELzmaStatus status;
        const int rc = LzmaDec_DecodeToBuf(&dec, buffer, &outLen, stream.data() + pos, &inLen, LZMA_FINISH_ANY, &status);
        pos += inLen;
        out.insert(out.end(), buffer, buffer + outLen);
        if (rc != SZ_OK || status == LZMA_STATUS_FINISHED_WITH_MARK)
            break;
        if (knownSize && out.size() >= size)
            break;
        if (inLen == 0 && outLen == 0)
            break;
    }
    LzmaDec_Free(&dec, &g_alloc);
    return out;
}

TEST(DepsLzma, OurEncoderDecodesWithXz)
{
    const Bytes data = sampleData();
    const Bytes stream = encodeLevel5(data);
    const Bytes header(stream.begin(), stream.begin() + 5);
    EXPECT_EQ(header, (Bytes{0x5D, 0x00, 0x00, 0x00, 0x01}));
    const auto result = druvex::test::runTool("xz --format=lzma -dc", stream);
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.output == data);
    EXPECT_TRUE(decode(stream) == data);
}

TEST(DepsLzma, XzOutputDecodesWithOurs)
{
    const Bytes data = sampleData();
    const auto result = druvex::test::runTool("xz --format=lzma -c", data);
    ASSERT_EQ(result.exitCode, 0);
    ASSERT_GE(result.output.size(), 13u);
    // xz writes an unknown size and ends the stream with a mark.
    for (int i = 5; i < 13; ++i)
        EXPECT_EQ(result.output[i], 0xFF);
    EXPECT_TRUE(decode(result.output) == data);
}

}  // namespace

// The LZMA SDK as our build compiles it, checked against xz's LZMA_alone format.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include <lzma/LzmaDec.h>
#include <lzma/LzmaEnc.h>

#include "support/external_tool.h"

namespace {

using druvex::test::Bytes;

void* allocBlock(ISzAllocPtr, size_t size) { return ::operator new(size); }
void freeBlock(ISzAllocPtr, void* address) { ::operator delete(address); }
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
    props.dictSize = 1u << 24;  // the SDK's own default for level 5 has changed over the years
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

// Decodes a stream with its 13-byte header into at most `capacity` bytes.
Bytes decode(const Bytes& stream, std::size_t capacity, ELzmaStatus expectedStatus)
{
    Bytes out(capacity);
    SizeT outLen = capacity;
    SizeT inLen = stream.size() - 13;
    ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
    EXPECT_EQ(LzmaDecode(out.data(), &outLen, stream.data() + 13, &inLen, stream.data(), 5, LZMA_FINISH_ANY, &status,
                         &g_alloc),
              SZ_OK);
    EXPECT_EQ(status, expectedStatus);
    out.resize(outLen);
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
    EXPECT_TRUE(decode(stream, data.size(), LZMA_STATUS_MAYBE_FINISHED_WITHOUT_MARK) == data);
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
    EXPECT_TRUE(decode(result.output, data.size() + 1, LZMA_STATUS_FINISHED_WITH_MARK) == data);
}

}  // namespace

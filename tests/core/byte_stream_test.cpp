// MemoryStream: reads bounded by the vector, writes that overwrite and then
// append, the read-only flag and the running totals.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/byte_stream.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(MemoryStream, ReadsUpToTheEndAndReadOnlyRefusesWrites)
{
    Bytes bytes{1, 2, 3, 4, 5};
    MemoryStream stream(bytes, true);
    std::uint8_t buffer[8] = {};
    std::size_t total = 10;
    EXPECT_TRUE(stream.read(buffer, 3, &total));
    EXPECT_EQ(total, 13u);
    EXPECT_TRUE(stream.read(buffer, 8, &total));
    EXPECT_EQ(total, 15u);
    EXPECT_EQ(buffer[0], 4);
    EXPECT_EQ(buffer[1], 5);
    EXPECT_FALSE(stream.read(buffer, 8, &total));
    EXPECT_EQ(total, 15u);
    stream.rewind();
    EXPECT_TRUE(stream.read(buffer, 1));
    EXPECT_EQ(buffer[0], 1);
    std::uint64_t size = 0;
    EXPECT_TRUE(stream.size(size));
    EXPECT_EQ(size, 5u);
    // The stream is read-only.
    std::size_t written = 0;
    EXPECT_FALSE(stream.write(buffer, 1, &written));
    EXPECT_EQ(written, 0u);
    EXPECT_EQ(bytes, (Bytes{1, 2, 3, 4, 5}));
}

TEST(MemoryStream, WriteOverwritesThenAppends)
{
    Bytes bytes{1, 2, 3, 4};
    MemoryStream stream(bytes);
    std::uint8_t skip[2];
    ASSERT_TRUE(stream.read(skip, 2));
    const std::uint8_t data[] = {7, 8, 9, 10};
    std::size_t written = 1;
    EXPECT_TRUE(stream.write(data, 4, &written));
    EXPECT_EQ(written, 5u);
    EXPECT_EQ(bytes, (Bytes{1, 2, 7, 8, 9, 10}));
    stream.rewind();
    EXPECT_TRUE(stream.write(data, 1));
    EXPECT_EQ(bytes, (Bytes{7, 2, 7, 8, 9, 10}));
    // The position follows the writes: a read goes on after them.
    std::uint8_t next = 0;
    EXPECT_TRUE(stream.read(&next, 1));
    EXPECT_EQ(next, 2);
}

TEST(MemoryStream, VectorShrunkBehindTheStream)
{
    Bytes bytes{1, 2, 3};
    MemoryStream stream(bytes);
    std::uint8_t buffer[3];
    ASSERT_TRUE(stream.read(buffer, 3));
    bytes.clear();
    EXPECT_FALSE(stream.read(buffer, 1));
    const std::uint8_t data[] = {9};
    EXPECT_TRUE(stream.write(data, 1));
    EXPECT_EQ(bytes, Bytes{9});
}

}  // namespace
}  // namespace druvex

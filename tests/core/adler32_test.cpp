// Adler-32 with this system's order of the halves (byte sum high): fixed
// values and agreement with zlib, halves exchanged, over any piece sizes.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/adler32.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint32_t adlerOf(const Bytes& bytes)
{
    Adler32 adler;
    adler.update(bytes.size(), bytes.data());
    return adler.final();
}

std::uint32_t zlibSwapped(const std::uint8_t* data, std::size_t count)
{
    const uLong value = adler32_z(adler32_z(0, nullptr, 0), data, count);
    return static_cast<std::uint32_t>((value & 0xFFFF) << 16 | value >> 16);
}

TEST(Adler32Values, FixedCheckWordsAndNewSums)
{
    EXPECT_EQ(adlerOf({}), 0x00010000u);
    EXPECT_EQ(adlerOf({'a', 'b', 'c'}), 0x0127024Du);
    EXPECT_EQ(adlerOf(Bytes(100000, 0xFF)), 0x302C149Au);
    // final and init start a new sum.
    Adler32 adler;
    adler.update(3, "abc");
    EXPECT_EQ(adler.final(), 0x0127024Du);
    EXPECT_EQ(adler.final(), 0x00010000u);
    adler.update(3, "abc");
    adler.init();
    EXPECT_EQ(adler.final(), 0x00010000u);
}

// The sums are reduced on the way; worst-case bytes (all 0xFF) and random
// ones, of many lengths, in pieces of sizes that meet the reduction points,
// must give what zlib gives.
TEST(Adler32Oracle, LengthsAndPiecesAgreeWithZlib)
{
    std::mt19937 random(7);
    Bytes randomBytes(300000);
    for (auto& byte : randomBytes)
        byte = static_cast<std::uint8_t>(random());
    const Bytes full(300000, 0xFF);
    for (const Bytes* data : {static_cast<const Bytes*>(&randomBytes), &full}) {
        for (std::size_t length : {0u, 1u, 7u, 8u, 9u, 31u, 5552u, 5553u, 32768u, 65536u, 100001u, 300000u}) {
            const std::uint32_t expected = zlibSwapped(data->data(), length);
            for (std::size_t piece : {1u, 7u, 8u, 32768u, 32769u, 100000u, 0u}) {
                Adler32 adler;
                for (std::size_t done = 0; done < length;) {
                    const std::size_t size = piece ? piece : random() % 70000;
                    adler.update(std::min(size, length - done), data->data() + done);
                    done += std::min(size, length - done);
                }
                EXPECT_EQ(adler.final(), expected) << "length " << length << " pieces of " << piece;
            }
        }
    }
}

}  // namespace
}  // namespace druvex

// SHA-1: the published vectors, agreement with OpenSSL over many lengths,
// piece splits and alignments, and the digest-length rules of final.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/sha1.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string toHex(const std::uint8_t* bytes, std::size_t count)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 15];
    }
    return text;
}

std::string opensslSha1(const std::uint8_t* data, std::size_t count)
{
    std::uint8_t digest[EVP_MAX_MD_SIZE];
    unsigned length = 0;
    EXPECT_EQ(EVP_Digest(data, count, digest, &length, EVP_sha1(), nullptr), 1);
    return toHex(digest, length);
}

std::string hexOf(Sha1& sha)
{
    const SharedStringA narrow = toUtf8(sha.hexDigest(20));
    return std::string(narrow.c_str(), static_cast<std::size_t>(narrow.length()));
}

std::string sha1Of(std::string_view text)
{
    Sha1 sha;
    sha.update(text.size(), text.data());
    return hexOf(sha);
}

TEST(Sha1Vectors, PublishedDigests)
{
    EXPECT_EQ(sha1Of(""), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
    EXPECT_EQ(sha1Of("abc"), "A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(sha1Of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
    EXPECT_EQ(sha1Of(std::string(1000000, 'a')), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
}

// Every length around the padding boundaries and well beyond, each fed in
// random pieces from a random (often odd) offset, against OpenSSL: with the
// CPU's SHA instructions where it has them, and with the portable code.
class Sha1Oracle : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { Sha1::allowCpuInstructions(GetParam()); }
    void TearDown() override { Sha1::allowCpuInstructions(true); }
};

INSTANTIATE_TEST_SUITE_P(Code, Sha1Oracle, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "CpuInstructions" : "Portable"; });

TEST_P(Sha1Oracle, RandomBuffersLengthsAndPieces)
{
    if (!GetParam()) {
        EXPECT_FALSE(Sha1::cpuInstructions());
    }
    std::mt19937 random(20240611);
    Bytes storage(5000 + 8);
    for (auto& byte : storage)
        byte = static_cast<std::uint8_t>(random());
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 300; ++length)
        lengths.push_back(length);
    for (std::size_t length : {511u, 512u, 513u, 1000u, 4095u, 4096u, 4097u, 5000u})
        lengths.push_back(length);
    for (std::size_t length : lengths) {
        const std::size_t offset = random() % 8;
        const std::uint8_t* data = storage.data() + offset;
        Sha1 sha;
        std::size_t done = 0;
        while (done < length) {
            const std::size_t piece = std::min<std::size_t>(length - done, random() % 130);
            sha.update(piece, data + done);
            done += piece;
        }
        ASSERT_EQ(hexOf(sha), opensslSha1(data, length)) << "length " << length << " offset " << offset;
    }
}

TEST(Sha1Final, ShortDigestReuseAndTooLongDigests)
{
    Sha1 sha;
    sha.update(3, "abc");
    std::uint8_t out[32] = {};  // room for a digest written too long
    ASSERT_TRUE(sha.final(8, out));
    EXPECT_EQ(toHex(out, 8), "A9993E364706816A");
    EXPECT_EQ(out[8], 0);  // nothing beyond n
    // final started a new message.
    EXPECT_EQ(hexOf(sha), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
    sha.update(3, "abc");
    EXPECT_EQ(sha.hexDigest(0), SharedString());
    EXPECT_EQ(hexOf(sha), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");

    // A too long digest keeps the state.
    sha.update(1, "a");
    EXPECT_EQ(sha.hexDigest(21), SharedString());
    EXPECT_FALSE(sha.final(21, out));
    EXPECT_FALSE(sha.final(static_cast<unsigned>(-1), out));  // a negative int is a huge count
    sha.update(2, "bc");
    EXPECT_EQ(hexOf(sha), "A9993E364706816ABA3E25717850C26C9CD0D89D");
}

}  // namespace
}  // namespace druvex

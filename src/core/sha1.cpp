#include "core/sha1.h"

#include <bit>
#include <cstring>
#include <utility>

namespace druvex {
namespace {

std::uint32_t loadBigEndian(const std::uint8_t* bytes) noexcept
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

void storeBigEndian(std::uint8_t* bytes, std::uint32_t value) noexcept
{
    bytes[0] = static_cast<std::uint8_t>(value >> 24);
    bytes[1] = static_cast<std::uint8_t>(value >> 16);
    bytes[2] = static_cast<std::uint8_t>(value >> 8);
    bytes[3] = static_cast<std::uint8_t>(value);
}

// One round; the callers rotate the roles of the five working variables
// instead of moving values between them.
template <int kRound>
[[gnu::always_inline]] inline void sha1Round(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d,
                                             std::uint32_t& e, std::uint32_t* w, const std::uint8_t* block) noexcept
{
    std::uint32_t word;
    if constexpr (kRound < 16) {
        word = loadBigEndian(block + 4 * kRound);
        w[kRound] = word;
    } else {
        word = std::rotl(w[(kRound - 3) & 15] ^ w[(kRound - 8) & 15] ^ w[(kRound - 14) & 15] ^ w[kRound & 15], 1);
        w[kRound & 15] = word;
    }
    std::uint32_t f;
    std::uint32_t k;
    if constexpr (kRound < 20) {
        f = d ^ (b & (c ^ d));
        k = 0x5A827999;
    } else if constexpr (kRound < 40) {
        f = b ^ c ^ d;
        k = 0x6ED9EBA1;
    } else if constexpr (kRound < 60) {
        f = (b & c) | (d & (b | c));
        k = 0x8F1BBCDC;
    } else {
        f = b ^ c ^ d;
        k = 0xCA62C1D6;
    }
    e += std::rotl(a, 5) + f + k + word;
    b = std::rotl(b, 30);
}

template <int kFirst>
[[gnu::always_inline]] inline void sha1FiveRounds(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c,
                                                  std::uint32_t& d, std::uint32_t& e, std::uint32_t* w,
                                                  const std::uint8_t* block) noexcept
{
    sha1Round<kFirst>(a, b, c, d, e, w, block);
    sha1Round<kFirst + 1>(e, a, b, c, d, w, block);
    sha1Round<kFirst + 2>(d, e, a, b, c, w, block);
    sha1Round<kFirst + 3>(c, d, e, a, b, w, block);
    sha1Round<kFirst + 4>(b, c, d, e, a, w, block);
}

template <std::size_t... kGroup>
[[gnu::always_inline]] inline void sha1AllRounds(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c,
                                                 std::uint32_t& d, std::uint32_t& e, std::uint32_t* w,
                                                 const std::uint8_t* block, std::index_sequence<kGroup...>) noexcept
{
    (sha1FiveRounds<static_cast<int>(kGroup) * 5>(a, b, c, d, e, w, block), ...);
}

}  // namespace

void Sha1::init() noexcept
{
    state_[0] = 0x67452301;
    state_[1] = 0xEFCDAB89;
    state_[2] = 0x98BADCFE;
    state_[3] = 0x10325476;
    state_[4] = 0xC3D2E1F0;
    byteCount_ = 0;
}

void Sha1::hashBlocks(const std::uint8_t* blocks, std::size_t count) noexcept
{
    std::uint32_t w[16];
    for (; count > 0; --count, blocks += 64) {
        std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
        sha1AllRounds(a, b, c, d, e, w, blocks, std::make_index_sequence<16>());
        state_[0] += a;
        state_[1] += b;
        state_[2] += c;
        state_[3] += d;
        state_[4] += e;
    }
}

void Sha1::update(std::size_t count, const void* data) noexcept
{
    if (count == 0)
        return;
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    const std::size_t buffered = static_cast<std::size_t>(byteCount_ % 64);
    byteCount_ += count;
    if (buffered > 0) {
        const std::size_t room = 64 - buffered;
        if (count < room) {
            std::memcpy(block_ + buffered, bytes, count);
            return;
        }
        std::memcpy(block_ + buffered, bytes, room);
        hashBlocks(block_, 1);
        bytes += room;
        count -= room;
    }
    // Words are assembled byte by byte, so whole blocks are hashed in place
    // whatever the alignment.
    hashBlocks(bytes, count / 64);
    std::memcpy(block_, bytes + count / 64 * 64, count % 64);
}

bool Sha1::final(unsigned n, std::uint8_t* out) noexcept
{
    if (n > kDigestBytes)
        return false;
    const std::uint64_t bitCount = byteCount_ * 8;
    std::size_t used = static_cast<std::size_t>(byteCount_ % 64);
    block_[used++] = 0x80;
    if (used > 56) {
        std::memset(block_ + used, 0, 64 - used);
        hashBlocks(block_, 1);
        used = 0;
    }
    std::memset(block_ + used, 0, 56 - used);
    storeBigEndian(block_ + 56, static_cast<std::uint32_t>(bitCount >> 32));
    storeBigEndian(block_ + 60, static_cast<std::uint32_t>(bitCount));
    hashBlocks(block_, 1);
    std::uint8_t digest[kDigestBytes];
    for (int i = 0; i < 5; ++i)
        storeBigEndian(digest + 4 * i, state_[i]);
    if (n > 0)
        std::memcpy(out, digest, n);
    init();
    return true;
}

SharedString Sha1::hexDigest(unsigned n)
{
    std::uint8_t digest[kDigestBytes];
    if (!final(n, digest))
        return SharedString();
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    char16_t text[2 * kDigestBytes];
    for (unsigned i = 0; i < n; ++i) {
        text[2 * i] = kHex[digest[i] >> 4];
        text[2 * i + 1] = kHex[digest[i] & 15];
    }
    return SharedString::fromBuffer(text, static_cast<int>(2 * n));
}

}  // namespace druvex

#include "core/sha1.h"

#include <atomic>
#include <bit>
#include <cstring>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define DRUVEX_SHA1_X86 1
#endif

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

void hashBlocksPortable(std::uint32_t* state, const std::uint8_t* blocks, std::size_t count) noexcept
{
    std::uint32_t w[16];
    for (; count > 0; --count, blocks += 64) {
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
        sha1AllRounds(a, b, c, d, e, w, blocks, std::make_index_sequence<16>());
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
    }
}

#ifdef DRUVEX_SHA1_X86
// The CPU's SHA instructions: four rounds per instruction, the message
// schedule in four registers. `e` and `next` trade places from group to group.
template <int kGroup>
[[gnu::target("sha,sse4.1"), gnu::always_inline]] inline void shaNiGroup(__m128i& abcd, __m128i& e, __m128i& next,
                                                                          __m128i* m, const std::uint8_t* block,
                                                                          __m128i byteSwap) noexcept
{
    constexpr int kNow = kGroup % 4;
    if constexpr (kGroup < 4)
        m[kNow] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * kGroup)), byteSwap);
    if constexpr (kGroup == 0)
        e = _mm_add_epi32(e, m[0]);
    else
        e = _mm_sha1nexte_epu32(e, m[kNow]);
    next = abcd;
    if constexpr (kGroup >= 3 && kGroup <= 18)
        m[(kGroup + 1) % 4] = _mm_sha1msg2_epu32(m[(kGroup + 1) % 4], m[kNow]);
    abcd = _mm_sha1rnds4_epu32(abcd, e, kGroup / 5);
    if constexpr (kGroup >= 1 && kGroup <= 16)
        m[(kGroup + 3) % 4] = _mm_sha1msg1_epu32(m[(kGroup + 3) % 4], m[kNow]);
    if constexpr (kGroup >= 2 && kGroup <= 17)
        m[(kGroup + 2) % 4] = _mm_xor_si128(m[(kGroup + 2) % 4], m[kNow]);
}

template <std::size_t... kGroup>
[[gnu::target("sha,sse4.1"), gnu::always_inline]] inline void shaNiAllGroups(__m128i& abcd, __m128i& e0, __m128i& e1,
                                                                              __m128i* m, const std::uint8_t* block,
                                                                              __m128i byteSwap,
                                                                              std::index_sequence<kGroup...>) noexcept
{
    ((kGroup % 2 == 0 ? shaNiGroup<static_cast<int>(kGroup)>(abcd, e0, e1, m, block, byteSwap)
                      : shaNiGroup<static_cast<int>(kGroup)>(abcd, e1, e0, m, block, byteSwap)),
     ...);
}

[[gnu::target("sha,sse4.1")]] void hashBlocksShaNi(std::uint32_t* state, const std::uint8_t* blocks,
                                                   std::size_t count) noexcept
{
    const __m128i byteSwap = _mm_set_epi64x(0x0001020304050607LL, 0x08090A0B0C0D0E0FLL);
    __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
    __m128i e0 = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
    for (; count > 0; --count, blocks += 64) {
        const __m128i abcdBefore = abcd;
        const __m128i eBefore = e0;
        __m128i e1;
        __m128i m[4];
        shaNiAllGroups(abcd, e0, e1, m, blocks, byteSwap, std::make_index_sequence<20>());
        e0 = _mm_sha1nexte_epu32(e0, eBefore);
        abcd = _mm_add_epi32(abcd, abcdBefore);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
    state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e0, 3));
}

// Asked of cpuid itself: not every compiler's __builtin_cpu_supports knows "sha".
bool cpuHasShaInstructions() noexcept
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || !(ecx & bit_SSE4_1))
        return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return false;
    return (ebx & bit_SHA) != 0;
}
#else
bool cpuHasShaInstructions() noexcept
{
    return false;
}
#endif

std::atomic<bool> g_cpuInstructionsAllowed{true};

}  // namespace

bool Sha1::cpuInstructions() noexcept
{
    static const bool available = cpuHasShaInstructions();
    return available && g_cpuInstructionsAllowed.load(std::memory_order_relaxed);
}

void Sha1::allowCpuInstructions(bool allowed) noexcept
{
    g_cpuInstructionsAllowed.store(allowed, std::memory_order_relaxed);
}

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
    if (count == 0)
        return;
#ifdef DRUVEX_SHA1_X86
    if (cpuInstructions()) {
        hashBlocksShaNi(state_, blocks, count);
        return;
    }
#endif
    hashBlocksPortable(state_, blocks, count);
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

// SHA-1 (FIPS 180) as an incremental digest: the digests of downloaded files,
// feature packages and translations, compared as 40 upper-case hexadecimal
// characters with the digests that update bulletins and the installer data carry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

class Sha1 {
public:
    static constexpr unsigned kDigestBytes = 20;

    Sha1() noexcept { init(); }

    // Starts a new message.
    void init() noexcept;
    // Adds `count` bytes; any alignment of `data` is fine.
    void update(std::size_t count, const void* data) noexcept;
    // Finishes the message and writes the first `n` digest bytes to `out`, then
    // starts a new message. `n` above kDigestBytes (a negative int included)
    // gives false and leaves the state as it was.
    bool final(unsigned n, std::uint8_t* out) noexcept;
    // final(n) as 2n upper-case hexadecimal characters, high nibble first; an
    // empty text (state kept) when n is above kDigestBytes.
    SharedString hexDigest(unsigned n);

    // Whether blocks are hashed with the CPU's SHA instructions: when it has
    // them and they are allowed (the default; the tests turn them off to check
    // the portable code as well). Process-wide.
    static bool cpuInstructions() noexcept;
    static void allowCpuInstructions(bool allowed) noexcept;

private:
    void hashBlocks(const std::uint8_t* blocks, std::size_t count) noexcept;

    std::uint32_t state_[5];
    std::uint64_t byteCount_;
    std::uint8_t block_[64];
};

}  // namespace druvex

// Adler-32 as an incremental digest: the check words of the installer archive's
// directory and entries and of package data. The value keeps this system's
// order of the halves, the byte sum in the high 16 bits: "abc" gives 0x0127024D
// where RFC 1950 (and zlib) give 0x024D0127. Every stored check word depends
// on that order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace druvex {

class Adler32 {
public:
    Adler32() noexcept = default;

    // Starts a new sum: a = 1, b = 0.
    void init() noexcept
    {
        a_ = 1;
        b_ = 0;
    }
    void update(std::size_t count, const void* data) noexcept;
    // (a << 16) | b, then starts a new sum.
    std::uint32_t final() noexcept;

private:
    std::uint16_t a_ = 1;  // 1 plus the byte sum, modulo 65521
    std::uint16_t b_ = 0;  // the sum of the a values, modulo 65521
};

}  // namespace druvex

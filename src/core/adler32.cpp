#include "core/adler32.h"

#include <zlib.h>

namespace druvex {

// zlib keeps the same two sums in the opposite halves, so its value is built
// from ours, advanced, and split again.
void Adler32::update(std::size_t count, const void* data) noexcept
{
    if (count == 0)
        return;
    const uLong sum = adler32_z(std::uint32_t{b_} << 16 | a_, static_cast<const Bytef*>(data), count);
    a_ = static_cast<std::uint16_t>(sum & 0xFFFF);
    b_ = static_cast<std::uint16_t>(sum >> 16);
}

std::uint32_t Adler32::final() noexcept
{
    const std::uint32_t value = std::uint32_t{a_} << 16 | b_;
    init();
    return value;
}

}  // namespace druvex

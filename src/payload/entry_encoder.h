// Coding bytes the way a build's installer archive holds them, for the tools
// that make archives and for tests: LZMA with the property bytes
// 5D 00 00 00 01 (lc 3, lp 0, pb 2, 16 MiB dictionary) and the exact decoded
// length in the header, or a zlib stream.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace druvex {

// The 13-byte header and the coded data; false when the encoder fails.
bool encodeLzmaEntry(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out);
// An RFC 1950 stream at the best compression.
bool encodeZlibEntry(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out);

}  // namespace druvex

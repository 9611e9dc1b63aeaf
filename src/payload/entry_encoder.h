// Coding bytes the way a build's installer archive holds them, for the tools
// that make archives and for tests: LZMA with the property bytes
// 5D 00 00 00 01 (lc 3, lp 0, pb 2, 16 MiB dictionary) and the exact decoded
// length in the header, or a zlib stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace druvex {

// The 13-byte header and the coded data; false when the encoder fails.
bool encodeLzmaEntry(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out);

// Fills up to `count` bytes of `buffer`; gives how many (0 only at the end),
// or -1 on failure.
using EntryReadFunction = std::function<std::int64_t(std::uint8_t* buffer, std::size_t count)>;
// Takes `count` bytes; false on failure.
using EntryWriteFunction = std::function<bool(const std::uint8_t* bytes, std::size_t count)>;

// The same coding as a stream: `size` bytes pulled from `read`, the header
// and the coded bytes pushed to `write` as they come, so that the memory is
// the encoder's own whatever the size. False when the encoder, a read or a
// write fails, or the input does not hold exactly `size` bytes.
bool encodeLzmaEntry(std::uint64_t size, const EntryReadFunction& read, const EntryWriteFunction& write);
// An RFC 1950 stream at the best compression.
bool encodeZlibEntry(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out);

}  // namespace druvex

// The three headers of a 7z backup archive, built and checked in memory: the
// 32-byte start header, the plain header that describes the one LZMA stream
// and the entries, and the small encoded header (a copy coder) that points
// to the plain one. Only the fixed layout that SevenZipWriter produces is
// accepted; anything else, archives of other 7z tools included, is refused.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "payload/seven_zip_entry.h"

namespace druvex {

constexpr std::size_t kSevenZipStartHeaderSize = 32;
constexpr std::size_t kSevenZipLzmaPropertySize = 5;

struct SevenZipStartHeader {
    // Counted from the end of the start header.
    std::uint64_t nextHeaderOffset = 0;
    std::uint64_t nextHeaderSize = 0;
    std::uint32_t nextHeaderCrc = 0;
};

std::array<std::uint8_t, kSevenZipStartHeaderSize> buildSevenZipStartHeader(const SevenZipStartHeader& header);
// Signature, version 0.4 and the CRC of bytes 12 to 31.
bool parseSevenZipStartHeader(std::span<const std::uint8_t> bytes, SevenZipStartHeader& header);

struct SevenZipEncodedHeader {
    // Where the plain header lies, counted from the end of the start header.
    std::uint64_t headerPosition = 0;
    std::uint64_t headerSize = 0;
    std::uint32_t headerCrc = 0;
};

// The copy coder is written with its has-properties flag (0x21) but with no
// property bytes: 7-Zip refuses a copy coder that carries any, and a reader
// that skips the properties reads both forms.
std::vector<std::uint8_t> buildSevenZipEncodedHeader(const SevenZipEncodedHeader& header);
// Accepts the copy coder with any number of property bytes, so that archives
// whose copy coder carries a property byte still open.
bool parseSevenZipEncodedHeader(std::span<const std::uint8_t> bytes, SevenZipEncodedHeader& header);

struct SevenZipStreamInfo {
    // Of the one LZMA stream, which starts right after the start header.
    std::uint64_t packedSize = 0;
    std::uint64_t unpackedSize = 0;
    std::array<std::uint8_t, kSevenZipLzmaPropertySize> lzmaProperties{};
};

// The plain header for `entries` in archive order; sizes and CRCs of the
// entries with data must be final.
std::vector<std::uint8_t> buildSevenZipHeader(const SevenZipStreamInfo& stream,
                                              const std::vector<std::shared_ptr<SevenZipEntry>>& entries);
// Reads a plain header of the writer's layout into `stream` and `entries`.
// Counts and sizes are checked against the bytes that remain before anything
// is allocated by them, and every name must be a safe archive name.
bool parseSevenZipHeader(std::span<const std::uint8_t> bytes, SevenZipStreamInfo& stream,
                         std::vector<std::shared_ptr<const SevenZipReaderEntry>>& entries);

}  // namespace druvex

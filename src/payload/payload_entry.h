// The installer archive's layout shared by its reader and writer: the 48-byte
// trailer, the directory record (PayloadEntry in memory), the coding methods
// and the error codes the two report. All integers are little-endian.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

// One directory record.
struct PayloadEntry {
    SharedString name;                // "/"-separated, matched exactly
    std::uint32_t method = 0;         // kPayloadMethodStored, ...Lzma, ...Zlib; any other reads as stored
    std::uint64_t offset = 0;         // of the data, from the payload base
    std::uint64_t packedSize = 0;     // bytes stored in the archive
    std::uint64_t unpackedSize = 0;   // for a package: the sum of its files' sizes
    std::uint32_t checksum = 0;       // Adler-32 (byte sum high) of the packed bytes
};

constexpr std::uint32_t kPayloadMethodStored = 0;
constexpr std::uint32_t kPayloadMethodLzma = 1;  // 5 property bytes, u64 size (all ones: unknown), data
constexpr std::uint32_t kPayloadMethodZlib = 2;  // an RFC 1950 stream

constexpr std::uint32_t kPayloadMagic = 0x1CA9999E;
constexpr std::uint32_t kPayloadTrailerSize = 48;
// The trailer's check word covers the directory and the trailer's first 40 bytes.
constexpr std::uint32_t kPayloadTrailerCheckedSize = 40;
// A record without its name: u16 name length, u32 method, three u64, u32 check word.
constexpr std::uint32_t kPayloadRecordFixedSize = 34;

// Error codes of the reader and the writer.
constexpr int kPayloadErrorNone = 0;
constexpr int kPayloadErrorOpen = 100;      // the file could not be opened
constexpr int kPayloadErrorWrite = 101;     // the writer could not copy an entry or write the directory
constexpr int kPayloadErrorNoEntry = 200;   // no entry of that name
constexpr int kPayloadErrorChecksum = 201;  // check word mismatch (directory, or entry at verification)
constexpr int kPayloadErrorFormat = 202;    // no trailer, or a directory that cannot be read

// The trailer's fields (the directory offset relative to the base is written
// but never read).
struct PayloadTrailer {
    std::uint32_t recordCount = 0;
    std::uint64_t payloadBase = 0;
    std::uint64_t directoryRelativeOffset = 0;
    std::uint64_t directoryOffset = 0;  // absolute in the file
    std::uint64_t directorySize = 0;
    std::uint32_t checksum = 0;
};

// Little-endian fields in a byte buffer.
inline std::uint16_t readLe16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t readLe32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t readLe64(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(readLe32(p)) | (static_cast<std::uint64_t>(readLe32(p + 4)) << 32);
}
inline void writeLe16(std::uint8_t* p, std::uint16_t value)
{
    p[0] = static_cast<std::uint8_t>(value);
    p[1] = static_cast<std::uint8_t>(value >> 8);
}
inline void writeLe32(std::uint8_t* p, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}
inline void writeLe64(std::uint8_t* p, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The fields of a 48-byte trailer whose two magic words the caller has seen.
PayloadTrailer parsePayloadTrailer(const std::uint8_t* bytes);
// The trailer's first 40 bytes (magic, count, base, both offsets, size).
void writePayloadTrailerHead(std::uint8_t* bytes, const PayloadTrailer& trailer);

}  // namespace druvex

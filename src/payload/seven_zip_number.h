// The byte-level pieces of the 7z backup format: the format's variable-length
// numbers, little-endian fixed fields and the CRC-32 (zlib's, which is the 7z
// CRC), and a bounded cursor that reads them from a header held in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace druvex {

// A 7z number: the high bits of the first byte tell how many bytes follow
// (low byte first); the rest of the first byte holds the number's top bits.
void appendSevenZipNumber(std::vector<std::uint8_t>& out, std::uint64_t value);
void appendLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t value);
void appendLittleEndian64(std::vector<std::uint8_t>& out, std::uint64_t value);
void storeLittleEndian32(std::uint8_t* out, std::uint32_t value);
void storeLittleEndian64(std::uint8_t* out, std::uint64_t value);
std::uint32_t loadLittleEndian32(const std::uint8_t* bytes);
std::uint64_t loadLittleEndian64(const std::uint8_t* bytes);

// The 7z CRC-32 of `bytes`, continuing from `crc` (0 for a fresh one).
std::uint32_t updateSevenZipCrc(std::uint32_t crc, std::span<const std::uint8_t> bytes);
inline std::uint32_t sevenZipCrc(std::span<const std::uint8_t> bytes)
{
    return updateSevenZipCrc(0, bytes);
}

// Whole percent of `done` in `total`, 100 when there is nothing to do or all
// is done.
std::uint32_t sevenZipPercent(std::uint64_t done, std::uint64_t total);

// Reads a header held in memory. Running past the end sets a failure that
// sticks: every later read answers 0, so a parser checks failed() at its
// decision points instead of after every byte.
class SevenZipCursor {
public:
    explicit SevenZipCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t readByte();
    std::uint64_t readNumber();
    std::uint32_t readUInt32();
    std::uint64_t readUInt64();
    // The next `count` bytes; empty (and failed) when fewer remain.
    std::span<const std::uint8_t> readBytes(std::uint64_t count);
    // Reads one byte and fails unless it is `expected`.
    bool expectByte(std::uint8_t expected);
    // Reads one number and fails unless it is `expected`.
    bool expectNumber(std::uint64_t expected);

    std::size_t remaining() const { return bytes_.size() - position_; }
    std::size_t position() const { return position_; }
    bool atEnd() const { return position_ == bytes_.size(); }
    bool failed() const { return failed_; }
    void fail() { failed_ = true; }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
    bool failed_ = false;
};

}  // namespace druvex

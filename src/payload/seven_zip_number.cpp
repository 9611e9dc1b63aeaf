#include "payload/seven_zip_number.h"

#include <zlib.h>

namespace druvex {

void appendSevenZipNumber(std::vector<std::uint8_t>& out, std::uint64_t value)
{
    std::uint8_t first = 0;
    std::uint8_t mask = 0x80;
    int following = 0;
    for (; following < 8; ++following) {
        if (value < (std::uint64_t{1} << (7 * (following + 1)))) {
            first |= static_cast<std::uint8_t>(value >> (8 * following));
            break;
        }
        first |= mask;
        mask >>= 1;
    }
    out.push_back(first);
    for (int i = 0; i < following; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void storeLittleEndian32(std::uint8_t* out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void storeLittleEndian64(std::uint8_t* out, std::uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void appendLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    std::uint8_t bytes[4];
    storeLittleEndian32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

void appendLittleEndian64(std::vector<std::uint8_t>& out, std::uint64_t value)
{
    std::uint8_t bytes[8];
    storeLittleEndian64(bytes, value);
    out.insert(out.end(), bytes, bytes + 8);
}

std::uint32_t loadLittleEndian32(const std::uint8_t* bytes)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

std::uint64_t loadLittleEndian64(const std::uint8_t* bytes)
{
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i)
        value = (value << 8) | bytes[i];
    return value;
}

std::uint32_t updateSevenZipCrc(std::uint32_t crc, std::span<const std::uint8_t> bytes)
{
    return static_cast<std::uint32_t>(crc32_z(crc, bytes.data(), bytes.size()));
}

std::uint32_t sevenZipPercent(std::uint64_t done, std::uint64_t total)
{
    if (total == 0 || done >= total)
        return 100;
    if (done <= UINT64_MAX / 100)
        return static_cast<std::uint32_t>(done * 100 / total);
    return static_cast<std::uint32_t>(done / (total / 100));
}

std::uint8_t SevenZipCursor::readByte()
{
    if (failed_ || position_ >= bytes_.size()) {
        failed_ = true;
        return 0;
    }
    return bytes_[position_++];
}

std::uint64_t SevenZipCursor::readNumber()
{
    const std::uint8_t first = readByte();
    std::uint8_t mask = 0x80;
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        if ((first & mask) == 0) {
            const std::uint64_t high = first & (mask - 1u);
            return failed_ ? 0 : value + (high << (8 * i));
        }
        value |= static_cast<std::uint64_t>(readByte()) << (8 * i);
        mask >>= 1;
    }
    return failed_ ? 0 : value;
}

std::uint32_t SevenZipCursor::readUInt32()
{
    const auto bytes = readBytes(4);
    return bytes.empty() ? 0 : loadLittleEndian32(bytes.data());
}

std::uint64_t SevenZipCursor::readUInt64()
{
    const auto bytes = readBytes(8);
    return bytes.empty() ? 0 : loadLittleEndian64(bytes.data());
}

std::span<const std::uint8_t> SevenZipCursor::readBytes(std::uint64_t count)
{
    if (failed_ || count > remaining()) {
        failed_ = true;
        return {};
    }
    const auto piece = bytes_.subspan(position_, static_cast<std::size_t>(count));
    position_ += static_cast<std::size_t>(count);
    return piece;
}

bool SevenZipCursor::expectByte(std::uint8_t expected)
{
    if (readByte() != expected)
        failed_ = true;
    return !failed_;
}

bool SevenZipCursor::expectNumber(std::uint64_t expected)
{
    if (readNumber() != expected)
        failed_ = true;
    return !failed_;
}

}  // namespace druvex

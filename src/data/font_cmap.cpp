#include "data/font_cmap.h"

namespace druvex {
namespace {

constexpr std::uint16_t kPlatformWindows = 3;
constexpr std::size_t kSubtableHeaderBytes = 14;
// endCode starts after the seven header words; reservedPad follows it.
constexpr std::size_t kEndCodeIndex = 7;

std::uint16_t readBigEndian16(const unsigned char* bytes)
{
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::uint32_t readBigEndian32(const unsigned char* bytes)
{
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           std::uint32_t{bytes[3]};
}

bool readCmapBytes(FontDataSource& source, std::uint32_t offset, void* buffer, std::size_t size)
{
    return source.getFontData(kCmapTableTag, offset, buffer, size) == static_cast<std::int64_t>(size);
}

}  // namespace

bool CmapFormat4::load(FontDataSource& source)
{
    units_.clear();
    segments_ = 0;

    unsigned char count[2];
    if (!readCmapBytes(source, 2, count, sizeof count))
        return false;
    const std::uint16_t records = readBigEndian16(count);
    std::vector<unsigned char> recordBytes(std::size_t{records} * 8);
    if (!readCmapBytes(source, 4, recordBytes.data(), recordBytes.size()))
        return false;
    bool chosen = false;
    std::uint32_t subtableOffset = 0;
    for (std::size_t i = 0; i < records; ++i) {
        const unsigned char* record = &recordBytes[8 * i];
        const std::uint16_t platform = readBigEndian16(record);
        const std::uint16_t encoding = readBigEndian16(record + 2);
        if (platform == kPlatformWindows && (encoding == 1 || encoding == 0)) {
            chosen = true;
            subtableOffset = readBigEndian32(record + 4);
        }
    }
    if (!chosen)
        return false;

    unsigned char header[kSubtableHeaderBytes];
    if (!readCmapBytes(source, subtableOffset, header, sizeof header))
        return false;
    const std::uint16_t format = readBigEndian16(header);
    const std::uint16_t length = readBigEndian16(header + 2);
    const std::uint16_t segCountX2 = readBigEndian16(header + 6);
    if (format != 4 || length < kSubtableHeaderBytes)
        return false;
    std::vector<unsigned char> bytes(length);
    if (!readCmapBytes(source, subtableOffset, bytes.data(), bytes.size()))
        return false;

    const std::size_t unitCount = length / 2;
    const std::size_t segments = segCountX2 / 2u;
    // endCode, reservedPad, startCode, idDelta and idRangeOffset must all fit.
    if (segments == 0 || kEndCodeIndex + 1 + 4 * segments > unitCount)
        return false;
    units_.resize(unitCount);
    for (std::size_t i = 0; i < unitCount; ++i)
        units_[i] = readBigEndian16(&bytes[2 * i]);
    segments_ = segments;
    return true;
}

bool CmapFormat4::covers(char16_t unit) const
{
    if (segments_ == 0)
        return false;
    const std::size_t endCodes = kEndCodeIndex;
    const std::size_t startCodes = endCodes + segments_ + 1;
    const std::size_t idDeltas = startCodes + segments_;
    const std::size_t idRangeOffsets = idDeltas + segments_;

    for (std::size_t segment = 0; segment < segments_; ++segment) {
        if (at(endCodes + segment) < unit)
            continue;
        const std::uint16_t start = at(startCodes + segment);
        if (start > unit)
            return false;
        const std::uint16_t delta = at(idDeltas + segment);
        const std::uint16_t rangeOffset = at(idRangeOffsets + segment);
        if (rangeOffset == 0)
            return static_cast<std::uint16_t>(delta + unit) != 0;
        // The offset counts bytes from the idRangeOffset word itself into the
        // glyph index array.
        const std::size_t index = idRangeOffsets + segment + rangeOffset / 2u + (unit - start);
        if (index >= units_.size())
            return false;
        const std::uint16_t glyph = at(index);
        if (glyph == 0)
            return false;
        return static_cast<std::uint16_t>(glyph + delta) != 0;
    }
    return false;
}

bool isTextCoveredByCmap(FontDataSource& source, std::u16string_view text)
{
    CmapFormat4 map;
    if (!map.load(source))
        return false;
    for (const char16_t unit : text) {
        if (!map.covers(unit))
            return false;
    }
    return true;
}

}  // namespace druvex

// Font files built byte by byte for the tests and the fuzz seeds: format-4
// character maps, "cmap" and "name" tables and the table directory around them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace druvex::test {

// Big-endian words, as font files hold them.
inline void put16(std::vector<std::uint8_t>& out, std::initializer_list<std::size_t> values)
{
    for (const std::size_t value : values) {
        out.push_back(static_cast<std::uint8_t>(value >> 8));
        out.push_back(static_cast<std::uint8_t>(value));
    }
}

inline void put32(std::vector<std::uint8_t>& out, std::initializer_list<std::size_t> values)
{
    for (const std::size_t value : values)
        put16(out, {value >> 16, value & 0xFFFF});
}

// One segment of a format-4 map: glyphs by delta, or from the glyph array.
struct Segment {
    std::uint16_t start;
    std::uint16_t end;
    std::uint16_t delta;
    std::vector<std::uint16_t> glyphs;  // non-empty: idRangeOffset into these
};

inline std::vector<std::uint8_t> format4(std::vector<Segment> segments)
{
    segments.push_back({0xFFFF, 0xFFFF, 1, {}});
    const std::size_t count = segments.size();
    std::vector<std::size_t> rangeOffsets(count, 0);
    std::vector<std::uint16_t> glyphArray;
    for (std::size_t i = 0; i < count; ++i) {
        if (segments[i].glyphs.empty())
            continue;
        // Bytes from this segment's idRangeOffset word to its first glyph.
        rangeOffsets[i] = 2 * (count - i + glyphArray.size());
        glyphArray.insert(glyphArray.end(), segments[i].glyphs.begin(), segments[i].glyphs.end());
    }
    std::vector<std::uint8_t> out;
    put16(out, {4, 16 + 8 * count + 2 * glyphArray.size(), 0, 2 * count, 0, 0, 0});
    for (const Segment& s : segments)
        put16(out, {s.end});
    put16(out, {0});
    for (const Segment& s : segments)
        put16(out, {s.start});
    for (const Segment& s : segments)
        put16(out, {s.delta});
    for (const std::size_t offset : rangeOffsets)
        put16(out, {offset});
    for (const std::uint16_t glyph : glyphArray)
        put16(out, {glyph});
    return out;
}

struct Encoding {
    std::uint16_t platform;
    std::uint16_t encoding;
    std::vector<std::uint8_t> subtable;
};

inline std::vector<std::uint8_t> cmapTable(const std::vector<Encoding>& encodings)
{
    std::vector<std::uint8_t> out;
    put16(out, {0, encodings.size()});
    std::size_t offset = 4 + 8 * encodings.size();
    for (const Encoding& e : encodings) {
        put16(out, {e.platform, e.encoding});
        put32(out, {offset});
        offset += e.subtable.size();
    }
    for (const Encoding& e : encodings)
        out.insert(out.end(), e.subtable.begin(), e.subtable.end());
    return out;
}

inline std::vector<std::uint8_t> nameTable(const std::u16string& family)
{
    std::vector<std::uint8_t> out;
    put16(out, {0, 1, 6 + 12, 3, 1, 0x409, 1, 2 * family.size(), 0});
    for (const char16_t ch : family)
        put16(out, {ch});
    return out;
}

// A font file holding the given tables.
inline std::vector<std::uint8_t> fontFile(const std::map<std::string, std::vector<std::uint8_t>>& tables)
{
    std::vector<std::uint8_t> out;
    put32(out, {0x00010000});
    put16(out, {tables.size(), 0, 0, 0});
    std::size_t offset = 12 + 16 * tables.size();
    for (const auto& [tag, bytes] : tables) {
        out.insert(out.end(), tag.begin(), tag.end());
        put32(out, {0, offset, bytes.size()});
        offset += bytes.size();
    }
    for (const auto& [tag, bytes] : tables)
        out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}

}  // namespace druvex::test

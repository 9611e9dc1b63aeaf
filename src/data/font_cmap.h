// Reading a font's character map ("cmap" table, format 4) to tell which UTF-16
// units have a glyph. The bytes come from a FontDataSource, the stand-in for
// the device's font-data query, and every offset in them is checked: a
// malformed table answers "not covered", never reads outside what it got.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace druvex {

// A table tag as the font stores it: four ASCII bytes, big-endian.
constexpr std::uint32_t fontTableTag(char a, char b, char c, char d)
{
    return (std::uint32_t{static_cast<unsigned char>(a)} << 24) | (std::uint32_t{static_cast<unsigned char>(b)} << 16) |
           (std::uint32_t{static_cast<unsigned char>(c)} << 8) | std::uint32_t{static_cast<unsigned char>(d)};
}

constexpr std::uint32_t kCmapTableTag = fontTableTag('c', 'm', 'a', 'p');

// The font data of a selected font, as the device's font-data query gives it.
class FontDataSource {
public:
    // Copies up to `size` bytes of table `tag` from `offset` into `buffer`;
    // the bytes copied (fewer at the table's end), or -1 when there is no
    // font, no such table, or the offset lies past the table.
    virtual std::int64_t getFontData(std::uint32_t tag, std::uint32_t offset, void* buffer, std::size_t size) = 0;

protected:
    ~FontDataSource() = default;
};

// The format-4 map of the last platform-3 record with encoding 1 or 0.
class CmapFormat4 {
public:
    // False when there is no such record, the record or the subtable cannot be
    // read whole, or the subtable is not format 4 or not self-consistent.
    [[nodiscard]] bool load(FontDataSource& source);
    // Whether the unit maps to a glyph other than 0 (false before a load).
    bool covers(char16_t unit) const;

private:
    std::uint16_t at(std::size_t index) const { return units_[index]; }

    std::vector<std::uint16_t> units_;  // the subtable in host byte order
    std::size_t segments_ = 0;
};

// Every unit of the text covered by the source's map (an empty text too, when
// the map loads).
bool isTextCoveredByCmap(FontDataSource& source, std::u16string_view text);

}  // namespace druvex

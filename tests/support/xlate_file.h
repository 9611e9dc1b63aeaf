// Translation files for tests, encoded by iconv rather than by the program's
// own converters, so that a fault in our codec cannot hide one in the reader.
// Also the installer archive's list of its translations ("TranslationMap").
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace druvex::test {

// `utf8` as UTF-16LE bytes (no byte-order mark is added: put U+FEFF into the
// text for one). Throws when iconv is missing or refuses the text.
std::string utf16leFromUtf8(std::string_view utf8);

// A translation file as the archive carries it: UTF-16LE as iconv writes it.
inline std::vector<std::uint8_t> translationFile(std::string_view utf8)
{
    const std::string bytes = utf16leFromUtf8(utf8);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

// One record of "TranslationMap": the id, the name's length in units (or
// `units` when given) and the name, little-endian.
inline std::vector<std::uint8_t> mapRecord(std::uint16_t lcid, std::u16string_view name,
                                           std::optional<std::uint32_t> units = std::nullopt)
{
    const std::uint32_t count = units.value_or(static_cast<std::uint32_t>(name.size()));
    std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(lcid), static_cast<std::uint8_t>(lcid >> 8)};
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>(count >> shift));
    for (const char16_t unit : name) {
        bytes.push_back(static_cast<std::uint8_t>(unit));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return bytes;
}

// "TranslationMap": the count of records, then the records.
inline std::vector<std::uint8_t> translationMap(std::initializer_list<std::vector<std::uint8_t>> records)
{
    std::vector<std::uint8_t> bytes;
    const auto count = static_cast<std::uint32_t>(records.size());
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<std::uint8_t>(count >> shift));
    for (const std::vector<std::uint8_t>& record : records)
        bytes.insert(bytes.end(), record.begin(), record.end());
    return bytes;
}

}  // namespace druvex::test

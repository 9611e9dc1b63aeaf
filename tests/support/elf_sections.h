// The sections of a 64-bit little-endian ELF file (the programs this build
// makes), read from its section headers: enough for tests to tell whether a
// program carries debug information and where its debug link points.
#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

namespace druvex::test {

struct ElfSection {
    std::uint32_t type = 0;
    std::string bytes;  // empty for a section without bytes in the file
};

// Every section by name; empty when the file is no 64-bit little-endian ELF
// file or its headers do not fit in it.
inline std::map<std::string, ElfSection> elfSections(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto fits = [&](std::uint64_t offset, std::uint64_t size) {
        return offset <= file.size() && size <= file.size() - offset;
    };
    const auto read = [&](std::uint64_t offset, auto& value) { std::memcpy(&value, file.data() + offset, sizeof value); };
    std::map<std::string, ElfSection> sections;
    // ELF magic, class 2 (64-bit), data 1 (little-endian).
    if (!fits(0, 64) || file.compare(0, 4, "\x7f" "ELF") != 0 || file[4] != 2 || file[5] != 1)
        return sections;
    std::uint64_t headers = 0;
    std::uint16_t headerSize = 0;
    std::uint16_t count = 0;
    std::uint16_t namesIndex = 0;
    read(0x28, headers);
    read(0x3A, headerSize);
    read(0x3C, count);
    read(0x3E, namesIndex);
    if (headerSize < 64 || namesIndex >= count || !fits(headers, std::uint64_t{headerSize} * count))
        return sections;
    const auto header = [&](std::uint16_t index, std::uint32_t& name, std::uint32_t& type, std::uint64_t& offset,
                            std::uint64_t& size) {
        const std::uint64_t at = headers + std::uint64_t{headerSize} * index;
        read(at, name);
        read(at + 4, type);
        read(at + 0x18, offset);
        read(at + 0x20, size);
    };
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t namesOffset = 0;
    std::uint64_t namesSize = 0;
    header(namesIndex, name, type, namesOffset, namesSize);
    if (!fits(namesOffset, namesSize))
        return sections;
    const std::string names = file.substr(namesOffset, namesSize);
    for (std::uint16_t index = 1; index < count; ++index) {
        std::uint64_t offset = 0;
        std::uint64_t size = 0;
        header(index, name, type, offset, size);
        if (name >= names.size())
            return {};
        ElfSection& section = sections[names.substr(name, names.find('\0', name) - name)];
        section.type = type;
        // Type 8 (no bits) takes no room in the file.
        if (type != 8 && fits(offset, size))
            section.bytes = file.substr(offset, size);
    }
    return sections;
}

// Whether any section holds debug information (".debug_*", ".zdebug_*").
inline bool hasDebugSections(const std::map<std::string, ElfSection>& sections)
{
    for (const auto& [name, section] : sections) {
        if ((name.starts_with(".debug_") || name.starts_with(".zdebug_")) && !section.bytes.empty())
            return true;
    }
    return false;
}

}  // namespace druvex::test

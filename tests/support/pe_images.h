// Program files in the device's executable format built byte by byte, for the
// tests of the version reader and the fuzz seeds.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host/pe_version.h"

namespace druvex::test {

using PeBytes = std::vector<std::uint8_t>;

inline void putLe16(PeBytes& image, std::size_t offset, std::uint32_t value)
{
    image[offset] = static_cast<std::uint8_t>(value);
    image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

inline void putLe32(PeBytes& image, std::size_t offset, std::uint32_t value)
{
    putLe16(image, offset, value & 0xFFFF);
    putLe16(image, offset + 2, value >> 16);
}

constexpr std::size_t kSectionOffset = 0x200;
constexpr std::uint32_t kSectionRva = 0x1000;
constexpr std::size_t kVersionBlock = 0x58;  // within the section
constexpr std::size_t kVersionBlockSize = 92;

// An image with one resource section holding one version resource: the
// directories for type 16, name 1 and language 0x409, the data entry, and the
// version block with its fixed part.
inline PeBytes buildPeImage(const PeFixedVersion& version, bool pe32Plus = false)
{
    PeBytes image(kSectionOffset + 0x200, 0);
    image[0] = 'M';
    image[1] = 'Z';
    putLe32(image, 0x3C, 0x40);
    image[0x40] = 'P';
    image[0x41] = 'E';
    const std::size_t coff = 0x44;
    const std::uint32_t optionalSize = pe32Plus ? 240 : 224;
    putLe16(image, coff, 0x01C2);  // ARM Thumb, as the device's programs
    putLe16(image, coff + 2, 1);
    putLe16(image, coff + 16, optionalSize);
    const std::size_t optional = coff + 20;
    putLe16(image, optional, pe32Plus ? 0x20B : 0x10B);
    const std::size_t directories = optional + (pe32Plus ? 112 : 96);
    putLe32(image, directories - 4, 16);
    putLe32(image, directories + 16, kSectionRva);
    putLe32(image, directories + 20, 0x200);
    const std::size_t section = optional + optionalSize;
    std::copy_n(".rsrc", 5, image.begin() + static_cast<std::ptrdiff_t>(section));
    putLe32(image, section + 8, 0x200);
    putLe32(image, section + 12, kSectionRva);
    putLe32(image, section + 16, 0x200);
    putLe32(image, section + 20, kSectionOffset);

    const std::size_t resources = kSectionOffset;
    auto directory = [&](std::size_t at, std::uint32_t id, std::uint32_t data) {
        putLe16(image, resources + at + 14, 1);
        putLe32(image, resources + at + 16, id);
        putLe32(image, resources + at + 20, data);
    };
    directory(0x00, 16, 0x80000000u | 0x18);
    directory(0x18, 1, 0x80000000u | 0x30);
    directory(0x30, 0x409, 0x48);
    putLe32(image, resources + 0x48, kSectionRva + kVersionBlock);
    putLe32(image, resources + 0x4C, kVersionBlockSize);

    const std::size_t block = resources + kVersionBlock;
    putLe16(image, block, kVersionBlockSize);
    putLe16(image, block + 2, 52);
    const std::u16string key = u"VS_VERSION_INFO";
    for (std::size_t i = 0; i < key.size(); ++i)
        putLe16(image, block + 6 + 2 * i, key[i]);
    putLe32(image, block + 40, 0xFEEF04BDu);
    putLe32(image, block + 44, 0x10000);
    putLe32(image, block + 48, version.fileVersionMS);
    putLe32(image, block + 52, version.fileVersionLS);
    putLe32(image, block + 56, version.productVersionMS);
    putLe32(image, block + 60, version.productVersionLS);
    return image;
}

}  // namespace druvex::test

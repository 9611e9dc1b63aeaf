// Reads the fixed version information of a program or library file in the
// device's executable format (PE32 or PE32+): the version resource's fixed
// block, found through the headers, the sections and the resource tree. Every
// offset and size is checked against the bytes given, so a truncated or
// hostile file is refused, never read past.
#pragma once

#include <cstdint>
#include <span>

namespace druvex {

// The four words of a fixed version block: the high words of the "MS" values
// are major versions, the low words minor ones; the "LS" values hold build
// (high) and revision (low).
struct PeFixedVersion {
    std::uint32_t fileVersionMS = 0;
    std::uint32_t fileVersionLS = 0;
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
};

// False when the image has no readable version resource (not an executable,
// no resources, no version entry, a malformed or cut-off block).
bool readPeFixedVersion(std::span<const std::uint8_t> image, PeFixedVersion& version);

}  // namespace druvex

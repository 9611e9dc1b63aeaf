// Applying a package's XML fragments to the Feature the package unpacker
// builds: registry trees, environment variables, file associations, feature
// scripts, shortcuts and web-server settings, each by its record type.
#pragma once

#include <cstdint>
#include <vector>

namespace druvex {

class Feature;
struct XmlParseError;

// False for a type without a fragment reader and for a fragment that its
// reader refuses (the reader's reason then in `error`, when given).
bool applyPackageFragment(Feature& feature, std::uint32_t type, const std::vector<std::uint8_t>& bytes,
                          XmlParseError* error = nullptr);

}  // namespace druvex

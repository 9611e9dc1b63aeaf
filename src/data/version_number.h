// VersionNumber: a dotted version ("4.1.2") as a list of signed 32-bit parts,
// most significant first, parsed, printed and compared part by part. Used for
// program versions and revisions, bulletin versions and the installer's own.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

class VersionNumber {
public:
    VersionNumber() = default;

    // An empty number, then parse(text).
    static VersionNumber fromText(std::u16string_view text);
    // major.minor.build, and the fourth part only when it is not 0.
    static VersionNumber fromParts(std::int32_t major, std::int32_t minor, std::int32_t build,
                                   std::int32_t fourth);

    // The text must be non-empty and hold only digits and '.'; otherwise false
    // and the number stays as it was. Empty pieces are skipped ("1..2" is 1.2,
    // "." the empty number); a piece beyond the 32-bit range reads as the
    // largest part.
    bool parse(std::u16string_view text);

    int partCount() const { return static_cast<int>(parts_.size()); }
    // 0 at or past the count.
    std::int32_t part(int index) const;
    // Any part not 0 (false for the empty number).
    bool isNonZero() const;

    // -1, 0 or 1. Common parts decide first (signed); then extra parts decide
    // only when one of them is not 0, so "1.2" equals "1.2.0.0".
    static int compare(const VersionNumber& a, const VersionNumber& b);

    // "%d." per part with the trailing dots removed; empty for the empty number.
    SharedString toText() const;

    friend bool operator==(const VersionNumber& a, const VersionNumber& b) { return compare(a, b) == 0; }

private:
    std::vector<std::int32_t> parts_;
};

// Part `index` as "%d"; empty when the number has fewer parts.
SharedString formatVersionPart(const VersionNumber& number, int index);

}  // namespace druvex

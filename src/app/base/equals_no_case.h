// Equality of two texts without regard to case, by the program's one case
// mapping, for texts held as views (compareNoCase needs zero-terminated ones).
#pragma once

#include <string_view>

#include "core/text/char_class.h"

namespace druvex {

inline bool equalsNoCase(std::u16string_view a, std::u16string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (toLowerChar(a[i]) != toLowerChar(b[i]))
            return false;
    }
    return true;
}

}  // namespace druvex

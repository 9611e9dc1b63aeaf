// Device paths taken apart: the one separator test of the program ('\' and
// '/' both separate), and the split into components, with empty components
// (doubled or trailing separators) dropped.
#pragma once

#include <string_view>
#include <vector>

namespace druvex {

constexpr bool isPathSeparator(char16_t unit) noexcept
{
    return unit == u'\\' || unit == u'/';
}

inline std::vector<std::u16string_view> splitPathComponents(std::u16string_view path)
{
    std::vector<std::u16string_view> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !isPathSeparator(path[end]))
            ++end;
        if (end > start)
            components.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

}  // namespace druvex

// Splitting a device path into its components: '\' and '/' both separate, and
// empty components (doubled or trailing separators) are dropped.
#pragma once

#include <string_view>
#include <vector>

namespace druvex {

inline bool isDevicePathSeparator(char16_t unit) noexcept
{
    return unit == u'\\' || unit == u'/';
}

inline std::vector<std::u16string_view> splitPathComponents(std::u16string_view path)
{
    std::vector<std::u16string_view> components;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = start;
        while (end < path.size() && !isDevicePathSeparator(path[end]))
            ++end;
        if (end > start)
            components.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

}  // namespace druvex

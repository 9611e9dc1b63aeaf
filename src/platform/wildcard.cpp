#include "platform/wildcard.h"

#include "text/char_class.h"

namespace druvex {

bool hasWildcard(std::u16string_view text) noexcept
{
    return text.find_first_of(u"*?") != std::u16string_view::npos;
}

bool matchesWildcard(std::u16string_view name, std::u16string_view pattern) noexcept
{
    if (pattern == u"*.*" || pattern == u"*")
        return true;
    // Greedy matching with one back-track point: the last '*' seen. Linear in
    // practice and never recursive, whatever the pattern.
    std::size_t n = 0, p = 0;
    std::size_t starPattern = std::u16string_view::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starPattern = p++;
            starName = n;
            continue;
        }
        if (p < pattern.size() && (pattern[p] == u'?' || toLowerChar(pattern[p]) == toLowerChar(name[n]))) {
            ++p;
            ++n;
            continue;
        }
        if (starPattern == std::u16string_view::npos)
            return false;
        p = starPattern + 1;
        n = ++starName;
    }
    while (p < pattern.size() && pattern[p] == u'*')
        ++p;
    return p == pattern.size();
}

}  // namespace druvex

// The device's find wildcards: '*' matches any run of characters, '?' any one
// character, other characters match without regard to case; "*.*" matches
// every name, with or without a dot.
#pragma once

#include <string_view>

namespace druvex {

bool matchesWildcard(std::u16string_view name, std::u16string_view pattern) noexcept;

// True when the text holds '*' or '?'.
bool hasWildcard(std::u16string_view text) noexcept;

}  // namespace druvex

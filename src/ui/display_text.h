// Text as the terminal shows it: UTF-16 turned into code points, the columns
// each one takes (two for the wide East Asian forms, none for combining
// marks), and word wrapping by columns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace druvex {

// Code points of UTF-16 text; an unpaired surrogate becomes U+FFFD.
std::u32string toCodePoints(std::u16string_view text);
std::u16string fromCodePoints(std::u32string_view text);

// Terminal columns of one code point: 0, 1 or 2. Control characters take 0.
int charColumns(char32_t ch) noexcept;
int textColumns(std::u32string_view text) noexcept;

// The longest start of `text` that fits in `columns`.
std::u32string fitColumns(std::u32string_view text, int columns);

// Lines of at most `columns` columns: breaks at '\n' (a "\r\n" counts as one),
// wraps between words where it can and inside a word that is wider than a
// line. Blanks at a wrap are dropped. An empty text gives no line.
std::vector<std::u32string> wrapText(std::u16string_view text, int columns);

}  // namespace druvex

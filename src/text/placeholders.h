// "{n}" placeholder formatting: every user-visible message is a translated
// template whose "{1}", "{2}", ... are filled from arguments. A bad template
// gives an empty text, never a half-filled one, so a translator's typo shows
// as a missing message rather than a misleading one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "text/shared_string.h"

namespace druvex {

// More arguments than this give an empty result.
constexpr int kMaxPlaceholderArgs = 100;

// A pattern or argument text of any of the program's wide forms; a null
// pointer is an empty text.
class PlaceholderText {
public:
    PlaceholderText(const char16_t* text) noexcept : text_(text ? std::u16string_view(text) : std::u16string_view()) {}
    PlaceholderText(std::u16string_view text) noexcept : text_(text) {}
    PlaceholderText(const std::u16string& text) noexcept : text_(text) {}
    PlaceholderText(const SharedString& text) noexcept : text_(text.view()) {}

    std::u16string_view view() const noexcept { return text_; }

private:
    std::u16string_view text_;
};

// The one filler, which every other form below calls. Fills `pattern`'s
// placeholders from `args` into `result`:
// - "{n}" with 1 <= n <= the number of arguments is argument n; the text
//   between the braces is read like "%d" (leading blanks and a sign accepted,
//   reading stops at the first non-digit, so "{1x}" is argument 1);
// - "{{" is a literal "{"; a "}" outside braces is literal;
// - an empty, non-numeric or out-of-range placeholder, or more than
//   kMaxPlaceholderArgs arguments, makes the whole result empty;
// - a placeholder still open at the end is dropped;
// - argument texts are copied as they are, never scanned for placeholders.
void formatPlaceholders(SharedString& result, PlaceholderText pattern, std::span<const PlaceholderText> args);

// The same, returning the result: formatPlaceholders(u"{1} of {2}", {done, total}).
SharedString formatPlaceholders(PlaceholderText pattern, std::initializer_list<PlaceholderText> args);

// The counted form: the first `count` of `texts` are the arguments. A count
// above the texts given leaves the missing arguments out of range.
template <class... Texts>
void formatPlaceholders(SharedString& result, PlaceholderText pattern, int count, const Texts&... texts)
{
    if (count > kMaxPlaceholderArgs) {
        result.clear();
        return;
    }
    if constexpr (sizeof...(Texts) == 0) {
        formatPlaceholders(result, pattern, std::span<const PlaceholderText>());
    } else {
        const std::size_t used = count < 0 ? 0 : std::min(static_cast<std::size_t>(count), sizeof...(Texts));
        const PlaceholderText list[] = {PlaceholderText(texts)...};
        formatPlaceholders(result, pattern, std::span<const PlaceholderText>(list, used));
    }
}

// The counted form with one text and with two.
void formatPlaceholders1(SharedString& result, PlaceholderText pattern, PlaceholderText text);
void formatPlaceholders2(SharedString& result, PlaceholderText pattern, PlaceholderText text1, PlaceholderText text2);

}  // namespace druvex

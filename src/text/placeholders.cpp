#include "text/placeholders.h"

#include <algorithm>
#include <climits>

#include "text/char_class.h"

namespace druvex {
namespace {

bool isDigit(char16_t ch)
{
    return ch >= u'0' && ch <= u'9';
}

// The placeholder's number, read like "%d": leading blanks and a sign, digits
// up to the first non-digit. Saturates far above any argument count, so a
// long run of digits is simply out of range. No digits gives 0.
long long placeholderNumber(std::u16string_view digits)
{
    std::size_t i = 0;
    while (i < digits.size() && isSpaceChar(digits[i]))
        ++i;
    bool negative = false;
    if (i < digits.size() && (digits[i] == u'+' || digits[i] == u'-'))
        negative = digits[i++] == u'-';
    constexpr long long kSaturated = 1'000'000;
    long long value = 0;
    for (; i < digits.size() && isDigit(digits[i]); ++i)
        value = std::min(value * 10 + (digits[i] - u'0'), kSaturated);
    return negative ? -value : value;
}

}  // namespace

void formatPlaceholders(SharedString& result, PlaceholderText pattern, std::span<const PlaceholderText> args)
{
    if (args.size() > static_cast<std::size_t>(kMaxPlaceholderArgs)) {
        result.clear();
        return;
    }
    // Built aside and assigned once: a shared string grows to the exact size
    // at every append.
    std::u16string text;
    std::u16string digits;
    bool insideBraces = false;
    for (const char16_t ch : pattern.view()) {
        if (!insideBraces) {
            if (ch == u'{') {
                insideBraces = true;
                digits.clear();
                continue;
            }
            text.push_back(ch);
            continue;
        }
        if (ch == u'{') {
            text.push_back(u'{');
            insideBraces = false;
            continue;
        }
        if (ch != u'}') {
            digits.push_back(ch);
            continue;
        }
        const long long n = placeholderNumber(digits);
        if (n < 1 || n > static_cast<long long>(args.size())) {
            result.clear();
            return;
        }
        text.append(args[static_cast<std::size_t>(n - 1)].view());
        insideBraces = false;
    }
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
        result.clear();
        return;
    }
    result.assignCopy(static_cast<int>(text.size()), text.data());
}

SharedString formatPlaceholders(PlaceholderText pattern, std::initializer_list<PlaceholderText> args)
{
    SharedString result;
    formatPlaceholders(result, pattern, std::span<const PlaceholderText>(args.begin(), args.size()));
    return result;
}

void formatPlaceholders1(SharedString& result, PlaceholderText pattern, PlaceholderText text)
{
    const PlaceholderText args[] = {text};
    formatPlaceholders(result, pattern, args);
}

void formatPlaceholders2(SharedString& result, PlaceholderText pattern, PlaceholderText text1, PlaceholderText text2)
{
    const PlaceholderText args[] = {text1, text2};
    formatPlaceholders(result, pattern, args);
}

}  // namespace druvex

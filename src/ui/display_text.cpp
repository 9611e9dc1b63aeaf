#include "ui/display_text.h"

#include <algorithm>
#include <iterator>

#include "text/char_class.h"

namespace druvex {
namespace {

struct Range {
    char32_t first;
    char32_t last;
};

// Combining marks and zero-width format characters: drawn on the cell before.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x05BF, 0x05BF}, {0x05C1, 0x05C2},
    {0x05C4, 0x05C5}, {0x05C7, 0x05C7}, {0x0610, 0x061A}, {0x064B, 0x065F}, {0x0670, 0x0670},
    {0x06D6, 0x06DC}, {0x06DF, 0x06E4}, {0x06E7, 0x06E8}, {0x06EA, 0x06ED}, {0x0E31, 0x0E31},
    {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
    {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
    {0xFEFF, 0xFEFF},
};

// The wide (two-column) East Asian forms.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},
    {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},
    {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x1F300, 0x1F64F},
    {0x1F900, 0x1F9FF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

template <std::size_t N>
bool inRanges(const Range (&ranges)[N], char32_t ch)
{
    const Range* end = ranges + N;
    const Range* at = std::upper_bound(ranges, end, ch, [](char32_t value, const Range& r) { return value < r.first; });
    return at != ranges && ch <= (at - 1)->last;
}

bool isBlank(char32_t ch)
{
    return ch <= 0xFFFF && ch != u'\n' && isSpaceChar(static_cast<char16_t>(ch));
}

// Cuts `word` into pieces of at most `columns` columns (at least one code
// point each, so that a character wider than the line still moves on).
void splitWideWord(std::u32string_view word, int columns, std::vector<std::u32string>& lines)
{
    std::u32string piece;
    int used = 0;
    for (char32_t ch : word) {
        const int width = charColumns(ch);
        if (used + width > columns && !piece.empty()) {
            lines.push_back(piece);
            piece.clear();
            used = 0;
        }
        piece += ch;
        used += width;
    }
    if (!piece.empty())
        lines.push_back(piece);
}

void wrapParagraph(std::u32string_view text, int columns, std::vector<std::u32string>& lines)
{
    std::u32string line;
    int used = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t wordEnd = at;
        while (wordEnd < text.size() && !isBlank(text[wordEnd]))
            ++wordEnd;
        std::size_t blanksEnd = wordEnd;
        while (blanksEnd < text.size() && isBlank(text[blanksEnd]))
            ++blanksEnd;
        const std::u32string_view word = text.substr(at, wordEnd - at);
        const std::u32string_view blanks = text.substr(wordEnd, blanksEnd - wordEnd);
        const int wordWidth = textColumns(word);
        if (used > 0 && used + wordWidth > columns) {
            // The blanks that ended the line go with the wrap.
            while (!line.empty() && isBlank(line.back()))
                line.pop_back();
            lines.push_back(line);
            line.clear();
            used = 0;
        }
        if (wordWidth > columns) {
            std::vector<std::u32string> pieces;
            splitWideWord(word, columns, pieces);
            lines.insert(lines.end(), pieces.begin(), pieces.end() - 1);
            line = pieces.back();
            used = textColumns(line);
        } else {
            line += word;
            used += wordWidth;
        }
        const int blanksWidth = textColumns(blanks);
        if (used + blanksWidth <= columns) {
            line += blanks;
            used += blanksWidth;
        } else {
            used = columns;  // the next word starts a new line
        }
        at = blanksEnd;
    }
    while (!line.empty() && isBlank(line.back()))
        line.pop_back();
    lines.push_back(line);
}

}  // namespace

std::u32string toCodePoints(std::u16string_view text)
{
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            out += static_cast<char32_t>(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            out += U'\uFFFD';
        } else {
            out += unit;
        }
    }
    return out;
}

std::u16string fromCodePoints(std::u32string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (char32_t ch : text) {
        if (ch >= 0x10000 && ch <= 0x10FFFF) {
            out += static_cast<char16_t>(0xD800 + ((ch - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((ch - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF) ? 0xFFFD : ch);
        }
    }
    return out;
}

int charColumns(char32_t ch) noexcept
{
    if (ch < 0x20 || (ch >= 0x7F && ch < 0xA0))
        return 0;
    if (ch < 0x300)
        return 1;
    if (inRanges(kZeroWidth, ch))
        return 0;
    return inRanges(kWide, ch) ? 2 : 1;
}

int textColumns(std::u32string_view text) noexcept
{
    int columns = 0;
    for (char32_t ch : text)
        columns += charColumns(ch);
    return columns;
}

std::u32string fitColumns(std::u32string_view text, int columns)
{
    std::u32string out;
    int used = 0;
    for (char32_t ch : text) {
        const int width = charColumns(ch);
        if (used + width > columns)
            break;
        out += ch;
        used += width;
    }
    return out;
}

std::vector<std::u32string> wrapText(std::u16string_view text, int columns)
{
    std::vector<std::u32string> lines;
    if (text.empty())
        return lines;
    columns = std::max(columns, 1);
    const std::u32string all = toCodePoints(text);
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = all.find(U'\n', start);
        std::u32string_view paragraph = std::u32string_view(all).substr(start, end == std::u32string::npos
                                                                                    ? std::u32string::npos
                                                                                    : end - start);
        if (!paragraph.empty() && paragraph.back() == U'\r')
            paragraph.remove_suffix(1);
        wrapParagraph(paragraph, columns, lines);
        if (end == std::u32string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

}  // namespace druvex

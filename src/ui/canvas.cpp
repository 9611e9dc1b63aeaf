#include "ui/canvas.h"

#include <algorithm>

#include "ui/display_text.h"

namespace druvex {
namespace {

void appendUtf8(std::string& out, char32_t ch)
{
    if (ch < 0x80) {
        out += static_cast<char>(ch);
    } else if (ch < 0x800) {
        out += static_cast<char>(0xC0 | (ch >> 6));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else if (ch < 0x10000) {
        out += static_cast<char>(0xE0 | (ch >> 12));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (ch >> 18));
        out += static_cast<char>(0x80 | ((ch >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((ch >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (ch & 0x3F));
    }
}

}  // namespace

Canvas::Canvas(int rows, int columns)
{
    resize(rows, columns);
}

void Canvas::resize(int rows, int columns)
{
    rows_ = std::max(rows, 0);
    columns_ = std::max(columns, 0);
    cells_.assign(static_cast<std::size_t>(rows_ * columns_), Cell{});
    cursorVisible_ = false;
}

void Canvas::clear()
{
    std::fill(cells_.begin(), cells_.end(), Cell{});
    cursorVisible_ = false;
}

int Canvas::text(int row, int column, std::u32string_view text, CellStyle style, int maxColumns)
{
    if (row < 0 || row >= rows_ || column >= columns_)
        return 0;
    int limit = columns_ - column;
    if (maxColumns >= 0)
        limit = std::min(limit, maxColumns);
    int used = 0;
    for (char32_t ch : text) {
        const int width = charColumns(ch);
        // Combining marks and control characters get no cell of their own.
        if (width == 0)
            continue;
        if (used + width > limit)
            break;
        const int at = column + used;
        if (at >= 0) {
            cell(row, at) = Cell{ch, style};
            if (width == 2)
                cell(row, at + 1) = Cell{0, style};
        }
        used += width;
    }
    return used;
}

int Canvas::text(int row, int column, std::u16string_view text, CellStyle style, int maxColumns)
{
    return this->text(row, column, std::u32string_view(toCodePoints(text)), style, maxColumns);
}

void Canvas::fill(const Rect& rect, CellStyle style)
{
    for (int row = std::max(rect.top, 0); row < std::min(rect.bottom(), rows_); ++row) {
        for (int column = std::max(rect.left, 0); column < std::min(rect.right(), columns_); ++column)
            cell(row, column) = Cell{U' ', style};
    }
}

void Canvas::frame(const Rect& rect, CellStyle style)
{
    if (rect.height < 2 || rect.width < 2)
        return;
    const std::u32string horizontal(static_cast<std::size_t>(rect.width - 2), U'-');
    text(rect.top, rect.left, U"+" + horizontal + U"+", style);
    text(rect.bottom() - 1, rect.left, U"+" + horizontal + U"+", style);
    for (int row = rect.top + 1; row < rect.bottom() - 1; ++row) {
        text(row, rect.left, std::u32string_view(U"|"), style);
        text(row, rect.right() - 1, std::u32string_view(U"|"), style);
    }
}

void Canvas::setStyle(int row, int column, int count, CellStyle style)
{
    if (row < 0 || row >= rows_)
        return;
    for (int at = std::max(column, 0); at < std::min(column + count, columns_); ++at)
        cell(row, at).style = style;
}

void Canvas::showCursor(int row, int column)
{
    cursorVisible_ = row >= 0 && row < rows_ && column >= 0 && column < columns_;
    cursorRow_ = row;
    cursorColumn_ = column;
}

std::string Canvas::rowText(int row) const
{
    std::string out;
    for (int column = 0; column < columns_; ++column) {
        const char32_t ch = at(row, column).ch;
        if (ch != 0)
            appendUtf8(out, ch);
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string Canvas::screenText() const
{
    std::string out;
    for (int row = 0; row < rows_; ++row)
        out += rowText(row) + "\n";
    return out;
}

}  // namespace druvex

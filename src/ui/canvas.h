// The screen as cells: what the widgets draw into. The session draws every
// dialog into one canvas and hands it to the terminal backend, which shows it;
// tests read the canvas as text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace druvex {

// Cell styles, combinable.
using CellStyle = std::uint8_t;
constexpr CellStyle kStyleNormal = 0;
constexpr CellStyle kStyleBold = 1;
constexpr CellStyle kStyleReverse = 2;
constexpr CellStyle kStyleUnderline = 4;
constexpr CellStyle kStyleDim = 8;

struct Cell {
    char32_t ch = U' ';  // 0: the second column of the wide character before
    CellStyle style = kStyleNormal;
};

struct Rect {
    int top = 0;
    int left = 0;
    int height = 0;
    int width = 0;

    int bottom() const { return top + height; }  // one past the last row
    int right() const { return left + width; }   // one past the last column
};

class Canvas {
public:
    Canvas(int rows, int columns);

    int rows() const { return rows_; }
    int columns() const { return columns_; }
    void resize(int rows, int columns);
    void clear();

    // Writes `text` from (row, column), cut at `maxColumns` (and at the
    // canvas's edge); returns the columns written. A wide character that does
    // not fit whole is left out.
    int text(int row, int column, std::u32string_view text, CellStyle style = kStyleNormal, int maxColumns = -1);
    int text(int row, int column, std::u16string_view text, CellStyle style = kStyleNormal, int maxColumns = -1);
    // Fills the rectangle with blanks of `style`.
    void fill(const Rect& rect, CellStyle style = kStyleNormal);
    // A frame of ASCII lines around the rectangle's edge.
    void frame(const Rect& rect, CellStyle style = kStyleNormal);
    void setStyle(int row, int column, int count, CellStyle style);

    const Cell& at(int row, int column) const { return cells_[static_cast<std::size_t>(row * columns_ + column)]; }

    // Where the terminal's cursor shows; hidden unless a widget asks for it.
    void showCursor(int row, int column);
    void hideCursor() { cursorVisible_ = false; }
    bool cursorVisible() const { return cursorVisible_; }
    int cursorRow() const { return cursorRow_; }
    int cursorColumn() const { return cursorColumn_; }

    // One row as UTF-8 text without trailing blanks, or the whole screen with
    // a line feed after each row (what a screen capture of a terminal shows).
    std::string rowText(int row) const;
    std::string screenText() const;

private:
    Cell& cell(int row, int column) { return cells_[static_cast<std::size_t>(row * columns_ + column)]; }

    int rows_ = 0;
    int columns_ = 0;
    std::vector<Cell> cells_;
    bool cursorVisible_ = false;
    int cursorRow_ = 0;
    int cursorColumn_ = 0;
};

}  // namespace druvex

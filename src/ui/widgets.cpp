#include "ui/widgets.h"

#include <algorithm>

#include "text/char_class.h"
#include "ui/display_text.h"

namespace druvex {
namespace {

char32_t foldCase(char32_t ch)
{
    return ch <= 0xFFFF ? toLowerChar(static_cast<char16_t>(ch)) : ch;
}

bool isLetterOrDigit(char32_t ch)
{
    return ch > U' ' && !(ch <= 0xFFFF && isSpaceChar(static_cast<char16_t>(ch))) && ch != U'[' && ch != U'<' &&
           ch != U'(' && ch != U'&';
}

// The index in `text` of the character that is its hotkey, or -1.
int hotkeyIndex(const std::u32string& text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isLetterOrDigit(text[i]))
            return static_cast<int>(i);
    }
    return -1;
}

// Draws lines into the rectangle from its top, each cut at its width.
void drawLines(Canvas& canvas, const Rect& rect, const std::vector<std::u32string>& lines, int first,
               CellStyle style, int width)
{
    for (int row = 0; row < rect.height && first + row < static_cast<int>(lines.size()); ++row)
        canvas.text(rect.top + row, rect.left, std::u32string_view(lines[static_cast<std::size_t>(first + row)]), style,
                    width);
}

}  // namespace

// Reverse video alone does not show on every terminal (nor to every eye): the
// terminal's own cursor also stands on the control with the focus.
void showFocus(Canvas& canvas, int row, int column)
{
    canvas.showCursor(row, column);
}

namespace {

int clampIndex(int index, std::size_t count)
{
    if (count == 0)
        return 0;
    return std::clamp(index, 0, static_cast<int>(count) - 1);
}

}  // namespace

int Widget::preferredHeight(int) const
{
    return 1;
}

bool Widget::handleKey(const Key&)
{
    return false;
}

// ---- Label

Label::Label(SharedString text, CellStyle style) : text_(std::move(text)), style_(style) {}

int Label::preferredHeight(int width) const
{
    return static_cast<int>(wrapText(text_.view(), width).size());
}

void Label::draw(Canvas& canvas, bool) const
{
    drawLines(canvas, rect(), wrapText(text_.view(), rect().width), 0, style_, rect().width);
}

// ---- ScrollText

ScrollText::ScrollText(SharedString text) : text_(std::move(text)) {}

void ScrollText::setText(SharedString text)
{
    text_ = std::move(text);
    first_ = 0;
}

int ScrollText::lineCount() const
{
    return static_cast<int>(wrapText(text_.view(), textWidth()).size());
}

bool ScrollText::canFocus() const
{
    return rect().height > 0 && lineCount() > rect().height;
}

int ScrollText::preferredHeight(int width) const
{
    return static_cast<int>(wrapText(text_.view(), width - 1).size());
}

void ScrollText::draw(Canvas& canvas, bool focused) const
{
    const std::vector<std::u32string> lines = wrapText(text_.view(), textWidth());
    const int count = static_cast<int>(lines.size());
    const int first = std::clamp(first_, 0, std::max(count - rect().height, 0));
    drawLines(canvas, rect(), lines, first, kStyleNormal, textWidth());
    const CellStyle markStyle = focused ? kStyleReverse : kStyleNormal;
    const int markColumn = rect().right() - 1;
    if (first > 0)
        canvas.text(rect().top, markColumn, std::u32string_view(U"^"), markStyle);
    if (first + rect().height < count)
        canvas.text(rect().bottom() - 1, markColumn, std::u32string_view(U"v"), markStyle);
    if (focused)
        canvas.showCursor(rect().bottom() - 1, markColumn);
}

bool ScrollText::handleKey(const Key& key)
{
    const int page = std::max(rect().height - 1, 1);
    const int last = std::max(lineCount() - rect().height, 0);
    int first = std::clamp(first_, 0, last);
    switch (key.code) {
    case KeyCode::Up:
        first -= 1;
        break;
    case KeyCode::Down:
        first += 1;
        break;
    case KeyCode::PageUp:
        first -= page;
        break;
    case KeyCode::Character:
        if (key.ch != U' ')
            return false;
        [[fallthrough]];
    case KeyCode::PageDown:
        first += page;
        break;
    case KeyCode::Home:
        first = 0;
        break;
    case KeyCode::End:
        first = last;
        break;
    default:
        return false;
    }
    first_ = std::clamp(first, 0, last);
    return true;
}

// ---- Button

Button::Button(SharedString text, std::function<void()> onPress)
    : text_(std::move(text)), onPress_(std::move(onPress))
{
}

char32_t Button::hotkey() const
{
    const std::u32string text = toCodePoints(text_.view());
    const int at = hotkeyIndex(text);
    return at < 0 ? 0 : foldCase(text[static_cast<std::size_t>(at)]);
}

void Button::activate()
{
    if (onPress_)
        onPress_();
}

int Button::preferredWidth() const
{
    return textColumns(toCodePoints(text_.view())) + 4;
}

void Button::draw(Canvas& canvas, bool focused) const
{
    const std::u32string text = toCodePoints(text_.view());
    CellStyle style = focused ? kStyleReverse : kStyleNormal;
    if (!isEnabled())
        style = kStyleDim;
    const int row = rect().top;
    int column = rect().left;
    column += canvas.text(row, column, std::u32string_view(U"[ "), style);
    const int at = hotkeyIndex(text);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const CellStyle charStyle = static_cast<int>(i) == at && isEnabled() ? style | kStyleUnderline : style;
        if (focused && static_cast<int>(i) == std::max(at, 0))
            showFocus(canvas, row, column);
        column += canvas.text(row, column, std::u32string_view(&text[i], 1), charStyle);
    }
    canvas.text(row, column, std::u32string_view(U" ]"), style);
}

bool Button::handleKey(const Key& key)
{
    if (key.is(KeyCode::Enter) || (key.is(KeyCode::Character) && key.ch == U' ')) {
        activate();
        return true;
    }
    return false;
}

// ---- CheckBox

CheckBox::CheckBox(SharedString text, bool checked) : text_(std::move(text)), checked_(checked) {}

int CheckBox::preferredHeight(int width) const
{
    return std::max<int>(1, static_cast<int>(wrapText(text_.view(), width - 4).size()));
}

void CheckBox::draw(Canvas& canvas, bool focused) const
{
    CellStyle markStyle = focused ? kStyleReverse : kStyleNormal;
    if (!isEnabled())
        markStyle = kStyleDim;
    canvas.text(rect().top, rect().left, std::u32string_view(checked_ ? U"[x]" : U"[ ]"), markStyle);
    if (focused)
        showFocus(canvas, rect().top, rect().left + 1);
    Rect textRect = rect();
    textRect.left += 4;
    textRect.width -= 4;
    drawLines(canvas, textRect, wrapText(text_.view(), textRect.width), 0,
              isEnabled() ? kStyleNormal : kStyleDim, textRect.width);
}

bool CheckBox::handleKey(const Key& key)
{
    if (!key.is(KeyCode::Character) || key.ch != U' ')
        return false;
    checked_ = !checked_;
    if (onChange_)
        onChange_(checked_);
    return true;
}

// ---- RadioGroup

RadioGroup::RadioGroup(std::vector<SharedString> items, int selected)
    : items_(std::move(items)), enabled_(items_.size(), true), selected_(clampIndex(selected, items_.size()))
{
}

void RadioGroup::setSelected(int index)
{
    selected_ = clampIndex(index, items_.size());
}

void RadioGroup::setItemEnabled(int index, bool enabled)
{
    if (index >= 0 && index < static_cast<int>(enabled_.size()))
        enabled_[static_cast<std::size_t>(index)] = enabled;
}

bool RadioGroup::isItemEnabled(int index) const
{
    return index >= 0 && index < static_cast<int>(enabled_.size()) && enabled_[static_cast<std::size_t>(index)];
}

bool RadioGroup::canFocus() const
{
    return std::find(enabled_.begin(), enabled_.end(), true) != enabled_.end();
}

int RadioGroup::preferredHeight(int) const
{
    return static_cast<int>(items_.size());
}

void RadioGroup::draw(Canvas& canvas, bool focused) const
{
    for (int i = 0; i < static_cast<int>(items_.size()) && i < rect().height; ++i) {
        const bool enabled = isEnabled() && isItemEnabled(i);
        const CellStyle markStyle = !enabled ? kStyleDim : (focused && i == selected_ ? kStyleReverse : kStyleNormal);
        canvas.text(rect().top + i, rect().left, std::u32string_view(i == selected_ ? U"(*)" : U"( )"), markStyle);
        if (focused && i == selected_)
            showFocus(canvas, rect().top + i, rect().left + 1);
        canvas.text(rect().top + i, rect().left + 4, items_[static_cast<std::size_t>(i)].view(),
                    enabled ? kStyleNormal : kStyleDim, rect().width - 4);
    }
}

bool RadioGroup::step(int direction)
{
    for (int i = selected_ + direction; i >= 0 && i < static_cast<int>(items_.size()); i += direction) {
        if (isItemEnabled(i)) {
            selected_ = i;
            if (onChange_)
                onChange_(selected_);
            return true;
        }
    }
    return false;
}

bool RadioGroup::handleKey(const Key& key)
{
    if (key.is(KeyCode::Up))
        return step(-1);
    if (key.is(KeyCode::Down))
        return step(1);
    return key.is(KeyCode::Character) && key.ch == U' ';
}

// ---- EditField

EditField::EditField(SharedString text, int maxLength) : maxLength_(maxLength)
{
    setText(text);
}

SharedString EditField::text() const
{
    return SharedString(fromCodePoints(text_));
}

void EditField::setText(const SharedString& text)
{
    text_ = toCodePoints(text.view());
    if (static_cast<int>(text_.size()) > maxLength_)
        text_.resize(static_cast<std::size_t>(maxLength_));
    cursor_ = static_cast<int>(text_.size());
}

void EditField::changed()
{
    if (onChange_)
        onChange_();
}

void EditField::draw(Canvas& canvas, bool focused) const
{
    const int inner = std::max(rect().width - 2, 1);
    // Keep the cursor inside the shown part.
    scroll_ = std::min(scroll_, cursor_);
    while (textColumns(std::u32string_view(text_).substr(static_cast<std::size_t>(scroll_),
                                                         static_cast<std::size_t>(cursor_ - scroll_))) >= inner)
        ++scroll_;
    const CellStyle style = isEnabled() ? kStyleNormal : kStyleDim;
    canvas.text(rect().top, rect().left, std::u32string_view(U"["), style);
    canvas.text(rect().top, rect().left + 1, std::u32string_view(text_).substr(static_cast<std::size_t>(scroll_)),
                style, inner);
    canvas.text(rect().top, rect().left + 1 + inner, std::u32string_view(U"]"), style);
    if (focused) {
        const int column = textColumns(std::u32string_view(text_).substr(static_cast<std::size_t>(scroll_),
                                                                        static_cast<std::size_t>(cursor_ - scroll_)));
        canvas.showCursor(rect().top, rect().left + 1 + column);
    }
}

bool EditField::handleKey(const Key& key)
{
    const int length = static_cast<int>(text_.size());
    switch (key.code) {
    case KeyCode::Character:
        if (length >= maxLength_ || charColumns(key.ch) == 0)
            return true;
        text_.insert(static_cast<std::size_t>(cursor_), 1, key.ch);
        ++cursor_;
        changed();
        return true;
    case KeyCode::Backspace:
        if (cursor_ > 0) {
            text_.erase(static_cast<std::size_t>(--cursor_), 1);
            changed();
        }
        return true;
    case KeyCode::Delete:
        if (cursor_ < length) {
            text_.erase(static_cast<std::size_t>(cursor_), 1);
            changed();
        }
        return true;
    case KeyCode::Left:
        if (cursor_ == 0)
            return false;
        --cursor_;
        return true;
    case KeyCode::Right:
        if (cursor_ == length)
            return false;
        ++cursor_;
        return true;
    case KeyCode::Home:
        cursor_ = 0;
        return true;
    case KeyCode::End:
        cursor_ = length;
        return true;
    default:
        return false;
    }
}

// ---- ListBox

ListBox::ListBox(std::vector<SharedString> items, int selected)
    : items_(std::move(items)), selected_(clampIndex(selected, items_.size()))
{
}

void ListBox::setItems(std::vector<SharedString> items)
{
    items_ = std::move(items);
    selected_ = clampIndex(selected_, items_.size());
    first_ = 0;
}

void ListBox::setSelected(int index)
{
    selected_ = clampIndex(index, items_.size());
}

int ListBox::preferredHeight(int) const
{
    return std::clamp(static_cast<int>(items_.size()), 1, 6);
}

void ListBox::draw(Canvas& canvas, bool focused) const
{
    const int rows = rect().height;
    const int count = static_cast<int>(items_.size());
    if (rows <= 0)
        return;
    if (readOnly_) {
        first_ = std::clamp(first_, 0, std::max(count - rows, 0));
    } else {
        first_ = std::clamp(first_, std::max(selected_ - rows + 1, 0), std::max(selected_, 0));
    }
    const int width = rect().width - 1;
    for (int row = 0; row < rows && first_ + row < count; ++row) {
        const int index = first_ + row;
        const bool chosen = !readOnly_ && index == selected_;
        const CellStyle style = chosen ? (focused ? kStyleReverse : kStyleBold) : kStyleNormal;
        canvas.fill(Rect{rect().top + row, rect().left, 1, width}, style);
        canvas.text(rect().top + row, rect().left, items_[static_cast<std::size_t>(index)].view(), style, width);
        if (focused && chosen)
            showFocus(canvas, rect().top + row, rect().left);
    }
    if (first_ > 0)
        canvas.text(rect().top, rect().right() - 1, std::u32string_view(U"^"));
    if (first_ + rows < count)
        canvas.text(rect().bottom() - 1, rect().right() - 1, std::u32string_view(U"v"));
}

bool ListBox::handleKey(const Key& key)
{
    if (readOnly_ || items_.empty())
        return false;
    const int page = std::max(rect().height - 1, 1);
    int index = selected_;
    switch (key.code) {
    case KeyCode::Up:
        index -= 1;
        break;
    case KeyCode::Down:
        index += 1;
        break;
    case KeyCode::PageUp:
        index -= page;
        break;
    case KeyCode::PageDown:
        index += page;
        break;
    case KeyCode::Home:
        index = 0;
        break;
    case KeyCode::End:
        index = static_cast<int>(items_.size()) - 1;
        break;
    default:
        return false;
    }
    index = clampIndex(index, items_.size());
    if (index != selected_) {
        selected_ = index;
        if (onChange_)
            onChange_(selected_);
    }
    return true;
}

// ---- ComboBox

ComboBox::ComboBox(std::vector<SharedString> items, int selected)
    : items_(std::move(items)), selected_(clampIndex(selected, items_.size()))
{
}

void ComboBox::setItems(std::vector<SharedString> items)
{
    items_ = std::move(items);
    selected_ = clampIndex(selected_, items_.size());
}

SharedString ComboBox::selectedText() const
{
    return items_.empty() ? SharedString() : items_[static_cast<std::size_t>(selected_)];
}

void ComboBox::setSelected(int index)
{
    selected_ = clampIndex(index, items_.size());
}

void ComboBox::choose(int index)
{
    index = clampIndex(index, items_.size());
    if (index == selected_)
        return;
    selected_ = index;
    if (onChange_)
        onChange_(selected_);
}

void ComboBox::draw(Canvas& canvas, bool focused) const
{
    const int inner = std::max(rect().width - 4, 1);
    const CellStyle style = !isEnabled() ? kStyleDim : (focused ? kStyleReverse : kStyleNormal);
    canvas.text(rect().top, rect().left, std::u32string_view(U"["), style);
    canvas.fill(Rect{rect().top, rect().left + 1, 1, inner}, style);
    canvas.text(rect().top, rect().left + 1, selectedText().view(), style, inner);
    canvas.text(rect().top, rect().left + 1 + inner, std::u32string_view(U"] v"), style);
    if (focused)
        showFocus(canvas, rect().top, rect().left + 1);
}

bool ComboBox::handleKey(const Key& key)
{
    if (items_.empty())
        return false;
    switch (key.code) {
    case KeyCode::Up:
        choose(selected_ - 1);
        return true;
    case KeyCode::Down:
        choose(selected_ + 1);
        return true;
    case KeyCode::Home:
        choose(0);
        return true;
    case KeyCode::End:
        choose(static_cast<int>(items_.size()) - 1);
        return true;
    case KeyCode::Character: {
        const char32_t wanted = foldCase(key.ch);
        const int count = static_cast<int>(items_.size());
        for (int step = 1; step <= count; ++step) {
            const int index = (selected_ + step) % count;
            const std::u32string text = toCodePoints(items_[static_cast<std::size_t>(index)].view());
            if (!text.empty() && foldCase(text.front()) == wanted) {
                choose(index);
                return true;
            }
        }
        return true;
    }
    default:
        return false;
    }
}

// ---- ProgressBar

int ProgressBar::percent() const
{
    return static_cast<int>(std::clamp<long long>(static_cast<long long>(position_) * 100 / range_, 0, 100));
}

void ProgressBar::draw(Canvas& canvas, bool) const
{
    canvas.text(rect().top, rect().left, itemName_.view(), kStyleNormal, rect().width);
    if (rect().height < 2)
        return;
    const std::u32string label = U" " + toCodePoints(SharedString().format(u"%3d%%", percent()).view());
    const int barWidth = std::max(rect().width - 2 - static_cast<int>(label.size()), 1);
    const int filled = barWidth * percent() / 100;
    const std::u32string bar = U"[" + std::u32string(static_cast<std::size_t>(filled), U'#') +
                               std::u32string(static_cast<std::size_t>(barWidth - filled), U'.') + U"]" + label;
    canvas.text(rect().top + 1, rect().left, std::u32string_view(bar));
}

}  // namespace druvex

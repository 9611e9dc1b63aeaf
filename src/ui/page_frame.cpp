#include "ui/page_frame.h"

#include <algorithm>

#include "core/translate_text.h"
#include "ui/display_text.h"
#include "ui/terminal_session.h"

namespace druvex {
namespace {

// Blank columns on either side of the page's controls.
constexpr int kMargin = 2;

}  // namespace

PageFrame::PageFrame(TerminalSession& session, SharedString title) : CDlgBase(session), title_(std::move(title))
{
    back_ = &addButton(translateText("< Back"), kPageCommandBack);
    next_ = &addButton(translateText("Next >"), kPageCommandNext);
    cancel_ = &addButton(translateText("Cancel"), kPageCommandCancel);
    setCloseResult(kPageCommandCancel);
    // Enter on a control that does not take it moves on, as the default button does.
    setDefaultCommand(kPageCommandNext);
}

void PageFrame::setTitle(SharedString title)
{
    title_ = std::move(title);
    invalidate();
}

void PageFrame::setCounter(SharedString counter)
{
    counter_ = std::move(counter);
    invalidate();
}

void PageFrame::onCommand(int id)
{
    switch (id) {
    case kPageCommandBack:
        onBack();
        return;
    case kPageCommandNext:
        onNext();
        return;
    case kPageCommandCancel:
        onCancel();
        return;
    default:
        CDlgBase::onCommand(id);
    }
}

void PageFrame::onKey(const Key& key)
{
    // Someone who types while the focus is on a button most likely believes
    // it in a field: the first letter of a word must not go Back or Cancel.
    Widget* focus = focusedWidget();
    if (key.is(KeyCode::Character) && dynamic_cast<Button*>(focus) != nullptr) {
        if (focus->isEnabled() && focus->isVisible())
            focus->handleKey(key);
        return;
    }
    CDlgBase::onKey(key);
}

void PageFrame::onInitDialog()
{
    layout(session().rows(), session().columns());
    for (const ContentItem& item : content_) {
        Widget* widget = item.widget;
        if (widget->isVisible() && widget->isEnabled() && widget->rect().height > 0 && widget->canFocus()) {
            setFocus(widget);
            return;
        }
    }
    if (next_->isEnabled())
        setFocus(next_);
}

std::vector<Widget*> PageFrame::focusableWidgets() const
{
    // The page's controls first, then its buttons.
    std::vector<Widget*> all = CDlgBase::focusableWidgets();
    std::stable_partition(all.begin(), all.end(),
                          [this](Widget* widget) { return widget != back_ && widget != next_ && widget != cancel_; });
    return all;
}

void PageFrame::layout(int rows, int columns)
{
    rows_ = rows;
    columns_ = columns;
    const int width = std::max(columns - 2 * kMargin, 1);
    const int top = 2;
    const int bottom = std::max(rows - 2, top);  // the rule above the buttons

    int fixed = 0;
    int stretching = 0;
    for (const ContentItem& item : content_) {
        if (!item.widget->isVisible())
            continue;
        fixed += item.gapBefore;
        if (item.stretch)
            ++stretching;
        else
            fixed += item.widget->preferredHeight(width);
    }
    const int spare = std::max(bottom - top - fixed, 0);
    int row = top;
    int stretchIndex = 0;
    for (const ContentItem& item : content_) {
        if (!item.widget->isVisible())
            continue;
        row += item.gapBefore;
        int height = item.widget->preferredHeight(width);
        if (item.stretch) {
            height = spare / stretching + (stretchIndex < spare % stretching ? 1 : 0);
            ++stretchIndex;
        }
        height = std::clamp(height, 0, std::max(bottom - row, 0));
        int itemWidth = width;
        if (item.widget->preferredWidth() > 0)
            itemWidth = std::min(item.widget->preferredWidth(), width);
        item.widget->setRect(Rect{row, kMargin, height, itemWidth});
        row += height;
    }

    // Back and Next side by side, Cancel apart, at the right.
    int column = columns - kMargin;
    const int buttonRow = std::max(rows - 1, 0);
    for (Button* button : {cancel_, next_, back_}) {
        const int buttonWidth = button->preferredWidth();
        column -= buttonWidth;
        button->setRect(Rect{buttonRow, column, 1, buttonWidth});
        column -= button == cancel_ ? 3 : 1;
    }
}

Rect PageFrame::contentArea() const
{
    const int top = 2;
    return Rect{top, kMargin, std::max(rows_ - 2 - top, 0), std::max(columns_ - 2 * kMargin, 1)};
}

void PageFrame::draw(Canvas& canvas) const
{
    const std::u32string counter = toCodePoints(counter_.view());
    const int counterWidth = textColumns(counter);
    canvas.fill(Rect{0, 0, 1, columns_}, kStyleReverse);
    canvas.text(0, 1, title_.view(), kStyleReverse | kStyleBold, std::max(columns_ - counterWidth - 3, 0));
    canvas.text(0, columns_ - counterWidth - 1, std::u32string_view(counter), kStyleReverse);
    const std::u32string rule(static_cast<std::size_t>(std::max(columns_, 0)), U'-');
    canvas.text(1, 0, std::u32string_view(rule));
    canvas.text(std::max(rows_ - 2, 1), 0, std::u32string_view(rule));
    CDlgBase::draw(canvas);
}

}  // namespace druvex

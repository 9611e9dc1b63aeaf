// The controls of dialogs and wizard pages: static and scrolling text,
// buttons, check box, radio buttons, edit field, list and combo, and the
// progress bar with its item name. Widgets draw into a Canvas and take keys;
// the dialog that holds them places them, moves the focus and dispatches.
// Texts given to widgets are shown as they are: callers translate them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "text/shared_string.h"
#include "ui/canvas.h"
#include "ui/terminal_keys.h"

namespace druvex {

// Marks the cell of the focused control: a widget that has the focus calls
// it from draw (the edit field shows its own text cursor instead).
void showFocus(Canvas& canvas, int row, int column);

class Widget {
public:
    virtual ~Widget() = default;

    void setRect(const Rect& rect) { rect_ = rect; }
    const Rect& rect() const { return rect_; }
    void setVisible(bool visible) { visible_ = visible; }
    bool isVisible() const { return visible_; }
    void setEnabled(bool enabled) { enabled_ = enabled; }
    bool isEnabled() const { return enabled_; }

    // Whether the widget takes the focus (when visible and enabled).
    virtual bool canFocus() const { return false; }
    // Whether typed characters are its input (not the dialog's hotkeys).
    virtual bool takesText() const { return false; }
    // The character that presses it from anywhere in the dialog; 0 for none.
    virtual char32_t hotkey() const { return 0; }
    // What its hotkey does.
    virtual void activate() {}

    // Rows it needs at `width` columns.
    virtual int preferredHeight(int width) const;
    // Columns it needs on one row; 0 when it takes what it is given.
    virtual int preferredWidth() const { return 0; }

    virtual void draw(Canvas& canvas, bool focused) const = 0;
    // True when the key was used.
    virtual bool handleKey(const Key& key);

private:
    Rect rect_;
    bool visible_ = true;
    bool enabled_ = true;
};

// Static text, wrapped to its width.
class Label final : public Widget {
public:
    explicit Label(SharedString text = SharedString(), CellStyle style = kStyleNormal);
    void setText(SharedString text) { text_ = std::move(text); }
    const SharedString& text() const { return text_; }
    int preferredHeight(int width) const override;
    void draw(Canvas& canvas, bool focused) const override;

private:
    SharedString text_;
    CellStyle style_;
};

// Text that scrolls when it is longer than its rows (a licence, a list of
// what a backup holds). It takes the focus only while it has more to show.
class ScrollText final : public Widget {
public:
    explicit ScrollText(SharedString text = SharedString());
    void setText(SharedString text);
    const SharedString& text() const { return text_; }
    int firstLine() const { return first_; }
    bool canFocus() const override;
    int preferredHeight(int width) const override;
    void draw(Canvas& canvas, bool focused) const override;
    bool handleKey(const Key& key) override;

private:
    int lineCount() const;
    int textWidth() const { return rect().width - 1; }  // the last column shows the scroll marks

    SharedString text_;
    int first_ = 0;
};

class Button final : public Widget {
public:
    Button(SharedString text, std::function<void()> onPress);
    void setText(SharedString text) { text_ = std::move(text); }
    const SharedString& text() const { return text_; }
    bool canFocus() const override { return true; }
    // Its first letter or digit.
    char32_t hotkey() const override;
    void activate() override;
    int preferredWidth() const override;
    void draw(Canvas& canvas, bool focused) const override;
    bool handleKey(const Key& key) override;

private:
    SharedString text_;
    std::function<void()> onPress_;
};

class CheckBox final : public Widget {
public:
    explicit CheckBox(SharedString text, bool checked = false);
    const SharedString& text() const { return text_; }
    bool isChecked() const { return checked_; }
    void setChecked(bool checked) { checked_ = checked; }
    void onChange(std::function<void(bool)> handler) { onChange_ = std::move(handler); }
    bool canFocus() const override { return true; }
    int preferredHeight(int width) const override;
    void draw(Canvas& canvas, bool focused) const override;
    bool handleKey(const Key& key) override;

private:
    SharedString text_;
    bool checked_;
    std::function<void(bool)> onChange_;
};

// A group of radio buttons, one chosen; the arrows move the choice over the
// enabled items.
class RadioGroup final : public Widget {
public:
    explicit RadioGroup(std::vector<SharedString> items, int selected = 0);
    int selected() const { return selected_; }
    void setSelected(int index);
    void setItemEnabled(int index, bool enabled);
    bool isItemEnabled(int index) const;
    void onChange(std::function<void(int)> handler) { onChange_ = std::move(handler); }
    bool canFocus() const override;
    int preferredHeight(int width) const override;
    void draw(Canvas& canvas, bool focused) const override;
    bool handleKey(const Key& key) override;

private:
    bool step(int direction);

    std::vector<SharedString> items_;
    std::vector<bool> enabled_;
    int selected_;
    std::function<void(int)> onChange_;
};

// One line of text to type (a path, a value of a custom page).
class EditField final : public Widget {
public:
    explicit EditField(SharedString text = SharedString(), int maxLength = 260);
    SharedString text() const;
    void setText(const SharedString& text);
    int cursor() const { return cursor_; }
    void onChange(std::function<void()> handler) { onChange_ = std::move(handler); }
    bool canFocus() const override { return true; }
    bool takesText() const override { return true; }
    void draw(Canvas& canvas, bool focused) const override;
    bool handleKey(const Key& key) override;

private:
    void changed();

    std::u32string text_;
    int maxLength_;
    int cursor_ = 0;
    mutable int scroll_ = 0;  // the first character shown
    std::function<void()> onChange_;
};

// A list of lines with one selected, scrolled to keep it shown.
class ListBox final : public Widget {
public:
    explicit ListBox(std::vector<SharedString> items = {}, int selected = 0);
    void setItems(std::vector<SharedString> items);
    const std::vector<SharedString>& items() const { return items_; }
    int selected() const { return selected_; }
    void setSelected(int index);
    // A list only to read shows no selection and does not take the focus.
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    void onChange(std::function<void(int)> handler) { onChange_ = std::move(handler); }
    bool canFocus() const override { return !readOnly_ && !items_.empty(); }
    int preferredHeight(int width) const override;
    void draw(Canvas& canvas, bool focused) const override;
    bool handleKey(const Key& key) override;

private:
    std::vector<SharedString> items_;
    int selected_;
    mutable int first_ = 0;
    bool readOnly_ = false;
    std::function<void(int)> onChange_;
};

// A choice of one among items shown on one line; the arrows change it and a
// typed character goes to the next item that starts with it.
class ComboBox final : public Widget {
public:
    explicit ComboBox(std::vector<SharedString> items = {}, int selected = 0);
    void setItems(std::vector<SharedString> items);
    int selected() const { return selected_; }
    SharedString selectedText() const;
    void setSelected(int index);
    void onChange(std::function<void(int)> handler) { onChange_ = std::move(handler); }
    bool canFocus() const override { return !items_.empty(); }
    void draw(Canvas& canvas, bool focused) const override;
    bool handleKey(const Key& key) override;

private:
    void choose(int index);

    std::vector<SharedString> items_;
    int selected_;
    std::function<void(int)> onChange_;
};

// A progress bar with the name of the item in work above it.
class ProgressBar final : public Widget {
public:
    ProgressBar() = default;
    void setRange(int range) { range_ = range > 0 ? range : 1; }
    void setPosition(int position) { position_ = position; }
    int position() const { return position_; }
    int percent() const;
    void setItemName(SharedString name) { itemName_ = std::move(name); }
    const SharedString& itemName() const { return itemName_; }
    int preferredHeight(int) const override { return 2; }
    void draw(Canvas& canvas, bool focused) const override;

private:
    int range_ = 100;
    int position_ = 0;
    SharedString itemName_;
};

}  // namespace druvex

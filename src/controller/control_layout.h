// ControlLayout: the controls of a custom wizard page as the page will draw
// them: one entry per text and edit box of the page's layout tree, each with
// the rectangle it takes once the tree is laid out in the page's area.
// CustomPageDialogDef: a custom page's dialog as the installer shows it, its
// title and its control layout, built from the controller (texts translated
// and their variables expanded, edit boxes holding their variables' values)
// and the page's definition.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "data/custom_page.h"
#include "text/shared_string.h"

namespace druvex {

class WizardController;

// A rectangle in the page's cells (columns and rows of a terminal).
struct ControlRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const ControlRect&, const ControlRect&) = default;
};

enum class ControlKind {
    Text,
    Edit,
};

struct ControlLayoutEntry {
    // The element's Id; may be empty.
    SharedString name;
    ControlKind kind = ControlKind::Text;
    // A text's words, or an edit box's value.
    SharedString text;
    // The installer variable an edit box edits.
    SharedString variable;
    bool isPath = false;
    ControlRect rect;
};

class ControlLayout {
public:
    ControlLayout() = default;
    // One entry per text and edit box of the tree, in the tree's order; the
    // texts as they stand.
    explicit ControlLayout(const std::shared_ptr<LinearLayout>& root);

    // Lays the tree out in `area`: each element inside its margins; a
    // vertical layout stacks its children, each as high as it needs; a
    // horizontal one gives them equal columns. A text takes a row per line,
    // an edit box one row; what falls outside the area is cut off.
    void layOut(const ControlRect& area);

    // The entry of that Id, ignoring case; null when none (an empty Id finds none).
    const ControlLayoutEntry* find(std::u16string_view name) const;
    ControlLayoutEntry* find(std::u16string_view name);
    bool hasEntries() const { return !entries_.empty(); }
    const std::vector<ControlLayoutEntry>& entries() const { return entries_; }
    std::vector<ControlLayoutEntry>& entries() { return entries_; }

private:
    void collect(const LayoutElement& element);
    int place(const LayoutElement& element, const ControlRect& area, std::size_t& next);
    int naturalHeight(const LayoutElement& element, std::size_t& next) const;

    std::shared_ptr<LinearLayout> root_;
    std::vector<ControlLayoutEntry> entries_;
};

class CustomPageDialogDef {
public:
    CustomPageDialogDef(WizardController& controller, const CustomPage& page);

    const SharedString& getTitle() const { return title_; }
    ControlLayout& getLayout() { return layout_; }
    const ControlLayout& getLayout() const { return layout_; }

private:
    SharedString title_;
    ControlLayout layout_;
};

}  // namespace druvex

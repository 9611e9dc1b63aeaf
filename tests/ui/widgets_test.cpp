// The controls on a canvas: what they draw and what the keys do to them.
#include "ui/widgets.h"

#include <gtest/gtest.h>

#include "ui/curses_backend.h"
#include "ui/feature_tree.h"
#include "scripted_terminal.h"

namespace druvex {
namespace {

using test::ch;
using test::key;

std::string drawn(const Widget& widget, int rows, int columns, bool focused = true)
{
    Canvas canvas(rows, columns);
    const_cast<Widget&>(widget).setRect(Rect{0, 0, rows, columns});
    widget.draw(canvas, focused);
    return canvas.screenText();
}

TEST(TerminalWidgets, TheEditFieldEditsAndKeepsItsCursorShown)
{
    EditField field(SharedString(u"abc"), 6);
    field.setRect(Rect{0, 0, 1, 6});
    EXPECT_EQ(field.cursor(), 3);
    for (const Key& k : {key(KeyCode::Home), key(KeyCode::Delete), ch(U'X'), key(KeyCode::End), key(KeyCode::Backspace),
                         ch(U'\u00E9'), ch(U'1'), ch(U'2'), ch(U'3'), ch(U'4')})
        EXPECT_TRUE(field.handleKey(k));
    // At most six characters: "4" did not fit.
    EXPECT_EQ(field.text(), u"Xb\u00E9123");
    // Four columns inside the brackets: scrolled so that the cursor shows.
    Canvas canvas(1, 6);
    field.draw(canvas, true);
    EXPECT_EQ(canvas.rowText(0), "[123 ]");
    EXPECT_TRUE(canvas.cursorVisible());
    EXPECT_EQ(canvas.cursorColumn(), 4);
    // Left at the start is not the field's: the dialog may move on.
    EXPECT_TRUE(field.handleKey(key(KeyCode::Home)));
    EXPECT_FALSE(field.handleKey(key(KeyCode::Left)));
}

TEST(TerminalWidgets, RadioButtonsPassOverDisabledItems)
{
    RadioGroup group({SharedString(u"Install"), SharedString(u"Repair"), SharedString(u"Remove")});
    group.setItemEnabled(1, false);
    int told = -1;
    group.onChange([&](int index) { told = index; });
    EXPECT_TRUE(group.handleKey(key(KeyCode::Down)));
    EXPECT_EQ(group.selected(), 2);
    EXPECT_EQ(told, 2);
    EXPECT_FALSE(group.handleKey(key(KeyCode::Down)));
    EXPECT_EQ(drawn(group, 3, 20), "( ) Install\n( ) Repair\n(*) Remove\n");
}

TEST(TerminalWidgets, TheComboGoesToTheNextItemStartingWithATypedCharacter)
{
    ComboBox combo({SharedString(u"Main Memory"), SharedString(u"SD Card"), SharedString(u"Storage"),
                    SharedString(u"system")});
    combo.handleKey(ch(U's'));
    EXPECT_EQ(combo.selectedText(), u"SD Card");
    combo.handleKey(ch(U'S'));
    EXPECT_EQ(combo.selectedText(), u"Storage");
    combo.handleKey(ch(U's'));
    EXPECT_EQ(combo.selectedText(), u"system");
    combo.handleKey(key(KeyCode::Home));
    EXPECT_EQ(drawn(combo, 1, 16, false), "[Main Memory ] v\n");
}

TEST(TerminalWidgets, TheFeatureTreeShowsThreeStatesAndKeepsRequiredFeatures)
{
    FeatureTree tree;
    tree.addNode(FeatureTree::kRoot, 1, SharedString(u"Program"), true);
    tree.addNode(1, 2, SharedString(u"Core"), true, false);
    tree.addNode(1, 3, SharedString(u"Help"), true);
    tree.addNode(3, 4, SharedString(u"Manual"), true);
    tree.addNode(FeatureTree::kRoot, 5, SharedString(u"Extras"), false);
    EXPECT_EQ(drawn(tree, 6, 24),
              "- [x] Program\n    [x] Core\n  - [x] Help\n      [x] Manual\n  [ ] Extras\n\n");

    // Unticking the top node leaves the required one; the node is partly checked.
    tree.handleKey(ch(U' '));
    EXPECT_EQ(tree.checkState(1), CheckState::Partial);
    EXPECT_TRUE(tree.isChecked(2));
    EXPECT_FALSE(tree.isChecked(4));
    // A partly checked node becomes checked.
    tree.handleKey(ch(U' '));
    EXPECT_EQ(tree.checkState(1), CheckState::Checked);
    // The required node does not toggle.
    tree.handleKey(key(KeyCode::Down));
    tree.handleKey(ch(U' '));
    EXPECT_TRUE(tree.isChecked(2));

    // Closing a node takes the cursor with it; Left then goes to the parent.
    tree.handleKey(key(KeyCode::Down));
    tree.handleKey(key(KeyCode::Down));
    EXPECT_EQ(tree.current(), 4);
    tree.setExpanded(3, false);
    EXPECT_EQ(tree.current(), 3);
    tree.handleKey(key(KeyCode::Left));
    EXPECT_EQ(tree.current(), 1);
    EXPECT_EQ(drawn(tree, 4, 24, false), "- [x] Program\n    [x] Core\n  + [x] Help\n  [ ] Extras\n");

    // With a handler the page decides.
    std::vector<std::pair<FeatureTree::NodeId, bool>> asked;
    tree.onToggle([&](FeatureTree::NodeId id, bool checked) { asked.emplace_back(id, checked); });
    tree.setCurrent(5);
    tree.handleKey(ch(U' '));
    EXPECT_EQ(asked, (std::vector<std::pair<FeatureTree::NodeId, bool>>{{5, true}}));
    EXPECT_FALSE(tree.isChecked(5));
}

TEST(TerminalWidgets, TheProgressBarShowsItsItemAndPercent)
{
    ProgressBar bar;
    bar.setRange(200);
    bar.setPosition(50);
    bar.setItemName(SharedString(u"orv.exe"));
    EXPECT_EQ(drawn(bar, 2, 20), "orv.exe\n[###..........]  25%\n");
    bar.setPosition(900);
    EXPECT_EQ(bar.percent(), 100);
    bar.setPosition(-5);
    EXPECT_EQ(bar.percent(), 0);
}

TEST(TerminalWidgets, ScrollingTextStopsAtItsEnds)
{
    ScrollText text(SharedString(u"1\n2\n3\n4\n5"));
    text.setRect(Rect{0, 0, 2, 10});
    EXPECT_TRUE(text.canFocus());
    EXPECT_TRUE(text.handleKey(key(KeyCode::End)));
    EXPECT_EQ(text.firstLine(), 3);
    text.handleKey(key(KeyCode::PageDown));
    EXPECT_EQ(text.firstLine(), 3);
    EXPECT_EQ(drawn(text, 2, 10), "4        ^\n5\n");
    text.handleKey(key(KeyCode::PageUp));
    EXPECT_EQ(text.firstLine(), 2);
    EXPECT_FALSE(text.handleKey(ch(U'x')));
}

// Where reverse video does not show, the terminal's cursor still marks the
// control with the focus: on the mark of a check box or the chosen radio
// button, the chosen line of a list or tree, a combo's text, a button's
// hotkey letter, a scrolling text's mark. Without the focus, no cursor.
TEST(TerminalWidgets, EveryFocusedControlCarriesTheTerminalCursor)
{
    CheckBox check(SharedString(u"Create a shortcut"));
    RadioGroup radio({SharedString(u"Install"), SharedString(u"Repair"), SharedString(u"Remove")}, 2);
    ListBox list({SharedString(u"one"), SharedString(u"two"), SharedString(u"three")}, 1);
    ComboBox combo({SharedString(u"Main Memory"), SharedString(u"SD Card")});
    Button button(SharedString(u"< Back"), [] {});
    ScrollText text(SharedString(u"1\n2\n3\n4"));
    FeatureTree tree;
    tree.addNode(FeatureTree::kRoot, 1, SharedString(u"Program"), true);
    tree.addNode(1, 2, SharedString(u"Core"), true);
    tree.setCurrent(2);
    const struct {
        const char* what;
        const Widget& widget;
        int row;
        int column;
    } rows[] = {
        {"check box", check, 0, 1},   {"radio buttons", radio, 2, 1}, {"list", list, 1, 0},
        {"combo", combo, 0, 1},       {"button", button, 0, 4},       {"scrolling text", text, 2, 19},
        {"feature tree", tree, 1, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Canvas canvas(3, 20);
        const_cast<Widget&>(row.widget).setRect(Rect{0, 0, 3, 20});
        row.widget.draw(canvas, false);
        EXPECT_FALSE(canvas.cursorVisible());
        row.widget.draw(canvas, true);
        ASSERT_TRUE(canvas.cursorVisible());
        EXPECT_EQ(canvas.cursorRow(), row.row);
        EXPECT_EQ(canvas.cursorColumn(), row.column);
    }
}

TEST(TerminalCheck, TheTerminalIsRefusedWithItsReason)
{
    struct Case {
        TerminalFacts facts;
        const char16_t* reason;
    };
    const Case cases[] = {
        {{false, true, "xterm", true, true}, u"standard input is not a terminal"},
        {{true, false, "xterm", true, true}, u"standard output is not a terminal"},
        {{true, true, "", false, false}, u"the variable TERM is not set"},
        {{true, true, "vt999", false, false}, u"the terminal type \"vt999\" is unknown"},
        {{true, true, "dumb", true, false}, u"the terminal type \"dumb\" cannot place the cursor"},
        {{true, true, "xterm", true, true}, u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(terminalUnusableReason(c.facts), c.reason);
}

}  // namespace
}  // namespace druvex

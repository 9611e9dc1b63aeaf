// The frame of a wizard page on a scripted terminal: the control with the
// focus carries the terminal's cursor, and a character typed while a button
// has the focus presses no other button.
#include "ui/page_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "scripted_terminal.h"

namespace druvex {
namespace {

using test::ch;
using test::key;

class TextPage final : public PageFrame {
public:
    TextPage(TerminalSession& session, bool withField) : PageFrame(session, SharedString(u"Choose"))
    {
        addContent<Label>(false, 0, SharedString(u"Where should the data go?"));
        if (withField)
            field = &addContent<EditField>(false, 1, SharedString(u"\\Data"));
    }
    EditField* field = nullptr;
};

// The column where `text` starts on the screen's last row (ASCII only).
int columnOnLastRow(const std::string& screen, const std::string& text)
{
    std::string last = screen;
    while (!last.empty() && last.back() == '\n')
        last.pop_back();
    last = last.substr(last.rfind('\n') + 1);
    const std::size_t at = last.find(text);
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

TEST(PageFrame, LettersTypedOnAButtonPressNoOtherButton)
{
    // Without a control to take it the focus is on Next: "c" and "b" are
    // not Cancel and Back there, Space presses Next.
    test::ScriptedSession ui;
    ui.keys({ch(U'c'), ch(U'b'), ch(U'C'), key(KeyCode::BackTab), ch(U'n'), ch(U' ')});
    TextPage page(ui.session, false);
    EXPECT_EQ(page.doModal(), kPageCommandBack);

    // In a field the letters are text; on its buttons they are nothing.
    test::ScriptedSession typing;
    typing.keys({ch(U'x'), key(KeyCode::Tab), ch(U'c'), ch(U'n'), key(KeyCode::Tab), key(KeyCode::Enter)});
    TextPage withField(typing.session, true);
    EXPECT_EQ(withField.doModal(), kPageCommandNext);
    EXPECT_EQ(withField.field->text(), u"\\Datax");
}

// Reverse video does not show on every terminal: the cursor stands on the
// focused button's hotkey letter (and in the field, where typing goes).
TEST(PageFrame, TheFocusedControlCarriesTheTerminalCursor)
{
    const struct {
        int tabs;
        const char* control;  // on the last row; null: the field
        int letter;           // the hotkey letter's offset in it
    } rows[] = {
        {1, "[ < Back ]", 4},
        {2, "[ Next > ]", 2},
        {3, "[ Cancel ]", 2},
        {4, nullptr, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.tabs);
        test::ScriptedSession ui;
        for (int i = 0; i < row.tabs; ++i)
            ui.keys({key(KeyCode::Tab)});
        // The screen is shown before each key is taken: the one before Escape
        // shows the focus after the Tabs.
        ui.keys({key(KeyCode::Escape)});
        TextPage page(ui.session, true);
        page.doModal();
        ASSERT_TRUE(ui.script->cursorShown);
        if (row.control) {
            EXPECT_EQ(ui.script->cursorRow, 23);
            EXPECT_EQ(ui.script->cursorColumn, columnOnLastRow(ui.script->screenAtLastKey, row.control) + row.letter);
        } else {
            // Round to the field again: the cursor after its text "[\Data".
            const std::string& screen = ui.script->screenAtLastKey;
            const std::size_t at = screen.find("[\\Data");
            ASSERT_NE(at, std::string::npos) << screen;
            const std::size_t lineStart = screen.rfind('\n', at) + 1;
            EXPECT_EQ(ui.script->cursorRow, static_cast<int>(std::count(screen.begin(), screen.begin() + at, '\n')));
            EXPECT_EQ(ui.script->cursorColumn, static_cast<int>(at - lineStart) + 6);
        }
    }
}

}  // namespace
}  // namespace druvex

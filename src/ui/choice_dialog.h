// Small dialogs in a frame over the screen: a caption, a text (scrolling when
// the screen is too small for it), optionally a list and a check box, and a
// row of buttons. The terminal's message boxes are such dialogs, built from
// the style flags; the prompts build their three-way questions with them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "ui/dlg_base.h"
#include "ui_base/message_box.h"

namespace druvex {

class UiDispatcher;

class ChoiceDialog : public CDlgBase {
public:
    ChoiceDialog(TerminalSession& session, SharedString caption, SharedString text);

    // The icon of the style flags (kMbIconError ... kMbIconInformation), shown
    // as a mark before the text; 0: none.
    void setIcon(std::uint32_t iconFlags) { icon_ = iconFlags & kMbIconMask; }
    CheckBox& addCheckBox(SharedString text, bool checked);
    ListBox& addList(std::vector<SharedString> items);
    // A button that ends the dialog with `result`.
    Button& addChoice(SharedString text, int result);
    // The button that has the focus first and that Enter presses elsewhere.
    void setDefaultChoice(int result);
    // What Escape answers; none: Escape does nothing.
    void setEscapeAnswer(std::optional<int> result) { setCloseResult(result); }

    // The same for answers of a closed set: the buttons carry the numbers,
    // and doModalFor gives the enumerator back.
    template <class Answer>
        requires std::is_enum_v<Answer>
    Button& addChoice(SharedString text, Answer result)
    {
        return addChoice(std::move(text), static_cast<int>(result));
    }
    template <class Answer>
        requires std::is_enum_v<Answer>
    void setDefaultChoice(Answer result)
    {
        setDefaultChoice(static_cast<int>(result));
    }
    template <class Answer>
        requires std::is_enum_v<Answer>
    void setEscapeAnswer(Answer result)
    {
        setEscapeAnswer(std::optional<int>(static_cast<int>(result)));
    }
    template <class Answer>
        requires std::is_enum_v<Answer>
    Answer doModalFor()
    {
        return static_cast<Answer>(doModal());
    }

    void layout(int rows, int columns) override;
    void draw(Canvas& canvas) const override;

protected:
    void onInitDialog() override;

private:
    SharedString caption_;
    std::uint32_t icon_ = 0;
    ScrollText* text_ = nullptr;
    ListBox* list_ = nullptr;
    CheckBox* checkBox_ = nullptr;
    std::vector<std::pair<Button*, int>> choices_;
    std::optional<int> defaultChoice_;
    Rect box_;
};

// Shows the message box on the UI thread and answers the button chosen.
// Escape answers Cancel when the box has one, OK when OK is its only button,
// and does nothing otherwise.
int runMessageBox(TerminalSession& session, const MessageBoxRequest& request);

// The message boxes of a terminal session, for setMessageBoxPresenter: a box
// asked from any thread is shown by the UI thread while the asking thread
// waits. Once the session has ended no box waits: the default button answers.
class TerminalMessageBoxPresenter final : public MessageBoxPresenter {
public:
    explicit TerminalMessageBoxPresenter(TerminalSession& session);
    bool canAsk() const override;
    int ask(const MessageBoxRequest& request) override;
    // The button chosen; none when the session could not show the box.
    std::optional<int> tryAsk(const MessageBoxRequest& request);

private:
    TerminalSession* session_;  // used only on the UI thread, while the dispatcher is open
    std::shared_ptr<UiDispatcher> dispatcher_;
};

}  // namespace druvex

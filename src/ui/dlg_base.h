// CDlgBase: the base of every dialog and wizard page. A dialog holds its
// widgets, moves the focus (Tab, Shift+Tab, the arrows between buttons),
// presses buttons by their hotkeys and runs modally on the session's dialog
// stack. Every handler it runs (keys, commands, messages posted from other
// threads) goes through WindowProc, under the crash filter with this file's
// name, line 1313 and mode 0: a fault in any dialog gives the terminal back,
// writes the crash line and the dump, and ends the program with the crash code.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <vector>

#include "ui/canvas.h"
#include "ui/terminal_keys.h"
#include "ui/widgets.h"

namespace druvex {

class TerminalSession;
class UiDispatcher;

// The line the crash line names for a fault in a dialog's handler.
constexpr int kDialogHandlerLine = 1313;

class CDlgBase {
public:
    explicit CDlgBase(TerminalSession& session);
    virtual ~CDlgBase();
    CDlgBase(const CDlgBase&) = delete;
    CDlgBase& operator=(const CDlgBase&) = delete;

    // Shows the dialog on top of the others and handles keys until
    // endDialog; answers the result given there.
    int doModal();
    void endDialog(int result);
    bool isModal() const { return modal_; }

    TerminalSession& session() const { return session_; }

    // Runs `handler` as the dialog's window procedure does: under the crash
    // filter; a C++ exception that leaves it is a crash as a fault is.
    void WindowProc(const std::function<void()>& handler);
    // The same guard for the UI thread's own work outside a dialog.
    static void runHandler(const std::function<void()>& handler);

    // From any thread: runs `handler` on the UI thread through WindowProc,
    // unless the dialog is gone by then. False when the UI no longer runs.
    bool postMessage(std::function<void()> handler);

    // Places the widgets for a screen of `rows` x `columns`.
    virtual void layout(int rows, int columns) = 0;
    // Draws the dialog and its widgets.
    virtual void draw(Canvas& canvas) const;

    Widget* focusedWidget() const { return focus_; }
    void setFocus(Widget* widget);

protected:
    // Adds a widget the dialog owns and draws.
    template <class W, class... Args>
    W& addWidget(Args&&... args)
    {
        auto widget = std::make_unique<W>(std::forward<Args>(args)...);
        W& added = *widget;
        widgets_.push_back(std::move(widget));
        return added;
    }
    // A button whose press runs onCommand(id).
    Button& addButton(SharedString text, int id);

    // The command run by Enter on a widget that does not take Enter itself.
    void setDefaultCommand(std::optional<int> id) { defaultCommand_ = id; }
    // The result of closing the dialog with Escape; none: Escape does nothing.
    void setCloseResult(std::optional<int> result) { closeResult_ = result; }

    // Called once, as the dialog opens.
    virtual void onInitDialog() {}
    // Every key; the default moves the focus, gives the key to the focused
    // widget, presses hotkeys, Enter runs the default command, Escape closes.
    virtual void onKey(const Key& key);
    // A button was pressed; the default ends the dialog with the id.
    virtual void onCommand(int id);
    // Escape; the default ends the dialog with the close result, if any.
    virtual void onClose();

    // Moves the focus over the widgets that take it; false when none does.
    bool moveFocus(int direction);
    // The widgets that take the focus now, in focus order (the order they
    // were added unless a dialog says otherwise).
    virtual std::vector<Widget*> focusableWidgets() const;
    const std::vector<std::unique_ptr<Widget>>& widgets() const { return widgets_; }
    void invalidate();

private:
    bool pressHotkey(char32_t ch);

    TerminalSession& session_;
    std::vector<std::unique_ptr<Widget>> widgets_;
    Widget* focus_ = nullptr;
    std::optional<int> defaultCommand_;
    std::optional<int> closeResult_;
    bool modal_ = false;
    bool ended_ = false;
    int result_ = 0;
    // Lets messages posted from other threads tell whether the dialog lives.
    std::shared_ptr<CDlgBase*> alive_;
    std::shared_ptr<UiDispatcher> dispatcher_;
};

}  // namespace druvex

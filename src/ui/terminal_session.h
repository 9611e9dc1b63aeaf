// The terminal session: one full screen for the life of the object, the stack
// of open dialogs drawn bottom to top, and the key wait that also serves the
// work other threads hand to the UI thread. The thread that makes the session
// is the UI thread; only it draws and reads keys.
#pragma once

#include <memory>
#include <vector>

#include "ui/canvas.h"
#include "ui/terminal_backend.h"
#include "ui/ui_dispatcher.h"

namespace druvex {

class CDlgBase;

class TerminalSession {
public:
    explicit TerminalSession(std::unique_ptr<TerminalBackend> backend);
    // Closes the dispatcher first (waiting threads get their fallback
    // answers), then gives the terminal back.
    ~TerminalSession();
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    // The hand-over queue; shared so that other threads may keep it past the
    // session (it is closed then).
    UiDispatcher& dispatcher() { return *dispatcher_; }
    std::shared_ptr<UiDispatcher> sharedDispatcher() const { return dispatcher_; }

    int rows() const { return canvas_.rows(); }
    int columns() const { return canvas_.columns(); }
    // What the screen shows (after the last redraw).
    const Canvas& canvas() const { return canvas_; }

    // The next key for the top dialog. While waiting it redraws what changed
    // and lays every dialog out again when the terminal's size changes. Queued
    // work is served first: then the answer is KeyCode::None, so that the
    // caller sees what the work changed (a dialog it ended) before it waits.
    Key nextKey();
    // Asks for a redraw before the next wait.
    void invalidate() { dirty_ = true; }
    // Draws every open dialog and shows the screen now.
    void redraw();

    // The dialog stack; CDlgBase keeps it while a dialog is modal.
    void push(CDlgBase* dialog);
    void pop(CDlgBase* dialog);
    CDlgBase* topDialog() const { return dialogs_.empty() ? nullptr : dialogs_.back(); }

private:
    bool serveQueuedWork();
    void fitToTerminal();

    std::unique_ptr<TerminalBackend> backend_;
    std::shared_ptr<UiDispatcher> dispatcher_;
    Canvas canvas_;
    std::vector<CDlgBase*> dialogs_;
    bool dirty_ = true;
};

}  // namespace druvex

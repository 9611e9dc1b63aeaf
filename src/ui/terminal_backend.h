// What the session needs of a terminal: its size, showing a canvas, and
// waiting for a key or for work for the UI thread. The ncursesw backend
// (curses_backend.h) is the real one; tests script their own.
#pragma once

#include "ui/canvas.h"
#include "ui/terminal_keys.h"

namespace druvex {

class TerminalBackend {
public:
    virtual ~TerminalBackend() = default;
    virtual int rows() const = 0;
    virtual int columns() const = 0;
    // Shows the canvas (and its cursor) on the terminal.
    virtual void present(const Canvas& canvas) = 0;
    // Waits for a key; answers KeyCode::None as soon as `wakeHandle` is
    // readable (work for the UI thread waits). KeyCode::Resize after the
    // terminal changed its size.
    virtual Key waitKey(int wakeHandle) = 0;
};

}  // namespace druvex

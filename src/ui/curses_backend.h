// The terminal backend on ncursesw: the full screen of a real terminal, wide
// characters, and the terminal given back on every way out. A normal end
// restores it through ncurses; SIGINT, SIGTERM, SIGHUP and SIGQUIT restore it
// and end the program as the signal would; a crash restores it before the
// crash is reported (setCrashCleanup); exit() restores it too. Only one
// backend is active at a time, and only the thread that started it may use it.
#pragma once

#include <memory>
#include <string>

#include "text/shared_string.h"
#include "ui/terminal_backend.h"

namespace druvex {

// What decides whether the full-screen terminal can run.
struct TerminalFacts {
    bool inputIsTerminal = false;
    bool outputIsTerminal = false;
    std::string term;          // the variable TERM; empty when unset
    bool termKnown = false;    // the terminal database describes it
    bool addressesCursor = false;  // it can clear the screen and place the cursor
};

// The facts of this process (standard input and output, TERM).
TerminalFacts probeTerminal();
// Why the terminal cannot run, translated; empty when it can.
SharedString terminalUnusableReason(const TerminalFacts& facts);
// The message that refuses an interactive run for `reason`.
SharedString terminalRefusalMessage(const SharedString& reason);

class CursesBackend final : public TerminalBackend {
public:
    // Takes over the terminal; null with `refusal` set when there is no
    // usable terminal. Never waits for input.
    static std::unique_ptr<CursesBackend> start(SharedString& refusal);
    // Gives the terminal back.
    ~CursesBackend() override;
    CursesBackend(const CursesBackend&) = delete;
    CursesBackend& operator=(const CursesBackend&) = delete;

    int rows() const override;
    int columns() const override;
    void present(const Canvas& canvas) override;
    Key waitKey(int wakeHandle) override;

private:
    CursesBackend() = default;
    void* screen_ = nullptr;  // the ncurses SCREEN
};

}  // namespace druvex

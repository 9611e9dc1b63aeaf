#include "ui/curses_backend.h"

#include <langinfo.h>
#include <locale.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define NCURSES_WIDECHAR 1
#define NCURSES_NOMACROS 1
#include <curses.h>

#include "core/app_log.h"
#include "core/crash_handler.h"
#include "core/translate_text.h"

namespace druvex {
namespace {

// What gives the terminal back without ncurses, from a signal or fault
// handler: only write() and tcsetattr(), both async-signal-safe, over data
// prepared while the terminal was taken.
std::atomic<bool> g_terminalTaken{false};
char g_restoreBytes[512];
std::size_t g_restoreLength = 0;
termios g_shellModes {};
bool g_haveShellModes = false;

constexpr int kRestoringSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction g_previousActions[std::size(kRestoringSignals)];

void restoreTerminalNow() noexcept
{
    if (!g_terminalTaken.exchange(false))
        return;
    std::size_t written = 0;
    while (written < g_restoreLength) {
        const ssize_t n = ::write(STDOUT_FILENO, g_restoreBytes + written, g_restoreLength - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    if (g_haveShellModes)
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_shellModes);
}

// The terminal goes back first; then the signal ends the program as it
// would have without us (the parent sees "killed by the signal").
void onEndingSignal(int signal)
{
    const int savedErrno = errno;
    restoreTerminalNow();
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    ::sigaction(signal, &fallback, nullptr);
    ::raise(signal);
    errno = savedErrno;
}

void restoreAtExit()
{
    restoreTerminalNow();
}

void appendCapability(const char* name)
{
    const char* value = tigetstr(name);
    if (value == nullptr || value == reinterpret_cast<const char*>(-1))
        return;
    const std::size_t length = std::strlen(value);
    if (g_restoreLength + length > sizeof g_restoreBytes)
        return;
    std::memcpy(g_restoreBytes + g_restoreLength, value, length);
    g_restoreLength += length;
}

// The sequences that undo what the session did: attributes off, keypad
// transmit mode off, the cursor shown, the shell's screen back.
void prepareRestore()
{
    g_restoreLength = 0;
    appendCapability("sgr0");
    appendCapability("rmkx");
    appendCapability("cnorm");
    appendCapability("rmcup");
}

void installSignalHandlers()
{
    struct sigaction action {};
    action.sa_handler = &onEndingSignal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i)
        ::sigaction(kRestoringSignals[i], &action, &g_previousActions[i]);
}

void restoreSignalHandlers()
{
    for (std::size_t i = 0; i < std::size(kRestoringSignals); ++i)
        ::sigaction(kRestoringSignals[i], &g_previousActions[i], nullptr);
}

// Wide characters need a UTF-8 character type; the environment may name
// none (a bare "C" locale), and C.UTF-8 is always there.
void chooseUtf8CharacterType()
{
    ::setlocale(LC_CTYPE, "");
    if (std::strcmp(::nl_langinfo(CODESET), "UTF-8") == 0)
        return;
    if (::setlocale(LC_CTYPE, "C.UTF-8") == nullptr)
        logPrintf(u"Terminal: no UTF-8 character type; characters beyond ASCII may not show");
}

Key keyFromCharacter(wint_t ch)
{
    switch (ch) {
    case L'\t':
        return Key::of(KeyCode::Tab);
    case L'\r':
    case L'\n':
        return Key::of(KeyCode::Enter);
    case 27:
        return Key::of(KeyCode::Escape);
    case 8:
    case 127:
        return Key::of(KeyCode::Backspace);
    default:
        break;
    }
    if (ch < 0x20)
        return Key::of(KeyCode::None);
    return Key::character(static_cast<char32_t>(ch));
}

Key keyFromFunctionKey(wint_t code)
{
    switch (code) {
    case KEY_UP:
        return Key::of(KeyCode::Up);
    case KEY_DOWN:
        return Key::of(KeyCode::Down);
    case KEY_LEFT:
        return Key::of(KeyCode::Left);
    case KEY_RIGHT:
        return Key::of(KeyCode::Right);
    case KEY_HOME:
        return Key::of(KeyCode::Home);
    case KEY_END:
        return Key::of(KeyCode::End);
    case KEY_PPAGE:
        return Key::of(KeyCode::PageUp);
    case KEY_NPAGE:
        return Key::of(KeyCode::PageDown);
    case KEY_BTAB:
        return Key::of(KeyCode::BackTab);
    case KEY_BACKSPACE:
        return Key::of(KeyCode::Backspace);
    case KEY_DC:
        return Key::of(KeyCode::Delete);
    case KEY_ENTER:
        return Key::of(KeyCode::Enter);
    case KEY_RESIZE:
        return Key::of(KeyCode::Resize);
    default:
        return Key::of(KeyCode::None);
    }
}

attr_t attributesOf(CellStyle style)
{
    attr_t attributes = A_NORMAL;
    if (style & kStyleBold)
        attributes |= A_BOLD;
    if (style & kStyleReverse)
        attributes |= A_REVERSE;
    if (style & kStyleUnderline)
        attributes |= A_UNDERLINE;
    if (style & kStyleDim)
        attributes |= A_DIM;
    return attributes;
}

}  // namespace

std::unique_ptr<CursesBackend> CursesBackend::start(SharedString& refusal)
{
    const TerminalFacts facts = probeTerminal();
    const SharedString reason = terminalUnusableReason(facts);
    if (!reason.isEmpty()) {
        refusal = terminalRefusalMessage(reason);
        logPrintf(u"Terminal: %s", reason);
        return nullptr;
    }
    if (g_terminalTaken.load()) {
        refusal = terminalRefusalMessage(SharedString(u"the terminal is in use"));
        return nullptr;
    }

    chooseUtf8CharacterType();
    g_haveShellModes = ::tcgetattr(STDIN_FILENO, &g_shellModes) == 0;
    // Ours before ncurses starts, so that it leaves these signals to us.
    installSignalHandlers();
    SCREEN* screen = newterm(nullptr, stdout, stdin);
    if (screen == nullptr) {
        restoreSignalHandlers();
        refusal = terminalRefusalMessage(formatTranslated("the terminal type \"{1}\" is unknown",
                                                          fromUtf8(facts.term)));
        return nullptr;
    }
    set_term(screen);
    prepareRestore();
    g_terminalTaken.store(true);
    static bool exitHookInstalled = false;
    if (!exitHookInstalled) {
        std::atexit(&restoreAtExit);
        exitHookInstalled = true;
    }
    setCrashCleanup(&restoreTerminalNow);

    cbreak();
    noecho();
    nonl();
    intrflush(stdscr, FALSE);
    keypad(stdscr, TRUE);
    nodelay(stdscr, TRUE);
    set_escdelay(50);
    curs_set(0);
    logPrintf(u"Terminal: %d x %d, TERM=%hs", COLS, LINES, facts.term.c_str());

    std::unique_ptr<CursesBackend> backend(new CursesBackend());
    backend->screen_ = screen;
    return backend;
}

CursesBackend::~CursesBackend()
{
    setCrashCleanup(nullptr);
    // A signal or a crash may have given the terminal back already.
    if (g_terminalTaken.exchange(false)) {
        curs_set(1);
        endwin();
    }
    delscreen(static_cast<SCREEN*>(screen_));
    restoreSignalHandlers();
    std::fflush(stdout);
}

int CursesBackend::rows() const
{
    return LINES;
}

int CursesBackend::columns() const
{
    return COLS;
}

void CursesBackend::present(const Canvas& canvas)
{
    const int rows = std::min(canvas.rows(), LINES);
    const int columns = std::min(canvas.columns(), COLS);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            const Cell& cell = canvas.at(row, column);
            if (cell.ch == 0)
                continue;  // the second half of a wide character
            wchar_t text[2] = {static_cast<wchar_t>(cell.ch), L'\0'};
            cchar_t shown;
            setcchar(&shown, text, attributesOf(cell.style), 0, nullptr);
            mvwadd_wch(stdscr, row, column, &shown);
        }
    }
    if (canvas.cursorVisible()) {
        wmove(stdscr, canvas.cursorRow(), canvas.cursorColumn());
        curs_set(1);
    } else {
        curs_set(0);
    }
    wrefresh(stdscr);
}

Key CursesBackend::waitKey(int wakeHandle)
{
    for (;;) {
        wint_t ch = 0;
        const int got = wget_wch(stdscr, &ch);
        if (got == OK) {
            const Key key = keyFromCharacter(ch);
            if (!key.is(KeyCode::None))
                return key;
            continue;
        }
        if (got == KEY_CODE_YES) {
            const Key key = keyFromFunctionKey(ch);
            if (!key.is(KeyCode::None))
                return key;
            continue;
        }
        // Nothing buffered: sleep until a key or work for the UI thread.
        pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {wakeHandle, POLLIN, 0}};
        const int ready = ::poll(watched, wakeHandle >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno != EINTR)
            return Key::of(KeyCode::Escape);
        if (wakeHandle >= 0 && (watched[1].revents & POLLIN))
            return Key::of(KeyCode::None);
        if (watched[0].revents & (POLLHUP | POLLERR | POLLNVAL))
            return Key::of(KeyCode::Escape);
    }
}

}  // namespace druvex

// A program on a real terminal for tests: tmux runs it in a detached session
// of a fixed size on a server of its own; the test types with send-keys and
// reads the screen with capture-pane. Waits poll the screen a bounded number
// of times for a text, never for a time. The program runs under a small
// shell that, when it ends, prints its exit status and the terminal's modes
// ("[exit N]" and "[tty ...]"), so a test can tell that the terminal was
// given back usable. The server is killed when the object goes away.
#pragma once

#include <filesystem>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/external_tool.h"

namespace druvex::test {

class TmuxSession {
public:
    struct Options {
        int columns = 100;
        int rows = 30;
        // Variables of the program's environment, beside the test's own.
        std::vector<std::pair<std::string, std::string>> environment;
        // How often a wait looks at the screen before it gives up.
        int maxPolls = 1500;
    };

    // Starts `argv` (the program and its arguments) in a new session.
    TmuxSession(const std::vector<std::string>& argv, const Options& options);
    explicit TmuxSession(const std::vector<std::string>& argv) : TmuxSession(argv, Options()) {}
    ~TmuxSession();
    TmuxSession(const TmuxSession&) = delete;
    TmuxSession& operator=(const TmuxSession&) = delete;

    // Keys by tmux's names ("Enter", "Escape", "Tab", "BTab", "Down", "Space",
    // "C-c") or single characters.
    void sendKeys(std::initializer_list<std::string> keys);
    // Types the text as it stands (UTF-8).
    void typeText(const std::string& text);

    // The screen as text, one line per row.
    std::string capture() const;
    // Polls the screen until it shows `text`; false when it never does.
    bool waitFor(const std::string& text);
    // Polls until the screen no longer shows `text`.
    bool waitForGone(const std::string& text);
    // The screen of the last poll (for failure messages).
    const std::string& lastScreen() const { return lastScreen_; }

    // Waits for the program to end; its exit status as the shell gives it
    // (128 + the signal when a signal ended it), none when it never ends.
    std::optional<int> waitForExit();
    // A tmux format of the pane, e.g. "#{alternate_on}".
    std::string paneFormat(const std::string& format) const;
    // The process id of the program (a child of the pane's shell); 0 when
    // it is not running.
    int programPid() const;

    // Writes the current screen into `file` (a reviewer reads it).
    void saveScreen(const std::filesystem::path& file) const;

private:
    ToolResult tmux(const std::vector<std::string>& arguments) const;

    ScratchDir scratch_;
    std::string socket_;
    int maxPolls_;
    std::string lastScreen_;
};

// After the program: the shell's screen is back, the cursor shows, the keys
// are sent as a shell expects, and the terminal echoes and edits lines again.
void expectTerminalGivenBack(TmuxSession& session);

}  // namespace druvex::test

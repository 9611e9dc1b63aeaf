// A terminal for unit tests: keys come from a script, and every screen the
// session shows is kept as text. A key may wait until the screen shows a text
// (a question another thread asks); until then, and when the script has no
// key left, the wait ends only for work handed to the UI thread.
#pragma once

#include <poll.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "ui/terminal_backend.h"
#include "ui/terminal_session.h"

namespace druvex::test {

struct ScriptStep {
    Key key;
    std::string whenShown;  // given only once the screen shows this; empty: at once
};

struct TerminalScript {
    std::deque<ScriptStep> keys;
    std::string screen;           // the last screen shown
    std::string screenAtLastKey;  // the screen when the last key was taken
    // Where the last screen showed the terminal's cursor, if it did.
    bool cursorShown = false;
    int cursorRow = 0;
    int cursorColumn = 0;
};

class ScriptedTerminal final : public TerminalBackend {
public:
    ScriptedTerminal(std::shared_ptr<TerminalScript> script, int rows, int columns)
        : script_(std::move(script)), rows_(rows), columns_(columns)
    {
    }
    int rows() const override { return rows_; }
    int columns() const override { return columns_; }
    void present(const Canvas& canvas) override
    {
        script_->screen = canvas.screenText();
        script_->cursorShown = canvas.cursorVisible();
        script_->cursorRow = canvas.cursorRow();
        script_->cursorColumn = canvas.cursorColumn();
    }
    Key waitKey(int wakeHandle) override
    {
        pollfd wake{wakeHandle, POLLIN, 0};
        if (::poll(&wake, 1, 0) > 0)
            return Key::of(KeyCode::None);
        if (!script_->keys.empty() && script_->screen.find(script_->keys.front().whenShown) != std::string::npos) {
            const Key key = script_->keys.front().key;
            script_->keys.pop_front();
            script_->screenAtLastKey = script_->screen;
            return key;
        }
        ::poll(&wake, 1, -1);
        return Key::of(KeyCode::None);
    }

private:
    std::shared_ptr<TerminalScript> script_;
    int rows_;
    int columns_;
};

// A session on a scripted terminal of 24 x 80.
struct ScriptedSession {
    std::shared_ptr<TerminalScript> script = std::make_shared<TerminalScript>();
    TerminalSession session{std::make_unique<ScriptedTerminal>(script, 24, 80)};

    void keys(std::initializer_list<Key> more) { keysWhen(std::string(), more); }
    // Keys to give once the screen shows `text`.
    void keysWhen(const std::string& text, std::initializer_list<Key> more)
    {
        for (const Key& key : more)
            script->keys.push_back(ScriptStep{key, text});
    }
    void setKeys(const std::vector<Key>& keys)
    {
        script->keys.clear();
        for (const Key& key : keys)
            script->keys.push_back(ScriptStep{key, std::string()});
    }
};

inline Key ch(char32_t c)
{
    return Key::character(c);
}
inline Key key(KeyCode code)
{
    return Key::of(code);
}

}  // namespace druvex::test

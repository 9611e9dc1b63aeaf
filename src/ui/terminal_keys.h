// The keys the terminal user interface reads, independent of the terminal
// library: a character, or one of the editing and navigation keys.
#pragma once

namespace druvex {

enum class KeyCode {
    None,       // no key: the wait ended for another reason (work for the UI thread)
    Character,  // a printable character in Key::ch
    Enter,
    Escape,
    Tab,
    BackTab,
    Backspace,
    Delete,
    Up,
    Down,
    Left,
    Right,
    Home,
    End,
    PageUp,
    PageDown,
    Resize,     // the terminal changed its size
};

struct Key {
    KeyCode code = KeyCode::None;
    char32_t ch = 0;

    static Key of(KeyCode code) { return Key{code, 0}; }
    static Key character(char32_t ch) { return Key{KeyCode::Character, ch}; }
    bool is(KeyCode other) const { return code == other; }
};

}  // namespace druvex

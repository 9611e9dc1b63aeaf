// Texts across the Lua boundary: scripts hold UTF-8, the program UTF-16.
// Shared by the script runner and the classes and functions it registers.
#pragma once

#include <string_view>

#include "text/shared_string.h"

struct lua_State;

namespace druvex {

// The Lua string (or number) at `index` as UTF-16, read as scriptText reads
// it; any other value gives the empty text.
SharedString luaText(lua_State* state, int index);

// Pushes the text as a UTF-8 Lua string.
void pushLuaText(lua_State* state, const SharedString& text);

// A text that a script produced (an argument, a result, an error message) as UTF-16:
// UTF-8 when its bytes are UTF-8, which is what scripts are given and what the
// Hal and installer functions return, else the device's ANSI code page, byte
// for byte when even that refuses it.
SharedString scriptText(std::string_view bytes);

// The value at `index` as text by Lua's to-string rule ("true", "nil", "5",
// "0.3333333", "table: 0x...", a __tostring result), worked out in protected
// mode: a __tostring that fails gives that failure's message instead of
// ending the program. Leaves the stack as it found it.
SharedString luaValueText(lua_State* state, int index);

}  // namespace druvex

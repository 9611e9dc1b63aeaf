// The methods of the Lua class Hal (internal to lua_hal.cpp): each reads its
// arguments from the stack (the object already taken off), calls the host and
// pushes its results.
#pragma once

#include <span>

struct lua_State;

namespace druvex {

class HalAccess;

struct HalMethod {
    const char* name;
    int (*function)(lua_State* state, HalAccess& host);
};

// The 46 methods in their fixed order; a method's index in this list is what
// the class's metatable holds for its name.
std::span<const HalMethod> halMethods();

}  // namespace druvex

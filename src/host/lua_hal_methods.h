// The methods of the Lua class Hal (internal to the script host): each reads
// its arguments from the stack (the object already taken off), calls the host
// and pushes its results.
#pragma once

#include <cstdint>
#include <span>

#include "text/shared_string.h"

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

// The log line of a process that a script ran: "Execute process succeeded: "
// (or "failed: "), the application, a blank, the command line, then
// " @@ exit_code=" and the exit code in decimal.
void logExecuteProcess(const SharedString& application, const SharedString& commandLine, bool ran,
                       std::uint32_t exitCode);

}  // namespace druvex

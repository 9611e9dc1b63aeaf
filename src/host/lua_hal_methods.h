// The methods of the Lua class Hal (internal to the script host): each reads
// its arguments from the stack (the object already taken off), calls the host
// and pushes its results.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "core/platform_file.h"
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

// What readTextFile reads: the bytes up to the next line feed (not kept) into
// `line`. The file is read in blocks and the handle is set back to just past
// the line feed, where reading a byte at a time would leave it; a handle that
// cannot seek is read a byte at a time. False, when the line is longer than
// kMaxScriptTextLine, with the handle after what was read.
bool readTextLine(HalAccess& host, FileHandle file, std::string& line);

// The log line of a process that a script ran: "Execute process succeeded: "
// (or "failed: "), the application, a blank, the command line, then
// " @@ exit_code=" and the exit code in decimal.
void logExecuteProcess(const SharedString& application, const SharedString& commandLine, bool ran,
                       std::uint32_t exitCode);

}  // namespace druvex

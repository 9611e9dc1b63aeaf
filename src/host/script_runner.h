// ScriptRunner: one Lua state that runs a script of the installer data (a
// prerequisite check, a custom page, a custom action, a feature script): the
// script is loaded once, then its global functions are called with texts and
// answer texts. Failures are the result with an error code and text that the
// caller logs or shows; nothing throws out of a runner, and a runner leaves
// the Lua stack as it found it whatever the script does.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

struct lua_State;

namespace druvex {

class HalAccess;

// The error codes of a runner (errorCode()).
enum ScriptError : std::uint32_t {
    kScriptErrorNone = 0,
    kScriptErrorOutOfMemory = 1,       // "Out of memory": no Lua state
    kScriptErrorNoScript = 2,          // "No script defined": nothing loaded
    kScriptErrorFileNotFound = 3,      // "File <path> not found."
    kScriptErrorLua = 4,               // the Lua message of a syntax or run-time error
    kScriptErrorEntryPointMissing = 5, // "<name> entry point missing."
};

class ScriptRunner {
public:
    // Creates the state with the standard libraries, their file and process
    // functions bound to the device (lua_device_libraries.h).
    ScriptRunner();
    virtual ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // Loads the script and runs its chunk; 1 when both worked, else 0 with
    // the Lua message. A leading byte-order mark is dropped; precompiled
    // chunks are refused.
    int loadScriptText(SharedString text);
    // Loads a script file read through `host`: UTF-16 little-endian text.
    // A file that cannot be read or is empty gives error 3.
    int loadScriptFile(HalAccess& host, const SharedString& path);

    // Calls the global function `name` ("Main" when null or empty) with the
    // texts as string arguments. Of what it returns, at most `resultCount`
    // values are written to `results` as texts by Lua's to-string rule; the
    // others keep their content. False with the error code and text when
    // nothing is loaded, the function is missing or it raised an error.
    bool callFunction(const char16_t* name, int argumentCount, const SharedString* arguments, int resultCount,
                      SharedString* results);

    int status() const noexcept { return status_; }
    std::uint32_t errorCode() const noexcept { return errorCode_; }
    const SharedString& errorText() const noexcept { return errorText_; }

    // The state, for the classes and functions registered into it; null when
    // it could not be created.
    lua_State* luaState() const noexcept { return state_; }

protected:
    // Installs what the script may use before its chunk runs; `text` is the
    // script without its byte-order mark. Does nothing here.
    virtual void registerFunctions(SharedString& text);
    // Called when loading ended (status 1 or 0). After a successful run the
    // values the chunk returned are on the stack: chunkResultCount() of them,
    // the last on top; what this leaves there is dropped afterwards.
    virtual void afterLoad(int status);

    int chunkResultCount() const noexcept;
    // Closes the state; a derived runner does it first when the script's
    // objects refer to its own members.
    void closeState() noexcept;

private:
    void setError(std::uint32_t code, SharedString text);
    // Takes the error text from the value on top of the stack.
    void setLuaError();

    lua_State* state_ = nullptr;
    int status_ = 0;
    std::uint32_t errorCode_ = kScriptErrorNone;
    SharedString errorText_;
    int chunkBase_ = -1;
};

}  // namespace druvex

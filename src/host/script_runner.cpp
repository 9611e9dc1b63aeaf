#include "host/script_runner.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "fileutil/file_util.h"
#include "hal/hal_access.h"
#include "host/lua_device_libraries.h"
#include "host/lua_text.h"
#include "lauxlib.h"
#include "lua.h"
#include "lualib.h"

namespace druvex {

namespace {

constexpr char16_t kByteOrderMark = 0xFEFF;

int keepRunningOnPanic(lua_State*)
{
    return 0;
}

int openLibraries(lua_State* state)
{
    luaL_openlibs(state);
    bindStandardLibrariesToDevice(state);
    return 0;
}

// One call of a script function, worked out inside a protected call so that
// nothing the script can do (a failing __index on the globals, an error
// object whose __tostring fails, running out of memory while the arguments
// are pushed) raises an error outside protection, where Lua would abort.
struct FunctionCall {
    const char* name = nullptr;
    int argumentCount = 0;
    const SharedString* arguments = nullptr;
    int resultCount = 0;
    SharedString* results = nullptr;
    bool missing = false;
    bool failed = false;
    SharedString errorText;
};

int callInProtectedMode(lua_State* state)
{
    FunctionCall& call = *static_cast<FunctionCall*>(lua_touserdata(state, 1));
    lua_settop(state, 0);
    if (lua_getglobal(state, call.name) != LUA_TFUNCTION) {
        call.missing = true;
        return 0;
    }
    luaL_checkstack(state, call.argumentCount, "too many arguments");
    for (int i = 0; i < call.argumentCount; ++i)
        pushLuaText(state, call.arguments[i]);
    // All results are kept: with a fixed count Lua would pad with nils, and
    // the number the function really returned would be lost.
    if (lua_pcall(state, call.argumentCount, LUA_MULTRET, 0) != LUA_OK) {
        call.failed = true;
        call.errorText = luaValueText(state, -1);
        return 0;
    }
    const int copied = std::min(lua_gettop(state), call.resultCount);
    for (int i = 0; i < copied; ++i)
        call.results[i] = luaValueText(state, i + 1);
    return 0;
}

}  // namespace

ScriptRunner::ScriptRunner()
{
    state_ = luaL_newstate();
    if (!state_) {
        setError(kScriptErrorOutOfMemory, u"Out of memory");
        return;
    }
    lua_atpanic(state_, keepRunningOnPanic);
    lua_pushcfunction(state_, openLibraries);
    if (lua_pcall(state_, 0, 0, 0) != LUA_OK) {
        closeState();
        setError(kScriptErrorOutOfMemory, u"Out of memory");
    }
}

ScriptRunner::~ScriptRunner()
{
    closeState();
}

void ScriptRunner::closeState() noexcept
{
    if (!state_)
        return;
    lua_close(state_);
    state_ = nullptr;
}

void ScriptRunner::registerFunctions(SharedString&)
{
}

void ScriptRunner::afterLoad(int)
{
}

int ScriptRunner::chunkResultCount() const noexcept
{
    return state_ && chunkBase_ >= 0 ? lua_gettop(state_) - chunkBase_ : 0;
}

void ScriptRunner::setError(std::uint32_t code, SharedString text)
{
    errorCode_ = code;
    errorText_ = std::move(text);
}

void ScriptRunner::setLuaError()
{
    setError(kScriptErrorLua, luaValueText(state_, -1));
}

int ScriptRunner::loadScriptText(SharedString text)
{
    setError(kScriptErrorNone, SharedString());
    status_ = 0;
    if (!state_)
        return 0;
    if (!text.isEmpty() && text[0] == kByteOrderMark)
        text = text.midToEnd(1);
    registerFunctions(text);

    const int base = lua_gettop(state_);
    const SharedStringA source = toUtf8(text);
    // The source is also the chunk name, so messages read [string "<first line>"]:<line>:.
    // Text only: Lua does not verify precompiled chunks, and a crafted one
    // corrupts memory.
    int result = luaL_loadbufferx(state_, source.c_str(), std::strlen(source.c_str()), source.c_str(), "t");
    if (result == LUA_OK)
        result = lua_pcall(state_, 0, LUA_MULTRET, 0);
    if (result == LUA_OK)
        status_ = 1;
    else
        setLuaError();
    chunkBase_ = result == LUA_OK ? base : -1;
    afterLoad(status_);
    chunkBase_ = -1;
    lua_settop(state_, base);
    return status_;
}

int ScriptRunner::loadScriptFile(HalAccess& host, const SharedString& path)
{
    std::vector<std::uint8_t> bytes;
    if (!readFileToBuffer(host, bytes, path)) {
        status_ = 0;
        setError(kScriptErrorFileNotFound, u"File " + path + u" not found.");
        return 0;
    }
    // Script files are UTF-16 little-endian; an odd last byte is no character.
    const int units = static_cast<int>(bytes.size() / 2);
    SharedString text;
    if (units > 0) {
        std::memcpy(text.allocBeforeWrite(units), bytes.data(), static_cast<std::size_t>(units) * 2);
        text.releaseBuffer(units);
    }
    return loadScriptText(std::move(text));
}

bool ScriptRunner::callFunction(const char16_t* name, int argumentCount, const SharedString* arguments,
                                int resultCount, SharedString* results)
{
    if (!state_ || status_ == 0) {
        setError(kScriptErrorNoScript, u"No script defined");
        return false;
    }
    setError(kScriptErrorNone, SharedString());
    const SharedString functionName(name && *name ? name : u"Main");
    const SharedStringA utf8Name = toUtf8(functionName);

    FunctionCall call;
    call.name = utf8Name.c_str();
    call.argumentCount = arguments ? std::max(argumentCount, 0) : 0;
    call.arguments = arguments;
    call.resultCount = results ? std::max(resultCount, 0) : 0;
    call.results = results;

    const int top = lua_gettop(state_);
    if (!lua_checkstack(state_, 2)) {
        setError(kScriptErrorOutOfMemory, u"Out of memory");
        return false;
    }
    lua_pushcfunction(state_, callInProtectedMode);
    lua_pushlightuserdata(state_, &call);
    if (lua_pcall(state_, 1, 0, 0) != LUA_OK) {
        setLuaError();
        lua_settop(state_, top);
        return false;
    }
    lua_settop(state_, top);
    if (call.missing) {
        setError(kScriptErrorEntryPointMissing, functionName + u" entry point missing.");
        return false;
    }
    if (call.failed) {
        setError(kScriptErrorLua, call.errorText);
        return false;
    }
    return true;
}

}  // namespace druvex

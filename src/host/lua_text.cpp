#include "host/lua_text.h"

#include <climits>
#include <string>

#include "lauxlib.h"
#include "lua.h"
#include "text/diag.h"
#include "text/text_convert.h"

namespace druvex {

// Scripts count with 32-bit integers and single-precision floats, as on the
// device: "1/3" reads "0.3333333" and a wrapped integer stays wrapped.
static_assert(sizeof(lua_Integer) == 4 && sizeof(lua_Number) == 4);

namespace {

int toStringInProtectedMode(lua_State* state)
{
    luaL_tolstring(state, 1, nullptr);
    return 1;
}

SharedString stringAt(lua_State* state, int index)
{
    std::size_t length = 0;
    const char* bytes = lua_tolstring(state, index, &length);
    return scriptText(std::string_view(bytes, length));
}

}  // namespace

SharedString luaText(lua_State* state, int index)
{
    const int type = lua_type(state, index);
    if (type != LUA_TSTRING && type != LUA_TNUMBER)
        return SharedString();
    // A number is converted on a copy: lua_tolstring would turn the argument
    // itself into a string.
    if (!lua_checkstack(state, 1))
        return SharedString();
    lua_pushvalue(state, index);
    SharedString text = stringAt(state, -1);
    lua_pop(state, 1);
    return text;
}

void pushLuaText(lua_State* state, const SharedString& text)
{
    const SharedStringA utf8 = toUtf8(text);
    lua_pushlstring(state, utf8.c_str(), static_cast<std::size_t>(utf8.length()));
}

SharedString scriptText(std::string_view bytes)
{
    if (bytes.empty())
        return SharedString();
    const int length = bytes.size() > INT_MAX ? INT_MAX : static_cast<int>(bytes.size());
    if (utf8ToUtf16(bytes.data(), length, nullptr, 0) >= 0)
        return fromUtf8(bytes.substr(0, static_cast<std::size_t>(length)));
    return diagTextFromAnsi(bytes.substr(0, static_cast<std::size_t>(length)));
}

SharedString luaValueText(lua_State* state, int index)
{
    index = lua_absindex(state, index);
    if (lua_type(state, index) == LUA_TSTRING)
        return stringAt(state, index);
    const char* typeName = luaL_typename(state, index);
    if (!lua_checkstack(state, 2))
        return fromUtf8(std::string("(error object is a ") + typeName + " value)");
    lua_pushcfunction(state, toStringInProtectedMode);
    lua_pushvalue(state, index);
    lua_pcall(state, 1, 1, 0);
    SharedString text = lua_type(state, -1) == LUA_TSTRING
                            ? stringAt(state, -1)
                            : fromUtf8(std::string("(error object is a ") + typeName + " value)");
    lua_pop(state, 1);
    return text;
}

}  // namespace druvex

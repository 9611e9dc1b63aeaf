// Lua as our build compiles it: 32-bit integers and single-precision floats.
#include <gtest/gtest.h>

#include <string>

#include "lauxlib.h"
#include "lua.h"
#include "lualib.h"

namespace {

std::string evaluate(const char* chunk)
{
    lua_State* state = luaL_newstate();
    luaL_openlibs(state);
    std::string result;
    if (luaL_dostring(state, chunk) == LUA_OK)
        result = luaL_tolstring(state, -1, nullptr);
    else
        result = std::string("error: ") + lua_tostring(state, -1);
    lua_close(state);
    return result;
}

TEST(DepsLua, IntegersAreThirtyTwoBits)
{
    EXPECT_EQ(evaluate("return math.maxinteger"), "2147483647");
    EXPECT_EQ(evaluate("return math.maxinteger + 1 == math.mininteger"), "true");
}

TEST(DepsLua, FloatsAreSinglePrecision)
{
    EXPECT_EQ(evaluate("return 1/3"), "0.3333333");
    // More digits show the rounding of the float nearest 1/3.
    EXPECT_EQ(evaluate("return string.format('%.10f', 1/3)"), "0.3333333433");
    EXPECT_EQ(sizeof(lua_Number), sizeof(float));
}

TEST(DepsLua, ErrorsUnwindAsExceptions)
{
    EXPECT_EQ(evaluate("error('boom', 0)"), "error: boom");
}

}  // namespace

// The constants scripts name ("Enumerators") and the registry value-type names.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "host/lua_enumerators.h"
#include "host/script_runner.h"
#include "lauxlib.h"
#include "lua.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

TEST(Enumerators, TheWholeTable)
{
    const std::map<std::string, int> expected = {
        {"READ_ONLY", 0}, {"WRITE", 1}, {"DEFAULT", 0}, {"FORCE_32", 1}, {"FORCE_64", 2},
        {"DEVICE_CONNECTED", 0}, {"DEVICE_NOT_FOUND", 1}, {"ACCESS_DENIED", 2},
        {"NONE", 0}, {"INVALID_DEVICE", 1}, {"VALID_DEVICE", 2}, {"KT_11", 3}, {"KT_81", 4}, {"KT_61", 5},
        {"KT_31", 6}, {"KT_21", 7}, {"KT_41", 8}, {"LQ1", 9}, {"ORNATA", 10}, {"ORNATA_RTK", 11}, {"KT_51", 12},
        {"MV_5", 13}, {"FENNICK_MX", 14}, {"TS_ONBOARD", 15}, {"TS_QM40", 16}, {"TS_TSORLAN", 17},
        {"GENERIC_WIN_MOBILE6", 18}, {"BRELLAN_RNVB", 19}, {"BRELLAN_RNVC", 24}, {"LQ5", 20}, {"LQ2", 26},
        {"WIN32", 21}, {"WIN64", 22}, {"KT71", 23}, {"EMULATED", 25},
        {"CSIDL_APPDATA", 26}, {"CSIDL_BITBUCKET", 10}, {"CSIDL_CONTROLS", 3}, {"CSIDL_DESKTOP", 0},
        {"CSIDL_DESKTOPDIRECTORY", 16}, {"CSIDL_DRIVES", 17}, {"CSIDL_FAVORITES", 6}, {"CSIDL_FONTS", 20},
        {"CSIDL_MYMUSIC", 13}, {"CSIDL_MYPICTURES", 39}, {"CSIDL_MYVIDEO", 14}, {"CSIDL_NETHOOD", 19},
        {"CSIDL_NETWORK", 18}, {"CSIDL_PERSONAL", 5}, {"CSIDL_PRINTERS", 4}, {"CSIDL_PROGRAM_FILES", 38},
        {"CSIDL_PROGRAMS", 2}, {"CSIDL_RECENT", 8}, {"CSIDL_SENDTO", 9}, {"CSIDL_STARTMENU", 11},
        {"CSIDL_STARTUP", 7}, {"CSIDL_TEMPLATES", 21}, {"CSIDL_WINDOWS", 36},
        {"HKEY_CLASSES_ROOT", 1}, {"HKEY_CURRENT_USER", 2}, {"HKEY_LOCAL_MACHINE", 3}, {"HKEY_USERS", 4},
        {"REG_NONE", 0}, {"REG_SZ", 1}, {"REG_EXPAND_SZ", 2}, {"REG_BINARY", 3}, {"REG_DWORD", 4},
        {"REG_LINK", 6}, {"REG_MULTI_SZ", 7}, {"REG_QWORD", 11},
    };
    ScriptRunner runner;
    lua_State* const state = runner.luaState();
    registerEnumerators(state);
    std::map<std::string, int> found;
    ASSERT_EQ(lua_getglobal(state, "Enumerators"), LUA_TTABLE);
    lua_pushnil(state);
    while (lua_next(state, -2)) {
        EXPECT_TRUE(lua_isinteger(state, -1));
        found[lua_tostring(state, -2)] = static_cast<int>(lua_tointeger(state, -1));
        lua_pop(state, 1);
    }
    lua_pop(state, 1);
    EXPECT_EQ(found, expected);
}

TEST(Enumerators, LookupFollowsWhatTheScriptLeft)
{
    ScriptRunner runner;
    lua_State* const state = runner.luaState();
    registerEnumerators(state);
    ASSERT_EQ(luaL_dostring(state, "Enumerators.REG_SZ = nil Enumerators.MINE = 12 Enumerators.TEXT = '3' "
                                   "Enumerators.HALF = 1.5 Enumerators.WHOLE = 2.0"),
              LUA_OK);
    std::int32_t value = -1;
    EXPECT_TRUE(lookupEnumerator(state, "MINE", value));
    EXPECT_EQ(value, 12);
    EXPECT_TRUE(lookupEnumerator(state, "WHOLE", value));
    EXPECT_EQ(value, 2);
    for (const char* refused : {"REG_SZ", "TEXT", "HALF", "nothing"})
        EXPECT_FALSE(lookupEnumerator(state, refused, value)) << refused;
    ASSERT_EQ(luaL_dostring(state, "Enumerators = 5"), LUA_OK);
    EXPECT_FALSE(lookupEnumerator(state, "MINE", value));
    EXPECT_EQ(lua_gettop(state), 0);
}

TEST(Enumerators, ValueTypeNames)
{
    const std::map<std::uint32_t, SharedString> names = {
        {0, u"REG_NONE"},  {1, u"REG_SZ"},       {2, u"REG_EXPAND_SZ"}, {3, u"REG_BINARY"}, {4, u"REG_DWORD"},
        {5, u""},          {6, u"REG_LINK"},     {7, u"REG_MULTI_SZ"},  {8, u""},           {11, u"REG_QWORD"},
        {12, u""},         {0xFFFFFFFF, u""},
    };
    for (const auto& [type, name] : names)
        EXPECT_EQ(valueTypeName(type), name) << type;
}

}  // namespace
}  // namespace druvex

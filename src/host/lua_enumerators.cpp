#include "host/lua_enumerators.h"

#include <iterator>

#include "lauxlib.h"
#include "lua.h"

namespace druvex {

namespace {

struct EnumeratorConstant {
    const char* name;
    std::int32_t value;
};

constexpr EnumeratorConstant kEnumerators[] = {
    // Registry access modes.
    {"READ_ONLY", 0},
    {"WRITE", 1},
    // Registry views.
    {"DEFAULT", 0},
    {"FORCE_32", 1},
    {"FORCE_64", 2},
    // Connection states.
    {"DEVICE_CONNECTED", 0},
    {"DEVICE_NOT_FOUND", 1},
    {"ACCESS_DENIED", 2},
    // Device types.
    {"NONE", 0},
    {"INVALID_DEVICE", 1},
    {"VALID_DEVICE", 2},
    {"KT_11", 3},
    {"KT_81", 4},
    {"KT_61", 5},
    {"KT_31", 6},
    {"KT_21", 7},
    {"KT_41", 8},
    {"LQ1", 9},
    {"ORNATA", 10},
    {"ORNATA_RTK", 11},
    {"KT_51", 12},
    {"MV_5", 13},
    {"FENNICK_MX", 14},
    {"TS_ONBOARD", 15},
    {"TS_QM40", 16},
    {"TS_TSORLAN", 17},
    {"GENERIC_WIN_MOBILE6", 18},
    {"BRELLAN_RNVB", 19},
    {"BRELLAN_RNVC", 24},
    {"LQ5", 20},
    {"LQ2", 26},
    {"WIN32", 21},
    {"WIN64", 22},
    {"KT71", 23},
    {"EMULATED", 25},
    // Special folders (CSIDL numbers).
    {"CSIDL_APPDATA", 26},
    {"CSIDL_BITBUCKET", 10},
    {"CSIDL_CONTROLS", 3},
    {"CSIDL_DESKTOP", 0},
    {"CSIDL_DESKTOPDIRECTORY", 16},
    {"CSIDL_DRIVES", 17},
    {"CSIDL_FAVORITES", 6},
    {"CSIDL_FONTS", 20},
    {"CSIDL_MYMUSIC", 13},
    {"CSIDL_MYPICTURES", 39},
    {"CSIDL_MYVIDEO", 14},
    {"CSIDL_NETHOOD", 19},
    {"CSIDL_NETWORK", 18},
    {"CSIDL_PERSONAL", 5},
    {"CSIDL_PRINTERS", 4},
    {"CSIDL_PROGRAM_FILES", 38},
    {"CSIDL_PROGRAMS", 2},
    {"CSIDL_RECENT", 8},
    {"CSIDL_SENDTO", 9},
    {"CSIDL_STARTMENU", 11},
    {"CSIDL_STARTUP", 7},
    {"CSIDL_TEMPLATES", 21},
    {"CSIDL_WINDOWS", 36},
    // Registry roots (the Hal methods turn 1 to 4 into the root handles).
    {"HKEY_CLASSES_ROOT", 1},
    {"HKEY_CURRENT_USER", 2},
    {"HKEY_LOCAL_MACHINE", 3},
    {"HKEY_USERS", 4},
    // Registry value types.
    {"REG_NONE", 0},
    {"REG_SZ", 1},
    {"REG_EXPAND_SZ", 2},
    {"REG_BINARY", 3},
    {"REG_DWORD", 4},
    {"REG_LINK", 6},
    {"REG_MULTI_SZ", 7},
    {"REG_QWORD", 11},
};

}  // namespace

void registerEnumerators(lua_State* state)
{
    lua_createtable(state, 0, static_cast<int>(std::size(kEnumerators)));
    for (const EnumeratorConstant& constant : kEnumerators) {
        lua_pushinteger(state, constant.value);
        lua_setfield(state, -2, constant.name);
    }
    lua_setglobal(state, "Enumerators");
}

bool lookupEnumerator(lua_State* state, const char* key, std::int32_t& value)
{
    if (lua_getglobal(state, "Enumerators") != LUA_TTABLE) {
        lua_pop(state, 1);
        return false;
    }
    const bool isNumber = lua_getfield(state, -1, key) == LUA_TNUMBER;
    int isInteger = 0;
    const lua_Integer number = lua_tointegerx(state, -1, &isInteger);
    lua_pop(state, 2);
    if (!isNumber || !isInteger)
        return false;
    value = static_cast<std::int32_t>(number);
    return true;
}

SharedString valueTypeName(std::uint32_t type)
{
    switch (type) {
    case 0:
        return SharedString(u"REG_NONE");
    case 1:
        return SharedString(u"REG_SZ");
    case 2:
        return SharedString(u"REG_EXPAND_SZ");
    case 3:
        return SharedString(u"REG_BINARY");
    case 4:
        return SharedString(u"REG_DWORD");
    case 6:
        return SharedString(u"REG_LINK");
    case 7:
        return SharedString(u"REG_MULTI_SZ");
    case 11:
        return SharedString(u"REG_QWORD");
    default:
        return SharedString();
    }
}

}  // namespace druvex

// What the installer functions share (internal to the script host): the
// controller's services, taken only while the script's "InstallerController"
// is the registered one, the hosts of the script's "HalIn" and "HalOut", and
// the strict reading of arguments.
#pragma once

#include <cstdint>
#include <memory>

#include "lua.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;
class InstallerScriptServices;

namespace installer_functions {

// The services behind the global "InstallerController", when it is a light
// userdata equal to the controller registered with the state and that
// controller has them; null otherwise.
InstallerScriptServices* services(lua_State* state);

// The host of the Hal object that the global "HalIn" (`inHost`) or "HalOut"
// holds; null when it holds none.
std::shared_ptr<HalAccess> globalHost(lua_State* state, bool inHost);

inline int argumentCount(lua_State* state)
{
    return lua_gettop(state);
}
inline bool isText(lua_State* state, int index)
{
    return lua_type(state, index) == LUA_TSTRING;
}
inline bool isBoolean(lua_State* state, int index)
{
    return lua_type(state, index) == LUA_TBOOLEAN;
}
inline bool isNumber(lua_State* state, int index)
{
    return lua_type(state, index) == LUA_TNUMBER;
}
// A number argument as a 32-bit integer: an integer as it is, a float with
// an integral value in range; false for anything else.
bool integerArgument(lua_State* state, int index, std::int32_t& value);

// The text of a string argument (UTF-8 to UTF-16).
SharedString text(lua_State* state, int index);

// Pushes a boolean, a number or a text and answers 1, for `return push(...)`.
int pushBoolean(lua_State* state, bool value);
int pushInteger(lua_State* state, std::int32_t value);
int pushText(lua_State* state, const SharedString& value);

// The functions of installer_functions_system.cpp, in registration order.
int checkFileVersion(lua_State* state);
int queryProductState(lua_State* state);
int isOsNewerThan(lua_State* state);
int isOsEqualTo(lua_State* state);
int isOsServer(lua_State* state);
int getOsServicePack(lua_State* state);
int messageBox(lua_State* state);
int serviceStub(lua_State* state);
int shellExecuteEx(lua_State* state);
int copyFileFromOutToIn(lua_State* state);
int copyFileFromInToOut(lua_State* state);
int installMsi(lua_State* state);
int regAsm(lua_State* state);
int unregAsm(lua_State* state);
int compareVersions(lua_State* state);

}  // namespace installer_functions
}  // namespace druvex

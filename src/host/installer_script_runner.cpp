#include "host/installer_script_runner.h"

#include "hal/hal_access.h"
#include "host/installer_functions.h"
#include "host/lua_enumerators.h"
#include "host/lua_hal.h"
#include "host/script_host_services.h"
#include "lauxlib.h"
#include "lua.h"

namespace druvex {

namespace {

struct Registration {
    ScriptHostServices* controller;
    bool elevated;
};

// Registration allocates, and Lua's answer to running out of memory outside
// a protected call is to abort; it therefore runs as a protected call.
int registerInProtectedMode(lua_State* state)
{
    const Registration& registration = *static_cast<const Registration*>(lua_touserdata(state, 1));
    ScriptHostServices* const controller = registration.controller;
    registerEnumerators(state);
    registerHalClass(state);
    lua_pushlightuserdata(state, controller);
    lua_setglobal(state, "InstallerController");

    const std::shared_ptr<HalAccess> in = controller ? controller->getHalIn() : nullptr;
    const std::shared_ptr<HalAccess> inAdmin = controller ? controller->getHalInAdmin() : nullptr;
    const std::shared_ptr<HalAccess> out = controller ? controller->getHalOut() : nullptr;
    pushHalObject(state, registration.elevated ? inAdmin : in);
    lua_setglobal(state, "HalIn");
    pushHalObject(state, inAdmin);
    lua_setglobal(state, "HalInAdmin");
    for (const char* name : {"HalOut", "HalOutBase", "HalOutAdmin"}) {
        pushHalObject(state, out);
        lua_setglobal(state, name);
    }
    registerInstallerFunctions(state, controller);
    return 0;
}

}  // namespace

InstallerScriptRunner::InstallerScriptRunner(ScriptHostServices* controller) : controller_(controller)
{
}

InstallerScriptRunner::~InstallerScriptRunner()
{
    closeState();
}

void InstallerScriptRunner::registerFunctions(SharedString&)
{
    lua_State* const state = luaState();
    if (!state || !lua_checkstack(state, 2))
        return;
    Registration registration{controller_, elevated_};
    lua_pushcfunction(state, registerInProtectedMode);
    lua_pushlightuserdata(state, &registration);
    // A failure (no memory) leaves names unset; the script then fails on the
    // first it uses, with Lua's message.
    if (lua_pcall(state, 1, 0, 0) != LUA_OK)
        lua_pop(state, 1);
}

void InstallerScriptRunner::afterLoad(int status)
{
    chunkValue_ = -1;
    lua_State* const state = luaState();
    if (status != 1 || chunkResultCount() < 1)
        return;
    int isInteger = 0;
    const lua_Integer value = lua_tointegerx(state, -1, &isInteger);
    if (lua_type(state, -1) == LUA_TNUMBER && isInteger)
        chunkValue_ = static_cast<std::int32_t>(value);
    lua_pop(state, 1);
}

}  // namespace druvex

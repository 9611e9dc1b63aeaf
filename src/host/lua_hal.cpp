#include "host/lua_hal.h"

#include <new>

#include "hal/hal_access.h"
#include "host/lua_hal_methods.h"
#include "lauxlib.h"
#include "lua.h"
#include "text/assertion_sites.h"
#include "text/diag.h"

namespace druvex {

namespace {

constexpr const char* kHalClass = "Hal";
// Registry table: light userdata of a host -> a Hal object that wraps it.
constexpr const char* kKnownHosts = "druvex.Hal.hosts";
// In the metatable a method's name maps to its index with this bit set; a
// property's name would map to its plain index (Hal has none).
constexpr lua_Integer kMethodBit = 0x100;

// What a Hal userdata points to. It shares the host, so a host never goes
// while a script still holds an object for it.
struct HalHolder {
    std::shared_ptr<HalAccess> host;
};

// The holder slot of the Hal object at `index`; null for any other value.
HalHolder** holderSlot(lua_State* state, int index)
{
    return static_cast<HalHolder**>(luaL_testudata(state, index, kHalClass));
}

HalAccess* hostAt(lua_State* state, int index)
{
    HalHolder** slot = holderSlot(state, index);
    return slot && *slot ? (*slot)->host.get() : nullptr;
}

// The metatable's entry for the key at `keyIndex` of the Hal object at 1:
// true with the entry when it is an integer (a method or property index).
bool memberEntry(lua_State* state, int keyIndex, lua_Integer& entry)
{
    if (!lua_getmetatable(state, 1))
        return false;
    lua_pushvalue(state, keyIndex);
    lua_rawget(state, -2);
    int isInteger = 0;
    entry = lua_tointegerx(state, -1, &isInteger);
    const bool found = lua_type(state, -1) == LUA_TNUMBER && isInteger;
    lua_pop(state, 2);
    return found;
}

// A method's closure: upvalue 1 the method's index, upvalue 2 the object.
int callMethod(lua_State* state)
{
    const lua_Integer index = lua_tointeger(state, lua_upvalueindex(1));
    // HalOut:copyFile(a, b) passes the object as argument 1, HalOut.copyFile(a, b)
    // does not; no method takes a Hal object as its first argument.
    if (holderSlot(state, 1))
        lua_remove(state, 1);
    const std::span<const HalMethod> methods = halMethods();
    if (index < 0 || index >= static_cast<lua_Integer>(methods.size()))
        return 0;
    HalHolder** slot = holderSlot(state, lua_upvalueindex(2));
    const std::shared_ptr<HalAccess> host = slot && *slot ? (*slot)->host : nullptr;
    if (!host) {
        reportDbgChk(kCheckHalObjectWithoutHost, "Hal object without a host");
        return 0;
    }
    bool outOfMemory = false;
    try {
        return methods[static_cast<std::size_t>(index)].function(state, *host);
    } catch (const std::bad_alloc&) {
        // Turned into a Lua error outside the handler; Lua's own errors are
        // no std::bad_alloc and pass on untouched.
        outOfMemory = true;
    }
    return outOfMemory ? luaL_error(state, "not enough memory") : 0;
}

int indexMember(lua_State* state)
{
    lua_Integer entry = 0;
    if (!holderSlot(state, 1) || !memberEntry(state, 2, entry) || (entry & kMethodBit) == 0) {
        lua_pushnil(state);
        return 1;
    }
    lua_pushinteger(state, entry ^ kMethodBit);
    lua_pushvalue(state, 1);
    lua_pushcclosure(state, callMethod, 2);
    return 1;
}

int assignMember(lua_State* state)
{
    lua_Integer entry = 0;
    if (!holderSlot(state, 1) || !memberEntry(state, 2, entry))
        return 0;
    if (!hostAt(state, 1))
        return luaL_error(state, "Internal error, no object given!");
    if (entry & kMethodBit)
        return luaL_error(state, "Trying to set the method [%s] of class [%s]", lua_tostring(state, 2), kHalClass);
    return 0;
}

int objectText(lua_State* state)
{
    if (HalAccess* host = hostAt(state, 1))
        lua_pushfstring(state, "%s (%p)", kHalClass, static_cast<void*>(host));
    else
        lua_pushliteral(state, "Empty object");
    return 1;
}

int sameHost(lua_State* state)
{
    HalHolder** first = holderSlot(state, 1);
    HalHolder** second = holderSlot(state, 2);
    lua_pushboolean(state, first && *first && second && *second && (*first)->host == (*second)->host);
    return 1;
}

// Frees the holder, not the host; the slot is cleared so that a second call
// (a script can reach the metamethod through getmetatable) finds nothing.
int collect(lua_State* state)
{
    if (HalHolder** slot = holderSlot(state, 1)) {
        delete *slot;
        *slot = nullptr;
    }
    return 0;
}

int construct(lua_State* state)
{
    if (lua_type(state, 1) != LUA_TLIGHTUSERDATA) {
        lua_pushnil(state);
        return 1;
    }
    std::shared_ptr<HalAccess> host;
    if (lua_getfield(state, LUA_REGISTRYINDEX, kKnownHosts) == LUA_TTABLE) {
        lua_pushvalue(state, 1);
        lua_rawget(state, -2);
        host = toHalHost(state, -1);
    }
    if (!host) {
        lua_pushnil(state);
        return 1;
    }
    pushHalObject(state, std::move(host));
    return 1;
}

}  // namespace

void registerHalClass(lua_State* state)
{
    luaL_newmetatable(state, kHalClass);
    static constexpr luaL_Reg kMetamethods[] = {
        {"__index", indexMember}, {"__newindex", assignMember}, {"__tostring", objectText},
        {"__eq", sameHost},       {"__gc", collect},            {nullptr, nullptr},
    };
    luaL_setfuncs(state, kMetamethods, 0);
    const std::span<const HalMethod> methods = halMethods();
    for (std::size_t i = 0; i < methods.size(); ++i) {
        lua_pushinteger(state, static_cast<lua_Integer>(i) | kMethodBit);
        lua_setfield(state, -2, methods[i].name);
    }
    lua_pop(state, 1);

    if (lua_getfield(state, LUA_REGISTRYINDEX, kKnownHosts) != LUA_TTABLE) {
        lua_newtable(state);
        lua_setfield(state, LUA_REGISTRYINDEX, kKnownHosts);
    }
    lua_pop(state, 1);
    lua_register(state, kHalClass, construct);
}

void pushHalObject(lua_State* state, std::shared_ptr<HalAccess> host)
{
    auto** slot = static_cast<HalHolder**>(lua_newuserdata(state, sizeof(HalHolder*)));
    *slot = nullptr;
    // The metatable (with __gc) comes first, so the holder is freed whatever
    // happens after it is made.
    luaL_setmetatable(state, kHalClass);
    HalAccess* const raw = host.get();
    *slot = new HalHolder{std::move(host)};
    if (!raw)
        return;
    if (lua_getfield(state, LUA_REGISTRYINDEX, kKnownHosts) == LUA_TTABLE) {
        lua_pushlightuserdata(state, raw);
        if (lua_rawget(state, -2) == LUA_TNIL) {
            lua_pushlightuserdata(state, raw);
            lua_pushvalue(state, -4);
            lua_rawset(state, -4);
        }
        lua_pop(state, 1);
    }
    lua_pop(state, 1);
}

std::shared_ptr<HalAccess> toHalHost(lua_State* state, int index)
{
    HalHolder** slot = holderSlot(state, index);
    return slot && *slot ? (*slot)->host : nullptr;
}

}  // namespace druvex

// The Lua class Hal: script objects that each wrap one HalAccess, so that a
// script reaches files, folders, processes, the registry and the device
// identity through the installer's hosts. Methods are called either way,
// HalOut:copyFile(a, b, false) or HalOut.copyFile(a, b, false).
#pragma once

#include <memory>

struct lua_State;

namespace druvex {

class HalAccess;

// Creates the metatable "Hal" with the methods and metamethods, and the global
// constructor "Hal". Hal(p) takes the light userdata of a host that an object
// of this state already wraps and answers a new object for it; any other value
// gives nil, so a script cannot make an object over a foreign pointer.
void registerHalClass(lua_State* state);

// Pushes a new Hal object that keeps `host` alive. An object without a host
// answers nothing to its methods (after an assertion report) and reads
// "Empty object".
void pushHalObject(lua_State* state, std::shared_ptr<HalAccess> host);

// The host of the Hal object at `index`; null for any other value and for an
// object without a host.
std::shared_ptr<HalAccess> toHalHost(lua_State* state, int index);

}  // namespace druvex

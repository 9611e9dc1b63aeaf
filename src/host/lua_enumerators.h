// The global table "Enumerators" of script states: the names of the numbers
// that scripts pass to the Hal methods (registry modes, views, roots and value
// types, connection states, device types, special folders), and the lookup
// that turns such a name back into its number.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

struct lua_State;

namespace druvex {

// Sets the global "Enumerators" to a new table of the constants.
void registerEnumerators(lua_State* state);

// The number the global "Enumerators" holds under `key`; false when there is
// no such table or key or the value is not an integral number. Scripts may
// change the table, and the lookup follows what it holds.
bool lookupEnumerator(lua_State* state, const char* key, std::int32_t& value);

// "REG_NONE" (0), "REG_SZ" (1), "REG_EXPAND_SZ" (2), "REG_BINARY" (3),
// "REG_DWORD" (4), "REG_LINK" (6), "REG_MULTI_SZ" (7), "REG_QWORD" (11);
// the empty text for any other number.
SharedString valueTypeName(std::uint32_t type);

}  // namespace druvex

// The standard libraries of a script state, bound to the device: a script
// lives on the device, so the functions that take a file name take device
// paths, mapped into the device folder like every other path (nothing climbs
// out of it), and what the device's C runtime lacks (a command processor,
// pipes, an environment, dynamic libraries) fails as it does there.
#pragma once

struct lua_State;

namespace druvex {

// Replaces, after luaL_openlibs: io.open, io.lines, io.input, io.output,
// io.tmpfile, io.popen, os.remove, os.rename, os.tmpname, os.execute,
// os.getenv, dofile, loadfile, load, package.loadlib, package.searchpath and
// the file searchers of require; empties package.path and package.cpath.
// Files load as text chunks only: Lua does not verify precompiled chunks.
// Raises a Lua error when memory runs out; call it in protected mode.
void bindStandardLibrariesToDevice(lua_State* state);

}  // namespace druvex

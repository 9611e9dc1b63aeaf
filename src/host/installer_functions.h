// The installer functions of scripts: the global "HalWrapper" and the DQ_
// functions, which read and change the installer's state (variables,
// features, the launch program, the redistributable error), compare versions,
// run Windows Installer packages and assembly registration, show a message
// box, open files and look at other installed products. No function raises a
// Lua error on bad arguments: each has a failure result instead.
#pragma once

#include "text/shared_string.h"

struct lua_State;

namespace druvex {

class ScriptHostServices;

// Registers the functions in their fixed order. They reach the installer
// through `controller` only while the global "InstallerController" still
// holds that very pointer: a script that puts another value there (a file
// handle, say) gets the failure results, never a call through a foreign
// pointer.
void registerInstallerFunctions(lua_State* state, ScriptHostServices* controller);

// The folder of the custom action that runs now, one for the whole process:
// the engine sets it before it runs an action; DQ_GetCustomActionExecFolder
// answers it and DQ_InstallMsi finds packages in it. Any thread may call.
void setCustomActionExecFolder(const SharedString& folder);
SharedString getCustomActionExecFolder();

}  // namespace druvex

// Opening a file the way the device's shell opens it when it is tapped: a
// program starts with the parameters as its command line; any other file
// starts the program that its type names in the registry
// (HKEY_CLASSES_ROOT\.<extension> gives the type, <type>\shell\open\command
// the command). Nothing waits for the program, and nothing passes through a
// command interpreter.
#pragma once

#include "text/shared_string.h"

namespace druvex {

class HalAccess;

// True when the program was started. In the type's command the program is the
// first word (or the quoted text at its start); in the rest "%1" and "%L"
// become the file and "%*" the parameters, and a command that names neither
// "%1" nor "%L" gets the file in quotes after it.
bool shellOpenFile(HalAccess& host, const SharedString& file, const SharedString& parameters);

}  // namespace druvex

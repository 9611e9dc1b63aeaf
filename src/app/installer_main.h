// The whole of the program druvex-setup, for its main() and for test programs
// that run it with a hook of their own in place.
#pragma once

namespace druvex {

// Runs the installer program; answers the process's exit status.
int runInstallerProgram(int argc, char** argv);

}  // namespace druvex

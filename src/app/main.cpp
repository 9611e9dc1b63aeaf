// druvex-setup: the installer program. It runs on the device that the
// environment variable DRUVEX_DEVICE names and refuses to run without one, so
// that it never writes into the host's own folders.
#include "app/installer_main.h"

int main(int argc, char** argv)
{
    return druvex::runInstallerProgram(argc, argv);
}

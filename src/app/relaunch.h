// Starting the installer again as administrator: the run's wizard state is
// saved for the new instance, which takes it back and goes on where this one
// stopped.
#pragma once

namespace druvex {

class InstallerController;

// Saves the wizard state (no relaunch when that fails), then starts the
// program file through the source host with "reboot_as_admin <target
// platform>" and the run's child command line. A run without one target
// platform (none yet, or a group) has none to name, and a run that was
// itself started so and still has no administrator rights does not start
// another. True when the new instance started.
bool RelaunchElevated(InstallerController& controller);

}  // namespace druvex

// The update check run ("check_for_updates <folder>"): without a window, it
// asks the update server for the bulletin and reports what it offers through
// its exit code and the file "update_info.xml" in the folder, for an external
// update manager.
#pragma once

#include <cstdint>

#include "text/shared_string.h"

namespace druvex {

class InstallerController;
class WaitTimeouts;

// The exit code's bits.
constexpr std::uint32_t kUpdateCheckNewerInstaller = 1;
constexpr std::uint32_t kUpdateCheckFeatureUpdates = 2;
// "update_info.xml" could not be written (kExitCodeUpdateInfoNotWritten).
constexpr std::uint32_t kUpdateCheckInfoNotWritten = 0x8000000;

// Checks the connection (none: 0x80000000 and nothing more), fetches and
// evaluates the bulletin (a failure gives its result code), lets the update
// patcher mark what the bulletin changes and answers the bits of a newer
// installer, of feature updates (or a newer program version without a newer
// installer) and of a file that could not be written. Uses the controller's
// prerequisites logic when it is the current one, else one of its own.
// `timeouts` (null: real time) decides how long the waits for the server last.
std::uint32_t runUpdateCheck(InstallerController& controller, const SharedString& folder,
                             WaitTimeouts* timeouts = nullptr);

}  // namespace druvex

// Internal to the device host: device paths to host paths with the device's
// error codes, and the profile's read-only stores. Not for other units.
#pragma once

#include <string>

#include "text/shared_string.h"

namespace druvex::host_paths {

// The host path of a device path; false with the thread's last error set
// when the device refuses the path.
bool toHost(const SharedString& path, std::string& host);

// Records `error` as the thread's last error and answers false.
bool fail(std::uint32_t error);

// The device error for a failed host call on `host`: a missing entry is
// "file not found" when its folder exists and "path not found" when not.
std::uint32_t errorFor(int errnoValue, const std::string& host);

// True, with "access denied" as the last error, when `host` lies on a store
// that the device profile marks read-only: nothing beneath it may change
// (file modes cannot say so, tests run as root).
bool refusedByReadOnlyStore(const std::string& host);

// The folder part of a host path ("" for a bare name).
std::string parentOf(const std::string& host);

}  // namespace druvex::host_paths

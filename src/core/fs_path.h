// The crossing between the program's device paths (SharedString) and the
// standard file-system library's host paths. Every path goes through DeviceRoot
// here; with the identity mapping only '\\' turns into '/'.
#pragma once

#include <cstdint>
#include <filesystem>

#include "text/shared_string.h"

namespace druvex {

// The host path of a device path; an empty path when the device refuses it
// (empty, climbing above the root, an invalid name). `error` receives 0 or the
// device error, which is also the thread's last error.
std::filesystem::path stringToPath(const SharedString& path, std::uint32_t* error = nullptr);

// The device path of a host path; empty when it lies outside the device's
// folder or its name is not valid UTF-8.
SharedString pathToString(const std::filesystem::path& path);

}  // namespace druvex

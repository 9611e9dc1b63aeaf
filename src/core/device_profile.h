// The device profile: a device directory's device.ini, read with the strict
// ini reader into DeviceConfig, and the step that makes that device the
// process's active one (path mapper, ANSI code page, user locale).
//
// device.ini accepts only what it documents: the sections [Device],
// [SpecialFolders], [Store:<device path>], [Programs], [Network] and [Vendor],
// their known keys, no blanks around '=', no comments after a value, numbers
// and 0/1 flags where a key takes them. Anything else is an error that names
// the file and the line, never a silent default.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/device_config.h"

namespace druvex {

// Reads <deviceDirectory>/device.ini into `config`, over its defaults, and
// sets its deviceDirectory. A missing or empty device.ini sets nothing else.
// False with `error` ("<file>: line <n>: <reason>") when the directory is
// missing or the file does not load.
[[nodiscard]] bool loadDeviceProfile(const std::string& deviceDirectory, DeviceConfig& config, std::string& error);

// The reading of device.ini text; `fileName` names it in messages.
bool parseDeviceProfile(const std::uint8_t* bytes, std::size_t size, const std::string& fileName,
                        DeviceConfig& config, std::string& error);

// loadDeviceProfile, then activateDevice: DeviceRoot maps into the device,
// code page 0 is its AnsiCodePage and activeDeviceConfig() gives its
// UserLocale. Nothing changes when the profile does not load.
bool activateDeviceProfile(const std::string& deviceDirectory, std::string& error);

// The device named by the environment variable DRUVEX_DEVICE; false with a
// message when it is unset or its profile does not load.
bool activateDeviceFromEnvironment(std::string& error);

}  // namespace druvex

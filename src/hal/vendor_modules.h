// Internal to device identification: the vendor library that identification
// loads for one export, as a built-in module of the device stand-in
// (platform/builtin_modules.h). The library is there when its file is in the
// device's Windows folder; its export is there when the device profile's
// [Vendor] section gives the value the export answers (FsapiI2CRegister: the
// register byte, "0x40" or "64").
#pragma once

#include <cstdint>

namespace druvex {

struct DeviceConfig;

// Registered under the path it is loaded by, as the device loads it.
constexpr const char16_t* kFsapiLibraryPath = u"\\Windows\\FSAPI.dll";
constexpr const char16_t* kI2CRegisterExport = u"FSGetI2CRegister";
constexpr const char16_t* kI2CRegisterVendorKey = u"FsapiI2CRegister";

// The export's type: reads the I2C register that buffer[0] names into
// buffer[2]; `count` is the buffer's size (at least 3). Nonzero on success.
using FsGetI2CRegisterFunction = std::int32_t (*)(std::uint8_t* buffer, std::uint32_t count, std::uint32_t flags);

// (Re)registers the vendor modules as `profile` describes them.
void registerVendorModules(const DeviceConfig& profile);

}  // namespace druvex

// Internal to device identification: the vendor library that identification
// loads for one export, as the device stand-in provides it. The library is there when its file is in the
// device's Windows folder; its export is there when the device profile's
// [Vendor] section gives the value the export answers (FsapiI2CRegister: the
// register byte, "0x40" or "64").
#pragma once

#include <cstdint>

namespace druvex {

constexpr const char16_t* kFsapiLibraryPath = u"\\Windows\\FSAPI.dll";
constexpr const char16_t* kI2CRegisterExport = u"FSGetI2CRegister";
constexpr const char16_t* kI2CRegisterVendorKey = u"FsapiI2CRegister";

// The export's type: reads the I2C register that buffer[0] names into
// buffer[2]; `count` is the buffer's size (at least 3). Nonzero on success.
using FsGetI2CRegisterFunction = std::int32_t (*)(std::uint8_t* buffer, std::uint32_t count, std::uint32_t flags);

}  // namespace druvex

#include "hal/vendor_modules.h"

#include <optional>
#include <string_view>
#include <vector>

#include "hal/device_probes.h"
#include "platform/builtin_modules.h"
#include "platform/device_config.h"
#include "platform/win_error.h"

namespace druvex {

namespace {

// "0x40" or "64"; nothing for any other text or a value above 255.
std::optional<std::uint8_t> parseRegisterByte(std::u16string_view text)
{
    unsigned base = 10;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    unsigned value = 0;
    for (const char16_t unit : text) {
        unsigned digit = 0;
        if (unit >= u'0' && unit <= u'9')
            digit = unit - u'0';
        else if (base == 16 && unit >= u'a' && unit <= u'f')
            digit = unit - u'a' + 10;
        else if (base == 16 && unit >= u'A' && unit <= u'F')
            digit = unit - u'A' + 10;
        else
            return std::nullopt;
        if (digit >= base)
            return std::nullopt;
        value = value * base + digit;
        if (value > 0xFF)
            return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

// The profile is read at the call, as the hardware would be.
std::int32_t fsGetI2CRegister(std::uint8_t* buffer, std::uint32_t count, std::uint32_t /*flags*/)
{
    if (!buffer || count < 3)
        return 0;
    const std::shared_ptr<const DeviceConfig> profile = activeDeviceConfig();
    const SharedString* text = profile->findVendorValue(kI2CRegisterVendorKey);
    if (!text)
        return 0;
    const std::optional<std::uint8_t> value = parseRegisterByte(text->view());
    if (!value)
        return 0;
    buffer[2] = *value;
    return 1;
}

std::uint32_t fsapiAvailability()
{
    return device_probes::fileTest(SharedString(kFsapiLibraryPath)) ? kErrorSuccess : kErrorModNotFound;
}

}  // namespace

void registerVendorModules(const DeviceConfig& profile)
{
    std::vector<ModuleExport> exports;
    if (profile.findVendorValue(kI2CRegisterVendorKey))
        exports.push_back({kI2CRegisterExport, exportAddress(&fsGetI2CRegister)});
    registerBuiltinModule(kFsapiLibraryPath, std::move(exports), fsapiAvailability);
}

namespace device_probes {

// The device's own loader rather than the program's logging one: a device
// without the library is the common case, and a probe that answers no
// reports nothing. Holding the module is what keeps it loaded for the call.
bool i2cRegisterProbe()
{
    registerVendorModules(*activeDeviceConfig());
    std::shared_ptr<const BuiltinModule> module;
    if (findBuiltinModule(kFsapiLibraryPath, module) != kErrorSuccess)
        return false;
    void* address = module->findExport(kI2CRegisterExport);
    if (!address)
        return false;
    const auto readRegister = reinterpret_cast<FsGetI2CRegisterFunction>(address);
    std::uint8_t buffer[3] = {0x20, 0, 0};
    readRegister(buffer, 3, 32);
    return (buffer[2] & 0xE0) == 0x40;
}

}  // namespace device_probes

}  // namespace druvex

// Ini files (device.ini, the installer's ini files) parsed from any bytes,
// then saved in each encoding: what save accepts must load again in the same
// encoding, with the same sections and keys; UTF-16 keeps every value too,
// and the 8-bit and UTF-8 forms (which may turn a character into '?' or
// U+FFFD) save again to the same bytes. Read as a device.ini, a file that is
// refused gives a reason that, as the terminal shows it, holds no control
// byte, whatever the file quoted.
// fuzz-links: druvex_core
// fuzz-seeds: tests/data/device-example/device.ini
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/device_profile.h"
#include "core/ini_file.h"
#include "fuzz/fuzz_support.h"
#include "platform/device_config.h"
#include "text/terminal_text.h"

namespace {

using namespace druvex;

// The sections that hold keys: an empty one is never written.
std::map<SharedString, IniSection> withKeys(const IniFile& file)
{
    std::map<SharedString, IniSection> sections;
    for (const auto& [name, keys] : file.sections()) {
        if (!keys.empty())
            sections.emplace(name, keys);
    }
    return sections;
}

std::map<SharedString, std::vector<SharedString>> keysOf(const IniFile& file)
{
    std::map<SharedString, std::vector<SharedString>> keys;
    for (const auto& [name, section] : withKeys(file)) {
        for (const auto& [key, value] : section)
            keys[name].push_back(key);
    }
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::quietDiagnostics();
    DeviceConfig device;
    std::string reason;
    if (!parseDeviceProfile(data, size, "device.ini", device, reason)) {
        for (const char byte : terminalText(reason)) {
            if (static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F)
                __builtin_trap();
        }
    }
    IniFile file;
    IniLoadReport report;
    if (!file.parse(data, size, nullptr, &report))
        return 0;
    for (const std::uint32_t encoding : {kEncodingAnsi, kEncodingUtf16LE, kEncodingUtf8}) {
        std::string bytes;
        if (!file.serialize(encoding, bytes))
            continue;
        IniFile again;
        std::uint32_t found = 0;
        if (!again.parse(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), &found) ||
            found != encoding)
            __builtin_trap();
        if (encoding == kEncodingUtf16LE && withKeys(again) != withKeys(file))
            __builtin_trap();
        if (encoding == kEncodingAnsi && keysOf(again) != keysOf(file))
            __builtin_trap();
        std::string second;
        if (!again.serialize(encoding, second) || second != bytes)
            __builtin_trap();
    }
    return 0;
}

// Ini files (device.ini, the installer's ini files) parsed from any bytes,
// then saved in each encoding: what save accepts must read back as it was,
// in the same encoding.
// fuzz-links: druvex_core
// fuzz-seeds: tests/data/device-example/device.ini
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "core/ini_file.h"
#include "fuzz/fuzz_support.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::quietDiagnostics();
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
        // UTF-8 writes an unpaired surrogate as U+FFFD, as the device does.
        if (encoding != kEncodingUtf8 && withKeys(again) != withKeys(file))
            __builtin_trap();
    }
    return 0;
}

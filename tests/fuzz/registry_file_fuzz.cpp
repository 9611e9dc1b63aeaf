// The device registry's file, registry.reg: read into a tree as the device
// start-up does, written back as after a change; the writer's text must read
// again and come out the same (the canonical form).
// fuzz-links: druvex_platform
// fuzz-seeds: tests/data/registry/*.reg tests/data/device-example/registry.reg
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "platform/registry_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    fuzz::quietDiagnostics();
    RegistryTree tree;
    RegistryTextError error;
    if (!readRegistryText(std::string_view(reinterpret_cast<const char*>(data), size), tree, error))
        return 0;
    const std::string written = writeRegistryText(tree);
    RegistryTree again;
    if (!readRegistryText(written, again, error) || writeRegistryText(again) != written)
        __builtin_trap();
    return 0;
}

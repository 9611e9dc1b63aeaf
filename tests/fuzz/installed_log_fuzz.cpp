// Fuzz target: the installed log, InstalledLog.xml: read, written again, and
// the written document read once more, which must always succeed.
// fuzz-links: druvex_data
// fuzz-seeds: tests/data/statefiles/InstalledLog-*.xml
#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/installed_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    InstalledLog log;
    if (!log.loadFromBuffer(data, size))
        return 0;
    std::vector<std::uint8_t> written;
    if (!log.serialize(written))
        return 0;
    InstalledLog again;
    if (!again.loadFromBuffer(written.data(), written.size()))
        __builtin_trap();
    return 0;
}

// The saved wizard state, PreviousSettings.xml: read, written again, and the
// written document read once more.
// fuzz-links: druvex_data druvex_host
// fuzz-seeds: tests/data/statefiles/PreviousSettings-*.xml
#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/previous_settings.h"
#include "fuzz/fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    const auto& host = fuzz::fuzzHost();
    PreviousSettings settings(*host);
    if (!settings.readXml(data, size))
        return 0;
    std::vector<std::uint8_t> written;
    if (!settings.writeXml(written))
        return 0;
    PreviousSettings again(*host);
    if (!again.readXml(written.data(), written.size()))
        __builtin_trap();
    return 0;
}

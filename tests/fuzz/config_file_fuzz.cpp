// The installer configuration left beside an installed program, _config.xml:
// read, and written again from what was read.
// fuzz-links: druvex_data
// fuzz-seeds: tests/data/statefiles/_config-*.xml
#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/config_file.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    fuzz::quietDiagnostics();
    ConfigFile config;
    config.parse(data, size);
    std::vector<std::uint8_t> written;
    config.write(written);
    return 0;
}

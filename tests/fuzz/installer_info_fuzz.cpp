// "InstallerInfo" in both its forms: twelve bytes are three words, anything
// else an XML document with an "InstallerConfiguration" element; saved again
// from what was read.
// fuzz-links: druvex_data
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/byte_stream.h"
#include "data/installer_configuration.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    fuzz::quietDiagnostics();
    InstallerConfiguration configuration;
    if (!configuration.load(data, size))
        return 0;
    std::vector<std::uint8_t> saved;
    MemoryStream output(saved);
    configuration.save(output);
    return 0;
}

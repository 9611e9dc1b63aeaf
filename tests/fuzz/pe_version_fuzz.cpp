// The version resource of a program or library file in the device's
// executable format, as the host reads it for a file's version.
// fuzz-links: druvex_host
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "host/pe_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    fuzz::quietDiagnostics();
    PeFixedVersion version{};
    readPeFixedVersion({data, size}, version);
    return 0;
}

// The package header parser over a whole header, as the unpacker hands it over
// once it has gathered the bytes its size word announces.
// fuzz-links: druvex_payload
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "payload/package_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    fuzz::quietDiagnostics();
    PackageHeader header;
    std::string reason;
    parsePackageHeader({data, size}, header, reason);
    return 0;
}

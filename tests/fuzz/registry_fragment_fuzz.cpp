// A package's registry fragment as the unpacker applies it to its feature:
// read into the four root trees, written back, cloned (as a feature copy does)
// and freed; a fragment read once must read again as it was written.
// fuzz-links: druvex_data druvex_payload
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/byte_stream.h"
#include "core/xml_writer.h"
#include "data/feature.h"
#include "fuzz/fuzz_support.h"
#include "payload/package_fragments.h"
#include "payload/package_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    fuzz::quietDiagnostics();
    const FeaturePtr feature = makeFeaturePtr();
    const std::vector<std::uint8_t> fragment(data, data + size);
    const bool read = applyPackageFragment(*feature, kPackageRecordRegistry, fragment);
    std::vector<std::uint8_t> written;
    {
        MemoryStream output(written);
        XmlWriter writer(output, false);
        feature->getRegistry().writeXml(writer);
        writer.flush();
    }
    const FeaturePtr copy = Feature::clone(*feature, false);
    if (read && feature->hasRegistry()) {
        regmodel::RegistryRootSet again;
        if (!again.loadXml(written.data(), written.size()))
            __builtin_trap();
    }
    return 0;
}

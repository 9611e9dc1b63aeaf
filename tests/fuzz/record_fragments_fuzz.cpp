// The other fragments a package carries (shortcuts, environment variables, file
// associations, feature scripts, web-server settings), applied to a feature as
// the unpacker does; the first byte picks the record type.
// fuzz-links: druvex_data druvex_payload
#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/feature.h"
#include "fuzz/fuzz_support.h"
#include "payload/package_fragments.h"
#include "payload/package_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    fuzz::quietDiagnostics();
    if (size == 0)
        return 0;
    static constexpr std::uint32_t kTypes[] = {kPackageRecordEnvironmentVars, kPackageRecordFileAssociations,
                                               kPackageRecordFeatureScripts, kPackageRecordShortcuts,
                                               kPackageRecordIis};
    const std::uint32_t type = kTypes[data[0] % std::size(kTypes)];
    const FeaturePtr feature = makeFeaturePtr();
    applyPackageFragment(*feature, type, std::vector<std::uint8_t>(data + 1, data + size));
    Feature::clone(*feature, false);
    return 0;
}

// data.xml: read into InstallData as the installer does, then written back
// whole and without contents, and the feature tree cloned and freed, which
// walks every tree the document built. What the writer makes of a document
// it read must read again and write to the same bytes (reading and writing
// are a fixed point), and hold no byte that XML does not allow.
// fuzz-links: druvex_data
// fuzz-seeds: tests/data/datafiles/*.xml tests/data/datafiles/refused/*.xml
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/byte_stream.h"
#include "data/feature.h"
#include "data/install_data.h"
#include "data/install_data_xml.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    fuzz::quietDiagnostics();
    InstallData installData;
    std::vector<SharedString> includes;
    const bool read = readInstallDataXml(installData, data, size, &includes);
    std::vector<std::uint8_t> written;
    MemoryStream output(written);
    writeInstallDataXml(installData, output, false);
    if (read) {
        InstallData again;
        if (!readInstallDataXml(again, written.data(), written.size()))
            __builtin_trap();
        std::vector<std::uint8_t> rewritten;
        MemoryStream second(rewritten);
        writeInstallDataXml(again, second, false);
        if (rewritten != written)
            __builtin_trap();
        for (const std::uint8_t byte : written) {
            if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r')
                __builtin_trap();
        }
    }
    std::vector<std::uint8_t> withoutContents;
    MemoryStream shortOutput(withoutContents);
    writeInstallDataXml(installData, shortOutput, true);
    if (const FeaturePtr root = installData.featureRoot())
        Feature::clone(*root, true);
    return 0;
}

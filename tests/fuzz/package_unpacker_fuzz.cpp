// A feature's package stream unpacked onto the scratch device by the engine's
// node writer, fed in pieces whose sizes the input's first byte chooses, with
// the package's fragments applied at its end; then the pass is rolled back.
// fuzz-links: druvex_payload druvex_engine druvex_host
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "engine/host_node_writer.h"
#include "fuzz/fuzz_host.h"
#include "payload/package_unpacker.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    fuzz::FuzzDevice& device = fuzz::FuzzDevice::instance();
    const auto& host = fuzz::fuzzHost();
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + std::size_t{data[0]} * 61;
    ++data;
    --size;
    {
        HostNodeWriter writer(host);
        PackageUnpacker unpacker(nullptr, writer, *host);
        unpacker.setPlainNames();
        unpacker.begin(static_cast<std::uint32_t>(size), 0);
        bool ok = true;
        for (std::size_t at = 0; ok && at < size; at += piece) {
            const std::size_t count = std::min(piece, size - at);
            ok = unpacker.write(static_cast<std::uint32_t>(count), data + at);
        }
        if (!(ok && unpacker.finish())) {
            std::uint64_t bytes = 0;
            unpacker.discardWritten(bytes);
        }
    }
    device.clear();
    return 0;
}

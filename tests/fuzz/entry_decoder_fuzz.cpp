// The archive's entry decoders over packed bytes held in memory: the first
// byte picks stored, LZMA, zlib or the in-memory LZMA buffer, the next eight
// give the unpacked size that zlib is announced with.
// fuzz-links: druvex_payload
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "payload/entry_decoder.h"
#include "payload/payload_entry.h"
#include "payload/payload_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    fuzz::quietDiagnostics();
    if (size < 9)
        return 0;
    const std::uint8_t method = data[0] % 4;
    const std::uint64_t unpackedSize = readLe64(data + 1);
    const std::vector<std::uint8_t> packed(data + 9, data + size);
    std::vector<std::uint8_t> out;
    ByteVectorSink sink(out);
    MemoryEntryInput input(packed);
    switch (method) {
    case 0:
        decodeStoredEntry(input, packed.size(), sink);
        break;
    case 1:
        decodeLzmaEntry(input, sink);
        break;
    case 2:
        decodeZlibEntry(input, unpackedSize, sink);
        break;
    default:
        decodeLzmaBuffer(packed, 0, out);
        break;
    }
    return 0;
}

// The installer archive as the installer opens it: a file on the device, its
// trailer found and its directory read, then every entry verified and
// extracted into memory. The trailer's check word is set to match before the
// file is written, or nearly every input would stop at it.
// fuzz-links: druvex_payload druvex_host
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/adler32.h"
#include "fuzz/fuzz_host.h"
#include "payload/payload_archive.h"
#include "payload/payload_entry.h"

namespace {

using namespace druvex;

void matchDirectoryCheckWord(std::vector<std::uint8_t>& file)
{
    if (file.size() < kPayloadTrailerSize)
        return;
    std::uint8_t* trailer = file.data() + file.size() - kPayloadTrailerSize;
    if (readLe32(trailer) != kPayloadMagic)
        return;
    const PayloadTrailer fields = parsePayloadTrailer(trailer);
    const std::uint64_t start = fields.directoryOffset;
    if (start > file.size() || fields.directorySize > file.size() - start)
        return;
    const std::uint64_t length = fields.directorySize + kPayloadTrailerCheckedSize;
    if (length > file.size() - start)
        return;
    Adler32 adler;
    adler.update(static_cast<std::size_t>(length), file.data() + start);
    writeLe32(trailer + 40, adler.final());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzDevice& device = fuzz::FuzzDevice::instance();
    const auto& host = fuzz::fuzzHost();
    std::vector<std::uint8_t> file(data, data + size);
    matchDirectoryCheckWord(file);
    const SharedString path = device.writeFile("setup.dqres", file);
    {
        PayloadArchive archive(*host);
        int error = 0;
        if (archive.open(path, error)) {
            for (std::uint32_t i = 0; i < archive.entryCount(); ++i) {
                const SharedString name = archive.entryAt(static_cast<std::int32_t>(i)).name;
                archive.verifyEntry(name, error);
                std::vector<std::uint8_t> bytes;
                archive.extractTo(name, bytes);
                std::uint64_t unpacked = 0;
                std::uint32_t method = 0;
                archive.extractRawTo(name, bytes, unpacked, method);
            }
        }
    }
    device.clear();
    return 0;
}

// A 7z backup as the restore opens it: a file on the scratch device, its
// headers read and checked, every entry listed and extracted, and one entry
// read into memory. The start header's and the next header's CRCs are set to
// match before the file is written, or nearly every input would stop at them.
// fuzz-links: druvex_payload druvex_host
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <zlib.h>

#include "fuzz/fuzz_host.h"
#include "payload/payload_entry.h"
#include "payload/seven_zip_reader.h"

namespace {

using namespace druvex;

// Takes every file and counts its bytes.
class CountingSink final : public SevenZipSink {
public:
    int beginFile(const SharedString&, std::uint64_t) override { return kSevenZipReceive; }
    int write(const std::uint8_t*, std::uint32_t count) override
    {
        bytes_ += count;
        return 0;
    }
    int endFile(const SevenZipReaderEntry&, bool) override { return 0; }

private:
    std::uint64_t bytes_ = 0;
};

constexpr std::uint8_t kSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr std::size_t kStartHeaderSize = 32;

std::uint32_t crcOf(const std::uint8_t* bytes, std::size_t count)
{
    return static_cast<std::uint32_t>(crc32(0, bytes, static_cast<uInt>(count)));
}

void matchHeaderCrcs(std::vector<std::uint8_t>& file)
{
    if (file.size() < kStartHeaderSize || !std::equal(std::begin(kSignature), std::end(kSignature), file.begin()))
        return;
    const std::uint64_t offset = readLe64(file.data() + 12);
    const std::uint64_t size = readLe64(file.data() + 20);
    const std::uint64_t room = file.size() - kStartHeaderSize;
    if (offset <= room && size <= room - offset)
        writeLe32(file.data() + 28, crcOf(file.data() + kStartHeaderSize + offset, static_cast<std::size_t>(size)));
    writeLe32(file.data() + 8, crcOf(file.data() + 12, 20));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::FuzzDevice& device = fuzz::FuzzDevice::instance();
    const auto& host = fuzz::fuzzHost();
    std::vector<std::uint8_t> file(data, data + size);
    matchHeaderCrcs(file);
    const SharedString path = device.writeFile("backup.7z", file);
    {
        SevenZipReader reader;
        if (reader.open(host, path)) {
            std::vector<std::shared_ptr<const SevenZipReaderEntry>> entries;
            reader.listFiles(entries);
            CountingSink sink;
            reader.extract(sink);
            if (!entries.empty()) {
                std::vector<std::uint8_t> bytes;
                reader.extractTo(entries.back()->name, bytes);
            }
        }
    }
    device.clear();
    return 0;
}

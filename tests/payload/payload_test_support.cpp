#include "payload_test_support.h"

#include <random>

#include "core/adler32.h"
#include "payload/entry_encoder.h"
#include "payload/payload_archive_writer.h"
#include "support/external_tool.h"

namespace druvex::test {

Bytes toBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

std::uint32_t adlerOf(const Bytes& bytes)
{
    Adler32 adler;
    adler.update(bytes.size(), bytes.data());
    return adler.final();
}

Bytes sampleData(std::size_t size, unsigned seed)
{
    std::mt19937 random(seed);
    static const std::string_view words[] = {"survey ", "point ", "station ", "level ", "\r\n", "grid ", "north "};
    Bytes data;
    data.reserve(size + 16);
    while (data.size() < size) {
        const std::string_view word = words[random() % std::size(words)];
        data.insert(data.end(), word.begin(), word.end());
        if (random() % 4 == 0) {
            const std::string number = std::to_string(random() % 100000) + ".";
            data.insert(data.end(), number.begin(), number.end());
        }
        if (random() % 40 == 0)
            data.push_back(static_cast<std::uint8_t>(random()));
    }
    data.resize(size);
    return data;
}

Bytes lzmaByXz(const Bytes& data)
{
    const ToolResult result = runTool("xz --format=lzma -c", data);
    EXPECT_EQ(result.exitCode, 0);
    return result.output;
}

bool VectorOutputStream::write(std::uint32_t size, const std::uint8_t* bytes)
{
    if (failAfter && bytes_.size() + size > *failAfter)
        return false;
    bytes_.insert(bytes_.end(), bytes, bytes + size);
    return true;
}

bool ShortInputStream::read(std::uint32_t size, std::uint8_t* buffer, std::uint32_t& count)
{
    const std::size_t n = std::min<std::size_t>(size, bytes_.size() - position_);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), n, buffer);
    position_ += n;
    count = static_cast<std::uint32_t>(n);
    return true;
}

EntrySource codedEntry(std::u16string name, std::uint32_t method, const Bytes& data)
{
    EntrySource entry{std::move(name), method, data, static_cast<std::uint32_t>(data.size())};
    if (method == kPayloadMethodLzma) {
        EXPECT_TRUE(encodeLzmaEntry(data, entry.packed));
    }
    if (method == kPayloadMethodZlib) {
        EXPECT_TRUE(encodeZlibEntry(data, entry.packed));
    }
    return entry;
}

Bytes buildArchive(const std::vector<EntrySource>& entries, std::uint64_t base)
{
    Bytes bytes;
    auto output = std::make_shared<VectorOutputStream>(bytes);
    PayloadArchiveWriter writer(output, base);
    for (const EntrySource& entry : entries) {
        MemoryInputStream input(entry.packed);
        int error = -1;
        EXPECT_TRUE(writer.addEntry(SharedString(std::u16string_view(entry.name)), entry.method, input,
                                    entry.unpacked, error));
        EXPECT_EQ(error, 0);
    }
    int error = -1;
    EXPECT_TRUE(writer.finish(error));
    EXPECT_EQ(error, 0);
    return bytes;
}

Bytes makeRecord(std::u16string_view name, std::uint32_t method, std::uint64_t offset, std::uint64_t packed,
                 std::uint64_t unpacked, std::uint32_t checksum)
{
    Bytes record(kPayloadRecordFixedSize + 2 * name.size());
    std::uint8_t* at = record.data();
    writeLe16(at, static_cast<std::uint16_t>(name.size()));
    at += 2;
    for (const char16_t unit : name) {
        writeLe16(at, unit);
        at += 2;
    }
    writeLe32(at, method);
    writeLe64(at + 4, offset);
    writeLe64(at + 12, packed);
    writeLe64(at + 20, unpacked);
    writeLe32(at + 28, checksum);
    return record;
}

Bytes makeTrailer(const Bytes& directory, std::uint32_t count, std::uint64_t base, std::uint64_t directoryOffset,
                  std::optional<std::uint32_t> checksum)
{
    PayloadTrailer fields;
    fields.recordCount = count;
    fields.payloadBase = base;
    fields.directoryRelativeOffset = directoryOffset - base;
    fields.directoryOffset = directoryOffset;
    fields.directorySize = directory.size();
    Bytes trailer(kPayloadTrailerSize);
    writePayloadTrailerHead(trailer.data(), fields);
    Bytes covered = directory;
    covered.insert(covered.end(), trailer.begin(), trailer.begin() + kPayloadTrailerCheckedSize);
    writeLe32(trailer.data() + 40, checksum.value_or(adlerOf(covered)));
    writeLe32(trailer.data() + 44, kPayloadMagic);
    return trailer;
}

void RecordingSink::begin(std::uint32_t low, std::uint32_t high)
{
    const std::uint64_t size = joinPayloadSize(low, high);
    calls.push_back(size == kPayloadUnknownSize ? "begin unknown" : "begin " + std::to_string(size));
}

bool RecordingSink::write(std::uint32_t size, const std::uint8_t* bytes)
{
    calls.push_back("write " + std::to_string(size));
    if (++writes_ == refuseWrite)
        return false;
    received.insert(received.end(), bytes, bytes + size);
    return true;
}

bool RecordingSink::finish()
{
    calls.push_back("finish");
    return !wants || received.size() == *wants;
}

void PayloadHostFixture::SetUp()
{
    DeviceFixture::SetUp();
    device().makeStandardFolders();
    host_ = std::make_shared<HalAccessWinCE>();
}

void PayloadHostFixture::TearDown()
{
    host_.reset();
    DeviceFixture::TearDown();
}

SharedString PayloadHostFixture::placeFile(std::string_view name, const Bytes& bytes)
{
    device().writeFile("Temp/" + std::string(name), std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                                                      bytes.size()));
    return SharedString(u"\\Temp\\") + fromUtf8(name);
}

}  // namespace druvex::test

// What the archive and package tests share (the engine's tests too): archives
// built in memory with the writer, an output stream over a vector that can be
// made to fail, a sink that records the calls it receives, sample data,
// feeding a package to the unpacker in pieces, and a device with a host on
// which archive files are placed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/adler32.h"
#include "host/wince_hal_access.h"
#include "payload/entry_encoder.h"
#include "payload/package_streams.h"
#include "payload/package_unpacker.h"
#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"
#include "payload/payload_entry.h"
#include "payload/payload_sink.h"
#include "support/device_fixture.h"
#include "support/external_tool.h"

namespace druvex::test {

inline Bytes toBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

// Adler-32 with the byte sum in the high half.
inline std::uint32_t adlerOf(const Bytes& bytes)
{
    Adler32 adler;
    adler.update(bytes.size(), bytes.data());
    return adler.final();
}

// Text-like data (words, numbers, line ends, a few random bytes).
inline Bytes sampleData(std::size_t size, unsigned seed = 1)
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

// An LZMA stream as `xz --format=lzma` writes it (unknown size, end mark),
// with the dictionary of the size given ("64KiB") when there is one.
inline Bytes lzmaByXz(const Bytes& data, const std::string& dictionary = {})
{
    const std::string options = dictionary.empty() ? "" : " --lzma1=preset=6,dict=" + dictionary;
    const ToolResult result = runTool("xz --format=lzma" + options + " -c", data);
    EXPECT_EQ(result.exitCode, 0);
    return result.output;
}

// Feeds a package stream to the unpacker in pieces of the sizes `next` gives
// (whole without it); false at the first refused piece.
inline bool feedPackage(PackageUnpacker& unpacker, const Bytes& stream,
                        const std::function<std::size_t()>& next = nullptr)
{
    unpacker.begin(static_cast<std::uint32_t>(stream.size()), 0);
    for (std::size_t at = 0; at < stream.size();) {
        const std::size_t piece = std::min(next ? next() : stream.size(), stream.size() - at);
        if (!unpacker.write(static_cast<std::uint32_t>(piece), stream.data() + at))
            return false;
        at += piece;
    }
    return unpacker.finish();
}

// Appends to a vector; from `failAfter` bytes on every write fails, and the
// close answers `closeResult`.
class VectorOutputStream final : public PackageOutputStream {
public:
    explicit VectorOutputStream(Bytes& bytes) : bytes_(bytes) {}
    bool write(std::uint32_t size, const std::uint8_t* bytes) override
    {
        if (failAfter && bytes_.size() + size > *failAfter)
            return false;
        bytes_.insert(bytes_.end(), bytes, bytes + size);
        return true;
    }
    bool close() override
    {
        ++closes;
        return closeResult;
    }

    std::optional<std::size_t> failAfter;
    bool closeResult = true;
    int closes = 0;

private:
    Bytes& bytes_;
};

// Hands out its bytes but claims a larger size.
class ShortInputStream final : public PackageInputStream {
public:
    ShortInputStream(Bytes bytes, std::uint32_t claimed) : bytes_(std::move(bytes)), claimed_(claimed) {}
    std::uint32_t size() override { return claimed_; }
    bool read(std::uint32_t size, std::uint8_t* buffer, std::uint32_t& count) override
    {
        const std::size_t n = std::min<std::size_t>(size, bytes_.size() - position_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), n, buffer);
        position_ += n;
        count = static_cast<std::uint32_t>(n);
        return true;
    }

private:
    Bytes bytes_;
    std::uint32_t claimed_;
    std::size_t position_ = 0;
};

struct EntrySource {
    std::u16string name;
    std::uint32_t method = kPayloadMethodStored;
    Bytes packed;
    std::uint32_t unpacked = 0;
};

// An entry coded the way its method says (stored, LZMA by us, zlib).
inline EntrySource codedEntry(std::u16string name, std::uint32_t method, const Bytes& data)
{
    EntrySource entry{std::move(name), method, data, static_cast<std::uint32_t>(data.size())};
    if (method == kPayloadMethodLzma) {
        EXPECT_TRUE(encodeLzmaEntry(data, entry.packed));
    } else if (method == kPayloadMethodZlib) {
        EXPECT_TRUE(encodeZlibEntry(data, entry.packed));
    }
    return entry;
}

// The archive the writer makes of the entries, as if written after `base` bytes.
inline Bytes buildArchive(const std::vector<EntrySource>& entries, std::uint64_t base = 0)
{
    Bytes bytes;
    PayloadArchiveWriter writer(std::make_shared<VectorOutputStream>(bytes), base);
    int error = -1;
    for (const EntrySource& entry : entries) {
        MemoryInputStream input(entry.packed);
        EXPECT_TRUE(writer.addEntry(SharedString(std::u16string_view(entry.name)), entry.method, input,
                                    entry.unpacked, error));
        EXPECT_EQ(error, 0);
    }
    EXPECT_TRUE(writer.finish(error));
    EXPECT_EQ(error, 0);
    return bytes;
}

// A directory record with any field values, for damaged archives.
inline Bytes makeRecord(std::u16string_view name, std::uint32_t method, std::uint64_t offset, std::uint64_t packed,
                        std::uint64_t unpacked, std::uint32_t checksum)
{
    Bytes record(kPayloadRecordFixedSize + 2 * name.size());
    std::uint8_t* at = record.data();
    writeLe16(at, static_cast<std::uint16_t>(name.size()));
    for (const char16_t unit : name)
        writeLe16(at += 2, unit);
    at += 2;
    writeLe32(at, method);
    writeLe64(at + 4, offset);
    writeLe64(at + 12, packed);
    writeLe64(at + 20, unpacked);
    writeLe32(at + 28, checksum);
    return record;
}

// The trailer over `directory` (the check word computed unless given).
inline Bytes makeTrailer(const Bytes& directory, std::uint32_t count, std::uint64_t base,
                         std::uint64_t directoryOffset, std::optional<std::uint32_t> checksum = std::nullopt)
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

// The copy holds the source's entries in their order, each record and check
// word as it was, each entry passing its check and decoding to `data`.
inline void expectSameEntries(PayloadArchive& source, PayloadArchive& copy, const Bytes& data)
{
    ASSERT_EQ(copy.entryCount(), source.entryCount());
    int error = 0;
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(copy.entryCount()); ++i) {
        const PayloadEntry& original = source.entryAt(i);
        const PayloadEntry& copied = copy.entryAt(i);
        EXPECT_EQ(copied.name, original.name);
        EXPECT_EQ(copied.method, original.method);
        EXPECT_EQ(copied.packedSize, original.packedSize);
        EXPECT_EQ(copied.unpackedSize, original.unpackedSize);
        EXPECT_EQ(copied.checksum, original.checksum);
        EXPECT_TRUE(copy.verifyEntry(copied.name, error)) << error;
        Bytes bytes;
        EXPECT_TRUE(copy.extractTo(copied.name, bytes));
        EXPECT_EQ(bytes, data);
    }
}

// Every call a sink received: "begin N" ("begin unknown"), "write N", "finish".
class RecordingSink final : public PayloadSink {
public:
    void begin(std::uint32_t low, std::uint32_t high) override
    {
        const std::uint64_t size = joinPayloadSize(low, high);
        calls.push_back(size == kPayloadUnknownSize ? "begin unknown" : "begin " + std::to_string(size));
    }
    bool write(std::uint32_t size, const std::uint8_t* bytes) override
    {
        calls.push_back("write " + std::to_string(size));
        if (++writes_ == refuseWrite)
            return false;
        received.insert(received.end(), bytes, bytes + size);
        return true;
    }
    bool finish() override
    {
        calls.push_back("finish");
        return !wants || received.size() == *wants;
    }

    std::vector<std::string> calls;
    Bytes received;
    // Refuse the Nth write (from 1); 0: none.
    int refuseWrite = 0;
    // finish answers whether this many bytes arrived; unset: true.
    std::optional<std::uint64_t> wants;

private:
    int writes_ = 0;
};

// A device with a host over it; archive files go below \Temp.
class PayloadHostFixture : public DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().makeStandardFolders();
        host_ = std::make_shared<HalAccessWinCE>();
    }
    void TearDown() override
    {
        archives_.clear();  // they close their files through the host, which goes next
        host_.reset();
        DeviceFixture::TearDown();
    }

    // Writes the bytes as \Temp\<name> and answers its device path.
    SharedString placeFile(std::string_view name, const Bytes& bytes)
    {
        device().writeFile("Temp/" + std::string(name),
                           std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        return SharedString(u"\\Temp\\") + fromUtf8(name);
    }

    // A reader on the file, kept until the test ends; a failed open fails the test.
    PayloadArchive& opened(const SharedString& path)
    {
        PayloadArchive& archive = archives_.emplace_back(*host_);
        int error = 0;
        EXPECT_TRUE(archive.open(path, error)) << error;
        return archive;
    }

    std::shared_ptr<HalAccessWinCE> host_;

private:
    std::list<PayloadArchive> archives_;
};

}  // namespace druvex::test

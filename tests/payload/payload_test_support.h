// What the archive tests share: archives built in memory with the writer,
// an output stream over a vector that can be made to fail, a sink that
// records the calls it receives, sample data, and a device with a host on
// which archive files are placed.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/hal_access_wince.h"
#include "payload/package_streams.h"
#include "payload/payload_entry.h"
#include "payload/payload_sink.h"
#include "support/device_fixture.h"

namespace druvex::test {

Bytes toBytes(std::string_view text);
// Adler-32 with the byte sum in the high half.
std::uint32_t adlerOf(const Bytes& bytes);
// Text-like data (words, numbers, line ends, a few random bytes).
Bytes sampleData(std::size_t size, unsigned seed = 1);

// An LZMA stream as `xz --format=lzma` writes it (unknown size, end mark).
Bytes lzmaByXz(const Bytes& data);

// Appends to a vector; from `failAfter` bytes on every write fails, and the
// close answers `closeResult`.
class VectorOutputStream final : public PackageOutputStream {
public:
    explicit VectorOutputStream(Bytes& bytes) : bytes_(bytes) {}
    bool write(std::uint32_t size, const std::uint8_t* bytes) override;
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
    bool read(std::uint32_t size, std::uint8_t* buffer, std::uint32_t& count) override;

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
EntrySource codedEntry(std::u16string name, std::uint32_t method, const Bytes& data);

// The archive the writer makes of the entries, as if written after `base` bytes.
Bytes buildArchive(const std::vector<EntrySource>& entries, std::uint64_t base = 0);

// A directory record and a trailer with any field values, for damaged archives.
Bytes makeRecord(std::u16string_view name, std::uint32_t method, std::uint64_t offset, std::uint64_t packed,
                 std::uint64_t unpacked, std::uint32_t checksum);
// The trailer over `directory` (the check word computed unless given).
Bytes makeTrailer(const Bytes& directory, std::uint32_t count, std::uint64_t base, std::uint64_t directoryOffset,
                  std::optional<std::uint32_t> checksum = std::nullopt);

// Every call a sink received: "begin N" ("begin unknown"), "write N", "finish".
class RecordingSink final : public PayloadSink {
public:
    void begin(std::uint32_t low, std::uint32_t high) override;
    bool write(std::uint32_t size, const std::uint8_t* bytes) override;
    bool finish() override;

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
    void SetUp() override;
    void TearDown() override;

    // Writes the bytes as \Temp\<name> and answers its device path.
    SharedString placeFile(std::string_view name, const Bytes& bytes);

    std::shared_ptr<HalAccessWinCE> host_;
};

}  // namespace druvex::test

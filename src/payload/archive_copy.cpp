#include "payload/archive_copy.h"

#include <cstdint>
#include <limits>

#include "payload/package_streams.h"
#include "payload/payload_archive.h"
#include "payload/payload_archive_writer.h"
#include "payload/payload_sink.h"

namespace druvex {
namespace {

// Hands the stored bytes on to the archive being written as they come.
class StreamSink final : public PayloadSink {
public:
    explicit StreamSink(PackageOutputStream& output) : output_(output) {}
    void begin(std::uint32_t, std::uint32_t) override {}
    bool write(std::uint32_t size, const std::uint8_t* bytes) override { return output_.write(size, bytes); }
    bool finish() override { return true; }

private:
    PackageOutputStream& output_;
};

}  // namespace

EntryCopy copyArchiveEntry(PayloadArchive& source, const PayloadEntry& entry, PayloadArchiveWriter& writer,
                           int& error)
{
    constexpr std::uint64_t kLargestRecorded = std::numeric_limits<std::uint32_t>::max();
    if (entry.packedSize > kLargestRecorded || entry.unpackedSize > kLargestRecorded) {
        error = kPayloadErrorWrite;
        return EntryCopy::TooLarge;
    }
    const bool copied = writer.addEntryFrom(
        entry.name, entry.method, static_cast<std::uint32_t>(entry.unpackedSize),
        [&](PackageOutputStream& output) {
            StreamSink sink(output);
            std::uint64_t unpackedSize = 0;
            std::uint32_t method = 0;
            return source.extractRaw(entry.name, sink, unpackedSize, method);
        },
        error);
    return copied ? EntryCopy::Copied : EntryCopy::Failed;
}

}  // namespace druvex

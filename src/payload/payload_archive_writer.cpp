#include "payload/payload_archive_writer.h"

#include <limits>
#include <stdexcept>

namespace druvex {
namespace {

constexpr std::uint32_t kCopyPieceBytes = 16384;

}  // namespace

PayloadArchiveWriter::PayloadArchiveWriter(std::shared_ptr<PackageOutputStream> output, std::uint64_t payloadBase)
    : output_(std::move(output)), checksum_(std::make_unique<ChecksumOutputStream>(*output_)),
      payloadBase_(payloadBase)
{
}

PayloadArchiveWriter::~PayloadArchiveWriter() = default;

bool PayloadArchiveWriter::addEntry(const SharedString& name, std::uint32_t method, PackageInputStream& input,
                                    std::uint32_t unpackedSize, int& error)
{
    PayloadEntry entry;
    entry.name = name;
    entry.method = method;
    entry.offset = checksum_->count();
    entry.packedSize = input.size();
    entry.unpackedSize = unpackedSize;

    error = kPayloadErrorWrite;
    if (writeFailed_)
        return false;
    checksum_->resetChecksum();
    std::uint8_t piece[kCopyPieceBytes];
    for (std::uint64_t left = entry.packedSize; left > 0;) {
        const std::uint32_t want = static_cast<std::uint32_t>(std::min<std::uint64_t>(left, kCopyPieceBytes));
        std::uint32_t got = 0;
        if (!input.read(want, piece, got) || got != want)
            return false;
        if (!checksum_->write(want, piece)) {
            writeFailed_ = true;
            return false;
        }
        left -= want;
    }
    error = kPayloadErrorNone;
    entry.checksum = checksum_->finalChecksum();
    entries_.push_back(std::move(entry));
    return true;
}

namespace {

// What `produce` writes goes on to the archive; a failed write is remembered,
// so that a producer that ignores it still fails the entry.
class EntryOutput final : public PackageOutputStream {
public:
    explicit EntryOutput(PackageOutputStream& target) : target_(target) {}
    bool write(std::uint32_t size, const std::uint8_t* bytes) override
    {
        if (failed_)
            return false;
        failed_ = !target_.write(size, bytes);
        return !failed_;
    }
    bool close() override { return true; }  // the archive closes in finish
    bool failed() const { return failed_; }

private:
    PackageOutputStream& target_;
    bool failed_ = false;
};

}  // namespace

bool PayloadArchiveWriter::addEntryFrom(const SharedString& name, std::uint32_t method, std::uint32_t unpackedSize,
                                        const std::function<bool(PackageOutputStream&)>& produce, int& error)
{
    error = kPayloadErrorWrite;
    if (writeFailed_)
        return false;
    PayloadEntry entry;
    entry.name = name;
    entry.method = method;
    entry.offset = checksum_->count();
    entry.unpackedSize = unpackedSize;
    checksum_->resetChecksum();
    EntryOutput output(*checksum_);
    const bool produced = produce(output);
    if (output.failed())
        writeFailed_ = true;
    // Bytes of a failed entry may lie in the file: the offsets after them
    // still hold, as the count went on with every byte written.
    entry.packedSize = checksum_->count() - entry.offset;
    if (!produced || output.failed())
        return false;
    error = kPayloadErrorNone;
    entry.checksum = checksum_->finalChecksum();
    entries_.push_back(std::move(entry));
    return true;
}

void PayloadArchiveWriter::writeOrThrow(const std::uint8_t* bytes, std::size_t size)
{
    if (!checksum_->write(static_cast<std::uint32_t>(size), bytes))
        throw std::runtime_error("archive directory write failed");
}

void PayloadArchiveWriter::writeDirectory()
{
    checksum_->resetChecksum();
    const std::uint64_t directoryStart = checksum_->count();
    std::vector<std::uint8_t> record;
    for (const PayloadEntry& entry : entries_) {
        const int nameLength = entry.name.length();
        if (nameLength > std::numeric_limits<std::uint16_t>::max())
            throw std::length_error("archive entry name longer than 65535 units");
        record.assign(kPayloadRecordFixedSize + 2 * static_cast<std::size_t>(nameLength), 0);
        std::uint8_t* at = record.data();
        writeLe16(at, static_cast<std::uint16_t>(nameLength));
        at += 2;
        for (const char16_t unit : entry.name.view()) {
            writeLe16(at, unit);
            at += 2;
        }
        writeLe32(at, entry.method);
        writeLe64(at + 4, entry.offset);
        writeLe64(at + 12, entry.packedSize);
        writeLe64(at + 20, entry.unpackedSize);
        writeLe32(at + 28, entry.checksum);
        writeOrThrow(record.data(), record.size());
    }

    PayloadTrailer trailer;
    trailer.recordCount = static_cast<std::uint32_t>(entries_.size());
    trailer.payloadBase = payloadBase_;
    trailer.directoryRelativeOffset = directoryStart;
    trailer.directoryOffset = payloadBase_ + directoryStart;
    trailer.directorySize = checksum_->count() - directoryStart;
    std::uint8_t bytes[kPayloadTrailerSize];
    writePayloadTrailerHead(bytes, trailer);
    writeOrThrow(bytes, kPayloadTrailerCheckedSize);
    writeLe32(bytes + 40, checksum_->finalChecksum());
    writeLe32(bytes + 44, kPayloadMagic);
    writeOrThrow(bytes + 40, kPayloadTrailerSize - kPayloadTrailerCheckedSize);
}

bool PayloadArchiveWriter::finish(int& error)
{
    error = kPayloadErrorNone;
    if (writeFailed_) {
        error = kPayloadErrorWrite;
    } else {
        try {
            writeDirectory();
        } catch (const std::exception&) {
            error = kPayloadErrorWrite;
        }
    }
    if (!checksum_->close())
        error = kPayloadErrorWrite;
    return error == kPayloadErrorNone;
}

}  // namespace druvex

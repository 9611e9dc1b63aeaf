#include "payload/seven_zip_reader.h"
#include "payload/lzma_alloc.h"

#include <lzma/LzmaDec.h>

#include <algorithm>
#include <cstdlib>
#include <span>

#include "platform/input_limits.h"
#include "hal/hal_access.h"
#include "payload/seven_zip_header.h"
#include "payload/seven_zip_number.h"

namespace druvex {
namespace {

constexpr std::size_t kPieceBytes = 4096;

// Whether `size` bytes at `offset` past the start header lie inside a file of
// `fileSize` bytes.
bool liesInside(std::uint64_t offset, std::uint64_t size, std::uint64_t fileSize)
{
    if (fileSize < kSevenZipStartHeaderSize)
        return false;
    const std::uint64_t room = fileSize - kSevenZipStartHeaderSize;
    return offset <= room && size <= room - offset;
}

// Decodes the packed stream in pieces. Its input ends where the packed
// stream ends, so damage that runs the decoder on cannot make it read the
// headers as data.
class PackedStreamDecoder {
public:
    PackedStreamDecoder(HalFile& file, std::uint64_t packedSize, std::uint64_t unpackedSize)
        : file_(file), packedLeft_(packedSize), unpackedLeft_(unpackedSize)
    {
        LzmaDec_Construct(&decoder_);
    }
    ~PackedStreamDecoder()
    {
        if (allocated_)
            LzmaDec_Free(&decoder_, &g_lzmaAlloc);
    }
    PackedStreamDecoder(const PackedStreamDecoder&) = delete;
    PackedStreamDecoder& operator=(const PackedStreamDecoder&) = delete;

    bool start(const std::array<std::uint8_t, kSevenZipLzmaPropertySize>& properties)
    {
        if (LzmaDec_Allocate(&decoder_, properties.data(), kSevenZipLzmaPropertySize, &g_lzmaAlloc) != SZ_OK)
            return false;
        allocated_ = true;
        LzmaDec_Init(&decoder_);
        return file_.seek(0, static_cast<std::int64_t>(kSevenZipStartHeaderSize));
    }

    // The next piece of decoded bytes, never past the unpacked size; false
    // when reading fails, the data are damaged or the stream ends early.
    bool next(std::span<const std::uint8_t>& piece)
    {
        if (unpackedLeft_ == 0)
            return false;
        while (true) {
            if (inPosition_ == inSize_ && packedLeft_ > 0 && !refill())
                return false;
            SizeT outLength = static_cast<SizeT>(std::min<std::uint64_t>(kPieceBytes, unpackedLeft_));
            SizeT inLength = inSize_ - inPosition_;
            ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
            const SRes result = LzmaDec_DecodeToBuf(&decoder_, output_, &outLength, input_ + inPosition_, &inLength,
                                                    LZMA_FINISH_ANY, &status);
            inPosition_ += inLength;
            if (result != SZ_OK)
                return false;
            if (outLength > 0) {
                unpackedLeft_ -= outLength;
                produced_ += outLength;
                piece = std::span<const std::uint8_t>(output_, outLength);
                return true;
            }
            const bool inputLeft = inPosition_ < inSize_ || packedLeft_ > 0;
            if (status == LZMA_STATUS_FINISHED_WITH_MARK || (inLength == 0 && (!inputLeft || inPosition_ < inSize_)))
                return false;
        }
    }

    std::uint64_t produced() const { return produced_; }

private:
    bool refill()
    {
        const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kPieceBytes, packedLeft_));
        const std::int64_t got = file_.read(input_, wanted);
        if (got <= 0)
            return false;
        inSize_ = static_cast<std::size_t>(got);
        inPosition_ = 0;
        packedLeft_ -= inSize_;
        return true;
    }

    HalFile& file_;
    CLzmaDec decoder_;
    bool allocated_ = false;
    std::uint64_t packedLeft_;
    std::uint64_t unpackedLeft_;
    std::uint64_t produced_ = 0;
    std::uint8_t input_[kPieceBytes];
    std::size_t inPosition_ = 0;
    std::size_t inSize_ = 0;
    std::uint8_t output_[kPieceBytes];
};

// Collects one named entry and stops the decoding right after it.
class SingleEntrySink final : public SevenZipSink {
public:
    SingleEntrySink(const SharedString& name, std::vector<std::uint8_t>& bytes) : name_(name), bytes_(bytes) {}

    int beginFile(const SharedString& name, std::uint64_t size) override
    {
        if (found_)
            return kSevenZipStop;
        if (name != name_)
            return kSevenZipSkip;
        found_ = true;
        if (size > kMaxInMemoryExtraction)
            return kSevenZipStop;
        bytes_.reserve(static_cast<std::size_t>(size));
        return kSevenZipReceive;
    }
    int write(const std::uint8_t* data, std::uint32_t count) override
    {
        bytes_.insert(bytes_.end(), data, data + count);
        return 0;
    }
    int endFile(const SevenZipReaderEntry&, bool crcMatched) override
    {
        matched_ = crcMatched;
        return 1;
    }

    bool matched() const { return matched_; }

private:
    const SharedString& name_;
    std::vector<std::uint8_t>& bytes_;
    bool found_ = false;
    bool matched_ = false;
};

}  // namespace

SevenZipSink::~SevenZipSink() = default;

void SevenZipSink::createFolder(const SharedString&, const SevenZipReaderEntry&) {}

void SevenZipSink::progress(std::uint32_t) {}

SevenZipReader::~SevenZipReader()
{
    close();
}

bool SevenZipReader::open(const std::shared_ptr<HalAccess>& host, const SharedString& path)
{
    close();
    host_ = host;
    path_ = path;
    if (!host_ || !file_.openForRead(host_, path_))
        return false;
    if (load())
        return true;
    close();
    return false;
}

void SevenZipReader::close()
{
    file_.letGo();
    fileSize_ = 0;
    packedSize_ = 0;
    unpackedSize_ = 0;
    entries_.clear();
    entries_.shrink_to_fit();
}

bool SevenZipReader::readAt(std::uint64_t offset, std::uint8_t* buffer, std::size_t count)
{
    if (!file_.seek(0, static_cast<std::int64_t>(offset)))
        return false;
    return file_.readFully(buffer, count) == static_cast<std::int64_t>(count);
}

bool SevenZipReader::load()
{
    if (!file_.seekToEnd(&fileSize_) || fileSize_ < kSevenZipStartHeaderSize)
        return false;
    std::uint8_t startBytes[kSevenZipStartHeaderSize];
    SevenZipStartHeader start;
    if (!readAt(0, startBytes, sizeof startBytes) || !parseSevenZipStartHeader(startBytes, start))
        return false;

    if (start.nextHeaderSize == 0 || start.nextHeaderSize > kMax7zHeaderSize ||
        !liesInside(start.nextHeaderOffset, start.nextHeaderSize, fileSize_))
        return false;
    std::vector<std::uint8_t> nextHeader(static_cast<std::size_t>(start.nextHeaderSize));
    SevenZipEncodedHeader encoded;
    if (!readAt(kSevenZipStartHeaderSize + start.nextHeaderOffset, nextHeader.data(), nextHeader.size()) ||
        sevenZipCrc(nextHeader) != start.nextHeaderCrc || !parseSevenZipEncodedHeader(nextHeader, encoded))
        return false;

    if (encoded.headerSize == 0 || encoded.headerSize > kMax7zHeaderSize ||
        !liesInside(encoded.headerPosition, encoded.headerSize, fileSize_))
        return false;
    std::vector<std::uint8_t> header(static_cast<std::size_t>(encoded.headerSize));
    SevenZipStreamInfo stream;
    if (!readAt(kSevenZipStartHeaderSize + encoded.headerPosition, header.data(), header.size()) ||
        sevenZipCrc(header) != encoded.headerCrc || !parseSevenZipHeader(header, stream, entries_))
        return false;

    // The packed stream lies between the start header and the header.
    if (stream.packedSize > encoded.headerPosition)
        return false;
    CLzmaProps properties;
    if (LzmaProps_Decode(&properties, stream.lzmaProperties.data(), kSevenZipLzmaPropertySize) != SZ_OK ||
        properties.dicSize > kMaxLzmaDictionarySize)
        return false;
    lzmaProperties_ = stream.lzmaProperties;
    packedSize_ = stream.packedSize;
    unpackedSize_ = stream.unpackedSize;
    return true;
}

void SevenZipReader::listFiles(std::vector<std::shared_ptr<const SevenZipReaderEntry>>& list) const
{
    list = entries_;
}

bool SevenZipReader::extract(SevenZipSink& sink)
{
    if (!file_.isOpen())
        return false;
    for (const auto& entry : entries_)
        if (entry->isDirectory)
            sink.createFolder(entry->name, *entry);

    PackedStreamDecoder decoder(file_, packedSize_, unpackedSize_);
    if (unpackedSize_ > 0 && !decoder.start(lzmaProperties_))
        return false;
    std::span<const std::uint8_t> piece;
    std::uint32_t lastPercent = 0;
    for (const auto& entry : entries_) {
        if (entry->isDirectory)
            continue;
        const int begin = sink.beginFile(entry->name, entry->size);
        if (begin != kSevenZipReceive && begin != kSevenZipSkip)
            return false;
        const bool receive = begin == kSevenZipReceive;
        std::uint32_t crc = 0;
        for (std::uint64_t left = entry->size; left > 0;) {
            if (piece.empty()) {
                if (!decoder.next(piece)) {
                    if (receive)
                        sink.endFile(*entry, false);
                    return false;
                }
                const std::uint32_t percent = sevenZipPercent(decoder.produced(), unpackedSize_);
                if (percent != lastPercent) {
                    lastPercent = percent;
                    sink.progress(percent);
                }
            }
            const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(left, piece.size()));
            crc = updateSevenZipCrc(crc, piece.first(take));
            if (receive && sink.write(piece.data(), static_cast<std::uint32_t>(take)) != 0)
                return false;
            piece = piece.subspan(take);
            left -= take;
        }
        const bool matched = crc == entry->crc;
        if (receive && sink.endFile(*entry, matched) != 0)
            return false;
        if (!matched)
            return false;
    }
    return true;
}

bool SevenZipReader::extractTo(const SharedString& name, std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    SingleEntrySink sink(name, bytes);
    extract(sink);
    if (sink.matched() && !bytes.empty())
        return true;
    bytes.clear();
    return false;
}

}  // namespace druvex

#include "payload/entry_decoder.h"
#include "payload/lzma_alloc.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include <lzma/LzmaDec.h>

#include "core/adler32.h"
#include "hal/hal_access.h"
#include "platform/input_limits.h"
#include "payload/payload_entry.h"
#include "payload/payload_sink.h"

namespace druvex {
namespace {

constexpr std::size_t kStoredPieceBytes = 16384;
constexpr std::size_t kLzmaPieceBytes = 4096;
// The input side may read more at once than a piece: fewer host calls, and
// the pieces the sink sees stay as they are.
constexpr std::size_t kLzmaInputBytes = 65536;
constexpr std::size_t kLzmaHeaderBytes = LZMA_PROPS_SIZE + 8;
constexpr std::size_t kZlibPieceBytes = 16384;

void announce(PayloadSink& sink, std::uint64_t size)
{
    sink.begin(static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(size >> 32));
}

}  // namespace

// The decoder, its input buffer and where the stream stands.
struct LzmaStreamDecoder::State {
    explicit State(EntryInput& in) : input(in) { LzmaDec_Construct(&decoder); }
    ~State()
    {
        if (allocated)
            LzmaDec_Free(&decoder, &g_lzmaAlloc);
    }

    EntryInput& input;
    std::uint8_t header[kLzmaHeaderBytes] = {};
    CLzmaDec decoder;
    bool allocated = false;
    bool unknownSize = false;
    std::uint64_t remaining = 0;
    std::unique_ptr<std::uint8_t[]> in;
    std::size_t inPosition = 0;
    std::size_t inLength = 0;
};

LzmaStreamDecoder::LzmaStreamDecoder(EntryInput& input) : state_(std::make_unique<State>(input)) {}

LzmaStreamDecoder::~LzmaStreamDecoder() = default;

bool LzmaStreamDecoder::readHeader(std::uint64_t& size)
{
    State& s = *state_;
    if (s.input.read(s.header, sizeof s.header) != static_cast<std::int64_t>(sizeof s.header))
        return false;
    size = readLe64(s.header + LZMA_PROPS_SIZE);
    s.unknownSize = size == kPayloadUnknownSize;
    s.remaining = size;
    return true;
}

bool LzmaStreamDecoder::prepare()
{
    State& s = *state_;
    // The dictionary comes from the input: never allocate more than the limit.
    if (readLe32(s.header + 1) > kMaxLzmaDictionarySize)
        return false;
    if (LzmaDec_Allocate(&s.decoder, s.header, LZMA_PROPS_SIZE, &g_lzmaAlloc) != SZ_OK)
        return false;
    s.allocated = true;
    LzmaDec_Init(&s.decoder);
    return true;
}

std::size_t LzmaStreamDecoder::dictionaryBytes() const
{
    return state_->allocated ? state_->decoder.dicBufSize : 0;
}

LzmaPiece LzmaStreamDecoder::next()
{
    State& s = *state_;
    LzmaPiece piece;
    if (!s.in) {
        s.in.reset(new (std::nothrow) std::uint8_t[kLzmaInputBytes]);
        if (!s.in) {
            piece.last = true;
            piece.result = SZ_ERROR_MEM;
            return piece;
        }
    }
    if (s.inPosition == s.inLength) {
        const std::int64_t got = s.input.read(s.in.get(), kLzmaInputBytes);
        if (got < 0) {
            piece.last = true;
            piece.result = SZ_ERROR_READ;
            return piece;
        }
        s.inPosition = 0;
        s.inLength = static_cast<std::size_t>(got);
    }
    CLzmaDec& decoder = s.decoder;
    if (decoder.dicPos == decoder.dicBufSize)
        decoder.dicPos = 0;
    const SizeT start = decoder.dicPos;
    SizeT want = std::min<SizeT>(kLzmaPieceBytes, decoder.dicBufSize - start);
    ELzmaFinishMode finishMode = LZMA_FINISH_ANY;
    if (!s.unknownSize && s.remaining < want) {
        want = static_cast<SizeT>(s.remaining);
        finishMode = LZMA_FINISH_END;
    }
    SizeT consumed = s.inLength - s.inPosition;
    ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
    const SRes result =
        LzmaDec_DecodeToDic(&decoder, start + want, s.in.get() + s.inPosition, &consumed, finishMode, &status);
    s.inPosition += consumed;
    const SizeT outLength = decoder.dicPos - start;
    piece.data = decoder.dic + start;
    piece.size = static_cast<std::uint32_t>(outLength);
    piece.handed = true;
    if (!s.unknownSize)
        s.remaining -= outLength;
    piece.last = true;
    if (result != SZ_OK)
        piece.result = result;
    else if (!s.unknownSize && s.remaining == 0)
        piece.result = SZ_OK;
    else if (status == LZMA_STATUS_FINISHED_WITH_MARK)
        piece.result = s.unknownSize ? SZ_OK : SZ_ERROR_DATA;  // an end mark before the announced length
    else if (consumed == 0 && outLength == 0)
        piece.result = SZ_ERROR_DATA;  // the input ended inside the stream
    else
        piece.last = false;
    return piece;
}

bool feedLzmaPieces(LzmaPieceSource& source, PayloadSink& sink)
{
    std::uint64_t size = 0;
    if (!source.readHeader(size))
        return false;
    announce(sink, size);
    if (!source.prepare())
        return false;
    int result = SZ_OK;
    for (;;) {
        const LzmaPiece piece = source.next();
        if (piece.handed && !sink.write(piece.size, piece.data)) {
            result = SZ_ERROR_WRITE;
            break;
        }
        if (piece.last) {
            result = piece.result;
            break;
        }
    }
    const bool finished = sink.finish();
    return result == SZ_OK && finished;
}

OwnedHostFileInput::~OwnedHostFileInput()
{
    host_.closeFileAfterReading(handle_);
}

std::int64_t MemoryEntryInput::read(std::uint8_t* buffer, std::size_t count)
{
    const std::size_t n = std::min(count, bytes_.size() - position_);
    if (n > 0)
        std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
    return static_cast<std::int64_t>(n);
}

std::int64_t HostFileInput::read(std::uint8_t* buffer, std::size_t count)
{
    const std::size_t want = left_ ? static_cast<std::size_t>(std::min<std::uint64_t>(count, *left_)) : count;
    if (want == 0)
        return 0;
    const std::int64_t got = host_.readFully(handle_, buffer, want);
    if (got > 0 && left_)
        *left_ -= static_cast<std::uint64_t>(got);
    return got;
}

bool decodeStoredEntry(EntryInput& input, std::uint64_t size, PayloadSink& sink,
                       std::optional<std::uint32_t> expectedChecksum)
{
    announce(sink, size);
    std::uint8_t piece[kStoredPieceBytes];
    Adler32 adler;
    for (std::uint64_t left = size; left > 0;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kStoredPieceBytes));
        if (input.read(piece, want) != static_cast<std::int64_t>(want))
            return false;
        if (expectedChecksum)
            adler.update(want, piece);
        if (!sink.write(static_cast<std::uint32_t>(want), piece))
            return false;
        left -= want;
    }
    if (expectedChecksum && adler.final() != *expectedChecksum)
        return false;
    return sink.finish();
}

bool decodeLzmaEntry(EntryInput& input, PayloadSink& sink)
{
    LzmaStreamDecoder decoder(input);
    return feedLzmaPieces(decoder, sink);
}

bool decodeZlibEntry(EntryInput& input, std::uint64_t unpackedSize, PayloadSink& sink)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return false;
    announce(sink, unpackedSize);
    std::uint8_t in[kZlibPieceBytes];
    std::uint8_t out[kZlibPieceBytes];
    int result = Z_OK;
    bool failed = false;
    while (!failed && result != Z_STREAM_END) {
        const std::int64_t got = input.read(in, sizeof in);
        if (got < 0) {
            failed = true;
            break;
        }
        if (got == 0)
            break;
        stream.next_in = in;
        stream.avail_in = static_cast<uInt>(got);
        do {
            stream.next_out = out;
            stream.avail_out = sizeof out;
            result = inflate(&stream, Z_NO_FLUSH);
            if (result == Z_MEM_ERROR || result == Z_DATA_ERROR || result == Z_NEED_DICT) {
                failed = true;
                break;
            }
            const std::uint32_t produced = static_cast<std::uint32_t>(sizeof out - stream.avail_out);
            if (produced > 0 && !sink.write(produced, out)) {
                // A refusing sink has said its last word: no finish.
                inflateEnd(&stream);
                return false;
            }
        } while (stream.avail_out == 0 && result != Z_STREAM_END);
    }
    inflateEnd(&stream);
    const bool finished = sink.finish();
    return !failed && result == Z_STREAM_END && finished;
}

bool decodeLzmaBuffer(const std::vector<std::uint8_t>& data, std::size_t length, PayloadSink& sink)
{
    if (length > data.size())
        return false;
    MemoryEntryInput input(std::span<const std::uint8_t>(data.data(), length == 0 ? data.size() : length));
    return decodeLzmaEntry(input, sink);
}

bool decodeLzmaBuffer(const std::vector<std::uint8_t>& data, std::size_t length, std::vector<std::uint8_t>& out)
{
    ByteVectorSink sink(out);
    return decodeLzmaBuffer(data, length, sink);
}

}  // namespace druvex

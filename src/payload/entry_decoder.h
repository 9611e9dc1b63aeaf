// Decoding one archive entry's bytes into a PayloadSink by its method: stored
// bytes in pieces of 16 KB, LZMA (the SDK's single-stream layout) in pieces of
// 4 KB, zlib in pieces of 16 KB; the packed bytes come from a file the host
// holds open (an archive's entry, a downloaded package) or from memory
// (decodeLzmaBuffer: a stream already read whole).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "core/platform_file.h"

namespace druvex {

class HalAccess;
class PayloadSink;

// Where an entry's packed bytes come from.
class EntryInput {
public:
    virtual ~EntryInput() = default;
    // `count` bytes, fewer only at the end of the entry (0 there); -1 when
    // reading failed.
    virtual std::int64_t read(std::uint8_t* buffer, std::size_t count) = 0;
};

// Packed bytes held in memory.
class MemoryEntryInput final : public EntryInput {
public:
    explicit MemoryEntryInput(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::int64_t read(std::uint8_t* buffer, std::size_t count) override;

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// Packed bytes read in pieces through the host from an open file, from its
// current position on: at most `limit` bytes, to the end of the file without
// one. The file is neither seeked nor closed here.
class HostFileInput final : public EntryInput {
public:
    HostFileInput(HalAccess& host, FileHandle handle, std::optional<std::uint64_t> limit = std::nullopt)
        : host_(host), handle_(handle), left_(limit)
    {
    }
    std::int64_t read(std::uint8_t* buffer, std::size_t count) override;

private:
    HalAccess& host_;
    FileHandle handle_;
    std::optional<std::uint64_t> left_;
};

// `size` bytes handed on as they are. With `expectedChecksum`, their Adler-32
// must equal it, else the copy fails before `finish`: a damaged entry is never
// passed on as sound.
bool decodeStoredEntry(EntryInput& input, std::uint64_t size, PayloadSink& sink,
                       std::optional<std::uint32_t> expectedChecksum = std::nullopt);

// Packed bytes of a file opened for them alone, closed with the object.
class OwnedHostFileInput final : public EntryInput {
public:
    OwnedHostFileInput(HalAccess& host, FileHandle handle, std::optional<std::uint64_t> limit = std::nullopt)
        : host_(host), handle_(handle), input_(host, handle, limit)
    {
    }
    ~OwnedHostFileInput() override;
    OwnedHostFileInput(const OwnedHostFileInput&) = delete;
    OwnedHostFileInput& operator=(const OwnedHostFileInput&) = delete;
    std::int64_t read(std::uint8_t* buffer, std::size_t count) override { return input_.read(buffer, count); }

private:
    HalAccess& host_;
    FileHandle handle_;
    HostFileInput input_;
};

// Opens the packed bytes of one stream for reading, possibly on another
// thread than the one that made it; null when they cannot be opened.
using EntryInputOpener = std::function<std::unique_ptr<EntryInput>()>;

// One step of decoding an LZMA stream, as the sink is to see it: a piece to
// hand over (possibly empty), and whether the decoding ends after it, with
// the LZMA SDK's result (0 when the stream decoded whole).
struct LzmaPiece {
    const std::uint8_t* data = nullptr;
    std::uint32_t size = 0;
    bool handed = false;
    bool last = false;
    int result = 0;
};

// Where the pieces of an LZMA stream come from: its decoder, or the replay of
// a decoding that ran on another thread.
class LzmaPieceSource {
public:
    virtual ~LzmaPieceSource() = default;
    // The 13-byte header's decoded length (kPayloadUnknownSize when the
    // stream ends with an end mark); false when the header cannot be read.
    virtual bool readHeader(std::uint64_t& size) = 0;
    // False when the dictionary is above the input limit or cannot be had.
    virtual bool prepare() = 0;
    // The next piece; its bytes stay valid until the following call.
    virtual LzmaPiece next() = 0;
};

// The LZMA SDK's decoder over an input: pieces of at most 4 KB, handed
// straight from its dictionary (copying them out first cost a few percent
// of the whole decoding).
class LzmaStreamDecoder final : public LzmaPieceSource {
public:
    explicit LzmaStreamDecoder(EntryInput& input);
    ~LzmaStreamDecoder() override;
    LzmaStreamDecoder(const LzmaStreamDecoder&) = delete;
    LzmaStreamDecoder& operator=(const LzmaStreamDecoder&) = delete;

    bool readHeader(std::uint64_t& size) override;
    bool prepare() override;
    LzmaPiece next() override;

    // The dictionary, once prepared: a ring in which the output byte at
    // offset n of the stream lies at n modulo its size, and which a piece
    // never crosses.
    std::size_t dictionaryBytes() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The sink's part of decoding an LZMA stream: begin, the pieces, finish. The
// only place that makes these calls, so that a replay of a decoding feeds a
// sink exactly as the decoding itself would have.
bool feedLzmaPieces(LzmaPieceSource& source, PayloadSink& sink);

// An LZMA stream: 13-byte header, then the coded data up to the decoded length
// of the header, or to the end mark when that length is unknown. Dictionaries
// above the input limit are refused.
bool decodeLzmaEntry(EntryInput& input, PayloadSink& sink);

// A zlib stream announced to the sink with `unpackedSize`.
bool decodeZlibEntry(EntryInput& input, std::uint64_t unpackedSize, PayloadSink& sink);

// The LZMA method over the first `length` bytes of `data` (0: all of it); false
// when `length` is beyond the data.
bool decodeLzmaBuffer(const std::vector<std::uint8_t>& data, std::size_t length, PayloadSink& sink);
// The same into a vector (see ByteVectorSink).
bool decodeLzmaBuffer(const std::vector<std::uint8_t>& data, std::size_t length, std::vector<std::uint8_t>& out);

}  // namespace druvex

// Decoding one archive entry's bytes into a PayloadSink by its method: stored
// bytes in pieces of 16 KB, LZMA (the SDK's single-stream layout) in pieces of
// 4 KB, zlib in pieces of 16 KB; the packed bytes come from a file the host
// holds open (an archive's entry, a downloaded package) or from memory
// (decodeLzmaBuffer: a stream already read whole).
#pragma once

#include <cstddef>
#include <cstdint>
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

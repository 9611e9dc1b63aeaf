#include "payload/entry_encoder.h"
#include "payload/lzma_alloc.h"

#include <zlib.h>

#include <cstdlib>
#include <memory>
#include <new>

#include <lzma/LzmaEnc.h>

#include "payload/payload_entry.h"

namespace druvex {
namespace {

constexpr std::size_t kPropsBytes = 5;
constexpr std::size_t kHeaderBytes = kPropsBytes + 8;
constexpr std::uint32_t kEntryDictionary = 16u << 20;

CLzmaEncProps entryProperties()
{
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = 5;
    props.dictSize = kEntryDictionary;
    props.numThreads = 1;
    return props;
}

// The SDK hands its callbacks the address of the interface record, so each
// adapter starts with one.
struct ReadAdapter {
    ISeqInStream stream;
    const EntryReadFunction* read;
    std::uint64_t total;
    bool failed;
};

SRes readInput(ISeqInStreamPtr p, void* buffer, std::size_t* size)
{
    auto* self = const_cast<ReadAdapter*>(reinterpret_cast<const ReadAdapter*>(p));
    const std::int64_t got = (*self->read)(static_cast<std::uint8_t*>(buffer), *size);
    if (got < 0) {
        self->failed = true;
        *size = 0;
        return SZ_ERROR_READ;
    }
    *size = static_cast<std::size_t>(got);
    self->total += static_cast<std::uint64_t>(got);
    return SZ_OK;
}

struct WriteAdapter {
    ISeqOutStream stream;
    const EntryWriteFunction* write;
};

std::size_t writeOutput(ISeqOutStreamPtr p, const void* data, std::size_t size)
{
    const auto* self = reinterpret_cast<const WriteAdapter*>(p);
    return (*self->write)(static_cast<const std::uint8_t*>(data), size) ? size : 0;
}

struct EncoderDeleter {
    void operator()(CLzmaEnc* encoder) const { LzmaEnc_Destroy(encoder, &g_lzmaAlloc, &g_lzmaAlloc); }
};

}  // namespace

bool encodeLzmaEntry(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out)
{
    CLzmaEncProps props = entryProperties();
    try {
        out.assign(kHeaderBytes + data.size() + data.size() / 3 + 1024, 0);
    } catch (const std::bad_alloc&) {
        out.clear();
        return false;
    }
    SizeT propsSize = kPropsBytes;
    SizeT codedSize = out.size() - kHeaderBytes;
    const SRes result = LzmaEncode(out.data() + kHeaderBytes, &codedSize, data.data(), data.size(), &props,
                                   out.data(), &propsSize, 0, nullptr, &g_lzmaAlloc, &g_lzmaAlloc);
    if (result != SZ_OK || propsSize != kPropsBytes) {
        out.clear();
        return false;
    }
    writeLe64(out.data() + kPropsBytes, data.size());
    out.resize(kHeaderBytes + codedSize);
    return true;
}

bool encodeLzmaEntry(std::uint64_t size, const EntryReadFunction& read, const EntryWriteFunction& write)
{
    std::unique_ptr<CLzmaEnc, EncoderDeleter> encoder(LzmaEnc_Create(&g_lzmaAlloc));
    if (!encoder)
        return false;
    const CLzmaEncProps props = entryProperties();
    std::uint8_t header[kHeaderBytes];
    SizeT propsSize = kPropsBytes;
    if (LzmaEnc_SetProps(encoder.get(), &props) != SZ_OK ||
        LzmaEnc_WriteProperties(encoder.get(), header, &propsSize) != SZ_OK || propsSize != kPropsBytes)
        return false;
    writeLe64(header + kPropsBytes, size);
    if (!write(header, sizeof header))
        return false;
    ReadAdapter input{{readInput}, &read, 0, false};
    WriteAdapter output{{writeOutput}, &write};
    const SRes result =
        LzmaEnc_Encode(encoder.get(), &output.stream, &input.stream, nullptr, &g_lzmaAlloc, &g_lzmaAlloc);
    return result == SZ_OK && !input.failed && input.total == size;
}

bool encodeZlibEntry(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    try {
        out.assign(size, 0);
    } catch (const std::bad_alloc&) {
        out.clear();
        return false;
    }
    if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), Z_BEST_COMPRESSION) != Z_OK) {
        out.clear();
        return false;
    }
    out.resize(size);
    return true;
}

}  // namespace druvex

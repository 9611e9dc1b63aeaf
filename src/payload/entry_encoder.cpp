#include "payload/entry_encoder.h"
#include "payload/lzma_alloc.h"

#include <zlib.h>

#include <cstdlib>
#include <new>

#include <lzma/LzmaEnc.h>

#include "payload/payload_entry.h"

namespace druvex {
namespace {

constexpr std::size_t kPropsBytes = 5;
constexpr std::size_t kHeaderBytes = kPropsBytes + 8;
constexpr std::uint32_t kEntryDictionary = 16u << 20;


}  // namespace

bool encodeLzmaEntry(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out)
{
    CLzmaEncProps props;
    LzmaEncProps_Init(&props);
    props.level = 5;
    props.dictSize = kEntryDictionary;
    props.numThreads = 1;
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

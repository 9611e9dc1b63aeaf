#include "payload/lzma_alloc.h"

#include <cstdlib>

namespace druvex {
namespace {

void* lzmaAlloc(ISzAllocPtr, size_t size)
{
    return std::malloc(size);
}

void lzmaFree(ISzAllocPtr, void* address)
{
    std::free(address);
}

}  // namespace

ISzAlloc g_lzmaAlloc = {lzmaAlloc, lzmaFree};

}  // namespace druvex

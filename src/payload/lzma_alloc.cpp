#include "payload/lzma_alloc.h"

#include <cstdlib>

namespace druvex {
namespace {

void* lzmaAlloc(void*, size_t size)
{
    return std::malloc(size);
}

void lzmaFree(void*, void* address)
{
    std::free(address);
}

}  // namespace

ISzAlloc g_lzmaAlloc = {lzmaAlloc, lzmaFree};

}  // namespace druvex

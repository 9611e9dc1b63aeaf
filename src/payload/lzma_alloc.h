// The allocator that every LZMA SDK coder of the payload library is given.
#pragma once

#include <lzma/7zTypes.h>

namespace druvex {

// The SDK takes a mutable ISzAlloc*; the object itself holds only two function pointers.
extern ISzAlloc g_lzmaAlloc;

}  // namespace druvex

#include "allocation_probe.h"

#include <cstdlib>
#include <new>

namespace druvex::test {
namespace {

// The probe of the calling thread; null while none watches.
thread_local std::size_t* t_largest = nullptr;

void note(std::size_t size) noexcept
{
    if (t_largest != nullptr && size > *t_largest)
        *t_largest = size;
}

void* allocate(std::size_t size) noexcept
{
    note(size);
    return std::malloc(size == 0 ? 1 : size);
}

void* allocateAligned(std::size_t size, std::align_val_t alignment) noexcept
{
    note(size);
    const std::size_t align = static_cast<std::size_t>(alignment);
    const std::size_t rounded = (size + align - 1) / align * align;
    return std::aligned_alloc(align, rounded == 0 ? align : rounded);
}

}  // namespace

AllocationProbe::AllocationProbe() : previous_(t_largest)
{
    t_largest = &largest_;
}

AllocationProbe::~AllocationProbe()
{
    t_largest = previous_;
}

}  // namespace druvex::test

// Every form of the global allocation functions, so that each block is made
// and released by the same pair (malloc and free) whichever form is called.
void* operator new(std::size_t size)
{
    if (void* block = druvex::test::allocate(size))
        return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size)
{
    return ::operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return druvex::test::allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return druvex::test::allocate(size);
}
void* operator new(std::size_t size, std::align_val_t alignment)
{
    if (void* block = druvex::test::allocateAligned(size, alignment))
        return block;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size, std::align_val_t alignment)
{
    return ::operator new(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return druvex::test::allocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept
{
    return druvex::test::allocateAligned(size, alignment);
}
void operator delete(void* block) noexcept
{
    std::free(block);
}
void operator delete[](void* block) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept
{
    std::free(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept
{
    std::free(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept
{
    std::free(block);
}

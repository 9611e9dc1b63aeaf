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

// Every form of the plain global allocation functions, so that each block is
// made and released by the same pair (malloc and free) whichever form is
// called; the aligned forms keep their own pair.
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

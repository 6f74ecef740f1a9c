#include "allocation_counter.h"

#include <cstdlib>
#include <new>

// The replaced functions pair malloc with free on purpose; GCC cannot see that the pairs match
// once they are inlined into each other.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
thread_local bool counting = false;
thread_local long allocations = 0;

void *allocate(std::size_t size) noexcept
{
    if (counting)
        ++allocations;
    return std::malloc(size ? size : 1);
}

void *allocateOrThrow(std::size_t size)
{
    if (void *memory = allocate(size))
        return memory;
    throw std::bad_alloc();
}
} // namespace

namespace allocation_counter {
void reset() { allocations = 0; }
void enable(bool on) { counting = on; }
long count() { return allocations; }
} // namespace allocation_counter

void *operator new(std::size_t size) { return allocateOrThrow(size); }
void *operator new[](std::size_t size) { return allocateOrThrow(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept { return allocate(size); }
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return allocate(size); }
void operator delete(void *memory) noexcept { std::free(memory); }
void operator delete[](void *memory) noexcept { std::free(memory); }
void operator delete(void *memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void *memory, std::size_t) noexcept { std::free(memory); }

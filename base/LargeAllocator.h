#pragma once
// Allocator for large scratch arrays (mesh conversion, mesh reading). Blocks
// of 1 MiB or more are mapped on their own, aligned to 2 MiB and marked for
// transparent huge pages where the system offers them: filling a fresh
// array then costs one page fault per 2 MiB instead of one per 4 KiB, which
// dominated the conversion time. Smaller blocks (and all blocks in builds
// with AddressSanitizer) use operator new. Throws
// std::bad_alloc when memory runs out, like std::allocator.

#include <cstddef>
#include <vector>

namespace largealloc {
void* allocate(size_t bytes);
void release(void* p, size_t bytes);
// Marks the whole huge pages inside [p, p + bytes) of memory not yet touched
// (e.g. a fresh vector reserve) for transparent huge pages; a hint only.
void adviseHugePages(void* p, size_t bytes);
} // namespace largealloc

template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(largealloc::allocate(n * sizeof(T))); }
    void deallocate(T* p, size_t n) { largealloc::release(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const LargeAllocator<U>&) const { return true; }
    template <class U>
    bool operator!=(const LargeAllocator<U>&) const { return false; }
};

template <class T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

#include "base/LargeAllocator.h"

#include <cstdint>
#include <new>

#ifdef __linux__
#include <sys/mman.h>
#endif

// Under AddressSanitizer every block comes from operator new, so that reads
// past an array's end are still caught.
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#define LUMO_MAP_LARGE_BLOCKS 1
#endif

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kMappedFrom = size_t(1) << 20;

size_t roundedToHugePages(size_t bytes) {
    return (bytes + kHugePage - 1) & ~(kHugePage - 1);
}

} // namespace

namespace largealloc {

void* allocate(size_t bytes) {
#ifdef LUMO_MAP_LARGE_BLOCKS
    if (bytes >= kMappedFrom) {
        const size_t rounded = roundedToHugePages(bytes);
        if (rounded < bytes || rounded > SIZE_MAX - kHugePage)
            throw std::bad_alloc();
        // Map one huge page more than needed and trim both ends so that the
        // block starts on a huge-page boundary.
        const size_t span = rounded + kHugePage;
        void* p = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        const uintptr_t start = reinterpret_cast<uintptr_t>(p);
        const uintptr_t aligned = (start + kHugePage - 1) & ~(kHugePage - 1);
        if (aligned > start)
            munmap(p, aligned - start);
        const uintptr_t end = aligned + rounded;
        if (start + span > end)
            munmap(reinterpret_cast<void*>(end), start + span - end);
        adviseHugePages(reinterpret_cast<void*>(aligned), rounded);
        return reinterpret_cast<void*>(aligned);
    }
#endif
    return ::operator new(bytes);
}

void adviseHugePages(void* p, size_t bytes) {
#ifdef __linux__
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) & ~(kHugePage - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE); // failure is harmless
#else
    (void)p;
    (void)bytes;
#endif
}

void release(void* p, size_t bytes) {
    if (!p)
        return;
#ifdef LUMO_MAP_LARGE_BLOCKS
    if (bytes >= kMappedFrom) {
        munmap(p, roundedToHugePages(bytes));
        return;
    }
#endif
    ::operator delete(p);
}

} // namespace largealloc

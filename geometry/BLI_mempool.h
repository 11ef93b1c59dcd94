#pragma once
// Fixed-size element pool for the half-edge mesh. Elements are carved out of
// chunks that are kept in allocation order; free elements are threaded on a
// singly linked list through their first pointer-sized word. An iterable pool
// (flag kAllowIter) also marks every element through its second word (the
// 32-bit word at byte offset sizeof(void*)): kFreeTag on a freed element,
// kNewTag on a freshly allocated one until its owner overwrites it, so that
// the iterator can walk all chunks and skip the free slots. An element stored
// in an iterable pool therefore must never hold kFreeTag in that word while it
// is alive (pointer-aligned data there never does).
//
// The pool owns its chunks; elements are raw storage of elementSize bytes,
// aligned to 16 bytes at the chunk start and to 8 bytes within it.

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace kvo {

class BLI_mempool {
public:
    enum Flags : unsigned { kAllowIter = 1u << 2 };
    static constexpr uint32_t kFreeTag = 0x65657266u; // the bytes of "free"
    static constexpr uint32_t kNewTag = 0x7FFFFFFFu;

    // elementSize is raised to at least 16 bytes and to a multiple of 8;
    // perChunk of 0 counts as 1. initialCount / perChunk + 1 chunks are
    // allocated at once, so the first initialCount allocations need no further
    // chunk; the first is threaded on the free list, each further one when
    // the list runs dry (reserved chunks count as allocated, not as listed).
    // flags: kAllowIter or 0.
    BLI_mempool(size_t elementSize, size_t initialCount, size_t perChunk, unsigned flags);
    ~BLI_mempool();
    BLI_mempool(const BLI_mempool&) = delete;
    BLI_mempool& operator=(const BLI_mempool&) = delete;

    // One element of elementSize bytes, contents undefined except for the
    // kNewTag word in iterable pools; nullptr when memory runs out.
    void* alloc();
    // alloc() with every byte zeroed.
    void* calloc();
    // Returns an element obtained from alloc() of this pool; nullptr is
    // ignored. When no element is in use any more, all chunks but the first
    // are released.
    void free(void* element);
    // Releases every chunk; the pool is empty and allocates afresh on demand.
    void destroy();

    // Walks the used elements chunk by chunk, in address order within a chunk.
    // Valid while the pool neither allocates nor frees.
    class Iter {
    public:
        // The next used element, nullptr at the end.
        void* step();

    private:
        friend class BLI_mempool;
        const BLI_mempool* m_pool = nullptr;
        const void* m_chunk = nullptr;
        size_t m_slot = 0;
    };
    // A new iterator at the first element. A pool made without kAllowIter
    // reports "kvo::BLI_mempool_iternew: Error! you can't iterate over this
    // mempool!" on the error stream and hands out an iterator that yields
    // nothing.
    Iter iternew() const;

    // Range over the used elements seen as T*, for range-for loops. The pool
    // must not allocate or free while a walk is under way (collect first).
    template <class T>
    class Range {
    public:
        class It {
        public:
            explicit It(Iter it) : m_it(it), m_cur(static_cast<T*>(m_it.step())) {}
            It() = default;
            T* operator*() const { return m_cur; }
            It& operator++() {
                m_cur = static_cast<T*>(m_it.step());
                return *this;
            }
            bool operator!=(const It& o) const { return m_cur != o.m_cur; }

        private:
            Iter m_it;
            T* m_cur = nullptr;
        };
        explicit Range(const BLI_mempool* pool) : m_pool(pool) {}
        It begin() const { return m_pool ? It(m_pool->iternew()) : It(); }
        It end() const { return It(); }
        // Every element, in walk order (reserve: expected count).
        std::vector<T*> list(size_t reserve = 0) const {
            std::vector<T*> out;
            out.reserve(reserve);
            for (T* e : *this)
                out.push_back(e);
            return out;
        }

    private:
        const BLI_mempool* m_pool;
    };
    template <class T>
    Range<T> range() const { return Range<T>(this); }

    size_t elementSize() const { return m_esize; }
    size_t perChunk() const { return m_pchunk; }
    size_t chunkSize() const { return m_csize; }
    unsigned flags() const { return m_flags; }
    size_t totalAllocated() const { return m_totalloc; }
    size_t totalUsed() const { return m_totused; }
    size_t chunkCount() const;
    // Bytes obtained from the allocator for chunks (headers included).
    size_t chunkBytes() const;
    // Number of elements on the free list (walks it); reserved chunks not yet
    // threaded are not counted.
    size_t freeListLength() const;
    // Every element on the free list, in list order.
    std::vector<const void*> freeElements() const;
    // [begin, end) byte range of every chunk's element area, in chunk order.
    std::vector<std::pair<const char*, const char*>> chunkRanges() const;

private:
    struct Chunk;
    Chunk* newChunk();
    void threadChunk(Chunk* chunk);
    char* slot(const Chunk* chunk, size_t i) const;
    bool iterable() const { return (m_flags & kAllowIter) != 0; }
    void setTag(void* element, uint32_t tag) const;

    Chunk* m_first = nullptr;
    Chunk* m_last = nullptr;
    Chunk* m_unthreaded = nullptr; // first reserved chunk not yet on the free list; the rest follow it
    size_t m_esize;
    size_t m_csize;
    size_t m_pchunk;
    unsigned m_flags;
    void* m_free = nullptr;
    size_t m_totalloc = 0;
    size_t m_totused = 0;
};

} // namespace kvo

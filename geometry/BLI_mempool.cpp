#include "geometry/BLI_mempool.h"

#include "base/Trace.h"

#include <cstdlib>
#include <cstring>

namespace kvo {

// Chunk header; the element area follows at kChunkHeader bytes so that the
// first element is 16-byte aligned.
struct BLI_mempool::Chunk {
    Chunk* next;
};

namespace {
constexpr size_t kChunkHeader = 16;
static_assert(sizeof(void*) <= kChunkHeader, "chunk header must hold the link");

constexpr size_t kTagOffset = sizeof(void*);

void*& nextFree(void* element) { return *static_cast<void**>(element); }
} // namespace

BLI_mempool::BLI_mempool(size_t elementSize, size_t initialCount, size_t perChunk, unsigned flags)
    : m_esize(elementSize < 16 ? 16 : (elementSize + 7) / 8 * 8),
      m_pchunk(perChunk == 0 ? 1 : perChunk),
      m_flags(flags) {
    m_csize = m_esize * m_pchunk;
    const size_t chunks = initialCount / m_pchunk + 1;
    for (size_t i = 0; i < chunks; ++i)
        if (!newChunk())
            break;
    // Only the first chunk goes on the free list now; each reserved chunk is
    // threaded when the list runs dry, right before its elements are used,
    // so a large pool is not walked twice through memory.
    if (m_first) {
        threadChunk(m_first);
        m_unthreaded = m_first->next;
    }
}

BLI_mempool::~BLI_mempool() { destroy(); }

char* BLI_mempool::slot(const Chunk* chunk, size_t i) const {
    return const_cast<char*>(reinterpret_cast<const char*>(chunk)) + kChunkHeader + i * m_esize;
}

void BLI_mempool::setTag(void* element, uint32_t tag) const {
    std::memcpy(static_cast<char*>(element) + kTagOffset, &tag, sizeof tag);
}

// Allocates a chunk and appends it to the chunk list; its elements are not yet
// on the free list.
BLI_mempool::Chunk* BLI_mempool::newChunk() {
    Chunk* c = static_cast<Chunk*>(std::malloc(kChunkHeader + m_csize));
    if (!c)
        return nullptr;
    c->next = nullptr;
    if (m_last)
        m_last->next = c;
    else
        m_first = c;
    m_last = c;
    m_totalloc += m_pchunk;
    return c;
}

// Puts every element of the chunk on the free list, in address order, ahead of
// whatever the list held, so allocation proceeds through the chunk in order.
void BLI_mempool::threadChunk(Chunk* chunk) {
    void* rest = m_free;
    for (size_t i = m_pchunk; i-- > 0;) {
        char* e = slot(chunk, i);
        nextFree(e) = rest;
        if (iterable())
            setTag(e, kFreeTag);
        rest = e;
    }
    m_free = rest;
}

void* BLI_mempool::alloc() {
    if (!m_free) {
        // The next reserved chunk, else a new one behind all others: either
        // way allocation order stays chunk order.
        Chunk* c = m_unthreaded;
        if (c)
            m_unthreaded = c->next;
        else if (!(c = newChunk()))
            return nullptr;
        threadChunk(c);
    }
    void* e = m_free;
    m_free = nextFree(e);
    ++m_totused;
    if (iterable())
        setTag(e, kNewTag);
    return e;
}

void* BLI_mempool::calloc() {
    void* e = alloc();
    if (e)
        std::memset(e, 0, m_esize);
    return e;
}

void BLI_mempool::free(void* element) {
    if (!element || m_totused == 0)
        return;
    if (iterable())
        setTag(element, kFreeTag);
    nextFree(element) = m_free;
    m_free = element;
    --m_totused;
    if (m_totused != 0)
        return;
    // Nothing in use: keep only the first chunk, with a fresh free list.
    Chunk* c = m_first->next;
    while (c) {
        Chunk* next = c->next;
        std::free(c);
        c = next;
    }
    m_first->next = nullptr;
    m_last = m_first;
    m_unthreaded = nullptr;
    m_totalloc = m_pchunk;
    m_free = nullptr;
    threadChunk(m_first);
}

void BLI_mempool::destroy() {
    Chunk* c = m_first;
    while (c) {
        Chunk* next = c->next;
        std::free(c);
        c = next;
    }
    m_first = m_last = m_unthreaded = nullptr;
    m_free = nullptr;
    m_totalloc = m_totused = 0;
}

BLI_mempool::Iter BLI_mempool::iternew() const {
    Iter it;
    if (!iterable()) {
        Trace::err("%s: Error! you can't iterate over this mempool!\n", "kvo::BLI_mempool_iternew");
        return it;
    }
    it.m_pool = this;
    it.m_chunk = m_first;
    it.m_slot = 0;
    return it;
}

void* BLI_mempool::Iter::step() {
    while (m_chunk) {
        const Chunk* c = static_cast<const Chunk*>(m_chunk);
        while (m_slot < m_pool->m_pchunk) {
            char* e = m_pool->slot(c, m_slot++);
            uint32_t tag;
            std::memcpy(&tag, e + kTagOffset, sizeof tag);
            if (tag != kFreeTag)
                return e;
        }
        m_chunk = c->next == m_pool->m_unthreaded ? nullptr : c->next; // reserved chunks hold nothing
        m_slot = 0;
    }
    return nullptr;
}

size_t BLI_mempool::chunkCount() const {
    size_t n = 0;
    for (const Chunk* c = m_first; c; c = c->next)
        ++n;
    return n;
}

size_t BLI_mempool::chunkBytes() const { return chunkCount() * (kChunkHeader + m_csize); }

size_t BLI_mempool::freeListLength() const {
    size_t n = 0;
    for (void* e = m_free; e; e = nextFree(e))
        ++n;
    return n;
}

std::vector<const void*> BLI_mempool::freeElements() const {
    std::vector<const void*> out;
    for (void* e = m_free; e; e = nextFree(e))
        out.push_back(e);
    return out;
}

std::vector<std::pair<const char*, const char*>> BLI_mempool::chunkRanges() const {
    std::vector<std::pair<const char*, const char*>> out;
    for (const Chunk* c = m_first; c; c = c->next) {
        const char* b = slot(c, 0);
        out.emplace_back(b, b + m_csize);
    }
    return out;
}

} // namespace kvo

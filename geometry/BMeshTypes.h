#pragma once
// Element records of the half-edge mesh (kvo::BMesh) and the helpers that
// walk their cycles:
//  - disk cycle: the edges at a vertex (each edge sits in the disks of both
//    of its ends, through v1_disk and v2_disk);
//  - radial cycle: the loops (face corners) that use an edge;
//  - loop cycle: the corners of a face, in corner order.
// Loop l of a face runs from l->v to l->next->v along l->e.
//
// Every record starts with BMHeader. The first pointer field follows the
// header directly, so the word at byte offset 8 (the pool's tag word) of a
// live element always holds the low half of an aligned pointer and can never
// equal the pool's free tag.
//
// The walkers below visit a cycle once, starting at the given element; the
// cycle must not change during the walk (collect the elements first when
// killing them).

#include <cstddef>
#include <cstdint>

namespace kvo {

struct BMVert;
struct BMEdge;
struct BMLoop;
struct BMFace;

enum BMType : uint8_t { BM_VERT = 1, BM_EDGE = 2, BM_LOOP = 4, BM_FACE = 8 };

struct BMHeader {
    int32_t index = -1; // -1 on creation; numbering set by the owner
    uint8_t htype = 0;  // BMType of the record
    uint8_t select = 0; // nonzero = selected
    uint16_t scratch = 0; // marks of a running mesh operation; 0 between operations
};

struct BMVert {
    BMHeader head;
    BMEdge* e;      // one edge of the disk cycle, null when the vertex has none
    float co[3];    // position
    float no[3];    // normal
};

struct BMDiskLink {
    BMEdge* next;
    BMEdge* prev;
};

struct BMEdge {
    BMHeader head;
    BMDiskLink v1_disk; // links of the disk cycle around v1
    BMDiskLink v2_disk; // links of the disk cycle around v2
    BMLoop* l;          // one loop of the radial cycle, null when no face uses the edge
    BMVert* v1;
    BMVert* v2;
};

struct BMLoop {
    BMHeader head;
    BMLoop* radial_next; // the other loops on the same edge
    BMLoop* radial_prev;
    BMLoop* next;        // next corner of the same face
    BMLoop* prev;
    BMVert* v;
    BMEdge* e;
    BMFace* f;
};

struct BMFace {
    BMHeader head;
    BMLoop* l_first; // first corner
    int32_t len;     // number of corners
    float no[3];     // unit normal (see BMesh::faceNormal)
};

static_assert(sizeof(void*) == 8 && offsetof(BMVert, e) == 8 && offsetof(BMEdge, v1_disk) == 8 &&
                  offsetof(BMLoop, radial_next) == 8 && offsetof(BMFace, l_first) == 8,
              "a pointer must follow the header so that the pool's tag word never reads as free");

// ---- Single steps ----

inline bool edgeHasVert(const BMEdge* e, const BMVert* v) { return e->v1 == v || e->v2 == v; }
inline BMVert* edgeOtherVert(const BMEdge* e, const BMVert* v) { return e->v1 == v ? e->v2 : e->v1; }
// The disk links of e around its end v (v must be an end of e).
inline BMDiskLink* diskLink(BMEdge* e, const BMVert* v) { return e->v1 == v ? &e->v1_disk : &e->v2_disk; }
inline const BMDiskLink* diskLink(const BMEdge* e, const BMVert* v) {
    return e->v1 == v ? &e->v1_disk : &e->v2_disk;
}
inline BMEdge* diskNext(const BMEdge* e, const BMVert* v) { return diskLink(e, v)->next; }
inline BMEdge* diskPrev(const BMEdge* e, const BMVert* v) { return diskLink(e, v)->prev; }

// ---- Cycle walkers for range-for ----

// Walks a circular list from `first` with Step::next(element, context) until
// it comes back to `first`. A null first gives an empty walk.
template <class T, class Ctx, class Step>
class CycleRange {
public:
    class It {
    public:
        It(T* first, T* cur, Ctx ctx) : m_first(first), m_cur(cur), m_ctx(ctx) {}
        T* operator*() const { return m_cur; }
        It& operator++() {
            m_cur = Step::next(m_cur, m_ctx);
            if (m_cur == m_first)
                m_cur = nullptr;
            return *this;
        }
        bool operator!=(const It& o) const { return m_cur != o.m_cur; }

    private:
        T* m_first;
        T* m_cur;
        Ctx m_ctx;
    };
    CycleRange(T* first, Ctx ctx) : m_first(first), m_ctx(ctx) {}
    It begin() const { return It(m_first, m_first, m_ctx); }
    It end() const { return It(m_first, nullptr, m_ctx); }

private:
    T* m_first;
    Ctx m_ctx;
};

struct DiskStep {
    static BMEdge* next(BMEdge* e, const BMVert* v) { return diskNext(e, v); }
};
struct LoopStep {
    static BMLoop* next(BMLoop* l, std::nullptr_t) { return l->next; }
};
struct RadialStep {
    static BMLoop* next(BMLoop* l, std::nullptr_t) { return l->radial_next; }
};

// The edges around v.
inline CycleRange<BMEdge, const BMVert*, DiskStep> diskEdges(const BMVert* v) { return {v ? v->e : nullptr, v}; }
// The corners of f in order, starting at its first corner.
inline CycleRange<BMLoop, std::nullptr_t, LoopStep> faceLoops(const BMFace* f) {
    return {f ? f->l_first : nullptr, nullptr};
}
// The corners of f in order, starting at l.
inline CycleRange<BMLoop, std::nullptr_t, LoopStep> loopsFrom(BMLoop* l) { return {l, nullptr}; }
// The loops that use e.
inline CycleRange<BMLoop, std::nullptr_t, RadialStep> radialLoops(const BMEdge* e) {
    return {e ? e->l : nullptr, nullptr};
}

// Calls fn(loop) for every face corner at v: the loop of each face around v
// that starts at v (once per face, since faces never repeat a vertex).
template <class Fn>
void forEachLoopAtVert(const BMVert* v, Fn fn) {
    for (BMEdge* e : diskEdges(v))
        for (BMLoop* l : radialLoops(e))
            if (l->v == v)
                fn(l);
}

} // namespace kvo

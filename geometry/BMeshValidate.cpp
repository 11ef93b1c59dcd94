// Topology check of the half-edge mesh: every cycle, every back-link, every
// count, and that no reachable element is freed or foreign.

#include "geometry/BMesh.h"

#include <algorithm>
#include <unordered_set>

namespace kvo {

namespace {

// Answers whether a pointer names a live element of one pool: inside one of
// its chunks, on an element boundary, and not on the free list.
class PoolMembership {
public:
    explicit PoolMembership(const BLI_mempool* pool) {
        if (!pool)
            return;
        m_esize = pool->elementSize();
        m_ranges = pool->chunkRanges();
        std::sort(m_ranges.begin(), m_ranges.end());
        for (const void* p : pool->freeElements())
            m_free.insert(p);
    }
    bool live(const void* p) const {
        if (!p || m_ranges.empty())
            return false;
        const char* c = static_cast<const char*>(p);
        auto it = std::upper_bound(m_ranges.begin(), m_ranges.end(), std::make_pair(c, c),
                                   [](const auto& a, const auto& b) { return a.first < b.first; });
        if (it == m_ranges.begin())
            return false;
        --it;
        if (c >= it->second || size_t(c - it->first) % m_esize != 0)
            return false;
        return m_free.count(p) == 0;
    }

private:
    size_t m_esize = 0;
    std::vector<std::pair<const char*, const char*>> m_ranges;
    std::unordered_set<const void*> m_free;
};

class Validator {
public:
    Validator(const BMesh& bm)
        : m_bm(bm), m_v(bm.vertPool()), m_e(bm.edgePool()), m_l(bm.loopPool()), m_f(bm.facePool()) {}

    bool run() {
        return checkPools() && checkVerts() && checkEdges() && checkFaces() && checkTotals();
    }
    const std::string& error() const { return m_error; }

private:
    bool fail(const std::string& what) {
        if (m_error.empty())
            m_error = what;
        return false;
    }

    static size_t used(const BLI_mempool* p) { return p ? p->totalUsed() : 0; }

    bool checkPools() {
        const bool any = m_bm.vertPool() || m_bm.edgePool() || m_bm.loopPool() || m_bm.facePool();
        const bool all = m_bm.vertPool() && m_bm.edgePool() && m_bm.loopPool() && m_bm.facePool();
        if (any && !all)
            return fail("some pools exist and others do not");
        if (m_bm.totVert != used(m_bm.vertPool()) || m_bm.totEdge != used(m_bm.edgePool()) ||
            m_bm.totLoop != used(m_bm.loopPool()) || m_bm.totFace != used(m_bm.facePool()))
            return fail("element counts differ from the pools' used counts");
        return true;
    }

    bool checkVerts() {
        size_t n = 0;
        for (const BMVert* v : m_bm.verts()) {
            ++n;
            if (v->head.htype != BM_VERT || v->head.scratch)
                return fail("vertex with a wrong type tag or a leftover scratch mark");
            if (v->e && !checkDisk(v))
                return false;
        }
        if (n != m_bm.totVert)
            return fail("vertex iteration count differs from totVert");
        return true;
    }

    bool checkDisk(const BMVert* v) {
        if (!m_e.live(v->e) || !edgeHasVert(v->e, v))
            return fail("vertex points at an edge that is dead or not its own");
        size_t steps = 0;
        const BMEdge* e = v->e;
        do {
            if (++steps > m_bm.totEdge)
                return fail("disk cycle does not close");
            const BMEdge* next = diskNext(e, v);
            if (!m_e.live(next) || !edgeHasVert(next, v))
                return fail("disk cycle reaches a dead or foreign edge");
            if (diskPrev(next, v) != e)
                return fail("disk cycle links disagree (next/prev)");
            e = next;
        } while (e != v->e);
        m_diskSum += steps;
        return true;
    }

    bool checkEdges() {
        size_t n = 0;
        for (const BMEdge* e : m_bm.edges()) {
            ++n;
            if (e->head.htype != BM_EDGE || e->head.scratch)
                return fail("edge with a wrong type tag or a leftover scratch mark");
            if (!m_v.live(e->v1) || !m_v.live(e->v2) || e->v1 == e->v2)
                return fail("edge ends dead or equal");
            if (!inDiskOnce(e, e->v1) || !inDiskOnce(e, e->v2))
                return false;
            if (e->l && !checkRadial(e))
                return false;
        }
        if (n != m_bm.totEdge)
            return fail("edge iteration count differs from totEdge");
        return true;
    }

    // e is in the disk of v, and no other edge of that disk joins the same ends.
    bool inDiskOnce(const BMEdge* e, const BMVert* v) {
        bool found = false;
        const BMVert* other = edgeOtherVert(e, v);
        for (const BMEdge* d : diskEdges(v)) {
            if (d == e)
                found = true;
            else if (edgeOtherVert(d, v) == other)
                return fail("two edges join the same vertices");
        }
        return found ? true : fail("edge missing from the disk cycle of its end");
    }

    bool checkRadial(const BMEdge* e) {
        size_t steps = 0;
        const BMLoop* l = e->l;
        do {
            if (++steps > m_bm.totLoop)
                return fail("radial cycle does not close");
            if (!m_l.live(l) || l->e != e)
                return fail("radial cycle reaches a dead loop or one of another edge");
            if (!m_l.live(l->radial_next) || l->radial_next->radial_prev != l)
                return fail("radial cycle links disagree (next/prev)");
            if (!m_f.live(l->f))
                return fail("loop of a dead face");
            l = l->radial_next;
        } while (l != e->l);
        m_radialSum += steps;
        return true;
    }

    bool checkFaces() {
        size_t n = 0;
        std::vector<const BMVert*> corners;
        for (const BMFace* f : m_bm.faces()) {
            ++n;
            if (f->head.htype != BM_FACE || f->head.scratch || f->len < 3)
                return fail("face with a wrong type tag, a leftover scratch mark or fewer than 3 corners");
            if (!m_l.live(f->l_first))
                return fail("face points at a dead loop");
            corners.clear();
            const BMLoop* l = f->l_first;
            do {
                if (corners.size() >= size_t(f->len))
                    return fail("loop cycle longer than the face's len");
                if (!checkCorner(f, l))
                    return false;
                corners.push_back(l->v);
                l = l->next;
            } while (l != f->l_first);
            if (corners.size() != size_t(f->len))
                return fail("loop cycle shorter than the face's len");
            std::sort(corners.begin(), corners.end());
            if (std::adjacent_find(corners.begin(), corners.end()) != corners.end())
                return fail("face visits a vertex twice");
            m_loopSum += corners.size();
        }
        if (n != m_bm.totFace)
            return fail("face iteration count differs from totFace");
        return true;
    }

    bool checkCorner(const BMFace* f, const BMLoop* l) {
        if (!m_l.live(l) || l->head.htype != BM_LOOP || l->f != f)
            return fail("loop cycle reaches a dead loop or one of another face");
        if (!m_l.live(l->next) || l->next->prev != l)
            return fail("loop cycle links disagree (next/prev)");
        if (!m_v.live(l->v) || !m_e.live(l->e))
            return fail("loop with a dead vertex or edge");
        if (!edgeHasVert(l->e, l->v) || edgeOtherVert(l->e, l->v) != l->next->v)
            return fail("loop's edge does not join its vertex to the next corner's");
        for (const BMLoop* r : radialLoops(l->e))
            if (r == l)
                return true;
        return fail("loop missing from the radial cycle of its edge");
    }

    bool checkTotals() {
        if (m_diskSum != 2 * size_t(m_bm.totEdge))
            return fail("disk cycles do not hold every edge twice");
        if (m_loopSum != m_bm.totLoop || m_radialSum != m_bm.totLoop)
            return fail("loop count differs from what faces and radial cycles reach");
        return true;
    }

    const BMesh& m_bm;
    PoolMembership m_v, m_e, m_l, m_f;
    size_t m_diskSum = 0, m_radialSum = 0, m_loopSum = 0;
    std::string m_error;
};

} // namespace

bool BMesh::validate(std::string* error) const {
    Validator v(*this);
    const bool ok = v.run();
    if (error)
        *error = ok ? std::string() : v.error();
    return ok;
}

} // namespace kvo

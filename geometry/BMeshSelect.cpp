// Selection operations of the half-edge mesh.

#include "geometry/BMesh.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <queue>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kvo {

namespace {

bool allVertsSelected(const BMFace* f) {
    for (const BMLoop* l : faceLoops(f))
        if (!l->v->head.select)
            return false;
    return true;
}

// Each face around v becomes selected exactly when all its vertices are.
void updateFacesAround(BMVert* v) {
    if (!v->head.select) {
        forEachLoopAtVert(v, [](BMLoop* l) { l->f->head.select = 0; });
        return;
    }
    forEachLoopAtVert(v, [](BMLoop* l) { l->f->head.select = allVertsSelected(l->f) ? 1 : 0; });
}

double edgeLength(const BMEdge* e) {
    const double dx = double(e->v1->co[0]) - e->v2->co[0];
    const double dy = double(e->v1->co[1]) - e->v2->co[1];
    const double dz = double(e->v1->co[2]) - e->v2->co[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

} // namespace

void BMesh::selectVert(BMVert* v, bool select) {
    if (!v)
        return;
    v->head.select = select ? 1 : 0;
    updateFacesAround(v);
}

void BMesh::selectAll(unsigned types, bool select) {
    const uint8_t state = select ? 1 : 0;
    if (types & BM_VERT) {
        // selectVert on every vertex leaves every face in the same state;
        // two passes in pool order get there without walking around vertices.
        for (BMVert* v : verts())
            v->head.select = state;
        for (BMFace* f : faces())
            f->head.select = state;
    }
    if (types & BM_EDGE)
        for (BMEdge* e : edges())
            e->head.select = state;
    if (types & BM_FACE)
        for (BMFace* f : faces())
            f->head.select = state;
}

void BMesh::invertSelection(unsigned types) {
    if (types & BM_VERT) {
        // As selectVert(v, !v.select) for every vertex: every face then
        // follows its corners.
        for (BMVert* v : verts())
            v->head.select = v->head.select ? 0 : 1;
        for (BMFace* f : faces())
            f->head.select = allVertsSelected(f) ? 1 : 0;
    }
    if (types & BM_EDGE)
        for (BMEdge* e : edges())
            e->head.select = e->head.select ? 0 : 1;
    if (types & BM_FACE)
        for (BMFace* f : faces())
            f->head.select = f->head.select ? 0 : 1;
}

void BMesh::selectNeighbours(BMVert* v, bool select) {
    if (!v)
        return;
    for (BMEdge* e : diskEdges(v))
        selectVert(edgeOtherVert(e, v), select);
}

void BMesh::selectLinked(BMVert* v, bool select) {
    if (!v)
        return;
    // The flood sets the vertices only; the selection state itself marks
    // visited vertices (only vertices in the other state are entered), and
    // the scratch mark remembers which faces must follow. The faces are
    // brought up to date afterwards, which leaves them exactly as a
    // selectVert per reached vertex would, with far fewer visits.
    const uint8_t want = select ? 1 : 0;
    std::vector<BMVert*> reached; // doubles as the breadth-first queue
    v->head.select = want;
    v->head.scratch = 1;
    reached.push_back(v);
    for (size_t next = 0; next < reached.size(); ++next) {
        BMVert* cur = reached[next];
        for (BMEdge* e : diskEdges(cur)) {
            BMVert* n = edgeOtherVert(e, cur);
            if ((n->head.select ? 1 : 0) == want)
                continue;
            n->head.select = want;
            n->head.scratch = 1;
            reached.push_back(n);
        }
    }
    if (reached.size() * 8 >= totVert) {
        // A large flood: one pass over the faces in pool order, each face
        // checked once, is far kinder to the caches than walking around
        // every reached vertex.
        for (BMFace* f : faces()) {
            bool touched = false, all = true;
            for (const BMLoop* l : faceLoops(f)) {
                touched = touched || l->v->head.scratch;
                all = all && l->v->head.select;
            }
            if (touched)
                f->head.select = all ? 1 : 0;
        }
        for (BMVert* w : verts())
            w->head.scratch = 0;
        return;
    }
    for (BMVert* w : reached) {
        w->head.scratch = 0;
        updateFacesAround(w);
    }
}

int BMesh::selectShortestPath(BMVert* a, BMVert* b, bool select) {
    if (!a || !b)
        return 0;
    // Among equal distances the vertex of lower index (head.index, then
    // pool order) is settled first, so a mesh gives the same path on every
    // run and whatever its memory layout; an order by address would not.
    std::vector<BMVert*> vertex;
    for (BMVert* v : verts())
        vertex.push_back(v);
    std::stable_sort(vertex.begin(), vertex.end(), [](const BMVert* x, const BMVert* y) {
        return uint32_t(x->head.index) < uint32_t(y->head.index); // unnumbered (-1) last
    });
    std::unordered_map<const BMVert*, uint32_t> number;
    for (uint32_t i = 0; i < vertex.size(); ++i)
        number.emplace(vertex[i], i);
    const auto ia = number.find(a), ib = number.find(b);
    if (ia == number.end() || ib == number.end())
        return 0;
    struct State {
        double dist = 0;
        uint32_t prev = UINT32_MAX;
        bool seen = false, done = false;
    };
    std::vector<State> state(vertex.size());
    using Entry = std::pair<double, uint32_t>;
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> heap;
    state[ia->second] = {0.0, UINT32_MAX, true, false};
    heap.push({0.0, ia->second});
    bool reached = false;
    while (!heap.empty()) {
        const auto [d, i] = heap.top();
        heap.pop();
        State& si = state[i];
        if (si.done || d > si.dist)
            continue;
        si.done = true;
        if (i == ib->second) {
            reached = true;
            break;
        }
        for (BMEdge* e : diskEdges(vertex[i])) {
            const uint32_t n = number.at(edgeOtherVert(e, vertex[i]));
            const double nd = d + edgeLength(e);
            State& sn = state[n];
            if (!sn.seen || (!sn.done && nd < sn.dist)) {
                sn = {nd, i, true, false};
                heap.push({nd, n});
            }
        }
    }
    if (!reached)
        return 0;
    int count = 0;
    for (uint32_t i = ib->second; i != UINT32_MAX; i = state[i].prev) {
        selectVert(vertex[i], select);
        ++count;
    }
    return count;
}

} // namespace kvo

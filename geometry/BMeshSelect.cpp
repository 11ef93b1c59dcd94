// Selection operations of the half-edge mesh.

#include "geometry/BMesh.h"

#include <cmath>
#include <deque>
#include <functional>
#include <queue>
#include <utility>

namespace kvo {

namespace {

bool allVertsSelected(const BMFace* f) {
    for (const BMLoop* l : faceLoops(f))
        if (!l->v->head.select)
            return false;
    return true;
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
    forEachLoopAtVert(v, [](BMLoop* l) { l->f->head.select = allVertsSelected(l->f) ? 1 : 0; });
}

void BMesh::selectAll(unsigned types, bool select) {
    if (types & BM_VERT)
        for (BMVert* v : verts())
            selectVert(v, select);
    if (types & BM_EDGE)
        for (BMEdge* e : edges())
            e->head.select = select ? 1 : 0;
    if (types & BM_FACE)
        for (BMFace* f : faces())
            f->head.select = select ? 1 : 0;
}

void BMesh::invertSelection(unsigned types) {
    if (types & BM_VERT)
        for (BMVert* v : verts())
            selectVert(v, !v->head.select);
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
    // The selection state itself marks visited vertices: a vertex is set to
    // `select` when queued and only vertices in the other state are entered.
    std::deque<BMVert*> queue;
    selectVert(v, select);
    queue.push_back(v);
    const uint8_t want = select ? 1 : 0;
    while (!queue.empty()) {
        BMVert* cur = queue.front();
        queue.pop_front();
        for (BMEdge* e : diskEdges(cur)) {
            BMVert* n = edgeOtherVert(e, cur);
            if ((n->head.select ? 1 : 0) == want)
                continue;
            selectVert(n, select);
            queue.push_back(n);
        }
    }
}

int BMesh::selectShortestPath(BMVert* a, BMVert* b, bool select) {
    if (!a || !b)
        return 0;
    struct State {
        double dist;
        BMVert* prev;
        bool done;
    };
    std::unordered_map<BMVert*, State> state;
    using Entry = std::pair<double, BMVert*>;
    // Ties are broken by address only to keep the heap ordering total; any
    // shortest path is acceptable.
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> heap;
    state[a] = {0.0, nullptr, false};
    heap.push({0.0, a});
    bool reached = false;
    while (!heap.empty()) {
        const auto [d, v] = heap.top();
        heap.pop();
        State& sv = state[v];
        if (sv.done || d > sv.dist)
            continue;
        sv.done = true;
        if (v == b) {
            reached = true;
            break;
        }
        for (BMEdge* e : diskEdges(v)) {
            BMVert* n = edgeOtherVert(e, v);
            const double nd = d + edgeLength(e);
            auto it = state.find(n);
            if (it == state.end()) {
                state[n] = {nd, v, false};
                heap.push({nd, n});
            } else if (!it->second.done && nd < it->second.dist) {
                it->second = {nd, v, false};
                heap.push({nd, n});
            }
        }
    }
    if (!reached)
        return 0;
    int count = 0;
    for (BMVert* v = b; v; v = state[v].prev) {
        selectVert(v, select);
        ++count;
    }
    return count;
}

} // namespace kvo

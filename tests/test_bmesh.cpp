// Half-edge mesh: construction, cycles, kills, copy, validation, selection,
// triangulation and delete, each followed by the topology validator.

#include "BMeshTestMeshes.h"
#include "TestSupport.h"

#include "geometry/BMesh.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <set>

using namespace kvo;
using bmesh_test::Polys;
using testing_support::TraceCapture;

namespace {

#define EXPECT_VALID(bm)                          \
    do {                                          \
        std::string why_;                         \
        EXPECT_TRUE((bm).validate(&why_)) << why_; \
    } while (0)

size_t count(const BMesh& bm, unsigned type) {
    size_t n = 0;
    if (type == BM_VERT)
        for (BMVert* v : bm.verts())
            n += v->head.select ? 1 : 0;
    if (type == BM_FACE)
        for (BMFace* f : bm.faces())
            n += f->head.select ? 1 : 0;
    return n;
}

template <class Range>
size_t lengthOf(const Range& r) {
    size_t n = 0;
    for (auto* e : r) {
        (void)e;
        ++n;
    }
    return n;
}

} // namespace

// ---- Construction and cycles ----

TEST(BMeshBuild, edgeCreateReturnsTheExistingEdgeEitherWay) {
    BMesh bm;
    const float a[3] = {0, 0, 0}, b[3] = {1, 0, 0};
    BMVert* va = bm.createVert(a);
    BMVert* vb = bm.createVert(b);
    BMEdge* e = bm.createEdge(va, vb);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(bm.createEdge(va, vb), e);
    EXPECT_EQ(bm.createEdge(vb, va), e);
    EXPECT_EQ(bm.totEdge, 1u);
    EXPECT_EQ(e->head.index, -1);
    EXPECT_EQ(e->head.htype, BM_EDGE);
    EXPECT_EQ(bm.createEdge(va, va), nullptr);
    EXPECT_EQ(bm.createEdge(va, nullptr), nullptr);
    EXPECT_EQ(bm.totEdge, 1u);
    EXPECT_VALID(bm);
}

TEST(BMeshBuild, refusesFacesThatBreakTheInvariants) {
    BMesh bm;
    const float co[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    BMVert* v[4];
    for (int i = 0; i < 4; ++i)
        v[i] = bm.createVert(co[i]);
    BMEdge* e01 = bm.createEdge(v[0], v[1]);
    BMEdge* e12 = bm.createEdge(v[1], v[2]);
    BMEdge* e20 = bm.createEdge(v[2], v[0]);
    BMEdge* e23 = bm.createEdge(v[2], v[3]);
    struct Case {
        const char* what;
        std::vector<BMVert*> verts;
        std::vector<BMEdge*> edges;
    } cases[] = {
        {"two corners", {v[0], v[1]}, {e01, e01}},
        {"repeated vertex", {v[0], v[1], v[0]}, {e01, e01, e01}},
        {"edge of other corners", {v[0], v[1], v[2]}, {e01, e23, e20}},
        {"null edge", {v[0], v[1], v[2]}, {e01, nullptr, e20}},
        {"null vertex", {v[0], nullptr, v[2]}, {e01, e12, e20}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(bm.createFace(c.verts.data(), c.edges.data(), int(c.verts.size())), nullptr) << c.what;
        EXPECT_EQ(bm.totFace, 0u) << c.what;
        EXPECT_EQ(bm.totLoop, 0u) << c.what;
    }
    BMVert* rep[4] = {v[0], v[1], v[2], v[1]};
    EXPECT_EQ(bm.createFaceFromVerts(rep, 4), nullptr);
    EXPECT_EQ(bm.totEdge, 4u) << "a refused face leaves no edge behind";
    BMVert* tri[3] = {v[0], v[1], v[2]};
    BMFace* f = bm.createFaceFromVerts(tri, 3);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->len, 3);
    EXPECT_EQ(f->head.htype, BM_FACE);
    EXPECT_EQ(bm.totLoop, 3u);
    EXPECT_VALID(bm);
}

TEST(BMeshBuild, gridHasTheExpectedCycles) {
    BMesh bm;
    const std::vector<BMVert*> v = bmesh_test::build(bm, bmesh_test::grid(3, 2));
    EXPECT_EQ(bm.totVert, 12u);
    EXPECT_EQ(bm.totEdge, 17u);
    EXPECT_EQ(bm.totFace, 6u);
    EXPECT_EQ(bm.totLoop, 24u);
    EXPECT_VALID(bm);
    // Vertex (1, 1) is inside: 4 edges, 4 faces; a corner has 2 edges, 1 face.
    EXPECT_EQ(lengthOf(diskEdges(v[5])), 4u);
    EXPECT_EQ(lengthOf(diskEdges(v[0])), 2u);
    size_t faces = 0;
    forEachLoopAtVert(v[5], [&](BMLoop*) { ++faces; });
    EXPECT_EQ(faces, 4u);
    size_t inner = 0, border = 0;
    for (BMEdge* e : bm.edges()) {
        const size_t r = lengthOf(radialLoops(e));
        (r == 2 ? inner : border) += 1;
        EXPECT_TRUE(r == 1 || r == 2);
    }
    EXPECT_EQ(inner, 7u);
    EXPECT_EQ(border, 10u);
    for (BMFace* f : bm.faces()) {
        EXPECT_EQ(lengthOf(faceLoops(f)), 4u);
        EXPECT_NEAR(f->no[2], 1.0f, 1e-6f);
    }
}

TEST(BMeshBuild, faceNormalByCornerCount) {
    BMesh bm;
    struct Case {
        std::vector<std::array<float, 3>> co;
        math3d::Vec3 want;
    } cases[] = {
        {{{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}, {0, 0, 1}},
        {{{0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}}, {1, 0, 0}},
        {{{0, 0, 0}, {1, 0, 0}, {2, 0, 1}, {1, 0, 2}, {0, 0, 1}}, {0, -1, 0}},
        {{{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {0, 0, 0}}, // collinear
    };
    for (const Case& c : cases) {
        std::vector<BMVert*> v;
        for (const auto& p : c.co)
            v.push_back(bm.createVert(p.data()));
        BMFace* f = bm.createFaceFromVerts(v.data(), int(v.size()));
        ASSERT_NE(f, nullptr);
        const math3d::Vec3 n = bm.faceNormal(f);
        EXPECT_NEAR(n.x, c.want.x, 1e-6f);
        EXPECT_NEAR(n.y, c.want.y, 1e-6f);
        EXPECT_NEAR(n.z, c.want.z, 1e-6f);
    }
    EXPECT_EQ(bm.faceNormal(nullptr).x, 0.0f);
}

// ---- Kills ----

TEST(BMeshKill, killingRemovesDependentElementsOnly) {
    struct Case {
        const char* what;
        int target; // 0 face, 1 edge, 2 vertex
        uint32_t verts, edges, faces;
    } cases[] = {
        {"face keeps its edges", 0, 9, 12, 3},
        {"inner edge takes its two faces", 1, 9, 11, 2},
        {"centre vertex takes every face", 2, 8, 8, 0},
    };
    for (const Case& c : cases) {
        BMesh bm;
        const std::vector<BMVert*> v = bmesh_test::build(bm, bmesh_test::grid(2, 2));
        BMVert* centre = v[4];
        if (c.target == 0)
            bm.killFace(centre->e->l->f);
        else if (c.target == 1)
            bm.killEdge(bm.createEdge(v[1], centre));
        else
            bm.killVert(centre);
        EXPECT_EQ(bm.totVert, c.verts) << c.what;
        EXPECT_EQ(bm.totEdge, c.edges) << c.what;
        EXPECT_EQ(bm.totFace, c.faces) << c.what;
        EXPECT_EQ(bm.totLoop, c.faces * 4) << c.what;
        EXPECT_VALID(bm);
        for (BMVert* w : bm.verts())
            EXPECT_NE(w->head.htype, 0) << "iterator yielded a freed vertex";
    }
    BMesh bm;
    bm.killFace(nullptr);
    bm.killEdge(nullptr);
    bm.killVert(nullptr);
    EXPECT_VALID(bm);
}

TEST(BMeshKill, killingEverythingReleasesThePoolsToOneChunk) {
    BMesh bm;
    bmesh_test::build(bm, bmesh_test::sphere(24, 48));
    ASSERT_GT(bm.edgePool()->chunkCount(), 1u);
    for (BMVert* v : bm.vertList())
        bm.killVert(v);
    EXPECT_EQ(bm.totVert + bm.totEdge + bm.totLoop + bm.totFace, 0u);
    for (const BLI_mempool* p : {bm.vertPool(), bm.edgePool(), bm.loopPool(), bm.facePool()}) {
        EXPECT_EQ(p->chunkCount(), 1u);
        EXPECT_EQ(p->freeListLength(), p->perChunk());
    }
    EXPECT_VALID(bm);
}

// ---- Life cycle and copy ----

TEST(BMeshLife, clearEmptiesEveryCountAndPool) {
    BMesh bm;
    bmesh_test::build(bm, bmesh_test::grid(2, 2));
    bm.clear();
    EXPECT_EQ(bm.totVert + bm.totEdge + bm.totLoop + bm.totFace, 0u);
    EXPECT_EQ(bm.vertPool(), nullptr);
    EXPECT_EQ(bm.loopPool(), nullptr);
    EXPECT_VALID(bm);
    bm.init(0, 10, 10, 10);
    EXPECT_EQ(bm.vertPool(), nullptr);
    const float p[3] = {1, 2, 3};
    ASSERT_NE(bm.createVert(p), nullptr); // pools appear on demand
    EXPECT_EQ(bm.totVert, 1u);
    EXPECT_VALID(bm);
    EXPECT_EQ(bm.typeId(), 0x10000009u);
}

TEST(BMeshLife, initPreallocatesChunksPerPool) {
    BMesh bm;
    bm.init(1000, 3000, 6000, 2000);
    EXPECT_EQ(bm.vertPool()->chunkCount(), 1000 / 512 + 1u);
    EXPECT_EQ(bm.edgePool()->chunkCount(), 3000 / 1024 + 1u);
    EXPECT_EQ(bm.loopPool()->chunkCount(), 6000 / 2048 + 1u);
    EXPECT_EQ(bm.facePool()->chunkCount(), 2000 / 512 + 1u);
    EXPECT_EQ(bm.loopPool()->flags(), 0u);
    EXPECT_NE(bm.vertPool()->flags() & BLI_mempool::kAllowIter, 0u);
}

TEST(BMeshLife, copyIsDeepAndKeepsOrderSelectionAndIndices) {
    BMesh src;
    const std::vector<BMVert*> v = bmesh_test::build(src, bmesh_test::awkward());
    src.selectVert(v[0], true);
    src.selectVert(v[3], true);
    std::unordered_map<const BMVert*, BMVert*> map;
    BMesh copy;
    copy.copyFrom(src, &map);
    EXPECT_VALID(copy);
    EXPECT_EQ(copy.totVert, src.totVert);
    EXPECT_EQ(copy.totEdge, src.totEdge);
    EXPECT_EQ(copy.totLoop, src.totLoop);
    EXPECT_EQ(copy.totFace, src.totFace);
    const std::vector<BMVert*> a = src.vertList(), b = copy.vertList();
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(map.at(a[i]), b[i]);
        EXPECT_EQ(b[i]->head.index, a[i]->head.index);
        EXPECT_EQ(b[i]->head.select, a[i]->head.select);
        EXPECT_EQ(std::memcmp(b[i]->co, a[i]->co, sizeof a[i]->co), 0);
        EXPECT_EQ(lengthOf(diskEdges(b[i])), lengthOf(diskEdges(a[i])));
    }
    const std::vector<BMFace*> fa = src.faceList(), fb = copy.faceList();
    for (size_t i = 0; i < fa.size(); ++i) {
        EXPECT_EQ(fb[i]->head.index, fa[i]->head.index);
        BMLoop* lb = fb[i]->l_first;
        for (BMLoop* la : faceLoops(fa[i])) {
            EXPECT_EQ(lb->v, map.at(la->v));
            lb = lb->next;
        }
    }
    // Editing the copy leaves the source alone.
    copy.killVert(b[0]);
    EXPECT_VALID(copy);
    EXPECT_VALID(src);
    EXPECT_EQ(src.totVert, a.size());
    BMesh constructed(src);
    EXPECT_EQ(constructed.totFace, src.totFace);
    EXPECT_VALID(constructed);
}

// ---- Validator ----

TEST(BMeshValidate, reportsEachKindOfCorruption) {
    struct Case {
        const char* what;
        void (*breakIt)(BMesh&, std::vector<BMVert*>&);
    } cases[] = {
        {"disk prev", [](BMesh&, std::vector<BMVert*>& v) { diskLink(v[4]->e, v[4])->prev = nullptr; }},
        {"radial next", [](BMesh&, std::vector<BMVert*>& v) { v[4]->e->l->radial_next = v[4]->e->l->next; }},
        {"face len", [](BMesh&, std::vector<BMVert*>& v) { v[4]->e->l->f->len = 5; }},
        {"vertex count", [](BMesh& bm, std::vector<BMVert*>&) { bm.totVert += 1; }},
        {"loop face", [](BMesh& bm, std::vector<BMVert*>& v) { v[4]->e->l->f = bm.faceList().back() == v[4]->e->l->f ? bm.faceList().front() : bm.faceList().back(); }},
        {"type tag", [](BMesh&, std::vector<BMVert*>& v) { v[2]->head.htype = BM_EDGE; }},
        {"edge end", [](BMesh&, std::vector<BMVert*>& v) { v[4]->e->v1 = v[4]->e->v2; }},
    };
    for (const Case& c : cases) {
        BMesh bm;
        std::vector<BMVert*> v = bmesh_test::build(bm, bmesh_test::grid(2, 2));
        ASSERT_TRUE(bm.validate());
        BMesh pristine(bm);
        c.breakIt(bm, v);
        std::string why;
        EXPECT_FALSE(bm.validate(&why)) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
        bm.clear(); // the broken mesh is dropped without walking it
    }
}

TEST(BMeshValidate, reportsAPointerToAFreedElement) {
    BMesh bm;
    std::vector<BMVert*> v = bmesh_test::build(bm, bmesh_test::grid(2, 2));
    BMVert* extra = bm.createVert(nullptr);
    BMEdge* e = v[0]->e;
    bm.killVert(extra);
    BMEdge* loose = bm.createEdge(v[0], v[8]);
    bm.killEdge(loose);
    v[0]->e = loose; // now points at a freed edge
    std::string why;
    EXPECT_FALSE(bm.validate(&why));
    EXPECT_NE(why.find("dead"), std::string::npos) << why;
    v[0]->e = e;
    EXPECT_VALID(bm);
}

// ---- Selection ----

TEST(BMeshSelect, quadIsSelectedOnlyWithAllFourCorners) {
    BMesh bm;
    const std::vector<BMVert*> v = bmesh_test::build(bm, bmesh_test::grid(1, 1));
    BMFace* quad = bm.faceList().at(0);
    for (int i = 0; i < 3; ++i) {
        bm.selectVert(v[size_t(i)], true);
        EXPECT_FALSE(quad->head.select) << i;
    }
    bm.selectVert(v[3], true);
    EXPECT_TRUE(quad->head.select);
    bm.selectVert(v[1], false);
    EXPECT_FALSE(quad->head.select);
}

TEST(BMeshSelect, selectAllAndInvertByType) {
    BMesh bm;
    const std::vector<BMVert*> v = bmesh_test::build(bm, bmesh_test::grid(2, 2));
    bm.selectAll(BM_VERT, true);
    EXPECT_EQ(count(bm, BM_VERT), 9u);
    EXPECT_EQ(count(bm, BM_FACE), 4u) << "faces follow their vertices";
    bm.selectAll(BM_FACE, false);
    EXPECT_EQ(count(bm, BM_FACE), 0u);
    EXPECT_EQ(count(bm, BM_VERT), 9u);
    bm.selectAll(BM_VERT | BM_EDGE | BM_FACE, false);
    bm.selectVert(v[0], true);
    bm.invertSelection(BM_VERT);
    EXPECT_EQ(count(bm, BM_VERT), 8u);
    EXPECT_FALSE(v[0]->head.select);
    EXPECT_EQ(count(bm, BM_FACE), 3u);
    bm.invertSelection(BM_EDGE);
    for (BMEdge* e : bm.edges())
        EXPECT_TRUE(e->head.select);
}

TEST(BMeshSelect, linkedFloodStaysInItsComponentAndStopsAtSelectedVertices) {
    BMesh bm;
    Polys p = bmesh_test::grid(3, 1); // 8 vertices
    const size_t first = p.positions.size() / 3;
    Polys other = bmesh_test::grid(1, 1);
    for (float c : other.positions)
        p.positions.push_back(c + 10);
    p.faces.push_back({int(first), int(first) + 1, int(first) + 3, int(first) + 2});
    const std::vector<BMVert*> v = bmesh_test::build(bm, p);
    bm.selectLinked(v[0], true);
    EXPECT_EQ(count(bm, BM_VERT), 8u);
    for (size_t i = first; i < v.size(); ++i)
        EXPECT_FALSE(v[i]->head.select);
    // Deselect flood from vertex 0 bounded by the already deselected column x = 2.
    bm.selectVert(v[2], false);
    bm.selectVert(v[6], false);
    bm.selectLinked(v[0], false);
    EXPECT_TRUE(v[3]->head.select);
    EXPECT_TRUE(v[7]->head.select);
    EXPECT_EQ(count(bm, BM_VERT), 2u);
}

TEST(BMeshSelect, shortestPathFollowsEdgeLengths) {
    BMesh bm;
    const std::vector<BMVert*> v = bmesh_test::build(bm, bmesh_test::grid(3, 3));
    // Ends of one edge.
    EXPECT_EQ(bm.selectShortestPath(v[0], v[1]), 2);
    EXPECT_TRUE(v[0]->head.select && v[1]->head.select);
    EXPECT_EQ(count(bm, BM_VERT), 2u);
    // Straight along the border: 4 vertices with y = 0.
    bm.selectAll(BM_VERT, false);
    EXPECT_EQ(bm.selectShortestPath(v[0], v[3]), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(v[size_t(i)]->head.select);
    EXPECT_EQ(count(bm, BM_VERT), 4u);
    // Same vertex.
    bm.selectAll(BM_VERT, false);
    EXPECT_EQ(bm.selectShortestPath(v[5], v[5]), 1);
    EXPECT_EQ(count(bm, BM_VERT), 1u);
    // Unreachable: a loose vertex.
    BMVert* loose = bm.createVert(nullptr);
    EXPECT_EQ(bm.selectShortestPath(v[0], loose), 0);
    EXPECT_FALSE(loose->head.select);
    EXPECT_EQ(bm.selectShortestPath(nullptr, loose), 0);
}

TEST(BMeshSelect, shortestPathBreaksTiesByVertexIndexWhateverTheMemoryLayout) {
    // Both ways round a square are equally long; the vertices are created in
    // different orders (so at different relative addresses), same indices.
    const float corners[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    for (const std::vector<int>& creation : {std::vector<int>{0, 1, 2, 3}, {3, 2, 1, 0}, {2, 3, 0, 1}}) {
        BMesh bm;
        BMVert* v[4];
        for (int i : creation)
            (v[i] = bm.createVert(corners[i]))->head.index = i;
        ASSERT_NE(bm.createFaceFromVerts(v, 4), nullptr);
        EXPECT_EQ(bm.selectShortestPath(v[0], v[2]), 3);
        EXPECT_TRUE(v[1]->head.select && !v[3]->head.select) << testing::PrintToString(creation);
    }
}

TEST(BMeshSelect, shortestPathPrefersTheShorterDetour) {
    // Triangle strip where the direct two-edge path is longer than three short edges.
    BMesh bm;
    Polys p;
    p.positions = {0, 0, 0, 10, 5, 0, 20, 0, 0, 5, -1, 0, 15, -1, 0};
    p.faces = {{0, 3, 1}, {3, 4, 1}, {4, 2, 1}};
    const std::vector<BMVert*> v = bmesh_test::build(bm, p);
    EXPECT_EQ(bm.selectShortestPath(v[0], v[2]), 4);
    EXPECT_TRUE(v[3]->head.select && v[4]->head.select);
    EXPECT_FALSE(v[1]->head.select);
}

TEST(BMeshSelect, growThenShrinkOnAClosedMeshGivesBackOneVertex) {
    BMesh bm;
    const std::vector<BMVert*> v = bmesh_test::build(bm, bmesh_test::sphere(8, 12));
    BMVert* start = v[30];
    bm.selectVert(start, true);
    std::vector<BMVert*> before;
    for (BMVert* w : bm.verts())
        if (w->head.select)
            before.push_back(w);
    for (BMVert* w : before)
        bm.selectNeighbours(w, true);
    EXPECT_EQ(count(bm, BM_VERT), 1 + lengthOf(diskEdges(start)));
    std::vector<BMVert*> clear;
    for (BMVert* w : bm.verts())
        if (!w->head.select)
            clear.push_back(w);
    for (BMVert* w : clear)
        bm.selectNeighbours(w, false);
    EXPECT_EQ(count(bm, BM_VERT), 1u);
    EXPECT_TRUE(start->head.select);
}

namespace {

// Selection of every vertex and face, in pool order.
std::vector<uint8_t> selectionOf(const BMesh& bm) {
    std::vector<uint8_t> out;
    for (const BMVert* v : bm.verts())
        out.push_back(v->head.select);
    for (const BMFace* f : bm.faces())
        out.push_back(f->head.select);
    return out;
}

// The flood done the plain way: selectVert on every vertex as it is reached.
void plainSelectLinked(BMesh& bm, BMVert* v, bool s) {
    std::vector<BMVert*> queue{v};
    bm.selectVert(v, s);
    for (size_t i = 0; i < queue.size(); ++i)
        for (BMEdge* e : diskEdges(queue[i])) {
            BMVert* n = edgeOtherVert(e, queue[i]);
            if ((n->head.select != 0) != s) {
                bm.selectVert(n, s);
                queue.push_back(n);
            }
        }
}

} // namespace

TEST(BMeshSelect, wholeMeshOperationsMatchVertexByVertexSelection) {
    std::mt19937 rng(99);
    Polys p = bmesh_test::awkward();
    // A small separate component, so that floods of both sizes occur.
    const int base = int(p.positions.size() / 3);
    p.positions.insert(p.positions.end(), {50, 0, 0, 51, 0, 0, 50, 1, 0});
    p.faces.push_back({base, base + 1, base + 2});
    for (int round = 0; round < 60; ++round) {
        BMesh fast;
        const std::vector<BMVert*> v = bmesh_test::build(fast, p);
        for (BMVert* w : v)
            fast.selectVert(w, rng() % 3 == 0);
        for (BMFace* f : fast.faces())
            if (rng() % 5 == 0)
                f->head.select = 1; // faces selected on their own too
        BMesh plain(fast);
        const std::vector<BMVert*> pv = plain.vertList();
        const size_t pick = rng() % v.size();
        const bool s = rng() % 2;
        switch (round % 3) {
        case 0:
            fast.selectLinked(v[pick], s);
            plainSelectLinked(plain, pv[pick], s);
            break;
        case 1:
            fast.selectAll(BM_VERT, s);
            for (BMVert* w : pv)
                plain.selectVert(w, s);
            break;
        default:
            fast.invertSelection(BM_VERT);
            for (BMVert* w : pv)
                plain.selectVert(w, !w->head.select);
            break;
        }
        EXPECT_EQ(selectionOf(fast), selectionOf(plain)) << "round " << round;
        EXPECT_VALID(fast);
    }
}

// ---- Triangulation ----

namespace {

struct PolyCase {
    const char* what;
    std::vector<std::array<float, 3>> co;
    bool expectFallback;
};

// Builds the polygon as one face, triangulates it and checks: len - 2
// triangles, areas adding up to the polygon's, no triangle flipped against
// the polygon, a valid mesh; returns the traced text.
std::string checkTriangulation(const PolyCase& c) {
    BMesh bm;
    std::vector<BMVert*> v;
    std::vector<const float*> corners;
    for (const auto& p : c.co)
        v.push_back(bm.createVert(p.data()));
    for (BMVert* w : v)
        corners.push_back(w->co);
    BMFace* f = bm.createFaceFromVerts(v.data(), int(v.size()));
    EXPECT_NE(f, nullptr) << c.what;
    if (!f)
        return {};
    f->head.index = 42;
    f->head.select = 1;
    const math3d::Vec3 n = bm.faceNormal(f);
    const double area = bmesh_test::polygonArea(corners);
    TraceCapture cap;
    const int made = bm.triangulate_face(f);
    EXPECT_EQ(made, int(c.co.size()) - 2) << c.what;
    EXPECT_EQ(bm.totFace, c.co.size() - 2) << c.what;
    double sum = 0;
    for (BMFace* t : bm.faces()) {
        EXPECT_EQ(t->len, 3) << c.what;
        EXPECT_EQ(t->head.index, 42) << c.what;
        EXPECT_EQ(t->head.select, 1) << c.what;
        const double a = bmesh_test::faceArea(t);
        sum += a;
        if (!c.expectFallback && a > 1e-9) {
            const math3d::Vec3 tn = bm.faceNormal(t);
            EXPECT_GT(math3d::dot(tn, n), 0.0f) << c.what << ": flipped triangle";
        }
    }
    if (!c.expectFallback) {
        EXPECT_NEAR(sum, area, 1e-5 * std::max(1.0, area)) << c.what;
    }
    std::string why;
    EXPECT_TRUE(bm.validate(&why)) << c.what << ": " << why;
    return cap.all();
}

} // namespace

TEST(BMeshTriangulate, cutsConvexConcaveAndNearlyDegeneratePolygonsIntoLenMinusTwoTriangles) {
    const PolyCase cases[] = {
        {"triangle", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, false},
        {"square", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, false},
        {"convex hexagon", {{2, 0, 0}, {1, 1.7f, 0}, {-1, 1.7f, 0}, {-2, 0, 0}, {-1, -1.7f, 0}, {1, -1.7f, 0}}, false},
        {"concave quad (dart)", {{0, 0, 0}, {2, 1, 0}, {0, 2, 0}, {0.5f, 1, 0}}, false},
        {"L shape", {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}}, false},
        {"clockwise L shape", {{0, 2, 0}, {1, 2, 0}, {1, 1, 0}, {2, 1, 0}, {2, 0, 0}, {0, 0, 0}}, false},
        {"star",
         {{0, 3, 0}, {0.7f, 1, 0}, {3, 1, 0}, {1.1f, -0.4f, 0}, {1.8f, -2.6f, 0}, {0, -1.2f, 0},
          {-1.8f, -2.6f, 0}, {-1.1f, -0.4f, 0}, {-3, 1, 0}, {-0.7f, 1, 0}},
         false},
        {"comb (concave, many reflex corners)",
         {{0, 0, 0}, {5, 0, 0}, {5, 3, 0}, {4, 3, 0}, {4, 1, 0}, {3, 1, 0}, {3, 3, 0}, {2, 3, 0}, {2, 1, 0}, {1, 1, 0},
          {1, 3, 0}, {0, 3, 0}},
         false},
        {"tilted concave in 3D", {{0, 0, 0}, {2, 0, 2}, {2, 1, 2}, {1, 1, 1}, {1, 2, 1}, {0, 2, 0}}, false},
        {"vertical plane", {{0, 0, 0}, {0, 2, 0}, {0, 2, 2}, {0, 1, 0.5f}, {0, 0, 2}}, false},
        {"collinear corner on a side", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, false},
        {"sliver", {{0, 0, 0}, {1000, 0, 0}, {1000, 0.001f, 0}, {500, 0.0005f, 0}, {0, 0.001f, 0}}, false},
        {"nearly flat notch", {{0, 0, 0}, {4, 0, 0}, {4, 1, 0}, {2, 0.999f, 0}, {0, 1, 0}}, false},
    };
    for (const PolyCase& c : cases) {
        const std::string traced = checkTriangulation(c);
        EXPECT_EQ(traced.find("triangulator failed"), std::string::npos) << c.what << ": " << traced;
    }
}

TEST(BMeshTriangulate, degenerateOrSelfIntersectingOutlinesFallBackToAFanWithTheMessage) {
    const PolyCase cases[] = {
        {"all corners collinear", {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}}, true},
        {"symmetric bow tie", {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0}}, true},
        {"all corners at one point", {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, true},
    };
    for (const PolyCase& c : cases) {
        const std::string traced = checkTriangulation(c);
        EXPECT_NE(traced.find("kvo::BMesh::triangulate_face: triangulator failed to split face! (bmesh internal error)\n"),
                  std::string::npos)
            << c.what;
        EXPECT_EQ(traced.find("triangle fan step of triangulator failed."), std::string::npos) << c.what;
    }
}

TEST(BMeshTriangulate, ignoresNullAndTriangles) {
    BMesh bm;
    EXPECT_EQ(bm.triangulate_face(nullptr), 0);
    const std::vector<BMVert*> v = bmesh_test::build(bm, bmesh_test::sphere(3, 3));
    const uint32_t faces = bm.totFace;
    for (BMFace* f : bm.faceList())
        bm.triangulate_face(f);
    EXPECT_EQ(bm.totFace, faces + 3); // three quads, two triangle caps of three
    EXPECT_VALID(bm);
}

// ---- Delete ----

TEST(BMeshDelete, writesBackOnlyExistingVerticesAndRemainingTriangles) {
    BMesh bm;
    const std::vector<BMVert*> v = bmesh_test::build(bm, bmesh_test::grid(3, 3));
    std::vector<std::array<float, 3>> original;
    for (BMVert* w : v)
        original.push_back({w->co[0], w->co[1], w->co[2]});
    bm.selectVert(v[5], true); // inner vertex (1, 1): takes its 4 quads
    bm.selectVert(v[15], true); // corner vertex (3, 3): takes one quad
    BMWriteBack out;
    bm.deleteSelected(out);
    EXPECT_VALID(bm);
    EXPECT_EQ(out.positions.size(), 14u * 3);
    EXPECT_EQ(out.vertexOrigins.size(), 14u);
    EXPECT_EQ(out.triangles.size(), (9u - 5u) * 2 * 3);
    EXPECT_EQ(out.triangleOrigins.size(), out.triangles.size() / 3);
    for (int32_t i : out.triangles) {
        EXPECT_GE(i, 0);
        EXPECT_LT(size_t(i), out.positions.size() / 3);
    }
    std::set<int32_t> origins(out.vertexOrigins.begin(), out.vertexOrigins.end());
    EXPECT_EQ(origins.count(5), 0u);
    EXPECT_EQ(origins.count(15), 0u);
    for (size_t k = 0; k < out.vertexOrigins.size(); ++k)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(out.positions[3 * k + size_t(c)], original[size_t(out.vertexOrigins[k])][size_t(c)]);
    for (int32_t o : out.triangleOrigins)
        EXPECT_TRUE(o == 2 || o == 5 || o == 6 || o == 7) << o; // quads 0, 1, 3, 4, 8 are gone
    // The mesh is numbered in pool order afterwards.
    int32_t expect = 0;
    for (BMVert* w : bm.verts())
        EXPECT_EQ(w->head.index, expect++);
}

TEST(BMeshDelete, selectedFacesGoEvenWhenTheirVerticesStay) {
    BMesh bm;
    bmesh_test::build(bm, bmesh_test::grid(2, 1));
    bm.faceList().at(0)->head.select = 1;
    BMWriteBack out;
    bm.deleteSelected(out);
    EXPECT_EQ(out.positions.size(), 6u * 3);
    EXPECT_EQ(out.triangles.size(), 2u * 3);
    EXPECT_EQ(bm.totEdge, 7u + 1u) << "edges of a deleted face stay; the other quad gains a diagonal";
    EXPECT_VALID(bm);
}

// ---- Random sequences ----

namespace {

// Applies `steps` random operations, validating after each (fatal failure at
// the first invalid state).
void randomOperations(BMesh& bm, unsigned seed, int steps) {
    std::mt19937 rng(seed);
    auto pickVert = [&]() -> BMVert* {
        const std::vector<BMVert*> all = bm.vertList();
        return all.empty() ? nullptr : all[rng() % all.size()];
    };
    for (int s = 0; s < steps; ++s) {
        const unsigned op = rng() % 12;
        switch (op) {
        case 0: bm.selectVert(pickVert(), rng() % 2); break;
        case 1: bm.selectLinked(pickVert(), rng() % 2); break;
        case 2: bm.selectShortestPath(pickVert(), pickVert()); break;
        case 3: bm.invertSelection(BM_VERT | (rng() % 2 ? BM_FACE : 0)); break;
        case 4: bm.selectNeighbours(pickVert(), rng() % 2); break;
        case 5: {
            const std::vector<BMFace*> f = bm.faceList();
            if (!f.empty())
                bm.killFace(f[rng() % f.size()]);
            break;
        }
        case 6: {
            const std::vector<BMEdge*> e = bm.edgeList();
            if (!e.empty())
                bm.killEdge(e[rng() % e.size()]);
            break;
        }
        case 7: bm.killVert(pickVert()); break;
        case 8: {
            const std::vector<BMFace*> f = bm.faceList();
            if (!f.empty())
                bm.triangulate_face(f[rng() % f.size()]);
            break;
        }
        case 9: {
            BMWriteBack out;
            bm.selectAll(BM_VERT, false);
            for (int k = 0; k < 3; ++k)
                bm.selectVert(pickVert(), true);
            bm.deleteSelected(out);
            for (int32_t i : out.triangles)
                ASSERT_LT(size_t(i), out.positions.size() / 3);
            break;
        }
        case 10: {
            BMVert* a = pickVert();
            BMVert* b = pickVert();
            BMVert* c = bm.createVert(nullptr);
            BMVert* tri[3] = {a, b, c};
            bm.createFaceFromVerts(tri, 3);
            break;
        }
        default: {
            BMesh copy(bm);
            std::string why;
            ASSERT_TRUE(copy.validate(&why)) << "copy at step " << s << ": " << why;
            ASSERT_EQ(copy.totLoop, bm.totLoop);
            break;
        }
        }
        std::string why;
        ASSERT_TRUE(bm.validate(&why)) << "seed " << seed << " step " << s << " op " << op << ": " << why;
    }
}

} // namespace

TEST(BMeshRandom, staysValidThroughRandomEditsOnAwkwardMeshes) {
    TraceCapture quiet;
    const Polys meshes[] = {bmesh_test::grid(6, 5), bmesh_test::sphere(7, 9), bmesh_test::awkward()};
    unsigned seed = 1;
    for (const Polys& p : meshes) {
        for (int run = 0; run < 4; ++run, ++seed) {
            BMesh bm;
            bmesh_test::build(bm, p);
            ASSERT_TRUE(bm.validate());
            randomOperations(bm, seed, 120);
            if (HasFatalFailure())
                return;
        }
    }
}

// ObjMesh's editable half-edge mesh and the vertex edit operations that run
// through it: selection, hiding, Laplacian smoothing and deletion.

#include "geometry/BMesh.h"
#include "geometry/ObjMesh.h"

#include "base/Trace.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <string>

namespace {

using kvo::BMesh;
using kvo::BMVert;

constexpr unsigned kAllTypes = kvo::BM_VERT | kvo::BM_EDGE | kvo::BM_FACE;

// out := the corners of f, with consecutive repeats (including last ==
// first) dropped; empty when a vertex index is invalid.
void faceCorners(const Face& f, const std::vector<BMVert*>& verts, std::vector<BMVert*>& out) {
    out.clear();
    const int count = std::min(f.count, Face::kMaxCorners);
    for (int k = 0; k < count; ++k) {
        if (f.v[k] < 0 || size_t(f.v[k]) >= verts.size()) {
            out.clear();
            return;
        }
        BMVert* v = verts[size_t(f.v[k])];
        if (out.empty() || out.back() != v)
            out.push_back(v);
    }
    while (out.size() > 1 && out.back() == out.front())
        out.pop_back();
}

// Enters corners as the fan (0, k - 1, k); triangles that repeat a vertex
// are left out. Every face created gets index faceIndex.
void addFan(BMesh& bm, const std::vector<BMVert*>& corners, int32_t faceIndex) {
    for (size_t k = 2; k < corners.size(); ++k) {
        BMVert* tri[3] = {corners[0], corners[k - 1], corners[k]};
        if (kvo::BMFace* f = bm.createFaceFromVerts(tri, 3))
            f->head.index = faceIndex;
    }
}

// Enters corners as one polygon, or as a fan when the polygon repeats a vertex.
void addPolygon(BMesh& bm, const std::vector<BMVert*>& corners, int32_t faceIndex) {
    if (corners.size() < 3)
        return;
    if (kvo::BMFace* f = bm.createFaceFromVerts(corners.data(), int(corners.size())))
        f->head.index = faceIndex;
    else
        addFan(bm, corners, faceIndex);
}

// Debug builds check the whole topology at the end of every edit (every edit
// ends in syncVertexFlags); a broken mesh is reported and stops the program
// where the fault is still close.
void checkTopologyInDebug(const BMesh& bm) {
#ifndef NDEBUG
    std::string why;
    if (!bm.validate(&why)) {
        Trace::err("kvo::BMesh: broken topology after an edit: %s\n", why.c_str());
        assert(!"half-edge mesh topology broken");
    }
#else
    (void)bm;
#endif
}

bool validVertex(const ObjMesh& m, int32_t i) { return i >= 0 && size_t(i) < m.vertices.size(); }

// The half-edge vertex of mesh vertex i (building the bmesh when needed), or
// nullptr when i is not a valid vertex index.
BMVert* editVertex(ObjMesh& m, int32_t i) {
    if (!validVertex(m, i))
        return nullptr;
    m.getBMesh(m.bmeshTriangulated);
    return size_t(i) < m.bmeshVerts.size() ? m.bmeshVerts[size_t(i)] : nullptr;
}

// Runs op(bmesh, vertex, select) for the selection modes: 0 replaces the
// selection, 1 adds, 2 removes; other modes do nothing.
template <class Op>
void selectWithMode(ObjMesh& m, int32_t i, int mode, Op op) {
    if (mode < 0 || mode > 2)
        return;
    BMVert* v = editVertex(m, i);
    if (!v)
        return;
    if (mode == 0)
        m.bmesh->selectAll(kvo::BM_VERT, false);
    op(*m.bmesh, v, mode != 2);
    m.syncVertexFlags();
}

// selectNeighbours(v, select) for every vertex whose flag equals `when`
// before the operation starts.
void spreadSelection(ObjMesh& m, bool when, bool select) {
    BMesh* bm = m.getBMesh(m.bmeshTriangulated);
    m.syncVertexFlags();
    const std::vector<uint32_t> before = m.vertexFlags;
    for (size_t i = 0; i < before.size() && i < m.bmeshVerts.size(); ++i)
        if ((before[i] != 0) == when)
            bm->selectNeighbours(m.bmeshVerts[i], select);
    m.syncVertexFlags();
}

// Index of the corner of f at vertex v, or -1.
int cornerOf(const Face& f, int32_t v) {
    for (int k = 0; k < std::min(f.count, Face::kMaxCorners); ++k)
        if (f.v[k] == v)
            return k;
    return -1;
}

} // namespace

// ---- The editable mesh ----

kvo::BMesh* ObjMesh::getBMesh(bool triangulated) {
    if (bmesh && bmeshTriangulated == triangulated)
        return bmesh;
    releaseBMesh();
    bmesh = new kvo::BMesh();
    bmeshTriangulated = triangulated;
    size_t loops = 0, polys = 0;
    for (const Face& f : faces) {
        if (f.count < 3)
            continue;
        const size_t tris = size_t(f.count) - 2;
        loops += triangulated ? 3 * tris : size_t(f.count);
        polys += triangulated ? tris : 1;
    }
    bmesh->init(uint32_t(vertices.size()), uint32_t(loops / 2), uint32_t(loops), uint32_t(polys));
    bmeshVerts.reserve(vertices.size());
    for (size_t i = 0; i < vertices.size(); ++i) {
        const float co[3] = {vertices[i].x, vertices[i].y, vertices[i].z};
        BMVert* v = bmesh->createVert(co);
        if (v)
            v->head.index = int32_t(i);
        bmeshVerts.push_back(v);
    }
    std::vector<BMVert*> corners;
    for (size_t fi = 0; fi < faces.size(); ++fi) {
        faceCorners(faces[fi], bmeshVerts, corners);
        if (triangulated)
            addFan(*bmesh, corners, int32_t(fi));
        else
            addPolygon(*bmesh, corners, int32_t(fi));
    }
    bmesh->computeNormals();
    // The selection survives a rebuild (e.g. for the other triangulated setting).
    for (size_t i = 0; i < vertexFlags.size() && i < bmeshVerts.size(); ++i)
        if (vertexFlags[i])
            bmesh->selectVert(bmeshVerts[i], true);
    return bmesh;
}

void ObjMesh::syncVertexFlags() {
    vertexFlags.assign(vertices.size(), 0);
    if (!bmesh)
        return;
    checkTopologyInDebug(*bmesh);
    for (size_t i = 0; i < vertexFlags.size() && i < bmeshVerts.size(); ++i)
        vertexFlags[i] = (bmeshVerts[i] && bmeshVerts[i]->head.select) ? 1u : 0u;
}

void ObjMesh::releaseBMesh() {
    delete bmesh;
    bmesh = nullptr;
    bmeshVerts.clear();
}

void ObjMesh::copyBMeshFrom(const ObjMesh& other) {
    releaseBMesh();
    if (!other.bmesh)
        return;
    bmesh = new kvo::BMesh();
    std::unordered_map<const BMVert*, BMVert*> map;
    bmesh->copyFrom(*other.bmesh, &map);
    bmeshTriangulated = other.bmeshTriangulated;
    bmeshVerts.reserve(other.bmeshVerts.size());
    for (const BMVert* v : other.bmeshVerts) {
        auto it = map.find(v);
        bmeshVerts.push_back(it == map.end() ? nullptr : it->second);
    }
}

void ObjMesh::resetBMeshSelection() {
    getBMesh(bmeshTriangulated)->selectAll(kAllTypes, false);
    syncVertexFlags();
}

// ---- Selection ----

bool ObjMesh::hasSelectedVertex() const {
    return std::any_of(vertexFlags.begin(), vertexFlags.end(), [](uint32_t f) { return f != 0; });
}

bool ObjMesh::isVertexSelected(int32_t i) const {
    return i >= 0 && size_t(i) < vertexFlags.size() && vertexFlags[size_t(i)] != 0;
}

void ObjMesh::selectVertex(int32_t i, int mode) {
    selectWithMode(*this, i, mode, [](BMesh& bm, BMVert* v, bool s) { bm.selectVert(v, s); });
}

void ObjMesh::selectLinked(int32_t i, int mode) {
    selectWithMode(*this, i, mode, [](BMesh& bm, BMVert* v, bool s) { bm.selectLinked(v, s); });
}

void ObjMesh::selectShortestPath(int32_t i, int32_t j) {
    if (!validVertex(*this, i) || !validVertex(*this, j))
        return;
    BMVert* a = editVertex(*this, i);
    BMVert* b = editVertex(*this, j);
    bmesh->selectShortestPath(a, b, true);
    syncVertexFlags();
}

void ObjMesh::invertSelection() {
    getBMesh(bmeshTriangulated)->invertSelection(kvo::BM_VERT);
    syncVertexFlags();
}

void ObjMesh::growSelection() { spreadSelection(*this, true, true); }

void ObjMesh::shrinkSelection() { spreadSelection(*this, false, false); }

// ---- Hiding ----

void ObjMesh::hideSelectedFaces() {
    for (Face& f : faces) {
        if (f.count <= 0)
            continue;
        bool all = true;
        for (int k = 0; k < std::min(f.count, Face::kMaxCorners) && all; ++k)
            all = isVertexSelected(f.v[k]);
        if (all)
            f.hidden = true;
    }
    dirty = true;
}

void ObjMesh::unhideAllFaces() {
    for (Face& f : faces)
        f.hidden = false;
    dirty = true;
}

// ---- Smoothing ----

void ObjMesh::smoothSelected(int iterations) {
    BMesh* bm = getBMesh(bmeshTriangulated);
    // One walk over the half-edge mesh gathers the selected vertices in pool
    // order with their edge neighbours (one entry per edge, as the disk cycle
    // gives them) into compact arrays; the passes then run on those alone.
    // Every vertex involved gets a slot, selected ones first in pool order,
    // so the positions touched by a pass lie together in one float array.
    // Positions are updated in place, so a vertex later in a pass sees the
    // moved ones, and the sums run in the same order as a walk of the bmesh.
    const size_t count = vertices.size();
    std::vector<uint32_t> slotOf(count, UINT32_MAX);
    std::vector<uint32_t> origin;     // slot -> vertex index
    std::vector<uint32_t> offsets{0}; // neighbours of selected slot s: [offsets[s], offsets[s + 1])
    std::vector<uint32_t> neighbours; // vertex indices at first, slots after the walk
    origin.reserve(count);
    offsets.reserve(std::min<size_t>(bm->totVert, count) + 1);
    neighbours.reserve(2 * size_t(bm->totEdge)); // each edge is seen from both ends at most
    for (BMVert* v : bm->verts()) {
        const int32_t idx = v->head.index;
        if (!v->head.select || !validVertex(*this, idx) || bmeshVerts[size_t(idx)] != v)
            continue;
        slotOf[size_t(idx)] = uint32_t(origin.size());
        origin.push_back(uint32_t(idx));
        for (kvo::BMEdge* e : kvo::diskEdges(v)) {
            const int32_t o = kvo::edgeOtherVert(e, v)->head.index;
            if (validVertex(*this, o))
                neighbours.push_back(uint32_t(o));
        }
        offsets.push_back(uint32_t(neighbours.size()));
    }
    const size_t selected = origin.size();
    for (uint32_t& o : neighbours) {
        if (slotOf[o] == UINT32_MAX) {
            slotOf[o] = uint32_t(origin.size());
            origin.push_back(o);
        }
        o = slotOf[o];
    }
    std::vector<float> pos(3 * origin.size());
    for (size_t s = 0; s < origin.size(); ++s) {
        const math3d::Vec3& p = vertices[origin[s]];
        pos[3 * s] = p.x, pos[3 * s + 1] = p.y, pos[3 * s + 2] = p.z;
    }
    float* const xyz = pos.data();
    const uint32_t* const nb = neighbours.data();
    for (int it = 0; it < iterations; ++it) {
        for (size_t s = 0; s < selected; ++s) {
            const uint32_t begin = offsets[s], end = offsets[s + 1];
            if (begin == end) // a vertex without neighbours stays where it is
                continue;
            float x = 0, y = 0, z = 0;
            for (uint32_t k = begin; k < end; ++k) {
                const float* q = xyz + 3 * size_t(nb[k]);
                x = x + q[0], y = y + q[1], z = z + q[2];
            }
            const float w = 1.0f / float(end - begin);
            float* p = xyz + 3 * s;
            p[0] = x * w, p[1] = y * w, p[2] = z * w;
        }
    }
    for (size_t s = 0; s < selected; ++s)
        vertices[origin[s]] = math3d::Vec3(pos[3 * s], pos[3 * s + 1], pos[3 * s + 2]);
    for (size_t i = 0; i < bmeshVerts.size() && i < vertices.size(); ++i) {
        if (BMVert* v = bmeshVerts[i]) {
            v->co[0] = vertices[i].x;
            v->co[1] = vertices[i].y;
            v->co[2] = vertices[i].z;
        }
    }
    computeNormals();
    bm->computeNormals();
    computeBounds();
    syncVertexFlags();
}

// ---- Deleting ----

namespace {

// Keeps the entries of a per-vertex array whose vertex is kept; arrays of
// another length (absent attributes) are left as they are.
template <class T>
void keepPerVertex(std::vector<T>& values, const std::vector<int32_t>& kept, size_t oldCount) {
    if (values.size() != oldCount)
        return;
    std::vector<T> out;
    out.reserve(kept.size());
    for (int32_t k : kept)
        out.push_back(values[size_t(k)]);
    values.swap(out);
}

// The triangle of a write-back as a face: vertex indices from the write-back,
// texture coordinates, material, hidden flag and smoothing group from the
// face it was cut from (matched corner by vertex).
Face rebuiltTriangle(const kvo::BMWriteBack& wb, size_t t, const std::vector<Face>& oldFaces) {
    Face nf;
    nf.count = 3;
    const int32_t origin = wb.triangleOrigins[t];
    const Face* of = (origin >= 0 && size_t(origin) < oldFaces.size()) ? &oldFaces[size_t(origin)] : nullptr;
    if (of) {
        nf.material = of->material;
        nf.hidden = of->hidden;
        nf.smoothGroup = of->smoothGroup;
    }
    for (int c = 0; c < 3; ++c) {
        const int32_t nv = wb.triangles[3 * t + size_t(c)];
        nf.v[c] = nv;
        nf.n[c] = -1;
        const int k = of ? cornerOf(*of, wb.vertexOrigins[size_t(nv)]) : -1;
        nf.t[c] = k >= 0 ? of->t[k] : -1;
    }
    return nf;
}

} // namespace

void ObjMesh::deleteSelected() {
    const size_t oldCount = vertices.size();
    if (faces.empty()) {
        std::vector<int32_t> kept;
        for (size_t i = 0; i < oldCount; ++i)
            if (i >= vertexFlags.size() || vertexFlags[i] == 0)
                kept.push_back(int32_t(i));
        keepPerVertex(normals, kept, oldCount);
        keepPerVertex(colors, kept, oldCount);
        keepPerVertex(vertices, kept, oldCount);
        releaseBMesh();
        vertexFlags.assign(vertices.size(), 0);
        computeBounds();
        dirty = true;
        return;
    }
    kvo::BMWriteBack wb;
    getBMesh(bmeshTriangulated)->deleteSelected(wb);
    std::vector<Face> rebuilt;
    rebuilt.reserve(wb.triangleOrigins.size());
    for (size_t t = 0; t < wb.triangleOrigins.size(); ++t)
        rebuilt.push_back(rebuiltTriangle(wb, t, faces));
    keepPerVertex(colors, wb.vertexOrigins, oldCount);
    vertices.clear();
    for (size_t i = 0; i + 2 < wb.positions.size(); i += 3)
        vertices.emplace_back(wb.positions[i], wb.positions[i + 1], wb.positions[i + 2]);
    faces.swap(rebuilt);
    releaseBMesh();
    vertexFlags.assign(vertices.size(), 0);
    computeNormals();
    computeBounds();
    dirty = true;
}

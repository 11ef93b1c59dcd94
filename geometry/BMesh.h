#pragma once
// The editable half-edge mesh behind mesh editing: vertices, edges, face
// corners (loops) and faces in per-type pools (BLI_mempool), linked in disk,
// radial and loop cycles (geometry/BMeshTypes.h) so that neighbours are
// walked in constant time. ObjMesh::getBMesh builds one from a polygon mesh;
// the edit operations select, triangulate and delete here and write the
// result back.
//
// Elements are owned by the mesh; pointers to them stay valid until they are
// killed or the mesh is cleared. Every operation ignores null elements.
// Faces have at least 3 corners and never visit a vertex twice; an edge
// never joins a vertex to itself and at most one edge joins two vertices.
// validate() checks all of this.
//
// Implementation files by concern: BMesh.cpp (pools, create, kill, copy),
// BMeshSelect.cpp, BMeshTriangulate.cpp, BMeshDelete.cpp, BMeshValidate.cpp,
// BMeshRender.cpp (GL).

#include "geometry/BLI_mempool.h"
#include "geometry/BMeshTypes.h"
#include "geometry/Renderable.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kvo {

// What deleteSelected hands back for rebuilding a polygon mesh.
struct BMWriteBack {
    std::vector<float> positions;        // 3 floats per remaining vertex, pool order
    std::vector<int32_t> triangles;      // 3 indices into positions per remaining triangle
    std::vector<int32_t> vertexOrigins;  // per remaining vertex: its index before the numbering
    std::vector<int32_t> triangleOrigins; // per triangle: the index of the face it was cut from
};

class BMesh : public Renderable {
public:
    static constexpr uint32_t kTypeId = 0x10000009u;
    // Elements per pool chunk.
    static constexpr size_t kVertsPerChunk = 512;
    static constexpr size_t kEdgesPerChunk = 1024;
    static constexpr size_t kLoopsPerChunk = 2048;
    static constexpr size_t kFacesPerChunk = 512;

    BMesh();
    // Deep copy: same elements in the same pool order, with the same
    // positions, normals, indices and selection.
    BMesh(const BMesh& other);
    BMesh& operator=(const BMesh&) = delete;
    ~BMesh() override;

    uint32_t typeId() const override { return kTypeId; }

    // ---- Life cycle ----

    // Destroys all four pools; every count becomes 0.
    void clear() override;
    // clear(), then (when totVert > 0) pools sized for the given counts.
    void init(uint32_t totVert, uint32_t totEdge, uint32_t totLoop, uint32_t totFace);
    // Replaces the content with a deep copy of other (nothing when other is
    // this mesh). vertMap, when given, receives other's vertex -> copy.
    void copyFrom(const BMesh& other, std::unordered_map<const BMVert*, BMVert*>* vertMap = nullptr);

    // ---- Counts and iteration (pool order) ----

    uint32_t totVert = 0, totEdge = 0, totLoop = 0, totFace = 0;
    float faceColour[3] = {91 / 255.0f, 97 / 255.0f, 109 / 255.0f};

    BLI_mempool::Range<BMVert> verts() const { return BLI_mempool::Range<BMVert>(m_vpool.get()); }
    BLI_mempool::Range<BMEdge> edges() const { return BLI_mempool::Range<BMEdge>(m_epool.get()); }
    BLI_mempool::Range<BMFace> faces() const { return BLI_mempool::Range<BMFace>(m_fpool.get()); }
    // Snapshots, for walks that change the mesh.
    std::vector<BMVert*> vertList() const;
    std::vector<BMEdge*> edgeList() const;
    std::vector<BMFace*> faceList() const;
    // The pools (null while absent), for inspection.
    const BLI_mempool* vertPool() const { return m_vpool.get(); }
    const BLI_mempool* edgePool() const { return m_epool.get(); }
    const BLI_mempool* loopPool() const { return m_lpool.get(); }
    const BLI_mempool* facePool() const { return m_fpool.get(); }
    // Bytes the pools hold from the allocator.
    size_t poolBytes() const;

    // ---- Construction and removal ----

    // A new vertex at co (3 floats; null means the origin), index -1, no edge.
    // nullptr only when memory runs out.
    BMVert* createVert(const float* co);
    // The edge joining a and b: the existing one, or a new one (index -1).
    // nullptr when a or b is null or a == b.
    BMEdge* createEdge(BMVert* a, BMVert* b);
    // A face with corners verts[0..len-1]; edges[i] must join verts[i] and
    // verts[(i + 1) % len]. nullptr (nothing created) when len < 3, a vertex
    // repeats, or an edge is null or does not fit.
    BMFace* createFace(BMVert* const* verts, BMEdge* const* edges, int len);
    // As createFace, creating the edges as needed.
    BMFace* createFaceFromVerts(BMVert* const* verts, int len);
    // Kills every face using e, takes e out of both disks and frees it.
    void killEdge(BMEdge* e);
    // Takes every corner out of its radial cycle, frees corners and face.
    void killFace(BMFace* f);
    // Kills every edge at v (and so every face using v), then frees v.
    void killVert(BMVert* v);

    // ---- Geometry ----

    // Computes, stores in f->no and returns the unit normal of f: (0,0,0)
    // for no corners or a degenerate face; the triangle normal for 3, the
    // normal of the two diagonals for 4, Newell's polygon normal for more.
    math3d::Vec3 faceNormal(BMFace* f);
    // Every face normal, then every vertex normal as the normalised sum of
    // its faces' normals ((0, 0, 0) for a vertex without faces).
    void computeNormals();
    // Splits f into len - 2 triangles. The polygon is projected on the plane
    // of its normal and ears are cut off one by one, each with a new edge;
    // when no ear is found (degenerate or self-intersecting outline) or a
    // split fails, "kvo::BMesh::triangulate_face: triangulator failed to
    // split face! (bmesh internal error)" goes to the error stream and the
    // rest becomes a fan from its first corner; a failed fan step prints
    // "triangle fan step of triangulator failed." and stops. Every new face
    // takes f's index and selection. Returns the number of faces f became.
    int triangulate_face(BMFace* f);

    // ---- Selection ----

    // v->select = select; then each face around v is selected exactly when
    // all its vertices are.
    void selectVert(BMVert* v, bool select);
    // types: a set of BMType bits. Vertices go through selectVert, edges and
    // faces get the flag directly.
    void selectAll(unsigned types, bool select);
    // As selectAll, each element getting the opposite of its own state.
    void invertSelection(unsigned types);
    // selectVert on the other end of every edge at v.
    void selectNeighbours(BMVert* v, bool select);
    // selectVert(v, select), then a breadth-first flood over edges into every
    // vertex whose state differs from select, each set to select; vertices
    // already in that state bound the flood.
    void selectLinked(BMVert* v, bool select);
    // Selects (select = true) or deselects the vertices of a shortest path
    // from a to b, edge cost = Euclidean length (Dijkstra). Nothing when b
    // cannot be reached from a (or either is not of this mesh). Among paths
    // of equal length, the one through lower vertex indices (head.index,
    // then pool order) wins, the same on every run. Returns the number of
    // path vertices (0 if none).
    int selectShortestPath(BMVert* a, BMVert* b, bool select = true);

    // ---- Delete and write back ----

    // Kills every selected face, then every selected vertex with its edges
    // and the faces using them; triangulates every remaining face, numbers
    // vertices, edges and faces in pool order (head.index := 0, 1, ...) and
    // fills out.
    void deleteSelected(BMWriteBack& out);
    // The write-back part alone: triangulate, number, fill out.
    void writeBack(BMWriteBack& out);

    // ---- Checking ----

    // Checks every invariant: disk, radial and loop cycles closed and
    // consistent in both directions; each element's type tag; faces with
    // len == corner count >= 3 and no repeated vertex; edges with two
    // different ends and no duplicate; counts equal to the pools' used
    // counts and to what the cycles reach; no reachable element freed or
    // outside its pool. On failure returns false and, when error is given,
    // a one-line description of the first fault.
    bool validate(std::string* error = nullptr) const;

    // ---- Drawing (current GL context required; BMeshRender.cpp) ----

    // mode bits: 1 vertices as 3-pixel points, 2 edges, 4 faces (face
    // normals, or vertex normals with 0x20). Selected faces are drawn
    // (79, 56, 79) / 255, others in faceColour; edge ends and points of
    // selected vertices (175, 175, 48) / 255, others black. GL state restored.
    void render(int32_t mode) override;
    // Every face in one flat unlit colour.
    void renderFlat(const math3d::Vec3& colour) override;

private:
    void ensurePools();
    BMEdge* newEdge(BMVert* a, BMVert* b);
    BMLoop* newLoop(BMVert* v, BMEdge* e, BMFace* f);
    void diskAppend(BMEdge* e, BMVert* v);
    void diskRemove(BMEdge* e, BMVert* v);
    void radialAppend(BMLoop* l, BMEdge* e);
    void radialRemove(BMLoop* l);
    void freeLoop(BMLoop* l);
    BMFace* splitEar(BMFace* f, BMLoop* corner);
    void fanRemainder(BMFace* f);
    void numberElements();

    std::unique_ptr<BLI_mempool> m_vpool;
    std::unique_ptr<BLI_mempool> m_fpool;
    std::unique_ptr<BLI_mempool> m_epool;
    std::unique_ptr<BLI_mempool> m_lpool;
};

} // namespace kvo

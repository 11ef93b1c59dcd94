// ObjMesh's half-edge mesh and vertex edit operations, on small meshes made
// here and on the real meshes of the shared fixtures.

#include "TestSupport.h"

#include "geometry/BMesh.h"
#include "geometry/ObjMesh.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <sstream>

using testing_support::TraceCapture;

namespace {

// Consistency of an ObjMesh with its half-edge mesh after any operation.
void expectConsistent(const ObjMesh& m, const std::string& where) {
    ASSERT_EQ(m.vertexFlags.size(), m.vertices.size()) << where;
    for (const Face& f : m.faces) {
        ASSERT_GE(f.count, 3) << where;
        for (int k = 0; k < f.count; ++k) {
            ASSERT_TRUE(f.v[k] >= 0 && size_t(f.v[k]) < m.vertices.size()) << where;
            ASSERT_TRUE(f.t[k] == -1 || (f.t[k] >= 0 && size_t(f.t[k]) < m.texCoords.size())) << where;
            ASSERT_TRUE(f.n[k] == -1 || (f.n[k] >= 0 && size_t(f.n[k]) < m.normals.size())) << where;
        }
    }
    if (!m.bmesh)
        return;
    std::string why;
    ASSERT_TRUE(m.bmesh->validate(&why)) << where << ": " << why;
    ASSERT_EQ(m.bmeshVerts.size(), m.vertices.size()) << where;
    ASSERT_EQ(m.bmesh->totVert, m.vertices.size()) << where;
    for (size_t i = 0; i < m.bmeshVerts.size(); ++i) {
        const kvo::BMVert* v = m.bmeshVerts[i];
        ASSERT_NE(v, nullptr) << where;
        ASSERT_EQ(v->head.index, int32_t(i)) << where;
        ASSERT_EQ(m.vertexFlags[i] != 0, v->head.select != 0) << where << " vertex " << i;
        ASSERT_EQ(v->co[0], m.vertices[i].x) << where;
        ASSERT_EQ(v->co[2], m.vertices[i].z) << where;
    }
}

// An n x n grid of quads in z = 0; vertex (i, j) has index j * (n + 1) + i,
// texture coordinate (i / n, j / n) with the same index; the left half of
// the quads uses material 0, the right half material 1.
ObjMesh texturedGrid(int n) {
    ObjMesh m;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            m.vertices.emplace_back(float(i), float(j), 0.0f);
            m.texCoords.push_back({float(i) / n, float(j) / n});
        }
    m.materials.resize(2);
    m.materials[0].name = "left";
    m.materials[1].name = "right";
    auto id = [n](int i, int j) { return j * (n + 1) + i; };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            Face f;
            f.count = 4;
            const int c[4] = {id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j + 1)};
            for (int k = 0; k < 4; ++k) {
                f.v[k] = c[k];
                f.t[k] = c[k];
                f.n[k] = -1;
            }
            f.material = i < n / 2 ? 0 : 1;
            m.faces.push_back(f);
        }
    m.colors.assign(m.vertices.size(), math3d::Vec3(0.8f, 0.8f, 0.8f));
    for (size_t i = 0; i < m.colors.size(); ++i)
        m.colors[i].x = float(i); // tells the vertices apart after a rebuild
    m.vertexFlags.assign(m.vertices.size(), 0);
    m.computeNormals();
    m.computeBounds();
    return m;
}

int vertexAt(const ObjMesh& m, float x, float y) {
    for (size_t i = 0; i < m.vertices.size(); ++i)
        if (m.vertices[i].x == x && m.vertices[i].y == y)
            return int(i);
    return -1;
}

size_t selectedCount(const ObjMesh& m) {
    size_t n = 0;
    for (uint32_t f : m.vertexFlags)
        n += f ? 1 : 0;
    return n;
}

std::string fixture(const std::string& rel) { return testing_support::fixturesDir() + "/meshes/" + rel; }

bool loadQuiet(ObjMesh& m, const std::string& path) {
    TraceCapture quiet;
    return m.loadObj(path, false, false) == 1;
}

} // namespace

// ---- Building ----

TEST(ObjMeshBMesh, buildsPolygonsOrTriangleFansAndKeepsVertexOrder) {
    ObjMesh m = texturedGrid(3);
    kvo::BMesh* poly = m.getBMesh(false);
    ASSERT_NE(poly, nullptr);
    EXPECT_EQ(m.getBMesh(false), poly) << "same setting: same mesh";
    EXPECT_EQ(poly->totFace, 9u);
    EXPECT_EQ(poly->totLoop, 36u);
    EXPECT_EQ(poly->totEdge, 24u);
    expectConsistent(m, "polygons");
    m.selectVertex(5, 1);
    kvo::BMesh* tri = m.getBMesh(true);
    EXPECT_TRUE(m.bmeshTriangulated);
    EXPECT_EQ(tri->totFace, 18u);
    EXPECT_EQ(tri->totLoop, 54u);
    EXPECT_EQ(tri->totEdge, 33u);
    EXPECT_TRUE(m.isVertexSelected(5)) << "the selection survives the rebuild";
    expectConsistent(m, "triangles");
    for (const kvo::BMFace* f : tri->faces())
        EXPECT_EQ(f->len, 3);
}

TEST(ObjMeshBMesh, skipsBrokenFacesAndDropsRepeatedCorners) {
    ObjMesh m;
    for (int i = 0; i < 5; ++i)
        m.vertices.emplace_back(float(i % 3), float(i / 3), 0.0f);
    auto face = [](std::initializer_list<int> v) {
        Face f;
        f.count = int(v.size());
        int k = 0;
        for (int i : v) {
            f.v[k] = i;
            f.t[k] = f.n[k] = -1;
            ++k;
        }
        return f;
    };
    m.faces = {face({0, 1, 4}), face({0, 1, 1, 4, 0}), face({0, 0, 1}), face({0, 1, 9}), face({1, 2, 4, 1, 3})};
    kvo::BMesh* bm = m.getBMesh(false);
    std::string why;
    EXPECT_TRUE(bm->validate(&why)) << why;
    // {0,1,4} twice (the second after dropping repeats), {0,0,1} too small,
    // {0,1,9} out of range; {1,2,4,1,3} repeats 1 and enters as a fan whose
    // triangles (1,4,1) and (1,1,3) are left out.
    EXPECT_EQ(bm->totFace, 3u);
    EXPECT_EQ(m.bmeshVerts.size(), 5u);
}

TEST(ObjMeshBMesh, realMeshesConvertToValidHalfEdgeMeshes) {
    LUMO_REQUIRE_FIXTURES();
    for (const char* rel : {"spot/spot_triangulated.obj", "spot/spot_quadrangulated.obj", "teapot.obj"}) {
        ObjMesh m;
        ASSERT_TRUE(loadQuiet(m, fixture(rel))) << rel;
        for (bool triangulated : {false, true}) {
            kvo::BMesh* bm = m.getBMesh(triangulated);
            expectConsistent(m, rel);
            size_t faces = 0;
            for (const Face& f : m.faces)
                faces += triangulated ? size_t(f.count - 2) : 1;
            EXPECT_EQ(bm->totFace, faces) << rel;
            if (std::string(rel).find("spot") != std::string::npos) {
                // Spot is a closed genus-0 surface: V - E + F = 2.
                EXPECT_EQ(int64_t(bm->totVert) - int64_t(bm->totEdge) + int64_t(bm->totFace), 2) << rel;
                for (const kvo::BMEdge* e : bm->edges()) {
                    ASSERT_EQ(e->l->radial_next->radial_next, e->l) << rel << ": manifold edge with two faces";
                    ASSERT_NE(e->l->radial_next, e->l) << rel;
                }
            }
        }
    }
}

// ---- Selection ----

TEST(ObjMeshSelect, vertexModesReplaceAddRemoveOrIgnore) {
    ObjMesh m = texturedGrid(2);
    struct Step {
        int32_t vertex;
        int mode;
        std::set<int> want;
    } steps[] = {
        {0, 0, {0}},       {1, 1, {0, 1}},    {4, 0, {4}},  {4, 2, {}},   {3, 1, {3}},
        {2, 3, {3}},       {-1, 0, {3}},      {9, 0, {3}},  {8, 1, {3, 8}},
    };
    for (const Step& s : steps) {
        m.selectVertex(s.vertex, s.mode);
        std::set<int> got;
        for (size_t i = 0; i < m.vertexFlags.size(); ++i)
            if (m.vertexFlags[i])
                got.insert(int(i));
        EXPECT_EQ(got, s.want) << "vertex " << s.vertex << " mode " << s.mode;
        expectConsistent(m, "select vertex");
    }
    EXPECT_TRUE(m.hasSelectedVertex());
    EXPECT_FALSE(m.isVertexSelected(-3));
    EXPECT_FALSE(m.isVertexSelected(100));
}

TEST(ObjMeshSelect, quadIsHiddenOnlyWithAllFourCornersSelected) {
    ObjMesh m = texturedGrid(2);
    for (int v : {0, 1, 3}) // three corners of quad 0
        m.selectVertex(v, 1);
    m.dirty = false;
    m.hideSelectedFaces();
    EXPECT_TRUE(m.dirty);
    for (const Face& f : m.faces)
        EXPECT_FALSE(f.hidden);
    EXPECT_FALSE(m.bmesh->faceList().at(0)->head.select);
    m.selectVertex(4, 1);
    EXPECT_TRUE(m.bmesh->faceList().at(0)->head.select);
    m.hideSelectedFaces();
    EXPECT_TRUE(m.faces[0].hidden);
    for (size_t i = 1; i < m.faces.size(); ++i)
        EXPECT_FALSE(m.faces[i].hidden) << i;
    m.dirty = false;
    m.unhideAllFaces();
    EXPECT_TRUE(m.dirty);
    EXPECT_FALSE(m.faces[0].hidden);
}

TEST(ObjMeshSelect, linkedPathAndInvert) {
    ObjMesh m = texturedGrid(4);
    m.selectLinked(12, 0);
    EXPECT_EQ(selectedCount(m), m.vertices.size());
    m.selectLinked(12, 2);
    EXPECT_EQ(selectedCount(m), 0u);
    // Shortest path between the ends of one edge.
    m.selectShortestPath(m.faces[0].v[0], m.faces[0].v[1]);
    EXPECT_EQ(selectedCount(m), 2u);
    EXPECT_TRUE(m.isVertexSelected(m.faces[0].v[0]) && m.isVertexSelected(m.faces[0].v[1]));
    m.selectShortestPath(0, 99); // invalid: nothing changes
    EXPECT_EQ(selectedCount(m), 2u);
    m.invertSelection();
    EXPECT_EQ(selectedCount(m), m.vertices.size() - 2);
    EXPECT_FALSE(m.isVertexSelected(m.faces[0].v[0]));
    expectConsistent(m, "invert");
}

TEST(ObjMeshSelect, growThenShrinkGivesBackOneVertexOnClosedMeshes) {
    LUMO_REQUIRE_FIXTURES();
    for (const char* rel : {"spot/spot_triangulated.obj", "spot/spot_quadrangulated.obj"}) {
        ObjMesh m;
        ASSERT_TRUE(loadQuiet(m, fixture(rel)));
        const int32_t start = int32_t(m.vertices.size() / 3);
        m.selectVertex(start, 0);
        m.growSelection();
        const size_t ring = selectedCount(m);
        EXPECT_GT(ring, 3u) << rel;
        m.growSelection();
        EXPECT_GT(selectedCount(m), ring) << rel;
        m.shrinkSelection();
        EXPECT_EQ(selectedCount(m), ring) << rel;
        m.shrinkSelection();
        EXPECT_EQ(selectedCount(m), 1u) << rel;
        EXPECT_TRUE(m.isVertexSelected(start)) << rel;
        expectConsistent(m, rel);
    }
}

// ---- Smoothing ----

TEST(ObjMeshSmooth, replacesSelectedVerticesByTheirNeighbourAverageInPoolOrder) {
    ObjMesh m = texturedGrid(3);
    const int a = vertexAt(m, 1, 1), b = vertexAt(m, 2, 1);
    m.vertices[size_t(a)].z = 4;
    m.vertices[size_t(b)].z = 8;
    m.releaseBMesh(); // rebuild from the moved positions
    m.selectVertex(a, 0);
    m.selectVertex(b, 1);
    m.smoothSelected(1);
    // a sees b's old height (8) among its 4 neighbours; b then sees a's new one.
    EXPECT_FLOAT_EQ(m.vertices[size_t(a)].z, 2.0f);
    EXPECT_FLOAT_EQ(m.vertices[size_t(b)].z, 0.5f);
    EXPECT_FLOAT_EQ(m.vertices[size_t(a)].x, 1.0f);
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        if (int(i) != a && int(i) != b) {
            EXPECT_EQ(m.vertices[i].z, 0.0f);
        }
    }
    expectConsistent(m, "smooth");
    m.smoothSelected(10);
    EXPECT_NEAR(m.vertices[size_t(a)].z, 0.0f, 1e-4f);
    EXPECT_NEAR(m.normals[size_t(a)].z, 1.0f, 1e-3f) << "normals recomputed";
}

TEST(ObjMeshSmooth, aVertexWithoutNeighboursKeepsItsPosition) {
    ObjMesh m = texturedGrid(1);
    m.vertices.emplace_back(5.0f, 6.0f, 7.0f); // loose vertex
    m.vertexFlags.push_back(0);
    for (int32_t i = 0; i < int32_t(m.vertices.size()); ++i)
        m.selectVertex(i, 1);
    m.smoothSelected(3);
    const math3d::Vec3 p = m.vertices.back();
    EXPECT_EQ(p.x, 5.0f);
    EXPECT_EQ(p.y, 6.0f);
    EXPECT_EQ(p.z, 7.0f);
    EXPECT_FALSE(std::isnan(m.vertices[0].x));
    expectConsistent(m, "loose smooth");
}

// ---- Deleting ----

TEST(ObjMeshDelete, keepsTextureCoordinatesMaterialsAndColoursOfWhatRemains) {
    const int n = 4;
    ObjMesh m = texturedGrid(n);
    const std::vector<math3d::Vec3> oldColours = m.colors;
    const std::vector<math3d::Vec3> oldVerts = m.vertices;
    m.selectVertex(vertexAt(m, 1, 1), 0);
    m.selectVertex(vertexAt(m, 3, 2), 1);
    m.deleteSelected();
    EXPECT_EQ(m.vertices.size(), oldVerts.size() - 2);
    EXPECT_EQ(m.faces.size(), size_t(n * n - 8) * 2);
    EXPECT_EQ(m.bmesh, nullptr);
    EXPECT_FALSE(m.hasSelectedVertex());
    expectConsistent(m, "delete");
    for (const Face& f : m.faces) {
        ASSERT_EQ(f.count, 3);
        float cx = 0;
        for (int k = 0; k < 3; ++k) {
            const math3d::Vec3 p = m.vertices[size_t(f.v[k])];
            ASSERT_GE(f.t[k], 0);
            EXPECT_FLOAT_EQ(m.texCoords[size_t(f.t[k])].u, p.x / n);
            EXPECT_FLOAT_EQ(m.texCoords[size_t(f.t[k])].v, p.y / n);
            EXPECT_EQ(f.n[k], f.v[k]);
            cx += p.x / 3;
        }
        EXPECT_EQ(f.material, cx < n / 2 ? 0 : 1);
    }
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        const int old = int(m.colors[i].x); // colour x held the old index
        EXPECT_EQ(m.vertices[i].x, oldVerts[size_t(old)].x);
        EXPECT_EQ(m.vertices[i].y, oldVerts[size_t(old)].y);
    }
    EXPECT_EQ(m.normals.size(), m.vertices.size());
    // Another edit rebuilds the half-edge mesh from the new arrays.
    m.selectVertex(0, 0);
    expectConsistent(m, "after delete");
}

TEST(ObjMeshDelete, withoutFacesDropsSelectedVerticesWithTheirAttributes) {
    ObjMesh m;
    for (int i = 0; i < 5; ++i) {
        m.vertices.emplace_back(float(i), 0.0f, 0.0f);
        m.normals.emplace_back(0.0f, float(i), 0.0f);
        m.colors.emplace_back(0.0f, 0.0f, float(i));
    }
    m.vertexFlags = {0, 1, 0, 1, 0};
    m.deleteSelected();
    ASSERT_EQ(m.vertices.size(), 3u);
    const float want[3] = {0, 2, 4};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(m.vertices[i].x, want[i]);
        EXPECT_EQ(m.normals[i].y, want[i]);
        EXPECT_EQ(m.colors[i].z, want[i]);
    }
    EXPECT_EQ(m.vertexFlags, std::vector<uint32_t>(3, 0));
    EXPECT_EQ(m.bmesh, nullptr);
    EXPECT_TRUE(m.bmeshVerts.empty());
}

TEST(ObjMeshDelete, deletingEverythingLeavesAnEmptyMesh) {
    ObjMesh m = texturedGrid(2);
    m.selectLinked(0, 0);
    m.deleteSelected();
    EXPECT_TRUE(m.vertices.empty());
    EXPECT_TRUE(m.faces.empty());
    expectConsistent(m, "delete all");
    m.selectVertex(0, 0); // nothing to select: no effect, no crash
    EXPECT_TRUE(m.vertexFlags.empty());
}

// ---- Copies ----

TEST(ObjMeshCopy, deepCopiesTheHalfEdgeMeshWithItsSelection) {
    ObjMesh m = texturedGrid(3);
    m.selectVertex(5, 0);
    m.selectVertex(6, 1);
    ObjMesh c(m);
    ASSERT_NE(c.bmesh, nullptr);
    EXPECT_NE(c.bmesh, m.bmesh);
    EXPECT_EQ(c.vertexFlags, m.vertexFlags);
    expectConsistent(c, "copy");
    for (size_t i = 0; i < m.bmeshVerts.size(); ++i)
        EXPECT_NE(c.bmeshVerts[i], m.bmeshVerts[i]);
    c.selectVertex(0, 0);
    EXPECT_TRUE(m.isVertexSelected(5)) << "the source keeps its selection";
    expectConsistent(m, "source");
}

TEST(ObjMeshCopy, submeshGetsAFreshUnselectedHalfEdgeMesh) {
    ObjMesh m = texturedGrid(3);
    m.selectVertex(0, 0);
    ObjMesh out;
    {
        TraceCapture quiet;
        m.extractSubmesh({0, 1, 4, 5, 2, 6}, &out);
    }
    ASSERT_NE(out.bmesh, nullptr);
    EXPECT_EQ(out.faces.size(), 2u);
    EXPECT_FALSE(out.hasSelectedVertex());
    EXPECT_EQ(out.bmesh->totFace, 2u);
    expectConsistent(out, "submesh");
}

// ---- Random sequences on real meshes ----

namespace {

void randomEdits(ObjMesh& m, unsigned seed, int steps) {
    std::mt19937 rng(seed);
    for (int s = 0; s < steps && !m.vertices.empty(); ++s) {
        const int32_t n = int32_t(m.vertices.size());
        const int32_t v = int32_t(rng() % uint32_t(n));
        const int op = int(rng() % 14);
        switch (op) {
        case 0: m.selectVertex(v, int(rng() % 4)); break;
        case 1: m.selectLinked(v, 1 + int(rng() % 2)); break;
        case 2: m.selectShortestPath(v, int32_t(rng() % uint32_t(n))); break;
        case 3: m.invertSelection(); break;
        case 4: m.growSelection(); break;
        case 5: m.shrinkSelection(); break;
        case 6: m.hideSelectedFaces(); break;
        case 7: m.unhideAllFaces(); break;
        case 8: m.smoothSelected(1 + int(rng() % 3)); break;
        case 9:
            // Keep deletions small so the mesh survives the run.
            m.selectVertex(v, 0);
            m.growSelection();
            m.deleteSelected();
            break;
        case 10: m.getBMesh(rng() % 2 == 0); break;
        case 11: {
            ObjMesh copy(m);
            expectConsistent(copy, "copy");
            break;
        }
        case 12: m.selectVertex(v, 1); break;
        default: m.selectVertex(v, 2); break;
        }
        std::ostringstream where;
        where << "seed " << seed << " step " << s << " op " << op;
        expectConsistent(m, where.str());
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

} // namespace

TEST(ObjMeshRandom, realMeshesStayValidThroughRandomEdits) {
    LUMO_REQUIRE_FIXTURES();
    TraceCapture quiet;
    unsigned seed = 100;
    for (const char* rel : {"spot/spot_triangulated.obj", "spot/spot_quadrangulated.obj", "teapot.obj"}) {
        ObjMesh original;
        ASSERT_TRUE(original.loadObj(fixture(rel), false, false) == 1) << rel;
        for (int run = 0; run < 2; ++run, ++seed) {
            ObjMesh m(original);
            randomEdits(m, seed, 40);
            if (HasFatalFailure())
                return;
        }
    }
}

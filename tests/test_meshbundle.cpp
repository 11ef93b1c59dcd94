// Mesh bundle writer and reader: round trips on a real mesh, the layout rules
// of the blendshape ranges and indices, the descriptor checked by an
// independent JSON parser, and hostile input for the reader.

#include "TestSupport.h"

#include "base/Paths.h"
#include "pack/CFinalFormat.h"
#include "pack/DeltaRanges.h"
#include "base/LargeAllocator.h"
#include "pack/MeshBundleReader.h"

#include <gtest/gtest.h>
#include <tiny_obj_loader.h>

#include <cmath>
#include <cstdlib>
#include <random>

using namespace testing_support;
using math3d::Vec3;

namespace {

// A mesh part with its owned arrays; part() points into them.
struct PartData {
    std::string name = "part";
    std::vector<Vec3> shapes; // 47 x n
    std::vector<float> texCoords;
    std::vector<MeshCorner> corners;
    std::vector<float> weight; // alt stream source, indexed like texCoords
    BundleMaterial material;
    int32_t eyeMarker = 0;
    bool withWeight = false;

    size_t n() const { return shapes.size() / meshbundle::kShapeCount; }
    MeshPart part() const {
        MeshPart p;
        p.name = name;
        p.vertexCount = n();
        p.shapes = shapes.data();
        p.texCoords = texCoords.data();
        p.texCoordCount = texCoords.size() / 2;
        p.corners = corners.data();
        p.triangleCount = corners.size() / 3;
        p.material = material;
        p.eyeMarker = eyeMarker;
        if (withWeight)
            p.altStreams.push_back({"weight", weight.data(), weight.size() / 2});
        return p;
    }
    void setBase(const std::vector<Vec3>& base) {
        shapes.assign(base.size() * meshbundle::kShapeCount, Vec3());
        std::copy(base.begin(), base.end(), shapes.begin());
    }
    Vec3& offset(int b, size_t v) { return shapes[static_cast<size_t>(b) * n() + v]; }
};

// Loads an OBJ file with tinyobjloader (triangulated) into a static part.
bool loadObj(const std::string& path, PartData& d) {
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(), nullptr, true))
        return false;
    std::vector<Vec3> base;
    for (size_t i = 0; i + 2 < attrib.vertices.size(); i += 3)
        base.emplace_back(attrib.vertices[i], attrib.vertices[i + 1], attrib.vertices[i + 2]);
    d.setBase(base);
    d.texCoords = attrib.texcoords;
    for (const tinyobj::shape_t& s : shapes)
        for (const tinyobj::index_t& idx : s.mesh.indices)
            d.corners.push_back({idx.vertex_index, idx.texcoord_index, idx.normal_index});
    return true;
}

// Blendshape b moves about a tenth of the positions, some by a lot; slots
// 40..46 stay empty.
void addSyntheticBlendshapes(PartData& d) {
    for (int b = 1; b < 40; ++b)
        for (size_t v = 0; v < d.n(); ++v)
            if ((v * 7 + static_cast<size_t>(b) * 13) % 10 == 0)
                d.offset(b, v) = Vec3(0.05f * std::sin(float(b + v)), 0.3f * std::cos(float(b * v)), 0.01f * b);
}

struct Bundle {
    std::vector<MeshBundleMesh> meshes;
    std::vector<uint8_t> bin;
    std::string json;
    std::string error;
};

Bundle roundTrip(CFinalFormat& f) {
    Bundle b;
    f.padForSave();
    b.bin = f.binaryBytes();
    b.json = f.jsonText();
    EXPECT_TRUE(MeshBundleReader::fromBytes(b.bin.data(), b.bin.size(), b.json.data(), b.json.size(), b.meshes,
                                            b.error))
        << b.error;
    return b;
}

// Largest per-axis distance from `expected`, in quantization steps of the drawcall.
float stepsApart(const MeshBundleMesh& m, const std::vector<int16_t>& pn, size_t vertex, Vec3 expected) {
    float worst = 0;
    for (int k = 0; k < 3; ++k) {
        const float step = m.info.scales[k] / 32767.0f;
        const float decoded = pn[vertex * 6 + k] * step;
        worst = std::max(worst, std::fabs(decoded - expected[k]) / step);
    }
    return worst;
}

// Quad of two triangles in the plane z = 0 (x, y in [0, 1]).
PartData quad() {
    PartData d;
    d.setBase({Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0), Vec3(0, 1, 0)});
    d.texCoords = {0, 0, 1, 0, 1, 1, 0, 1};
    d.corners = {{0, 0, -1}, {1, 1, -1}, {2, 2, -1}, {0, 0, -1}, {2, 2, -1}, {3, 3, -1}};
    return d;
}

} // namespace

TEST(MeshBundle, realMeshRoundTripsWithinOneQuantizationStep) {
    LUMO_REQUIRE_FIXTURES();
    PartData d;
    ASSERT_TRUE(loadObj(fixturesDir() + "/meshes/spot/spot_triangulated.obj", d));
    ASSERT_GT(d.n(), 1000u);
    addSyntheticBlendshapes(d);
    d.withWeight = true;
    for (size_t i = 0; i < d.texCoords.size() / 2; ++i)
        d.weight.insert(d.weight.end(), {float(i % 256) / 255.0f, 0.0f});
    CFinalFormat f;
    ASSERT_TRUE(f.ConvertBlendshape(d.part()));
    const Bundle b = roundTrip(f);
    ASSERT_EQ(b.meshes.size(), 1u);
    const MeshBundleMesh& m = b.meshes[0];
    EXPECT_TRUE(m.info.is_dynamic);
    ASSERT_EQ(m.info.count, d.corners.size() / 3);
    ASSERT_EQ(m.info.alt_streams.size(), 3u);
    EXPECT_EQ(m.info.alt_streams[0].name, "weight");
    EXPECT_EQ(m.info.alt_streams[0].channels, 1u);
    EXPECT_EQ(m.info.alt_streams[1].name, "dPds");
    EXPECT_EQ(m.info.alt_streams[2].name, "dPdt");

    std::vector<std::vector<int16_t>> shapes(meshbundle::kShapeCount);
    for (int s = 0; s < meshbundle::kShapeCount; ++s)
        shapes[s] = m.shapePN(s);
    float worst = 0;
    for (size_t c = 0; c < d.corners.size(); ++c) {
        const MeshCorner& in = d.corners[c];
        const uint32_t out = m.triangles[c];
        ASSERT_LT(out, m.vertexCount);
        worst = std::max(worst, stepsApart(m, m.pn, out, d.shapes[in.v]));
        for (int s = 1; s < meshbundle::kShapeCount; ++s)
            worst = std::max(worst, stepsApart(m, shapes[s], out, d.shapes[in.v] + d.offset(s, in.v)));
        EXPECT_EQ(m.texCoords[out * 2], d.texCoords[in.t * 2]);
        EXPECT_EQ(m.texCoords[out * 2 + 1], 1.0f - d.texCoords[in.t * 2 + 1]);
        EXPECT_EQ(m.altStreams[0][out], d.weight[in.t * 2]);
        for (int a = 1; a <= 2; ++a) {
            const float* t = &m.altStreams[a][out * 3];
            EXPECT_NEAR(t[0] * t[0] + t[1] * t[1] + t[2] * t[2], 1.0f, 1e-4f);
        }
    }
    EXPECT_LE(worst, 1.0f);
}

TEST(MeshBundle, normalsAreAreaWeightedAndDecodeBack) {
    LUMO_REQUIRE_FIXTURES();
    PartData d;
    ASSERT_TRUE(loadObj(fixturesDir() + "/meshes/spot/spot_triangulated.obj", d));
    CFinalFormat f;
    ASSERT_TRUE(f.ConvertBlendshape(d.part()));
    const Bundle b = roundTrip(f);
    ASSERT_EQ(b.meshes.size(), 1u);
    const MeshBundleMesh& m = b.meshes[0];
    std::vector<Vec3> sum(d.n());
    for (size_t c = 0; c < d.corners.size(); c += 3) {
        const Vec3 p0 = d.shapes[d.corners[c].v], p1 = d.shapes[d.corners[c + 1].v], p2 = d.shapes[d.corners[c + 2].v];
        const Vec3 n = math3d::cross(p2 - p0, p1 - p0);
        for (int k = 0; k < 3; ++k)
            sum[d.corners[c + k].v] = sum[d.corners[c + k].v] + n;
    }
    for (size_t c = 0; c < d.corners.size(); ++c) {
        const Vec3 expected = math3d::normalize(sum[d.corners[c].v]);
        float decoded[3];
        m.normal(m.triangles[c], decoded);
        for (int k = 0; k < 3; ++k)
            ASSERT_NEAR(decoded[k], expected[k], 2.0f / 32767.0f);
    }
}

TEST(MeshBundle, staticMeshHasNoBlendshapeEntries) {
    PartData d = quad();
    CFinalFormat f;
    ASSERT_TRUE(f.ConvertBlendshape(d.part()));
    ASSERT_EQ(f.drawcalls.size(), 1u);
    EXPECT_FALSE(f.drawcalls[0].isDynamic());
    EXPECT_EQ(f.drawcalls[0].paddRanges(), 0u);
    EXPECT_TRUE(f.bs_padd_ranges.empty());
    EXPECT_TRUE(f.bs_add_ranges.empty());
    EXPECT_TRUE(f.vbo_dyn.empty());
    const Bundle b = roundTrip(f);
    ASSERT_EQ(b.meshes.size(), 1u);
    EXPECT_TRUE(b.meshes[0].blendshapes.empty());
    EXPECT_NE(b.json.find("\"is_dynamic\":0, \n"), std::string::npos);
    EXPECT_NE(b.json.find("\"ofs_bs_padd_ranges\":[" + std::to_string(f.vbo_dyn.size() * 2 + f.bs_deltas.size() * 2 +
                                                                     f.bs_add_ranges.size() * 4) +
                          ",0],\n"),
              std::string::npos);
}

TEST(MeshBundle, adjacentMovedVerticesShareOneRange) {
    PartData d = quad();
    d.offset(1, 0) = Vec3(0.1f, 0, 0);
    d.offset(1, 1) = Vec3(0, 0.1f, 0);
    CFinalFormat f;
    ASSERT_TRUE(f.ConvertBlendshape(d.part()));
    const DrawCall& dc = f.drawcalls[0];
    ASSERT_TRUE(dc.isDynamic());
    ASSERT_EQ(f.bs_padd_ranges.size(), 47u);
    EXPECT_EQ(f.bs_padd_ranges[0], 0u);
    for (size_t i = 1; i < 47; ++i)
        EXPECT_EQ(f.bs_padd_ranges[i], 3u) << i;
    ASSERT_EQ(f.bs_add_ranges.size(), 3u);
    EXPECT_EQ(f.bs_add_ranges[0], static_cast<uint32_t>(dc.ofs_PN));
    EXPECT_EQ(f.bs_add_ranges[1], 0u);
    EXPECT_EQ(f.bs_add_ranges[2], 16u);
    EXPECT_EQ(f.bs_deltas.size(), 16u);
}

TEST(MeshBundle, rangesJoinTouchingCoversAndSplitAtGaps) {
    struct Case {
        std::vector<uint64_t> masks;
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
    };
    const std::vector<Case> cases = {
        {{1, 1}, {{0, 16}}},                     // vertex 0 [0, 8), vertex 1 [0, 16)
        {{1, 0, 1}, {{0, 24}}},                  // [0, 8) and [8, 24) touch: 8 is not past 8, one range
        {{1, 0, 0, 0, 1}, {{0, 8}, {24, 32}}},   // a gap starts a new range
        {{0, 0, 1, 1, 1}, {{8, 32}}},            // nothing open before the first moved vertex
        {{2, 2, 2}, {}},                         // other blendshape only
        {{}, {}},
    };
    for (const Case& c : cases) {
        std::vector<DeltaRanges::Range> out;
        DeltaRanges::collect(c.masks.data(), c.masks.size(), 1, out);
        std::vector<std::pair<uint32_t, uint32_t>> got;
        for (const DeltaRanges::Range& r : out)
            got.emplace_back(r.begin, r.end);
        EXPECT_EQ(got, c.ranges);
    }
}

TEST(MeshBundle, largeScratchArraysKeepTheirContentsWhileGrowingPastTheMappingSize) {
    // Grows from small heap blocks to mapped ones and back down by copying.
    LargeVector<uint32_t> v;
    const uint32_t count = (3u << 20) / sizeof(uint32_t) + 7; // 3 MiB and a bit
    for (uint32_t i = 0; i < count; ++i)
        v.push_back(i * 2654435761u);
    for (uint32_t i = 0; i < count; i += 997)
        ASSERT_EQ(v[i], i * 2654435761u);
    EXPECT_EQ(v.back(), (count - 1) * 2654435761u);
#ifndef __SANITIZE_ADDRESS__
    EXPECT_EQ(reinterpret_cast<uintptr_t>(v.data()) % (2u << 20), 0u) << "mapped blocks start on a 2 MiB boundary";
#endif
    LargeVector<uint32_t> copy(v.begin(), v.begin() + 100);
    v.clear();
    v.shrink_to_fit();
    ASSERT_EQ(copy.size(), 100u);
    EXPECT_EQ(copy[99], 99u * 2654435761u);
    LargeVector<math3d::Vec3> zeros(300000);
    for (size_t i = 0; i < zeros.size(); i += 4099)
        EXPECT_EQ(zeros[i].x + zeros[i].y + zeros[i].z, 0.0f);
}

TEST(MeshBundle, rangesOfAllBlendshapesInOnePassMatchOneBlendshapeAtATime) {
    // Sparse and dense random masks, including the top bits and vertices
    // moved by no blendshape.
    std::mt19937_64 rng(7);
    for (const int percent : {2, 30, 95}) {
        std::vector<uint64_t> masks(500);
        for (uint64_t& m : masks)
            for (int b = 0; b < 64; ++b)
                if (static_cast<int>(rng() % 100) < percent)
                    m |= uint64_t(1) << b;
        for (const int bitCount : {46, 64}) {
            std::vector<std::vector<DeltaRanges::Range>> all;
            DeltaRanges::collectAll(masks.data(), masks.size(), bitCount, all);
            ASSERT_EQ(all.size(), static_cast<size_t>(bitCount));
            for (int b = 0; b < bitCount; ++b) {
                std::vector<DeltaRanges::Range> one;
                DeltaRanges::collect(masks.data(), masks.size(), uint64_t(1) << b, one);
                ASSERT_EQ(all[b].size(), one.size()) << "bit " << b << ", " << percent << "%";
                for (size_t i = 0; i < one.size(); ++i) {
                    EXPECT_EQ(all[b][i].begin, one[i].begin);
                    EXPECT_EQ(all[b][i].end, one[i].end);
                }
            }
        }
    }
}

TEST(MeshBundle, verticesWithLargerMasksComeFirstAndEveryShapeDecodes) {
    std::vector<Vec3> base;
    for (int i = 0; i < 12; ++i)
        base.emplace_back(float(i), float(i % 2), 0);
    PartData d;
    d.setBase(base);
    for (int i = 0; i + 2 < 12; ++i)
        d.corners.insert(d.corners.end(), {{i, -1, -1}, {i + 1, -1, -1}, {i + 2, -1, -1}});
    for (int v = 0; v < 9; ++v)
        d.offset(3, v) = Vec3(0, 0, 0.5f); // positions 0..8 move in blendshape 3
    d.offset(46, 5) = Vec3(0, 0, 1);       // position 5 has the largest mask: it sorts first
    d.offset(2, 8) = Vec3(1, 0, 0);        // position 8 next
    CFinalFormat f;
    ASSERT_TRUE(f.ConvertBlendshape(d.part()));
    const Bundle b = roundTrip(f);
    ASSERT_EQ(b.meshes.size(), 1u);
    const MeshBundleMesh& m = b.meshes[0];
    ASSERT_EQ(m.blendshapes.size(), 46u);
    EXPECT_TRUE(f.drawcalls[0].isDynamic());
    float first[3];
    m.position(0, first);
    EXPECT_NEAR(first[0], 5.0f, 1e-3f);
    m.position(1, first);
    EXPECT_NEAR(first[0], 8.0f, 1e-3f);
    // Blendshape 46: only the first vertex, [0, 8); blendshape 2: the second, [0, 16).
    ASSERT_EQ(m.blendshapes[45].size(), 1u);
    EXPECT_EQ(m.blendshapes[45][0].start, 0u);
    EXPECT_EQ(m.blendshapes[45][0].values.size(), 8u);
    ASSERT_EQ(m.blendshapes[1].size(), 1u);
    EXPECT_EQ(m.blendshapes[1][0].values.size(), 16u);
    // Blendshape 3 moves the first nine vertices: one range [0, 56).
    ASSERT_EQ(m.blendshapes[2].size(), 1u);
    EXPECT_EQ(m.blendshapes[2][0].values.size(), 56u);
    EXPECT_TRUE(m.blendshapes[0].empty());
    for (const int s : {2, 3, 46}) {
        const std::vector<int16_t> pn = m.shapePN(s);
        for (size_t c = 0; c < d.corners.size(); ++c)
            EXPECT_LE(stepsApart(m, pn, m.triangles[c], base[d.corners[c].v] + d.offset(s, d.corners[c].v)), 1.0f);
    }
}

TEST(MeshBundle, indicesWidenTo32BitAbove65536Vertices) {
    struct Case {
        int vertices;
        bool wide;
    };
    for (const Case c : {Case{65536, false}, Case{65537, true}}) {
        std::vector<Vec3> base;
        for (int i = 0; i < c.vertices; ++i)
            base.emplace_back(float(i % 256), float(i / 256), float(i % 3));
        PartData d;
        d.setBase(base);
        for (int i = 0; i + 2 < c.vertices; i += 1)
            d.corners.insert(d.corners.end(), {{i, -1, -1}, {i + 1, -1, -1}, {i + 2, -1, -1}});
        CFinalFormat f;
        ASSERT_TRUE(f.ConvertBlendshape(d.part(), false));
        EXPECT_EQ(f.drawcalls[0].isEbo32(), c.wide) << c.vertices;
        EXPECT_EQ(f.ebo.size(), d.corners.size() * (c.wide ? 2 : 1));
        const Bundle b = roundTrip(f);
        ASSERT_EQ(b.meshes.size(), 1u);
        EXPECT_EQ(b.meshes[0].vertexCount, static_cast<size_t>(c.vertices));
        EXPECT_EQ(b.meshes[0].info.is_ebo_32bit, c.wide);
        EXPECT_NE(b.json.find(std::string("\"is_ebo_32bit\":") + (c.wide ? "1" : "0")), std::string::npos);
        for (size_t k = 0; k < d.corners.size(); ++k)
            ASSERT_LE(stepsApart(b.meshes[0], b.meshes[0].pn, b.meshes[0].triangles[k], base[d.corners[k].v]), 1.0f);
    }
}

TEST(MeshBundle, cornerWithTwoTextureCoordinatesBecomesTwoVertices) {
    PartData d = quad();
    d.texCoords.insert(d.texCoords.end(), {0.5f, 0.25f});
    d.corners[3].t = 4; // position 0 in the second triangle uses another texture coordinate
    CFinalFormat f;
    ASSERT_TRUE(f.ConvertBlendshape(d.part()));
    const Bundle b = roundTrip(f);
    const MeshBundleMesh& m = b.meshes[0];
    ASSERT_EQ(m.vertexCount, 5u);
    const uint32_t first = m.triangles[0], second = m.triangles[3];
    EXPECT_NE(first, second);
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(m.pn[first * 6 + k], m.pn[second * 6 + k]);
    EXPECT_EQ(m.texCoords[second * 2], 0.5f);
    EXPECT_EQ(m.texCoords[second * 2 + 1], 0.75f);
}

TEST(MeshBundle, splitNumbersVerticesInOrderOfFirstAppearanceFromTheLastCorner) {
    PartData d = quad();
    CFinalFormat f;
    ASSERT_TRUE(f.ConvertBlendshape(d.part()));
    // Corners visited 2, 1, 0 then 2(=3), 0(seen), ...: positions 2, 1, 0, 3 get 0, 1, 2, 3.
    const std::vector<uint16_t> expected = {2, 1, 0, 2, 0, 3};
    EXPECT_EQ(f.ebo, expected);
}

TEST(MeshBundle, decisionsKeepEveryValueFinite) {
    // Flat mesh in z = 0: range 0 on z gets the scale of range 1.
    PartData flat = quad();
    // Zero-area mesh: every position the same.
    PartData point = quad();
    for (size_t v = 0; v < 4; ++v)
        point.shapes[v] = Vec3(2, 4, 6);
    // Corner without a texture coordinate, degenerate texture triangles.
    PartData untextured = quad();
    for (MeshCorner& c : untextured.corners)
        c.t = -1;
    CFinalFormat f;
    ASSERT_TRUE(f.ConvertBlendshape(flat.part()));
    ASSERT_TRUE(f.ConvertBlendshape(point.part()));
    ASSERT_TRUE(f.ConvertBlendshape(untextured.part()));
    EXPECT_EQ(f.drawcalls[0].scales[2], 1.0f);
    EXPECT_EQ(f.drawcalls[1].P_center[0], 2.0f);
    EXPECT_EQ(f.drawcalls[1].P_center[1], 4.0f);
    EXPECT_EQ(f.drawcalls[1].P_center[2], 6.0f);
    EXPECT_FLOAT_EQ(f.drawcalls[0].P_center[0], 0.5f);
    EXPECT_FLOAT_EQ(f.drawcalls[0].P_center[1], 0.5f);
    const Bundle b = roundTrip(f);
    ASSERT_EQ(b.meshes.size(), 3u);
    EXPECT_EQ(b.json.find("nan"), std::string::npos);
    EXPECT_EQ(b.json.find("inf"), std::string::npos);
    const MeshBundleMesh& u = b.meshes[2];
    for (size_t i = 0; i < u.vertexCount; ++i) {
        EXPECT_EQ(u.texCoords[i * 2], 0.0f);
        EXPECT_EQ(u.texCoords[i * 2 + 1], 1.0f);
        const float* s = &u.altStreams[0][i * 3];
        const float* t = &u.altStreams[1][i * 3];
        EXPECT_EQ(std::vector<float>(s, s + 3), (std::vector<float>{1, 0, 0}));
        EXPECT_EQ(std::vector<float>(t, t + 3), (std::vector<float>{0, 1, 0}));
    }
}

TEST(MeshBundle, deltaBeyondTheFormulaRangeWidensTheAxis) {
    PartData d = quad();
    for (size_t v = 0; v < 4; ++v)
        d.shapes[v].x = -0.5f;
    for (size_t v = 0; v < 4; ++v)
        d.offset(1, v) = Vec3(1.0f, 0, 0); // -0.5 -> 0.5: a delta of twice the formula's range
    CFinalFormat f;
    ASSERT_TRUE(f.ConvertBlendshape(d.part()));
    EXPECT_FLOAT_EQ(f.drawcalls[0].scales[0], 1.0f);
    const Bundle b = roundTrip(f);
    const MeshBundleMesh& m = b.meshes[0];
    const std::vector<int16_t> pn = m.shapePN(1);
    for (size_t c = 0; c < d.corners.size(); ++c)
        EXPECT_LE(stepsApart(m, pn, m.triangles[c], d.shapes[d.corners[c].v] + d.offset(1, d.corners[c].v)), 1.0f);
}

TEST(MeshBundle, materialTextureBecomesWebpAndEmptyTextureWhite) {
    PartData a = quad(), b = quad(), e = quad();
    a.material.textureFile = "/some/folder/skin.tex.png";
    b.material.textureFile = "";
    e.eyeMarker = 1;
    CFinalFormat f;
    ASSERT_TRUE(f.ConvertBlendshape(a.part()));
    ASSERT_TRUE(f.ConvertBlendshape(b.part()));
    ASSERT_TRUE(f.ConvertBlendshape(e.part()));
    const std::string json = f.jsonText();
    EXPECT_NE(json.find("\"tex\":\"skin.tex.webp\"\n}}"), std::string::npos);
    EXPECT_NE(json.find("\"tex\":\"white.png\"\n}}"), std::string::npos);
    EXPECT_TRUE(f.drawcalls[2].isEye());
    EXPECT_FALSE(f.drawcalls[0].isEye());
    EXPECT_NE(json.find("\"is_eye\":1,\n"), std::string::npos);
}

TEST(MeshBundle, descriptorIsJsonWhoseBuffersTileTheBinary) {
    PartData moving = quad(), still = quad();
    moving.offset(5, 2) = Vec3(0, 0, 0.25f);
    moving.name = "odd \"name\" with \\ and \t\x01";
    moving.material.textureFile = "C:\\tex\\a\"b.png";
    moving.withWeight = true;
    moving.weight = {0.1f, 0.5f, 0.2f, 0, 0.3f, 0, 0.4f, 0};
    CFinalFormat f;
    ASSERT_TRUE(f.ConvertBlendshape(moving.part()));
    ASSERT_TRUE(f.ConvertBlendshape(still.part()));
    ScratchDir dir;
    TraceCapture trace;
    ASSERT_TRUE(f.Save(dir.file("avatar")));
    const std::string script =
        "import json, os, sys\n"
        "d = json.load(open(sys.argv[1] + '.json'))\n"
        "size = os.path.getsize(sys.argv[1] + '.bin')\n"
        "keys = ['ofs_vbo_dyn','ofs_bs_deltas','ofs_bs_add_ranges','ofs_bs_padd_ranges','ofs_vbo_static','ofs_ebo']\n"
        "at = 0\n"
        "for k in keys:\n"
        "    o, n = d[k]\n"
        "    assert o == at, (k, o, at)\n"
        "    at += n\n"
        "assert at == size, (at, size)\n"
        "dc = d['drawcalls']\n"
        "assert len(dc) == 2\n"
        "assert dc[0]['name'] == 'odd \"name\" with \\\\ and \\t\\x01', repr(dc[0]['name'])\n"
        "assert dc[0]['mat']['tex'] == 'a\"b.webp', dc[0]['mat']['tex']\n"
        "assert dc[0]['is_dynamic'] == 1 and dc[1]['is_dynamic'] == 0\n"
        "assert [a['name'] for a in dc[0]['alt_streams']] == ['weight','dPds','dPdt']\n"
        "assert dc[0]['alt_streams'][0]['channels'] == 2\n"
        "assert d['ofs_bs_padd_ranges'][1] == 47 * 4\n";
    writeFile(dir.file("check.py"), script);
    const std::string cmd = "python3 " + dir.file("check.py") + " " + dir.file("avatar");
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    std::vector<MeshBundleMesh> meshes;
    std::string error;
    ASSERT_TRUE(MeshBundleReader::fromFiles(dir.file("avatar"), meshes, error)) << error;
    EXPECT_EQ(meshes[0].info.name, moving.name);
}

TEST(MeshBundle, saveReportsAFileItCannotWrite) {
    PartData d = quad();
    CFinalFormat f;
    ASSERT_TRUE(f.ConvertBlendshape(d.part()));
    ScratchDir dir;
    TraceCapture trace;
    EXPECT_FALSE(f.Save(dir.file("missing-folder/avatar")));
    EXPECT_TRUE(trace.contains("CFinalFormat::Save can not write file"));
    EXPECT_FALSE(fileExists(dir.file("missing-folder/avatar.bin")));
}

TEST(MeshBundle, partWithoutShapesOrTrianglesAddsNothing) {
    PartData d = quad();
    MeshPart noShapes = d.part();
    noShapes.shapes = nullptr;
    MeshPart noCorners = d.part();
    noCorners.triangleCount = 0;
    MeshPart badCorners = d.part();
    std::vector<MeshCorner> outOfRange = {{0, 0, -1}, {1, 0, -1}, {9, 0, -1}};
    badCorners.corners = outOfRange.data();
    badCorners.triangleCount = 1;
    CFinalFormat f;
    TraceCapture trace;
    EXPECT_FALSE(f.ConvertBlendshape(noShapes));
    EXPECT_FALSE(f.ConvertBlendshape(noCorners));
    EXPECT_FALSE(f.ConvertBlendshape(badCorners));
    EXPECT_TRUE(f.drawcalls.empty());
    EXPECT_TRUE(f.vbo_static.empty());
    EXPECT_TRUE(f.ebo.empty());
}

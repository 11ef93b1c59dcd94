// MainDataHolder::init over the shipped data folder and over broken ones, the
// nearest reference vertex, and the shipped meshes and pictures checked with
// readers written elsewhere (tinyobjloader, stb_image).

#include "TestSupport.h"

#include "geometry/ObjMesh.h"
#include "images/ImageBuffer.h"
#include "scene/Item_2d.h"
#include "scene/MainDataHolder.h"
#include "scenegraph/GLNode.h"

#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <tiny_obj_loader.h>

#include <filesystem>
#include <limits>
#include <random>

namespace fs = std::filesystem;
using math3d::Vec3;
using testing_support::ScratchDir;
using testing_support::TraceCapture;

namespace {

const std::string kRoot = LUMO_SOURCE_DIR;
const std::string kRef = kRoot + "/data/ref/";

// A copy of the shipped data folder under a scratch root, without `missing`.
std::string copyDataWithout(const ScratchDir& dir, const std::vector<std::string>& missing) {
    fs::copy(kRoot + "/data", dir.path() + "/data", fs::copy_options::recursive);
    for (const std::string& m : missing)
        fs::remove(dir.path() + "/data/ref/" + m);
    return dir.path();
}

float dist2(Vec3 a, Vec3 b) {
    const Vec3 d = a - b;
    return math3d::dot(d, d);
}

struct Rgba {
    int w = 0, h = 0;
    std::vector<unsigned char> px;
    int alpha(int x, int y) const { return px[(static_cast<size_t>(y) * w + x) * 4 + 3]; }
};

Rgba loadWithStb(const std::string& path) {
    Rgba img;
    int n = 0;
    unsigned char* data = stbi_load(path.c_str(), &img.w, &img.h, &n, 4);
    if (data) {
        img.px.assign(data, data + static_cast<size_t>(img.w) * img.h * 4);
        stbi_image_free(data);
    }
    return img;
}

class ReferenceDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        TraceCapture quiet;
        ASSERT_TRUE(holder.init(kRoot));
        item = dynamic_cast<Item_2d*>(holder.createItem(kItem2d));
        ASSERT_NE(item, nullptr);
        item->mesh->node = &node;
    }
    // Nearest vertex of a sticker placed at (x, y, z) in the 2D layout.
    int anchorAt(Vec3 p, Vec3& found) {
        node.setPosition(p);
        return holder.nearestReferenceVertex(item, found);
    }

    MainDataHolder holder;
    GLNode node;
    Item_2d* item = nullptr;
};

} // namespace

TEST(ReferenceData, freshStartLoadsEveryReferenceFile) {
    MainDataHolder holder;
    TraceCapture trace;
    ASSERT_TRUE(holder.init(kRoot));
    const std::string all = trace.all();
    EXPECT_EQ(all.find("can not load"), std::string::npos) << all;
    EXPECT_EQ(all.find("can't load"), std::string::npos) << all;
    EXPECT_EQ(all.find("Error reading"), std::string::npos) << all;
    EXPECT_EQ(all.find("Unknown command"), std::string::npos) << all;

    EXPECT_EQ(holder.dataDir, kRoot + "/data");
    EXPECT_EQ(holder.projectsDir, kRoot + "/Projects");
    EXPECT_EQ(holder.templatePath, kRoot + "/data/tools/3d_template/script.js");
    EXPECT_EQ(holder.referenceHeadPath, kRef + "ar_demo3.obj");
    EXPECT_EQ(holder.defaultArTexture, kRef + "default_ar.png");
    EXPECT_EQ(holder.default2dFrame, kRef + "default_00000.png");
    EXPECT_EQ(holder.projectName, "default");

    EXPECT_EQ(holder.referenceHead->name, "reference_head");
    EXPECT_TRUE(holder.referenceHead->modeOverride);
    EXPECT_EQ(holder.referenceHead->modeOverrideValue, 0xE4);
    EXPECT_FALSE(holder.referenceHead->pickable);
    EXPECT_GE(holder.referenceHead->vertices.size(), 2000u);
    EXPECT_EQ(holder.referenceVertices.records().size(), holder.referenceHead->vertices.size());
    EXPECT_EQ(holder.templateQuad->name, "2d_template");
    EXPECT_EQ(holder.phoneMesh->name, "phone");
    EXPECT_EQ(holder.phoneMesh->modeOverrideValue, 0x64);
    EXPECT_FALSE(holder.phoneMesh->pickable);
    ASSERT_FALSE(holder.phoneMesh->materials.empty());
    EXPECT_EQ(holder.phoneMesh->materials[0].textureFile, kRef + "phone2.png");
    EXPECT_TRUE(trace.contains("m_ref_phone:" + kRef + "phone2.png\nreference_quad.mtl\n"));
    EXPECT_EQ(holder.previewPicture->width, 430);
    EXPECT_EQ(holder.previewPicture->height, 881);
    EXPECT_FALSE(holder.avatarHead->vertices.empty());
    EXPECT_FALSE(holder.avatarBody->vertices.empty());
    EXPECT_EQ(holder.avatarBody->modeOverrideValue, 0xE4);
    EXPECT_FALSE(holder.avatarHead->pickable);

    // The parsed template declares tex_albedo with a texture default.
    EXPECT_TRUE(holder.parseTemplate());
    bool albedo = false;
    for (const TemplateParam& p : holder.materialParams)
        if (p.name == "tex_albedo") {
            albedo = true;
            EXPECT_EQ(p.type, "texture");
            EXPECT_TRUE(p.isTex);
            EXPECT_TRUE(fs::exists(p.texPath)) << p.texPath;
        }
    EXPECT_TRUE(albedo);
    for (const auto* list : {&holder.globalParams, &holder.materialParams})
        for (const TemplateParam& p : *list)
            EXPECT_FALSE(p.type.empty()) << p.name << ": description is not valid JSON";
    EXPECT_TRUE(holder.loadFaceActions());
}

TEST(ReferenceData, missingFilesAreReportedAndInitFails) {
    struct Case {
        std::vector<std::string> missing;
        bool result;
        std::string line;
    } cases[] = {
        {{"ar_demo3.obj"}, false, "can not load obj path:%/data/ref/ar_demo3.obj"},
        {{"reference_quad.obj"}, false, "can not load obj path:%/data/ref/reference_quad.obj"},
        {{"phonevexa.png"}, true, "vexa phone can't load\n"},
        {{"p2a_headMale.obj"}, true, "can not load obj path:%/data/ref/p2a_headMale.obj"},
        {{"p2a_bodyMale.obj"}, true, "can not load obj path:%/data/ref/p2a_bodyMale.obj"},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        const std::string root = copyDataWithout(dir, c.missing);
        std::string line = c.line;
        if (line.find('%') != std::string::npos)
            line.replace(line.find('%'), 1, root);
        MainDataHolder holder;
        TraceCapture trace;
        EXPECT_EQ(holder.init(root), c.result) << c.missing[0];
        EXPECT_TRUE(trace.contains(line)) << c.missing[0] << "\n" << trace.all();
        if (!c.result) {
            // A holder that was ready stays ready, with its old paths and meshes.
            MainDataHolder ready;
            ASSERT_TRUE(ready.init(kRoot));
            EXPECT_FALSE(ready.init(root));
            EXPECT_EQ(ready.dataDir, kRoot + "/data");
            EXPECT_EQ(ready.templatePath, kRoot + "/data/tools/3d_template/script.js");
            EXPECT_FALSE(ready.referenceHead->vertices.empty());
            EXPECT_FALSE(ready.templateQuad->faces.empty());
            Vec3 p(7, 8, 9);
            Item_2d item;
            item.type = kItem2d;
            EXPECT_EQ(holder.nearestReferenceVertex(&item, p), -1);
            EXPECT_FLOAT_EQ(p.x, 7);
        }
    }
}

TEST(ReferenceData, nearestVertexBeforeInitIsMinusOne) {
    MainDataHolder holder;
    Item_2d item;
    item.type = kItem2d;
    Vec3 p(1, 2, 3);
    EXPECT_EQ(holder.nearestReferenceVertex(&item, p), -1);
    EXPECT_FLOAT_EQ(p.x, 1);
    EXPECT_FLOAT_EQ(p.y, 2);
    EXPECT_FLOAT_EQ(p.z, 3);
    TraceCapture quiet;
    EXPECT_FALSE(holder.init("/nonexistent/root"));
    EXPECT_EQ(holder.nearestReferenceVertex(&item, p), -1);
    EXPECT_FLOAT_EQ(p.x, 1);
}

TEST_F(ReferenceDataTest, nearestVertexMatchesBruteForce) {
    const std::vector<Vec3>& verts = holder.referenceHead->vertices;
    std::mt19937 rng(4242);
    std::uniform_real_distribution<float> ux(-250, 250), uy(-400, 400), uz(-100, 600);
    for (int i = 0; i < 3000; ++i) {
        const Vec3 p(ux(rng), uy(rng), uz(rng));
        Vec3 found(0, 0, 0);
        const int got = anchorAt(p, found);
        ASSERT_GE(got, 0);
        ASSERT_LT(static_cast<size_t>(got), verts.size());
        const Vec3 q(-p.x, p.y, p.z);
        float best = std::numeric_limits<float>::max();
        for (const Vec3& v : verts)
            best = std::min(best, dist2(v, q));
        EXPECT_FLOAT_EQ(dist2(verts[static_cast<size_t>(got)], q), best) << i;
        EXPECT_FLOAT_EQ(found.x, verts[static_cast<size_t>(got)].x);
        EXPECT_FLOAT_EQ(found.y, verts[static_cast<size_t>(got)].y);
        EXPECT_FLOAT_EQ(found.z, verts[static_cast<size_t>(got)].z);
    }
}

TEST_F(ReferenceDataTest, stickersOverFeaturesAnchorToThatFeature) {
    // Layout positions of stickers at depth 80 and the face feature (in the
    // head's own coordinates, x mirrored) each must land on.
    struct Case {
        const char* feature;
        Vec3 sticker;
        float fx, fy, radius;
    } cases[] = {
        {"eye seen on the left", {42, 35, 80}, -42, 35, 15},
        {"eye seen on the right", {-42, 35, 80}, 42, 35, 15},
        {"nose", {0, -15, 80}, 0, -15, 12},
        {"mouth", {0, -71, 80}, 0, -71, 15},
        {"mouth corner", {-22, -72, 80}, 22, -72, 15},
        {"chin", {0, -120, 80}, 0, -120, 15},
    };
    for (const Case& c : cases) {
        Vec3 found;
        ASSERT_GE(anchorAt(c.sticker, found), 0);
        const float d = std::hypot(found.x - c.fx, found.y - c.fy);
        EXPECT_LT(d, c.radius) << c.feature << " -> (" << found.x << ", " << found.y << ", " << found.z << ")";
    }
}

TEST_F(ReferenceDataTest, otherKindsAndOddPositionsGiveMinusOne) {
    TraceCapture quiet;
    Vec3 p(1, 1, 1);
    EXPECT_EQ(holder.nearestReferenceVertex(nullptr, p), -1);
    EXPECT_EQ(holder.nearestReferenceVertex(holder.createItem(kItemAr), p), -1);
    EXPECT_EQ(holder.nearestReferenceVertex(holder.createItem(kItem3d), p), -1);
    EXPECT_FLOAT_EQ(p.x, 1);
    EXPECT_EQ(anchorAt({std::numeric_limits<float>::quiet_NaN(), 0, 0}, p), -1);
    EXPECT_GE(anchorAt({3e38f, -3e38f, 3e38f}, p), 0);
    // An item without a node is taken at the origin.
    item->mesh->node = nullptr;
    Vec3 atOrigin;
    const int i = holder.nearestReferenceVertex(item, atOrigin);
    item->mesh->node = &node;
    Vec3 viaNode;
    EXPECT_EQ(anchorAt({0, 0, 0}, viaNode), i);
}

TEST(ReferenceFiles, meshesReadTheSameWithTinyObjLoader) {
    struct Case {
        const char* file;
        size_t minVertices, maxVertices;
        const char* texture;
    } cases[] = {
        {"ar_demo3.obj", 2000, 8000, "default_ar.png"},
        {"reference_quad.obj", 4, 4, "default_00000.png"},
        {"p2a_headMale.obj", 500, 10000, ""},
        {"p2a_bodyMale.obj", 500, 10000, ""},
    };
    for (const Case& c : cases) {
        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, err;
        ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, (kRef + c.file).c_str(), kRef.c_str(),
                                     false))
            << c.file << err;
        EXPECT_TRUE(warn.empty()) << c.file << warn;
        const size_t nv = attrib.vertices.size() / 3;
        EXPECT_GE(nv, c.minVertices) << c.file;
        EXPECT_LE(nv, c.maxVertices) << c.file;
        EXPECT_EQ(attrib.texcoords.size() / 2, nv) << c.file;
        for (float t : attrib.texcoords) {
            EXPECT_GE(t, 0.0f) << c.file;
            EXPECT_LE(t, 1.0f) << c.file;
        }
        ASSERT_EQ(materials.size(), 1u) << c.file;
        EXPECT_EQ(materials[0].diffuse_texname, c.texture) << c.file;
        if (*c.texture) {
            EXPECT_TRUE(fs::exists(kRef + c.texture));
        }

        ObjMesh mesh;
        TraceCapture quiet;
        ASSERT_EQ(mesh.loadObj(kRef + c.file, false, false), 1) << c.file;
        ASSERT_EQ(mesh.vertices.size(), nv) << c.file;
        size_t faces = 0;
        for (const auto& s : shapes)
            faces += s.mesh.num_face_vertices.size();
        EXPECT_EQ(mesh.faces.size(), faces) << c.file;
        for (size_t i = 0; i < nv; ++i)
            EXPECT_FLOAT_EQ(mesh.vertices[i].z, attrib.vertices[3 * i + 2]) << c.file;
    }
}

TEST(ReferenceFiles, faceLooksTowardsTheStickersAndFitsTheScreen) {
    ObjMesh face;
    TraceCapture quiet;
    ASSERT_EQ(face.loadObj(kRef + "ar_demo3.obj", true, false), 1);
    face.computeBounds();
    EXPECT_GT(face.boundsMin.x, -190);
    EXPECT_LT(face.boundsMax.x, 190);
    EXPECT_GT(face.boundsMin.y, -336);
    EXPECT_LT(face.boundsMax.y, 336);
    EXPECT_GT(face.boundsMax.x - face.boundsMin.x, 150); // a face, not a speck
    EXPECT_LT(face.boundsMax.z, 80);                      // behind the stickers
    // Most of the surface faces the front view (+z).
    size_t towards = 0;
    for (const Vec3& n : face.faceNormals)
        towards += n.z > 0.3f;
    EXPECT_GT(towards, face.faceNormals.size() * 9 / 10);
}

TEST(ReferenceFiles, picturesHaveTheirSizesAndTransparentScreens) {
    const Rgba vexa = loadWithStb(kRef + "phonevexa.png");
    ASSERT_EQ(vexa.w, 430);
    ASSERT_EQ(vexa.h, 881);
    // Camera area: x in [-0.88372093, 0.88837206], y in +-0.76390463 of the
    // half sizes; transparent just inside, opaque just outside.
    const double left = (1 - 0.88372093) / 2 * 430, right = (1 + 0.88837206) / 2 * 430;
    const double top = (1 - 0.76390463) / 2 * 881, bottom = (1 + 0.76390463) / 2 * 881;
    const int cx = 215, cy = 440;
    EXPECT_EQ(vexa.alpha(cx, cy), 0);
    EXPECT_EQ(vexa.alpha(static_cast<int>(left) + 2, cy), 0);
    EXPECT_EQ(vexa.alpha(static_cast<int>(right) - 2, cy), 0);
    EXPECT_EQ(vexa.alpha(cx, static_cast<int>(top) + 2), 0);
    EXPECT_EQ(vexa.alpha(cx, static_cast<int>(bottom) - 2), 0);
    EXPECT_EQ(vexa.alpha(static_cast<int>(left) - 3, cy), 255);
    EXPECT_EQ(vexa.alpha(static_cast<int>(right) + 3, cy), 255);
    EXPECT_EQ(vexa.alpha(cx, static_cast<int>(top) - 3), 255);
    EXPECT_EQ(vexa.alpha(cx, static_cast<int>(bottom) + 3), 255);

    // The 3D views' frame: quad scaled 900 x 1100 at (0, 7); the 380 x 672
    // screen centred on the origin must be see-through.
    const Rgba frame = loadWithStb(kRef + "phone2.png");
    ASSERT_GT(frame.w, 0);
    auto px = [&](double ux) { return static_cast<int>((ux / 900 + 0.5) * frame.w); };
    auto py = [&](double uy) { return static_cast<int>((0.5 - (uy - 7) / 1100) * frame.h); };
    for (double x : {-185.0, 0.0, 185.0})
        for (double y : {-330.0, 0.0, 330.0})
            EXPECT_EQ(frame.alpha(px(x), py(y)), 0) << x << "," << y;
    EXPECT_EQ(frame.alpha(px(0), py(360)), 255);
    EXPECT_EQ(frame.alpha(px(200), py(0)), 255);

    const Rgba sticker = loadWithStb(kRef + "default_00000.png");
    ASSERT_GT(sticker.w, 0);
    size_t opaque = 0;
    for (size_t i = 3; i < sticker.px.size(); i += 4)
        opaque += sticker.px[i] == 255;
    EXPECT_GT(opaque, sticker.px.size() / 4 / 4); // a visible sticker, not a blank frame

    for (const char* white : {"white.png", "DefaultWeight.png"}) {
        const Rgba w = loadWithStb(kRef + white);
        ASSERT_GT(w.w, 0) << white;
        for (unsigned char b : w.px)
            EXPECT_EQ(b, 255) << white;
    }
    const Rgba grey = loadWithStb(kRoot + "/data/tools/3d_template/grey.png");
    ASSERT_GT(grey.w, 0);
    EXPECT_EQ(grey.px[0], 128);
}

TEST(ReferenceVertexIndex, degenerateSetsAndNonFiniteRecords) {
    ReferenceVertexIndex index;
    EXPECT_TRUE(index.empty());
    EXPECT_EQ(index.nearest({0, 0, 0}), -1);
    index.build({});
    EXPECT_EQ(index.nearest({0, 0, 0}), -1);
    index.build({{7, 1, 2, 3}});
    EXPECT_EQ(index.nearest({100, -100, 5}), 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    index.build({{0, nan, 0, 0}, {1, 0, inf, 0}, {2, 5, 5, 5}, {3, 5, 5, 5}, {4, -5, 0, 0}});
    EXPECT_EQ(index.records().size(), 5u);
    const int same = index.nearest({5, 5, 4});
    EXPECT_TRUE(same == 2 || same == 3) << same;
    EXPECT_EQ(index.nearest({0, 0, 0}), 4);
    index.build({{0, nan, nan, nan}});
    EXPECT_TRUE(index.empty());
    EXPECT_EQ(index.nearest({0, 0, 0}), -1);
    index.clear();
    EXPECT_TRUE(index.records().empty());
}

// The tree over real scanned and modelled meshes (with duplicate seam
// vertices) against a brute-force search.
TEST(ReferenceVertexIndex, matchesBruteForceOnRealMeshes) {
    LUMO_REQUIRE_FIXTURES();
    for (const char* file : {"meshes/stanford-bunny.obj", "meshes/teapot.obj"}) {
        tinyobj::attrib_t attrib;
        std::vector<tinyobj::shape_t> shapes;
        std::vector<tinyobj::material_t> materials;
        std::string warn, err;
        const std::string path = testing_support::fixturesDir() + "/" + file;
        ASSERT_TRUE(tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(), nullptr, false)) << err;
        std::vector<ReferenceVertex> records;
        float lo = std::numeric_limits<float>::max(), hi = -lo;
        for (size_t i = 0; i + 2 < attrib.vertices.size(); i += 3) {
            records.push_back({static_cast<int32_t>(i / 3), attrib.vertices[i], attrib.vertices[i + 1],
                               attrib.vertices[i + 2]});
            for (int k = 0; k < 3; ++k) {
                lo = std::min(lo, attrib.vertices[i + k]);
                hi = std::max(hi, attrib.vertices[i + k]);
            }
        }
        ReferenceVertexIndex index;
        index.build(records);
        std::mt19937 rng(7);
        const float margin = (hi - lo) * 0.25f;
        std::uniform_real_distribution<float> u(lo - margin, hi + margin);
        for (int q = 0; q < 300; ++q) {
            const Vec3 p(u(rng), u(rng), u(rng));
            const int got = index.nearest(p);
            ASSERT_GE(got, 0);
            float best = std::numeric_limits<float>::max();
            for (const ReferenceVertex& r : records)
                best = std::min(best, dist2({r.x, r.y, r.z}, p));
            const ReferenceVertex& r = records[static_cast<size_t>(got)];
            EXPECT_FLOAT_EQ(dist2({r.x, r.y, r.z}, p), best) << file << " query " << q;
        }
    }
}

// The shipped data is exactly what the documented generator writes.
TEST(ReferenceFiles, generatorReproducesTheShippedFiles) {
    ASSERT_EQ(std::system("python3 --version > /dev/null 2>&1"), 0) << "python3 is missing; scripts/setup.sh installs it";
    ScratchDir dir;
    const std::string cmd = "python3 " + kRoot + "/tools/make_reference_data.py " + dir.path() + " > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    size_t compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path() + "/data")) {
        if (!entry.is_regular_file())
            continue;
        const std::string rel = fs::relative(entry.path(), dir.path()).string();
        EXPECT_EQ(testing_support::readFile(entry.path().string()), testing_support::readFile(kRoot + "/" + rel))
            << rel << " differs from what the generator writes";
        ++compared;
    }
    EXPECT_EQ(compared, 16u); // 14 files of data/ref, 2 pictures of the 3D template
}

// 3D bundles in the runtime: the spot mesh packed and signed by our own 3D
// pipeline drawn on a real photograph where the face is, its opacity turned
// to 0 live, and mesh bundles with hostile ranges refused.

#include "PackTestSupport.h"
#include "TestSupport.h"
#include "geometry/ObjMesh.h"
#include "pack/Pack3d.h"
#include "pack/PackController.h"
#include "scene/Item_3d.h"
#include "scene/ProjectSnapshot.h"
#include "scenegraph/GLNode.h"
#include "vexa/FaceTracker.h"
#include "vexa/MeshData.h"
#include "vexa/Runtime.h"
#include "vexa/play/HeadlessGl.h"
#include "vexa/vexa.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <regex>

using namespace pack_test;
using testing_support::fixturesDir;
using testing_support::readFile;

namespace {

void setUpRuntime() {
    std::string reason;
    ASSERT_TRUE(vexa::makeHeadlessGlCurrent(reason)) << reason;
    static bool ready = false;
    if (!ready) {
        const std::string blob = readFile(std::string(LUMO_SOURCE_DIR) + "/data/vexa/v3.bundle");
        ASSERT_EQ(lumoSetup(blob.data(), int(blob.size())), 1) << lumoGetLastError();
        ready = true;
    }
    vexa::internal::useFrameClock(30);
}

// A mesh part packed with the 3D template and signed; the bundle's bytes and out/.
struct Packed3d {
    PackWorkspace ws{"spot3d"};
    std::string bytes;
    explicit Packed3d(std::unique_ptr<Item_3d> part, GLNode* node) {
        auto globals = std::make_unique<Item_3d>();
        globals->type = kItem3d;
        globals->name = "Global Params";
        globals->meshRole = kRoleGlobalParams;
        part->mesh->node = node;
        ProjectSnapshot input;
        input.root = ws.root();
        input.projectName = "spot3d";
        input.items3d = {Item3dSnapshot::of(*globals), Item3dSnapshot::of(*part)};
        part->mesh->node = nullptr;
        RecordingSink sink;
        PackController pc(ws.root(), "spot3d", &sink);
        pc.setBuildSteps({}, [&](std::string& reason) { return pack3d(input, [](int) {}, &reason); });
        EXPECT_TRUE(pc.runPack(PackController::Auto, true, "spotbundle", PackController::Kind3d));
        bytes = readFile(ws.project("build/iOS/spotbundle.bundle"));
    }
};

// The spot mesh, 150 layout units tall, in front of the reference head's nose.
struct SpotBundle {
    PackWorkspace ws{"spot3d"};
    std::string bytes;
    SpotBundle() {
        auto globals = std::make_unique<Item_3d>();
        globals->type = kItem3d;
        globals->name = "Global Params";
        globals->meshRole = kRoleGlobalParams;
        auto part = std::make_unique<Item_3d>();
        part->type = kItem3d;
        part->name = "spot";
        part->meshRole = kRoleMeshPart;
        part->mesh = std::make_unique<ObjMesh>();
        const std::string dir = fixturesDir() + "/meshes/spot/";
        EXPECT_EQ(part->mesh->loadObj(dir + "spot_triangulated.obj", false, false), 1);
        part->mesh->name = "spot";  // the editor names a part's item after its mesh
        Material textured;
        textured.textureFile = dir + "spot_texture.png";
        part->mesh->materials = {textured};
        for (Face& f : part->mesh->faces)
            f.material = 0;
        part->weightMapPath = std::string(LUMO_SOURCE_DIR) + "/data/tools/3d_template/white.png";  // fully shown
        GLNode node;
        node.setPosition({0, -25, 90});
        node.setScale({90, 90, 90});
        part->mesh->node = &node;
        ProjectSnapshot input;
        input.root = ws.root();
        input.projectName = "spot3d";
        input.items3d = {Item3dSnapshot::of(*globals), Item3dSnapshot::of(*part)};
        part->mesh->node = nullptr;
        RecordingSink sink;
        PackController pc(ws.root(), "spot3d", &sink);
        pc.setBuildSteps({}, [&](std::string& reason) { return pack3d(input, [](int) {}, &reason); });
        EXPECT_TRUE(pc.runPack(PackController::Auto, true, "spotbundle", PackController::Kind3d));
        bytes = readFile(ws.project("build/iOS/spotbundle.bundle"));
    }
};

cv::Mat photo(const std::string& name) {
    cv::Mat bgr = cv::imread(fixturesDir() + "/faces/" + name, cv::IMREAD_COLOR), rgba;
    cv::cvtColor(bgr, rgba, cv::COLOR_BGR2RGBA);
    return rgba;
}

cv::Mat render(const cv::Mat& in, int item, int frames) {
    cv::Mat out;
    for (int f = 0; f < frames; ++f) {
        out = in.clone();
        EXPECT_EQ(lumoRenderItemsEx(4, out.data, 4, out.data, out.cols, out.rows, f, &item, 1), 1) << lumoGetLastError();
    }
    return out;
}

} // namespace

TEST(Vexa3d, packedSpotDrawsOnTheFaceAndOpacityZeroGivesTheFrameBack) {
    LUMO_REQUIRE_FIXTURES();
    setUpRuntime();
    SpotBundle spot;
    const int item = lumoCreateItemFromPackage(spot.bytes.data(), int(spot.bytes.size()));
    ASSERT_GT(item, 0) << lumoGetLastError();
    const cv::Mat in = photo("2009_004587.jpg");
    const cv::Mat out = render(in, item, 2);
    ASSERT_TRUE(vexa::internal::tracker()->hasFace()) << lumoGetLastError();
    const vexa::Box box = vexa::internal::tracker()->face().box;
    const cv::Rect face(int(box.x), int(box.y), int(box.width), int(box.height));
    cv::Mat diff, grey;
    cv::absdiff(in, out, diff);
    cv::cvtColor(diff, grey, cv::COLOR_RGBA2GRAY);
    const double inside = cv::mean(grey(face & cv::Rect(0, 0, in.cols, in.rows)))[0];
    EXPECT_GT(inside, 5) << "the mesh covers part of the face box";
    // Nothing changes farther than one face size from the box.
    cv::Mat outside = grey.clone();
    const cv::Rect margin(face.x - face.width, face.y - face.height, face.width * 3, face.height * 3);
    outside(margin & cv::Rect(0, 0, in.cols, in.rows)).setTo(0);
    EXPECT_EQ(cv::countNonZero(outside), 0);

    // Live parameter, as the attribute panel sends it: the part's opacity.
    ASSERT_EQ(lumoItemSetParamd(item, "{\"thing\":\"spot\",\"param\":\"opacity\"}", 0), 1) << lumoGetLastError();
    const cv::Mat clear = render(in, item, 1);
    EXPECT_LE(cv::norm(in, clear, cv::NORM_INF), 1);
    // A texture parameter loads the bundle's image: grey instead of spot's.
    ASSERT_EQ(lumoItemSetParamd(item, "{\"thing\":\"spot\",\"param\":\"opacity\"}", 1), 1);
    ASSERT_EQ(lumoItemSetParams(item, "{\"thing\":\"spot\",\"param\":\"tex_albedo\"}", "grey.png"), 1);
    const cv::Mat greyMesh = render(in, item, 1);
    EXPECT_GT(cv::norm(out, greyMesh, cv::NORM_L1), 0);
    EXPECT_EQ(lumoDestroyItem(item), 1);
}

TEST(Vexa3d, meshBundlesWithHostileRangesAreRefusedWithAReason) {
    LUMO_REQUIRE_FIXTURES();
    SpotBundle spot;
    const std::string bin = readFile(spot.ws.project("out/avatar.bin"));
    const std::string json = readFile(spot.ws.project("out/avatar.json"));
    vexa::MeshData mesh;
    std::string reason;
    ASSERT_TRUE(mesh.read(reinterpret_cast<const std::uint8_t*>(bin.data()), bin.size(), json.data(), json.size(),
                          reason))
        << reason;
    ASSERT_EQ(mesh.parts.size(), 1u);
    const struct {
        const char* pattern;
        const char* replacement;
        const char* reason;
    } cases[] = {
        {"\"count\":\\s*\\d+", "\"count\": 4000000000", "run past the end of ebo"},
        {"\"ofs_ebo\":\\s*\\d+", "\"ofs_ebo\": 4294967294", "run past the end of ebo"},
        {"\"ofs_st\":\\s*\\d+", "\"ofs_st\": 4294967292", "runs past the end of vbo_static"},
        {"\"ofs_PN\":\\s*\\d+", "\"ofs_PN\": 4294967294", "run past their buffer"},
        {"\"ofs_ebo\":\\s*\\[\\s*\\d+", "\"ofs_ebo\": [1", "does not tile avatar.bin"},
        {"\"drawcalls\"", "\"drawcallz\"", "drawcalls is not an array"},
    };
    for (const auto& c : cases) {
        const std::string bad = std::regex_replace(json, std::regex(c.pattern), c.replacement,
                                                   std::regex_constants::format_first_only);
        ASSERT_NE(bad, json) << c.pattern;
        EXPECT_FALSE(mesh.read(reinterpret_cast<const std::uint8_t*>(bin.data()), bin.size(), bad.data(), bad.size(),
                               reason))
            << c.pattern;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.pattern << ": " << reason;
        EXPECT_TRUE(mesh.parts.empty());
    }
    // Truncated binary.
    EXPECT_FALSE(mesh.read(reinterpret_cast<const std::uint8_t*>(bin.data()), bin.size() / 2, json.data(),
                           json.size(), reason));
    EXPECT_FALSE(reason.empty());
}

// Thousands of empty drawcalls over a 12-byte buffer: each part costs far
// more memory than its text, so the budget refuses the list.
TEST(Vexa3d, aListOfEmptyDrawcallsStaysWithinTheDecodedBudget) {
    const std::string dc = R"({"name":"","ofs_PN":0,"ofs_st":0,"ofs_ebo":0,"count":0,"is_dynamic":0,)"
                           R"("is_ebo_32bit":0,"scales":[1,1,1],"mat":{"Kd":[1,1,1],"tex":""}})";
    const std::string head = R"({"ofs_vbo_dyn":[0,0],"ofs_bs_deltas":[0,0],"ofs_bs_add_ranges":[0,0],)"
                             R"("ofs_bs_padd_ranges":[0,0],"ofs_vbo_static":[0,12],"ofs_ebo":[12,0],"drawcalls":[)";
    const std::uint8_t bin[12] = {};
    std::string reason;
    for (const int count : {1, 4000}) {
        std::string json = head;
        for (int i = 0; i < count; ++i)
            json += (i ? "," : "") + dc;
        json += "]}";
        vexa::MeshData mesh;
        const bool ok = mesh.read(bin, sizeof bin, json.data(), json.size(), reason);
        EXPECT_EQ(ok, count == 1) << count << ": " << reason;
        if (!ok) {
            EXPECT_NE(reason.find("times the bundle's size"), std::string::npos) << reason;
        }
    }
}

// A 40 x 20 patch over the reference head's mouth whose blendshape 1 (jaw
// open) lowers it by 60 units.
std::unique_ptr<Item_3d> mouthPatch() {
    auto make = [](float drop) {
        auto m = std::make_unique<ObjMesh>();
        m->name = "patch";
        m->vertices = {{-20, -65 - drop, 95}, {20, -65 - drop, 95}, {20, -45 - drop, 95}, {-20, -45 - drop, 95}};
        m->texCoords = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        Face f;
        f.count = 4;
        for (int i = 0; i < 4; ++i) {
            f.v[i] = f.t[i] = i;
            f.n[i] = -1;
        }
        m->faces.push_back(f);
        return m;
    };
    auto part = std::make_unique<Item_3d>();
    part->type = kItem3d;
    part->name = "patch";
    part->meshRole = kRoleMeshPart;
    part->mesh = make(0);
    part->blendshapes[1] = make(60);
    part->weightMapPath = std::string(LUMO_SOURCE_DIR) + "/data/tools/3d_template/white.png";
    return part;
}

TEST(Vexa3d, jawOpenBlendshapeLowersThePatchOnAnOpenMouth) {
    LUMO_REQUIRE_FIXTURES();
    setUpRuntime();
    Packed3d patch(mouthPatch(), nullptr);
    const int item = lumoCreateItemFromPackage(patch.bytes.data(), int(patch.bytes.size()));
    ASSERT_GT(item, 0) << lumoGetLastError();
    // Where the patch lands below the upper lip, in face box heights.
    double drop[2] = {0, 0};
    const char* photos[2] = {"2009_004587.jpg", "2008_001009.jpg"};  // closed, open mouth
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(lumoItemSetParamd(item, "@refresh", 0), 1);
        const cv::Mat in = photo(photos[i]);
        const cv::Mat out = render(in, item, 2);
        ASSERT_TRUE(vexa::internal::tracker()->hasFace()) << photos[i];
        const vexa::Box box = vexa::internal::tracker()->face().box;
        cv::Mat diff, grey;
        cv::absdiff(in, out, diff);
        cv::cvtColor(diff, grey, cv::COLOR_RGBA2GRAY);
        const cv::Moments m = cv::moments(grey > 20, true);
        ASSERT_GT(m.m00, 0) << photos[i];
        const float upperLip = vexa::internal::tracker()->face().landmarks[51].y;  // stays with the head
        drop[i] = (m.m01 / m.m00 - upperLip) / box.height;
    }
    EXPECT_GT(drop[1], drop[0] + 0.05) << "closed " << drop[0] << ", open " << drop[1];
    lumoDestroyItem(item);
}

// The pixels an effect changed: grey difference from the input above 20.
cv::Mat changedPixels(const cv::Mat& in, const cv::Mat& out) {
    cv::Mat diff, grey;
    cv::absdiff(in, out, diff);
    cv::cvtColor(diff, grey, cv::COLOR_RGBA2GRAY);
    return grey > 20;
}

TEST(Vexa3d, anItemDrawsInASecondContextThatSharesNothingAndAgainInTheFirst) {
    LUMO_REQUIRE_FIXTURES();
    setUpRuntime();
    SpotBundle spot;
    const int item = lumoCreateItemFromPackage(spot.bytes.data(), int(spot.bytes.size()));
    ASSERT_GT(item, 0) << lumoGetLastError();
    const cv::Mat in = photo("2009_004587.jpg");
    std::string reason;
    cv::Mat first;
    // The spot where context A first drew it, in context B, in A again and,
    // released while B is current, as a new item in A.
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(vexa::makeHeadlessGlCurrent(reason, i % 2)) << reason;
        const int drawn = i < 3 ? item : lumoCreateItemFromPackage(spot.bytes.data(), int(spot.bytes.size()));
        ASSERT_GT(drawn, 0) << lumoGetLastError();
        vexa::internal::tracker()->reset();
        const cv::Mat mask = changedPixels(in, render(in, drawn, 2));
        if (i == 0)
            first = mask;
        const double overlap = cv::countNonZero(mask & first) / double(cv::countNonZero(mask | first));
        EXPECT_GT(cv::countNonZero(mask), int(in.total() / 400)) << "pass " << i;
        EXPECT_GT(overlap, 0.8) << "pass " << i;
        if (i == 2) {
            ASSERT_TRUE(vexa::makeHeadlessGlCurrent(reason, 1)) << reason;
            EXPECT_EQ(lumoDestroyItem(item), 1);
        }
        if (i == 3) {
            EXPECT_EQ(lumoDestroyItem(drawn), 1);
        }
    }
}

// Mirrors `current` the way a buffer object is kept: the last change's range
// when one change behind, everything otherwise.
TEST(Vexa3d, blendshapeChangesNameTheRangeACopyOfThePositionsNeeds) {
    std::unique_ptr<Item_3d> part = mouthPatch();
    part->blendshapes[2] = std::make_unique<ObjMesh>(*part->mesh);
    part->blendshapes[2]->vertices[3].x += 30;  // moves one corner only
    Packed3d patch(std::move(part), nullptr);
    const std::string bin = readFile(patch.ws.project("out/avatar.bin"));
    const std::string json = readFile(patch.ws.project("out/avatar.json"));
    vexa::MeshData mesh;
    std::string reason;
    ASSERT_TRUE(mesh.read(reinterpret_cast<const std::uint8_t*>(bin.data()), bin.size(), json.data(), json.size(),
                          reason))
        << reason;
    vexa::MeshPart& p = mesh.parts.at(0);
    ASSERT_TRUE(p.dynamic);
    std::vector<float> copy = p.current;
    std::uint64_t copied = p.version;
    const struct {
        float jaw, corner;
        bool changes = true;
    } steps[] = {{0.5f, 0}, {0.5f, 0, false}, {0.7f, 0}, {0, 1}, {0, 1, false}, {0.2f, 0.3f}, {0.2f, 0.6f},
                 {0.9f, 0.6f}, {0, 0}, {0, 0, false}, {1, 1}};
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        float w[vexa::kBlendshapeCount] = {0};
        w[1] = steps[i].jaw;
        w[2] = steps[i].corner;
        const std::uint64_t before = p.version;
        p.applyBlendshapes(w);
        EXPECT_EQ(p.version != before, steps[i].changes) << "step " << i;
        if (copied + 1 == p.version)
            std::copy(p.current.begin() + p.changedFirst, p.current.begin() + p.changedLast + 1,
                      copy.begin() + p.changedFirst);
        copied = p.version;
        EXPECT_EQ(copy, p.current) << "step " << i;
    }
    EXPECT_NE(p.current, p.base);
}

// Whole pack runs with the real packers: a 2D project made from a real
// numbered frame sequence and a 3D project with a real OBJ mesh, each packed
// into a zip, a signed bundle and its Android copy, and checked by unzip,
// the signing script's verify mode, dwebp and the mesh bundle reader.

#include "PackTestSupport.h"
#include "TestSupport.h"
#include "geometry/ObjMesh.h"
#include "pack/BigTexJob.h"
#include "pack/BigTexPacker.h"
#include "pack/ExternalTool.h"
#include "pack/MeshBundleReader.h"
#include "pack/Pack3d.h"
#include "pack/PackController.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/MainDataHolder.h"
#include "scene/ProjectSnapshot.h"
#include "scenegraph/GLNode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using namespace pack_test;
using testing_support::fixturesDir;
using testing_support::readFile;
using testing_support::TraceCapture;

namespace {

// Unpacks the zip with unzip into a fresh folder and checks that it holds
// exactly out/'s files with out/'s bytes.
void expectZipMirrorsOut(const std::string& zip, const std::string& out, const std::string& unpackTo) {
    EXPECT_EQ(unzipNames(zip), treeNames(out));
    const ToolResult r = ExternalTool::run({ExternalTool::find("unzip"), "-q", zip, "-d", unpackTo});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    ASSERT_EQ(treeNames(unpackTo), treeNames(out));
    for (const std::string& name : treeNames(out)) {
        if (name.back() != '/') {
            EXPECT_EQ(readFile(unpackTo + "/" + name), readFile(out + "/" + name)) << name;
        }
    }
}

// The bundle verifies, carries the zip unchanged, fails once a byte of its
// zip changes, and the Android file is the same bytes.
void expectSignedBundles(const PackWorkspace& ws, const std::string& bundleName) {
    const std::string bundle = ws.project("build/iOS/" + bundleName + ".bundle");
    const std::string bytes = readFile(bundle);
    EXPECT_EQ(verifyBundle(bundle), 0);
    EXPECT_EQ(bytes.substr(96), readFile(ws.project("zip/" + bundleName + ".zip")));
    EXPECT_EQ(readFile(ws.project("build/Android/" + bundleName + ".mp3")), bytes);

    std::string damaged = bytes;
    damaged[96 + (bytes.size() - 96) / 2] ^= 0x20;
    testing_support::writeFile(ws.root() + "/damaged.bundle", damaged);
    EXPECT_NE(verifyBundle(ws.root() + "/damaged.bundle"), 0);
}

Sticker2d fixtureSticker(const std::string& firstFrame) {
    Sticker2d s;
    s.name = "models";
    s.texpath = firstFrame;
    s.fps = 12;
    s.loopcnt = 1;
    s.start_action = "null";
    s.end_action = "null";
    s.hasNode = true;
    s.translation = {0.1f, -0.2f, 0.5f};
    s.model = math3d::compose(s.translation, {0.8f, 0.8f, 1}, math3d::Mat3::identity());
    return s;
}

TEST(PackEndToEnd, twoDProjectFromRealFramesPacksIntoVerifyingBundles) {
    LUMO_REQUIRE_FIXTURES();
    TraceCapture trace;
    PackWorkspace ws("sequence2d");
    BigTexJob job;
    job.root = ws.root();
    job.projectDir = ws.project();
    job.scriptName = "sequence2d_lumoeditor_3_0_1";
    job.threads = 1;
    job.stickers.push_back(fixtureSticker(fixturesDir() + "/sequences/models_00000.png"));
    RecordingSink sink;
    PackController pc(ws.root(), "sequence2d", &sink);
    pc.setBuildSteps([&](std::string& reason) { return BigTexPacker::run(job, nullptr, &reason); }, {});

    ASSERT_TRUE(pc.runPack(PackController::Auto, true, "", PackController::Kind2d)) << trace.all();

    const std::string out = ws.project("out");
    for (const char* name : {"bigtex_0.webp", "bigtex_desc.json", "desc.json", "script.js", "eyes.glsl"})
        EXPECT_TRUE(ws.has(std::string("out/") + name)) << name;
    expectZipMirrorsOut(ws.project("zip/sequence2d.zip"), out, ws.root() + "/unpacked");
    expectSignedBundles(ws, "sequence2d");

    const std::string dwebp = ExternalTool::find("dwebp");
    ASSERT_FALSE(dwebp.empty()) << "dwebp (webp package) is not installed";
    const ToolResult decoded =
        ExternalTool::run({dwebp, ws.root() + "/unpacked/bigtex_0.webp", "-o", ws.root() + "/atlas.png"});
    EXPECT_EQ(decoded.exitCode, 0) << decoded.output;
    EXPECT_EQ(sink.messages.back().first, "Pack Success!");
}

// The pack command's core as the main window runs it: the current project of
// MainDataHolder, its 2D item made the way the editor makes items, packed
// from its snapshot by the real packer wired by forSnapshot.
TEST(PackEndToEnd, currentProjectOfTheDataHolderPacksThroughThePackCommand) {
    LUMO_REQUIRE_FIXTURES();
    TraceCapture trace;
    PackWorkspace ws("holder2d");
    const std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    ASSERT_TRUE(holder->init(ws.root())) << trace.all();
    holder->projectName = "holder2d";
    holder->projectType = kProject2d;
    Item* item = holder->createItem(kItem2d);
    ASSERT_NE(item, nullptr);
    auto* sticker = static_cast<Item_2d*>(item);
    sticker->texpath = fixturesDir() + "/sequences/models_00003.png";
    GLNode node;
    node.setPosition({0, 0.1f, 0.2f});
    sticker->mesh->node = &node;
    RecordingSink sink;

    const auto snapshot = std::make_shared<const ProjectSnapshot>(ProjectSnapshot::capture(*holder));
    const bool packed = PackController::forSnapshot(snapshot, &sink).packProject(holder->projectType, 0);

    sticker->mesh->node = nullptr;
    holder->deleteItem(item);
    holder->projectName = "default";
    ASSERT_TRUE(packed) << trace.all();
    EXPECT_TRUE(trace.contains("Pack 2d success!"));
    EXPECT_TRUE(ws.has("out/bigtex_0.webp"));
    expectSignedBundles(ws, "holder2d");
    const auto advances = std::count(sink.calls.begin(), sink.calls.end(), std::string("advance 5"));
    EXPECT_GT(advances, 2) << "the packer's own progress reaches the status sink";
}

// The spot mesh with its texture on every face, as a 3D item's mesh part.
std::unique_ptr<Item_3d> spotPart() {
    auto item = std::make_unique<Item_3d>();
    item->type = kItem3d;
    item->name = "spot";
    item->meshRole = kRoleMeshPart;
    item->mesh = std::make_unique<ObjMesh>();
    if (item->mesh->loadObj(fixturesDir() + "/meshes/spot/spot_triangulated.obj", false, false) != 1)
        return nullptr;
    Material textured;
    textured.textureFile = fixturesDir() + "/meshes/spot/spot_texture.png";
    item->mesh->materials = {textured};
    for (Face& f : item->mesh->faces)
        f.material = 0;
    item->weightMapPath = fixturesDir() + "/meshes/spot/spot_texture.png";
    TemplateParam texture;
    texture.scope = "m";
    texture.type = "texture";
    texture.name = "diffuse";
    texture.values = "spot_texture.png";
    texture.isTex = true;
    texture.texPath = textured.textureFile;
    item->param = {texture};
    return item;
}

TEST(PackEndToEnd, threeDProjectWithRealObjPacksIntoVerifyingBundles) {
    LUMO_REQUIRE_FIXTURES();
    TraceCapture trace;
    PackWorkspace ws("spot3d");
    auto globals = std::make_unique<Item_3d>();
    globals->type = kItem3d;
    globals->name = "Global Params";
    globals->meshRole = kRoleGlobalParams;
    std::unique_ptr<Item_3d> part = spotPart();
    ASSERT_TRUE(part) << "spot_triangulated.obj did not load";
    const size_t objVertices = part->mesh->vertices.size();
    RecordingSink sink;
    ProjectSnapshot input;
    input.root = ws.root();
    input.projectName = "spot3d";
    input.items3d = {Item3dSnapshot::of(*globals), Item3dSnapshot::of(*part)};
    PackController pc(ws.root(), "spot3d", &sink);
    pc.setBuildSteps({}, [&](std::string& reason) {
        return pack3d(input, [&](int n) { sink.advanceProgress(n); }, &reason);
    });

    ASSERT_TRUE(pc.runPack(PackController::Auto, true, "spotbundle", PackController::Kind3d)) << trace.all();

    const std::string out = ws.project("out");
    for (const char* name : {"avatar.bin", "avatar.json", "globals.json", "materials.json", "script.js",
                             "frag.glsl", "vert.glsl", "spot_texture.webp"})
        EXPECT_TRUE(ws.has(std::string("out/") + name)) << name;
    const std::string unpacked = ws.root() + "/unpacked";
    expectZipMirrorsOut(ws.project("zip/spotbundle.zip"), out, unpacked);
    expectSignedBundles(ws, "spotbundle");

    std::vector<MeshBundleMesh> meshes;
    std::string error;
    ASSERT_TRUE(MeshBundleReader::fromFiles(unpacked + "/avatar", meshes, error)) << error;
    ASSERT_EQ(meshes.size(), 1u);
    EXPECT_GE(meshes[0].vertexCount, objVertices) << "split vertices never fall below the OBJ's";
    EXPECT_EQ(meshes[0].info.mat.tex, "spot_texture.webp");
}

} // namespace

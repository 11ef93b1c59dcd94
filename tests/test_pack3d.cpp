// The 3D pack pipeline: parameter JSON files, the world-space shape array
// and weight stream, and a whole pack3d run read back through the mesh
// bundle reader.

#include "TestSupport.h"

#include "base/Constants.h"
#include "base/Paths.h"
#include "geometry/ObjMesh.h"
#include "pack/BundleName.h"
#include "pack/CFinalFormat.h"
#include "pack/ConvertBlendshape.h"
#include "pack/MeshBundleReader.h"
#include "pack/Pack3d.h"
#include "pack/ShapeArray.h"
#include "images/ImageBuffer.h"
#include "scene/Item_3d.h"
#include "scene/ProjectSnapshot.h"
#include "scenegraph/GLNode.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>

using namespace testing_support;
using math3d::Vec3;

namespace {

TemplateParam floatParam(const std::string& name, float value) {
    TemplateParam p;
    p.name = name;
    p.type = "slider";
    p.valuef = value;
    p.isStr = false;
    return p;
}

TemplateParam stringParam(const std::string& name, const std::string& value, const std::string& type = "edit") {
    TemplateParam p;
    p.name = name;
    p.type = type;
    p.values = value;
    p.isStr = true;
    return p;
}

std::unique_ptr<Item_3d> item3d(const std::string& name, int32_t role) {
    auto item = std::make_unique<Item_3d>();
    item->type = kItem3d;
    item->name = name;
    item->meshRole = role;
    return item;
}

// A unit quad in z = 0 with texture coordinates at its corners, one material.
std::unique_ptr<ObjMesh> quadMesh(const std::string& texture) {
    auto m = std::make_unique<ObjMesh>();
    m->name = "quad.obj";
    m->vertices = {Vec3(0, 0, 0), Vec3(1, 0, 0), Vec3(1, 1, 0), Vec3(0, 1, 0)};
    m->texCoords = {{0.1f, 0.1f}, {0.9f, 0.1f}, {0.9f, 0.9f}, {0.1f, 0.9f}};
    Face f;
    f.count = 4;
    for (int i = 0; i < 4; ++i) {
        f.v[i] = i;
        f.t[i] = i;
        f.n[i] = -1;
    }
    f.material = texture.empty() ? -1 : 0;
    m->faces.push_back(f);
    if (!texture.empty()) {
        Material mat;
        mat.textureFile = texture;
        m->materials.push_back(mat);
    }
    return m;
}

// A workspace with the project folder and a 3D template of small files.
struct Workspace {
    ScratchDir dir;
    std::string project = "proj";
    Workspace() {
        makeDir(dir.file("Projects"));
        makeDir(dir.file("Projects/proj"));
        makeDir(dir.file("data"));
        makeDir(dir.file("data/tools"));
        makeDir(dir.file("data/tools/3d_template"));
        for (const char* name : lumo::k3dTemplateFiles)
            writeFile(templateFile(name), std::string("template ") + name);
        writeFile(templateFile("script.js"), "var bundle = \"dummy\"; // dummy\n");
    }
    std::string templateFile(const std::string& name) const { return dir.file("data/tools/3d_template/" + name); }
    std::string out(const std::string& name) const { return dir.file("Projects/proj/out/" + name); }
    ProjectSnapshot input(const std::vector<std::unique_ptr<Item_3d>>& items) const {
        ProjectSnapshot in;
        in.root = dir.path();
        in.projectName = project;
        for (const auto& i : items)
            in.items3d.push_back(Item3dSnapshot::of(*i));
        return in;
    }
};

bool pythonParses(const std::string& path) {
    const std::string cmd = "python3 -c \"import json,sys; json.load(open(sys.argv[1]))\" " + path;
    return std::system(cmd.c_str()) == 0;
}

} // namespace

TEST(ParamJson, globalsAndMaterialsFollowTheLayout) {
    Workspace ws;
    makeDir(ws.out(""));
    std::vector<std::unique_ptr<Item_3d>> items;
    items.push_back(item3d("Global Params", kRoleGlobalParams));
    items.back()->param = {floatParam("alpha", 0.5f)};
    items.push_back(item3d("whole", kRoleWholeMesh));
    items.back()->param = {floatParam("ignored", 1)};
    items.push_back(item3d("part \"1\"", kRoleMeshPart));
    items.back()->param = {stringParam("label", "a\\b"), floatParam("gain", 1.0f / 3)};
    ASSERT_TRUE(writeParamJson(ws.input(items)));
    EXPECT_EQ(readFile(ws.out("globals.json")), "{\n\"name\":\"proj\"\n,\n\"alpha\":0.5\n\n}");
    EXPECT_EQ(readFile(ws.out("materials.json")),
              "{\n\n\"part \\\"1\\\"\":{\n\"label\":\"a\\\\b\"\n,\n\"gain\":0.333333\n\n}}");
    EXPECT_TRUE(pythonParses(ws.out("globals.json")));
    EXPECT_TRUE(pythonParses(ws.out("materials.json")));
}

TEST(ParamJson, emptyProjectsWriteEmptyObjects) {
    struct Case {
        int32_t role;
        std::string globals, materials;
    };
    for (const Case& c : {Case{kRoleWholeMesh, "{\n}", "{}"},
                          Case{kRoleGlobalParams, "{\n\"name\":\"proj\"\n\n}", "{}"}}) {
        Workspace ws;
        makeDir(ws.out(""));
        std::vector<std::unique_ptr<Item_3d>> items;
        items.push_back(item3d("only", c.role));
        ASSERT_TRUE(writeParamJson(ws.input(items)));
        EXPECT_EQ(readFile(ws.out("globals.json")), c.globals);
        EXPECT_EQ(readFile(ws.out("materials.json")), c.materials);
        EXPECT_TRUE(pythonParses(ws.out("globals.json")));
        EXPECT_TRUE(pythonParses(ws.out("materials.json")));
    }
}

TEST(ParamJson, textureParameterBecomesWebpOrKeepsItsValue) {
    Workspace ws;
    makeDir(ws.out(""));
    ImageBuffer image;
    image.create(4, 3, 4);
    for (size_t i = 0; i < image.data.size(); ++i)
        image.data[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(image.imwrite(ws.dir.file("skin.png")));
    std::vector<std::unique_ptr<Item_3d>> items;
    items.push_back(item3d("part", kRoleMeshPart));
    TemplateParam present = stringParam("tex_albedo", "stored.png", "texture");
    present.texPath = ws.dir.file("skin.png");
    TemplateParam missing = stringParam("tex_mask", "mask.png", "texture");
    missing.texPath = ws.dir.file("absent/mask.png");
    items.back()->param = {present, missing};
    ASSERT_TRUE(writeParamJson(ws.input(items)));
    const std::string text = readFile(ws.out("materials.json"));
    EXPECT_NE(text.find("\"tex_albedo\":\"skin.webp\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"tex_mask\":\"mask.png\""), std::string::npos) << text;
    EXPECT_FALSE(fileExists(ws.out("mask.webp")));
    ASSERT_TRUE(fileExists(ws.out("skin.webp")));
    const std::string cmd = "dwebp -quiet " + ws.out("skin.webp") + " -o " + ws.dir.file("check.png");
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST(ParamJson, unwritableGlobalsStopsBeforeMaterials) {
    Workspace ws; // no out/ folder: nothing can be written
    std::vector<std::unique_ptr<Item_3d>> items;
    TraceCapture trace;
    EXPECT_FALSE(writeParamJson(ws.input(items)));
    EXPECT_TRUE(trace.contains("can not generate global json"));
    EXPECT_FALSE(fileExists(ws.out("materials.json")));
}

TEST(ShapeArray, transformsThroughTheModelMatrixAndDividesByW) {
    ObjMesh base;
    base.vertices = {Vec3(1, 2, 3), Vec3(-1, 0, 2)};
    std::array<std::shared_ptr<const ObjMesh>, 46> blendshapes;
    auto raised = std::make_shared<ObjMesh>();
    raised->vertices = {Vec3(1, 2, 4), Vec3(-1, 0, 2)};
    blendshapes[4] = raised;
    math3d::Mat4 m = math3d::compose(Vec3(10, 0, 0), Vec3(2, 2, 2), math3d::Mat3::identity());
    const std::vector<Vec3> shapes = ShapeArray::build(base, blendshapes, m);
    ASSERT_EQ(shapes.size(), 2u * 47);
    EXPECT_FLOAT_EQ(shapes[0].x, 12);
    EXPECT_FLOAT_EQ(shapes[0].z, 6);
    EXPECT_FLOAT_EQ(shapes[5 * 2 + 0].z, 2); // blendshape 5 moves vertex 0 by 1 (x 2)
    EXPECT_FLOAT_EQ(shapes[5 * 2 + 1].z, 0);
    EXPECT_FLOAT_EQ(shapes[1 * 2 + 0].z, 0); // absent blendshape: zeros
    math3d::Mat4 projective;
    projective(3, 3) = 2; // w = 2
    EXPECT_FLOAT_EQ(ShapeArray::transform(projective, Vec3(4, 6, 8)).y, 3);
    projective(3, 3) = 0; // w = 0 is taken as 1
    EXPECT_FLOAT_EQ(ShapeArray::transform(projective, Vec3(4, 6, 8)).y, 6);
}

TEST(ShapeArray, weightIsTheRedChannelCountedFromTheTop) {
    ImageBuffer map;
    map.create(2, 2, 4); // rows stored bottom first, B G R A
    map.data[(1 * 2 + 0) * 4 + 2] = 255; // top-left red
    map.data[(0 * 2 + 1) * 4 + 2] = 51;  // bottom-right red
    map.data[(0 * 2 + 1) * 4 + 0] = 200; // bottom-right blue is not the weight
    ObjMesh mesh;
    mesh.texCoords = {{0.1f, 0.9f}, {0.9f, 0.1f}, {0.9f, 0.9f}, {-3, 7}, {5, -2}};
    const std::vector<float> st = ShapeArray::weightStream(mesh, map);
    ASSERT_EQ(st.size(), 10u);
    EXPECT_FLOAT_EQ(st[0], 1.0f);        // top-left
    EXPECT_FLOAT_EQ(st[2], 0.2f);        // bottom-right
    EXPECT_FLOAT_EQ(st[4], 0.0f);        // top-right
    EXPECT_FLOAT_EQ(st[6], 1.0f);        // clamped to the top-left
    EXPECT_FLOAT_EQ(st[8], 0.2f);        // clamped to the bottom-right
    for (size_t i = 1; i < st.size(); i += 2)
        EXPECT_EQ(st[i], 0.0f);
    ImageBuffer empty;
    EXPECT_EQ(ShapeArray::weightStream(mesh, empty), std::vector<float>(10, 0.0f));
}

TEST(Pack3d, buildsTheOutFolderAndTheBundleReadsBack) {
    Workspace ws;
    setBundleName("mybundle");
    ImageBuffer weight;
    weight.create(2, 2, 4);
    for (size_t i = 2; i < weight.data.size(); i += 4)
        weight.data[i] = 102; // red 0.4 everywhere
    ASSERT_TRUE(weight.imwrite(ws.dir.file("weight.png")));

    GLNode node;
    node.setPosition(Vec3(0, 0, 5));
    std::vector<std::unique_ptr<Item_3d>> items;
    items.push_back(item3d("Global Params", kRoleGlobalParams));
    items.push_back(item3d("moving", kRoleMeshPart));
    items.back()->mesh = quadMesh("/textures/face.png");
    items.back()->mesh->node = &node;
    items.back()->weightMapPath = ws.dir.file("weight.png");
    items.back()->blendshapes[0] = quadMesh("");
    items.back()->blendshapes[0]->vertices[2] = Vec3(1, 1, 0.5f);
    items.push_back(item3d("still", kRoleMeshPart));
    items.back()->mesh = quadMesh("");
    items.back()->weightMapPath = ws.dir.file("no-such-weight.png");
    items.push_back(item3d("whole", kRoleWholeMesh));
    items.back()->mesh = quadMesh("");

    const ProjectSnapshot in = ws.input(items);
    node.setPosition(Vec3(0, 0, 9)); // an edit after the snapshot does not reach the pack
    std::vector<int> steps;
    ASSERT_TRUE(pack3d(in, [&](int points) { steps.push_back(points); }));
    EXPECT_EQ(steps, (std::vector<int>{5, 5, 5}));

    for (const char* name : lumo::k3dTemplateFiles) {
        if (std::string(name) != "script.js") {
            EXPECT_EQ(readFile(ws.out(name)), readFile(ws.templateFile(name))) << name;
        }
    }
    EXPECT_EQ(readFile(ws.out("script.js")), "var bundle = \"mybundle_lumoeditor_3_0_1\"; // dummy\n");
    EXPECT_TRUE(pythonParses(ws.out("globals.json")));
    EXPECT_TRUE(pythonParses(ws.out("materials.json")));
    EXPECT_TRUE(pythonParses(ws.out("avatar.json")));

    std::vector<MeshBundleMesh> meshes;
    std::string error;
    ASSERT_TRUE(MeshBundleReader::fromFiles(ws.out("avatar"), meshes, error)) << error;
    ASSERT_EQ(meshes.size(), 2u);
    const MeshBundleMesh& moving = meshes[0];
    EXPECT_EQ(moving.info.name, "quad.obj");
    EXPECT_TRUE(moving.info.is_dynamic);
    EXPECT_FALSE(meshes[1].info.is_dynamic);
    EXPECT_EQ(moving.info.count, 2u);
    EXPECT_EQ(moving.info.mat.tex, "face.webp");
    EXPECT_EQ(meshes[1].info.mat.tex, "white.png");
    ASSERT_EQ(moving.info.alt_streams.size(), 3u);
    EXPECT_EQ(moving.info.alt_streams[0].channels, 1u);
    for (size_t v = 0; v < moving.vertexCount; ++v) {
        float p[3];
        moving.position(v, p);
        EXPECT_NEAR(p[2], 5.0f, 1e-3f); // the node's translation is applied
        EXPECT_NEAR(moving.altStreams[0][v], 0.4f, 1e-6f);
        EXPECT_EQ(meshes[1].altStreams[0][v], 0.0f); // unreadable weight map: 0
    }
    // Blendshape 1 raises vertex 2 by 0.5.
    const std::vector<int16_t> raised = moving.shapePN(1);
    int movedVertices = 0;
    for (size_t v = 0; v < moving.vertexCount; ++v) {
        const float z = raised[v * 6 + 2] * moving.info.scales[2] / 32767.0f;
        if (std::fabs(z - 5.5f) < 1e-3f) {
            ++movedVertices;
        } else {
            EXPECT_NEAR(z, 5.0f, 1e-3f);
        }
    }
    EXPECT_EQ(movedVertices, 1);
}

TEST(Pack3d, reportsAnUnwritableBundleAndFallsBackForMissingTemplateFiles) {
    Workspace ws;
    std::remove(ws.templateFile("grey.png").c_str());
    std::remove(ws.templateFile("script.js").c_str());
    makeDir(ws.out(""));
    makeDir(ws.out("avatar.bin")); // a folder where the bundle file belongs
    std::vector<std::unique_ptr<Item_3d>> items;
    items.push_back(item3d("part", kRoleMeshPart));
    items.back()->mesh = quadMesh("");
    TraceCapture trace;
    EXPECT_FALSE(pack3d(ws.input(items)));
    EXPECT_TRUE(trace.contains("CFinalFormat::Save can not write file"));
    EXPECT_FALSE(fileExists(ws.out("grey.png")));
    EXPECT_EQ(readFile(ws.out("frag.glsl")), "template frag.glsl");
}

// Each part of the 3D out/ set that cannot be made fails pack3d with a
// reason, although the remaining steps still ran.
TEST(Pack3d, everyStepThatFailsFailsTheRunWithItsReason) {
    struct Case {
        const char* what;
        std::function<void(Workspace&, std::vector<std::unique_ptr<Item_3d>>&)> breakIt;
        const char* reason;
    };
    const Case cases[] = {
        {"globals.json blocked", [](Workspace& ws, auto&) { makeDir(ws.out("globals.json")); }, "globals.json"},
        {"mesh part without faces",
         [](Workspace&, auto& items) { items.back()->mesh->faces.clear(); }, "could not be converted"},
        {"template file missing", [](Workspace& ws, auto&) { std::remove(ws.templateFile("grey.png").c_str()); },
         "template file"},
        {"script not writable", [](Workspace& ws, auto&) { makeDir(ws.out("script.js")); }, "script.js"},
    };
    for (const Case& c : cases) {
        Workspace ws;
        makeDir(ws.out(""));
        std::vector<std::unique_ptr<Item_3d>> items;
        items.push_back(item3d("part", kRoleMeshPart));
        items.back()->mesh = quadMesh("");
        c.breakIt(ws, items);
        TraceCapture trace;
        std::string reason;
        EXPECT_FALSE(pack3d(ws.input(items), {}, &reason)) << c.what;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
        EXPECT_EQ(readFile(ws.out("frag.glsl")), "template frag.glsl") << c.what;
    }
}

TEST(ConvertBlendshape, polygonsBecomeFansAndAFaceWithoutMaterialGetsTheDefault) {
    auto item = item3d("part", kRoleMeshPart);
    item->mesh = quadMesh("");
    const std::vector<MeshCorner> corners = triangleCorners(*item->mesh);
    ASSERT_EQ(corners.size(), 6u);
    EXPECT_EQ(corners[3].v, 0);
    EXPECT_EQ(corners[4].v, 2);
    EXPECT_EQ(corners[5].v, 3);
    std::vector<Vec3> shapes(4 * 47);
    std::copy(item->mesh->vertices.begin(), item->mesh->vertices.end(), shapes.begin());
    CFinalFormat f;
    const Item3dSnapshot part = Item3dSnapshot::of(*item);
    EXPECT_TRUE(ConvertBlendshape(f, part, shapes, {}, {}, kConvertAccumulatedRanges | kConvertNeedNormalMap));
    ASSERT_EQ(f.drawcalls.size(), 1u);
    EXPECT_TRUE(f.drawcalls[0].mat.textureFile.empty());
    EXPECT_FLOAT_EQ(f.drawcalls[0].mat.Kd[0], 0.8f);
    EXPECT_NE(f.jsonText().find("\"tex\":\"white.png\""), std::string::npos);
    EXPECT_EQ(f.drawcalls[0].alt_streams.size(), 2u);
    // Only the base: no tangent streams without kConvertNeedNormalMap; wrong sizes do nothing.
    EXPECT_TRUE(ConvertBlendshape(f, part, shapes, {}, {}, kConvertAccumulatedRanges));
    EXPECT_TRUE(f.drawcalls[1].alt_streams.empty());
    TraceCapture trace;
    shapes.pop_back();
    EXPECT_FALSE(ConvertBlendshape(f, part, shapes, {}, {}, 3));
    EXPECT_EQ(f.drawcalls.size(), 2u);
}

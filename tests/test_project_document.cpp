// The project file: a scene saved, cleared and reopened writes the same
// bytes; a hand-written file opens to the expected items; hostile files are
// refused or read with the missing-key defaults, never a crash.

#include "TestSupport.h"

#include "geometry/ObjMesh.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/Item_ar.h"
#include "scene/MainDataHolder.h"
#include "scene/ProjectDocument.h"
#include "scenegraph/SceneRegistry.h"

#include <gtest/gtest.h>

#include <filesystem>

using testing_support::ScratchDir;
using testing_support::TraceCapture;
using testing_support::writeFile;

namespace {

const std::string kRoot = LUMO_SOURCE_DIR;
const std::string kFrame = kRoot + "/data/ref/default_00000.png";

class ProjectDocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        TraceCapture quiet;
        ASSERT_TRUE(holder.init(kRoot));
        holder.parseTemplate();
        holder.projectName = "demo";
    }
    void TearDown() override {
        TraceCapture quiet;
        clearProjectItems(holder);
    }
    // Opens `bytes` as demo.lumoproj into the (cleared) holder.
    bool open(const std::string& bytes, ProjectTree& tree) {
        TraceCapture quiet;
        clearProjectItems(holder);
        ProjectDocument doc;
        if (!ProjectDocument::fromBytes(bytes, "demo", doc))
            return false;
        doc.applyTo(holder, tree);
        return true;
    }
    std::string save(const ProjectTree& tree) { return ProjectDocument::fromScene(holder, tree).toBytes(); }
    template <class T>
    T* add(int kind, const std::string& name) {
        auto* item = dynamic_cast<T*>(holder.createItem(kind));
        item->name = name;
        SceneRegistry::instance().attachToRoot(item->mesh.get());
        return item;
    }
    MainDataHolder holder;
};

// A mesh with two parts, and its blendshape 1 with the same parts.
void writeHeadMeshes(const ScratchDir& dir) {
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    const std::string mesh = "g left\n" + tri + "f 1 2 3\ng right\n" + tri + "f 4 5 6\n";
    writeFile(dir.file("head_bs0.obj"), mesh);
    writeFile(dir.file("head_bs1.obj"), mesh);
}

} // namespace

TEST_F(ProjectDocumentTest, sceneSavedClearedAndReopenedGivesTheSameBytes) {
    ScratchDir dir;
    writeHeadMeshes(dir);
    TraceCapture quiet;
    holder.projectType = kProject2d | kProject3d;
    ProjectTree tree;
    auto* single = add<Item_2d>(kItem2d, "single \"quoted\"");
    applyTexture2d(*single, kFrame);
    single->setFlipVertical(true);
    single->setX(12.5f);
    single->setY(-3.25f);
    single->fps = 12.5f;
    single->start_action = "mouth_open";
    tree.items2d.push_back({single, {}});
    auto* group = add<Item_2d>(kItem2d, "group");
    group->nodetype = kNodeGroup;
    ProjectTreeNode groupNode{group, {}};
    for (const char* name : {"m1", "m2", "m3"}) {
        auto* m = add<Item_2d>(kItem2d, name);
        m->nodetype = name[1] == '3' ? kNodeLastMember : kNodeMember;
        m->loopType = kLoopCount;
        m->loopcnt = 3;
        groupNode.children.push_back({m, {}});
    }
    tree.items2d.push_back(groupNode);
    auto* back = add<Item_2d>(kItem2d, "back");
    back->setBackground(true);
    tree.items2d.push_back({back, {}});
    tree.itemsAr.push_back({add<Item_ar>(kItemAr, "mask"), {}});
    ProjectDocument doc;
    doc.projectname = "demo";
    doc.projecttype = holder.projectType;
    doc.items3d.push_back({});
    doc.items3d[0].itemname = "head";
    doc.items3d[0].objpath = dir.file("head_bs0.obj");
    doc.items3d[0].px = 4;
    doc.items3d[0].rx = 30;
    doc.items3d[0].ry = -45;
    doc.items3d[0].rz = 10;
    doc.items3d[0].sx = doc.items3d[0].sy = doc.items3d[0].sz = 2;
    doc.items3d[0].param = {{"shininess", false, "", std::nullopt, 64.0f, false}};
    ProjectTree tree3d;
    doc.applyTo(holder, tree3d);
    tree.items3d = tree3d.items3d;
    ASSERT_EQ(tree.items3d.size(), 2u); // "Global Params" and the head
    ASSERT_EQ(tree.items3d[1].children.size(), 2u);
    const auto* part = dynamic_cast<Item_3d*>(tree.items3d[1].children[0].item);
    EXPECT_TRUE(part->blendshapes[0] && part->blendshapes[1] && !part->blendshapes[2]);

    const std::string first = save(tree);
    ProjectTree reopened;
    ASSERT_TRUE(open(first, reopened));
    EXPECT_EQ(save(reopened), first);
    // An outside JSON parser reads the file and its group of three.
    const std::string path = dir.file("demo.lumoproj");
    ASSERT_TRUE(ProjectDocument::fromScene(holder, reopened).save(path));
    EXPECT_EQ(testing_support::runCommand("node -e \"const p=JSON.parse(require('fs').readFileSync('" + path +
                                          "'));console.log(p['2D'].map(e=>e.childcnt).join(','),p['3D'][1].childs"
                                          ".length,p['2D'][1].itemname)\""),
              "0,3,0,0,0,0 2 group\n");
}

TEST_F(ProjectDocumentTest, handWrittenFileOpensToTheExpectedItems) {
    ScratchDir dir;
    writeHeadMeshes(dir);
    holder.projectType = kProject2d | kProject3d;
    const std::string part = R"({"itemname":"right","texpath":"","px":1,"py":2,"pz":3,"sx":1,"sy":1,"sz":1,)"
                             R"("param":[{"name":"tint","value":"0,1,0","texpath":"","isTex":false,"isStr":true}]})";
    const std::string file =
        R"({"projectname":"demo","projecttype":3,"2D":[)"
        R"({"itemname":"g","texpath":"./data/ref/default_00000.png","childcnt":2,"fps":10},)"
        R"({"itemname":"a","x":5,"y":6,"z":7,"w":30,"h":40,"childcnt":0,"triggerStart":3,"start_action":"blink"},)"
        R"({"itemname":"b","isfullscreen":true,"childcnt":0},{"itemname":"c"}],)"
        R"("ARMesh":[{"itemname":"m1","texpath":"/nowhere.png"},{"itemname":"m2","texpath":""}],)"
        R"("3D":[{"itemname":"Global Params","param":[{"name":"ambient","value":0.5,"isStr":false},)"
        R"({"name":"unknown","value":1,"isStr":false}]},)"
        R"({"itemname":"head","objpath":")" + dir.file("head_bs0.obj") + R"(","sx":1,"sy":1,"sz":1,"param":[],)"
        R"("childs":[)" + part + "]}]}";
    ProjectTree tree;
    ASSERT_TRUE(open(file, tree));
    ASSERT_EQ(tree.items2d.size(), 2u);
    const auto* g = static_cast<Item_2d*>(tree.items2d[0].item);
    ASSERT_EQ(tree.items2d[0].children.size(), 2u);
    const auto* a = static_cast<Item_2d*>(tree.items2d[0].children[0].item);
    const auto* b = static_cast<Item_2d*>(tree.items2d[0].children[1].item);
    EXPECT_EQ(g->texpath, kRoot + "//data/ref/default_00000.png");
    EXPECT_FALSE(g->mesh->visible);
    EXPECT_EQ(std::make_tuple(g->nodetype, a->nodetype, b->nodetype), std::make_tuple(1, 2, 3));
    EXPECT_EQ(std::make_tuple(g->fps, a->fps), std::make_tuple(10.0f, 20.0f));
    EXPECT_EQ(std::make_tuple(a->getX(), a->getY(), a->getZ(), a->getWidth(), a->getHeight()),
              std::make_tuple(5.0f, 6.0f, 7.0f, 30.0f, 40.0f));
    EXPECT_EQ(std::make_tuple(a->triggerStart, a->start_action, a->end_action), std::make_tuple(3, "blink", "null"));
    EXPECT_EQ(std::make_tuple(b->getX(), b->getZ()), std::make_tuple(0.0f, 519.0f));
    ASSERT_EQ(tree.itemsAr.size(), 2u);
    EXPECT_EQ(static_cast<Item_ar*>(tree.itemsAr[1].item)->mesh->node->position().z, 4.0f);
    ASSERT_EQ(tree.items3d.size(), 2u);
    const auto* global = static_cast<Item_3d*>(tree.items3d[0].item);
    EXPECT_EQ(global->name, "Global Params");
    EXPECT_EQ(global->param[global->paramIndex.at("ambient")].valuef, 0.5f);
    ASSERT_EQ(tree.items3d[1].children.size(), 2u);
    const auto* right = static_cast<Item_3d*>(tree.items3d[1].children[0].item);
    EXPECT_EQ(right->name, "right");
    EXPECT_EQ(right->getTranslation().z, 3.0f);
    EXPECT_EQ(right->param[right->paramIndex.at("tint")].values, "0,1,0");
    EXPECT_EQ(static_cast<Item_3d*>(tree.items3d[1].children[1].item)->getTranslation().z, 0.0f);
}

TEST_F(ProjectDocumentTest, hostileFilesAreRefusedOrReadWithDefaults) {
    struct Case {
        std::string bytes;
        bool accepted;
        size_t top2d;  // top-level 2D entries when accepted
        size_t members; // members of the first entry
    };
    const std::string deep(200000, '[');
    std::string many = R"({"projectname":"demo","2D":[)";
    for (size_t i = 0; i <= ProjectDocument::kMaxRecords; ++i)
        many += i ? ",0" : "0";
    many += "]}";
    const Case cases[] = {
        {"", false, 0, 0},
        {"not json", false, 0, 0},
        {deep, false, 0, 0},
        {many, false, 0, 0},
        {"[]", false, 0, 0},
        {R"({"projectname":7})", false, 0, 0},
        {R"({"projectname":"other"})", false, 0, 0},
        {R"({"projectname":".."})", false, 0, 0},
        {R"({"projectname":"demo","2D":{}})", true, 0, 0},
        {R"({"projectname":"demo","2D":[1,"x",null]})", true, 3, 0},
        {R"({"projectname":"demo","2D":[{"childcnt":99},{"childcnt":5},{}]})", true, 1, 2},
        {R"({"projectname":"demo","2D":[{"childcnt":-4},{"childcnt":"2"}]})", true, 2, 0},
        {R"({"projectname":"demo","2D":[{"x":"1","fps":[],"w":1e300,"itemname":3,"islandscape":1}],)"
         R"("3D":[{"param":5,"childs":{}},{"param":[7,{"isStr":true,"value":3}],"childs":[1]}],"ARMesh":"x"})",
         true, 1, 0},
    };
    for (const Case& c : cases) {
        ProjectTree tree;
        ASSERT_EQ(open(c.bytes, tree), c.accepted) << c.bytes.substr(0, 80);
        if (!c.accepted)
            continue;
        ASSERT_EQ(tree.items2d.size(), c.top2d) << c.bytes;
        if (c.top2d) {
            EXPECT_EQ(tree.items2d[0].children.size(), c.members) << c.bytes;
        }
    }
    // Every cut of a full file parses or is refused cleanly.
    ProjectTree tree;
    ASSERT_TRUE(open(cases[12].bytes, tree));
    const std::string full = save(tree);
    TraceCapture quiet;
    for (size_t n = 0; n < full.size(); ++n) {
        ProjectDocument doc;
        EXPECT_FALSE(ProjectDocument::fromBytes(full.substr(0, n), "demo", doc));
    }
    // Oversized files are refused unread.
    ScratchDir dir;
    const std::string big = dir.file("demo.lumoproj");
    writeFile(big, "{}");
    std::filesystem::resize_file(big, ProjectDocument::kMaxFileBytes + 1);
    std::string error;
    ProjectDocument doc;
    EXPECT_FALSE(ProjectDocument::fromFile(big, doc, &error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    // More tiny values than any project holds: refused before a document is built.
    std::string zeros = R"({"projectname":"demo","x":[0)";
    for (size_t i = 0; i < ProjectDocument::kMaxValues; ++i)
        zeros += ",0";
    EXPECT_FALSE(ProjectDocument::fromBytes(zeros + "]}", "demo", doc, &error));
    EXPECT_EQ(error, "project file has too many values\n");
}

TEST_F(ProjectDocumentTest, projectFoldersAreMadeOnceAndOnlyForSafeNames) {
    ScratchDir dir;
    TraceCapture quiet;
    holder.root = dir.path();
    std::filesystem::create_directory(dir.file("Projects"));
    for (const char* bad : {"", "..", "a/b", "a\\b"})
        EXPECT_FALSE(createProjectFolders(holder, bad)) << bad;
    ASSERT_TRUE(createProjectFolders(holder, "fresh"));
    EXPECT_EQ(holder.projectName, "fresh");
    for (const char* sub : {"zip", "out", "fcopy", "build/iOS", "build/Android"})
        EXPECT_TRUE(std::filesystem::is_directory(dir.file("Projects/fresh/") + sub)) << sub;
    EXPECT_FALSE(createProjectFolders(holder, "fresh"));
}

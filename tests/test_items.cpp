// Scene items: the factory's defaults, deletion, and every Item_2d / Item_3d
// operation on a mesh shown by a scene node.

#include "TestSupport.h"

#include "geometry/ObjMesh.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/Item_ar.h"
#include "scene/MainDataHolder.h"
#include "scene/SplitPath.h"
#include "scenegraph/GLNode.h"

#include <gtest/gtest.h>

#include <cmath>

using math3d::Vec3;
using testing_support::TraceCapture;

namespace {

const std::string kRoot = LUMO_SOURCE_DIR;

// A holder initialised from the repository's data folder.
class ItemsTest : public ::testing::Test {
protected:
    void SetUp() override {
        TraceCapture quiet;
        ASSERT_TRUE(holder.init(kRoot));
    }
    // A 2D item whose quad is shown by `node`.
    Item_2d* make2d() {
        auto* item = create<Item_2d>(kItem2d);
        EXPECT_NE(item, nullptr);
        if (item)
            item->mesh->node = &node;
        return item;
    }
    // A new item of kind, as its class T (null when the factory failed).
    template <class T>
    T* create(int kind) {
        TraceCapture quiet;
        return dynamic_cast<T*>(holder.createItem(kind));
    }
    // The item exists with its kind, mesh and default texture of data/ref/.
    template <class T>
    static void expectMade(const T* item, int kind, const char* texname, const char* file) {
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->type, kind);
        EXPECT_EQ(item->texname, texname);
        EXPECT_EQ(item->texpath, kRoot + "/data/ref/" + file);
        ASSERT_TRUE(item->mesh);
    }
    static void expectVec(Vec3 got, Vec3 want, const char* what) {
        EXPECT_FLOAT_EQ(got.x, want.x) << what;
        EXPECT_FLOAT_EQ(got.y, want.y) << what;
        EXPECT_FLOAT_EQ(got.z, want.z) << what;
    }

    MainDataHolder holder;
    GLNode node;
};

} // namespace

TEST_F(ItemsTest, new2dItemHasTheDocumentedDefaults) {
    TraceCapture trace;
    Item* item = holder.createItem(kItem2d);
    ASSERT_NE(item, nullptr);
    auto* i2 = dynamic_cast<Item_2d*>(item);
    ASSERT_NE(i2, nullptr);
    EXPECT_EQ(i2->type, kItem2d);
    EXPECT_TRUE(i2->name.empty());
    EXPECT_FLOAT_EQ(i2->fps, 20);
    EXPECT_TRUE(i2->keepratio);
    EXPECT_FLOAT_EQ(i2->ratio, 1);
    EXPECT_EQ(i2->triggerStart, 1);
    EXPECT_EQ(i2->triggerEnd, 0);
    EXPECT_EQ(i2->loopType, 0);
    EXPECT_EQ(i2->loopcnt, 1);
    EXPECT_EQ(i2->start_action, "null");
    EXPECT_EQ(i2->end_action, "null");
    EXPECT_TRUE(i2->needtokeepfaceaction);
    EXPECT_EQ(i2->nodetype, 0);
    EXPECT_FALSE(i2->isbackground || i2->isfullscreen || i2->islandscape || i2->flipHorizontal || i2->flipVertical);
    EXPECT_EQ(i2->texname, "default_00000");
    EXPECT_EQ(i2->texpath, kRoot + "/data/ref/default_00000.png");
    expectVec(i2->frontPosition, {0, 0, 80}, "front");
    expectVec(i2->backPosition, {0, 0, 520}, "back");
    EXPECT_TRUE(i2->chain.empty());
    EXPECT_EQ(i2->group, nullptr);
    ASSERT_TRUE(i2->mesh);
    EXPECT_NE(i2->mesh.get(), holder.templateQuad.get());
    EXPECT_EQ(i2->mesh->vertices.size(), holder.templateQuad->vertices.size());
    EXPECT_TRUE(i2->mesh->pickable);
    ASSERT_EQ(holder.m_lst_items.size(), 1u);
    EXPECT_EQ(holder.m_lst_items[0].get(), item);
    EXPECT_TRUE(trace.contains("MainDataHolder::createItem\n"));
    EXPECT_TRUE(trace.contains("material[0] ratio:1.000000\n"));
    EXPECT_TRUE(trace.contains("m_lst_items.size:1\n"));
}

TEST_F(ItemsTest, newArItemIsAnUnpickableCopyOfTheHead) {
    auto* item = create<Item_ar>(kItemAr);
    ASSERT_NO_FATAL_FAILURE(expectMade(item, kItemAr, "default_ar", "default_ar.png"));
    EXPECT_EQ(item->mesh->vertices.size(), holder.referenceHead->vertices.size());
    EXPECT_FALSE(item->mesh->pickable);
    ASSERT_FALSE(item->mesh->materials.empty());
    EXPECT_EQ(item->mesh->materials[0].textureFile, item->texpath);
}

TEST_F(ItemsTest, new3dItemTakesTheDefaultFrameAndWeightMap) {
    auto* item = create<Item_3d>(kItem3d);
    ASSERT_NO_FATAL_FAILURE(expectMade(item, kItem3d, "default_00000", "default_00000.png"));
    EXPECT_EQ(item->weightMapPath, kRoot + "/data/ref/DefaultWeight.png");
    EXPECT_EQ(item->weightMapName, "DefaultWeight");
    EXPECT_EQ(item->meshRole, kRoleWholeMesh);
    EXPECT_EQ(item->eyeMarker, 0);
    EXPECT_TRUE(item->param.empty());
    for (const auto& b : item->blendshapes)
        EXPECT_FALSE(b);
}

TEST_F(ItemsTest, unknownKindMakesNothing) {
    TraceCapture trace;
    for (int kind : {0, 4, -1, 100}) {
        EXPECT_EQ(holder.createItem(kind), nullptr) << kind;
    }
    EXPECT_TRUE(holder.m_lst_items.empty());
    EXPECT_FALSE(trace.contains("m_lst_items.size"));
}

TEST(Items, createItemBeforeInitReportsTheMissingQuad) {
    MainDataHolder holder;
    TraceCapture trace;
    for (int kind : {kItem2d, kItemAr, kItem3d})
        EXPECT_EQ(holder.createItem(kind), nullptr);
    EXPECT_EQ(trace.count("can not creat quad"), 3);
    EXPECT_TRUE(holder.m_lst_items.empty());
}

TEST_F(ItemsTest, deleteItemRemovesOnlyRegisteredItems) {
    TraceCapture trace;
    Item* a = holder.createItem(kItem2d);
    Item* b = holder.createItem(kItem3d);
    Item_2d stranger;
    EXPECT_FALSE(holder.deleteItem(&stranger));
    EXPECT_FALSE(holder.deleteItem(nullptr));
    EXPECT_EQ(holder.m_lst_items.size(), 2u);
    EXPECT_TRUE(holder.deleteItem(a));
    EXPECT_TRUE(trace.contains("m_lst_items.size:1\n"));
    ASSERT_EQ(holder.m_lst_items.size(), 1u);
    EXPECT_EQ(holder.m_lst_items[0].get(), b);
    EXPECT_FALSE(holder.deleteItem(a));
}

TEST_F(ItemsTest, flippingTwiceMirrorsTheTextureOnce) {
    Item_2d* item = make2d();
    ASSERT_NE(item, nullptr);
    const std::vector<TexCoord> before = item->mesh->texCoords;
    ASSERT_FALSE(before.empty());
    TraceCapture trace;
    item->mesh->dirty = false;
    item->setFlipHorizontal(true);
    EXPECT_TRUE(item->mesh->dirty);
    item->setFlipHorizontal(true);
    item->setFlipVertical(true);
    item->setFlipVertical(true);
    EXPECT_TRUE(trace.contains("setFlipHorizontal:1"));
    EXPECT_TRUE(trace.contains("setFlipVertical:1\n"));
    EXPECT_TRUE(item->flipHorizontal && item->flipVertical);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_FLOAT_EQ(item->mesh->texCoords[i].u, 1 - before[i].u);
        EXPECT_FLOAT_EQ(item->mesh->texCoords[i].v, 1 - before[i].v);
    }
    item->setFlipHorizontal(false);
    item->setFlipVertical(false);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_FLOAT_EQ(item->mesh->texCoords[i].u, before[i].u);
        EXPECT_FLOAT_EQ(item->mesh->texCoords[i].v, before[i].v);
    }
}

TEST_F(ItemsTest, positionRulesFollowBackgroundAndFullScreen) {
    Item_2d* item = make2d();
    ASSERT_NE(item, nullptr);
    item->setX(30);
    item->setY(-40);
    item->setZ(90);
    expectVec(item->getPosition(), {30, -40, 90}, "plain");
    item->setWidth(120);
    item->setHeight(60);
    EXPECT_FLOAT_EQ(item->getWidth(), 120);
    EXPECT_FLOAT_EQ(item->getHeight(), 60);

    item->isfullscreen = true;
    item->setX(50);
    item->setY(50);
    item->setZ(10);
    expectVec(item->getPosition(), {0, 0, 519}, "full screen");
    item->isbackground = true;
    item->setZ(10);
    EXPECT_FLOAT_EQ(item->getZ(), 520);
}

TEST_F(ItemsTest, backgroundOnAndOffReturnsToTheSamePlaces) {
    Item_2d* item = make2d();
    ASSERT_NE(item, nullptr);
    node.setPosition({10, 20, 80});
    item->setBackground(true);
    expectVec(item->getPosition(), {0, 0, 520}, "first background");
    node.setPosition({-5, 7, 520}); // moved while in the background
    item->setBackground(false);
    expectVec(item->getPosition(), {10, 20, 80}, "back to front");
    item->setBackground(true);
    expectVec(item->getPosition(), {-5, 7, 520}, "previous background place");
    // Switching on again while on keeps the remembered front place.
    item->setBackground(true);
    item->setBackground(false);
    expectVec(item->getPosition(), {10, 20, 80}, "front kept");
}

TEST_F(ItemsTest, fullScreenOnAndOff) {
    Item_2d* item = make2d();
    ASSERT_NE(item, nullptr);
    item->ratio = 1.5f;
    node.setPosition({12, 34, 520});
    item->isbackground = true;
    TraceCapture trace;
    item->setFullscreen(true);
    EXPECT_TRUE(item->isfullscreen);
    EXPECT_FALSE(item->isbackground);
    EXPECT_FALSE(item->keepratio);
    EXPECT_FALSE(item->mesh->pickable);
    expectVec(item->backPosition, {12, 34, 520}, "saved back position");
    expectVec(item->getPosition(), {0, 0, 519}, "full screen place");
    expectVec(item->getScale(), {380, 672, 1}, "full screen size");
    EXPECT_TRUE(trace.contains("fullscreen\n"));
    item->setFullscreen(true); // again: the remembered place stays
    expectVec(item->backPosition, {12, 34, 520}, "back position kept");

    item->setFullscreen(false);
    EXPECT_FALSE(item->isfullscreen);
    EXPECT_TRUE(item->keepratio);
    EXPECT_TRUE(item->mesh->pickable);
    expectVec(item->getPosition(), {0, 0, 80}, "after full screen");
    EXPECT_FLOAT_EQ(item->getWidth(), 100);
    EXPECT_FLOAT_EQ(item->getHeight(), 150);
    EXPECT_TRUE(trace.contains("un fullscreen\n"));
}

TEST_F(ItemsTest, landscapeTurnsTheScreenSize) {
    Item_2d* item = make2d();
    ASSERT_NE(item, nullptr);
    item->setLandscape(true);
    EXPECT_TRUE(item->islandscape);
    EXPECT_FALSE(item->keepratio);
    expectVec(item->getPosition(), {0, 0, 519}, "landscape place");
    expectVec(item->getScale(), {672, 380, 1}, "landscape");
    item->setLandscape(false);
    expectVec(item->getScale(), {380, 672, 1}, "portrait");
}

TEST(Items, operationsWithoutMeshOrNodeDoNothing) {
    TraceCapture quiet;
    Item_2d item;
    item.setFlipHorizontal(true);
    EXPECT_FALSE(item.flipHorizontal);
    item.setX(5);
    item.setWidth(5);
    item.setBackground(true);
    EXPECT_FLOAT_EQ(item.getX(), 0);
    EXPECT_FLOAT_EQ(item.getWidth(), 1);
    item.setFullscreen(true);
    item.setFullscreen(false);
    item.setLandscape(true);

    Item_3d item3;
    item3.setTranslation(1, 2, 3);
    item3.setRotation(10, 20, 30);
    item3.setScale(2, 2, 2);
    EXPECT_FLOAT_EQ(item3.getTranslation().x, 0);
    EXPECT_FLOAT_EQ(item3.getScale().x, 1);
    item3.mesh.reset(new ObjMesh); // a mesh that no node shows yet
    item3.setTranslation(1, 2, 3);
    EXPECT_FLOAT_EQ(item3.getTranslation().x, 0);
}

TEST_F(ItemsTest, actionsAreStored) {
    Item_2d* item = make2d();
    ASSERT_NE(item, nullptr);
    item->setStartAction("mouth_open");
    item->setEndAction("smile");
    EXPECT_EQ(item->getStartAction(), "mouth_open");
    EXPECT_EQ(item->getEndAction(), "smile");
}

TEST_F(ItemsTest, item3dTransformThroughItsNode) {
    auto* item = create<Item_3d>(kItem3d);
    ASSERT_NE(item, nullptr);
    item->mesh->node = &node;
    item->setTranslation(1, 2, 3);
    item->setScale(4, 5, 6);
    item->setRotation(30, -45, 60);
    expectVec(node.position(), {1, 2, 3}, "translation");
    expectVec(node.scale(), {4, 5, 6}, "scale");
    const math3d::Mat3 want = math3d::eulerToMat3({math3d::degToRad(30), math3d::degToRad(-45), math3d::degToRad(60)});
    for (int k = 0; k < 9; ++k)
        EXPECT_NEAR(node.rotation().m[k], want.m[k], 1e-5f) << k;
    const Vec3 back = item->getRotation();
    EXPECT_NEAR(back.x, 30, 1e-3f);
    EXPECT_NEAR(back.y, -45, 1e-3f);
    EXPECT_NEAR(back.z, 60, 1e-3f);
    // A 90 degree turn about z maps x onto y.
    item->setRotation(0, 0, 90);
    const Vec3 x = node.rotation() * Vec3(1, 0, 0);
    EXPECT_NEAR(x.y, 1, 1e-6f);
}

TEST(Items, setTexNameOnlyTouchesTexAlbedo) {
    Item_3d item;
    for (const char* n : {"tex_albedo", "tex_albedo2", "my_tex_albedo", "TEX_ALBEDO", "tex_albedo"}) {
        TemplateParam p;
        p.name = n;
        p.values = "old";
        item.param.push_back(p);
    }
    item.setTexName("face.png");
    EXPECT_EQ(item.texname, "face.png");
    const char* want[] = {"face.png", "old", "old", "old", "face.png"};
    for (size_t i = 0; i < item.param.size(); ++i)
        EXPECT_EQ(item.param[i].values, want[i]) << i;

    Item_3d bare;
    bare.setTexName("x");
    EXPECT_EQ(bare.texname, "x");
    bare.setWeightMapPath("/a/w.png");
    bare.setWeightMapName("w");
    EXPECT_EQ(bare.weightMapPath, "/a/w.png");
    EXPECT_EQ(bare.weightMapName, "w");
}

TEST(SplitPath, foldersBaseNamesAndExtensions) {
    struct Case {
        const char* path;
        const char* folder;
        const char* base;
        const char* ext;
    } cases[] = {
        {"plain", "", "plain", ""},
        {"", "", "", ""},
        {"/a/b/c.png", "/a/b/", "c", ".png"},
        {"a/b.tar.gz", "a/", "b.tar", ".gz"},
        {"C:\\x\\y.obj", "C:\\x\\", "y", ".obj"},
        {"a\\b/c.d", "a\\b/", "c", ".d"},
        {"/a.b/c", "/a.b/", "c", ""},
        {"dir/", "dir/", "", ""},
        {".hidden", "", "", ".hidden"},
        {"f.", "", "f", "."},
    };
    for (const Case& c : cases) {
        const PathParts p = splitPath(c.path);
        EXPECT_EQ(p.folder, c.folder) << c.path;
        EXPECT_EQ(p.base, c.base) << c.path;
        EXPECT_EQ(p.ext, c.ext) << c.path;
    }
}

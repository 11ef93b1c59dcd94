// packBigTex over a live scene: items made by MainDataHolder, shown by scene
// nodes, packed into the project's out/ folder.

#include "geometry/ObjMesh.h"
#include "pack/BigTexPacker.h"
#include "pack/BundleName.h"
#include "scene/Item_2d.h"
#include "scene/Item_ar.h"
#include "scene/MainDataHolder.h"
#include "scene/ProjectSnapshot.h"
#include "scenegraph/SceneRegistry.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

TEST(BigTexPackScene, packsTheItemsOfTheCurrentProject) {
    std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    ASSERT_TRUE(holder->init(LUMO_SOURCE_DIR));
    ScratchDir dir;
    holder->root = dir.path();
    holder->projectName = "scene";
    holder->loadFaceActionsFromBytes(
        R"({"actions":[{"name":"open_mouth","condition":"face.mouth > 0.5"}]})");
    const std::string project = dir.path() + "/Projects/scene";
    fs::create_directories(project + "/out");
    fs::create_directories(dir.path() + "/data/tools");
    writeFile(dir.path() + "/data/tools/script.js", "name=\"dummy\";\n//#action\n");
    writeFile(dir.path() + "/data/tools/eyes.glsl", "eyes");
    setBundleName("bundle");

    auto* front = dynamic_cast<Item_2d*>(holder->createItem(kItem2d));
    auto* back = dynamic_cast<Item_2d*>(holder->createItem(kItem2d));
    auto* ar = dynamic_cast<Item_ar*>(holder->createItem(kItemAr));
    ASSERT_TRUE(front && back && ar);
    front->name = "front";
    back->name = "back";
    ar->name = "mask";
    SceneRegistry::instance().attachToRoot(front->mesh.get());
    SceneRegistry::instance().attachToRoot(back->mesh.get());
    SceneRegistry::instance().attachToRoot(ar->mesh.get());
    front->setX(30);
    back->setBackground(true);

    int progress = 0;
    const ProjectSnapshot snapshot = ProjectSnapshot::capture(*holder);
    ASSERT_TRUE(BigTexPacker::packBigTex(snapshot, [&progress](int n) { progress += n; }));
    EXPECT_EQ(progress, 30);

    const std::string desc = readFile(project + "/out/desc.json");
    // Depth order: the foreground item first, then the background one, then AR.
    const size_t f = desc.find("\"name\":\"front\"");
    const size_t b = desc.find("\"name\":\"back_bg\"");
    const size_t a = desc.find("\"name\":\"mask_ar\"");
    ASSERT_NE(f, std::string::npos) << desc;
    ASSERT_NE(b, std::string::npos);
    ASSERT_NE(a, std::string::npos);
    EXPECT_LT(f, b);
    EXPECT_LT(b, a);
    EXPECT_NE(desc.find("\"path\":\"default_ar.webp\""), std::string::npos);
    EXPECT_TRUE(fs::exists(project + "/out/default_ar.webp"));
    EXPECT_TRUE(fs::exists(project + "/out/bigtex_0.webp"));
    EXPECT_EQ(readFile(project + "/out/script.js"),
              "name=\"bundle_lumoeditor_3_0_1\";\n\n\t\t\tcase \"open_mouth\":\n\t\t\t\treturn face.mouth > 0.5;\n"
              "\t\t\t\tbreak;\n\n");
    EXPECT_EQ(readFile(project + "/out/eyes.glsl"), "eyes");

    // The snapshot is a copy: group relations become list positions, and
    // edits made after it (as during a pack on the worker) do not reach it.
    front->chain = {back};
    back->group = front;
    const ProjectSnapshot grouped = ProjectSnapshot::capture(*holder);
    front->setX(-40);
    front->name = "renamed";
    back->chain.clear();
    ASSERT_EQ(grouped.items2d.size(), 2u);
    EXPECT_EQ(grouped.items2d[0].name, "front");
    EXPECT_FLOAT_EQ(grouped.items2d[0].translation.x, 30);
    EXPECT_EQ(grouped.items2d[0].chain, std::vector<int>{1});
    EXPECT_EQ(grouped.items2d[1].group, 0);
    EXPECT_EQ(grouped.itemsAr.size(), 1u);
    EXPECT_EQ(grouped.faceActions.size(), 1u);

    SceneRegistry::instance().detachAll();
    holder->m_lst_items.clear();
}

} // namespace

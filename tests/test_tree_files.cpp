// Project files through the scene tree: a project built with the tree,
// saved, cleared and reopened is the same file and the same tree; a file
// written by hand opens to the scene it describes.
#include "test_tree_support.h"

#include "geometry/ObjMesh.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/Item_ar.h"

#include <QAction>
#include <QDoubleSpinBox>
#include <QLineEdit>

using namespace testing_support;

namespace {
// Every entry's text by depth, depth first: the tree as a user sees it.
void outline(QTreeWidgetItem* e, int depth, std::string& out) {
    out += std::string(size_t(depth), ' ') + e->text(0).toStdString() + "\n";
    for (int k = 0; k < e->childCount(); ++k)
        outline(e->child(k), depth + 1, out);
}
} // namespace

class TreeFiles : public TreeTest {
protected:
    std::string outlineAll() {
        std::string out;
        for (int r = 0; r < 3; ++r)
            outline(root(r), 0, out);
        return out;
    }
    void typeInto(const char* spin, const char* text) {
        auto* s = w<QDoubleSpinBox>(spin);
        s->setFocus();
        s->selectAll();
        QTest::keyClicks(s, text);
        QTest::keyClick(s, Qt::Key_Tab);
    }
};

TEST_F(TreeFiles, aProjectBuiltInTheTreeReopensToTheSameFileAndTree) {
    ASSERT_TRUE(editor->createProject(1, "trip"));
    const std::string png = ws.file("spark_00000.png");
    writeFile(png, readFile(LUMO_SOURCE_DIR "/data/ref/default_00000.png"));
    tree->setFileChooser([&](const QString&, const QString&) { return QString::fromStdString(png); });
    for (int k = 0; k < 3; ++k) {
        addTo(0);
        press("p_btn_texture");
        typeInto("p_spin_x", std::to_string(10 * k + 5).c_str());
    }
    // The middle one becomes a group with two members.
    tree->select(root(0)->child(1));
    tree->onTreeViewInsertGroupItem();
    tree->select(root(0)->child(1)->child(0));
    tree->onTreeViewAddItem();
    addTo(1);
    press("p_btn_texture");
    const std::string path = projectFile("trip");
    editor->findChild<QAction*>("actionSave_Project")->trigger();
    const std::string saved = readFile(path);
    const std::string shape = outlineAll();
    EXPECT_NE(saved.find("\"childcnt\":2"), std::string::npos);

    ASSERT_TRUE(editor->createProject(1, "other"));
    EXPECT_EQ(root(0)->childCount(), 1);
    ASSERT_TRUE(editor->openProject(QString::fromStdString(path)));
    EXPECT_EQ(outlineAll(), shape);
    const auto* first = dynamic_cast<Item_2d*>(tree->itemOf(root(0)->child(0)));
    ASSERT_NE(first, nullptr);
    EXPECT_FLOAT_EQ(first->getX(), 5.0f);
    EXPECT_EQ(first->texpath, png);
    EXPECT_FALSE(tree->isDirty());
    ASSERT_TRUE(tree->onSaveProject());
    EXPECT_EQ(readFile(path), saved);
}

TEST_F(TreeFiles, aHandWrittenFileOpensToTheSceneItDescribes) {
    // A mesh of two parts with one blendshape beside it.
    const std::string obj =
        "v 0 0 0\nv 1 0 0\nv 0 1 0\ng partA\nf 1 2 3\nv 0 0 1\nv 1 0 1\nv 0 1 1\ng partB\nf 4 5 6\n";
    writeFile(ws.file("head_bs0.obj"), obj);
    writeFile(ws.file("head_bs1.obj"), obj);
    std::filesystem::create_directories(ws.file("Projects/hand"));
    const std::string texture = ws.file("data/ref/default_00000.png");
    writeFile(projectFile("hand"),
              "{\"projectname\":\"hand\",\"projecttype\":3,\"2D\":["
              "{\"itemname\":\"g\",\"texpath\":\"\",\"x\":0,\"childcnt\":2},"
              "{\"itemname\":\"m1\",\"texpath\":\"" + texture + "\",\"x\":7,\"loopType\":1,\"loopcnt\":3},"
              "{\"itemname\":\"m2\",\"texpath\":\"" + texture + "\",\"x\":-7},"
              "{\"itemname\":\"solo\",\"texpath\":\"" + texture + "\",\"isbackground\":true}],"
              "\"ARMesh\":[{\"itemname\":\"paint\",\"texpath\":\"" + texture + "\"}],"
              "\"3D\":[{\"itemname\":\"Global Params\",\"param\":[{\"name\":\"light_intensity\",\"isStr\":false,"
              "\"value\":1.5}]},"
              "{\"itemname\":\"head\",\"objpath\":\"" + ws.file("head_bs0.obj") + "\",\"px\":1,\"py\":2,\"pz\":3,"
              "\"sx\":1,\"sy\":1,\"sz\":1,\"childs\":[{\"itemname\":\"partB\",\"sx\":2,\"sy\":2,\"sz\":2,"
              "\"param\":[{\"name\":\"shininess\",\"isStr\":false,\"value\":64}]}]}]}");
    ASSERT_TRUE(editor->openProject(QString::fromStdString(projectFile("hand"))));
    EXPECT_EQ(texts(root(0)), (std::vector<std::string>{"g", "solo", "+"}));
    EXPECT_EQ(texts(root(0)->child(0)), (std::vector<std::string>{"m1", "m2"}));
    EXPECT_EQ(texts(root(1)), (std::vector<std::string>{"paint", "+"}));
    EXPECT_EQ(texts(root(2)), (std::vector<std::string>{"Global Params", "head", "+"}));
    EXPECT_EQ(texts(root(2)->child(1)), (std::vector<std::string>{"partB", "partA"}));
    auto* m1 = dynamic_cast<Item_2d*>(tree->itemOf(root(0)->child(0)->child(0)));
    auto* m2 = dynamic_cast<Item_2d*>(tree->itemOf(root(0)->child(0)->child(1)));
    auto* solo = dynamic_cast<Item_2d*>(tree->itemOf(root(0)->child(1)));
    ASSERT_TRUE(m1 && m2 && solo);
    EXPECT_EQ(m1->nodetype, kNodeMember);
    EXPECT_EQ(m2->nodetype, kNodeLastMember);
    EXPECT_EQ(m1->loopcnt, 3);
    EXPECT_FLOAT_EQ(m2->getX(), -7.0f);
    EXPECT_FLOAT_EQ(solo->getZ(), 520.0f);
    auto* global = dynamic_cast<Item_3d*>(tree->itemOf(root(2)->child(0)));
    auto* head = dynamic_cast<Item_3d*>(tree->itemOf(root(2)->child(1)));
    auto* partB = dynamic_cast<Item_3d*>(tree->itemOf(root(2)->child(1)->child(0)));
    auto* partA = dynamic_cast<Item_3d*>(tree->itemOf(root(2)->child(1)->child(1)));
    ASSERT_TRUE(global && head && partA && partB);
    EXPECT_EQ(global->meshRole, kRoleGlobalParams);
    EXPECT_FLOAT_EQ(global->param[size_t(global->paramIndex.at("light_intensity"))].valuef, 1.5f);
    EXPECT_FLOAT_EQ(head->getTranslation().y, 2.0f);
    EXPECT_FLOAT_EQ(partB->getScale().x, 2.0f);
    EXPECT_FLOAT_EQ(partB->param[size_t(partB->paramIndex.at("shininess"))].valuef, 64.0f);
    EXPECT_FLOAT_EQ(partA->param[size_t(partA->paramIndex.at("shininess"))].valuef, 32.0f);
    // head_bs0 and head_bs1 exist, head_bs2 ... head_bs45 do not.
    EXPECT_TRUE(partA->blendshapes[0] && partA->blendshapes[1] && !partA->blendshapes[2]);
    EXPECT_EQ(partB->blendshapes[1]->vertices.size(), 3u);
}

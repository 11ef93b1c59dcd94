// The scene tree driven like a user: roots by project type, names, groups,
// order, AR depths, textures, dropped files, and project files that go
// through the tree and come back unchanged.
#include "test_tree_support.h"

#include "geometry/ObjMesh.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/Item_ar.h"
#include "scenegraph/GLNode.h"
#include "viewer/BaseMeshViewer.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QUndoStack>
#include <QUrl>
#include <regex>
#include <sstream>

using namespace testing_support;

namespace {
Item_2d* item2d(TreeViewController* t, QTreeWidgetItem* e) { return dynamic_cast<Item_2d*>(t->itemOf(e)); }
float depth(Item* item) {
    auto* ar = dynamic_cast<Item_ar*>(item);
    return ar && ar->mesh && ar->mesh->node ? ar->mesh->node->position().z : -1.0f;
}
} // namespace

class TreeOps : public TreeTest {
protected:
    // Opens the tree's context menu on the entry and triggers the action named text.
    void menu(QTreeWidgetItem* e, const QString& name) {
        const QPoint pos = widget()->visualItemRect(e).center();
        QContextMenuEvent ev(QContextMenuEvent::Mouse, pos, widget()->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(widget()->viewport(), &ev);
        QMenu* m = nullptr;
        ASSERT_TRUE(spinUntil([&] { return (m = editor->findChild<QMenu*>("p_menu_tree")) != nullptr; }, 5000));
        QAction* hit = nullptr;
        for (QAction* a : m->actions())
            if (a->objectName() == name)
                hit = a;
        ASSERT_NE(hit, nullptr) << name.toStdString();
        m->setObjectName(QString()); // the closed menu goes later
        hit->trigger();
        m->close();
    }
    void drop(QTreeWidgetItem* e, const std::string& file) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
        const QPoint pos = widget()->visualItemRect(e).center();
        // A drag from outside enters, moves and drops, as a file manager's does.
        QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget()->viewport(), &enter);
        QDragMoveEvent move(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget()->viewport(), &move);
        QDropEvent ev(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget()->viewport(), &ev);
    }
};

TEST_F(TreeOps, rootsFollowTheProjectType) {
    struct Case { int type; bool has2d; bool has3d; } cases[] = {{1, true, false}, {2, false, true}, {3, true, true}};
    for (const Case& c : cases) {
        ASSERT_TRUE(editor->createProject(c.type, QString("types%1").arg(c.type)));
        for (int r : {0, 1, 2}) {
            const bool on = r == 2 ? c.has3d : c.has2d;
            EXPECT_EQ(root(r)->toolTip(0).isEmpty(), on) << c.type << " root " << r;
            EXPECT_EQ(root(r)->childCount() > 0, on);
            if (on) {
                EXPECT_EQ(root(r)->child(root(r)->childCount() - 1)->text(0), "+");
            }
            click(root(r));
            EXPECT_EQ(root(r)->isSelected(), on);
        }
        if (c.has3d) {
            EXPECT_EQ(texts(root(2)).front(), "Global Params");
        }
    }
}

TEST_F(TreeOps, namesAreCountedAndReservedWordsStayFree) {
    ASSERT_TRUE(editor->createProject(1, "names"));
    std::vector<int> numbers;
    for (int k = 0; k < 3; ++k) {
        QTreeWidgetItem* e = addTo(0);
        std::smatch m;
        const std::string name = e->text(0).toStdString();
        ASSERT_TRUE(std::regex_match(name, m, std::regex("default_(\\d+)"))) << name;
        numbers.push_back(std::stoi(m[1]));
        EXPECT_FLOAT_EQ(item2d(tree, e)->getZ(), 80.0f);
    }
    EXPECT_TRUE(numbers[0] < numbers[1] && numbers[1] < numbers[2]);
    EXPECT_EQ(texts(root(0)).back(), "+");
    for (const char* reserved : {"2D", "+", "default"}) {
        click(root(0)->child(0));
        auto* name = w<QLineEdit>("p_text_name");
        name->setFocus();
        name->selectAll();
        QTest::keyClicks(name, reserved);
        QTest::keyClick(name, Qt::Key_Return);
        const std::string got = root(0)->child(0)->text(0).toStdString();
        EXPECT_TRUE(std::regex_match(got, std::regex(std::string(reserved == std::string("+") ? "\\+" : reserved) +
                                                     "_\\d+"))) << got;
        EXPECT_EQ(tree->itemOf(root(0)->child(0))->name, got);
    }
}

TEST_F(TreeOps, groupsKeepOneLastMemberAndNeverStayEmpty) {
    ASSERT_TRUE(editor->createProject(1, "groups"));
    for (int k = 0; k < 3; ++k)
        addTo(0);
    const std::string second = root(0)->child(1)->text(0).toStdString();
    menu(root(0)->child(1), "p_act_group");
    QTreeWidgetItem* group = root(0)->child(1);
    EXPECT_TRUE(std::regex_match(group->text(0).toStdString(), std::regex("group(_\\d+)?")));
    ASSERT_EQ(texts(group), std::vector<std::string>{second});
    EXPECT_EQ(item2d(tree, group)->nodetype, kNodeGroup);
    EXPECT_EQ(item2d(tree, group->child(0))->nodetype, kNodeLastMember);
    menu(group, "p_act_add");
    ASSERT_EQ(group->childCount(), 2);
    Item_2d* first = item2d(tree, group->child(0));
    Item_2d* added = item2d(tree, group->child(1));
    EXPECT_EQ(first->nodetype, kNodeMember);
    EXPECT_EQ(added->nodetype, kNodeLastMember);
    // Moving the last member up hands the role to the one it passes.
    menu(group->child(1), "p_act_up");
    EXPECT_EQ(tree->itemOf(group->child(0)), added);
    EXPECT_EQ(added->nodetype, kNodeMember);
    EXPECT_EQ(added->loopType, kLoopCount);
    EXPECT_EQ(first->nodetype, kNodeLastMember);
    // Deleting the last member makes the one above it last; deleting both
    // takes the group with them.
    click(group->child(1));
    press("p_btn_delete_item");
    EXPECT_EQ(added->nodetype, kNodeLastMember);
    click(group->child(0));
    press("p_btn_delete_item");
    EXPECT_EQ(root(0)->childCount(), 3); // two items and "+"
    EXPECT_EQ(tree->findItemByName(second), nullptr);
}

TEST_F(TreeOps, arDepthsFollowTheTreeOrderAndEndsDoNotMove) {
    ASSERT_TRUE(editor->createProject(1, "ardepth"));
    std::vector<Item*> items;
    for (int k = 0; k < 3; ++k)
        items.push_back(tree->itemOf(addTo(1)));
    EXPECT_EQ((std::vector<float>{depth(items[0]), depth(items[1]), depth(items[2])}), (std::vector<float>{2, 4, 6}));
    click(root(1)->child(0));
    press("p_btn_moveup_item"); // first: nothing
    click(root(1)->child(2));
    press("p_btn_movedown_item"); // just above "+": nothing
    EXPECT_EQ(tree->itemOf(root(1)->child(2)), items[2]);
    press("p_btn_moveup_item");
    press("p_btn_moveup_item");
    EXPECT_EQ(tree->itemOf(root(1)->child(0)), items[2]);
    EXPECT_EQ((std::vector<float>{depth(items[2]), depth(items[0]), depth(items[1])}), (std::vector<float>{2, 4, 6}));
}

TEST_F(TreeOps, a2dTextureMustBeTheFirstFrameOfANumberedSequence) {
    ASSERT_TRUE(editor->createProject(1, "textures"));
    const std::string png = readFile(LUMO_SOURCE_DIR "/data/ref/default_00000.png");
    struct Case { const char* file; bool ok; } cases[] = {
        {"star_00000.png", true}, {"a_b_00012.png", true}, {"plain.png", false}, {"star_0000.png", false},
        {"star_0000x.png", false}, {"star_000000.png", false}};
    for (const Case& c : cases) {
        QTreeWidgetItem* e = addTo(0);
        const std::string path = ws.file(c.file);
        writeFile(path, png);
        tree->setFileChooser([&](const QString&, const QString&) { return QString::fromStdString(path); });
        press("p_btn_texture");
        Item_2d* item = item2d(tree, e);
        EXPECT_EQ(item->texpath == path, c.ok) << c.file;
        QMessageBox* box = editor->findChild<QMessageBox*>("p_box_naming");
        EXPECT_EQ(box != nullptr, !c.ok) << c.file;
        if (box) {
            box->close();
            spinUntil([&] { return editor->findChild<QMessageBox*>("p_box_naming") == nullptr; }, 5000);
        }
    }
}

TEST_F(TreeOps, filesDroppedFromTheDesktopBecomeItems) {
    ASSERT_TRUE(editor->createProject(3, "drops"));
    const std::string png = ws.file("wave_00000.png");
    writeFile(png, readFile(LUMO_SOURCE_DIR "/data/ref/default_00000.png"));
    drop(root(0)->child(0), png); // onto "+"
    ASSERT_EQ(root(0)->childCount(), 2);
    EXPECT_EQ(item2d(tree, root(0)->child(0))->texpath, png);
    const std::string obj = ws.file("cube.obj");
    writeFile(obj, "v 0 0 0\nv 1 0 0\nv 0 1 0\ng box\nf 1 2 3\n");
    drop(root(2), obj);
    ASSERT_EQ(root(2)->childCount(), 3); // Global Params, the mesh, "+"
    EXPECT_EQ(texts(root(2)->child(1)), std::vector<std::string>{"box"});
    EXPECT_EQ(tree->undoStack()->count(), 2);
}

TEST_F(TreeOps, aNewItemShowsAtOnceBehindThePhoneScreen) {
    ASSERT_TRUE(editor->createProject(1, "front"));
    // The free view backed off until the whole phone frame is in sight: the
    // face shows through its see-through screen.
    auto* view = w<BaseMeshViewer>("p_freeView");
    view->setCameraOffset({0, 0, 30});
    const QImage before = view->grabFramebuffer();
    auto* item = item2d(tree, addTo(0));
    ASSERT_TRUE(item && item->mesh && item->mesh->node);
    click(root(0)); // no gizmo over the quad
    // The pixel under the centre of the new quad, as the view projects it.
    const math3d::Vec3 centre = math3d::transformPoint(item->mesh->node->worldMatrix(), {0, 0, 0});
    const math3d::Vec3 at = view->camera().project(math3d::transformPoint(view->sceneNode().localMatrix(), centre));
    const QPoint p(int(at.x), view->height() - 1 - int(at.y));
    ASSERT_TRUE(view->rect().contains(p));
    const QImage after = view->grabFramebuffer();
    const QRgb a = after.pixel(p), b = before.pixel(p);
    const int change = std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
    EXPECT_GT(change, 96) << "the quad is hidden at " << p.x() << "," << p.y();
}

TEST_F(TreeOps, aNewWindowListsEachTemplateParameterOnce) {
    // Declarations counted in the template script itself.
    std::istringstream script(readFile(LUMO_SOURCE_DIR "/data/tools/3d_template/script.js"));
    int declared[2] = {0, 0};
    const std::regex declaration(R"(^//\s*@([gm])param\s+\S+\s+\{.*)");
    std::smatch m;
    for (std::string line; std::getline(script, line);)
        if (std::regex_match(line, m, declaration))
            ++declared[m[1] == "g" ? 0 : 1];
    ASSERT_GT(declared[0] + declared[1], 0);
    for (const char* project : {"first", "second"}) {
        if (project != std::string("first"))
            openWindow();
        ASSERT_TRUE(editor->createProject(2, project));
        for (int k : {0, 1}) {
            auto* board = w<QWidget>(k == 0 ? "g_param" : "m_param");
            ASSERT_NE(board, nullptr);
            EXPECT_EQ(board->findChildren<QLabel*>().size(), declared[k]) << project;
        }
    }
}

// The 3D views under a real GL context: camera placement, picking in the
// three views, a gizmo drag, the edit keys and their undo.

#include "tests/GuiTestSupport.h"

#include "geometry/BMesh.h"
#include "geometry/ObjMesh.h"
#include "scenegraph/SceneRegistry.h"
#include "viewer/BaseMeshViewer.h"
#include "viewer/ViewSetup.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QTest>
#include <QUndoStack>
#include <QWidget>
#include <gtest/gtest.h>

#include <cmath>
#include <set>

using math3d::Vec3;
using testing_support::spinUntil;

namespace {

// A box from lo to hi (8 corners, 6 quads).
std::unique_ptr<ObjMesh> box(Vec3 lo, Vec3 hi) {
    auto m = std::make_unique<ObjMesh>();
    for (int c = 0; c < 8; ++c)
        m->vertices.push_back({(c & 1) ? hi.x : lo.x, (c & 2) ? hi.y : lo.y, (c & 4) ? hi.z : lo.z});
    const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& q : quads) {
        Face f;
        f.count = 4;
        for (int k = 0; k < 4; ++k)
            f.v[k] = q[k], f.t[k] = -1;
        m->faces.push_back(f);
    }
    m->computeNormals();
    m->computeBounds();
    m->vertexFlags.assign(m->vertices.size(), 0);
    return m;
}

// A flat 5 x 5 vertex grid of 16 quads over [-1, 1]^2 at z = 0; vertex r * 5 + c.
std::unique_ptr<ObjMesh> grid() {
    auto m = std::make_unique<ObjMesh>();
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 5; ++c)
            m->vertices.push_back({-1 + 0.5f * c, -1 + 0.5f * r, 0});
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            Face f;
            f.count = 4;
            const int v[4] = {r * 5 + c, r * 5 + c + 1, (r + 1) * 5 + c + 1, (r + 1) * 5 + c};
            for (int k = 0; k < 4; ++k)
                f.v[k] = v[k], f.t[k] = -1;
            m->faces.push_back(f);
        }
    m->computeNormals();
    m->computeBounds();
    m->vertexFlags.assign(m->vertices.size(), 0);
    return m;
}

// Three views side by side, configured as the main window does.
struct AppFirst {
    AppFirst() { testing_support::guiApp(); }
};
struct Views : AppFirst {
    QWidget window;
    BaseMeshViewer* v[3];
    Views() {
        auto* layout = new QHBoxLayout(&window);
        for (auto*& view : v) {
            view = new BaseMeshViewer(&window);
            view->setFixedSize(300, 300);
            layout->addWidget(view);
        }
        viewsetup::configureViews(v[0], v[1], v[2]);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_TRUE(spinUntil([this] { return v[0]->framesDrawn() && v[1]->framesDrawn() && v[2]->framesDrawn(); }, 20000));
    }
    // Fit every camera to the scene at the starting places of a face-effect project.
    void place() {
        const Vec3 offsets[3] = {{0, 0, 4}, {-4, 0, 0}, {0, 0, 12}};
        for (int i = 0; i < 3; ++i) {
            v[i]->resetView();
            v[i]->setCameraOffset(offsets[i]);
        }
    }
    // Attaches a mesh to the scene; the views keep it until they are gone.
    ObjMesh* add(std::unique_ptr<ObjMesh> m) {
        meshes.push_back(std::move(m));
        SceneRegistry::instance().attachToRoot(meshes.back().get());
        return meshes.back().get();
    }
    std::vector<std::unique_ptr<ObjMesh>> meshes;
    ~Views() {
        SceneRegistry::instance().clearSelection();
        SceneRegistry::instance().detachAll();
    }
};

// Widget pixel of a point of the scene in a view.
QPoint pixelOf(BaseMeshViewer* view, Vec3 p) {
    const Vec3 w = view->camera().project(math3d::transformPoint(view->sceneNode().localMatrix(), p));
    return QPoint(int(w.x), view->height() - 1 - int(w.y));
}

std::set<int> selected(const ObjMesh& m) {
    std::set<int> s;
    for (size_t i = 0; i < m.vertexFlags.size(); ++i)
        if (m.vertexFlags[i])
            s.insert(int(i));
    return s;
}

} // namespace

TEST(Viewer, CameraStartingPlacesMatchHandComputedMatrices) {
    Views views;
    views.add(box({0, 1, 1}, {2, 3, 5})); // centre (1, 2, 3), depth 4
    // Rows of the view's 3 x 3 and its translation for eye = 4 * offset.
    struct Case {
        Vec3 offset;
        float rows[3][3];
        Vec3 translation;
    } cases[] = {
        {{0, 0, 4}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 0, -16}},
        {{-4, 0, 0}, {{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}, {0, 0, -16}},
        {{0, 0, 12}, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {0, 0, -48}},
        {{-13, 0, 0}, {{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}, {0, 0, -52}},
    };
    BaseMeshViewer* view = views.v[0];
    for (const Case& c : cases) {
        view->resetView();
        view->setCameraOffset(c.offset);
        EXPECT_FLOAT_EQ(view->distanceUnit(), 4);
        const math3d::Mat4& m = view->camera().view();
        for (int r = 0; r < 3; ++r) {
            for (int k = 0; k < 3; ++k)
                EXPECT_NEAR(m(r, k), c.rows[r][k], 1e-6) << r << k;
            EXPECT_NEAR(m(r, 3), c.translation[r], 1e-4);
        }
        const math3d::Mat4& s = view->sceneNode().localMatrix();
        EXPECT_FLOAT_EQ(s(0, 3), -1);
        EXPECT_FLOAT_EQ(s(1, 3), -2);
        EXPECT_FLOAT_EQ(s(2, 3), -3);
    }
    // 30 degrees, aspect 1, near 0.1, far 10000.
    const math3d::Mat4& p = view->camera().projection();
    EXPECT_NEAR(p(0, 0), 3.7320508, 1e-4);
    EXPECT_NEAR(p(1, 1), 3.7320508, 1e-4);
    EXPECT_NEAR(p(2, 2), -10000.1 / 9999.9, 1e-6);
    EXPECT_NEAR(p(2, 3), -2000.0 / 9999.9, 1e-6);
    EXPECT_FLOAT_EQ(p(3, 2), -1);
    // Without meshes the camera frames a unit box at the origin.
    SceneRegistry::instance().detachAll();
    view->resetView();
    EXPECT_FLOAT_EQ(view->distanceUnit(), 1);
    EXPECT_NEAR(view->eye().x, 2, 1e-6);
}

TEST(Viewer, PickingFindsTheMeshAndTheBackgroundInEveryView) {
    Views views;
    views.add(box({5, 5, 5}, {6, 6, 6})); // the box below is second in depth-first order
    ObjMesh* mesh = views.add(box({-1, -1, -1}, {1, 1, 1}));
    views.place();
    for (BaseMeshViewer* view : views.v) {
        const QPoint centre = pixelOf(view, {0, 0, 0});
        EXPECT_EQ(view->pickId(centre), BaseMeshViewer::kFirstMeshId + 1) << view->viewNumber;
        EXPECT_EQ(view->pickId(QPoint(3, 3)), 0u) << view->viewNumber;
        int selections = 0;
        auto c = QObject::connect(view, &BaseMeshViewer::notifySelection, [&] { ++selections; });
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, centre);
        EXPECT_EQ(SceneRegistry::instance().m_selectedSet.size(), 1u);
        EXPECT_EQ(SceneRegistry::instance().m_selectedSet.begin()->second, mesh);
        EXPECT_TRUE(mesh->highlighted);
        QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
        EXPECT_TRUE(SceneRegistry::instance().m_selectedSet.empty());
        EXPECT_EQ(selections, 2);
        QObject::disconnect(c);
        // The context menu: a right click that stays put, not a right drag.
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        int menus = 0;
        c = QObject::connect(view, &QWidget::customContextMenuRequested, [&] { ++menus; });
        QTest::mouseClick(view, Qt::RightButton, Qt::NoModifier, centre);
        QTest::mousePress(view, Qt::RightButton, Qt::NoModifier, centre);
        QMouseEvent drag(QEvent::MouseMove, QPointF(centre + QPoint(30, 0)), Qt::RightButton, Qt::RightButton, Qt::NoModifier);
        QApplication::sendEvent(view, &drag);
        QTest::mouseRelease(view, Qt::RightButton, Qt::NoModifier, centre + QPoint(30, 0));
        EXPECT_EQ(menus, 1);
        QObject::disconnect(c);
    }
}

TEST(Viewer, GizmoDragMovesAlongXAndSignalsInOrder) {
    Views views;
    ObjMesh* mesh = views.add(box({-1, -1, -1}, {1, 1, 1}));
    views.place();
    SceneRegistry::instance().selectMesh(mesh, true);
    BaseMeshViewer* front = views.v[0];
    front->update();
    // The x handle: any pixel whose pick id is 1.
    QPoint handle(-1, -1);
    for (int y = 0; y < front->height() && handle.x() < 0; ++y)
        for (int x = 0; x < front->width(); ++x)
            if (front->pickId(QPoint(x, y)) == 1) {
                handle = QPoint(x, y);
                break;
            }
    ASSERT_GE(handle.x(), 0) << "no x handle drawn in the front view";
    std::vector<std::string> order;
    QObject::connect(front, &BaseMeshViewer::notifyMoving, [&] { order.push_back("moving"); });
    QObject::connect(front, &BaseMeshViewer::notifyPosScale, [&] { order.push_back("posScale"); });
    QObject::connect(front, &BaseMeshViewer::notifyReady, [&] { order.push_back("ready"); });
    QObject::connect(front, &BaseMeshViewer::notifySelection, [&] { order.push_back("selection"); });
    const Vec3 before = mesh->node->position();
    QTest::mousePress(front, Qt::LeftButton, Qt::NoModifier, handle);
    for (int dx = 10; dx <= 40; dx += 10) {
        QMouseEvent move(QEvent::MouseMove, QPointF(handle + QPoint(dx, 7)), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(front, &move);
        EXPECT_TRUE(BaseMeshViewer::moving());
    }
    QTest::mouseRelease(front, Qt::LeftButton, Qt::NoModifier, handle + QPoint(40, 7));
    const Vec3 after = mesh->node->position();
    EXPECT_GT(after.x, before.x + 0.1f);
    EXPECT_FLOAT_EQ(after.y, before.y);
    EXPECT_FLOAT_EQ(after.z, before.z);
    EXPECT_FALSE(BaseMeshViewer::moving());
    const std::vector<std::string> expected = {"moving", "posScale", "posScale", "posScale", "posScale", "ready"};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(SceneRegistry::instance().m_selectedSet.size(), 1u); // the press on the handle kept the selection
}

namespace {

struct EditCase {
    const char* name;
    std::vector<std::pair<int, bool>> clicks; // vertex, with Shift
    std::vector<std::pair<int, Qt::KeyboardModifiers>> keys;
    std::set<int> selection; // expected, unless faces is set
    int vertices;            // expected vertex count
    int hiddenFaces;         // expected hidden faces
};

} // namespace

TEST(Viewer, EditKeysOnAKnownGrid) {
    const Qt::KeyboardModifiers none = Qt::NoModifier, ctrl = Qt::ControlModifier, alt = Qt::AltModifier;
    std::set<int> all, allBut12;
    for (int i = 0; i < 25; ++i) {
        all.insert(i);
        if (i != 12)
            allBut12.insert(i);
    }
    const EditCase cases[] = {
        {"pick", {{12, false}}, {}, {12}, 25, 0},
        {"pick twice with shift", {{12, false}, {12, true}}, {}, {}, 25, 0},
        {"grow", {{12, false}}, {{Qt::Key_Plus, ctrl}}, {7, 11, 12, 13, 17}, 25, 0},
        {"grow then shrink", {{12, false}}, {{Qt::Key_Plus, ctrl}, {Qt::Key_Minus, ctrl}}, {12}, 25, 0},
        {"invert", {{12, false}}, {{Qt::Key_I, alt}}, allBut12, 25, 0},
        {"linked", {{12, false}}, {{Qt::Key_L, alt}}, all, 25, 0},
        {"path", {{20, false}, {0, true}, {4, true}}, {{Qt::Key_P, alt}}, {0, 1, 2, 3, 4, 20}, 25, 0},
        {"hide", {{12, false}}, {{Qt::Key_L, alt}, {Qt::Key_H, ctrl}}, all, 25, 16},
        {"unhide", {{12, false}}, {{Qt::Key_L, alt}, {Qt::Key_H, ctrl}, {Qt::Key_H, ctrl | Qt::ShiftModifier}}, all, 25, 0},
        {"delete", {{12, false}}, {{Qt::Key_X, none}}, {}, 24, 0},
    };
    for (const EditCase& c : cases) {
        SCOPED_TRACE(c.name);
        Views views;
        ObjMesh* mesh = views.add(grid());
        views.place();
        BaseMeshViewer* front = views.v[0];
        SceneRegistry::instance().selectMesh(mesh, true);
        QTest::keyClick(front, Qt::Key_Space);
        ASSERT_TRUE(front->inEditMode());
        ASSERT_EQ(front->editMesh(), mesh);
        std::vector<QPoint> where;
        for (const Vec3& p : mesh->vertices)
            where.push_back(pixelOf(front, p));
        for (const auto& click : c.clicks)
            QTest::mouseClick(front, Qt::RightButton, click.second ? Qt::ShiftModifier : Qt::NoModifier, where[size_t(click.first)]);
        for (const auto& key : c.keys)
            QTest::keyClick(front, Qt::Key(key.first), key.second);
        EXPECT_EQ(selected(*mesh), c.selection);
        EXPECT_EQ(int(mesh->vertices.size()), c.vertices);
        int hidden = 0;
        for (const Face& f : mesh->faces)
            hidden += f.hidden;
        EXPECT_EQ(hidden, c.hiddenFaces);
        std::string error;
        EXPECT_TRUE(mesh->getBMesh(mesh->bmeshTriangulated)->validate(&error)) << error;
    }
}

TEST(Viewer, SmoothFlattensARaisedVertexAndUndoRestoresADeleteExactly) {
    Views views;
    ObjMesh* mesh = views.add(grid());
    mesh->vertices[12].z = 0.5f;
    views.place();
    BaseMeshViewer* front = views.v[0];
    SceneRegistry::instance().selectMesh(mesh, true);
    QTest::keyClick(front, Qt::Key_Space);
    QTest::mouseClick(front, Qt::RightButton, Qt::NoModifier, pixelOf(front, {0, 0, 0.5f}));
    ASSERT_EQ(selected(*mesh), std::set<int>{12});
    QTest::keyClick(front, Qt::Key_M);
    EXPECT_NEAR(mesh->vertices[12].z, 0, 1e-6);
    ASSERT_EQ(front->editHistory().back(), "Laplacian smooth, 10 iterations");

    QTest::keyClick(front, Qt::Key_Plus, Qt::ControlModifier); // 5 selected
    mesh->faces[0].hidden = true;
    const ObjMesh before(*mesh);
    QTest::keyClick(front, Qt::Key_X);
    ASSERT_EQ(mesh->vertices.size(), 20u);
    QTest::keyClick(front, Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(mesh->vertices.size(), before.vertices.size());
    for (size_t i = 0; i < before.vertices.size(); ++i)
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(mesh->vertices[i][k], before.vertices[i][k]);
    ASSERT_EQ(mesh->faces.size(), before.faces.size());
    for (size_t i = 0; i < before.faces.size(); ++i) {
        const Face &a = mesh->faces[i], &b = before.faces[i];
        EXPECT_EQ(a.count, b.count);
        EXPECT_EQ(a.hidden, b.hidden);
        EXPECT_EQ(a.material, b.material);
        for (int k = 0; k < a.count; ++k)
            EXPECT_TRUE(a.v[k] == b.v[k] && a.t[k] == b.t[k] && a.n[k] == b.n[k]);
    }
    EXPECT_EQ(mesh->vertexFlags, before.vertexFlags);
    EXPECT_EQ(mesh->node, before.node == nullptr ? mesh->node : before.node);
    ASSERT_NE(mesh->node, nullptr);
    QTest::keyClick(front, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(mesh->vertices.size(), 20u);
}

// lumo_viewshots <folder> <fixtures>: pictures of the 3D views for the user
// guide, taken in the workspace that is the current directory (run through
// scripts/screenshots.sh):
//   viewer-3d-views.png  the main window of a 3D project with the textured spot
//   viewer-gizmo.png     the front view with the mouse on the gizmo's x axis
//   viewer-edit-mode.png the front view in edit mode with selected vertices

#include "app/LumoEditor.h"
#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "scene/MainDataHolder.h"
#include "scenegraph/SceneRegistry.h"
#include "viewer/BaseMeshViewer.h"
#include "viewer/ViewSetup.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace {

QString g_folder;
int g_failures = 0;

void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

void save(const QImage& image, const char* name) {
    const QString path = g_folder + "/" + name;
    if (image.isNull() || !image.save(path, "PNG")) {
        Trace::err("viewshots: could not save %s\n", path.toLocal8Bit().constData());
        ++g_failures;
        return;
    }
    Trace::out("viewshots: %s (%d x %d)\n", path.toLocal8Bit().constData(), image.width(), image.height());
}

// The first widget pixel whose pick id satisfies pred, nearest the centre first.
template <class Pred>
QPoint findPixel(BaseMeshViewer* view, Pred pred) {
    const QPoint c(view->width() / 2, view->height() / 2);
    for (int r = 0; r < std::max(view->width(), view->height()); r += 2)
        for (int dy = -r; dy <= r; dy += 2)
            for (int dx = -r; dx <= r; dx += 2)
                if ((std::abs(dx) == r || std::abs(dy) == r) && pred(view->pickId(c + QPoint(dx, dy))))
                    return c + QPoint(dx, dy);
    return QPoint(-1, -1);
}

void key(QWidget* w, int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, k, mods);
    QApplication::sendEvent(w, &press);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        Trace::err("usage: lumo_viewshots <folder> <fixtures folder>\n");
        return 2;
    }
    g_folder = QString::fromLocal8Bit(argv[1]);
    const std::string fixtures = argv[2];
    LumoEditor editor;
    editor.createProject(2, "spot_3d");
    editor.show();
    settle(800);
    if (auto* english = editor.findChild<QAction*>("actionEnglish"))
        english->trigger();

    ObjMesh spot;
    if (!spot.loadObj(fixtures + "/meshes/spot/spot_triangulated.obj", false, false)) {
        Trace::err("viewshots: spot not found under %s\n", fixtures.c_str());
        return 1;
    }
    spot.loadTexture(fixtures + "/meshes/spot/spot_texture.png");
    spot.name = "spot";
    GLNode* node = SceneRegistry::instance().attachToRoot(&spot);
    // As tall as the reference head, beside it.
    const ObjMesh& head = *MainDataHolder::instance()->referenceHead;
    const float headHeight = head.boundsMax.y - head.boundsMin.y;
    const float spotHeight = spot.boundsMax.y - spot.boundsMin.y;
    const float s = headHeight > 0 && spotHeight > 0 ? headHeight / spotHeight : 1.0f;
    node->setScale({s, s, s});
    node->setPosition({head.boundsMax.x + 0.6f * headHeight, (head.boundsMin.y + head.boundsMax.y) * 0.5f, 0});
    node->setRotation(math3d::eulerToMat3({0, -0.6f, 0}));
    // Drawn in depth order, behind the phone's see-through screen.
    SceneRegistry::instance().sortRequested = true;

    auto* front = editor.findChild<BaseMeshViewer*>("p_frontView");
    auto* left = editor.findChild<BaseMeshViewer*>("p_leftView");
    auto* free = editor.findChild<BaseMeshViewer*>("p_freeView");
    if (!front || !left || !free)
        return 1;
    for (BaseMeshViewer* v : {front, left, free})
        v->updateAllMat();
    free->setFocus();
    key(free, Qt::Key_Home);
    settle(1500);
    QScreen* screen = editor.screen() ? editor.screen() : QGuiApplication::primaryScreen();
    save(screen->grabWindow(editor.winId()).toImage(), "viewer-3d-views.png");

    // The gizmo, with the mouse on its x axis, in the front view made large.
    if (auto* b = editor.findChild<QPushButton*>("p_btn_front_maximize"))
        editor.on_Btn_Maximize(b);
    settle(500);
    SceneRegistry::instance().selectMesh(&spot, true);
    front->setFocus();
    key(front, Qt::Key_F);
    settle(500);
    const QPoint handle = findPixel(front, [](uint32_t id) { return id == 1; });
    QMouseEvent hover(QEvent::MouseMove, QPointF(handle), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(front, &hover);
    settle(500);
    save(front->grabFramebuffer(), "viewer-gizmo.png");

    // Edit mode: a vertex picked near the middle, its selection grown.
    key(front, Qt::Key_Space);
    settle(300);
    const QPoint vertex = findPixel(front, [&](uint32_t id) {
        return id >= BaseMeshViewer::kFirstVertexId && id < BaseMeshViewer::kFirstVertexId + spot.vertices.size();
    });
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(vertex), Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(vertex), Qt::RightButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(front, &press);
    QApplication::sendEvent(front, &release);
    for (int i = 0; i < 4; ++i)
        key(front, Qt::Key_Plus, Qt::ControlModifier);
    settle(500);
    save(front->grabFramebuffer(), "viewer-edit-mode.png");
    key(front, Qt::Key_Space);
    SceneRegistry::instance().clearSelection();
    SceneRegistry::instance().detachMesh(&spot);
    return g_failures ? 1 : 0;
}

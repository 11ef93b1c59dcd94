// Pictures of the main window with a 2D project's bundle playing on a
// photograph, portrait and landscape, and with a 3D project's bundle (the
// textured spot mesh on the face) on the same photograph. Run in a workspace
// folder (data/ and Projects/ beside it):
//   lumo_previewshots <output folder> <photograph> [<spot mesh folder>]
// Without the mesh folder the 3D picture is skipped.

#include "app/LumoEditor.h"
#include "geometry/ObjMesh.h"
#include "pack/BigTexJob.h"
#include "pack/BigTexPacker.h"
#include "pack/Pack3d.h"
#include "pack/PackController.h"
#include "pack/PackStatusSink.h"
#include "preview/VexaViewController.h"
#include "preview/lumovexawidget.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/MainDataHolder.h"
#include "scene/ProjectSnapshot.h"
#include "scenegraph/SceneRegistry.h"
#include "viewer/BaseMeshViewer.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>

#include <cstdio>

namespace {

class QuietSink : public PackStatusSink {
public:
    void showMessage(const std::string&, int) override {}
    void setProgress(int) override {}
    void advanceProgress(int) override {}
};

// A star on the nose, packed as the project's bundle.
bool packStar(const std::string& root, const std::string& name) {
    BigTexJob job;
    job.root = root;
    job.projectDir = root + "/Projects/" + name;
    job.scriptName = name + "_lumoeditor_3_0_1";
    job.threads = 1;
    Sticker2d s;
    s.name = "star";
    s.texpath = root + "/data/ref/default_00000.png";
    s.fps = 10;
    s.triggerStart = kTriggerAlwaysRender;
    s.start_action = s.end_action = "null";
    s.hasNode = true;
    s.translation = {0, -15, 80};
    s.model = math3d::compose(s.translation, {70, 70, 1}, math3d::Mat3::identity());
    s.nearestVertex = 1649;
    s.nearestVertexPosition = {-1.856f, -12.711f, 76.45f};
    job.stickers.push_back(s);
    QuietSink sink;
    PackController pc(root, name, &sink);
    pc.setBuildSteps([&](std::string& reason) { return BigTexPacker::run(job, nullptr, &reason); }, {});
    return pc.runPack(PackController::Auto, true, "", PackController::Kind2d);
}

// The textured spot mesh as a mesh part in front of the reference head's
// face, packed by the 3D pipeline as the project's bundle. `spot` stays
// attached to the scene (the 3D views show it where the bundle draws it).
bool packSpot(const std::string& root, const std::string& name, const std::string& meshDir, ObjMesh& spot) {
    if (spot.loadObj(meshDir + "/spot_triangulated.obj", false, false) != 1)
        return false;
    spot.loadTexture(meshDir + "/spot_texture.png");
    spot.name = "spot";
    Material textured;
    textured.textureFile = meshDir + "/spot_texture.png";
    spot.materials = {textured};
    for (Face& f : spot.faces)
        f.material = 0;
    GLNode* node = SceneRegistry::instance().attachToRoot(&spot);
    node->setPosition({0, -25, 90});
    node->setScale({90, 90, 90});
    Item_3d globals, part;
    globals.type = part.type = kItem3d;
    globals.name = "Global Params";
    globals.meshRole = kRoleGlobalParams;
    part.name = "spot";
    part.meshRole = kRoleMeshPart;
    part.weightMapPath = root + "/data/tools/3d_template/white.png";  // fully shown
    // The template's material parameters, the albedo set to spot's texture
    // (as the attribute panel sets it).
    part.param = MainDataHolder::instance()->materialParams;
    for (TemplateParam& p : part.param)
        if (p.name == "tex_albedo") {
            p.texPath = meshDir + "/spot_texture.png";
            p.values = "spot_texture.png";
        }
    part.mesh.reset(&spot);
    ProjectSnapshot input;
    input.root = root;
    input.projectName = name;
    input.items3d = {Item3dSnapshot::of(globals), Item3dSnapshot::of(part)};
    part.mesh.release();  // the caller owns the mesh
    QuietSink sink;
    PackController pc(root, name, &sink);
    pc.setBuildSteps({}, [&](std::string& reason) { return pack3d(input, [](int) {}, &reason); });
    return pc.runPack(PackController::Auto, true, "", PackController::Kind3d);
}

// The window with the preview's GL picture laid over its place (a widget
// grab does not read GL framebuffers).
QImage shot(LumoEditor& editor, lumovexawidget* view) {
    QImage picture = editor.grab().toImage();
    QPainter painter(&picture);
    painter.drawImage(view->mapTo(&editor, QPoint(0, 0)), view->grabPicture());
    return picture;
}

void spinFrames(lumovexawidget* view, int frames) {
    const int from = view->frameCounter();
    QElapsedTimer t;
    t.start();
    while (view->frameCounter() < from + frames && t.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: lumo_previewshots <output folder> <photograph> [<spot mesh folder>]\n");
        return 2;
    }
    lumovexawidget::setSourceOverride(QString::fromLocal8Bit(argv[2]));
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("LumoEditor"));
    QCoreApplication::setApplicationName(QStringLiteral("LumoEditor"));
    const QString out = QString::fromLocal8Bit(argv[1]);
    LumoEditor editor;
    const std::string name = "star_nose";
    if (!editor.createProject(1, QString::fromStdString(name)) || !packStar(editor.workspaceRoot(), name)) {
        std::fprintf(stderr, "the project could not be made\n");
        return 1;
    }
    editor.resize(1600, 960);
    editor.show();
    auto* view = editor.findChild<lumovexawidget*>(QStringLiteral("p_vexaView"));
    editor.bundleController()->onPlayVexa();
    editor.bundleController()->onSyncVexa();
    if (!view || !view->isRunning() || !editor.bundleController()->isCurrentBundleLoaded()) {
        std::fprintf(stderr, "the preview did not play the bundle\n");
        return 1;
    }
    spinFrames(view, 6);
    bool ok = shot(editor, view).save(out + "/preview-2d-portrait.png");
    editor.setVexaPreviews2Landscape();
    spinFrames(view, 6);
    ok = shot(editor, view).save(out + "/preview-2d-landscape.png") && ok;
    editor.setVexaPreviews2Portraint();
    if (argc < 4)
        return ok ? 0 : 1;

    // A 3D project: its bundle replaces the 2D one in the running preview.
    const std::string name3d = "spot_live";  // the 3D views' shots already made "spot_3d"
    ObjMesh spot;
    if (!editor.createProject(2, QString::fromStdString(name3d)) ||
        !packSpot(editor.workspaceRoot(), name3d, argv[3], spot)) {
        std::fprintf(stderr, "the 3D project could not be made\n");
        return 1;
    }
    SceneRegistry::instance().sortRequested = true;  // drawn in depth order
    for (BaseMeshViewer* v : editor.findChildren<BaseMeshViewer*>()) {
        v->updateAllMat();
        if (v->objectName() == QLatin1String("p_freeView"))
            v->frameAll();
        v->update();
    }
    editor.bundleController()->onSyncVexa();
    if (!view->isRunning() || !editor.bundleController()->isCurrentBundleLoaded()) {
        std::fprintf(stderr, "the preview did not play the 3D bundle\n");
        return 1;
    }
    spinFrames(view, 6);
    ok = shot(editor, view).save(out + "/preview-3d-portrait.png") && ok;
    SceneRegistry::instance().detachMesh(&spot);
    return ok ? 0 : 1;
}

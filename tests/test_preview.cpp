// The live preview and its bundle list with the real widget and runtime
// (Mesa's software GL under Xvfb); pictures stand in for the camera.

#include "GuiTestSupport.h"
#include "PackTestSupport.h"
#include "base/Trace.h"
#include "images/ImageBuffer.h"
#include "pack/BigTexJob.h"
#include "pack/BigTexPacker.h"
#include "pack/PackController.h"
#include "preview/VexaViewController.h"
#include "preview/lumovexawidget.h"
#include "scene/FaceActions.h"
#include "scene/Item_2d.h"
#include "scene/MainDataHolder.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <mutex>

using namespace pack_test;
using testing_support::spinUntil;

namespace {

const std::string kSource = LUMO_SOURCE_DIR;

// A 2D project "fx" with a star on the nose, packed into its workspace.
void packNoseStar(const PackWorkspace& ws) {
    BigTexJob job;
    job.root = ws.root();
    job.projectDir = ws.project();
    job.scriptName = "fx_lumoeditor_3_0_1";
    job.threads = 1;
    FaceActions actions;
    ASSERT_TRUE(actions.loadFromFile(kSource + "/data/tools/actions.json"));
    job.actions = actions.all();
    Sticker2d s;
    s.name = "star";
    s.texpath = kSource + "/data/ref/default_00000.png";
    s.fps = 10;
    s.triggerStart = kTriggerAlwaysRender;
    s.start_action = s.end_action = "null";
    s.hasNode = true;
    s.translation = {0, -15, 80};
    s.model = math3d::compose(s.translation, {70, 70, 1}, math3d::Mat3::identity());
    s.nearestVertex = 1649;
    s.nearestVertexPosition = {-1.856f, -12.711f, 76.45f};
    job.stickers.push_back(s);
    RecordingSink sink;
    PackController pc(ws.root(), "fx", &sink);
    pc.setBuildSteps([&](std::string& reason) { return BigTexPacker::run(job, nullptr, &reason); }, {});
    ASSERT_TRUE(pc.runPack(PackController::Auto, true, "", PackController::Kind2d));
}

// The preview beside its bundle list, on a workspace with the packed "fx".
struct Preview {
    bool app = (testing_support::guiApp(), true);
    PackWorkspace ws{"fx"};
    QWidget window;
    QTreeWidget* tree = new QTreeWidget(&window);
    lumovexawidget* view = new lumovexawidget(&window);
    VexaViewController bundles{tree, view};

    explicit Preview(const std::string& picture) {
        packNoseStar(ws);
        auto holder = MainDataHolder::instance();
        holder->root = ws.root();
        holder->projectName = "fx";
        holder->projectType = kProject2d;
        tree->setGeometry(0, 0, 300, 400);
        view->setGeometry(300, 0, 500, 500);
        view->setSource(QString::fromStdString(picture));
        window.resize(800, 500);
        window.show();
        spinUntil([&] { return view->isVisible() && view->isValid(); }, 20000);
    }
    QTreeWidgetItem* entry(int i) const { return bundles.root()->child(i); }
    // Right-click on the entry (or on empty space) and the menu's texts.
    QMenu* menuOn(QTreeWidgetItem* item) {
        tree->clearSelection();
        QPoint at(150, 390);
        if (item) {
            at = tree->visualItemRect(item).center();
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        }
        QContextMenuEvent e(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
        QApplication::sendEvent(tree->viewport(), &e);
        QMenu* menu = nullptr;
        spinUntil([&] {
            for (QMenu* m : tree->findChildren<QMenu*>("p_menu_bundles"))
                if (m->isVisible())
                    menu = m;
            return menu != nullptr;
        }, 10000);
        return menu;
    }
    void choose(QTreeWidgetItem* item, const QString& action) {
        QMenu* menu = menuOn(item);
        ASSERT_TRUE(menu);
        for (QAction* a : menu->actions())
            if (a->text() == action)
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
        spinUntil([&] { return !menu->isVisible(); }, 10000);
    }
    // Load button's dialog answered with `file`.
    void load(const std::string& file) {
        QTimer::singleShot(0, [file] {
            spinUntil([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()) != nullptr; }, 10000);
            auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            d->selectFile(QString::fromStdString(file));
            static_cast<QDialog*>(d)->accept();
        });
        bundles.onLoadBundle();
    }
};

std::string picture(const testing_support::ScratchDir& dir, int w, int h) {
    cv::Mat m(h, w, CV_8UC3, cv::Scalar(40, 120, 200));
    const std::string path = dir.file("frame.png");
    cv::imwrite(path, m);
    return path;
}

} // namespace

// First: the runtime keeps GL objects of the first context it draws in, so
// a later widget (a new context) in the same process draws no effects.
TEST(Preview, syncedStickerShowsOnTheFaceOfAPhotograph) {
    LUMO_REQUIRE_FIXTURES();
    Preview p(testing_support::fixturesDir() + "/faces/2008_001009.jpg");
    ASSERT_TRUE(MainDataHolder::instance()->previewPicture->imread(kSource + "/data/ref/phonevexa.png"));
    p.bundles.onPlayVexa();
    p.bundles.onSyncVexa();
    ASSERT_TRUE(p.bundles.isCurrentBundleLoaded()) << p.view->lastError().toStdString();
    auto shot = [&](bool effect) {
        p.view->setRenderEnabled(0, effect);
        const int from = p.view->frameCounter();
        spinUntil([&] { return p.view->frameCounter() > from + 2; }, 60000);
        return p.view->grabPicture();
    };
    const QImage plain = shot(false);
    QImage with;
    // Inside the camera quad the star changes the face's middle (once the
    // tracker has found the face); the phone frame around it stays.
    long changed = 0, outside = 0;
    spinUntil([&] {
        with = shot(true);
        changed = outside = 0;
        for (int y = 0; y < plain.height(); ++y)
            for (int x = 0; x < plain.width(); ++x) {
                const bool differs = qGray(plain.pixel(x, y)) != qGray(with.pixel(x, y));
                (x < 130 || x > 370 ? outside : changed) += differs;
            }
        return changed > 200;
    }, 60000);
    EXPECT_GT(changed, 200);
    EXPECT_EQ(outside, 0);
    EXPECT_GT(qGray(with.pixel(250, 250)), 30) << "the photograph shows";
    EXPECT_GT(qGray(with.pixel(250, 5)), 0) << "the phone frame shows";
}

TEST(Preview, cropsOfA640x480CameraAndThePhoneQuadOfASquareViewShownMirrored) {
    testing_support::ScratchDir dir;
    cv::Mat halves(480, 640, CV_8UC3, cv::Scalar(255, 0, 0));  // blue left, red right
    halves(cv::Rect(320, 0, 320, 480)).setTo(cv::Scalar(0, 0, 255));
    ASSERT_TRUE(cv::imwrite(dir.file("halves.png"), halves));
    Preview p(dir.file("halves.png"));
    p.bundles.onPlayVexa();
    QImage shown;
    spinUntil([&] {
        p.view->nextFrame();
        shown = p.view->grabPicture();
        return qRed(shown.pixel(170, 250)) + qBlue(shown.pixel(170, 250)) > 200;
    }, 20000);
    EXPECT_GT(qRed(shown.pixel(170, 250)), 200) << "the frame's right half shows on the left";
    EXPECT_GT(qBlue(shown.pixel(330, 250)), 200);
    ASSERT_EQ(p.view->status(), lumovexawidget::Running) << p.view->lastError().toStdString();
    const struct {
        lumovexawidget::CropRect c;
        int w, h, left, top;
    } crops[] = {{p.view->portraitCrop(), 275, 480, 182, 0}, {p.view->landscapeCrop(), 640, 367, 0, 56}};
    for (const auto& k : crops)
        EXPECT_EQ(std::vector<int>({k.c.width, k.c.height, k.c.left, k.c.top}),
                  std::vector<int>({k.w, k.h, k.left, k.top}));
    const float* q = p.view->phoneQuad();
    EXPECT_NEAR(q[4], 0.488f, 1e-6);
    EXPECT_NEAR(q[5], 1.0f, 1e-6);
    EXPECT_NEAR(q[0], -0.488f, 1e-6);
}

TEST(Preview, frameCounterStaysWithoutEffectsAndParametersNeedAnIndex) {
    testing_support::ScratchDir dir;
    Preview p(picture(dir, 640, 480));
    p.bundles.onPlayVexa();
    ASSERT_TRUE(p.view->isRunning());
    for (int i = 0; i < 5; ++i)
        p.view->nextFrame();
    EXPECT_EQ(p.view->frameCounter(), 0);
    ASSERT_TRUE(p.view->addBundle(p.ws.project("build/iOS/fx.bundle")));
    p.view->nextFrame();
    EXPECT_EQ(p.view->frameCounter(), 1);

    std::mutex m;
    std::string traced;
    Trace::setSink([&](Trace::Stream, const std::string& t) {
        std::lock_guard<std::mutex> lock(m);
        traced += t;
    });
    p.view->setCurIdx(-1);
    p.view->setParam_f("scale", 2, -1);
    p.view->setParam_s("name", "x", 7);
    p.view->refresh(7);
    p.view->setParam_f(std::string(200, 'n'), 1, 0);
    Trace::setSink({});
    EXPECT_EQ(traced.find("rid"), std::string::npos) << traced;
    EXPECT_NE(traced.find("refused"), std::string::npos) << traced;
}

TEST(Preview, bundleListKeepsTheProjectsBundleInPlace) {
    testing_support::ScratchDir dir, other;
    Preview p(picture(dir, 640, 480));
    const std::string packed = p.ws.project("build/iOS/fx.bundle");
    testing_support::writeFile(dir.file("other.bundle"), testing_support::readFile(packed));
    testing_support::writeFile(other.file("other.bundle"), testing_support::readFile(packed));
    QSignalSpy said(&p.bundles, &VexaViewController::statusMessage);

    p.load(dir.file("other.bundle"));
    p.load(other.file("other.bundle"));
    ASSERT_EQ(p.bundles.root()->childCount(), 1);
    EXPECT_EQ(said.last().at(0).toString(), QStringLiteral("bundle with same name exist !"));

    p.bundles.onSyncVexa();
    const int first = p.view->itemHandles().at(1);
    p.choose(p.entry(1), "Disable");
    EXPECT_EQ(p.view->renderList().at(1), 0);
    p.bundles.onSyncVexa();
    ASSERT_EQ(p.bundles.root()->childCount(), 2);
    EXPECT_EQ(p.entry(1)->text(0), QStringLiteral("fx.bundle"));
    EXPECT_EQ(p.view->itemHandles().size(), 2u);
    EXPECT_NE(p.view->itemHandles().at(1), first) << "the bundle was reloaded";
    EXPECT_EQ(p.view->renderList().at(1), p.view->itemHandles().at(1)) << "a synced entry renders again";

    p.choose(p.entry(1), "Move up");
    EXPECT_EQ(p.entry(0)->text(0), QStringLiteral("fx.bundle"));
    EXPECT_EQ(p.bundles.currentBundleIndex(), 0);
    EXPECT_EQ(p.view->curIdx(), 0);
    p.choose(p.entry(1), "Delete");
    EXPECT_EQ(p.view->itemHandles().size(), 1u);
    EXPECT_EQ(p.bundles.currentBundleIndex(), 0);

    for (QTreeWidgetItem* at : {p.bundles.root(), static_cast<QTreeWidgetItem*>(nullptr)}) {
        QMenu* menu = p.menuOn(at);
        ASSERT_TRUE(menu);
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << a->text();
        EXPECT_EQ(texts, QStringList{"Add Bundle"});
        menu->close();
    }
}

TEST(Preview, noCameraIsReportedAndAnotherSourceOfAnotherSizeTakesOver) {
    testing_support::ScratchDir dir, small;
    Preview p(dir.file("missing.avi"));
    p.bundles.onPlayVexa();
    EXPECT_EQ(p.view->status(), lumovexawidget::NoCamera);
    EXPECT_FALSE(p.view->addBundle(p.ws.project("build/iOS/fx.bundle")));
    EXPECT_EQ(p.view->lastError(), QStringLiteral("camera init failed"));
    p.view->setSource(QString::fromStdString(picture(dir, 640, 480)));
    p.bundles.onPlayVexa();
    ASSERT_TRUE(p.view->isRunning());
    // A running source swapped for frames of another size: new crops.
    p.view->setSource(QString::fromStdString(picture(small, 320, 240)));
    ASSERT_TRUE(p.view->isRunning());
    p.view->nextFrame();
    const lumovexawidget::CropRect& c = p.view->portraitCrop();
    EXPECT_EQ(std::vector<int>({c.width, c.height, c.left}), std::vector<int>({137, 240, 91}));
}

// The runtime inside a Qt OpenGL context, as the editor's preview calls it
// (Mesa's software GL under Xvfb): it draws a packed screen sticker into the
// frame and leaves the caller's framebuffer binding, viewport and pixels as
// they were.

#include "GlOffscreen.h"
#include "GuiTestSupport.h"
#include "PackTestSupport.h"
#include "pack/BigTexJob.h"
#include "pack/BigTexPacker.h"
#include "pack/PackController.h"
#include "scene/Item_2d.h"
#include "vexa/vexa.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <gtest/gtest.h>

#include <vector>

using namespace pack_test;

TEST(VexaInQtContext, drawsTheFrameAndRestoresTheCallersState) {
    testing_support::guiApp();
    testing_support::GlOffscreen gl(32);
    ASSERT_TRUE(gl.ready());
    QOpenGLFunctions* f = QOpenGLContext::currentContext()->functions();
    GLint callerFbo = 0, callerViewport[4] = {0, 0, 0, 0};
    f->glGetIntegerv(GL_FRAMEBUFFER_BINDING, &callerFbo);
    f->glGetIntegerv(GL_VIEWPORT, callerViewport);

    const std::string blob = testing_support::readFile(std::string(LUMO_SOURCE_DIR) + "/data/vexa/v3.bundle");
    ASSERT_EQ(lumoSetup(blob.data(), int(blob.size())), 1) << lumoGetLastError();
    PackWorkspace ws("qt");
    BigTexJob job;
    job.root = ws.root();
    job.projectDir = ws.project();
    job.scriptName = "qt_lumoeditor_3_0_1";
    job.threads = 1;
    Sticker2d s;
    s.name = "star";
    s.texpath = std::string(LUMO_SOURCE_DIR) + "/data/ref/default_00000.png";
    s.fps = 10;
    s.triggerStart = kTriggerAlwaysRender;
    s.start_action = s.end_action = "null";
    s.isfullscreen = s.hasNode = true;
    s.translation = {0, 0, 519};
    s.model = math3d::compose(s.translation, {200, 200, 1}, math3d::Mat3::identity());
    job.stickers.push_back(s);
    RecordingSink sink;
    PackController pc(ws.root(), "qt", &sink);
    pc.setBuildSteps([&](std::string& reason) { return BigTexPacker::run(job, nullptr, &reason); }, {});
    ASSERT_TRUE(pc.runPack(PackController::Auto, true, "", PackController::Kind2d));
    const std::string bundle = testing_support::readFile(ws.project("build/iOS/qt.bundle"));
    const int item = lumoCreateItemFromPackage(bundle.data(), int(bundle.size()));
    ASSERT_GT(item, 0) << lumoGetLastError();

    const int w = 275, h = 480;
    std::vector<unsigned char> frame(size_t(w) * h * 4, 90);
    ASSERT_EQ(lumoRenderItemsEx(4, frame.data(), 4, frame.data(), w, h, 0, &item, 1), 1) << lumoGetLastError();
    auto at = [&](int x, int y) { return int(frame[(size_t(y) * w + size_t(x)) * 4 + 2]); };
    EXPECT_NE(at(w / 2, h / 2), 90) << "the star covers the screen's centre";
    EXPECT_EQ(at(3, 3), 90);
    EXPECT_EQ(at(w - 3, h - 3), 90);

    GLint fbo = -1, viewport[4] = {0, 0, 0, 0};
    f->glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fbo);
    f->glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(fbo, callerFbo);
    EXPECT_EQ(std::vector<GLint>(viewport, viewport + 4), std::vector<GLint>(callerViewport, callerViewport + 4));
    EXPECT_EQ(gl.pixel(16, 16), (std::array<int, 3>{0, 0, 0})) << "the caller's picture is untouched";
    EXPECT_EQ(lumoDestroyItem(item), 1);
}

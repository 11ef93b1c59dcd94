// The live preview's tick: capture, convert, crop, draw through the runtime,
// mirror, upload. Runs the real widget (under Xvfb) on a 30 fps video made
// here, with one packed 2D bundle.

#include "BenchSupport.h"
#include "../tests/PackTestSupport.h"
#include "pack/BigTexJob.h"
#include "pack/BigTexPacker.h"
#include "pack/PackController.h"
#include "preview/lumovexawidget.h"
#include "scene/Item_2d.h"
#include "scene/MainDataHolder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using bench::fixturesDir;

std::string fmt(double v) {
    char b[32];
    std::snprintf(b, sizeof b, "%.3f", v);
    return b;
}

double nowMs(const QElapsedTimer& t) { return double(t.nsecsElapsed()) / 1e6; }

double percentile(std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

bool packStar(const pack_test::PackWorkspace& ws) {
    BigTexJob job;
    job.root = ws.root();
    job.projectDir = ws.project();
    job.scriptName = "fx_lumoeditor_3_0_1";
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
    pack_test::RecordingSink sink;
    PackController pc(ws.root(), "fx", &sink);
    pc.setBuildSteps([&](std::string& reason) { return BigTexPacker::run(job, nullptr, &reason); }, {});
    return pc.runPack(PackController::Auto, true, "", PackController::Kind2d);
}

// 120 frames of 640 x 480 at 30 fps: the fixture photograph (or a gradient)
// with a moving bar.
std::string makeVideo(const std::string& dir) {
    cv::Mat base = cv::imread(fixturesDir() + "/faces/2008_001009.jpg", cv::IMREAD_COLOR);
    if (base.empty()) {
        base.create(480, 640, CV_8UC3);
        for (int y = 0; y < 480; ++y)
            base.row(y).setTo(cv::Scalar(y / 2, 100, 255 - y / 2));
    }
    cv::resize(base, base, cv::Size(640, 480));
    const std::string path = dir + "/tick.avi";
    cv::VideoWriter w(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30, cv::Size(640, 480));
    for (int i = 0; i < 120; ++i) {
        cv::Mat f = base.clone();
        cv::rectangle(f, cv::Rect((i * 5) % 600, 10, 40, 40), cv::Scalar(0, 255, 0), cv::FILLED);
        w.write(f);
    }
    return w.isOpened() ? path : std::string();
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    pack_test::PackWorkspace ws("fx");
    if (!packStar(ws)) {
        std::printf("the bundle could not be packed\n");
        return 1;
    }
    MainDataHolder::instance()->root = ws.root();
    const std::string video = makeVideo(ws.root());
    if (video.empty()) {
        std::printf("no video writer\n");
        return 1;
    }

    // The floor: OpenCV's own convert and mirror of the whole frame.
    cv::VideoCapture cap(video);
    cv::Mat frame, rgba;
    cap.read(frame);
    QElapsedTimer clock;
    clock.start();
    const int reps = 300;
    double floorMs = 0, oursMs = 0;
    for (int r = 0; r < reps; ++r) {
        const double t0 = nowMs(clock);
        cv::cvtColor(frame, rgba, cv::COLOR_BGR2RGBA);
        cv::flip(rgba, rgba, 1);
        floorMs += nowMs(clock) - t0;
    }

    lumovexawidget view;
    view.resize(500, 500);
    view.show();
    // Our tick without the runtime: a still frame (no capture), no bundle.
    const std::string still = ws.root() + "/still.png";
    cv::imwrite(still, frame);
    view.setSource(QString::fromStdString(still));
    view.start();
    if (!view.isRunning()) {
        std::printf("the preview did not start: %s\n", view.lastError().toUtf8().constData());
        return 1;
    }
    if (QTimer* t = view.findChild<QTimer*>())
        t->stop(); // the bench drives the ticks
    for (int r = 0; r < reps; ++r) {
        const double t0 = nowMs(clock);
        view.nextFrame();
        oursMs += nowMs(clock) - t0;
    }
    const double ratio = oursMs / std::max(1e-9, floorMs);
    std::printf("convert+mirror floor %.3f ms, our tick without runtime %.3f ms\n", floorMs / reps, oursMs / reps);
    bench::goal("tick_without_runtime_vs_opencv_floor", fmt(ratio), "1.5", ratio <= 1.5);

    // The whole tick on the 30 fps video with the bundle, every 16 ms.
    view.setSource(QString::fromStdString(video));
    view.start();
    if (QTimer* t = view.findChild<QTimer*>())
        t->stop();
    if (!view.addBundle(ws.project("build/iOS/fx.bundle"))) {
        std::printf("bundle refused: %s\n", view.lastError().toUtf8().constData());
        return 1;
    }
    std::vector<double> ticks;
    int dropped = 0;
    const int count = 600;
    const double start = nowMs(clock);
    for (int k = 0; k < count; ++k) {
        const double due = start + 16.0 * k;
        while (nowMs(clock) < due)
            app.processEvents(QEventLoop::AllEvents, 1);
        const double t0 = nowMs(clock);
        view.nextFrame();
        const double t1 = nowMs(clock);
        ticks.push_back(t1 - t0);
        if (t1 > due + 16.0)
            ++dropped;
    }
    std::printf("tick median %.2f ms, 95th percentile %.2f ms (budget 16 ms), frames drawn %d\n",
                percentile(ticks, 0.5), percentile(ticks, 0.95), view.frameCounter());
    const double share = double(dropped) / count;
    bench::goal("dropped_ticks_share", fmt(share), "0.05", share <= 0.05);
    return 0;
}

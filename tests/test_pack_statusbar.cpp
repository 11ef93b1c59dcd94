// The pack pipeline seen through a real status bar: messages and progress
// reach the widgets through StatusBarPackSink while the run goes on.

#include "GuiTestSupport.h"
#include "PackTestSupport.h"
#include "app/PackRunner.h"
#include "app/StatusBarController.h"
#include "app/StatusBarPackSink.h"
#include "pack/PackController.h"
#include "scene/ProjectSnapshot.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

using namespace pack_test;

namespace {

class PackStatusBar : public ::testing::Test {
protected:
    PackStatusBar() {
        message = new QLabel(&bar);
        second = new QLabel(&bar);
        progress = new QProgressBar(&bar);
        bar.addWidget(message, 0);
        bar.addWidget(second, 1);
        bar.addWidget(progress, 2);
        StatusBarController::instance()->setWidgets(&bar, message, second, progress);
        StatusBarController::instance()->setProgress(0);
    }
    ~PackStatusBar() override { StatusBarController::instance()->setWidgets(nullptr, nullptr, nullptr, nullptr); }

    QApplication& app = testing_support::guiApp();  // before any widget
    testing_support::TraceCapture trace;
    QStatusBar bar;
    QLabel* message;
    QLabel* second;
    QProgressBar* progress;
    PackWorkspace ws;
    StatusBarPackSink sink;
    PackController pc{ws.root(), "p", &sink};
};

TEST_F(PackStatusBar, runShowsItsStepsAndEndsWithSuccessAndAnEmptyBar) {
    QString textWhileBuilding;
    int valueWhileBuilding = -1;
    pc.setBuildSteps(
        [&](std::string&) {
            textWhileBuilding = message->text();
            valueWhileBuilding = progress->value();
            putOutFiles(ws, PackController::Kind2d);
            return true;
        },
        {});

    ASSERT_TRUE(pc.runPack(PackController::Auto, true, "", PackController::Kind2d)) << trace.all();

    EXPECT_EQ(textWhileBuilding, "Packing bundle!");
    EXPECT_EQ(valueWhileBuilding, 5);
    EXPECT_EQ(message->text(), "Pack Success!");
    EXPECT_EQ(StatusBarController::instance()->messageTimer().interval(), 3000);
    EXPECT_TRUE(StatusBarController::instance()->messageTimer().isActive());
    EXPECT_EQ(progress->value(), 0);
    EXPECT_EQ(StatusBarController::instance()->progress(), 0);
}

TEST_F(PackStatusBar, failedRunShowsPackFailedAndResetsTheBar) {
    pc.setBuildSteps({}, [](std::string&) { return false; });
    StatusBarController::instance()->setProgress(60);

    EXPECT_FALSE(pc.runPack(PackController::Auto, true, "", PackController::Kind3d));

    EXPECT_EQ(message->text(), "Pack Failed!");
    EXPECT_EQ(StatusBarController::instance()->messageTimer().interval(), 3000);
    EXPECT_EQ(progress->value(), 0);
}

// A pack on the runner's worker: its messages and progress reach the status
// bar while it still runs, a second request is refused, and its result
// arrives through finished() on the GUI thread.
TEST_F(PackStatusBar, runnerPacksOnAWorkerWhileTheStatusBarKeepsUpdating) {
    using testing_support::spinUntil;
    PackRunner runner;
    std::vector<bool> finished;
    QObject::connect(&runner, &PackRunner::finished, [&](bool ok) { finished.push_back(ok); });
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::thread::id workerId;
    ASSERT_TRUE(runner.startJob([&, released](PackStatusSink& worker) {
        workerId = std::this_thread::get_id();
        worker.showMessage("Packing bundle!", 3000);
        worker.advanceProgress(5);
        return released.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    }));

    EXPECT_TRUE(spinUntil([&] { return message->text() == "Packing bundle!" && progress->value() == 5; }, 20000));
    EXPECT_TRUE(runner.isRunning());
    EXPECT_FALSE(runner.startJob([](PackStatusSink&) { return true; }));
    EXPECT_EQ(message->text(), PackRunner::kBusyMessage);
    EXPECT_TRUE(finished.empty());

    release.set_value();
    ASSERT_TRUE(spinUntil([&] { return finished.size() == 1; }, 20000));
    EXPECT_TRUE(finished[0]);
    EXPECT_FALSE(runner.isRunning());
    EXPECT_NE(workerId, std::this_thread::get_id());
}

// A real 3D pack of a snapshot through the runner; waitForFinished (the
// window's close) returns once the pack has ended and reports it once.
TEST_F(PackStatusBar, runnerPacksASnapshotAndWaitForFinishedReportsTheEndOnce) {
    auto project = std::make_shared<ProjectSnapshot>();
    project->root = ws.root();
    project->projectName = "p";
    project->projectType = 2;
    Item3dSnapshot globals;
    globals.name = "Global Params";
    globals.meshRole = 1;
    project->items3d.push_back(globals);
    PackRunner runner;
    std::vector<bool> finished;
    QObject::connect(&runner, &PackRunner::finished, [&](bool ok) { finished.push_back(ok); });

    ASSERT_TRUE(runner.start(project, PackController::Auto));
    runner.waitForFinished();

    ASSERT_EQ(finished.size(), 1u) << trace.all();
    EXPECT_TRUE(finished[0]) << trace.all();
    EXPECT_TRUE(trace.contains("Pack 3d success!"));
    EXPECT_EQ(verifyBundle(ws.project("build/iOS/p.bundle")), 0);
    EXPECT_TRUE(testing_support::spinUntil([&] { return message->text() == "Pack Success!"; }, 20000));
    EXPECT_EQ(finished.size(), 1u) << "the queued completion is not reported again";
}

} // namespace

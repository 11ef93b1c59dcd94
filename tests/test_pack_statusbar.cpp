// The pack pipeline seen through a real status bar: messages and progress
// reach the widgets through StatusBarPackSink while the run goes on.

#include "GuiTestSupport.h"
#include "PackTestSupport.h"
#include "app/StatusBarController.h"
#include "app/StatusBarPackSink.h"
#include "pack/PackController.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <gtest/gtest.h>

#include <memory>

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

} // namespace

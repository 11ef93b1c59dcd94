#include "app/StatusBarController.h"
#include "GuiTestSupport.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <gtest/gtest.h>
#include <memory>

using namespace testing_support;

namespace {

// A real status bar with the controller's three widgets.
struct Bar {
    Bar() {
        guiApp();
        bar = std::make_unique<QStatusBar>();
        message = new QLabel(bar.get());
        second = new QLabel(bar.get());
        progress = new QProgressBar(bar.get());
        bar->addWidget(message, 0);
        bar->addWidget(second, 1);
        bar->addWidget(progress, 2);
        StatusBarController::instance()->setWidgets(bar.get(), message, second, progress);
    }
    ~Bar() { StatusBarController::instance()->setProgress(0); }
    std::unique_ptr<QStatusBar> bar;
    QLabel* message;
    QLabel* second;
    QProgressBar* progress;
};

} // namespace

TEST(StatusBar, newerMessageReplacesTheTextAndRestartsTheTimer) {
    Bar w;
    auto sb = StatusBarController::instance();
    sb->showMessage("first", 5000);
    EXPECT_EQ(w.message->text(), "first");
    EXPECT_TRUE(sb->messageTimer().isActive());
    EXPECT_EQ(sb->messageTimer().interval(), 5000);

    sb->showMessage("second", 300);
    EXPECT_EQ(w.message->text(), "second");
    EXPECT_TRUE(sb->messageTimer().isSingleShot());
    EXPECT_EQ(sb->messageTimer().interval(), 300);
    EXPECT_LT(sb->messageTimer().remainingTime(), 1000); // not the first message's 5 s

    // the second message is cleared by its own timer, not kept for the first's
    ASSERT_TRUE(spinUntil([&] { return w.message->text().isEmpty(); }, 60000));
    // nothing can fire later: no timer runs, so a new text stays
    EXPECT_FALSE(sb->messageTimer().isActive());
    w.message->setText("kept");
    QCoreApplication::processEvents();
    EXPECT_EQ(w.message->text(), "kept");
}

TEST(StatusBar, messagesAreReadInTheLocalCodePage) {
    Bar w;
    StatusBarController::instance()->showMessage("save ok: caf\xc3\xa9", 1000);
    EXPECT_EQ(w.message->text(), QString::fromLocal8Bit("save ok: caf\xc3\xa9"));
    StatusBarController::instance()->clearMsg();
}

TEST(StatusBar, clearMsgWithNoMessageLeavesTheLabelEmpty) {
    Bar w;
    StatusBarController::instance()->clearMsg();
    EXPECT_TRUE(w.message->text().isEmpty());
    StatusBarController::instance()->clearMsg();
    EXPECT_TRUE(w.message->text().isEmpty());
}

TEST(StatusBar, advanceProgressShowsAFullRunThenCountsAgainFromZero) {
    Bar w;
    auto sb = StatusBarController::instance();
    sb->setProgress(90);
    EXPECT_EQ(w.progress->value(), 90);
    EXPECT_EQ(sb->progress(), 90);
    sb->advanceProgress(15);
    EXPECT_EQ(w.progress->value(), 100);
    EXPECT_EQ(sb->progress(), 0);
    sb->advanceProgress(5);
    EXPECT_EQ(w.progress->value(), 5);
    EXPECT_EQ(sb->progress(), 5);
    sb->advanceProgress(95);
    EXPECT_EQ(w.progress->value(), 100);
    EXPECT_EQ(sb->progress(), 0);
    sb->advanceProgress(40);
    sb->advanceProgress(40);
    EXPECT_EQ(w.progress->value(), 80);
    EXPECT_EQ(sb->progress(), 80);
}

TEST(StatusBar, worksWithoutWidgetsAndAfterTheyAreGone) {
    guiApp();
    auto sb = StatusBarController::instance();
    {
        Bar w;
    } // the widgets are destroyed here
    sb->showMessage("nobody sees this", 50);
    sb->setProgress(30);
    sb->advanceProgress(80);
    EXPECT_EQ(sb->progress(), 0);
    EXPECT_TRUE(spinUntil([&] { return !sb->messageTimer().isActive(); }, 60000));
}

TEST(StatusBar, sharedInstanceIsOneObject) {
    EXPECT_EQ(StatusBarController::instance().get(), StatusBarController::instance().get());
}

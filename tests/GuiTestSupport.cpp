#include "GuiTestSupport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

namespace testing_support {

QApplication& guiApp() {
    static int argc = 1;
    static char name[] = "lumo-gui-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

bool spinUntilImpl(bool (*pred)(void*), void* ctx, int maxMs) {
    QElapsedTimer clock;
    clock.start();
    while (!pred(ctx)) {
        if (clock.elapsed() > maxMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

} // namespace testing_support

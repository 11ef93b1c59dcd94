#include "app/LumoEditor.h"

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <memory>

int main(int argc, char* argv[]) {
    for (const char* path : {"./", "./bins", "./bins/platforms", "../", "../bins", "../bins/platforms"})
        QCoreApplication::addLibraryPath(QString::fromLatin1(path));

    auto app = std::make_unique<QApplication>(argc, argv);
    auto editor = std::make_unique<LumoEditor>();
    editor->show();

    // LUMO_QUIT_AFTER_MS closes the main window after that many milliseconds,
    // through the normal close path (used by smoke tests and headless runs).
    if (const char* ms = std::getenv("LUMO_QUIT_AFTER_MS")) {
        QTimer::singleShot(std::atoi(ms), editor.get(), [&editor] { editor->close(); });
    }
    const int code = app->exec();
    editor.reset();
    app.reset();
    return code;
}

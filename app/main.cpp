#include "app/LumoEditor.h"
#include "app/PreChoiceController.h"
#include "preview/lumovexawidget.h"

#include <QApplication>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

// The toolkit's plug-ins are looked up beside the program and in its bins/
// folder, never relative to the current directory, which holds user data.
// Added before the application object exists, which loads the platform
// plug-in.
void addLibraryPaths(const char* argv0) {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty())
        exe = fs::absolute(fs::path(argv0 ? argv0 : ""), ec);
    const QString dir = QString::fromStdString(exe.parent_path().string());
    for (const QString& path : {dir, dir + "/bins", dir + "/bins/platforms"})
        QCoreApplication::addLibraryPath(path);
}

} // namespace

int main(int argc, char* argv[]) {
    addLibraryPaths(argc > 0 ? argv[0] : nullptr);
    auto app = std::make_unique<QApplication>(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("LumoEditor"));
    QCoreApplication::setApplicationName(QStringLiteral("LumoEditor"));

    // --camera <N|file>: the preview's frames come from camera N, a video
    // file or a picture for this run (the remembered choice stays).
    const QStringList args = QCoreApplication::arguments();
    const int cameraArg = args.indexOf(QStringLiteral("--camera"));
    if (cameraArg >= 0 && cameraArg + 1 < args.size())
        lumovexawidget::setSourceOverride(args.at(cameraArg + 1));
    auto editor = std::make_unique<LumoEditor>();
    auto panel = std::make_unique<PreChoiceController>(editor.get());
    // Closing the panel without choosing a project ends the program (the
    // main window is still hidden then).
    QObject::connect(panel.get(), &QDialog::finished, editor.get(), [&editor] {
        if (!editor->isVisible())
            editor->close();
    });
    panel->show();

    // LUMO_QUIT_AFTER_MS closes the windows after that many milliseconds,
    // through the normal close path (used by smoke tests and headless runs).
    if (const char* ms = std::getenv("LUMO_QUIT_AFTER_MS")) {
        QTimer::singleShot(std::atoi(ms), editor.get(), [&editor, &panel] {
            if (panel->isVisible())
                panel->close(); // ends the program through finished()
            else
                editor->close();
        });
    }
    const int code = app->exec();
    panel.reset();
    editor.reset();
    app.reset();
    return code;
}

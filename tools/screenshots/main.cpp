// lumo_screenshots <folder> [cn]: shows the editor's windows one after another in
// the workspace that is the current directory and saves what the screen
// shows of each as PNG files in <folder>:
//   start-panel.png     the start panel listing the workspace's projects
//   new-project.png     the new-project dialog with a name typed in
//   main-window-2d.png  the main window of a new 2D project (1600 x 960)
//   main-window-3d.png  the main window of a new 3D project
//   about.png           the About box
//   tintworks.png       the filter tool's look dialog
// The main windows are shown in English, or with "cn" in Chinese (the
// language a new project starts in). Run by scripts/screenshots.sh under a virtual X server. The windows are
// taken from the X server (QScreen::grabWindow), as a user would see them,
// OpenGL views included. Exit status 1 when a picture could not be made.

#include "app/CreateProjectDialog.h"
#include "app/LumoEditor.h"
#include "app/PreChoiceController.h"
#include "base/Trace.h"
#include "tools/tintworks/TintworksDialog.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QTest>

namespace {

QString g_folder;
bool g_english = true;
int g_failures = 0;

// Lets the window system show `w` and the event loop run its timers.
void settle(QWidget* w, int ms = 600) {
    QTest::qWaitForWindowExposed(w, 10000);
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

void shoot(QWidget* w, const char* name) {
    settle(w);
    QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    const QPixmap picture = screen->grabWindow(w->winId());
    const QString path = g_folder + "/" + name;
    if (picture.isNull() || !picture.save(path, "PNG")) {
        Trace::err("screenshots: could not save %s\n", path.toLocal8Bit().constData());
        ++g_failures;
        return;
    }
    Trace::out("screenshots: %s (%d x %d)\n", path.toLocal8Bit().constData(), picture.width(), picture.height());
}

void useEnglish(LumoEditor& editor) {
    settle(&editor, 300);  // the language timer of the project set-up
    if (!g_english)
        return;
    if (auto* english = editor.findChild<QAction*>("actionEnglish"))
        english->trigger();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName("LumoEditor");
    QCoreApplication::setApplicationName("LumoEditor");
    if (argc < 2 || argc > 3 || (argc == 3 && QByteArray(argv[2]) != "cn")) {
        Trace::err("usage: lumo_screenshots <folder> [cn]\n");
        return 2;
    }
    g_english = argc == 2;
    g_folder = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(g_folder);

    LumoEditor editor;
    {
        PreChoiceController panel(&editor);
        panel.show();
        shoot(&panel, "start-panel.png");
        panel.hide();
    }
    {
        CreateProjectDialog dialog("Projects", QFile::exists("bins/Tintworks"));
        dialog.show();
        if (auto* name = dialog.findChild<QLineEdit*>())
            QTest::keyClicks(name, "spring_stickers");
        shoot(&dialog, "new-project.png");
        dialog.hide();
    }

    editor.resize(1600, 960);
    editor.show();
    editor.createProject(1, "stickers_2d");
    useEnglish(editor);
    shoot(&editor, "main-window-2d.png");

    editor.createProject(2, "mesh_3d");
    useEnglish(editor);
    shoot(&editor, "main-window-3d.png");

    editor.OnAbout();
    QApplication::processEvents();
    if (auto* about = editor.findChild<QMessageBox*>("p_box_about")) {
        shoot(about, "about.png");
        about->close();
    } else {
        Trace::err("screenshots: no About box\n");
        ++g_failures;
    }

    {
        tint::Look look;
        look.temperature = 0.35;
        look.saturation = 0.3;
        look.contrast = 0.15;
        tint::FilterProject project;
        std::string error;
        if (!tint::createProject("Projects", "golden_hour.lumoproj", look, project, error) &&
            !tint::openProject("Projects", "golden_hour.lumoproj", project, error)) {
            Trace::err("screenshots: %s\n", error.c_str());
            ++g_failures;
        } else {
            TintworksDialog dialog(project, "data/ref");
            dialog.show();
            shoot(&dialog, "tintworks.png");
        }
    }
    editor.hide();
    return g_failures ? 1 : 0;
}

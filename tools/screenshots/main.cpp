// lumo_screenshots <folder> [cn]: shows the editor's windows one after another in
// the workspace that is the current directory and saves what the screen
// shows of each as PNG files in <folder>:
//   start-panel.png     the start panel listing the workspace's projects
//   new-project.png     the new-project dialog with a name typed in
//   main-window-2d.png  the main window of a new 2D project (1600 x 960) with
//                       two stickers and a face mask, the first sticker selected
//   main-window-3d.png  the main window of a new 3D project with one item
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
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTreeWidget>

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

// Clicks a tree entry where a user would.
void clickEntry(QTreeWidget* tree, QTreeWidgetItem* entry) {
    tree->scrollToItem(entry);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(entry).center());
}

// Adds `count` items under scene tree root `root` with the add button, as a
// user would: select the root, press the button.
void addItems(LumoEditor& editor, int root, int count) {
    auto* tree = editor.findChild<QTreeWidget*>("p_tree_scene");
    auto* add = editor.findChild<QPushButton*>("p_btn_add_item");
    if (!tree || !add || !tree->topLevelItem(root))
        return;
    clickEntry(tree, tree->topLevelItem(root));
    for (int i = 0; i < count; ++i)
        QTest::mouseClick(add, Qt::LeftButton);
}

// Selects the first item under root `root`, so the attribute panel shows it.
void selectFirst(LumoEditor& editor, int root) {
    auto* tree = editor.findChild<QTreeWidget*>("p_tree_scene");
    if (tree && tree->topLevelItem(root) && tree->topLevelItem(root)->childCount() > 1)
        clickEntry(tree, tree->topLevelItem(root)->child(0));
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
    addItems(editor, 0, 2);  // two stickers
    addItems(editor, 1, 1);  // a face mask
    selectFirst(editor, 0);
    shoot(&editor, "main-window-2d.png");

    if (auto* save = editor.findChild<QAction*>("actionSave_Project"))
        save->trigger();  // no unsaved-changes question on the next project
    editor.createProject(2, "mesh_3d");
    useEnglish(editor);
    addItems(editor, 2, 1);
    selectFirst(editor, 2);
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

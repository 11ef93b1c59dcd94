// The editor's shell driven as a user drives it: start panel, project list,
// new-project dialog, main window commands. Real widgets under Xvfb.
#include "app/CreateProjectDialog.h"
#include "app/LumoEditor.h"
#include "app/PreChoiceController.h"
#include "scene/MainDataHolder.h"
#include "GuiTestSupport.h"
#include "TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// A scratch workspace made the current directory, with user settings kept
// apart from the real ones.
class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        guiApp();
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("LumoEditorTest"));
        QSettings().clear();
        fs::create_directory(ws.file("log"));
        fs::create_directories(ws.file("Projects"));
        previous = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(ws.path())));
    }
    void TearDown() override {
        panel.reset();
        editor.reset();
        QDir::setCurrent(previous);
    }
    // A project folder with its file, as the editor writes one.
    std::string addProject(const std::string& name, int type) {
        const std::string dir = ws.file("Projects/" + name);
        fs::create_directories(dir + "/out");
        const std::string file = dir + "/" + name + ".lumoproj";
        writeFile(file, "{\"projectname\":\"" + name + "\",\"projecttype\":" + std::to_string(type) + ",\"2D\":[]}");
        return file;
    }
    void start() {
        editor = std::make_unique<LumoEditor>();
        panel = std::make_unique<PreChoiceController>(editor.get());
        panel->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    }
    QTreeWidget* recentTree() { return panel->findChild<QTreeWidget*>("p_tree_recent"); }
    // Names and type names listed under "Recent Projects".
    std::vector<std::string> listed() {
        std::vector<std::string> rows;
        QTreeWidgetItem* root = recentTree()->topLevelItem(0);
        for (int i = 0; root && i < root->childCount(); ++i)
            rows.push_back((root->child(i)->text(0) + " " + root->child(i)->text(1)).toStdString());
        return rows;
    }
    // Paths of proj.json's records, read with Python's JSON parser; also
    // checks that the file is compact and each record is "path" then "type".
    std::string listFileRecords() {
        return runCommand("python3 -c \"import json,sys; t=open(sys.argv[1]).read(); d=json.loads(t); "
                          "assert ' ' not in t and all(list(r)==['path','type'] for r in d['Projects']); "
                          "print(' '.join(r['path'].split('/')[-1]+':'+str(r['type']) for r in d['Projects']))\" " +
                          ws.file("Projects/proj.json"));
    }
    template <class T>
    T* find(const char* name) {
        T* w = editor->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void openFromList(int row) {
        QTreeWidgetItem* entry = recentTree()->topLevelItem(0)->child(row);
        const QRect r = recentTree()->visualItemRect(entry);
        QTest::mouseClick(recentTree()->viewport(), Qt::LeftButton, {}, r.center());
    }
    // The popup menu that a right click on `w` opens.
    QMenu* rightClick(QWidget* w, QPoint at = QPoint(-1, -1)) {
        if (at == QPoint(-1, -1))
            at = w->rect().center();
        // What a right click delivers: the button press and release, then the
        // platform's context-menu event (the 3D views answer the release).
        QTest::mouseClick(w, Qt::RightButton, {}, at);
        if (!QApplication::activePopupWidget()) {
            QContextMenuEvent event(QContextMenuEvent::Mouse, at, w->mapToGlobal(at));
            QApplication::sendEvent(w, &event);
        }
        QMenu* menu = nullptr;
        spinUntil([&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; }, 10000);
        return menu;
    }
    void clickAction(QMenu* menu, const QString& text) {
        for (QAction* a : menu->actions())
            if (a->text() == text) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
                return;
            }
        ADD_FAILURE() << "no menu entry " << text.toStdString();
    }

    ScratchDir ws;
    QString previous;
    TraceCapture trace;
    std::unique_ptr<LumoEditor> editor;
    std::unique_ptr<PreChoiceController> panel;
};

} // namespace

TEST_F(Shell, startShowsTheStartPanelAloneAndListsProjectsFoundOnDisk) {
    const std::string first = addProject("first", 1);
    addProject("hand", 2);   // made by hand, not in the list file
    addProject("filter", 8); // made by the filter tool
    writeFile(ws.file("Projects/proj.json"), "{\"Projects\":[{\"type\":1,\"path\":\"" + first + "\"}]}");
    start();
    EXPECT_EQ(panel->size(), QSize(468, 315));
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(recentTree()->topLevelItem(0)->text(0), "Recent Projects");
    // the list file's entries first, then what the scan found, in name order
    EXPECT_EQ(listed(), (std::vector<std::string>{"first 2D", "filter Filter", "hand 3D"}));
    EXPECT_EQ(listFileRecords(), "first.lumoproj:1 filter.lumoproj:8 hand.lumoproj:2\n");
}

TEST_F(Shell, listEntriesOfMissingOrOutsideProjectsAreDroppedAtStart) {
    const std::string kept = addProject("kept", 1);
    ScratchDir elsewhere;
    writeFile(elsewhere.file("away.lumoproj"), "{\"projectname\":\"away\",\"projecttype\":1}");
    writeFile(ws.file("Projects/proj.json"),
              "{\"Projects\":[{\"path\":\"" + ws.file("Projects/gone/gone.lumoproj") + "\",\"type\":1},"
              "{\"path\":\"" + kept + "\",\"type\":1},{\"path\":\"" + elsewhere.file("away.lumoproj") +
                  "\",\"type\":1},{\"path\":\"" + ws.file("Projects/../../x.lumoproj") + "\",\"type\":2}]}");
    start();
    EXPECT_EQ(listed(), (std::vector<std::string>{"kept 2D"}));
    EXPECT_EQ(listFileRecords(), "kept.lumoproj:1\n");
    EXPECT_TRUE(trace.contains("legacy project " + ws.file("Projects/gone/gone.lumoproj") + " not exist\n"));
}

TEST_F(Shell, openingFromTheListMovesItToTheTopAndShowsTheWindow) {
    const std::string a = addProject("alpha", 1), b = addProject("beta", 1);
    writeFile(ws.file("Projects/proj.json"),
              "{\"Projects\":[{\"path\":\"" + a + "\",\"type\":1},{\"path\":\"" + b + "\",\"type\":1}]}");
    start();
    openFromList(1);
    EXPECT_EQ(listFileRecords(), "beta.lumoproj:1 alpha.lumoproj:1\n");
    EXPECT_TRUE(spinUntil([&] { return editor->isVisible() && !panel->isVisible(); }, 10000));
    EXPECT_EQ(editor->windowTitle(), "LumoEditor - beta");
}

TEST_F(Shell, newProjectDialogKeepsOpenWithAWarningForExistingOrEscapingNames) {
    start();
    const QString names[] = {"default", "../x", "/tmp/x", "a/b", "a\\b", "", ".", "..",
                             QString(33, QChar(0xe9))}; // 66 bytes in UTF-8
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        CreateProjectDialog dialog(ws.file("Projects"), false);
        dialog.show();
        for (QChar c : name) // typed key by key, non-ASCII letters included
            QTest::sendKeyEvent(QTest::Click, dialog.findChild<QLineEdit*>("p_edit_name"), Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
        QTest::mouseClick(dialog.findChild<QPushButton*>("p_btn_ok"), Qt::LeftButton);
        auto* box = dialog.findChild<QMessageBox*>("p_box_warning");
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "Warning!");
        EXPECT_TRUE(box->isVisible());
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_FALSE(dialog.isAccepted());
    }
    std::vector<std::string> folders;
    for (const auto& e : fs::directory_iterator(ws.file("Projects")))
        folders.push_back(e.path().filename().string());
    EXPECT_EQ(folders, (std::vector<std::string>{"default"}));
    EXPECT_FALSE(fs::exists(ws.file("x")));
}

TEST_F(Shell, filterProjectThroughOpenProjectLeavesTheCurrentProject) {
    const std::string current = addProject("current", 1);
    const std::string filter = addProject("look", 8);
    start();
    ASSERT_TRUE(editor->openProject(QString::fromStdString(current)));
    EXPECT_FALSE(editor->openProject(QString::fromStdString(filter)));
    EXPECT_EQ(editor->windowTitle(), "LumoEditor - current");
    EXPECT_EQ(MainDataHolder::instance()->projectName, "current");
    EXPECT_EQ(MainDataHolder::instance()->projectType, 1);
    auto* box = editor->findChild<QMessageBox*>("p_box_warning");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->text().startsWith("Filter project can not open this from here!"));
    EXPECT_TRUE(trace.contains("can not open this from here. project type 8\n"));
}

TEST_F(Shell, threeDProjectShowsItsPanelAndPacksWithItsOwnPackMode) {
    const std::string file = addProject("solid", 2);
    writeFile(ws.file("Projects/solid/out/desc.json"), "{\"made\":\"earlier\"}");
    start();
    openFromList(0);
    ASSERT_TRUE(spinUntil([&] { return editor->isVisible(); }, 10000));
    EXPECT_TRUE(find<QWidget>("p_Attr3ds")->isVisible());
    EXPECT_FALSE(find<QWidget>("p_Attr2ds")->isVisible());
    // 2D: Step 1 (rebuild out/, no zip); 3D: Step 2 (zip what out/ holds).
    auto* pack2d = find<QComboBox>("p_cmb_pack");
    auto* pack3d = find<QComboBox>("p_cmb_pack_3d");
    EXPECT_EQ(pack3d->itemText(2), "Step 2");
    for (auto [combo, downs] : {std::pair{pack2d, 1}, std::pair{pack3d, 2}}) {
        combo->setFocus();
        for (int i = 0; i < downs; ++i)
            QTest::keyClick(combo, Qt::Key_Down);
    }
    bool done = false;
    QObject::connect(editor.get(), &LumoEditor::packFinished, [&] { done = true; });
    auto* button = find<QPushButton>("p_btn_pack_bundle_3d");
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(done || !button->isEnabled());
    ASSERT_TRUE(spinUntil([&] { return done; }, 120000));
    EXPECT_TRUE(button->isEnabled());
    EXPECT_EQ(runCommand("unzip -Z1 " + ws.file("Projects/solid/zip/solid.zip")), "desc.json\n");
    EXPECT_TRUE(trace.contains("Pack 3d"));
}

TEST_F(Shell, maximisingAViewTwiceRestoresTheFourViews) {
    addProject("views", 1);
    start();
    openFromList(0);
    ASSERT_TRUE(spinUntil([&] { return editor->isVisible(); }, 10000));
    const char* views[] = {"p_frontView", "p_leftView", "p_freeView", "p_vexaView"};
    const char* buttons[] = {"p_btn_front_maximize", "p_btn_left_maximize", "p_btn_free_maximize",
                             "p_btn_vexa_maximize"};
    for (int b = 0; b < 4; ++b) {
        SCOPED_TRACE(buttons[b]);
        auto* button = find<QPushButton>(buttons[b]);
        QTest::mouseClick(button, Qt::LeftButton);
        for (int v = 0; v < 4; ++v)
            EXPECT_EQ(find<QWidget>(views[v])->isVisible(), v == b) << views[v];
        QWidget* grid = find<QWidget>("p_view_grid");
        EXPECT_TRUE(spinUntil([&] { return find<QWidget>(views[b])->width() > grid->width() * 3 / 4; }, 10000));
        QTest::mouseClick(button, Qt::LeftButton);
        for (const char* v : views)
            EXPECT_TRUE(find<QWidget>(v)->isVisible()) << v;
    }
}

TEST_F(Shell, viewContextMenuSetsTheOrientationFlag) {
    addProject("turn", 1);
    start();
    openFromList(0);
    ASSERT_TRUE(spinUntil([&] { return editor->isVisible(); }, 10000));
    for (auto [entry, flag] : {std::pair{"Landscape", 1}, std::pair{"Portrait", 0}, std::pair{"Landscape", 1}}) {
        QMenu* menu = rightClick(find<QWidget>("p_leftView"));
        ASSERT_NE(menu, nullptr);
        clickAction(menu, entry);
        EXPECT_EQ(MainDataHolder::instance()->orientation, flag) << entry;
    }
}

TEST_F(Shell, languageSwitchKeepsTheProjectNameInTheTitleAndIsRemembered) {
    // Translation files made here with the toolkit's own compiler.
    fs::create_directories(ws.file("data/language"));
    for (const char* lang : {"en", "cn"}) {
        const std::string ts = ws.file(std::string("data/language/") + lang + ".ts");
        writeFile(ts, std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?><!DOCTYPE TS><TS version=\"2.1\">"
                                  "<context><name>LumoEditorClass</name><message><source>Project</source>"
                                  "<translation>") + (lang == std::string("en") ? "Project" : "\xe5\xb7\xa5\xe7\xa8\x8b") +
                                  "</translation></message></context><context><name>TreeViewController</name>"
                                  "<message><source>Edit</source><translation>" +
                                  (lang == std::string("en") ? "Edit" : "\xe7\xbc\x96\xe8\xbe\x91") +
                                  "</translation></message></context></TS>");
        ASSERT_EQ(std::system(("lrelease -silent " + ts).c_str()), 0);
    }
    addProject("words", 1);
    start();
    openFromList(0);
    ASSERT_TRUE(spinUntil([&] { return editor->isVisible(); }, 10000));
    auto* group = find<QGroupBox>("p_group_project");
    // first run: Chinese shortly after the project is set up
    EXPECT_TRUE(spinUntil([&] { return group->title() == QString::fromUtf8("\xe5\xb7\xa5\xe7\xa8\x8b"); }, 10000));
    auto* bar = editor->menuBar();
    auto* languageMenu = find<QMenu>("menuLanguage");
    auto* edit = find<QMenu>("menuEdit"); // made in code, not by the form
    EXPECT_EQ(edit->title(), QString::fromUtf8("\xe7\xbc\x96\xe8\xbe\x91"));
    auto choose = [&](const char* action) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(languageMenu->menuAction()).center());
        ASSERT_TRUE(spinUntil([&] { return languageMenu->isVisible(); }, 10000));
        QTest::mouseClick(languageMenu, Qt::LeftButton, {}, languageMenu->actionGeometry(find<QAction>(action)).center());
    };
    for (auto [action, title] : {std::pair{"actionEnglish", "Edit"},
                                 std::pair{"actionChinese", "\xe7\xbc\x96\xe8\xbe\x91"},
                                 std::pair{"actionEnglish", "Edit"}}) {
        choose(action);
        EXPECT_EQ(edit->title(), QString::fromUtf8(title)) << action;
    }
    EXPECT_EQ(group->title(), "Project");
    EXPECT_EQ(editor->windowTitle(), "LumoEditor - words");
    // the choice outlives the next project set-up
    editor->setupForProjectType(1);
    EXPECT_TRUE(spinUntil([&] { return trace.contains("OnChangeLangTimer\n"); }, 10000));
    EXPECT_EQ(group->title(), "Project");
    EXPECT_EQ(LumoEditor::rememberedLanguage(), "en");
}

TEST_F(Shell, creatingFromTheStartPanelMakesTheProjectAndShowsTheWindow) {
    start();
    // The dialog runs modally: it is filled in once it shows.
    QTimer fill;
    QObject::connect(&fill, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<CreateProjectDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        fill.stop();
        QTest::keyClicks(dialog->findChild<QLineEdit*>("p_edit_name"), "mask");
        auto* type = dialog->findChild<QComboBox*>("p_combo_type");
        type->setFocus();
        QTest::keyClick(type, Qt::Key_Down); // "3D"
        QTest::mouseClick(dialog->findChild<QPushButton*>("p_btn_ok"), Qt::LeftButton);
    });
    fill.start(20);
    QTest::mouseClick(panel->findChild<QPushButton*>("p_btn_newproject"), Qt::LeftButton);
    EXPECT_TRUE(spinUntil([&] { return editor->isVisible() && !panel->isVisible(); }, 10000));
    EXPECT_EQ(editor->windowTitle(), "LumoEditor - mask");
    for (const char* sub : {"zip", "out", "fcopy", "build/iOS", "build/Android"})
        EXPECT_TRUE(fs::is_directory(ws.file("Projects/mask/") + sub)) << sub;
    EXPECT_EQ(runCommand("python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); "
                         "print(d['projectname'], d['projecttype'])\" " + ws.file("Projects/mask/mask.lumoproj")),
              "mask 2\n");
}

TEST_F(Shell, deletingAProjectMovesItsFolderToTheTrash) {
    const std::string keep = addProject("keep", 1);
    addProject("gone", 1);
    writeFile(ws.file("Projects/gone/out/desc.json"), "{\"made\":1}");
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QDir().mkpath(data);
    const std::string trash = data.toStdString() + "/Trash/files/gone";
    fs::remove_all(data.toStdString() + "/Trash"); // the test mode's own trash
    start();
    QTreeWidget* tree = recentTree();
    QTreeWidgetItem* entry = tree->topLevelItem(0)->child(0);
    ASSERT_EQ(entry->text(0), "gone");
    QMenu* menu = rightClick(tree->viewport(), tree->visualItemRect(entry).center());
    ASSERT_NE(menu, nullptr);
    clickAction(menu, "Delete");
    EXPECT_FALSE(fs::exists(ws.file("Projects/gone")));
    EXPECT_EQ(readFile(trash + "/out/desc.json"), "{\"made\":1}");
    EXPECT_EQ(listed(), (std::vector<std::string>{"keep 2D"}));
    EXPECT_EQ(listFileRecords(), "keep.lumoproj:1\n");
    EXPECT_TRUE(fs::exists(keep));
    fs::remove_all(data.toStdString() + "/Trash");
}

TEST_F(Shell, explorerAndHelpWithoutADesktopHandlerSaySoOnTheStatusBar) {
    addProject("plain", 1);
    start();
    openFromList(0);
    ASSERT_TRUE(spinUntil([&] { return editor->isVisible(); }, 10000));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray("/nonexistent")); // no xdg-open, no browser
    auto* message = find<QLabel>("p_label_status_message");
    QTest::mouseClick(find<QPushButton>("p_btn_explorer"), Qt::LeftButton);
    EXPECT_TRUE(message->text().contains(QString::fromStdString(ws.file("Projects/plain")))) << message->text().toStdString();
    auto* help = find<QMenu>("menuHelp");
    for (const bool installed : {false, true}) {
        if (installed) {
            fs::create_directories(ws.file("data/doc"));
            writeFile(ws.file("data/doc/LumoEditor User Specification.md.html"), "<html></html>");
        }
        message->clear();
        QTest::mouseClick(editor->menuBar(), Qt::LeftButton, {},
                          editor->menuBar()->actionGeometry(help->menuAction()).center());
        ASSERT_TRUE(spinUntil([&] { return help->isVisible(); }, 10000));
        QTest::mouseClick(help, Qt::LeftButton, {}, help->actionGeometry(find<QAction>("actionView_Help")).center());
        EXPECT_TRUE(message->text().contains(installed ? "No program" : "not installed")) << message->text().toStdString();
    }
    qputenv("PATH", path);
}

// Every named widget of the window exists with its kind, and at the smallest
// supported size each one shown lies whole inside the window's central area.
TEST_F(Shell, everyNamedWidgetExistsAndFitsAt1280x800) {
    addProject("fit", 1);
    start();
    openFromList(0);
    ASSERT_TRUE(spinUntil([&] { return editor->isVisible(); }, 10000));
    const char* const names[][2] = {
        {"QTreeWidget", "p_tree_scene"}, {"QTreeWidget", "p_tree_bundle"}, {"QWidget", "p_bundle_container"},
        {"QPushButton", "p_btn_add_item"}, {"QPushButton", "p_btn_delete_item"}, {"QPushButton", "p_btn_moveup_item"},
        {"QPushButton", "p_btn_movedown_item"}, {"QPushButton", "p_btn_play"}, {"QPushButton", "p_btn_stop"},
        {"QPushButton", "p_btn_rsync"}, {"QPushButton", "p_btn_load_bundle"}, {"QWidget", "p_p2a_view"},
        {"QSlider", "p_slider_rotation"}, {"QSlider", "p_slider_scale"}, {"QPushButton", "p_btn_explorer"},
        {"QComboBox", "p_cmb_pack"}, {"QPushButton", "p_btn_pack_bundle"}, {"QPushButton", "p_btn_explorer_3d"},
        {"QPushButton", "p_btn_pack_bundle_3d"}, {"QLineEdit", "p_text_name"}, {"QLineEdit", "p_text_texture"},
        {"QPushButton", "p_btn_texture"}, {"QCheckBox", "p_chk_flipHorizontal"}, {"QCheckBox", "p_chk_flipVertical"},
        {"QCheckBox", "p_chk_isfullscreen"}, {"QCheckBox", "p_chk_islandscape"}, {"QCheckBox", "p_chk_isbackground"},
        {"QCheckBox", "p_chk_aspectratio"}, {"QDoubleSpinBox", "p_spin_x"}, {"QDoubleSpinBox", "p_spin_y"},
        {"QDoubleSpinBox", "p_spin_z"}, {"QDoubleSpinBox", "p_spin_width"}, {"QDoubleSpinBox", "p_spin_height"},
        {"QDoubleSpinBox", "p_spin_fps"}, {"QComboBox", "p_combo_looptype"}, {"QSpinBox", "p_spin_loopcount"},
        {"QComboBox", "p_combo_triggerstart"}, {"QComboBox", "p_combo_triggerend"},
        {"QComboBox", "p_combo_faceaction_start"}, {"QComboBox", "p_combo_faceaction_end"},
        {"QCheckBox", "p_chk_needkeepfaceaction"}, {"QWidget", "p_g_position"}, {"QWidget", "p_g_rect"},
        {"QWidget", "p_g_keepaspect"}, {"QWidget", "p_g_isbackground"}, {"QWidget", "p_g_isfullscreen"},
        {"QWidget", "p_g_islandscape"}, {"QWidget", "p_g_fps"}, {"QWidget", "p_g_looptype"},
        {"QWidget", "p_g_loopcount"}, {"QWidget", "p_g_triggerstart"}, {"QWidget", "p_g_startaction"},
        {"QWidget", "p_g_triggerend"}, {"QWidget", "p_g_endaction"}, {"QWidget", "p_g_texture"},
        {"QWidget", "p_g_texturefliphorizontal"}, {"QWidget", "p_g_textureflipvertical"}, {"QWidget", "p_g_itemname"},
        {"QGroupBox", "p_Attr2d"}, {"QGroupBox", "p_Attr3d"}, {"QLineEdit", "p_text_name_3d"},
        {"QLineEdit", "p_text_mesh_3d"}, {"QPushButton", "p_btn_mesh_3d"}, {"QTabWidget", "p_transform"},
        {"QDoubleSpinBox", "p_spin_3d_px"}, {"QDoubleSpinBox", "p_spin_3d_py"}, {"QDoubleSpinBox", "p_spin_3d_pz"},
        {"QDoubleSpinBox", "p_spin_3d_rx"}, {"QDoubleSpinBox", "p_spin_3d_ry"}, {"QDoubleSpinBox", "p_spin_3d_rz"},
        {"QDoubleSpinBox", "p_spin_3d_sx"}, {"QDoubleSpinBox", "p_spin_3d_sy"}, {"QDoubleSpinBox", "p_spin_3d_sz"},
        {"QLineEdit", "p_text_weight_3d"}, {"QPushButton", "p_btn_weight_3d"}, {"QScrollArea", "p_scrollArea"},
        {"QMenuBar", "menuBar"}, {"QMenu", "menuX"}, {"QMenu", "menuLanguage"}, {"QMenu", "menuHelp"},
        {"QToolBar", "mainToolBar"}, {"QStatusBar", "statusBar"}};
    editor->resize(1280, 800);
    find<QWidget>("p_Attr2d")->show(); // the tallest panel, as a selected 2D item shows it
    const QRect area = editor->centralWidget()->geometry();
    for (const char* panel : {"p_Attr2ds", "p_Attr3ds"}) {
        find<QWidget>("p_Attr2ds")->setVisible(panel == std::string("p_Attr2ds"));
        find<QWidget>("p_Attr3ds")->setVisible(panel == std::string("p_Attr3ds"));
        spinUntil([] { return false; }, 300); // layouts settle
        for (const auto& n : names) {
            QWidget* w = find<QWidget>(n[1]);
            ASSERT_NE(w, nullptr);
            EXPECT_TRUE(w->inherits(n[0])) << n[1];
            if (!w->isVisible() || w->isWindow() || w->parentWidget() == editor.get())
                continue; // bars around the central area
            const QRect r(w->mapTo(editor.get(), QPoint(0, 0)), w->size());
            EXPECT_TRUE(area.contains(r)) << panel << " " << n[1];
            EXPECT_GE(r.height(), 10) << n[1];
            EXPECT_GE(r.width(), 12) << n[1];
        }
    }
}

TEST_F(Shell, aProjectMadeByTheFilterToolIsListedAsFilter) {
    ASSERT_EQ(std::system(("cd " + ws.path() + " && " LUMO_BINARY_DIR "/bins/Tintworks -c dusk.lumoproj --batch").c_str()), 0);
    start();
    EXPECT_EQ(listed(), (std::vector<std::string>{"dusk Filter"}));
    EXPECT_EQ(listFileRecords(), "dusk.lumoproj:8\n");
}

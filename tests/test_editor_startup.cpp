#include "app/LumoEditor.h"
#include "app/StatusBarController.h"
#include "geometry/ObjMesh.h"
#include "scenegraph/SceneRegistry.h"
#include "GuiTestSupport.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QProgressBar>
#include <QStatusBar>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <regex>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const char* kLogLine = R"(\[info\]\[lumoeditor:\d+\]\[\d\d:\d\d:\d\d\]: )";

// Every path under root with its modification time.
std::map<std::string, fs::file_time_type> snapshot(const std::string& root) {
    std::map<std::string, fs::file_time_type> entries;
    for (const auto& e : fs::recursive_directory_iterator(root))
        entries[fs::relative(e.path(), root).string()] = fs::last_write_time(e.path());
    return entries;
}

// The editor program run in a workspace folder; it closes itself through its
// normal close path after quitAfterMs.
class EditorRun {
public:
    EditorRun(const std::string& workspace, int quitAfterMs) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LUMO_QUIT_AFTER_MS", QString::number(quitAfterMs));
        // No window is looked at here (the in-process tests drive the widgets);
        // the offscreen platform also keeps the X GL driver, which leaves an
        // allocation behind when it is unloaded at exit, out of the leak check.
        env.insert("QT_QPA_PLATFORM", "offscreen");
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(QString::fromStdString(workspace));
        m_process.start(QStringLiteral(LUMO_BINARY_DIR "/LumoEditor"), QStringList());
    }
    ~EditorRun() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    bool started() { return m_process.waitForStarted(60000); }
    // Ends the program abruptly, without its close path.
    void kill() {
        m_process.kill();
        m_process.waitForFinished(60000);
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    // Waits for the end; true when the program exited normally with code 0.
    bool finishedCleanly() {
        if (!m_process.waitForFinished(120000))
            return false;
        m_out = m_process.readAllStandardOutput().toStdString();
        m_err = m_process.readAllStandardError().toStdString();
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }
    const std::string& out() const { return m_out; }
    const std::string& err() const { return m_err; }

private:
    QProcess m_process;
    std::string m_out, m_err;
};

} // namespace

TEST(EditorProgram, firstStartLaysOutTheWorkspaceAndMarksTheRun) {
    guiApp();
    ScratchDir ws;
    fs::create_directory(ws.file("log"));
    EditorRun run(ws.path(), 500);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.finishedCleanly()) << run.err();
    EXPECT_EQ(readFile(ws.file("log/state.txt")), "2");

    for (const char* folder : {"Projects", "Projects/default", "Projects/default/zip", "Projects/default/out",
                               "Projects/default/build", "Projects/default/build/iOS",
                               "Projects/default/build/Android"})
        EXPECT_TRUE(fs::is_directory(ws.file(folder))) << folder;
    EXPECT_FALSE(fs::exists(ws.file("Projects/default/fcopy")));

    const std::string log = readFile(ws.file("log/log.txt"));
    const std::regex expected(std::string("^") + kLogLine + "open log\n" + kLogLine + "current path :" +
                              ws.path() + "\n");
    EXPECT_TRUE(std::regex_search(log, expected)) << log;
    EXPECT_NE(run.out().find("current path:" + ws.path() + "\n"), std::string::npos);
    EXPECT_NE(run.out().find("create default project!"), std::string::npos);
    EXPECT_NE(run.out().find("LumoEditor::closeEvent\n"), std::string::npos);
}

// "1" marks a running editor and stays when the run ends without its close
// path. The editor here closes only when killed, so no time window applies.
TEST(EditorProgram, runMarkerStaysOneAfterAnAbruptEnd) {
    guiApp();
    ScratchDir ws;
    fs::create_directory(ws.file("log"));
    EditorRun run(ws.path(), 24 * 3600 * 1000);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(spinUntil([&] { return readFile(ws.file("log/state.txt")) == "1"; }, 120000));
    EXPECT_TRUE(run.running());
    run.kill();
    EXPECT_EQ(readFile(ws.file("log/state.txt")), "1");
}

TEST(EditorProgram, secondStartChangesNothingInTheProjects) {
    guiApp();
    ScratchDir ws;
    fs::create_directory(ws.file("log"));
    {
        EditorRun first(ws.path(), 500);
        ASSERT_TRUE(first.started());
        ASSERT_TRUE(first.finishedCleanly()) << first.err();
    }
    const auto before = snapshot(ws.file("Projects"));
    EditorRun second(ws.path(), 500);
    ASSERT_TRUE(second.started());
    ASSERT_TRUE(second.finishedCleanly()) << second.err();
    EXPECT_NE(second.out().find("project default exist!"), std::string::npos);
    EXPECT_EQ(second.out().find("create default project!"), std::string::npos);
    EXPECT_EQ(snapshot(ws.file("Projects")), before);
    EXPECT_EQ(readFile(ws.file("log/state.txt")), "2");
}

TEST(EditorProgram, startsWithoutAUsableLogFolder) {
    guiApp();
    for (const bool logIsFile : {false, true}) {
        SCOPED_TRACE(logIsFile ? "log is a file" : "no log folder");
        ScratchDir ws;
        if (logIsFile)
            writeFile(ws.file("log"), "in the way");
        EditorRun run(ws.path(), 500);
        ASSERT_TRUE(run.started());
        ASSERT_TRUE(run.finishedCleanly()) << run.err();
        EXPECT_NE(run.out().find("can not open log file\n" + ws.path() + "/log/log.txt\n"
                                 "make sure directory is writable\n"),
                  std::string::npos)
            << run.out();
        EXPECT_TRUE(fs::is_directory(ws.file("Projects/default/build/Android")));
        EXPECT_NE(run.out().find("LumoEditor::closeEvent\n"), std::string::npos);
        if (logIsFile)
            EXPECT_EQ(readFile(ws.file("log")), "in the way");
        else
            EXPECT_FALSE(fs::exists(ws.file("log")));
    }
}

// The main window built in this process, inside a scratch workspace.
TEST(EditorWindow, statusBarHasTheThreeWidgetsInOrderAndFeedsTheController) {
    guiApp();
    ScratchDir ws;
    fs::create_directory(ws.file("log"));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QString::fromStdString(ws.path())));
    {
        TraceCapture quiet;
        LumoEditor editor;
        EXPECT_EQ(editor.workspaceRoot(), ws.path());
        EXPECT_EQ(editor.windowTitle(), "LumoEditor - default");
        QStatusBar* bar = editor.statusBar();
        EXPECT_TRUE(bar->isSizeGripEnabled());
        EXPECT_TRUE(bar->styleSheet().contains("background: #DDDDDD"));
        EXPECT_TRUE(bar->styleSheet().contains("QStatusBar::item { border: 1px solid #CCCCCC; border-radius: 3px; }"));

        const auto labels = bar->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly);
        const auto bars = bar->findChildren<QProgressBar*>(QString(), Qt::FindDirectChildrenOnly);
        ASSERT_EQ(labels.size(), 2);
        ASSERT_EQ(bars.size(), 1);
        QLabel* message = labels[0];
        QLabel* second = labels[1];
        QProgressBar* progress = bars[0];
        EXPECT_EQ(message->minimumWidth(), 500);
        EXPECT_EQ(message->maximumWidth(), 500);
        EXPECT_EQ(message->maximumHeight(), 20);
        EXPECT_EQ(message->alignment(), Qt::AlignVCenter | Qt::AlignLeft);
        EXPECT_EQ(second->alignment(), Qt::AlignCenter);
        EXPECT_EQ(progress->value(), 0);
        EXPECT_FALSE(progress->isTextVisible());
        EXPECT_EQ(progress->maximumWidth(), 500);
        EXPECT_EQ(progress->alignment(), Qt::AlignRight);

        editor.show();
        ASSERT_TRUE(spinUntil([&] { return editor.isVisible(); }, 60000));
        EXPECT_LT(message->x(), second->x());
        EXPECT_LT(second->x(), progress->x());

        StatusBarController::instance()->showMessage("packed", 1000);
        EXPECT_EQ(message->text(), "packed");
        StatusBarController::instance()->setProgress(42);
        EXPECT_EQ(progress->value(), 42);
        StatusBarController::instance()->setProgress(0);

        // closing clears the viewers' selection
        ObjMesh mesh;
        SceneRegistry& scene = SceneRegistry::instance();
        scene.attachToRoot(&mesh);
        scene.selectMesh(&mesh, true);
        ASSERT_FALSE(scene.m_selectedSet.empty());
        editor.close();
        EXPECT_TRUE(scene.m_selectedSet.empty());
        EXPECT_FALSE(mesh.highlighted);
        scene.detachMesh(&mesh);
        EXPECT_EQ(readFile(ws.file("log/state.txt")), "2");
    }
    QDir::setCurrent(previous);
}

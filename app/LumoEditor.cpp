#include "app/LumoEditor.h"

#include "app/Log.h"
#include "app/Paths.h"
#include "app/Trace.h"
#include "app/Workspace.h"

#include <QCloseEvent>
#include <QDir>

LumoEditor::LumoEditor(QWidget* parent) : QMainWindow(parent) {
    m_root = QDir::currentPath().toLocal8Bit().toStdString();
    Trace::out("current path:%s\n", m_root.c_str());

    writeRunState(m_root, 1);
    openLog();
    logSetLevel(0);
    LOG_INFO("open log\n");
    LOG_INFO("current path :%s\n", m_root.c_str());

    buildWidgets();
    setWindowTitle(QString::fromLocal8Bit("LumoEditor - default"));
    createDefaultProject(m_root);
}

LumoEditor::~LumoEditor() = default;

void LumoEditor::openLog() {
    const std::string path = pathJoin(m_root, "log/log.txt");
    if (logOpen(path.c_str()))
        return;
    Trace::out("can not open log file\n");
    Trace::out("%s\n", path.c_str());
    Trace::out("make sure directory is writable\n");
}

void LumoEditor::buildWidgets() {
    resize(1600, 960);
}

void LumoEditor::closeEvent(QCloseEvent* event) {
    Trace::out("LumoEditor::closeEvent\n");
    writeRunState(m_root, 2);
    QMainWindow::closeEvent(event);
}

#include "app/LumoEditor.h"

#include "base/Log.h"
#include "base/Paths.h"
#include "app/StatusBarController.h"
#include "app/StatusBarPackSink.h"
#include "base/Trace.h"
#include "base/Workspace.h"
#include "pack/PackController.h"
#include "scene/MainDataHolder.h"
#include "scenegraph/SceneRegistry.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>

LumoEditor::LumoEditor(QWidget* parent) : QMainWindow(parent) {
    m_root = QDir::currentPath().toLocal8Bit().toStdString();
    Trace::out("current path:%s\n", m_root.c_str());

    writeRunState(m_root, 1);
    openLog();
    logSetLevel(0);
    LOG_INFO("open log\n");
    LOG_INFO("current path :%s\n", m_root.c_str());

    buildWidgets();
    // The result of init is not needed here: after a failure the holder has
    // empty paths and tables, and the editor still starts.
    {
        std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
        holder->init(m_root);
        holder->parseTemplate();
        setWindowTitle(QString::fromLocal8Bit(("LumoEditor - " + holder->projectName).c_str()));
    }
    createDefaultProject(m_root);
    buildStatusBar();
    MainDataHolder::instance()->loadFaceActions();
    // Integration point: the window's signals and actions are connected here.
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

void LumoEditor::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(true);
    bar->setStyleSheet(QStringLiteral("QStatusBar { background: #DDDDDD; }"
                                      "QStatusBar::item { border: 1px solid #CCCCCC; border-radius: 3px; }"));

    auto* message = new QLabel(bar);
    message->setFixedHeight(20);
    message->setFixedWidth(500);
    message->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);

    auto* second = new QLabel(bar);
    second->setAlignment(Qt::AlignCenter);

    auto* progress = new QProgressBar(bar);
    progress->setValue(0);
    progress->setTextVisible(false);
    progress->setFixedWidth(500);
    progress->setAlignment(Qt::AlignRight);

    bar->addWidget(message, 0);
    bar->addWidget(second, 1);
    bar->addWidget(progress, 2);
    StatusBarController::instance()->setWidgets(bar, message, second, progress);
}

void LumoEditor::onPackBundle() {
    Trace::out(" LumoEditor::onPackBundle\n");
    LOG_INFO(" LumoEditor::onPackBundle\n");
    // Integration point: the project is saved and the 2D group relations are
    // recomputed here, before packing.
    const int type = MainDataHolder::instance()->projectType;
    StatusBarPackSink sink;
    PackController::forCurrentProject(&sink).packProject(type, packOption(type));
}

int LumoEditor::packOption(int projectType) const {
    const char* name = (projectType & 1) ? "p_cmb_pack" : "p_cmb_pack_3d";
    const QComboBox* combo = findChild<QComboBox*>(QString::fromLatin1(name));
    return combo && combo->currentIndex() > 0 ? combo->currentIndex() : 0;
}

void LumoEditor::closeEvent(QCloseEvent* event) {
    Trace::out("LumoEditor::closeEvent\n");
    // Integration point: the scene tree's selection is cleared here.
    SceneRegistry::instance().clearSelection();
    writeRunState(m_root, 2);
    QMainWindow::closeEvent(event);
}

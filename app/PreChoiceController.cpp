#include "app/PreChoiceController.h"

#include "app/CreateProjectDialog.h"
#include "app/LumoEditor.h"
#include "app/ProjectNames.h"
#include "base/Constants.h"
#include "base/Paths.h"
#include "base/Trace.h"
#include "base/WholeFile.h"
#include "scene/MainDataHolder.h"
#include "ui_PreChoiceController.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QScrollBar>

std::string filterToolPath() { return lumo::kFilterToolPath; }

PreChoiceController::PreChoiceController(LumoEditor* editor, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::PreChoiceControllerClass>()), m_editor(editor),
      m_list(pathJoin(editor->workspaceRoot(), "/Projects")) {
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("LumoEditor"));
    setFixedSize(468, 315);
    ui->p_tree_recent->setColumnWidth(0, 190);
    ui->p_tree_recent->setColumnWidth(1, 20);

    connect(ui->p_btn_newproject, &QPushButton::clicked, this, &PreChoiceController::OnCreateProject);
    connect(ui->p_btn_openproject, &QPushButton::clicked, this, &PreChoiceController::OnOpenProject);
    connect(ui->p_tree_recent, &QTreeWidget::itemClicked, this, &PreChoiceController::onTreeViewAction);
    connect(ui->p_tree_recent, &QWidget::customContextMenuRequested, this, &PreChoiceController::OnCustomContextMenu);

    if (m_list.load())
        saveProjectList();
    fillTree();

    const std::string qss = pathJoin(editor->workspaceRoot(), "/data/qt/scrollbar.qss");
    Trace::out("qsspath:%s\n", qss.c_str());
    std::string style;
    if (readWholeFile(qss, style, 1 << 20))
        ui->p_tree_recent->verticalScrollBar()->setStyleSheet(QString::fromUtf8(style.c_str()));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
}

PreChoiceController::~PreChoiceController() = default;

void PreChoiceController::fillTree() {
    ui->p_tree_recent->clear();
    m_recent = new QTreeWidgetItem(ui->p_tree_recent, QStringList{tr("Recent Projects"), QStringLiteral("xxx")});
    for (const ProjectRecord& r : m_list.records()) {
        const QString base = QFileInfo(QString::fromLocal8Bit(r.path.c_str())).completeBaseName();
        new QTreeWidgetItem(m_recent, QStringList{base, QString::fromLatin1(ProjectList::typeName(r.type))});
    }
    m_recent->setExpanded(true);
}

int PreChoiceController::recordIndex(QTreeWidgetItem* entry) const {
    if (!entry || entry->parent() != m_recent)
        return -1;
    const int index = m_recent->indexOfChild(entry);
    return index >= 0 && static_cast<size_t>(index) < m_list.records().size() ? index : -1;
}

bool PreChoiceController::saveProjectList() { return m_list.save(); }

void PreChoiceController::warn(const QString& title, const QString& text) {
    auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("p_box_warning"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

bool PreChoiceController::runFilterTool(const char* mode, const std::string& argument) {
    const std::string tool = filterToolPath();
    Trace::out("command: %s %s %s\n", tool.c_str(), mode, argument.c_str());
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QString::fromLocal8Bit(tool.c_str()),
                  QStringList{QString::fromLatin1(mode), QString::fromLocal8Bit(argument.c_str())});
    if (!process.waitForStarted(30000))
        return false;
    process.waitForFinished(-1);
    return true;
}

void PreChoiceController::OnCreateProject() {
    auto holder = MainDataHolder::instance();
    CreateProjectDialog dialog(holder->projectsDir.empty() ? pathJoin(m_editor->workspaceRoot(), "/Projects")
                                                           : holder->projectsDir,
                               fileExists(filterToolPath()), this);
    dialog.exec();
    const int32_t type = dialog.isAccepted() ? dialog.projectType() : 0;
    const std::string name = dialog.isAccepted() ? dialog.projectName() : std::string();
    Trace::out("type:%d name:%s\n", type, name.c_str());
    if (type == 8) {
        Trace::out("create filter project\n");
        if (!runFilterTool("-c", name + ".lumoproj"))
            Trace::out("create filter project error\n");
        close();
        return;
    }
    if (type == 0)
        return;
    holder->projectType = type;
    m_editor->setupForProjectType(type);
    m_editor->show();
    m_editor->createProject(type, QString::fromLocal8Bit(name.c_str()));
    close();
}

void PreChoiceController::OnOpenProject() {
    const QString start = QString::fromLocal8Bit(pathJoin(m_editor->workspaceRoot(), "Projects/").c_str());
    const QString chosen = QFileDialog::getOpenFileName(this, tr("Open Project"), QDir::toNativeSeparators(start),
                                                        QStringLiteral("allfiles(*.lumoproj)"));
    if (chosen.isEmpty()) {
        Trace::out("canceled\n");
        return;
    }
    const std::string path = chosen.toLocal8Bit().toStdString();
    Trace::out("project path:%s\n", path.c_str());
    int32_t type = 1;
    std::string error;
    int code = 0;
    if (!readProjectType(path, type, error, &code)) {
        Trace::out(".lumoproj json parse error code: %d\n", code);
        Trace::out("%s\n", error.c_str());
        warn(QStringLiteral("warning"), QString::fromLocal8Bit(error.c_str()));
        return;
    }
    if (type & kProjectFilter) {
        // The filter tool opens its own projects.
        if (fileExists(filterToolPath())) {
            if (!runFilterTool("-o", QFileInfo(chosen).fileName().toLocal8Bit().toStdString()))
                Trace::out("open filter project error\n");
            close();
        } else {
            warn(QStringLiteral("warning"), tr("Tintworks not found, please update your LumoEditor."));
        }
        return;
    }
    MainDataHolder::instance()->projectType = type;
    m_editor->show();
    m_editor->openProject(chosen);
    close();
}

void PreChoiceController::onTreeViewAction(QTreeWidgetItem* entry, int) {
    const int index = recordIndex(entry);
    if (index < 0)
        return;
    const ProjectRecord record = m_list.records()[static_cast<size_t>(index)];
    Trace::out("begin update list\n");
    if (!QFileInfo(QString::fromLocal8Bit(record.path.c_str())).isFile()) {
        m_list.remove(static_cast<size_t>(index));
        delete entry;
        warn(QStringLiteral("warning"), tr("Project file is not exist!"));
        saveProjectList();
        return;
    }
    m_list.moveToFront(static_cast<size_t>(index));
    Trace::out("end update list\n");
    saveProjectList();

    const std::string fileName = QFileInfo(QString::fromLocal8Bit(record.path.c_str())).fileName().toLocal8Bit().toStdString();
    if (record.type & kProjectFilter) {
        if (!fileExists(filterToolPath())) {
            Trace::out("%s not found, please update your LumoEditor.\n", filterToolPath().c_str());
            warn(QStringLiteral("warning"), tr("Tintworks not found, please update your LumoEditor."));
            fillTree();
            return;
        }
        if (!runFilterTool("-o", fileName))
            Trace::out("open filter project error\n");
        close();
        return;
    }
    MainDataHolder::instance()->projectType = record.type;
    m_editor->show();
    m_editor->openProject(QString::fromLocal8Bit(record.path.c_str()));
    close();
}

void PreChoiceController::OnCustomContextMenu(const QPoint& point) {
    QTreeWidgetItem* entry = ui->p_tree_recent->itemAt(point);
    if (entry)
        ui->p_tree_recent->setCurrentItem(entry);
    entry = ui->p_tree_recent->currentItem();
    if (!entry || !entry->parent())
        return;
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("p_menu_project"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* remove = menu->addAction(QIcon(QStringLiteral(":/LumoEditor/data/qt/remove.png")), tr("Delete"));
    connect(remove, &QAction::triggered, this, &PreChoiceController::onDeleteProject);
    menu->popup(ui->p_tree_recent->viewport()->mapToGlobal(point));
}

bool PreChoiceController::removeProjectFolder(const std::string& folder) {
    const QString qfolder = QString::fromLocal8Bit(folder.c_str());
    if (QFile::moveToTrash(qfolder)) {
        Trace::out("moved to trash: %s\n", folder.c_str());
        return true;
    }
    const auto answer = QMessageBox::question(
        this, QStringLiteral("warning"),
        tr("The folder\n%1\ncannot be moved to the trash. Erase it and everything in it for good?").arg(qfolder),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes)
        return false;
    return QDir(qfolder).removeRecursively();
}

void PreChoiceController::onDeleteProject() {
    Trace::out("PreChoiceController::onDeleteProject begin\n");
    QTreeWidgetItem* entry = ui->p_tree_recent->currentItem();
    const int index = recordIndex(entry);
    if (index >= 0) {
        const ProjectRecord record = m_list.records()[static_cast<size_t>(index)];
        Trace::out("delete path %s, type:%d\n", record.path.c_str(), record.type);
        const std::string folder =
            QFileInfo(QString::fromLocal8Bit(record.path.c_str())).absolutePath().toLocal8Bit().toStdString();
        if (!isPathInside(folder, m_list.projectsDir())) {
            Trace::out("%s lies outside %s, not deleted\n", folder.c_str(), m_list.projectsDir().c_str());
            warn(QStringLiteral("warning"), tr("Only projects inside the Projects folder can be deleted."));
        } else if (removeProjectFolder(folder)) {
            Trace::out("delete file %s\n", record.path.c_str());
            delete entry;
            m_list.remove(static_cast<size_t>(index));
            saveProjectList();
        } else {
            Trace::out("failed delete file %s\n", record.path.c_str());
        }
    }
    Trace::out("PreChoiceController::onDeleteProject end\n");
}

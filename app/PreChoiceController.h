#pragma once
// The start panel: the list of known projects (Projects/proj.json merged
// with the project files found below Projects/), "Create New  Project",
// "Open Project", open by click on a listed project, delete through the
// list's context menu. Creating or opening hands the project to the main
// window, shows it and closes the panel; filter projects go to the filter
// tool instead.

#include "app/ProjectList.h"

#include <QDialog>
#include <memory>

class LumoEditor;
class QTreeWidgetItem;

namespace Ui {
class PreChoiceControllerClass;
}

class PreChoiceController : public QDialog {
    Q_OBJECT
public:
    // editor: the (hidden) main window, not owned; it must outlive the panel.
    explicit PreChoiceController(LumoEditor* editor, QWidget* parent = nullptr);
    ~PreChoiceController() override;

    const ProjectList& projectList() const { return m_list; }

public slots:
    void OnCreateProject();
    void OnOpenProject();
    void onTreeViewAction(QTreeWidgetItem* entry, int column);
    void OnCustomContextMenu(const QPoint& point);
    void onDeleteProject();

private:
    void fillTree();
    // Index of entry in the record list, or -1 when it is not a project entry.
    int recordIndex(QTreeWidgetItem* entry) const;
    bool saveProjectList();
    // Runs the filter tool with `mode` ("-c" or "-o") and `argument` and waits.
    bool runFilterTool(const char* mode, const std::string& argument);
    // Moves the project's folder to the trash (or, with no trash, erases it
    // after asking); false when nothing was removed.
    bool removeProjectFolder(const std::string& folder);
    void warn(const QString& title, const QString& text);

    std::unique_ptr<Ui::PreChoiceControllerClass> ui;
    LumoEditor* m_editor;
    ProjectList m_list;
    QTreeWidgetItem* m_recent = nullptr;
};

// Path of the filter tool under the current directory.
std::string filterToolPath();

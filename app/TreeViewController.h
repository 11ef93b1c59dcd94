#pragma once
// The scene tree on the left of the main window and every structural edit
// of the project: add, delete, group, move, rename, texture and mesh
// changes, files dropped from the desktop. It keeps the tree entries, the
// items (MainDataHolder), the scene graph (through SceneContorller) and the
// attribute panel (AttrController) in step, and owns the project commands
// (open, save, save as, clear) on top of ProjectDocument, the one reader and
// writer of project files.
//
// Undo: every operation and every attribute or parameter edit is one
// command on undoStack(). A command holds the project's file text before and
// after the step; undoing re-applies the text before it through the same
// path as opening a file, so an undone delete comes back with all its
// attributes, its place in the tree and in its group. The project is dirty
// while its text differs from the text last saved or opened.

#include "app/AttrController.h"
#include "app/SceneContorller.h"
#include "scene/ProjectDocument.h"

#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>
#include <map>
#include <set>
#include <string>

class BundleParamSink;
class Item;
class QTreeWidgetItem;
class QAction;
class QMenu;
class QMenuBar;
class QUndoStack;
class WorkspaceTreeWidget;

namespace Ui {
class LumoEditorClass;
}

class TreeViewController : public QObject {
    Q_OBJECT
public:
    enum RootIndex { k2dRoot = 0, kArRoot = 1, k3dRoot = 2 };

    TreeViewController(Ui::LumoEditorClass* ui, const std::string& root, QObject* parent = nullptr);
    ~TreeViewController() override;

    std::string makeUniqueName(const std::string& base);
    void resetRoots();
    QTreeWidgetItem* findItemByName(const std::string& name) const;
    void selectItemByName(const std::string& name);
    void refreshSelection();
    void reCalRelationship();
    void reOrderArMeshes();

    // The tree's order of the project's items (what the writer needs).
    ProjectTree projectTree() const;
    Item* itemOf(QTreeWidgetItem* entry) const;
    QTreeWidgetItem* entryOf(const Item* item) const;
    QTreeWidgetItem* rootEntry(int index) const;
    QTreeWidgetItem* selection() const;
    void select(QTreeWidgetItem* entry);
    static bool isAddEntry(const QTreeWidgetItem* entry);
    const std::set<std::string>& names() const { return usedNames; }

    AttrController& attr() { return m_attr; }
    SceneContorller& scene() { return m_scene; }
    QUndoStack* undoStack() const { return m_undo; }
    void setParamSink(BundleParamSink* sink) { m_attr.setParamSink(sink); }

    // Deletes every item and entry (the roots stay); the undo history is
    // emptied.
    void clearCurrentProject();
    // Fills the cleared scene from the document; the undo history is
    // emptied and the project is clean afterwards.
    void onOpenProject(const ProjectDocument& doc);
    // The project's file text as saving would write it now.
    std::string currentBytes() const;
    bool isDirty() const { return m_stateBytes != m_savedBytes; }
    // Asks Save / Discard / Cancel when the project is dirty; false on Cancel
    // or when the save failed.
    bool maybeSave(QWidget* parent);
    // Adds the Edit menu (Undo Ctrl+Z, Redo Ctrl+Shift+Z, Undo History)
    // to the menu bar before `before`.
    void buildEditMenu(QMenuBar* bar, QAction* before);
    // Sets the texts this controller made in code (Edit menu and its
    // actions, the tree's roots) anew in the current language.
    void retranslate();
    // Lays the tree out for a project type: roots, and for 3D projects the
    // "Global Params" item and the parameter board.
    void setupForProjectType(int32_t type);

    // Where the file dialogs' answers come from (tests replace it); the
    // default opens a file dialog.
    using FileChooser = std::function<QString(const QString& title, const QString& filter)>;
    void setFileChooser(FileChooser chooser) { m_chooser = std::move(chooser); }

    // The texture and mesh operations with the file given. `asker` is the
    // parameter name of a board texture button, "#weightmap" for the
    // weight-map button, empty for the item's own texture.
    bool changeTexture(const QString& asker, const QString& path);

    // Called after any edit made outside the controller's slots (gizmo
    // drags): records it as one undo step.
    void recordStep(const QString& text, int mergeId = -1, const std::string& mergeKey = std::string());
    // Undo support: puts the project into the state of the file text.
    void restoreState(const std::string& bytes, const std::string& selectedName);
    std::string selectedName() const;

public slots:
    void onTreeViewAction(QTreeWidgetItem* it, int c);
    QTreeWidgetItem* onTreeViewAddItem(int index = -1);
    void onTreeViewDeleteItem(bool isgroup = false);
    void onTreeViewMoveUpItem();
    void onTreeViewMoveDownItem();
    void onTreeViewInsertGroupItem();
    void onItemUpdateName(const std::string& pnewname = std::string());
    void onNotifySelection();
    void onItemUpdateAttr();
    void onTextureChanged();
    void on3dMeshChanged(const std::string& path = std::string());
    void OnCustomContextMenu(const QPoint& p);
    void OnWorkspaceDropEvent();
    void OrientationChange();
    void setup3dParam();
    bool onSaveProject();
    void onSaveAsProject();

signals:
    // The bundle list reloads the bundle (after a parameter texture repack).
    void synBundle();
    // The project name or the dirty state changed: the window title follows.
    void titleChanged();
    void statusMessage(const QString& text);

private:
    struct Op; // one user operation: nested operations record once
    friend struct Op;
    QTreeWidgetItem* addEntry(int index);
    // Attaches the item's mesh under the scene root and asks the views to
    // re-sort the root's children by depth.
    void attachToScene(Item* item);
    void deleteEntry(bool isgroup);
    void buildEntries(const ProjectTree& tree);
    // Takes every entry out from under the roots and frees its item's name;
    // the items stay with the holder.
    void removeProjectEntries();
    // The project's entries and items go; the roots stay.
    void removeProject();
    // Fills the emptied tree and scene from doc, as opening a file does.
    void fillFrom(const ProjectDocument& doc);
    void setMember(Item* item, int32_t nodetype);
    int rootIndexOf(const QTreeWidgetItem* entry) const;
    bool isRoot(const QTreeWidgetItem* entry) const;
    bool rootAvailable(int index) const;
    void afterStructuralChange(QTreeWidgetItem* selectEntry, QTreeWidgetItem* parent);
    // Puts entry at index `to` among its siblings (traced under traceName)
    // and selects it.
    void moveEntry(QTreeWidgetItem* entry, int to, const char* traceName);
    QString chooseFile(const QString& title, const QString& filter);
    bool dropFile(const QString& path, QTreeWidgetItem* target);
    void setClean();

    Ui::LumoEditorClass* ui;
    WorkspaceTreeWidget* m_tree;
    std::string m_root;
    std::set<std::string> usedNames;
    std::map<QTreeWidgetItem*, Item*> itemMap;
    std::string projectName = "default";
    int32_t m_root2d = k2dRoot, m_rootAr = kArRoot, m_root3d = k3dRoot;
    AttrController m_attr;
    SceneContorller m_scene;
    QUndoStack* m_undo;
    QMenu* m_editMenu = nullptr;
    QAction* m_undoAction = nullptr;
    QAction* m_redoAction = nullptr;
    QAction* m_historyAction = nullptr;
    FileChooser m_chooser;
    std::string m_stateBytes;
    std::string m_savedBytes;
    int m_opDepth = 0;
    bool m_restoring = false;
    bool m_moving = false;
    QObject* m_asker = nullptr;
};

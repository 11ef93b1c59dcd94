#pragma once
// The scene tree's widget: a tree that accepts files dragged from the
// desktop and reports every drop with WorkspaceDropEvent instead of moving
// its own entries (the controller decides what a drop means).

#include <QStringList>
#include <QTreeWidget>

class WorkspaceTreeWidget : public QTreeWidget {
    Q_OBJECT
public:
    explicit WorkspaceTreeWidget(QWidget* parent = nullptr);

    // The entry under the mouse at the last left-button press (none after
    // other buttons).
    QTreeWidgetItem* pressedItem() const { return m_pressed; }
    // Local files of the last drop, and the entry they were dropped on.
    const QStringList& droppedFiles() const { return m_droppedFiles; }
    QTreeWidgetItem* dropTarget() const { return m_dropTarget; }

signals:
    void WorkspaceDropEvent();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool dropMimeData(QTreeWidgetItem* parent, int index, const QMimeData* data, Qt::DropAction action) override;

private:
    void setEntriesExpandable(bool on);

    QTreeWidgetItem* m_pressed = nullptr;
    QTreeWidgetItem* m_dropTarget = nullptr;
    QStringList m_droppedFiles;
};

#include "app/WorkspaceTreeWidget.h"

#include "base/Trace.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

WorkspaceTreeWidget::WorkspaceTreeWidget(QWidget* parent) : QTreeWidget(parent) {
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
}

void WorkspaceTreeWidget::setEntriesExpandable(bool on) { setItemsExpandable(on); }

void WorkspaceTreeWidget::mousePressEvent(QMouseEvent* event) {
    Trace::out("wt:mousePressEvent\n");
    m_pressed = event->button() == Qt::LeftButton ? itemAt(event->pos()) : nullptr;
    QTreeWidget::mousePressEvent(event);
}

void WorkspaceTreeWidget::mouseReleaseEvent(QMouseEvent* event) {
    Trace::out("wt:mouseReleaseEvent\n");
    setEntriesExpandable(true);
    QTreeWidget::mouseReleaseEvent(event);
}

void WorkspaceTreeWidget::dragEnterEvent(QDragEnterEvent* event) {
    // Files from the desktop are welcome; the tree's own entries are not
    // moved by dragging (the buttons and the context menu move them).
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void WorkspaceTreeWidget::dragMoveEvent(QDragMoveEvent* event) {
    setEntriesExpandable(false);
    expandAll();
    Trace::out("dragMoveEvent\n");
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void WorkspaceTreeWidget::dropEvent(QDropEvent* event) {
    Trace::out("wt:dropEvent\n");
    m_droppedFiles.clear();
    m_dropTarget = itemAt(event->pos());
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            m_droppedFiles << url.toLocalFile();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    setEntriesExpandable(true);
    emit WorkspaceDropEvent();
}

bool WorkspaceTreeWidget::dropMimeData(QTreeWidgetItem* parent, int index, const QMimeData* data,
                                       Qt::DropAction action) {
    QTreeWidget::dropMimeData(parent, index, data, action);
    return true;
}

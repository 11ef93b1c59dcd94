#include "preview/VexaViewController.h"

#include "base/Paths.h"
#include "base/Trace.h"
#include "preview/lumovexawidget.h"
#include "scene/MainDataHolder.h"

#include <QCursor>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QTreeWidget>

namespace {
const int kMessageMs = 3000;
}

VexaViewController::VexaViewController(QTreeWidget* tree, lumovexawidget* view, QObject* parent)
    : QObject(parent), m_tree(tree), m_view(view) {
    if (m_tree->topLevelItemCount() == 0)
        m_tree->addTopLevelItem(new QTreeWidgetItem(QStringList(tr("Bundles"))));
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tree, &QTreeWidget::customContextMenuRequested, this, &VexaViewController::OnCustomContextMenu);
    expand();
}

QTreeWidgetItem* VexaViewController::root() const {
    return m_tree->topLevelItem(0);
}

void VexaViewController::expand() {
    m_tree->expandAll();
}

void VexaViewController::say(const QString& text) {
    emit statusMessage(text, kMessageMs);
}

int VexaViewController::selectedIndex() const {
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    if (selected.isEmpty() || !root())
        return -1;
    return root()->indexOfChild(selected.first());
}

void VexaViewController::onPlayVexa() {
    Trace::out("LumoEditor::onPlayVexa\n");
    m_view->start();
    expand();
}

void VexaViewController::onStopVexa() {
    Trace::out("LumoEditor::onStopVexa\n");
    m_view->stop();
    expand();
}

void VexaViewController::onSyncVexa() {
    Trace::out("LumoEditor::onSyncVexa\n");
    std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    const std::string& name = holder->projectName;
    const std::string path = pathJoin(holder->root, "Projects/" + name + "/build/iOS/" + name + ".bundle");
    Trace::out("bundle path:%s\n", path.c_str());
    if (!fileExists(path)) {
        Trace::out("bundle not packed,please pack bundle\n");
        expand();
        return;
    }
    bool ok;
    if (m_isCurBundleLoaded) {
        Trace::out("m_is_cur_bundle_loaded:%d\n", int(m_isCurBundleLoaded));
        ok = m_view->replaceBundle(path, m_curBundleIdx);
    } else {
        m_curBundleIdx = root()->childCount();
        ok = m_view->replaceBundle(path, m_curBundleIdx);
        if (ok)
            m_isCurBundleLoaded = true;
    }
    if (ok) {
        m_view->setCurIdx(m_curBundleIdx);
        if (holder->projectType & (kProject3d | kProjectP2a))
            m_view->refresh(m_curBundleIdx);
        // A bundle older than the project file misses the latest edits.
        const QFileInfo bundle(QString::fromLocal8Bit(path.c_str()));
        const QFileInfo project(QString::fromLocal8Bit(
            pathJoin(holder->root, "Projects/" + name + "/" + name + ".lumoproj").c_str()));
        if (project.exists() && bundle.lastModified() < project.lastModified())
            say(tr("bundle is older than the project, pack to see your changes"));
    } else {
        say(tr("vexa can not load bundle") + ": " + m_view->lastError());
    }
    if (!m_isCurBundleLoaded) {
        // Nothing was added: the index stays unused.
        m_curBundleIdx = -1;
    } else {
        const QString text = QString::fromLocal8Bit((name + ".bundle").c_str());
        if (m_curBundleIdx >= root()->childCount())
            root()->addChild(new QTreeWidgetItem(QStringList(text)));
        else
            root()->child(m_curBundleIdx)->setText(0, text);
    }
    expand();
}

void VexaViewController::onLoadBundle() {
    Trace::out("LumoEditor::onLoadBundle\n");
    expand();
    const QString start = QString::fromLocal8Bit(pathJoin(MainDataHolder::instance()->root, "Projects/").c_str());
    QFileDialog dialog(m_tree->window(), tr("Load Bundle"), start, QStringLiteral("allfiles(*.bundle)"));
    dialog.setObjectName(QStringLiteral("p_dialog_load_bundle"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        Trace::out("canceled\n");
        return;
    }
    loadBundleFile(dialog.selectedFiles().first());
}

void VexaViewController::loadBundleFile(const QString& file) {
    const QString name = QFileInfo(file).fileName();
    if (!m_tree->findItems(name, Qt::MatchExactly | Qt::MatchRecursive).isEmpty()) {
        say(tr("bundle with same name exist !"));
        Trace::out("bundle with same name exist !\n");
        return;
    }
    const std::string path = file.toLocal8Bit().toStdString();
    Trace::out("bundle path:%s\n", path.c_str());
    if (!m_view->addBundle(path)) {
        Trace::out("vexa can not load bundle\n");
        say(tr("vexa can not load bundle") + ": " + m_view->lastError());
        return;
    }
    Trace::out("pbundles name:%s", root()->text(0).toLocal8Bit().constData());
    root()->addChild(new QTreeWidgetItem(QStringList(name)));
    say(tr("bundle loaded"));
    Trace::out("bundle loaded\n");
    expand();
}

void VexaViewController::OnCustomContextMenu(const QPoint& point) {
    expand();
    auto* menu = new QMenu(m_tree);
    menu->setObjectName(QStringLiteral("p_menu_bundles"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QString icons = QStringLiteral(":/LumoEditor/data/qt/");
    menu->addAction(QIcon(icons + "add.png"), tr("Add Bundle"), this, &VexaViewController::OnAddBundle);
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    if (!selected.isEmpty() && selected.first() != root()) {
        menu->addAction(QIcon(icons + "remove.png"), tr("Delete"), this, &VexaViewController::OnDeleteBundle);
        menu->addAction(QIcon(icons + "enable.png"), tr("Enable"), this, &VexaViewController::OnEnableBundle);
        menu->addAction(QIcon(icons + "disable.png"), tr("Disable"), this, &VexaViewController::OnDisableBundle);
        menu->addAction(QIcon(icons + "arrow-up.png"), tr("Move up"), this, &VexaViewController::OnMoveUpBundle);
        menu->addAction(QIcon(icons + "arrow-down.png"), tr("Move down"), this,
                        &VexaViewController::OnMoveDownBundle);
    }
    menu->popup(m_tree->viewport()->mapToGlobal(point));
}

void VexaViewController::OnAddBundle() {
    onLoadBundle();
}

void VexaViewController::OnDeleteBundle() {
    Trace::out("OnDeleteBundle\n");
    expand();
    const int i = selectedIndex();
    Trace::out("index:%d\n", i);
    if (!m_view->deleteBundle(i))
        return;
    delete root()->takeChild(i);
    if (m_isCurBundleLoaded && i == m_curBundleIdx) {
        m_isCurBundleLoaded = false;
        m_curBundleIdx = -1;
        m_view->setCurIdx(-1);
        return;
    }
    if (i < m_curBundleIdx) {
        --m_curBundleIdx;
        m_view->setCurIdx(m_curBundleIdx);
    }
    say(tr("bundle removed"));
    Trace::out("bundle removed\n");
}

void VexaViewController::OnDisableBundle() {
    Trace::out("OnDisableBundle\n");
    const int i = selectedIndex();
    Trace::out("index:%d\n", i);
    if (m_view->setRenderEnabled(i, false))
        root()->child(i)->setForeground(0, QColor(127, 127, 127));
}

void VexaViewController::OnEnableBundle() {
    Trace::out("OnEnableBundle\n");
    const int i = selectedIndex();
    Trace::out("index:%d\n", i);
    if (m_view->setRenderEnabled(i, true))
        root()->child(i)->setForeground(0, QColor(0, 0, 0));
}

void VexaViewController::OnMoveDownBundle() {
    Trace::out("OnMoveDownBundle\n");
    const int i = selectedIndex();
    Trace::out("index:%d\n", i);
    if (m_view->moveDown(i)) {
        QTreeWidgetItem* child = root()->takeChild(i);
        root()->insertChild(i + 1, child);
        m_tree->setCurrentItem(child);
        if (m_isCurBundleLoaded) {
            if (i == m_curBundleIdx)
                m_curBundleIdx = i + 1;
            else if (i + 1 == m_curBundleIdx)
                m_curBundleIdx = i;
            m_view->setCurIdx(m_curBundleIdx);
        }
    }
    expand();
}

void VexaViewController::OnMoveUpBundle() {
    Trace::out("OnMoveUpBundle\n");
    const int i = selectedIndex();
    Trace::out("index:%d\n", i);
    if (m_view->moveUp(i)) {
        QTreeWidgetItem* child = root()->takeChild(i);
        root()->insertChild(i - 1, child);
        m_tree->setCurrentItem(child);
        if (m_isCurBundleLoaded) {
            if (i == m_curBundleIdx)
                m_curBundleIdx = i - 1;
            else if (i - 1 == m_curBundleIdx)
                m_curBundleIdx = i;
            m_view->setCurIdx(m_curBundleIdx);
        }
    }
    expand();
}

void VexaViewController::setParam_f(const std::string& name, float value) {
    m_view->setParam_f(name, value, m_curBundleIdx);
}

void VexaViewController::setParam_s(const std::string& name, const std::string& value) {
    m_view->setParam_s(name, value, m_curBundleIdx);
}

void VexaViewController::refreshParams() {
    m_view->refresh(m_curBundleIdx);
}

#include "app/TreeViewController.h"

#include "app/ProjectUndoCommand.h"
#include "app/StatusBarController.h"
#include "app/WorkspaceTreeWidget.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "images/ResourceManager.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/Item_ar.h"
#include "scene/MainDataHolder.h"
#include "scene/SplitPath.h"
#include "scenegraph/GLNode.h"
#include "scenegraph/SceneRegistry.h"
#include "ui_LumoEditor.h"
#include "viewer/BaseMeshViewer.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QUndoView>
#include <QMessageBox>
#include <QPushButton>
#include <QUndoStack>

#include <cctype>

namespace {

int g_nameCounter = 0; // process-wide, never reset

constexpr int kAddEntryRole = Qt::UserRole + 1;
// The weight-map button's asker; '#' never appears in a parameter name.
constexpr const char* kWeightAsker = "#weightmap";
const char* const kReservedNames[] = {"+", "default", "2D", "AR Mesh", "3D"};

QString qs(const std::string& s) { return QString::fromLocal8Bit(s.c_str()); }
std::string ss(const QString& s) { return s.toLocal8Bit().toStdString(); }

void rebuildParamIndex(Item_3d& item) {
    item.paramIndex.clear();
    for (size_t i = 0; i < item.param.size(); ++i)
        item.paramIndex[item.param[i].name] = int(i);
}

void setQuadVisible(Item* item, bool visible) {
    if (ObjMesh* mesh = itemMesh(item))
        mesh->visible = visible;
}

// A 2D texture must be the first frame of a numbered sequence:
// <name>_<five digits>.<ext>.
bool sequenceNameValid(const std::string& path) {
    const std::string base = splitPath(path).base;
    const size_t us = base.rfind('_');
    if (us == std::string::npos) {
        Trace::out("no format _ \n");
        return false;
    }
    const std::string tail = base.substr(us + 1);
    if (tail.size() != 5) {
        Trace::out("no format xxx_00000.ext\n");
        return false;
    }
    for (char c : tail)
        if (!std::isdigit(static_cast<unsigned char>(c))) {
            Trace::out("not 5 digit\n");
            return false;
        }
    Trace::out("name:%s tail:%s\n", base.substr(0, us).c_str(), tail.c_str());
    return true;
}

} // namespace

// Counts nesting so that an operation made of others (grouping adds and
// renames) is recorded once, when the outermost one ends.
struct TreeViewController::Op {
    Op(TreeViewController* c, QString t) : ctl(c), text(std::move(t)) { ++ctl->m_opDepth; }
    ~Op() {
        if (--ctl->m_opDepth == 0)
            ctl->recordStep(text);
    }
    TreeViewController* ctl;
    QString text;
};

TreeViewController::TreeViewController(Ui::LumoEditorClass* form, const std::string& root, QObject* parent)
    : QObject(parent), ui(form), m_tree(form->p_tree_scene), m_root(root), m_attr(form, this),
      m_undo(new QUndoStack(this)) {
    for (const char* n : kReservedNames)
        usedNames.insert(n);
    m_tree->clear();
    for (const QString& text : {tr("2D"), tr("AR Mesh"), tr("3D")})
        m_tree->addTopLevelItem(new QTreeWidgetItem(QStringList(text)));
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_scene.setViews({ui->p_leftView, ui->p_frontView, ui->p_freeView});

    connect(m_tree, &QTreeWidget::itemClicked, this, &TreeViewController::onTreeViewAction);
    connect(m_tree, &QWidget::customContextMenuRequested, this, &TreeViewController::OnCustomContextMenu);
    connect(m_tree, &WorkspaceTreeWidget::WorkspaceDropEvent, this, &TreeViewController::OnWorkspaceDropEvent);
    connect(ui->p_btn_add_item, &QPushButton::clicked, this, [this] { onTreeViewAddItem(-1); });
    connect(ui->p_btn_delete_item, &QPushButton::clicked, this, [this] { onTreeViewDeleteItem(false); });
    connect(ui->p_btn_moveup_item, &QPushButton::clicked, this, &TreeViewController::onTreeViewMoveUpItem);
    connect(ui->p_btn_movedown_item, &QPushButton::clicked, this, &TreeViewController::onTreeViewMoveDownItem);
    for (QWidget* b : {static_cast<QWidget*>(ui->p_btn_add_item), static_cast<QWidget*>(ui->p_btn_delete_item),
                       static_cast<QWidget*>(ui->p_btn_moveup_item), static_cast<QWidget*>(ui->p_btn_movedown_item)})
        b->setEnabled(true);

    // The attribute panel's widgets.
    for (QDoubleSpinBox* s : {ui->p_spin_x, ui->p_spin_y, ui->p_spin_z, ui->p_spin_width, ui->p_spin_height,
                              ui->p_spin_fps, ui->p_spin_3d_px, ui->p_spin_3d_py, ui->p_spin_3d_pz,
                              ui->p_spin_3d_rx, ui->p_spin_3d_ry, ui->p_spin_3d_rz, ui->p_spin_3d_sx,
                              ui->p_spin_3d_sy, ui->p_spin_3d_sz})
        connect(s, QOverload<double>::of(&QDoubleSpinBox::valueChanged), &m_attr, &AttrController::onSpinValueChanged);
    connect(ui->p_spin_loopcount, QOverload<int>::of(&QSpinBox::valueChanged), &m_attr,
            &AttrController::onIntSpinValueChanged);
    for (QComboBox* c : {ui->p_combo_triggerstart, ui->p_combo_triggerend, ui->p_combo_looptype,
                         ui->p_combo_faceaction_start, ui->p_combo_faceaction_end})
        connect(c, QOverload<int>::of(&QComboBox::currentIndexChanged), &m_attr, &AttrController::onCurrentIndexChanged);
    for (QCheckBox* c : {ui->p_chk_flipHorizontal, ui->p_chk_flipVertical, ui->p_chk_isfullscreen,
                         ui->p_chk_islandscape, ui->p_chk_isbackground, ui->p_chk_aspectratio,
                         ui->p_chk_needkeepfaceaction})
        connect(c, &QCheckBox::toggled, &m_attr, &AttrController::onChkChanged);
    connect(ui->p_btn_texture, &QPushButton::clicked, this, &TreeViewController::onTextureChanged);
    connect(ui->p_btn_weight_3d, &QPushButton::clicked, this, &TreeViewController::onTextureChanged);
    connect(ui->p_btn_mesh_3d, &QPushButton::clicked, this, [this] { on3dMeshChanged(std::string()); });
    for (QLineEdit* e : {ui->p_text_name, ui->p_text_name_3d})
        connect(e, &QLineEdit::editingFinished, this, [this] { onItemUpdateName(std::string()); });
    connect(&m_attr, &AttrController::attrEdited, this, [this](QObject* source) {
        recordStep(tr("Edit %1").arg(source ? source->objectName() : QString()), 1,
                   ss(source ? source->objectName() : QString()) + "\n" + selectedName());
    });
    connect(&m_attr, &AttrController::textureRequested, this, [this](const QString& param) {
        const QString path = chooseFile(tr("Select Texture"), QStringLiteral("allfiles(*.png *.jpg *.tga)"));
        if (!path.isEmpty())
            changeTexture(param, path);
    });
    for (QWidget* view : {static_cast<QWidget*>(ui->p_leftView), static_cast<QWidget*>(ui->p_frontView),
                          static_cast<QWidget*>(ui->p_freeView)}) {
        auto* v = static_cast<BaseMeshViewer*>(view);
        connect(v, &BaseMeshViewer::notifySelection, this, &TreeViewController::onNotifySelection);
        connect(v, &BaseMeshViewer::notifyPosScale, this, &TreeViewController::onItemUpdateAttr);
        connect(v, &BaseMeshViewer::notifyMoving, this, [this] {
            m_moving = true;
            m_attr.setMovingState();
        });
        connect(v, &BaseMeshViewer::notifyReady, this, [this] {
            m_attr.setReadyState();
            if (m_moving) {
                m_moving = false;
                recordStep(tr("Move"));
            }
        });
    }
    m_stateBytes = m_savedBytes = currentBytes();
}

TreeViewController::~TreeViewController() {
    // The undo commands refer to this controller.
    m_undo->clear();
}

std::string TreeViewController::makeUniqueName(const std::string& base) {
    if (usedNames.insert(base).second)
        return base;
    std::string name;
    do
        name = base + "_" + std::to_string(++g_nameCounter);
    while (usedNames.count(name));
    usedNames.insert(name);
    return name;
}

QTreeWidgetItem* TreeViewController::rootEntry(int index) const { return m_tree->topLevelItem(index); }

bool TreeViewController::isAddEntry(const QTreeWidgetItem* entry) {
    return entry && entry->data(0, kAddEntryRole).toBool();
}

bool TreeViewController::isRoot(const QTreeWidgetItem* entry) const { return entry && !entry->parent(); }

int TreeViewController::rootIndexOf(const QTreeWidgetItem* entry) const {
    while (entry && entry->parent())
        entry = entry->parent();
    return entry ? m_tree->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(entry)) : -1;
}

bool TreeViewController::rootAvailable(int index) const {
    const int32_t type = MainDataHolder::instance()->projectType;
    if (index == m_root2d || index == m_rootAr)
        return (type & kProject2d) != 0;
    if (index == m_root3d)
        return (type & (kProject3d | kProjectP2a)) != 0;
    return false;
}

Item* TreeViewController::itemOf(QTreeWidgetItem* entry) const {
    auto it = itemMap.find(entry);
    return it == itemMap.end() ? nullptr : it->second;
}

QTreeWidgetItem* TreeViewController::entryOf(const Item* item) const {
    for (const auto& [entry, i] : itemMap)
        if (i == item)
            return entry;
    return nullptr;
}

QTreeWidgetItem* TreeViewController::selection() const {
    const QList<QTreeWidgetItem*> sel = m_tree->selectedItems();
    return sel.isEmpty() ? nullptr : sel.first();
}

void TreeViewController::select(QTreeWidgetItem* entry) {
    m_tree->clearSelection();
    if (entry) {
        m_tree->setCurrentItem(entry);
        entry->setSelected(true);
    }
}

std::string TreeViewController::selectedName() const {
    Item* item = itemOf(selection());
    return item ? item->name : std::string();
}

void TreeViewController::removeProjectEntries() {
    for (const auto& [entry, item] : itemMap)
        if (item)
            usedNames.erase(item->name);
    for (int r = 0; r < m_tree->topLevelItemCount(); ++r) {
        QTreeWidgetItem* root = m_tree->topLevelItem(r);
        for (QTreeWidgetItem* child : root->takeChildren())
            delete child;
        root->setToolTip(0, QString());
    }
    itemMap.clear();
}

void TreeViewController::removeProject() {
    removeProjectEntries();
    clearProjectItems(*MainDataHolder::instance());
}

void TreeViewController::fillFrom(const ProjectDocument& doc) {
    resetRoots();
    ProjectTree tree;
    doc.applyTo(*MainDataHolder::instance(), tree);
    // The items come after the phone frame under the root: depth order again.
    SceneRegistry::instance().sortRequested = true;
    buildEntries(tree);
}

void TreeViewController::resetRoots() {
    m_attr.showUI(nullptr);
    // Entries go; their items stay with the holder until the project is
    // cleared.
    removeProjectEntries();
    const int32_t type = MainDataHolder::instance()->projectType;
    auto addPlus = [](QTreeWidgetItem* root) {
        auto* plus = new QTreeWidgetItem(QStringList(QStringLiteral("+")));
        plus->setData(0, kAddEntryRole, true);
        root->addChild(plus);
    };
    if (!(type & kProject2d)) {
        rootEntry(m_root2d)->setToolTip(0, tr("Forbidden"));
        rootEntry(m_rootAr)->setToolTip(0, tr("Forbidden"));
    } else {
        addPlus(rootEntry(m_root2d));
        addPlus(rootEntry(m_rootAr));
    }
    if (!(type & (kProject3d | kProjectP2a)))
        rootEntry(m_root3d)->setToolTip(0, tr("Forbidden"));
    else
        addPlus(rootEntry(m_root3d));
    m_tree->expandAll();
}

QTreeWidgetItem* TreeViewController::findItemByName(const std::string& name) const {
    Trace::out("findItemByName:%s\n", name.c_str());
    const QList<QTreeWidgetItem*> found =
        m_tree->findItems(qs(name), Qt::MatchExactly | Qt::MatchCaseSensitive | Qt::MatchRecursive);
    QTreeWidgetItem* hit = nullptr;
    int count = 0;
    for (QTreeWidgetItem* e : found)
        if (itemOf(e)) {
            ++count;
            if (!hit)
                hit = e;
        }
    if (!hit)
        Trace::out("find nothing named:%s\n", name.c_str());
    else
        Trace::out("find item count:%d\n", count);
    return hit;
}

void TreeViewController::selectItemByName(const std::string& name) {
    QTreeWidgetItem* entry = findItemByName(name);
    if (!entry) {
        Trace::out("itemname not found\n");
        return;
    }
    m_tree->clearSelection();
    m_tree->clearFocus();
    m_attr.showUI(itemOf(entry));
    select(entry);
    m_attr.updateUI();
}

void TreeViewController::refreshSelection() {
    QTreeWidgetItem* s = selection();
    Item* item = itemOf(s);
    if (!item) {
        m_attr.showUI(nullptr);
        return;
    }
    m_attr.showUI(item);
    m_scene.selectItem(item);
    m_attr.updateUI();
}

void TreeViewController::onTreeViewAction(QTreeWidgetItem* it, int) {
    if (!it)
        return;
    if (isRoot(it)) {
        const int index = m_tree->indexOfTopLevelItem(it);
        Trace::out("index:%d pt:%d\n", index, MainDataHolder::instance()->projectType);
        if (!rootAvailable(index)) {
            it->setSelected(false);
            return;
        }
    }
    LOG_INFO("item select: %s:%s\n", ss(it->text(0)).c_str(),
             it->parent() ? ss(it->parent()->text(0)).c_str() : "Scene");
    m_attr.showUI(nullptr);
    m_scene.clearSelection();
    if (isAddEntry(it)) {
        onTreeViewAddItem(-1);
        return;
    }
    refreshSelection();
}

void TreeViewController::setMember(Item* item, int32_t nodetype) {
    auto* i = dynamic_cast<Item_2d*>(item);
    if (!i)
        return;
    i->nodetype = nodetype;
    setQuadVisible(i, true);
    if (nodetype == kNodeMember)
        i->loopType = kLoopCount;
    // Members play by their group's timing: no triggers or actions of their own.
    i->triggerStart = 0;
    i->triggerEnd = 0;
    i->setStartAction("null");
    i->setEndAction("null");
}

void TreeViewController::afterStructuralChange(QTreeWidgetItem* selectEntry, QTreeWidgetItem* parent) {
    select(selectEntry);
    if (parent == rootEntry(m_rootAr))
        reOrderArMeshes();
    refreshSelection();
}

QTreeWidgetItem* TreeViewController::onTreeViewAddItem(int index) {
    Op op(this, tr("Add item"));
    return addEntry(index);
}

QTreeWidgetItem* TreeViewController::addEntry(int index) {
    Trace::out("onTreeViewAddItem\n");
    QTreeWidgetItem* s = selection();
    if (!s)
        return nullptr;
    QTreeWidgetItem* target = isRoot(s) ? s : s->parent();
    const int rootIndex = rootIndexOf(target);
    if (!rootAvailable(rootIndex))
        return nullptr;
    std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    const std::string name = makeUniqueName("default");
    auto* entry = new QTreeWidgetItem(QStringList(qs(name)));
    bool member = false;
    QTreeWidgetItem* group = nullptr;
    if (!isRoot(target))
        group = target;
    else if (target == rootEntry(m_root2d) && !isAddEntry(s) && !isRoot(s)) {
        auto* si = dynamic_cast<Item_2d*>(itemOf(s));
        if (si && si->nodetype == kNodeGroup)
            group = s;
    }
    if (group && rootIndexOf(group) == m_root2d) {
        if (group->childCount() > 0)
            setMember(itemOf(group->child(group->childCount() - 1)), kNodeMember);
        group->addChild(entry);
        member = true;
        target = group;
    } else {
        if (group) // a mesh part is selected: add beside its whole mesh
            target = rootEntry(rootIndex);
        const int n = target->childCount();
        target->insertChild(index >= 0 && index <= n - 1 ? index : std::max(0, n - 1), entry);
    }

    Item* item = nullptr;
    if (rootIndex == m_root2d) {
        auto* i = dynamic_cast<Item_2d*>(holder->createItem(kItem2d));
        if (i) {
            i->mesh->name = name;
            i->name = name;
            attachToScene(i);
            i->setWidth(60);
            i->setHeight(60);
            i->setZ(layout2d::kForegroundDepth);
            if (member) {
                setMember(i, kNodeLastMember);
                i->loopType = kLoopCount;
            }
        }
        item = i;
    } else if (rootIndex == m_root3d) {
        auto* i = dynamic_cast<Item_3d*>(holder->createItem(kItem3d));
        if (i) {
            i->mesh->name = name;
            i->name = name;
            attachToScene(i);
            if (holder->projectType & kProject3d)
                i->setScale(60, 60, 60);
            else if (holder->projectType & kProjectP2a)
                i->setScale(0.5f, 0.5f, 0.5f);
            i->param = holder->materialParams;
            rebuildParamIndex(*i);
        }
        item = i;
    } else {
        Trace::out("add ar mesh\n");
        auto* i = dynamic_cast<Item_ar*>(holder->createItem(kItemAr));
        if (i) {
            i->name = name;
            attachToScene(i);
            if (i->mesh && i->mesh->node)
                i->mesh->node->setPosition({0, 0, 1.0f});
        }
        item = i;
    }
    if (!item) {
        usedNames.erase(name);
        delete entry;
        return nullptr;
    }
    itemMap[entry] = item;
    Trace::out("onTreeViewAddItem:%s:%s\n", ss(target->text(0)).c_str(), name.c_str());
    afterStructuralChange(entry, target);
    return entry;
}

void TreeViewController::attachToScene(Item* item) {
    m_scene.attachItem(item);
    // The new node is the root's last child; the views put it back in depth
    // order before their next frame, or nearer quads (the phone frame) that
    // are drawn first would hide it.
    SceneRegistry::instance().sortRequested = true;
}

void TreeViewController::onTreeViewDeleteItem(bool isgroup) {
    Op op(this, tr("Delete item"));
    deleteEntry(isgroup);
}

void TreeViewController::deleteEntry(bool isgroup) {
    Trace::out("onTreeViewDeleteItem\n");
    QTreeWidgetItem* s = selection();
    if (!s || isAddEntry(s) || isRoot(s))
        return;
    QTreeWidgetItem* p = s->parent();
    Item* item = itemOf(s);
    int depth = 1;
    for (QTreeWidgetItem* e = s; e->parent(); e = e->parent())
        ++depth;
    if (auto* i = dynamic_cast<Item_2d*>(item)) {
        if (i->nodetype == kNodeGroup) {
            isgroup = true;
            while (s->childCount() > 0) {
                select(s->child(0));
                refreshSelection();
                deleteEntry(true);
            }
        } else if (i->nodetype == kNodeLastMember && p->childCount() > 1) {
            const int at = p->indexOfChild(s);
            if (at > 0)
                setMember(itemOf(p->child(at - 1)), kNodeLastMember);
        }
    } else if (auto* t = dynamic_cast<Item_3d*>(item)) {
        if (t->meshRole == kRoleWholeMesh) {
            isgroup = true;
            while (s->childCount() > 0) {
                select(s->child(0));
                refreshSelection();
                deleteEntry(true);
            }
        }
    }
    m_attr.showUI(nullptr);
    p->removeChild(s);
    itemMap.erase(s);
    if (item) {
        usedNames.erase(item->name);
        m_scene.detachItem(item);
        MainDataHolder::instance()->deleteItem(item);
    }
    Trace::out("onTreeViewDeleteItem:%s:%s\n", ss(p->text(0)).c_str(), ss(s->text(0)).c_str());
    delete s;
    m_tree->clearSelection();
    if (p == rootEntry(m_rootAr))
        reOrderArMeshes();
    refreshSelection();
    Trace::out("level:%d\n", depth);
    if (depth == 3 && p->childCount() == 0 && !isgroup && itemOf(p)) {
        select(p);
        deleteEntry(false);
    }
}

void TreeViewController::onTreeViewInsertGroupItem() {
    Trace::out("onTreeViewInsertGroupItem begin\n");
    QTreeWidgetItem* s = selection();
    auto* si = dynamic_cast<Item_2d*>(itemOf(s));
    if (!si || s->parent() != rootEntry(m_root2d) || si->nodetype != kNodeOrdinary)
        return;
    Op op(this, tr("Group"));
    QTreeWidgetItem* root = s->parent();
    const int i = root->indexOfChild(s);
    QTreeWidgetItem* g = addEntry(i);
    if (!g)
        return;
    root->removeChild(s);
    g->addChild(s);
    auto* gi = static_cast<Item_2d*>(itemOf(g));
    gi->nodetype = kNodeGroup;
    setQuadVisible(gi, false);
    setMember(si, kNodeLastMember);
    select(g);
    onItemUpdateName("group");
    m_tree->expandAll();
    select(s);
    refreshSelection();
    Trace::out("onTreeViewInsertGroupItem end\n");
}

void TreeViewController::onTreeViewMoveUpItem() {
    Trace::out("onTreeViewMoveUpItem\n");
    QTreeWidgetItem* s = selection();
    if (!s || isAddEntry(s) || isRoot(s))
        return;
    QTreeWidgetItem* p = s->parent();
    const int i = p->indexOfChild(s);
    if (i == 0)
        return;
    Op op(this, tr("Move up"));
    auto* si = dynamic_cast<Item_2d*>(itemOf(s));
    if (si && si->nodetype == kNodeLastMember) {
        setMember(si, kNodeMember);
        setMember(itemOf(p->child(i - 1)), kNodeLastMember);
    }
    moveEntry(s, i - 1, "onTreeViewMoveUpItem");
}

void TreeViewController::onTreeViewMoveDownItem() {
    Trace::out("onTreeViewMoveDownItem\n");
    QTreeWidgetItem* s = selection();
    if (!s || isAddEntry(s) || isRoot(s))
        return;
    QTreeWidgetItem* p = s->parent();
    const int i = p->indexOfChild(s);
    const int n = p->childCount();
    if (i >= n - 1 || isAddEntry(p->child(i + 1)))
        return;
    Op op(this, tr("Move down"));
    auto* si = dynamic_cast<Item_2d*>(itemOf(s));
    if (si && si->nodetype == kNodeMember && i == n - 2) {
        setMember(si, kNodeLastMember);
        setMember(itemOf(p->child(i + 1)), kNodeMember);
    }
    moveEntry(s, i + 1, "onTreeViewDeleteItem");
}

void TreeViewController::moveEntry(QTreeWidgetItem* entry, int to, const char* traceName) {
    QTreeWidgetItem* p = entry->parent();
    p->removeChild(entry);
    p->insertChild(to, entry);
    Trace::out("%s:%s:%s\n", traceName, ss(p->text(0)).c_str(), ss(entry->text(0)).c_str());
    m_tree->expandAll();
    afterStructuralChange(entry, p);
}

void TreeViewController::reCalRelationship() {
    Trace::out("TreeViewController::reCalRelationship begin\n");
    Trace::out("2d cnt:%d", int(projectTree().items2d.size()));
    linkGroupChains(projectTree());
    Trace::out("TreeViewController::reCalRelationship end\n");
}

void TreeViewController::reOrderArMeshes() {
    Trace::out("TreeViewController::reOrderArMeshes begin\n");
    QTreeWidgetItem* root = rootEntry(m_rootAr);
    std::vector<Item_ar*> items;
    for (int k = 0; k < root->childCount(); ++k)
        if (auto* a = dynamic_cast<Item_ar*>(itemOf(root->child(k))))
            items.push_back(a);
    Trace::out("ar cnt:%d", int(items.size()));
    for (size_t k = 0; k < items.size(); ++k)
        if (items[k]->mesh && items[k]->mesh->node) {
            math3d::Vec3 p = items[k]->mesh->node->position();
            p.z = 2.0f * float(k + 1);
            items[k]->mesh->node->setPosition(p);
        }
    m_scene.redraw();
    Trace::out("TreeViewController::reOrderArMeshes end\n");
}

void TreeViewController::onItemUpdateName(const std::string& pnewname) {
    QTreeWidgetItem* s = selection();
    Item* item = itemOf(s);
    if (!item)
        return;
    std::string requested = pnewname;
    if (requested.empty())
        requested = ss(item->type == kItem3d ? ui->p_text_name_3d->text() : ui->p_text_name->text());
    if (requested.empty() || requested == item->name)
        return;
    Op op(this, tr("Rename"));
    const std::string old = item->name;
    const std::string name = makeUniqueName(requested);
    item->name = name;
    usedNames.erase(old);
    s->setText(0, qs(name));
    (item->type == kItem3d ? ui->p_text_name_3d : ui->p_text_name)->setText(qs(name));
    // Mesh names follow item names, so a click in a view finds the entry.
    ObjMesh* mesh = itemMesh(item);
    if (mesh && (mesh->name == old || item->type != kItemAr)) {
        Trace::out("update node name [%s]-->[%s]", old.c_str(), requested.c_str());
        mesh->name = name;
    }
}

void TreeViewController::onNotifySelection() {
    SceneRegistry& reg = SceneRegistry::instance();
    if (reg.m_selectedSet.empty()) {
        m_tree->clearSelection();
        m_tree->clearFocus();
        return;
    }
    const ObjMesh* mesh = reg.m_selectedSet.begin()->second;
    const std::string name = mesh ? mesh->name : std::string();
    Trace::out("TreeViewController::onNotifySelection:%s\n", name.c_str());
    selectItemByName(name);
}

void TreeViewController::onItemUpdateAttr() {
    m_attr.updateUI();
    // A drag is recorded when it ends (notifyReady); other moves at once.
    if (!m_moving)
        recordStep(tr("Move"));
}

QString TreeViewController::chooseFile(const QString& title, const QString& filter) {
    if (m_chooser)
        return m_chooser(title, filter);
    return QFileDialog::getOpenFileName(ui->p_tree_scene->window(), title, qs(m_root), filter);
}

void TreeViewController::onTextureChanged() {
    QString asker;
    if (sender() == ui->p_btn_weight_3d)
        asker = QLatin1String(kWeightAsker);
    const QString path = chooseFile(tr("Select Texture"), QStringLiteral("allfiles(*.png *.jpg *.tga)"));
    if (path.isEmpty())
        return;
    changeTexture(asker, path);
}

bool TreeViewController::changeTexture(const QString& asker, const QString& qpath) {
    Item* item = itemOf(selection());
    if (!item) {
        m_attr.showUI(nullptr);
        return false;
    }
    const std::string path = ss(qpath);
    Op op(this, tr("Change texture"));
    if (auto* i = dynamic_cast<Item_2d*>(item)) {
        Trace::out("new Texture path:%s\n", path.c_str());
        if (!sequenceNameValid(path)) {
            Trace::out("Naming Conventions Invalid\n");
            auto* box = new QMessageBox(QMessageBox::Warning, tr("Warning!"), tr("Naming Conventions Invalid."),
                                        QMessageBox::Cancel, ui->p_tree_scene->window());
            box->setObjectName(QStringLiteral("p_box_naming"));
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->open();
            return false;
        }
        m_scene.onItemChangeTexture(path);
        m_attr.showUI(i);
        m_attr.onItemChangeTexture(path);
    } else if (auto* a = dynamic_cast<Item_ar*>(item)) {
        Trace::out("new AR Texture path:%s\n", path.c_str());
        m_scene.onItemChangeTexture(path);
        m_attr.showUI(a);
        m_attr.onItemChangeTexture(path);
    } else if (auto* t = dynamic_cast<Item_3d*>(item)) {
        Trace::out("3d Texture change\n");
        if (asker == QLatin1String(kWeightAsker)) {
            t->setWeightMapPath(path);
            t->setWeightMapName(splitPath(path).base);
        } else {
            const auto found = t->paramIndex.find(ss(asker));
            if (found == t->paramIndex.end() || found->second < 0 || size_t(found->second) >= t->param.size())
                return false;
            if (!ResourceManager::instance()->find(path)) {
                Trace::out("Can not load image:%s\n", path.c_str());
                return false;
            }
            TemplateParam& p = t->param[size_t(found->second)];
            if (p.isTex)
                m_scene.onItemChangeTexture(path);
            p.values = splitPath(path).base + ".webp";
            p.texPath = path;
            emit synBundle();
        }
    }
    refreshSelection();
    return true;
}

void TreeViewController::on3dMeshChanged(const std::string& given) {
    Trace::out("on3dMeshChanged begin\n");
    std::string path = given;
    if (path.empty())
        path = ss(chooseFile(tr("Select Mesh"), QStringLiteral("allfiles(*.obj)")));
    if (path.empty())
        return;
    QTreeWidgetItem* s = selection();
    auto* item = dynamic_cast<Item_3d*>(itemOf(s));
    if (!item) {
        m_attr.showUI(nullptr);
        return;
    }
    // Loading into a mesh that has parts replaces them.
    Op op(this, tr("Change mesh"));
    m_attr.showUI(nullptr);
    while (s->childCount() > 0) {
        QTreeWidgetItem* c = s->child(0);
        Item* part = itemOf(c);
        s->removeChild(c);
        itemMap.erase(c);
        delete c;
        if (part) {
            usedNames.erase(part->name);
            m_scene.detachItem(part);
            MainDataHolder::instance()->deleteItem(part);
        }
    }
    std::vector<Item_3d*> parts;
    if (!loadMeshInto3dItem(*MainDataHolder::instance(), *item, path, parts))
        return;
    for (Item_3d* part : parts) {
        auto* entry = new QTreeWidgetItem(QStringList(qs(part->name)));
        s->addChild(entry);
        itemMap[entry] = part;
        usedNames.insert(part->name);
    }
    m_tree->expandAll();
    Trace::out("sync begin\n");
    m_scene.clearSelection();
    Trace::out("sync end\n");
    select(s);
    refreshSelection();
}

void TreeViewController::OnCustomContextMenu(const QPoint& p) {
    QTreeWidgetItem* e = m_tree->itemAt(p);
    if (!e || isAddEntry(e))
        return;
    auto* menu = new QMenu(m_tree);
    menu->setObjectName(QStringLiteral("p_menu_tree"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QIcon add(QStringLiteral(":/LumoEditor/data/qt/add.png"));
    if (isRoot(e)) {
        const int index = m_tree->indexOfTopLevelItem(e);
        Trace::out("index:%d pt:%d\n", index, MainDataHolder::instance()->projectType);
        if (!rootAvailable(index)) {
            e->setSelected(false);
            delete menu;
            return;
        }
        select(e);
        QAction* addChild = menu->addAction(add, tr("Add Child"));
        addChild->setObjectName(QStringLiteral("p_act_add"));
        connect(addChild, &QAction::triggered, this, [this] { onTreeViewAddItem(-1); });
    } else {
        select(e);
        refreshSelection();
        QAction* del = menu->addAction(QIcon(QStringLiteral(":/LumoEditor/data/qt/remove.png")), tr("Delete"));
        del->setObjectName(QStringLiteral("p_act_delete"));
        connect(del, &QAction::triggered, this, [this] { onTreeViewDeleteItem(false); });
        QTreeWidgetItem* parent = e->parent();
        auto* i = dynamic_cast<Item_2d*>(itemOf(e));
        if (parent == rootEntry(m_root2d) && i) {
            Trace::out("item name:%s isgroup:%d\n", i->name.c_str(), int(i->nodetype == kNodeGroup));
            QAction* a = i->nodetype == kNodeGroup
                             ? menu->addAction(add, tr("Add Child"))
                             : menu->addAction(QIcon(QStringLiteral(":/LumoEditor/data/qt/timeline.png")), tr("Add Group"));
            a->setObjectName(i->nodetype == kNodeGroup ? QStringLiteral("p_act_add") : QStringLiteral("p_act_group"));
            if (i->nodetype == kNodeGroup)
                connect(a, &QAction::triggered, this, [this] { onTreeViewAddItem(-1); });
            else
                connect(a, &QAction::triggered, this, &TreeViewController::onTreeViewInsertGroupItem);
        } else if (!isRoot(parent)) {
            QAction* up = menu->addAction(QIcon(QStringLiteral(":/LumoEditor/data/qt/arrow-up.png")), tr("Move up"));
            up->setObjectName(QStringLiteral("p_act_up"));
            connect(up, &QAction::triggered, this, &TreeViewController::onTreeViewMoveUpItem);
            QAction* down =
                menu->addAction(QIcon(QStringLiteral(":/LumoEditor/data/qt/arrow-down.png")), tr("Move down"));
            down->setObjectName(QStringLiteral("p_act_down"));
            connect(down, &QAction::triggered, this, &TreeViewController::onTreeViewMoveDownItem);
        }
    }
    menu->popup(QCursor::pos());
}

bool TreeViewController::dropFile(const QString& file, QTreeWidgetItem* target) {
    const QString suffix = QFileInfo(file).suffix().toLower();
    const bool image = suffix == QLatin1String("png") || suffix == QLatin1String("jpg") || suffix == QLatin1String("tga");
    const bool mesh = suffix == QLatin1String("obj");
    if (!image && !mesh)
        return false;
    int rootIndex = target ? rootIndexOf(target) : (mesh ? m_root3d : m_root2d);
    if (!rootAvailable(rootIndex))
        return false;
    Item* item = itemOf(target);
    if (mesh) {
        auto* t = dynamic_cast<Item_3d*>(item);
        if (rootIndex != m_root3d || (t && t->meshRole != kRoleWholeMesh))
            return false;
        if (!t || target->childCount() > 0) {
            select(rootEntry(m_root3d));
            target = addEntry(-1);
        } else {
            select(target);
        }
        if (!target)
            return false;
        on3dMeshChanged(ss(file));
        return true;
    }
    if (rootIndex == m_root3d)
        return false;
    if (!item || (rootIndex == m_root2d && static_cast<Item_2d*>(item)->nodetype == kNodeGroup)) {
        select(item ? target : rootEntry(rootIndex));
        target = addEntry(-1);
        if (!target)
            return false;
    } else {
        select(target);
    }
    refreshSelection();
    return changeTexture(QString(), file);
}

void TreeViewController::OnWorkspaceDropEvent() {
    Trace::out("TreeViewController::OnWorkspaceDropEvent\n");
    Op op(this, tr("Drop files"));
    for (const QString& file : m_tree->droppedFiles())
        dropFile(file, m_tree->dropTarget());
    QTreeWidgetItem* root = rootEntry(m_root2d);
    Trace::out("%s\n", ss(root->text(0)).c_str());
    for (int k = 0; k < root->childCount(); ++k) {
        QTreeWidgetItem* child = root->child(k);
        Trace::out("child:%s\n", ss(child->text(0)).c_str());
        auto* g = dynamic_cast<Item_2d*>(itemOf(child));
        if (g && g->nodetype == kNodeGroup && child->childCount() == 0) {
            select(child);
            deleteEntry(false);
            m_tree->clearSelection();
            break;
        }
    }
}

void TreeViewController::OrientationChange() {
    const int32_t orientation = MainDataHolder::instance()->orientation;
    Trace::out("OrientationChange\n");
    Trace::out("cur_orientation:%d\n", orientation);
    m_tree->clearSelection();
    for (const auto& [entry, item] : itemMap)
        if (auto* i = dynamic_cast<Item_2d*>(item))
            if (i->isfullscreen)
                setQuadVisible(i, i->islandscape == (orientation != 0));
    m_scene.redraw();
}

void TreeViewController::setup3dParam() {
    std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    select(rootEntry(m_root3d));
    ++m_opDepth; // part of the project's set-up, not an undoable step
    QTreeWidgetItem* entry = addEntry(-1);
    if (auto* item = dynamic_cast<Item_3d*>(itemOf(entry))) {
        item->mesh->visible = false;
        item->mesh->pickable = false;
        select(entry);
        onItemUpdateName(ProjectDocument::kGlobalParamsName);
        item->meshRole = kRoleGlobalParams;
        item->param = holder->globalParams;
        rebuildParamIndex(*item);
    }
    --m_opDepth;
    m_attr.buildBoard(m_root);
    refreshSelection();
}

void TreeViewController::setupForProjectType(int32_t type) {
    resetRoots();
    if (type & (kProject3d | kProjectP2a))
        setup3dParam();
    m_stateBytes = m_savedBytes = currentBytes();
}

ProjectTree TreeViewController::projectTree() const {
    ProjectTree tree;
    std::vector<ProjectTreeNode>* lists[3] = {&tree.items2d, &tree.itemsAr, &tree.items3d};
    const int order[3] = {m_root2d, m_rootAr, m_root3d};
    std::function<void(QTreeWidgetItem*, std::vector<ProjectTreeNode>&)> walk =
        [&](QTreeWidgetItem* parent, std::vector<ProjectTreeNode>& out) {
            for (int k = 0; k < parent->childCount(); ++k) {
                QTreeWidgetItem* c = parent->child(k);
                Item* item = itemOf(c);
                if (!item)
                    continue;
                ProjectTreeNode node{item, {}};
                walk(c, node.children);
                out.push_back(std::move(node));
            }
        };
    for (int r = 0; r < 3; ++r)
        if (QTreeWidgetItem* root = rootEntry(order[r]))
            walk(root, *lists[r]);
    return tree;
}

std::string TreeViewController::currentBytes() const {
    return ProjectDocument::fromScene(*MainDataHolder::instance(), projectTree()).toBytes();
}

void TreeViewController::buildEntries(const ProjectTree& tree) {
    const int order[3] = {m_root2d, m_rootAr, m_root3d};
    const std::vector<ProjectTreeNode>* lists[3] = {&tree.items2d, &tree.itemsAr, &tree.items3d};
    std::function<void(QTreeWidgetItem*, const ProjectTreeNode&, int)> add = [&](QTreeWidgetItem* parent,
                                                                                 const ProjectTreeNode& node, int at) {
        auto* entry = new QTreeWidgetItem(QStringList(qs(node.item->name)));
        if (at >= 0)
            parent->insertChild(at, entry);
        else
            parent->addChild(entry);
        itemMap[entry] = node.item;
        usedNames.insert(node.item->name);
        for (const ProjectTreeNode& c : node.children)
            add(entry, c, -1);
    };
    for (int r = 0; r < 3; ++r) {
        QTreeWidgetItem* root = rootEntry(order[r]);
        for (const ProjectTreeNode& node : *lists[r])
            add(root, node, std::max(0, root->childCount() - 1));
    }
    m_tree->expandAll();
}

void TreeViewController::clearCurrentProject() {
    Trace::out("clearCurrentProject begin\n");
    Trace::out("item size:%d\n", int(itemMap.size()));
    m_attr.showUI(nullptr);
    m_scene.clearSelection();
    removeProject();
    m_undo->clear();
    m_scene.redraw();
    Trace::out("clearCurrentProject end\n");
}

void TreeViewController::onOpenProject(const ProjectDocument& doc) {
    Trace::out("TreeViewController::onOpenProject\n");
    m_attr.showUI(nullptr);
    removeProject();
    projectName = doc.projectname;
    fillFrom(doc);
    m_tree->clearSelection();
    m_scene.clearSelection();
    refreshSelection();
    m_undo->clear();
    setClean();
}

void TreeViewController::restoreState(const std::string& bytes, const std::string& selected) {
    ProjectDocument doc;
    if (!ProjectDocument::fromBytes(bytes, MainDataHolder::instance()->projectName, doc))
        return;
    m_restoring = true;
    m_attr.showUI(nullptr);
    m_scene.clearSelection();
    removeProject();
    fillFrom(doc);
    m_stateBytes = currentBytes();
    if (!selected.empty())
        if (QTreeWidgetItem* e = findItemByName(selected))
            select(e);
    refreshSelection();
    m_restoring = false;
    emit titleChanged();
}

void TreeViewController::recordStep(const QString& text, int mergeId, const std::string& mergeKey) {
    if (m_restoring || m_opDepth > 0)
        return;
    const std::string now = currentBytes();
    if (now == m_stateBytes)
        return;
    const bool wasDirty = isDirty();
    m_undo->push(new ProjectUndoCommand(this, text, m_stateBytes, now, selectedName(), mergeId, mergeKey));
    m_stateBytes = now;
    if (wasDirty != isDirty())
        emit titleChanged();
}

void TreeViewController::setClean() {
    m_stateBytes = m_savedBytes = currentBytes();
    emit titleChanged();
}

bool TreeViewController::onSaveProject() {
    Trace::out("TreeViewController::onSaveProject\n");
    std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    const std::shared_ptr<StatusBarController> status = StatusBarController::instance();
    status->setProgress(0);
    const ProjectDocument doc = ProjectDocument::fromScene(*holder, projectTree());
    const std::string bytes = doc.toBytes();
    Trace::out("json:\n%s\n", bytes.c_str());
    if (!doc.save(ProjectDocument::projectFilePath(m_root, holder->projectName))) {
        status->showMessage(ss(tr("Project Failed")), 5000);
        status->setProgress(0);
        emit statusMessage(tr("Project Failed"));
        return false;
    }
    status->setProgress(100);
    Trace::out("project saved\n");
    status->showMessage(ss(tr("Project Saved")), 5000);
    status->setProgress(0);
    m_stateBytes = m_savedBytes = bytes;
    emit titleChanged();
    return true;
}

void TreeViewController::onSaveAsProject() {
    Trace::out("TreeViewController::onSaveAsProject\n");
    bool ok = false;
    const QString qname = QInputDialog::getText(m_tree->window(), QStringLiteral("LumoEditor"),
                                                tr("Please enter new project name for save as"), QLineEdit::Normal,
                                                QString(), &ok);
    const std::string name = ss(qname);
    if (!ok || name.empty())
        return;
    std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    if (fileExists(pathJoin(m_root, "Projects/" + name))) {
        Trace::out("project already exist!");
        QMessageBox::warning(m_tree->window(), tr("Warning!"),
                             tr("Project '%1' already exist! Please try again.").arg(qname));
        return;
    }
    if (!createProjectFolders(*holder, name)) {
        Trace::out("new project creat failed!\n");
        return;
    }
    projectName = name;
    onSaveProject();
}

bool TreeViewController::maybeSave(QWidget* parent) {
    if (!isDirty())
        return true;
    QMessageBox box(QMessageBox::Question, QStringLiteral("LumoEditor"),
                    tr("The project has unsaved changes. Save them?"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
    box.setObjectName(QStringLiteral("p_box_unsaved"));
    box.setDefaultButton(QMessageBox::Save);
    const int answer = box.exec();
    if (answer == QMessageBox::Save)
        return onSaveProject();
    return answer == QMessageBox::Discard;
}

void TreeViewController::buildEditMenu(QMenuBar* bar, QAction* before) {
    auto* menu = new QMenu(bar);
    menu->setObjectName(QStringLiteral("menuEdit"));
    m_editMenu = menu;
    // Plain actions following the stack (rather than the stack's own), so
    // that their words follow the language.
    QAction* undo = new QAction(menu);
    undo->setObjectName(QStringLiteral("actionUndo"));
    undo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    undo->setEnabled(m_undo->canUndo());
    connect(undo, &QAction::triggered, m_undo, &QUndoStack::undo);
    connect(m_undo, &QUndoStack::canUndoChanged, undo, &QAction::setEnabled);
    connect(m_undo, &QUndoStack::undoTextChanged, this, &TreeViewController::retranslate);
    m_undoAction = undo;
    QAction* redo = new QAction(menu);
    redo->setObjectName(QStringLiteral("actionRedo"));
    redo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    redo->setEnabled(m_undo->canRedo());
    connect(redo, &QAction::triggered, m_undo, &QUndoStack::redo);
    connect(m_undo, &QUndoStack::canRedoChanged, redo, &QAction::setEnabled);
    connect(m_undo, &QUndoStack::redoTextChanged, this, &TreeViewController::retranslate);
    m_redoAction = redo;
    menu->addAction(undo);
    menu->addAction(redo);
    menu->addSeparator();
    QAction* history = menu->addAction(QString());
    history->setObjectName(QStringLiteral("actionUndoHistory"));
    m_historyAction = history;
    retranslate();
    connect(history, &QAction::triggered, this, [this, bar] {
        auto* view = new QUndoView(m_undo, bar->window());
        view->setObjectName(QStringLiteral("p_undo_history"));
        view->setWindowFlags(Qt::Tool);
        view->setWindowTitle(tr("Undo History"));
        view->setEmptyLabel(tr("<project opened>"));
        view->setAttribute(Qt::WA_DeleteOnClose);
        view->resize(260, 400);
        view->show();
    });
    bar->insertMenu(before, menu);
}

void TreeViewController::retranslate() {
    // "Undo" alone, or "Undo <step>" naming the step.
    auto prefixed = [](const QString& word, const QString& step) {
        return step.isEmpty() ? word : word + QLatin1Char(' ') + step;
    };
    if (m_editMenu) {
        m_editMenu->setTitle(tr("Edit"));
        m_undoAction->setText(prefixed(tr("Undo"), m_undo->undoText()));
        m_redoAction->setText(prefixed(tr("Redo"), m_undo->redoText()));
        m_historyAction->setText(tr("Undo History"));
    }
    const std::pair<int, QString> roots[] = {{m_root2d, tr("2D")}, {m_rootAr, tr("AR Mesh")}, {m_root3d, tr("3D")}};
    for (const auto& [index, text] : roots)
        if (QTreeWidgetItem* root = rootEntry(index)) {
            root->setText(0, text);
            if (!root->toolTip(0).isEmpty())
                root->setToolTip(0, tr("Forbidden"));
        }
}

#include "app/SceneContorller.h"

#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/Item_ar.h"
#include "scenegraph/SceneRegistry.h"

#include <QWidget>

ObjMesh* itemMesh(Item* item) {
    if (auto* i = dynamic_cast<Item_2d*>(item))
        return i->mesh.get();
    if (auto* i = dynamic_cast<Item_ar*>(item))
        return i->mesh.get();
    if (auto* i = dynamic_cast<Item_3d*>(item))
        return i->mesh.get();
    return nullptr;
}

void SceneContorller::redraw() {
    for (QWidget* v : m_views)
        if (v)
            v->update();
}

bool SceneContorller::attachItem(Item* item) {
    if (!item)
        return true;
    Trace::out("SceneContorller::attachItem type:%d name:%s\n", item->type, item->name.c_str());
    if (ObjMesh* mesh = itemMesh(item))
        SceneRegistry::instance().attachToRoot(mesh);
    redraw();
    return true;
}

bool SceneContorller::attachItemToParent(Item* parent, Item* child) {
    Trace::out("SceneContorller::attachItemToParent\n");
    ObjMesh* p = itemMesh(parent);
    ObjMesh* c = itemMesh(child);
    if (p && c)
        SceneRegistry::instance().attachToParent(p, c);
    redraw();
    return true;
}

bool SceneContorller::detachItem(Item* item) {
    SceneRegistry::instance().clearSelection();
    if (!item) {
        Trace::out("SceneContorller::detachItem nullptr\n");
        return false;
    }
    Trace::out("SceneContorller::detachItem type:%d name:%s\n", item->type, item->name.c_str());
    ObjMesh* mesh = itemMesh(item);
    const bool ok = mesh && SceneRegistry::instance().detachMesh(mesh);
    Trace::out(ok ? "SceneContorller::detachItem OK\n" : "SceneContorller::detachItem faild\n");
    redraw();
    return ok;
}

void SceneContorller::clearSelection() {
    Trace::out("SceneContorller::clearSelection\n");
    SceneRegistry::instance().clearSelection();
    redraw();
}

void SceneContorller::selectItem(Item* item) {
    if (ObjMesh* mesh = itemMesh(item))
        SceneRegistry::instance().selectMesh(mesh, true);
    redraw();
}

bool SceneContorller::onItemChangeTexture(const std::string& path) {
    Trace::out("TreeViewController::onItemChangeTexture: %s\n", path.c_str());
    SceneRegistry& reg = SceneRegistry::instance();
    if (reg.m_selectedSet.empty()) {
        Trace::out("BaseMeshViewer::m_selectedSet.empty\n");
        return false;
    }
    ObjMesh* mesh = reg.m_selectedSet.begin()->second;
    const bool ok = mesh && mesh->loadTexture(path);
    Trace::out(ok ? "object:%s change texture:%s sucess\n" : "object:%s change texture:%s faild\n",
               mesh ? mesh->name.c_str() : "", path.c_str());
    redraw();
    return ok;
}

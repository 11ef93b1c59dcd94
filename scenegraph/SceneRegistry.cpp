#include "scenegraph/SceneRegistry.h"

#include "base/Trace.h"
#include "geometry/ObjMesh.h"

namespace {

// The first child of node whose first mesh is mesh, or null.
GLNode* childShowing(GLNode& node, const ObjMesh* mesh) {
    for (GLNode& c : node.children())
        if (c.meshCount() > 0 && c.mesh(0) == mesh)
            return &c;
    return nullptr;
}

bool hasChild(const GLNode& parent, const GLNode* child) {
    for (const GLNode& c : parent.children())
        if (&c == child)
            return true;
    return false;
}

} // namespace

SceneRegistry& SceneRegistry::instance() {
    static SceneRegistry registry;
    return registry;
}

GLNode* SceneRegistry::attachToRoot(ObjMesh* mesh) {
    if (!mesh)
        return nullptr;
    GLNode* child = sceneRoot.addChild(GLNode());
    child->addMesh(mesh);
    child->name = mesh->name;
    mesh->node = child;
    m_share_nodes.insert({child, mesh});
    return child;
}

GLNode* SceneRegistry::attachToParent(ObjMesh* parentMesh, ObjMesh* mesh) {
    if (!mesh)
        return nullptr;
    for (const NodeMeshPair& pair : m_share_nodes) {
        if (pair.second != parentMesh)
            continue;
        GLNode* child = pair.first->addChild(GLNode());
        child->addMesh(mesh);
        child->name = mesh->name;
        mesh->node = child;
        return child;
    }
    return nullptr;
}

// Before node and its descendants die: meshes shown there lose their node
// pointer, selection pairs naming those nodes are dropped (their meshes
// un-highlighted).
void SceneRegistry::forgetSubtree(GLNode& node) {
    for (int i = 0; i < node.meshCount(); ++i) {
        if (auto* mesh = dynamic_cast<ObjMesh*>(node.mesh(i)); mesh && mesh->node == &node)
            mesh->node = nullptr;
    }
    for (auto it = m_selectedSet.begin(); it != m_selectedSet.end();) {
        if (it->first == &node) {
            it->second->highlighted = false;
            it = m_selectedSet.erase(it);
        } else {
            ++it;
        }
    }
    for (GLNode& c : node.children())
        forgetSubtree(c);
}

void SceneRegistry::removeNode(GLNode& parent, GLNode* child) {
    Trace::out("detach node begin");
    forgetSubtree(*child);
    parent.removeChild(child);
    Trace::out("detach node end");
}

bool SceneRegistry::detachMesh(ObjMesh* mesh) {
    bool removed = false;
    for (auto it = m_share_nodes.begin(); it != m_share_nodes.end();) {
        GLNode* node = it->first;
        if (it->second != mesh) {
            if (GLNode* child = childShowing(*node, mesh)) {
                removeNode(*node, child);
                removed = true;
            }
            ++it;
            continue;
        }
        GLNode* parent = node->parent();
        if (parent && hasChild(*parent, node)) {
            removeNode(*parent, node);
            m_share_nodes.erase(it);
            return true;
        }
        if (removed) {
            m_share_nodes.erase(it);
            return true;
        }
        ++it;
    }
    return removed;
}

void SceneRegistry::detachAll() {
    Trace::out(" BaseMeshViewer::detachAll() begin");
    for (GLNode& c : sceneRoot.children())
        forgetSubtree(c);
    sceneRoot.clear();
    Trace::out(" BaseMeshViewer::m_share_nodes detachAll");
    m_share_nodes.clear();
    Trace::out(" BaseMeshViewer::m_share_nodes_set detachAll()");
}

void SceneRegistry::clearSelection() {
    for (const NodeMeshPair& pair : m_selectedSet)
        pair.first->clearHighlight();
    m_selectedSet.clear();
}

void SceneRegistry::selectMesh(ObjMesh* mesh, bool exclusive) {
    Trace::out("BaseMeshViewer::selectMesh");
    if (exclusive)
        clearSelection();
    Trace::out("node set:%d\n", static_cast<int>(m_share_nodes.size()));
    if (!mesh)
        return;
    for (const NodeMeshPair& pair : m_share_nodes) {
        if (pair.second == mesh) {
            mesh->highlighted = true;
            m_selectedSet.insert(pair);
        }
        for (GLNode& c : pair.first->children()) {
            if (c.meshCount() > 0 && c.mesh(0) == mesh) {
                mesh->highlighted = true;
                m_selectedSet.insert({&c, mesh});
            }
        }
    }
}

void SceneRegistry::sortShareNodes() {
    if (!sortRequested)
        return;
    sceneRoot.sortChildrenByDepth();
    sortRequested = false;
    Trace::out("BaseMeshViewer::sortShareNodes\n");
}

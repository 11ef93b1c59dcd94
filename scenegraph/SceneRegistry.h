#pragma once
// The one scene shared by every 3D viewport: the root node, the registry of
// meshes attached to it, and the current selection. Meshes are owned by the
// scene items, never by the registry: detaching or clearing never deletes a
// mesh. GUI thread only.
//
// Every pair in m_share_nodes and m_selectedSet points at a node that lives
// in the tree (children lists keep addresses stable). When the registry
// destroys nodes (detachMesh, detachAll) it also drops the selection pairs
// of the destroyed nodes (clearing their meshes' highlight) and resets the
// node back pointer of every mesh that was shown by them, so no pointer to
// a dead node survives.

#include "scenegraph/GLNode.h"

#include <set>
#include <utility>

class ObjMesh;

class SceneRegistry {
public:
    using NodeMeshPair = std::pair<GLNode*, ObjMesh*>;

    // The process-wide registry, created on first use.
    static SceneRegistry& instance();

    GLNode sceneRoot;                         // root of the scene
    std::set<NodeMeshPair> m_share_nodes;     // one pair per mesh attached with attachToRoot
    std::set<NodeMeshPair> m_selectedSet;     // selected meshes with the nodes showing them
    bool sortRequested = false;               // sortShareNodes reorders the root's children

    // Adds a node for mesh under sceneRoot (mesh drawn there, node named
    // after the mesh), sets mesh->node, registers the pair. Returns the node.
    GLNode* attachToRoot(ObjMesh* mesh);
    // Adds a node for mesh under the node of the registered parentMesh and
    // sets mesh->node (the pair is not registered). Nothing (null result,
    // mesh->node unchanged) when parentMesh was never attached to the root.
    GLNode* attachToParent(ObjMesh* parentMesh, ObjMesh* mesh);
    // Removes the node showing mesh: its own registered node, or a child
    // node under another registered node whose first mesh is mesh. True when
    // anything was removed; false, printing nothing, when mesh is not in
    // the scene.
    bool detachMesh(ObjMesh* mesh);
    // Clears sceneRoot and m_share_nodes.
    void detachAll();
    // Un-highlights and forgets every selected pair.
    void clearSelection();
    // Highlights mesh and selects it with every node showing it (its
    // registered node and child nodes whose first mesh it is); exclusive
    // clears the selection first.
    void selectMesh(ObjMesh* mesh, bool exclusive);
    // When sortRequested: sorts the root's children by depth and clears it.
    void sortShareNodes();

private:
    SceneRegistry() = default;
    void forgetSubtree(GLNode& node);
    void removeNode(GLNode& parent, GLNode* child);
};

#pragma once
// The scene side of the tree's operations: attaches and detaches the items'
// meshes in the shared scene graph, keeps the viewer selection, and repaints
// the three mesh views after every change.

#include <string>
#include <vector>

class Item;
class QWidget;

class SceneContorller {
public:
    // The views repainted after a change (not owned; may be empty).
    void setViews(std::vector<QWidget*> views) { m_views = std::move(views); }

    bool attachItem(Item* item);
    bool attachItemToParent(Item* parent, Item* child);
    bool detachItem(Item* item);
    void clearSelection();
    // Selects the item's mesh in the views (exclusive); nothing without a mesh.
    void selectItem(Item* item);
    // Applies the image to the first selected mesh; false when nothing is
    // selected or the image cannot be loaded.
    bool onItemChangeTexture(const std::string& path);
    void redraw();

private:
    std::vector<QWidget*> m_views;
};

// The mesh an item shows (its quad, face mesh or OBJ part), or null.
class ObjMesh;
ObjMesh* itemMesh(Item* item);

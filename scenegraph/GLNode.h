#pragma once
// A node of the scene graph shared by the 3D viewports: a local transform
// (position, scale, rotation composed into one column-major matrix), the
// renderables drawn at the node (not owned), and child nodes held by value.
//
// Children live in a std::list, so the address of a child stays valid while
// siblings are added, removed or the list is reordered; the scene registry
// keeps pointers to them. A child dies with its parent's list entry.

#include "geometry/Math3d.h"
#include "geometry/Renderable.h"

#include <cstdint>
#include <list>
#include <utility>
#include <vector>

class GLNode : public Renderable {
public:
    static constexpr uint32_t kTypeId = 0x10000006u;
    // Colour id of the first mesh in a pick pass (see renderPick).
    static constexpr int32_t kFirstPickId = 10000000;

    // Empty node with the identity transform, no parent.
    GLNode();
    // Copies flags, name, mesh pointers, transform and, recursively, the
    // children (each copied child's parent is the copy that holds it). The
    // copy itself has no parent.
    GLNode(const GLNode& other);
    GLNode& operator=(const GLNode&) = delete;
    ~GLNode() override;

    // Draws the meshes under (current matrix x local), then each child
    // under (current x local x child local). Nothing when not visible.
    void render(int32_t mode) override;
    // Same traversal as render, calling renderFlat(colour) on every mesh.
    void renderFlat(const math3d::Vec3& colour) override;
    uint32_t typeId() const override { return kTypeId; }
    // Detaches everything: children are destroyed (with their subtrees),
    // meshes are forgotten (not deleted).
    void clear() override;

    // Appends a copy of node as the last child and returns the stored copy,
    // which is the child from then on (its parent is this node).
    GLNode* addChild(const GLNode& node);
    // Destroys child index with its subtree; false (nothing changes) when
    // index is outside 0 .. childCount() - 1.
    bool removeChild(int index);
    // Destroys the given child; false when it is not a child of this node.
    bool removeChild(const GLNode* child);
    // Child index, or null with "%d out of meshes index when get\n".
    GLNode* child(int index);
    int childCount() const { return static_cast<int>(m_children.size()); }
    std::list<GLNode>& children() { return m_children; }
    const std::list<GLNode>& children() const { return m_children; }

    // Appends mesh (not owned, may not be null) to the meshes drawn here.
    void addMesh(Renderable* mesh);
    // Mesh index, or null with "%d out of meshes index when get\n".
    Renderable* mesh(int index) const;
    int meshCount() const { return static_cast<int>(m_meshes.size()); }
    // Sets highlighted = false on every mesh of this node.
    void clearHighlight();

    GLNode* parent() const { return m_parent; }

    // Store one part of the transform and recompose local.
    void setPosition(const math3d::Vec3& position);
    void setScale(const math3d::Vec3& scale);
    void setRotation(const math3d::Mat3& rotation);
    // Stores local and decomposes it: position = column 3, scale = lengths
    // of columns 0..2, rotation = the upper-left 3 x 3 as it stands.
    void setLocalMatrix(const math3d::Mat4& local);
    const math3d::Vec3& position() const { return m_position; }
    const math3d::Vec3& scale() const { return m_scale; }
    const math3d::Mat3& rotation() const { return m_rotation; }
    const math3d::Mat4& localMatrix() const { return m_local; }
    // parent's worldMatrix() x local; local for a node without parent.
    math3d::Mat4 worldMatrix() const;

    // Draws every mesh of the subtree in its identifying colour: the k-th
    // mesh in depth-first order (a node's own meshes first, then its
    // children in list order) gets colour id + k, as red = (id >> 16) & 255,
    // green = (id >> 8) & 255, blue = id & 255 (each / 255). id is advanced
    // past the subtree's meshes.
    void renderPick(int32_t& id);
    // The mesh drawn with pick colour firstId + index, and its node; (null,
    // null) when there is none. A negative index prints
    // "%d out of meshes index when get\n".
    std::pair<Renderable*, GLNode*> findMeshByIndex(int index);
    // Number of meshes of this node and all its descendants.
    int subtreeMeshCount() const;

    // Reorders the children by ascending position().z; equal depths keep
    // their order. Child addresses stay valid.
    void sortChildrenByDepth();

private:
    void recompose();
    template <class DrawMesh>
    void drawSubtree(DrawMesh& draw);

    std::list<GLNode> m_children;
    std::vector<Renderable*> m_meshes; // not owned
    math3d::Mat4 m_local;
    GLNode* m_parent = nullptr;
    math3d::Vec3 m_position{0, 0, 0};
    math3d::Vec3 m_scale{1, 1, 1};
    math3d::Mat3 m_rotation;
};

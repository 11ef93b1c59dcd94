#include "scenegraph/GLNode.h"

#include "base/Trace.h"

#include <GL/gl.h>

#include <cassert>
#include <iterator>

GLNode::GLNode() { name = "GLNode"; }

GLNode::GLNode(const GLNode& other)
    : Renderable(other),
      m_children(other.m_children),
      m_meshes(other.m_meshes),
      m_local(other.m_local),
      m_position(other.m_position),
      m_scale(other.m_scale),
      m_rotation(other.m_rotation) {
    for (GLNode& c : m_children)
        c.m_parent = this;
}

GLNode::~GLNode() = default;

// Calls draw(mesh) for every mesh of the subtree under (current matrix x
// local) for this node's meshes and (current x local x child local ...) for
// the children's, skipping invisible nodes.
template <class DrawMesh>
void GLNode::drawSubtree(DrawMesh& draw) {
    if (!visible)
        return;
    glPushMatrix();
    glMultMatrixf(m_local.data());
    for (Renderable* r : m_meshes)
        draw(*r);
    glPopMatrix();
    for (GLNode& c : m_children) {
        glPushMatrix();
        glMultMatrixf(m_local.data());
        c.drawSubtree(draw);
        glPopMatrix();
    }
}

void GLNode::render(int32_t mode) {
    auto draw = [mode](Renderable& r) { r.render(mode); };
    drawSubtree(draw);
}

void GLNode::renderFlat(const math3d::Vec3& colour) {
    auto draw = [&colour](Renderable& r) { r.renderFlat(colour); };
    drawSubtree(draw);
}

void GLNode::renderPick(int32_t& id) {
    glPushMatrix();
    glMultMatrixf(m_local.data());
    for (Renderable* r : m_meshes) {
        const math3d::Vec3 colour{((id >> 16) & 255) / 255.0f, ((id >> 8) & 255) / 255.0f, (id & 255) / 255.0f};
        r->renderFlat(colour);
        ++id;
    }
    glPopMatrix();
    for (GLNode& c : m_children) {
        glPushMatrix();
        glMultMatrixf(m_local.data());
        c.renderPick(id);
        glPopMatrix();
    }
}

void GLNode::clear() {
    for (GLNode& c : m_children)
        c.m_parent = nullptr;
    m_children.clear();
    m_meshes.clear();
}

GLNode* GLNode::addChild(const GLNode& node) {
    m_children.push_back(node);
    GLNode& stored = m_children.back();
    stored.m_parent = this;
    return &stored;
}

bool GLNode::removeChild(int index) {
    if (index < 0 || index >= childCount())
        return false;
    m_children.erase(std::next(m_children.begin(), index));
    return true;
}

bool GLNode::removeChild(const GLNode* child) {
    for (auto it = m_children.begin(); it != m_children.end(); ++it) {
        if (&*it == child) {
            m_children.erase(it);
            return true;
        }
    }
    return false;
}

GLNode* GLNode::child(int index) {
    if (index < 0 || index >= childCount()) {
        Trace::out("%d out of meshes index when get\n", index);
        return nullptr;
    }
    return &*std::next(m_children.begin(), index);
}

void GLNode::addMesh(Renderable* mesh) {
    assert(mesh && "GLNode::addMesh needs a mesh");
    if (mesh)
        m_meshes.push_back(mesh);
}

Renderable* GLNode::mesh(int index) const {
    if (index < 0 || index >= meshCount()) {
        Trace::out("%d out of meshes index when get\n", index);
        return nullptr;
    }
    return m_meshes[index];
}

void GLNode::clearHighlight() {
    for (Renderable* r : m_meshes)
        r->highlighted = false;
}

void GLNode::recompose() { m_local = math3d::compose(m_position, m_scale, m_rotation); }

void GLNode::setPosition(const math3d::Vec3& position) {
    m_position = position;
    recompose();
}

void GLNode::setScale(const math3d::Vec3& scale) {
    m_scale = scale;
    recompose();
}

void GLNode::setRotation(const math3d::Mat3& rotation) {
    m_rotation = rotation;
    recompose();
}

void GLNode::setLocalMatrix(const math3d::Mat4& local) {
    m_local = local;
    m_position = {local(0, 3), local(1, 3), local(2, 3)};
    for (int c = 0; c < 3; ++c) {
        m_scale[c] = math3d::length({local(0, c), local(1, c), local(2, c)});
        for (int r = 0; r < 3; ++r)
            m_rotation(r, c) = local(r, c);
    }
}

math3d::Mat4 GLNode::worldMatrix() const { return m_parent ? m_parent->worldMatrix() * m_local : m_local; }

std::pair<Renderable*, GLNode*> GLNode::findMeshByIndex(int index) {
    if (index < meshCount()) {
        if (index < 0) {
            Trace::out("%d out of meshes index when get\n", index);
            return {nullptr, nullptr};
        }
        return {m_meshes[index], this};
    }
    index -= meshCount();
    for (GLNode& c : m_children) {
        const auto found = c.findMeshByIndex(index);
        if (found.first)
            return found;
        index -= c.subtreeMeshCount();
    }
    return {nullptr, nullptr};
}

int GLNode::subtreeMeshCount() const {
    int count = meshCount();
    for (const GLNode& c : m_children)
        count += c.subtreeMeshCount();
    return count;
}

void GLNode::sortChildrenByDepth() {
    m_children.sort([](const GLNode& a, const GLNode& b) { return a.m_position.z < b.m_position.z; });
}

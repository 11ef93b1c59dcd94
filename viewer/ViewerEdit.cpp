// Edit mode of BaseMeshViewer: which mesh is edited, vertex picking with the
// right button, the edit keys, and their undo steps.

#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/Item_ar.h"
#include "scene/MainDataHolder.h"
#include "scenegraph/SceneRegistry.h"
#include "viewer/BaseMeshViewer.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QUndoCommand>
#include <QUndoStack>

#include <GL/gl.h>

#include <algorithm>
#include <exception>
#include <new>
#include <set>

using math3d::Vec3;

namespace {

constexpr size_t kHistorySteps = 256;
// Vertex pick ids must stay below the first mesh id.
constexpr size_t kMaxPickVertices = BaseMeshViewer::kFirstMeshId - BaseMeshViewer::kFirstVertexId;

// The node that shows mesh anywhere in the scene, or null when the mesh is no
// longer in it (its item may be gone).
GLNode* nodeShowing(GLNode& node, const ObjMesh* mesh) {
    for (int i = 0; i < node.meshCount(); ++i)
        if (node.mesh(i) == mesh)
            return &node;
    for (GLNode& c : node.children())
        if (GLNode* n = nodeShowing(c, mesh))
            return n;
    return nullptr;
}

GLNode* nodeShowing(const ObjMesh* mesh) { return mesh ? nodeShowing(SceneRegistry::instance().sceneRoot, mesh) : nullptr; }

// Meshes of 2D stickers and AR masks are not edited; 3D items, their parts
// and meshes that belong to no item are.
bool editableMesh(const ObjMesh* mesh) {
    if (!mesh || mesh->vertices.empty() || !mesh->pickable)
        return false;
    std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    for (const std::unique_ptr<Item>& item : holder->m_lst_items) {
        if (auto* i3 = dynamic_cast<Item_3d*>(item.get()))
            if (i3->mesh.get() == mesh)
                return true;
        if (auto* i2 = dynamic_cast<Item_2d*>(item.get()))
            if (i2->mesh.get() == mesh)
                return false;
        if (auto* ia = dynamic_cast<Item_ar*>(item.get()))
            if (ia->mesh.get() == mesh)
                return false;
    }
    return true;
}

void restoreMesh(ObjMesh& target, const ObjMesh& snapshot) {
    GLNode* node = target.node; // copyFrom forgets the node
    target.copyFrom(snapshot);
    target.node = node;
    target.dirty = true;
}

} // namespace

// One edit of the edit mesh: the mesh (with its selection, hidden flags and
// half-edge copy) before and after, and the view's picked vertices.
class MeshEditCommand : public QUndoCommand {
public:
    MeshEditCommand(BaseMeshViewer* view, ObjMesh* mesh, std::unique_ptr<ObjMesh> before,
                    std::vector<int32_t> pickedBefore, const QString& text)
        : QUndoCommand(text), m_view(view), m_mesh(mesh), m_before(std::move(before)),
          m_pickedBefore(std::move(pickedBefore)) {}

    void takeAfter(std::unique_ptr<ObjMesh> after, std::vector<int32_t> pickedAfter) {
        m_after = std::move(after);
        m_pickedAfter = std::move(pickedAfter);
    }

    void undo() override { apply(*m_before, m_pickedBefore); }
    void redo() override {
        if (m_first) { // the edit itself already happened
            m_first = false;
            return;
        }
        apply(*m_after, m_pickedAfter);
    }

private:
    void apply(const ObjMesh& state, const std::vector<int32_t>& picked) {
        // A mesh that left the scene may be gone: the step then does nothing
        // and is dropped from the stack.
        if (!nodeShowing(m_mesh)) {
            setObsolete(true);
            return;
        }
        try {
            restoreMesh(*m_mesh, state);
        } catch (const std::exception& e) {
            Trace::err("undo of a mesh edit failed: %s\n", e.what());
            return;
        }
        if (m_view && m_view->m_editMesh == m_mesh) {
            m_view->m_pickedVertices = picked;
            m_view->updateEditCentre();
        }
        BaseMeshViewer::sceneChanged();
        if (m_view)
            m_view->changed();
    }

    QPointer<BaseMeshViewer> m_view; // the stack may outlive the view
    ObjMesh* m_mesh;
    std::unique_ptr<ObjMesh> m_before, m_after;
    std::vector<int32_t> m_pickedBefore, m_pickedAfter;
    bool m_first = true;
};

bool BaseMeshViewer::editMeshAlive() const { return nodeShowing(m_editMesh) != nullptr; }

math3d::Mat4 BaseMeshViewer::editMeshMatrix() const {
    const GLNode* node = nodeShowing(m_editMesh);
    return node ? node->worldMatrix() : math3d::Mat4::identity();
}

void BaseMeshViewer::setEditMesh(ObjMesh* mesh) {
    m_editMesh = mesh;
    m_pickedVertices.clear();
    if (m_editMesh)
        updateEditCentre();
    changed();
}

void BaseMeshViewer::enterEditMode() {
    std::set<ObjMesh*> meshes;
    for (const auto& pair : SceneRegistry::instance().m_selectedSet)
        meshes.insert(pair.second);
    if (meshes.size() != 1 || !editableMesh(*meshes.begin())) {
        emit statusMessage(tr("Select a 3D mesh to edit"));
        return;
    }
    setEditMesh(*meshes.begin());
    if (m_mode != 0)
        toggleMode();
}

void BaseMeshViewer::leaveEditMode() {
    m_editMesh = nullptr;
    m_pickedVertices.clear();
    if (m_mode == 0)
        toggleMode();
}

void BaseMeshViewer::updateEditCentre() {
    if (!m_editMesh)
        return;
    const ObjMesh& m = *m_editMesh;
    const bool any = m.hasSelectedVertex();
    Vec3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    bool found = false;
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        if (any && !(i < m.vertexFlags.size() && m.vertexFlags[i]))
            continue;
        for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], m.vertices[i][k]);
            hi[k] = std::max(hi[k], m.vertices[i][k]);
        }
        found = true;
    }
    m_editCentre = found ? (lo + hi) * 0.5f : Vec3();
}

int32_t BaseMeshViewer::pickVertex(const QPoint& pos) {
    if (!m_editMesh)
        return -1;
    const uint32_t id = pickId(pos);
    Trace::out("sid:%d\n", int(id));
    int64_t v = int64_t(id) - int64_t(kFirstVertexId);
    if (v < 0 || v >= int64_t(m_editMesh->vertices.size()))
        v = -1;
    Trace::out("vid:%d\n", int(v));
    return int32_t(v);
}

void BaseMeshViewer::drawEditVertices(bool pickMode) {
    if (!m_editMesh)
        return;
    const ObjMesh& m = *m_editMesh;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushMatrix();
    glMultMatrixf(editMeshMatrix().data());
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    // A little in front of the surface the vertices lie on.
    glDepthRange(0.0, 0.99995);
    const size_t n = std::min(m.vertices.size(), kMaxPickVertices);
    if (pickMode) {
        glDisable(GL_DITHER);
        glDisable(GL_POINT_SMOOTH);
        glPointSize(20);
        glBegin(GL_POINTS);
        for (size_t i = 0; i < n; ++i) {
            const uint32_t id = kFirstVertexId + uint32_t(i);
            glColor3ub(GLubyte((id >> 16) & 255), GLubyte((id >> 8) & 255), GLubyte(id & 255));
            glVertex3f(m.vertices[i].x, m.vertices[i].y, m.vertices[i].z);
        }
        glEnd();
    } else {
        glPointSize(4);
        glBegin(GL_POINTS);
        for (size_t i = 0; i < n; ++i) {
            if (i < m.vertexFlags.size() && m.vertexFlags[i])
                continue;
            glColor3f(0.05f, 0.05f, 0.1f);
            glVertex3f(m.vertices[i].x, m.vertices[i].y, m.vertices[i].z);
        }
        glEnd();
        glPointSize(6);
        glBegin(GL_POINTS);
        glColor3f(1.0f, 0.55f, 0.0f);
        for (size_t i = 0; i < n && i < m.vertexFlags.size(); ++i)
            if (m.vertexFlags[i])
                glVertex3f(m.vertices[i].x, m.vertices[i].y, m.vertices[i].z);
        glEnd();
    }
    glPopMatrix();
    glPopAttrib();
}

template <class Op>
void BaseMeshViewer::editStep(const char* name, Op op) {
    if (!m_editMesh || !editMeshAlive())
        return;
    ObjMesh* mesh = m_editMesh;
    try {
        auto command = std::make_unique<MeshEditCommand>(this, mesh, std::make_unique<ObjMesh>(*mesh), m_pickedVertices,
                                                         QString::fromUtf8(name && *name ? name : "edit vertices"));
        op(*mesh);
        mesh->dirty = true;
        command->takeAfter(std::make_unique<ObjMesh>(*mesh), m_pickedVertices);
        m_undo->push(command.release());
    } catch (const std::bad_alloc&) {
        Trace::err("not enough memory to record the edit of %s\n", mesh->name.c_str());
    }
    if (name && *name) {
        m_editHistory.push_back(name);
        while (m_editHistory.size() > kHistorySteps)
            m_editHistory.pop_front();
    }
    updateEditCentre();
    sceneChanged();
    changed();
}

void BaseMeshViewer::editRelease(QMouseEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int32_t v = pickVertex(event->pos());
    if (v < 0)
        return;
    if (mods == Qt::ShiftModifier) {
        const auto it = std::find(m_pickedVertices.begin(), m_pickedVertices.end(), v);
        editStep("", [&](ObjMesh& m) {
            if (it != m_pickedVertices.end()) {
                m.selectVertex(v, 2);
                m_pickedVertices.erase(it);
            } else {
                m.selectVertex(v, 1);
                m_pickedVertices.push_back(v);
            }
        });
    } else if (mods == 0) {
        editStep("", [&](ObjMesh& m) {
            m.selectVertex(v, 0);
            m_pickedVertices.assign(1, v);
        });
    }
}

bool BaseMeshViewer::editKey(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int key = event->key();
    const bool ctrl = mods == Qt::ControlModifier, ctrlShift = mods == (Qt::ControlModifier | Qt::ShiftModifier);
    const bool alt = mods == Qt::AltModifier;
    if (!m_editMesh)
        return false;
    if (ctrl && key == Qt::Key_H) {
        editStep("hide selection", [](ObjMesh& m) { m.hideSelectedFaces(); });
    } else if (ctrlShift && key == Qt::Key_H) {
        editStep("un-hide all", [](ObjMesh& m) { m.unhideAllFaces(); });
    } else if (alt && key == Qt::Key_I) {
        editStep("select invserse", [](ObjMesh& m) { m.invertSelection(); });
    } else if (alt && key == Qt::Key_L) {
        if (m_pickedVertices.empty())
            return true;
        const int32_t last = m_pickedVertices.back();
        editStep("select linked", [last](ObjMesh& m) { m.selectLinked(last, 1); });
    } else if (alt && key == Qt::Key_P) {
        if (m_pickedVertices.size() < 2)
            return true;
        const int32_t a = m_pickedVertices[m_pickedVertices.size() - 2], b = m_pickedVertices.back();
        editStep("select shortest path", [a, b](ObjMesh& m) { m.selectShortestPath(a, b); });
    } else if (mods == 0 && key == Qt::Key_M) {
        editStep("Laplacian smooth, 10 iterations", [](ObjMesh& m) { m.smoothSelected(10); });
    } else if (key == Qt::Key_X) {
        editStep("", [this](ObjMesh& m) {
            m.deleteSelected();
            m_pickedVertices.clear(); // the vertices are numbered anew
        });
    } else if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && (key == Qt::Key_Plus || key == Qt::Key_Equal)) {
        editStep("", [](ObjMesh& m) { m.growSelection(); });
    } else if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key == Qt::Key_Minus) {
        editStep("", [](ObjMesh& m) { m.shrinkSelection(); });
    } else {
        return false;
    }
    return true;
}

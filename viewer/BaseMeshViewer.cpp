#include "viewer/BaseMeshViewer.h"

#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "images/ResourceManager.h"
#include "scenegraph/SceneRegistry.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>
#include <QTimerEvent>
#include <QUndoStack>
#include <QWheelEvent>

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using math3d::Mat4;
using math3d::Vec3;

namespace {

bool s_moving = false;
uint64_t s_generation = 1;

constexpr int kTickMs = 20;
constexpr uint32_t kLastMeshId = 11999999;

// FNV-1a over raw bytes.
struct Hasher {
    uint64_t h = 1469598103934665603ull;
    void bytes(const void* p, size_t n) {
        const auto* c = static_cast<const unsigned char*>(p);
        for (size_t i = 0; i < n; ++i)
            h = (h ^ c[i]) * 1099511628211ull;
    }
    template <class T>
    void value(const T& v) {
        bytes(&v, sizeof v);
    }
};

void hashNode(Hasher& hs, const GLNode& node) {
    hs.value(&node);
    hs.bytes(node.localMatrix().data(), sizeof(float) * 16);
    hs.value(node.visible);
    for (int i = 0; i < node.meshCount(); ++i) {
        Renderable* r = node.mesh(i);
        hs.value(r);
        hs.value(r->visible);
        hs.value(r->highlighted);
        if (auto* m = dynamic_cast<ObjMesh*>(r)) {
            hs.value(m->vertices.size());
            hs.value(m->vertices.data());
            hs.value(m->faces.size());
            hs.value(m->faces.data());
            hs.value(m->dirty);
            hs.value(m->pickable);
            hs.value(m->materials.size());
        }
    }
    for (const GLNode& c : node.children())
        hashNode(hs, c);
}

} // namespace

BaseMeshViewer::BaseMeshViewer(QWidget* parent) : QOpenGLWidget(parent) {
    fillHandles();
    m_ownUndo = std::make_unique<QUndoStack>();
    m_ownUndo->setUndoLimit(256);
    m_undo = m_ownUndo.get();
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    m_timer = startTimer(kTickMs);
}

BaseMeshViewer::~BaseMeshViewer() {
    // The undo commands of the own stack and the pick framebuffer belong to
    // this view's context and meshes; drop them while both are known.
    if (m_undo == m_ownUndo.get())
        m_ownUndo->clear();
    if (context()) {
        makeCurrent();
        m_pickFbo.reset();
        doneCurrent();
    }
}

void BaseMeshViewer::sceneChanged() { ++s_generation; }

bool BaseMeshViewer::moving() { return s_moving; }

void BaseMeshViewer::setMovingFlag(bool on) { s_moving = on; }

void BaseMeshViewer::changed() {
    m_pickDirty = true;
    m_needsPaint = true;
    update();
}

void BaseMeshViewer::setUndoStack(QUndoStack* stack) { m_undo = stack ? stack : m_ownUndo.get(); }

// ---- Handles ----

void BaseMeshViewer::fillHandles() {
    auto add = [this](uint32_t id, const char* name, int32_t kind, Vec3 dir = Vec3()) {
        m_handles.emplace(id, HandleRecord{id, dir, name, kind}); // an existing id keeps its first record
    };
    add(1, "translate-x", 2, {1, 0, 0});
    add(2, "translate-y", 2, {0, 1, 0});
    add(3, "translate-z", 2, {0, 0, 1});
    add(4, "translate-xy", 2, {0.7f, 0.7f, 0});
    add(5, "translate-yz", 2, {0, 0.7f, 0.7f});
    add(6, "translate-zx", 2, {0.7f, 0, 0.7f});
    add(7, "translate-xyz", 2, {0.6f, 0.6f, 0.6f});
    add(10, "rotate-x", 3, {1, 0, 0});
    add(11, "rotate-y", 3, {0, 1, 0});
    add(12, "rotate-z", 3, {0, 0, 1});
    add(20, "scale-x", 4, {1, 0, 0});
    add(21, "scale-y", 4, {0, 1, 0});
    add(22, "scale-z", 4, {0, 0, 1});
    add(23, "scale-xy", 4, {0.7f, 0.7f, 0});
    add(24, "scale-yz", 4, {0, 0.7f, 0.7f});
    add(25, "scale-xz", 4, {0.7f, 0, 0.7f});
    add(26, "scale-xyz", 4, {0.6f, 0.6f, 0.6f});
    add(30, "mirror", 5);
    add(1000, "marker", 1);
    add(2000, "selected marker", 1);
    const char* suffix[] = {"-x", "-y", "-z", "-xy", "-yz", "-zx", "-xyz"};
    static std::string markerNames[7], boneNames[7];
    for (int i = 0; i < 7; ++i) {
        markerNames[i] = std::string("selected marker") + suffix[i];
        boneNames[i] = std::string("selected bone") + suffix[i];
    }
    for (int i = 0; i < 7; ++i)
        add(2001 + uint32_t(i), markerNames[i].c_str(), 1);
    add(2010, "bone", 1);
    add(10000, "selected bone", 1);
    for (int i = 0; i < 7; ++i)
        add(10001 + uint32_t(i), boneNames[i].c_str(), 1);
    add(10004, "face", 0);
    add(3000000, "vert", 0);
    add(6000000, "edge", 0);
    add(10000000, "mesh object", 1);
}

const HandleRecord* BaseMeshViewer::lookupHandle(uint32_t id) const {
    if (id >= 1000 && id <= 1999)
        id = 1000;
    else if (id >= 2010 && id <= 9999)
        id = 2010;
    else if (id >= 10004 && id <= 9999999)
        id = 10004;
    const auto it = m_handles.find(id);
    return it == m_handles.end() ? nullptr : &it->second;
}

// ---- Camera placement ----

void BaseMeshViewer::resetView() {
    SceneRegistry& scene = SceneRegistry::instance();
    Vec3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
    bool any = false;
    for (const auto& pair : scene.m_share_nodes) {
        const ObjMesh* m = pair.second;
        if (!m || m->vertices.empty() || !(m->boundsMin.x <= m->boundsMax.x))
            continue;
        for (int i = 0; i < 3; ++i) {
            lo[i] = std::min(lo[i], m->boundsMin[i]);
            hi[i] = std::max(hi[i], m->boundsMax[i]);
        }
        any = true;
    }
    if (!any) { // no mesh: as for a unit box at the origin
        lo = Vec3(-0.5f, -0.5f, -0.5f);
        hi = Vec3(0.5f, 0.5f, 0.5f);
    }
    const Vec3 centre = (lo + hi) * 0.5f;
    float unit = hi.z - lo.z;
    if (!(unit > 1e-6f)) // a flat scene: its largest extent
        unit = std::max(hi.x - lo.x, hi.y - lo.y);
    if (!(unit > 1e-6f) || !std::isfinite(unit))
        unit = 1.0f;
    m_distanceUnit = unit;
    m_modelMatrix = Mat4::identity();
    m_modelMatrix(0, 3) = -centre.x;
    m_modelMatrix(1, 3) = -centre.y;
    m_modelMatrix(2, 3) = -centre.z;
    m_eye = centre + Vec3(2 * unit, 2 * unit, 2 * unit);
    m_centre = Vec3(0, 0, 0);
    m_sceneNode.setLocalMatrix(m_modelMatrix);
    m_camera.lookAt(m_eye, m_centre, Vec3(0, 1, 0));
    m_camera.setScale(Vec3(1, 1, 1));
    changed();
}

void BaseMeshViewer::setCameraOffset(const Vec3& offset) {
    m_eye = offset * m_distanceUnit + m_centre;
    m_camera.lookAt(m_eye, m_centre, Vec3(0, 1, 0));
    m_camera.setScale(Vec3(1, 1, 1));
    changed();
}

bool BaseMeshViewer::selectionBox(Vec3& lo, Vec3& hi, bool selectedOnly) const {
    SceneRegistry& scene = SceneRegistry::instance();
    lo = Vec3(1e30f, 1e30f, 1e30f);
    hi = Vec3(-1e30f, -1e30f, -1e30f);
    bool any = false;
    auto addMesh = [&](const GLNode* node, const ObjMesh* m) {
        if (!node || !m || m->vertices.empty() || !(m->boundsMin.x <= m->boundsMax.x))
            return;
        const Mat4 world = node->worldMatrix();
        for (int c = 0; c < 8; ++c) {
            const Vec3 p((c & 1) ? m->boundsMax.x : m->boundsMin.x, (c & 2) ? m->boundsMax.y : m->boundsMin.y,
                         (c & 4) ? m->boundsMax.z : m->boundsMin.z);
            const Vec3 w = math3d::transformPoint(world, p);
            for (int i = 0; i < 3; ++i) {
                lo[i] = std::min(lo[i], w[i]);
                hi[i] = std::max(hi[i], w[i]);
            }
        }
        any = true;
    };
    if (selectedOnly) {
        for (const auto& pair : scene.m_selectedSet)
            addMesh(pair.first, pair.second);
        return any;
    }
    // Every pickable, visible mesh of the scene.
    std::vector<const GLNode*> stack{&scene.sceneRoot};
    while (!stack.empty()) {
        const GLNode* n = stack.back();
        stack.pop_back();
        if (!n->visible)
            continue;
        for (int i = 0; i < n->meshCount(); ++i)
            if (auto* m = dynamic_cast<const ObjMesh*>(n->mesh(i)))
                if (m->pickable && m->visible)
                    addMesh(n, m);
        for (const GLNode& c : n->children())
            stack.push_back(&c);
    }
    return any;
}

void BaseMeshViewer::frameBox(const Vec3& lo, const Vec3& hi) {
    const Vec3 centre = (lo + hi) * 0.5f;
    float radius = math3d::length(hi - lo) * 0.5f;
    if (!(radius > 1e-6f))
        radius = 0.5f;
    m_modelMatrix = Mat4::identity();
    m_modelMatrix(0, 3) = -centre.x;
    m_modelMatrix(1, 3) = -centre.y;
    m_modelMatrix(2, 3) = -centre.z;
    m_sceneNode.setLocalMatrix(m_modelMatrix);
    // Keep the direction of view, drop the zoom, and back off until the
    // sphere round the box fits the 30-degree field of view.
    Mat4 view = m_camera.view();
    const Vec3 s = m_camera.viewScale();
    for (int c = 0; c < 3; ++c)
        for (int r = 0; r < 3; ++r)
            view(r, c) /= (s[c] > 0 ? s[c] : 1);
    const float dist = radius / std::sin(15.0f * float(M_PI) / 180.0f) * 1.1f;
    view(0, 3) = 0;
    view(1, 3) = 0;
    view(2, 3) = -dist;
    m_camera.setView(view);
    m_centre = Vec3(0, 0, 0);
    // eye = R^T (0, 0, dist)
    m_eye = Vec3(view(2, 0), view(2, 1), view(2, 2)) * dist;
    m_distanceUnit = std::max(hi.z - lo.z, radius * 0.5f);
    changed();
}

void BaseMeshViewer::frameSelection() {
    Vec3 lo, hi;
    if (selectionBox(lo, hi, true))
        frameBox(lo, hi);
}

void BaseMeshViewer::frameAll() {
    Vec3 lo, hi;
    if (selectionBox(lo, hi, false))
        frameBox(lo, hi);
    else
        resetView();
}

// ---- Textures ----

void BaseMeshViewer::refreshMaterials() {
    for (GLNode& child : SceneRegistry::instance().sceneRoot.children()) {
        auto visit = [this](GLNode& n) {
            for (int i = 0; i < n.meshCount(); ++i)
                if (auto* m = dynamic_cast<ObjMesh*>(n.mesh(i)))
                    for (Material& mat : m->materials)
                        mat.contextIndex = contextIndex;
        };
        visit(child);
        for (GLNode& grandchild : child.children())
            visit(grandchild);
    }
}

void BaseMeshViewer::updateAllMat() {
    Trace::out("BaseMeshViewer::updateAllMat\n");
    sceneChanged();
    if (!context() || !isValid()) {
        m_texturesPending = true; // done when the context exists
        return;
    }
    makeCurrent();
    uploadTextures();
    doneCurrent();
    changed();
}

void BaseMeshViewer::uploadTextures() {
    const int slot = std::clamp(contextIndex, 0, Material::kContextSlots - 1);
    std::shared_ptr<ResourceManager> rm = ResourceManager::instance();
    rm->uploadAll(slot);
    for (GLNode& child : SceneRegistry::instance().sceneRoot.children()) {
        auto visit = [&](GLNode& n) {
            for (int i = 0; i < n.meshCount(); ++i)
                if (auto* m = dynamic_cast<ObjMesh*>(n.mesh(i)))
                    for (Material& mat : m->materials)
                        if (!mat.textureFile.empty()) {
                            mat.contextIndex = slot;
                            mat.texId[size_t(slot)] = rm->getTexid(mat.textureFile, slot);
                        }
        };
        visit(child);
        for (GLNode& grandchild : child.children())
            visit(grandchild);
    }
    m_texturesPending = false;
}

// ---- GL ----

void BaseMeshViewer::initializeGL() {
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    const float ambient[4] = {0, 0, 0, 0};
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    if (renderMode == 0)
        renderMode = 230;
    glClearColor(0, 0, 0, 1);
    m_camera.lookAt(m_eye, m_centre, Vec3(0, 1, 0));
    const GLenum err = glGetError();
    if (err != GL_NO_ERROR)
        Trace::out("%s\n", reinterpret_cast<const char*>(gluErrorString(err)));
}

void BaseMeshViewer::resizeGL(int w, int h) {
    const qreal dpr = devicePixelRatioF();
    const int pw = std::max(1, int(std::lround(w * dpr))), ph = std::max(1, int(std::lround(h * dpr)));
    m_camera.setViewport(0, float(pw), 0, float(ph));
    m_camera.perspective(30, float(pw) / float(ph > 0 ? ph : 1), 0.1f, 10000);
    m_pickFbo.reset();
    m_pickFboFailed = false;
    m_pickFbo = std::make_unique<QOpenGLFramebufferObject>(pw, ph, QOpenGLFramebufferObject::CombinedDepthStencil);
    if (!m_pickFbo->isValid()) {
        Trace::out("error: invalid depth fbo!\n");
        m_pickFboFailed = true;
    }
    m_pickImage.clear();
    m_pickWidth = m_pickHeight = 0;
    m_texturesPending = true;
    changed();
}

void BaseMeshViewer::setLight() {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    const float d = m_mode == 1 ? 0.6f : 0.3f;
    const float diffuse[4] = {d, d, d, 1.0f};
    const float position[4] = {0, 0, 1, 0};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_POSITION, position);
}

void BaseMeshViewer::paintGL() {
    if (m_texturesPending)
        uploadTextures();
    SceneRegistry& scene = SceneRegistry::instance();
    if (scene.sortRequested && !s_moving) {
        scene.sortShareNodes();
        m_pickDirty = true;
    }
    if (m_continuous)
        runPickPass();
    drawFrame();
    m_needsPaint = false;
}

void BaseMeshViewer::drawFrame() {
    if (m_editMesh && !editMeshAlive())
        leaveEditMode();
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_NORMALIZE);
    glEnable(GL_COLOR_MATERIAL);
    glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
    glColor3f(1, 1, 1);
    setLight();
    m_camera.apply();
    glPushMatrix();
    glMultMatrixf(m_sceneNode.localMatrix().data());
    refreshMaterials();
    SceneRegistry::instance().sceneRoot.render(renderMode);
    if (m_mode == 0 && m_editMesh)
        drawEditVertices(false);
    glPopMatrix();
    drawGizmo(false, 10, 1);
    ++m_frames;
}

void BaseMeshViewer::runPickPass() {
    const int w = m_pickFbo ? m_pickFbo->width() : 0, h = m_pickFbo ? m_pickFbo->height() : 0;
    if (!m_pickFbo || !m_pickFbo->isValid() || !context()) {
        if (!m_pickFboFailed)
            Trace::out("error: invalid depth fbo!\n");
        m_pickFboFailed = true;
        m_pickImage.clear(); // every pixel reads as background
        m_pickWidth = m_pickHeight = 0;
        m_pickDirty = false;
        return;
    }
    if (m_editMesh && !editMeshAlive())
        leaveEditMode();
    m_pickFbo->bind();
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glDisable(GL_DITHER);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glDisable(GL_POINT_SMOOTH);
    glDisable(GL_LINE_SMOOTH);
    glEnable(GL_DEPTH_TEST);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    m_camera.apply();
    if (m_mode == 0 && m_editMesh) {
        glPushMatrix();
        glMultMatrixf(m_sceneNode.localMatrix().data());
        drawEditVertices(true);
        glPopMatrix();
    }
    glPushMatrix();
    glMultMatrixf(m_sceneNode.localMatrix().data());
    int32_t id = int32_t(kFirstMeshId);
    SceneRegistry::instance().sceneRoot.renderPick(id);
    glPopMatrix();
    glDisable(GL_LIGHTING);
    drawGizmo(true, 10, 8);
    glPopAttrib();
    m_pickImage.resize(size_t(w) * size_t(h));
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, m_pickImage.data());
    for (uint32_t& p : m_pickImage) {
        const auto* c = reinterpret_cast<const unsigned char*>(&p);
        p = uint32_t(c[0]) << 16 | uint32_t(c[1]) << 8 | uint32_t(c[2]);
    }
    m_pickWidth = w;
    m_pickHeight = h;
    m_pickFbo->release();
    QOpenGLContext::currentContext()->functions()->glBindFramebuffer(GL_FRAMEBUFFER, defaultFramebufferObject());
    m_pickDirty = false;
}

uint32_t BaseMeshViewer::pickId(const QPoint& pos) {
    if (m_pickDirty && context() && isValid()) {
        makeCurrent();
        runPickPass();
        doneCurrent();
    }
    const qreal dpr = devicePixelRatioF();
    const int x = int(pos.x() * dpr), yTop = int(pos.y() * dpr);
    if (x < 0 || yTop < 0 || x >= m_pickWidth || yTop >= m_pickHeight)
        return 0;
    return m_pickImage[size_t(m_pickHeight - 1 - yTop) * size_t(m_pickWidth) + size_t(x)];
}

uint64_t BaseMeshViewer::sceneSignature() const {
    SceneRegistry& scene = SceneRegistry::instance();
    Hasher hs;
    hashNode(hs, scene.sceneRoot);
    for (const auto& pair : scene.m_selectedSet)
        hs.value(pair);
    hs.value(scene.sortRequested);
    hs.value(s_moving);
    return hs.h;
}

void BaseMeshViewer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_timer) {
        QOpenGLWidget::timerEvent(event);
        return;
    }
    if (!isVisible())
        return;
    if (m_continuous) {
        update();
        return;
    }
    const uint64_t sig = sceneSignature();
    if (sig != m_lastSignature || s_generation != m_seenGeneration) {
        m_lastSignature = sig;
        m_seenGeneration = s_generation;
        m_pickDirty = true;
        m_needsPaint = true;
    }
    if (m_needsPaint)
        update();
}

// ---- Mouse ----

namespace {
ObjMesh* asObjMesh(Renderable* r) { return dynamic_cast<ObjMesh*>(r); }
} // namespace

void BaseMeshViewer::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const QPoint pos = event->pos();
    m_lastPos = m_pressPos = pos;
    m_pressedButton = int32_t(event->button());
    m_pressedHandle = nullptr;
    m_dragStarted = false;
    SceneRegistry& scene = SceneRegistry::instance();

    m_lastPickId = pickId(pos);
    m_pressedHandle = lookupHandle(m_lastPickId);
    Trace::out("sid:%d\n", int(m_lastPickId));
    const bool translating = m_pressedHandle && m_pressedHandle->kind == 2 && m_lastPickId >= 1 && m_lastPickId <= 3;
    if (m_pressedHandle) {
        Trace::out("opid:%d\n", int(m_pressedHandle->id));
        if (translating) {
            computeAxisScreen();
            m_startPositions.clear();
            for (const auto& pair : scene.m_selectedSet)
                m_startPositions.push_back(pair.first->position());
        }
    }
    if (!translating && m_pressedHandle && m_pressedHandle->kind == 2)
        m_pressedHandle = nullptr; // never drawn, so never dragged
    if (m_editMesh)
        updateEditCentre();

    const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool onMesh = m_lastPickId >= kFirstMeshId && m_lastPickId <= kLastMeshId;
    auto meshAt = [&](uint32_t id) {
        return scene.sceneRoot.findMeshByIndex(int(id - kFirstMeshId));
    };
    if (mods == Qt::ControlModifier && event->button() == Qt::LeftButton) {
        // Control-click adds the mesh under the mouse to the selection.
        if (onMesh) {
            const auto found = meshAt(m_lastPickId);
            if (ObjMesh* m = asObjMesh(found.first)) {
                m->highlighted = true;
                scene.m_selectedSet.insert({found.second, m});
                emit notifySelection();
            }
        }
    } else if (mods == 0 && event->button() == Qt::LeftButton) {
        m_camera.begin(float(pos.x() * devicePixelRatioF()), float(pos.y() * devicePixelRatioF()));
        if (!onMesh) {
            if (!translating) {
                scene.clearSelection();
                emit notifySelection();
            }
        } else {
            const auto found = meshAt(m_lastPickId);
            if (ObjMesh* m = asObjMesh(found.first)) {
                scene.clearSelection();
                m->highlighted = true;
                scene.m_selectedSet.insert({found.second, m});
                emit notifySelection();
            }
        }
    } else if (mods == 0 && event->button() == Qt::MiddleButton) {
        m_camera.lookAt(m_eye, m_centre, Vec3(0, 1, 0));
        m_camera.setScale(Vec3(1, 1, 1));
        m_sceneNode.setLocalMatrix(m_modelMatrix);
    }
    changed();
}

void BaseMeshViewer::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->pos();
    const qreal dpr = devicePixelRatioF();
    if (!m_pressedHandle) {
        const int32_t before = m_hoverMask;
        m_hoverMask = 0;
        m_lastPickId = pickId(pos);
        m_hoverHandle = lookupHandle(m_lastPickId);
        if (m_hoverHandle && m_hoverHandle->kind == 2 && m_lastPickId >= 1 && m_lastPickId <= 3)
            m_hoverMask |= 1 << (m_lastPickId - 1);
        if (m_hoverMask != before) {
            m_needsPaint = true;
            update();
        }
    }
    const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const bool dragging = m_pressedHandle && m_pressedHandle->kind == 2;
    if (mods == 0 && m_pressedButton == Qt::LeftButton) {
        if (dragging) {
            dragGizmo(pos);
        } else if (rotateEnabled) {
            m_camera.drag(float(pos.x() * dpr), float(pos.y() * dpr));
            changed();
        }
    }
    if (mods == 0 && m_pressedButton == Qt::RightButton && panEnabled) {
        const float dx = -float(pos.x() - m_lastPos.x()) / float(std::max(1, width()));
        const float dy = float(pos.y() - m_lastPos.y()) / float(std::max(1, height()));
        const Mat4& v = m_camera.view();
        math3d::Mat3 r;
        for (int c = 0; c < 3; ++c)
            for (int row = 0; row < 3; ++row)
                r(row, c) = v(row, c);
        // inverse of the 3 x 3: rotation and zoom (columns of equal length
        // in practice); use the general inverse through a 4 x 4.
        Mat4 r4;
        for (int c = 0; c < 3; ++c)
            for (int row = 0; row < 3; ++row)
                r4(row, c) = r(row, c);
        const Vec3 d = math3d::transformDirection(math3d::inverse(r4), Vec3(dx, dy, 0)) * m_distanceUnit;
        Mat4 local = m_sceneNode.localMatrix();
        local(0, 3) -= d.x;
        local(1, 3) -= d.y;
        local(2, 3) -= d.z;
        m_sceneNode.setLocalMatrix(local);
        changed();
    }
    m_lastPos = pos;
}

bool BaseMeshViewer::event(QEvent* event) {
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse) {
        event->accept();
        return true;
    }
    return QOpenGLWidget::event(event);
}

void BaseMeshViewer::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton && m_mode == 1 && contextMenuPolicy() == Qt::CustomContextMenu &&
        (event->pos() - m_pressPos).manhattanLength() < 4)
        emit customContextMenuRequested(event->pos());
    if (m_editMesh)
        updateEditCentre();
    if (s_moving) {
        s_moving = false;
        emit notifyReady();
    }
    if (m_mode == 0 && event->button() == Qt::RightButton && m_editMesh)
        editRelease(event);
    m_pressedButton = 0;
    m_pressedHandle = nullptr;
    m_dragStarted = false;
    changed();
}

void BaseMeshViewer::wheelEvent(QWheelEvent* event) {
    if (!zoomEnabled)
        return;
    const float k = event->angleDelta().y() > 0 ? 1.2f : 0.8333333f;
    m_camera.scaleBy(Vec3(k, k, k));
    changed();
}

// ---- Keys ----

void BaseMeshViewer::toggleMode() {
    if (m_mode == 0) {
        m_mode = 1;
        setCursor(Qt::ArrowCursor);
        Trace::out("ObjectMode\n");
    } else {
        m_mode = 0;
        setCursor(Qt::CrossCursor);
        Trace::out("EditMode\n");
    }
    changed();
}

void BaseMeshViewer::keyPressEvent(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    const int key = event->key();
    if ((mods & Qt::ControlModifier) && key == Qt::Key_Z) {
        if (mods & Qt::ShiftModifier)
            m_undo->redo();
        else
            m_undo->undo();
        changed();
        return;
    }
    if (mods == Qt::ControlModifier && key == Qt::Key_Y) {
        m_undo->redo();
        changed();
        return;
    }
    if (m_mode == 0 && editKey(event)) {
        changed();
        return;
    }
    if (mods == Qt::ShiftModifier && key == Qt::Key_F) {
        renderMode ^= RenderMode::faces;
        changed();
        return;
    }
    if (mods != 0) {
        QOpenGLWidget::keyPressEvent(event);
        return;
    }
    switch (key) {
    case Qt::Key_Space:
        if (m_mode == 0)
            leaveEditMode();
        else
            enterEditMode();
        break;
    case Qt::Key_Escape:
        if (m_mode == 0)
            leaveEditMode();
        break;
    case Qt::Key_E: renderMode ^= RenderMode::wire; break;
    case Qt::Key_F: frameSelection(); break;
    case Qt::Key_Home: frameAll(); break;
    case Qt::Key_L: renderMode ^= RenderMode::lighting; break;
    case Qt::Key_T: renderMode ^= RenderMode::textured; break;
    case Qt::Key_V: renderMode ^= RenderMode::points; break;
    case Qt::Key_Plus:
    case Qt::Key_Minus:
        m_neighbourCount = (m_neighbourCount + (key == Qt::Key_Plus ? 1 : 9)) % 10;
        Trace::out("visualize neighbor n=: %d\n", m_neighbourCount);
        return;
    default: QOpenGLWidget::keyPressEvent(event); return;
    }
    changed();
}

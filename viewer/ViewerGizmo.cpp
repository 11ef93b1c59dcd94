// The translate gizmo of BaseMeshViewer: three axes drawn at the selection,
// visibly and in pick colours, and the drag that moves the selected nodes
// along the screen direction of the pressed axis.

#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "scenegraph/SceneRegistry.h"
#include "viewer/BaseMeshViewer.h"

#include <GL/gl.h>

#include <cmath>

using math3d::Vec3;

namespace {

constexpr float kAxisPixels = 80.0f;

// Drag directions of the translation handles 1..7.
Vec3 translationDirection(uint32_t id) {
    switch (id) {
    case 1: return {1, 0, 0};
    case 2: return {0, 1, 0};
    case 3: return {0, 0, 1};
    case 4: return {1, 1, 0};
    case 5: return {0, 1, 1};
    case 6: return {1, 0, 1};
    case 7: return {1, 1, 1};
    default: return {0, 0, 0};
    }
}

void pickColour(uint32_t id) {
    glColor3ub(GLubyte((id >> 16) & 255), GLubyte((id >> 8) & 255), GLubyte(id & 255));
}

} // namespace

// The gizmo's origin and axis ends in the coordinates the camera sees
// (after this view's scene transform): false when nothing is to be drawn.
bool BaseMeshViewer::gizmoPoints(Vec3 out[4]) {
    SceneRegistry& scene = SceneRegistry::instance();
    // Edit mode works on vertices: the gizmo would cover the ones at the
    // centre of the mesh.
    if (m_mode == 0 || scene.m_selectedSet.empty() || scene.sceneRoot.childCount() == 0)
        return false;
    for (const auto& pair : scene.m_selectedSet)
        if (!pair.second || !pair.second->pickable)
            return false;
    Vec3 lo, hi;
    if (!selectionBox(lo, hi, true))
        return false;
    const Vec3 o = math3d::transformPoint(m_sceneNode.localMatrix(), (lo + hi) * 0.5f);
    const float step = 0.01f * (m_distanceUnit > 0 ? m_distanceUnit : 1.0f);
    const Vec3 po = m_camera.project(o);
    const float depth = m_camera.nearDepth();
    out[0] = m_camera.unproject(po.x, po.y, depth);
    for (int i = 0; i < 3; ++i) {
        Vec3 axis;
        axis[i] = step;
        // The axis direction as seen on screen: through a nearby point, so
        // perspective cannot flip it.
        const Vec3 pa = m_camera.project(o + math3d::transformDirection(m_sceneNode.localMatrix(), axis));
        float dx = pa.x - po.x, dy = pa.y - po.y;
        const float len = std::sqrt(dx * dx + dy * dy);
        if (len > 0) {
            dx /= len;
            dy /= len;
        }
        out[i + 1] = m_camera.unproject(po.x + dx * kAxisPixels, po.y + dy * kAxisPixels, depth);
    }
    return true;
}

void BaseMeshViewer::drawGizmo(bool pickMode, float pointSize, float lineWidth) {
    Vec3 p[4];
    if (!gizmoPoints(p))
        return;
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    if (pickMode) {
        glDisable(GL_BLEND);
        glDisable(GL_LINE_SMOOTH);
        glDisable(GL_POINT_SMOOTH);
        glDisable(GL_DITHER);
    } else {
        glEnable(GL_LINE_SMOOTH);
        glEnable(GL_BLEND);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    m_camera.apply();
    glLineWidth(lineWidth);
    glPointSize(pointSize);
    static const float lineColours[3][4] = {{0.8f, 0, 0, 0.7f}, {0, 0, 0.8f, 0.7f}, {0, 0.8f, 0, 0.7f}};
    static const float pointColours[3][4] = {{0.8f, 0, 0, 1}, {0, 0, 0.8f, 1}, {0, 0.8f, 0, 1}};
    glBegin(GL_LINES);
    for (int i = 0; i < 3; ++i) {
        if (!(axisMask & (1 << i)))
            continue;
        if (pickMode)
            pickColour(uint32_t(i + 1));
        else if (m_hoverMask & (1 << i))
            glColor4f(0.8f, 0.8f, 0, 0.7f);
        else
            glColor4fv(lineColours[i]);
        glVertex3f(p[0].x, p[0].y, p[0].z);
        glVertex3f(p[i + 1].x, p[i + 1].y, p[i + 1].z);
    }
    glEnd();
    glBegin(GL_POINTS);
    if (!pickMode && (axisMask & 8)) {
        glColor4f(1, 1, 0, 0.7f);
        glVertex3f(p[0].x, p[0].y, p[0].z);
    }
    for (int i = 0; i < 3; ++i) {
        if (!(axisMask & (1 << i)))
            continue;
        if (pickMode)
            pickColour(uint32_t(i + 1));
        else
            glColor4fv(pointColours[i]);
        glVertex3f(p[i + 1].x, p[i + 1].y, p[i + 1].z);
    }
    glEnd();
    glPopAttrib();
}

void BaseMeshViewer::computeAxisScreen() {
    for (Vec3& a : m_axisScreen)
        a = Vec3();
    SceneRegistry& scene = SceneRegistry::instance();
    if (scene.m_selectedSet.empty() || scene.sceneRoot.childCount() == 0)
        return;
    Vec3 lo, hi;
    if (!selectionBox(lo, hi, true))
        return;
    const Vec3 o = math3d::transformPoint(m_sceneNode.localMatrix(), (lo + hi) * 0.5f);
    const Vec3 po = m_camera.project(o);
    const float step = 0.01f * (m_distanceUnit > 0 ? m_distanceUnit : 1.0f);
    for (int i = 0; i < 3; ++i) {
        Vec3 axis;
        axis[i] = step;
        const Vec3 pa = m_camera.project(o + math3d::transformDirection(m_sceneNode.localMatrix(), axis));
        m_axisScreen[i + 1] = Vec3(pa.x - po.x, pa.y - po.y, 0);
    }
}

void BaseMeshViewer::dragGizmo(const QPoint& pos) {
    if (!m_pressedHandle || m_pressedHandle->kind != 2)
        return;
    const uint32_t id = m_pressedHandle->id;
    SceneRegistry& scene = SceneRegistry::instance();
    if (!m_dragStarted) {
        m_dragStarted = true;
        setMovingFlag(true);
        emit notifyMoving();
        if (id == 3)
            scene.sortRequested = true;
    }
    if (id < 1 || id > 3)
        return; // plane and free handles are never drawn
    const Vec3 a = translationDirection(id);
    const float sx = m_axisScreen[id].x, sy = m_axisScreen[id].y;
    const float len = std::sqrt(sx * sx + sy * sy);
    if (!(len > 1e-6f))
        return; // the axis points at the camera: no screen direction to follow
    const qreal dpr = devicePixelRatioF();
    const float dx = float((pos.x() - m_pressPos.x()) * dpr);
    const float dy = float((m_pressPos.y() - pos.y()) * dpr);
    const float t = (sx * dx + sy * dy) / len;
    const float scale = m_camera.viewScale().x;
    const float tt = scale > 0 ? t / scale : t;
    size_t k = 0;
    for (const auto& pair : scene.m_selectedSet) {
        if (k >= m_startPositions.size())
            break;
        pair.first->setPosition(m_startPositions[k] + a * (tt * m_distanceUnit * 0.01f));
        ++k;
        emit notifyPosScale();
    }
    sceneChanged();
    changed();
}

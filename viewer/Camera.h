#pragma once
// The camera of one 3D view: a projection (perspective frustum or
// orthographic box), a view matrix whose upper-left 3 x 3 carries the
// rotation and the zoom (column lengths), their product and its inverse, the
// viewport in pixels, and a virtual trackball. All matrices are 4 x 4,
// column-major (OpenGL order). Every operation that changes the projection or
// the view recomputes combined and inverse.

#include "geometry/Math3d.h"

#include <cstdint>

class Camera {
public:
    Camera();

    // 0 = perspective frustum, anything else orthographic.
    int32_t projectionKind = 0;

    // Viewport in pixels: x from x0 to x1, y from y0 (bottom) to y1.
    void setViewport(float x0, float x1, float y0, float y1);
    // Symmetric perspective frustum; fovy in degrees.
    void perspective(float fovyDegrees, float aspect, float nearPlane, float farPlane);
    // Frustum (projectionKind 0) or orthographic box (other kinds). Invalid
    // perspective values print "Error Input in frustum, invalid values!\n"
    // and leave an all-zero projection.
    void frustum(float left, float right, float top, float bottom, float nearPlane, float farPlane);
    // View from eye towards centre with the given up direction; the zoom (the
    // lengths of the 3 x 3 columns) is kept.
    void lookAt(const math3d::Vec3& eye, const math3d::Vec3& centre, const math3d::Vec3& up);
    // Zoom: the lengths of the view's three 3 x 3 columns become s.
    void setScale(const math3d::Vec3& s);
    // Multiplies the current column lengths by k.
    void scaleBy(const math3d::Vec3& k);
    // Lengths of the view's three 3 x 3 columns.
    math3d::Vec3 viewScale() const;

    // World point to window (x, y in pixels with y up, depth in 0..1).
    math3d::Vec3 project(const math3d::Vec3& world) const;
    // Window (x, y, depth) back to the world.
    math3d::Vec3 unproject(float x, float y, float depth) const;
    // glViewport and the projection and model-view stacks from this camera.
    void apply() const;

    // Trackball: the press point, then each drag point turns the view.
    void begin(float px, float py);
    void drag(float px, float py);

    void setView(const math3d::Mat4& view);
    const math3d::Mat4& projection() const { return m_projection; }
    const math3d::Mat4& view() const { return m_view; }
    const math3d::Mat4& combined() const { return m_combined; }
    // All +infinity when combined is singular.
    const math3d::Mat4& inverse() const { return m_inverse; }
    const float* viewport() const { return m_viewport; }
    float width() const { return m_viewport[1] - m_viewport[0]; }
    float height() const { return m_viewport[3] - m_viewport[2]; }
    // Window depth of the near plane (used to keep overlays in front).
    float nearDepth() const;

private:
    void update();
    math3d::Vec3 trackballPoint(float px, float py) const;

    math3d::Mat4 m_projection;
    math3d::Mat4 m_view;
    math3d::Mat4 m_combined;
    math3d::Mat4 m_inverse;
    float m_viewport[4] = {0, 1, 0, 1};
    math3d::Vec3 m_trackStart;
    math3d::Mat3 m_trackRotation;
    float m_near = 0.1f;
};

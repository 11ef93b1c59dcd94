#include "viewer/Camera.h"

#include "base/Trace.h"

#include <GL/gl.h>

#include <cfloat>
#include <cmath>
#include <limits>

using math3d::Mat3;
using math3d::Mat4;
using math3d::Vec3;

namespace {

constexpr float kEpsilon = 1.1920929e-7f;

// Inverse of a general 4 x 4 matrix; false when it is singular.
bool invert(const Mat4& a, Mat4& out) {
    const float* m = a.m.data();
    float inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
             m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
             m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
             m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
              m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
             m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
             m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
             m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
              m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
             m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
             m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
              m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
              m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] -
             m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
             m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
              m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] +
              m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
    const double det = double(m[0]) * inv[0] + double(m[1]) * inv[4] + double(m[2]) * inv[8] + double(m[3]) * inv[12];
    if (det == 0 || !std::isfinite(det))
        return false;
    for (int i = 0; i < 16; ++i)
        out.m[size_t(i)] = float(inv[i] / det);
    return true;
}

Mat3 upper3(const Mat4& a) {
    Mat3 r;
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            r(row, c) = a(row, c);
    return r;
}

void setUpper3(Mat4& a, const Mat3& r) {
    for (int c = 0; c < 3; ++c)
        for (int row = 0; row < 3; ++row)
            a(row, c) = r(row, c);
}

float columnLength(const Mat4& a, int c) { return std::sqrt(a(0, c) * a(0, c) + a(1, c) * a(1, c) + a(2, c) * a(2, c)); }

// Rescales column c of the 3 x 3 to length len (a zero column stays zero).
void setColumnLength(Mat4& a, int c, float len) {
    const float now = columnLength(a, c);
    if (now <= 0)
        return;
    for (int row = 0; row < 3; ++row)
        a(row, c) *= len / now;
}

bool singular3(const Mat3& r) {
    const float det = r(0, 0) * (r(1, 1) * r(2, 2) - r(1, 2) * r(2, 1)) -
                      r(0, 1) * (r(1, 0) * r(2, 2) - r(1, 2) * r(2, 0)) +
                      r(0, 2) * (r(1, 0) * r(2, 1) - r(1, 1) * r(2, 0));
    return std::fabs(det) < 1e-12f;
}

} // namespace

Camera::Camera() {
    m_projection.m.fill(0);
    update();
}

void Camera::update() {
    m_combined = m_projection * m_view;
    if (!invert(m_combined, m_inverse))
        m_inverse.m.fill(std::numeric_limits<float>::infinity());
}

void Camera::setViewport(float x0, float x1, float y0, float y1) {
    m_viewport[0] = x0;
    m_viewport[1] = x1;
    m_viewport[2] = y0;
    m_viewport[3] = y1;
}

void Camera::perspective(float fovyDegrees, float aspect, float nearPlane, float farPlane) {
    const float t = std::tan(fovyDegrees * float(M_PI) / 180.0f / 2.0f) * nearPlane;
    frustum(-t * aspect, t * aspect, t, -t, nearPlane, farPlane);
}

void Camera::frustum(float l, float r, float t, float b, float n, float f) {
    Mat4 p;
    p.m.fill(0);
    if (projectionKind == 0) {
        if (std::fabs(l - r) < kEpsilon || std::fabs(t - b) < kEpsilon || std::fabs(n - f) < kEpsilon || n <= 0 ||
            f <= 0) {
            Trace::out("Error Input in frustum, invalid values!\n");
            m_projection = p;
            update();
            return;
        }
        p.m[0] = 2 * n / (r - l);
        p.m[5] = 2 * n / (t - b);
        p.m[8] = (r + l) / (r - l);
        p.m[9] = (t + b) / (t - b);
        p.m[10] = (n + f) / (n - f);
        p.m[11] = -1;
        p.m[14] = 2 * n * f / (n - f);
    } else {
        if (std::fabs(l - r) < kEpsilon || std::fabs(t - b) < kEpsilon || std::fabs(n - f) < kEpsilon) {
            Trace::out("Error Input in frustum, invalid values!\n");
            m_projection = p;
            update();
            return;
        }
        p.m[0] = 2 / (r - l);
        p.m[5] = 2 / (t - b);
        p.m[10] = 2 / (n - f);
        p.m[12] = (l + r) / (l - r);
        p.m[13] = (t + b) / (b - t);
        p.m[14] = (n + f) / (n - f);
        p.m[15] = 1;
    }
    m_near = n;
    m_projection = p;
    update();
}

void Camera::lookAt(const Vec3& eye, const Vec3& centre, const Vec3& up) {
    const Vec3 before = viewScale();
    const Vec3 f = math3d::normalize(centre - eye);
    const Vec3 s = math3d::normalize(math3d::cross(f, up));
    const Vec3 u = math3d::cross(s, f);
    Mat4 v;
    const Vec3 rows[3] = {s, u, f * -1.0f};
    for (int row = 0; row < 3; ++row)
        for (int c = 0; c < 3; ++c)
            v(row, c) = rows[row][c];
    for (int row = 0; row < 3; ++row)
        v(row, 3) = -math3d::dot(rows[row], eye);
    for (int c = 0; c < 3; ++c)
        setColumnLength(v, c, before[c]);
    m_view = v;
    update();
}

void Camera::setScale(const Vec3& s) {
    for (int c = 0; c < 3; ++c)
        setColumnLength(m_view, c, s[c]);
    update();
}

void Camera::scaleBy(const Vec3& k) {
    const Vec3 now = viewScale();
    setScale(Vec3(now.x * k.x, now.y * k.y, now.z * k.z));
}

Vec3 Camera::viewScale() const { return Vec3(columnLength(m_view, 0), columnLength(m_view, 1), columnLength(m_view, 2)); }

void Camera::setView(const Mat4& view) {
    m_view = view;
    update();
}

Vec3 Camera::project(const Vec3& p) const {
    const Mat4& c = m_combined;
    const float x = c(0, 0) * p.x + c(0, 1) * p.y + c(0, 2) * p.z + c(0, 3);
    const float y = c(1, 0) * p.x + c(1, 1) * p.y + c(1, 2) * p.z + c(1, 3);
    const float z = c(2, 0) * p.x + c(2, 1) * p.y + c(2, 2) * p.z + c(2, 3);
    float w = c(3, 0) * p.x + c(3, 1) * p.y + c(3, 2) * p.z + c(3, 3);
    if (w == 0)
        w = FLT_MIN;
    const float* vp = m_viewport;
    return Vec3(std::floor((x / w + 1) * (vp[1] - vp[0]) / 2 + vp[0]), std::floor((y / w + 1) * (vp[3] - vp[2]) / 2 + vp[2]),
                (z / w + 1) / 2);
}

Vec3 Camera::unproject(float wx, float wy, float depth) const {
    const float* vp = m_viewport;
    const float w0 = vp[1] - vp[0], h0 = vp[3] - vp[2];
    const float nx = w0 != 0 ? (wx - vp[0]) * 2 / w0 - 1 : 0;
    const float ny = h0 != 0 ? (wy - vp[2]) * 2 / h0 - 1 : 0;
    const float nz = depth * 2 - 1;
    const Mat4& i = m_inverse;
    const float x = i(0, 0) * nx + i(0, 1) * ny + i(0, 2) * nz + i(0, 3);
    const float y = i(1, 0) * nx + i(1, 1) * ny + i(1, 2) * nz + i(1, 3);
    const float z = i(2, 0) * nx + i(2, 1) * ny + i(2, 2) * nz + i(2, 3);
    float w = i(3, 0) * nx + i(3, 1) * ny + i(3, 2) * nz + i(3, 3);
    if (w == 0)
        w = FLT_MIN;
    return Vec3(x / w, y / w, z / w);
}

float Camera::nearDepth() const {
    if (projectionKind == 0)
        return m_near;
    return m_projection.m[10] != 0 ? (m_projection.m[14] + 1) / m_projection.m[10] : 0;
}

void Camera::apply() const {
    glViewport(GLint(m_viewport[0]), GLint(m_viewport[2]), GLsizei(m_viewport[1] - m_viewport[0]),
               GLsizei(m_viewport[3] - m_viewport[2]));
    glMatrixMode(GL_PROJECTION);
    glLoadMatrixf(m_projection.data());
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(m_view.data());
}

Vec3 Camera::trackballPoint(float px, float py) const {
    const float w = width() > 0 ? width() : 1, h = height() > 0 ? height() : 1;
    const float x = 2 * px / w - 1, y = 1 - 2 * py / h;
    const float d = x * x + y * y;
    if (d > 1)
        return math3d::normalize(Vec3(x, y, 0));
    return Vec3(x, y, std::sqrt(1 - d));
}

void Camera::begin(float px, float py) {
    m_trackStart = trackballPoint(px, py);
    m_trackRotation = Mat3::identity();
}

void Camera::drag(float px, float py) {
    if (singular3(m_trackRotation))
        return;
    const Vec3 p = trackballPoint(px, py);
    const Vec3 n = math3d::cross(m_trackStart, p);
    Mat3 r;
    const float len = math3d::length(n);
    if (len > 1e-5f) {
        const float theta = std::acos(std::fmax(-1.0f, std::fmin(1.0f, math3d::dot(m_trackStart, p))));
        const Vec3 axis = n * (std::sin(theta) / len);
        r = math3d::quatToMat3(math3d::Quat{std::cos(theta), axis.x, axis.y, axis.z});
    }
    // A rotation's inverse is its transpose.
    setUpper3(m_view, r * math3d::transpose(m_trackRotation) * upper3(m_view));
    m_trackRotation = r;
    update();
}

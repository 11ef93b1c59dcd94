#include "geometry/Math3d.h"

#include <algorithm>

namespace math3d {

Vec3 normalize(Vec3 a) {
    const float len = length(a);
    return len > 0 ? a * (1.0f / len) : a;
}

Mat3 operator*(const Mat3& a, const Mat3& b) {
    Mat3 r;
    for (int c = 0; c < 3; ++c)
        for (int rr = 0; rr < 3; ++rr)
            r(rr, c) = a(rr, 0) * b(0, c) + a(rr, 1) * b(1, c) + a(rr, 2) * b(2, c);
    return r;
}

Vec3 operator*(const Mat3& a, Vec3 v) {
    return {a(0, 0) * v.x + a(0, 1) * v.y + a(0, 2) * v.z, a(1, 0) * v.x + a(1, 1) * v.y + a(1, 2) * v.z,
            a(2, 0) * v.x + a(2, 1) * v.y + a(2, 2) * v.z};
}

Mat3 transpose(const Mat3& a) {
    Mat3 r;
    for (int c = 0; c < 3; ++c)
        for (int rr = 0; rr < 3; ++rr)
            r(rr, c) = a(c, rr);
    return r;
}

Mat4 operator*(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int c = 0; c < 4; ++c)
        for (int rr = 0; rr < 4; ++rr)
            r(rr, c) = a(rr, 0) * b(0, c) + a(rr, 1) * b(1, c) + a(rr, 2) * b(2, c) + a(rr, 3) * b(3, c);
    return r;
}

Vec3 transformPoint(const Mat4& a, Vec3 p) {
    return {a(0, 0) * p.x + a(0, 1) * p.y + a(0, 2) * p.z + a(0, 3),
            a(1, 0) * p.x + a(1, 1) * p.y + a(1, 2) * p.z + a(1, 3),
            a(2, 0) * p.x + a(2, 1) * p.y + a(2, 2) * p.z + a(2, 3)};
}

Vec3 transformDirection(const Mat4& a, Vec3 d) {
    return {a(0, 0) * d.x + a(0, 1) * d.y + a(0, 2) * d.z, a(1, 0) * d.x + a(1, 1) * d.y + a(1, 2) * d.z,
            a(2, 0) * d.x + a(2, 1) * d.y + a(2, 2) * d.z};
}

Mat4 inverse(const Mat4& a) {
    // Gauss-Jordan elimination with partial pivoting, in double precision.
    double w[4][8];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) {
            w[r][c] = a(r, c);
            w[r][c + 4] = r == c ? 1.0 : 0.0;
        }
    for (int col = 0; col < 4; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 4; ++r)
            if (std::abs(w[r][col]) > std::abs(w[pivot][col]))
                pivot = r;
        if (std::abs(w[pivot][col]) < 1e-12)
            return Mat4::identity();
        std::swap(w[pivot], w[col]);
        const double inv = 1.0 / w[col][col];
        for (double& v : w[col])
            v *= inv;
        for (int r = 0; r < 4; ++r) {
            if (r == col)
                continue;
            const double f = w[r][col];
            for (int c = 0; c < 8; ++c)
                w[r][c] -= f * w[col][c];
        }
    }
    Mat4 r;
    for (int rr = 0; rr < 4; ++rr)
        for (int c = 0; c < 4; ++c)
            r(rr, c) = static_cast<float>(w[rr][c + 4]);
    return r;
}

Mat4 compose(Vec3 t, Vec3 s, const Mat3& rot) {
    Mat4 r;
    for (int c = 0; c < 3; ++c)
        for (int rr = 0; rr < 3; ++rr)
            r(rr, c) = s[c] * rot(rr, c);
    r(0, 3) = t.x;
    r(1, 3) = t.y;
    r(2, 3) = t.z;
    return r;
}

Quat operator*(const Quat& a, const Quat& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z, a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x, a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

Quat normalize(const Quat& q) {
    const float len = std::sqrt(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z);
    if (len <= 0)
        return Quat{};
    return {q.w / len, q.x / len, q.y / len, q.z / len};
}

Quat axisAngle(Vec3 axis, float angle) {
    const float s = std::sin(angle * 0.5f);
    return {std::cos(angle * 0.5f), axis.x * s, axis.y * s, axis.z * s};
}

Quat eulerToQuat(Vec3 e) {
    return axisAngle({0, 0, 1}, e.z) * axisAngle({0, 1, 0}, e.y) * axisAngle({1, 0, 0}, e.x);
}

Mat3 quatToMat3(const Quat& qin) {
    const Quat q = normalize(qin);
    const float w = q.w, x = q.x, y = q.y, z = q.z;
    Mat3 r;
    r(0, 0) = 1 - 2 * (y * y + z * z);
    r(0, 1) = 2 * (x * y - w * z);
    r(0, 2) = 2 * (x * z + w * y);
    r(1, 0) = 2 * (x * y + w * z);
    r(1, 1) = 1 - 2 * (x * x + z * z);
    r(1, 2) = 2 * (y * z - w * x);
    r(2, 0) = 2 * (x * z - w * y);
    r(2, 1) = 2 * (y * z + w * x);
    r(2, 2) = 1 - 2 * (x * x + y * y);
    return r;
}

Vec3 mat3ToEuler(const Mat3& r) {
    // R = Rz(z) Ry(y) Rx(x): r(2,0) = -sin y, r(2,1) = cos y sin x, r(2,2) = cos y cos x,
    // r(1,0) = cos y sin z, r(0,0) = cos y cos z.
    const float sy = std::clamp(-r(2, 0), -1.0f, 1.0f);
    const float y = std::asin(sy);
    if (std::abs(sy) < 0.9999f)
        return {std::atan2(r(2, 1), r(2, 2)), y, std::atan2(r(1, 0), r(0, 0))};
    // Gimbal lock: only x - z (or x + z) is defined; take x = 0.
    return {0.0f, y, std::atan2(-r(0, 1), r(1, 1))};
}

Mat3 eulerToMat3(Vec3 euler) { return quatToMat3(eulerToQuat(euler)); }

} // namespace math3d

#pragma once
// The small linear-algebra kit of the editor: 3-vectors, 3 x 3 and 4 x 4
// matrices in column-major (OpenGL) order, quaternions, and Euler angles.
// Euler angles (x, y, z) are in radians and mean R = Rz * Ry * Rx: a point is
// turned about x first, then y, then z (all about the fixed axes).

#include <array>
#include <cmath>

namespace math3d {

struct Vec3 {
    float x = 0, y = 0, z = 0;
    Vec3() = default;
    Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}
    float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    float operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline float length(Vec3 a) { return std::sqrt(dot(a, a)); }
// a / |a|, or a unchanged when its length is 0.
Vec3 normalize(Vec3 a);

// 3 x 3 matrix, column-major: m[col * 3 + row].
struct Mat3 {
    std::array<float, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};
    float& operator()(int row, int col) { return m[col * 3 + row]; }
    float operator()(int row, int col) const { return m[col * 3 + row]; }
    static Mat3 identity() { return {}; }
};
Mat3 operator*(const Mat3& a, const Mat3& b);
Vec3 operator*(const Mat3& a, Vec3 v);
Mat3 transpose(const Mat3& a);

// 4 x 4 matrix, column-major: m[col * 4 + row]; data() can go to glMultMatrixf.
struct Mat4 {
    std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float& operator()(int row, int col) { return m[col * 4 + row]; }
    float operator()(int row, int col) const { return m[col * 4 + row]; }
    const float* data() const { return m.data(); }
    static Mat4 identity() { return {}; }
};
Mat4 operator*(const Mat4& a, const Mat4& b);
// Transforms the point (x, y, z, 1) and drops w.
Vec3 transformPoint(const Mat4& a, Vec3 p);
// Transforms the direction (x, y, z, 0).
Vec3 transformDirection(const Mat4& a, Vec3 d);
// Inverse of a general 4 x 4 matrix; identity when it is singular.
Mat4 inverse(const Mat4& a);

// Column 0 = s.x * r column 0, column 1 = s.y * r column 1, column 2 =
// s.z * r column 2, column 3 = (t, 1), last row (0, 0, 0, 1).
Mat4 compose(Vec3 translation, Vec3 scale, const Mat3& rotation);

struct Quat {
    float w = 1, x = 0, y = 0, z = 0;
};
Quat operator*(const Quat& a, const Quat& b);
Quat normalize(const Quat& q);
// Rotation by `angle` radians about the unit axis.
Quat axisAngle(Vec3 axis, float angle);
Quat eulerToQuat(Vec3 euler);
Mat3 quatToMat3(const Quat& q);
// Euler angles of a pure rotation matrix (the inverse of quatToMat3(eulerToQuat())),
// y in [-pi/2, pi/2]; at the poles x is taken as 0.
Vec3 mat3ToEuler(const Mat3& r);
// Rotation matrix of Euler angles (through the quaternion).
Mat3 eulerToMat3(Vec3 euler);

inline float degToRad(float d) { return d / 180.0f * 3.14159265358979323846f; }
inline float radToDeg(float r) { return r * 180.0f / 3.14159265358979323846f; }

} // namespace math3d

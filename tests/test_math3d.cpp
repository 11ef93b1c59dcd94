#include "geometry/Math3d.h"

#include <gtest/gtest.h>
#include <random>

using namespace math3d;

namespace {
void expectNear(const Mat3& a, const Mat3& b, float tol) {
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(a.m[i], b.m[i], tol) << "entry " << i;
}
} // namespace

TEST(Math3d, eulerRoundTripsThroughQuaternionAndMatrix) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> angle(-3.1f, 3.1f), pitch(-1.5f, 1.5f);
    for (int i = 0; i < 500; ++i) {
        const Vec3 e{angle(rng), pitch(rng), angle(rng)};
        const Mat3 r = eulerToMat3(e);
        const Vec3 back = mat3ToEuler(r);
        expectNear(eulerToMat3(back), r, 2e-5f);
        EXPECT_NEAR(back.y, e.y, 1e-3f);
    }
}

TEST(Math3d, eulerOrderTurnsAboutXThenYThenZ) {
    // x by 90 degrees maps y to z; then z by 90 degrees leaves z alone.
    const Mat3 r = eulerToMat3({degToRad(90), 0, degToRad(90)});
    const Vec3 v = r * Vec3{0, 1, 0};
    EXPECT_NEAR(v.x, 0, 1e-6f);
    EXPECT_NEAR(v.y, 0, 1e-6f);
    EXPECT_NEAR(v.z, 1, 1e-6f);
    const Vec3 w = r * Vec3{1, 0, 0};  // x stays x under Rx, then Rz turns it to y
    EXPECT_NEAR(w.y, 1, 1e-6f);
}

TEST(Math3d, composeLaysOutColumnMajorTransform) {
    const Mat3 rot = eulerToMat3({0, 0, degToRad(90)});
    const Mat4 m = compose({1, 2, 3}, {2, 3, 4}, rot);
    EXPECT_FLOAT_EQ(m.m[12], 1);
    EXPECT_FLOAT_EQ(m.m[13], 2);
    EXPECT_FLOAT_EQ(m.m[14], 3);
    EXPECT_FLOAT_EQ(m.m[15], 1);
    EXPECT_FLOAT_EQ(m.m[3], 0);
    const Vec3 p = transformPoint(m, {1, 0, 0});  // scaled by 2 then turned to +y
    EXPECT_NEAR(p.x, 1, 1e-6f);
    EXPECT_NEAR(p.y, 4, 1e-6f);
    EXPECT_NEAR(p.z, 3, 1e-6f);
    const Mat4 id = m * inverse(m);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(id.m[i], Mat4::identity().m[i], 1e-5f);
}

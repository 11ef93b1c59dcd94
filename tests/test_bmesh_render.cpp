// The half-edge mesh drawn into an offscreen framebuffer: face colours by
// selection, vertex points by selection, flat drawing, GL state restored.

#include "GlOffscreen.h"
#include "GuiTestSupport.h"
#include "TestSupport.h"

#include "geometry/BMesh.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

using namespace testing_support;
using Rgb = std::array<int, 3>;

namespace {

constexpr int kSize = 32;

// Two quads side by side covering the viewport: left x in [0, 0.5], right
// x in [0.5, 1]. Corners sit on pixel centres so that points land on pixels.
struct TwoQuads {
    kvo::BMesh bm;
    std::vector<kvo::BMVert*> v; // (x, y) grid 3 x 2, index y * 3 + x
    kvo::BMFace* left = nullptr;
    kvo::BMFace* right = nullptr;

    explicit TwoQuads(const GlOffscreen& gl) {
        const float xs[3] = {gl.centre(0), gl.centre(kSize / 2), gl.centre(kSize - 1)};
        const float ys[2] = {gl.centre(0), gl.centre(kSize - 1)};
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 3; ++x) {
                const float co[3] = {xs[x], ys[y], 0};
                v.push_back(bm.createVert(co));
            }
        kvo::BMVert* l[4] = {v[0], v[1], v[4], v[3]};
        kvo::BMVert* r[4] = {v[1], v[2], v[5], v[4]};
        left = bm.createFaceFromVerts(l, 4);
        right = bm.createFaceFromVerts(r, 4);
    }
};

void expectNear(const Rgb& got, const Rgb& want, const char* what) {
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(got[size_t(i)], want[size_t(i)], 2) << what << " channel " << i;
}

} // namespace

TEST(BMeshRender, colorsFacesByTheirSelection) {
    guiApp();
    GlOffscreen gl(kSize);
    ASSERT_TRUE(gl.ready()) << "no OpenGL context on this display (run under Xvfb)";
    TwoQuads m(gl);
    for (kvo::BMVert* w : {m.v[1], m.v[2], m.v[4], m.v[5]})
        m.bm.selectVert(w, true);
    ASSERT_TRUE(m.right->head.select);
    ASSERT_FALSE(m.left->head.select);
    m.bm.render(0x4);
    expectNear(gl.pixel(8, 16), Rgb{91, 97, 109}, "unselected face");
    expectNear(gl.pixel(24, 16), Rgb{79, 56, 79}, "selected face");
    EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL)) << "attributes restored";
    EXPECT_FALSE(glIsEnabled(GL_POLYGON_OFFSET_FILL));
}

TEST(BMeshRender, drawsVertexPointsInSelectionColours) {
    guiApp();
    GlOffscreen gl(kSize);
    ASSERT_TRUE(gl.ready()) << "no OpenGL context on this display (run under Xvfb)";
    TwoQuads m(gl);
    glClearColor(1, 1, 1, 1); // white, so that black points show
    glClear(GL_COLOR_BUFFER_BIT);
    m.bm.selectVert(m.v[2], true);
    m.bm.render(0x1);
    expectNear(gl.pixel(kSize - 1, 0), Rgb{175, 175, 48}, "selected vertex");
    expectNear(gl.pixel(0, 0), Rgb{0, 0, 0}, "unselected vertex");
    expectNear(gl.pixel(8, 16), Rgb{255, 255, 255}, "no face drawn in points mode");
}

TEST(BMeshRender, flatDrawingUsesOneColourForEveryFace) {
    guiApp();
    GlOffscreen gl(kSize);
    ASSERT_TRUE(gl.ready()) << "no OpenGL context on this display (run under Xvfb)";
    TwoQuads m(gl);
    m.right->head.select = 1;
    m.bm.renderFlat(math3d::Vec3(0, 1, 0));
    expectNear(gl.pixel(8, 16), Rgb{0, 255, 0}, "left face");
    expectNear(gl.pixel(24, 16), Rgb{0, 255, 0}, "right face");
}

// Meshes and scene nodes drawn into an offscreen framebuffer: textures,
// exact pick colours, hidden faces and node transforms.

#include "geometry/ObjMesh.h"
#include "images/ImageBuffer.h"
#include "images/ResourceManager.h"
#include "scenegraph/GLNode.h"
#include "GlOffscreen.h"
#include "GuiTestSupport.h"
#include "TestSupport.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <memory>

using namespace testing_support;

namespace {

constexpr int kSize = 64;
using Rgb = std::array<int, 3>;

// Quad over the unit square: two triangles (0,1,2) and (0,2,3), texture
// coordinates equal to the positions.
const char* kQuad = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                    "f 1/1 2/2 3/3\nf 1/1 3/3 4/4\n";

class MeshRender : public testing::Test {
protected:
    void SetUp() override {
        guiApp(); // before any Qt GUI object
        target = std::make_unique<GlOffscreen>(kSize);
        ASSERT_TRUE(target->ready()) << "no OpenGL context on this display (run under Xvfb)";
    }
    void TearDown() override { target.reset(); }
    // Colour of the framebuffer pixel at (x, y), 0 .. kSize - 1 from the bottom left.
    Rgb pixel(int x, int y) { return target->pixel(x, y); }
    ObjMesh quad() {
        ObjMesh m;
        EXPECT_EQ(m.loadObjBytes(kQuad, "quad.obj", false, false), 1);
        return m;
    }

    TraceCapture trace;
    std::unique_ptr<GlOffscreen> target;
};

// A 4 x 4 picture whose quadrants have one colour each (top-left red,
// top-right green, bottom-left blue, bottom-right white), as a PNG file.
std::string writeQuadrantPicture(const std::string& path) {
    ImageBuffer img;
    img.create(4, 4, 4);
    for (int row = 0; row < 4; ++row) { // row 0 is the bottom row
        for (int x = 0; x < 4; ++x) {
            const bool top = row >= 2, right = x >= 2;
            Rgb c = top ? (right ? Rgb{0, 255, 0} : Rgb{255, 0, 0}) : (right ? Rgb{255, 255, 255} : Rgb{0, 0, 255});
            uint8_t* p = &img.data[(row * 4 + x) * 4];
            p[0] = uint8_t(c[2]); // B, G, R, A
            p[1] = uint8_t(c[1]);
            p[2] = uint8_t(c[0]);
            p[3] = 255;
        }
    }
    EXPECT_TRUE(img.imwrite(path));
    return path;
}

} // namespace

TEST_F(MeshRender, texturedQuadShowsItsTexture) {
    ScratchDir dir;
    const std::string path = writeQuadrantPicture(dir.file("quadrants.png"));
    ObjMesh m = quad();
    ASSERT_EQ(m.loadTexture(path), 1);
    auto table = ResourceManager::instance();
    table->uploadAll(0);
    m.materials[0].texId[0] = table->getTexid(path, 0); // what a viewport does for its slot
    ASSERT_NE(m.materials[0].texId[0], 0u);
    m.render(RenderMode::faces | RenderMode::textured);
    EXPECT_EQ(pixel(16, 48), (Rgb{255, 0, 0}));
    EXPECT_EQ(pixel(48, 48), (Rgb{0, 255, 0}));
    EXPECT_EQ(pixel(16, 16), (Rgb{0, 0, 255}));
    EXPECT_EQ(pixel(48, 16), (Rgb{255, 255, 255}));
    // Without the textured bit the same quad is drawn untextured.
    glClear(GL_COLOR_BUFFER_BIT);
    m.render(RenderMode::faces);
    EXPECT_EQ(pixel(16, 48), pixel(48, 16));
    EXPECT_NE(pixel(16, 48), (Rgb{0, 0, 0}));
}

TEST_F(MeshRender, flatDrawingWritesTheExactPickColourEvenWithATextureBound) {
    ScratchDir dir;
    const std::string path = writeQuadrantPicture(dir.file("q.png"));
    ResourceManager::instance()->addTex(path);
    ResourceManager::instance()->uploadAll(0);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, ResourceManager::instance()->getTexid(path, 0));
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);

    ObjMesh left = quad(), right = quad(), hidden = quad();
    hidden.faces[0].hidden = hidden.faces[1].hidden = true; // flat drawing ignores hiding
    GLNode root;
    GLNode* l = root.addChild(GLNode());
    l->setScale({0.5f, 1, 1});
    l->addMesh(&left);
    GLNode* r = root.addChild(GLNode());
    r->setPosition({0.5f, 0, 0});
    r->setScale({0.5f, 0.5f, 1});
    r->addMesh(&right);
    GLNode* h = r->addChild(GLNode());
    h->setPosition({0, 1, 0});
    h->addMesh(&hidden);
    int32_t id = 0x00ABCDEF - 1; // colours that use all three channels
    root.renderPick(id);
    EXPECT_EQ(id, 0x00ABCDEF + 2);
    const struct {
        int x, y;
        int k;
    } probes[] = {{16, 32, 0}, {48, 16, 1}, {48, 48, 2}};
    for (const auto& p : probes) {
        const Rgb c = pixel(p.x, p.y);
        const int value = (c[0] << 16) | (c[1] << 8) | c[2];
        EXPECT_EQ(value, 0x00ABCDEF - 1 + p.k) << p.x << "," << p.y;
        const auto found = root.findMeshByIndex(value - (0x00ABCDEF - 1));
        const Renderable* expected[] = {&left, &right, &hidden};
        EXPECT_EQ(found.first, expected[p.k]);
    }
    // Not pickable or invisible: nothing drawn.
    glDisable(GL_BLEND);
    glClear(GL_COLOR_BUFFER_BIT);
    left.pickable = false;
    right.visible = false;
    left.renderFlat({1, 1, 1});
    right.renderFlat({1, 1, 1});
    EXPECT_EQ(pixel(16, 32), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixel(48, 16), (Rgb{0, 0, 0}));
}

TEST_F(MeshRender, hiddenFacesAreNotDrawn) {
    ObjMesh m = quad();
    m.faces[1].hidden = true; // the upper-left triangle (0, 2, 3)
    m.render(RenderMode::faces);
    const Rgb lowerRight = pixel(48, 8), upperLeft = pixel(8, 48);
    EXPECT_NE(lowerRight, (Rgb{0, 0, 0}));
    EXPECT_EQ(upperLeft, (Rgb{0, 0, 0}));
    glClear(GL_COLOR_BUFFER_BIT);
    m.render(RenderMode::faces | RenderMode::wire);
    EXPECT_EQ(pixel(8, 48), (Rgb{0, 0, 0}));
    glClear(GL_COLOR_BUFFER_BIT);
    m.faces[1].hidden = false;
    m.dirty = true;
    m.render(RenderMode::faces);
    EXPECT_EQ(pixel(8, 48), lowerRight);
    // An invisible mesh draws nothing at all.
    glClear(GL_COLOR_BUFFER_BIT);
    m.visible = false;
    m.render(RenderMode::faces | RenderMode::wire | RenderMode::points);
    EXPECT_EQ(pixel(8, 48), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixel(0, 0), (Rgb{0, 0, 0}));
}

TEST_F(MeshRender, viewsWithTheSameShadingShareTheDrawArrays) {
    ObjMesh m = quad();
    m.render(RenderMode::faces | RenderMode::smooth);
    // Moved off the target without marking the arrays dirty: a view drawing
    // in another mode with the same shading draws the arrays it finds; one
    // that shades flat builds its own from the moved vertices.
    for (auto& v : m.vertices)
        v.x += 2;
    const struct { int32_t mode; bool onTarget; } cases[] = {
        {RenderMode::faces | RenderMode::smooth | RenderMode::wire, true}, {RenderMode::faces, false}};
    for (const auto& c : cases) {
        glClear(GL_COLOR_BUFFER_BIT);
        m.render(c.mode);
        EXPECT_EQ(pixel(32, 32) != (Rgb{0, 0, 0}), c.onTarget) << c.mode;
    }
}

TEST_F(MeshRender, nodesDrawUnderTheirTransformsAndInvisibleNodesNot) {
    ObjMesh a = quad(), b = quad();
    GLNode root;
    GLNode* na = root.addChild(GLNode());
    na->setScale({0.25f, 0.25f, 1});
    na->addMesh(&a);
    GLNode* nb = na->addChild(GLNode());
    nb->setPosition({3, 3, 0}); // in na's space: (0.75, 0.75) to (1, 1)
    nb->addMesh(&b);
    root.render(RenderMode::faces);
    EXPECT_NE(pixel(8, 8), (Rgb{0, 0, 0}));
    EXPECT_NE(pixel(56, 56), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixel(32, 32), (Rgb{0, 0, 0}));
    glClear(GL_COLOR_BUFFER_BIT);
    na->visible = false;
    root.render(RenderMode::faces);
    EXPECT_EQ(pixel(8, 8), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixel(56, 56), (Rgb{0, 0, 0}));
}

TEST_F(MeshRender, wireframeShowsSelectionAndHighlightColours) {
    ObjMesh m = quad();
    // The bottom edge runs through the centres of pixel row 16.
    glTranslatef(0.25f, 16.5f / kSize, 0);
    glScalef(0.5f, 0.5f, 1);
    m.render(RenderMode::wire);
    const Rgb wire = pixel(32, 16); // (0.2, 0.3, 0.6), rounding left to the driver
    const Rgb expected = {51, 77, 153};
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(wire[c], expected[c], 1) << c;
    EXPECT_EQ(pixel(32, 24), (Rgb{0, 0, 0}));     // faces are not drawn
    glClear(GL_COLOR_BUFFER_BIT);
    m.highlighted = true;
    m.render(RenderMode::wire);
    EXPECT_EQ(pixel(32, 16), (Rgb{255, 255, 255}));
    glClear(GL_COLOR_BUFFER_BIT);
    m.vertexFlags.assign(4, 1);
    m.render(RenderMode::wire);
    EXPECT_EQ(pixel(32, 16), (Rgb{255, 255, 0}));
}

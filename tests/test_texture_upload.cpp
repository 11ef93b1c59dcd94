#include "images/ResourceManager.h"
#include "GuiTestSupport.h"
#include "PngTestFiles.h"
#include "TestSupport.h"

#include <GL/gl.h>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <gtest/gtest.h>
#include <memory>

using namespace testing_support;

namespace {

// One GL context (not sharing names with any other) and a surface for it.
struct GlSlot {
    GlSlot() {
        surface.create();
        context.create();
    }
    bool makeCurrent() { return context.makeCurrent(&surface); }
    QOffscreenSurface surface;
    QOpenGLContext context;
};

std::vector<uint8_t> textureBytes(GLuint name, GLint& width, GLint& height) {
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
    std::vector<uint8_t> bytes(size_t(width) * size_t(height) * 4);
    if (!bytes.empty())
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return bytes;
}

class TextureUploadTest : public testing::Test {
protected:
    void SetUp() override {
        guiApp();
        slot0 = std::make_unique<GlSlot>();
        slot1 = std::make_unique<GlSlot>();
        ASSERT_TRUE(slot0->context.isValid() && slot1->makeCurrent() && slot0->makeCurrent())
            << "no OpenGL context on this display (run under Xvfb)";
        slot0->context.doneCurrent();
    }
    void TearDown() override {
        if (slot0 && QOpenGLContext::currentContext())
            QOpenGLContext::currentContext()->doneCurrent();
    }
    std::unique_ptr<GlSlot> slot0, slot1;
};

} // namespace

TEST_F(TextureUploadTest, eachSlotGetsItsOwnNamesAndReuploadRecreatesThem) {
    ScratchDir dir;
    const std::string good = dir.file("pic.png"), bad = dir.file("absent.png");
    // 3 x 2, top row first
    writeFile(good, makePng(3, 2, PngColor::Rgba, 8, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12,
                                                      13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}));
    auto table = ResourceManager::instance();
    TraceCapture trace;
    table->addTex(good);
    table->addTex(bad);
    const std::vector<uint8_t> expected = table->find(good)->pixels;
    ASSERT_EQ(expected.size(), 24u);

    ASSERT_TRUE(slot0->makeCurrent());
    table->uploadAll(0);
    const GLuint good0 = table->getTexid(good, 0), bad0 = table->getTexid(bad, 0);
    ASSERT_NE(good0, 0u);
    ASSERT_NE(bad0, 0u);
    EXPECT_TRUE(glIsTexture(good0));
    EXPECT_EQ(table->find(good)->contextIndex, 0);
    GLint w = 0, h = 0;
    EXPECT_EQ(textureBytes(good0, w, h), expected);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    textureBytes(bad0, w, h); // a failed load gives an empty texture
    EXPECT_EQ(w, 0);
    GLint filter = 0;
    glBindTexture(GL_TEXTURE_2D, good0);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(table->getTexid(good, 1), 0u);

    ASSERT_TRUE(slot1->makeCurrent());
    table->uploadAll(1);
    const GLuint good1 = table->getTexid(good, 1);
    ASSERT_NE(good1, 0u);
    EXPECT_TRUE(glIsTexture(good1));
    EXPECT_EQ(textureBytes(good1, w, h), expected);
    EXPECT_EQ(table->getTexid(good, 0), good0);
    EXPECT_EQ(table->find(good)->contextIndex, 1);

    // back in slot 0: its names are still valid; spoil the texture, then a
    // second upload deletes and recreates it from the table's pixels
    ASSERT_TRUE(slot0->makeCurrent());
    EXPECT_TRUE(glIsTexture(good0));
    const std::vector<uint8_t> junk(24, 0xEE);
    glBindTexture(GL_TEXTURE_2D, good0);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 3, 2, GL_RGBA, GL_UNSIGNED_BYTE, junk.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    ASSERT_EQ(textureBytes(good0, w, h), junk);
    table->uploadAll(0);
    const GLuint again0 = table->getTexid(good, 0);
    ASSERT_NE(again0, 0u);
    EXPECT_TRUE(glIsTexture(again0));
    EXPECT_EQ(textureBytes(again0, w, h), expected);
    if (again0 != good0) {
        EXPECT_FALSE(glIsTexture(good0));
    }
    EXPECT_EQ(table->getTexid(good, 1), good1);
    EXPECT_FALSE(trace.contains("Get OpenGL contex failed!"));
}

TEST_F(TextureUploadTest, withoutACurrentContextNoNameIsMade) {
    ScratchDir dir;
    const std::string path = dir.file("nocontext.png");
    writeFile(path, makePng(1, 1, PngColor::Rgba, 8, {1, 2, 3, 4}));
    auto table = ResourceManager::instance();
    TraceCapture trace;
    table->addTex(path);
    ASSERT_EQ(QOpenGLContext::currentContext(), nullptr);
    table->uploadAll(3);
    EXPECT_EQ(table->getTexid(path, 3), 0u);
    EXPECT_TRUE(trace.contains("Get OpenGL contex failed!\n"));
}

TEST_F(TextureUploadTest, materialUploadTracesItsNameAndSize) {
    ASSERT_TRUE(slot0->makeCurrent());
    const std::vector<uint8_t> pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    uint32_t ids[kTextureSlots] = {0, 0, 0, 0};
    TraceCapture trace;
    uploadTexture(pixels, 2, 1, 4, ids, 2, "skin.png");
    ASSERT_NE(ids[2], 0u);
    EXPECT_EQ(ids[0] + ids[1] + ids[3], 0u);
    EXPECT_TRUE(trace.contains("texid generated " + std::to_string(ids[2]) + "\n:"));
    EXPECT_TRUE(trace.contains("texsize skin.png: 2,1,8\n"));
    GLint w = 0, h = 0;
    EXPECT_EQ(textureBytes(ids[2], w, h), pixels);

    // the entry upload prints neither line
    TraceCapture plain;
    uploadTexture(pixels, 2, 1, 4, ids, 1);
    EXPECT_NE(ids[1], 0u);
    EXPECT_EQ(plain.all(), "");
}

TEST_F(TextureUploadTest, refusesPixelsThatDoNotFitTheirSizes) {
    ASSERT_TRUE(slot0->makeCurrent());
    const struct {
        const char* name;
        std::vector<uint8_t> pixels;
        int w, h, c, slot;
        const char* message;
    } cases[] = {
        {"bytes short", std::vector<uint8_t>(7), 2, 1, 4, 0, ""},
        {"three channels", std::vector<uint8_t>(6), 2, 1, 3, 0, "uploadTexture, 3-channel pixels, 4 needed\n"},
        {"slot too high", std::vector<uint8_t>(8), 2, 1, 4, 4, "uploadTexture, context slot 4 out of range\n"},
        {"slot negative", std::vector<uint8_t>(8), 2, 1, 4, -1, "uploadTexture, context slot -1 out of range\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        uint32_t ids[kTextureSlots] = {0, 0, 0, 0};
        TraceCapture trace;
        uploadTexture(c.pixels, c.w, c.h, c.c, ids, c.slot);
        EXPECT_EQ(ids[0] + ids[1] + ids[2] + ids[3], 0u);
        EXPECT_EQ(trace.all(), c.message);
    }
}

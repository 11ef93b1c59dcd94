// data/tools/eyes.glsl compiles and links as both stages in a real OpenGL
// context (Mesa under Xvfb), the way the runtime builds it.

#include "TestSupport.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLShaderProgram>

#include <gtest/gtest.h>

namespace {

TEST(EyeShader, compilesAndLinksAsVertexAndFragmentStage) {
    int argc = 1;
    char name[] = "test_eye_shader";
    char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    ASSERT_TRUE(context.create() && context.makeCurrent(&surface)) << "no OpenGL context (run under Xvfb)";

    const std::string source = testing_support::readFile(LUMO_SOURCE_DIR "/data/tools/eyes.glsl");
    ASSERT_FALSE(source.empty());
    QOpenGLShaderProgram program;
    ASSERT_TRUE(program.addShaderFromSourceCode(QOpenGLShader::Vertex,
                                                QByteArray("#define VERTEX\n") + source.c_str()))
        << program.log().toStdString();
    ASSERT_TRUE(program.addShaderFromSourceCode(QOpenGLShader::Fragment,
                                                QByteArray("#define FRAGMENT\n") + source.c_str()))
        << program.log().toStdString();
    ASSERT_TRUE(program.link()) << program.log().toStdString();
    for (const char* uniform : {"u_camera", "u_leftEye", "u_rightEye", "u_eyeRadius", "u_aspect", "u_strength"})
        EXPECT_GE(program.uniformLocation(uniform), 0) << uniform;
    EXPECT_GE(program.attributeLocation("a_position"), 0);
    EXPECT_GE(program.attributeLocation("a_texcoord"), 0);
    context.doneCurrent();
}

} // namespace

// The 3D template's shader pair compiles and links on a real GL driver, and
// every parameter the template script declares is an active uniform of the
// type its kind maps to (slider: float, edit: vec3, texture: sampler2D).

#include "GuiTestSupport.h"
#include "TestSupport.h"

#include "scene/TemplateParam.h"

#include <QApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QOpenGLShaderProgram>

#include <gtest/gtest.h>

#include <map>

using testing_support::TraceCapture;
using testing_support::readFile;

namespace {

const std::string kTemplate = std::string(LUMO_SOURCE_DIR) + "/data/tools/3d_template/";

// Active uniforms of a linked program: name -> GL type.
std::map<std::string, GLenum> activeUniforms(QOpenGLShaderProgram& program, QOpenGLFunctions& gl) {
    std::map<std::string, GLenum> out;
    GLint count = 0;
    gl.glGetProgramiv(program.programId(), GL_ACTIVE_UNIFORMS, &count);
    for (GLint i = 0; i < count; ++i) {
        char name[256];
        GLsizei length = 0;
        GLint size = 0;
        GLenum type = 0;
        gl.glGetActiveUniform(program.programId(), static_cast<GLuint>(i), sizeof name, &length, &size, &type, name);
        out[std::string(name, static_cast<size_t>(length))] = type;
    }
    return out;
}

} // namespace

TEST(TemplateShaders, compileLinkAndUseEveryParameter) {
    testing_support::guiApp();
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    ASSERT_TRUE(context.create());
    ASSERT_TRUE(context.makeCurrent(&surface));

    QOpenGLShaderProgram program;
    ASSERT_TRUE(program.addShaderFromSourceCode(QOpenGLShader::Vertex, readFile(kTemplate + "vert.glsl").c_str()))
        << program.log().toStdString();
    ASSERT_TRUE(program.addShaderFromSourceCode(QOpenGLShader::Fragment, readFile(kTemplate + "frag.glsl").c_str()))
        << program.log().toStdString();
    ASSERT_TRUE(program.link()) << program.log().toStdString();

    std::vector<TemplateParam> globals, materials;
    {
        TraceCapture quiet;
        scanTemplateDeclarations(readFile(kTemplate + "script.js"), globals, materials);
    }
    ASSERT_FALSE(globals.empty());
    ASSERT_FALSE(materials.empty());
    const std::map<std::string, GLenum> uniforms = activeUniforms(program, *context.functions());
    const std::map<std::string, GLenum> typeOfKind = {{"slider", GL_FLOAT}, {"edit", GL_FLOAT_VEC3},
                                                      {"texture", GL_SAMPLER_2D}};
    for (const auto* list : {&globals, &materials})
        for (const TemplateParam& p : *list) {
            auto kind = typeOfKind.find(p.type);
            ASSERT_NE(kind, typeOfKind.end()) << p.name << " has kind " << p.type;
            auto u = uniforms.find(p.name);
            ASSERT_NE(u, uniforms.end()) << p.name << " is not used by the shaders";
            EXPECT_EQ(u->second, kind->second) << p.name;
        }
    for (const char* attribute : {"a_position", "a_normal", "a_texcoord", "a_weight"})
        EXPECT_GE(program.attributeLocation(attribute), 0) << attribute;
    context.doneCurrent();
}

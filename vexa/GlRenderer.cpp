#define GL_GLEXT_PROTOTYPES 1
#include "vexa/GlRenderer.h"

#include "vexa/GlContext.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <cstring>

namespace vexa {

namespace {

const char* kVertex = R"(#version 110
attribute vec4 a_position;
attribute vec2 a_texcoord;
varying vec2 v_texcoord;
void main() {
    v_texcoord = a_texcoord;
    gl_Position = a_position;
}
)";

const char* kFragment = R"(#version 110
uniform sampler2D u_texture;
varying vec2 v_texcoord;
void main() {
    gl_FragColor = texture2D(u_texture, v_texcoord);
}
)";

GLuint compile(GLenum kind, const std::string& source, std::string& reason) {
    const GLuint s = glCreateShader(kind);
    const char* text = source.c_str();
    glShaderSource(s, 1, &text, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024] = {0};
        glGetShaderInfoLog(s, sizeof log - 1, nullptr, log);
        reason = std::string(kind == GL_VERTEX_SHADER ? "vertex" : "fragment") + " shader does not compile: " + log;
        glDeleteShader(s);
        return 0;
    }
    return s;
}

} // namespace

GlRenderer::~GlRenderer() {
    // Only the current context's objects can be deleted; the others go
    // with their contexts.
    const auto it = m_contexts.find(currentGlContext());
    if (it == m_contexts.end() || !it->second.program || !glIsProgram(it->second.program))
        return;
    Targets& t = it->second;
    if (t.fbo)
        glDeleteFramebuffers(1, &t.fbo);
    if (t.color)
        glDeleteTextures(1, &t.color);
    if (t.camera)
        glDeleteTextures(1, &t.camera);
    if (t.depth)
        glDeleteRenderbuffers(1, &t.depth);
    glDeleteProgram(t.program);
}

void GlRenderer::selectContext() {
    const auto [it, fresh] = m_contexts.try_emplace(currentGlContext());
    // A context pointer seen before whose program is gone: that context was
    // destroyed and another took its address; its names are not ours.
    if (!fresh && it->second.program && !glIsProgram(it->second.program))
        it->second = Targets();
    m_gl = &it->second;
    m_width = m_gl->width;
    m_height = m_gl->height;
}

GLuintT GlRenderer::createProgram(const std::string& vertex, const std::string& fragment, std::string& reason) {
    const GLuint vs = compile(GL_VERTEX_SHADER, vertex, reason);
    if (!vs)
        return 0;
    const GLuint fs = compile(GL_FRAGMENT_SHADER, fragment, reason);
    if (!fs) {
        glDeleteShader(vs);
        return 0;
    }
    const GLuint p = glCreateProgram();
    glAttachShader(p, vs);
    glAttachShader(p, fs);
    glBindAttribLocation(p, 0, "a_position");
    glLinkProgram(p);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[1024] = {0};
        glGetProgramInfoLog(p, sizeof log - 1, nullptr, log);
        reason = std::string("program does not link: ") + log;
        glDeleteProgram(p);
        return 0;
    }
    return p;
}

void GlRenderer::deleteProgram(GLuintT program) {
    if (program)
        glDeleteProgram(program);
}

GLuintT GlRenderer::createTexture(const unsigned char* rgba, int width, int height) {
    GLint oldTex = 0, oldAlign = 4;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &oldTex);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &oldAlign);
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glPixelStorei(GL_UNPACK_ALIGNMENT, oldAlign);
    glBindTexture(GL_TEXTURE_2D, GLuint(oldTex));
    return t;
}

void GlRenderer::deleteTexture(GLuintT texture) {
    if (texture)
        glDeleteTextures(1, &texture);
}

bool GlRenderer::ensureTargets(int width, int height, std::string& reason) {
    Targets& t = *m_gl;
    if (!t.program) {
        t.program = createProgram(kVertex, kFragment, reason);
        if (!t.program)
            return false;
        t.programPos = glGetAttribLocation(t.program, "a_position");
        t.programUv = glGetAttribLocation(t.program, "a_texcoord");
        t.programTex = glGetUniformLocation(t.program, "u_texture");
    }
    if (t.fbo && width == t.width && height == t.height)
        return true;
    if (!t.fbo)
        glGenFramebuffers(1, &t.fbo);
    if (!t.color)
        glGenTextures(1, &t.color);
    if (!t.camera)
        glGenTextures(1, &t.camera);
    if (!t.depth)
        glGenRenderbuffers(1, &t.depth);
    for (GLuint t : {t.color, t.camera}) {
        glBindTexture(GL_TEXTURE_2D, t);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, t.depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, t.fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, t.color, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, t.depth);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        reason = "offscreen framebuffer incomplete (status " + std::to_string(status) + ")";
        t.width = t.height = m_width = m_height = 0;
        return false;
    }
    t.width = m_width = width;
    t.height = m_height = height;
    return true;
}

void GlRenderer::saveState() {
    if (!m_gl->versionChecked) {
        const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
        m_gl->hasVertexArrays = version && version[0] >= '3' && version[0] <= '9';
        m_gl->versionChecked = true;
    }
    Saved& s = m_saved;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &s.fbo);
    glGetIntegerv(GL_VIEWPORT, s.viewport);
    glGetIntegerv(GL_CURRENT_PROGRAM, &s.program);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s.activeTexture);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture);
    glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &s.arrayBuffer);
    if (m_gl->hasVertexArrays)
        glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &s.vertexArray);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &s.unpackAlign);
    glGetIntegerv(GL_PACK_ALIGNMENT, &s.packAlign);
    glGetIntegerv(GL_UNPACK_ROW_LENGTH, &s.unpackRowLength);
    glGetIntegerv(GL_PACK_ROW_LENGTH, &s.packRowLength);
    s.blend = glIsEnabled(GL_BLEND);
    s.depth = glIsEnabled(GL_DEPTH_TEST);
    s.cull = glIsEnabled(GL_CULL_FACE);
    s.scissor = glIsEnabled(GL_SCISSOR_TEST);
    glGetIntegerv(GL_BLEND_SRC_RGB, &s.blendSrc);
    glGetIntegerv(GL_BLEND_DST_RGB, &s.blendDst);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &s.blendSrcA);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &s.blendDstA);
}

void GlRenderer::restoreState() {
    const Saved& s = m_saved;
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(s.fbo));
    glViewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
    glUseProgram(GLuint(s.program));
    glBindTexture(GL_TEXTURE_2D, GLuint(s.texture));
    glActiveTexture(GLenum(s.activeTexture));
    glBindBuffer(GL_ARRAY_BUFFER, GLuint(s.arrayBuffer));
    if (m_gl->hasVertexArrays)
        glBindVertexArray(GLuint(s.vertexArray));
    glPixelStorei(GL_UNPACK_ALIGNMENT, s.unpackAlign);
    glPixelStorei(GL_PACK_ALIGNMENT, s.packAlign);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, s.unpackRowLength);
    glPixelStorei(GL_PACK_ROW_LENGTH, s.packRowLength);
    (s.blend ? glEnable : glDisable)(GL_BLEND);
    (s.depth ? glEnable : glDisable)(GL_DEPTH_TEST);
    (s.cull ? glEnable : glDisable)(GL_CULL_FACE);
    (s.scissor ? glEnable : glDisable)(GL_SCISSOR_TEST);
    glBlendFuncSeparate(GLenum(s.blendSrc), GLenum(s.blendDst), GLenum(s.blendSrcA), GLenum(s.blendDstA));
}

bool GlRenderer::begin(const unsigned char* rgba, int width, int height, std::string& reason) {
    while (glGetError() != GL_NO_ERROR) {
    }
    selectContext();
    saveState();
    if (!ensureTargets(width, height, reason)) {
        restoreState();
        return false;
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    if (m_gl->hasVertexArrays)
        glBindVertexArray(0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindTexture(GL_TEXTURE_2D, m_gl->camera);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    glBindFramebuffer(GL_FRAMEBUFFER, m_gl->fbo);
    glViewport(0, 0, width, height);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_CULL_FACE);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The camera picture, row 0 at the top of the frame.
    const std::vector<ClipVertex> quad = {
        {-1, 1, 0, 1, 0, 0}, {1, 1, 0, 1, 1, 0}, {1, -1, 0, 1, 1, 1},
        {-1, 1, 0, 1, 0, 0}, {1, -1, 0, 1, 1, 1}, {-1, -1, 0, 1, 0, 1},
    };
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    drawTriangles(m_gl->camera, quad, false);
    const GLenum err = glGetError();
    if (err != GL_NO_ERROR) {
        reason = "GL error " + std::to_string(err) + " while drawing the frame";
        restoreState();
        return false;
    }
    return true;
}

void GlRenderer::drawTriangles(GLuintT texture, const std::vector<ClipVertex>& v, bool depth) {
    if (v.empty())
        return;
    const Targets& t = *m_gl;
    glUseProgram(t.program);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, texture);
    glUniform1i(t.programTex, 0);
    if (texture != t.camera) {
        glEnable(GL_BLEND);
        glBlendFuncSeparate(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
    }
    if (depth) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glClear(GL_DEPTH_BUFFER_BIT);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    glEnableVertexAttribArray(GLuint(t.programPos));
    glEnableVertexAttribArray(GLuint(t.programUv));
    glVertexAttribPointer(GLuint(t.programPos), 4, GL_FLOAT, GL_FALSE, sizeof(ClipVertex), &v[0].x);
    glVertexAttribPointer(GLuint(t.programUv), 2, GL_FLOAT, GL_FALSE, sizeof(ClipVertex), &v[0].s);
    glDrawArrays(GL_TRIANGLES, 0, GLsizei(v.size()));
    glDisableVertexAttribArray(GLuint(t.programPos));
    glDisableVertexAttribArray(GLuint(t.programUv));
    glDisable(GL_DEPTH_TEST);
}

void GlRenderer::useProgramForEyes(GLuintT program, float lx, float ly, float rx, float ry, float radius,
                                   float aspect) {
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "u_camera"), 0);
    glUniform2f(glGetUniformLocation(program, "u_leftEye"), lx, ly);
    glUniform2f(glGetUniformLocation(program, "u_rightEye"), rx, ry);
    glUniform1f(glGetUniformLocation(program, "u_eyeRadius"), radius);
    glUniform1f(glGetUniformLocation(program, "u_aspect"), aspect);
    glUniform1f(glGetUniformLocation(program, "u_strength"), 1.0f);
}

void GlRenderer::drawWithCamera(GLuintT program, const float quad[4][4]) {
    // The camera picture as drawn so far is the input: copy the framebuffer
    // into the camera texture so earlier effects stay visible.
    glBindTexture(GL_TEXTURE_2D, m_gl->camera);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, m_width, m_height);
    glUseProgram(program);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_gl->camera);
    const GLint pos = glGetAttribLocation(program, "a_position");
    const GLint uv = glGetAttribLocation(program, "a_texcoord");
    if (pos < 0 || uv < 0)
        return;
    float p[12], t[12];
    const int order[6] = {0, 1, 2, 0, 2, 3};
    for (int i = 0; i < 6; ++i) {
        p[2 * i] = quad[order[i]][0];
        p[2 * i + 1] = quad[order[i]][1];
        t[2 * i] = quad[order[i]][2];
        t[2 * i + 1] = quad[order[i]][3];
    }
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glEnableVertexAttribArray(GLuint(pos));
    glEnableVertexAttribArray(GLuint(uv));
    glVertexAttribPointer(GLuint(pos), 2, GL_FLOAT, GL_FALSE, 0, p);
    glVertexAttribPointer(GLuint(uv), 2, GL_FLOAT, GL_FALSE, 0, t);
    glDrawArrays(GL_TRIANGLES, 0, 6);
    glDisableVertexAttribArray(GLuint(pos));
    glDisableVertexAttribArray(GLuint(uv));
}

bool GlRenderer::end(unsigned char* rgba, std::string& reason) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    // Rendered with the frame's top row at the top (GL's last row): read
    // bottom-up and store the rows in reverse.
    std::vector<unsigned char> tmp(size_t(m_width) * size_t(m_height) * 4);
    glReadPixels(0, 0, m_width, m_height, GL_RGBA, GL_UNSIGNED_BYTE, tmp.data());
    const GLenum err = glGetError();
    restoreState();
    if (err != GL_NO_ERROR) {
        reason = "GL error " + std::to_string(err) + " while drawing the effects";
        return false;
    }
    const size_t row = size_t(m_width) * 4;
    for (int y = 0; y < m_height; ++y)
        std::memcpy(rgba + size_t(y) * row, tmp.data() + size_t(m_height - 1 - y) * row, row);
    return true;
}

} // namespace vexa

#include "GlOffscreen.h"

#include <GL/gl.h>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>

namespace testing_support {

GlOffscreen::GlOffscreen(int size)
    : m_size(size), m_surface(std::make_unique<QOffscreenSurface>()), m_context(std::make_unique<QOpenGLContext>()) {
    m_surface->create();
    if (!m_context->create() || !m_context->makeCurrent(m_surface.get()))
        return;
    m_fbo = std::make_unique<QOpenGLFramebufferObject>(size, size);
    if (!m_fbo->bind())
        return;
    glViewport(0, 0, size, size);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0, 1, 0, 1, -10, 10);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    m_ready = true;
}

GlOffscreen::~GlOffscreen() {
    m_fbo.reset();
    if (QOpenGLContext::currentContext() == m_context.get())
        m_context->doneCurrent();
}

std::array<int, 3> GlOffscreen::pixel(int x, int y) const {
    unsigned char p[4] = {0, 0, 0, 0};
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, p);
    return {p[0], p[1], p[2]};
}

} // namespace testing_support

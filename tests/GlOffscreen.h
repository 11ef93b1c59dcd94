#pragma once
// An offscreen OpenGL target for drawing tests: a context on an offscreen
// surface with a size x size framebuffer bound, an orthographic projection
// of [0, 1] x [0, 1] (z in [-10, 10]), depth test off, cleared to black.
// Needs the GUI application object (testing_support::guiApp()) first.

#include <array>
#include <memory>

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLFramebufferObject;

namespace testing_support {

class GlOffscreen {
public:
    explicit GlOffscreen(int size);
    ~GlOffscreen();
    // False when no context could be made current (tests then skip).
    bool ready() const { return m_ready; }
    // Colour of the pixel at (x, y), counted from the bottom left.
    std::array<int, 3> pixel(int x, int y) const;
    // Position of the centre of pixel i along an axis, in [0, 1].
    float centre(int i) const { return (float(i) + 0.5f) / float(m_size); }

private:
    int m_size;
    bool m_ready = false;
    std::unique_ptr<QOffscreenSurface> m_surface;
    std::unique_ptr<QOpenGLContext> m_context;
    std::unique_ptr<QOpenGLFramebufferObject> m_fbo;
};

} // namespace testing_support

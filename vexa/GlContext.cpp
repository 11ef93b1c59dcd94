#include "vexa/GlContext.h"

#include <EGL/egl.h>
#include <GL/glx.h>

namespace vexa {

const void* currentGlContext() {
    if (const EGLContext egl = eglGetCurrentContext(); egl != EGL_NO_CONTEXT)
        return egl;
    return glXGetCurrentContext();
}

} // namespace vexa

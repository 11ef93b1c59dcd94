#include "vexa/play/HeadlessGl.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

namespace vexa {

// A GL context on EGL with no display server: Mesa's surfaceless platform
// when offered, else the default display; a 1 x 1 pbuffer or no surface.
bool makeHeadlessGlCurrent(std::string& reason, int which) {
    if (which < 0 || which >= kHeadlessGlContexts) {
        reason = "no headless GL context " + std::to_string(which);
        return false;
    }
    static EGLDisplay s_dpys[kHeadlessGlContexts] = {EGL_NO_DISPLAY, EGL_NO_DISPLAY};
    static EGLSurface s_surfaces[kHeadlessGlContexts] = {EGL_NO_SURFACE, EGL_NO_SURFACE};
    static EGLContext s_ctxs[kHeadlessGlContexts] = {EGL_NO_CONTEXT, EGL_NO_CONTEXT};
    EGLDisplay& s_dpy = s_dpys[which];
    EGLSurface& s_surface = s_surfaces[which];
    EGLContext& s_ctx = s_ctxs[which];
    if (s_ctx != EGL_NO_CONTEXT) {
        if (eglMakeCurrent(s_dpy, s_surface, s_surface, s_ctx))
            return true;
        reason = "EGL context cannot be made current";
        return false;
    }
    EGLDisplay dpy = EGL_NO_DISPLAY;
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay)
        dpy = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (dpy == EGL_NO_DISPLAY)
        dpy = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    EGLint major = 0, minor = 0;
    if (dpy == EGL_NO_DISPLAY || !eglInitialize(dpy, &major, &minor)) {
        reason = "no EGL display";
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        reason = "EGL offers no desktop OpenGL";
        return false;
    }
    const EGLint pbufferAttribs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                     EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_NONE};
    const EGLint anyAttribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint n = 0;
    bool pbuffer = eglChooseConfig(dpy, pbufferAttribs, &config, 1, &n) && n == 1;
    if (!pbuffer && !(eglChooseConfig(dpy, anyAttribs, &config, 1, &n) && n == 1)) {
        reason = "no EGL config for OpenGL";
        return false;
    }
    const EGLContext ctx = eglCreateContext(dpy, config, EGL_NO_CONTEXT, nullptr);
    if (ctx == EGL_NO_CONTEXT) {
        reason = "EGL context cannot be created";
        return false;
    }
    EGLSurface surface = EGL_NO_SURFACE;
    if (pbuffer) {
        const EGLint size[] = {EGL_WIDTH, 1, EGL_HEIGHT, 1, EGL_NONE};
        surface = eglCreatePbufferSurface(dpy, config, size);
    }
    if (!eglMakeCurrent(dpy, surface, surface, ctx)) {
        reason = "EGL context cannot be made current";
        return false;
    }
    s_dpy = dpy;
    s_surface = surface;
    s_ctx = ctx;
    return true;
}

} // namespace vexa

#pragma once
// Which OpenGL context is current on this thread. GL names (textures,
// programs, buffers, framebuffers) belong to the context that made them
// unless contexts share; the runtime keeps its objects per context and makes
// them again when a caller draws with another one.

namespace vexa {

// The current EGL context, else the current GLX context; null when neither
// API has one current (the caller drives a context the runtime cannot see,
// which then counts as one context).
const void* currentGlContext();

} // namespace vexa

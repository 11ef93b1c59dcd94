#pragma once
// A desktop OpenGL context on EGL with no display server: Mesa's surfaceless
// platform when offered, else EGL's default display; a 1 x 1 pbuffer or no
// surface. Used by vexa-play, the runtime's tests and benchmark.

#include <string>

namespace vexa {

// Creates the context and makes it current on this thread (once per
// process; later calls only make it current again). False with a reason.
bool makeHeadlessGlCurrent(std::string& reason);

} // namespace vexa

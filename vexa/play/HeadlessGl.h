#pragma once
// A desktop OpenGL context on EGL with no display server: Mesa's surfaceless
// platform when offered, else EGL's default display; a 1 x 1 pbuffer or no
// surface. Used by vexa-play, the runtime's tests and benchmark.

#include <string>

namespace vexa {

constexpr int kHeadlessGlContexts = 2;

// Creates context `which` (0 or 1; two independent contexts sharing no
// objects, as two preview widgets have) and makes it current on this thread.
// Each is created once per process; later calls only make it current again.
// False with a reason.
bool makeHeadlessGlCurrent(std::string& reason, int which = 0);

} // namespace vexa

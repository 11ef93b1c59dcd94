#pragma once
// The runtime's state behind the C interface of vexa/vexa.h, and switches
// that only the command line, tests and benchmarks use (not exported from
// libvexa.so).

#include "vexa/FaceTracker.h"

namespace vexa::internal {

// Frame times from the frame counter at `fps` frames per second instead of
// the wall clock (0 restores the wall clock). Makes playback of recorded
// video deterministic.
void useFrameClock(double fps);
// Test-only: bundles open without their signature check (fuzzing).
void skipSignatureForTesting(bool skip);
// The tracker once set up (null before), e.g. for --faces-json.
FaceTracker* tracker();

} // namespace vexa::internal

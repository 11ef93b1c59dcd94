#pragma once
// Wall-clock timing of work phases (steady clock, seconds).

#include <chrono>

using SteadyClock = std::chrono::steady_clock;

// Seconds elapsed since `start`.
inline double secondsSince(SteadyClock::time_point start) {
    return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

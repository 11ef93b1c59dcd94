#pragma once
// Small helpers shared by the benchmarks: wall-clock timing, peak memory and
// the closing goal lines.

#include <chrono>
#include <string>

namespace bench {

class Stopwatch {
public:
    Stopwatch() : m_start(std::chrono::steady_clock::now()) {}
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

private:
    std::chrono::steady_clock::time_point m_start;
};

// Peak resident set size of this process so far, in bytes.
size_t peakMemoryBytes();
// Current resident set size, in bytes.
size_t currentMemoryBytes();

// Prints "goal <name>: <measured> (target <target>) PASS|MISS".
void goal(const std::string& name, const std::string& measured, const std::string& target, bool pass);

std::string fixturesDir();

} // namespace bench

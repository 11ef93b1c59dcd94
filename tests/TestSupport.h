#pragma once
// Shared helpers of the test suite: fixture lookup, scratch folders and
// capture of console trace lines.

#include "base/Trace.h"

#include <mutex>
#include <string>
#include <vector>

namespace testing_support {

// Folder of the shared real-world fixtures; empty when it is not present.
std::string fixturesDir();
// Skips the current test with a message when the fixtures are absent.
#define LUMO_REQUIRE_FIXTURES()                                                   \
    do {                                                                          \
        if (testing_support::fixturesDir().empty())                               \
            GTEST_SKIP() << "../shared/fixtures is absent; real-file test skipped"; \
    } while (0)

// A fresh empty folder under the system temp dir, removed on destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Collects every traced text (console output is silenced) while alive.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    std::string all() const;
    bool contains(const std::string& text) const;
    int count(const std::string& text) const;

private:
    mutable std::mutex m_mutex; // the sink runs on whichever thread traces
    std::vector<std::string> m_lines;
};

std::string readFile(const std::string& path);
// Standard output of a shell command (empty when it cannot be started).
std::string runCommand(const std::string& cmd);
void writeFile(const std::string& path, const std::string& bytes);

} // namespace testing_support

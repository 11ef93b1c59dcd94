#include "BenchSupport.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>

namespace bench {

size_t peakMemoryBytes() {
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<size_t>(usage.ru_maxrss) * 1024;
}

size_t currentMemoryBytes() {
    std::ifstream in("/proc/self/statm");
    size_t pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * 4096;
}

void goal(const std::string& name, const std::string& measured, const std::string& target, bool pass) {
    std::printf("goal %s: %s (target %s) %s\n", name.c_str(), measured.c_str(), target.c_str(),
                pass ? "PASS" : "MISS");
    std::fflush(stdout);
}

std::string fixturesDir() {
    std::error_code ec;
    if (std::filesystem::is_directory(LUMO_FIXTURES_DIR, ec))
        return LUMO_FIXTURES_DIR;
    return {};
}

} // namespace bench

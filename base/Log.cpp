#include "base/Log.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {
FILE* g_log = nullptr;
int g_level = 0;

struct LogCloser {
    ~LogCloser() { logClose(); }
} g_closer;
} // namespace

bool logOpen(const char* path) {
    logClose();
    g_log = std::fopen(path, "w");
    return g_log != nullptr;
}

void logClose() {
    if (g_log) {
        std::fclose(g_log);
        g_log = nullptr;
    }
}

void logSetLevel(int level) { g_level = level; }

int logPrint(const char* module, int line, const char* buildTime, const char* fmt, ...) {
    if (!g_log || g_level > 1)
        return 0;
    int n = std::fprintf(g_log, "[info][%s:%d][%s]: ", module, line, buildTime);
    va_list args;
    va_start(args, fmt);
    const int m = std::vfprintf(g_log, fmt, args);
    va_end(args);
    std::fflush(g_log);
    if (n < 0 || m < 0)
        return 0;
    return n + m;
}

const char* logModuleName(const char* sourcePath) {
    static std::mutex mutex;
    static std::map<std::string, std::string> names;
    std::lock_guard<std::mutex> lock(mutex);
    auto it = names.find(sourcePath);
    if (it != names.end())
        return it->second.c_str();
    const char* base = std::strrchr(sourcePath, '/');
    base = base ? base + 1 : sourcePath;
    std::string name(base);
    const size_t dot = name.find('.');
    if (dot != std::string::npos)
        name.resize(dot);
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return names.emplace(sourcePath, name).first->second.c_str();
}

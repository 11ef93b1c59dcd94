#include "base/Log.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {
// The open log's descriptor (-1: none). Opening, closing and every line take
// g_mutex, so a line never lands half in one file and half in the next.
std::mutex g_mutex;
int g_fd = -1;
std::atomic<int> g_level{0};

void closeLocked() {
    if (g_fd >= 0) {
        ::close(g_fd);
        g_fd = -1;
    }
}

// Writes all of `text` to the log; a short write continues where it ended.
bool writeAllLocked(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(g_fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

struct LogCloser {
    ~LogCloser() { logClose(); }
} g_closer;
} // namespace

bool logOpen(const char* path) {
    std::lock_guard<std::mutex> lock(g_mutex);
    closeLocked();
    g_fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
    return g_fd >= 0;
}

void logClose() {
    std::lock_guard<std::mutex> lock(g_mutex);
    closeLocked();
}

void logSetLevel(int level) { g_level.store(level); }

int logPrint(const char* module, int line, const char* buildTime, const char* fmt, ...) {
    if (g_level.load() > 1)
        return 0;
    // The whole line is formatted first and handed to the file in one write.
    char prefix[512];
    const int n = std::snprintf(prefix, sizeof prefix, "[info][%s:%d][%s]: ", module, line, buildTime);
    if (n < 0)
        return 0;
    std::string text(prefix, std::min(size_t(n), sizeof prefix - 1));
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int m = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (m > 0) {
        const size_t at = text.size();
        text.resize(at + size_t(m) + 1);
        std::vsnprintf(&text[at], size_t(m) + 1, fmt, args);
        text.resize(at + size_t(m));
    }
    va_end(args);
    if (m < 0)
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_fd < 0 || !writeAllLocked(text))
        return 0;
    return int(text.size());
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

#include "pack/BundleName.h"

#include <mutex>

namespace {
std::mutex g_lock;
std::string g_bundleName;
} // namespace

std::string bundleName() {
    const std::lock_guard<std::mutex> lock(g_lock);
    return g_bundleName;
}

void setBundleName(const std::string& name) {
    const std::lock_guard<std::mutex> lock(g_lock);
    g_bundleName = name;
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

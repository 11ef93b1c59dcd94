#include "pack/BundleName.h"

namespace {
std::string g_bundleName;
}

const std::string& bundleName() { return g_bundleName; }

void setBundleName(const std::string& name) { g_bundleName = name; }

#pragma once
// Text written whole: the generated files of bundles and meshes.

#include "base/WholeFile.h"

#include <string>

// Writes `text` to path as writeWholeFile does (atomically, nothing left
// half-written). False when it could not be written; prints nothing.
inline bool writeTextFile(const std::string& path, const std::string& text) {
    return writeWholeFile(path, text.data(), text.size());
}

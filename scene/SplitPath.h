#pragma once
// Splitting a file path into folder, base name and extension.

#include <string>

struct PathParts {
    std::string folder; // up to and including the last separator; empty when there is none
    std::string base;   // file name without its extension
    std::string ext;    // from the last "." of the file name on, dot included; empty without a dot
};

// The folder ends at the last "/" or, when the path holds no "/", at the last
// "\". The remaining file name is split at its last "."; without a "." the
// whole file name is the base name. Any input is accepted (empty gives three
// empty parts).
PathParts splitPath(const std::string& path);

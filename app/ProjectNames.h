#pragma once
// Rules for project names and project paths: a project lives in exactly one
// folder directly below the workspace's Projects/ folder, so a name may not
// climb out of it or name a nested path.

#include <string>

// Why `name` (8-bit, as typed) cannot name a project folder, as a sentence
// for the user; empty when it can. Refused: empty, "." and "..", a "/" or
// "\", a control character, more than kMaxProjectNameBytes bytes.
std::string projectNameProblem(const std::string& name);
inline constexpr size_t kMaxProjectNameBytes = 64;

// True when `path` lies below the folder `folder` (both resolved against
// the current directory, "." and ".." and symbolic links of existing parts
// resolved). The folder itself is not below itself.
bool isPathInside(const std::string& path, const std::string& folder);

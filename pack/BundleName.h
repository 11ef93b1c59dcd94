#pragma once
// The process-wide bundle name, set at the start of every pack run (the
// project name unless one is given). Empty means "no bundle".

#include <string>

// Both are safe to call from any thread.
std::string bundleName();
void setBundleName(const std::string& name);

// A name usable as one file or folder name inside a project: not empty, not
// "." or "..", and without "/", "\\" or NUL.
bool isPlainName(const std::string& name);

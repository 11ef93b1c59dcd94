#pragma once
// The process-wide bundle name, set at the start of every pack run (the
// project name unless one is given). Empty means "no bundle".

#include <string>

const std::string& bundleName();
void setBundleName(const std::string& name);

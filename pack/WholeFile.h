#pragma once
// Whole-file reads and writes of the packers, in raw bytes.

#include <cstddef>
#include <string>

// Reads the whole file into `bytes` (replaced). False when it cannot be
// opened or read.
bool readWholeFile(const std::string& path, std::string& bytes);

// Writes `size` bytes to path (created or truncated). False when the file
// cannot be opened or fully written; such a file is removed, so no
// half-written file is left behind. Prints nothing: callers report.
bool writeWholeFile(const std::string& path, const void* data, size_t size);

#pragma once
// Whole-file reads and writes in raw bytes, shared by every reader and
// writer of the program.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads the whole regular file at path into `bytes` (replaced). False, with
// `bytes` empty, when it is missing, not a regular file, larger than
// maxBytes, or cannot be read. Prints nothing: callers report.
bool readWholeFile(const std::string& path, std::string& bytes, uint64_t maxBytes = UINT64_MAX);
bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxBytes = UINT64_MAX);

// Reads up to `size` bytes from fd into `to`, retrying interrupted and short
// reads until `size` bytes or the end of the file; the number read, or -1
// on an error.
long readFully(int fd, void* to, size_t size);

// Writes `size` bytes to path through a temporary file of a unique name in
// the same folder (made with mkstemp, so no planted link is followed), which
// is flushed to disk and then renamed into place; the folder is flushed
// after the rename. A crash therefore leaves either the old file or the new
// one. The new file keeps the permission bits of the one it replaces. False
// when it cannot be created, fully written, flushed or renamed; the previous
// file at path is then left as it was and no temporary file stays behind.
// Prints nothing: callers report.
bool writeWholeFile(const std::string& path, const void* data, size_t size);

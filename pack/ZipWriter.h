#pragma once
// Writes zip archives of a folder's contents through libzip.

#include <string>

class ZipWriter {
public:
    // Archives everything under `folder` into a new zip at `zipPath`: each
    // regular file (deflated) and each subfolder, named relative to `folder`
    // with "/" separators, in sorted order. The archive is written under a
    // temporary name beside `zipPath` and renamed over it only when complete,
    // so an existing archive is replaced whole or left untouched.
    // Returns false with a readable reason in `error` when the folder is
    // missing or holds no file, or the archive cannot be written; no partial
    // file is left behind.
    static bool zipFolder(const std::string& folder, const std::string& zipPath,
                          std::string& error);
};

#include "base/WholeFile.h"

#include <cstdio>
#include <sys/stat.h>

namespace {

template <class Bytes>
bool readInto(const std::string& path, Bytes& bytes, uint64_t maxBytes) {
    bytes.clear();
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > maxBytes)
        return false;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes.resize(size_t(st.st_size));
    const size_t got = bytes.empty() ? 0 : std::fread(&bytes[0], 1, bytes.size(), f);
    const bool ok = got == bytes.size() && !std::ferror(f);
    std::fclose(f);
    if (!ok)
        bytes.clear();
    return ok;
}

} // namespace

bool readWholeFile(const std::string& path, std::string& bytes, uint64_t maxBytes) {
    return readInto(path, bytes, maxBytes);
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxBytes) {
    return readInto(path, bytes, maxBytes);
}

bool writeWholeFile(const std::string& path, const void* data, size_t size) {
    const std::string temporary = path + ".part";
    FILE* f = std::fopen(temporary.c_str(), "wb");
    if (!f)
        return false;
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

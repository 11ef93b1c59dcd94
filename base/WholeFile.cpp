#include "base/WholeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

long readFully(int fd, void* to, size_t size) {
    auto* bytes = static_cast<char*>(to);
    size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, bytes + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        got += size_t(n);
    }
    return long(got);
}

bool readWholeFile(const std::string& path, std::string& bytes, uint64_t maxBytes) {
    return readInto(path, bytes, maxBytes);
}

bool readWholeFile(const std::string& path, std::vector<uint8_t>& bytes, uint64_t maxBytes) {
    return readInto(path, bytes, maxBytes);
}

namespace {

// Writes all bytes to fd, continuing after short writes.
bool writeAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// The umask, read without changing it (umask() itself would briefly change
// it for every thread); 022 when the kernel does not report it.
mode_t processUmask() {
    mode_t mask = 022;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        unsigned value = 0;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                mask = mode_t(value);
                break;
            }
        std::fclose(f);
    }
    return mask;
}

// Permission bits for the new file: those of the file it replaces, else
// what a plain create would give under the process's umask.
mode_t modeFor(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return st.st_mode & 07777;
    return 0666 & ~processUmask();
}

// Makes a completed rename durable: the folder's entry is flushed too.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

bool writeWholeFile(const std::string& path, const void* data, size_t size) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    // mkstemp creates the name exclusively: a link planted under a
    // predictable name is never followed, and two writers never share one.
    std::string temporary = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "." +
                            base + ".XXXXXX";
    const int fd = ::mkstemp(&temporary[0]);
    if (fd < 0)
        return false;
    const bool ok = writeAll(fd, static_cast<const uint8_t*>(data), size) &&
                    ::fchmod(fd, modeFor(path)) == 0 && ::fsync(fd) == 0;
    if (::close(fd) != 0 || !ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    syncFolder(folder);
    return true;
}

#include "base/Paths.h"

#include "base/Trace.h"

#include <cerrno>
#include <sys/stat.h>

std::string pathJoin(const std::string& a, const std::string& b) {
    if (a.empty())
        return b;
    std::string r = a;
    const char last = a.back();
    if (last != '/' && last != '\\')
        r += '/';
    r += b;
    return r;
}

std::string toNativePath(const std::string& p) {
#ifdef _WIN32
    std::string r = p;
    for (char& c : r)
        if (c == '/')
            c = '\\';
    return r;
#else
    return p;
#endif
}

bool fileExists(const std::string& p) {
    struct stat st;
    return ::stat(toNativePath(p).c_str(), &st) == 0;
}

int makeDir(const std::string& p) {
    const std::string native = toNativePath(p);
    if (fileExists(native)) {
        Trace::out("dir exist:%s\n", native.c_str());
        return 0;
    }
    if (::mkdir(native.c_str(), 0777) == 0) {
        Trace::out("mkdir ok\n");
        return 1;
    }
    Trace::out("mkdir error:%s\n", native.c_str());
    return -1;
}

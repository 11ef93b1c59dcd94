#include "pack/FileCopy.h"

#include "base/Trace.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kvo {

bool cp(const std::string& src, const std::string& dst) {
    FILE* in = std::fopen(src.c_str(), "rb");
    if (!in) {
        Trace::out("kvo::cp failed can not read src.\n%s\n", std::strerror(errno));
        return false;
    }
    FILE* out = std::fopen(dst.c_str(), "wb");
    if (!out) {
        Trace::out("kvo::cp failed can not read des.\n%s\n", std::strerror(errno));
        std::fclose(in);
        return false;
    }
    char buf[256];
    bool ok = true;
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in)) > 0) {
        if (std::fwrite(buf, 1, n, out) < n) {
            Trace::out("kvo::cp Fatal write error.\n");
            ok = false;
            break;
        }
    }
    if (std::ferror(in))
        ok = false;
    std::fclose(in);
    if (std::fclose(out) != 0)
        ok = false;
    if (!ok)
        std::remove(dst.c_str());
    return ok;
}

} // namespace kvo

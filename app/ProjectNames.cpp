#include "app/ProjectNames.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string projectNameProblem(const std::string& name) {
    if (name.empty())
        return "Project name is empty, Please try again.";
    if (name == "." || name == "..")
        return "Project name '" + name + "' is not allowed. Please try again.";
    if (name.size() > kMaxProjectNameBytes)
        return "Project name is longer than " + std::to_string(kMaxProjectNameBytes) +
               " bytes. Please try again.";
    for (unsigned char c : name) {
        if (c == '/' || c == '\\')
            return "Project name '" + name + "' must not contain '/' or '\\'. Please try again.";
        if (c < 0x20 || c == 0x7f)
            return "Project name must not contain control characters. Please try again.";
    }
    return std::string();
}

namespace {
fs::path resolved(const std::string& p) {
    std::error_code ec;
    fs::path abs = fs::absolute(fs::path(p), ec);
    if (ec)
        return fs::path();
    fs::path canon = fs::weakly_canonical(abs, ec);
    return ec ? abs.lexically_normal() : canon.lexically_normal();
}
} // namespace

bool isPathInside(const std::string& path, const std::string& folder) {
    if (path.empty() || folder.empty())
        return false;
    const fs::path p = resolved(path);
    const fs::path f = resolved(folder);
    if (p.empty() || f.empty())
        return false;
    auto pi = p.begin();
    for (auto fi = f.begin(); fi != f.end(); ++fi, ++pi) {
        if (fi->empty() && std::next(fi) == f.end())
            break; // trailing separator of the folder
        if (pi == p.end() || *pi != *fi)
            return false;
    }
    // Something must follow the folder's own parts.
    for (; pi != p.end(); ++pi)
        if (!pi->empty())
            return true;
    return false;
}

#include "scene/SplitPath.h"

PathParts splitPath(const std::string& path) {
    PathParts parts;
    size_t sep = path.rfind('/');
    if (sep == std::string::npos)
        sep = path.rfind('\\');
    const size_t nameStart = (sep == std::string::npos) ? 0 : sep + 1;
    parts.folder = path.substr(0, nameStart);
    const std::string file = path.substr(nameStart);
    const size_t dot = file.rfind('.');
    if (dot == std::string::npos) {
        parts.base = file;
    } else {
        parts.base = file.substr(0, dot);
        parts.ext = file.substr(dot);
    }
    return parts;
}

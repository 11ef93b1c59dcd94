#include "pack/FrameSequence.h"

#include "base/Paths.h"
#include "scene/SplitPath.h"

#include <cstdio>

bool FrameSequence::parse(const std::string& texturePath) {
    const PathParts parts = splitPath(texturePath);
    m_folder = parts.folder;
    m_stem = parts.base;
    m_ext = parts.ext;
    const size_t underscore = m_stem.rfind('_');
    if (underscore == std::string::npos) {
        m_prefix.clear();
        return false;
    }
    m_prefix = m_stem.substr(0, underscore);
    return true;
}

std::string FrameSequence::frameName(int n) const {
    char index[16];
    std::snprintf(index, sizeof index, "_%05d", n);
    return m_prefix + index + m_ext;
}

std::string FrameSequence::framePath(int n) const { return pathJoin(m_folder, frameName(n)); }

std::string FrameSequence::key() const { return pathJoin(m_folder, m_prefix); }

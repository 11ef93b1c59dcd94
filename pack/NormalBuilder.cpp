#include "pack/NormalBuilder.h"

NormalBuilder::NormalBuilder(const std::vector<uint32_t>& triangles, size_t positionCount)
    : m_triangles(triangles), m_first(positionCount + 1, 0), m_adjacent(triangles.size()) {
    for (const uint32_t v : triangles)
        ++m_first[v + 1];
    for (size_t v = 0; v < positionCount; ++v)
        m_first[v + 1] += m_first[v];
    std::vector<uint32_t> fill(m_first.begin(), m_first.end() - 1);
    for (size_t i = 0; i < triangles.size(); ++i)
        m_adjacent[fill[triangles[i]]++] = static_cast<uint32_t>(i / 3);
}

math3d::Vec3 NormalBuilder::normal(uint32_t v, const math3d::Vec3* base, const math3d::Vec3* offsets) const {
    auto position = [&](uint32_t i) { return offsets ? base[i] + offsets[i] : base[i]; };
    math3d::Vec3 sum;
    for (uint32_t a = m_first[v]; a < m_first[v + 1]; ++a) {
        const uint32_t* tri = &m_triangles[static_cast<size_t>(m_adjacent[a]) * 3];
        const math3d::Vec3 p0 = position(tri[0]);
        sum = sum + math3d::cross(position(tri[2]) - p0, position(tri[1]) - p0);
    }
    return math3d::normalize(sum);
}

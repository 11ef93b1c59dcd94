#include "pack/NormalBuilder.h"

NormalBuilder::NormalBuilder(const MeshCorner* corners, size_t triangleCount, size_t positionCount)
    : m_corners(corners), m_triangleCount(triangleCount), m_first(positionCount + 1, 0),
      m_adjacent(triangleCount * 3) {
    for (size_t i = 0; i < triangleCount * 3; ++i)
        ++m_first[static_cast<size_t>(corners[i].v) + 1];
    for (size_t v = 0; v < positionCount; ++v)
        m_first[v + 1] += m_first[v];
    std::vector<uint32_t> fill(m_first.begin(), m_first.end() - 1);
    for (size_t i = 0; i < triangleCount * 3; ++i)
        m_adjacent[fill[static_cast<size_t>(corners[i].v)]++] = static_cast<uint32_t>(i / 3);
}

math3d::Vec3 NormalBuilder::cross(uint32_t triangle, const math3d::Vec3* base, const math3d::Vec3* offsets) const {
    const MeshCorner* tri = m_corners + static_cast<size_t>(triangle) * 3;
    math3d::Vec3 p0 = base[tri[0].v], p1 = base[tri[1].v], p2 = base[tri[2].v];
    if (offsets) {
        p0 = p0 + offsets[tri[0].v];
        p1 = p1 + offsets[tri[1].v];
        p2 = p2 + offsets[tri[2].v];
    }
    return math3d::cross(p2 - p0, p1 - p0);
}

void NormalBuilder::beginShape() {
    if (m_stamp.empty()) {
        m_stamp.assign(m_triangleCount, 0);
        m_cross.resize(m_triangleCount);
    }
    if (++m_shape == 0) { // wrapped: forget every stamp
        std::fill(m_stamp.begin(), m_stamp.end(), 0);
        m_shape = 1;
    }
}

math3d::Vec3 NormalBuilder::normal(uint32_t v, const math3d::Vec3* base, const math3d::Vec3* offsets) {
    math3d::Vec3 sum;
    for (uint32_t a = m_first[v]; a < m_first[v + 1]; ++a) {
        const uint32_t t = m_adjacent[a];
        if (m_stamp[t] != m_shape) {
            m_cross[t] = cross(t, base, offsets);
            m_stamp[t] = m_shape;
        }
        sum = sum + m_cross[t];
    }
    return math3d::normalize(sum);
}

#include "pack/NormalBuilder.h"

#include <algorithm>

namespace {

// (p2 - p0) x (p1 - p0) of one triangle of the shape base (+ offsets when
// not null). Loads and arithmetic stay in one function: passing the points
// by value made the compiler shuffle them through the stack.
math3d::Vec3 triangleCross(const MeshCorner* tri, const math3d::Vec3* base, const math3d::Vec3* offsets) {
    math3d::Vec3 p0 = base[tri[0].v], p1 = base[tri[1].v], p2 = base[tri[2].v];
    if (offsets) {
        p0 = p0 + offsets[tri[0].v];
        p1 = p1 + offsets[tri[1].v];
        p2 = p2 + offsets[tri[2].v];
    }
    return math3d::cross(p2 - p0, p1 - p0);
}

} // namespace

NormalBuilder::NormalBuilder(const MeshCorner* corners, size_t triangleCount, size_t positionCount)
    : m_corners(corners), m_triangleCount(triangleCount), m_positionCount(positionCount) {}

void NormalBuilder::buildAdjacency() {
    m_first.assign(m_positionCount + 1, 0);
    m_adjacent.resize(m_triangleCount * 3);
    for (size_t i = 0; i < m_triangleCount * 3; ++i)
        ++m_first[static_cast<size_t>(m_corners[i].v) + 1];
    for (size_t v = 0; v < m_positionCount; ++v)
        m_first[v + 1] += m_first[v];
    // Fill position by position with m_first[v] as the cursor, which ends at
    // the next position's start; then shift the starts back by one.
    for (size_t i = 0; i < m_triangleCount * 3; ++i)
        m_adjacent[m_first[static_cast<size_t>(m_corners[i].v)]++] = static_cast<uint32_t>(i / 3);
    for (size_t v = m_positionCount; v > 0; --v)
        m_first[v] = m_first[v - 1];
    m_first[0] = 0;
}

void NormalBuilder::allNormals(const math3d::Vec3* positions, LargeVector<math3d::Vec3>& out) const {
    out.assign(m_positionCount, math3d::Vec3());
    for (size_t t = 0; t < m_triangleCount; ++t) {
        const MeshCorner* tri = m_corners + t * 3;
        const math3d::Vec3 c = triangleCross(tri, positions, nullptr);
        for (int k = 0; k < 3; ++k)
            out[tri[k].v] = out[tri[k].v] + c;
    }
    for (math3d::Vec3& n : out)
        n = math3d::normalize(n);
}

void NormalBuilder::beginShape() {
    if (m_first.empty()) {
        buildAdjacency();
        m_stamp.assign(m_triangleCount, 0);
        m_cross.resize(m_triangleCount);
    }
    if (++m_shape == 0) { // wrapped: forget every stamp
        std::fill(m_stamp.begin(), m_stamp.end(), 0);
        m_shape = 1;
    }
}

math3d::Vec3 NormalBuilder::normal(uint32_t v, const math3d::Vec3* base, const math3d::Vec3* offsets) {
    if (m_first.empty())
        beginShape();
    math3d::Vec3 sum;
    for (uint32_t a = m_first[v]; a < m_first[v + 1]; ++a) {
        const uint32_t t = m_adjacent[a];
        if (m_stamp[t] != m_shape) {
            m_cross[t] = triangleCross(m_corners + static_cast<size_t>(t) * 3, base, offsets);
            m_stamp[t] = m_shape;
        }
        sum = sum + m_cross[t];
    }
    return math3d::normalize(sum);
}

#include "pack/TangentBuilder.h"

#include <cmath>

namespace {

struct Uv {
    float s = 0, t = 0;
};

Uv cornerUv(const MeshCorner& c, const float* texCoords, size_t texCoordCount) {
    if (c.t < 0 || static_cast<size_t>(c.t) >= texCoordCount)
        return {};
    return {texCoords[2 * static_cast<size_t>(c.t)], texCoords[2 * static_cast<size_t>(c.t) + 1]};
}

math3d::Vec3 unitOr(math3d::Vec3 a, math3d::Vec3 fallback) {
    const float len = math3d::length(a);
    if (!(len > 0) || !std::isfinite(len))
        return fallback;
    return a * (1.0f / len);
}

} // namespace

void TangentBuilder::accumulate(const math3d::Vec3* positions, size_t n, const MeshCorner* corners,
                                size_t triangleCount, const float* texCoords, size_t texCoordCount) {
    m_dPds.assign(n, math3d::Vec3());
    m_dPdt.assign(n, math3d::Vec3());
    for (size_t tri = 0; tri < triangleCount; ++tri) {
        const MeshCorner* c = corners + tri * 3;
        const math3d::Vec3 p0 = positions[c[0].v];
        const math3d::Vec3 e1 = positions[c[1].v] - p0;
        const math3d::Vec3 e2 = positions[c[2].v] - p0;
        const Uv uv0 = cornerUv(c[0], texCoords, texCoordCount);
        const Uv uv1 = cornerUv(c[1], texCoords, texCoordCount);
        const Uv uv2 = cornerUv(c[2], texCoords, texCoordCount);
        const float ds1 = uv1.s - uv0.s, dt1 = uv1.t - uv0.t;
        const float ds2 = uv2.s - uv0.s, dt2 = uv2.t - uv0.t;
        const float det = dt2 * ds1 - ds2 * dt1;
        const float r = det == 0 ? 0.0f : 1.0f / det;
        const math3d::Vec3 s = (e1 * ds2 - e2 * ds1) * r;
        const math3d::Vec3 t = (e1 * dt2 - e2 * dt1) * r;
        for (int k = 0; k < 3; ++k) {
            m_dPds[c[k].v] = m_dPds[c[k].v] + s;
            m_dPdt[c[k].v] = m_dPdt[c[k].v] + t;
        }
    }
}

math3d::Vec3 TangentBuilder::dPds(size_t v) const {
    return unitOr(m_dPds[v], math3d::Vec3(1, 0, 0));
}

math3d::Vec3 TangentBuilder::dPdt(size_t v) const {
    return unitOr(m_dPdt[v], math3d::Vec3(0, 1, 0));
}

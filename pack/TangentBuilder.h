#pragma once
// Texture-space tangents of a triangle list: per position, the accumulated
// dPds and dPdt of the triangles around it. For a triangle with corners
// 0, 1, 2: E1 = p1 - p0, E2 = p2 - p0, (ds1, dt1) = uv1 - uv0,
// (ds2, dt2) = uv2 - uv0, r = 1 / (dt2 ds1 - ds2 dt1) (0 for a zero
// determinant); dPds += (ds2 E1 - ds1 E2) r and dPdt += (dt2 E1 - dt1 E2) r at
// each corner's position.

#include "geometry/Math3d.h"
#include "pack/MeshPart.h"
#include "base/LargeAllocator.h"

#include <cstddef>
#include <vector>

class TangentBuilder {
public:
    // positions: the base positions (n of them); corners: 3 per triangle with
    // position indices < n; uv of a corner is texCoords[corner.t], (0, 0) when
    // t is outside [0, texCoordCount). Nothing is retained.
    void accumulate(const math3d::Vec3* positions, size_t n, const MeshCorner* corners,
                    size_t triangleCount, const float* texCoords, size_t texCoordCount);

    // Unit dPds / dPdt of position v; (1, 0, 0) / (0, 1, 0) when the
    // accumulator is zero or not finite (only degenerate texture triangles).
    math3d::Vec3 dPds(size_t v) const;
    math3d::Vec3 dPdt(size_t v) const;

private:
    LargeVector<math3d::Vec3> m_dPds;
    LargeVector<math3d::Vec3> m_dPdt;
};

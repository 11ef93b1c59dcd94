#pragma once
// Per-position normals of a triangle list: the normal of position v is the
// normalized sum of (p2 - p0) x (p1 - p0) over the triangles that use v (a
// triangle using v twice counts twice), summed in triangle order starting
// from zero. Gives the normals of a whole shape in one pass over the
// triangles, or the normal of single positions of any shape through a
// position-to-triangle adjacency built on first use.

#include "geometry/Math3d.h"
#include "pack/MeshPart.h"
#include "base/LargeAllocator.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class NormalBuilder {
public:
    // corners: 3 per triangle, each v < positionCount; kept by the caller
    // while the builder lives.
    NormalBuilder(const MeshCorner* corners, size_t triangleCount, size_t positionCount);

    // Normals of all positions of the shape `positions` (positionCount
    // points) into out (resized). Zero for a position without area around it.
    void allNormals(const math3d::Vec3* positions, LargeVector<math3d::Vec3>& out) const;
    // Starts a shape for normal(): the triangle cross products remembered
    // for the previous shape are forgotten.
    void beginShape();
    // Normal of position v for the shape base + offsets (offsets may be null:
    // the base itself) started by the last beginShape(), touching only the
    // triangles around v; each triangle's cross product is computed once per
    // shape and reused by its other corners. Zero when they have no area.
    math3d::Vec3 normal(uint32_t v, const math3d::Vec3* base, const math3d::Vec3* offsets);

private:
    void buildAdjacency();

    const MeshCorner* m_corners;
    size_t m_triangleCount;
    size_t m_positionCount;
    LargeVector<uint32_t> m_first;    // per position: start in m_adjacent; one extra at the end
    LargeVector<uint32_t> m_adjacent; // triangle numbers, ascending per position
    LargeVector<math3d::Vec3> m_cross; // per triangle, valid when m_stamp matches m_shape
    LargeVector<uint32_t> m_stamp;
    uint32_t m_shape = 0;
};

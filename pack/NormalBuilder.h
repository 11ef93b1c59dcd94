#pragma once
// Per-position normals of a triangle list: the normal of position v is the
// normalized sum of (p2 - p0) x (p1 - p0) over the triangles that use v (a
// triangle using v twice counts twice), summed in triangle order. Built once
// per mesh part, it then gives the normal of any single position for any
// shape without touching the rest of the mesh.

#include "geometry/Math3d.h"
#include "pack/MeshPart.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class NormalBuilder {
public:
    // corners: 3 per triangle, each v < positionCount; kept by the caller
    // while the builder lives.
    NormalBuilder(const MeshCorner* corners, size_t triangleCount, size_t positionCount);

    // Starts a shape: the triangle cross products remembered for the
    // previous shape are forgotten.
    void beginShape();
    // Normal of position v for the shape base + offsets (offsets may be null:
    // the base itself) started by the last beginShape(). Each triangle's cross
    // product is computed once per shape and reused by its other corners.
    // Zero when the triangles around v have no area.
    math3d::Vec3 normal(uint32_t v, const math3d::Vec3* base, const math3d::Vec3* offsets);

private:
    math3d::Vec3 cross(uint32_t triangle, const math3d::Vec3* base, const math3d::Vec3* offsets) const;

    const MeshCorner* m_corners;
    size_t m_triangleCount;
    std::vector<uint32_t> m_first;     // per position: start in m_adjacent; one extra at the end
    std::vector<uint32_t> m_adjacent;  // triangle numbers, ascending per position
    std::vector<math3d::Vec3> m_cross; // per triangle, valid when m_stamp matches
    std::vector<uint32_t> m_stamp;
    uint32_t m_shape = 0;
};

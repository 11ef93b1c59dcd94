#pragma once
// Per-position normals of a triangle list: the normal of position v is the
// normalized sum of (p2 - p0) x (p1 - p0) over the triangles that use v (a
// triangle using v twice counts twice), summed in triangle order. Built once
// per mesh part, it then gives the normal of any single position for any
// shape without touching the rest of the mesh.

#include "geometry/Math3d.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class NormalBuilder {
public:
    // triangles: 3 position indices per triangle, each < positionCount (not retained).
    NormalBuilder(const std::vector<uint32_t>& triangles, size_t positionCount);

    // Normal of position v for the shape base + offsets (offsets may be null:
    // the base itself). Zero when the triangles around v have no area.
    math3d::Vec3 normal(uint32_t v, const math3d::Vec3* base, const math3d::Vec3* offsets) const;

private:
    const std::vector<uint32_t>& m_triangles;
    std::vector<uint32_t> m_first;     // per position: start in m_adjacent; one extra at the end
    std::vector<uint32_t> m_adjacent;  // triangle numbers, ascending per position
};

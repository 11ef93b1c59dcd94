#pragma once
// Splits the corners of a triangle list into output vertices: each distinct
// (position, texture coordinate, normal) index triple becomes one vertex,
// numbered in order of first appearance with each triangle's corners visited
// 2, 1, 0. Then orders the vertices by a 64-bit key of their position,
// largest first.

#include "pack/MeshPart.h"

#include "base/LargeAllocator.h"

#include <cstddef>
#include <cstdint>

class VertexSplit {
public:
    // corners: 3 x triangleCount corners (not retained), each v in
    // [0, positionCount); a positionCount of 0 is taken from the corners.
    void build(const MeshCorner* corners, size_t triangleCount, size_t positionCount = 0);

    // Reorders the vertices by positionKeys[vertex.v] (one key per position),
    // largest first; equal keys keep their order. Triangles are renumbered.
    void sortByPositionKey(const LargeVector<uint64_t>& positionKeys);

    // One corner triple per output vertex.
    const LargeVector<MeshCorner>& vertices() const { return m_vertices; }
    // 3 per triangle, in corner order 0, 1, 2.
    const LargeVector<uint32_t>& indices() const { return m_indices; }

private:
    LargeVector<MeshCorner> m_vertices;
    LargeVector<uint32_t> m_indices;
};

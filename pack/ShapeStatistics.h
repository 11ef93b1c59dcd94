#pragma once
// One pass over the shape array of a mesh part: which blendshapes move each
// position, and the per-axis position ranges the quantizer needs.

#include "geometry/Math3d.h"
#include "base/LargeAllocator.h"

#include <cstddef>
#include <cstdint>
#include <vector>

class ShapeStatistics {
public:
    // shapes: kShapeCount x n points (block 0 base, block b offsets); n > 0.
    void compute(const math3d::Vec3* shapes, size_t n);

    // Per position: bit b-1 set when blendshape b moves it by more than 1e-6.
    const LargeVector<uint64_t>& masks() const { return m_masks; }
    // Number of (position, blendshape) pairs that move; 0 for a static part.
    size_t movedPairs() const { return m_movedPairs; }
    // Per axis: the largest |base + sum of positive offsets| and
    // |base + sum of negative offsets| over all positions.
    float positionRange(int axis) const { return m_range[axis]; }
    // Per axis: the largest |offset| of any blendshape at any position.
    float largestOffset(int axis) const { return m_largestOffset[axis]; }

private:
    LargeVector<uint64_t> m_masks;
    size_t m_movedPairs = 0;
    float m_range[3] = {0, 0, 0};
    float m_largestOffset[3] = {0, 0, 0};
};

#include "pack/ShapeStatistics.h"

#include "pack/MeshPart.h"

#include <algorithm>
#include <cmath>

namespace {

// Larger of a and |b|, ignoring a NaN b.
float maxAbs(float a, float b) {
    const float m = std::fabs(b);
    return m > a ? m : a;
}

} // namespace

void ShapeStatistics::compute(const math3d::Vec3* shapes, size_t n) {
    m_masks.assign(n, 0);
    m_movedPairs = 0;
    float largest[3] = {0, 0, 0};
    float range[3] = {0, 0, 0};
    // Positions in chunks: per chunk every blendshape block is read front to
    // back, and the offset sums stay in a small local buffer.
    constexpr size_t kChunk = 512;
    float positiveSum[kChunk * 3], negativeSum[kChunk * 3];
    for (size_t first = 0; first < n; first += kChunk) {
        const size_t count = std::min(kChunk, n - first);
        std::fill(positiveSum, positiveSum + count * 3, 0.0f);
        std::fill(negativeSum, negativeSum + count * 3, 0.0f);
        for (int b = 1; b <= meshbundle::kBlendshapeCount; ++b) {
            const math3d::Vec3* block = shapes + static_cast<size_t>(b) * n + first;
            const uint64_t bit = uint64_t(1) << (b - 1);
            size_t moved = 0;
            for (size_t i = 0; i < count; ++i) {
                const float o[3] = {block[i].x, block[i].y, block[i].z};
                const uint64_t isMoved = (o[0] * o[0] + o[1] * o[1] + o[2] * o[2]) > 1e-12f ? 1 : 0;
                m_masks[first + i] |= bit & (0 - isMoved);
                moved += isMoved;
                for (int k = 0; k < 3; ++k) {
                    positiveSum[i * 3 + k] += o[k] > 0 ? o[k] : 0.0f;
                    negativeSum[i * 3 + k] += o[k] < 0 ? o[k] : 0.0f;
                    largest[k] = maxAbs(largest[k], o[k]);
                }
            }
            m_movedPairs += moved;
        }
        for (size_t i = 0; i < count; ++i) {
            const math3d::Vec3 base = shapes[first + i];
            const float b[3] = {base.x, base.y, base.z};
            for (int k = 0; k < 3; ++k) {
                range[k] = maxAbs(range[k], b[k] + positiveSum[i * 3 + k]);
                range[k] = maxAbs(range[k], b[k] + negativeSum[i * 3 + k]);
            }
        }
    }
    for (int k = 0; k < 3; ++k) {
        m_range[k] = range[k];
        m_largestOffset[k] = largest[k];
    }
}

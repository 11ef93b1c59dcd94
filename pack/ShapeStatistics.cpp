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

constexpr size_t kChunk = 1024; // positions per chunk

// Adds one blendshape's offsets of a whole chunk (kChunk x 3 floats) to the
// running sums and largest magnitudes. The fixed trip count lets the
// compiler vectorize the loop.
void accumulateChunk(const float* o, float* positiveSum, float* negativeSum, float* largest) {
    for (size_t j = 0; j < kChunk * 3; ++j) {
        const float v = o[j];
        positiveSum[j] += v > 0 ? v : 0.0f;
        negativeSum[j] += v < 0 ? v : 0.0f;
        const float a = v < 0 ? -v : v;
        largest[j] = a > largest[j] ? a : largest[j];
    }
}

} // namespace

void ShapeStatistics::compute(const math3d::Vec3* shapes, size_t n) {
    static_assert(sizeof(math3d::Vec3) == 3 * sizeof(float), "Vec3 is three packed floats");
    m_masks.assign(n, 0);
    m_movedPairs = 0;
    // Positions in chunks: per chunk every blendshape block is read front to
    // back as plain floats; sums and largest offsets stay in local buffers.
    std::vector<float> buffers(kChunk * 3 * 4, 0.0f);
    float* positiveSum = buffers.data();
    float* negativeSum = positiveSum + kChunk * 3;
    float* largest = negativeSum + kChunk * 3;
    float* padded = largest + kChunk * 3; // the short last chunk, zero-padded
    float range[3] = {0, 0, 0};
    for (size_t first = 0; first < n; first += kChunk) {
        const size_t count = std::min(kChunk, n - first);
        std::fill(positiveSum, positiveSum + kChunk * 3, 0.0f);
        std::fill(negativeSum, negativeSum + kChunk * 3, 0.0f);
        for (int b = 1; b <= meshbundle::kBlendshapeCount; ++b) {
            const float* o = &shapes[static_cast<size_t>(b) * n + first].x;
            if (count < kChunk) {
                std::fill(std::copy(o, o + count * 3, padded), padded + kChunk * 3, 0.0f);
                o = padded;
            }
            accumulateChunk(o, positiveSum, negativeSum, largest);
            const uint64_t bit = uint64_t(1) << (b - 1);
            for (size_t i = 0; i < count; ++i) {
                const float lengthSquared = o[i * 3] * o[i * 3] + o[i * 3 + 1] * o[i * 3 + 1] + o[i * 3 + 2] * o[i * 3 + 2];
                const uint64_t moved = lengthSquared > 1e-12f ? 1 : 0;
                m_masks[first + i] |= bit & (0 - moved);
                m_movedPairs += moved;
            }
        }
        const float* base = &shapes[first].x;
        for (size_t j = 0; j < count * 3; ++j) {
            range[j % 3] = maxAbs(range[j % 3], base[j] + positiveSum[j]);
            range[j % 3] = maxAbs(range[j % 3], base[j] + negativeSum[j]);
        }
    }
    for (int k = 0; k < 3; ++k) {
        m_range[k] = range[k];
        m_largestOffset[k] = 0;
        for (size_t j = static_cast<size_t>(k); j < kChunk * 3; j += 3)
            m_largestOffset[k] = maxAbs(m_largestOffset[k], largest[j]);
    }
}

#include "pack/ShapeStatistics.h"

#include "pack/MeshPart.h"

#include <algorithm>
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Larger of a and |b|, ignoring a NaN b.
float maxAbs(float a, float b) {
    const float m = std::fabs(b);
    return m > a ? m : a;
}

constexpr size_t kChunk = 4096; // positions per chunk
constexpr size_t kGroup = 4;    // positions per group: 12 floats, three SSE vectors

// Adds one blendshape's offsets of a whole chunk (kChunk x 3 floats) to the
// running sums (positive and negative parts) and largest magnitudes, stores
// each value's square, and per group of kGroup positions whether any value
// is non-zero. A NaN adds nothing, is never the largest and counts as
// non-zero.
void accumulateChunk(const float* __restrict o, float* __restrict positiveSum, float* __restrict negativeSum,
                     float* __restrict largest, float* __restrict squares, uint8_t* __restrict nonZero) {
#if defined(__SSE2__)
    // max/min(v, 0) is exactly v > 0 ? v : 0 and v < 0 ? v : 0 (NaN gives 0);
    // max(|v|, largest) keeps largest for a NaN.
    const __m128 zero = _mm_setzero_ps();
    const __m128 sign = _mm_set1_ps(-0.0f);
    for (size_t g = 0; g < kChunk / kGroup; ++g) {
        __m128 any = _mm_setzero_ps();
        for (size_t j = g * kGroup * 3; j < (g + 1) * kGroup * 3; j += 4) {
            const __m128 v = _mm_loadu_ps(o + j);
            _mm_storeu_ps(positiveSum + j, _mm_add_ps(_mm_loadu_ps(positiveSum + j), _mm_max_ps(v, zero)));
            _mm_storeu_ps(negativeSum + j, _mm_add_ps(_mm_loadu_ps(negativeSum + j), _mm_min_ps(v, zero)));
            _mm_storeu_ps(largest + j, _mm_max_ps(_mm_andnot_ps(sign, v), _mm_loadu_ps(largest + j)));
            _mm_storeu_ps(squares + j, _mm_mul_ps(v, v));
            any = _mm_or_ps(any, _mm_cmpneq_ps(v, zero));
        }
        nonZero[g] = _mm_movemask_ps(any) != 0;
    }
#else
    for (size_t g = 0; g < kChunk / kGroup; ++g) {
        bool any = false;
        for (size_t j = g * kGroup * 3; j < (g + 1) * kGroup * 3; ++j) {
            const float v = o[j];
            positiveSum[j] += v > 0 ? v : 0.0f;
            negativeSum[j] += v < 0 ? v : 0.0f;
            const float a = v < 0 ? -v : v;
            largest[j] = a > largest[j] ? a : largest[j];
            squares[j] = v * v;
            any = any || v != 0;
        }
        nonZero[g] = any;
    }
#endif
}

// Sets `bit` in the masks of the chunk's positions whose offset is longer
// than 1e-6 (squares: the offsets' squared components); returns how many.
// Groups whose values are all zero are skipped: nothing there moves.
size_t markMoved(const float* __restrict squares, const uint8_t* nonZero, size_t count, uint64_t bit,
                 uint64_t* __restrict masks) {
    size_t moved = 0;
    for (size_t first = 0; first < count; first += kGroup) {
        if (!nonZero[first / kGroup])
            continue;
        const size_t stop = std::min(count, first + kGroup);
        for (size_t i = first; i < stop; ++i) {
            const uint64_t m = squares[i * 3] + squares[i * 3 + 1] + squares[i * 3 + 2] > 1e-12f ? 1 : 0;
            masks[i] |= bit & (0 - m);
            moved += m;
        }
    }
    return moved;
}

} // namespace

void ShapeStatistics::compute(const math3d::Vec3* shapes, size_t n) {
    static_assert(sizeof(math3d::Vec3) == 3 * sizeof(float), "Vec3 is three packed floats");
    m_masks.assign(n, 0);
    m_movedPairs = 0;
    // Positions in chunks: per chunk every blendshape block is read front to
    // back as plain floats; sums and largest offsets stay in local buffers.
    std::vector<float> buffers(kChunk * 3 * 5, 0.0f);
    float* positiveSum = buffers.data();
    float* negativeSum = positiveSum + kChunk * 3;
    float* largest = negativeSum + kChunk * 3;
    float* squares = largest + kChunk * 3;
    float* padded = squares + kChunk * 3; // the short last chunk, zero-padded
    uint8_t nonZero[kChunk / kGroup];
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
            accumulateChunk(o, positiveSum, negativeSum, largest, squares, nonZero);
            m_movedPairs += markMoved(squares, nonZero, count, uint64_t(1) << (b - 1), &m_masks[first]);
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

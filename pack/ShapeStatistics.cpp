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
    std::vector<math3d::Vec3> positiveSum(n), negativeSum(n);
    float largest[3] = {0, 0, 0};
    // Blendshape by blendshape so that every block is read front to back.
    for (int b = 1; b <= meshbundle::kBlendshapeCount; ++b) {
        const math3d::Vec3* block = shapes + static_cast<size_t>(b) * n;
        const uint64_t bit = uint64_t(1) << (b - 1);
        for (size_t v = 0; v < n; ++v) {
            const math3d::Vec3 o = block[v];
            if (static_cast<double>(o.x) * o.x + static_cast<double>(o.y) * o.y +
                    static_cast<double>(o.z) * o.z > 1e-12) {
                m_masks[v] |= bit;
                ++m_movedPairs;
            }
            for (int k = 0; k < 3; ++k) {
                if (o[k] > 0)
                    positiveSum[v][k] += o[k];
                else
                    negativeSum[v][k] += o[k];
                largest[k] = maxAbs(largest[k], o[k]);
            }
        }
    }
    float range[3] = {0, 0, 0};
    for (size_t v = 0; v < n; ++v) {
        const math3d::Vec3 base = shapes[v];
        for (int k = 0; k < 3; ++k) {
            range[k] = maxAbs(range[k], base[k] + positiveSum[v][k]);
            range[k] = maxAbs(range[k], base[k] + negativeSum[v][k]);
        }
    }
    for (int k = 0; k < 3; ++k) {
        m_range[k] = range[k];
        m_largestOffset[k] = largest[k];
    }
}

#include "pack/Quantizer.h"

#include <cmath>

Quantizer::Quantizer(const float positionRanges[3]) {
    for (int k = 0; k < 3; ++k) {
        const float r = positionRanges[k];
        m_range[k] = (std::isfinite(r) && r > 0) ? r : 1.0f;
        m_range[k + 3] = 2.0f;
    }
    for (int k = 0; k < 6; ++k)
        m_scale[k] = 32767.0f / m_range[k];
}

int16_t Quantizer::quantize(float value, int k) const {
    const float x = value * m_scale[k] + 0.5f;
    if (x >= 32767.0f)
        return 32767;
    if (x <= -32767.0f)
        return -32767;
    if (x != x)
        return 0;
    // floor(x) for |x| < 32768 without a library call: truncate, then step
    // down for negative fractions.
    int q = static_cast<int>(x);
    if (static_cast<float>(q) > x)
        --q;
    return static_cast<int16_t>(q);
}

void Quantizer::quantizeEntry(math3d::Vec3 position, math3d::Vec3 normal, int16_t out[6]) const {
    out[0] = quantize(position.x, 0);
    out[1] = quantize(position.y, 1);
    out[2] = quantize(position.z, 2);
    out[3] = quantize(normal.x, 3);
    out[4] = quantize(normal.y, 4);
    out[5] = quantize(normal.z, 5);
}

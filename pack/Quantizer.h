#pragma once
// Quantization of positions and normals to int16: value k of a P/N entry
// becomes floor(value x scale_k + 0.5) clamped to [-32767, 32767], with
// scale_k = 32767 / range_k. Normals have range 2.

#include "geometry/Math3d.h"

#include <cstdint>

class Quantizer {
public:
    // positionRanges: per axis, the range of the position values. A range of
    // 0 (or one that is not a finite positive number) is taken as 1, so every
    // quantized value stays finite and decodes back.
    explicit Quantizer(const float positionRanges[3]);

    // range_k for k = 0..5 (positions, then normals).
    float range(int k) const { return m_range[k]; }
    float scale(int k) const { return m_scale[k]; }

    // A NaN value gives 0.
    int16_t quantize(float value, int k) const {
        const float x = value * m_scale[k] + 0.5f;
        if (x >= 32767.0f)
            return 32767;
        if (x <= -32767.0f)
            return -32767;
        if (x != x)
            return 0;
        // floor(x) for |x| < 32768 without a library call: truncate, then
        // step down for negative fractions (without a branch: normal
        // components have random signs, so a branch would often be mispredicted).
        const int q = static_cast<int>(x);
        return static_cast<int16_t>(q - (static_cast<float>(q) > x ? 1 : 0));
    }
    // The six int16 of one P/N entry.
    void quantizeEntry(math3d::Vec3 position, math3d::Vec3 normal, int16_t out[6]) const {
        out[0] = quantize(position.x, 0);
        out[1] = quantize(position.y, 1);
        out[2] = quantize(position.z, 2);
        out[3] = quantize(normal.x, 3);
        out[4] = quantize(normal.y, 4);
        out[5] = quantize(normal.z, 5);
    }

private:
    float m_range[6];
    float m_scale[6];
};

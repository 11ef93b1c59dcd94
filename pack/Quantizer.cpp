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

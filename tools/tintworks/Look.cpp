#include "tools/tintworks/Look.h"

#include <QBuffer>

#include <algorithm>
#include <cassert>
#include <cmath>

namespace tint {

namespace {

double clampUnit(double v) { return std::isnan(v) ? 0.0 : std::clamp(v, -1.0, 1.0); }
double clamp01(double v) { return std::clamp(v, 0.0, 1.0); }

int toByte(double v) { return int(std::lround(clamp01(v) * 255.0)); }

}  // namespace

Look clampedLook(const Look& look) {
    Look out;
    out.brightness = clampUnit(look.brightness);
    out.contrast = clampUnit(look.contrast);
    out.saturation = clampUnit(look.saturation);
    out.temperature = clampUnit(look.temperature);
    return out;
}

std::array<double, 3> applyLook(const Look& lookIn, const std::array<double, 3>& rgb) {
    const Look look = clampedLook(lookIn);
    std::array<double, 3> c = rgb;
    for (double& v : c) {
        v += 0.4 * look.brightness;
        v = (v - 0.5) * (1.0 + look.contrast) + 0.5;
    }
    const double luma = 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2];
    for (double& v : c)
        v = luma + (v - luma) * (1.0 + look.saturation);
    c[0] *= 1.0 + 0.2 * look.temperature;
    c[2] *= 1.0 - 0.2 * look.temperature;
    for (double& v : c)
        v = clamp01(v);
    return c;
}

QImage makeLut(const Look& look) {
    QImage lut(kLutWidth, kLutHeight, QImage::Format_RGB888);
    const double step = 1.0 / (kLutSize - 1);
    for (int g = 0; g < kLutSize; ++g) {
        uchar* row = lut.scanLine(g);
        for (int b = 0; b < kLutSize; ++b) {
            for (int r = 0; r < kLutSize; ++r) {
                const auto out = applyLook(look, {r * step, g * step, b * step});
                uchar* px = row + 3 * (b * kLutSize + r);
                px[0] = uchar(toByte(out[0]));
                px[1] = uchar(toByte(out[1]));
                px[2] = uchar(toByte(out[2]));
            }
        }
    }
    return lut;
}

bool isLut(const QImage& lut) {
    return lut.width() == kLutWidth && lut.height() == kLutHeight;
}

QImage applyLut(const QImage& lutIn, const QImage& picture) {
    assert(isLut(lutIn) && "applyLut needs a 1089 x 33 table");
    const QImage lut = lutIn.convertToFormat(QImage::Format_RGB888);
    QImage out = picture.convertToFormat(QImage::Format_ARGB32);
    auto entry = [&lut](int r, int g, int b) {
        return lut.constScanLine(g) + 3 * (b * kLutSize + r);
    };
    const double scale = double(kLutSize - 1) / 255.0;
    for (int y = 0; y < out.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb p = row[x];
            const double fr = qRed(p) * scale, fg = qGreen(p) * scale, fb = qBlue(p) * scale;
            const int r0 = std::min(int(fr), kLutSize - 2);
            const int g0 = std::min(int(fg), kLutSize - 2);
            const int b0 = std::min(int(fb), kLutSize - 2);
            const double tr = fr - r0, tg = fg - g0, tb = fb - b0;
            double acc[3] = {0, 0, 0};
            for (int corner = 0; corner < 8; ++corner) {
                const int dr = corner & 1, dg = (corner >> 1) & 1, db = (corner >> 2) & 1;
                const double w = (dr ? tr : 1 - tr) * (dg ? tg : 1 - tg) * (db ? tb : 1 - tb);
                const uchar* e = entry(r0 + dr, g0 + dg, b0 + db);
                acc[0] += w * e[0];
                acc[1] += w * e[1];
                acc[2] += w * e[2];
            }
            row[x] = qRgba(int(std::lround(acc[0])), int(std::lround(acc[1])), int(std::lround(acc[2])),
                           qAlpha(p));
        }
    }
    return out;
}

std::string encodePng(const QImage& image) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !image.save(&buffer, "PNG"))
        return {};
    return std::string(bytes.constData(), size_t(bytes.size()));
}

}  // namespace tint

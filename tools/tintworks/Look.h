#pragma once
// A colour-grading look and its 3D lookup table.
//
// A look is four controls, each in [-1, 1] with 0 meaning "no change"; all
// zero is the identity. They act on RGB values in [0, 1], in this order:
//   brightness  adds 0.4 * brightness to every channel;
//   contrast    scales the distance from mid grey by (1 + contrast);
//   saturation  scales the distance from the pixel's luma (Rec. 709 weights)
//               by (1 + saturation): -1 gives grey, +1 doubles the colour;
//   temperature multiplies red by (1 + 0.2 t) and blue by (1 - 0.2 t), so a
//               positive value warms the picture and a negative one cools it;
// and the result is clamped to [0, 1].
//
// The lookup table samples the look on a 33 x 33 x 33 lattice (input level
// i / 32 for i = 0..32 on each axis) and is stored as an 8-bit RGB image of
// 33 tiles of 33 x 33 pixels laid out in one row (1089 x 33 pixels): the
// entry for the input (r, g, b) lattice indices is the pixel at
// x = b * 33 + r, y = g. Blue picks the tile, red runs left to right inside
// a tile, green runs top to bottom.

#include <QImage>

#include <array>
#include <string>

namespace tint {

struct Look {
    double brightness = 0.0;
    double contrast = 0.0;
    double saturation = 0.0;
    double temperature = 0.0;
};

constexpr int kLutSize = 33;                       // lattice points per axis
constexpr int kLutWidth = kLutSize * kLutSize;     // 1089
constexpr int kLutHeight = kLutSize;               // 33

// Clamps every control to [-1, 1]; NaN becomes 0.
Look clampedLook(const Look& look);

// The look applied to one colour with channels in [0, 1].
std::array<double, 3> applyLook(const Look& look, const std::array<double, 3>& rgb);

// The 1089 x 33 RGB888 lookup table of the look (layout above).
QImage makeLut(const Look& look);

// True when `lut` has the table's size (1089 x 33); its format may be any.
bool isLut(const QImage& lut);

// `picture` graded through `lut` with trilinear interpolation between the
// lattice points; alpha is kept. `lut` must satisfy isLut.
QImage applyLut(const QImage& lut, const QImage& picture);

// PNG bytes of an image; empty when encoding fails.
std::string encodePng(const QImage& image);

}  // namespace tint

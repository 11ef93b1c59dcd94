#pragma once
// PNG files made and decoded independently of FreeImage, for the image tests:
// encoding uses stb's zlib compressor and our own chunk layout, decoding uses
// stb_image.

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// PNG colour types used by the tests.
enum class PngColor : uint8_t { Grey = 0, Rgb = 2, Rgba = 6 };

// A non-interlaced PNG of width x height pixels. samples: top row first,
// channels per pixel as the colour type says, one entry per sample (0..255
// for 8-bit, 0..65535 for 16-bit).
std::string makePng(int width, int height, PngColor color, int bitDepth, const std::vector<uint16_t>& samples);

// png with the width and height of its header replaced (checksum kept valid);
// the picture data stays as it was.
std::string withHeaderSize(const std::string& png, uint32_t width, uint32_t height);

// A decoded picture: 8-bit R, G, B, A, top row first.
struct Rgba8 {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;
};
// Decodes PNG (or other stb-readable) bytes; empty result on failure.
Rgba8 decodeWithStb(const std::string& bytes);

// The BGRA bottom-up bytes an ImageBuffer holds, as R, G, B, A top-down.
std::vector<uint8_t> bgraBottomUpToRgbaTopDown(const std::vector<uint8_t>& bgra, int width, int height);

} // namespace testing_support

#include "PngTestFiles.h"

#include <cstdlib>
#include <cstring>
#include <stb/stb_image.h>

// Exported by the stb library, not declared by its headers.
extern "C" unsigned char* stbi_zlib_compress(unsigned char* data, int data_len, int* out_len, int quality);

namespace testing_support {
namespace {

uint32_t crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

void putBigEndian32(std::string& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char((v >> shift) & 0xFF);
}

void putChunk(std::string& out, const char* type, const std::string& payload) {
    putBigEndian32(out, uint32_t(payload.size()));
    const std::string typed = std::string(type, 4) + payload;
    out += typed;
    putBigEndian32(out, crc32(typed));
}

int channelsOf(PngColor color) {
    return color == PngColor::Grey ? 1 : color == PngColor::Rgb ? 3 : 4;
}

} // namespace

std::string makePng(int width, int height, PngColor color, int bitDepth, const std::vector<uint16_t>& samples) {
    const size_t rowSamples = size_t(width) * size_t(channelsOf(color));
    std::string raw;
    for (int y = 0; y < height; ++y) {
        raw += '\0'; // filter: none
        for (size_t i = 0; i < rowSamples; ++i) {
            const uint16_t s = samples.at(size_t(y) * rowSamples + i);
            if (bitDepth == 16)
                raw += char(s >> 8);
            raw += char(s & 0xFF);
        }
    }
    int packedSize = 0;
    unsigned char* packed = stbi_zlib_compress(reinterpret_cast<unsigned char*>(raw.data()), int(raw.size()),
                                               &packedSize, 8);
    const std::string idat(reinterpret_cast<const char*>(packed), size_t(packedSize));
    std::free(packed);

    std::string header;
    putBigEndian32(header, uint32_t(width));
    putBigEndian32(header, uint32_t(height));
    header += char(bitDepth);
    header += char(color);
    header += std::string(3, '\0'); // deflate, adaptive filtering, no interlace

    std::string png("\x89PNG\r\n\x1a\n", 8);
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", idat);
    putChunk(png, "IEND", "");
    return png;
}

std::string withHeaderSize(const std::string& png, uint32_t width, uint32_t height) {
    // signature (8), IHDR length (4), then "IHDR" and 13 payload bytes
    std::string header = png.substr(12, 17);
    std::string sizes;
    putBigEndian32(sizes, width);
    putBigEndian32(sizes, height);
    header.replace(4, 8, sizes);
    std::string crc;
    putBigEndian32(crc, crc32(header));
    return png.substr(0, 12) + header + crc + png.substr(33);
}

Rgba8 decodeWithStb(const std::string& bytes) {
    Rgba8 r;
    int comp = 0;
    unsigned char* pixels = stbi_load_from_memory(reinterpret_cast<const unsigned char*>(bytes.data()),
                                                  int(bytes.size()), &r.width, &r.height, &comp, 4);
    if (!pixels)
        return Rgba8();
    r.rgba.assign(pixels, pixels + size_t(r.width) * size_t(r.height) * 4);
    stbi_image_free(pixels);
    return r;
}

std::vector<uint8_t> bgraBottomUpToRgbaTopDown(const std::vector<uint8_t>& bgra, int width, int height) {
    std::vector<uint8_t> out(bgra.size());
    const size_t row = size_t(width) * 4;
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = bgra.data() + size_t(height - 1 - y) * row;
        uint8_t* d = out.data() + size_t(y) * row;
        for (int x = 0; x < width; ++x) {
            d[x * 4 + 0] = s[x * 4 + 2];
            d[x * 4 + 1] = s[x * 4 + 1];
            d[x * 4 + 2] = s[x * 4 + 0];
            d[x * 4 + 3] = s[x * 4 + 3];
        }
    }
    return out;
}

} // namespace testing_support

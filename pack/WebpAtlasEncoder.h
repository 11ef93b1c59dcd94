#pragma once
// WebP encoding of atlases with libwebp, byte for byte what the image
// library's default WebP save (ImageBuffer::imwrite to a ".webp" path)
// writes for the same buffer: lossy, quality 75, method 6, lossless alpha,
// every other setting at libwebp's defaults. Unlike that save it can run on
// several threads at once and may use libwebp's own helper thread, neither
// of which changes a byte.

#include "images/ImageBuffer.h"

#include <cstdint>
#include <string>
#include <vector>

class WebpAtlasEncoder {
public:
    // Encodes `image` (4 bytes per pixel, B G R A, rows bottom-up as
    // ImageBuffer keeps them; 1 to 16383 pixels per side) into `out`
    // (replaced). useHelperThread lets libwebp encode alpha and analyse the
    // picture on a second thread. False, with `out` empty and a reason in
    // `error`, for any other buffer or when libwebp fails. Thread-safe.
    static bool encode(const ImageBuffer& image, bool useHelperThread, std::vector<uint8_t>& out,
                       std::string& error);
    // Names everything that shapes the encoded bytes (libwebp's version and
    // the settings), for keys of stored encodings.
    static std::string settingsTag();
};

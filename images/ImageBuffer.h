#pragma once
// In-memory raster read from and written to image files through FreeImage.
//
// Pixel layout: `data` holds width x height x channels bytes, rows packed back
// to back with no padding, the BOTTOM row of the picture first. A buffer filled
// by imread always has 4 channels in B, G, R, A byte order. imwrite expects the
// same order and row sense, so a read followed by a write reproduces the
// picture; code that needs R, G, B, A converts explicitly.
//
// Copying an ImageBuffer copies its bytes. Nothing here throws; failures are
// reported by a false result and a console line, and leave the buffer as it
// was.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class ImageBuffer {
public:
    std::vector<uint8_t> data;
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0; // bytes per pixel: 1, 3 or 4

    // Frees the bytes and sets the three sizes to 0.
    void release();
    // Sets the sizes and makes data exactly width x height x channels bytes,
    // copied from source when given (it must hold that many bytes), otherwise
    // zero-filled. Negative sizes are taken as 0.
    void create(int32_t width, int32_t height, int32_t channels, const uint8_t* source = nullptr);

    // Reads the image file at path. The format comes from the content, else
    // from the name. Any readable format and depth is converted to 32-bit BGRA.
    // Missing, unreadable, truncated or unknown files: false, buffer untouched.
    // A picture of more than 2^28 pixels is refused ("image too large: ...")
    // before decoding when its header tells the size (the decoder's size-only
    // read, or the header read directly for GIF, SGI, DDS, IFF, MNG, WBMP,
    // XBM and JPEG 2000), otherwise right after decoding.
    bool imread(const std::string& path);
    // As imread, from `size` bytes at `bytes` (not retained). nameForFormat
    // serves as the fallback format hint (its extension) and in messages.
    bool imreadMemory(const uint8_t* bytes, size_t size, const char* nameForFormat);

    // Writes the buffer to path in the format its extension names (flags 0,
    // FreeImage's defaults for that format). False with a console line when
    // the buffer is empty or inconsistent, the extension is unknown, the
    // format cannot store this pixel depth, or the file cannot be written; a
    // failed write leaves no partial file behind. The buffer is not changed.
    bool imwrite(const std::string& path) const;
    // As imwrite, encoding into `out` (replaced) instead of a file.
    bool imwriteMemory(const std::string& nameForFormat, std::vector<uint8_t>& out) const;

    // Mirrors every row left-right in place (an odd middle column stays).
    void flipHorizontal();
    // Swaps row y with row height-1-y in place (an odd middle row stays).
    // Both flips leave a buffer unchanged when its byte count does not match
    // its sizes.
    void flipVertical();

    int32_t getWidth() const { return width; }
    int32_t getHeight() const { return height; }
    int32_t getChannels() const { return channels; }
    // width x height x channels, the byte count a consistent buffer holds.
    size_t expectedSize() const;
};

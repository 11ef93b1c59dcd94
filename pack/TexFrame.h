#pragma once
// One frame file of a 2D image sequence on its way into an atlas.

#include "images/ImageBuffer.h"

#include <cstddef>
#include <string>

// Boxes are in pixels of the image buffer, rows counted from the bottom row
// (ImageBuffer keeps rows bottom-up), so `bottom` is the lowest row index.
struct TexFrame {
    std::string path;  // full path of the frame file; key of the frame table
    ImageBuffer image; // 4 bytes per pixel, alpha in the 4th byte; owned
    bool cropped = false; // image holds only the trim box (see cropToTrim)
    int srcWidth = 0;
    int srcHeight = 0;

    // Trim box: inclusive pixel indices of the kept area.
    int trimLeft = 0;
    int trimBottom = 0;
    int trimRight = 0;
    int trimTop = 0;
    int trimWidth = 0;  // trimRight - trimLeft + 1
    int trimHeight = 0; // trimTop - trimBottom + 1

    // Place in the atlas, exclusive right and top:
    // atlasRight = atlasLeft + trimWidth, atlasTop = atlasBottom + trimHeight.
    int atlasLeft = 0;
    int atlasBottom = 0;
    int atlasRight = 0;
    int atlasTop = 0;
    int atlasIndex = -1; // -1 while the frame sits in no atlas
};

// Fills the trim box of `frame` from its image. keepWhole: the box is the
// whole image. Otherwise the box bounds every pixel whose alpha byte is not
// 0; an image without such a pixel gets the one-pixel box (0, 0, 0, 0).
// False, with "Img pointer is null\n" in the log, when the frame holds no
// consistent 4-byte image (the box is then left unchanged).
bool trimFrame(TexFrame& frame, bool keepWhole);

// Replaces the frame's image by the pixels of its trim box (trimWidth x
// trimHeight, rows bottom-up) and sets `cropped`, so that source pixel
// (trimLeft + c, trimBottom + r) is then found at (c, r). Trim box and source
// size keep their values. Does nothing when already cropped or when the
// image is not a consistent 4-byte buffer containing the box.
void cropToTrim(TexFrame& frame);

// Byte offset of trim-box pixel (c, r) in frame.image, cropped or not.
size_t trimPixelOffset(const TexFrame& frame, int c, int r);

#include "pack/TexFrame.h"

#include "base/Log.h"

#include <algorithm>
#include <cstring>

namespace {
bool holdsPixels(const TexFrame& frame) {
    const ImageBuffer& img = frame.image;
    return img.channels == 4 && img.width > 0 && img.height > 0 && img.data.size() == img.expectedSize();
}

void setBox(TexFrame& frame, int left, int bottom, int right, int top) {
    frame.trimLeft = left;
    frame.trimBottom = bottom;
    frame.trimRight = right;
    frame.trimTop = top;
    frame.trimWidth = right - left + 1;
    frame.trimHeight = top - bottom + 1;
}
} // namespace

bool trimFrame(TexFrame& frame, bool keepWhole) {
    if (!holdsPixels(frame) || frame.cropped) {
        LOG_INFO("Img pointer is null\n");
        return false;
    }
    const ImageBuffer& img = frame.image;
    frame.srcWidth = img.width;
    frame.srcHeight = img.height;
    if (keepWhole) {
        setBox(frame, 0, 0, img.width - 1, img.height - 1);
        return true;
    }
    int left = img.width, right = -1, bottom = img.height, top = -1;
    const uint8_t* px = img.data.data();
    for (int y = 0; y < img.height; ++y) {
        const uint8_t* row = px + size_t(y) * size_t(img.width) * 4;
        int first = -1;
        for (int x = 0; x < img.width; ++x) {
            if (row[size_t(x) * 4 + 3] != 0) {
                first = x;
                break;
            }
        }
        if (first < 0)
            continue;
        int last = first;
        for (int x = img.width - 1; x > first; --x) {
            if (row[size_t(x) * 4 + 3] != 0) {
                last = x;
                break;
            }
        }
        left = std::min(left, first);
        right = std::max(right, last);
        bottom = std::min(bottom, y);
        top = y;
    }
    if (top < 0)
        setBox(frame, 0, 0, 0, 0);
    else
        setBox(frame, left, bottom, right, top);
    return true;
}

void cropToTrim(TexFrame& frame) {
    if (frame.cropped || !holdsPixels(frame))
        return;
    const ImageBuffer& src = frame.image;
    if (frame.trimLeft < 0 || frame.trimBottom < 0 || frame.trimWidth <= 0 || frame.trimHeight <= 0 ||
        frame.trimLeft + frame.trimWidth > src.width || frame.trimBottom + frame.trimHeight > src.height)
        return;
    ImageBuffer out;
    out.create(frame.trimWidth, frame.trimHeight, 4);
    const size_t rowBytes = size_t(frame.trimWidth) * 4;
    for (int r = 0; r < frame.trimHeight; ++r) {
        const uint8_t* from =
            src.data.data() + (size_t(frame.trimBottom + r) * size_t(src.width) + size_t(frame.trimLeft)) * 4;
        std::memcpy(out.data.data() + size_t(r) * rowBytes, from, rowBytes);
    }
    frame.image = std::move(out);
    frame.cropped = true;
}

size_t trimPixelOffset(const TexFrame& frame, int c, int r) {
    if (frame.cropped)
        return (size_t(r) * size_t(frame.image.width) + size_t(c)) * 4;
    return (size_t(frame.trimBottom + r) * size_t(frame.image.width) + size_t(frame.trimLeft + c)) * 4;
}

#include "pack/WebpAtlasEncoder.h"

#include <webp/encode.h>


namespace {

int appendToVector(const uint8_t* data, size_t size, const WebPPicture* picture) {
    auto* out = static_cast<std::vector<uint8_t>*>(picture->custom_ptr);
    out->insert(out->end(), data, data + size);
    return 1;
}

struct PictureGuard {
    WebPPicture picture;
    ~PictureGuard() { WebPPictureFree(&picture); }
};

} // namespace

bool WebpAtlasEncoder::encode(const ImageBuffer& image, bool useHelperThread, std::vector<uint8_t>& out,
                              std::string& error) {
    out.clear();
    if (image.channels != 4 || image.width <= 0 || image.height <= 0 || image.width > WEBP_MAX_DIMENSION ||
        image.height > WEBP_MAX_DIMENSION || image.data.size() != image.expectedSize()) {
        error = "not a 4-channel picture of 1 to 16383 pixels per side";
        return false;
    }
    WebPConfig config;
    PictureGuard guard;
    WebPPicture& picture = guard.picture;
    if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) {
        error = "libwebp version mismatch";
        return false;
    }
    config.method = 6;
    config.thread_level = useHelperThread ? 1 : 0;
    picture.width = image.width;
    picture.height = image.height;
    picture.writer = appendToVector;
    picture.custom_ptr = &out;

    // WebP rows run top-down: start at the last stored (top) row and step
    // backwards through the buffer.
    const int stride = image.width * 4;
    const uint8_t* topRow = image.data.data() + size_t(image.height - 1) * size_t(stride);
    if (!WebPPictureImportBGRA(&picture, topRow, -stride)) {
        error = "out of memory while importing the picture";
        return false;
    }
    if (!WebPEncode(&config, &picture)) {
        out.clear();
        error = "libwebp encoding error " + std::to_string(int(picture.error_code));
        return false;
    }
    return true;
}

std::string WebpAtlasEncoder::settingsTag() {
    return "libwebp " + std::to_string(WebPGetEncoderVersion()) + " lossy q75 m6 lossless-alpha";
}

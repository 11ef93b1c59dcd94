// Image bytes through ImageBuffer::imreadMemory (the format from the
// content), then the row flips, which rely on the buffer's sizes.

#include "fuzz/FuzzSupport.h"
#include "images/ImageBuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    ImageBuffer image;
    if (!image.imreadMemory(data, size, "fuzz-input.png")) {
        FUZZ_CHECK(image.data.empty() && image.width == 0 && image.height == 0);
        return 0;
    }
    FUZZ_CHECK(image.channels == 4 && image.width > 0 && image.height > 0);
    FUZZ_CHECK(image.data.size() == image.expectedSize());
    image.flipVertical();
    image.flipHorizontal();
    return 0;
}

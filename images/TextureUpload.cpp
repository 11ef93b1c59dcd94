#include "images/TextureUpload.h"

#include "base/Trace.h"

#include <GL/gl.h>

namespace {

bool pixelsUploadable(const std::vector<uint8_t>& pixels, int width, int height, int channels) {
    if (width < 0 || height < 0 || channels < 0)
        return false;
    if (pixels.size() != size_t(width) * size_t(height) * size_t(channels))
        return false;
    if (!pixels.empty() && channels != 4) {
        Trace::out("uploadTexture, %d-channel pixels, 4 needed\n", channels);
        return false;
    }
    return true;
}

} // namespace

void uploadTexture(const std::vector<uint8_t>& pixels, int width, int height, int channels,
                   uint32_t (&texIds)[kTextureSlots], int contextIndex, const char* label) {
    if (contextIndex < 0 || contextIndex >= kTextureSlots) {
        Trace::out("uploadTexture, context slot %d out of range\n", contextIndex);
        return;
    }
    if (!pixelsUploadable(pixels, width, height, channels))
        return;
    GLuint& name = texIds[contextIndex];
    if (name != 0 && glIsTexture(name))
        glDeleteTextures(1, &name);
    name = 0;
    glGenTextures(1, &name);
    if (name == 0)
        Trace::out("Get OpenGL contex failed!\n");
    if (label)
        Trace::out("texid generated %d\n:", int(name));

    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    if (label)
        Trace::out("texsize %s: %d,%d,%d\n", label, width, height, int(pixels.size()));
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 pixels.empty() ? nullptr : pixels.data());
    glBindTexture(GL_TEXTURE_2D, 0);
}

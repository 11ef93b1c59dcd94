#pragma once
// Uploads an R, G, B, A pixel array as an OpenGL texture for one context slot.
// Used for the texture table's entries and for a material's own pixels.

#include <cstdint>
#include <vector>

// Number of GL context slots a texture keeps a name for (one per viewport).
inline constexpr int kTextureSlots = 4;

// Creates (or recreates) the texture of `pixels` (width x height x channels
// bytes, bottom row first, 4 bytes per pixel) in slot contextIndex of texIds:
// an existing texture of that slot is deleted, a new name is generated,
// linear min/mag filters set and level 0 uploaded as GL_RGBA/GL_UNSIGNED_BYTE.
// The caller has made the slot's GL context current; without one the name
// stays 0 and "Get OpenGL contex failed!" is printed. Does nothing when the
// byte count does not match the sizes, or for non-empty pixels that are not
// 4-channel, or for a slot outside 0..kTextureSlots-1 (both with a line).
// label: the material's texture file name; when given, the new name and the
// sizes are printed as well.
void uploadTexture(const std::vector<uint8_t>& pixels, int width, int height, int channels,
                   uint32_t (&texIds)[kTextureSlots], int contextIndex, const char* label = nullptr);

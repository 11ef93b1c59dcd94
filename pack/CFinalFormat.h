#pragma once
// The mesh bundle writer: turns mesh parts with 46 blendshapes into the pair
// avatar.bin / avatar.json the phone runtime loads.
//
// avatar.bin holds six buffers back to back, little-endian, in this order:
//   vbo_dyn        int16   P/N entries (6 x int16: position xyz, normal xyz)
//                          of meshes that blendshapes move
//   bs_deltas      int16   blendshape deltas, in 8-int16-aligned ranges
//   bs_add_ranges  uint32  range records (byte offset in vbo_dyn, byte offset
//                          in bs_deltas, int16 count)
//   bs_padd_ranges uint32  per dynamic drawcall 47 entries: where each
//                          blendshape's records start in bs_add_ranges (in
//                          uint32 values), plus the end
//   vbo_static     uint32  float streams (alt streams, dPds, dPdt, texture
//                          coordinates) and P/N entries of static meshes (two
//                          int16 per word, first in the low half)
//   ebo            uint16  triangle indices; 32-bit ones as two uint16, low first
// avatar.json gives each buffer's [offset, bytes] and one drawcall per part.
// Positions decode as q x scale / 32767, normals as q x 2 / 32767.

#include "pack/MeshPart.h"

#include <cstdint>
#include <string>
#include <vector>

struct AltStreamRecord {
    std::string name;
    int32_t ofs = 0;      // byte offset in vbo_static
    int32_t channels = 0; // floats per vertex
};

struct DrawCall {
    static constexpr uint32_t kDynamicBit = 1u << 31;
    static constexpr uint32_t kEyeBit = 1u << 30;
    static constexpr uint32_t kEbo32Bit = 1u << 29;
    static constexpr uint32_t kPaddRangesMask = (1u << 29) - 1;

    std::string name;
    int32_t ofs_PN = 0;  // byte offset of the P/N entries in vbo_dyn (dynamic) or vbo_static
    int32_t ofs_st = 0;  // byte offset of the (s, 1 - t) floats in vbo_static
    int32_t ofs_ebo = 0; // byte offset of the indices in ebo
    int32_t count = 0;   // triangles
    uint32_t flags = 0;  // kDynamicBit | kEyeBit | kEbo32Bit | p_bs_padd_ranges
    float P_center[3] = {0, 0, 0};
    float scales[3] = {1, 1, 1}; // position ranges
    std::vector<AltStreamRecord> alt_streams;
    BundleMaterial mat;

    bool isDynamic() const { return (flags & kDynamicBit) != 0; }
    bool isEye() const { return (flags & kEyeBit) != 0; }
    bool isEbo32() const { return (flags & kEbo32Bit) != 0; }
    uint32_t paddRanges() const { return flags & kPaddRangesMask; }
};

class CFinalFormat {
public:
    std::vector<int16_t> vbo_dyn;
    std::vector<int16_t> bs_deltas;
    std::vector<uint32_t> bs_add_ranges;
    std::vector<uint32_t> bs_padd_ranges;
    std::vector<uint32_t> vbo_static;
    std::vector<uint16_t> ebo;
    std::vector<DrawCall> drawcalls;

    // Appends one mesh part as a drawcall (masks, vertex split, rearrangement,
    // centre, quantization, alt streams, dPds/dPdt tangent streams when
    // withTangents, dynamic or static layout, texture coordinates, indices).
    // A part without positions, shapes or corners adds nothing and gives
    // false. Triangles with a position index outside [0, n) are dropped, a
    // texture index outside the texture coordinates reads (0, 0). False, with
    // the buffers as they were, when the buffers would outgrow 32-bit offsets.
    bool ConvertBlendshape(const MeshPart& part, bool withTangents = true);

    // Writes path + ".bin" and path + ".json". Pads vbo_dyn and bs_deltas to
    // multiples of 8 int16 first. False, with a console line, when a file
    // cannot be opened or fully written; a file that failed is removed.
    bool Save(const std::string& path);

    // The bytes of avatar.bin and the text of avatar.json as Save writes them
    // (call after the padding Save does, or see padForSave).
    std::vector<uint8_t> binaryBytes() const;
    std::string jsonText() const;
    // The padding of Save's first step.
    void padForSave();

private:
    struct Sizes;
    Sizes sizes() const;
    void restore(const Sizes& s);
};

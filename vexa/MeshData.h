#pragma once
// A mesh bundle (avatar.bin + avatar.json of the packer, see
// docs/vexa-runtime.md) read into drawable parts: positions and normals
// decoded to floats once at load, texture coordinates, the weight stream,
// triangles, and each blendshape's sparse deltas as (entry, value) records.
// Every offset, length and count is checked against the binary before use;
// the decoded data may take at most kDecodedBytesPerInputByte times the
// input's size. A bundle that does not fit is refused with a reason; nothing
// is read out of bounds and nothing throws.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexa {

constexpr int kBlendshapeCount = 46;

struct MeshDelta {
    std::uint32_t entry;  // index into MeshPart::current (6 floats per vertex)
    float value;          // added times the shape's weight
};

struct MeshPart {
    std::string name;
    std::string texture;  // the descriptor material's texture file
    float diffuse[3] = {1, 1, 1};
    float shininess = 32;
    bool dynamic = false;
    std::size_t vertexCount = 0;
    std::vector<float> base;     // 6 per vertex: position xyz, normal xyz
    std::vector<float> current;  // base with this frame's blendshapes (dynamic parts)
    std::vector<float> texCoords;  // 2 per vertex, t = 0 at the image's top row
    std::vector<float> weights;    // 1 per vertex (the "weight" stream; 1 without it)
    std::vector<std::uint32_t> indices;
    std::vector<MeshDelta> shapes[kBlendshapeCount];
    std::vector<std::uint32_t> touched;  // entries the last frame's shapes changed
    std::vector<std::uint8_t> isTouched;
    std::uint64_t activeShapes = 0;  // bit b: shape b had a weight last frame
    float lastWeights[kBlendshapeCount] = {0};
    int incrementalFrames = 0;
    // The entries [first, last] of `current` shape b's records touch
    // (first > last: none).
    std::uint32_t shapeFirst[kBlendshapeCount], shapeLast[kBlendshapeCount];
    // Counts the calls that changed `current`; the last one changed at most
    // the entries [changedFirst, changedLast]. A copy of `current` made at
    // version v - 1 needs only that range to reach version v.
    std::uint64_t version = 0;
    std::uint32_t changedFirst = 0, changedLast = 0;

    MeshPart() {
        for (int b = 0; b < kBlendshapeCount; ++b) {
            shapeFirst[b] = 1;
            shapeLast[b] = 0;
        }
    }

    // Brings `current` to the base plus the weighted shapes. While the same
    // shapes stay active it adds each weight's change (one pass over their
    // records); otherwise it restores the entries the previous shapes
    // changed and adds the deltas of the non-zero weights. Costs the deltas
    // touched, not the vertex count. Weights equal to the last call's change
    // nothing (and leave `version` alone).
    void applyBlendshapes(const float weights[kBlendshapeCount]);
};

struct MeshData {
    static constexpr std::uint64_t kDecodedBytesPerInputByte = 8;
    static constexpr std::uint64_t kDecodedBytesSlack = 64 * 1024;
    std::vector<MeshPart> parts;

    // False with the reason (and no parts) when the pair does not fit.
    bool read(const std::uint8_t* bin, std::size_t binSize, const char* json, std::size_t jsonSize,
              std::string& reason);
};

} // namespace vexa

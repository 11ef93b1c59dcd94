#pragma once
// Reads a mesh bundle (avatar.bin + avatar.json) back into per-drawcall
// geometry: decoded positions and normals, texture coordinates, alt streams,
// triangles and the sparse blendshape deltas. Independent of the editor's
// classes, for the phone runtime as well.
//
// Every offset, length and count of the descriptor is checked against the
// binary before it is used: the six buffers must tile avatar.bin exactly,
// each vertex stream, index list and delta range must lie inside its buffer,
// and each index must name a vertex whose data is present. The decoded
// meshes may take at most kDecodedBytesPerInputByte times the input's size
// (plus kDecodedBytesSlack): drawcalls, blendshapes or ranges that share
// bytes cannot make a small bundle demand more. A file that does not fit is
// refused with a readable reason; nothing is read out of bounds and nothing
// throws (running out of memory is a refusal too).

#include "pack/MeshBundleDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct MeshBundleDeltaRange {
    uint32_t start = 0;          // first int16 of the drawcall's P/N entries it changes (6 per vertex)
    std::vector<int16_t> values; // added to the P/N int16 from `start` on (may run past the last vertex)
};

struct MeshBundleMesh {
    MeshBundleDrawCallInfo info;  // the descriptor record
    size_t vertexCount = 0;       // highest index + 1
    std::vector<int16_t> pn;      // 6 per vertex: quantized position xyz, normal xyz
    std::vector<float> texCoords; // 2 per vertex, as stored (s, 1 - t)
    std::vector<std::vector<float>> altStreams; // per info.alt_streams entry: channels per vertex
    std::vector<uint32_t> triangles;            // 3 per triangle
    // Dynamic drawcalls: blendshapes[b - 1] holds the ranges of blendshape b (1..46).
    std::vector<std::vector<MeshBundleDeltaRange>> blendshapes;

    // Decoded base position / normal of vertex i (q x scale / 32767; normals q x 2 / 32767).
    void position(size_t i, float out[3]) const;
    void normal(size_t i, float out[3]) const;
    // The quantized P/N entries with blendshape b (1..46) fully applied
    // (6 per vertex; the base for static drawcalls).
    std::vector<int16_t> shapePN(int b) const;
};

class MeshBundleReader {
public:
    static constexpr uint64_t kDecodedBytesPerInputByte = 8;
    static constexpr uint64_t kDecodedBytesSlack = 64 * 1024;

    // From memory: bin/binSize the whole avatar.bin, json/jsonSize the whole
    // avatar.json (not retained). False with the reason in `error` and
    // `meshes` emptied when the pair does not fit together.
    static bool fromBytes(const uint8_t* bin, size_t binSize, const char* json, size_t jsonSize,
                          std::vector<MeshBundleMesh>& meshes, std::string& error);
    // Reads path + ".bin" and path + ".json" (as CFinalFormat::Save names
    // them). Failures also give the console line "MeshBundleReader: <reason>\n".
    static bool fromFiles(const std::string& path, std::vector<MeshBundleMesh>& meshes, std::string& error);
};

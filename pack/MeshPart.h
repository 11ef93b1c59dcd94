#pragma once
// Plain-array input of the mesh bundle writer (CFinalFormat): one mesh part
// with its base shape, its 46 blendshape offsets, texture coordinates,
// triangles, material and extra per-vertex streams. Nothing here is owned:
// the caller keeps every array alive during the conversion.

#include "geometry/Math3d.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace meshbundle {
inline constexpr int kBlendshapeCount = 46;               // blendshapes 1..46
inline constexpr int kShapeCount = kBlendshapeCount + 1;  // block 0 is the base
} // namespace meshbundle

// One triangle corner: indices into the part's positions, texture
// coordinates and normals; -1 means none. The normal index only tells corners
// apart (normals are computed from the positions).
struct MeshCorner {
    int32_t v = -1;
    int32_t t = -1;
    int32_t n = -1;
};

// The material copied into a drawcall. An empty textureFile is written as
// "white.png".
struct BundleMaterial {
    float Kd[3] = {0.8f, 0.8f, 0.8f};
    float Ka[3] = {0, 0, 0};
    float Ks[3] = {0, 0, 0};
    float Ns = 0;
    std::string textureFile; // path or file name of the diffuse texture
};

// An extra per-vertex stream, read like texture coordinates: corner index t
// selects the pair st[2t], st[2t+1]; a missing or out-of-range index reads
// (0, 0).
struct AltStreamSource {
    std::string name;
    const float* st = nullptr; // 2 x count floats
    size_t count = 0;          // number of (s, t) pairs
};

struct MeshPart {
    std::string name;                 // drawcall name
    size_t vertexCount = 0;           // n, number of positions
    const math3d::Vec3* shapes = nullptr; // kShapeCount x n points: block 0 base
                                      // positions, block b the offset of blendshape b
    const float* texCoords = nullptr; // 2 x texCoordCount floats (s, t)
    size_t texCoordCount = 0;
    const MeshCorner* corners = nullptr; // 3 x triangleCount corners
    size_t triangleCount = 0;
    BundleMaterial material;
    int32_t eyeMarker = 0;            // non-zero: drawcall flagged as an eye mesh
    std::vector<AltStreamSource> altStreams;
};

#pragma once
// The inputs pack3d hands the mesh bundle writer for one mesh part: the
// shape array in world space and the weight-map stream.

#include "geometry/Math3d.h"

#include <array>
#include <memory>
#include <vector>

class ImageBuffer;
class ObjMesh;

class ShapeArray {
public:
    // 47 x n points (n = base vertex count): block 0 is M (v, 1) / w of every
    // base vertex (w taken as 1 when |w| < 1e-6), block b (1..46) the same
    // transform of blendshape b's vertex minus the transformed base vertex.
    // An absent blendshape leaves zeros; a blendshape with fewer vertices
    // than the base leaves zeros for the missing ones (traced).
    static std::vector<math3d::Vec3> build(const ObjMesh& base,
                                           const std::array<std::shared_ptr<const ObjMesh>, 46>& blendshapes,
                                           const math3d::Mat4& model);

    // M (p, 1) divided by its w component (1 when |w| < 1e-6).
    static math3d::Vec3 transform(const math3d::Mat4& model, math3d::Vec3 p);

    // Per texture coordinate (s, t) of the mesh, the pair (weight, 0): the red
    // channel of the weight-map pixel at column s x width and row (1 - t) x
    // height counted from the top of the picture (both truncated toward zero
    // and clamped into the image), divided by 255. An empty image gives 0.
    // `weightMap` is laid out as ImageBuffer says (bottom row first, B G R A).
    static std::vector<float> weightStream(const ObjMesh& mesh, const ImageBuffer& weightMap);
};

#include "pack/ShapeArray.h"

#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "pack/MeshPart.h"
#include "images/ImageBuffer.h"

#include <algorithm>
#include <cmath>

namespace {

// Truncates x toward zero and clamps it into [0, size - 1].
int pixelIndex(float x, int size) {
    if (!(x > 0))
        return 0; // negative or NaN
    if (x >= static_cast<float>(size))
        return size - 1;
    return std::min(static_cast<int>(x), size - 1);
}

} // namespace

math3d::Vec3 ShapeArray::transform(const math3d::Mat4& m, math3d::Vec3 p) {
    const math3d::Vec3 t = math3d::transformPoint(m, p);
    float w = m(3, 0) * p.x + m(3, 1) * p.y + m(3, 2) * p.z + m(3, 3);
    if (std::fabs(w) < 1e-6f)
        w = 1.0f;
    return t * (1.0f / w);
}

std::vector<math3d::Vec3> ShapeArray::build(const ObjMesh& base,
                                            const std::array<std::shared_ptr<const ObjMesh>, 46>& blendshapes,
                                            const math3d::Mat4& model) {
    const size_t n = base.vertices.size();
    std::vector<math3d::Vec3> shapes(n * meshbundle::kShapeCount);
    for (size_t v = 0; v < n; ++v)
        shapes[v] = transform(model, base.vertices[v]);
    for (int b = 1; b <= meshbundle::kBlendshapeCount; ++b) {
        const ObjMesh* shape = blendshapes[static_cast<size_t>(b - 1)].get();
        if (!shape)
            continue;
        if (shape->vertices.size() < n)
            Trace::err("blendshape %d has %zu vertices, the mesh %zu; the missing ones do not move\n", b,
                       shape->vertices.size(), n);
        const size_t count = std::min(n, shape->vertices.size());
        math3d::Vec3* block = shapes.data() + static_cast<size_t>(b) * n;
        for (size_t v = 0; v < count; ++v)
            block[v] = transform(model, shape->vertices[v]) - shapes[v];
    }
    return shapes;
}

std::vector<float> ShapeArray::weightStream(const ObjMesh& mesh, const ImageBuffer& weightMap) {
    std::vector<float> st(mesh.texCoords.size() * 2, 0.0f);
    const int w = weightMap.width, h = weightMap.height, channels = weightMap.channels;
    if (w <= 0 || h <= 0 || channels <= 0 || weightMap.data.size() < weightMap.expectedSize())
        return st;
    const int red = channels >= 3 ? 2 : 0; // B G R (A) byte order
    for (size_t i = 0; i < mesh.texCoords.size(); ++i) {
        const int column = pixelIndex(mesh.texCoords[i].u * static_cast<float>(w), w);
        const int rowFromTop = pixelIndex((1.0f - mesh.texCoords[i].v) * static_cast<float>(h), h);
        const size_t storedRow = static_cast<size_t>(h - 1 - rowFromTop);
        const size_t at = (storedRow * static_cast<size_t>(w) + static_cast<size_t>(column)) *
                              static_cast<size_t>(channels) + static_cast<size_t>(red);
        st[i * 2] = weightMap.data[at] / 255.0f;
    }
    return st;
}

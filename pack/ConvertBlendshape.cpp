#include "pack/ConvertBlendshape.h"

#include "base/Log.h"
#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "pack/CFinalFormat.h"
#include "pack/MeshPart.h"
#include "scene/ProjectSnapshot.h"

#include <algorithm>

namespace {

BundleMaterial firstFaceMaterial(const ObjMesh& mesh) {
    BundleMaterial m;
    if (mesh.faces.empty())
        return m;
    const int32_t index = mesh.faces.front().material;
    if (index < 0 || static_cast<size_t>(index) >= mesh.materials.size())
        return m; // default material: its empty texture is written as "white.png"
    const Material& src = mesh.materials[static_cast<size_t>(index)];
    for (int k = 0; k < 3; ++k) {
        m.Kd[k] = src.Kd[k];
        m.Ka[k] = src.Ka[k];
        m.Ks[k] = src.Ks[k];
    }
    m.Ns = src.Ns;
    m.textureFile = src.textureFile;
    return m;
}

// Texture coordinates of a mesh as plain (s, t) floats.
std::vector<float> flatTexCoords(const ObjMesh& mesh) {
    std::vector<float> st;
    st.reserve(mesh.texCoords.size() * 2);
    for (const TexCoord& c : mesh.texCoords)
        st.insert(st.end(), {c.u, c.v});
    return st;
}

} // namespace

std::vector<MeshCorner> triangleCorners(const ObjMesh& mesh) {
    std::vector<MeshCorner> corners;
    for (const Face& f : mesh.faces) {
        const int count = std::min(f.count, Face::kMaxCorners);
        for (int i = 1; i + 1 < count; ++i)
            for (const int k : {0, i, i + 1})
                corners.push_back({f.v[k], f.t[k], f.n[k]});
    }
    return corners;
}

bool ConvertBlendshape(CFinalFormat& format, const Item3dSnapshot& item, const std::vector<math3d::Vec3>& shapes,
                       const std::vector<std::string>& altNames, const std::vector<const ObjMesh*>& altSources,
                       int flags) {
    const ObjMesh* mesh = item.mesh.get();
    if (!mesh || shapes.empty() || shapes.size() != mesh->vertices.size() * meshbundle::kShapeCount ||
        altNames.size() != altSources.size()) {
        LOG_INFO("ConvertBlendshape begin\n");
        Trace::err("ConvertBlendshape: %s has no mesh or no matching shapes; nothing converted\n", item.name.c_str());
        LOG_INFO("ConvertBlendshape end\n");
        return false;
    }
    const std::vector<MeshCorner> corners = triangleCorners(*mesh);
    const std::vector<float> st = flatTexCoords(*mesh);
    std::vector<std::vector<float>> altSt;
    for (const ObjMesh* src : altSources)
        altSt.push_back(src ? flatTexCoords(*src) : std::vector<float>());
    MeshPart part;
    part.name = mesh->name;
    part.vertexCount = mesh->vertices.size();
    part.shapes = shapes.data();
    part.texCoords = st.data();
    part.texCoordCount = st.size() / 2;
    part.corners = corners.data();
    part.triangleCount = corners.size() / 3;
    part.material = firstFaceMaterial(*mesh);
    part.eyeMarker = item.eyeMarker;
    for (size_t i = 0; i < altNames.size(); ++i)
        part.altStreams.push_back({altNames[i], altSt[i].data(), altSt[i].size() / 2});
    return format.ConvertBlendshape(part, (flags & kConvertNeedNormalMap) != 0);
}

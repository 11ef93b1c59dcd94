// The runtime's mesh bundle reader (vexa::MeshData::read), input laid out as
// for fuzz_meshbundle: avatar.json text, one 0 byte, then avatar.bin. What
// it accepts is animated with every blendshape at full weight, then at half
// weight, then at none, which must give the base again.

#include "fuzz/FuzzSupport.h"
#include "vexa/MeshData.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    const FuzzMeshBundle in = fuzzMeshBundle(data, size);
    vexa::MeshData mesh;
    std::string reason;
    if (!mesh.read(in.bin.get(), in.binSize, in.json.get(), in.jsonSize, reason)) {
        FUZZ_CHECK(mesh.parts.empty() && !reason.empty());
        return 0;
    }
    float full[vexa::kBlendshapeCount], half[vexa::kBlendshapeCount], none[vexa::kBlendshapeCount];
    for (int b = 0; b < vexa::kBlendshapeCount; ++b) {
        full[b] = 1;
        half[b] = 0.5f;
        none[b] = 0;
    }
    for (vexa::MeshPart& p : mesh.parts) {
        FUZZ_CHECK(p.base.size() == p.vertexCount * 6 && p.texCoords.size() == p.vertexCount * 2);
        FUZZ_CHECK(p.weights.size() == p.vertexCount);
        for (const uint32_t i : p.indices)
            FUZZ_CHECK(i < p.vertexCount);
        if (!p.dynamic)
            continue;
        // Full weights, then a change of weight on the same shapes (the
        // incremental pass), then none: the part must be back at its base,
        // and every reported change must lie within the part.
        for (const float* w : {full, half, none}) {
            p.applyBlendshapes(w);
            FUZZ_CHECK(p.version == 0 || (p.changedFirst <= p.changedLast && p.changedLast < p.current.size()));
        }
        FUZZ_CHECK(p.current == p.base);
    }
    return 0;
}

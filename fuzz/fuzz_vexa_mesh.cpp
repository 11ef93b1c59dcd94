// The runtime's mesh bundle reader (vexa::MeshData::read), input laid out as
// for fuzz_meshbundle: avatar.json text, one 0 byte, then avatar.bin. What
// it accepts is drawn and animated with every blendshape at full weight.

#include "fuzz/FuzzSupport.h"
#include "vexa/MeshData.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    const void* zero = std::memchr(data, 0, size);
    const size_t jsonSize = zero ? size_t(static_cast<const uint8_t*>(zero) - data) : size;
    const size_t binSize = zero ? size - jsonSize - 1 : 0;
    std::unique_ptr<char[]> json(new char[jsonSize]);
    std::unique_ptr<uint8_t[]> bin(new uint8_t[binSize]);
    std::memcpy(json.get(), data, jsonSize);
    if (binSize)
        std::memcpy(bin.get(), data + jsonSize + 1, binSize);
    vexa::MeshData mesh;
    std::string reason;
    if (!mesh.read(bin.get(), binSize, json.get(), jsonSize, reason)) {
        FUZZ_CHECK(mesh.parts.empty() && !reason.empty());
        return 0;
    }
    float weights[vexa::kBlendshapeCount];
    for (float& w : weights)
        w = 1;
    for (vexa::MeshPart& p : mesh.parts) {
        FUZZ_CHECK(p.base.size() == p.vertexCount * 6 && p.texCoords.size() == p.vertexCount * 2);
        FUZZ_CHECK(p.weights.size() == p.vertexCount);
        for (const uint32_t i : p.indices)
            FUZZ_CHECK(i < p.vertexCount);
        if (p.dynamic)
            p.applyBlendshapes(weights);
    }
    return 0;
}

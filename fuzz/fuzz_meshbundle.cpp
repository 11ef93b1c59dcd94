// A mesh bundle through MeshBundleReader::fromBytes. The input is the
// avatar.json text, one 0 byte, then the avatar.bin bytes (no 0 byte: all
// of it is the JSON and the binary is empty). Each part gets a buffer of
// exactly its size, so a read past either end is seen.

#include "fuzz/FuzzSupport.h"
#include "pack/MeshBundleReader.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    const FuzzMeshBundle in = fuzzMeshBundle(data, size);

    std::vector<MeshBundleMesh> meshes;
    std::string error;
    if (!MeshBundleReader::fromBytes(in.bin.get(), in.binSize, in.json.get(), in.jsonSize, meshes, error)) {
        FUZZ_CHECK(meshes.empty() && !error.empty());
        return 0;
    }
    // Whatever is accepted is consistent and can be drawn and animated.
    for (const MeshBundleMesh& m : meshes) {
        FUZZ_CHECK(m.pn.size() == m.vertexCount * 6);
        FUZZ_CHECK(m.texCoords.size() == m.vertexCount * 2);
        FUZZ_CHECK(m.triangles.size() % 3 == 0);
        for (const uint32_t t : m.triangles)
            FUZZ_CHECK(t < m.vertexCount);
        float p[3], n[3];
        for (size_t i = 0; i < m.vertexCount; ++i) {
            m.position(i, p);
            m.normal(i, n);
        }
        for (int b = 1; b <= int(m.blendshapes.size()); ++b)
            FUZZ_CHECK(m.shapePN(b).size() == m.pn.size());
    }
    return 0;
}

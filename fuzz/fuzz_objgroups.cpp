// OBJ text through the multi-group reader (ObjGroupReader::readBytes), then
// the draw arrays of every group mesh, which rely on its indices being in
// range.

#include "fuzz/FuzzSupport.h"
#include "geometry/ObjGroupReader.h"
#include "geometry/ObjMesh.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    std::vector<ObjMesh*> out;
    // A name in the working folder: "mtllib" lines are resolved next to it.
    const int ok = ObjGroupReader::readBytes(fuzzText(data, size), "fuzz-input.obj", false, out);
    std::vector<std::unique_ptr<ObjMesh>> meshes(out.begin(), out.end());
    if (!ok)
        FUZZ_CHECK(meshes.empty());
    for (const auto& mesh : meshes) {
        for (const Face& f : mesh->faces)
            FUZZ_CHECK(f.count == 3);
        mesh->buildDrawArrays(RenderMode::faces | RenderMode::smooth | RenderMode::textured);
    }
    return 0;
}

// OBJ text through ObjMesh::loadObjBytes, then the draw arrays, which rely
// on every index the reader kept being in range.

#include "fuzz/FuzzSupport.h"
#include "geometry/ObjMesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    ObjMesh mesh;
    // A name in the working folder: "mtllib" lines are resolved next to it.
    if (mesh.loadObjBytes(fuzzText(data, size), "fuzz-input.obj", false, true)) {
        mesh.buildDrawArrays(RenderMode::faces | RenderMode::smooth | RenderMode::textured);
        mesh.buildDrawArrays(RenderMode::faces);
    }
    return 0;
}

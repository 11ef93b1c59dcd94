// OFF text through ObjMesh::loadOffBytes, then the draw arrays, which rely
// on every index the reader kept being in range.

#include "fuzz/FuzzSupport.h"
#include "geometry/ObjMesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    ObjMesh mesh;
    mesh.loadOffBytes(fuzzText(data, size), "fuzz-input.off", true);
    mesh.buildDrawArrays(RenderMode::faces | RenderMode::smooth);
    return 0;
}

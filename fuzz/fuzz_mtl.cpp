// MTL text through ObjMesh::loadMtlBytes, then the material lookup the OBJ
// readers do for "usemtl".

#include "fuzz/FuzzSupport.h"
#include "geometry/MtlReader.h"
#include "geometry/ObjMesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    ObjMesh mesh;
    // A name in the working folder: texture names are resolved next to it.
    mesh.loadMtlBytes(fuzzText(data, size), "fuzz-input.mtl");
    for (const Material& m : mesh.materials)
        MtlReader::findMaterial(mesh.materials, m.name);
    return 0;
}

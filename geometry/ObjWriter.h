#pragma once
// Writers of OBJ and MTL text (ObjMesh::saveObj and saveMtl).

#include "geometry/ObjMesh.h"

#include <string>
#include <vector>

class ObjWriter {
public:
    // The OBJ text of mesh: "mtllib" (when it has materials), the vertices,
    // normals and texture coordinates with their count comments, then every
    // face (hidden ones too) as "v/t/n" corners, with a "usemtl" line where
    // the material changes to another valid one. Numbers as C "%f".
    static std::string objText(const ObjMesh& mesh);
    // The MTL text of the materials, one "newmtl" block each.
    static std::string mtlText(const std::vector<Material>& materials);
};

#pragma once
// Parser of OFF mesh text (the reading part of ObjMesh::loadOff).

#include "geometry/ObjMesh.h"

#include <string_view>

class OffReader {
public:
    // Reads "OFF", the vertex, face and (ignored) edge counts, the vertices
    // and the faces of bytes into the cleared mesh (faces get material -1,
    // t = n = -1). '#' comment lines are skipped; anything after the needed
    // numbers of a vertex or face line is ignored. Returns 1, or 0 with a
    // console line for a missing header, negative counts or counts the text
    // cannot hold, a corner count of 12 or more (or negative), a vertex
    // index out of range, or a premature end; the mesh then keeps the
    // elements read before the fault. Allocation is bounded by the size of
    // bytes.
    static int read(std::string_view bytes, ObjMesh& mesh);
};

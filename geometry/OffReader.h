#pragma once
// Parser of OFF mesh text (the reading part of ObjMesh::loadOff).

#include "geometry/ObjMesh.h"

#include <string>
#include <string_view>

class OffReader {
public:
    // Reads "OFF", the vertex, face and (ignored) edge counts, the vertices
    // and the faces of bytes into the cleared mesh (faces get material -1,
    // t = n = -1); path names the text in messages. The three counts may
    // follow "OFF" on its line; the edge count must share the face count's
    // line. Numbers are read as a stream, so a vertex or face may spread
    // over several lines; once a vertex or face is complete, the rest of its
    // line is ignored (colours). Lines end at "\n", "\r\n" or "\r"; '#'
    // starts a comment. A face of more than Face::kMaxCorners corners
    // becomes a fan of faces that fit, sharing its first corner; a face of
    // fewer than three corners is dropped with a console line. Returns 1,
    // or 0 with a console line for a missing header or edge count, negative
    // counts or counts the text cannot hold, a negative corner count, a
    // vertex index out of range, or a premature end; the mesh then keeps
    // the elements read before the fault. Allocation is bounded by the size
    // of bytes.
    static int read(std::string_view bytes, const std::string& path, ObjMesh& mesh);
};

#pragma once
// Multi-group OBJ reader: one OBJ text read into one ObjMesh per group,
// faces as triangles with mesh-local indices. ResourceManager::loadObjGroups
// is its file entry point.

#include <string>
#include <string_view>
#include <vector>

class LineReader;
class ObjMesh;

class ObjGroupReader {
public:
    // Reads the OBJ text of source into one new ObjMesh per group, appended
    // to out (the caller owns them). path names the text in messages and
    // locates its "mtllib" library. forceNormals recomputes normals even
    // when the text has them. Returns 1, or 0 when a line is too long or
    // memory runs out (out then gets nothing). Faces with a bad index are dropped whole, each with a
    // console line naming path and line.
    static int read(LineReader& source, const std::string& path, bool forceNormals, std::vector<ObjMesh*>& out);
    // As read, from bytes (not copied; the library is still looked up on
    // disk next to path).
    static int readBytes(std::string_view bytes, const std::string& path, bool forceNormals,
                         std::vector<ObjMesh*>& out);
};

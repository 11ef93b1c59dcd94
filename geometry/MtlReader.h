#pragma once
// Reader of Wavefront MTL material libraries, shared by ObjMesh::loadMtl and
// the multi-group OBJ reader.

#include "geometry/ObjMesh.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class LineReader;

class MtlReader {
public:
    // Replaces materials with those of the library text in source. Value
    // lines before the first "newmtl" and unknown keywords are reported and
    // skipped; missing numbers read as 0. A material name of 255 bytes or
    // more, or a texture name of 500 or more, is refused with a console line
    // (a refused material's value lines are skipped). Texture names are
    // looked up next to libraryPath, then as given, with "\" read as "/"
    // (libraries written on Windows); a regular file found is stored in textureFile
    // and registered with ResourceManager::addTex. False, materials
    // untouched, when a line is too long (with a console line naming
    // libraryPath and the line).
    static bool read(LineReader& source, const std::string& libraryPath, std::vector<Material>& materials);
    // As read, from the file at libraryPath, a regular file of at most
    // maxBytes. False with "Error reading file: %s\n" when it cannot be read
    // (materials untouched); failure, when given, then tells why.
    static bool readFile(const std::string& libraryPath, std::vector<Material>& materials,
                         uint64_t maxBytes = UINT64_MAX, std::string* failure = nullptr);

    // Index of the material whose name is exactly name (the last one when
    // several match), -1 when none.
    static int findMaterial(const std::vector<Material>& materials, std::string_view name);
    // Everything of path up to and including its last "/" or "\", empty
    // when it has neither.
    static std::string directoryOf(const std::string& path);
};

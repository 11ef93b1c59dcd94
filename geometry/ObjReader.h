#pragma once
// Parser of Wavefront OBJ text into an ObjMesh (the reading part of
// ObjMesh::loadObj), plus the pieces the multi-group reader shares.
//
// The text is read twice: a quick pass counts elements so every array is
// allocated once at its final size, then the parsing pass fills them.

#include "geometry/ObjMesh.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class LineReader;

class ObjReader {
public:
    // Element counts of OBJ text (faces after splitting long ones).
    struct Counts {
        size_t vertices = 0, normals = 0, texCoords = 0, faces = 0;
    };

    // Fills the cleared mesh with the elements of source; objPath names the
    // text in messages and locates the "mtllib" library. keepFileNormals:
    // the caller keeps the file's normals when it has any (normal indices
    // are then checked too). Faces of fewer than three corners are dropped
    // with a console line. Returns false only when a file cannot be
    // re-read for the second pass or a line is too long (both with a
    // console line; the mesh is then to be cleared).
    static bool read(LineReader& source, const std::string& objPath, bool keepFileNormals, ObjMesh& mesh);

    // Counts the elements of the lines left in source (it is not rewound).
    // Faces are an upper bound: lines too short for three corners are not
    // counted.
    static Counts count(LineReader& source);
    // Number of faces a polygon of `corners` corners becomes (a fan of
    // faces of at most Face::kMaxCorners corners sharing the first corner).
    static int piecesOf(int corners);

    // Resolves one index as parseFaceCorners gives it (value - 1) against
    // the number of elements read so far: non-negative values stand,
    // relative values (file value < 0) count back from the last element.
    // -1 (file value 0 or none) stays -1; results < 0 mean "invalid".
    static int64_t resolveIndex(int32_t parsed, size_t countSoFar) {
        if (parsed >= -1)
            return parsed;
        return static_cast<int64_t>(countSoFar) + parsed + 1;
    }

    // Numbers of vertices, texture coordinates and normals.
    struct Sizes {
        size_t v = 0, t = 0, n = 0;
    };
    // Resolves one corner in place: relative indices against `seen` (the
    // file-global counts so far), then `offset` is subtracted (file-global
    // to mesh-local). t or n of -1 stay "none". With checkNormals false an
    // unusable n becomes -1 (normals are recomputed). False when an index
    // can never be valid; forward is set when one is not below
    // seen - offset (to be checked once the text is read).
    static bool resolveCorner(int32_t& v, int32_t& t, int32_t& n, const Sizes& seen, const Sizes& offset,
                              bool checkNormals, bool& forward);
    // Whether corner i of f indexes within the given array sizes (n only
    // when checkNormals).
    static bool cornerInRange(const Face& f, int i, const Sizes& sizes, bool checkNormals);
    // A polygon whose indices could only be checked once the text was read:
    // `pieces` consecutive faces from `face` (the fan of one polygon).
    struct PendingFace {
        size_t face;
        int64_t line;
        size_t pieces;
    };
    // Drops (and reports) the pending polygons of mesh, all their pieces,
    // when a corner of any piece indexes beyond its arrays (normals only when checkNormals), and, when the
    // material list was replaced while reading (librariesRead > 1), sets
    // material numbers that are not below materialCount to -1.
    static void dropUnresolved(ObjMesh& mesh, const std::vector<PendingFace>& pending, const std::string& path,
                               bool checkNormals, int librariesRead, size_t materialCount);
    // Prints the dropped-face line naming the text and line.
    static void reportDropped(const std::string& path, int64_t lineNumber);
    // Prints the line of a face dropped for having fewer than three corners.
    static void reportTooFewCorners(const std::string& path, int64_t lineNumber);
    // Whether the text after "f" can hold three corners (a cheap test that
    // never says no to a face that has them).
    static bool mayHoldTriangle(std::string_view rest) { return rest.size() >= 6; }
    // Reads the "mtllib" library at libraryPath into materials (unchanged
    // when it cannot be read, with a console line naming objPath and line).
    // Only regular files of at most kMaxLibraryBytes are read. False when
    // the library was not read.
    static bool readLibrary(const std::string& libraryPath, const std::string& objPath, int64_t lineNumber,
                            std::vector<Material>& materials);
    static constexpr uint64_t kMaxLibraryBytes = uint64_t(64) << 20;

    // Prints the unknown-keyword line of the OBJ readers.
    static void reportUnknown(std::string_view keyword, int64_t lineNumber);
    // The library path of an "mtllib" token next to objPath; empty (with a
    // console line) when it is 500 bytes or longer.
    static std::string libraryPathOf(const std::string& objPath, std::string_view token);
};

#pragma once
// The editor's polygon mesh: read from Wavefront OBJ (with its MTL library)
// or OFF, written back to OBJ and MTL, drawn with fixed-function OpenGL,
// copied, cut into sub-meshes, and turned into the editable half-edge mesh
// (kvo::BMesh) on demand.
//
// Arrays are public: the packers and the mesh-bundle writer read them
// directly. Every index a reader stores is checked: after a load, every
// corner's v is below vertices.size(), every t is -1 or below
// texCoords.size(), every n is -1 or below normals.size(), and every
// material is -1 or below materials.size(). Code that edits the arrays by
// hand keeps that invariant.
//
// Readers never throw; bad input gives a console line and a 0 result (or a
// dropped face / refused name, see each function), never a crash.

#include "geometry/Renderable.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class GLNode;
class LineReader;
namespace kvo {
class BMesh;    // geometry/BMesh.h
struct BMVert;  // a vertex record of BMesh
}

// A texture coordinate.
struct TexCoord {
    float u = 0, v = 0;
};

// One polygon of at most kMaxCorners corners (longer OBJ faces are split
// into a fan of faces that fit).
struct Face {
    static constexpr int kMaxCorners = 12;
    int32_t v[kMaxCorners] = {}; // vertex index of each corner, 0-based
    int32_t n[kMaxCorners] = {}; // normal index of each corner, -1 = none
    int32_t t[kMaxCorners] = {}; // texture-coordinate index, -1 = none
    int32_t count = 0;           // number of corners used
    int32_t material = -1;       // index into ObjMesh::materials, -1 = none
    bool hidden = false;         // excluded from drawing and the draw arrays
    int32_t smoothGroup = 0;     // smoothing group (set by the group reader only)
};

// A surface material as read from an MTL library.
struct Material {
    static constexpr size_t kMaxNameBytes = 255;    // names this long or longer are refused
    static constexpr size_t kMaxTextureBytes = 500; // texture names this long or longer are refused
    static constexpr int kContextSlots = 5;

    std::string name;                           // "newmtl" name
    std::string textureFile;                    // resolved path of the diffuse texture
    std::array<uint32_t, kContextSlots> texId{}; // GL texture name per context slot
    std::vector<uint8_t> pixels;                // the material's own R, G, B, A pixels (rarely used)
    int32_t width = 0, height = 0, channels = 0; // size of pixels
    math3d::Vec3 Ka{0, 0, 0};
    math3d::Vec3 Kd{0.8f, 0.8f, 0.8f};
    math3d::Vec3 Ks{0, 0, 0};
    float r = 0;
    float ra = 0;
    float Tr = 1; // opacity: alpha of Ka, Kd, Ks when drawing
    float Ns = 0; // shininess
    float sharpness = 98;
    float Ni = 1;
    int32_t contextIndex = 0; // slot whose texId applyMaterial binds
};

// Bits of the mode given to ObjMesh::render and buildDrawArrays.
struct RenderMode {
    static constexpr int32_t points = 0x1;       // every vertex as a 5-pixel point
    static constexpr int32_t wire = 0x2;         // edges of visible faces as lines
    static constexpr int32_t faces = 0x4;        // faces from the draw arrays
    static constexpr int32_t smooth = 0x20;      // per-corner normals instead of face normals
    static constexpr int32_t textured = 0x40;    // bind textures, pass texture coordinates
    static constexpr int32_t lighting = 0x80;    // GL lighting on while drawing
    static constexpr int32_t vertexColors = 0x100; // pass per-vertex colours
};

class ObjMesh : public Renderable {
public:
    static constexpr size_t kMaxPathBytes = 500; // paths this long or longer are refused

    // Empty mesh named "ObjMesh", visible, pickable, dirty.
    ObjMesh();
    // Default construction followed by copyFrom(other).
    ObjMesh(const ObjMesh& other);
    ObjMesh& operator=(const ObjMesh&) = delete;
    // Deletes the owned bmesh. Does not touch the scene graph: detach the
    // mesh's node (SceneRegistry::detachMesh) before destroying the mesh.
    ~ObjMesh() override;

    // ---- Drawing (current GL context required; ObjMeshGL.cpp) ----

    // Draws the mesh with the RenderMode bits in mode (modeOverrideValue
    // instead when modeOverride is set). Nothing when invisible or empty.
    // Restores the GL attributes it changes; leaves lighting enabled.
    void render(int32_t mode) override;
    // Draws every face, hidden ones too, unlit in one colour (picking).
    // Nothing unless pickable, visible, and the mesh has vertices and faces.
    void renderFlat(const math3d::Vec3& colour) override;
    // Sets front and back material colours of m (alpha Tr) and shininess Ns;
    // textured: enables 2D texturing and binds m.texId[m.contextIndex],
    // otherwise disables 2D texturing.
    static void applyMaterial(const Material& m, bool textured);
    // Uploads every material's own pixels (when it has any) as the GL texture
    // of its contextIndex slot. Materials without pixels are left alone.
    void uploadTextures();

    // Empties every array, filePath and mtlFile, zeroes the bounds, deletes
    // bmesh, sets node to null, dirty and pickable to true.
    void clear() override;

    // ---- Files ----

    // Reads an OFF file. 1 on success; 0 on an open failure ("Error reading
    // file: %s\n") or bad content (header, counts the file cannot hold,
    // negative corner counts, indices out of range), each with a console
    // line; the mesh then keeps what was read before the fault but no face
    // that refers to a missing vertex. Faces of more than 12 corners become
    // fans, faces of fewer than 3 are dropped (OffReader::read has the
    // details). normalize: centre on the origin with the longest box side 1.
    virtual int loadOff(const std::string& path, bool normalize);
    // As loadOff, from bytes (path names the source in messages and fields).
    int loadOffBytes(std::string_view bytes, const std::string& path, bool normalize);

    // Reads an OBJ file with its "mtllib" library. 1 on success, 0 when the
    // file cannot be opened, is not a regular file, has a line too long for
    // LineReader, or the path is 500 bytes or longer. Lines end at "\n",
    // "\r\n" or "\r". A face of fewer than three corners is dropped with a
    // console line naming file and line. The library is read only when it
    // is a regular file of at most ObjReader::kMaxLibraryBytes; otherwise
    // a console line names the OBJ and line, and reading goes on. Normals are
    // recomputed when forceNormals is set or the file has no "vn" line.
    // Negative indices count back from the last element read so far; a face
    // with an index out of range is dropped with a console line naming file
    // and line; a face of more than 12 corners becomes a fan of faces that
    // fit. Keywords other than v, vn, vt, f, usemtl, mtllib are reported and
    // skipped. Missing numbers of v, vn, vt read as 0.
    virtual int loadObj(const std::string& path, bool forceNormals, bool normalize);
    // As loadObj, from bytes; the MTL library is still looked up on disk
    // next to path.
    int loadObjBytes(std::string_view bytes, const std::string& path, bool forceNormals, bool normalize);
    // Replaces materials with the library at path; registers each existing
    // texture with ResourceManager::addTex. 1 when the library was read
    // whole; 0 when it cannot be opened or has a line too long for
    // LineReader (materials then untouched).
    int loadMtl(const std::string& path);
    // As loadMtl, from bytes; path gives the directory textures are looked
    // up in. 0 (materials untouched) for a line too long or no memory.
    int loadMtlBytes(std::string_view bytes, const std::string& path);

    // Writes the mesh as OBJ text (hidden faces included; "mtllib" with
    // mtlFile when there are materials). False with the console line
    // "Open file failed: <path>" when the file cannot be written; the file
    // is written whole or not at all.
    virtual bool saveObj(const std::string& path);
    // Writes materials as MTL text. False ("Error reading file: %s\n") when
    // the file cannot be written.
    virtual bool saveMtl(const std::string& path);

    // Parses the corner tokens of an "f" line (the text after "f"). Fills up
    // to `capacity` corners of v, t, n with 0-based values (value - 1; an
    // absent t or n is -1; a token without a number reads 0, so -1) and
    // returns the number of corner tokens seen, which may exceed capacity.
    // Relative (negative) values are returned as they stand (value - 1 < -1);
    // readers resolve them against their own counts.
    static int parseFaceCorners(std::string_view corners, int32_t* v, int32_t* t, int32_t* n, int capacity);

    // ---- Geometry ----

    // One unit normal per face and one normalised area-weighted normal per
    // vertex; every corner's n becomes its v. Sets dirty.
    void computeNormals();
    // One unit normal per face only (normals and corner n untouched); readers
    // call it when they keep a file's normals, so flat shading has them.
    void computeFaceNormals();
    // boundsMin/boundsMax over all vertices; (1e15..-1e15) when empty.
    void computeBounds();
    // Centres the bounding box on the origin and scales its longest side to
    // 1 (uses the current bounds; nothing when that side is 0). Sets dirty.
    void normalizeToUnit();
    // Rebuilds the per-material triangle arrays for mode (smooth bit: corner
    // normals, else face normals; no other bit changes them). Sets lastMode,
    // clears dirty. Drawing rebuilds them only when dirty or when the smooth
    // bit of its mode differs from lastMode's.
    void buildDrawArrays(int32_t mode);
    // Gives the first face's material the texture at imagePath and registers
    // it with ResourceManager::addTex (adding a default material when
    // needed). Returns 1. A path of 500 bytes or longer is refused (0).
    int loadTexture(const std::string& imagePath);

    // clear(), then copies all mesh data of other: arrays, materials with
    // their pixels, bounds, filePath, mtlFile, pickable, the mode override
    // and the half-edge copy. name, visible and highlighted stay; node is
    // null afterwards (clear() forgets it), so a caller copying into a mesh
    // the scene shows sets node back itself. Nothing when other is this mesh.
    virtual void copyFrom(const ObjMesh& other);
    // Copies the vertices vertexIds (in that order: new index = position in
    // vertexIds) into out, with every face whose corners all lie in the set
    // (vertex indices renumbered). faceMap, when given, becomes one entry per
    // face of this mesh: its index in out or -1. An invalid id stops the copy
    // ("error: not valid vertex id: %d"); out keeps what was copied and stays
    // consistent. A null out prints "error: null pointer provided!".
    virtual void extractSubmesh(const std::vector<int32_t>& vertexIds, ObjMesh* out,
                                std::vector<int32_t>* faceMap = nullptr);

    // ---- Editable half-edge mesh (implemented in ObjMeshEdit.cpp) ----

    // The half-edge copy of this mesh, built when missing or when it was
    // built with another triangulated setting. Owned by this mesh.
    kvo::BMesh* getBMesh(bool triangulated);
    // vertexFlags := the selection flags of the bmesh vertices (through
    // bmeshVerts); zeros when there is no bmesh.
    void syncVertexFlags();
    // Deletes bmesh (if any) and empties bmeshVerts. Called by clear() and
    // the destructor.
    void releaseBMesh();
    // The half-edge part of copyFrom: when other has a bmesh, deep-copies it
    // into this mesh and rebuilds bmeshVerts so that entry i is the copy of
    // other's entry i (bmeshTriangulated copied too). Called after the arrays
    // are copied.
    void copyBMeshFrom(const ObjMesh& other);
    // The half-edge part of extractSubmesh, run on the new mesh: a fresh
    // getBMesh(bmeshTriangulated), everything deselected, syncVertexFlags.
    void resetBMeshSelection();

    // ---- Vertex selection and edits (ObjMeshEdit.cpp) ----
    // Selections go through getBMesh(bmeshTriangulated) and finish with
    // syncVertexFlags. Vertex indices out of range and unknown modes change
    // nothing. Modes: 0 = replace the selection, 1 = add, 2 = remove.

    bool hasSelectedVertex() const;
    bool isVertexSelected(int32_t i) const;
    void selectVertex(int32_t i, int mode);
    // As selectVertex, flooding over edges from i (kvo::BMesh::selectLinked).
    void selectLinked(int32_t i, int mode);
    // Selects the vertices of a shortest path (by edge length) from i to j.
    void selectShortestPath(int32_t i, int32_t j);
    void invertSelection();
    // Adds every neighbour of a selected vertex.
    void growSelection();
    // Removes every selected vertex that has an unselected neighbour.
    void shrinkSelection();
    // Hides every face all of whose corners are selected; sets dirty.
    void hideSelectedFaces();
    // Shows every face; sets dirty.
    void unhideAllFaces();
    // Laplacian smoothing of the selected vertices, `iterations` passes: each
    // becomes the plain average of its edge neighbours (a vertex without
    // neighbours stays where it is); normals recomputed.
    void smoothSelected(int iterations);
    // Deletes the selected vertices and the faces that use them (a mesh
    // without faces just drops the selected vertices). The rest is rebuilt
    // as triangles that keep their texture coordinates, normals' indices
    // are recomputed, and each triangle keeps the material of the face it
    // came from; per-vertex colours follow their vertices. The bmesh is
    // released and the selection cleared.
    void deleteSelected();

    // ---- Data ----

    math3d::Vec3 boundsMin;     // axis-aligned box of the vertices
    math3d::Vec3 boundsMax;
    std::string filePath;       // path of the file last read (< 500 bytes)
    std::string mtlFile;        // library name as given by "mtllib" (written back by saveObj)
    std::vector<math3d::Vec3> vertices;
    std::vector<math3d::Vec3> normals;     // addressed by corner n (one per vertex after computeNormals)
    std::vector<math3d::Vec3> colors;      // one per vertex, (0.8, 0.8, 0.8) after every read
    std::vector<math3d::Vec3> faceNormals; // one unit normal per face
    std::vector<TexCoord> texCoords;
    std::vector<Face> faces;
    std::vector<Material> materials;       // index = material number

    // Triangle lists per material (one list when there are no materials),
    // built by buildDrawArrays.
    std::vector<std::vector<math3d::Vec3>> drawPositions;
    std::vector<std::vector<math3d::Vec3>> drawNormals;
    std::vector<std::vector<TexCoord>> drawTexCoords;
    std::vector<std::vector<math3d::Vec3>> drawColors;
    bool dirty = true;     // draw arrays must be rebuilt (set it after editing the arrays)
    int32_t lastMode = 0;  // mode the draw arrays were last built for

    kvo::BMesh* bmesh = nullptr;          // owned; null until getBMesh
    bool bmeshTriangulated = false;       // bmesh was built from triangles
    std::vector<kvo::BMVert*> bmeshVerts; // half-edge vertex of each mesh vertex
    std::vector<uint32_t> vertexFlags;    // per-vertex selection (nonzero = selected)

    bool modeOverride = false;     // use modeOverrideValue instead of the mode given to render
    int32_t modeOverrideValue = 0;
    bool pickable = true;          // drawn by renderFlat
    GLNode* node = nullptr;        // scene node showing this mesh (not owned)

private:
    // Refuses over-long paths; otherwise sets filePath and name from path.
    bool takeSourcePath(const std::string& path);
    int readObj(LineReader& source, const std::string& path, bool forceNormals, bool normalize);
    int readObjText(LineReader& source, const std::string& path, bool forceNormals, bool normalize);
    int readOff(std::string_view bytes, const std::string& path, bool normalize);
    int readOffText(std::string_view bytes, const std::string& path, bool normalize);
    int refuseOutOfMemory(const std::string& path);
    // The common end of every read: vertexFlags zeros, colours (0.8, 0.8,
    // 0.8), bounds, and with normalize the unit box.
    void finishRead(bool normalize);
    // The three layers of render (ObjMeshGL.cpp).
    void drawFaces(int32_t mode);
    void drawWire();
    void drawPoints(int32_t mode);
    void copyArraysFrom(const ObjMesh& other);
    // Sum of the cross products over the corner strip of f (zero for fewer
    // than 3 corners or an invalid vertex index).
    math3d::Vec3 faceSum(const Face& f) const;
    // Copies the vertex ids into out (positions and colours) and builds
    // the old-to-new index map; false at the first invalid id.
    bool copySubmeshVertices(const std::vector<int32_t>& vertexIds, ObjMesh& out,
                             std::vector<int32_t>& newIndex) const;
};

#pragma once
// A plain value copy of everything a pack of one project reads: the items
// with their attributes (2D stickers and groups with their group relations,
// AR meshes, 3D items with their mesh parts, blendshapes and template
// parameters), the scene-node matrices, the template parameter lists, the
// face-action table, the project name and type and the workspace root.
//
// The editor takes it with capture() on the GUI thread when a pack starts and
// hands it to a worker, so later edits of the scene cannot race the pack. A
// command-line pack fills the public fields itself (every field is a plain
// value; meshes are shared, immutable copies). Nothing here throws except
// std::bad_alloc from capture() when memory runs out.

#include "geometry/Math3d.h"
#include "scene/FaceActions.h"
#include "scene/TemplateParam.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class MainDataHolder;
class ObjMesh;
class ReferenceVertexIndex;
class Item_3d;

// One 2D item (sticker or group), in scene-list order.
struct Sticker2d {
    std::string name;
    std::string texpath; // full path of one frame of the item's sequence
    bool flipHorizontal = false;
    bool flipVertical = false;
    bool isbackground = false;
    bool isfullscreen = false;
    bool islandscape = false;
    bool needtokeepfaceaction = true;
    float fps = 0;
    int triggerStart = 0;
    int triggerEnd = 0;
    int loopType = 0;
    int loopcnt = 0;
    int nodetype = 0;
    std::string start_action;
    std::string end_action;

    bool hasNode = false;      // false: the item has no scene node
    math3d::Vec3 translation;  // node translation (0, 0, 0 without a node)
    math3d::Mat4 model;        // node model matrix, column-major
    // Nearest reference-head vertex (index, position) for items that are
    // neither full screen nor background; -1 when unknown (see
    // ProjectSnapshot::locateStickers).
    int nearestVertex = -1;
    math3d::Vec3 nearestVertexPosition;

    // Group relations as positions in the sticker list: the items that follow
    // this one in its group ring, and its group (-1: none).
    std::vector<int> chain;
    int group = -1;
};

// One AR item, in scene-list order.
struct ArItem {
    std::string name;
    std::string texname; // base name of the output texture
    std::string texpath; // source texture file
    float z = 0;         // depth of its mesh node (0 without a node)
};

// One 3D item (Item_3d), in scene-list order.
struct Item3dSnapshot {
    static constexpr int kBlendshapeCount = 46;

    std::string name;
    int32_t meshRole = 2; // MeshRole: 1 Global Params, 2 whole mesh, 3 mesh part
    int32_t eyeMarker = 0;
    std::string texname;
    std::string texpath;
    std::string objpath;
    std::string objname;
    std::string weightMapPath;
    std::string weightMapName;
    std::vector<TemplateParam> param;
    // The item's mesh (null: none) and blendshapes (null: absent), immutable.
    // of() copies them for mesh parts (meshRole 3) only, the meshes a pack
    // converts; the whole mesh and the Global Params item keep them null.
    std::shared_ptr<const ObjMesh> mesh;
    std::array<std::shared_ptr<const ObjMesh>, kBlendshapeCount> blendshapes;
    // World matrix of the mesh's scene node, column-major (identity without one).
    math3d::Mat4 model = math3d::Mat4::identity();

    // A copy of `item`: its attributes, its meshes when it is a mesh part
    // (see packCopy) and the world matrix of its mesh's node.
    static Item3dSnapshot of(const Item_3d& item);
};

class ProjectSnapshot {
public:
    std::string root;          // workspace root (holds data/ and Projects/)
    std::string projectName;   // Projects/<projectName>/ is the project folder
    int32_t projectType = 1;   // project type flags (1 2D, 2 3D, 4 P2A, 8 Filter)
    std::vector<FaceAction> faceActions;       // table order
    std::vector<TemplateParam> globalParams;   // template declarations, file order
    std::vector<TemplateParam> materialParams;
    std::vector<Sticker2d> items2d;            // 2D items, scene-list order
    std::vector<ArItem> itemsAr;               // AR items, scene-list order
    std::vector<Item3dSnapshot> items3d;       // 3D items, scene-list order

    // Copies the current project of `holder`. GUI thread (the holder's
    // thread); the 2D group relations must be up to date (Item_2d::chain and
    // ::group); relations to items outside the holder are dropped.
    static ProjectSnapshot capture(const MainDataHolder& holder);

    // Projects/<projectName> under root.
    std::string projectDir() const;

    // Sets nearestVertex / nearestVertexPosition of every 2D item that is
    // neither full screen nor background from its node translation mirrored
    // in x (the item's translation (-x, y, z)); an empty index leaves -1.
    void locateStickers(const ReferenceVertexIndex& referenceVertices);

    // A copy of the arrays of `mesh` the packers read (name, file path,
    // vertices, normals, texture coordinates, faces, materials without their
    // pixels or GL names); no node, no half-edge mesh.
    static std::shared_ptr<const ObjMesh> packCopy(const ObjMesh& mesh);
};

#pragma once
// A 3D item: an OBJ mesh (or one part of it) with texture, weight map,
// blendshapes and its own copies of the template parameters. Translation,
// rotation and scale live in the transform of the node showing the mesh.

#include "geometry/Math3d.h"
#include "scene/Item.h"
#include "scene/TemplateParam.h"

#include <array>
#include <map>
#include <memory>
#include <string>
#include <vector>

class ObjMesh;

// Values of Item_3d::meshRole.
enum MeshRole : int32_t { kRoleGlobalParams = 1, kRoleWholeMesh = 2, kRoleMeshPart = 3 };

class Item_3d : public Item {
public:
    static constexpr int kBlendshapeCount = 46;

    Item_3d();
    ~Item_3d() override; // deletes mesh and every blendshape

    std::string texname;  // texture file name (base name and extension)
    std::string texpath;  // texture full path
    std::string objpath;  // OBJ full path
    std::string objname;  // name of the mesh or mesh part
    int32_t eyeMarker = 0; // non-zero: written as an eye mesh by the mesh bundle writer
    std::unique_ptr<ObjMesh> mesh; // owned
    int32_t meshRole = kRoleWholeMesh;
    std::string weightMapPath;
    std::string weightMapName;
    std::array<std::unique_ptr<ObjMesh>, kBlendshapeCount> blendshapes; // slot i: blendshape i; owned
    std::vector<TemplateParam> param;    // own copies of the template parameters
    std::map<std::string, int> paramIndex; // parameter name -> index in param

    // Node transform; each does nothing without a mesh or node. Rotation is
    // in degrees, Euler angles as in math3d (R = Rz * Ry * Rx).
    void setTranslation(float x, float y, float z);
    void setRotation(float x, float y, float z);
    void setScale(float x, float y, float z);
    // (0, 0, 0), (0, 0, 0) and (1, 1, 1) without a mesh or node.
    math3d::Vec3 getTranslation() const;
    math3d::Vec3 getRotation() const; // degrees
    math3d::Vec3 getScale() const;
    // Stores texname and copies it into `values` of every parameter named
    // exactly "tex_albedo".
    void setTexName(const std::string& name);
    void setWeightMapPath(const std::string& path) { weightMapPath = path; }
    void setWeightMapName(const std::string& name) { weightMapName = name; }
};

#include "scene/Item_3d.h"

#include "geometry/ObjMesh.h"
#include "scenegraph/GLNode.h"

using math3d::Vec3;

Item_3d::Item_3d() = default;
Item_3d::~Item_3d() = default;

void Item_3d::setTranslation(float x, float y, float z) {
    if (GLNode* node = nodeOf(mesh.get()))
        node->setPosition({x, y, z});
}

void Item_3d::setRotation(float x, float y, float z) {
    GLNode* node = nodeOf(mesh.get());
    if (!node)
        return;
    const Vec3 radians(math3d::degToRad(x), math3d::degToRad(y), math3d::degToRad(z));
    node->setRotation(math3d::quatToMat3(math3d::eulerToQuat(radians)));
}

void Item_3d::setScale(float x, float y, float z) {
    if (GLNode* node = nodeOf(mesh.get()))
        node->setScale({x, y, z});
}

Vec3 Item_3d::getTranslation() const {
    const GLNode* node = nodeOf(mesh.get());
    return node ? node->position() : Vec3(0, 0, 0);
}

Vec3 Item_3d::getRotation() const {
    const GLNode* node = nodeOf(mesh.get());
    if (!node)
        return {0, 0, 0};
    // A rotation taken over from a whole local matrix may still carry the
    // scale in its columns; read the angles of the pure rotation.
    math3d::Mat3 r = node->rotation();
    for (int col = 0; col < 3; ++col) {
        const Vec3 axis = math3d::normalize(Vec3(r(0, col), r(1, col), r(2, col)));
        for (int row = 0; row < 3; ++row)
            r(row, col) = axis[row];
    }
    const Vec3 e = math3d::mat3ToEuler(r);
    return {math3d::radToDeg(e.x), math3d::radToDeg(e.y), math3d::radToDeg(e.z)};
}

Vec3 Item_3d::getScale() const {
    const GLNode* node = nodeOf(mesh.get());
    return node ? node->scale() : Vec3(1, 1, 1);
}

void Item_3d::setTexName(const std::string& name) {
    texname = name;
    for (TemplateParam& p : param)
        if (p.name == "tex_albedo")
            p.values = name;
}

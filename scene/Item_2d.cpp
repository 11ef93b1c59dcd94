#include "scene/Item_2d.h"

#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "scenegraph/GLNode.h"

using math3d::Vec3;

Item_2d::Item_2d() = default;
Item_2d::~Item_2d() = default;

namespace {

// Replaces every u (component 0) or v (component 1) by 1 - value.
void mirrorTexCoords(ObjMesh& mesh, int component) {
    for (TexCoord& t : mesh.texCoords) {
        float& value = component == 0 ? t.u : t.v;
        value = 1.0f - value;
    }
    mesh.dirty = true;
}

} // namespace

void Item_2d::setFlipHorizontal(bool on) {
    Trace::out("setFlipHorizontal:%d", on ? 1 : 0);
    setFlip(on, flipHorizontal, 0);
}

void Item_2d::setFlipVertical(bool on) {
    Trace::out("setFlipVertical:%d\n", on ? 1 : 0);
    setFlip(on, flipVertical, 1);
}

void Item_2d::setFlip(bool on, bool& flag, int component) {
    if (!mesh || on == flag)
        return;
    flag = on;
    mirrorTexCoords(*mesh, component);
}

Vec3 Item_2d::getPosition() const {
    const GLNode* node = nodeOf(mesh.get());
    return node ? node->position() : Vec3(0, 0, 0);
}

Vec3 Item_2d::getScale() const {
    const GLNode* node = nodeOf(mesh.get());
    return node ? node->scale() : Vec3(1, 1, 1);
}

void Item_2d::setPosition(Vec3 p) {
    if (GLNode* node = nodeOf(mesh.get()))
        node->setPosition(p);
}

void Item_2d::setScaleVec(Vec3 s) {
    if (GLNode* node = nodeOf(mesh.get()))
        node->setScale(s);
}

void Item_2d::setX(float x) {
    Vec3 p = getPosition();
    p.x = isfullscreen ? 0.0f : x;
    setPosition(p);
}

void Item_2d::setY(float y) {
    Vec3 p = getPosition();
    p.y = isfullscreen ? 0.0f : y;
    setPosition(p);
}

void Item_2d::setZ(float z) {
    Vec3 p = getPosition();
    if (isbackground)
        p.z = layout2d::kBackgroundDepth;
    else if (isfullscreen)
        p.z = layout2d::kFullscreenDepth;
    else
        p.z = z;
    setPosition(p);
}

void Item_2d::setWidth(float w) {
    Vec3 s = getScale();
    s.x = w;
    setScaleVec(s);
}

void Item_2d::setHeight(float h) {
    Vec3 s = getScale();
    s.y = h;
    setScaleVec(s);
}

// Only a change of the flag moves the item: switching on twice must not
// overwrite the remembered front position with the background one.
void Item_2d::setBackground(bool on) {
    const bool changed = on != isbackground;
    isbackground = on;
    if (!changed || !nodeOf(mesh.get()))
        return;
    if (on) {
        frontPosition = getPosition();
        setPosition(backPosition);
    } else {
        backPosition = getPosition();
        setPosition(frontPosition);
    }
}

void Item_2d::setFullscreen(bool on) {
    const bool wasFullscreen = isfullscreen;
    isfullscreen = on;
    if (on) {
        isbackground = false;
        // Already full screen: the node stands at the full-screen place, which
        // must not replace the remembered background position.
        if (!wasFullscreen)
            backPosition = getPosition();
        setPosition({0, 0, layout2d::kFullscreenDepth});
        keepratio = false;
        setScaleVec({layout2d::kScreenWidth, layout2d::kScreenHeight, 1});
        if (mesh)
            mesh->pickable = false;
        Trace::out("fullscreen\n");
    } else {
        setPosition({0, 0, layout2d::kForegroundDepth});
        keepratio = true;
        setWidth(100);
        setHeight(ratio * 100);
        if (mesh)
            mesh->pickable = true;
        Trace::out("un fullscreen\n");
    }
}

void Item_2d::setLandscape(bool on) {
    islandscape = on;
    setPosition({0, 0, layout2d::kFullscreenDepth});
    keepratio = false;
    if (on)
        setScaleVec({layout2d::kScreenHeight, layout2d::kScreenWidth, 1});
    else
        setScaleVec({layout2d::kScreenWidth, layout2d::kScreenHeight, 1});
}

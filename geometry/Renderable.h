#pragma once
// Abstract base of everything a 3D viewport draws. Scene-graph nodes
// (GLNode) and polygon meshes (ObjMesh) derive from it; a node holds
// non-owning pointers to the renderables it shows.

#include "geometry/Math3d.h"

#include <cstdint>
#include <string>

class Renderable {
public:
    Renderable() = default;
    Renderable(const Renderable&) = default;
    Renderable& operator=(const Renderable&) = default;
    virtual ~Renderable() = default;

    // Draws with the fixed-function pipeline into the current GL context.
    // mode is a set of RenderMode bits (geometry/ObjMesh.h).
    virtual void render(int32_t mode) = 0;
    // Draws every face in one flat, unlit colour (r, g, b in 0..1), used to
    // identify what lies under the mouse.
    virtual void renderFlat(const math3d::Vec3& colour) = 0;
    // Kind tag of the concrete class.
    virtual uint32_t typeId() const { return 0x10000000u; }
    // Drops the content; the base has none.
    virtual void clear() {}

    bool visible = true;      // drawn at all
    bool highlighted = false; // drawn highlighted (white wireframe)
    std::string name = "Renderable";
};

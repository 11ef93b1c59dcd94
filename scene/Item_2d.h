#pragma once
// A 2D sticker: an animated texture (numbered image sequence) on a quad in
// front of or behind the face, or (nodetype 1) a group of stickers that play
// one after another. Position and size live in the transform of the scene
// node that shows the quad (mesh->node): translation x, y, z and scale x, y.

#include "geometry/Math3d.h"
#include "scene/Item.h"

#include <memory>
#include <string>
#include <vector>

class ObjMesh;

// Depths and screen sizes of the 2D layout (scene units of the phone screen).
namespace layout2d {
inline constexpr float kForegroundDepth = 80.0f;
inline constexpr float kBackgroundDepth = 520.0f;
inline constexpr float kFullscreenDepth = 519.0f;
inline constexpr float kScreenWidth = 380.0f;  // portrait
inline constexpr float kScreenHeight = 672.0f; // portrait
} // namespace layout2d

// Trigger codes of triggerStart / triggerEnd (any other value: "default").
enum TriggerCode : int32_t { kTriggerNewFace = 1, kTriggerAlwaysRender = 2, kTriggerFaceAction = 3 };
// Loop codes of loopType (any other value: "default").
enum LoopCode : int32_t { kLoopInfinite = 0, kLoopCount = 1, kLoopOnceStay = 2 };
// Values of nodetype.
enum NodeType : int32_t { kNodeOrdinary = 0, kNodeGroup = 1, kNodeMember = 2, kNodeLastMember = 3 };

class Item_2d : public Item {
public:
    Item_2d();
    ~Item_2d() override; // deletes mesh

    bool keepratio = true;         // width and height tied by ratio
    bool flipHorizontal = false;   // texture mirrored left-right
    bool flipVertical = false;     // texture mirrored top-bottom
    float ratio = 1.0f;            // texture height / width
    float fps = 0.0f;              // frame rate (createItem sets 20)
    bool isbackground = false;     // kept at depth 520
    bool isfullscreen = false;     // covers the whole screen at depth 519
    bool islandscape = false;      // screen in landscape orientation
    std::string texname;           // texture base name (no folder, no extension)
    std::string texpath;           // texture full path
    math3d::Vec3 frontPosition{0, 0, layout2d::kForegroundDepth}; // translation while not background
    math3d::Vec3 backPosition{0, 0, layout2d::kBackgroundDepth};  // translation while background
    std::unique_ptr<ObjMesh> mesh; // the textured quad; owned
    int32_t triggerStart = kTriggerNewFace;
    int32_t triggerEnd = 0;
    int32_t loopType = kLoopInfinite;
    int32_t loopcnt = 1;           // loops when loopType is kLoopCount
    std::string end_action = "null";   // face action ending the item, "null" for none
    std::string start_action = "null"; // face action starting the item, "null" for none
    bool needtokeepfaceaction = true;
    int32_t nodetype = kNodeOrdinary;

    // Playback relations, filled by the scene tree before packing (not owned,
    // not saved): the items that follow this one in its group's ring
    // (group -> first member -> ... -> last member -> group), and the group
    // the item belongs to (null when in none). Both are rebuilt from scratch
    // each time; never dereference them after items were deleted.
    std::vector<Item_2d*> chain;
    Item_2d* group = nullptr;

    // Texture mirroring: traces "setFlipHorizontal:%d" / "setFlipVertical:%d\n";
    // when the value changes, stores it and replaces every u (or v) of the
    // quad by 1 - u (1 - v), marking the texture coordinates for re-upload.
    void setFlipHorizontal(bool on);
    void setFlipVertical(bool on);
    // Node translation; x and y stay 0 while full screen; z is 520 while
    // background, else 519 while full screen, else the value.
    void setX(float x);
    void setY(float y);
    void setZ(float z);
    // Node scale x / y.
    void setWidth(float w);
    void setHeight(float h);
    // Switching on saves the translation as frontPosition and moves to
    // backPosition; switching off saves it as backPosition and moves to
    // frontPosition. Setting the value it already has only stores the flag.
    void setBackground(bool on);
    // On: clears isbackground, saves the translation as backPosition (unless
    // the item is full screen already), moves to
    // (0, 0, 519) at full-screen size, keepratio false, quad not pickable.
    // Off: moves to (0, 0, 80), keepratio true, width 100, height ratio * 100,
    // quad pickable.
    void setFullscreen(bool on);
    // Stores the flag; moves to (0, 0, 519), keepratio false, scale
    // (672, 380, 1) for landscape, else (380, 672, 1).
    void setLandscape(bool on);
    void setStartAction(const std::string& action) { start_action = action; }
    void setEndAction(const std::string& action) { end_action = action; }

    std::string getName() const { return name; }
    std::string getTexPath() const { return texpath; }
    std::string getStartAction() const { return start_action; }
    std::string getEndAction() const { return end_action; }
    float getFps() const { return fps; }
    // Node translation and scale; (0, 0, 0) and (1, 1, 1) without a mesh or node.
    math3d::Vec3 getPosition() const;
    math3d::Vec3 getScale() const;
    float getX() const { return getPosition().x; }
    float getY() const { return getPosition().y; }
    float getZ() const { return getPosition().z; }
    float getWidth() const { return getScale().x; }
    float getHeight() const { return getScale().y; }

private:
    // Stores `on` in flag and mirrors texture component 0 (u) or 1 (v) when
    // the value changes; nothing without a mesh.
    void setFlip(bool on, bool& flag, int component);
    void setPosition(math3d::Vec3 p);
    void setScaleVec(math3d::Vec3 s);
};

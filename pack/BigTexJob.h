#pragma once
// Everything the 2D pack step reads, as plain values: a snapshot of the 2D
// and AR items taken from the scene before packing, plus the paths and the
// face-action table. The packing and descriptor code works on this alone, so
// it needs no live scene (tests build jobs directly).

#include "geometry/Math3d.h"
#include "scene/FaceActions.h"

#include <functional>
#include <string>
#include <vector>

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
    // neither full screen nor background; -1 when unknown.
    int nearestVertex = -1;
    math3d::Vec3 nearestVertexPosition;

    // Group relations as positions in the job's sticker list: the items that
    // follow this one in its group ring, and its group (-1: none).
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

struct BigTexJob {
    std::string projectDir; // <workspace>/Projects/<projectName>; out/ lies below
    std::string root;       // workspace root; data/tools/ lies below
    std::string scriptName; // replaces "dummy" in the script template
    std::vector<FaceAction> actions;
    std::vector<Sticker2d> stickers;
    std::vector<ArItem> arItems;
    int threads = 0;                   // 0: one per core; 1: calling thread only
    std::function<void(int)> progress; // progress bar advance; may be empty
};

#pragma once
// Everything the 2D pack step reads, as plain values: the 2D and AR items of
// a ProjectSnapshot, plus the paths and the face-action table. The packing
// and descriptor code works on this alone, so it needs no live scene (tests
// build jobs directly).

#include "scene/FaceActions.h"
#include "scene/ProjectSnapshot.h" // Sticker2d, ArItem

class PackCache;

#include <functional>
#include <string>
#include <vector>

struct BigTexJob {
    std::string projectDir; // <workspace>/Projects/<projectName>; out/ lies below
    std::string root;       // workspace root; data/tools/ lies below
    std::string scriptName; // replaces "dummy" in the script template
    std::vector<FaceAction> actions;
    std::vector<Sticker2d> stickers;
    std::vector<ArItem> arItems;
    int threads = 0;                   // 0: one per core; 1: calling thread only
    std::function<void(int)> progress; // progress bar advance; may be empty
    PackCache* cache = nullptr;        // frames and atlases kept between runs; may be null
};

#pragma once
// The 3D pack pipeline: fills Projects/<project>/out/ of a 3D project with
// globals.json, materials.json (texture parameters converted to WebP beside
// them), the mesh bundle avatar.bin / avatar.json of every mesh part
// (meshRole 3) with its 46 blendshapes and weight map, the fixed files of
// data/tools/3d_template/, and the template script given the bundle name.
//
// The no-argument entry points read the current project from MainDataHolder
// (workspace root, project name, m_lst_items). The Pack3dInput overloads take
// the same data explicitly. Nothing here throws; every failure is traced.

#include <functional>
#include <string>
#include <vector>

class Item;

// Adds `points` to the pack progress bar (the packer calls it with 5 three
// times). May be empty.
using PackProgress = std::function<void(int points)>;

struct Pack3dInput {
    std::string root;                // workspace root (holds data/ and Projects/)
    std::string projectName;         // Projects/<projectName>/ is the project folder
    std::vector<const Item*> items;  // every item of the project, in list order (not owned)
    PackProgress progress;           // may be empty
};

// Builds the out/ folder (see above). Returns false when the mesh bundle
// could not be written; the other steps are traced and never stop the run.
// Callers that only start the pack may ignore the result; `progress` (may be
// empty) is advanced by 5 three times.
bool pack3d(const PackProgress& progress = {});
bool pack3d(const Pack3dInput& input);

// Writes <project>/out/globals.json and <project>/out/materials.json. False,
// with "can not generate global json\n" / "can not generate materials json\n",
// when a file cannot be written (materials.json is not attempted after a
// failed globals.json).
bool writeParamJson();
bool writeParamJson(const Pack3dInput& input);

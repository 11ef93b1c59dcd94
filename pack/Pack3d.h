#pragma once
// The 3D pack pipeline: fills Projects/<project>/out/ of a 3D project with
// globals.json, materials.json (texture parameters converted to WebP beside
// them), the mesh bundle avatar.bin / avatar.json of every mesh part
// (meshRole 3) with its 46 blendshapes and weight map, the fixed files of
// data/tools/3d_template/, and the template script given the bundle name.
//
// Input is a ProjectSnapshot (workspace root, project name, the 3D items in
// list order). Nothing here throws: running out of memory or any other
// exception ends the run with false and its reason.

#include <functional>
#include <string>

class PackCache;
class ProjectSnapshot;

// Adds `points` to the pack progress bar (the packer calls it with 5 three
// times). May be empty.
using PackProgress = std::function<void(int points)>;

// Builds the out/ folder (see above). False, with `reason` (may be null)
// saying what failed first, when globals.json or materials.json, a mesh
// part's conversion, the mesh bundle, a template file or the renamed script
// could not be written; the remaining steps still run, so the console shows
// every step. `progress` (may be empty) is advanced by 5 three times.
// `cache` (may be null) keeps the converted mesh bundle and textures between
// runs: unchanged inputs give the stored bytes.
bool pack3d(const ProjectSnapshot& project, const PackProgress& progress = {}, std::string* reason = nullptr,
            PackCache* cache = nullptr);

// Writes <project>/out/globals.json and <project>/out/materials.json. False,
// with "can not generate global json\n" / "can not generate materials json\n",
// when a file cannot be written (materials.json is not attempted after a
// failed globals.json).
bool writeParamJson(const ProjectSnapshot& project, PackCache* cache = nullptr);

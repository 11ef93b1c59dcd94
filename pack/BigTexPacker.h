#pragma once
// The 2D half of the pack pipeline: packBigTex turns the 2D and AR items of
// a project snapshot into the files of a 2D bundle under
// <workspace>/Projects/<projectName>/out/:
//   bigtex_<n>.webp   texture atlases, 2048 pixels wide, of every trimmed
//                     frame of every 2D item's image sequence;
//   bigtex_desc.json  the list of atlas files;
//   desc.json         one node per 2D item (timing, group relations, quad
//                     corners and atlas coordinates per frame) and per AR item;
//   <texname>.webp    each AR item's texture, mirrored left-right;
//   script.js         the effect script made from data/tools/script.js;
//   eyes.glsl         copied from data/tools/eyes.glsl.
// The out/ folder must exist. Progress goes to the log and the console;
// the run is the same, byte for byte, whatever the number of threads.

#include "pack/BigTexJob.h"

#include <functional>
#include <string>

class PackCache;
class ProjectSnapshot;

class BigTexPacker {
public:
    // Called with the amount by which the pack run's progress bar advances.
    using ProgressFn = std::function<void(int)>;

    // Runs the whole 2D pack step for the 2D and AR items of `project` (the
    // script name is the current bundle name + "_" + the version tag). True
    // when every file was written: each atlas, bigtex_desc.json, desc.json,
    // script.js and eyes.glsl. Otherwise false with `reason` (may be null)
    // saying what failed first. Bad frames, missing files and items without a
    // scene node are logged and skipped; they never fail the run. Nothing
    // throws: running out of memory gives false and "out of memory".
    // `progress` may be empty; it is called on the calling thread. `cache`
    // (may be null) keeps decoded frames and encoded atlases between runs.
    static bool packBigTex(const ProjectSnapshot& project, const ProgressFn& progress = ProgressFn(),
                           std::string* reason = nullptr, PackCache* cache = nullptr);

    // The job packBigTex runs for `project` (no progress function set).
    static BigTexJob jobFor(const ProjectSnapshot& project);

    // Wall-clock seconds per phase of one run.
    struct Timing {
        double decode = 0;  // reading and decoding frame files
        double trim = 0;    // trimming and cropping frames
        double place = 0;   // ordering and packing
        double atlases = 0; // composing, encoding and writing every atlas
        double compose = 0; // of which composing (summed over threads)
        double encode = 0;  // of which encoding and writing (summed over threads)
        double describe = 0; // descriptors, AR textures, script and shader
    };

    // The same step for a prepared job: the files are written under
    // job.projectDir + "/out/", the templates are read from job.root +
    // "/data/tools/". Same result rules as packBigTex.
    static bool run(const BigTexJob& job, Timing* timing = nullptr, std::string* reason = nullptr);

private:
    static bool runSteps(const BigTexJob& job, Timing* timing, std::string& reason);
};

#pragma once
// The pack pipeline: turns a project's out/ folder into the files a phone
// loads. In order: clear old outputs, build out/ (2D atlases and descriptors,
// or the 3D pipeline), copy the project's forced files from fcopy/ into out/,
// zip out/ into zip/<bundle>.zip, sign the zip into build/iOS/<bundle>.bundle
// with `node data/tools/sign_file.js`, and copy that bundle to
// build/Android/<bundle>.mp3.
//
// Every step is checked: what it should have made must exist and be
// non-empty; after building out/, every file of the kind must be there (2D:
// bigtex_desc.json, desc.json, script.js, eyes.glsl and every atlas that
// bigtex_desc.json names; 3D: avatar.bin, avatar.json, globals.json,
// materials.json and the 3D template files). A failed step is traced and
// logged as "pack step <step> failed: <reason>", the status shows
// "Pack Failed!" for 3000 ms, the progress returns to 0 and runPack returns
// false. Console lines go through Trace and the info log.
//
// Nothing here throws: an exception from a build step or any other step
// (std::bad_alloc included) becomes a failed step ("... failed: out of
// memory"). A controller runs on one thread at a time; it may be a worker
// thread when the sink is safe to call from there.

#include "scene/ProjectSnapshot.h"

#include <functional>
#include <memory>
#include <string>

class PackStatusSink;

class PackController {
public:
    // Pack options, the entries of the main window's pack combo boxes.
    enum Option { Auto = 0, Step1 = 1, Step2 = 2 };
    // Project kinds for packing.
    enum Kind { Kind2d = 1, Kind3d = 3 };

    // Fills Projects/<project>/out/; false, with `reason` set (may be left
    // empty), when it could not. May throw: the controller catches.
    using BuildStep = std::function<bool(std::string& reason)>;

    // Seconds the signing child may run before it is killed.
    static constexpr int kSignTimeoutSeconds = 120;

    // root: the workspace root (holds data/ and Projects/); projectName: the
    // project folder under Projects/. `sink` (not owned, may be null) receives
    // status messages and progress; it must outlive the controller.
    PackController(std::string root, std::string projectName, PackStatusSink* sink = nullptr);

    // The controller of `project` (its workspace root and project name) with
    // the real packers: BigTexPacker::packBigTex for 2D and pack3d for 3D,
    // both packing from the snapshot (shared, kept alive by the controller)
    // and advancing `sink`'s progress (sink: not owned, may be null).
    // useCache: reuse what the project's pack cache (build/packcache, see
    // PackCache) holds from earlier runs and store what is made; after the
    // build the sink shows what was reused ("atlases reused: 21 of 22") and
    // the workspace's caches are trimmed to their bound. The outputs are the
    // same bytes either way.
    static PackController forSnapshot(std::shared_ptr<const ProjectSnapshot> project, PackStatusSink* sink,
                                      bool useCache = true);

    // The steps that build out/ for kind 1 (2D) and kind 3 (3D). Until set, a
    // build for that kind fails with "no packer for this kind".
    void setBuildSteps(BuildStep build2d, BuildStep build3d);

    // Runs the pipeline. option: Auto builds out/ then zips and signs, Step1
    // only builds out/, Step2 only zips and signs the existing out/. force:
    // clear the old outputs before building. bundleName: the bundle's file
    // name (empty: the project name); it becomes the process-wide bundle name.
    // kind: Kind2d or Kind3d. True only when every step succeeded.
    bool runPack(int option, bool force, const std::string& bundleName, int kind);

    // The core of the pack command: kind 1 when projectType has flag 1, else
    // kind 3; runs runPack(option, true, projectName, kind) and traces
    // "Pack 2d success!" / "Pack 2d failed!" (or "3d"). Returns the result.
    bool packProject(int projectType, int option);

    // Removes the project's bundle, .mp3, zip, out/desc.json, out/script.js
    // and out/eyes.glsl, then every file under out/ (subfolders stay). False
    // when something could not be removed.
    bool clearOutputs();
    // Copies every regular file under fcopy/ (recursively, sorted) into out/
    // under its own file name, replacing existing files. A missing fcopy/ is
    // traced ("copydir not exist") and is no failure; false when a copy fails.
    bool forceCopy();
    // forceCopy, zip, sign and the Android copy for the current bundle name.
    // False, with the step and reason logged, when the bundle name is empty
    // or unsafe, or any step fails or leaves its output missing or empty.
    bool zipAndSign();
    // Copies the file src to dst; dst may name an existing folder (ending in
    // "/" or not), which receives the file under its own name. Missing
    // destination folders are created. False when the copy fails.
    bool xcopyFile(const std::string& src, const std::string& dst);

    // Projects/<project>/ under the root, and its subfolders.
    std::string projectDir() const;
    std::string outDir() const;
    // Outputs of the current bundle name (BundleName.h).
    std::string zipPath() const;
    std::string iosBundlePath() const;
    std::string androidBundlePath() const;

private:
    bool runPackSteps(int option, bool force, int kind);
    bool runKind2d(int option, bool force);
    bool runKind3d(int option, bool force);
    bool clearBeforeBuild(bool force);
    // Runs `build`, turning a false result or an exception into a failed step.
    bool runBuild(const char* step, const BuildStep& build, const char* failure);
    // The whole expected file set of out/ for the kind.
    bool checkOutSet(const char* step, int kind);
    bool checkOutput(const char* step, const std::string& path);
    // Progress 50 and "Siging bundle"; then zip and sign unless option is Step1.
    bool bundleStage(int option);
    bool zipStage();
    bool zipStep();
    bool signStep();
    bool androidStep();
    bool emptyFolderKeepingSubfolders(const std::string& folder);
    // Logs "pack step <step> failed: <reason>" and returns false.
    bool stepFailed(const char* step, const std::string& reason);
    // Closing status and progress of a run; returns ok.
    bool finish(bool ok);
    // One console and log line (printf-style).
    void note(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void status(const char* text);
    void setProgress(int value);
    void advanceProgress(int n);

    std::string m_root;
    std::string m_projectName;
    PackStatusSink* m_sink;
    BuildStep m_build2d;
    BuildStep m_build3d;
};

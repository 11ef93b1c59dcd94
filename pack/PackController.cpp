#include "pack/PackController.h"

#include "base/Constants.h"
#include "base/ExceptionReason.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "base/Trace.h"
#include "base/WholeFile.h"
#include "pack/BigTexPacker.h"
#include "pack/BundleName.h"
#include "pack/ExternalTool.h"
#include "pack/FileCopy.h"
#include "pack/Pack3d.h"
#include "pack/PackCache.h"
#include "pack/PackStatusSink.h"
#include "pack/ZipWriter.h"
#include "scene/ProjectSnapshot.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kStatusMs = 3000;
constexpr const char* kSignScript = "data/tools/sign_file.js";

constexpr uint64_t kMaxAtlasListBytes = 1 << 20;

bool isNonEmptyFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec) && fs::file_size(path, ec) > 0 && !ec;
}

// The atlas file names listed by the "bigtexs" array of bigtex_desc.json;
// false with `reason` when the file is missing, unreadable or not that shape.
bool atlasNames(const std::string& path, std::vector<std::string>& names, std::string& reason) {
    std::string bytes;
    if (!readWholeFile(path, bytes, kMaxAtlasListBytes)) {
        reason = path + " is missing, unreadable or too large";
        return false;
    }
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseIterativeFlag>(bytes.data(), bytes.size());
    if (doc.HasParseError() || !doc.IsObject() || !doc.HasMember("bigtexs") || !doc["bigtexs"].IsArray()) {
        reason = path + " does not hold a \"bigtexs\" list";
        return false;
    }
    for (const rapidjson::Value& v : doc["bigtexs"].GetArray()) {
        if (!v.IsString() || !isPlainName(std::string(v.GetString(), v.GetStringLength()))) {
            reason = path + " names an atlas that is not a plain file name";
            return false;
        }
        names.emplace_back(v.GetString(), v.GetStringLength());
    }
    return true;
}

// Regular files under `folder`, recursively, sorted by path. False when it cannot be listed.
bool listFiles(const std::string& folder, std::vector<fs::path>& files) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (it->is_regular_file(typeEc))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return !ec;
}

bool ensureFolder(const std::string& folder, std::string& reason) {
    std::error_code ec;
    if (fs::is_directory(folder, ec))
        return true;
    fs::create_directories(folder, ec);
    if (fs::is_directory(folder, ec))
        return true;
    reason = "cannot create folder " + folder + (ec ? ": " + ec.message() : std::string());
    return false;
}

// Removes `path` if present; false when it is still there afterwards.
bool removeIfPresent(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
    return !fs::exists(fs::symlink_status(path, ec));
}

std::string lastLine(const std::string& text) {
    std::string t = text;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r'))
        t.pop_back();
    const size_t nl = t.rfind('\n');
    return nl == std::string::npos ? t : t.substr(nl + 1);
}

} // namespace

PackController::PackController(std::string root, std::string projectName, PackStatusSink* sink)
    : m_root(std::move(root)), m_projectName(std::move(projectName)), m_sink(sink) {}

namespace {

// Runs one build step with the project's pack cache (or none), then tells
// what was reused and keeps the workspace's caches within their bound.
bool buildWithCache(const ProjectSnapshot& project, bool useCache, PackStatusSink* sink,
                    const std::function<bool(PackCache*)>& build) {
    if (!useCache)
        return build(nullptr);
    PackCache cache(PackCache::folderOf(project.projectDir()));
    const bool built = build(&cache);
    const std::string summary = cache.summary();
    if (!summary.empty()) {
        Trace::out("%s\n", summary.c_str());
        LOG_INFO("%s\n", summary.c_str());
        if (sink)
            sink->showMessage(summary, 3000);
    }
    PackCache::evict(project.root);
    return built;
}

} // namespace

PackController PackController::forSnapshot(std::shared_ptr<const ProjectSnapshot> project, PackStatusSink* sink,
                                           bool useCache) {
    PackController pc(project ? project->root : std::string(), project ? project->projectName : std::string(), sink);
    const auto progress = [sink](int n) {
        if (sink)
            sink->advanceProgress(n);
    };
    pc.setBuildSteps(
        [project, progress, sink, useCache](std::string& reason) {
            return project && buildWithCache(*project, useCache, sink, [&](PackCache* cache) {
                       return BigTexPacker::packBigTex(*project, progress, &reason, cache);
                   });
        },
        [project, progress, sink, useCache](std::string& reason) {
            return project && buildWithCache(*project, useCache, sink, [&](PackCache* cache) {
                       return pack3d(*project, progress, &reason, cache);
                   });
        });
    return pc;
}

void PackController::setBuildSteps(BuildStep build2d, BuildStep build3d) {
    m_build2d = std::move(build2d);
    m_build3d = std::move(build3d);
}

std::string PackController::projectDir() const { return pathJoin(m_root, "Projects/" + m_projectName); }
std::string PackController::outDir() const { return projectDir() + "/out/"; }
std::string PackController::zipPath() const { return projectDir() + "/zip/" + bundleName() + ".zip"; }
std::string PackController::iosBundlePath() const {
    return projectDir() + "/build/iOS/" + bundleName() + ".bundle";
}
std::string PackController::androidBundlePath() const {
    return projectDir() + "/build/Android/" + bundleName() + ".mp3";
}

bool PackController::runPack(int option, bool force, const std::string& name, int kind) {
    bool ok = false;
    try {
        setBundleName(name.empty() ? m_projectName : name);
        ok = runPackSteps(option, force, kind);
    } catch (...) {
        ok = false;
        try {
            stepFailed("runPack", exceptionReason(std::current_exception()));
        } catch (...) {
            // Not even the failure line could be written; the result says it.
        }
    }
    try {
        return finish(ok);
    } catch (...) {
        return false;
    }
}

bool PackController::runPackSteps(int option, bool force, int kind) {
    bool ok = false;
    if (!isPlainName(m_projectName))
        stepFailed("runPack", "project name \"" + m_projectName + "\" is not a plain folder name");
    else if (option < Auto || option > Step2)
        stepFailed("runPack", "unknown pack option " + std::to_string(option));
    else if (kind == Kind2d)
        ok = runKind2d(option, force);
    else if (kind == Kind3d)
        ok = runKind3d(option, force);
    else
        stepFailed("runPack", "unknown project kind " + std::to_string(kind));
    return ok;
}

bool PackController::packProject(int projectType, int option) {
    const bool is2d = (projectType & 1) != 0;
    const bool ok = runPack(option, true, m_projectName, is2d ? Kind2d : Kind3d);
    try {
        note("Pack %s %s!", is2d ? "2d" : "3d", ok ? "success" : "failed");
    } catch (...) {
        // Out of memory for the closing line: the result still tells.
    }
    return ok;
}

bool PackController::runKind2d(int option, bool force) {
    status("Packing bundle!");
    setProgress(0);
    advanceProgress(5);
    note("pack type:%d\n", option);
    if (option < Step2) {
        if (!clearBeforeBuild(force))
            return false;
        if (!runBuild("packBigTex", m_build2d, "the 2D packer failed"))
            return false;
        if (!checkOutSet("packBigTex", Kind2d))
            return false;
        note("packJson Success!\n");
        note("packJS Success!\n");
    }
    if (!bundleStage(option))
        return false;
    note("runPack2d Success End!\n");
    return true;
}

bool PackController::runKind3d(int option, bool force) {
    note("runPack3d begin!\n");
    if (option < Step2) {
        if (!clearBeforeBuild(force))
            return false;
        if (!runBuild("pack3d", m_build3d, "the 3D packer failed"))
            return false;
        if (!checkOutSet("pack3d", Kind3d))
            return false;
    }
    if (!bundleStage(option))
        return false;
    note("runPack3d end!\n");
    return true;
}

bool PackController::clearBeforeBuild(bool force) {
    if (force && !clearOutputs())
        return stepFailed("clearOutputs", "old outputs could not be removed");
    return true;
}

bool PackController::runBuild(const char* step, const BuildStep& build, const char* failure) {
    const bool is2d = std::string(step) == "packBigTex";
    if (!build) {
        if (is2d)
            note("packBigTex Failded!\n");
        return stepFailed(step, "no packer for this kind");
    }
    std::string reason;
    bool built = false;
    try {
        built = build(reason);
    } catch (...) {
        built = false;
        reason = exceptionReason(std::current_exception());
    }
    if (is2d)
        note(built ? "packBigTex Success!\n" : "packBigTex Failded!\n");
    if (!built)
        return stepFailed(step, reason.empty() ? failure : reason);
    return true;
}

bool PackController::checkOutSet(const char* step, int kind) {
    const std::string out = outDir();
    std::vector<std::string> names;
    if (kind == Kind2d) {
        names = {"bigtex_desc.json", "desc.json", "script.js", "eyes.glsl"};
        std::string reason;
        if (!atlasNames(out + "bigtex_desc.json", names, reason))
            return stepFailed(step, reason);
    } else {
        names = {"avatar.json", "globals.json", "materials.json"};
        names.insert(names.end(), std::begin(lumo::k3dTemplateFiles), std::end(lumo::k3dTemplateFiles));
        std::error_code ec;
        if (!fs::is_regular_file(out + "avatar.bin", ec)) // empty when the project has no mesh part
            return stepFailed(step, out + "avatar.bin is missing");
    }
    for (const std::string& name : names) {
        if (!checkOutput(step, out + name))
            return false;
    }
    return true;
}

bool PackController::checkOutput(const char* step, const std::string& path) {
    if (isNonEmptyFile(path))
        return true;
    return stepFailed(step, path + " is missing or empty");
}

bool PackController::bundleStage(int option) {
    setProgress(50);
    status("Siging bundle");
    return option == Step1 || zipStage();
}

bool PackController::zipStage() {
    const bool ok = zipAndSign();
    note(ok ? "packBundle Success!\n" : "packBundle Failded!\n");
    return ok;
}

bool PackController::clearOutputs() {
    const std::string p = projectDir();
    const std::string& name = m_projectName;
    const std::string files[] = {p + "/build/iOS/" + name + ".bundle", p + "/build/Android/" + name + ".mp3",
                                 p + "/zip/" + name + ".zip",          p + "/out/desc.json",
                                 p + "/out/script.js",                 p + "/out/eyes.glsl"};
    bool ok = true;
    for (const std::string& f : files) {
        if (std::remove(f.c_str()) == 0) {
            note("delete file %s\n", f.c_str());
        } else if (fileExists(f)) {
            note("failed delete file %s\n", f.c_str());
            ok = false;
        }
    }
    const std::string out = pathJoin(p, "out/");
    note("command:  remove files under \"%s\" \n", out.c_str());
    return emptyFolderKeepingSubfolders(out) && ok;
}

bool PackController::emptyFolderKeepingSubfolders(const std::string& folder) {
    std::vector<fs::path> doomed;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        if (!it->is_directory(typeEc) || it->is_symlink(typeEc))
            doomed.push_back(it->path());
    }
    bool ok = true;
    for (const fs::path& f : doomed) {
        if (!removeIfPresent(f.string())) {
            note("failed delete file %s\n", f.c_str());
            ok = false;
        }
    }
    return ok;
}

bool PackController::forceCopy() {
    note("PackController::forceCopy begin\n");
    const std::string copyDir = projectDir() + "/fcopy/";
    const std::string target = outDir();
    bool ok = true;
    std::error_code ec;
    if (!fs::is_directory(copyDir, ec)) {
        note("copydir not exist\n");
    } else {
        note("copydir:%s\n", copyDir.c_str());
        std::vector<fs::path> files;
        std::string reason;
        if (!listFiles(copyDir, files)) {
            note("can not list %s\n", copyDir.c_str());
            ok = false;
        }
        note("file count:%d\n", static_cast<int>(files.size()));
        if (!files.empty() && !ensureFolder(target, reason)) {
            note("%s\n", reason.c_str());
            ok = false;
        }
        for (const fs::path& f : files) {
            note("copyfile:%s\n", f.c_str());
            if (ok && !kvo::cp(f.string(), target + f.filename().string()))
                ok = false;
        }
    }
    note("PackController::forceCopy end\n");
    return ok;
}

bool PackController::zipAndSign() {
    if (bundleName().empty())
        return stepFailed("zipAndSign", "the bundle name is empty");
    if (!isPlainName(bundleName()))
        return stepFailed("zipAndSign", "bundle name \"" + bundleName() + "\" is not a plain file name");
    if (!forceCopy())
        return stepFailed("forceCopy", "a forced file could not be copied into " + outDir());
    if (!zipStep())
        return false;
    advanceProgress(15);
    if (!signStep())
        return false;
    advanceProgress(25);
    return androidStep();
}

bool PackController::zipStep() {
    const std::string zip = zipPath();
    note("command: zip \"%s\" \"%s*\"\n", zip.c_str(), outDir().c_str());
    std::string reason;
    if (!ensureFolder(projectDir() + "/zip", reason) || !ZipWriter::zipFolder(outDir(), zip, reason))
        return stepFailed("zip", reason);
    return checkOutput("zip", zip);
}

bool PackController::signStep() {
    const std::string zip = zipPath();
    const std::string bundle = iosBundlePath();
    const std::string script = pathJoin(m_root, kSignScript);
    const std::string node = ExternalTool::find("node");
    note("command: node %s \"%s\" \"%s\"\n", script.c_str(), zip.c_str(), bundle.c_str());
    if (node.empty())
        return stepFailed("sign", "node (Node.js) was not found on PATH");
    if (!fileExists(script))
        return stepFailed("sign", "signing script " + script + " does not exist");
    std::string reason;
    if (!ensureFolder(projectDir() + "/build/iOS", reason))
        return stepFailed("sign", reason);
    if (!removeIfPresent(bundle))
        return stepFailed("sign", "old bundle " + bundle + " could not be removed");
    const ToolResult r = ExternalTool::run({node, script, zip, bundle}, kSignTimeoutSeconds * 1000);
    if (!r.output.empty())
        note("%s", r.output.c_str());
    if (!r.started)
        return stepFailed("sign", "node could not be started: " + r.error);
    if (r.exitCode != 0) {
        const std::string why = r.error.empty() ? "exit code " + std::to_string(r.exitCode) : r.error;
        return stepFailed("sign", "node " + script + " failed (" + why + "): " + lastLine(r.output));
    }
    return checkOutput("sign", bundle);
}

bool PackController::androidStep() {
    const std::string androidDir = projectDir() + "/build/Android/";
    const std::string copied = androidDir + bundleName() + ".bundle";
    if (!xcopyFile(iosBundlePath(), androidDir))
        return stepFailed("android copy", "cannot copy " + iosBundlePath() + " to " + androidDir);
    if (!checkOutput("android copy", copied))
        return false;
    advanceProgress(5);

    const std::string old = pathJoin(m_root, "Projects/" + m_projectName + "/build/Android/" + m_projectName + ".mp3");
    note("oldbundle:%s\n", old.c_str());
    if (fileExists(old)) {
        note("std remove %s\n", old.c_str());
        if (!removeIfPresent(old))
            return stepFailed("android rename", "old bundle " + old + " could not be removed");
    }
    const std::string mp3 = androidBundlePath();
    note("command: rename \"%s\" \"%s.mp3\"\n", copied.c_str(), bundleName().c_str());
    std::error_code ec;
    fs::rename(copied, mp3, ec);
    if (ec)
        return stepFailed("android rename", "cannot rename " + copied + ": " + ec.message());
    if (!checkOutput("android rename", mp3))
        return false;
    note("pack bigtex end\n");
    advanceProgress(4);
    return true;
}

bool PackController::xcopyFile(const std::string& src, const std::string& dst) {
    std::error_code ec;
    const bool intoFolder = (!dst.empty() && dst.back() == '/') || fs::is_directory(dst, ec);
    const std::string target = intoFolder ? pathJoin(dst, fs::path(src).filename().string()) : dst;
    note("command: copy \"%s\" \"%s\"\n", src.c_str(), target.c_str());
    std::string reason;
    const std::string folder = fs::path(target).parent_path().string();
    if (!folder.empty() && !ensureFolder(folder, reason)) {
        note("%s\n", reason.c_str());
        return false;
    }
    return kvo::cp(src, target);
}

bool PackController::stepFailed(const char* step, const std::string& reason) {
    note("pack step %s failed: %s\n", step, reason.c_str());
    return false;
}

bool PackController::finish(bool ok) {
    status(ok ? "Pack Success!" : "Pack Failed!");
    setProgress(0);
    return ok;
}

void PackController::note(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list copy;
    va_copy(copy, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(text.data(), text.size() + 1, fmt, ap);
    va_end(ap);
    Trace::out("%s", text.c_str());
    LOG_INFO("%s", text.c_str());
}

void PackController::status(const char* text) {
    if (m_sink)
        m_sink->showMessage(text, kStatusMs);
    note("%s\n", text);
}

void PackController::setProgress(int value) {
    if (m_sink)
        m_sink->setProgress(value);
}

void PackController::advanceProgress(int n) {
    if (m_sink)
        m_sink->advanceProgress(n);
}

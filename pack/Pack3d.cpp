#include "pack/Pack3d.h"

#include "base/Constants.h"
#include "base/ExceptionReason.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "base/TextFile.h"
#include "base/Trace.h"
#include "base/WholeFile.h"
#include "geometry/ObjMesh.h"
#include "images/ImageBuffer.h"
#include "pack/BundleName.h"
#include "pack/CFinalFormat.h"
#include "pack/ConvertBlendshape.h"
#include "pack/FileCopy.h"
#include "pack/PackCache.h"
#include "pack/ParamJsonWriter.h"
#include "pack/ShapeArray.h"
#include "scene/Item_3d.h"
#include "scene/ProjectSnapshot.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

bool writeParamFiles(const ProjectSnapshot& in, PackCache* cache);

std::string outDir(const ProjectSnapshot& in) { return pathJoin(in.projectDir(), "/out/"); }

void advance(const PackProgress& progress, int points) {
    if (progress)
        progress(points);
}

// Keeps the first failure of a run.
void fail(std::string& reason, const std::string& why) {
    Trace::err("pack3d: %s\n", why.c_str());
    if (reason.empty())
        reason = why;
}

// Steps 3.1 to 3.3 for one mesh part; false when it could not be converted.
bool convertPart(CFinalFormat& format, const Item3dSnapshot& item) {
    LOG_INFO("process conponent:%s\n", item.name.c_str());
    LOG_INFO("pack bs\n");
    if (!item.mesh) {
        Trace::err("pack3d: mesh part %s has no mesh; skipped\n", item.name.c_str());
        return true;
    }
    const std::vector<math3d::Vec3> shapes = ShapeArray::build(*item.mesh, item.blendshapes, item.model);
    LOG_INFO("pack bs end\n");

    LOG_INFO("pack wight end\n");
    ImageBuffer weightMap;
    if (!weightMap.imread(item.weightMapPath)) {
        // Weight 0 everywhere: the template draws the part fully transparent.
        Trace::err("mesh part %s: weight map %s can not be loaded; the part packs with weight 0 and will not show\n",
                   item.name.c_str(), item.weightMapPath.c_str());
        weightMap.create(2, 2, 4);
    }
    ObjMesh weights;
    const std::vector<float> st = ShapeArray::weightStream(*item.mesh, weightMap);
    for (size_t i = 0; i + 1 < st.size(); i += 2)
        weights.texCoords.push_back({st[i], st[i + 1]});

    LOG_INFO("ConvertBlendshape begin\n");
    const bool ok = ConvertBlendshape(format, item, shapes, {"weight"}, {&weights},
                                      kConvertAccumulatedRanges | kConvertNeedNormalMap);
    LOG_INFO("ConvertBlendshape end\n");
    return ok;
}

// Copies src to target, creating target's folder first when kvo::cp failed.
bool copyWithFolder(const std::string& source, const std::string& target) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(target).parent_path(), ec);
    return kvo::cp(source, target);
}

void copyTemplateFiles(const ProjectSnapshot& in, const std::string& out, std::string& reason) {
    LOG_INFO("copy template res begin\n");
    for (const char* name : lumo::k3dTemplateFiles) {
        const std::string source = pathJoin(in.root, std::string("/data/tools/3d_template/") + name);
        const std::string target = pathJoin(out, name);
        if (!kvo::cp(source, target)) {
            LOG_INFO("cp faild\ndocmdxcopy\n");
            if (!copyWithFolder(source, target))
                fail(reason, "cannot copy template file " + source + " to " + target);
        }
    }
    LOG_INFO("copy template res end\n");
}

void renameBundleScript(const ProjectSnapshot& in, std::string& reason) {
    LOG_INFO("rename bundle script begin\n");
    const std::string path = in.projectDir() + "/out/script.js";
    std::string text;
    readWholeFile(path, text); // an unreadable script has no "dummy" to replace
    const size_t at = text.find("dummy");
    if (at == std::string::npos)
        return;
    text.replace(at, 5, bundleName() + "_" + lumo::kVersionTag);
    if (writeTextFile(path, text)) {
        LOG_INFO("script name replaced\n");
    } else {
        LOG_INFO("can not open file:%s\n", path.c_str());
        fail(reason, "cannot write " + path);
    }
}

// Adds a file's path and content key to h (a marker when it cannot be
// read); the key comes from the cache's file table when the file's stat
// data are unchanged.
// The files a mesh bundle key took in, with their content keys then.
using KeyedFiles = std::vector<std::pair<std::string, PackCache::Key>>;

void hashFile(PackCache::Hasher& h, PackCache& cache, const std::string& path, KeyedFiles& files) {
    PackCache::Key content;
    const bool read = cache.fileKey(path, content);
    h.text(path).value(uint8_t(read ? 1 : 0)).value(content);
    files.emplace_back(path, content);
}

// Whether the files still hold the content they were keyed by (a file that
// changed while the bundle was converted from it makes the bundle's key
// name the wrong content).
bool unchangedSince(PackCache& cache, const KeyedFiles& files) {
    for (const auto& [path, then] : files) {
        PackCache::Key now; // zero for a file that cannot be read, as then
        cache.fileKey(path, now);
        if (now != then)
            return false;
    }
    return true;
}

void hashMesh(PackCache::Hasher& h, const ObjMesh& mesh) {
    h.text(mesh.name).array(mesh.vertices).array(mesh.texCoords);
    // The used corners of every face, gathered into runs of whole values
    // (a Face has padding bytes of no defined value).
    h.value(uint64_t(mesh.faces.size()));
    constexpr size_t kRun = 1 << 14;
    constexpr size_t kFaceValues = 2 + 3 * Face::kMaxCorners;
    std::unique_ptr<int32_t[]> run(new int32_t[kRun]);
    size_t used = 0;
    for (const Face& f : mesh.faces) {
        if (used + kFaceValues > kRun) {
            h.value(uint64_t(used)).bytes(run.get(), used * sizeof(int32_t));
            used = 0;
        }
        const int count = std::max(0, std::min(f.count, Face::kMaxCorners));
        int32_t* to = run.get() + used;
        *to++ = f.count;
        *to++ = f.material;
        for (int k = 0; k < count; ++k) {
            *to++ = f.v[k];
            *to++ = f.n[k];
            *to++ = f.t[k];
        }
        used = size_t(to - run.get());
    }
    h.value(uint64_t(used)).bytes(run.get(), used * sizeof(int32_t));
    h.value(uint64_t(mesh.materials.size()));
    for (const Material& m : mesh.materials)
        h.text(m.textureFile).value(m.Ka).value(m.Kd).value(m.Ks).value(m.Ns);
}

// Everything the mesh bundle is made of: every mesh part's name, eye
// marker, mesh, blendshape positions, weight map file and node matrix, and
// the conversion flags.
PackCache::Key meshBundleKey(const ProjectSnapshot& in, PackCache& cache, KeyedFiles& files) {
    PackCache::Hasher h;
    h.text("mesh bundle 2").value(int(kConvertAccumulatedRanges | kConvertNeedNormalMap));
    for (const Item3dSnapshot& item : in.items3d) {
        if (item.meshRole != kRoleMeshPart)
            continue;
        h.text(item.name).value(item.eyeMarker).value(item.model.m).value(uint8_t(item.mesh ? 1 : 0));
        if (!item.mesh)
            continue;
        hashMesh(h, *item.mesh);
        for (const auto& shape : item.blendshapes) {
            h.value(uint8_t(shape ? 1 : 0));
            if (shape)
                h.array(shape->vertices);
        }
        hashFile(h, cache, item.weightMapPath, files);
    }
    return h.digest();
}

// The cache key of the binary part of the bundle stored under `key` (the
// entry under `key` holds the JSON text).
PackCache::Key binaryKey(const PackCache::Key& key) {
    PackCache::Hasher h;
    h.text("mesh bundle binary").value(key);
    return h.digest();
}

// The stored bundle: avatar.bin linked from the cache, avatar.json written
// from its entry. Counts one lookup.
bool takeStoredBundle(PackCache& cache, const PackCache::Key& key, const std::string& bundlePath) {
    if (!cache.fetchFile(PackCache::MeshBundle, binaryKey(key), bundlePath + ".bin")) {
        cache.count(PackCache::MeshBundle, false);
        return false;
    }
    const auto writeJson = [&](const uint8_t* text, size_t size) {
        return writeWholeFile(bundlePath + ".json", text, size);
    };
    return cache.use(PackCache::MeshBundle, key, writeJson);
}

// Converts every mesh part and writes the bundle; from the cache when the
// same inputs were converted before.
void writeMeshBundle(const ProjectSnapshot& in, const std::string& bundlePath, const PackProgress& progress,
                     PackCache* cache, std::string& reason) {
    PackCache::Key key;
    KeyedFiles files;
    if (cache) {
        key = meshBundleKey(in, *cache, files);
        if (takeStoredBundle(*cache, key, bundlePath)) {
            LOG_INFO("mesh bundle taken from the pack cache\n");
            advance(progress, 5);
            advance(progress, 5);
            return;
        }
    }
    CFinalFormat format;
    bool converted = true;
    for (const Item3dSnapshot& item : in.items3d) {
        if (item.meshRole == kRoleMeshPart && !convertPart(format, item)) {
            converted = false;
            fail(reason, "mesh part " + item.name + " could not be converted");
        }
    }
    advance(progress, 5);
    if (!format.Save(bundlePath)) {
        fail(reason, "cannot write the mesh bundle " + bundlePath + ".bin / .json");
    } else if (cache && converted && unchangedSince(*cache, files)) {
        // The binary part is kept as the file just written (the JSON text
        // last, so that an entry means a complete pair).
        std::string json;
        if (cache->storeFile(PackCache::MeshBundle, binaryKey(key), bundlePath + ".bin") &&
            readWholeFile(bundlePath + ".json", json))
            cache->put(PackCache::MeshBundle, key, json.data(), json.size());
    }
    advance(progress, 5);
}

bool runPack3d(const ProjectSnapshot& in, const PackProgress& progress, PackCache* cache, std::string& reason) {
    LOG_INFO("pack3d begin\n");
    LOG_INFO("clearOutDir\n");
    const std::string out = outDir(in);
    if (!fileExists(out))
        makeDir(out);
    if (!writeParamJson(in, cache))
        fail(reason, "cannot write globals.json or materials.json in " + out);
    advance(progress, 5);

    const std::string bundlePath = out + "avatar";
    LOG_INFO("output spath_input:%s\n", bundlePath.c_str());
    writeMeshBundle(in, bundlePath, progress, cache, reason);

    copyTemplateFiles(in, out, reason);
    renameBundleScript(in, reason);
    if (cache)
        cache->saveFileTable(); // input files' content keys, for the next run
    LOG_INFO("pack3d end\n");
    return reason.empty();
}

} // namespace

bool writeParamJson(const ProjectSnapshot& in, PackCache* cache) {
    try {
        return writeParamFiles(in, cache);
    } catch (...) {
        Trace::err("can not generate global json: %s\n", exceptionReason(std::current_exception()).c_str());
        return false;
    }
}

namespace {

bool writeParamFiles(const ProjectSnapshot& in, PackCache* cache) {
    const std::string folder = in.projectDir() + "/out/";
    const ParamJsonWriter writer(folder, cache);
    const std::string globals = writer.globalsText(in.items3d, in.projectName);
    LOG_INFO("global json:\n%s\n", globals.c_str());
    if (!writeTextFile(folder + "globals.json", globals)) {
        LOG_INFO("can not generate global json\n");
        Trace::err("can not generate global json\n");
        return false;
    }
    const std::string materials = writer.materialsText(in.items3d);
    LOG_INFO("material json:\n%s\n", materials.c_str());
    if (!writeTextFile(folder + "materials.json", materials)) {
        LOG_INFO("can not generate materials json\n");
        Trace::err("can not generate materials json\n");
        return false;
    }
    return true;
}

} // namespace

bool pack3d(const ProjectSnapshot& in, const PackProgress& progress, std::string* reason, PackCache* cache) {
    std::string why;
    bool ok = false;
    try {
        ok = runPack3d(in, progress, cache, why);
    } catch (...) {
        why = exceptionReason(std::current_exception());
        Trace::err("pack3d stopped: %s\n", why.c_str());
        LOG_INFO("pack3d stopped: %s\n", why.c_str());
        ok = false;
    }
    if (reason)
        *reason = ok ? std::string() : why;
    return ok;
}

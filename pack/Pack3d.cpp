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
#include "pack/ParamJsonWriter.h"
#include "pack/ShapeArray.h"
#include "scene/Item_3d.h"
#include "scene/ProjectSnapshot.h"

#include <exception>
#include <filesystem>
#include <system_error>

namespace {

bool writeParamFiles(const ProjectSnapshot& in);

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
    if (!weightMap.imread(item.weightMapPath))
        weightMap.create(2, 2, 4);
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

bool runPack3d(const ProjectSnapshot& in, const PackProgress& progress, std::string& reason) {
    LOG_INFO("pack3d begin\n");
    LOG_INFO("clearOutDir\n");
    const std::string out = outDir(in);
    if (!fileExists(out))
        makeDir(out);
    if (!writeParamJson(in))
        fail(reason, "cannot write globals.json or materials.json in " + out);
    advance(progress, 5);

    const std::string bundlePath = out + "avatar";
    LOG_INFO("output spath_input:%s\n", bundlePath.c_str());
    CFinalFormat format;
    for (const Item3dSnapshot& item : in.items3d) {
        if (item.meshRole == kRoleMeshPart && !convertPart(format, item))
            fail(reason, "mesh part " + item.name + " could not be converted");
    }
    advance(progress, 5);
    if (!format.Save(bundlePath))
        fail(reason, "cannot write the mesh bundle " + bundlePath + ".bin / .json");
    advance(progress, 5);

    copyTemplateFiles(in, out, reason);
    renameBundleScript(in, reason);
    LOG_INFO("pack3d end\n");
    return reason.empty();
}

} // namespace

bool writeParamJson(const ProjectSnapshot& in) {
    try {
        return writeParamFiles(in);
    } catch (...) {
        Trace::err("can not generate global json: %s\n", exceptionReason(std::current_exception()).c_str());
        return false;
    }
}

namespace {

bool writeParamFiles(const ProjectSnapshot& in) {
    const std::string folder = in.projectDir() + "/out/";
    const ParamJsonWriter writer(folder);
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

bool pack3d(const ProjectSnapshot& in, const PackProgress& progress, std::string* reason) {
    std::string why;
    bool ok = false;
    try {
        ok = runPack3d(in, progress, why);
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

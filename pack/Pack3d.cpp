#include "pack/Pack3d.h"

#include "base/Constants.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "pack/BundleName.h"
#include "pack/CFinalFormat.h"
#include "pack/ConvertBlendshape.h"
#include "pack/FileCopy.h"
#include "pack/PackController.h"
#include "pack/ParamJsonWriter.h"
#include "pack/ShapeArray.h"
#include "base/WholeFile.h"
#include "images/ImageBuffer.h"
#include "scene/Item_3d.h"
#include "scene/MainDataHolder.h"
#include "scenegraph/GLNode.h"


namespace {

std::string projectDir(const Pack3dInput& in) {
    return pathJoin(in.root, std::string(lumo::kProjectsFolder) + in.projectName);
}

std::string outDir(const Pack3dInput& in) {
    return pathJoin(projectDir(in), "/out/");
}

void advance(const Pack3dInput& in, int points) {
    if (in.progress)
        in.progress(points);
}

bool writeText(const std::string& path, const std::string& text) {
    return writeWholeFile(path, text.data(), text.size());
}

Pack3dInput currentProject(const PackProgress& progress) {
    const std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    Pack3dInput in;
    in.root = holder->root;
    in.projectName = holder->projectName;
    for (const std::unique_ptr<Item>& item : holder->m_lst_items)
        in.items.push_back(item.get());
    in.progress = progress;
    return in;
}

math3d::Mat4 modelMatrix(const ObjMesh& mesh) {
    return mesh.node ? mesh.node->worldMatrix() : math3d::Mat4::identity();
}

// Steps 3.1 to 3.3 for one mesh part.
void convertPart(CFinalFormat& format, const Item_3d& item) {
    LOG_INFO("process conponent:%s\n", item.name.c_str());
    LOG_INFO("pack bs\n");
    if (!item.mesh) {
        Trace::err("pack3d: mesh part %s has no mesh; skipped\n", item.name.c_str());
        return;
    }
    const std::vector<math3d::Vec3> shapes = ShapeArray::build(*item.mesh, item.blendshapes, modelMatrix(*item.mesh));
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
    ConvertBlendshape(format, item, shapes, {"weight"}, {&weights}, kConvertAccumulatedRanges | kConvertNeedNormalMap);
    LOG_INFO("ConvertBlendshape end\n");
}

void copyTemplateFiles(const Pack3dInput& in, const std::string& out) {
    LOG_INFO("copy template res begin\n");
    for (const char* name : lumo::k3dTemplateFiles) {
        const std::string source = pathJoin(in.root, std::string("/data/tools/3d_template/") + name);
        const std::string target = pathJoin(out, name);
        if (!kvo::cp(source, target)) {
            LOG_INFO("cp faild\ndocmdxcopy\n");
            PackController(in.root, in.projectName).xcopyFile(source, target);
        }
    }
    LOG_INFO("copy template res end\n");
}

void renameBundleScript(const Pack3dInput& in) {
    LOG_INFO("rename bundle script begin\n");
    const std::string path = projectDir(in) + "/out/script.js";
    std::string text;
    readWholeFile(path, text); // an unreadable script has no "dummy" to replace
    const size_t at = text.find("dummy");
    if (at == std::string::npos)
        return;
    text.replace(at, 5, bundleName() + "_" + lumo::kVersionTag);
    if (writeText(path, text))
        LOG_INFO("script name replaced\n");
    else
        LOG_INFO("can not open file:%s\n", path.c_str());
}

} // namespace

bool writeParamJson(const Pack3dInput& in) {
    const std::string folder = projectDir(in) + "/out/";
    const ParamJsonWriter writer(folder);
    const std::string globals = writer.globalsText(in.items, in.projectName);
    LOG_INFO("global json:\n%s\n", globals.c_str());
    if (!writeText(folder + "globals.json", globals)) {
        LOG_INFO("can not generate global json\n");
        Trace::err("can not generate global json\n");
        return false;
    }
    const std::string materials = writer.materialsText(in.items);
    LOG_INFO("material json:\n%s\n", materials.c_str());
    if (!writeText(folder + "materials.json", materials)) {
        LOG_INFO("can not generate materials json\n");
        Trace::err("can not generate materials json\n");
        return false;
    }
    return true;
}

bool writeParamJson() {
    return writeParamJson(currentProject({}));
}

bool pack3d(const Pack3dInput& in) {
    LOG_INFO("pack3d begin\n");
    LOG_INFO("clearOutDir\n");
    const std::string out = outDir(in);
    if (!fileExists(out))
        makeDir(out);
    writeParamJson(in);
    advance(in, 5);

    const std::string bundlePath = out + "avatar";
    LOG_INFO("output spath_input:%s\n", bundlePath.c_str());
    CFinalFormat format;
    for (const Item* item : in.items) {
        if (item && item->type == kItem3d && static_cast<const Item_3d*>(item)->meshRole == kRoleMeshPart)
            convertPart(format, *static_cast<const Item_3d*>(item));
    }
    advance(in, 5);
    const bool saved = format.Save(bundlePath);
    advance(in, 5);

    copyTemplateFiles(in, out);
    renameBundleScript(in);
    LOG_INFO("pack3d end\n");
    return saved;
}

bool pack3d(const PackProgress& progress) {
    return pack3d(currentProject(progress));
}

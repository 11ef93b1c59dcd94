#include "pack/BigTexPacker.h"

#include "base/Constants.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "pack/AtlasComposer.h"
#include "pack/AtlasPacker.h"
#include "pack/DescNodeBuilder.h"
#include "pack/DescWriter.h"
#include "pack/FileCopy.h"
#include "pack/FrameGatherer.h"
#include "pack/BundleName.h"
#include "pack/ScriptWriter.h"
#include "base/WholeFile.h"
#include "scene/Item_2d.h"
#include "scene/Item_ar.h"
#include "scene/MainDataHolder.h"
#include "scenegraph/GLNode.h"

#include <chrono>
#include <exception>
#include <map>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

void advance(const BigTexJob& job, int n) {
    if (job.progress)
        job.progress(n);
}

// Writes text to path; false (with "can not open file:%s\n" in the log)
// when the file cannot be written.
bool writeText(const std::string& path, const std::string& text) {
    if (writeWholeFile(path, text.data(), text.size()))
        return true;
    LOG_INFO("can not open file:%s\n", path.c_str());
    return false;
}

bool writeScript(const BigTexJob& job) {
    LOG_INFO("copy script begin\n");
    const std::string templ = job.root + lumo::kScriptTemplate;
    const bool exists = fileExists(templ);
    LOG_INFO(exists ? "tool script exist\n" : "tool script does not exist\n");
    std::string text;
    if (exists)
        readWholeFile(templ, text);
    const std::string script = ScriptWriter::fillTemplate(text, job.scriptName, job.actions);
    if (!writeText(job.projectDir + lumo::kScript, script))
        return false;
    LOG_INFO("script name replaced\n");
    kvo::cp(job.root + lumo::kEyeShaderTemplate, job.projectDir + lumo::kEyeShader);
    LOG_INFO("pack bigtex json js end\n");
    return true;
}

bool writeDescriptors(const BigTexJob& job, const FrameSet& frames, const std::vector<AtlasSize>& atlases) {
    const std::string outDir = job.projectDir + "/out/";
    std::vector<DescNode> nodes2d = DescNodeBuilder::build2dNodes(job.stickers, frames, atlases);
    advance(job, 5);
    DescNodeBuilder::applyGroupFixups(nodes2d);
    const std::vector<DescNode> nodesAr = DescNodeBuilder::buildArNodes(job.arItems, outDir);
    LOG_INFO("\n\n json:\n\n");
    const std::string text = DescWriter::descText(nodes2d, nodesAr);
    LOG_INFO("%s", text.c_str());
    advance(job, 5);
    return writeText(job.projectDir + lumo::kDescriptor, text);
}

const GLNode* nodeOf(const ObjMesh* mesh) { return mesh ? mesh->node : nullptr; }

Sticker2d stickerOf(const Item_2d& item, const MainDataHolder& holder) {
    Sticker2d s;
    s.name = item.name;
    s.texpath = item.texpath;
    s.flipHorizontal = item.flipHorizontal;
    s.flipVertical = item.flipVertical;
    s.isbackground = item.isbackground;
    s.isfullscreen = item.isfullscreen;
    s.islandscape = item.islandscape;
    s.needtokeepfaceaction = item.needtokeepfaceaction;
    s.fps = item.fps;
    s.triggerStart = item.triggerStart;
    s.triggerEnd = item.triggerEnd;
    s.loopType = item.loopType;
    s.loopcnt = item.loopcnt;
    s.nodetype = item.nodetype;
    s.start_action = item.start_action;
    s.end_action = item.end_action;
    if (const GLNode* node = nodeOf(item.mesh.get())) {
        s.hasNode = true;
        s.translation = node->position();
        s.model = node->localMatrix();
    }
    if (!item.isfullscreen && !item.isbackground)
        s.nearestVertex = holder.nearestReferenceVertex(&item, s.nearestVertexPosition);
    return s;
}

// Chains and groups as positions in the sticker list; members that are not
// 2D items of this project are dropped.
void linkGroups(std::vector<Sticker2d>& stickers, const std::vector<const Item_2d*>& items) {
    std::map<const Item_2d*, int> position;
    for (size_t i = 0; i < items.size(); ++i)
        position[items[i]] = int(i);
    auto find = [&position](const Item_2d* item) {
        const auto it = position.find(item);
        return it == position.end() ? -1 : it->second;
    };
    for (size_t i = 0; i < items.size(); ++i) {
        for (const Item_2d* next : items[i]->chain) {
            const int p = find(next);
            if (p >= 0)
                stickers[i].chain.push_back(p);
        }
        stickers[i].group = items[i]->group ? find(items[i]->group) : -1;
    }
}

BigTexJob jobFromScene(const MainDataHolder& holder) {
    BigTexJob job;
    job.root = holder.root;
    job.projectDir = pathJoin(holder.root, std::string(lumo::kProjectsFolder) + holder.projectName);
    job.scriptName = bundleName() + "_" + lumo::kVersionTag;
    job.actions = holder.faceActions.all();
    std::vector<const Item_2d*> items2d;
    for (const std::unique_ptr<Item>& item : holder.m_lst_items) {
        if (const auto* it = dynamic_cast<const Item_2d*>(item.get()); it && it->type == kItem2d) {
            items2d.push_back(it);
            job.stickers.push_back(stickerOf(*it, holder));
        } else if (const auto* ar = dynamic_cast<const Item_ar*>(item.get()); ar && ar->type == kItemAr) {
            const GLNode* node = nodeOf(ar->mesh.get());
            job.arItems.push_back(ArItem{ar->name, ar->texname, ar->texpath, node ? node->position().z : 0.0f});
        }
    }
    linkGroups(job.stickers, items2d);
    return job;
}

} // namespace

bool BigTexPacker::packBigTex(const ProgressFn& progress) {
    const std::shared_ptr<MainDataHolder> holder = MainDataHolder::instance();
    BigTexJob job = jobFromScene(*holder);
    job.progress = progress;
    return run(job);
}

bool BigTexPacker::run(const BigTexJob& job, Timing* timing) {
    try {
        return runSteps(job, timing);
    } catch (const std::exception& e) {
        Trace::out("packBigTex stopped: %s\n", e.what());
        LOG_INFO("packBigTex stopped: %s\n", e.what());
        return false;
    }
}

bool BigTexPacker::runSteps(const BigTexJob& job, Timing* timing) {
    Timing t;
    FrameSet frames = FrameGatherer::gather(job.stickers, job.threads, &t.decode, &t.trim);
    advance(job, 5);

    auto t0 = Clock::now();
    const std::vector<int> order = AtlasPacker::order(frames.frames);
    const std::vector<AtlasSize> atlases = AtlasPacker::pack(frames.frames, order);
    t.place = secondsSince(t0);
    advance(job, 5);

    t0 = Clock::now();
    AtlasComposer::Timing ct;
    const std::vector<std::string> names =
        AtlasComposer::composeAndSave(frames.frames, order, atlases, job.projectDir + "/out/", job.threads, &ct);
    t.atlases = secondsSince(t0);
    t.compose = ct.compose;
    t.encode = ct.encode;

    t0 = Clock::now();
    writeText(job.projectDir + lumo::kAtlasDescriptor, DescWriter::atlasListText(names));
    advance(job, 10);
    const bool ok = writeDescriptors(job, frames, atlases) && writeScript(job);
    t.describe = secondsSince(t0);
    if (timing)
        *timing = t;
    return ok;
}

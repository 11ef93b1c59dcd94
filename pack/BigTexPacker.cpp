#include "pack/BigTexPacker.h"

#include "base/Constants.h"
#include "base/ExceptionReason.h"
#include "base/Log.h"
#include "base/Paths.h"
#include "base/Stopwatch.h"
#include "base/Trace.h"
#include "pack/AtlasComposer.h"
#include "pack/AtlasPacker.h"
#include "pack/DescNodeBuilder.h"
#include "pack/DescWriter.h"
#include "pack/FileCopy.h"
#include "pack/FrameGatherer.h"
#include "pack/PackCache.h"
#include "pack/BundleName.h"
#include "pack/ScriptWriter.h"
#include "base/TextFile.h"
#include "base/WholeFile.h"
#include "scene/ProjectSnapshot.h"

#include <exception>

namespace {

void advance(const BigTexJob& job, int n) {
    if (job.progress)
        job.progress(n);
}

// Writes text to path; false (with "can not open file:%s\n" in the log and
// the reason set) when the file cannot be written.
bool writeText(const std::string& path, const std::string& text, std::string& reason) {
    if (writeTextFile(path, text))
        return true;
    LOG_INFO("can not open file:%s\n", path.c_str());
    if (reason.empty())
        reason = "cannot write " + path;
    return false;
}

bool writeScript(const BigTexJob& job, std::string& reason) {
    LOG_INFO("copy script begin\n");
    const std::string templ = job.root + lumo::kScriptTemplate;
    const bool exists = fileExists(templ);
    LOG_INFO(exists ? "tool script exist\n" : "tool script does not exist\n");
    std::string text;
    if (exists)
        readWholeFile(templ, text);
    const std::string script = ScriptWriter::fillTemplate(text, job.scriptName, job.actions);
    if (!writeText(job.projectDir + lumo::kScript, script, reason))
        return false;
    LOG_INFO("script name replaced\n");
    const bool shader = kvo::cp(job.root + lumo::kEyeShaderTemplate, job.projectDir + lumo::kEyeShader);
    LOG_INFO("pack bigtex json js end\n");
    if (!shader)
        reason = "cannot copy " + job.root + lumo::kEyeShaderTemplate + " to " + job.projectDir + lumo::kEyeShader;
    return shader;
}

bool writeDescriptors(const BigTexJob& job, const FrameSet& frames, const std::vector<AtlasSize>& atlases,
                      std::string& reason) {
    const std::string outDir = job.projectDir + "/out/";
    std::vector<DescNode> nodes2d = DescNodeBuilder::build2dNodes(job.stickers, frames, atlases);
    advance(job, 5);
    DescNodeBuilder::applyGroupFixups(nodes2d);
    const std::vector<DescNode> nodesAr = DescNodeBuilder::buildArNodes(job.arItems, outDir);
    LOG_INFO("\n\n json:\n\n");
    const std::string text = DescWriter::descText(nodes2d, nodesAr);
    LOG_INFO("%s", text.c_str());
    advance(job, 5);
    return writeText(job.projectDir + lumo::kDescriptor, text, reason);
}

} // namespace

BigTexJob BigTexPacker::jobFor(const ProjectSnapshot& project) {
    BigTexJob job;
    job.root = project.root;
    job.projectDir = project.projectDir();
    job.scriptName = bundleName() + "_" + lumo::kVersionTag;
    job.actions = project.faceActions;
    job.stickers = project.items2d;
    job.arItems = project.itemsAr;
    return job;
}

bool BigTexPacker::packBigTex(const ProjectSnapshot& project, const ProgressFn& progress, std::string* reason,
                              PackCache* cache) {
    try {
        BigTexJob job = jobFor(project);
        job.progress = progress;
        job.cache = cache;
        return run(job, nullptr, reason);
    } catch (...) {
        const std::string why = exceptionReason(std::current_exception());
        Trace::out("packBigTex stopped: %s\n", why.c_str());
        if (reason)
            *reason = why;
        return false;
    }
}

bool BigTexPacker::run(const BigTexJob& job, Timing* timing, std::string* reason) {
    std::string why;
    bool ok = false;
    try {
        ok = runSteps(job, timing, why);
    } catch (...) {
        why = exceptionReason(std::current_exception());
        Trace::out("packBigTex stopped: %s\n", why.c_str());
        LOG_INFO("packBigTex stopped: %s\n", why.c_str());
        ok = false;
    }
    if (reason)
        *reason = ok ? std::string() : why;
    return ok;
}

bool BigTexPacker::runSteps(const BigTexJob& job, Timing* timing, std::string& reason) {
    Timing t;
    FrameSet frames = FrameGatherer::gather(job.stickers, job.threads, &t.decode, &t.trim, job.cache);
    advance(job, 5);

    auto t0 = SteadyClock::now();
    const std::vector<int> order = AtlasPacker::order(frames.frames);
    const std::vector<AtlasSize> atlases = AtlasPacker::pack(frames.frames, order);
    t.place = secondsSince(t0);
    advance(job, 5);

    t0 = SteadyClock::now();
    AtlasComposer::Timing ct;
    std::string atlasFailure;
    const std::vector<std::string> names = AtlasComposer::composeAndSave(
        frames.frames, order, atlases, job.projectDir + "/out/", job.threads, &ct, &atlasFailure, job.cache,
        frames.keys, [&](size_t i, ImageBuffer& pixels) {
            return job.cache && FrameGatherer::pixelsOf(frames, i, *job.cache, pixels);
        });
    if (job.cache)
        job.cache->saveFileTable(); // the frames' content keys, for the next run
    t.atlases = secondsSince(t0);
    t.compose = ct.compose;
    t.encode = ct.encode;

    t0 = SteadyClock::now();
    const bool listed = writeText(job.projectDir + lumo::kAtlasDescriptor, DescWriter::atlasListText(names), reason);
    advance(job, 10);
    const bool ok = writeDescriptors(job, frames, atlases, reason) && writeScript(job, reason);
    t.describe = secondsSince(t0);
    if (timing)
        *timing = t;
    if (ok && !atlasFailure.empty())
        reason = atlasFailure;
    else if (ok && !listed)
        reason = "cannot write " + job.projectDir + lumo::kAtlasDescriptor;
    return ok && atlasFailure.empty() && listed;
}

#include "pack/BigTexPacker.h"

#include "app/Constants.h"
#include "app/Log.h"
#include "app/Paths.h"
#include "pack/AtlasComposer.h"
#include "pack/AtlasPacker.h"
#include "pack/DescNodeBuilder.h"
#include "pack/DescWriter.h"
#include "pack/FileCopy.h"
#include "pack/FrameGatherer.h"
#include "pack/ScriptWriter.h"

#include <chrono>
#include <fstream>
#include <iterator>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

void advance(const BigTexJob& job, int n) {
    if (job.progress)
        job.progress(n);
}

// Writes text to path; false (with "can not open file:%s\n" in the log)
// when the file cannot be opened or written.
bool writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(text.data(), std::streamsize(text.size()));
    if (!out) {
        LOG_INFO("can not open file:%s\n", path.c_str());
        return false;
    }
    return true;
}

bool readText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool writeScript(const BigTexJob& job) {
    LOG_INFO("copy script begin\n");
    const std::string templ = job.root + lumo::kScriptTemplate;
    const bool exists = fileExists(templ);
    LOG_INFO(exists ? "tool script exist\n" : "tool script does not exist\n");
    std::string text;
    if (exists)
        readText(templ, text);
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

} // namespace

bool BigTexPacker::run(const BigTexJob& job, Timing* timing) {
    Timing t;
    FrameSet frames = FrameGatherer::gather(job.stickers, &t.decode, &t.trim);
    advance(job, 5);

    auto t0 = Clock::now();
    const std::vector<int> order = AtlasPacker::order(frames.frames);
    const std::vector<AtlasSize> atlases = AtlasPacker::pack(frames.frames, order);
    t.place = secondsSince(t0);
    advance(job, 5);

    t0 = Clock::now();
    AtlasComposer::Timing ct;
    const std::vector<std::string> names =
        AtlasComposer::composeAndSave(frames.frames, atlases, job.projectDir + "/out/", job.threads, &ct);
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

// The shipped 2D effect template, packed into a bundle and run by node with a
// recording runtime: nodes play by their triggers, loops, group rings and
// face actions.

#include "pack/BigTexPacker.h"
#include "PngTestFiles.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

const char* kRuntime = R"JS(
const fs = require('fs'), vm = require('vm'), path = require('path');
const dir = process.argv[2];
const steps = JSON.parse(process.argv[3]);
const ctx = { Math: Math, JSON: JSON };
vm.createContext(ctx);
vm.runInContext(fs.readFileSync(path.join(dir, 'script.js'), 'utf8') + '\nthis.effect = effect;', ctx);
const bundle = {
  readJson: f => JSON.parse(fs.readFileSync(path.join(dir, f), 'utf8')),
  loadTexture: f => { if (!fs.existsSync(path.join(dir, f))) throw new Error('missing ' + f); return f; },
  loadProgram: (a, b) => 'program:' + a + ':' + b,
};
ctx.effect.onLoad(bundle);
const names = bundle.readJson('desc.json').map(n => n.name);
for (const s of steps) {
  const draws = [];
  const frame = {
    time: s.t, face: s.face,
    drawQuad: (tex, v, vt, mode, anchor) => {
      const frames = bundle.readJson('desc.json');
      for (const n of frames)
        n.texture_frames.forEach((f, i) => { if (f.vt === vt || JSON.stringify(f.vt) === JSON.stringify(vt) && JSON.stringify(f.v) === JSON.stringify(v)) draws.push(n.name + '#' + i + ':' + mode); });
    },
    drawFaceMesh: tex => draws.push('ar:' + tex),
    drawEyes: p => draws.push('eyes'),
  };
  ctx.effect.onFrame(frame);
  console.log(s.t + ' ' + draws.join(' '));
}
)JS";

// Distinct frames: each picture differs in size so that every frame gets
// its own atlas rectangle.
void writeSequence(const std::string& dir, const std::string& prefix, int count, int size) {
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "/%s_%05d.png", prefix.c_str(), i);
        const int w = size + i;
        writeFile(dir + name, makePng(w, 8, PngColor::Rgba, 8, std::vector<uint16_t>(size_t(w) * 8 * 4, 255)));
    }
}

Sticker2d node(const std::string& name, const std::string& tex, float z) {
    Sticker2d s;
    s.name = name;
    s.texpath = tex;
    s.fps = 10;
    s.loopcnt = 1;
    s.triggerStart = 2;
    s.start_action = "null";
    s.end_action = "null";
    s.hasNode = true;
    s.translation = {0, 0, z};
    s.model = math3d::compose(s.translation, {50, 50, 1}, math3d::Mat3::identity());
    s.nearestVertex = 10;
    return s;
}

// One output line per step: "<time> <draw> <draw> ...".
std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> r;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l))
        r.push_back(l);
    return r;
}

TEST(EffectScript, playsNodesByTriggerLoopGroupAndFaceAction) {
    ScratchDir dir;
    const std::string seq = dir.path() + "/seq";
    fs::create_directories(seq);
    writeSequence(seq, "a", 3, 10);
    writeSequence(seq, "m", 2, 20);
    writeSequence(seq, "g", 1, 30);
    writeSequence(seq, "x", 2, 40);
    writeSequence(seq, "y", 1, 50);

    BigTexJob job;
    job.root = LUMO_SOURCE_DIR;
    job.projectDir = dir.path() + "/proj";
    fs::create_directories(job.projectDir + "/out");
    job.scriptName = "t_lumoeditor_3_0_1";
    job.actions = {{"mouth_open", "face.mouthOpen > 0.35"}};
    job.threads = 1;
    // "always": renders at once on the screen, two loops of three frames.
    Sticker2d always = node("always", seq + "/a_00000.png", 519);
    always.isfullscreen = true;
    always.loopType = 1;
    always.loopcnt = 2;
    // "mouth": on the face while the mouth is open.
    Sticker2d mouth = node("mouth", seq + "/m_00000.png", 80);
    mouth.triggerStart = 3;
    mouth.start_action = "mouth_open";
    mouth.needtokeepfaceaction = true;
    // Group on a new face: x (2 frames) then y (1 frame), ring repeated.
    Sticker2d group = node("grp", seq + "/g_00000.png", 81);
    group.triggerStart = 1;
    group.nodetype = 1;
    group.chain = {3};
    Sticker2d x = node("x", seq + "/x_00000.png", 82);
    x.nodetype = 2;
    x.group = 2;
    x.chain = {4};
    x.loopType = 1;
    Sticker2d y = node("y", seq + "/y_00000.png", 83);
    y.nodetype = 2;
    y.group = 2;
    y.chain = {2};
    y.loopType = 1;
    job.stickers = {always, mouth, group, x, y};
    ASSERT_TRUE(BigTexPacker::run(job));

    const std::string runtime = dir.path() + "/runtime.js";
    writeFile(runtime, kRuntime);
    const std::string face = R"({"mouthOpen":0})";
    const std::string open = R"({"mouthOpen":0.8})";
    const std::string steps = std::string("[") + R"({"t":0,"face":null},)" + R"({"t":0.15,"face":null},)" +
                              R"({"t":0.25,"face":)" + face + "}," + R"({"t":0.36,"face":)" + open + "}," +
                              R"({"t":0.47,"face":)" + open + "}," + R"({"t":0.58,"face":)" + face + "}," +
                              R"({"t":0.79,"face":)" + face + "}]";
    const std::string out =
        runCommand("node '" + runtime + "' '" + job.projectDir + "/out' '" + steps + "' 2>&1");
    const std::vector<std::string> l = lines(out);
    ASSERT_EQ(l.size(), 7u) << out;
    // No face: only the screen sticker, frame by frame at 10 fps.
    EXPECT_EQ(l[0], "0 always_fcp#0:screen");
    EXPECT_EQ(l[1], "0.15 always_fcp#1:screen");
    // A new face starts the group, which starts its first member; eyes drawn.
    EXPECT_EQ(l[2], "0.25 eyes x#0:face always_fcp#2:screen");
    // The mouth opens: the face-action sticker starts; "always" loops.
    EXPECT_EQ(l[3], "0.36 eyes mouth#0:face x#1:face always_fcp#0:screen");
    // x finished its loop: the last member y plays.
    EXPECT_EQ(l[4], "0.47 eyes mouth#1:face y#0:face always_fcp#1:screen");
    // The mouth closes: the sticker that needs its action stops; the ring
    // returns from y to x.
    EXPECT_EQ(l[5], "0.58 eyes x#0:face always_fcp#2:screen");
    // Two loops of "always" are over: hidden. The ring goes on to y.
    EXPECT_EQ(l[6], "0.79 eyes y#0:face");
}

} // namespace

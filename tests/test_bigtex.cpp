// The 2D pack step end to end: atlases decoded by libwebp's dwebp, descriptors
// parsed by python3's json module, frames cut back out of the atlases and
// compared with their sources decoded by stb_image.

#include "base/Log.h"
#include "base/ParallelFor.h"
#include "base/Paths.h"
#include "pack/BigTexPacker.h"
#include "pack/WebpAtlasEncoder.h"
#include "PngTestFiles.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// A picture decoded by dwebp: R, G, B, A, top row first.
Rgba8 decodeWebp(const std::string& path) {
    Rgba8 img;
    const std::string pam = path + ".pam";
    runCommand("dwebp -quiet -pam '" + path + "' -o '" + pam + "' 2>&1");
    const std::string bytes = readFile(pam);
    const size_t end = bytes.find("ENDHDR\n");
    if (end == std::string::npos)
        return img;
    std::istringstream header(bytes.substr(0, end));
    std::string key;
    while (header >> key) {
        if (key == "WIDTH")
            header >> img.width;
        else if (key == "HEIGHT")
            header >> img.height;
    }
    img.rgba.assign(bytes.begin() + long(end + 7), bytes.end());
    if (img.rgba.size() != size_t(img.width) * size_t(img.height) * 4)
        img = Rgba8{};
    return img;
}

const uint8_t* pixel(const Rgba8& img, int x, int rowFromBottom) {
    return img.rgba.data() + (size_t(img.height - 1 - rowFromBottom) * size_t(img.width) + size_t(x)) * 4;
}

// A frame picture: opaque-ish content inside a transparent border.
std::vector<uint16_t> framePixels(int w, int h, int border, int seed) {
    std::vector<uint16_t> s(size_t(w) * size_t(h) * 4, 0);
    for (int y = border; y < h - border; ++y)
        for (int x = border; x < w - border; ++x) {
            uint16_t* p = &s[(size_t(y) * size_t(w) + size_t(x)) * 4];
            p[0] = uint16_t((x * 4 + seed * 40) & 255);
            p[1] = uint16_t((y * 3 + seed * 10) & 255);
            p[2] = uint16_t((seed * 70) & 255);
            p[3] = uint16_t(((x + y) % 5 == 0) ? 128 : 255);
        }
    return s;
}

void writeFrame(const std::string& path, int w, int h, int border, int seed) {
    writeFile(path, makePng(w, h, PngColor::Rgba, 8, framePixels(w, h, border, seed)));
}

struct Project {
    ScratchDir dir;
    BigTexJob job;
    Project() {
        job.root = dir.path();
        job.projectDir = dir.path() + "/Projects/p";
        fs::create_directories(job.projectDir + "/out");
        fs::create_directories(dir.path() + "/data/tools");
        fs::create_directories(dir.path() + "/seq");
        writeFile(dir.path() + "/data/tools/script.js", "var name = \"dummy\";\nswitch (a) {//#action\n}\n");
        writeFile(dir.path() + "/data/tools/eyes.glsl", "void main() {}\n");
        job.scriptName = "p_lumoeditor_3_0_1";
        job.threads = 2;
    }
    std::string out(const std::string& name) const { return job.projectDir + "/out/" + name; }
    std::string seq(const std::string& name) const { return dir.path() + "/seq/" + name; }
};

Sticker2d sticker(const std::string& name, const std::string& texpath, float x, float y, float z, float sx,
                  float sy) {
    Sticker2d s;
    s.name = name;
    s.texpath = texpath;
    s.fps = 20.5f;
    s.triggerStart = 1;
    s.loopcnt = 1;
    s.start_action = "null";
    s.end_action = "null";
    s.hasNode = true;
    s.translation = {x, y, z};
    s.model = math3d::compose(s.translation, {sx, sy, 1}, math3d::Mat3::identity());
    s.nearestVertex = 7;
    s.nearestVertexPosition = {1, 2, 3};
    return s;
}

// desc.json through python3's json module, flattened to lines:
// "N <name> <nodetype> <root> <frameCnt1Loop> <looptype> <base_vertex> <children...>" and per frame
// "F <bigtexidx> <12 v> <8 vt>" (or "F -" when empty).
struct FrameRow {
    int bigtexidx = -1;
    std::vector<double> v, vt;
};
struct NodeRow {
    std::string name, looptype;
    int nodetype = 0, root = 0, frameCnt1Loop = 0, baseVertex = 0;
    std::vector<int> children;
    std::vector<FrameRow> frames;
};

std::vector<NodeRow> parseDesc(const std::string& path, bool* ok) {
    const std::string py =
        "import json,sys\n"
        "d=json.load(open(sys.argv[1]))\n"
        "for n in d:\n"
        "  print('N',n['name'] or '-',n['nodetype'],n['root'],n['frameCnt1Loop'],n['looptype'] or '-',"
        "n['base_vertex'],*n['childNodes'])\n"
        "  for f in n['texture_frames']:\n"
        "    print('F',f['bigtexidx'],*(f['v']+f['vt'])) if f['v'] else print('F -')\n"
        "print('END')\n";
    writeFile(path + ".py", py);
    const std::string text = runCommand("python3 '" + path + ".py' '" + path + "' 2>&1");
    *ok = text.size() >= 4 && text.compare(text.size() - 4, 4, "END\n") == 0;
    std::vector<NodeRow> nodes;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream in(line);
        std::string tag;
        in >> tag;
        if (tag == "N") {
            NodeRow n;
            in >> n.name >> n.nodetype >> n.root >> n.frameCnt1Loop >> n.looptype >> n.baseVertex;
            int c;
            while (in >> c)
                n.children.push_back(c);
            nodes.push_back(n);
        } else if (tag == "F" && !nodes.empty()) {
            FrameRow f;
            std::string idx;
            in >> idx;
            if (idx != "-") {
                f.bigtexidx = std::stoi(idx);
                double d;
                for (int i = 0; i < 20 && in >> d; ++i)
                    (i < 12 ? f.v : f.vt).push_back(d);
            }
            nodes.back().frames.push_back(f);
        }
    }
    return nodes;
}

std::vector<std::string> atlasNames(const std::string& path) {
    const std::string text = runCommand(
        "python3 -c \"import json,sys; print(*json.load(open(sys.argv[1]))['bigtexs'])\" '" + path + "' 2>&1");
    std::istringstream in(text);
    std::vector<std::string> names;
    std::string n;
    while (in >> n)
        names.push_back(n);
    return names;
}

struct Box {
    int l = 0, b = 0, w = 0, h = 0;
};

// Bounding box (bottom-up rows) of pixels with alpha != 0; the one pixel
// (0, 0) when there is none; the whole picture when keepWhole.
Box opaqueBox(const Rgba8& img, bool keepWhole) {
    if (keepWhole)
        return {0, 0, img.width, img.height};
    int l = img.width, r = -1, b = img.height, t = -1;
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            if (pixel(img, x, y)[3] != 0) {
                l = std::min(l, x);
                r = std::max(r, x);
                b = std::min(b, y);
                t = std::max(t, y);
            }
    if (r < 0)
        return {0, 0, 1, 1};
    return {l, b, r - l + 1, t - b + 1};
}

int toPixel(double coord, int size) {
    const double p = coord * size;
    EXPECT_NEAR(p, std::round(p), 1e-2) << "texture coordinate off the pixel grid of a " << size << " atlas";
    return int(std::lround(p));
}

// Checks one described frame against its source: the atlas rectangle of vt
// holds the trimmed source (alpha exact, colour within lossy tolerance) and
// the one-pixel ring around it is transparent. Returns the rectangle.
Box checkFrame(const FrameRow& f, const std::vector<Rgba8>& atlases, const std::string& source, bool keepWhole,
               bool flippedH) {
    Box cell;
    EXPECT_GE(f.bigtexidx, 0);
    if (f.bigtexidx < 0 || size_t(f.bigtexidx) >= atlases.size() || f.vt.size() != 8)
        return cell;
    const Rgba8& atlas = atlases[size_t(f.bigtexidx)];
    const Rgba8 src = decodeWithStb(readFile(source));
    const Box box = opaqueBox(src, keepWhole);
    const int al = toPixel(flippedH ? f.vt[2] : f.vt[0], atlas.width);
    const int ar = toPixel(flippedH ? f.vt[0] : f.vt[2], atlas.width);
    const int at = toPixel(f.vt[1], atlas.height);
    const int ab = toPixel(f.vt[5], atlas.height);
    EXPECT_EQ(ar - al, box.w) << source;
    EXPECT_EQ(at - ab, box.h) << source;
    EXPECT_GE(al, 1);
    EXPECT_GE(ab, 1);
    EXPECT_LE(ar + 1, atlas.width);
    EXPECT_LE(at + 1, atlas.height);
    if (ar - al != box.w || at - ab != box.h || al < 1 || ab < 1 || ar + 1 > atlas.width || at + 1 > atlas.height)
        return cell;
    long colourError = 0, colourSamples = 0;
    int alphaMismatch = 0;
    for (int r = 0; r < box.h; ++r)
        for (int c = 0; c < box.w; ++c) {
            const uint8_t* a = pixel(atlas, al + c, ab + r);
            const uint8_t* s = pixel(src, box.l + c, box.b + r);
            alphaMismatch += a[3] != s[3];
            if (s[3] == 255)
                for (int k = 0; k < 3; ++k, ++colourSamples)
                    colourError += std::abs(int(a[k]) - int(s[k]));
        }
    EXPECT_EQ(alphaMismatch, 0) << source;
    if (colourSamples > 0) {
        EXPECT_LT(double(colourError) / double(colourSamples), 12.0) << source;
    }
    for (int x = al - 1; x <= ar; ++x)
        for (int y : {ab - 1, at})
            EXPECT_EQ(pixel(atlas, x, y)[3], 0) << "margin of " << source;
    for (int y = ab - 1; y <= at; ++y)
        for (int x : {al - 1, ar})
            EXPECT_EQ(pixel(atlas, x, y)[3], 0) << "margin of " << source;
    return {al - 1, ab - 1, box.w + 2, box.h + 2};
}

std::vector<Rgba8> decodeAtlases(const Project& p) {
    std::vector<Rgba8> atlases;
    for (const std::string& name : atlasNames(p.out("bigtex_desc.json"))) {
        atlases.push_back(decodeWebp(p.out(name)));
        EXPECT_EQ(atlases.back().width, 2048) << name;
        EXPECT_GT(atlases.back().height, 0) << name;
        EXPECT_LE(atlases.back().height, 2048) << name;
    }
    return atlases;
}

void expectDisjoint(std::vector<std::pair<int, Box>> cells) {
    for (size_t i = 0; i < cells.size(); ++i)
        for (size_t j = i + 1; j < cells.size(); ++j) {
            if (cells[i].first != cells[j].first)
                continue;
            const Box& a = cells[i].second;
            const Box& b = cells[j].second;
            const bool same = a.l == b.l && a.b == b.b; // one frame shared by two items
            const bool apart = a.l + a.w <= b.l || b.l + b.w <= a.l || a.b + a.h <= b.b || b.b + b.h <= a.b;
            EXPECT_TRUE(same || apart) << "cells " << i << " and " << j << " overlap";
        }
}

TEST(BigTexPack, realSequenceRoundTripsThroughAtlasesSharedAndFlipped) {
    LUMO_REQUIRE_FIXTURES();
    Project p;
    const std::string seq = fixturesDir() + "/sequences/models_00000.png";
    p.job.stickers.push_back(sticker("a", seq, 10, 20, 80, 100, 150));
    p.job.stickers.push_back(sticker("b", seq, -5, 0, 90, 50, 50));
    Sticker2d flipped = sticker("c", seq, 0, 0, 100, 50, 50);
    flipped.flipHorizontal = true;
    p.job.stickers.push_back(flipped);
    ASSERT_TRUE(BigTexPacker::run(p.job));

    const std::vector<Rgba8> atlases = decodeAtlases(p);
    ASSERT_FALSE(atlases.empty());
    bool ok = false;
    const std::vector<NodeRow> nodes = parseDesc(p.out("desc.json"), &ok);
    ASSERT_TRUE(ok) << readFile(p.out("desc.json"));
    ASSERT_EQ(nodes.size(), 3u);
    std::vector<std::pair<int, Box>> cells;
    for (size_t n = 0; n < nodes.size(); ++n) {
        ASSERT_EQ(nodes[n].frames.size(), 8u);
        EXPECT_EQ(nodes[n].frameCnt1Loop, 8);
        for (size_t k = 0; k < 8; ++k) {
            char name[64];
            std::snprintf(name, sizeof name, "/sequences/models_%05d.png", int(k));
            const FrameRow& f = nodes[n].frames[k];
            cells.emplace_back(f.bigtexidx, checkFrame(f, atlases, fixturesDir() + name, false, n == 2));
            // Items sharing the sequence share the atlas rectangles.
            EXPECT_EQ(f.vt[1], nodes[0].frames[k].vt[1]);
            EXPECT_EQ(f.vt[5], nodes[0].frames[k].vt[5]);
            if (n == 2) {
                EXPECT_EQ(f.vt[0], nodes[0].frames[k].vt[2]);
                EXPECT_EQ(f.vt[2], nodes[0].frames[k].vt[0]);
            }
        }
    }
    expectDisjoint(cells);
}

TEST(BigTexPack, outputIsIdenticalOnOneThreadAndOnAll) {
    Project a;
    Project b;
    for (Project* p : {&a, &b}) {
        for (int i = 0; i < 6; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "s_%05d.png", i);
            writeFrame(p->seq(name), 60 + 30 * i, 200 - 20 * i, 3 + i, i);
        }
        p->job.stickers.push_back(sticker("s", p->seq("s_00000.png"), 0, 0, 80, 100, 100));
        p->job.arItems.push_back(ArItem{"ar", "skin", p->seq("s_00002.png"), 5});
    }
    a.job.threads = 1;
    b.job.threads = 0;
    ASSERT_TRUE(BigTexPacker::run(a.job));
    ASSERT_TRUE(BigTexPacker::run(b.job));
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(a.job.projectDir + "/out"))
        files.push_back(e.path().filename().string());
    EXPECT_GE(files.size(), 6u); // atlas, two descriptors, script, shader, AR texture
    for (const std::string& f : files) {
        const std::string desc = readFile(a.out(f));
        const std::string other = readFile(b.out(f));
        // desc.json names the AR texture path only, never a folder, so the
        // two runs agree byte for byte.
        EXPECT_EQ(desc, other) << f;
    }
}

TEST(BigTexPack, backgroundFullscreenGroupAndGapCases) {
    Project p;
    writeFrame(p.seq("a_00000.png"), 40, 30, 2, 1);
    writeFrame(p.seq("a_00001.png"), 40, 30, 5, 2);
    writeFrame(p.seq("a_00003.png"), 40, 30, 5, 3); // after the gap: not part of the sequence
    writeFrame(p.seq("full_00000.png"), 38, 67, 4, 4);
    writeFrame(p.seq("g_00000.png"), 20, 20, 1, 5);

    Sticker2d bg = sticker("back", p.seq("a_00000.png"), 20, -30, 520, 200, 100);
    bg.isbackground = true;
    Sticker2d full = sticker("full", p.seq("full_00000.png"), 0, 0, 519, 380, 672);
    full.isfullscreen = true;
    full.isbackground = true;
    full.islandscape = true;
    // Group ring: group -> m1 -> m2 -> group (scene positions 2, 3, 4).
    Sticker2d group = sticker("grp", p.seq("g_00000.png"), 0, 0, 80, 10, 10);
    group.nodetype = 1;
    group.loopType = 2;
    group.chain = {3};
    Sticker2d m1 = sticker("m1", p.seq("a_00000.png"), 0, 0, 81, 10, 10);
    m1.nodetype = 2;
    m1.loopcnt = 2;
    m1.group = 2;
    m1.chain = {4};
    Sticker2d m2 = sticker("m2", p.seq("g_00000.png"), 0, 0, 82, 10, 10);
    m2.nodetype = 2;
    m2.loopType = 0;
    m2.loopcnt = 5;
    m2.group = 2;
    m2.chain = {2};
    p.job.stickers = {bg, full, group, m1, m2};
    ASSERT_TRUE(BigTexPacker::run(p.job));

    bool ok = false;
    const std::vector<NodeRow> nodes = parseDesc(p.out("desc.json"), &ok);
    ASSERT_TRUE(ok) << readFile(p.out("desc.json"));
    ASSERT_EQ(nodes.size(), 5u);
    // Depth order: grp (80), m1, m2, full (519), back (520).
    EXPECT_EQ(nodes[0].name, "grp");
    EXPECT_EQ(nodes[3].name, "full_bg_fcl");
    EXPECT_EQ(nodes[4].name, "back_bg");
    EXPECT_EQ(nodes[3].baseVertex, -2);
    EXPECT_EQ(nodes[4].baseVertex, -2);
    EXPECT_EQ(nodes[1].baseVertex, 7);

    // The gap ends sequence a after two frames.
    EXPECT_EQ(nodes[4].frameCnt1Loop, 2);
    ASSERT_EQ(nodes[4].frames.size(), 2u);

    // Group: m2 is the last member (its chain returns to the group); the
    // group plays m1 twice (2 frames) then m2 five times (1 frame) = 9.
    EXPECT_EQ(nodes[0].nodetype, 1);
    EXPECT_EQ(nodes[0].children, (std::vector<int>{1}));
    EXPECT_EQ(nodes[1].root, 0);
    EXPECT_EQ(nodes[2].nodetype, 3);
    EXPECT_EQ(nodes[2].looptype, "loop1stay");
    EXPECT_EQ(nodes[0].frameCnt1Loop, 2 * 2 + 5 * 1);
    EXPECT_EQ(nodes[3].root, -1);

    // Background layout: x, y relative to the centre; third slots carry the
    // full width and height and the centre's place on the screen.
    const FrameRow& f = nodes[4].frames[0];
    ASSERT_EQ(f.v.size(), 12u);
    const double width = std::fabs(f.v[6] - f.v[0]);
    EXPECT_NEAR(f.v[2], width, 1e-3);
    EXPECT_NEAR(f.v[5], std::fabs(f.v[7] - f.v[1]), 1e-3);
    EXPECT_NEAR(f.v[8], (20.0 + 190.0) / 380.0, 1e-5);
    EXPECT_NEAR(f.v[11], (336.0 + 30.0) / 672.0, 1e-5);
    // Trimmed box of a 40 x 30 frame with a 2-pixel border on a 200 x 100 quad.
    EXPECT_NEAR(f.v[0], (2 - 20.0) / 40 * 200, 1e-3);
    EXPECT_NEAR(f.v[1], (27 - 15.0) / 30 * 100, 1e-3);

    // A full-screen frame keeps its transparent border.
    std::vector<Rgba8> atlases = decodeAtlases(p);
    checkFrame(nodes[3].frames[0], atlases, p.seq("full_00000.png"), true, false);
    checkFrame(nodes[4].frames[1], atlases, p.seq("a_00001.png"), false, false);

    const std::string script = readFile(p.out("script.js"));
    EXPECT_EQ(script, "var name = \"p_lumoeditor_3_0_1\";\nswitch (a) {\n}\n");
    EXPECT_EQ(readFile(p.out("eyes.glsl")), "void main() {}\n");
}

TEST(BigTexPack, ordinaryNodeCornersFollowModelMatrixAndBase) {
    Project p;
    writeFrame(p.seq("q_00000.png"), 10, 20, 0, 1);
    Sticker2d s = sticker("q", p.seq("q_00000.png"), 5, 6, 80, 100, 200);
    s.flipVertical = true;
    p.job.stickers = {s};
    ASSERT_TRUE(BigTexPacker::run(p.job));
    bool ok = false;
    const std::vector<NodeRow> nodes = parseDesc(p.out("desc.json"), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(nodes.size(), 1u);
    const FrameRow& f = nodes[0].frames[0];
    ASSERT_EQ(f.v.size(), 12u);
    // Box 0..9 x 0..19, flipped vertically: B' = 20 - 19 = 1, T' = 20 - 0 = 20.
    // Left-top corner: x = (0 - 5) / 10 * 100 + 5 - 1, y = (20 - 10) / 20 * 200 + 6 - 2, z = -(80 - 3).
    EXPECT_NEAR(f.v[0], -50 + 5 - 1, 1e-3);
    EXPECT_NEAR(f.v[1], 100 + 6 - 2, 1e-3);
    EXPECT_NEAR(f.v[2], -(80 - 3), 1e-3);
    EXPECT_NEAR(f.v[7], (1 - 10.0) / 20 * 200 + 6 - 2, 1e-3);
    EXPECT_EQ(f.vt[1], nodes[0].frames[0].vt[1]);
    EXPECT_LT(f.vt[1], f.vt[5]); // v swapped: top now carries the bottom edge
}

TEST(BigTexPack, largeFramesSpillIntoSecondAtlasAndOversizedAreLeftOut) {
    Project p;
    TraceCapture trace;
    std::vector<uint16_t> px(size_t(1022) * 1022 * 4, 255);
    for (int i = 0; i < 5; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "big_%05d.png", i);
        writeFile(p.seq(name), makePng(1022, 1022, PngColor::Rgba, 8, px));
    }
    writeFile(p.seq("huge_00000.png"), makePng(2100, 4, PngColor::Rgba, 8, std::vector<uint16_t>(2100 * 4 * 4, 200)));
    p.job.stickers = {sticker("big", p.seq("big_00000.png"), 0, 0, 80, 10, 10),
                      sticker("huge", p.seq("huge_00000.png"), 0, 0, 80, 10, 10)};
    ASSERT_TRUE(BigTexPacker::run(p.job));
    EXPECT_TRUE(trace.contains("huge_00000.png"));
    EXPECT_EQ(readFile(p.out("bigtex_desc.json")), "{\"bigtexs\":[\"bigtex_0.webp\",\"bigtex_1.webp\"]}");
    const std::vector<Rgba8> atlases = decodeAtlases(p);
    ASSERT_EQ(atlases.size(), 2u);
    EXPECT_EQ(atlases[0].height, 2048);
    EXPECT_EQ(atlases[1].height, 1024);
    bool ok = false;
    const std::vector<NodeRow> nodes = parseDesc(p.out("desc.json"), &ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(nodes.size(), 2u);
    int inSecond = 0;
    for (const FrameRow& f : nodes[0].frames)
        inSecond += f.bigtexidx == 1;
    EXPECT_EQ(inSecond, 1);
    ASSERT_EQ(nodes[1].frames.size(), 1u);
    EXPECT_EQ(nodes[1].frames[0].bigtexidx, -1); // described empty
}

TEST(BigTexPack, emptyProjectWritesNoAtlasAndEmptyDescriptors) {
    Project p;
    p.job.stickers = {sticker("none", p.seq("missing_00000.png"), 0, 0, 80, 10, 10),
                      sticker("bad", p.seq("nounderscore.png"), 0, 0, 80, 10, 10)};
    ASSERT_TRUE(BigTexPacker::run(p.job));
    EXPECT_EQ(readFile(p.out("desc.json")), "[\n\n]");
    EXPECT_EQ(readFile(p.out("bigtex_desc.json")), "{\"bigtexs\":[]}");
    EXPECT_FALSE(fileExists(p.out("bigtex_0.webp")));
}

TEST(BigTexPack, unwritableOutputFailsTheStep) {
    Project p;
    fs::remove_all(p.job.projectDir + "/out");
    EXPECT_FALSE(BigTexPacker::run(p.job));
}

// Each file of the 2D set that cannot be made fails the step with a reason
// naming it, although every other file was written.
TEST(BigTexPack, everyUnwrittenFileFailsTheStepWithItsReason) {
    struct Case {
        const char* blocked; // made a folder (or removed, for the shader template)
        const char* reason;
    };
    for (const Case& c : {Case{"out/bigtex_0.webp", "atlas"}, Case{"out/bigtex_desc.json", "bigtex_desc.json"},
                          Case{"data/tools/eyes.glsl", "eyes.glsl"}, Case{"out/desc.json", "desc.json"}}) {
        Project p;
        writeFrame(p.seq("a_00000.png"), 16, 16, 2, 1);
        p.job.stickers = {sticker("a", p.seq("a_00000.png"), 0, 0, 80, 10, 10)};
        const std::string target = std::string(c.blocked).rfind("out/", 0) == 0
                                        ? p.job.projectDir + "/" + c.blocked
                                        : p.dir.path() + "/" + c.blocked;
        fs::remove(target);
        if (std::string(c.blocked).rfind("out/", 0) == 0)
            fs::create_directories(target + "/inner");
        std::string reason;
        EXPECT_FALSE(BigTexPacker::run(p.job, nullptr, &reason)) << c.blocked;
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.blocked << ": " << reason;
    }
}

// An exception on any worker of the loop reaches the caller once every
// thread has ended; the loop hands out no further index.
TEST(ParallelFor, anExceptionOnAWorkerReachesTheCallerAfterTheJoin) {
    for (const int threads : {1, 2, 4}) {
        std::atomic<int> calls{0};
        bool caught = false;
        try {
            parallelFor(1000, threads, [&](size_t i) {
                ++calls;
                if (i == 3)
                    throw std::bad_alloc();
            });
        } catch (const std::bad_alloc&) {
            caught = true;
        }
        EXPECT_TRUE(caught) << threads;
        EXPECT_LT(calls.load(), 1000) << threads;
    }
}

TEST(WebpAtlasEncoder, writesTheSameBytesAsTheImageLibrarysDefaultSave) {
    std::mt19937 rng(5);
    struct Case {
        int w, h;
        int alphaKind; // 0 opaque, 1 mixed, 2 all transparent
    } cases[] = {{1, 1, 1}, {17, 9, 1}, {300, 211, 1}, {128, 128, 0}, {64, 33, 2}};
    for (const Case& c : cases) {
        ImageBuffer img;
        img.create(c.w, c.h, 4);
        for (size_t i = 0; i < img.data.size(); i += 4) {
            const int x = int((i / 4) % size_t(c.w)), y = int((i / 4) / size_t(c.w));
            img.data[i] = uint8_t(x * 7);
            img.data[i + 1] = uint8_t(y * 5 + int(rng() % 16));
            img.data[i + 2] = uint8_t(x ^ y);
            img.data[i + 3] = c.alphaKind == 0 ? 255 : c.alphaKind == 2 ? 0 : uint8_t((x / 8 + y / 8) % 2 ? 255 : x);
        }
        std::vector<uint8_t> reference;
        ASSERT_TRUE(img.imwriteMemory("x.webp", reference));
        for (bool helper : {false, true}) {
            std::vector<uint8_t> ours;
            std::string error;
            ASSERT_TRUE(WebpAtlasEncoder::encode(img, helper, ours, error)) << error;
            EXPECT_EQ(ours, reference) << c.w << "x" << c.h << " helper " << helper;
        }
    }
}

TEST(WebpAtlasEncoder, refusesInconsistentBuffers) {
    std::vector<uint8_t> out{1, 2, 3};
    std::string error;
    ImageBuffer empty;
    EXPECT_FALSE(WebpAtlasEncoder::encode(empty, false, out, error));
    EXPECT_TRUE(out.empty());
    ImageBuffer three;
    three.create(4, 4, 3);
    EXPECT_FALSE(WebpAtlasEncoder::encode(three, false, out, error));
    ImageBuffer shortData;
    shortData.create(4, 4, 4);
    shortData.data.pop_back();
    EXPECT_FALSE(WebpAtlasEncoder::encode(shortData, false, out, error));
    ImageBuffer tooWide;
    tooWide.width = 20000;
    tooWide.height = 1;
    tooWide.channels = 4;
    tooWide.data.assign(20000 * 4, 0);
    EXPECT_FALSE(WebpAtlasEncoder::encode(tooWide, false, out, error));
}

} // namespace

TEST(BigTexPack, consoleAndLogLinesKeepTheirOrderOnAllCores) {
    // A sequence with a broken frame reached by two items: the failure is
    // reported at the same places, twice, whatever the number of threads.
    auto linesOf = [](int threads) {
        Project p;
        for (int i = 0; i < 5; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "s_%05d.png", i);
            if (i == 2)
                writeFile(p.seq(name), "not a picture at all");
            else
                writeFrame(p.seq(name), 40 + 7 * i, 50, 2 + i, i);
        }
        p.job.stickers.push_back(sticker("first", p.seq("s_00000.png"), 0, 0, 80, 100, 100));
        Sticker2d whole = sticker("whole", p.seq("s_00003.png"), 0, 0, 519, 380, 672);
        whole.isfullscreen = true;
        p.job.stickers.push_back(whole);
        p.job.threads = threads;
        const std::string logPath = p.dir.file("log.txt");
        logOpen(logPath.c_str());
        logSetLevel(0);
        std::string console;
        {
            TraceCapture trace;
            EXPECT_TRUE(BigTexPacker::run(p.job));
            console = trace.all();
        }
        logClose();
        std::string text = console + "\n--- log ---\n" + readFile(logPath);
        for (size_t at; (at = text.find(p.dir.path())) != std::string::npos;)
            text.replace(at, p.dir.path().size(), "<dir>");
        return text;
    };
    const std::string one = linesOf(1);
    const std::string all = linesOf(4);
    EXPECT_EQ(one, all);
    size_t failures = 0;
    for (size_t at = 0; (at = one.find("load image failed, path <dir>/seq/s_00002.png", at)) != std::string::npos; ++at)
        ++failures;
    EXPECT_EQ(failures, 2u);
}

// The runtime's frame loop and bundle opening, single thread, on a headless
// EGL context: tracking plus drawing a packed 2D bundle of 10 stickers and an
// AR mesh on videos made from the face photographs (275 x 480 as the preview
// crops them, and 640 x 480), landmark jitter and lag of the smoothing, and
// opening a bundle of 20 atlases against the inflate-and-decode floor; then a
// 100 k-vertex 3D bundle: blendshapes against one pass over their deltas,
// frames against the 2D bundle's, and its opening against inflating its mesh
// bundle and reading it.

#include "BenchSupport.h"
#include "base/WholeFile.h"
#include "pack/BigTexJob.h"
#include "pack/BigTexPacker.h"
#include "geometry/ObjMesh.h"
#include "pack/ExternalTool.h"
#include "pack/MeshBundleReader.h"
#include "pack/Pack3d.h"
#include "pack/ZipWriter.h"
#include "scene/FaceActions.h"
#include "scene/Item_2d.h"
#include "scene/Item_3d.h"
#include "scene/ProjectSnapshot.h"
#include "vexa/FaceTracker.h"
#include "vexa/GlRenderer.h"
#include "vexa/MeshData.h"
#include "vexa/SetupData.h"
#include "vexa/Runtime.h"
#include "vexa/format/BundleReader.h"
#include "vexa/play/HeadlessGl.h"
#include "vexa/vexa.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <webp/decode.h>
#include <webp/encode.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

const std::string kSource = LUMO_SOURCE_DIR;

std::string readAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string signFolder(const std::string& out, const std::string& work) {
    std::string error;
    if (!ZipWriter::zipFolder(out, work + "/b.zip", error)) {
        std::fprintf(stderr, "zip: %s\n", error.c_str());
        return "";
    }
    const ToolResult r = ExternalTool::run(
        {ExternalTool::find("node"), kSource + "/data/tools/sign_file.js", work + "/b.zip", work + "/b.bundle"});
    if (r.exitCode != 0)
        std::fprintf(stderr, "sign: %s\n", r.output.c_str());
    return readAll(work + "/b.bundle");
}

// 10 stickers around the face features and one AR mesh, packed by the editor's
// packer and signed.
std::string packEffect(const std::string& work) {
    fs::create_directories(work + "/Projects/bench/out");
    fs::create_directory_symlink(fs::path(kSource) / "data", fs::path(work) / "data");
    BigTexJob job;
    job.root = work;
    job.projectDir = work + "/Projects/bench";
    job.scriptName = "bench_lumoeditor_3_0_1";
    job.threads = 1;
    FaceActions actions;
    actions.loadFromFile(kSource + "/data/tools/actions.json");
    job.actions = actions.all();
    const float spots[10][2] = {{0, -15}, {42, 35}, {-42, 35}, {0, -71}, {0, -120},
                                {60, 90}, {-60, 90}, {80, -40}, {-80, -40}, {0, 110}};
    for (int i = 0; i < 10; ++i) {
        Sticker2d s;
        s.name = "s" + std::to_string(i);
        s.texpath = kSource + "/data/ref/default_00000.png";
        s.fps = 10;
        s.triggerStart = kTriggerAlwaysRender;
        s.start_action = s.end_action = "null";
        s.hasNode = true;
        s.translation = {spots[i][0], spots[i][1], 80};
        s.model = math3d::compose(s.translation, {50, 50, 1}, math3d::Mat3::identity());
        s.nearestVertex = -1;
        job.stickers.push_back(s);
    }
    // Anchor each to its nearest reference vertex the way the editor does (x mirrored).
    const std::string blob = readAll(kSource + "/data/vexa/v3.bundle");
    vexa::SetupData setup;
    std::string reason;
    if (vexa::parseSetupData(reinterpret_cast<const std::uint8_t*>(blob.data()), blob.size(), setup, reason)) {
        for (Sticker2d& s : job.stickers) {
            double best = 1e30;
            for (std::size_t i = 0; i < setup.head.vertices.size(); ++i) {
                const auto& v = setup.head.vertices[i];
                const double d = std::pow(v[0] + s.translation.x, 2) + std::pow(v[1] - s.translation.y, 2) +
                                 std::pow(v[2] - s.translation.z, 2);
                if (d < best) {
                    best = d;
                    s.nearestVertex = int(i);
                    s.nearestVertexPosition = {v[0], v[1], v[2]};
                }
            }
        }
    }
    job.arItems.push_back({"face", "face_ar", kSource + "/data/ref/default_ar.png", 0});
    if (!BigTexPacker::run(job, nullptr, &reason)) {
        std::fprintf(stderr, "pack: %s\n", reason.c_str());
        return "";
    }
    return signFolder(work + "/Projects/bench/out", work);
}

// A 2D bundle of 20 distinct 1024 x 1024 atlases, one screen sticker each.
std::string twentyAtlasBundle(const std::string& work, std::vector<std::string>& atlasNames) {
    const std::string out = work + "/atlas20/out";
    std::string desc = "[", names = "{\"bigtexs\":[";
    std::mt19937 rng(5);
    for (int a = 0; a < 20; ++a) {
        cv::Mat img(1024, 1024, CV_8UC4);
        for (int y = 0; y < img.rows; ++y)
            for (int x = 0; x < img.cols; ++x)
                img.at<cv::Vec4b>(y, x) = cv::Vec4b(uchar(x * (a + 1)), uchar(y + a * 9), uchar((x ^ y) + a),
                                                     uchar(((x / 64 + y / 64) % 2) ? 255 : 120));
        cv::randu(img(cv::Rect(0, 0, 128, 128)), 0, 255);
        uint8_t* webp = nullptr;
        const size_t n = WebPEncodeRGBA(img.data, img.cols, img.rows, int(img.step), 90, &webp);
        const std::string name = "bigtex_" + std::to_string(a) + ".webp";
        writeAll(out + "/" + name, std::string(reinterpret_cast<char*>(webp), n));
        WebPFree(webp);
        atlasNames.push_back(name);
        names += (a ? ",\"" : "\"") + name + "\"";
        desc += std::string(a ? "," : "") + "{\"name\":\"n" + std::to_string(a) +
                "\",\"type\":\"billboard_ex2\",\"nodetype\":0,\"base_vertex\":-2,\"fps\":10,"
                "\"looptype\":\"infinite\",\"loopcnt\":0,\"triggerstart\":\"alwaysrender\",\"triggerend\":\"null\","
                "\"startaction\":\"null\",\"endaction\":\"null\",\"needkeepfaceaction\":0,\"childNodes\":[],"
                "\"root\":-1,\"texture_frames\":[{\"bigtexidx\":" +
                std::to_string(a) +
                ",\"v\":[-50,50,0,50,50,0,50,-50,0,-50,-50,0],\"vt\":[0,1,1,1,1,0,0,0]}]}";
    }
    writeAll(out + "/desc.json", desc + "]");
    writeAll(out + "/bigtex_desc.json", names + "]}");
    std::string script = readAll(kSource + "/data/tools/script.js");
    script.replace(script.find("dummy"), 5, "atlas20_lumoeditor_3_0_1");
    writeAll(out + "/script.js", script);
    writeAll(out + "/eyes.glsl", readAll(kSource + "/data/tools/eyes.glsl"));
    return signFolder(out, work + "/atlas20");
}

// A 3D bundle of one 316 x 316 grid (99 856 vertices) over the face with 5
// blendshapes, each moving a band of 10 000 vertices, packed by pack3d and
// signed; out/ keeps avatar.bin and avatar.json.
std::string packMesh3d(const std::string& work) {
    const std::string root = work + "/mesh3d";
    fs::create_directories(root + "/Projects/mesh3d");
    fs::create_directory_symlink(fs::path(kSource) / "data", fs::path(root) / "data");
    constexpr int n = 316;
    auto grid = [&](int shape) {
        auto m = std::make_unique<ObjMesh>();
        m->name = "grid";
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) {
                const float u = float(x) / (n - 1), v = float(y) / (n - 1);
                const bool moved = shape > 0 && (y * n + x) / 10000 == shape;
                m->vertices.push_back({(u - 0.5f) * 160, (v - 0.5f) * 200, 60 + (moved ? 10.0f : 0.0f)});
                m->texCoords.push_back({u, v});
            }
        for (int y = 0; y + 1 < n; ++y)
            for (int x = 0; x + 1 < n; ++x) {
                Face f;
                f.count = 4;
                const int c[4] = {y * n + x, y * n + x + 1, (y + 1) * n + x + 1, (y + 1) * n + x};
                for (int k = 0; k < 4; ++k) {
                    f.v[k] = f.t[k] = c[k];
                    f.n[k] = -1;
                }
                m->faces.push_back(f);
            }
        return m;
    };
    Item_3d globals, part;
    globals.type = part.type = kItem3d;
    globals.name = "Global Params";
    globals.meshRole = kRoleGlobalParams;
    part.name = "grid";
    part.meshRole = kRoleMeshPart;
    part.mesh = grid(0);
    part.weightMapPath = kSource + "/data/tools/3d_template/white.png";
    for (int b = 1; b <= 5; ++b)
        part.blendshapes[std::size_t(b)] = grid(b);
    ProjectSnapshot in;
    in.root = root;
    in.projectName = "mesh3d";
    in.items3d = {Item3dSnapshot::of(globals), Item3dSnapshot::of(part)};
    std::string reason;
    if (!pack3d(in, [](int) {}, &reason)) {
        std::fprintf(stderr, "pack3d: %s\n", reason.c_str());
        return "";
    }
    return signFolder(root + "/Projects/mesh3d/out", root);
}

// Frames of `size` cut from the photographs (centre crop to the aspect),
// `perPhoto` frames each with a 1-pixel sway and sensor noise.
std::vector<cv::Mat> makeVideo(cv::Size size, int perPhoto) {
    std::vector<cv::Mat> frames;
    std::mt19937 rng(1);
    for (const char* p : {"2008_001009.jpg", "2009_004587.jpg", "Tom_Cruise_avp_2014_4.jpg", "2008_002470.jpg"}) {
        cv::Mat bgr = cv::imread(bench::fixturesDir() + "/faces/" + p);
        if (bgr.empty())
            continue;
        const double r = double(size.height) / size.width;
        cv::Rect crop = double(bgr.rows) / bgr.cols <= r
                            ? cv::Rect((bgr.cols - int(bgr.rows / r)) / 2, 0, int(bgr.rows / r), bgr.rows)
                            : cv::Rect(0, (bgr.rows - int(bgr.cols * r)) / 2, bgr.cols, int(bgr.cols * r));
        cv::Mat fitted, rgba;
        cv::resize(bgr(crop), fitted, size, 0, 0, cv::INTER_AREA);
        cv::cvtColor(fitted, rgba, cv::COLOR_BGR2RGBA);
        for (int f = 0; f < perPhoto; ++f) {
            const cv::Mat m = (cv::Mat_<double>(2, 3) << 1, 0, std::sin(f * 0.3), 0, 1, std::cos(f * 0.2));
            cv::Mat moved, noise(size, CV_16SC4), wide;
            cv::warpAffine(rgba, moved, m, size, cv::INTER_LINEAR, cv::BORDER_REPLICATE);
            cv::randn(noise, 0, 4);
            moved.convertTo(wide, CV_16SC4);
            wide += noise;
            wide.convertTo(moved, CV_8UC4);
            frames.push_back(moved);
        }
    }
    return frames;
}

struct Times {
    std::vector<double> ms;
    double mean() const {
        double s = 0;
        for (double v : ms)
            s += v;
        return ms.empty() ? 0 : s / double(ms.size());
    }
    double quantile(double q) const {
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        return s.empty() ? 0 : s[std::min(s.size() - 1, std::size_t(q * double(s.size())))];
    }
};

Times runVideo(const std::vector<cv::Mat>& video, int item, bool detectEveryFrame) {
    vexa::FaceTracker* t = vexa::internal::tracker();
    t->reset();
    t->setDetectEveryFrame(detectEveryFrame);
    Times times;
    cv::Mat frame;
    for (std::size_t i = 0; i < video.size(); ++i) {
        video[i].copyTo(frame);
        bench::Stopwatch w;
        lumoRenderItemsEx(4, frame.data, 4, frame.data, frame.cols, frame.rows, int(i), &item, 1);
        times.ms.push_back(w.seconds() * 1000);
    }
    t->setDetectEveryFrame(false);
    return times;
}

std::string fmt(double v, const char* f = "%.3f") {
    char b[64];
    std::snprintf(b, sizeof b, f, v);
    return b;
}

} // namespace

int main() {
    std::string reason;
    if (bench::fixturesDir().empty()) {
        std::printf("fixtures absent: bench_runtime needs ../shared/fixtures/faces\n");
        return 1;
    }
    if (!vexa::makeHeadlessGlCurrent(reason)) {
        std::printf("no headless GL: %s\n", reason.c_str());
        return 1;
    }
    const std::string blob = readAll(kSource + "/data/vexa/v3.bundle");
    bench::Stopwatch setupTime;
    if (!lumoSetup(blob.data(), int(blob.size()))) {
        std::printf("set-up failed: %s\n", lumoGetLastError());
        return 1;
    }
    std::printf("set-up (face model load): %.0f ms\n", setupTime.seconds() * 1000);
    vexa::internal::useFrameClock(30);
    const fs::path work = fs::temp_directory_path() / ("bench_runtime_" + std::to_string(::getpid()));
    fs::create_directories(work);
    const std::string effect = packEffect(work.string());
    const int item = lumoCreateItemFromPackage(effect.data(), int(effect.size()));
    if (!item) {
        std::printf("effect bundle refused: %s\n", lumoGetLastError());
        return 1;
    }

    // 1. Frame time: tracking between detections against detecting every frame.
    double worstRatio = 0;
    for (const cv::Size size : {cv::Size(275, 480), cv::Size(640, 480)}) {
        const std::vector<cv::Mat> video = makeVideo(size, 40);
        runVideo(video, item, false);  // warm-up
        const Times tracked = runVideo(video, item, false);
        const Times detected = runVideo(video, item, true);
        const double ratio = tracked.mean() / detected.mean();
        worstRatio = std::max(worstRatio, ratio);
        std::printf("%dx%d, %zu frames: tracked mean %.2f ms, median %.2f ms, p95 %.2f ms (tick 16 ms); "
                    "detect every frame mean %.2f ms, median %.2f ms, p95 %.2f ms; ratio %.3f\n",
                    size.width, size.height, video.size(), tracked.mean(), tracked.quantile(0.5),
                    tracked.quantile(0.95), detected.mean(), detected.quantile(0.5), detected.quantile(0.95), ratio);
    }
    bench::goal("frame_vs_detect_every_frame", fmt(worstRatio), "<= 0.4", worstRatio <= 0.4);

    // 2. Jitter on a still face with per-frame noise, lag on a face moving 5 px per frame.
    vexa::FaceTracker* t = vexa::internal::tracker();
    cv::Mat photo = cv::imread(bench::fixturesDir() + "/faces/2008_001009.jpg"), rgba;
    cv::cvtColor(photo, rgba, cv::COLOR_BGR2RGBA);
    auto noisy = [&](const cv::Mat& m, std::uint64_t seed) {
        cv::Mat noise(m.size(), CV_16SC4), wide, outM;
        cv::theRNG().state = seed;
        cv::randn(noise, 0, 6);
        m.convertTo(wide, CV_16SC4);
        wide += noise;
        wide.convertTo(outM, CV_8UC4);
        return outM;
    };
    t->reset();
    std::vector<vexa::Landmarks> smooth, raw;
    for (int f = 0; f < 90; ++f) {
        const cv::Mat frame = noisy(rgba, std::uint64_t(f + 1));
        t->process(frame.data, frame.cols, frame.rows, f / 30.0);
        if (f >= 20 && t->hasFace()) {
            smooth.push_back(t->face().landmarks);
            raw.push_back(t->face().raw);
        }
    }
    auto spread = [](const std::vector<vexa::Landmarks>& s) {
        double total = 0;
        for (std::size_t k = 0; k < 68; ++k) {
            double mx = 0, my = 0;
            for (const auto& l : s) {
                mx += l[k].x / double(s.size());
                my += l[k].y / double(s.size());
            }
            for (const auto& l : s)
                total += (std::pow(l[k].x - mx, 2) + std::pow(l[k].y - my, 2)) / double(s.size() * 68);
        }
        return std::sqrt(total);
    };
    const double jitter = raw.empty() ? 1e9 : spread(smooth) / spread(raw);
    std::printf("still face: raw landmark sd %.3f px, smoothed %.3f px (%zu frames)\n",
                raw.empty() ? 0 : spread(raw), smooth.empty() ? 0 : spread(smooth), raw.size());
    bench::goal("landmark_jitter_vs_raw", fmt(jitter), "<= 0.5", jitter <= 0.5);

    t->reset();
    cv::Mat wide;
    cv::copyMakeBorder(rgba, wide, 0, 0, 0, 300, cv::BORDER_REPLICATE);
    double lagSum = 0;
    int lagCount = 0;
    for (int f = 0; f < 50; ++f) {
        const cv::Mat m = (cv::Mat_<double>(2, 3) << 1, 0, 5.0 * f, 0, 1, 0);
        cv::Mat moved;
        cv::warpAffine(wide, moved, m, wide.size(), cv::INTER_LINEAR, cv::BORDER_REPLICATE);
        const cv::Mat frame = noisy(moved, std::uint64_t(1000 + f));
        t->process(frame.data, frame.cols, frame.rows, f / 30.0);
        if (f >= 20 && t->hasFace()) {
            double d = 0;
            for (std::size_t k = 0; k < 68; ++k)
                d += (t->face().raw[k].x - t->face().landmarks[k].x) / 68;
            lagSum += d / 5.0;
            ++lagCount;
        }
    }
    const double lag = lagCount ? lagSum / lagCount : 1e9;
    bench::goal("tracking_lag_frames", fmt(lag), "<= 1", lag <= 1);

    // 3. Opening a bundle of 20 atlases against inflating and decoding them.
    std::vector<std::string> atlasNames;
    const std::string atlas20 = twentyAtlasBundle(work.string(), atlasNames);
    double openBest = 1e9, floorBest = 1e9;
    for (int rep = 0; rep < 3; ++rep) {
        bench::Stopwatch w;
        const int h = lumoCreateItemFromPackage(atlas20.data(), int(atlas20.size()));
        openBest = std::min(openBest, w.seconds());
        if (!h) {
            std::printf("20-atlas bundle refused: %s\n", lumoGetLastError());
            return 1;
        }
        lumoDestroyItem(h);
        bench::Stopwatch f;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(atlas20.data());
        auto zip = vexa::format::ZipArchive::open(bytes + 96, atlas20.size() - 96, {}, reason);
        for (const std::string& name : atlasNames) {
            std::vector<std::uint8_t> data;
            zip->read(name, data, reason);
            int w0 = 0, h0 = 0;
            WebPFree(WebPDecodeRGBA(data.data(), data.size(), &w0, &h0));
        }
        floorBest = std::min(floorBest, f.seconds());
    }
    std::printf("20-atlas bundle (%zu bytes): open %.1f ms, inflate+decode floor %.1f ms\n", atlas20.size(),
                openBest * 1000, floorBest * 1000);
    bench::goal("bundle_open_vs_unzip_floor", fmt(openBest / floorBest), "<= 3", openBest / floorBest <= 3);
    // 4. 3D: blendshapes, frames and opening against their floors.
    const std::string mesh3d = packMesh3d(work.string());
    const std::string outDir = work.string() + "/mesh3d/Projects/mesh3d/out/";
    const std::string bin = readAll(outDir + "avatar.bin"), json = readAll(outDir + "avatar.json");
    vexa::MeshData mesh;
    if (!mesh.read(reinterpret_cast<const std::uint8_t*>(bin.data()), bin.size(), json.data(), json.size(), reason) ||
        mesh.parts.empty()) {
        std::printf("3D mesh bundle unreadable: %s\n", reason.c_str());
        return 1;
    }
    vexa::MeshPart& grid = mesh.parts[0];
    float weights[vexa::kBlendshapeCount] = {0};
    std::size_t records = 0;
    for (int b = 1; b <= 5; ++b) {
        weights[b] = 0.5f;
        records += grid.shapes[b].size();
    }
    double blendBest = 1e9, floorBlend = 1e9;
    std::vector<float> scratch(grid.current.size());
    for (int rep = 0; rep < 20; ++rep) {
        for (int b = 1; b <= 5; ++b)  // every active shape gets a new weight every frame
            weights[b] = 0.3f + 0.01f * float(rep) + 0.1f * float(b);
        bench::Stopwatch w;
        grid.applyBlendshapes(weights);
        blendBest = std::min(blendBest, w.seconds());
        bench::Stopwatch f;
        for (int b = 1; b <= 5; ++b)
            for (const vexa::MeshDelta& d : grid.shapes[b])
                scratch[d.entry] += weights[b] * d.value;
        floorBlend = std::min(floorBlend, f.seconds());
    }
    std::printf("3D grid: %zu vertices, 5 shapes of %zu delta records: blend %.3f ms, one pass %.3f ms (%.1f)\n",
                grid.vertexCount, records, blendBest * 1000, floorBlend * 1000, double(scratch[0]));
    bench::goal("blend_vs_sparse_floor", fmt(blendBest / floorBlend), "<= 2", blendBest / floorBlend <= 2);

    const int item3d = lumoCreateItemFromPackage(mesh3d.data(), int(mesh3d.size()));
    if (!item3d) {
        std::printf("3D bundle refused: %s\n", lumoGetLastError());
        return 1;
    }
    const std::vector<cv::Mat> video = makeVideo(cv::Size(640, 480), 20);
    runVideo(video, item3d, false);  // warm-up
    const Times frames3d = runVideo(video, item3d, false);
    const Times frames2d = runVideo(video, item, false);
    const Times bare = runVideo(video, 0, false);  // tracking, camera picture and read-back only
    const double frameRatio = frames3d.mean() / frames2d.mean();
    std::printf("640x480, %zu frames: 3D bundle mean %.2f ms, 2D bundle mean %.2f ms, no item %.2f ms\n",
                video.size(), frames3d.mean(), frames2d.mean(), bare.mean());
    bench::goal("frame3d_vs_frame2d", fmt(frameRatio), "<= 2", frameRatio <= 2);
    lumoDestroyItem(item3d);

    double load3d = 1e9, reader = 1e9, readerAlone = 1e9;
    for (int rep = 0; rep < 3; ++rep) {
        bench::Stopwatch w;
        const int h = lumoCreateItemFromPackage(mesh3d.data(), int(mesh3d.size()));
        load3d = std::min(load3d, w.seconds());
        lumoDestroyItem(h);
        // The floor: what any open must do with these bytes, as for the 2D
        // bundle above: inflate the mesh bundle's two entries (the pack
        // stores them deflated) and run the mesh bundle reader on them.
        bench::Stopwatch f;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(mesh3d.data());
        auto zip = vexa::format::ZipArchive::open(bytes + 96, mesh3d.size() - 96, {}, reason);
        std::vector<std::uint8_t> binBytes;
        std::string jsonText;
        std::vector<MeshBundleMesh> meshes;
        if (!zip || !zip->read("avatar.bin", binBytes, reason) || !zip->readText("avatar.json", jsonText, reason) ||
            !MeshBundleReader::fromBytes(binBytes.data(), binBytes.size(), jsonText.data(), jsonText.size(), meshes,
                                         reason)) {
            std::printf("3D bundle's mesh bundle unreadable: %s\n", reason.c_str());
            return 1;
        }
        reader = std::min(reader, f.seconds());
        bench::Stopwatch r;
        meshes.clear();
        MeshBundleReader::fromBytes(reinterpret_cast<const std::uint8_t*>(bin.data()), bin.size(), json.data(),
                                    json.size(), meshes, reason);
        readerAlone = std::min(readerAlone, r.seconds());
    }
    std::printf("3D bundle (%zu bytes): open %.1f ms, inflate + mesh bundle reader floor %.1f ms (reader alone on "
                "the inflated files %.1f ms)\n",
                mesh3d.size(), load3d * 1000, reader * 1000, readerAlone * 1000);
    // Where an open goes: its steps one by one on the same bytes, best of 3.
    {
        vexa::SetupData setup;
        vexa::parseSetupData(reinterpret_cast<const std::uint8_t*>(blob.data()), blob.size(), setup, reason);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(mesh3d.data());
        double sig = 1e9, inflate = 1e9, decode = 1e9, program = 1e9;
        for (int rep = 0; rep < 3; ++rep) {
            vexa::format::BundleHeader header;
            bench::Stopwatch w;
            vexa::format::checkBundle(bytes, mesh3d.size(), setup.trustedKeys, vexa::format::SignatureCheck::Required,
                                      header, reason);
            sig = std::min(sig, w.seconds());
            bench::Stopwatch z;
            auto bundle = vexa::format::openBundle(bytes, mesh3d.size(), {},
                                                   vexa::format::SignatureCheck::SkipForTesting, reason);
            std::vector<std::uint8_t> binBytes;
            std::string jsonText, vs, fs;
            if (!bundle || !bundle->zip->read("avatar.bin", binBytes, reason) ||
                !bundle->zip->readText("avatar.json", jsonText, reason) ||
                !bundle->zip->readText("vert.glsl", vs, reason) || !bundle->zip->readText("frag.glsl", fs, reason)) {
                std::printf("3D bundle entries unreadable: %s\n", reason.c_str());
                return 1;
            }
            inflate = std::min(inflate, z.seconds());
            bench::Stopwatch d;
            vexa::MeshData decoded;
            decoded.read(binBytes.data(), binBytes.size(), jsonText.data(), jsonText.size(), reason);
            decode = std::min(decode, d.seconds());
            bench::Stopwatch p;
            vexa::GlRenderer::deleteProgram(
                vexa::GlRenderer::createProgram("#version 110\n" + vs, "#version 110\n" + fs, reason));
            program = std::min(program, p.seconds());
        }
        std::printf("3D open steps: signature %.1f ms, zip open + inflate (avatar.bin %zu bytes) %.1f ms, mesh decode "
                    "%.1f ms, program compile + link %.1f ms\n",
                    sig * 1000, bin.size(), inflate * 1000, decode * 1000, program * 1000);
    }
    bench::goal("load3d_vs_reader_floor", fmt(load3d / reader), "<= 3", load3d / reader <= 3);

    lumoDestroyItem(item);
    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}

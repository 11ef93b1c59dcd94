// Atlas packing benchmark: 2,000 frame sizes (16 to 512 pixels, random
// transparent borders) packed by our skyline packer and by stb_rect_pack's
// on the same rectangles and atlas width; then 2,000 generated frames in
// sequences of 90 (each sequence of one base size from 16 to 512 pixels,
// its frames within 8 % of it, as one animation's are) for the whole 2D
// pack step on all cores against the same step on one thread, and repacks
// with the pack cache (nothing changed, one sequence re-rendered) against a
// cold pack, each in a child process of its own so that its peak memory is
// its own.

#include "BenchSupport.h"
#include "base/Trace.h"
#include "pack/AtlasPacker.h"
#include "pack/BigTexPacker.h"
#include "pack/PackCache.h"

#include <stb/stb_rect_pack.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <random>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr int kFrames = 2000;
constexpr int kFramesPerSequence = 90;
constexpr int kAtlas = 2048;

struct Generated {
    std::vector<TexFrame> sizes; // trim sizes of the generated frames
    BigTexJob job;
};

// One frame: content of w x h inside random transparent borders.
ImageBuffer makeFrame(std::mt19937& rng, int baseW, int baseH, int& trimW, int& trimH) {
    const int w = std::max(16, baseW * (92 + int(rng() % 17)) / 100);
    const int h = std::max(16, baseH * (92 + int(rng() % 17)) / 100);
    const int l = int(rng() % unsigned(w / 4 + 1)), r = int(rng() % unsigned(w / 4 + 1));
    const int b = int(rng() % unsigned(h / 4 + 1)), t = int(rng() % unsigned(h / 4 + 1));
    ImageBuffer img;
    img.create(w, h, 4);
    // Smooth colours, opaque inside with a two-pixel soft edge: what sticker
    // art usually looks like.
    const uint8_t hue = uint8_t(rng());
    const int x0 = l, x1 = w - r - 1, y0 = b, y1 = h - t - 1;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            uint8_t* p = &img.data[(size_t(y) * size_t(w) + size_t(x)) * 4];
            const int edge = std::min(std::min(x - x0, x1 - x), std::min(y - y0, y1 - y));
            p[0] = uint8_t(x / 2 + hue);
            p[1] = uint8_t(y / 2);
            p[2] = uint8_t((x + y) / 4 + hue);
            p[3] = uint8_t(edge >= 2 ? 255 : 96 + 64 * edge);
        }
    trimW = w - l - r;
    trimH = h - b - t;
    return img;
}

// The trim sizes of 2,000 frames of independent random sizes (16 to 512
// pixels, random borders): the placement comparison's input.
std::vector<TexFrame> placementSizes() {
    std::mt19937 rng(2024);
    std::vector<TexFrame> sizes(kFrames);
    for (TexFrame& f : sizes) {
        const int w = 16 + int(rng() % 497);
        const int h = 16 + int(rng() % 497);
        const int l = int(rng() % unsigned(w / 4 + 1)), r = int(rng() % unsigned(w / 4 + 1));
        const int b = int(rng() % unsigned(h / 4 + 1)), t = int(rng() % unsigned(h / 4 + 1));
        rng(); // the hue of the frame's colours
        f.trimWidth = w - l - r;
        f.trimHeight = h - b - t;
    }
    return sizes;
}

Generated generate(const std::string& dir) {
    Generated g;
    std::mt19937 rng(2024);
    fs::create_directories(dir + "/seq");
    int baseW = 0, baseH = 0;
    for (int i = 0; i < kFrames; ++i) {
        if (i % kFramesPerSequence == 0) {
            baseW = 16 + int(rng() % 497);
            baseH = 16 + int(rng() % 497);
        }
        int tw = 0, th = 0;
        const ImageBuffer img = makeFrame(rng, baseW, baseH, tw, th);
        char name[64];
        std::snprintf(name, sizeof name, "/seq/s%02d_%05d.png", i / kFramesPerSequence, i % kFramesPerSequence);
        img.imwrite(dir + name);
        TexFrame f;
        f.path = name;
        f.trimWidth = tw;
        f.trimHeight = th;
        g.sizes.push_back(f);
        if (i % kFramesPerSequence == 0) {
            Sticker2d s;
            s.name = "s" + std::to_string(i / kFramesPerSequence);
            s.texpath = dir + name;
            s.fps = 20;
            s.loopcnt = 1;
            s.hasNode = true;
            s.translation = {0, 0, 80};
            s.model = math3d::compose(s.translation, {100, 100, 1}, math3d::Mat3::identity());
            g.job.stickers.push_back(s);
        }
    }
    g.job.root = LUMO_SOURCE_DIR; // data/tools/ templates of the script and shader
    return g;
}

double trimmedArea(const std::vector<TexFrame>& frames) {
    double a = 0;
    for (const TexFrame& f : frames)
        a += double(f.trimWidth) * f.trimHeight;
    return a;
}

struct PackResult {
    int atlases = 0;
    double area = 0; // sum of atlas areas (width x used height)
    double seconds = 0;
};

constexpr int kTimingRuns = 5; // placement times are the best of these

PackResult packOurs(const std::vector<TexFrame>& input) {
    PackResult r;
    std::vector<AtlasSize> atlases;
    r.seconds = 1e9;
    for (int run = 0; run < kTimingRuns; ++run) {
        std::vector<TexFrame> frames = input;
        bench::Stopwatch sw;
        atlases = AtlasPacker::pack(frames, AtlasPacker::order(frames));
        r.seconds = std::min(r.seconds, sw.seconds());
    }
    r.atlases = int(atlases.size());
    for (const AtlasSize& s : atlases)
        r.area += double(s.width) * s.height;
    return r;
}

// stb_rect_pack's skyline (bottom-left) packer, same one-pixel margins:
// fill a 2048 x 2048 atlas, carry what did not fit to the next one.
PackResult packStb(const std::vector<TexFrame>& frames) {
    PackResult r;
    std::vector<stbrp_rect> rects;
    for (size_t i = 0; i < frames.size(); ++i) {
        stbrp_rect q{};
        q.id = int(i);
        q.w = frames[i].trimWidth + 2;
        q.h = frames[i].trimHeight + 2;
        rects.push_back(q);
    }
    std::vector<stbrp_node> nodes(kAtlas);
    r.seconds = 1e9;
    for (int run = 0; run < kTimingRuns; ++run) {
        std::vector<stbrp_rect> todo = rects;
        PackResult pass;
        bench::Stopwatch sw;
        while (!todo.empty()) {
            stbrp_context ctx;
            stbrp_init_target(&ctx, kAtlas, kAtlas, nodes.data(), int(nodes.size()));
            stbrp_pack_rects(&ctx, todo.data(), int(todo.size()));
            int used = 0;
            std::vector<stbrp_rect> rest;
            for (const stbrp_rect& q : todo) {
                if (q.was_packed)
                    used = std::max(used, q.y + q.h);
                else
                    rest.push_back(q);
            }
            if (rest.size() == todo.size())
                break;
            ++pass.atlases;
            pass.area += double(kAtlas) * used;
            todo.swap(rest);
        }
        pass.seconds = sw.seconds();
        r.atlases = pass.atlases;
        r.area = pass.area;
        r.seconds = std::min(r.seconds, pass.seconds);
    }
    return r;
}

// CPU seconds (user + system) this process has used so far.
double cpuSeconds() {
    struct rusage u;
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

void printTiming(const char* label, const BigTexPacker::Timing& t, double total) {
    Trace::out("%s: total %.2f s = decode %.2f + trim %.2f + place %.3f + atlases %.2f (compose %.2f, encode %.2f "
               "thread-seconds) + descriptors %.3f\n",
               label, total, t.decode, t.trim, t.place, t.atlases, t.compose, t.encode, t.describe);
}

bool sameOutputs(const std::string& a, const std::string& b) {
    for (const auto& e : fs::directory_iterator(a)) {
        const std::string other = b + "/" + e.path().filename().string();
        if (!fs::exists(other) || fs::file_size(e.path()) != fs::file_size(other))
            return false;
        std::ifstream fa(e.path(), std::ios::binary), fb(other, std::ios::binary);
        if (!std::equal(std::istreambuf_iterator<char>(fa), std::istreambuf_iterator<char>(),
                        std::istreambuf_iterator<char>(fb)))
            return false;
    }
    return true;
}

// Gives every frame of sequence `seq` new colours (same size, same
// transparent borders), as a re-render of that animation would.
void rerenderSequence(const std::string& dir, int seq) {
    for (int n = 0; n < kFramesPerSequence; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "/seq/s%02d_%05d.png", seq, n);
        ImageBuffer img;
        if (!img.imread(dir + name))
            break;
        for (size_t p = 0; p + 3 < img.data.size(); p += 4)
            if (img.data[p + 3] != 0)
                img.data[p] ^= 0x55;
        img.imwrite(dir + name);
    }
}

struct ChildRun {
    bool ok = false;
    double wall = 0;    // seconds of the whole child
    double cpu = 0;     // user + system seconds of the pack alone, all threads
    double peakMiB = 0; // the child's peak resident memory
    BigTexPacker::Timing timing;
};

// One 2D pack on `threads` threads in a child process of its own, with the
// pack cache of projectDir (or none), out/ emptied first.
ChildRun packInChild(Generated& g, const std::string& projectDir, int threads, bool useCache) {
    ChildRun r;
    fs::remove_all(projectDir + "/out");
    fs::create_directories(projectDir + "/out");
    int fds[2];
    if (pipe(fds) != 0)
        return r;
    bench::Stopwatch sw;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Trace::setEnabled(false);
        g.job.projectDir = projectDir;
        g.job.threads = threads;
        PackCache cache(PackCache::folderOf(projectDir));
        g.job.cache = useCache ? &cache : nullptr;
        ChildRun c;
        const double cpu0 = cpuSeconds();
        c.ok = BigTexPacker::run(g.job, &c.timing);
        c.cpu = cpuSeconds() - cpu0;
        const bool sent = write(fds[1], &c, sizeof c) == ssize_t(sizeof c);
        _exit(sent ? 0 : 1);
    }
    close(fds[1]);
    ChildRun c;
    const bool got = pid > 0 && read(fds[0], &c, sizeof c) == ssize_t(sizeof c);
    close(fds[0]);
    int status = 0;
    struct rusage u;
    if (pid < 0 || wait4(pid, &status, 0, &u) != pid || !got)
        return r;
    c.wall = sw.seconds();
    c.peakMiB = double(u.ru_maxrss) / 1024.0;
    return c;
}

std::string ratioText(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

} // namespace

int main() {
    const std::string dir = (fs::temp_directory_path() / ("bench_atlas_" + std::to_string(::getpid()))).string();
    Trace::out("generating %d frames in %s\n", kFrames, dir.c_str());
    Trace::setEnabled(false);
    Generated g = generate(dir);
    Trace::setEnabled(true);

    const std::vector<TexFrame> sizes = placementSizes();
    const double area = trimmedArea(sizes);
    const PackResult ours = packOurs(sizes);
    const PackResult stb = packStb(sizes);
    const double occOurs = area / ours.area, occStb = area / stb.area;
    Trace::out("placement: ours %d atlases, occupancy %.4f, %.2f ms; stb_rect_pack %d atlases, occupancy %.4f, %.2f ms\n",
               ours.atlases, occOurs, ours.seconds * 1e3, stb.atlases, occStb, stb.seconds * 1e3);

    // Every pack runs in a child process on the pack cache of its project:
    // cold on one thread (empty cache), cold on all cores (a cache of its
    // own), then the first project again with nothing changed and with one
    // sequence re-rendered.
    const std::string one = dir + "/Projects/one", all = dir + "/Projects/all";
    const ChildRun cold = packInChild(g, one, 1, true);
    fs::rename(one + "/out", dir + "/coldOut");
    const ChildRun parallelRun = packInChild(g, all, 0, true);
    const bool identical = sameOutputs(dir + "/coldOut", all + "/out");
    const ChildRun unchanged = packInChild(g, one, 1, true);
    const bool warmIdentical = sameOutputs(dir + "/coldOut", one + "/out") && sameOutputs(one + "/out", dir + "/coldOut");
    rerenderSequence(dir, 5);
    const ChildRun changed = packInChild(g, one, 1, true);
    printTiming("packBigTex, one thread, cold", cold.timing, cold.wall);
    printTiming("packBigTex, all cores, cold", parallelRun.timing, parallelRun.wall);
    printTiming("packBigTex, one thread, nothing changed", unchanged.timing, unchanged.wall);
    printTiming("packBigTex, one thread, one sequence re-rendered", changed.timing, changed.wall);
    for (const auto& [label, run] : {std::make_pair("one thread, cold", cold), std::make_pair("all cores, cold", parallelRun),
                                     std::make_pair("one thread, nothing changed", unchanged),
                                     std::make_pair("one thread, one sequence re-rendered", changed)})
        Trace::out("%s: %s, wall %.2f s, CPU %.2f s (cores used %.2f), peak memory %.1f MiB\n", label,
                   run.ok ? "ok" : "FAILED", run.wall, run.cpu, run.cpu / std::max(run.wall, 1e-9), run.peakMiB);
    Trace::out("outputs of the cold one-thread and all-cores runs identical: %s; nothing-changed repack identical to "
               "the cold pack: %s; cores: %u\n",
               identical ? "yes" : "NO", warmIdentical ? "yes" : "NO", std::thread::hardware_concurrency());
    const bool cacheRunsOk = cold.ok && parallelRun.ok && unchanged.ok && changed.ok;
    // CPU seconds of the packs (the machine is shared: wall time would also
    // measure the neighbours); one thread each, so CPU is the pack's own time.
    const double unchangedRatio = unchanged.cpu / std::max(cold.cpu, 1e-9);
    const double changedRatio = changed.cpu / std::max(cold.cpu, 1e-9);
    const double oneSeconds = cold.wall, allSeconds = parallelRun.wall;
    Trace::out("peak memory: %.1f MiB\n", double(bench::peakMemoryBytes()) / (1024.0 * 1024.0));
    fs::remove_all(dir);

    char buf[64];
    std::snprintf(buf, sizeof buf, "%.4f", occOurs / occStb);
    bench::goal("occupancy_ratio_vs_stb", buf, ">= 1.0", occOurs / occStb >= 1.0);
    std::snprintf(buf, sizeof buf, "%d vs %d", ours.atlases, stb.atlases);
    bench::goal("atlas_count_vs_stb", buf, "<= stb", ours.atlases <= stb.atlases);
    const double placeRatio = ours.seconds / std::max(stb.seconds, 1e-9);
    std::snprintf(buf, sizeof buf, "%.2f", placeRatio);
    bench::goal("placement_time_ratio_vs_stb", buf, "<= 2.0", placeRatio <= 2.0);
    const double parallel = allSeconds / std::max(oneSeconds, 1e-9);
    std::snprintf(buf, sizeof buf, "%.3f", parallel);
    bench::goal("packBigTex_all_cores_vs_one_thread", buf, "<= 0.6", parallel <= 0.6 && identical);
    bench::goal("repack_unchanged_vs_cold", ratioText(unchangedRatio), "<= 0.05",
                unchangedRatio <= 0.05 && cacheRunsOk && warmIdentical);
    bench::goal("repack_one_sequence_changed_vs_cold", ratioText(changedRatio), "<= 0.25",
                changedRatio <= 0.25 && cacheRunsOk);
    const double memoryRatio = std::max(unchanged.peakMiB, changed.peakMiB) / std::max(cold.peakMiB, 1e-9);
    bench::goal("repack_peak_memory_warm_vs_cold", ratioText(memoryRatio), "<= 1.0", memoryRatio <= 1.0 && cacheRunsOk);
    return 0;
}

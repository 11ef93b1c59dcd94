// Atlas packing benchmark: 2,000 frame sizes (16 to 512 pixels, random
// transparent borders) packed by our skyline packer and by stb_rect_pack's
// on the same rectangles and atlas width; then 2,000 generated frames in
// sequences of 90 (each sequence of one base size from 16 to 512 pixels and
// one framing of transparent borders, its frames within 8 % of it, as one
// animation's are) for the whole 2D pack step on all cores against the same
// step on one thread, and repacks with the pack cache (nothing changed, one
// sequence re-rendered) against a cold pack, each in a child process of its
// own so that its peak memory is its own. The repack prints in how many
// atlases the re-rendered sequence lies and how many were encoded again.

#include "BenchSupport.h"
#include "base/ParallelFor.h"
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
#include <set>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr int kFrames = 2000;
constexpr int kFramesPerSequence = 90;
constexpr int kAtlas = 2048;
constexpr int kChangedSequence = 5; // the sequence the changed repack re-renders

struct Generated {
    std::vector<TexFrame> sizes; // trim sizes of the generated frames
    BigTexJob job;
};

// How one sequence looks: its base size and its transparent borders, in
// percent of a frame's size (0 to 25 on each side), chosen once for all of
// its frames, as one animation's frames share their framing.
struct SequenceLook {
    int baseW = 0, baseH = 0;
    int left = 0, right = 0, bottom = 0, top = 0;
};

SequenceLook newSequenceLook(std::mt19937& rng) {
    SequenceLook look;
    look.baseW = 16 + int(rng() % 497);
    look.baseH = 16 + int(rng() % 497);
    look.left = int(rng() % 26), look.right = int(rng() % 26);
    look.bottom = int(rng() % 26), look.top = int(rng() % 26);
    return look;
}

// One frame of a sequence: content of w x h (within 8 % of the base size)
// inside the sequence's transparent borders, each jittered by up to two
// pixels, and the hue of its colours.
struct FrameLook {
    int w = 0, h = 0, l = 0, r = 0, b = 0, t = 0;
    uint8_t hue = 0;
    int trimW() const { return w - l - r; }
    int trimH() const { return h - b - t; }
};

FrameLook newFrameLook(std::mt19937& rng, const SequenceLook& look) {
    FrameLook f;
    f.w = std::max(16, look.baseW * (92 + int(rng() % 17)) / 100);
    f.h = std::max(16, look.baseH * (92 + int(rng() % 17)) / 100);
    const auto border = [&](int size, int percent) {
        return std::clamp(size * percent / 100 + int(rng() % 5) - 2, 0, size / 4);
    };
    f.l = border(f.w, look.left);
    f.r = border(f.w, look.right);
    f.b = border(f.h, look.bottom);
    f.t = border(f.h, look.top);
    f.hue = uint8_t(rng());
    return f;
}

ImageBuffer paintFrame(const FrameLook& f) {
    ImageBuffer img;
    img.create(f.w, f.h, 4);
    // Smooth colours, opaque inside with a two-pixel soft edge: what sticker
    // art usually looks like.
    const int x0 = f.l, x1 = f.w - f.r - 1, y0 = f.b, y1 = f.h - f.t - 1;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            uint8_t* p = &img.data[(size_t(y) * size_t(f.w) + size_t(x)) * 4];
            const int edge = std::min(std::min(x - x0, x1 - x), std::min(y - y0, y1 - y));
            p[0] = uint8_t(x / 2 + f.hue);
            p[1] = uint8_t(y / 2);
            p[2] = uint8_t((x + y) / 4 + f.hue);
            p[3] = uint8_t(edge >= 2 ? 255 : 96 + 64 * edge);
        }
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

std::string frameName(int i) {
    char name[64];
    std::snprintf(name, sizeof name, "/seq/s%02d_%05d.png", i / kFramesPerSequence, i % kFramesPerSequence);
    return name;
}

// The frames' looks are drawn in order from one seed; their files are
// painted and written on all cores.
Generated generate(const std::string& dir) {
    Generated g;
    std::mt19937 rng(2024);
    fs::create_directories(dir + "/seq");
    SequenceLook look;
    std::vector<FrameLook> frames;
    for (int i = 0; i < kFrames; ++i) {
        if (i % kFramesPerSequence == 0)
            look = newSequenceLook(rng);
        frames.push_back(newFrameLook(rng, look));
        TexFrame f;
        f.path = frameName(i);
        f.trimWidth = frames.back().trimW();
        f.trimHeight = frames.back().trimH();
        g.sizes.push_back(f);
        if (i % kFramesPerSequence == 0) {
            Sticker2d s;
            s.name = "s" + std::to_string(i / kFramesPerSequence);
            s.texpath = dir + f.path;
            s.fps = 20;
            s.loopcnt = 1;
            s.hasNode = true;
            s.translation = {0, 0, 80};
            s.model = math3d::compose(s.translation, {100, 100, 1}, math3d::Mat3::identity());
            g.job.stickers.push_back(s);
        }
    }
    parallelFor(frames.size(), 0, [&](size_t i) { paintFrame(frames[i]).imwrite(dir + frameName(int(i))); });
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
        const std::string name = frameName(seq * kFramesPerSequence + n);
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
    int atlasLookups = 0, atlasHits = 0; // in the pack cache
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
        c.atlasLookups = cache.lookups(PackCache::Atlas);
        c.atlasHits = cache.hits(PackCache::Atlas);
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

// In how many atlases the frames of sequence `seq` lie, and how many
// atlases there are, when `frames` (in walk order) are packed.
std::pair<int, int> atlasesOfSequence(std::vector<TexFrame> frames, int seq) {
    const size_t count = AtlasPacker::pack(frames, AtlasPacker::order(frames)).size();
    std::set<int> atlases;
    for (int i = seq * kFramesPerSequence; i < (seq + 1) * kFramesPerSequence && i < int(frames.size()); ++i)
        atlases.insert(frames[size_t(i)].atlasIndex);
    return {int(atlases.size()), int(count)};
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
    Trace::setEnabled(false);
    rerenderSequence(dir, kChangedSequence);
    Trace::setEnabled(true);
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
    const auto [touched, atlasCount] = atlasesOfSequence(g.sizes, kChangedSequence);
    Trace::out("the re-rendered sequence lies in %d of %d atlases; atlases encoded again: %d of %d\n", touched,
               atlasCount, changed.atlasLookups - changed.atlasHits, changed.atlasLookups);
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

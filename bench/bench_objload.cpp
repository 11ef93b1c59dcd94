// OBJ loading speed and memory: ObjMesh::loadObj against tinyobjloader on
// the Stanford bunny and on a generated mesh of about 1,000,000 vertices,
// the peak memory of loading the big mesh against the size of the mesh's
// own arrays, and a base mesh with its 46 blendshape files read through the
// multi-group reader.

#include "BenchSupport.h"
#include "base/Trace.h"
#include "geometry/ObjMesh.h"
#include "images/ResourceManager.h"

#include <tiny_obj_loader.h>

#include <malloc.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kRounds = 5;

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Processor time rather than wall time decides: the machine is shared, and
// waiting for a core is not the reader's cost (wall time is printed too).
struct Timing {
    double cpu = 1e30, wall = 1e30;
};

Timing timeOnce(const std::function<void()>& run) {
    bench::Stopwatch clock;
    const double start = cpuSeconds();
    run();
    return {cpuSeconds() - start, clock.seconds()};
}

Timing better(const Timing& a, const Timing& b) { return {std::min(a.cpu, b.cpu), std::min(a.wall, b.wall)}; }

bool loadOurs(const std::string& path) {
    ObjMesh mesh;
    return mesh.loadObj(path, false, false) == 1;
}

bool loadTiny(const std::string& path) {
    tinyobj::ObjReaderConfig config;
    config.triangulate = false;
    tinyobj::ObjReader reader;
    return reader.ParseFromFile(path, config);
}

// A grid of side x side vertices with texture coordinates and normals,
// two triangles per cell, written as an exporter would (v/vt/vn corners).
void writeGrid(const std::string& path, int side, float wave, const char* group) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return;
    std::vector<char> buffer(1 << 20);
    std::setvbuf(f, buffer.data(), _IOFBF, buffer.size());
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            std::fprintf(f, "v %.6f %.6f %.6f\n", x * 0.01f, y * 0.01f, wave * std::sin(x * 0.1f) * std::cos(y * 0.1f));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            std::fprintf(f, "vt %.6f %.6f\n", x / float(side - 1), y / float(side - 1));
    for (int i = 0; i < side * side; ++i)
        std::fprintf(f, "vn 0.000000 0.000000 1.000000\n");
    if (group)
        std::fprintf(f, "g %s\n", group);
    for (int y = 0; y + 1 < side; ++y) {
        for (int x = 0; x + 1 < side; ++x) {
            const int a = y * side + x + 1, b = a + 1, c = a + side + 1, d = a + side;
            std::fprintf(f, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, b, b, b, c, c, c);
            std::fprintf(f, "f %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a, c, c, c, d, d, d);
        }
    }
    std::fclose(f);
}

double megabytes(const std::string& path) { return double(fs::file_size(path)) / (1024.0 * 1024.0); }

struct Throughput {
    double ours = 0, tiny = 0; // MB/s
    double ratio() const { return tiny > 0 ? ours / tiny : 0; }
};

// The two readers take turns, kRounds times each, so that both meet the
// same load of the machine; the best round of each counts.
Throughput compare(const std::string& label, const std::string& path) {
    const double mb = megabytes(path);
    Timing ours, tiny;
    for (int round = 0; round < kRounds; ++round) {
        ours = better(ours, timeOnce([&] { loadOurs(path); }));
        tiny = better(tiny, timeOnce([&] { loadTiny(path); }));
    }
    Throughput t{mb / ours.cpu, mb / tiny.cpu};
    std::printf("%-28s %6.1f MB  loadObj %6.1f MB/s  tinyobjloader %6.1f MB/s  ratio %.2f"
                "  (wall: %6.1f / %6.1f MB/s)\n",
                label.c_str(), mb, t.ours, t.tiny, t.ratio(), mb / ours.wall, mb / tiny.wall);
    std::fflush(stdout);
    return t;
}

size_t statusKiB(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(key);
    while (std::getline(in, line))
        if (line.compare(0, n, key) == 0)
            return std::stoul(line.substr(n + 1));
    return 0;
}

size_t arrayBytes(const ObjMesh& m) {
    return m.vertices.capacity() * sizeof(math3d::Vec3) + m.normals.capacity() * sizeof(math3d::Vec3) +
           m.colors.capacity() * sizeof(math3d::Vec3) + m.faceNormals.capacity() * sizeof(math3d::Vec3) +
           m.texCoords.capacity() * sizeof(TexCoord) + m.faces.capacity() * sizeof(Face) +
           m.vertexFlags.capacity() * sizeof(uint32_t);
}

struct Memory {
    double peakIncrement = 0; // bytes above the baseline while loading
    double meshArrays = 0;    // bytes of the mesh's own arrays
};

// Loads path in a fresh child process (so nothing of earlier loads or of
// the other reader is counted): the increase of peak resident memory over
// the child's baseline, and the bytes of the mesh's own arrays.
Memory measureInChild(const std::string& path, bool tiny) {
    int fds[2];
    Memory result;
    if (pipe(fds) != 0)
        return result;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        malloc_trim(0);
        std::ofstream("/proc/self/clear_refs") << "5"; // restart the peak at the current size
        const double baseline = double(statusKiB("VmRSS:")) * 1024;
        Memory m;
        if (tiny) {
            loadTiny(path);
        } else {
            ObjMesh mesh;
            mesh.loadObj(path, false, false);
            m.meshArrays = double(arrayBytes(mesh));
        }
        m.peakIncrement = double(statusKiB("VmHWM:")) * 1024 - baseline;
        if (write(fds[1], &m, sizeof m) != sizeof m)
            _exit(1);
        _exit(0);
    }
    close(fds[1]);
    if (read(fds[0], &result, sizeof result) != sizeof result)
        result = Memory{};
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return result;
}

// The base mesh and its 46 blendshapes as the 3D item import reads them.
void blendshapes(const fs::path& dir) {
    const int side = 100; // 10,000 vertices, 19,602 triangles per file
    std::vector<std::string> files;
    for (int i = 0; i <= 46; ++i) {
        const std::string name = i == 0 ? "head_bs0.obj" : "head_bs" + std::to_string(i) + ".obj";
        files.push_back((dir / name).string());
        writeGrid(files.back(), side, 0.01f * i, "head");
    }
    double totalMb = 0;
    for (const auto& f : files)
        totalMb += megabytes(f);
    size_t meshes = 0;
    const auto readAllOurs = [&] {
        for (const auto& f : files) {
            std::vector<ObjMesh*> out;
            ResourceManager::loadObjGroups(f, false, out);
            meshes = out.size();
            for (ObjMesh* m : out)
                delete m;
        }
    };
    const auto readAllTiny = [&] {
        for (const auto& f : files)
            loadTiny(f);
    };
    Timing oursTime, tinyTime;
    for (int round = 0; round < kRounds; ++round) {
        oursTime = better(oursTime, timeOnce(readAllOurs));
        tinyTime = better(tinyTime, timeOnce(readAllTiny));
    }
    const double ours = oursTime.cpu, tiny = tinyTime.cpu;
    std::printf("base + 46 blendshapes (%d vertices each, %.1f MB): loadObjGroups %.0f ms (%zu group per file), "
                "tinyobjloader %.0f ms, ratio %.2f (processor time)\n",
                side * side, totalMb, ours * 1000, meshes, tiny * 1000, tiny / ours);
}

// Small files as a designer opens them, one at a time: files per second of
// each reader (opening included), best of kRounds rounds.
struct SmallFiles {
    double loadObj = 0, loadObjGroups = 0, tiny = 0; // files per second
};

SmallFiles smallFiles(const fs::path& dir) {
    const std::string path = (dir / "small-box.obj").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << "# box\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
               "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\ng box\n"
               "f 1/1 2/2 3/3 4/4\nf 5/1 8/2 7/3 6/4\nf 1/1 5/2 6/3 2/4\n"
               "f 2/1 6/2 7/3 3/4\nf 3/1 7/2 8/3 4/4\nf 5/1 1/2 4/3 8/4\n";
    }
    constexpr int kFiles = 2000;
    const auto rate = [&](const std::function<void()>& load) {
        Timing best;
        for (int round = 0; round < kRounds; ++round)
            best = better(best, timeOnce([&] {
                              for (int i = 0; i < kFiles; ++i)
                                  load();
                          }));
        return kFiles / best.cpu;
    };
    SmallFiles r;
    r.loadObj = rate([&] { loadOurs(path); });
    r.loadObjGroups = rate([&] {
        std::vector<ObjMesh*> out;
        ResourceManager::loadObjGroups(path, false, out);
        for (ObjMesh* m : out)
            delete m;
    });
    r.tiny = rate([&] { loadTiny(path); });
    std::printf("small file (%ju bytes): loadObj %.0f files/s, loadObjGroups %.0f files/s, tinyobjloader %.0f "
                "files/s (processor time)\n",
                static_cast<uintmax_t>(fs::file_size(path)), r.loadObj, r.loadObjGroups, r.tiny);
    return r;
}

} // namespace

int main() {
    Trace::setEnabled(false);
    const fs::path dir = fs::temp_directory_path() / ("lumo-bench-objload-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string big = (dir / "grid-1M.obj").string();
    writeGrid(big, 1000, 0.2f, nullptr);

    // Memory first, in fresh children of a process that has loaded nothing.
    const Memory ours = measureInChild(big, false);
    const Memory tiny = measureInChild(big, true);
    const double memRatio = ours.meshArrays > 0 ? ours.peakIncrement / ours.meshArrays : 0;
    std::printf("big mesh: own arrays %.1f MB, loadObj peak increment %.1f MB (%.2f x), tinyobjloader peak "
                "increment %.1f MB\n",
                ours.meshArrays / 1048576, ours.peakIncrement / 1048576, memRatio, tiny.peakIncrement / 1048576);

    std::vector<Throughput> results;
    const std::string bunny = bench::fixturesDir().empty() ? "" : bench::fixturesDir() + "/meshes/stanford-bunny.obj";
    if (!bunny.empty() && fs::exists(bunny))
        results.push_back(compare("stanford-bunny.obj", bunny));
    else
        std::printf("stanford-bunny.obj: fixtures absent, skipped\n");
    results.push_back(compare("generated 1,000,000 vertices", big));

    blendshapes(dir);
    const SmallFiles small = smallFiles(dir);
    fs::remove_all(dir);

    double worst = 1e30;
    for (const Throughput& t : results)
        worst = std::min(worst, t.ratio());
    char text[64];
    std::snprintf(text, sizeof text, "%.2f x (lowest over the files)", worst);
    bench::goal("objload_throughput_ratio", text, ">= 2 x tinyobjloader", worst >= 2.0);
    std::snprintf(text, sizeof text, "%.2f x the mesh's own arrays", memRatio);
    bench::goal("objload_peak_memory", text, "<= 1.5 x", memRatio > 0 && memRatio <= 1.5);
    const double smallRatio = small.tiny > 0 ? std::min(small.loadObj, small.loadObjGroups) / small.tiny : 0;
    std::snprintf(text, sizeof text, "%.2f x (the slower of loadObj and loadObjGroups)", smallRatio);
    bench::goal("objload_small_file_rate", text, ">= 1 x tinyobjloader", smallRatio >= 1.0);
    return 0;
}

// Mesh bundle conversion speed and memory: ConvertBlendshape on a generated
// grid with 46 blendshapes, each moving a band of about 10 % of the
// vertices; meshoptimizer's vertex remap on the same corner streams as the
// reference for the vertex split; one memcpy of the shape array as the floor.

#include "BenchSupport.h"

#include "app/Trace.h"
#include "pack/CFinalFormat.h"
#include "pack/VertexSplit.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

using math3d::Vec3;

namespace {

// A W x H grid: one texture coordinate and one normal index per position,
// except the middle column, whose right-hand triangles use a second set of
// texture coordinates (a seam, so the split has work to do).
struct GridMesh {
    size_t n = 0;
    std::vector<Vec3> shapes; // 47 x n
    std::vector<float> st;
    std::vector<float> weight;
    std::vector<MeshCorner> corners;

    explicit GridMesh(size_t targetVertices) {
        const int w = static_cast<int>(std::sqrt(static_cast<double>(targetVertices)));
        const int h = static_cast<int>(targetVertices / static_cast<size_t>(w));
        n = static_cast<size_t>(w) * static_cast<size_t>(h);
        shapes.assign(n * meshbundle::kShapeCount, Vec3());
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const size_t v = static_cast<size_t>(y) * w + x;
                shapes[v] = Vec3(x * 0.01f, y * 0.01f, 0.05f * std::sin(x * 0.1f) * std::cos(y * 0.07f));
                st.insert(st.end(), {float(x) / w, float(y) / h});
                weight.insert(weight.end(), {float((x + y) % 256) / 255.0f, 0.0f});
            }
        const size_t seam = st.size() / 2;
        for (int y = 0; y < h; ++y)
            st.insert(st.end(), {0.5f, float(y) / h}); // seam copies of the middle column
        auto corner = [&](int x, int y, bool seamSide) {
            const int32_t v = y * w + x;
            const int32_t t = (seamSide && x == w / 2) ? static_cast<int32_t>(seam) + y : v;
            return MeshCorner{v, t, v};
        };
        for (int y = 0; y + 1 < h; ++y)
            for (int x = 0; x + 1 < w; ++x) {
                const bool right = x + 1 == w / 2 + 1 || x == w / 2;
                corners.insert(corners.end(), {corner(x, y, false), corner(x + 1, y, right), corner(x + 1, y + 1, right)});
                corners.insert(corners.end(), {corner(x, y, false), corner(x + 1, y + 1, right), corner(x, y + 1, false)});
            }
        // Blendshape b moves a band of rows of about a tenth of the grid.
        const int band = std::max(1, h / 10);
        for (int b = 1; b <= meshbundle::kBlendshapeCount; ++b) {
            const int first = ((b - 1) * (h - band)) / (meshbundle::kBlendshapeCount - 1);
            for (int y = first; y < first + band && y < h; ++y)
                for (int x = 0; x < w; ++x)
                    shapes[static_cast<size_t>(b) * n + static_cast<size_t>(y) * w + x] =
                        Vec3(0.002f * b, -0.001f * x / w, 0.01f * std::sin(float(b + x)));
        }
    }

    MeshPart part() const {
        MeshPart p;
        p.name = "grid";
        p.vertexCount = n;
        p.shapes = shapes.data();
        p.texCoords = st.data();
        p.texCoordCount = st.size() / 2;
        p.corners = corners.data();
        p.triangleCount = corners.size() / 3;
        p.altStreams.push_back({"weight", weight.data(), weight.size() / 2});
        return p;
    }
    size_t shapeBytes() const { return shapes.size() * sizeof(Vec3); }
};

// CPU time of this thread (user and system, page faults included): the
// machine is shared, so wall-clock time would measure the neighbours.
double threadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <typename F>
double bestOf(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const double start = threadSeconds();
        f();
        best = std::min(best, threadSeconds() - start);
    }
    return best;
}

double convertSeconds(const GridMesh& mesh, int runs) {
    return bestOf(runs, [&] {
        CFinalFormat f;
        f.ConvertBlendshape(mesh.part());
    });
}

// meshoptimizer on per-corner position, texture-coordinate and normal streams.
double meshoptSplitSeconds(const GridMesh& mesh, int runs) {
    const size_t corners = mesh.corners.size();
    std::vector<float> positions(corners * 3), st(corners * 2), normals(corners * 3);
    for (size_t i = 0; i < corners; ++i) {
        const MeshCorner& c = mesh.corners[i];
        const Vec3 p = mesh.shapes[c.v];
        positions[i * 3] = p.x, positions[i * 3 + 1] = p.y, positions[i * 3 + 2] = p.z;
        st[i * 2] = mesh.st[c.t * 2], st[i * 2 + 1] = mesh.st[c.t * 2 + 1];
        normals[i * 3] = float(c.n), normals[i * 3 + 1] = 0, normals[i * 3 + 2] = 1;
    }
    const meshopt_Stream streams[] = {{positions.data(), 12, 12}, {st.data(), 8, 8}, {normals.data(), 12, 12}};
    std::vector<unsigned int> remap(corners);
    std::vector<float> outP(corners * 3), outSt(corners * 2), outN(corners * 3);
    return bestOf(runs, [&] {
        const size_t unique = meshopt_generateVertexRemapMulti(remap.data(), nullptr, corners, corners, streams, 3);
        meshopt_remapVertexBuffer(outP.data(), positions.data(), corners, 12, remap.data());
        meshopt_remapVertexBuffer(outSt.data(), st.data(), corners, 8, remap.data());
        meshopt_remapVertexBuffer(outN.data(), normals.data(), corners, 12, remap.data());
        if (unique == 0)
            Trace::err("meshoptimizer found no vertices\n");
    });
}

double ourSplitSeconds(const GridMesh& mesh, int runs) {
    return bestOf(runs, [&] {
        VertexSplit split;
        split.build(mesh.corners.data(), mesh.corners.size() / 3);
    });
}

double memcpySeconds(const GridMesh& mesh, int runs) {
    std::vector<Vec3> copy(mesh.shapes.size()); // touched once so that page faults are not timed
    return bestOf(runs, [&] { std::memcpy(copy.data(), mesh.shapes.data(), mesh.shapeBytes()); });
}

std::string fixed(double v, int digits = 2) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", digits, v);
    return buf;
}

} // namespace

int main() {
    Trace::out("bench_meshbundle: ConvertBlendshape, 46 blendshapes each moving ~10%% of the vertices\n"
               "  (best thread CPU time of several runs)\n");
    // Growth, small end first (peak memory is a high-water mark).
    double perVertexSmall = 0;
    {
        const GridMesh small(10000);
        const double t = convertSeconds(small, 5);
        perVertexSmall = t / static_cast<double>(small.n);
        Trace::out("  %zu vertices: conversion %.4f s (%.1f ns per vertex)\n", small.n, t, perVertexSmall * 1e9);
    }

    const GridMesh mesh(100000);
    const double convert = convertSeconds(mesh, 3);
    const size_t peak = bench::peakMemoryBytes();
    const double ours = ourSplitSeconds(mesh, 5);
    const double reference = meshoptSplitSeconds(mesh, 5);
    const double floor = memcpySeconds(mesh, 5);
    const double memoryRatio = static_cast<double>(peak) / static_cast<double>(mesh.shapeBytes());
    Trace::out("  %zu vertices, %zu triangles, shape array %.1f MB\n", mesh.n, mesh.corners.size() / 3,
               mesh.shapeBytes() / 1e6);
    Trace::out("  conversion %.4f s, memcpy of the shape array %.4f s: ratio %.2f\n", convert, floor, convert / floor);
    Trace::out("  vertex split %.4f s, meshoptimizer remap + remapVertexBuffer %.4f s: ratio %.2f\n", ours, reference,
               ours / reference);
    Trace::out("  peak memory %.1f MB = %.2f x the shape array\n", peak / 1e6, memoryRatio);

    double perVertexLarge = 0;
    {
        const GridMesh large(1000000);
        const double t = convertSeconds(large, 1);
        perVertexLarge = t / static_cast<double>(large.n);
        Trace::out("  %zu vertices: conversion %.4f s (%.1f ns per vertex)\n", large.n, t, perVertexLarge * 1e9);
    }
    const double growth = perVertexLarge / perVertexSmall;
    Trace::out("  time per vertex, 1,000,000 vs 10,000 vertices: %.2f (1.00 = linear)\n", growth);

    bench::goal("vertex_split_vs_meshoptimizer", fixed(ours / reference), "<= 2", ours / reference <= 2.0);
    bench::goal("conversion_vs_memcpy_floor", fixed(convert / floor), "<= 25", convert / floor <= 25.0);
    bench::goal("peak_memory_vs_shape_array", fixed(memoryRatio), "< 3", memoryRatio < 3.0);
    bench::goal("growth_per_vertex_10k_to_1m", fixed(growth), "<= 2 (linear)", growth <= 2.0);
    return 0;
}

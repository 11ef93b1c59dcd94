#include "BMeshTestMeshes.h"

#include <cmath>

namespace bmesh_test {

std::vector<kvo::BMVert*> build(kvo::BMesh& bm, const Polys& p) {
    size_t loops = 0;
    for (const auto& f : p.faces)
        loops += f.size();
    bm.init(uint32_t(p.positions.size() / 3), uint32_t(loops / 2), uint32_t(loops), uint32_t(p.faces.size()));
    std::vector<kvo::BMVert*> verts;
    for (size_t i = 0; i + 2 < p.positions.size(); i += 3) {
        kvo::BMVert* v = bm.createVert(&p.positions[i]);
        v->head.index = int32_t(verts.size());
        verts.push_back(v);
    }
    for (size_t fi = 0; fi < p.faces.size(); ++fi) {
        std::vector<kvo::BMVert*> c;
        for (int i : p.faces[fi])
            c.push_back(verts[size_t(i)]);
        if (kvo::BMFace* f = bm.createFaceFromVerts(c.data(), int(c.size())))
            f->head.index = int32_t(fi);
    }
    return verts;
}

Polys grid(int nx, int ny) {
    Polys p;
    for (int j = 0; j <= ny; ++j)
        for (int i = 0; i <= nx; ++i)
            p.positions.insert(p.positions.end(), {float(i), float(j), 0.0f});
    auto id = [nx](int i, int j) { return j * (nx + 1) + i; };
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
            p.faces.push_back({id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j + 1)});
    return p;
}

Polys sphere(int rings, int segments) {
    Polys p;
    const double pi = 3.14159265358979323846;
    p.positions.insert(p.positions.end(), {0, 0, 1});
    for (int r = 1; r < rings; ++r) {
        const double th = pi * r / rings;
        for (int s = 0; s < segments; ++s) {
            const double ph = 2 * pi * s / segments;
            p.positions.insert(p.positions.end(), {float(std::sin(th) * std::cos(ph)), float(std::sin(th) * std::sin(ph)),
                                                   float(std::cos(th))});
        }
    }
    p.positions.insert(p.positions.end(), {0, 0, -1});
    const int south = 1 + (rings - 1) * segments;
    auto id = [segments](int r, int s) { return 1 + (r - 1) * segments + (s % segments); };
    for (int s = 0; s < segments; ++s)
        p.faces.push_back({0, id(1, s), id(1, s + 1)});
    for (int r = 1; r + 1 < rings; ++r)
        for (int s = 0; s < segments; ++s)
            p.faces.push_back({id(r, s), id(r + 1, s), id(r + 1, s + 1), id(r, s + 1)});
    for (int s = 0; s < segments; ++s)
        p.faces.push_back({id(rings - 1, s), south, id(rings - 1, s + 1)});
    return p;
}

Polys awkward() {
    Polys p = grid(4, 4);
    // Hole: drop the four middle quads (i, j in 1..2).
    std::vector<std::vector<int>> kept;
    for (size_t k = 0; k < p.faces.size(); ++k) {
        const int i = int(k % 4), j = int(k / 4);
        if (!(i >= 1 && i <= 2 && j >= 1 && j <= 2))
            kept.push_back(p.faces[k]);
    }
    p.faces = kept;
    const int base = int(p.positions.size() / 3);
    // Three triangles on the edge (0, 1) of the grid: non-manifold.
    p.positions.insert(p.positions.end(), {0.5f, -1, 0, 0.5f, 0, 1, 0.5f, 0, -1});
    p.faces.push_back({1, 0, base});
    p.faces.push_back({0, 1, base + 1});
    p.faces.push_back({1, 0, base + 2});
    // Zero-area triangle (three collinear points) and a quad with a collinear corner.
    p.positions.insert(p.positions.end(), {10, 0, 0, 11, 0, 0, 12, 0, 0, 12, 1, 0, 10, 1, 0});
    p.faces.push_back({base + 3, base + 4, base + 5});
    p.faces.push_back({base + 3, base + 4, base + 5, base + 6, base + 7});
    return p;
}

double polygonArea(const std::vector<const float*>& c) {
    double nx = 0, ny = 0, nz = 0;
    for (size_t i = 0; i < c.size(); ++i) {
        const float* p = c[i];
        const float* q = c[(i + 1) % c.size()];
        nx += (double(p[1]) - q[1]) * (double(p[2]) + q[2]);
        ny += (double(p[2]) - q[2]) * (double(p[0]) + q[0]);
        nz += (double(p[0]) - q[0]) * (double(p[1]) + q[1]);
    }
    return std::sqrt(nx * nx + ny * ny + nz * nz) / 2;
}

double faceArea(const kvo::BMFace* f) {
    std::vector<const float*> c;
    for (const kvo::BMLoop* l : kvo::faceLoops(f))
        c.push_back(l->v->co);
    return polygonArea(c);
}

} // namespace bmesh_test

#pragma once
// Small meshes for the half-edge mesh tests, built straight into a
// kvo::BMesh: grids, a closed sphere, and meshes with holes, non-manifold
// edges and degenerate faces.

#include "geometry/BMesh.h"

#include <vector>

namespace bmesh_test {

struct Polys {
    std::vector<float> positions;        // 3 per vertex
    std::vector<std::vector<int>> faces; // vertex indices per face
};

// Builds p into bm (cleared first); returns the vertices in index order.
// Faces the mesh refuses are left out.
std::vector<kvo::BMVert*> build(kvo::BMesh& bm, const Polys& p);

// nx x ny quads in the z = 0 plane, vertex (i, j) at (i, j, 0), index j * (nx + 1) + i.
Polys grid(int nx, int ny);
// A closed sphere: quads between rings, triangles at the two poles.
Polys sphere(int rings, int segments);
// A 4 x 4 grid with the middle 2 x 2 quads missing (a hole), three triangles
// sharing one edge (non-manifold), a zero-area triangle and a quad with three
// collinear corners.
Polys awkward();

// Area of the (planar) polygon through the positions, from Newell's normal.
double polygonArea(const std::vector<const float*>& corners);
double faceArea(const kvo::BMFace* f);

} // namespace bmesh_test

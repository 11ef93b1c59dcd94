#pragma once
// Exact nearest-vertex search over a fixed set of points: a 3-dimensional
// KD-tree with Euclidean distance and at most 10 points per leaf.

#include "geometry/Math3d.h"

#include <cstdint>
#include <memory>
#include <vector>

struct ReferenceVertex {
    int32_t index; // vertex index in the source mesh
    float x, y, z;
};

class ReferenceVertexIndex {
public:
    ReferenceVertexIndex();
    ~ReferenceVertexIndex();
    ReferenceVertexIndex(const ReferenceVertexIndex&) = delete;
    ReferenceVertexIndex& operator=(const ReferenceVertexIndex&) = delete;

    // Replaces the records and rebuilds the tree. Records with a non-finite
    // coordinate are kept in records() but never returned by nearest().
    void build(std::vector<ReferenceVertex> records);
    void clear();
    bool empty() const;
    const std::vector<ReferenceVertex>& records() const { return m_records; }

    // Position in records() of the record nearest to p (ties: any of them),
    // or -1 when there is no searchable record or p has a non-finite
    // coordinate.
    int nearest(math3d::Vec3 p) const;

private:
    struct Tree;
    std::vector<ReferenceVertex> m_records;
    std::vector<int> m_searchable; // positions in m_records with finite coordinates
    std::unique_ptr<Tree> m_tree;
};

#include "scene/ReferenceVertexIndex.h"

#include <nanoflann.hpp>

#include <cmath>

namespace {

constexpr size_t kMaxLeafSize = 10;

bool isFinite(float x, float y, float z) { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }

// nanoflann's view of the searchable records: point i is record
// m_searchable[i].
struct PointCloud {
    const std::vector<ReferenceVertex>* records = nullptr;
    const std::vector<int>* searchable = nullptr;

    size_t kdtree_get_point_count() const { return searchable->size(); }
    float kdtree_get_pt(size_t i, size_t dim) const {
        const ReferenceVertex& r = (*records)[static_cast<size_t>((*searchable)[i])];
        return dim == 0 ? r.x : (dim == 1 ? r.y : r.z);
    }
    template <class Box>
    bool kdtree_get_bbox(Box&) const {
        return false;
    }
};

// Squared distances are summed in double so that far-away points cannot
// overflow to infinity.
using Metric = nanoflann::L2_Simple_Adaptor<float, PointCloud, double>;
using KdTree = nanoflann::KDTreeSingleIndexAdaptor<Metric, PointCloud, 3, size_t>;

} // namespace

struct ReferenceVertexIndex::Tree {
    PointCloud cloud;
    KdTree index;
    Tree(const std::vector<ReferenceVertex>& records, const std::vector<int>& searchable)
        : cloud{&records, &searchable}, index(3, cloud, nanoflann::KDTreeSingleIndexAdaptorParams(kMaxLeafSize)) {}
};

ReferenceVertexIndex::ReferenceVertexIndex() = default;
ReferenceVertexIndex::~ReferenceVertexIndex() = default;

void ReferenceVertexIndex::build(std::vector<ReferenceVertex> records) {
    m_tree.reset();
    m_records = std::move(records);
    m_searchable.clear();
    for (size_t i = 0; i < m_records.size(); ++i)
        if (isFinite(m_records[i].x, m_records[i].y, m_records[i].z))
            m_searchable.push_back(static_cast<int>(i));
    if (!m_searchable.empty())
        m_tree.reset(new Tree(m_records, m_searchable));
}

void ReferenceVertexIndex::clear() {
    m_tree.reset();
    m_records.clear();
    m_searchable.clear();
}

bool ReferenceVertexIndex::empty() const { return !m_tree; }

int ReferenceVertexIndex::nearest(math3d::Vec3 p) const {
    if (!m_tree || !isFinite(p.x, p.y, p.z))
        return -1;
    const float query[3] = {p.x, p.y, p.z};
    size_t found = 0;
    double distSq = 0;
    if (m_tree->index.knnSearch(query, 1, &found, &distSq) != 1 || found >= m_searchable.size())
        return -1;
    return m_searchable[found];
}

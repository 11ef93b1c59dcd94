#include "pack/VertexSplit.h"

#include <algorithm>

namespace {

bool sameCorner(const MeshCorner& a, const MeshCorner& b) {
    return a.v == b.v && a.t == b.t && a.n == b.n;
}

constexpr uint32_t kNone = 0xFFFFFFFFu; // end of a chain

} // namespace

void VertexSplit::build(const MeshCorner* corners, size_t triangleCount, size_t positionCount) {
    const size_t cornerCount = triangleCount * 3;
    if (positionCount == 0)
        for (size_t i = 0; i < cornerCount; ++i)
            positionCount = std::max(positionCount, static_cast<size_t>(corners[i].v) + 1);
    m_vertices.clear();
    m_vertices.reserve(std::min(cornerCount, positionCount + positionCount / 4));
    m_indices.resize(cornerCount);
    // Per position the first vertex made from it; the position's further
    // vertices (other texture coordinates or normals) are chained through
    // next. Corners of one position meet few distinct triples, and positions
    // come in mesh order, so the lookups stay short and local.
    LargeVector<uint32_t> head(positionCount, kNone);
    LargeVector<uint32_t> next;
    next.reserve(m_vertices.capacity());
    for (size_t tri = 0; tri < triangleCount; ++tri) {
        for (int k = 2; k >= 0; --k) {
            const MeshCorner& c = corners[tri * 3 + k];
            uint32_t* link = &head[static_cast<size_t>(c.v)];
            while (*link != kNone && !sameCorner(m_vertices[*link], c))
                link = &next[*link];
            if (*link == kNone) {
                *link = static_cast<uint32_t>(m_vertices.size());
                m_vertices.push_back(c);
                next.push_back(kNone); // may move next: link is not used again
            }
            m_indices[tri * 3 + k] = *link;
        }
    }
}

void VertexSplit::sortByPositionKey(const LargeVector<uint64_t>& positionKeys) {
    const size_t count = m_vertices.size();
    // Stable LSD radix sort on the inverted keys (ascending = keys descending),
    // 8 bits a pass; passes in which every key has the same byte are skipped.
    LargeVector<uint64_t> keys(count), keysTmp(count);
    LargeVector<uint32_t> order(count), orderTmp(count);
    for (size_t i = 0; i < count; ++i) {
        keys[i] = ~positionKeys[static_cast<size_t>(m_vertices[i].v)];
        order[i] = static_cast<uint32_t>(i);
    }
    for (int shift = 0; shift < 64; shift += 8) {
        size_t start[257] = {};
        for (size_t i = 0; i < count; ++i)
            ++start[((keys[i] >> shift) & 0xFF) + 1];
        if (std::find(start + 1, start + 257, count) != start + 257)
            continue;
        for (int b = 0; b < 256; ++b)
            start[b + 1] += start[b];
        for (size_t i = 0; i < count; ++i) {
            const size_t at = start[(keys[i] >> shift) & 0xFF]++;
            keysTmp[at] = keys[i];
            orderTmp[at] = order[i];
        }
        keys.swap(keysTmp);
        order.swap(orderTmp);
    }
    LargeVector<uint32_t> newNumber(count);
    LargeVector<MeshCorner> sorted(count);
    for (size_t i = 0; i < count; ++i) {
        newNumber[order[i]] = static_cast<uint32_t>(i);
        sorted[i] = m_vertices[order[i]];
    }
    m_vertices.swap(sorted);
    for (uint32_t& index : m_indices)
        index = newNumber[index];
}

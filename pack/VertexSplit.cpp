#include "pack/VertexSplit.h"

#include <algorithm>
#include <numeric>
#include <utility>

namespace {

uint32_t hashCorner(const MeshCorner& c) {
    uint64_t k = static_cast<uint64_t>(static_cast<uint32_t>(c.v)) * 0x9E3779B97F4A7C15ull;
    k ^= static_cast<uint64_t>(static_cast<uint32_t>(c.t)) * 0xC2B2AE3D27D4EB4Full;
    k ^= static_cast<uint64_t>(static_cast<uint32_t>(c.n)) * 0x165667B19E3779F9ull;
    return static_cast<uint32_t>(k ^ (k >> 29) ^ (k >> 47));
}

bool sameCorner(const MeshCorner& a, const MeshCorner& b) {
    return a.v == b.v && a.t == b.t && a.n == b.n;
}

size_t tableSizeFor(size_t items) {
    size_t size = 16;
    while (size < items + items / 2)
        size *= 2;
    return size;
}

} // namespace

void VertexSplit::build(const MeshCorner* corners, size_t triangleCount) {
    const size_t cornerCount = triangleCount * 3;
    m_vertices.clear();
    m_indices.assign(cornerCount, 0);
    // Open addressing table of vertex numbers; kEmpty marks a free slot.
    constexpr uint32_t kEmpty = 0xFFFFFFFFu;
    const size_t tableSize = tableSizeFor(cornerCount);
    const size_t mask = tableSize - 1;
    std::vector<uint32_t> table(tableSize, kEmpty);
    for (size_t tri = 0; tri < triangleCount; ++tri) {
        for (int k = 2; k >= 0; --k) {
            const MeshCorner& c = corners[tri * 3 + k];
            size_t slot = hashCorner(c) & mask;
            while (table[slot] != kEmpty && !sameCorner(m_vertices[table[slot]], c))
                slot = (slot + 1) & mask;
            if (table[slot] == kEmpty) {
                table[slot] = static_cast<uint32_t>(m_vertices.size());
                m_vertices.push_back(c);
            }
            m_indices[tri * 3 + k] = table[slot];
        }
    }
}

void VertexSplit::sortByPositionKey(const std::vector<uint64_t>& positionKeys) {
    const size_t count = m_vertices.size();
    std::vector<std::pair<uint64_t, uint32_t>> order(count);
    for (size_t i = 0; i < count; ++i)
        order[i] = {positionKeys[static_cast<size_t>(m_vertices[i].v)], static_cast<uint32_t>(i)};
    // Keys descending, old numbers ascending among equal keys: one total order.
    std::sort(order.begin(), order.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::vector<uint32_t> newNumber(count);
    std::vector<MeshCorner> sorted(count);
    for (size_t i = 0; i < count; ++i) {
        newNumber[order[i].second] = static_cast<uint32_t>(i);
        sorted[i] = m_vertices[order[i].second];
    }
    m_vertices.swap(sorted);
    for (uint32_t& index : m_indices)
        index = newNumber[index];
}

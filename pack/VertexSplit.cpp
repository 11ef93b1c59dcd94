#include "pack/VertexSplit.h"

#include <algorithm>

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

constexpr uint32_t kEmpty = 0xFFFFFFFFu; // a free slot of the lookup table

size_t tableSizeFor(size_t items) {
    size_t size = 16;
    while (size < items * 2)
        size *= 2;
    return size;
}

} // namespace

void VertexSplit::rehash(LargeVector<uint32_t>& table, size_t size) const {
    table.assign(size, kEmpty);
    const size_t mask = size - 1;
    for (size_t i = 0; i < m_vertices.size(); ++i) {
        size_t slot = hashCorner(m_vertices[i]) & mask;
        while (table[slot] != kEmpty)
            slot = (slot + 1) & mask;
        table[slot] = static_cast<uint32_t>(i);
    }
}

void VertexSplit::build(const MeshCorner* corners, size_t triangleCount, size_t expectedVertices) {
    const size_t cornerCount = triangleCount * 3;
    m_vertices.clear();
    m_vertices.reserve(std::min(cornerCount, expectedVertices + expectedVertices / 4));
    m_indices.assign(cornerCount, 0);
    // Open addressing over vertex numbers, kept at most half full.
    LargeVector<uint32_t> table;
    rehash(table, tableSizeFor(std::min(cornerCount, std::max<size_t>(expectedVertices, 8))));
    size_t mask = table.size() - 1;
    for (size_t tri = 0; tri < triangleCount; ++tri) {
        for (int k = 2; k >= 0; --k) {
            const MeshCorner& c = corners[tri * 3 + k];
            size_t slot = hashCorner(c) & mask;
            while (table[slot] != kEmpty && !sameCorner(m_vertices[table[slot]], c))
                slot = (slot + 1) & mask;
            uint32_t number = table[slot];
            if (number == kEmpty) {
                number = static_cast<uint32_t>(m_vertices.size());
                table[slot] = number;
                m_vertices.push_back(c);
                if (m_vertices.size() * 2 > table.size()) {
                    rehash(table, table.size() * 2);
                    mask = table.size() - 1;
                }
            }
            m_indices[tri * 3 + k] = number;
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

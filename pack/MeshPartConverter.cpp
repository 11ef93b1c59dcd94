#include "pack/MeshPartConverter.h"

#include "base/Log.h"
#include "base/Trace.h"
#include "scene/SplitPath.h"
#include "pack/DeltaRanges.h"
#include "base/LargeAllocator.h"
#include "pack/NormalBuilder.h"
#include "pack/TangentBuilder.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

void appendFloat(std::vector<uint32_t>& words, float f) {
    uint32_t w;
    std::memcpy(&w, &f, sizeof w);
    words.push_back(w);
}

void appendVec3(std::vector<uint32_t>& words, math3d::Vec3 v) {
    appendFloat(words, v.x);
    appendFloat(words, v.y);
    appendFloat(words, v.z);
}

// Makes room for `extra` more elements without repeated reallocation; the
// fresh part of a new block may use huge pages.
template <typename T>
void makeRoom(std::vector<T>& v, size_t extra) {
    if (v.size() + extra > v.capacity()) {
        v.reserve(std::max(v.size() + extra, v.capacity() * 2));
        largealloc::adviseHugePages(v.data() + v.size(), (v.capacity() - v.size()) * sizeof(T));
    }
}

int16_t saturatedDelta(int16_t shape, int16_t base) {
    const int d = static_cast<int>(shape) - static_cast<int>(base);
    return static_cast<int16_t>(std::clamp(d, -32768, 32767));
}


} // namespace

MeshPartConverter::MeshPartConverter(const MeshPart& part, CFinalFormat& format)
    : m_part(part), m_format(format), m_n(part.vertexCount) {}

MeshPartConverter::~MeshPartConverter() = default;

bool MeshPartConverter::cornerValid(const MeshCorner& c) const {
    return c.v >= 0 && static_cast<size_t>(c.v) < m_n && c.t >= -1 &&
           (c.t == -1 || static_cast<size_t>(c.t) < m_part.texCoordCount);
}

bool MeshPartConverter::collectTriangles() {
    const size_t cornerCount = m_part.triangleCount * 3;
    size_t firstBad = 0;
    while (firstBad < cornerCount && cornerValid(m_part.corners[firstBad]))
        ++firstBad;
    if (firstBad == cornerCount) {
        m_tri = m_part.corners;
        m_triCount = m_part.triangleCount;
        return m_triCount > 0;
    }
    // Some corner needs mending: work on a filtered copy.
    m_filtered.reserve(cornerCount);
    size_t dropped = 0;
    for (size_t tri = 0; tri < m_part.triangleCount; ++tri) {
        const MeshCorner* c = m_part.corners + tri * 3;
        bool valid = true;
        for (int k = 0; k < 3; ++k)
            valid = valid && c[k].v >= 0 && static_cast<size_t>(c[k].v) < m_n;
        if (!valid) {
            ++dropped;
            continue;
        }
        for (int k = 0; k < 3; ++k) {
            MeshCorner corner = c[k];
            if (corner.t < 0 || static_cast<size_t>(corner.t) >= m_part.texCoordCount)
                corner.t = -1;
            m_filtered.push_back(corner);
        }
    }
    if (dropped)
        Trace::err("ConvertBlendshape: %zu triangles of %s name no existing vertex; dropped\n", dropped,
                   m_part.name.c_str());
    m_tri = m_filtered.data();
    m_triCount = m_filtered.size() / 3;
    return m_triCount > 0;
}

void MeshPartConverter::computeCenter(float center[3]) const {
    const math3d::Vec3* p = m_part.shapes;
    double sum[3] = {0, 0, 0};
    double weight = 0;
    for (size_t i = 0; i < m_triCount * 3; i += 3) {
        const math3d::Vec3 p0 = p[m_tri[i].v], p1 = p[m_tri[i + 1].v], p2 = p[m_tri[i + 2].v];
        const double area = math3d::length(math3d::cross(p1 - p0, p2 - p0));
        const math3d::Vec3 s = p0 + p1 + p2;
        for (int k = 0; k < 3; ++k)
            sum[k] += area * s[k];
        weight += 3 * area;
    }
    if (!(weight > 0) || !std::isfinite(weight)) {
        // No area: the plain average of the positions.
        for (int k = 0; k < 3; ++k)
            sum[k] = 0;
        for (size_t v = 0; v < m_n; ++v)
            for (int k = 0; k < 3; ++k)
                sum[k] += p[v][k];
        weight = static_cast<double>(m_n);
    }
    for (int k = 0; k < 3; ++k)
        center[k] = static_cast<float>(sum[k] / weight);
}

Quantizer MeshPartConverter::makeQuantizer() const {
    float ranges[3];
    for (int k = 0; k < 3; ++k) {
        // A delta must fit in an int16: the range is at least the largest offset.
        ranges[k] = std::max(m_stats.positionRange(k), m_stats.largestOffset(k));
    }
    Quantizer q(ranges);
    for (int k = 0; k < 6; ++k)
        LOG_INFO("scalse[%d]=%f\n", k, q.scale(k));
    return q;
}

void MeshPartConverter::shuffleBase(const Quantizer& q) {
    LargeVector<math3d::Vec3> baseNormals;
    m_normals->allNormals(m_part.shapes, baseNormals);
    const LargeVector<MeshCorner>& verts = m_split.vertices();
    m_baseQ.resize(verts.size() * 6);
    for (size_t i = 0; i < verts.size(); ++i)
        q.quantizeEntry(m_part.shapes[verts[i].v], baseNormals[verts[i].v], &m_baseQ[i * 6]);
}

float MeshPartConverter::readTexCoord(const float* st, size_t count, int32_t t, int component) const {
    if (!st || t < 0 || static_cast<size_t>(t) >= count)
        return 0.0f;
    return st[2 * static_cast<size_t>(t) + component];
}

void MeshPartConverter::writeAltStreams(DrawCall& dc) {
    std::vector<uint32_t>& vs = m_format.vbo_static;
    const LargeVector<MeshCorner>& verts = m_split.vertices();
    for (const AltStreamSource& src : m_part.altStreams) {
        bool twoChannels = false;
        for (const MeshCorner& c : verts)
            twoChannels = twoChannels || std::fabs(readTexCoord(src.st, src.count, c.t, 1)) > 1e-6f;
        if (vs.size() % 2)
            vs.push_back(0);
        dc.alt_streams.push_back({src.name, static_cast<int32_t>(vs.size() * 4), twoChannels ? 2 : 1});
        for (const MeshCorner& c : verts) {
            appendFloat(vs, readTexCoord(src.st, src.count, c.t, 0));
            if (twoChannels)
                appendFloat(vs, readTexCoord(src.st, src.count, c.t, 1));
        }
    }
}

void MeshPartConverter::writeTangents(DrawCall& dc) {
    LOG_INFO("dPds, dPdt - FLAG_NEED_NORMAL_MAP, expose them as alt_streams\n");
    TangentBuilder tangents;
    tangents.accumulate(m_part.shapes, m_n, m_tri, m_triCount, m_part.texCoords,
                        m_part.texCoordCount);
    std::vector<uint32_t>& vs = m_format.vbo_static;
    const LargeVector<MeshCorner>& verts = m_split.vertices();
    LOG_INFO("ofs_st_alt:%d\n", static_cast<int>(vs.size() * 4));
    dc.alt_streams.push_back({"dPds", static_cast<int32_t>(vs.size() * 4), 3});
    for (const MeshCorner& c : verts)
        appendVec3(vs, tangents.dPds(static_cast<size_t>(c.v)));
    LOG_INFO("ofs_st_alt:%d\n", static_cast<int>(vs.size() * 4));
    dc.alt_streams.push_back({"dPdt", static_cast<int32_t>(vs.size() * 4), 3});
    for (const MeshCorner& c : verts)
        appendVec3(vs, tangents.dPdt(static_cast<size_t>(c.v)));
}

void MeshPartConverter::writeDynamic(DrawCall& dc, const Quantizer& q) {
    LOG_INFO("sizeof(__int16):%d\n", 2);
    std::vector<int16_t>& dyn = m_format.vbo_dyn;
    dyn.resize((dyn.size() + 7) & ~size_t(7), 0);
    dc.ofs_PN = static_cast<int32_t>(dyn.size() * 2);
    dyn.insert(dyn.end(), m_baseQ.begin(), m_baseQ.end());
    dc.flags |= DrawCall::kDynamicBit |
                (static_cast<uint32_t>(m_format.bs_padd_ranges.size()) & DrawCall::kPaddRangesMask);
    // Moved vertices come first, so the walk can stop at the first unmoved one.
    const LargeVector<MeshCorner>& verts = m_split.vertices();
    size_t dynamicCount = 0;
    while (dynamicCount < verts.size() && m_stats.masks()[verts[dynamicCount].v] != 0)
        ++dynamicCount;
    LargeVector<uint64_t> vertexMasks(dynamicCount);
    for (size_t i = 0; i < dynamicCount; ++i)
        vertexMasks[i] = m_stats.masks()[verts[i].v];
    std::vector<std::vector<DeltaRanges::Range>> ranges;
    DeltaRanges::collectAll(vertexMasks.data(), vertexMasks.size(), meshbundle::kBlendshapeCount, ranges);
    for (int b = 1; b <= meshbundle::kBlendshapeCount; ++b) {
        m_format.bs_padd_ranges.push_back(static_cast<uint32_t>(m_format.bs_add_ranges.size()));
        writeBlendshapeRanges(b, ranges[static_cast<size_t>(b - 1)], q, static_cast<uint32_t>(dc.ofs_PN));
    }
    m_format.bs_padd_ranges.push_back(static_cast<uint32_t>(m_format.bs_add_ranges.size()));
}

void MeshPartConverter::writeBlendshapeRanges(int b, const std::vector<DeltaRanges::Range>& ranges,
                                              const Quantizer& q, uint32_t ofsPN) {
    const LargeVector<MeshCorner>& verts = m_split.vertices();
    m_normals->beginShape();
    const math3d::Vec3* base = m_part.shapes;
    const math3d::Vec3* offsets = m_part.shapes + static_cast<size_t>(b) * m_n;
    std::vector<int16_t>& deltas = m_format.bs_deltas;
    size_t total = 0;
    for (const DeltaRanges::Range& r : ranges)
        total += r.end - r.begin;
    size_t at = deltas.size();
    deltas.resize(at + total);
    for (const DeltaRanges::Range& r : ranges) {
        m_format.bs_add_ranges.push_back(ofsPN + 2 * r.begin);
        m_format.bs_add_ranges.push_back(static_cast<uint32_t>(at * 2));
        m_format.bs_add_ranges.push_back(r.end - r.begin);
        int16_t* out = deltas.data() + at;
        at += r.end - r.begin;
        for (uint32_t first = r.begin; first < r.end; first = (first / 6 + 1) * 6) {
            const size_t vertex = first / 6;
            const uint32_t stop = std::min<uint32_t>(r.end, static_cast<uint32_t>(vertex * 6 + 6));
            if (vertex >= verts.size()) { // padding past the last vertex
                out = std::fill_n(out, stop - first, int16_t(0));
                continue;
            }
            const uint32_t v = static_cast<uint32_t>(verts[vertex].v);
            int16_t shapeQ[6];
            q.quantizeEntry(base[v] + offsets[v], m_normals->normal(v, base, offsets), shapeQ);
            const uint32_t entry = static_cast<uint32_t>(vertex * 6);
            for (uint32_t k = first; k < stop; ++k)
                *out++ = saturatedDelta(shapeQ[k - entry], m_baseQ[k]);
        }
    }
}

void MeshPartConverter::writeStatic(DrawCall& dc) {
    std::vector<uint32_t>& vs = m_format.vbo_static;
    dc.ofs_PN = static_cast<int32_t>(vs.size() * 4);
    for (size_t i = 0; i < m_baseQ.size(); i += 2) {
        const uint32_t lo = static_cast<uint16_t>(m_baseQ[i]);
        const uint32_t hi = i + 1 < m_baseQ.size() ? static_cast<uint16_t>(m_baseQ[i + 1]) : 0u;
        vs.push_back(lo | (hi << 16));
    }
}

void MeshPartConverter::writeTexCoords(DrawCall& dc) {
    std::vector<uint32_t>& vs = m_format.vbo_static;
    if (vs.size() % 2)
        vs.push_back(0);
    dc.ofs_st = static_cast<int32_t>(vs.size() * 4);
    for (const MeshCorner& c : m_split.vertices()) {
        appendFloat(vs, readTexCoord(m_part.texCoords, m_part.texCoordCount, c.t, 0));
        appendFloat(vs, 1.0f - readTexCoord(m_part.texCoords, m_part.texCoordCount, c.t, 1));
    }
}

void MeshPartConverter::writeIndices(DrawCall& dc) {
    std::vector<uint16_t>& ebo = m_format.ebo;
    if (ebo.size() % 2)
        ebo.push_back(0);
    dc.ofs_ebo = static_cast<int32_t>(ebo.size() * 2);
    const LargeVector<uint32_t>& indices = m_split.indices();
    if (m_split.vertices().size() > 65536) {
        dc.flags |= DrawCall::kEbo32Bit;
        for (const uint32_t i : indices) {
            ebo.push_back(static_cast<uint16_t>(i & 0xFFFF));
            ebo.push_back(static_cast<uint16_t>(i >> 16));
        }
    } else {
        ebo.insert(ebo.end(), indices.begin(), indices.end());
    }
    dc.count = static_cast<int32_t>(indices.size() / 3);
}

void MeshPartConverter::finishDrawCall(DrawCall& dc, const Quantizer& q) {
    for (int k = 0; k < 3; ++k)
        dc.scales[k] = q.range(k);
    dc.mat = m_part.material;
    const std::string stem = splitPath(dc.mat.textureFile).base;
    if (!stem.empty())
        dc.mat.textureFile = stem + ".webp";
    dc.name = m_part.name;
}

void MeshPartConverter::reserveOutput(bool dynamic) {
    const size_t nv = m_split.vertices().size();
    // Padding, texture coordinates, tangents, alt streams.
    size_t words = 8 + 2 * nv + 6 * nv + m_part.altStreams.size() * (1 + 2 * nv);
    if (!dynamic)
        words += 3 * nv;
    makeRoom(m_format.vbo_static, words);
    makeRoom(m_format.ebo, 2 + m_split.indices().size() * (nv > 65536 ? 2 : 1));
    if (dynamic) {
        makeRoom(m_format.vbo_dyn, 8 + 6 * nv);
        makeRoom(m_format.bs_deltas, 8 * m_stats.movedPairs());
        makeRoom(m_format.bs_padd_ranges, meshbundle::kShapeCount);
    }
}

bool MeshPartConverter::run(bool withTangents) {
    if (!collectTriangles())
        return false;
    m_stats.compute(m_part.shapes, m_n);
    const bool dynamic = m_stats.movedPairs() != 0;

    m_split.build(m_tri, m_triCount, m_n);
    LOG_INFO(" curObj.face_list.size :%d\n", static_cast<int>(m_triCount));
    LOG_INFO("vid_tran size:%d\n", static_cast<int>(m_triCount * 3));
    LOG_INFO("vs_new size:%d\n", static_cast<int>(m_split.vertices().size()));

    LOG_INFO("rearrange the vertices\n");
    if (dynamic)
        m_split.sortByPositionKey(m_stats.masks());

    reserveOutput(dynamic);
    DrawCall dc;
    LOG_INFO("compute the mesh center\n");
    computeCenter(dc.P_center);

    LOG_INFO("create the blendshape Ns and Ps\n");
    m_normals = std::make_unique<NormalBuilder>(m_tri, m_triCount, m_n);

    LOG_INFO("convert to short\n");
    const Quantizer q = makeQuantizer();

    LOG_INFO("shuffle P/N and st\n");
    shuffleBase(q);

    LOG_INFO("do the alt_streams\n");
    writeAltStreams(dc);
    if (withTangents)
        writeTangents(dc);

    if (dynamic)
        writeDynamic(dc, q);
    else
        writeStatic(dc);
    if (m_part.eyeMarker != 0)
        dc.flags |= DrawCall::kEyeBit;
    writeTexCoords(dc);
    writeIndices(dc);
    finishDrawCall(dc, q);
    m_format.drawcalls.push_back(std::move(dc));
    return true;
}

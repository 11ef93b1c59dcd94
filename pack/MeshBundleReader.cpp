#include "pack/MeshBundleReader.h"

#include "base/Trace.h"
#include "base/WholeFile.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr int kBlendshapes = 46;
constexpr uint64_t kElementSize[MeshBundleDescriptor::BufferCount] = {2, 2, 4, 4, 4, 2};

// The bytes of one buffer of avatar.bin, after the tiling check.
struct Span {
    const uint8_t* data = nullptr;
    uint64_t bytes = 0;

    // True when [ofs, ofs + length) lies inside the span, without overflow.
    bool holds(uint64_t ofs, uint64_t length) const { return ofs <= bytes && length <= bytes - ofs; }
    template <typename T>
    T at(uint64_t ofs) const {
        T v;
        std::memcpy(&v, data + ofs, sizeof v);
        return v;
    }
};

// What the decoded meshes may still take, in bytes.
struct Budget {
    uint64_t left = 0;
    bool take(uint64_t bytes) {
        if (bytes > left)
            return false;
        left -= bytes;
        return true;
    }
};

class DrawCallDecoder {
public:
    DrawCallDecoder(const Span* spans, const MeshBundleDrawCallInfo& info, Budget& budget, std::string& error)
        : m_spans(spans), m_info(info), m_budget(budget), m_error(error) {}

    bool decode(MeshBundleMesh& mesh) {
        if (!charge(sizeof(MeshBundleMesh) + m_info.name.size() + m_info.mat.tex.size() +
                    m_info.alt_streams.size() * (sizeof(MeshBundleAltStream) + sizeof(std::vector<float>))))
            return false;
        mesh.info = m_info;
        return readTriangles(mesh) && readPN(mesh) && readTexCoords(mesh) && readAltStreams(mesh) &&
               readBlendshapes(mesh);
    }

private:
    bool fail(const std::string& what) {
        m_error = "drawcall \"" + m_info.name + "\": " + what;
        return false;
    }
    const Span& span(int b) const { return m_spans[b]; }
    // Books `bytes` of decoded data; false (refused) past the budget.
    bool charge(uint64_t bytes) {
        if (m_budget.take(bytes))
            return true;
        return fail("the decoded meshes would take more than " +
                    std::to_string(MeshBundleReader::kDecodedBytesPerInputByte) +
                    " times the bundle's size; drawcalls or ranges share their data");
    }

    bool readTriangles(MeshBundleMesh& mesh) {
        const Span& ebo = span(MeshBundleDescriptor::Ebo);
        const uint64_t indexSize = m_info.is_ebo_32bit ? 4 : 2;
        if (m_info.ofs_ebo % 2 != 0)
            return fail("ofs_ebo is not a multiple of 2");
        if (m_info.count > ebo.bytes / (3 * indexSize) || !ebo.holds(m_info.ofs_ebo, m_info.count * 3 * indexSize))
            return fail("the indices of " + std::to_string(m_info.count) + " triangles run past the end of ebo");
        if (!charge(m_info.count * 3 * sizeof(uint32_t)))
            return false;
        mesh.triangles.resize(m_info.count * 3);
        uint32_t highest = 0;
        for (size_t i = 0; i < mesh.triangles.size(); ++i) {
            const uint64_t at = m_info.ofs_ebo + i * indexSize;
            const uint32_t index = m_info.is_ebo_32bit ? ebo.at<uint32_t>(at) : ebo.at<uint16_t>(at);
            mesh.triangles[i] = index;
            highest = std::max(highest, index);
        }
        mesh.vertexCount = mesh.triangles.empty() ? 0 : static_cast<size_t>(highest) + 1;
        return true;
    }

    bool readPN(MeshBundleMesh& mesh) {
        const Span& buf = span(m_info.is_dynamic ? MeshBundleDescriptor::VboDyn : MeshBundleDescriptor::VboStatic);
        if (m_info.ofs_PN % 2 != 0)
            return fail("ofs_PN is not a multiple of 2");
        if (!buf.holds(m_info.ofs_PN, uint64_t(mesh.vertexCount) * 12))
            return fail("the P/N entries of " + std::to_string(mesh.vertexCount) + " vertices run past their buffer");
        if (!charge(uint64_t(mesh.vertexCount) * 12))
            return false;
        mesh.pn.resize(mesh.vertexCount * 6);
        if (!mesh.pn.empty())
            std::memcpy(mesh.pn.data(), buf.data + m_info.ofs_PN, mesh.pn.size() * 2);
        return true;
    }

    bool readFloats(uint64_t ofs, uint64_t perVertex, size_t vertexCount, std::vector<float>& out, const char* what) {
        const Span& vs = span(MeshBundleDescriptor::VboStatic);
        if (ofs % 4 != 0)
            return fail(std::string(what) + " offset is not a multiple of 4");
        if (!vs.holds(ofs, uint64_t(vertexCount) * perVertex * 4))
            return fail(std::string(what) + " runs past the end of vbo_static");
        if (!charge(uint64_t(vertexCount) * perVertex * 4))
            return false;
        out.resize(vertexCount * perVertex);
        if (!out.empty())
            std::memcpy(out.data(), vs.data + ofs, out.size() * 4);
        return true;
    }

    bool readTexCoords(MeshBundleMesh& mesh) {
        return readFloats(m_info.ofs_st, 2, mesh.vertexCount, mesh.texCoords, "ofs_st");
    }

    bool readAltStreams(MeshBundleMesh& mesh) {
        mesh.altStreams.resize(m_info.alt_streams.size());
        for (size_t i = 0; i < m_info.alt_streams.size(); ++i) {
            const MeshBundleAltStream& a = m_info.alt_streams[i];
            if (a.channels < 1 || a.channels > 4)
                return fail("alt stream \"" + a.name + "\" has " + std::to_string(a.channels) + " channels");
            const std::string what = "alt stream \"" + a.name + "\"";
            if (!readFloats(a.ofs, a.channels, mesh.vertexCount, mesh.altStreams[i], what.c_str()))
                return false;
        }
        return true;
    }

    bool readBlendshapes(MeshBundleMesh& mesh) {
        if (!m_info.is_dynamic)
            return true;
        const Span& padd = span(MeshBundleDescriptor::BsPaddRanges);
        const uint64_t paddCount = padd.bytes / 4;
        const uint64_t p = m_info.p_bs_padd_ranges;
        if (p > paddCount || paddCount - p < kBlendshapes + 1)
            return fail("p_bs_padd_ranges " + std::to_string(p) + " leaves fewer than 47 entries in bs_padd_ranges");
        if (!charge(kBlendshapes * sizeof(std::vector<MeshBundleDeltaRange>)))
            return false;
        mesh.blendshapes.resize(kBlendshapes);
        for (int b = 1; b <= kBlendshapes; ++b) {
            const uint32_t first = padd.at<uint32_t>((p + b - 1) * 4);
            const uint32_t last = padd.at<uint32_t>((p + b) * 4);
            if (!readRanges(b, first, last, mesh))
                return false;
        }
        return true;
    }

    bool readRanges(int b, uint32_t first, uint32_t last, MeshBundleMesh& mesh) {
        const Span& records = span(MeshBundleDescriptor::BsAddRanges);
        const Span& deltas = span(MeshBundleDescriptor::BsDeltas);
        const Span& dyn = span(MeshBundleDescriptor::VboDyn);
        const std::string where = "blendshape " + std::to_string(b) + ": ";
        if (first > last || uint64_t(last) * 4 > records.bytes || first % 3 != 0 || last % 3 != 0)
            return fail(where + "its range records [" + std::to_string(first) + ", " + std::to_string(last) +
                        ") do not fit bs_add_ranges");
        // The P/N entries with the padding to the next multiple of 8 int16.
        const uint64_t paddedEntries = (uint64_t(mesh.vertexCount) * 6 + 7) / 8 * 8;
        for (uint32_t r = first; r < last; r += 3) {
            const uint32_t vboOfs = records.at<uint32_t>(uint64_t(r) * 4);
            const uint32_t deltaOfs = records.at<uint32_t>(uint64_t(r + 1) * 4);
            const uint32_t length = records.at<uint32_t>(uint64_t(r + 2) * 4);
            if (vboOfs % 2 || deltaOfs % 2 || vboOfs < m_info.ofs_PN || !dyn.holds(vboOfs, uint64_t(length) * 2) ||
                !deltas.holds(deltaOfs, uint64_t(length) * 2))
                return fail(where + "a range lies outside vbo_dyn or bs_deltas");
            MeshBundleDeltaRange range;
            const uint64_t start = (vboOfs - m_info.ofs_PN) / 2;
            if (start + length > paddedEntries)
                return fail(where + "a range runs past the drawcall's vertices");
            if (!charge(sizeof(MeshBundleDeltaRange) + uint64_t(length) * 2))
                return false;
            range.start = static_cast<uint32_t>(start);
            range.values.resize(length);
            if (length)
                std::memcpy(range.values.data(), deltas.data + deltaOfs, uint64_t(length) * 2);
            mesh.blendshapes[static_cast<size_t>(b - 1)].push_back(std::move(range));
        }
        return true;
    }

    const Span* m_spans;
    const MeshBundleDrawCallInfo& m_info;
    Budget& m_budget;
    std::string& m_error;
};

bool tileBuffers(const MeshBundleDescriptor& d, const uint8_t* bin, size_t binSize, Span* spans, std::string& error) {
    uint64_t offset = 0;
    for (int b = 0; b < MeshBundleDescriptor::BufferCount; ++b) {
        const MeshBundleBufferSpan& s = d.buffers[b];
        const std::string key = MeshBundleDescriptor::bufferKey(b);
        if (s.offset != offset) {
            error = key + " starts at " + std::to_string(s.offset) + ", not where the previous buffer ends (" +
                    std::to_string(offset) + ")";
            return false;
        }
        if (s.bytes % kElementSize[b] != 0) {
            error = key + " holds " + std::to_string(s.bytes) + " bytes, not whole elements";
            return false;
        }
        if (s.bytes > binSize - offset) {
            error = key + " runs past the end of avatar.bin (" + std::to_string(binSize) + " bytes)";
            return false;
        }
        spans[b] = {bin + offset, s.bytes};
        offset += s.bytes;
    }
    if (offset != binSize) {
        error = "the buffers cover " + std::to_string(offset) + " bytes of avatar.bin's " + std::to_string(binSize);
        return false;
    }
    return true;
}

} // namespace

void MeshBundleMesh::position(size_t i, float out[3]) const {
    for (int k = 0; k < 3; ++k)
        out[k] = pn[i * 6 + k] * info.scales[k] / 32767.0f;
}

void MeshBundleMesh::normal(size_t i, float out[3]) const {
    for (int k = 0; k < 3; ++k)
        out[k] = pn[i * 6 + 3 + k] * 2.0f / 32767.0f;
}

std::vector<int16_t> MeshBundleMesh::shapePN(int b) const {
    std::vector<int16_t> result = pn;
    if (b < 1 || static_cast<size_t>(b) > blendshapes.size())
        return result;
    for (const MeshBundleDeltaRange& r : blendshapes[static_cast<size_t>(b - 1)]) {
        for (size_t i = 0; i < r.values.size() && r.start + i < result.size(); ++i) {
            const int v = result[r.start + i] + r.values[i];
            result[r.start + i] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
        }
    }
    return result;
}

namespace {

bool decodeAll(const uint8_t* bin, size_t binSize, const char* json, size_t jsonSize,
               std::vector<MeshBundleMesh>& meshes, std::string& error) {
    MeshBundleDescriptor descriptor;
    if (!descriptor.parse(json, jsonSize, error))
        return false;
    Span spans[MeshBundleDescriptor::BufferCount];
    if (!tileBuffers(descriptor, bin, binSize, spans, error))
        return false;
    Budget budget{(uint64_t(binSize) + jsonSize) * MeshBundleReader::kDecodedBytesPerInputByte +
                  MeshBundleReader::kDecodedBytesSlack};
    for (const MeshBundleDrawCallInfo& info : descriptor.drawcalls) {
        MeshBundleMesh mesh;
        if (!DrawCallDecoder(spans, info, budget, error).decode(mesh))
            return false;
        meshes.push_back(std::move(mesh));
    }
    return true;
}

} // namespace

bool MeshBundleReader::fromBytes(const uint8_t* bin, size_t binSize, const char* json, size_t jsonSize,
                                 std::vector<MeshBundleMesh>& meshes, std::string& error) {
    meshes.clear();
    bool ok = false;
    try {
        ok = decodeAll(bin, binSize, json, jsonSize, meshes, error);
    } catch (const std::bad_alloc&) {
        ok = false;
        meshes.clear();
        meshes.shrink_to_fit();
        error = "out of memory";
    }
    if (!ok)
        meshes.clear();
    return ok;
}

bool MeshBundleReader::fromFiles(const std::string& path, std::vector<MeshBundleMesh>& meshes, std::string& error) {
    meshes.clear();
    std::string bin, json;
    if (!readWholeFile(path + ".bin", bin))
        error = "can not read " + path + ".bin";
    else if (!readWholeFile(path + ".json", json))
        error = "can not read " + path + ".json";
    else if (fromBytes(reinterpret_cast<const uint8_t*>(bin.data()), bin.size(), json.data(), json.size(), meshes,
                       error))
        return true;
    Trace::err("MeshBundleReader: %s\n", error.c_str());
    return false;
}

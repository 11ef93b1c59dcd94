#include "vexa/MeshData.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>

namespace vexa {

namespace {

using Value = rapidjson::Value;

// avatar.bin's buffers, in file order, and their element sizes.
enum Buffer { VboDyn, BsDeltas, BsAddRanges, BsPaddRanges, VboStatic, Ebo, BufferCount };
const char* const kBufferKeys[BufferCount] = {"ofs_vbo_dyn",        "ofs_bs_deltas",  "ofs_bs_add_ranges",
                                              "ofs_bs_padd_ranges", "ofs_vbo_static", "ofs_ebo"};
constexpr std::uint64_t kElementSize[BufferCount] = {2, 2, 4, 4, 4, 2};

struct Span {
    const std::uint8_t* data = nullptr;
    std::uint64_t bytes = 0;
    bool holds(std::uint64_t ofs, std::uint64_t length) const { return ofs <= bytes && length <= bytes - ofs; }
    template <typename T>
    T at(std::uint64_t ofs) const {
        T v;
        std::memcpy(&v, data + ofs, sizeof v);
        return v;
    }
};

// Reads members of one JSON object; the first failure is kept as the reason.
struct Fields {
    std::string& reason;
    std::string where;
    bool ok() const { return reason.empty(); }
    bool fail(const std::string& what) {
        if (reason.empty())
            reason = where + what;
        return false;
    }
    const Value* member(const Value& o, const char* key) {
        if (!o.IsObject()) {
            fail("not an object");
            return nullptr;
        }
        const auto it = o.FindMember(key);
        if (it == o.MemberEnd()) {
            fail(std::string(key) + " missing");
            return nullptr;
        }
        return &it->value;
    }
    std::uint64_t integer(const Value& o, const char* key) {
        const Value* v = member(o, key);
        if (v && !v->IsUint())
            fail(std::string(key) + " is not an integer in [0, 2^32)");
        return v && v->IsUint() ? v->GetUint() : 0;
    }
    float number(const Value& v, const char* key) {
        if (!v.IsNumber() || !std::isfinite(v.GetDouble()) ||
            std::fabs(v.GetDouble()) > std::numeric_limits<float>::max()) {
            fail(std::string(key) + " is not a finite number");
            return 0;
        }
        return float(v.GetDouble());
    }
    void floats(const Value& o, const char* key, float* out, int n) {
        const Value* v = member(o, key);
        if (!v)
            return;
        if (!v->IsArray() || v->Size() != rapidjson::SizeType(n)) {
            fail(std::string(key) + " is not an array of " + std::to_string(n) + " numbers");
            return;
        }
        for (int i = 0; i < n; ++i)
            out[i] = number((*v)[rapidjson::SizeType(i)], key);
    }
    std::string text(const Value& o, const char* key) {
        const Value* v = member(o, key);
        if (v && !v->IsString())
            fail(std::string(key) + " is not a string");
        return v && v->IsString() ? std::string(v->GetString(), v->GetStringLength()) : std::string();
    }
};

class PartReader {
public:
    PartReader(const Span* spans, std::uint64_t& budget, std::string& reason)
        : m_spans(spans), m_budget(budget), m_reason(reason) {}

    bool read(const Value& dc, int index, MeshPart& part) {
        Fields f{m_reason, "drawcall " + std::to_string(index) + ": "};
        part.name = f.text(dc, "name");
        const std::uint64_t ofsPN = f.integer(dc, "ofs_PN"), ofsSt = f.integer(dc, "ofs_st");
        const std::uint64_t ofsEbo = f.integer(dc, "ofs_ebo"), count = f.integer(dc, "count");
        part.dynamic = f.integer(dc, "is_dynamic") == 1;
        const bool wide = f.integer(dc, "is_ebo_32bit") == 1;
        const std::uint64_t padd = part.dynamic ? f.integer(dc, "p_bs_padd_ranges") : 0;
        float scales[3] = {1, 1, 1};
        f.floats(dc, "scales", scales, 3);
        if (const Value* mat = f.ok() ? f.member(dc, "mat") : nullptr) {
            f.floats(*mat, "Kd", part.diffuse, 3);
            if (const Value* ns = mat->IsObject() && mat->HasMember("Ns") ? &(*mat)["Ns"] : nullptr)
                part.shininess = f.number(*ns, "Ns");
            part.texture = f.text(*mat, "tex");
        }
        if (!f.ok())
            return false;
        m_where = "drawcall \"" + part.name + "\": ";
        // The part itself (twice: the list of parts may double its storage)
        // and its names count against the budget like its arrays do.
        if (!charge(2 * sizeof(MeshPart) + part.name.size() + part.texture.size()))
            return false;
        if (part.diffuse[0] == 0 && part.diffuse[1] == 0 && part.diffuse[2] == 0)
            part.diffuse[0] = part.diffuse[1] = part.diffuse[2] = 1;
        return readIndices(ofsEbo, count, wide, part) && readPN(ofsPN, scales, part) &&
               readFloats(ofsSt, 2, part.vertexCount, part.texCoords, "ofs_st") && readWeights(dc, part) &&
               (!part.dynamic || readShapes(ofsPN, padd, scales, part));
    }

private:
    bool fail(const std::string& what) {
        m_reason = m_where + what;
        return false;
    }
    bool charge(std::uint64_t bytes) {
        if (bytes > m_budget)
            return fail("the decoded mesh would take more than " + std::to_string(MeshData::kDecodedBytesPerInputByte) +
                        " times the bundle's size");
        m_budget -= bytes;
        return true;
    }

    bool readIndices(std::uint64_t ofs, std::uint64_t count, bool wide, MeshPart& part) {
        const Span& ebo = m_spans[Ebo];
        const std::uint64_t size = wide ? 4 : 2;
        if (ofs % 2 || count > ebo.bytes / (3 * size) || !ebo.holds(ofs, count * 3 * size))
            return fail("the indices of " + std::to_string(count) + " triangles run past the end of ebo");
        if (!charge(count * 12))
            return false;
        part.indices.resize(count * 3);
        std::uint32_t highest = 0;
        if (wide) {
            if (count)
                std::memcpy(part.indices.data(), ebo.data + ofs, part.indices.size() * 4);
            for (std::uint32_t i : part.indices)
                highest = std::max(highest, i);
        } else {
            for (std::size_t i = 0; i < part.indices.size(); ++i) {
                part.indices[i] = ebo.at<std::uint16_t>(ofs + i * 2);
                highest = std::max(highest, part.indices[i]);
            }
        }
        part.vertexCount = part.indices.empty() ? 0 : std::size_t(highest) + 1;
        return true;
    }

    bool readPN(std::uint64_t ofs, const float scales[3], MeshPart& part) {
        const Span& buf = m_spans[part.dynamic ? VboDyn : VboStatic];
        const std::uint64_t n = std::uint64_t(part.vertexCount) * 6;
        if (ofs % 2 || !buf.holds(ofs, n * 2))
            return fail("the P/N entries of " + std::to_string(part.vertexCount) + " vertices run past their buffer");
        if (!charge(n * 4 * (part.dynamic ? 2 : 1) + (part.dynamic ? n : 0)))
            return false;
        part.base.resize(n);
        float scale[6];
        for (int c = 0; c < 6; ++c)
            scale[c] = scaleOf(scales, std::uint64_t(c));
        const std::uint8_t* in = buf.data + ofs;
        float* out = part.base.data();
        for (std::uint64_t v = 0; v < n / 6; ++v, in += 12, out += 6) {
            std::int16_t q[6];
            std::memcpy(q, in, sizeof q);
            for (int c = 0; c < 6; ++c)
                out[c] = q[c] * scale[c];
        }
        if (part.dynamic) {
            part.current = part.base;
            part.isTouched.assign(n, 0);
        }
        return true;
    }

    static float scaleOf(const float scales[3], std::uint64_t component) {
        return (component < 3 ? scales[component] : 2.0f) / 32767.0f;
    }

    bool readFloats(std::uint64_t ofs, std::uint64_t per, std::size_t vertices, std::vector<float>& out,
                    const std::string& what) {
        const Span& vs = m_spans[VboStatic];
        const std::uint64_t n = std::uint64_t(vertices) * per;
        if (ofs % 4 || !vs.holds(ofs, n * 4))
            return fail(what + " runs past the end of vbo_static");
        if (!charge(n * 4))
            return false;
        out.resize(n);
        if (n)
            std::memcpy(out.data(), vs.data + ofs, n * 4);
        for (float& v : out)
            if (!std::isfinite(v))
                v = 0;
        return true;
    }

    bool readWeights(const Value& dc, MeshPart& part) {
        Fields f{m_reason, m_where};
        const Value* list = dc.IsObject() && dc.HasMember("alt_streams") ? &dc["alt_streams"] : nullptr;
        if (list && !list->IsArray())
            return f.fail("alt_streams is not an array");
        for (rapidjson::SizeType i = 0; list && i < list->Size(); ++i) {
            const std::string name = f.text((*list)[i], "name");
            const std::uint64_t ofs = f.integer((*list)[i], "ofs"), channels = f.integer((*list)[i], "channels");
            if (!f.ok())
                return false;
            if (channels < 1 || channels > 4)
                return fail("alt stream \"" + name + "\" has " + std::to_string(channels) + " channels");
            if (name == "weight" && channels == 1)
                return readFloats(ofs, 1, part.vertexCount, part.weights, "alt stream \"weight\"");
        }
        if (!charge(std::uint64_t(part.vertexCount) * sizeof(float)))
            return false;
        part.weights.assign(part.vertexCount, 1.0f);
        return true;
    }

    bool readShapes(std::uint64_t ofsPN, std::uint64_t p, const float scales[3], MeshPart& part) {
        const Span& padd = m_spans[BsPaddRanges];
        const Span& records = m_spans[BsAddRanges];
        const Span& deltas = m_spans[BsDeltas];
        const Span& dyn = m_spans[VboDyn];
        const std::uint64_t entries = std::uint64_t(part.vertexCount) * 6;
        if (p > padd.bytes / 4 || padd.bytes / 4 - p < kBlendshapeCount + 1)
            return fail("p_bs_padd_ranges " + std::to_string(p) + " leaves fewer than 47 entries in bs_padd_ranges");
        for (int b = 0; b < kBlendshapeCount; ++b) {
            const std::uint32_t first = padd.at<std::uint32_t>((p + b) * 4), last = padd.at<std::uint32_t>((p + b + 1) * 4);
            if (first > last || std::uint64_t(last) * 4 > records.bytes || first % 3 || last % 3)
                return fail("blendshape " + std::to_string(b + 1) + ": its range records do not fit bs_add_ranges");
            if (first < last) {
                part.shapeFirst[b] = std::numeric_limits<std::uint32_t>::max();
                part.shapeLast[b] = 0;
            }
            for (std::uint32_t r = first; r < last; r += 3) {
                const std::uint32_t vboOfs = records.at<std::uint32_t>(std::uint64_t(r) * 4);
                const std::uint32_t deltaOfs = records.at<std::uint32_t>(std::uint64_t(r + 1) * 4);
                const std::uint32_t length = records.at<std::uint32_t>(std::uint64_t(r + 2) * 4);
                if (vboOfs % 2 || deltaOfs % 2 || vboOfs < ofsPN || !dyn.holds(vboOfs, std::uint64_t(length) * 2) ||
                    !deltas.holds(deltaOfs, std::uint64_t(length) * 2))
                    return fail("blendshape " + std::to_string(b + 1) + ": a range lies outside vbo_dyn or bs_deltas");
                const std::uint64_t start = (vboOfs - ofsPN) / 2;
                if (start + length > (entries + 7) / 8 * 8)
                    return fail("blendshape " + std::to_string(b + 1) + ": a range runs past the drawcall's vertices");
                if (!charge(std::uint64_t(length) * sizeof(MeshDelta)))
                    return false;
                for (std::uint32_t i = 0; i < length && start + i < entries; ++i) {
                    const std::int16_t d = deltas.at<std::int16_t>(deltaOfs + std::uint64_t(i) * 2);
                    if (d == 0)
                        continue;
                    const std::uint32_t entry = std::uint32_t(start + i);
                    part.shapes[b].push_back({entry, d * scaleOf(scales, (start + i) % 6)});
                    part.shapeFirst[b] = std::min(part.shapeFirst[b], entry);
                    part.shapeLast[b] = std::max(part.shapeLast[b], entry);
                }
            }
        }
        return true;
    }

    const Span* m_spans;
    std::uint64_t& m_budget;
    std::string& m_reason;
    std::string m_where;
};

bool readAll(const std::uint8_t* bin, std::size_t binSize, const char* json, std::size_t jsonSize,
             std::vector<MeshPart>& parts, std::string& reason) {
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseIterativeFlag>(json, jsonSize);
    if (doc.HasParseError()) {
        reason = std::string("avatar.json is not valid JSON: ") + rapidjson::GetParseError_En(doc.GetParseError());
        return false;
    }
    if (!doc.IsObject()) {
        reason = "avatar.json is not an object";
        return false;
    }
    Span spans[BufferCount];
    std::uint64_t offset = 0;
    for (int b = 0; b < BufferCount; ++b) {
        const auto it = doc.FindMember(kBufferKeys[b]);
        if (it == doc.MemberEnd() || !it->value.IsArray() || it->value.Size() != 2 || !it->value[0].IsUint() ||
            !it->value[1].IsUint()) {
            reason = std::string("avatar.json: ") + kBufferKeys[b] + " is not [offset, bytes]";
            return false;
        }
        const std::uint64_t at = it->value[0].GetUint(), bytes = it->value[1].GetUint();
        if (at != offset || bytes % kElementSize[b] || bytes > binSize - offset) {
            reason = std::string("avatar.json: ") + kBufferKeys[b] + " does not tile avatar.bin (" +
                     std::to_string(binSize) + " bytes)";
            return false;
        }
        spans[b] = {bin + offset, bytes};
        offset += bytes;
    }
    if (offset != binSize) {
        reason = "the buffers cover " + std::to_string(offset) + " bytes of avatar.bin's " + std::to_string(binSize);
        return false;
    }
    const auto list = doc.FindMember("drawcalls");
    if (list == doc.MemberEnd() || !list->value.IsArray()) {
        reason = "avatar.json: drawcalls is not an array";
        return false;
    }
    std::uint64_t budget = (std::uint64_t(binSize) + jsonSize) * MeshData::kDecodedBytesPerInputByte +
                           MeshData::kDecodedBytesSlack;
    for (rapidjson::SizeType i = 0; i < list->value.Size(); ++i) {
        MeshPart part;
        if (!PartReader(spans, budget, reason).read(list->value[i], int(i), part))
            return false;
        parts.push_back(std::move(part));
    }
    return true;
}

} // namespace

bool MeshData::read(const std::uint8_t* bin, std::size_t binSize, const char* json, std::size_t jsonSize,
                    std::string& reason) {
    parts.clear();
    reason.clear();
    bool ok = false;
    try {
        ok = readAll(bin, binSize, json, jsonSize, parts, reason);
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
    }
    if (!ok) {
        parts.clear();
        if (reason.empty())
            reason = "avatar: unreadable mesh bundle";
    }
    return ok;
}

void MeshPart::applyBlendshapes(const float w[kBlendshapeCount]) {
    std::uint64_t active = 0;
    for (int b = 0; b < kBlendshapeCount; ++b)
        if (w[b] != 0 && std::isfinite(w[b]) && !shapes[b].empty())
            active |= std::uint64_t(1) << b;
    std::uint32_t first = std::numeric_limits<std::uint32_t>::max(), last = 0;
    auto widen = [&](int b) {
        if (shapeFirst[b] <= shapeLast[b]) {
            first = std::min(first, shapeFirst[b]);
            last = std::max(last, shapeLast[b]);
        }
    };
    if (active == activeShapes && incrementalFrames + 1 < 256) {
        // The same shapes as last frame: add each one's change of weight,
        // one pass over its records. Every 256th frame starts again from the
        // base so rounding cannot build up.
        for (int b = 0; b < kBlendshapeCount; ++b) {
            const float change = (active >> b & 1) ? w[b] - lastWeights[b] : 0.0f;
            lastWeights[b] = (active >> b & 1) ? w[b] : 0.0f;
            if (change != 0) {
                for (const MeshDelta& d : shapes[b])
                    current[d.entry] += change * d.value;
                widen(b);
            }
        }
        if (first <= last) {
            ++incrementalFrames;
            ++version;
            changedFirst = first;
            changedLast = last;
        }
        return;
    }
    incrementalFrames = 0;
    for (int b = 0; b < kBlendshapeCount; ++b)
        if ((activeShapes | active) >> b & 1)
            widen(b);
    for (std::uint32_t e : touched)
        current[e] = base[e];
    for (std::uint32_t e : touched)
        isTouched[e] = 0;
    touched.clear();
    activeShapes = active;
    for (int b = 0; b < kBlendshapeCount; ++b) {
        lastWeights[b] = (active >> b & 1) ? w[b] : 0.0f;
        if (!(active >> b & 1))
            continue;
        for (const MeshDelta& d : shapes[b]) {
            current[d.entry] += w[b] * d.value;
            if (!isTouched[d.entry]) {
                isTouched[d.entry] = 1;
                touched.push_back(d.entry);
            }
        }
    }
    if (first <= last) {
        ++version;
        changedFirst = first;
        changedLast = last;
    }
}

} // namespace vexa

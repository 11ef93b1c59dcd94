#include "pack/CFinalFormat.h"

#include "base/Log.h"
#include "base/Trace.h"
#include "pack/MeshPartConverter.h"
#include "pack/TextOut.h"
#include "base/WholeFile.h"
#include "scene/SplitPath.h"

#include <cstdio>
#include <cstring>
#include <limits>

struct CFinalFormat::Sizes {
    size_t vboDyn, bsDeltas, bsAddRanges, bsPaddRanges, vboStatic, ebo, drawcalls;
};

namespace {

constexpr size_t kMaxBufferBytes = static_cast<size_t>(std::numeric_limits<int32_t>::max());

template <typename T>
void appendRaw(std::vector<uint8_t>& out, const std::vector<T>& buffer) {
    const size_t at = out.size();
    out.resize(at + buffer.size() * sizeof(T));
    if (!buffer.empty())
        std::memcpy(out.data() + at, buffer.data(), buffer.size() * sizeof(T));
}

template <typename T>
size_t byteSize(const std::vector<T>& buffer) {
    return buffer.size() * sizeof(T);
}

std::string fileNameOf(const std::string& path) {
    const PathParts parts = splitPath(path);
    return parts.base + parts.ext;
}

std::string floatList(const float* v, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) {
        if (i)
            s += ',';
        s += textout::floatText(v[i]);
    }
    return s;
}

std::string altStreamsText(const std::vector<AltStreamRecord>& streams) {
    std::string s = "\"alt_streams\":[\n";
    for (size_t i = 0; i < streams.size(); ++i) {
        const AltStreamRecord& a = streams[i];
        s += "{\"name\":\"" + textout::jsonEscape(a.name) + "\",\"ofs\":" + std::to_string(a.ofs) +
             ",\"channels\":" + std::to_string(a.channels) + "}";
        s += i + 1 < streams.size() ? ",\n" : "\n";
    }
    return s + "],\n";
}

std::string materialText(const BundleMaterial& m) {
    const std::string tex = m.textureFile.empty() ? std::string("white.png") : fileNameOf(m.textureFile);
    std::string s = "\"mat\":{\n";
    s += "\"Kd\":[" + floatList(m.Kd, 3) + "],\n";
    s += "\"Ka\":" + textout::floatText(m.Ka[0]) + ",\n";
    s += "\"Ks\":" + textout::floatText(m.Ks[0]) + ",\n";
    s += "\"Ns\":" + textout::floatText(m.Ns) + ",\n";
    s += "\"tex\":\"" + textout::jsonEscape(tex) + "\"\n";
    return s + "}}";
}

std::string drawCallText(const DrawCall& dc) {
    std::string s = "{\"name\":\"" + textout::jsonEscape(dc.name) + "\",\n";
    s += "\"ofs_PN\":" + std::to_string(dc.ofs_PN) + ",\n";
    s += "\"ofs_st\":" + std::to_string(dc.ofs_st) + ",\n";
    s += "\"ofs_ebo\":" + std::to_string(dc.ofs_ebo) + ",\n";
    s += "\"count\":" + std::to_string(dc.count) + ",\n";
    s += std::string("\"is_dynamic\":") + (dc.isDynamic() ? "1" : "0") + ", \n";
    s += std::string("\"is_eye\":") + (dc.isEye() ? "1" : "0") + ",\n";
    s += std::string("\"is_ebo_32bit\":") + (dc.isEbo32() ? "1" : "0") + ",\n";
    s += "\"p_bs_padd_ranges\":" + std::to_string(dc.paddRanges()) + ",\n";
    s += "\"P_center\":[" + floatList(dc.P_center, 3) + "],\n";
    s += "\"scales\":[" + floatList(dc.scales, 3) + "],\n";
    s += altStreamsText(dc.alt_streams);
    return s + materialText(dc.mat);
}

// writeWholeFile with the console line of a failure.
bool saveFile(const std::string& path, const void* data, size_t size) {
    if (writeWholeFile(path, data, size))
        return true;
    Trace::err("CFinalFormat::Save can not write file:%s\n", path.c_str());
    return false;
}

} // namespace

CFinalFormat::Sizes CFinalFormat::sizes() const {
    return {vbo_dyn.size(), bs_deltas.size(), bs_add_ranges.size(), bs_padd_ranges.size(),
            vbo_static.size(), ebo.size(), drawcalls.size()};
}

void CFinalFormat::restore(const Sizes& s) {
    vbo_dyn.resize(s.vboDyn);
    bs_deltas.resize(s.bsDeltas);
    bs_add_ranges.resize(s.bsAddRanges);
    bs_padd_ranges.resize(s.bsPaddRanges);
    vbo_static.resize(s.vboStatic);
    ebo.resize(s.ebo);
    drawcalls.resize(s.drawcalls);
}

bool CFinalFormat::ConvertBlendshape(const MeshPart& part, bool withTangents) {
    LOG_INFO("ConvertBlendshape begin\n");
    bool done = false;
    if (part.shapes && part.vertexCount > 0 && part.corners && part.triangleCount > 0) {
        const Sizes before = sizes();
        done = MeshPartConverter(part, *this).run(withTangents);
        // Offsets are 32-bit signed in the descriptor; 8 bytes of headroom for the padding of Save.
        const size_t total = byteSize(vbo_dyn) + byteSize(bs_deltas) + byteSize(bs_add_ranges) +
                             byteSize(bs_padd_ranges) + byteSize(vbo_static) + byteSize(ebo) + 32;
        if (done && total > kMaxBufferBytes) {
            Trace::err("ConvertBlendshape: mesh bundle of %s would exceed 2 GB; part left out\n",
                       part.name.c_str());
            restore(before);
            done = false;
        }
    }
    LOG_INFO("ConvertBlendshape end\n");
    return done;
}

void CFinalFormat::padForSave() {
    vbo_dyn.resize((vbo_dyn.size() + 7) & ~size_t(7), 0);
    bs_deltas.resize((bs_deltas.size() + 7) & ~size_t(7), 0);
}

std::vector<uint8_t> CFinalFormat::binaryBytes() const {
    std::vector<uint8_t> out;
    out.reserve(byteSize(vbo_dyn) + byteSize(bs_deltas) + byteSize(bs_add_ranges) + byteSize(bs_padd_ranges) +
                byteSize(vbo_static) + byteSize(ebo));
    appendRaw(out, vbo_dyn);
    appendRaw(out, bs_deltas);
    appendRaw(out, bs_add_ranges);
    appendRaw(out, bs_padd_ranges);
    appendRaw(out, vbo_static);
    appendRaw(out, ebo);
    return out;
}

std::string CFinalFormat::jsonText() const {
    const std::pair<const char*, size_t> buffers[] = {
        {"ofs_vbo_dyn", byteSize(vbo_dyn)},       {"ofs_bs_deltas", byteSize(bs_deltas)},
        {"ofs_bs_add_ranges", byteSize(bs_add_ranges)}, {"ofs_bs_padd_ranges", byteSize(bs_padd_ranges)},
        {"ofs_vbo_static", byteSize(vbo_static)}, {"ofs_ebo", byteSize(ebo)},
    };
    std::string s = "{\n";
    size_t offset = 0;
    for (const auto& [key, bytes] : buffers) {
        s += std::string("\"") + key + "\":[" + std::to_string(offset) + "," + std::to_string(bytes) + "],\n";
        offset += bytes;
    }
    s += "\"drawcalls\":[\n";
    for (size_t i = 0; i < drawcalls.size(); ++i) {
        s += drawCallText(drawcalls[i]);
        if (i + 1 < drawcalls.size())
            s += ",\n";
        s += "\n";
    }
    return s + "]}";
}

bool CFinalFormat::Save(const std::string& path) {
    LOG_INFO("CFinalFormat::Save\n");
    padForSave();
    const std::vector<uint8_t> bin = binaryBytes();
    const std::string json = jsonText();
    bool ok = saveFile(path + ".bin", bin.data(), bin.size());
    if (ok && !saveFile(path + ".json", json.data(), json.size())) {
        std::remove((path + ".bin").c_str()); // a bin without its descriptor is useless
        ok = false;
    }
    LOG_INFO("CFinalFormat::Saved path:%s\n", path.c_str());
    return ok;
}

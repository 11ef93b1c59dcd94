#include "pack/MeshBundleDescriptor.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>

#include <cmath>
#include <limits>

namespace {

using Value = rapidjson::Value;

// Collects the first failure; every getter returns a harmless default after it.
class Fields {
public:
    explicit Fields(std::string& error) : m_error(error) {}
    bool ok() const { return m_error.empty(); }
    void fail(const std::string& where, const char* what) {
        if (ok())
            m_error = where + ": " + what;
    }

    const Value* member(const Value& obj, const char* key, const std::string& where) {
        if (!obj.IsObject()) {
            fail(where, "not an object");
            return nullptr;
        }
        const auto it = obj.FindMember(key);
        if (it == obj.MemberEnd()) {
            fail(where + "." + key, "missing");
            return nullptr;
        }
        return &it->value;
    }

    uint64_t integer(const Value& obj, const char* key, const std::string& where) {
        const Value* v = member(obj, key, where);
        if (!v)
            return 0;
        if (!v->IsUint()) {
            fail(where + "." + key, "not an integer in [0, 2^32)");
            return 0;
        }
        return v->GetUint();
    }

    float number(const Value& v, const std::string& where) {
        if (!v.IsNumber()) {
            fail(where, "not a number");
            return 0;
        }
        const double d = v.GetDouble();
        if (!std::isfinite(d) || std::fabs(d) > std::numeric_limits<float>::max()) {
            fail(where, "number out of range");
            return 0;
        }
        return static_cast<float>(d);
    }

    float number(const Value& obj, const char* key, const std::string& where) {
        const Value* v = member(obj, key, where);
        return v ? number(*v, where + "." + key) : 0.0f;
    }

    bool flag(const Value& obj, const char* key, const std::string& where) {
        const uint64_t v = integer(obj, key, where);
        if (v > 1)
            fail(where + "." + key, "not 0 or 1");
        return v == 1;
    }

    std::string text(const Value& obj, const char* key, const std::string& where) {
        const Value* v = member(obj, key, where);
        if (!v)
            return {};
        if (!v->IsString()) {
            fail(where + "." + key, "not a string");
            return {};
        }
        return std::string(v->GetString(), v->GetStringLength());
    }

    void floats(const Value& obj, const char* key, const std::string& where, float* out, int count) {
        const Value* v = member(obj, key, where);
        if (!v)
            return;
        if (!v->IsArray() || v->Size() != static_cast<rapidjson::SizeType>(count)) {
            fail(where + "." + key, "not an array of the expected length");
            return;
        }
        for (int i = 0; i < count; ++i)
            out[i] = number((*v)[static_cast<rapidjson::SizeType>(i)], where + "." + key);
    }

private:
    std::string& m_error;
};

MeshBundleMaterial readMaterial(Fields& f, const Value& dc, const std::string& where) {
    MeshBundleMaterial m;
    const Value* mat = f.member(dc, "mat", where);
    if (!mat)
        return m;
    const std::string w = where + ".mat";
    f.floats(*mat, "Kd", w, m.Kd, 3);
    m.Ka = f.number(*mat, "Ka", w);
    m.Ks = f.number(*mat, "Ks", w);
    m.Ns = f.number(*mat, "Ns", w);
    m.tex = f.text(*mat, "tex", w);
    return m;
}

std::vector<MeshBundleAltStream> readAltStreams(Fields& f, const Value& dc, const std::string& where) {
    std::vector<MeshBundleAltStream> streams;
    const Value* list = f.member(dc, "alt_streams", where);
    if (!list)
        return streams;
    if (!list->IsArray()) {
        f.fail(where + ".alt_streams", "not an array");
        return streams;
    }
    for (rapidjson::SizeType i = 0; i < list->Size() && f.ok(); ++i) {
        const std::string w = where + ".alt_streams[" + std::to_string(i) + "]";
        MeshBundleAltStream a;
        a.name = f.text((*list)[i], "name", w);
        a.ofs = f.integer((*list)[i], "ofs", w);
        a.channels = static_cast<uint32_t>(f.integer((*list)[i], "channels", w));
        streams.push_back(std::move(a));
    }
    return streams;
}

MeshBundleDrawCallInfo readDrawCall(Fields& f, const Value& dc, const std::string& where) {
    MeshBundleDrawCallInfo d;
    d.name = f.text(dc, "name", where);
    d.ofs_PN = f.integer(dc, "ofs_PN", where);
    d.ofs_st = f.integer(dc, "ofs_st", where);
    d.ofs_ebo = f.integer(dc, "ofs_ebo", where);
    d.count = f.integer(dc, "count", where);
    d.is_dynamic = f.flag(dc, "is_dynamic", where);
    d.is_eye = f.flag(dc, "is_eye", where);
    d.is_ebo_32bit = f.flag(dc, "is_ebo_32bit", where);
    d.p_bs_padd_ranges = f.integer(dc, "p_bs_padd_ranges", where);
    f.floats(dc, "P_center", where, d.P_center, 3);
    f.floats(dc, "scales", where, d.scales, 3);
    d.alt_streams = readAltStreams(f, dc, where);
    d.mat = readMaterial(f, dc, where);
    return d;
}

} // namespace

const char* MeshBundleDescriptor::bufferKey(int buffer) {
    static const char* const keys[BufferCount] = {"ofs_vbo_dyn",        "ofs_bs_deltas",  "ofs_bs_add_ranges",
                                                  "ofs_bs_padd_ranges", "ofs_vbo_static", "ofs_ebo"};
    return buffer >= 0 && buffer < BufferCount ? keys[buffer] : "";
}

bool MeshBundleDescriptor::parse(const char* text, size_t size, std::string& error) {
    *this = MeshBundleDescriptor();
    error.clear();
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseIterativeFlag>(text, size); // no recursion: any nesting depth is safe
    if (doc.HasParseError()) {
        error = std::string("avatar.json is not valid JSON: ") + rapidjson::GetParseError_En(doc.GetParseError()) +
                " at byte " + std::to_string(doc.GetErrorOffset());
        return false;
    }
    Fields f(error);
    for (int b = 0; b < BufferCount && f.ok(); ++b) {
        const Value* span = f.member(doc, bufferKey(b), "avatar.json");
        if (!span)
            break;
        if (!span->IsArray() || span->Size() != 2 || !(*span)[0].IsUint() || !(*span)[1].IsUint()) {
            f.fail(std::string("avatar.json.") + bufferKey(b), "not [offset, bytes]");
            break;
        }
        buffers[b] = {(*span)[0].GetUint(), (*span)[1].GetUint()};
    }
    const Value* list = f.ok() ? f.member(doc, "drawcalls", "avatar.json") : nullptr;
    if (list && !list->IsArray())
        f.fail("avatar.json.drawcalls", "not an array");
    for (rapidjson::SizeType i = 0; f.ok() && list && i < list->Size(); ++i)
        drawcalls.push_back(readDrawCall(f, (*list)[i], "drawcalls[" + std::to_string(i) + "]"));
    if (!f.ok()) {
        const std::string reason = error;
        *this = MeshBundleDescriptor();
        error = reason;
        return false;
    }
    return true;
}

#include "vexa/SetupData.h"

#include <rapidjson/document.h>
#include <sodium.h>

#include <cmath>
#include <cstring>
#include <type_traits>

namespace vexa {

namespace {

constexpr std::size_t kPrefix = 16;
constexpr std::uint32_t kFormat = 3;
constexpr std::size_t kMaxBody = 64u << 20;
constexpr std::size_t kMaxVertices = 1u << 20;

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

bool number(const rapidjson::Value& v, double& out) {
    if (!v.IsNumber())
        return false;
    out = v.GetDouble();
    return std::isfinite(out);
}

template <std::size_t N, typename T>
bool readTuples(const rapidjson::Value& a, std::vector<std::array<T, N>>& out, std::size_t max) {
    if (!a.IsArray() || a.Size() > max)
        return false;
    out.resize(a.Size());
    for (rapidjson::SizeType i = 0; i < a.Size(); ++i) {
        const rapidjson::Value& t = a[i];
        if (!t.IsArray() || t.Size() != N)
            return false;
        for (std::size_t k = 0; k < N; ++k) {
            double d = 0;
            if (!number(t[rapidjson::SizeType(k)], d))
                return false;
            if constexpr (std::is_integral<T>::value) {
                if (d < 0 || d > 4294967295.0 || d != std::floor(d))
                    return false;
            }
            out[i][k] = static_cast<T>(d);
        }
    }
    return true;
}

} // namespace

bool parseSetupData(const std::uint8_t* data, std::size_t size, SetupData& out, std::string& reason) {
    if (!data || size == 0) {
        reason = "no set-up data";
        return false;
    }
    if (size < kPrefix || std::memcmp(data, "VEXADATA", 8) != 0) {
        reason = "set-up data is not a Vexa data blob";
        return false;
    }
    const std::uint32_t version = le32(data + 8);
    const std::uint32_t length = le32(data + 12);
    if (version != kFormat) {
        reason = "set-up data has format " + std::to_string(version) + ", expected 3";
        return false;
    }
    if (length > kMaxBody || length != size - kPrefix) {
        reason = "set-up data truncated or oversized (body " + std::to_string(length) + " bytes, " +
                 std::to_string(size - kPrefix) + " present)";
        return false;
    }
    rapidjson::Document doc;
    doc.Parse<rapidjson::kParseIterativeFlag>(reinterpret_cast<const char*>(data + kPrefix), length); // no recursion
    if (doc.HasParseError() || !doc.IsObject()) {
        reason = "set-up data body is not a JSON object";
        return false;
    }
    SetupData s;
    s.format = int(version);
    const auto keys = doc.FindMember("trustedKeys");
    if (keys == doc.MemberEnd() || !keys->value.IsArray() || keys->value.Size() == 0) {
        reason = "set-up data names no trusted key";
        return false;
    }
    for (const rapidjson::Value& k : keys->value.GetArray()) {
        if (!k.IsObject() || !k.HasMember("ed25519") || !k["ed25519"].IsString()) {
            reason = "set-up data has a malformed key";
            return false;
        }
        const std::string b64 = k["ed25519"].GetString();
        std::uint8_t raw[40];
        std::size_t n = 0;
        if (sodium_init() < 0 ||
            sodium_base642bin(raw, sizeof raw, b64.data(), b64.size(), nullptr, &n, nullptr,
                              sodium_base64_VARIANT_ORIGINAL) != 0 ||
            n != 32) {
            reason = "set-up data has a key that is not 32 bytes of base64";
            return false;
        }
        s.trustedKeys.push_back(format::publicKeyFromRaw(raw));
    }
    if (!doc.HasMember("faceModel") || !doc["faceModel"].IsString() || doc["faceModel"].GetStringLength() == 0) {
        reason = "set-up data names no face model";
        return false;
    }
    s.faceModel = doc["faceModel"].GetString();
    if (doc.HasMember("tracker")) {
        const rapidjson::Value& t = doc["tracker"];
        if (!t.IsObject()) {
            reason = "set-up data tracker settings are not an object";
            return false;
        }
        const struct {
            const char* name;
            double lo, hi;
            double* target;
            int* itarget;
        } fields[] = {
            {"detectMaxSide", 64, 8192, nullptr, &s.tracker.detectMaxSide},
            {"redetectInterval", 1, 1000, nullptr, &s.tracker.redetectInterval},
            {"minFaceSize", 8, 4096, nullptr, &s.tracker.minFaceSize},
            {"smoothMinCutoff", 0.01, 100, &s.tracker.smoothMinCutoff, nullptr},
            {"smoothBeta", 0, 100, &s.tracker.smoothBeta, nullptr},
            {"historySeconds", 0.1, 10, &s.tracker.historySeconds, nullptr},
            {"focalScale", 0.1, 10, &s.tracker.focalScale, nullptr},
        };
        for (const auto& f : fields) {
            if (!t.HasMember(f.name))
                continue;
            double d = 0;
            if (!number(t[f.name], d) || d < f.lo || d > f.hi) {
                reason = std::string("set-up data tracker setting ") + f.name + " is out of range";
                return false;
            }
            if (f.target)
                *f.target = d;
            else
                *f.itarget = int(d);
        }
    }
    const auto head = doc.FindMember("referenceHead");
    if (head == doc.MemberEnd() || !head->value.IsObject()) {
        reason = "set-up data has no reference head";
        return false;
    }
    const rapidjson::Value& h = head->value;
    if (!h.HasMember("vertices") || !h.HasMember("uvs") || !h.HasMember("triangles") || !h.HasMember("landmarks") ||
        !readTuples<3>(h["vertices"], s.head.vertices, kMaxVertices) ||
        !readTuples<2>(h["uvs"], s.head.uvs, kMaxVertices) ||
        !readTuples<3>(h["triangles"], s.head.triangles, 4 * kMaxVertices) || s.head.vertices.empty() ||
        s.head.uvs.size() != s.head.vertices.size()) {
        reason = "set-up data reference head is malformed";
        return false;
    }
    for (const auto& t : s.head.triangles)
        for (std::uint32_t i : t)
            if (i >= s.head.vertices.size()) {
                reason = "set-up data reference head has a triangle index out of range";
                return false;
            }
    const rapidjson::Value& lm = h["landmarks"];
    if (!lm.IsArray()) {
        reason = "set-up data landmarks are not a list";
        return false;
    }
    for (const rapidjson::Value& l : lm.GetArray()) {
        if (!l.IsObject() || !l.HasMember("landmark") || !l.HasMember("vertex") || !l["landmark"].IsInt() ||
            !l["vertex"].IsInt() || l["landmark"].GetInt() < 0 || l["landmark"].GetInt() >= 68 ||
            l["vertex"].GetInt() < 0 || std::size_t(l["vertex"].GetInt()) >= s.head.vertices.size()) {
            reason = "set-up data has a malformed landmark correspondence";
            return false;
        }
        s.head.landmarks.emplace_back(l["landmark"].GetInt(), l["vertex"].GetInt());
    }
    if (s.head.landmarks.size() < 6) {
        reason = "set-up data needs at least 6 landmark correspondences for the head pose";
        return false;
    }
    out = std::move(s);
    return true;
}

} // namespace vexa

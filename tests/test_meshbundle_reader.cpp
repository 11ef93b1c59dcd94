// The mesh bundle reader refuses files whose offsets, lengths or counts do
// not fit, and never reads out of bounds (run under AddressSanitizer).

#include "TestSupport.h"

#include "pack/CFinalFormat.h"
#include "pack/MeshBundleReader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using namespace testing_support;
using math3d::Vec3;

namespace {

// A valid bundle of a dynamic drawcall (a strip with two blendshapes and a
// weight stream) followed by a static one.
struct ValidBundle {
    std::vector<uint8_t> bin;
    std::string json;

    // n vertices; `movedByAll`: blendshape 1 moves every vertex.
    explicit ValidBundle(int n = 20, bool movedByAll = false) {
        std::vector<Vec3> shapes(static_cast<size_t>(n) * meshbundle::kShapeCount);
        std::vector<float> st;
        std::vector<MeshCorner> corners;
        for (int i = 0; i < n; ++i) {
            shapes[i] = Vec3(float(i), float(i % 2), 0.1f * i);
            st.insert(st.end(), {i / float(n), float(i % 2)});
        }
        for (int i = 0; i + 2 < n; ++i)
            corners.insert(corners.end(), {{i, i, -1}, {i + 1, i + 1, -1}, {i + 2, i + 2, -1}});
        shapes[1 * n + 3] = Vec3(0, 0.5f, 0);
        shapes[1 * n + 4] = Vec3(0, 0.5f, 0);
        shapes[7 * n + 15] = Vec3(0.2f, 0, 0);
        for (int i = 0; movedByAll && i < n; ++i)
            shapes[1 * n + i] = Vec3(0, 0.25f, 0);
        MeshPart p;
        p.name = "strip";
        p.vertexCount = n;
        p.shapes = shapes.data();
        p.texCoords = st.data();
        p.texCoordCount = n;
        p.corners = corners.data();
        p.triangleCount = corners.size() / 3;
        p.altStreams.push_back({"weight", st.data(), static_cast<size_t>(n)});
        CFinalFormat f;
        EXPECT_TRUE(f.ConvertBlendshape(p));
        shapes.assign(shapes.size(), Vec3());
        for (int i = 0; i < n; ++i)
            shapes[i] = Vec3(float(i), 1, 2);
        p.name = "still";
        EXPECT_TRUE(f.ConvertBlendshape(p));
        f.padForSave();
        bin = f.binaryBytes();
        json = f.jsonText();
    }
};

bool read(const std::vector<uint8_t>& bin, const std::string& json, std::string& error) {
    std::vector<MeshBundleMesh> meshes;
    const bool ok = MeshBundleReader::fromBytes(bin.data(), bin.size(), json.data(), json.size(), meshes, error);
    if (ok) {
        // Whatever is accepted is internally consistent.
        for (const MeshBundleMesh& m : meshes) {
            EXPECT_EQ(m.pn.size(), m.vertexCount * 6);
            EXPECT_EQ(m.texCoords.size(), m.vertexCount * 2);
            for (const uint32_t t : m.triangles)
                EXPECT_LT(t, m.vertexCount);
            for (int b = 1; b <= 46; ++b)
                EXPECT_EQ(m.shapePN(b).size(), m.pn.size());
        }
    } else {
        EXPECT_TRUE(meshes.empty());
        EXPECT_FALSE(error.empty());
    }
    return ok;
}

std::string replaced(std::string s, const std::string& from, const std::string& to) {
    const size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        s.replace(at, from.size(), to);
    return s;
}

} // namespace

TEST(MeshBundleReader, readsTheValidBundle) {
    const ValidBundle v;
    std::vector<MeshBundleMesh> meshes;
    std::string error;
    ASSERT_TRUE(MeshBundleReader::fromBytes(v.bin.data(), v.bin.size(), v.json.data(), v.json.size(), meshes, error))
        << error;
    ASSERT_EQ(meshes.size(), 2u);
    EXPECT_EQ(meshes[0].vertexCount, 20u);
    EXPECT_EQ(meshes[0].blendshapes[0].size(), 1u);
    EXPECT_EQ(meshes[0].blendshapes[6].size(), 1u);
    EXPECT_TRUE(meshes[0].blendshapes[1].empty());
    EXPECT_FALSE(meshes[1].info.is_dynamic);
}

TEST(MeshBundleReader, refusesInconsistentDescriptors) {
    const ValidBundle v;
    const std::string afterOfsPN = v.json.substr(v.json.find("\"ofs_PN\":"));
    const std::string ofsPN = afterOfsPN.substr(0, afterOfsPN.find(','));
    struct Case {
        const char* what;
        std::string json;
        std::vector<uint8_t> bin;
    };
    std::vector<uint8_t> shorter(v.bin.begin(), v.bin.end() - 4);
    std::vector<uint8_t> longer = v.bin;
    longer.insert(longer.end(), 4, 0);
    const std::vector<Case> cases = {
        {"not JSON", "{\"ofs_vbo_dyn\":[0,", v.bin},
        {"empty text", "", v.bin},
        {"truncated binary", v.json, shorter},
        {"binary longer than the buffers", v.json, longer},
        {"missing buffer", replaced(v.json, "\"ofs_ebo\"", "\"ofs_xbo\""), v.bin},
        {"gap between buffers", replaced(v.json, "\"ofs_vbo_dyn\":[0,", "\"ofs_vbo_dyn\":[2,"), v.bin},
        {"negative count", replaced(v.json, "\"count\":18", "\"count\":-18"), v.bin},
        {"too many triangles", replaced(v.json, "\"count\":18", "\"count\":1000000"), v.bin},
        {"huge count", replaced(v.json, "\"count\":18", "\"count\":4294967295"), v.bin},
        {"P/N past the buffer", replaced(v.json, ofsPN, "\"ofs_PN\":4000000"), v.bin},
        {"odd P/N offset", replaced(v.json, ofsPN, "\"ofs_PN\":1"), v.bin},
        {"texture coordinates past the end", replaced(v.json, "\"ofs_st\":", "\"ofs_st\":9999"), v.bin},
        {"padd ranges past the end", replaced(v.json, "\"p_bs_padd_ranges\":0", "\"p_bs_padd_ranges\":5"), v.bin},
        {"too many channels", replaced(v.json, "\"channels\":3", "\"channels\":300"), v.bin},
        {"string where a number belongs", replaced(v.json, "\"count\":18", "\"count\":\"18\""), v.bin},
        {"flag out of range", replaced(v.json, "\"is_eye\":0", "\"is_eye\":7"), v.bin},
        {"drawcall claims 32-bit indices",
         replaced(v.json, "\"is_ebo_32bit\":0", "\"is_ebo_32bit\":1"), v.bin},
        {"drawcalls not a list", v.json.substr(0, v.json.find("\"drawcalls\"")) + "\"drawcalls\":{}}", v.bin},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(read(c.bin, c.json, error)) << c.what;
    }
}

TEST(MeshBundleReader, refusesCorruptRangeRecords) {
    const ValidBundle v;
    // Locate bs_add_ranges through the descriptor and spoil each field of the first record.
    MeshBundleDescriptor d;
    std::string error;
    ASSERT_TRUE(d.parse(v.json.data(), v.json.size(), error));
    const uint64_t at = d.buffers[MeshBundleDescriptor::BsAddRanges].offset;
    const std::vector<std::vector<uint32_t>> spoiled = {
        {0x7FFFFFF0u, 0xFFFFFFFFu, 1u},     // vbo_dyn byte offset: past the end, odd
        {0x7FFFFFF0u, 0xFFFFFFFFu, 1u},     // bs_deltas byte offset
        {0x7FFFFFF0u, 0xFFFFFFFFu, 4000u},  // int16 count
    };
    for (int field = 0; field < 3; ++field) {
        for (const uint32_t value : spoiled[field]) {
            std::vector<uint8_t> bin = v.bin;
            std::memcpy(&bin[at + field * 4], &value, 4);
            EXPECT_FALSE(read(bin, v.json, error)) << "field " << field << " value " << value;
        }
    }
    const uint64_t padd = d.buffers[MeshBundleDescriptor::BsPaddRanges].offset;
    std::vector<uint8_t> bin = v.bin;
    const uint32_t big = 1000;
    std::memcpy(&bin[padd + 4], &big, 4);
    EXPECT_FALSE(read(bin, v.json, error));
}

// Inputs whose decoding would take far more than their size, or whose JSON
// nests deeper than any stack: each is a refusal with a reason, not a crash.
TEST(MeshBundleReader, refusesAmplificationAndDeepNesting) {
    const ValidBundle big(3000, true);
    const size_t list = big.json.find("\"drawcalls\":[") + 13;
    const std::string first = big.json.substr(list + 1, big.json.find("\n}}", list) + 3 - list - 1);
    std::string repeated = first;
    for (int i = 0; i < 400; ++i)
        repeated += ",\n" + first;
    struct Case {
        const char* what;
        std::string json;
        const char* reason;
    };
    const Case cases[] = {
        {"one large drawcall listed 400 times", big.json.substr(0, list + 1) + repeated + "\n]}", "times the bundle"},
        {"100000 nested arrays", std::string(100000, '['), "not valid JSON"},
        {"100000 nested objects", std::string(100000, '{'), "not valid JSON"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(read(big.bin, c.json, error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
    }
    std::string error;
    EXPECT_TRUE(read(big.bin, big.json, error)) << "the large bundle itself stays readable: " << error;
}

TEST(MeshBundleReader, survivesRandomCutsAndFlips) {
    const ValidBundle v;
    std::mt19937 rng(12345);
    std::string error;
    int accepted = 0;
    for (size_t cut = 0; cut < v.bin.size(); cut += 3) {
        const std::vector<uint8_t> bin(v.bin.begin(), v.bin.begin() + cut);
        EXPECT_FALSE(read(bin, v.json, error));
    }
    for (size_t cut = 0; cut < v.json.size(); ++cut)
        EXPECT_FALSE(read(v.bin, v.json.substr(0, cut), error)) << cut;
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bin = v.bin;
        std::string json = v.json;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i) {
            if (rng() % 2)
                bin[rng() % bin.size()] ^= static_cast<uint8_t>(1u << (rng() % 8));
            else
                json[rng() % json.size()] = "0123456789,:[]{}\"-9e"[rng() % 20];
        }
        accepted += read(bin, json, error) ? 1 : 0;
    }
    // Flips inside float data leave a readable file; structural ones do not.
    EXPECT_GT(accepted, 0);
    EXPECT_LT(accepted, 3000);
}

TEST(MeshBundleReader, fileWrapperReportsMissingFiles) {
    ScratchDir dir;
    TraceCapture trace;
    std::vector<MeshBundleMesh> meshes;
    std::string error;
    EXPECT_FALSE(MeshBundleReader::fromFiles(dir.file("avatar"), meshes, error));
    EXPECT_NE(error.find("avatar.bin"), std::string::npos);
    EXPECT_TRUE(trace.contains("MeshBundleReader: "));
}

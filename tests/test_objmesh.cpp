// ObjMesh: OBJ, MTL and OFF reading, writing, normals, bounds, draw arrays,
// copies and sub-meshes, and the multi-group reader.

#include "geometry/LineReader.h"
#include "geometry/ObjGroupReader.h"
#include "geometry/ObjMesh.h"
#include "geometry/ObjReader.h"
#include "images/ResourceManager.h"
#include "scenegraph/GLNode.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <tiny_obj_loader.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// Loads OBJ text (no library on disk) with console output captured.
ObjMesh objFromText(const std::string& text, bool forceNormals = false, const std::string& path = "mem.obj") {
    ObjMesh mesh;
    EXPECT_EQ(mesh.loadObjBytes(text, path, forceNormals, false), 1);
    return mesh;
}

std::vector<int32_t> corners(const Face& f, const int32_t* field) {
    return std::vector<int32_t>(field, field + f.count);
}

// Every corner index lies inside its array: what readers promise.
void expectIndicesInRange(const ObjMesh& m) {
    for (const Face& f : m.faces) {
        ASSERT_GE(f.count, 0);
        ASSERT_LE(f.count, Face::kMaxCorners);
        for (int i = 0; i < f.count; ++i) {
            ASSERT_GE(f.v[i], 0);
            ASSERT_LT(size_t(f.v[i]), m.vertices.size());
            ASSERT_TRUE(f.t[i] == -1 || (f.t[i] >= 0 && size_t(f.t[i]) < m.texCoords.size()));
            ASSERT_TRUE(f.n[i] == -1 || (f.n[i] >= 0 && size_t(f.n[i]) < m.normals.size()));
        }
        ASSERT_TRUE(f.material == -1 || (f.material >= 0 && size_t(f.material) < m.materials.size()));
    }
}

const char* kQuadObj = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nf 1/1 2/2 3/3 4/4\n";

} // namespace

// ---- Face corners ----

TEST(ObjFaceCorners, readsEveryCornerForm) {
    struct Case {
        const char* text;
        std::vector<int32_t> v, t, n;
    } cases[] = {
        {"1 2 3", {0, 1, 2}, {-1, -1, -1}, {-1, -1, -1}},
        {"1//4 2//5 3//6", {0, 1, 2}, {-1, -1, -1}, {3, 4, 5}},
        {"1/7 2/8 3/9", {0, 1, 2}, {6, 7, 8}, {-1, -1, -1}},
        {"1/7/4 2/8/5 3/9/6", {0, 1, 2}, {6, 7, 8}, {3, 4, 5}},
        {"\t1/2/\t 3/4/ ", {0, 2}, {1, 3}, {-1, -1}},
        {"-1/-2/-3 x", {-2, -1}, {-3, -1}, {-4, -1}},
        {"1/2//3 4/x/5 6// +7/+8 9/8/7/6", {0, 3, 5, 6, 8}, {-1, -1, -1, 7, 7}, {2, 4, -1, -1, 6}},
        {"2147483648/-2147483649 1e3/2.5", {2147483646, 999 - 999}, {INT32_MIN, 1}, {-1, -1}},
    };
    for (const Case& c : cases) {
        int32_t v[12], t[12], n[12];
        const int count = ObjMesh::parseFaceCorners(c.text, v, t, n, 12);
        ASSERT_EQ(size_t(count), c.v.size()) << c.text;
        EXPECT_EQ(std::vector<int32_t>(v, v + count), c.v) << c.text;
        EXPECT_EQ(std::vector<int32_t>(t, t + count), c.t) << c.text;
        EXPECT_EQ(std::vector<int32_t>(n, n + count), c.n) << c.text;
    }
}

TEST(ObjFaceCorners, countsCornersBeyondCapacityWithoutWritingThem) {
    int32_t v[2] = {77, 77}, t[2], n[2];
    EXPECT_EQ(ObjMesh::parseFaceCorners("1 2 3 4", v, t, n, 1), 4);
    EXPECT_EQ(v[0], 0);
    EXPECT_EQ(v[1], 77);
}

// ---- OBJ reading ----

TEST(ObjRead, cornersWithoutNormalsGetComputedOnesEqualToVertexIndices) {
    TraceCapture trace;
    for (const char* face : {"f 1 2 3\n", "f 1/1 2/2 3/3\n", "f 1//1 2//1 3//1\n"}) {
        ObjMesh m = objFromText(std::string("v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n") + face);
        ASSERT_EQ(m.faces.size(), 1u);
        EXPECT_EQ(corners(m.faces[0], m.faces[0].n), corners(m.faces[0], m.faces[0].v)) << face;
        ASSERT_EQ(m.normals.size(), 3u);
        EXPECT_FLOAT_EQ(m.normals[0].z, 1.0f);
        EXPECT_FLOAT_EQ(m.faceNormals[0].z, 1.0f);
    }
    EXPECT_TRUE(trace.contains("ObjLoaded: \n\tnumber of vertices:3\n"));
}

TEST(ObjRead, keepsFileNormalsUnlessForced) {
    TraceCapture trace;
    const std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 1 0\nvn 1 0 0\nf 1//2 2//2 3//1\n";
    ObjMesh kept = objFromText(text);
    ASSERT_EQ(kept.normals.size(), 2u);
    EXPECT_EQ(corners(kept.faces[0], kept.faces[0].n), (std::vector<int32_t>{1, 1, 0}));
    EXPECT_FLOAT_EQ(kept.normals[0].y, 1.0f);
    ObjMesh forced = objFromText(text, true);
    ASSERT_EQ(forced.normals.size(), 3u);
    EXPECT_EQ(corners(forced.faces[0], forced.faces[0].n), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_FLOAT_EQ(forced.normals[1].z, 1.0f);
}

TEST(ObjRead, fillsPerVertexColoursFlagsBoundsAndName) {
    TraceCapture trace;
    ObjMesh m;
    ASSERT_EQ(m.loadObjBytes("v -1 2 3\nv 4 -5 6\n", "dir\\sub/x.obj", false, false), 1);
    EXPECT_EQ(m.name, "x.obj");
    EXPECT_EQ(m.filePath, "dir\\sub/x.obj");
    ASSERT_EQ(m.colors.size(), 2u);
    EXPECT_FLOAT_EQ(m.colors[1].y, 0.8f);
    EXPECT_EQ(m.vertexFlags, (std::vector<uint32_t>{0, 0}));
    EXPECT_FLOAT_EQ(m.boundsMin.x, -1);
    EXPECT_FLOAT_EQ(m.boundsMin.y, -5);
    EXPECT_FLOAT_EQ(m.boundsMax.z, 6);
    ASSERT_EQ(m.loadObjBytes("", "plain", false, false), 1);
    EXPECT_EQ(m.name, "plain");
    EXPECT_FLOAT_EQ(m.boundsMin.x, 1e15f);
    EXPECT_FLOAT_EQ(m.boundsMax.x, -1e15f);
}

TEST(ObjRead, readsMissingNumbersAsZeroAndNumbersLikeAtof) {
    TraceCapture trace;
    ObjMesh m = objFromText("v 1\nv\nv +2.5e1 -.5 1e-3x\nvt 0.25\nvn 1 2\nv 0x1p3 1e999 -1e-999\n");
    ASSERT_EQ(m.vertices.size(), 4u);
    EXPECT_FLOAT_EQ(m.vertices[0].x, 1);
    EXPECT_FLOAT_EQ(m.vertices[0].y, 0);
    EXPECT_FLOAT_EQ(m.vertices[1].z, 0);
    EXPECT_FLOAT_EQ(m.vertices[2].x, 25);
    EXPECT_FLOAT_EQ(m.vertices[2].y, -0.5f);
    EXPECT_FLOAT_EQ(m.vertices[2].z, float(atof("1e-3x")));
    EXPECT_FLOAT_EQ(m.vertices[3].x, 8);
    EXPECT_TRUE(std::isinf(m.vertices[3].y));
    EXPECT_EQ(m.vertices[3].z, 0.0f);
    ASSERT_EQ(m.texCoords.size(), 1u);
    EXPECT_FLOAT_EQ(m.texCoords[0].v, 0);
}

TEST(ObjRead, parsesNumbersExactlyAsAtof) {
    TraceCapture trace;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> mag(-30, 30);
    std::string text;
    std::vector<std::string> tokens;
    for (int i = 0; i < 3000; ++i) {
        char buf[64];
        snprintf(buf, sizeof buf, "%.*g", 1 + int(rng() % 17), std::pow(10.0, mag(rng)) * (rng() % 2 ? 1 : -1));
        tokens.push_back(buf);
    }
    for (size_t i = 0; i + 2 < tokens.size(); i += 3)
        text += "v " + tokens[i] + " " + tokens[i + 1] + " " + tokens[i + 2] + "\n";
    ObjMesh m = objFromText(text);
    ASSERT_EQ(m.vertices.size(), tokens.size() / 3);
    for (size_t i = 0; i < m.vertices.size(); ++i)
        for (int k = 0; k < 3; ++k)
            ASSERT_EQ(m.vertices[i][k], float(atof(tokens[3 * i + k].c_str()))) << tokens[3 * i + k];
}

TEST(ObjRead, resolvesRelativeIndicesAndDropsFacesOutOfRange) {
    TraceCapture trace;
    ObjMesh m = objFromText("v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nf -3/-1 -2/-1 -1/-1\n"  // line 5: relative
                            "f 1 2 6\n"                                                 // line 6: 6 never comes
                            "f 0 1 2\n"                                                 // line 7: zero index
                            "f 1 2 -4\n"                                                // line 8: before the first
                            "f 1/2 2 3\n"                                               // line 9: no vt 2
                            "f 1 2 5\nv 1 1 0\nv 2 2 0\n",                              // line 10: forward, valid
                            false, "rel.obj");
    ASSERT_EQ(m.faces.size(), 2u);
    EXPECT_EQ(corners(m.faces[0], m.faces[0].v), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(corners(m.faces[0], m.faces[0].t), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_EQ(corners(m.faces[1], m.faces[1].v), (std::vector<int32_t>{0, 1, 4}));
    for (int line : {6, 7, 8, 9})
        EXPECT_TRUE(trace.contains("Face dropped: index out of range in rel.obj at line " + std::to_string(line) + "\n"))
            << line;
    EXPECT_FALSE(trace.contains("at line 10\n"));
    expectIndicesInRange(m);
}

TEST(ObjRead, splitsLongFacesIntoFansThatFit) {
    TraceCapture trace;
    for (int n : {12, 13, 22, 23, 40}) {
        std::string text;
        std::string face = "f";
        for (int i = 0; i < n; ++i) {
            const double a = 2 * M_PI * i / n;
            text += "v " + std::to_string(std::cos(a)) + " " + std::to_string(std::sin(a)) + " 0\n";
            face += " " + std::to_string(i + 1);
        }
        ObjMesh m = objFromText(text + face + "\n");
        const int expectedFaces = n <= 12 ? 1 : 1 + (n - 12 + 9) / 10;
        ASSERT_EQ(int(m.faces.size()), expectedFaces) << n;
        // The fan covers every corner-to-corner triangle (0, k-1, k) exactly once.
        std::vector<int> seen(n, 0);
        int triangles = 0;
        for (const Face& f : m.faces) {
            EXPECT_LE(f.count, 12);
            EXPECT_EQ(f.v[0], 0);
            for (int i = 1; i < f.count; ++i)
                seen[f.v[i]]++;
            triangles += f.count - 2;
        }
        EXPECT_EQ(triangles, n - 2) << n;
        for (int i = 1; i < n; ++i)
            EXPECT_GE(seen[i], 1) << n << " corner " << i;
        m.buildDrawArrays(0);
        EXPECT_EQ(m.drawPositions[0].size(), size_t(3 * (n - 2)));
    }
}

TEST(ObjRead, reportsUnhandledKeywordsWithTheirLine) {
    TraceCapture trace;
    ObjMesh m = objFromText("# comment\n\ng head\no obj\ns 1\nv 0 0 0\n#x\n  vp 1\n");
    EXPECT_TRUE(trace.contains("Unknown command 'g' in scene code at line 3: \"g\".\n"));
    EXPECT_TRUE(trace.contains("Unknown command 'o' in scene code at line 4: \"o\".\n"));
    EXPECT_TRUE(trace.contains("Unknown command 's' in scene code at line 5: \"s\".\n"));
    EXPECT_TRUE(trace.contains("Unknown command 'vp' in scene code at line 8: \"vp\".\n"));
    EXPECT_EQ(trace.count("Unknown command"), 4);
    EXPECT_EQ(m.vertices.size(), 1u);
}

TEST(ObjRead, handlesCrLfAndMissingFinalNewline) {
    TraceCapture trace;
    ObjMesh m = objFromText("v 1 2 3\r\nv 4 5 6\r\nv 7 8 9\r\nf 1 2 3");
    ASSERT_EQ(m.vertices.size(), 3u);
    EXPECT_FLOAT_EQ(m.vertices[2].z, 9);
    ASSERT_EQ(m.faces.size(), 1u);
    EXPECT_EQ(m.faces[0].count, 3);
}

TEST(ObjRead, largeFilesReadInBlocksMatchTheBytesReaderAndAllocateExactly) {
    TraceCapture trace;
    ScratchDir dir;
    // About 20 MB: above the whole-file limit, so the file is read in blocks
    // and lines cross block boundaries.
    std::string text;
    const int side = 460;
    for (int i = 0; i < side * side; ++i)
        text += "v " + std::to_string(i % side) + ".125 " + std::to_string(i / side) + ".5 -0.0001220703125\n";
    for (int i = 0; i < side * side; ++i)
        text += "vt 0." + std::to_string(i % 1000) + " 0.25\n";
    for (int y = 0; y + 1 < side; ++y)
        for (int x = 0; x + 1 < side; ++x) {
            const int a = y * side + x + 1;
            text += "f " + std::to_string(a) + "/" + std::to_string(a) + " " + std::to_string(a + 1) + "/-1 " +
                    std::to_string(a + side + 1) + " " + std::to_string(a + side) + "/" + std::to_string(a) + "\n";
        }
    ASSERT_GT(text.size(), size_t(16) << 20);
    writeFile(dir.file("big.obj"), text);
    ObjMesh fromFile, fromBytes;
    ASSERT_EQ(fromFile.loadObj(dir.file("big.obj"), false, false), 1);
    ASSERT_EQ(fromBytes.loadObjBytes(text, dir.file("big.obj"), false, false), 1);
    ASSERT_EQ(fromFile.vertices.size(), size_t(side * side));
    ASSERT_EQ(fromFile.faces.size(), size_t((side - 1) * (side - 1)));
    EXPECT_EQ(fromFile.vertices.capacity(), fromFile.vertices.size());
    EXPECT_EQ(fromFile.texCoords.capacity(), fromFile.texCoords.size());
    EXPECT_EQ(fromFile.faces.capacity(), fromFile.faces.size());
    ASSERT_EQ(fromBytes.faces.size(), fromFile.faces.size());
    for (size_t i = 0; i < fromFile.vertices.size(); ++i)
        ASSERT_EQ(fromFile.vertices[i].y, fromBytes.vertices[i].y) << i;
    for (size_t i = 0; i < fromFile.faces.size(); ++i) {
        ASSERT_EQ(corners(fromFile.faces[i], fromFile.faces[i].v), corners(fromBytes.faces[i], fromBytes.faces[i].v));
        ASSERT_EQ(corners(fromFile.faces[i], fromFile.faces[i].t), corners(fromBytes.faces[i], fromBytes.faces[i].t));
    }
    EXPECT_EQ(fromFile.faces.back().t[1], side * side - 1); // "-1" is the last texture coordinate
    EXPECT_FLOAT_EQ(fromFile.vertices[side + 3].x, 3.125f);
    EXPECT_EQ(fromFile.vertices[5].z, -0.0001220703125f);
}

TEST(ObjRead, refusesPathsOf500BytesOrMore) {
    TraceCapture trace;
    ObjMesh m;
    EXPECT_EQ(m.loadObjBytes("v 0 0 0\n", std::string(500, 'a'), false, false), 0);
    EXPECT_TRUE(m.vertices.empty());
    EXPECT_EQ(m.loadObjBytes("v 0 0 0\n", std::string(499, 'a'), false, false), 1);
    EXPECT_EQ(m.loadObj("/nonexistent/file.obj", false, false), 0);
    EXPECT_TRUE(trace.contains("Error reading file: /nonexistent/file.obj\n"));
}

// ---- Materials ----

class MtlFiles : public testing::Test {
protected:
    void write(const std::string& name, const std::string& text) { writeFile(dir.file(name), text); }
    ObjMesh load(const std::string& objText, bool forceNormals = false) {
        write("m.obj", objText);
        ObjMesh m;
        EXPECT_EQ(m.loadObj(dir.file("m.obj"), forceNormals, false), 1);
        return m;
    }
    ScratchDir dir;
    TraceCapture trace;
};

TEST_F(MtlFiles, usemtlMatchesWholeNamesOnlyAndNeedsALibrary) {
    write("lib.mtl", "newmtl red\nKd 1 0 0\nnewmtl redder\nKd 0.5 0 0\nnewmtl red\nKd 0.9 0 0\n");
    ObjMesh m = load("v 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl red\nf 1 2 3\nmtllib lib.mtl\nusemtl re\nf 1 2 3\n"
                     "usemtl red\nf 1 2 3\nusemtl redder \nf 1 2 3\n");
    EXPECT_EQ(m.mtlFile, "lib.mtl");
    ASSERT_EQ(m.materials.size(), 3u);
    ASSERT_EQ(m.faces.size(), 4u);
    EXPECT_EQ(m.faces[0].material, -1); // before mtllib
    EXPECT_EQ(m.faces[1].material, -1); // a prefix matches nothing
    EXPECT_EQ(m.faces[2].material, 2);  // the last of equal names
    EXPECT_EQ(m.faces[3].material, 1);
    m.buildDrawArrays(0);
    ASSERT_EQ(m.drawPositions.size(), 3u);
    EXPECT_EQ(m.drawPositions[0].size(), 0u);
    EXPECT_EQ(m.drawPositions[1].size(), 3u);
    EXPECT_EQ(m.drawPositions[2].size(), 3u); // the two faces without material are not drawn
}

TEST_F(MtlFiles, readsEveryValueKeyword) {
    write("lib.mtl", "# c\n// c\nKd 1 1 1\nnewmtl a b \n\tKa 0.1 0.2 0.3\n Kd 0.4 0.5\nKs 0.7 0.8 0.9\nNs 12\nd 0.5\n"
                     "r 2\nra 3\nsharpness 4\nNi 1.5\nillum 2\nfoo 1\nnewmtl second\nTr 0.25\n");
    ObjMesh m = load("mtllib lib.mtl\nv 0 0 0\n");
    ASSERT_EQ(m.materials.size(), 2u);
    const Material& a = m.materials[0];
    EXPECT_EQ(a.name, "a b");
    EXPECT_FLOAT_EQ(a.Ka.z, 0.3f);
    EXPECT_FLOAT_EQ(a.Kd.y, 0.5f);
    EXPECT_FLOAT_EQ(a.Kd.z, 0.0f);
    EXPECT_FLOAT_EQ(a.Ks.x, 0.7f);
    EXPECT_FLOAT_EQ(a.Ns, 12);
    EXPECT_FLOAT_EQ(a.Tr, 0.5f);
    EXPECT_FLOAT_EQ(a.r, 2);
    EXPECT_FLOAT_EQ(a.ra, 3);
    EXPECT_FLOAT_EQ(a.sharpness, 4);
    EXPECT_FLOAT_EQ(a.Ni, 1.5f);
    const Material& b = m.materials[1];
    EXPECT_FLOAT_EQ(b.Tr, 0.25f);
    EXPECT_FLOAT_EQ(b.Kd.x, 0.8f);
    EXPECT_FLOAT_EQ(b.sharpness, 98);
    EXPECT_FLOAT_EQ(b.Ni, 1);
    const std::string lib = dir.file("lib.mtl");
    EXPECT_TRUE(trace.contains("Unknown command 'Kd' in material file " + lib + " at line 3:\n\tKd\n"));
    EXPECT_TRUE(trace.contains("Unknown command 'foo' in material file " + lib + " at line 15:\n\tfoo\n"));
    EXPECT_FALSE(trace.contains("'illum'"));
}

TEST_F(MtlFiles, resolvesTexturesNextToTheLibraryKeepingSpaces) {
    fs::create_directories(dir.file("tex"));
    write("tex/my picture.png", "not really a png");
    write("lib.mtl", "newmtl a\nmap_Kd tex/my picture.png  \nnewmtl b\nmap_Ka missing.png\n");
    ObjMesh m = load("mtllib lib.mtl\n");
    ASSERT_EQ(m.materials.size(), 2u);
    EXPECT_EQ(m.materials[0].textureFile, dir.file("tex/my picture.png"));
    EXPECT_NE(ResourceManager::instance()->find(dir.file("tex/my picture.png")), nullptr);
    EXPECT_EQ(m.materials[1].textureFile, "missing.png");
    EXPECT_TRUE(trace.contains("Load Texture " + dir.file("missing.png") + "\n"));
    EXPECT_TRUE(trace.contains("Relate path does not exist, Try Absolute path!\n"));
    EXPECT_TRUE(trace.contains("Load Texture missing.png\nAbsolute path does not exist!\n"));
}

TEST_F(MtlFiles, refusesOverlongNamesButReadsTheRest) {
    const std::string longName(255, 'm');
    write("lib.mtl", "newmtl " + longName + "\nKd 1 0 0\nnewmtl ok\nmap_Kd " + std::string(500, 't') +
                         "\nKd 0 1 0\nnewmtl " + std::string(254, 'n') + "\n");
    ObjMesh m = load("mtllib lib.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl " + longName + "\nf 1 2 3\n");
    ASSERT_EQ(m.materials.size(), 2u);
    EXPECT_EQ(m.materials[0].name, "ok");
    EXPECT_TRUE(m.materials[0].textureFile.empty());
    EXPECT_FLOAT_EQ(m.materials[0].Kd.y, 1);
    EXPECT_EQ(m.materials[1].name.size(), 254u);
    EXPECT_EQ(m.faces[0].material, -1);
    EXPECT_TRUE(trace.contains("Material name too long"));
    EXPECT_TRUE(trace.contains("Texture name too long"));
}

TEST_F(MtlFiles, missingLibraryKeepsReading) {
    ObjMesh m = load("mtllib none.mtl\nv 0 0 0\nusemtl x\n");
    EXPECT_TRUE(trace.contains("Error reading file: " + dir.file("none.mtl") + "\n"));
    EXPECT_EQ(m.vertices.size(), 1u);
    EXPECT_TRUE(m.materials.empty());
}

TEST_F(MtlFiles, aLaterLibraryThatShrinksLeavesNoDanglingMaterial) {
    write("big.mtl", "newmtl a\nnewmtl b\n");
    write("small.mtl", "newmtl a\n");
    ObjMesh m = load("mtllib big.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl b\nf 1 2 3\nmtllib small.mtl\n");
    ASSERT_EQ(m.materials.size(), 1u);
    EXPECT_EQ(m.faces[0].material, -1);
    expectIndicesInRange(m);
}

// ---- OFF ----

TEST(OffRead, readsCountsVerticesAndFaces) {
    TraceCapture trace;
    ObjMesh m;
    ASSERT_EQ(m.loadOffBytes("OFF\n# comment\n4 2 0\n0 0 0\n1 0 0\n1 1 0 0.5 0.5\n0 1 0\n3 0 1 2\n3 0 2 3 255 0 0\n",
                             "a.off", false),
              1);
    ASSERT_EQ(m.vertices.size(), 4u);
    ASSERT_EQ(m.faces.size(), 2u);
    EXPECT_EQ(corners(m.faces[1], m.faces[1].v), (std::vector<int32_t>{0, 2, 3}));
    EXPECT_EQ(corners(m.faces[1], m.faces[1].t), (std::vector<int32_t>{-1, -1, -1}));
    EXPECT_EQ(m.faces[1].material, -1);
    EXPECT_EQ(m.normals.size(), 4u);
    EXPECT_EQ(m.colors.size(), 4u);
    EXPECT_TRUE(trace.contains("OffLoaded: \n\tnumber of vertices:4\n\tnumber of faces:2\n"));
}

TEST(OffRead, readsFilesNormalizedAndReportsMissingOnes) {
    TraceCapture trace;
    ScratchDir dir;
    writeFile(dir.file("t.off"), "OFF 3 1 0\n0 0 0\n4 0 0\n0 2 0\n3 0 1 2\n");
    ObjMesh m;
    ASSERT_EQ(m.loadOff(dir.file("t.off"), true), 1);
    EXPECT_EQ(m.name, "t.off");
    EXPECT_FLOAT_EQ(m.boundsMax.x, 0.5f);
    EXPECT_FLOAT_EQ(m.boundsMin.y, -0.25f);
    EXPECT_FLOAT_EQ(m.faceNormals[0].z, 1);
    EXPECT_EQ(m.loadOff(dir.file("none.off"), false), 0);
    EXPECT_TRUE(trace.contains("Error reading file: " + dir.file("none.off") + "\n"));
    EXPECT_TRUE(m.vertices.empty());
}

TEST(OffRead, refusesBadHeadersCountsAndFaces) {
    struct Bad {
        const char* text;
        const char* reason;
    } bad[] = {
        {"", "no OFF header"},
        {"COFF\n1 0 0\n0 0 0\n", "no OFF header"},
        {"OFF\n-1 0 0\n", "negative element count"},
        {"OFF\n1 -5 0\n0 0 0\n", "negative element count"},
        {"OFF\n2000000000 2000000000 0\n0 0 0\n", "element counts exceed the file"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n", "vertex index out of range"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 -1\n", "vertex index out of range"},
        {"OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n-3 0 1 2\n", "negative number of verts"},
        {"OFF\n3 2 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n3 0 1\n", "unexpected end of file"},
        {"OFF\n3", "unexpected end of file"},
        {"OFF\n3 1\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n", "no edge count after the vertex and face counts"},
    };
    for (const Bad& b : bad) {
        TraceCapture t;
        ObjMesh o;
        EXPECT_EQ(o.loadOffBytes(b.text, "bad.off", false), 0) << b.text;
        EXPECT_TRUE(t.contains(std::string("error in loading off file: ") + b.reason)) << b.text << t.all();
        expectIndicesInRange(o);
    }
}

// ---- Geometry ----

TEST(ObjGeometry, normalizeToUnitScalesByTheLongestSide) {
    TraceCapture trace;
    ObjMesh m = objFromText("v 0 0 0\nv 2 4 1\nv 1 1 1\n");
    m.dirty = false;
    m.normalizeToUnit();
    EXPECT_TRUE(m.dirty);
    EXPECT_FLOAT_EQ(m.vertices[0].x, -0.25f);
    EXPECT_FLOAT_EQ(m.vertices[0].y, -0.5f);
    EXPECT_FLOAT_EQ(m.vertices[1].z, 0.125f);
    EXPECT_FLOAT_EQ(m.vertices[2].x, 0.0f);
    ObjMesh single = objFromText("v 3 4 5\n");
    single.normalizeToUnit();
    EXPECT_FLOAT_EQ(single.vertices[0].x, 3);
    ObjMesh normalized;
    ASSERT_EQ(normalized.loadObjBytes("v 0 0 0\nv 2 4 1\n", "n.obj", false, true), 1);
    EXPECT_FLOAT_EQ(normalized.boundsMax.y, 0.5f);
    EXPECT_FLOAT_EQ(normalized.boundsMin.z, -0.125f);
}

TEST(ObjGeometry, normalsSumAStripOverTheCornersWeightedByArea) {
    TraceCapture trace;
    ObjMesh m = objFromText("v 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\nv 0 0 1\nf 1 2 3 4\nf 1 5 2\nf 1 2 1\n");
    m.faces[2].count = 2; // no reader keeps such a face; edits may make one
    m.computeNormals();
    ASSERT_EQ(m.faceNormals.size(), 3u);
    EXPECT_FLOAT_EQ(m.faceNormals[0].z, 1);
    EXPECT_FLOAT_EQ(m.faceNormals[1].y, 1);
    EXPECT_FLOAT_EQ(length(m.faceNormals[2]), 0);
    // vertex 0: quad sum (0,0,8) plus triangle (0,2,0), normalised.
    const float l = std::sqrt(64.0f + 4.0f);
    EXPECT_FLOAT_EQ(m.normals[0].z, 8 / l);
    EXPECT_FLOAT_EQ(m.normals[0].y, 2 / l);
    EXPECT_FLOAT_EQ(m.normals[2].z, 1);
}

TEST(ObjGeometry, drawArraysFanPolygonsAndPickNormalsTexturesColours) {
    TraceCapture trace;
    ObjMesh m = objFromText("v 0 0 0\nv 1 0 0\nv 2 1 0\nv 1 2 0\nv 0 1 0\nvt 0.5 0.5\nvn 0 0 -1\n"
                            "f 1//1 2//1 3//1 4//1 5//1\nf 1/1 2 3\n");
    m.faces[1].hidden = true;
    m.buildDrawArrays(0);
    EXPECT_FALSE(m.dirty);
    ASSERT_EQ(m.drawPositions.size(), 1u);
    const std::vector<int> order = {0, 1, 2, 0, 2, 3, 0, 3, 4};
    ASSERT_EQ(m.drawPositions[0].size(), order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(m.drawPositions[0][i].x, m.vertices[order[i]].x);
        EXPECT_EQ(m.drawPositions[0][i].y, m.vertices[order[i]].y);
    }
    EXPECT_FLOAT_EQ(m.drawNormals[0][0].z, 1); // face normal (counter-clockwise)
    EXPECT_EQ(m.drawTexCoords[0].size(), order.size());
    EXPECT_FLOAT_EQ(m.drawTexCoords[0][0].u, 0); // t = -1 gives (0, 0)
    EXPECT_EQ(m.drawColors[0].size(), order.size());
    m.buildDrawArrays(RenderMode::smooth);
    EXPECT_FLOAT_EQ(m.drawNormals[0][0].z, -1); // the file's corner normal
    m.faces[0].v[2] = 99; // edited by hand: triangles (0 1 2) and (0 2 3) are left out whole
    m.buildDrawArrays(0);
    ASSERT_EQ(m.drawPositions[0].size(), 3u);
    EXPECT_EQ(m.drawPositions[0][1].y, m.vertices[3].y);
}

TEST(ObjGeometry, loadTextureAddsMaterialsWhereNeeded) {
    TraceCapture trace;
    ObjMesh bare = objFromText(kQuadObj);
    EXPECT_EQ(bare.loadTexture("/nowhere/t.png"), 1);
    ASSERT_EQ(bare.materials.size(), 1u);
    EXPECT_EQ(bare.faces[0].material, 0);
    EXPECT_EQ(bare.materials[0].textureFile, "/nowhere/t.png");
    EXPECT_NE(ResourceManager::instance()->find("/nowhere/t.png"), nullptr);

    ObjMesh unassigned = objFromText(kQuadObj);
    unassigned.materials.resize(2);
    unassigned.materials[0].texId[3] = 9;
    EXPECT_EQ(unassigned.loadTexture("/nowhere/u.png"), 1);
    ASSERT_EQ(unassigned.materials.size(), 3u);
    EXPECT_EQ(unassigned.faces[0].material, 2);
    EXPECT_EQ(unassigned.materials[2].textureFile, "/nowhere/u.png");
    EXPECT_TRUE(unassigned.materials[0].textureFile.empty());
    EXPECT_EQ(unassigned.loadTexture(std::string(500, 'p')), 0);
}

// ---- Writing ----

TEST(ObjWrite, writesCornersWithAndWithoutNormals) {
    TraceCapture trace;
    ScratchDir dir;
    ObjMesh m = objFromText("v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n");
    Face f;
    f.count = 3;
    for (int i = 0; i < 3; ++i) {
        f.v[i] = f.t[i] = i;
        f.n[i] = -1;
    }
    m.faces.push_back(f);
    ASSERT_TRUE(m.saveObj(dir.file("a.obj")));
    EXPECT_NE(readFile(dir.file("a.obj")).find("\nf 1/1/ 2/2/ 3/3/\n"), std::string::npos);
    m.computeNormals();
    ASSERT_TRUE(m.saveObj(dir.file("a.obj")));
    const std::string text = readFile(dir.file("a.obj"));
    EXPECT_NE(text.find("\nf 1/1/1 2/2/2 3/3/3\n"), std::string::npos);
    EXPECT_EQ(text.find("mtllib"), std::string::npos);
    EXPECT_EQ(text.rfind("#number of vertices: 3\nv 0.000000 0.000000 0.000000\n", 0), 0u);
    EXPECT_NE(text.find("#number of texcoords: 3\nvt 0.000000 0.000000\n"), std::string::npos);
}

TEST(ObjWrite, writesMaterialSwitchesAndTheLibrary) {
    TraceCapture trace;
    ScratchDir dir;
    ObjMesh m = objFromText("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 3\nf 1 2 3\nf 1 2 3\n");
    m.materials.resize(2);
    m.materials[0].name = "skin";
    m.materials[1].name = "eye";
    m.materials[1].textureFile = "eye.png";
    m.mtlFile = "m.mtl";
    m.faces[0].material = 0;
    m.faces[1].material = -1;
    m.faces[2].material = 1;
    m.faces[3].material = 1;
    m.faces[3].hidden = true;
    ASSERT_TRUE(m.saveObj(dir.file("m.obj")));
    ASSERT_TRUE(m.saveMtl(dir.file("m.mtl")));
    const std::string text = readFile(dir.file("m.obj"));
    EXPECT_EQ(text.rfind("mtllib m.mtl\n", 0), 0u);
    EXPECT_NE(text.find("usemtl skin\nf 1//1 2//2 3//3\nf 1//1 2//2 3//3\nusemtl eye\n"
                        "f 1//1 2//2 3//3\nf 1//1 2//2 3//3\n"),
              std::string::npos);
    const std::string mtl = readFile(dir.file("m.mtl"));
    EXPECT_EQ(mtl.rfind("\nnewmtl skin \n\tNs 0.000000 \n\tNi 1.000000 \n\tTr 1.000000 \n\tr 0.000000 \n"
                        "\tra 0.000000 \n\tsharpness 98.000000 \n\tKa 0.000000 0.000000 0.000000 \n"
                        "\tKd 0.800000 0.800000 0.800000 \n\tKs 0.000000 0.000000 0.000000 \n\tmap_Kd  \n",
                        0),
              0u);
    EXPECT_NE(mtl.find("\tmap_Kd eye.png \n"), std::string::npos);
    // Read back through our reader.
    ObjMesh back;
    ASSERT_EQ(back.loadObj(dir.file("m.obj"), false, false), 1);
    ASSERT_EQ(back.materials.size(), 2u);
    EXPECT_EQ(back.materials[1].textureFile, "eye.png");
    EXPECT_EQ(back.faces[2].material, 1);
}

TEST(ObjWrite, failsCleanlyWhenTheFileCannotBeWritten) {
    TraceCapture trace;
    ObjMesh m = objFromText(kQuadObj);
    EXPECT_FALSE(m.saveObj("/nonexistent-dir/x.obj"));
    EXPECT_TRUE(trace.contains("Open file failed: /nonexistent-dir/x.obj"));
    EXPECT_FALSE(m.saveMtl("/nonexistent-dir/x.mtl"));
    EXPECT_TRUE(trace.contains("Error reading file: /nonexistent-dir/x.mtl\n"));
}

// ---- Copies ----

TEST(ObjCopy, copiesMeshDataButNotIdentity) {
    TraceCapture trace;
    ObjMesh a = objFromText(kQuadObj);
    a.materials.resize(1);
    a.materials[0].pixels = {1, 2, 3, 4};
    a.pickable = false;
    a.modeOverride = true;
    a.modeOverrideValue = 0x64;
    a.mtlFile = "q.mtl";
    ObjMesh b(a);
    EXPECT_EQ(b.vertices.size(), 4u);
    EXPECT_EQ(b.faces.size(), 1u);
    EXPECT_EQ(b.texCoords.size(), 4u);
    EXPECT_EQ(b.materials[0].pixels, a.materials[0].pixels);
    EXPECT_FALSE(b.pickable);
    EXPECT_TRUE(b.modeOverride);
    EXPECT_EQ(b.modeOverrideValue, 0x64);
    EXPECT_EQ(b.mtlFile, "q.mtl");
    EXPECT_EQ(b.filePath, "mem.obj");
    EXPECT_EQ(b.name, "ObjMesh");
    EXPECT_EQ(b.vertexFlags.size(), 4u);
    b.copyFrom(b);
    EXPECT_EQ(b.vertices.size(), 4u);
    // A copy into a mesh the scene shows keeps its name; the node link goes
    // with the clear that starts the copy.
    GLNode shown;
    ObjMesh c;
    c.name = "shown";
    c.node = &shown;
    c.copyFrom(a);
    EXPECT_TRUE(c.name == "shown" && c.vertices.size() == 4u && c.node == nullptr);
    b.clear();
    EXPECT_TRUE(b.vertices.empty());
    EXPECT_TRUE(b.pickable);
    EXPECT_TRUE(b.filePath.empty());
    EXPECT_EQ(b.node, nullptr);
}

TEST(ObjCopy, extractSubmeshKeepsFacesInsideTheSet) {
    TraceCapture trace;
    ObjMesh a = objFromText("v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 2 0\nvt 0 0\nvt 1 1\n"
                            "f 1/1 2/2 3/1\nf 1 3 4\nf 3 5 4\n");
    ObjMesh out;
    std::vector<int32_t> faceMap;
    a.extractSubmesh({3, 2, 0, 1}, &out, &faceMap);
    ASSERT_EQ(out.vertices.size(), 4u);
    EXPECT_FLOAT_EQ(out.vertices[0].y, 1); // vertex 3 first
    EXPECT_EQ(faceMap, (std::vector<int32_t>{0, 1, -1}));
    ASSERT_EQ(out.faces.size(), 2u);
    EXPECT_EQ(corners(out.faces[0], out.faces[0].v), (std::vector<int32_t>{2, 3, 1}));
    EXPECT_EQ(corners(out.faces[0], out.faces[0].t), (std::vector<int32_t>{0, 1, 0}));
    EXPECT_EQ(corners(out.faces[1], out.faces[1].v), (std::vector<int32_t>{2, 1, 0}));
    EXPECT_EQ(out.normals.size(), 4u);
    EXPECT_EQ(out.colors.size(), 4u);
    EXPECT_FLOAT_EQ(out.boundsMax.x, 1);
    EXPECT_EQ(out.vertexFlags, (std::vector<uint32_t>{0, 0, 0, 0}));
    expectIndicesInRange(out);

    ObjMesh partial;
    a.extractSubmesh({0, 7, 1}, &partial, nullptr);
    EXPECT_TRUE(trace.contains("error: not valid vertex id: 7"));
    EXPECT_EQ(partial.vertices.size(), 1u);
    EXPECT_EQ(partial.colors.size(), 1u);
    EXPECT_TRUE(partial.faces.empty());
    a.extractSubmesh({0}, nullptr, nullptr);
    EXPECT_TRUE(trace.contains("error: null pointer provided!"));
}

// ---- Multi-group reader ----

namespace {

struct OwnedMeshes {
    std::vector<ObjMesh*> list;
    ~OwnedMeshes() {
        for (ObjMesh* m : list)
            delete m;
    }
};

} // namespace

TEST(ObjGroups, splitsGroupsWithMeshLocalTrianglesAndSharedMaterials) {
    TraceCapture trace;
    ScratchDir dir;
    writeFile(dir.file("g.mtl"), "newmtl skin\nKd 1 0 0\nnewmtl eye\n");
    // Vertices first, then the group and its faces (as exporters lay it out).
    writeFile(dir.file("g.obj"), "mtllib g.mtl\ng default\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\n"
                                 "g quad\nusemtl skin\ns 1\nf 1/1 2/1 3/1 4/1\n"
                                 "v 5 5 5\nv 6 5 5\nv 6 6 5\nvn 0 0 1\n"
                                 "g tri\nusemtl eye\ns off\nf 5//1 6//1 7//1\ns 2\nf -3//1 -2//1 -1//1\n"
                                 "o thing\n");
    OwnedMeshes out;
    ASSERT_EQ(ResourceManager::loadObjGroups(dir.file("g.obj"), false, out.list), 1);
    EXPECT_TRUE(trace.contains("obj_parse_mtl_file end\n"));
    EXPECT_TRUE(trace.contains("Unknown command 'o' in scene code at line 22"));
    ASSERT_EQ(out.list.size(), 2u);
    const ObjMesh& quad = *out.list[0];
    EXPECT_EQ(quad.name, "quad");
    EXPECT_EQ(quad.vertices.size(), 4u);
    ASSERT_EQ(quad.faces.size(), 2u);
    EXPECT_EQ(corners(quad.faces[1], quad.faces[1].v), (std::vector<int32_t>{0, 2, 3}));
    EXPECT_EQ(quad.faces[0].material, 0);
    EXPECT_EQ(quad.faces[0].smoothGroup, 1);
    EXPECT_EQ(quad.normals.size(), 4u); // computed: the group has none
    EXPECT_EQ(quad.materials.size(), 2u);
    EXPECT_EQ(quad.mtlFile, "g.mtl");
    const ObjMesh& tri = *out.list[1];
    EXPECT_EQ(tri.name, "tri");
    ASSERT_EQ(tri.vertices.size(), 3u);
    EXPECT_FLOAT_EQ(tri.vertices[0].x, 5);
    ASSERT_EQ(tri.faces.size(), 2u);
    EXPECT_EQ(corners(tri.faces[0], tri.faces[0].v), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(corners(tri.faces[1], tri.faces[1].v), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(corners(tri.faces[0], tri.faces[0].n), (std::vector<int32_t>{0, 0, 0}));
    EXPECT_EQ(tri.faces[0].material, 1);
    EXPECT_EQ(tri.faces[0].smoothGroup, 0);
    EXPECT_EQ(tri.faces[1].smoothGroup, 1);
    EXPECT_EQ(tri.normals.size(), 1u); // kept from the file
    for (const ObjMesh* m : out.list)
        expectIndicesInRange(*m);
}

TEST(ObjGroups, namesAFirstMeshAfterItsGroupAndDropsBadFaces) {
    TraceCapture trace;
    ScratchDir dir;
    writeFile(dir.file("h.obj"), "g head\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 1 2 9\nf 1 2\n"
                                 "g eyes\nv 0 0 1\nv 1 0 1\nv 0 1 1\nf 4 5 6\n");
    OwnedMeshes out;
    ASSERT_EQ(ResourceManager::loadObjGroups(dir.file("h.obj"), true, out.list), 1);
    ASSERT_EQ(out.list.size(), 2u);
    EXPECT_EQ(out.list[0]->name, "head");
    EXPECT_EQ(out.list[0]->faces.size(), 1u);
    EXPECT_EQ(out.list[1]->name, "eyes");
    ASSERT_EQ(out.list[1]->faces.size(), 1u);
    EXPECT_EQ(corners(out.list[1]->faces[0], out.list[1]->faces[0].v), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_TRUE(trace.contains("Face dropped: index out of range in " + dir.file("h.obj") + " at line 6\n"));
    OwnedMeshes none;
    EXPECT_EQ(ResourceManager::loadObjGroups(dir.file("absent.obj"), false, none.list), 0);
    EXPECT_TRUE(trace.contains("Error reading file: " + dir.file("absent.obj") + "\n"));
    EXPECT_TRUE(none.list.empty());
}

// ---- Hostile input ----

TEST(ObjHostile, everyTruncationOfSmallFilesReadsCleanly) {
    const std::string obj = "mtllib x.mtl\nv 1.5 -2 3e2\nv 0 1 0\nv 1 1 1\nvt 0.5 0.5\nvn 0 0 1\n"
                            "usemtl a\nf 1/1/1 2/1/1 3/1/1\nf -1 -2 -3\nf 1 2 3 1 2 3 1 2 3 1 2 3 1 2\n";
    const std::string mtl = "newmtl a\nKd 1 0.5 0\nNs 10\nmap_Kd tex.png\nnewmtl b\nd 0.5\n";
    const std::string off = "OFF\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2\n4 0 1 2 3\n";
    TraceCapture trace;
    for (size_t n = 0; n <= obj.size(); ++n) {
        ObjMesh m;
        const std::string cut = obj.substr(0, n);
        ASSERT_EQ(m.loadObjBytes(cut, "cut.obj", false, true), 1);
        expectIndicesInRange(m);
        m.buildDrawArrays(RenderMode::smooth | RenderMode::textured);
        ObjMesh out;
        std::vector<int32_t> ids(m.vertices.size());
        for (size_t i = 0; i < ids.size(); ++i)
            ids[i] = int32_t(ids.size() - 1 - i);
        m.extractSubmesh(ids, &out, nullptr);
        expectIndicesInRange(out);
    }
    for (size_t n = 0; n <= mtl.size(); ++n) {
        ObjMesh m;
        EXPECT_EQ(m.loadMtlBytes(mtl.substr(0, n), "/tmp/cut.mtl"), 1);
        EXPECT_EQ(m.materials.size(), size_t(n >= 6) + size_t(n >= 47)) << n; // whole "newmtl" keywords
    }
    for (size_t n = 0; n <= off.size(); ++n) {
        ObjMesh m;
        m.loadOffBytes(off.substr(0, n), "cut.off", true);
        expectIndicesInRange(m);
    }
}

TEST(ObjHostile, everyTruncationOfAGroupFileReadsCleanly) {
    const std::string obj = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\ng a\ns 1\nf 1/1/1 2/1/1 3/1/1\n"
                            "v 2 2 2\nv 3 2 2\nv 2 3 2\ng b\nusemtl m\nf -3 -2 -1\nf 4//1 5//1 6//1 4//1\n";
    TraceCapture trace;
    ScratchDir dir;
    for (size_t n = 0; n <= obj.size(); ++n) {
        writeFile(dir.file("cut.obj"), obj.substr(0, n));
        OwnedMeshes out;
        ASSERT_EQ(ResourceManager::loadObjGroups(dir.file("cut.obj"), n % 2 == 0, out.list), 1);
        for (const ObjMesh* m : out.list) {
            expectIndicesInRange(*m);
            EXPECT_EQ(m->colors.size(), m->vertices.size());
        }
    }
}

TEST(ObjHostile, randomAndFlippedBytesReadCleanly) {
    std::mt19937 rng(1234);
    const std::string alphabet = "vtnf/ -0123456789.e+#\n\r\tusemtlibOFgso";
    TraceCapture trace;
    for (int round = 0; round < 300; ++round) {
        std::string text(size_t(rng() % 400), ' ');
        for (char& c : text)
            c = round % 3 == 0 ? char(rng() & 255) : alphabet[rng() % alphabet.size()];
        ObjMesh m;
        m.loadObjBytes(text, "r.obj", round % 2 == 0, round % 4 == 0);
        expectIndicesInRange(m);
        m.buildDrawArrays(RenderMode::smooth | RenderMode::vertexColors);
        ObjMesh o;
        o.loadOffBytes("OFF\n" + text, "r.off", false);
        expectIndicesInRange(o);
        ObjMesh t;
        t.loadMtlBytes(text, "r.mtl");
    }
    std::string off = "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
    for (size_t i = 0; i < off.size(); ++i) {
        for (char c : {'9', '-', ' ', '\0', '#'}) {
            std::string flipped = off;
            flipped[i] = c;
            ObjMesh o;
            o.loadOffBytes(flipped, "f.off", false);
            expectIndicesInRange(o);
        }
    }
}

TEST(ObjHostile, hugeOffCountsAreRefusedWithoutAllocating) {
    TraceCapture trace;
    for (const char* text : {"OFF\n2147483647 0 0\n", "OFF\n0 2147483647 0\n", "OFF\n99999999999 1 0\n",
                             "OFF 1 2147483647 0\n0 0 0\n"}) {
        ObjMesh m;
        EXPECT_EQ(m.loadOffBytes(text, "huge.off", false), 0) << text;
        EXPECT_LT(m.vertices.capacity(), 1000u);
        EXPECT_LT(m.faces.capacity(), 1000u);
    }
}

TEST(ObjHostile, runningOutOfMemoryIsAFailedRead) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address space limits do not mix with AddressSanitizer";
#else
    // Two million faces of 160 bytes from 16 MB of text, in a child whose
    // address space is capped well below that.
    std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    for (int i = 0; i < 2000000; ++i)
        text += "f 1 2 3\n";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = 256u << 20;
        setrlimit(RLIMIT_AS, &limit);
        TraceCapture trace;
        ObjMesh m;
        const int result = m.loadObjBytes(text, "big.obj", false, false);
        _exit(result == 0 && trace.contains("Out of memory reading big.obj\n") && m.faces.empty() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "the child crashed";
    EXPECT_EQ(WEXITSTATUS(status), 0);
#endif
}

// ---- Real files ----

namespace {

struct TinyCounts {
    bool ok = false;
    bool facesKnown = true; // false when a corner count overflowed its 8-bit field
    size_t vertices = 0, normals = 0, texCoords = 0, faces = 0;
};

// What tinyobjloader reads from path, faces counted as our reader stores
// them (polygons of more than 12 corners become fans of pieces).
TinyCounts tinyCounts(const std::string& path) {
    tinyobj::ObjReaderConfig config;
    config.triangulate = false;
    config.vertex_color = false;
    tinyobj::ObjReader reader;
    TinyCounts c;
    c.ok = reader.ParseFromFile(path, config);
    if (!c.ok)
        return c;
    c.vertices = reader.GetAttrib().vertices.size() / 3;
    c.normals = reader.GetAttrib().normals.size() / 3;
    c.texCoords = reader.GetAttrib().texcoords.size() / 2;
    for (const auto& shape : reader.GetShapes()) {
        size_t corners = 0;
        for (unsigned n : shape.mesh.num_face_vertices)
            c.faces += (corners += n, n <= 12 ? 1 : 1 + (n - 12 + 9) / 10);
        c.facesKnown = c.facesKnown && corners == shape.mesh.indices.size();
    }
    return c;
}

} // namespace

TEST(ObjRealFiles, everyPeerSuiteFileLoadsAndValidOnesAgreeWithTinyobjloader) {
    LUMO_REQUIRE_FIXTURES();
    const fs::path suite = fs::path(fixturesDir()) / "obj-peer-suite";
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(suite)) {
        const std::string path = entry.path().string();
        if (entry.path().extension() != ".obj")
            continue;
        TraceCapture trace;
        ObjMesh m;
        ASSERT_EQ(m.loadObj(path, false, false), 1) << path;
        expectIndicesInRange(m);
        m.buildDrawArrays(RenderMode::smooth | RenderMode::textured | RenderMode::vertexColors);
        OwnedMeshes groups;
        ASSERT_EQ(ResourceManager::loadObjGroups(path, false, groups.list), 1) << path;
        for (const ObjMesh* g : groups.list)
            expectIndicesInRange(*g);
        const std::string name = entry.path().filename().string();
        const TinyCounts tiny = tinyCounts(path);
        if (!tiny.ok || name.find("invalid") != std::string::npos || trace.contains("Face dropped"))
            continue;
        SCOPED_TRACE(name);
        EXPECT_EQ(m.vertices.size(), tiny.vertices);
        EXPECT_EQ(m.texCoords.size(), tiny.texCoords);
        if (tiny.normals > 0) {
            EXPECT_EQ(m.normals.size(), tiny.normals);
        }
        EXPECT_EQ(m.faces.size(), tiny.faces);
        ++compared;
    }
    EXPECT_GE(compared, 40);
}

TEST(ObjRealFiles, largeMeshesAgreeWithTinyobjloader) {
    LUMO_REQUIRE_FIXTURES();
    for (const char* rel : {"meshes/stanford-bunny.obj", "meshes/teapot.obj", "meshes/spot/spot_triangulated.obj",
                            "meshes/spot/spot_quadrangulated.obj"}) {
        const std::string path = fixturesDir() + "/" + rel;
        TraceCapture trace;
        ObjMesh m;
        ASSERT_EQ(m.loadObj(path, false, false), 1) << rel;
        const TinyCounts tiny = tinyCounts(path);
        ASSERT_TRUE(tiny.ok) << rel;
        EXPECT_EQ(m.vertices.size(), tiny.vertices) << rel;
        EXPECT_EQ(m.texCoords.size(), tiny.texCoords) << rel;
        EXPECT_EQ(m.faces.size(), tiny.faces) << rel;
        // Same positions as tinyobjloader reads them.
        tinyobj::ObjReader reader;
        ASSERT_TRUE(reader.ParseFromFile(path));
        const auto& v = reader.GetAttrib().vertices;
        for (size_t i = 0; i < m.vertices.size(); ++i)
            ASSERT_EQ(m.vertices[i].x, v[3 * i]) << rel << " vertex " << i;
        expectIndicesInRange(m);
    }
}

TEST(ObjRealFiles, spotLoadsWithItsTextureAndSurvivesARoundTrip) {
    LUMO_REQUIRE_FIXTURES();
    const std::string folder = fixturesDir() + "/meshes/spot/";
    TraceCapture trace;
    ObjMesh spot;
    ASSERT_EQ(spot.loadObj(folder + "spot_quadrangulated.obj", false, false), 1);
    EXPECT_EQ(spot.loadTexture(folder + "spot_texture.png"), 1);
    ASSERT_EQ(spot.materials.size(), 1u);
    EXPECT_EQ(spot.materials[0].textureFile, folder + "spot_texture.png");
    const TextureEntry* tex = ResourceManager::instance()->find(folder + "spot_texture.png");
    ASSERT_NE(tex, nullptr);
    EXPECT_EQ(tex->width, 1024);
    EXPECT_EQ(tex->pixels.size(), size_t(tex->width) * tex->height * 4);

    ScratchDir dir;
    spot.mtlFile = "spot.mtl";
    spot.materials[0].name = "spot";
    ASSERT_TRUE(spot.saveObj(dir.file("spot.obj")));
    ASSERT_TRUE(spot.saveMtl(dir.file("spot.mtl")));
    ObjMesh back;
    ASSERT_EQ(back.loadObj(dir.file("spot.obj"), false, false), 1);
    ASSERT_EQ(back.vertices.size(), spot.vertices.size());
    ASSERT_EQ(back.texCoords.size(), spot.texCoords.size());
    ASSERT_EQ(back.faces.size(), spot.faces.size());
    for (size_t i = 0; i < spot.vertices.size(); ++i)
        for (int k = 0; k < 3; ++k)
            ASSERT_NEAR(back.vertices[i][k], spot.vertices[i][k], 1e-6) << i;
    for (size_t i = 0; i < spot.texCoords.size(); ++i)
        ASSERT_NEAR(back.texCoords[i].u, spot.texCoords[i].u, 1e-6) << i;
    for (size_t i = 0; i < spot.faces.size(); ++i) {
        ASSERT_EQ(corners(back.faces[i], back.faces[i].v), corners(spot.faces[i], spot.faces[i].v));
        ASSERT_EQ(corners(back.faces[i], back.faces[i].t), corners(spot.faces[i], spot.faces[i].t));
        ASSERT_EQ(back.faces[i].material, 0);
    }
    EXPECT_EQ(back.materials[0].textureFile, folder + "spot_texture.png");
    // tinyobjloader reads our file the same way.
    const TinyCounts tiny = tinyCounts(dir.file("spot.obj"));
    ASSERT_TRUE(tiny.ok);
    EXPECT_EQ(tiny.vertices, spot.vertices.size());
    EXPECT_EQ(tiny.faces, spot.faces.size());
    EXPECT_EQ(tiny.normals, spot.normals.size());
}

TEST(LineReading, endsLinesAtLfCrLfAndLoneCrInMemoryFilesAndBlocks) {
    const auto linesOf = [](LineReader&& reader) {
        std::vector<std::string> lines;
        for (std::string_view line; reader.next(line);)
            lines.emplace_back(line);
        return lines;
    };
    ScratchDir dir;
    const std::vector<std::string> abc = {"a", "b", "", "c"};
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"a\nb\n\nc", abc}, {"a\r\nb\r\n\r\nc\r\n", abc}, {"a\rb\r\rc\r", abc}, {"a\r\n\rb\nc\r", {"a", "", "b", "c"}}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(linesOf(LineReader(std::string_view(text))), expected);
    std::string blocks(LineReader::kBlockBytes - 1, 'x'); // "\r\n" split by the first block's end
    for (blocks += "\r\n"; blocks.size() <= LineReader::kWholeFileBytes;)
        blocks += "y\r";
    writeFile(dir.file("t.txt"), blocks);
    const std::vector<std::string> lines = linesOf(LineReader(dir.file("t.txt")));
    ASSERT_EQ(lines.size(), (blocks.size() - LineReader::kBlockBytes + 1) / 2);
    EXPECT_EQ(lines[0].size(), LineReader::kBlockBytes - 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "y"), std::ptrdiff_t(lines.size() - 1));
}

TEST(LineReading, aLineOverTheLimitIsARefusalNamingFileAndLine) {
    const std::string overLong = "# " + std::string(LineReader::kMaxLineBytes, 'x') + "\n";
    const std::string obj = "v 1 2 3\n" + overLong + "v 4 5 6\nf 1 2 1\n";
    TraceCapture trace;
    ObjMesh m;
    OwnedMeshes groups;
    EXPECT_EQ(m.loadObjBytes(obj, "long.obj", false, false), 0);
    EXPECT_EQ(ObjGroupReader::readBytes(obj, "long.obj", false, groups.list), 0);
    EXPECT_TRUE(m.vertices.empty() && groups.list.empty());
    m.materials.emplace_back().name = "kept";
    EXPECT_EQ(m.loadMtlBytes("newmtl a\n" + overLong, "long.mtl"), 0);
    EXPECT_EQ(m.materials.size(), 1u);
    EXPECT_EQ(trace.count("in long.obj at line 2, not read\n"), 2);
    EXPECT_TRUE(trace.contains("in long.mtl at line 2, not read\n"));
}

// Faces that loadObj and the group reader keep from text.
static std::pair<size_t, size_t> facesOfBothReaders(const std::string& text, const std::string& path) {
    ObjMesh m;
    OwnedMeshes groups;
    EXPECT_EQ(m.loadObjBytes(text, path, false, false) + ObjGroupReader::readBytes(text, path, false, groups.list), 2);
    std::pair<size_t, size_t> n{m.faces.size(), 0}; // the test's faces are triangles
    for (const ObjMesh* g : groups.list)
        n.second += g->faces.size();
    return n;
}

TEST(ObjRead, dropsFacesOfFewerThanThreeCornersInBoundedMemory) {
    std::string text = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    for (int i = 0; i < 30000; ++i)
        text += i % 3 == 0 ? "f\n" : i % 3 == 1 ? "f 1\n" : "f 1 2  \n";
    TraceCapture trace;
    EXPECT_LE(objFromText(text).faces.capacity() * sizeof(Face), 24 * text.size());
    EXPECT_EQ(facesOfBothReaders(text, "few.obj"), std::make_pair(size_t(1), size_t(1)));
    for (const char* line : {"line 5\n", "line 30004\n"})
        EXPECT_EQ(trace.count(std::string("Face dropped: fewer than three corners in few.obj at ") + line), 2);
}

TEST(ObjRead, aFaceWithABadIndexIsDroppedWholeByBothReaders) {
    std::string vertices = "vt 0 0\n";
    for (int i = 0; i < 14; ++i)
        vertices += "v " + std::to_string(std::cos(i)) + " " + std::to_string(std::sin(i)) + " 0\n";
    for (const char* face : {"f 1 2 3 4 5 6 7 8 9 10 11 12 13 99\n", "f 1 2 3 4 5 6 7 8 9 10 11 12 13 14 -99\n",
                             "f 1 2 99 4 5\n", "f 1/1 2/1 3/1 4/1 5/7\n"}) {
        TraceCapture trace;
        const std::string text = vertices + face + "f 1 2 3\n";
        EXPECT_EQ(facesOfBothReaders(text, "bad.obj"), std::make_pair(size_t(1), size_t(1))) << face;
        EXPECT_EQ(trace.count("Face dropped: index out of range in bad.obj at line 16\n"), 2) << face;
    }
}

TEST_F(MtlFiles, readsLibrariesOnlyFromRegularFilesOfBoundedSize) {
    ASSERT_EQ(mkfifo(dir.file("pipe.mtl").c_str(), 0600), 0);
    fs::create_directory(dir.file("folder.mtl"));
    write("huge.mtl", "newmtl a\n");
    fs::resize_file(dir.file("huge.mtl"), ObjReader::kMaxLibraryBytes + 1);
    write("ok.mtl", "newmtl ok\nmap_Kd pipe.mtl\n"); // a texture that is not a regular file is not read either
    for (const std::string token : {"../../../../../../../../../../dev/zero", "pipe.mtl", "folder.mtl", "huge.mtl"}) {
        TraceCapture t;
        ObjMesh m = load("mtllib ok.mtl\nv 0 0 0\nmtllib " + token + "\nusemtl ok\nf 1 1 1\n");
        OwnedMeshes groups;
        ASSERT_EQ(ResourceManager::loadObjGroups(dir.file("m.obj"), false, groups.list), 1);
        EXPECT_TRUE(m.faces.at(0).material == 0 && groups.list.at(0)->materials.size() == 1) << token;
        const char* reason = token == "huge.mtl" ? " is too large" : " is not a regular file";
        EXPECT_EQ(t.count(reason + (", named in " + dir.file("m.obj") + " at line 3: not read\n")), 2) << token;
    }
}

TEST(OffRead, readsNumbersSpreadOverLinesLongFacesAndAnyLineEnd) {
    std::string ring = "OFF\n20 1 0\n", ringFace = "20";
    for (int i = 0; i < 20; ++i)
        (ring += std::to_string(i) + " " + std::to_string(i * i % 7) + " 0\n"), ringFace += " " + std::to_string(i);
    for (const std::string& text : {std::string("OFF\n3 1 0\n0\n0\n0\n1 0\n0\n0 1 0\n3 0\n1\n2\n"),
                                    std::string("OFF 3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2 255 0 0\n"),
                                    std::string("OFF\r3 1 0\r0 0 0\r1 0 0\r0 1 0 1\r3 0 1 2\r"),
                                    std::string("OFF\r\n3 2 0\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\n2 0 1\r\n3 0 1 2\r\n"),
                                    ring + ringFace + "\n"}) {
        TraceCapture trace;
        ObjMesh m;
        ASSERT_EQ(m.loadOffBytes(text, "s.off", false), 1) << text << trace.all();
        EXPECT_EQ(m.faces.size(), m.vertices.size() == 20 ? 2u : 1u) << text; // 20 corners: a fan of two
        expectIndicesInRange(m);
        EXPECT_EQ(m.faces.back().v[m.faces.back().count - 1], int32_t(m.vertices.size() - 1)) << text;
    }
}

// The test models of another loader (Debian's assimp-testmodels, installed
// by scripts/setup.sh): OBJ and OFF files from many programs. OFF counts
// are checked against the file's own header.
TEST(ObjRealFiles, everyModelOfAnotherLoaderLoadsAndAgreesWithTinyobjloader) {
    const fs::path root = "/usr/share/assimp/models";
    ASSERT_TRUE(fs::is_directory(root)) << root << " is missing: run scripts/setup.sh";
    int compared = 0;
    std::string skipped;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string path = entry.path().string(), ext = entry.path().extension().string();
        if (ext != ".obj" && ext != ".off")
            continue;
        SCOPED_TRACE(path);
        TraceCapture trace;
        ObjMesh m;
        TinyCounts theirs;
        bool ours = false;
        if (ext == ".off") {
            ours = m.loadOff(path, false) == 1;
            std::ifstream in(path);
            std::string magic;
            theirs.ok = in >> magic >> theirs.vertices >> theirs.faces && magic == "OFF" && theirs.faces > 0;
        } else {
            ours = m.loadObj(path, false, false) == 1 && !trace.contains("Face dropped");
            OwnedMeshes groups;
            ASSERT_EQ(ResourceManager::loadObjGroups(path, false, groups.list), 1);
            for (const ObjMesh* g : groups.list)
                expectIndicesInRange(*g);
            theirs = tinyCounts(path);
        }
        expectIndicesInRange(m);
        m.buildDrawArrays(RenderMode::smooth | RenderMode::textured | RenderMode::vertexColors);
        if (ours != theirs.ok || !theirs.facesKnown)
            skipped += "\n  " + path + (theirs.facesKnown ? (ours ? " (ours only)" : " (theirs only)") : " (faces?)");
        if (!ours || !theirs.ok)
            continue;
        EXPECT_EQ(m.vertices.size(), theirs.vertices);
        EXPECT_EQ(m.faces.size(), theirs.facesKnown ? theirs.faces : m.faces.size());
        ++compared;
    }
    std::printf("not compared:%s\n", skipped.empty() ? " none" : skipped.c_str());
    EXPECT_GE(compared, 20);
    ObjMesh spider; // its MTL names textures with backslashes: ".\wal67ar_small.jpg"
    ASSERT_EQ(spider.loadObj(root.string() + "/OBJ/spider.obj", false, false), 1);
    EXPECT_EQ(std::count_if(spider.materials.begin(), spider.materials.end(),
                            [](const Material& m) { return fs::is_regular_file(m.textureFile); }),
              5);
}

// The pack cache: a warm pack after each kind of edit writes the same bytes
// as a cold pack of the same project; damaged entries are made again, never
// used; the workspace bound holds.

#include "PackTestSupport.h"

#include "base/WholeFile.h"
#include "geometry/ObjMesh.h"
#include "images/ImageBuffer.h"
#include "pack/PackCache.h"
#include "pack/PackController.h"
#include "scene/Item_3d.h"

#include <gtest/gtest.h>
#include <xxhash.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>
#include <tuple>

#include <fcntl.h>
#include <sys/stat.h>

using namespace pack_test;
using testing_support::TraceCapture;
namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;

Files outFilesOf(const PackWorkspace& ws) {
    Files files;
    for (const auto& e : fs::recursive_directory_iterator(ws.project("out")))
        if (e.is_regular_file())
            readWholeFile(e.path().string(), files[fs::relative(e.path(), ws.project("out")).string()]);
    return files;
}

// Frame n of sequence `seq`: a coloured box inside transparent borders.
void writeFrame(const PackWorkspace& ws, const std::string& seq, int n, int salt = 0) {
    ImageBuffer img;
    img.create(48 + 8 * n, 40, 4);
    for (int y = 3; y < 35; ++y)
        for (int x = 2 + n; x < img.width - 4; ++x) {
            uint8_t* p = &img.data[(size_t(y) * size_t(img.width) + size_t(x)) * 4];
            p[0] = uint8_t(x * 5 + salt), p[1] = uint8_t(y * 7 + seq.size() * 40), p[2] = uint8_t(n * 60), p[3] = 255;
        }
    fs::create_directories(ws.project("seq"));
    ASSERT_TRUE(img.imwrite(ws.project("seq/" + seq + "_0000" + std::to_string(n) + ".png")));
}

Sticker2d sticker(const PackWorkspace& ws, const std::string& seq) {
    for (int n = 0; n < 4; ++n)
        writeFrame(ws, seq, n);
    Sticker2d s;
    s.name = seq;
    s.texpath = ws.project("seq/" + seq + "_00000.png");
    s.fps = 20;
    s.hasNode = true;
    s.translation = {0, 0, 80};
    return s;
}

// A mesh part: a 12 x 12 grid, two blendshapes, a weight map, a texture
// parameter; and a Global Params item with one value.
void add3d(const PackWorkspace& ws, ProjectSnapshot& p) {
    auto mesh = std::make_shared<ObjMesh>();
    mesh->name = "grid.obj";
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) {
            mesh->vertices.push_back({float(x), float(y), float(x * y % 5)});
            mesh->texCoords.push_back({x / 11.0f, y / 11.0f});
        }
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 11; ++x) {
            Face f;
            f.count = 4;
            const int c[4] = {y * 12 + x, y * 12 + x + 1, y * 12 + x + 13, y * 12 + x + 12};
            for (int i = 0; i < 4; ++i)
                f.v[i] = f.t[i] = c[i], f.n[i] = -1;
            mesh->faces.push_back(f);
        }
    ImageBuffer weights;
    weights.create(16, 16, 4);
    for (size_t i = 0; i < weights.data.size(); ++i)
        weights.data[i] = uint8_t(i * 13);
    ASSERT_TRUE(weights.imwrite(ws.project("weights.png")));
    Item3dSnapshot part;
    part.name = "grid";
    part.meshRole = kRoleMeshPart;
    part.mesh = mesh;
    part.weightMapPath = ws.project("weights.png");
    for (int b : {0, 7}) {
        auto shape = std::make_shared<ObjMesh>(*mesh);
        shape->vertices[size_t(b * 3)].z += 2.0f;
        part.blendshapes[size_t(b)] = shape;
    }
    TemplateParam tex;
    tex.type = "texture", tex.name = "diffuse", tex.isStr = true, tex.isTex = true;
    tex.texPath = ws.project("weights.png");
    part.param = {tex};
    Item3dSnapshot globals;
    globals.name = "Global Params";
    globals.meshRole = kRoleGlobalParams;
    TemplateParam gain;
    gain.name = "gain", gain.type = "slider", gain.valuef = 0.5f, gain.isStr = false;
    globals.param = {gain};
    p.items3d = {globals, part};
}

// Builds out/ (Step 1) with or without the cache; the sink's messages.
std::vector<std::pair<std::string, int>> pack(const ProjectSnapshot& p, bool useCache) {
    RecordingSink sink;
    const int kind = p.items3d.empty() ? PackController::Kind2d : PackController::Kind3d;
    PackController pc = PackController::forSnapshot(std::make_shared<const ProjectSnapshot>(p), &sink, useCache);
    EXPECT_TRUE(pc.runPack(PackController::Step1, true, "", kind));
    return sink.messages;
}

using Edit = std::function<void(const PackWorkspace&, ProjectSnapshot&)>;

TEST(PackCache, warmPackAfterEachKindOfEditWritesTheColdBytes) {
    TraceCapture trace;
    const std::vector<std::tuple<const char*, bool, Edit>> edits = {
        {"nothing", false, [](const PackWorkspace&, ProjectSnapshot&) {}},
        {"a trigger", false, [](const PackWorkspace&, ProjectSnapshot& p) { p.items2d[0].triggerStart = 3; }},
        {"a position", false, [](const PackWorkspace&, ProjectSnapshot& p) { p.items2d[1].translation.x = 40; }},
        {"one frame's pixels", false, [](const PackWorkspace& ws, ProjectSnapshot&) { writeFrame(ws, "b", 2, 99); }},
        {"a new sequence", false, [](const PackWorkspace& ws, ProjectSnapshot& p) { p.items2d.push_back(sticker(ws, "cc")); }},
        {"a removed item", false, [](const PackWorkspace&, ProjectSnapshot& p) { p.items2d.erase(p.items2d.begin()); }},
        {"nothing", true, [](const PackWorkspace&, ProjectSnapshot&) {}},
        {"a 3D parameter", true, [](const PackWorkspace&, ProjectSnapshot& p) { p.items3d[0].param[0].valuef = 0.9f; }},
        {"a 3D node move", true, [](const PackWorkspace&, ProjectSnapshot& p) { p.items3d[1].model.m[12] = 3.0f; }},
    };
    for (const auto& [what, is3d, edit] : edits) {
        PackWorkspace ws("proj");
        ProjectSnapshot p;
        p.root = ws.root();
        p.projectName = "proj";
        if (is3d)
            add3d(ws, p);
        else
            p.items2d = {sticker(ws, "a"), sticker(ws, "b")};
        pack(p, true);
        edit(ws, p);
        const auto messages = pack(p, true);
        const Files warm = outFilesOf(ws);
        pack(p, false);
        const Files cold = outFilesOf(ws);
        EXPECT_GE(cold.size(), 5u) << what;
        EXPECT_TRUE(warm == cold) << "edit: " << what << "\n" << trace.all();
        const auto reuse = std::find_if(messages.begin(), messages.end(), [](const auto& m) {
            return m.first.find("reused: ") != std::string::npos;
        });
        ASSERT_TRUE(reuse != messages.end()) << what;
        if (std::string(what) == "nothing") {
            EXPECT_EQ(reuse->first, is3d ? "mesh bundles reused: 1 of 1, textures reused: 1 of 1"
                                         : "atlases reused: 1 of 1");
        }
    }
}

// A damaged entry is dropped and made again: the warm pack's atlas equals
// the cold one and the cache holds a sound entry afterwards.
TEST(PackCache, damagedEntriesAreRecomputedNeverUsed) {
    TraceCapture trace;
    const std::vector<std::pair<const char*, std::function<void(std::string&)>>> damages = {
        {"one byte flipped", [](std::string& b) { b[b.size() / 2] ^= 0x20; }},
        {"truncated", [](std::string& b) { b.resize(b.size() - 7); }},
        {"header only", [](std::string& b) { b.resize(20); }},
    };
    for (const auto& [what, damage] : damages) {
        PackWorkspace ws("proj");
        ProjectSnapshot p;
        p.root = ws.root();
        p.projectName = "proj";
        p.items2d = {sticker(ws, "a")};
        pack(p, false);
        const Files cold = outFilesOf(ws);
        pack(p, true);
        for (const auto& e : fs::recursive_directory_iterator(PackCache::folderOf(ws.project()))) {
            if (!e.is_regular_file())
                continue;
            std::string bytes;
            ASSERT_TRUE(readWholeFile(e.path().string(), bytes));
            damage(bytes);
            ASSERT_TRUE(writeWholeFile(e.path().string(), bytes.data(), bytes.size()));
        }
        const auto messages = pack(p, true);
        EXPECT_TRUE(outFilesOf(ws) == cold) << what;
        EXPECT_EQ(messages[1].first, "atlases reused: 0 of 1") << what;
        EXPECT_EQ(pack(p, true)[1].first, "atlases reused: 1 of 1") << what << ": entries were stored again";
    }
}

// The zip is of out/ alone: a warm pack's zip lists exactly out/'s files.
TEST(PackCache, zipOfAWarmPackHoldsOutAloneNotTheCache) {
    TraceCapture trace;
    PackWorkspace ws("proj");
    ProjectSnapshot p;
    p.root = ws.root();
    p.projectName = "proj";
    p.items2d = {sticker(ws, "a")};
    pack(p, true);
    RecordingSink sink;
    auto controller = PackController::forSnapshot(std::make_shared<const ProjectSnapshot>(p), &sink, true);
    ASSERT_TRUE(controller.runPack(PackController::Auto, true, "", PackController::Kind2d)) << trace.all();
    std::vector<std::string> out;
    for (const auto& [name, bytes] : outFilesOf(ws))
        out.push_back(name);
    EXPECT_EQ(unzipNames(ws.project("zip/proj.zip")), out);
    EXPECT_TRUE(fs::is_directory(PackCache::folderOf(ws.project()) + "/atlases"));
}

TEST(PackCache, evictionKeepsTheWorkspaceBoundDroppingTheOldestFirst) {
    testing_support::ScratchDir root;
    std::vector<std::string> paths;
    const std::vector<uint8_t> payload(1000, 7);
    for (int i = 0; i < 6; ++i) {
        PackCache cache(PackCache::folderOf(root.path() + "/Projects/p" + std::to_string(i % 2)));
        const PackCache::Key key = PackCache::hashOf(&i, sizeof i);
        ASSERT_TRUE(cache.put(PackCache::Atlas, key, payload.data(), payload.size()));
        paths.push_back(cache.folder() + "/atlases/" + key.hex() + ".bin");
        fs::last_write_time(paths.back(), fs::file_time_type::clock::now() - std::chrono::hours(10 - i));
    }
    const uint64_t entry = fs::file_size(paths[0]);
    EXPECT_EQ(PackCache::evict(root.path(), 3 * entry + 10), 3 * entry);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(fs::exists(paths[size_t(i)]), i >= 3) << "entry " << i;
    PackCache again(PackCache::folderOf(root.path() + "/Projects/p1"));
    std::vector<uint8_t> back;
    const int newest = 5;
    EXPECT_TRUE(again.get(PackCache::Atlas, PackCache::hashOf(&newest, sizeof newest), back));
    EXPECT_TRUE(back == payload);
}

} // namespace

namespace {

// The XXH3 128-bit hash of the file's bytes, as the cache's content key.
PackCache::Key contentOf(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(readWholeFile(path, bytes));
    const XXH128_hash_t h = XXH3_128bits(bytes.data(), bytes.size());
    return {h.low64, h.high64};
}

void setMtime(const std::string& path, const struct timespec& mtime) {
    const struct timespec times[2] = {{0, UTIME_OMIT}, mtime};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

} // namespace

// A row of the file table names a file's content only while its stat data
// hold: a rewrite in place of the same size with its old modification time
// restored, or another file renamed over it, is hashed anew in the next run.
TEST(PackCache, fileTableRowsFollowTheFileNotItsSizeAndTime) {
    const std::vector<std::pair<const char*, std::function<void(const std::string&)>>> edits = {
        {"nothing", [](const std::string&) {}},
        {"rewritten in place, old time restored",
         [](const std::string& path) {
             struct stat st;
             ASSERT_EQ(::stat(path.c_str(), &st), 0);
             std::ofstream(path, std::ios::binary | std::ios::in) << "XY";
             setMtime(path, st.st_mtim);
         }},
        {"replaced by a file of the same size and time",
         [](const std::string& path) {
             struct stat st;
             ASSERT_EQ(::stat(path.c_str(), &st), 0);
             std::ofstream(path + ".new", std::ios::binary) << "other bytes, same size";
             setMtime(path + ".new", st.st_mtim);
             fs::rename(path + ".new", path);
         }},
        {"table damaged", [](const std::string& path) {
             const std::string table = fs::path(path).parent_path().string() + "/cache/files.bin";
             std::string bytes;
             ASSERT_TRUE(readWholeFile(table, bytes));
             bytes[bytes.size() - 3] ^= 1;
             ASSERT_TRUE(writeWholeFile(table, bytes.data(), bytes.size()));
         }},
    };
    std::vector<testing_support::ScratchDir> dirs(edits.size());
    for (const auto& dir : dirs)
        std::ofstream(dir.path() + "/frame.png", std::ios::binary) << "the bytes of a frame!!";
    // Rows of files changed within the last two seconds are not trusted:
    // wait until these files' would be.
    struct stat st;
    ASSERT_EQ(::stat((dirs.back().path() + "/frame.png").c_str(), &st), 0);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::system_clock::now().time_since_epoch() <
               std::chrono::seconds(st.st_ctim.tv_sec + PackCache::kRacySeconds + 1) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    for (size_t i = 0; i < edits.size(); ++i) {
        const auto& [what, edit] = edits[i];
        const std::string path = dirs[i].path() + "/frame.png", folder = dirs[i].path() + "/cache";
        PackCache::Key key;
        {
            PackCache first(folder);
            ASSERT_TRUE(first.fileKey(path, key));
            EXPECT_EQ(key, contentOf(path)) << what;
            ASSERT_TRUE(first.saveFileTable());
        }
        edit(path);
        PackCache second(folder);
        ASSERT_TRUE(second.fileKey(path, key)) << what;
        EXPECT_EQ(key, contentOf(path)) << what;
    }
}

// avatar.bin is linked out of the cache: a tool that rewrites out/avatar.bin
// in place damages the stored copy too, which the next pack notices.
TEST(PackCache, meshBundleOutputEditedInPlaceIsNotReusedAfterwards) {
    TraceCapture trace;
    PackWorkspace ws("proj");
    ProjectSnapshot p;
    p.root = ws.root();
    p.projectName = "proj";
    add3d(ws, p);
    pack(p, false);
    const Files cold = outFilesOf(ws);
    pack(p, true);
    const auto reuse = [&] {
        for (const auto& m : pack(p, true))
            if (m.first.find("reused: ") != std::string::npos)
                return m.first;
        return std::string();
    };
    EXPECT_EQ(reuse(), "mesh bundles reused: 1 of 1, textures reused: 1 of 1");
    std::ofstream(ws.project("out/avatar.bin"), std::ios::binary | std::ios::in) << "garbage";
    EXPECT_EQ(reuse(), "mesh bundles reused: 0 of 1, textures reused: 1 of 1");
    EXPECT_TRUE(outFilesOf(ws) == cold) << trace.all();
    EXPECT_EQ(reuse(), "mesh bundles reused: 1 of 1, textures reused: 1 of 1");
    EXPECT_TRUE(outFilesOf(ws) == cold);
}

// Frames are placed by their stored sizes and their pixels fetched only for
// atlases made anew: with the stored pixels gone, the files are decoded again.
TEST(PackCache, framesWhosePixelsAreGoneAreDecodedAgainForANewAtlas) {
    TraceCapture trace;
    PackWorkspace ws("proj");
    ProjectSnapshot p;
    p.root = ws.root();
    p.projectName = "proj";
    p.items2d = {sticker(ws, "a"), sticker(ws, "b")};
    pack(p, true);
    writeFrame(ws, "b", 1, 77);
    pack(p, false);
    const Files cold = outFilesOf(ws);
    for (const char* folder : {"/frames", "/atlases"})
        fs::remove_all(PackCache::folderOf(ws.project()) + folder);
    pack(p, true);
    EXPECT_TRUE(outFilesOf(ws) == cold) << trace.all();
}

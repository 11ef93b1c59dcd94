// The pack pipeline with stand-in packers that fill out/ as the real ones
// would: clearing, forced copies, zip, signing, the Android copy, and the
// failure of every step reported as a failed pack.

#include "PackTestSupport.h"
#include "TestSupport.h"
#include "pack/BundleName.h"
#include "pack/PackController.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <stdexcept>

namespace fs = std::filesystem;
using namespace pack_test;
using testing_support::readFile;
using testing_support::TraceCapture;

namespace {

class PackPipeline : public ::testing::Test {
protected:
    PackPipeline() : pc(ws.root(), "p", &sink) {
        pc.setBuildSteps([this](std::string&) { return build(PackController::Kind2d); },
                         [this](std::string&) { return build(PackController::Kind3d); });
    }

    // Stand-in packer: writes the files its kind writes into out/.
    bool build(int kind) {
        ++builds;
        putOutFiles(ws, kind);
        return true;
    }

    void putOldOutputs() {
        ws.put("zip/p.zip", "old zip");
        ws.put("build/iOS/p.bundle", "old bundle");
        ws.put("build/Android/p.mp3", "old mp3");
    }

    TraceCapture trace;
    PackWorkspace ws;
    RecordingSink sink;
    PackController pc;
    int builds = 0;
};

TEST_F(PackPipeline, step1BuildsOutAndLeavesZipAndBundlesRemoved) {
    putOldOutputs();
    ws.put("out/eyes.glsl", "stale shader");
    ws.put("out/sub/stale.txt", "stale");

    ASSERT_TRUE(pc.runPack(PackController::Step1, true, "", PackController::Kind2d)) << trace.all();

    EXPECT_FALSE(ws.has("zip/p.zip"));
    EXPECT_FALSE(ws.has("build/iOS/p.bundle"));
    EXPECT_FALSE(ws.has("build/Android/p.mp3"));
    EXPECT_EQ(treeNames(ws.project("out")), plus(outFiles(PackController::Kind2d), "sub/"));
    EXPECT_TRUE(trace.contains("delete file " + ws.project("build/iOS/p.bundle") + "\n"));
    EXPECT_TRUE(trace.contains("delete file " + ws.project("zip/p.zip") + "\n"));
    EXPECT_TRUE(trace.contains("delete file " + ws.project("out/eyes.glsl") + "\n"));
    EXPECT_FALSE(trace.contains("packBundle"));
    EXPECT_EQ(sink.messages.back(), std::make_pair(std::string("Pack Success!"), 3000));
}

TEST_F(PackPipeline, step2ZipsExistingOutAfterForcedCopyWithoutRebuilding) {
    ws.put("out/kept.txt", "made by an earlier Step 1");
    ws.put("out/sub/deep.txt", "deep");
    ws.put("fcopy/forced.txt", "forced");

    ASSERT_TRUE(pc.runPack(PackController::Step2, true, "", PackController::Kind2d)) << trace.all();

    EXPECT_EQ(builds, 0);
    EXPECT_FALSE(trace.contains("delete file"));
    EXPECT_EQ(unzipNames(ws.project("zip/p.zip")),
              (std::vector<std::string>{"forced.txt", "kept.txt", "sub/", "sub/deep.txt"}));
    EXPECT_EQ(unzipEntry(ws.project("zip/p.zip"), "sub/deep.txt"), "deep");
    EXPECT_EQ(verifyBundle(ws.project("build/iOS/p.bundle")), 0);
}

TEST_F(PackPipeline, forcedFileReplacesPackersFileUnderItsOwnName) {
    ws.put("fcopy/sub/a.png", "forced a.png");

    ASSERT_TRUE(pc.runPack(PackController::Auto, true, "", PackController::Kind2d)) << trace.all();

    EXPECT_EQ(readFile(ws.project("out/a.png")), "forced a.png");
    EXPECT_FALSE(ws.has("out/sub"));
    EXPECT_EQ(unzipEntry(ws.project("zip/p.zip"), "a.png"), "forced a.png");
    EXPECT_TRUE(trace.contains("copydir:" + ws.project("fcopy/") + "\n"));
    EXPECT_TRUE(trace.contains("file count:1\n"));
    EXPECT_TRUE(trace.contains("copyfile:" + ws.project("fcopy/sub/a.png") + "\n"));
}

TEST_F(PackPipeline, existingMp3IsRemovedBeforeTheNewBundleIsRenamed) {
    ws.put("out/desc.json", "{}");
    ws.put("build/Android/p.mp3", "last run's bundle");

    ASSERT_TRUE(pc.runPack(PackController::Step2, false, "", PackController::Kind2d)) << trace.all();

    const std::string mp3 = ws.project("build/Android/p.mp3");
    EXPECT_TRUE(trace.contains("oldbundle:" + mp3 + "\n"));
    EXPECT_TRUE(trace.contains("std remove " + mp3 + "\n"));
    EXPECT_EQ(readFile(mp3), readFile(ws.project("build/iOS/p.bundle")));
    EXPECT_FALSE(ws.has("build/Android/p.bundle"));
}

TEST_F(PackPipeline, missingFcopyFolderIsTracedAndPackingContinues) {
    ASSERT_TRUE(pc.runPack(PackController::Auto, true, "", PackController::Kind3d)) << trace.all();
    EXPECT_TRUE(trace.contains("copydir not exist\n"));
    EXPECT_TRUE(ws.has("build/Android/p.mp3"));
}

TEST_F(PackPipeline, autoRunMakesZipOfOutAndVerifyingBundlesWithTheSpokenLines) {
    ws.put("out/sub/x.bin", std::string("\0\1\2", 3));  // left from a run before: subfolders stay, files go
    ASSERT_TRUE(pc.runPack(PackController::Auto, true, "", PackController::Kind2d)) << trace.all();

    const std::string zip = ws.project("zip/p.zip");
    const std::string bundle = ws.project("build/iOS/p.bundle");
    EXPECT_EQ(unzipNames(zip), treeNames(ws.project("out")));
    EXPECT_EQ(unzipNames(zip), plus(outFiles(PackController::Kind2d), "sub/"));
    EXPECT_EQ(verifyBundle(bundle), 0);
    EXPECT_EQ(readFile(ws.project("build/Android/p.mp3")), readFile(bundle));
    EXPECT_EQ(readFile(bundle).substr(96), readFile(zip)) << "the bundle carries the zip unchanged";
    EXPECT_FALSE(ws.has("zip/p.zip.part"));

    const std::string lines = trace.all();
    size_t at = 0;
    for (const char* line : {"Packing bundle!\n", "pack type:0\n", "packBigTex Success!\n", "packJson Success!\n",
                             "packJS Success!\n", "Siging bundle\n", "PackController::forceCopy begin\n",
                             "PackController::forceCopy end\n", "command: zip ", "command: node ",
                             "command: copy ", "oldbundle:", "command: rename ", "pack bigtex end\n",
                             "packBundle Success!\n", "runPack2d Success End!\n", "Pack Success!\n"}) {
        const size_t found = lines.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << lines;
        at = found;
    }
    EXPECT_EQ(sink.calls, (std::vector<std::string>{"set 0", "advance 5", "set 50", "advance 15", "advance 25",
                                                    "advance 5", "advance 4", "set 0"}));
    EXPECT_EQ(sink.shown, 0);
    std::vector<std::string> texts;
    for (const auto& m : sink.messages) {
        texts.push_back(m.first);
        EXPECT_EQ(m.second, 3000);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"Packing bundle!", "Siging bundle", "Pack Success!"}));
}

TEST_F(PackPipeline, threeDRunTracesItsOwnLinesAndHonoursTheBundleName) {
    ASSERT_TRUE(pc.runPack(PackController::Auto, true, "effect", PackController::Kind3d)) << trace.all();

    EXPECT_EQ(bundleName(), "effect");
    EXPECT_TRUE(trace.contains("runPack3d begin!\n"));
    EXPECT_TRUE(trace.contains("runPack3d end!\n"));
    EXPECT_FALSE(trace.contains("Packing bundle!"));
    EXPECT_EQ(unzipNames(ws.project("zip/effect.zip")), outFiles(PackController::Kind3d));
    EXPECT_EQ(verifyBundle(ws.project("build/iOS/effect.bundle")), 0);
    EXPECT_EQ(readFile(ws.project("build/Android/effect.mp3")), readFile(ws.project("build/iOS/effect.bundle")));
}

TEST_F(PackPipeline, secondRunReplacesEveryOutput) {
    ASSERT_TRUE(pc.runPack(PackController::Auto, true, "", PackController::Kind2d));
    const std::string firstBundle = readFile(ws.project("build/iOS/p.bundle"));
    pc.setBuildSteps(
        [this](std::string&) {
            ws.put("out/other.txt", "second run");
            return build(PackController::Kind2d);
        },
        {});

    ASSERT_TRUE(pc.runPack(PackController::Auto, true, "", PackController::Kind2d)) << trace.all();

    EXPECT_EQ(unzipNames(ws.project("zip/p.zip")), plus(outFiles(PackController::Kind2d), "other.txt"));
    EXPECT_NE(readFile(ws.project("build/iOS/p.bundle")), firstBundle);
    EXPECT_EQ(readFile(ws.project("build/Android/p.mp3")), readFile(ws.project("build/iOS/p.bundle")));
}

TEST_F(PackPipeline, packProjectChoosesKindByTypeFlagAndTracesTheResult) {
    struct Case {
        int projectType;
        bool packerWorks;
        const char* line;
        bool ok;
    };
    for (const Case& c : {Case{1, true, "Pack 2d success!", true}, Case{1 | 8, true, "Pack 2d success!", true},
                          Case{2, true, "Pack 3d success!", true}, Case{2, false, "Pack 3d failed!", false},
                          Case{1, false, "Pack 2d failed!", false}}) {
        TraceCapture local;
        const bool works = c.packerWorks;
        pc.setBuildSteps([&](std::string&) { return works && build(PackController::Kind2d); },
                         [&](std::string&) { return works && build(PackController::Kind3d); });
        EXPECT_EQ(pc.packProject(c.projectType, PackController::Step1), c.ok) << c.line;
        EXPECT_TRUE(local.contains(c.line)) << local.all();
    }
}

// Each case breaks one step; the run must end in "Pack Failed!", false and
// progress 0, naming the step.
struct Breakage {
    PackWorkspace& ws;
    PackController& pc;
    std::unique_ptr<ScopedEnv>& env;  // restored when the test ends
};

// A stand-in packer that leaves one file of its kind's set out.
bool withoutOutFile(const PackWorkspace& ws, int kind, const std::string& name) {
    putOutFiles(ws, kind);
    return fs::remove(ws.project("out/" + name));
}

struct FailureCase {
    const char* name;
    std::function<void(Breakage&)> breakIt;
    int option;
    const char* bundle;
    int kind;
    const char* expectedLine;
};

class PackFailure : public PackPipeline, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PackFailure, endsInPackFailedWithStepAndReason) {
    const FailureCase& c = GetParam();
    putOldOutputs();
    ws.put("build/iOS/effect.bundle", "stale bundle of a run before");
    std::unique_ptr<ScopedEnv> env;
    Breakage b{ws, pc, env};
    c.breakIt(b);
    sink.setProgress(77);

    EXPECT_FALSE(pc.runPack(c.option, true, c.bundle, c.kind));

    EXPECT_TRUE(trace.contains(c.expectedLine)) << trace.all();
    EXPECT_TRUE(trace.contains("Pack Failed!\n"));
    EXPECT_FALSE(trace.contains("Pack Success!"));
    ASSERT_FALSE(sink.messages.empty());
    EXPECT_EQ(sink.messages.back(), std::make_pair(std::string("Pack Failed!"), 3000));
    EXPECT_EQ(sink.calls.back(), "set 0");
    EXPECT_FALSE(ws.has("build/Android/effect.mp3")) << "nothing half-made may look finished";
}

const FailureCase kFailures[] = {
    {"noNodeOnPath", [](Breakage& b) { b.env = std::make_unique<ScopedEnv>("PATH", b.ws.root().c_str()); },
     PackController::Auto, "effect", PackController::Kind2d, "pack step sign failed: node (Node.js) was not found on PATH"},
    {"zipFolderNotWritable", [](Breakage& b) {
         fs::remove_all(b.ws.project("zip"));
         b.ws.put("zip", "a file where the zip folder belongs");
     },
     PackController::Auto, "effect", PackController::Kind2d, "pack step zip failed: cannot create folder"},
    {"signingKeyMissing", [](Breakage& b) {
         b.env = std::make_unique<ScopedEnv>("LUMO_SIGN_KEY", (b.ws.root() + "/no-such-key.pem").c_str());
     },
     PackController::Auto, "effect", PackController::Kind3d, "cannot read signing key"},
    {"packerFails", [](Breakage& b) { b.pc.setBuildSteps([](std::string&) { return false; }, {}); },
     PackController::Auto, "effect", PackController::Kind2d, "packBigTex Failded!\n"},
    {"packerWritesNothing", [](Breakage& b) { b.pc.setBuildSteps({}, [](std::string&) { return true; }); },
     PackController::Auto, "effect", PackController::Kind3d, "pack step pack3d failed: "},
    {"packerRunsOutOfMemory", [](Breakage& b) {
         b.pc.setBuildSteps([](std::string&) -> bool { throw std::bad_alloc(); }, {});
     },
     PackController::Auto, "effect", PackController::Kind2d, "pack step packBigTex failed: out of memory\n"},
    {"packerThrows", [](Breakage& b) {
         b.pc.setBuildSteps({}, [](std::string&) -> bool { throw std::runtime_error("disk on fire"); });
     },
     PackController::Auto, "effect", PackController::Kind3d, "pack step pack3d failed: disk on fire\n"},
    {"outLacksTheEyeShader", [](Breakage& b) {
         b.pc.setBuildSteps([&ws = b.ws](std::string&) { return withoutOutFile(ws, 1, "eyes.glsl"); }, {});
     },
     PackController::Step1, "effect", PackController::Kind2d, "eyes.glsl is missing or empty"},
    {"atlasListNamesAMissingAtlas", [](Breakage& b) {
         b.pc.setBuildSteps([&ws = b.ws](std::string&) { return withoutOutFile(ws, 1, "bigtex_0.webp"); }, {});
     },
     PackController::Step1, "effect", PackController::Kind2d, "bigtex_0.webp is missing or empty"},
    {"atlasListIsNoList", [](Breakage& b) {
         b.pc.setBuildSteps(
             [&ws = b.ws](std::string&) {
                 putOutFiles(ws, 1);
                 ws.put("out/bigtex_desc.json", "[[[[");
                 return true;
             },
             {});
     },
     PackController::Step1, "effect", PackController::Kind2d, "does not hold a \"bigtexs\" list"},
    {"threeDOutLacksATemplateFile", [](Breakage& b) {
         b.pc.setBuildSteps({}, [&ws = b.ws](std::string&) { return withoutOutFile(ws, 3, "grey.png"); });
     },
     PackController::Step1, "effect", PackController::Kind3d, "grey.png is missing or empty"},
    {"noPackerForKind", [](Breakage& b) { b.pc.setBuildSteps({}, {}); },
     PackController::Step1, "effect", PackController::Kind2d, "no packer for this kind"},
    {"emptyOutForStep2", [](Breakage&) {}, PackController::Step2, "effect",
     PackController::Kind2d, "pack step zip failed: folder"},
    {"bundleNameLeavesTheProject", [](Breakage&) {}, PackController::Auto, "../escape",
     PackController::Kind2d, "is not a plain file name"},
    {"unknownKind", [](Breakage&) {}, PackController::Auto, "effect", 2,
     "unknown project kind 2"},
    {"unknownOption", [](Breakage&) {}, 3, "effect", PackController::Kind2d,
     "unknown pack option 3"},
    {"signingScriptMissing", [](Breakage& b) {
         fs::remove(fs::path(b.ws.root()) / "data");
         fs::create_directories(fs::path(b.ws.root()) / "data/tools");
     },
     PackController::Auto, "effect", PackController::Kind2d, "sign_file.js does not exist"},
};

INSTANTIATE_TEST_SUITE_P(EveryStep, PackFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PackPipeline, failedSigningLeavesNoStaleBundleBehind) {
    ws.put("out/desc.json", "{}");
    ASSERT_TRUE(pc.runPack(PackController::Step2, false, "", PackController::Kind2d));
    ScopedEnv noKey("LUMO_SIGN_KEY", "/nonexistent/key.pem");

    EXPECT_FALSE(pc.runPack(PackController::Step2, false, "", PackController::Kind2d));
    EXPECT_FALSE(ws.has("build/iOS/p.bundle")) << "the last run's bundle must not pass for this run's";
}

TEST_F(PackPipeline, clearOutputsEmptiesOutRecursivelyAndKeepsItsFolders) {
    ws.put("out/a/b/c.txt", "c");
    ws.put("out/a/d.txt", "d");
    ws.put("out/top.txt", "t");
    ws.put("keep/elsewhere.txt", "outside out/");
    fs::create_directory_symlink(ws.project("keep"), ws.project("out/link"));

    EXPECT_TRUE(pc.clearOutputs());

    EXPECT_EQ(treeNames(ws.project("out")), (std::vector<std::string>{"a/", "a/b/"}));
    EXPECT_TRUE(ws.has("keep/elsewhere.txt")) << "a link in out/ is removed, not followed";
    EXPECT_TRUE(trace.contains("command:  remove files under \"" + ws.project("out/") + "\" \n"));
}

TEST_F(PackPipeline, clearOutputsReportsWhatCannotBeRemoved) {
    fs::create_directories(ws.project("out/desc.json/inner"));  // a folder under a file's name
    EXPECT_FALSE(pc.clearOutputs());
    EXPECT_TRUE(trace.contains("failed delete file " + ws.project("out/desc.json") + "\n"));
}

TEST_F(PackPipeline, xcopyFileCopiesIntoFoldersOrToFileNames) {
    ws.put("src/a.bin", "payload");
    const std::string src = ws.project("src/a.bin");

    EXPECT_TRUE(pc.xcopyFile(src, ws.project("new/folder/")));
    EXPECT_EQ(readFile(ws.project("new/folder/a.bin")), "payload");
    EXPECT_TRUE(pc.xcopyFile(src, ws.project("out")));
    EXPECT_EQ(readFile(ws.project("out/a.bin")), "payload");
    EXPECT_TRUE(pc.xcopyFile(src, ws.project("renamed.bin")));
    EXPECT_EQ(readFile(ws.project("renamed.bin")), "payload");
    EXPECT_FALSE(pc.xcopyFile(ws.project("src/missing.bin"), ws.project("out/")));
    EXPECT_TRUE(trace.contains("kvo::cp failed can not read src.\n"));
}

TEST_F(PackPipeline, zipAndSignRefusesAnEmptyBundleName) {
    setBundleName("");
    EXPECT_FALSE(pc.zipAndSign());
    EXPECT_TRUE(trace.contains("pack step zipAndSign failed: the bundle name is empty\n"));
}

TEST_F(PackPipeline, forceCopyReportsACopyThatFails) {
    ws.put("fcopy/a.txt", "a");
    fs::create_directories(ws.project("out/a.txt"));  // a folder where the file must go
    EXPECT_FALSE(pc.forceCopy());
    EXPECT_TRUE(trace.contains("kvo::cp failed can not read des.\n"));
    EXPECT_TRUE(trace.contains("PackController::forceCopy end\n"));
}

} // namespace

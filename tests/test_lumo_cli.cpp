// The lumo command line, run as a user would: a pack with no display and no
// GL (texture calls abort the process) whose bundle both lumo verify and
// the signing script accept; lumo check naming every planted fault.

#include "PackTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using testing_support::readFile;
using testing_support::runCommand;

namespace {

const std::string kLumo = std::string(LUMO_BINARY_DIR) + "/tools/lumo/lumo";

struct CliRun {
    int rc = -1;
    std::string out;
};

// Runs lumo without a display, with GL texture calls forbidden.
CliRun lumo(const std::string& args) {
    const std::string out = runCommand("env -u DISPLAY LD_PRELOAD=" LUMO_GL_FORBIDDEN
                                       " ASAN_OPTIONS=verify_asan_link_order=0 " +
                                       kLumo + " " + args + " 2>/dev/null; echo \"rc=$?\"");
    const size_t at = out.rfind("rc=");
    return {at == std::string::npos ? -1 : std::stoi(out.substr(at + 3)), out.substr(0, at)};
}

// Lines printed by node for the JSON text `json` given `expr` over r.
std::string nodeEval(const std::string& json, const std::string& expr) {
    testing_support::ScratchDir dir;
    testing_support::writeFile(dir.file("r.json"), json);
    testing_support::writeFile(dir.file("e.js"), "const r = JSON.parse(require('fs').readFileSync('" +
                                                     dir.file("r.json") + "'));\nconsole.log(" + expr + ");\n");
    return runCommand("node " + dir.file("e.js"));
}

std::string entry2d(const std::string& name, const std::string& tex, const std::string& extra = "") {
    return R"({"itemname":")" + name + R"(","texpath":")" + tex + R"(","z":80,"w":120,"h":90)" + extra + "}";
}

} // namespace

TEST(LumoCli, packWithoutDisplayGivesABundleBothVerifiersAccept) {
    LUMO_REQUIRE_FIXTURES();
    pack_test::PackWorkspace ws("seq");
    const std::string seq = testing_support::fixturesDir() + "/sequences/models_00000.png";
    ws.put("seq.lumoproj", R"({"projectname":"seq","projecttype":1,"2D":[)" + entry2d("models", seq) + "," +
                               entry2d("grp", seq, R"(,"childcnt":1)") + "," + entry2d("m", seq) + "]}");
    const std::string file = ws.project("seq.lumoproj");
    EXPECT_EQ(lumo("check " + file).rc, 0);

    const std::string copies = ws.root() + "/copies";
    const CliRun pack = lumo("pack " + file + " --json --out " + copies);
    ASSERT_EQ(pack.rc, 0) << pack.out;
    EXPECT_EQ(nodeEval(pack.out, "r.ok, r.verified, r.copies.length"), "true true 2\n");
    const std::string bundle = ws.project("build/iOS/seq.bundle");
    EXPECT_EQ(readFile(copies + "/seq.bundle"), readFile(bundle));
    EXPECT_EQ(readFile(copies + "/seq.mp3"), readFile(bundle));
    EXPECT_EQ(lumo("verify " + bundle).rc, 0);
    EXPECT_EQ(pack_test::verifyBundle(bundle), 0);
    const CliRun info = lumo("info --json " + bundle);
    EXPECT_EQ(info.rc, 0);
    EXPECT_EQ(nodeEval(info.out, "r.keyId, r.nodes, r.atlases.length, r.atlases[0].fill > 0.05, "
                                 "r.files.some(f => f.name === 'desc.json')"),
              "47db3fcd194612d3 3 1 true true\n");

    // One changed zip byte: refused by both.
    std::string bytes = readFile(bundle);
    bytes[bytes.size() / 2] ^= 0x20;
    const std::string bad = ws.root() + "/bad.bundle";
    testing_support::writeFile(bad, bytes);
    EXPECT_EQ(lumo("verify " + bad + " --root " + ws.root()).rc, 1);
    EXPECT_EQ(pack_test::verifyBundle(bad), 1);
}

TEST(LumoCli, checkNamesEachPlantedFault) {
    pack_test::PackWorkspace ws("faults");
    const std::string frame = readFile(std::string(LUMO_SOURCE_DIR) + "/data/ref/default_00000.png");
    for (const char* n : {"walk_00000.png", "walk_00001.png", "walk_00003.png"})
        ws.put(n, frame);
    ws.put("garbage.png", "not an image");
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
    const std::string twoParts = "g a\n" + tri + "f 1 2 3\ng b\n" + tri + "f 4 5 6\n";
    ws.put("head_bs0.obj", twoParts);
    ws.put("head_bs2.obj", twoParts);
    ws.put("head_bs3.obj", "g a\n" + tri + "f 1 2 3\n");
    const std::string dir = ws.project();
    const std::string good = "./data/ref/default_00000.png";
    ws.put("faults.lumoproj",
           R"({"projectname":"faults","projecttype":3,"2D":[)" + entry2d("walk", dir + "/walk_00000.png") + "," +
               entry2d("nofile", dir + "/nothere_00000.png") + "," + entry2d("badname", "./data/ref/white.png") +
               "," + entry2d("act", good, R"(,"triggerStart":3,"start_action":"no_such_action")") + "," +
               entry2d("trig", good, R"(,"triggerStart":1,"triggerEnd":2)") + "," + entry2d("fine", good) +
               R"(],"ARMesh":[{"itemname":"mask","texpath":")" + dir + R"(/garbage.png"}],"3D":[)" +
               R"({"itemname":"ghost","objpath":"/nowhere/ghost.obj"},)" + R"({"itemname":"head","objpath":")" +
               dir + R"(/head_bs0.obj"}]})");
    const CliRun check = lumo("check --json " + ws.project("faults.lumoproj"));
    EXPECT_EQ(check.rc, 1);
    EXPECT_EQ(nodeEval(check.out, "r.problems.map(p => p.kind + ' ' + p.item).sort().join('\\n')"),
              "bad-texture-name badname\nbad-trigger trig\nmissing-blendshape head\nmissing-mesh ghost\n"
              "missing-texture nofile\nsequence-gap walk\nunknown-face-action act\nunreadable-blendshape head\n"
              "unreadable-texture mask\n");
    EXPECT_EQ(lumo("check").rc, 2);
    EXPECT_EQ(lumo("check --help").rc, 0);
}

// desc.json text layout, group play paths and the effect script template.

#include "pack/DescNodeBuilder.h"
#include "pack/DescWriter.h"
#include "pack/ScriptWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using testing_support::TraceCapture;

namespace {

TEST(DescWriter, writesNodeLinesWithTabsIntegersAndStreamFloats) {
    DescNode n;
    n.name = "cat";
    n.type = "billboard_ex2";
    n.fps = 20;
    n.frameCnt1Loop = 2;
    n.triggerstart = "newface";
    n.startaction = "null";
    n.needkeepfaceaction = 1;
    n.triggerend = "default";
    n.endaction = "null";
    n.looptype = "infinite";
    n.loopcnt = 1;
    n.root = -1;
    n.childNodes = {3, 4};
    n.base_vertex = 12;
    DescFrame f;
    f.v = {0.5f, 1, 1e-05f, -2, 123456.7f, 0, 0, 0, 0, 0, 0, 0.25f};
    f.vt = {0, 1, 1, 1, 1, 0, 0, 0};
    f.bigtexidx = 1;
    n.texture_frames = {f, DescFrame{}};
    const std::string expected =
        "[\n"
        "\t{\n"
        "\t\t\"name\":\"cat\",\n"
        "\t\t\"type\":\"billboard_ex2\",\n"
        "\t\t\"path\":\"\",\n"
        "\t\t\"fps\":20,\n"
        "\t\t\"frameCnt1Loop\":2,\n"
        "\t\t\"triggerstart\":\"newface\",\n"
        "\t\t\"startaction\":\"null\",\n"
        "\t\t\"needkeepfaceaction\":1,\n"
        "\t\t\"triggerend\":\"default\",\n"
        "\t\t\"endaction\":\"null\",\n"
        "\t\t\"looptype\":\"infinite\",\n"
        "\t\t\"loopcnt\":1,\n"
        "\t\t\"nodetype\":0,\n"
        "\t\t\"root\":-1,\n"
        "\t\t\"childNodes\":[3,4],\n"
        "\t\t\"base_vertex\":12,\n"
        "\t\t\"texture_frames\":[\n"
        "\t\t\t{\n"
        "\t\t\t\t\"v\":[0.5,1,1e-05,-2,123457,0,0,0,0,0,0,0.25],\n"
        "\t\t\t\t\"vt\":[0,1,1,1,1,0,0,0],\n"
        "\t\t\t\t\"bigtexidx\":1\n"
        "\t\t\t},\n"
        "\t\t\t{\n"
        "\t\t\t\t\"v\":[],\n"
        "\t\t\t\t\"vt\":[],\n"
        "\t\t\t\t\"bigtexidx\":0\n"
        "\t\t\t}\n"
        "\t\t]\n"
        "\t},\n"
        "\t{\n";
    DescNode ar;
    ar.name = "mask_ar";
    ar.path = "mask.webp";
    const std::string text = DescWriter::descText({n}, {ar});
    EXPECT_EQ(text.substr(0, expected.size()), expected);
    const std::string end = "\t\t\"texture_frames\":[\n\n\t\t]\n\t}\n]";
    ASSERT_GE(text.size(), end.size());
    EXPECT_EQ(text.substr(text.size() - end.size()), end);
    EXPECT_EQ(DescWriter::descText({}, {}), "[\n\n]");
    EXPECT_EQ(DescWriter::descText({}, {ar}).find("[\n\t{\n\t\t\"name\":\"mask_ar\","), 0u);
}

TEST(DescWriter, escapesNamesSoTheFileStaysJson) {
    DescNode n;
    n.name = "say \"hi\"\\";
    const std::string text = DescWriter::descText({n}, {});
    EXPECT_NE(text.find("\"name\":\"say \\\"hi\\\"\\\\\","), std::string::npos);
    EXPECT_EQ(DescWriter::atlasListText({"bigtex_0.webp", "bigtex_1.webp"}),
              "{\"bigtexs\":[\"bigtex_0.webp\",\"bigtex_1.webp\"]}");
    EXPECT_EQ(DescWriter::atlasListText({}), "{\"bigtexs\":[]}");
}

DescNode playNode(int nodetype, int loopcnt, int frames, std::vector<int> children, int root = -1) {
    DescNode n;
    n.nodetype = nodetype;
    n.loopcnt = loopcnt;
    n.frameCnt1Loop = frames;
    n.childNodes = std::move(children);
    n.root = root;
    return n;
}

TEST(FindLongestFramePath, sumsEachMembersLoopsAlongTheLongestChain) {
    // group -> first (2 x 10) -> last (nodetype 3, 1 x 5) -> group
    std::vector<DescNode> nodes = {playNode(1, 1, 1, {1}), playNode(2, 2, 10, {2}, 0), playNode(3, 1, 5, {0}, 0)};
    nodes[0].looptype = "loop1stay";
    nodes[2].looptype = "infinite";
    EXPECT_EQ(DescNodeBuilder::findLongestFramePath(nodes, 0), 25);
    DescNodeBuilder::applyGroupFixups(nodes);
    EXPECT_EQ(nodes[0].frameCnt1Loop, 25);
    EXPECT_EQ(nodes[2].looptype, "loop1stay");
}

TEST(FindLongestFramePath, stopsOnCyclesAndIgnoresIndicesOutsideTheList) {
    struct Case {
        const char* what;
        std::vector<DescNode> nodes;
        long long expected;
    } cases[] = {
        {"ring without a last member", {playNode(1, 1, 1, {1}), playNode(2, 1, 4, {2}), playNode(2, 1, 6, {1})}, 10},
        {"self loop", {playNode(2, 3, 2, {0})}, 6},
        {"child out of range", {playNode(1, 1, 1, {5, -1, 1}), playNode(0, 2, 3, {})}, 6},
        {"branching takes the longest", {playNode(1, 1, 1, {1, 2}), playNode(0, 1, 3, {}), playNode(0, 1, 8, {})}, 8},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DescNodeBuilder::findLongestFramePath(c.nodes, 0), c.expected) << c.what;
    EXPECT_EQ(DescNodeBuilder::findLongestFramePath({}, 0), 0);
}

// 60 diamonds in a row (2^60 paths) and a chain of 300,000 members: each
// node is walked once, without recursion.
TEST(FindLongestFramePath, diamondsAndLongChainsAreWalkedOnce) {
    std::vector<DescNode> diamonds = {playNode(1, 1, 1, {1, 2})};
    for (int layer = 0; layer < 60; ++layer) {
        const int next = 2 * layer + 3;
        diamonds.push_back(playNode(2, 1, 1, {next, next + 1}));
        diamonds.push_back(playNode(2, 1, 2, {next, next + 1}));
    }
    diamonds.push_back(playNode(3, 1, 5, {0}));
    diamonds.push_back(playNode(3, 1, 7, {0}));
    EXPECT_EQ(DescNodeBuilder::findLongestFramePath(diamonds, 0), 60 * 2 + 7);
    std::vector<DescNode> chain = {playNode(1, 1, 1, {1})};
    for (int i = 1; i < 300000; ++i)
        chain.push_back(playNode(2, 2, 3, {i + 1}));
    EXPECT_EQ(DescNodeBuilder::findLongestFramePath(chain, 0), 299999LL * 6);
}

TEST(ArNodes, anItemWhoseTextureCannotBeWrittenIsLeftOut) {
    testing_support::ScratchDir dir;
    const std::vector<ArItem> items = {{"mask", "mask", LUMO_SOURCE_DIR "/data/ref/default_ar.png", 0}};
    TraceCapture trace;
    EXPECT_EQ(DescNodeBuilder::buildArNodes(items, dir.path() + "/").size(), 1u);
    EXPECT_TRUE(DescNodeBuilder::buildArNodes(items, dir.file("missing/")).empty());
    EXPECT_TRUE(trace.contains("AR texture could not be written, item left out: " + dir.file("missing/mask.webp")));
}

TEST(ScriptWriter, replacesFirstMarkersAndWritesOneCasePerAction) {
    const std::vector<FaceAction> actions = {{"open_mouth", "face.mouthOpen > 0.5"}, {"blink", "face.blink"}};
    const std::string filled =
        ScriptWriter::fillTemplate("A dummy B dummy //#action C //#action", "n_lumoeditor_3_0_1", actions);
    EXPECT_EQ(filled, "A n_lumoeditor_3_0_1 B dummy "
                      "\n\t\t\tcase \"open_mouth\":\n\t\t\t\treturn face.mouthOpen > 0.5;\n\t\t\t\tbreak;\n"
                      "\n\t\t\tcase \"blink\":\n\t\t\t\treturn face.blink;\n\t\t\t\tbreak;\n"
                      " C //#action");
    EXPECT_EQ(ScriptWriter::fillTemplate("x//#action y", "s", {}), "x y");
}

TEST(ScriptWriter, templateWithoutMarkersIsKeptAndReported) {
    TraceCapture trace;
    EXPECT_EQ(ScriptWriter::fillTemplate("no markers", "s", {{"a", "b"}}), "no markers");
    EXPECT_TRUE(trace.contains("dummy"));
    EXPECT_TRUE(trace.contains("//#action"));
    EXPECT_EQ(ScriptWriter::fillTemplate("", "s", {}), "");
    EXPECT_EQ(ScriptWriter::fillTemplate("dumm //#actio", "s", {}), "dumm //#actio");
}

} // namespace

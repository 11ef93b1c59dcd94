// The face-action table: loading from bytes and files, the failure rules,
// and the shipped data/tools/actions.json.

#include "TestSupport.h"

#include "scene/FaceActions.h"
#include "scene/MainDataHolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

using testing_support::ScratchDir;
using testing_support::TraceCapture;
using testing_support::readFile;
using testing_support::writeFile;

namespace {

const char* kThree = R"({"actions":[{"name":"a","condition":"face.x > 1"},)"
                     R"({"name":"b","condition":"face.y < 2"},{"name":"c","condition":"true"}]})";

std::vector<std::string> names(const FaceActions& t) {
    std::vector<std::string> n;
    for (int i = 0; i < t.count(); ++i)
        n.push_back(t.name(i));
    return n;
}

} // namespace

TEST(FaceActions, loadsNamesAndConditionsInFileOrder) {
    FaceActions t;
    TraceCapture quiet;
    ASSERT_TRUE(t.loadFromBytes(kThree));
    EXPECT_EQ(names(t), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(t.condition(1), "face.y < 2");
    EXPECT_EQ(t.name(-1), "");
    EXPECT_EQ(t.name(3), "");
    EXPECT_EQ(t.condition(99), "");
}

// Invalid documents keep the previous table; an "actions" value that is not
// a non-empty array of usable elements empties it.
TEST(FaceActions, failedLoadsReportAndKeepOrEmptyTheTable) {
    const std::string invalid = "\nERROR!!!!!\nyour action json file is invalid\n";
    const std::string noRule = "\nERROR!!!!!\nyour action rule:0\n";
    const struct Case {
        std::string text;
        const std::string& line;
        int countAfter;
    } cases[] = {
        {"", invalid, 3},
        {"{", invalid, 3},
        {"not json", invalid, 3},
        {"[1,2]", invalid, 3},
        {"{\"other\":[]}", invalid, 3},
        {"\"actions\"", invalid, 3},
        {"{\"actions\":[]} x", invalid, 3},
        {std::string("\xff\xfe\x00\x01", 4), invalid, 3},
        {R"({"actions":[]})", noRule, 0},
        {R"({"actions":{}})", noRule, 0},
        {R"({"actions":5})", noRule, 0},
        {R"({"actions":null})", noRule, 0},
        {R"({"actions":[{"name":"a"}]})", noRule, 0},
    };
    for (const Case& c : cases) {
        FaceActions t;
        TraceCapture trace;
        ASSERT_TRUE(t.loadFromBytes(kThree));
        EXPECT_FALSE(t.loadFromBytes(c.text)) << c.text;
        EXPECT_TRUE(trace.contains(c.line)) << c.text;
        EXPECT_EQ(t.count(), c.countAfter) << c.text;
    }
}

TEST(FaceActions, unusableElementsAreSkippedWithALine) {
    FaceActions t;
    TraceCapture trace;
    ASSERT_TRUE(t.loadFromBytes(R"({"actions":[
        {"name":"ok1","condition":"c1"},
        {"condition":"no name"},
        {"name":"no condition"},
        {"name":5,"condition":"c"},
        {"name":"n","condition":["c"]},
        "just a string",
        null,
        {"name":"","condition":"c"},
        {"name":"null","condition":"c"},
        {"name":"ok2","condition":"c2","extra":1}
    ], "ignored": true})"));
    EXPECT_EQ(names(t), (std::vector<std::string>{"ok1", "ok2"}));
    EXPECT_EQ(t.condition(1), "c2");
    for (int i = 1; i <= 8; ++i)
        EXPECT_TRUE(trace.contains("skip face action " + std::to_string(i) + ": ")) << i;
    EXPECT_FALSE(trace.contains("skip face action 0:"));
    EXPECT_FALSE(trace.contains("skip face action 9:"));
}

TEST(FaceActions, fileThatCannotBeOpenedIsInvalid) {
    ScratchDir dir;
    FaceActions t;
    TraceCapture trace;
    writeFile(dir.file("actions.json"), kThree);
    ASSERT_TRUE(t.loadFromFile(dir.file("actions.json")));
    EXPECT_FALSE(t.loadFromFile(dir.file("missing.json")));
    EXPECT_TRUE(trace.contains("\nERROR!!!!!\nyour action json file is invalid\n"));
    EXPECT_EQ(t.count(), 3);
    // A folder opens but reads as nothing.
    EXPECT_FALSE(t.loadFromFile(dir.path()));
    EXPECT_EQ(t.count(), 3);
    // A pipe is never opened: with no writer that would wait forever.
    ASSERT_EQ(::mkfifo(dir.file("pipe.json").c_str(), 0600), 0);
    EXPECT_FALSE(t.loadFromFile(dir.file("pipe.json")));
    // An oversized file is refused unread.
    std::string big = std::string(kThree);
    big.append(17u * 1024 * 1024, ' ');
    writeFile(dir.file("big.json"), big);
    EXPECT_FALSE(t.loadFromFile(dir.file("big.json")));
    EXPECT_TRUE(trace.contains("action file too large:" + dir.file("big.json") + "\n"));
    EXPECT_EQ(t.count(), 3);
}

TEST(FaceActions, fileLargerThanTheReadBufferLoadsWhole) {
    ScratchDir dir;
    std::string text = "{\"actions\":[";
    for (int i = 0; i < 3000; ++i)
        text += std::string(i ? "," : "") + "{\"name\":\"action_" + std::to_string(i) + "\",\"condition\":\"face.mouthOpen > " +
                std::to_string(i) + "\"}";
    text += "]}";
    ASSERT_GT(text.size(), 65536u * 2);
    writeFile(dir.file("a.json"), text);
    FaceActions t;
    TraceCapture quiet;
    ASSERT_TRUE(t.loadFromFile(dir.file("a.json")));
    ASSERT_EQ(t.count(), 3000);
    EXPECT_EQ(t.name(2999), "action_2999");
    EXPECT_EQ(t.condition(2999), "face.mouthOpen > 2999");
}

TEST(FaceActions, truncatedAndDeeplyNestedInputIsRefusedCleanly) {
    const std::string full = kThree;
    for (size_t n = 0; n < full.size(); ++n) {
        FaceActions t;
        TraceCapture quiet;
        EXPECT_FALSE(t.loadFromBytes(full.substr(0, n))) << n;
    }
    FaceActions t;
    TraceCapture quiet;
    EXPECT_FALSE(t.loadFromBytes("{\"actions\":" + std::string(200000, '[')));
    EXPECT_FALSE(t.loadFromBytes("{\"actions\":[" + std::string(200000, '[') + std::string(200000, ']') + "]}"));
}

TEST(FaceActions, holderReloadsFromTheDataFolderAndListsChoices) {
    ScratchDir dir;
    std::filesystem::create_directories(dir.path() + "/data/tools");
    writeFile(dir.path() + "/data/tools/actions.json", kThree);
    MainDataHolder holder;
    holder.dataDir = dir.path() + "/data";
    TraceCapture trace;
    ASSERT_TRUE(holder.loadFaceActions());
    EXPECT_TRUE(trace.contains("MainDataHolder::loadFaceActions begin\n"));
    EXPECT_TRUE(trace.contains("actionfile:" + dir.path() + "/data/tools/actions.json\n"));
    EXPECT_TRUE(trace.contains("MainDataHolder::loadFaceActions end\n"));
    EXPECT_EQ(holder.faceActionChoices(), (std::vector<std::string>{"null", "a", "b", "c"}));
    EXPECT_EQ(holder.actionCount(), 3);
    EXPECT_EQ(holder.actionName(2), "c");
    EXPECT_EQ(holder.actionCondition(0), "face.x > 1");

    writeFile(dir.path() + "/data/tools/actions.json", "{broken");
    EXPECT_FALSE(holder.loadFaceActions());
    EXPECT_EQ(holder.actionCount(), 3);
    std::filesystem::remove(dir.path() + "/data/tools/actions.json");
    EXPECT_FALSE(holder.loadFaceActions());
    EXPECT_EQ(holder.actionCount(), 3);
}

TEST(FaceActions, emptyDataFolderUsesTheRelativePath) {
    MainDataHolder holder;
    TraceCapture trace;
    holder.loadFaceActions();
    EXPECT_TRUE(trace.contains("actionfile:tools/actions.json\n"));
}

// The shipped table: every required action, parsed the same by python3's json
// module, and every condition a JavaScript expression that node evaluates to
// the expected truth for typical faces.
TEST(ShippedFaceActions, coversTheRequiredActions) {
    const std::string path = std::string(LUMO_SOURCE_DIR) + "/data/tools/actions.json";
    FaceActions t;
    TraceCapture trace;
    ASSERT_TRUE(t.loadFromFile(path));
    EXPECT_FALSE(trace.contains("skip face action"));
    const std::vector<std::string> required = {"mouth_open", "blink_left", "blink_right", "blink_both",
                                               "eyebrows_raised", "smile", "head_nod", "head_shake",
                                               "head_turn_left", "head_turn_right"};
    EXPECT_EQ(names(t), required);

    const std::string cmd = "python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); "
                            "sys.exit(0 if [a['name'] for a in d['actions']]==" +
                            std::string("['mouth_open','blink_left','blink_right','blink_both','eyebrows_raised',"
                                        "'smile','head_nod','head_shake','head_turn_left','head_turn_right']") +
                            " else 1)\" " + path;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST(ShippedFaceActions, conditionsEvaluateAsExpectedInNode) {
    ASSERT_EQ(std::system("node --version > /dev/null 2>&1"), 0) << "node is missing; scripts/setup.sh installs it";
    const std::string path = std::string(LUMO_SOURCE_DIR) + "/data/tools/actions.json";
    ScratchDir dir;
    // Each face, the actions that must be present (all others absent).
    writeFile(dir.file("check.js"), R"JS(
const table = JSON.parse(require('fs').readFileSync(process.argv[2], 'utf8')).actions;
const rest = {mouthOpen: 0.05, eyeOpenLeft: 0.9, eyeOpenRight: 0.9, browRaise: 0.1, smile: 0.1,
              pitch: 0, yaw: 0, roll: 0, pitchSwing: 1, yawSwing: 1, pitchTurns: 0, yawTurns: 0};
const cases = [
  [{}, []],
  [{mouthOpen: 0.7}, ['mouth_open']],
  [{eyeOpenLeft: 0.05}, ['blink_left']],
  [{eyeOpenRight: 0.05}, ['blink_right']],
  [{eyeOpenLeft: 0.05, eyeOpenRight: 0.1}, ['blink_both']],
  [{browRaise: 0.8}, ['eyebrows_raised']],
  [{smile: 0.8, mouthOpen: 0.2}, ['smile']],
  [{pitchSwing: 20, pitchTurns: 2}, ['head_nod']],
  [{yawSwing: 30, yawTurns: 3}, ['head_shake']],
  [{yaw: 40}, ['head_turn_left']],
  [{yaw: -40}, ['head_turn_right']],
];
let bad = 0;
for (const [change, expected] of cases) {
  const face = Object.assign({}, rest, change);
  for (const a of table) {
    const got = !!(new Function('face', 'return (' + a.condition + ');'))(face);
    if (got !== expected.includes(a.name)) {
      console.log('wrong result of ' + a.name + ' for ' + JSON.stringify(change));
      bad++;
    }
  }
}
process.exit(bad ? 1 : 0);
)JS");
    EXPECT_EQ(std::system(("node " + dir.file("check.js") + " " + path).c_str()), 0);
}

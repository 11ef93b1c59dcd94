// Template declarations: the scanner over script text and the record built
// from each JSON description.

#include "TestSupport.h"

#include "scene/MainDataHolder.h"
#include "scene/TemplateParam.h"

#include <gtest/gtest.h>

using testing_support::TraceCapture;

namespace {

struct Scan {
    std::vector<TemplateParam> globals, materials;
};

Scan scan(const std::string& text) {
    TraceCapture quiet;
    Scan s;
    scanTemplateDeclarations(text, s.globals, s.materials);
    return s;
}

} // namespace

TEST(TemplateParams, sliderBehindCommentMark) {
    const std::string desc = R"({"type":"slider","min":0,"max":2,"default_value":0.5})";
    Scan s = scan("var a = 1;\n// @gparam Speed " + desc + "\nvar b;\n");
    ASSERT_EQ(s.globals.size(), 1u);
    EXPECT_TRUE(s.materials.empty());
    const TemplateParam& p = s.globals[0];
    EXPECT_EQ(p.scope, "g");
    EXPECT_EQ(p.name, "Speed");
    EXPECT_EQ(p.type, "slider");
    EXPECT_EQ(p.description, desc);
    EXPECT_FLOAT_EQ(p.min, 0);
    EXPECT_FLOAT_EQ(p.max, 2);
    EXPECT_FLOAT_EQ(p.valuef, 0.5f);
    EXPECT_FALSE(p.isStr);
    EXPECT_TRUE(p.values.empty());
}

TEST(TemplateParams, declarationLinesThatDoNotMatch) {
    struct Case {
        const char* text;
        size_t globals, materials;
    } cases[] = {
        {"// @xparam a {}", 0, 0},          // scope letter other than g or m
        {"// @gparam  {\"type\":\"edit\"}", 0, 0}, // no name
        {"// @gparamname {}", 0, 0},        // no blank after param
        {"// gparam a {}", 0, 0},           // no @
        {"// @Gparam a {}", 0, 0},          // scope letters are lower case
        {"// @mparam a", 0, 1},             // nothing after the name
        {"//@gparam\ta\t{}", 1, 0},         // tabs count as blanks
        {"@gparam a\n@mparam b\r\n@gparam c", 2, 1},
        {"@@gparam a {}", 1, 0},
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        Scan s = scan(c.text);
        EXPECT_EQ(s.globals.size(), c.globals) << c.text;
        EXPECT_EQ(s.materials.size(), c.materials) << c.text;
    }
}

// Name and description taken from one line: the description runs to the line
// break, a second declaration on the line belongs to the first one's
// description, and the name stops at the first other character.
TEST(TemplateParams, whatADeclarationTakesFromItsLine) {
    struct Case {
        const char* text;
        const char* scope;
        const char* name;
        const char* description;
        const char* type;
    } cases[] = {
        {"// @gparam a {\"type\":\"edit\"} // @mparam b {}\n", "g", "a", "{\"type\":\"edit\"} // @mparam b {}", ""},
        {"// @mparam tint   {\"type\":\"edit\"}\r\nnext line", "m", "tint", "{\"type\":\"edit\"}", "edit"},
        {"// @gparam alpha-beta {}", "g", "alpha", "-beta {}", ""},
        {"@mparam q\t\t{\"type\":\"slider\"}  ", "m", "q", "{\"type\":\"slider\"}  ", "slider"},
    };
    for (const Case& c : cases) {
        Scan s = scan(c.text);
        const std::vector<TemplateParam>& list = *c.scope == 'g' ? s.globals : s.materials;
        ASSERT_EQ(s.globals.size() + s.materials.size(), 1u) << c.text;
        ASSERT_EQ(list.size(), 1u) << c.text;
        EXPECT_EQ(list[0].name, c.name) << c.text;
        EXPECT_EQ(list[0].description, c.description) << c.text;
        EXPECT_EQ(list[0].type, c.type) << c.text;
        EXPECT_EQ(list[0].isStr, std::string(c.type) != "slider") << c.text;
    }
}

TEST(TemplateParams, duplicateNamesGiveTwoRecords) {
    Scan s = scan("// @mparam x {\"type\":\"edit\",\"default_value\":\"1\"}\n"
                  "// @mparam x {\"type\":\"edit\",\"default_value\":\"2\"}\n");
    ASSERT_EQ(s.materials.size(), 2u);
    EXPECT_EQ(s.materials[0].values, "1");
    EXPECT_EQ(s.materials[1].values, "2");
}

TEST(TemplateParams, membersOfTheWrongTypeKeepTheirDefaults) {
    struct Case {
        const char* desc;
        const char* type;
        float min, max, valuef;
        const char* values;
        bool isStr, isTex;
    } cases[] = {
        {R"({"type":"slider","min":"0","max":[2],"default_value":"0.5"})", "slider", 0, 0, 0, "", false, false},
        {R"({"type":7,"default_value":"x"})", "", 0, 0, 0, "x", true, false},
        {R"({"type":"edit","default_value":3})", "edit", 0, 0, 0, "", true, false},
        {R"({"type":"slider","default_value":1e300,"max":-1e300})", "slider", 0, -3.4028235e38f, 3.4028235e38f, "", false, false},
        {R"({"isTex":1})", "", 0, 0, 0, "", true, true},
        {R"({"isTex":0})", "", 0, 0, 0, "", true, false},
        {R"({"isTex":0.5})", "", 0, 0, 0, "", true, false},
        {R"({"isTex":"1"})", "", 0, 0, 0, "", true, false},
        {R"({"isTex":true})", "", 0, 0, 0, "", true, false},
        {R"([1,2,3])", "", 0, 0, 0, "", true, false},
        {R"({"type":"slider")", "", 0, 0, 0, "", true, false},
        {R"({"type":"slider"} trailing)", "", 0, 0, 0, "", true, false},
    };
    for (const Case& c : cases) {
        TraceCapture quiet;
        const TemplateParam p = TemplateParam::fromDeclaration("m", "p", c.desc);
        EXPECT_EQ(p.type, c.type) << c.desc;
        EXPECT_FLOAT_EQ(p.min, c.min) << c.desc;
        EXPECT_FLOAT_EQ(p.max, c.max) << c.desc;
        EXPECT_FLOAT_EQ(p.valuef, c.valuef) << c.desc;
        EXPECT_EQ(p.values, c.values) << c.desc;
        EXPECT_EQ(p.isStr, c.isStr) << c.desc;
        EXPECT_EQ(p.isTex, c.isTex) << c.desc;
        EXPECT_EQ(p.description, c.desc);
    }
}

TEST(TemplateParams, tracesEachDeclarationAndItsRecord) {
    TraceCapture trace;
    std::vector<TemplateParam> g, m;
    scanTemplateDeclarations("// @gparam Speed {\"type\":\"slider\",\"min\":0,\"max\":2,\"default_value\":0.5}", g, m);
    EXPECT_TRUE(trace.contains("g Speed {\"type\":\"slider\",\"min\":0,\"max\":2,\"default_value\":0.5}\n"));
    EXPECT_TRUE(trace.contains("name:Speed min:0.000000 max2.000000 valuef:0.500000 values:\n"));
}

TEST(TemplateParams, texturePathIsTheTemplateFolderPlusTheDefault) {
    MainDataHolder holder;
    TraceCapture trace;
    holder.parseTemplateText("// @mparam tex_albedo {\"type\":\"texture\",\"default_value\":\"white.png\",\"isTex\":1}\n"
                             "// @mparam other {\"type\":\"edit\",\"default_value\":\"white.png\"}\n"
                             "// @gparam g {\"type\":\"texture\",\"default_value\":\"grey.png\"}\n",
                             "/w/data/tools/3d_template/script.js");
    ASSERT_EQ(holder.materialParams.size(), 2u);
    ASSERT_EQ(holder.globalParams.size(), 1u);
    EXPECT_EQ(holder.materialParams[0].texPath, "/w/data/tools/3d_template/white.png");
    EXPECT_TRUE(holder.materialParams[0].isTex);
    EXPECT_TRUE(holder.materialParams[1].texPath.empty());
    EXPECT_EQ(holder.globalParams[0].texPath, "/w/data/tools/3d_template/grey.png");
    EXPECT_TRUE(trace.contains(" MainDataHolder::parseTemplate end\n"));

    // A second parse appends; a Windows-style path uses the last backslash.
    holder.parseTemplateText("// @gparam h {\"type\":\"texture\",\"default_value\":\"a.png\"}", "C:\\t\\script.js");
    ASSERT_EQ(holder.globalParams.size(), 2u);
    EXPECT_EQ(holder.globalParams[1].texPath, "C:\\t\\a.png");
}

TEST(TemplateParams, unreadableTemplateGivesNoParametersAndFails) {
    testing_support::ScratchDir dir;
    for (const std::string& path : {std::string("/nonexistent/folder/script.js"), dir.path(), std::string()}) {
        MainDataHolder holder;
        testing_support::TraceCapture trace;
        holder.templatePath = path;
        EXPECT_FALSE(holder.parseTemplate()) << path;
        EXPECT_TRUE(holder.globalParams.empty());
        EXPECT_TRUE(holder.materialParams.empty());
        EXPECT_TRUE(trace.contains("template path:" + path + "\n"));
        EXPECT_TRUE(trace.contains("template file missing, too large or unreadable:" + path + "\n"));
    }
}

TEST(TemplateParams, hostileTextNeverBreaksTheScanner) {
    // Very long heads and descriptions, random bytes, and every prefix of a
    // real declaration.
    std::string longName = "// @gparam " + std::string(200000, 'a') + " {}";
    std::string longDesc = "// @gparam a {\"type\":\"edit\",\"default_value\":\"" + std::string(300000, 'x') + "\"}";
    std::string blanks = "// @gparam" + std::string(100000, ' ') + "a {}";
    Scan s1 = scan(longName);
    ASSERT_EQ(s1.globals.size(), 1u);
    EXPECT_EQ(s1.globals[0].name.size(), 200000u);
    Scan s2 = scan(longDesc);
    ASSERT_EQ(s2.globals.size(), 1u);
    EXPECT_EQ(s2.globals[0].values.size(), 300000u);
    Scan s3 = scan(blanks);
    ASSERT_EQ(s3.globals.size(), 1u);
    EXPECT_EQ(s3.globals[0].name, "a");

    // Lines of near-misses, each megabytes long: a scan that restarts the
    // line for every "@" would take hours here.
    const std::string mb(1 << 20, '@');
    for (const std::string& line : {"//" + mb, "// @gparam" + std::string(1 << 20, ' ') + "@",
                                    [] { std::string t; for (int i = 0; i < (1 << 18); ++i) t += "@gpar"; return t; }()}) {
        Scan s = scan(line + "\n// @mparam last " + std::string(100000, '[') + "\n");
        EXPECT_TRUE(s.globals.empty());
        ASSERT_EQ(s.materials.size(), 1u);
        EXPECT_EQ(s.materials[0].name, "last");
    }

    std::string bytes;
    uint32_t x = 12345;
    for (int i = 0; i < 100000; ++i) {
        x = x * 1103515245u + 12345u;
        bytes.push_back(static_cast<char>(x >> 24));
        if (i % 997 == 0)
            bytes += "@mparam q {\"type\":\"slider\",\"default_value\":";
    }
    Scan s4 = scan(bytes);
    EXPECT_GT(s4.materials.size(), 0u);

    const std::string real = "// @gparam Speed {\"type\":\"slider\",\"min\":0,\"max\":2,\"default_value\":0.5}";
    for (size_t n = 0; n <= real.size(); ++n)
        scan(real.substr(0, n));
}

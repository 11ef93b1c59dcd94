// The shipped 3D template folder: the script parses in node and holds the
// script-name placeholder where the packer replaces it, its declarations are
// valid, and desc.json is JSON for python3's parser.

#include "TestSupport.h"

#include "scene/TemplateParam.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

using testing_support::TraceCapture;
using testing_support::readFile;

namespace {
const std::string kTemplate = std::string(LUMO_SOURCE_DIR) + "/data/tools/3d_template/";
}

TEST(TemplateFiles, everyFileThePackerCopiesExists) {
    for (const char* f : {"frag.glsl", "vert.glsl", "white.png", "desc.json", "script.js", "grey.png"})
        EXPECT_TRUE(std::filesystem::is_regular_file(kTemplate + f)) << f;
}

TEST(TemplateFiles, placeholderIsTheScriptNameValue) {
    const std::string script = readFile(kTemplate + "script.js");
    const size_t first = script.find("dummy");
    ASSERT_NE(first, std::string::npos);
    const std::string line = "var scriptName = \"dummy\";";
    const size_t offset = line.find("dummy");
    ASSERT_GE(first, offset);
    EXPECT_EQ(script.compare(first - offset, line.size(), line), 0);
}

TEST(TemplateFiles, declarationsAreValidAndIncludeTheAlbedoTexture) {
    std::vector<TemplateParam> globals, materials;
    TraceCapture quiet;
    scanTemplateDeclarations(readFile(kTemplate + "script.js"), globals, materials);
    EXPECT_GE(globals.size(), 2u);
    EXPECT_GE(materials.size(), 4u);
    bool albedo = false;
    for (const auto* list : {&globals, &materials})
        for (const TemplateParam& p : *list) {
            EXPECT_FALSE(p.type.empty()) << p.name;
            if (p.type == "slider") {
                EXPECT_LT(p.min, p.max) << p.name;
                EXPECT_GE(p.valuef, p.min) << p.name;
                EXPECT_LE(p.valuef, p.max) << p.name;
            } else {
                EXPECT_FALSE(p.values.empty()) << p.name;
            }
            if (p.type == "texture") {
                EXPECT_TRUE(p.isTex) << p.name;
                EXPECT_TRUE(std::filesystem::is_regular_file(kTemplate + p.values)) << p.name;
            }
            albedo = albedo || (p.name == "tex_albedo" && p.type == "texture" && p.scope == "m");
        }
    EXPECT_TRUE(albedo);
}

TEST(TemplateFiles, scriptAndDescriptorParseWithOutsideTools) {
    EXPECT_EQ(std::system(("python3 -c \"import json,sys; json.load(open(sys.argv[1]))\" " + kTemplate + "desc.json").c_str()), 0);
    ASSERT_EQ(std::system("node --version > /dev/null 2>&1"), 0) << "node is missing; scripts/setup.sh installs it";
    EXPECT_EQ(std::system(("node --check " + kTemplate + "script.js").c_str()), 0);
}

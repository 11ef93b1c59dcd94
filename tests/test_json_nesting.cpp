#include "app/ProjectList.h"
#include "scene/FaceActions.h"
#include "scene/TemplateParam.h"
#include "TestSupport.h"

#include <functional>
#include <gtest/gtest.h>

using namespace testing_support;

// Every JSON reader of the editor outside the packers is handed documents
// nested a million levels deep: each refuses them without exhausting the
// stack (a recursive parse would crash here).
TEST(JsonNesting, readersRefuseDeepNestingWithoutRecursion) {
    const std::string deep = std::string(1000000, '[') + std::string(1000000, ']');
    const std::string open = std::string(1000000, '[');
    const struct Case {
        const char* reader;
        std::function<bool(const std::string&)> read;
    } cases[] = {
        {"face actions", [](const std::string& t) { return FaceActions().loadFromBytes("{\"actions\":" + t + "}"); }},
        {"template description",
         [](const std::string& t) { return !TemplateParam::fromDeclaration("g", "p", t).type.empty(); }},
        {"project list", [](const std::string& t) { std::vector<ProjectRecord> r; return ProjectList::parseJson(t, r); }},
    };
    for (const Case& c : cases) {
        TraceCapture quiet;
        EXPECT_FALSE(c.read(open)) << c.reader;
        EXPECT_FALSE(c.read(deep)) << c.reader;
    }
}

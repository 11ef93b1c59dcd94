#include "app/ProjectList.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

// A million levels of nesting are refused without exhausting the stack (the
// face-action and template readers have the same check in their own tests).
TEST(ProjectListJson, refusesDeepNestingWithoutRecursion) {
    std::vector<ProjectRecord> records;
    testing_support::TraceCapture quiet;
    const std::string open(1000000, '[');
    for (const std::string& text : {open, open + std::string(1000000, ']')})
        EXPECT_FALSE(ProjectList::parseJson(text, records));
}

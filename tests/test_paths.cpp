#include "base/Paths.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace testing_support;

TEST(Paths, joinFollowsSeparatorRules) {
    struct Case { const char* a; const char* b; const char* joined; };
    const Case cases[] = {
        {"", "x", "x"},       {"a/", "x", "a/x"},    {"a\\", "x", "a\\x"},
        {"a", "x", "a/x"},    {"a", "/x", "a//x"},   {"", "", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(pathJoin(c.a, c.b), c.joined) << c.a << " + " << c.b;
}

TEST(Paths, nativePathKeepsPlatformSeparators) {
    EXPECT_EQ(toNativePath("a/b/c"), "a/b/c");
}

TEST(Paths, makeDirReportsCreatedExistingAndFailed) {
    ScratchDir dir;
    TraceCapture trace;
    const std::string sub = dir.file("sub");
    EXPECT_FALSE(fileExists(sub));
    EXPECT_EQ(makeDir(sub), 1);
    EXPECT_TRUE(trace.contains("mkdir ok\n"));
    EXPECT_TRUE(fileExists(sub));
    writeFile(sub + "/keep.txt", "x");
    EXPECT_EQ(makeDir(sub), 0);
    EXPECT_TRUE(trace.contains("dir exist:" + sub + "\n"));
    EXPECT_EQ(readFile(sub + "/keep.txt"), "x");
    // One level only: a missing parent is a failure.
    EXPECT_EQ(makeDir(dir.file("no/such/level")), -1);
    EXPECT_TRUE(trace.contains("mkdir error:" + dir.file("no/such/level") + "\n"));
}

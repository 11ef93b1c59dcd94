#include "base/Paths.h"
#include "base/Workspace.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>

using namespace testing_support;
namespace fs = std::filesystem;

namespace {
std::set<std::string> tree(const std::string& root) {
    std::set<std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(root))
        entries.insert(fs::relative(e.path(), root).string());
    return entries;
}
} // namespace

TEST(Workspace, firstStartCreatesDefaultProjectWithoutFcopy) {
    ScratchDir dir;
    TraceCapture trace;
    createDefaultProject(dir.path());
    EXPECT_TRUE(trace.contains("create default project!"));
    // once from makeDir for the project folder, once more from the project
    // creation itself, then once for each of the five subfolders
    EXPECT_EQ(trace.count("mkdir ok\n"), 8);
    const std::set<std::string> expected = {
        "Projects", "Projects/default", "Projects/default/zip", "Projects/default/out",
        "Projects/default/build", "Projects/default/build/iOS", "Projects/default/build/Android"};
    EXPECT_EQ(tree(dir.path()), expected);
}

TEST(Workspace, secondStartChangesNothing) {
    ScratchDir dir;
    createDefaultProject(dir.path());
    writeFile(dir.file("Projects/default/default.lumoproj"), "{}");
    const auto before = tree(dir.path());
    TraceCapture trace;
    createDefaultProject(dir.path());
    EXPECT_TRUE(trace.contains("project default exist!"));
    EXPECT_FALSE(trace.contains("mkdir ok"));
    EXPECT_EQ(tree(dir.path()), before);
}

TEST(Workspace, unwritableRootReportsAndContinues) {
    ScratchDir dir;
    const std::string root = dir.file("not-a-folder");
    writeFile(root, "file in the way");
    TraceCapture trace;
    createDefaultProject(root);
    EXPECT_TRUE(trace.contains("can not creat projects dir\n"));
}

TEST(Workspace, runStateMarkerHoldsExactState) {
    ScratchDir dir;
    makeDir(dir.file("log"));
    writeRunState(dir.path(), 1);
    EXPECT_EQ(readFile(dir.file("log/state.txt")), "1");
    writeRunState(dir.path(), 2);
    EXPECT_EQ(readFile(dir.file("log/state.txt")), "2");
    ScratchDir noLog;
    writeRunState(noLog.path(), 1);  // no log/ folder: silently skipped
    EXPECT_FALSE(fileExists(noLog.file("log/state.txt")));
}

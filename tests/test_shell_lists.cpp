// The project list file and the rules for project paths, without windows.
#include "app/ProjectList.h"
#include "app/ProjectNames.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace testing_support;
namespace fs = std::filesystem;

TEST(ProjectPaths, insideMeansBelowTheFolderAfterResolvingDotsAndLinks) {
    ScratchDir ws;
    ScratchDir elsewhere;
    fs::create_directories(ws.file("Projects/a"));
    fs::create_directory_symlink(elsewhere.path(), ws.file("Projects/link"));
    const std::string projects = ws.file("Projects");
    const struct {
        std::string path;
        bool inside;
    } cases[] = {
        {projects + "/a/a.lumoproj", true},
        {projects + "/new/new.lumoproj", true}, // not made yet
        {projects, false},
        {projects + "/", false},
        {projects + "/..", false},
        {projects + "/a/../../x.lumoproj", false},
        {ws.file("Projectsx/a.lumoproj"), false},
        {projects + "/link/x.lumoproj", false}, // a link that leads out
        {"/tmp/x/x.lumoproj", false},
        {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isPathInside(c.path, projects), c.inside) << c.path;
}

TEST(ProjectList, hostileListFilesAreReadAsEmptyAndTheScanStillLists) {
    ScratchDir ws;
    const std::string projects = ws.file("Projects");
    fs::create_directories(projects + "/found");
    writeFile(projects + "/found/found.lumoproj", "{\"projectname\":\"found\",\"projecttype\":2}");
    writeFile(projects + "/broken.lumoproj", std::string("\x00\xff{", 3)); // a project file that is not JSON
    const std::string valid = "{\"Projects\":[{\"path\":\"" + projects + "/found/found.lumoproj\",\"type\":2}]}";
    std::vector<std::string> lists = {"", "not json", "[]", "{\"Projects\":5}", "{\"Projects\":[1,\"x\",{\"path\":3}]}",
                                      std::string("\xef\xbb\xbf\x00\x01", 5)};
    for (size_t n = 0; n < valid.size(); ++n)
        lists.push_back(valid.substr(0, n)); // every truncation
    for (const std::string& list : lists) {
        SCOPED_TRACE(list);
        writeFile(projects + "/proj.json", list);
        TraceCapture quiet;
        ProjectList records(projects);
        records.load();
        ASSERT_EQ(records.records().size(), 1u);
        EXPECT_EQ(records.records()[0].type, 2);
        EXPECT_TRUE(quiet.contains(projects + "/broken.lumoproj parse Error"));
    }
}

TEST(ProjectList, typeNamesFollowTheLastMatchingFlag) {
    const std::pair<int, const char*> cases[] = {{0, "2D"},  {1, "2D"},  {2, "3D"},      {3, "3D"},
                                                 {4, "P2A"}, {6, "P2A"}, {8, "Filter"}, {15, "Filter"}, {16, "2D"}};
    for (auto [type, name] : cases)
        EXPECT_STREQ(ProjectList::typeName(type), name) << type;
}

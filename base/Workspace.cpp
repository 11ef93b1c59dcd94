#include "base/Workspace.h"

#include "base/Paths.h"
#include "base/Trace.h"

#include <cstdio>

void createDefaultProject(const std::string& root) {
    const std::string projects = pathJoin(root, "Projects/");
    if (!fileExists(projects))
        makeDir(projects);
    if (!fileExists(projects)) {
        Trace::out("can not creat projects dir\n");
        return;
    }
    const std::string project = pathJoin(root, "Projects/default");
    if (fileExists(project)) {
        Trace::out("project default exist!");
        return;
    }
    Trace::out("create default project!");
    const int made = makeDir(project);
    if (made == -1) {
        Trace::out("mkdir faild\n");
        return;
    }
    if (made != 1)
        return;
    Trace::out("mkdir ok\n");
    makeDir(pathJoin(project, "/zip"));
    makeDir(pathJoin(project, "/out"));
    const std::string build = pathJoin(project, "/build");
    makeDir(build);
    makeDir(pathJoin(build, "/iOS"));
    makeDir(pathJoin(build, "/Android"));
}

void writeRunState(const std::string& root, int state) {
    FILE* f = std::fopen(pathJoin(root, "log/state.txt").c_str(), "w");
    if (!f)
        return;
    std::fprintf(f, "%d", state);
    std::fclose(f);
}

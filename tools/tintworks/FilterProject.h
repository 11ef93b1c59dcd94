#pragma once
// Filter projects: a folder Projects/<name>/ holding <name>.lumoproj and the
// look's lookup table <name>_lut.png (layout in Look.h).
//
// The project file is compact JSON whose members are, in order:
//   "projectname"  the name (equal to the file's base name)
//   "projecttype"  8 (the filter flag of the editor's project types)
//   "2D"           [] (a filter project has no items)
//   "filter"       {"lut": file name of the table, "lutsize": 33,
//                   "layout": "strip", "brightness", "contrast",
//                   "saturation", "temperature": numbers in [-1, 1]}
// The editor lists such a project with its type and hands it back to this
// tool to open.

#include "tools/tintworks/Look.h"

#include <string>

namespace tint {

struct FilterProject {
    std::string name;
    std::string folder;  // <projects>/<name>
    std::string file;    // <folder>/<name>.lumoproj
    Look look;

    std::string lutFileName() const { return name + "_lut.png"; }
    std::string lutPath() const { return folder + "/" + lutFileName(); }
};

constexpr size_t kMaxNameBytes = 64;
constexpr size_t kMaxProjectFileBytes = 1 << 20;

// Empty when `name` may name a project folder inside the projects folder;
// otherwise why not: empty, "." or "..", a path separator, more than
// kMaxNameBytes bytes, or a control character.
std::string nameProblem(const std::string& name);

// Makes <projectsDir>/<name>/ for the file name "<name>.lumoproj" (or a bare
// name) and saves the look in it. Refuses (false, `error` set, nothing left
// behind) a bad name, a name with a folder part and an existing project.
bool createProject(const std::string& projectsDir, const std::string& fileName, const Look& look,
                   FilterProject& project, std::string& error);

// Reads a filter project. `file` is a file name "<name>.lumoproj", looked up
// as <projectsDir>/<name>/<file>, or a path that must lie inside
// projectsDir. Refuses a missing, unreadable, oversized or malformed file and
// a project whose type lacks the filter flag.
bool openProject(const std::string& projectsDir, const std::string& file, FilterProject& project,
                 std::string& error);

// Writes the lookup table, then the project file, each atomically.
bool saveProject(const FilterProject& project, std::string& error);

// The project file's text, and its parser (from bytes; no file access).
std::string projectJson(const FilterProject& project);
bool parseProjectJson(const std::string& bytes, Look& look, std::string& projectName, std::string& error);

}  // namespace tint

// Every include of a project header names a folder at a lower level than the
// including file's own, or the same folder: the folders are the layers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Level of each layered folder; folders of one level are siblings and may
// not include each other.
const std::map<std::string, int> kLevels = {
    {"base", 0},       {"images", 1}, {"geometry", 2}, {"scenegraph", 3}, {"scene", 4},
    {"pack", 5},       {"viewer", 6}, {"preview", 6},  {"app", 7},
};

bool mayInclude(const std::string& from, const std::string& to) {
    if (from == to)
        return true;
    if (from == "vexa")
        return false;  // the runtime knows nothing of the editor
    if (to == "vexa")
        return from == "preview" || from == "app";  // through its C header only
    auto f = kLevels.find(from), t = kLevels.find(to);
    if (f == kLevels.end())
        return true;  // tests, benchmarks and tools may use any layer
    if (t == kLevels.end())
        return false;
    return t->second < f->second;
}

struct Violation {
    std::string file;
    int line;
    std::string include;
};

std::vector<Violation> findViolations(const fs::path& root) {
    static const std::regex includeLine(R"(^\s*#\s*include\s*"([A-Za-z0-9_]+)/([^"]+)\")");
    std::vector<Violation> out;
    for (const char* folder : {"base", "images", "geometry", "scenegraph", "scene", "pack", "viewer",
                               "preview", "app", "vexa"}) {
        if (!fs::is_directory(root / folder))
            continue;
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".h" && ext != ".cpp" && ext != ".c" && ext != ".hpp")
                continue;
            std::ifstream in(entry.path());
            std::string text;
            int lineNo = 0;
            while (std::getline(in, text)) {
                ++lineNo;
                std::smatch m;
                if (std::regex_search(text, m, includeLine) && fs::is_directory(root / m[1].str()) &&
                    !mayInclude(folder, m[1].str()))
                    out.push_back({fs::relative(entry.path(), root).string(), lineNo, m[1].str() + "/" + m[2].str()});
            }
        }
    }
    return out;
}

}  // namespace

TEST(Layers, noFileIncludesAHigherLayerOrASibling) {
    const std::vector<Violation> found = findViolations(LUMO_SOURCE_DIR);
    for (const Violation& v : found)
        ADD_FAILURE() << v.file << ":" << v.line << " includes " << v.include;
}

TEST(Layers, ruleRefusesUpwardSiblingAndRuntimeIncludes) {
    struct Case {
        const char* from;
        const char* to;
        bool allowed;
    } cases[] = {
        {"geometry", "images", true}, {"geometry", "scene", false}, {"base", "images", false},
        {"viewer", "preview", false}, {"app", "viewer", true},      {"vexa", "base", false},
        {"pack", "vexa", false},      {"preview", "vexa", true},    {"scene", "scene", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(mayInclude(c.from, c.to), c.allowed) << c.from << " -> " << c.to;
}

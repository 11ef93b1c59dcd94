#include "PackTestSupport.h"

#include "base/Constants.h"
#include "pack/ExternalTool.h"
#include "pack/PackController.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace pack_test {

PackWorkspace::PackWorkspace(const std::string& name) : m_project(name) {
    fs::create_directory_symlink(fs::path(LUMO_SOURCE_DIR) / "data", fs::path(root()) / "data");
    for (const char* sub : {"out", "zip", "build/iOS", "build/Android"})
        fs::create_directories(project(sub));
}

std::string PackWorkspace::project(const std::string& rel) const {
    return root() + "/Projects/" + m_project + (rel.empty() ? "" : "/" + rel);
}

void PackWorkspace::put(const std::string& rel, const std::string& bytes) const {
    const fs::path p = project(rel);
    fs::create_directories(p.parent_path());
    testing_support::writeFile(p.string(), bytes);
}

bool PackWorkspace::has(const std::string& rel) const { return fs::exists(project(rel)); }

void RecordingSink::showMessage(const std::string& text, int milliseconds) {
    messages.emplace_back(text, milliseconds);
}

void RecordingSink::setProgress(int value) {
    calls.push_back("set " + std::to_string(value));
    progress = shown = value;
}

void RecordingSink::advanceProgress(int n) {
    calls.push_back("advance " + std::to_string(n));
    progress = std::min(100, progress + n);
    shown = progress;
    if (progress == 100)
        progress = 0;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : m_name(name) {
    const char* old = std::getenv(name);
    m_had = old != nullptr;
    if (old)
        m_old = old;
    if (value)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (m_had)
        setenv(m_name.c_str(), m_old.c_str(), 1);
    else
        unsetenv(m_name.c_str());
}

std::vector<std::string> unzipNames(const std::string& zip) {
    const std::string unzip = ExternalTool::find("unzip");
    EXPECT_FALSE(unzip.empty()) << "unzip is not installed";
    const ToolResult r = ExternalTool::run({unzip, "-Z1", zip});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    std::vector<std::string> names;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            names.push_back(line);
    std::sort(names.begin(), names.end());
    return names;
}

std::string unzipEntry(const std::string& zip, const std::string& entry) {
    const ToolResult r = ExternalTool::run({ExternalTool::find("unzip"), "-p", zip, entry});
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return r.output;
}

int verifyBundle(const std::string& bundle) {
    const std::string script = std::string(LUMO_SOURCE_DIR) + "/data/tools/sign_file.js";
    const ToolResult r = ExternalTool::run({ExternalTool::find("node"), script, "--verify", bundle});
    EXPECT_TRUE(r.started) << r.error;
    return r.exitCode;
}

std::vector<std::string> outFiles(int kind) {
    std::vector<std::string> names = {"a.png", "bigtex_0.webp", "bigtex_desc.json", "desc.json", "eyes.glsl",
                                      "script.js"};
    if (kind == PackController::Kind3d) {
        names = {"a.png", "avatar.bin", "avatar.json", "globals.json", "materials.json"};
        names.insert(names.end(), std::begin(lumo::k3dTemplateFiles), std::end(lumo::k3dTemplateFiles));
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

void putOutFiles(const PackWorkspace& ws, int kind) {
    for (const std::string& name : outFiles(kind))
        ws.put("out/" + name, name == "bigtex_desc.json" ? "{\"bigtexs\":[\"bigtex_0.webp\"]}" : "made: " + name);
}

std::vector<std::string> plus(std::vector<std::string> names, const std::string& more) {
    names.push_back(more);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> treeNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(folder)) {
        const std::string rel = e.path().lexically_relative(folder).generic_string();
        names.push_back(e.is_directory() ? rel + "/" : rel);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace pack_test

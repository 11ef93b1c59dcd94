#pragma once
// Helpers of the pack pipeline tests: a scratch workspace whose data/ is the
// repository's, a status sink that records what the status bar would show,
// environment overrides, and checks by outside tools (unzip, the signing
// script's verify mode).

#include "TestSupport.h"
#include "pack/PackStatusSink.h"

#include <string>
#include <utility>
#include <vector>

namespace pack_test {

// A workspace root in a scratch folder: data/ links to the repository's
// data/, Projects/<project>/ has out/, zip/, build/iOS/ and build/Android/.
class PackWorkspace {
public:
    explicit PackWorkspace(const std::string& project = "p");
    const std::string& root() const { return m_scratch.path(); }
    std::string project(const std::string& rel = "") const;  // Projects/<project>/<rel>
    // Writes `bytes` to Projects/<project>/<rel>, creating folders.
    void put(const std::string& rel, const std::string& bytes) const;
    bool has(const std::string& rel) const;

private:
    testing_support::ScratchDir m_scratch;
    std::string m_project;
};

// Records status messages and keeps the progress value the way the main
// window's status bar does (advance limited to 100, a full 100 restarts at 0).
class RecordingSink : public PackStatusSink {
public:
    void showMessage(const std::string& text, int milliseconds) override;
    void setProgress(int value) override;
    void advanceProgress(int n) override;

    std::vector<std::pair<std::string, int>> messages;
    std::vector<std::string> calls;  // "set 50", "advance 15"
    int progress = -1;
    int shown = -1;  // value the bar shows
};

// Sets an environment variable (unset when value is null) until destroyed.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();

private:
    std::string m_name;
    bool m_had;
    std::string m_old;
};

// Entry names of a zip as `unzip -Z1` lists them, sorted.
std::vector<std::string> unzipNames(const std::string& zip);
// Bytes of one zip entry, as `unzip -p` extracts it.
std::string unzipEntry(const std::string& zip, const std::string& entry);
// Exit code of `node data/tools/sign_file.js --verify <bundle>`.
int verifyBundle(const std::string& bundle);
// The files a packer of the kind (PackController::Kind2d or Kind3d) leaves
// in out/, sorted, plus a packer's own "a.png"; putOutFiles writes them (the
// 2D atlas list names bigtex_0.webp).
std::vector<std::string> outFiles(int kind);
void putOutFiles(const PackWorkspace& ws, int kind);
// `names` with `more` added, sorted.
std::vector<std::string> plus(std::vector<std::string> names, const std::string& more);
// Files and folders (folders with a trailing "/") under `folder`, relative, sorted.
std::vector<std::string> treeNames(const std::string& folder);

} // namespace pack_test

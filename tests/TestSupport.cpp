#include "TestSupport.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

namespace testing_support {

std::string fixturesDir() {
    std::error_code ec;
    const fs::path dir = fs::path(LUMO_FIXTURES_DIR);
    if (fs::is_directory(dir, ec))
        return fs::canonical(dir, ec).string();
    return {};
}

ScratchDir::ScratchDir() {
    std::random_device rd;
    for (;;) {
        fs::path p = fs::temp_directory_path() / ("lumo-test-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(p, ec)) {
            m_path = p.string();
            return;
        }
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

TraceCapture::TraceCapture() {
    Trace::setEnabled(false);
    Trace::setSink([this](Trace::Stream, const std::string& text) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.push_back(text);
    });
}

TraceCapture::~TraceCapture() {
    Trace::setSink({});
    Trace::setEnabled(true);
}

std::string TraceCapture::all() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::string r;
    for (const auto& l : m_lines)
        r += l;
    return r;
}

bool TraceCapture::contains(const std::string& text) const { return all().find(text) != std::string::npos; }

int TraceCapture::count(const std::string& text) const {
    const std::string s = all();
    int n = 0;
    for (size_t pos = s.find(text); pos != std::string::npos; pos = s.find(text, pos + text.size()))
        ++n;
    return n;
}

std::string runCommand(const std::string& cmd) {
    std::string out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

} // namespace testing_support

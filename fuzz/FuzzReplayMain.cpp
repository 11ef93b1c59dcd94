// Replays a fuzz target's inputs without the fuzzing engine: every file of
// the corpus folder (and of the fixture folders, when they exist) goes
// through LLVMFuzzerTestOneInput once. A fault ends the program (the
// sanitizers report it), so a normal build tests every reader over every
// input a fuzzer ever kept.
//
// Usage: <target> <corpus-folder> [--fixtures <root> <folder>/*[.<ext>]...]
// The corpus folder must exist and hold at least one file. Fixture patterns
// name a folder below root (walked recursively) and the file extension to
// take ("*" takes all); an absent root or folder is skipped.

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace {

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// Regular files below dir (recursively) whose extension is ext ("" = any), sorted.
std::vector<fs::path> filesBelow(const fs::path& dir, const std::string& ext) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec) && (ext.empty() || lowered(it->path().extension().string()) == ext))
            files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool readFile(const fs::path& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <corpus-folder> [--fixtures <root> <folder>/*[.<ext>]...]\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> inputs = filesBelow(argv[1], "");
    if (inputs.empty()) {
        std::fprintf(stderr, "fuzz replay: no inputs in %s\n", argv[1]);
        return 1;
    }
    if (argc >= 3 && std::string(argv[2]) == "--fixtures" && argc >= 4 && fs::is_directory(argv[3])) {
        for (int i = 4; i < argc; ++i) {
            const std::string pattern = argv[i];
            const size_t star = pattern.rfind("/*");
            const std::string folder = star == std::string::npos ? pattern : pattern.substr(0, star);
            const std::string ext = star == std::string::npos ? "" : lowered(pattern.substr(star + 2));
            const std::vector<fs::path> more = filesBelow(fs::path(argv[3]) / folder, ext);
            inputs.insert(inputs.end(), more.begin(), more.end());
        }
    }

    double slowestMs = 0;
    std::string slowest;
    std::vector<uint8_t> bytes;
    for (const fs::path& input : inputs) {
        if (!readFile(input, bytes)) {
            std::fprintf(stderr, "fuzz replay: cannot read %s\n", input.c_str());
            return 1;
        }
        std::fprintf(stderr, "fuzz replay: %s\n", input.c_str());
        const auto start = std::chrono::steady_clock::now();
        // A copy of exactly the input's size, so a read past its end is seen.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
        std::copy(bytes.begin(), bytes.end(), exact.get());
        LLVMFuzzerTestOneInput(exact.get(), bytes.size());
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (ms > slowestMs) {
            slowestMs = ms;
            slowest = input.string();
        }
    }
    std::printf("fuzz replay: %zu inputs, slowest %.1f ms (%s)\n", inputs.size(), slowestMs, slowest.c_str());
    return 0;
}

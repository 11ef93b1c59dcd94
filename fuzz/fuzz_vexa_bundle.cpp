// A bundle through the runtime's lumoCreateItemFromPackage with the
// signature check switched off (the fuzzer cannot sign). Two kinds of input:
//
// - One that starts with the bundle magic "LUMOBNDL" is taken whole: header
//   rules, zip limits, entry names and inflate must refuse bad input cleanly.
// - Any other is a list of files, each "@@<name>\n" followed by its bytes up
//   to the next "\n@@" (or the end). The target stores them uncompressed in
//   a zip of its own, with correct checksums, behind a bundle header, and
//   adds a script.js that hands every file to the runtime's loaders:
//   readJson for any file, loadTexture for images, loadMeshBundle for each
//   <name>.json with a <name>.bin beside it. Mutations then reach the JSON,
//   image and mesh readers of a loaded item instead of dying at the zip's
//   checksum or in the deflate stream. (The script is not taken from the
//   input: a bundle's script is signed code, and an endless loop in it is
//   not a reader's fault.)
//
// The runtime is set up once on a headless GL context.

#include "fuzz/FuzzSupport.h"
#include "vexa/Runtime.h"
#include "vexa/play/HeadlessGl.h"
#include "vexa/vexa.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#ifndef LUMO_SOURCE_DIR
#define LUMO_SOURCE_DIR "."
#endif

namespace {

using Files = std::vector<std::pair<std::string, std::string>>;

void put16(std::string& s, unsigned v) {
    s += char(v & 0xff);
    s += char((v >> 8) & 0xff);
}
void put32(std::string& s, unsigned long v) {
    put16(s, unsigned(v & 0xffff));
    put16(s, unsigned((v >> 16) & 0xffff));
}

// Names the driver script can quote as they are and the zip reader takes:
// parts of letters, digits, ".", "_" and "-" between single slashes, none
// of them "." or "..".
bool plainName(const std::string& name) {
    if (name.empty() || name.size() > 200)
        return false;
    for (const char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' ||
              c == '-' || c == '/'))
            return false;
    for (std::size_t start = 0; start <= name.size();) {
        const std::size_t slash = std::min(name.find('/', start), name.size());
        const std::string part = name.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = slash + 1;
    }
    return true;
}

Files splitFiles(const std::string& text) {
    Files files;
    std::set<std::string> seen{"script.js"};
    std::size_t at = 0;
    while (text.compare(at, 2, "@@") == 0) {
        const std::size_t nameEnd = text.find('\n', at + 2);
        if (nameEnd == std::string::npos)
            break;
        std::size_t next = text.find("\n@@", nameEnd + 1);
        const std::size_t end = next == std::string::npos ? text.size() : next;
        std::string name = text.substr(at + 2, nameEnd - at - 2);
        if (plainName(name) && seen.insert(name).second)
            files.emplace_back(std::move(name), text.substr(nameEnd + 1, end - nameEnd - 1));
        if (next == std::string::npos)
            break;
        at = next + 1;
    }
    return files;
}

std::string driverScript(const Files& files) {
    std::set<std::string> names;
    for (const auto& f : files)
        names.insert(f.first);
    std::string calls;
    auto call = [&](const char* fn, const std::string& arg) { calls += "[\"" + std::string(fn) + "\",\"" + arg + "\"],"; };
    for (const auto& f : files) {
        const std::string& n = f.first;
        const std::size_t dot = n.rfind('.');
        const std::string ext = dot == std::string::npos ? "" : n.substr(dot);
        call("readJson", n);
        if (ext == ".webp" || ext == ".png" || ext == ".jpg")
            call("loadTexture", n);
        if (ext == ".json" && names.count(n.substr(0, dot) + ".bin"))
            call("loadMeshBundle", n.substr(0, dot));
    }
    return "var calls = [" + calls +
           "];\n"
           "var effect = {\n"
           "  onLoad: function (api) {\n"
           "    for (var i = 0; i < calls.length; ++i) {\n"
           "      try { api[calls[i][0]](calls[i][1]); } catch (e) {}\n"
           "    }\n"
           "  },\n"
           "  onFrame: function () {}\n"
           "};\n";
}

// An unsigned bundle (zero key id and signature) of the files, stored.
std::string bundleOf(const Files& files) {
    std::string zip, directory;
    for (const auto& f : files) {
        const unsigned long crc = crc32(0, reinterpret_cast<const Bytef*>(f.second.data()), uInt(f.second.size()));
        const std::size_t offset = zip.size();
        std::string fields;
        put16(fields, 0);  // flags
        put16(fields, 0);  // stored
        put16(fields, 0);  // time
        put16(fields, 0x21);  // date: 1980-01-01
        put32(fields, crc);
        put32(fields, f.second.size());
        put32(fields, f.second.size());
        put16(fields, unsigned(f.first.size()));
        put16(fields, 0);  // extra
        zip += "PK\3\4";
        put16(zip, 20);
        zip += fields + f.first + f.second;
        directory += "PK\1\2";
        put16(directory, 20);
        put16(directory, 20);
        directory += fields;
        put16(directory, 0);  // comment
        put16(directory, 0);  // disk
        put16(directory, 0);  // internal attributes
        put32(directory, 0);  // external attributes
        put32(directory, offset);
        directory += f.first;
    }
    const std::size_t directoryAt = zip.size();
    zip += directory;
    zip += "PK\5\6";
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, unsigned(files.size()));
    put16(zip, unsigned(files.size()));
    put32(zip, directory.size());
    put32(zip, directoryAt);
    put16(zip, 0);

    std::string bundle("LUMOBNDL", 8);
    put16(bundle, 1);  // version
    put16(bundle, 1);  // Ed25519
    bundle.append(8, '\0');  // key id
    put32(bundle, 64);
    put32(bundle, zip.size() & 0xffffffffu);
    put32(bundle, 0);
    bundle.append(64, '\0');  // signature
    return bundle + zip;
}

// Sets the runtime up once (loading the tracker's model takes seconds under
// the sanitizers).
bool runtimeReady() {
    static const bool ready = [] {
        std::string reason;
        if (!vexa::makeHeadlessGlCurrent(reason)) {
            std::fprintf(stderr, "fuzz_vexa_bundle: %s\n", reason.c_str());
            return false;
        }
        std::ifstream f(LUMO_SOURCE_DIR "/data/vexa/v3.bundle", std::ios::binary);
        const std::string blob((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        if (!lumoSetup(blob.data(), int(blob.size()))) {
            std::fprintf(stderr, "fuzz_vexa_bundle: set-up failed: %s\n", lumoGetLastError());
            return false;
        }
        vexa::internal::skipSignatureForTesting(true);
        return true;
    }();
    return ready;
}

} // namespace

// The fuzzer calls this before it starts timing inputs; the replay of a
// corpus sets up on its first input instead.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzSetUp();
    runtimeReady();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    if (!runtimeReady() || size > 0x7fffffff)
        return 0;
    int item = 0;
    if (size >= 8 && std::memcmp(data, "LUMOBNDL", 8) == 0) {
        item = lumoCreateItemFromPackage(data, int(size));
    } else {
        Files files = splitFiles(std::string(fuzzText(data, size)));
        if (files.empty() || files.size() > 64)
            return 0;
        files.emplace_back("script.js", driverScript(files));
        const std::string bundle = bundleOf(files);
        item = lumoCreateItemFromPackage(bundle.data(), int(bundle.size()));
        // The driver catches every loader's refusal, so its own bundle loads.
        FUZZ_CHECK(item != 0);
    }
    if (item)
        lumoDestroyItem(item);
    return 0;
}

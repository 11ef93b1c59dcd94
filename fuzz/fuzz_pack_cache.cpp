// The pack cache's two readers of stored bytes. Two kinds of input:
//
// - One that starts with the entry magic "LPC1" is an entry file, read by
//   PackCache::payloadOf under the key its own header names (so that the
//   payload hash check is reached).
// - Any other is the payload of a file table (files.bin): the target frames
//   it as the cache does (header, key, payload hash), so that the fuzzer's
//   changes are not all stopped by the hash, writes it into a cache folder
//   under the temporary folder and has a fresh PackCache key a small file
//   there, which loads the table first. Whatever the table holds, the
//   file's key must be the hash of its bytes.

#include "fuzz/FuzzSupport.h"
#include "pack/PackCache.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include <unistd.h>

namespace {

// <temp>/fuzz_pack_cache_<pid>/: the probe file and the cache folder.
const std::string& place() {
    // Never destroyed: the clean-up at exit runs after static destructors.
    static const std::string* const path = [] {
        const auto* p = new std::string(
            (std::filesystem::temp_directory_path() / ("fuzz_pack_cache_" + std::to_string(::getpid()))).string());
        std::filesystem::create_directories(*p);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(place(), ec);
        });
        return p;
    }();
    return *path;
}
std::string g_cacheFolder, g_probePath;
const char kProbeText[] = "a frame file";
// The file table's key, as the cache writes it (checked once against a
// table the cache wrote itself).
const PackCache::Key kFileTableKey = {0x6c62617420656c69ull, 0x66206568636163ull};

void putLe(std::string& s, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s += char(uint8_t(v >> (8 * i)));
}

std::string fileBytes(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

bool setUp() {
    g_cacheFolder = place() + "/cache";
    g_probePath = place() + "/probe.txt";
    std::FILE* f = std::fopen(g_probePath.c_str(), "wb");
    if (!f || std::fwrite(kProbeText, 1, sizeof kProbeText - 1, f) != sizeof kProbeText - 1 || std::fclose(f) != 0)
        fuzzFail("cannot write the probe file in the temporary folder");
    PackCache cache(g_cacheFolder);
    PackCache::Key key;
    if (!cache.fileKey(g_probePath, key) || !cache.saveFileTable())
        fuzzFail("the cache cannot key and save its file table in the temporary folder");
    const std::string table = fileBytes(g_cacheFolder + "/files.bin");
    std::string expected;
    putLe(expected, kFileTableKey.low, 8);
    putLe(expected, kFileTableKey.high, 8);
    if (table.size() < 48 || table.compare(16, 16, expected) != 0)
        fuzzFail("the file table's key is not the one this target frames tables with");
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzSetUp();
    if (size >= 4 && std::memcmp(data, "LPC1", 4) == 0) {
        std::unique_ptr<uint8_t[]> entry(new uint8_t[size]);
        std::memcpy(entry.get(), data, size);
        PackCache::Key key;
        if (size >= 32) {
            std::memcpy(&key.low, data + 16, 8);
            std::memcpy(&key.high, data + 24, 8);
        }
        std::vector<uint8_t> payload;
        if (!PackCache::payloadOf(entry.get(), size, key, payload)) {
            FUZZ_CHECK(payload.empty());
            return 0;
        }
        // Whatever is accepted is the tail of the entry, whose hash the header names.
        FUZZ_CHECK(payload.size() <= size &&
                   (payload.empty() || std::memcmp(payload.data(), data + size - payload.size(), payload.size()) == 0));
        return 0;
    }
    static const bool ready = setUp();
    (void)ready;
    std::string table("LPC1", 4);
    putLe(table, PackCache::kVersion, 4);
    putLe(table, size, 8);
    const PackCache::Key hash = PackCache::hashOf(data, size);
    for (const uint64_t v : {kFileTableKey.low, kFileTableKey.high, hash.low, hash.high})
        putLe(table, v, 8);
    table.append(reinterpret_cast<const char*>(data), size);
    {
        std::ofstream out(g_cacheFolder + "/files.bin", std::ios::binary | std::ios::trunc);
        out.write(table.data(), std::streamsize(table.size()));
        if (!out)
            fuzzFail("cannot write the file table");
    }
    PackCache cache(g_cacheFolder);
    PackCache::Key key;
    FUZZ_CHECK(cache.fileKey(g_probePath, key));
    FUZZ_CHECK(key == PackCache::hashOf(kProbeText, sizeof kProbeText - 1));
    return 0;
}

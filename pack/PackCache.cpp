#include "pack/PackCache.h"

#include "base/WholeFile.h"

#include <xxhash.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[4] = {'L', 'P', 'C', '1'};
constexpr size_t kHeaderBytes = 4 + 4 + 8 + 16 + 16;
const char* const kKindFolders[PackCache::KindCount] = {"frames", "atlases", "meshes", "textures"};
const char* const kKindNames[PackCache::KindCount] = {"frames", "atlases", "mesh bundles", "textures"};

void putU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
void putU64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i)
        p[i] = uint8_t(v >> (8 * i));
}
uint64_t getU64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}
uint32_t getU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void putKey(uint8_t* p, const PackCache::Key& k) {
    putU64(p, k.low);
    putU64(p + 8, k.high);
}
PackCache::Key getKey(const uint8_t* p) { return {getU64(p), getU64(p + 8)}; }

} // namespace

std::string PackCache::Key::hex() const {
    char buf[33];
    std::snprintf(buf, sizeof buf, "%016llx%016llx", static_cast<unsigned long long>(high),
                  static_cast<unsigned long long>(low));
    return buf;
}

PackCache::Hasher::Hasher() : m_state(XXH3_createState()) {
    if (!m_state)
        throw std::bad_alloc();
    XXH3_128bits_reset(m_state);
}

PackCache::Hasher::~Hasher() { XXH3_freeState(m_state); }

PackCache::Hasher& PackCache::Hasher::bytes(const void* data, size_t size) {
    if (size > 0)
        XXH3_128bits_update(m_state, data, size);
    return *this;
}

PackCache::Hasher& PackCache::Hasher::text(const std::string& s) {
    value(uint64_t(s.size()));
    return bytes(s.data(), s.size());
}

PackCache::Key PackCache::Hasher::digest() const {
    const XXH128_hash_t h = XXH3_128bits_digest(m_state);
    return {h.low64, h.high64};
}

PackCache::Key PackCache::hashOf(const void* data, size_t size) {
    const XXH128_hash_t h = XXH3_128bits(data, size);
    return {h.low64, h.high64};
}

std::string PackCache::folderOf(const std::string& projectDir) { return projectDir + "/build/packcache"; }

PackCache::PackCache(std::string folder) : m_folder(std::move(folder)) {}

std::string PackCache::entryPath(Kind kind, const Key& key) const {
    return m_folder + "/" + kKindFolders[kind] + "/" + key.hex() + ".bin";
}

bool PackCache::get(Kind kind, const Key& key, std::vector<uint8_t>& payload) {
    payload.clear();
    m_lookups[kind]++;
    const std::string path = entryPath(kind, key);
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes, kDefaultMaxBytes))
        return false;
    std::error_code ec;
    if (!payloadOf(bytes.data(), bytes.size(), key, payload)) {
        // Derived data: a damaged entry is simply dropped and made again.
        fs::remove(path, ec);
        return false;
    }
    fs::last_write_time(path, fs::file_time_type::clock::now(), ec); // recently used
    m_hits[kind]++;
    return true;
}

bool PackCache::payloadOf(const uint8_t* entry, size_t size, const Key& key, std::vector<uint8_t>& payload) {
    payload.clear();
    const bool sound = size >= kHeaderBytes && std::memcmp(entry, kMagic, 4) == 0 && getU32(entry + 4) == kVersion &&
                       getU64(entry + 8) == size - kHeaderBytes && getKey(entry + 16) == key &&
                       hashOf(entry + kHeaderBytes, size - kHeaderBytes) == getKey(entry + 32);
    if (sound)
        payload.assign(entry + kHeaderBytes, entry + size);
    return sound;
}

bool PackCache::put(Kind kind, const Key& key, const void* payload, size_t size) {
    std::error_code ec;
    fs::create_directories(m_folder + "/" + kKindFolders[kind], ec);
    std::vector<uint8_t> bytes(kHeaderBytes + size);
    std::memcpy(bytes.data(), kMagic, 4);
    putU32(bytes.data() + 4, kVersion);
    putU64(bytes.data() + 8, size);
    putKey(bytes.data() + 16, key);
    putKey(bytes.data() + 32, hashOf(payload, size));
    if (size > 0)
        std::memcpy(bytes.data() + kHeaderBytes, payload, size);
    return writeWholeFile(entryPath(kind, key), bytes.data(), bytes.size());
}

void PackCache::count(Kind kind, bool hit) {
    m_lookups[kind]++;
    if (hit)
        m_hits[kind]++;
}

std::string PackCache::summary() const {
    std::string s;
    for (Kind k : {Atlas, MeshBundle, Texture}) {
        if (lookups(k) == 0)
            continue;
        if (!s.empty())
            s += ", ";
        s += std::string(kKindNames[k]) + " reused: " + std::to_string(hits(k)) + " of " + std::to_string(lookups(k));
    }
    return s;
}

uint64_t PackCache::evict(const std::string& root, uint64_t maxBytes) {
    struct Entry {
        fs::file_time_type time;
        uint64_t size;
        fs::path path;
    };
    std::vector<Entry> entries;
    uint64_t total = 0;
    std::error_code ec;
    for (fs::directory_iterator p(fs::path(root) / "Projects", ec), end; !ec && p != end; p.increment(ec)) {
        const fs::path folder = p->path() / "build" / "packcache";
        std::error_code walk;
        for (fs::recursive_directory_iterator it(folder, walk), last; !walk && it != last; it.increment(walk)) {
            std::error_code e;
            if (!it->is_regular_file(e) || it->path().extension() != ".bin")
                continue;
            const uint64_t size = it->file_size(e);
            const fs::file_time_type time = it->last_write_time(e);
            if (e)
                continue;
            entries.push_back({time, size, it->path()});
            total += size;
        }
    }
    if (total <= maxBytes)
        return total;
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.time < b.time; });
    for (const Entry& e : entries) {
        if (total <= maxBytes)
            break;
        std::error_code rm;
        if (fs::remove(e.path, rm))
            total -= e.size;
    }
    return total;
}

bool PackCache::clear(const std::string& folder) {
    std::error_code ec;
    fs::remove_all(folder, ec);
    return !ec && !fs::exists(folder, ec);
}

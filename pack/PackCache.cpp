#include "pack/PackCache.h"

#include "base/WholeFile.h"

#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[4] = {'L', 'P', 'C', '1'};
constexpr size_t kHeaderBytes = 4 + 4 + 8 + 16 + 16;
const char* const kKindFolders[PackCache::KindCount] = {"frames", "atlases", "meshes", "textures", "frameinfo"};
const char* const kKindNames[PackCache::KindCount] = {"frames", "atlases", "mesh bundles", "textures", "frame sizes"};

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

// An entry file: header, then the payload.
std::vector<uint8_t> entryBytes(const PackCache::Key& key, const void* payload, size_t size) {
    std::vector<uint8_t> bytes(kHeaderBytes + size);
    std::memcpy(bytes.data(), kMagic, 4);
    putU32(bytes.data() + 4, PackCache::kVersion);
    putU64(bytes.data() + 8, size);
    putKey(bytes.data() + 16, key);
    putKey(bytes.data() + 32, PackCache::hashOf(payload, size));
    if (size > 0)
        std::memcpy(bytes.data() + kHeaderBytes, payload, size);
    return bytes;
}

// Whether an entry header of an entry file of `size` bytes is sound for
// `key` (the payload hash is checked by the caller).
bool soundHeader(const uint8_t* entry, uint64_t size, const PackCache::Key& key) {
    return size >= kHeaderBytes && std::memcmp(entry, kMagic, 4) == 0 && getU32(entry + 4) == PackCache::kVersion &&
           getU64(entry + 8) == size - kHeaderBytes && getKey(entry + 16) == key;
}

// Whether the entry file bytes are sound for `key` (header, size, key and
// payload hash).
bool soundEntry(const uint8_t* entry, size_t size, const PackCache::Key& key) {
    return soundHeader(entry, size, key) &&
           PackCache::hashOf(entry + kHeaderBytes, size - kHeaderBytes) == getKey(entry + 32);
}

// The whole regular file at path (at most maxBytes) into an uninitialised
// buffer: entries are large and read once, so they are neither cleared
// first nor copied again. False when it cannot be read whole.
bool readEntryFile(const std::string& path, uint64_t maxBytes, std::unique_ptr<uint8_t[]>& bytes, size_t& size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 && uint64_t(st.st_size) <= maxBytes;
    if (ok) {
        size = size_t(st.st_size);
        bytes.reset(new uint8_t[std::max<size_t>(size, 1)]);
        ok = readFully(fd, bytes.get(), size) == long(size);
    }
    ::close(fd);
    return ok;
}

// Writes an entry file through a temporary file of a unique name renamed
// into place, so that readers see the old entry or the whole new one. Not
// flushed to disk: entries are derived data, and one that a crash left
// incomplete fails its size or hash check and is made again.
bool writeEntryFile(const std::string& path, const uint8_t* data, size_t size) {
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            done += size_t(n);
    }
    ok = ::close(fd) == 0 && ok && std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok)
        std::remove(temporary.c_str());
    return ok;
}

int64_t wallClockNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int64_t nanoseconds(const struct timespec& t) { return int64_t(t.tv_sec) * 1000000000 + int64_t(t.tv_nsec); }

// The file table's own entry: a fixed key under the cache folder.
const PackCache::Key kFileTableKey = {0x6c62617420656c69ull, 0x66206568636163ull};
constexpr size_t kMaxPathBytes = 4096;
constexpr size_t kRowFixedBytes = 4 + 8 * 5 + 16;
constexpr uint64_t kMaxFileTableBytes = uint64_t(64) << 20;

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
    // The header, then the payload straight into `payload`: one buffer.
    const std::string path = entryPath(kind, key);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    uint8_t header[kHeaderBytes];
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && uint64_t(st.st_size) >= kHeaderBytes &&
              uint64_t(st.st_size) <= kDefaultMaxBytes && readFully(fd, header, kHeaderBytes) == long(kHeaderBytes);
    if (ok) {
        payload.resize(size_t(st.st_size) - kHeaderBytes);
        ok = readFully(fd, payload.data(), payload.size()) == long(payload.size());
    }
    ::close(fd);
    std::error_code ec;
    if (!ok || !soundHeader(header, st.st_size, key) || hashOf(payload.data(), payload.size()) != getKey(header + 32)) {
        payload.clear();
        if (ok) // derived data: a damaged entry is simply dropped and made again
            fs::remove(path, ec);
        return false;
    }
    fs::last_write_time(path, fs::file_time_type::clock::now(), ec); // recently used
    m_hits[kind]++;
    return true;
}

bool PackCache::use(Kind kind, const Key& key, const PayloadUse& use) {
    m_lookups[kind]++;
    const std::string path = entryPath(kind, key);
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    if (!readEntryFile(path, kDefaultMaxBytes, bytes, size))
        return false;
    std::error_code ec;
    if (!soundEntry(bytes.get(), size, key)) {
        // Derived data: a damaged entry is simply dropped and made again.
        fs::remove(path, ec);
        return false;
    }
    if (!use(bytes.get() + kHeaderBytes, size - kHeaderBytes))
        return false;
    fs::last_write_time(path, fs::file_time_type::clock::now(), ec); // recently used
    m_hits[kind]++;
    return true;
}

bool PackCache::payloadOf(const uint8_t* entry, size_t size, const Key& key, std::vector<uint8_t>& payload) {
    payload.clear();
    const bool sound = soundEntry(entry, size, key);
    if (sound)
        payload.assign(entry + kHeaderBytes, entry + size);
    return sound;
}

bool PackCache::put(Kind kind, const Key& key, const void* payload, size_t size) {
    std::error_code ec;
    fs::create_directories(m_folder + "/" + kKindFolders[kind], ec);
    const std::vector<uint8_t> bytes = entryBytes(key, payload, size);
    return writeEntryFile(entryPath(kind, key), bytes.data(), bytes.size());
}

std::string PackCache::rawPath(Kind kind, const Key& key) const {
    return m_folder + "/" + kKindFolders[kind] + "/" + key.hex() + ".raw";
}

namespace {

// The size and XXH3 128 hash of the open file fd, read in chunks through
// one small buffer. False when it cannot be read.
bool hashOpenFile(int fd, uint64_t& size, PackCache::Key& key) {
    std::vector<uint8_t> chunk(size_t(1) << 20);
    PackCache::Hasher h;
    size = 0;
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        h.bytes(chunk.data(), size_t(n));
        size += uint64_t(n);
    }
    key = h.digest();
    return true;
}

// Makes `target` the file `source` (a hard link, placed by a rename so the
// old target stays until the new one is complete); a copy through
// writeWholeFile when the two cannot be linked.
bool placeFile(const std::string& source, const std::string& target) {
    static std::atomic<unsigned> serial{0};
    const std::string temporary =
        target + ".link" + std::to_string(::getpid()) + "_" + std::to_string(serial.fetch_add(1));
    if (::link(source.c_str(), temporary.c_str()) == 0) {
        const bool renamed = std::rename(temporary.c_str(), target.c_str()) == 0;
        // A rename onto another link of the same file does nothing and
        // leaves the temporary name.
        ::unlink(temporary.c_str());
        return renamed;
    }
    std::vector<uint8_t> bytes;
    return readWholeFile(source, bytes, PackCache::kDefaultMaxBytes) &&
           writeWholeFile(target, bytes.data(), bytes.size());
}

constexpr size_t kRawRecordBytes = 8 + 16;

} // namespace

bool PackCache::storeFile(Kind kind, const Key& key, const std::string& source) {
    std::error_code ec;
    fs::create_directories(m_folder + "/" + kKindFolders[kind], ec);
    const std::string raw = rawPath(kind, key);
    if (!placeFile(source, raw))
        return false;
    const int fd = ::open(raw.c_str(), O_RDONLY | O_CLOEXEC);
    uint64_t size = 0;
    Key hash;
    const bool hashed = fd >= 0 && hashOpenFile(fd, size, hash);
    if (fd >= 0)
        ::close(fd);
    uint8_t record[kRawRecordBytes];
    putU64(record, size);
    putKey(record + 8, hash);
    if (hashed && put(kind, key, record, sizeof record))
        return true;
    fs::remove(raw, ec);
    return false;
}

bool PackCache::fetchFile(Kind kind, const Key& key, const std::string& target) {
    const std::string entry = entryPath(kind, key), raw = rawPath(kind, key);
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    if (!readEntryFile(entry, kHeaderBytes + kRawRecordBytes, bytes, size))
        return false;
    const int fd = ::open(raw.c_str(), O_RDONLY | O_CLOEXEC);
    uint64_t rawSize = 0;
    Key rawHash;
    const bool hashed = fd >= 0 && hashOpenFile(fd, rawSize, rawHash);
    if (fd >= 0)
        ::close(fd);
    std::error_code ec;
    if (!soundEntry(bytes.get(), size, key) || size != kHeaderBytes + kRawRecordBytes || !hashed ||
        getU64(bytes.get() + kHeaderBytes) != rawSize || getKey(bytes.get() + kHeaderBytes + 8) != rawHash) {
        // Derived data: a damaged pair is dropped and made again.
        fs::remove(entry, ec);
        fs::remove(raw, ec);
        return false;
    }
    if (!placeFile(raw, target))
        return false;
    fs::last_write_time(entry, fs::file_time_type::clock::now(), ec); // recently used
    fs::last_write_time(raw, fs::file_time_type::clock::now(), ec);
    return true;
}

bool PackCache::fileKey(const std::string& path, Key& key) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    FileRow row;
    row.size = uint64_t(st.st_size);
    row.inode = uint64_t(st.st_ino);
    row.mtimeNs = nanoseconds(st.st_mtim);
    row.ctimeNs = nanoseconds(st.st_ctim);
    row.madeNs = wallClockNs();
    row.used = true;
    {
        std::lock_guard<std::mutex> lock(m_filesLock);
        loadFileTable();
        const auto it = m_files.find(path);
        if (it != m_files.end()) {
            FileRow& r = it->second;
            const bool same = r.size == row.size && r.inode == row.inode && r.mtimeNs == row.mtimeNs &&
                              r.ctimeNs == row.ctimeNs;
            const int64_t racy = int64_t(kRacySeconds) * 1000000000;
            if (same && r.madeNs - std::max(r.mtimeNs, r.ctimeNs) >= racy) {
                r.used = true;
                key = r.key;
                return true;
            }
        }
    }
    std::vector<uint8_t> bytes;
    if (!readWholeFile(path, bytes))
        return false;
    key = hashOf(bytes.data(), bytes.size());
    // Kept only when the file did not change while it was read.
    struct stat after;
    if (::stat(path.c_str(), &after) != 0 || uint64_t(after.st_size) != row.size || uint64_t(after.st_ino) != row.inode ||
        nanoseconds(after.st_mtim) != row.mtimeNs || nanoseconds(after.st_ctim) != row.ctimeNs ||
        bytes.size() != row.size)
        return true;
    if (path.size() > kMaxPathBytes)
        return true;
    row.key = key;
    std::lock_guard<std::mutex> lock(m_filesLock);
    m_files[path] = row;
    m_filesChanged = true;
    return true;
}

void PackCache::loadFileTable() {
    if (m_filesLoaded)
        return;
    m_filesLoaded = true;
    const std::string path = m_folder + "/files.bin";
    std::unique_ptr<uint8_t[]> bytes;
    size_t size = 0;
    if (!readEntryFile(path, kMaxFileTableBytes, bytes, size) ||
        !soundEntry(bytes.get(), size, kFileTableKey))
        return;
    const uint8_t* p = bytes.get() + kHeaderBytes;
    const uint8_t* const end = bytes.get() + size;
    if (end - p < 8)
        return;
    const uint64_t count = getU64(p);
    p += 8;
    std::map<std::string, FileRow> rows;
    for (uint64_t i = 0; i < count && i < kMaxFileRows; ++i) {
        if (size_t(end - p) < kRowFixedBytes)
            return;
        const uint32_t length = getU32(p);
        if (length > kMaxPathBytes || size_t(end - p) < kRowFixedBytes + length)
            return;
        FileRow r;
        std::string name(reinterpret_cast<const char*>(p + 4), length);
        p += 4 + length;
        r.size = getU64(p);
        r.inode = getU64(p + 8);
        r.mtimeNs = int64_t(getU64(p + 16));
        r.ctimeNs = int64_t(getU64(p + 24));
        r.madeNs = int64_t(getU64(p + 32));
        r.key = getKey(p + 40);
        p += 56;
        rows[std::move(name)] = r;
    }
    if (p == end && rows.size() == count)
        m_files.swap(rows);
}

bool PackCache::saveFileTable() {
    std::lock_guard<std::mutex> lock(m_filesLock);
    if (!m_filesChanged)
        return true;
    std::vector<const std::pair<const std::string, FileRow>*> rows;
    for (const auto& row : m_files)
        if (row.second.used)
            rows.push_back(&row);
    for (const auto& row : m_files)
        if (!row.second.used && rows.size() < kMaxFileRows)
            rows.push_back(&row);
    std::sort(rows.begin(), rows.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
    std::vector<uint8_t> payload(8);
    putU64(payload.data(), rows.size());
    for (const auto* row : rows) {
        const std::string& name = row->first;
        const size_t at = payload.size();
        payload.resize(at + kRowFixedBytes + name.size());
        uint8_t* p = payload.data() + at;
        putU32(p, uint32_t(name.size()));
        std::memcpy(p + 4, name.data(), name.size());
        p += 4 + name.size();
        const FileRow& r = row->second;
        putU64(p, r.size);
        putU64(p + 8, r.inode);
        putU64(p + 16, uint64_t(r.mtimeNs));
        putU64(p + 24, uint64_t(r.ctimeNs));
        putU64(p + 32, uint64_t(r.madeNs));
        putKey(p + 40, r.key);
    }
    std::error_code ec;
    fs::create_directories(m_folder, ec);
    const std::vector<uint8_t> bytes = entryBytes(kFileTableKey, payload.data(), payload.size());
    if (!writeEntryFile(m_folder + "/files.bin", bytes.data(), bytes.size()))
        return false;
    m_filesChanged = false;
    return true;
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
            if (!it->is_regular_file(e) || (it->path().extension() != ".bin" && it->path().extension() != ".raw"))
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

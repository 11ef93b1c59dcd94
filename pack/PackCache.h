#pragma once
// The pack cache of one project: results of the costly pack steps (decoded
// and trimmed frames, encoded atlases, the converted mesh bundle, converted
// texture files), kept under <project>/build/packcache/ so that a repack
// only computes what changed. The zip step packs out/ alone, so nothing of
// it ever reaches a bundle.
//
// Every entry is a file <kind>/<key as 32 hex digits>.bin:
//   "LPC1"      magic
//   uint32      format version (kVersion)
//   uint64      payload bytes
//   16 bytes    the key
//   16 bytes    XXH3 128-bit hash of the payload
//   payload
// A hit is an entry whose header, size and payload hash all check out; any
// other entry is removed and reported as a miss, so the caller computes the
// value again and stores it anew. Writes are atomic (a temporary file
// renamed into place) but not flushed to disk: an entry a crash left
// incomplete fails its checks and is made again.
// Keys are XXH3 128-bit hashes of everything the cached value depends on.
//
// Input files are known by their content keys through a file table,
// files.bin (the same framing, its payload one row per file: path, size,
// inode, modification and change times in nanoseconds, when the row was
// made, content key): a file whose stat data match its row is not read
// again. A file modified within kRacySeconds before its row was made may
// have changed again within the same timestamp tick; such a row is not
// trusted and the file is hashed anew (and the new row is then trusted).
//
// Thread-safe: get, put and fileKey may be called from several threads at
// once (entries are distinct files, the counters are atomic, the file table
// has a lock). Nothing throws except std::bad_alloc.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct XXH3_state_s;

class PackCache {
public:
    static constexpr uint32_t kVersion = 1;
    // Bound of all pack caches of one workspace together.
    static constexpr uint64_t kDefaultMaxBytes = uint64_t(2) << 30;

    struct Key {
        uint64_t low = 0, high = 0;
        std::string hex() const;
        bool operator==(const Key& o) const { return low == o.low && high == o.high; }
        bool operator!=(const Key& o) const { return !(*this == o); }
    };

    // Incremental XXH3 128-bit hashing of the inputs of one entry.
    class Hasher {
    public:
        Hasher();
        ~Hasher();
        Hasher(const Hasher&) = delete;
        Hasher& operator=(const Hasher&) = delete;
        Hasher& bytes(const void* data, size_t size);
        // The length first, so that ("ab", "c") and ("a", "bc") differ.
        Hasher& text(const std::string& s);
        template <class T> Hasher& value(const T& v) { return bytes(&v, sizeof v); }
        template <class T> Hasher& array(const std::vector<T>& v) {
            value(uint64_t(v.size()));
            return bytes(v.data(), v.size() * sizeof(T));
        }
        Key digest() const;

    private:
        XXH3_state_s* m_state;
    };

    static Key hashOf(const void* data, size_t size);

    // What the cache keeps.
    // FrameInfo: a stored frame's sizes and trim box without its pixels.
    enum Kind { Frame = 0, Atlas = 1, MeshBundle = 2, Texture = 3, FrameInfo = 4, KindCount = 5 };

    // The cache folder of a project: <projectDir>/build/packcache.
    static std::string folderOf(const std::string& projectDir);

    // A cache in `folder` (created on the first put).
    explicit PackCache(std::string folder);

    const std::string& folder() const { return m_folder; }

    // The payload stored under (kind, key) into `payload`; false (payload
    // empty) when there is none or the entry is damaged (it is then removed).
    // A hit marks the entry as recently used.
    bool get(Kind kind, const Key& key, std::vector<uint8_t>& payload);
    // The same lookup without copying the payload out of the entry: `use`
    // gets the sound payload in place and says whether it could use it.
    // True when there was a sound entry and `use` returned true.
    using PayloadUse = std::function<bool(const uint8_t* payload, size_t size)>;
    bool use(Kind kind, const Key& key, const PayloadUse& use);
    // The payload of the entry file bytes `entry` stored under `key`; false
    // (payload empty) unless header, size, key and payload hash all match.
    static bool payloadOf(const uint8_t* entry, size_t size, const Key& key, std::vector<uint8_t>& payload);
    // Stores `payload` under (kind, key), replacing an entry atomically.
    // False when it could not be written (the pack goes on without it).
    bool put(Kind kind, const Key& key, const void* payload, size_t size);

    // Hits and lookups per kind since construction.
    int hits(Kind kind) const { return m_hits[kind].load(); }
    int lookups(Kind kind) const { return m_lookups[kind].load(); }
    // Counts a lookup of a value that was found without get (for example a
    // mesh bundle taken as a whole).
    void count(Kind kind, bool hit);
    // "atlases reused: 21 of 22" and, when the run had a mesh bundle or
    // converted textures, the same for them; "" when nothing was looked up.
    std::string summary() const;

    // Large outputs kept as files of their own, so that a hit links the
    // stored file into place instead of copying its bytes:
    // <kind>/<key>.raw holds the bytes, the entry <kind>/<key>.bin their
    // size and hash. Neither call counts as a lookup (the caller counts).
    // storeFile makes the stored file a hard link of `source` (a copy where
    // linking is not possible); `source` must not be changed in place
    // afterwards (files written through writeWholeFile never are). False
    // when it could not be stored.
    bool storeFile(Kind kind, const Key& key, const std::string& source);
    // Puts the stored file at `target` (replacing it atomically) after
    // checking its size and hash; false when there is none or it is damaged
    // (it is then removed) or the target could not be made.
    bool fetchFile(Kind kind, const Key& key, const std::string& target);

    // The content key (XXH3 128 of the bytes) of the regular file at path,
    // taken from the file table when its stat data match a trusted row,
    // otherwise read and hashed (and the row made anew). False when the
    // file cannot be read.
    bool fileKey(const std::string& path, Key& key);
    // Writes the file table when this run changed it: rows used by this run
    // first, then older ones up to kMaxFileRows. False when it could not be
    // written (the next run hashes the files again).
    bool saveFileTable();
    static constexpr int kRacySeconds = 2;
    static constexpr size_t kMaxFileRows = 100000;

    // Removes the oldest entries (least recently used first) of every pack
    // cache of the workspace at `root` (Projects/*/build/packcache) until
    // they hold at most maxBytes together. Returns the bytes left.
    static uint64_t evict(const std::string& root, uint64_t maxBytes = kDefaultMaxBytes);
    // Removes the cache folder; false when something stayed.
    static bool clear(const std::string& folder);

private:
    struct FileRow {
        uint64_t size = 0, inode = 0;
        int64_t mtimeNs = 0, ctimeNs = 0;
        int64_t madeNs = 0; // wall clock when the file was stat'ed and hashed
        Key key;
        bool used = false; // looked up by this run
    };

    std::string entryPath(Kind kind, const Key& key) const;
    std::string rawPath(Kind kind, const Key& key) const;
    void loadFileTable(); // under m_filesLock

    std::string m_folder;
    std::mutex m_filesLock;
    bool m_filesLoaded = false;
    bool m_filesChanged = false;
    std::map<std::string, FileRow> m_files;
    std::atomic<int> m_hits[KindCount] = {};
    std::atomic<int> m_lookups[KindCount] = {};
};

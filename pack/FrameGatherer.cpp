#include "pack/FrameGatherer.h"

#include "base/Log.h"
#include "base/ParallelFor.h"
#include "base/Paths.h"
#include "base/Stopwatch.h"
#include "base/Trace.h"
#include "base/WholeFile.h"
#include "pack/FrameSequence.h"
#include "pack/PackCache.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <filesystem>

#include <set>
#include <utility>

const TexFrame* FrameSet::find(const std::string& path) const {
    const auto it = table.find(path);
    return it == table.end() ? nullptr : &frames[size_t(it->second)];
}

namespace {

// Ends this thread's trace capture when decoding leaves early by an exception.
struct CaptureScope {
    bool open = true;
    CaptureScope() { Trace::beginCapture(); }
    ~CaptureScope() {
        if (open)
            Trace::endCapture();
    }
    std::vector<Trace::Entry> end() {
        open = false;
        return Trace::endCapture();
    }
};

// One frame file decoded and trimmed ahead of the walk, with the console
// lines its decoding traced.
struct Decoded {
    TexFrame frame;
    bool loaded = false;
    PackCache::Key key; // zero: none
    uint8_t whole = 0;  // kept whole, not trimmed
    std::vector<Trace::Entry> trace;
    double decodeSeconds = 0;
    double trimSeconds = 0;
};

// The frame file decoded and trimmed. With `content`, only when the bytes
// read are the ones that content key names (the file may have changed since
// it was keyed): otherwise the frame is not loaded and `changed` is set.
Decoded decodeFile(const std::string& path, bool keepWhole, const PackCache::Key* content = nullptr,
                   bool* changed = nullptr);

// The cache key of a frame of the given content key, trimmed or kept whole.
PackCache::Key frameKeyOf(const PackCache::Key& content, bool keepWhole) {
    PackCache::Hasher h;
    h.text("frame 3").value(content).value(uint8_t(keepWhole ? 1 : 0));
    return h.digest();
}

constexpr int kFrameFields = 11;

// A frame's sizes as the cache stores them: 11 int32 (source size, trim
// box, trimmed size, image width, height, channels).
using FrameFields = std::array<int32_t, kFrameFields>;

FrameFields fieldsOf(const TexFrame& f) {
    return {f.srcWidth,  f.srcHeight, f.trimLeft,  f.trimBottom,   f.trimRight,   f.trimTop,
            f.trimWidth, f.trimHeight, f.image.width, f.image.height, f.image.channels};
}

// Sets the sizes of f from stored fields (not its pixels); false when they
// do not describe a cropped 4-byte frame of `pixelBytes` bytes.
bool sizesFrom(const FrameFields& v, size_t pixelBytes, TexFrame& f) {
    if (v[8] <= 0 || v[9] <= 0 || v[10] != 4 || v[8] != v[6] || v[9] != v[7] ||
        uint64_t(v[8]) * uint64_t(v[9]) * 4 != pixelBytes)
        return false;
    // The trim box lies inside the source picture and spans the trimmed
    // size: an entry saying otherwise was not written by a pack.
    if (v[0] <= 0 || v[1] <= 0 || v[2] < 0 || v[3] < 0 || v[4] >= v[0] || v[5] >= v[1] ||
        int64_t(v[4]) - v[2] + 1 != v[6] || int64_t(v[5]) - v[3] + 1 != v[7])
        return false;
    f.srcWidth = v[0], f.srcHeight = v[1], f.trimLeft = v[2], f.trimBottom = v[3];
    f.trimRight = v[4], f.trimTop = v[5], f.trimWidth = v[6], f.trimHeight = v[7];
    f.cropped = true;
    return true;
}

// A trimmed, cropped frame as the cache stores it: the pixels, then its
// fields, so that a stored frame's bytes become its image without a copy.
std::vector<uint8_t> frameBytes(const TexFrame& f) {
    const FrameFields fields = fieldsOf(f);
    std::vector<uint8_t> out(f.image.data.size() + sizeof fields);
    if (!f.image.data.empty())
        std::memcpy(out.data(), f.image.data.data(), f.image.data.size());
    std::memcpy(out.data() + f.image.data.size(), fields.data(), sizeof fields);
    return out;
}

// The frame stored by frameBytes, taking over `bytes`; false when they do
// not describe one.
bool frameFrom(std::vector<uint8_t>& bytes, TexFrame& f) {
    FrameFields v;
    if (bytes.size() < sizeof v)
        return false;
    const size_t pixels = bytes.size() - sizeof v;
    std::memcpy(v.data(), bytes.data() + pixels, sizeof v);
    if (!sizesFrom(v, pixels, f))
        return false;
    bytes.resize(pixels);
    f.image.data = std::move(bytes);
    f.image.width = v[8], f.image.height = v[9], f.image.channels = v[10];
    return true;
}

// Stores the sizes of a frame whose pixels are stored under the same key.
void putSizes(PackCache& cache, const PackCache::Key& key, const TexFrame& f) {
    const FrameFields fields = fieldsOf(f);
    cache.put(PackCache::FrameInfo, key, fields.data(), sizeof fields);
}

// The frame's sizes from the cache, without its pixels.
bool storedSizes(PackCache& cache, const PackCache::Key& key, TexFrame& f) {
    std::vector<uint8_t> bytes;
    FrameFields v;
    if (!cache.get(PackCache::FrameInfo, key, bytes) || bytes.size() != sizeof v)
        return false;
    std::memcpy(v.data(), bytes.data(), sizeof v);
    return sizesFrom(v, size_t(v[8] > 0 ? v[8] : 0) * size_t(v[9] > 0 ? v[9] : 0) * 4, f);
}

Decoded decodeFrame(const std::string& path, bool keepWhole, PackCache* cache) {
    Decoded d;
    d.frame.path = path;
    PackCache::Key content, key;
    const bool keyed = cache && cache->fileKey(path, content);
    if (keyed) {
        key = frameKeyOf(content, keepWhole);
        // Its sizes are enough to place it; its pixels wait in the cache.
        if (storedSizes(*cache, key, d.frame)) {
            d.loaded = true;
            d.key = key;
            return d;
        }
        std::vector<uint8_t> bytes;
        if (cache->get(PackCache::Frame, key, bytes) && frameFrom(bytes, d.frame)) {
            putSizes(*cache, key, d.frame);
            d.loaded = true;
            d.key = key;
            return d;
        }
    }
    bool changed = false;
    d = decodeFile(path, keepWhole, keyed ? &content : nullptr, &changed);
    if (changed) // changed since it was keyed: the bytes as they are now, not stored
        d = decodeFile(path, keepWhole);
    else if (keyed && d.loaded && d.frame.cropped) {
        const std::vector<uint8_t> bytes = frameBytes(d.frame);
        if (cache->put(PackCache::Frame, key, bytes.data(), bytes.size()))
            putSizes(*cache, key, d.frame);
        d.key = key;
    }
    return d;
}

Decoded decodeFile(const std::string& path, bool keepWhole, const PackCache::Key* content, bool* changed) {
    Decoded d;
    d.frame.path = path;
    CaptureScope capture;
    auto t0 = SteadyClock::now();
    // A file that cannot be read counts as no bytes: the load then fails
    // with the image reader's usual message.
    std::vector<uint8_t> bytes;
    readWholeFile(path, bytes, std::numeric_limits<uint32_t>::max());
    if (content && PackCache::hashOf(bytes.data(), bytes.size()) != *content) {
        *changed = true;
        capture.end();
        return d;
    }
    d.loaded = d.frame.image.imreadMemory(bytes.data(), bytes.size(), path.c_str());
    d.decodeSeconds = secondsSince(t0);
    if (d.loaded) {
        t0 = SteadyClock::now();
        trimFrame(d.frame, keepWhole);
        cropToTrim(d.frame);
        d.trimSeconds = secondsSince(t0);
    }
    d.trace = capture.end();
    return d;
}

// The distinct frame files that the walk will load, in walk order, each
// with the keep-whole flag of the first item that reaches it.
std::vector<std::pair<std::string, bool>> framesToLoad(const std::vector<Sticker2d>& stickers) {
    std::vector<std::pair<std::string, bool>> files;
    std::set<std::string> seen;
    for (const Sticker2d& sticker : stickers) {
        FrameSequence seq;
        if (!seq.parse(sticker.texpath))
            continue;
        for (int n = 0;; ++n) {
            const std::string path = seq.framePath(n);
            if (!fileExists(path))
                break;
            if (seen.insert(path).second)
                files.emplace_back(path, sticker.isfullscreen);
        }
    }
    return files;
}

// Frames decoded ahead, looked up by path as the walk reaches them.
class Prefetched {
public:
    Prefetched(const std::vector<Sticker2d>& stickers, int threads, double* decodeSeconds, double* trimSeconds,
               PackCache* cache)
        : m_cache(cache) {
        const auto files = framesToLoad(stickers);
        m_decoded.resize(files.size());
        const auto t0 = SteadyClock::now();
        parallelFor(files.size(), resolveThreadCount(threads),
                    [&](size_t i) {
                        m_decoded[i] = decodeFrame(files[i].first, files[i].second, cache);
                        m_decoded[i].whole = files[i].second ? 1 : 0;
                    });
        addWallTime(secondsSince(t0), decodeSeconds, trimSeconds);
        for (size_t i = 0; i < files.size(); ++i)
            m_index.emplace(files[i].first, i);
    }

    // The frame at path; decoded now when the look-ahead did not see it
    // (or has already handed it out).
    Decoded take(const std::string& path, bool keepWhole) {
        const auto it = m_index.find(path);
        if (it == m_index.end()) {
            Decoded d = decodeFrame(path, keepWhole, m_cache);
            d.whole = keepWhole ? 1 : 0;
            return d;
        }
        // Taken once: a file that failed to load is tried again when another
        // item reaches it, as a sequential walk would.
        Decoded d = std::move(m_decoded[it->second]);
        m_index.erase(it);
        return d;
    }

private:
    // Splits the phase's wall time between decoding and trimming in the
    // proportion of their thread times.
    void addWallTime(double wall, double* decodeSeconds, double* trimSeconds) const {
        double decode = 0, trim = 0;
        for (const Decoded& d : m_decoded) {
            decode += d.decodeSeconds;
            trim += d.trimSeconds;
        }
        const double share = decode + trim > 0 ? decode / (decode + trim) : 1.0;
        if (decodeSeconds)
            *decodeSeconds += wall * share;
        if (trimSeconds)
            *trimSeconds += wall * (1.0 - share);
    }

    PackCache* m_cache;
    std::vector<Decoded> m_decoded;
    std::map<std::string, size_t> m_index;
};

void logItem(const Sticker2d& s, const FrameSequence& seq) {
    LOG_INFO("%s %f %f %f\n", s.name.c_str(), double(s.translation.x), double(s.translation.y),
             double(s.translation.z));
    LOG_INFO("\n%s\n%s\n%s\n%s\n%s\n\n", s.texpath.c_str(), seq.folder().c_str(), seq.stem().c_str(),
             seq.extension().c_str(), seq.prefix().c_str());
}

// Stores one prefetched frame, replaying its console lines at this point of
// the walk; false when it could not be loaded.
bool addFrame(FrameSet& set, Decoded decoded) {
    Trace::replay(decoded.trace);
    if (!decoded.loaded) {
        LOG_INFO("load image failed, path %s\n", decoded.frame.path.c_str());
        return false;
    }
    set.table.emplace(decoded.frame.path, int(set.frames.size()));
    set.frames.push_back(std::move(decoded.frame));
    set.keys.push_back(decoded.key);
    set.whole.push_back(decoded.whole);
    return true;
}

void gatherSequence(FrameSet& set, const Sticker2d& sticker, Prefetched& prefetched) {
    FrameSequence seq;
    const bool valid = seq.parse(sticker.texpath);
    logItem(sticker, seq);
    if (!valid) {
        LOG_INFO("this is not valid texture path:%s\n", sticker.texpath.c_str());
        return;
    }
    int n = 0;
    for (;; ++n) {
        const std::string path = seq.framePath(n);
        LOG_INFO("framename:%s\n", seq.frameName(n).c_str());
        if (!fileExists(path))
            break;
        if (set.table.count(path) == 0)
            addFrame(set, prefetched.take(path, sticker.isfullscreen));
    }
    set.sequences[seq.key()] = n;
}

} // namespace

bool FrameGatherer::pixelsOf(const FrameSet& set, size_t i, PackCache& cache, ImageBuffer& pixels) {
    if (i >= set.frames.size() || i >= set.keys.size() || i >= set.whole.size())
        return false;
    const TexFrame& f = set.frames[i];
    // Same source size and trim box.
    const auto sameTrim = [&](const TexFrame& t) {
        const FrameFields a = fieldsOf(t), b = fieldsOf(f);
        return std::equal(a.begin(), a.begin() + 8, b.begin());
    };
    TexFrame stored;
    std::vector<uint8_t> bytes;
    if (cache.get(PackCache::Frame, set.keys[i], bytes) && frameFrom(bytes, stored) && sameTrim(stored)) {
        pixels = std::move(stored.image);
        return true;
    }
    // The stored pixels are gone: the file again, if it still holds the
    // content the frame was keyed by.
    const bool whole = set.whole[i] != 0;
    PackCache::Key content;
    if (!cache.fileKey(f.path, content) || frameKeyOf(content, whole) != set.keys[i])
        return false;
    bool changed = false;
    Decoded d = decodeFile(f.path, whole, &content, &changed);
    if (changed || !d.loaded || !d.frame.cropped || !sameTrim(d.frame))
        return false;
    const std::vector<uint8_t> again = frameBytes(d.frame);
    cache.put(PackCache::Frame, set.keys[i], again.data(), again.size());
    pixels = std::move(d.frame.image);
    return true;
}

FrameSet FrameGatherer::gather(const std::vector<Sticker2d>& stickers, int threads, double* decodeSeconds,
                               double* trimSeconds, PackCache* cache) {
    Prefetched prefetched(stickers, threads, decodeSeconds, trimSeconds, cache);
    FrameSet set;
    for (const Sticker2d& sticker : stickers)
        gatherSequence(set, sticker, prefetched);
    return set;
}

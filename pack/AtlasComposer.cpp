#include "pack/AtlasComposer.h"

#include "base/Log.h"
#include "base/ExceptionReason.h"
#include "base/ParallelFor.h"
#include "base/Stopwatch.h"
#include "base/Trace.h"
#include "base/WholeFile.h"
#include "pack/PackCache.h"
#include "pack/WebpAtlasEncoder.h"

#include <algorithm>
#include <cstring>
#include <exception>

namespace {

bool insideAtlas(const TexFrame& f, AtlasSize size) {
    return f.atlasLeft >= 0 && f.atlasBottom >= 0 && f.atlasRight <= size.width && f.atlasTop <= size.height &&
           f.atlasRight - f.atlasLeft == f.trimWidth && f.atlasTop - f.atlasBottom == f.trimHeight;
}

void copyFrame(const TexFrame& f, ImageBuffer& atlas) {
    const size_t rowBytes = size_t(f.trimWidth) * 4;
    if (f.image.data.size() < trimPixelOffset(f, f.trimWidth - 1, f.trimHeight - 1) + 4)
        return;
    for (int r = 0; r < f.trimHeight; ++r) {
        uint8_t* to = atlas.data.data() + (size_t(f.atlasBottom + r) * size_t(atlas.width) + size_t(f.atlasLeft)) * 4;
        std::memcpy(to, f.image.data.data() + trimPixelOffset(f, 0, r), rowBytes);
    }
}

struct AtlasResult {
    bool written = false;
    std::string error;
    double composeSeconds = 0;
    double encodeSeconds = 0;
};

// Where an atlas's frames come from: the frames, and their cache keys when
// every one has a key.
struct AtlasInputs {
    const std::vector<TexFrame>& frames;
    const std::vector<PackCache::Key>& keys;
    const AtlasComposer::PixelSource& pixels;
};

// compose, fetching the pixels of frames whose image is empty; false (with
// `error`) when a frame's pixels cannot be had.
bool composeFetching(const AtlasInputs& in, int index, AtlasSize size, ImageBuffer& atlas, std::string& error) {
    atlas.create(size.width, size.height, 4);
    for (size_t i = 0; i < in.frames.size(); ++i) {
        const TexFrame& f = in.frames[i];
        if (f.atlasIndex != index || !insideAtlas(f, size))
            continue;
        if (!f.image.data.empty() || !in.pixels) {
            copyFrame(f, atlas);
            continue;
        }
        TexFrame fetched = f;
        if (!in.pixels(i, fetched.image)) {
            error = "the pixels of " + f.path + " could not be read again";
            return false;
        }
        copyFrame(fetched, atlas);
    }
    return true;
}

AtlasResult encodeAtlas(const AtlasInputs& in, int index, AtlasSize size, const std::string& path, bool helperThread,
                        PackCache* cache);

// One atlas, composed, encoded and written; never throws.
AtlasResult makeAtlas(const AtlasInputs& in, int index, AtlasSize size, const std::string& path, bool helperThread,
                      PackCache* cache) {
    AtlasResult r;
    try {
        r = encodeAtlas(in, index, size, path, helperThread, cache);
    } catch (...) {
        r.written = false;
        r.error = exceptionReason(std::current_exception());
    }
    return r;
}

// The cache key of atlas `index` from the keys of the frames drawn into it
// (their pixels), their rectangles, its size and the encoder settings; false
// when a frame drawn into it has no key.
bool keyFromFrames(const AtlasInputs& in, int index, AtlasSize size, PackCache::Key& key) {
    if (in.keys.size() != in.frames.size())
        return false;
    PackCache::Hasher h;
    h.text("atlas of frames").text(WebpAtlasEncoder::settingsTag()).value(size.width).value(size.height);
    const PackCache::Key none;
    for (size_t i = 0; i < in.frames.size(); ++i) {
        const TexFrame& f = in.frames[i];
        if (f.atlasIndex != index || !insideAtlas(f, size))
            continue;
        if (in.keys[i] == none)
            return false;
        const int32_t rect[4] = {f.atlasLeft, f.atlasBottom, f.trimWidth, f.trimHeight};
        h.value(in.keys[i]).value(rect);
    }
    key = h.digest();
    return true;
}

AtlasResult encodeAtlas(const AtlasInputs& in, int index, AtlasSize size, const std::string& path, bool helperThread,
                        PackCache* cache) {
    AtlasResult r;
    std::vector<uint8_t> bytes;
    PackCache::Key key;
    bool keyed = false;
    // Known by its frames: a hit needs no pixels at all.
    if (cache && keyFromFrames(in, index, size, key)) {
        keyed = true;
        const auto t0 = SteadyClock::now();
        const auto write = [&](const uint8_t* p, size_t n) { return writeWholeFile(path, p, n); };
        if (cache->use(PackCache::Atlas, key, write)) {
            r.written = true;
            r.encodeSeconds = secondsSince(t0);
            return r;
        }
    }
    auto t0 = SteadyClock::now();
    ImageBuffer atlas;
    const bool composed = composeFetching(in, index, size, atlas, r.error);
    r.composeSeconds = secondsSince(t0);
    if (!composed)
        return r;
    t0 = SteadyClock::now();
    bool stored = false;
    if (cache && !keyed) {
        // The pixels and every setting that shapes the encoded bytes.
        PackCache::Hasher h;
        h.text("atlas").text(WebpAtlasEncoder::settingsTag());
        h.value(atlas.width).value(atlas.height).value(atlas.channels).array(atlas.data);
        key = h.digest();
        stored = cache->get(PackCache::Atlas, key, bytes); // the same pixels and settings encoded before
    }
    if (!stored) {
        if (!WebpAtlasEncoder::encode(atlas, helperThread, bytes, r.error)) {
            r.written = false;
            r.encodeSeconds = secondsSince(t0);
            return r;
        }
        if (cache)
            cache->put(PackCache::Atlas, key, bytes.data(), bytes.size());
    }
    if (!(r.written = writeWholeFile(path, bytes.data(), bytes.size())))
        r.error = "cannot write the file";
    r.encodeSeconds = secondsSince(t0);
    return r;
}

} // namespace

ImageBuffer AtlasComposer::compose(const std::vector<TexFrame>& frames, int atlasIndex, AtlasSize size) {
    ImageBuffer atlas;
    atlas.create(size.width, size.height, 4);
    for (const TexFrame& f : frames) {
        if (f.atlasIndex == atlasIndex && insideAtlas(f, size))
            copyFrame(f, atlas);
    }
    return atlas;
}

std::vector<std::string> AtlasComposer::composeAndSave(const std::vector<TexFrame>& frames, const std::vector<int>& order,
                                                       const std::vector<AtlasSize>& atlases,
                                                       const std::string& outDir, int threads, Timing* timing,
                                                       std::string* failure, PackCache* cache,
                                                       const std::vector<PackCache::Key>& frameKeys,
                                                       const PixelSource& pixels) {
    if (failure)
        failure->clear();
    const int workers = std::min<int>(resolveThreadCount(threads), std::max<int>(1, int(atlases.size())));
    std::vector<std::string> names(atlases.size());
    for (size_t a = 0; a < atlases.size(); ++a)
        names[a] = "bigtex_" + std::to_string(a) + ".webp";

    std::vector<AtlasResult> results(atlases.size());
    // While other atlases wait, each worker encodes its own on one core;
    // the last few atlases also get libwebp's helper thread, so no core
    // idles at the end. The bytes are the same either way.
    parallelFor(atlases.size(), workers, [&](size_t a) {
        const bool tail = workers > 1 && atlases.size() - a < size_t(workers);
        results[a] = makeAtlas({frames, frameKeys, pixels}, int(a), atlases[a], outDir + names[a], tail, cache);
    });

    // Report in atlas order, as a single-threaded run would.
    for (size_t a = 0; a < atlases.size(); ++a) {
        LOG_INFO("packing big tex index:%d\n", int(a));
        for (int i : order) {
            const TexFrame& f = frames[size_t(i)];
            if (f.atlasIndex == int(a))
                LOG_INFO("pack %s\n", f.path.c_str());
        }
        LOG_INFO("create final bigtex end\n");
        const std::string path = outDir + names[a];
        if (!results[a].written) {
            Trace::out("imwrite, save failed:%s (%s)\n", path.c_str(), results[a].error.c_str());
            if (failure && failure->empty())
                *failure = "atlas " + path + " was not written: " + results[a].error;
        }
        LOG_INFO("save big tex to: %s\n", path.c_str());
        if (timing) {
            timing->compose += results[a].composeSeconds;
            timing->encode += results[a].encodeSeconds;
        }
    }
    return names;
}

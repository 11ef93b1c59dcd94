#pragma once
// Gathers the frames of every 2D item's image sequence for the atlas packer:
// each distinct frame file is loaded once, trimmed to its opaque area and
// kept with its trimmed pixels only.

#include "pack/BigTexJob.h"
#include "pack/PackCache.h"
#include "pack/TexFrame.h"

class PackCache;

#include <map>
#include <string>
#include <vector>

struct FrameSet {
    std::vector<TexFrame> frames;           // in the order they were found
    std::map<std::string, int> table;       // frame path -> position in frames
    std::map<std::string, int> sequences;   // sequence key -> frame count
    // With a cache: the cache key of each frame (parallel to frames), which
    // names its trimmed pixels; a zero key when the frame has none.
    std::vector<PackCache::Key> keys;
    // Whether each frame is kept whole (parallel to frames).
    std::vector<uint8_t> whole;
    // The frame at `path`, or null.
    const TexFrame* find(const std::string& path) const;
};

class FrameGatherer {
public:
    // Walks the stickers in order. For each, frames 0, 1, 2, ... of its
    // sequence are visited until a file is missing; a file already gathered
    // is not loaded again, one that fails to load is logged and skipped
    // (it still counts for the sequence length). Frames of full-screen items
    // are kept whole, all others are trimmed. Never fails.
    // The files are decoded and trimmed ahead on `threads` threads (0: one
    // per core, 1: the calling thread only); frames, console lines and log
    // lines come out as one thread makes them. Wall-clock seconds of
    // decoding and trimming are added to the two counters when given.
    // With a cache, a frame file whose content key (from the cache's file
    // table when its stat data are unchanged) names a stored frame is taken
    // from it instead of being decoded and trimmed.
    // A frame whose sizes are stored too is gathered without its pixels
    // (an empty image); pixelsOf fetches them when an atlas needs them.
    static FrameSet gather(const std::vector<Sticker2d>& stickers, int threads = 0,
                           double* decodeSeconds = nullptr, double* trimSeconds = nullptr,
                           PackCache* cache = nullptr);

    // The trimmed pixels of frame i of a set gathered with `cache`: the
    // stored ones, or the file decoded again when they are gone and its
    // content is still the one keyed. False when neither gives pixels of
    // the frame's trim box. Thread-safe.
    static bool pixelsOf(const FrameSet& set, size_t i, PackCache& cache, ImageBuffer& pixels);
};


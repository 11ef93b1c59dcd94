#pragma once
// Draws the packed frames into their atlases and writes them as
// out/bigtex_<n>.webp. Atlases are composed and encoded on several threads;
// files, console lines and log lines are the same as on one thread.

#include "pack/AtlasPacker.h"
#include "pack/PackCache.h"
#include "pack/TexFrame.h"

#include <functional>
#include <string>
#include <vector>

class AtlasComposer {
public:
    // The pixels of frame i (a position in frames) when its image was left
    // empty; false when they cannot be had. Called from several threads.
    using PixelSource = std::function<bool(size_t frame, ImageBuffer& pixels)>;

    // Time spent, in seconds of wall clock, per phase of the last call.
    struct Timing {
        double compose = 0;
        double encode = 0; // encoding and writing
    };

    // Composes atlas a (all zero, then every frame with atlas index a copied
    // from its trim box to its atlas rectangle, all 4 bytes as stored) for
    // each a, encodes it and writes it to outDir + "bigtex_<a>.webp" (outDir
    // ends with "/"). threads: 0 one per core, 1 the calling thread only.
    // The log names each atlas's frames in `order` (positions in frames).
    // Returns the file names, one per atlas in order, whether or not the
    // write succeeded. A failed write is reported on the console and, when
    // `failure` is given, the first one is described there ("" when every
    // atlas was written). Only exhausted memory throws (std::bad_alloc).
    // With a cache, an atlas whose pixels were encoded before with the same
    // settings takes the stored bytes instead of being encoded again. When
    // `frameKeys` (parallel to frames) names the pixels of every frame of an
    // atlas, the atlas is known by those keys, its rectangles and its size,
    // and a hit is neither composed nor encoded; otherwise by its composed
    // pixels. Frames of an empty image get their pixels from `pixels` when
    // their atlas is composed (an atlas with a frame it cannot give is not
    // written).
    static std::vector<std::string> composeAndSave(const std::vector<TexFrame>& frames, const std::vector<int>& order,
                                                   const std::vector<AtlasSize>& atlases,
                                                   const std::string& outDir, int threads,
                                                   Timing* timing = nullptr, std::string* failure = nullptr,
                                                   PackCache* cache = nullptr,
                                                   const std::vector<PackCache::Key>& frameKeys = {},
                                                   const PixelSource& pixels = {});

    // The atlas picture alone (no logging). Frames whose rectangle does not
    // lie inside the atlas are skipped.
    static ImageBuffer compose(const std::vector<TexFrame>& frames, int atlasIndex, AtlasSize size);
};

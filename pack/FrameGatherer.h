#pragma once
// Gathers the frames of every 2D item's image sequence for the atlas packer:
// each distinct frame file is loaded once, trimmed to its opaque area and
// kept with its trimmed pixels only.

#include "pack/BigTexJob.h"
#include "pack/TexFrame.h"

#include <map>
#include <string>
#include <vector>

struct FrameSet {
    std::vector<TexFrame> frames;           // in the order they were found
    std::map<std::string, int> table;       // frame path -> position in frames
    std::map<std::string, int> sequences;   // sequence key -> frame count
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
    // Seconds spent decoding and trimming are added to the two counters when
    // they are given.
    static FrameSet gather(const std::vector<Sticker2d>& stickers, double* decodeSeconds = nullptr,
                           double* trimSeconds = nullptr);
};


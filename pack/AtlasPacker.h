#pragma once
// Places trimmed frames into atlases of 2048 x (at most) 2048 pixels.
//
// Frames are taken widest first (then tallest first). Each atlas is filled
// from both ends of that list at once: of the widest and the narrowest
// frames still waiting, the one that lands lower (then further left) is
// placed, so small frames fill the gaps beside large ones. Every frame gets a
// one-pixel empty margin on each side. A frame that does not fit under the
// atlas height waits for the next atlas.

#include "pack/TexFrame.h"

#include <vector>

struct AtlasSize {
    int width = 0;
    int height = 0; // highest top reached, margins included; <= 2048
};

class AtlasPacker {
public:
    static constexpr int kAtlasWidth = 2048;
    static constexpr int kAtlasMaxHeight = 2048;
    // Largest trimmed side that fits an atlas with its margins.
    static constexpr int kMaxFrameSide = kAtlasWidth - 2;

    // Positions of `frames` in packing order: trimmed width descending, then
    // trimmed height descending (equal frames keep their relative order).
    // Logs each frame's trim box.
    static std::vector<int> order(const std::vector<TexFrame>& frames);

    // Packs the frames named by `order` into as many atlases as needed and
    // returns the atlas sizes. Each placed frame gets its atlas rectangle and
    // index. A frame whose trimmed side exceeds kMaxFrameSide is left out
    // (atlas index -1) with a console line naming its file. Never makes an
    // empty atlas; every frame lies inside its atlas.
    static std::vector<AtlasSize> pack(std::vector<TexFrame>& frames, const std::vector<int>& order);
};

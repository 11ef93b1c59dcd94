#include "pack/AtlasPacker.h"

#include "base/Log.h"
#include "base/Trace.h"
#include "pack/SkylinePacker.h"

#include <algorithm>

std::vector<int> AtlasPacker::order(const std::vector<TexFrame>& frames) {
    std::vector<int> idx(frames.size());
    for (size_t i = 0; i < idx.size(); ++i)
        idx[i] = int(i);
    std::stable_sort(idx.begin(), idx.end(), [&frames](int a, int b) {
        const TexFrame& fa = frames[size_t(a)];
        const TexFrame& fb = frames[size_t(b)];
        if (fa.trimWidth != fb.trimWidth)
            return fa.trimWidth > fb.trimWidth;
        return fa.trimHeight > fb.trimHeight;
    });
    LOG_INFO("\n\nbeging packing bigtex\n");
    for (int i : idx) {
        const TexFrame& f = frames[size_t(i)];
        LOG_INFO("%s\n ltwh: %d %d %d %d\n", f.path.c_str(), f.trimLeft, f.trimBottom, f.trimWidth, f.trimHeight);
    }
    return idx;
}

namespace {

// The frames that can be packed at all, in order; the others are reported.
std::vector<int> packableFrames(std::vector<TexFrame>& frames, const std::vector<int>& order) {
    std::vector<int> list;
    list.reserve(order.size());
    for (int i : order) {
        TexFrame& f = frames[size_t(i)];
        f.atlasIndex = -1;
        if (f.trimWidth > AtlasPacker::kMaxFrameSide || f.trimHeight > AtlasPacker::kMaxFrameSide ||
            f.trimWidth <= 0 || f.trimHeight <= 0) {
            Trace::out("frame %dx%d is too large for a %d-pixel atlas, left out: %s\n", f.trimWidth,
                       f.trimHeight, AtlasPacker::kAtlasWidth, f.path.c_str());
            continue;
        }
        list.push_back(i);
    }
    return list;
}

bool lower(SkylinePos a, SkylinePos b) { return a.y < b.y || (a.y == b.y && a.x < b.x); }

// Fills one atlas from both ends of `list`; returns how many frames it took.
int fillAtlas(SkylinePacker& packer, std::vector<TexFrame>& frames, const std::vector<int>& list,
              std::vector<bool>& used, int atlasIndex) {
    int placed = 0;
    size_t lo = 0;
    size_t hi = list.size();
    while (lo < hi) {
        while (lo < hi && used[lo])
            ++lo;
        while (hi > lo && used[hi - 1])
            --hi;
        if (lo >= hi)
            break;
        TexFrame& first = frames[size_t(list[lo])];
        TexFrame& last = frames[size_t(list[hi - 1])];
        const SkylinePos a = packer.placeRect(first.trimWidth + 2, first.trimHeight + 2, true);
        const SkylinePos b = packer.placeRect(last.trimWidth + 2, last.trimHeight + 2, true);
        const bool takeLast = b.x >= 0 && (a.x < 0 || lower(b, a));
        const size_t pick = takeLast ? hi - 1 : lo;
        const SkylinePos at = takeLast ? b : a;
        if (takeLast)
            --hi;
        else
            ++lo;
        TexFrame& f = frames[size_t(list[pick])];
        if (at.x < 0 || at.y + 1 + f.trimHeight >= AtlasPacker::kAtlasMaxHeight)
            continue;
        const SkylinePos real = packer.placeRect(f.trimWidth + 2, f.trimHeight + 2, false);
        f.atlasLeft = real.x + 1;
        f.atlasBottom = real.y + 1;
        f.atlasRight = f.atlasLeft + f.trimWidth;
        f.atlasTop = f.atlasBottom + f.trimHeight;
        f.atlasIndex = atlasIndex;
        used[pick] = true;
        ++placed;
    }
    return placed;
}

} // namespace

std::vector<AtlasSize> AtlasPacker::pack(std::vector<TexFrame>& frames, const std::vector<int>& order) {
    const std::vector<int> list = packableFrames(frames, order);
    std::vector<bool> used(list.size(), false);
    std::vector<AtlasSize> atlases;
    SkylinePacker packer;
    size_t placed = 0;
    while (placed < list.size()) {
        packer.reset(kAtlasWidth);
        const int n = fillAtlas(packer, frames, list, used, int(atlases.size()));
        if (n == 0)
            break; // cannot happen for frames within kMaxFrameSide; never loop on it
        placed += size_t(n);
        LOG_INFO("current bigtex result w:h %d:%d\n", packer.width(), packer.height());
        atlases.push_back(AtlasSize{packer.width(), packer.height()});
    }
    LOG_INFO("bigtex vector length %d\n", int(atlases.size()));
    LOG_INFO("create final bigtex begin\n");
    for (int i : order) {
        const TexFrame& f = frames[size_t(i)];
        LOG_INFO("%s\n lbrtwh:[%d,%d,%d,%d,%d,%d]\n", f.path.c_str(), f.atlasLeft, f.atlasBottom, f.atlasRight,
                 f.atlasTop, f.trimWidth, f.trimHeight);
    }
    return atlases;
}

#include "pack/DeltaRanges.h"

void DeltaRanges::add(Range& open, std::vector<Range>& out, size_t i) {
    const uint32_t o = static_cast<uint32_t>(6 * i);
    const uint32_t start = o & ~7u;
    const uint32_t end = (o + 6 + 7) & ~7u;
    if (start > open.end) {
        close(open, out);
        open.begin = start;
    }
    open.end = end;
}

void DeltaRanges::close(const Range& open, std::vector<Range>& out) {
    if (open.end > open.begin)
        out.push_back(open);
}

void DeltaRanges::collect(const uint64_t* masks, size_t count, uint64_t bit, std::vector<Range>& out) {
    out.clear();
    Range open{0, 0};
    for (size_t i = 0; i < count; ++i)
        if (masks[i] & bit)
            add(open, out, i);
    close(open, out);
}

void DeltaRanges::collectAll(const uint64_t* masks, size_t count, int bitCount, std::vector<std::vector<Range>>& out) {
    out.assign(static_cast<size_t>(bitCount), {});
    std::vector<Range> open(static_cast<size_t>(bitCount), Range{0, 0});
    const uint64_t used = bitCount >= 64 ? ~uint64_t(0) : (uint64_t(1) << bitCount) - 1;
    for (size_t i = 0; i < count; ++i)
        for (uint64_t m = masks[i] & used; m != 0; m &= m - 1) {
            const int b = __builtin_ctzll(m);
            add(open[static_cast<size_t>(b)], out[static_cast<size_t>(b)], i);
        }
    for (size_t b = 0; b < open.size(); ++b)
        close(open[b], out[b]);
}

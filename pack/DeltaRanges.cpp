#include "pack/DeltaRanges.h"

void DeltaRanges::collect(const uint64_t* masks, size_t count, uint64_t bit, std::vector<Range>& out) {
    out.clear();
    Range open{0, 0};
    for (size_t i = 0; i < count; ++i) {
        if (!(masks[i] & bit))
            continue;
        const uint32_t o = static_cast<uint32_t>(6 * i);
        const uint32_t start = o & ~7u;
        const uint32_t end = (o + 6 + 7) & ~7u;
        if (start > open.end) {
            if (open.end > open.begin)
                out.push_back(open);
            open.begin = start;
        }
        open.end = end;
    }
    if (open.end > open.begin)
        out.push_back(open);
}

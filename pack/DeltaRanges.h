#pragma once
// The 8-int16-aligned ranges of one blendshape over the P/N entries (6 int16
// per vertex) of a drawcall. A moved vertex i covers [6i rounded down to a
// multiple of 8, 6i + 6 rounded up to a multiple of 8); covers that touch or
// overlap the open range extend it, a gap starts a new one.

#include <cstddef>
#include <cstdint>
#include <vector>

class DeltaRanges {
public:
    struct Range {
        uint32_t begin; // first int16 index
        uint32_t end;   // one past the last int16 index
    };

    // masks: per vertex, the blendshapes that move it; only the first
    // `count` vertices are looked at. Replaces `out` with the ranges of the
    // vertices whose mask has `bit`, in ascending order.
    static void collect(const uint64_t* masks, size_t count, uint64_t bit, std::vector<Range>& out);
    // The same for every bit at once in one pass: out[b] (out resized to
    // bitCount, 1..64) gets the ranges of bit b. Work grows with the set bits,
    // not with bitCount x count.
    static void collectAll(const uint64_t* masks, size_t count, int bitCount, std::vector<std::vector<Range>>& out);

private:
    // Adds vertex i's cover to the open range, first closing it into out
    // when there is a gap.
    static void add(Range& open, std::vector<Range>& out, size_t i);
    static void close(const Range& open, std::vector<Range>& out);
};

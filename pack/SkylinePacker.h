#pragma once
// Skyline rectangle packer for one atlas of fixed width and growing height.
//
// The skyline is a list of segments from left to right that always covers
// [0, width) without gaps; each segment records the height of the filled
// area above it. Neighbours of equal height are kept apart (never merged).
// placeRect looks for the leftmost position that is nearly as low as the
// lowest possible one, in time linear in the number of segments.

#include <vector>

struct SkylineSegment {
    int x = 0;
    int width = 0;
    int y = 0; // height of the filled area over [x, x + width)
};

struct SkylinePos {
    int x = -1;
    int y = -1; // (-1, -1): no place
};

class SkylinePacker {
public:
    // Empties the packer: height 0 and one segment {0, width, 0}.
    // width must be positive.
    void reset(int width);

    // Finds a place for a w x h rectangle (pixels, both >= 1) and, unless
    // dryRun, commits it: the skyline is raised over [x, x + w) to y + h and
    // the height grows to at least y + h. Returns (-1, -1) when the
    // rectangle is wider than the packer. The height is not limited here;
    // callers that need a height limit test y + h themselves.
    // Every call writes the current skyline to the log.
    SkylinePos placeRect(int w, int h, bool dryRun);

    int width() const { return m_width; }
    // Highest top of any committed rectangle, 0 when empty.
    int height() const { return m_height; }
    const std::vector<SkylineSegment>& skyline() const { return m_skyline; }

private:
    void logSkyline() const;
    void collectCandidates(int w);
    void offer(int x, int y);
    void commit(SkylinePos pos, int w, int h);

    int m_width = 0;
    int m_height = 0;
    std::vector<SkylineSegment> m_skyline;
    // Scratch lists reused between calls (no allocation per call).
    std::vector<SkylinePos> m_candidates;
    std::vector<int> m_stack;
    std::vector<SkylineSegment> m_rebuilt;
};

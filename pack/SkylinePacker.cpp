#include "pack/SkylinePacker.h"

#include "base/Log.h"

#include <algorithm>
#include <cassert>
#include <string>

namespace {
int rightOf(const SkylineSegment& s) { return s.x + s.width; }
} // namespace

void SkylinePacker::reset(int width) {
    assert(width > 0 && "atlas width must be positive");
    m_width = width;
    m_height = 0;
    m_skyline.assign(1, SkylineSegment{0, width, 0});
}

void SkylinePacker::logSkyline() const {
    // The first write reports whether the log is open at all; the segment
    // dump is only formatted when someone reads it.
    if (LOG_INFO("\n\nm_skyline begin\n") == 0)
        return;
    std::string text;
    char line[64];
    for (size_t i = 0; i < m_skyline.size(); ++i) {
        const SkylineSegment& s = m_skyline[i];
        std::snprintf(line, sizeof line, "[%d][%d,%d,%d]\n", int(i), s.x, s.width, s.y);
        text += line;
    }
    text += "m_skyline end\n\n";
    LOG_INFO("%s", text.c_str());
}

void SkylinePacker::offer(int x, int y) {
    if (m_candidates.empty() || y < m_candidates.back().y)
        m_candidates.push_back(SkylinePos{x, y});
}

// Walks the segments once. For segment i the window stack holds, from base
// position k upward, segments of strictly decreasing height ending at i, so
// S[stack[k]] is the highest segment under a rectangle that starts at a given
// x and ends inside [.., right(S[i])]. j is the first segment where a
// rectangle ending at right(S[i]) may still start.
void SkylinePacker::collectCandidates(int w) {
    const std::vector<SkylineSegment>& S = m_skyline;
    m_candidates.clear();
    m_stack.clear();
    size_t k = 0;
    size_t j = 0;
    for (size_t i = 0; i < S.size(); ++i) {
        while (m_stack.size() > k && S[size_t(m_stack.back())].y <= S[i].y)
            m_stack.pop_back();
        m_stack.push_back(int(i));
        const int rightI = rightOf(S[i]);
        const int leftBound = k > 0 ? rightOf(S[size_t(m_stack[k - 1])]) : 0;
        while (j < i) {
            if (rightOf(S[j]) > rightI - w)
                break;
            if (S[j].x >= leftBound) {
                while (size_t(m_stack[k]) < j)
                    ++k;
                offer(S[j].x, S[size_t(m_stack[k])].y);
            }
            ++j;
        }
        if (S[j].x + w <= rightI) {
            while (size_t(m_stack[k]) < j)
                ++k;
            offer(S[j].x, S[size_t(m_stack[k])].y);
        }
        while (k + 1 < m_stack.size() && rightOf(S[size_t(m_stack[k])]) <= rightI - w)
            ++k;
        if (rightI - w >= 0)
            offer(rightI - w, S[size_t(m_stack[k])].y);
    }
}

SkylinePos SkylinePacker::placeRect(int w, int h, bool dryRun) {
    logSkyline();
    collectCandidates(w);
    if (m_candidates.empty())
        return SkylinePos{};
    const int threshold = m_candidates.back().y + ((24 * h + 31) >> 6);
    SkylinePos chosen = m_candidates.back();
    for (const SkylinePos& c : m_candidates) {
        if (c.y <= threshold) {
            chosen = c;
            break;
        }
    }
    if (!dryRun && chosen.x >= 0)
        commit(chosen, w, h);
    return chosen;
}

void SkylinePacker::commit(SkylinePos pos, int w, int h) {
    const int x0 = pos.x;
    const int x1 = pos.x + w;
    m_rebuilt.clear();
    bool inserted = false;
    for (const SkylineSegment& s : m_skyline) {
        if (rightOf(s) <= x0 || s.x >= x1) {
            m_rebuilt.push_back(s);
            continue;
        }
        if (s.x < x0)
            m_rebuilt.push_back(SkylineSegment{s.x, x0 - s.x, s.y});
        if (!inserted) {
            m_rebuilt.push_back(SkylineSegment{x0, w, pos.y + h});
            inserted = true;
        }
        if (rightOf(s) > x1)
            m_rebuilt.push_back(SkylineSegment{x1, rightOf(s) - x1, s.y});
    }
    m_skyline.swap(m_rebuilt);
    m_height = std::max(m_height, pos.y + h);
}

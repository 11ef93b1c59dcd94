#include "pack/DescNodeBuilder.h"

#include "base/Log.h"
#include "base/Trace.h"
#include "pack/FrameSequence.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

const char* triggerName(int code) {
    switch (code) {
    case 1: return "newface";
    case 2: return "alwaysrender";
    case 3: return "faceaction";
    default: return "default";
    }
}

const char* loopName(int code) {
    switch (code) {
    case 0: return "infinite";
    case 1: return "loopcnt";
    case 2: return "loop1stay";
    default: return "default";
    }
}

constexpr int kNodeGroup = 1;
constexpr int kNodeLastMember = 3;
constexpr int kBaseVertexScreen = -2; // full-screen and background items follow the screen, not the face

int sequenceLength(const Sticker2d& s, const FrameSet& frames) {
    FrameSequence seq;
    seq.parse(s.texpath);
    const auto it = frames.sequences.find(seq.key());
    return it == frames.sequences.end() ? 0 : it->second;
}

// (x, y, 0, 1) through the model matrix, divided by the resulting w.
math3d::Vec3 projectCorner(const math3d::Mat4& m, float x, float y) {
    float out[4];
    for (int r = 0; r < 4; ++r)
        out[r] = m(r, 0) * x + m(r, 1) * y + m(r, 3);
    if (out[3] != 0.0f && out[3] != 1.0f)
        return {out[0] / out[3], out[1] / out[3], out[2] / out[3]};
    return {out[0], out[1], out[2]};
}

std::string nodeName(const Sticker2d& s) {
    std::string name = s.name;
    if (s.isbackground)
        name += "_bg";
    if (s.isfullscreen)
        name += s.islandscape ? "_fcl" : "_fcp";
    return name;
}

int truncatedFps(float fps) {
    if (!(std::fabs(fps) < 2147483520.0f))
        return 0; // not finite or beyond int: no sensible rate
    return int(fps);
}

void fillAttributes(DescNode& node, const Sticker2d& s, int frameCount) {
    node.name = nodeName(s);
    node.type = "billboard_ex2";
    node.fps = truncatedFps(s.fps);
    node.frameCnt1Loop = frameCount;
    node.triggerstart = triggerName(s.triggerStart);
    node.triggerend = triggerName(s.triggerEnd);
    node.startaction = s.start_action;
    node.endaction = s.end_action;
    node.looptype = loopName(s.loopType);
    node.loopcnt = s.loopcnt;
    node.nodetype = s.nodetype;
    node.needkeepfaceaction = s.needtokeepfaceaction ? 1 : 0;
}

void fillRelations(DescNode& node, const Sticker2d& s, const std::vector<int>& nodeIndex) {
    auto indexOf = [&nodeIndex](int pos) { return pos >= 0 && size_t(pos) < nodeIndex.size() ? nodeIndex[size_t(pos)] : -1; };
    for (int member : s.chain) {
        const int idx = indexOf(member);
        if (idx >= 0)
            node.childNodes.push_back(idx);
    }
    node.root = indexOf(s.group);
    if (!node.childNodes.empty() && node.childNodes.front() == node.root)
        node.nodetype = kNodeLastMember;
}

void fillFrames(DescNode& node, const Sticker2d& s, int frameCount, const FrameSet& frames,
                const std::vector<AtlasSize>& atlases, math3d::Vec3 base) {
    node.texture_frames.resize(size_t(frameCount));
    FrameSequence seq;
    if (!seq.parse(s.texpath)) {
        LOG_INFO("this is not valid texture path:%s\n", s.texpath.c_str());
        return;
    }
    for (int i = 0; i < frameCount; ++i) {
        const TexFrame* f = frames.find(seq.framePath(i));
        if (!f || f->atlasIndex < 0 || size_t(f->atlasIndex) >= atlases.size()) {
            LOG_INFO("error!");
            continue;
        }
        LOG_INFO("framename: %s lbrtwh[%d,%d,%d,%d,%d,%d]\n", f->path.c_str(), f->atlasLeft, f->atlasBottom,
                 f->atlasRight, f->atlasTop, f->trimWidth, f->trimHeight);
        node.texture_frames[size_t(i)] = DescNodeBuilder::frameEntry(s, *f, atlases[size_t(f->atlasIndex)], base);
    }
}

// a + b, held at the long long range instead of overflowing.
long long saturatingAdd(long long a, long long b) {
    if (b > 0 && a > std::numeric_limits<long long>::max() - b)
        return std::numeric_limits<long long>::max();
    if (b < 0 && a < std::numeric_limits<long long>::min() - b)
        return std::numeric_limits<long long>::min();
    return a + b;
}

int clampToInt(long long v) {
    return int(std::max<long long>(std::numeric_limits<int>::min(), std::min<long long>(std::numeric_limits<int>::max(), v)));
}

} // namespace

std::vector<int> DescNodeBuilder::depthOrder(const std::vector<Sticker2d>& stickers) {
    std::vector<int> idx(stickers.size());
    for (size_t i = 0; i < idx.size(); ++i)
        idx[i] = int(i);
    auto depth = [&stickers](int i) { return stickers[size_t(i)].hasNode ? stickers[size_t(i)].translation.z : 0.0f; };
    std::stable_sort(idx.begin(), idx.end(), [&depth](int a, int b) { return depth(a) < depth(b); });
    return idx;
}

std::vector<int> DescNodeBuilder::nodeIndices(const std::vector<Sticker2d>& stickers, const std::vector<int>& sorted,
                                              const FrameSet& frames) {
    std::vector<int> index(stickers.size(), -1);
    int next = 0;
    for (int pos : sorted) {
        if (sequenceLength(stickers[size_t(pos)], frames) > 0)
            index[size_t(pos)] = next++;
    }
    return index;
}

std::vector<DescNode> DescNodeBuilder::build2dNodes(const std::vector<Sticker2d>& stickers, const FrameSet& frames,
                                                    const std::vector<AtlasSize>& atlases) {
    const std::vector<int> sorted = depthOrder(stickers);
    const std::vector<int> nodeIndex = nodeIndices(stickers, sorted, frames);
    std::vector<DescNode> nodes;
    for (int pos : sorted) {
        const Sticker2d& s = stickers[size_t(pos)];
        const int count = sequenceLength(s, frames);
        if (count <= 0)
            continue;
        nodes.emplace_back();
        DescNode& node = nodes.back();
        math3d::Vec3 base;
        if (s.isfullscreen || s.isbackground) {
            node.base_vertex = kBaseVertexScreen;
        } else {
            node.base_vertex = s.nearestVertex;
            if (s.nearestVertex >= 0)
                base = s.nearestVertexPosition;
        }
        if (!s.hasNode) {
            LOG_INFO("error! pobj==nullptr\n");
            continue;
        }
        fillAttributes(node, s, count);
        fillRelations(node, s, nodeIndex);
        fillFrames(node, s, count, frames, atlases, base);
    }
    return nodes;
}

DescFrame DescNodeBuilder::frameEntry(const Sticker2d& item, const TexFrame& f, AtlasSize atlas, math3d::Vec3 base) {
    DescFrame e;
    e.bigtexidx = f.atlasIndex;
    const float AW = float(atlas.width), AH = float(atlas.height);
    const float al = float(f.atlasLeft) / AW, ar = float(f.atlasRight) / AW;
    const float ab = float(f.atlasBottom) / AH, at = float(f.atlasTop) / AH;
    e.vt = {al, at, ar, at, ar, ab, al, ab};
    const float w = float(f.srcWidth), h = float(f.srcHeight);
    float L = float(f.trimLeft), R = float(f.trimRight), B = float(f.trimBottom), T = float(f.trimTop);
    if (item.flipHorizontal) {
        std::swap(e.vt[0], e.vt[2]);
        std::swap(e.vt[4], e.vt[6]);
        const float l = w - R, r = w - L;
        L = l;
        R = r;
    }
    if (item.flipVertical) {
        std::swap(e.vt[1], e.vt[5]);
        std::swap(e.vt[3], e.vt[7]);
        const float b = h - T, t = h - B;
        B = b;
        T = t;
    }
    const float xs[4] = {L, R, R, L};
    const float ys[4] = {T, T, B, B};
    math3d::Vec3 corner[4];
    for (int k = 0; k < 4; ++k)
        corner[k] = projectCorner(item.model, (xs[k] - w / 2) / w, (ys[k] - h / 2) / h);
    e.v.resize(12);
    for (int k = 0; k < 4; ++k) {
        e.v[size_t(3 * k)] = corner[k].x - base.x;
        e.v[size_t(3 * k + 1)] = corner[k].y - base.y;
        e.v[size_t(3 * k + 2)] = -(corner[k].z - base.z);
    }
    if (item.isbackground) {
        const math3d::Vec3 c = projectCorner(item.model, 0, 0);
        for (int k = 0; k < 4; ++k) {
            e.v[size_t(3 * k)] = corner[k].x - c.x;
            e.v[size_t(3 * k + 1)] = corner[k].y - c.y;
        }
        e.v[2] = std::fabs(corner[3].x - corner[1].x);
        e.v[5] = std::fabs(corner[3].y - corner[1].y);
        e.v[8] = std::fabs(c.x + 190.0f) / 380.0f;
        e.v[11] = std::fabs(c.y - 336.0f) / 672.0f;
    }
    return e;
}

long long DescNodeBuilder::findLongestFramePath(const std::vector<DescNode>& nodes, int index) {
    if (index < 0 || size_t(index) >= nodes.size())
        return 0;
    // Depth-first over the chain with an explicit stack (chains may be as long
    // as the node list) and one result per node: a node reached again along
    // another branch (diamond-shaped chains) is not walked again, so the walk
    // is linear in nodes and child links. A child on the current path closes
    // a cycle and counts 0.
    enum State : uint8_t { kNew, kOnPath, kDone };
    std::vector<uint8_t> state(nodes.size(), kNew);
    std::vector<long long> result(nodes.size(), 0);
    struct Frame {
        int node;
        size_t nextChild;
        long long best;
    };
    auto own = [&nodes](int i) { return (long long)nodes[size_t(i)].loopcnt * nodes[size_t(i)].frameCnt1Loop; };
    auto ends = [&nodes](int i) {
        return nodes[size_t(i)].nodetype == kNodeLastMember || nodes[size_t(i)].childNodes.empty();
    };
    std::vector<Frame> stack{{index, 0, 0}};
    state[size_t(index)] = kOnPath;
    while (!stack.empty()) {
        Frame& f = stack.back();
        const DescNode& n = nodes[size_t(f.node)];
        if (!ends(f.node) && f.nextChild < n.childNodes.size()) {
            const int child = n.childNodes[f.nextChild++];
            if (child < 0 || size_t(child) >= nodes.size() || state[size_t(child)] == kOnPath)
                continue;
            if (state[size_t(child)] == kDone) {
                f.best = std::max(f.best, result[size_t(child)]);
                continue;
            }
            state[size_t(child)] = kOnPath;
            stack.push_back({child, 0, 0});
            continue;
        }
        const long long value = ends(f.node) ? own(f.node)
                                : n.nodetype == kNodeGroup ? f.best
                                                           : saturatingAdd(own(f.node), f.best);
        result[size_t(f.node)] = value;
        state[size_t(f.node)] = kDone;
        stack.pop_back();
        if (!stack.empty())
            stack.back().best = std::max(stack.back().best, value);
    }
    return result[size_t(index)];
}

void DescNodeBuilder::applyGroupFixups(std::vector<DescNode>& nodes) {
    for (DescNode& n : nodes) {
        if (n.nodetype == kNodeLastMember && n.root >= 0 && size_t(n.root) < nodes.size() &&
            nodes[size_t(n.root)].looptype == "loop1stay")
            n.looptype = "loop1stay";
    }
    for (size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].nodetype != kNodeGroup)
            continue;
        nodes[i].frameCnt1Loop = clampToInt(findLongestFramePath(nodes, int(i)));
        LOG_INFO("findLongestFramePath:%s,total:%d", nodes[i].name.c_str(), nodes[i].frameCnt1Loop);
    }
}

namespace {
// A texture name that stays a plain file name inside out/.
bool safeFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos;
}
} // namespace

std::vector<DescNode> DescNodeBuilder::buildArNodes(const std::vector<ArItem>& items, const std::string& outDir) {
    std::vector<int> order(items.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = int(i);
    std::stable_sort(order.begin(), order.end(),
                     [&items](int a, int b) { return items[size_t(a)].z < items[size_t(b)].z; });
    std::vector<DescNode> nodes;
    for (int pos : order) {
        const ArItem& item = items[size_t(pos)];
        if (!safeFileName(item.texname)) {
            Trace::out("AR texture name is not a plain file name, item left out: %s\n", item.texname.c_str());
            continue;
        }
        ImageBuffer image;
        if (!image.imread(item.texpath)) {
            LOG_INFO("load ar mesh error\n");
            continue;
        }
        nodes.emplace_back();
        nodes.back().name = item.name + "_ar";
        image.flipHorizontal();
        const std::string path = outDir + item.texname + ".webp";
        LOG_INFO("save ar tex to: %s\n", path.c_str());
        if (!image.imwrite(path)) {
            LOG_INFO("save ar texture faild\n");
            Trace::out("AR texture could not be written, item left out: %s\n", path.c_str());
            nodes.pop_back();
            continue;
        }
        nodes.back().path = item.texname + ".webp";
        LOG_INFO("ar tex saved\n");
    }
    return nodes;
}

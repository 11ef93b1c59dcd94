#pragma once
// Builds the desc.json nodes of a 2D bundle from the job's items and the
// packed frames: one node per 2D item that has frames (in depth order, with
// timing, group relations and per-frame quad corners and atlas
// coordinates), and one node per AR item whose texture could be mirrored
// into out/.

#include "pack/AtlasPacker.h"
#include "pack/BigTexJob.h"
#include "pack/DescNode.h"
#include "pack/FrameGatherer.h"

#include <vector>

class DescNodeBuilder {
public:
    // Positions of the stickers sorted by node depth (translation z,
    // smallest first; equal depths keep scene order).
    static std::vector<int> depthOrder(const std::vector<Sticker2d>& stickers);

    // Node index of every sticker (by scene position): its position in the
    // 2D node list, or -1 for a sticker that gets no node (no frames).
    // `sorted` is depthOrder's result.
    static std::vector<int> nodeIndices(const std::vector<Sticker2d>& stickers, const std::vector<int>& sorted,
                                        const FrameSet& frames);

    // The 2D nodes, in depth order, without the group fix-ups.
    static std::vector<DescNode> build2dNodes(const std::vector<Sticker2d>& stickers, const FrameSet& frames,
                                              const std::vector<AtlasSize>& atlases);

    // Applies the group rules to finished 2D nodes: the last member of a
    // group whose root node loops once and stays does the same, and every
    // group's frameCnt1Loop becomes its longest play path.
    static void applyGroupFixups(std::vector<DescNode>& nodes);

    // Frames played from node `index` to the end of its chain: its own
    // loopcnt x frameCnt1Loop (none for a group) plus the longest path among
    // its children; a last member (nodetype 3) ends the chain. Indices
    // outside `nodes` count 0, and a chain that returns to a node already on
    // the path stops there. Each node's result is computed once, so the time
    // is linear in nodes and child links whatever the shape of the chains.
    static long long findLongestFramePath(const std::vector<DescNode>& nodes, int index);

    // The AR nodes in depth order. Each AR item's texture is loaded, mirrored
    // left-right and written to outDir + texname + ".webp" (outDir ends with
    // "/"); an item whose texture cannot be loaded or written gets no node.
    static std::vector<DescNode> buildArNodes(const std::vector<ArItem>& items, const std::string& outDir);

    // One frame entry: the corners of the frame's trim box on the item's
    // quad, transformed by the item's model matrix, and its atlas
    // coordinates, with the item's flips and background layout applied.
    // base: position subtracted from every corner.
    static DescFrame frameEntry(const Sticker2d& item, const TexFrame& frame, AtlasSize atlas,
                                math3d::Vec3 base);
};

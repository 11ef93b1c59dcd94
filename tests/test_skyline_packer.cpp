// Skyline packer, frame trimming and atlas filling.

#include "pack/AtlasPacker.h"
#include "pack/SkylinePacker.h"
#include "pack/TexFrame.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>

using testing_support::TraceCapture;

namespace {

struct Rect {
    int x, y, w, h;
};

bool overlaps(const Rect& a, const Rect& b) {
    return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

// Highest skyline value over [x, x + w), read from the segment list.
int skylineMax(const std::vector<SkylineSegment>& s, int x, int w) {
    int m = 0;
    for (const SkylineSegment& seg : s)
        if (seg.x < x + w && x < seg.x + seg.width)
            m = std::max(m, seg.y);
    return m;
}

void expectCoversWidth(const SkylinePacker& p) {
    int x = 0;
    for (const SkylineSegment& s : p.skyline()) {
        ASSERT_EQ(s.x, x);
        ASSERT_GT(s.width, 0);
        x += s.width;
    }
    EXPECT_EQ(x, p.width());
}

TEST(SkylinePacker, resetLeavesOneFlatSegment) {
    SkylinePacker p;
    p.reset(2048);
    ASSERT_EQ(p.skyline().size(), 1u);
    EXPECT_EQ(p.skyline()[0].x, 0);
    EXPECT_EQ(p.skyline()[0].width, 2048);
    EXPECT_EQ(p.skyline()[0].y, 0);
    EXPECT_EQ(p.height(), 0);
}

TEST(SkylinePacker, placesLowestLeftmostAndKeepsEqualNeighboursApart) {
    SkylinePacker p;
    p.reset(10);
    const SkylinePos a = p.placeRect(4, 3, false);
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    const SkylinePos b = p.placeRect(4, 3, false);
    EXPECT_EQ(b.x, 4);
    EXPECT_EQ(b.y, 0);
    // Two neighbours of equal height stay two segments.
    ASSERT_EQ(p.skyline().size(), 3u);
    EXPECT_EQ(p.skyline()[0].y, 3);
    EXPECT_EQ(p.skyline()[1].y, 3);
    // Only 2 columns left at height 0: a 3-wide rectangle must go on top.
    const SkylinePos c = p.placeRect(3, 1, false);
    EXPECT_EQ(c.y, 3);
    EXPECT_EQ(c.x, 0);
    EXPECT_EQ(p.height(), 4);
    expectCoversWidth(p);
}

TEST(SkylinePacker, dryRunChangesNothingAndTooWideHasNoPlace) {
    SkylinePacker p;
    p.reset(16);
    p.placeRect(5, 5, false);
    const std::vector<SkylineSegment> before = p.skyline();
    const SkylinePos dry = p.placeRect(6, 2, true);
    EXPECT_GE(dry.x, 0);
    EXPECT_EQ(p.skyline().size(), before.size());
    EXPECT_EQ(p.height(), 5);
    const SkylinePos none = p.placeRect(17, 1, false);
    EXPECT_EQ(none.x, -1);
    EXPECT_EQ(none.y, -1);
    const SkylinePos full = p.placeRect(16, 1, false);
    EXPECT_EQ(full.x, 0);
    EXPECT_EQ(full.y, 5);
}

TEST(SkylinePacker, prefersLeftmostWithinThreeEighthsOfHeight) {
    SkylinePacker p;
    p.reset(100);
    p.placeRect(50, 3, false); // left half at 3, right half at 0
    // h = 16: threshold = 0 + (24*16+31)>>6 = 6, so the left spot at y 3 wins.
    const SkylinePos tall = p.placeRect(40, 16, true);
    EXPECT_EQ(tall.x, 0);
    EXPECT_EQ(tall.y, 3);
    // h = 2: threshold = 0 + (48+31)>>6 = 1, so it goes down to y 0.
    const SkylinePos flat = p.placeRect(40, 2, true);
    EXPECT_EQ(flat.x, 50);
    EXPECT_EQ(flat.y, 0);
}

TEST(SkylinePacker, randomRectanglesNeverOverlapAndSitOnTheSkyline) {
    std::mt19937 rng(42);
    for (int run = 0; run < 20; ++run) {
        SkylinePacker p;
        const int width = 64 + int(rng() % 512);
        p.reset(width);
        std::vector<Rect> placed;
        for (int i = 0; i < 300; ++i) {
            const int w = 1 + int(rng() % std::min(width, 90));
            const int h = 1 + int(rng() % 90);
            const std::vector<SkylineSegment> before = p.skyline();
            const SkylinePos dry = p.placeRect(w, h, true);
            const SkylinePos pos = p.placeRect(w, h, false);
            ASSERT_EQ(dry.x, pos.x);
            ASSERT_EQ(dry.y, pos.y);
            ASSERT_GE(pos.x, 0);
            ASSERT_LE(pos.x + w, width);
            const Rect r{pos.x, pos.y, w, h};
            for (const Rect& o : placed)
                ASSERT_FALSE(overlaps(r, o)) << "run " << run << " rect " << i;
            placed.push_back(r);
            expectCoversWidth(p);
            ASSERT_LE(skylineMax(before, pos.x, w), pos.y);
            ASSERT_EQ(skylineMax(p.skyline(), pos.x, w), pos.y + h);
        }
    }
}

TexFrame frameWithAlpha(int w, int h, const std::vector<std::pair<int, int>>& opaque) {
    TexFrame f;
    f.image.create(w, h, 4);
    for (auto [x, y] : opaque)
        f.image.data[(size_t(y) * size_t(w) + size_t(x)) * 4 + 3] = 200;
    return f;
}

TEST(TrimFrame, boxesOpaquePixelsKeepsWholeOrFallsBackToOnePixel) {
    struct Case {
        const char* what;
        std::vector<std::pair<int, int>> opaque;
        bool keepWhole;
        int l, b, r, t;
    } cases[] = {
        {"one pixel", {{3, 5}}, false, 3, 5, 3, 5},
        {"two corners", {{1, 2}, {6, 7}}, false, 1, 2, 6, 7},
        {"fully transparent", {}, false, 0, 0, 0, 0},
        {"keep whole", {{3, 5}}, true, 0, 0, 7, 8},
        {"edges", {{0, 0}, {7, 8}}, false, 0, 0, 7, 8},
    };
    for (const Case& c : cases) {
        TexFrame f = frameWithAlpha(8, 9, c.opaque);
        ASSERT_TRUE(trimFrame(f, c.keepWhole)) << c.what;
        EXPECT_EQ(f.trimLeft, c.l) << c.what;
        EXPECT_EQ(f.trimBottom, c.b) << c.what;
        EXPECT_EQ(f.trimRight, c.r) << c.what;
        EXPECT_EQ(f.trimTop, c.t) << c.what;
        EXPECT_EQ(f.trimWidth, c.r - c.l + 1) << c.what;
        EXPECT_EQ(f.trimHeight, c.t - c.b + 1) << c.what;
        EXPECT_EQ(f.srcWidth, 8);
        EXPECT_EQ(f.srcHeight, 9);
    }
}

TEST(TrimFrame, refusesFrameWithoutConsistentImage) {
    TexFrame empty;
    EXPECT_FALSE(trimFrame(empty, false));
    TexFrame broken = frameWithAlpha(4, 4, {{1, 1}});
    broken.image.data.resize(10);
    EXPECT_FALSE(trimFrame(broken, false));
}

TEST(TrimFrame, cropKeepsTrimBoxPixels) {
    TexFrame f = frameWithAlpha(8, 9, {{2, 3}, {5, 6}});
    f.image.data[(size_t(6) * 8 + 5) * 4 + 0] = 77;
    trimFrame(f, false);
    cropToTrim(f);
    ASSERT_TRUE(f.cropped);
    EXPECT_EQ(f.image.width, 4);
    EXPECT_EQ(f.image.height, 4);
    EXPECT_EQ(f.image.data[trimPixelOffset(f, 3, 3) + 0], 77);
    EXPECT_EQ(f.image.data[trimPixelOffset(f, 0, 0) + 3], 200);
    EXPECT_EQ(f.image.data[trimPixelOffset(f, 1, 0) + 3], 0);
}

TexFrame sizedFrame(int w, int h, const std::string& name) {
    TexFrame f;
    f.path = name;
    f.trimWidth = w;
    f.trimHeight = h;
    f.trimRight = w - 1;
    f.trimTop = h - 1;
    return f;
}

TEST(AtlasPacker, ordersWidestThenTallest) {
    std::vector<TexFrame> frames = {sizedFrame(5, 5, "a"), sizedFrame(9, 1, "b"), sizedFrame(5, 8, "c"),
                                    sizedFrame(1, 1, "d")};
    const std::vector<int> order = AtlasPacker::order(frames);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 0, 3}));
}

TEST(AtlasPacker, frames1022FillTwoPerRowAndSpillIntoSecondAtlas) {
    std::vector<TexFrame> frames;
    for (int i = 0; i < 5; ++i)
        frames.push_back(sizedFrame(1022, 1022, "f" + std::to_string(i)));
    const auto atlases = AtlasPacker::pack(frames, AtlasPacker::order(frames));
    ASSERT_EQ(atlases.size(), 2u);
    EXPECT_EQ(atlases[0].width, 2048);
    EXPECT_EQ(atlases[0].height, 2048);
    EXPECT_EQ(atlases[1].height, 1024);
    int inFirst = 0;
    for (const TexFrame& f : frames) {
        inFirst += f.atlasIndex == 0;
        EXPECT_EQ((f.atlasLeft - 1) % 1024, 0);
        EXPECT_EQ((f.atlasBottom - 1) % 1024, 0);
        EXPECT_EQ(f.atlasRight - f.atlasLeft, 1022);
    }
    EXPECT_EQ(inFirst, 4);
}

TEST(AtlasPacker, leavesOutOversizedFramesAndNeverMakesEmptyAtlas) {
    TraceCapture trace;
    std::vector<TexFrame> frames = {sizedFrame(2047, 10, "wide.png"), sizedFrame(10, 3000, "tall.png"),
                                    sizedFrame(2046, 2046, "max.png"), sizedFrame(3, 3, "small.png")};
    const auto atlases = AtlasPacker::pack(frames, AtlasPacker::order(frames));
    EXPECT_EQ(frames[0].atlasIndex, -1);
    EXPECT_EQ(frames[1].atlasIndex, -1);
    EXPECT_TRUE(trace.contains("wide.png"));
    EXPECT_TRUE(trace.contains("tall.png"));
    ASSERT_EQ(atlases.size(), 2u);
    EXPECT_EQ(frames[2].atlasIndex, 0);
    EXPECT_EQ(atlases[0].height, 2048);
    EXPECT_EQ(frames[3].atlasIndex, 1);

    std::vector<TexFrame> none = {sizedFrame(5000, 5000, "huge.png")};
    EXPECT_TRUE(AtlasPacker::pack(none, AtlasPacker::order(none)).empty());
    std::vector<TexFrame> empty;
    EXPECT_TRUE(AtlasPacker::pack(empty, {}).empty());
}

TEST(AtlasPacker, randomFramesLieInsideTheirAtlasWithDisjointMarginCells) {
    std::mt19937 rng(7);
    std::vector<TexFrame> frames;
    for (int i = 0; i < 600; ++i)
        frames.push_back(sizedFrame(1 + int(rng() % 400), 1 + int(rng() % 400), "r" + std::to_string(i)));
    const auto atlases = AtlasPacker::pack(frames, AtlasPacker::order(frames));
    ASSERT_GE(atlases.size(), 2u);
    std::vector<std::vector<Rect>> cells(atlases.size());
    for (const TexFrame& f : frames) {
        ASSERT_GE(f.atlasIndex, 0);
        const AtlasSize s = atlases[size_t(f.atlasIndex)];
        ASSERT_GE(f.atlasLeft, 1);
        ASSERT_GE(f.atlasBottom, 1);
        ASSERT_LE(f.atlasRight + 1, s.width);
        ASSERT_LE(f.atlasTop + 1, s.height);
        ASSERT_LE(s.height, 2048);
        const Rect cell{f.atlasLeft - 1, f.atlasBottom - 1, f.trimWidth + 2, f.trimHeight + 2};
        for (const Rect& o : cells[size_t(f.atlasIndex)])
            ASSERT_FALSE(overlaps(cell, o));
        cells[size_t(f.atlasIndex)].push_back(cell);
    }
    for (const auto& c : cells)
        EXPECT_FALSE(c.empty());
}

} // namespace

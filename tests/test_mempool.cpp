// Element pool: chunk order, free list, tags, iteration, release.

#include "geometry/BLI_mempool.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <set>

using kvo::BLI_mempool;
using testing_support::TraceCapture;

namespace {

uint32_t tagOf(const void* e) {
    uint32_t t;
    std::memcpy(&t, static_cast<const char*>(e) + sizeof(void*), sizeof t);
    return t;
}

std::vector<void*> iterate(const BLI_mempool& pool) {
    std::vector<void*> out;
    BLI_mempool::Iter it = pool.iternew();
    while (void* e = it.step())
        out.push_back(e);
    return out;
}

// Position of an element in chunk order: (chunk number, offset in the chunk).
std::pair<size_t, size_t> placeOf(const BLI_mempool& pool, const void* e) {
    const auto ranges = pool.chunkRanges();
    const char* c = static_cast<const char*>(e);
    for (size_t i = 0; i < ranges.size(); ++i)
        if (c >= ranges[i].first && c < ranges[i].second)
            return {i, size_t(c - ranges[i].first)};
    ADD_FAILURE() << "element outside every chunk";
    return {SIZE_MAX, 0};
}

} // namespace

TEST(Mempool, sizesElementsAndPreallocatesChunks) {
    struct Case {
        size_t esize, initial, perChunk, wantEsize, wantChunks;
    } cases[] = {
        {4, 0, 8, 16, 1},     // raised to 16 bytes
        {20, 0, 8, 24, 1},    // multiple of 8
        {40, 8, 8, 40, 2},    // initial / perChunk + 1
        {64, 1000, 256, 64, 4},
        {32, 5, 0, 32, 6},    // perChunk 0 counts as 1
    };
    for (const Case& c : cases) {
        BLI_mempool pool(c.esize, c.initial, c.perChunk, BLI_mempool::kAllowIter);
        EXPECT_EQ(pool.elementSize(), c.wantEsize) << c.esize;
        EXPECT_EQ(pool.chunkCount(), c.wantChunks) << c.initial << "/" << c.perChunk;
        EXPECT_EQ(pool.totalAllocated(), c.wantChunks * pool.perChunk());
        EXPECT_EQ(pool.freeListLength(), pool.perChunk()) << "reserved chunks are threaded when reached";
        EXPECT_EQ(pool.totalUsed(), 0u);
        EXPECT_EQ(pool.chunkSize(), pool.elementSize() * pool.perChunk());
    }
}

TEST(Mempool, allocatesInChunkOrderAndGrowsByWholeChunks) {
    BLI_mempool pool(32, 0, 4, BLI_mempool::kAllowIter);
    std::vector<void*> got;
    for (int i = 0; i < 10; ++i)
        got.push_back(pool.alloc());
    EXPECT_EQ(pool.chunkCount(), 3u);
    EXPECT_EQ(pool.totalAllocated(), 12u);
    EXPECT_EQ(pool.totalUsed(), 10u);
    EXPECT_EQ(pool.freeListLength(), 2u);
    for (size_t i = 1; i < got.size(); ++i)
        EXPECT_LT(placeOf(pool, got[i - 1]), placeOf(pool, got[i])) << i;
    EXPECT_EQ(iterate(pool), got);
}

TEST(Mempool, usesReservedChunksInOrderBeforeAllocatingMore) {
    BLI_mempool pool(32, 10, 4, BLI_mempool::kAllowIter); // 3 chunks in advance
    const auto ranges = pool.chunkRanges();
    ASSERT_EQ(ranges.size(), 3u);
    EXPECT_TRUE(iterate(pool).empty()) << "reserved chunks hold no element";
    std::vector<void*> got;
    for (int i = 0; i < 12; ++i) {
        got.push_back(pool.alloc());
        const char* c = static_cast<const char*>(got.back());
        EXPECT_TRUE(c >= ranges[size_t(i / 4)].first && c < ranges[size_t(i / 4)].second) << i;
        EXPECT_EQ(iterate(pool), got) << i;
    }
    EXPECT_EQ(pool.chunkCount(), 3u);
    pool.alloc();
    EXPECT_EQ(pool.chunkCount(), 4u);
    EXPECT_EQ(pool.totalAllocated(), 16u);
}

TEST(Mempool, tagsNewAndFreedElementsInIterablePoolsOnly) {
    BLI_mempool iter(24, 0, 8, BLI_mempool::kAllowIter);
    void* a = iter.alloc();
    void* b = iter.alloc();
    EXPECT_EQ(tagOf(a), BLI_mempool::kNewTag);
    iter.free(a);
    EXPECT_EQ(tagOf(a), BLI_mempool::kFreeTag);
    EXPECT_EQ(tagOf(b), BLI_mempool::kNewTag);

    BLI_mempool plain(24, 0, 8, 0);
    void* c = plain.alloc();
    std::memset(c, 0xAB, 24);
    plain.alloc(); // keeps the pool from being released
    plain.free(c);
    EXPECT_NE(tagOf(c), BLI_mempool::kFreeTag);
}

TEST(Mempool, callocZeroesTheWholeElement) {
    BLI_mempool pool(40, 0, 4, BLI_mempool::kAllowIter);
    void* e = pool.alloc();
    std::memset(e, 0xFF, 40);
    pool.alloc();
    pool.free(e);
    unsigned char* z = static_cast<unsigned char*>(pool.calloc());
    EXPECT_EQ(static_cast<void*>(z), e); // the freed slot comes back first
    EXPECT_TRUE(std::all_of(z, z + 40, [](unsigned char b) { return b == 0; }));
}

TEST(Mempool, freeingEverythingLeavesOneChunkWithACompleteFreeList) {
    for (unsigned flags : {unsigned(BLI_mempool::kAllowIter), 0u}) {
        BLI_mempool pool(48, 100, 16, flags);
        std::vector<void*> got;
        for (int i = 0; i < 200; ++i)
            got.push_back(pool.alloc());
        std::mt19937 rng(7);
        std::shuffle(got.begin(), got.end(), rng);
        for (void* e : got)
            pool.free(e);
        EXPECT_EQ(pool.totalUsed(), 0u);
        EXPECT_EQ(pool.chunkCount(), 1u);
        EXPECT_EQ(pool.totalAllocated(), 16u);
        EXPECT_EQ(pool.freeListLength(), 16u);
        // The free list covers exactly the elements of the remaining chunk.
        const auto range = pool.chunkRanges().at(0);
        std::set<const void*> seen;
        for (const void* e : pool.freeElements()) {
            EXPECT_GE(static_cast<const char*>(e), range.first);
            EXPECT_LT(static_cast<const char*>(e), range.second);
            seen.insert(e);
        }
        EXPECT_EQ(seen.size(), 16u);
        if (flags) {
            EXPECT_TRUE(iterate(pool).empty());
        }
        // The pool is usable again, from the start of its chunk.
        void* again = pool.alloc();
        EXPECT_EQ(static_cast<const char*>(again), range.first);
    }
}

TEST(Mempool, iteratorNeverYieldsAFreedElementUnderRandomUse) {
    BLI_mempool pool(32, 0, 8, BLI_mempool::kAllowIter);
    std::set<void*> live;
    std::mt19937 rng(12345);
    for (int step = 0; step < 5000; ++step) {
        if (live.empty() || rng() % 3 != 0) {
            void* e = pool.alloc();
            ASSERT_NE(e, nullptr);
            ASSERT_EQ(live.count(e), 0u) << "alloc returned a live element";
            std::memset(e, 0, sizeof(void*)); // owner writes its first word
            live.insert(e);
        } else {
            auto it = live.begin();
            std::advance(it, long(rng() % live.size()));
            pool.free(*it);
            live.erase(it);
        }
        if (step % 97 == 0) {
            const std::vector<void*> seen = iterate(pool);
            ASSERT_EQ(std::set<void*>(seen.begin(), seen.end()), live) << "step " << step;
            ASSERT_EQ(seen.size(), live.size());
            for (size_t i = 1; i < seen.size(); ++i)
                ASSERT_LT(placeOf(pool, seen[i - 1]), placeOf(pool, seen[i]));
        }
        ASSERT_EQ(pool.totalUsed(), live.size());
        ASSERT_EQ(pool.totalAllocated() - pool.totalUsed(), pool.freeListLength());
    }
}

TEST(Mempool, refusesIterationWithoutTheFlag) {
    BLI_mempool pool(32, 0, 8, 0);
    pool.alloc();
    TraceCapture cap;
    EXPECT_TRUE(iterate(pool).empty());
    EXPECT_TRUE(cap.contains("kvo::BLI_mempool_iternew: Error! you can't iterate over this mempool!\n"));
    EXPECT_TRUE(pool.range<char>().list().empty());
}

TEST(Mempool, ignoresNullAndSurplusFrees) {
    BLI_mempool pool(32, 0, 8, BLI_mempool::kAllowIter);
    pool.free(nullptr);
    EXPECT_EQ(pool.totalUsed(), 0u);
    void* e = pool.alloc();
    pool.free(e);
    pool.free(e); // nothing in use: ignored instead of corrupting the counts
    EXPECT_EQ(pool.totalUsed(), 0u);
    EXPECT_EQ(pool.freeListLength(), 8u);
}

TEST(Mempool, destroyEmptiesAndAllowsReuse) {
    BLI_mempool pool(32, 64, 8, BLI_mempool::kAllowIter);
    pool.alloc();
    pool.destroy();
    EXPECT_EQ(pool.chunkCount(), 0u);
    EXPECT_EQ(pool.totalAllocated(), 0u);
    EXPECT_EQ(pool.totalUsed(), 0u);
    EXPECT_TRUE(iterate(pool).empty());
    EXPECT_NE(pool.alloc(), nullptr);
    EXPECT_EQ(pool.chunkCount(), 1u);
}

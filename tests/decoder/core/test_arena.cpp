// The work arena: capacity, block limit, newest-first release and oversized requests.
#include <climits>

#include "core/arena.h"
#include "decoder_test.h"

namespace {

using vexo::g_arena;
using vexo::Mem_Alloc;
using vexo::Mem_Free;
using vexo_test::DecoderTest;

class ArenaTest : public DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        ASSERT_EQ(vexo::Mem_ResetArena(), 2457600);
    }
    static void ExpectInvariant() {
        int32_t sum = 0;
        for (int i = 0; i < g_arena.count; ++i) {
            EXPECT_EQ(g_arena.blocks[i].offset, sum);
            sum += g_arena.blocks[i].size;
        }
        EXPECT_EQ(g_arena.used, sum);
        EXPECT_EQ(g_arena.freeBytes, g_arena.capacity - g_arena.used);
    }
};

TEST_F(DecoderTest, ArenaRefusesEverythingBeforeItsFirstReset) {
    EXPECT_EQ(Mem_Alloc(4), nullptr);
    EXPECT_EQ(Mem_Free(nullptr), 0);
}

TEST_F(ArenaTest, BlockSizesRoundDownAndAddFour) {
    const std::pair<int32_t, int32_t> cases[] = {{1, 4}, {3, 4}, {4, 8}, {5, 8}, {8, 12}, {1023, 1024}};
    for (auto [n, size] : cases) {
        const int32_t before = g_arena.used;
        uint8_t *p = Mem_Alloc(n);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(g_arena.used - before, size) << "request " << n;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 4, 0u);
    }
    ExpectInvariant();
    EXPECT_EQ(reinterpret_cast<uintptr_t>(g_arena.base) % 16, 0u);
}

TEST_F(ArenaTest, CapacityIsExact) {
    uint8_t *all = Mem_Alloc(2457599);
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(g_arena.freeBytes, 0);
    EXPECT_EQ(Mem_Alloc(1), nullptr);
    EXPECT_EQ(Mem_Free(all), 1);
    EXPECT_EQ(Mem_Alloc(2457600), nullptr) << "takes 2,457,604 bytes";
    ExpectInvariant();
}

TEST_F(ArenaTest, RequestsThatWouldWrapFailAndChangeNothing) {
    uint8_t *first = Mem_Alloc(100);
    ASSERT_NE(first, nullptr);
    const int32_t used = g_arena.used, count = g_arena.count, freeBytes = g_arena.freeBytes;
    for (int32_t n : {INT32_MAX, INT32_MAX - 3, INT32_MAX - 4, 0x7FFFFFFC, 2457601, 0, -1, -5, INT32_MIN}) {
        EXPECT_EQ(Mem_Alloc(n), nullptr) << n;
        EXPECT_EQ(g_arena.used, used) << n;
        EXPECT_EQ(g_arena.count, count) << n;
        EXPECT_EQ(g_arena.freeBytes, freeBytes) << n;
    }
    uint8_t *second = Mem_Alloc(8);
    EXPECT_EQ(second, first + 104) << "the next block sits right above the first";
}

TEST_F(ArenaTest, AtMost256BlocksAreHeld) {
    std::vector<uint8_t *> blocks;
    for (int i = 0; i < 256; ++i) {
        blocks.push_back(Mem_Alloc(1));
        ASSERT_NE(blocks.back(), nullptr) << i;
    }
    EXPECT_EQ(Mem_Alloc(1), nullptr) << "the 257th live block";
    EXPECT_EQ(Mem_Free(blocks.back()), 1);
    blocks.pop_back();
    EXPECT_NE(Mem_Alloc(1), nullptr);
    ExpectInvariant();
}

TEST_F(ArenaTest, NewestFirstReleaseRestoresTheState) {
    uint8_t *a = Mem_Alloc(10);
    const int32_t usedAfterA = g_arena.used;
    uint8_t *b = Mem_Alloc(20);
    uint8_t *c = Mem_Alloc(30);
    EXPECT_EQ(Mem_Free(c), 1);
    EXPECT_EQ(Mem_Free(c), 0) << "twice";
    EXPECT_EQ(Mem_Free(b), 1);
    EXPECT_EQ(g_arena.used, usedAfterA);
    EXPECT_EQ(Mem_Alloc(20), b) << "the same place again";
    int dummy = 0;
    EXPECT_EQ(Mem_Free(&dummy), 0) << "a pointer no entry holds";
    EXPECT_EQ(Mem_Free(nullptr), 0);
    (void)a;
    ExpectInvariant();
}

TEST_F(ArenaTest, OutOfOrderReleaseNeverLetsALaterBlockOverlapAHeldOne) {
    uint8_t *a = Mem_Alloc(16);
    uint8_t *b = Mem_Alloc(16);
    uint8_t *c = Mem_Alloc(16);
    EXPECT_EQ(Mem_Free(b), 1);
    EXPECT_EQ(Mem_Free(b), 0);
    uint8_t *d = Mem_Alloc(16);
    ASSERT_NE(d, nullptr);
    EXPECT_GE(d, c + 16) << "c is still held";
    ExpectInvariant();
    EXPECT_EQ(Mem_Free(d), 1);
    EXPECT_EQ(Mem_Free(c), 1);
    // c was the top; b below it was already free, so both are gone now.
    EXPECT_EQ(g_arena.count, 1);
    EXPECT_EQ(Mem_Alloc(16), b);
    (void)a;
    ExpectInvariant();
}

TEST_F(ArenaTest, FreeListReleasesNewestFirstAndSkipsNulls) {
    void *ptrs[4] = {Mem_Alloc(4), Mem_Alloc(4), nullptr, nullptr};
    EXPECT_EQ(vexo::Mem_AllNonNull(ptrs, 4), 0);
    EXPECT_EQ(vexo::Mem_AllNonNull(ptrs, 2), 1);
    EXPECT_EQ(vexo::Mem_AllNonNull(ptrs, 0), 1);
    EXPECT_EQ(vexo::Mem_FreeList(ptrs, 4), 1) << "the answer for the first entry";
    EXPECT_EQ(g_arena.count, 0);
    EXPECT_EQ(g_arena.used, 0);
    EXPECT_EQ(vexo::Mem_FreeList(ptrs, 0), 0);
}

TEST_F(ArenaTest, TrimAndStats) {
    EXPECT_EQ(vexo::Mem_TrimFreeBlocks(), 0);
    Mem_Alloc(40);
    vexo::ARENA_STATS stats{};
    EXPECT_EQ(vexo::Mem_GetStats(&stats), 0);
    EXPECT_EQ(stats.base, g_arena.base);
    EXPECT_EQ(stats.used, 44);
    EXPECT_EQ(stats.freeBytes, 2457600 - 44);
    EXPECT_EQ(stats.capacity, 2457600);
}

}  // namespace

// Han Xin line stage: run patterns on synthetic edge lists (forms, widths, polarity, rows and
// columns), edge merging, the hit ring's laps and the polarity mode.
#include <gtest/gtest.h>

#include <vector>

#include "hanxin/cscn_line_hits.h"

namespace {

using namespace vexo;

// Edges at the boundaries of runs of the given widths (pixels) from `start`, the first edge
// falling when dark comes first; steps of 100.
std::vector<EDGE_ITEM> RunEdges(int start, std::initializer_list<int> runs, bool darkFirst) {
    std::vector<EDGE_ITEM> e;
    int x = start;
    bool falling = darkFirst;
    e.push_back({static_cast<i16>(16 * x), static_cast<u16>((falling ? 0x8000 : 0) | 100)});
    for (int w : runs) {
        x += w;
        falling = !falling;
        e.push_back({static_cast<i16>(16 * x), static_cast<u16>((falling ? 0x8000 : 0) | 100)});
    }
    return e;
}

struct MatchCase {
    const char *name;
    std::vector<EDGE_ITEM> edges;
    int isRow;
    int hits;
    int x, y, width, form, polarity;
};

TEST(HanXinLineHits, RunMatcherTable) {
    const MatchCase cases[] = {
        {"1:1:1:1:3 at 4 px", RunEdges(100, {4, 4, 4, 4, 12}, true), 1, 1, 122, 40, 28, 1, 1},
        {"3:1:1:1:1 at 4 px", RunEdges(100, {12, 4, 4, 4, 4}, true), 1, 1, 106, 40, 28, 2, 1},
        {"QR 1:1:3:1:1", RunEdges(100, {4, 4, 12, 4, 4}, true), 1, 0, 0, 0, 0, 0, 0},
        {"12 px modules", RunEdges(20, {12, 12, 12, 12, 36}, true), 1, 1, 86, 40, 84, 1, 1},
        {"light modules", RunEdges(100, {4, 4, 4, 4, 12}, false), 1, 1, 122, 40, 28, 1, 2},
        {"on a column", RunEdges(50, {12, 4, 4, 4, 4}, true), 0, 1, 40, 56, 28, 2, 1},
        // Pair widths 8 against 4 + w: a hit for 11.2 < 4 + w < 20.8.
        {"wide pair 11 of 8", RunEdges(100, {4, 4, 4, 4, 7}, true), 1, 0, 0, 0, 0, 0, 0},
        {"wide pair 12 of 8", RunEdges(100, {4, 4, 4, 4, 8}, true), 1, 1, 120, 40, 24, 1, 1},
        {"wide pair 20 of 8", RunEdges(100, {4, 4, 4, 4, 16}, true), 1, 1, 124, 40, 32, 1, 1},
        {"wide pair 21 of 8", RunEdges(100, {4, 4, 4, 4, 17}, true), 1, 0, 0, 0, 0, 0, 0},
    };
    for (const MatchCase &c : cases) {
        CSCN_HIT_RING ring{};
        CSCN_ResetHitRing(&ring);
        EXPECT_EQ(CSCN_MatchRuns(c.edges.data(), static_cast<i32>(c.edges.size()), 40, c.isRow, &ring), c.hits)
            << c.name;
        if (c.hits == 0) {
            EXPECT_EQ(CSCN_RingEmpty(&ring), 1) << c.name;
            continue;
        }
        CSCN_LINE_HIT h{};
        ASSERT_EQ(CSCN_RingPop(&ring, &h), 1);
        EXPECT_EQ((std::vector<int>{h.x, h.y, h.width, h.form, h.polarity}),
                  (std::vector<int>{c.x, c.y, c.width, c.form, c.polarity}))
            << c.name;
        EXPECT_EQ(h.reach, 40 + h.width + (h.width >> 1));
    }
}

TEST(HanXinLineHits, MergeKeepsTheStrongestOfARun) {
    std::vector<EDGE_ITEM> e = {{16, 0x8000 | 20}, {32, 0x8000 | 50}, {48, 0x8000 | 50}, {64, 30},
                                {80, 10},          {96, 0x8000 | 5},  {112, 40},         {128, 0x8000 | 9},
                                {144, 12}};
    std::vector<EDGE_ITEM> out(e.size());
    ASSERT_EQ(CSCN_MergeEdges(e.data(), static_cast<i32>(e.size()), out.data()), 6);
    // Equal steps: the later edge replaces the kept one.
    EXPECT_EQ(out[0].position, 48);
    EXPECT_EQ(out[1].position, 64);
    EXPECT_EQ(out[2].position, 96);
    EXPECT_EQ(out[5].position, 144);
    // Fewer than six after merging: nothing.
    e.resize(7);
    EXPECT_EQ(CSCN_MergeEdges(e.data(), 7, out.data()), 0);
    // A line of more than 512 edges is cut to its first 512.
    std::vector<EDGE_ITEM> many(600);
    for (int i = 0; i < 600; ++i) many[i] = {static_cast<i16>(16 * i), static_cast<u16>((i % 2 ? 0x8000 : 0) | 50)};
    std::vector<EDGE_ITEM> merged(kCscnLineEdges);
    EXPECT_EQ(CSCN_MergeEdges(many.data(), 600, merged.data()), kCscnLineEdges);
}

TEST(HanXinLineHits, RingLapsAndAFullRingStopsTheMatcher) {
    CSCN_HIT_RING ring{};
    CSCN_ResetHitRing(&ring);
    // Many patterns on one line: 400 hits fill the ring, the rest are not written.
    std::vector<EDGE_ITEM> line;
    for (int p = 0; p < 450; ++p) {
        const int base = 40 * p;
        for (int k : {0, 4, 8, 12, 16, 28}) line.push_back({static_cast<i16>(base + k), static_cast<u16>(((k / 4) % 2 == 0 ? 0x8000 : 0) | 90)});
    }
    // Positions in 1/16 pixel: one pattern every 40/16 pixel is only a count test.
    const i32 written = CSCN_MatchRuns(line.data(), static_cast<i32>(line.size()), 7, 1, &ring);
    EXPECT_EQ(written, kCscnHitRingSize);
    CSCN_LINE_HIT h{};
    EXPECT_EQ(CSCN_RingPush(&ring, &h), 0);
    int drained = 0;
    while (CSCN_RingPop(&ring, &h) == 1) ++drained;
    EXPECT_EQ(drained, kCscnHitRingSize);
    EXPECT_EQ(CSCN_RingEmpty(&ring), 1);
    // After a full lap the ring works as new.
    h.x = 5;
    EXPECT_EQ(CSCN_RingPush(&ring, &h), 1);
    EXPECT_EQ(CSCN_RingEmpty(&ring), 0);
    CSCN_LINE_HIT g{};
    EXPECT_EQ(CSCN_RingPop(&ring, &g), 1);
    EXPECT_EQ(g.x, 5);
}

TEST(HanXinLineHits, PolarityModeAndGates) {
    struct Case {
        u32 word;
        i32 previous, mode;
        u8 normal, inverse;
    };
    const Case cases[] = {{0x20, 1, 0, 1, 0}, {0x40, 0, 1, 0, 1}, {0x60, 0, 2, 1, 1}, {0x400000, 1, 1, 0, 1},
                          {0, 0, 0, 1, 0},    {0, 2, 2, 1, 1},    {0, 7, 7, 0, 0}};
    for (const Case &c : cases) {
        const i32 mode = CSCN_PolarityMode(c.word, c.previous);
        EXPECT_EQ(mode, c.mode) << c.word;
        u8 n = 9, i = 9;
        CSCN_PolarityGates(mode, &n, &i);
        EXPECT_EQ(n * 10 + i, c.normal * 10 + c.inverse) << c.word;
    }
}

}  // namespace

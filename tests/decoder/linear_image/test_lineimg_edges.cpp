// Edge lists of a scan-line pair: centroid edges, matching the two lines, pairing,
// alternation, trimming, merging, weak runs and the widths and edges handed to the table.
#include <gtest/gtest.h>

#include <vector>

#include "linear/line_edge_input.h"
#include "linear_image/lineimg_edges.h"

namespace {

using namespace vexo;

struct Lists {
    std::vector<i32> risePos, riseStep, fallPos, fallStep;
};

// n bars of equal strength: bar k from 160 k + 16 to 160 k + 80, steps `step`.
Lists Bars(int n, int step) {
    Lists l;
    for (int k = 0; k < n; ++k) {
        l.fallPos.push_back(160 * k + 16);
        l.fallStep.push_back(step);
        l.risePos.push_back(160 * k + 80);
        l.riseStep.push_back(step);
    }
    return l;
}

TEST(LineImgEdges, CentroidEdgesOfMonotonicRuns) {
    struct Case {
        std::vector<u8> samples;
        i32 minStep;
        std::vector<i32> rising;  // position, step pairs
        std::vector<i32> falling;
    };
    const Case cases[] = {
        // 16 x (0 x 100 + 1 x 400 + 2 x 1) / 501 + 8 = 20.
        {{10, 20, 40, 41}, 10, {20, 31}, {}},
        {{10, 20, 40, 41}, 32, {}, {}},
        // 16 x (0 x 1 + 1 x 400 + 2 x 100) / 501 + 8 = 27.
        {{41, 40, 20, 10}, 31, {}, {27, 31}},
        // A flat top splits the runs; a run of one step sits halfway between its samples.
        {{0, 100, 100, 0, 0, 50}, 10, {8, 100, 72, 50}, {40, 100}},
        {{7, 7, 7}, 1, {}, {}},
    };
    for (const Case &c : cases) {
        i32 pos[8] = {}, step[8] = {};
        const int n = static_cast<int>(c.samples.size());
        std::vector<i32> got;
        for (int k = LineImg_RisingEdges(c.samples.data(), n, pos, step, c.minStep, 8), i = 0; i < k; ++i) {
            got.push_back(pos[i]);
            got.push_back(step[i]);
        }
        EXPECT_EQ(got, c.rising);
        got.clear();
        for (int k = LineImg_FallingEdges(c.samples.data(), n, pos, step, c.minStep, 8), i = 0; i < k; ++i) {
            got.push_back(pos[i]);
            got.push_back(step[i]);
        }
        EXPECT_EQ(got, c.falling);
    }
    // The capacity bounds the list.
    const u8 saw[] = {0, 90, 0, 90, 0, 90, 0, 90};
    i32 pos[2] = {}, step[2] = {};
    EXPECT_EQ(LineImg_RisingEdges(saw, 8, pos, step, 10, 2), 2);
}

TEST(LineImgEdges, MatchLinesBoundsItsCountsAndItsSearch) {
    auto edges = [](int n, int start, int spacing) {
        std::vector<i32> v;
        for (int k = 0; k < n; ++k) v.push_back(start + k * spacing);
        return v;
    };
    struct Case {
        const char *what;
        std::vector<i32> a, b;
        int answer;
        int matched;
    };
    const Case cases[] = {
        {"4 falling edges", edges(4, 100, 80), edges(4, 100, 80), 0, 0},
        {"5 falling edges", edges(5, 100, 80), edges(5, 104, 80), 1, 5},
        {"126 falling edges", edges(126, 100, 80), edges(126, 110, 80), 1, 126},
        {"127 falling edges", edges(127, 100, 80), edges(127, 100, 80), 0, 0},
        {"spacings that never agree", edges(20, 100, 80), edges(20, 170, 110), 1, 0},
        // Interleaved lines never 69 or closer: every step moves one line on, 238 in all.
        {"a search of more than 200 steps", edges(120, 100, 200), edges(120, 200, 200), 0, 0},
        // An extra edge on line B at the start: the agreeing run is found behind it.
        {"an extra edge on line B", edges(10, 100, 80), [] {
             std::vector<i32> v{20};
             for (int k = 0; k < 10; ++k) v.push_back(100 + 80 * k);
             return v;
         }(), 1, 10},
    };
    for (const Case &c : cases) {
        std::vector<i32> out(kLineImgMatchCap, -1);
        i32 matched = -1;
        EXPECT_EQ(LineImg_MatchLines(c.a.data(), static_cast<i32>(c.a.size()), c.b.data(), static_cast<i32>(c.b.size()),
                                     out.data(), &matched),
                  c.answer)
            << c.what;
        EXPECT_EQ(matched, c.matched) << c.what;
    }
}

TEST(LineImgEdges, IntersectionPairsEdgesWithin32) {
    std::vector<i32> posA{100, 200, 300, 420, 440}, stepA{1, 2, 3, 4, 5};
    std::vector<i32> posB{110, 240, 332, 445}, stepB{6, 7, 8, 9};
    // 200-240 is too far; 300-332 is at the limit; 440 lies nearer 445 than 420 does.
    ASSERT_EQ(LineImg_IntersectEdges(posA.data(), stepA.data(), 5, posB.data(), stepB.data(), 4), 3);
    EXPECT_EQ(std::vector<i32>(posA.begin(), posA.begin() + 3), (std::vector<i32>{100, 300, 440}));
    EXPECT_EQ(std::vector<i32>(stepA.begin(), stepA.begin() + 3), (std::vector<i32>{1, 3, 5}));
    EXPECT_EQ(std::vector<i32>(posB.begin(), posB.begin() + 3), (std::vector<i32>{110, 332, 445}));
    EXPECT_EQ(std::vector<i32>(stepB.begin(), stepB.begin() + 3), (std::vector<i32>{6, 8, 9}));
}

TEST(LineImgEdges, AlternationNeedsEightBarsAndKeepsTheStrongest) {
    Lists seven = Bars(7, 100);
    EXPECT_EQ(LineImg_AlternateEdges(seven.risePos.data(), seven.riseStep.data(), 7, seven.fallPos.data(),
                                     seven.fallStep.data(), 7),
              0);
    Lists l = Bars(8, 100);
    // A rising edge before the first bar, a weaker second rise in bar 2, a second fall in
    // the space before bar 5 that is stronger than bar 5's own.
    l.risePos.insert(l.risePos.begin(), 4);
    l.riseStep.insert(l.riseStep.begin(), 50);
    l.risePos.insert(l.risePos.begin() + 3, 2 * 160 + 60);
    l.riseStep.insert(l.riseStep.begin() + 3, 20);
    l.fallPos.insert(l.fallPos.begin() + 5, 5 * 160 + 8);
    l.fallStep.insert(l.fallStep.begin() + 5, 150);
    const int n = LineImg_AlternateEdges(l.risePos.data(), l.riseStep.data(), static_cast<i32>(l.risePos.size()),
                                         l.fallPos.data(), l.fallStep.data(), static_cast<i32>(l.fallPos.size()));
    ASSERT_EQ(n, 8);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(l.fallPos[k], k == 5 ? 5 * 160 + 8 : 160 * k + 16) << k;
        EXPECT_EQ(l.risePos[k], 160 * k + 80) << k;
    }
}

TEST(LineImgEdges, TrimWeakEndsThresholds) {
    struct Case {
        const char *what;
        i32 largest;    // step of the strong edges
        i32 endStep;    // step of the first fall and the last rise
        int answer;
        i32 first, last;
    };
    const Case cases[] = {
        {"largest step 16", 16, 16, 0, 0, 0},
        {"largest step 17", 17, 17, 1, 0, 9},
        {"threshold 30 from 124", 124, 31, 1, 0, 9},
        {"threshold 30 above 124", 200, 31, 1, 0, 9},
        {"threshold largest / 4 below 124", 123, 30, 1, 1, 8},
        {"end edges at the threshold", 200, 30, 1, 1, 8},
    };
    for (const Case &c : cases) {
        Lists l = Bars(10, c.largest);
        l.fallStep[0] = c.endStep;
        l.riseStep[9] = c.endStep;
        i32 first = -1, last = -1;
        EXPECT_EQ(LineImg_TrimWeakEnds(l.risePos.data(), l.riseStep.data(), l.fallPos.data(), l.fallStep.data(), 10,
                                       &first, &last),
                  c.answer)
            << c.what;
        if (c.answer == 1) {
            EXPECT_EQ(first, c.first) << c.what;
            EXPECT_EQ(last, c.last) << c.what;
        }
    }
}

TEST(LineImgEdges, MergeWeakElementsJoinsSpuriousSpacesAndDropsSpuriousBars) {
    Lists l = Bars(10, 100);
    // A faint gap inside bar 3 (rise 3 and fall 4 weak): bars 3 and 4 become one.
    l.riseStep[3] = 5;
    l.fallStep[4] = 5;
    // A faint bar 7 (both its edges weak): it goes, its spaces merge.
    l.fallStep[7] = 5;
    l.riseStep[7] = 5;
    const int n = LineImg_MergeWeakElements(l.risePos.data(), l.riseStep.data(), l.fallPos.data(), l.fallStep.data(),
                                            0, 9);
    ASSERT_EQ(n, 8);
    const i32 starts[] = {0, 1, 2, 3, 5, 6, 8, 9};
    const i32 ends[] = {0, 1, 2, 4, 5, 6, 8, 9};
    for (int k = 0; k < n; ++k) {
        EXPECT_EQ(l.fallPos[k], 160 * starts[k] + 16) << k;
        EXPECT_EQ(l.risePos[k], 160 * ends[k] + 80) << k;
    }
}

TEST(LineImgEdges, RunsOfMoreThanFiveWeakBarsGo) {
    for (int weak : {5, 6}) {
        Lists l = Bars(12, 100);
        for (int k = 3; k < 3 + weak; ++k) l.fallStep[k] = l.riseStep[k] = 14;  // 28 < 30
        const int n = LineImg_DropWeakRuns(l.risePos.data(), l.riseStep.data(), l.fallPos.data(), l.fallStep.data(), 12);
        EXPECT_EQ(n, weak == 5 ? 12 : 6) << weak;
        if (weak == 6) {
            EXPECT_EQ(l.fallPos[3], 160 * 9 + 16);
        }
    }
    // A weak run at the end stays when short.
    Lists l = Bars(10, 100);
    for (int k = 7; k < 10; ++k) l.fallStep[k] = l.riseStep[k] = 10;
    EXPECT_EQ(LineImg_DropWeakRuns(l.risePos.data(), l.riseStep.data(), l.fallPos.data(), l.fallStep.data(), 10), 10);
}

TEST(LineImgEdges, WidthsAndEdgeInput) {
    u16 edges[600] = {}, widths[600] = {};
    LINEIMG_LINE_RECORD rec{};
    rec.edges = edges;
    rec.widths = widths;
    rec.room = 600;
    // One bar: two edges, one width.
    const i32 s1[] = {16}, e1[] = {48};
    EXPECT_EQ(LineImg_WriteWidths(s1, e1, 1, &rec), 1);
    EXPECT_EQ(rec.widthCount, 1);
    EXPECT_EQ(widths[0], 32);
    EXPECT_EQ(LineImg_WriteEdgeInput(s1, e1, 1), 2);
    EXPECT_EQ(g_lineEdgeInput.edgeCount, 2);
    EXPECT_EQ(g_lineEdgeInput.widthCount, 1);
    EXPECT_EQ(g_lineEdgeInput.edges[0], 16);
    EXPECT_EQ(g_lineEdgeInput.edges[1], 48);
    // Widths bar, space, bar; a bar or space without width is refused.
    const i32 s2[] = {16, 100}, e2[] = {48, 150};
    EXPECT_EQ(LineImg_WriteWidths(s2, e2, 2, &rec), 3);
    EXPECT_EQ(std::vector<u16>(widths, widths + 3), (std::vector<u16>{32, 52, 50}));
    EXPECT_EQ(g_lineEdgeInput.widthCount, 3);
    EXPECT_EQ(g_lineEdgeInput.widths[1], 52);
    const i32 s3[] = {16, 48}, e3[] = {48, 150};
    EXPECT_EQ(LineImg_WriteWidths(s3, e3, 2, &rec), 0);
    EXPECT_EQ(LineImg_WriteEdgeInput(s3, e3, 2), 0);
    const i32 s4[] = {16}, e4[] = {16};
    EXPECT_EQ(LineImg_WriteWidths(s4, e4, 1, &rec), 0);
    // No edge input exceeds 252 edges.
    Lists l = Bars(127, 100);
    EXPECT_EQ(LineImg_WriteEdgeInput(l.fallPos.data(), l.risePos.data(), 126), 252);
    EXPECT_EQ(LineImg_WriteWidths(l.fallPos.data(), l.risePos.data(), 126, &rec), 251);
    EXPECT_EQ(LineImg_WriteEdgeInput(l.fallPos.data(), l.risePos.data(), 127), 0);
    EXPECT_EQ(LineImg_WriteWidths(l.fallPos.data(), l.risePos.data(), 127, &rec), 0);
    // A record with less room than the bars need.
    rec.room = 3;
    EXPECT_EQ(LineImg_WriteWidths(s2, e2, 2, &rec), 0);
}

}  // namespace

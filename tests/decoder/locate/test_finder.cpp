// The 2D finder framework: lines handed to a recording table, pass gating, finishers,
// arbitration, edge thresholds and the test for regions crossed by bars.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/params.h"
#include "locate/finder.h"
#include "locate/finder_services.h"
#include "test_finder_fake.h"
#include "test_finder_support.h"

namespace {

using finder_test::Box;
using finder_test::Call;
using finder_test::g_recorder;
using finder_test::Grey;
using finder_test::kFakeTable;
using vexo::g_finderState;

class FinderRunTest : public finder_test::FinderTest {
protected:
    void SetUp() override {
        FinderTest::SetUp();
        g_recorder = finder_test::Recorder{};
    }
    int Run(vexo::REGION_QUAD *region, vexo::REGION_QUAD *unaligned = nullptr) {
        vexo::Loc_ResetFinderTable(kFakeTable, 4, region, unaligned);
        return vexo::Loc_RunFinderTable(kFakeTable, 4, region);
    }
    // A frame with texture but no bars: a few blocks, so that lines have edges.
    Grey Textured() {
        Grey g(200, 200, 190);
        g.Fill(50, 90, 60, 130, 40);
        g.Fill(30, 105, 90, 107, 60);
        return g;
    }
};

TEST_F(FinderRunTest, EveryFourthRowThenEveryFourthColumnReachesEverySlot) {
    Grey g = Textured();
    Install(g);
    vexo::REGION_QUAD region = Box(40, 100, 80, 112);
    vexo::REGION_QUAD unaligned = Box(41, 99, 81, 113);
    EXPECT_EQ(Run(&region, &unaligned), 0);

    const std::vector<int> rows = {100, 104, 108};
    const std::vector<int> cols = {40, 44, 48, 52, 56, 60, 64, 68, 72, 76};
    for (int e = 0; e < 3; ++e) {
        SCOPED_TRACE(e);
        EXPECT_EQ(g_recorder.Positions(e, 'r'), rows);
        EXPECT_EQ(g_recorder.Positions(e, 'c'), cols);
        EXPECT_EQ(g_recorder.Count(e, 'Z'), 1);
        EXPECT_EQ(g_recorder.Count(e, 'R'), 1);
        EXPECT_EQ(g_recorder.Count(e, 'C'), 1);
    }
    // Resets first, in table order, with both pointers as given.
    for (int e = 0; e < 3; ++e) {
        EXPECT_EQ(g_recorder.calls[e].kind, 'Z');
        EXPECT_EQ(g_recorder.calls[e].entry, e);
        EXPECT_EQ(g_recorder.calls[e].region, &region);
        EXPECT_EQ(g_recorder.calls[e].unaligned, &unaligned);
    }
    // Per line, entries in table order; rows, row finishers, columns, column finishers.
    std::string kinds;
    for (const Call &c : g_recorder.calls) kinds += c.kind;
    EXPECT_EQ(kinds, "ZZZ" "rrrrrrrrr" "RRR" + std::string(30, 'c') + "CCC");

    for (const Call &c : g_recorder.calls) {
        if (c.kind == 'r') {
            EXPECT_EQ(c.direction, 1);
            EXPECT_EQ(c.sampleCount, 40);
            EXPECT_EQ(c.base, 40 * 16);
            EXPECT_EQ(c.limit, 199);
            EXPECT_EQ(c.samples, g.pixels.data() + c.linePosition * 200 + 40);
            EXPECT_EQ(c.region, &region);
        } else if (c.kind == 'c') {
            EXPECT_EQ(c.direction, 0);
            EXPECT_EQ(c.sampleCount, 12);
            EXPECT_EQ(c.base, 100 * 16);
            EXPECT_EQ(c.limit, c.linePosition);
            EXPECT_EQ(c.samples, g.pixels.data() + 100 * 200 + c.linePosition);
        }
    }
}

TEST_F(FinderRunTest, FirstLineOfAPassGetsAnEmptyPreviousRecordThenTheRecordsAlternate) {
    Grey g = Textured();
    Install(g);
    vexo::REGION_QUAD region = Box(40, 100, 80, 112);
    Run(&region);
    for (char kind : {'r', 'c'}) {
        SCOPED_TRACE(kind);
        std::vector<Call> lines;
        for (const Call &c : g_recorder.calls)
            if (c.entry == 0 && c.kind == kind) lines.push_back(c);
        ASSERT_GE(lines.size(), 3u);
        ASSERT_NE(lines[0].previous, nullptr);
        EXPECT_EQ(lines[0].previousSamples, nullptr);
        EXPECT_EQ(lines[0].previousEdgeCount, 0);
        EXPECT_EQ(lines[0].previousSampleCount, 0);
        EXPECT_EQ(lines[0].previousDirectionCounts, 0);
        for (size_t k = 1; k < lines.size(); ++k) {
            EXPECT_EQ(lines[k].previous, lines[k - 1].current);
            EXPECT_EQ(lines[k].previousLinePosition, lines[k - 1].linePosition);
            EXPECT_EQ(lines[k].previousEdgeCount, lines[k - 1].edgeCount);
            EXPECT_NE(lines[k].current, lines[k - 1].current);
            EXPECT_NE(lines[k].edges, lines[k - 1].edges);
        }
        EXPECT_EQ(lines[2].current, lines[0].current);
        // The records keep their edges in the framework's storage, first record first.
        EXPECT_EQ(lines[0].edges, g_finderState.edges[0]);
        EXPECT_EQ(lines[1].edges, g_finderState.edges[1]);
        EXPECT_EQ(lines[0].capacity, vexo::kFinderLineEdges);
        EXPECT_EQ(lines[0].ratio, 102);
        EXPECT_EQ(lines[0].minStep, 6);
    }
    // The row through the dark block at x 50..59 has its two edges.
    const auto row = std::find_if(g_recorder.calls.begin(), g_recorder.calls.end(),
                                  [](const Call &c) { return c.kind == 'r' && c.linePosition == 100; });
    ASSERT_NE(row, g_recorder.calls.end());
    EXPECT_EQ(row->edgeCount, 2);
}

TEST_F(FinderRunTest, WantsSlotsGateLinesAndFinishersOfTheirPass) {
    struct Case {
        int wantsRows[3];
        int wantsColumns[3];
    } const cases[] = {
        {{1, 0, 1}, {0, 1, 1}},
        {{0, 0, 0}, {1, 0, 0}},
        {{0, 1, 0}, {0, 0, 0}},
        {{2, 1, -1}, {1, 3, 0}},  // only 1 takes part
    };
    Grey g = Textured();
    Install(g);
    for (const Case &c : cases) {
        g_recorder = finder_test::Recorder{};
        std::copy(std::begin(c.wantsRows), std::end(c.wantsRows), g_recorder.wantsRows);
        std::copy(std::begin(c.wantsColumns), std::end(c.wantsColumns), g_recorder.wantsColumns);
        vexo::REGION_QUAD region = Box(40, 100, 80, 112);
        Run(&region);
        for (int e = 0; e < 3; ++e) {
            SCOPED_TRACE(testing::Message() << "case wantsRows " << c.wantsRows[0] << c.wantsRows[1] << c.wantsRows[2]
                                            << " entry " << e);
            const bool rows = c.wantsRows[e] == 1, columns = c.wantsColumns[e] == 1;
            EXPECT_EQ(g_recorder.Count(e, 'r'), rows ? 3 : 0);
            EXPECT_EQ(g_recorder.Count(e, 'R'), rows ? 1 : 0);
            EXPECT_EQ(g_recorder.Count(e, 'c'), columns ? 10 : 0);
            EXPECT_EQ(g_recorder.Count(e, 'C'), columns ? 1 : 0);
        }
    }
}

TEST_F(FinderRunTest, FinishersRunWhenNoLineIsScanned) {
    Grey g = Textured();
    Install(g);
    vexo::REGION_QUAD flat = Box(80, 112, 40, 100);  // TL.y >= BR.y and TL.x >= TR.x
    EXPECT_EQ(Run(&flat), 0);
    for (int e = 0; e < 3; ++e) {
        EXPECT_EQ(g_recorder.Count(e, 'r') + g_recorder.Count(e, 'c'), 0);
        EXPECT_EQ(g_recorder.Count(e, 'R'), 1);
        EXPECT_EQ(g_recorder.Count(e, 'C'), 1);
    }
}

TEST_F(FinderRunTest, WithoutTheQrQueueEachPassEndsAfterBuildingItsFirstLine) {
    Grey g = Textured();
    Install(g);
    g_recorder.setQueue = false;
    vexo::REGION_QUAD region = Box(40, 100, 80, 112);
    EXPECT_EQ(Run(&region), 0);
    for (int e = 0; e < 3; ++e) {
        EXPECT_EQ(g_recorder.Count(e, 'r') + g_recorder.Count(e, 'c'), 0);
        EXPECT_EQ(g_recorder.Count(e, 'R'), 1);
        EXPECT_EQ(g_recorder.Count(e, 'C'), 1);
    }
    // The first column (x 40, rows 100..111) crosses the bar at rows 105, 106: its two edges
    // were built into the first record; the second record was never filled.
    EXPECT_NE(g_finderState.edges[0][0].flags, 0);
    EXPECT_NE(g_finderState.edges[0][1].flags, 0);
    for (const vexo::EDGE_ITEM &item : g_finderState.edges[1]) ASSERT_EQ(item.flags, 0);
}

TEST_F(FinderRunTest, RegionsOutsideTheFrameAreCutToIt) {
    Grey g = Textured();
    Install(g);
    vexo::REGION_QUAD region = Box(-6, -6, 230, 210);
    Run(&region);
    const std::vector<int> rows = g_recorder.Positions(0, 'r');
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), 2);  // -6, -2 lie above the frame
    EXPECT_EQ(rows.back(), 198);
    const std::vector<int> cols = g_recorder.Positions(0, 'c');
    EXPECT_EQ(cols.front(), 2);
    EXPECT_EQ(cols.back(), 198);
    for (const Call &c : g_recorder.calls) {
        if (c.kind == 'r') {
            ASSERT_EQ(c.sampleCount, 200);
            ASSERT_EQ(c.base, 0);
        }
        if (c.kind == 'c') {
            ASSERT_EQ(c.sampleCount, 200);
        }
    }
    // Coordinates at the ends of the 32-bit range.
    g_recorder = finder_test::Recorder{};
    const int32_t lo = INT32_MIN, hi = INT32_MAX;
    vexo::REGION_QUAD huge = Box(lo, lo, hi, hi);
    Run(&huge);
    EXPECT_EQ(g_recorder.Positions(0, 'r').front(), 0);
    EXPECT_EQ(g_recorder.Positions(0, 'r').back(), 196);
    vexo::u32 step = 0;
    vexo::Loc_QuadMidlineThresholds(&huge, &step);
    EXPECT_EQ(vexo::Loc_RegionDropRatio(&huge), 102);
}

TEST_F(FinderRunTest, TheLowestRaisedFinderIsLockedFromTheNextLineOn) {
    Grey g = Textured();
    Install(g);
    g_recorder.raiseId[1] = 6;
    g_recorder.raiseAt[1] = 104;
    g_recorder.raiseId[2] = 4;
    g_recorder.raiseAt[2] = 104;
    vexo::REGION_QUAD region = Box(40, 100, 80, 112);
    Run(&region);
    for (const Call &c : g_recorder.calls) {
        if (c.kind != 'r' && c.kind != 'c') continue;
        SCOPED_TRACE(testing::Message() << c.kind << " " << c.linePosition);
        const bool locked = c.kind == 'c' || c.linePosition > 104;
        EXPECT_EQ(c.lockFlag, locked ? 1 : 0);
        EXPECT_EQ(c.lockedId, locked ? 4 : 0x7fff);
    }
    EXPECT_EQ(vexo::Loc_GetWinningFinder(), 4);
    EXPECT_EQ(vexo::Loc_OtherFinderSucceeded(4), 1);
    // The next region starts unlocked.
    vexo::Loc_ResetFinderTable(kFakeTable, 4, &region, nullptr);
    EXPECT_EQ(g_finderState.lockFlag, 0);
    EXPECT_EQ(g_finderState.lockedId, 0x7fff);
    EXPECT_EQ(vexo::Loc_OtherFinderSucceeded(9), 0);
}

TEST_F(FinderRunTest, ARegionCrossedByBarsAsksNoFinder) {
    Grey g(300, 200);
    g.VerticalBars(70, 12, 4, 12, 40, 160);
    Install(g);
    vexo::REGION_QUAD region = Box(50, 50, 250, 150);
    vexo::Loc_ResetFinderTable(kFakeTable, 4, &region, nullptr);
    const size_t resets = g_recorder.calls.size();
    EXPECT_EQ(vexo::Loc_RunFinderTable(kFakeTable, 4, &region), 1);
    EXPECT_EQ(g_recorder.calls.size(), resets);
    EXPECT_EQ(g_recorder.wantsAsked, 0);
}

// ---- The linear test.

struct LinearCase {
    const char *what;
    bool horizontal;  // bars across the rows instead of the columns
    int bars;
    int shortBarTop;  // -1: every bar spans rows (columns) 40..160; else the last bar starts here
    int expect;
};

TEST_F(FinderRunTest, ThreeParallelLinesWithTheSameFallingEdgesMakeARegionLinear) {
    const LinearCase cases[] = {
        {"12 vertical bars", false, 12, -1, 1},
        {"9 vertical bars", false, 9, -1, 1},
        {"8 vertical bars", false, 8, -1, 0},
        {"9 bars, one missing 8 px above the midline", false, 9, 94, 0},
        {"10 bars, one missing 8 px above the midline", false, 10, 94, 1},
        {"12 horizontal bars: the second direction", true, 12, -1, 1},
        {"8 horizontal bars", true, 8, -1, 0},
    };
    for (const LinearCase &c : cases) {
        SCOPED_TRACE(c.what);
        Grey g(300, 300);
        const int pitch = 12;
        if (c.horizontal) {
            g.HorizontalBars(60, c.bars, 4, pitch, 40, 260);
        } else {
            g.VerticalBars(70, c.bars, 4, pitch, 40, 160);
        }
        if (c.shortBarTop >= 0) {
            const int x = 70 + (c.bars - 1) * pitch;
            g.Fill(x, 40, x + 4, c.shortBarTop, 200);
        }
        Install(g);
        vexo::REGION_QUAD region = c.horizontal ? Box(50, 50, 250, 220) : Box(50, 50, 250, 150);
        EXPECT_EQ(vexo::Loc_RegionLooksLinear(&region), c.expect);
    }
}

TEST_F(FinderRunTest, ParallelLinesReportTheLastPairsCounts) {
    Grey g(300, 200);
    g.VerticalBars(70, 11, 4, 12, 40, 160);
    Install(g);
    const vexo::REGION_QUAD r = Box(50, 50, 250, 150);
    vexo::i32 minCount = -1, matched = -1;
    EXPECT_EQ(vexo::Loc_ParallelLinesMatch(r.c[0], r.c[1], r.c[2], r.c[3], 0, &minCount, &matched), 1);
    EXPECT_EQ(minCount, 11);
    EXPECT_EQ(matched, 11);
    // Too few edges: nothing written.
    Grey few(300, 200);
    few.VerticalBars(70, 5, 4, 12, 40, 160);
    Install(few);
    minCount = matched = -1;
    EXPECT_EQ(vexo::Loc_ParallelLinesMatch(r.c[0], r.c[1], r.c[2], r.c[3], 0, &minCount, &matched), 0);
    EXPECT_EQ(minCount, -1);
    EXPECT_EQ(matched, -1);
}

TEST_F(FinderRunTest, TheLinearTestUsesTheCurrentEdgeThresholds) {
    Grey g(300, 200);
    g.VerticalBars(70, 12, 4, 12, 40, 160, 170);  // steps of 30 on 200
    Install(g);
    vexo::REGION_QUAD region = Box(50, 50, 250, 150);
    EXPECT_EQ(vexo::Loc_RegionLooksLinear(&region), 1);
    vexo::g_edgeThresholds = {102, 40};
    EXPECT_EQ(vexo::Loc_RegionLooksLinear(&region), 0);
    vexo::g_edgeThresholds = {300, 6};
    EXPECT_EQ(vexo::Loc_RegionLooksLinear(&region), 0);
}

TEST_F(FinderRunTest, NothingIsReadWithoutAFrameOrScratch) {
    vexo::REGION_QUAD region = Box(0, 0, 100, 100);
    EXPECT_EQ(vexo::Loc_RegionLooksLinear(&region), 0);
    EXPECT_EQ(vexo::Loc_RunFinderTable(kFakeTable, 4, &region), 0);
    EXPECT_EQ(vexo::Loc_RunFinderTable(kFakeTable, 4, nullptr), 0);
    vexo::u32 step = 0;
    EXPECT_EQ(vexo::Loc_QuadMidlineThresholds(&region, &step), 102);
    EXPECT_EQ(step, 6u);
    Grey g(120, 120);
    vexo::Pix_SetImagePointer(g.pixels.data());
    vexo::Pix_SetImageSize(120, 120);
    EXPECT_EQ(vexo::Loc_RegionLooksLinear(&region), 0);  // no second buffer
}

// ---- Arbitration.

TEST_F(FinderRunTest, ArbitrationExamples) {
    struct Case {
        std::vector<int> raised;
        int lock;
        int otherThan2, otherThan3, otherThan9;
    } const cases[] = {
        {{4, 6}, 4, 1, 1, 1},
        {{}, 127, 0, 0, 0},
        {{2}, 2, 0, 1, 1},
        {{3}, 3, 1, 0, 1},
        {{6, 2, 5}, 2, 1, 1, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "raised " << c.raised.size() << " first "
                                        << (c.raised.empty() ? -1 : c.raised[0]));
        g_finderState = vexo::FINDER_STATE{};
        g_finderState.lockedId = 0x7fff;
        for (int id : c.raised) g_finderState.success[id] = 1;
        EXPECT_EQ(vexo::Loc_OtherFinderSucceeded(2), c.otherThan2);
        EXPECT_EQ(vexo::Loc_OtherFinderSucceeded(3), c.otherThan3);
        EXPECT_EQ(vexo::Loc_OtherFinderSucceeded(9), c.otherThan9);
        EXPECT_EQ(vexo::Loc_OtherFinderSucceeded(-1), c.raised.empty() ? 0 : 1);
        EXPECT_EQ(vexo::Loc_LockWinningFinder(), c.lock);
        EXPECT_EQ(g_finderState.lockFlag, c.raised.empty() ? 0 : 1);
        EXPECT_EQ(g_finderState.lockedId, c.raised.empty() ? 0x7fff : c.lock);
        // Once locked, the winner stays even when a lower id rises.
        g_finderState.success[2] = 1;
        EXPECT_EQ(vexo::Loc_GetWinningFinder(), c.raised.empty() ? 2 : c.lock);
    }
}

// ---- Edge thresholds.

TEST_F(FinderRunTest, EdgeThresholdExamples) {
    struct Case {
        std::vector<uint8_t> samples;
        int minDrop, ratio;
        int expectRatio;
        vexo::u32 expectStep;
    } const cases[] = {
        {{200, 50, 50, 50}, 6, 102, 125, 6},
        {{200, 200, 50, 50}, 6, 102, 102, 6},  // the descent after a flat step is not examined
        {{200, 50, 200, 50, 200, 50, 200, 50, 200, 50, 200}, 6, 102, 538, 105},
        {{}, 6, 102, 102, 6},
        {{9}, 6, 102, 102, 6},
        {{200, 195, 200, 195, 200, 195, 200, 195, 200, 195, 200}, 6, 102, 102, 6},  // drops of 5
        {{200, 190, 200, 190, 200, 190, 200, 190, 200, 190, 200}, 6, 102, 102, 6},  // below the ratio
        {{200, 190, 200, 190, 200, 190, 200, 190, 200, 190, 200}, 6, 40, 102, 7},   // 51 -> 36, 10 -> 7
        {{255, 200, 100, 0, 0}, 6, 102, 125, 6},  // one descent down to the last sample
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << "samples " << c.samples.size() << " ratio " << c.ratio);
        vexo::u32 step = 0xdead;
        EXPECT_EQ(vexo::Loc_EstimateEdgeThresholds(c.samples.data(), static_cast<int>(c.samples.size()), c.minDrop,
                                                   c.ratio, &step, 1280),
                  c.expectRatio);
        EXPECT_EQ(step, c.expectStep);
    }
}

TEST_F(FinderRunTest, EdgeThresholdsKeepAtMost128DescentsInTheScratch) {
    Grey g(100, 100);
    Install(g);
    std::vector<uint8_t> s;
    for (int k = 0; k < 200; ++k) {
        s.push_back(200);
        s.push_back(k < 128 ? 100 : 0);  // the later, deeper descents are not kept
    }
    vexo::u32 step = 0;
    EXPECT_EQ(vexo::Loc_EstimateEdgeThresholds(s.data(), static_cast<int>(s.size()), 6, 102, &step, 1280), 358);
    EXPECT_EQ(step, 70u);
    vexo::i32 words[2 * 128];
    std::memcpy(words, vexo::g_internalImage + 1280, sizeof(words));
    EXPECT_EQ(words[0], 512);
    EXPECT_EQ(words[127], 512);
    EXPECT_EQ(words[128], 100);
}

TEST_F(FinderRunTest, MidlineThresholdsComeFromTheSmoothedMidline) {
    Grey g(300, 200);
    g.VerticalBars(70, 12, 4, 12, 40, 160, 40);
    g.Fill(0, 0, 300, 100, 120);  // rows above the midline differ: they must not count
    Install(g);
    vexo::REGION_QUAD region = Box(50, 50, 250, 151);  // midline y = 100
    vexo::u32 step = 0;
    const int ratio = vexo::Loc_QuadMidlineThresholds(&region, &step);
    // The samples strictly between (50, 100) and (250, 100), smoothed 2-4-2.
    std::vector<uint8_t> s(g.pixels.begin() + 100 * 300 + 51, g.pixels.begin() + 100 * 300 + 250);
    std::vector<uint8_t> smooth = s;
    for (size_t i = 1; i + 1 < s.size(); ++i) smooth[i] = static_cast<uint8_t>((2 * s[i - 1] + 4 * s[i] + 2 * s[i + 1]) >> 3);
    vexo::u32 expectStep = 0;
    const int expect = vexo::Loc_EstimateEdgeThresholds(smooth.data(), static_cast<int>(smooth.size()), 6, 102,
                                                        &expectStep, 4096);
    EXPECT_EQ(ratio, expect);
    EXPECT_EQ(step, expectStep);
    EXPECT_GT(ratio, 400);  // 12 deep descents: a real estimate
    EXPECT_GT(step, 60u);
}

// ---- Operations no stage calls.

TEST_F(FinderRunTest, SmallHelpers) {
    EXPECT_EQ(vexo::Loc_AbsOrTimesTen(-7), 7);
    EXPECT_EQ(vexo::Loc_AbsOrTimesTen(0), 0);
    EXPECT_EQ(vexo::Loc_AbsOrTimesTen(7), 70);
    EXPECT_EQ(vexo::Loc_WrapDir4(3), 3);
    EXPECT_EQ(vexo::Loc_WrapDir4(4), 0);
    EXPECT_EQ(vexo::Loc_WrapDir4(6), 2);
    EXPECT_EQ(vexo::Loc_WrapDir16(15), 15);
    EXPECT_EQ(vexo::Loc_WrapDir16(17), 1);

    int v[] = {5, -1, 3, 3, 9, 0};
    vexo::Loc_BubbleSortInts(v, 6);
    EXPECT_EQ(std::vector<int>(v, v + 6), (std::vector<int>{-1, 0, 3, 3, 5, 9}));
    int one[] = {4};
    vexo::Loc_BubbleSortInts(one, 1);
    vexo::Loc_BubbleSortInts(nullptr, 3);
    EXPECT_EQ(one[0], 4);

    uint8_t run[] = {10, 20, 40, 80, 160};
    vexo::Loc_SmoothRun121(run + 1, 4);
    // o[-1] = 10: (10 + 40 + 40) >> 2, (20 + 80 + 80) >> 2, (40 + 160 + 160) >> 2, last kept.
    EXPECT_EQ(std::vector<uint8_t>(run, run + 5), (std::vector<uint8_t>{20, 22, 45, 90, 160}));
    uint8_t single[] = {1, 2};
    vexo::Loc_SmoothRun121(single + 1, 1);
    EXPECT_EQ(single[0], 2);
    uint8_t none[] = {1, 2};
    vexo::Loc_SmoothRun121(none + 1, 0);
    EXPECT_EQ(none[0], 1);

    std::vector<uint8_t> image(10 * 8, 7);
    vexo::Loc_MarkEveryFourthRow(image.data(), 10, 8);
    for (int r = 0; r < 8; ++r) {
        for (int x = 0; x < 10; ++x) {
            const bool marked = (r == 2 || r == 6) && x >= 2;
            ASSERT_EQ(image[r * 10 + x], marked ? ((x - 2) % 2 == 0 ? 255 : 0) : 7) << r << "," << x;
        }
    }
    std::vector<uint8_t> narrow(7 * 8, 7);
    vexo::Loc_MarkEveryFourthRow(narrow.data(), 7, 8);
    EXPECT_TRUE(std::all_of(narrow.begin(), narrow.end(), [](uint8_t b) { return b == 7; }));
}

TEST_F(FinderRunTest, MeanRelativeDropAndRegionDropRatio) {
    const uint8_t deep[] = {200, 40, 200, 40, 200, 40};  // relative drop 819
    const uint8_t shallow[] = {200, 150, 200, 150};      // 256: below 206 after halving? mean 256 -> 128
    const uint8_t weak[] = {200, 170, 200, 170};         // 153: below 206
    const uint8_t rising[] = {10, 20, 30};
    vexo::i32 out[4] = {};
    const vexo::DROP_SCAN cases[] = {
        {deep, out, 4, 6, 6, 102},
        {shallow, out, 4, 4, 6, 102},
        {weak, out, 4, 4, 6, 102},
        {rising, out, 4, 3, 6, 102},
        {deep, out, 1, 6, 6, 102},
        {deep, nullptr, 4, 6, 6, 102},
    };
    const int expect[] = {409, 128, 102, 102, 409, 409};
    for (size_t k = 0; k < std::size(cases); ++k) EXPECT_EQ(vexo::Loc_MeanRelativeDrop(&cases[k]), expect[k]) << k;
    EXPECT_EQ(out[0], 819);
    EXPECT_EQ(vexo::Loc_MeanRelativeDrop(nullptr), 102);

    Grey g(300, 200);
    g.VerticalBars(60, 20, 5, 10, 0, 200, 40);  // 160 / 200 = relative 819 on every row
    Install(g);
    vexo::REGION_QUAD region = Box(50, 40, 280, 140);
    EXPECT_EQ(vexo::Loc_RegionDropRatio(&region), 409);
    vexo::REGION_QUAD low = Box(50, 40, 280, 43);  // fewer than four rows
    EXPECT_EQ(vexo::Loc_RegionDropRatio(&low), 102);
    vexo::REGION_QUAD flat = Box(0, 0, 40, 100);
    EXPECT_EQ(vexo::Loc_RegionDropRatio(&flat), 102);
}

// ---- The registered table.

TEST_F(FinderRunTest, TheTableRegistersEachFinderInItsSlots) {
    const vexo::FINDER_MODULE *t = vexo::g_finderTable;
    auto filled = [](const vexo::FINDER_MODULE &m) {
        return std::vector<bool>{m.reset != nullptr,        m.wantsRows != nullptr,  m.rowLine != nullptr,
                                 m.rowsDone != nullptr,     m.wantsColumns != nullptr, m.columnLine != nullptr,
                                 m.columnsDone != nullptr,  m.spare != nullptr};
    };
    EXPECT_EQ(filled(t[0]), (std::vector<bool>{1, 1, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(filled(t[1]), (std::vector<bool>{1, 1, 1, 1, 1, 1, 1, 0}));
    EXPECT_EQ(filled(t[2]), (std::vector<bool>{1, 1, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(filled(t[3]), (std::vector<bool>{1, 1, 1, 0, 0, 0, 0, 0}));
    EXPECT_EQ(filled(t[4]), (std::vector<bool>{1, 1, 1, 0, 1, 1, 0, 0}));
    EXPECT_EQ(filled(t[5]), (std::vector<bool>{0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(t[0].reset, &vexo::QR_FinderReset);
    EXPECT_EQ(t[1].reset, &vexo::DM_FinderReset);
    EXPECT_EQ(t[2].reset, &vexo::Maxi_FinderReset);
    EXPECT_EQ(t[3].reset, &vexo::Azt_FinderReset);
    EXPECT_EQ(t[4].rowLine, t[4].columnLine);

    // The wants slots follow the enable bits; the QR reset sets up the queue.
    EXPECT_EQ(t[0].wantsRows(), 0);
    vexo::g_params.flagsWord[vexo::kSymMicroQr] |= vexo::kFlagEnabled;
    EXPECT_EQ(t[0].wantsRows(), 1);
    vexo::g_params.flagsWord[vexo::kSymDataMatrix] |= vexo::kFlagEnabled;
    EXPECT_EQ(t[1].wantsRows() + t[1].wantsColumns(), 2);
    EXPECT_EQ(t[2].wantsRows() + t[3].wantsRows() + t[4].wantsRows() + t[4].wantsColumns(), 0);
    vexo::REGION_QUAD region = Box(10, 10, 50, 50);
    EXPECT_EQ(vexo::g_qrFinderQueue.read, nullptr);
    vexo::Loc_ResetFinders(&region, &region);
    EXPECT_NE(vexo::g_qrFinderQueue.read, nullptr);
    EXPECT_NE(vexo::g_qrFinderQueue.write, nullptr);
    Grey g(100, 100);
    Install(g);
    EXPECT_EQ(vexo::Loc_RunFinders(&region), 0);
    EXPECT_EQ(vexo::Loc_GetWinningFinder(), 127);
}

}  // namespace

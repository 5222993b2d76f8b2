// Projection proposals: the difference maps of the central third, the Otsu thresholds,
// bands, cuts, verification and the passes on synthetic frames and maps.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <random>
#include <vector>

#include "locate/projection.h"
#include "test_finder_support.h"

namespace {

using finder_test::Grey;
using vexo::g_projState;
using vexo::PROJ_RECT;

using Rect = std::array<int, 4>;  // left, top, right, bottom

std::vector<vexo::i32> Hist(const std::map<int, int> &bins) {
    std::vector<vexo::i32> h(256, 0);
    for (auto [k, v] : bins) h[k] = v;
    return h;
}

class ProjectionTest : public finder_test::FinderTest {
protected:
    // Maps of rows x cols set up directly, both zero, with these thresholds.
    void Maps(int rows, int cols, int thrH, int thrV) {
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        const vexo::i32 area[4] = {0, 0, cols, rows};
        ASSERT_EQ(vexo::Loc_SetupProjectionArea(vexo::g_internalImage, 0, area), rows * cols);
        g_projState.thrH = thrH;
        g_projState.thrV = thrV;
    }
    static uint8_t &H(int r, int c) { return g_projState.mapH[r * g_projState.cols + c]; }
    static uint8_t &V(int r, int c) { return g_projState.mapV[r * g_projState.cols + c]; }
    // Strong horizontal differences on the even rows r0..r1-1 at the even columns c0..c1.
    static void StrongH(int r0, int r1, int c0, int c1, uint8_t v = 60) {
        for (int r = r0; r < r1; r += 2)
            for (int c = c0; c <= c1; c += 2) H(r, c) = v;
    }
    static void StrongV(int r0, int r1, int c0, int c1, uint8_t v = 60) {
        for (int r = r0; r <= r1; r += 2)
            for (int c = c0; c < c1; c += 2) V(r, c) = v;
    }
};

TEST_F(ProjectionTest, TheCentralThirdOfA640By480Frame) {
    Grey g(640, 480, 128);
    Install(g);
    ASSERT_EQ(vexo::Loc_ProjectionThresholds(), 1);
    EXPECT_EQ(g_projState.x0, 213);
    EXPECT_EQ(g_projState.y0, 160);
    EXPECT_EQ(g_projState.cols, 212);
    EXPECT_EQ(g_projState.rows, 160);
    EXPECT_EQ(g_projState.x1, 425);
    EXPECT_EQ(g_projState.y1, 320);
    EXPECT_EQ(g_projState.offset, 0);
    EXPECT_EQ(g_projState.scratch, vexo::g_internalImage);
    EXPECT_EQ(g_projState.mapH, vexo::g_internalImage);
    EXPECT_EQ(g_projState.mapV, vexo::g_internalImage + 160 * 212);
    // A flat frame: nothing in bins 1..100, both thresholds 5, nothing proposed.
    EXPECT_EQ(g_projState.thrH, 5);
    EXPECT_EQ(g_projState.thrV, 5);
    vexo::REGION_QUAD quads[40];
    EXPECT_EQ(vexo::Loc_ColumnProjectionQuads(quads, 40), 0);
    EXPECT_EQ(vexo::Loc_RowProjectionQuads(quads, 40), 0);
}

TEST_F(ProjectionTest, MapsHoldTheDifferencesOfEvenRowsAndColumns) {
    const uint32_t seed = 77;
    std::mt19937 rng(seed);
    Grey g(100, 61);
    for (uint8_t &p : g.pixels) p = static_cast<uint8_t>(rng());
    Install(g);
    ASSERT_EQ(vexo::Loc_CentralThirdHistograms(), 1);
    // x0 33, x1 66 -> cols 32 (x1 65); y0 20, y1 40 -> rows 20.
    ASSERT_EQ(g_projState.cols, 32);
    ASSERT_EQ(g_projState.rows, 20);
    for (int r = 0; r < 20; ++r) {
        for (int c = 0; c < 32; ++c) {
            const int x = 33 + c, y = 20 + r;
            const bool even = r % 2 == 0 && c % 2 == 0;
            const int h = even && c >= 2 ? std::abs(g.At(x, y) - g.At(x - 2, y)) : 0;
            const int v = even && r >= 2 ? std::abs(g.At(x, y) - g.At(x, y - 2)) : 0;
            ASSERT_EQ(H(r, c), h) << "seed " << seed << " at " << r << "," << c;
            ASSERT_EQ(V(r, c), v) << "seed " << seed << " at " << r << "," << c;
        }
    }
}

TEST_F(ProjectionTest, FramesTooSmallForAnAreaProposeNothing) {
    for (auto [w, h] : {std::pair{2, 100}, std::pair{100, 2}, std::pair{1, 1}}) {
        Grey g(w, h);
        Install(g);
        EXPECT_EQ(vexo::Loc_ProjectionThresholds(), 0) << w << "x" << h;
        vexo::REGION_QUAD quads[40];
        EXPECT_EQ(vexo::Loc_ColumnProjectionQuads(quads, 40), 0);
    }
    Grey g(60, 60);
    Install(g);
    vexo::Pix_SetSecondBuffer(nullptr);
    EXPECT_EQ(vexo::Loc_ProjectionThresholds(), 0);  // no scratch
}

TEST_F(ProjectionTest, DifferenceThresholdExamples) {
    struct Case {
        const char *what;
        std::map<int, int> bins;
        int total;
        int expect;
    } const cases[] = {
        {"empty", {}, 100, 5},
        {"flat: only bin 0", {{0, 100}}, 100, 5},
        {"only bins above 100", {{101, 50}}, 100, 5},
        {"bin 100 is looked at as the one after 99", {{100, 50}}, 100, 5},
        {"ties go to the later bin", {{2, 1000}, {40, 100}}, 1100, 39},
        {"bins below the first filled one do not count", {{0, 5000}, {3, 100}, {50, 100}}, 5200, 99},
        {"nine worse bins end the search", {{2, 100}, {20, 100}, {40, 100}}, 800, 19},
        {"a threshold below 5 becomes 5", {{1, 100}, {2, 100}}, 300, 99},
        {"two close classes", {{3, 500}, {10, 500}, {30, 10}}, 1010, 9},
        {"zero total", {{3, 5}}, 0, 5},
    };
    for (const auto &c : cases) {
        const std::vector<vexo::i32> h = Hist(c.bins);
        EXPECT_EQ(vexo::Loc_OtsuDifferenceThreshold(h.data(), c.total), c.expect) << c.what;
    }
}

TEST_F(ProjectionTest, ProjectionThresholdExamples) {
    auto otsu = [](std::map<int, int> bins, int total, int nbins) {
        std::vector<vexo::i16> h(64, 0);
        for (auto [k, v] : bins) h[k] = static_cast<vexo::i16>(v);
        return vexo::Loc_OtsuThreshold(h.data(), total, nbins);
    };
    EXPECT_EQ(otsu({{0, 10}, {5, 10}}, 20, 6), 4);
    EXPECT_EQ(otsu({{0, 10}, {5, 10}}, 20, 5), 4);  // the top bin is left out by the bin count
    EXPECT_EQ(otsu({{2, 30}, {3, 10}, {9, 20}, {12, 5}}, 65, 12), 8);
    EXPECT_EQ(otsu({}, 10, 5), 0);
    EXPECT_EQ(otsu({{3, 1}}, 1, 0), 0);
    EXPECT_EQ(otsu({{3, 1}}, 0, 5), 0);
}

TEST_F(ProjectionTest, BandsOfHighProjection) {
    struct Case {
        const char *what;
        std::vector<std::pair<int, int>> high;  // [from, to) of even positions above the level
        int count;
        std::vector<std::pair<int, int>> expect;
    } const cases[] = {
        {"closing 8 after opening: dropped", {{10, 18}}, 100, {}},
        {"closing 10 after opening: kept", {{10, 20}}, 100, {{10, 20}}},
        {"open at the end, 9 or more before it", {{90, 100}}, 100, {{90, 100}}},
        {"open at the end, too short", {{94, 100}}, 100, {}},
        {"position 0 is not looked at", {{0, 12}}, 100, {{2, 12}}},
        {"two bands", {{4, 30}, {40, 60}}, 100, {{4, 30}, {40, 60}}},
    };
    for (const auto &c : cases) {
        std::vector<vexo::i16> proj(c.count + 2, 0);
        for (auto [a, b] : c.high)
            for (int k = a; k < b; ++k) proj[k] = 7;
        vexo::i32 bands[vexo::kProjMaxBands][2];
        const int n = vexo::Loc_FindBands(2, c.count, 6, bands, proj.data());
        std::vector<std::pair<int, int>> got;
        for (int k = 0; k < n; ++k) got.emplace_back(bands[k][0], bands[k][1]);
        EXPECT_EQ(got, c.expect) << c.what;
    }
    // Twenty bands are kept; a twenty-first leaves none.
    for (int bands = 20; bands <= 21; ++bands) {
        std::vector<vexo::i16> proj(2 + 20 * bands + 2, 0);
        for (int b = 0; b < bands; ++b)
            for (int k = 2 + 20 * b; k < 2 + 20 * b + 10; ++k) proj[k] = 9;
        vexo::i32 out[vexo::kProjMaxBands][2];
        EXPECT_EQ(vexo::Loc_FindBands(2, static_cast<int>(proj.size()) - 2, 0, out, proj.data()), bands == 20 ? 20 : 0);
    }
}

TEST_F(ProjectionTest, ThresholdsAreAdjustedBeforeEachPass) {
    struct Case {
        int thrH, thrV;
        int rowH, rowV;  // after the row pass
        int colH, colV;  // after the column pass that follows
    } const cases[] = {
        {20, 6, 20, 20, 20, 20},   // 6 rises to 13, then to 20
        {3, 7, 7, 7, 7, 7},        // both low: both the larger
        {40, 10, 40, 40, 40, 40},  // more than twice: the mean 25, then 40
        {12, 10, 12, 10, 12, 10},  // close: unchanged
        {12, 6, 12, 9, 12, 9},     // one low: the mean, 12 is not above 16
        {6, 30, 6, 30, 30, 30},    // the column pass mirrors it
        {9, 20, 9, 20, 20, 20},
    };
    for (const auto &c : cases) {
        Maps(40, 40, c.thrH, c.thrV);
        PROJ_RECT out[vexo::kProjMaxRects];
        vexo::Loc_RowBandRects(out);
        EXPECT_EQ(g_projState.thrH, c.rowH) << c.thrH << "/" << c.thrV;
        EXPECT_EQ(g_projState.thrV, c.rowV) << c.thrH << "/" << c.thrV;
        vexo::Loc_ColumnBandRects(out);
        EXPECT_EQ(g_projState.thrH, c.colH) << c.thrH << "/" << c.thrV;
        EXPECT_EQ(g_projState.thrV, c.colV) << c.thrH << "/" << c.thrV;
    }
}

// Cut of one band of rows 0..20 along the columns.
class CutTest : public ProjectionTest {
protected:
    std::vector<Rect> Cut(const std::vector<std::pair<int, int>> &bands) {
        std::vector<vexo::i16> buffer(g_projState.cols + 2, 0);
        vexo::i32 b[vexo::kProjMaxBands][2];
        for (size_t k = 0; k < bands.size(); ++k) {
            b[k][0] = bands[k].first;
            b[k][1] = bands[k].second;
        }
        PROJ_RECT out[vexo::kProjMaxRects + 1];
        const int n = vexo::Loc_CutRowBand(b, static_cast<int>(bands.size()), buffer.data(), out);
        std::vector<Rect> rects;
        for (int k = 0; k < n; ++k) rects.push_back({out[k].left, out[k].top, out[k].right, out[k].bottom});
        return rects;
    }
    // A group of `columns` strong columns from c0 (two apart) over the band rows r0..r1.
    static int Group(int r0, int r1, int c0, int columns) {
        StrongH(r0, r1, c0, c0 + 2 * (columns - 1));
        return c0 + 2 * (columns - 1);
    }
};

TEST_F(CutTest, AGapOfMoreThan44EndsARectangle) {
    struct Case {
        const char *what;
        int firstColumns;  // the first group; the second group has 12 columns
        int gap;
        std::vector<Rect> expect;
    } const cases[] = {
        {"6 steps before the gap: two rectangles", 7, 46, {{10, 0, 22, 20}, {68, 0, 90, 20}}},
        {"5 steps: only the second", 6, 46, {{66, 0, 88, 20}}},
        {"a gap of 44 joins them", 7, 44, {{10, 0, 88, 20}}},
    };
    for (const auto &c : cases) {
        Maps(40, 200, 10, 10);
        const int last = Group(0, 20, 10, c.firstColumns);
        Group(0, 20, last + c.gap, 12);
        EXPECT_EQ(Cut({{0, 20}}), c.expect) << c.what;
    }
}

TEST_F(CutTest, WeakColumnsExtendButDoNotOpenAndTheBandEndNeedsElevenSteps) {
    Maps(40, 200, 10, 10);
    // Margins 3 (extend only) and 2 (neither) from strong vertical differences.
    Group(0, 20, 10, 11);  // 10 steps: not enough at the band's end
    EXPECT_TRUE(Cut({{0, 20}}).empty());
    StrongH(0, 20, 34, 34);
    StrongV(0, 12, 34, 36);  // 10 - 7 = 3 at column 34: extends
    EXPECT_EQ(Cut({{0, 20}}), (std::vector<Rect>{{10, 0, 34, 20}}));
    Maps(40, 200, 10, 10);
    StrongH(0, 20, 10, 10);
    StrongV(0, 12, 10, 12);  // 3 at the first column: does not open
    Group(0, 20, 12, 12);
    EXPECT_EQ(Cut({{0, 20}}), (std::vector<Rect>{{12, 0, 34, 20}}));
}

TEST_F(CutTest, ThirtyNineRectanglesAtMostAFortiethLeavesNone) {
    for (int total = 39; total <= 40; ++total) {
        Maps(100, 600, 10, 10);
        std::vector<std::pair<int, int>> bands;
        for (int b = 0; b < 4; ++b) {
            const int r0 = 20 * b, groups = b < 3 ? 10 : total - 30;
            bands.emplace_back(r0, r0 + 20);
            for (int k = 0; k < groups; ++k) Group(r0, r0 + 20, 2 + 58 * k, k + 1 < groups ? 7 : 12);
        }
        const std::vector<Rect> rects = Cut(bands);
        EXPECT_EQ(rects.size(), total == 39 ? 39u : 0u);
    }
}

TEST_F(ProjectionTest, ARowRectangleVerifiesWithARunOfMoreThanFourRows) {
    for (int runRows = 4; runRows <= 5; ++runRows) {
        Maps(40, 100, 10, 10);
        // Rows 30, 32, ... dominated by horizontal differences: 20 strong of 20 columns.
        StrongH(40 - 2 * runRows, 40, 20, 58);
        const PROJ_RECT rect{20, 20, 60, 40};  // ends on the area's last row
        std::vector<vexo::i16> a(40), b(40);   // exactly rows entries
        EXPECT_EQ(vexo::Loc_VerifyRowRect(&rect, 0, a.data(), b.data()), runRows > 4 ? 1 : 0) << runRows;
        EXPECT_EQ(a[38], 20);
    }
    // Vertical differences in a row break the run: B must stay below A / 2.
    Maps(40, 100, 10, 10);
    StrongH(20, 38, 20, 58);  // rows 20..36
    StrongV(28, 28, 20, 40);  // 10 of 20 on row 28: four rows on either side
    const PROJ_RECT rect{20, 20, 60, 40};
    std::vector<vexo::i16> a(40), b(40);
    EXPECT_EQ(vexo::Loc_VerifyRowRect(&rect, 0, a.data(), b.data()), 0);
}

TEST_F(ProjectionTest, AColumnRectangleVerifiesWithARunOfMoreThanEightColumns) {
    for (int runCols = 8; runCols <= 9; ++runCols) {
        Maps(100, 40, 10, 10);
        // Columns 40 - 2 runCols .. 38 with 20 strong vertical differences each.
        StrongV(20, 58, 40 - 2 * runCols, 40);
        const PROJ_RECT rect{20, 20, 40, 60};  // ends on the area's last column
        std::vector<vexo::i16> a(40), b(40);
        EXPECT_EQ(vexo::Loc_VerifyColumnRect(&rect, 0, a.data(), b.data()), runCols > 8 ? 1 : 0) << runCols;
    }
}

TEST_F(ProjectionTest, SortingByKeyIsStable) {
    vexo::i32 keys[] = {50, 10, 50, 0, 10};
    PROJ_RECT rects[] = {{1, 0, 0, 0}, {2, 0, 0, 0}, {3, 0, 0, 0}, {4, 0, 0, 0}, {5, 0, 0, 0}};
    EXPECT_EQ(vexo::Loc_SortRectsByKey(keys, 5, rects), 5);
    std::vector<int> order;
    for (const PROJ_RECT &r : rects) order.push_back(r.left);
    EXPECT_EQ(order, (std::vector<int>{4, 2, 5, 1, 3}));
    EXPECT_EQ(std::vector<int>(keys, keys + 5), (std::vector<int>{0, 10, 10, 50, 50}));
}

// Vertical bars drawn into the central third of a 752 x 480 frame.
TEST_F(ProjectionTest, BarsInTheCentralThirdGiveOneRectangleInFrameCoordinates) {
    Grey g(752, 480, 200);
    g.VerticalBars(300, 20, 3, 7, 200, 280, 40);  // x 300..436, rows 200..279
    Install(g);
    ASSERT_EQ(vexo::Loc_ProjectionThresholds(), 1);
    vexo::REGION_QUAD quads[40];
    const int n = vexo::Loc_ColumnProjectionQuads(quads, 40);
    ASSERT_EQ(n, 1);
    const vexo::REGION_QUAD &q = quads[0];
    EXPECT_EQ(q.c[0].y, q.c[1].y);
    EXPECT_EQ(q.c[0].x, q.c[2].x);
    EXPECT_EQ(q.c[3].x, q.c[1].x);
    EXPECT_EQ(q.c[3].y, q.c[2].y);
    EXPECT_GE(q.c[0].x, 290);
    EXPECT_LE(q.c[0].x, 310);
    EXPECT_GE(q.c[1].x, 425);
    EXPECT_LE(q.c[1].x, 440);
    EXPECT_GE(q.c[0].y, 195);
    EXPECT_LE(q.c[2].y, 285);
    EXPECT_EQ(vexo::Loc_ColumnProjectionQuads(quads, 0), 0);
    // The same bars turned: the column pass.
    Grey t(752, 480, 200);
    t.HorizontalBars(170, 20, 3, 7, 320, 420, 40);
    Install(t);
    ASSERT_EQ(vexo::Loc_ProjectionThresholds(), 1);
    EXPECT_EQ(vexo::Loc_ColumnProjectionQuads(quads, 40), 0);
    ASSERT_EQ(vexo::Loc_RowProjectionQuads(quads, 40), 1);
    EXPECT_GE(quads[0].c[0].y, 160);
    EXPECT_LE(quads[0].c[2].y, 320);
    EXPECT_LE(quads[0].c[0].x, 330);
    EXPECT_GE(quads[0].c[1].x, 410);
}

TEST_F(ProjectionTest, IsolatedVerticalDifferencesAreThinnedInsideARectangle) {
    Maps(60, 200, 5, 5);
    StrongH(10, 30, 20, 120);  // one band, one rectangle over columns 20..120
    V(12, 60) = 50;            // isolated: cleared
    V(14, 60) = 50;
    V(14, 62) = 50;            // neighbours of each other: kept
    V(40, 60) = 50;            // outside the rectangle's rows: kept
    V(12, 20) = 50;            // the rectangle's first column is not looked at
    PROJ_RECT out[vexo::kProjMaxRects];
    EXPECT_EQ(vexo::Loc_RowBandRects(out), 1);
    EXPECT_EQ(V(12, 60), 0);
    EXPECT_EQ(V(14, 60), 50);
    EXPECT_EQ(V(14, 62), 50);
    EXPECT_EQ(V(40, 60), 50);
    EXPECT_EQ(V(12, 20), 50);
    // thrH at 5 as well: isolated horizontal differences go too.
    EXPECT_EQ(H(12, 40), 60);
}

TEST_F(ProjectionTest, ClassifyAnswersWhichPassVerified) {
    Grey g(300, 300, 200);
    g.VerticalBars(100, 15, 3, 7, 100, 200, 40);
    Install(g);
    const vexo::i32 area[4] = {80, 80, 220, 220};
    EXPECT_EQ(vexo::Loc_ProjectionClassify(g.pixels.data(), area, 300, vexo::g_internalImage, 0), 1);
    Grey t(300, 300, 200);
    t.HorizontalBars(100, 15, 3, 7, 100, 200, 40);
    Install(t);
    EXPECT_EQ(vexo::Loc_ProjectionClassify(t.pixels.data(), area, 300, vexo::g_internalImage, 0), 2);
    Grey flat(300, 300, 200);
    Install(flat);
    EXPECT_EQ(vexo::Loc_ProjectionClassify(flat.pixels.data(), area, 300, vexo::g_internalImage, 0), 0);
    const vexo::i32 outside[4] = {250, 250, 900, 900};  // cut to the frame
    EXPECT_EQ(vexo::Loc_ProjectionClassify(flat.pixels.data(), outside, 300, vexo::g_internalImage, 0), 0);
    EXPECT_EQ(g_projState.cols, 50);
}

// Random frames never give more than 39 rectangles per pass.
TEST_F(ProjectionTest, NoiseNeverGivesMoreThan39Rectangles) {
    for (uint32_t seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        Grey g(752, 480);
        const int cell = 1 + static_cast<int>(seed % 3);
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 752; ++x)
                g.At(x, y) = static_cast<uint8_t>(((x / cell + (y / (cell + 1))) % 2 != 0 ? 200 : 40) + rng() % 20);
        Install(g);
        ASSERT_EQ(vexo::Loc_ProjectionThresholds(), 1);
        vexo::REGION_QUAD quads[40];
        EXPECT_LE(vexo::Loc_ColumnProjectionQuads(quads, 40), 39) << "seed " << seed;
        EXPECT_LE(vexo::Loc_RowProjectionQuads(quads, 40), 39) << "seed " << seed;
    }
}

}  // namespace

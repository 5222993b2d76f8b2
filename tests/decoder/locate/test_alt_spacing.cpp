// The spacing-region finder: edge spacings along rows, columns and diagonals, the spacing
// bands, majority filters, directions, hulls on the cell mask and their tests, the finder,
// the spiral search, the region order and the debug dump.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "locate/spacing_regions.h"
#include "locate_test.h"
#include "support/temp_dir.h"

namespace {

using locate_test::GreyFrame;
using vexo::g_cellGrid;

class AltSpacingTest : public locate_test::LocateTest {
protected:
    // A flat frame's grid, its maps then written by hand.
    void FlatGrid(int w, int h) {
        flat_ = GreyFrame(w, h, 128);
        Install(flat_);
        ASSERT_EQ(vexo::Loc_SetupCellGrid(), 1);
    }
    // Marks cells [x0, x1) x [y0, y1) with the spacing and direction code.
    static void Cells(int x0, int y0, int x1, int y1, int spacing, int code) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) SpacingCell(x, y, spacing, code);
    }
    static void SpacingCell(int x, int y, int spacing, int code) {
        const int k = y * g_cellGrid.across + x;
        g_cellGrid.m5[k] = 1;
        g_cellGrid.m3[k] = static_cast<uint8_t>(spacing);
        g_cellGrid.m4[k] = static_cast<uint8_t>(code);
    }
    // A solid disc of cells: hulls of many points, as the spiral search wants.
    static void Disc(int cx, int cy, int radius, int spacing) {
        for (int y = cy - radius; y <= cy + radius; ++y)
            for (int x = cx - radius; x <= cx + radius; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius)
                    SpacingCell(x, y, spacing, vexo::kSpacingRow);
    }
    static int MarkedCells() {
        int marked = 0;
        for (int k = 0; k < g_cellGrid.cells; ++k) marked += g_cellGrid.m5[k] != 0 ? 1 : 0;
        return marked;
    }
    GreyFrame flat_{1, 1};
};

TEST_F(AltSpacingTest, FlatFrameGivesNoSpacingAndAnEmptyMask) {
    GreyFrame f(160, 120, 128);
    Install(f);
    ASSERT_EQ(vexo::Loc_SetupCellGrid(), 1);
    EXPECT_EQ(g_cellGrid.across, 40);
    EXPECT_EQ(g_cellGrid.down, 30);
    EXPECT_EQ(g_cellGrid.ringRadius, 1);
    for (int k = 0; k < g_cellGrid.cells; ++k) {
        ASSERT_EQ(g_cellGrid.m3[k], 0) << k;
        ASSERT_EQ(g_cellGrid.m5[k], 0) << k;
    }
}

TEST_F(AltSpacingTest, VerticalBarsGiveRowSpacingOnly) {
    GreyFrame f(160, 120, 220);
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < f.width; ++x)
            if ((x / 6) % 2 != 0) f.At(x, y) = 30;
    Install(f);
    ASSERT_EQ(vexo::Loc_SetupCellGrid(), 1);
    for (int cy = 2; cy < g_cellGrid.down - 2; ++cy)
        for (int cx = 3; cx < g_cellGrid.across - 3; ++cx) {
            const int k = cy * g_cellGrid.across + cx;
            ASSERT_EQ(g_cellGrid.m3[k], 6) << cx << "," << cy;
            ASSERT_EQ(g_cellGrid.m4[k], vexo::kSpacingRow) << cx << "," << cy;
        }
    // Down a column the bars show no edge at all.
    std::vector<uint8_t> column(static_cast<size_t>(g_cellGrid.down), 0);
    vexo::Loc_ColumnSpacings(f.pixels.data() + 14, column.data(), f.height);
    for (uint8_t v : column) EXPECT_EQ(v, 0);
}

TEST_F(AltSpacingTest, RowAndDiagonalSpacingLimits) {
    struct SpacingCase {
        const char *name;
        bool diagonal;
        int apart;     // pixels between the falling and the rising step
        int expected;  // value written, 0: nothing
    };
    const SpacingCase cases[] = {
        {"row 62", false, 62, 62}, {"row 64", false, 64, 0},          {"row 6", false, 6, 6},
        {"diagonal 10", true, 10, 14}, {"diagonal 44", true, 44, 62}, {"diagonal 46: entry 23 is 0", true, 46, 0},
        {"diagonal 48", true, 48, 0},
    };
    for (const SpacingCase &c : cases) {
        SCOPED_TRACE(c.name);
        GreyFrame f(120, 120, 200);
        // Dark from step 20 to 20 + apart along the line (x on rows, x + y = 2j on the diagonal).
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x) {
                const int j = c.diagonal ? (x + y) / 2 : x;
                if (j >= 20 && j < 20 + c.apart) f.At(x, y) = 40;
            }
        Install(f);
        ASSERT_EQ(vexo::Loc_SetupCellGrid(), 1);
        const int n = g_cellGrid.across;
        std::vector<uint8_t> cells(static_cast<size_t>(g_cellGrid.cells), 0);
        if (c.diagonal) {
            vexo::Loc_DiagonalSpacings(f.pixels.data(), cells.data(), 110);
        } else {
            vexo::Loc_RowSpacings(f.pixels.data() + 2 * f.width, cells.data(), f.width);
        }
        // Edges at indices 21 and 21 + apart: cells 5 .. (23 + apart) / 4 - 1 along the line.
        const int step = c.diagonal ? n + 1 : 1;
        for (int t = 0; t < 28; ++t) {
            const bool inside = t >= 5 && t <= (23 + c.apart) / 4 - 1;
            EXPECT_EQ(cells[static_cast<size_t>(t * step)], inside ? c.expected : 0) << "cell " << t;
        }
    }
    for (int k = 0; k <= 22; ++k)
        EXPECT_EQ(vexo::kDiagonalSpacings[k], static_cast<int>(std::lround(2 * k * std::sqrt(2.0)))) << k;
    EXPECT_EQ(vexo::kDiagonalSpacings[23], 0);
}

TEST_F(AltSpacingTest, MajorityFilterAndPeakFit) {
    GreyFrame f(200, 200, 128);
    Install(f);
    ASSERT_EQ(vexo::Loc_SetupCellGrid(), 1);
    const int n = g_cellGrid.across;
    uint8_t *map = g_cellGrid.m5;
    auto at = [&](int cx, int cy) -> uint8_t & { return map[cy * n + cx]; };
    at(10, 10) = 1;
    for (int cy = 20; cy < 25; ++cy)
        for (int cx = 20; cx < 25; ++cx) at(cx, cy) = 1;
    vexo::Loc_MajorityFilter5(map);
    EXPECT_EQ(at(10, 10), 0);
    EXPECT_EQ(at(22, 22), 1);
    EXPECT_EQ(at(21, 22), 1);  // 20 of its window
    EXPECT_EQ(at(20, 20), 0);  // 9 of its window
    EXPECT_EQ(at(0, 0), 0);

    uint16_t h[vexo::kSpacingBins] = {};
    h[10] = 500;
    h[12] = 300;
    vexo::SPACING_PEAK two{};
    two.start = 10;
    two.end = 12;
    EXPECT_EQ(vexo::Loc_FitHistogramPeak(&two, h), 0);
    const uint16_t hump[] = {0, 100, 400, 600, 400, 100, 0};
    for (int i = 0; i < 7; ++i) h[2 * i] = hump[i];
    vexo::SPACING_PEAK peak{};
    peak.start = 0;
    peak.end = 12;
    ASSERT_EQ(vexo::Loc_FitHistogramPeak(&peak, h), 1);
    EXPECT_LT(peak.low, 6);
    EXPECT_GT(peak.high, 6);
    EXPECT_EQ(peak.centre, (peak.low + peak.high + 1) >> 1);
    EXPECT_GT(peak.area, 0);
    // Band selection over an empty histogram: mean 0 and a clear mask.
    uint16_t empty[vexo::kSpacingBins] = {};
    map[5] = 1;
    EXPECT_EQ(vexo::Loc_SelectSpacingBands(empty), 0);
    EXPECT_EQ(map[5], 0);
}

TEST_F(AltSpacingTest, CellHullStatsAndRectangle) {
    FlatGrid(200, 200);
    Cells(10, 20, 30, 28, 6, vexo::kSpacingRow);
    Cells(12, 22, 14, 24, 0, vexo::kSpacingNone);  // filled by the filters: no spacing
    ASSERT_EQ(vexo::Loc_TraceCellHull(10, 20), 4);
    const vexo::GEO_POINT expected[4] = {{10, 20}, {29, 20}, {29, 27}, {10, 27}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(g_cellGrid.hull[k].x, expected[k].x) << k;
        EXPECT_EQ(g_cellGrid.hull[k].y, expected[k].y) << k;
    }
    vexo::GEO_POINT c[4];
    EXPECT_EQ(vexo::Loc_CellHullRectangle(c, g_cellGrid.hull, 4), 19u * 7u);
    const vexo::GEO_POINT pixels[4] = {{40, 80}, {116, 80}, {116, 108}, {40, 108}};  // 4 px a cell, long side first
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(c[k].x, pixels[k].x) << k;
        EXPECT_EQ(c[k].y, pixels[k].y) << k;
    }
    SpacingCell(45, 45, 9, vexo::kSpacingColumn);  // outside the hull: kept
    vexo::HULL_STATS st{};
    st.marked = 999;  // set first
    vexo::Loc_ClearCellHull(g_cellGrid.hull, 4, &st);
    // Rows 20..26 over columns 9..30 and row 27 over 10..29.
    EXPECT_EQ(st.area, 7u * 22u + 20u);
    EXPECT_EQ(st.marked, 160u);
    EXPECT_EQ(st.spacingSum, 156u * 6u);
    EXPECT_EQ(st.directions[vexo::kSpacingRow], 156u);
    EXPECT_EQ(st.directions[vexo::kSpacingNone], 4u);
    EXPECT_EQ(MarkedCells(), 1);
    // Fewer than three points clear and count nothing.
    Cells(5, 40, 25, 41, 6, vexo::kSpacingRow);
    EXPECT_EQ(vexo::Loc_TraceCellHull(5, 40), 2);
    vexo::Loc_ClearCellHull(g_cellGrid.hull, 2, &st);
    EXPECT_EQ(st.marked, 0u);
    EXPECT_EQ(MarkedCells(), 21);
}

TEST_F(AltSpacingTest, EvaluationTestsOfABlob) {
    struct BlobCase {
        const char *name;
        int x0, y0, x1, y1;  // a block of cells
        int spacing, code;
        bool hollow;         // the block's outline only
        int written, aligned;
    };
    const BlobCase cases[] = {
        {"bars across the long side", 10, 10, 40, 22, 6, vexo::kSpacingRow, false, 1, 1},
        {"bars along the long side", 10, 10, 40, 22, 6, vexo::kSpacingColumn, false, 0, 0},
        {"square block, no orientation test", 10, 10, 25, 25, 6, vexo::kSpacingColumn, false, 1, 0},
        {"short side under 5.7 spacings", 10, 10, 40, 18, 6, vexo::kSpacingRow, false, 0, 0},
        {"too few cells for spacing 62", 10, 10, 40, 22, 62, vexo::kSpacingRow, false, 0, 0},
        {"filled cells without spacing", 10, 10, 40, 22, 0, vexo::kSpacingNone, false, 0, 0},
        {"hull less than half filled", 10, 10, 40, 22, 6, vexo::kSpacingRow, true, 0, 0},
    };
    for (const BlobCase &c : cases) {
        SCOPED_TRACE(c.name);
        FlatGrid(200, 120);
        Cells(c.x0, c.y0, c.x1, c.y1, c.spacing, c.code);
        if (c.hollow) Cells(c.x0 + 1, c.y0 + 1, c.x1 - 1, c.y1 - 1, 0, 0);
        if (c.hollow)
            for (int y = c.y0 + 1; y < c.y1 - 1; ++y)
                for (int x = c.x0 + 1; x < c.x1 - 1; ++x) g_cellGrid.m5[y * g_cellGrid.across + x] = 0;
        vexo::SPACING_REGION r{};
        r.aligned = 7;
        ASSERT_EQ(vexo::Loc_EvaluateSpacingRegion(c.x0, c.y0, &r), c.written);
        EXPECT_EQ(MarkedCells(), 0);  // cleared whatever the outcome
        if (c.written == 0) {
            EXPECT_EQ(r.aligned, 7);
            continue;
        }
        EXPECT_EQ(r.aligned, c.aligned);
        // The rectangle's box widened by 8 pixels.
        EXPECT_EQ(r.left, 4 * c.x0 - 8);
        EXPECT_EQ(r.right, 4 * (c.x1 - 1) + 8);
        EXPECT_EQ(r.top, 4 * c.y0 - 8);
        EXPECT_EQ(r.bottom, 4 * (c.y1 - 1) + 8);
    }
    // Clamped to the frame, and the spiral's form writes the box alone.
    FlatGrid(200, 120);
    Cells(1, 1, 49, 29, 6, vexo::kSpacingRow);
    vexo::SPACING_REGION r{};
    ASSERT_EQ(vexo::Loc_EvaluateSpacingRegion(1, 1, &r), 1);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 199);
    EXPECT_EQ(r.bottom, 119);
}

// Counts beyond 16 bits: a blob of 300 x 230 cells of a 1280 x 960 frame, and a density
// above 32,767.
TEST_F(AltSpacingTest, BlobBeyondSixteenBitCounts) {
    FlatGrid(1280, 960);
    Cells(10, 5, 310, 235, 6, vexo::kSpacingRow);
    ASSERT_EQ(vexo::Loc_TraceCellHull(10, 5), 4);
    vexo::HULL_STATS st{};
    vexo::Loc_ClearCellHull(g_cellGrid.hull, 4, &st);
    EXPECT_EQ(st.marked, 69000u);
    EXPECT_EQ(st.spacingSum, 414000u);
    Cells(10, 5, 310, 235, 6, vexo::kSpacingRow);
    vexo::SPACING_REGION r{};
    EXPECT_EQ(vexo::Loc_EvaluateSpacingRegion(10, 5, &r), 1);
    EXPECT_EQ(r.left, 32);
    EXPECT_EQ(r.right, 1244);
    // 100 x 100 cells of spacing 2: the density 16 d^3 / S^2 = 40,000 is kept whole (as a
    // 16-bit value it would turn negative and reject the blob).
    Cells(20, 20, 120, 120, 2, vexo::kSpacingRow);
    EXPECT_EQ(vexo::Loc_EvaluateSpacingRegion(20, 20, &r), 1);
    EXPECT_EQ(r.top, 72);
}

TEST_F(AltSpacingTest, FinderOnFlatAndPatchedFrames) {
    GreyFrame flat(320, 240, 128);
    flat.Noise(80, 2);
    Install(flat);
    vexo::g_spacingRegions[0].top = 77;
    EXPECT_EQ(vexo::Loc_FindSpacingRegions(), 0);
    EXPECT_EQ(vexo::g_spacingRegions[0].top, 77);
    // 88 square patches of bars 3 to 6 px wide, 66 px apart (no spacing spans a gap):
    // the table fills at 64, every box inside the frame.
    GreyFrame patches(1280, 960, 200);
    std::mt19937 rng(80);
    for (int y0 = 8; y0 + 48 < 960; y0 += 114)
        for (int x0 = 8; x0 + 48 < 1280; x0 += 114) {
            bool dark = true;
            for (int x = x0; x < x0 + 48; dark = !dark)
                for (int k = 0, wide = 3 + static_cast<int>(rng() % 4); k < wide && x < x0 + 48; ++k, ++x)
                    for (int y = y0; y < y0 + 48; ++y) patches.At(x, y) = dark ? 40 : 200;
        }
    patches.Noise(80, 3);
    Install(patches);
    ASSERT_EQ(vexo::Loc_FindSpacingRegions(), vexo::kSpacingRegionsMax);
    std::vector<int> seen;
    for (int k = 0; k < vexo::kSpacingRegionsMax; ++k) {
        const vexo::SPACING_REGION &r = vexo::g_spacingRegions[vexo::g_spacingOrder[k]];
        seen.push_back(vexo::g_spacingOrder[k]);
        EXPECT_EQ(r.aligned, 0) << k;  // square patches
        // One patch each: its centre on a patch, its size near one.
        EXPECT_LE(r.right - r.left, 48 + 32) << k;
        EXPECT_LE(r.bottom - r.top, 48 + 32) << k;
        EXPECT_LT(((r.left + r.right) / 2 - 8) % 114, 48) << k;
        EXPECT_LT(((r.top + r.bottom) / 2 - 8) % 114, 48) << k;
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right < 1280 && r.bottom < 960) << k;
    }
    std::sort(seen.begin(), seen.end());
    for (int k = 0; k < vexo::kSpacingRegionsMax; ++k) EXPECT_EQ(seen[static_cast<size_t>(k)], k);
}

TEST_F(AltSpacingTest, SpiralGoesOnFromTheNextRing) {
    FlatGrid(400, 400);  // 100 x 100 cells, centre (50, 50)
    Disc(50, 44, 4, 6);   // nearest cell on ring 2
    Disc(50, 80, 6, 6);   // nearest cell on ring 24
    ASSERT_EQ(g_cellGrid.ringRadius, 1);
    // From the middle of a run the trace starts on the blob's top; hulls of 8 points or
    // fewer (a square block) are rejected before any clearing.
    uint16_t start = 9;
    const int points = vexo::Loc_TraceCellHullFromRun(47, 44, &start);
    EXPECT_EQ(start, 0);
    EXPECT_GT(points, 8);
    EXPECT_EQ(g_cellGrid.hull[0].y, 40);
    Cells(80, 80, 90, 90, 6, vexo::kSpacingRow);
    vexo::SPACING_REGION r{};
    EXPECT_EQ(vexo::Loc_EvaluateSpacingRegionAt(85, 85, &r), 0);
    EXPECT_EQ(g_cellGrid.m5[85 * 100 + 85], 1);
    for (int y = 80; y < 90; ++y)
        for (int x = 80; x < 90; ++x) g_cellGrid.m5[y * 100 + x] = 0;

    auto holdsDisc = [](const vexo::SPACING_REGION &b, int cx, int cy, int radius) {
        const int x0 = 4 * (cx - radius), x1 = 4 * (cx + radius) + 3;
        const int y0 = 4 * (cy - radius), y1 = 4 * (cy + radius) + 3;
        return b.left <= x0 && b.left >= x0 - 16 && b.right >= x1 - 4 && b.right <= x1 + 16 && b.top <= y0 &&
               b.top >= y0 - 16 && b.bottom >= y1 - 4 && b.bottom <= y1 + 16;
    };
    ASSERT_EQ(vexo::Loc_FindSpacingRegionSpiral(&r), 1);
    EXPECT_EQ(g_cellGrid.ringRadius, 3);
    EXPECT_TRUE(holdsDisc(r, 50, 44, 4)) << r.left << " " << r.top << " " << r.right << " " << r.bottom;
    // The same blob put back is met again on ring 3, not ring 2: the search goes on.
    Disc(50, 44, 4, 6);
    ASSERT_EQ(vexo::Loc_FindSpacingRegionSpiral(&r), 1);
    EXPECT_EQ(g_cellGrid.ringRadius, 4);
    ASSERT_EQ(vexo::Loc_FindSpacingRegionSpiral(&r), 1);
    EXPECT_EQ(g_cellGrid.ringRadius, 25);
    EXPECT_TRUE(holdsDisc(r, 50, 80, 6)) << r.left << " " << r.top << " " << r.right << " " << r.bottom;
    EXPECT_EQ(vexo::Loc_FindSpacingRegionSpiral(&r), 0);
    EXPECT_EQ(g_cellGrid.ringRadius, 48);  // 50 - 48 <= 2 ends the search
    EXPECT_EQ(vexo::Loc_FindSpacingRegionSpiral(&r), 0);
    // Set-up starts over.
    ASSERT_EQ(vexo::Loc_SetupCellGrid(), 1);
    EXPECT_EQ(g_cellGrid.ringRadius, 1);
}

TEST_F(AltSpacingTest, BarDirectionForEachBranch) {
    struct DirectionCase {
        uint16_t shares[4];  // rows, anti-diagonal, columns, diagonal
        int dx, dy, strength;
    };
    const DirectionCase cases[] = {
        {{200, 10, 50, 10}, 16, 0, 256},   {{200, 0, 0, 0}, 16, 0, 256},     {{50, 7, 200, 7}, 0, 16, 256},
        {{80, 7, 80, 7}, 0, 0, 64},        {{80, 20, 80, 40}, -16, 16, 128}, {{80, 0, 80, 40}, -16, 16, 256},
        {{80, 40, 80, 20}, 16, 16, 128},   {{100, 0, 0, 50}, -48, -16, 400}, {{0, 50, 100, 0}, 16, -48, -1},
    };
    for (const DirectionCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.shares[0] << " " << c.shares[1] << " " << c.shares[2] << " " << c.shares[3]);
        int dx = 99, dy = 99, strength = -99;
        EXPECT_EQ(vexo::Loc_BarDirectionFromCounts(c.shares, &dx, &dy, &strength), 1);
        EXPECT_EQ(dx, c.dx);
        EXPECT_EQ(dy, c.dy);
        if (c.strength >= 0) {
            EXPECT_EQ(strength, c.strength);
        }
    }
}

TEST_F(AltSpacingTest, OrderByDistanceKeepsTableOrderOnTies) {
    GreyFrame f(200, 100, 128);
    Install(f);
    auto box = [](int cx, int cy) {
        vexo::SPACING_REGION r{};
        r.left = static_cast<int16_t>(cx - 5);
        r.right = static_cast<int16_t>(cx + 5);
        r.top = static_cast<int16_t>(cy - 5);
        r.bottom = static_cast<int16_t>(cy + 5);
        return r;
    };
    vexo::g_spacingRegions[0] = box(130, 50);
    vexo::g_spacingRegions[1] = box(70, 50);
    vexo::g_spacingRegions[2] = box(100, 52);
    vexo::g_spacingRegions[3] = box(100, 70);
    vexo::Loc_SortSpacingRegions(4);
    const int16_t expected[] = {2, 3, 0, 1};
    for (int k = 0; k < 4; ++k) EXPECT_EQ(vexo::g_spacingOrder[k], expected[k]) << k;
}

TEST_F(AltSpacingTest, DumpAppendsOneLinePerRegion) {
    testkit::TempDir dir;
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    GreyFrame f(200, 100, 128);
    Install(f);
    vexo::g_spacingRegions[0].corners[0] = {110, 40};
    vexo::g_spacingRegions[0].corners[1] = {150, 40};
    vexo::g_spacingRegions[0].corners[2] = {150, 70};
    vexo::g_spacingRegions[0].corners[3] = {110, 70};
    vexo::Loc_DumpSpacingRegions(1);
    vexo::Loc_DumpSpacingRegions(1);
    std::ifstream in("D:\\AREASAS.txt", std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::current_path(before);
    char line[128];
    std::snprintf(line, sizeof(line), "%3.6f\t%3.6f\t%3.6f\t%d\t%d\r\n", (130.0 - 100) / 200, (55.0 - 50) / 100,
                  100.0 * 40 * 30 / (200.0 * 100), 200, 100);
    EXPECT_EQ(text, std::string(line) + line);
}

TEST_F(AltSpacingTest, OddAndTallFramesStayInside) {
    const int sizes[][2] = {{640, 479}, {640, 7}, {479, 480}, {7, 480}, {300, 1280}, {3, 3}, {8, 3}};
    for (const auto &sz : sizes) {
        SCOPED_TRACE(testing::Message() << sz[0] << "x" << sz[1]);
        GreyFrame f(sz[0], sz[1], 128);
        std::mt19937 rng(80u + static_cast<uint32_t>(sz[0]));
        for (int y = 0; y < f.height; ++y)
            for (int x = 0; x < f.width; ++x) f.At(x, y) = ((x / 5 + y / 7) % 2 != 0 ? 40 : 210) + rng() % 9;
        // A second buffer of exactly the frame's size, so that a write past it is caught.
        std::vector<uint8_t> second(static_cast<size_t>(sz[0]) * sz[1]);
        vexo::Pix_SetImagePointer(f.pixels.data());
        vexo::Pix_SetImageSize(f.width, f.height);
        vexo::Pix_SetSecondBuffer(second.data());
        EXPECT_EQ(vexo::Loc_SetupCellGrid(), 1);
        for (int k = 0; k < g_cellGrid.cells; ++k) {
            ASSERT_LT(g_cellGrid.m3[k], 64);
            ASSERT_LE(g_cellGrid.m5[k], 1);
        }
        const int found = vexo::Loc_FindSpacingRegions();
        EXPECT_LE(found, vexo::kSpacingRegionsMax);
        for (int k = 0; k < found; ++k) {
            const vexo::SPACING_REGION &r = vexo::g_spacingRegions[k];
            EXPECT_TRUE(r.left >= 0 && r.left <= r.right && r.right < sz[0]) << k;
            EXPECT_TRUE(r.top >= 0 && r.top <= r.bottom && r.bottom < sz[1]) << k;
        }
        vexo::Loc_SetupCellGrid();
        vexo::SPACING_REGION spiral{};
        for (int call = 0; call < 3; ++call) vexo::Loc_FindSpacingRegionSpiral(&spiral);
    }
}

}  // namespace

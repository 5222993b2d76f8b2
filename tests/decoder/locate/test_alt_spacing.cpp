// The spacing-region finder's grid: edge spacings along rows, columns and diagonals, the
// spacing bands, majority filters, directions, the region order and the debug dump.
#include <gtest/gtest.h>

#include <unistd.h>

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

class AltSpacingTest : public locate_test::LocateTest {};

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
    }
}

}  // namespace

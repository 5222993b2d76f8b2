// Block blobs: hulls, the clearing of their area and the rectangles around them, on block
// maps drawn by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "locate/block_blobs.h"
#include "locate_test.h"

namespace {

using vexo::GEO_POINT;

// A block map of the grid with the given size, cleared.
struct BlobMapFixture {
    BlobMapFixture(int n, int m) : across(n), down(m), cells(static_cast<size_t>(n) * m, 0) {
        vexo::g_blockGrid = vexo::BLOCK_GRID{};
        vexo::g_blockGrid.across = static_cast<vexo::u16>(n);
        vexo::g_blockGrid.down = static_cast<vexo::u16>(m);
        vexo::g_blockGrid.blocks = n * m;
    }
    uint8_t &At(int x, int y) { return cells[static_cast<size_t>(y) * across + x]; }
    void Fill(int x0, int y0, int x1, int y1, uint8_t v = 1) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) At(x, y) = v;
    }
    // Blocks whose centre lies in the rectangle of the given centre, sides and angle.
    void Rotated(double cx, double cy, double w, double h, double degrees) {
        const double a = degrees * 3.14159265358979 / 180.0, c = std::cos(a), s = std::sin(a);
        for (int y = 0; y < down; ++y)
            for (int x = 0; x < across; ++x) {
                const double dx = x - cx, dy = y - cy;
                if (std::fabs(dx * c + dy * s) <= w / 2 && std::fabs(-dx * s + dy * c) <= h / 2) At(x, y) = 1;
            }
    }
    bool FirstSet(int *x, int *y) {
        for (int j = 0; j < down; ++j)
            for (int i = 0; i < across; ++i)
                if (At(i, j) != 0) {
                    *x = i;
                    *y = j;
                    return true;
                }
        return false;
    }
    int across, down;
    std::vector<uint8_t> cells;
};

std::vector<GEO_POINT> BlobHullOf(BlobMapFixture &map, int *count) {
    std::vector<GEO_POINT> hull(vexo::kBlockHullMax);
    int x = 0, y = 0;
    map.FirstSet(&x, &y);
    *count = vexo::Loc_TraceBlockHull(map.cells.data(), x, y, hull.data());
    return hull;
}

class BlockHullTest : public locate_test::LocateTest {};

TEST_F(BlockHullTest, SolidRectangleGivesItsCornersAndClearsItsAreaWidened) {
    BlobMapFixture map(16, 12);
    map.Fill(0, 0, 15, 11, 0);
    map.Fill(3, 2, 9, 8);
    map.Fill(0, 10, 15, 11, 2);  // a second blob below, left alone except where widened
    int count = 0;
    std::vector<GEO_POINT> hull = BlobHullOf(map, &count);
    ASSERT_EQ(count, 4);
    const GEO_POINT want[4] = {{3, 2}, {9, 2}, {9, 8}, {3, 8}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(hull[k].x, want[k].x) << k;
        EXPECT_EQ(hull[k].y, want[k].y) << k;
    }
    map.Fill(0, 0, 15, 9, 1);  // everything set, to see exactly what the clearing takes
    vexo::Loc_ClearHullBlocks(map.cells.data(), hull.data(), count);
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool cleared = (y >= 2 && y <= 7 && x >= 2 && x <= 10) || (y == 8 && x >= 3 && x <= 9);
            EXPECT_EQ(map.At(x, y) == 0, cleared) << x << "," << y;
        }
}

TEST_F(BlockHullTest, ThinAndLoneBlobsAndDiamond) {
    {
        BlobMapFixture map(12, 6);
        map.Fill(2, 3, 8, 3);
        int count = 0;
        BlobHullOf(map, &count);
        EXPECT_EQ(count, 2) << "a single row";
    }
    {
        BlobMapFixture map(12, 6);
        map.At(4, 4) = 1;
        int count = 0;
        BlobHullOf(map, &count);
        EXPECT_EQ(count, 0) << "a lone block";
    }
    {
        // A lone block on the map's corner: its neighbours outside the map count as empty.
        BlobMapFixture map(4, 4);
        map.At(0, 0) = 1;
        std::vector<GEO_POINT> hull(vexo::kBlockHullMax);
        EXPECT_EQ(vexo::Loc_TraceBlockHull(map.cells.data(), 0, 0, hull.data()), 0);
    }
    {
        BlobMapFixture map(16, 16);
        for (int y = 2; y <= 12; ++y)
            for (int x = 2; x <= 12; ++x)
                if (std::abs(x - 7) + std::abs(y - 7) <= 5) map.At(x, y) = 1;
        int count = 0;
        std::vector<GEO_POINT> hull = BlobHullOf(map, &count);
        ASSERT_EQ(count, 4);
        const GEO_POINT want[4] = {{7, 2}, {12, 7}, {7, 12}, {2, 7}};
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(hull[k].x, want[k].x) << k;
            EXPECT_EQ(hull[k].y, want[k].y) << k;
        }
    }
}

TEST_F(BlockHullTest, ClearingStaysOnTheMapAtItsEdges) {
    // A hull touching column 0 and the last column clears from its widened span cut to the row.
    BlobMapFixture map(8, 6);
    map.Fill(0, 1, 7, 4);
    std::vector<uint8_t> guard(64, 0xA5);
    std::vector<uint8_t> padded(guard);
    padded.insert(padded.end(), map.cells.begin(), map.cells.end());
    padded.insert(padded.end(), guard.begin(), guard.end());
    std::vector<GEO_POINT> hull(vexo::kBlockHullMax);
    const int count = vexo::Loc_TraceBlockHull(padded.data() + 64, 0, 1, hull.data());
    ASSERT_EQ(count, 4);
    vexo::Loc_ClearHullBlocks(padded.data() + 64, hull.data(), count);
    for (int k = 0; k < 64; ++k) {
        EXPECT_EQ(padded[k], 0xA5);
        EXPECT_EQ(padded[padded.size() - 1 - k], 0xA5);
    }
    for (int k = 0; k < 48; ++k) EXPECT_EQ(padded[64 + k], 0) << k;
}

TEST_F(BlockHullTest, FootOfPerpendicular) {
    GEO_POINT foot{-1, -1};
    EXPECT_EQ(vexo::Loc_FootOfPerpendicular(&foot, {0, 0}, {10, 0}, {4, 7}), 1);
    EXPECT_EQ(foot.x, 4);
    EXPECT_EQ(foot.y, 0);
    foot = GEO_POINT{-1, -1};
    EXPECT_EQ(vexo::Loc_FootOfPerpendicular(&foot, {3, 3}, {3, 3}, {4, 7}), 0);
    EXPECT_EQ(foot.x, -1);
    EXPECT_EQ(foot.y, -1);
    // Pixel-scale coordinates of a 1280-pixel frame times 64: the exact foot (52428.8, 39321.6)
    // is truncated toward the mean of the three points, (54613, 20480).
    EXPECT_EQ(vexo::Loc_FootOfPerpendicular(&foot, {0, 0}, {81920, 61440}, {81920, 0}), 1);
    EXPECT_EQ(foot.x, 52429);
    EXPECT_EQ(foot.y, 39321);
}

TEST_F(BlockHullTest, RectangleAroundTurnedBlobs) {
    for (int deg = 0; deg <= 60; deg += 10) {
        SCOPED_TRACE(deg);
        BlobMapFixture map(40, 40);
        const double cx = 20, cy = 20, w = 16, h = 8;
        map.Rotated(cx, cy, w, h, deg);
        int count = 0;
        std::vector<GEO_POINT> hull = BlobHullOf(map, &count);
        ASSERT_GE(count, 3);
        GEO_POINT c[4];
        const unsigned area = vexo::Loc_MinAreaRectangle(c, hull.data(), count);
        EXPECT_GT(area, 80u);
        EXPECT_LE(area, 16u * 8u + 24u);
        // The true corners in pixels (block centres at 8 b + 4 map to 8 b), longer side first.
        const double a = deg * 3.14159265358979 / 180.0, co = std::cos(a), si = std::sin(a);
        const double ux[2] = {co * w / 2, -si * h / 2}, uy[2] = {si * w / 2, co * h / 2};
        double len01 = std::hypot(c[1].x - c[0].x, c[1].y - c[0].y), len12 = std::hypot(c[2].x - c[1].x, c[2].y - c[1].y);
        EXPECT_GE(len01, len12);
        for (int k = 0; k < 4; ++k) {
            double best = 1e9;
            for (int sx = -1; sx <= 1; sx += 2)
                for (int sy = -1; sy <= 1; sy += 2) {
                    const double tx = 8 * (cx + sx * ux[0] + sy * ux[1]), ty = 8 * (cy + sx * uy[0] + sy * uy[1]);
                    best = std::fmin(best, std::hypot(c[k].x - tx, c[k].y - ty));
                }
            EXPECT_LE(best, 8.0 * std::sqrt(2.0) + 1) << "corner " << k << " at " << c[k].x << "," << c[k].y;
        }
    }
}

TEST_F(BlockHullTest, RectangleOfFewPointsOrCoincidingSides) {
    const GEO_POINT two[2] = {{0, 0}, {5, 0}};
    GEO_POINT c[4] = {};
    EXPECT_EQ(vexo::Loc_MinAreaRectangle(c, two, 2), 0u);
    // Repeated points give sides of length 0, which are skipped.
    const GEO_POINT repeated[5] = {{3, 2}, {9, 2}, {9, 2}, {9, 8}, {3, 8}};
    EXPECT_EQ(vexo::Loc_MinAreaRectangle(c, repeated, 5), 36u);
    EXPECT_EQ(c[0].x, 24);
    EXPECT_EQ(c[0].y, 16);
    EXPECT_EQ(c[2].x, 72);
    EXPECT_EQ(c[2].y, 64);
}

TEST_F(BlockHullTest, FullHullListReducesWithoutOverrun) {
    // A big disc has far more corner candidates than the list holds.
    BlobMapFixture map(200, 200);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x)
            if ((x - 100) * (x - 100) + (y - 100) * (y - 100) <= 97 * 97) map.At(x, y) = 1;
    std::vector<GEO_POINT> hull(vexo::kBlockHullMax + 8, GEO_POINT{-7, -7});
    int x = 0, y = 0;
    map.FirstSet(&x, &y);
    const int count = vexo::Loc_TraceBlockHull(map.cells.data(), x, y, hull.data());
    EXPECT_GE(count, 3);
    EXPECT_LE(count, vexo::kBlockHullMax);
    for (int k = vexo::kBlockHullMax; k < vexo::kBlockHullMax + 8; ++k) EXPECT_EQ(hull[k].x, -7);
    GEO_POINT c[4];
    EXPECT_GT(vexo::Loc_MinAreaRectangle(c, hull.data(), count), 0u);
    vexo::Loc_ClearHullBlocks(map.cells.data(), hull.data(), count);
    EXPECT_EQ(map.At(100, 100), 0);
}

}  // namespace

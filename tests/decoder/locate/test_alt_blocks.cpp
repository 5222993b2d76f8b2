// Block blobs: hulls, the clearing of their area and the rectangles around them, on block
// maps drawn by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <utility>
#include <vector>

#include "locate/block_blobs.h"
#include "locate/texture_cells.h"
#include "locate/texture_finder.h"
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

namespace {

using locate_test::GreyFrame;

class BlockBlobTest : public locate_test::LocateTest {
protected:
    static uint8_t MapA(int x, int y) { return vexo::g_blockGrid.mapA[y * vexo::g_blockGrid.across + x]; }
};

// A disc of 4-pixel checker of the given radius around (cx, cy).
void BlobCheckerDisc(GreyFrame &f, int cx, int cy, int r) {
    for (int y = cy - r; y <= cy + r; ++y)
        for (int x = cx - r; x <= cx + r; ++x)
            if (x >= 0 && y >= 0 && x < f.width && y < f.height && (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r)
                f.At(x, y) = ((x / 4 + y / 4) % 2) != 0 ? 230 : 20;
}

TEST_F(BlockBlobTest, ContrastMarksFromTheMiddleCross) {
    struct {
        int hi, lo;
        bool marked;
    } const cases[] = {{47, 0, false}, {48, 36, true}, {48, 37, false}, {200, 150, true}, {200, 151, false}};
    for (const auto &c : cases) {
        GreyFrame f(64, 64, static_cast<uint8_t>(c.lo));
        f.At(16 + 4, 16 + 6) = static_cast<uint8_t>(c.hi);  // on the cross's column
        f.At(40, 40) = static_cast<uint8_t>(c.hi);          // off block (5, 5)'s cross
        Install(f);
        ASSERT_EQ(vexo::Loc_SetupBlockGrid(), 1);
        vexo::Loc_MarkContrastBlocks();
        EXPECT_EQ(MapA(2, 2) == 1, c.marked) << c.hi << "/" << c.lo;
        EXPECT_EQ(MapA(5, 5), 0);
    }
}

TEST_F(BlockBlobTest, DiagonalTestAndDirectionClasses) {
    GreyFrame f(64, 16, 100);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            f.At(x, y) = (x % 2) != 0 ? 200 : 40;            // vertical stripes
            f.At(8 + x, y) = (y % 2) != 0 ? 200 : 40;        // horizontal stripes
            f.At(16 + x, y) = (x % 2) != 0 ? 63 : 0;         // dark
            f.At(24 + x, y) = (x % 2) != 0 ? 200 : 160;      // small spread
            f.At(32 + x, y) = x == y ? 48 : (x == 7 - y ? 36 : 0);  // the off-diagonal pixels not sampled
            f.At(40 + x, y) = x == y ? 48 : (x == 7 - y ? 37 : 0);
            f.At(48 + x, y) = x == y ? 47 : (x == 7 - y ? 0 : 255);
        }
    Install(f);
    const uint8_t *p = f.pixels.data();
    EXPECT_EQ(vexo::Loc_ClassifyBlockDirection(p), 1);
    EXPECT_EQ(vexo::Loc_ClassifyBlockDirection(p + 8), 3);
    EXPECT_EQ(vexo::Loc_ClassifyBlockDirection(p + 16), 0);
    EXPECT_EQ(vexo::Loc_ClassifyBlockDirection(p + 24), 0);
    EXPECT_EQ(vexo::Loc_BlockDiagonalContrast(p + 32), 1);
    EXPECT_EQ(vexo::Loc_BlockDiagonalContrast(p + 40), 0);
    EXPECT_EQ(vexo::Loc_BlockDiagonalContrast(p + 48), 0);
}

TEST_F(BlockBlobTest, FillOfSolidBlobsAndHoles) {
    GreyFrame f(160, 160, 0);
    Install(f);
    ASSERT_EQ(vexo::Loc_SetupBlockGrid(), 1);
    const int n = vexo::g_blockGrid.across;
    uint8_t *a = vexo::g_blockGrid.mapA;
    auto fillSquare = [&](int x0, int y0, int size, bool hole) {
        std::fill(a, a + vexo::g_blockGrid.blocks, 0);
        for (int y = y0; y < y0 + size; ++y)
            for (int x = x0; x < x0 + size; ++x) a[y * n + x] = 1;
        if (hole) a[(y0 + size / 2) * n + x0 + size / 2] = 0;
        vexo::Loc_FillBlockBlob(a, x0, y0);
    };
    fillSquare(4, 4, 5, false);
    for (int y = 4; y < 9; ++y)
        for (int x = 4; x < 9; ++x) {
            const bool inner = x > 4 && x < 8 && y > 4 && y < 8;
            const int v = MapA(x, y);
            if (inner) {
                EXPECT_EQ(v, 8) << x << "," << y;
            } else if (x == 4 && y == 4) {
                EXPECT_EQ(v, 1);
            } else {
                EXPECT_TRUE(v == 5 || v == 6) << x << "," << y << " " << v;
            }
        }
    vexo::Loc_MarkDenseBlocks(a);
    EXPECT_EQ(std::count(a, a + vexo::g_blockGrid.blocks, 1), 0);

    fillSquare(4, 4, 7, true);
    EXPECT_EQ(MapA(7, 7), 8) << "the hole";
    vexo::Loc_MarkDenseBlocks(a);
    EXPECT_EQ(MapA(7, 7), 1);
    EXPECT_EQ(MapA(4, 4), 0);

    // An outline reaching the grid's last column fills no further than that column.
    std::fill(a, a + vexo::g_blockGrid.blocks, 0);
    for (int y = 3; y < 8; ++y)
        for (int x = n - 6; x < n - 1; ++x) a[y * n + x] = 1;
    a[4 * n + n - 1] = 3;
    a[5 * n] = 3;
    vexo::Loc_FillBlockBlob(a, n - 6, 3);
    EXPECT_EQ(MapA(0, 5), 0) << "nothing carried into the next row";
}

TEST_F(BlockBlobTest, FinderBoxesNarrowFramesAndTheLeftEdge) {
    {
        GreyFrame f(40, 200, 128);
        f.Checker(0, 0, 40, 200, 4);
        Install(f);
        EXPECT_EQ(vexo::Loc_FindBlockBlobs(), 0);
    }
    {
        GreyFrame f(320, 240, 128);
        BlobCheckerDisc(f, 40, 120, 56);
        Install(f);
        ASSERT_EQ(vexo::Loc_FindBlockBlobs(), 1);
        const vexo::BLOCK_BOX &b = vexo::g_blockBoxes.box[0];
        EXPECT_EQ(b.left, 0);
        EXPECT_LE(b.top, 120);
        EXPECT_GE(b.bottom, 120);
        EXPECT_GE(b.right, 40);
    }
    {
        vexo::Pix_SetImagePointer(nullptr);
        EXPECT_EQ(vexo::Loc_FindBlockBlobs(), 0);
    }
}

TEST_F(BlockBlobTest, FiftyBoxesInScanOrderThenByCentre) {
    GreyFrame f(1280, 960, 128);
    for (int j = 0; j < 9; ++j)
        for (int i = 0; i < 12; ++i) BlobCheckerDisc(f, 53 + 106 * i, 53 + 106 * j, 44);
    Install(f);
    ASSERT_EQ(vexo::Loc_FindBlockBlobs(), 50);
    const vexo::BLOCK_BOX_TABLE &t = vexo::g_blockBoxes;
    // Table order is scan order: rows 0..3 of discs, then two of row 4.
    for (int b = 0; b < 50; ++b) {
        const int row = b < 48 ? b / 12 : 4;
        EXPECT_LE(t.box[b].top, 53 + 106 * row) << b;
        EXPECT_GE(t.box[b].bottom, 53 + 106 * row) << b;
    }
    auto key = [&](int b) {
        const int dx = (t.box[b].left + t.box[b].right) / 2 - 640, dy = (t.box[b].top + t.box[b].bottom) / 2 - 480;
        return dx * dx + dy * dy;
    };
    std::vector<int> seen(50, 0);
    for (int k = 0; k < 50; ++k) {
        ++seen[t.order[k]];
        if (k > 0) {
            EXPECT_LE(key(t.order[k - 1]), key(t.order[k]));
            if (key(t.order[k - 1]) == key(t.order[k])) {
                EXPECT_LT(t.order[k - 1], t.order[k]);
            }
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), 50);
}

}  // namespace

namespace {

class TextureCellTest : public locate_test::LocateTest {};

// Rows 0..7 of a frame all carry one profile; edges given as (position, level from there).
GreyFrame TextureProfileFrame(int width, std::initializer_list<std::pair<int, int>> steps) {
    GreyFrame f(width, 8, 0);
    for (int x = 0; x < width; ++x) {
        int level = 0;
        for (const auto &s : steps)
            if (x >= s.first) level = s.second;
        for (int y = 0; y < 8; ++y) f.At(x, y) = static_cast<uint8_t>(level);
    }
    return f;
}

TEST_F(TextureCellTest, RunsCountByAmplitudeAndBrightness) {
    struct {
        int from, to;
        bool counted;
    } const cases[] = {{20, 28, false}, {20, 29, true}, {200, 150, false}, {200, 140, true}};
    for (const auto &c : cases) {
        // The run turns back at the end so that it ends by reversal.
        GreyFrame f = TextureProfileFrame(64, {{0, c.from}, {30, c.to}, {50, c.to > c.from ? 0 : 255}});
        Install(f);
        std::vector<int16_t> starts(16), ends(16);
        vexo::EDGE_INTERVALS iv{starts.data(), ends.data(), 0, 16};
        std::vector<uint8_t> cells(16, 0);
        vexo::Loc_ScanRowDirections(f.pixels.data() + 2 * 64, 2, 56, &iv, cells.data());
        EXPECT_EQ(cells[29 / 4] != 0, c.counted) << c.from << " to " << c.to;
        if (c.counted) {
            EXPECT_EQ(cells[29 / 4], c.to > c.from ? 1 : 9);
        }
    }
}

TEST_F(TextureCellTest, IntervalsMergeWithin16Pixels) {
    for (int gap : {33, 32}) {
        GreyFrame f = TextureProfileFrame(160, {{0, 20}, {20, 120}, {20 + gap, 20}, {140, 120}});
        Install(f);
        std::vector<int16_t> starts(40), ends(40);
        vexo::EDGE_INTERVALS iv{starts.data(), ends.data(), 0, 40};
        std::vector<uint8_t> cells(40, 0);
        vexo::Loc_ScanRowDirections(f.pixels.data() + 2 * 160, 2, 150, &iv, cells.data());
        ASSERT_EQ(iv.count, gap == 33 ? 3 : 2) << gap;
        EXPECT_EQ(starts[0], 19 - 16);
        if (gap == 33) {
            EXPECT_EQ(ends[0], 19 + 16);
            EXPECT_EQ(starts[1], 19 + gap - 16);
        } else {
            EXPECT_EQ(ends[0], 19 + gap + 16);
        }
    }
}

TEST_F(TextureCellTest, GradientClasses) {
    struct {
        int gx, gy, cls;
    } const cases[] = {{11, 2, 1},    {10, 2, 2},    {10, 7, 3},    {10, -2, 16},  {10, -7, 15},  {-11, 2, 9},
                       {-10, 2, 8},   {-10, 7, 7},   {-10, -2, 10}, {-10, -7, 11}, {2, 11, 5},    {2, 10, 4},
                       {7, 10, 3},    {-2, 10, 6},   {-7, 10, 7},   {2, -11, 13},  {2, -10, 14},  {7, -10, 15},
                       {-2, -10, 12}, {-7, -10, 11}, {0, 0, 11}};
    for (const auto &c : cases) EXPECT_EQ(vexo::Loc_GradientClass(c.gx, c.gy), c.cls) << c.gx << "," << c.gy;
}

TEST_F(TextureCellTest, CrossingsAndBlocks) {
    struct {
        int a, b;
        bool marked;
    } const cases[] = {{1, 5, true}, {1, 3, false}, {2, 15, true}, {16, 3, true}, {16, 2, false}, {7, 0, false}};
    for (const auto &c : cases) {
        std::vector<uint8_t> map(16, 0), crossings(16, 7), blocks(4, 7);
        map[1 * 4 + 1] = static_cast<uint8_t>(c.a);
        map[1 * 4 + 2] = static_cast<uint8_t>(c.b);
        vexo::Loc_MarkCrossingCells(map.data(), crossings.data(), 4, 4);
        EXPECT_EQ(std::count(crossings.begin(), crossings.end(), 1), c.marked ? 2 : 0) << c.a << "," << c.b;
        vexo::Loc_CellsToBlocks(crossings.data(), blocks.data(), 2, 2);
        EXPECT_EQ(blocks[0], c.marked ? 1 : 0);
        EXPECT_EQ(blocks[1], c.marked ? 1 : 0);
        EXPECT_EQ(blocks[2] + blocks[3], 0);
    }
}

TEST_F(TextureCellTest, CheckerTextureMarksItsBlocksOnly) {
    GreyFrame small(7, 100, 0);
    Install(small);
    vexo::TEXTURE_LAYOUT t{};
    ASSERT_EQ(vexo::Loc_TextureLayout(&t), 1);
    EXPECT_EQ(t.cellsAcross, 0);

    GreyFrame f(200, 160, 128);
    f.Checker(64, 48, 144, 112, 5);
    Install(f);
    ASSERT_EQ(vexo::Loc_TextureLayout(&t), 1);
    vexo::Loc_BuildDirectionCells(t.directionCells, t.cellsAcross, t.cellsDown);
    vexo::Loc_MarkCrossingCells(t.directionCells, t.crossings, t.cellsAcross, t.cellsDown);
    vexo::Loc_CellsToBlocks(t.crossings, t.blocks, t.blocksAcross, t.blocksDown);
    int inside = 0, outside = 0;
    for (int by = 0; by < t.blocksDown; ++by)
        for (int bx = 0; bx < t.blocksAcross; ++bx) {
            const bool in = bx >= 7 && bx <= 18 && by >= 5 && by <= 14;
            const bool near = bx >= 6 && bx <= 19 && by >= 4 && by <= 15;
            const int v = t.blocks[by * t.blocksAcross + bx];
            inside += in && v;
            outside += !near && v;
        }
    EXPECT_GE(inside, 12 * 10 * 3 / 4);
    EXPECT_EQ(outside, 0);
}

}  // namespace

namespace {

class BlockGradeTest : public locate_test::LocateTest {};

TEST_F(BlockGradeTest, SquareOfCrossingBlocksGradesByDepth) {
    GreyFrame f(120, 120, 0);
    Install(f);
    const int n = 15;
    std::vector<uint8_t> map(n * n, 0);
    for (int y = 5; y < 10; ++y)
        for (int x = 5; x < 10; ++x) map[y * n + x] = 1;
    vexo::Loc_GradeBlocks(map.data(), n, n);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const bool inner = x >= 6 && x <= 8 && y >= 6 && y <= 8;
            const bool square = x >= 5 && x <= 9 && y >= 5 && y <= 9;
            const bool beside = ((x == 4 || x == 10) && y >= 5 && y <= 9) || ((y == 4 || y == 10) && x >= 5 && x <= 9);
            const int want = inner ? 3 : (square ? 2 : (beside ? 1 : 0));
            EXPECT_EQ(map[y * n + x], want) << x << "," << y;
        }
    std::fill(map.begin(), map.end(), 0);
    map[7 * n + 7] = 1;
    vexo::Loc_GradeBlocks(map.data(), n, n);
    EXPECT_EQ(std::count(map.begin(), map.end(), 0), n * n);
    // The box count itself, cut at the edges.
    std::fill(map.begin(), map.end(), 1);
    std::vector<uint8_t> out(n * n, 0);
    vexo::Loc_BoxCount(map.data(), out.data(), n, n, 2);
    EXPECT_EQ(out[0], 9);
    EXPECT_EQ(out[7 * n + 7], 25);
    EXPECT_EQ(out[7 * n], 15);
}

TEST_F(BlockGradeTest, CrossGradingOnASquareAndALoneBlock) {
    GreyFrame f(120, 120, 0);
    Install(f);
    const int n = 15;
    std::vector<uint8_t> map(n * n, 0);
    for (int y = 3; y < 12; ++y)
        for (int x = 3; x < 12; ++x) map[y * n + x] = 1;
    vexo::Loc_GradeBlocksCross(map.data(), n, n);
    EXPECT_EQ(map[7 * n + 7], 3);
    EXPECT_EQ(map[0], 0);
    EXPECT_EQ(map[14 * n + 14], 0);
    std::fill(map.begin(), map.end(), 0);
    map[7 * n + 7] = 1;
    vexo::Loc_GradeBlocksCross(map.data(), n, n);
    EXPECT_EQ(std::count(map.begin(), map.end(), 0), n * n);
}

TEST_F(BlockGradeTest, LabellingJoinsRunsAndArms) {
    const int n = 12, m = 8;
    std::vector<vexo::TEXTURE_COMPONENT> records(vexo::kTextureComponentsMax);
    std::vector<uint8_t> labels(n * m, 9);
    {
        // One run above two runs: one component. A U whose arms meet lower down: one more.
        const char *rows[m] = {"111.....1..1", "1.1.....1..1", "........1..1", "........1111",
                               "............", "..2222......", "..2..2......", ".22..222...."};
        std::vector<uint8_t> map(n * m, 0);
        for (int y = 0; y < m; ++y)
            for (int x = 0; x < n; ++x) map[y * n + x] = rows[y][x] == '.' ? 0 : static_cast<uint8_t>(rows[y][x] - '0');
        EXPECT_EQ(vexo::Loc_LabelBlockComponents(map.data(), labels.data(), records.data(), n, m, 0), 3);
        EXPECT_EQ(labels[1 * n + 0], labels[1 * n + 2]);
        EXPECT_EQ(records[1].size, 5);
        EXPECT_EQ(records[1].startX, 0);
        EXPECT_EQ(records[2].startX, 8);
        EXPECT_EQ(records[2].startY, 0);
        EXPECT_EQ(records[2].size, 10);
        EXPECT_EQ(labels[3 * n + 11], 2);
        EXPECT_EQ(records[3].startX, 2);
        EXPECT_EQ(records[3].startY, 5);
        EXPECT_EQ(records[3].size, 11);
        // Above level 1 only the 2s remain.
        EXPECT_EQ(vexo::Loc_LabelBlockComponents(map.data(), labels.data(), records.data(), n, m, 1), 1);
        EXPECT_EQ(labels[0], 0);
    }
    {
        // 254 separate blocks: the 254th label answers 0 and leaves no labels behind.
        const int w = 64, h = 16;
        std::vector<uint8_t> map(w * h, 0), lab(w * h, 0);
        int placed = 0;
        for (int y = 0; y < h; y += 2)
            for (int x = 0; x < w; x += 2)
                if (placed < 254) {
                    map[y * w + x] = 1;
                    ++placed;
                }
        EXPECT_EQ(vexo::Loc_LabelBlockComponents(map.data(), lab.data(), records.data(), w, h, 0), 0);
        EXPECT_EQ(std::count(lab.begin(), lab.end(), 0), w * h);
        map[14 * w + 58] = 0;  // the last one: 253 blocks fit
        EXPECT_EQ(vexo::Loc_LabelBlockComponents(map.data(), lab.data(), records.data(), w, h, 0), 253);
    }
}

}  // namespace

namespace {

// Hand-made grade maps of n x m blocks on an installed frame of 8n x 8m pixels: labelled at
// the finder's three levels, then the finder's passes.
class TextureSelectTest : public locate_test::LocateTest {
protected:
    void Grades(int n, int m) {
        frame_ = GreyFrame(8 * n, 8 * m, 0);
        Install(frame_);
        ASSERT_EQ(vexo::Loc_TextureFinderAreas(&layout_, &areas_), 1);
        n_ = n;
        m_ = m;
        std::fill(layout_.blocks, layout_.blocks + n * m, 0);
    }
    void Rect(int x0, int y0, int x1, int y1, int grade) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) layout_.blocks[y * n_ + x] = static_cast<uint8_t>(grade);
    }
    void Label() {
        for (int level = 2; level >= 0; --level)
            counts_[2 - level] =
                vexo::Loc_LabelBlockComponents(layout_.blocks, areas_.labels[2 - level], areas_.components[2 - level], n_, m_, level);
    }
    int Select(int capacity) {
        Label();
        return vexo::Loc_SelectTextureQuads(areas_, counts_, n_, m_, capacity);
    }
    vexo::TEXTURE_COMPONENT &Grade1(int k) { return areas_.components[2][k]; }
    GreyFrame frame_{8, 8};
    vexo::TEXTURE_LAYOUT layout_{};
    vexo::TEXTURE_FINDER_AREAS areas_{};
    int counts_[3] = {};
    int n_ = 0, m_ = 0;
};

TEST_F(TextureSelectTest, NestedLevelsOfOneAreaGiveTheGrade1Rectangle) {
    Grades(20, 16);
    Rect(2, 3, 7, 8, 1);  // 36
    Rect(2, 3, 6, 7, 2);  // 25
    Rect(2, 3, 5, 6, 3);  // 16: a3 9, a2 8, a1 7
    ASSERT_EQ(Select(8), 1);
    EXPECT_EQ(Grade1(1).size, 1);
    const vexo::REGION_QUAD &q = areas_.quads[0];
    int minX = 1 << 20, maxX = -1, minY = 1 << 20, maxY = -1;
    for (const auto &c : q.c) {
        minX = std::min(minX, c.x);
        maxX = std::max(maxX, c.x);
        minY = std::min(minY, c.y);
        maxY = std::max(maxY, c.y);
    }
    EXPECT_EQ(minX, 20);  // block centres 8 x + 4 of columns 2..7 and rows 3..8
    EXPECT_EQ(maxX, 60);
    EXPECT_EQ(minY, 28);
    EXPECT_EQ(maxY, 68);
}

TEST_F(TextureSelectTest, SmallGrade3AndTheFailedQuad) {
    Grades(48, 8);
    Rect(2, 2, 9, 2, 3);  // 8 grade-3 blocks in a row: not considered
    EXPECT_EQ(Select(8), 0);
    EXPECT_EQ(Grade1(1).size, 8);
    // A row of 40: 9 at grade 3, 7 at grade 2, 24 at grade 1 (a3 8, a2 7, a1 7): one area,
    // but a single row has no rectangle; nothing is output and the record stays invalid.
    Grades(48, 8);
    Rect(2, 2, 41, 2, 1);
    Rect(2, 2, 17, 2, 2);
    Rect(2, 2, 10, 2, 3);
    EXPECT_EQ(Select(8), 0);
    EXPECT_EQ(Grade1(1).size, 0);
}

TEST_F(TextureSelectTest, ElongatedWinnersAreTakenButNotOutput) {
    // A grade-2 area above 36 blocks inside a grade-1 area of 65 or more: the grade-1
    // rectangle grown by 4 has extents 8 x its blocks; 18 x 6 is exactly 3 : 1.
    for (int across : {18, 17}) {
        Grades(24, 12);
        Rect(2, 2, 1 + across, 7, 1);
        Rect(3, 3, across, 6, 2);
        ASSERT_EQ(Select(8), across == 18 ? 0 : 1) << across;
        EXPECT_EQ(Grade1(1).size, 1);
        EXPECT_EQ(Grade1(1).extentA, 8 * across);
        EXPECT_EQ(Grade1(1).extentB, 48);
        EXPECT_EQ(areas_.components[1][1].size, 0);
    }
}

TEST_F(TextureSelectTest, ScoresPickTheStrictlyLargestLevel) {
    // Squares of 3, 10 and 12 blocks (a3 8, a2 13, a1 13): every grown rectangle is filled to
    // 2500 / 160000, so the scores are 9 x 1000, (100 - 9) x 1000 and (144 - 100) x 1000.
    Grades(24, 24);
    Rect(2, 2, 13, 13, 1);
    Rect(3, 3, 12, 12, 2);
    Rect(5, 5, 7, 7, 3);
    ASSERT_EQ(Select(8), 1);
    EXPECT_EQ(areas_.components[1][1].size, 1) << "grade 2 wins";
    EXPECT_EQ(Grade1(1).size, 0);
    EXPECT_EQ(areas_.components[0][1].size, 9);
    EXPECT_EQ(areas_.components[1][1].extentA, 96);
    // A grade-1 square of 20 blocks: (400 - 100) x 1000 wins; the grade-2 record stays.
    Grades(24, 24);
    Rect(2, 2, 21, 21, 1);
    Rect(3, 3, 12, 12, 2);
    Rect(5, 5, 7, 7, 3);
    ASSERT_EQ(Select(8), 1);
    EXPECT_EQ(Grade1(1).size, 1) << "grade 1 wins";
    EXPECT_EQ(areas_.components[1][1].size, 100);
    EXPECT_EQ(Grade1(1).extentA, 160);
}

TEST_F(TextureSelectTest, CapacityEndsTheRun) {
    Grades(40, 12);
    for (int x0 : {2, 20}) {
        Rect(x0, 3, x0 + 5, 8, 1);
        Rect(x0, 3, x0 + 4, 7, 2);
        Rect(x0, 3, x0 + 3, 6, 3);
    }
    EXPECT_EQ(Select(1), 1);
    EXPECT_EQ(Grade1(2).size, 36) << "the second area is left alone";
    Grades(40, 12);
    for (int x0 : {2, 20}) {
        Rect(x0, 3, x0 + 5, 8, 1);
        Rect(x0, 3, x0 + 4, 7, 2);
        Rect(x0, 3, x0 + 3, 6, 3);
    }
    EXPECT_EQ(Select(2), 2);
    EXPECT_EQ(vexo::Loc_FindTextureQuads(0), 0);
}

TEST_F(TextureSelectTest, OverlappingQuadsMergeIntoOneBox) {
    Grades(40, 40);
    auto quad = [](int l, int t, int r, int b) { return locate_test::Box(l, t, r, b); };
    vexo::TEXTURE_BOX boxes[4];
    const vexo::REGION_QUAD two[2] = {quad(10, 10, 50, 50), quad(40, 40, 90, 80)};
    ASSERT_EQ(vexo::Loc_MergeQuadBoxes(two, 2, boxes), 1);
    EXPECT_EQ(boxes[0].top, 10);
    EXPECT_EQ(boxes[0].right, 90);
    // P and Q apart, R overlaps Q, and Q with R overlaps P.
    const vexo::REGION_QUAD pqr[3] = {quad(10, 10, 40, 40), quad(30, 100, 60, 150), quad(50, 20, 120, 110)};
    ASSERT_EQ(vexo::Loc_MergeQuadBoxes(pqr, 3, boxes), 1);
    EXPECT_EQ(boxes[0].top, 10);
    EXPECT_EQ(boxes[0].left, 10);
    EXPECT_EQ(boxes[0].right, 120);
    EXPECT_EQ(boxes[0].bottom, 150);
    const vexo::REGION_QUAD apart[2] = {quad(10, 10, 20, 20), quad(-5, 200, 400, 400)};
    ASSERT_EQ(vexo::Loc_MergeQuadBoxes(apart, 2, boxes), 2);
    EXPECT_EQ(boxes[1].left, 0);
    EXPECT_EQ(boxes[1].right, 320);
    EXPECT_EQ(boxes[1].bottom, 320);
}

TEST_F(TextureSelectTest, GrowingLongSidesKeepsItsDirection) {
    // Sides beyond 819 pixels: a x ox no longer fits 16 bits.
    vexo::TEXTURE_COMPONENT r{};
    r.corners[0] = {100, 100};
    r.corners[1] = {1100, 100};
    r.corners[2] = {1100, 400};
    r.corners[3] = {100, 400};
    int16_t e1 = 0, e2 = 0;
    EXPECT_EQ(vexo::Loc_GrowComponentQuad(&r, 20, &e1, &e2), 1040 * 340);
    EXPECT_EQ(e1, 1040);
    EXPECT_EQ(e2, 340);
    EXPECT_EQ(r.corners[0].x, 80);
    EXPECT_EQ(r.corners[0].y, 80);
    EXPECT_EQ(r.corners[2].x, 1120);
    EXPECT_EQ(r.corners[2].y, 420);
}

}  // namespace

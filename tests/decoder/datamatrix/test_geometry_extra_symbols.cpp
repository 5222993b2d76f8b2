// Data Matrix routines no decode path calls: the region-by-region perspective resampler
// (on synthetic images and end to end on the lattices the live locating measures for
// libzint renders), its tile and module binarisers, and the mends of its bounds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/params.h"
#include "core/pixel.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_ecc200.h"
#include "datamatrix/dm_geometry_extra.h"
#include "datamatrix/dm_stages.h"
#include "datamatrix/test_hooks_dm.h"
#include "dm_symbols_util.h"
#include "datamatrix/dm_regularize.h"
#include "dm_test_util.h"
#include "support/render.h"
#include "support/testkit.h"
#include "toolkit/matrix.h"

namespace {

using vexo::GEO_POINT;

// The installed image of the resampler tests and a work memory beside it.
std::vector<uint8_t> g_gxPixels;
std::vector<uint8_t> g_gxWork;

void GxInstall(const std::vector<uint8_t> &pixels, int width, int height) {
    g_gxPixels = pixels;
    g_gxWork.assign(static_cast<size_t>(width) * static_cast<size_t>(height) > 400000 ? static_cast<size_t>(width) * height
                                                                                         : 400000,
                    0);
    vexo::Pix_SetImageSize(width, height);
    vexo::Pix_SetImagePointer(g_gxPixels.data());
    vexo::Pix_SetSecondBuffer(g_gxWork.data());
}

// An image whose pixel (x, y) holds f(x, y).
template <class F>
void GxInstallRamp(int width, int height, F f) {
    std::vector<uint8_t> p(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) p[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(f(x, y));
    }
    GxInstall(p, width, height);
}

TEST(DmResampleUnits, Bilinear10) {
    GxInstallRamp(20, 10, [](int x, int) { return 10 * x; });
    const uint8_t *img = g_gxPixels.data();
    struct GxBilinearCase {
        float x, y;
        int expected;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    const GxBilinearCase cases[] = {
        {3.5f, 2.0f, 35}, {3.0f, 2.0f, 30},  {3.95f, 5.5f, 39}, {0.9f, 2.0f, 127}, {19.0f, 2.0f, 127},
        {18.9f, 2.0f, 188}, {17.5f, 2.0f, 175}, {3.0f, 0.5f, 127}, {3.0f, 9.0f, 127}, {nan, 2.0f, 127},
        {inf, 2.0f, 127}, {-inf, 2.0f, 127}, {3.0f, 3.0e10f, 127}, {-3.0e10f, 2.0f, 127}};
    for (const GxBilinearCase &c : cases) {
        EXPECT_EQ(vexo::DM_SampleBilinear10(img, 20, c.x, c.y), c.expected) << c.x << ", " << c.y;
    }
    EXPECT_EQ(vexo::DM_SampleBilinear10(nullptr, 20, 3.0f, 3.0f), 127);
}

TEST(DmResampleUnits, ThresholdTiles) {
    // Tiles of 5 on a 12 x 6 map (smaller at the right and bottom edges), row by row.
    const int cols = 12, rows = 6, stride = 14;
    std::vector<uint8_t> grey(static_cast<size_t>(stride * rows), 0), bits(grey.size() + 4, 0xEE);
    const auto fill = [&](int tx, int ty, int lo, int hi) {
        for (int y = ty * 5; y < ty * 5 + 5 && y < rows; ++y) {
            for (int x = tx * 5; x < tx * 5 + 5 && x < cols; ++x) grey[static_cast<size_t>(y * stride + x)] = static_cast<uint8_t>((x + y) % 2 ? hi : lo);
        }
    };
    fill(0, 0, 120, 125);  // flat mid grey first: threshold 0
    fill(1, 0, 40, 200);   // contrast: threshold 120
    fill(2, 0, 118, 122);  // flat mid grey: keeps 120
    fill(0, 1, 205, 210);  // flat bright: 190
    fill(1, 1, 20, 30);    // flat dark: 45
    fill(2, 1, 100, 110);  // flat mid grey: keeps 45
    // Tile 4 or less writes nothing.
    vexo::DM_ThresholdTiles(grey.data(), bits.data(), cols, rows, stride, 4);
    for (uint8_t b : bits) ASSERT_EQ(b, 0xEE);
    vexo::DM_ThresholdTiles(grey.data(), bits.data(), cols, rows, stride, 5);
    const int thresholds[2][3] = {{0, 120, 120}, {190, 45, 45}};
    for (int y = 0; y < rows; ++y) {
        for (int x = 0; x < cols; ++x) {
            const size_t at = static_cast<size_t>(y * stride + x);
            EXPECT_EQ(bits[at], grey[at] < thresholds[y / 5][x / 5] ? 1 : 0) << x << ", " << y;
        }
        for (int x = cols; x < stride; ++x) EXPECT_EQ(bits[static_cast<size_t>(y * stride + x)], 0xEE);
    }
    for (size_t i = grey.size(); i < bits.size(); ++i) EXPECT_EQ(bits[i], 0xEE);
}

TEST(DmResampleUnits, BinariseModuleMapIsTheToolkitsWithMarginEight) {
    std::vector<uint8_t> grey(11 * 9);
    uint32_t seed = 7;
    for (uint8_t &g : grey) {
        seed = seed * 1103515245u + 12345u;
        g = static_cast<uint8_t>(seed >> 24);
    }
    for (int invert = 0; invert <= 1; ++invert) {
        std::vector<uint8_t> a(grey.size(), 9), b(grey.size(), 9);
        EXPECT_EQ(vexo::DM_BinariseModuleMap(grey.data(), a.data(), 11, 9, invert), 1);
        vexo::MODULE_BITS m{grey.data(), b.data(), 11, 9, invert, 1, 8};
        vexo::Geo_BinariseModules(&m);
        EXPECT_EQ(a, b) << invert;
    }
}

// A region of 10 x 8 modules, 6 pixels each, mapped frontally from (20, 10): module (X, Y)
// covers pixels 20 + 6 X .. + 6.
constexpr int kGxModule = 6;
void GxFrontalRegion(GEO_POINT corners[4], int cols, int rows) {
    corners[0] = {20, 10};
    corners[1] = {20, 10 + kGxModule * rows};
    corners[2] = {20 + kGxModule * cols, 10};
    corners[3] = {20 + kGxModule * cols, 10 + kGxModule * rows};
}

TEST(DmResampleUnits, RegionMeanRule) {
    // Dark where (X + Y) % 3 == 0, light elsewhere, over a 10 x 8 module region.
    GxInstallRamp(100, 70, [](int x, int y) {
        const int X = (x - 20) / kGxModule, Y = (y - 10) / kGxModule;
        return x >= 20 && y >= 10 && (X + Y) % 3 == 0 ? 40 : 200;
    });
    // Integer module points, the module corners those of the module centres.
    const GEO_POINT centres[4] = {{23, 13}, {23, 13 + 6 * 8}, {23 + 6 * 10, 13}, {23 + 6 * 10, 13 + 6 * 8}};
    const GEO_POINT modules[4] = {{0, 0}, {0, 8}, {10, 0}, {10, 8}};
    // Region of columns 2..7, rows 1..6 in a map of width 6: index Y * 6 + X.
    const int width = 6, rows = 6, col0 = 2, row0 = 1;
    std::vector<uint8_t> map(static_cast<size_t>((row0 + rows) * width + col0) + 4, 0xCC);
    ASSERT_EQ(vexo::DM_ResampleRegionMean(centres, modules, width, rows, col0, row0, map.data(), g_gxPixels.data()), 1);
    for (int Y = row0; Y < row0 + rows; ++Y) {
        for (int X = col0; X < col0 + width; ++X) {
            EXPECT_EQ(map[static_cast<size_t>(Y * width + X)], (X + Y) % 3 == 0 ? 1 : 0) << X << ", " << Y;
        }
    }
    for (size_t i = map.size() - 4; i < map.size(); ++i) EXPECT_EQ(map[i], 0xCC);
    // An empty region answers 0 and writes nothing.
    std::vector<uint8_t> untouched(64, 0xCC);
    EXPECT_EQ(vexo::DM_ResampleRegionMean(centres, modules, 0, 4, 0, 0, untouched.data(), g_gxPixels.data()), 0);
    EXPECT_EQ(vexo::DM_ResampleRegionMean(centres, modules, 4, 0, 0, 0, untouched.data(), g_gxPixels.data()), 0);
    for (uint8_t b : untouched) EXPECT_EQ(b, 0xCC);
}

TEST(DmResampleUnits, RegionSamplesModuleCentresInHalfModules) {
    GxInstallRamp(100, 70, [](int x, int y) {
        const int X = (x - 20) / kGxModule, Y = (y - 10) / kGxModule;
        return x >= 20 && y >= 10 && x < 80 && y < 58 ? 20 * (X % 10) + 3 * (Y % 8) + 10 : 250;
    });
    GEO_POINT corners[4];
    GxFrontalRegion(corners, 10, 8);
    const GEO_POINT half[4] = {{0, 0}, {0, 16}, {20, 0}, {20, 16}};
    // Two regions side by side in the map: this one is the second (colOrigin 10), its
    // half-module corners 20 .. 40 across; sample X = 21 lands 1/20 of the way in, on pixel 23
    // of module 0.
    std::vector<uint8_t> map(static_cast<size_t>(20 * 8) + 4, 0xCC);
    const GEO_POINT moduleCorners[4] = {{20, 0}, {20, 16}, {40, 0}, {40, 16}};
    ASSERT_EQ(vexo::DM_ResampleRegion(corners, moduleCorners, 2, 20, 16, 10, 0, g_gxPixels.data(), map.data()), 1);
    for (int Y = 0; Y < 8; ++Y) {
        for (int X = 0; X < 10; ++X) {
            const int v = map[static_cast<size_t>(Y * 20 + 10 + X)];
            EXPECT_NEAR(v, 20 * X + 3 * Y + 10, 1) << X << ", " << Y;
            EXPECT_EQ(map[static_cast<size_t>(Y * 20 + X)], 0xCC);
        }
    }
    for (size_t i = map.size() - 4; i < map.size(); ++i) EXPECT_EQ(map[i], 0xCC);
    // Coincident corners: singular; nearly coincident ones: coefficients the integer form
    // cannot hold. Neither writes.
    std::vector<uint8_t> untouched(map.size(), 0xCC);
    const GEO_POINT same[4] = {{30, 30}, {30, 30}, {30, 30}, {30, 30}};
    EXPECT_EQ(vexo::DM_ResampleRegion(same, half, 1, 20, 16, 0, 0, g_gxPixels.data(), untouched.data()), 0);
    const GEO_POINT far[4] = {{0, 0}, {0, 2000000000}, {2000000000, 0}, {2000000000, 2000000000}};
    const GEO_POINT tiny[4] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    EXPECT_EQ(vexo::DM_ResampleRegion(far, tiny, 1, 20, 16, 0, 0, g_gxPixels.data(), untouched.data()), 0);
    // A region beyond the map's stride.
    EXPECT_EQ(vexo::DM_ResampleRegion(corners, half, 1, 20, 16, 1, 0, g_gxPixels.data(), untouched.data()), 0);
    for (uint8_t b : untouched) EXPECT_EQ(b, 0xCC);
}

TEST(DmResampleUnits, SymbolBoundsAndSingularRegions) {
    // A frame large enough to lend the work memory.
    GxInstallRamp(640, 480, [](int, int) { return 128; });
    GEO_POINT lattice[vexo::kDmLatticeSide][vexo::kDmLatticeSide];
    for (int r = 0; r < vexo::kDmLatticeSide; ++r) {
        for (int c = 0; c < vexo::kDmLatticeSide; ++c) lattice[r][c] = {8 * c, 8 * r};
    }
    std::vector<uint8_t> map(vexo::kDmResampleAreaBytes + 8, 0xCC);
    // Seven regions a side leave the lattice; more than 144 modules a side the area.
    EXPECT_EQ(vexo::DM_ResampleSymbol(lattice, 4, 4, 7, 1, 1, g_gxPixels.data(), map.data()), -1);
    EXPECT_EQ(vexo::DM_ResampleSymbol(lattice, 4, 4, 1, 7, 1, g_gxPixels.data(), map.data()), -1);
    EXPECT_EQ(vexo::DM_ResampleSymbol(lattice, 25, 4, 1, 6, 1, g_gxPixels.data(), map.data()), -1);
    EXPECT_EQ(vexo::DM_ResampleSymbol(lattice, 4, 145, 1, 1, 1, g_gxPixels.data(), map.data()), -1);
    EXPECT_EQ(vexo::DM_ResampleSymbol(lattice, 2, 4, 1, 1, 1, g_gxPixels.data(), map.data()), -1);
    for (uint8_t b : map) ASSERT_EQ(b, 0xCC);
    // The largest: 6 x 6 regions of 24 modules.
    EXPECT_EQ(vexo::DM_ResampleSymbol(lattice, 24, 24, 6, 6, 1, g_gxPixels.data(), map.data()), 0);
    for (size_t i = vexo::kDmResampleAreaBytes; i < map.size(); ++i) EXPECT_EQ(map[i], 0xCC);
    // Coincident corners of one region.
    lattice[1][1] = lattice[0][0];
    lattice[1][0] = lattice[0][0];
    lattice[0][1] = lattice[0][0];
    EXPECT_EQ(vexo::DM_ResampleSymbol(lattice, 10, 10, 1, 1, 1, g_gxPixels.data(), map.data()), -1);
}

// ---------------------------------------------------------------------------------------
// Fitting and resampling

TEST(DmFitExtra, DefaultBilinearReader) {
    GxInstallRamp(16, 12, [](int x, int y) { return 16 * x + (y % 2); });
    for (int y = 0; y < 11; ++y) {
        for (int x = 0; x < 15; ++x) {
            EXPECT_EQ(vexo::DM_SampleBilinear16Default(16 * x, 16 * y, 7), 16 * x + (y % 2)) << x << ", " << y;
        }
    }
    EXPECT_EQ(vexo::DM_SampleBilinear16Default(16 * 3 + 8, 16 * 2, 7), 16 * 3 + 8);
    EXPECT_EQ(vexo::DM_SampleBilinear16Default(15 * 16, 16, 7), 7);
    EXPECT_EQ(vexo::DM_SampleBilinear16Default(16, 11 * 16, 7), 7);
    EXPECT_EQ(vexo::DM_SampleBilinear16DefaultChecked(0, 16, 7), 7);
    EXPECT_EQ(vexo::DM_SampleBilinear16DefaultChecked(16, -5, 7), 7);
    EXPECT_EQ(vexo::DM_SampleBilinear16DefaultChecked(16, 16, 7), 17);
}

TEST(DmFitExtra, ResampleGridThroughAScaledTransform) {
    GxInstallRamp(15, 12, [](int x, int) { return 16 * x; });
    const int cols = 12, rows = 9, step = 14, offset = 3;
    for (int64_t scale : {int64_t{1}, int64_t{1} << 24}) {
        for (int yOffset : {0, -2}) {
            vexo::RESAMPLE_WALK w{};
            w.transform = vexo::PERSPECTIVE{{4 * scale, 0, 0, 0, 4 * scale, 0, 0, 0, scale}};
            w.firstCol = 1, w.firstRow = 0, w.lastCol = cols, w.lastRow = rows - 1;
            w.outStep = step, w.outOffset = offset, w.defaultGrey = 99, w.yOffset = yOffset;
            std::vector<uint8_t> raster(static_cast<size_t>(offset + rows * step + 4), 0xCC);
            w.out = raster.data();
            ASSERT_EQ(vexo::DM_ResampleGrid(&w), 1);
            for (int v = 0; v < rows; ++v) {
                for (int u = 1; u <= cols; ++u) {
                    // Cell (u, v) at (16 u + 2, 16 v + 2); the last columns reach the frame's edge.
                    const int expected = (v == 0 && yOffset == -2) || u >= 14 ? 99 : 16 * u + 2;
                    EXPECT_EQ(raster[static_cast<size_t>(offset + v * step + u - 1)], expected)
                        << "scale " << scale << " yOffset " << yOffset << " cell " << u << ", " << v;
                }
                for (int k = cols; k < step; ++k) EXPECT_EQ(raster[static_cast<size_t>(offset + v * step + k)], 0xCC);
            }
            for (int k = 0; k < offset; ++k) EXPECT_EQ(raster[static_cast<size_t>(k)], 0xCC);
        }
    }
    // Positions beyond every integer range read the default; an empty range writes nothing.
    vexo::RESAMPLE_WALK w{};
    w.transform = vexo::PERSPECTIVE{{int64_t{1} << 62, 0, 0, 0, int64_t{1} << 40, 0, 0, 0, 1}};
    w.firstCol = 1, w.lastCol = 4, w.lastRow = 0, w.outStep = 4, w.defaultGrey = 55;
    uint8_t out[6] = {0, 0, 0, 0, 0xCC, 0xCC};
    w.out = out;
    ASSERT_EQ(vexo::DM_ResampleGrid(&w), 1);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(out[k], 55) << k;
    w.lastCol = 0;
    out[0] = 0xCC;
    EXPECT_EQ(vexo::DM_ResampleGrid(&w), 1);
    EXPECT_EQ(out[0], 0xCC);
    EXPECT_EQ(vexo::DM_ResampleGrid(nullptr), 0);
}

TEST(DmFitExtra, MapPointQuarter) {
    const vexo::PERSPECTIVE identity{{1, 0, 0, 0, 1, 0, 0, 0, 1}};
    for (const int p : {0, 1, 7, 100, -3}) {
        int x = 0, y = 0;
        ASSERT_EQ(vexo::DM_MapPointQuarter(&identity, p, 2 * p, &x, &y), 1);
        EXPECT_EQ(x, 4 * p + 2);
        EXPECT_EQ(y, 8 * p + 2);
    }
    int x = -1, y = -1;
    const vexo::PERSPECTIVE zero{{1, 0, 0, 0, 1, 0, 0, 0, 0}};
    EXPECT_EQ(vexo::DM_MapPointQuarter(&zero, 0, 0, &x, &y), 0);
    const vexo::PERSPECTIVE big{{int64_t{1} << 40, 0, 0, 0, 1, 0, 0, 0, 1}};
    EXPECT_EQ(vexo::DM_MapPointQuarter(&big, 1000, 0, &x, &y), 0);  // beyond 32 bits
    const vexo::PERSPECTIVE huge{{int64_t{1} << 62, 0, 0, 0, 1, 0, 0, 0, 1}};
    EXPECT_EQ(vexo::DM_MapPointQuarter(&huge, 4, 0, &x, &y), 0);  // beyond 64 bits
    EXPECT_EQ(x, -1);
    EXPECT_EQ(vexo::DM_MapPointQuarter(nullptr, 0, 0, &x, &y), 0);
}

TEST(DmFitExtra, LineFitsAndSmoothing) {
    const double t[3] = {0, 1, 2}, v[3] = {1, 3, 5};
    double slope = -1, offset = -1;
    vexo::DM_FitLineDouble(3, t, v, &slope, &offset);
    EXPECT_DOUBLE_EQ(slope, 2.0);
    EXPECT_DOUBLE_EQ(offset, 1.0);
    vexo::DM_FitLineDouble(1, t, v, &slope, &offset);
    EXPECT_EQ(slope, 0.0);
    EXPECT_EQ(offset, 0.0);

    std::vector<GEO_POINT> line;
    for (int k = 0; k < 20; ++k) line.push_back({100 + 3 * k, 50 - 2 * k});
    std::vector<GEO_POINT> smoothed = line;
    vexo::DM_SmoothPointsLinear(smoothed.data(), 20);
    for (int k = 0; k < 20; ++k) EXPECT_TRUE(smoothed[k].x == line[k].x && smoothed[k].y == line[k].y) << k;
    // A bent list straightens; above 50 points nothing changes.
    std::vector<GEO_POINT> bent = line;
    bent[10].y += 9;
    vexo::DM_SmoothPointsLinear(bent.data(), 20);
    EXPECT_LT(std::abs(bent[10].y - line[10].y), 3);
    std::vector<GEO_POINT> many(51, GEO_POINT{5, 6});
    many[3] = {900, 900};
    vexo::DM_SmoothPointsLinear(many.data(), 51);
    EXPECT_EQ(many[3].x, 900);
    GEO_POINT single = {17, 23};
    vexo::DM_SmoothPointsLinear(&single, 1);
    EXPECT_EQ(single.x, 0);
    EXPECT_EQ(single.y, 0);
}

TEST(DmFitExtra, SolversAndNormalEquations) {
    // A perspective from five pairs; the kept matrix and the solution of the in-place solve.
    const GEO_POINT src[5] = {{0, 0}, {10, 0}, {0, 10}, {10, 10}, {5, 4}};
    const GEO_POINT dst[5] = {{100, 50}, {160, 55}, {98, 120}, {170, 128}, {131, 82}};
    double m[64], b[8];
    ASSERT_EQ(vexo::DM_PerspectiveNormalEquationsChecked(src, dst, 5, m, b), 1);
    double mCopy[64], bIn[8], bKeep[8];
    std::memcpy(mCopy, m, sizeof m);
    std::memcpy(bIn, b, sizeof b);
    std::memcpy(bKeep, b, sizeof b);
    ASSERT_EQ(vexo::DM_SolveLdlt8Keep(m, bKeep), 1);
    EXPECT_EQ(std::memcmp(m, mCopy, sizeof m), 0) << "matrix untouched";
    ASSERT_EQ(vexo::DM_SolveLdlt8(mCopy, bIn), 1);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(bKeep[i], bIn[i]) << i;
    // A zero pivot: the same answer as the in-place solve.
    double zero[64] = {}, rz[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(vexo::DM_SolveLdlt8Keep(zero, rz), 0);
    EXPECT_EQ(vexo::DM_SolveLdlt8(zero, rz), 0);
    // Three pairs are refused and write nothing.
    double m3[64], b3[8];
    for (double &e : m3) e = 7;
    for (double &e : b3) e = 7;
    EXPECT_EQ(vexo::DM_PerspectiveNormalEquationsChecked(src, dst, 3, m3, b3), 0);
    EXPECT_EQ(m3[0], 7);
    EXPECT_EQ(b3[0], 7);

    // An exact cubic v = 0.5 t^3 - 2 t^2 + 3 t - 4.
    double ts[7], vs[7];
    for (int i = 0; i < 7; ++i) {
        ts[i] = i - 3;
        vs[i] = 0.5 * ts[i] * ts[i] * ts[i] - 2 * ts[i] * ts[i] + 3 * ts[i] - 4;
    }
    double cm[16], cr[4];
    vexo::DM_CubicNormalEquations(ts, vs, 7, cm, cr);
    EXPECT_EQ(cm[15], 7.0);
    ASSERT_EQ(vexo::DM_SolveCompletePivot(cm, cr, 4), 1);
    const double expected[4] = {0.5, -2, 3, -4};
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(cr[i], expected[i], 1e-9) << i;
}

// End to end: the lattice the live locating measures and regularises, resampled region by
// region, decodes to the symbol's text.
struct GxCaptured {
    bool located = false;
    vexo::DM_GEOMETRY regularised{};
};
GxCaptured g_gxCap;

void GxCaptureRegularize(vexo::DM_GEOMETRY *geo) {
    vexo::DM_RegularizeLattice(geo);
    g_gxCap.located = true;
    g_gxCap.regularised = *geo;
}

const vexo::DM_STAGES kGxCaptureStages = {
    .getDM = vexo::DM_GetDM,
    .locateAndSize = vexo::DM_LocateAndSize,
    .regularizeLattice = GxCaptureRegularize,
    .sampleModules = vexo::DM_SampleModules,
    .pairCandidates = vexo::DM_PairCandidates,
};

TEST(DmResampleSymbols, LatticeResampledDecodes) {
    struct GxSymbolCase {
        int zintSize;
        const char *text;
    };
    for (const GxSymbolCase c : {GxSymbolCase{1, "12345"}, GxSymbolCase{10, "RESAMPLED 32 X 32"},
                                 GxSymbolCase{30, "RESAMPLED 16X48"}}) {
        SCOPED_TRACE(std::string("libzint size ") + std::to_string(c.zintSize));
        const testkit::Symbol s = dmtest::DataMatrix(c.text, c.zintSize);
        ASSERT_TRUE(s.ok);
        const testkit::Rendered r = testkit::Render(s, {.moduleSize = 5, .quietZone = 2, .seed = 3});
        testkit::InitDecoder();
        g_gxCap = GxCaptured{};
        vexo::Test_SetDmStages(&kGxCaptureStages);
        vexo::g_params.resultStore.storedCount = 0;
        const testkit::DecodeResult live = testkit::DecodeFrame(r.frame, testkit::DecodeOptions{});
        vexo::Test_SetDmStages(nullptr);
        ASSERT_TRUE(g_gxCap.located);
        EXPECT_EQ(live.text, c.text);
        // The regularised geometry counts a region's data modules; the resampler takes them
        // with the finder and timing lines.
        const vexo::DM_GEOMETRY &g = g_gxCap.regularised;
        const int regionRows = g.moduleRows + 2, regionCols = g.moduleCols + 2;
        GxInstall(r.frame.pixels, r.frame.width, r.frame.height);
        std::vector<uint8_t> map(vexo::kDmResampleAreaBytes, 0);
        ASSERT_EQ(vexo::DM_ResampleSymbol(g.lattice, regionCols, regionRows, g.regionRows, g.regionCols, 1,
                                          g_gxPixels.data(), map.data()),
                  0);
        const int rows = g.regionRows * (regionRows - 2), cols = g.regionCols * (regionCols - 2);
        ASSERT_EQ(rows, s.rows - 2 * g.regionRows);
        ASSERT_EQ(cols, s.cols - 2 * g.regionCols);
        const dmtest::Decoded d =
            dmtest::DecodeMatrix(std::vector<uint8_t>(map.begin(), map.begin() + rows * cols), rows, cols);
        EXPECT_EQ(d.status, 0);
        EXPECT_EQ(d.text, c.text);
    }
}

}  // namespace

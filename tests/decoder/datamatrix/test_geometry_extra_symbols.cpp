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
#include "datamatrix/dm_locate.h"
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

// ---------------------------------------------------------------------------------------
// Further counters, samplers and accessors

TEST(DmGeometryRoutines, ClassesAndSmallRoutines) {
    struct GxClassCase {
        int v, class6, classN;
    };
    const GxClassCase cases[] = {{5, 6, 1},   {6, 1, 1},   {20, 1, 1},  {21, 2, 1},  {34, 2, 1}, {35, 2, 2},
                                 {60, 3, 4},  {91, 5, 4},  {99, 5, 4},  {100, 6, 4}, {120, 6, 6}};
    for (const GxClassCase &c : cases) {
        EXPECT_EQ(vexo::DM_ClassFromCount6(c.v), c.class6) << c.v;
        EXPECT_EQ(vexo::DM_ClassFromCount(c.v), c.classN) << c.v;
    }
    const int next[8][2] = {{-1, 0}, {0, -1}, {1, -1}, {2, 1}, {3, -1}, {4, 2}, {5, -1}, {6, 4}};
    for (const auto &n : next) EXPECT_EQ(vexo::DM_NextLayoutClass(n[0]), n[1]) << n[0];

    const uint8_t swings[] = {100, 80, 80, 200, 170};
    EXPECT_EQ(vexo::DM_RelativeContrastSum(swings, 2), 20);           // 100 to 80 counts
    EXPECT_EQ(vexo::DM_RelativeContrastSum(swings + 3, 2), 0);        // 200 to 170 does not
    EXPECT_EQ(vexo::DM_RelativeContrastSum(swings, 1), 0);
    EXPECT_EQ(vexo::DM_RelativeContrastSum(nullptr, 5), 0);
    EXPECT_EQ(vexo::DM_RelativeContrastSum(swings, 5), 20 + 120);     // 80 to 200 counts too
    EXPECT_EQ(vexo::DM_ProfileContrastSum(swings, 5, 25), 120 + 30);

    vexo::DM_DESCENT d{9, 9, 9, 9};
    const int32_t rising[] = {1, 2, 3, 4};
    vexo::DM_LargestDescent(rising, 4, &d);
    EXPECT_TRUE(d.length == 1 && d.drop == 0);
    const int32_t falls[] = {5, 9, 7, 2, 3, 1};
    vexo::DM_LargestDescent(falls, 6, &d);
    EXPECT_TRUE(d.start == 1 && d.end == 3 && d.length == 3 && d.drop == 7);

    const int32_t drops[] = {10, 10, 2, 2, 30, 1, 1};
    int32_t peak = -1;
    EXPECT_EQ(vexo::DM_PeakDrops30(drops, 7, &peak), 4);  // 30 to 1 (7,395) beats 10 to 2 (1,020)
    EXPECT_EQ(peak, 29 * 255);
    const int32_t flat[] = {5, 5, 5};
    EXPECT_EQ(vexo::DM_PeakDrops30(flat, 3, &peak), 0);
    EXPECT_EQ(peak, 0);

    const int32_t a[] = {1, 4, 7}, b[] = {3, 4, -7};
    int32_t avg[3];
    vexo::DM_AverageLists(a, b, avg, 3);
    EXPECT_TRUE(avg[0] == 2 && avg[1] == 4 && avg[2] == 0);
    EXPECT_EQ(vexo::DM_SumInts(a, 3), 12);
    EXPECT_EQ(vexo::DM_ReturnOne(), 1);
    vexo::DM_SetLocateWord0(17);
    vexo::DM_SetLocateWord2(-4);
    EXPECT_EQ(vexo::DM_GetLocateWord0(), 17);
    EXPECT_EQ(vexo::DM_GetLocateWord2(), -4);

    int32_t gaps[] = {-1, 12, 19, -1, 33, 40, -1, -1};
    vexo::DM_FillMissingPositions(gaps, 8);
    const int32_t filled[] = {5, 12, 19, 26, 33, 40, 47, 54};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(gaps[i], filled[i]) << i;

    GEO_POINT out{};
    EXPECT_EQ(vexo::DM_CompleteParallelogram({10, 20}, {3, 4}, {100, 200}, &out), 216);
    EXPECT_TRUE(out.x == 107 && out.y == 216);
    vexo::DM_FirstBoundaryPointOrEnd({0, 0}, {40, 30}, 1, &out);
    EXPECT_TRUE(out.x == 40 && out.y == 30);
    GEO_POINT live{};
    vexo::DM_FirstBoundaryPointOrEnd({0, 0}, {40, 30}, 5, &out);
    vexo::DM_FirstBoundaryPoint({0, 0}, {40, 30}, 5, &live);
    EXPECT_TRUE(out.x == live.x && out.y == live.y);
}

TEST(DmGeometryRoutines, RunsAndCentres) {
    // Light, a soft fall, dark, a sharp rise, light, a small fall.
    const uint8_t p[] = {200, 200, 150, 90, 40, 40, 40, 220, 220, 210, 200, 200};
    const int n = sizeof p;
    int32_t centroids[vexo::kDmMaxRunEntries + 1], amplitudes[vexo::kDmMaxRunEntries + 1];
    centroids[vexo::kDmMaxRunEntries] = amplitudes[vexo::kDmMaxRunEntries] = -777;
    const int runs = vexo::DM_EdgeCentresWithAmplitudes(p, n, centroids, amplitudes, 50);
    int32_t liveAmp[16], liveCentres[16];
    const int liveRuns = vexo::DM_RunAmplitudes(p, n, liveAmp, 16);
    ASSERT_EQ(runs, liveRuns);
    std::vector<int32_t> kept;
    for (int k = 0; k < runs; ++k) {
        EXPECT_EQ(amplitudes[k], liveAmp[k]) << k;
        if (centroids[k] >= 0) kept.push_back(centroids[k]);
    }
    const int liveCount = vexo::DM_EdgeCentres(p, n, liveCentres, 50);
    ASSERT_EQ(static_cast<int>(kept.size()), liveCount);
    for (int k = 0; k < liveCount; ++k) EXPECT_EQ(kept[static_cast<size_t>(k)], liveCentres[k]) << k;
    EXPECT_EQ(centroids[vexo::kDmMaxRunEntries], -777);
    // Never more than the room, on a long zigzag.
    std::vector<uint8_t> zigzag(400);
    for (size_t i = 0; i < zigzag.size(); ++i) zigzag[i] = i % 2 ? 10 : 200;
    EXPECT_EQ(vexo::DM_EdgeCentresWithAmplitudes(zigzag.data(), 400, centroids, amplitudes, 50), vexo::kDmMaxRunEntries);
    EXPECT_EQ(amplitudes[vexo::kDmMaxRunEntries], -777);

    vexo::DM_RUN_SPAN span{};
    ASSERT_EQ(vexo::DM_StrongestRun(p, n, 1, &span), 1);
    EXPECT_TRUE(span.start == 1 && span.end == 4);
    ASSERT_EQ(vexo::DM_StrongestRun(p, n, 0, &span), 1);
    EXPECT_TRUE(span.start == 6 && span.end == 7);
    int32_t amp = 0;
    EXPECT_EQ(vexo::DM_StrongestRunCentre(p, n, 1, &amp), 2);
    EXPECT_EQ(amp, 160);
    const uint8_t level[] = {5, 5, 5};
    EXPECT_EQ(vexo::DM_StrongestRunCentre(level, 3, 0, &amp), -1);
    EXPECT_EQ(vexo::DM_StrongestRun(level, 3, 0, &span), 0);
    // First half: the fall (1..4, middle 2) then the rise (6..7, middle 6): centre 4.
    const uint8_t q[] = {200, 200, 150, 90, 40, 40, 40, 220, 220, 220, 220, 220, 220, 220, 220, 220};
    EXPECT_EQ(vexo::DM_FirstModuleCentre(q, 16, 1), 4);
    EXPECT_EQ(vexo::DM_FirstModuleCentre(q, 16, 0), 8);  // no rise before a fall: half
    EXPECT_EQ(vexo::DM_CountTransitionsAuto(p, n, 30), vexo::DM_CountTransitions(p, n, 30));
    EXPECT_EQ(vexo::DM_CountTransitionsAuto(p, n, 0), vexo::DM_CountTransitions(p, n, vexo::DM_DiagonalStepThreshold(p, n)));
    const int32_t centres[] = {0, 16, 5000};
    vexo::DM_WalkCentres({0, 0}, {10, 4}, centres, 3);
}

TEST(DmGeometryRoutines, LineSamplersAndReaders) {
    GxInstallRamp(8, 6, [](int x, int y) { return 10 * x + y; });
    const uint8_t *img = g_gxPixels.data();
    uint8_t out[16];
    std::memset(out, 0xCC, sizeof out);
    ASSERT_EQ(vexo::DM_SampleLineMajor(img, -2, 1, 5, 1, out), 8);
    const int major[8] = {128, 128, 1, 11, 21, 31, 41, 51};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(out[k], major[k]) << k;
    EXPECT_EQ(vexo::DM_SampleLineMajor(img, 3, 3, 3, 3, out), 1);
    EXPECT_EQ(out[0], 33);
    std::memset(out, 0xCC, sizeof out);
    EXPECT_EQ(vexo::DM_SampleLineMajor(img, 5, 2, 100, 2, out), 8);  // at most the frame width
    EXPECT_EQ(out[7], 72);                                            // the last inside sample, repeated
    EXPECT_EQ(out[8], 0xCC);
    ASSERT_EQ(vexo::DM_SampleLineRepeat(img, 4, 2, 12, 2, out), 8);
    EXPECT_EQ(out[0], 42);
    EXPECT_EQ(out[3], 72);
    EXPECT_EQ(out[4], 42);  // outside: the first sample
    EXPECT_EQ(vexo::DM_SampleBilinear16Checked(img, 0, 16), 128);
    EXPECT_EQ(vexo::DM_SampleBilinear16Checked(img, 16, -1), 128);
    EXPECT_EQ(vexo::DM_SampleBilinear16Checked(img, 32, 16), vexo::DM_SampleBilinear16(img, 32, 16));
    vexo::DM_SetNoiseThreshold(9);
    EXPECT_EQ(vexo::DM_LineContrastSumAlt(g_gxPixels.data(), {0, 0}, {7, 5}),
              vexo::DM_LineContrastSum(g_gxPixels.data(), {0, 0}, {7, 5}, 9));
}

TEST(DmGeometryRoutines, ReachWithClearedCounts) {
    vexo::DM_PREPARED_CANDIDATE cand{};
    cand.arm1Length = 120;
    cand.arm2Length = 90;
    vexo::DM_GEOMETRY geo{};
    EXPECT_EQ(vexo::DM_Reach2Modules(&cand, &geo, 1), 0);
    EXPECT_EQ(vexo::DM_Reach3Modules(&cand, &geo, 0), 0);
    geo.moduleRows = 10, geo.regionRows = 2, geo.regionCols = 1, geo.moduleCols = 15;
    EXPECT_EQ(vexo::DM_Reach2Modules(&cand, &geo, 1), 12);
    EXPECT_EQ(vexo::DM_Reach3Modules(&cand, &geo, 1), 18);
    EXPECT_EQ(vexo::DM_Reach2Modules(&cand, &geo, 0), 12);
    EXPECT_EQ(vexo::DM_Reach3Modules(&cand, &geo, 0), 18);
    EXPECT_EQ(vexo::DM_Reach2Modules(nullptr, &geo, 0), 0);
}

TEST(DmGeometryRoutines, ShareCentresRounded) {
    vexo::DM_BOUNDARY src{}, dst{};
    src.p0 = {0, 0}, src.p1 = {40, 0}, src.count = 4, src.hasCentres = 1;
    const int32_t c[4] = {80, 240, 400, 560};  // 1/16 sample along 640
    for (int i = 0; i < 4; ++i) src.centres[i] = c[i];
    dst.p0 = {0, 100}, dst.p1 = {0, 180};  // twice as long
    ASSERT_EQ(vexo::DM_ShareCentresRounded(&src, &dst), 1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(dst.centres[i], 2 * c[i]) << i;
        EXPECT_EQ(dst.points[i].x, 0);
        EXPECT_EQ(dst.points[i].y, 1600 + 2 * c[i]) << i;
    }
    vexo::DM_BOUNDARY none{};
    EXPECT_EQ(vexo::DM_ShareCentresRounded(&none, &dst), 0);
}

TEST(DmGeometryRoutines, DiagonalTransitionsOfARenderedCandidate) {
    const testkit::Symbol s = dmtest::DataMatrix("DIAGONAL TRANSITIONS OF A LARGER SYMBOL 0123456789", 16);
    ASSERT_TRUE(s.ok);
    const testkit::Rendered r = testkit::Render(s, {.moduleSize = 6, .quietZone = 2, .seed = 5});
    GxInstall(r.frame.pixels, r.frame.width, r.frame.height);
    const auto at = [&](double u, double v) {
        const testkit::Point p = r.transform.ToImage({u, v});
        return GEO_POINT{static_cast<int32_t>(p.x), static_cast<int32_t>(p.y)};
    };
    vexo::DM_PREPARED_CANDIDATE cand{};
    cand.corner = at(0.5, s.rows - 0.5);
    cand.armEnd1 = at(0.5, 0.5);
    cand.armEnd2 = at(s.cols - 0.5, s.rows - 0.5);
    cand.fourthCorner = at(s.cols - 0.5, 0.5);
    // The modules on the diagonals change tens of times; the pixel walk also crosses the
    // corners where four modules meet and may see a neighbour's module there, up to twice.
    int truth = 0;
    for (int k = 1; k < s.rows; ++k) {
        truth += s.Dark(s.rows - 1 - k, k) != s.Dark(s.rows - k, k - 1);
        truth += s.Dark(k, k) != s.Dark(k - 1, k - 1);
    }
    const int got = vexo::DM_DiagonalTransitions40(g_gxPixels.data(), &cand);
    EXPECT_GE(got, truth / 40) << "truth " << truth;
    EXPECT_LE(got, 2 * truth / 40) << "truth " << truth;
    EXPECT_GE(got, 1);
    std::fill(g_gxPixels.begin(), g_gxPixels.end(), uint8_t{150});
    EXPECT_EQ(vexo::DM_DiagonalTransitions40(g_gxPixels.data(), &cand), 0);
}

// Every routine on frames of 1 x 1 to 16 x 16 with points inside, on and beyond the edges
// (the sanitizer build checks the reads); the default reader only inside its frame.
TEST(DmGeometryRoutines, TinyFrames) {
    for (int h = 1; h <= 16; h += 3) {
        for (int w = 1; w <= 16; w += 3) {
            GxInstallRamp(w, h, [](int x, int y) { return 13 * x + 29 * y; });
            const uint8_t *img = g_gxPixels.data();
            std::vector<uint8_t> line(static_cast<size_t>(w) + 2, 0xCC);
            const GEO_POINT pts[] = {{0, 0}, {w - 1, h - 1}, {-3, 2}, {w + 4, h + 4}, {w / 2, -5}};
            for (const GEO_POINT a : pts) {
                for (const GEO_POINT b : pts) {
                    vexo::DM_SampleLineMajor(img, a.x, a.y, b.x, b.y, line.data());
                    vexo::DM_SampleLineRepeat(img, a.x, a.y, b.x, b.y, line.data());
                    ASSERT_EQ(line[static_cast<size_t>(w)], 0xCC) << w << "x" << h;
                    vexo::DM_LineContrastSumAlt(g_gxPixels.data(), a, b);
                    vexo::DM_SampleBilinear16Checked(img, 16 * a.x, 16 * b.y);
                    vexo::DM_SampleBilinear16DefaultChecked(16 * a.x + 3, 16 * b.y + 5, 1);
                    vexo::DM_SampleBilinear10(img, w, static_cast<float>(a.x) + 0.3f, static_cast<float>(b.y) + 0.7f);
                    const GEO_POINT region[4] = {a, {a.x, b.y}, {b.x, a.y}, b};
                    const GEO_POINT modules[4] = {{0, 0}, {0, 6}, {6, 0}, {6, 6}};
                    uint8_t map[64];
                    vexo::DM_ResampleRegion(region, modules, 1, 6, 6, 0, 0, img, map);
                    vexo::DM_ResampleRegionMean(region, modules, 3, 3, 0, 0, map, img);
                }
            }
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) vexo::DM_SampleBilinear16Default(16 * x, 16 * y, 0);
            }
            vexo::DM_PREPARED_CANDIDATE cand{};
            cand.corner = {-2, h + 3};
            cand.armEnd1 = {0, 0};
            cand.armEnd2 = {w + 7, h - 1};
            cand.fourthCorner = {w, -9};
            vexo::DM_DiagonalTransitions40(img, &cand);
            vexo::RESAMPLE_WALK walk{};
            walk.transform = vexo::PERSPECTIVE{{4, 1, -7, 0, 4, 3, 0, 0, 1}};
            walk.lastCol = 7, walk.lastRow = 7, walk.outStep = 8;
            uint8_t raster[64];
            walk.out = raster;
            vexo::DM_ResampleGrid(&walk);
        }
    }
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

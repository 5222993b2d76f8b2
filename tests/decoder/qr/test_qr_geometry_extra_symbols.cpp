// The finder geometry and sampling routines no decode path calls, on rendered symbols:
// ray transitions and finder-ray edges against the true module boundaries, the orientation
// of each finder through transforms from the render's truth, sampling from two module
// columns, tenth-aware rounding and the split of a segment at its edges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/pixel.h"
#include "qr/qr_geometry_extra.h"
#include "qr_geom_test.h"
#include "support/testkit.h"

namespace {

using namespace qr_geom_test;
using vexo::GEO_POINT;

class QrGeometryExtraTest : public QrGeomTest {};

testkit::Rendered GxRender(const testkit::Symbol &s, double module, double angle) {
    testkit::RenderOptions o;
    o.moduleSize = module;
    o.angleDeg = angle;
    testkit::Rendered r = testkit::Render(s, o);
    InstallFrame(r.frame);
    return r;
}

double GxDistance(GEO_POINT p, double x, double y, double scale) {
    return std::hypot(p.x / scale - x, p.y / scale - y);
}

TEST(QrGeometryExtraRound, RoundTenthsTable) {
    struct GxRoundCase {
        float x;
        int32_t expected;
    };
    const GxRoundCase cases[] = {{2.0f, 2},  {2.05f, 2}, {2.15f, 3}, {2.5f, 3}, {2.95f, 3},
                                 {0.0f, 0},  {1.09f, 1}, {1.12f, 2}, {-0.2f, 0},
                                 {std::numeric_limits<float>::quiet_NaN(), 0},
                                 {3.0e9f, std::numeric_limits<int32_t>::max()},
                                 {-3.0e9f, std::numeric_limits<int32_t>::min()},
                                 {std::numeric_limits<float>::infinity(), std::numeric_limits<int32_t>::max()}};
    for (const GxRoundCase &c : cases) EXPECT_EQ(vexo::QR_RoundTenths(c.x), c.expected) << "x " << c.x;
}

// From the top-left finder's centre along the symbol's x axis: the ring boundaries at 1.5,
// 2.5 and 3.5 modules on both sides.
TEST_F(QrGeometryExtraTest, RayTransitionsAtTheRings) {
    const testkit::Symbol s = MakeQr("ray transitions", 2);
    for (double module : {3.0, 4.0, 6.0}) {
        const testkit::Rendered r = GxRender(s, module, 0);
        const int d = s.cols;
        const vexo::QR_FINDER_SUMMARY f = TrueSummary(r, 0, d, module);
        const GEO_POINT centre = {f.centreX, f.centreY};
        const testkit::Point truth = ModulePoint(r, 3, 3);
        const int length = static_cast<int>(6 * module);
        GEO_POINT out[8];
        for (GEO_POINT &p : out) p = {-777, -777};
        ASSERT_EQ(vexo::QR_FindRayTransitions(centre, {1, 0}, length, vexo::kQrRayBoth, out, 3), 1) << module;
        const double ring[3] = {1.5, 2.5, 3.5};
        for (int j = 0; j < 3; ++j) {
            EXPECT_NEAR(GxDistance(out[2 - j], truth.x - 0.5, truth.y - 0.5, 1), ring[j] * module, 1.0) << module << " fwd " << j;
            EXPECT_GT(out[2 - j].x, centre.x);
            EXPECT_NEAR(GxDistance(out[3 + j], truth.x - 0.5, truth.y - 0.5, 1), ring[j] * module, 1.0) << module << " back " << j;
            EXPECT_LT(out[3 + j].x, centre.x);
        }
        EXPECT_EQ(out[6].x, -777) << "never more than k a side";
        // A side asked alone leaves the other's entries; a short ray has fewer than k.
        for (GEO_POINT &p : out) p = {-777, -777};
        EXPECT_EQ(vexo::QR_FindRayTransitions(centre, {-1, 0}, length, vexo::kQrRayForward, out, 3), 1);
        EXPECT_EQ(out[3].x, -777);
        EXPECT_EQ(vexo::QR_FindRayTransitions(centre, {1, 0}, static_cast<int>(2 * module), vexo::kQrRayBoth, out, 3), 0);
        EXPECT_EQ(vexo::QR_FindRayTransitions(centre, {0, 0}, length, vexo::kQrRayBoth, out, 3), 0);
        EXPECT_EQ(vexo::QR_FindRayTransitions(centre, {1, 0}, length, vexo::kQrRayBoth, out, 0), 0);
    }
}

TEST_F(QrGeometryExtraTest, FinderRaysMainAndMiddleEdges) {
    const testkit::Symbol s = MakeQr("finder rays", 3);
    for (int module = 3; module <= 8; ++module) {
        for (double angle : {0.0, 20.0}) {
            const testkit::Rendered r = GxRender(s, module, angle);
            const int d = s.cols;
            const vexo::QR_FINDER_SUMMARY f = TrueSummary(r, 0, d, module);
            const testkit::Point along = r.transform.ToImage({3.5 + 10, 3.5});
            vexo::QR_FINDER_RAYS rays{};
            rays.centre = {f.centreX, f.centreY};
            rays.toward = {static_cast<int32_t>(std::lround(along.x - 0.5)), static_cast<int32_t>(std::lround(along.y - 0.5))};
            rays.length = 5 * module;
            ASSERT_EQ(vexo::QR_MeasureFinderRays(&rays), 1) << module << " px, " << angle << " deg";
            const testkit::Point truth = ModulePoint(r, 3, 3);
            const double cx = truth.x - 0.5, cy = truth.y - 0.5;
            for (int side = 0; side < 2; ++side) {
                const std::string at = std::to_string(module) + " px " + std::to_string(angle) + " deg side " + std::to_string(side);
                EXPECT_NEAR(GxDistance(rays.mainEdge[side][0], cx, cy, 1), 1.5 * module, 1.0) << at;
                EXPECT_NEAR(GxDistance(rays.mainEdge[side][1], cx, cy, 1), 3.5 * module, 1.0) << at;
                EXPECT_NEAR(GxDistance(rays.middleEdge[side], cx, cy, 1), 2.5 * module, 1.0) << at;
                // The toward side lies towards `toward`, the other away from it.
                const double dot = (rays.mainEdge[side][1].x - cx) * (rays.toward.x - cx) + (rays.mainEdge[side][1].y - cy) * (rays.toward.y - cy);
                EXPECT_EQ(dot > 0, side == 0) << at;
            }
        }
    }
    vexo::QR_FINDER_RAYS none{};
    EXPECT_EQ(vexo::QR_MeasureFinderRays(&none), 0);
    EXPECT_EQ(vexo::QR_MeasureFinderRays(nullptr), 0);
}

// Slot 0's transform for the finder whose top-left module is (u0, v0), finder-local axes
// along the symbol's.
vexo::PERSPECTIVE GxFinderTransform(const testkit::Rendered &r, int u0, int v0, double module) {
    const int local[5][2] = {{0, 6}, {0, 0}, {6, 0}, {6, 6}, {3, 3}};
    vexo::g_qrGeomWork.finder[0] = vexo::QR_FINDER_SUMMARY{};
    vexo::g_qrGeomWork.finder[0].size = static_cast<int32_t>(7 * module);
    vexo::g_qrGeomWork.finder[1].size = vexo::g_qrGeomWork.finder[2].size = 0;
    for (int k = 0; k < 5; ++k) {
        vexo::g_qrGeomWork.imagePoints[0][k] = ToDecoder(ModulePoint(r, u0 + local[k][0], v0 + local[k][1]), 4);
        vexo::g_qrGeomWork.modulePoints[0][k] = {11 * local[k][0], 11 * local[k][1]};
    }
    vexo::QR_FitFinderTransforms();
    return vexo::g_qrGeomWork.finderTransform[0];
}

TEST_F(QrGeometryExtraTest, OrientationByCountFacesIntoTheSymbol) {
    const testkit::Symbol s = MakeQr("orientation by count", 2);
    const int d = s.cols;
    for (double angle : {0.0, 33.0, 90.0, 180.0, 270.0}) {
        const testkit::Rendered r = GxRender(s, 5, angle);
        const vexo::PERSPECTIVE tl = GxFinderTransform(r, 0, 0, 5);
        EXPECT_EQ(vexo::QR_FinderOrientationByCount(&tl), 3) << angle;
        const vexo::PERSPECTIVE tr = GxFinderTransform(r, d - 7, 0, 5);
        EXPECT_EQ(vexo::QR_FinderOrientationByCount(&tr), 0) << angle;
        const vexo::PERSPECTIVE bl = GxFinderTransform(r, 0, d - 7, 5);
        EXPECT_EQ(vexo::QR_FinderOrientationByCount(&bl), 2) << angle;
    }
    const vexo::PERSPECTIVE cleared{{0, 0, 0, 0, 0, 0, 0, 0, 1}};
    EXPECT_EQ(vexo::QR_FinderOrientationByCount(&cleared), -1) << "every point on one pixel";
    // A blank frame counts every sample on every side: a four-way tie.
    const testkit::Rendered r = GxRender(s, 5, 0);
    const vexo::PERSPECTIVE tl = GxFinderTransform(r, 0, 0, 5);
    std::fill(g_pixels.begin(), g_pixels.end(), uint8_t{180});
    EXPECT_EQ(vexo::QR_FinderOrientationByCount(&tl), -1);
    EXPECT_EQ(vexo::QR_FinderOrientationByCount(nullptr), -1);
}

TEST_F(QrGeometryExtraTest, SampleRectFromTwoColumns) {
    const testkit::Symbol s = MakeQr("two columns", 3);
    const int n = s.cols;
    const testkit::Rendered r = GxRender(s, 4, 0);
    std::vector<GEO_POINT> image[2], module[2];
    for (int c = 0; c < 2; ++c) {
        const int col = c == 0 ? 3 : n - 4;
        for (int row = 0; row < n; row += 4) {
            image[c].push_back(ToDecoder(ModulePoint(r, col, row), 16));
            module[c].push_back({col, row});
        }
    }
    vexo::QR_COLUMN_POINTS pts{};
    pts.image[0] = image[0].data(), pts.image[1] = image[1].data();
    pts.module[0] = module[0].data(), pts.module[1] = module[1].data();
    pts.pairs = static_cast<int32_t>(image[0].size());
    std::vector<uint8_t> matrix(static_cast<size_t>(n * n) + 8, 0xA5);
    ASSERT_EQ(vexo::QR_SampleRectFromColumns(&pts, 0, 0, n - 1, n - 1, matrix.data(), n), 1);
    for (int row = 0; row < n; ++row) {
        for (int col = 0; col < n; ++col) {
            EXPECT_EQ(matrix[static_cast<size_t>(row * n + col)] < 128, s.Dark(row, col)) << row << "," << col;
        }
    }
    for (size_t i = static_cast<size_t>(n * n); i < matrix.size(); ++i) EXPECT_EQ(matrix[i], 0xA5);
    // Beyond the room: 65 pairs, and rectangles outside the matrix.
    std::vector<GEO_POINT> many(65, GEO_POINT{0, 0});
    vexo::QR_COLUMN_POINTS big = pts;
    big.image[0] = big.image[1] = big.module[0] = big.module[1] = many.data();
    big.pairs = 65;
    EXPECT_EQ(vexo::QR_SampleRectFromColumns(&big, 0, 0, 1, 1, matrix.data(), n), 0);
    EXPECT_EQ(vexo::QR_SampleRectFromColumns(&pts, 0, 0, n, n - 1, matrix.data(), n), 0);
    EXPECT_EQ(vexo::QR_SampleRectFromColumns(&pts, -1, 0, 2, 2, matrix.data(), n), 0);
    EXPECT_EQ(vexo::QR_SampleRectFromColumns(&pts, 3, 0, 2, 2, matrix.data(), n), 0);
}

int g_gxRowCalls = 0;
void GxCountRows(const int32_t *, const int32_t *, int32_t, uint32_t, uint8_t *) { ++g_gxRowCalls; }

TEST_F(QrGeometryExtraTest, GridMeanOnlyForLargeModules) {
    const testkit::Symbol s = MakeQr("grid mean", 1);
    GxRender(s, 9, 0);
    vexo::GRID_WALK walk{};
    walk.transform = vexo::PERSPECTIVE{{16 * 9, 0, 16 * 300, 0, 16 * 9, 16 * 150, 0, 0, 1}};
    walk.lastColumn = 20;
    walk.lastRow = 20;
    walk.outStep = 21;
    std::vector<uint8_t> out(21 * 21, 0);
    walk.outBase = out.data();
    walk.param = 128;
    walk.rowCallback = &GxCountRows;
    g_gxRowCalls = 0;
    vexo::g_qrSymbol.moduleSize = 8.0f;
    EXPECT_EQ(vexo::QR_SampleGridMeanIfLarge(&walk), 1);
    EXPECT_EQ(g_gxRowCalls, 21);
    EXPECT_EQ(walk.rowCallback, &GxCountRows);
    vexo::g_qrSymbol.moduleSize = 8.5f;
    EXPECT_EQ(vexo::QR_SampleGridMeanIfLarge(&walk), 1);
    EXPECT_EQ(g_gxRowCalls, 21);
    EXPECT_EQ(walk.rowCallback, vexo::g_frame.sampleMean4Many);
    EXPECT_EQ(out[0], vexo::g_frame.sampleMean4(16 * 300, 16 * 150, 128));
    EXPECT_EQ(vexo::QR_SampleGridMeanIfLarge(nullptr), 0);
}

TEST_F(QrGeometryExtraTest, SplitTimingRowAtModuleBoundaries) {
    const testkit::Symbol s = MakeQr("timing split", 4);
    const int n = s.cols;
    for (double module : {3.0, 4.0, 5.5}) {
        const testkit::Rendered r = GxRender(s, module, 0);
        const GEO_POINT a = ToDecoder(ModulePoint(r, 8, 6), 16);
        const GEO_POINT b = ToDecoder(ModulePoint(r, n - 9, 6), 16);
        GEO_POINT out[64];
        const int count = vexo::QR_SplitSegmentByEdges(a, b, out, 64, static_cast<float>(module));
        ASSERT_EQ(count, 2 + (n - 17)) << module;  // both ends and every boundary between them
        EXPECT_EQ(out[0].x, a.x);
        EXPECT_EQ(out[count - 1].x, b.x);
        for (int k = 1; k < count - 1; ++k) {
            const testkit::Point edge = r.transform.ToImage({8.0 + k, 6.5});
            EXPECT_LE(GxDistance(out[k], edge.x - 0.5, edge.y - 0.5, 16), 1.0) << module << " point " << k;
        }
        GEO_POINT small[5];
        for (GEO_POINT &p : small) p = {-9, -9};
        EXPECT_EQ(vexo::QR_SplitSegmentByEdges(a, b, small, 4, static_cast<float>(module)), 4);
        EXPECT_EQ(small[3].x, b.x);
        EXPECT_EQ(small[4].x, -9);
        EXPECT_EQ(vexo::QR_SplitSegmentByEdges(a, b, out, 64, 0.0f), 0);
        EXPECT_EQ(vexo::QR_SplitSegmentByEdges(a, b, out, 64, -1.0f), 0);
        EXPECT_EQ(vexo::QR_SplitSegmentByEdges(a, b, out, 1, 4.0f), 0);
    }
}

// Bands of 1, 3 and 2 dark/light modules between light margins: a gap of several modules is
// cut at every module boundary.
TEST_F(QrGeometryExtraTest, SplitWideGapsIntoModules) {
    const int module = 6;
    const int bands[] = {0, 0, 1, 0, 0, 0, 1, 1, 0, 0};  // 1 dark, per module
    testkit::Frame f;
    f.width = 120;
    f.height = 40;
    f.pixels.assign(static_cast<size_t>(f.width * f.height), 210);
    for (int y = 0; y < f.height; ++y) {
        for (int x = 0; x < 10 * module; ++x) {
            if (bands[x / module] != 0) f.pixels[static_cast<size_t>(y * f.width + x + 10)] = 40;
        }
    }
    InstallFrame(f);
    // Module m spans decoder x 10 + 6 m - 0.5 .. + 6; a from module 1's centre to module 8's.
    const GEO_POINT a = {16 * (10 + 6 + 3) - 8, 16 * 20};
    const GEO_POINT b = {16 * (10 + 48 + 3) - 8, 16 * 20};
    GEO_POINT out[32];
    const int count = vexo::QR_SplitSegmentByEdges(a, b, out, 32, static_cast<float>(module));
    // Boundaries at modules 2, 3, 4, 5, 6 and 8; gaps of 1, 3 and 2 modules.
    const int expected[] = {2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(count, 2 + 7);
    for (int k = 1; k < count - 1; ++k) {
        EXPECT_NEAR(out[k].x / 16.0, 10 + module * expected[k - 1] - 0.5, 1.0) << k;
        EXPECT_EQ(out[k].y, a.y);
    }
}

// Every routine on frames of 1 x 1 to 16 x 16 with points inside, on and beyond the edges
// (the sanitizer build checks the reads).
TEST_F(QrGeometryExtraTest, TinyFrames) {
    for (int h = 1; h <= 16; h += 3) {
        for (int w = 1; w <= 16; w += 3) {
            testkit::Frame f;
            f.width = w;
            f.height = h;
            f.pixels.assign(static_cast<size_t>(w * h), 0);
            for (size_t i = 0; i < f.pixels.size(); ++i) f.pixels[i] = static_cast<uint8_t>(37 * i);
            InstallFrame(f);
            const GEO_POINT pts[] = {{0, 0}, {w - 1, h - 1}, {-3, 2}, {w + 4, h + 4}};
            for (const GEO_POINT a : pts) {
                for (const GEO_POINT b : pts) {
                    GEO_POINT out[10];
                    vexo::QR_FindRayTransitions(a, {b.x - a.x, b.y - a.y}, 20, vexo::kQrRayBoth, out, 5);
                    vexo::QR_FINDER_RAYS rays{a, b, 20, {}, {}};
                    vexo::QR_MeasureFinderRays(&rays);
                    vexo::QR_SplitSegmentByEdges({16 * a.x, 16 * a.y}, {16 * b.x, 16 * b.y}, out, 10, 1.5f);
                }
            }
            const vexo::PERSPECTIVE t{{1, 0, 0, 0, 1, 0, 0, 0, 2}};
            vexo::QR_FinderOrientationByCount(&t);
            const GEO_POINT img[2] = {{0, 0}, {16 * w, 16 * h}}, mod[2] = {{0, 0}, {0, 4}};
            vexo::QR_COLUMN_POINTS cols{{img, img}, {mod, mod}, 2};
            uint8_t matrix[25];
            vexo::QR_SampleRectFromColumns(&cols, 0, 0, 4, 4, matrix, 5);
        }
    }
}

}  // namespace

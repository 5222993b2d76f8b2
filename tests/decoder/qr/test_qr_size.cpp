// Symbol size from finder pairs: the pair measurement on drawn finder patterns, the
// snapping of the averaged estimate to a dimension, the edge-line fit and its degenerate
// cases, the version table and the bounded ray.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/pixel.h"
#include "decoder_test.h"
#include "qr/qr_grid.h"
#include "qr/qr_size.h"
#include "qr/test_hooks_qr.h"

namespace {

using namespace vexo;

constexpr uint8_t kLight = 220;
constexpr uint8_t kDark = 30;

class QrSizeTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        vexo_test::DecoderTest::SetUp();
        Test_ResetQrDataStatics();
        g_qrGeomWork = QR_GEOM_WORK{};
        g_qrPolarity = 1;
        work_.assign(1280, 0);
        g_qrGeomWork.sampleBuffer = work_.data();
        Canvas(752, 480);
    }

    void Canvas(int w, int h) {
        width_ = w;
        pixels_.assign(static_cast<size_t>(w) * static_cast<size_t>(h), kLight);
        Pix_SetImageSize(w, h);
        Pix_SetImagePointer(pixels_.data());
    }

    void Fill(int x0, int y0, int w, int h, uint8_t v) {
        for (int y = y0; y < y0 + h; ++y) {
            for (int x = x0; x < x0 + w; ++x) {
                if (x >= 0 && y >= 0 && x < width_ && y * width_ + x < static_cast<int>(pixels_.size()))
                    pixels_[static_cast<size_t>(y * width_ + x)] = v;
            }
        }
    }

    // A finder pattern of m-pixel modules centred on the pixel (cx, cy) (m odd keeps the
    // centre on a pixel); rings gives the grey of the rings from the outside in.
    void DrawFinder(int cx, int cy, int m, const uint8_t rings[3] = nullptr) {
        static const uint8_t plain[3] = {kDark, kLight, kDark};
        const uint8_t *g = rings != nullptr ? rings : plain;
        const int half = 7 * m / 2;
        Fill(cx - half, cy - half, 7 * m, 7 * m, g[0]);
        Fill(cx - half + m, cy - half + m, 5 * m, 5 * m, g[1]);
        Fill(cx - half + 2 * m, cy - half + 2 * m, 3 * m, 3 * m, g[2]);
    }

    static QR_FINDER_SUMMARY Summary(int cx, int cy, int size) {
        QR_FINDER_SUMMARY s{};
        s.centreX = cx;
        s.centreY = cy;
        s.size = size;
        s.width = s.height = size;
        s.score = 600;
        return s;
    }

    std::vector<uint8_t> pixels_;
    std::vector<uint8_t> work_;
    int width_ = 0;
};

// The worked example: two patterns 25 modules apart with 4-pixel modules give the eight
// distances (25, 25, 31, 31, 27, 29, 29, 27) x 64: slope 64, 4.0 pixels a module, 32.
TEST_F(QrSizeTest, PairFitOfTheWorkedExample) {
    const float d[8] = {25 * 64, 25 * 64, 31 * 64, 31 * 64, 27 * 64, 29 * 64, 29 * 64, 27 * 64};
    EXPECT_EQ(QR_FitPairDistances(d), 32);
    EXPECT_DOUBLE_EQ(g_qrGeomWork.pairModuleSize, 4.0);
    // A second measurement is averaged in.
    g_qrGeomWork.pairModuleSize = 2.0;
    EXPECT_EQ(QR_FitPairDistances(d), 32);
    EXPECT_DOUBLE_EQ(g_qrGeomWork.pairModuleSize, 3.0);
    float slope = 0, offset = 0;
    const float x[8] = {7, 7, 13, 13, 9, 11, 11, 9};
    QR_FitEdgeLine(8, x, d, &slope, &offset);
    EXPECT_NEAR(slope, 64.0f, 1e-3f);
    EXPECT_NEAR(offset, 18 * 64.0f, 1e-2f);
}

TEST(QrSnap, EstimatesSnapToADimension) {
    const int64_t cases[][2] = {{30, 29}, {31, 33}, {32, 33}, {33, 33}, {29, 29}, {178, 177}, {179, 181},
                                {177, 177}, {21, 21}, {18, 21}, {15, 17}, {22, 21}, {23, 25}};
    for (const auto &c : cases) EXPECT_EQ(QR_SnapDimension(c[0]), c[1]) << c[0];
}

// On drawn patterns the measurement lands on the centre-to-centre count + 7 or below it:
// each edge is taken at the first sample past it, which inflates the outer distances and
// so the slope. Near patterns stay within two, which the snapping absorbs; far apart at
// 3 pixels a module the shortfall grows to about 7 % (the version information corrects
// such estimates for versions 7 and up). An estimate above 177 is refused. Only slots 0 and 2 present: module size =
// 0.5 d02 / dim + 0.5.
TEST_F(QrSizeTest, DrawnPairsGiveTheDimension) {
    struct Case {
        int modulesApart;  // centre to centre
        int m;             // pixels a module
        int expectDim;     // 0: refused
    };
    const Case cases[] = {{25, 4, 0},  {22, 5, 29}, {26, 5, 33}, {14, 5, 21},
                          {38, 3, 45}, {50, 4, 0},  {170, 3, 0}, {190, 3, -1}};
    for (const Case &c : cases) {
        Canvas(752, 480);
        const int ax = 40, bx = 40 + c.modulesApart * c.m;
        DrawFinder(ax, 100, c.m);
        DrawFinder(bx, 100, c.m);
        QR_FINDER_SUMMARY f[3] = {Summary(ax, 100, 7 * c.m), Summary(0, 0, 0), Summary(bx, 100, 7 * c.m)};
        g_qrGeomWork.pairModuleSize = 0;
        const int measured = QR_MeasureFinderPair(&f[0], &f[2]);
        const int truth = c.modulesApart + 7;
        EXPECT_LE(measured, truth) << c.modulesApart;
        EXPECT_GE(measured, truth - std::max(2, truth / 14)) << c.modulesApart;
        EXPECT_NEAR(g_qrGeomWork.pairModuleSize, c.m, 0.25) << c.modulesApart;
        if (c.expectDim == 0) continue;  // not a QR dimension
        QR_SYMBOL_STATE st{};
        const int ok = QR_EstimateSymbolSize(f, &st);
        if (c.expectDim < 0) {
            EXPECT_EQ(ok, 0) << c.modulesApart;
            continue;
        }
        ASSERT_EQ(ok, 1) << c.modulesApart;
        EXPECT_EQ(st.dimension, c.expectDim) << c.modulesApart;
        EXPECT_EQ(st.version, (c.expectDim - 17) / 4) << c.modulesApart;
        const float expectMs = 0.5f * static_cast<float>(bx - ax) / static_cast<float>(c.expectDim) + 0.5f;
        EXPECT_FLOAT_EQ(st.moduleSize, expectMs) << c.modulesApart;
    }
}

// What each failure of a pair does to the slots.
TEST_F(QrSizeTest, PairFailuresMarkSlotsAbsent) {
    const int m = 4;
    DrawFinder(100, 150, m);
    // Second pattern missing: only the first is measured; slot 2 goes.
    {
        QR_FINDER_SUMMARY f[3] = {Summary(100, 150, 28), Summary(0, 0, 0), Summary(400, 150, 28)};
        EXPECT_EQ(QR_MeasureFinderPair(&f[0], &f[2]), kQrPairSecondFailed);
        QR_SYMBOL_STATE st{};
        EXPECT_EQ(QR_EstimateSymbolSize(f, &st), 0);
        EXPECT_EQ(f[0].size, 28);
        EXPECT_EQ(f[2].size, 0);
    }
    // First pattern missing: slot 0 goes, and with it the rest of the estimate.
    {
        QR_FINDER_SUMMARY f[3] = {Summary(400, 350, 28), Summary(100, 150, 28), Summary(0, 0, 0)};
        EXPECT_EQ(QR_MeasureFinderPair(&f[0], &f[1]), kQrPairFirstFailed);
        QR_SYMBOL_STATE st{};
        EXPECT_EQ(QR_EstimateSymbolSize(f, &st), 0);
        EXPECT_EQ(f[0].size, 0);
        EXPECT_EQ(f[1].size, 28);
    }
    // The same centre twice: no points between them; both go.
    {
        QR_FINDER_SUMMARY f[3] = {Summary(100, 150, 28), Summary(100, 150, 28), Summary(0, 0, 0)};
        EXPECT_EQ(QR_MeasureFinderPair(&f[0], &f[1]), kQrPairNoPoints);
        QR_SYMBOL_STATE st{};
        EXPECT_EQ(QR_EstimateSymbolSize(f, &st), 0);
        EXPECT_EQ(f[0].size, 0);
        EXPECT_EQ(f[1].size, 0);
    }
    // A second pattern whose rays show both rising edges but no falling one between them
    // fails on the middle edge: slot 0 goes, not slot 1.
    {
        const uint8_t flatRings[3] = {124, 130, kDark};
        DrawFinder(300, 350, m, flatRings);
        QR_FINDER_SUMMARY f[3] = {Summary(100, 350, 28), Summary(300, 350, 28), Summary(0, 0, 0)};
        DrawFinder(100, 350, m);
        EXPECT_EQ(QR_MeasureFinderPair(&f[0], &f[1]), kQrPairFirstFailed);
        QR_SYMBOL_STATE st{};
        EXPECT_EQ(QR_EstimateSymbolSize(f, &st), 0);
        EXPECT_EQ(f[0].size, 0);
        EXPECT_EQ(f[1].size, 28);
    }
}

// Fits that measure nothing (flat, falling, not finite, or with a slope too small for its
// quotient to be an integer) give 0, which the estimate treats as a failed pair, and leave
// the module size alone.
TEST_F(QrSizeTest, DegenerateFitsGiveNoDimension) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float flat[8] = {500, 500, 500, 500, 500, 500, 500, 500};
    const float falling[8] = {900, 900, 300, 300, 700, 500, 500, 700};
    const float withNan[8] = {25, 25, 31, nan, 27, 29, 29, 27};
    const float withInf[8] = {25, 25, 31, inf, 27, 29, 29, 27};
    // Slope 1e-6 with an offset of 1e9: the quotient is far beyond 32 bits.
    float tiny[8];
    const float x[8] = {7, 7, 13, 13, 9, 11, 11, 9};
    for (int k = 0; k < 8; ++k) tiny[k] = 1.0e9f + 1.0e-6f * x[k];
    const float *const fits[] = {flat, falling, withNan, withInf, tiny};
    for (const float *d : fits) {
        g_qrGeomWork.pairModuleSize = 1.25;
        EXPECT_EQ(QR_FitPairDistances(d), 0);
        EXPECT_EQ(g_qrGeomWork.pairModuleSize, 1.25);
    }
    float slope = 1, offset = 1;
    const float sameX[8] = {9, 9, 9, 9, 9, 9, 9, 9};
    QR_FitEdgeLine(8, sameX, flat, &slope, &offset);
    EXPECT_EQ(slope, 0.0f);
    EXPECT_EQ(offset, 0.0f);
    // A diagonal pair measures along the module diagonals.
    const float d[8] = {25 * 64, 25 * 64, 31 * 64, 31 * 64, 27 * 64, 29 * 64, 29 * 64, 27 * 64};
    g_qrGeomWork.pairModuleSize = 0;
    g_qrGeomWork.arrangement = kQrArrangeDiagonal;
    EXPECT_EQ(QR_FitPairDistances(d), 32);
    EXPECT_NEAR(g_qrGeomWork.pairModuleSize, 4.0 * 0.7071068, 1e-5);
}

// Rays are cut at the image border; a pattern beside the border still measures.
TEST_F(QrSizeTest, RaysAreCutAtTheBorder) {
    const int m = 4;
    DrawFinder(16, 100, m);  // 14 pixels of the pattern's half lie left of its centre
    DrawFinder(16 + 30 * m, 100, m);
    const QR_FINDER_SUMMARY a = Summary(16, 100, 28), b = Summary(16 + 30 * m, 100, 28);
    const int d = QR_MeasureFinderPair(&a, &b);
    EXPECT_TRUE(d >= 35 && d <= 37) << d;
}

// Light-on-dark patterns are measured on their falling edges under polarity 0.
TEST_F(QrSizeTest, LightOnDarkPatterns) {
    const int m = 5;
    const uint8_t inverse[3] = {kLight, kDark, kLight};
    Fill(0, 0, 752, 480, kDark);
    DrawFinder(100, 100, m, inverse);
    DrawFinder(100, 100 + 20 * m, m, inverse);
    const QR_FINDER_SUMMARY a = Summary(100, 100, 35), b = Summary(100, 100 + 20 * m, 35);
    g_qrPolarity = 0;
    const int d = QR_MeasureFinderPair(&a, &b);
    EXPECT_TRUE(d >= 25 && d <= 27) << d;
    g_qrPolarity = 1;
    EXPECT_LT(QR_MeasureFinderPair(&a, &b), 0);
}

// However tall the frame, a ray holds at most 960 points.
TEST_F(QrSizeTest, RayLengthIsBounded) {
    Canvas(600, 2400);
    DrawFinder(300, 300, 41);
    DrawFinder(300, 2100, 41);
    const QR_FINDER_SUMMARY a = Summary(300, 300, 1000), b = Summary(300, 2100, 1000);
    const int d = QR_MeasureFinderPair(&a, &b);
    EXPECT_TRUE(d == 51 || d < 0) << d;
}

TEST(QrVersionTable, VersionAndAlignmentCountOfADimension) {
    struct Case {
        int dim, version, count;
    };
    const Case cases[] = {{21, 1, 0}, {25, 2, 2},  {41, 6, 2},   {45, 7, 3},   {69, 13, 3}, {73, 14, 4}, {97, 20, 4},
                          {101, 21, 5}, {125, 27, 5}, {129, 28, 6}, {153, 34, 6}, {157, 35, 7}, {177, 40, 7},
                          {181, 41, 0}, {17, 0, 0},   {13, -1, 0},  {0, -4, 0}};
    for (const Case &c : cases) {
        int v = 99, n = 99;
        QR_VersionFromDimension(c.dim, &v, &n);
        EXPECT_EQ(v, c.version) << c.dim;
        EXPECT_EQ(n, c.count) << c.dim;
    }
    QR_VersionFromDimension(45, nullptr, nullptr);
}

}  // namespace

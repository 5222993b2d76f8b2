// The QR symbol decode's own steps: finder summaries and geometry points, the geometry
// set-up's checks, equalisation, the quadratic re-sampling and the small routines.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/arena.h"
#include "core/modules.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"
#include "qr/qr_driver.h"
#include "qr/qr_segments.h"
#include "qr/qr_symbol.h"
#include "toolkit/geometry.h"

namespace {

using vexo::GEO_POINT;
using vexo::QR_FINDER_PATTERN;

class QrSymbolDecodeTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        vexo_test::DecoderTest::SetUp();
        frame_.assign(static_cast<size_t>(kW) * kH, 0);
        for (int y = 0; y < kH; ++y) {
            for (int x = 0; x < kW; ++x) frame_[static_cast<size_t>(y) * kW + x] = static_cast<vexo::u8>(x & 0xFF);
        }
        vexo::Pix_SetImagePointer(frame_.data());
        vexo::Pix_SetImageSize(kW, kH);
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_InstallFrame(frame_.data(), kW, kH);
        vexo::Mem_ResetArena();
        vexo::QR_SetWorkBuffers();
    }
    static constexpr int kW = 752;
    static constexpr int kH = 480;
    std::vector<vexo::u8> frame_;
};

// A square pattern: ring corners r1..r4 clockwise from the top-left, side 6 modules.
QR_FINDER_PATTERN Square(int x, int y, int module, int inverse = 0) {
    QR_FINDER_PATTERN p{};
    const int s = 6 * module * 16;
    const int x16 = x * 16, y16 = y * 16;
    p.corners[0] = {x16, y16};
    p.corners[1] = {x16 + s, y16};
    p.corners[2] = {x16 + s, y16 + s};
    p.corners[3] = {x16, y16 + s};
    p.inverse = inverse;
    vexo::QR_SetPatternBox(&p);
    return p;
}

TEST_F(QrSymbolDecodeTest, SummaryOfAPattern) {
    const vexo::QR_FINDER_SUMMARY s = vexo::QR_SummarisePattern(Square(100, 50, 5));
    EXPECT_EQ(s.centreX, 115);
    EXPECT_EQ(s.centreY, 65);
    EXPECT_FLOAT_EQ(s.moduleSize, 5.0f);
    EXPECT_EQ(s.size, 35);  // 30 + 5 + 0.5
    EXPECT_EQ(s.width, 35);
    EXPECT_EQ(s.height, 35);
    EXPECT_EQ(s.score, 600);
    // A turned pattern: the extents grow, the size does not.
    QR_FINDER_PATTERN t{};
    t.corners[0] = {16 * 100, 16 * 50};
    t.corners[1] = {16 * 118, 16 * 74};  // 30 px away
    t.corners[2] = {16 * 94, 16 * 92};
    t.corners[3] = {16 * 76, 16 * 68};
    vexo::QR_SetPatternBox(&t);
    const vexo::QR_FINDER_SUMMARY u = vexo::QR_SummarisePattern(t);
    EXPECT_EQ(u.size, 35);
    EXPECT_EQ(u.width, 47);   // 42 + 5 + 0.5
    EXPECT_EQ(u.height, 47);
}

struct FillCase {
    const char *name;
    int type;
    int n;
    int arrangement;
};

TEST_F(QrSymbolDecodeTest, FillGeometryTable) {
    const FillCase cases[] = {
        {"one pattern", 1, 1, 0},
        {"three patterns", 3, 3, 1},
        {"side pair", 5, 2, 3},
        {"diagonal pair", 4, 2, 4},
    };
    const QR_FINDER_PATTERN p[3] = {Square(300, 100, 4), Square(100, 100, 5), Square(100, 300, 6)};
    for (const FillCase &c : cases) {
        vexo::QR_FINDER_SUMMARY local[3] = {};
        vexo::QR_SUMMARY_SET desc{0, {&local[0], &local[1], &local[2]}};
        vexo::QR_GEOMETRY g{};
        vexo::g_qrGeomWork = vexo::QR_GEOM_WORK{};
        vexo::g_qrGeomWork.arrangement = 99;
        vexo::QR_FillGeometry(p, c.n, &desc, &g, c.type);
        const vexo::QR_GEOM_WORK &w = vexo::g_qrGeomWork;
        EXPECT_EQ(w.arrangement, c.arrangement) << c.name;
        EXPECT_EQ(g.arrangement, c.arrangement) << c.name;
        EXPECT_EQ(desc.count, c.n) << c.name;
        // Reference points of every slot, 1/11 module.
        for (int slot = 0; slot < 3; ++slot) {
            EXPECT_EQ(w.modulePoints[slot][0].y, 66) << c.name;
            EXPECT_EQ(w.modulePoints[slot][4].x, 33) << c.name;
        }
        // Summaries: for three patterns the corner pattern (p1) comes first.
        const int order3[3] = {1, 0, 2};
        for (int k = 0; k < c.n; ++k) {
            const int src = c.n == 3 ? order3[k] : k;
            const vexo::QR_FINDER_SUMMARY want = vexo::QR_SummarisePattern(p[src]);
            EXPECT_EQ(local[k].centreX, want.centreX) << c.name << " slot " << k;
            EXPECT_EQ(vexo::g_qrSummaries[k].size, want.size) << c.name << " slot " << k;
            EXPECT_EQ(g.finder[k].centreY, want.centreY) << c.name << " slot " << k;
        }
        // Work-area points in 1/4 pixel, in the corner order of the arrangement.
        if (c.type == 3) {
            // Slot 0 := p1 as (r4, r1, r2, r3, centre); slot 1 := p0 as (r3, r4, r1, r2, centre).
            EXPECT_EQ(w.imagePoints[0][0].x, p[1].corners[3].x >> 2) << c.name;
            EXPECT_EQ(w.imagePoints[0][1].y, p[1].corners[0].y >> 2) << c.name;
            EXPECT_EQ(w.imagePoints[1][0].x, p[0].corners[2].x >> 2) << c.name;
            EXPECT_EQ(w.imagePoints[2][4].x, p[2].centreX >> 2) << c.name;
            // The saved geometry keeps whole pixels, slots p1, p0, p2.
            EXPECT_EQ(g.imagePoints[0][0].x, p[1].corners[0].x >> 4) << c.name;
            EXPECT_EQ(g.imagePoints[2][4].y, p[2].centreY >> 4) << c.name;
        } else if (c.type == 4) {
            EXPECT_EQ(w.imagePoints[0][0].x, p[1].corners[2].x >> 2) << c.name;
            EXPECT_EQ(w.imagePoints[1][0].x, p[0].corners[2].x >> 2) << c.name;
        } else if (c.type == 1) {
            EXPECT_EQ(w.imagePoints[0][0].x, p[0].corners[3].x >> 2) << c.name;
            EXPECT_EQ(g.imagePoints[0][1].x, p[0].corners[1].x >> 4) << c.name;
        }
    }
}

TEST_F(QrSymbolDecodeTest, SetupGeometryChecksItsArguments) {
    vexo::QR_GEOMETRY g{};
    vexo::QR_FINDER_SUMMARY s[3] = {};
    EXPECT_EQ(vexo::QR_SetupGeometry(nullptr, 3, &g), vexo::kQrStatusBadArguments);
    EXPECT_EQ(vexo::QR_SetupGeometry(s, 1, &g), vexo::kQrStatusBadArguments);
    EXPECT_EQ(vexo::QR_SetupGeometry(s, 3, nullptr), vexo::kQrStatusBadArguments);
    s[1].size = 35;
    EXPECT_EQ(vexo::QR_SetupGeometry(s, 3, &g), vexo::kQrStatusFewFinders);
    EXPECT_EQ(vexo::g_qrSymbol.model1, 1);
    EXPECT_EQ(vexo::g_qrSymbol.model2, 1);
}

TEST_F(QrSymbolDecodeTest, SetupGeometryWithoutAVersionEstimate) {
    vexo::QR_GEOMETRY g{};
    vexo::QR_FINDER_SUMMARY s[3] = {};
    s[0].size = 35;
    s[0].centreX = 11;
    s[2].size = 36;
    s[2].centreX = 22;
    vexo::g_qrGeomWork.orientationKnown = 1;
    vexo::g_qrGeomWork.globalValid = 1;
    vexo::g_qrSymbol.eciSeen = 1;
    EXPECT_EQ(vexo::QR_SetupGeometry(s, 3, &g), vexo::kQrStatusNoVersion);
    EXPECT_EQ(vexo::g_qrSymbol.version, -1);
    EXPECT_EQ(vexo::g_qrSymbol.eciSeen, 0);
    EXPECT_EQ(vexo::g_qrGeomWork.orientationKnown, 0);
    EXPECT_EQ(vexo::g_qrGeomWork.globalValid, 0);
    // The present summaries were packed into the first slots; the size estimate, which
    // found no image to measure the first pattern in, then marked that one absent.
    EXPECT_EQ(vexo::g_qrGeomWork.finder[0].centreX, 11);
    EXPECT_EQ(vexo::g_qrGeomWork.finder[1].centreX, 22);
    EXPECT_EQ(vexo::g_qrGeomWork.finder[0].size, 0);
    EXPECT_EQ(vexo::g_qrGeomWork.finder[1].size, 36);
    EXPECT_EQ(vexo::g_qrGeomWork.finder[2].size, 0);
    // No Model 1 format word was read.
    EXPECT_EQ(vexo::g_qrSymbol.model1, 0);
}

TEST_F(QrSymbolDecodeTest, SampleAndDecodeNeedsItsMemoryAndASavedGeometry) {
    vexo::QR_GEOMETRY g{};
    EXPECT_EQ(vexo::QR_SampleAndDecode(&g), vexo::kQrStatusNoMemory);
    ASSERT_NE(vexo::Mem_Alloc(vexo::kArenaCapacity - 1024), nullptr);
    g.saved = 1;
    EXPECT_EQ(vexo::QR_SampleAndDecode(&g), vexo::kQrStatusNoMemory);
}

TEST_F(QrSymbolDecodeTest, RefitFallbackFailsWithoutARefit) {
    vexo::g_qrSymbol.model2 = 0;
    vexo::g_qrSymbol.dimension = 25;
    QR_FINDER_PATTERN p[3] = {};
    EXPECT_EQ(vexo::QR_RefitFallback(p, 3), -1);
    EXPECT_EQ(vexo::g_qrSymbol.model2, 1);
    EXPECT_EQ(vexo::g_arena.count, 0);
    ASSERT_NE(vexo::Mem_Alloc(vexo::kArenaCapacity - 1024), nullptr);
    EXPECT_EQ(vexo::QR_RefitFallback(p, 3), -1);
}

TEST_F(QrSymbolDecodeTest, DecodeMatrixRefusesBadSizesAndAFullArena) {
    vexo::MODULE_BITS r{};
    for (const int n : {0, 20, 178, -21}) {
        vexo::g_qrSymbol.dimension = n;
        EXPECT_EQ(vexo::QR_DecodeMatrix(&r, 0), vexo::kQrStatusMatrix) << n;
        EXPECT_EQ(vexo::QR_DecodeMatrixEqualised(&r, 1), vexo::kQrStatusMatrix) << n;
    }
    vexo::g_qrSymbol.dimension = 177;
    ASSERT_NE(vexo::Mem_Alloc(vexo::kArenaCapacity - 2 * 177 * 177), nullptr);
    vexo::ARENA_STATS before{};
    vexo::Mem_GetStats(&before);
    vexo::Dec_ClearStatusWords();
    EXPECT_EQ(vexo::QR_DecodeMatrix(&r, 0), vexo::kQrStatusMatrix);
    EXPECT_EQ(vexo::Dec_GetStatusWord(2), 0u);  // refused before binarising
    vexo::ARENA_STATS after{};
    vexo::Mem_GetStats(&after);
    EXPECT_EQ(after.used, before.used);
}

// ---- Equalisation.

TEST_F(QrSymbolDecodeTest, EqualiseRegionTable) {
    struct Case {
        const char *name;
        std::vector<vexo::u8> data;
        int stride, x0, y0, x1, y1;
        std::vector<vexo::u8> expect;
    } cases[] = {
        {"two levels", {0, 0, 255, 255}, 2, 0, 0, 1, 1, {127, 127, 254, 254}},
        {"ramp", {10, 20, 30, 40}, 4, 0, 0, 3, 0, {63, 127, 190, 254}},
        {"one level", {77, 77, 77}, 3, 0, 0, 2, 0, {254, 254, 254}},
        {"inner rectangle", {9, 9, 9, 9, 0, 200, 9, 9, 9}, 3, 1, 1, 2, 1, {127, 254}},
        {"a rare dark value", {0, 50, 50, 50, 50, 50, 50, 50, 50, 50}, 10, 0, 0, 9, 0,
         {25, 254, 254, 254, 254, 254, 254, 254, 254, 254}},
    };
    for (const Case &c : cases) {
        std::vector<vexo::u8> out(c.expect.size(), 0xEE);
        vexo::QR_EQUALISED eq{out.data(), 0, 0};
        ASSERT_EQ(vexo::QR_EqualiseRegion(c.data.data(), c.stride, c.x0, c.y0, c.x1, c.y1, &eq), 1) << c.name;
        EXPECT_EQ(out, c.expect) << c.name;
        EXPECT_EQ(eq.width, c.x1 - c.x0 + 1) << c.name;
        EXPECT_EQ(eq.height, c.y1 - c.y0 + 1) << c.name;
    }
    vexo::u8 d[4] = {}, o[4] = {};
    vexo::QR_EQUALISED eq{o, 0, 0};
    EXPECT_EQ(vexo::QR_EqualiseRegion(d, 2, 1, 0, 0, 0, &eq), 0);
    EXPECT_EQ(vexo::QR_EqualiseRegion(d, 2, 0, 0, 2, 0, &eq), 0);  // beyond the stride
    EXPECT_EQ(vexo::QR_EqualiseRegion(nullptr, 2, 0, 0, 1, 1, &eq), 0);
}

TEST_F(QrSymbolDecodeTest, RegionHistogramCountsTheRectangle) {
    const vexo::u8 d[] = {1, 2, 3, 1, 2, 3, 1, 2, 3};
    vexo::i32 hist[256];
    vexo::QR_RegionHistogram(d, 3, 1, 0, 2, 2, hist);
    EXPECT_EQ(hist[1], 0);
    EXPECT_EQ(hist[2], 3);
    EXPECT_EQ(hist[3], 3);
}

// ---- The quadratic map.

TEST_F(QrSymbolDecodeTest, QuadraticMapFitRecoversAnExactMap) {
    // X = 0.5 u^2 + 2 u + 3 v + 7, Y = 0.25 v^2 - u + 4 v + 11 on a 4 x 4 grid of points.
    std::vector<GEO_POINT> image, module;
    for (int u = 0; u < 8; u += 2) {
        for (int v = 0; v < 8; v += 2) {
            module.push_back({u, v});
            image.push_back({u * u / 2 + 2 * u + 3 * v + 7, v * v / 4 - u + 4 * v + 11});
        }
    }
    double a[36], bx[6], by[6];
    ASSERT_EQ(vexo::QR_FitQuadraticMap(image.data(), module.data(), 16, a, bx, by), 1);
    double a2[36];
    std::memcpy(a2, a, sizeof a2);
    ASSERT_EQ(vexo::Geo_SolveLinearSystem(a, bx, 6), 1);
    ASSERT_EQ(vexo::Geo_SolveLinearSystem(a2, by, 6), 1);
    const double wantX[6] = {0.5, 0, 0, 2, 3, 7}, wantY[6] = {0, 0.25, 0, -1, 4, 11};
    for (int k = 0; k < 6; ++k) {
        EXPECT_NEAR(bx[k], wantX[k], 1e-9) << k;
        EXPECT_NEAR(by[k], wantY[k], 1e-9) << k;
    }
    EXPECT_EQ(vexo::QR_FitQuadraticMapChecked(image.data(), module.data(), 5, a, bx, by), 0);
    EXPECT_EQ(vexo::QR_FitQuadraticMapChecked(image.data(), module.data(), 6, a, bx, by), 1);
}

// Geometry of a three-pattern candidate of dimension n whose modules lie `module` pixels
// apart from (x0, y0), as the grid stages save it (1/4 pixel).
vexo::QR_GEOMETRY ThreeFinderGeometry(int n, int module, int x0, int y0) {
    vexo::QR_GEOMETRY g{};
    g.saved = 1;
    g.arrangement = vexo::kQrArrangeThree;
    const GEO_POINT corners[3][4] = {
        {{0, 6}, {0, 0}, {6, 0}, {6, 6}},
        {{6, n - 7}, {6, n - 1}, {0, n - 1}, {0, n - 7}},
        {{n - 7, 0}, {n - 1, 0}, {n - 1, 6}, {n - 7, 6}},
    };
    for (int s = 0; s < 3; ++s) {
        for (int k = 0; k < 4; ++k) g.imagePoints[s][k] = {4 * (x0 + module * corners[s][k].x), 4 * (y0 + module * corners[s][k].y)};
    }
    vexo::g_qrGeomWork.lastAlignment = {x0 + module * (n - 7), y0 + module * (n - 7)};
    return g;
}

TEST_F(QrSymbolDecodeTest, ResampleQuadraticReadsTheMappedModules) {
    const int n = 25;
    vexo::g_qrSymbol.dimension = n;
    const vexo::QR_GEOMETRY g = ThreeFinderGeometry(n, 5, 40, 30);
    std::memset(vexo::g_qrWorkAreas.greyMatrix, 0xAA, static_cast<size_t>(n * n));
    vexo::QR_ResampleQuadratic(&g);
    // Module (k, i) maps to pixel 40 + 5 k (+1); the frame's grey is x, so the sample is
    // 41 + 5 k within the rounding of the fit.
    for (int i = 0; i < n; i += 6) {
        for (int k = 0; k < n; ++k) {
            const int got = vexo::g_qrWorkAreas.greyMatrix[i * n + k];
            EXPECT_NEAR(got, 41 + 5 * k, 1) << "module " << k << "," << i;
        }
    }
}

TEST_F(QrSymbolDecodeTest, ResampleQuadraticLeavesTheMatrixWhenPositionsAreOutOfRange) {
    const int n = 25;
    vexo::g_qrSymbol.dimension = n;
    vexo::QR_GEOMETRY g = ThreeFinderGeometry(n, 5, 40, 30);
    // One corner far beyond any frame: the fit maps modules there.
    g.imagePoints[2][1] = {std::numeric_limits<vexo::i32>::max(), std::numeric_limits<vexo::i32>::min()};
    std::memset(vexo::g_qrWorkAreas.greyMatrix, 0xAA, static_cast<size_t>(n * n));
    vexo::QR_ResampleQuadratic(&g);
    for (int j = 0; j < n * n; ++j) ASSERT_EQ(vexo::g_qrWorkAreas.greyMatrix[j], 0xAA) << j;
}

TEST_F(QrSymbolDecodeTest, ResampleQuadraticOnlyForThreePatterns) {
    const int n = 25;
    vexo::g_qrSymbol.dimension = n;
    vexo::QR_GEOMETRY g = ThreeFinderGeometry(n, 5, 40, 30);
    g.arrangement = vexo::kQrArrangeSidePair;
    std::memset(vexo::g_qrWorkAreas.greyMatrix, 0xAA, static_cast<size_t>(n * n));
    vexo::QR_ResampleQuadratic(&g);
    EXPECT_EQ(vexo::g_qrWorkAreas.greyMatrix[0], 0xAA);
    vexo::QR_ResampleQuadratic(nullptr);
}

// ---- Small routines.

TEST_F(QrSymbolDecodeTest, GammaStretchTable) {
    struct Case {
        const char *name;
        double g;
        std::vector<vexo::u8> in, out;
        int result;
    } cases[] = {
        {"identity", 1.0, {0, 64, 128, 255}, {0, 64, 128, 255}, 0},
        {"stretch", 1.0, {100, 150, 200}, {0, 127, 255}, 0},
        {"square", 2.0, {0, 128, 255}, {0, 64, 255}, 0},
        {"flat", 1.0, {9, 9, 9}, {9, 9, 9}, 1},
        {"tiny exponent taken as 0.1", 0.0, {1, 255}, {0, 255}, 0},
        {"huge exponent saturates", 1e12, {0, 1, 200, 255}, {0, 0, 255, 255}, 0},
        {"no exponent", std::nan(""), {1, 255}, {0, 255}, 0},
    };
    for (const Case &c : cases) {
        std::vector<vexo::u8> d = c.in;
        vexo::QR_GREY_MATRIX m{d.data(), static_cast<vexo::i32>(d.size()), 1};
        EXPECT_EQ(vexo::QR_GammaStretch(&m, c.g), c.result) << c.name;
        EXPECT_EQ(d, c.out) << c.name;
        EXPECT_EQ(vexo::g_arena.count, 0) << c.name;
    }
    vexo::QR_GREY_MATRIX empty{nullptr, 3, 3};
    EXPECT_EQ(vexo::QR_GammaStretch(&empty, 1.0), -1);
}

TEST_F(QrSymbolDecodeTest, CosineTimes1000) {
    const GEO_POINT o{0, 0}, x{100, 0}, y{0, 100}, d{100, 100}, back{-100, 0};
    EXPECT_EQ(vexo::QR_CosineTimes1000(&o, &x, &y), 0);
    EXPECT_EQ(vexo::QR_CosineTimes1000(&o, &x, &back), -1000);
    EXPECT_EQ(vexo::QR_CosineTimes1000(&o, &x, &d), 707);
    EXPECT_EQ(vexo::QR_CosineTimes1000(&o, &o, &d), -1000);  // a degenerate side
}

TEST_F(QrSymbolDecodeTest, WorkBuffersLieInTheSecondBuffer) {
    vexo::QR_SetWorkBuffers();
    EXPECT_EQ(vexo::g_qrWorkAreas.greyMatrix, vexo::g_internalImage + 1280);
    EXPECT_EQ(vexo::g_qrWorkAreas.bitMatrix, vexo::g_internalImage + 39696);
    EXPECT_EQ(vexo::g_qrGeomWork.sampleBuffer, vexo::g_internalImage);
    EXPECT_EQ(vexo::g_qrResult.text, vexo::g_qrResult.textBuffer);
}

}  // namespace

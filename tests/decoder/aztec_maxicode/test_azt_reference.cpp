// The full-range reference grid: line positions by size, patch tables and ranges, the curve
// routines, and the tracing of one line on synthetic timing patterns drawn into a frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "aztec_maxicode/azt_symbol.h"
#include "core/pixel.h"
#include "core/state.h"
#include "core/test_hooks.h"

namespace {

using vexo::AZT_CURVE;
using vexo::AZT_CURVE_FIT;
using vexo::g_aztReference;

std::vector<int> RefPositions(int size) {
    vexo::Azt_SetReferenceLines(size);
    return std::vector<int>(g_aztReference.positions, g_aztReference.positions + g_aztReference.count);
}

TEST(AztReferenceLines, PositionsBySize) {
    for (int size : {19, 23, 27, 31}) EXPECT_EQ(RefPositions(size), std::vector<int>{size / 2}) << size;
    EXPECT_EQ(RefPositions(37), (std::vector<int>{2, 18, 34}));
    EXPECT_EQ(RefPositions(41), (std::vector<int>{4, 20, 36}));
    EXPECT_EQ(RefPositions(53), (std::vector<int>{10, 26, 42}));
    EXPECT_EQ(RefPositions(67), (std::vector<int>{1, 17, 33, 49, 65}));
    EXPECT_EQ(RefPositions(151), (std::vector<int>{11, 27, 43, 59, 75, 91, 107, 123, 139}));
    // Beyond nine lines (a size no mode message gives) the tracing has nothing to trace.
    EXPECT_TRUE(RefPositions(161).empty());
    EXPECT_EQ(vexo::Azt_TraceReferenceGrid(), 0);
    vexo::Azt_SetReferenceLines(151);
    EXPECT_EQ(vexo::Azt_IsReferencePosition(75), 1);
    EXPECT_EQ(vexo::Azt_IsReferencePosition(76), 0);
}

// Beyond the central crossing's neighbours the lines go outwards pair by pair, horizontal
// before vertical.
TEST(AztReferenceLines, TraceOrderOfNineLines) {
    int32_t order[18][2];
    ASSERT_EQ(vexo::Azt_ReferenceTraceOrder(9, order), 12);
    const int32_t want[12][2] = {{1, 2}, {1, 6}, {0, 2}, {0, 6}, {1, 1}, {1, 7},
                                 {0, 1}, {0, 7}, {1, 0}, {1, 8}, {0, 0}, {0, 8}};
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(order[k][0], want[k][0]) << k;
        EXPECT_EQ(order[k][1], want[k][1]) << k;
    }
    EXPECT_EQ(vexo::Azt_ReferenceTraceOrder(3, order), 0);
    EXPECT_EQ(vexo::Azt_ReferenceTraceOrder(5, order), 4);
}

// Straight reference curves of a grid drawn at 4 px per module from (40, 30), turned a little.
constexpr double kRefModule = 4.0, kRefX0 = 40.0, kRefY0 = 30.0, kRefTilt = 0.05;

void RefImagePoint(double u, double v, double *x, double *y) {
    *x = kRefX0 + kRefModule * (u - kRefTilt * v);
    *y = kRefY0 + kRefModule * (v + kRefTilt * u);
}

AZT_CURVE RefStraightCurve(int horizontal, int at) {
    double x0, y0, x1, y1;
    if (horizontal != 0) {
        RefImagePoint(0, at, &x0, &y0);
        RefImagePoint(1, at, &x1, &y1);
    } else {
        RefImagePoint(at, 0, &x0, &y0);
        RefImagePoint(at, 1, &x1, &y1);
    }
    AZT_CURVE c{};
    c.valid = 1;
    c.bx = 16 * (x1 - x0);
    c.cx = 16 * x0;
    c.by = 16 * (y1 - y0);
    c.cy = 16 * y0;
    return c;
}

void SetStraightGrid(int size) {
    vexo::Azt_SetReferenceLines(size);
    for (int k = 0; k < g_aztReference.count; ++k) {
        g_aztReference.horizontal[k] = RefStraightCurve(1, g_aztReference.positions[k]);
        g_aztReference.vertical[k] = RefStraightCurve(0, g_aztReference.positions[k]);
    }
}

TEST(AztPatchTables, EdgesJoinTheReferenceLines) {
    vexo::AZT_PATCH_TABLES t;
    int32_t ranges[11][2];
    SetStraightGrid(37);
    ASSERT_EQ(vexo::Azt_BuildPatchTables(37, &t), 5);
    EXPECT_EQ(std::vector<int>(t.positions, t.positions + 5), (std::vector<int>{0, 2, 18, 34, 36}));
    // The edge curves are predicted from the other family.
    for (int k : {0, 4}) {
        ASSERT_EQ(t.horizontal[k].valid, 1);
        int32_t x = 0, y = 0;
        double wx, wy;
        ASSERT_EQ(vexo::Azt_EvalCurve(&t.horizontal[k], 10, &x, &y), 1);
        RefImagePoint(10, t.positions[k], &wx, &wy);
        EXPECT_NEAR(x, 16 * wx, 2) << k;
        EXPECT_NEAR(y, 16 * wy, 2) << k;
    }
    ASSERT_EQ(vexo::Azt_PatchRanges(5, ranges), 2);
    EXPECT_EQ(ranges[0][0], 0);
    EXPECT_EQ(ranges[0][1], 2);
    EXPECT_EQ(ranges[1][0], 2);
    EXPECT_EQ(ranges[1][1], 4);

    SetStraightGrid(151);
    ASSERT_EQ(vexo::Azt_BuildPatchTables(151, &t), 11);
    EXPECT_EQ(t.positions[0], 0);
    EXPECT_EQ(t.positions[10], 150);
    ASSERT_EQ(vexo::Azt_PatchRanges(11, ranges), 5);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(ranges[k][0], 2 * k);
        EXPECT_EQ(ranges[k][1], 2 * k + 2);
    }
    // An even table (first line at 0) ends with a single interval.
    ASSERT_EQ(vexo::Azt_PatchRanges(4, ranges), 2);
    EXPECT_EQ(ranges[1][0], 2);
    EXPECT_EQ(ranges[1][1], 3);
}

TEST(AztCurves, EvaluationSaturatesAndTruncates) {
    struct EvalCase {
        double a, b, c;
        int t;
        int32_t want;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const EvalCase cases[] = {
        {0, 0, 2.7, 0, 2},       {0, 0, -2.7, 0, -2},          {1, 2, 3, 10, 123},
        {1e30, 0, 0, 5, 2147483647}, {-1e30, 0, 0, 5, -2147483647 - 1}, {0, 0, nan, 3, 0},
    };
    for (const EvalCase &e : cases) {
        AZT_CURVE c{1, e.a, e.b, e.c, e.a, e.b, e.c};
        int32_t x = 7, y = 7;
        EXPECT_EQ(vexo::Azt_EvalCurve(&c, e.t, &x, &y), 1);
        EXPECT_EQ(x, e.want) << e.a << " " << e.c;
        EXPECT_EQ(y, e.want);
        c.valid = 0;
        EXPECT_EQ(vexo::Azt_EvalValidCurve(&c, e.t, &x, &y), 0);
    }
}

TEST(AztCurves, ShiftThroughAPointAndStatus) {
    const AZT_CURVE c{1, 0.5, 3, 100, -0.25, 2, 50};
    AZT_CURVE s{};
    vexo::Azt_ShiftCurveThrough(&c, 8, 1000, -400, &s);
    int32_t x = 0, y = 0;
    ASSERT_EQ(vexo::Azt_EvalValidCurve(&s, 8, &x, &y), 1);
    EXPECT_EQ(x, 1000);
    EXPECT_EQ(y, -400);
    EXPECT_EQ(s.ax, c.ax);
    EXPECT_EQ(s.by, c.by);
    vexo::g_aztDriver.status = vexo::kAztStatusFullSample;
    EXPECT_EQ(vexo::Azt_GetStatus(), -60);
}

// A line predicted from fewer than three crossing curves is left undetermined.
TEST(AztCurves, PredictionNeedsThreeCrossings) {
    SetStraightGrid(67);
    AZT_CURVE out{};
    AZT_CURVE_FIT fit{};
    fit.curve = &out;
    ASSERT_EQ(vexo::Azt_PredictCurve(g_aztReference.vertical, g_aztReference.positions, 1, 5, &fit), 1);
    EXPECT_EQ(fit.keep, 1);
    int32_t x = 0, y = 0;
    double wx, wy;
    ASSERT_EQ(vexo::Azt_EvalValidCurve(&out, 40, &x, &y), 1);
    RefImagePoint(40, 1, &wx, &wy);
    EXPECT_NEAR(x, 16 * wx, 2);
    EXPECT_NEAR(y, 16 * wy, 2);
    for (int k : {0, 1, 4}) g_aztReference.vertical[k].valid = 0;
    EXPECT_EQ(vexo::Azt_PredictCurve(g_aztReference.vertical, g_aztReference.positions, 1, 5, &fit), 0);
    EXPECT_EQ(out.valid, 0);
    EXPECT_EQ(vexo::Azt_PredictCurve(nullptr, g_aztReference.positions, 1, 5, &fit), 0);
    EXPECT_EQ(vexo::Azt_PredictCurve(g_aztReference.vertical, g_aztReference.positions, 1, 5, nullptr), 0);
}

// Crossings sit at the drop-weighted centre of their monotonic run, in 1/16 sample.
TEST(AztTracing, LevelCrossingsWeightedByDrop) {
    struct CrossCase {
        std::vector<uint8_t> profile;
        int level;
        std::vector<int32_t> want;
    };
    const CrossCase cases[] = {
        {{10, 10, 200, 200}, 100, {24}},
        {{0, 50, 100, 150, 200}, 99, {32}},
        {{0, 20, 180, 200}, 100, {24}},
        {{200, 180, 20, 0, 0, 20, 180, 200}, 100, {24, 88}},
        {{100, 100, 100}, 100, {}},
        {{}, 100, {}},
    };
    for (const CrossCase &c : cases) {
        int32_t got[8];
        const int n = vexo::Azt_ListLevelCrossings(c.profile.data(), static_cast<int>(c.profile.size()), c.level, got, 8);
        EXPECT_EQ(std::vector<int32_t>(got, got + n), c.want) << c.profile.size();
    }
    const std::vector<uint8_t> p = {0, 200, 0, 200, 0, 200};
    int32_t got[2];
    EXPECT_EQ(vexo::Azt_ListLevelCrossings(p.data(), 6, 100, got, 2), 2);
}

// Six regular spacings between crossings score nothing, seven something.
TEST(AztTracing, EdgeSpacingNeedsSevenRegularSpacings) {
    for (int spacings : {6, 7}) {
        std::vector<uint8_t> profile;
        // Runs of 4 samples: crossings 64 apart.
        for (int k = 0; k <= spacings; ++k)
            for (int s = 0; s < 4; ++s) profile.push_back(k % 2 == 0 ? 20 : 220);
        // A long run at the end breaks the regularity.
        profile.insert(profile.end(), 20, (spacings + 1) % 2 == 0 ? 20 : 220);
        const int score = vexo::Azt_ScoreEdgeSpacing(profile.data(), static_cast<int>(profile.size()), 120, 48, 80);
        if (spacings == 6) EXPECT_EQ(score, 0);
        else EXPECT_EQ(score, 7 + 7 * 16);
    }
}

// A frame with one timing line of alternating modules along a slightly sloped line.
class AztTraceFrame : public ::testing::Test {
protected:
    static constexpr int kW = 752, kH = 480;
    static constexpr double kModule = 4.0, kX0 = 70.0, kY0 = 200.0, kSlope = 0.08;
    void SetUp() override {
        vexo::Test_ResetDecoderStatics();
        pixels.assign(kW * kH, 200);
        vexo::Azt_SetWorkAreas(work.data());
    }
    // Module u of the line centred at (LineX(u), LineY(u)); 4 modules high.
    static double LineX(double u) { return kX0 + kModule * u; }
    static double LineY(double u) { return kY0 + kModule * kSlope * u; }
    void Draw(int modules, int damagedFrom = -1, int damagedTo = -1) {
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const double u = (x - kX0) / kModule + 0.5;
                if (u < 0 || u >= modules) continue;
                const double dy = y - LineY(u - 0.5);
                if (std::fabs(dy) > 2 * kModule) continue;
                const int mu = static_cast<int>(u);
                const bool dark = mu % 2 == 0 && std::fabs(dy) <= 0.5 * kModule;
                pixels[y * kW + x] = mu >= damagedFrom && mu <= damagedTo ? 120 : (dark ? 30 : 220);
            }
        vexo::Pix_SetImagePointer(pixels.data());
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::Pix_SetImageSize(kW, kH);
    }
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> work = std::vector<uint8_t>(vexo::kAztWorkBytes, 0);
};

TEST_F(AztTraceFrame, DirectionWithinAModuleAtTheFarEnd) {
    Draw(150);
    // From module 40 towards module 60, the cross segment two modules to either side, the
    // prediction turned away from the true line by about one module.
    const int32_t start[2] = {static_cast<int32_t>(16 * LineX(40)), static_cast<int32_t>(16 * LineY(40))};
    const double fx = LineX(60), fy = LineY(60) + kModule;
    const int32_t cross[4] = {static_cast<int32_t>(16 * fx), static_cast<int32_t>(16 * (fy - 2 * kModule)),
                              static_cast<int32_t>(16 * fx), static_cast<int32_t>(16 * (fy + 2 * kModule))};
    int32_t line[4];
    ASSERT_EQ(vexo::Azt_FindLineDirection(start, cross, line, 60, 70), 1);
    EXPECT_EQ(line[0], start[0]);
    EXPECT_NEAR(line[3] / 16.0, LineY(60), kModule);
    // A segment of one point: every candidate is the same, its score copied, and the clipped
    // window [0, 5] without a peak gives its middle, the point itself.
    const int32_t point[4] = {cross[0], cross[1], cross[0], cross[1]};
    ASSERT_EQ(vexo::Azt_FindLineDirection(start, point, line, 60, 70), 1);
    EXPECT_EQ(line[2], cross[0]);
    EXPECT_EQ(line[3], cross[1]);
    // The true line at the segment's far end: the best window is the last one ([19, 24]).
    const int32_t edge[4] = {cross[0], static_cast<int32_t>(16 * (LineY(60) - 4 * kModule)), cross[0],
                             static_cast<int32_t>(16 * LineY(60))};
    ASSERT_EQ(vexo::Azt_FindLineDirection(start, edge, line, 60, 70), 1);
    EXPECT_NEAR(line[3] / 16.0, LineY(60), kModule);
}

// A curve seeded a little off the line grows onto it, also across a 20-module stretch whose
// timing pattern is gone; the growth's early exits leave the curve alone.
TEST_F(AztTraceFrame, GrowthFollowsTheLineAcrossADamagedStretch) {
    Draw(151, 20, 39);
    vexo::AZT_SYMBOL s{};
    s.size = 151;
    vexo::g_aztDriver.current = &s;
    int32_t xs[4], ys[4], ts[4];
    const int seeds[4] = {67, 71, 79, 83};
    for (int k = 0; k < 4; ++k) {
        ts[k] = seeds[k];
        xs[k] = static_cast<int32_t>(16 * LineX(seeds[k]));
        // Off by half a module and a slope error.
        ys[k] = static_cast<int32_t>(16 * (LineY(seeds[k]) + 2 + 0.03 * (seeds[k] - 75)));
    }
    AZT_CURVE curve{};
    AZT_CURVE_FIT fit{};
    fit.xs = xs;
    fit.ys = ys;
    fit.ts = ts;
    fit.count = 4;
    fit.curve = &curve;
    ASSERT_EQ(vexo::Azt_FitCurve(&fit), 1);
    const AZT_CURVE seeded = curve;
    AZT_CURVE_FIT early = fit;
    EXPECT_EQ(vexo::Azt_GrowCurve(&early, 0, 1), 0);
    EXPECT_EQ(std::memcmp(&curve, &seeded, sizeof curve), 0);
    EXPECT_EQ(vexo::Azt_ExtendCurveDown(&early, 4, 1), 1);
    EXPECT_EQ(vexo::Azt_ExtendCurveUp(&early, 147, 1), 1);
    EXPECT_EQ(vexo::Azt_ExtendCurveDown(nullptr, 40, 1), 0);
    EXPECT_EQ(std::memcmp(&curve, &seeded, sizeof curve), 0);

    ASSERT_EQ(vexo::Azt_GrowCurve(&fit, 75, 1), 1);
    double worst = 0;
    for (int t = 0; t <= 150; t += 5) {
        int32_t x = 0, y = 0;
        vexo::Azt_EvalCurve(&curve, t, &x, &y);
        worst = std::max(worst, std::fabs(y / 16.0 - LineY(t)));
        worst = std::max(worst, std::fabs(x / 16.0 - LineX(t)));
    }
    EXPECT_LT(worst, 1.0);
    vexo::g_aztDriver.current = nullptr;
}

}  // namespace

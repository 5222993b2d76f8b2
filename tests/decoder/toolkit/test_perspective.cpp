// Perspective fits, point mapping and the grid row walk.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "decoder_test.h"
#include "toolkit/perspective.h"

namespace {

using namespace vexo;
using vexo_test::DecoderTest;

constexpr i64 kI64Max = std::numeric_limits<i64>::max();

class PerspectiveTest : public DecoderTest {};

PERSPECTIVE Identity(i64 scale) { return PERSPECTIVE{{scale, 0, 0, 0, scale, 0, 0, 0, scale}}; }

// ---- Rows handed to the walk's callback

struct WalkRow {
    std::vector<i32> xs, ys;
    u32 param;
    u8 *out;
};
std::vector<WalkRow> g_rows;

void RecordRow(const i32 *xs, const i32 *ys, i32 count, u32 param, u8 *out) {
    g_rows.push_back({std::vector<i32>(xs, xs + count), std::vector<i32>(ys, ys + count), param, out});
}

GRID_WALK MakeWalk(const PERSPECTIVE &t, i32 c0, i32 r0, i32 c1, i32 r1, u8 *base = nullptr) {
    GRID_WALK w{};
    w.transform = t;
    w.firstColumn = c0;
    w.firstRow = r0;
    w.lastColumn = c1;
    w.lastRow = r1;
    w.outStep = 10;
    w.outOffset = 3;
    w.outBase = base;
    w.param = 128;
    w.rowCallback = RecordRow;
    return w;
}

// ---- A homography in double from the square (0,0)-(n,n) onto a quad (TL, TR, BL, BR)

struct Homography {
    f64 h[9];
    void Map(f64 u, f64 v, f64 *x, f64 *y) const {
        const f64 d = h[6] * u + h[7] * v + h[8];
        *x = (h[0] * u + h[1] * v + h[2]) / d;
        *y = (h[3] * u + h[4] * v + h[5]) / d;
    }
};

Homography SquareToQuad(const GEO_POINT q[4], f64 n) {
    const f64 x0 = q[0].x, y0 = q[0].y, x1 = q[1].x, y1 = q[1].y;
    const f64 x2 = q[2].x, y2 = q[2].y, x3 = q[3].x, y3 = q[3].y;
    const f64 dx1 = x1 - x3, dx2 = x2 - x3, dy1 = y1 - y3, dy2 = y2 - y3;
    const f64 sx = x0 - x1 - x2 + x3, sy = y0 - y1 - y2 + y3;
    const f64 den = dx1 * dy2 - dx2 * dy1;
    const f64 g = (sx * dy2 - dx2 * sy) / den, k = (dx1 * sy - sx * dy1) / den;
    return Homography{{(x1 - x0 + g * x1) / n, (x2 - x0 + k * x2) / n, x0, (y1 - y0 + g * y1) / n,
                       (y2 - y0 + k * y2) / n, y0, g / n, k / n, 1.0}};
}

// A convex quad around a random centre, each corner moved by up to a fifth of the size.
void RandomQuad(std::mt19937 &rng, GEO_POINT q[4]) {
    std::uniform_real_distribution<f64> centreX(300, 1000), centreY(250, 700), size(40, 240), jitter(-0.2, 0.2);
    const f64 cx = centreX(rng), cy = centreY(rng), s = size(rng);
    const f64 sign[4][2] = {{-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    for (i32 k = 0; k < 4; ++k) {
        q[k].x = static_cast<i32>(std::lround(cx + s * (sign[k][0] + jitter(rng))));
        q[k].y = static_cast<i32>(std::lround(cy + s * (sign[k][1] + jitter(rng))));
    }
}

// ---- Mapping a point

TEST_F(PerspectiveTest, MapPointTable) {
    struct Case {
        i64 scale;
        i32 x, y;
        i32 X, Y, X16, Y16;
    };
    const Case cases[] = {
        {2, 7, 9, 7, 9, 120, 152},       // 16·7 + 8: the half is added before the times 16
        {1, 7, 9, 7, 9, 112, 144},
        {2, -7, -9, -6, -8, -104, -136}, // (N + D/2)/D truncates: no rounding to nearest
        {-2, 7, 9, 7, 9, 120, 152},      // a negative scale: the same formula
        {3, 7, 9, 7, 9, 117, 149},       // D/2 = 1: (21 + 1)·16 / 3
    };
    for (const Case &c : cases) {
        const PERSPECTIVE t = Identity(c.scale);
        i32 X = 0, Y = 0;
        ASSERT_EQ(Geo_MapPointPerspective(&t, c.x, c.y, &X, &Y), 1) << c.scale;
        EXPECT_EQ(X, c.X) << "scale " << c.scale << " x " << c.x;
        EXPECT_EQ(Y, c.Y) << "scale " << c.scale << " x " << c.x;
        ASSERT_EQ(Geo_MapPointPerspective16(&t, c.x, c.y, &X, &Y), 1);
        EXPECT_EQ(X, c.X16) << "scale " << c.scale << " x " << c.x;
        EXPECT_EQ(Y, c.Y16) << "scale " << c.scale << " x " << c.x;
    }
}

TEST_F(PerspectiveTest, MapPointFailsWithOutputsUntouched) {
    struct Case {
        const char *name;
        PERSPECTIVE t;
        i32 x, y;
    };
    const Case cases[] = {
        {"zero denominator", {{1, 0, 0, 0, 1, 0, 0, 0, 0}}, 5, 5},
        {"zero at the point", {{1, 0, 0, 0, 1, 0, 1, 0, -5}}, 5, 7},
        {"products beyond 64 bits", {{kI64Max, 0, 0, 0, 1, 0, 0, 0, 1}}, 3, 1},
        {"sum beyond 64 bits", {{kI64Max / 2, 0, kI64Max, 0, 1, 0, 0, 0, 1}}, 1, 1},
        {"result beyond 32 bits", {{1 << 20, 0, 0, 0, 1, 0, 0, 0, 1}}, 1 << 12, 0},
        {"minimum over minus one", {{0, 0, std::numeric_limits<i64>::min() + 1, 0, 0, 0, 0, 0, -1}}, 0, 0},
    };
    for (const Case &c : cases) {
        i32 X = -77, Y = -77;
        EXPECT_EQ(Geo_MapPointPerspective(&c.t, c.x, c.y, &X, &Y), 0) << c.name;
        EXPECT_EQ(Geo_MapPointPerspective16(&c.t, c.x, c.y, &X, &Y), 0) << c.name;
        EXPECT_EQ(X, -77) << c.name;
        EXPECT_EQ(Y, -77) << c.name;
    }
    i32 X = 0, Y = 0;
    EXPECT_EQ(Geo_MapPointPerspective(nullptr, 1, 1, &X, &Y), 0);

    const PERSPECTIVE_F zero{{1, 0, 0, 0, 1, 0, 0, 0, 0}};
    const PERSPECTIVE_F nan{{std::numeric_limits<f32>::quiet_NaN(), 0, 0, 0, 1, 0, 0, 0, 1}};
    const PERSPECTIVE_F tiny{{1e30f, 0, 0, 0, 1, 0, 0, 0, 1e-30f}};
    f32 fx = -77.0f, fy = -77.0f;
    EXPECT_EQ(Geo_MapPointPerspectiveF(&zero, &fx, &fy, 2.0f, 3.0f), 0);
    EXPECT_EQ(Geo_MapPointPerspectiveF(&nan, &fx, &fy, 2.0f, 3.0f), 0);
    EXPECT_EQ(Geo_MapPointPerspectiveF(&tiny, &fx, &fy, 2.0f, 3.0f), 0);
    EXPECT_EQ(fx, -77.0f);
    const PERSPECTIVE_F half{{1, 0, 1, 0, 2, 0, 0, 0, 2}};
    ASSERT_EQ(Geo_MapPointPerspectiveF(&half, &fx, &fy, 3.0f, 5.0f), 1);
    EXPECT_EQ(fx, 2.0f);
    EXPECT_EQ(fy, 5.0f);
}

// ---- Normal equations

TEST_F(PerspectiveTest, AddPairsFillsTheStructuredSums) {
    f32 m[8][8] = {};
    f32 r[8] = {};
    // Coupling entries are never written: a marker there survives.
    for (i32 a = 0; a < 3; ++a) {
        for (i32 b = 3; b < 6; ++b) m[a][b] = m[b][a] = 99.0f;
    }
    const GEO_POINT from{2, 3}, to{5, 7};  // J = 74
    ASSERT_EQ(Geo_PerspectiveAddPairs(&from, &to, 1, m, r, 0), 1);
    const f32 want[8][8] = {
        {4, 6, 2, 99, 99, 99, -20, -30},   {6, 9, 3, 99, 99, 99, -30, -45},
        {2, 3, 1, 99, 99, 99, -10, -15},   {99, 99, 99, 4, 6, 2, -28, -42},
        {99, 99, 99, 6, 9, 3, -42, -63},   {99, 99, 99, 2, 3, 1, -14, -21},
        {-20, -30, -10, -28, -42, -14, 296, 444}, {-30, -45, -15, -42, -63, -21, 444, 666},
    };
    const f32 wantRight[8] = {10, 15, 5, 14, 21, 7, -148, -222};
    for (i32 a = 0; a < 8; ++a) {
        for (i32 b = 0; b < 8; ++b) EXPECT_EQ(m[a][b], want[a][b]) << a << "," << b;
        EXPECT_EQ(r[a], wantRight[a]) << a;
    }

    // Adding more and removing it again gives the sums back; reset clears everything.
    const GEO_POINT more[2] = {{0, 4}, {6, 1}}, moreTo[2] = {{10, 20}, {30, 12}};
    ASSERT_EQ(Geo_PerspectiveAddPairs(more, moreTo, 2, m, r, 0), 1);
    EXPECT_EQ(m[2][2], 3.0f);
    EXPECT_EQ(m[5][5], 3.0f);
    ASSERT_EQ(Geo_PerspectiveRemovePair(more[0], moreTo[0], m, r), 1);
    ASSERT_EQ(Geo_PerspectiveRemovePair(more[1], moreTo[1], m, r), 1);
    for (i32 a = 0; a < 8; ++a) {
        for (i32 b = 0; b < 8; ++b) EXPECT_EQ(m[a][b], want[a][b]) << a << "," << b;
        EXPECT_EQ(r[a], wantRight[a]) << a;
    }
    ASSERT_EQ(Geo_PerspectiveAddPairs(nullptr, nullptr, 0, m, r, 1), 1);
    for (i32 a = 0; a < 8; ++a) {
        for (i32 b = 0; b < 8; ++b) EXPECT_EQ(m[a][b], 0.0f);
        EXPECT_EQ(r[a], 0.0f);
    }
    EXPECT_EQ(Geo_PerspectiveAddPairs(nullptr, &to, 1, m, r, 0), 0);

    // The double-point form agrees on small integers.
    f32 mf[8][8], rf[8];
    const GEO_POINT_D fromD{2.0, 3.0}, toD{5.0, 7.0};
    ASSERT_EQ(Geo_PerspectiveAddPairsF(&fromD, &toD, 1, mf, rf, 1), 1);
    for (i32 a = 0; a < 8; ++a) {
        for (i32 b = 0; b < 8; ++b) {
            const bool coupling = (a < 3 && b >= 3 && b < 6) || (b < 3 && a >= 3 && a < 6);
            EXPECT_EQ(mf[a][b], coupling ? 0.0f : want[a][b]) << a << "," << b;
        }
        EXPECT_EQ(rf[a], wantRight[a]);
    }
}

// ---- Fits

TEST_F(PerspectiveTest, SquareOntoItselfGivesTheIdentity) {
    const GEO_POINT corners[4] = {{0, 0}, {10, 0}, {0, 10}, {10, 10}};
    PERSPECTIVE t{{5, 5, 5, 5, 5, 5, 5, 5, 5}};
    PERSPECTIVE_FIT fit{};
    fit.to = corners;
    fit.from = corners;
    fit.count = 4;
    fit.reset = 1;
    fit.outInt = &t;
    fit.scale = 1024;
    ASSERT_EQ(Geo_FitPerspectiveInt(&fit, 1), 1);
    const i64 want[9] = {1024, 0, 0, 0, 1024, 0, 0, 0, 1024};
    for (i32 k = 0; k < 9; ++k) EXPECT_NEAR(static_cast<f64>(t.c[k]), static_cast<f64>(want[k]), 1.0) << k;

    PERSPECTIVE_F tf{};
    fit.outFloat = &tf;
    ASSERT_EQ(Geo_FitPerspectiveFloat(&fit, 1), 1);
    const f32 wantF[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (i32 k = 0; k < 9; ++k) EXPECT_NEAR(tf.c[k], wantF[k], 1e-5) << k;
}

TEST_F(PerspectiveTest, FitInBatchesEqualsOneCall) {
    const u32 seed = 31337;
    std::mt19937 rng(seed);
    GEO_POINT quad[4];
    RandomQuad(rng, quad);
    const Homography h = SquareToQuad(quad, 12.0);
    std::vector<GEO_POINT> from, to;
    for (i32 v = 0; v <= 12; v += 3) {
        for (i32 u = 0; u <= 12; u += 2) {
            f64 x, y;
            h.Map(u, v, &x, &y);
            from.push_back({u, v});
            to.push_back({static_cast<i32>(std::lround(x)), static_cast<i32>(std::lround(y))});
        }
    }
    PERSPECTIVE whole{}, batched{};
    PERSPECTIVE_FIT one{to.data(), from.data(), static_cast<i32>(from.size()), 1, &whole, 1 << 20, nullptr, {}, {}};
    ASSERT_EQ(Geo_FitPerspectiveInt(&one, 1), 1);
    PERSPECTIVE_FIT batch{to.data(), from.data(), 10, 1, &batched, 1 << 20, nullptr, {}, {}};
    ASSERT_EQ(Geo_FitPerspectiveInt(&batch, 0), 1);
    EXPECT_EQ(batched.c[8], 1);  // cleared, not yet solved
    EXPECT_EQ(batched.c[0], 0);
    batch.to += 10;
    batch.from += 10;
    batch.count = static_cast<i32>(from.size()) - 10;
    batch.reset = 0;
    ASSERT_EQ(Geo_FitPerspectiveInt(&batch, 1), 1);
    // The f32 sums are rounded once per batch rather than once, so the coefficients may
    // differ in their last bits; the mapped points may not.
    EXPECT_EQ(batched.c[8], whole.c[8]);
    for (i32 v = 0; v <= 12; ++v) {
        for (i32 u = 0; u <= 12; ++u) {
            i32 X1 = 0, Y1 = 0, X2 = 0, Y2 = 0;
            ASSERT_EQ(Geo_MapPointPerspective(&whole, u, v, &X1, &Y1), 1);
            ASSERT_EQ(Geo_MapPointPerspective(&batched, u, v, &X2, &Y2), 1);
            EXPECT_LE(std::abs(X1 - X2), 1) << "seed " << seed << " at " << u << "," << v;
            EXPECT_LE(std::abs(Y1 - Y2), 1) << "seed " << seed << " at " << u << "," << v;
        }
    }
}

TEST_F(PerspectiveTest, RandomHomographiesMapBack) {
    const u32 seed = 5150;
    std::mt19937 rng(seed);
    for (i32 it = 0; it < 300; ++it) {
        GEO_POINT quad[4];
        RandomQuad(rng, quad);
        const i32 n = 4 + static_cast<i32>(rng() % 60);
        const GEO_POINT from[4] = {{0, 0}, {n, 0}, {0, n}, {n, n}};
        PERSPECTIVE t{};
        PERSPECTIVE_F tf{};
        PERSPECTIVE_FIT fit{quad, from, 4, 1, &t, 1 << 20, &tf, {}, {}};
        ASSERT_EQ(Geo_FitPerspectiveInt(&fit, 1), 1) << "seed " << seed << " it " << it;
        ASSERT_EQ(Geo_FitPerspectiveFloat(&fit, 1), 1) << "seed " << seed << " it " << it;
        const Homography h = SquareToQuad(quad, n);
        for (i32 v = 0; v <= n; v += (n + 3) / 4) {
            for (i32 u = 0; u <= n; u += (n + 3) / 4) {
                f64 x, y;
                h.Map(u, v, &x, &y);
                i32 X = 0, Y = 0;
                ASSERT_EQ(Geo_MapPointPerspective(&t, u, v, &X, &Y), 1);
                EXPECT_LE(std::fabs(X - x), 1.0) << "seed " << seed << " it " << it << " at " << u << "," << v;
                EXPECT_LE(std::fabs(Y - y), 1.0) << "seed " << seed << " it " << it << " at " << u << "," << v;
                ASSERT_EQ(Geo_MapPointPerspective16(&t, u, v, &X, &Y), 1);
                EXPECT_LE(std::fabs(X / 16.0 - x), 1.0) << "seed " << seed << " it " << it;
                EXPECT_LE(std::fabs(Y / 16.0 - y), 1.0) << "seed " << seed << " it " << it;
                f32 fx = 0, fy = 0;
                ASSERT_EQ(Geo_MapPointPerspectiveF(&tf, &fx, &fy, static_cast<f32>(u), static_cast<f32>(v)), 1);
                EXPECT_LE(std::fabs(fx - x), 1.0) << "seed " << seed << " it " << it;
                EXPECT_LE(std::fabs(fy - y), 1.0) << "seed " << seed << " it " << it;
            }
        }
    }
}

TEST_F(PerspectiveTest, AffinePairsFitExactly) {
    // Many pairs of an exact integer affine map: the least-squares fit passes through all.
    const u32 seed = 8086;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<i32> coef(-12, 12), shift(200, 700);
    for (i32 it = 0; it < 50; ++it) {
        const i32 a = coef(rng), b = coef(rng), d = coef(rng), e = coef(rng);
        const i32 c = shift(rng), f = shift(rng);
        if (a * e - b * d == 0) continue;
        std::vector<GEO_POINT> from, to;
        for (i32 v = 0; v <= 20; v += 4) {
            for (i32 u = 0; u <= 20; u += 5) {
                from.push_back({u, v});
                to.push_back({a * u + b * v + c, d * u + e * v + f});
            }
        }
        PERSPECTIVE t{};
        PERSPECTIVE_FIT fit{to.data(), from.data(), static_cast<i32>(to.size()), 1, &t, 1 << 16, nullptr, {}, {}};
        ASSERT_EQ(Geo_FitPerspectiveInt(&fit, 1), 1) << "seed " << seed << " it " << it;
        for (size_t k = 0; k < to.size(); ++k) {
            i32 X = 0, Y = 0;
            ASSERT_EQ(Geo_MapPointPerspective(&t, from[k].x, from[k].y, &X, &Y), 1);
            EXPECT_LE(std::abs(X - to[k].x), 1) << "seed " << seed << " it " << it;
            EXPECT_LE(std::abs(Y - to[k].y), 1) << "seed " << seed << " it " << it;
        }
    }
}

TEST_F(PerspectiveTest, DegenerateFitsAnswerZero) {
    struct Case {
        const char *name;
        std::vector<GEO_POINT> from, to;
    };
    const Case cases[] = {
        {"no pairs", {}, {}},
        {"one point four times", {{1, 1}, {1, 1}, {1, 1}, {1, 1}}, {{5, 5}, {6, 6}, {7, 7}, {8, 8}}},
        {"origin four times", {{0, 0}, {0, 0}, {0, 0}, {0, 0}}, {{5, 5}, {6, 6}, {7, 7}, {8, 8}}},
        {"grid points on a row", {{0, 0}, {1, 0}, {2, 0}, {5, 0}}, {{5, 5}, {6, 6}, {7, 7}, {9, 9}}},
        {"grid points on a column", {{0, 0}, {0, 2}, {0, 4}, {0, 8}}, {{5, 5}, {6, 6}, {7, 7}, {9, 9}}},
        {"images at the origin", {{0, 0}, {4, 0}, {0, 4}, {4, 4}}, {{0, 0}, {0, 0}, {0, 0}, {0, 0}}},
    };
    for (const Case &c : cases) {
        PERSPECTIVE t{};
        PERSPECTIVE_F tf{};
        PERSPECTIVE_FIT fit{c.to.data(), c.from.data(), static_cast<i32>(c.from.size()), 1, &t, 1 << 20, &tf, {}, {}};
        EXPECT_EQ(Geo_FitPerspectiveInt(&fit, 1), 0) << c.name;
        EXPECT_EQ(Geo_FitPerspectiveFloat(&fit, 1), 0) << c.name;
        // The cleared transforms stay as reset left them.
        EXPECT_EQ(t.c[8], 1) << c.name;
        EXPECT_EQ(t.c[0], 0) << c.name;
        EXPECT_EQ(tf.c[8], 1.0f) << c.name;
        f32 right[8];
        std::memcpy(right, fit.right, sizeof right);
        EXPECT_EQ(Geo_Solve8x8(fit.matrix, right), 0) << c.name;
        EXPECT_EQ(std::memcmp(right, fit.right, sizeof right), 0) << c.name;
    }
    EXPECT_EQ(Geo_FitPerspectiveInt(nullptr, 1), 0);
    PERSPECTIVE_FIT noOut{};
    EXPECT_EQ(Geo_FitPerspectiveInt(&noOut, 1), 0);
    EXPECT_EQ(Geo_FitPerspectiveFloat(&noOut, 1), 0);
    f32 m[8][8] = {}, r[8] = {};
    EXPECT_EQ(Geo_PerspectiveSolveIntChecked(m, r, 1, nullptr), 0);
    EXPECT_EQ(Geo_PerspectiveSolveFloatChecked(nullptr, r, nullptr), 0);
}

TEST_F(PerspectiveTest, CoefficientsBeyondSixtyFourBitsFail) {
    // Sums of the unit square onto itself with the right side blown up by 1e10: a
    // solvable system whose scaled coefficients leave 64 bits. No conversion, answer 0.
    const GEO_POINT square[4] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    f32 m[8][8], r[8];
    ASSERT_EQ(Geo_PerspectiveAddPairs(square, square, 4, m, r, 1), 1);
    for (f32 &v : r) v *= 1e10f;
    PERSPECTIVE t = Identity(7);
    EXPECT_EQ(Geo_PerspectiveSolveInt(m, r, 1 << 30, &t), 0);
    EXPECT_EQ(t.c[0], 7);
    EXPECT_EQ(t.c[8], 7);
    ASSERT_EQ(Geo_PerspectiveSolveInt(m, r, 1, &t), 1);
    EXPECT_NEAR(static_cast<f64>(t.c[0]), 1e10, 1e10 * 1e-4);
    EXPECT_EQ(t.c[8], 1);
    // Infinite right sides give non-finite coefficients: 0 as well.
    r[0] = std::numeric_limits<f32>::infinity();
    EXPECT_EQ(Geo_PerspectiveSolveInt(m, r, 1, &t), 0);
    PERSPECTIVE_F tf{};
    EXPECT_EQ(Geo_PerspectiveSolveFloat(m, r, &tf), 0);
}

TEST_F(PerspectiveTest, SmallSymmetricSolves) {
    f32 m3[3][3] = {{4, 99, 99}, {2, 5, 99}, {2, 1, 6}};  // only the lower triangle is read
    f32 v3[3] = {14, 15, 22};                               // x = (1, 2, 3) for the symmetric matrix
    ASSERT_EQ(Geo_Solve3x3Sym(m3, v3), 1);
    EXPECT_NEAR(v3[0], 1.0f, 1e-5);
    EXPECT_NEAR(v3[1], 2.0f, 1e-5);
    EXPECT_NEAR(v3[2], 3.0f, 1e-5);
    EXPECT_EQ(m3[0][0], 1.0f);
    EXPECT_EQ(m3[1][1], 1.0f);
    EXPECT_EQ(m3[1][0], 0.5f);
    EXPECT_EQ(m3[0][1], 99.0f);
    f32 m2[2][2] = {{2, 0}, {1, 3}};
    f32 v2[2] = {4, 7};  // x = (1, 2)
    ASSERT_EQ(Geo_Solve2x2Sym(m2, v2), 1);
    EXPECT_NEAR(v2[0], 1.0f, 1e-6);
    EXPECT_NEAR(v2[1], 2.0f, 1e-6);
    f32 s2[2][2] = {{1, 0}, {2, 4}};  // singular
    f32 w2[2] = {1, 2};
    EXPECT_EQ(Geo_Solve2x2Sym(s2, w2), 0);
    EXPECT_EQ(s2[1][0], 2.0f);
    EXPECT_EQ(w2[0], 1.0f);
}

// ---- Grid walk

TEST_F(PerspectiveTest, GridWalkEdgeCases) {
    const PERSPECTIVE id = Identity(1);
    u8 buffer[64];
    struct Case {
        const char *name;
        PERSPECTIVE t;
        i32 c0, r0, c1, r1;
    };
    const Case cases[] = {
        {"single column", id, 3, 0, 3, 5},
        {"257 columns", id, 0, 0, 256, 0},
        {"257 rows", id, 0, 0, 3, 256},
        {"last row before first", id, 0, 4, 3, 3},
        {"last column before first", id, 5, 0, 4, 0},
        {"columns across the 32-bit range", id, std::numeric_limits<i32>::min(), 0, std::numeric_limits<i32>::max(), 0},
        {"empty x row", {{0, 0, 0, 0, 1, 0, 0, 0, 1}}, 0, 0, 3, 1},
        {"empty y row", {{1, 0, 0, 0, 0, 0, 0, 0, 1}}, 0, 0, 3, 1},
        {"zero denominator", {{1, 0, 0, 0, 1, 0, 0, 0, 0}}, 0, 0, 3, 1},
        {"overflowing numerators", {{kI64Max, 0, 0, 0, 1, 0, 0, 0, 1}}, 0, 0, 3, 1},
        {"ends beyond 32 bits", {{1 << 30, 0, 0, 0, 1, 0, 0, 0, 1}}, 0, 0, 3, 0},
    };
    for (const Case &c : cases) {
        g_rows.clear();
        const GRID_WALK w = MakeWalk(c.t, c.c0, c.r0, c.c1, c.r1, buffer);
        EXPECT_EQ(Geo_MapGridRows(&w), 0) << c.name;
        EXPECT_TRUE(g_rows.empty()) << c.name;
    }
    EXPECT_EQ(Geo_MapGridRows(nullptr), 0);
    GRID_WALK noCallback = MakeWalk(id, 0, 0, 3, 1);
    noCallback.rowCallback = nullptr;
    EXPECT_EQ(Geo_MapGridRows(&noCallback), 0);

    // The identity at scale 1 over columns 0..3 and rows 0..1.
    g_rows.clear();
    const GRID_WALK w = MakeWalk(id, 0, 0, 3, 1, buffer);
    ASSERT_EQ(Geo_MapGridRows(&w), 1);
    ASSERT_EQ(g_rows.size(), 2u);
    for (i32 r = 0; r < 2; ++r) {
        EXPECT_EQ(g_rows[r].xs, (std::vector<i32>{0, 1, 2, 3}));
        EXPECT_EQ(g_rows[r].ys, (std::vector<i32>{r, r, r, r}));
        EXPECT_EQ(g_rows[r].param, 128u);
    }
    EXPECT_EQ(g_rows[0].out, buffer + 3);
    EXPECT_EQ(g_rows[1].out, buffer + 13);

    // A walk whose later rows meet a zero denominator keeps the rows already delivered.
    g_rows.clear();
    const GRID_WALK horizon = MakeWalk({{1, 0, 0, 0, 1, 0, 0, -1, 3}}, 0, 0, 3, 5);
    EXPECT_EQ(Geo_MapGridRows(&horizon), 0);
    EXPECT_EQ(g_rows.size(), 3u);  // rows 0..2; row 3 has denominator 0
}

TEST_F(PerspectiveTest, GridWalkEqualsPointMappingForAffineTransforms) {
    // Whole steps per column and row (any offset) with the major coordinate growing along
    // the row: the forward differences then carry the same rounding as mapping each point
    // (as long as the points stay positive; below zero the point map truncates toward
    // zero). Otherwise the walk's truncating correction and the interpolated minor
    // coordinate may differ by one (next test).
    const u32 seed = 2718;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<i64> step(0, 40), shift(-20000000, 20000000), span(1, 255);
    for (i32 it = 0; it < 40; ++it) {
        const i64 scale = 1 << 12;
        const i64 cx = step(rng), cy = step(rng);
        if (cx == 0 && cy == 0) continue;
        const PERSPECTIVE t{{cx * scale, step(rng) * scale, 60000000 + shift(rng), cy * scale, step(rng) * scale,
                             60000000 + shift(rng), 0, 0, scale}};
        const i32 c0 = static_cast<i32>(rng() % 20), r0 = static_cast<i32>(rng() % 20);
        const i32 c1 = c0 + static_cast<i32>(span(rng)), r1 = r0 + static_cast<i32>(rng() % 40);
        g_rows.clear();
        const GRID_WALK w = MakeWalk(t, c0, r0, c1, r1);
        ASSERT_EQ(Geo_MapGridRows(&w), 1) << "seed " << seed << " it " << it;
        ASSERT_EQ(g_rows.size(), static_cast<size_t>(r1 - r0 + 1));
        for (i32 r = r0; r <= r1; ++r) {
            const WalkRow &row = g_rows[r - r0];
            ASSERT_EQ(row.xs.size(), static_cast<size_t>(c1 - c0 + 1));
            for (i32 c = c0; c <= c1; ++c) {
                i32 X = 0, Y = 0;
                ASSERT_EQ(Geo_MapPointPerspective(&t, c, r, &X, &Y), 1);
                EXPECT_EQ(row.xs[c - c0], X) << "seed " << seed << " it " << it << " at " << c << "," << r;
                EXPECT_EQ(row.ys[c - c0], Y) << "seed " << seed << " it " << it << " at " << c << "," << r;
            }
        }
    }
}

TEST_F(PerspectiveTest, GridWalkFollowsPerspectiveOnTheMajorAxis) {
    const u32 seed = 1618;
    std::mt19937 rng(seed);
    i32 rowsSeen = 0;
    for (i32 it = 0; it < 60; ++it) {
        GEO_POINT quad[4];
        RandomQuad(rng, quad);
        for (GEO_POINT &q : quad) q = {q.x * 16, q.y * 16};  // 1/16 pixel
        // Any quarter turn or mirror image, so rows also run right to left or upwards.
        const i32 turn[8][4] = {{0, 1, 2, 3}, {1, 3, 0, 2}, {3, 2, 1, 0}, {2, 0, 3, 1},
                                {1, 0, 3, 2}, {0, 2, 1, 3}, {2, 3, 0, 1}, {3, 1, 2, 0}};
        const i32 *perm = turn[it % 8];
        const GEO_POINT q0[4] = {quad[0], quad[1], quad[2], quad[3]};
        for (i32 k = 0; k < 4; ++k) quad[k] = q0[perm[k]];
        const i32 n = 21 + static_cast<i32>(rng() % 157);
        const GEO_POINT from[4] = {{0, 0}, {n - 1, 0}, {0, n - 1}, {n - 1, n - 1}};
        PERSPECTIVE t{};
        PERSPECTIVE_FIT fit{quad, from, 4, 1, &t, 1 << 14, nullptr, {}, {}};
        ASSERT_EQ(Geo_FitPerspectiveInt(&fit, 1), 1) << "seed " << seed << " it " << it;
        g_rows.clear();
        const GRID_WALK w = MakeWalk(t, 0, 0, n - 1, n - 1);
        ASSERT_EQ(Geo_MapGridRows(&w), 1) << "seed " << seed << " it " << it;
        ASSERT_EQ(g_rows.size(), static_cast<size_t>(n));
        for (i32 r = 0; r < n; ++r) {
            const WalkRow &row = g_rows[r];
            const i64 spanX = row.xs[n - 1] - row.xs[0], spanY = row.ys[n - 1] - row.ys[0];
            const bool xMajor = std::abs(spanX) > std::abs(spanY);
            for (i32 c = 0; c < n; ++c) {
                i32 X = 0, Y = 0;
                ASSERT_EQ(Geo_MapPointPerspective(&t, c, r, &X, &Y), 1);
                const i32 major = xMajor ? row.xs[c] : row.ys[c];
                const i32 minor = xMajor ? row.ys[c] : row.xs[c];
                EXPECT_LE(std::abs(major - (xMajor ? X : Y)), 1) << "seed " << seed << " it " << it << " at " << c;
                if (c == 0 || c == n - 1) {
                    EXPECT_EQ(row.xs[c], X);  // the ends are exact
                    EXPECT_EQ(row.ys[c], Y);
                    continue;
                }
                // The minor coordinate is the linear interpolation between the row's ends.
                const i64 m0 = xMajor ? row.ys[0] : row.xs[0];
                const i64 a0 = xMajor ? row.xs[0] : row.ys[0];
                const i64 spanMajor = xMajor ? spanX : spanY, spanMinor = xMajor ? spanY : spanX;
                EXPECT_EQ(minor, m0 + spanMinor * (major - a0) / spanMajor) << "seed " << seed << " it " << it;
            }
            ++rowsSeen;
        }
    }
    EXPECT_GT(rowsSeen, 1000);
}

// ---- The same numbers on every machine

struct PerspectiveFingerprint {
    u64 h = 1469598103934665603ull;
    void Add(const void *p, size_t n) {
        const u8 *b = static_cast<const u8 *>(p);
        for (size_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
    }
    template <class T>
    void Add(const T &v) {
        Add(&v, sizeof v);
    }
};

void FingerprintRow(const i32 *xs, const i32 *ys, i32 count, u32, u8 *out) {
    PerspectiveFingerprint *fp = reinterpret_cast<PerspectiveFingerprint *>(out);
    fp->Add(xs, sizeof(i32) * count);
    fp->Add(ys, sizeof(i32) * count);
}

TEST_F(PerspectiveTest, AnswersAreTheSameOnEveryMachine) {
    // FNV-1a over every answer of a fixed stream of fits, maps and walks. The expected
    // value was taken on x86-64; arm64 must give the same.
    const u32 seed = 404;
    std::mt19937 rng(seed);
    PerspectiveFingerprint fp;
    for (i32 it = 0; it < 60; ++it) {
        GEO_POINT quad[8];
        RandomQuad(rng, quad);
        RandomQuad(rng, quad + 4);
        const i32 n = 5 + static_cast<i32>(rng() % 40);
        const GEO_POINT from[8] = {{0, 0}, {n, 0}, {0, n}, {n, n}, {n / 2, 0}, {0, n / 3}, {n, n / 2}, {n / 4, n}};
        PERSPECTIVE t{};
        PERSPECTIVE_F tf{};
        PERSPECTIVE_FIT fit{quad, from, 4 + it % 5, 1, &t, 1 << (10 + it % 11), &tf, {}, {}};
        fp.Add(Geo_FitPerspectiveInt(&fit, 1));
        fp.Add(Geo_FitPerspectiveFloat(&fit, 1));
        fp.Add(fit.matrix);
        fp.Add(fit.right);
        fp.Add(t);
        fp.Add(tf);
        for (i32 k = 0; k < 8; ++k) {
            i32 X = 0, Y = 0;
            f32 fx = 0, fy = 0;
            fp.Add(Geo_MapPointPerspective(&t, from[k].x + 1, from[k].y, &X, &Y));
            fp.Add(Geo_MapPointPerspective16(&t, from[k].x, from[k].y + 1, &X, &Y));
            fp.Add(Geo_MapPointPerspectiveF(&tf, &fx, &fy, from[k].x + 0.25f, from[k].y - 0.5f));
            fp.Add(X);
            fp.Add(Y);
            fp.Add(fx);
            fp.Add(fy);
        }
        GRID_WALK w = MakeWalk(t, 0, 0, n, n);
        w.outBase = reinterpret_cast<u8 *>(&fp);
        w.outStep = 0;
        w.outOffset = 0;
        w.rowCallback = FingerprintRow;
        fp.Add(Geo_MapGridRows(&w));
        f32 m3[3][3] = {{fit.matrix[0][0], 0, 0}, {fit.matrix[1][0], fit.matrix[1][1], 0},
                        {fit.matrix[2][0], fit.matrix[2][1], fit.matrix[2][2]}};
        f32 v3[3] = {fit.right[0], fit.right[1], fit.right[2]};
        fp.Add(Geo_Solve3x3Sym(m3, v3));
        fp.Add(m3);
        fp.Add(v3);
    }
    EXPECT_EQ(fp.h, 2676384238415381388ull) << "seed " << seed;
}

}  // namespace

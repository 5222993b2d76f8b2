// Lines, least-squares fits, the linear solver, intersections and distances.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "decoder_test.h"
#include "toolkit/geometry.h"

namespace {

using namespace vexo;
using vexo_test::DecoderTest;

constexpr i32 kMax = std::numeric_limits<i32>::max();
constexpr i32 kMin = std::numeric_limits<i32>::min();
const f64 kNaN = std::numeric_limits<f64>::quiet_NaN();
const f64 kInf = std::numeric_limits<f64>::infinity();

class GeometryTest : public DecoderTest {};

// ---- Rounding rule R and evaluation

TEST_F(GeometryTest, LineEvalRoundsByRuleR) {
    struct Case {
        f32 offset;
        i32 expected;
    };
    const Case cases[] = {{3.0f, 2}, {-3.0f, -2}, {2.7f, 2}, {2.3f, 1}, {0.4f, 0}, {-0.4f, 0},
                          {-2.7f, -2}, {0.5f, 0}, {1.5f, 1}, {-1.5f, -1}, {0.0f, 0}};
    for (const Case &c : cases) {
        const f32 line[2] = {0.0f, c.offset};
        for (i32 t : {0, 17, -40}) EXPECT_EQ(Geo_LineEval(line, t), c.expected) << "offset " << c.offset << " t " << t;
    }
    const f32 sloped[2] = {0.5f, 1.0f};
    EXPECT_EQ(Geo_LineEval(sloped, 10), 5);     // 6.0 -> 5
    EXPECT_EQ(Geo_LineEval16(sloped, 10), 95);  // 96.0 -> 95
    const f32 flat[2] = {0.0f, 2.0f};
    EXPECT_EQ(Geo_LineEval16(flat, 3), 31);
}

TEST_F(GeometryTest, LineEvalMultiplyAddIsFused) {
    // 0.9f·5 is 4.4999999 exactly; rounded first it would be 4.5 and the sum 1.5 (R: 1).
    const f32 line[2] = {0.9f, -3.0f};
    EXPECT_EQ(Geo_LineEval(line, 5), 0);
}

TEST_F(GeometryTest, EvaluatorsSaturateAndMapNaNToZero) {
    const f32 nanLine[2] = {std::numeric_limits<f32>::quiet_NaN(), 0.0f};
    const f32 bigLine[2] = {0.0f, 1e30f};
    const f32 lowLine[2] = {0.0f, -1e30f};
    const f32 infLine[2] = {std::numeric_limits<f32>::infinity(), 0.0f};
    EXPECT_EQ(Geo_LineEval(nanLine, 3), 0);
    EXPECT_EQ(Geo_LineEval(bigLine, 3), kMax);
    EXPECT_EQ(Geo_LineEval(lowLine, 3), kMin);
    EXPECT_EQ(Geo_LineEval(infLine, 1), kMax);
    EXPECT_EQ(Geo_LineEval(infLine, 0), 0);  // inf·0 is NaN
    EXPECT_EQ(Geo_LineEval16(bigLine, 0), kMax);
    const f64 huge[3] = {1.0, 0.0, 0.0};
    EXPECT_EQ(Geo_EvalQuadratic(huge, kMax), kMax);
    const f64 nanCoef[3] = {kNaN, 1.0, 1.0};
    EXPECT_EQ(Geo_EvalQuadratic(nanCoef, 2), 0);
    EXPECT_EQ(Geo_EvalQuadratic16(nanCoef, 2), 0);
}

TEST_F(GeometryTest, EvalQuadraticRoundsByRuleR) {
    const f64 coef[3] = {0.5, -1.0, 3.0};  // 0.5t² - t + 3
    struct Case {
        i32 t;
        i32 expected;
    };
    const Case cases[] = {{0, 2}, {2, 2}, {3, 4}, {-3, 10}, {10, 42}, {1, 2}};
    for (const Case &c : cases) EXPECT_EQ(Geo_EvalQuadratic(coef, c.t), c.expected) << "t " << c.t;
    EXPECT_EQ(Geo_EvalQuadratic16(coef, 1), 39);  // 2.5·16 = 40 -> 39
    const f64 neg[3] = {0.0, 0.0, -2.7};
    EXPECT_EQ(Geo_EvalQuadratic(neg, 5), -2);
}

// ---- Straight-line fits

TEST_F(GeometryTest, LineFitRecoversExactLine) {
    const i32 u[] = {0, 1, 2, 5, 9, 12};
    i32 v[6];
    for (i32 i = 0; i < 6; ++i) v[i] = 3 * u[i] - 7;
    f32 result[2] = {-1.0f, -1.0f};
    STRAIGHT_FIT fit{v, u, 6, 1, result, {}};
    ASSERT_EQ(Geo_FitLine(&fit), 1);
    EXPECT_FLOAT_EQ(result[0], 3.0f);
    EXPECT_FLOAT_EQ(result[1], -7.0f);
    EXPECT_EQ(fit.sums.matrix[3], 6.0f);
    EXPECT_EQ(fit.sums.matrix[1], fit.sums.matrix[2]);
}

TEST_F(GeometryTest, LineFitSolveFailsForDegenerateSums) {
    f32 m[4];
    f32 r[2];
    const i32 u[] = {4, 4, 4};
    const i32 v[] = {1, 8, -3};
    ASSERT_EQ(Geo_LineFitAdd(u, v, 3, m, r, 1), 1);
    f32 out[2] = {123.0f, 456.0f};
    EXPECT_EQ(Geo_LineFitSolve(m, r, out), 0);
    EXPECT_EQ(out[0], 123.0f);
    EXPECT_EQ(out[1], 456.0f);

    // A single pair, and an empty fit.
    ASSERT_EQ(Geo_LineFitAdd(u, v, 1, m, r, 1), 1);
    EXPECT_EQ(Geo_LineFitSolve(m, r, out), 0);
    ASSERT_EQ(Geo_LineFitAdd(u, v, 0, m, r, 1), 1);
    EXPECT_EQ(Geo_LineFitSolve(m, r, out), 0);
    EXPECT_EQ(out[0], 123.0f);

    // Non-finite sums never reach an integer.
    const f32 fu[] = {1.0f, std::numeric_limits<f32>::infinity(), 3.0f};
    const f32 fv[] = {1.0f, 2.0f, std::numeric_limits<f32>::quiet_NaN()};
    ASSERT_EQ(Geo_LineFitAddFloat(fu, fv, 3, m, r, 1), 1);
    EXPECT_EQ(Geo_LineFitSolve(m, r, out), 0);
    EXPECT_EQ(out[0], 123.0f);
}

TEST_F(GeometryTest, FitLineGuardsItsRecord) {
    EXPECT_EQ(Geo_FitLine(nullptr), 0);
    const i32 u[] = {0, 1};
    STRAIGHT_FIT fit{u, u, 2, 1, nullptr, {}};
    EXPECT_EQ(Geo_FitLine(&fit), 0);
    f32 result[2] = {9.0f, 9.0f};
    STRAIGHT_FIT missing{nullptr, nullptr, 2, 1, result, {}};
    EXPECT_EQ(Geo_FitLine(&missing), 0);
    EXPECT_EQ(result[0], 0.0f);  // reset happened
}

TEST_F(GeometryTest, LineFitVariantsAgree) {
    const i32 u[] = {1, 4, 6, 9, 13};
    const i32 v[] = {2, 9, 11, 20, 25};
    f32 plain[4], plainR[2];
    ASSERT_EQ(Geo_LineFitAdd(u, v, 5, plain, plainR, 1), 1);

    // Weighted with weight 1, float, and pair by pair agree exactly on small integers.
    const i32 w[] = {1, 1, 1, 1, 1};
    f32 wm[4], wr[2];
    ASSERT_EQ(Geo_LineFitAddWeighted(u, v, w, 5, wm, wr, 1), 1);
    f32 fu[5], fv[5];
    for (i32 i = 0; i < 5; ++i) {
        fu[i] = static_cast<f32>(u[i]);
        fv[i] = static_cast<f32>(v[i]);
    }
    f32 fm[4], fr[2];
    ASSERT_EQ(Geo_LineFitAddFloat(fu, fv, 5, fm, fr, 1), 1);
    f32 sm[4], sr[2];
    for (i32 i = 0; i < 5; ++i) ASSERT_EQ(Geo_LineFitAdd(&u[i], &v[i], 1, sm, sr, i == 0), 1);
    for (i32 k = 0; k < 4; ++k) {
        EXPECT_EQ(wm[k], plain[k]) << k;
        EXPECT_EQ(fm[k], plain[k]) << k;
        EXPECT_EQ(sm[k], plain[k]) << k;
    }
    for (i32 k = 0; k < 2; ++k) {
        EXPECT_EQ(wr[k], plainR[k]);
        EXPECT_EQ(fr[k], plainR[k]);
        EXPECT_EQ(sr[k], plainR[k]);
    }

    // A weight of 2 counts the pair twice; removing a pair undoes adding it.
    const i32 w2[] = {2, 1, 1, 1, 1};
    ASSERT_EQ(Geo_LineFitAddWeighted(u, v, w2, 5, wm, wr, 1), 1);
    ASSERT_EQ(Geo_LineFitAdd(u, v, 1, plain, plainR, 0), 1);
    for (i32 k = 0; k < 4; ++k) EXPECT_EQ(wm[k], plain[k]) << k;
    ASSERT_EQ(Geo_LineFitRemove(u[0], v[0], plain, plainR), 1);
    ASSERT_EQ(Geo_LineFitRemove(u[0], v[0], wm, wr), 1);
    ASSERT_EQ(Geo_LineFitAdd(u, v, 5, sm, sr, 1), 1);
    for (i32 k = 0; k < 4; ++k) {
        EXPECT_EQ(plain[k], sm[k]) << k;
        EXPECT_EQ(wm[k], sm[k]) << k;
    }

    // A count of 0 or less adds nothing but still resets.
    ASSERT_EQ(Geo_LineFitAdd(u, v, -3, sm, sr, 0), 1);
    EXPECT_EQ(sm[3], 5.0f);
    ASSERT_EQ(Geo_LineFitAdd(u, v, -3, sm, sr, 1), 1);
    EXPECT_EQ(sm[3], 0.0f);
}

// ---- Parabola fits

TEST_F(GeometryTest, QuadraticFitRecoversParabola) {
    const i32 t[] = {-3, -1, 0, 2, 5, 8};
    i32 v[6];
    for (i32 i = 0; i < 6; ++i) v[i] = 2 * t[i] * t[i] - 3 * t[i] + 5;
    f64 coef[3] = {};
    QUADRATIC_FIT fit{v, t, 6, 1, coef, {}};
    ASSERT_EQ(Geo_FitQuadratic(&fit), 1);
    EXPECT_NEAR(coef[0], 2.0, 1e-9);
    EXPECT_NEAR(coef[1], -3.0, 1e-9);
    EXPECT_NEAR(coef[2], 5.0, 1e-9);
    EXPECT_EQ(fit.sums.matrix[2][2], 6.0);
    EXPECT_EQ(fit.sums.matrix[0][2], fit.sums.matrix[1][1]);
    EXPECT_EQ(fit.sums.matrix[1][1], fit.sums.matrix[2][0]);

    // Merging the sums of the second half into a fit of the first half gives the whole.
    f64 half[3] = {};
    QUADRATIC_FIT first{v, t, 3, 1, half, {}};
    Geo_FitQuadratic(&first);
    f64 m2[3][3], r2[3];
    ASSERT_EQ(Geo_QuadraticFitAdd(t + 3, v + 3, 3, m2, r2, 1), 1);
    ASSERT_EQ(Geo_FitQuadraticMerge(&first, m2, r2), 1);
    for (i32 k = 0; k < 3; ++k) EXPECT_NEAR(half[k], coef[k], 1e-9);

    // Removing a pair undoes adding it.
    ASSERT_EQ(Geo_QuadraticFitRemove(t[5], v[5], fit.sums.matrix, fit.sums.right), 1);
    f64 m5[3][3], r5[3];
    ASSERT_EQ(Geo_QuadraticFitAdd(t, v, 5, m5, r5, 1), 1);
    for (i32 r = 0; r < 3; ++r) {
        for (i32 c = 0; c < 3; ++c) EXPECT_EQ(fit.sums.matrix[r][c], m5[r][c]) << r << "," << c;
        EXPECT_EQ(fit.sums.right[r], r5[r]);
    }
}

TEST_F(GeometryTest, QuadraticFitFailsWhenDegenerate) {
    const f64 untouched[3] = {7.0, 8.0, 9.0};
    struct Case {
        std::vector<i32> t, v;
    };
    const Case cases[] = {
        {{4, 4, 4, 4}, {1, 2, 3, 4}},  // one abscissa
        {{0, 2}, {5, 6}},              // two points
        {{0, 0, 0}, {5, 6, 7}},        // all at zero
        {{}, {}},                      // nothing
    };
    for (const Case &c : cases) {
        f64 coef[3] = {7.0, 8.0, 9.0};
        // Sums start empty; no reset, so a failed solve leaves the result as it was.
        QUADRATIC_FIT fit{c.v.data(), c.t.data(), static_cast<i32>(c.t.size()), 0, coef, {}};
        EXPECT_EQ(Geo_FitQuadratic(&fit), 0) << c.t.size() << " points";
        EXPECT_EQ(std::memcmp(coef, untouched, sizeof coef), 0);
    }
    f64 coef[3];
    EXPECT_EQ(Geo_FitQuadratic(nullptr), 0);
    QUADRATIC_FIT noResult{nullptr, nullptr, 0, 1, nullptr, {}};
    EXPECT_EQ(Geo_FitQuadratic(&noResult), 0);
    EXPECT_EQ(Geo_QuadraticFitSolve(nullptr, nullptr, coef), 0);

    // Huge abscissas: the powers leave 64 bits, the sums stay finite or the solve fails.
    const i32 t[] = {kMax, kMin, 3, kMax - 1};
    const i32 v[] = {kMin, kMax, 0, 1};
    f64 m[3][3], r[3];
    ASSERT_EQ(Geo_QuadraticFitAdd(t, v, 4, m, r, 1), 1);
    Geo_QuadraticFitSolve(m, r, coef);  // any answer, but no undefined behaviour
}

// ---- Linear solver

TEST_F(GeometryTest, SolverRejectsSizesOutsideOneToTwenty) {
    for (i32 n : {0, -1, 21, 1000}) {
        f64 A[4] = {1.0, 2.0, 3.0, 4.0};
        f64 b[2] = {5.0, 6.0};
        EXPECT_EQ(Geo_SolveLinearSystem(A, b, n), 0) << n;
        EXPECT_EQ(A[0], 1.0);
        EXPECT_EQ(A[3], 4.0);
        EXPECT_EQ(b[0], 5.0);
        EXPECT_EQ(b[1], 6.0);
    }
    f64 one = 4.0, rhs = 2.0;
    ASSERT_EQ(Geo_SolveLinearSystem(&one, &rhs, 1), 1);
    EXPECT_EQ(rhs, 0.5);
    EXPECT_EQ(Geo_SolveLinearSystem(nullptr, &rhs, 1), 0);
}

TEST_F(GeometryTest, SolverSolvesWellConditionedSystems) {
    const u32 seed = 20240517;
    std::mt19937 rng(seed);
    std::uniform_real_distribution<f64> entry(-10.0, 10.0);
    for (i32 n = 1; n <= 20; ++n) {
        for (i32 rep = 0; rep < 5; ++rep) {
            std::vector<f64> A(n * n), b(n), A0, b0;
            for (i32 r = 0; r < n; ++r) {
                f64 rowSum = 0.0;
                for (i32 c = 0; c < n; ++c) {
                    A[r * n + c] = entry(rng);
                    rowSum += std::fabs(A[r * n + c]);
                }
                A[r * n + r] = (rep % 2 ? -1.0 : 1.0) * (rowSum + 1.0);  // diagonally dominant
                b[r] = entry(rng);
            }
            A0 = A;
            b0 = b;
            ASSERT_EQ(Geo_SolveLinearSystem(A.data(), b.data(), n), 1) << "seed " << seed << " n " << n;
            for (i32 r = 0; r < n; ++r) {
                f64 s = 0.0;
                for (i32 c = 0; c < n; ++c) s += A0[r * n + c] * b[c];
                EXPECT_NEAR(s, b0[r], 1e-9) << "seed " << seed << " n " << n << " row " << r;
            }
        }
    }
}

TEST_F(GeometryTest, SolverFindsExactZeroPivots) {
    struct Case {
        const char *name;
        i32 n;
        std::vector<f64> A;
    };
    const Case cases[] = {
        {"all zero 1", 1, {0.0}},
        {"all zero 3", 3, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        // Pivots that are powers of two or exact quotients keep every step exact, so
        // elimination meets a true zero.
        {"repeated row", 3, {1, 2, 4, 3, 1, 2, 1, 2, 4}},
        {"zero row", 3, {1, 2, 4, 0, 0, 0, 3, 1, 2}},
        {"zero column", 3, {1, 0, 2, 3, 0, 4, 2, 0, 1}},
        {"repeated column", 3, {1, 1, 4, 2, 2, 3, 3, 3, 1}},
        {"scaled row", 2, {1, 2, 2, 4}},
        {"zero last row", 4, {8, 1, 2, 3, 1, 4, 0, 1, 2, 0, 4, 1, 0, 0, 0, 0}},
        {"tiny pivot", 2, {1e-17, 0, 0, 1e-18}},  // the test is absolute
    };
    for (const Case &c : cases) {
        std::vector<f64> A = c.A, b(c.n, 1.0);
        EXPECT_EQ(Geo_SolveLinearSystem(A.data(), b.data(), c.n), 0) << c.name;
    }
    // Non-finite entries fail rather than answer garbage.
    f64 A[4] = {kNaN, 1, 1, 2};
    f64 b[2] = {1, 1};
    EXPECT_EQ(Geo_SolveLinearSystem(A, b, 2), 0);
    f64 Ai[4] = {kInf, 1, 1, 2};
    f64 bi[2] = {1, 1};
    EXPECT_EQ(Geo_SolveLinearSystem(Ai, bi, 2), 0);
    f64 Ab[4] = {2, 1, 1, 2};
    f64 bb[2] = {kInf, 1};
    EXPECT_EQ(Geo_SolveLinearSystem(Ab, bb, 2), 0);
}

TEST_F(GeometryTest, SolverUndoesColumnExchanges) {
    // The largest element sits off the diagonal, so both rows and columns move.
    f64 A[9] = {1, 2, 9, 3, 8, 1, 7, 1, 2};
    const f64 x[3] = {1.0, -2.0, 3.0};
    f64 b[3];
    for (i32 r = 0; r < 3; ++r) b[r] = A[r * 3] * x[0] + A[r * 3 + 1] * x[1] + A[r * 3 + 2] * x[2];
    ASSERT_EQ(Geo_SolveLinearSystem(A, b, 3), 1);
    for (i32 k = 0; k < 3; ++k) EXPECT_NEAR(b[k], x[k], 1e-12) << k;
}

// ---- LINE_FIT lines

TEST_F(GeometryTest, LineThroughPointsChoosesOrientation) {
    struct Case {
        GEO_POINT p, q;
        i32 alongX;
        f64 slope, offset;
    };
    const Case cases[] = {
        {{0, 10}, {10, 15}, 1, 0.5, 10.0},   // closer to horizontal
        {{10, 0}, {15, 10}, 0, 0.5, 10.0},   // closer to vertical
        {{0, 0}, {10, 10}, 0, 1.0, 0.0},     // 45 degrees: x over y
        {{3, 3}, {3, 3}, 0, 0.0, 0.0},       // equal points
        {{5, -7}, {5, 20}, 0, 0.0, 5.0},     // vertical
        {{-4, 6}, {12, 6}, 1, 0.0, 6.0},     // horizontal
    };
    for (const Case &c : cases) {
        LINE_FIT out{99.0, 99.0, 99};
        Geo_LineThroughPoints(&c.p, &c.q, &out);
        EXPECT_EQ(out.alongX, c.alongX) << c.p.x << "," << c.p.y;
        EXPECT_NEAR(out.slope, c.slope, 1e-6);
        EXPECT_NEAR(out.offset, c.offset, 1e-5);
    }
    // End points at the ends of the 32-bit range: the f32 sums stay finite.
    const GEO_POINT p{kMin, kMin}, q{kMax, kMin + 1};
    LINE_FIT out{};
    Geo_LineThroughPoints(&p, &q, &out);
    EXPECT_EQ(out.alongX, 1);
    EXPECT_TRUE(std::isfinite(out.slope) && std::isfinite(out.offset));
}

TEST_F(GeometryTest, FitLineToPointListWalksNodes) {
    POINT_NODE nodes[5];
    const GEO_POINT pts[5] = {{0, 1}, {2, 2}, {4, 3}, {6, 4}, {8, 5}};
    for (i32 i = 0; i < 5; ++i) nodes[i] = {pts[i].x, pts[i].y, i < 4 ? &nodes[i + 1] : nullptr};
    LINE_FIT out{7.0, 7.0, 7};
    EXPECT_EQ(Geo_FitLineToPointList(nodes, 1, &out, 1), 0);
    EXPECT_EQ(out.alongX, 7);
    EXPECT_EQ(Geo_FitLineToPointList(nodes, 6, &out, 1), 0);  // the list ends after 5
    EXPECT_EQ(out.alongX, 7);
    ASSERT_EQ(Geo_FitLineToPointList(nodes, 5, &out, 1), 1);
    EXPECT_EQ(out.alongX, 1);
    EXPECT_NEAR(out.slope, 0.5, 1e-6);
    EXPECT_NEAR(out.offset, 1.0, 1e-6);
    ASSERT_EQ(Geo_FitLineToPointList(nodes, 5, &out, 0), 1);
    EXPECT_EQ(out.alongX, 0);
    EXPECT_NEAR(out.slope, 2.0, 1e-6);
    EXPECT_NEAR(out.offset, -2.0, 1e-5);

    // A list that loops back on itself is walked n steps only.
    nodes[4].next = &nodes[0];
    ASSERT_EQ(Geo_FitLineToPointList(nodes, 1000, &out, 1), 1);
    // Collinear along the wrong axis: degenerate.
    POINT_NODE column[3] = {{5, 0, &column[1]}, {5, 4, &column[2]}, {5, 9, nullptr}};
    out = {7.0, 7.0, 7};
    EXPECT_EQ(Geo_FitLineToPointList(column, 3, &out, 1), 0);
    EXPECT_EQ(out.slope, 7.0);
}

TEST_F(GeometryTest, ParallelLineThroughPoint) {
    const LINE_FIT along{0.5, 3.0, 1};
    const GEO_POINT p{4, 9};
    LINE_FIT out{};
    Geo_ParallelLineThrough(&along, &p, &out);
    EXPECT_EQ(out.slope, 0.5);
    EXPECT_EQ(out.offset, 7.0);
    EXPECT_EQ(out.alongX, 1);
    const LINE_FIT down{-2.0, 0.0, 5};
    Geo_ParallelLineThrough(&down, &p, &out);
    EXPECT_EQ(out.offset, 17.0);
    EXPECT_EQ(out.alongX, 1);
    const LINE_FIT vert{0.25, 0.0, 0};
    LINE_FIT same = vert;
    Geo_ParallelLineThrough(&same, &p, &same);  // in place
    EXPECT_EQ(same.offset, 4.0 - 0.25 * 9.0);
    EXPECT_EQ(same.alongX, 0);
}

TEST_F(GeometryTest, IntersectLineFitsTable) {
    struct Case {
        LINE_FIT a, b;
        i32 result;
        GEO_POINT expected;
    };
    const Case cases[] = {
        {{0.5, 10, 1}, {-1, 100, 1}, 1, {60, 40}},
        {{0.5, 10, 0}, {-1, 100, 0}, 1, {40, 60}},
        {{0.5, 10, 1}, {-1, 100, 0}, 1, {60, 40}},
        {{-1, 100, 0}, {0.5, 10, 1}, 1, {60, 40}},
        {{0.3, 0, 1}, {0.300005, 5, 1}, 0, {}},        // parallel by the limit
        {{0.3, 0, 0}, {0.300005, 5, 0}, 0, {}},
        {{2.0, 0, 1}, {0.5, 5, 0}, 0, {}},              // s1·s2 = 1
        {{2.0, 0, 1}, {0.500004, 5, 0}, 0, {}},         // |1 - s1·s2| = 8e-6
        // Truncation: y-over-x pairs have no bias, the others add 0.4 first.
        {{0.0, 3.7, 1}, {1.0, -0.5, 1}, 1, {4, 3}},     // (4.2, 3.7)
        {{0.0, 3.7, 0}, {1.0, -0.5, 0}, 1, {4, 4}},     // (3.7, 4.2) + 0.4
        {{0.0, -3.7, 0}, {1.0, 0.5, 0}, 1, {-3, -3}},   // (-3.7, -4.2) + 0.4
        // Nearly parallel lines meeting beyond 32 bits: no point.
        {{0.0, 0.0, 1}, {0.00002, 1e6, 1}, 0, {}},
        {{kNaN, 0.0, 1}, {1.0, 0.0, 1}, 0, {}},
        // Just past the limit, far from the origin but within 32 bits.
        {{2.0, 0, 1}, {0.500006, 5, 0}, 1, {-416666, -833332}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        GEO_POINT out{-77, -77};
        EXPECT_EQ(Geo_IntersectLineFits(&c.a, &c.b, &out), c.result) << "case " << i;
        const GEO_POINT want = c.result ? c.expected : GEO_POINT{-77, -77};
        EXPECT_EQ(out.x, want.x) << "case " << i;
        EXPECT_EQ(out.y, want.y) << "case " << i;
    }
}

// ---- SLOPE_LINE lines

TEST_F(GeometryTest, SlopeLineFromPoints) {
    SLOPE_LINE line{};
    Geo_SlopeLineFromPoints({3, 7}, {3, 20}, &line);
    EXPECT_EQ(line.slope, 573.0);
    EXPECT_EQ(line.intercept, 3.0);
    Geo_SlopeLineFromPoints({0, 1}, {4, 3}, &line);
    EXPECT_EQ(line.slope, 0.5);
    EXPECT_EQ(line.intercept, 1.0);
    Geo_SlopeLineFromPoints({kMax, kMin}, {kMin, kMax}, &line);  // no overflow
    EXPECT_NEAR(line.slope, -1.0, 1e-12);
    SLOPE_LINE only{0.0, 55.0};
    f64 intercept = 0.0;
    Geo_SlopeAndInterceptFromPoints({2, 2}, {6, 0}, &only, &intercept);
    EXPECT_EQ(only.slope, -0.5);
    EXPECT_EQ(only.intercept, 55.0);
    EXPECT_EQ(intercept, 3.0);
}

TEST_F(GeometryTest, IntersectSlopeLinesTable) {
    struct Case {
        f64 s1, i1, s2, i2;
        i32 result;
        GEO_POINT expected;
    };
    const Case cases[] = {
        {573.0, 3.0, 573.0, 9.0, 0, {}},          // two vertical lines
        {1.0, 0.0, 1.000005, 7.0, 0, {}},         // parallel by the limit
        {573.0, 4.6, 0.5, 1.0, 1, {5, 4}},        // x = trunc(5.1), y = trunc(5·0.5 + 1 + 0.5)
        {0.5, 1.0, 573.0, 4.6, 1, {5, 4}},
        {1.0, 0.0, -1.0, 10.0, 1, {5, 5}},
        {2.0, 1.0, -1.0, 3.2, 1, {1, 2}},         // x = 0.7333 -> 1, y = 2.4667 -> 2
        {0.0, 0.0, 0.00002, 1e6, 0, {}},          // beyond 32 bits
        {kNaN, 0.0, 1.0, 0.0, 0, {}},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        GEO_POINT out{-77, -77};
        const i32 r = Geo_IntersectSlopeLines(&out, c.s1, c.i1, c.s2, c.i2);
        EXPECT_EQ(r, c.result) << "case " << i;
        const GEO_POINT want = c.result ? c.expected : GEO_POINT{-77, -77};
        EXPECT_EQ(out.x, want.x) << "case " << i;
        EXPECT_EQ(out.y, want.y) << "case " << i;
    }
}

TEST_F(GeometryTest, DistanceToSlopeLineTable) {
    struct Case {
        GEO_POINT p;
        f64 slope, intercept;
        i32 expected;
    };
    const Case cases[] = {
        {{10, 5}, 573.0, 3.0, 7},          // vertical: |10 - 3|
        {{1, 5}, 573.0, 3.7, 2},           // trunc(-2.7) -> 2
        {{10, 5}, 0.0, 1.5, 3},            // flat: |trunc(3.5)|
        {{10, 5}, 0.00002, 1.5, 3},
        {{10, 5}, -0.00001, 1.5, 3},       // negative near zero: general formula, 3.5001 -> 3
        {{3, 4}, 1.0, 0.0, 0},             // 1/sqrt2
        {{0, 10}, 1.0, 0.0, 7},            // 10/sqrt2
        {{0, 0}, 0.0, 1e30, kMax},         // saturates
        {{0, 0}, 573.0, kNaN, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        EXPECT_EQ(Geo_DistanceToSlopeLine(c.p, c.slope, c.intercept), c.expected) << "case " << i;
    }
}

TEST_F(GeometryTest, IntersectWithSlopeLineTable) {
    struct Case {
        GEO_POINT p1, p2;
        SLOPE_LINE line;
        GEO_POINT expected;
    };
    const Case cases[] = {
        // vertical line x = 4.7
        {{0, 6}, {10, 6}, {573.0, 4.7}, {4, 6}},      // horizontal segment
        {{0, 0}, {10, 5}, {573.0, 4.7}, {4, 2}},      // y = 0 + (-5)(4.7)/(-10) = 2.35 -> 2
        {{3, 0}, {3, 9}, {573.0, 4.7}, {3, 0}},       // parallel: p1
        {{0, 0}, {10, 5}, {-600.0, 5.0}, {5, 3}},     // |s| >= 573 is vertical: 2.5 + 0.5 -> 3
        // horizontal line y = 2.9
        {{0, 7}, {9, 7}, {0.0, 2.9}, {0, 7}},         // parallel: p1
        {{4, 0}, {4, 9}, {0.0, 2.9}, {4, 2}},
        {{0, 0}, {10, 5}, {0.0, 2.9}, {6, 2}},        // x = 5.8 -> trunc(6.3) = 6
        // other slopes
        {{2, 0}, {2, 9}, {2.0, 1.0}, {2, 5}},         // vertical segment
        {{0, 7}, {9, 7}, {2.0, 1.0}, {3, 7}},         // horizontal segment: x = 3
        {{0, 10}, {10, 0}, {1.0, 0.0}, {5, 5}},       // general
        {{0, 0}, {4, 8}, {2.0, 1.0}, {0, 0}},         // runs parallel: p1
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        GEO_POINT out{-77, -77};
        Geo_IntersectWithSlopeLine(&c.p1, &c.p2, &c.line, &out);
        EXPECT_EQ(out.x, c.expected.x) << "case " << i;
        EXPECT_EQ(out.y, c.expected.y) << "case " << i;
    }
    // The output may be either input.
    GEO_POINT p1{0, 10}, p2{10, 0};
    const SLOPE_LINE diag{1.0, 0.0};
    Geo_IntersectWithSlopeLine(&p1, &p2, &diag, &p2);
    EXPECT_EQ(p2.x, 5);
    EXPECT_EQ(p2.y, 5);
    GEO_POINT q1{0, 10}, q2{10, 0};
    Geo_IntersectWithSlopeLine(&q1, &q2, &diag, &q1);
    EXPECT_EQ(q1.x, 5);
    EXPECT_EQ(q1.y, 5);
    // Far-off results saturate rather than overflow.
    GEO_POINT r1{0, 0}, r2{1, 0}, out{};
    const SLOPE_LINE steep{0.0001, 1e9};
    Geo_IntersectWithSlopeLine(&r1, &r2, &steep, &out);
    EXPECT_EQ(out.x, kMin);
    EXPECT_EQ(out.y, 0);
}

// ---- Lines through two points

TEST_F(GeometryTest, IntersectLinesAndSegmentsTable) {
    struct Case {
        GEO_POINT p1, p2, p3, p4;
        i32 lines;
        GEO_POINT linesAt;
        i32 segments;
        GEO_POINT segmentsAt;
    };
    const Case cases[] = {
        {{0, 0}, {10, 3}, {0, 5}, {7, 0}, 1, {4, 1}, 1, {5, 1}},
        {{5, 5}, {-10, -3}, {-7, 4}, {8, -9}, 1, {-3, 0}, 1, {-2, 1}},
        {{0, 0}, {4, 4}, {10, 0}, {6, 4}, 1, {5, 5}, 0, {5, 5}},
        {{0, 0}, {9, 0}, {2, 3}, {8, 3}, 0, {}, -1, {}},      // two horizontal segments
        {{0, 0}, {4, 4}, {1, 1}, {3, 3}, 0, {}, -1, {}},      // the same line
        {{0, 0}, {0, 0}, {1, 1}, {3, 5}, 0, {}, -1, {}},      // a point is no line
        {{0, 0}, {10, 0}, {10, 5}, {10, -5}, 1, {10, 0}, 1, {10, 0}},  // ends included
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        GEO_POINT a{-77, -77}, b{-77, -77}, s{-77, -77};
        EXPECT_EQ(Geo_IntersectLines(&c.p1, &c.p2, &c.p3, &c.p4, &a), c.lines) << "case " << i;
        EXPECT_EQ(Geo_IntersectLines64(&c.p1, &c.p2, &c.p3, &c.p4, &b), c.lines) << "case " << i;
        EXPECT_EQ(Geo_IntersectSegments(&c.p1, &c.p2, &c.p3, &c.p4, &s), c.segments) << "case " << i;
        const GEO_POINT wantLines = c.lines ? c.linesAt : GEO_POINT{-77, -77};
        const GEO_POINT wantSeg = c.segments >= 0 ? c.segmentsAt : GEO_POINT{-77, -77};
        EXPECT_EQ(a.x, wantLines.x) << "case " << i;
        EXPECT_EQ(a.y, wantLines.y) << "case " << i;
        EXPECT_EQ(b.x, wantLines.x) << "case " << i;
        EXPECT_EQ(b.y, wantLines.y) << "case " << i;
        EXPECT_EQ(s.x, wantSeg.x) << "case " << i;
        EXPECT_EQ(s.y, wantSeg.y) << "case " << i;
    }
}

TEST_F(GeometryTest, IntersectLinesFarOutsideTheFrame) {
    // Products far beyond 32 bits: both forms give the exact truncated point.
    const GEO_POINT p1{-3000000, 0}, p2{3000000, 1}, p3{0, -3000000}, p4{1, 3000000};
    GEO_POINT a{}, b{};
    ASSERT_EQ(Geo_IntersectLines(&p1, &p2, &p3, &p4, &a), 1);
    ASSERT_EQ(Geo_IntersectLines64(&p1, &p2, &p3, &p4, &b), 1);
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(b.x, a.x);
    // Nearly parallel long lines whose crossing lies beyond 32 bits: no point.
    const GEO_POINT q1{0, 0}, q2{kMax, 1}, q3{0, 1}, q4{kMax - 1, 2};
    GEO_POINT out{-77, -77};
    EXPECT_EQ(Geo_IntersectLines64(&q1, &q2, &q3, &q4, &out), 0);
    EXPECT_EQ(Geo_IntersectSegments(&q1, &q2, &q3, &q4, &out), 0);
    EXPECT_EQ(out.x, -77);
    // Extreme coordinates whose products leave 64 bits.
    const GEO_POINT e1{kMin, kMin}, e2{kMax, kMax}, e3{kMin, kMax}, e4{kMax, kMin};
    EXPECT_EQ(Geo_IntersectLines(&e1, &e2, &e3, &e4, &out), 0);
    EXPECT_EQ(Geo_IntersectSegments(&e1, &e2, &e3, &e4, &out), 0);
    EXPECT_EQ(out.x, -77);
    // 16-bit segments.
    const SEGMENT16 s{0, 0, 10, 3}, t{0, 5, 7, 0};
    ASSERT_EQ(Geo_IntersectLines16(&s, &t, &out), 1);
    EXPECT_EQ(out.x, 4);
    EXPECT_EQ(out.y, 1);
}

TEST_F(GeometryTest, DistanceToLineTable) {
    struct Case {
        GEO_POINT p, a, b;
        i32 expected;
        f64 exact;
    };
    const Case cases[] = {
        {{0, 5}, {-3, 0}, {9, 0}, 5, 5.0},
        {{3, 4}, {0, 0}, {0, 0}, 5, 5.0},              // a = b: distance to the point
        {{0, 10}, {0, 0}, {10, 10}, 7, std::sqrt(50.0)},
        {{4, 4}, {0, 0}, {10, 10}, 0, 0.0},
        {{kMax, kMax}, {kMin, kMin}, {kMin, kMin}, kMax, std::sqrt(2.0) * 4294967295.0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case &c = cases[i];
        EXPECT_EQ(Geo_DistanceToLine(&c.p, &c.a, &c.b), c.expected) << "case " << i;
        EXPECT_NEAR(Geo_DistanceToLineD(c.p, c.a, c.b), c.exact, 1e-9 * (1.0 + c.exact)) << "case " << i;
    }
}

// ---- The same numbers on every machine

// FNV-1a over the bytes of every answer of a fixed stream of operations. The expected
// value was taken on x86-64; arm64 must give the same.
struct Fingerprint {
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

TEST_F(GeometryTest, AnswersAreTheSameOnEveryMachine) {
    const u32 seed = 77;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<i32> coord(-2000, 2000);
    Fingerprint fp;
    for (i32 it = 0; it < 300; ++it) {
        i32 u[12], v[12];
        for (i32 i = 0; i < 12; ++i) {
            u[i] = coord(rng);
            v[i] = u[i] / 3 + coord(rng) / 50;
        }
        f32 line[2] = {0.0f, 0.0f};
        STRAIGHT_FIT fit{v, u, 12, 1, line, {}};
        fp.Add(Geo_FitLine(&fit));
        fp.Add(line);
        for (i32 t = -50; t <= 50; t += 7) {
            fp.Add(Geo_LineEval(line, t * 37));
            fp.Add(Geo_LineEval16(line, t));
        }
        f64 coef[3] = {};
        QUADRATIC_FIT q{v, u, 12, 1, coef, {}};
        fp.Add(Geo_FitQuadratic(&q));
        fp.Add(coef);
        fp.Add(Geo_EvalQuadratic(coef, u[0]));
        const GEO_POINT p[4] = {{u[0], v[0]}, {u[1], v[1]}, {u[2], v[2]}, {u[3], v[3]}};
        LINE_FIT a{}, b{};
        Geo_LineThroughPoints(&p[0], &p[1], &a);
        Geo_LineThroughPoints(&p[2], &p[3], &b);
        fp.Add(a.slope);
        fp.Add(a.offset);
        GEO_POINT out{0, 0};
        fp.Add(Geo_IntersectLineFits(&a, &b, &out));
        fp.Add(out);
        fp.Add(Geo_IntersectLines(&p[0], &p[1], &p[2], &p[3], &out));
        fp.Add(out);
        fp.Add(Geo_IntersectSegments(&p[0], &p[1], &p[2], &p[3], &out));
        fp.Add(out);
        SLOPE_LINE s1{}, s2{};
        Geo_SlopeLineFromPoints(p[0], p[1], &s1);
        Geo_SlopeLineFromPoints(p[2], p[3], &s2);
        fp.Add(Geo_IntersectSlopeLines(&out, s1.slope, s1.intercept, s2.slope, s2.intercept));
        fp.Add(out);
        fp.Add(Geo_DistanceToSlopeLine(p[2], s1.slope, s1.intercept));
        Geo_IntersectWithSlopeLine(&p[2], &p[3], &s1, &out);
        fp.Add(out);
        fp.Add(Geo_DistanceToLine(&p[3], &p[0], &p[1]));
        fp.Add(Geo_DistanceToLineD(p[3], p[0], p[1]));
        f64 A[36], rhs[6];
        for (i32 i = 0; i < 36; ++i) A[i] = u[i % 12] * 0.01 + v[(i * 5) % 12] * 0.001;
        for (i32 i = 0; i < 6; ++i) rhs[i] = v[i];
        fp.Add(Geo_SolveLinearSystem(A, rhs, 6));
        fp.Add(rhs);
    }
    EXPECT_EQ(fp.h, 3829927929069901471ull) << "seed " << seed;
}

}  // namespace

// Point constructions, distances, turn tests and small sorts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "decoder_test.h"
#include "toolkit/geometry_points.h"

namespace {

using namespace vexo;
using vexo_test::DecoderTest;

constexpr i32 kPointsMax = std::numeric_limits<i32>::max();
constexpr i32 kPointsMin = std::numeric_limits<i32>::min();

class GeometryPointsTest : public DecoderTest {};

void ExpectPoint(const GEO_POINT &got, i32 x, i32 y, const char *what) {
    EXPECT_EQ(got.x, x) << what;
    EXPECT_EQ(got.y, y) << what;
}

TEST_F(GeometryPointsTest, QuarterTurnsReflectionsAndMidpoints) {
    const GEO_POINT p{10, 10}, q{20, 10};
    GEO_POINT out{};
    Geo_RotatePlus90(&p, &q, &out);
    ExpectPoint(out, 10, 20, "plus 90");
    Geo_RotateMinus90(&p, &q, &out);
    ExpectPoint(out, 10, 0, "minus 90");
    Geo_ReflectPoint(&p, &q, &out);
    ExpectPoint(out, 0, 10, "reflect");

    struct Mid {
        GEO_POINT p, q;
        GEO_POINT expected;
    };
    const Mid mids[] = {{{-1, 0}, {0, 0}, {-1, 0}}, {{3, 5}, {4, 8}, {3, 6}}, {{-3, -5}, {0, 0}, {-2, -3}},
                        {{kPointsMax, kPointsMax}, {kPointsMax, kPointsMin}, {kPointsMax, -1}}};
    for (const Mid &m : mids) {
        Geo_Midpoint(&m.p, &m.q, &out);
        ExpectPoint(out, m.expected.x, m.expected.y, "midpoint");
    }

    // The apexes of the square on the diagonal (0,0)-(10,10), halves truncated toward zero.
    const GEO_POINT a{0, 0}, b{10, 10}, c{1, 0};
    Geo_DiagonalApexPlus90(&a, &b, &out);
    ExpectPoint(out, 0, 10, "apex plus");
    Geo_DiagonalApexMinus90(&a, &b, &out);
    ExpectPoint(out, 10, 0, "apex minus");
    Geo_DiagonalApexPlus90(&a, &c, &out);
    ExpectPoint(out, 0, 0, "apex plus odd");  // (1/2, 1/2)
    const GEO_POINT d{-1, 0};
    Geo_DiagonalApexMinus90(&a, &d, &out);
    ExpectPoint(out, 0, 0, "apex minus odd");  // (-1/2, 1/2)

    // Far-off results saturate instead of overflowing.
    const GEO_POINT far1{kPointsMax, 0}, far2{kPointsMin, 0};
    Geo_ReflectPoint(&far1, &far2, &out);
    ExpectPoint(out, kPointsMax, 0, "reflect saturates");
    Geo_RotatePlus90(&far2, &far1, &out);
    ExpectPoint(out, kPointsMin, kPointsMax, "rotate saturates");
}

TEST_F(GeometryPointsTest, OffsetsByADistance) {
    struct Case {
        const char *name;
        i32 op;  // 0 perpendicular, 1 shift along, 2 step towards, 3 perpendicular at end
        GEO_POINT p, q, base;
        i32 d;
        GEO_POINT expected;
    };
    const Case cases[] = {
        {"shift along", 1, {0, 0}, {3, 4}, {10, 10}, 5, {13, 14}},
        {"perpendicular", 0, {3, 4}, {0, 0}, {10, 10}, 5, {6, 13}},
        {"perpendicular p = q", 0, {3, 4}, {3, 4}, {10, 10}, 5, {10, 10}},
        {"shift p = q", 1, {3, 4}, {3, 4}, {-7, 2}, 5, {-7, 2}},
        {"step", 2, {0, 0}, {3, 4}, {}, 10, {6, 8}},
        {"step back", 2, {0, 0}, {3, 4}, {}, -10, {-5, -7}},  // trunc(-5.5), trunc(-7.5)
        {"step p = q", 2, {9, 9}, {9, 9}, {}, 10, {9, 9}},
        {"step half up", 2, {0, 0}, {2, 0}, {}, 3, {3, 0}},
        {"step truncates negatives", 2, {0, 0}, {-1, -1}, {}, 2, {0, 0}},  // trunc(-1.414 + 0.5)
        {"at end", 3, {0, 0}, {10, 0}, {}, 4, {10, -3}},  // trunc(-4 + 0.5)
        {"at end p = q", 3, {5, 6}, {5, 6}, {}, 4, {5, 6}},
    };
    for (const Case &c : cases) {
        GEO_POINT out{-77, -77};
        switch (c.op) {
            case 0: Geo_OffsetPerpendicular(&c.p, &c.q, &c.base, c.d, &out); break;
            case 1: Geo_ShiftAlong(&c.p, &c.q, &c.base, c.d, &out); break;
            case 2: Geo_StepTowardsRound(&c.p, &c.q, c.d, &out); break;
            default: Geo_OffsetPerpendicularAtEnd(&c.p, &c.q, c.d, &out); break;
        }
        ExpectPoint(out, c.expected.x, c.expected.y, c.name);
    }
    // The output may share storage with an input.
    GEO_POINT p{0, 0}, q{3, 4};
    Geo_StepTowardsRound(&p, &q, 5, &p);
    ExpectPoint(p, 3, 4, "in place");
    // Extreme distances saturate.
    const GEO_POINT o{0, 0}, e{1, 0};
    GEO_POINT out{};
    Geo_StepTowardsRound(&e, &o, kPointsMin, &out);
    ExpectPoint(out, kPointsMax, 0, "saturated step");
}

TEST_F(GeometryPointsTest, DistancesAndCosines) {
    EXPECT_EQ(Geo_Distance(0, 0, 3, 4), 5.0);
    EXPECT_EQ(Geo_DistanceInt(0, 0, 3, 5), 5);
    EXPECT_EQ(Geo_DistanceInt(kPointsMin, kPointsMin, kPointsMax, kPointsMax), kPointsMax);
    EXPECT_NEAR(Geo_Distance(kPointsMin, 0, kPointsMax, 0), 4294967295.0, 1e-3);
    EXPECT_EQ(Geo_VecLength(5, 12), 13);
    EXPECT_EQ(Geo_VecLength(1, 1), 1);

    const GEO_POINT apex{0, 0}, q{10, 0}, r{0, 10}, s{10, 10}, back{-5, 0};
    EXPECT_EQ(Geo_CosAngleAt(&apex, &q, &r), 0.0);
    EXPECT_EQ(Geo_CosAngleAt(&apex, &apex, &r), -1.0);
    EXPECT_NEAR(Geo_CosAngleAt(&apex, &q, &s), std::sqrt(0.5), 1e-12);
    EXPECT_NEAR(Geo_CosAngleAt(&apex, &q, &back), -1.0, 1e-12);
    EXPECT_EQ(Geo_CosAngleAt(nullptr, &q, &r), 0.0);
}

TEST_F(GeometryPointsTest, TurnTests) {
    struct Case {
        GEO_POINT p, o, q;
        int left;
    };
    const Case cases[] = {
        {{0, 0}, {0, 10}, {10, 0}, 0},   // cross = -100
        {{0, 0}, {0, -10}, {10, 0}, 1},  // cross = 100
        {{0, 0}, {5, 0}, {10, 0}, 0},    // collinear
        // Products beyond 64 bits keep their sign.
        {{kPointsMin, kPointsMin}, {kPointsMax, kPointsMin}, {kPointsMin, kPointsMax}, 1},
        {{kPointsMax, kPointsMax}, {kPointsMin, kPointsMax}, {kPointsMin, kPointsMin}, 1},
        {{kPointsMin, kPointsMin}, {kPointsMin, kPointsMax}, {kPointsMax, kPointsMin}, 0},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Geo_IsLeftTurn(&c.p, &c.o, &c.q), c.left) << c.o.x << "," << c.o.y;
    }
    const GEO_POINT a{0, 0}, p{10, 0}, q{10, 10}, far{kPointsMax, kPointsMin};
    EXPECT_EQ(Geo_TurnCross(&a, &p, &q), 100);
    EXPECT_EQ(Geo_TurnCross(&a, &q, &p), -100);
    EXPECT_EQ(Geo_TurnCross(&a, &far, &a), 0);  // cross of (v, -v)
    const GEO_POINT huge{kPointsMax, kPointsMax}, low{kPointsMin, kPointsMax};
    EXPECT_EQ(Geo_TurnCross(&a, &huge, &low), kPointsMax);
    EXPECT_EQ(Geo_TurnCross(&a, &low, &huge), kPointsMin);
    EXPECT_EQ(Geo_TriangleArea2({0, 0}, {4, 0}, {0, 3}), 12);
    EXPECT_EQ(Geo_TriangleArea2({0, 0}, {0, 3}, {4, 0}), 12);
    EXPECT_EQ(Geo_TriangleArea2F({0.0f, 0.0f}, {0.0f, 3.0f}, {4.0f, 0.0f}), 12.0f);
}

TEST_F(GeometryPointsTest, VectorForms) {
    struct Case {
        i32 op;
        GEO_POINT in, expected;
    };
    const Case cases[] = {
        {0, {3, 5}, {-5, 3}},  {1, {3, 5}, {5, -3}}, {2, {3, -5}, {-3, 5}}, {3, {3, 6}, {-1, 4}},
        {4, {3, 6}, {4, 1}},   {3, {-3, 0}, {-1, -1}}, {2, {kPointsMin, 0}, {kPointsMax, 0}},
    };
    for (const Case &c : cases) {
        GEO_POINT v = c.in;
        switch (c.op) {
            case 0: Geo_VecRotatePlus90(&v, &v); break;
            case 1: Geo_VecRotateMinus90(&v, &v); break;
            case 2: Geo_VecNegate(&v, &v); break;
            case 3: Geo_VecRotate45Half(&v, &v); break;
            default: Geo_VecRotateMinus45Half(&v, &v); break;
        }
        ExpectPoint(v, c.expected.x, c.expected.y, "vector");
    }
}

TEST_F(GeometryPointsTest, ShellSortsLargestFirst) {
    const u32 seed = 4242;
    std::mt19937 rng(seed);
    for (i32 n : {0, 1, 2, 3, 7, 64, 255}) {
        std::vector<u8> bytes(n);
        std::vector<GEO_POINT> pts(n);
        for (i32 i = 0; i < n; ++i) {
            bytes[i] = static_cast<u8>(rng() % 20);
            pts[i] = {static_cast<i32>(rng() % 15) - 7, i};
        }
        std::vector<u8> wantBytes = bytes;
        std::sort(wantBytes.begin(), wantBytes.end(), [](u8 a, u8 b) { return a > b; });
        Geo_ShellSortBytesDesc(bytes.data(), n);
        EXPECT_EQ(bytes, wantBytes) << "seed " << seed << " n " << n;
        std::vector<GEO_POINT> sorted = pts;
        Geo_ShellSortPointsDesc(sorted.data(), n);
        std::vector<i32> seen(n, 0);
        for (i32 i = 0; i < n; ++i) {
            if (i > 0) {
                EXPECT_GE(sorted[i - 1].x, sorted[i].x) << "seed " << seed << " n " << n;
            }
            ASSERT_GE(sorted[i].y, 0);
            ASSERT_LT(sorted[i].y, n);
            EXPECT_EQ(sorted[i].x, pts[sorted[i].y].x);  // points move whole
            ++seen[sorted[i].y];
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), 1), n);
    }
    // Within the single pass of gap 1 equal elements keep their order.
    GEO_POINT two[2] = {{5, 0}, {5, 1}};
    Geo_ShellSortPointsDesc(two, 2);
    EXPECT_EQ(two[0].y, 0);
    Geo_ShellSortBytesDesc(nullptr, 5);
}

TEST_F(GeometryPointsTest, PartialSortPairs) {
    i32 keys[] = {3, 9, 1, 9};
    i32 values[] = {0, 1, 2, 3};
    Geo_PartialSortPairs(keys, 4, 2, values, 1);
    EXPECT_EQ(std::vector<i32>(keys, keys + 4), (std::vector<i32>{9, 9, 3, 1}));
    EXPECT_EQ(values[0], 1);  // the first 9 is the one from position 1
    EXPECT_EQ(values[1], 3);

    // Against a stable sort on random keys, both directions, n beyond count included.
    const u32 seed = 99;
    std::mt19937 rng(seed);
    for (i32 rep = 0; rep < 40; ++rep) {
        const i32 count = 1 + static_cast<i32>(rng() % 30);
        const i32 n = static_cast<i32>(rng() % 40);
        const i32 largest = rep % 2;
        std::vector<i32> k(count), v(count);
        for (i32 i = 0; i < count; ++i) {
            k[i] = static_cast<i32>(rng() % 10);
            v[i] = i;
        }
        const std::vector<i32> k0 = k;
        std::vector<i32> order(count);
        for (i32 i = 0; i < count; ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](i32 a, i32 b) { return largest ? k[a] > k[b] : k[a] < k[b]; });
        Geo_PartialSortPairs(k.data(), count, n, v.data(), largest);
        for (i32 i = 0; i < std::min(n, count); ++i) {
            EXPECT_EQ(v[i], order[i]) << "seed " << seed << " rep " << rep << " place " << i;
            EXPECT_EQ(k[i], k0[order[i]]);
        }
    }
    i32 one[] = {5, 7};
    Geo_PartialSortPairs(one, 2, 1, nullptr, 1);  // keys alone
    EXPECT_EQ(one[0], 7);
}

TEST_F(GeometryPointsTest, BytesEqual) {
    const u8 a[] = {1, 2, 3};
    const u8 b[] = {1, 2, 4};
    struct Case {
        const u8 *a;
        i32 lenA;
        const u8 *b;
        i32 lenB;
        int expected;
    };
    const Case cases[] = {
        {nullptr, 0, nullptr, 0, 1}, {a, 2, b, 3, 0},       {a, 2, b, 2, 1},  {a, 3, b, 3, 0},
        {a, -1, b, -1, 1},           {a, -1, b, 0, 0},      {nullptr, 3, a, 3, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(Geo_BytesEqual(c.a, c.lenA, c.b, c.lenB), c.expected) << c.lenA << "/" << c.lenB;
}

TEST_F(GeometryPointsTest, SmallAccumulators) {
    const i32 w[] = {1, 3, 0};
    const f64 pos[] = {2.0, 6.0, 100.0};
    WEIGHTED_MEAN_RESULT res{};
    WEIGHTED_MEAN wm{w, pos, 3, 1, &res, 55.0, 55.0};
    ASSERT_EQ(Geo_WeightedMeanAdd(&wm), 1);
    ASSERT_EQ(Geo_WeightedMeanSolve(&wm), 1);
    EXPECT_EQ(res.mean, 5.0);
    EXPECT_EQ(res.totalWeight, 4);
    const i32 neg[] = {-4};
    wm = {neg, pos, 1, 0, &res, wm.sumWeightedPosition, wm.sumWeights};
    ASSERT_EQ(Geo_WeightedMeanAdd(&wm), 1);
    ASSERT_EQ(Geo_WeightedMeanSolve(&wm), 1);  // weights cancel
    EXPECT_EQ(res.mean, 0.0);
    EXPECT_EQ(res.totalWeight, 0);

    const f64 u[] = {1.0, 2.0}, v[] = {3.0, 5.0}, z[] = {1.0, -1.0};
    f64 suu = 9.0, suv = 9.0;
    ASSERT_EQ(Geo_OriginFitAdd(u, v, 2, &suu, &suv, 1), 1);
    EXPECT_EQ(suu, 5.0);
    EXPECT_EQ(suv, 13.0);
    f64 m[4], r[2];
    ASSERT_EQ(Geo_PlaneFitAdd(u, v, z, 2, m, r, 1), 1);
    EXPECT_EQ(m[0], 5.0);
    EXPECT_EQ(m[1], 13.0);
    EXPECT_EQ(m[2], 13.0);
    EXPECT_EQ(m[3], 34.0);
    EXPECT_EQ(r[0], -1.0);
    EXPECT_EQ(r[1], -2.0);
}

}  // namespace

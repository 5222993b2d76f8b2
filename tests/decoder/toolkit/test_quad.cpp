// Quadrilateral tests, reading order of result pairs, box lists, scaling and the matching
// of two position lists by runs.
#include <array>
#include <cstdint>
#include <vector>

#include "core/pixel.h"
#include "core/state.h"
#include "decoder_test.h"
#include "toolkit/quad.h"

namespace {

using vexo::EDGE_PAIRING;
using vexo::GEO_POINT;
using vexo::REGION_QUAD;
using vexo_test::DecoderTest;

REGION_QUAD Quad(GEO_POINT c0, GEO_POINT c1, GEO_POINT c2, GEO_POINT c3) { return REGION_QUAD{{c0, c1, c2, c3}}; }
REGION_QUAD Box(int left, int top, int right, int bottom) {
    return Quad({left, top}, {right, top}, {left, bottom}, {right, bottom});
}

TEST_F(DecoderTest, PointInQuadAcceptsTheBorderInBothCornerOrders) {
    const REGION_QUAD square = Box(0, 0, 10, 10);
    const REGION_QUAD mirrored = Quad({10, 0}, {0, 0}, {10, 10}, {0, 10});
    // A diamond: the bounding box alone would accept its corners' neighbourhood.
    const REGION_QUAD diamond = Quad({10, 0}, {20, 10}, {0, 10}, {10, 20});
    const struct {
        GEO_POINT p;
        int square, diamond;
    } cases[] = {
        {{5, 5}, 1, 1},   {{0, 5}, 1, 0},  {{10, 10}, 1, 1}, {{11, 5}, 0, 1},  {{-1, 0}, 0, 0},
        {{10, 0}, 1, 1},  {{1, 1}, 1, 0},  {{5, 5}, 1, 1},   {{15, 15}, 0, 1}, {{16, 16}, 0, 0},
        {{10, -1}, 0, 0}, {{20, 10}, 0, 1},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(vexo::Geo_PointInQuad(&c.p, &square), c.square) << c.p.x << "," << c.p.y;
        EXPECT_EQ(vexo::Geo_PointInQuad(&c.p, &mirrored), c.square) << c.p.x << "," << c.p.y;
        EXPECT_EQ(vexo::Geo_PointInQuad(&c.p, &diamond), c.diamond) << c.p.x << "," << c.p.y;
    }
    const GEO_POINT p{1, 1};
    EXPECT_EQ(vexo::Geo_PointInQuad(nullptr, &square), 0);
    EXPECT_EQ(vexo::Geo_PointInQuad(&p, nullptr), 0);
    // Far coordinates do not overflow the side tests.
    const REGION_QUAD huge = Quad({INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MIN}, {INT32_MIN, INT32_MAX}, {INT32_MAX, INT32_MAX});
    const GEO_POINT far{INT32_MAX - 1, INT32_MIN + 1};
    EXPECT_EQ(vexo::Geo_PointInQuad(&far, &huge), 1);
    const REGION_QUAD sliver = Quad({INT32_MIN, 0}, {INT32_MAX, 1}, {INT32_MIN, 2}, {INT32_MAX, 3});
    const GEO_POINT below{0, 0};
    EXPECT_EQ(vexo::Geo_PointInQuad(&below, &sliver), 0);
}

TEST_F(DecoderTest, PointInConvexPolygonTellsInsideBorderAndOutside) {
    const GEO_POINT ring[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    const struct {
        GEO_POINT p;
        int answer;
    } cases[] = {{{5, 5}, 0}, {{10, 5}, 1}, {{15, 5}, -1}, {{0, 0}, 1}, {{5, 0}, 1}, {{5, -1}, -1}, {{1, 9}, 0}};
    for (const auto &c : cases) EXPECT_EQ(vexo::Geo_PointInConvexPolygon(c.p, ring, 4), c.answer) << c.p.x << "," << c.p.y;
    const GEO_POINT triangle[] = {{0, 0}, {8, 0}, {0, 8}};
    EXPECT_EQ(vexo::Geo_PointInConvexPolygon({2, 2}, triangle, 3), 0);
    EXPECT_EQ(vexo::Geo_PointInConvexPolygon({4, 4}, triangle, 3), 1);
    EXPECT_EQ(vexo::Geo_PointInConvexPolygon({5, 5}, triangle, 3), -1);
    EXPECT_EQ(vexo::Geo_PointInConvexPolygon({5, 5}, nullptr, 3), -1);
    EXPECT_EQ(vexo::Geo_PointInConvexPolygon({5, 5}, ring, 0), -1);
}

TEST_F(DecoderTest, Scale16RoundTripsAndRoundsDownwards) {
    const REGION_QUAD original = Quad({0, -1}, {1279, 5}, {-17, 959}, {-2000, 3});
    REGION_QUAD q = original;
    EXPECT_EQ(vexo::Geo_QuadScale16(&q, 1), &q);
    EXPECT_EQ(q.c[1].x, 1279 * 16);
    EXPECT_EQ(q.c[3].x, -32000);
    vexo::Geo_QuadScale16(&q, 0);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(q.c[k].x, original.c[k].x);
        EXPECT_EQ(q.c[k].y, original.c[k].y);
    }
    vexo::Geo_QuadScale16(&q, 0);
    EXPECT_EQ(q.c[0].y, -1) << "-1 >> 4";
    EXPECT_EQ(q.c[2].x, -2) << "-17 >> 4";
    EXPECT_EQ(q.c[1].x, 79);
    EXPECT_EQ(vexo::Geo_QuadScale16(nullptr, 1), nullptr);
}

TEST_F(DecoderTest, SideMidpointsShiftOrDivide) {
    const REGION_QUAD q = Box(0, 0, 9, 9);
    GEO_POINT mid[2];
    vexo::Geo_QuadSideMidpoints(&q, mid);
    EXPECT_EQ(mid[0].x, 0);
    EXPECT_EQ(mid[0].y, 4);
    EXPECT_EQ(mid[1].x, 9);
    EXPECT_EQ(mid[1].y, 4);
    const REGION_QUAD neg = Quad({-1, -1}, {3, -1}, {-2, -2}, {4, 6});
    vexo::Geo_QuadSideMidpoints(&neg, mid);
    GEO_POINT left{}, right{};
    vexo::Geo_QuadSideMidpointsDiv(&neg, &left, &right);
    EXPECT_EQ(mid[0].x, -2);
    EXPECT_EQ(mid[0].y, -2);
    EXPECT_EQ(left.x, -1);
    EXPECT_EQ(left.y, -1);
    EXPECT_EQ(mid[1].x, 3);
    EXPECT_EQ(right.x, 3);
    EXPECT_EQ(mid[1].y, 2);
    EXPECT_EQ(right.y, 2);
}

TEST_F(DecoderTest, QuadBoxIsGrownClampedAndRefusedWhenTheListIsFull) {
    vexo::Pix_SetImageSize(640, 480);
    vexo::BOX_LIST list{};
    list.capacity = 2;
    const REGION_QUAD q = Quad({40, 100}, {30, 90}, {20, 130}, {25, 120});  // x 20..40, y 90..130
    EXPECT_EQ(vexo::Geo_AddQuadBox(&q, &list, 1, 3), 1);
    EXPECT_EQ(list.box[0].left, 0) << "20 - 30 clamped";
    EXPECT_EQ(list.box[0].right, 70);
    EXPECT_EQ(list.box[0].top, 60);
    EXPECT_EQ(list.box[0].bottom, 160);
    const REGION_QUAD edge = Box(600, 400, 700, 500);
    EXPECT_EQ(vexo::Geo_AddQuadBox(&edge, &list, 0, 3), 1) << "grow other than 1: the box as it is";
    EXPECT_EQ(list.box[1].left, 600);
    EXPECT_EQ(list.box[1].right, 639);
    EXPECT_EQ(list.box[1].bottom, 479);
    EXPECT_EQ(vexo::Geo_AddQuadBox(&q, &list, 1, 3), 0);
    EXPECT_EQ(list.count, 2);
    // A capacity beyond the two boxes the list holds, or a bad count, refuses too.
    list.capacity = 5;
    EXPECT_EQ(vexo::Geo_AddQuadBox(&q, &list, 0, 0), 0);
    list.count = -1;
    EXPECT_EQ(vexo::Geo_AddQuadBox(&q, &list, 0, 0), 0);
    list = vexo::BOX_LIST{};
    EXPECT_EQ(vexo::Geo_AddQuadBox(&q, &list, 0, 0), 0) << "capacity 0 before the context reset";
}

// Each row of the reading-order table: A's corners in one of four turns, B beside A
// along A's rows or across them.
TEST_F(DecoderTest, ReadingOrderFollowsTheTurnOfTheFirstQuad) {
    const REGION_QUAD upright = Box(100, 100, 150, 150);
    const REGION_QUAD upsideDown = Quad({150, 150}, {100, 150}, {150, 100}, {100, 100});
    const REGION_QUAD turnedDown = Quad({150, 100}, {150, 150}, {100, 100}, {100, 150});
    const REGION_QUAD turnedUp = Quad({100, 150}, {100, 100}, {150, 150}, {150, 100});
    const struct {
        const char *name;
        REGION_QUAD a, b;
        int first;
    } cases[] = {
        {"upright, B to the left", upright, Box(10, 100, 60, 150), 1},
        {"upright, B to the right", upright, Box(200, 100, 250, 150), 0},
        {"upright, B below", upright, Box(100, 300, 150, 350), 0},
        {"upright, B above", upright, Box(100, 10, 150, 60), 1},
        {"upright, same x: B first", upright, Box(100, 90, 150, 160), 1},
        {"upside down, B to the left", upsideDown, Box(10, 100, 60, 150), 0},
        {"upside down, B below", upsideDown, Box(100, 300, 150, 350), 1},
        {"turned down, B below along its rows", turnedDown, Quad({150, 300}, {150, 350}, {100, 300}, {100, 350}), 0},
        {"turned down, B above along its rows", turnedDown, Quad({150, 0}, {150, 50}, {100, 0}, {100, 50}), 1},
        {"turned down, B to the left", turnedDown, Quad({50, 100}, {50, 150}, {0, 100}, {0, 150}), 0},
        {"turned down, B to the right", turnedDown, Quad({250, 100}, {250, 150}, {200, 100}, {200, 150}), 1},
        {"turned up, B below along its rows", turnedUp, Quad({100, 350}, {100, 300}, {150, 350}, {150, 300}), 1},
        {"turned up, B to the right", turnedUp, Quad({200, 150}, {200, 100}, {250, 150}, {250, 100}), 0},
        {"turned up, B to the left", turnedUp, Quad({0, 150}, {0, 100}, {50, 150}, {50, 100}), 1},
    };
    for (const auto &c : cases) {
        const REGION_QUAD pair[2] = {c.a, c.b};
        std::array<int32_t, 2> order{-5, -5};
        EXPECT_EQ(vexo::Geo_OrderQuadPair(pair, 2, order.data()), 2) << c.name;
        EXPECT_EQ(order[0], c.first) << c.name;
        EXPECT_EQ(order[1], 1 - c.first) << c.name;
    }
    const REGION_QUAD pair[2] = {upright, upright};
    for (int32_t status : {0, 1, -3}) {
        std::array<int32_t, 2> order{-5, -5};
        EXPECT_EQ(vexo::Geo_OrderQuadPair(pair, status, order.data()), status);
        EXPECT_EQ(order[0], -5);
    }
    std::array<int32_t, 2> order{};
    EXPECT_EQ(vexo::Geo_OrderQuadPair(pair, 7, order.data()), 2);
}

TEST_F(DecoderTest, MidlineHitAndOverlapOfQuads) {
    const REGION_QUAD q = Box(100, 100, 200, 200);
    const GEO_POINT a{0, 150}, b{50, 150};
    EXPECT_EQ(vexo::Geo_MidlineHitInQuad(&a, &b, &q), 1);
    const GEO_POINT c{0, 250}, d{50, 250};
    EXPECT_EQ(vexo::Geo_MidlineHitInQuad(&c, &d, &q), 0) << "crossing below the quad";
    const GEO_POINT e{10, 0}, f{10, 50};
    EXPECT_EQ(vexo::Geo_MidlineHitInQuad(&e, &f, &q), 0) << "parallel to the midline";

    const REGION_QUAD small = Box(140, 140, 160, 160);
    const REGION_QUAD apart = Box(300, 300, 400, 400);
    const REGION_QUAD corner = Box(180, 180, 400, 400);  // means (290, 290) and (150, 150)
    EXPECT_EQ(vexo::Geo_QuadsOverlap(&q, &small), 1);
    EXPECT_EQ(vexo::Geo_QuadsOverlap(&small, &q), 1);
    EXPECT_EQ(vexo::Geo_QuadsOverlap(&q, &apart), 0);
    EXPECT_EQ(vexo::Geo_QuadsOverlap(&q, &corner), 0) << "they overlap, but neither holds the other's mean";
    EXPECT_EQ(vexo::Geo_QuadsOverlap(&q, nullptr), 0);
}

TEST_F(DecoderTest, RegionOfInterestTestsTheDiagonalCrossingOrThePoint) {
    vexo::g_state.roiQuad = Box(100, 100, 300, 300);
    // The diagonals of this trapezoid cross at (200, 133).
    const REGION_QUAD kite = Quad({150, 100}, {250, 100}, {190, 140}, {210, 140});
    EXPECT_EQ(vexo::Geo_InRoi(&kite, nullptr, 1), 1);
    const REGION_QUAD outside = Box(310, 310, 350, 350);
    EXPECT_EQ(vexo::Geo_InRoi(&outside, nullptr, 1), 0);
    const GEO_POINT in{100, 300}, out{99, 200};
    EXPECT_EQ(vexo::Geo_InRoi(nullptr, &in, 0), 1);
    EXPECT_EQ(vexo::Geo_InRoi(&kite, &out, 0), 0) << "the point, not the quad";
    EXPECT_EQ(vexo::Geo_InRoi(nullptr, &in, 1), 0);
    EXPECT_EQ(vexo::Geo_InRoi(&kite, nullptr, 0), 0);
}

TEST_F(DecoderTest, CentreAndOrientationCodes) {
    GEO_POINT m{};
    const REGION_QUAD q = Box(-3, 0, 4, 9);
    vexo::Geo_QuadCentre(&q, &m);
    EXPECT_EQ(m.x, 0) << "(-3 + 4 - 3 + 4) >> 2";
    EXPECT_EQ(m.y, 4);
    const struct {
        REGION_QUAD q;
        int code;
    } cases[] = {
        {Box(0, 0, 10, 10), 1},
        {Quad({10, 10}, {0, 10}, {10, 0}, {0, 0}), 2},
        {Quad({10, 0}, {10, 10}, {0, 0}, {0, 10}), 3},
        {Quad({0, 10}, {0, 0}, {10, 10}, {10, 0}), 4},
    };
    for (const auto &c : cases) EXPECT_EQ(vexo::Geo_QuadCentreOrientation(&c.q, &m), c.code);
}

TEST_F(DecoderTest, FloatPolygonTestToleratesATenthOfAPerMille) {
    const float xs[] = {0, 100, 100, 0};
    const float ys[] = {0, 0, 100, 100};
    EXPECT_EQ(vexo::Geo_PointInPolygonF(xs, ys, 4, 50, 50), 1);
    EXPECT_EQ(vexo::Geo_PointInPolygonF(xs, ys, 4, 100, 50), 1);
    EXPECT_EQ(vexo::Geo_PointInPolygonF(xs, ys, 4, 100.05f, 50), 1) << "T - S = 10: 0.0005 of S";
    EXPECT_EQ(vexo::Geo_PointInPolygonF(xs, ys, 4, 100.5f, 50), 0) << "T - S = 100: 0.005 of S";
    EXPECT_EQ(vexo::Geo_PointInPolygonF(xs, ys, 2, 50, 50), 0);
}

TEST_F(DecoderTest, FittingKeepsTheShorterClippedSideAndMatchesTheOther) {
    vexo::Pix_SetImageSize(640, 480);
    const REGION_QUAD frame = Box(0, 0, 639, 479);
    const struct {
        const char *name;
        REGION_QUAD in, reference, out;
    } cases[] = {
        {"left half outside, sides equal: the bottom is taken", Box(-100, 100, 200, 300), frame,
         Box(0, 100, 200, 300)},
        {"the clipped top is shorter: the bottom corner follows it",
         Quad({-100, 100}, {200, 100}, {-20, 300}, {250, 300}), frame,
         Quad({0, 100}, {200, 100}, {50, 300}, {250, 300})},
        {"right side outside", Quad({400, 100}, {700, 100}, {400, 300}, {750, 300}), frame,
         Quad({400, 100}, {639, 100}, {400, 300}, {639, 300})},
        {"inside the frame, outside the reference", Quad({10, 10}, {110, 10}, {0, 100}, {120, 100}),
         Box(50, 0, 600, 400), Quad({10, 10}, {110, 10}, {20, 100}, {120, 100})},
        {"inside both: unchanged", Box(100, 100, 200, 200), frame, Box(100, 100, 200, 200)},
    };
    for (const auto &c : cases) {
        REGION_QUAD q = c.in;
        vexo::Geo_FitQuadToFrame(&q, &c.reference);
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(q.c[k].x, c.out.c[k].x) << c.name << " corner " << k;
            EXPECT_EQ(q.c[k].y, c.out.c[k].y) << c.name << " corner " << k;
        }
    }
    // Sides that miss the frame clip to (0, 0); the fit still runs on them.
    REGION_QUAD away = Box(-500, -400, -300, -200);
    vexo::Geo_FitQuadToFrame(&away, &frame);
    vexo::Geo_FitQuadToFrame(nullptr, &frame);
}

struct Pairing {
    Pairing(std::vector<int32_t> a, std::vector<int32_t> b, int32_t tolerance, int32_t minRun, int32_t capacity = 16)
        : posA(std::move(a)), posB(std::move(b)), out(static_cast<size_t>(capacity), -1),
          matchA(static_cast<size_t>(capacity), -1), matchB(static_cast<size_t>(capacity), -1) {
        e = EDGE_PAIRING{tolerance,   capacity,    minRun,        static_cast<int32_t>(posA.size()),
                         static_cast<int32_t>(posB.size()), posA.data(), posB.data(), out.data(),
                         -7,          matchA.data(), matchB.data(), -7, 0, 0};
        vexo::Geo_MatchPositionRuns(&e);
    }
    std::vector<int32_t> Out() const { return {out.begin(), out.begin() + (e.outCount > 0 ? e.outCount : 0)}; }
    std::vector<int32_t> A() const { return {matchA.begin(), matchA.begin() + (e.matchCount > 0 ? e.matchCount : 0)}; }
    std::vector<int32_t> B() const { return {matchB.begin(), matchB.begin() + (e.matchCount > 0 ? e.matchCount : 0)}; }
    std::vector<int32_t> posA, posB, out, matchA, matchB;
    EDGE_PAIRING e{};
};

using Ints = std::vector<int32_t>;

TEST_F(DecoderTest, PositionRunsKeepLongEnoughRuns) {
    const Pairing kept({100, 200, 300, 400, 900}, {110, 205, 310, 395, 500}, 50, 4);
    EXPECT_EQ(kept.e.matchCount, 4);
    EXPECT_EQ(kept.A(), (Ints{0, 1, 2, 3}));
    EXPECT_EQ(kept.B(), (Ints{0, 1, 2, 3}));
    EXPECT_EQ(kept.Out(), (Ints{110, 205, 310, 395, 500}));

    const Pairing rejected({100, 200, 300, 400, 900}, {110, 205, 310, 395, 500}, 50, 6);
    EXPECT_EQ(rejected.e.matchCount, 0);
    EXPECT_EQ(rejected.e.outCount, 0);
    EXPECT_EQ(rejected.matchA[0], -1) << "nothing written";

    // A run reaching the end of B appends no position after it.
    const Pairing toEnd({100, 200, 300}, {101, 201, 301}, 5, 2);
    EXPECT_EQ(toEnd.A(), (Ints{0, 1, 2}));
    EXPECT_EQ(toEnd.Out(), (Ints{101, 201, 301}));
}

TEST_F(DecoderTest, PositionRunsSearchForwardWhileTheDifferenceShrinks) {
    // A[0] = 300: B shrinks 100 -> 200 -> 290 (within 20) and the run starts at B[2].
    const Pairing forward({300, 400, 500}, {100, 200, 290, 405, 497, 600}, 20, 2);
    EXPECT_EQ(forward.A(), (Ints{0, 1, 2}));
    EXPECT_EQ(forward.B(), (Ints{2, 3, 4}));
    EXPECT_EQ(forward.Out(), (Ints{290, 405, 497, 600}));
    // The difference grows again before a match: A[0] is skipped, A[1] pairs.
    const Pairing grows({300, 420, 520}, {250, 400, 500}, 30, 2);
    EXPECT_EQ(grows.A(), (Ints{1, 2}));
    EXPECT_EQ(grows.B(), (Ints{1, 2}));
    // Equal to the tolerance extends but does not start a run.
    const Pairing edge({100, 200, 300}, {120, 220, 320}, 20, 1);
    EXPECT_EQ(edge.e.matchCount, 0);
    const Pairing extend({100, 200, 300}, {119, 220, 320}, 20, 1);
    EXPECT_EQ(extend.A(), (Ints{0, 1, 2}));
    // Heads before position 20 are skipped in both lists.
    const Pairing heads({5, 100, 200}, {10, 104, 203}, 10, 2);
    EXPECT_EQ(heads.A(), (Ints{1, 2}));
    EXPECT_EQ(heads.B(), (Ints{1, 2}));
    // Differences above 65535 never start a run.
    const Pairing far({100, 70000}, {70000, 70010}, 100000, 1);
    EXPECT_EQ(far.A(), (Ints{1}));
    EXPECT_EQ(far.B(), (Ints{0}));
}

TEST_F(DecoderTest, PositionRunsStopAtCapacity) {
    const Pairing full({100, 200, 300, 400, 500, 600}, {101, 201, 301, 401, 501, 601}, 5, 1, 4);
    EXPECT_EQ(full.e.matchCount, 4);
    EXPECT_EQ(full.e.outCount, 4);
    EXPECT_EQ(full.A(), (Ints{0, 1, 2, 3}));
    // The first kept run fills the positions: matching ends there.
    const Pairing two({100, 200, 900, 1000}, {100, 200, 300, 900, 1000}, 5, 1, 3);
    EXPECT_EQ(two.A(), (Ints{0, 1}));
    EXPECT_EQ(two.Out(), (Ints{100, 200, 300}));

    const Pairing emptyA({}, {100}, 5, 1);
    EXPECT_EQ(emptyA.e.matchCount, -7) << "nothing written for an empty list";
    EXPECT_EQ(emptyA.e.outCount, -7);
}

}  // namespace

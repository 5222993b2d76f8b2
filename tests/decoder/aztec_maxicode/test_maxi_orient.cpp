// MaxiCode orientation search on painted scenes and hand-made records: the fans' targets,
// the opposite rays' capacity, pairing, the sweeps about the centre and their ranges, the
// outer re-check, the classification's levels, the merging of duplicate axes, the third
// axis's fallback pitches and the stored order.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "aztec_maxicode/maxi_grid.h"
#include "aztec_maxicode/maxi_orient.h"
#include "aztec_maxicode/maxi_refine.h"
#include "aztec_maxicode/test_hooks_maxi.h"
#include "core/state.h"
#include "decoder_test.h"
#include "grey_image.h"

namespace {

using vexo::GEO_POINT;
using vexo::i32;
using vexo::MAXI_AXIS;
using vexo::MAXI_RAY_FAN;
using vexo::MAXI_SIDE;
using vexo_test::GreyImage;

constexpr double kDark = 30, kLight = 220;

// A bulls-eye of ring pitch u pixels (light centre 0.75 u, dark rings 1 u wide, 1 u apart)
// ringed by a dark band from 7.2 u, `left` u wide left of the centre and `right` u wide on
// the right.
void PaintBandedBullseye(GreyImage &img, double cx, double cy, double u, double left, double right) {
    img.Paint([&](int x, int y) {
        const double r = std::hypot(x + 0.5 - cx, y + 0.5 - cy) / u;
        if (r >= 0.75 && r < 5.75) return (static_cast<int>(r - 0.75) & 1) == 0 ? kDark : kLight;
        const double width = x + 0.5 < cx ? left : right;
        return r >= 7.2 && r < 7.2 + width ? kDark : kLight;
    });
}

class MaxiOrientTest : public vexo_test::DecoderTest {
protected:
    void SetUp() override {
        DecoderTest::SetUp();
        vexo::Test_ResetMaxiStatics();
        vexo::Pix_SetSecondBuffer(vexo::g_internalImage);
        vexo::g_maxiGrid.threshold = 125;
    }
};

TEST_F(MaxiOrientTest, PitchSixteenGivesRepeatedTargetsAndTwiceCastRays) {
    // centre (100, 100) pixels, e = (12 x 16 + 8) / 16 = 12.
    const i32 cx = 100, cy = 100, e = (12 * 16 + 8) / 16;
    ASSERT_EQ(e, 12);
    const vexo::REGION_QUAD upper{{{cx - e, cy - e}, {cx, cy - e}, {cx - e, cy}, {cx, cy}}};
    GEO_POINT t[vexo::kMaxiFanTargets];
    const i32 n = vexo::Maxi_FanTargets(&upper, 16, 0, 0, t);
    ASSERT_EQ(n, 25);  // the bottom-left point and l_k = 1, 1, 2, 2, ..., 12, 12
    EXPECT_EQ(t[0].x, 88);
    EXPECT_EQ(t[0].y, 100);
    const int steps[] = {1, 1, 2, 2, 3, 3};
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(t[k + 1].x, 88);
        EXPECT_EQ(t[k + 1].y, 100 - steps[k]) << k;
    }
    EXPECT_EQ(t[24].y, 88);
    const i32 m = vexo::Maxi_FanTargets(&upper, 16, 0, 1, t);
    ASSERT_EQ(m, 25);
    EXPECT_EQ(t[1].x, 89);
    EXPECT_EQ(t[2].x, 89);
    EXPECT_EQ(t[24].x, 100);
    for (int k = 0; k < m; ++k) EXPECT_EQ(t[k].y, 88);
    // The lower fan's side runs down from the same point.
    const vexo::REGION_QUAD lower{{{cx - e, cy + e}, {cx, cy + e}, {cx - e, cy}, {cx, cy}}};
    vexo::Maxi_FanTargets(&lower, 16, 1, 0, t);
    EXPECT_EQ(t[3].y, 102);

    // On a banded bulls-eye two equal targets keep two rays with equal points.
    GreyImage img(300, 300);
    PaintBandedBullseye(img, 150.5, 150.5, 8, 0.8, 0.8);
    const GEO_POINT centre{150 * 16, 150 * 16};
    const GEO_POINT twice[2] = {{40, 120}, {40, 120}};
    GEO_POINT points[8];
    i32 pitches[8], counts[8], rays = 0;
    const i32 total = vexo::Maxi_CastRayList(&centre, twice, 2, points, pitches, &rays, counts, 8);
    ASSERT_EQ(rays, 2);
    EXPECT_EQ(total, 2);
    EXPECT_EQ(points[0].x, points[1].x);
    EXPECT_EQ(pitches[0], pitches[1]);
}

// The first mend: about 50 rays each find one module forward and two opposite; the opposite
// list holds 64 entries, and a ray whose points do not fit adds none.
TEST_F(MaxiOrientTest, OppositeRaysNeverPassTheirCapacity) {
    GreyImage img(300, 300);
    PaintBandedBullseye(img, 150.5, 150.5, 8, 0.8, 1.8);
    const GEO_POINT centre{150 * 16, 150 * 16};
    const i32 pitch = 16 * 8, e = (12 * pitch + 8) / 16;
    const vexo::REGION_QUAD upper{{{150 - e, 150 - e}, {150, 150 - e}, {150 - e, 150}, {150, 150}}};
    std::vector<GEO_POINT> forward(vexo::kMaxiFanEntries);
    std::vector<i32> fPitches(vexo::kMaxiFanEntries), fCounts(vexo::kMaxiFanEntries);
    i32 rays = 0;
    const i32 nf = vexo::Maxi_CastRayFan(&centre, pitch, &upper, 0, forward.data(), fPitches.data(), fCounts.data(),
                                         &rays, vexo::kMaxiFanEntries);
    EXPECT_GE(rays, 45);
    EXPECT_LT(nf, vexo::kMaxiFanEntries);
    // What each ray's opposite ray finds on its own: two points on the wide half, so the
    // fan's opposite points would reach about 100.
    std::vector<i32> own(static_cast<size_t>(rays));
    i32 wanted = 0;
    for (i32 r = 0, at = 0; r < rays; at += fCounts[r], ++r) {
        GEO_POINT found[2];
        i32 p = 0;
        own[r] = vexo::Maxi_CastOppositeRay(&forward[at], &centre, found, &p);
        wanted += own[r];
    }
    EXPECT_GE(wanted, 90);
    // Exactly 64 entries on the heap: a write past them is an ASan report.
    std::vector<GEO_POINT> opposite(vexo::kMaxiFanEntries);
    std::vector<i32> oPitches(vexo::kMaxiFanEntries), oCounts(vexo::kMaxiFanEntries);
    const i32 no = vexo::Maxi_CastOppositeRays(&centre, forward.data(), fCounts.data(), rays, opposite.data(),
                                               oPitches.data(), oCounts.data(), vexo::kMaxiFanEntries);
    i32 sum = 0;
    for (i32 r = 0; r < rays; ++r) {
        const i32 fits = sum + own[r] <= vexo::kMaxiFanEntries ? own[r] : 0;
        EXPECT_EQ(oCounts[r], fits) << r;
        sum += fits;
    }
    EXPECT_EQ(no, sum);
    EXPECT_GE(no, vexo::kMaxiFanEntries - 1);
    // The rays left without opposite points lose their forward ones.
    vexo::Maxi_DropUnpairedRays(fCounts.data(), oCounts.data(), forward.data(), opposite.data(), rays);
    for (i32 r = 0, at = 0; r < rays; at += fCounts[r], ++r) {
        if (oCounts[r] == 0) {
            EXPECT_EQ(forward[at].x, -1) << r;
        }
    }
    // The whole search on the same scene stays inside its scratch.
    EXPECT_EQ(vexo::Maxi_FindOrientation(pitch, &centre, 0), 0);
}

TEST_F(MaxiOrientTest, BullseyeNearTheLeftBorderFindsNothingBeyondIt) {
    // Exact-size heap image: a read outside it is an ASan report.
    GreyImage img(200, 200);
    PaintBandedBullseye(img, 50.5, 100.5, 6, 0.8, 0.8);
    const GEO_POINT centre{50 * 16, 100 * 16};
    const i32 pitch = 16 * 6, e = (12 * pitch + 8) / 16;
    ASSERT_LT(50 - e, 0);
    const vexo::REGION_QUAD upper{{{50 - e, 100 - e}, {50, 100 - e}, {50 - e, 100}, {50, 100}}};
    GEO_POINT points[64];
    i32 pitches[64], counts[64], rays = 0;
    const i32 n = vexo::Maxi_CastRayFan(&centre, pitch, &upper, 0, points, pitches, counts, &rays, 64);
    EXPECT_GT(n, 0);
    for (i32 k = 0; k < n; ++k) EXPECT_GE(points[k].x, 0) << k;
    EXPECT_EQ(vexo::Maxi_FindOrientation(pitch, &centre, 0), 0);
    // The same for a centre on the border itself and beyond the image.
    const GEO_POINT edge{0, 100 * 16}, outside{-400, -400};
    EXPECT_EQ(vexo::Maxi_FindOrientation(pitch, &edge, 0), 0);
    EXPECT_EQ(vexo::Maxi_FindOrientation(pitch, &outside, 0), 0);
}

// A fan of hand-made rays on a light image (the dark centroid keeps every point).
struct HandFan {
    GEO_POINT forward[64] = {};
    GEO_POINT opposite[64] = {};
    i32 fCounts[64] = {}, oCounts[64] = {}, fPitches[64] = {}, oPitches[64] = {};
    MAXI_RAY_FAN fan{forward, opposite, fCounts, oCounts, fPitches, oPitches, 0, 0, 0};
};

TEST_F(MaxiOrientTest, PairingTakesOuterValidPointsAndMergesNeighbours) {
    GreyImage img(200, 200, 220);
    HandFan h;
    // Ray 0: two forward points, one opposite; ray 1: its neighbour on the same modules;
    // ray 2: far away, with an invalid forward point first.
    const GEO_POINT f0a{800, 800}, f0b{640, 640}, o0{2400, 2400};
    h.forward[0] = f0a, h.forward[1] = f0b, h.opposite[0] = o0;
    h.fCounts[0] = 2, h.oCounts[0] = 1, h.fPitches[0] = 90, h.oPitches[0] = 95;
    h.forward[2] = GEO_POINT{660, 670}, h.opposite[1] = GEO_POINT{2380, 2431};
    h.fCounts[1] = 1, h.oCounts[1] = 1, h.fPitches[1] = 91, h.oPitches[1] = 96;
    h.forward[3] = GEO_POINT{1600, 300}, h.forward[4] = GEO_POINT{-1, -1}, h.opposite[2] = GEO_POINT{1600, 2900};
    h.fCounts[2] = 2, h.oCounts[2] = 1, h.fPitches[2] = 92, h.oPitches[2] = 97;
    h.fan.rayCount = 3;
    ASSERT_EQ(vexo::Maxi_PairModulePoints(&h.fan, 0), 1);
    ASSERT_EQ(h.fan.forwardTotal, 2);
    EXPECT_EQ(h.fan.oppositeTotal, 2);
    // Rays 0 and 1 became one pair at the midpoints of ray 0's outer points and ray 1's.
    EXPECT_EQ(h.forward[0].x, (640 + 660) / 2);
    EXPECT_EQ(h.forward[0].y, (640 + 670) / 2);
    EXPECT_EQ(h.opposite[0].x, (2400 + 2380) / 2);
    EXPECT_EQ(h.opposite[0].y, (2400 + 2431) / 2);
    EXPECT_EQ(h.fPitches[0], 90);
    EXPECT_EQ(h.oPitches[0], 95);
    // Ray 2 keeps its last valid point.
    EXPECT_EQ(h.forward[1].x, 1600);
    EXPECT_EQ(h.forward[1].y, 300);
    EXPECT_EQ(h.fPitches[1], 92);
}

TEST_F(MaxiOrientTest, LightAndOutsidePointsAreDropped) {
    GreyImage img(100, 100, 220);
    img.At(50, 50) = 10;
    img.At(60, 60) = 125;  // the threshold itself is not dark
    GEO_POINT p[4] = {{50 * 16, 50 * 16}, {60 * 16, 60 * 16}, {-1, 0}, {99 * 16 + 1, 0}};
    vexo::Maxi_DropLightPoints(p, 4);
    EXPECT_EQ(p[0].x, 800);
    for (int k = 1; k < 4; ++k) EXPECT_EQ(p[k].x, -1) << k;
}

// An image whose grey depends on the side of a line through the centre: pixels turned to
// negative angles from the point read `before`, positive ones `after`.
void PaintHalves(GreyImage &img, double cx, double cy, double before, double after) {
    img.Paint([&](int x, int y) { return y + 0.5 < cy && x + 0.5 > cx ? before : after; });
}

TEST_F(MaxiOrientTest, SweepWeighsTheLighterSideAndFallsBackToThePlainMean) {
    GreyImage img(300, 300);
    // Point straight right of the centre: decreasing indices turn it up (negative angles).
    PaintHalves(img, 150, 150, 100, 200);
    const GEO_POINT centre{150 * 16, 150 * 16}, point{250 * 16, 150 * 16 + 8};
    GEO_POINT pts[32];
    i32 greys[32], count = 0;
    i32 r1[2] = {9, 0}, r2[2] = {10, 20};
    // Mode 0, dark 0: every point is taken, 5 a side.
    i32 mean = vexo::Maxi_SweepAroundCentre(&centre, &point, 0, 125, r1, r2, pts, &count, greys, 32, 0);
    EXPECT_EQ(count, 10);
    EXPECT_EQ(mean, static_cast<i32>(0.35 * 100 + 0.65 * 200));
    EXPECT_EQ(r1[1], 1);   // the last index taken on each side
    EXPECT_EQ(r2[1], 18);
    // Mode 0, dark 1 with a level of 150: the greys of 100 are taken, the first 200 ends
    // pass 2 at once; with one side empty the result is the plain mean with the point's own.
    i32 s1[2] = {9, 0}, s2[2] = {10, 20};
    mean = vexo::Maxi_SweepAroundCentre(&centre, &point, 0, 150, s1, s2, pts, &count, greys, 32, 1);
    EXPECT_EQ(count, 5);
    EXPECT_EQ(mean, (200 + 5 * 100 + 3) / 6);
}

TEST_F(MaxiOrientTest, SweepRangesIncludeTheFirstEndAndStopBeforeTheSecond) {
    GreyImage img(300, 300, 220);
    const GEO_POINT centre{150 * 16, 150 * 16}, point{250 * 16, 150 * 16};
    GEO_POINT pts[32];
    i32 greys[32], count = 0;
    i32 r1[2] = {9, 5}, r2[2] = {10, 14};
    // Mode 2 with dark 1 takes every point: 9, 7, 5 and 10, 12.
    vexo::Maxi_SweepAroundCentre(&centre, &point, 2, 125, r1, r2, pts, &count, greys, 32, 1);
    ASSERT_EQ(count, 5);
    GEO_POINT want{};
    vexo::Maxi_RotateAboutCentre(&point, &centre, &want, 5);
    EXPECT_EQ(pts[2].x, want.x);
    EXPECT_EQ(pts[2].y, want.y);
    EXPECT_EQ(r2[1], 12);
    // After a sweep that took 10 and 12, a mode 1 sweep visits only 10 on that side (and
    // 9..5 on the other).
    vexo::Maxi_SweepAroundCentre(&centre, &point, 1, 125, r1, r2, pts, &count, greys, 32, 0);
    ASSERT_EQ(count, 4);
    vexo::Maxi_RotateAboutCentre(&point, &centre, &want, 10);
    EXPECT_EQ(pts[3].x, want.x);
    EXPECT_EQ(pts[3].y, want.y);
    // An empty range is not walked.
    i32 e1[2] = {3, 5}, e2[2] = {12, 12};
    const i32 mean = vexo::Maxi_SweepAroundCentre(&centre, &point, 1, 125, e1, e2, pts, &count, greys, 32, 0);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(mean, 220);
}

TEST_F(MaxiOrientTest, RecheckGivesBothSidesSideAsGreys) {
    GreyImage img(300, 300, 220);
    // A's inner module dark, B's points mid grey.
    img.Paint([](int x, int) { return x < 100 ? 40.0 : (x > 200 ? 90.0 : 220.0); });
    const GEO_POINT centre{150 * 16, 150 * 16};
    MAXI_SIDE a{}, b{};
    a.modules[0] = GEO_POINT{90 * 16, 150 * 16};
    a.modules[1] = GEO_POINT{120 * 16, 150 * 16};  // light: its arc moves it
    b.modules[0] = GEO_POINT{210 * 16, 150 * 16};
    b.modules[1] = GEO_POINT{250 * 16, 150 * 16};
    b.innerGrey = b.outerGrey = 90;
    ASSERT_EQ(vexo::Maxi_RecheckOuterPoints(&centre, &a, &b), 1);
    EXPECT_EQ(a.innerGrey, 40);
    EXPECT_EQ(b.innerGrey, 40);
    EXPECT_EQ(a.outerGrey, 220);
    EXPECT_EQ(b.outerGrey, 220);
    EXPECT_EQ(b.modules[1].x, 250 * 16);  // nothing light round B's outer point
    // Neither outer point on light ground: nothing moves and the greys stay.
    a.modules[1] = GEO_POINT{50 * 16, 150 * 16};
    a.innerGrey = 7;
    EXPECT_EQ(vexo::Maxi_RecheckOuterPoints(&centre, &a, &b), 0);
    EXPECT_EQ(a.innerGrey, 7);
}

// The outer module dark in a light neighbourhood: the first pass keeps its own grey, the
// second takes the sweep's mean, which passes over the dark point.
TEST_F(MaxiOrientTest, SecondPassTakesTheOuterGreyFromTheSweep) {
    GreyImage img(300, 300);
    PaintBandedBullseye(img, 150.5, 150.5, 8, 0.8, 0.8);
    const GEO_POINT centre{150, 150}, point{90, 150};
    MAXI_SIDE side{};
    side.centre = GEO_POINT{150 * 16, 150 * 16};
    ASSERT_EQ(vexo::Maxi_AnalyseSide(&centre, &point, 128, &side), 1);
    const GEO_POINT outer = side.modules[1];
    img.Paint([&](int x, int y) {
        const double d = std::hypot(x + 0.5 - (outer.x / 16.0 + 0.5), y + 0.5 - (outer.y / 16.0 + 0.5));
        return d < 2.5 ? kDark : img.At(x, y);
    });
    for (const i32 second : {0, 1}) {
        side = MAXI_SIDE{};
        side.centre = GEO_POINT{150 * 16, 150 * 16};
        side.secondPass = second;
        ASSERT_EQ(vexo::Maxi_AnalyseSide(&centre, &point, 128, &side), 1) << second;
        const i32 pixel = vexo::Maxi_PixelAt16(&side.modules[1]);
        EXPECT_LT(pixel, 125) << second;
        EXPECT_EQ(side.outerGrey, second != 0 ? side.mean2 : pixel) << second;
    }
    EXPECT_GT(side.mean2, 125);
}

TEST_F(MaxiOrientTest, ClassificationLevels) {
    GreyImage img(100, 100, 220);
    vexo::g_maxiGrid.threshold = 125;
    const i32 level = static_cast<i32>(0.9 * 125);  // 112
    struct Case {
        i32 innerA, innerB, outerA, outerB;
        i32 result, cls;
        const char *what;
    };
    const Case cases[] = {
        {40, 40, level - 1, level + 1, 0, 0, "outer greys on either side of 0.9 T"},
        {40, 40, level + 1, level - 1, 0, 0, "the other way round"},
        {40, 40, level, level + 50, 1, 0, "an outer grey at 0.9 T exactly"},
        {40, 40, level - 50, level, 1, 0, "the other outer grey at 0.9 T"},
        {level + 1, 40, 200, 200, 0, 0, "a light inner module"},
    };
    for (const Case &c : cases) {
        MAXI_SIDE a{}, b{};
        a.innerGrey = c.innerA, b.innerGrey = c.innerB, a.outerGrey = c.outerA, b.outerGrey = c.outerB;
        vexo::MAXI_PAIR pair{{800, 800}, &a, &b, 90, 90, {}, {}, 7};
        EXPECT_EQ(vexo::Maxi_ClassifyPair(&pair), c.result) << c.what;
        EXPECT_EQ(pair.cls, c.cls) << c.what;
    }
}

MAXI_AXIS Axis(GEO_POINT base, i32 dx, i32 dy, i32 pitch) {
    MAXI_AXIS m{};
    for (int k = 0; k < 3; ++k) {
        m.a[k] = GEO_POINT{base.x + 100 * k + dx, base.y + dy};
        m.b[k] = GEO_POINT{base.x - 100 * k + dx, base.y + 400 + dy};
    }
    m.pitchA = pitch;
    m.pitchB = pitch + 1;
    return m;
}

TEST_F(MaxiOrientTest, DuplicateAxesMerge) {
    const GEO_POINT base{3000, 3000};
    // Neighbouring rays: one axis at the midpoints, with the first one's pitches.
    MAXI_AXIS two[2] = {Axis(base, 0, 0, 90), Axis(base, 30, -47, 95)};
    ASSERT_EQ(vexo::Maxi_MergeDuplicateAxes(two, 2), 1);
    EXPECT_EQ(two[0].a[1].x, base.x + 100 + 15);
    EXPECT_EQ(two[0].b[2].y, (2 * (base.y + 400) - 47) / 2);
    EXPECT_EQ(two[0].pitchA, 90);
    // 48 apart in one coordinate: no merge.
    MAXI_AXIS apart[2] = {Axis(base, 0, 0, 90), Axis(base, 48, 0, 95)};
    EXPECT_EQ(vexo::Maxi_MergeDuplicateAxes(apart, 2), 2);
    // The mend: B and C merge into place 1, which is then the last of the list and close to
    // A. Its points move into place 0 and it is followed there, never merged with its own
    // copy: one axis stays, with A's pitches.
    MAXI_AXIS three[3] = {Axis(base, 0, 0, 80), Axis(base, 48, 1, 90), Axis(base, 47, 48, 100)};
    ASSERT_EQ(vexo::Maxi_MergeDuplicateAxes(three, 3), 1);
    EXPECT_EQ(three[0].a[0].x, base.x + 23);  // ((47 + 48) / 2 + 0) / 2
    EXPECT_EQ(three[0].a[0].y, base.y + 12);  // ((48 + 1) / 2 + 0) / 2
    EXPECT_EQ(three[0].pitchA, 80);
}

TEST_F(MaxiOrientTest, AngleBetweenAxisLines) {
    const i32 east[2] = {0, 1000};
    const i32 turned[2] = {static_cast<i32>(-std::lround(1000 * std::sin(1.047))),
                           static_cast<i32>(std::lround(1000 * std::cos(1.047)))};
    const i32 back[2] = {-turned[0], turned[1]};
    EXPECT_NEAR(vexo::Maxi_AngleMilliRad(east, turned), 1047, 3);
    EXPECT_NEAR(vexo::Maxi_AngleMilliRad(east, back), -1047, 3);
    const i32 across[2] = {1000, 0};
    EXPECT_EQ(vexo::Maxi_AngleMilliRad(east, across), 0);  // a zero dot product
}

TEST_F(MaxiOrientTest, ThirdAxisFallsBackToMeanAndSouthWestPitches) {
    // Light everywhere but a dark disc where the SW bisector's first try lands: no ray
    // confirms the rings.
    GreyImage img(200, 200, 220);
    const GEO_POINT centre{100 * 16, 100 * 16};
    MAXI_AXIS i{}, j{};
    i.a[0] = GEO_POINT{centre.x - 48 * 16, centre.y};
    i.b[0] = GEO_POINT{centre.x + 48 * 16, centre.y};
    j.a[0] = GEO_POINT{centre.x, centre.y - 48 * 16};
    j.b[0] = GEO_POINT{centre.x, centre.y + 48 * 16};
    i.pitchA = 100, j.pitchA = 120;
    const i32 d = (100 + 120) / 2;
    const double reach = static_cast<i32>(d * 8.8f + 0.5) / 16.0;
    img.Paint([&](int x, int y) { return std::hypot(x + 0.5 - (100 - reach), y + 0.5 - (100 + reach)) < 4 ? 20.0 : 220.0; });
    MAXI_AXIS third{};
    vexo::Maxi_CompleteAxes(&i, &j, &centre, &third);
    EXPECT_EQ(third.pitchA, d);
    EXPECT_EQ(third.pitchB, d);
}

TEST_F(MaxiOrientTest, StoredOrderFollowsTheModuleTable) {
    MAXI_AXIS i{}, j{}, t{};
    // Point v of each triple: (group x 10 + v, group), groups i.a 0, i.b 1, j.a 2, j.b 3,
    // third.a 4, third.b 5.
    MAXI_AXIS *axes[3] = {&i, &j, &t};
    for (int g = 0; g < 3; ++g) {
        for (int v = 0; v < 3; ++v) {
            axes[g]->a[v] = GEO_POINT{20 * g + v, 2 * g};
            axes[g]->b[v] = GEO_POINT{20 * g + 10 + v, 2 * g + 1};
        }
        axes[g]->pitchA = 100 + 2 * g;
        axes[g]->pitchB = 101 + 2 * g;
    }
    const GEO_POINT centre{0, 0};
    vexo::Maxi_StoreOrientation(&centre, &i, &j, &t);
    // pt0..pt17 as (group, point): i.b 0 1 2, j.b 0 2 1, t.a 2 0 1, i.a 2 1 0, j.a 1 2 0, t.b 1 0 2.
    const int group[6] = {1, 3, 4, 0, 2, 5};
    const int point[18] = {0, 1, 2, 0, 2, 1, 2, 0, 1, 2, 1, 0, 1, 2, 0, 1, 0, 2};
    const int pitch[6] = {101, 103, 104, 100, 102, 105};
    for (int k = 0; k < 18; ++k) {
        const int g = group[k / 3];
        EXPECT_EQ(vexo::g_maxiGrid.points[k].y, g) << "pt" << k;
        EXPECT_EQ(vexo::g_maxiGrid.points[k].x, 10 * g + point[k]) << "pt" << k;
        EXPECT_EQ(vexo::g_maxiGrid.pitches[k], pitch[k / 3]) << "pt" << k;
    }
}

}  // namespace

// The edge-tracking L-corner finder on hand-made samples and drawn frames: edge searches on
// sample lines, edge tracks, corner checks and the finder's bookkeeping.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "locate/edge_tracking.h"
#include "locate_test.h"

namespace {

using locate_test::GreyFrame;
using vexo::CORNER_CANDIDATE;
using vexo::EDGE_TRACK;
using vexo::GEO_POINT;

class EdgeTrackingTest : public locate_test::LocateTest {};

std::vector<uint8_t> EtSamples(std::initializer_list<int> v) {
    std::vector<uint8_t> s;
    for (int x : v) s.push_back(static_cast<uint8_t>(x));
    return s;
}

// A frame of `light` with a dark block: columns [x0, x1) and rows [y0, y1).
GreyFrame EtBlockFrame(int w, int h, int x0, int y0, int x1, int y1, uint8_t dark = 30, uint8_t light = 220) {
    GreyFrame f(w, h, light);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) f.At(x, y) = dark;
    return f;
}

EDGE_TRACK EtTrack(int polarity, int x, int y) {
    EDGE_TRACK t{};
    vexo::Loc_InitEdgeTrack(&t, polarity, x, y);
    return t;
}

// --- Edge searches on sample lines ---

TEST_F(EdgeTrackingTest, ContrastRuleAndRowLists) {
    struct {
        std::vector<uint8_t> s;
        int falling, firstPos, width;
    } cases[] = {
        {EtSamples({93, 78}), 1, 0, 2},                  // step 15, minimum 15
        {EtSamples({94, 79}), 0, -1, 3},                 // step 15, minimum 16
        {EtSamples({200, 100}), 1, 0, 2},                // minimum 42
        {EtSamples({100, 90, 95, 80, 80, 80}), 1, 1, 4},  // bridged 0..3, net 20
        {EtSamples({100}), 0, -1, 3},
    };
    for (const auto &c : cases) {
        int pos[4] = {-1, -1, -1, -1}, width = -1;
        EXPECT_EQ(vexo::Loc_RowFallingEdges(c.s.data(), static_cast<int>(c.s.size()), pos, 4, &width), c.falling);
        EXPECT_EQ(pos[0], c.firstPos);
        EXPECT_EQ(width, c.width);
    }
    const std::vector<uint8_t> rise = EtSamples({78, 93});
    int pos = -1, width = 0;
    EXPECT_EQ(vexo::Loc_RowRisingEdges(rise.data(), 2, &pos, 4, &width), 1);
    EXPECT_EQ(pos, 0);
}

TEST_F(EdgeTrackingTest, RowListStopsAtCapacityWithCanary) {
    std::vector<uint8_t> row;
    for (int k = 0; k < 60; ++k) {
        row.push_back(200);
        row.push_back(200);
        row.push_back(50);
        row.push_back(50);
    }
    int pos[51];
    pos[50] = 12345;
    int width = 0;
    EXPECT_EQ(vexo::Loc_RowFallingEdges(row.data(), static_cast<int>(row.size()), pos, 50, &width), 50);
    EXPECT_EQ(pos[0], 1);
    EXPECT_EQ(pos[49], 49 * 4 + 1);
    EXPECT_EQ(pos[50], 12345);
    for (int cap : {0, 1}) {
        int out[2] = {777, 777};
        EXPECT_EQ(vexo::Loc_RowFallingEdges(row.data(), static_cast<int>(row.size()), out, cap, &width), cap);
        EXPECT_EQ(out[cap], 777);
        EXPECT_EQ(width, cap == 0 ? 3 : 2);
        EXPECT_EQ(vexo::Loc_FallingEdges16(row.data(), static_cast<int>(row.size()), out, cap, 10), cap);
        EXPECT_EQ(out[cap], 777);
        int dx[2] = {777, 777}, dy[2] = {777, 777};
        EXPECT_EQ(vexo::Loc_LineStepOffsets(0, 0, 5, 3, dx, dy, cap), cap);
        EXPECT_EQ(dx[cap], 777);
    }
}

TEST_F(EdgeTrackingTest, StrongestEdgeAndCounts) {
    const std::vector<uint8_t> twin = EtSamples({200, 100, 100, 200, 100});
    int pos = -1;
    EXPECT_EQ(vexo::Loc_StrongestFallingEdge(twin.data(), 5, &pos), 1);
    EXPECT_EQ(pos, 0);  // equal steps: the first
    pos = -1;
    EXPECT_EQ(vexo::Loc_StrongestFallingEdge(twin.data(), 1, &pos), 0);
    EXPECT_EQ(pos, -1);
    EXPECT_EQ(vexo::Loc_StrongestRisingEdge(twin.data(), 5, &pos), 1);
    EXPECT_EQ(pos, 2);
    const std::vector<uint8_t> strict = EtSamples({100, 90, 95, 80});
    EXPECT_EQ(vexo::Loc_CountFallingEdges(strict.data(), 4), 0);
    EXPECT_EQ(vexo::Loc_CountRisingEdges(strict.data(), 4), 0);
    EXPECT_EQ(vexo::Loc_CountFallingEdges(twin.data(), 5), 2);
    EXPECT_EQ(vexo::Loc_CountRisingEdges(twin.data(), 5), 1);
    EXPECT_EQ(vexo::Loc_CountRisingEdges(twin.data(), 1), 0);
}

TEST_F(EdgeTrackingTest, RoutinesWithNoCaller) {
    std::vector<uint8_t> s(20, 200);
    for (int k = 11; k < 20; ++k) s[k] = 150;
    int pos[2] = {0, 0};
    uint8_t steps[2] = {0, 0};
    EXPECT_EQ(vexo::Loc_FallingEdges16(s.data(), 20, pos, 2, 50), 1);
    EXPECT_EQ(pos[0], 168);
    EXPECT_EQ(vexo::Loc_FallingEdges16(s.data(), 20, pos, 2, 51), 0);
    EXPECT_EQ(vexo::Loc_FallingEdgeSteps16(s.data(), 20, pos, steps, 2, 50), 1);
    EXPECT_EQ(steps[0], 50);
    EXPECT_EQ(vexo::Loc_RisingEdges16(s.data(), 20, pos, 2, 1), 0);
    EXPECT_EQ(vexo::Loc_SumBytes(s.data(), 20), 11 * 200 + 9 * 150);
    EXPECT_EQ(vexo::Loc_SumBytes(s.data(), 0), 0);
    EXPECT_EQ(vexo::Loc_SumAbsSteps(s.data(), 20), 50);
    EXPECT_EQ(vexo::Loc_SumAbsSteps(s.data(), 1), 0);
    uint8_t hi = 1, lo = 1;
    vexo::Loc_BufferMinMax(s.data(), 20, &hi, &lo);
    EXPECT_EQ(hi, 200);
    EXPECT_EQ(lo, 150);
    vexo::Loc_BufferMinMax(s.data(), 0, &hi, &lo);
    EXPECT_EQ(hi, 0);
    EXPECT_EQ(lo, 255);
    const std::vector<uint8_t> swing = EtSamples({10, 50, 50, 90, 50, 10, 60});
    int sw = -1, st = -1, en = -1;
    vexo::Loc_LargestMonotoneSwing(swing.data(), 7, &sw, &st, &en);
    EXPECT_EQ(sw, 80);  // 90 -> 10 (indices 3..5) beats 40 and 50
    EXPECT_EQ(st, 3);
    EXPECT_EQ(en, 5);
    const std::vector<uint8_t> tie = EtSamples({10, 50, 10});
    vexo::Loc_LargestMonotoneSwing(tie.data(), 3, &sw, &st, &en);
    EXPECT_EQ(sw, 40);
    EXPECT_EQ(st, 0);
    vexo::Loc_LargestMonotoneSwing(tie.data(), 1, &sw, &st, &en);
    EXPECT_EQ(sw + st + en, 0);
    // The digital line of the sampler, point for point: (0,0) -> (5,3).
    int dx[6], dy[6];
    ASSERT_EQ(vexo::Loc_LineStepOffsets(0, 0, 5, 3, dx, dy, 6), 6);
    const int ex[6] = {0, 1, 2, 3, 4, 5}, ey[6] = {0, 1, 2, 2, 3, 4};  // the sampler's error terms
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(dx[k], ex[k]) << k;
        EXPECT_EQ(dy[k], ey[k]) << k;
    }
    uint8_t out[8];
    EXPECT_EQ(vexo::Loc_SampleLineChecked(nullptr, 0, 0, 3, 0, out), 0);
    EXPECT_EQ(vexo::Loc_LineIntensitySum(nullptr, 0, 0, 3, 0), 0);
}

TEST_F(EdgeTrackingTest, LineStatisticsLeavingTheFrame) {
    GreyFrame f(16, 16, 100);
    Install(f);
    // From (10, 5) to the right, out to x = 20: the last inside value counts once.
    EXPECT_EQ(vexo::Loc_LineVariation(f.pixels.data(), 10, 5, 20, 5), 100);
    EXPECT_EQ(vexo::Loc_LineIntensitySum(f.pixels.data(), 10, 5, 20, 5), 6 * 100);
    uint8_t out[11];
    EXPECT_EQ(vexo::Loc_SampleLineChecked(f.pixels.data(), 10, 5, 20, 5, out), 11);
    EXPECT_EQ(out[5], 100);
    EXPECT_EQ(out[6], 0);
}

// --- Edge tracks ---

TEST_F(EdgeTrackingTest, HeadTrackingOnDrawnEdges) {
    // A dark block left of column 40 from row 51 down: the edge vanishes two rows above 52.
    GreyFrame stub = EtBlockFrame(100, 160, 0, 51, 40, 160);
    Install(stub);
    EDGE_TRACK t = EtTrack(1, 39, 52);
    vexo::Loc_TrackUpFromFirstRow(stub.pixels.data(), &t, 3);
    EXPECT_EQ(t.headDone, 1);
    EXPECT_EQ(t.headY, 51);
    // An edge up to the top: the head ends in the top four rows.
    GreyFrame tall = EtBlockFrame(100, 160, 0, 0, 40, 160);
    Install(tall);
    t = EtTrack(1, 39, 52);
    vexo::Loc_TrackUpFromFirstRow(tall.pixels.data(), &t, 3);
    EXPECT_EQ(t.headDone, 1);
    EXPECT_LE(t.headY, 3);
    EXPECT_EQ(t.headX, 39);
    // Shifts above the single-row phase: one pixel accepted, two end the track upwards.
    for (int shift : {1, 2}) {
        GreyFrame f = EtBlockFrame(100, 160, 0, 0, 40, 160);
        for (int y = 0; y < 44; ++y)
            for (int x = 40; x < 40 + shift; ++x) f.At(x, y) = 30;
        Install(f);
        t = EtTrack(1, 39, 52);
        vexo::Loc_TrackUpFromFirstRow(f.pixels.data(), &t, 3);
        EXPECT_EQ(t.headDone, 1);
        if (shift == 1)
            EXPECT_LE(t.headY, 3);
        else
            EXPECT_EQ(t.headY, 44) << "two pixels end the track";
    }
    // Refused starts clear active.
    Install(tall);
    t = EtTrack(1, 39, 3);
    vexo::Loc_TrackUpFromFirstRow(tall.pixels.data(), &t, 3);
    EXPECT_EQ(t.active, 0);
    t = EtTrack(1, 39, 7);
    vexo::Loc_TrackUpToPreviousRow(tall.pixels.data(), &t, 3);
    EXPECT_EQ(t.active, 0);
}

TEST_F(EdgeTrackingTest, TailTrackingPausesAndCompletes) {
    GreyFrame f = EtBlockFrame(120, 260, 0, 0, 40, 260);
    Install(f);
    EDGE_TRACK t = EtTrack(1, 39, 52);
    vexo::Loc_TrackUpFromFirstRow(f.pixels.data(), &t, 3);
    vexo::Loc_TrackDownOneInterval(f.pixels.data(), &t, 3);
    EXPECT_EQ(t.tailY, 104);
    EXPECT_EQ(t.tailX, 39);
    EXPECT_EQ(t.complete, 0);
    EXPECT_EQ(t.tailBegun, 1);
    EXPECT_EQ(t.drift, 0);
    // The next call uses the stored drift: a planted drift moves the prediction.
    vexo::Loc_TrackDownOneInterval(f.pixels.data(), &t, 3);
    EXPECT_EQ(t.tailY, 156);
    vexo::Loc_TrackDownToBottom(f.pixels.data(), &t, 3);
    EXPECT_EQ(t.complete, 1);
    EXPECT_GE(t.tailY, 260 - 4);
    EXPECT_EQ(t.length, t.tailY - t.headY);
    // Chord test: a complete straight track along a clean edge is kept.
    EXPECT_EQ(vexo::Loc_TrackIsStraight(f.pixels.data(), &t), 1);
    t.drift = 7;
    EXPECT_EQ(vexo::Loc_TrackIsStraight(f.pixels.data(), &t), 0);
    EXPECT_EQ(t.active, 1);
    // A tail within the bottom four rows is refused.
    EDGE_TRACK low = EtTrack(1, 39, 256);
    low.headDone = 1;
    vexo::Loc_TrackDownToBottom(f.pixels.data(), &low, 3);
    EXPECT_EQ(low.active, 0);
}

TEST_F(EdgeTrackingTest, TailToleranceAndTheRightBorder) {
    // A rising edge (dark left of it) on column `x` moves right by `shift` from row 70 on. A
    // tail at row 52 with drift 0 steps down four rows at a time: one interval accepts
    // deviations of two pixels (T = 2), tracking to the bottom one (T = 1). By the right
    // border (x > width - 2 - h) the window shrinks to end at column width - 3, so an edge two
    // pixels over is out of sight even for T = 2.
    struct {
        int x, shift;
        bool toBottom;
        int tailX;  // -1: the track completes at row 68
    } const cases[] = {
        {39, 2, false, 41}, {39, 3, false, -1}, {39, 1, true, 40},
        {39, 2, true, -1},  {55, 1, false, 56}, {55, 2, false, -1},
    };
    for (const auto &k : cases) {
        GreyFrame f(60, 200, 220);
        for (int y = 0; y < 200; ++y)
            for (int c = 0; c <= k.x + (y >= 70 ? k.shift : 0); ++c) f.At(c, y) = 30;
        Install(f);
        EDGE_TRACK t = EtTrack(1, k.x, 10);
        t.tailY = 52;
        t.headDone = t.tailBegun = 1;
        if (k.toBottom)
            vexo::Loc_TrackDownToBottom(f.pixels.data(), &t, 5);
        else
            vexo::Loc_TrackDownOneInterval(f.pixels.data(), &t, 5);
        if (k.tailX < 0) {
            EXPECT_EQ(t.complete, 1) << k.x << " " << k.shift;
            EXPECT_EQ(t.tailY, 68) << k.x << " " << k.shift;
            EXPECT_EQ(t.tailX, k.x) << k.x << " " << k.shift;
        } else {
            EXPECT_EQ(t.tailX, k.tailX) << k.x << " " << k.shift;
            EXPECT_EQ(t.tailY, k.toBottom ? 196 : 104) << k.x << " " << k.shift;
        }
    }
    // The extension's tail window ends at column width - 3 as well: an edge on column 56 is
    // followed to row height - 2, one on column 57 is out of sight.
    for (const int x : {56, 57}) {
        GreyFrame f(60, 200, 220);
        for (int y = 0; y < 200; ++y)
            for (int c = 0; c <= x; ++c) f.At(c, y) = 30;
        Install(f);
        EDGE_TRACK t = EtTrack(1, x, 20);
        t.tailY = 100;
        t.headDone = t.tailBegun = t.complete = 1;
        t.length = 80;
        vexo::Loc_ExtendTrackEnds(f.pixels.data(), &t, 5);
        EXPECT_EQ(t.tailY, x == 56 ? 198 : 100) << x;
    }
}

TEST_F(EdgeTrackingTest, ExtensionStopsWhereTheEdgeTurns) {
    // An L: the vertical arm's left edge (light to dark, falling) on rows 60..229, turning
    // into the foot (rows 200..229) that runs on to the left.
    GreyFrame f = EtBlockFrame(200, 260, 100, 60, 140, 230);
    for (int y = 200; y < 230; ++y)
        for (int x = 20; x < 100; ++x) f.At(x, y) = 30;
    Install(f);
    EDGE_TRACK t = EtTrack(0, 99, 80);
    t.tailY = 180;
    t.headDone = t.tailBegun = t.complete = 1;
    t.length = 100;
    vexo::Loc_ExtendTrackEnds(f.pixels.data(), &t, 3);
    EXPECT_EQ(t.tailY, 199);
    EXPECT_EQ(t.tailX, 99);
    EXPECT_EQ(t.headY, 60);
    EXPECT_EQ(t.headX, 99);
    EXPECT_EQ(t.length, 100);  // the extension leaves the length alone
    t.drift = 7;
    t.tailY = 180;
    vexo::Loc_ExtendTrackEnds(f.pixels.data(), &t, 3);
    EXPECT_EQ(t.tailY, 180);
}

TEST_F(EdgeTrackingTest, ChordTestCountsCrossings) {
    // A vertical chord of length 100 over 2-row dark stripes across the frame (one falling and
    // one rising edge each); 29 crossings: 14 stripes and a dark end, 30: 15 stripes.
    for (const int crossings : {29, 30}) {
        GreyFrame f(40, 120, 220);
        for (int k = 0; k < crossings / 2; ++k)
            for (int x = 0; x < 40; ++x) f.At(x, 1 + 4 * k) = f.At(x, 2 + 4 * k) = 30;
        if (crossings % 2 != 0)
            for (int y = 90; y < 120; ++y)
                for (int x = 0; x < 40; ++x) f.At(x, y) = 30;
        Install(f);
        uint8_t buf[101];
        const int n = vexo::Loc_SampleLineChecked(f.pixels.data(), 10, 0, 10, 100, buf);
        ASSERT_EQ(vexo::Loc_CountRisingEdges(buf, n) + vexo::Loc_CountFallingEdges(buf, n), crossings);
        EDGE_TRACK t = EtTrack(1, 10, 0);
        t.tailY = 100;
        t.length = 100;
        const int keep = crossings == 29 ? 1 : 0;
        EXPECT_EQ(vexo::Loc_TrackIsStraight(f.pixels.data(), &t), keep);
        EXPECT_EQ(t.active, keep);
    }
}

// A straight edge through (x0, 0) at `deg` degrees from vertical, dark on its right, drawn
// with part-covered pixels as a lens and sensor would.
GreyFrame EtSlantedEdgeFrame(int w, int h, double x0, double deg) {
    GreyFrame f(w, h, 220);
    const double c = std::cos(deg * 3.14159265358979 / 180), sn = std::sin(deg * 3.14159265358979 / 180);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            // Signed distance of the pixel centre from the edge, positive on the dark side.
            const double d = (x + 0.5 - x0) * c - (y + 0.5) * sn;
            const double dark = std::min(1.0, std::max(0.0, d + 0.5));
            f.At(x, y) = static_cast<uint8_t>(std::lround(220 - 190 * dark));
        }
    return f;
}

TEST_F(EdgeTrackingTest, ChordTestPassesSlantedEdgesAndRefusesTexture) {
    // The whole-pixel chord of a slanted edge weaves across its part-covered pixels: counted on
    // the chord itself it is far over the budget; counted beside the edge it passes. The same
    // chord through stripes or a checkerboard across the frame stays refused.
    enum EtChordGround { kEtClean, kEtStripes, kEtChecker };
    struct {
        double deg;
        EtChordGround ground;
        int headX;  // on the edge at row 20 unless near a border
        int keep;
    } const cases[] = {
        {15, kEtClean, -1, 1},   {30, kEtClean, -1, 1},   {40, kEtClean, -1, 1},  {-20, kEtClean, -1, 1},
        {15, kEtStripes, -1, 0}, {15, kEtChecker, -1, 0}, {40, kEtChecker, -1, 0},
        // By the left border the left side leaves the frame: the right side still counts.
        {0, kEtStripes, 1, 0},
    };
    for (const auto &k : cases) {
        const double x0 = k.headX >= 0 ? k.headX + 0.5 : 100;
        GreyFrame f = EtSlantedEdgeFrame(240, 240, x0, k.deg);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 240; ++x) {
                // The texture inverts the level, so it shows on both sides of the edge.
                const bool flip = (k.ground == kEtStripes && (y / 2) % 2 == 0) ||
                                  (k.ground == kEtChecker && (x / 2 + y / 2) % 2 == 0);
                if (flip) f.At(x, y) = static_cast<uint8_t>(250 - f.At(x, y));
            }
        Install(f);
        const double t = std::tan(k.deg * 3.14159265358979 / 180);
        EDGE_TRACK tr = EtTrack(0, static_cast<int>(x0 + 20.5 * t), 20);
        tr.tailX = static_cast<int>(x0 + 180.5 * t);
        tr.tailY = 180;
        tr.headDone = tr.tailBegun = tr.complete = 1;
        tr.length = static_cast<int>(std::hypot(tr.tailX - tr.headX, 160));
        if (k.ground == kEtClean && std::fabs(k.deg) <= 30) {
            // The literal count on the chord's own pixels would refuse the edge (steeper ones
            // weave less: one column step per row or two).
            std::vector<uint8_t> buf(256);
            const int n = vexo::Loc_SampleLineChecked(f.pixels.data(), tr.headX, tr.headY, tr.tailX, tr.tailY,
                                                      buf.data());
            const int own = vexo::Loc_CountRisingEdges(buf.data(), n) + vexo::Loc_CountFallingEdges(buf.data(), n);
            EXPECT_GT(own * 100 / tr.length, 29) << k.deg;
        }
        EXPECT_EQ(vexo::Loc_TrackIsStraight(f.pixels.data(), &tr), k.keep) << k.deg << " " << k.ground;
        EXPECT_EQ(tr.active, k.keep) << k.deg << " " << k.ground;
    }
}

// --- Corner checks ---

TEST_F(EdgeTrackingTest, CornerGeometry) {
    GreyFrame f(1280, 960, 128);
    Install(f);
    EDGE_TRACK a{}, b{};
    a.active = b.active = 1;
    a.headX = 100, a.headY = 100, a.tailX = 200, a.tailY = 100, a.length = 100;
    b.headX = 100, b.headY = 100, b.tailX = 100, b.tailY = 122, b.length = 22;
    CORNER_CANDIDATE c{};
    EXPECT_EQ(vexo::Loc_BuildCornerCandidate(&a, &b, &c), 1);
    EXPECT_EQ(c.corner.x, 100);
    EXPECT_EQ(c.corner.y, 100);
    EXPECT_EQ(c.fourth.x, 200);
    EXPECT_EQ(c.fourth.y, 122);
    b.tailY = 121, b.length = 21;
    EXPECT_EQ(vexo::Loc_BuildCornerCandidate(&a, &b, &c), 0);
    const GEO_POINT k{0, 0}, pa{10, 0}, pb{0, 10}, pb2{5, 9};
    EXPECT_EQ(vexo::Loc_NearRightAngle(&k, &pa, &pb), 1);
    EXPECT_EQ(vexo::Loc_NearRightAngle(&k, &pa, &pb2), 0);
    // Parallel lines and a crossing outside the frame; large coordinates need 64 bits.
    GEO_POINT out{-1, -1};
    const GEO_POINT p1{0, 0}, p2{10, 0}, q1{0, 5}, q2{10, 5};
    EXPECT_EQ(vexo::Loc_IntersectLines(&p1, &p2, &q1, &q2, &out), 0);
    const GEO_POINT r1{1200, 10}, r2{1279, 950}, s1{10, 900}, s2{1270, 940};
    ASSERT_EQ(vexo::Loc_IntersectLines(&r1, &r2, &s1, &s2, &out), 1);
    EXPECT_EQ(out.x, 1278);
    EXPECT_EQ(out.y, 940);
    // Numerators of 1.6 x 10^10: wrong in 32 bits.
    const GEO_POINT w1{0, 0}, w2{3000, 3000}, v1{0, 1800}, v2{3000, -1200};
    ASSERT_EQ(vexo::Loc_IntersectLines(&w1, &w2, &v1, &v2, &out), 1);
    EXPECT_EQ(out.x, 900);
    EXPECT_EQ(out.y, 900);
    const GEO_POINT t1{0, 0}, t2{10, 10}, u1{2000, 0}, u2{2010, -10};
    EXPECT_EQ(vexo::Loc_IntersectLines(&t1, &t2, &u1, &u2, &out), 0);
}

TEST_F(EdgeTrackingTest, VerificationCountsEdgesOnFiveLines) {
    // K (100, 100), A (300, 100), B (100, 300): inner lines on row 150 and column 150, outer
    // strips on row 96 and column 96, the diagonal A-B. Isolated dark pixels give two edges.
    struct {
        const char *name;
        bool oddInner, busyOuter;
        int expected;
    } const cases[] = {
        {"10 inner crossings", false, false, 1},
        {"9 inner crossings", true, false, 0},
        {"6 edges on an outer strip", false, true, 0},
    };
    for (const auto &c : cases) {
        GreyFrame f(400, 400, 220);
        for (int x : {180, 200, 220}) f.At(x, 150) = 30;
        f.At(150, 180) = 30;
        if (c.oddInner) {
            for (int y = 290; y < 400; ++y) f.At(150, y) = 30;  // one edge, no return
        } else {
            f.At(150, 200) = 30;
        }
        if (c.busyOuter)
            for (int x : {150, 170, 190}) f.At(x, 96) = 30;
        for (int k : {20, 40, 60}) f.At(300 - k, 100 + k) = 30;
        Install(f);
        const GEO_POINT a{300, 100}, k{100, 100}, b{100, 300};
        EXPECT_EQ(vexo::Loc_CheckLCorner(f.pixels.data(), &a, &k, &b), c.expected) << c.name;
        EXPECT_EQ(vexo::Loc_CheckLCorner(f.pixels.data(), nullptr, &k, &b), 0);
    }
}

TEST_F(EdgeTrackingTest, InteriorScoreIsMeanChangePerPixel) {
    // Row 104 (4 px inside arm A) crosses 4 dark pixels: 8 x 190 over 200 px gives 7; column
    // 104 is flat. A zero arm length, which the score divides by, invalidates the candidate.
    GreyFrame f(400, 400, 220);
    for (int x : {150, 180, 210, 240}) f.At(x, 104) = 30;
    Install(f);
    CORNER_CANDIDATE c{};
    c.valid = 1;
    c.corner = {100, 100};
    c.endA = {300, 100};
    c.endB = {100, 300};
    c.armALength = c.armBLength = 200;
    vexo::Loc_ScoreCornerInterior(f.pixels.data(), &c);
    EXPECT_EQ(c.texture, 8 * 190 / 200);
    EXPECT_EQ(c.valid, 1);
    c.armALength = 0;
    vexo::Loc_ScoreCornerInterior(f.pixels.data(), &c);
    EXPECT_EQ(c.valid, 0);
}

TEST_F(EdgeTrackingTest, SearchPlanFollowsTheSwitches) {
    // A track near the right border: search 1 (head, to the right) is refused outright.
    GreyFrame f(120, 200, 220);
    Install(f);
    EDGE_TRACK cross{};
    cross.active = 1;
    cross.headX = cross.tailX = 120 - 7;
    cross.headY = cross.tailY = 50;
    EXPECT_EQ(vexo::Loc_TraceCrossEdge(f.pixels.data(), &cross, 1, 1), 0);
    EXPECT_EQ(cross.headDone, 0);
    EDGE_TRACK t = EtTrack(0, 60, 50);
    CORNER_CANDIDATE c{};
    c.valid = 1;
    EXPECT_EQ(vexo::Loc_TryTrackCorners(f.pixels.data(), &t, &c, 0, 0), 0);
    EXPECT_EQ(c.valid, 1);
    EXPECT_EQ(vexo::Loc_TryTrackCorners(f.pixels.data(), &t, &c, 2, 0), 0);
    EXPECT_EQ(c.valid, 0);
}

// A dark "C" on light ground (or, inverted and mirrored, a light one opening to the left): a
// 10-px bar down columns 60..69 of rows 60..179, a top bar on rows 60..69 from column 60 to
// topEnd, a bottom bar on rows 170..179 unless left out, a 6-px checkerboard between. The top
// half is mirrored into the bottom half, so the two corners of the bar score alike.
GreyFrame EtCornerScene(int topEnd, bool bottomBar, bool mirrorInvert) {
    GreyFrame f(240, 240, 220);
    for (int y = 60; y < 120; ++y)
        for (int x = 60; x < 180; ++x) {
            const bool bar = x < 70 || (y < 70 && x < topEnd);
            const bool cell = x >= 70 && y >= 70 && ((x - 70) / 6 + (y - 70) / 6) % 2 == 0;
            if (bar || cell) f.At(x, y) = 30;
        }
    for (int y = 120; y < 180; ++y)
        for (int x = 0; x < 240; ++x) f.At(x, y) = f.At(x, 239 - y);
    if (!bottomBar)
        for (int y = 170; y < 180; ++y)
            for (int x = 70; x < 180; ++x) f.At(x, y) = 220;
    if (!mirrorInvert) return f;
    GreyFrame g(240, 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 240; ++x) g.At(x, y) = static_cast<uint8_t>(250 - f.At(239 - x, y));
    return g;
}

// The bar's outer edge as a finished track (falling, light to dark left to right).
EDGE_TRACK EtBarTrack(int x) {
    EDGE_TRACK t = EtTrack(0, x, 62);
    t.tailY = 177;
    t.headDone = t.tailBegun = t.complete = 1;
    t.length = 115;
    return t;
}

TEST_F(EdgeTrackingTest, CornerSearchOrderAndTextureBound) {
    // Both ends of the bar give an L of equal texture: the earlier search, at the head, wins.
    // Dark corners come from searches 1 and 4 (to the right), light ones from 2 and 3 (to the
    // left); both switches run all four and still keep search 1's.
    struct {
        bool mirrorInvert;
        int dark, light;
        int found, darkOnLight, endAX;
    } const cases[] = {
        {false, 1, 0, 1, 1, 178}, {false, 1, 1, 1, 1, 178}, {false, 0, 1, 0, 0, 0},
        {true, 0, 1, 1, 0, 61},   {true, 1, 1, 1, 0, 61},   {true, 1, 0, 0, 0, 0},
    };
    for (const auto &k : cases) {
        GreyFrame f = EtCornerScene(180, true, k.mirrorInvert);
        Install(f);
        EDGE_TRACK t = EtBarTrack(k.mirrorInvert ? 179 : 59);
        CORNER_CANDIDATE c{};
        ASSERT_EQ(vexo::Loc_FindTrackCorners(f.pixels.data(), &t, &c, k.dark, k.light), k.found)
            << k.mirrorInvert << k.dark << k.light;
        if (k.found == 0) continue;
        EXPECT_EQ(c.darkOnLight, k.darkOnLight);
        // The head's corner (top left of the dark C, top right of the light one).
        EXPECT_EQ(c.corner.y, 59);
        EXPECT_NEAR(c.corner.x, k.mirrorInvert ? 179 : 59, 1);
        const GEO_POINT far = k.mirrorInvert ? c.endB : c.endA;  // the cross arm's end
        EXPECT_NEAR(far.x, k.endAX, 2);
        EXPECT_EQ(far.y, 59);
    }
}

TEST_F(EdgeTrackingTest, CornerTextureBoundAndShortCrossEdges) {
    // Without the bottom bar only search 1 finds an L. Bright dots inside the top bar, on the
    // score's row 4 px in, raise the texture to 34 (kept) or 35 (refused).
    GreyFrame plain = EtCornerScene(180, false, false);
    Install(plain);
    EDGE_TRACK t = EtBarTrack(59);
    CORNER_CANDIDATE c{};
    ASSERT_EQ(vexo::Loc_FindTrackCorners(plain.pixels.data(), &t, &c, 1, 0), 1);
    ASSERT_EQ(c.corner.y, 59);
    ASSERT_EQ(c.endA.y, 59);
    // The score's A line runs on row 63 from endA to the corner and steps once, 190, into
    // the bar at column 60; the B line's share stays as it is.
    const int fromB = c.texture - 190 / c.armALength;
    for (const int target : {34, 35}) {
        const int dots = 12;  // columns 76, 84, ..., 164: each adds twice its step
        const int need = (target - fromB) * c.armALength - 190;
        const int step = (need + 2 * dots - 1) / (2 * dots);
        ASSERT_LE(step, 220);
        GreyFrame f = plain;
        for (int d = 0; d < dots; ++d) f.At(76 + 8 * d, 63) = static_cast<uint8_t>(30 + step);
        Install(f);
        CORNER_CANDIDATE scored = c;
        vexo::Loc_ScoreCornerInterior(f.pixels.data(), &scored);
        ASSERT_EQ(scored.texture, target);
        t = EtBarTrack(59);
        CORNER_CANDIDATE out{};
        EXPECT_EQ(vexo::Loc_FindTrackCorners(f.pixels.data(), &t, &out, 1, 0), target == 34 ? 1 : 0) << target;
        if (target == 34) {
            EXPECT_EQ(out.texture, 34);
        }
    }
    // Cross edges ending at column 107 (traced 40 px from the head's probe at 66) give no
    // corner; ending at 111 (44 px) they do.
    for (const int topEnd : {108, 112}) {
        GreyFrame f = EtCornerScene(topEnd, false, false);
        Install(f);
        EDGE_TRACK cross{};
        cross.active = 1;
        cross.headX = cross.tailX = 59;
        cross.headY = cross.tailY = 59;
        const int traced = vexo::Loc_TraceCrossEdge(f.pixels.data(), &cross, 1, 1);
        EXPECT_EQ(cross.length, topEnd == 108 ? 40 : 44);
        EXPECT_EQ(traced, topEnd == 108 ? 0 : 1);
        t = EtBarTrack(59);
        CORNER_CANDIDATE out{};
        EXPECT_EQ(vexo::Loc_FindTrackCorners(f.pixels.data(), &t, &out, 1, 0), topEnd == 108 ? 0 : 1) << topEnd;
    }
}

// --- The finder ---

TEST_F(EdgeTrackingTest, ScanRowSchedule) {
    struct {
        int height;
        std::vector<int> rows;
    } cases[] = {{155, {}}, {156, {52, 104}}, {207, {52, 104}}, {208, {52, 104, 156}}, {960, {}}};
    for (int k = 1; k < 18; ++k) cases[4].rows.push_back(52 * k);
    for (const auto &c : cases) {
        int rows[vexo::kEdgeScanMaxRows];
        const int n = vexo::Loc_EdgeScanRows(c.height, rows, vexo::kEdgeScanMaxRows);
        EXPECT_EQ(std::vector<int>(rows, rows + n), c.rows) << c.height;
    }
}

TEST_F(EdgeTrackingTest, RefusalsLeaveTheOutputUntouched) {
    GreyFrame f(200, 200, 128);
    Install(f);
    GreyFrame other(200, 200, 128);
    CORNER_CANDIDATE out[2];
    std::memset(out, 0x5A, sizeof out);
    const CORNER_CANDIDATE before = out[0];
    EXPECT_EQ(vexo::Loc_FindLCorners(nullptr, out, 2, 1, 1), 0);
    EXPECT_EQ(vexo::Loc_FindLCorners(f.pixels.data(), nullptr, 2, 1, 1), 0);
    EXPECT_EQ(vexo::Loc_FindLCorners(f.pixels.data(), out, 0, 1, 1), 0);
    EXPECT_EQ(vexo::Loc_FindLCorners(f.pixels.data(), out, 2, 0, 0), 0);
    EXPECT_EQ(vexo::Loc_FindLCorners(other.pixels.data(), out, 2, 1, 1), 0);
    EXPECT_EQ(vexo::Loc_FindLCorners(f.pixels.data(), out, 2, 1, 1), 0);  // flat
    EXPECT_EQ(std::memcmp(&out[0], &before, sizeof before), 0);
}

TEST_F(EdgeTrackingTest, SeedsAndTracks) {
    GreyFrame f(100, 200, 128);
    Install(f);
    int seeds[6] = {3, 4, 5, 50, 95, 96};
    int n = 6;
    vexo::Loc_KeepInnerSeeds(seeds, &n);
    ASSERT_EQ(n, 3);
    EXPECT_EQ(seeds[0], 5);
    EXPECT_EQ(seeds[2], 95);
    EDGE_TRACK tracks[vexo::kEdgeTrackListSize] = {};
    tracks[0] = EtTrack(1, 40, 104);
    int nt = 1;
    int drop[2] = {43, 44};
    int nd = 2;
    vexo::Loc_DropTrackedSeeds(tracks, &nt, drop, &nd);
    EXPECT_EQ(drop[0], 0);
    EXPECT_EQ(drop[1], 44);
    EDGE_TRACK probe{};
    probe.active = 7;
    vexo::Loc_InitEdgeTrack(&probe, 1, 100, 5);
    EXPECT_EQ(probe.active, 7);  // outside: unchanged
    // Started rightmost first; holes start nothing.
    int start[3] = {20, 0, 60};
    int ns = 3;
    vexo::Loc_StartEdgeTracks(f.pixels.data(), tracks, &nt, start, &ns, 1, 3, 104);
    ASSERT_EQ(nt, 3);
    EXPECT_EQ(tracks[1].tailX, 60);
    EXPECT_EQ(tracks[2].tailX, 20);
}

CORNER_CANDIDATE EtCandidate(int cx, int cy, int ax, int ay, int bx, int by, int armA, int armB) {
    CORNER_CANDIDATE c{};
    c.valid = 1;
    c.corner = {cx, cy};
    c.endA = {ax, ay};
    c.endB = {bx, by};
    c.armALength = armA;
    c.armBLength = armB;
    return c;
}

TEST_F(EdgeTrackingTest, DeduplicationRules) {
    struct {
        const char *name;
        CORNER_CANDIDATE p, q;
        int kept;
        int survivorArmA;
    } cases[] = {
        {"corners 15 apart, longer arms survive", EtCandidate(100, 100, 200, 100, 100, 200, 100, 100),
         EtCandidate(115, 100, 300, 100, 115, 300, 200, 200), 1, 200},
        {"equal sums: the later", EtCandidate(100, 100, 200, 100, 100, 200, 100, 100),
         EtCandidate(100, 115, 300, 115, 100, 300, 150, 50), 1, 150},
        {"corners 16 apart: two", EtCandidate(100, 100, 200, 100, 100, 200, 100, 100),
         EtCandidate(116, 300, 300, 300, 116, 500, 50, 50), 2, 100},
        {"endA near the other corner", EtCandidate(100, 100, 200, 100, 100, 200, 100, 100),
         EtCandidate(214, 100, 214, 300, 400, 100, 50, 50), 1, 100},
        {"ends pairwise near", EtCandidate(100, 100, 200, 100, 100, 200, 100, 100),
         EtCandidate(300, 300, 214, 114, 114, 214, 50, 50), 1, 100},
        {"ends crosswise near", EtCandidate(100, 100, 200, 100, 100, 200, 100, 100),
         EtCandidate(300, 300, 114, 214, 214, 114, 50, 50), 1, 100},
    };
    for (const auto &c : cases) {
        CORNER_CANDIDATE a[2] = {c.p, c.q};
        const int n = vexo::Loc_DedupCornerCandidates(a, 2);
        EXPECT_EQ(n, c.kept) << c.name;
        EXPECT_EQ(a[0].armALength, c.survivorArmA) << c.name;
    }
    CORNER_CANDIDATE one = EtCandidate(1, 1, 2, 1, 1, 2, 1, 1);
    one.valid = 0;
    EXPECT_EQ(vexo::Loc_DedupCornerCandidates(&one, 1), 0);
    EXPECT_EQ(vexo::Loc_DedupCornerCandidates(nullptr, 3), 0);
}

}  // namespace

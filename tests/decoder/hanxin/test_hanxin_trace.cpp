// Tracing module edges across a crossing segment: synthetic one-module lines at every five
// degrees, the direction filter at its bounds, the tracer's refusals, and long traces whose
// slope sums pass 32 bits checked against double-precision geometry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/pixel.h"
#include "decoder_test.h"
#include "hanxin/cscn_finder.h"
#include "hanxin/cscn_symbol.h"
#include "toolkit/geometry.h"

namespace {

using namespace vexo;

// A straight band `module` pixels wide and `length` long, centred on (cx, cy) and running
// at `angle` degrees, of grey `ink` on `paper`. Pixel x's centre is at x. Without blur
// each pixel takes the band's share of a pixel-wide window across it; with blur the band
// is convolved with a Gaussian of that sigma across and cut sharply at its ends.
struct HxTraceBand {
    double cx, cy, angle, module, length, blur;
    int ink, paper;
};

double HxTraceCover(double s, double half, double blur) {
    if (blur <= 0) return std::max(0.0, std::min(s + 0.5, half) - std::max(s - 0.5, -half));
    const double k = 1.0 / (blur * std::sqrt(2.0));
    return 0.5 * (std::erf((half - s) * k) + std::erf((half + s) * k));
}

std::vector<u8> HxTraceRender(int width, int height, const HxTraceBand &b) {
    std::vector<u8> px(static_cast<size_t>(width) * height, static_cast<u8>(b.paper));
    const double a = b.angle * M_PI / 180.0, ux = std::cos(a), uy = std::sin(a);
    const double reach = b.module / 2 + 4 * std::max(b.blur, 0.5) + 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double dx = x - b.cx, dy = y - b.cy;
            const double t = dx * ux + dy * uy, s = -dx * uy + dy * ux;
            if (std::fabs(s) > reach || std::fabs(t) > b.length / 2 + 0.5) continue;
            const double along = std::clamp(b.length / 2 - std::fabs(t) + 0.5, 0.0, 1.0);
            const double f = HxTraceCover(s, b.module / 2, b.blur) * along;
            px[static_cast<size_t>(y) * width + x] = static_cast<u8>(std::lround(b.paper + (b.ink - b.paper) * f));
        }
    return px;
}

void HxTraceInstall(std::vector<u8> *px, int width, int height) {
    Pix_SetImagePointer(px->data());
    Pix_SetImageSize(width, height);
}

// A request without direction filter.
CSCN_TRACE_REQUEST HxTraceRequest(const GEO_POINT *from, const GEO_POINT *to, CSCN_EDGE_SEGMENT *segments,
                                  i32 maxSegments, i32 moduleWidth, i32 minLength, u32 rising) {
    CSCN_TRACE_REQUEST req{};
    req.from = from;
    req.to = to;
    req.segments = segments;
    req.maxSegments = maxSegments;
    req.moduleWidth = moduleWidth;
    req.minLength = minLength;
    req.rising = rising;
    return req;
}

class HanXinTrace : public vexo_test::DecoderTest {};

// Every five degrees, modules of 3 to 12 px, sharp and blurred, both passes, both
// polarities along the crossing and both crossing directions: the one edge of that
// polarity gives one segment, inside the band beside the edge (within half a pixel of its
// middle for blurred modules of 3-5 px), its first end on the left of the crossing.
TEST_F(HanXinTrace, OneModuleLines) {
    constexpr int kW = 200, kH = 200;
    int traces = 0;
    // Expected miss of the half-pixel mark, at every angle in both passes: blurred modules
    // of 3 px. The six parallels reach 5/4 of a step (1.25 px, the step being 1) while the
    // middle lies 1.5 px in, and the edge, placed by the area of its transition from the
    // paper to the band's reduced darkest level, lies outside the band by the shift worked
    // out here (the centroid of the profile's slope on one side); up to 3/16 px more come
    // from 1/16-pixel rounding and the pixel sampling of oblique lines.
    double shift = 0;
    {
        double moment = 0;
        for (double s = 0; s < 8; s += 0.001)
            moment += s * (HxTraceCover(s, 1.5, 1.0) - HxTraceCover(s + 0.001, 1.5, 1.0));
        shift = moment / HxTraceCover(0, 1.5, 1.0) - 1.5;
    }
    const double limit3 = 0.25 + shift + 3.0 / 16;
    EXPECT_NEAR(shift, 0.23, 0.02);
    for (int pass = 0; pass <= 1; ++pass)
        for (double blur : {0.0, 1.0})
            for (int module = 3; module <= 12; ++module)
                for (int angle = 0; angle <= 90; angle += 5) {
                    const HxTraceBand band{100.3, 99.6, static_cast<double>(angle), static_cast<double>(module),
                                           150, blur, pass == 1 ? 25 : 215, pass == 1 ? 215 : 25};
                    std::vector<u8> px = HxTraceRender(kW, kH, band);
                    HxTraceInstall(&px, kW, kH);
                    g_cscnCurrentPass = pass;
                    const double a = angle * M_PI / 180.0, ux = std::cos(a), uy = std::sin(a);
                    // Across the band, 11 px along from its middle.
                    const double mx = band.cx + 11 * ux, my = band.cy + 11 * uy, r = 3.0 * module + 8;
                    const GEO_POINT p{static_cast<i32>(std::lround(mx + r * uy)), static_cast<i32>(std::lround(my - r * ux))};
                    const GEO_POINT q{static_cast<i32>(std::lround(mx - r * uy)), static_cast<i32>(std::lround(my + r * ux))};
                    for (int reversed = 0; reversed <= 1; ++reversed)
                        for (u32 rising = 0; rising <= 1; ++rising) {
                            ++traces;
                            CSCN_EDGE_SEGMENT seg[4]{};
                            const CSCN_TRACE_REQUEST req =
                                HxTraceRequest(reversed ? &q : &p, reversed ? &p : &q, seg, 4, module, 60, rising);
                            const int n = CSCN_TraceEdgesAcross(&req);
                            const std::string at = "pass " + std::to_string(pass) + " blur " + std::to_string(blur) +
                                                   " module " + std::to_string(module) + " angle " +
                                                   std::to_string(angle) + " reversed " + std::to_string(reversed) +
                                                   " rising " + std::to_string(rising);
                            ASSERT_EQ(n, 1) << at;
                            EXPECT_EQ(seg[0].valid, 1);
                            // Signed distances of the ends from the band's middle line.
                            const double s0 = -(seg[0].x0 / 16.0 - band.cx) * uy + (seg[0].y0 / 16.0 - band.cy) * ux;
                            const double s1 = -(seg[0].x1 / 16.0 - band.cx) * uy + (seg[0].y1 / 16.0 - band.cy) * ux;
                            const double limit = blur > 0 && module <= 5 ? (module == 3 ? limit3 : 0.5) : module / 2.0;
                            EXPECT_LE(std::fabs(s0), limit) << at;
                            EXPECT_LE(std::fabs(s1), limit) << at;
                            // Along the band, most of its length.
                            const double along =
                                std::hypot(seg[0].x1 - seg[0].x0, seg[0].y1 - seg[0].y0) / 16.0;
                            EXPECT_GT(along, 120) << at;
                            // First end on the left of from -> to on the image: (cy, -cx).
                            const double cx = req.to->x - req.from->x, cy = req.to->y - req.from->y;
                            EXPECT_GT((seg[0].x0 - seg[0].x1) * cy - (seg[0].y0 - seg[0].y1) * cx, 0) << at;
                        }
                }
    EXPECT_EQ(traces, 2 * 2 * 10 * 19 * 4);
}

// A traced segment under the direction filter: in angle mode each class keeps its
// tolerance and refuses one milliradian more, on either side; in cosine mode the score is
// the cosine to the reference in thousandths, kept at the minimum and refused above it.
TEST_F(HanXinTrace, DirectionFilterBounds) {
    constexpr int kW = 200, kH = 200;
    std::vector<u8> px = HxTraceRender(kW, kH, HxTraceBand{100, 100, 30, 6, 150, 1.0, 25, 215});
    HxTraceInstall(&px, kW, kH);
    g_cscnCurrentPass = 1;
    const GEO_POINT p{110, 83}, q{90, 117};  // across the band
    CSCN_EDGE_SEGMENT seg[2]{};
    i32 scores[2] = {-5000, -5000};
    CSCN_TRACE_REQUEST req = HxTraceRequest(&p, &q, seg, 2, 6, 60, 0);
    ASSERT_EQ(CSCN_TraceEdgesAcross(&req), 1);
    const i32 dx = seg[0].x1 - seg[0].x0, dy = seg[0].y1 - seg[0].y0;
    const i32 angle = CSCN_EdgeAngle(dx, dy);
    EXPECT_NEAR(angle, 524, 15);  // 30 degrees
    req.checkDirection = 1;
    req.angleMode = 1;
    struct HxTraceClass {
        i32 angleClass, tolerance;
    };
    for (const HxTraceClass c : {HxTraceClass{1, 523}, HxTraceClass{2, 349}, HxTraceClass{0, 261},
                                 HxTraceClass{3, 261}, HxTraceClass{-1, 261}}) {
        req.angleClass = c.angleClass;
        for (int side : {-1, 1}) {
            req.refAngle = angle + side * c.tolerance;
            EXPECT_EQ(CSCN_TraceEdgesAcross(&req), 1) << c.angleClass << " side " << side;
            req.refAngle = angle + side * (c.tolerance + 1);
            EXPECT_EQ(CSCN_TraceEdgesAcross(&req), 0) << c.angleClass << " side " << side;
        }
    }
    EXPECT_EQ(scores[0], -5000);  // the angle mode writes no score
    req.angleMode = 0;
    req.scores = scores;
    req.refDirection = POINT_I32{100, 0};
    req.minCosine = -1000;
    ASSERT_EQ(CSCN_TraceEdgesAcross(&req), 1);
    const double ref = 1000.0 * dx / std::hypot(dx, dy);
    EXPECT_NEAR(scores[0], ref, 1.0);
    const i32 score = scores[0];
    req.minCosine = score;
    EXPECT_EQ(CSCN_TraceEdgesAcross(&req), 1);
    req.minCosine = score + 1;
    scores[0] = -5000;
    EXPECT_EQ(CSCN_TraceEdgesAcross(&req), 0);
    EXPECT_EQ(scores[0], -5000);
    // The reference the other way round: the cosine turns negative.
    req.refDirection = POINT_I32{-100, 0};
    req.minCosine = -1000;
    ASSERT_EQ(CSCN_TraceEdgesAcross(&req), 1);
    EXPECT_NEAR(scores[0], -score, 1);
}

// What gives no segment: null pointers, no edge of the asked polarity, a trace that stops
// at its first position (kept only by the minimum length, which a zero-length trace never
// exceeds), and the maximum count honoured.
TEST_F(HanXinTrace, Refusals) {
    constexpr int kW = 120, kH = 120;
    // Dark left half, light right half: along a rightward crossing one rising edge.
    std::vector<u8> px(static_cast<size_t>(kW) * kH, 220);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < 60; ++x) px[static_cast<size_t>(y) * kW + x] = 30;
    HxTraceInstall(&px, kW, kH);
    g_cscnCurrentPass = 1;
    const GEO_POINT p{40, 60}, q{80, 62};
    CSCN_EDGE_SEGMENT seg[3]{};
    CSCN_TRACE_REQUEST req = HxTraceRequest(&p, &q, seg, 3, 4, 40, 1);
    EXPECT_EQ(CSCN_TraceEdgesAcross(&req), 1);
    req.rising = 0;
    EXPECT_EQ(CSCN_TraceEdgesAcross(&req), 0);
    req.rising = 1;
    req.maxSegments = 0;
    EXPECT_EQ(CSCN_TraceEdgesAcross(&req), 0);
    req.maxSegments = 3;
    req.segments = nullptr;
    EXPECT_EQ(CSCN_TraceEdgesAcross(&req), 0);
    req.segments = seg;
    req.to = nullptr;
    EXPECT_EQ(CSCN_TraceEdgesAcross(&req), 0);
    EXPECT_EQ(CSCN_TraceEdgesAcross(nullptr), 0);

    // A dark stub one row high: the crossing meets its edge but neither neighbouring row
    // does, so both tracers stop at their first position.
    std::fill(px.begin(), px.end(), 220);
    for (int x = 57; x <= 61; ++x) px[static_cast<size_t>(60) * kW + x] = 30;
    const GEO_POINT row{80, 60};
    req.to = &row;
    req.minLength = 0;
    EXPECT_EQ(CSCN_TraceEdgesAcross(&req), 0);
    CSCN_EDGE_TRACER t{};
    t.startCross = 16 * 61 + 8;
    t.startMain = 60;
    t.step = 2;
    t.extent = kH;
    t.tolerance = 48;
    t.rising = 1;
    t.ratio = 102;
    t.minStep = 20;
    CSCN_StartEdgeTrace(&t);
    EXPECT_EQ(t.first.x, 16 * 61 + 8);
    EXPECT_EQ(t.first.y, 16 * 60);
    CSCN_TraceEdgeDown(&t);
    CSCN_TraceEdgeUp(&t);
    EXPECT_EQ(t.first.x, t.last.x);
    EXPECT_EQ(t.first.y, t.last.y);
    EXPECT_EQ(t.sums.matrix[3], 1.0f);  // the start point alone
    // Column mode puts the main coordinate in x.
    t.columnMode = 1;
    CSCN_StartEdgeTrace(&t);
    EXPECT_EQ(t.first.x, 16 * 60);
    EXPECT_EQ(t.first.y, 16 * 61 + 8);
}

// The centred line takes the first brightest parallel in pass 0 (the first darkest in
// pass 1) and never one whose start lies outside the image: beside an edge near the left
// border the bright border column would win if clipped parallels took part.
TEST_F(HanXinTrace, CentringStaysInsideTheImage) {
    constexpr int kW = 80, kH = 120;
    std::vector<u8> px(static_cast<size_t>(kW) * kH, 20);
    for (int y = 0; y < kH; ++y) {
        // A dip at column 1 keeps the bright border out of the edge's own transition.
        px[static_cast<size_t>(y) * kW] = 255;
        px[static_cast<size_t>(y) * kW + 1] = 190;
        for (int x = 2; x <= 3; ++x) px[static_cast<size_t>(y) * kW + x] = 200;
    }
    HxTraceInstall(&px, kW, kH);
    g_cscnCurrentPass = 0;
    const GEO_POINT p{20, 60}, q{2, 60};
    CSCN_EDGE_SEGMENT seg[2]{};
    CSCN_TRACE_REQUEST req = HxTraceRequest(&p, &q, seg, 2, 8, 60, 1);  // 8 px: whole-pixel offsets
    ASSERT_EQ(CSCN_TraceEdgesAcross(&req), 1);
    // The edge lies at 3.5 px; the parallels at 2.5 and 1.5 px read 200, the one at 0.5 px
    // 190, the next starts outside. The first of the brightest wins.
    EXPECT_NEAR(seg[0].x0 / 16.0, 2.5, 0.1);
    EXPECT_NEAR(seg[0].x1 / 16.0, 2.5, 0.1);
    // Leftward crossing: its left is downward on the image, so end 0 is the lower one.
    EXPECT_GT(seg[0].y0, seg[0].y1);
    // The same edge in pass 1 moves to the dark side instead; with 6-px modules the
    // parallels are 3/4 px apart and sampled bilinearly, so the edge line itself reads
    // half grey and the next one, at 4.25 px, is the first darkest.
    g_cscnCurrentPass = 1;
    req.moduleWidth = 6;
    ASSERT_EQ(CSCN_TraceEdgesAcross(&req), 1);
    EXPECT_NEAR(seg[0].x0 / 16.0, 4.25, 0.1);
    EXPECT_NEAR(seg[0].x1 / 16.0, 4.25, 0.1);
}

// The slope average: the reset flag clears the sums, a zero distance adds nothing, each
// update adds weight x trunc(offset x 1024 / distance) in 64 bits.
TEST_F(HanXinTrace, SlopeAverage) {
    CSCN_SLOPE_AVERAGE a{};
    a.weightedSum = 77;
    a.weightSum = 5;
    a.reset = 1;
    EXPECT_EQ(CSCN_UpdateSlopeAverage(&a), 1);
    EXPECT_EQ(a.weightedSum, 0);
    EXPECT_EQ(a.weightSum, 0);
    EXPECT_EQ(a.reset, 0);
    a.lastOffset = -7;
    a.lastDistance = 3;
    a.weight = 3;
    CSCN_UpdateSlopeAverage(&a);
    EXPECT_EQ(a.weightedSum, 3 * (-7 * 1024 / 3));
    EXPECT_EQ(a.weightSum, 3);
    a.lastDistance = 0;
    a.weight = 9;
    CSCN_UpdateSlopeAverage(&a);
    EXPECT_EQ(a.weightSum, 3);
    // A 45-degree trace of 900 one-pixel steps: 16,384 per pixel per step, far past 2^31.
    a.reset = 1;
    double ref = 0, refWeights = 0;
    for (int d = 1; d <= 900; ++d) {
        a.lastOffset = 16 * d;
        a.lastDistance = d;
        a.weight = d;
        CSCN_UpdateSlopeAverage(&a);
        ref += d * 16384.0;
        refWeights += d;
    }
    EXPECT_EQ(static_cast<double>(a.weightedSum), ref);
    EXPECT_EQ(static_cast<double>(a.weightSum), refWeights);
    EXPECT_GT(a.weightedSum, INT64_C(1) << 31);
}

// Long traces in a 1280 x 960 frame whose slope sums or prediction products pass 32 bits:
// a 900-row edge at 45 degrees (row traces, one-pixel steps) and an edge of slope 0.1 over
// 1,200 columns (column traces). Each is followed to both of its ends, and the fitted line
// agrees with the true edge computed in double precision.
TEST_F(HanXinTrace, LongTracesAgreeWithDoubleGeometry) {
    constexpr int kW = 1280, kH = 960;
    struct HxLongEdge {
        int columnMode;
        double slope, offset;  // cross = slope x main + offset, whole pixels
        int mainFrom, mainTo;  // the edge's extent along the main axis
        int step;
    };
    const HxLongEdge edges[] = {
        {0, 1.0, 160.3, 30, 930, 1},
        {1, 0.1, 400.7, 40, 1240, 1},
        {1, -0.1, 700.2, 40, 1240, 2},
    };
    for (const HxLongEdge &e : edges) {
        // Dark below (row traces: left of) the edge within its extent, light elsewhere;
        // each pixel the dark share of its pixel-wide window across the edge.
        std::vector<u8> px(static_cast<size_t>(kW) * kH, 210);
        const double norm = std::sqrt(1 + e.slope * e.slope);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const int main = e.columnMode ? x : y, cross = e.columnMode ? y : x;
                if (main < e.mainFrom || main > e.mainTo) continue;
                const double s = (cross - (e.slope * main + e.offset)) / norm;  // > 0: below / right
                const double dark = std::clamp((e.columnMode ? s : -s) + 0.5, 0.0, 1.0);
                px[static_cast<size_t>(y) * kW + x] = static_cast<u8>(std::lround(210 - 170 * dark));
            }
        HxTraceInstall(&px, kW, kH);
        CSCN_EDGE_TRACER t{};
        const int startMain = (e.mainFrom + e.mainTo) / 2;
        t.startCross = static_cast<i32>(std::lround(16 * (e.slope * startMain + e.offset)));
        t.startMain = startMain;
        t.step = e.step;
        t.extent = e.columnMode ? kW : kH;
        t.tolerance = 48;
        // Column traces scan down: light to dark is falling. Row traces scan right: dark
        // to light is rising.
        t.rising = e.columnMode ? 0 : 1;
        t.columnMode = e.columnMode;
        t.ratio = 102;
        t.minStep = 20;
        CSCN_StartEdgeTrace(&t);
        if (e.columnMode) {
            CSCN_TraceEdgeRight(&t);
            CSCN_TraceEdgeLeft(&t);
        } else {
            CSCN_TraceEdgeDown(&t);
            CSCN_TraceEdgeUp(&t);
        }
        const int firstMain = e.columnMode ? t.first.x : t.first.y, lastMain = e.columnMode ? t.last.x : t.last.y;
        EXPECT_LE(std::abs(firstMain - 16 * e.mainFrom), 16 * (e.step + 1)) << e.slope;
        EXPECT_LE(std::abs(lastMain - 16 * e.mainTo), 16 * (e.step + 1)) << e.slope;
        f32 line[2] = {0, 0};
        ASSERT_EQ(Geo_LineFitSolve(t.sums.matrix, t.sums.right, line), 1);
        EXPECT_NEAR(line[0], e.slope, 0.002) << e.slope;
        // The fitted edge at the middle and the ends, against the true edge (1/16 pixel).
        for (int m : {e.mainFrom + 10, startMain, e.mainTo - 10}) {
            const double fitted = line[0] * 16.0 * m + line[1];
            EXPECT_NEAR(fitted / 16.0, e.slope * m + e.offset, 0.25) << e.slope << " at " << m;
        }
        // The slope average (1/16 pixel per pixel, x 1024) agrees with the true slope.
        ASSERT_GT(t.slope.weightSum, 0);
        EXPECT_NEAR(static_cast<double>(t.slope.weightedSum) / t.slope.weightSum / 1024 / 16, e.slope, 0.01);
    }
}

}  // namespace

// Bar-edge segments: the angle bins, the tracers and the builders on synthetic edges in both
// orientations. Cases are written in row terms (upright bars); the column cases are the same
// images and expectations with x and y exchanged.
#include <cstdlib>

#include "segment_test.h"

namespace {

using segment_test::GreyFrame;
using segment_test::Install;
using segment_test::PairedScan;
using segment_test::SegmentTest;
using vexo::g_segmentStore;
using vexo::GEO_POINT;
using vexo::LINE_SEGMENT;

TEST(LineImgEdgeAngle, EveryBoundOnBothSides) {
    // Each bound and the angle from it upwards; one below it gives the previous angle.
    const int positive[][2] = {{90, 10},     {180, 15},   {276, 20},   {372, 25},  {481, 30},  {591, 35},
                               {725, 40},    {859, 45},   {1039, 50},  {1220, 55}, {1496, 60}, {1773, 65},
                               {2293, 70},   {2813, 75},  {4310, 80},  {5807, 85}, {28650081, 90}};
    int below = 180;
    for (const auto &b : positive) {
        EXPECT_EQ(vexo::LineImg_EdgeAngle(b[0] - 1), below) << b[0] - 1;
        EXPECT_EQ(vexo::LineImg_EdgeAngle(b[0]), b[1]) << b[0];
        below = b[1];
    }
    EXPECT_EQ(vexo::LineImg_EdgeAngle(INT32_MAX), 90);
    // Leaning the other way: below each bound the listed angle, at it the next one.
    const int negative[][2] = {{-5807, 90},  {-4310, 105}, {-2813, 110}, {-2293, 115}, {-1773, 120}, {-1496, 125},
                               {-1220, 130}, {-1039, 135}, {-859, 140},  {-725, 145},  {-591, 150},  {-481, 155},
                               {-372, 160},  {-276, 165},  {-180, 170},  {-90, 175}};
    for (size_t i = 0; i < sizeof(negative) / sizeof(negative[0]); ++i) {
        const int next = i + 1 < sizeof(negative) / sizeof(negative[0]) ? negative[i + 1][1] : 180;
        EXPECT_EQ(vexo::LineImg_EdgeAngle(negative[i][0] - 1), negative[i][1]) << negative[i][0] - 1;
        EXPECT_EQ(vexo::LineImg_EdgeAngle(negative[i][0]), i == 0 ? 105 : next) << negative[i][0];
    }
    EXPECT_EQ(vexo::LineImg_EdgeAngle(INT32_MIN), 90);
    EXPECT_EQ(vexo::LineImg_EdgeAngle(0), 180);
    for (int s = -7000; s <= 7000; ++s) {
        const int a = vexo::LineImg_EdgeAngle(s);
        ASSERT_TRUE(a != 95 && a != 100 && a % 5 == 0 && a >= 10 && a <= 180) << s << " gives " << a;
    }
}

TEST(LineImgEdgeAngle, SegmentAngles) {
    struct Case {
        GEO_POINT p, q;
        int angle;
    } const cases[] = {
        {{100, 100}, {100, 300}, 90},  // upright: no division
        {{100, 100}, {101, 120}, 85},  // lower end one right per 20 rows
        {{100, 100}, {99, 120}, 90},   // one left per 20 rows
        {{100, 100}, {101, 105}, 80},  // one in five
        {{100, 100}, {99, 105}, 105},
        // 1024 * 7 / 80 = 89.6: truncated to 89 (180), not rounded to 90 (10).
        {{80, 7}, {0, 0}, 180},
        // -89.6 truncates toward zero to -89 (180), not down to -90 (175).
        {{0, 7}, {80, 0}, 180},
        {{0, 0}, {80, 0}, 180},
    };
    for (const Case &c : cases)
        EXPECT_EQ(vexo::LineImg_SegmentAngle(&c.p, &c.q), c.angle) << c.p.x << "," << c.p.y << " " << c.q.x << "," << c.q.y;
}

// The frame of a case: 400 x 300 in row terms (transposed for columns).
GreyFrame CaseFrame(bool columns) { return columns ? GreyFrame(300, 400) : GreyFrame(400, 300); }

void DrawBar(GreyFrame &f, bool columns, double xTop, double xBottom, double w, int top, int bottom) {
    if (columns) {
        f.FlatBar(xTop, xBottom, w, top, bottom);
    } else {
        f.Bar(xTop, xBottom, w, top, bottom);
    }
}

GEO_POINT RowTerms(int x, int y, bool columns) { return columns ? GEO_POINT{y, x} : GEO_POINT{x, y}; }

::testing::AssertionResult EndsNear(const LINE_SEGMENT &s, GEO_POINT e0, GEO_POINT e1, int tolerance) {
    if (std::abs(s.x0 - e0.x) <= tolerance && std::abs(s.y0 - e0.y) <= tolerance &&
        std::abs(s.x1 - e1.x) <= tolerance && std::abs(s.y1 - e1.y) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "segment (" << s.x0 << "," << s.y0 << ")-(" << s.x1 << "," << s.y1
                                         << ") expected (" << e0.x << "," << e0.y << ")-(" << e1.x << "," << e1.y << ")";
}

TEST_F(SegmentTest, StartPointsOnOneLineNeverTrace) {
    GreyFrame f(400, 300);
    f.Bar(200, 200, 6, 50, 250);
    Install(f);
    GEO_POINT e0{-1, -1}, e1{-1, -1};
    int count = -1;
    const GEO_POINT a{200, 100}, b{200, 100}, c{200, 104};
    EXPECT_EQ(vexo::LineImg_TraceEdgeRows(&a, &b, 1, &e0, &e1, 0, 102, &count, 0), 0);
    EXPECT_EQ(count, 0);
    const GEO_POINT ac{100, 200}, bc{100, 204};
    EXPECT_EQ(vexo::LineImg_TraceEdgeColumns(&ac, &bc, 1, &e0, &e1, 0, 102, &count, 0), 0);
    // The same points one line apart trace.
    EXPECT_EQ(vexo::LineImg_TraceEdgeRows(&a, &c, 1, &e0, &e1, 0, 102, &count, 0), 1);
    EXPECT_GT(count, 4);
}

// A straight bar edge 100 lines long, upright or leaning, sharp or blurred, scanned with
// line pairs every 4 lines, gives one segment with both ends within 2 pixels of the edge's
// ends. The tracer's window reaches 1 pixel against the scan and 5 along it, so a leaning
// edge is followed one way and completed from the pairs below it (a later trace that
// reaches the same upper end lengthens the segment). Expected miss: 45 degrees with the
// lower end to the left (lean -100) stops at about 3/4 of the edge, as the later traces
// are not taller than the segment is long (76 rows against 107 pixels).
TEST_F(SegmentTest, StraightEdgesGiveOneSegment) {
    struct Case {
        double lean;  // x shift of the edge over its 100 rows
        bool blur;
    } const cases[] = {{0, false},  {0, true},     {20, false},   {-20, false}, {20, true},
                       {-20, true}, {57.7, false}, {-57.7, true}, {100, false}, {100, true}};
    for (bool columns : {false, true}) {
        for (const Case &c : cases) {
            GreyFrame f = CaseFrame(columns);
            const double x0 = 200 - c.lean / 2;
            DrawBar(f, columns, x0, x0 + c.lean, 8, 100, 200);
            if (c.blur) f.Blur();
            Install(f);
            for (int line = 8; line + 4 < 300; line += 4) PairedScan(f, line, columns);
            const std::string what = std::string(columns ? "columns" : "rows") + " lean " + std::to_string(c.lean) +
                                     (c.blur ? " blurred" : " sharp");
            ASSERT_EQ(g_segmentStore.count, 1) << what;
            // The first dark pixel of the top and bottom rows of the edge.
            const GEO_POINT top = RowTerms(static_cast<int>(std::ceil(x0 + c.lean * 0.005)), 100, columns);
            const GEO_POINT bottom = RowTerms(static_cast<int>(std::ceil(x0 + c.lean * 0.995)), 199, columns);
            EXPECT_TRUE(EndsNear(g_segmentStore.seg[0], top, bottom, 2)) << what;
        }
    }
}

// An edge upright below a bend and leaning above it, traced from a pair 10 rows below the
// bend: the angles of the two traces (from the upper end to the start pair and to the lower
// end) differ by 10 or more, so the shorter part is given up and the segment keeps the
// longer part and the start point.
TEST_F(SegmentTest, BentEdgeKeepsTheLongerPartAndTheStart) {
    struct Case {
        int bend;
        double slope;  // of the part above the bend, pixels per row
        bool upperLonger;
    } const cases[] = {{130, 0.577, false}, {140, 0.839, true}};
    for (bool columns : {false, true}) {
        for (const Case &c : cases) {
            GreyFrame f = CaseFrame(columns);
            const double lean = (c.bend - 100) * c.slope;
            DrawBar(f, columns, 200 + lean, 200, 8, 100, c.bend);
            DrawBar(f, columns, 200, 200, 8, c.bend, 200);
            Install(f);
            PairedScan(f, c.bend + 10, columns);
            const std::string what = std::string(columns ? "columns" : "rows") + " bend " + std::to_string(c.bend);
            ASSERT_EQ(g_segmentStore.count, 1) << what;
            const LINE_SEGMENT &s = g_segmentStore.seg[0];
            if (c.upperLonger) {
                // From the leaning part's top to the start pair's lower point.
                EXPECT_TRUE(EndsNear(s, RowTerms(static_cast<int>(200 + lean), 100, columns),
                                     RowTerms(200, c.bend + 14, columns), 2))
                    << what;
            } else {
                EXPECT_TRUE(EndsNear(s, RowTerms(200, c.bend + 10, columns), RowTerms(200, 199, columns), 2)) << what;
            }
        }
    }
}

// Two edges 3 pixels apart traced in one call both become segments (a segment added in the
// call covers nothing yet); the next pair skips edges within 10 pixels of them, and traces
// one 12 pixels away.
TEST_F(SegmentTest, CoveredEdgesAreSkippedFromTheNextPairOn) {
    for (bool columns : {false, true}) {
        GreyFrame f = CaseFrame(columns);
        DrawBar(f, columns, 200, 200, 1.5, 100, 200);
        DrawBar(f, columns, 203, 203, 2, 100, 200);
        Install(f);
        // The builder steps by 2 over the matched edges: entries 0 and 2 are traced.
        PairedScan(f, 120, columns, {0, 1, 1});
        ASSERT_EQ(g_segmentStore.count, 2) << columns;
        const int along0 = columns ? g_segmentStore.seg[0].y0 : g_segmentStore.seg[0].x0;
        const int along1 = columns ? g_segmentStore.seg[1].y0 : g_segmentStore.seg[1].x0;
        EXPECT_EQ(along0, 200);
        EXPECT_EQ(along1, 203);
        // A bar 9 pixels on is covered by the end boxes (10 pixels around a row segment, 15
        // around a column one); one beyond them is not.
        DrawBar(f, columns, 212, 212, 2, 100, 200);
        DrawBar(f, columns, columns ? 220 : 216, columns ? 220 : 216, 2, 100, 200);
        EXPECT_EQ(PairedScan(f, 150, columns, {2, 2}), 0) << columns;
        EXPECT_EQ(g_segmentStore.count, 2) << columns;
        EXPECT_GT(PairedScan(f, 150, columns, {3}), 90) << columns;
        EXPECT_EQ(g_segmentStore.count, 3) << columns;
    }
}

// A new segment whose first end lies within 2 pixels of an old one's replaces it only when
// it is taller than the old one is long, and only then counts in the mean. The old
// segments reach neither the new start pair nor its end boxes.
TEST_F(SegmentTest, SameStartReplacesOnlyAShorterSegment) {
    struct Case {
        vexo::GEO_POINT e0, e1;  // the old segment
        int outcome;             // 0 replaced, 1 left alone, 2 the new one appended
    } const cases[] = {
        {{201, 101}, {201, 150}, 0},  // 49 long; the new one is 158 tall
        {{202, 102}, {260, 180}, 0},  // 97 long
        {{201, 101}, {330, 200}, 1},  // 163 long
        {{203, 101}, {201, 150}, 2},  // 3 pixels off
    };
    for (const Case &c : cases) {
        GreyFrame f(400, 300);
        f.Bar(200, 200, 8, 100, 260);
        Install(f);
        vexo::LineImg_SetSegment(&g_segmentStore.seg[0], c.e0, c.e1, 10, 1);
        g_segmentStore.count = 1;
        const int oldLength = g_segmentStore.seg[0].length;
        const int mean = PairedScan(f, 215, false, {0});
        const LINE_SEGMENT &s = g_segmentStore.seg[0];
        const LINE_SEGMENT &added = g_segmentStore.seg[1];
        const std::string what = std::to_string(c.e0.x) + "," + std::to_string(c.e1.x);
        EXPECT_EQ(g_segmentStore.count, c.outcome == 2 ? 2 : 1) << what;
        if (c.outcome == 0) {
            EXPECT_TRUE(EndsNear(s, {200, 101}, {200, 259}, 0)) << what;
            EXPECT_EQ(s.length, 158) << what;
            EXPECT_EQ(mean, 158) << what;
        } else if (c.outcome == 1) {
            EXPECT_TRUE(EndsNear(s, c.e0, c.e1, 0)) << what;
            EXPECT_EQ(s.length, oldLength) << what;
            EXPECT_EQ(mean, 0) << what;
        } else {
            EXPECT_TRUE(EndsNear(added, {200, 101}, {200, 259}, 0)) << what;
            EXPECT_EQ(mean, added.length) << what;
        }
    }
}

// Traces stop 16 pixels from the border, however far the edge runs.
TEST_F(SegmentTest, TracesStopSixteenPixelsFromTheBorder) {
    for (bool columns : {false, true}) {
        GreyFrame f = CaseFrame(columns);
        DrawBar(f, columns, 150, 150, 8, 0, 300);
        Install(f);
        PairedScan(f, 150, columns);
        ASSERT_EQ(g_segmentStore.count, 1);
        const LINE_SEGMENT &s = g_segmentStore.seg[0];
        const int first = columns ? s.x0 : s.y0;
        const int last = columns ? s.x1 : s.y1;
        EXPECT_GE(first, 16);
        EXPECT_LE(first, 18);
        EXPECT_LE(last, 300 - 16);
        EXPECT_GE(last, 300 - 18);
    }
}

// The store stops at 100 segments.
TEST_F(SegmentTest, StoreHoldsAHundredSegments) {
    GreyFrame f(400, 300);
    for (int x = 100; x < 300; x += 20) f.Bar(x, x, 8, 100, 200);
    Install(f);
    // 99 short segments far from the bars.
    for (int i = 0; i < 99; ++i)
        vexo::LineImg_SetSegment(&g_segmentStore.seg[i], {10 + 3 * i, 260}, {10 + 3 * i, 280}, 10, 1);
    g_segmentStore.count = 99;
    PairedScan(f, 150, false);
    EXPECT_EQ(g_segmentStore.count, 100);
    EXPECT_EQ(g_segmentStore.seg[99].y0, 100);
    PairedScan(f, 120, false);
    EXPECT_EQ(g_segmentStore.count, 100);
}

}  // namespace

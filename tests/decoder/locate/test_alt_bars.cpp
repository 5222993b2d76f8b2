// The bar tracker's machinery: following bar edges, checking their surroundings and
// stepping across the bars of a linear code, on drawn frames.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "locate/bar_follow.h"
#include "locate/bar_tracker.h"
#include "locate_test.h"

namespace {

using locate_test::GreyFrame;
using vexo::BAR_FOLLOW;
using vexo::BAR_TRACK;
using vexo::GEO_POINT;

constexpr uint8_t kBarsBright = 220;
constexpr uint8_t kBarsDark = 30;

class AltBarsTest : public locate_test::LocateTest {
protected:
    // Fills [x0, x1) x [y0, y1) with a level.
    static void FillBarRect(GreyFrame &f, int x0, int y0, int x1, int y1, uint8_t level) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) f.At(x, y) = level;
    }
    // A downward follow along rows from (x, y0) and (x + lean, y0 + 4), polarity 1.
    static BAR_FOLLOW DownFollow(GEO_POINT start, GEO_POINT next, int step, int width) {
        BAR_FOLLOW r{};
        r.start = start;
        r.next = next;
        r.lateral = static_cast<int16_t>(start.x - next.x);
        r.step = step;
        r.pointerStep = step * width;
        r.polarity = 1;
        r.end = GEO_POINT{-7, -7};
        return r;
    }
    static BAR_TRACK *FreshTrack(GEO_POINT a, GEO_POINT b) {
        static BAR_TRACK track;
        track = BAR_TRACK{};
        track.segments[0] = {a, b};
        track.midpoints[0] = GEO_POINT{(a.x + b.x) >> 1, (a.y + b.y) >> 1};
        track.lengths[0] = std::abs(a.x - b.x) + std::abs(a.y - b.y);
        track.lengthSum = track.lengths[0];
        track.count = 1;
        track.direction = 1;
        return &track;
    }
};

// A dark bar over rows [y0, y1) whose left edge is at column edgeX(y).
struct AltBarShape {
    int y0, y1;
    int x0;
    int leanEvery;  // one pixel right every leanEvery rows; 0: upright
    int bendRow;    // from this row the edge jumps right by bendBy
    int bendBy;
    int EdgeAt(int y) const {
        int x = x0 + (leanEvery > 0 ? (y - y0) / leanEvery : 0);
        if (bendBy != 0 && y >= bendRow) x += bendBy;
        return x;
    }
};

TEST_F(AltBarsTest, FollowsBarEdgesDownRows) {
    struct FollowCase {
        const char *name;
        AltBarShape bar;
        int frameHeight;
        GEO_POINT start, next;
        int minEndY, maxEndY;
        int steps;  // -1: not checked
    };
    const FollowCase cases[] = {
        {"upright bar of 40 rows", {50, 90, 100, 0, 0, 0}, 200, {100, 52}, {100, 56}, 86, 89, 8},
        {"lean of 1 px per 4 rows", {50, 90, 100, 4, 0, 0}, 200, {100, 52}, {101, 56}, 86, 89, 8},
        {"bend of 3 px ends it", {50, 90, 100, 0, 70, 3}, 200, {100, 52}, {100, 56}, 64, 69, -1},
        {"bar to the bottom: stops above height - 17", {20, 120, 100, 0, 0, 0}, 120, {100, 52}, {100, 56}, 100, 100, 12},
    };
    for (const FollowCase &c : cases) {
        SCOPED_TRACE(c.name);
        GreyFrame f(200, c.frameHeight, kBarsBright);
        for (int y = c.bar.y0; y < c.bar.y1; ++y) FillBarRect(f, c.bar.EdgeAt(y), y, c.bar.EdgeAt(y) + 12, y + 1, kBarsDark);
        Install(f);
        BAR_FOLLOW r = DownFollow(c.start, c.next, 4, f.width);
        EXPECT_EQ(vexo::Loc_FollowEdgeRows(&r, 0), 1);
        EXPECT_GE(r.end.y, c.minEndY);
        EXPECT_LE(r.end.y, c.maxEndY);
        EXPECT_NEAR(r.end.x, c.bar.EdgeAt(r.end.y), 1);
        EXPECT_EQ(r.origin.x, c.start.x);
        EXPECT_EQ(r.origin.y, c.start.y);
        if (c.steps >= 0) {
            EXPECT_EQ(r.steps, c.steps);
        }
    }
}

TEST_F(AltBarsTest, FollowsColumnsAsTheTransposedTwin) {
    GreyFrame f(200, 200, kBarsBright);
    FillBarRect(f, 50, 100, 90, 112, kBarsDark);  // a horizontal bar, its top edge at row 100
    Install(f);
    BAR_FOLLOW r{};
    r.start = GEO_POINT{52, 100};
    r.next = GEO_POINT{56, 100};
    r.step = 4;
    r.pointerStep = 4;
    r.polarity = 1;
    EXPECT_EQ(vexo::Loc_FollowEdgeColumns(&r, 0), 1);
    EXPECT_GE(r.end.x, 86);
    EXPECT_LE(r.end.x, 89);
    EXPECT_NEAR(r.end.y, 100, 1);
    EXPECT_EQ(r.steps, 8);
}

TEST_F(AltBarsTest, FollowStartsAndGuards) {
    GreyFrame f(200, 200, kBarsBright);
    FillBarRect(f, 100, 50, 112, 150, kBarsDark);
    Install(f);
    // A 45-degree start halves the step in the record.
    BAR_FOLLOW diag = DownFollow({96, 52}, {100, 56}, 4, f.width);
    vexo::Loc_FollowEdgeRows(&diag, 0);
    EXPECT_EQ(diag.step, 2);
    EXPECT_EQ(diag.pointerStep, 2 * f.width);
    // A step of 1 so halved is 0: nothing to follow, end unwritten.
    BAR_FOLLOW one = DownFollow({99, 55}, {100, 56}, 1, f.width);
    EXPECT_EQ(vexo::Loc_FollowEdgeRows(&one, 0), 0);
    EXPECT_EQ(one.end.x, -7);
    EXPECT_EQ(one.steps, 0);
    // Starts within 15 pixels of the border, a missing record and a scratch area beyond the
    // second buffer answer 0.
    const GEO_POINT nearBorder[][2] = {{{10, 60}, {10, 64}}, {{100, 8}, {100, 12}}, {{100, 186}, {100, 190}}, {{190, 60}, {190, 64}}};
    for (const auto &p : nearBorder) {
        BAR_FOLLOW r = DownFollow(p[0], p[1], 4, f.width);
        EXPECT_EQ(vexo::Loc_FollowEdgeRows(&r, 0), 0) << p[0].x << "," << p[0].y;
        EXPECT_EQ(r.end.x, -7);
    }
    EXPECT_EQ(vexo::Loc_FollowEdgeRows(nullptr, 0), 0);
    BAR_FOLLOW far = DownFollow({100, 52}, {100, 56}, 4, f.width);
    EXPECT_EQ(vexo::Loc_FollowEdgeRows(&far, vexo::kInternalImageBytes - 100), 0);
    EXPECT_EQ(vexo::Loc_FollowEdgeRows(&far, -16), 0);
    // Both ways from two points in the middle of the edge reach both ends of the bar.
    GEO_POINT up{}, down{};
    const GEO_POINT p{100, 96}, q{100, 100};
    EXPECT_EQ(vexo::Loc_FollowEdgeBothWaysRows(&p, &q, &up, &down, 0, 1), 1);
    EXPECT_GE(up.y, 50);
    EXPECT_LE(up.y, 53);
    EXPECT_GE(down.y, 146);
    EXPECT_LE(down.y, 149);
}

TEST_F(AltBarsTest, NeighbourCheckComparesGreyBeyondFirstPairedEdges) {
    struct NeighbourCase {
        uint8_t grey[3];
        int expected;
    };
    const NeighbourCase cases[] = {{{40, 60, 95}, 0}, {{40, 60, 90}, 1}, {{90, 40, 60}, 1}, {{40, 95, 60}, 0}};
    const GEO_POINT a{100, 100}, b{100, 140};
    for (const NeighbourCase &c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.grey[0]) << " " << int(c.grey[1]) << " " << int(c.grey[2]));
        GreyFrame f(200, 200, 200);
        // Probe i runs right from (100, 110 + 10 i): grey i up to column 106, bright beyond.
        for (int i = 0; i < 3; ++i) FillBarRect(f, 100, 105 + 10 * i, 107, 115 + 10 * i, c.grey[i]);
        Install(f);
        EXPECT_EQ(vexo::Loc_CheckBarNeighbours(&a, &b, 0, 1, 102), c.expected);
    }
    GreyFrame flat(200, 200, 200);
    Install(flat);
    EXPECT_EQ(vexo::Loc_CheckBarNeighbours(&a, &b, 0, 1, 102), 1);
}

TEST_F(AltBarsTest, SteppingAcrossBarsCollectsTheirEdgesInOrder) {
    struct StepCase {
        const char *name;
        std::vector<int> tall;  // bars drawn twice as long as the others
        std::vector<int> expectedBars;
    };
    const StepCase cases[] = {
        {"20 equal bars", {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {"a long bar is skipped", {5}, {1, 2, 3, 4, 6, 7, 8, 9, 10, 11}},
        {"the third long bar in a row ends the walk", {5, 8, 9, 10}, {1, 2, 3, 4, 6, 7}},
    };
    // The lines reach about three segment lengths (117 px) to the side: bars 1 to 11.
    for (const StepCase &c : cases) {
        SCOPED_TRACE(c.name);
        GreyFrame f(400, 240, kBarsBright);
        for (int i = 0; i < 20; ++i) {
            bool tall = false;
            for (int t : c.tall) tall = tall || t == i;
            FillBarRect(f, 100 + 10 * i, tall ? 60 : 80, 105 + 10 * i, tall ? 180 : 120, kBarsDark);
        }
        Install(f);
        const GEO_POINT a{100, 80}, b{100, 119};
        BAR_TRACK *t = FreshTrack(a, b);
        const int added = vexo::Loc_StepToNextBars(&a, &b, 1, 0, t);
        EXPECT_EQ(added, static_cast<int>(c.expectedBars.size()));
        ASSERT_EQ(t->count, added + 1);
        for (int k = 1; k < t->count; ++k) {
            EXPECT_NEAR(t->midpoints[k].x, 100 + 10 * c.expectedBars[k - 1], 1) << "segment " << k;
            EXPECT_NEAR(t->spacings[k], std::abs(t->midpoints[k].x - t->midpoints[k - 1].x) +
                                            std::abs(t->midpoints[k].y - t->midpoints[k - 1].y), 0);
        }
    }
}

TEST_F(AltBarsTest, SteppingGuardsAndSmoothing) {
    GreyFrame f(400, 240, kBarsBright);
    for (int i = 0; i < 20; ++i) FillBarRect(f, 100 + 10 * i, 80, 105 + 10 * i, 120, kBarsDark);
    Install(f);
    const GEO_POINT a{100, 80}, b{100, 119};
    BAR_TRACK *t = FreshTrack(a, b);
    t->count = vexo::kBarTrackMax;
    EXPECT_EQ(vexo::Loc_StepToNextBars(&a, &b, 1, 0, t), 0);
    EXPECT_EQ(t->count, vexo::kBarTrackMax);
    t->count = 0;
    EXPECT_EQ(vexo::Loc_StepToNextBars(&a, &b, 1, 0, t), 0);
    EXPECT_EQ(t->count, 0);
    // A point inside a stored region stops the walk at once.
    vexo::g_barResults.count = 1;
    vexo::g_barResults.regions[0] = vexo::REGION_QUAD{{{104, 60}, {300, 60}, {104, 140}, {300, 140}}};
    t = FreshTrack(a, b);
    EXPECT_EQ(vexo::Loc_StepToNextBars(&a, &b, 1, 0, t), 0);
    const GEO_POINT inside{150, 100}, outside{50, 100};
    EXPECT_EQ(vexo::Loc_PointInBarRegions(&inside), 1);
    EXPECT_EQ(vexo::Loc_PointInBarRegions(&outside), 0);

    uint8_t two[2] = {0, 255};
    vexo::Loc_SmoothProfile3(two, 2);
    EXPECT_EQ(two[0], 0);
    EXPECT_EQ(two[1], 255);
    uint8_t three[3] = {0, 100, 255};
    vexo::Loc_SmoothProfile3(three, 3);
    EXPECT_EQ(three[0], 0);
    EXPECT_EQ(three[1], (0 + 400 + 510) >> 3);
    EXPECT_EQ(three[2], 255);
    uint8_t four[4] = {8, 0, 8, 0};
    vexo::Loc_SmoothProfile3(four, 4);  // each from the unsmoothed neighbours
    EXPECT_EQ(four[1], 4);
    EXPECT_EQ(four[2], 4);
}

// Twenty dark bars 5 px wide every 10 px over rows [top, top + height), from column left.
void DrawBarCode(GreyFrame &f, int left, int top, int height) {
    for (int i = 0; i < 20; ++i)
        for (int y = top; y < top + height; ++y)
            for (int x = left + 10 * i; x < left + 10 * i + 5; ++x) f.At(x, y) = kBarsDark;
}

vexo::REGION_QUAD AltBarsQuad(int l, int t, int r, int b) { return vexo::REGION_QUAD{{{l, t}, {r, t}, {l, b}, {r, b}}}; }

TEST_F(AltBarsTest, ScanPositionsComeCoarseToFine) {
    UseSize(640, 480);
    struct ScanCase {
        int span;
        std::vector<int> offsets;
    };
    const ScanCase cases[] = {
        {256, {128, 64, 192, 32, 96, 160, 224, 16, 48, 80, 112, 144, 176, 208, 240}},
        {100, {50, 25, 75}},
        {31, {}},
    };
    for (const ScanCase &c : cases) {
        SCOPED_TRACE(c.span);
        const vexo::REGION_QUAD q = AltBarsQuad(10, 100, 10 + c.span - 1, 100 + c.span - 1);
        int32_t rows[32] = {}, columns[32] = {};
        ASSERT_EQ(vexo::Loc_BarScanPositions(rows, columns, &q, 1), static_cast<int>(c.offsets.size()));
        for (size_t i = 0; i < c.offsets.size(); ++i) EXPECT_EQ(rows[i], 100 + c.offsets[i]) << i;
        ASSERT_EQ(vexo::Loc_BarScanPositions(rows, columns, &q, 2), static_cast<int>(c.offsets.size()));
        for (size_t i = 0; i < c.offsets.size(); ++i) EXPECT_EQ(columns[i], 10 + c.offsets[i]) << i;
        EXPECT_EQ(vexo::Loc_BarScanPositions(rows, columns, &q, 0), 0);
    }
}

TEST_F(AltBarsTest, TrackerFindsDrawnBarsInUnskippedRegions) {
    GreyFrame f(640, 480, kBarsBright);
    DrawBarCode(f, 200, 150, 100);
    Install(f);
    const vexo::REGION_QUAD region = AltBarsQuad(180, 130, 420, 270);
    vexo::g_state.regionClass[0] = vexo::kBarClassSkipped;
    EXPECT_EQ(vexo::Loc_TrackBarRegions(&region, 1), 0);
    EXPECT_EQ(vexo::g_barResults.count, 0);
    vexo::g_state.regionClass[0] = 1000;
    vexo::Loc_TrackBarRegions(&region, 1);
    ASSERT_GE(vexo::g_barResults.count, 1);
    const GEO_POINT centre{297, 200};
    EXPECT_EQ(vexo::Loc_PointInBarRegions(&centre), 1);
    EXPECT_EQ(vexo::g_barResults.dense[0], 1);
    EXPECT_GT(vexo::g_barResults.pairRate[0], 80);

    // Full table: a further call adds nothing but measures every stored region again.
    vexo::g_barResults.count = vexo::kBarRegionsMax;
    for (int k = 0; k < vexo::kBarRegionsMax; ++k) {
        vexo::g_barResults.regions[k] = vexo::g_barResults.regions[0];
        vexo::g_barResults.pairRate[k] = -1;
    }
    vexo::Loc_TrackBarRegions(&region, 1);
    EXPECT_EQ(vexo::g_barResults.count, vexo::kBarRegionsMax);
    for (int k = 0; k < vexo::kBarRegionsMax; ++k) EXPECT_GT(vexo::g_barResults.pairRate[k], 80) << k;

    // Getters copy min(count, max); the reset keeps regions and rates.
    vexo::REGION_QUAD out[vexo::kBarRegionsMax + 2];
    int32_t rates[vexo::kBarRegionsMax + 2], dense[vexo::kBarRegionsMax + 2];
    EXPECT_EQ(vexo::Loc_GetBarRegions(out, 3), 3);
    EXPECT_EQ(vexo::Loc_GetBarRegions(out, 30), vexo::kBarRegionsMax);
    EXPECT_EQ(vexo::Loc_GetBarPairRates(rates, 30), vexo::kBarRegionsMax);
    EXPECT_EQ(vexo::Loc_GetBarDenseFlags(dense, 5), 5);
    EXPECT_EQ(vexo::Loc_GetBarRegions(out, 0), 0);
    EXPECT_EQ(vexo::Loc_GetBarPairRates(nullptr, 4), 0);
    EXPECT_EQ(out[4], vexo::g_barResults.regions[4]);
    vexo::Loc_ResetBarRegions();
    EXPECT_EQ(vexo::g_barResults.count, 0);
    EXPECT_EQ(vexo::g_barResults.dense[0], 0);
    EXPECT_EQ(vexo::g_barResults.segmentCount[0], 0);
    EXPECT_EQ(vexo::g_barResults.pairRate[3], rates[3]);
    EXPECT_EQ(vexo::g_barResults.regions[3], out[3]);
}

TEST_F(AltBarsTest, TracksOfMoreThanFourSegmentsBuildRegions) {
    GreyFrame f(640, 480, kBarsBright);
    Install(f);
    for (int segments : {4, 5}) {
        SCOPED_TRACE(segments);
        vexo::g_barResults = vexo::BAR_RESULTS{};
        static BAR_TRACK track;
        track = BAR_TRACK{};
        for (int i = 0; i < segments; ++i) track.segments[i] = {{200 + 10 * i, 150}, {200 + 10 * i, 250}};
        track.count = segments;
        track.endB = 0;
        track.endA = segments - 1;
        EXPECT_EQ(vexo::Loc_BuildBarRegionIfLong(&track, 13312, 1), 0);
        ASSERT_EQ(vexo::g_barResults.count, segments > 4 ? 1 : 0);
        if (segments > 4) {
            EXPECT_EQ(vexo::g_barResults.segmentCount[0], segments);
            const GEO_POINT inside{220, 200}, outside{220, 300};
            EXPECT_EQ(vexo::Loc_PointInBarRegions(&inside), 1);
            EXPECT_EQ(vexo::Loc_PointInBarRegions(&outside), 0);
        }
    }
    // Bars along the fitted lines' direction: the lines meet nowhere and the region is skipped.
    vexo::g_barResults = vexo::BAR_RESULTS{};
    GEO_POINT squares[3][4];
    const vexo::BAR_SEGMENT flat[3] = {{{200, 150}, {300, 150}}, {{200, 160}, {300, 160}}, {{200, 170}, {300, 170}}};
    for (int i = 0; i < 3; ++i) vexo::Loc_SegmentSquare(&flat[i], squares[i]);
    vexo::Loc_FitBarRegionQuad(squares, 3, 13312, 1, &flat[0], &flat[2], 3);
    EXPECT_EQ(vexo::g_barResults.count, 0);
}

TEST_F(AltBarsTest, LineMeasuresOnFlatFrames) {
    GreyFrame grey(200, 200, 200);
    Install(grey);
    const GEO_POINT p{20, 100}, q{180, 100};
    EXPECT_EQ(vexo::Loc_LineContrastRatio(&p, &q, 13312), 0);
    const vexo::REGION_QUAD region = AltBarsQuad(40, 40, 160, 160);
    EXPECT_EQ(vexo::Loc_RegionEdgesPair(&region, 0), 1);
    EXPECT_EQ(vexo::Loc_RegionEdgesPair(&region, 1), 1);
    GreyFrame black(200, 200, 0);
    Install(black);
    EXPECT_EQ(vexo::Loc_LineContrastRatio(&p, &q, 13312), 102);
}

TEST_F(AltBarsTest, TrackerReadsOnlyInsideTheFrame) {
    // 51 regions (classes are known for 50), regions past every edge and odd frame sizes.
    const int sizes[][2] = {{640, 480}, {97, 83}, {33, 200}};
    for (const auto &sz : sizes) {
        SCOPED_TRACE(testing::Message() << sz[0] << "x" << sz[1]);
        vexo::g_barResults = vexo::BAR_RESULTS{};
        GreyFrame f(sz[0], sz[1], kBarsBright);
        for (int y = 0; y < sz[1]; ++y)
            for (int x = 0; x < sz[0]; ++x) f.At(x, y) = (x / 5) % 2 != 0 ? kBarsDark : kBarsBright;
        Install(f);
        std::vector<vexo::REGION_QUAD> regions;
        for (int k = 0; k < 51; ++k) regions.push_back(AltBarsQuad(-50 - k, -40, sz[0] + 60, sz[1] + 70 + k));
        regions.push_back(AltBarsQuad(10, 10, 20000, 20000));
        EXPECT_EQ(vexo::Loc_TrackBarRegions(regions.data(), static_cast<int>(regions.size())), 0);
        EXPECT_LE(vexo::g_barResults.count, vexo::kBarRegionsMax);
    }
}

}  // namespace

#include "locate/bar_tracker.h"

#include <cstdint>

#include "core/pixel.h"
#include "core/state.h"
#include "toolkit/geometry_points.h"
#include "toolkit/profile.h"
#include "toolkit/quad.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kLineEdgesMax = 128;
constexpr i32 kLineMinStep = 6;
constexpr i32 kScanLevels = 5;
constexpr i32 kMinScanGap = 16;
constexpr i32 kScanLinesUsed = 16;
constexpr i32 kLongTrack = 4;  // a track of more segments builds a region
constexpr i32 kPassSettle = 2;
constexpr i32 kFitPointsMax = 200;
constexpr i32 kCornerReach = 30;
constexpr i32 kMeasureSamples = 1280;
constexpr i32 kMeasureEdges = 256;
constexpr i32 kRegionLineOffset = 12;

struct ROW_SCRATCH {
    i32 lists[2][kLineEdgesMax];
    i32 matchA[kLineEdgesMax];
    i32 matchB[kLineEdgesMax];
};
struct FIT_SCRATCH {
    GEO_POINT squares[kBarTrackMax][4];
    POINT_NODE lists[2][kFitPointsMax];
};
struct LINE_SCRATCH {
    i32 xs[2][kMeasureSamples];
    i32 ys[2][kMeasureSamples];
    i32 edges[2][kMeasureEdges];
    i32 matchA[kMeasureEdges];
    i32 matchB[kMeasureEdges];
    u8 samples[2][kMeasureSamples];
};

// Areas of the second buffer while tracking: the row (column) edge lists live through the
// whole row; the followers and checks run at one offset and their callees one area further;
// the fitting comes after the stepping and may reuse the followers' bytes; the measurement
// and the region test run alone from 0.
struct BAR_AREA {
    i32 offset;
    i32 bytes;
    constexpr i32 End() const { return offset + bytes; }
};
constexpr BAR_AREA kRowEdgeArea{6400, static_cast<i32>(sizeof(ROW_SCRATCH))};
constexpr BAR_AREA kFollowArea{13312, kBarScratchBytes};
constexpr BAR_AREA kCalleeArea{kFollowArea.End(), kBarScratchBytes};
constexpr BAR_AREA kFitArea{13312 + 2400, static_cast<i32>(sizeof(FIT_SCRATCH))};
constexpr BAR_AREA kContrastArea{kFollowArea.offset, kMeasureSamples};
constexpr BAR_AREA kMeasureArea{0, static_cast<i32>(sizeof(LINE_SCRATCH))};
constexpr bool Apart(BAR_AREA a, BAR_AREA b) { return a.End() <= b.offset || b.End() <= a.offset; }
static_assert(kCalleeArea.offset == 18048);
static_assert(Apart(kRowEdgeArea, kFollowArea) && Apart(kRowEdgeArea, kCalleeArea));
static_assert(Apart(kFollowArea, kCalleeArea));
static_assert(Apart(kRowEdgeArea, kFitArea) && Apart(kRowEdgeArea, kContrastArea));
static_assert(kContrastArea.End() <= kFollowArea.End());
static_assert(kFitArea.End() <= kBarTrackerWorkBytes && kCalleeArea.End() <= kBarTrackerWorkBytes);
static_assert(kMeasureArea.End() <= kBarTrackerWorkBytes && kBarTrackerWorkBytes <= kInternalImageBytes);

template <typename T>
T *TrackerScratch(BAR_AREA area) {
    static_assert(sizeof(T) <= 0x7fffffff);
    u8 *work = Pix_WorkMemory(area.End());
    if (work == nullptr) return nullptr;
    u8 *at = work + area.offset;
    if (reinterpret_cast<uintptr_t>(at) % alignof(T) != 0) return nullptr;
    return reinterpret_cast<T *>(at);
}

// One start segment's track; lives for one start segment.
BAR_TRACK g_barTrack;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }
i32 Clamp32(i32 v, i32 lo, i32 hi) { return v < lo ? lo : (v > hi ? hi : v); }
i32 Near16(i32 v) { return (v + 8) >> 4; }
GEO_POINT Mid(GEO_POINT a, GEO_POINT b) { return GEO_POINT{(a.x + b.x) >> 1, (a.y + b.y) >> 1}; }

// The region cut to the frame (TL.x, TR.x, TL.y and BL.y are what the tracker reads).
REGION_QUAD CutToFrame(const REGION_QUAD &r) {
    REGION_QUAD c = r;
    const i32 w = g_image.width - 1, h = g_image.height - 1;
    for (POINT_I32 &p : c.c) p = POINT_I32{Clamp32(p.x, 0, w), Clamp32(p.y, 0, h)};
    return c;
}

i32 RegionClassOf(i32 k) { return k < kMaxRegions ? g_state.regionClass[k] : 0; }

bool SamePass(const BAR_SEGMENT &s, const BAR_SEGMENT &t) {
    return Abs32(s.a.x - t.a.x) <= kPassSettle && Abs32(s.a.y - t.a.y) <= kPassSettle &&
           Abs32(s.b.x - t.b.x) <= kPassSettle && Abs32(s.b.y - t.b.y) <= kPassSettle;
}

// Steps on from the track's last segment until a pass adds nothing or ends where the last did.
void StepUntilSettled(BAR_TRACK *t, i32 r, i32 rows) {
    BAR_SEGMENT previous{};
    for (i32 budget = kBarTrackMax; r > 0 && budget > 0; --budget) {
        const BAR_SEGMENT last = t->segments[t->count - 1];
        if (SamePass(last, previous)) break;
        previous = last;
        r = Loc_StepToNextBars(&last.a, &last.b, rows, kFollowArea.offset, t);
    }
}

// Tracks from the start segment (a upper or left, b lower or right); false ends the line.
bool TrackFromSegment(GEO_POINT a, GEO_POINT b, i32 rows) {
    const GEO_POINT m = Mid(a, b);
    GEO_POINT across1{}, across2{};
    Geo_RotatePlus90(&a, &m, &across1);
    Geo_RotateMinus90(&a, &m, &across2);
    g_barContrastRatio = Loc_LineContrastRatio(&across1, &across2, kContrastArea.offset);
    BAR_TRACK *t = &g_barTrack;
    *t = BAR_TRACK{};
    t->segments[0] = BAR_SEGMENT{a, b};
    t->midpoints[0] = m;
    if (Loc_PointInBarRegions(&m) != 0) return false;
    t->lengths[0] = Abs32(a.x - b.x) + Abs32(a.y - b.y);
    t->lengthSum = t->lengths[0];
    t->direction = 1;
    t->count = 1;
    StepUntilSettled(t, Loc_StepToNextBars(&a, &b, rows, kFollowArea.offset, t), rows);
    t->endA = t->count - 1;
    if (t->count < kBarTrackMax) {
        const i32 s = t->count;
        t->segments[s] = BAR_SEGMENT{b, a};
        t->midpoints[s] = m;
        t->lengths[s] = t->lengths[0];
        t->direction = 0;
        t->count = s + 1;
        const i32 r = Loc_StepToNextBars(&b, &a, rows, kFollowArea.offset, t);
        if (r == 0) {
            t->segments[t->count - 1] = BAR_SEGMENT{a, b};
            t->endB = 0;
        } else {
            StepUntilSettled(t, r, rows);
            t->endB = t->count - 1;
            for (i32 i = s; i <= t->endB; ++i) t->segments[i] = BAR_SEGMENT{t->segments[i].b, t->segments[i].a};
        }
    }
    if (t->count > kLongTrack) {
        if (g_barResults.count >= kBarRegionsMax) return false;
        Loc_BuildBarRegion(t, kFollowArea.offset, rows);
    }
    return true;
}

// The start segment of the edge through p and q, or false. Columns want more than two
// steps on a one-sided follow.
bool StartSegment(GEO_POINT p, GEO_POINT q, i32 rows, BAR_SEGMENT *out) {
    BAR_FOLLOW f{}, g{};
    f.start = g.next = p;
    f.next = g.start = q;
    const i32 lat = rows != 0 ? p.x - q.x : p.y - q.y;
    f.lateral = static_cast<i16>(lat);
    g.lateral = static_cast<i16>(-lat);
    f.step = 4;
    g.step = -4;
    f.pointerStep = rows != 0 ? 4 * g_image.width : 4;
    g.pointerStep = -f.pointerStep;
    f.polarity = g.polarity = 1;
    f.stopInRegions = g.stopInRegions = 1;
    if (rows != 0) {
        Loc_FollowEdgeRows(&f, kFollowArea.offset);
        Loc_FollowEdgeRows(&g, kFollowArea.offset);
    } else {
        Loc_FollowEdgeColumns(&f, kFollowArea.offset);
        Loc_FollowEdgeColumns(&g, kFollowArea.offset);
    }
    const i32 oneSided = rows != 0 ? 2 : 3;
    if (f.steps >= 2 && g.steps >= 2) {
        *out = BAR_SEGMENT{g.end, f.end};
    } else if (f.steps >= oneSided && g.steps < 2) {
        *out = BAR_SEGMENT{p, f.end};
    } else if (g.steps >= oneSided && f.steps < 2) {
        *out = BAR_SEGMENT{g.end, q};
    } else {
        return false;
    }
    return true;
}

// Rows (rows 1): lines y and y + 4 over TL.x .. TR.x; columns: x and x + 4 over TL.y .. BL.y.
void TrackBarsOnLine(i32 at, const REGION_QUAD *region, i32 rows) {
    if (region == nullptr || g_image.data == nullptr || g_image.width <= 0 || g_image.height <= 0) return;
    ROW_SCRATCH *s = TrackerScratch<ROW_SCRATCH>(kRowEdgeArea);
    if (s == nullptr) return;
    const REGION_QUAD r = CutToFrame(*region);
    const i32 alongSize = rows != 0 ? g_image.height : g_image.width;
    if (at < 0 || at + 4 >= alongSize) return;
    const i32 from = rows != 0 ? r.c[kTopLeft].x : r.c[kTopLeft].y;
    const i32 to = rows != 0 ? r.c[kTopRight].x : r.c[kBottomLeft].y;
    const i32 n = to - from + 1;
    i32 counts[2];
    for (i32 i = 0; i < 2; ++i) {
        const i32 line = at + 4 * i;
        const u8 *first = rows != 0 ? g_image.data + static_cast<i64>(line) * g_image.width + from
                                    : g_image.data + static_cast<i64>(from) * g_image.width + line;
        counts[i] = rows != 0 ? Prof_FindFallingEdges(first, n, kBarEdgeRatio, kLineMinStep, s->lists[i], kLineEdgesMax)
                              : Prof_FindColumnFallingEdges(first, n, kBarEdgeRatio, kLineMinStep, s->lists[i],
                                                            kLineEdgesMax);
        if (counts[i] <= 3) return;
    }
    const i32 pairs = Loc_PairBarEdgeLists(s->lists[0], counts[0], s->lists[1], counts[1], s->matchA, s->matchB);
    if (pairs <= 0) return;
    for (i32 k = 0; k < pairs && g_barResults.count < kBarRegionsMax; ++k) {
        const i32 pa = from + Near16(s->lists[0][s->matchA[k]]), pb = from + Near16(s->lists[1][s->matchB[k]]);
        const GEO_POINT p = rows != 0 ? GEO_POINT{pa, at} : GEO_POINT{at, pa};
        const GEO_POINT q = rows != 0 ? GEO_POINT{pb, at + 4} : GEO_POINT{at + 4, pb};
        if (Loc_PointInBarRegions(&p) != 0) continue;
        BAR_SEGMENT seg{};
        if (!StartSegment(p, q, rows, &seg)) continue;
        if (Loc_CheckBarNeighbours(&seg.a, &seg.b, kFollowArea.offset, 1, g_barContrastRatio) == 0) continue;
        if (!TrackFromSegment(seg.a, seg.b, rows)) return;
    }
}

// Edges of both directions on a line, at most 1280 samples and 256 edges.
i32 LineEdges(LINE_SCRATCH *s, i32 i, const GEO_POINT *p, const GEO_POINT *q) {
    const i32 n = Geo_SampleLineWithCoords(g_image.data, p, q, s->samples[i], s->xs[i], s->ys[i], kMeasureSamples);
    return Prof_FindEdgesSub16(s->samples[i], n, s->edges[i], kMeasureEdges, g_barContrastRatio, kLineMinStep);
}

struct LINE_PAIRS {
    i32 e1, e2, matched;
};
LINE_PAIRS PairLines(LINE_SCRATCH *s, const GEO_POINT *p1, const GEO_POINT *q1, const GEO_POINT *p2,
                     const GEO_POINT *q2) {
    LINE_PAIRS out{LineEdges(s, 0, p1, q1), LineEdges(s, 1, p2, q2), 0};
    out.matched = Loc_PairBarEdgeLists(s->edges[0], out.e1, s->edges[1], out.e2, s->matchA, s->matchB);
    return out;
}

}  // namespace

i32 Loc_TrackBarRegions(const REGION_QUAD *regions, i32 count) {
    if (regions != nullptr) {
        i32 rows[kBarScanPositionsMax] = {};
        i32 columns[kBarScanPositionsMax] = {};
        for (i32 k = 0; k < count; ++k) {
            if (RegionClassOf(k) == kBarClassSkipped) continue;
            Loc_TrackBarRows(rows, Loc_BarScanPositions(rows, columns, &regions[k], 1), &regions[k]);
        }
        for (i32 k = 0; k < count; ++k) {
            if (RegionClassOf(k) == kBarClassSkipped) continue;
            Loc_TrackBarColumns(columns, Loc_BarScanPositions(rows, columns, &regions[k], 2), &regions[k]);
        }
    }
    Loc_MeasureBarRegions();
    return 0;
}

i32 Loc_BarScanPositions(i32 *rows, i32 *columns, const REGION_QUAD *region, u32 which) {
    if (region == nullptr || g_image.width <= 0 || g_image.height <= 0) return 0;
    const REGION_QUAD r = CutToFrame(*region);
    i32 span = 0, base = 0;
    i32 *out = nullptr;
    if ((which & 1u) != 0) {
        span = r.c[kBottomLeft].y - r.c[kTopLeft].y + 1;
        base = r.c[kTopLeft].y;
        out = rows;
    } else if ((which & 2u) != 0) {
        span = r.c[kTopRight].x - r.c[kTopLeft].x + 1;
        base = r.c[kTopLeft].x;
        out = columns;
    }
    if (out == nullptr) return 0;
    i32 n = 0;
    for (i32 i = 1, d = 2; i <= kScanLevels; ++i, d *= 2) {
        if (span / d < kMinScanGap) break;
        const float e = static_cast<float>(span) / static_cast<float>(d);
        float at = e;
        for (i32 j = 0; j < d / 2; ++j) {
            out[n++] = base + static_cast<i32>(at);
            at += 2.0f * e;
        }
    }
    return n;
}

i32 Loc_TrackBarRows(const i32 *rows, i32 n, const REGION_QUAD *region) {
    for (i32 i = 0; rows != nullptr && i < n && i < kScanLinesUsed; ++i) Loc_TrackBarsOnRow(rows[i], region);
    return 0;
}

i32 Loc_TrackBarColumns(const i32 *columns, i32 n, const REGION_QUAD *region) {
    for (i32 i = 0; columns != nullptr && i < n && i < kScanLinesUsed; ++i) Loc_TrackBarsOnColumn(columns[i], region);
    return 0;
}

void Loc_TrackBarsOnRow(i32 y, const REGION_QUAD *region) { TrackBarsOnLine(y, region, 1); }
void Loc_TrackBarsOnColumn(i32 x, const REGION_QUAD *region) { TrackBarsOnLine(x, region, 0); }

void Loc_SegmentSquare(const BAR_SEGMENT *s, GEO_POINT out[4]) {
    if (s == nullptr || out == nullptr) return;
    Geo_RotatePlus90(&s->a, &s->b, &out[0]);
    Geo_RotateMinus90(&s->a, &s->b, &out[1]);
    Geo_RotateMinus90(&s->b, &s->a, &out[2]);
    Geo_RotatePlus90(&s->b, &s->a, &out[3]);
}

void Loc_BuildBarRegion(const BAR_TRACK *track, i32 scratchOffset, i32 rows) {
    if (track == nullptr || track->count <= 0) return;
    FIT_SCRATCH *s = TrackerScratch<FIT_SCRATCH>(kFitArea);
    if (s == nullptr) return;
    const i32 n = track->count > kBarTrackMax ? kBarTrackMax : track->count;
    for (i32 i = 0; i < n; ++i) Loc_SegmentSquare(&track->segments[i], s->squares[i]);
    const i32 endB = Clamp32(track->endB, 0, n - 1), endA = Clamp32(track->endA, 0, n - 1);
    Loc_FitBarRegionQuad(s->squares, n, scratchOffset, rows, &track->segments[endB], &track->segments[endA], n);
}

i32 Loc_BuildBarRegionIfLong(const BAR_TRACK *track, i32 scratchOffset, i32 rows) {
    if (track != nullptr && track->count > kLongTrack && g_barResults.count < kBarRegionsMax)
        Loc_BuildBarRegion(track, scratchOffset, rows);
    return 0;
}

void Loc_FitBarRegionQuad(const GEO_POINT (*squares)[4], i32 n, i32 /*scratchOffset*/, i32 rows,
                          const BAR_SEGMENT *first, const BAR_SEGMENT *last, i32 segmentCount) {
    if (squares == nullptr || first == nullptr || last == nullptr || n <= 0) return;
    if (g_barResults.count < 0 || g_barResults.count >= kBarRegionsMax) return;
    FIT_SCRATCH *s = TrackerScratch<FIT_SCRATCH>(kFitArea);
    if (s == nullptr) return;
    i32 counts[2] = {0, 0};
    for (i32 i = 0; i < n && i < kBarTrackMax; ++i) {
        for (i32 side = 0; side < 2; ++side) {
            const GEO_POINT &from = squares[i][2 * side], &to = squares[i][2 * side + 1];
            const i32 L = static_cast<i32>(Geo_Distance(from.x, from.y, to.x, to.y) + 0.5);
            const i32 g = static_cast<i32>(L / 3.0 + 0.5);
            for (i32 j = 1; g > 0 && j * g < L && counts[side] < kFitPointsMax; ++j) {
                POINT_NODE &node = s->lists[side][counts[side]];
                GEO_POINT at{};
                Geo_StepTowards(&from, &to, &at, j * g);
                node = POINT_NODE{at.x, at.y, nullptr};
                if (counts[side] > 0) s->lists[side][counts[side] - 1].next = &node;
                ++counts[side];
            }
        }
    }
    LINE_FIT fit1{}, fit2{}, firstLine{}, lastLine{};
    const i32 alongX = rows != 0 ? 1 : 0;
    if (Geo_FitLineToPointList(s->lists[0], counts[0], &fit1, alongX) == 0) return;
    if (Geo_FitLineToPointList(s->lists[1], counts[1], &fit2, alongX) == 0) return;
    Geo_LineThroughPoints(&first->a, &first->b, &firstLine);
    Geo_LineThroughPoints(&last->a, &last->b, &lastLine);
    GEO_POINT p1{}, p2{}, p3{}, p4{};
    // Parallel lines give no corner: the region is skipped.
    if (Geo_IntersectLineFits(&fit1, &firstLine, &p1) == 0 || Geo_IntersectLineFits(&fit2, &firstLine, &p2) == 0 ||
        Geo_IntersectLineFits(&fit1, &lastLine, &p3) == 0 || Geo_IntersectLineFits(&fit2, &lastLine, &p4) == 0)
        return;
    const i32 k = g_barResults.count;
    REGION_QUAD &q = g_barResults.regions[k];
    Geo_StepTowards(&p1, &p3, &q.c[0], -kCornerReach);
    Geo_StepTowards(&p3, &p1, &q.c[1], -kCornerReach);
    Geo_StepTowards(&p2, &p4, &q.c[2], -kCornerReach);
    Geo_StepTowards(&p4, &p2, &q.c[3], -kCornerReach);
    g_barResults.segmentCount[k] = segmentCount;
    g_barResults.count = k + 1;
}

void Loc_MeasureBarRegions() {
    for (i32 &r : g_barResults.pairRate) r = 0;
    const i32 n = Clamp32(g_barResults.count, 0, kBarRegionsMax);
    for (i32 k = 0; k < n; ++k) Loc_MeasureBarRegion(&g_barResults.regions[k], k);
}

f64 Loc_MeasureBarRegion(const REGION_QUAD *region, i32 k) {
    if (region == nullptr || k < 0 || k >= kBarRegionsMax || g_image.data == nullptr) return 0.0;
    LINE_SCRATCH *s = TrackerScratch<LINE_SCRATCH>(kMeasureArea);
    if (s == nullptr) return 0.0;
    const GEO_POINT m1 = Mid(region->c[0], region->c[2]), m2 = Mid(region->c[1], region->c[3]);
    GEO_POINT p1{}, p2{};
    Geo_StepTowards(&m1, &region->c[0], &p1, 4);
    Geo_StepTowards(&m2, &region->c[1], &p2, 4);
    const LINE_PAIRS lp = PairLines(s, &m1, &m2, &p1, &p2);
    const i32 l = lp.e1 > lp.e2 ? lp.e1 : lp.e2;
    if (l == 0) return 0.0;
    const f64 threshold = static_cast<f64>(static_cast<i32>(l * 0.8 * 0.25 + 0.5));
    if (threshold < g_barResults.segmentCount[k]) g_barResults.dense[k] = 1;
    g_barResults.pairRate[k] = lp.matched * 100 / l;
    return threshold;
}

i32 Loc_GetBarRegions(REGION_QUAD *out, i32 max) {
    if (out == nullptr || max <= 0) return 0;
    const i32 n = Clamp32(g_barResults.count, 0, max < kBarRegionsMax ? max : kBarRegionsMax);
    for (i32 k = 0; k < n; ++k) out[k] = g_barResults.regions[k];
    return n;
}

i32 Loc_GetBarPairRates(i32 *out, i32 max) {
    if (out == nullptr || max <= 0) return 0;
    const i32 n = Clamp32(g_barResults.count, 0, max < kBarRegionsMax ? max : kBarRegionsMax);
    for (i32 k = 0; k < n; ++k) out[k] = g_barResults.pairRate[k];
    return n;
}

i32 Loc_GetBarDenseFlags(i32 *out, i32 max) {
    if (out == nullptr || max <= 0) return 0;
    const i32 n = Clamp32(g_barResults.count, 0, max < kBarRegionsMax ? max : kBarRegionsMax);
    for (i32 k = 0; k < n; ++k) out[k] = g_barResults.dense[k];
    return n;
}

void Loc_ResetBarRegions() {
    g_barResults.count = 0;
    for (i32 &v : g_barResults.segmentCount) v = 0;
    for (i32 &v : g_barResults.dense) v = 0;
}

int Loc_RegionEdgesPair(const REGION_QUAD *region, i32 across) {
    if (region == nullptr || g_image.data == nullptr) return 0;
    LINE_SCRATCH *s = TrackerScratch<LINE_SCRATCH>(kMeasureArea);
    if (s == nullptr) return 0;
    const REGION_QUAD &r = *region;
    const GEO_POINT m1 = across == 0 ? Mid(r.c[kTopLeft], r.c[kBottomLeft]) : Mid(r.c[kTopLeft], r.c[kTopRight]);
    const GEO_POINT m2 = across == 0 ? Mid(r.c[kTopRight], r.c[kBottomRight]) : Mid(r.c[kBottomLeft], r.c[kBottomRight]);
    const GEO_POINT &far2 = across == 0 ? r.c[kTopRight] : r.c[kBottomLeft];
    GEO_POINT p1{}, p2{};
    Geo_StepTowards(&m1, &r.c[kTopLeft], &p1, kRegionLineOffset);
    Geo_StepTowards(&m2, &far2, &p2, kRegionLineOffset);
    const LINE_PAIRS lp = PairLines(s, &m1, &m2, &p1, &p2);
    const i32 l = lp.e1 > lp.e2 ? lp.e1 : lp.e2;
    return lp.matched >= 0.8 * l ? 1 : 0;
}

i32 Loc_LineContrastRatio(const GEO_POINT *p, const GEO_POINT *q, i32 scratchOffset) {
    constexpr i32 kNoRatio = 102;
    if (p == nullptr || q == nullptr || g_image.data == nullptr || scratchOffset < 0) return kNoRatio;
    u8 *work = Pix_WorkMemory(static_cast<i64>(scratchOffset) + kMeasureSamples);
    if (work == nullptr) return kNoRatio;
    u8 *samples = work + scratchOffset;
    const i32 n = Geo_SampleLine(g_image.data, p, q, samples, kMeasureSamples);
    if (n <= 0) return kNoRatio;
    i32 max = 0;
    i64 sum = 0;
    for (i32 i = 0; i < n; ++i) {
        max = samples[i] > max ? samples[i] : max;
        sum += samples[i];
    }
    if (max == 0) return kNoRatio;
    const float bracket = (static_cast<float>(max) - static_cast<float>(sum) / static_cast<float>(n)) * 1024.0f;
    return static_cast<i32>(static_cast<f64>(bracket) * 0.6 / max);
}

}  // namespace vexo

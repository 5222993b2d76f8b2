#include "linear_image/lineimg_segments.h"

#include "linear_image/lineimg_edge_trace.h"
#include "linear_image/lineimg_segment_build.h"
#include "locate/finder.h"
#include "toolkit/geometry_points.h"

namespace vexo {

SEGMENT_STORE g_segmentStore;

namespace {

// Bounds of the angle bins: entry i for even i below 17 is 1024 tan(5i degrees) truncated,
// odd entries the mean of their neighbours; the last one is 1024 tan(89.998 degrees).
constexpr i32 kAngleBounds[] = {0,    90,   180,  276,  372,  481,  591,  725,  859,
                                1039, 1220, 1496, 1773, 2293, 2813, 4310, 5807, 28650081};
static_assert(sizeof(kAngleBounds) / sizeof(kAngleBounds[0]) == 18);
constexpr i32 kAngleBins = 18;

// Leaning the other way: below -4310 gives 105, ..., below -90 gives 175.
constexpr i32 kNegativeBounds[] = {-4310, -2813, -2293, -1773, -1496, -1220, -1039, -859,
                                   -725,  -591,  -481,  -372,  -276,  -180,  -90};
static_assert(sizeof(kNegativeBounds) / sizeof(kNegativeBounds[0]) == 15);

i16 ClampI16(i32 v) { return static_cast<i16>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); }

int TraceWith(TraceKind kind, const GEO_POINT *a, const GEO_POINT *b, i32 flag, GEO_POINT *end0,
              GEO_POINT *end1, i32 expectedShift, i32 ratio, i32 *countOut, i32 scratch) {
    if (countOut != nullptr) *countOut = 0;
    if (a == nullptr || b == nullptr) return 0;
    EDGE_TRACE t{};
    t.a = *a;
    t.b = *b;
    t.flag = flag;
    t.expectedShift = expectedShift;
    t.ratio = ratio;
    if (LineImg_AttachTraceScratch(&t, scratch) == 0 || LineImg_RunTrace(&t, &kTraceRules[kind]) == 0) return 0;
    if (end0 != nullptr) *end0 = t.end0;
    if (end1 != nullptr) *end1 = t.end1;
    if (countOut != nullptr) *countOut = t.count;
    return 1;
}

int MainRowTrace(EDGE_TRACE *t) { return LineImg_RunTrace(t, &kTraceRules[kTraceRows]); }
int MainColumnTrace(EDGE_TRACE *t) { return LineImg_RunTrace(t, &kTraceRules[kTraceColumns]); }

}  // namespace

i32 LineImg_EdgeAngle(i32 slope) {
    if (slope >= kAngleBounds[1]) {
        for (i32 i = 2; i < kAngleBins; ++i)
            if (slope < kAngleBounds[i]) return 5 * i;
        return 90;
    }
    if (slope < -kAngleBounds[16]) return 90;
    for (i32 i = 0; i < 15; ++i)
        if (slope < kNegativeBounds[i]) return 105 + 5 * i;
    return 180;
}

i32 LineImg_SegmentAngle(const GEO_POINT *p, const GEO_POINT *q) {
    if (p->x == q->x) return 90;
    const i64 slope = (static_cast<i64>(p->y) - q->y) * 1024 / (static_cast<i64>(p->x) - q->x);
    return LineImg_EdgeAngle(static_cast<i32>(slope > INT32_MAX ? INT32_MAX : (slope < INT32_MIN ? INT32_MIN : slope)));
}

i32 LineImg_RoundedDistance(GEO_POINT p, GEO_POINT q) {
    const f64 d = Geo_Distance(p.x, p.y, q.x, q.y) + 0.5;
    return d >= 2147483647.0 ? INT32_MAX : static_cast<i32>(d);
}

void LineImg_SetSegment(LINE_SEGMENT *s, GEO_POINT e0, GEO_POINT e1, i32 margin, i32 round) {
    s->x0 = e0.x;
    s->y0 = e0.y;
    s->x1 = e1.x;
    s->y1 = e1.y;
    s->midX = static_cast<i32>((static_cast<i64>(e0.x) + e1.x) >> 1);
    s->midY = static_cast<i32>((static_cast<i64>(e0.y) + e1.y) >> 1);
    const f64 length = Geo_Distance(e0.x, e0.y, e1.x, e1.y) + (round != 0 ? 0.5 : 0.0);
    s->length = length >= 2147483647.0 ? INT32_MAX : static_cast<i32>(length);
    const i32 ends[4] = {e0.x, e0.y, e1.x, e1.y};
    for (i32 k = 0; k < 4; ++k) {
        s->endBox[2 * k] = ClampI16(ends[k] - margin);
        s->endBox[2 * k + 1] = ClampI16(ends[k] + margin);
    }
    s->box[0] = ClampI16(e0.x < e1.x ? e0.x : e1.x);
    s->box[1] = ClampI16(e0.x < e1.x ? e1.x : e0.x);
    s->box[2] = ClampI16(e0.y < e1.y ? e0.y : e1.y);
    s->box[3] = ClampI16(e0.y < e1.y ? e1.y : e0.y);
}

int LineImg_TraceEdgeRows(const GEO_POINT *a, const GEO_POINT *b, i32 flag, GEO_POINT *end0, GEO_POINT *end1,
                          i32 expectedShift, i32 ratio, i32 *countOut, i32 scratch) {
    return TraceWith(kTraceRows, a, b, flag, end0, end1, expectedShift, ratio, countOut, scratch);
}

int LineImg_TraceEdgeColumns(const GEO_POINT *a, const GEO_POINT *b, i32 flag, GEO_POINT *end0, GEO_POINT *end1,
                             i32 expectedShift, i32 ratio, i32 *countOut, i32 scratch) {
    return TraceWith(kTraceColumns, a, b, flag, end0, end1, expectedShift, ratio, countOut, scratch);
}

namespace {

int Build(const EDGE_PAIRING *pairing, SEGMENT_STORE *store, i32 *meanOut, i32 lineStart, i32 scratch, u8 columns) {
    const SEGMENT_BUILD b = {.columns = columns,
                             .refit = 0,
                             .margin = columns != 0 ? 15 : 10,
                             .ratio = g_edgeThresholds.ratio,
                             .lineStart = lineStart,
                             .scratch = scratch,
                             .lines = nullptr,
                             .trace = columns != 0 ? MainColumnTrace : MainRowTrace};
    return LineImg_BuildSegments(pairing, store, meanOut, &b);
}

}  // namespace

int LineImg_BuildRowSegments(const EDGE_PAIRING *pairing, SEGMENT_STORE *store, i32 *meanOut, i32 lineStart,
                             i32 scratch) {
    return Build(pairing, store, meanOut, lineStart, scratch, 0);
}

int LineImg_BuildColumnSegments(const EDGE_PAIRING *pairing, SEGMENT_STORE *store, i32 *meanOut, i32 lineStart,
                                i32 scratch) {
    return Build(pairing, store, meanOut, lineStart, scratch, 1);
}

}  // namespace vexo

// Module edges as straight segments: edges met along a crossing segment are followed away
// from it in both directions, fitted and moved into the middle of the module beside them;
// the direction classes of traced edges; the grey centroid that places reference points.
#include <cmath>

#include "core/pixel.h"
#include "hanxin/cscn_finder.h"
#include "hanxin/cscn_symbol.h"
#include "locate/finder.h"
#include "toolkit/geometry.h"
#include "toolkit/geometry_points.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {
namespace {

constexpr i32 kAngleEntries = 1000;
constexpr i32 kAngleDiagonal = 785;
constexpr i32 kAngleRight = 1570;

// atan(x) for 0 < x <= 1 by its series after halving the angle twice; exact enough to
// truncate to milliradians.
constexpr f64 AngleAtan(f64 x) {
    for (i32 i = 0; i < 2; ++i) {
        f64 r = 1.0 + x * x, s = r;
        for (i32 k = 0; k < 60; ++k) s = 0.5 * (s + r / s);  // sqrt
        x = x / (1.0 + s);
    }
    f64 term = x, sum = 0.0;
    for (i32 k = 0; k < 200; ++k) {
        sum += term / (2 * k + 1);
        term *= -x * x;
    }
    return 4.0 * sum;
}

struct AngleTable {
    u16 entry[kAngleEntries];
};

// Entry i: milliradians of atan((i + 1) / 1000), truncated; two entries are one below.
constexpr AngleTable MakeAngleTable() {
    AngleTable t{};
    for (i32 i = 0; i < kAngleEntries; ++i) t.entry[i] = static_cast<u16>(1000.0 * AngleAtan((i + 1) / 1000.0));
    t.entry[487] = 453;
    t.entry[843] = 700;
    return t;
}

static constexpr AngleTable kAngleTable = MakeAngleTable();
static_assert(kAngleTable.entry[0] == 0 && kAngleTable.entry[999] == 785);
static_assert(kAngleTable.entry[487] == 453 && kAngleTable.entry[843] == 700);

i64 TraceAbs(i64 v) { return v < 0 ? -v : v; }

}  // namespace

i32 CSCN_AngleTolerance(i32 angleClass) {
    if (angleClass == 1) return 523;
    if (angleClass == 2) return 349;
    return 261;
}

i32 CSCN_EdgeAngle(i32 dx, i32 dy) {
    const i64 ax = TraceAbs(dx), ay = TraceAbs(dy);
    if (ax == ay) return kAngleDiagonal;
    if (ay < ax) return kAngleTable.entry[1000 * ay / ax];
    return kAngleRight - kAngleTable.entry[1000 * ax / ay];
}

void CSCN_CentreOfMass(POINT_I32 *point, i32 radius) {
    if (point == nullptr || g_image.data == nullptr || g_image.width <= 0 || g_image.height <= 0 || radius < 0) return;
    const i64 cx = point->x / 16, cy = point->y / 16;
    const i64 x0 = cx - radius < 0 ? 0 : cx - radius, y0 = cy - radius < 0 ? 0 : cy - radius;
    const i64 x1 = cx + radius + 1 > g_image.width - 1 ? g_image.width - 1 : cx + radius + 1;
    const i64 y1 = cy + radius + 1 > g_image.height - 1 ? g_image.height - 1 : cy + radius + 1;
    if (x0 > x1 || y0 > y1) return;
    u8 lo = 255, hi = 0;
    for (i64 y = y0; y <= y1; ++y)
        for (i64 x = x0; x <= x1; ++x) {
            const u8 v = g_image.data[y * g_image.width + x];
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
    // 64-bit sums: x times weight over a wide window near the right border passes 2^31.
    i64 sumX = 0, sumY = 0, sumW = 0;
    for (i64 y = y0; y <= y1; ++y)
        for (i64 x = x0; x <= x1; ++x) {
            const u8 v = g_image.data[y * g_image.width + x];
            const i64 w = g_cscnCurrentPass == 1 ? hi - v : v - lo;
            sumX += x * w;
            sumY += y * w;
            sumW += w;
        }
    if (sumW <= 0) return;
    point->x = static_cast<i32>(16 * sumX / sumW);
    point->y = static_cast<i32>(16 * sumY / sumW);
}

namespace {

constexpr i32 kTraceSamples = 1024;
constexpr i32 kCrossingEdges = 512;
constexpr i32 kTraceBatch = 16;
constexpr i32 kCrossingMinStep = 20;
constexpr i32 kCentreOffsets = 6;

u8 g_traceWindow[kTraceSamples];
u8 g_traceCrossing[kTraceSamples];
i32 g_traceCrossingEdges[kCrossingEdges];

// num / den to the nearest integer, halves away from zero; den > 0.
i64 TraceRoundDiv(i64 num, i64 den) {
    const i64 q = (2 * TraceAbs(num) + den) / (2 * den);
    return num < 0 ? -q : q;
}

i32 TraceMainOf(const CSCN_EDGE_TRACER *t, POINT_I32 p) { return t->columnMode != 0 ? p.x : p.y; }

POINT_I32 TracePoint(const CSCN_EDGE_TRACER *t, i32 main16, i32 cross16) {
    return t->columnMode != 0 ? POINT_I32{main16, cross16} : POINT_I32{cross16, main16};
}

// The fitted cross coordinate at a main coordinate, both 1/16 pixel.
i32 TraceLineAt(const LINE_FIT *line, i32 main16) {
    const f64 v = line->slope * main16 + line->offset;
    return Num_SatTruncI32(v < 0 ? v - 0.5 : v + 0.5);
}

// A line point at a main coordinate, oriented by the line.
POINT_I32 TraceLinePoint(const LINE_FIT *line, i32 main16) {
    const i32 cross = TraceLineAt(line, main16);
    return line->alongX != 0 ? POINT_I32{main16, cross} : POINT_I32{cross, main16};
}

// Cross position predicted at distance d along the trace's direction (sign +1 or -1).
i32 TracePredict(const CSCN_EDGE_TRACER *t, i32 sign, i32 d) {
    const CSCN_SLOPE_AVERAGE &a = t->slope;
    if (a.weightSum <= 0) return t->startCross;
    return Num_ClampI64(t->startCross + sign * TraceRoundDiv(a.weightedSum * d, a.weightSum * 1024));
}

// Edges of the tracer's polarity in the window [lo, hi] across the main position, in 1/16
// pixel of the image; the count found.
i32 TraceWindowEdges(const CSCN_EDGE_TRACER *t, i32 main, i32 lo, i32 hi, i32 maxEdges, i32 *edges) {
    const u8 *samples = nullptr;
    i32 count = 0;
    if (t->columnMode != 0) {
        // The far end is not sampled: one beyond the window when the image has it.
        const i32 end = hi + 1 < g_image.height ? hi + 1 : hi;
        count = Geo_SampleLineBresenham(main, lo, main, end, g_traceWindow, kTraceSamples);
        samples = g_traceWindow;
    } else {
        samples = g_image.data + static_cast<i64>(main) * g_image.width + lo;
        count = hi - lo + 1;
    }
    if (count < 2) return 0;
    const i32 ratio = static_cast<i32>(t->ratio), minStep = static_cast<i32>(t->minStep);
    const i32 n = t->rising != 0 ? Prof_FindRisingEdges(samples, count, ratio, minStep, edges, maxEdges)
                                 : Prof_FindFallingEdges(samples, count, ratio, minStep, edges, maxEdges);
    for (i32 k = 0; k < n; ++k) edges[k] += 16 * lo;
    return n;
}

struct TraceQueue {
    i32 u[kTraceBatch];
    i32 v[kTraceBatch];
    i32 count;
};

void TraceFlush(CSCN_EDGE_TRACER *t, TraceQueue *q) {
    if (q->count > 0) Geo_LineFitAdd(q->u, q->v, q->count, t->sums.matrix, t->sums.right, 0);
    q->count = 0;
}

// The tracer family: sign +1 or -1 along the main axis, at most maxEdges per window of
// half-width h pixels.
void TraceEdge(CSCN_EDGE_TRACER *t, i32 sign, i32 maxEdges, i32 h) {
    if (t == nullptr || g_image.data == nullptr || g_image.width <= 0 || g_image.height <= 0) return;
    const i32 mainSize = t->columnMode != 0 ? g_image.width : g_image.height;
    const i32 crossSize = t->columnMode != 0 ? g_image.height : g_image.width;
    const i32 extent = t->extent < mainSize ? t->extent : mainSize;
    if (t->startMain < 0 || t->startMain >= extent) return;
    // Fine steps only while nothing has been traced yet, and for ten positions at most.
    const bool fine = TraceMainOf(t, t->first) == TraceMainOf(t, t->last);
    const i32 fineStep = t->step >= 6 ? t->step / 3 : 1;
    const i32 wideStep = t->step > 1 ? t->step : 1;
    TraceQueue queue{};
    i32 edges[10];
    i32 main = t->startMain, accepted = 0;
    POINT_I32 lastPoint{0, 0};
    // Every position moves at least one pixel towards 0 or extent.
    for (i32 k = 0; k < extent; ++k) {
        const i32 next = main + sign * (fine && k < 10 ? fineStep : wideStep);
        if (next < 0 || next >= extent) break;
        main = next;
        const i32 d = static_cast<i32>(TraceAbs(static_cast<i64>(main) - t->startMain));
        const i32 predicted = TracePredict(t, sign, d);
        const i32 centre = predicted >> 4;
        const i32 lo = centre - h < 0 ? 0 : centre - h;
        const i32 hi = centre + h > crossSize - 1 ? crossSize - 1 : centre + h;
        if (lo >= hi) break;
        const i32 n = TraceWindowEdges(t, main, lo, hi, maxEdges, edges);
        i32 best = -1;
        i64 bestDistance = 0;
        for (i32 e = 0; e < n; ++e) {
            const i64 dist = TraceAbs(static_cast<i64>(edges[e]) - predicted);
            if (best < 0 || dist < bestDistance) best = e, bestDistance = dist;
        }
        if (best < 0 || bestDistance >= t->tolerance) break;
        const i32 cross = edges[best];
        t->slope.lastOffset = static_cast<i32>(sign * (static_cast<i64>(cross) - t->startCross));
        t->slope.lastDistance = d;
        t->slope.weight = d;
        CSCN_UpdateSlopeAverage(&t->slope);
        const POINT_I32 p = TracePoint(t, 16 * main, cross);
        if (sign > 0) {
            t->last = p;
        } else {
            t->first = p;
        }
        queue.u[queue.count] = 16 * main;
        queue.v[queue.count] = cross;
        if (++queue.count == kTraceBatch) TraceFlush(t, &queue);
        lastPoint = POINT_I32{16 * main, cross};
        ++accepted;
    }
    TraceFlush(t, &queue);
    // The last point often lies on a corner or a neighbouring edge already.
    if (accepted > 0) Geo_LineFitRemove(lastPoint.x, lastPoint.y, t->sums.matrix, t->sums.right);
}

i32 RowHalfWidth(const CSCN_EDGE_TRACER *t, bool down) {
    const i32 h = down ? 2 * (t->tolerance / 16) : t->tolerance / 8;
    return h > 5 ? h : 5;
}

i32 ColumnHalfWidth(const CSCN_EDGE_TRACER *t) { return t->tolerance >= 48 ? t->tolerance / 8 : 5; }

bool TraceInside16(POINT_I32 p) {
    return p.x >= 0 && p.y >= 0 && p.x < 16 * static_cast<i64>(g_image.width) &&
           p.y < 16 * static_cast<i64>(g_image.height);
}

// Mean grey x 32 of the base segment moved by `shift` (1/16 pixel), clipped; -1 when the
// moved line has no samples.
i32 TraceParallelMean(POINT_I32 a, POINT_I32 b, i32 step) {
    u32 sum = 0;
    i32 n = 0;
    if (step > 3) {
        GEO_POINT p{(a.x + 8) >> 4, (a.y + 8) >> 4}, q{(b.x + 8) >> 4, (b.y + 8) >> 4};
        Geo_ClipSegment(&p, &q, g_image.width, g_image.height);
        n = Geo_SumLine(p.x, p.y, q.x, q.y, &sum);
    } else {
        Geo_ClipSegment(&a, &b, 16 * g_image.width, 16 * g_image.height);
        n = Geo_SumLine16(a.x, a.y, b.x, b.y, &sum);
    }
    if (n <= 0) return -1;
    return static_cast<i32>(static_cast<i64>(sum) * 32 / n);
}

}  // namespace

void CSCN_StartEdgeTrace(CSCN_EDGE_TRACER *tracer) {
    if (tracer == nullptr) return;
    tracer->first = TracePoint(tracer, 16 * tracer->startMain, tracer->startCross);
    tracer->last = tracer->first;
    tracer->slope.reset = 1;
    tracer->slope.lastDistance = 0;
    CSCN_UpdateSlopeAverage(&tracer->slope);
    const i32 u = 16 * tracer->startMain, v = tracer->startCross;
    Geo_LineFitAdd(&u, &v, 1, tracer->sums.matrix, tracer->sums.right, 1);
}

i32 CSCN_UpdateSlopeAverage(CSCN_SLOPE_AVERAGE *average) {
    if (average == nullptr) return 1;
    if (average->reset != 0) {
        average->weightedSum = 0;
        average->weightSum = 0;
        average->reset = 0;
    }
    if (average->lastDistance == 0) return 1;
    average->weightSum += average->weight;
    average->weightedSum += static_cast<i64>(average->weight) * (static_cast<i64>(average->lastOffset) * 1024 /
                                                                  average->lastDistance);
    return 1;
}

void CSCN_TraceEdgeDown(CSCN_EDGE_TRACER *tracer) {
    if (tracer != nullptr) TraceEdge(tracer, 1, 4, RowHalfWidth(tracer, true));
}

void CSCN_TraceEdgeUp(CSCN_EDGE_TRACER *tracer) {
    if (tracer != nullptr) TraceEdge(tracer, -1, 4, RowHalfWidth(tracer, false));
}

void CSCN_TraceEdgeRight(CSCN_EDGE_TRACER *tracer) {
    if (tracer != nullptr) TraceEdge(tracer, 1, 10, ColumnHalfWidth(tracer));
}

void CSCN_TraceEdgeLeft(CSCN_EDGE_TRACER *tracer) {
    if (tracer != nullptr) TraceEdge(tracer, -1, 10, ColumnHalfWidth(tracer));
}

i32 CSCN_CentreEdgeLine(CSCN_EDGE_TRACER *tracer, LINE_FIT *out, i32 pass) {
    if (tracer == nullptr || out == nullptr || tracer->fitValid == 0 || g_image.data == nullptr) return 0;
    if (tracer->solved == 0) {
        if (Geo_LineFitSolve(tracer->sums.matrix, tracer->sums.right, tracer->sumsSolution) == 0) return 0;
        tracer->line = LINE_FIT{tracer->sumsSolution[0], tracer->sumsSolution[1], tracer->columnMode != 0 ? 1 : 0};
        tracer->solved = 1;
    }
    const POINT_I32 a = TraceLinePoint(&tracer->line, TraceMainOf(tracer, tracer->first));
    const POINT_I32 b = TraceLinePoint(&tracer->line, TraceMainOf(tracer, tracer->last));
    // Towards the module beside the edge: the dark side in pass 1, the light one in pass 0.
    const bool oneSet = (tracer->rising != 0) != (pass == 1);
    const bool minus = tracer->line.alongX == 0 ? oneSet : !oneSet;
    POINT_I32 turned{0, 0};
    if (minus) {
        Geo_RotateMinus90(&a, &b, &turned);
    } else {
        Geo_RotatePlus90(&a, &b, &turned);
    }
    const f64 px = static_cast<f64>(turned.x) - a.x, py = static_cast<f64>(turned.y) - a.y;
    const f64 length = std::sqrt(px * px + py * py);
    if (!(length > 0.0)) return 0;
    i32 bestMean = -1;
    POINT_I32 bestStart{0, 0};
    for (i32 j = 0; j < kCentreOffsets; ++j) {
        const f64 offset = 4.0 * j * tracer->step;  // j x step / 4 pixels, in 1/16 pixel
        const i32 sx = Num_SatTruncI32(std::floor(offset * px / length + 0.5));
        const i32 sy = Num_SatTruncI32(std::floor(offset * py / length + 0.5));
        const POINT_I32 s0{Num_ClampI64(static_cast<i64>(a.x) + sx), Num_ClampI64(static_cast<i64>(a.y) + sy)};
        const POINT_I32 s1{Num_ClampI64(static_cast<i64>(b.x) + sx), Num_ClampI64(static_cast<i64>(b.y) + sy)};
        if (!TraceInside16(s0)) break;
        const i32 mean = TraceParallelMean(s0, s1, tracer->step);
        if (mean < 0) continue;
        const bool better = bestMean < 0 || (pass == 1 ? mean < bestMean : mean > bestMean);
        if (better) bestMean = mean, bestStart = s0;
    }
    if (bestMean < 0) return 0;
    Geo_ParallelLineThrough(&tracer->line, &bestStart, out);
    return 1;
}

namespace {

// The tracer of a crossing: module-wide steps, a tolerance of a step (at least three pixels),
// the polarity as met in the window's own scan direction.
void TraceSetUp(const CSCN_TRACE_REQUEST *r, GEO_POINT a, GEO_POINT b, CSCN_EDGE_TRACER *t) {
    *t = CSCN_EDGE_TRACER{};
    t->step = r->moduleWidth > 1 ? r->moduleWidth / 2 : 1;
    t->tolerance = 16 * (t->step > 3 ? t->step : 3);
    t->ratio = g_edgeThresholds.ratio;
    t->minStep = kCrossingMinStep;
    const bool rising = r->rising != 0;
    if (TraceAbs(static_cast<i64>(b.x) - a.x) < TraceAbs(static_cast<i64>(b.y) - a.y)) {
        t->columnMode = 1;
        t->extent = g_image.width;
        t->rising = rising == (a.y < b.y) ? 1 : 0;
    } else {
        t->columnMode = 0;
        t->extent = g_image.height;
        t->rising = rising == (a.x < b.x) ? 1 : 0;
    }
}

// The point at `position` (1/16 sample) of the Bresenham walk a -> b as the tracer's start.
void TraceStartAt(GEO_POINT a, GEO_POINT b, i32 position, CSCN_EDGE_TRACER *t) {
    const i64 dx = static_cast<i64>(b.x) - a.x, dy = static_cast<i64>(b.y) - a.y;
    const bool xMajor = TraceAbs(dx) >= TraceAbs(dy);
    const i64 length = xMajor ? TraceAbs(dx) : TraceAbs(dy);
    const i64 major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
    const i64 major16 = 16 * static_cast<i64>(xMajor ? a.x : a.y) + (major < 0 ? -position : position);
    const i64 minor16 = 16 * static_cast<i64>(xMajor ? a.y : a.x) + TraceRoundDiv(position * minor, length);
    // The crossing's major axis is the tracer's cross axis.
    t->startCross = Num_ClampI64(major16);
    t->startMain = Num_ClampI64((minor16 + 8) >> 4);
}

// 1 when the trace is long enough, solves and centres: the segment written.
i32 TraceKeep(const CSCN_TRACE_REQUEST *r, CSCN_EDGE_TRACER *t, GEO_POINT a, GEO_POINT b, CSCN_EDGE_SEGMENT *seg,
              i32 *score) {
    const f64 length = Geo_Distance(t->first.x, t->first.y, t->last.x, t->last.y) / 16.0;
    if (!(static_cast<i32>(length) > r->minLength)) return 0;
    if (Geo_LineFitSolve(t->sums.matrix, t->sums.right, t->sumsSolution) == 0) return 0;
    t->line = LINE_FIT{t->sumsSolution[0], t->sumsSolution[1], t->columnMode != 0 ? 1 : 0};
    t->fitValid = 1;
    t->solved = 1;
    LINE_FIT centred{};
    if (CSCN_CentreEdgeLine(t, &centred, g_cscnCurrentPass) == 0) return 0;
    POINT_I32 e0 = TraceLinePoint(&centred, TraceMainOf(t, t->first));
    POINT_I32 e1 = TraceLinePoint(&centred, TraceMainOf(t, t->last));
    // Left of the crossing direction on the image (y down) is (cy, -cx).
    const i64 cx = static_cast<i64>(b.x) - a.x, cy = static_cast<i64>(b.y) - a.y;
    if ((static_cast<i64>(e1.x) - e0.x) * cy - (static_cast<i64>(e1.y) - e0.y) * cx > 0) {
        const POINT_I32 swap = e0;
        e0 = e1;
        e1 = swap;
    }
    const i32 dx = Num_ClampI64(static_cast<i64>(e1.x) - e0.x), dy = Num_ClampI64(static_cast<i64>(e1.y) - e0.y);
    if (r->checkDirection == 1) {
        if (r->angleMode == 1) {
            const i64 diff = TraceAbs(static_cast<i64>(CSCN_EdgeAngle(dx, dy)) - r->refAngle);
            if (diff > CSCN_AngleTolerance(r->angleClass)) return 0;
        } else {
            const GEO_POINT origin{0, 0}, d{dx, dy};
            const i32 c = static_cast<i32>(1000.0 * Geo_CosAngleAt(&origin, &d, &r->refDirection));
            if (c < r->minCosine) return 0;
            *score = c;
        }
    }
    *seg = CSCN_EDGE_SEGMENT{e0.x, e0.y, e1.x, e1.y, centred, 1};
    return 1;
}

}  // namespace

i32 CSCN_TraceEdgesAcross(const CSCN_TRACE_REQUEST *request) {
    const CSCN_TRACE_REQUEST *r = request;
    if (r == nullptr || r->from == nullptr || r->to == nullptr || r->segments == nullptr || r->maxSegments <= 0) return 0;
    if (g_image.data == nullptr || g_image.width <= 0 || g_image.height <= 0) return 0;
    GEO_POINT a = *r->from, b = *r->to;
    Geo_ClipSegment(&a, &b, g_image.width, g_image.height);
    const i32 n = Geo_SampleLineBresenham(a.x, a.y, b.x, b.y, g_traceCrossing, kTraceSamples);
    if (n < 2) return 0;
    const i32 ratio = g_edgeThresholds.ratio;
    const i32 found =
        r->rising != 0
            ? Prof_FindRisingEdges(g_traceCrossing, n, ratio, kCrossingMinStep, g_traceCrossingEdges, kCrossingEdges)
            : Prof_FindFallingEdges(g_traceCrossing, n, ratio, kCrossingMinStep, g_traceCrossingEdges, kCrossingEdges);
    CSCN_EDGE_TRACER tracer{};
    i32 kept = 0;
    for (i32 e = 0; e < found && kept < r->maxSegments; ++e) {
        TraceSetUp(r, a, b, &tracer);
        TraceStartAt(a, b, g_traceCrossingEdges[e], &tracer);
        CSCN_StartEdgeTrace(&tracer);
        if (tracer.columnMode != 0) {
            CSCN_TraceEdgeRight(&tracer);
            CSCN_TraceEdgeLeft(&tracer);
        } else {
            CSCN_TraceEdgeDown(&tracer);
            CSCN_TraceEdgeUp(&tracer);
        }
        i32 score = 0;
        if (TraceKeep(r, &tracer, a, b, &r->segments[kept], &score) == 0) continue;
        if (r->scores != nullptr) r->scores[kept] = score;
        ++kept;
    }
    return kept;
}

}  // namespace vexo

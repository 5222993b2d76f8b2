// The strip L-finder's first half: strips of rows cut into edges, edges traced into straight
// lines and tracked from strip to strip, the entry and the final order.
#include <cmath>
#include <cstring>

#include "core/pixel.h"
#include "datamatrix/dm_line_walk.h"
#include "datamatrix/dm_strip.h"
#include "toolkit/geometry_points.h"

namespace vexo {

// 16384 x tan(k / 2 degrees), rounded to the nearest integer, k = 0..179. Rounded rather than
// truncated so that a slope of 1 meets entry 90 exactly.
const i32 kDmTanTable[kDmTanEntries] = {
    0,      143,    286,    429,    572,    715,    859,    1002,   1146,   1289,   1433,   1578,   1722,
    1867,   2012,   2157,   2303,   2449,   2595,   2742,   2889,   3037,   3185,   3333,   3483,   3632,
    3783,   3933,   4085,   4237,   4390,   4544,   4698,   4853,   5009,   5166,   5323,   5482,   5641,
    5802,   5963,   6126,   6289,   6454,   6620,   6786,   6955,   7124,   7295,   7467,   7640,   7815,
    7991,   8169,   8348,   8529,   8712,   8896,   9082,   9270,   9459,   9651,   9845,   10040,  10238,
    10438,  10640,  10844,  11051,  11260,  11472,  11687,  11904,  12124,  12346,  12572,  12801,  13032,
    13268,  13506,  13748,  13993,  14242,  14495,  14752,  15013,  15278,  15548,  15822,  16101,  16384,
    16672,  16966,  17265,  17570,  17880,  18196,  18519,  18848,  19183,  19526,  19875,  20233,  20598,
    20971,  21352,  21742,  22142,  22551,  22970,  23399,  23839,  24290,  24754,  25229,  25718,  26220,
    26736,  27268,  27815,  28378,  28959,  29558,  30176,  30814,  31473,  32155,  32861,  33592,  34350,
    35136,  35951,  36799,  37681,  38598,  39554,  40552,  41593,  42682,  43821,  45015,  46267,  47583,
    48967,  50425,  51963,  53590,  55311,  57138,  59079,  61146,  63352,  65713,  68244,  70967,  73903,
    77081,  80530,  84288,  88400,  92918,  97907,  103445, 109628, 116578, 124449, 133437, 143801, 155883,
    170154, 187270, 208178, 234302, 267876, 312625, 375255, 469176, 625680, 938639, 1877420,
};
static_assert(sizeof(kDmTanTable) / sizeof(kDmTanTable[0]) == 180);

namespace {

constexpr i32 kRunReach = 15;        // samples each way of a re-detection
constexpr i32 kMinLineLength = 6400;  // squared quarter pixels: 20 pixels
constexpr i32 kTraceTolerance = 12;
constexpr i32 kExtendTolerance = 8;
constexpr i32 kMinTracePoints = 8;

i32 Abs(i32 v) { return v < 0 ? -v : v; }
i32 Max(i32 a, i32 b) { return a > b ? a : b; }
i32 Min(i32 a, i32 b) { return a < b ? a : b; }

i32 FrameWidth() { return Pix_GetImageWidth(); }
i32 FrameHeight() { return Pix_GetImageHeight(); }

i32 SquaredLength32(GEO_POINT a, GEO_POINT b) {
    const i64 l = DM_SquaredLength(a, b);
    return l > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<i32>(l);
}

// Thresholds that re-detect an edge of the given amplitude and relative contrast.
DM_EDGE_LIMITS FollowLimits(i32 amplitude, i32 relative) {
    return DM_EDGE_LIMITS{Max(5, amplitude / 2), Max(128, relative * 60 / 100)};
}

// Position in quarter samples of the run s[first..last]: the centroid of its steps.
template <typename T>
i32 RunCentroid(const T *s, i32 first, i32 last, i32 amplitude) {
    i64 num = 0;
    for (i32 i = first; i < last; ++i) num += static_cast<i64>(Abs(s[i + 1] - s[i])) * 4 * (i - first);
    return 4 * first + (amplitude > 0 ? static_cast<i32>(num / amplitude) : 0) + 2;
}

void LineThroughSums(DM_TRACKED_LINE *line) {
    f32 fit[2];
    if (Geo_LineFitSolve(line->sums.matrix, line->sums.right, fit) != 0) {
        line->line[0] = fit[0];
        line->line[1] = fit[1];
    }
}

void PlaceLineEnds(DM_TRACKED_LINE *line, i32 top, i32 bottom) {
    line->p = GEO_POINT{Geo_LineEval(line->line, top), top};
    line->q = GEO_POINT{Geo_LineEval(line->line, bottom), bottom};
    line->length = SquaredLength32(line->p, line->q);
}

void AddRecordEnds(DM_TRACKED_LINE *line, const DM_EDGE_RECORD *r, i32 reset) {
    const i32 u[2] = {r->start.y, r->end.y};
    const i32 v[2] = {r->start.x, r->end.x};
    Geo_LineFitAdd(u, v, 2, line->sums.matrix, line->sums.right, reset);
}

void CloseLine(DM_TRACKED_LINE *line) {
    line->closed = 1;
    if (line->length < kMinLineLength) line->length = 0;
}

}  // namespace

// ---- Samples and edges.

i32 DM_BoxMean(i32 x, i32 y, i32 n) {
    const u8 *px = Pix_GetImagePointer();
    const i32 w = FrameWidth(), h = FrameHeight();
    if (px == nullptr || n < 1 || n > 15 || x < 0 || y < 0 || x > w - n || y > h - n) return -1;
    i32 sum = 0;
    for (i32 r = 0; r < n; ++r) {
        const u8 *row = px + static_cast<i64>(y + r) * w + x;
        for (i32 c = 0; c < n; ++c) sum += row[c];
    }
    return n == 3 ? (sum * 455) >> 12 : sum / (n * n);
}

i32 DM_StripProfile(i32 y, u8 *out) {
    const u8 *px = Pix_GetImagePointer();
    const i32 w = FrameWidth(), h = FrameHeight();
    if (px == nullptr || out == nullptr || w < 3 || y < 0 || y > h - 3) return 0;
    const i32 count = Min(w - 2, kDmStripMaxWidth);
    const u8 *r0 = px + static_cast<i64>(y) * w;
    const u8 *r1 = r0 + w;
    const u8 *r2 = r1 + w;
    const auto column = [&](i32 x) { return r0[x] + r1[x] + r2[x]; };
    i32 sum = column(0) + column(1) + column(2);
    for (i32 x = 0; x < count; ++x) {
        out[x] = static_cast<u8>((sum * 455) >> 12);
        if (x + 3 < w) sum += column(x + 3) - column(x);
    }
    return count;
}

i32 DM_SampleBoxLine(GEO_POINT p, GEO_POINT q, u8 *out, i32 max) {
    if (out == nullptr || max <= 0) return 0;
    const i32 l = DM_ChebyshevLength(p, q);
    const i32 count = l >= max ? max : l + 1;
    for (i32 k = 0; k < count; ++k) {
        const GEO_POINT a = l == 0 ? p : DM_WalkPoint(p, q, l, k);
        const i32 m = DM_BoxMean(a.x, a.y, 3);
        if (m < 0) return k;
        out[k] = static_cast<u8>(m);
    }
    return count;
}

void DM_SampleBoxSegment(GEO_POINT p, GEO_POINT q, i32 count, i32 *out) {
    if (out == nullptr || count <= 0) return;
    const i64 dx = static_cast<i64>(q.x) - p.x, dy = static_cast<i64>(q.y) - p.y;
    for (i32 i = 0; i < count; ++i) {
        const i64 x = p.x + dx * i / count, y = p.y + dy * i / count;
        const bool near = x > -(i64{1} << 30) && x < (i64{1} << 30) && y > -(i64{1} << 30) && y < (i64{1} << 30);
        out[i] = near ? DM_BoxMean(static_cast<i32>(x), static_cast<i32>(y), 3) : -1;
    }
}

i32 DM_StripEdges(const u8 *s, i32 n, DM_EDGE_LIMITS limits, i32 kind, DM_STRIP_EDGE *out, i32 capacity) {
    if (s == nullptr || n < 2 || capacity <= 0) return 0;
    i32 count = 0;
    DM_ForEachRun(s, n, [&](i32 first, i32 last, i32 amplitude, bool rising) {
        const i32 k = rising ? kDmEdgeRising : kDmEdgeFalling;
        if (count >= capacity || (kind != 0 && kind != k)) return;
        const i32 high = rising ? s[last] : s[first];
        if (!DM_MeetsEdgeLimits(amplitude, high, limits)) return;
        if (out != nullptr) {
            out[count] = DM_STRIP_EDGE{1, k, first, last, RunCentroid(s, first, last, amplitude), 0, s[first], s[last]};
        }
        ++count;
    });
    return count;
}

i32 DM_StripRisingEdges(const u8 *s, i32 n, DM_EDGE_LIMITS limits, DM_STRIP_EDGE *out, i32 capacity) {
    return DM_StripEdges(s, n, limits, kDmEdgeRising, out, capacity);
}

i32 DM_StripFallingEdges(const u8 *s, i32 n, DM_EDGE_LIMITS limits, DM_STRIP_EDGE *out, i32 capacity) {
    return DM_StripEdges(s, n, limits, kDmEdgeFalling, out, capacity);
}

i32 DM_IsBusyStrip(const DM_STRIP_EDGE *edges, i32 count) {
    if (edges == nullptr || count < 8) return 0;
    const i32 windows = count - 7;
    i32 dense = 0;
    for (i32 i = 0; i < windows; ++i) {
        if ((edges[i + 7].position - edges[i].position + 2) / 32 <= 3) ++dense;
    }
    return dense * 100 > windows * 30 ? 1 : 0;
}

namespace {

bool SpacingsAgree(i32 a, i32 b) { return a > 0 && b > 0 && a <= 4 * b && b <= 4 * a; }

// Ratios a1 / a0 and b1 / b0 within 5 : 4 of each other.
bool RatiosAgree(i32 a0, i32 a1, i32 b0, i32 b1) {
    const i64 ra = static_cast<i64>(a1) * b0, rb = static_cast<i64>(b1) * a0;
    return 4 * ra <= 5 * rb && 4 * rb <= 5 * ra;
}

// Length of the run starting at cur[i] and prev[j] that repeats edge by edge.
i32 RepeatLength(const DM_STRIP_EDGE *prev, i32 prevCount, const DM_STRIP_EDGE *cur, i32 curCount, i32 i, i32 j) {
    if (cur[i].kind != prev[j].kind || Abs(cur[i].position - prev[j].position) > 128) return 0;
    i32 k = 1;
    while (i + k < curCount && j + k < prevCount && cur[i + k].kind == prev[j + k].kind) {
        const i32 sc = cur[i + k].position - cur[i + k - 1].position;
        const i32 sp = prev[j + k].position - prev[j + k - 1].position;
        if (!SpacingsAgree(sc, sp)) break;
        if (k > 1) {
            const i32 sc0 = cur[i + k - 1].position - cur[i + k - 2].position;
            const i32 sp0 = prev[j + k - 1].position - prev[j + k - 2].position;
            if (!RatiosAgree(sc0, sc, sp0, sp)) break;
        }
        ++k;
    }
    return k;
}

}  // namespace

i32 DM_DropRepeatedEdgeRuns(DM_STRIP_EDGE *prev, i32 prevCount, DM_STRIP_EDGE *cur, i32 curCount) {
    if (prev == nullptr || cur == nullptr || prevCount <= 0 || curCount <= 0) return 0;
    i32 best = 0, bestI = 0, bestJ = 0;
    for (i32 i = 0; i < curCount; ++i) {
        for (i32 j = 0; j < prevCount; ++j) {
            const i32 n = RepeatLength(prev, prevCount, cur, curCount, i, j);
            if (n > best) {
                best = n;
                bestI = i;
                bestJ = j;
            }
        }
    }
    if (best <= 7) return 0;
    for (i32 k = 1; k + 1 < best; ++k) {
        cur[bestI + k].valid = 0;
        prev[bestJ + k].valid = 0;
    }
    return best;
}

i32 DM_SlopeToAngle(f32 slope) {
    if (slope != slope) return 0;
    const f64 t = std::fabs(static_cast<f64>(slope)) * 16384.0;
    const i32 sign = slope < 0 ? -1 : 1;
    for (i32 k = 0; k < kDmTanEntries; ++k) {
        if (kDmTanTable[k] >= t) {
            const bool lower = k > 0 && t - kDmTanTable[k - 1] < kDmTanTable[k] - t;
            return sign * (lower ? k - 1 : k);
        }
    }
    return sign * (kDmTanEntries - 1);
}

// ---- Re-detection and tracing.

DM_LOCAL_EDGE DM_RefineStripEdge(i32 x, i32 y, i32 orientation, i32 kind, DM_EDGE_LIMITS limits) {
    DM_LOCAL_EDGE e{};
    e.orientation = orientation;
    // Quarter samples to samples, rounding down also below 0 (such boxes lie outside).
    const i32 sx = x >> 2, sy = y >> 2;
    constexpr i32 kOffset = kRunReach + 3;
    i32 v[2 * kOffset + 1];
    for (i32 k = -kOffset; k <= kOffset; ++k) {
        const i64 ax = orientation == kDmAlongRow ? static_cast<i64>(sx) + k : sx;
        const i64 ay = orientation == kDmAlongRow ? sy : static_cast<i64>(sy) + k;
        const bool near = ax > -(i64{1} << 30) && ax < (i64{1} << 30) && ay > -(i64{1} << 30) && ay < (i64{1} << 30);
        v[k + kOffset] = near ? DM_BoxMean(static_cast<i32>(ax), static_cast<i32>(ay), 3) : -1;
    }
    const auto at = [&](i32 k) { return v[k + kOffset]; };
    // The nearest step of the wanted kind within two samples of the point.
    static constexpr i32 kStarts[5] = {0, -1, 1, -2, 2};
    i32 lo = 0, dir = 0;
    for (i32 k0 : kStarts) {
        const i32 a = at(k0), b = at(k0 + 1);
        if (a < 0 || b < 0 || a == b) continue;
        const i32 d = b > a ? 1 : -1;
        if (kind != 0 && kind != (d > 0 ? kDmEdgeRising : kDmEdgeFalling)) continue;
        lo = k0;
        dir = d;
        break;
    }
    if (dir == 0) return e;
    i32 hi = lo + 1;
    const auto onRun = [&](i32 a, i32 b) { return a >= 0 && b >= 0 && (dir > 0 ? b > a : b < a); };
    while (lo > -kRunReach && onRun(at(lo - 1), at(lo))) --lo;
    while (hi < kRunReach && onRun(at(hi), at(hi + 1))) ++hi;
    const i32 amplitude = Abs(at(hi) - at(lo));
    const i32 high = Max(at(hi), at(lo));
    i32 steep = 0;
    for (i32 k = lo; k < hi; ++k) {
        steep = Max(steep, Abs(at(k + 1) - at(k)));
        if (k + 2 <= hi) steep = Max(steep, Abs(at(k + 2) - at(k)));
    }
    e.kind = dir > 0 ? kDmEdgeRising : kDmEdgeFalling;
    e.low = Min(at(hi), at(lo));
    e.high = high;
    e.amplitude = amplitude;
    e.relative = high > 0 ? amplitude * 1024 / high : 0;
    e.steepness = steep;
    e.position = 4 * (orientation == kDmAlongRow ? sx : sy) + RunCentroid(v, lo + kOffset, hi + kOffset, amplitude) -
                 4 * kOffset;
    e.found = DM_MeetsEdgeLimits(amplitude, high, limits) ? 1 : 0;
    return e;
}

namespace {

DM_LOCAL_EDGE RefineAt(const DM_TRACE_WALK *w, i32 u, i32 v) {
    return w->orientation == kDmAlongRow ? DM_RefineStripEdge(v, u, kDmAlongRow, w->kind, w->limits)
                                         : DM_RefineStripEdge(u, v, kDmAlongColumn, w->kind, w->limits);
}

void AddPoint(DM_TRACE_POINTS *pts, i32 u, i32 v, const DM_LOCAL_EDGE &e) {
    pts->u[pts->count] = u;
    pts->v[pts->count] = v;
    pts->amplitude[pts->count] = e.amplitude;
    pts->relative[pts->count] = e.relative;
    ++pts->count;
}

}  // namespace

i32 DM_TraceEdgeSteps(i32 u, i32 v, const DM_TRACE_WALK *walk, DM_TRACE_POINTS *pts) {
    if (walk == nullptr || pts == nullptr || walk->step == 0) return 0;
    const i32 v0 = v;
    i32 added = 0;
    for (i32 k = 1; k <= walk->maxSteps && pts->count < kDmStripTracePoints; ++k) {
        const i64 un = static_cast<i64>(u) + walk->step;
        if (un < 0 || un > (i64{1} << 20)) break;
        const i32 nu = static_cast<i32>(un);
        i32 predicted = v;
        bool known = true;
        if (walk->line != nullptr) {
            predicted = Geo_LineEval(walk->line, nu);
        } else if (added > 0) {
            predicted = v + (v - v0) / added;
        } else {
            known = false;
        }
        DM_LOCAL_EDGE e = RefineAt(walk, nu, predicted);
        // The first step of a walk without a slope may find the edge a few samples aside.
        if (!known && e.found == 0) e = RefineAt(walk, nu, predicted - 12);
        if (!known && e.found == 0) e = RefineAt(walk, nu, predicted + 12);
        if (e.found == 0 || (known && Abs(e.position - predicted) > walk->tolerance)) break;
        u = nu;
        v = e.position;
        AddPoint(pts, u, v, e);
        ++added;
    }
    return added;
}

namespace {

// Least-squares line v = slope u + offset through the points; 0 when degenerate.
i32 FitPoints(const DM_TRACE_POINTS *pts, f32 line[2], LINE_SUMS *sums) {
    LINE_SUMS local{};
    LINE_SUMS *s = sums != nullptr ? sums : &local;
    Geo_LineFitAdd(pts->u, pts->v, pts->count, s->matrix, s->right, 1);
    return Geo_LineFitSolve(s->matrix, s->right, line);
}

void TraceBothWays(i32 u, i32 v, DM_TRACE_WALK walk, i32 steps, DM_TRACE_POINTS *pts) {
    const i32 step = walk.step;
    walk.maxSteps = steps;
    walk.step = -step;
    DM_TraceEdgeSteps(u, v, &walk, pts);
    walk.step = step;
    DM_TraceEdgeSteps(u, v, &walk, pts);
}

}  // namespace

i32 DM_TraceStripEdge(DM_STRIP_EDGE *edge, i32 y, DM_EDGE_RECORD *rec, DM_TRACE_POINTS *pts) {
    if (edge == nullptr || rec == nullptr || pts == nullptr) return 0;
    const i32 w = FrameWidth();
    if (edge->valid == 0 || edge->position <= 3 || edge->position > 4 * (w - 1)) {
        edge->valid = 0;
        return 0;
    }
    edge->row = 4 * y;
    const i32 high = Max(edge->startGrey, edge->endGrey), low = Min(edge->startGrey, edge->endGrey);
    const i32 amplitude = high - low;
    const i32 relative = high > 0 ? amplitude * 1024 / high : 0;
    pts->count = 0;
    DM_LOCAL_EDGE start{};
    start.amplitude = amplitude;
    start.relative = relative;
    AddPoint(pts, edge->row, edge->position, start);
    const DM_TRACE_WALK walk{kDmAlongRow, edge->kind, FollowLimits(amplitude, relative), 16, 0, kTraceTolerance,
                             nullptr};
    TraceBothWays(edge->row, edge->position, walk, kDmStripTracePoints, pts);
    f32 line[2];
    if (pts->count < kMinTracePoints || FitPoints(pts, line, nullptr) == 0) {
        edge->valid = 0;
        return 0;
    }
    i64 deviation = 0;
    i32 top = pts->u[0], bottom = pts->u[0];
    for (i32 i = 0; i < pts->count; ++i) {
        deviation += Abs(pts->v[i] - Geo_LineEval(line, pts->u[i]));
        top = Min(top, pts->u[i]);
        bottom = Max(bottom, pts->u[i]);
    }
    if (deviation > 4 * static_cast<i64>(pts->count)) {
        edge->valid = 0;
        return 0;
    }
    *rec = DM_EDGE_RECORD{};
    rec->kind = edge->kind;
    rec->start = GEO_POINT{Geo_LineEval(line, top), top};
    rec->end = GEO_POINT{Geo_LineEval(line, bottom), bottom};
    rec->line[0] = line[0];
    rec->line[1] = line[1];
    rec->angle = DM_SlopeToAngle(line[0]);
    rec->low = low;
    rec->high = high;
    rec->amplitude = amplitude;
    rec->relative = relative;
    return 1;
}

i32 DM_ContrastContinues(const DM_EDGE_RECORD *ra, GEO_POINT a, const DM_EDGE_RECORD *rb, GEO_POINT b) {
    if (ra == nullptr || rb == nullptr) return 0;
    if (a.y > b.y) {
        const GEO_POINT t = a;
        a = b;
        b = t;
    }
    const i64 dy = static_cast<i64>(b.y) - a.y;
    if (dy == 0) return Abs(a.x - b.x) <= 7 ? 1 : 0;
    if (dy > 16 * kDmStripTracePoints) return 0;
    const DM_EDGE_LIMITS limits =
        FollowLimits(Min(ra->amplitude, rb->amplitude), Min(ra->relative, rb->relative));
    const i64 dx = static_cast<i64>(b.x) - a.x;
    i32 x = a.x, y = a.y;
    while (y < b.y) {
        const i32 ny = static_cast<i32>(Min(y + 16, b.y));
        const i32 predicted = static_cast<i32>(x + dx * (ny - y) / dy);
        const DM_LOCAL_EDGE e = DM_RefineStripEdge(predicted, ny, kDmAlongRow, ra->kind, limits);
        if (e.found == 0 || Abs(e.position - predicted) >= 13) return 0;
        x = e.position;
        y = ny;
    }
    return Abs(x - b.x) <= 7 ? 1 : 0;
}

i32 DM_EdgesCompatible(const DM_EDGE_RECORD *prev, GEO_POINT prevAt, const DM_EDGE_RECORD *cur, GEO_POINT curAt) {
    if (prev == nullptr || cur == nullptr || prev->kind != cur->kind) return 0;
    if (Abs(prev->angle - cur->angle) > 20) return 0;
    if (Abs(Geo_LineEval(prev->line, curAt.y) - curAt.x) > 192) return 0;
    const i32 dy = curAt.y - prevAt.y;
    if (dy != 0) {
        const i32 between = DM_SlopeToAngle(static_cast<f32>(curAt.x - prevAt.x) / static_cast<f32>(dy));
        if (Abs(between - prev->angle) > 20 || Abs(between - cur->angle) > 20) return 0;
    }
    return DM_ContrastContinues(prev, prevAt, cur, curAt);
}

void DM_StartTrackedLine(DM_TRACKED_LINE *line, const DM_EDGE_RECORD *a, const DM_EDGE_RECORD *b, i32 row) {
    *line = DM_TRACKED_LINE{};
    line->kind = a->kind;
    line->first = *a;
    line->last = *b;
    line->lastRow = row;
    AddRecordEnds(line, a, 1);
    AddRecordEnds(line, b, 0);
    line->line[0] = a->line[0];
    line->line[1] = a->line[1];
    LineThroughSums(line);
    PlaceLineEnds(line, Min(a->start.y, b->start.y), Max(a->end.y, b->end.y));
}

void DM_TrackStripLines(DM_STRIP_STATE *st, i32 prevIndex, i32 row) {
    if (st == nullptr || prevIndex < 0 || prevIndex > 1) return;
    DM_STRIP_SET &prev = st->strips[prevIndex];
    DM_STRIP_SET &cur = st->strips[1 - prevIndex];
    for (i32 i = 0; i < prev.count; ++i) {
        if (prev.edges[i].valid == 0) continue;
        const i32 id = prev.lineOf[i];
        const bool tracked = id >= 0 && id < st->lineCount && st->lines[id].closed == 0;
        const i32 centre = tracked ? Geo_LineEval(st->lines[id].line, 4 * row) : prev.edges[i].position;
        const i32 reach = tracked ? 32 : 128;
        const GEO_POINT prevAt{prev.edges[i].position, prev.edges[i].row};
        for (i32 j = 0; j < cur.count; ++j) {
            const DM_STRIP_EDGE &c = cur.edges[j];
            if (c.valid == 0 || c.kind != prev.edges[i].kind || cur.lineOf[j] >= 0) continue;
            if (c.position < centre - reach) continue;
            if (c.position > centre + reach) break;
            const GEO_POINT curAt{c.position, c.row};
            if (DM_EdgesCompatible(&prev.records[i], prevAt, &cur.records[j], curAt) == 0) continue;
            if (tracked) {
                DM_TRACKED_LINE &line = st->lines[id];
                AddRecordEnds(&line, &cur.records[j], 0);
                LineThroughSums(&line);
                line.last = cur.records[j];
                line.lastRow = c.row;
                PlaceLineEnds(&line, Min(line.first.start.y, line.last.start.y),
                              Max(line.first.end.y, line.last.end.y));
                cur.lineOf[j] = static_cast<i16>(id);
            } else if (st->lineCount < kDmStripMaxLines) {
                DM_StartTrackedLine(&st->lines[st->lineCount], &prev.records[i], &cur.records[j], c.row);
                prev.lineOf[i] = static_cast<i16>(st->lineCount);
                cur.lineOf[j] = static_cast<i16>(st->lineCount);
                ++st->lineCount;
            }
            break;
        }
    }
    for (i32 k = 0; k < st->lineCount; ++k) {
        if (st->lines[k].closed == 0 && st->lines[k].lastRow < 4 * row) CloseLine(&st->lines[k]);
    }
}

void DM_ExtendLineEnds(DM_TRACKED_LINE *line, DM_TRACE_POINTS *pts) {
    if (line == nullptr || pts == nullptr) return;
    DM_TRACE_WALK walk{kDmAlongRow, line->kind, FollowLimits(line->first.amplitude, line->first.relative), -16,
                       kDmStripTracePoints, kExtendTolerance, line->line};
    pts->count = 0;
    i32 top = line->p.y, bottom = line->q.y;
    if (DM_TraceEdgeSteps(line->p.y, line->p.x, &walk, pts) > 0) top = pts->u[pts->count - 1];
    walk.limits = FollowLimits(line->last.amplitude, line->last.relative);
    walk.step = 16;
    pts->count = 0;
    if (DM_TraceEdgeSteps(line->q.y, line->q.x, &walk, pts) > 0) bottom = pts->u[pts->count - 1];
    PlaceLineEnds(line, top, bottom);
}

namespace {

bool Mergeable(const DM_TRACKED_LINE &a, const DM_TRACKED_LINE &b) {
    if (a.kind != b.kind || b.p.y < a.p.y || b.p.y > a.q.y + 192) return false;
    if (Abs(a.angle - b.angle) > 10) return false;
    if (Abs(Geo_LineEval(a.line, b.p.y) - b.p.x) > 16) return false;
    return DM_ContrastContinues(&a.last, a.q, &b.first, b.p) != 0;
}

void MergeInto(DM_TRACKED_LINE *a, DM_TRACKED_LINE *b) {
    for (i32 k = 0; k < 4; ++k) a->sums.matrix[k] += b->sums.matrix[k];
    a->sums.right[0] += b->sums.right[0];
    a->sums.right[1] += b->sums.right[1];
    LineThroughSums(a);
    if (b->q.y > a->q.y) a->last = b->last;
    PlaceLineEnds(a, Min(a->p.y, b->p.y), Max(a->q.y, b->q.y));
    a->angle = DM_SlopeToAngle(a->line[0]) / 2;
    b->length = 0;
}

i32 CompactLines(DM_TRACKED_LINE *lines, i32 count) {
    i32 n = 0;
    for (i32 i = 0; i < count; ++i) {
        if (lines[i].length <= 0) continue;
        if (n != i) lines[n] = lines[i];
        ++n;
    }
    return n;
}

}  // namespace

i32 DM_MergeTrackedLines(DM_TRACKED_LINE *lines, i32 count, DM_TRACE_POINTS *pts) {
    if (lines == nullptr || pts == nullptr || count <= 0) return 0;
    for (i32 i = 0; i < count; ++i) {
        if (lines[i].closed == 0) CloseLine(&lines[i]);
    }
    const i32 n = CompactLines(lines, count);
    for (i32 i = 0; i < n; ++i) {
        lines[i].angle = DM_SlopeToAngle(lines[i].line[0]) / 2;
        DM_ExtendLineEnds(&lines[i], pts);
    }
    // Every merge removes a line, so the scan repeats at most n times.
    for (i32 i = 0; i < n; ++i) {
        if (lines[i].length <= 0) continue;
        for (i32 j = 0; j < n; ++j) {
            if (j == i || lines[j].length <= 0 || !Mergeable(lines[i], lines[j])) continue;
            MergeInto(&lines[i], &lines[j]);
            j = -1;
        }
    }
    return CompactLines(lines, n);
}

void DM_SortStripCandidates(DM_CANDIDATE *c, i32 n) {
    if (c == nullptr) return;
    const i64 w = FrameWidth(), h = FrameHeight();
    for (i32 i = 0; i < n; ++i) {
        const DM_CANDIDATE &k = c[i];
        const i64 sy = static_cast<i64>(k.armEnd1.y) + k.corner.y + k.armEnd2.y + k.fourthCorner.y - 2 * h;
        const i64 sx = static_cast<i64>(k.armEnd1.x) + k.corner.x + k.armEnd2.x + k.fourthCorner.x - 2 * w;
        const i64 key = sx * sx + sy * sy;
        c[i].contrastHint = key > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<i32>(key);
    }
    for (i32 i = 1; i < n; ++i) {
        const DM_CANDIDATE t = c[i];
        i32 j = i - 1;
        while (j >= 0 && c[j].contrastHint > t.contrastHint) {
            c[j + 1] = c[j];
            --j;
        }
        c[j + 1] = t;
    }
}

// ---- Routines that nothing calls.

i32 DM_SquaredDistanceFromFit(const f32 line[2], i32 x, i32 y) {
    if (line == nullptr) return -1;
    const f64 s = line[0];
    const f64 norm = 1.0 + s * s;
    if (!(norm < 1e12)) return -1;
    const f64 d = (static_cast<f64>(x) - s * y - line[1]);
    const f64 sq = d * d / norm;
    return sq > 2147483647.0 ? 0x7FFFFFFF : static_cast<i32>(sq);
}

i32 DM_StartLineSameKind(DM_TRACKED_LINE *line, const DM_EDGE_RECORD *a, const DM_EDGE_RECORD *b) {
    if (line == nullptr || a == nullptr || b == nullptr || a->kind != b->kind) return 0;
    DM_StartTrackedLine(line, a, b, b->start.y);
    return 1;
}

i32 DM_ContrastContinuesSameKind(const DM_EDGE_RECORD *ra, GEO_POINT a, const DM_EDGE_RECORD *rb, GEO_POINT b) {
    if (ra == nullptr || rb == nullptr || ra->kind != rb->kind) return 0;
    return DM_ContrastContinues(ra, a, rb, b);
}

// ---- The pipeline.

namespace {

void CutStrip(DM_STRIP_STATE *st, DM_STRIP_SET *set, i32 y, DM_STRIP_SET *prev, bool havePrev) {
    const i32 n = DM_StripProfile(y, st->profile);
    set->count = DM_StripEdges(st->profile, n, DM_EDGE_LIMITS{5, 128}, 0, set->edges, kDmStripMaxEdges);
    if (DM_IsBusyStrip(set->edges, set->count) != 0) {
        set->count = DM_StripEdges(st->profile, n, DM_EDGE_LIMITS{12, 256}, 0, set->edges, kDmStripMaxEdges);
    }
    if (havePrev && prev->count > 0 && set->count > 0) {
        DM_DropRepeatedEdgeRuns(prev->edges, prev->count, set->edges, set->count);
    }
    for (i32 i = 0; i < set->count; ++i) set->lineOf[i] = -1;
}

void TraceStrip(DM_STRIP_SET *set, i32 y, DM_TRACE_POINTS *pts) {
    for (i32 i = 0; i < set->count; ++i) DM_TraceStripEdge(&set->edges[i], y, &set->records[i], pts);
}

}  // namespace

i32 DM_TrackFrameLines(DM_STRIP_STATE *st, DM_TRACE_POINTS *pts) {
    const i32 w = FrameWidth(), h = FrameHeight();
    // Frames are at most 1280 x 960; the records are sized for that.
    if (st == nullptr || pts == nullptr || Pix_GetImagePointer() == nullptr || h <= 12 || w < 3 ||
        w > kDmStripMaxWidth || h > kDmStripMaxHeight) {
        return 0;
    }
    st->lineCount = 0;
    st->strips[0].count = 0;
    st->strips[1].count = 0;
    pts->count = 0;
    i32 prevIndex = 0;
    bool havePrev = false;
    // Each strip reads rows y..y+2, so the last one must end inside the frame.
    for (i32 y = kDmStripFirstRow; y + 2 < h; y += kDmStripRowStep) {
        DM_STRIP_SET *cur = &st->strips[1 - prevIndex];
        CutStrip(st, cur, y, &st->strips[prevIndex], havePrev);
        TraceStrip(cur, y, pts);
        if (havePrev) DM_TrackStripLines(st, prevIndex, y);
        prevIndex = 1 - prevIndex;
        havePrev = true;
    }
    return DM_MergeTrackedLines(st->lines, st->lineCount, pts);
}

i32 DM_FindStripCandidates(DM_CANDIDATE *out, i32 max, i32 darkSide, i32 lightSide) {
    if (out == nullptr || max <= 0) return 0;
    DM_STRIP_STATE st;
    DM_TRACE_POINTS pts;
    i32 count = DM_TrackFrameLines(&st, &pts);
    count = DM_CheckLineSides(st.lines, count, darkSide, lightSide);
    const i32 capacity = max < kDmStripMaxCandidates ? max : kDmStripMaxCandidates;
    i32 n = 0;
    for (i32 i = 0; i < count && n < capacity; ++i) {
        DM_LINE_RESULT result;
        std::memset(&result, 0, sizeof result);
        DM_BuildStripCandidates(&st.lines[i], &result, &pts);
        n = DM_AppendStripCandidates(&st.lines[i], &result, out, n, capacity);
    }
    DM_SortStripCandidates(out, n);
    return n;
}

i32 DM_FetchStripCandidates(DM_CANDIDATE *out, i32 max, i32 darkOnLightWanted, i32 lightOnDarkWanted) {
    if (out == nullptr || max <= 0) return 0;
    DM_CANDIDATE found[kDmStripMaxCandidates];
    const i32 n = DM_FindStripCandidates(found, kDmStripMaxCandidates, darkOnLightWanted, lightOnDarkWanted);
    const i32 m = n < max ? n : max;
    for (i32 i = 0; i < m; ++i) {
        const i32 hint = out[i].contrastHint;
        out[i] = found[i];
        out[i].contrastHint = hint;
        out[i].arm1Length = Geo_DistanceInt(out[i].armEnd1.x, out[i].armEnd1.y, out[i].corner.x, out[i].corner.y);
        out[i].arm2Length = Geo_DistanceInt(out[i].corner.x, out[i].corner.y, out[i].armEnd2.x, out[i].armEnd2.y);
    }
    return m;
}

}  // namespace vexo

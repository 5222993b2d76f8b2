#include "pdf417/mpdf_locate.h"

#include <cstring>

#include "core/pixel.h"
#include "core/state.h"
#include "linear_image/lineimg_thresholds.h"
#include "toolkit/geometry_points.h"
#include "toolkit/profile.h"
#include "toolkit/quad.h"
#include "toolkit/sampling.h"

namespace vexo {

MPDF_THRESHOLDS g_mpdfThresholds = {102, 6};

namespace {

constexpr i32 kMaxSamples = 1280;
constexpr i32 kMaxSegments = 512;
constexpr i32 kCornerTL = 0;
constexpr i32 kCornerTR = 1;
constexpr i32 kCornerBL = 2;
constexpr i32 kCornerBR = 3;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }
i32 Min32(i32 a, i32 b) { return a < b ? a : b; }
i32 Max32(i32 a, i32 b) { return a > b ? a : b; }
i32 Manhattan(GEO_POINT a, GEO_POINT b) { return Abs32(a.x - b.x) + Abs32(a.y - b.y); }
GEO_POINT Mid(GEO_POINT a, GEO_POINT b) { return GEO_POINT{(a.x + b.x) / 2, (a.y + b.y) / 2}; }

// The locator's work memory, laid out in the second buffer for one call.
struct LOCATE_WORK {
    u8 samples[kMaxSamples];
    i32 xs[kMaxSamples];
    i32 ys[kMaxSamples];
    i32 edges[kMpdfMaxEdges];
    i32 starts[kMpdfMaxEdges];
    i32 modules[kMpdfMaxEdges];
    MPDF_STEP segments[kMaxSegments];
    i32 segmentCount;
    MPDF_STEP traceSteps[kMpdfTraceSteps];
    MPDF_STEP list[kMpdfTraceSteps];
    i32 listCount;
    i32 traceCount;
    MPDF_COLUMN_TABLE table;
    i32 order[kMpdfColumnEntries / 2];
    i32 kept;
};

LOCATE_WORK *TakeWork() {
    u8 *m = Pix_WorkMemory(static_cast<i64>(sizeof(LOCATE_WORK)) + 8);
    if (m == nullptr) return nullptr;
    const uintptr_t at = (reinterpret_cast<uintptr_t>(m) + 7) & ~static_cast<uintptr_t>(7);
    return reinterpret_cast<LOCATE_WORK *>(at);
}

u16 EdgesOf(const u8 *samples, i32 n, i32 *edges) {
    return Prof_FindEdgesSub16(samples, n, edges, kMpdfMaxEdges, g_mpdfThresholds.ratio, g_mpdfThresholds.minStep);
}

// The coordinate index of an edge position on a line sampled with its coordinates.
i32 SampleIndex(i32 position16, i32 n) { return Max32(0, Min32(position16 / 16, n - 1)); }

// The candidates of one scan line p-q appended to the segment list.
void CollectSegments(LOCATE_WORK *w, GEO_POINT p, GEO_POINT q, bool measure) {
    const i32 n = Geo_SampleLineWithCoords(g_image.data, &p, &q, w->samples, w->xs, w->ys, kMaxSamples);
    if (measure) {
        i32 minStep = 6;
        g_mpdfThresholds.ratio = LineImg_EstimateEdgeThresholds(w->samples, n, 6, 102, &minStep, 0);
        g_mpdfThresholds.minStep = minStep;
    }
    if (n < 2) return;
    const i32 e = EdgesOf(w->samples, n, w->edges);
    if (e < 7) return;
    const i32 c = MPDF_FindRapCandidates(w->edges, e, w->starts, w->modules, kMpdfMaxEdges);
    for (i32 k = 0; k < c && w->segmentCount < kMaxSegments; ++k) {
        const i32 a = SampleIndex(w->edges[w->starts[k]], n);
        const i32 b = SampleIndex(w->edges[w->starts[k] + 6], n);
        w->segments[w->segmentCount++] = MPDF_STEP{GEO_POINT{w->xs[a], w->ys[a]}, GEO_POINT{w->xs[b], w->ys[b]}};
    }
}

bool InsideBoxes(const LOCATE_WORK *w, GEO_POINT p) {
    for (i32 k = 0; k < w->table.count / 2; ++k) {
        if (Geo_PointInQuad(&p, &w->table.box[k]) != 0) return true;
    }
    return false;
}

REGION_QUAD BoxOf(MPDF_STEP first, MPDF_STEP last) {
    const GEO_POINT p[4] = {first.first, first.last, last.first, last.last};
    i32 x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
    for (const GEO_POINT &v : p) {
        x0 = Min32(x0, v.x);
        x1 = Max32(x1, v.x);
        y0 = Min32(y0, v.y);
        y1 = Max32(y1, v.y);
    }
    return REGION_QUAD{{{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}}};
}

// Appends entries from..to of the trace (reverse: from down to to): false when they do
// not fit the list, which ends the search.
bool AppendSteps(LOCATE_WORK *w, const MPDF_TRACE &t, bool reverse) {
    const i32 n = t.count - 2;  // without the starting segment and the last step
    if (n <= 0) return true;
    if (w->listCount + n > kMpdfTraceSteps) return false;
    for (i32 i = 0; i < n; ++i) w->list[w->listCount++] = t.steps[reverse ? t.count - 2 - i : 1 + i];
    return true;
}

// The run's end steps put on the straight lines fitted through all its first-edge and all
// its last-edge points: one stray step at an end would otherwise tilt the column's lines.
void FitEdgeLine(const MPDF_STEP *steps, i32 n, bool lastEdge, GEO_POINT *a, GEO_POINT *b) {
    const GEO_POINT p0 = lastEdge ? steps[0].last : steps[0].first;
    const GEO_POINT p1 = lastEdge ? steps[n - 1].last : steps[n - 1].first;
    const bool alongY = Abs32(p1.y - p0.y) >= Abs32(p1.x - p0.x);
    f64 su = 0, sv = 0, suu = 0, suv = 0;
    for (i32 i = 0; i < n; ++i) {
        const GEO_POINT p = lastEdge ? steps[i].last : steps[i].first;
        const f64 u = alongY ? p.y : p.x;
        const f64 v = alongY ? p.x : p.y;
        su += u;
        sv += v;
        suu += u * u;
        suv += u * v;
    }
    const f64 det = n * suu - su * su;
    if (n < 3 || det <= 0) return;
    const f64 slope = (n * suv - su * sv) / det;
    const f64 offset = (sv - slope * su) / n;
    auto put = [&](GEO_POINT *q, GEO_POINT p) {
        const f64 u = alongY ? p.y : p.x;
        const i32 v = static_cast<i32>(slope * u + offset + (slope * u + offset >= 0 ? 0.5 : -0.5));
        if (alongY) {
            *q = GEO_POINT{v, p.y};
        } else {
            *q = GEO_POINT{p.x, v};
        }
    };
    put(a, p0);
    put(b, p1);
}

void FitRunEnds(const MPDF_STEP *steps, i32 n, MPDF_STEP *first, MPDF_STEP *last) {
    FitEdgeLine(steps, n, false, &first->first, &last->first);
    FitEdgeLine(steps, n, true, &first->last, &last->last);
}

MPDF_TRACE StartTrace(LOCATE_WORK *w, const MPDF_STEP &s, GEO_POINT towards, GEO_POINT away) {
    MPDF_TRACE t{};
    t.towards = towards;
    t.away = away;
    t.start = s;
    Geo_StepTowardsRound(&s.first, &s.last, -2, &t.endA);
    Geo_StepTowardsRound(&s.last, &s.first, -2, &t.endB);
    t.steps = w->traceSteps;
    t.capacity = kMpdfTraceSteps;
    return t;
}

// The search over the three scan lines; false when it had to stop.
void SearchSegments(LOCATE_WORK *w, const REGION_QUAD &quad) {
    const GEO_POINT c0 = quad.c[kCornerTL];
    const GEO_POINT c2 = quad.c[kCornerBL];
    for (i32 s = 0; s < w->segmentCount; ++s) {
        const MPDF_STEP seg = w->segments[s];
        if (InsideBoxes(w, seg.first) || InsideBoxes(w, seg.last)) continue;
        MPDF_TRACE up = StartTrace(w, seg, c0, c2);
        if (MPDF_TraceRapColumn(&up, w->samples, w->xs, w->ys, kMaxSamples) < 4) continue;
        if (w->traceCount >= kMpdfMaxTraces) return;
        ++w->traceCount;
        const i32 runStart = w->listCount;
        if (!AppendSteps(w, up, true)) return;
        MPDF_TRACE down = StartTrace(w, seg, c2, c0);
        if (MPDF_TraceRapColumn(&down, w->samples, w->xs, w->ys, kMaxSamples) < 4) {
            w->listCount = runStart;  // no new column: its steps give their room back
            continue;
        }
        if (!AppendSteps(w, down, false)) return;
        const i32 n = w->listCount - runStart;
        if (n < 2 || MPDF_SteadyRun(w->list + runStart, n) == 0) {
            w->listCount = runStart;  // no new column: its steps give their room back
            continue;
        }
        if (w->table.count >= kMpdfColumnEntries) return;
        MPDF_STEP first = w->list[runStart];
        MPDF_STEP last = w->list[w->listCount - 1];
        FitRunEnds(w->list + runStart, n, &first, &last);
        const i32 before = w->table.count;
        w->table.count = MPDF_AddColumn(&w->table, before, kMpdfColumnEntries, first, last, n + 1);
        if (w->table.count == before) {
            w->listCount = runStart;  // no new column: its steps give their room back
            continue;
        }
        w->table.box[before / 2] = BoxOf(first, last);
    }
}

void FindRapColumns(const REGION_QUAD &quad, LOCATE_WORK *w) {
    w->segmentCount = 0;
    w->listCount = 0;
    w->traceCount = 0;
    w->table.count = 0;
    w->kept = 0;
    const GEO_POINT s = Mid(quad.c[kCornerTL], quad.c[kCornerBL]);
    const GEO_POINT e = Mid(quad.c[kCornerTR], quad.c[kCornerBR]);
    CollectSegments(w, s, e, true);
    CollectSegments(w, Mid(s, quad.c[kCornerTL]), Mid(e, quad.c[kCornerTR]), false);
    CollectSegments(w, Mid(s, quad.c[kCornerBL]), Mid(e, quad.c[kCornerBR]), false);
    SearchSegments(w, quad);
    w->kept = MPDF_SelectColumns(&w->table, w->order);
}

void CopyColumns(const LOCATE_WORK *w, MPDF_RAP_COLUMNS *out) {
    out->lineCount = 0;
    for (i32 i = 0; i < w->kept && out->lineCount + 2 <= kMpdfLineEntries; ++i) {
        const MPDF_STEP &f = w->table.ends[2 * w->order[i]];
        const MPDF_STEP &l = w->table.ends[2 * w->order[i] + 1];
        out->lines[out->lineCount][0] = f.first;
        out->lines[out->lineCount][1] = l.first;
        out->lines[out->lineCount + 1][0] = f.last;
        out->lines[out->lineCount + 1][1] = l.last;
        out->lineCount += 2;
    }
}

// ---- Tracing.

struct STEP_STATE {
    i32 step;
    i32 allowance;
    i32 misses;
    i64 sumStart;
    i64 sumEnd;
    i32 accepted;
};

enum StepOutcome { kAccept, kMiss, kStop };

// Whether the candidate moved steadily from the previous step: a jump is a miss, a drift
// across the column or a second miss stops.
StepOutcome CheckMove(const MPDF_TRACE *t, const STEP_STATE &st, MPDF_STEP prev, MPDF_STEP cand) {
    const i32 ds = Manhattan(cand.first, prev.first);
    const i32 de = Manhattan(cand.last, prev.last);
    if (st.accepted >= 1) {
        const i64 ms = st.sumStart / st.accepted;
        const i64 me = st.sumEnd / st.accepted;
        if (2 * ms < ds - st.allowance || 2 * me < de - st.allowance) return st.misses >= 2 ? kStop : kMiss;
    }
    const bool flat = Abs32(t->start.last.x - t->start.first.x) > Abs32(t->start.last.y - t->start.first.y);
    const i32 a = flat ? Abs32(cand.first.x - prev.first.x) : Abs32(cand.first.y - prev.first.y);
    const i32 b = flat ? Abs32(cand.last.x - prev.last.x) : Abs32(cand.last.y - prev.last.y);
    if (a >= 3 || b >= 3) return kStop;
    return kAccept;
}

}  // namespace

void MPDF_StepAlongDirection(GEO_POINT a, GEO_POINT b, GEO_POINT p, GEO_POINT *out, i32 d) {
    const GEO_POINT q{p.x + (a.x - b.x), p.y + (a.y - b.y)};
    Geo_StepTowards(&p, &q, out, d);
}

i32 MPDF_FindRapCandidates(const i32 *edges, i32 count, i32 *starts, i32 *moduleWidths, i32 capacity) {
    if (edges == nullptr || starts == nullptr || moduleWidths == nullptr || count < 7) return 0;
    i32 n = 0;
    for (i32 i = 0; i + 6 < count && n < capacity; ++i) {
        const i32 m = (edges[i + 6] - edges[i]) / 10;
        if (m <= 0) continue;
        i32 sum = 0;
        bool ok = true;
        for (i32 k = 0; k < 3; ++k) {
            const i32 v = (edges[i + 2 * k + 2] - edges[i + 2 * k] + m / 2) / m;
            ok = ok && v >= 2 && v <= 6;
            sum += v;
        }
        if (!ok || sum != 10) continue;
        starts[n] = i;
        moduleWidths[n] = m;
        ++n;
    }
    return n;
}

i32 MPDF_TraceRapColumn(MPDF_TRACE *t, u8 *samples, i32 *xs, i32 *ys, i32 capacity) {
    if (t == nullptr || t->steps == nullptr || t->capacity < 1 || samples == nullptr || xs == nullptr ||
        ys == nullptr) {
        return 0;
    }
    capacity = Min32(capacity, kMaxSamples);
    i32 edges[kMpdfMaxEdges];
    i32 starts[kMpdfMaxEdges];
    i32 modules[kMpdfMaxEdges];
    t->steps[0] = t->start;
    t->count = 1;
    STEP_STATE st{2, 0, 0, 0, 0, 0};
    // Every round moves on at least two pixels; the image bounds the number of rounds.
    const i32 budget = 2 * (g_image.width + g_image.height) + 16;
    for (i32 round = 0; round < budget && t->count < t->capacity; ++round) {
        const MPDF_STEP prev = t->steps[t->count - 1];
        GEO_POINT a{};
        GEO_POINT b{};
        MPDF_StepAlongDirection(t->towards, t->away, t->endA, &a, st.step);
        MPDF_StepAlongDirection(t->towards, t->away, t->endB, &b, st.step);
        const i32 nc = Geo_RasteriseLineXY(&a, &b, xs, ys, capacity);
        const i32 ns = Geo_SampleLine16(a.x * 16, a.y * 16, b.x * 16, b.y * 16, samples, capacity);
        const i32 n = Min32(nc + 1, ns);
        i32 found = 0;
        i32 e = 0;
        if (n >= 7) {
            e = EdgesOf(samples, n, edges);
            if (e >= 7) found = MPDF_FindRapCandidates(edges, e, starts, modules, kMpdfMaxEdges);
        }
        // Sample k lies at point k of the segment; the coordinate lists start at point 1.
        auto point = [&](i32 position16) {
            const i32 k = Max32(1, Min32(position16 / 16, nc)) - 1;
            return GEO_POINT{xs[k], ys[k]};
        };
        StepOutcome outcome = kMiss;
        i32 grow = 2;
        MPDF_STEP cand{};
        if (found == 1) {
            cand = MPDF_STEP{point(edges[starts[0]]), point(edges[starts[0] + 6])};
            const i32 ds = Manhattan(cand.first, prev.first);
            const i32 de = Manhattan(cand.last, prev.last);
            if (Abs32(ds - de) < 4) {
                outcome = CheckMove(t, st, prev, cand);
                grow = st.step;
            } else {
                grow = st.step + 2;
            }
        } else if (found > 1) {
            i32 best = -1;
            i32 bestD = 0;
            i32 bestEnd = -1;
            i32 bestEndD = 0;
            for (i32 k = 0; k < found; ++k) {
                const i32 d1 = Manhattan(point(edges[starts[k]]), prev.first);
                const i32 d2 = Manhattan(point(edges[starts[k] + 6]), prev.last);
                if (best < 0 || d1 < bestD) {
                    best = k;
                    bestD = d1;
                }
                if (bestEnd < 0 || d2 < bestEndD) {
                    bestEnd = k;
                    bestEndD = d2;
                }
            }
            grow = st.step + 2;
            if (bestD >= 20) {
                outcome = kStop;
            } else if (best == bestEnd) {
                cand = MPDF_STEP{point(edges[starts[best]]), point(edges[starts[best] + 6])};
                outcome = CheckMove(t, st, prev, cand);
            }
        }
        if (outcome == kStop) break;
        if (outcome == kAccept) {
            st.sumStart += Manhattan(cand.first, prev.first);
            st.sumEnd += Manhattan(cand.last, prev.last);
            ++st.accepted;
            t->steps[t->count++] = cand;
            Geo_StepTowardsRound(&cand.first, &cand.last, -3, &t->endA);
            Geo_StepTowardsRound(&cand.last, &cand.first, -3, &t->endB);
            st.step = 2;
            st.allowance = 0;
            st.misses = 0;
            continue;
        }
        if (++st.misses >= 3) break;
        st.allowance += found == 0 ? 2 : grow;
        st.step += 2;
    }
    return t->count - 1;
}

int MPDF_SteadyRun(const MPDF_STEP *steps, i32 n) {
    if (steps == nullptr || n <= 0) return 0;
    i32 jumps = 0;
    for (i32 i = 1; i < n; ++i) {
        if (Manhattan(steps[i].first, steps[i - 1].first) > 5 || Manhattan(steps[i].last, steps[i - 1].last) > 5) {
            ++jumps;
        }
    }
    return 20 * jumps > n ? 0 : 1;
}

i32 MPDF_AddColumn(MPDF_COLUMN_TABLE *table, i32 count, i32 capacity, MPDF_STEP first, MPDF_STEP last,
                   i32 length) {
    if (table == nullptr || count < 0) return count;
    capacity = Min32(capacity, kMpdfColumnEntries);
    if (count >= capacity) return count;
    const GEO_POINT p[4] = {first.first, first.last, last.first, last.last};
    for (i32 k = 0; k < count / 2; ++k) {
        const MPDF_STEP &f = table->ends[2 * k];
        const MPDF_STEP &l = table->ends[2 * k + 1];
        const GEO_POINT q[4] = {f.first, f.last, l.first, l.last};
        bool near = false;
        for (i32 i = 0; i < 4; ++i) near = near || (Abs32(p[i].x - q[i].x) <= 3 && Abs32(p[i].y - q[i].y) <= 3);
        if (!near) continue;
        if (length > table->length[k]) {
            table->ends[2 * k] = first;
            table->ends[2 * k + 1] = last;
            table->length[k] = length;
            table->box[k] = BoxOf(first, last);
        }
        return count;
    }
    table->ends[count] = first;
    table->ends[count + 1] = last;
    table->length[count / 2] = length;
    table->box[count / 2] = BoxOf(first, last);
    return count + 2;
}

i32 MPDF_SelectColumns(MPDF_COLUMN_TABLE *t, i32 *order) {
    if (t == nullptr || order == nullptr) return 0;
    i32 n = Min32(t->count, kMpdfColumnEntries) / 2;
    i32 h = 0;
    for (i32 k = 0; k < n; ++k) h = Max32(h, t->length[k]);
    for (i32 k = 0; k < n;) {
        if (t->length[k] * 2 < h) {
            --n;
            t->ends[2 * k] = t->ends[2 * n];
            t->ends[2 * k + 1] = t->ends[2 * n + 1];
            t->length[k] = t->length[n];
            t->box[k] = t->box[n];
            k = 0;
        } else {
            ++k;
        }
    }
    t->count = 2 * n;
    if (n == 0) return 0;
    const GEO_POINT a = t->ends[0].first;
    const GEO_POINT b = t->ends[1].first;
    const bool vertical = Abs32(b.x - a.x) < Abs32(b.y - a.y);
    i32 keys[kMpdfColumnEntries / 2];
    for (i32 k = 0; k < n; ++k) {
        const GEO_POINT f = t->ends[2 * k].first;
        const GEO_POINT l = t->ends[2 * k + 1].first;
        keys[k] = vertical ? (f.x + l.x) / 2 : (f.y + l.y) / 2;
        order[k] = k;
    }
    Geo_PartialSortPairs(keys, n, n, order, vertical ? 0 : 1);
    return n;
}

// ---- Side and polarity hints.

void MPDF_ModuleWidthOfColumn(const GEO_POINT (*lines)[2], i32 k, i32, i32 *width) {
    const GEO_POINT m = Mid(lines[2 * k][0], lines[2 * k][1]);
    *width = Geo_DistanceToLine(&m, &lines[2 * k + 1][0], &lines[2 * k + 1][1]) / 10;
}

i32 MPDF_EdgeSpanModules(GEO_POINT from, GEO_POINT to, i32 moduleWidth) {
    if (moduleWidth <= 0) return 0;
    u8 samples[kMaxSamples];
    i32 edges[kMpdfMaxEdges];
    const i32 n = Geo_SampleLine(g_image.data, &from, &to, samples, kMaxSamples);
    if (n < 2) return 0;
    const i32 e = EdgesOf(samples, n, edges);
    if (e < 6) return 0;
    return ((edges[e - 1] - edges[0]) / 16) / moduleWidth;
}

namespace {

// The probe points at a quarter, a half and three quarters of the line (plus 4 pixels).
void ProbePoints(const GEO_POINT *line, GEO_POINT probes[3]) {
    const i32 length = Geo_DistanceInt(line[0].x, line[0].y, line[1].x, line[1].y) + 4;
    for (i32 i = 0; i < 3; ++i) {
        if (line[0].x == line[1].x && line[0].y == line[1].y) {
            probes[i] = line[0];
        } else {
            Geo_StepTowards(&line[0], &line[1], &probes[i], length * (i + 1) / 4);
        }
    }
}

}  // namespace

void MPDF_ProbeColumnSides(const GEO_POINT *line, const GEO_POINT *other, i32 *sums, i32 w) {
    GEO_POINT probes[3];
    ProbePoints(line, probes);
    const GEO_POINT dir{line[1].x - line[0].x, line[1].y - line[0].y};
    for (const GEO_POINT &p : probes) {
        const GEO_POINT across{p.x - dir.y, p.y + dir.x};
        GEO_POINT partner = p;
        if (Geo_IntersectLines(&p, &across, &other[0], &other[1], &partner) == 0) continue;
        GEO_POINT beyond{};
        GEO_POINT beyondPartner{};
        Geo_StepTowards(&p, &partner, &beyond, -20 * w);
        Geo_StepTowards(&partner, &p, &beyondPartner, -20 * w);
        if (p.x != partner.x || p.y != partner.y) {
            sums[0] += MPDF_EdgeSpanModules(p, beyond, w);
            sums[1] += MPDF_EdgeSpanModules(partner, beyondPartner, w);
        }
    }
}

void MPDF_ClassifyColumnSides(MPDF_RAP_COLUMNS *c) {
    if (c == nullptr || c->lineCount < 2) return;
    const GEO_POINT *l0 = c->lines[0];
    c->vertical = Abs32(l0[1].x - l0[0].x) < Abs32(l0[1].y - l0[0].y) ? 1 : 0;
    for (i32 k = 0; 2 * k + 1 < Min32(c->lineCount, kMpdfLineEntries); ++k) {
        i32 w = 0;
        MPDF_ModuleWidthOfColumn(c->lines, k, 0, &w);
        i32 sums[2] = {0, 0};
        if (w > 0) MPDF_ProbeColumnSides(c->lines[2 * k], c->lines[2 * k + 1], sums, w);
        c->sideFlags[2 * k] = sums[0] > 32 ? 1 : 0;
        c->sideFlags[2 * k + 1] = sums[1] > 32 ? 1 : 0;
    }
}

void MPDF_ProbeColumnPolarity(const GEO_POINT *line, const GEO_POINT *other, i32 *balance) {
    constexpr i32 kProbeSamples = 16;
    GEO_POINT probes[3];
    ProbePoints(line, probes);
    const i32 dx = other[0].x - other[1].x;
    const i32 dy = other[0].y - other[1].y;
    for (const GEO_POINT &p : probes) {
        const GEO_POINT plus{p.x + dy, p.y - dx};
        const GEO_POINT minus{p.x - dy, p.y + dx};
        GEO_POINT a{};
        GEO_POINT b{};
        Geo_StepTowards(&p, &plus, &a, 3);
        Geo_StepTowards(&p, &minus, &b, 3);
        u8 samples[kProbeSamples];
        i32 xs[kProbeSamples];
        i32 ys[kProbeSamples];
        i32 positions[kProbeSamples];
        const i32 n = Geo_SampleLineWithCoords(g_image.data, &a, &b, samples, xs, ys, kProbeSamples);
        if (n < 2) continue;
        auto near = [&](i32 pos) {
            const i32 k = SampleIndex(pos, n);
            return Abs32(xs[k] - p.x) <= 1 && Abs32(ys[k] - p.y) <= 1;
        };
        const i32 nf = Prof_FindFallingEdges(samples, n, g_mpdfThresholds.ratio, g_mpdfThresholds.minStep, positions,
                                             kProbeSamples);
        for (i32 i = 0; i < nf; ++i) balance[0] += near(positions[i]) ? 1 : 0;
        const i32 nr = Prof_FindRisingEdges(samples, n, g_mpdfThresholds.ratio, g_mpdfThresholds.minStep, positions,
                                            kProbeSamples);
        for (i32 i = 0; i < nr; ++i) balance[1] += near(positions[i]) ? 1 : 0;
    }
}

void MPDF_ClassifyColumnPolarity(MPDF_RAP_COLUMNS *c) {
    if (c == nullptr) return;
    std::memset(c->polarityFlags, 0, sizeof c->polarityFlags);
    for (i32 k = 0; 2 * k + 1 < Min32(c->lineCount, kMpdfLineEntries); ++k) {
        i32 balance[2] = {0, 0};  // falling, rising
        MPDF_ProbeColumnPolarity(c->lines[2 * k], c->lines[2 * k + 1], balance);
        c->polarityFlags[k] = balance[1] < balance[0] ? 1 : 0;
    }
}

i32 MPDF_NormaliseQuads(REGION_QUAD *quads, i32 count) {
    if (quads == nullptr) return 0;
    if (count <= 0) {
        const i32 w = g_image.width;
        const i32 h = g_image.height;
        const i32 x0 = w >> 2, x1 = (w >> 1) + (w >> 2), y0 = h >> 2, y1 = (h >> 1) + (h >> 2);
        quads[0] = REGION_QUAD{{{x0, y0}, {x1, y0}, {x0, y1}, {x1, y1}}};
        return 1;
    }
    for (i32 i = 0; i < count; ++i) {
        REGION_QUAD &q = quads[i];
        if (Abs32(q.c[1].x - q.c[0].x) < Abs32(q.c[1].y - q.c[0].y)) {
            const GEO_POINT t0 = q.c[0];
            q.c[0] = q.c[1];
            q.c[1] = t0;
            const GEO_POINT t2 = q.c[2];
            q.c[2] = q.c[3];
            q.c[3] = t2;
        }
    }
    return count;
}

int MPDF_LocateInQuad(const REGION_QUAD *region, MPDF_RAP_COLUMNS *out) {
    if (region == nullptr || out == nullptr) return 0;
    REGION_QUAD quad = *region;
    MPDF_NormaliseQuads(&quad, 1);
    out->lineCount = 0;
    LOCATE_WORK *w = g_image.data != nullptr ? TakeWork() : nullptr;
    if (w == nullptr) return 1;
    for (int pass = 0; pass < 2; ++pass) {
        FindRapColumns(quad, w);
        CopyColumns(w, out);
        MPDF_ClassifyColumnSides(out);
        MPDF_ClassifyColumnPolarity(out);
        if (out->lineCount > 1) break;
        // Nothing across the rows: the scan lines go the other way.
        const REGION_QUAD q = quad;
        quad = REGION_QUAD{{q.c[kCornerTR], q.c[kCornerBR], q.c[kCornerTL], q.c[kCornerBL]}};
    }
    return 1;
}

int MPDF_LocateRapColumns(MPDF_RAP_COLUMNS *out) {
    if (out == nullptr || g_state.locatedCount > kMpdfMaxRegions) return 0;
    return MPDF_LocateInQuad(&g_state.stageRegionAligned, out);
}

}  // namespace vexo

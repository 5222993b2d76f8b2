#include "locate/bar_follow.h"

#include <cstdint>

#include "core/pixel.h"
#include "locate/edge_pairing.h"
#include "toolkit/geometry_points.h"
#include "toolkit/profile.h"
#include "toolkit/quad.h"
#include "toolkit/sampling.h"

namespace vexo {

BAR_RESULTS g_barResults{};
i32 g_barContrastRatio = kBarContrastRatioAtLoad;

namespace {

constexpr i32 kWindow = 12;
constexpr i32 kWindowEdges = 8;
constexpr i32 kWindowRatio = 120;
constexpr i32 kRowMinStep = 10;
constexpr i32 kColumnMinStep = 6;
constexpr i32 kStartMargin = 15;
constexpr i32 kStepMargin = 17;
constexpr i32 kProbeSamples = 48;
constexpr i32 kProbeEdges = 8;
constexpr i32 kProbeReach = 20;
constexpr i32 kProbeFirstPosition = 48;  // 1/16 sample: 3 samples from the segment
constexpr i32 kGreyAgreement = 50;
constexpr i32 kLineSamples = 192;
constexpr i32 kLineEdges = 64;
constexpr i32 kLineMinStep = 6;

// Scratch areas in the second buffer, one per operation.
struct FOLLOW_SCRATCH {
    i32 positions[kWindowEdges];
    u8 window[kWindow];
};
struct PROBE_SCRATCH {
    i32 xs[kProbeSamples];
    i32 ys[kProbeSamples];
    i32 edges[kProbeEdges];
    i32 lists[3][kProbeEdges];
    i32 matchA[3][kProbeEdges];
    i32 matchB[3][kProbeEdges];
    u8 samples[kProbeSamples];
};
struct STEP_SCRATCH {
    i32 xs[2][kLineSamples];
    i32 ys[2][kLineSamples];
    i32 edges[2][kLineEdges];
    i32 matchA[kLineEdges];
    i32 matchB[kLineEdges];
    u8 samples[2][kLineSamples];
};
static_assert(sizeof(FOLLOW_SCRATCH) <= kBarScratchBytes);
static_assert(sizeof(PROBE_SCRATCH) <= kBarScratchBytes);
static_assert(sizeof(STEP_SCRATCH) <= kBarScratchBytes);

// The operation's scratch area, or null when it does not fit the second buffer.
template <typename T>
T *BarScratch(i32 offset) {
    if (offset < 0) return nullptr;
    u8 *work = Pix_WorkMemory(static_cast<i64>(offset) + kBarScratchBytes);
    if (work == nullptr) return nullptr;
    u8 *at = work + offset;
    if (reinterpret_cast<uintptr_t>(at) % alignof(T) != 0) return nullptr;
    return reinterpret_cast<T *>(at);
}

i32 Abs32(i32 v) { return v < 0 ? -v : v; }
// Points and steps from a caller: far beyond any frame they only overflow the arithmetic.
constexpr i32 kFarCoordinate = 1 << 16;
bool SanePoint(const GEO_POINT *p) {
    return p != nullptr && p->x > -kFarCoordinate && p->x < kFarCoordinate && p->y > -kFarCoordinate &&
           p->y < kFarCoordinate;
}
i32 Near16(i32 v) { return (v + 8) >> 4; }

// Along (tracking) and lateral coordinates for the two followers.
struct BAR_AXIS {
    bool rows;
    i32 Along(GEO_POINT p) const { return rows ? p.y : p.x; }
    i32 Lateral(GEO_POINT p) const { return rows ? p.x : p.y; }
    GEO_POINT Point(i32 along, i32 lateral) const { return rows ? GEO_POINT{lateral, along} : GEO_POINT{along, lateral}; }
    i32 AlongSize() const { return rows ? g_image.height : g_image.width; }
    i32 LateralSize() const { return rows ? g_image.width : g_image.height; }
    u8 Pixel(i32 along, i32 lateral) const {
        return rows ? g_image.data[static_cast<i64>(along) * g_image.width + lateral]
                    : g_image.data[static_cast<i64>(lateral) * g_image.width + along];
    }
};

// Best candidate column of the window edges, or -1 (written to *best) when none qualifies.
struct FOLLOW_PICK {
    i32 lateral;
    bool found;
};
FOLLOW_PICK PickCandidate(const i32 *positions, i32 n, i32 w, i32 x, i32 drift, i32 sign, i32 polarity, bool back) {
    FOLLOW_PICK pick{0, false};
    i32 best = INT32_MAX;
    for (i32 k = 0; k < n; ++k) {
        const i32 c = polarity == 1 ? w + Near16(positions[k]) : w - Near16(positions[k]);
        i32 d = sign >= 0 ? c - x : x - c;
        if (d < (polarity == 1 ? -1 : 0)) {
            if (!back) continue;
            d = Abs32(d);
        }
        if (Abs32(c - x - drift) > 2 || d >= 6 || d > best) continue;
        best = d;
        pick = FOLLOW_PICK{c, true};
    }
    return pick;
}

int FollowEdge(BAR_FOLLOW *f, i32 scratchOffset, BAR_AXIS ax) {
    if (f == nullptr || g_image.data == nullptr || !SanePoint(&f->start) || !SanePoint(&f->next)) return 0;
    if (f->step <= -kFarCoordinate || f->step >= kFarCoordinate) return 0;
    FOLLOW_SCRATCH *s = BarScratch<FOLLOW_SCRATCH>(scratchOffset);
    if (s == nullptr) return 0;
    const i32 s0 = static_cast<i32>(f->lateral) * (Abs32(f->step) >> 1);
    const i32 shift = Abs32(s0) < 2 ? 2 : (Abs32(s0) > 4 ? 4 : Abs32(s0));
    const bool back = s0 < 2;
    f->origin = f->start;
    if (Abs32(f->next.x - f->start.x) == Abs32(f->next.y - f->start.y)) {
        f->step /= 2;
        f->pointerStep /= 2;
    }
    if (f->step == 0) return 0;
    const i32 drift = ax.Lateral(f->next) - ax.Lateral(f->start);
    const i32 along0 = ax.Along(f->next) - ax.Along(f->start);
    // The column follower takes the sign of progress for polarity 1 from the step direction.
    const i32 sign = (!ax.rows && f->polarity == 1) ? along0 : drift;
    const i32 minStep = ax.rows ? kRowMinStep : kColumnMinStep;
    const i32 latSize = ax.LateralSize(), alongSize = ax.AlongSize();
    i32 x = ax.Lateral(f->next), y = ax.Along(f->next);
    i32 w = f->polarity == 1 ? x - shift : x + shift;
    if (w <= kStartMargin || w >= latSize - kStartMargin || y < 16 || y >= alongSize - kStartMargin) return 0;
    // Each step moves along the axis and stays inside the margins, so the frame bounds it.
    for (i32 budget = alongSize; budget > 0; --budget) {
        const i32 row = y + f->step;
        if (row < 0 || row >= alongSize) break;
        for (i32 k = 0; k < kWindow; ++k) s->window[k] = ax.Pixel(row, f->polarity == 1 ? w + k : w - k);
        const i32 n = Prof_FindFallingEdges(s->window, kWindow, kWindowRatio, minStep, s->positions, kWindowEdges);
        const FOLLOW_PICK pick = PickCandidate(s->positions, n, w, x, drift, sign, f->polarity, back);
        if (!pick.found) break;
        ++f->steps;
        const i32 c = pick.lateral;
        if (c < 16 || row < 16 || c >= latSize - kStepMargin || row >= alongSize - kStepMargin) break;
        if (Abs32(c - x - drift) > 2 || Abs32(f->step - along0) > 2) break;
        const GEO_POINT np = ax.Point(row, c);
        if (f->stopInRegions == 1 && Loc_PointInBarRegions(&np) != 0) break;
        x = c;
        y = row;
        w = f->polarity == 1 ? x - shift : x + shift;
    }
    f->end = ax.Point(y, x);
    return f->steps > 0 ? 1 : 0;
}

int FollowBothWays(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *endUp, GEO_POINT *endDown, i32 scratchOffset,
                   i32 polarity, BAR_AXIS ax) {
    if (p == nullptr || q == nullptr || endUp == nullptr || endDown == nullptr) return 1;
    const i32 pointer = ax.rows ? 4 * g_image.width : 4;
    BAR_FOLLOW down{};
    down.start = *p;
    down.next = *q;
    down.lateral = static_cast<i16>(ax.Lateral(*p) - ax.Lateral(*q));
    down.step = 4;
    down.pointerStep = pointer;
    down.polarity = polarity;
    FollowEdge(&down, scratchOffset, ax);
    BAR_FOLLOW up{};
    up.start = *q;
    up.next = *p;
    up.lateral = static_cast<i16>(ax.Lateral(*q) - ax.Lateral(*p));
    up.step = -4;
    up.pointerStep = -pointer;
    up.polarity = polarity;
    FollowEdge(&up, scratchOffset, ax);
    *endUp = up.end;
    *endDown = down.steps > 1 ? down.end : *q;
    return 1;
}

i32 ProbeGrey(const GEO_POINT *from, const GEO_POINT *to, i32 pos) {
    GEO_POINT at{};
    Geo_StepTowards(from, to, &at, (pos - 8) >> 4);
    return Geo_PixelOrDefault(at.x, at.y, 255);
}

bool Agree(i32 u, i32 v) { return Abs32(u - v) <= kGreyAgreement; }

// The walk's rejection counters: a third too-long (or too-short) edge in a row ends it.
struct STEP_WALK {
    i32 u = 0, g = 1, added = 0, longs = 0, shorts = 0;
};

// Candidate segment of the edge through pA and pB followed both ways, or false.
bool FollowCandidate(GEO_POINT pA, GEO_POINT pB, i32 direction, i32 scratchOffset, BAR_AXIS ax, BAR_SEGMENT *out) {
    const i32 forward = direction == 1 ? 4 : -4;
    const i32 pointer = ax.rows ? 4 * g_image.width : 4;
    BAR_FOLLOW f{};
    f.start = pA;
    f.next = pB;
    BAR_FOLLOW g{};
    g.start = pB;
    g.next = pA;
    const i32 latF = ax.Lateral(pA) - ax.Lateral(pB);
    f.lateral = static_cast<i16>(direction == 1 ? latF : -latF);
    g.lateral = static_cast<i16>(direction == 1 ? -latF : latF);
    f.step = forward;
    g.step = -forward;
    f.pointerStep = forward > 0 ? pointer : -pointer;
    g.pointerStep = -f.pointerStep;
    f.polarity = g.polarity = direction;
    f.stopInRegions = g.stopInRegions = 1;
    FollowEdge(&f, scratchOffset, ax);
    FollowEdge(&g, scratchOffset, ax);
    if (f.steps + g.steps < 3) return false;
    if (g.steps < 2) {
        *out = BAR_SEGMENT{pA, f.end};
    } else if (f.steps < 2) {
        *out = BAR_SEGMENT{g.end, pB};
    } else {
        *out = BAR_SEGMENT{g.end, f.end};
    }
    return true;
}

i32 CityBlock(GEO_POINT p, GEO_POINT q) { return Abs32(p.x - q.x) + Abs32(p.y - q.y); }

// Judges the candidate written at track index k; true when it was kept.
bool JudgeSegment(BAR_TRACK *t, i32 k, STEP_WALK *walk, bool *stop) {
    const i32 length = t->lengths[k];
    const i32 mean = (length + t->lengthSum) / (k + 1);
    if (2 * length > 3 * mean) {
        *stop = ++walk->longs > 2;
        walk->u += walk->g;
        return false;
    }
    if (5 * length < 3 * mean) {
        *stop = ++walk->shorts > 2;
        walk->u += walk->g;
        return false;
    }
    const i32 previous = t->lengths[k - 1];
    if (t->spacings[k] > 2 * previous) {
        walk->longs = walk->shorts = 0;
        walk->u += walk->g;
        return false;
    }
    t->lengthSum += length;
    ++walk->added;
    walk->g = length >= 45 && 5 * t->spacings[k] <= 3 * previous ? 2 : 1;
    walk->u += walk->g;
    walk->longs = walk->shorts = 0;
    return true;
}

i32 StepAcrossBars(const GEO_POINT lineA[2], const GEO_POINT lineB[2], i32 scratchOffset, BAR_TRACK *t, BAR_AXIS ax) {
    if (lineA == nullptr || lineB == nullptr || t == nullptr || g_image.data == nullptr) return 0;
    if (!SanePoint(&lineA[0]) || !SanePoint(&lineA[1]) || !SanePoint(&lineB[0]) || !SanePoint(&lineB[1])) return 0;
    // The walk measures each segment against the previous one.
    if (t->count <= 0 || t->count >= kBarTrackMax) return 0;
    STEP_SCRATCH *s = BarScratch<STEP_SCRATCH>(scratchOffset);
    if (s == nullptr) return 0;
    const i32 inner = scratchOffset + kBarScratchBytes;
    const GEO_POINT *lines[2] = {lineA, lineB};
    i32 samples[2], edges[2];
    for (i32 i = 0; i < 2; ++i) {
        samples[i] = Geo_SampleLineWithCoords(g_image.data, &lines[i][0], &lines[i][1], s->samples[i], s->xs[i],
                                              s->ys[i], kLineSamples);
        edges[i] = Prof_FindFallingEdges(s->samples[i], samples[i], kBarEdgeRatio, kLineMinStep, s->edges[i], kLineEdges);
    }
    const i32 pairs = Loc_PairBarEdgeLists(s->edges[0], edges[0], s->edges[1], edges[1], s->matchA, s->matchB);
    STEP_WALK walk;
    while (walk.u < pairs && t->count < kBarTrackMax) {
        const i32 iA = Near16(s->edges[0][s->matchA[walk.u]]);
        const i32 iB = Near16(s->edges[1][s->matchB[walk.u]]);
        if (iA < 3 || iB < 3 || iA >= samples[0] || iB >= samples[1]) {
            ++walk.u;
            continue;
        }
        const GEO_POINT pA{s->xs[0][iA], s->ys[0][iA]};
        if (Loc_PointInBarRegions(&pA) != 0) break;
        const GEO_POINT pB{s->xs[1][iB], s->ys[1][iB]};
        BAR_SEGMENT cand{};
        if (!FollowCandidate(pA, pB, t->direction, inner, ax, &cand)) {
            ++walk.u;
            continue;
        }
        if (Loc_CheckBarNeighbours(&cand.a, &cand.b, inner, t->direction, g_barContrastRatio) == 0) {
            walk.u += walk.g;
            continue;
        }
        const i32 k = t->count;
        t->segments[k] = cand;
        t->midpoints[k] = GEO_POINT{(cand.a.x + cand.b.x) >> 1, (cand.a.y + cand.b.y) >> 1};
        t->lengths[k] = CityBlock(cand.a, cand.b);
        t->spacings[k] = CityBlock(t->midpoints[k], t->midpoints[k - 1]);
        bool stop = false;
        if (JudgeSegment(t, k, &walk, &stop)) t->count = k + 1;
        if (stop) break;
    }
    return walk.added;
}

}  // namespace

int Loc_FollowEdgeRows(BAR_FOLLOW *f, i32 scratchOffset) { return FollowEdge(f, scratchOffset, BAR_AXIS{true}); }
int Loc_FollowEdgeColumns(BAR_FOLLOW *f, i32 scratchOffset) { return FollowEdge(f, scratchOffset, BAR_AXIS{false}); }

int Loc_FollowEdgeBothWaysRows(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *endUp, GEO_POINT *endDown,
                               i32 scratchOffset, i32 polarity) {
    return FollowBothWays(p, q, endUp, endDown, scratchOffset, polarity, BAR_AXIS{true});
}
int Loc_FollowEdgeBothWaysColumns(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *endUp, GEO_POINT *endDown,
                                  i32 scratchOffset, i32 polarity) {
    return FollowBothWays(p, q, endUp, endDown, scratchOffset, polarity, BAR_AXIS{false});
}

int Loc_CheckBarNeighbours(const GEO_POINT *a, const GEO_POINT *b, i32 scratchOffset, i32 side, i32 ratio) {
    if (!SanePoint(a) || !SanePoint(b) || g_image.data == nullptr) return 1;
    PROBE_SCRATCH *s = BarScratch<PROBE_SCRATCH>(scratchOffset);
    if (s == nullptr) return 1;
    const f64 length = Geo_Distance(a->x, a->y, b->x, b->y);
    const i32 q = static_cast<i32>(length * 0.25 + 0.5);
    const i32 dx = b->x - a->x, dy = b->y - a->y;
    const GEO_POINT dir = side == 1 ? GEO_POINT{dy, -dx} : GEO_POINT{-dy, dx};
    GEO_POINT from[3], to[3];
    i32 counts[3];
    for (i32 i = 0; i < 3; ++i) {
        Geo_StepTowards(a, b, &from[i], (i + 1) * q);
        const GEO_POINT aim{from[i].x + dir.x, from[i].y + dir.y};
        Geo_StepTowards(&from[i], &aim, &to[i], kProbeReach);
        const i32 n = Geo_SampleLineWithCoords(g_image.data, &from[i], &to[i], s->samples, s->xs, s->ys, kProbeSamples);
        const i32 found = Prof_FindEdgesSub16(s->samples, n, s->edges, kProbeEdges, ratio, 6);
        counts[i] = 0;
        for (i32 k = 0; k < found; ++k)
            if (s->edges[k] >= kProbeFirstPosition) s->lists[i][counts[i]++] = s->edges[k];
    }
    // Pairings 0: lists 1-2, 1: lists 2-3, 2: lists 1-3.
    const i32 m12 = Loc_PairBarEdgeLists(s->lists[0], counts[0], s->lists[1], counts[1], s->matchA[0], s->matchB[0]);
    const i32 m23 = Loc_PairBarEdgeLists(s->lists[1], counts[1], s->lists[2], counts[2], s->matchA[1], s->matchB[1]);
    const i32 m13 = Loc_PairBarEdgeLists(s->lists[0], counts[0], s->lists[2], counts[2], s->matchA[2], s->matchB[2]);
    if ((m12 == 0 ? 1 : 0) + (m23 == 0 ? 1 : 0) + (m13 == 0 ? 1 : 0) >= 2) return 1;
    const i32 g1 = m12 > 0 ? ProbeGrey(&from[0], &to[0], s->lists[0][s->matchA[0][0]]) : 0;
    const i32 g2 = m23 > 0 ? ProbeGrey(&from[1], &to[1], s->lists[1][s->matchA[1][0]]) : 0;
    const i32 g3 = m13 > 0 ? ProbeGrey(&from[2], &to[2], s->lists[2][s->matchB[2][0]]) : 0;
    if (m12 == 0) return Agree(g2, g3) ? 1 : 0;
    if (m23 == 0) return Agree(g1, g3) ? 1 : 0;
    if (m13 == 0) return Agree(g1, g2) ? 1 : 0;
    return Agree(g1, g2) && Agree(g2, g3) && Agree(g1, g3) ? 1 : 0;
}

i32 Loc_StepAcrossBarsRows(const GEO_POINT lineA[2], const GEO_POINT lineB[2], i32 scratchOffset, BAR_TRACK *track) {
    return StepAcrossBars(lineA, lineB, scratchOffset, track, BAR_AXIS{true});
}
i32 Loc_StepAcrossBarsColumns(const GEO_POINT lineA[2], const GEO_POINT lineB[2], i32 scratchOffset,
                              BAR_TRACK *track) {
    return StepAcrossBars(lineA, lineB, scratchOffset, track, BAR_AXIS{false});
}

i32 Loc_StepToNextBars(const GEO_POINT *a, const GEO_POINT *b, i32 rows, i32 scratchOffset, BAR_TRACK *track) {
    if (!SanePoint(a) || !SanePoint(b) || track == nullptr) return 0;
    const f64 length = Geo_Distance(a->x, a->y, b->x, b->y);
    const GEO_POINT m{(a->x + b->x) >> 1, (a->y + b->y) >> 1};
    GEO_POINT a2{}, b2{};
    Geo_StepTowards(&m, a, &a2, 2);
    Geo_StepTowards(&m, b, &b2, 2);
    const GEO_POINT n{b->y - a->y, a->x - b->x};
    const i32 reach = -2 * static_cast<i32>(length + 0.5);
    GEO_POINT lineA[2] = {a2, {}}, lineB[2] = {b2, {}};
    const GEO_POINT aimA{a2.x + n.x, a2.y + n.y}, aimB{b2.x + n.x, b2.y + n.y};
    Geo_StepTowards(&aimA, &a2, &lineA[1], reach);
    Geo_StepTowards(&aimB, &b2, &lineB[1], reach);
    return rows != 0 ? Loc_StepAcrossBarsRows(lineA, lineB, scratchOffset, track)
                     : Loc_StepAcrossBarsColumns(lineA, lineB, scratchOffset, track);
}

i32 Loc_PairBarEdgeLists(const i32 *a, i32 na, const i32 *b, i32 nb, i32 *matchA, i32 *matchB) {
    EDGE_PAIRING e{};
    e.countA = na;
    e.countB = nb;
    e.posA = const_cast<i32 *>(a);
    e.posB = const_cast<i32 *>(b);
    e.matchA = matchA;
    e.matchB = matchB;
    e.capacity = na < nb ? na : nb;
    return Loc_PairEdgeLists(&e) != 0 ? e.matchCount : 0;
}

int Loc_PointInBarRegions(const GEO_POINT *p) {
    if (p == nullptr) return 0;
    const i32 n = g_barResults.count > kBarRegionsMax ? kBarRegionsMax : g_barResults.count;
    for (i32 k = 0; k < n; ++k)
        if (Geo_PointInQuad(p, &g_barResults.regions[k]) != 0) return 1;
    return 0;
}

void Loc_SmoothProfile3(u8 *samples, i32 n) {
    if (samples == nullptr || n <= 2) return;
    i32 prev = samples[0];
    for (i32 i = 1; i < n - 1; ++i) {
        const i32 cur = samples[i];
        samples[i] = static_cast<u8>((2 * prev + 4 * cur + 2 * samples[i + 1]) >> 3);
        prev = cur;
    }
}

}  // namespace vexo

// The strip L-finder's second half: which sides of every tracked line can hold a symbol, the
// second arm searched near either end of the line, the corner check and the candidates.
#include <climits>
#include <cstdint>
#include <initializer_list>
#include <cmath>

#include "core/pixel.h"
#include "datamatrix/dm_line_walk.h"
#include "datamatrix/dm_strip.h"
#include "toolkit/geometry_points.h"
#include "toolkit/matrix.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kPlus = 1;
constexpr i32 kMinus = -1;
constexpr i32 kMinLineLength = 6400;
constexpr i32 kMinConfigRoom = 4096;

i32 Abs(i32 v) { return v < 0 ? -v : v; }
i64 Abs64(i64 v) { return v < 0 ? -v : v; }
i32 Max(i32 a, i32 b) { return a > b ? a : b; }
i32 Min(i32 a, i32 b) { return a < b ? a : b; }

i32 Clamp32(i64 v) { return v > INT_MAX ? INT_MAX : (v < INT_MIN ? INT_MIN : static_cast<i32>(v)); }

// (q - p) x (x - p): positive on the plus side of p -> q.
i64 Cross(GEO_POINT p, GEO_POINT q, GEO_POINT x) {
    return (static_cast<i64>(q.x) - p.x) * (static_cast<i64>(x.y) - p.y) -
           (static_cast<i64>(q.y) - p.y) * (static_cast<i64>(x.x) - p.x);
}

i64 SquaredDistanceFromLine(const DM_TRACKED_LINE &l, GEO_POINT x) {
    const i64 c = Cross(l.p, l.q, x);
    const i64 len = DM_SquaredLength(l.p, l.q);
    if (len <= 0) return 0;
    const f64 d = static_cast<f64>(c) * static_cast<f64>(c) / static_cast<f64>(len);
    return d > 9.0e18 ? INT64_MAX : static_cast<i64>(d);
}

// The amplitude and relative thresholds that a line's contrast gives.
i32 AmplitudeThreshold(i32 amplitude) { return amplitude >= 10 ? amplitude / 2 : 5; }
i32 RelativeThreshold(i32 relative) { return 60 * relative > 12799 ? 60 * relative / 100 : 128; }

DM_EDGE_LIMITS LineLimits(const DM_TRACKED_LINE &l, bool larger) {
    const i32 a = larger ? Max(l.first.amplitude, l.last.amplitude) : Min(l.first.amplitude, l.last.amplitude);
    const i32 r = larger ? Max(l.first.relative, l.last.relative) : Min(l.first.relative, l.last.relative);
    return DM_EDGE_LIMITS{AmplitudeThreshold(a), RelativeThreshold(r)};
}

bool PlusIsDark(const DM_TRACKED_LINE &l) { return l.kind == kDmEdgeRising; }

i32 *EnableOf(DM_TRACKED_LINE *l, i32 side) {
    return (side == kPlus) == PlusIsDark(*l) ? &l->darkSide : &l->lightSide;
}
i32 Enabled(const DM_TRACKED_LINE &l, i32 side) {
    return (side == kPlus) == PlusIsDark(l) ? l.darkSide : l.lightSide;
}
i32 *RoomsOf(DM_TRACKED_LINE *l, i32 side) { return side == kPlus ? l->roomPlus : l->roomMinus; }
const i32 *RoomsOf(const DM_TRACKED_LINE &l, i32 side) { return side == kPlus ? l.roomPlus : l.roomMinus; }
i32 *LimitOf(DM_TRACKED_LINE *l, i32 side) { return side == kPlus ? &l->limitPlus : &l->limitMinus; }

void Disable(DM_TRACKED_LINE *l, i32 side) {
    *EnableOf(l, side) = 0;
    RoomsOf(l, side)[0] = 0;
    RoomsOf(l, side)[1] = 0;
}

bool HasRoom(const DM_TRACKED_LINE &l, i32 side) {
    return Enabled(l, side) != 0 && (RoomsOf(l, side)[0] > 0 || RoomsOf(l, side)[1] > 0);
}

i32 ISqrt(i64 v) { return v <= 0 ? 0 : static_cast<i32>(std::sqrt(static_cast<f64>(v))); }

// Quarter-pixel segment a -> b to sample coordinates, clipped to the frame's box means.
bool ToSamples(GEO_POINT a, GEO_POINT b, GEO_POINT *sa, GEO_POINT *sb) {
    *sa = GEO_POINT{a.x / 4, a.y / 4};
    *sb = GEO_POINT{b.x / 4, b.y / 4};
    Geo_ClipSegment(sa, sb, Pix_GetImageWidth() - 2, Pix_GetImageHeight() - 2);
    return !(sa->x == 0 && sa->y == 0 && sb->x == 0 && sb->y == 0);
}

// a and b moved by k x R(b - a) / c towards side, c the longer axis of b - a.
void ShiftSegment(GEO_POINT a, GEO_POINT b, i64 k, i32 side, GEO_POINT *oa, GEO_POINT *ob) {
    const i64 dx = static_cast<i64>(b.x) - a.x, dy = static_cast<i64>(b.y) - a.y;
    const i64 c = Abs64(dx) > Abs64(dy) ? Abs64(dx) : Abs64(dy);
    const i64 ox = c > 0 ? side * k * -dy / c : 0, oy = c > 0 ? side * k * dx / c : 0;
    *oa = GEO_POINT{Clamp32(a.x + ox), Clamp32(a.y + oy)};
    *ob = GEO_POINT{Clamp32(b.x + ox), Clamp32(b.y + oy)};
}

}  // namespace

// ---- 1. Sides.

void DM_MeasureSideRoom(DM_TRACKED_LINE *line) {
    if (line == nullptr) return;
    const i32 w4 = 4 * Pix_GetImageWidth(), h4 = 4 * Pix_GetImageHeight();
    const i64 l = line->length;
    for (i32 side : {kPlus, kMinus}) {
        if (Enabled(*line, side) == 0) continue;
        i64 r[2];
        const GEO_POINT ends[2] = {line->p, line->q};
        for (i32 e = 0; e < 2; ++e) {
            // A ray six line lengths long, square to the line, towards the side.
            const GEO_POINT far{Clamp32(ends[e].x + 6 * (static_cast<i64>(line->q.x) - line->p.x)),
                                Clamp32(ends[e].y + 6 * (static_cast<i64>(line->q.y) - line->p.y))};
            GEO_POINT a = ends[e], b{};
            if (side == kPlus) {
                Geo_RotatePlus90(&ends[e], &far, &b);
            } else {
                Geo_RotateMinus90(&ends[e], &far, &b);
            }
            Geo_ClipSegment(&a, &b, w4, h4);
            r[e] = DM_SquaredLength(a, b);
        }
        if (25 * r[0] < l && 25 * r[1] < l) {
            Disable(line, side);
            continue;
        }
        const i32 room = Clamp32(r[0] > r[1] ? r[0] : r[1]);
        RoomsOf(line, side)[0] = room;
        RoomsOf(line, side)[1] = room;
        const bool open = 16 * r[0] > 9 * l || 16 * r[1] > 9 * l;
        i32 *limit = LimitOf(line, side);
        *limit = Max(*limit, Clamp32(open ? l / 20736 : l / 2304));
    }
}

i64 DM_ProjectedOverlap(const DM_TRACKED_LINE *r, const DM_TRACKED_LINE *s) {
    if (r == nullptr || s == nullptr) return 0;
    const f64 dx = static_cast<f64>(r->q.x) - r->p.x, dy = static_cast<f64>(r->q.y) - r->p.y;
    const f64 len = std::sqrt(dx * dx + dy * dy);
    if (len <= 0.0) return 0;
    const auto along = [&](GEO_POINT x) { return ((x.x - r->p.x) * dx + (x.y - r->p.y) * dy) / len; };
    f64 a = along(s->p), b = along(s->q);
    if (a > b) {
        const f64 t = a;
        a = b;
        b = t;
    }
    a = a < 0.0 ? 0.0 : a;
    b = b > len ? len : b;
    return b > a ? static_cast<i64>((b - a) * (b - a)) : 0;
}

namespace {

// r's side facing s (s lies there): the rooms cut to s, or the side disabled.
void FaceSide(DM_TRACKED_LINE *r, i32 side, const DM_TRACKED_LINE *s) {
    if (Enabled(*r, side) == 0) return;
    const i64 d1 = SquaredDistanceFromLine(*r, s->p), d2 = SquaredDistanceFromLine(*r, s->q);
    const i64 d = d1 > d2 ? d1 : d2;
    i32 *rooms = RoomsOf(r, side);
    if (d > rooms[0] && d > rooms[1]) return;
    const i64 lr = r->length;
    const i64 o = DM_ProjectedOverlap(r, s);
    i32 *limit = LimitOf(r, side);
    if (9 * o < 4 * lr) {
        if ((d1 < d2 ? d1 : d2) < o / 400) {
            Disable(r, side);
        } else {
            *limit = Max(*limit, Clamp32(o / 400));
        }
        return;
    }
    const i64 cut = d * 110 / 100;
    for (i32 e = 0; e < 2; ++e) rooms[e] = Clamp32(rooms[e] < cut ? rooms[e] : cut);
    const i64 m = Max(rooms[0], rooms[1]);
    if (m <= 2047 || 25 * m < lr) {
        Disable(r, side);
    } else if (16 * m < 9 * lr) {
        *limit = Max(*limit, Clamp32(lr / 2304));
    }
}

i32 SideOf(const DM_TRACKED_LINE &l, GEO_POINT x) {
    const i64 c = Cross(l.p, l.q, x);
    return c > 0 ? kPlus : (c < 0 ? kMinus : 0);
}

}  // namespace

void DM_CheckFacingLines(DM_TRACKED_LINE *lines, i32 count) {
    if (lines == nullptr) return;
    for (i32 i = 0; i < count; ++i) {
        for (i32 j = i + 1; j < count; ++j) {
            DM_TRACKED_LINE *a = &lines[i], *b = &lines[j];
            if (Abs(a->angle - b->angle) > 10) continue;
            const i32 bOnA = SideOf(*a, b->p);
            const i32 aOnB = SideOf(*b, a->p);
            if (bOnA == 0 || bOnA != SideOf(*a, b->q) || aOnB == 0 || aOnB != SideOf(*b, a->q)) continue;
            // r has s on its minus side, so r lies on s's plus side.
            DM_TRACKED_LINE *r = bOnA == kMinus ? a : b;
            DM_TRACKED_LINE *s = bOnA == kMinus ? b : a;
            if (SideOf(*s, r->p) != kPlus) continue;
            FaceSide(r, kMinus, s);
            FaceSide(s, kPlus, r);
        }
    }
}

void DM_CheckQuietSide(DM_TRACKED_LINE *line) {
    if (line == nullptr) return;
    const i32 c = Max(Abs(line->q.x - line->p.x), Abs(line->q.y - line->p.y));
    if (c == 0) return;
    const DM_EDGE_LIMITS limits = LineLimits(*line, true);
    for (i32 side : {kPlus, kMinus}) {
        if (!HasRoom(*line, side)) continue;
        GEO_POINT a, b, sa, sb;
        ShiftSegment(line->p, line->q, 12, -side, &a, &b);
        if (!ToSamples(a, b, &sa, &sb)) continue;
        u8 samples[kDmBoxLineMax];
        const i32 n = DM_SampleBoxLine(sa, sb, samples, kDmBoxLineMax);
        const i32 edges = DM_StripEdges(samples, n, limits, 0, nullptr, kDmSideProfileEdges);
        if (192 * edges > c) Disable(line, side);
    }
}

i32 DM_CountSampleSteps(const i32 *s, i32 n, DM_EDGE_LIMITS limits, i32 *outside) {
    i32 out = 0;
    i32 best = 0;
    if (s != nullptr) {
        for (i32 i = 0; i < n; ++i) out += s[i] < 0 ? 1 : 0;
        for (i32 lag = 1; lag <= 3; ++lag) {
            i32 count = 0;
            for (i32 i = lag; i < n; ++i) {
                const i32 a = s[i - lag], b = s[i];
                if (a < 0 || b < 0) continue;
                const i32 hi = Max(a, b), diff = Abs(a - b);
                const i64 ratio = static_cast<i64>(limits.minRelative) * hi;
                if (diff > limits.minAmplitude && static_cast<i64>(diff) * 1024 > ratio) ++count;
            }
            best = Max(best, count);
        }
    }
    if (outside != nullptr) *outside = out;
    return best;
}

namespace {

struct SideSegment {
    GEO_POINT base;  // P in samples
    GEO_POINT d;     // Q - P in samples
    GEO_POINT n;     // R(d) towards the side
    DM_EDGE_LIMITS limits;
};

// Transitions of the segment parallel to the line at offset n x num / den.
i32 StepsAt(const SideSegment &g, i32 num, i32 den, i32 *outside) {
    const GEO_POINT a{g.base.x + g.n.x * num / den, g.base.y + g.n.y * num / den};
    const GEO_POINT b{a.x + g.d.x, a.y + g.d.y};
    i32 s[kDmSideSegmentSamples];
    DM_SampleBoxSegment(a, b, kDmSideSegmentSamples, s);
    return DM_CountSampleSteps(s, kDmSideSegmentSamples, g.limits, outside);
}

}  // namespace

i32 DM_SideModuleWidth(const DM_TRACKED_LINE *line, i32 side) {
    if (line == nullptr) return -1;
    SideSegment g;
    g.base = GEO_POINT{line->p.x / 4, line->p.y / 4};
    g.d = GEO_POINT{(line->q.x - line->p.x) / 4, (line->q.y - line->p.y) / 4};
    const i32 t = Max(Abs(g.d.x), Abs(g.d.y));
    if (t == 0) return -1;
    g.n = side == kPlus ? GEO_POINT{-g.d.y, g.d.x} : GEO_POINT{g.d.y, -g.d.x};
    const i32 half = (line->first.high - line->first.low) / 2;
    g.limits = DM_EDGE_LIMITS{half >= 5 ? half : 5, Max(128, line->first.relative * 60 / 100)};
    i32 outside = 0;
    i32 steps = StepsAt(g, 1, 5, &outside);
    if (steps < 4 || outside >= 11) {
        steps = StepsAt(g, 1, 3, &outside);
        if (steps < 3 || outside >= 11) return -1;
    }
    i32 lo = 1, hi = t / 5;
    if (hi < 3) return hi + 1;
    i32 m = lo;
    for (i32 guard = 0; guard < 32; ++guard) {
        m = (lo + hi) / 2;
        steps = StepsAt(g, m, t, &outside);
        if (steps >= 4 || outside >= 7) {
            hi = m;
        } else {
            lo = m;
        }
        if (hi - lo < 2 || m < 2) break;
    }
    return m + 1;
}

void DM_CapSideRoom(i32 *room, i32 length, i32 moduleSq) {
    if (room == nullptr || moduleSq <= 0) return;
    const i64 l = length;
    const i64 k = l / moduleSq;
    if (*room > 9 * l / 4 && k > 625) *room = Clamp32(9 * l / 4);
    if (*room < 4 * l / 9 && (k < 100 || k > 4096)) *room = 0;
}

void DM_CheckSideModules(DM_TRACKED_LINE *line) {
    if (line == nullptr) return;
    const i64 l = line->length;
    for (i32 side : {kPlus, kMinus}) {
        i32 *rooms = RoomsOf(line, side);
        for (i32 e = 0; e < 2; ++e) {
            if (rooms[e] > 0 && rooms[e] < l / 25) rooms[e] = 0;
        }
    }
    for (i32 side : {kPlus, kMinus}) {
        if (!HasRoom(*line, side)) continue;
        const i32 w = DM_SideModuleWidth(line, side);
        const i64 sq = 16 * static_cast<i64>(w) * w;
        if (w < 0 || (l > 160000 && l < 49 * sq)) {
            Disable(line, side);
            continue;
        }
        *LimitOf(line, side) = Clamp32(sq);
        i32 *rooms = RoomsOf(line, side);
        for (i32 e = 0; e < 2; ++e) DM_CapSideRoom(&rooms[e], line->length, Clamp32(sq));
        if (rooms[0] == 0 && rooms[1] == 0) Disable(line, side);
    }
}

namespace {

struct Interval {
    i64 lo;
    i64 hi;
};

// The longest stretch without an edge of one shifted segment, along the longer axis from
// the unclipped start; empty when nothing of it lies in the frame.
Interval LongestQuiet(GEO_POINT a, GEO_POINT b, DM_EDGE_LIMITS limits) {
    GEO_POINT sa, sb;
    if (!ToSamples(a, b, &sa, &sb)) return Interval{0, -1};
    const bool alongX = Abs(b.x - a.x) >= Abs(b.y - a.y);
    const i32 dir = (alongX ? b.x - a.x : b.y - a.y) < 0 ? -1 : 1;
    const i64 origin = (4 * static_cast<i64>(alongX ? sa.x : sa.y) - (alongX ? a.x : a.y)) * dir;
    u8 samples[kDmBoxLineMax];
    const i32 n = DM_SampleBoxLine(sa, sb, samples, kDmBoxLineMax);
    if (n < 2) return Interval{0, -1};
    DM_STRIP_EDGE edges[kDmSideProfileEdges];
    const i32 count = DM_StripEdges(samples, n, limits, 0, edges, kDmSideProfileEdges);
    const i64 end = 4 * static_cast<i64>(n - 1);
    Interval best{origin, origin + end};
    if (count == 0) return best;
    i64 from = 0;
    best = Interval{0, -1};
    for (i32 i = 0; i <= count; ++i) {
        const i64 to = i < count ? edges[i].position : end;
        if (to - from > best.hi - best.lo) best = Interval{origin + from, origin + to};
        from = to;
    }
    return best;
}

}  // namespace

i32 DM_SideProfileTest(GEO_POINT a, GEO_POINT b, i32 e, i32 side, DM_EDGE_LIMITS limits) {
    const i64 c = Max(Abs(b.x - a.x), Abs(b.y - a.y));
    if (c == 0 || e < 0) return 1;
    Interval common{INT64_MIN / 4, INT64_MAX / 4};
    static constexpr i32 kShifts[3] = {5, 7, 9};  // halves of e
    for (i32 k : kShifts) {
        GEO_POINT sa, sb;
        ShiftSegment(a, b, static_cast<i64>(k) * e / 2, side, &sa, &sb);
        const Interval q = LongestQuiet(sa, sb, limits);
        common.lo = common.lo > q.lo ? common.lo : q.lo;
        common.hi = common.hi < q.hi ? common.hi : q.hi;
    }
    i64 span = common.hi - common.lo;
    if (span < 1) return 1;
    if (span > 2 * c) span = 2 * c;
    const f64 along = static_cast<f64>(span) * std::sqrt(static_cast<f64>(DM_SquaredLength(a, b))) / c;
    if (along > 20.0 * e) return 0;
    if (c <= 400) return 2 * span < c ? 1 : 0;
    if (c <= 800) return 3 * span < c ? 1 : 0;
    return 4 * span < c ? 1 : 0;
}

void DM_CheckSideTexture(DM_TRACKED_LINE *line) {
    if (line == nullptr) return;
    const DM_EDGE_LIMITS limits = LineLimits(*line, false);
    for (i32 side : {kPlus, kMinus}) {
        if (!HasRoom(*line, side)) continue;
        if (DM_SideProfileTest(line->p, line->q, ISqrt(*LimitOf(line, side)), side, limits) == 0) Disable(line, side);
    }
}

i32 DM_CheckLineSides(DM_TRACKED_LINE *lines, i32 count, i32 darkSide, i32 lightSide) {
    if (lines == nullptr || count <= 0) return 0;
    for (i32 i = 0; i < count; ++i) {
        DM_TRACKED_LINE &l = lines[i];
        const bool longEnough = l.length >= kMinLineLength;
        l.darkSide = longEnough ? darkSide : 0;
        l.lightSide = longEnough ? lightSide : 0;
        l.limitPlus = 1;
        l.limitMinus = 1;
        for (i32 side : {kPlus, kMinus}) {
            const i32 room = Enabled(l, side) != 0 ? INT_MAX : 0;
            RoomsOf(&l, side)[0] = room;
            RoomsOf(&l, side)[1] = room;
        }
        if (longEnough) DM_MeasureSideRoom(&l);
    }
    DM_CheckFacingLines(lines, count);
    for (i32 i = 0; i < count; ++i) {
        DM_CheckQuietSide(&lines[i]);
        DM_CheckSideModules(&lines[i]);
        DM_CheckSideTexture(&lines[i]);
    }
    i32 n = 0;
    for (i32 i = 0; i < count; ++i) {
        DM_TRACKED_LINE &l = lines[i];
        if (!HasRoom(l, kPlus) && !HasRoom(l, kMinus)) continue;
        for (i32 side : {kPlus, kMinus}) {
            if (!HasRoom(l, side)) Disable(&l, side);
        }
        if (n != i) lines[n] = l;
        ++n;
    }
    return n;
}

// ---- 2. Partners.

namespace {

bool AtP(i32 configuration) { return configuration < 2; }
i32 SideOfConfig(i32 configuration) { return configuration % 2 == 0 ? kPlus : kMinus; }
i32 RoomOfConfig(const DM_TRACKED_LINE &l, i32 configuration) {
    return RoomsOf(l, SideOfConfig(configuration))[AtP(configuration) ? 0 : 1];
}
bool DarkInside(const DM_TRACKED_LINE &l, i32 configuration) {
    return (SideOfConfig(configuration) == kPlus) == PlusIsDark(l);
}

i32 EvalPartner(const DM_PARTNER &p, i32 u) { return Geo_LineEval(p.line, u); }

}  // namespace

DM_LOCAL_EDGE DM_LocalEdge(i32 x, i32 y) {
    const DM_EDGE_LIMITS limits{5, 128};
    const DM_LOCAL_EDGE row = DM_RefineStripEdge(x, y, kDmAlongRow, 0, limits);
    const DM_LOCAL_EDGE col = DM_RefineStripEdge(x, y, kDmAlongColumn, 0, limits);
    const i32 sr = row.found != 0 ? row.steepness : 0;
    const i32 sc = col.found != 0 ? col.steepness : 0;
    if (sr == 0 && sc == 0) return DM_LOCAL_EDGE{};
    return sr >= sc ? row : col;
}

i32 DM_SamePartner(const DM_PARTNER *partners, i32 n, const DM_LOCAL_EDGE *e, i32 x, i32 y) {
    if (partners == nullptr || e == nullptr) return 0;
    for (i32 i = 0; i < n; ++i) {
        const DM_PARTNER &p = partners[i];
        if (p.kind != e->kind || p.orientation != e->orientation) continue;
        const i32 off = p.orientation == kDmAlongRow ? x - EvalPartner(p, y) : y - EvalPartner(p, x);
        if (Abs(off) <= 16) return 1;
    }
    return 0;
}

i32 DM_TracePartner(const DM_LOCAL_EDGE *e, i32 x, i32 y, DM_PARTNER *p, DM_TRACE_POINTS *pts) {
    if (e == nullptr || p == nullptr || pts == nullptr || e->found == 0) return 0;
    const bool row = e->orientation == kDmAlongRow;
    const i32 u = row ? y : x;
    pts->count = 0;
    DM_LOCAL_EDGE first = *e;
    pts->u[0] = u;
    pts->v[0] = e->position;
    pts->amplitude[0] = first.amplitude;
    pts->relative[0] = first.relative;
    pts->count = 1;
    DM_TRACE_WALK walk{e->orientation, e->kind, DM_EDGE_LIMITS{5, 128}, -16, 14, 12, nullptr};
    DM_TraceEdgeSteps(u, e->position, &walk, pts);
    walk.step = 16;
    DM_TraceEdgeSteps(u, e->position, &walk, pts);
    if (pts->count < 8) return 0;
    LINE_SUMS sums{};
    f32 line[2];
    Geo_LineFitAdd(pts->u, pts->v, pts->count, sums.matrix, sums.right, 1);
    if (Geo_LineFitSolve(sums.matrix, sums.right, line) == 0) return 0;
    i32 lo = 0, hi = 0;
    for (i32 i = 1; i < pts->count; ++i) {
        if (pts->u[i] < pts->u[lo]) lo = i;
        if (pts->u[i] > pts->u[hi]) hi = i;
    }
    i32 uStart = pts->u[lo], uEnd = pts->u[hi];
    i32 ampStart = pts->amplitude[lo], relStart = pts->relative[lo];
    i32 ampEnd = pts->amplitude[hi], relEnd = pts->relative[hi];
    // Extend both ends along the fitted line.
    walk.line = line;
    walk.maxSteps = 16;
    const i32 ends[2] = {uStart, uEnd};
    for (i32 k = 0; k < 2; ++k) {
        walk.step = k == 0 ? -32 : 32;
        walk.tolerance = k == 0 ? 20 : 16;
        pts->count = 0;
        if (DM_TraceEdgeSteps(ends[k], Geo_LineEval(line, ends[k]), &walk, pts) == 0) continue;
        const i32 last = pts->count - 1;
        if (k == 0) {
            uStart = pts->u[last];
            ampStart = pts->amplitude[last];
            relStart = pts->relative[last];
        } else {
            uEnd = pts->u[last];
            ampEnd = pts->amplitude[last];
            relEnd = pts->relative[last];
        }
    }
    *p = DM_PARTNER{};
    const i32 vs = Geo_LineEval(line, uStart), ve = Geo_LineEval(line, uEnd);
    p->start = row ? GEO_POINT{vs, uStart} : GEO_POINT{uStart, vs};
    p->end = row ? GEO_POINT{ve, uEnd} : GEO_POINT{uEnd, ve};
    p->length = Clamp32(DM_SquaredLength(p->start, p->end));
    p->amplitude[0] = ampStart;
    p->amplitude[1] = ampEnd;
    p->relative[0] = relStart;
    p->relative[1] = relEnd;
    const i32 half = DM_SlopeToAngle(line[0]);
    // Degrees of start -> end: down the image for a row edge, rightwards for a column edge.
    p->angle = row ? 90 - half / 2 : (half / 2 < 0 ? half / 2 + 360 : half / 2);
    p->orientation = e->orientation;
    p->kind = e->kind;
    p->line[0] = line[0];
    p->line[1] = line[1];
    p->valid = 1;
    return 1;
}

i32 DM_CheckCorner(const DM_TRACKED_LINE *line, i32 configuration, DM_PARTNER *p) {
    if (line == nullptr || p == nullptr || configuration < 0 || configuration > 3) return 0;
    const i64 l = line->length;
    if (p->length < 6400 || p->length < l / 25) return 0;
    const bool atP = AtP(configuration);
    const GEO_POINT e = atP ? line->p : line->q;
    const GEO_POINT other = atP ? line->q : line->p;
    // Along the partner's axis from beyond the corner into the symbol.
    const i32 inward = p->orientation == kDmAlongRow ? other.x - e.x : other.y - e.y;
    if (inward == 0) return 0;
    const i32 expected = DarkInside(*line, configuration) == (inward > 0) ? kDmEdgeFalling : kDmEdgeRising;
    if (p->kind != expected) return 0;
    const bool plus = SideOfConfig(configuration) == kPlus;
    const GEO_POINT far = plus ? p->start : p->end;
    const GEO_POINT near = plus ? p->end : p->start;
    if (SquaredDistanceFromLine(*line, far) > RoomOfConfig(*line, configuration)) return 0;
    if (Abs(far.x - e.x) <= Abs(near.x - e.x)) return 0;
    const i32 a0 = line->angle, d = p->angle;
    const i32 dOpp = d > 270 ? d - 180 : d + 180;
    const i32 a = (configuration == 0 || configuration == 3) ? dOpp - a0 : a0 - d + (d > 270 ? 360 : 0);
    if (a < 40 || a > 140) return 0;
    GEO_POINT x{};
    if (Geo_IntersectLines64(&line->p, &line->q, &p->start, &p->end, &x) == 0) return 0;
    const auto dot = [](GEO_POINT u, GEO_POINT v, GEO_POINT w) {
        return (static_cast<i64>(u.x) - v.x) * (static_cast<i64>(w.x) - v.x) +
               (static_cast<i64>(u.y) - v.y) * (static_cast<i64>(w.y) - v.y);
    };
    i64 s1 = DM_SquaredLength(x, e);
    if (dot(x, e, other) < 0) s1 = -s1;
    i64 s2 = DM_SquaredLength(x, near);
    if (dot(x, near, far) < 0) s2 = -s2;
    const i64 lo = -(l / 16), hi = l / 64;
    if (s1 < lo || s1 > hi || s2 < lo || s2 > hi || (s1 > 400 && s2 > 400)) return 0;
    p->corner = x;
    p->s1 = s1;
    p->s2 = s2;
    return 1;
}

i32 DM_ProbePartners(const DM_TRACKED_LINE *line, i32 configuration, DM_EDGE_LIMITS limits, DM_PARTNER *partners,
                     DM_TRACE_POINTS *pts) {
    if (line == nullptr || partners == nullptr || pts == nullptr) return 0;
    const bool atP = AtP(configuration);
    const i32 side = SideOfConfig(configuration);
    const GEO_POINT e = atP ? line->p : line->q;
    const i64 dx = static_cast<i64>(line->q.x) - line->p.x, dy = static_cast<i64>(line->q.y) - line->p.y;
    const i64 rx = -dy * side, ry = dx * side;
    const i32 kind = DarkInside(*line, configuration) ? kDmEdgeFalling : kDmEdgeRising;
    // Offsets square to the line (eighths) and half-lengths along it (sixths).
    static constexpr i32 kOffsetOver[2] = {8, 4};
    static constexpr i32 kHalfOver[2] = {3, 2};
    i32 n = 0;
    for (i32 probe = 0; probe < 2; ++probe) {
        const i64 cx = e.x + rx / kOffsetOver[probe], cy = e.y + ry / kOffsetOver[probe];
        const i64 hx = dx / kHalfOver[probe], hy = dy / kHalfOver[probe];
        // From beyond the corner towards the line's other end.
        const i32 sgn = atP ? 1 : -1;
        const GEO_POINT a{Clamp32(cx - sgn * hx), Clamp32(cy - sgn * hy)};
        const GEO_POINT b{Clamp32(cx + sgn * hx), Clamp32(cy + sgn * hy)};
        GEO_POINT sa, sb;
        if (!ToSamples(a, b, &sa, &sb)) continue;
        u8 samples[kDmBoxLineMax];
        const i32 count = DM_SampleBoxLine(sa, sb, samples, kDmBoxLineMax);
        DM_STRIP_EDGE edges[kDmProbeEdges];
        const i32 found = DM_StripEdges(samples, count, limits, kind, edges, kDmProbeEdges);
        const i32 len = DM_ChebyshevLength(sa, sb);
        if (len == 0) continue;
        for (i32 k = 0; k < found; ++k) {
            const i64 pos = edges[k].position;
            const i32 x = Clamp32(4 * static_cast<i64>(sa.x) + (static_cast<i64>(sb.x) - sa.x) * pos / len);
            const i32 y = Clamp32(4 * static_cast<i64>(sa.y) + (static_cast<i64>(sb.y) - sa.y) * pos / len);
            const DM_LOCAL_EDGE le = DM_LocalEdge(x, y);
            if (le.found == 0 || !DM_MeetsEdgeLimits(le.amplitude, le.high, limits)) continue;
            const i32 ex = le.orientation == kDmAlongRow ? le.position : x;
            const i32 ey = le.orientation == kDmAlongRow ? y : le.position;
            if (DM_SamePartner(partners, n, &le, ex, ey) != 0) continue;
            DM_PARTNER cand;
            if (DM_TracePartner(&le, ex, ey, &cand, pts) == 0) continue;
            if (DM_CheckCorner(line, configuration, &cand) == 0) continue;
            if (n < kDmStripMaxPartners) partners[n++] = cand;
        }
    }
    return n;
}

i32 DM_ChoosePartner(const DM_TRACKED_LINE *line, i32 configuration, DM_PARTNER *partners, i32 n) {
    if (line == nullptr || partners == nullptr || n <= 0) return -1;
    if (n == 1) return 0;
    const i32 side = SideOfConfig(configuration);
    const i32 e = ISqrt(side == kPlus ? line->limitPlus : line->limitMinus);
    const i32 partnerSide = AtP(configuration) ? kPlus : kMinus;
    i32 left = n;
    for (i32 guard = 0; guard < n; ++guard) {
        i32 best = -1;
        for (i32 i = 0; i < n; ++i) {
            if (partners[i].valid == 0) continue;
            if (best < 0 || Abs64(partners[i].s1) < Abs64(partners[best].s1)) best = i;
        }
        if (best < 0) return -1;
        if (left == 1) return best;
        const DM_PARTNER &p = partners[best];
        const DM_EDGE_LIMITS limits{AmplitudeThreshold(Min(p.amplitude[0], p.amplitude[1])),
                                    RelativeThreshold(Min(p.relative[0], p.relative[1]))};
        if (DM_SideProfileTest(p.start, p.end, e, partnerSide, limits) != 0) return best;
        partners[best].valid = 0;
        --left;
    }
    return -1;
}

void DM_BuildStripCandidates(DM_TRACKED_LINE *line, DM_LINE_RESULT *result, DM_TRACE_POINTS *pts) {
    if (line == nullptr || result == nullptr || pts == nullptr) return;
    line->angle = 90 - line->angle;
    DM_PARTNER partners[kDmStripMaxPartners];
    for (i32 configuration = 0; configuration < 4; ++configuration) {
        if (RoomOfConfig(*line, configuration) < kMinConfigRoom) continue;
        const DM_EDGE_RECORD &rec = AtP(configuration) ? line->first : line->last;
        if (rec.high == 0) {
            if (AtP(configuration)) return;
            break;
        }
        const DM_EDGE_LIMITS limits{rec.amplitude / 2, rec.relative * 60 / 100};
        const i32 n = DM_ProbePartners(line, configuration, limits, partners, pts);
        const i32 chosen = DM_ChoosePartner(line, configuration, partners, n);
        if (chosen < 0) continue;
        DM_STRIP_CONFIG_RESULT &r = result->config[configuration];
        r.valid = 1;
        r.darkOnLight = DarkInside(*line, configuration) ? 1 : 0;
        r.partner = partners[chosen];
    }
}

// ---- 3. Candidates.

namespace {

GEO_POINT ToPixels(GEO_POINT v) { return GEO_POINT{v.x / 4 + 2, v.y / 4 + 2}; }

}  // namespace

i32 DM_AppendStripCandidates(const DM_TRACKED_LINE *line, const DM_LINE_RESULT *result, DM_CANDIDATE *out, i32 n,
                             i32 capacity) {
    if (line == nullptr || result == nullptr || out == nullptr) return n;
    for (i32 configuration = 0; configuration < 4 && n < capacity; ++configuration) {
        const DM_STRIP_CONFIG_RESULT &r = result->config[configuration];
        if (r.valid == 0) continue;
        const DM_PARTNER &p = r.partner;
        GEO_POINT a1, a2;
        switch (configuration) {
            case 0: a1 = line->q; a2 = p.start; break;
            case 1: a1 = p.end; a2 = line->q; break;
            case 2: a1 = p.start; a2 = line->p; break;
            default: a1 = line->p; a2 = p.end; break;
        }
        DM_CANDIDATE &c = out[n++];
        c = DM_CANDIDATE{};
        c.valid = 1;
        c.darkOnLight = r.darkOnLight;
        c.armEnd1 = ToPixels(a1);
        c.corner = ToPixels(p.corner);
        c.armEnd2 = ToPixels(a2);
        c.fourthCorner = GEO_POINT{c.armEnd1.x + c.armEnd2.x - c.corner.x, c.armEnd1.y + c.armEnd2.y - c.corner.y};
    }
    return n;
}

}  // namespace vexo

// The symbol outline: the slots of two-finder groups settled by counting the module lines
// traced along the candidate sides, the four sides formed from the finders' corners and arm
// lines (a missing one rebuilt from the other three), and the sweeps that collect the row
// and column module lines of the symbol for the reference grid.
#include "hanxin/cscn_outline.h"

#include <math.h>

#include "hanxin/cscn_tables.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kPairSegments = 20;
constexpr i32 kSweepPositions = 320;
constexpr i32 kSweepTraces = 20;        // segments per position
constexpr i32 kSweepFirstTraces = 10;   // when the whole crossing is traced
constexpr i32 kSweepCutSegments = 7;    // segments of the last position that cut the crossing
constexpr i32 kSweepCutPoints = 12;
constexpr i32 kSweepKept = 12;          // segments of one position that are kept
constexpr i32 kArm1Middle = 1, kArm2Middle = 4, kArm1Inner = 2, kArm2Inner = 5;
static_assert(kSweepCutPoints % 2 == 0 && kSweepKept <= kSweepTraces);

bool Filled(const CSCN_SYMBOL *s, i32 slot) { return s->corners[slot].valid != 0; }

i32 WidthOf(const CSCN_FINDER *f) { return static_cast<i32>((f->moduleSize + 8.0f) / 16.0f); }

GEO_POINT Whole(POINT_I32 p) { return GEO_POINT{p.x / 16, p.y / 16}; }

// Segments traced from `from` to `to` for the pair decision.
i32 CountPairLines(GEO_POINT from, GEO_POINT to, POINT_I32 ref, i32 width, u32 rising) {
    CSCN_EDGE_SEGMENT segments[kPairSegments];
    CSCN_TRACE_REQUEST req{};
    req.from = &from;
    req.to = &to;
    req.segments = segments;
    req.maxSegments = kPairSegments;
    req.moduleWidth = width;
    req.minLength = 10 * width;
    req.rising = rising;
    req.refDirection = ref;
    req.minCosine = 866;
    req.checkDirection = 1;
    return CSCN_TraceEdgesAcross(&req);
}

POINT_I32 Sum(POINT_I32 a, POINT_I32 b) { return POINT_I32{a.x + b.x, a.y + b.y}; }
POINT_I32 Diff(POINT_I32 a, POINT_I32 b) { return POINT_I32{a.x - b.x, a.y - b.y}; }

// The line parallel to a finder's arm line through its corner.
void ParallelAtCorner(const CSCN_FINDER *f, i32 line, LINE_FIT *out) {
    Geo_ParallelLineThrough(&f->lines[line], &f->corner, out);
}

// The crossing of slot 3's arm-1 and arm-2 middle lines.
i32 MarkedCrossing(const CSCN_FINDER *f, GEO_POINT *out) {
    return Geo_IntersectLineFits(&f->lines[kArm1Middle], &f->lines[kArm2Middle], out);
}

}  // namespace

i32 CSCN_Cosine1000(POINT_I32 a, POINT_I32 b) {
    const GEO_POINT origin{0, 0};
    return static_cast<i32>(1000.0 * Geo_CosAngleAt(&origin, &a, &b));
}

void CSCN_ResolvePairSlots(CSCN_SYMBOL *symbol) {
    if (symbol->maxVersion < 4) return;
    const u32 pass = g_cscnCurrentPass == 1 ? 1u : 0u;
    const bool f0 = Filled(symbol, 0), f1 = Filled(symbol, 1), f2 = Filled(symbol, 2), f3 = Filled(symbol, 3);
    CSCN_FINDER *c = symbol->corners;
    // Two neighbours: moved one slot on when the lines of the other polarity dominate.
    const i32 first = f0 && f1 && !f2 && !f3 ? 0 : (!f0 && f1 && f2 && !f3 ? 1 : -1);
    if (symbol->maxVersion > 10 && first >= 0) {
        const CSCN_FINDER &a = c[first], &b = c[first + 1];
        const POINT_I32 ref = Sum(a.axis2, b.axis1);
        const i32 w = WidthOf(&a);
        const i32 k1 = CountPairLines(Whole(a.corner), Whole(b.corner), ref, w, pass != 1 ? 1u : 0u);
        const i32 k2 = CountPairLines(Whole(a.corner), Whole(b.corner), ref, w, pass == 1 ? 1u : 0u);
        if (k1 < k2) {
            // Slots 0, 1 go to 1, 2; slots 1, 2 go to 0, 1.
            if (first == 0) {
                c[2] = c[1];
                c[1] = c[0];
                c[0] = CSCN_FINDER{};
            } else {
                c[0] = c[1];
                c[1] = c[2];
                c[2] = CSCN_FINDER{};
            }
        }
        return;
    }
    if (f0 && !f1 && f2 && !f3) {
        LINE_FIT a, b;
        GEO_POINT x3, x1;
        ParallelAtCorner(&c[0], kArm2Middle, &a);
        ParallelAtCorner(&c[2], kArm1Middle, &b);
        const i32 has3 = Geo_IntersectLineFits(&a, &b, &x3);
        ParallelAtCorner(&c[2], kArm2Middle, &a);
        ParallelAtCorner(&c[0], kArm1Middle, &b);
        const i32 has1 = Geo_IntersectLineFits(&a, &b, &x1);
        if (has3 == 0 || has1 == 0) return;
        const POINT_I32 ref = Diff(c[2].axis2, c[0].axis2);
        const i32 w = WidthOf(&c[0]);
        const u32 rising = pass != 1 ? 1u : 0u;
        const i32 k1 = CountPairLines(Whole(x3), Whole(c[2].corner), ref, w, rising);
        const i32 k2 = CountPairLines(Whole(x1), Whole(c[0].corner), ref, w, rising);
        if (k1 < k2) {
            const CSCN_FINDER t = c[0];
            c[0] = c[2];
            c[2] = t;
        }
    }
}

i32 CSCN_IntersectSides(CSCN_SIDE_SET *set) {
    // Per corner entry: its two sides.
    static constexpr i32 kCornerSides[4][2] = {
        {kCscnSide01, kCscnSide30}, {kCscnSide01, kCscnSide12}, {kCscnSide23, kCscnSide30}, {kCscnSide23, kCscnSide12}};
    i32 valid = 0, missing = -1;
    for (i32 s = 0; s < 4; ++s) {
        if (set->sides[s].valid != 0) ++valid;
        else missing = s;
    }
    if (valid < 3) return 0;
    if (valid == 4) {
        for (i32 k = 0; k < 4; ++k)
            if (Geo_IntersectLineFits(&set->sides[kCornerSides[k][0]].line, &set->sides[kCornerSides[k][1]].line,
                                      &set->corners[k]) == 0)
                return 0;
        return 1;
    }
    // The side opposite the missing one, its corners in the order of the slots around the
    // symbol (so the rebuilt corners lie on their left), and the side continuing from each.
    struct Rebuild {
        i32 opposite;
        i32 first, second;              // corner entries
        i32 firstAlong, secondAlong;    // sides continuing from them
        i32 firstNew, secondNew;        // corner entries of the missing side
    };
    static constexpr Rebuild kRebuild[4] = {
        // side 01 missing: opposite 23, corners slot 2 then slot 3
        {kCscnSide23, kCscnCornerSlot2, kCscnCornerSlot3, kCscnSide12, kCscnSide30, kCscnCornerSlot1, kCscnCornerSlot0},
        // side 30 missing: opposite 12, corners slot 1 then slot 2
        {kCscnSide12, kCscnCornerSlot1, kCscnCornerSlot2, kCscnSide01, kCscnSide23, kCscnCornerSlot0, kCscnCornerSlot3},
        // side 12 missing: opposite 30, corners slot 3 then slot 0
        {kCscnSide30, kCscnCornerSlot3, kCscnCornerSlot0, kCscnSide23, kCscnSide01, kCscnCornerSlot2, kCscnCornerSlot1},
        // side 23 missing: opposite 01, corners slot 0 then slot 1
        {kCscnSide01, kCscnCornerSlot0, kCscnCornerSlot1, kCscnSide30, kCscnSide12, kCscnCornerSlot3, kCscnCornerSlot2},
    };
    const Rebuild &r = kRebuild[missing];
    GEO_POINT a, b;
    if (Geo_IntersectLineFits(&set->sides[r.opposite].line, &set->sides[r.firstAlong].line, &a) == 0) return 0;
    if (Geo_IntersectLineFits(&set->sides[r.opposite].line, &set->sides[r.secondAlong].line, &b) == 0) return 0;
    const f64 length = sqrt(static_cast<f64>(b.x - a.x) * (b.x - a.x) + static_cast<f64>(b.y - a.y) * (b.y - a.y));
    GEO_POINT made[2];
    const GEO_POINT from[2] = {a, b};
    const i32 along[2] = {r.firstAlong, r.secondAlong};
    for (i32 k = 0; k < 2; ++k) {
        const LINE_FIT &l = set->sides[along[k]].line;
        const f64 offset = floor(length / sqrt(1.0 + l.slope * l.slope) + 0.5);
        GEO_POINT cand[2];
        for (i32 sgn = 0; sgn < 2; ++sgn) {
            const f64 t = (l.alongX != 0 ? from[k].x : from[k].y) + (sgn == 0 ? -offset : offset);
            const f64 d = floor(l.slope * t + l.offset + 0.5);
            if (fabs(t) > 2.0e9 || fabs(d) > 2.0e9) return 0;
            cand[sgn] = l.alongX != 0 ? GEO_POINT{static_cast<i32>(t), static_cast<i32>(d)}
                                      : GEO_POINT{static_cast<i32>(d), static_cast<i32>(t)};
        }
        made[k] = Geo_IsLeftTurn(&cand[0], &a, &b) != 0 ? cand[0] : cand[1];
    }
    set->corners[r.first] = a;
    set->corners[r.second] = b;
    set->corners[r.firstNew] = made[0];
    set->corners[r.secondNew] = made[1];
    Geo_LineThroughPoints(&made[0], &made[1], &set->sides[missing].line);
    set->sides[missing].valid = 1;
    return 1;
}

i32 CSCN_BuildOutline(const CSCN_SYMBOL *symbol, CSCN_OUTLINE *outline) {
    *outline = CSCN_OUTLINE{};
    const CSCN_FINDER *c = symbol->corners;
    i32 size[4] = {0, 0, 0, 0};
    for (i32 k = 0; k < 4; ++k) size[k] = Filled(symbol, k) ? WidthOf(&c[k]) : 0;
    i32 sizes[4] = {0, 0, 0, 0};
    CSCN_SIDE_SET set{};
    // Sides in the order 01, 12, 23, 30; each gives its two corners (slot numbers) sizes.
    struct SideRule {
        i32 entry;
        i32 a, b;  // the side's slots
    };
    static constexpr SideRule kRules[4] = {
        {kCscnSide01, 0, 1}, {kCscnSide12, 1, 2}, {kCscnSide23, 2, 3}, {kCscnSide30, 3, 0}};
    for (const SideRule &rule : kRules) {
        CSCN_EDGE_SEGMENT &side = set.sides[rule.entry];
        const bool fa = Filled(symbol, rule.a), fb = Filled(symbol, rule.b);
        i32 sa = 0, sb = 0;
        if (rule.entry == kCscnSide01 || rule.entry == kCscnSide12) {
            if (fa && fb) {
                Geo_LineThroughPoints(&c[rule.a].corner, &c[rule.b].corner, &side.line);
                side.valid = 1;
                sa = size[rule.a];
                sb = size[rule.b];
            } else if (fa || fb) {
                const i32 slot = fa ? rule.a : rule.b;
                ParallelAtCorner(&c[slot], fa ? kArm1Middle : kArm2Middle, &side.line);
                side.valid = 1;
                sa = sb = size[slot];
            }
        } else {
            // Sides 23 and 30: the finder other than slot 3 first, slot 3 by its crossing.
            const i32 own = rule.entry == kCscnSide23 ? 2 : 0;
            const i32 ownLine = rule.entry == kCscnSide23 ? kArm1Middle : kArm2Middle;
            const i32 markedLine = rule.entry == kCscnSide23 ? kArm2Middle : kArm1Middle;
            if (Filled(symbol, own)) {
                GEO_POINT x;
                if (Filled(symbol, 3) && MarkedCrossing(&c[3], &x) != 0) {
                    Geo_LineThroughPoints(&c[own].corner, &x, &side.line);
                    sa = rule.a == own ? size[own] : size[3];
                    sb = rule.b == own ? size[own] : size[3];
                } else {
                    ParallelAtCorner(&c[own], ownLine, &side.line);
                    sa = sb = size[own];
                }
                side.valid = 1;
            } else if (Filled(symbol, 3)) {
                side.line = c[3].lines[markedLine];
                side.valid = 1;
                sa = sb = size[3];
            }
        }
        if (side.valid != 0) {
            sizes[rule.a] = sa;
            sizes[rule.b] = sb;
        }
    }
    i32 missing = -1;
    for (i32 s = 0; s < 4; ++s)
        if (set.sides[s].valid == 0) missing = s;
    if (CSCN_IntersectSides(&set) == 0) return 0;
    // A rebuilt side's corners take the sizes across from them: {corner, from} twice.
    static constexpr i32 kAcross[4][4] = {{0, 3, 1, 2}, {3, 2, 0, 1}, {1, 0, 2, 3}, {2, 1, 3, 0}};
    if (missing >= 0) {
        sizes[kAcross[missing][0]] = sizes[kAcross[missing][1]];
        sizes[kAcross[missing][2]] = sizes[kAcross[missing][3]];
    }
    outline->corners[0] = set.corners[kCscnCornerSlot0];
    outline->corners[1] = set.corners[kCscnCornerSlot1];
    outline->corners[2] = set.corners[kCscnCornerSlot2];
    outline->corners[3] = set.corners[kCscnCornerSlot3];
    for (i32 k = 0; k < 4; ++k) {
        outline->corners[k].x /= 16;
        outline->corners[k].y /= 16;
        outline->moduleSizes[k] = sizes[k];
    }
    const i32 steps = CSCN_VersionGroup(symbol->maxVersion) + 1;
    outline->gridSteps = steps < 2 ? 2 : (steps > 11 ? 11 : steps);
    return 1;
}

namespace {

// One position's traces along a crossing segment from `from` to `to` (whole pixels).
i32 SweepTrace(CSCN_TRACE_REQUEST *req, GEO_POINT from, GEO_POINT to, CSCN_EDGE_SEGMENT *out, i32 room) {
    if (room <= 0) return 0;
    req->from = &from;
    req->to = &to;
    req->segments = out;
    req->maxSegments = room;
    const i32 n = CSCN_TraceEdgesAcross(req);
    // The angle filter folds directions into one quadrant, so a line mirrored about an image
    // axis passes with the wanted ones (the symbol's diagonal staircases do at some turns):
    // the cosine to the sweep's reference direction must hold as well.
    i32 kept = 0;
    for (i32 i = 0; i < n; ++i)
        if (CSCN_Cosine1000(POINT_I32{out[i].x1 - out[i].x0, out[i].y1 - out[i].y0}, req->refDirection) >= req->minCosine)
            out[kept++] = out[i];
    return kept;
}

i64 Along(GEO_POINT p, GEO_POINT from, GEO_POINT to) {
    return static_cast<i64>(p.x - from.x) * (to.x - from.x) + static_cast<i64>(p.y - from.y) * (to.y - from.y);
}

// The crossing segment traced, less the stretches around the lines of the last position.
i32 SweepCutTrace(CSCN_TRACE_REQUEST *req, GEO_POINT from, GEO_POINT to, const CSCN_EDGE_SEGMENT *last, i32 lastCount,
                  i32 gap, CSCN_EDGE_SEGMENT *out) {
    GEO_POINT cuts[kSweepCutPoints];
    i32 n = 0;
    for (i32 i = 0; i < lastCount && i < kSweepCutSegments && n + 2 <= kSweepCutPoints; ++i) {
        const GEO_POINT a{last[i].x0 / 16, last[i].y0 / 16}, b{last[i].x1 / 16, last[i].y1 / 16};
        GEO_POINT x, y;
        if (Geo_IntersectLines(&a, &b, &from, &to, &x) == 0) continue;
        Geo_StepTowards(&x, &to, &y, gap);
        cuts[n++] = GEO_POINT{2 * x.x - y.x, 2 * x.y - y.y};
        cuts[n++] = y;
    }
    // Stretches in the order along the crossing (few: insertion by their start).
    for (i32 i = 2; i < n; i += 2)
        for (i32 j = i; j >= 2 && Along(cuts[j], from, to) < Along(cuts[j - 2], from, to); j -= 2) {
            const GEO_POINT s0 = cuts[j], s1 = cuts[j + 1];
            cuts[j] = cuts[j - 2];
            cuts[j + 1] = cuts[j - 1];
            cuts[j - 2] = s0;
            cuts[j - 1] = s1;
        }
    i32 found = 0;
    GEO_POINT start = from;
    for (i32 i = 0; i <= n; i += 2) {
        const GEO_POINT end = i < n ? cuts[i] : to;
        if (Along(end, from, to) > Along(start, from, to) &&
            Geo_DistanceInt(start.x, start.y, end.x, end.y) >= gap)
            found += SweepTrace(req, start, end, out + found, kSweepTraces - found);
        if (i < n && Along(cuts[i + 1], from, to) > Along(start, from, to)) start = cuts[i + 1];
    }
    return found;
}

struct Rail {
    GEO_POINT start;
    GEO_POINT far;
    LINE_FIT line;
};

// Whether a crossing end has moved past its rail's far corner.
bool BeyondRail(const Rail &r, GEO_POINT end, POINT_I32 step) {
    const i32 ax = end.x - r.start.x < 0 ? r.start.x - end.x : end.x - r.start.x;
    const i32 ay = end.y - r.start.y < 0 ? r.start.y - end.y : end.y - r.start.y;
    const i32 sx = step.x < 0 ? -step.x : step.x, sy = step.y < 0 ? -step.y : step.y;
    const i32 lx = r.far.x - r.start.x < 0 ? r.start.x - r.far.x : r.far.x - r.start.x;
    const i32 ly = r.far.y - r.start.y < 0 ? r.start.y - r.far.y : r.far.y - r.start.y;
    return ax - sx >= lx && ay - sy >= ly;
}

}  // namespace

void CSCN_SweepModuleLines(CSCN_OUTLINE *outline, i32 selector) {
    CSCN_EDGE_SEGMENT *store = selector == 0 ? outline->rowSegments : outline->columnSegments;
    i32 *count = selector == 0 ? &outline->rowCount : &outline->columnCount;
    *count = 0;
    if (outline->gridSteps < 2) return;
    const POINT_I32 *c = outline->corners;
    const i32 *sz = outline->moduleSizes;
    // Rails for the crossing's first and second end, each from its starting corner.
    Rail rails[2];
    POINT_I32 step, ref, refSide, side;
    i32 w;
    if (selector == 0) {
        rails[0] = Rail{c[3], c[2], {}};
        rails[1] = Rail{c[0], c[1], {}};
        step = POINT_I32{(c[2].x - c[3].x) / outline->gridSteps, (c[2].y - c[3].y) / outline->gridSteps};
        ref = Sum(Diff(c[1], c[0]), Diff(c[2], c[3]));
        refSide = Diff(c[2], c[3]);
        side = Diff(c[1], c[0]);
        w = (sz[0] + sz[3] + 1) / 2;
    } else {
        rails[0] = Rail{c[0], c[3], {}};
        rails[1] = Rail{c[1], c[2], {}};
        step = POINT_I32{(c[3].x - c[0].x) / outline->gridSteps, (c[3].y - c[0].y) / outline->gridSteps};
        ref = Sum(Diff(c[3], c[0]), Diff(c[2], c[1]));
        refSide = Diff(c[2], c[1]);
        side = Diff(c[3], c[0]);
        w = (sz[0] + sz[1] + 1) / 2;
    }
    // Rails fitted y over x for rows, x over y for columns; guide lines across them.
    for (Rail &r : rails) {
        POINT_NODE nodes[2] = {{r.start.x, r.start.y, nullptr}, {r.far.x, r.far.y, nullptr}};
        nodes[0].next = &nodes[1];
        if (Geo_FitLineToPointList(nodes, 2, &r.line, selector == 0 ? 1 : 0) == 0) return;
    }
    const GEO_POINT firstFrom = rails[0].start, firstTo = rails[1].start;
    CSCN_TRACE_REQUEST req{};
    req.moduleWidth = w;
    req.minLength = 10 * w;
    req.rising = g_cscnCurrentPass != 1 ? 1u : 0u;
    req.refDirection = ref;
    const i32 cosine = CSCN_Cosine1000(side, ref);
    req.minCosine = cosine < 966 ? cosine : 966;
    req.refAngle = CSCN_EdgeAngle(refSide.x, refSide.y);
    req.checkDirection = 1;
    req.angleMode = 1;
    req.angleClass = 0;
    i32 gap = 8 * sz[0];
    i32 shortest = 7520;
    GEO_POINT from = firstFrom, to = firstTo;
    GEO_POINT base{(firstFrom.x + firstTo.x) / 2, (firstFrom.y + firstTo.y) / 2};
    CSCN_EDGE_SEGMENT found[kSweepTraces];
    i32 lastCount = 0;
    CSCN_EDGE_SEGMENT last[kSweepCutSegments];
    for (i32 position = 0; position < kSweepPositions && *count < kCscnOutlineSegments; ++position) {
        const i32 n = lastCount == 0 ? SweepTrace(&req, from, to, found, kSweepFirstTraces)
                                     : SweepCutTrace(&req, from, to, last, lastCount, gap, found);
        POINT_NODE guides[kSweepKept];
        i32 guideCount = 0;
        if (n > 0) {
            i64 sum0x = 0, sum0y = 0, sum1x = 0, sum1y = 0, lengths = 0;
            i32 kept = 0;
            for (i32 i = 0; i < n && i < kSweepKept && *count < kCscnOutlineSegments; ++i) {
                const CSCN_EDGE_SEGMENT &s = found[i];
                store[(*count)++] = s;
                ++kept;
                sum0x += s.x0;
                sum0y += s.y0;
                sum1x += s.x1;
                sum1y += s.y1;
                const f64 len = sqrt(static_cast<f64>(s.x1 - s.x0) * (s.x1 - s.x0) +
                                     static_cast<f64>(s.y1 - s.y0) * (s.y1 - s.y0)) / 16.0;
                const i32 length = static_cast<i32>(len + 0.5);
                lengths += length;
                const i32 mx = (s.x0 + s.x1) / 2, my = (s.y0 + s.y1) / 2;
                guides[guideCount++] = POINT_NODE{(2 * s.x1 - mx) / 16, (2 * s.y1 - my) / 16, nullptr};
                if (length < shortest) shortest = length;
                gap = static_cast<i32>(0.8 * (shortest / 2));
            }
            if (kept > 0) {
                const i32 mean = static_cast<i32>(lengths / kept);
                if (mean - 6 * w > req.minLength) req.minLength = mean - 6 * w;
                const POINT_I32 m0{static_cast<i32>(sum0x / kept), static_cast<i32>(sum0y / kept)};
                const POINT_I32 m1{static_cast<i32>(sum1x / kept), static_cast<i32>(sum1y / kept)};
                const POINT_I32 next{(m1.x - m0.x) >> 5, (m1.y - m0.y) >> 5};
                if (!((next.x < 2 && next.x > -2) && (next.y < 2 && next.y > -2))) step = next;
                base = GEO_POINT{m1.x / 16, m1.y / 16};
            }
        }
        lastCount = 0;
        for (i32 i = 0; i < n && i < kSweepCutSegments; ++i) last[lastCount++] = found[i];
        base = GEO_POINT{base.x + step.x, base.y + step.y};
        // The guide line lies across the rails: fitted the other way round.
        LINE_FIT guide{};
        bool guided = false;
        if (guideCount >= 2) {
            for (i32 i = 0; i + 1 < guideCount; ++i) guides[i].next = &guides[i + 1];
            guided = Geo_FitLineToPointList(guides, guideCount, &guide, selector == 0 ? 0 : 1) != 0;
        }
        GEO_POINT ends[2];
        const GEO_POINT along{base.x + (firstTo.x - firstFrom.x), base.y + (firstTo.y - firstFrom.y)};
        bool stop = false;
        for (i32 k = 0; k < 2; ++k) {
            if (!(guided && Geo_IntersectLineFits(&guide, &rails[k].line, &ends[k]) != 0) &&
                Geo_IntersectLines64(&base, &along, &rails[k].start, &rails[k].far, &ends[k]) == 0) {
                stop = true;
                break;
            }
            if (BeyondRail(rails[k], ends[k], step)) stop = true;
        }
        if (stop) break;
        from = ends[0];
        to = ends[1];
    }
}

void CSCN_SweepBothWays(CSCN_OUTLINE *outline) {
    CSCN_SweepModuleLines(outline, 0);
    CSCN_SweepModuleLines(outline, 1);
}

}  // namespace vexo

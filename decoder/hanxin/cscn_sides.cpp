// The grid's sides: each side of the symbol followed along the short border segments of the
// alignment lattice, the side line refitted through them and border nodes pinned where a
// traced segment meets its partner; then the remaining border nodes from lines through their
// neighbours; and the corner-only grid, the symbol's outer corners refined the same way
// under a perspective.
#include <math.h>

#include "hanxin/cscn_grid.h"
#include "toolkit/geometry.h"
#include "toolkit/geometry_points.h"
#include "toolkit/perspective.h"

namespace vexo {

namespace {

constexpr i32 kFollowPoints = 40;
constexpr i32 kSideTraces = 10;
constexpr i32 kArm1Outer = 0, kArm1Inner = 2, kArm2Outer = 3, kArm2Inner = 5;
// Corner entries of a side set by slot.
constexpr i32 kEntryOfSlot[4] = {kCscnCornerSlot0, kCscnCornerSlot1, kCscnCornerSlot2, kCscnCornerSlot3};

bool Filled(const CSCN_SYMBOL *s, i32 slot) { return s->corners[slot].valid != 0; }

i32 WholeSize(const CSCN_FINDER &f) { return static_cast<i32>((f.moduleSize + 8.0f) / 16.0f); }

POINT_I32 ModelAt(const CSCN_AFFINE_GRID *m, i32 u, i32 v) {
    return POINT_I32{m->origin.x + u * m->basisU.x + v * m->basisV.x, m->origin.y + u * m->basisU.y + v * m->basisV.y};
}

// (2N + M) / 3 in whole pixels.
GEO_POINT Third(POINT_I32 n, POINT_I32 m) { return GEO_POINT{(2 * n.x + m.x) / 3 / 16, (2 * n.y + m.y) / 3 / 16}; }

}  // namespace

i32 CSCN_QuadFromPoints(const POINT_I32 *corners, CSCN_SIDE_SET *set) {
    struct Ends {
        i32 entry, a, b;
    };
    static constexpr Ends kEnds[4] = {{kCscnSide01, 0, 1}, {kCscnSide30, 0, 3}, {kCscnSide12, 1, 2}, {kCscnSide23, 3, 2}};
    for (const Ends &e : kEnds) {
        CSCN_EDGE_SEGMENT &s = set->sides[e.entry];
        const GEO_POINT a{corners[e.a].x * 16, corners[e.a].y * 16}, b{corners[e.b].x * 16, corners[e.b].y * 16};
        s.x0 = a.x;
        s.y0 = a.y;
        s.x1 = b.x;
        s.y1 = b.y;
        Geo_LineThroughPoints(&a, &b, &s.line);
        s.valid = 1;
    }
    CSCN_IntersectSides(set);
    return 1;
}

i32 CSCN_OuterOutline(const CSCN_SYMBOL *symbol, CSCN_SIDE_SET *set, i32 *moduleSizes) {
    *set = CSCN_SIDE_SET{};
    const CSCN_FINDER *f = symbol->corners;
    GEO_POINT anchor[4] = {};
    bool has[4] = {false, false, false, false};
    i32 size[4] = {0, 0, 0, 0};
    for (i32 k = 0; k < 4; ++k) {
        if (!Filled(symbol, k)) continue;
        size[k] = WholeSize(f[k]);
        anchor[k] = f[k].latticeCorner;
        has[k] = true;
        if (k == 3) {
            GEO_POINT x;
            if (Geo_IntersectLineFits(&f[3].lines[kArm1Inner], &f[3].lines[kArm2Inner], &x) == 0) {
                has[3] = false;
                continue;
            }
            anchor[3] = GEO_POINT{3 * x.x - 2 * anchor[3].x, 3 * x.y - 2 * anchor[3].y};
        }
    }
    i32 sizes[4] = {0, 0, 0, 0};
    // Sides 01, 12, 23, 30: through both anchors, else from the one finder's arm line.
    struct Rule {
        i32 entry, a, b;
        i32 lineA;  // the outer arm line of a alone
        i32 lineB;  // of b alone
    };
    static constexpr Rule kRules[4] = {{kCscnSide01, 0, 1, kArm1Outer, kArm2Outer},
                                       {kCscnSide12, 1, 2, kArm1Outer, kArm2Outer},
                                       {kCscnSide23, 2, 3, kArm1Outer, kArm2Outer},
                                       {kCscnSide30, 0, 3, kArm2Outer, kArm1Outer}};
    for (const Rule &r : kRules) {
        CSCN_EDGE_SEGMENT &side = set->sides[r.entry];
        if (has[r.a] && has[r.b]) {
            Geo_LineThroughPoints(&anchor[r.a], &anchor[r.b], &side.line);
            sizes[r.a] = size[r.a];
            sizes[r.b] = size[r.b];
        } else if (has[r.a] || has[r.b]) {
            const i32 slot = has[r.a] ? r.a : r.b;
            const LINE_FIT &arm = f[slot].lines[has[r.a] ? r.lineA : r.lineB];
            // Slot 3's outer lines run through its far side: moved onto the anchor.
            if (slot == 3) Geo_ParallelLineThrough(&arm, &anchor[3], &side.line);
            else side.line = arm;
            sizes[r.a] = sizes[r.b] = size[slot];
        } else {
            continue;
        }
        side.valid = 1;
    }
    i32 missing = -1, valid = 0;
    for (i32 s = 0; s < 4; ++s) {
        if (set->sides[s].valid != 0) ++valid;
        else missing = s;
    }
    if (valid < 3 || CSCN_IntersectSides(set) == 0) return 0;
    static constexpr i32 kAcross[4][4] = {{0, 3, 1, 2}, {3, 2, 0, 1}, {1, 0, 2, 3}, {2, 1, 3, 0}};
    if (valid == 3) {
        sizes[kAcross[missing][0]] = sizes[kAcross[missing][1]];
        sizes[kAcross[missing][2]] = sizes[kAcross[missing][3]];
    }
    for (i32 k = 0; k < 4; ++k) moduleSizes[k] = sizes[k];
    return 1;
}

i32 CSCN_SidesFromGrid(CSCN_GRID_CONTEXT *context, CSCN_SIDE_SET *set) {
    CSCN_SYMBOL *s = context->symbol;
    const CSCN_AFFINE_GRID *m = context->model;
    const i32 c = s->maxClass;
    if (m != nullptr && m->valid != 0 && s->gridFound == 1 && c >= 1 && c < kCscnGridSide) {
        GEO_POINT node[4];  // slot order
        static constexpr i32 kNodes[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (i32 k = 0; k < 4; ++k) {
            const i32 u = kNodes[k][0] * c, v = kNodes[k][1] * c;
            const CSCN_REFERENCE_CELL &cell = s->referenceCells[v * (c + 1) + u];
            node[k] = cell.imageFound != 0 ? GEO_POINT{cell.imageX, cell.imageY} : ModelAt(m, u, v);
        }
        *set = CSCN_SIDE_SET{};
        Geo_LineThroughPoints(&node[0], &node[1], &set->sides[kCscnSide01].line);
        Geo_LineThroughPoints(&node[3], &node[2], &set->sides[kCscnSide23].line);
        Geo_LineThroughPoints(&node[1], &node[2], &set->sides[kCscnSide12].line);
        Geo_LineThroughPoints(&node[0], &node[3], &set->sides[kCscnSide30].line);
        for (CSCN_EDGE_SEGMENT &side : set->sides) side.valid = 1;
        if (CSCN_IntersectSides(set) == 1) return 1;
    }
    return CSCN_OuterOutline(s, set, context->moduleSizes);
}

i32 CSCN_FollowSide(CSCN_SIDE_FOLLOWER *f, const CSCN_EDGE_SEGMENT *segments, const i32 *scores, i32 count) {
    const GEO_POINT q{f->point.x + f->direction.x, f->point.y + f->direction.y};
    i32 pick = -1, best = 0;
    for (i32 i = 0; i < count; ++i) {
        const CSCN_EDGE_SEGMENT &s = segments[i];
        if (s.valid != 1) continue;
        const i32 score = scores != nullptr ? scores[i] : CSCN_Cosine1000(POINT_I32{s.x1 - s.x0, s.y1 - s.y0}, f->direction);
        if (score < f->threshold) continue;
        const GEO_POINT e0{s.x0, s.y0}, e1{s.x1, s.y1};
        const i32 c0 = static_cast<i32>(1000.0 * Geo_CosAngleAt(&f->point, &q, &e0));
        const i32 c1 = static_cast<i32>(1000.0 * Geo_CosAngleAt(&f->point, &q, &e1));
        if (c0 < f->threshold || c1 < f->threshold) continue;
        if (pick < 0 || c0 + c1 >= best) {
            pick = i;
            best = c0 + c1;
        }
    }
    if (pick < 0) return -1;
    const CSCN_EDGE_SEGMENT &s = segments[pick];
    if (f->count < kFollowPoints) f->points[f->count++] = POINT_I32{s.x0, s.y0};
    if (f->count < kFollowPoints) f->points[f->count++] = POINT_I32{s.x1, s.y1};
    POINT_NODE nodes[kFollowPoints];
    for (i32 i = 0; i < f->count; ++i)
        nodes[i] = POINT_NODE{f->points[i].x, f->points[i].y, i + 1 < f->count ? &nodes[i + 1] : nullptr};
    LINE_FIT fit;
    if (Geo_FitLineToPointList(nodes, f->count, &fit, f->sideLine.alongX) == 1) {
        f->sideLine = fit;
        GEO_POINT x;
        if (Geo_IntersectLineFits(&f->sideLine, &f->crossLine, &x) == 1) f->point = x;
        // A segment running against the follower is turned its way first, so that the mean
        // neither shortens nor reverses the direction.
        POINT_I32 d{s.x1 - s.x0, s.y1 - s.y0};
        if (static_cast<i64>(d.x) * f->direction.x + static_cast<i64>(d.y) * f->direction.y < 0) d = POINT_I32{-d.x, -d.y};
        f->direction = POINT_I32{(f->direction.x + d.x) / 2, (f->direction.y + d.y) / 2};
    }
    return pick;
}

namespace {

struct BorderSide {
    i32 entry;                       // side-set entry
    i32 startSlot, startCross;       // default start and its cross side
    i32 otherSlot, otherCross;
    i32 fromSlot, toSlot;            // forward direction (reference)
    i32 sizeA, sizeB;
    i32 risingInPass1;               // rising = (pass == 1) when 1, (pass != 1) when 0
};
constexpr BorderSide kBorderSides[4] = {
    {kCscnSide01, 0, kCscnSide30, 1, kCscnSide12, 0, 1, 0, 1, 1},
    {kCscnSide23, 3, kCscnSide30, 2, kCscnSide12, 3, 2, 2, 3, 0},
    {kCscnSide12, 1, kCscnSide01, 2, kCscnSide23, 1, 2, 1, 2, 1},
    {kCscnSide30, 0, kCscnSide01, 3, kCscnSide23, 0, 3, 0, 3, 0},
};

// The grid node of a slot's corner.
void SlotNode(i32 slot, i32 c, i32 *u, i32 *v) {
    *u = slot == 1 || slot == 2 ? c : 0;
    *v = slot >= 2 ? c : 0;
}

struct BorderPosition {
    i32 nu, nv;          // N
    i32 m1u, m1v, m2u, m2v;
    CSCN_EDGE_SEGMENT *entry;
    CSCN_EDGE_SEGMENT *partner;
    i32 endAtN;          // of the traced segment
    i32 partnerEndAtN;
    i32 halved;
};

// The positions of side `k` (table order), at most 6.
i32 BorderPositions(CSCN_SYMBOL *s, i32 k, i32 c, BorderPosition *out) {
    i32 n = 0;
    if (k == 0) {
        for (i32 p = c - 3; p >= 0 && n < 6; p -= 2)
            out[n++] = BorderPosition{p + 1, 0, p, 1, p, -1, &s->rowSides[p][0], &s->columnSides[0][p + 1], 1, 0, p == 1};
    } else if (k == 1) {
        for (i32 p = 1; p < c && n < 6; p += 2)
            out[n++] = BorderPosition{p, c, p + 1, c + 1, p + 1, c - 1, &s->rowSides[p][c], &s->columnSides[c - 1][p], 0, 1,
                                      p == c - 1};
    } else if (k == 2) {
        for (i32 p = 2; p < c && n < 6; p += 2)
            out[n++] = BorderPosition{c, p, c - 1, p + 1, c + 1, p + 1, &s->columnSides[p][c], &s->rowSides[c - 1][p], 0, 1,
                                      p == c - 1};
    } else {
        for (i32 q = c - 1; q >= 1 && n < 6; q -= 2)
            out[n++] = BorderPosition{0, q, -1, q - 1, 1, q - 1, &s->columnSides[q - 1][0], &s->rowSides[0][q], 1, 0, q == 1};
    }
    return n;
}

POINT_I32 EndOf(const CSCN_EDGE_SEGMENT &s, i32 end) { return end == 0 ? POINT_I32{s.x0, s.y0} : POINT_I32{s.x1, s.y1}; }

void SetEnd(CSCN_EDGE_SEGMENT *s, i32 end, POINT_I32 p) {
    if (end == 0) {
        s->x0 = p.x;
        s->y0 = p.y;
    } else {
        s->x1 = p.x;
        s->y1 = p.y;
    }
}

}  // namespace

i32 CSCN_RefineBorder(CSCN_GRID_CONTEXT *context, i32 selector) {
    CSCN_SYMBOL *s = context->symbol;
    CSCN_AFFINE_GRID *m = context->model;
    i32 t = 0;
    for (i32 k = 0; k < 4; ++k)
        if (Filled(s, k)) {
            t = static_cast<i32>(1.5f * s->corners[k].moduleSize + 0.5f);
            break;
        }
    if (m == nullptr || m->valid == 0) return 0;
    CSCN_SIDE_SET set;
    if (selector == 0) {
        if (CSCN_SidesFromGrid(context, &set) != 1) return 0;
    } else {
        CSCN_QuadFromPoints(context->corners, &set);
    }
    s->refinedSides = set;
    s->refinedSidesValid = 1;
    const i32 c = s->maxClass;
    if (c > 11) return 0;
    if (c < 1) return 0;
    const u32 pass1 = g_cscnCurrentPass == 1 ? 1u : 0u;
    for (i32 k = 0; k < 4; ++k) {
        const BorderSide &b = kBorderSides[k];
        i32 su, sv, ou, ov;
        SlotNode(b.startSlot, c, &su, &sv);
        SlotNode(b.otherSlot, c, &ou, &ov);
        const CSCN_REFERENCE_CELL &startCell = s->referenceCells[sv * (c + 1) + su];
        const CSCN_REFERENCE_CELL &otherCell = s->referenceCells[ov * (c + 1) + ou];
        const bool fromOther = otherCell.imageFound != 0 && startCell.imageFound == 0;
        const i32 startSlot = fromOther ? b.otherSlot : b.startSlot, endSlot = fromOther ? b.startSlot : b.otherSlot;
        CSCN_SIDE_FOLLOWER f{};
        f.sideLine = set.sides[b.entry].line;
        f.crossLine = set.sides[fromOther ? b.otherCross : b.startCross].line;
        const POINT_I32 start = set.corners[kEntryOfSlot[startSlot]], end = set.corners[kEntryOfSlot[endSlot]];
        f.point = start;
        f.direction = POINT_I32{end.x - start.x, end.y - start.y};
        f.threshold = 940;
        const CSCN_REFERENCE_CELL &first = fromOther ? otherCell : startCell, &second = fromOther ? startCell : otherCell;
        if (first.imageFound != 0) f.points[f.count++] = POINT_I32{first.imageX, first.imageY};
        if (second.imageFound != 0) f.points[f.count++] = POINT_I32{second.imageX, second.imageY};
        const POINT_I32 from = set.corners[kEntryOfSlot[b.fromSlot]], to = set.corners[kEntryOfSlot[b.toSlot]];
        CSCN_TRACE_REQUEST req{};
        req.moduleWidth = (context->moduleSizes[b.sizeA] + context->moduleSizes[b.sizeB] + 1) / 2;
        req.rising = b.risingInPass1 != 0 ? pass1 : 1u - pass1;
        req.refDirection = POINT_I32{to.x - from.x, to.y - from.y};
        req.minCosine = 940;
        req.checkDirection = 1;
        BorderPosition positions[6];
        const i32 np = BorderPositions(s, k, c, positions);
        for (i32 i = 0; i < np; ++i) {
            BorderPosition &p = positions[i];
            if (p.entry->valid != 0) continue;
            const POINT_I32 nPoint = ModelAt(m, p.nu, p.nv);
            const GEO_POINT a = Third(nPoint, ModelAt(m, p.m1u, p.m1v)), e = Third(nPoint, ModelAt(m, p.m2u, p.m2v));
            CSCN_EDGE_SEGMENT segs[kSideTraces];
            i32 scores[kSideTraces];
            req.from = &a;
            req.to = &e;
            req.segments = segs;
            req.scores = scores;
            req.maxSegments = kSideTraces;
            req.minLength = (p.halved != 0 ? 5 : 10) * req.moduleWidth;
            const i32 n = CSCN_TraceEdgesAcross(&req);
            i32 kept = 0;
            for (i32 j = 0; j < n; ++j) {
                m->point = EndOf(segs[j], p.endAtN);
                if (CSCN_SolveGridCoordinates(m) == 0 || m->u != p.nu || m->v != p.nv) continue;
                segs[kept] = segs[j];
                scores[kept] = scores[j];
                ++kept;
            }
            const i32 picked = CSCN_FollowSide(&f, segs, scores, kept);
            if (picked < 0) continue;
            *p.entry = segs[picked];
            if (p.partner->valid == 0) continue;
            GEO_POINT x;
            if (Geo_IntersectLineFits(&p.entry->line, &p.partner->line, &x) == 0) continue;
            if (x.x - nPoint.x > t || nPoint.x - x.x > t || x.y - nPoint.y > t || nPoint.y - x.y > t) continue;
            SetEnd(p.entry, p.endAtN, x);
            SetEnd(p.partner, p.partnerEndAtN, x);
            CSCN_REFERENCE_CELL &cell = s->referenceCells[p.nv * (c + 1) + p.nu];
            cell.imageX = x.x;
            cell.imageY = x.y;
            cell.imageFound = 1;
        }
        if (f.count > 1) {
            set.sides[b.entry].line = f.sideLine;
            CSCN_IntersectSides(&set);
        }
    }
    s->refinedSides = set;
    s->refinedSidesValid = 1;
    return 1;
}

namespace {

// A line through the found cells at distance 1, then 2, from (u, v) along one axis, else
// through a side-table entry; 1 when found.
i32 NeighbourLine(const CSCN_SYMBOL *s, i32 c, i32 u, i32 v, i32 alongU, LINE_FIT *out) {
    POINT_NODE nodes[4];
    i32 n = 0;
    for (i32 k = 1; k <= 2; ++k) {
        const i32 lo = (alongU != 0 ? u : v) - k, hi = (alongU != 0 ? u : v) + k;
        const i32 ends[2] = {lo, hi};
        for (const i32 w : ends) {
            if (w < 0 || w > c) continue;
            const CSCN_REFERENCE_CELL &cell = s->referenceCells[alongU != 0 ? v * (c + 1) + w : w * (c + 1) + u];
            if (cell.imageFound == 0) continue;
            nodes[n] = POINT_NODE{cell.imageX, cell.imageY, nullptr};
            if (n > 0) nodes[n - 1].next = &nodes[n];
            ++n;
        }
        if (n == 2) {
            const GEO_POINT a{nodes[0].x, nodes[0].y}, b{nodes[1].x, nodes[1].y};
            Geo_LineThroughPoints(&a, &b, out);
            return 1;
        }
        if (n > 2) {
            const i32 dx = nodes[1].x - nodes[0].x, dy = nodes[1].y - nodes[0].y;
            const i32 alongX = (dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy) ? 1 : 0;
            if (Geo_FitLineToPointList(nodes, n, out, alongX) == 1) return 1;
        }
        const CSCN_EDGE_SEGMENT *low = nullptr, *high = nullptr;
        if (lo >= 1) low = alongU != 0 ? &s->rowSides[lo][v] : &s->columnSides[lo][u];
        if (hi <= c) high = alongU != 0 ? &s->rowSides[hi - 1][v] : &s->columnSides[hi - 1][u];
        if (low != nullptr && low->valid != 0) {
            *out = low->line;
            return 1;
        }
        if (high != nullptr && high->valid != 0) {
            *out = high->line;
            return 1;
        }
    }
    return 0;
}

// Radius of the cells on a side from its finders, else from the opposite side's.
i32 SideRadius(const CSCN_SYMBOL *s, i32 a, i32 b, i32 oa, i32 ob) {
    const bool fa = Filled(s, a), fb = Filled(s, b);
    if (fa && fb) return static_cast<i32>((s->corners[a].moduleSize + s->corners[b].moduleSize) / 32.0f);
    if (fa) return static_cast<i32>(s->corners[a].moduleSize / 16.0f);
    if (fb) return static_cast<i32>(s->corners[b].moduleSize / 16.0f);
    return static_cast<i32>((s->corners[oa].moduleSize + s->corners[ob].moduleSize) / 32.0f);
}

}  // namespace

i32 CSCN_ListBorderTargets(i32 c, i32 *u, i32 *v, i32 *group) {
    i32 n = 0;
    if (c < 2 || c > 11) return 0;
    for (i32 p = c - 1; p > 0; p -= 2) u[n] = p, v[n] = 0, group[n++] = 0;
    for (i32 p = 1; p < c; p += 2) u[n] = c, v[n] = p, group[n++] = 1;
    for (i32 p = c - 2; p > 0; p -= 2) u[n] = 0, v[n] = p, group[n++] = 2;
    for (i32 p = 2; p < c; p += 2) u[n] = p, v[n] = c, group[n++] = 3;
    return n;
}

i32 CSCN_BorderTargetRadius(const CSCN_SYMBOL *s, i32 group) {
    static constexpr i32 kSlots[4][4] = {{0, 1, 2, 3}, {1, 2, 0, 3}, {0, 3, 1, 2}, {2, 3, 0, 1}};
    const i32 *k = kSlots[group & 3];
    return SideRadius(s, k[0], k[1], k[2], k[3]);
}

void CSCN_RefineCells(CSCN_SYMBOL *symbol) {
    const i32 c = symbol->maxClass;
    if (symbol->gridFound != 1 || c < 2 || c > 11) return;
    i32 tu[20], tv[20], tg[20];
    const i32 n = CSCN_ListBorderTargets(c, tu, tv, tg);
    for (i32 i = 0; i < n; ++i) {
        LINE_FIT row, column;
        if (NeighbourLine(symbol, c, tu[i], tv[i], 1, &row) == 0) continue;
        if (NeighbourLine(symbol, c, tu[i], tv[i], 0, &column) == 0) continue;
        GEO_POINT x;
        if (Geo_IntersectLineFits(&row, &column, &x) == 0) continue;
        const i32 radius = CSCN_BorderTargetRadius(symbol, tg[i]);
        if (radius <= 12) CSCN_CentreOfMass(&x, radius);
        CSCN_REFERENCE_CELL &cell = symbol->referenceCells[tv[i] * (c + 1) + tu[i]];
        cell.imageX = x.x;
        cell.imageY = x.y;
        cell.imageFound = 1;
    }
}

namespace {

struct CornerSide {
    i32 entry;
    i32 slotA, slotB;        // seed order and module sizes
    i32 startSlot, cross;    // start corner and crossLine
    i32 dirFrom, dirTo;      // direction
    i32 refFrom, refTo;      // initial reference direction
    i32 fixedReference;      // 1: the reference stays after a pick
    i32 cornerA, cornerB;    // the side's corners: slots, each with the side crossing there
    i32 crossA, crossB;
};
constexpr CornerSide kCornerSides[4] = {
    {kCscnSide01, 0, 1, 0, kCscnSide30, 0, 1, 0, 1, 0, 0, 1, kCscnSide30, kCscnSide12},
    {kCscnSide23, 3, 2, 3, kCscnSide30, 3, 2, 2, 3, 1, 3, 2, kCscnSide30, kCscnSide12},
    {kCscnSide12, 1, 2, 1, kCscnSide01, 1, 2, 1, 2, 0, 1, 2, kCscnSide01, kCscnSide23},
    {kCscnSide30, 0, 3, 3, kCscnSide23, 3, 0, 3, 0, 0, 0, 3, kCscnSide01, kCscnSide23},
};
// Cells 0..3 hold the corners of slots 0, 1, 3, 2.
constexpr i32 kCellOfSlot[4] = {0, 1, 3, 2};

i32 FitCorners(const CSCN_SIDE_SET &set, i32 c0, PERSPECTIVE *t) {
    const i32 f = 3 * c0;
    const GEO_POINT from[4] = {{0, 0}, {f, 0}, {f, f}, {0, f}};
    const GEO_POINT to[4] = {set.corners[kEntryOfSlot[0]], set.corners[kEntryOfSlot[1]], set.corners[kEntryOfSlot[2]],
                             set.corners[kEntryOfSlot[3]]};
    PERSPECTIVE_FIT fit{};
    fit.to = to;
    fit.from = from;
    fit.count = 4;
    fit.reset = 1;
    fit.outInt = t;
    fit.scale = 1048576;
    return Geo_FitPerspectiveInt(&fit, 1);
}

// The crossing of side k's positions: frame points of position p.
void CornerCrossing(i32 side, i32 c0, i32 p, GEO_POINT *a, GEO_POINT *b) {
    const i32 f = 3 * c0;
    switch (side) {
        case 0: *a = GEO_POINT{p, 2}, *b = GEO_POINT{p, -2}; break;
        case 1: *a = GEO_POINT{p, f - 2}, *b = GEO_POINT{p, f + 2}; break;
        case 2: *a = GEO_POINT{f - 2, p}, *b = GEO_POINT{f + 2, p}; break;
        default: *a = GEO_POINT{2, p}, *b = GEO_POINT{-2, p}; break;
    }
}

// Positions of side k, in order.
i32 CornerPositions(i32 side, i32 c0, i32 *out, i32 room) {
    i32 n = 0;
    const i32 f = 3 * c0;
    if (side == 0) {
        for (i32 k = 2; k <= f - 1 && n < room; k += 3) out[n++] = k;
    } else if (side == 3) {
        for (i32 k = f - 4; k >= 2 && n < room; k -= 3) out[n++] = k;
    } else {
        for (i32 k = 4; k <= f - 2 && n < room; k += 3) out[n++] = k;
    }
    return n;
}

void SetCornerCells(CSCN_SYMBOL *symbol, const CSCN_SIDE_SET &set, i32 slotA, i32 slotB) {
    const i32 slots[2] = {slotA, slotB};
    for (const i32 slot : slots) {
        CSCN_REFERENCE_CELL &cell = symbol->referenceCells[kCellOfSlot[slot]];
        cell.imageX = set.corners[kEntryOfSlot[slot]].x;
        cell.imageY = set.corners[kEntryOfSlot[slot]].y;
    }
}

}  // namespace

i32 CSCN_BuildCornerGrid(CSCN_SYMBOL *symbol) {
    CSCN_SIDE_SET set;
    i32 sizes[4];
    if (CSCN_OuterOutline(symbol, &set, sizes) == 0) return 0;
    symbol->refinedSides = set;
    symbol->refinedSidesValid = 1;
    const i32 c0 = symbol->maxClass;
    for (i32 slot = 0; slot < 4; ++slot) SetCornerCells(symbol, set, slot, slot);
    symbol->gridFound = 1;
    symbol->minClass = symbol->maxClass = 1;
    PERSPECTIVE t;
    if (c0 < 1 || c0 > 11 || FitCorners(set, c0, &t) == 0) return 0;
    const u32 pass1 = g_cscnCurrentPass == 1 ? 1u : 0u;
    for (i32 k = 0; k < 4; ++k) {
        const CornerSide &cs = kCornerSides[k];
        CSCN_SIDE_FOLLOWER f{};
        f.sideLine = set.sides[cs.entry].line;
        f.crossLine = set.sides[cs.cross].line;
        const POINT_I32 start = set.corners[kEntryOfSlot[cs.startSlot]];
        f.point = start;
        const POINT_I32 df = set.corners[kEntryOfSlot[cs.dirFrom]], dt = set.corners[kEntryOfSlot[cs.dirTo]];
        f.direction = POINT_I32{dt.x - df.x, dt.y - df.y};
        f.threshold = 985;
        const i32 seeds[2] = {cs.slotA, cs.slotB};
        for (const i32 slot : seeds)
            if (Filled(symbol, slot)) f.points[f.count++] = set.corners[kEntryOfSlot[slot]];
        const POINT_I32 rf = set.corners[kEntryOfSlot[cs.refFrom]], rt = set.corners[kEntryOfSlot[cs.refTo]];
        CSCN_TRACE_REQUEST req{};
        req.maxSegments = kSideTraces;
        req.moduleWidth = (sizes[cs.slotA] + sizes[cs.slotB] + 1) / 2;
        req.minLength = 6 * req.moduleWidth;
        req.rising = pass1;
        req.refDirection = POINT_I32{rt.x - rf.x, rt.y - rf.y};
        req.minCosine = 985;
        req.checkDirection = 1;
        i32 positions[32];
        const i32 np = CornerPositions(k, c0, positions, 32);
        for (i32 i = 0; i < np; ++i) {
            GEO_POINT fa, fb, ia, ib;
            CornerCrossing(k, c0, positions[i], &fa, &fb);
            if (Geo_MapPointPerspective(&t, fa.x, fa.y, &ia.x, &ia.y) == 0 ||
                Geo_MapPointPerspective(&t, fb.x, fb.y, &ib.x, &ib.y) == 0)
                continue;
            const GEO_POINT a{ia.x / 16, ia.y / 16}, b{ib.x / 16, ib.y / 16};
            CSCN_EDGE_SEGMENT segs[kSideTraces];
            i32 scores[kSideTraces];
            req.from = &a;
            req.to = &b;
            req.segments = segs;
            req.scores = scores;
            const i32 n = CSCN_TraceEdgesAcross(&req);
            if (n <= 0) continue;
            if (CSCN_FollowSide(&f, segs, scores, n) >= 0 && cs.fixedReference == 0) req.refDirection = f.direction;
        }
        if (f.count <= 1) continue;
        set.sides[cs.entry].line = f.sideLine;
        GEO_POINT ca, cb;
        if (Geo_IntersectLineFits(&set.sides[cs.entry].line, &set.sides[cs.crossA].line, &ca) == 0) continue;
        set.corners[kEntryOfSlot[cs.cornerA]] = ca;
        if (Geo_IntersectLineFits(&set.sides[cs.entry].line, &set.sides[cs.crossB].line, &cb) == 0) continue;
        set.corners[kEntryOfSlot[cs.cornerB]] = cb;
        if (k < 3 && FitCorners(set, c0, &t) == 0) return 1;
        SetCornerCells(symbol, set, cs.cornerA, cs.cornerB);
    }
    CSCN_IntersectSides(&set);
    symbol->refinedSides = set;
    symbol->refinedSidesValid = 1;
    return 1;
}

}  // namespace vexo

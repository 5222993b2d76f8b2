#include "qr/qr_candidates.h"

#include "aztec_maxicode/azt_probes.h"
#include "core/pixel.h"
#include "qr/qr_symbol_stages.h"
#include "toolkit/geometry_numeric.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

// Ring boxes below this (1/16 pixel, about 2.6 pixels a module) take the short probes.
constexpr i32 kSmallPatternBelow = 250;
constexpr i32 kSidePoints = 11;  // points k/16 of a side, k = 3..13
constexpr i32 kOrientSamples = 7;  // points 2/10 .. 8/10 of an outer side

using ProbeFn = float (*)(i32 point[2], float a, float b);

GEO_POINT Centre(const QR_FINDER_PATTERN *p) { return {p->centreX, p->centreY}; }

i32 Eighth(i32 d) { return (d + 4) >> 3; }
i32 ThreeEighths(i32 d) { return (3 * d + 4) >> 3; }
GEO_POINT Mid(GEO_POINT a, GEO_POINT b) { return {(a.x + b.x + 1) >> 1, (a.y + b.y + 1) >> 1}; }

// Sign of the cross product of the line's direction (16-bit) with x - p.
i32 SideSign(GEO_POINT p, GEO_POINT q, GEO_POINT x) {
    const i16 dx = static_cast<i16>(q.x - p.x);
    const i16 dy = static_cast<i16>(q.y - p.y);
    const i64 cross = static_cast<i64>(dx) * (static_cast<i64>(x.y) - p.y) - static_cast<i64>(dy) * (static_cast<i64>(x.x) - p.x);
    return (cross > 0) - (cross < 0);
}

bool SameSide(GEO_POINT p, GEO_POINT q, GEO_POINT x, GEO_POINT reference) {
    return SideSign(p, q, x) == SideSign(p, q, reference);
}

bool IsNeighbourZone(i32 zone) { return zone >= 1 && zone <= 3; }

// Squared centre distance, differences taken as 16-bit values.
i64 CentreDistance(const QR_FINDER_PATTERN *a, const QR_FINDER_PATTERN *b) {
    const i64 dx = static_cast<i16>(a->centreX - b->centreX);
    const i64 dy = static_cast<i16>(a->centreY - b->centreY);
    return dx * dx + dy * dy;
}

i64 SquaredLength(i64 dx, i64 dy) { return dx * dx + dy * dy; }

// corners := corners rotated so that corners[start] becomes the first.
void RotateCorners(QR_FINDER_PATTERN *p, i32 start) {
    const GEO_POINT old[4] = {p->corners[0], p->corners[1], p->corners[2], p->corners[3]};
    for (i32 k = 0; k < 4; ++k) p->corners[k] = old[(start + k) & 3];
}

// ---- Corner refinement

// Moves the 11 inner points of side a-b onto the middle of the ring and fits a line to them.
bool FitRefinedSide(GEO_POINT a, GEO_POINT b, ProbeFn probe, LINE_FIT *line) {
    const i64 dx = static_cast<i64>(b.x) - a.x;
    const i64 dy = static_cast<i64>(b.y) - a.y;
    const float stepX = static_cast<float>(dy) / 128.0f;
    const float stepY = static_cast<float>(-dx) / 128.0f;
    POINT_NODE nodes[kSidePoints];
    for (i32 k = 3; k <= 13; ++k) {
        i32 point[2] = {static_cast<i32>(a.x + k * dx / 16), static_cast<i32>(a.y + k * dy / 16)};
        probe(point, stepX, stepY);
        POINT_NODE &node = nodes[k - 3];
        node.x = point[0];
        node.y = point[1];
        node.next = k < 13 ? &nodes[k - 2] : nullptr;
    }
    // y over x for a side closer to horizontal.
    const i32 alongX = (dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy) ? 1 : 0;
    return Geo_FitLineToPointList(nodes, kSidePoints, line, alongX) == 1;
}

ProbeFn ChooseProbe(const QR_FINDER_PATTERN *p) {
    const i32 w = p->maxX - p->minX;
    const i32 h = p->maxY - p->minY;
    const bool small = (w < h ? w : h) < kSmallPatternBelow;
    // The ring is dark in a dark-on-light pattern: the small probe climbs to the darkest
    // sample, the large one centres the point between the ring's two edges.
    if (p->inverse == 0) return small ? Azt_ClimbToDarkest : Azt_ProbeRisingEdges;
    return small ? Azt_ClimbToBrightest : Azt_ProbeFallingEdges;
}

void RefineCorners(QR_FINDER_PATTERN *p) {
    const ProbeFn probe = ChooseProbe(p);
    LINE_FIT lines[4];
    for (i32 i = 0; i < 4; ++i) {
        if (!FitRefinedSide(p->corners[i], p->corners[(i + 1) & 3], probe, &lines[i])) return;
    }
    GEO_POINT refined[4];
    for (i32 i = 0; i < 4; ++i) {
        // Sides i and i + 1 meet at corner i + 1.
        if (Geo_IntersectLineFits(&lines[i], &lines[(i + 1) & 3], &refined[(i + 1) & 3]) != 1) return;
    }
    for (i32 k = 0; k < 4; ++k) p->corners[k] = refined[k];
}

// ---- Orientation

struct SideProfile {
    i64 sum;
    i32 contrast;
};

SideProfile ProfileSide(GEO_POINT a, GEO_POINT b) {
    SideProfile s{0, 0};
    i32 lo = 256;
    i32 hi = -1;
    for (i32 j = 2; j <= 2 + kOrientSamples - 1; ++j) {
        const i64 x = a.x + (static_cast<i64>(b.x) - a.x) * j / 10;
        const i64 y = a.y + (static_cast<i64>(b.y) - a.y) * j / 10;
        const i64 px = (x + 8) >> 4;
        const i64 py = (y + 8) >> 4;
        if (!Num_FitsI32(px) || !Num_FitsI32(py) || Geo_InFrame(static_cast<i32>(px), static_cast<i32>(py)) != 1) continue;
        const i32 v = Geo_PixelOrDefault(static_cast<i32>(px), static_cast<i32>(py), 0);
        s.sum += v;
        lo = v < lo ? v : lo;
        hi = v > hi ? v : hi;
    }
    s.contrast = hi >= lo ? hi - lo : 0;
    return s;
}

struct CornerPick {
    i32 corner;
    i64 best;
    i64 next;  // |score| of the following corner
};

// The corner with the largest score (the first on ties; a negative first score counts as 0).
CornerPick PickCorner(i64 s0, i64 s1) {
    const i64 s[4] = {s0, s1, -s0, -s1};
    CornerPick pick{0, s0 > 0 ? s0 : 0, 0};
    for (i32 k = 1; k < 4; ++k) {
        if (s[k] > pick.best) {
            pick.best = s[k];
            pick.corner = k;
        }
    }
    const i64 n = s[(pick.corner + 1) & 3];
    pick.next = n < 0 ? -n : n;
    return pick;
}

i64 Min64(i64 a, i64 b) { return a < b ? a : b; }

// Finds the outer corner: the two sides beside it face the quiet zone, so they show little
// contrast (and, when that is unclear, the background level).
void Orient(QR_FINDER_PATTERN *p) {
    const GEO_POINT c = Centre(p);
    GEO_POINT outer[4];
    for (i32 k = 0; k < 4; ++k) {
        const GEO_POINT r = p->corners[k];
        outer[k] = {r.x + static_cast<i32>(0.66f * static_cast<f32>(r.x - c.x)),
                    r.y + static_cast<i32>(0.66f * static_cast<f32>(r.y - c.y))};
    }
    SideProfile side[4];
    for (i32 k = 0; k < 4; ++k) side[k] = ProfileSide(outer[k], outer[(k + 1) & 3]);
    const i64 c0 = side[0].contrast, c1 = side[1].contrast, c2 = side[2].contrast, c3 = side[3].contrast;
    CornerPick pick = PickCorner(c1 + c2 - c0 - c3, c2 + c3 - c0 - c1);
    if (pick.best - pick.next < 2 * Min64(pick.best, pick.next)) {
        const i64 s0 = side[0].sum, s1 = side[1].sum, s2 = side[2].sum, s3 = side[3].sum;
        // Dark on light: the quiet-zone sides are the bright ones.
        pick = p->inverse == 0 ? PickCorner(s0 + s3 - s1 - s2, s0 + s1 - s2 - s3)
                               : PickCorner(s1 + s2 - s0 - s3, s2 + s3 - s0 - s1);
        p->oriented = 4 * Min64(pick.best, pick.next) <= pick.best - pick.next ? 1 : 0;
    } else {
        p->oriented = 1;
    }
    RotateCorners(p, pick.corner);
}

// ---- Grouping around a seed

// Sum over the corners of |(N.r_i - N.c) - (P.r_(k+i) - P.c)|^2: how far N's shape is from
// P's turned by k corners.
i64 ShapeDistance(const QR_FINDER_PATTERN *n, const QR_FINDER_PATTERN *p, i32 k) {
    i64 sum = 0;
    for (i32 i = 0; i < 4; ++i) {
        const GEO_POINT &a = n->corners[i];
        const GEO_POINT &b = p->corners[(k + i) & 3];
        const i64 dx = (static_cast<i64>(a.x) - n->centreX) - (static_cast<i64>(b.x) - p->centreX);
        const i64 dy = (static_cast<i64>(a.y) - n->centreY) - (static_cast<i64>(b.y) - p->centreY);
        sum += SquaredLength(dx, dy);
    }
    return sum;
}

i64 MeanSquaredSide(const QR_FINDER_PATTERN *p) {
    i64 sum = 0;
    for (i32 i = 0; i < 4; ++i) {
        const GEO_POINT &a = p->corners[i];
        const GEO_POINT &b = p->corners[(i + 1) & 3];
        sum += SquaredLength(static_cast<i64>(a.x) - b.x, static_cast<i64>(a.y) - b.y);
    }
    return sum / 4;
}

// Rotates n's corners to start at the one farthest from x (first on ties).
void RotateToFarthest(QR_FINDER_PATTERN *n, GEO_POINT x) {
    i32 best = 0;
    i64 bestDistance = -1;
    for (i32 k = 0; k < 4; ++k) {
        const i64 dx = static_cast<i16>(n->corners[k].x - x.x);
        const i64 dy = static_cast<i16>(n->corners[k].y - x.y);
        const i64 d = dx * dx + dy * dy;
        if (d > bestDistance) {
            bestDistance = d;
            best = k;
        }
    }
    RotateCorners(n, best);
}

void PrepareIfNeeded(QR_FINDER_PATTERN *p) {
    if (p->analysed == 0) QR_PreparePattern(p);
}

// The working set of one seed: neighbours and rejected patterns by zone 1..3 (index 0
// unused), their distances from the seed, and the nearest pattern of zone 0.
struct SeedGroup {
    QR_FINDER_PATTERN *seed;
    QR_FINDER_PATTERN *neighbour[4];
    QR_FINDER_PATTERN *rejected[4];
    i64 distance[4];
    QR_FINDER_PATTERN *zone0;
};

void FindNearestByZone(SeedGroup *g) {
    QR_FINDER_PATTERN *nearest[4] = {nullptr, nullptr, nullptr, nullptr};
    i64 best[4] = {0, 0, 0, 0};
    const i32 count = g_qrFinder.patternCount < kQrMaxPatterns ? g_qrFinder.patternCount : kQrMaxPatterns;
    for (i32 i = 0; i < count; ++i) {
        QR_FINDER_PATTERN *q = &g_qrFinder.patterns[i];
        if (q == g->seed) continue;
        const i32 zone = QR_PatternZone(g->seed, Centre(q));
        if (zone > 3) continue;
        const i64 d = CentreDistance(g->seed, q);
        if (nearest[zone] == nullptr || d < best[zone]) {
            nearest[zone] = q;
            best[zone] = d;
        }
    }
    g->zone0 = nearest[0];
    for (i32 k = 1; k <= 3; ++k) {
        g->neighbour[k] = nearest[k];
        g->distance[k] = best[k];
    }
}

void Reject(SeedGroup *g, i32 k) {
    g->rejected[k] = g->neighbour[k];
    g->neighbour[k] = nullptr;
}

// Keeps the zone-k neighbour when it has the seed's polarity and the seed's shape turned to
// its place (after one re-rotation when its own orientation was not sure).
void CheckNeighbour(SeedGroup *g, i32 k, i64 limit) {
    QR_FINDER_PATTERN *n = g->neighbour[k];
    if (n == nullptr) return;
    if (n->inverse != g->seed->inverse) {
        g->neighbour[k] = nullptr;
        return;
    }
    PrepareIfNeeded(n);
    if (ShapeDistance(n, g->seed, k) <= limit) {
        n->oriented = 1;
        return;
    }
    if (n->oriented != 0) {
        Reject(g, k);
        return;
    }
    RotateToFarthest(n, g->seed->corners[2]);
    if (ShapeDistance(n, g->seed, k) > limit) Reject(g, k);
}

i32 CountNeighbours(const SeedGroup &g) {
    return (g.neighbour[1] != nullptr) + (g.neighbour[2] != nullptr) + (g.neighbour[3] != nullptr);
}

// Zone of the farthest (largest) or nearest remaining neighbour; on equal distances the
// lower zone.
i32 ExtremeNeighbour(const SeedGroup &g, bool farthest) {
    i32 pick = 0;
    for (i32 k = 1; k <= 3; ++k) {
        if (g.neighbour[k] == nullptr) continue;
        if (pick == 0 || (farthest ? g.distance[k] > g.distance[pick] : g.distance[k] < g.distance[pick])) pick = k;
    }
    return pick;
}

// The two points of pattern x that span its line towards zone i, in 1/8 pixel.
void ZoneLine(const QR_FINDER_PATTERN *x, i32 i, GEO_POINT *a, GEO_POINT *b) {
    const GEO_POINT *r = x->corners;
    auto mid8 = [](GEO_POINT p, GEO_POINT q) { return GEO_POINT{(p.x + q.x) >> 2, (p.y + q.y) >> 2}; };
    if (i == 1) {
        *a = mid8(r[0], r[3]);
        *b = mid8(r[1], r[2]);
    } else if (i == 2) {
        *a = {r[0].x >> 1, r[0].y >> 1};
        *b = {r[2].x >> 1, r[2].y >> 1};
    } else {
        *a = mid8(r[0], r[1]);
        *b = mid8(r[2], r[3]);
    }
}

void TakeThird(SeedGroup *g, QR_FINDER_PATTERN *r, i32 zone) {
    RotateToFarthest(r, g->seed->corners[2]);
    g->neighbour[zone] = r;
}

// A pair may recover a rejected pattern as its third where the seed's and the neighbour's
// lines towards that pattern cross inside its box.
void AddThirdPattern(SeedGroup *g, QR_FINDER_PATTERN *s) {
    QR_FINDER_PATTERN *remembered = nullptr;
    i32 rememberedZone = 0;
    for (i32 i = 1; i <= 3; ++i) {
        QR_FINDER_PATTERN *r = g->rejected[i];
        if (r == nullptr || g->neighbour[i] != nullptr) continue;
        const i32 z = QR_PatternZone(s, Centre(r));
        if (!IsNeighbourZone(z)) continue;
        GEO_POINT a{}, b{}, c{}, d{}, x{};
        ZoneLine(g->seed, i, &a, &b);
        ZoneLine(s, z, &c, &d);
        if (Geo_IntersectLines(&a, &b, &c, &d, &x) != 1) continue;
        const i64 x16 = 2 * static_cast<i64>(x.x);
        const i64 y16 = 2 * static_cast<i64>(x.y);
        if (x16 < r->minX || x16 > r->maxX || y16 < r->minY || y16 > r->maxY) continue;
        if (r->used == 0) {
            TakeThird(g, r, i);
            return;
        }
        remembered = r;
        rememberedZone = i;
    }
    if (remembered != nullptr) TakeThird(g, remembered, rememberedZone);
}

// Slots (0, 1, 2): (P, N1, N2) without N3; (N2, N3, P) with N2 and N3; (N3, P, N1) with N3
// alone. So three patterns hold the corner pattern in slot 1.
void FillCandidate(SeedGroup *g, QR_CANDIDATE *c) {
    QR_FINDER_PATTERN *p = g->seed;
    QR_FINDER_PATTERN *n1 = g->neighbour[1], *n2 = g->neighbour[2], *n3 = g->neighbour[3];
    QR_FINDER_PATTERN *const neighbours[3] = {n1, n2, n3};
    for (QR_FINDER_PATTERN *n : neighbours) {
        if (n != nullptr) n->used = 1;
    }
    if (n3 == nullptr) {
        *c = {{p, n1, n2}};
    } else if (n2 != nullptr) {
        *c = {{n2, n3, p}};
    } else {
        *c = {{n3, p, n1}};
    }
}

// The seed alone is no candidate when it is itself a side or diagonal neighbour of an
// oriented pattern nearby.
bool SeedBelongsElsewhere(const SeedGroup &g) {
    const QR_FINDER_PATTERN *others[4] = {g.zone0, g.rejected[1], g.rejected[2], g.rejected[3]};
    for (const QR_FINDER_PATTERN *x : others) {
        if (x != nullptr && x->oriented != 0 && IsNeighbourZone(QR_PatternZone(x, Centre(g.seed)))) return true;
    }
    return false;
}

// With one neighbour left: keeps it when it is oriented and no zone-0 pattern sits closer
// to it on its own side; then perhaps a rejected pattern returns as the third.
void SettleOneNeighbour(SeedGroup *g) {
    const i32 k = ExtremeNeighbour(*g, false);
    QR_FINDER_PATTERN *n = g->neighbour[k];
    if (n->oriented == 0) {
        Reject(g, k);
        return;
    }
    if (g->zone0 != nullptr && IsNeighbourZone(QR_PatternZone(n, Centre(g->zone0))) &&
        CentreDistance(g->zone0, n) < g->distance[k]) {
        Reject(g, k);
        return;
    }
    AddThirdPattern(g, n);
}

i32 BuildCandidate(QR_FINDER_PATTERN *p, QR_CANDIDATE *candidate) {
    p->used = 1;
    PrepareIfNeeded(p);
    if (p->oriented == 0) {
        p->used = 0;
        return 0;
    }
    SeedGroup g{};
    g.seed = p;
    FindNearestByZone(&g);
    const i64 limit = MeanSquaredSide(p);
    for (i32 k = 1; k <= 3; ++k) CheckNeighbour(&g, k, limit);
    if (CountNeighbours(g) == 3) Reject(&g, ExtremeNeighbour(g, true));
    if (CountNeighbours(g) == 2) {
        const i32 k1 = ExtremeNeighbour(g, false);
        i32 k2 = 0;
        for (i32 k = 1; k <= 3; ++k) {
            if (g.neighbour[k] != nullptr && k != k1) k2 = k;
        }
        if (!IsNeighbourZone(QR_PatternZone(g.neighbour[k1], Centre(g.neighbour[k2])))) Reject(&g, k2);
    }
    if (CountNeighbours(g) == 1) SettleOneNeighbour(&g);
    if (CountNeighbours(g) == 0 && SeedBelongsElsewhere(g)) return 0;
    FillCandidate(&g, candidate);
    return QR_CheckCandidateInFrame(candidate);
}

// Seeds nearest the image centre first: each pattern goes before the first placed one whose
// distance is not smaller, so among equal distances the later pattern comes first.
void SortSeeds() {
    QR_FINDER_STORE &s = g_qrFinder;
    const i32 count = s.patternCount < kQrMaxPatterns ? s.patternCount : kQrMaxPatterns;
    i64 distance[kQrMaxPatterns];
    for (i32 i = 0; i < count; ++i) {
        const i64 dx = static_cast<i64>((s.patterns[i].centreX + 8) >> 4) - s.imageCentre.x;
        const i64 dy = static_cast<i64>((s.patterns[i].centreY + 8) >> 4) - s.imageCentre.y;
        distance[i] = dx * dx + dy * dy;
        i32 j = 0;
        while (j < i && distance[s.seedOrder[j]] < distance[i]) ++j;
        for (i32 m = i; m > j; --m) s.seedOrder[m] = s.seedOrder[m - 1];
        s.seedOrder[j] = static_cast<u8>(i);
    }
}

// ---- Frame check

// Where the lines a-b and c-d cross, computed on halved coordinates and doubled; (0, 0) for
// parallel lines.
GEO_POINT CrossHalved(GEO_POINT a, GEO_POINT b, GEO_POINT c, GEO_POINT d) {
    const GEO_POINT ha{a.x / 2, a.y / 2}, hb{b.x / 2, b.y / 2}, hc{c.x / 2, c.y / 2}, hd{d.x / 2, d.y / 2};
    GEO_POINT x{0, 0};
    if (Geo_IntersectLines(&ha, &hb, &hc, &hd, &x) != 1) return {0, 0};
    return {Num_ClampI64(2 * static_cast<i64>(x.x)), Num_ClampI64(2 * static_cast<i64>(x.y))};
}

void EstimateSymbolCorners(const QR_CANDIDATE *c, GEO_POINT out[4]) {
    const QR_FINDER_PATTERN *f = c->slot[0];
    const QR_FINDER_PATTERN *s1 = c->slot[1];
    const QR_FINDER_PATTERN *s2 = c->slot[2];
    const GEO_POINT *r = f->corners;
    if (s1 != nullptr && s2 != nullptr) {
        out[0] = r[0];
        out[1] = s1->corners[0];
        out[2] = s2->corners[0];
        out[3] = {Num_ClampI64(static_cast<i64>(s2->corners[0].x) + r[0].x - s1->corners[0].x),
                  Num_ClampI64(static_cast<i64>(s2->corners[0].y) + r[0].y - s1->corners[0].y)};
    } else if (s1 != nullptr) {
        const GEO_POINT *t = s1->corners;
        out[0] = r[0];
        out[1] = t[0];
        out[2] = CrossHalved(t[0], t[1], r[0], r[2]);
        out[3] = CrossHalved(r[0], r[3], t[0], t[2]);
    } else if (s2 != nullptr) {
        const GEO_POINT *t = s2->corners;
        out[0] = r[0];
        out[1] = CrossHalved(r[0], r[1], t[0], t[3]);
        out[2] = t[0];
        out[3] = CrossHalved(r[0], r[3], t[0], t[1]);
    } else {
        out[0] = r[0];
        for (i32 i = 1; i < 4; ++i) {
            out[i] = {Num_ClampI64(3 * static_cast<i64>(r[i].x) - 2 * static_cast<i64>(r[0].x)),
                      Num_ClampI64(3 * static_cast<i64>(r[i].y) - 2 * static_cast<i64>(r[0].y))};
        }
    }
}

// ---- Plain-geometry retry

i32 Cos1000(GEO_POINT apex, GEO_POINT q, GEO_POINT r) {
    return static_cast<i32>(Geo_CosAngleAt(&apex, &q, &r) * 1000.0);
}

// The corner of the turn's corner pattern behind which most of the other two centres lie.
bool RotateCornerPattern(QR_FINDER_PATTERN *k, GEO_POINT a, GEO_POINT b) {
    const GEO_POINT kc = Centre(k);
    i32 best = -1;
    i32 bestCount = 0;
    for (i32 j = 0; j < 4; ++j) {
        const i32 count = (Cos1000(kc, a, k->corners[j]) < 0) + (Cos1000(kc, b, k->corners[j]) < 0);
        if (count > bestCount) {
            bestCount = count;
            best = j;
        }
    }
    if (best < 0) return false;
    RotateCorners(k, best);
    return true;
}

// Of the corners facing away from the corner pattern, the first on the wanted turn side.
bool RotateArmPattern(QR_FINDER_PATTERN *p, GEO_POINT kc, i32 turnSign) {
    const GEO_POINT pc = Centre(p);
    for (i32 j = 0; j < 4; ++j) {
        if (Cos1000(pc, kc, p->corners[j]) >= 0) continue;
        const i32 turn = Geo_TurnCross(&p->corners[j], &pc, &kc);
        if ((turnSign < 0 && turn < 0) || (turnSign > 0 && turn > 0)) {
            RotateCorners(p, j);
            return true;
        }
    }
    return false;
}

// Marks the corners of p that face away from the other centre; the first marked, or -1.
i32 MarkFarCorners(const QR_FINDER_PATTERN *p, GEO_POINT other, bool marked[4]) {
    const GEO_POINT pc = Centre(p);
    i32 first = -1;
    for (i32 j = 0; j < 4; ++j) {
        marked[j] = Cos1000(pc, other, p->corners[j]) < 0;
        if (marked[j] && first < 0) first = j;
    }
    return first;
}

bool GroupDiagonal(QR_FINDER_PATTERN *p0, QR_FINDER_PATTERN *p1, QR_CANDIDATE *c) {
    const GEO_POINT c0 = Centre(p0);
    i32 best = -1;
    i32 bestCount = 0;
    for (i32 j = 0; j < 4; ++j) {
        const GEO_POINT corner = p1->corners[j];
        const i32 count = (Cos1000(corner, p1->corners[(j + 3) & 3], c0) > 0) +
                          (Cos1000(corner, p1->corners[(j + 1) & 3], c0) > 0);
        if (count > bestCount) {
            bestCount = count;
            best = j;
        }
    }
    if (best < 0) return false;
    RotateCorners(p1, best);
    *c = {{p1, nullptr, p0}};
    return true;
}

// A side pair: p0 becomes the corner pattern (slot 1), p1 its neighbour (slot 0). The far
// corners of each pattern are two neighbours in the cyclic order; the outer corner is the
// second of them for p1 and the first for p0.
bool GroupSide(QR_FINDER_PATTERN *p0, QR_FINDER_PATTERN *p1, QR_CANDIDATE *c) {
    bool marked[4];
    const i32 b1 = MarkFarCorners(p1, Centre(p0), marked);
    if (b1 < 0) return false;
    const bool wraps1 = b1 == 0 && !marked[1];
    RotateCorners(p1, wraps1 ? 0 : (b1 + 1) & 3);
    const i32 b0 = MarkFarCorners(p0, Centre(p1), marked);
    if (b0 < 0) return false;
    const bool wraps0 = b0 == 0 && !marked[1];
    RotateCorners(p0, wraps0 ? 3 : b0);
    *c = {{p1, p0, nullptr}};
    return true;
}

}  // namespace

i32 QR_LineSide(GEO_POINT p, GEO_POINT q, GEO_POINT x, QR_LINE_SIDE *out) {
    const i16 dx = static_cast<i16>(q.x - p.x);
    const i16 dy = static_cast<i16>(q.y - p.y);
    const i64 offset = static_cast<i64>(dx) * p.y - static_cast<i64>(dy) * p.x;
    const i64 cross = static_cast<i64>(dx) * x.y - static_cast<i64>(dy) * x.x - offset;
    const i32 positive = cross > 0 ? 1 : 0;
    if (out != nullptr) *out = {dx, dy, offset, positive};
    return positive;
}

void QR_RotateQuad(GEO_POINT *c0, GEO_POINT *c1, GEO_POINT *c2, GEO_POINT *c3, i32 start, QR_QUAD_REF *out) {
    if (out == nullptr) return;
    GEO_POINT *in[4] = {c0, c1, c2, c3};
    for (i32 k = 0; k < 4; ++k) out->corner[k] = in[(start + k) & 3];
}

i32 QR_PatternZone(const QR_FINDER_PATTERN *p, GEO_POINT x) {
    if (p == nullptr) return 4;
    const GEO_POINT r1 = p->corners[0], r2 = p->corners[1], r3 = p->corners[2], r4 = p->corners[3];
    const GEO_POINT l2 = {r1.x + Eighth(r2.x - r1.x), r1.y + Eighth(r2.y - r1.y)};
    const GEO_POINT l3 = {r2.x - Eighth(r2.x - r1.x), r2.y - Eighth(r2.y - r1.y)};
    const GEO_POINT l4 = {r1.x + Eighth(r4.x - r1.x), r1.y + Eighth(r4.y - r1.y)};
    const GEO_POINT l5 = {r4.x - Eighth(r4.x - r1.x), r4.y - Eighth(r4.y - r1.y)};
    const GEO_POINT l6 = {r4.x + ThreeEighths(r3.x - r4.x), r4.y + ThreeEighths(r3.y - r4.y)};
    const GEO_POINT l7 = {r2.x + ThreeEighths(r3.x - r2.x), r2.y + ThreeEighths(r3.y - r2.y)};
    if (!SameSide(r2, r4, x, r3) || !SameSide(r2, l4, x, r3) || !SameSide(r4, l2, x, r3)) return 4;
    if (SameSide(r3, l5, x, r2)) return 1;
    if (SameSide(r3, l3, x, r4)) return 3;
    if (!SameSide(Mid(r4, r1), l6, x, r2)) return 0;
    if (SameSide(Mid(r1, r2), l7, x, r4)) return 2;
    return 0;
}

void QR_PreparePattern(QR_FINDER_PATTERN *p) {
    if (p == nullptr || p->analysed != 0) return;
    RefineCorners(p);
    Orient(p);
    p->analysed = 1;
}

i32 QR_CheckCandidateInFrame(const QR_CANDIDATE *candidate) {
    if (candidate == nullptr || candidate->slot[0] == nullptr) return 0;
    GEO_POINT p[4];
    EstimateSymbolCorners(candidate, p);
    const i64 h = (static_cast<i64>(Pix_GetImageHeight()) - 1) * 16;
    const i64 w = (static_cast<i64>(Pix_GetImageWidth()) - 1) * 16;
    i64 maxY = 0, minY = h, maxX = 0, minX = w;
    for (const GEO_POINT &q : p) {
        maxY = q.y > maxY ? q.y : maxY;
        minY = q.y < minY ? q.y : minY;
        maxX = q.x > maxX ? q.x : maxX;
        minX = q.x < minX ? q.x : minX;
    }
    const i64 inY = Min64(maxY, h) - (minY > 0 ? minY : 0);
    const i64 inX = Min64(maxX, w) - (minX > 0 ? minX : 0);
    // At least 70 % of the corners' bounding box lies in the frame.
    return static_cast<f64>(inY) * static_cast<f64>(inX) * 10.0 >=
                   static_cast<f64>(maxY - minY) * static_cast<f64>(maxX - minX) * 7.0
               ? 1
               : 0;
}

i32 QR_GroupThreePatterns(QR_FINDER_PATTERN *p0, QR_FINDER_PATTERN *p1, QR_FINDER_PATTERN *p2,
                          QR_CANDIDATE *candidate) {
    if (p0 == nullptr || p1 == nullptr || p2 == nullptr || candidate == nullptr) return 0;
    QR_FINDER_PATTERN *p[3] = {p0, p1, p2};
    i32 corner = 0;
    i32 smallest = 0;
    for (i32 i = 0; i < 3; ++i) {
        const GEO_POINT apex = Centre(p[i]);
        const GEO_POINT q = Centre(p[(i + 1) % 3]);
        const GEO_POINT r = Centre(p[(i + 2) % 3]);
        i32 cosine = static_cast<i32>(Geo_CosAngleAt(&apex, &q, &r) * 10000.0);
        cosine = cosine < 0 ? -cosine : cosine;
        if (i == 0 || cosine < smallest) {
            smallest = cosine;
            corner = i;
        }
    }
    QR_FINDER_PATTERN *k = p[corner];
    QR_FINDER_PATTERN *x = p[corner == 0 ? 1 : 0];
    QR_FINDER_PATTERN *y = p[corner == 2 ? 1 : 2];
    const GEO_POINT kc = Centre(k), xc = Centre(x), yc = Centre(y);
    const i32 turn = Geo_TurnCross(&xc, &kc, &yc);
    if (turn == 0) return 0;
    // Screen coordinates (y down): bottom-left, top-left, top-right turn positively.
    QR_FINDER_PATTERN *a = turn > 0 ? x : y;
    QR_FINDER_PATTERN *b = turn > 0 ? y : x;
    const GEO_POINT ac = Centre(a), bc = Centre(b);
    const f64 side = Geo_Distance(kc.x, kc.y, ac.x, ac.y);
    const f64 diagonal = Geo_Distance(ac.x, ac.y, bc.x, bc.y);
    const f64 lo = side < diagonal ? side : diagonal;
    const f64 hi = side < diagonal ? diagonal : side;
    if (lo < 1.0e-5 || hi > 1.5 * lo) return 0;
    if (!RotateCornerPattern(k, ac, bc) || !RotateArmPattern(a, kc, -1) || !RotateArmPattern(b, kc, 1)) return 0;
    *candidate = {{a, k, b}};
    return 1;
}

i32 QR_GroupTwoPatterns(QR_FINDER_PATTERN *p0, QR_FINDER_PATTERN *p1, QR_CANDIDATE *candidate) {
    if (p0 == nullptr || p1 == nullptr || candidate == nullptr) return 0;
    const GEO_POINT c0 = Centre(p0), c1 = Centre(p1);
    i64 hi = -1;
    i64 lo = -1;
    for (i32 j = 0; j < 4; ++j) {
        const i64 t = Geo_TurnCross(&c0, &c1, &p0->corners[j]);
        const i64 a = t < 0 ? -t : t;
        hi = hi < 0 || a > hi ? a : hi;
        lo = lo < 0 || a < lo ? a : lo;
    }
    // The line between the centres passes close to two opposite corners: a diagonal pair
    // (also when it meets them exactly).
    const bool diagonal = hi > 3 * lo;
    const bool ok = diagonal ? GroupDiagonal(p0, p1, candidate) : GroupSide(p0, p1, candidate);
    return ok ? 1 : 0;
}

i32 QR_NextCandidate(QR_CANDIDATE *candidate) {
    if (candidate == nullptr) return 0;
    *candidate = {};
    QR_FINDER_STORE &s = g_qrFinder;
    if (s.patternCount == 0) return 0;
    if (s.candidateCursor == 0) {
        QR_VerifyQueuedHits(kQrVerifyAllRows);
        SortSeeds();
    }
    const i32 count = s.patternCount < kQrMaxPatterns ? s.patternCount : kQrMaxPatterns;
    while (s.candidateCursor < count) {
        QR_FINDER_PATTERN *p = &s.patterns[s.seedOrder[s.candidateCursor]];
        ++s.candidateCursor;
        if (p->used != 0) continue;
        if (BuildCandidate(p, candidate) == 1) return 1;
        *candidate = {};
    }
    if (s.retryArmed == 0) return 0;
    s.retryArmed = 0;
    if (count == 3) return QR_GroupThreePatterns(&s.patterns[0], &s.patterns[1], &s.patterns[2], candidate);
    if (count == 2) return QR_GroupTwoPatterns(&s.patterns[0], &s.patterns[1], candidate);
    return 0;
}

i32 QR_NextSymbolCandidate(QR_FINDER_PATTERN out[3], i32 *type) {
    if (out == nullptr || type == nullptr) return 0;
    // Every fetch consumes a seed or the retry, so the patterns bound the fetches.
    for (i32 attempt = 0; attempt <= kQrMaxPatterns + 1; ++attempt) {
        QR_CANDIDATE c{};
        if (QR_NextCandidate(&c) == 0) return 0;
        i32 n = 0;
        for (QR_FINDER_PATTERN *p : c.slot) {
            if (p != nullptr) out[n++] = *p;
        }
        if (n == 0) continue;
        if (n == 1) *type = kQrCandidateOne;
        else if (n == 3) *type = kQrCandidateThree;
        else *type = c.slot[1] != nullptr ? kQrCandidateSide : kQrCandidateDiagonal;
        return n;
    }
    return 0;
}

i32 QR_GetFinderPatternCount() { return g_qrFinder.patternCount; }

void QR_ArmCandidateRetry(i32 armed) { g_qrFinder.retryArmed = armed; }

i32 QR_GetRetryArmed() { return g_qrFinder.retryArmed; }

}  // namespace vexo

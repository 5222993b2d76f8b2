// Widening and splitting of the finder's quadrilaterals: ends pushed outwards while bar edges
// lie just beyond them, and a quadrilateral cut where one gap much wider than its
// neighbours shows two symbols side by side; a half of a cut trapezoid is rebuilt from two
// bar edges traced afresh.
#include "core/arena.h"
#include "core/pixel.h"
#include "linear_image/lineimg_finder.h"
#include "linear_image/lineimg_finder_scratch.h"
#include "linear_image/lineimg_segments.h"
#include "toolkit/geometry_points.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kExtendRounds = 1000;
constexpr i32 kExtendReach = 50;
constexpr i32 kExtendSamples = 100;
constexpr i32 kExtendEdges = 10;
constexpr i32 kExtendRatio = 120;
constexpr i32 kExtendMinStep = 10;
constexpr i32 kNearEdgeMin = 31;
constexpr i32 kNearEdgeMax = 69;
constexpr i32 kSplitSamples = 1280;
constexpr i32 kSplitEdges = 128;
constexpr i32 kSplitRatio = 204;
constexpr i32 kSplitMinStep = 6;
constexpr i32 kSplitMinEdges = 20;
constexpr i32 kSplitFirstGap = 5;
constexpr f32 kSplitGapFactor = 5.0f;
constexpr i32 kSplitListStop = 18;
constexpr f32 kRefitSideFactor = 1.6f;
constexpr i32 kRefitInset = 4;
constexpr i32 kRefitSamples = 512;
constexpr i32 kRefitEdges = 16;
constexpr i32 kRefitRatio = 204;
constexpr i32 kRefitMinStep = 6;
constexpr i32 kRefitTolerance = 70;
constexpr i32 kRefitMinRun = 3;
constexpr i32 kRefitOvershoot = 10;
constexpr f64 kParallelShortest = 0.7;
constexpr f64 kParallelLongest = 1.7;
constexpr i32 kParallelCos = 905;

GEO_POINT Mid(const GEO_POINT &p, const GEO_POINT &q) { return {(p.x + q.x) >> 1, (p.y + q.y) >> 1}; }
bool Equal(const GEO_POINT &p, const GEO_POINT &q) { return p.x == q.x && p.y == q.y; }

// Moves the side p-q (c0-c2 when left, c1-c3 when right) outwards while a falling edge lies
// 31 to 69 pixels out from 50 pixels inside it; away from the opposite corners a, b.
void ExtendSide(GEO_POINT *p, GEO_POINT *q, const GEO_POINT &a, const GEO_POINT &b, bool left) {
    const u8 *image = Pix_GetImagePointer();
    if (image == nullptr) return;
    GEO_POINT P = *p, Q = *q;
    for (i32 round = 0; round < kExtendRounds; ++round) {
        const GEO_POINT M = Mid(P, Q);
        GEO_POINT V{}, outer{}, inner{};
        if (left) Geo_RotateMinus90(&M, &P, &V);
        else Geo_RotatePlus90(&M, &P, &V);
        Geo_StepTowards(&M, &V, &outer, kExtendReach);
        Geo_StepTowards(&M, &V, &inner, -kExtendReach);
        u8 samples[kExtendSamples];
        const i32 n = Geo_SampleLine(image, &inner, &outer, samples, kExtendSamples);
        i32 edges[kExtendEdges];
        const i32 e = Prof_FindFallingEdges(samples, n, kExtendRatio, kExtendMinStep, edges, kExtendEdges);
        if (e <= 0) break;
        bool near = false;
        for (i32 k = 0; k < e; ++k) {
            const i32 d = (edges[k] + 8) >> 4;
            near = near || (d >= kNearEdgeMin && d <= kNearEdgeMax);
        }
        if (!near) break;
        const i32 s = (edges[e - 1] + 8) >> 5;
        // The side has reached the opposite one.
        if (Equal(P, a) && Equal(Q, b)) break;
        Geo_StepTowards(&P, &a, &P, -s);
        Geo_StepTowards(&Q, &b, &Q, -s);
    }
    *p = P;
    *q = Q;
}

// The widest gap from index 5 on (the first of equal ones) when it lies inside and is more
// than 5 times both neighbours; else -1.
i32 WideGap(const i32 *pos, i32 n) {
    i32 best = -1, width = -1;
    for (i32 k = kSplitFirstGap; k + 1 < n; ++k)
        if (pos[k + 1] - pos[k] > width) {
            width = pos[k + 1] - pos[k];
            best = k;
        }
    if (best <= 1 || best + 1 >= n - 1) return -1;
    const f32 g = static_cast<f32>(width);
    const f32 before = static_cast<f32>(pos[best] - pos[best - 1]);
    const f32 after = static_cast<f32>(pos[best + 2] - pos[best + 1]);
    if (before <= 0 || after <= 0) return -1;
    return g / before > kSplitGapFactor && g / after > kSplitGapFactor ? best : -1;
}

GEO_POINT PointAlong(const GEO_POINT &from, const GEO_POINT &to, i32 pos16) {
    GEO_POINT out{};
    Geo_StepTowards(&from, &to, &out, pos16 >> 4);
    return out;
}

// The refit's two sampled lines with their coordinates, from the arena.
struct REFIT_LINES {
    void *blocks[4];
    u8 samplesA[kRefitSamples];
    u8 samplesB[kRefitSamples];
};

// Traces the bar edges common to from->to and from'->to' (from' and to' 4 pixels towards
// the corners fromSide and toSide) and finds the first segment parallel to side (0: c0-c2,
// 1: c1-c3); false when there is none.
bool RefitSide(const REGION_QUAD *quad, u8 kind, i32 L, i32 side, REFIT_LINES *r, GEO_POINT *j0, GEO_POINT *j1) {
    const u8 *image = Pix_GetImagePointer();
    if (image == nullptr) return false;
    const POINT_I32 *c = quad->c;
    const GEO_POINT m1 = Mid(c[0], c[2]);
    const GEO_POINT m2 = Mid(c[1], c[3]);
    GEO_POINT m1b{}, m2b{};
    Geo_StepTowards(&m1, &c[2], &m1b, kRefitInset);
    Geo_StepTowards(&m2, &c[3], &m2b, kRefitInset);
    const GEO_POINT &fromA = side == 0 ? m1 : m2;
    const GEO_POINT &toA = side == 0 ? m2 : m1;
    const GEO_POINT &fromB = side == 0 ? m1b : m2b;
    const GEO_POINT &toB = side == 0 ? m2b : m1b;
    i32 *xA = static_cast<i32 *>(r->blocks[0]);
    i32 *yA = static_cast<i32 *>(r->blocks[1]);
    i32 *xB = static_cast<i32 *>(r->blocks[2]);
    i32 *yB = static_cast<i32 *>(r->blocks[3]);
    const i32 na = Geo_SampleLineWithCoords(image, &fromA, &toA, r->samplesA, xA, yA, kRefitSamples);
    const i32 nb = Geo_SampleLineWithCoords(image, &fromB, &toB, r->samplesB, xB, yB, kRefitSamples);
    i32 posA[kRefitEdges], posB[kRefitEdges], outPos[kRefitEdges], matchA[kRefitEdges], matchB[kRefitEdges];
    const i32 ea = Prof_FindFallingEdges(r->samplesA, na, kRefitRatio, kRefitMinStep, posA, kRefitEdges);
    const i32 eb = Prof_FindFallingEdges(r->samplesB, nb, kRefitRatio, kRefitMinStep, posB, kRefitEdges);
    if (ea <= 0 || eb <= 0) return false;
    EDGE_PAIRING e{kRefitTolerance, kRefitEdges, kRefitMinRun, ea, eb, posA, posB, outPos, 0, matchA, matchB, 0, 0, 0};
    Geo_MatchPositionRuns(&e);
    if (e.matchCount < 2) return false;
    const SAMPLED_LINE_PAIR lines{xA, yA, na, xB, yB, nb};
    g_segmentStore.count = 0;
    i32 mean = 0;
    if (kind == kQuadFlat) {
        LineImg_RefitColumnSegments(&e, &lines, &g_segmentStore, &mean, side, kTraceScratchRefit);
    } else {
        LineImg_RefitRowSegments(&e, &lines, &g_segmentStore, &mean, side, kTraceScratchRefit);
    }
    return LineImg_FindParallelSegment(quad, &g_segmentStore, side, j0, j1, L) != 0;
}

}  // namespace

int LineImg_FindParallelSegment(const REGION_QUAD *quad, const SEGMENT_STORE *store, i32 side, GEO_POINT *end0,
                                GEO_POINT *end1, i32 sideLength) {
    if (quad == nullptr || store == nullptr || end0 == nullptr || end1 == nullptr) return 0;
    const GEO_POINT &a = quad->c[side == 0 ? 0 : 1];
    const GEO_POINT &b = quad->c[side == 0 ? 2 : 3];
    // A side or a segment without length has no direction to compare.
    if (sideLength <= 0 || (a.x == b.x && a.y == b.y)) return 0;
    const i32 shortest = static_cast<i32>(kParallelShortest * sideLength);
    const i32 longest = static_cast<i32>(kParallelLongest * sideLength);
    const i32 n = store->count < kSegmentCapacity ? store->count : kSegmentCapacity;
    for (i32 k = 0; k < n; ++k) {
        const LINE_SEGMENT &s = store->seg[k];
        if (s.length < shortest || s.length > longest || (s.x0 == s.x1 && s.y0 == s.y1)) continue;
        const GEO_POINT apex{s.x0, s.y0};
        const GEO_POINT along{s.x1, s.y1};
        const GEO_POINT parallel{s.x0 + (b.x - a.x), s.y0 + (b.y - a.y)};
        const i32 cosine = static_cast<i32>(1000.0 * Geo_CosAngleAt(&apex, &along, &parallel));
        if ((cosine < 0 ? -cosine : cosine) <= kParallelCos) continue;
        *end0 = apex;
        *end1 = along;
        return 1;
    }
    return 0;
}

void LineImg_RefitQuad(REGION_QUAD *quad, u8 kind, i32 sideLength) {
    if (quad == nullptr) return;
    REFIT_LINES r{};
    for (void *&b : r.blocks) b = Mem_Alloc(kRefitSamples * static_cast<i32>(sizeof(i32)));
    GEO_POINT j[4]{};
    const bool found = Mem_AllNonNull(r.blocks, 4) != 0 && RefitSide(quad, kind, sideLength, 0, &r, &j[0], &j[1]) &&
                       RefitSide(quad, kind, sideLength, 1, &r, &j[2], &j[3]);
    Mem_FreeList(r.blocks, 4);
    if (!found) return;
    // The lines through the two first ends and through the two second ends, each carried
    // 10 pixels past both segments.
    Geo_StepTowards(&j[0], &j[2], &quad->c[0], -kRefitOvershoot);
    Geo_StepTowards(&j[2], &j[0], &quad->c[1], -kRefitOvershoot);
    Geo_StepTowards(&j[1], &j[3], &quad->c[2], -kRefitOvershoot);
    Geo_StepTowards(&j[3], &j[1], &quad->c[3], -kRefitOvershoot);
}

void LineImg_ExtendLeftSide(REGION_QUAD *q) { ExtendSide(&q->c[0], &q->c[2], q->c[1], q->c[3], true); }
void LineImg_ExtendRightSide(REGION_QUAD *q) { ExtendSide(&q->c[1], &q->c[3], q->c[0], q->c[2], false); }

void LineImg_ExtendQuadSides(REGION_QUAD *quads, const u8 *, i32 count) {
    if (quads == nullptr) return;
    for (i32 i = 0; i < count && i < kFinderQuadCap; ++i) {
        LineImg_ExtendLeftSide(&quads[i]);
        LineImg_ExtendRightSide(&quads[i]);
    }
}

i32 LineImg_SplitQuad(const REGION_QUAD *quad, REGION_QUAD *out) {
    out[0] = *quad;
    const u8 *image = Pix_GetImagePointer();
    if (image == nullptr) return 1;
    const POINT_I32 *c = quad->c;
    const GEO_POINT m1 = Mid(c[0], c[2]);
    const GEO_POINT m2 = Mid(c[1], c[3]);
    u8 samples[kSplitSamples];
    i32 falls[kSplitEdges], rises[kSplitEdges];
    const i32 n = Geo_SampleLine(image, &m1, &m2, samples, kSplitSamples);
    const i32 nf = Prof_FindFallingEdges(samples, n, kSplitRatio, kSplitMinStep, falls, kSplitEdges);
    const i32 nr = Prof_FindRisingEdges(samples, n, kSplitRatio, kSplitMinStep, rises, kSplitEdges);
    if (nf < kSplitMinEdges || nr < kSplitMinEdges) return 1;
    const i32 o = WideGap(falls, nf);
    const i32 u = WideGap(rises, nr);
    if (o < 0 || u < 0) return 1;
    const GEO_POINT t = Mid(PointAlong(c[0], c[1], falls[o]), PointAlong(c[0], c[1], falls[o + 1]));
    const GEO_POINT b = Mid(PointAlong(c[2], c[3], rises[u]), PointAlong(c[2], c[3], rises[u + 1]));
    out[0] = REGION_QUAD{{c[0], t, c[2], b}};
    out[1] = REGION_QUAD{{t, c[1], b, c[3]}};
    return 2;
}

namespace {

// The halves of a cut trapezoid (one end more than 1.6 times the other) are rebuilt, each
// against the shorter of its own two ends.
void RefitTrapezoidHalves(const REGION_QUAD &whole, u8 kind, REGION_QUAD parts[2]) {
    const f32 left = static_cast<f32>(LineImg_RoundedDistance(whole.c[0], whole.c[2]));
    const f32 right = static_cast<f32>(LineImg_RoundedDistance(whole.c[1], whole.c[3]));
    if (left <= kRefitSideFactor * right && right <= kRefitSideFactor * left) return;
    for (i32 k = 0; k < 2; ++k) {
        const i32 a = LineImg_RoundedDistance(parts[k].c[0], parts[k].c[2]);
        const i32 b = LineImg_RoundedDistance(parts[k].c[1], parts[k].c[3]);
        LineImg_RefitQuad(&parts[k], kind, a < b ? a : b);
    }
}

}  // namespace

i32 LineImg_SplitQuads(REGION_QUAD *quads, u8 *kinds, i32 count) {
    if (quads == nullptr || kinds == nullptr) return 0;
    REGION_QUAD list[kFinderQuadCap];
    u8 listKinds[kFinderQuadCap];
    i32 n = 0;
    for (i32 i = 0; i < count && i < kFinderQuadCap && n < kSplitListStop; ++i) {
        REGION_QUAD parts[2];
        const i32 m = LineImg_SplitQuad(&quads[i], parts);
        if (m == 2) RefitTrapezoidHalves(quads[i], kinds[i], parts);
        for (i32 k = 0; k < m && n < kFinderQuadCap; ++k) {
            list[n] = parts[k];
            listKinds[n++] = kinds[i];
        }
    }
    for (i32 i = 0; i < n; ++i) {
        quads[i] = list[i];
        kinds[i] = listKinds[i];
    }
    return n;
}

}  // namespace vexo

// Widening and splitting of the finder's quadrilaterals: ends pushed outwards while bar edges
// lie just beyond them, and a quadrilateral cut where one gap much wider than its
// neighbours shows two symbols side by side.
#include "core/pixel.h"
#include "linear_image/lineimg_finder.h"
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

}  // namespace

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

i32 LineImg_SplitQuads(REGION_QUAD *quads, u8 *kinds, i32 count) {
    if (quads == nullptr || kinds == nullptr) return 0;
    REGION_QUAD list[kFinderQuadCap];
    u8 listKinds[kFinderQuadCap];
    i32 n = 0;
    for (i32 i = 0; i < count && i < kFinderQuadCap && n < kSplitListStop; ++i) {
        REGION_QUAD parts[2];
        const i32 m = LineImg_SplitQuad(&quads[i], parts);
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

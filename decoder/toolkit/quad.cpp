#include "toolkit/quad.h"

#include <cmath>

#include "core/pixel.h"
#include "core/state.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

// Positions further apart than this never start a pairing run.
constexpr i64 kRunStartLimit = 65535;
// List heads closer to the line start than this are taken to be its border.
constexpr i32 kBorderPosition = 20;

// Differences of 32-bit coordinates take 33 bits and their products 66: crosses are formed
// in 128 bits, which gives the 32-bit answers wherever those do not overflow.
using Wide = __int128;

Wide Cross(i64 ux, i64 uy, i64 vx, i64 vy) { return static_cast<Wide>(ux) * vy - static_cast<Wide>(uy) * vx; }

Wide SideCross(const GEO_POINT &a, const GEO_POINT &b, const GEO_POINT &from, const GEO_POINT &p) {
    return Cross(static_cast<i64>(b.x) - a.x, static_cast<i64>(b.y) - a.y, static_cast<i64>(p.x) - from.x,
                 static_cast<i64>(p.y) - from.y);
}

bool InBoundingBox(const GEO_POINT &p, const REGION_QUAD &q) {
    i32 minX = q.c[0].x, maxX = q.c[0].x, minY = q.c[0].y, maxY = q.c[0].y;
    for (int k = 1; k < 4; ++k) {
        minX = q.c[k].x < minX ? q.c[k].x : minX;
        maxX = q.c[k].x > maxX ? q.c[k].x : maxX;
        minY = q.c[k].y < minY ? q.c[k].y : minY;
        maxY = q.c[k].y > maxY ? q.c[k].y : maxY;
    }
    return p.x >= minX && p.x <= maxX && p.y >= minY && p.y <= maxY;
}

GEO_POINT CornerMean(const REGION_QUAD &q) {
    const i64 sx = static_cast<i64>(q.c[0].x) + q.c[1].x + q.c[2].x + q.c[3].x;
    const i64 sy = static_cast<i64>(q.c[0].y) + q.c[1].y + q.c[2].y + q.c[3].y;
    return GEO_POINT{static_cast<i32>(sx >> 2), static_cast<i32>(sy >> 2)};
}

i32 HalfShift(i32 a, i32 b) { return static_cast<i32>((static_cast<i64>(a) + b) >> 1); }
i32 HalfDiv(i32 a, i32 b) { return static_cast<i32>((static_cast<i64>(a) + b) / 2); }

i64 Abs64(i64 v) { return v < 0 ? -v : v; }

Wide Area2(const GEO_POINT &a, const GEO_POINT &b, const GEO_POINT &c) {
    const Wide v = SideCross(a, b, a, c);
    return v < 0 ? -v : v;
}

i32 Clamp(i64 v, i32 lo, i32 hi) {
    if (v > hi) v = hi;
    if (v < lo) v = lo;
    return static_cast<i32>(v);
}

i64 ChebyshevLength(const GEO_POINT &a, const GEO_POINT &b) {
    const i64 dx = Abs64(static_cast<i64>(a.x) - b.x);
    const i64 dy = Abs64(static_cast<i64>(a.y) - b.y);
    return dx > dy ? dx : dy;
}

i32 RoundedDistance(const GEO_POINT &a, const GEO_POINT &b) {
    return Num_SatTruncI32(Geo_Distance(a.x, a.y, b.x, b.y) + 0.5);
}

// One side of the fit: near and far are the two corners on that side (c0 and c2 on the
// left), across their partners on the opposite side, clipped the clipped top and bottom
// copies of near and far. The shorter clipped side is kept; the other corner is moved
// along its own side to that length.
void FitSide(GEO_POINT &near, GEO_POINT &far, const GEO_POINT &nearAcross, const GEO_POINT &farAcross,
             const GEO_POINT &nearClipped, const GEO_POINT &farClipped) {
    if (ChebyshevLength(nearClipped, nearAcross) < ChebyshevLength(farClipped, farAcross)) {
        Geo_StepTowards(&farAcross, &far, &far, RoundedDistance(nearClipped, nearAcross));
        near = nearClipped;
    } else {
        Geo_StepTowards(&nearAcross, &near, &near, RoundedDistance(farClipped, farAcross));
        far = farClipped;
    }
}

// Reading order of a pair: which corner coordinate decides and in which sense, per
// V (A's top side is steep), F (it runs against the axis) and H (B lies beside A along
// A's rows), indexed V * 4 + F * 2 + H.
struct OrderRule {
    bool byX;
    bool ascending;  // A first when its coordinate is the smaller
};
constexpr OrderRule kOrderRules[8] = {
    {false, true},   // upright, B below
    {true, true},    // upright, B beside
    {false, false},  // upside down, B above
    {true, false},   // upside down, B beside
    {true, false},   // quarter turn, B across its rows
    {false, true},   // quarter turn, B beside
    {true, true},    // other quarter turn, B across
    {false, false},  // other quarter turn, B beside
};
static_assert(sizeof(kOrderRules) / sizeof(kOrderRules[0]) == 8);

// Whether A comes before B; equal coordinates put B first.
bool FirstIsA(const REGION_QUAD &a, const REGION_QUAD &b) {
    const i64 dx = Abs64(static_cast<i64>(a.c[0].x) - a.c[1].x);
    const i64 dy = Abs64(static_cast<i64>(a.c[0].y) - a.c[1].y);
    const int steep = dx <= dy ? 1 : 0;
    const int against = (steep != 0 ? a.c[0].y >= a.c[1].y : a.c[0].x >= a.c[1].x) ? 1 : 0;
    GEO_POINT mid[2];
    Geo_QuadSideMidpoints(&a, mid);
    const int beside = Geo_MidlineHitInQuad(&mid[0], &mid[1], &b) != 0 ? 1 : 0;
    const OrderRule rule = kOrderRules[steep * 4 + against * 2 + beside];
    const i32 ka = rule.byX ? a.c[0].x : a.c[0].y;
    const i32 kb = rule.byX ? b.c[0].x : b.c[0].y;
    return rule.ascending ? ka < kb : ka > kb;
}

i64 Diff(const EDGE_PAIRING &e, i32 i, i32 j) { return Abs64(static_cast<i64>(e.posA[i]) - e.posB[j]); }

// The B index that starts a run with A[i], searching forward from j while the difference
// does not grow; -1 when A[i] has none.
i32 RunStart(const EDGE_PAIRING &e, i32 i, i32 j) {
    if (j >= e.countB) return -1;
    i64 d = Diff(e, i, j);
    if (d > kRunStartLimit) return -1;
    if (d < e.tolerance) return j;
    for (i32 k = j + 1; k < e.countB; ++k) {
        const i64 dk = Diff(e, i, k);
        if (dk > d) return -1;
        if (dk < e.tolerance) return k;
        d = dk;
    }
    return -1;
}

// Appends a kept run; false once an output array is full.
bool KeepRun(EDGE_PAIRING &e, i32 i, i32 j, i32 ie, i32 je) {
    for (i32 t = 0; t < ie - i && e.matchCount < e.capacity; ++t) {
        e.matchA[e.matchCount] = i + t;
        e.matchB[e.matchCount] = j + t;
        ++e.matchCount;
    }
    const i32 last = je < e.countB ? je : e.countB - 1;
    for (i32 k = j; k <= last && e.outCount < e.capacity; ++k) e.outPositions[e.outCount++] = e.posB[k];
    return e.matchCount < e.capacity && e.outCount < e.capacity;
}

}  // namespace

int Geo_PointInQuad(const GEO_POINT *p, const REGION_QUAD *q) {
    if (p == nullptr || q == nullptr) return 0;
    if (!InBoundingBox(*p, *q)) return 0;
    const GEO_POINT *c = q->c;
    const Wide t = SideCross(c[0], c[1], c[1], *p);
    const Wide b = SideCross(c[2], c[3], c[3], *p);
    const Wide l = SideCross(c[0], c[2], c[2], *p);
    const Wide r = SideCross(c[1], c[3], c[3], *p);
    if (t <= 0 && b >= 0 && l >= 0 && r <= 0) return 1;
    if (t >= 0 && b <= 0 && l <= 0 && r >= 0) return 1;
    return 0;
}

int Geo_InRoi(const REGION_QUAD *q, const GEO_POINT *p, i32 useQuad) {
    GEO_POINT point{};
    if (useQuad != 0) {
        if (q == nullptr) return 0;
        if (Geo_IntersectLines(&q->c[0], &q->c[3], &q->c[1], &q->c[2], &point) == 0) return 0;
    } else {
        if (p == nullptr) return 0;
        point = *p;
    }
    return Geo_PointInQuad(&point, &g_state.roiQuad);
}

int Geo_QuadsOverlap(const REGION_QUAD *a, const REGION_QUAD *b) {
    if (a == nullptr || b == nullptr) return 0;
    const GEO_POINT ma = CornerMean(*a);
    if (Geo_PointInQuad(&ma, b) != 0) return 1;
    const GEO_POINT mb = CornerMean(*b);
    return Geo_PointInQuad(&mb, a);
}

int Geo_MidlineHitInQuad(const GEO_POINT *p, const GEO_POINT *q, const REGION_QUAD *quad) {
    if (p == nullptr || q == nullptr || quad == nullptr) return 0;
    const GEO_POINT *c = quad->c;
    const GEO_POINT m1{HalfShift(c[0].x, c[1].x), HalfShift(c[0].y, c[1].y)};
    const GEO_POINT m2{HalfShift(c[2].x, c[3].x), HalfShift(c[2].y, c[3].y)};
    GEO_POINT hit{};
    if (Geo_IntersectLines(p, q, &m1, &m2, &hit) == 0) return 0;
    return Geo_PointInQuad(&hit, quad);
}

i32 Geo_OrderQuadPair(const REGION_QUAD pair[2], i32 status, i32 order[2]) {
    if (status < 2) return status;
    if (pair == nullptr || order == nullptr) return 2;
    const bool aFirst = FirstIsA(pair[0], pair[1]);
    order[0] = aFirst ? 0 : 1;
    order[1] = aFirst ? 1 : 0;
    return 2;
}

void Geo_QuadSideMidpoints(const REGION_QUAD *q, GEO_POINT out[2]) {
    if (q == nullptr || out == nullptr) return;
    const GEO_POINT *c = q->c;
    out[0] = GEO_POINT{HalfShift(c[0].x, c[2].x), HalfShift(c[0].y, c[2].y)};
    out[1] = GEO_POINT{HalfShift(c[1].x, c[3].x), HalfShift(c[1].y, c[3].y)};
}

void Geo_QuadSideMidpointsDiv(const REGION_QUAD *q, GEO_POINT *left, GEO_POINT *right) {
    if (q == nullptr) return;
    const GEO_POINT *c = q->c;
    if (left != nullptr) *left = GEO_POINT{HalfDiv(c[0].x, c[2].x), HalfDiv(c[0].y, c[2].y)};
    if (right != nullptr) *right = GEO_POINT{HalfDiv(c[1].x, c[3].x), HalfDiv(c[1].y, c[3].y)};
}

REGION_QUAD *Geo_QuadScale16(REGION_QUAD *q, i32 up) {
    if (q == nullptr) return q;
    for (GEO_POINT &p : q->c) {
        if (up != 0) {
            p.x = static_cast<i32>(static_cast<u32>(p.x) << 4);
            p.y = static_cast<i32>(static_cast<u32>(p.y) << 4);
        } else {
            p.x >>= 4;
            p.y >>= 4;
        }
    }
    return q;
}

int Geo_AddQuadBox(const REGION_QUAD *q, BOX_LIST *list, u8 grow, i32 margin) {
    if (q == nullptr || list == nullptr) return 0;
    // The list holds two boxes whatever its capacity says.
    const i32 room = list->capacity < 2 ? list->capacity : 2;
    if (list->count < 0 || list->count >= room) return 0;
    const GEO_POINT *c = q->c;
    i64 left = c[0].x, top = c[0].y, right = c[0].x, bottom = c[0].y;
    for (int k = 1; k < 4; ++k) {
        left = c[k].x < left ? c[k].x : left;
        right = c[k].x > right ? c[k].x : right;
        top = c[k].y < top ? c[k].y : top;
        bottom = c[k].y > bottom ? c[k].y : bottom;
    }
    if (grow == 1) {
        const i64 g = 10 * static_cast<i64>(margin);
        left -= g;
        top -= g;
        right += g;
        bottom += g;
    }
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    auto &box = list->box[list->count];
    box.left = Clamp(left, 0, w - 1);
    box.right = Clamp(right, 0, w - 1);
    box.top = Clamp(top, 0, h - 1);
    box.bottom = Clamp(bottom, 0, h - 1);
    ++list->count;
    return 1;
}

void Geo_FitQuadToFrame(REGION_QUAD *q, const REGION_QUAD *reference) {
    if (q == nullptr || reference == nullptr) return;
    GEO_POINT *c = q->c;
    GEO_POINT top[2] = {c[0], c[1]};
    GEO_POINT bottom[2] = {c[2], c[3]};
    Geo_ClipSegment(&top[0], &top[1], g_image.width, g_image.height);
    Geo_ClipSegment(&bottom[0], &bottom[1], g_image.width, g_image.height);
    if (Geo_PointInQuad(&c[0], reference) == 0 || Geo_PointInQuad(&c[2], reference) == 0) {
        FitSide(c[0], c[2], c[1], c[3], top[0], bottom[0]);
    }
    if (Geo_PointInQuad(&c[1], reference) != 0 && Geo_PointInQuad(&c[3], reference) != 0) return;
    FitSide(c[1], c[3], c[0], c[2], top[1], bottom[1]);
}

i32 Geo_PointInConvexPolygon(GEO_POINT p, const GEO_POINT vertices[], i32 n) {
    if (vertices == nullptr || n < 1) return -1;
    Wide s = 0;
    for (i32 i = 1; i + 1 < n; ++i) s += Area2(vertices[0], vertices[i], vertices[i + 1]);
    Wide t = 0;
    int zeros = 0;
    for (i32 i = 0; i < n; ++i) {
        const Wide a = Area2(p, vertices[i], vertices[i + 1 < n ? i + 1 : 0]);
        zeros += a == 0 ? 1 : 0;
        t += a;
    }
    if (t != s) return -1;
    return zeros > 0 ? 1 : 0;
}

void Geo_MatchPositionRuns(EDGE_PAIRING *e) {
    if (e == nullptr || e->countA <= 0 || e->countB <= 0) return;
    e->outCount = 0;
    e->matchCount = 0;
    if (e->posA == nullptr || e->posB == nullptr || e->outPositions == nullptr || e->matchA == nullptr ||
        e->matchB == nullptr || e->capacity <= 0) {
        return;
    }
    i32 i = e->posA[0] < kBorderPosition ? 1 : 0;
    i32 j = e->posB[0] < kBorderPosition ? 1 : 0;
    // Every round moves i forward by at least one.
    while (i < e->countA && j < e->countB) {
        const i32 start = RunStart(*e, i, j);
        if (start < 0) {
            ++i;
            continue;
        }
        j = start;
        i32 ie = i;
        i32 je = j;
        while (ie < e->countA && je < e->countB && Diff(*e, ie, je) <= e->tolerance) {
            ++ie;
            ++je;
        }
        if (ie - i + 1 < e->minRun) {
            // A run always holds its first pair, so the search moves on.
            i = ie;
            j = je;
            continue;
        }
        if (!KeepRun(*e, i, j, ie, je)) return;
        i = ie + 1;
        j = je + 1;
    }
}

void Geo_QuadCentre(const REGION_QUAD *q, GEO_POINT *out) {
    if (q == nullptr || out == nullptr) return;
    *out = CornerMean(*q);
}

i32 Geo_QuadCentreOrientation(const REGION_QUAD *q, GEO_POINT *out) {
    if (q == nullptr) return 0;
    if (out != nullptr) *out = CornerMean(*q);
    const GEO_POINT *c = q->c;
    const i64 dx = Abs64(static_cast<i64>(c[0].x) - c[1].x);
    const i64 dy = Abs64(static_cast<i64>(c[0].y) - c[1].y);
    if (dx < dy) return c[0].y < c[1].y ? 3 : 4;
    return c[0].y < c[2].y ? 1 : 2;
}

i32 Geo_PointInPolygonF(const f32 xs[], const f32 ys[], i32 n, f32 x, f32 y) {
    if (xs == nullptr || ys == nullptr || n < 3) return 0;
    auto area2 = [](f32 ax, f32 ay, f32 bx, f32 by, f32 cx, f32 cy) {
        return std::fabs((bx - ax) * (cy - ay) - (by - ay) * (cx - ax));
    };
    f32 s = 0.0f;
    for (i32 i = 1; i + 1 < n; ++i) s += area2(xs[0], ys[0], xs[i], ys[i], xs[i + 1], ys[i + 1]);
    f32 t = 0.0f;
    for (i32 i = 0; i < n; ++i) {
        const i32 k = i + 1 < n ? i + 1 : 0;
        t += area2(x, y, xs[i], ys[i], xs[k], ys[k]);
    }
    if (!(s > 0.0f)) return 0;
    return std::fabs(std::trunc(t - s)) / s <= 0.001f ? 1 : 0;
}

}  // namespace vexo

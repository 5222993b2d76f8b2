// Lines through points, their intersections and distances from them.
#include <cmath>

#include "toolkit/geometry.h"

namespace vexo {

namespace {

constexpr f64 kParallelLimit = 0.00001;
constexpr f64 kFlatSlope = 0.00001;

// trunc(v + 0.5) saturated to 32 bits.
i32 RoundHalfUp(f64 v) { return Num_SatTruncI32(v + 0.5); }

void SlopeLineOf(GEO_POINT p, GEO_POINT q, f64 *slope, f64 *intercept) {
    if (p.x == q.x) {
        *slope = kVerticalSlope;
        *intercept = static_cast<f64>(p.x);
        return;
    }
    const f64 den = static_cast<f64>(static_cast<i64>(p.x) - q.x);
    *slope = static_cast<f64>(static_cast<i64>(p.y) - q.y) / den;
    *intercept = static_cast<f64>(static_cast<i64>(p.x) * q.y - static_cast<i64>(q.x) * p.y) / den;
}

// Determinant and numerators of the intersection of p1-p2 with p3-p4: x = nx / den,
// y = ny / den. Answers false when a product leaves 64 bits; den = 0 means parallel.
struct LineCross {
    i64 nx, ny, den;
};

bool LineCrossOf(const GEO_POINT *p1, const GEO_POINT *p2, const GEO_POINT *p3, const GEO_POINT *p4,
                 LineCross *out) {
    const i64 a = static_cast<i64>(p3->x) - p4->x;
    const i64 b = static_cast<i64>(p2->y) - p1->y;
    const i64 c = static_cast<i64>(p4->y) - p3->y;
    const i64 e = static_cast<i64>(p1->x) - p2->x;
    bool ok = true;
    out->den = Chk_Sub(Chk_Mul(a, b, &ok), Chk_Mul(c, e, &ok), &ok);
    if (!ok) return false;
    if (out->den == 0) return true;
    const i64 r1 = Chk_Add(Chk_Mul(p1->y, e, &ok), Chk_Mul(b, p1->x, &ok), &ok);
    const i64 r2 = Chk_Add(Chk_Mul(p3->y, a, &ok), Chk_Mul(c, p3->x, &ok), &ok);
    out->nx = Chk_Sub(Chk_Mul(a, r1, &ok), Chk_Mul(e, r2, &ok), &ok);
    out->ny = Chk_Sub(Chk_Mul(b, r2, &ok), Chk_Mul(c, r1, &ok), &ok);
    return ok;
}

bool InRange(i32 v, i32 end1, i32 end2) {
    return end1 <= end2 ? (v >= end1 && v <= end2) : (v >= end2 && v <= end1);
}

}  // namespace

// ---- LINE_FIT form

void Geo_LineThroughPoints(const GEO_POINT *p, const GEO_POINT *q, LINE_FIT *out) {
    if (p == nullptr || q == nullptr || out == nullptr) return;
    const i64 dx = static_cast<i64>(q->x) - p->x;
    const i64 dy = static_cast<i64>(q->y) - p->y;
    const i32 alongX = (dy < 0 ? -dy : dy) < (dx < 0 ? -dx : dx) ? 1 : 0;
    const i32 u[2] = {alongX ? p->x : p->y, alongX ? q->x : q->y};
    const i32 v[2] = {alongX ? p->y : p->x, alongX ? q->y : q->x};
    f32 result[2];
    STRAIGHT_FIT fit{v, u, 2, 1, result, {}};
    Geo_FitLine(&fit);  // a failed fit leaves the reset result {0, 0}
    out->slope = static_cast<f64>(result[0]);
    out->offset = static_cast<f64>(result[1]);
    out->alongX = alongX;
}

int Geo_FitLineToPointList(const POINT_NODE *first, i32 n, LINE_FIT *out, i32 alongX) {
    if (out == nullptr || n < 2) return 0;
    const i32 along = alongX == 1 ? 1 : 0;
    LINE_SUMS sums;
    const POINT_NODE *node = first;
    // n bounds the walk, so a list that loops back on itself cannot hold us.
    for (i32 i = 0; i < n; ++i) {
        if (node == nullptr) return 0;
        const i32 u = along ? node->x : node->y;
        const i32 v = along ? node->y : node->x;
        Geo_LineFitAdd(&u, &v, 1, sums.matrix, sums.right, i == 0 ? 1 : 0);
        node = node->next;
    }
    f32 result[2];
    if (!Geo_LineFitSolve(sums.matrix, sums.right, result)) return 0;
    out->slope = static_cast<f64>(result[0]);
    out->offset = static_cast<f64>(result[1]);
    out->alongX = along;
    return 1;
}

void Geo_ParallelLineThrough(const LINE_FIT *line, const GEO_POINT *p, LINE_FIT *out) {
    if (line == nullptr || p == nullptr || out == nullptr) return;
    const f64 slope = line->slope;
    const i32 alongX = line->alongX != 0 ? 1 : 0;
    const f64 x = static_cast<f64>(p->x);
    const f64 y = static_cast<f64>(p->y);
    out->slope = slope;
    out->alongX = alongX;
    out->offset = alongX ? y - slope * x : x - slope * y;
}

int Geo_IntersectLineFits(const LINE_FIT *a, const LINE_FIT *b, GEO_POINT *out) {
    if (a == nullptr || b == nullptr || out == nullptr) return 0;
    const f64 s1 = a->slope;
    const f64 b1 = a->offset;
    const f64 s2 = b->slope;
    const f64 b2 = b->offset;
    const bool aAlongX = a->alongX != 0;
    // w: the coordinate line a is written over; z: the other one.
    f64 w = 0.0;
    f64 bias = 0.4;
    if (aAlongX == (b->alongX != 0)) {
        const f64 d = s1 - s2;
        if (!(std::fabs(d) >= kParallelLimit)) return 0;  // NaN counts as parallel
        w = (b2 - b1) / d;
        if (aAlongX) bias = 0.0;
    } else {
        const f64 d = 1.0 - s1 * s2;
        if (!(std::fabs(d) >= kParallelLimit)) return 0;
        w = (s2 * b1 + b2) / d;
    }
    const f64 z = s1 * w + b1;
    const f64 x = aAlongX ? w : z;
    const f64 y = aAlongX ? z : w;
    i32 ix = 0;
    i32 iy = 0;
    if (!Num_TruncToI32(x + bias, &ix) || !Num_TruncToI32(y + bias, &iy)) return 0;
    out->x = ix;
    out->y = iy;
    return 1;
}

// ---- SLOPE_LINE form

void Geo_SlopeLineFromPoints(GEO_POINT p, GEO_POINT q, SLOPE_LINE *out) {
    if (out == nullptr) return;
    SlopeLineOf(p, q, &out->slope, &out->intercept);
}

void Geo_SlopeAndInterceptFromPoints(GEO_POINT p, GEO_POINT q, SLOPE_LINE *out, f64 *intercept) {
    if (out == nullptr || intercept == nullptr) return;
    SlopeLineOf(p, q, &out->slope, intercept);
}

int Geo_IntersectSlopeLines(GEO_POINT *out, f64 slope1, f64 intercept1, f64 slope2, f64 intercept2) {
    if (out == nullptr) return 0;
    if (!(std::fabs(slope1 - slope2) >= kParallelLimit)) return 0;
    i32 x = 0;
    i32 y = 0;
    if (slope1 == kVerticalSlope || slope2 == kVerticalSlope) {
        const bool firstVertical = slope1 == kVerticalSlope;
        const f64 lineX = firstVertical ? intercept1 : intercept2;
        const f64 slope = firstVertical ? slope2 : slope1;
        const f64 intercept = firstVertical ? intercept2 : intercept1;
        if (!Num_TruncToI32(lineX + 0.5, &x)) return 0;
        if (!Num_TruncToI32(static_cast<f64>(x) * slope + intercept + 0.5, &y)) return 0;
    } else {
        const f64 d = slope2 - slope1;
        if (!Num_TruncToI32((intercept1 - intercept2) / d + 0.5, &x)) return 0;
        if (!Num_TruncToI32((intercept1 * slope2 - slope1 * intercept2) / d + 0.5, &y)) return 0;
    }
    out->x = x;
    out->y = y;
    return 1;
}

i32 Geo_DistanceToSlopeLine(GEO_POINT p, f64 slope, f64 intercept) {
    const f64 x = static_cast<f64>(p.x);
    const f64 y = static_cast<f64>(p.y);
    if (slope == kVerticalSlope) return Num_SatTruncI32(std::fabs(std::trunc(x - intercept)));
    if (std::fabs(slope - kFlatSlope) <= kFlatSlope) return Num_SatTruncI32(std::fabs(std::trunc(y - intercept)));
    return Num_SatTruncI32(std::fabs(y - slope * x - intercept) / std::sqrt(slope * slope + 1.0));
}

void Geo_IntersectWithSlopeLine(const GEO_POINT *p1, const GEO_POINT *p2, const SLOPE_LINE *line, GEO_POINT *out) {
    if (p1 == nullptr || p2 == nullptr || line == nullptr || out == nullptr) return;
    const i32 x1 = p1->x;
    const i32 y1 = p1->y;
    const f64 fx1 = static_cast<f64>(x1);
    const f64 fy1 = static_cast<f64>(y1);
    const i64 idx = static_cast<i64>(x1) - p2->x;
    const i64 idy = static_cast<i64>(y1) - p2->y;
    const f64 dx = static_cast<f64>(idx);
    const f64 dy = static_cast<f64>(idy);
    const f64 s = line->slope;
    const f64 k = line->intercept;
    i32 ox = x1;  // parallel: p1
    i32 oy = y1;
    if (std::fabs(s) >= kVerticalSlope) {
        if (idy == 0) {
            ox = Num_SatTruncI32(k);
        } else if (idx != 0) {
            ox = Num_SatTruncI32(k);
            oy = RoundHalfUp(fy1 + dy * (k - fx1) / dx);
        }
    } else if (std::fabs(s) <= kFlatSlope) {
        if (idy != 0) {
            oy = Num_SatTruncI32(k);
            if (idx != 0) ox = RoundHalfUp(fx1 + dx * (k - fy1) / dy);
        }
    } else if (idx == 0) {
        oy = RoundHalfUp(s * fx1 + k);
    } else if (idy == 0) {
        ox = RoundHalfUp((fy1 - k) / s);
    } else {
        const f64 g = dx * fy1 - fx1 * dy;
        const f64 m = s * dx - dy;
        if (m != 0.0) {  // m = 0: the segment runs parallel to the line
            ox = RoundHalfUp((g - dx * k) / m);
            oy = RoundHalfUp((s * g - dy * k) / m);
        }
    }
    out->x = ox;
    out->y = oy;
}

// ---- Lines through two points

int Geo_IntersectLines64(const GEO_POINT *p1, const GEO_POINT *p2, const GEO_POINT *p3, const GEO_POINT *p4,
                         GEO_POINT *out) {
    if (p1 == nullptr || p2 == nullptr || p3 == nullptr || p4 == nullptr || out == nullptr) return 0;
    LineCross lc;
    if (!LineCrossOf(p1, p2, p3, p4, &lc) || lc.den == 0) return 0;
    bool ok = true;
    const i64 x = Chk_Div(lc.nx, lc.den, &ok);
    const i64 y = Chk_Div(lc.ny, lc.den, &ok);
    if (!ok || !Num_FitsI32(x) || !Num_FitsI32(y)) return 0;
    out->x = static_cast<i32>(x);
    out->y = static_cast<i32>(y);
    return 1;
}

// The 64-bit form serves both: it equals the 32-bit computation wherever that one does
// not overflow, and it stays defined where it would.
int Geo_IntersectLines(const GEO_POINT *p1, const GEO_POINT *p2, const GEO_POINT *p3, const GEO_POINT *p4,
                       GEO_POINT *out) {
    return Geo_IntersectLines64(p1, p2, p3, p4, out);
}

int Geo_IntersectSegments(const GEO_POINT *p1, const GEO_POINT *p2, const GEO_POINT *p3, const GEO_POINT *p4,
                          GEO_POINT *out) {
    if (p1 == nullptr || p2 == nullptr || p3 == nullptr || p4 == nullptr || out == nullptr) return 0;
    LineCross lc;
    if (!LineCrossOf(p1, p2, p3, p4, &lc)) return 0;
    if (lc.den == 0) return -1;
    bool ok = true;
    const i64 den2 = Chk_Mul(lc.den, 2, &ok);
    const i64 x = Chk_Div(Chk_Add(Chk_Mul(lc.nx, 2, &ok), lc.den, &ok), den2, &ok);
    const i64 y = Chk_Div(Chk_Add(Chk_Mul(lc.ny, 2, &ok), lc.den, &ok), den2, &ok);
    if (!ok || !Num_FitsI32(x) || !Num_FitsI32(y)) return 0;
    out->x = static_cast<i32>(x);
    out->y = static_cast<i32>(y);
    const bool inside = InRange(out->x, p1->x, p2->x) && InRange(out->x, p3->x, p4->x) &&
                        InRange(out->y, p1->y, p2->y) && InRange(out->y, p3->y, p4->y);
    return inside ? 1 : 0;
}

i32 Geo_DistanceToLine(const GEO_POINT *p, const GEO_POINT *a, const GEO_POINT *b) {
    if (p == nullptr || a == nullptr || b == nullptr) return 0;
    return Num_SatTruncI32(Geo_DistanceToLineD(*p, *a, *b));
}

f64 Geo_DistanceToLineD(GEO_POINT p, GEO_POINT a, GEO_POINT b) {
    const f64 len = std::sqrt(Num_SquaredLength(static_cast<i64>(a.x) - b.x, static_cast<i64>(a.y) - b.y));
    if (len < 0.000001) return std::sqrt(Num_SquaredLength(static_cast<i64>(p.x) - a.x, static_cast<i64>(p.y) - a.y));
    const f64 cross = static_cast<f64>(static_cast<i64>(a.y) - b.y) * static_cast<f64>(static_cast<i64>(b.x) - p.x) +
                      static_cast<f64>(static_cast<i64>(a.x) - b.x) * static_cast<f64>(static_cast<i64>(p.y) - b.y);
    return std::fabs(cross) / len;
}

int Geo_IntersectLines16(const SEGMENT16 *s, const SEGMENT16 *t, GEO_POINT *out) {
    if (s == nullptr || t == nullptr) return 0;
    const GEO_POINT p1{s->x0, s->y0};
    const GEO_POINT p2{s->x1, s->y1};
    const GEO_POINT p3{t->x0, t->y0};
    const GEO_POINT p4{t->x1, t->y1};
    return Geo_IntersectLines64(&p1, &p2, &p3, &p4, out);
}

}  // namespace vexo

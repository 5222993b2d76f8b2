// Point constructions, distances, turn tests and small sorts.
#include <cmath>

#include "toolkit/geometry_points.h"

namespace vexo {

namespace {

constexpr f64 kDegenerateSide = 0.0001;
constexpr f64 kZeroWeight = 0.0001;

// trunc(start + (d·c)·inv + 0.5) with the multiply-add fused. d·c is exact in double
// wherever the 32-bit product is.
i32 OffsetCoord(i32 start, i32 d, i64 c, f64 inv) {
    const f64 dc = static_cast<f64>(d) * static_cast<f64>(c);
    return Num_SatTruncI32(std::fma(dc, inv, static_cast<f64>(start)) + 0.5);
}

// out = start + d·(cx, cy)/|(cx, cy)|; start itself for a zero vector.
void OffsetBy(const GEO_POINT &start, i32 d, i64 cx, i64 cy, GEO_POINT *out) {
    if (cx == 0 && cy == 0) {
        *out = start;
        return;
    }
    const f64 inv = 1.0 / std::sqrt(Num_SquaredLength(cx, cy));
    const i32 x = OffsetCoord(start.x, d, cx, inv);
    const i32 y = OffsetCoord(start.y, d, cy, inv);
    out->x = x;
    out->y = y;
}

// ux·vy - uy·vx, exact when it fits 64 bits, else in double.
f64 CrossWide(i64 ux, i64 uy, i64 vx, i64 vy) {
    bool ok = true;
    const i64 c = Chk_Sub(Chk_Mul(ux, vy, &ok), Chk_Mul(uy, vx, &ok), &ok);
    if (ok) return static_cast<f64>(c);
    return static_cast<f64>(ux) * static_cast<f64>(vy) - static_cast<f64>(uy) * static_cast<f64>(vx);
}

void SetPoint(GEO_POINT *out, i64 x, i64 y) {
    out->x = Num_ClampI64(x);
    out->y = Num_ClampI64(y);
}

}  // namespace

// ---- Point constructions

void Geo_RotatePlus90(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out) {
    if (p == nullptr || q == nullptr || out == nullptr) return;
    const i64 px = p->x;
    const i64 py = p->y;
    SetPoint(out, px - (q->y - py), py + (q->x - px));
}

void Geo_RotateMinus90(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out) {
    if (p == nullptr || q == nullptr || out == nullptr) return;
    const i64 px = p->x;
    const i64 py = p->y;
    SetPoint(out, px + (q->y - py), py - (q->x - px));
}

void Geo_ReflectPoint(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out) {
    if (p == nullptr || q == nullptr || out == nullptr) return;
    SetPoint(out, 2 * static_cast<i64>(p->x) - q->x, 2 * static_cast<i64>(p->y) - q->y);
}

void Geo_Midpoint(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out) {
    if (p == nullptr || q == nullptr || out == nullptr) return;
    SetPoint(out, (static_cast<i64>(p->x) + q->x) >> 1, (static_cast<i64>(p->y) + q->y) >> 1);
}

void Geo_OffsetPerpendicular(const GEO_POINT *p, const GEO_POINT *q, const GEO_POINT *base, i32 d, GEO_POINT *out) {
    if (p == nullptr || q == nullptr || base == nullptr || out == nullptr) return;
    const i64 dx = static_cast<i64>(p->x) - q->x;
    const i64 dy = static_cast<i64>(p->y) - q->y;
    OffsetBy(*base, d, -dy, dx, out);
}

void Geo_ShiftAlong(const GEO_POINT *p, const GEO_POINT *q, const GEO_POINT *base, i32 d, GEO_POINT *out) {
    if (p == nullptr || q == nullptr || base == nullptr || out == nullptr) return;
    OffsetBy(*base, d, static_cast<i64>(q->x) - p->x, static_cast<i64>(q->y) - p->y, out);
}

void Geo_StepTowardsRound(const GEO_POINT *p, const GEO_POINT *q, i32 d, GEO_POINT *out) {
    if (p == nullptr || q == nullptr || out == nullptr) return;
    OffsetBy(*p, d, static_cast<i64>(q->x) - p->x, static_cast<i64>(q->y) - p->y, out);
}

void Geo_OffsetPerpendicularAtEnd(const GEO_POINT *p, const GEO_POINT *q, i32 d, GEO_POINT *out) {
    if (p == nullptr || q == nullptr || out == nullptr) return;
    const i64 dx = static_cast<i64>(p->x) - q->x;
    const i64 dy = static_cast<i64>(p->y) - q->y;
    if (dx == 0 && dy == 0) {
        *out = *p;
        return;
    }
    OffsetBy(*q, d, -dy, dx, out);
}

void Geo_DiagonalApexPlus90(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out) {
    if (p == nullptr || q == nullptr || out == nullptr) return;
    const i64 px = p->x, py = p->y, qx = q->x, qy = q->y;
    SetPoint(out, (px + qx - (qy - py)) / 2, (py + qy + (qx - px)) / 2);
}

void Geo_DiagonalApexMinus90(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out) {
    if (p == nullptr || q == nullptr || out == nullptr) return;
    const i64 px = p->x, py = p->y, qx = q->x, qy = q->y;
    SetPoint(out, (px + qx + (qy - py)) / 2, (py + qy - (qx - px)) / 2);
}

// ---- Measures and tests

f64 Geo_Distance(i32 x1, i32 y1, i32 x2, i32 y2) {
    return std::sqrt(Num_SquaredLength(static_cast<i64>(x1) - x2, static_cast<i64>(y1) - y2));
}

i32 Geo_DistanceInt(i32 x1, i32 y1, i32 x2, i32 y2) { return Num_SatTruncI32(Geo_Distance(x1, y1, x2, y2)); }

f64 Geo_CosAngleAt(const GEO_POINT *apex, const GEO_POINT *q, const GEO_POINT *r) {
    if (apex == nullptr || q == nullptr || r == nullptr) return 0.0;
    const f64 a = Num_SquaredLength(static_cast<i64>(q->x) - apex->x, static_cast<i64>(q->y) - apex->y);
    const f64 b = Num_SquaredLength(static_cast<i64>(r->x) - apex->x, static_cast<i64>(r->y) - apex->y);
    const f64 c = Num_SquaredLength(static_cast<i64>(r->x) - q->x, static_cast<i64>(r->y) - q->y);
    const f64 m = 2.0 * std::sqrt(a) * std::sqrt(b);
    if (m >= -kDegenerateSide && m <= kDegenerateSide) return -1.0;
    return (a + b - c) / m;
}

int Geo_IsLeftTurn(const GEO_POINT *p, const GEO_POINT *o, const GEO_POINT *q) {
    if (p == nullptr || o == nullptr || q == nullptr) return 0;
    const f64 cross = CrossWide(static_cast<i64>(p->x) - q->x, static_cast<i64>(p->y) - q->y,
                                static_cast<i64>(o->x) - q->x, static_cast<i64>(o->y) - q->y);
    return cross > 0.0 ? 1 : 0;
}

i32 Geo_TurnCross(const GEO_POINT *a, const GEO_POINT *p, const GEO_POINT *q) {
    if (a == nullptr || p == nullptr || q == nullptr) return 0;
    return Num_SatTruncI32(CrossWide(static_cast<i64>(p->x) - a->x, static_cast<i64>(p->y) - a->y,
                                     static_cast<i64>(q->x) - p->x, static_cast<i64>(q->y) - p->y));
}

// ---- Sorting and comparing

void Geo_ShellSortBytesDesc(u8 *data, i32 n) {
    if (data == nullptr || n < 2) return;
    for (i32 gap = n / 2; gap > 0; gap /= 2) {
        for (i32 i = gap; i < n; ++i) {
            const u8 v = data[i];
            i32 j = i;
            for (; j >= gap && data[j - gap] < v; j -= gap) data[j] = data[j - gap];
            data[j] = v;
        }
    }
}

void Geo_ShellSortPointsDesc(GEO_POINT *pts, i32 n) {
    if (pts == nullptr || n < 2) return;
    for (i32 gap = n / 2; gap > 0; gap /= 2) {
        for (i32 i = gap; i < n; ++i) {
            const GEO_POINT v = pts[i];
            i32 j = i;
            for (; j >= gap && pts[j - gap].x < v.x; j -= gap) pts[j] = pts[j - gap];
            pts[j] = v;
        }
    }
}

void Geo_PartialSortPairs(i32 *keys, i32 count, i32 n, i32 *values, i32 largestFirst) {
    if (keys == nullptr || count < 2) return;
    const i32 passes = n < count ? n : count;
    for (i32 i = 0; i < passes; ++i) {
        for (i32 j = count - 1; j > i; --j) {
            const bool exchange = largestFirst != 0 ? keys[j] > keys[j - 1] : keys[j] < keys[j - 1];
            if (!exchange) continue;
            const i32 k = keys[j];
            keys[j] = keys[j - 1];
            keys[j - 1] = k;
            if (values != nullptr) {
                const i32 v = values[j];
                values[j] = values[j - 1];
                values[j - 1] = v;
            }
        }
    }
}

int Geo_BytesEqual(const u8 *a, i32 lenA, const u8 *b, i32 lenB) {
    if (lenA != lenB) return 0;
    if (lenA <= 0) return 1;
    if (a == nullptr || b == nullptr) return 0;
    for (i32 i = 0; i < lenA; ++i) {
        if (a[i] != b[i]) return 0;
    }
    return 1;
}

// ---- Vector forms

void Geo_VecRotatePlus90(const GEO_POINT *src, GEO_POINT *dst) {
    if (src == nullptr || dst == nullptr) return;
    const i64 x = src->x, y = src->y;
    SetPoint(dst, -y, x);
}

void Geo_VecRotateMinus90(const GEO_POINT *src, GEO_POINT *dst) {
    if (src == nullptr || dst == nullptr) return;
    const i64 x = src->x, y = src->y;
    SetPoint(dst, y, -x);
}

void Geo_VecNegate(const GEO_POINT *src, GEO_POINT *dst) {
    if (src == nullptr || dst == nullptr) return;
    const i64 x = src->x, y = src->y;
    SetPoint(dst, -x, -y);
}

void Geo_VecRotate45Half(const GEO_POINT *src, GEO_POINT *dst) {
    if (src == nullptr || dst == nullptr) return;
    const i64 x = src->x, y = src->y;
    SetPoint(dst, (x - y) / 2, (x + y) / 2);
}

void Geo_VecRotateMinus45Half(const GEO_POINT *src, GEO_POINT *dst) {
    if (src == nullptr || dst == nullptr) return;
    const i64 x = src->x, y = src->y;
    SetPoint(dst, (x + y) / 2, (y - x) / 2);
}

i32 Geo_VecLength(i32 dx, i32 dy) { return Num_SatTruncI32(std::sqrt(Num_SquaredLength(dx, dy))); }

i32 Geo_TriangleArea2(GEO_POINT a, GEO_POINT b, GEO_POINT c) {
    const f64 cross = CrossWide(static_cast<i64>(b.x) - a.x, static_cast<i64>(b.y) - a.y, static_cast<i64>(c.x) - a.x,
                                static_cast<i64>(c.y) - a.y);
    return Num_SatTruncI32(std::fabs(cross));
}

f32 Geo_TriangleArea2F(GEO_POINT_F a, GEO_POINT_F b, GEO_POINT_F c) {
    const f32 cross = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    return std::fabs(cross);
}

// ---- Small accumulators

int Geo_WeightedMeanAdd(WEIGHTED_MEAN *wm) {
    if (wm == nullptr) return 0;
    if (wm->reset != 0) {
        wm->sumWeightedPosition = 0.0;
        wm->sumWeights = 0.0;
    }
    if (wm->count <= 0) return 1;
    if (wm->weights == nullptr || wm->positions == nullptr) return 0;
    for (i32 i = 0; i < wm->count; ++i) {
        const f64 w = static_cast<f64>(wm->weights[i]);
        wm->sumWeights += w;
        wm->sumWeightedPosition = std::fma(wm->positions[i], w, wm->sumWeightedPosition);
    }
    return 1;
}

int Geo_WeightedMeanSolve(WEIGHTED_MEAN *wm) {
    if (wm == nullptr || wm->result == nullptr) return 0;
    const f64 sw = wm->sumWeights;
    if (sw >= -kZeroWeight && sw <= kZeroWeight) {
        wm->result->mean = 0.0;
        wm->result->totalWeight = 0;
        return 1;
    }
    wm->result->mean = wm->sumWeightedPosition / sw;
    wm->result->totalWeight = Num_SatTruncI32(sw);
    return 1;
}

int Geo_OriginFitAdd(const f64 *u, const f64 *v, i32 count, f64 *sumUU, f64 *sumUV, i32 reset) {
    if (sumUU == nullptr || sumUV == nullptr) return 0;
    if (reset != 0) {
        *sumUU = 0.0;
        *sumUV = 0.0;
    }
    if (count <= 0) return 1;
    if (u == nullptr || v == nullptr) return 0;
    for (i32 i = 0; i < count; ++i) {
        *sumUU += u[i] * u[i];
        *sumUV += u[i] * v[i];
    }
    return 1;
}

int Geo_PlaneFitAdd(const f64 *x, const f64 *y, const f64 *z, i32 count, f64 matrix[4], f64 right[2], i32 reset) {
    if (matrix == nullptr || right == nullptr) return 0;
    if (reset != 0) {
        for (i32 i = 0; i < 4; ++i) matrix[i] = 0.0;
        right[0] = 0.0;
        right[1] = 0.0;
    }
    if (count <= 0) return 1;
    if (x == nullptr || y == nullptr || z == nullptr) return 0;
    for (i32 i = 0; i < count; ++i) {
        matrix[0] += x[i] * x[i];
        matrix[1] += x[i] * y[i];
        matrix[3] += y[i] * y[i];
        right[0] += x[i] * z[i];
        right[1] += y[i] * z[i];
    }
    matrix[2] = matrix[1];
    return 1;
}

}  // namespace vexo

// Point constructions (quarter turns, reflections, offsets by a distance), distances, the
// cosine at a corner, turn tests, and the small sorts and comparisons their callers use.
// Pure functions; none allocates. Unless a routine says otherwise its inputs are read
// before anything is written, and integer results saturate to the 32-bit range where the
// exact value does not fit.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

struct GEO_POINT_F {
    f32 x;
    f32 y;
};

struct WEIGHTED_MEAN_RESULT {
    f64 mean;
    i32 totalWeight;
};

struct WEIGHTED_MEAN {
    const i32 *weights;
    const f64 *positions;
    i32 count;
    i32 reset;
    WEIGHTED_MEAN_RESULT *result;
    f64 sumWeightedPosition;
    f64 sumWeights;
};

// ---- Point constructions. R(dx, dy) = (-dy, dx): with y downwards a clockwise quarter turn
// on screen. Missing pointers leave out untouched.

// out = p + R(q - p).
void Geo_RotatePlus90(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out);
// out = p - R(q - p).
void Geo_RotateMinus90(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out);
// out = 2·p - q: q reflected through p.
void Geo_ReflectPoint(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out);
// out = ((p.x + q.x) >> 1, (p.y + q.y) >> 1), arithmetic shifts (so -1 and 0 give -1).
void Geo_Midpoint(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out);

// The offsets below round each coordinate as trunc(start + (d·c)·(1/|v|) + 0.5), with the
// multiply-add fused in double. A zero vector v gives the start point unchanged.

// out = base + d·R(p - q)/|p - q|.
void Geo_OffsetPerpendicular(const GEO_POINT *p, const GEO_POINT *q, const GEO_POINT *base, i32 d, GEO_POINT *out);
// out = base + d·(q - p)/|q - p|.
void Geo_ShiftAlong(const GEO_POINT *p, const GEO_POINT *q, const GEO_POINT *base, i32 d, GEO_POINT *out);
// out = p + d·(q - p)/|q - p|.
void Geo_StepTowardsRound(const GEO_POINT *p, const GEO_POINT *q, i32 d, GEO_POINT *out);
// out = q + d·R(p - q)/|p - q|; p when p == q.
void Geo_OffsetPerpendicularAtEnd(const GEO_POINT *p, const GEO_POINT *q, i32 d, GEO_POINT *out);
// Third corner of the square with diagonal p-q: ((p.x + q.x - (q.y - p.y))/2,
// (p.y + q.y + (q.x - p.x))/2), halves truncated toward zero.
void Geo_DiagonalApexPlus90(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out);
// Fourth corner: ((p.x + q.x + (q.y - p.y))/2, (p.y + q.y - (q.x - p.x))/2).
void Geo_DiagonalApexMinus90(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out);

// ---- Measures and tests.

// sqrt((x1 - x2)² + (y1 - y2)²).
f64 Geo_Distance(i32 x1, i32 y1, i32 x2, i32 y2);
// The same, truncated.
i32 Geo_DistanceInt(i32 x1, i32 y1, i32 x2, i32 y2);
// Cosine of the angle at apex between apex→q and apex→r; -1 when a side is (nearly) of
// zero length; 0 for a missing point.
f64 Geo_CosAngleAt(const GEO_POINT *apex, const GEO_POINT *q, const GEO_POINT *r);
// 1 when cross(p - q, o - q) > 0, else 0 (also for a missing point).
int Geo_IsLeftTurn(const GEO_POINT *p, const GEO_POINT *o, const GEO_POINT *q);
// cross(p - a, q - p).
i32 Geo_TurnCross(const GEO_POINT *a, const GEO_POINT *p, const GEO_POINT *q);

// ---- Sorting and comparing. Nothing happens for a missing array or n < 2.

// Shell sort, gaps n/2, n/4, ... 1, largest first; equal bytes keep their order within a pass.
void Geo_ShellSortBytesDesc(u8 *data, i32 n);
// The same on points by x, largest first.
void Geo_ShellSortPointsDesc(GEO_POINT *pts, i32 n);
// n bubble passes from the end: the first min(n, count) keys become the largest (or
// smallest, largestFirst 0) in order, ties in their original order; values (may be
// nullptr) move with their keys.
void Geo_PartialSortPairs(i32 *keys, i32 count, i32 n, i32 *values, i32 largestFirst);
// 1 when lenA == lenB and the bytes agree (lengths <= 0 need no bytes), else 0.
int Geo_BytesEqual(const u8 *a, i32 lenA, const u8 *b, i32 lenB);

// ---- Vector forms, from src to dst (dst may be src); halves truncate toward zero.

void Geo_VecRotatePlus90(const GEO_POINT *src, GEO_POINT *dst);       // (x, y) -> (-y, x)
void Geo_VecRotateMinus90(const GEO_POINT *src, GEO_POINT *dst);      // (x, y) -> (y, -x)
void Geo_VecNegate(const GEO_POINT *src, GEO_POINT *dst);             // (x, y) -> (-x, -y)
void Geo_VecRotate45Half(const GEO_POINT *src, GEO_POINT *dst);       // ((x - y)/2, (x + y)/2)
void Geo_VecRotateMinus45Half(const GEO_POINT *src, GEO_POINT *dst);  // ((x + y)/2, (y - x)/2)
// trunc(sqrt(dx² + dy²)).
i32 Geo_VecLength(i32 dx, i32 dy);
// |cross(b - a, c - a)|: twice the triangle's area.
i32 Geo_TriangleArea2(GEO_POINT a, GEO_POINT b, GEO_POINT c);
f32 Geo_TriangleArea2F(GEO_POINT_F a, GEO_POINT_F b, GEO_POINT_F c);

// ---- Small accumulators in double.

// Adds count (weight, position) entries (reset zeroes the sums first); 1, or 0 for a
// missing record or array.
int Geo_WeightedMeanAdd(WEIGHTED_MEAN *wm);
// result = {Σw·p / Σw, trunc(Σw)}, or {0, 0} when |Σw| <= 0.0001; 1, or 0 for a missing
// record or result.
int Geo_WeightedMeanSolve(WEIGHTED_MEAN *wm);
// Σu² and Σuv of a line through the origin; 1, or 0 for a missing pointer.
int Geo_OriginFitAdd(const f64 *u, const f64 *v, i32 count, f64 *sumUU, f64 *sumUV, i32 reset);
// matrix {Σx², Σxy, Σxy, Σy²}, right {Σxz, Σyz} of a plane z = a·x + b·y; 1, or 0 for a
// missing pointer.
int Geo_PlaneFitAdd(const f64 *x, const f64 *y, const f64 *z, i32 count, f64 matrix[4], f64 right[2], i32 reset);

}  // namespace vexo

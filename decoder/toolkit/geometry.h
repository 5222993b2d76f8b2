// Plane geometry of lines: points, three line forms, least-squares fits of straight lines
// and parabolas, a dense linear solver, intersections and distances. Every routine is a
// pure function of its arguments; none keeps state or allocates.
//
// Coordinates are image coordinates (x right, y down), in whole or 1/16 pixels. Each
// routine states how it rounds: callers compare the results with thresholds tuned to
// that rounding. Where a value cannot be represented in the integer it becomes (a
// degenerate fit, nearly parallel lines), a routine with a failure answer fails and a
// routine without one saturates to the 32-bit range (NaN gives 0).
#pragma once

#include "core/types.h"
#include "toolkit/geometry_numeric.h"

namespace vexo {

using GEO_POINT = POINT_I32;

// One point of a singly linked list; callers usually lay the nodes out in an array.
struct POINT_NODE {
    i32 x;
    i32 y;
    POINT_NODE *next;
};

// alongX 1: y = slope·x + offset (closer to horizontal); 0: x = slope·y + offset.
struct LINE_FIT {
    f64 slope;
    f64 offset;
    i32 alongX;
};

// y = slope·x + intercept; a slope of exactly kVerticalSlope marks the vertical line
// x = intercept.
struct SLOPE_LINE {
    f64 slope;
    f64 intercept;
};
inline constexpr f64 kVerticalSlope = 573.0;

// Normal equations of a straight-line fit v = slope·u + offset, in single precision.
struct LINE_SUMS {
    f32 matrix[4];  // sumUU, sumU, sumU (the symmetric element), n
    f32 right[2];   // sumUV, sumV
};

// Normal equations of a parabola fit v = a·t² + b·t + c, in double precision.
struct QUADRATIC_SUMS {
    f64 matrix[3][3];  // {Σt⁴, Σt³, Σt²; Σt³, Σt², Σt; Σt², Σt, n}
    f64 right[3];      // {Σt²v, Σtv, Σv}
};

struct STRAIGHT_FIT {
    const i32 *v;  // dependent values
    const i32 *u;  // independent values
    i32 count;
    i32 reset;    // non-zero: start from empty sums
    f32 *result;  // slope, offset
    LINE_SUMS sums;
};

struct QUADRATIC_FIT {
    const i32 *v;  // dependent values
    const i32 *t;  // independent values
    i32 count;
    i32 reset;
    f64 *result;  // a, b, c
    QUADRATIC_SUMS sums;
};

// A segment of 16-bit end points.
struct SEGMENT16 {
    i16 x0;
    i16 y0;
    i16 x1;
    i16 y1;
};

// ---- Straight-line sums. The adders answer 1, or 0 for a missing sums pointer or a
// missing array with count > 0. With reset non-zero both records are zeroed first; a
// count of 0 or less then adds nothing.

// Adds (u[i], v[i]), accumulating in double and storing the sums back as f32.
int Geo_LineFitAdd(const i32 *u, const i32 *v, i32 count, f32 matrix[4], f32 right[2], i32 reset);
// Adds pairs with integer weights, directly on the stored f32 sums.
int Geo_LineFitAddWeighted(const i32 *u, const i32 *v, const i32 *w, i32 count, f32 matrix[4], f32 right[2],
                           i32 reset);
// Adds float pairs (products in f32, accumulated in double).
int Geo_LineFitAddFloat(const f32 *u, const f32 *v, i32 count, f32 matrix[4], f32 right[2], i32 reset);
// Removes one pair, in f32. Answers 1, or 0 for a missing pointer.
int Geo_LineFitRemove(i32 u, i32 v, f32 matrix[4], f32 right[2]);
// out = {slope, offset}: 1, or 0 with out untouched when |det| <= 0.0001, when the sums
// are not finite or when a result is not finite.
int Geo_LineFitSolve(const f32 matrix[4], const f32 right[2], f32 out[2]);
// Reset (result {0, 0} and empty sums when fit->reset), add and solve; 1 only when both
// succeed; 0 for a missing record or result.
int Geo_FitLine(STRAIGHT_FIT *fit);
// slope·t + offset (f32, fused), rounded by rule R: trunc(x - 0.5) for x >= 0, trunc(x + 0.5)
// below; so 3.0 gives 2 and 2.7 gives 2. Saturates; NaN gives 0.
i32 Geo_LineEval(const f32 line[2], i32 t);
// The same value times 16 before rule R (1/16 units).
i32 Geo_LineEval16(const f32 line[2], i32 t);

// ---- Parabola fits.

// Adds (t[i], v[i]) with 64-bit integer moments accumulated in double; 1, or 0 for a
// missing pointer (with count > 0 for the arrays).
int Geo_QuadraticFitAdd(const i32 *t, const i32 *v, i32 count, f64 matrix[3][3], f64 right[3], i32 reset);
// Removes one pair; 1, or 0 for a missing pointer.
int Geo_QuadraticFitRemove(i32 t, i32 v, f64 matrix[3][3], f64 right[3]);
// Solves a copy of the sums: out = {a, b, c} and 1; 0 for a missing argument, a singular
// system or a result that is not finite (out untouched).
int Geo_QuadraticFitSolve(const f64 matrix[3][3], const f64 right[3], f64 out[3]);
// Reset (result zeroed when fit->reset), add and solve; 0 for a missing record or result.
int Geo_FitQuadratic(QUADRATIC_FIT *fit);
// Adds a second set of sums into the record's and solves into its result; 1 on success,
// 0 for a missing argument or a failed solve.
int Geo_FitQuadraticMerge(QUADRATIC_FIT *fit, const f64 matrix[3][3], const f64 right[3]);
// a·t² + b·t + c in double, rule R, saturated (NaN gives 0).
i32 Geo_EvalQuadratic(const f64 coef[3], i32 t);
// The same value times 16 before rule R.
i32 Geo_EvalQuadratic16(const f64 coef[3], i32 t);

// Gaussian elimination with complete pivoting on A (n·n, row-major) and b, for
// 1 <= n <= 20. Answers 1 with the solution in b; 0 for another n (arrays untouched), a
// pivot p with 1.0 + |p| == 1.0, a pivot or solution that is not finite. A and b are
// overwritten whenever n is in range.
int Geo_SolveLinearSystem(f64 *A, f64 *b, i32 n);

// ---- Lines of LINE_FIT form.

// The line through p and q, fitted y over x when |q.y - p.y| < |q.x - p.x|, else x over y.
// Two equal points (or a fit that cannot be solved) give {0, 0, alongX}, that is {0, 0, 0}
// for equal points.
void Geo_LineThroughPoints(const GEO_POINT *p, const GEO_POINT *q, LINE_FIT *out);
// Least-squares line through the first n nodes from first: (x, y) pairs when alongX is 1,
// (y, x) otherwise. 1, or 0 (out untouched) when n < 2, the list ends early or the fit is
// degenerate. out->alongX is 1 or 0 as the pairs were taken.
int Geo_FitLineToPointList(const POINT_NODE *first, i32 n, LINE_FIT *out, i32 alongX);
// out: line's slope and orientation through p (double). out may be line.
void Geo_ParallelLineThrough(const LINE_FIT *line, const GEO_POINT *p, LINE_FIT *out);
// Intersection of two LINE_FITs: 1, or 0 (out untouched) when parallel (|s1 - s2| or
// |1 - s1·s2| below 0.00001) or when the point does not fit 32 bits. Two y-over-x lines
// truncate; every other pairing adds 0.4 before truncating.
int Geo_IntersectLineFits(const LINE_FIT *a, const LINE_FIT *b, GEO_POINT *out);

// ---- Lines of SLOPE_LINE form.

// Equal x gives {kVerticalSlope, x}.
void Geo_SlopeLineFromPoints(GEO_POINT p, GEO_POINT q, SLOPE_LINE *out);
// As Geo_SlopeLineFromPoints, with only out->slope written and the intercept in *intercept.
void Geo_SlopeAndInterceptFromPoints(GEO_POINT p, GEO_POINT q, SLOPE_LINE *out, f64 *intercept);
// 1, or 0 (out untouched) when |slope1 - slope2| < 0.00001 or the point does not fit
// 32 bits. Coordinates are rounded as trunc(v + 0.5).
int Geo_IntersectSlopeLines(GEO_POINT *out, f64 slope1, f64 intercept1, f64 slope2, f64 intercept2);
// Distance of p from the line, truncated, saturated (NaN gives 0).
i32 Geo_DistanceToSlopeLine(GEO_POINT p, f64 slope, f64 intercept);
// Where the line through p1 and p2 meets line; p1 when they are parallel. out may be p1
// or p2. Coordinates saturate.
void Geo_IntersectWithSlopeLine(const GEO_POINT *p1, const GEO_POINT *p2, const SLOPE_LINE *line, GEO_POINT *out);

// ---- Lines through two points: p1-p2 and p3-p4.

// Intersection truncated toward zero: 1, or 0 (out untouched) when parallel or when the
// point does not fit 32 bits. Exact for every 32-bit input whose intermediate products
// fit 64 bits; otherwise 0.
int Geo_IntersectLines(const GEO_POINT *p1, const GEO_POINT *p2, const GEO_POINT *p3, const GEO_POINT *p4,
                       GEO_POINT *out);
int Geo_IntersectLines64(const GEO_POINT *p1, const GEO_POINT *p2, const GEO_POINT *p3, const GEO_POINT *p4,
                         GEO_POINT *out);
// Intersection with each coordinate N/D + 1/2 truncated toward zero: 1 when it lies
// within both segments' ranges of x and of y (ends included), 0 outside, -1 parallel
// (out untouched). The point is written for 1 and 0; when it cannot be represented the
// answer is 0 and out is untouched.
int Geo_IntersectSegments(const GEO_POINT *p1, const GEO_POINT *p2, const GEO_POINT *p3, const GEO_POINT *p4,
                          GEO_POINT *out);
// Distance of p from the line ab, truncated; |p - a| when a == b. Saturates.
i32 Geo_DistanceToLine(const GEO_POINT *p, const GEO_POINT *a, const GEO_POINT *b);
// The same distance in double without truncation.
f64 Geo_DistanceToLineD(GEO_POINT p, GEO_POINT a, GEO_POINT b);
// The lines through each segment's end points, intersected as by Geo_IntersectLines64.
int Geo_IntersectLines16(const SEGMENT16 *s, const SEGMENT16 *t, GEO_POINT *out);

}  // namespace vexo

// Perspective transforms from a symbol's grid to the image: least-squares fits of the
// eight coefficients through the normal equations, point mapping in whole and 1/16
// pixels, and the row walk that maps a rectangle of grid points with forward differences.
// Everything works on the caller's records; nothing is static.
//
// A grid point (x, y) maps to X = (c0·x + c1·y + c2) / D and Y = (c3·x + c4·y + c5) / D
// with D = c6·x + c7·y + c8.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

// c8 is the caller's integer scale; c0 .. c7 are the coefficients of the transform
// normalised to c8 = 1, times that scale. Cleared: c0 .. c7 = 0, c8 = 1.
struct PERSPECTIVE {
    i64 c[9];
};

// The same with c8 = 1.0.
struct PERSPECTIVE_F {
    f32 c[9];
};

// Normal equations of the fit, rows and columns c0 .. c7. The blocks of c0..c2 and c3..c5
// are equal and the entries coupling them are zero and never written.
struct PERSPECTIVE_FIT {
    const GEO_POINT *to;    // image points, count entries
    const GEO_POINT *from;  // grid points, count entries
    i32 count;
    i32 reset;  // non-zero: clear the output transform and the sums first
    PERSPECTIVE *outInt;
    i32 scale;  // c8 of outInt
    PERSPECTIVE_F *outFloat;
    f32 matrix[8][8];
    f32 right[8];
};

// Receives one row of mapped points; xs and ys are valid only during the call.
using GRID_ROW_FN = void (*)(const i32 *xs, const i32 *ys, i32 count, u32 param, u8 *out);

struct GRID_WALK {
    PERSPECTIVE transform;
    i32 firstColumn;
    i32 firstRow;
    i32 lastColumn;  // inclusive
    i32 lastRow;     // inclusive
    i32 outStep;     // bytes added to the output offset after each row
    i32 outOffset;   // byte offset of the first row's output
    u8 *outBase;
    u32 param;
    GRID_ROW_FN rowCallback;
};

inline constexpr i32 kGridWalkMaxSpan = 256;

struct GEO_POINT_D {
    f64 x;
    f64 y;
};

// Adds count pairs from[i] -> to[i] (64-bit integer moments accumulated in double, stored
// as f32). reset zeroes the sums first; a count of 0 or less adds nothing. 1, or 0 for a
// missing sums pointer or a missing array with count > 0.
int Geo_PerspectiveAddPairs(const GEO_POINT *from, const GEO_POINT *to, i32 count, f32 matrix[8][8], f32 right[8],
                            i32 reset);
// The same for double points, the moments formed in single precision.
int Geo_PerspectiveAddPairsF(const GEO_POINT_D *from, const GEO_POINT_D *to, i32 count, f32 matrix[8][8],
                             f32 right[8], i32 reset);
// Subtracts one integer pair (n decreases by 1); 1, or 0 for a missing pointer.
int Geo_PerspectiveRemovePair(GEO_POINT from, GEO_POINT to, f32 matrix[8][8], f32 right[8]);

// L·D·Lᵀ solve of the structured normal equations in f32 with fused multiply-add; reads
// the lower triangle of the c0..c2 block and rows 6 and 7. 1 with c0..c7 in right; 0 (right
// untouched) when a pivot is zero or not finite or a coefficient is not finite: fewer than
// four points in general position.
int Geo_Solve8x8(const f32 matrix[8][8], f32 right[8]);
// Solves copies of the sums; out->c8 = scale and out->ck = trunc((f32)scale · ck). 1, or
// 0 (out untouched) for a missing pointer, a failed solve or a coefficient beyond 64 bits.
int Geo_PerspectiveSolveInt(const f32 matrix[8][8], const f32 right[8], i32 scale, PERSPECTIVE *out);
// out->c0..c7 = the solution, c8 = 1.0. 1, or 0 (out untouched) as above.
int Geo_PerspectiveSolveFloat(const f32 matrix[8][8], const f32 right[8], PERSPECTIVE_F *out);
int Geo_PerspectiveSolveIntChecked(const f32 matrix[8][8], const f32 right[8], i32 scale, PERSPECTIVE *out);
int Geo_PerspectiveSolveFloatChecked(const f32 matrix[8][8], const f32 right[8], PERSPECTIVE_F *out);

// One step of a fit through the record: with fit->reset the output is cleared and the sums
// restarted; the record's pairs are added; with finish == 1 the sums are solved into the
// output. 1, or 0 for a missing record or output, missing pairs or a failed solve.
int Geo_FitPerspectiveInt(PERSPECTIVE_FIT *fit, i32 finish);
int Geo_FitPerspectiveFloat(PERSPECTIVE_FIT *fit, i32 finish);

// Maps (x, y) in signed 64-bit: X = (N + D/2) / D, divisions truncating. 1, or 0 (outputs
// untouched) for a missing pointer, D = 0, a 64-bit overflow or a result beyond 32 bits.
int Geo_MapPointPerspective(const PERSPECTIVE *t, i32 x, i32 y, i32 *X, i32 *Y);
// The same in 1/16 pixel: X16 = ((N + D/2)·16) / D.
int Geo_MapPointPerspective16(const PERSPECTIVE *t, i32 x, i32 y, i32 *X, i32 *Y);
// Single precision; 1, or 0 (outputs untouched) for a missing pointer, D = 0.0 or a result
// that is not finite.
int Geo_MapPointPerspectiveF(const PERSPECTIVE_F *t, f32 *X, f32 *Y, f32 x, f32 y);

// Maps columns firstColumn..lastColumn of rows firstRow..lastRow (at most 256 of each) and
// hands every row to rowCallback with outBase + outOffset + row·outStep. Inside a row only
// the major coordinate follows the perspective; the minor one is interpolated linearly
// between the row's ends. 1 when every row was delivered; 0 for a missing record or
// callback, an empty transform, a span beyond 256 or of a single column, a zero
// denominator, or values beyond the integer ranges. Rows already delivered stay delivered.
int Geo_MapGridRows(const GRID_WALK *walk);

// Symmetric solves by L·D·Lᵀ in place (diagonal becomes 1.0, the lower entries the
// factors) with the vector solved in place; 1, or 0 (nothing written) for a missing
// pointer or a zero or non-finite pivot or result.
int Geo_Solve3x3Sym(f32 m[3][3], f32 v[3]);
int Geo_Solve2x2Sym(f32 m[2][2], f32 v[2]);

}  // namespace vexo

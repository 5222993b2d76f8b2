// Lattice regularisation of a Data Matrix candidate and the module's small least-squares
// solvers.
#pragma once
#include "core/types.h"
#include "toolkit/geometry.h"
#include "toolkit/perspective.h"

namespace vexo {

inline constexpr i32 kDmFitMaxPairs = 40;

// Normal equations of X = (a x + b y + c) / (g x + h y + 1), Y likewise, over the first
// min(count, 40) pairs; sums exact in 64 bits. Always 1.
i32 DM_PerspectiveNormalEquations(const GEO_POINT *source, const GEO_POINT *target, i32 count, f64 matrix[64],
                                  f64 rhs[8]);
// The same with each per-pair product wrapped to 32 bits before the 64-bit sums; 0 when count < 4.
i32 DM_PerspectiveNormalEquations32(const GEO_POINT *source, const GEO_POINT *target, i32 count, f64 matrix[64],
                                    f64 rhs[8]);
// LDLt solve of the symmetric 8 x 8 system, solution over rhs, the factor over the matrix.
// 0 when a pivot is 0 or not finite.
i32 DM_SolveLdlt8(f64 matrix[64], f64 rhs[8]);
// Integer perspective fit (c8 = scale, c0..c7 the solution times scale). 0, out untouched,
// for count 3 or less, a singular system, or a coefficient that is not finite or too large
// for its products with lattice indices to stay within 64 bits.
i32 DM_FitPerspectiveInt(const GEO_POINT *source, const GEO_POINT *target, i32 count, PERSPECTIVE *out, i32 scale);
// Gaussian elimination with complete pivoting, n at most 8; 1 with the solution in rhs, 0
// when a pivot is negligible against 1.0.
i32 DM_SolveCompletePivot(f64 *matrix, f64 *rhs, i32 n);
// Each coordinate replaced by a fitted (p + q t) / (1 + r t) of the point's index; a value
// that is not finite or does not fit 32 bits keeps its old one.
void DM_SmoothPointsProjective(GEO_POINT *points, i32 count);

}  // namespace vexo

// Least-squares sums of straight lines and parabolas, and the dense linear solver.
#include <cmath>

#include "toolkit/geometry.h"

namespace vexo {

namespace {

constexpr i32 kMaxSolveSize = 20;
constexpr f64 kLineDetLimit = 0.0001;

void LineSumsClear(f32 matrix[4], f32 right[2]) {
    for (i32 i = 0; i < 4; ++i) matrix[i] = 0.0f;
    right[0] = 0.0f;
    right[1] = 0.0f;
}

// The double accumulators of a straight-line fit, loaded from and stored to the f32 sums.
struct LineAcc {
    f64 suu, su, n, suv, sv;
};

LineAcc LineSumsLoad(const f32 matrix[4], const f32 right[2]) {
    return {matrix[0], matrix[1], matrix[3], right[0], right[1]};
}

void LineSumsStore(const LineAcc &acc, f32 matrix[4], f32 right[2]) {
    matrix[0] = static_cast<f32>(acc.suu);
    matrix[1] = static_cast<f32>(acc.su);
    matrix[2] = matrix[1];
    matrix[3] = static_cast<f32>(acc.n);
    right[0] = static_cast<f32>(acc.suv);
    right[1] = static_cast<f32>(acc.sv);
}

// Rule R: trunc(x - 0.5) for x >= 0 and trunc(x + 0.5) below, saturated.
i32 RoundRuleR(f64 x) { return Num_SatTruncI32(x >= 0.0 ? x - 0.5 : x + 0.5); }

void QuadSumsClear(f64 matrix[3][3], f64 right[3]) {
    for (i32 r = 0; r < 3; ++r) {
        for (i32 c = 0; c < 3; ++c) matrix[r][c] = 0.0;
        right[r] = 0.0;
    }
}

// The eight distinct sums of a parabola fit: Σt⁴, Σt³, Σt², Σt, n, Σt²v, Σtv, Σv.
struct QuadAcc {
    f64 t4, t3, t2, t1, n, t2v, tv, v;
};

QuadAcc QuadSumsLoad(const f64 matrix[3][3], const f64 right[3]) {
    return {matrix[0][0], matrix[0][1], matrix[0][2], matrix[1][2], matrix[2][2], right[0], right[1], right[2]};
}

void QuadSumsStore(const QuadAcc &a, f64 matrix[3][3], f64 right[3]) {
    matrix[0][0] = a.t4;
    matrix[0][1] = matrix[1][0] = a.t3;
    matrix[0][2] = matrix[1][1] = matrix[2][0] = a.t2;
    matrix[1][2] = matrix[2][1] = a.t1;
    matrix[2][2] = a.n;
    right[0] = a.t2v;
    right[1] = a.tv;
    right[2] = a.v;
}

// Adds (sign +1) or subtracts (sign -1) the moments of one pair; the powers are exact
// 64-bit products wherever they fit.
void QuadAccPair(QuadAcc *a, i32 t, i32 v, f64 sign) {
    const i64 tt = static_cast<i64>(t) * t;
    a->t4 += sign * Num_MulWide(tt, tt);
    a->t3 += sign * Num_MulWide(tt, t);
    a->t2 += sign * static_cast<f64>(tt);
    a->t1 += sign * static_cast<f64>(t);
    a->t2v += sign * Num_MulWide(tt, v);
    a->tv += sign * static_cast<f64>(static_cast<i64>(t) * v);
    a->v += sign * static_cast<f64>(v);
}

// A pivot is usable when it is finite and not negligible against 1.
bool PivotUsable(f64 p) { return std::isfinite(p) && 1.0 + std::fabs(p) != 1.0; }

// Largest |A[r][c]| over rows and columns k..n-1, row by row; ties keep the first.
void FindPivot(const f64 *A, i32 n, i32 k, i32 *row, i32 *col) {
    i32 br = k;
    i32 bc = k;
    f64 best = std::fabs(A[k * n + k]);
    for (i32 r = k; r < n; ++r) {
        for (i32 c = k; c < n; ++c) {
            const f64 v = std::fabs(A[r * n + c]);
            if (v > best) {
                best = v;
                br = r;
                bc = c;
            }
        }
    }
    *row = br;
    *col = bc;
}

void SwapColumns(f64 *A, i32 n, i32 c1, i32 c2) {
    if (c1 == c2) return;
    for (i32 r = 0; r < n; ++r) {
        const f64 t = A[r * n + c1];
        A[r * n + c1] = A[r * n + c2];
        A[r * n + c2] = t;
    }
}

void SwapRows(f64 *A, f64 *b, i32 n, i32 r1, i32 r2) {
    if (r1 == r2) return;
    for (i32 c = 0; c < n; ++c) {
        const f64 t = A[r1 * n + c];
        A[r1 * n + c] = A[r2 * n + c];
        A[r2 * n + c] = t;
    }
    const f64 t = b[r1];
    b[r1] = b[r2];
    b[r2] = t;
}

// Normalises row k by its pivot and clears column k below it.
void EliminateBelow(f64 *A, f64 *b, i32 n, i32 k) {
    const f64 pivot = A[k * n + k];
    for (i32 c = k; c < n; ++c) A[k * n + c] /= pivot;
    b[k] /= pivot;
    for (i32 r = k + 1; r < n; ++r) {
        const f64 f = A[r * n + k];
        for (i32 c = k; c < n; ++c) A[r * n + c] -= A[k * n + c] * f;
        b[r] -= b[k] * f;
    }
}

}  // namespace

// ---- Straight-line sums

int Geo_LineFitAdd(const i32 *u, const i32 *v, i32 count, f32 matrix[4], f32 right[2], i32 reset) {
    if (matrix == nullptr || right == nullptr) return 0;
    if (reset != 0) LineSumsClear(matrix, right);
    if (count <= 0) return 1;
    if (u == nullptr || v == nullptr) return 0;
    LineAcc acc = LineSumsLoad(matrix, right);
    for (i32 i = 0; i < count; ++i) {
        const i64 ui = u[i];
        const i64 vi = v[i];
        acc.suu += static_cast<f64>(ui * ui);
        acc.su += static_cast<f64>(ui);
        acc.suv += static_cast<f64>(ui * vi);
        acc.sv += static_cast<f64>(vi);
    }
    acc.n += static_cast<f64>(count);
    LineSumsStore(acc, matrix, right);
    return 1;
}

int Geo_LineFitAddWeighted(const i32 *u, const i32 *v, const i32 *w, i32 count, f32 matrix[4], f32 right[2],
                           i32 reset) {
    if (matrix == nullptr || right == nullptr) return 0;
    if (reset != 0) LineSumsClear(matrix, right);
    if (count <= 0) return 1;
    if (u == nullptr || v == nullptr || w == nullptr) return 0;
    for (i32 i = 0; i < count; ++i) {
        const i64 ui = u[i];
        const i64 vi = v[i];
        const i64 wi = w[i];
        matrix[0] += static_cast<f32>(Num_MulWide(ui * ui, wi));
        matrix[1] += static_cast<f32>(ui * wi);
        right[0] += static_cast<f32>(Num_MulWide(ui * wi, vi));
        right[1] += static_cast<f32>(wi * vi);
        matrix[3] += static_cast<f32>(wi);
    }
    matrix[2] = matrix[1];
    return 1;
}

int Geo_LineFitAddFloat(const f32 *u, const f32 *v, i32 count, f32 matrix[4], f32 right[2], i32 reset) {
    if (matrix == nullptr || right == nullptr) return 0;
    if (reset != 0) LineSumsClear(matrix, right);
    if (count <= 0) return 1;
    if (u == nullptr || v == nullptr) return 0;
    LineAcc acc = LineSumsLoad(matrix, right);
    for (i32 i = 0; i < count; ++i) {
        const f32 uu = u[i] * u[i];
        const f32 uv = u[i] * v[i];
        acc.suu += static_cast<f64>(uu);
        acc.su += static_cast<f64>(u[i]);
        acc.suv += static_cast<f64>(uv);
        acc.sv += static_cast<f64>(v[i]);
    }
    acc.n += static_cast<f64>(count);
    LineSumsStore(acc, matrix, right);
    return 1;
}

int Geo_LineFitRemove(i32 u, i32 v, f32 matrix[4], f32 right[2]) {
    if (matrix == nullptr || right == nullptr) return 0;
    const i64 ui = u;
    const i64 vi = v;
    matrix[0] -= static_cast<f32>(ui * ui);
    matrix[1] -= static_cast<f32>(ui);
    matrix[2] -= static_cast<f32>(ui);
    matrix[3] -= 1.0f;
    right[0] -= static_cast<f32>(ui * vi);
    right[1] -= static_cast<f32>(vi);
    return 1;
}

int Geo_LineFitSolve(const f32 matrix[4], const f32 right[2], f32 out[2]) {
    if (matrix == nullptr || right == nullptr || out == nullptr) return 0;
    const f32 suu = matrix[0];
    const f32 su = matrix[1];
    const f32 n = matrix[3];
    const f32 suv = right[0];
    const f32 sv = right[1];
    const f32 det = std::fmaf(su, matrix[2], -(n * suu));
    // NaN fails here too.
    if (!(static_cast<f64>(det) < -kLineDetLimit || static_cast<f64>(det) > kLineDetLimit)) return 0;
    const f32 slope = std::fmaf(sv, su, -(suv * n)) / det;
    const f32 offset = std::fmaf(suv, su, -(sv * suu)) / det;
    if (!std::isfinite(slope) || !std::isfinite(offset)) return 0;
    out[0] = slope;
    out[1] = offset;
    return 1;
}

int Geo_FitLine(STRAIGHT_FIT *fit) {
    if (fit == nullptr || fit->result == nullptr) return 0;
    if (fit->reset != 0) {
        fit->result[0] = 0.0f;
        fit->result[1] = 0.0f;
    }
    if (!Geo_LineFitAdd(fit->u, fit->v, fit->count, fit->sums.matrix, fit->sums.right, fit->reset)) return 0;
    return Geo_LineFitSolve(fit->sums.matrix, fit->sums.right, fit->result);
}

i32 Geo_LineEval(const f32 line[2], i32 t) {
    if (line == nullptr) return 0;
    const f32 value = std::fmaf(line[0], static_cast<f32>(t), line[1]);
    return RoundRuleR(static_cast<f64>(value));
}

i32 Geo_LineEval16(const f32 line[2], i32 t) {
    if (line == nullptr) return 0;
    const f32 value = std::fmaf(line[0], static_cast<f32>(t), line[1]);
    return RoundRuleR(static_cast<f64>(value) * 16.0);
}

// ---- Parabola fits

int Geo_QuadraticFitAdd(const i32 *t, const i32 *v, i32 count, f64 matrix[3][3], f64 right[3], i32 reset) {
    if (matrix == nullptr || right == nullptr) return 0;
    if (reset != 0) QuadSumsClear(matrix, right);
    if (count <= 0) return 1;
    if (t == nullptr || v == nullptr) return 0;
    QuadAcc acc = QuadSumsLoad(matrix, right);
    for (i32 i = 0; i < count; ++i) QuadAccPair(&acc, t[i], v[i], 1.0);
    acc.n += static_cast<f64>(count);
    QuadSumsStore(acc, matrix, right);
    return 1;
}

int Geo_QuadraticFitRemove(i32 t, i32 v, f64 matrix[3][3], f64 right[3]) {
    if (matrix == nullptr || right == nullptr) return 0;
    QuadAcc acc = QuadSumsLoad(matrix, right);
    QuadAccPair(&acc, t, v, -1.0);
    acc.n -= 1.0;
    QuadSumsStore(acc, matrix, right);
    return 1;
}

int Geo_QuadraticFitSolve(const f64 matrix[3][3], const f64 right[3], f64 out[3]) {
    if (matrix == nullptr || right == nullptr || out == nullptr) return 0;
    f64 a[9];
    f64 b[3];
    for (i32 r = 0; r < 3; ++r) {
        for (i32 c = 0; c < 3; ++c) a[r * 3 + c] = matrix[r][c];
        b[r] = right[r];
    }
    if (!Geo_SolveLinearSystem(a, b, 3)) return 0;
    out[0] = b[0];
    out[1] = b[1];
    out[2] = b[2];
    return 1;
}

int Geo_FitQuadratic(QUADRATIC_FIT *fit) {
    if (fit == nullptr || fit->result == nullptr) return 0;
    if (fit->reset != 0) {
        for (i32 i = 0; i < 3; ++i) fit->result[i] = 0.0;
    }
    if (!Geo_QuadraticFitAdd(fit->t, fit->v, fit->count, fit->sums.matrix, fit->sums.right, fit->reset)) return 0;
    return Geo_QuadraticFitSolve(fit->sums.matrix, fit->sums.right, fit->result);
}

int Geo_FitQuadraticMerge(QUADRATIC_FIT *fit, const f64 matrix[3][3], const f64 right[3]) {
    if (fit == nullptr || fit->result == nullptr || matrix == nullptr || right == nullptr) return 0;
    for (i32 r = 0; r < 3; ++r) {
        for (i32 c = 0; c < 3; ++c) fit->sums.matrix[r][c] += matrix[r][c];
        fit->sums.right[r] += right[r];
    }
    return Geo_QuadraticFitSolve(fit->sums.matrix, fit->sums.right, fit->result);
}

i32 Geo_EvalQuadratic(const f64 coef[3], i32 t) {
    if (coef == nullptr) return 0;
    const f64 tt = static_cast<f64>(static_cast<i64>(t) * t);
    return RoundRuleR(coef[0] * tt + coef[1] * static_cast<f64>(t) + coef[2]);
}

i32 Geo_EvalQuadratic16(const f64 coef[3], i32 t) {
    if (coef == nullptr) return 0;
    const f64 tt = static_cast<f64>(static_cast<i64>(t) * t);
    return RoundRuleR((coef[0] * tt + coef[1] * static_cast<f64>(t) + coef[2]) * 16.0);
}

// ---- Linear solver

int Geo_SolveLinearSystem(f64 *A, f64 *b, i32 n) {
    if (A == nullptr || b == nullptr || n < 1 || n > kMaxSolveSize) return 0;
    i32 swappedColumn[kMaxSolveSize];
    for (i32 k = 0; k + 1 < n; ++k) {
        i32 row = k;
        i32 col = k;
        FindPivot(A, n, k, &row, &col);
        if (!PivotUsable(A[row * n + col])) return 0;
        swappedColumn[k] = col;
        SwapColumns(A, n, k, col);
        SwapRows(A, b, n, k, row);
        EliminateBelow(A, b, n, k);
    }
    const f64 last = A[(n - 1) * n + (n - 1)];
    if (!PivotUsable(last)) return 0;
    b[n - 1] /= last;
    for (i32 r = n - 2; r >= 0; --r) {
        for (i32 c = r + 1; c < n; ++c) b[r] -= A[r * n + c] * b[c];
    }
    // Undo the column exchanges, last first: they permuted the unknowns.
    for (i32 k = n - 2; k >= 0; --k) {
        const i32 c = swappedColumn[k];
        const f64 t = b[k];
        b[k] = b[c];
        b[c] = t;
    }
    for (i32 i = 0; i < n; ++i) {
        if (!std::isfinite(b[i])) return 0;
    }
    return 1;
}

}  // namespace vexo

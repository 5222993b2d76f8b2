// Perspective fits, point mapping and the grid row walk.
#include "toolkit/perspective.h"

#include <cmath>

namespace vexo {

namespace {

// The distinct sums of the normal equations (n is kept apart, in f32). For a pair
// (x, y) -> (X, Y) with J = X² + Y².
enum Moment : i32 {
    kSxx, kSxy, kSyy, kSx, kSy,            // Σx², Σxy, Σy², Σx, Σy
    kXxx, kXxy, kXyy, kXx, kXy, kX1,       // Σx²X, ΣxyX, Σy²X, ΣxX, ΣyX, ΣX
    kYxx, kYxy, kYyy, kYx, kYy, kY1,       // the same with Y
    kJxx, kJxy, kJyy, kJx, kJy,            // Σx²J, ΣxyJ, Σy²J, ΣxJ, ΣyJ
    kMomentCount
};

using Moments = f64[kMomentCount];

void LoadMoments(const f32 m[8][8], const f32 right[8], Moments s) {
    s[kSxx] = m[0][0];
    s[kSxy] = m[1][0];
    s[kSyy] = m[1][1];
    s[kSx] = m[2][0];
    s[kSy] = m[2][1];
    s[kXxx] = -static_cast<f64>(m[6][0]);
    s[kXxy] = -static_cast<f64>(m[6][1]);
    s[kXx] = -static_cast<f64>(m[6][2]);
    s[kYxx] = -static_cast<f64>(m[6][3]);
    s[kYxy] = -static_cast<f64>(m[6][4]);
    s[kYx] = -static_cast<f64>(m[6][5]);
    s[kXyy] = -static_cast<f64>(m[7][1]);
    s[kXy] = -static_cast<f64>(m[7][2]);
    s[kYyy] = -static_cast<f64>(m[7][4]);
    s[kYy] = -static_cast<f64>(m[7][5]);
    s[kJxx] = m[6][6];
    s[kJxy] = m[7][6];
    s[kJyy] = m[7][7];
    s[kX1] = right[2];
    s[kY1] = right[5];
    s[kJx] = -static_cast<f64>(right[6]);
    s[kJy] = -static_cast<f64>(right[7]);
}

void SetSym(f32 m[8][8], i32 r, i32 c, f64 v) { m[r][c] = m[c][r] = static_cast<f32>(v); }

// Writes every place each sum occupies; the coupling entries are left alone.
void StoreMoments(const Moments s, f32 n, f32 m[8][8], f32 right[8]) {
    for (i32 o = 0; o <= 3; o += 3) {
        SetSym(m, o, o, s[kSxx]);
        SetSym(m, o + 1, o, s[kSxy]);
        SetSym(m, o + 1, o + 1, s[kSyy]);
        SetSym(m, o + 2, o, s[kSx]);
        SetSym(m, o + 2, o + 1, s[kSy]);
        m[o + 2][o + 2] = n;
    }
    const i32 col6[6] = {kXxx, kXxy, kXx, kYxx, kYxy, kYx};
    const i32 col7[6] = {kXxy, kXyy, kXy, kYxy, kYyy, kYy};
    for (i32 r = 0; r < 6; ++r) {
        SetSym(m, 6, r, -s[col6[r]]);
        SetSym(m, 7, r, -s[col7[r]]);
    }
    SetSym(m, 6, 6, s[kJxx]);
    SetSym(m, 7, 6, s[kJxy]);
    SetSym(m, 7, 7, s[kJyy]);
    const i32 rhs[6] = {kXx, kXy, kX1, kYx, kYy, kY1};
    for (i32 r = 0; r < 6; ++r) right[r] = static_cast<f32>(s[rhs[r]]);
    right[6] = static_cast<f32>(-s[kJx]);
    right[7] = static_cast<f32>(-s[kJy]);
}

void ClearSums(f32 m[8][8], f32 right[8]) {
    for (i32 r = 0; r < 8; ++r) {
        for (i32 c = 0; c < 8; ++c) m[r][c] = 0.0f;
        right[r] = 0.0f;
    }
}

// f·J as a double: exact 64-bit products where they fit (J itself may not).
f64 MulJ(i64 f, i64 xx, i64 yy) {
    i64 j = 0;
    if (!__builtin_add_overflow(xx, yy, &j)) return Num_MulWide(f, j);
    return static_cast<f64>(f) * (static_cast<f64>(xx) + static_cast<f64>(yy));
}

// The moments of one integer pair, times sign (+1 or -1).
void PairMoments(GEO_POINT from, GEO_POINT to, f64 sign, Moments s) {
    const i64 x = from.x, y = from.y, X = to.x, Y = to.y;
    const i64 xx = x * x, xy = x * y, yy = y * y, XX = X * X, YY = Y * Y;
    const i64 base[5] = {xx, xy, yy, x, y};
    for (i32 k = 0; k < 5; ++k) {
        s[kSxx + k] += sign * static_cast<f64>(base[k]);
        s[kXxx + k] += sign * Num_MulWide(base[k], X);
        s[kYxx + k] += sign * Num_MulWide(base[k], Y);
        s[kJxx + k] += sign * MulJ(base[k], XX, YY);
    }
    s[kX1] += sign * static_cast<f64>(X);
    s[kY1] += sign * static_cast<f64>(Y);
}

// The moments of one pair of double points, each product formed in f32.
void PairMomentsF(GEO_POINT_D from, GEO_POINT_D to, Moments s) {
    const f32 x = static_cast<f32>(from.x), y = static_cast<f32>(from.y);
    const f32 X = static_cast<f32>(to.x), Y = static_cast<f32>(to.y);
    const f32 J = X * X + Y * Y;
    const f32 base[5] = {x * x, x * y, y * y, x, y};
    for (i32 k = 0; k < 5; ++k) {
        s[kSxx + k] += static_cast<f64>(base[k]);
        s[kXxx + k] += static_cast<f64>(base[k] * X);
        s[kYxx + k] += static_cast<f64>(base[k] * Y);
        s[kJxx + k] += static_cast<f64>(base[k] * J);
    }
    s[kX1] += static_cast<f64>(X);
    s[kY1] += static_cast<f64>(Y);
}

void ClearInt(PERSPECTIVE *t) {
    for (i32 k = 0; k < 8; ++k) t->c[k] = 0;
    t->c[8] = 1;
}

void ClearFloat(PERSPECTIVE_F *t) {
    for (i32 k = 0; k < 8; ++k) t->c[k] = 0.0f;
    t->c[8] = 1.0f;
}

// a·x + b·y + c, checked.
i64 Affine(i64 a, i64 b, i64 c, i64 x, i64 y, bool *ok) {
    return Chk_Add(Chk_Add(Chk_Mul(a, x, ok), Chk_Mul(b, y, ok), ok), c, ok);
}

// Numerators and denominator of the map of (x, y); false on 64-bit overflow.
bool MapTerms(const PERSPECTIVE *t, i32 x, i32 y, i64 *nx, i64 *ny, i64 *den) {
    bool ok = true;
    *den = Affine(t->c[6], t->c[7], t->c[8], x, y, &ok);
    *nx = Affine(t->c[0], t->c[1], t->c[2], x, y, &ok);
    *ny = Affine(t->c[3], t->c[4], t->c[5], x, y, &ok);
    return ok;
}

// (n + d/2)·mul / d, checked, as i32.
bool RoundedQuotient(i64 n, i64 d, i64 mul, i32 *out) {
    bool ok = true;
    const i64 q = Chk_Div(Chk_Mul(Chk_Add(n, d / 2, &ok), mul, &ok), d, &ok);
    if (!ok || !Num_FitsI32(q)) return false;
    *out = static_cast<i32>(q);
    return true;
}

int MapPoint(const PERSPECTIVE *t, i32 x, i32 y, i64 mul, i32 *X, i32 *Y) {
    if (t == nullptr || X == nullptr || Y == nullptr) return 0;
    i64 nx = 0, ny = 0, den = 0;
    if (!MapTerms(t, x, y, &nx, &ny, &den) || den == 0) return 0;
    i32 qx = 0, qy = 0;
    if (!RoundedQuotient(nx, den, mul, &qx) || !RoundedQuotient(ny, den, mul, &qy)) return 0;
    *X = qx;
    *Y = qy;
    return 1;
}

// A row end: (g + 2·m) / (2·g), checked, as i32.
bool RowEnd(i64 g, i64 m, i32 *out) {
    bool ok = true;
    const i64 q = Chk_Div(Chk_Add(g, Chk_Mul(2, m, &ok), &ok), Chk_Mul(2, g, &ok), &ok);
    if (!ok || !Num_FitsI32(q)) return false;
    *out = static_cast<i32>(q);
    return true;
}

// a / b truncated toward zero; a 32-bit division when both fit, which costs far less than
// a 64-bit one on both targets. b != 0.
i64 QuotientFast(i64 a, i64 b, bool *ok) {
    if (Num_FitsI32(a) && Num_FitsI32(b) && !(a == kI32Min && b == -1)) {
        return static_cast<i32>(a) / static_cast<i32>(b);
    }
    return Chk_Div(a, b, ok);
}

// The interior points 1 .. du-1 of a row. The major coordinate follows the perspective:
// a prediction from the two previous points, corrected by one exact division. The minor
// coordinate is interpolated linearly between the row's ends (spanMajor != 0).
bool RowInterior(i64 g, i64 m, i64 stepG, i64 stepM, i32 du, i64 spanMajor, i64 spanMinor, i32 *major,
                 i32 *minor) {
    bool ok = true;
    i64 F = Chk_Add(g, stepG, &ok);  // denominator at column i
    i64 G = Chk_Add(m, stepM, &ok);  // major numerator at column i
    for (i32 i = 1; i < du && ok; ++i) {
        if (F == 0) return false;
        const i64 e = i == 1 ? major[0] : 2 * static_cast<i64>(major[i - 1]) - major[i - 2];
        const i64 r = Chk_Add(Chk_Sub(G, Chk_Mul(e, F, &ok), &ok), F >> 1, &ok);
        const i64 v = Chk_Add(e, QuotientFast(r, F, &ok), &ok);
        const i64 w = Chk_Add(minor[0], QuotientFast(Chk_Mul(spanMinor, v - major[0], &ok), spanMajor, &ok), &ok);
        if (!ok || !Num_FitsI32(v) || !Num_FitsI32(w)) return false;
        major[i] = static_cast<i32>(v);
        minor[i] = static_cast<i32>(w);
        F = Chk_Add(F, stepG, &ok);
        G = Chk_Add(G, stepM, &ok);
    }
    return ok;
}

// Maps the du + 1 columns of one row whose first column has denominator g and numerators
// mx, my.
bool MapRow(const i64 *c, i64 g, i64 mx, i64 my, i32 du, i32 *xs, i32 *ys) {
    if (g == 0) return false;
    if (!RowEnd(g, mx, &xs[0]) || !RowEnd(g, my, &ys[0])) return false;
    bool ok = true;
    const i64 l = Chk_Add(g, Chk_Mul(c[6], du, &ok), &ok);
    const i64 lx = Chk_Add(mx, Chk_Mul(c[0], du, &ok), &ok);
    const i64 ly = Chk_Add(my, Chk_Mul(c[3], du, &ok), &ok);
    if (!ok || l == 0) return false;
    if (!RowEnd(l, lx, &xs[du]) || !RowEnd(l, ly, &ys[du])) return false;
    const i64 spanX = static_cast<i64>(xs[du]) - xs[0];
    const i64 spanY = static_cast<i64>(ys[du]) - ys[0];
    if (spanX == 0 && spanY == 0) return false;
    if ((spanX < 0 ? -spanX : spanX) > (spanY < 0 ? -spanY : spanY)) {
        return RowInterior(g, mx, c[6], c[0], du, spanX, spanY, xs, ys);
    }
    return RowInterior(g, my, c[6], c[3], du, spanY, spanX, ys, xs);
}

// L·D·Lᵀ of a small dense symmetric matrix (lower triangle of a) and the solve of v, with
// or without fused multiply-adds. False for a zero or non-finite pivot or result.
template <i32 N, bool kFused>
bool SolveLdlt(const f32 a[N][N], f32 L[N][N], f32 v[N]) {
    f32 D[N];
    for (i32 i = 0; i < N; ++i) {
        f32 w[N];  // w[k] = L[i][k]·D[k]
        for (i32 j = 0; j < i; ++j) {
            f32 s = a[i][j];
            for (i32 k = 0; k < j; ++k) s = kFused ? std::fmaf(-w[k], L[j][k], s) : s - w[k] * L[j][k];
            w[j] = s;
            L[i][j] = s / D[j];
        }
        f32 d = a[i][i];
        for (i32 k = 0; k < i; ++k) d = kFused ? std::fmaf(-w[k], L[i][k], d) : d - w[k] * L[i][k];
        if (d == 0.0f || !std::isfinite(d)) return false;
        D[i] = d;
        L[i][i] = 1.0f;
    }
    f32 z[N];
    for (i32 i = 0; i < N; ++i) {
        f32 s = v[i];
        for (i32 k = 0; k < i; ++k) s = kFused ? std::fmaf(-L[i][k], z[k], s) : s - L[i][k] * z[k];
        z[i] = s;
    }
    for (i32 i = 0; i < N; ++i) z[i] /= D[i];
    for (i32 i = N - 1; i >= 0; --i) {
        f32 s = z[i];
        for (i32 k = i + 1; k < N; ++k) s = kFused ? std::fmaf(-L[k][i], z[k], s) : s - L[k][i] * z[k];
        if (!std::isfinite(s)) return false;
        z[i] = s;
    }
    for (i32 i = 0; i < N; ++i) v[i] = z[i];
    return true;
}

template <i32 N>
int SolveSymInPlace(f32 m[N][N], f32 v[N]) {
    if (m == nullptr || v == nullptr) return 0;
    f32 L[N][N] = {};
    f32 x[N];
    for (i32 i = 0; i < N; ++i) x[i] = v[i];
    if (!SolveLdlt<N, false>(m, L, x)) return 0;
    for (i32 i = 0; i < N; ++i) {
        for (i32 j = 0; j <= i; ++j) m[i][j] = L[i][j];
        v[i] = x[i];
    }
    return 1;
}

}  // namespace

// ---- Sums

int Geo_PerspectiveAddPairs(const GEO_POINT *from, const GEO_POINT *to, i32 count, f32 matrix[8][8], f32 right[8],
                            i32 reset) {
    if (matrix == nullptr || right == nullptr) return 0;
    if (reset != 0) ClearSums(matrix, right);
    if (count <= 0) return 1;
    if (from == nullptr || to == nullptr) return 0;
    Moments s;
    LoadMoments(matrix, right, s);
    for (i32 i = 0; i < count; ++i) PairMoments(from[i], to[i], 1.0, s);
    StoreMoments(s, matrix[2][2] + static_cast<f32>(count), matrix, right);
    return 1;
}

int Geo_PerspectiveAddPairsF(const GEO_POINT_D *from, const GEO_POINT_D *to, i32 count, f32 matrix[8][8],
                             f32 right[8], i32 reset) {
    if (matrix == nullptr || right == nullptr) return 0;
    if (reset != 0) ClearSums(matrix, right);
    if (count <= 0) return 1;
    if (from == nullptr || to == nullptr) return 0;
    Moments s;
    LoadMoments(matrix, right, s);
    for (i32 i = 0; i < count; ++i) PairMomentsF(from[i], to[i], s);
    StoreMoments(s, matrix[2][2] + static_cast<f32>(count), matrix, right);
    return 1;
}

int Geo_PerspectiveRemovePair(GEO_POINT from, GEO_POINT to, f32 matrix[8][8], f32 right[8]) {
    if (matrix == nullptr || right == nullptr) return 0;
    Moments s;
    LoadMoments(matrix, right, s);
    PairMoments(from, to, -1.0, s);
    StoreMoments(s, matrix[2][2] - 1.0f, matrix, right);
    return 1;
}

// ---- Solving

int Geo_Solve8x8(const f32 matrix[8][8], f32 right[8]) {
    if (matrix == nullptr || right == nullptr) return 0;
    // The structured system: the c0..c2 block repeated for c3..c5, no coupling between
    // the two, and the rows of c6 and c7 in full.
    f32 a[8][8] = {};
    for (i32 r = 0; r < 3; ++r) {
        for (i32 c = 0; c <= r; ++c) a[r][c] = a[r + 3][c + 3] = matrix[r][c];
    }
    for (i32 c = 0; c <= 6; ++c) a[6][c] = matrix[6][c];
    for (i32 c = 0; c <= 7; ++c) a[7][c] = matrix[7][c];
    f32 L[8][8] = {};
    return SolveLdlt<8, true>(a, L, right) ? 1 : 0;
}

int Geo_PerspectiveSolveInt(const f32 matrix[8][8], const f32 right[8], i32 scale, PERSPECTIVE *out) {
    if (matrix == nullptr || right == nullptr || out == nullptr) return 0;
    f32 c[8];
    for (i32 k = 0; k < 8; ++k) c[k] = right[k];
    if (!Geo_Solve8x8(matrix, c)) return 0;
    const f32 s = static_cast<f32>(scale);
    i64 k64[8];
    for (i32 k = 0; k < 8; ++k) {
        if (!Num_TruncToI64(static_cast<f64>(s * c[k]), &k64[k])) return 0;
    }
    for (i32 k = 0; k < 8; ++k) out->c[k] = k64[k];
    out->c[8] = scale;
    return 1;
}

int Geo_PerspectiveSolveFloat(const f32 matrix[8][8], const f32 right[8], PERSPECTIVE_F *out) {
    if (matrix == nullptr || right == nullptr || out == nullptr) return 0;
    f32 c[8];
    for (i32 k = 0; k < 8; ++k) c[k] = right[k];
    if (!Geo_Solve8x8(matrix, c)) return 0;
    for (i32 k = 0; k < 8; ++k) out->c[k] = c[k];
    out->c[8] = 1.0f;
    return 1;
}

int Geo_PerspectiveSolveIntChecked(const f32 matrix[8][8], const f32 right[8], i32 scale, PERSPECTIVE *out) {
    return Geo_PerspectiveSolveInt(matrix, right, scale, out);
}

int Geo_PerspectiveSolveFloatChecked(const f32 matrix[8][8], const f32 right[8], PERSPECTIVE_F *out) {
    return Geo_PerspectiveSolveFloat(matrix, right, out);
}

int Geo_FitPerspectiveInt(PERSPECTIVE_FIT *fit, i32 finish) {
    if (fit == nullptr || fit->outInt == nullptr) return 0;
    if (fit->reset != 0) ClearInt(fit->outInt);
    if (!Geo_PerspectiveAddPairs(fit->from, fit->to, fit->count, fit->matrix, fit->right, fit->reset)) return 0;
    if (finish != 1) return 1;
    return Geo_PerspectiveSolveIntChecked(fit->matrix, fit->right, fit->scale, fit->outInt);
}

int Geo_FitPerspectiveFloat(PERSPECTIVE_FIT *fit, i32 finish) {
    if (fit == nullptr || fit->outFloat == nullptr) return 0;
    if (fit->reset != 0) ClearFloat(fit->outFloat);
    if (!Geo_PerspectiveAddPairs(fit->from, fit->to, fit->count, fit->matrix, fit->right, fit->reset)) return 0;
    if (finish != 1) return 1;
    return Geo_PerspectiveSolveFloatChecked(fit->matrix, fit->right, fit->outFloat);
}

// ---- Mapping

int Geo_MapPointPerspective(const PERSPECTIVE *t, i32 x, i32 y, i32 *X, i32 *Y) { return MapPoint(t, x, y, 1, X, Y); }

int Geo_MapPointPerspective16(const PERSPECTIVE *t, i32 x, i32 y, i32 *X, i32 *Y) {
    return MapPoint(t, x, y, 16, X, Y);
}

int Geo_MapPointPerspectiveF(const PERSPECTIVE_F *t, f32 *X, f32 *Y, f32 x, f32 y) {
    if (t == nullptr || X == nullptr || Y == nullptr) return 0;
    const f32 *c = t->c;
    const f32 den = std::fmaf(x, c[6], y * c[7]) + c[8];
    if (den == 0.0f) return 0;
    const f32 mx = (std::fmaf(x, c[0], y * c[1]) + c[2]) / den;
    const f32 my = (std::fmaf(x, c[3], y * c[4]) + c[5]) / den;
    if (!std::isfinite(mx) || !std::isfinite(my)) return 0;
    *X = mx;
    *Y = my;
    return 1;
}

int Geo_MapGridRows(const GRID_WALK *walk) {
    if (walk == nullptr || walk->rowCallback == nullptr) return 0;
    const i64 *c = walk->transform.c;
    if (c[0] == 0 && c[1] == 0 && c[2] == 0) return 0;
    if (c[3] == 0 && c[4] == 0 && c[5] == 0) return 0;
    const i64 du = static_cast<i64>(walk->lastColumn) - walk->firstColumn;
    const i64 dv = static_cast<i64>(walk->lastRow) - walk->firstRow;
    if (du < 0 || du >= kGridWalkMaxSpan || dv < 0 || dv >= kGridWalkMaxSpan) return 0;
    bool ok = true;
    i64 g = Affine(c[6], c[7], c[8], walk->firstColumn, walk->firstRow, &ok);
    i64 mx = Affine(c[0], c[1], c[2], walk->firstColumn, walk->firstRow, &ok);
    i64 my = Affine(c[3], c[4], c[5], walk->firstColumn, walk->firstRow, &ok);
    if (!ok) return 0;
    i32 xs[kGridWalkMaxSpan];
    i32 ys[kGridWalkMaxSpan];
    i64 offset = walk->outOffset;
    for (i64 row = 0; row <= dv; ++row) {
        if (!MapRow(c, g, mx, my, static_cast<i32>(du), xs, ys)) return 0;
        u8 *out = walk->outBase != nullptr ? walk->outBase + offset : nullptr;
        walk->rowCallback(xs, ys, static_cast<i32>(du) + 1, walk->param, out);
        offset += walk->outStep;
        if (row == dv) break;
        g = Chk_Add(g, c[7], &ok);
        mx = Chk_Add(mx, c[1], &ok);
        my = Chk_Add(my, c[4], &ok);
        if (!ok) return 0;
    }
    return 1;
}

// ---- Small symmetric systems

int Geo_Solve3x3Sym(f32 m[3][3], f32 v[3]) { return SolveSymInPlace<3>(m, v); }

int Geo_Solve2x2Sym(f32 m[2][2], f32 v[2]) { return SolveSymInPlace<2>(m, v); }

}  // namespace vexo

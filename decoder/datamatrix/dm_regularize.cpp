// Lattice regularisation: the region-corner lattice is cut into blocks of at most 3 x 3
// regions, a perspective transform from node indices to pixels is fitted to each block's
// measured nodes, and every node moves to its block's mapping (shared lines averaged).
// Also the module's small least-squares solvers.
#include "datamatrix/dm_regularize.h"
#include "datamatrix/dm_geometry_extra.h"

#include <cmath>
#include <cstring>

#include "datamatrix/dm_types.h"

namespace vexo {

namespace {

constexpr i32 kLatticeScale = 8192;
constexpr i32 kBlockRegions = 3;
constexpr i32 kWindowPairs = 16;
// Coefficients stay below this so that their products with node indices (at most 6) and
// their sums fit 64 bits.
constexpr f64 kCoefficientLimit = 1e17;

}  // namespace

namespace {

// The normal equations over the first min(count, 40) pairs, each per-pair product formed by
// mul (exact, or wrapped to 32 bits for the 32-bit form).
template <typename Mul>
void NormalEquations(const GEO_POINT *source, const GEO_POINT *target, i32 count, f64 matrix[64], f64 rhs[8], Mul mul) {
    std::memset(matrix, 0, sizeof(f64) * 64);
    std::memset(rhs, 0, sizeof(f64) * 8);
    const i32 n = count < kDmFitMaxPairs ? (count > 0 ? count : 0) : kDmFitMaxPairs;
    i64 sxx = 0, sxy = 0, syy = 0, sx = 0, sy = 0;
    i64 sxxX = 0, sxyX = 0, syyX = 0, sxX = 0, syX = 0, sX = 0;
    i64 sxxY = 0, sxyY = 0, syyY = 0, sxY = 0, syY = 0, sY = 0;
    i64 sxxS = 0, sxyS = 0, syyS = 0, sxS = 0, syS = 0;
    for (i32 i = 0; i < n; ++i) {
        const i64 x = source[i].x, y = source[i].y, X = target[i].x, Y = target[i].y;
        const i64 S = mul(X, X) + mul(Y, Y);
        const i64 xx = mul(x, x), xy = mul(x, y), yy = mul(y, y);
        sxx += xx; sxy += xy; syy += yy; sx += x; sy += y;
        sxxX += mul(xx, X); sxyX += mul(xy, X); syyX += mul(yy, X); sxX += mul(x, X); syX += mul(y, X); sX += X;
        sxxY += mul(xx, Y); sxyY += mul(xy, Y); syyY += mul(yy, Y); sxY += mul(x, Y); syY += mul(y, Y); sY += Y;
        sxxS += mul(xx, S); sxyS += mul(xy, S); syyS += mul(yy, S); sxS += mul(x, S); syS += mul(y, S);
    }
    const f64 rows[8][8] = {
        {f64(sxx), f64(sxy), f64(sx), 0, 0, 0, -f64(sxxX), -f64(sxyX)},
        {f64(sxy), f64(syy), f64(sy), 0, 0, 0, -f64(sxyX), -f64(syyX)},
        {f64(sx), f64(sy), f64(n), 0, 0, 0, -f64(sxX), -f64(syX)},
        {0, 0, 0, f64(sxx), f64(sxy), f64(sx), -f64(sxxY), -f64(sxyY)},
        {0, 0, 0, f64(sxy), f64(syy), f64(sy), -f64(sxyY), -f64(syyY)},
        {0, 0, 0, f64(sx), f64(sy), f64(n), -f64(sxY), -f64(syY)},
        {-f64(sxxX), -f64(sxyX), -f64(sxX), -f64(sxxY), -f64(sxyY), -f64(sxY), f64(sxxS), f64(sxyS)},
        {-f64(sxyX), -f64(syyX), -f64(syX), -f64(sxyY), -f64(syyY), -f64(syY), f64(sxyS), f64(syyS)},
    };
    std::memcpy(matrix, rows, sizeof(rows));
    const f64 right[8] = {f64(sxX), f64(syX), f64(sX), f64(sxY), f64(syY), f64(sY), -f64(sxS), -f64(syS)};
    std::memcpy(rhs, right, sizeof(right));
}

}  // namespace

i32 DM_PerspectiveNormalEquations(const GEO_POINT *source, const GEO_POINT *target, i32 count, f64 matrix[64],
                                  f64 rhs[8]) {
    NormalEquations(source, target, count, matrix, rhs, [](i64 a, i64 b) { return a * b; });
    return 1;
}

i32 DM_PerspectiveNormalEquations32(const GEO_POINT *source, const GEO_POINT *target, i32 count, f64 matrix[64],
                                    f64 rhs[8]) {
    if (count < 4) return 0;
    // Each product wraps as an unsigned 32-bit value read back as signed: defined where a
    // signed 32-bit product would overflow.
    NormalEquations(source, target, count, matrix, rhs, [](i64 a, i64 b) {
        return static_cast<i64>(static_cast<i32>(static_cast<u32>(a) * static_cast<u32>(b)));
    });
    return 1;
}

namespace {

// LDLt of the lower triangle of m, the unit factor written into l (which may be m itself),
// the solution over b. 0 when a pivot is 0 or not finite.
i32 SolveLdlt8With(const f64 *m, f64 *l, f64 *b) {
    f64 d[8] = {};
    for (i32 j = 0; j < 8; ++j) {
        f64 v = m[j * 8 + j];
        for (i32 k = 0; k < j; ++k) v -= d[k] * l[j * 8 + k] * l[j * 8 + k];
        d[j] = v;
        if (v == 0.0 || !std::isfinite(v)) return 0;
        for (i32 i = j + 1; i < 8; ++i) {
            f64 e = m[i * 8 + j];
            for (i32 k = 0; k < j; ++k) e -= d[k] * l[i * 8 + k] * l[j * 8 + k];
            l[i * 8 + j] = e / v;
        }
        l[j * 8 + j] = 1.0;
    }
    for (i32 i = 0; i < 8; ++i) {
        for (i32 k = 0; k < i; ++k) b[i] -= l[i * 8 + k] * b[k];
    }
    for (i32 i = 0; i < 8; ++i) b[i] /= d[i];
    for (i32 i = 7; i >= 0; --i) {
        for (i32 k = i + 1; k < 8; ++k) b[i] -= l[k * 8 + i] * b[k];
    }
    return 1;
}

}  // namespace

i32 DM_SolveLdlt8(f64 m[64], f64 b[8]) { return SolveLdlt8With(m, m, b); }

i32 DM_SolveLdlt8Keep(const f64 matrix[64], f64 rhs[8]) {
    if (matrix == nullptr || rhs == nullptr) return 0;
    f64 factor[64] = {};
    return SolveLdlt8With(matrix, factor, rhs);
}

i32 DM_FitPerspectiveInt(const GEO_POINT *source, const GEO_POINT *target, i32 count, PERSPECTIVE *out, i32 scale) {
    if (source == nullptr || target == nullptr || out == nullptr || count <= 3) return 0;
    f64 m[64], b[8];
    DM_PerspectiveNormalEquations(source, target, count, m, b);
    if (!DM_SolveLdlt8(m, b)) return 0;
    i64 c[8];
    for (i32 i = 0; i < 8; ++i) {
        const f64 v = b[i] * scale;
        if (!std::isfinite(v) || std::fabs(v) >= kCoefficientLimit) return 0;
        c[i] = static_cast<i64>(v);
    }
    for (i32 i = 0; i < 8; ++i) out->c[i] = c[i];
    out->c[8] = scale;
    return 1;
}

i32 DM_SolveCompletePivot(f64 *a, f64 *b, i32 n) {
    if (a == nullptr || b == nullptr || n < 1 || n > 8) return 0;
    i32 perm[8] = {};
    for (i32 k = 0; k + 1 < n; ++k) {
        f64 best = -1.0;
        i32 pr = k, pc = k;
        for (i32 i = k; i < n; ++i) {
            for (i32 j = k; j < n; ++j) {
                const f64 v = std::fabs(a[i * n + j]);
                if (v > best) {
                    best = v;
                    pr = i;
                    pc = j;
                }
            }
        }
        if (!(best + 1.0 != 1.0)) return 0;
        if (pc != k) {
            for (i32 i = 0; i < n; ++i) {
                const f64 t = a[i * n + k];
                a[i * n + k] = a[i * n + pc];
                a[i * n + pc] = t;
            }
        }
        perm[k] = pc;
        if (pr != k) {
            for (i32 j = k; j < n; ++j) {
                const f64 t = a[k * n + j];
                a[k * n + j] = a[pr * n + j];
                a[pr * n + j] = t;
            }
            const f64 t = b[k];
            b[k] = b[pr];
            b[pr] = t;
        }
        const f64 p = a[k * n + k];
        for (i32 j = k + 1; j < n; ++j) a[k * n + j] /= p;
        b[k] /= p;
        for (i32 i = k + 1; i < n; ++i) {
            const f64 f = a[i * n + k];
            for (i32 j = k + 1; j < n; ++j) a[i * n + j] -= f * a[k * n + j];
            b[i] -= b[k] * f;
        }
    }
    const f64 last = a[(n - 1) * n + (n - 1)];
    if (!(std::fabs(last) + 1.0 != 1.0)) return 0;
    b[n - 1] /= last;
    for (i32 i = n - 2; i >= 0; --i) {
        for (i32 j = i + 1; j < n; ++j) b[i] -= a[i * n + j] * b[j];
    }
    perm[n - 1] = n - 1;
    for (i32 k = n - 1; k >= 0; --k) {
        if (perm[k] != k) {
            const f64 t = b[k];
            b[k] = b[perm[k]];
            b[perm[k]] = t;
        }
    }
    return 1;
}

namespace {

void SmoothCoordinate(GEO_POINT *points, i32 count, bool isX) {
    f64 st2 = 0, st = 0, st2v = 0, stv = 0, st2v2 = 0, sv = 0, stv2 = 0;
    for (i32 t = 0; t < count; ++t) {
        const f64 v = isX ? points[t].x : points[t].y;
        const f64 tt = t;
        st2 += tt * tt;
        st += tt;
        st2v += tt * tt * v;
        stv += tt * v;
        st2v2 += tt * tt * v * v;
        sv += v;
        stv2 += tt * v * v;
    }
    f64 m[9] = {st2, st, -st2v, st, f64(count), -stv, -st2v, -stv, st2v2};
    f64 r[3] = {stv, sv, -stv2};
    if (!DM_SolveCompletePivot(m, r, 3)) return;
    const f64 q = r[0], p = r[1], rr = r[2];
    for (i32 t = 0; t < count; ++t) {
        const f64 den = 1.0 + rr * t;
        if (den == 0.0) continue;
        const f64 v = (p + q * t) / den + 0.5;
        // A near-singular fit can put a value out of range: that point keeps its own.
        if (!std::isfinite(v) || v <= -2147483649.0 || v >= 2147483648.0) continue;
        (isX ? points[t].x : points[t].y) = static_cast<i32>(v);
    }
}

}  // namespace

void DM_SmoothPointsProjective(GEO_POINT *points, i32 count) {
    if (points == nullptr || count <= 0) return;
    SmoothCoordinate(points, count, true);
    SmoothCoordinate(points, count, false);
}

void DM_RegularizeLattice(DM_GEOMETRY *geo) {
    if (geo == nullptr) return;
    const i32 NR = geo->regionRows;
    const i32 NC = geo->regionCols;
    if (NC <= 1 || NR < 1 || NR >= kDmLatticeSide || NC >= kDmLatticeSide) return;
    GEO_POINT w[kDmLatticeSide][kDmLatticeSide];
    std::memcpy(w, geo->lattice, sizeof(w));
    for (i32 r0 = 0; r0 < NR; r0 += kBlockRegions) {
        const i32 r1 = NR > r0 + 2 ? r0 + 3 : NR;
        const i32 rs = r1 - r0 <= 1 ? (r0 >= 2 ? r0 - 1 : 0) : r0;
        for (i32 c0 = 0; c0 < NC; c0 += kBlockRegions) {
            const i32 c1 = NC > c0 + 2 ? c0 + 3 : NC;
            const i32 cs = c1 - c0 <= 1 ? (c0 >= 2 ? c0 - 1 : 0) : c0;
            GEO_POINT src[kWindowPairs], dst[kWindowPairs];
            i32 n = 0;
            for (i32 r = rs; r <= r1; ++r) {
                for (i32 c = cs; c <= c1 && n < kWindowPairs; ++c) {
                    src[n] = GEO_POINT{c, r};
                    dst[n] = geo->lattice[r][c];
                    ++n;
                }
            }
            PERSPECTIVE t{};
            // A degenerate window keeps the block's measured nodes.
            const bool fitted = DM_FitPerspectiveInt(src, dst, n, &t, kLatticeScale) != 0;
            for (i32 r = r0; r <= r1; ++r) {
                for (i32 c = c0; c <= c1; ++c) {
                    GEO_POINT p = geo->lattice[r][c];
                    if (fitted) {
                        i32 X = 0, Y = 0;
                        if (Geo_MapPointPerspective(&t, c, r, &X, &Y)) p = GEO_POINT{X, Y};
                    }
                    if (((r & 3) == 3 && r0 > 0) || ((c & 3) == 3 && c0 > 0)) {
                        w[r][c] = GEO_POINT{(w[r][c].x + p.x + 1) / 2, (w[r][c].y + p.y + 1) / 2};
                    } else {
                        w[r][c] = p;
                    }
                }
            }
        }
    }
    for (i32 r = 0; r <= NR; ++r) {
        for (i32 c = 0; c <= NC; ++c) geo->lattice[r][c] = w[r][c];
    }
}

}  // namespace vexo

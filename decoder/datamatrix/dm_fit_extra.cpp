// Fitting and resampling routines that no decode path calls (see dm_geometry_extra.h).
#include <cmath>
#include <limits>

#include "core/pixel.h"
#include "datamatrix/dm_geometry_extra.h"
#include "datamatrix/dm_regularize.h"
#include "toolkit/geometry_numeric.h"

namespace vexo {

namespace {

// a * b + c * d + e in 64 bits; false on overflow.
bool Affine64(i64 a, i64 b, i64 c, i64 d, i64 e, i64 *out) {
    i64 p = 0, q = 0, s = 0;
    if (__builtin_mul_overflow(a, b, &p) || __builtin_mul_overflow(c, d, &q)) return false;
    if (__builtin_add_overflow(p, q, &s) || __builtin_add_overflow(s, e, out)) return false;
    return true;
}

// (2 den + 4 n) / den for one coordinate; false on overflow or den = 0.
bool QuarterOf(i64 n, i64 den, i64 *out) {
    i64 n4 = 0, d2 = 0, sum = 0;
    if (den == 0 || __builtin_mul_overflow(n, 4, &n4) || __builtin_mul_overflow(den, 2, &d2) ||
        __builtin_add_overflow(n4, d2, &sum)) {
        return false;
    }
    // The one quotient that leaves 64 bits.
    if (sum == std::numeric_limits<i64>::min() && den == -1) return false;
    *out = sum / den;
    return true;
}

// Maps (x, y) to quarter units; false when a step overflows, den = 0 counts as (0, 0).
bool MapQuarter(const PERSPECTIVE &t, i64 x, i64 y, bool zeroDenIsOrigin, i64 *X, i64 *Y) {
    i64 den = 0, nx = 0, ny = 0;
    if (!Affine64(t.c[6], x, t.c[7], y, t.c[8], &den)) return false;
    if (den == 0) {
        if (!zeroDenIsOrigin) return false;
        *X = *Y = 0;
        return true;
    }
    if (!Affine64(t.c[0], x, t.c[1], y, t.c[2], &nx) || !Affine64(t.c[3], x, t.c[4], y, t.c[5], &ny)) return false;
    return QuarterOf(nx, den, X) && QuarterOf(ny, den, Y);
}

}  // namespace

i32 DM_SampleBilinear16Default(i32 x16, i32 y16, i32 defaultGrey) {
    const i64 w = g_image.width, h = g_image.height;
    if (g_image.data == nullptr || x16 >= (w - 1) * 16 || y16 >= (h - 1) * 16) return defaultGrey;
    const i32 ix = x16 >> 4, iy = y16 >> 4, fx = x16 & 15, fy = y16 & 15;
    const u8 *p = g_image.data + iy * w + ix;
    const i32 w11 = fx * fy, w10 = 16 * fx - w11, w01 = 16 * fy - w11, w00 = 256 - 16 * fy - w10;
    return (w00 * p[0] + w10 * p[1] + w01 * p[w] + w11 * p[w + 1]) >> 8;
}

i32 DM_SampleBilinear16DefaultChecked(i32 x16, i32 y16, i32 defaultGrey) {
    if (x16 <= 0 || y16 <= 0) return defaultGrey;
    return DM_SampleBilinear16Default(x16, y16, defaultGrey);
}

i32 DM_ResampleGrid(RESAMPLE_WALK *walk) {
    if (walk == nullptr || walk->out == nullptr) return 0;
    for (i64 v = walk->firstRow; v <= walk->lastRow; ++v) {
        u8 *row = walk->out + walk->outOffset + (v - walk->firstRow) * walk->outStep;
        for (i64 u = walk->firstCol; u <= walk->lastCol; ++u) {
            // Formed per cell in 64 bits: the same values as the incremental 32-bit sums
            // wherever those fit, and no wrap-around for a larger transform.
            i64 X = 0, Y = 0;
            i32 grey = walk->defaultGrey;
            if (MapQuarter(walk->transform, u, v, true, &X, &Y)) {
                X += walk->xOffset;
                Y += walk->yOffset;
                if (X > 0 && Y > 0 && X <= kI32Max && Y <= kI32Max) {
                    grey = DM_SampleBilinear16Default(static_cast<i32>(X), static_cast<i32>(Y), walk->defaultGrey);
                }
            }
            row[u - walk->firstCol] = static_cast<u8>(grey);
        }
    }
    return 1;
}

i32 DM_MapPointQuarter(const PERSPECTIVE *t, i32 x, i32 y, i32 *outX, i32 *outY) {
    if (t == nullptr || outX == nullptr || outY == nullptr) return 0;
    i64 X = 0, Y = 0;
    if (!MapQuarter(*t, x, y, false, &X, &Y)) return 0;
    if (X < kI32Min || X > kI32Max || Y < kI32Min || Y > kI32Max) return 0;
    *outX = static_cast<i32>(X);
    *outY = static_cast<i32>(Y);
    return 1;
}

i32 DM_PerspectiveNormalEquationsChecked(const GEO_POINT *source, const GEO_POINT *target, i32 count,
                                         f64 matrix[64], f64 rhs[8]) {
    if (count < 4 || source == nullptr || target == nullptr || matrix == nullptr || rhs == nullptr) return 0;
    return DM_PerspectiveNormalEquations(source, target, count, matrix, rhs);
}

void DM_FitLineDouble(i32 count, const f64 *t, const f64 *v, f64 *slope, f64 *offset) {
    if (slope == nullptr || offset == nullptr) return;
    *slope = 0.0;
    *offset = 0.0;
    if (t == nullptr || v == nullptr || count <= 0) return;
    f64 st = 0, sv = 0, stt = 0, stv = 0;
    for (i32 i = 0; i < count; ++i) {
        st += t[i];
        sv += v[i];
        stt += t[i] * t[i];
        stv += t[i] * v[i];
    }
    const f64 n = count;
    const f64 d = st * st - n * stt;
    if (!(std::fabs(d) > 1e-5)) return;
    *slope = (sv * st - n * stv) / d;
    *offset = (stv * st - sv * stt) / d;
}

void DM_CubicNormalEquations(const f64 *t, const f64 *v, i32 count, f64 matrix[16], f64 rhs[4]) {
    if (matrix == nullptr || rhs == nullptr) return;
    f64 power[7] = {};  // sums of t^0 .. t^6
    f64 right[4] = {};  // sums of t^3 v .. t^0 v
    for (i32 i = 0; i < count && t != nullptr && v != nullptr; ++i) {
        f64 p = 1.0;
        for (i32 k = 0; k <= 6; ++k) {
            power[k] += p;
            if (k <= 3) right[3 - k] += p * v[i];
            p *= t[i];
        }
    }
    for (i32 r = 0; r < 4; ++r) {
        for (i32 c = 0; c < 4; ++c) matrix[r * 4 + c] = power[6 - r - c];
        rhs[r] = right[r];
    }
}

void DM_SmoothPointsLinear(GEO_POINT *points, i32 count) {
    if (points == nullptr || count <= 0 || count > kDmSmoothMaxPoints) return;
    f64 t[kDmSmoothMaxPoints], v[kDmSmoothMaxPoints];
    for (i32 axis = 0; axis < 2; ++axis) {
        for (i32 k = 0; k < count; ++k) {
            t[k] = k;
            v[k] = axis == 0 ? points[k].x : points[k].y;
        }
        f64 slope = 0, offset = 0;
        DM_FitLineDouble(count, t, v, &slope, &offset);
        for (i32 k = 0; k < count; ++k) {
            const i32 value = Num_SatTruncI32(offset + slope * k + 0.5);
            (axis == 0 ? points[k].x : points[k].y) = value;
        }
    }
}

}  // namespace vexo

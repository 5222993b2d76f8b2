// Micro QR grid: the line map and the curved map, fits that no decode path calls.
#include "core/pixel.h"
#include "qr/mqr_grid.h"

namespace vexo {

namespace {

constexpr f64 kCurvedScale = 2097152.0;  // 2^21
constexpr i32 kCurvedTerms = 11;

i64 RoundDiv(i64 n, i64 d) { return (n + d / 2) / d; }

}  // namespace

int MQR_LineMapAdd(MQR_LINE_MAP *m, const GEO_POINT *points, const i32 *t, const i32 *w, i32 count, i32 reset) {
    if (m == nullptr) return 0;
    if (reset != 0) *m = MQR_LINE_MAP{};
    if (count <= 0) return 1;
    if (points == nullptr || t == nullptr) return 0;
    for (i32 k = 0; k < count; ++k) {
        const f64 tt = t[k], x = points[k].x, y = points[k].y, weight = w != nullptr ? w[k] : 1.0;
        // x = p0 t + p1 - p4 t x and y = p2 t + p3 - p4 t y: one row of unknowns each.
        const f64 rx[5] = {tt, 1.0, 0.0, 0.0, -tt * x};
        const f64 ry[5] = {0.0, 0.0, tt, 1.0, -tt * y};
        for (i32 i = 0; i < 5; ++i) {
            for (i32 j = 0; j < 5; ++j) m->matrix[i][j] += weight * (rx[i] * rx[j] + ry[i] * ry[j]);
            m->right[i] += weight * (rx[i] * x + ry[i] * y);
        }
        ++m->samples;
    }
    return 1;
}

int MQR_LineMapSolve(MQR_LINE_MAP *m, i32 scale) {
    if (m == nullptr || m->samples < 3 || scale <= 0) return 0;
    f64 a[25], b[5];
    for (i32 i = 0; i < 5; ++i) {
        for (i32 j = 0; j < 5; ++j) a[5 * i + j] = m->matrix[i][j];
        b[i] = m->right[i];
    }
    if (Geo_SolveLinearSystem(a, b, 5) != 1) return 0;
    for (i32 i = 0; i < 5; ++i) {
        const f64 v = b[i] * scale;
        if (!(v > -9.0e18 && v < 9.0e18)) return 0;
        m->coef[i] = static_cast<i64>(v);
    }
    m->scale = scale;
    return 1;
}

int MQR_FitLineMap(MQR_LINE_MAP *m, const GEO_POINT *points, const i32 *t, i32 count, i32 scale) {
    return MQR_LineMapAdd(m, points, t, nullptr, count, 1) == 1 ? MQR_LineMapSolve(m, scale) : 0;
}

int MQR_LineMapPoint(const MQR_LINE_MAP *m, i32 t, GEO_POINT *out) {
    if (m == nullptr || out == nullptr) return 0;
    const __int128 d = static_cast<__int128>(m->scale) + static_cast<__int128>(m->coef[4]) * t;
    if (d == 0) return 0;
    const __int128 nx = static_cast<__int128>(m->coef[0]) * t + m->coef[1] + d / 2;
    const __int128 ny = static_cast<__int128>(m->coef[2]) * t + m->coef[3] + d / 2;
    const __int128 x = nx / d, y = ny / d;
    if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return 0;
    *out = {static_cast<i32>(x), static_cast<i32>(y)};
    return 1;
}

int MQR_FitCurvedMap(MQR_CURVED_MAP *m, const GEO_POINT *from, const GEO_POINT *to, i32 count) {
    if (m == nullptr || from == nullptr || to == nullptr || count < 6) return 0;
    *m = MQR_CURVED_MAP{};
    for (i32 k = 0; k < count; ++k) {
        m->fromMean[0] += from[k].x / static_cast<f64>(count);
        m->fromMean[1] += from[k].y / static_cast<f64>(count);
        m->toMean[0] += to[k].x / static_cast<f64>(count);
        m->toMean[1] += to[k].y / static_cast<f64>(count);
    }
    // Linearised: x' (c1 u^2 + c2 u + c3 v + 1) = a1 u^2 + a2 u + a3 v + a4, y' likewise.
    f64 a[kCurvedTerms * kCurvedTerms] = {}, b[kCurvedTerms] = {};
    for (i32 k = 0; k < count; ++k) {
        const f64 u = from[k].x - m->fromMean[0], v = from[k].y - m->fromMean[1];
        const f64 x = to[k].x - m->toMean[0], y = to[k].y - m->toMean[1];
        const f64 rx[kCurvedTerms] = {u * u, u, v, 1, 0, 0, 0, 0, -x * u * u, -x * u, -x * v};
        const f64 ry[kCurvedTerms] = {0, 0, 0, 0, u * u, u, v, 1, -y * u * u, -y * u, -y * v};
        for (i32 i = 0; i < kCurvedTerms; ++i) {
            for (i32 j = 0; j < kCurvedTerms; ++j) a[kCurvedTerms * i + j] += rx[i] * rx[j] + ry[i] * ry[j];
            b[i] += rx[i] * x + ry[i] * y;
        }
    }
    if (Geo_SolveLinearSystem(a, b, kCurvedTerms) != 1) return 0;
    for (i32 i = 0; i < kCurvedTerms; ++i) {
        const f64 v = b[i] * kCurvedScale;
        if (!(v > -9.0e18 && v < 9.0e18)) return 0;
        m->coef[i] = b[i];
        m->coefInt[i] = static_cast<i64>(v);
    }
    return 1;
}

int MQR_CurvedMapPoint(const MQR_CURVED_MAP *m, i32 u, i32 v, GEO_POINT *out) {
    if (m == nullptr || out == nullptr) return 0;
    const f64 cu = u - m->fromMean[0], cv = v - m->fromMean[1];
    const f64 den = m->coef[8] * cu * cu + m->coef[9] * cu + m->coef[10] * cv + 1.0;
    if (den == 0.0) return 0;
    const f64 x = (m->coef[0] * cu * cu + m->coef[1] * cu + m->coef[2] * cv + m->coef[3]) / den + m->toMean[0];
    const f64 y = (m->coef[4] * cu * cu + m->coef[5] * cu + m->coef[6] * cv + m->coef[7]) / den + m->toMean[1];
    if (!(x > -2.0e9 && x < 2.0e9 && y > -2.0e9 && y < 2.0e9)) return 0;
    // Rounded by half the denominator, in the 2^21 integer scale.
    const i64 d = static_cast<i64>(kCurvedScale);
    out->x = static_cast<i32>(RoundDiv(static_cast<i64>(x * kCurvedScale) + (x < 0 ? -d : 0), d));
    out->y = static_cast<i32>(RoundDiv(static_cast<i64>(y * kCurvedScale) + (y < 0 ? -d : 0), d));
    return 1;
}

int MQR_SampleCurvedMap(const MQR_CURVED_MAP *m, i32 u0, i32 v0, i32 u1, i32 v1, u8 *out, i32 rowStep) {
    if (m == nullptr || out == nullptr || u1 < u0 || v1 < v0 || u1 - u0 >= 256 || v1 - v0 >= 256 ||
        rowStep < u1 - u0 + 1 || g_frame.sampleBilinear == nullptr) {
        return 0;
    }
    for (i32 v = v0; v <= v1; ++v) {
        for (i32 u = u0; u <= u1; ++u) {
            GEO_POINT p{};
            const i32 value = MQR_CurvedMapPoint(m, u, v, &p) == 1 ? g_frame.sampleBilinear(p.x, p.y, 128) : 128;
            out[(v - v0) * rowStep + (u - u0)] = static_cast<u8>(value);
        }
    }
    return 1;
}

}  // namespace vexo

// The merged profile: every line resampled through the line model and averaged (wide
// elements), or all samples merged by common position and estimated by a local
// curvature-corrected regression every quarter pixel (narrow elements).
#include <cmath>
#include <cstring>

#include "linear_image/lineimg_profile.h"

namespace vexo {

namespace {

constexpr i32 kGapRows = 17;
constexpr i32 kCurveCols = 17;
constexpr i8 kCorrection[kGapRows][kCurveCols] = {
    {0, 2, 5, 7, 9, 11, 14, 16, 18, 20, 23, 25, 27, 29, 32, 34, 36},
    {0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30, 32},
    {0, 2, 4, 5, 7, 9, 11, 12, 14, 16, 18, 20, 21, 23, 25, 27, 29},
    {0, 2, 3, 5, 6, 8, 9, 11, 13, 14, 16, 17, 19, 20, 22, 24, 25},
    {0, 1, 3, 4, 6, 7, 8, 10, 11, 12, 14, 15, 17, 18, 19, 21, 22},
    {0, 1, 2, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 16, 17, 18, 19},
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 17},
    {0, 1, 2, 3, 4, 4, 5, 6, 7, 8, 9, 10, 11, 11, 12, 13, 14},
    {0, 1, 2, 2, 3, 4, 5, 5, 6, 7, 8, 8, 9, 10, 11, 11, 12},
    {0, 1, 1, 2, 3, 3, 4, 4, 5, 6, 6, 7, 8, 8, 9, 9, 10},
    {0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 9},
    {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 4, 5, 5, 6, 6, 7, 7},
    {0, 0, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 5, 5, 5, 6, 6},
    {0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 4, 5, 5},
    {0, 0, 1, 1, 1, 1, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 5},
    {0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4},
    {0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4},
};
static_assert(sizeof(kCorrection) == kGapRows * kCurveCols);

constexpr i32 kMinStart = 32;
constexpr i32 kStep = 4;      // 16 / 4 samples per pixel
constexpr i32 kHalfWindow = 8;
constexpr i32 kMaxOffset = 26;
constexpr i32 kMaxGap = 16;
constexpr i32 kListMargin = 64;
constexpr i32 kFirstReach = 128;

// Common position of sample k on line j, rounded.
f64 CommonPosition(const LINE_MODEL *m, f64 k, i32 j) { return 16.0 * (k - m->a0 - m->b0 * j) / (m->a1 + m->b1 * j); }

i32 Round(f64 v) { return static_cast<i32>(std::lround(v)); }

}  // namespace

i32 LineImg_CurvatureCorrection(i32 gap, i32 d) {
    if (gap < 0 || gap >= kGapRows) return 0;
    const i32 a = d < 0 ? -d : d;
    if (a >= kCurveCols) return 0;
    return d < 0 ? -kCorrection[gap][a] : kCorrection[gap][a];
}

int LineImg_ModelUsable(const LINE_MODEL *m, i32 n, i32 l) {
    if (m == nullptr || n < 2 || l < 1 || l > kProfLines) return 0;
    if (!std::isfinite(m->a0) || !std::isfinite(m->a1) || !std::isfinite(m->b0) || !std::isfinite(m->b1)) return 0;
    for (i32 j = 0; j < l; ++j) {
        const f64 scale = m->a1 + m->b1 * j;
        if (!std::isfinite(scale) || std::fabs(scale) < 1e-6) return 0;
        const f64 x0 = CommonPosition(m, 0, j), x1 = CommonPosition(m, n - 1, j);
        if (!(x0 >= -32768.0 && x0 <= 32767.0 && x1 >= -32768.0 && x1 <= 32767.0)) return 0;
    }
    return 1;
}

i32 LineImg_ResampleProfile(const LINE_MODEL *m, const PROFILE_LINES *lines, u16 *profile, i32 capacity) {
    if (profile == nullptr || lines == nullptr || capacity <= 0) return 0;
    std::memset(profile, 0, static_cast<size_t>(capacity) * sizeof(u16));
    const i32 n = lines->n, l = lines->l;
    if (LineImg_ModelUsable(m, n, l) == 0) return 0;
    const i32 s0 = Round(CommonPosition(m, 0, 0)), s1 = Round(CommonPosition(m, 0, l - 1));
    const i32 e0 = Round(CommonPosition(m, n - 1, 0)), e1 = Round(CommonPosition(m, n - 1, l - 1));
    i32 start = s0 > s1 ? s0 : s1;
    if (start < kMinStart) start = kMinStart;
    i32 end = e0 < e1 ? e0 : e1;
    if (end > (n - 3) * 16) end = (n - 3) * 16;
    i32 count = 0;
    for (i32 j = 0; j < l; ++j) {
        const u8 *s = lines->rows[j];
        const f64 base = 16.0 * (m->a0 + m->b0 * j), scale = m->a1 + m->b1 * j;
        i32 c = 0;
        for (i32 x = start; x < end && c < capacity; x += kStep, ++c) {
            const f64 ef = std::floor(base + scale * x);
            i32 k = 0, f = 0;
            // Positions the model puts off the line read its nearest pair.
            if (ef < 0) {
                k = 0;
            } else if (ef >= 16.0 * (n - 1)) {
                k = n - 2;
                f = 16;
            } else {
                const i32 e = static_cast<i32>(ef);
                k = e >> 4;
                f = e & 15;
            }
            profile[c] = static_cast<u16>(profile[c] + (((s[k + 1] - s[k]) * f + 16 * s[k] + 2) >> 2));
        }
        if (c > count) count = c;
    }
    for (i32 i = 0; i < count; ++i) profile[i] = static_cast<u16>(profile[i] / l);
    return count;
}

int LineImg_MergeSamples(const LINE_MODEL *m, const PROFILE_LINES *lines, PROFILE_MERGED *out) {
    out->count = 0;
    const i32 n = lines->n, l = lines->l;
    if (l * n < 256 || LineImg_ModelUsable(m, n, l) == 0) return 0;
    const bool reverse = CommonPosition(m, 0, l - 1) < CommonPosition(m, 0, 0);
    i32 count = 0;
    for (i32 k = 1; k <= n - 2; ++k) {
        for (i32 t = 0; t < l; ++t) {
            const i32 j = reverse ? l - 1 - t : t;
            if (count >= out->cap) return 0;
            const u8 *s = lines->rows[j];
            const i32 x = Round(CommonPosition(m, k, j));
            i32 at = count;
            while (at > 0 && out->position[at - 1] > x) {
                out->position[at] = out->position[at - 1];
                out->d2[at] = out->d2[at - 1];
                out->value[at] = out->value[at - 1];
                --at;
            }
            out->position[at] = static_cast<i16>(x);
            out->d2[at] = static_cast<i16>(s[k - 1] + s[k + 1] - 2 * s[k]);
            out->value[at] = s[k];
            ++count;
        }
    }
    out->count = count;
    return count > 0 && out->position[0] >= -kFirstReach && out->position[0] <= kFirstReach ? 1 : 0;
}

i32 LineImg_SuperResolveMerged(const PROFILE_MERGED *mg, u16 *profile, i32 capacity) {
    const i32 cnt = mg->count;
    if (profile == nullptr || capacity <= 0 || cnt <= 2 * kListMargin) return 0;
    const i16 *p = mg->position;
    const i32 a = 16 * (p[kListMargin] / 16 + 1);
    if (a < 0 || a >= 32768) return 0;
    const i32 end = p[cnt - kListMargin];
    i32 lo = 0, hi = 0, moves = 0, out = 0, prevD = 0;
    for (i32 c = a + 12; c + kHalfWindow < end && out < capacity; c += kStep) {
        while (lo < cnt && p[lo] < c - kHalfWindow) ++lo;
        if (hi < lo) hi = lo;
        while (hi < cnt && p[hi] < c + kHalfWindow) ++hi;
        i32 wl = lo, wh = hi;  // [wl, wh)
        i32 g = 0;
        for (i32 i = (wl > 0 ? wl - 1 : 0); i + 1 < cnt && i < wh; ++i)
            if (p[i + 1] - p[i] > g) g = p[i + 1] - p[i];
        while (wh > wl ? (p[wh - 1] - p[wl] - g) <= 7 : true) {
            if (wl == 0 && wh == cnt) break;
            if (wl > 0) {
                const i32 b = p[wl - 1];
                while (wl > 0 && p[wl - 1] >= b - 1) --wl;
            }
            if (wh < cnt) {
                const i32 e = p[wh];
                while (wh < cnt && p[wh] <= e + 1) ++wh;
            }
            if (wh - wl > kProfWindowCap) return 0;
        }
        // The window's end walks forward only; each sample it reaches is one move.
        if (wh > moves) moves = wh;
        if (moves >= kProfMoveCap) return 0;
        if (wh - wl > kProfWindowCap) return 0;
        const u16 previous = out > 0 ? profile[out - 1] : 0;
        bool value = wh > wl;
        f32 s[5] = {}, t[3] = {};
        for (i32 i = wl; i < wh && value; ++i) {
            const i32 q = p[i] - c;
            if (q > kMaxOffset || q < -128) value = false;
            const f32 fq = static_cast<f32>(q), d2 = static_cast<f32>(mg->d2[i]);
            s[0] += 1;
            s[1] += fq;
            s[2] += fq * fq;
            s[3] += fq * fq * fq;
            s[4] += fq * fq * fq * fq;
            t[0] += d2;
            t[1] += d2 * fq;
            t[2] += d2 * fq * fq;
        }
        i32 d = 0;
        if (value) {
            // Constant term of the parabola by Cramer's rule.
            const f32 det = s[0] * (s[2] * s[4] - s[3] * s[3]) - s[1] * (s[1] * s[4] - s[3] * s[2]) +
                            s[2] * (s[1] * s[3] - s[2] * s[2]);
            const f32 num = t[0] * (s[2] * s[4] - s[3] * s[3]) - s[1] * (t[1] * s[4] - s[3] * t[2]) +
                            s[2] * (t[1] * s[3] - s[2] * t[2]);
            if (det != 0.0f && std::isfinite(det) && std::isfinite(num)) {
                const f32 r = num / det;
                d = r > 16.0f ? 16 : r < -16.0f ? -16 : static_cast<i32>(std::lround(r));
            }
            if (g > kMaxGap) value = false;
        }
        u16 v = previous;
        if (value) {
            const i32 corr = LineImg_CurvatureCorrection(g, d);
            i64 sq = 0, sq2 = 0, sy = 0, sqy = 0;
            const i64 nn = wh - wl;
            for (i32 i = wl; i < wh; ++i) {
                const i64 q = p[i] - c;
                const i64 y = corr != 0 ? static_cast<i16>((128 * static_cast<i32>(mg->value[i]) -
                                                            corr * static_cast<i32>(q * q) + 16) >> 5)
                                        : 4 * static_cast<i64>(mg->value[i]);
                sq += q;
                sq2 += q * q;
                sy += y;
                sqy += q * y;
            }
            const i64 den = nn * sq2 - sq * sq;
            i64 aa = den != 0 ? (sq2 * sy - sq * sqy) / den : 0;
            if (aa < 0) aa = 0;
            if (aa > 1023) aa = 1023;
            v = static_cast<u16>(aa);
        }
        profile[out++] = v;
        if (out >= 3) {
            const i8 dd = static_cast<i8>(static_cast<u8>((profile[out - 3] + profile[out - 1] - 2 * profile[out - 2]) & 0xFF));
            if ((dd < 0 && prevD > 0) || (dd > 0 && prevD < 0))
                profile[out - 2] = static_cast<u16>((profile[out - 3] + profile[out - 1] + 1) >> 1);
        }
        prevD = d;
    }
    if (out >= 4) profile[0] = profile[1] = profile[2] = profile[3];
    return out;
}

i32 LineImg_SuperResolve(const LINE_MODEL *m, const PROFILE_LINES *lines, PROFILE_MERGED *merged, u16 *profile,
                         i32 capacity) {
    if (LineImg_MergeSamples(m, lines, merged) == 0) return 0;
    return LineImg_SuperResolveMerged(merged, profile, capacity);
}

}  // namespace vexo

// Further counters, samplers and accessors of the geometry code that no decode path calls
// (see dm_geometry_extra.h).
#include <cmath>

#include "core/pixel.h"
#include "datamatrix/dm_geometry_extra.h"
#include "datamatrix/dm_line_walk.h"
#include "datamatrix/dm_locate.h"
#include "datamatrix/dm_sampling.h"
#include "toolkit/geometry_points.h"
#include "toolkit/geometry_numeric.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

i32 g_locateWord0 = 0;
i32 g_locateWord2 = 0;

i32 Centroid(const u8 *s, i32 i, i32 j, bool up) {
    i64 weight = 0, total = 0;
    for (i32 k = i; k < j; ++k) {
        const i32 step = up ? s[k + 1] - s[k] : s[k] - s[k + 1];
        weight += static_cast<i64>(k) * step;
        total += step;
    }
    return total > 0 ? static_cast<i32>(10 * weight / total + 5) : -1;
}

i32 FramePixelOr(const u8 *image, i32 x, i32 y, i32 outside) {
    if (image == nullptr || x < 0 || y < 0 || x >= g_image.width || y >= g_image.height) return outside;
    return image[static_cast<i64>(y) * g_image.width + x];
}

// The strongest strict run of one direction: true with its ends and amplitude.
bool StrongestRunOf(const u8 *s, i32 n, bool falling, i32 *first, i32 *last, i32 *amplitude) {
    i32 best = 0;
    DM_ForEachRun(s, n, [&](i32 i, i32 j, i32 amp, bool up) {
        if (up == falling || amp <= best) return;
        best = amp;
        *first = i;
        *last = j;
    });
    *amplitude = best;
    return best > 0;
}

// Calls descent(first, last) for every maximal strict descent of v[0..n) while it answers
// true.
template <typename Fn>
void ForEachDescent(const i32 *v, i32 n, Fn descent) {
    i32 i = 0;
    while (v != nullptr && i + 1 < n) {
        if (v[i + 1] >= v[i]) {
            ++i;
            continue;
        }
        i32 j = i + 1;
        while (j + 1 < n && v[j + 1] < v[j]) ++j;
        if (!descent(i, j)) return;
        i = j;
    }
}

i32 ReachModules(const DM_PREPARED_CANDIDATE *cand, const DM_GEOMETRY *geo, i32 first, i32 k) {
    if (cand == nullptr || geo == nullptr) return 0;
    const i32 a = first != 0 ? geo->moduleRows : geo->regionCols;
    const i32 b = first != 0 ? geo->regionRows : geo->moduleCols;
    // A new candidate's cleared record has no counts yet.
    if (a == 0 || b == 0) return 0;
    const i64 arm = first != 0 ? cand->arm1Length : cand->arm2Length;
    return static_cast<i32>(k * arm / a / b);
}

}  // namespace

i32 DM_EdgeCentresWithAmplitudes(const u8 *run, i32 n, i32 *centroids, i32 *amplitudes, i32 minimum) {
    if (run == nullptr || centroids == nullptr || amplitudes == nullptr) return 0;
    i32 count = 0;
    DM_ForEachRun(run, n, [&](i32 i, i32 j, i32 amp, bool up) {
        if (count >= kDmMaxRunEntries) return;
        amplitudes[count] = amp;
        centroids[count] = amp >= minimum ? Centroid(run, i, j, up) : -1;
        ++count;
    });
    return count;
}

i32 DM_RelativeContrastSum(const u8 *run, i32 n) {
    if (run == nullptr || n < 2) return 0;
    i32 sum = 0;
    DM_ForEachRun(run, n, [&](i32 i, i32 j, i32 amp, bool) {
        const i32 upper = run[i] > run[j] ? run[i] : run[j];
        if (6 * amp >= upper) sum += amp;
    });
    return sum;
}

i32 DM_LineContrastSumAlt(u8 *image, GEO_POINT a, GEO_POINT b) {
    return DM_LineContrastSum(image, a, b, DM_GetNoiseThreshold());
}

i32 DM_SampleLineMajor(const u8 *image, i32 x0, i32 y0, i32 x1, i32 y1, u8 *out) {
    if (out == nullptr || image == nullptr || g_image.width <= 0) return 0;
    const GEO_POINT p{x0, y0}, q{x1, y1};
    const i32 l = DM_ChebyshevLength(p, q);
    const i64 points = static_cast<i64>(l) + 1;
    const i32 count = static_cast<i32>(points < g_image.width ? points : g_image.width);
    i32 previous = FramePixelOr(image, x0, y0, 128);
    out[0] = static_cast<u8>(previous);
    for (i32 k = 1; k < count; ++k) {
        const GEO_POINT pt = DM_WalkPoint(p, q, l, k);
        previous = FramePixelOr(image, pt.x, pt.y, previous);
        out[k] = static_cast<u8>(previous);
    }
    return count;
}

i32 DM_SampleLineRepeat(const u8 *image, i32 x0, i32 y0, i32 x1, i32 y1, u8 *out) {
    const GEO_POINT p{x0, y0}, q{x1, y1};
    const i32 n = DM_ChebyshevLength(p, q);
    if (n < 2 || out == nullptr || image == nullptr || g_image.width <= 0) return 0;
    const i32 count = n < g_image.width ? n : g_image.width;
    const i32 first = FramePixelOr(image, x0, y0, 128);
    out[0] = static_cast<u8>(first);
    for (i32 k = 1; k < count; ++k) {
        const GEO_POINT pt = DM_WalkPoint(p, q, n, k);
        out[k] = static_cast<u8>(FramePixelOr(image, pt.x, pt.y, first));
    }
    return count;
}

i32 DM_ClassFromCount6(i32 v) {
    if (v >= 6 && v <= 20) return 1;
    if (v >= 21 && v <= 45) return 2;
    if (v >= 46 && v <= 70) return 3;
    if (v >= 71 && v <= 90) return 4;
    if (v >= 91 && v <= 99) return 5;
    return 6;
}

i32 DM_ClassFromCount(i32 v) { return v < 35 ? 1 : v < 60 ? 2 : v < 120 ? 4 : 6; }

i32 DM_PeakDrops30(const i32 *v, i32 n, i32 *peak) {
    constexpr i32 kMaxRecorded = 30;
    if (peak != nullptr) *peak = 0;
    if (v == nullptr || n < 2) return 0;
    i32 best = 150, recorded = 0, middle = 0;
    ForEachDescent(v, n, [&](i32 i, i32 j) {
        const i64 drop = static_cast<i64>(v[i]) - v[j];
        const i64 relative = v[j] > 0 ? drop * 255 / v[j] : drop * 10;
        if (relative > best) {
            best = relative > kI32Max ? kI32Max : static_cast<i32>(relative);
            middle = (i + j) / 2;
            ++recorded;
            if (peak != nullptr) *peak = best;
        }
        return recorded < kMaxRecorded;
    });
    return middle;
}

i32 DM_DiagonalTransitions40(const u8 *image, const DM_PREPARED_CANDIDATE *cand) {
    if (cand == nullptr || image == nullptr || g_image.width > kDmLineSamples) return 0;
    u8 samples[kDmLineSamples];
    const GEO_POINT ends[2][2] = {{cand->corner, cand->fourthCorner}, {cand->armEnd1, cand->armEnd2}};
    i32 sum = 0;
    for (const auto &e : ends) {
        const i32 n = DM_SampleLineMajor(image, e[0].x, e[0].y, e[1].x, e[1].y, samples);
        sum += DM_CountTransitions(samples, n, 7);
    }
    return sum / 40;
}

i32 DM_ProfileContrastSum(const u8 *run, i32 n, i32 t) {
    if (run == nullptr) return 0;
    i32 sum = 0;
    DM_ForEachRun(run, n, [&](i32, i32, i32 amp, bool) { sum += amp >= t ? amp : 0; });
    return sum;
}

i32 DM_SumInts(const i32 *v, i32 n) {
    i64 sum = 0;
    for (i32 i = 0; v != nullptr && i < n; ++i) sum += v[i];
    return static_cast<i32>(sum);
}

i32 DM_ReturnOne() { return 1; }

void DM_LargestDescent(const i32 *v, i32 n, DM_DESCENT *out) {
    if (out == nullptr) return;
    *out = DM_DESCENT{0, 0, 1, 0};
    i64 best = 0;
    ForEachDescent(v, n, [&](i32 i, i32 j) {
        const i64 drop = static_cast<i64>(v[i]) - v[j];
        if (drop > best) {
            best = drop;
            *out = DM_DESCENT{i, j, j - i + 1, drop > kI32Max ? kI32Max : static_cast<i32>(drop)};
        }
        return true;
    });
}

void DM_FillMissingPositions(i32 *v, i32 n) {
    constexpr i32 kMaxSpacing = 50;
    if (v == nullptr || n < 2) return;
    i32 hist[kMaxSpacing + 1] = {};
    for (i32 i = 0; i + 1 < n; ++i) {
        if (v[i] == -1 || v[i + 1] == -1) continue;
        const i64 d = static_cast<i64>(v[i + 1]) - v[i];
        if (d >= 1 && d <= kMaxSpacing) ++hist[d];
    }
    i32 spacing = 0;
    for (i32 d = 1; d <= kMaxSpacing; ++d) spacing = hist[d] > hist[spacing] ? d : spacing;
    if (spacing == 0) return;
    for (i32 i = 1; i < n; ++i) {
        if (v[i] == -1 && v[i - 1] != -1) v[i] = v[i - 1] + spacing;
    }
    for (i32 i = n - 2; i >= 0; --i) {
        if (v[i] == -1 && v[i + 1] != -1) v[i] = v[i + 1] - spacing;
    }
}

i32 DM_ShareCentresRounded(DM_BOUNDARY *src, DM_BOUNDARY *dst) {
    if (src == nullptr || dst == nullptr || src->hasCentres == 0) return 0;
    if (dst->hasCentres == 0) {
        const i64 e = 16 * static_cast<i64>(DM_ChebyshevLength(src->p0, src->p1));
        const i64 d = 16 * static_cast<i64>(DM_ChebyshevLength(dst->p0, dst->p1));
        if (e <= 0 || d <= 0 || src->count <= 0 || src->count > kDmBoundaryEntries) return 0;
        for (i32 i = 0; i < src->count; ++i) dst->centres[i] = static_cast<i32>((2 * d * src->centres[i] + 1) / (2 * e));
        dst->count = src->count;
        dst->hasCentres = 1;
        dst->hasPoints = 0;
    }
    if (dst->hasPoints != 0) return 1;
    const i64 d = 16 * static_cast<i64>(DM_ChebyshevLength(dst->p0, dst->p1));
    if (d <= 0 || dst->count <= 0 || dst->count > kDmBoundaryEntries) return 0;
    const GEO_POINT p{dst->p0.x * 16, dst->p0.y * 16}, q{dst->p1.x * 16, dst->p1.y * 16};
    const f64 length = std::sqrt(static_cast<f64>(q.x - static_cast<i64>(p.x)) * (q.x - static_cast<i64>(p.x)) +
                                 static_cast<f64>(q.y - static_cast<i64>(p.y)) * (q.y - static_cast<i64>(p.y)));
    for (i32 i = 0; i < dst->count; ++i) {
        const i32 step = Num_SatTruncI32(static_cast<f64>(dst->centres[i]) * length / static_cast<f64>(d));
        Geo_StepTowardsRound(&p, &q, step, &dst->points[i]);
    }
    dst->hasPoints = 1;
    return 1;
}

i32 DM_StrongestRun(const u8 *run, i32 n, i32 falling, DM_RUN_SPAN *out) {
    if (run == nullptr || out == nullptr) return 0;
    i32 first = 0, last = 0, amplitude = 0;
    if (!StrongestRunOf(run, n, falling != 0, &first, &last, &amplitude)) return 0;
    *out = DM_RUN_SPAN{first, last};
    return 1;
}

i32 DM_FirstModuleCentre(const u8 *run, i32 n, i32 falling) {
    if (run == nullptr || n < 2) return n > 0 ? n / 2 : 0;
    // The first run of the leading direction, then the first of the other after it.
    i32 lead = -1, follow = -1;
    DM_ForEachRun(run, n / 2, [&](i32 i, i32 j, i32, bool up) {
        const bool isFall = !up;
        if (lead < 0 && isFall == (falling != 0)) {
            lead = (i + j) / 2;
        } else if (lead >= 0 && follow < 0 && isFall != (falling != 0)) {
            follow = (i + j) / 2;
        }
    });
    return lead >= 0 && follow >= 0 ? (lead + follow) / 2 : n / 2;
}

i32 DM_StrongestRunCentre(const u8 *run, i32 n, i32 falling, i32 *amplitude) {
    if (amplitude != nullptr) *amplitude = 0;
    if (run == nullptr) return -1;
    i32 first = 0, last = 0, amp = 0;
    if (!StrongestRunOf(run, n, falling != 0, &first, &last, &amp)) return -1;
    if (amplitude != nullptr) *amplitude = amp;
    return (first + last) / 2;
}

i32 DM_CountTransitionsAuto(const u8 *run, i32 n, i32 t) {
    return DM_CountTransitions(run, n, t != 0 ? t : DM_DiagonalStepThreshold(run, n));
}

void DM_WalkCentres(GEO_POINT p, GEO_POINT q, const i32 *centres, i32 n) {
    for (i32 i = 0; centres != nullptr && i < n; ++i) {
        SEGMENT_STEP s{p.x, p.y, q.x, q.y, centres[i], 0, 0};
        Geo_SegmentPointAt(&s);
    }
}

void DM_AverageLists(const i32 *a, const i32 *b, i32 *out, i32 n) {
    if (a == nullptr || b == nullptr || out == nullptr) return;
    for (i32 i = 0; i < n; ++i) out[i] = static_cast<i32>((static_cast<i64>(a[i]) + b[i]) >> 1);
}

i32 DM_SampleBilinear16Checked(const u8 *image, i32 x16, i32 y16) {
    if (x16 <= 0 || y16 <= 0) return 128;
    return DM_SampleBilinear16(image, x16, y16);
}

void DM_SetLocateWord0(i32 v) { g_locateWord0 = v; }
void DM_SetLocateWord2(i32 v) { g_locateWord2 = v; }
i32 DM_GetLocateWord0() { return g_locateWord0; }
i32 DM_GetLocateWord2() { return g_locateWord2; }

i32 DM_Reach2Modules(const DM_PREPARED_CANDIDATE *cand, const DM_GEOMETRY *geo, i32 first) {
    return ReachModules(cand, geo, first, 2);
}

i32 DM_Reach3Modules(const DM_PREPARED_CANDIDATE *cand, const DM_GEOMETRY *geo, i32 first) {
    return ReachModules(cand, geo, first, 3);
}

void DM_FirstBoundaryPointOrEnd(GEO_POINT from, GEO_POINT to, i32 n, GEO_POINT *out) {
    if (out == nullptr) return;
    if (n == 1) {
        *out = to;
        return;
    }
    DM_FirstBoundaryPoint(from, to, n, out);
}

i32 DM_CompleteParallelogram(GEO_POINT a, GEO_POINT b, GEO_POINT c, GEO_POINT *out) {
    const GEO_POINT p{static_cast<i32>(static_cast<i64>(c.x) + a.x - b.x), static_cast<i32>(static_cast<i64>(c.y) + a.y - b.y)};
    if (out != nullptr) *out = p;
    return p.y;
}

}  // namespace vexo

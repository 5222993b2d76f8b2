// Module sampling of a located Data Matrix symbol: along every timing side the centres of
// the alternating modules are measured on the image, and each module is read where the line
// between matching centres of the left and right sides crosses the line between matching
// centres of the top and bottom sides. Solid sides borrow the opposite side's centres.
#include "datamatrix/dm_sampling.h"

#include <cstring>

#include "core/pixel.h"
#include "datamatrix/dm_locate.h"
#include "datamatrix/dm_regularize.h"
#include "datamatrix/dm_stages.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kPointLimit = 52;
constexpr i32 kOutsideGrey = 128;
constexpr i32 kProbeCentres = 257;
constexpr i32 kMinEstimate = 7;
constexpr i32 kMaxEstimate = 55;
constexpr i32 kRisingStart = 3;  // a rise must exceed this to count as an edge
constexpr i32 kRegionBlockOffset = kDmBinaryMatrixOffset;
static_assert(kDmBinaryMatrixOffset + kPointLimit * kPointLimit <= kDmWorkBufferBytes);

struct DM_BOUNDARY_PROBE {
    GEO_POINT p0, p1, q0, q1;
    i32 lines;
    i32 count;
    i32 forward;
    i32 polarity;
    i32 centres[kProbeCentres];
    u8 *profile;
    i32 length;
};

i64 Abs64(i64 v) { return v < 0 ? -v : v; }
i64 Cheb16(GEO_POINT a, GEO_POINT b) {
    const i64 dx = Abs64(16 * (static_cast<i64>(a.x) - b.x));
    const i64 dy = Abs64(16 * (static_cast<i64>(a.y) - b.y));
    return dx > dy ? dx : dy;
}

void ClearRecord(DM_BOUNDARY *r) { std::memset(r, 0, sizeof(*r)); }

// The probe's side moved i pixels into the region, summed into sums; the sample count.
i32 SumLine(u8 *image, const DM_BOUNDARY_PROBE *probe, i32 i, i32 *sums, i32 cap) {
    u8 line[kDmLineSamples];
    GEO_POINT a{}, b{};
    Geo_StepTowardsRound(&probe->p0, &probe->q0, i, &a);
    Geo_StepTowardsRound(&probe->p1, &probe->q1, i, &b);
    const i32 n = Geo_SampleLineImage(image, &a, &b, line, cap);
    for (i32 k = 0; k < n; ++k) sums[k] += line[k];
    return n;
}

// The midpoint (1/16 sample) of the strongest strict run of s[start..start+count-1]
// (rising or falling) whose amplitude exceeds 3; -1 when none.
i32 RunInWindow(const u8 *s, i32 start, i32 count, bool falling) {
    i32 best = kRisingStart;
    i32 result = -1;
    i32 i = 0;
    while (i + 1 < count) {
        const i32 a = s[start + i];
        const i32 b = s[start + i + 1];
        if (falling ? b < a : b > a) {
            i32 j = i + 1;
            while (j + 1 < count && (falling ? s[start + j + 1] < s[start + j] : s[start + j + 1] > s[start + j])) ++j;
            const i32 amp = falling ? a - s[start + j] : s[start + j] - a;
            if (amp > best) {
                best = amp;
                result = 16 * start + 8 * (i + j);
            }
            i = j;
        } else {
            ++i;
        }
    }
    return result;
}

}  // namespace

i32 DM_FallInWindow(const u8 *s, i32 start, i32 count) { return RunInWindow(s, start, count, true); }

i32 DM_EdgeInWindow(const u8 *s, i32 start, i32 count, i32 falling) {
    if (s == nullptr || start < 0 || count < 2) return -1;
    return falling != 0 ? DM_FallInWindow(s, start, count) : RunInWindow(s, start, count, false);
}

i32 DM_FindModuleCentresIn(const u8 *profile, i32 length, i32 polarity, i32 *count, i32 *centres, i32 capacity) {
    if (profile == nullptr || count == nullptr || centres == nullptr || length <= 0) return 0;
    i32 n = *count;
    if (n <= 0 || n >= 50) {
        DM_EstimateModuleCount(profile, length, count);
        n = *count;
        if (n < kMinEstimate || n > kMaxEstimate) return 0;
    }
    if (n + 3 > capacity) return 0;
    const i32 L = length;
    const i32 w = (n + 2 * L) / (2 * n);
    i32 win = (n + 3 * L) / (2 * n);
    i32 falling = polarity == 0 ? 1 : 0;
    i32 pos = 0, prev = 0, k = 0;
    while (pos < L && k <= n) {
        if (pos + win >= L) win = L - pos;
        i32 span = win + 1;
        if (pos + span > L) span = L - pos;
        const i32 e = DM_EdgeInWindow(profile, pos, span, falling);
        if (e >= 0 && e > prev) {
            pos = e >> 4;
            centres[k] = (e + prev) >> 1;
            prev = e;
        } else if (k == 0) {
            prev = 12 * w + 16 * pos;
            pos += w / 2;
            centres[0] = 16 * pos;
        } else {
            centres[k] = centres[k - 1] + 16 * w;
            pos = centres[k] >> 4;
            prev = 8 * w + 16 * pos;
        }
        ++k;
        falling ^= 1;
    }
    if (k == 0) return 0;
    if ((centres[k - 1] >> 4) < L - w / 2 && k < capacity) {
        centres[k] = centres[k - 1] + 16 * w;
        ++k;
    }
    if (L - (centres[k - 1] >> 4) > w + 1) return 0;
    for (i32 i = k; i < n; ++i) centres[i] = centres[k - 1];
    return 1;
}

namespace {

i32 FindModuleCentres(DM_BOUNDARY_PROBE *probe) {
    return DM_FindModuleCentresIn(probe->profile, probe->length, probe->polarity, &probe->count, probe->centres,
                                  kProbeCentres);
}

// 1 when the profile was formed and its centres found.
i32 BoundaryProfile(u8 *image, DM_BOUNDARY_PROBE *probe) {
    u8 *work = DM_WorkBuffer();
    if (work == nullptr || image == nullptr) return 0;
    probe->profile = work + kDmTimingSamplesOffset;
    i32 *sums = reinterpret_cast<i32 *>(work + kDmCountScratchOffset);
    if (probe->count > 6) {
        const i64 dx = Abs64(static_cast<i64>(probe->p0.x) - probe->p1.x);
        const i64 dy = Abs64(static_cast<i64>(probe->p0.y) - probe->p1.y);
        const i64 m10 = 10 * (dx > dy ? dx : dy) / probe->count;
        if (Abs64(m10 - 30) > 50) {
            probe->lines = 5;
        } else if (m10 < 21) {
            probe->lines = 2;
        }
    }
    const i32 cap = g_image.width < kDmLineSamples ? g_image.width : kDmLineSamples;
    std::memset(sums, 0, sizeof(i32) * kDmLineSamples);
    i32 n = 0;
    for (i32 i = 0; i < probe->lines; ++i) n = SumLine(image, probe, i, sums, cap);
    probe->length = n;
    if (n <= 0) return 0;
    i32 largest = 0;
    for (i32 k = 0; k < n; ++k) largest = sums[k] > largest ? sums[k] : largest;
    if (largest == 0) return 0;
    for (i32 k = 0; k < n; ++k) {
        const i32 v = static_cast<i32>(static_cast<i64>(sums[k]) * 255 / largest);
        probe->profile[probe->forward != 0 ? k : n - 1 - k] = static_cast<u8>(v);
    }
    return FindModuleCentres(probe);
}

// Takes the probe's centres into the record; 1 when it then has points.
i32 TakeCentres(const DM_BOUNDARY_PROBE *probe, DM_BOUNDARY *rec) {
    if (rec->count <= 0 || rec->count >= kPointLimit) return 0;
    for (i32 i = 0; i < rec->count; ++i) rec->centres[i] = probe->centres[i];
    rec->hasCentres = 1;
    return DM_EnsurePoints(rec, kPointLimit);
}

}  // namespace

i32 DM_CentresToPoints(DM_BOUNDARY *rec, i32 limit) {
    if (rec == nullptr || rec->count <= 0 || rec->count >= limit || rec->count > kDmBoundaryEntries) return 0;
    const i64 g = Cheb16(rec->p0, rec->p1);
    if (g <= 0) return 0;
    for (i32 i = 0; i < rec->count; ++i) {
        const i64 c = rec->centres[i];
        rec->points[i].x = static_cast<i32>(16LL * rec->p0.x + 16LL * (rec->p1.x - static_cast<i64>(rec->p0.x)) * c / g);
        rec->points[i].y = static_cast<i32>(16LL * rec->p0.y + 16LL * (rec->p1.y - static_cast<i64>(rec->p0.y)) * c / g);
    }
    rec->hasPoints = 1;
    return 1;
}

i32 DM_EnsurePoints(DM_BOUNDARY *rec, i32 limit) {
    if (rec == nullptr || rec->hasCentres == 0) return 0;
    if (rec->hasPoints != 0) return 1;
    return DM_CentresToPoints(rec, limit);
}

i32 DM_ShareCentres(DM_BOUNDARY *src, DM_BOUNDARY *dst, i32 limit) {
    if (src == nullptr || dst == nullptr || !DM_EnsurePoints(src, limit)) return 0;
    if (dst->hasCentres == 0) {
        const i64 gs = Cheb16(src->p0, src->p1);
        const i64 gd = Cheb16(dst->p0, dst->p1);
        if (gs <= 0 || gd <= 0 || src->count <= 0 || src->count >= limit) return 0;
        for (i32 i = 0; i < src->count; ++i) dst->centres[i] = static_cast<i32>(gd * src->centres[i] / gs);
        dst->hasCentres = 1;
    }
    return DM_EnsurePoints(dst, limit);
}

i32 DM_SampleBilinear16(const u8 *image, i32 x, i32 y) {
    if (image == nullptr || x < 0 || y < 0) return kOutsideGrey;
    if (x >= 16 * (g_image.width - 1) || y >= 16 * (g_image.height - 1)) return kOutsideGrey;
    const i32 X = x >> 4, Y = y >> 4, fx = x & 15, fy = y & 15;
    const u8 *p = image + static_cast<i64>(Y) * g_image.width + X;
    const i32 w = g_image.width;
    const i32 v = (16 - fx) * (16 - fy) * p[0] + fx * (16 - fy) * p[1] + (16 - fx) * fy * p[w] + fx * fy * p[w + 1];
    const i32 r = (v + (v >> 4)) >> 8;
    return r > 255 ? 255 : r;
}

i32 DM_SampleRegionGrid(const u8 *image, DM_BOUNDARY *top, DM_BOUNDARY *left, DM_BOUNDARY *bottom, DM_BOUNDARY *right,
                        u8 *out, i32 limit) {
    if (top->hasCentres == 0 && bottom->hasCentres == 0) return 0;
    if (left->hasCentres == 0 && right->hasCentres == 0) return 0;
    if (top->count != bottom->count || left->count != right->count) return 0;
    if (!DM_ShareCentres(top, bottom, limit) && !DM_ShareCentres(bottom, top, limit)) return 0;
    if (!DM_ShareCentres(right, left, limit) && !DM_ShareCentres(left, right, limit)) return 0;
    DM_SmoothPointsProjective(top->points, top->count);
    DM_SmoothPointsProjective(bottom->points, bottom->count);
    DM_SmoothPointsProjective(left->points, left->count);
    DM_SmoothPointsProjective(right->points, right->count);
    const i32 cols = top->count;
    for (i32 k = 0; k < left->count; ++k) {
        const GEO_POINT a = left->points[k];
        const i64 rdx = static_cast<i64>(right->points[k].x) - a.x;
        const i64 rdy = static_cast<i64>(right->points[k].y) - a.y;
        for (i32 m = 0; m < cols; ++m) {
            const GEO_POINT b = top->points[m];
            const i64 cdx = static_cast<i64>(bottom->points[m].x) - b.x;
            const i64 cdy = static_cast<i64>(bottom->points[m].y) - b.y;
            const i64 det = rdx * cdy - rdy * cdx;
            if (det == 0) return 0;
            // a + s (rdx, rdy) = b + u (cdx, cdy); s = ((b - a) x c) / (r x c).
            const i64 bx = static_cast<i64>(b.x) - a.x;
            const i64 by = static_cast<i64>(b.y) - a.y;
            const i64 num = bx * cdy - by * cdx;
            const i64 x = a.x + rdx * num / det;
            const i64 y = a.y + rdy * num / det;
            out[k * cols + m] = static_cast<u8>(x < 1 || y < 1 || x > INT32_MAX || y > INT32_MAX
                                                    ? kOutsideGrey
                                                    : DM_SampleBilinear16(image, static_cast<i32>(x),
                                                                          static_cast<i32>(y)));
        }
    }
    return 1;
}

void DM_CopyRegionModules(const u8 *block, DM_GEOMETRY *geo, i32 t, i32 b) {
    const i32 K = geo->regionCols;
    for (i32 i = 0; i < geo->moduleRows; ++i) {
        const i64 off = static_cast<i64>(geo->moduleCols) * (b + static_cast<i64>(t) * geo->moduleRows * K) +
                        static_cast<i64>(i) * geo->moduleCols * K;
        std::memcpy(geo->modules + off, block + static_cast<i64>(i) * geo->moduleCols, geo->moduleCols);
    }
}

namespace {

// Horizontal side of node row a between node columns b and b + 1.
i32 MeasureRowBoundary(u8 *image, DM_GEOMETRY *geo, DM_BOUNDARY_PROBE *probe, DM_BOUNDARY *rec, i32 a, i32 b) {
    if (rec->hasPoints != 0) return 1;
    rec->p0 = probe->p0 = geo->lattice[a][b];
    rec->p1 = probe->p1 = geo->lattice[a][b + 1];
    rec->count = probe->count = geo->moduleCols;
    probe->lines = 3;
    if (a == geo->regionRows) return 0;
    probe->q0 = geo->lattice[a + 1][b];
    probe->q1 = geo->lattice[a + 1][b + 1];
    probe->forward = 1;
    std::memset(probe->centres, 0, sizeof(probe->centres));
    if (!BoundaryProfile(image, probe) || probe->length == 0) return 0;
    return TakeCentres(probe, rec);
}

// Vertical side of node column b between node rows a (lower) and a - 1.
i32 MeasureColumnBoundary(u8 *image, DM_GEOMETRY *geo, DM_BOUNDARY_PROBE *probe, DM_BOUNDARY *rec, i32 a, i32 b) {
    if (rec->hasPoints != 0) return 1;
    rec->p0 = geo->lattice[a][b];
    rec->p1 = geo->lattice[a - 1][b];
    probe->p0 = rec->p1;
    probe->p1 = rec->p0;
    rec->count = probe->count = geo->moduleRows;
    probe->lines = 3;
    if (b == 0) return 0;
    probe->q0 = geo->lattice[a - 1][b - 1];
    probe->q1 = geo->lattice[a][b - 1];
    probe->forward = 0;
    std::memset(probe->centres, 0, sizeof(probe->centres));
    if (!BoundaryProfile(image, probe)) return 0;
    return TakeCentres(probe, rec);
}

void ReversePoints(DM_BOUNDARY *r) {
    const i32 n = r->count < kDmBoundaryEntries ? r->count : kDmBoundaryEntries;
    for (i32 i = 0, j = n - 1; i < j; ++i, --j) {
        const GEO_POINT t = r->points[i];
        r->points[i] = r->points[j];
        r->points[j] = t;
    }
}

}  // namespace

i32 DM_SampleModules(u8 *image, DM_GEOMETRY *geo) {
    if (geo == nullptr || geo->modules == nullptr) return -1;
    const i32 R = geo->regionRows;
    const i32 K = geo->regionCols;
    if (R < 1 || K < 1 || R >= kDmLatticeSide || K >= kDmLatticeSide || geo->moduleRows < 1 ||
        geo->moduleCols < 1 || geo->moduleRows >= kPointLimit || geo->moduleCols >= kPointLimit) {
        return -1;
    }
    u8 *work = DM_WorkBuffer();
    if (work == nullptr) return -1;
    g_dmResult.corners.c[0] = geo->lattice[0][0];
    g_dmResult.corners.c[1] = geo->lattice[0][K];
    g_dmResult.corners.c[2] = geo->lattice[R][0];
    g_dmResult.corners.c[3] = geo->lattice[R][K];
    u8 *block = work + kRegionBlockOffset;
    const i32 blockBytes = geo->moduleRows * geo->moduleCols;
    DM_BOUNDARY_PROBE probe{};
    probe.polarity = geo->darkOnLight;
    DM_BOUNDARY stored[kDmLatticeSide - 1];
    for (auto &s : stored) ClearRecord(&s);
    DM_BOUNDARY top, bottom, left, right, nextLeft;
    const bool oneRegion = geo->layoutClass == kDmLayoutSquare1;
    for (i32 t = R - 1; t >= 0; --t) {
        ClearRecord(&nextLeft);
        for (i32 b = 0; b < K; ++b) {
            ClearRecord(&top);
            if (!MeasureRowBoundary(image, geo, &probe, &top, t, b) && oneRegion) return -1;
            bottom = stored[b];
            if (t == R - 1) ClearRecord(&bottom);
            MeasureRowBoundary(image, geo, &probe, &bottom, t + 1, b);
            DM_ShareCentres(&top, &bottom, kPointLimit);
            stored[b] = top;
            left = nextLeft;
            MeasureColumnBoundary(image, geo, &probe, &left, t + 1, b);
            ClearRecord(&right);
            if (!MeasureColumnBoundary(image, geo, &probe, &right, t + 1, b + 1) && oneRegion) return -1;
            DM_ShareCentres(&right, &left, kPointLimit);
            nextLeft = right;
            ReversePoints(&left);
            ReversePoints(&right);
            if (!DM_SampleRegionGrid(image, &top, &left, &bottom, &right, block, kPointLimit)) {
                // Never the previous region's modules.
                std::memset(block, kOutsideGrey, blockBytes);
            }
            DM_CopyRegionModules(block, geo, t, b);
        }
    }
    return 0;
}

// ---- Line and edge routines no decode path calls.

i32 DM_EdgeCentres(const u8 *s, i32 n, i32 *out, i32 minStep) {
    if (s == nullptr || out == nullptr) return 0;
    i32 count = 0;
    i32 i = 0;
    while (i + 1 < n && count < kDmMaxEdgeCentres) {
        if (s[i + 1] == s[i]) {
            ++i;
            continue;
        }
        const bool up = s[i + 1] > s[i];
        i32 j = i;
        i64 sum = 0, weighted = 0;
        while (j + 1 < n && (up ? s[j + 1] > s[j] : s[j + 1] < s[j])) {
            const i32 step = up ? s[j + 1] - s[j] : s[j] - s[j + 1];
            sum += step;
            weighted += static_cast<i64>(j) * step;
            ++j;
        }
        if (sum >= minStep && sum > 0) out[count++] = static_cast<i32>(10 * weighted / sum + 5);
        i = j;
    }
    return count;
}

f32 DM_SlopeOfPoints(i32 x0, i32 y0, i32 x1, i32 y1) {
    if (x1 == x0) return 573.0f;
    if (y1 == y0) return 1e-6f;
    return static_cast<f32>(static_cast<f64>(y1 - static_cast<i64>(y0)) / static_cast<f64>(x1 - static_cast<i64>(x0)));
}

i32 DM_ChebyshevDistance(const GEO_POINT *a, const GEO_POINT *b) {
    if (a == nullptr || b == nullptr) return -1;
    const i64 dx = Abs64(static_cast<i64>(a->x) - b->x);
    const i64 dy = Abs64(static_cast<i64>(a->y) - b->y);
    const i64 d = dx > dy ? dx : dy;
    return d > INT32_MAX ? INT32_MAX : static_cast<i32>(d);
}

i32 DM_ReturnZero() { return 0; }

}  // namespace vexo

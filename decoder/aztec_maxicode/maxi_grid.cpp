#include "aztec_maxicode/maxi_grid.h"

#include "core/pixel.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {

MAXI_GRID_STATE g_maxiGrid = {.stage = 0,
                              .threshold = 0,
                              .points = {},
                              .pitches = {},
                              .idealRings = {},
                              .imageRings = {},
                              .centre = {},
                              .edgeRatio = kMaxiInitialEdgeRatio,
                              .minStep = kMaxiInitialMinStep};

void Maxi_ResetGridState() {
    g_maxiGrid = MAXI_GRID_STATE{};
    g_maxiGrid.edgeRatio = kMaxiInitialEdgeRatio;
    g_maxiGrid.minStep = kMaxiInitialMinStep;
}

namespace {

constexpr i32 kEdgeDescents = 256;
constexpr i32 kMinDrop = 6;
constexpr float kModuleFirstOffset = 32.0f;  // two samples past the dark run's start, in 1/16
constexpr float kModuleNearest = 7.0f;       // ring pitches from the start
constexpr float kModuleFarthest = 9.3f;

bool InImage(i64 x, i64 y) { return x >= 0 && y >= 0 && x < g_image.width && y < g_image.height; }

i32 ImagePixel(i32 x, i32 y) { return g_image.data[static_cast<i64>(y) * g_image.width + x]; }

}  // namespace

// A descent is a strictly falling run of samples; a sample that starts none is skipped
// together with the one after it.
void Maxi_EstimateEdgeParams(const u8 *run, i32 n, i32 readable, i32 minDrop, i32 minRatio, i32 *step, i32 *ratio,
                             i32 *drops, i32 *ratios, i32 capacity) {
    i32 count = 0;
    i64 sumDrop = 0;
    i64 sumRatio = 0;
    auto falls = [&](i32 k) { return k + 1 < readable && run[k + 1] < run[k]; };
    for (i32 j = 0; run != nullptr && j < n && count < capacity;) {
        if (!falls(j)) {
            j += 2;
            continue;
        }
        i32 k = j + 1;
        while (k < n && falls(k)) ++k;
        const i32 top = run[j];
        const i32 drop = top - run[k];
        if (drop > minDrop && static_cast<i64>(drop) * 1024 >= static_cast<i64>(top) * minRatio) {
            const i32 r = (drop * 1024 + top / 2) / top;
            if (drops != nullptr) drops[count] = drop;
            if (ratios != nullptr) ratios[count] = r;
            sumDrop += drop;
            sumRatio += r;
            ++count;
        }
        j = k + 1;
    }
    if (count == 0) {
        *step = kMaxiInitialMinStep;
        *ratio = kMaxiInitialEdgeRatio;
        return;
    }
    const i64 half = count >> 1;
    const i32 r = static_cast<i32>(0.45 * static_cast<double>((sumRatio + half) / count) + 0.5);
    const i32 s = static_cast<i32>(0.45 * static_cast<double>((sumDrop + half) / count) + 0.5);
    *ratio = r < kMaxiInitialEdgeRatio ? kMaxiInitialEdgeRatio : r;
    *step = s < 7 ? 7 : s;
}

void Maxi_MeasureThreshold(const MAXI_BULLSEYE *candidate, i32 size, i32 *step, i32 *ratio) {
    if (candidate == nullptr || step == nullptr || ratio == nullptr) return;
    const i32 w = g_image.width;
    i64 n = 0;
    i64 start = 0;
    if (g_image.data != nullptr && InImage(candidate->x, candidate->y)) {
        const double x0 = static_cast<double>(candidate->x) - 1.5 * size;
        start = x0 > 0 ? static_cast<i64>(x0) : 0;
        n = 3 * static_cast<i64>(size) < w ? 3 * static_cast<i64>(size) : w - 1;
        // The run reads on into the next rows, never past the image.
        const i64 offset = static_cast<i64>(candidate->y) * w + start;
        const i64 left = static_cast<i64>(w) * g_image.height - offset;
        if (n > left) n = left;
        if (n < 0) n = 0;
        start = offset;
    }
    if (n < 1) {
        g_maxiGrid.threshold = kMaxiEmptyThreshold;
        Maxi_EstimateEdgeParams(nullptr, 0, 0, kMinDrop, kMaxiInitialEdgeRatio, step, ratio, nullptr, nullptr, 0);
        return;
    }
    const u8 *run = g_image.data + start;
    const i64 total = static_cast<i64>(w) * g_image.height;
    const i32 readable = static_cast<i32>(start + n < total ? n + 1 : n);
    i32 drops[kEdgeDescents];
    i32 ratios[kEdgeDescents];
    Maxi_EstimateEdgeParams(run, static_cast<i32>(n), readable, kMinDrop, kMaxiInitialEdgeRatio, step, ratio, drops,
                            ratios, kEdgeDescents);
    i32 lo = 255;
    i32 hi = 0;
    for (i64 k = 0; k < n; ++k) {
        if (run[k] < lo) lo = run[k];
        if (run[k] > hi) hi = run[k];
    }
    g_maxiGrid.threshold = (hi + lo) >> 1;
}

i32 Maxi_MeasureRingPitch(const MAXI_BULLSEYE *candidate, i32 size) {
    if (candidate == nullptr) return 0;
    const i32 x = candidate->x;
    const i32 y = candidate->y;
    const i32 w = g_image.width;
    if (!(x > 0 && x < w - 1 && y > 0 && y < g_image.height - 1)) return 0;
    const i64 a = static_cast<i64>(2.5 * size);
    const GEO_POINT from{x, y};
    const GEO_POINT right{static_cast<i32>(x + a < w ? x + a : w), y};
    const GEO_POINT left{static_cast<i32>(x - a > 0 ? x - a : 0), y};
    const i32 pr = Maxi_MeasureRay(&from, &right, 0, nullptr, nullptr, 0, 1);
    const i32 pl = Maxi_MeasureRay(&from, &left, 0, nullptr, nullptr, 0, 0);
    if (pr > 0 && pl > 0) return (pr + pl) / 2;
    return pr > 0 ? pr : (pl > 0 ? pl : 0);
}

i32 Maxi_MeasureRay(const GEO_POINT *from, const GEO_POINT *to, i32 mode, GEO_POINT *points, i32 *count,
                    i32 capacity, i32 subpixel) {
    if (from == nullptr || to == nullptr || g_image.data == nullptr) return 0;
    u8 samples[kMaxiRaySamples];
    i32 n = 0;
    if (subpixel != 0) {
        n = Geo_SampleLine16(from->x * 16, from->y * 16, to->x * 16, to->y * 16, samples, kMaxiRaySamples);
    } else {
        n = Geo_SampleLine(g_image.data, from, to, samples, kMaxiRaySamples);
    }
    i32 rising[kMaxiRayEdges];
    i32 falling[kMaxiRayEdges];
    const i32 nr = Prof_FindRisingEdges(samples, n, g_maxiGrid.edgeRatio, g_maxiGrid.minStep, rising, kMaxiRayEdges);
    const i32 nf = Prof_FindFallingEdges(samples, n, g_maxiGrid.edgeRatio, g_maxiGrid.minStep, falling, kMaxiRayEdges);
    i32 modules[kMaxiRayModules] = {};
    float ratios[kMaxiRayModules] = {};
    MAXI_RAY_RINGS rec{rising, falling, nr, nf, modules, 0, ratios, kMaxiRayModules, mode, 0, 0};
    const i32 pitch = Maxi_AnalyseRayRings(&rec);
    if (mode == 1 && pitch > 15 && count != nullptr) {
        *count = 0;
        *count = Maxi_RayModulePoints(from, to, modules, ratios, rec.moduleCount, points, capacity);
    }
    return pitch;
}

i32 Maxi_AnalyseRayRings(MAXI_RAY_RINGS *rec) {
    if (rec == nullptr || rec->rising == nullptr || rec->falling == nullptr) return 0;
    if (rec->risingCount < 3 || rec->fallingCount < 3) return 0;
    const i32 *r = rec->rising;
    const i32 *f = rec->falling;
    const i32 d1 = r[0] - f[0];
    const i32 d2 = r[1] - f[1];
    const i32 d3 = r[2] - f[2];
    const i32 l1 = f[1] - r[0];
    const i32 l2 = f[2] - r[1];
    if (d1 <= 0 || d2 <= 0 || d3 <= 0 || l1 <= 0 || l2 <= 0) return 0;
    // Dark rings alike; the second may be 1.6 times the third (the Part's 1.6, not 1.5).
    const double a = d1, b = d2, c = d3;
    if (!(b <= 1.5 * a && a <= 1.5 * b && c <= 1.5 * a && c <= 1.5 * b && a <= 1.5 * c && b <= 1.6 * c)) return 0;
    const i32 span = r[2] - f[0];
    const float w = static_cast<float>(d1 + d2 + d3) / 3.0f;
    const float u = static_cast<float>(l1 + l2) * 0.5f;
    rec->darkMean = static_cast<i32>(w + 0.5f);
    rec->lightMean = static_cast<i32>(u + 0.5f);
    const i32 pitch = (span + 2) / 5;
    if (rec->mode != 1) return pitch;
    if (rec->fallingCount < 4) return 0;
    const float gap = static_cast<float>(f[3] - r[2]);
    if (gap < 0.9f * u || gap > 2.2f * u) return 0;
    const i32 pairs = rec->risingCount < rec->fallingCount ? rec->risingCount : rec->fallingCount;
    const float ringPitch = static_cast<float>(span) / 5.0f;
    for (i32 k = 3; k < pairs && k < kMaxiRayEdges && rec->moduleCount < rec->limit; ++k) {
        const i32 run = r[k] - f[k];
        float pos = static_cast<float>(f[k]) + 0.5f * w + kModuleFirstOffset;
        for (i32 m = 0; run >= (pitch >> 1) + m * pitch && rec->moduleCount < rec->limit; ++m, pos += w) {
            const float ratio = pos / ringPitch;
            if (ratio < kModuleNearest) return 0;
            if (rec->modules != nullptr) rec->modules[rec->moduleCount] = static_cast<i32>(pos + 0.5f);
            if (rec->ratios != nullptr) rec->ratios[rec->moduleCount] = ratio;
            ++rec->moduleCount;
        }
    }
    return pitch;
}

i32 Maxi_RayModulePoints(const GEO_POINT *from, const GEO_POINT *to, const i32 *positions, const float *ratios,
                         i32 count, GEO_POINT *points, i32 capacity) {
    if (from == nullptr || to == nullptr || positions == nullptr || ratios == nullptr || points == nullptr) return 0;
    i32 written = 0;
    for (i32 k = 0; k < count && written < capacity; ++k) {
        if (ratios[k] > kModuleFarthest) continue;
        SEGMENT_STEP s{from->x * 16, from->y * 16, to->x * 16, to->y * 16, positions[k], 0, 0};
        Geo_SegmentPointAt(&s);
        points[written++] = GEO_POINT{s.outX, s.outY};
    }
    return written;
}

namespace {

// One walk of the dark centroid: from (x, y) (1/16 pixel) by (sx, sy) per pixel while the
// walked coordinate stays within its limit; stops at a light pixel or one brighter than
// 1.08 times the one before.
struct CentroidSums {
    u64 w;
    u64 sx;
    u64 sy;
};

void CentroidWalk(i32 x, i32 y, i32 sx, i32 sy, i32 steps, i32 previous, CentroidSums *sums) {
    const i32 t = g_maxiGrid.threshold;
    for (i32 k = 0; k < steps; ++k, x += sx, y += sy) {
        if (!InImage(x >> 4, y >> 4)) return;
        const i32 g = ImagePixel(x >> 4, y >> 4);
        if (g >= t) return;
        if (previous >= 0 && g > static_cast<i32>(1.08 * previous)) return;
        const u64 weight = static_cast<u64>(255 - g);
        sums->w += weight;
        sums->sx += weight * static_cast<u64>(x);
        sums->sy += weight * static_cast<u64>(y);
        previous = g;
    }
}

}  // namespace

i32 Maxi_DarkCentroid(const GEO_POINT *p, i32 radius, GEO_POINT *out) {
    if (p == nullptr || out == nullptr) return 0;
    const i64 x = p->x;
    const i64 y = p->y;
    const i64 r2 = 2 * static_cast<i64>(radius);
    *out = *p;
    if (g_image.data == nullptr ||
        !(x - r2 > 16 && x + r2 < (static_cast<i64>(g_image.width) - 1) * 16 && y - r2 > 16 &&
          y + r2 < (static_cast<i64>(g_image.height) - 1) * 16)) {
        return 0;
    }
    const i32 r = radius < 0 ? 0 : radius;
    const i32 px = p->x;
    const i32 py = p->y;
    const i32 centre = ImagePixel(px >> 4, py >> 4);
    // Whole steps within r, and within 1.3 r on the diagonals (their limit is on y).
    const i32 straight = r / 16;
    const i32 diagUp = (py - static_cast<i32>(py - 1.3 * r)) / 16;
    const i32 diagDown = (static_cast<i32>(py + 1.3 * r) - py) / 16;
    CentroidSums s{0, 0, 0};
    CentroidWalk(px, py, -16, 0, straight + 1, -1, &s);
    CentroidWalk(px + 16, py, 16, 0, straight, centre, &s);
    CentroidWalk(px, py - 16, 0, -16, straight, centre, &s);
    CentroidWalk(px, py + 16, 0, 16, straight, centre, &s);
    CentroidWalk(px - 16, py - 16, -16, -16, diagUp, centre, &s);
    CentroidWalk(px + 16, py + 16, 16, 16, diagDown, centre, &s);
    CentroidWalk(px + 16, py - 16, 16, -16, diagUp, centre, &s);
    CentroidWalk(px - 16, py + 16, -16, 16, diagDown, centre, &s);
    if (s.w > 0) *out = GEO_POINT{static_cast<i32>(s.sx / s.w), static_cast<i32>(s.sy / s.w)};
    return 1;
}

void Maxi_EquilateralApex(const GEO_POINT *a, const GEO_POINT *b, GEO_POINT *out) {
    if (a == nullptr || b == nullptr || out == nullptr) return;
    const i64 ax = a->x, ay = a->y, bx = b->x, by = b->y;
    out->x = static_cast<i32>(((by - ay) * 86602 + (ax + bx) * 50000) / 100000);
    out->y = static_cast<i32>(((ax - bx) * 86602 + (ay + by) * 50000) / 100000);
}

}  // namespace vexo

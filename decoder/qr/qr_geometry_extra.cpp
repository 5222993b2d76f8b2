// Finder geometry and sampling routines that no decode path calls (see qr_geometry_extra.h).
#include "qr/qr_geometry_extra.h"

#include <cmath>

#include "core/pixel.h"
#include "locate/finder.h"
#include "qr/qr_matrix.h"
#include "qr/qr_state.h"
#include "toolkit/geometry_numeric.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {

// Two rows of 7 points 3 and 2 modules outside each side (left, top, right, bottom), then
// the five finder-local points the centre set-up pairs with a pattern's corners.
constexpr GEO_POINT kQrFinderLocalPoints[kQrFinderStripPoints + 5] = {
    // left x = -3
    {-33, 0}, {-33, 11}, {-33, 22}, {-33, 33}, {-33, 44}, {-33, 55}, {-33, 66},
    // left x = -2
    {-22, 0}, {-22, 11}, {-22, 22}, {-22, 33}, {-22, 44}, {-22, 55}, {-22, 66},
    // top y = -3
    {0, -33}, {11, -33}, {22, -33}, {33, -33}, {44, -33}, {55, -33}, {66, -33},
    // top y = -2
    {0, -22}, {11, -22}, {22, -22}, {33, -22}, {44, -22}, {55, -22}, {66, -22},
    // right x = 9
    {99, 0}, {99, 11}, {99, 22}, {99, 33}, {99, 44}, {99, 55}, {99, 66},
    // right x = 8
    {88, 0}, {88, 11}, {88, 22}, {88, 33}, {88, 44}, {88, 55}, {88, 66},
    // bottom y = 9
    {0, 99}, {11, 99}, {22, 99}, {33, 99}, {44, 99}, {55, 99}, {66, 99},
    // bottom y = 8
    {0, 88}, {11, 88}, {22, 88}, {33, 88}, {44, 88}, {55, 88}, {66, 88},
    // finder-local points
    {0, 66}, {0, 0}, {66, 0}, {66, 66}, {33, 33},
};
static_assert(sizeof(kQrFinderLocalPoints) / sizeof(kQrFinderLocalPoints[0]) == 61);

namespace {

i64 AbsI64(i64 v) { return v < 0 ? -v : v; }

// A ray as Geo_SampleRay walks it: its far end and the per-sample steps (1/1024 pixel).
struct RayWalk {
    GEO_POINT start;
    GEO_POINT end;
    i64 gx;
    i64 gy;
    i32 sx;
    i32 sy;
};

// The ray from c along sign x d over `length` steps of the major axis; false for a zero
// direction or an end beyond the integer range.
bool SetUpRay(GEO_POINT c, GEO_POINT d, i32 length, i32 sign, RayWalk *w) {
    const i64 major = AbsI64(d.x) > AbsI64(d.y) ? AbsI64(d.x) : AbsI64(d.y);
    if (major == 0 || length <= 0) return false;
    const i64 ex = c.x + sign * (static_cast<i64>(d.x) * length / major);
    const i64 ey = c.y + sign * (static_cast<i64>(d.y) * length / major);
    if (ex < kI32Min || ex > kI32Max || ey < kI32Min || ey > kI32Max) return false;
    w->start = c;
    w->end = {static_cast<i32>(ex), static_cast<i32>(ey)};
    const i64 dx = ex - c.x, dy = ey - c.y;
    const i64 m = (AbsI64(dx) > AbsI64(dy) ? AbsI64(dx) : AbsI64(dy)) + 1;
    w->gx = AbsI64(dx) * 1024 / m;
    w->gy = AbsI64(dy) * 1024 / m;
    w->sx = dx < 0 ? -1 : 1;
    w->sy = dy < 0 ? -1 : 1;
    return true;
}

i32 SampleRayWalk(const RayWalk &w, u8 *buffer, i32 length) {
    return Geo_SampleRay(w.start.x, w.start.y, w.end.x, w.end.y, buffer, length + 1);
}

// The pixel nearest to position16 (sample k at 16 k) of the ray: between the pixels
// Geo_SampleRay read for samples k and k + 1, which may be one pixel.
i64 RayOffsetAt(i64 g, i64 position16) {
    const i64 k = position16 >> 4;
    const i64 p0 = (k * g) >> 10;
    const i64 p1 = ((k + 1) * g) >> 10;
    return p0 + ((p1 - p0) * (position16 & 15) + 8) / 16;
}

GEO_POINT RayPointAt(const RayWalk &w, i64 position16) {
    return {static_cast<i32>(w.start.x + w.sx * RayOffsetAt(w.gx, position16)),
            static_cast<i32>(w.start.y + w.sy * RayOffsetAt(w.gy, position16))};
}

// Positions (1/16 sample) where the value thresholded at min + 2 (max - min) / 5 of
// samples[0 .. span) changes, placed where the grey level crosses the threshold between the
// two samples; at most capacity. Returns their count.
i32 ThresholdChanges(const u8 *s, i32 count, i32 span, i32 *at, i32 capacity) {
    i32 lo = 255, hi = 0;
    for (i32 i = 0; i < span && i < count; ++i) {
        lo = s[i] < lo ? s[i] : lo;
        hi = s[i] > hi ? s[i] : hi;
    }
    const i32 t = lo + 2 * (hi - lo) / 5;
    i32 found = 0;
    for (i32 i = 1; i < count && found < capacity; ++i) {
        if ((s[i] > t) == (s[i - 1] > t)) continue;
        const i32 step = s[i] - s[i - 1];
        at[found++] = 16 * (i - 1) + (16 * (t - s[i - 1]) + step / 2) / step;
    }
    return found;
}

}  // namespace

i32 QR_FindRayTransitions(GEO_POINT centre, GEO_POINT direction, i32 length, i32 sides, GEO_POINT *out, i32 k) {
    u8 *buffer = g_qrGeomWork.sampleBuffer;
    if (out == nullptr || buffer == nullptr || k <= 0 || k > kQrRayMaxSamples || length <= 0 ||
        length >= kQrRayMaxSamples || (sides & kQrRayBoth) == 0) {
        return 0;
    }
    i32 complete = 1;
    for (i32 side = 0; side < 2; ++side) {
        if ((sides & (side == 0 ? kQrRayForward : kQrRayBackward)) == 0) continue;
        RayWalk w{};
        if (!SetUpRay(centre, direction, length, side == 0 ? 1 : -1, &w)) return 0;
        const i32 count = SampleRayWalk(w, buffer, length);
        // The forward threshold sees the pattern's own half of the ray; the backward one all.
        const i32 span = side == 0 ? count / 2 + 1 : count;
        i32 at[kQrRayMaxSamples];
        const i32 found = ThresholdChanges(buffer, count, span, at, k);
        for (i32 j = 0; j < found; ++j) out[side == 0 ? k - 1 - j : k + j] = RayPointAt(w, at[j]);
        if (found < k) complete = 0;
    }
    return complete;
}

namespace {

// One side of QR_MeasureFinderRays: true with the main edges and the middle edge.
bool MeasureRaySide(const RayWalk &w, i32 length, GEO_POINT mainEdge[2], GEO_POINT *middleEdge) {
    u8 *buffer = g_qrGeomWork.sampleBuffer;
    const i32 count = SampleRayWalk(w, buffer, length);
    i32 peak = 0;
    for (i32 i = 0; i < count; ++i) peak = buffer[i] > peak ? buffer[i] : peak;
    const i32 minStep = (peak - 30) / 6 > 7 ? (peak - 30) / 6 : 7;
    i32 main[2] = {0, 0};
    i32 opposite[2] = {0, 0};
    if (Prof_FindRisingEdgesAbs(buffer, count, minStep, main, 2) < 2) return false;
    const i32 opposites = Prof_FindFallingEdgesAbs(buffer, count, minStep, opposite, 2);
    for (i32 j = 0; j < opposites; ++j) {
        if (main[0] < opposite[j] && opposite[j] < main[1]) {
            mainEdge[0] = RayPointAt(w, main[0]);
            mainEdge[1] = RayPointAt(w, main[1]);
            *middleEdge = RayPointAt(w, opposite[j]);
            return true;
        }
    }
    return false;
}

}  // namespace

i32 QR_MeasureFinderRays(QR_FINDER_RAYS *rays) {
    if (rays == nullptr || g_qrGeomWork.sampleBuffer == nullptr || rays->length <= 0 ||
        rays->length >= kQrRayMaxSamples) {
        return 0;
    }
    const GEO_POINT d = {rays->toward.x - rays->centre.x, rays->toward.y - rays->centre.y};
    for (i32 side = 0; side < 2; ++side) {
        RayWalk w{};
        if (!SetUpRay(rays->centre, d, rays->length, side == 0 ? 1 : -1, &w)) return 0;
        if (!MeasureRaySide(w, rays->length, rays->mainEdge[side], &rays->middleEdge[side])) return 0;
    }
    return 1;
}

i32 QR_FinderOrientationByCount(const PERSPECTIVE *t) {
    const u8 *image = Pix_GetImagePointer();
    const i32 width = Pix_GetImageWidth(), height = Pix_GetImageHeight();
    if (t == nullptr || image == nullptr || width <= 0 || height <= 0) return -1;
    u8 samples[kQrFinderStripPoints];
    for (i32 i = 0; i < kQrFinderStripPoints; ++i) {
        i32 x = 0, y = 0;
        if (!Geo_MapPointPerspective(t, kQrFinderLocalPoints[i].x, kQrFinderLocalPoints[i].y, &x, &y)) return -1;
        x >>= 2;
        y >>= 2;
        samples[i] = x >= 0 && x < width && y >= 0 && y < height ? image[static_cast<i64>(y) * width + x] : 255;
    }
    i32 lo = 255, hi = 0;
    for (u8 s : samples) {
        if (s == 255) continue;
        lo = s < lo ? s : lo;
        hi = s > hi ? s : hi;
    }
    const i32 threshold = (lo + hi) / 2;
    i32 dark[4] = {0, 0, 0, 0};  // left, top, right, bottom
    for (i32 i = 0; i < kQrFinderStripPoints; ++i) dark[i / 14] += samples[i] <= threshold ? 1 : 0;
    // Pairs coded 0..3: left-bottom, left-top, top-right, right-bottom.
    const i32 pair[4] = {dark[0] + dark[3], dark[0] + dark[1], dark[1] + dark[2], dark[2] + dark[3]};
    i32 best = 0;
    for (i32 p = 1; p < 4; ++p) best = pair[p] > pair[best] ? p : best;
    for (i32 p = 0; p < 4; ++p) {
        if (p != best && pair[p] == pair[best]) return -1;
    }
    return best;
}

i32 QR_SampleGridMeanIfLarge(GRID_WALK *walk) {
    if (walk == nullptr) return 0;
    if (g_qrSymbol.moduleSize > 8.0f) walk->rowCallback = g_frame.sampleMean4Many;
    return Geo_MapGridRows(walk);
}

i32 QR_SampleRectFromColumns(const QR_COLUMN_POINTS *points, i32 firstColumn, i32 firstRow, i32 lastColumn,
                             i32 lastRow, u8 *matrix, i32 dimension) {
    if (points == nullptr || matrix == nullptr || g_frame.sampleBilinear == nullptr) return 0;
    if (points->pairs <= 0 || points->pairs > kQrColumnPairsMax) return 0;
    if (firstColumn < 0 || firstRow < 0 || lastColumn < firstColumn || lastRow < firstRow ||
        lastColumn >= dimension || lastRow >= dimension) {
        return 0;
    }
    f32 m[8][8] = {};
    f32 r[8] = {};
    for (i32 c = 0; c < 2; ++c) {
        if (points->image[c] == nullptr || points->module[c] == nullptr) return 0;
        Geo_PerspectiveAddPairs(points->module[c], points->image[c], points->pairs, m, r, c == 0 ? 1 : 0);
    }
    PERSPECTIVE t{};
    if (!Geo_PerspectiveSolveInt(m, r, 1 << 20, &t)) return 0;
    for (i32 row = firstRow; row <= lastRow; ++row) {
        for (i32 col = firstColumn; col <= lastColumn; ++col) {
            i32 x = 0, y = 0;
            if (!Geo_MapPointPerspective(&t, col, row, &x, &y)) return 0;
            matrix[static_cast<i64>(row) * dimension + col] = static_cast<u8>(g_frame.sampleBilinear(x, y, 128));
        }
    }
    return 1;
}

i32 QR_RoundTenths(f32 x) {
    const f64 v = static_cast<f64>(x);
    if (v != v) return 0;
    const f64 tenths = std::fmod(std::trunc((v + 0.5) * 10.0), 10.0);
    return Num_SatTruncI32(tenths > 5.0 ? v + 1.0 : v + 0.5);
}

namespace {

inline constexpr i32 kSplitMaxSamples = 1280;
inline constexpr i32 kSplitMaxEdges = 56;

// The point at position16 (1/16 sample) of the segment a-b sampled one pixel a step.
GEO_POINT SegmentPoint(GEO_POINT a, GEO_POINT b, i64 major, i64 position16) {
    return {static_cast<i32>(a.x + (static_cast<i64>(b.x) - a.x) * position16 / major),
            static_cast<i32>(a.y + (static_cast<i64>(b.y) - a.y) * position16 / major)};
}

}  // namespace

i32 QR_SplitSegmentByEdges(GEO_POINT a, GEO_POINT b, GEO_POINT *out, i32 capacity, f32 moduleSize) {
    if (out == nullptr || capacity < 2 || !(moduleSize > 0.0f)) return 0;
    u8 samples[kSplitMaxSamples];
    const i32 count = Geo_SampleLine16(a.x, a.y, b.x, b.y, samples, kSplitMaxSamples);
    if (count <= 0) return 0;
    const i64 major = AbsI64(static_cast<i64>(b.x) - a.x) > AbsI64(static_cast<i64>(b.y) - a.y)
                          ? AbsI64(static_cast<i64>(b.x) - a.x)
                          : AbsI64(static_cast<i64>(b.y) - a.y);
    i32 edges[2 * kSplitMaxEdges];
    PROFILE_REQUEST request{};
    request.samples = samples;
    request.count = count;
    request.ratio = 102;
    request.minStep = 6;
    request.risingPositions = edges;
    request.risingCapacity = kSplitMaxEdges;
    request.fallingPositions = edges + kSplitMaxEdges;
    request.fallingCapacity = kSplitMaxEdges;
    Prof_FindEdgesRec(&request);
    const i32 rising = request.risingFound, falling = request.fallingFound;
    for (i32 j = 0; j < falling; ++j) edges[rising + j] = edges[kSplitMaxEdges + j];
    const i32 n = rising + falling;
    Loc_BubbleSortInts(edges, n);
    i32 written = 0;
    out[written++] = a;
    const f32 moduleSpan = 16.0f * moduleSize;
    for (i32 e = 0; e < n && written < capacity - 1; ++e) {
        out[written++] = SegmentPoint(a, b, major, edges[e]);
        if (e + 1 == n) break;
        const i32 gap = edges[e + 1] - edges[e];
        const i32 modules = QR_RoundTenths(static_cast<f32>(gap) / moduleSpan);
        for (i32 j = 1; j < modules && written < capacity - 1; ++j) {
            out[written++] = SegmentPoint(a, b, major, edges[e] + static_cast<i64>(gap) * j / modules);
        }
    }
    out[written++] = b;
    return written;
}

}  // namespace vexo

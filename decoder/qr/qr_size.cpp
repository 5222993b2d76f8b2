#include "qr/qr_size.h"

#include "core/pixel.h"
#include "qr/qr_format.h"
#include "qr/qr_grid.h"
#include "qr/qr_symbol_stages.h"
#include "toolkit/geometry.h"
#include "toolkit/geometry_points.h"
#include "toolkit/perspective.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

// Contrast ratios (1/1024) tried in turn on each side of a pair.
constexpr i32 kRayRatios[3] = {128, 256, 384};
static_assert(sizeof(kRayRatios) / sizeof(kRayRatios[0]) == 3);
// Module size scale of a diagonal pair: the rays run along the module diagonals.
constexpr f32 kDiagonalScale = 0.7071068f;
// Smallest slope (1/16 pixel a module) taken as a measurement.
constexpr f32 kMinPairSlope = 1.0e-3f;
// The x of each pair distance: with edges at 1.5, 2.5 and 3.5 modules from the centres and
// D modules between the centres, distance k is x_k - 7 + D modules.
constexpr f32 kPairDistanceX[8] = {7, 7, 13, 13, 9, 11, 11, 9};
static_assert(sizeof(kPairDistanceX) / sizeof(kPairDistanceX[0]) == 8);

// Sample indices of a ray's two main edges (1.5 and 3.5 modules from the centre) and of the
// opposite edge between them (2.5 modules).
struct RayEdges {
    i32 first;
    i32 second;
    i32 middle;
};

// The pixels of centre + sign x offset[k], k = 0.., up to the first point outside
// [0, 16 (width - 1)) x [0, 16 (height - 1)); returns their count.
i32 SampleRay(GEO_POINT centre, const GEO_POINT *offsets, i32 n, i32 sign, u8 *out) {
    const u8 *image = Pix_GetImagePointer();
    const i32 width = Pix_GetImageWidth();
    const i32 height = Pix_GetImageHeight();
    if (image == nullptr || width <= 1 || height <= 1) return 0;
    const i64 maxX = 16 * static_cast<i64>(width - 1);
    const i64 maxY = 16 * static_cast<i64>(height - 1);
    i32 count = 0;
    for (i32 k = 0; k < n; ++k) {
        const i64 x = centre.x + static_cast<i64>(sign) * offsets[k].x;
        const i64 y = centre.y + static_cast<i64>(sign) * offsets[k].y;
        if (x < 0 || x >= maxX || y < 0 || y >= maxY) break;
        out[count++] = image[(y >> 4) * width + (x >> 4)];
    }
    return count;
}

i32 EdgeIndex(i32 position) { return (position + 11) / 16; }

// Finds the main edges and the opposite edge between them on one sampled ray. 0 when the
// ray passes; the second-pattern failure with fewer than two main edges, the first-pattern
// failure when no opposite edge lies between them.
i32 TestRay(const u8 *samples, i32 count, i32 ratio, RayEdges *edges) {
    i32 peak = 0;
    i32 trough = 255;
    for (i32 k = 0; k < count; ++k) {
        peak = samples[k] > peak ? samples[k] : peak;
        trough = samples[k] < trough ? samples[k] : trough;
    }
    // The step from the peak alone lets sensor noise in the dark centre square pass as the
    // first main edge; a quarter of the ray's own contrast keeps to the pattern's edges.
    const i32 fromPeak = QR_ScaleDownMin12(peak) >> 1;
    const i32 fromContrast = peak > trough ? (peak - trough) / 4 : 0;
    const i32 minStep = fromContrast > fromPeak ? fromContrast : fromPeak;
    // Dark modules on light: the pattern's rings rise out of the dark centre square.
    const bool rising = g_qrPolarity == 1;
    i32 main[2] = {0, 0};
    i32 opposite[2] = {0, 0};
    const i32 mains = rising ? Prof_FindRisingEdges(samples, count, ratio, minStep, main, 2)
                             : Prof_FindFallingEdges(samples, count, ratio, minStep, main, 2);
    if (mains < 2) return kQrPairSecondFailed;
    const i32 opposites = rising ? Prof_FindFallingEdges(samples, count, ratio, minStep, opposite, 2)
                                 : Prof_FindRisingEdges(samples, count, ratio, minStep, opposite, 2);
    const i32 i0 = EdgeIndex(main[0]);
    const i32 i1 = EdgeIndex(main[1]);
    for (i32 k = 0; k < opposites; ++k) {
        const i32 o = opposite[k];
        if (16 * i0 < o && o < 16 * i1) {
            edges->first = i0;
            edges->second = i1;
            edges->middle = EdgeIndex(o);
            return i1 < count ? 0 : kQrPairFirstFailed;
        }
    }
    return kQrPairFirstFailed;
}

// One side of a pair: the outward and the inward ray of a centre, ratio by ratio until both
// pass. 0 with both rays' edges, else the failure of the last ratio tried.
i32 MeasureSide(GEO_POINT centre, const GEO_POINT *offsets, i32 n, i32 signFirst, RayEdges *first,
                RayEdges *second) {
    u8 *buffer = g_qrGeomWork.sampleBuffer;
    i32 result = kQrPairNoPoints;
    for (i32 ratio : kRayRatios) {
        result = TestRay(buffer, SampleRay(centre, offsets, n, signFirst, buffer), ratio, first);
        if (result != 0) continue;
        result = TestRay(buffer, SampleRay(centre, offsets, n, -signFirst, buffer), ratio, second);
        if (result == 0) return 0;
    }
    return result;
}

GEO_POINT RayPoint(GEO_POINT centre, const GEO_POINT *offsets, i32 sign, i32 index) {
    return {static_cast<i32>(centre.x + sign * offsets[index].x), static_cast<i32>(centre.y + sign * offsets[index].y)};
}

f32 Distance(GEO_POINT p, GEO_POINT q) { return static_cast<f32>(Geo_Distance(p.x, p.y, q.x, q.y)); }

// Fits the eight edge-to-edge distances; the pair's dimension or 0 for a degenerate fit.
i32 PairDimension(const GEO_POINT *offsets, GEO_POINT a, GEO_POINT b, const RayEdges &r1, const RayEdges &r2,
                  const RayEdges &r3, const RayEdges &r4) {
    // Rays 1 and 2 from a (towards and away from b), rays 3 and 4 from b (away, towards).
    const GEO_POINT r1First = RayPoint(a, offsets, 1, r1.first), r1Second = RayPoint(a, offsets, 1, r1.second);
    const GEO_POINT r2First = RayPoint(a, offsets, -1, r2.first), r2Second = RayPoint(a, offsets, -1, r2.second);
    const GEO_POINT r2Middle = RayPoint(a, offsets, -1, r2.middle);
    const GEO_POINT r3First = RayPoint(b, offsets, 1, r3.first), r3Second = RayPoint(b, offsets, 1, r3.second);
    const GEO_POINT r3Middle = RayPoint(b, offsets, 1, r3.middle);
    const GEO_POINT r4First = RayPoint(b, offsets, -1, r4.first), r4Second = RayPoint(b, offsets, -1, r4.second);
    const f32 distances[8] = {Distance(r4Second, r2Second), Distance(r3Second, r1Second),
                              Distance(r3Second, r2Middle), Distance(r3Middle, r2Second),
                              Distance(r3Second, r1First),  Distance(r3Middle, r2First),
                              Distance(r3First, r2Middle),  Distance(r4First, r2Second)};
    return QR_FitPairDistances(distances);
}

i32 RoundedDistance(const QR_FINDER_SUMMARY &p, const QR_FINDER_SUMMARY &q) {
    return Num_SatTruncI32(Geo_Distance(p.centreX, p.centreY, q.centreX, q.centreY) + 0.5);
}

// The pixels-per-module estimate from the distances between the present centres.
f32 EstimateModuleSize(const QR_FINDER_SUMMARY f[3], i32 dim) {
    const bool p0 = f[0].size > 0, p1 = f[1].size > 0, p2 = f[2].size > 0;
    const f32 n = static_cast<f32>(dim);
    f32 ms = 0.0f;
    if (p0 && p1) ms = static_cast<f32>(RoundedDistance(f[0], f[1])) / n;
    if (p0 && p2) ms = (static_cast<f32>(RoundedDistance(f[0], f[2])) / n + ms) * 0.5f + 0.5f;
    if (p1 && p2) {
        const f32 diagonal = static_cast<f32>(static_cast<f64>(RoundedDistance(f[1], f[2])) * 0.707);
        ms = (diagonal / n + ms) * 0.5f + 0.5f;
    }
    return ms;
}

}  // namespace

i32 QR_MeasureFinderPair(const QR_FINDER_SUMMARY *a, const QR_FINDER_SUMMARY *b) {
    if (a == nullptr || b == nullptr || g_qrGeomWork.sampleBuffer == nullptr) return kQrPairNoPoints;
    const GEO_POINT pa = {a->centreX * 16, a->centreY * 16};
    const GEO_POINT pb = {b->centreX * 16, b->centreY * 16};
    const i32 longer = 3 * a->size / 2 > 3 * b->size / 2 ? 3 * a->size / 2 : 3 * b->size / 2;
    i32 n = longer < Pix_GetImageHeight() / 2 ? longer : Pix_GetImageHeight() / 2;
    // The ray buffer bounds the ray whatever the frame height.
    if (n > kQrPairRayCapacity) n = kQrPairRayCapacity;
    GEO_POINT offsets[kQrPairRayCapacity];
    const i32 count = n > 0 ? Geo_SegmentStepOffsets(&pa, &pb, offsets, n, 16) : 0;
    if (count <= 0) return kQrPairNoPoints;
    RayEdges r1{}, r2{}, r3{}, r4{};
    if (MeasureSide(pa, offsets, count, 1, &r1, &r2) != 0) return kQrPairFirstFailed;
    const i32 sideB = MeasureSide(pb, offsets, count, 1, &r3, &r4);
    if (sideB != 0) return sideB;
    return PairDimension(offsets, pa, pb, r1, r2, r3, r4);
}

i32 QR_FitPairDistances(const f32 distances[8]) {
    if (distances == nullptr) return 0;
    f32 slope = 0.0f;
    f32 offset = 0.0f;
    QR_FitEdgeLine(8, kPairDistanceX, distances, &slope, &offset);
    // The slope is the module size in 1/16 pixel: a fit without a positive one measured
    // nothing, and its quotient must not reach the integer conversion.
    if (!(slope > kMinPairSlope)) return 0;
    const f32 dimension = offset / slope + 0.5f + 14.0f;
    i32 result = 0;
    if (!Num_TruncToI32(dimension, &result)) return 0;
    f32 measured = slope * 0.0625f;
    if (g_qrGeomWork.arrangement == kQrArrangeDiagonal) measured *= kDiagonalScale;
    f64 moduleSize = static_cast<f64>(measured);
    if (g_qrGeomWork.pairModuleSize > 1.0e-6) moduleSize = (g_qrGeomWork.pairModuleSize + moduleSize) * 0.5;
    g_qrGeomWork.pairModuleSize = moduleSize;
    return result;
}

i32 QR_EstimateSymbolSize(QR_FINDER_SUMMARY finders[3], QR_SYMBOL_STATE *state) {
    if (finders == nullptr || state == nullptr) return 0;
    state->moduleSize = 0.0f;
    if (finders[0].size <= 0) return 0;
    i64 sum = 0;
    i32 count = 0;
    for (i32 j = 1; j <= 2 && finders[0].size > 0; ++j) {
        if (finders[j].size <= 0) continue;
        const i32 d = QR_MeasureFinderPair(&finders[0], &finders[j]);
        if (d > 0) {
            sum += d;
            ++count;
        } else if (d == kQrPairFirstFailed) {
            finders[0].size = 0;
        } else if (d == kQrPairSecondFailed) {
            finders[j].size = 0;
        } else {
            finders[0].size = 0;
            finders[j].size = 0;
        }
    }
    if (count == 0) return 0;
    const i32 present = (finders[0].size > 0) + (finders[1].size > 0) + (finders[2].size > 0);
    if (present < 2) return 0;
    const i64 dim = QR_SnapDimension(sum / count);
    if (dim > kQrMaxDimension || dim < 0) return 0;
    state->dimension = static_cast<i32>(dim);
    QR_VersionFromDimension(state->dimension, &state->version, &state->alignmentCount);
    state->moduleSize = EstimateModuleSize(finders, state->dimension);
    return 1;
}

i64 QR_SnapDimension(i64 estimate) {
    const i64 r = (estimate - 21) % 4;
    return estimate - r + (r > 1 ? 4 : 0);
}

void QR_FitEdgeLine(i32 n, const f32 *x, const f32 *y, f32 *slope, f32 *offset) {
    f32 matrix[4];
    f32 right[2];
    f32 line[2] = {0.0f, 0.0f};
    if (Geo_LineFitAddFloat(x, y, n, matrix, right, 1) != 1 || Geo_LineFitSolve(matrix, right, line) != 1) {
        line[0] = 0.0f;
        line[1] = 0.0f;
    }
    if (slope != nullptr) *slope = line[0];
    if (offset != nullptr) *offset = line[1];
}

void QR_VersionFromDimension(i32 dimension, i32 *version, i32 *alignmentCount) {
    const i32 v = (dimension - 21) / 4 + 1;
    i32 count = 0;
    if (v >= 2 && v <= 6) count = 2;
    else if (v >= 7 && v <= 13) count = 3;
    else if (v >= 14 && v <= 20) count = 4;
    else if (v >= 21 && v <= 27) count = 5;
    else if (v >= 28 && v <= 34) count = 6;
    else if (v >= 35 && v <= 40) count = 7;
    if (version != nullptr) *version = v;
    if (alignmentCount != nullptr) *alignmentCount = count;
}

void QR_FitFinderTransforms() {
    for (i32 s = 0; s < 3; ++s) {
        if (g_qrGeomWork.finder[s].size == 0) continue;
        PERSPECTIVE_FIT fit{};
        fit.from = g_qrGeomWork.modulePoints[s];
        fit.to = g_qrGeomWork.imagePoints[s];
        fit.count = 5;
        fit.reset = 1;
        fit.outInt = &g_qrGeomWork.finderTransform[s];
        fit.scale = kQrPerspectiveScale;
        Geo_FitPerspectiveInt(&fit, 1);
    }
}

}  // namespace vexo

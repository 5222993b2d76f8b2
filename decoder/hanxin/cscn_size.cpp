// The symbol size in modules from distances between the edges of corner finders: each
// distance is the module size times the modules between the two edges, so a line fitted
// over several edge pairs gives the module size as slope and the modules between the
// patterns from its offset, whatever the perspective scale along the measured line.
#include "core/pixel.h"
#include "hanxin/cscn_symbol.h"
#include "toolkit/geometry.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

f32 g_cscnModuleSize;

namespace {

constexpr i32 kSizeEdges = 5;
constexpr i32 kSizePairs = 18;
constexpr i32 kSizeLinePairs = 9;

struct SizeSums {
    f64 weight;
    f64 slope;
    f64 size;
};

// Edge index into the list {A0..A4, A', B0..B4, B'} of a measurement.
constexpr i32 kA = 0, kAPrime = 5, kB = 6, kBPrime = 11;

struct SizePair {
    i32 first;
    i32 second;
    i32 count;
};

// Adjacent or opposite standard corners: offsets A' = B' = 0, A[k] = B[k] = 3 + k.
constexpr SizePair kStandardPairs[kSizePairs] = {
    {kA + 4, kBPrime, 7}, {kA + 4, kB + 1, 11}, {kA + 4, kB + 3, 13}, {kA + 2, kBPrime, 5},
    {kA + 2, kB + 1, 9},  {kA + 2, kB + 3, 11}, {kA + 0, kBPrime, 3}, {kA + 0, kB + 1, 7},
    {kA + 0, kB + 3, 9},  {kB + 0, kAPrime, 3}, {kB + 2, kAPrime, 5}, {kB + 4, kAPrime, 7},
    {kB + 4, kA + 1, 11}, {kB + 4, kA + 3, 13}, {kB + 2, kA + 1, 9},  {kB + 2, kA + 3, 11},
    {kB + 0, kA + 1, 7},  {kB + 0, kA + 3, 9},
};
// Slot 1 against slot 3: A' = 0, A[k] = 3 + k, B[k] = 4 - k, B' = 7.
constexpr SizePair kOddPairs[kSizePairs] = {
    {kA + 4, kB + 4, 7}, {kA + 4, kB + 2, 9},  {kA + 4, kB + 0, 11}, {kA + 2, kB + 4, 5},
    {kA + 2, kB + 2, 7}, {kA + 2, kB + 0, 9},  {kA + 0, kB + 4, 3},  {kA + 0, kB + 2, 5},
    {kA + 0, kB + 0, 7}, {kBPrime, kAPrime, 7}, {kBPrime, kA + 1, 11}, {kBPrime, kA + 3, 13},
    {kB + 1, kAPrime, 3}, {kB + 1, kA + 1, 7}, {kB + 1, kA + 3, 9},  {kB + 3, kAPrime, 1},
    {kB + 3, kA + 1, 5}, {kB + 3, kA + 3, 7},
};

constexpr i32 OffsetOf(i32 edge, bool odd) {
    if (edge == kAPrime) return 0;
    if (edge == kBPrime) return odd ? 7 : 0;
    if (edge < kAPrime) return 3 + edge;
    return odd ? 4 - (edge - kB) : 3 + (edge - kB);
}

constexpr bool PairsMatchOffsets(const SizePair *pairs, bool odd) {
    for (i32 i = 0; i < kSizePairs; ++i)
        if (OffsetOf(pairs[i].first, odd) + OffsetOf(pairs[i].second, odd) != pairs[i].count) return false;
    return true;
}
static_assert(PairsMatchOffsets(kStandardPairs, false));
static_assert(PairsMatchOffsets(kOddPairs, true));

// Counts of the line intersections P_i with Q_j (i outer, j inner loop).
constexpr i32 kLineCounts[kSizeLinePairs] = {7, 8, 9, 6, 7, 8, 5, 6, 7};
static_assert(kLineCounts[0] == 7 && kLineCounts[8] == 7);

// Fits distance = s x count + t and adds the measurement when it holds.
void SizeAddFit(const f32 *counts, const f32 *distances, i32 n, f64 weight, SizeSums *sums) {
    f32 matrix[4], right[2], line[2];
    Geo_LineFitAddFloat(counts, distances, n, matrix, right, 1);
    if (Geo_LineFitSolve(matrix, right, line) == 0) return;
    const f64 s = line[0], t = line[1];
    if (s > -1.0 && s < 1.0) return;
    sums->weight += weight;
    sums->slope += weight * s;
    sums->size += weight * (t / s + 14.0);
}

f32 SizeDistance(POINT_I32 a, POINT_I32 b) { return static_cast<f32>(Geo_Distance(a.x, a.y, b.x, b.y)); }

// Edges of a pair of corners along the line joining them; `odd` when b is slot 3.
void SizeMeasurePair(const CSCN_FINDER *a, const CSCN_FINDER *b, bool odd, f64 weight, SizeSums *sums) {
    const POINT_I32 dir{a->corner.x - b->corner.x, a->corner.y - b->corner.y};
    const POINT_I32 back{-dir.x, -dir.y};
    POINT_I32 e[12];
    // Slot 3 is read toward slot 1 along dir and away from it along -dir.
    if (CSCN_EdgesAlongDirection(a, dir, &e[kA], kSizeEdges) != kSizeEdges) return;
    if (CSCN_EdgesAlongDirection(b, odd ? back : dir, &e[kBPrime], 1) != 1) return;
    if (CSCN_EdgesAlongDirection(a, back, &e[kAPrime], 1) != 1) return;
    if (CSCN_EdgesAlongDirection(b, odd ? dir : back, &e[kB], kSizeEdges) != kSizeEdges) return;
    const SizePair *pairs = odd ? kOddPairs : kStandardPairs;
    f32 counts[kSizePairs], distances[kSizePairs];
    for (i32 i = 0; i < kSizePairs; ++i) {
        counts[i] = static_cast<f32>(pairs[i].count);
        distances[i] = SizeDistance(e[pairs[i].first], e[pairs[i].second]);
    }
    SizeAddFit(counts, distances, kSizePairs, weight, sums);
}

// The line through a standard corner and slot 3 against their arm lines: lines[first..+2]
// of the standard corner (outer, middle, inner) and lines[odd..+2] of slot 3.
void SizeMeasureLines(const CSCN_FINDER *a, i32 first, const CSCN_FINDER *odd, i32 oddFirst, SizeSums *sums) {
    LINE_FIT through;
    Geo_LineThroughPoints(&a->corner, &odd->corner, &through);
    GEO_POINT p[3], q[3];
    for (i32 i = 0; i < 3; ++i) {
        if (Geo_IntersectLineFits(&through, &a->lines[first + i], &p[i]) == 0) return;
        if (Geo_IntersectLineFits(&through, &odd->lines[oddFirst + i], &q[i]) == 0) return;
    }
    f32 counts[kSizeLinePairs], distances[kSizeLinePairs];
    for (i32 i = 0; i < 3; ++i)
        for (i32 j = 0; j < 3; ++j) {
            counts[3 * i + j] = static_cast<f32>(kLineCounts[3 * i + j]);
            distances[3 * i + j] = SizeDistance(p[i], q[j]);
        }
    SizeAddFit(counts, distances, kSizeLinePairs, 1.0, sums);
}

}  // namespace

i32 CSCN_EdgesAlongDirection(const CSCN_FINDER *finder, POINT_I32 dir, POINT_I32 *points, i32 n) {
    if (finder == nullptr || points == nullptr || n <= 0 || (dir.x == 0 && dir.y == 0)) return 0;
    if (g_image.data == nullptr) return 0;
    const i64 ax = dir.x < 0 ? -static_cast<i64>(dir.x) : dir.x, ay = dir.y < 0 ? -static_cast<i64>(dir.y) : dir.y;
    const f32 reach = 10.0f * finder->moduleSize, cheb = static_cast<f32>(ax > ay ? ax : ay);
    const f32 ex = static_cast<f32>(finder->corner.x) + static_cast<f32>(dir.x) * reach / cheb;
    const f32 ey = static_cast<f32>(finder->corner.y) + static_cast<f32>(dir.y) * reach / cheb;
    // An end far outside the frame is clipped anyway; keep it within 32 bits first.
    constexpr f32 kFar = 1 << 28;
    if (!(ex > -kFar && ex < kFar && ey > -kFar && ey < kFar)) return 0;
    GEO_POINT p = finder->corner, q{static_cast<i32>(ex), static_cast<i32>(ey)};
    Geo_ClipSegment(&p, &q, 16 * g_image.width, 16 * g_image.height);
    const i32 count = Geo_SampleLine16(p.x, p.y, q.x, q.y, g_cscnLineBuffer, kCscnLineBufferSize);
    i32 edges[kSizeEdges];
    const i32 found = CSCN_FindAlternatingEdges(g_cscnLineBuffer, count, edges, n < kSizeEdges ? n : kSizeEdges);
    for (i32 i = 0; i < found; ++i) {
        SEGMENT_STEP s{p.x, p.y, q.x, q.y, edges[i], 0, 0};
        Geo_SegmentPointAt(&s);
        points[i] = {s.outX, s.outY};
    }
    return found;
}

i32 CSCN_EdgesAlongDirectionIfValid(const CSCN_FINDER *finder, POINT_I32 dir, POINT_I32 *points, i32 n) {
    return finder != nullptr && finder->valid == 1 ? CSCN_EdgesAlongDirection(finder, dir, points, n) : 0;
}

i32 CSCN_EstimateSymbolSize(const CSCN_SYMBOL *symbol, i32 *minSize, i32 *maxSize) {
    if (minSize != nullptr) *minSize = 0;
    if (maxSize != nullptr) *maxSize = 0;
    if (symbol == nullptr) return 0;
    const CSCN_FINDER *c = symbol->corners;
    const bool v[4] = {c[0].valid == 1, c[1].valid == 1, c[2].valid == 1, c[3].valid == 1};
    SizeSums sums{0, 0, 0};
    constexpr i32 kStandard[3][2] = {{0, 1}, {1, 2}, {0, 2}};
    for (const auto &pr : kStandard)
        if (v[pr[0]] && v[pr[1]]) SizeMeasurePair(&c[pr[0]], &c[pr[1]], false, 5.0, &sums);
    if (v[1] && v[3]) SizeMeasurePair(&c[1], &c[3], true, 2.0, &sums);
    if (v[0] && v[3]) SizeMeasureLines(&c[0], 0, &c[3], 3, &sums);
    if (v[2] && v[3]) SizeMeasureLines(&c[2], 3, &c[3], 0, &sums);
    if (sums.weight == 0.0) return 0;
    const f64 m = sums.slope / (16.0 * sums.weight);
    g_cscnModuleSize = static_cast<f32>(m);
    const f64 estimate = sums.size / sums.weight + 0.45;
    if (!(estimate > -2147483647.0 && estimate < 2147483647.0)) return 0;
    const i32 size = static_cast<i32>(estimate);
    // k stays far below the point where 11 k leaves 32 bits.
    const i32 k = m >= 10.0 ? (m < 1.0e8 ? static_cast<i32>(m / 10.0) : 10000000) : 1;
    if (minSize != nullptr) *minSize = size + size / (-11 * k);
    if (maxSize != nullptr) *maxSize = size + size / (11 * k);
    return size;
}

}  // namespace vexo

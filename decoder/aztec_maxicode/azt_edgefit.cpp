// The bulls-eye measurements the locators start from: a side of a ring edge fitted from
// rays out of the centre, and the centres of the two ring runs beside an edge on one ray.
// Both count the rings outward from the centre module, whose colour the polarity gives.
#include <cmath>

#include "aztec_maxicode/azt_symbol.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr int kRingRays = 6;
constexpr int kMaxRingEdges = 3;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }

// Edges that enter a ring of the centre module's colour going outward (or the other kind).
int CentreEdges(const u8 *samples, int count, int level, i32 *positions, int capacity, bool centreKind) {
    const AZT_SYMBOL *s = g_aztDriver.current;
    const bool falling = (s != nullptr && s->polarity == 1) == centreKind;
    return falling ? Prof_FallingCrossings(samples, count, level, positions, capacity)
                   : Prof_RisingCrossings(samples, count, level, positions, capacity);
}

// centre + d * p / f per coordinate, truncating.
void PointAlong(const i32 centre[2], i64 dx, i64 dy, i64 p, i64 f, i32 out[2]) {
    out[0] = static_cast<i32>(centre[0] + dx * p / f);
    out[1] = static_cast<i32>(centre[1] + dy * p / f);
}

// One ray of the side fit: the n-th edge of the centre's polarity; 1 with the edge point.
int RingEdgeOnRay(const i32 centre[2], const i32 end[2], int n, i32 out[2]) {
    u8 *profile = g_aztDriver.scratch;
    if (profile == nullptr) return 0;
    const i32 j = end[0] - centre[0], k = end[1] - centre[1];
    const i32 l = Abs32(j) > Abs32(k) ? Abs32(j) : Abs32(k);
    if (l < 1) return 0;
    const i32 count = Geo_SampleLine16(centre[0], centre[1], end[0], end[1], profile, l < kAztScratchBytes ? l : kAztScratchBytes);
    const int level = Azt_ThirdThreshold(profile, count / 3);
    i32 positions[kMaxRingEdges];
    if (CentreEdges(profile, count, level, positions, n, true) != n) return 0;
    PointAlong(centre, j, k, positions[n - 1] - 4, l, out);
    return 1;
}

}  // namespace

int Azt_ThirdThreshold(const u8 *samples, int count) {
    if (samples == nullptr || count < 1) return 0;
    int lo = 255, hi = 0;
    for (int i = 0; i < count; ++i) {
        lo = samples[i] < lo ? samples[i] : lo;
        hi = samples[i] > hi ? samples[i] : hi;
    }
    return hi - lo >= 20 ? (hi + lo) >> 1 : hi;
}

int Azt_FitRingSide(const i32 a[2], const i32 b[2], const i32 centre[2], LINE_FIT *out) {
    if (a == nullptr || b == nullptr || centre == nullptr || out == nullptr || g_aztDriver.current == nullptr) return 0;
    const i64 dx = static_cast<i64>(b[0]) - a[0], dy = static_cast<i64>(b[1]) - a[1];
    out->alongX = (dy < 0 ? -dy : dy) < (dx < 0 ? -dx : dx) ? 1 : 0;
    if (dx == 0 && dy == 0) return 0;
    const int n = g_aztDriver.current->full != 0 ? 3 : 2;
    POINT_NODE nodes[kRingRays];
    int found = 0;
    for (int k = 1; k <= kRingRays; ++k) {
        // Through the point k/6 of the way from a to b, carried out to twice its distance.
        const i32 end[2] = {static_cast<i32>(2 * static_cast<i64>(a[0]) - centre[0] + 2 * k * dx / kRingRays),
                            static_cast<i32>(2 * static_cast<i64>(a[1]) - centre[1] + 2 * k * dy / kRingRays)};
        i32 p[2];
        if (RingEdgeOnRay(centre, end, n, p) == 0) continue;
        nodes[found] = POINT_NODE{p[0], p[1], nullptr};
        if (found > 0) nodes[found - 1].next = &nodes[found];
        ++found;
    }
    if (found < 2) return 0;
    return Geo_FitLineToPointList(nodes, found, out, out->alongX);
}

int Azt_ProbeRingRuns(const i32 centre[2], const i32 target[2], i32 inner[2], i32 outer[2], int compact) {
    u8 *profile = g_aztDriver.scratch;
    if (centre == nullptr || target == nullptr || inner == nullptr || outer == nullptr || profile == nullptr) return 0;
    const i64 dx = static_cast<i64>(target[0]) - centre[0], dy = static_cast<i64>(target[1]) - centre[1];
    const i64 f = (dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy) ? (dx < 0 ? -dx : dx) : (dy < 0 ? -dy : dy);
    if (f <= 0 || f > (1 << 24)) return 0;
    const i64 want = (f >> 4) + 1;
    const i32 count = Geo_SampleLine16(centre[0], centre[1], target[0], target[1], profile,
                                       static_cast<i32>(want < kAztScratchBytes ? want : kAztScratchBytes));
    const int level = Azt_ThirdThreshold(profile, count / 3);
    const int t = compact == 1 ? 2 : 3;
    i32 same[kMaxRingEdges], other[kMaxRingEdges];
    if (CentreEdges(profile, count, level, same, t, true) != t) return 0;
    const i32 m1 = same[t - 2], m2 = same[t - 1];
    const int o = CentreEdges(profile, count, level, other, t, false);
    int s = -1;
    for (int back = 1; back <= 3 && back <= o; ++back) {
        const i32 e = other[o - back];
        if (e > m1 && e < m2) {
            s = e;
            break;
        }
    }
    if (s < 0) return 0;
    PointAlong(centre, dx, dy, (s + m2) / 2 - 4, f, outer);
    PointAlong(centre, dx, dy, (m1 + s) / 2 - 4, f, inner);
    return 1;
}

// ---- Routines beside the alternative corner measurement.

int Azt_ProfileThreshold(const u8 *samples, int count) { return Azt_ThirdThreshold(samples, count); }

int Azt_TotalVariation(const u8 *samples, int count) {
    if (samples == nullptr || count < 2) return 0;
    i64 sum = 0;
    for (int i = 1; i < count; ++i) sum += samples[i] > samples[i - 1] ? samples[i] - samples[i - 1] : samples[i - 1] - samples[i];
    return static_cast<int>(sum * 100 / count);
}

int Azt_IntersectPointPairs(const GEO_POINT *p1, const GEO_POINT *p2, const GEO_POINT *p3, const GEO_POINT *p4,
                            GEO_POINT *out) {
    if (p1 == nullptr || p2 == nullptr || p3 == nullptr || p4 == nullptr || out == nullptr) return 0;
    return Geo_IntersectLines64(p1, p2, p3, p4, out) == 1 ? 1 : 0;
}

int Azt_ModulesFromLength(int length) { return length >= 60 ? (length - 20) / 5 : 7; }

}  // namespace vexo

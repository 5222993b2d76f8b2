#include "locate/ring_scanner.h"

#include <cmath>
#include <initializer_list>

#include "core/pixel.h"
#include "locate/row_thresholds.h"
#include "toolkit/geometry.h"
#include "toolkit/matrix.h"

namespace vexo {

namespace {

// Ray steps (dx, dy), y down; 8..15 are the opposites.
static constexpr i8 kRaySteps[kRingRays][2] = {{1, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 1}, {-1, 2}, {-1, 1}, {-2, 1}};
static_assert(sizeof(kRaySteps) / sizeof(kRaySteps[0]) == kRingRays);

constexpr i32 kRowTolerance = 825;
constexpr i32 kNearTolerance = 675;    // the second scan around near misses
constexpr i32 kRayToleranceSmall = 670;
constexpr i32 kRayToleranceLarge = 770;
constexpr i32 kSmallRing = 30;         // pixels
constexpr i32 kFinishTolerance = 640;
constexpr i32 kMinRaysScore = 869;
constexpr i32 kMinPlainScore = 849;
constexpr i32 kMinFinishedScore = 899;
constexpr i32 kMinSymmetry = 3200;
constexpr i32 kStraight = 973;         // a turn under about 18 degrees
constexpr i32 kRowStep = 5;
constexpr i32 kMinSpan = 9;            // pixels over five runs
constexpr i32 kMinExtent = 12;         // pixels
constexpr i32 kRayBudget = 256;        // steps on each side of a ray
constexpr i32 kRingBoundaries = 6;     // collected on each side of a ray
constexpr i32 kNearMisses = 16;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }
i32 Min32(i32 a, i32 b) { return a < b ? a : b; }
i32 Max32(i32 a, i32 b) { return a > b ? a : b; }

i32 Ratio1024(i32 a, i32 b) {
    a = Abs32(a);
    b = Abs32(b);
    const i32 hi = Max32(a, b);
    return hi == 0 ? 0 : static_cast<i32>(static_cast<i64>(Min32(a, b)) * 1024 / hi);
}

// min x scale >= factor x max, the ratio rules of the run tests.
bool RatioAtLeast(i32 a, i32 b, i64 scale, i64 factor) {
    a = Abs32(a);
    b = Abs32(b);
    return static_cast<i64>(Min32(a, b)) * scale >= factor * Max32(a, b) && Max32(a, b) > 0;
}

bool IsDark(u8 v, u8 threshold) { return v < threshold; }

struct ScanFrame {
    const u8 *pixels;
    i32 width, height;
    u8 Pixel(i32 x, i32 y) const { return pixels[static_cast<i64>(y) * width + x]; }
    bool Has(i32 x, i32 y) const { return x >= 0 && y >= 0 && x < width && y < height; }
};

// Boundaries met from (x, y) along (dx, dy), at most kRingBoundaries, as the step of the
// first pixel of each new value; the walk stops at the frame's edge.
i32 WalkRay(const ScanFrame &f, i32 x, i32 y, i32 dx, i32 dy, u8 threshold, i32 *at) {
    bool cur = IsDark(f.Pixel(x, y), threshold);
    i32 n = 0;
    for (i32 k = 1; k <= kRayBudget && n < kRingBoundaries; ++k) {
        const i32 px = x + k * dx, py = y + k * dy;
        if (!f.Has(px, py)) break;
        const bool v = IsDark(f.Pixel(px, py), threshold);
        if (v == cur) continue;
        at[n++] = k;
        cur = v;
    }
    return n;
}

// Eight bounds (half steps) from four boundaries on each side.
void RayBounds(const i32 *fwd, const i32 *back, i32 *b) {
    for (int k = 0; k < 4; ++k) {
        b[3 - k] = -(2 * back[k] - 1);
        b[4 + k] = 2 * fwd[k] - 1;
    }
}

POINT_I32 CrossingPoint(i32 x, i32 y, i32 dx, i32 dy, i32 steps) {
    return POINT_I32{16 * x + 8 * (2 * steps - 1) * dx, 16 * y + 8 * (2 * steps - 1) * dy};
}

i64 Pack(POINT_I32 p) { return static_cast<i64>(static_cast<u64>(static_cast<u32>(p.y)) << 32 | static_cast<u32>(p.x)); }
POINT_I32 Unpack(i64 v) {
    return POINT_I32{static_cast<i32>(static_cast<u32>(static_cast<u64>(v))),
                     static_cast<i32>(static_cast<u32>(static_cast<u64>(v) >> 32))};
}

i32 PackBox(POINT_I32 p16) {
    const i32 x = (p16.x + 8) >> 4, y = (p16.y + 8) >> 4;
    return static_cast<i32>(static_cast<u32>(static_cast<u16>(x)) | static_cast<u32>(static_cast<u16>(y)) << 16);
}

struct RingScan {
    ScanFrame f;
    RING_CANDIDATE *out;
    i32 capacity;
    i32 count;
    u16 *runs;      // first run list
    u16 *reruns;    // second run list
    struct NearMiss {
        i32 x0, x1, y, polarity;
    } near[kNearMisses];
    i32 nearCount;
    bool Full() const { return count >= capacity; }
};

bool NearKept(const RingScan &s, i32 cx, i32 cy, i32 w) {
    for (i32 k = 0; k < s.count; ++k) {
        const RING_CANDIDATE &r = s.out[k];
        const i64 reach = (static_cast<i64>(w) + r.size) * 3 / 4;
        if (Abs32(cx - r.centreX) < reach && Abs32(cy - r.centreY) < reach) return true;
    }
    return false;
}

// Steps 4 to 6 for one candidate centre; 1 when a record was kept.
int EvaluateCandidate(RingScan &s, i32 cx, i32 cy, i32 w, u8 threshold, int polarity, i32 rowScore) {
    RING_PROBE probes[kRingRays] = {};
    i32 h = 0, score = 0;
    if (Loc_RingProbeRay(s.f.pixels, &cx, &cy, &h, 4, polarity, threshold, &score, kRowTolerance, probes) == 0) return 0;
    const i32 tol = w < kSmallRing ? kRayToleranceSmall : kRayToleranceLarge;
    i32 rowWidth = 0, unused = 0;
    if (Loc_RingProbeRay(s.f.pixels, &cx, &cy, &rowWidth, 0, polarity, threshold, &unused, tol, probes) == 0) return 0;
    score += rowScore;  // the row stands for direction 0
    for (int d : {1, 2, 3, 5, 6, 7})
        if (Loc_RingProbeRay(s.f.pixels, &cx, &cy, nullptr, d, polarity, threshold, &score, tol, probes) == 0) return 0;
    score /= kRingRays;
    if (w <= kMinExtent || h <= kMinExtent || score <= kMinRaysScore) return 0;
    i32 sym = 0;
    if (Loc_RingSymmetry(probes, &sym) == 0) return 0;
    RING_CANDIDATE c{0, cx, cy, {0, 0, 0, 0}, (w + h) * 9 / 14, (score + sym) / 2, polarity};
    i64 points[2 * kRingRays];
    for (int k = 0; k < kRingRays; ++k) {
        points[k] = Pack(probes[k].outer[0]);
        points[k + kRingRays] = Pack(probes[k].outer[1]);
    }
    i32 finish = 0;
    const RING_CANDIDATE plain = c;
    if (Loc_RingFinishCandidate(s.f.pixels, &c, probes, threshold, &finish, kFinishTolerance) != 0 &&
        Loc_RingSymmetry(probes, &sym) != 0) {
        c.type = 1;
        c.size = (w + h) * 13 / 18;
        c.score = (score + finish + sym) / 3;
    }
    // Outer rings that pass only weakly (data beside a small bulls-eye can) leave the
    // candidate as good as one whose outer rings failed: it stays a type-0 record.
    if (c.type == 1 && c.score <= kMinFinishedScore) c = plain;
    if (c.type == 0 && c.score <= kMinPlainScore) return 0;
    if (Loc_RingCorners(points, c.corner) == 0) return 0;
    s.out[s.count++] = c;
    return 1;
}

// Steps 3 to 6 over one run list of the row segment from column left; tolerance for the
// row's runs. Near misses at the second scan's tolerance are remembered.
void ScanRuns(RingScan &s, const u16 *b, i32 n, i32 left, i32 y, u8 rowThreshold, int polarity, i32 tolerance) {
    const u8 *row = s.f.pixels + static_cast<i64>(y) * s.f.width + left;
    // Odd starts put the centre run on the rings' own colour (even runs follow the
    // skipped leading ground).
    for (i32 i = 1; i + 7 < n && !s.Full(); i += 2) {
        if (b[i + 5] - b[i] <= kMinSpan) continue;
        i32 bb[8];
        for (int k = 0; k < 8; ++k) bb[k] = b[i + k];
        i32 rowScore = 0;
        if (Loc_RingEqualRuns6(bb, &rowScore, tolerance) == 0) {
            i32 loose = 0;
            if (tolerance > kNearTolerance && s.nearCount < kNearMisses && Loc_RingEqualRuns6(bb, &loose, kNearTolerance) != 0)
                s.near[s.nearCount++] = {left + bb[0], left + bb[7], y, polarity};
            continue;
        }
        const i32 cx = left + (bb[3] + bb[4]) / 2;
        const i32 w = bb[7] - bb[0];
        if (NearKept(s, cx, y, w)) continue;
        const i32 mid = Loc_RunMidThreshold(row + bb[0], w);
        const u8 threshold = mid != 0 ? static_cast<u8>(mid) : rowThreshold;
        EvaluateCandidate(s, cx, y, w, threshold, polarity, rowScore);
    }
}

void ScanRow(RingScan &s, u16 *list, i32 left, i32 right, i32 y, int polarity, i32 tolerance) {
    u8 threshold = 0;
    const u8 *row = s.f.pixels + static_cast<i64>(y) * s.f.width + left;
    const i32 n = Loc_RingRunBoundaries(row, right - left + 1, list, &threshold, polarity);
    if (n < 6) return;
    ScanRuns(s, list, n, left, y, threshold, polarity, tolerance);
}

struct RingWindow {
    i32 left, top, right, bottom;
};

void ScanWindow(RingScan &s, RingWindow w, int mode) {
    s.nearCount = 0;
    for (i32 y = w.top; y <= w.bottom && !s.Full(); y += kRowStep) {
        i32 passes = 0, polarity = mode == 1 ? 0 : 1;
        // Mode 0 and 1 give one pass of their polarity, mode 2 both.
        while (passes < 2 && !s.Full()) {
            ScanRow(s, s.runs, w.left, w.right, y, polarity, kRowTolerance);
            Loc_RingNextPolarity(&passes, &polarity, mode);
        }
    }
    // The second scan: the rows around each near miss, over its span, at the looser tolerance.
    const i32 misses = s.nearCount;
    for (i32 k = 0; k < misses && !s.Full(); ++k) {
        const auto m = s.near[k];
        for (i32 dy : {-2, -1, 1, 2}) {
            const i32 y = m.y + dy;
            if (y < w.top || y > w.bottom || s.Full()) continue;
            const i32 reach = (m.x1 - m.x0) / 2;
            const i32 l = Max32(w.left, m.x0 - reach), r = Min32(w.right, m.x1 + reach);
            if (r - l < 8) continue;
            ScanRow(s, s.reruns, l, r, y, m.polarity, kNearTolerance);
        }
    }
}

}  // namespace

i32 Loc_RingRunBoundaries(const u8 *line, i32 n, u16 *bounds, u8 *threshold, int polarity) {
    if (line == nullptr || bounds == nullptr || threshold == nullptr || n <= 1) return 0;
    const i32 t = Prof_ThresholdByThirds(line, n, 1, 1);
    *threshold = static_cast<u8>(t < 0 ? 0 : (t > 255 ? 255 : t));
    // 255 is the routine's answer when no third proposes a threshold.
    if (t <= 0 || t >= 255) return 0;
    const i32 cap = Min32(n / 2, kRingRunCapacity);
    i32 pos = 0;
    if (polarity == 1) {
        while (pos < n && line[pos] >= t) ++pos;
    } else {
        while (pos < n && line[pos] <= t) ++pos;
    }
    if (pos >= n || cap < 2) return 0;
    i32 count = 0;
    bounds[count++] = static_cast<u16>(pos);
    bool below = line[pos] < t;
    for (i32 k = pos + 1; k < n && count < cap - 1; ++k) {
        const bool b = line[k] < t;
        if (b == below) continue;
        bounds[count++] = static_cast<u16>(k);
        below = b;
    }
    bounds[count++] = static_cast<u16>(n);
    if (count >= 2 && bounds[count - 1] == bounds[count - 2]) --count;
    return count;
}

i32 Loc_RingRunBoundariesChecked(const u8 *line, i32 n, u16 *bounds, u8 *threshold, int polarity) {
    return n <= 0 ? 0 : Loc_RingRunBoundaries(line, n, bounds, threshold, polarity);
}

int Loc_RingEqualRuns6(const i32 *b, i32 *score, i32 a) {
    if (b == nullptr || score == nullptr) return 0;
    const i64 outer = 8 * static_cast<i64>(a) - 3072, inner = 2 * static_cast<i64>(a) - 1024;
    const i32 pairs[6][2] = {{b[2] - b[0], b[3] - b[1]}, {b[4] - b[2], b[5] - b[3]}, {b[6] - b[4], b[7] - b[5]},
                             {b[5] - b[0], b[6] - b[1]}, {b[3] - b[1], b[4] - b[2]}, {b[5] - b[3], b[6] - b[4]}};
    i32 sum = 0;
    for (int k = 0; k < 6; ++k) {
        const bool ok = k < 4 ? RatioAtLeast(pairs[k][0], pairs[k][1], 5120, outer)
                              : RatioAtLeast(pairs[k][0], pairs[k][1], 1024, inner);
        if (!ok) return 0;
        sum += Ratio1024(pairs[k][0], pairs[k][1]);
    }
    if (sum <= 6 * a) return 0;
    *score += sum / 6;
    return 1;
}

int Loc_RingEqualRuns4(const i32 *b, i32 *score, i32 a) {
    if (b == nullptr || score == nullptr) return 0;
    const i64 factor = 2 * static_cast<i64>(a) - 1024;
    const i32 pairs[4][2] = {{b[2] - b[0], b[5] - b[3]},
                             {b[3] - b[1], b[4] - b[2]},
                             {b[4] - b[2], 2 * (b[5] - b[3])},
                             {b[3] - b[1], 2 * (b[2] - b[0])}};
    i32 sum = 0;
    for (const auto &p : pairs) {
        if (!RatioAtLeast(p[0], p[1], 1024, factor)) return 0;
        sum += Ratio1024(p[0], p[1]);
    }
    if (sum <= 4 * a) return 0;
    *score += sum / 4;
    return 1;
}

int Loc_RingInnerRatio(const i32 *b, i32 *score, i32 minimum) {
    if (b == nullptr || score == nullptr || b[2] == b[0]) return 0;
    const i32 w = b[2] - b[0];
    const i32 sum = Ratio1024(w, b[5] - b[3]) + Ratio1024(7 * w, 2 * (b[3] - b[2]));
    if (sum < 2 * minimum) return 0;
    *score = sum / 2;
    return 1;
}

int Loc_RingProbeRay(const u8 *frame, i32 *x, i32 *y, i32 *width, int direction, int polarity, u8 threshold,
                     i32 *score, i32 tolerance, RING_PROBE *probes) {
    if (frame == nullptr || x == nullptr || y == nullptr || score == nullptr || probes == nullptr) return 0;
    if (direction < 0 || direction >= kRingRays) return 0;
    const ScanFrame f{frame, g_image.width, g_image.height};
    if (!f.Has(*x, *y)) return 0;
    // The centre run carries the rings' own colour.
    if (IsDark(f.Pixel(*x, *y), threshold) != (polarity == 1)) return 0;
    const i32 dx = kRaySteps[direction][0], dy = kRaySteps[direction][1];
    i32 fwd[kRingBoundaries], back[kRingBoundaries];
    if (WalkRay(f, *x, *y, dx, dy, threshold, fwd) < 4 || WalkRay(f, *x, *y, -dx, -dy, threshold, back) < 4) return 0;
    RING_PROBE &p = probes[direction];
    RayBounds(fwd, back, p.bounds);
    i32 s = 0;
    if (Loc_RingEqualRuns6(p.bounds, &s, tolerance) == 0) return 0;
    p.score = s;
    *score += s;
    p.outer[0] = CrossingPoint(*x, *y, dx, dy, fwd[3]);
    p.outer[1] = CrossingPoint(*x, *y, -dx, -dy, back[3]);
    if (direction == 0 || direction == 4) {
        // Half the difference of the first boundaries on both sides moves onto the centre.
        const i32 shift = (fwd[0] - back[0]) / 2;
        if (direction == 0) {
            *x += shift;
        } else {
            *y += shift;
        }
        if (width != nullptr) *width = fwd[3] + back[3] - 1;
    }
    return 1;
}

int Loc_RingSymmetry(const RING_PROBE *probes, i32 *score) {
    if (probes == nullptr || score == nullptr) return 0;
    i32 sum = 0;
    for (int k = 0; k < kRingRays; k += 2) sum += Ratio1024(probes[k].bounds[7], probes[k].bounds[0]);
    if (sum < kMinSymmetry) return 0;
    *score = sum / 4;
    return 1;
}

i32 Loc_RingCosine1024(POINT_I32 a, POINT_I32 b, POINT_I32 c) {
    const i64 ux = static_cast<i64>(a.x) - b.x, uy = static_cast<i64>(a.y) - b.y;
    const i64 vx = static_cast<i64>(c.x) - a.x, vy = static_cast<i64>(c.y) - a.y;
    const i64 uu = ux * ux + uy * uy, vv = vx * vx + vy * vy;
    if (uu == 0 || vv == 0) return 0;
    const double d = std::sqrt(static_cast<double>(uu)) * std::sqrt(static_cast<double>(vv));
    return static_cast<i32>(1024.0 * static_cast<double>(ux * vx + uy * vy) / d);
}

int Loc_RingCorners(const i64 *points, i32 *box) {
    if (points == nullptr || box == nullptr) return 0;
    constexpr int n = 2 * kRingRays;
    POINT_I32 p[n];
    for (int k = 0; k < n; ++k) p[k] = Unpack(points[k]);
    // The sixteen rays are 22.5 degrees apart, four to a side: the corners lie near the
    // four crossings a quarter turn apart that are farthest from the centre.
    i64 cx = 0, cy = 0;
    for (const POINT_I32 &q : p) {
        cx += q.x;
        cy += q.y;
    }
    cx /= n;
    cy /= n;
    int phase = 0;
    i64 best = -1;
    for (int k = 0; k < 4; ++k) {
        i64 d = 0;
        for (int j = k; j < n; j += 4) d += (p[j].x - cx) * (p[j].x - cx) + (p[j].y - cy) * (p[j].y - cy);
        if (d > best) {
            best = d;
            phase = k;
        }
    }
    bool straight[n];
    for (int k = 0; k < n; ++k)
        straight[k] = Loc_RingCosine1024(p[k], p[(k + n - 1) % n], p[(k + 1) % n]) > kStraight;
    // Midway between corners the ring's side runs straight through its crossings.
    int sides = 0;
    for (int j = phase + 2; j < n; j += 4) sides += straight[j] ? 1 : 0;
    if (sides < 2) return 0;
    POINT_I32 corners[4];
    for (int k = 0; k < 4; ++k) {
        const int c = phase + 4 * k, before = (c + n - 1) % n, after = (c + 1) % n;
        corners[k] = p[c];
        // A lone turning crossing between straight ones is the corner itself; otherwise
        // the corner falls between rays, where the sides through the two crossings on
        // either side meet.
        if (!straight[c] && straight[before] && straight[after]) continue;
        POINT_I32 m;
        if (Geo_IntersectLines64(&p[(c + n - 2) % n], &p[before], &p[after], &p[(c + 2) % n], &m) == 1) corners[k] = m;
    }
    // Clockwise from the top-most (ray order is clockwise already).
    int top = 0;
    for (int k = 1; k < 4; ++k)
        if (corners[k].y < corners[top].y) top = k;
    for (int k = 0; k < 4; ++k) box[k] = PackBox(corners[(top + k) % 4]);
    return 1;
}

i32 Loc_RingDisplacementSums(const POINT_I32 *p, i32 *sums, i32 n) {
    if (p == nullptr || sums == nullptr || n <= 0) return 0;
    // Each p[j] enters j times with + and n - 1 - j times with -.
    i64 sx = 0, sy = 0;
    for (i32 j = 0; j < n; ++j) {
        const i64 f = 2 * static_cast<i64>(j) - (n - 1);
        sx += f * p[j].x;
        sy += f * p[j].y;
    }
    auto narrow = [](i64 v) { return static_cast<i32>(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v)); };
    sums[0] = narrow(sx);
    sums[1] = narrow(sy);
    return 1;
}

int Loc_RingFinishCandidate(const u8 *frame, RING_CANDIDATE *c, RING_PROBE *probes, u8 threshold, i32 *score,
                            i32 tolerance) {
    if (frame == nullptr || c == nullptr || probes == nullptr || score == nullptr) return 0;
    const ScanFrame f{frame, g_image.width, g_image.height};
    if (!f.Has(c->centreX, c->centreY)) return 0;
    i32 sum = 0;
    // The axis rays out to the sixth boundary: two more rings of the width of the first
    // two, around a core seven runs wide.
    for (int d : {0, 4}) {
        const i32 dx = kRaySteps[d][0], dy = kRaySteps[d][1];
        i32 fwd[kRingBoundaries], back[kRingBoundaries];
        if (WalkRay(f, c->centreX, c->centreY, dx, dy, threshold, fwd) < kRingBoundaries ||
            WalkRay(f, c->centreX, c->centreY, -dx, -dy, threshold, back) < kRingBoundaries)
            return 0;
        const i32 b[6] = {-(2 * back[5] - 1), -(2 * back[4] - 1), -(2 * back[3] - 1),
                          2 * fwd[3] - 1,     2 * fwd[4] - 1,     2 * fwd[5] - 1};
        i32 s = 0;
        if (Loc_RingInnerRatio(b, &s, tolerance) == 0) return 0;
        sum += s;
    }
    *score = sum / 2;
    return 1;
}

void Loc_RingSortCandidates(RING_CANDIDATE *c, i32 n, i32 capacity) {
    if (c == nullptr || n < 0) return;
    if (n > capacity) n = capacity;
    for (i32 i = 1; i < n; ++i) {
        const RING_CANDIDATE v = c[i];
        i32 j = i;
        while (j > 0 && c[j - 1].score < v.score) {
            c[j] = c[j - 1];
            --j;
        }
        c[j] = v;
    }
    if (n < capacity) c[n] = RING_CANDIDATE{};
}

void Loc_RingNextPolarity(i32 *count, i32 *polarity, int mode) {
    if (count == nullptr || polarity == nullptr) return;
    if (mode == 0) {
        *count += 2;
        *polarity = 1;
    } else if (mode == 1) {
        *count += 2;
        *polarity = 0;
    } else {
        *count += 1;
        *polarity = *polarity != 0 ? 0 : 1;
    }
}

i32 Loc_RingScanFrame(const u8 *frame, RING_CANDIDATE *out, i32 capacity, POINT_I32 topLeft, POINT_I32 bottomRight,
                      int multiPass, int polarity) {
    if (frame == nullptr || out == nullptr || capacity < 1 || g_image.width <= 0 || g_image.height <= 0) return 0;
    const i32 W = g_image.width, H = g_image.height;
    // The two run lists stay inside the installed part of the second buffer.
    if (static_cast<i64>(W) * H < 4 * kRingRunCapacity) return 0;
    u8 *lists = Pix_WorkMemory(4 * kRingRunCapacity);
    if (lists == nullptr) return 0;
    RingScan s{{frame, W, H}, out, capacity, 0, reinterpret_cast<u16 *>(lists),
               reinterpret_cast<u16 *>(lists) + kRingRunCapacity, {}, 0};
    for (i32 k = 0; k < 2 * kRingRunCapacity; ++k) s.runs[k] = 0;
    RingWindow windows[3];
    if (topLeft.x < bottomRight.x && topLeft.y < bottomRight.y) {
        windows[0] = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
    } else {
        windows[0] = {W / 4 - 1, H / 4 - 1, 3 * (W / 4) - 1, 3 * (H / 4) - 1};
    }
    // The further passes: the left and right halves of the middle two thirds of rows.
    windows[1] = {0, H / 6, W / 2, H - H / 6 - 1};
    windows[2] = {W / 2, H / 6, W - 1, H - H / 6 - 1};
    const int mode = polarity == 1 ? 0 : (polarity == 0 ? 1 : 2);
    const int passes = multiPass != 0 ? 3 : 1;
    for (int k = 0; k < passes && !s.Full(); ++k) {
        RingWindow w = windows[k];
        // A caller's window is clipped to the frame.
        w.left = Max32(w.left, 0);
        w.top = Max32(w.top, 0);
        w.right = Min32(w.right, W - 1);
        w.bottom = Min32(w.bottom, H - 1);
        if (w.right - w.left < 8 || w.bottom < w.top) continue;
        ScanWindow(s, w, mode);
    }
    Loc_RingSortCandidates(out, s.count, capacity);
    return s.count;
}

}  // namespace vexo

// The module's line, edge and pattern routines beside its L-finders: distances and line
// walks, edge points across a path, a small Hough vote, a module count along timing sides,
// a pattern search by offset points, thresholds, clipping and guarded forms.
#include <cmath>
#include <initializer_list>

#include "core/pixel.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_locate.h"
#include "datamatrix/dm_segment.h"
#include "toolkit/angle_tables.h"

namespace vexo {

namespace {

inline i64 Abs64(i64 v) { return v < 0 ? -v : v; }
inline i32 Min(i32 a, i32 b) { return a < b ? a : b; }
inline i32 Max(i32 a, i32 b) { return a > b ? a : b; }

// A double as an i32 when it is finite and fits, truncated.
bool ToI32(f64 v, i32 *out) {
    if (!std::isfinite(v) || v <= -2147483649.0 || v >= 2147483648.0) return false;
    *out = static_cast<i32>(v);
    return true;
}

}  // namespace

i32 DM_PointDistance(const i32 *p, const i32 *q) {
    if (p == nullptr || q == nullptr) return 0;
    const f64 dx = static_cast<f64>(q[0]) - p[0], dy = static_cast<f64>(q[1]) - p[1];
    return static_cast<i32>(std::sqrt(dx * dx + dy * dy));
}

i32 DM_LineVariation(const DM_PIXEL_VIEW *view, i32 x0, i32 y0, i32 x1, i32 y1, i32 *total) {
    if (total != nullptr) *total = 0;
    if (view == nullptr || view->pixels == nullptr) return 0;
    const i64 dx = static_cast<i64>(x1) - x0, dy = static_cast<i64>(y1) - y0;
    const i64 ax = Abs64(dx), ay = Abs64(dy);
    const i64 n = ax > ay ? ax : ay;
    if (n < 2) return 0;
    const auto inside = [&](i64 x, i64 y) { return x >= 0 && y >= 0 && x < view->width && y < view->height; };
    if (!inside(x0, y0)) return 1;
    const i64 sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    i64 x = x0, y = y0, err = ax - ay;
    i32 prev = view->pixels[y * view->stride + x];
    i32 steps = 0;
    i64 sum = 0;
    for (i64 k = 0; k < n - 1; ++k) {
        const i64 e2 = 2 * err;
        if (e2 > -ay) { err -= ay; x += sx; }
        if (e2 < ax) { err += ax; y += sy; }
        if (!inside(x, y)) break;
        const i32 v = view->pixels[y * view->stride + x];
        sum += v > prev ? v - prev : prev - v;
        prev = v;
        ++steps;
    }
    if (total != nullptr) *total = static_cast<i32>(sum);
    return 1 + steps;
}

namespace {

i32 EdgesAcrossPath(bool rising, const GEO_POINT *p, const GEO_POINT *q, i32 a, i32 b, i32 minStep, i32 *xs, i32 *ys,
                    i32 capacity) {
    if (p == nullptr || q == nullptr || xs == nullptr || ys == nullptr || capacity <= 0) return 0;
    // The cross line's samples must fit the buffer: a longer one gives nothing.
    if (2 * (Abs64(a) > Abs64(b) ? Abs64(a) : Abs64(b)) + 1 > kDmCrossLineSamples) return 0;
    const i64 dx = static_cast<i64>(q->x) - p->x, dy = static_cast<i64>(q->y) - p->y;
    const i64 ax = Abs64(dx), ay = Abs64(dy);
    const i64 sx = dx < 0 ? -1 : 1, sy = dy < 0 ? -1 : 1;
    const i64 n = ax > ay ? ax : ay;
    i64 x = p->x, y = p->y, err = ax - ay;
    u8 samples[kDmCrossLineSamples];
    i32 edges[kDmMaxEdgeCentres];
    i32 count = 0;
    for (i64 k = 1; k < n && count < capacity; ++k) {
        const i64 e2 = 2 * err;
        if (e2 > -ay) { err -= ay; x += sx; }
        if (e2 < ax) { err += ax; y += sy; }
        const i32 u = static_cast<i32>(x), v = static_cast<i32>(y);
        const i32 ns = DM_SampleFrameLine(u - a, v - b, u + a, v + b, samples, kDmCrossLineSamples);
        if (ns <= 0) continue;
        const i32 ne = rising ? DM_RisingEdgeCentres(samples, ns, edges, minStep)
                              : DM_FallingEdgeCentres(samples, ns, edges, minStep);
        for (i32 i = ne - 1; i >= 0 && count < capacity; --i) {
            const i64 e = edges[i];
            xs[count] = static_cast<i32>(u - a + (2 * e * a) / (10 * static_cast<i64>(ns)));
            ys[count] = static_cast<i32>(v - b + (2 * e * b) / (10 * static_cast<i64>(ns)));
            ++count;
        }
    }
    return count;
}

}  // namespace

i32 DM_FallingEdgesAcrossPath(const GEO_POINT *p, const GEO_POINT *q, i32 a, i32 b, i32 minStep, i32 *xs, i32 *ys,
                              i32 capacity) {
    return EdgesAcrossPath(false, p, q, a, b, minStep, xs, ys, capacity);
}

i32 DM_RisingEdgesAcrossPath(const GEO_POINT *p, const GEO_POINT *q, i32 a, i32 b, i32 minStep, i32 *xs, i32 *ys,
                             i32 capacity) {
    return EdgesAcrossPath(true, p, q, a, b, minStep, xs, ys, capacity);
}

void DM_HoughVote(i32 x0, i32 y0, i32 firstAngle, i32 endAngle, i32 votes[300], const i32 *xs, const i32 *ys,
                  i32 count) {
    if (votes == nullptr || xs == nullptr || ys == nullptr || firstAngle >= endAngle) return;
    // The column is the angle's step from the first; the accumulator has ten.
    const i64 angles = static_cast<i64>(endAngle) - firstAngle;
    const i32 columns = angles < 10 ? static_cast<i32>(angles) : 10;
    const i32 start = ((firstAngle % kAngleSteps) + kAngleSteps) % kAngleSteps;
    for (i32 i = 0; i < count; ++i) {
        for (i32 c = 0; c < columns; ++c) {
            const i32 k = (start + c) % kAngleSteps;
            const i64 r = (static_cast<i64>(ys[i]) - y0) * kAngleSin[k] + (static_cast<i64>(xs[i]) - x0) * kAngleCos[k];
            if (r >= 0 && (r >> 20) <= 29) ++votes[(r >> 20) * 10 + c];
        }
    }
}

i32 DM_HoughPeak(i32 firstAngle, const i32 votes[300], i32 *angle, i32 *distance) {
    if (votes == nullptr || angle == nullptr || distance == nullptr) return 0;
    i32 best = 7, n = 0;
    i64 angleSum = 0, distanceSum = 0;
    for (i32 row = 0; row < 30; ++row) {
        for (i32 col = 0; col < 10; ++col) {
            const i32 v = votes[row * 10 + col];
            if (v > best) {
                best = v;
                n = 0;
                angleSum = distanceSum = 0;
            }
            if (v == best) {
                angleSum += static_cast<i64>(firstAngle) + col;
                distanceSum += row;
                ++n;
            }
        }
    }
    if (n == 0) return 0;
    *angle = static_cast<i32>(angleSum / n);
    *distance = static_cast<i32>(distanceSum / n);
    return 1;
}

i32 DM_IntersectSlopeLinesTrunc(const SLOPE_LINE *l1, const SLOPE_LINE *l2, i32 out[2]) {
    if (l1 == nullptr || l2 == nullptr || out == nullptr) return 0;
    const f64 s1 = l1->slope, s2 = l2->slope, c1 = l1->intercept, c2 = l2->intercept;
    if (!(std::fabs(s1 - s2) >= 1e-5)) return 0;
    const bool v1 = std::fabs(s1) >= kVerticalSlope, v2 = std::fabs(s2) >= kVerticalSlope;
    if (v1 && v2) return 0;
    f64 x, y;
    if (v1 || v2) {
        x = v1 ? c1 : c2;
        const f64 xi = std::trunc(x);
        y = v1 ? s2 * xi + c2 : s1 * xi + c1;
    } else {
        x = (c2 - c1) / (s1 - s2);
        y = (s1 * c2 - s2 * c1) / (s1 - s2);
    }
    i32 ix, iy;
    if (!ToI32(x, &ix) || !ToI32(y, &iy)) return 0;
    out[0] = ix;
    out[1] = iy;
    return 1;
}

namespace {

// One line's module count from its rising and falling edge spacings; 0 without votes, for a
// line under 2 px or one longer than the sample buffer.
i32 TimingLineCount(GEO_POINT from, GEO_POINT to) {
    const i64 len = (Abs64(static_cast<i64>(to.x) - from.x) > Abs64(static_cast<i64>(to.y) - from.y)
                         ? Abs64(static_cast<i64>(to.x) - from.x)
                         : Abs64(static_cast<i64>(to.y) - from.y)) + 1;
    if (len > kDmTimingLineSamples) return 0;
    u8 s[kDmTimingLineSamples];
    const i32 n = DM_SampleFrameLine(from.x, from.y, to.x, to.y, s, kDmTimingLineSamples);
    if (n < 4) return 0;
    i64 sum = 0;
    for (i32 i = 0; i < n; ++i) sum += s[i];
    const i32 step = static_cast<i32>(sum / (4 * static_cast<i64>(n)));
    i32 rising[kDmMaxEdgeCentres], falling[kDmMaxEdgeCentres];
    const i32 nr = DM_RisingEdgeCentres(s + 2, n - 3, rising, step);
    const i32 nf = DM_FallingEdgeCentres(s + 2, n - 3, falling, step);
    i64 S[6] = {}, C[6] = {};
    for (i32 k = 1; k <= 5; ++k) {
        for (i32 i = k; i < nr; ++i) { S[k] += rising[i] - rising[i - k]; C[k] += 2 * k; }
        for (i32 i = k; i < nf; ++i) { S[k] += falling[i] - falling[i - k]; C[k] += 2 * k; }
    }
    i32 bestK = 0, bestVotes = 0;
    i64 bestS = 0, bestC = 0;
    for (i32 k = 1; k <= 5; ++k) {
        if (C[k] <= 0) continue;
        const f64 pk = static_cast<f64>(S[k]) / static_cast<f64>(C[k]);
        i64 ts = S[k], tc = C[k];
        i32 votes = 0;
        for (i32 j = 2; j <= 5; ++j) {
            if (C[j] <= 0) continue;
            const f64 pj = static_cast<f64>(S[j]) / static_cast<f64>(C[j]);
            if (std::fabs(pj - pk) * 100 < 25 * pk) {
                ts += S[j];
                tc += C[j];
                ++votes;
            }
        }
        if (votes > bestVotes) {
            bestVotes = votes;
            bestK = k;
            bestS = ts;
            bestC = tc;
        }
    }
    if (bestK == 0 || bestS <= 0) return 0;
    return static_cast<i32>((static_cast<i64>(n) * 100 * bestC / bestS - 20) / 10);
}

// The agreeing count of three lines from a - o_j to b - o_j, o_j = j (u - v) / m.
i32 TimingSideCount(GEO_POINT a, GEO_POINT b, GEO_POINT u, GEO_POINT v, i32 mode) {
    const i64 ux = static_cast<i64>(u.x) - v.x, uy = static_cast<i64>(u.y) - v.y;
    const i64 m = Abs64(ux) > Abs64(uy) ? Abs64(ux) : Abs64(uy);
    if (m == 0) return 0;  // coincident corners: no direction into the quad
    i32 c[3];
    for (i32 j = 0; j < 3; ++j) {
        const i32 ox = static_cast<i32>(j * ux / m), oy = static_cast<i32>(j * uy / m);
        c[j] = TimingLineCount(GEO_POINT{a.x - ox, a.y - oy}, GEO_POINT{b.x - ox, b.y - oy});
        if (mode != 1) c[j] -= c[j] % 2;
    }
    if (c[0] == c[1]) return c[0];
    if (c[2] == c[0] || c[2] == c[1]) return c[2];
    return -1;
}

}  // namespace

i32 DM_CountTimingModules(const GEO_POINT quad[4], i32 mode, const void *required) {
    if (quad == nullptr || required == nullptr || mode <= 0) return 0;
    const i32 first = TimingSideCount(quad[3], quad[1], quad[3], quad[2], mode);
    if (first >= 0) return first;
    const i32 second = TimingSideCount(quad[0], quad[1], quad[0], quad[2], mode);
    return second >= 0 ? second : 0;
}

i32 DM_SampleBilinear16Zero(const u8 *pixels, i32 x16, i32 y16) {
    const i32 w = g_image.width, h = g_image.height;
    if (pixels == nullptr || x16 >= (w - 1) * 16 || y16 >= (h - 1) * 16) return 0;
    const i32 x = x16 >> 4, y = y16 >> 4, fx = x16 & 15, fy = y16 & 15;
    const u8 *p = pixels + static_cast<i64>(y) * w + x;
    return ((16 - fx) * (16 - fy) * p[0] + fx * (16 - fy) * p[1] + (16 - fx) * fy * p[w] + fx * fy * p[w + 1]) >> 8;
}

i32 DM_SampleBilinear16ZeroChecked(const u8 *pixels, i32 x16, i32 y16) {
    if (x16 <= 0 || y16 <= 0) return 0;
    return DM_SampleBilinear16Zero(pixels, x16, y16);
}

i32 DM_LevelContrastThreshold(u8 level) {
    if (level >= 73 && level <= 149) return (level - 40) / 3;
    if (level >= 150 && level <= 182) return (215 - level) / 3;
    return 10;
}

i32 DM_CountLineTransitionsChecked(i32 x0, i32 y0, i32 x1, i32 y1, i32 contrast) {
    if (x0 < 0 || y0 < 0) return 0;
    return DM_CountLineTransitions(x0, y0, x1, y1, contrast);
}

i32 DM_IsRightAngleChecked(const GEO_POINT *corner, const GEO_POINT *p, const GEO_POINT *q) {
    if (corner == nullptr || p == nullptr || q == nullptr) return 0;
    return DM_IsRightAngle(corner, p, q);
}

i32 DM_CheckCandidatesChecked(DM_CANDIDATE *list, i32 count) {
    if (list == nullptr || count <= 0) return 0;
    return DM_CheckCandidates(list, count);
}

i32 DM_HasRoomForArmChecked(const DM_EDGE_TRACK *track) {
    if (track == nullptr || track->state != 1) return 0;
    return DM_HasRoomForArm(track);
}

i32 DM_CornerCosineChecked(const GEO_POINT *p, const GEO_POINT *q, const GEO_POINT *r) {
    if (p == nullptr || q == nullptr || r == nullptr) return 0;
    return DM_CosineTimes1000(p, q, r);
}

i32 DM_InImage(i32 x, i32 y) { return x >= 0 && y >= 0 && x < g_dmImage.width && y < g_dmImage.height ? 1 : 0; }

i32 DM_RotateAbout(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out) {
    out->x = p->x + p->y - q->y;
    out->y = p->y + q->x - p->x;
    return out->y;
}

void DM_ShiftByRowOffset(const GEO_POINT *src, const GEO_POINT *ref, GEO_POINT *dst) {
    const i32 y = src->y;
    dst->x = src->x + ref->y - y;
    dst->y = y;
}

void DM_ClipSegmentToImage(i32 *x0, i32 *y0, i32 *x1, i32 *y1) {
    const i64 w = g_dmImage.width, h = g_dmImage.height;
    // Moves (x, y) along the segment to the border value b on one axis; a segment parallel
    // to that border keeps its other coordinate and has this one clamped.
    const auto toBorder = [](i32 *a, i32 *o, i64 oa, i64 oo, i64 b) {
        const i64 da = oa - *a;
        if (da != 0) *o = static_cast<i32>(*o + (b - *a) * (oo - *o) / da);
        *a = static_cast<i32>(b);
    };
    const auto clip = [&](i32 *x, i32 *y, i32 ox, i32 oy) {
        if (*x < 0) toBorder(x, y, ox, oy, 0);
        else if (*x > w - 1) toBorder(x, y, ox, oy, w - 1);
        if (*y < 0) toBorder(y, x, oy, ox, 0);
        else if (*y > h - 1) toBorder(y, x, oy, ox, h - 1);
    };
    if (x0 == nullptr || y0 == nullptr || x1 == nullptr || y1 == nullptr || w < 1 || h < 1) return;
    const i32 ox0 = *x0, oy0 = *y0;
    clip(x0, y0, *x1, *y1);
    clip(x1, y1, ox0, oy0);
}

i32 DM_MapPatternOffsets(const i32 *directions, i32 count, GEO_POINT *out, i32 x, i32 y, const f64 transform[8]) {
    if (out == nullptr) return 0;
    out[0] = GEO_POINT{0, 0};
    if (count < 2) return 1;
    if (directions == nullptr || transform == nullptr) return 0;
    const f64 *c = transform;
    // 16 x the image of (u, v), truncated; false for a denominator near 0 or a value that
    // does not fit.
    const auto map16 = [&](f64 u, f64 v, i32 *ox, i32 *oy) {
        const f64 den = c[6] * u + c[7] * v + 1.0;
        if (!(std::fabs(den) > 1e-6)) return false;
        return ToI32(16 * (c[0] * u + c[1] * v + c[2]) / den, ox) && ToI32(16 * (c[3] * u + c[4] * v + c[5]) / den, oy);
    };
    i32 bx, by;
    if (!map16(x, y, &bx, &by)) return 0;
    for (i32 i = 1; i < count; ++i) {
        const f64 dx = directions[2 * i], dy = directions[2 * i + 1];
        i32 ax, ay, cx, cy;
        if (!map16(x + 0.01 * dx, y + 0.01 * dy, &ax, &ay) || !map16(x + 0.009 * dx, y + 0.009 * dy, &cx, &cy)) return 0;
        out[i] = GEO_POINT{static_cast<i32>(static_cast<i64>(ax) - bx), static_cast<i32>(static_cast<i64>(ay) - by)};
        out[count + i] = GEO_POINT{static_cast<i32>(static_cast<i64>(cx) - bx), static_cast<i32>(static_cast<i64>(cy) - by)};
    }
    return 1;
}

namespace {

struct PatternCluster {
    i32 firstX, firstY;
    i64 sumX, sumY;
    i32 count;
    i32 minX, minY, maxX, maxY;
};

struct PatternSearch {
    const GEO_POINT *offsets;
    i32 splitA, splitB;
    bool darkCentre;
    i32 t;
    i32 radius;
};

i32 PatternSample(i32 x16, i32 y16) {
    const i64 x = x16, y = y16;
    if (x > 0x7FFFFFF || y > 0x7FFFFFF) return 0;
    return DM_SampleBilinear16ZeroChecked(g_image.data, x16, y16);
}

bool PatternMatches(const PatternSearch &s, i32 px, i32 py) {
    const i32 centre = PatternSample(px, py);
    if (s.darkCentre ? centre > s.t : centre < s.t) return false;
    i32 darkMisses = 0, brightMisses = 0;
    i32 brightestDark = s.darkCentre ? centre : -1, darkestBright = s.darkCentre ? 256 : centre;
    for (i32 i = 1; i < s.splitB; ++i) {
        const GEO_POINT &a = s.offsets[i], &b = s.offsets[s.splitB + i];
        const i32 va = PatternSample(px + a.x, py + a.y), vb = PatternSample(px + b.x, py + b.y);
        const bool firstSet = i < s.splitA;
        if (firstSet == s.darkCentre) {
            const i32 m = Min(va, vb);
            if (m > s.t) {
                if (++darkMisses > 1) return false;
            } else {
                brightestDark = Max(brightestDark, m);
            }
        } else {
            for (const i32 v : {va, vb}) {
                if (3 * v <= 2 * s.t) {
                    if (++brightMisses > 1) return false;
                } else {
                    darkestBright = Min(darkestBright, v);
                }
            }
        }
    }
    return darkestBright - brightestDark >= 10;
}

// Matches over [x0, x1] x [y0, y1] (1/16 pixel) at `step` into at most four clusters; the
// best one's mean and extent, false without a match.
bool PatternPass(const PatternSearch &s, i32 x0, i32 x1, i32 y0, i32 y1, i32 step, PatternCluster *best) {
    PatternCluster c[4] = {};
    i32 n = 0;
    const i64 reach = static_cast<i64>(s.radius) * 256;
    for (i32 py = y0; py <= y1; py += step) {
        for (i32 px = x0; px <= x1; px += step) {
            if (!PatternMatches(s, px, py)) continue;
            i32 k = 0;
            while (k < n && (Abs64(static_cast<i64>(px) - c[k].firstX) > reach || Abs64(static_cast<i64>(py) - c[k].firstY) > reach)) ++k;
            if (k == n) {
                if (n == 4) continue;
                c[n++] = PatternCluster{px, py, 0, 0, 0, px, py, px, py};
            }
            PatternCluster &j = c[k];
            j.sumX += px;
            j.sumY += py;
            ++j.count;
            j.minX = Min(j.minX, px);
            j.maxX = Max(j.maxX, px);
            j.minY = Min(j.minY, py);
            j.maxY = Max(j.maxY, py);
        }
    }
    i32 b = -1;
    for (i32 k = 0; k < n; ++k)
        if (b < 0 || c[k].count > c[b].count) b = k;
    if (b < 0) return false;
    *best = c[b];
    return true;
}

}  // namespace

i32 DM_FindPattern(i32 x, i32 y, i32 radius, const GEO_POINT *offsets, i32 splitB, i32 splitA, i32 darkCentre,
                   GEO_POINT *out) {
    const DM_IMAGE &img = g_dmImage;
    if (offsets == nullptr || out == nullptr || radius < 1 || splitA < 1 || splitB < splitA) return 0;
    // Levels come from the module's record, samples from the installed image: one frame.
    if (img.pixels == nullptr || img.width != g_image.width || img.height != g_image.height || img.width < 2 ||
        img.height < 2 || x < 0 || y < 0 || x >= img.width || y >= img.height)
        return 0;
    radius = Min(radius, Max(img.width, img.height));
    i32 mn = 255, mx = 0;
    for (const i32 ry : {y - radius, y, y + radius}) {
        const i32 row = Min(Max(ry, 0), img.height - 1);
        for (i32 cx = Max(x - radius, 0); cx <= Min(x + radius, img.width - 1); ++cx) {
            const i32 v = img.pixels[static_cast<i64>(row) * img.width + cx];
            mn = Min(mn, v);
            mx = Max(mx, v);
        }
    }
    const i32 contrast = (mx - mn) * (darkCentre != 0 ? 3 : 2);
    const PatternSearch s{offsets, splitA, splitB, darkCentre != 0, mn + contrast / 5, radius};
    const i32 span = 32 * radius / 3;
    const i32 x0 = Max(16 * x - span, 0), x1 = Min(16 * x + span, 16 * (img.width - 1));
    const i32 y0 = Max(16 * y - span, 0), y1 = Min(16 * (img.width - 1), 16 * y + span);
    PatternCluster best{};
    if (!PatternPass(s, x0, x1, y0, Min(y1, 16 * (img.height - 1)), 16, &best)) return 0;
    out->x = static_cast<i32>(best.sumX / best.count);
    out->y = static_cast<i32>(best.sumY / best.count);
    PatternCluster fine{};
    if (PatternPass(s, best.minX - 12, best.maxX + 12, best.minY - 12, best.maxY + 12, 4, &fine)) {
        out->x = static_cast<i32>(fine.sumX / fine.count);
        out->y = static_cast<i32>(fine.sumY / fine.count);
    }
    return 1;
}

}  // namespace vexo

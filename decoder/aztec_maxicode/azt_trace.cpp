// Following one reference line of a full-range symbol through the image 20 modules at a
// time: the curve predicts the stretch ahead, a fan of directions finds where the image
// really shows a regular run of module edges, the module centres measured along it are
// matched with the predicted ones and refit the curve.
#include <cmath>

#include "aztec_maxicode/azt_symbol.h"
#include "core/pixel.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kCrossingsForSpacing = 26;
constexpr i32 kCrossingsOnLine = 40;
constexpr i32 kMinMatches = 10;
// One predicted module per parameter step, the stretch's end included.
constexpr i32 kPredicted = kAztTraceStep + 1;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }

i32 Major(const GEO_POINT &p, int xMajor) { return xMajor != 0 ? p.x : p.y; }

// One 20-module step of either direction (dir -1 down, +1 up); 1 go on, 0 refit failed,
// 2 stop (no direction).
int ExtendStep(AZT_CURVE_FIT *fit, i32 t, i32 tp, int dir, int keep) {
    const AZT_CURVE *curve = fit->curve;
    GEO_POINT p{}, q{}, r{}, a{}, b{};
    Azt_EvalCurve(curve, t, &p.x, &p.y);
    Azt_EvalCurve(curve, tp, &q.x, &q.y);
    Azt_EvalCurve(curve, tp - 2 * dir, &r.x, &r.y);
    Geo_RotateMinus90(&q, &r, &a);
    Geo_RotatePlus90(&q, &r, &b);
    const int xMajor = Abs32(q.y - p.y) < Abs32(q.x - p.x) ? 1 : 0;
    const i32 count = (tp - t) * dir;
    if (count < 2 || count > kPredicted) return 2;
    i32 d[kPredicted];
    for (i32 k = 0; k < count; ++k) {
        GEO_POINT e{};
        Azt_EvalCurve(curve, t + dir * k, &e.x, &e.y);
        d[k] = Abs32(Major(e, xMajor) - Major(p, xMajor));
    }
    const i32 first = d[1], lastSpacing = d[count - 1] - d[count - 2];
    const i32 lo = first < lastSpacing ? first : lastSpacing, hi = first < lastSpacing ? lastSpacing : first;
    const i32 start[2] = {p.x, p.y};
    const i32 cross[4] = {a.x, a.y, b.x, b.y};
    i32 line[4];
    if (Azt_FindLineDirection(start, cross, line, lo, hi) == 0) return 2;
    i32 positions[kAztTraceStep], points[kAztTraceStep][2];
    const i32 m = Azt_ModuleCentresOnLine(line, positions, points, kAztTraceStep);
    // Down a third of a spacing, up half of one.
    const i32 div = dir < 0 ? 3 : 2;
    i32 xs[kAztTraceStep], ys[kAztTraceStep], ts[kAztTraceStep];
    i32 accepted = 0, offset = 0, tol = (d[1] - d[0]) / div, k = 0;
    const i32 last = count - 1;
    for (i32 j = 0; j < m && k <= last; ++j) {
        while (k != last && Abs32(positions[j] - d[k + 1] + offset) < Abs32(positions[j] - d[k] + offset)) {
            tol = (d[k + 1] - d[k]) / div;
            ++k;
        }
        const bool near = Abs32(positions[j] - d[k] + offset) <= tol;
        if (near) {
            xs[accepted] = points[j][0];
            ys[accepted] = points[j][1];
            ts[accepted] = t + dir * k;
            ++accepted;
        }
        if (k == last) {
            if (near) ++k;
            continue;
        }
        if (near) offset = d[k] - positions[j];
        tol = (d[k + 1] - d[k]) / div;
        if (near) ++k;
    }
    if (accepted < kMinMatches) return 1;
    return Azt_FitCurvePoints(fit, xs, ys, ts, accepted, keep);
}

}  // namespace

int Azt_ExtendCurveDown(AZT_CURVE_FIT *fit, int t0, int replaceFirst) {
    if (fit == nullptr || fit->curve == nullptr || t0 < 1) return 0;
    i32 t = t0;
    int keep = replaceFirst == 0 ? 1 : 0;
    // Each step lowers t by 20: at most 8 steps from the largest symbol's last module.
    for (int guard = 0; guard < 16 && t >= 5; ++guard) {
        const i32 tp = t - kAztTraceStep < 0 ? -1 : t - kAztTraceStep;
        const int r = ExtendStep(fit, t, tp, -1, keep);
        if (r == 0) return 0;
        if (r == 2) return 1;
        keep = 1;
        t = tp;
    }
    return 1;
}

int Azt_ExtendCurveUp(AZT_CURVE_FIT *fit, int t0, int replaceFirst) {
    if (fit == nullptr || fit->curve == nullptr || t0 < 1) return 0;
    const AZT_SYMBOL *s = g_aztDriver.current;
    if (s == nullptr) return 0;
    const i32 size = s->size;
    i32 t = t0;
    int keep = replaceFirst == 0 ? 1 : 0;
    for (int guard = 0; guard < 16 && t < size - 4; ++guard) {
        const i32 tp = t + kAztTraceStep < size ? t + kAztTraceStep : size;
        const int r = ExtendStep(fit, t, tp, 1, keep);
        if (r == 0) return 0;
        if (r == 2) return 1;
        keep = 1;
        t = tp;
    }
    return 1;
}

int Azt_FindLineDirection(const i32 start[2], const i32 cross[4], i32 line[4], int lo, int hi) {
    if (start == nullptr || cross == nullptr || line == nullptr || g_aztDriver.scratch == nullptr) return 0;
    if (hi - lo < 32) {
        const int w = ((lo - hi) + 32) / 2;
        lo -= w;
        hi += w;
    }
    const i64 ax = cross[0], ay = cross[1], bx = cross[2], by = cross[3];
    i32 scores[kAztDirectionCandidates];
    i32 level = 0;
    i64 prevX = 0, prevY = 0;
    u8 *profile = g_aztDriver.scratch;
    for (i32 i = 0; i < kAztDirectionCandidates; ++i) {
        const i64 tx = (24 * ax + (bx - ax) * i) / 24, ty = (24 * ay + (by - ay) * i) / 24;
        if (i > 0 && tx == prevX && ty == prevY) {
            scores[i] = scores[i - 1];
            continue;
        }
        prevX = tx;
        prevY = ty;
        const i32 n = Azt_SampleClippedLine(start[0] >> 4, start[1] >> 4, static_cast<i32>(tx >> 4),
                                            static_cast<i32>(ty >> 4), profile, kAztScratchBytes);
        if (i == 0) level = Azt_ThirdThreshold(profile, n / 2);
        const i32 e = Azt_ScoreEdgeSpacing(profile, n, level, lo, hi);
        i64 sum = 0;
        for (i32 k = 0; k + 1 < n; ++k) sum += Abs32(profile[k] - profile[k + 1]);
        const i32 v = n < 2 ? 0 : static_cast<i32>(100 * sum / (n - 1));
        scores[i] = (e / 2 + v) * (100 - Abs32(i + 1 - 13) / 2) / 100;
    }
    i64 best = -1;
    i32 mid = 2;
    for (i32 w = 0; w + 5 <= kAztDirectionCandidates; ++w) {
        i64 sum = 0;
        for (i32 k = w; k < w + 5; ++k) sum += scores[k];
        if (sum > best) {
            best = sum;
            mid = w + 2;
        }
    }
    if (best <= 0) return 0;
    const i32 f = mid - 3 < 0 ? 0 : mid - 3, v = mid + 3 > 24 ? 24 : mid + 3;
    i32 g = scores[f];
    for (i32 k = f; k <= v; ++k) g = scores[k] < g ? scores[k] : g;
    f64 num = 0.0, den = 0.0;
    for (i32 k = f; k <= v; ++k) {
        const f64 w = static_cast<f64>(scores[k] - g) * static_cast<f64>(scores[k] - g);
        num += k * w;
        den += w;
    }
    const f64 x = num != 0.0 ? num / den : (f + v) / 2.0;
    line[0] = start[0];
    line[1] = start[1];
    line[2] = Num_SatTruncI32((static_cast<f64>(bx - ax) * x + 24.0 * static_cast<f64>(ax)) / 24.0 + 0.4);
    line[3] = Num_SatTruncI32((static_cast<f64>(by - ay) * x + 24.0 * static_cast<f64>(ay)) / 24.0 + 0.4);
    return 1;
}

int Azt_ScoreEdgeSpacing(const u8 *profile, int n, int level, int lo, int hi) {
    i32 c[kCrossingsForSpacing];
    const i32 e = Azt_ListLevelCrossings(profile, n, level, c, kCrossingsForSpacing);
    i32 best = 0, run = 0, runScore = 0;
    for (i32 k = 0; k + 1 < e; ++k) {
        const i32 s = c[k + 1] - c[k];
        if (s >= lo && s <= hi) {
            ++run;
            runScore += (hi - lo) / 2 - Abs32(s - (hi + lo) / 2);
        } else {
            run = 0;
            runScore = 0;
        }
        if (run >= 7 && run + runScore > best) best = run + runScore;
    }
    return best;
}

int Azt_ModuleCentresOnLine(const i32 line[4], i32 positions[], i32 points[][2], int capacity) {
    if (line == nullptr || positions == nullptr || points == nullptr || g_aztDriver.scratch == nullptr) return 0;
    u8 *profile = g_aztDriver.scratch;
    const i32 n = Geo_SampleLine16(line[0], line[1], line[2], line[3], profile, kAztScratchBytes);
    if (n <= 0) return 0;
    i32 c[kCrossingsOnLine];
    const i32 e = Azt_ListLevelCrossings(profile, n, Azt_ThirdThreshold(profile, n), c, kCrossingsOnLine);
    const i64 dx = static_cast<i64>(line[2]) - line[0], dy = static_cast<i64>(line[3]) - line[1];
    const i64 L = (dx < 0 ? -dx : dx) > (dy < 0 ? -dy : dy) ? (dx < 0 ? -dx : dx) : (dy < 0 ? -dy : dy);
    if (L == 0) return 0;
    i32 m = 0;
    for (i32 k = 0; k + 1 < e && m < capacity; ++k, ++m) {
        positions[m] = (c[k] + c[k + 1]) / 2;
        points[m][0] = static_cast<i32>(line[0] + dx * positions[m] / L);
        points[m][1] = static_cast<i32>(line[1] + dy * positions[m] / L);
    }
    return m;
}

int Azt_ListLevelCrossings(const u8 *profile, int n, int level, i32 positions[], int capacity) {
    if (profile == nullptr || positions == nullptr || n <= 1 || capacity <= 0) return 0;
    i32 count = 0;
    for (i32 k = 1; k < n && count < capacity; ++k) {
        const bool rising = profile[k - 1] <= level && profile[k] > level;
        const bool falling = profile[k - 1] > level && profile[k] <= level;
        if (!rising && !falling) continue;
        // Widen the step to its monotonic run and weight each step by its drop.
        i32 a = k - 1, b = k;
        if (rising) {
            while (a > 0 && profile[a - 1] <= profile[a]) --a;
            while (b + 1 < n && profile[b + 1] >= profile[b]) ++b;
        } else {
            while (a > 0 && profile[a - 1] >= profile[a]) --a;
            while (b + 1 < n && profile[b + 1] <= profile[b]) ++b;
        }
        i64 weighted = 0, total = 0;
        for (i32 s = a; s < b; ++s) {
            const i32 drop = Abs32(profile[s + 1] - profile[s]);
            weighted += static_cast<i64>(s) * drop;
            total += drop;
        }
        positions[count++] = static_cast<i32>(16 * weighted / total + 8);
    }
    return count;
}

int Azt_SampleClippedLine(int x0, int y0, int x1, int y1, u8 *buffer, int capacity) {
    if (buffer == nullptr || capacity <= 0) return 0;
    GEO_POINT p{x0, y0}, q{x1, y1};
    Geo_ClipSegment(&p, &q, static_cast<i32>(g_frame.width), static_cast<i32>(g_frame.height));
    return Geo_SampleLineBresenham(p.x, p.y, q.x, q.y, buffer, capacity);
}

}  // namespace vexo

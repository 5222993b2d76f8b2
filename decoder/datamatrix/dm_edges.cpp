// Edge measurement of Data Matrix locating: the local Hough fit of a straight edge, the
// timing-edge pair search, the parallel-edge search of large symbols, their scores and
// peaks, the search windows, and the module's line routines.
#include <cmath>
#include <cstring>

#include "core/pixel.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_line_walk.h"
#include "datamatrix/dm_locate.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kHoughBins = 30;
constexpr i32 kHoughAngles = 10;
constexpr i32 kMinVotes = 7;
constexpr i32 kOriginOffset = 20;
// A probe is shorter than a quarter of the frame width, so of a 1,280-pixel frame.
constexpr i32 kProbeSamples = kDmLineSamples / 4;
constexpr i32 kMaxTrack = 221;
constexpr i32 kMaxScores = 100;
constexpr f64 kPi = 3.14159265;

i32 Abs(i32 v) { return v < 0 ? -v : v; }

i32 FramePixel(i32 x, i32 y, i32 outside) {
    if (x < 0 || y < 0 || x >= g_image.width || y >= g_image.height || g_image.data == nullptr) return outside;
    return g_image.data[static_cast<i64>(y) * g_image.width + x];
}

i32 WrapAngle(i32 th) {
    th %= kDmEdgeAngles;
    return th < 0 ? th + kDmEdgeAngles : th;
}

// The probe vector across p-q, towards R(p - q), rescaled to a usable length.
GEO_POINT ProbeVector(GEO_POINT p, GEO_POINT q, i32 a) {
    const auto make = [&](i32 d) {
        return d == 0 ? GEO_POINT{0, 0} : GEO_POINT{(q.y - p.y) / d, (p.x - q.x) / d};
    };
    GEO_POINT v = make(a);
    if (Abs(v.x) >= 16 || Abs(v.y) >= 16) {
        v = make(2 * a);
    } else if (Abs(v.x) <= 2 && Abs(v.y) <= 2) {
        v = make(a / 2);
    }
    return v;
}

struct HOUGH {
    i16 h[kHoughBins][kHoughAngles];
};

void Vote(HOUGH *acc, i32 th0, i64 ex, i64 ey) {
    for (i32 k = 0; k < kHoughAngles; ++k) {
        const i32 th = WrapAngle(th0 - 5 + k);
        // 64 bits: one product alone overflows 32 bits beyond 128 px from the origin.
        const i64 d = ey * kAngleSin[th] + ex * kAngleCos[th];
        if (d < 0) continue;
        const i64 bin = (d >> 24) + 1;
        if (bin < kHoughBins) ++acc->h[bin][k];
    }
}

// Probes across the edge every u steps of the walk p->q and votes their rise centroids.
void CollectVotes(GEO_POINT p, GEO_POINT q, i32 n, GEO_POINT v, GEO_POINT x, i32 th0, HOUGH *acc) {
    const i32 u = n - 1 <= 29 ? 1 : (n - 1 <= 99 ? 2 : 3);
    u8 samples[kProbeSamples];
    for (i32 step = 1; step < n; ++step) {
        if ((n - 1 - step) % u != 0) continue;
        const GEO_POINT pt = DM_WalkPoint(p, q, n, step);
        const i32 count = DM_SampleFrameLine(pt.x - v.x, pt.y - v.y, pt.x + v.x, pt.y + v.y, samples, kProbeSamples);
        if (count < 2) continue;
        const i32 z = DM_StrongestRiseCentre(samples, count, 10);
        if (z == 0) continue;
        const i64 ex = 2ll * v.x * z / count + (static_cast<i64>(pt.x) - v.x - x.x) * 16;
        const i64 ey = 2ll * v.y * z / count + (static_cast<i64>(pt.y) - v.y - x.y) * 16;
        Vote(acc, th0, ex, ey);
    }
}

bool PeakOfHough(const HOUGH &acc, i32 th0, i32 *th, i32 *rho) {
    i32 best = kMinVotes, sumBins = 0, sumAngles = 0, members = 0;
    for (i32 bin = 0; bin < kHoughBins; ++bin) {
        for (i32 k = 0; k < kHoughAngles; ++k) {
            const i32 c = acc.h[bin][k];
            if (c > best) {
                best = c;
                sumBins = bin;
                sumAngles = th0 - 5 + k;
                members = 1;
            } else if (c == best && members > 0) {
                sumBins += bin;
                sumAngles += th0 - 5 + k;
                ++members;
            }
        }
    }
    if (members == 0) return false;
    *th = WrapAngle(sumAngles / members);
    *rho = sumBins / members;
    return true;
}

void LineFromPolar(GEO_POINT x, i32 th, i32 rho, SLOPE_LINE *out) {
    if (th == 0 || th == 314) {
        out->slope = kVerticalSlope;
        out->intercept = th == 0 ? x.x + rho : x.x - rho;
        return;
    }
    const f64 s = kAngleSin[th], c = kAngleCos[th];
    out->slope = -c / s;
    out->intercept = static_cast<f64>(rho) * 1048576.0 / s + x.y - x.x * out->slope;
}

f64 InterceptThrough(GEO_POINT p, f64 slope) {
    return slope == kVerticalSlope ? static_cast<f64>(p.x) : static_cast<f64>(p.y) - slope * p.x;
}

f64 SlopeOfAngle(f64 phi, bool plus) {
    if (plus) {
        if (2 * phi - kPi > 1e-5) return -std::tan(kPi - phi);
        if (std::fabs(2 * phi - kPi) <= 1e-5) return kVerticalSlope;
        return std::tan(phi);
    }
    if (2 * phi + kPi < -1e-5) phi += kPi;
    return std::tan(phi);
}

// One track of the timing search: points of a rasterised segment and the current start.
struct TRACK {
    POINT_NODE pts[kMaxTrack];
    i32 count;
    i32 start;
};

void BuildTrack(GEO_POINT base, GEO_POINT p, GEO_POINT r, i32 near, i32 far, TRACK *t) {
    GEO_POINT a, b;
    Geo_ShiftAlong(&p, &r, &base, near, &a);
    Geo_ShiftAlong(&p, &r, &base, -far, &b);
    for (i32 k = 0; k + 1 < kMaxTrack; ++k) t->pts[k].next = &t->pts[k + 1];
    t->pts[kMaxTrack - 1].next = nullptr;
    t->count = Geo_RasteriseLine(&a, &b, t->pts, kMaxTrack);
    t->start = 0;
}

GEO_POINT TrackPoint(const TRACK &t, i32 k) { return GEO_POINT{t.pts[t.start + k].x, t.pts[t.start + k].y}; }

i32 Remaining(const TRACK &a, const TRACK &b) {
    const i32 ra = a.count - a.start, rb = b.count - b.start;
    return (ra < rb ? ra : rb) - 1;
}

}  // namespace

i32 DM_SampleFrameLine(i32 x0, i32 y0, i32 x1, i32 y1, u8 *out, i32 capacity) {
    const GEO_POINT p{x0, y0}, q{x1, y1};
    const i32 n = DM_ChebyshevLength(p, q);
    if (n < 2 || out == nullptr || capacity <= 0) return 0;
    const i32 count = n < capacity ? n : capacity;
    out[0] = static_cast<u8>(FramePixel(x0, y0, 128));
    for (i32 k = 1; k < count; ++k) {
        const GEO_POINT pt = DM_WalkPoint(p, q, n, k);
        out[k] = static_cast<u8>(FramePixel(pt.x, pt.y, 255));
    }
    return count;
}

namespace {

i32 EdgeCentres(const u8 *s, i32 n, i32 *out, i32 minStep, bool rising) {
    i32 found = 0;
    DM_ForEachRun(s, n, [&](i32 i, i32 j, i32 amp, bool up) {
        if (up != rising || amp < minStep || found >= kDmMaxEdgeCentres) return;
        i64 weight = 0, total = 0;
        for (i32 k = i; k < j; ++k) {
            const i32 step = up ? s[k + 1] - s[k] : s[k] - s[k + 1];
            weight += static_cast<i64>(k) * step;
            total += step;
        }
        if (total > 0 && out != nullptr) out[found++] = static_cast<i32>(10 * weight / total + 5);
    });
    return found;
}

}  // namespace

i32 DM_RisingEdgeCentres(const u8 *s, i32 n, i32 *out, i32 minStep) { return EdgeCentres(s, n, out, minStep, true); }

i32 DM_FallingEdgeCentres(const u8 *s, i32 n, i32 *out, i32 minStep) {
    return EdgeCentres(s, n, out, minStep, false);
}

void DM_FitOrigin(GEO_POINT p, GEO_POINT q, GEO_POINT *origin, i32 *th0) {
    const GEO_POINT mid{(p.x + q.x) / 2, (p.y + q.y) / 2};
    Geo_OffsetPerpendicular(&p, &q, &mid, kOriginOffset, origin);
    i32 th = origin->x >= mid.x ? 314 : 0;
    SLOPE_LINE l{};
    Geo_SlopeLineFromPoints(mid, *origin, &l);
    if (l.slope == kVerticalSlope) {
        th += mid.y < origin->y ? 157 : -157;
    } else if (std::fabs(l.slope) > 1e-5) {
        th += static_cast<i32>(std::trunc(std::atan(l.slope) * 100.0));
    }
    *th0 = th;
}

i32 DM_FitEdgeLine(GEO_POINT p, GEO_POINT q, i32 a, SLOPE_LINE *out) {
    if (out == nullptr) return 0;
    const i32 n = DM_ChebyshevLength(p, q);
    if (n < 2) return 0;
    GEO_POINT x{};
    i32 th0 = 0;
    DM_FitOrigin(p, q, &x, &th0);
    const GEO_POINT v = ProbeVector(p, q, a);
    // Both directions count: no probe may be longer than a quarter of the frame width.
    if (8 * Abs(v.x) >= g_image.width || 8 * Abs(v.y) >= g_image.width) {
        Geo_SlopeLineFromPoints(p, q, out);
        return 0;
    }
    HOUGH acc{};
    CollectVotes(p, q, n, v, x, th0, &acc);
    i32 th = 0, rho = 0;
    if (!PeakOfHough(acc, th0, &th, &rho)) {
        Geo_SlopeLineFromPoints(p, q, out);
        return 0;
    }
    LineFromPolar(x, th, rho, out);
    return 1;
}

i32 DM_StrongestRiseCentre(const u8 *s, i32 count, i32 t) {
    i32 result = 0;
    i32 k = 0;
    while (k + 1 < count) {
        // 255 marks a probe point outside the frame: no step into or out of it rises.
        const auto rises = [&](i32 i) { return s[i + 1] > s[i] && s[i] != 255 && s[i + 1] != 255; };
        if (!rises(k)) {
            ++k;
            continue;
        }
        i64 rise = 0, weight = 0;
        while (k + 1 < count && rises(k)) {
            rise += s[k + 1] - s[k];
            weight += static_cast<i64>(k) * (s[k + 1] - s[k]);
            ++k;
        }
        if (rise > t) {
            result = static_cast<i32>(weight * 16 / rise + 8);
            t = static_cast<i32>(rise);
        }
    }
    return result;
}

i32 DM_LineContrastSum(u8 *, GEO_POINT a, GEO_POINT b, i32 t) {
    const i32 count = DM_ChebyshevLength(a, b);
    if (count < 2) return 0;
    i32 sum = 0, runStart = -1, prev = -1, dir = 0;
    for (i32 k = 0; k < count; ++k) {
        const GEO_POINT pt = DM_WalkPoint(a, b, count, k);
        const i32 v = FramePixel(pt.x, pt.y, -1);
        if (v < 0) return 0;
        if (k > 0) {
            const i32 d = v > prev ? 1 : (v < prev ? -1 : 0);
            if (d != dir) {
                if (dir != 0 && Abs(prev - runStart) >= t) sum += Abs(prev - runStart);
                runStart = prev;
                dir = d;
            }
        } else {
            runStart = v;
        }
        prev = v;
    }
    if (dir != 0 && Abs(prev - runStart) >= t) sum += Abs(prev - runStart);
    return sum;
}

i32 DM_PeakOfDrops(i32 *v, i32 n, i32 *peak) {
    if (peak != nullptr) *peak = 0;
    if (v == nullptr || n <= 0) return 0;
    i32 count = n, zeros = 0;
    for (i32 k = 0; k < n; ++k) {
        zeros = v[k] == 0 ? zeros + 1 : 0;
        if (zeros == 4) {
            count = k;
            break;
        }
    }
    const i32 m = count - 2;
    if (m <= 0) return 0;
    i32 best = 0, result = 0;
    for (i32 k = 0; k < m; ++k) {
        const i32 d = v[k] - v[k + 2];
        v[k] = d > 0 ? d : 0;
        if (v[k] > best) {
            best = v[k];
            result = k + 1;
        }
    }
    if (peak != nullptr) *peak = best;
    return result;
}

i32 DM_PeakRelativeDrop(const i32 *v, i32 n, i32 *peak) {
    i32 best = 0, result = 0;
    const i32 m = n - 1;
    i32 i = 0;
    while (v != nullptr && i < m) {
        if (v[i] <= v[i + 1]) {
            ++i;
            continue;
        }
        i32 j = i;
        while (j < m && v[j + 1] < v[j]) ++j;
        const i64 drop = static_cast<i64>(v[i]) - v[j];
        const i64 rel = v[j] == 0 ? drop * 10 : drop * 256 / v[j];
        if (rel > best) {
            best = static_cast<i32>(rel > 0x7FFFFFFF ? 0x7FFFFFFF : rel);
            result = (i + j) / 2;
        }
        i = j + 1;
    }
    if (peak != nullptr) *peak = best;
    return result;
}

i32 DM_SearchTimingEdge(u8 *image, GEO_POINT *p, GEO_POINT *q, GEO_POINT r, i32 reach) {
    if (p == nullptr || q == nullptr) return 0;
    const i32 m = reach < 50 ? reach : 50;
    i32 s = DM_ChebyshevLength(*p, *q) >> 4;
    if (m <= 0 || 2 * (static_cast<i64>(s) + m) >= 220) return 0;
    static TRACK t1, t2;
    const GEO_POINT p0 = *p, q0 = *q;
    BuildTrack(p0, p0, r, s + m / 2, s + 3 * m / 2, &t1);
    BuildTrack(q0, p0, r, s + m / 2, s + 3 * m / 2, &t2);
    const i32 g = DM_GetNoiseThreshold() > 9 ? DM_GetNoiseThreshold() : 9;
    i32 bestScore = 0, b1 = 0, b2 = 0;
    i32 scores[kMaxScores];
    for (i32 pass = 0; pass < 3; ++pass) {
        const i32 configs[3][2] = {{s, 0}, {s, s}, {0, s}};
        const i32 order[2][3] = {{0, 1, 2}, {0, 2, -1}};
        bool lastInRange = false;
        for (i32 c : order[pass == 0 ? 0 : 1]) {
            if (c < 0) continue;
            const i32 o1 = configs[c][0], o2 = configs[c][1];
            const i32 nn = Remaining(t1, t2);
            i32 k = 2 * m - 1 < nn - (o1 > o2 ? o1 : o2) ? 2 * m - 1 : nn - (o1 > o2 ? o1 : o2);
            if (k > kMaxScores) k = kMaxScores;
            for (i32 j = 0; j < k; ++j) {
                GEO_POINT a = TrackPoint(t1, o1 + j), b = TrackPoint(t2, o2 + j);
                Geo_ClipSegment(&a, &b, g_image.width, g_image.height);
                scores[j] = DM_LineContrastSum(image, a, b, g);
            }
            i32 peak = 0;
            const i32 best = k > 0 ? DM_PeakOfDrops(scores, k, &peak) : 0;
            lastInRange = k > 0 && o1 + best < nn && o2 + best < nn;
            if (lastInRange && peak > bestScore) {
                bestScore = peak;
                b1 = o1 + best;
                b2 = o2 + best;
                *p = TrackPoint(t1, b1);
                *q = TrackPoint(t2, b2);
            }
        }
        if (!lastInRange) break;
        // Align the tracks on the best pair, then narrow the step around it.
        if (b1 > b2) {
            t1.start += b1 - b2;
            b1 = b2;
        } else {
            t2.start += b2 - b1;
            b2 = b1;
        }
        s >>= 1;
        if (s == 0) break;
        t1.start += s;
        t2.start += s;
        b1 -= s;
        b2 -= s;
        if (Remaining(t1, t2) < 1) break;
    }
    return bestScore;
}

i32 DM_SearchParallelEdge(GEO_POINT t1, GEO_POINT t2, const SLOPE_LINE *diagonal, SLOPE_LINE *line, i32 scale,
                          GEO_POINT *point, i32 *score) {
    if (diagonal == nullptr || line == nullptr || point == nullptr || score == nullptr) return kDmStatusNoCandidate;
    u8 *work = DM_WorkBuffer();
    *score = 0;
    if (work == nullptr) return kDmStatusNoCandidate;
    GEO_POINT *pts = reinterpret_cast<GEO_POINT *>(work + kDmTrackPointsOffset);
    i32 *scores = reinterpret_cast<i32 *>(work + kDmBandSumsOffset);
    std::memset(pts, 0, kDmParallelEntries * sizeof(GEO_POINT));
    std::memset(scores, 0, kDmParallelEntries * sizeof(i32));
    std::memset(work + kDmTimingSamplesOffset, 0, kDmLineSamples);
    const i32 n = DM_ChebyshevLength(t1, t2);
    // The lists hold 640 entries: wider frames than 1,280 pixels are refused like a bad track.
    if (n <= 1 || 2 * n >= g_image.width - 1 || n - 1 > kDmParallelEntries) return kDmStatusNoCandidate;
    const f64 th = line->slope == kVerticalSlope
                       ? 1.570796325
                       : (std::fabs(line->slope) > 1e-5 ? std::atan(line->slope) : 0.0);
    const f64 step = 0.05235987750 / 2;
    const f64 slopes[5] = {line->slope, SlopeOfAngle(th + step, true), SlopeOfAngle(th - step, false),
                           SlopeOfAngle(th + 2 * step, true), SlopeOfAngle(th - 2 * step, false)};
    for (f64 slope : slopes) {
        for (i32 k = 1; k < n; ++k) {
            GEO_POINT pk = DM_WalkPoint(t1, t2, n, k), xk{0, 0};
            pts[k - 1] = pk;
            // Parallel to the diagonal: no crossing, no score.
            if (Geo_IntersectSlopeLines(&xk, slope, InterceptThrough(pk, slope), diagonal->slope,
                                        diagonal->intercept) == 0) {
                scores[k - 1] = 0;
                continue;
            }
            Geo_ClipSegment(&pk, &xk, g_image.width, g_image.height);
            const i32 len = DM_ChebyshevLength(pk, xk) - 1;
            scores[k - 1] = len <= 9 ? 1000
                                     : static_cast<i32>(static_cast<i64>(DM_LineContrastSum(nullptr, pk, xk,
                                                                                            DM_GetNoiseThreshold())) *
                                                        scale / len);
        }
        i32 peak = 0;
        const i32 best = DM_PeakRelativeDrop(scores, n - 1, &peak);
        if (peak > *score) {
            *score = peak;
            *point = pts[best];
            line->slope = slope;
        }
    }
    return 0;
}

void DM_BoundaryWindowSingle(const SLOPE_LINE *line, GEO_POINT corner, GEO_POINT armEnd, GEO_POINT *t1,
                             GEO_POINT *t2) {
    if (line == nullptr || t1 == nullptr || t2 == nullptr) return;
    const bool alongX = line->slope != kVerticalSlope && std::fabs(line->slope) < 1;
    const auto place = [&](i32 along, GEO_POINT *out) {
        if (alongX) {
            *out = GEO_POINT{along, static_cast<i32>(std::trunc(line->slope * along + line->intercept))};
        } else if (line->slope == kVerticalSlope) {
            *out = GEO_POINT{static_cast<i32>(std::trunc(line->intercept)), along};
        } else {
            *out = GEO_POINT{static_cast<i32>(std::trunc((along - line->intercept) / line->slope)), along};
        }
    };
    const i32 e = alongX ? (corner.x - armEnd.x) / 8 : (corner.y - armEnd.y) / 8;
    const i32 base = alongX ? armEnd.x : armEnd.y;
    place(base + e, t1);
    place(base - e, t2);
}

void DM_BoundaryWindowMulti(const SLOPE_LINE *line, GEO_POINT corner, GEO_POINT armEnd, i32 n, GEO_POINT *t1,
                            GEO_POINT *t2) {
    if (line == nullptr || t1 == nullptr || t2 == nullptr) return;
    const f64 f1 = n == 2 ? 0.43 : (n == 4 ? 0.2 : (n == 6 ? 0.12 : 0.0));
    const f64 f2 = n == 2 ? 0.57 : (n == 4 ? 0.3 : (n == 6 ? 0.2 : 0.0));
    const bool alongX = line->slope != kVerticalSlope && std::fabs(line->slope) <= 1;
    const auto place = [&](f64 f, GEO_POINT *out) {
        if (alongX) {
            const i32 x = static_cast<i32>(std::trunc(corner.x - f * (corner.x - armEnd.x)));
            *out = GEO_POINT{x, static_cast<i32>(std::trunc(line->slope * x + line->intercept))};
            return;
        }
        const i32 y = static_cast<i32>(std::trunc(corner.y - f * (corner.y - armEnd.y)));
        const i32 x = line->slope == kVerticalSlope ? static_cast<i32>(std::trunc(line->intercept))
                                                    : static_cast<i32>(std::trunc((y - line->intercept) / line->slope));
        *out = GEO_POINT{x, y};
    };
    place(f1, t1);
    place(f2, t2);
}

void DM_FirstBoundaryPoint(GEO_POINT from, GEO_POINT to, i32 n, GEO_POINT *out) {
    if (out == nullptr) return;
    const i32 d = Geo_DistanceInt(from.x, from.y, to.x, to.y);
    Geo_StepTowardsRound(&from, &to, (n != 0 ? d / n : 0) + 1, out);
}

i32 DM_EdgeSearchReach(const DM_PREPARED_CANDIDATE *cand, const DM_GEOMETRY *geo, i32 first) {
    if (cand == nullptr || geo == nullptr) return 0;
    const i32 arm = first != 0 ? cand->arm1Length : cand->arm2Length;
    switch (geo->layoutClass) {
        case -1:
        case 0: return arm / 6;
        case 1: return arm / 7;
        case 2: return arm / 8;
        case 4: return arm / 16;
        case 6: return arm / 24;
        default: return 0;
    }
}

void DM_ExtrapolateNode(GEO_POINT a, GEO_POINT b, GEO_POINT *out) {
    if (out == nullptr) return;
    Geo_StepTowardsRound(&a, &b, 2 * Geo_DistanceInt(a.x, a.y, b.x, b.y), out);
}

}  // namespace vexo

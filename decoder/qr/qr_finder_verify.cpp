// QR finder: verification of row hits on sixteen rays and the fit of the ring corners.
#include "aztec_maxicode/azt_probes.h"
#include "core/pixel.h"
#include "locate/finder.h"
#include "qr/qr_finder.h"

namespace vexo {

namespace {

// Ray directions, clockwise from up in steps of 22.5 degrees: the pixel displacement of
// the odd steps (A, taken first) and the even steps (B), and 512 x the mean step length.
struct RAY_DIRECTION {
    i8 dxA, dyA, dxB, dyB;
    u16 weight;
};
static constexpr RAY_DIRECTION kRayDirections[kQrRayCount] = {
    {0, -1, 0, -1, 512}, {0, -1, 1, -1, 572},  {1, -1, 1, -1, 724},  {1, 0, 1, -1, 572},
    {1, 0, 1, 0, 512},   {1, 0, 1, 1, 572},    {1, 1, 1, 1, 724},    {0, 1, 1, 1, 572},
    {0, 1, 0, 1, 512},   {0, 1, -1, 1, 572},   {-1, 1, -1, 1, 724},  {-1, 0, -1, 1, 572},
    {-1, 0, -1, 0, 512}, {-1, 0, -1, -1, 572}, {-1, -1, -1, -1, 724}, {0, -1, -1, -1, 572},
};
static_assert(sizeof(kRayDirections) / sizeof(kRayDirections[0]) == kQrRayCount);

// Light level below which the rings are told apart with the two-sample look-ahead.
constexpr i32 kLowContrastGrey = 49;
// Patterns up to this width (30 pixels) use the small-pattern analyser.
constexpr i32 kSmallPatternWidth = 480;
// Least sharpness of the four corners of the ring.
constexpr i64 kMinCornerContrast = 4299;
// Below this sum of squared sides (1/8 pixel) a ring is accepted without shape tests.
constexpr i64 kSmallRingSides = 30000;
// Largest squared distance (1/8 pixel) between ring points that the turn measure takes:
// 4 (a + b - c)^2 stays within 64 bits.
constexpr i64 kMaxRingSpan = i64{1} << 29;
// Widest frame whose row offsets fit the 16-bit ray steps.
constexpr i32 kMaxRayImageWidth = 32000;

i32 Abs(i32 v) { return v < 0 ? -v : v; }
i64 Abs64(i64 v) { return v < 0 ? -v : v; }
i32 Wrap16(i32 i) { return i & (kQrRayCount - 1); }

// Edge position of a rising run from foot f to top t, as N / D = twice the position in samples.
bool RisingEdge(const u8 *v, i32 f, i32 t, i32 *n, i32 *d) {
    *d = v[t] - v[f];
    if (*d == 0) return false;
    i32 sum = 0;
    for (i32 j = f + 1; j <= t; ++j) sum += v[j];
    *n = 2 * ((t + 1) * v[t] - (f + 1) * v[f] - sum) - *d;
    return true;
}

// The same for a falling run from top s to bottom b.
bool FallingEdge(const u8 *v, i32 s, i32 b, i32 *n, i32 *d) {
    *d = v[s] - v[b];
    if (*d == 0) return false;
    i32 sum = 0;
    for (i32 j = s + 1; j <= b; ++j) sum += v[j];
    *n = 2 * ((s + 1) * v[s] + sum - (b + 1) * v[b]) - *d;
    return true;
}

// The three runs of a ray, sample indices.
struct RAY_RUNS {
    i32 f, t;    // rising out of the centre square
    i32 s, b;    // falling into the dark ring
    i32 f3, t3;  // rising out of the dark ring
};

enum class RingMid { kBlendDarkest, kEdgesOnly };

// Distances and ring position from the runs; 1 when within the ray's limits.
int FinishRay(QR_FINDER_RAY *ray, const RAY_RUNS &r, RingMid mid) {
    const u8 *v = ray->samples;
    i32 n1, dd1, n2, dd2, n3, dd3;
    if (!RisingEdge(v, r.f, r.t, &n1, &dd1) || !FallingEdge(v, r.s, r.b, &n2, &dd2) ||
        !RisingEdge(v, r.f3, r.t3, &n3, &dd3)) {
        return 0;
    }
    const i32 w = ray->weight;
    const i32 x2 = static_cast<u16>(8 * n2 / dd2);
    const i32 x3 = static_cast<u16>(8 * n3 / dd3);
    ray->d1 = static_cast<u16>((w * n1 / dd1 + 32) >> 6);
    ray->d2 = static_cast<u16>((w * x2 + 256) >> 9);
    ray->d3 = static_cast<u16>((w * x3 + 256) >> 9);
    if (mid == RingMid::kBlendDarkest) {
        ray->ringPos = static_cast<u16>((((x2 + x3 + 2) >> 2) + 8 * r.b + 1) >> 1);
    } else {
        ray->ringPos = static_cast<u16>((x2 + x3 + 2) >> 2);
    }
    if (ray->d1 > ray->limit1 || ray->d2 > ray->limit2) return 0;
    return ray->ringPos != 0 ? 1 : 0;
}

// Foot of the rise that holds the first sample at or above the threshold; -1 when none.
i32 FirstFoot(const u8 *v, i32 n, i32 threshold) {
    i32 i = 0;
    while (i < n && v[i] < threshold) ++i;
    if (i >= n) return -1;
    while (i > 0 && v[i - 1] < v[i]) --i;
    return i;
}

// limit1 is 4/7 of the pattern's width in 1/16 pixel: 4 modules of 3 pixels.
constexpr i32 kQrSmoothLimit = 4 * 3 * 16;

void SmoothRay(const u8 *in, i32 n, u8 *out) {
    for (i32 k = 0; k < n; ++k) {
        const i32 a = in[k > 0 ? k - 1 : 0];
        const i32 b = in[k + 1 < n ? k + 1 : k];
        out[k] = static_cast<u8>((a + 2 * in[k] + b + 2) >> 2);
    }
}

i32 StrictRiseEnd(const u8 *v, i32 n, i32 i) {
    while (i + 1 < n && v[i + 1] > v[i]) ++i;
    return i;
}
i32 RiseEnd(const u8 *v, i32 n, i32 i) {
    while (i + 1 < n && v[i + 1] >= v[i]) ++i;
    return i;
}
i32 FallEnd(const u8 *v, i32 n, i32 i) {
    while (i + 1 < n && v[i + 1] <= v[i]) ++i;
    return i;
}

// Low-contrast runs look two samples ahead.
bool RisesAhead(const u8 *v, i32 c) { return v[c + 1] >= v[c] || v[c + 2] >= v[c]; }
bool FallsAhead(const u8 *v, i32 c) { return v[c + 1] < v[c] || v[c + 2] < v[c]; }

bool PointsUp(const RAY_DIRECTION &d) { return d.dyA < 0 || d.dyB < 0; }
bool PointsDown(const RAY_DIRECTION &d) { return d.dyA > 0 || d.dyB > 0; }
bool PointsLeft(const RAY_DIRECTION &d) { return d.dxA < 0 || d.dxB < 0; }
bool PointsRight(const RAY_DIRECTION &d) { return d.dxA > 0 || d.dxB > 0; }

i32 ShortenRay(i32 length, const RAY_DIRECTION &d, GEO_POINT c) {
    if (PointsUp(d) && c.y < length) length = c.y;
    if (PointsDown(d) && g_image.height - c.y < length) length = g_image.height - c.y;
    if (PointsLeft(d) && c.x < length) length = c.x;
    if (PointsRight(d) && g_image.width - c.x < length) length = g_image.width - c.x;
    return length;
}

i32 (*const kAnalysers[3])(QR_FINDER_RAY *) = {QR_AnalyseRaySmall, QR_AnalyseRayLarge, QR_AnalyseRayLowContrast};

// Ring point of a ray in 1/8 pixel.
GEO_POINT RingPoint(i32 dir, GEO_POINT centre) {
    const RAY_DIRECTION &d = kRayDirections[dir];
    const i32 pos = g_qrFinder.rays[dir].ringPos;
    return {((d.dxA + d.dxB) * pos + 16 * centre.x + 1) / 2, ((d.dyA + d.dyB) * pos + 16 * centre.y + 1) / 2};
}

i64 SquaredDistance(GEO_POINT a, GEO_POINT b) {
    const i64 dx = static_cast<i64>(a.x) - b.x;
    const i64 dy = static_cast<i64>(a.y) - b.y;
    return dx * dx + dy * dy;
}

// Indices of the four strongest corner peaks of m, ascending; false with fewer than four
// peaks or too little contrast between the peaks and the stretches between them.
bool FindCornerPeaks(const i32 m[kQrRayCount], i32 peaks[4]) {
    i32 found[kQrRayCount];
    i32 count = 0;
    for (i32 i = 0; i < kQrRayCount; ++i) {
        if (m[i] >= m[Wrap16(i + 15)] && m[i] > m[Wrap16(i + 1)]) found[count++] = i;
    }
    if (count < 4) return false;
    // Keep the four largest (the earlier on ties), then restore index order.
    for (i32 k = 0; k < 4; ++k) {
        i32 best = k;
        for (i32 j = k + 1; j < count; ++j) {
            if (m[found[j]] > m[found[best]] || (m[found[j]] == m[found[best]] && found[j] < found[best])) best = j;
        }
        const i32 tmp = found[k];
        found[k] = found[best];
        found[best] = tmp;
    }
    for (i32 k = 0; k < 4; ++k) peaks[k] = found[k];
    for (i32 a = 1; a < 4; ++a) {
        for (i32 b = a; b > 0 && peaks[b - 1] > peaks[b]; --b) {
            const i32 tmp = peaks[b];
            peaks[b] = peaks[b - 1];
            peaks[b - 1] = tmp;
        }
    }
    i64 contrast = 0;
    for (i32 k = 0; k < 4; ++k) {
        const i32 from = peaks[k];
        const i32 to = k == 3 ? peaks[0] + kQrRayCount : peaks[k + 1];
        i32 low = m[Wrap16(from + 1)];
        for (i32 j = from + 1; j < to; ++j) {
            if (m[Wrap16(j)] < low) low = m[Wrap16(j)];
        }
        contrast += static_cast<i64>(m[from]) - low;
    }
    return contrast > kMinCornerContrast;
}

// Least-squares line through the ring points of rays first .. first + n - 1.
bool FitSide(const GEO_POINT ring[kQrRayCount], i32 first, i32 n, LINE_FIT *line) {
    if (n < 2) return false;
    POINT_NODE nodes[kQrRayCount];
    for (i32 j = 0; j < n; ++j) {
        const GEO_POINT &p = ring[Wrap16(first + j)];
        nodes[j] = {p.x, p.y, j + 1 < n ? &nodes[j + 1] : nullptr};
    }
    const GEO_POINT &a = ring[Wrap16(first)];
    const GEO_POINT &b = ring[Wrap16(first + n - 1)];
    const i32 alongX = Abs(b.x - a.x) > Abs(b.y - a.y) ? 1 : 0;
    return Geo_FitLineToPointList(nodes, n, line, alongX) != 0;
}

// How far the ring points of the sides stray from the corner-to-corner lines: the sum of
// squared distances, each measured along the line from the corners' mean through the point.
i64 SideResidual(const GEO_POINT ring[kQrRayCount], const i32 cornerRay[5], const GEO_POINT corners[4]) {
    GEO_POINT mean{0, 0};
    i64 sx = 0, sy = 0;
    for (i32 k = 0; k < 4; ++k) {
        sx += corners[k].x;
        sy += corners[k].y;
    }
    mean.x = static_cast<i32>((sx + 2) >> 2);
    mean.y = static_cast<i32>((sy + 2) >> 2);
    i64 residual = 0;
    for (i32 k = 0; k < 4; ++k) {
        const GEO_POINT &a = corners[k];
        const GEO_POINT &b = corners[(k + 1) & 3];
        for (i32 r = cornerRay[k]; r < cornerRay[k + 1]; ++r) {
            const GEO_POINT &p = ring[Wrap16(r)];
            GEO_POINT hit;
            if (Geo_IntersectLines(&mean, &p, &a, &b, &hit) != 0) residual += SquaredDistance(p, hit);
        }
    }
    return residual;
}

bool RingShapeAcceptable(const GEO_POINT corners[4], i64 residual) {
    i64 side[4];
    for (i32 k = 0; k < 4; ++k) side[k] = SquaredDistance(corners[k], corners[(k + 1) & 3]);
    const i64 s = side[0] + side[1] + side[2] + side[3];
    const i64 dd = Abs64(side[0] - side[2]) + Abs64(side[1] - side[3]);
    if (s < kSmallRingSides) return true;
    if (dd <= 15000 && 500 * residual <= s) return true;
    if (s < 10 * dd) return false;
    return 125 * residual <= s;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Hits

int QR_VerifyHit(const QR_FINDER_HIT *hit, QR_FINDER_PATTERN *out) {
    if (hit == nullptr || out == nullptr) return 0;
    QR_FINDER_STORE &f = g_qrFinder;
    while (f.scanStart < f.patternCount && f.patterns[f.scanStart].maxY < hit->y) ++f.scanStart;
    for (i32 k = f.scanStart; k < f.patternCount; ++k) {
        const QR_FINDER_PATTERN &p = f.patterns[k];
        if (hit->x > p.minX && hit->x < p.maxX && hit->y > p.minY && hit->y < p.maxY) return 0;
    }
    i32 analyser = kQrRaySmall;
    GEO_POINT centre{};
    if (QR_PrepareRays(hit, &analyser, &centre) == 0) return 0;
    if (QR_CheckRays(analyser, hit->inverse != 0 ? 1 : 0) == 0) return 0;
    if (QR_FitPatternCorners(centre, out) == 0) return 0;
    out->inverse = hit->inverse != 0 ? 1 : 0;
    out->used = 0;
    out->analysed = 0;
    out->oriented = 0;
    return 1;
}

int QR_PrepareRays(const QR_FINDER_HIT *hit, i32 *analyser, GEO_POINT *centre) {
    const i32 w = g_image.width;
    const i32 h = g_image.height;
    if (hit == nullptr || g_image.data == nullptr || w <= 0 || h <= 0 || w > kMaxRayImageWidth) return 0;
    i32 pt[2] = {(hit->x + 8) >> 4, (hit->y + 8) >> 4};
    // A centre on the border has no ring of neighbours to step to.
    if (pt[0] <= 0 || pt[1] <= 0 || pt[0] >= w - 1 || pt[1] >= h - 1) return 0;
    const i32 width = static_cast<u16>(hit->readyRow - hit->y) >> 1;
    const u16 runLimit = static_cast<u16>(12 * width / 7 / 32);
    const bool inverse = hit->inverse != 0;
    const i32 level = inverse ? Azt_StepToBrightestNeighbour(pt) : Azt_StepToDarkestNeighbour(pt);
    const i32 t = (hit->grey + level + 1) >> 1;
    const int centred = inverse ? Azt_CentreInBrightRun(pt, static_cast<u16>(t), runLimit)
                                : Azt_CentreInDarkRun(pt, static_cast<u16>(t), runLimit);
    if (centred == 0) return 0;
    if (pt[0] < 0 || pt[1] < 0 || pt[0] >= w || pt[1] >= h) return 0;
    const i32 chooser = inverse ? level : hit->grey;
    *analyser = chooser <= kLowContrastGrey ? kQrRayLowContrast
                                            : (width <= kSmallPatternWidth ? kQrRaySmall : kQrRayLarge);
    *centre = {pt[0], pt[1]};
    const u8 *pixel = g_image.data + static_cast<i64>(pt[1]) * w + pt[0];
    const i32 length = width < 4008 ? (width + 8) >> 4 : kQrRayMaxLength;
    for (i32 dir = 0; dir < kQrRayCount; ++dir) {
        const RAY_DIRECTION &d = kRayDirections[dir];
        QR_FINDER_RAY &ray = g_qrFinder.rays[dir];
        ray.samples = g_qrFinder.raySamples;
        ray.centre = pixel;
        ray.stepA = static_cast<i16>(d.dyA * w + d.dxA);
        ray.stepB = static_cast<i16>(d.dyB * w + d.dxB);
        ray.weight = d.weight;
        ray.threshold = static_cast<u16>(inverse ? 255 - t : t);
        ray.limit1 = static_cast<u16>(4 * width / 7);
        ray.limit2 = static_cast<u16>(6 * width / 7);
        const i32 shortened = ShortenRay(length, d, *centre);
        if (shortened <= 0) return 0;
        ray.length = static_cast<u16>(shortened);
    }
    return 1;
}

// ---------------------------------------------------------------------------------------
// Rays

void QR_SampleRay(QR_FINDER_RAY *ray, int inverse) {
    if (ray == nullptr || ray->samples == nullptr || ray->centre == nullptr || g_image.data == nullptr) return;
    const i64 size = static_cast<i64>(g_image.width) * g_image.height;
    i64 offset = ray->centre - g_image.data;
    i32 n = ray->length > kQrRayMaxLength ? kQrRayMaxLength : ray->length;
    for (i32 k = 0; k < n; ++k) {
        if (offset < 0 || offset >= size) {
            n = k;
            break;
        }
        const u8 v = g_image.data[offset];
        ray->samples[k] = inverse != 0 ? static_cast<u8>(255 - v) : v;
        offset += (k & 1) == 0 ? ray->stepA : ray->stepB;
    }
    ray->length = static_cast<u16>(n);
}

int QR_AnalyseRaySmall(QR_FINDER_RAY *ray) {
    const i32 n = ray->length > kQrRayMaxLength ? kQrRayMaxLength : ray->length;
    // The runs below must be strictly monotonic, which one noisy sample breaks on a ring
    // only a few samples wide; [1 2 1] / 4 keeps each edge's centre where it was. Below 3
    // pixels a module it would flatten the rings themselves.
    u8 smoothed[kQrRayMaxLength];
    const u8 *v = ray->samples;
    if (ray->limit1 >= kQrSmoothLimit) {
        SmoothRay(ray->samples, n, smoothed);
        v = smoothed;
    }
    RAY_RUNS r{};
    r.f = FirstFoot(v, n, ray->threshold);
    if (r.f < 0 || r.f + 1 >= n || v[r.f + 1] <= v[r.f]) return 0;
    r.t = StrictRiseEnd(v, n, r.f);
    if (r.t + 1 >= n) return 0;
    r.s = r.t;
    r.b = FallEnd(v, n, r.s);
    if (r.b + 1 >= n || v[r.b + 1] <= v[r.b]) return 0;
    r.f3 = r.b;
    r.t3 = StrictRiseEnd(v, n, r.b);
    return FinishRay(ray, r, RingMid::kBlendDarkest);
}

int QR_AnalyseRayLarge(QR_FINDER_RAY *ray) {
    const u8 *v = ray->samples;
    const i32 n = ray->length > kQrRayMaxLength ? kQrRayMaxLength : ray->length;
    const i32 t = ray->threshold;
    RAY_RUNS r{};
    r.f = FirstFoot(v, n, t);
    if (r.f < 0 || r.f + 1 >= n || v[r.f + 1] < v[r.f]) return 0;
    r.t = RiseEnd(v, n, r.f);
    i32 h = r.t;
    while (h < n && v[h] > t) ++h;
    if (h >= n) return 0;
    r.s = h;
    while (r.s > 0 && v[r.s - 1] > v[r.s]) --r.s;
    if (r.s + 1 >= n || v[r.s + 1] > v[r.s]) return 0;
    r.b = FallEnd(v, n, r.s);
    i32 k = r.b;
    while (k < n && v[k] < t) ++k;
    if (k >= n) return 0;
    r.f3 = k;
    while (r.f3 > 0 && v[r.f3 - 1] < v[r.f3]) --r.f3;
    if (r.f3 + 1 >= n || v[r.f3 + 1] < v[r.f3]) return 0;
    r.t3 = RiseEnd(v, n, r.f3);
    return FinishRay(ray, r, RingMid::kEdgesOnly);
}

int QR_AnalyseRayLowContrast(QR_FINDER_RAY *ray) {
    const u8 *v = ray->samples;
    const i32 n = ray->length > kQrRayMaxLength ? kQrRayMaxLength : ray->length;
    if (n < 3) return 0;
    const i32 m = n - 2;
    const i32 t = ray->threshold;
    i32 i = 0;
    while (i < m && !(v[i] >= t && v[i + 1] >= t)) ++i;
    if (i >= m) return 0;
    RAY_RUNS r{};
    r.f = i;
    while (r.f > 0 && v[r.f - 1] < v[r.f]) --r.f;
    if (!(r.f + 2 < m && RisesAhead(v, r.f))) return 0;
    i32 c = r.f + 1;
    while (c + 2 < m && RisesAhead(v, c)) ++c;
    r.t = c;
    if (!(r.t + 2 < m && FallsAhead(v, r.t))) return 0;
    r.s = r.t;
    c = r.t + 1;
    while (c + 2 < m && FallsAhead(v, c)) ++c;
    r.b = c;
    if (!(r.b + 2 < m && RisesAhead(v, r.b))) return 0;
    r.f3 = r.b;
    c = r.b + 1;
    while (c + 2 < m && RisesAhead(v, c)) ++c;
    r.t3 = c;
    return FinishRay(ray, r, RingMid::kBlendDarkest);
}

i32 QR_CheckRayPair(const QR_FINDER_RAY *p, const QR_FINDER_RAY *q) {
    const i32 d = static_cast<i16>(p->d3 - p->d1);
    const i32 g = static_cast<i16>(q->d3 - q->d1);
    const i32 e = static_cast<i16>(p->d3 + q->d3);
    const i32 l = static_cast<i16>(q->d1 + p->d2);
    const i32 m = static_cast<i16>(p->d1 + q->d2);
    if (5 * d < e || 5 * g < e || 3 * e < 5 * d || 3 * e < 5 * g) return -1;
    if (3 * l < e || 3 * m < e || 2 * e < 3 * l || 2 * e < 3 * m) return -1;
    const i32 score = 16 * Abs(d - g) + Abs(2 * d - m) + Abs(2 * d - l) + 4 * Abs(l - m) + Abs(l - 2 * g) +
                      Abs(m - 2 * g);
    if (score > 2500 || score > 6 * e) return -1;
    return score;
}

int QR_CheckRays(i32 analyser, int inverse) {
    if (analyser < 0 || analyser > 2) return 0;
    QR_FINDER_RAY *rays = g_qrFinder.rays;
    i32 s1 = 0, s3 = 0, s12 = 0, score = 0;
    for (i32 i = 0; i < kQrRayCount / 2; ++i) {
        QR_FINDER_RAY &p = rays[i];
        QR_FINDER_RAY &q = rays[i + kQrRayCount / 2];
        QR_SampleRay(&p, inverse);
        if (kAnalysers[analyser](&p) == 0) return 0;
        QR_SampleRay(&q, inverse);
        if (kAnalysers[analyser](&q) == 0) return 0;
        const i32 pair = QR_CheckRayPair(&p, &q);
        if (pair < 0) return 0;
        s3 += p.d3 + q.d3;
        s12 += q.d1 + p.d2;
        s1 += p.d1 + q.d1;
        score += pair;
    }
    if ((score > 6000 && 4 * s1 < score) || 4 * s1 < s3) return 0;
    // A ray that dips below both neighbours weighs ten times one that bulges.
    for (i32 i = 1; i <= kQrRayCount; ++i) {
        const QR_FINDER_RAY &a = rays[Wrap16(i - 1)];
        const QR_FINDER_RAY &b = rays[Wrap16(i)];
        const QR_FINDER_RAY &c = rays[Wrap16(i + 1)];
        const i32 l = Loc_AbsOrTimesTen(static_cast<i16>(a.d3 + c.d3 - 2 * b.d3));
        const i32 m = Loc_AbsOrTimesTen(static_cast<i16>(a.d2 + c.d2 - 2 * b.d2));
        if (8 * a.d3 < l || s3 < 2 * l || s12 < l || s1 < m || s12 < 2 * m) return 0;
    }
    return 1;
}

// ---------------------------------------------------------------------------------------
// Corners

i32 QR_TurnValue(GEO_POINT p, GEO_POINT q, GEO_POINT r) {
    const i64 a = SquaredDistance(p, q);
    const i64 b = SquaredDistance(q, r);
    const i64 c = SquaredDistance(p, r);
    // Neighbouring ring points lie within a few hundred pixels; farther ones would overflow.
    if (a > kMaxRingSpan || b > kMaxRingSpan || c > kMaxRingSpan) return 0;
    const i64 divisor = (a * b) >> 6;
    if (divisor == 0) return 0;
    const i64 cosine = a + b - c;
    const i64 t = 4 * cosine * cosine / divisor;
    return static_cast<i32>(cosine < 0 ? -t : t);
}

int QR_FitPatternCorners(GEO_POINT centre, QR_FINDER_PATTERN *out) {
    if (out == nullptr) return 0;
    GEO_POINT ring[kQrRayCount];
    for (i32 j = 0; j < kQrRayCount; ++j) ring[j] = RingPoint(j, centre);
    i32 turn[kQrRayCount];
    for (i32 j = 0; j < kQrRayCount; ++j) turn[j] = QR_TurnValue(ring[j], ring[Wrap16(j + 1)], ring[Wrap16(j + 2)]);
    i32 m[kQrRayCount];
    for (i32 i = 0; i < kQrRayCount; ++i) {
        m[i] = turn[Wrap16(i + 1)] + turn[Wrap16(i + 2)] - turn[i] - turn[Wrap16(i + 3)];
    }
    i32 peaks[4];
    if (!FindCornerPeaks(m, peaks)) return 0;
    i32 cornerRay[5];
    for (i32 k = 0; k < 4; ++k) cornerRay[k] = Wrap16(peaks[k] + 3);
    for (i32 a = 1; a < 4; ++a) {
        for (i32 b = a; b > 0 && cornerRay[b - 1] > cornerRay[b]; --b) {
            const i32 tmp = cornerRay[b];
            cornerRay[b] = cornerRay[b - 1];
            cornerRay[b - 1] = tmp;
        }
    }
    cornerRay[4] = cornerRay[0] + kQrRayCount;
    LINE_FIT side[4];
    for (i32 k = 0; k < 4; ++k) {
        if (!FitSide(ring, cornerRay[k], cornerRay[k + 1] - cornerRay[k], &side[k])) return 0;
    }
    GEO_POINT corners[4];
    for (i32 k = 0; k < 4; ++k) {
        if (Geo_IntersectLineFits(&side[(k + 3) & 3], &side[k], &corners[k]) == 0) return 0;
    }
    if (!RingShapeAcceptable(corners, SideResidual(ring, cornerRay, corners))) return 0;
    for (i32 k = 0; k < 4; ++k) {
        // Corners far outside any frame are no pattern; this also keeps the doubling in range.
        if (Abs(corners[k].x) > (1 << 24) || Abs(corners[k].y) > (1 << 24)) return 0;
        out->corners[k] = {2 * corners[k].x, 2 * corners[k].y};
    }
    QR_SetPatternBox(out);
    return 1;
}

void QR_SetPatternBox(QR_FINDER_PATTERN *p) {
    if (p == nullptr) return;
    i32 minX = (g_image.width - 1) * 16, maxX = 0;
    i32 minY = (g_image.height - 1) * 16, maxY = 0;
    i64 sx = 0, sy = 0;
    for (const GEO_POINT &c : p->corners) {
        sx += c.x;
        sy += c.y;
        if (c.x < minX) minX = c.x;
        if (c.x > maxX) maxX = c.x;
        if (c.y < minY) minY = c.y;
        if (c.y > maxY) maxY = c.y;
    }
    p->centreX = static_cast<i32>((sx + 2) >> 2);
    p->centreY = static_cast<i32>((sy + 2) >> 2);
    p->minX = minX;
    p->maxX = maxX;
    p->minY = minY;
    p->maxY = maxY;
}

}  // namespace vexo

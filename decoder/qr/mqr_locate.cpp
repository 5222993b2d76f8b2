// Micro QR finder outline: ring points on 36 rays, straight runs, four sides, corners, the
// template fit and the orientation from the variation just outside the finder.
#include "qr/mqr_locate.h"

#include "core/pixel.h"
#include "qr/qr_state.h"
#include "toolkit/geometry_points.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

using Wide = __int128;

// Ray directions 10 degrees apart, the larger component 4096 (ends on a square).
struct RayDir {
    i16 dx;
    i16 dy;
};
constexpr RayDir kRays[kMqrRayCount] = {
    {4096, 0},      {4096, 722},    {4096, 1490},   {4096, 2364},   {4096, 3437},   {3437, 4096},
    {2364, 4096},   {1490, 4096},   {722, 4096},    {0, 4096},      {-722, 4096},   {-1490, 4096},
    {-2364, 4096},  {-3437, 4096},  {-4096, 3437},  {-4096, 2364},  {-4096, 1490},  {-4096, 722},
    {-4096, 0},     {-4096, -722},  {-4096, -1490}, {-4096, -2364}, {-4096, -3437}, {-3437, -4096},
    {-2364, -4096}, {-1490, -4096}, {-722, -4096},  {0, -4096},     {722, -4096},   {1490, -4096},
    {2364, -4096},  {3437, -4096},  {4096, -3437},  {4096, -2364},  {4096, -1490},  {4096, -722},
};
static_assert(sizeof(kRays) / sizeof(kRays[0]) == kMqrRayCount);

// Template points whose variation shows the data: the two module columns (rows) beyond the
// separator on each side, seven points each: left, top, right, bottom.
constexpr i32 kOrientLines[8] = {-33, -22, -33, -22, 99, 88, 99, 88};
static_assert(sizeof(kOrientLines) / sizeof(kOrientLines[0]) == 8);

constexpr i32 kStraight840 = 840;  // about 25 degrees from straight
constexpr i32 kDiagonal903 = 903;  // about 20 degrees
constexpr i32 kParallel955 = 955;  // about 15 degrees

i32 AbsI(i32 v) { return v < 0 ? -v : v; }

// Point idx of the cyclic list (negative indices wrap from the end).
const GEO_POINT &At(const GEO_POINT *p, i32 n, i32 idx) {
    i32 k = idx % n;
    if (k < 0) k += n;
    return p[k];
}

// Gathers the points of run r into nodes from *count on (bounded by the buffer).
void Gather(const GEO_POINT *p, i32 n, const MQR_RUN &r, POINT_NODE *nodes, i32 *count) {
    for (i32 k = r.first; k <= r.last && *count < kMqrGatherPoints; ++k) {
        const GEO_POINT &q = At(p, n, k);
        nodes[*count] = {q.x, q.y, nullptr};
        if (*count > 0) nodes[*count - 1].next = &nodes[*count];
        ++*count;
    }
}

// Fits the run's line to the gathered nodes and sets its count and end points.
void FitRun(MQR_RUN *r, const POINT_NODE *nodes, i32 count) {
    i32 minX = nodes[0].x, maxX = minX, minY = nodes[0].y, maxY = minY;
    for (i32 k = 1; k < count; ++k) {
        minX = nodes[k].x < minX ? nodes[k].x : minX;
        maxX = nodes[k].x > maxX ? nodes[k].x : maxX;
        minY = nodes[k].y < minY ? nodes[k].y : minY;
        maxY = nodes[k].y > maxY ? nodes[k].y : maxY;
    }
    const i32 alongX = static_cast<i64>(maxX) - minX > static_cast<i64>(maxY) - minY ? 1 : 0;
    if (Geo_FitLineToPointList(nodes, count, &r->line, alongX) != 1) {
        r->valid = 0;
        return;
    }
    r->count = count;
    const f64 s = r->line.slope, o = r->line.offset;
    if (alongX == 1) {
        r->end0 = {minX, Num_SatTruncI32(s * minX + o)};
        r->end1 = {maxX, Num_SatTruncI32(s * maxX + o)};
    } else {
        r->end0 = {Num_SatTruncI32(s * minY + o), minY};
        r->end1 = {Num_SatTruncI32(s * maxY + o), maxY};
    }
}

// Moves the valid runs to the front: their count.
i32 Compact(MQR_RUN *runs, i32 count) {
    i32 kept = 0;
    for (i32 k = 0; k < count; ++k) {
        if (runs[k].valid != 0) runs[kept++] = runs[k];
    }
    for (i32 k = kept; k < count; ++k) runs[k].valid = 0;
    return kept;
}

// Weighted sums over v[from..to], weights from the stretch's maximum (polarity 1) or
// minimum (polarity 0): sum of k x weight and sum of weights.
void WeightSums(const u8 *v, i32 from, i32 to, i32 polarity, i64 *sum, i64 *weight) {
    i32 top = 0, bottom = 255;
    for (i32 k = from; k <= to; ++k) {
        top = v[k] > top ? v[k] : top;
        bottom = v[k] < bottom ? v[k] : bottom;
    }
    *sum = 0;
    *weight = 0;
    for (i32 k = from; k <= to; ++k) {
        const i32 w = polarity != 0 ? top - v[k] : v[k] - bottom;
        *sum += static_cast<i64>(k) * w;
        *weight += w;
    }
}

// Weighted centre in 1/16 sample, or fallback when the weights sum to 0.
i32 Centroid16(const u8 *v, i32 from, i32 to, i32 polarity, i32 fallback) {
    i64 sum = 0, weight = 0;
    WeightSums(v, from, to, polarity, &sum, &weight);
    return weight > 0 ? static_cast<i32>((16 * sum + 8) / weight) : fallback;
}

}  // namespace

i32 MQR_RingWindow(i32 e) {
    if (e <= 13) return 2;
    if (e >= 35) return 4;
    return e / 7;
}

i32 MQR_SmoothProfile(const u8 *v, i32 n, i32 w, u8 *out) {
    if (v == nullptr || out == nullptr || w <= 0 || n < w) return 0;
    const i64 scale = 65536 / w;
    i32 sum = 0;
    for (i32 k = 0; k < w; ++k) sum += v[k];
    for (i32 k = 0; k + w <= n; ++k) {
        if (k > 0) sum += v[k + w - 1] - v[k - 1];
        out[k] = static_cast<u8>((sum * scale) >> 16);
    }
    return n - w + 1;
}

int MQR_FindBandCentre(MQR_BAND_PROBE *probe) {
    if (probe == nullptr || probe->samples == nullptr) return 0;
    if (probe->count > kMqrMaxBandSamples) probe->count = kMqrMaxBandSamples;
    probe->position = 0;
    const i32 w = probe->window;
    if (w <= 0 || probe->count < w) return 0;
    u8 s[kMqrMaxBandSamples];
    const i32 m = MQR_SmoothProfile(probe->samples, probe->count, w, s);
    i32 lo = 255, hi = 0;
    for (i32 k = 0; k < m / 2; ++k) {
        lo = s[k] < lo ? s[k] : lo;
        hi = s[k] > hi ? s[k] : hi;
    }
    i32 rising[2] = {0, 0}, falling[2] = {0, 0};
    PROFILE_REQUEST req{};
    req.samples = s;
    req.count = m;
    req.ratio = 153;
    req.minStep = (hi - lo) / 2;
    req.risingPositions = rising;
    req.risingCapacity = 2;
    req.fallingPositions = falling;
    req.fallingCapacity = 2;
    Prof_FindEdgesRec(&req);
    const bool dark = probe->polarity != 0;
    // The ring is the band between the inner ring's far edge and the separator.
    const i32 *opens = dark ? falling : rising;
    const i32 *closes = dark ? rising : falling;
    if ((dark ? req.fallingFound : req.risingFound) < 1 || (dark ? req.risingFound : req.fallingFound) < 2) return 0;
    const i32 from = opens[0] >> 4, to = closes[1] >> 4;
    if (!(opens[0] < closes[1]) || from < 0 || to >= m) return 0;
    i64 sum = 0, weight = 0;
    WeightSums(s, from, to, probe->polarity, &sum, &weight);
    const i32 e = weight >= 1 ? static_cast<i32>(sum / weight) : (from + to) / 2;
    probe->position = Centroid16(probe->samples, e, e + w - 1, probe->polarity, 8 * (2 * e + w - 1) + 4);
    return 1;
}

int MQR_FindBandCentreRaw(MQR_BAND_PROBE *probe) {
    if (probe == nullptr || probe->samples == nullptr) return 0;
    if (probe->count > kMqrMaxBandSamples) probe->count = kMqrMaxBandSamples;
    probe->position = 0;
    const i32 w = probe->window, n = probe->count;
    if (w <= 0 || n < w) return 0;
    const u8 *v = probe->samples;
    const bool dark = probe->polarity != 0;
    i32 sum = 0;
    for (i32 k = 0; k < w; ++k) sum += v[k];
    i32 lo = sum, hi = sum, spread = 0, stale = 0, start = -1, against = 0, extreme = sum, end = -1;
    for (i32 k = 1; k + w <= n; ++k) {
        sum += v[k + w - 1] - v[k - 1];
        if (start < 0) {
            const bool fresh = sum > hi || sum < lo || hi - lo > spread;
            hi = sum > hi ? sum : hi;
            lo = sum < lo ? sum : lo;
            spread = hi - lo > spread ? hi - lo : spread;
            // Staleness counts once the profile has changed at all.
            stale = fresh || spread == 0 ? 0 : stale + 1;
            if (stale >= 3) {
                start = k;
                extreme = sum;
            }
        } else {
            // Towards the band's extreme; three samples short of it end the stretch.
            if (dark ? sum <= extreme : sum >= extreme) {
                extreme = sum;
                against = 0;
            } else if (++against >= 3) {
                end = k - 3;
                break;
            }
        }
    }
    if (start < 0 || end < start) return 0;
    const i32 to = end + w - 1 < n ? end + w - 1 : n - 1;
    probe->position = Centroid16(v, start, to, probe->polarity, -1);
    return probe->position >= 0 ? 1 : 0;
}

i32 MQR_Cos2x1024(const GEO_POINT *p, const GEO_POINT *q, const GEO_POINT *r) {
    if (p == nullptr || q == nullptr || r == nullptr) return 0;
    i64 ux = static_cast<i64>(q->x) - p->x, uy = static_cast<i64>(q->y) - p->y;
    i64 vx = static_cast<i64>(r->x) - p->x, vy = static_cast<i64>(r->y) - p->y;
    // (a + b - c)^2 / 4ab is the squared cosine (u.v)^2 / (|u|^2 |v|^2); in 128 bits it is
    // exact for sides up to 2^24 (1/16 pixel), longer ones are scaled down first.
    while (ux > (1 << 24) || ux < -(1 << 24) || uy > (1 << 24) || uy < -(1 << 24)) {
        ux /= 2;
        uy /= 2;
    }
    while (vx > (1 << 24) || vx < -(1 << 24) || vy > (1 << 24) || vy < -(1 << 24)) {
        vx /= 2;
        vy /= 2;
    }
    const Wide dot = static_cast<Wide>(ux) * vx + static_cast<Wide>(uy) * vy;
    const Wide a = static_cast<Wide>(ux) * ux + static_cast<Wide>(uy) * uy;
    const Wide b = static_cast<Wide>(vx) * vx + static_cast<Wide>(vy) * vy;
    if (dot == 0 || a == 0 || b == 0) return 0;
    return static_cast<i32>(1024 * dot * dot / (a * b));
}

i32 MQR_SplitRuns(const GEO_POINT *p, i32 n, MQR_RUN *runs, i32 maxRuns) {
    if (p == nullptr || runs == nullptr || n < 2 || maxRuns <= 0) return 0;
    // Run 0 first grows backwards from P[0].
    i32 k = 0;
    while (k < n - 1) {
        const GEO_POINT &b = k == 0 ? p[0] : p[n - k];
        if (MQR_Cos2x1024(&b, &p[1], &p[n - 1 - k]) <= kStraight840) break;
        ++k;
    }
    const i32 limit = k > 0 ? n - k + 1 : n;
    i32 count = 0;
    i32 first = -k;
    for (;;) {
        MQR_RUN &r = runs[count++];
        r = MQR_RUN{};
        r.valid = 1;
        r.first = first;
        r.last = first == -k ? 1 : first + 1;
        const GEO_POINT &a = At(p, n, first);
        for (i32 j = r.last + 1; j < limit; ++j) {
            if (MQR_Cos2x1024(&p[j - 1], &a, &p[j]) <= kStraight840) break;
            r.last = j;
        }
        if (count >= maxRuns || r.last + 1 >= limit) break;
        first = r.last;
    }
    return count;
}

i32 MQR_SplitRunsChecked(const GEO_POINT *points, i32 n, MQR_RUN *runs, i32 maxRuns) {
    if (n < 2 || maxRuns <= 0) return 0;
    return MQR_SplitRuns(points, n, runs, maxRuns);
}

i32 MQR_FitRunLines(const GEO_POINT *p, i32 n, MQR_RUN *runs, i32 runCount) {
    if (p == nullptr || runs == nullptr || n <= 0 || runCount <= 0) return 0;
    POINT_NODE nodes[kMqrGatherPoints];
    for (i32 k = 0; k < runCount; ++k) {
        if (runs[k].valid == 0) continue;
        i32 count = 0;
        Gather(p, n, runs[k], nodes, &count);
        if (count > 0) FitRun(&runs[k], nodes, count);
        else runs[k].valid = 0;
    }
    for (i32 s = 0; s < runCount; ++s) {
        if (runs[s].valid == 0) continue;
        i32 count = 0;
        for (i32 q = s + 1; q < runCount; ++q) {
            if (runs[q].valid == 0 || MQR_RunsCollinear(&runs[s], &runs[q]) == 0) continue;
            Gather(p, n, runs[q], nodes, &count);
            runs[q].valid = 0;
        }
        if (count == 0) continue;
        Gather(p, n, runs[s], nodes, &count);
        FitRun(&runs[s], nodes, count);
    }
    i32 left = Compact(runs, runCount);
    while (left > 4) {
        i32 smallest = 0;
        for (i32 k = 1; k < left; ++k) {
            if (runs[k].count < runs[smallest].count) smallest = k;
        }
        runs[smallest].valid = 0;
        left = Compact(runs, left);
    }
    return left;
}

i32 MQR_RunsCollinear(const MQR_RUN *a, const MQR_RUN *b) {
    if (a == nullptr || b == nullptr) return 0;
    const GEO_POINT o{0, 0};
    const GEO_POINT u{a->end1.x - a->end0.x, a->end1.y - a->end0.y};
    const GEO_POINT v{b->end1.x - b->end0.x, b->end1.y - b->end0.y};
    const GEO_POINT d{static_cast<i32>(((static_cast<i64>(b->end0.x) + b->end1.x) - (static_cast<i64>(a->end0.x) + a->end1.x)) / 2),
                      static_cast<i32>(((static_cast<i64>(b->end0.y) + b->end1.y) - (static_cast<i64>(a->end0.y) + a->end1.y)) / 2)};
    return MQR_Cos2x1024(&o, &u, &v) >= kParallel955 && MQR_Cos2x1024(&o, &u, &d) > kParallel955 - 1 ? 1 : 0;
}

i32 MQR_RunsCollinearChecked(const MQR_RUN *a, const MQR_RUN *b) {
    if (a == nullptr || b == nullptr || a->valid == 0 || b->valid == 0) return 0;
    return MQR_RunsCollinear(a, b);
}

i32 MQR_CheckDiagonals(const GEO_POINT *centre, const GEO_POINT c[4]) {
    if (centre == nullptr || c == nullptr) return 0;
    return MQR_Cos2x1024(centre, &c[0], &c[2]) > kDiagonal903 && MQR_Cos2x1024(centre, &c[1], &c[3]) > kDiagonal903
               ? 1
               : 0;
}

int MQR_FitFinderTransform(const GEO_POINT points[5], PERSPECTIVE *out) {
    static constexpr GEO_POINT kTemplate[5] = {{0, 66}, {0, 0}, {66, 0}, {66, 66}, {33, 33}};
    if (points == nullptr || out == nullptr) return 0;
    PERSPECTIVE_FIT fit{};
    fit.to = points;
    fit.from = kTemplate;
    fit.count = 5;
    fit.reset = 1;
    fit.outInt = out;
    fit.scale = 1 << 20;
    return Geo_FitPerspectiveInt(&fit, 1);
}

i32 MQR_FindOrientation(const PERSPECTIVE *w) {
    if (w == nullptr || g_frame.sampleBilinear == nullptr) return -1;
    i32 variation[4] = {0, 0, 0, 0};
    for (i32 line = 0; line < 8; ++line) {
        const bool column = (line / 2) % 2 == 0;  // left and right sides are columns
        i32 prev = 0;
        for (i32 k = 0; k < 7; ++k) {
            const i32 along = 11 * k;
            i32 x = 0, y = 0;
            const i32 tx = column ? kOrientLines[line] : along, ty = column ? along : kOrientLines[line];
            if (Geo_MapPointPerspective(w, tx, ty, &x, &y) != 1) return -1;
            const i32 v = g_frame.sampleBilinear(x, y, 128);
            if (k > 0) variation[line / 2] += AbsI(v - prev);
            prev = v;
        }
    }
    const i32 left = variation[0], top = variation[1], right = variation[2], bottom = variation[3];
    const i32 sums[4] = {left + bottom, left + top, top + right, right + bottom};
    i32 best = 0;
    for (i32 k = 1; k < 4; ++k) best = sums[k] > sums[best] ? k : best;
    for (i32 k = 0; k < 4; ++k) {
        if (k != best && sums[k] == sums[best]) return -1;
    }
    return best;
}

i32 MQR_RotateCorners(GEO_POINT c[4], i32 orientation) {
    if (c == nullptr || orientation < 0 || orientation > 3) return 0;
    // Orientation o puts the template's corner 1 at ring corner (o + 1) mod 4.
    const i32 shift = (orientation + 1) % 4;
    GEO_POINT r[4];
    for (i32 k = 0; k < 4; ++k) r[k] = c[(k + shift) % 4];
    for (i32 k = 0; k < 4; ++k) c[k] = r[k];
    return 1;
}

int MQR_FindRingPoints(MQR_RING_POINTS *ring) {
    if (ring == nullptr || ring->candidate == nullptr) return 0;
    ring->count = 0;
    u8 *buffer = QR_WorkBuffer();
    if (buffer == nullptr) return 0;
    const QR_FINDER_SUMMARY &f = *ring->candidate;
    const i64 cx = static_cast<i64>(f.centreX) * 16, cy = static_cast<i64>(f.centreY) * 16;
    i32 e = f.size > f.width ? f.size : f.width;
    e = f.height > e ? f.height : e;
    if (e <= 0 || e > (1 << 20) || cx < 0 || cy < 0 || cx >= static_cast<i64>(g_frame.width) * 16 ||
        cy >= static_cast<i64>(g_frame.height) * 16) {
        return 0;
    }
    const i32 window = MQR_RingWindow(e);
    const i64 reach = static_cast<i64>(6 * e / 7) * 16;
    const i32 width = Pix_GetImageWidth();
    const i32 capacity = width < kMqrMaxBandSamples ? width : kMqrMaxBandSamples;
    for (const RayDir &d : kRays) {
        GEO_POINT p{static_cast<i32>(cx), static_cast<i32>(cy)};
        GEO_POINT q{static_cast<i32>(cx + reach * d.dx / 4096), static_cast<i32>(cy + reach * d.dy / 4096)};
        Geo_ClipSegment(&p, &q, static_cast<i32>(g_frame.width) * 16, static_cast<i32>(g_frame.height) * 16);
        MQR_BAND_PROBE probe{};
        probe.samples = buffer;
        probe.count = Geo_SampleLine16(p.x, p.y, q.x, q.y, buffer, capacity);
        probe.window = window;
        probe.polarity = ring->polarity;
        if (MQR_FindBandCentre(&probe) != 1) continue;
        SEGMENT_STEP step{p.x, p.y, q.x, q.y, probe.position, 0, 0};
        Geo_SegmentPointAt(&step);
        ring->points[ring->count++] = {step.outX, step.outY};
    }
    return ring->count > 0 ? 1 : 0;
}

int MQR_LocateFinder(MQR_LOCATE *loc) {
    if (loc == nullptr || loc->candidate == nullptr) return 0;
    MQR_RING_POINTS ring{};
    ring.candidate = loc->candidate;
    ring.polarity = loc->polarity;
    if (MQR_FindRingPoints(&ring) != 1) return 0;
    MQR_RUN runs[kMqrMaxRuns] = {};
    const i32 made = ring.count >= 2 ? MQR_SplitRuns(ring.points, ring.count, runs, kMqrMaxRuns) : 0;
    if (MQR_FitRunLines(ring.points, ring.count, runs, made) != 4) return 0;
    loc->centre = {loc->candidate->centreX * 16, loc->candidate->centreY * 16};
    for (i32 k = 0; k < 4; ++k) {
        if (Geo_IntersectLineFits(&runs[k].line, &runs[(k + 1) % 4].line, &loc->corners[k]) != 1) return 0;
    }
    if (MQR_CheckDiagonals(&loc->centre, loc->corners) != 1) return 0;
    GEO_POINT points[5] = {loc->corners[0], loc->corners[1], loc->corners[2], loc->corners[3], loc->centre};
    PERSPECTIVE w{};
    if (MQR_FitFinderTransform(points, &w) != 1) return 0;
    if (MQR_RotateCorners(loc->corners, MQR_FindOrientation(&w)) != 1) return 0;
    i32 x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (Geo_MapPointPerspective(&w, 0, 33, &x0, &y0) != 1 || Geo_MapPointPerspective(&w, 66, 33, &x1, &y1) != 1) {
        return 0;
    }
    loc->moduleEstimate = static_cast<f32>(Geo_Distance(x0, y0, x1, y1) / 112.0);
    return 1;
}

}  // namespace vexo

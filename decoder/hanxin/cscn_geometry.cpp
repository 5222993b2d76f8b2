// Han Xin fine locator: one finder pattern measured on rays of grey samples. A fan of rays
// from the core finds the pattern's far end on its diagonal, each arm end is walked outward
// along its band, sixteen rays per arm fit the lines of its outer band, middle gap and inner
// band, and their nine intersections give the lattice, the module size and the axes.
#include "core/pixel.h"
#include "hanxin/cscn_finder.h"
#include "locate/finder.h"
#include "toolkit/geometry_points.h"
#include "toolkit/matrix.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {
namespace {

constexpr i32 kRaySamples = 1024;
constexpr i32 kListEdges = 5;
constexpr i32 kArmDrop = 215;   // 1024ths: the two double widths of an arm pattern
constexpr i32 kWalkDrop = 307;  // 1024ths: a walked arm's fifth edge against the first
constexpr i32 kFanRays = 8;
constexpr i32 kFanSweeps = 64;  // far more than a narrowing search takes
constexpr i32 kWalkTries = 49;
constexpr i32 kFitRays = 16;
constexpr i32 kFitPoints = 8;

i64 Abs64(i64 v) { return v < 0 ? -v : v; }
i64 Cheb(i64 dx, i64 dy) { return Abs64(dx) > Abs64(dy) ? Abs64(dx) : Abs64(dy); }
i64 Cheb(POINT_I32 a, POINT_I32 b) { return Cheb(static_cast<i64>(b.x) - a.x, static_cast<i64>(b.y) - a.y); }

i32 Sat(i64 v) { return v > 0x7FFFFFFF ? 0x7FFFFFFF : v < -0x7FFFFFFF ? -0x7FFFFFFF : static_cast<i32>(v); }

// a + (b - a) * num / den, truncating.
POINT_I32 Along(POINT_I32 a, POINT_I32 b, i64 num, i64 den) {
    return {Sat(a.x + (static_cast<i64>(b.x) - a.x) * num / den), Sat(a.y + (static_cast<i64>(b.y) - a.y) * num / den)};
}

// A ray from `from` to `to` (whole pixels) clipped and sampled into the line buffer; the
// clipped ends are kept to place positions on it.
struct Ray {
    POINT_I32 p;
    POINT_I32 q;
    i32 count;
};

Ray SampleRay(POINT_I32 from, POINT_I32 to) {
    Ray r{from, to, 0};
    Geo_ClipSegment(&r.p, &r.q, g_image.width, g_image.height);
    r.count = Geo_SampleLineBresenham(r.p.x, r.p.y, r.q.x, r.q.y, g_cscnLineBuffer, kRaySamples);
    return r;
}

// The point (1/16 pixel) at a position (1/16 sample) along the ray.
POINT_I32 PointOnRay(const Ray &r, i32 position) {
    SEGMENT_STEP s{r.p.x * 16, r.p.y * 16, r.q.x * 16, r.q.y * 16, position, 0, 0};
    Geo_SegmentPointAt(&s);
    return {s.outX, s.outY};
}

POINT_I32 Whole(POINT_I32 p) { return {p.x / 16, p.y / 16}; }

// The arm pattern on a ray; 1 with the point of its fifth edge (1/16 pixel).
bool ArmOnRay(POINT_I32 from, POINT_I32 to, i32 *fifth, POINT_I32 *at) {
    const Ray r = SampleRay(from, to);
    if (CSCN_CheckArmPattern(g_cscnLineBuffer, r.count, fifth) == 0) return false;
    *at = PointOnRay(r, *fifth);
    return true;
}

i32 Drop(i32 a, i32 b) { return a > b ? Geo_RelativeDrop1024(a, b) : Geo_RelativeDrop1024(b, a); }

}  // namespace

i32 CSCN_FindAlternatingEdges(const u8 *samples, i32 count, i32 *out, i32 maximum) {
    if (samples == nullptr || out == nullptr || maximum <= 0) return 0;
    i32 outList[kListEdges], inList[kListEdges];
    i32 outCount = 0, inCount = 0;
    if (g_cscnCurrentPass == 1) {
        EDGE_ITEM rising[kListEdges], falling[kListEdges];
        const u16 n = static_cast<u16>(count < 0 ? 0 : count > 0xFFFF ? 0xFFFF : count);
        CSCN_EDGE_SCAN up{rising, samples, n, g_edgeThresholds.ratio, 6, kListEdges, 0};
        CSCN_EDGE_SCAN down{falling, samples, n, g_edgeThresholds.ratio, 6, kListEdges, 0};
        outCount = CSCN_ProfileEdges(&up, 0);
        inCount = CSCN_ProfileEdges(&down, 1);
        for (i32 i = 0; i < outCount; ++i) outList[i] = rising[i].position;
        for (i32 i = 0; i < inCount; ++i) inList[i] = falling[i].position;
    } else {
        outCount = Prof_FindFallingEdges(samples, count, 256, 20, outList, kListEdges);
        if (outCount < 0) return 0;
        inCount = Prof_FindRisingEdges(samples, count, 256, 20, inList, kListEdges);
    }
    if (outCount <= 0) return 0;
    i32 written = 0;
    out[written++] = outList[0];
    i32 oi = 1, ii = 0;
    bool wantIn = true;
    while (written < maximum) {
        const i32 *list = wantIn ? inList : outList;
        i32 &at = wantIn ? ii : oi;
        const i32 n = wantIn ? inCount : outCount;
        while (at < n && list[at] < out[written - 1]) ++at;
        if (at >= n) break;
        out[written++] = list[at++];
        wantIn = !wantIn;
    }
    return written;
}

i32 CSCN_CheckArmPattern(const u8 *samples, i32 count, i32 *fifthEdge) {
    i32 e[kListEdges];
    if (CSCN_FindAlternatingEdges(samples, count, e, kListEdges) < kListEdges) return 0;
    if (Drop(e[3] - e[1], e[4] - e[2]) > kArmDrop) return 0;
    if (fifthEdge != nullptr) *fifthEdge = e[4];
    return 1;
}

i32 CSCN_FindFinderDiagonalEnd(POINT_I32 k, POINT_I32 a, POINT_I32 b, POINT_I32 *out) {
    if (out == nullptr || g_image.data == nullptr) return 0;
    const i64 la = Cheb(k, a), lb = Cheb(k, b);
    if (la <= 0 || lb <= 0) return 0;
    const i64 l = la > lb ? la : lb;
    const POINT_I32 a2 = Along(k, a, 4 * l, la);
    const POINT_I32 b2 = Along(k, b, 4 * l, lb);
    const i64 d = Cheb(a2, b2);
    if (d <= 0) return 0;
    i64 t[kFanRays];
    for (i32 j = 0; j < kFanRays; ++j) t[j] = (j + 1) * d / 9;
    const i64 bx = 16 * (static_cast<i64>(b2.x) - a2.x), by = 16 * (static_cast<i64>(b2.y) - a2.y);
    bool found = false;
    i64 bestMeasure = 0;
    POINT_I32 best{};
    i64 step = 0;
    for (i32 sweep = 0; sweep < kFanSweeps; ++sweep) {
        i32 hits = 0, m = -1;
        i64 sweepBest = 0;
        for (i32 j = 0; j < kFanRays; ++j) {
            i32 fifth = 0;
            POINT_I32 q{};
            if (!ArmOnRay(k, Along(a2, b2, t[j], d), &fifth, &q)) continue;
            // Proportional to Q's distance from A'B', in 64 bits: far arms overflow 32; a ray
            // without the pattern has no point and is never taken.
            const i64 qx = q.x - 16 * static_cast<i64>(a2.x), qy = q.y - 16 * static_cast<i64>(a2.y);
            const i64 measure = Abs64(bx * qy - by * qx);
            ++hits;
            if (m < 0 || measure <= sweepBest) {
                m = j;
                sweepBest = measure;
            }
            if (!found || measure <= bestMeasure) {
                found = true;
                bestMeasure = measure;
                best = q;
            }
        }
        i64 s = (t[kFanRays - 1] - t[0]) / 7;
        if (s < 1) s = 1;
        if (s == 1) break;
        if (hits < 4) return 0;
        if (step != 0 && s > step) break;
        step = s;
        const i64 lo = m == 0 ? t[0] : t[m - 1];
        const i64 hi = m == 0 ? t[1] : m == kFanRays - 1 ? d : t[m + 1];
        i64 next = (hi - lo) / 7;
        if (next < 1) next = 1;
        if (next > step) break;
        for (i32 j = 0; j < 7; ++j) t[j] = lo + j * (hi - lo) / 7;
        t[7] = hi;
    }
    if (!found) return 0;
    *out = best;
    return 1;
}

i32 CSCN_WalkArmEnd(POINT_I32 k, POINT_I32 p, POINT_I32 *armEnd) {
    if (armEnd == nullptr || g_image.data == nullptr) return 0;
    const POINT_I32 e = *armEnd;
    const i64 lp = Cheb(k, p), le = Cheb(k, e);
    if (le <= 0) return 0;
    i32 f0 = 0;
    POINT_I32 current{};
    if (!ArmOnRay(Whole(k), Whole(Along(k, e, 2 * lp, le)), &f0, &current)) return 0;
    if (current.x == p.x && current.y == p.y) return 0;
    i64 s = Cheb(p, current) / 80;
    if (s < 1) s = 1;
    for (i32 tries = 0; tries < kWalkTries && s > 0; ++tries) {
        if (current.y == p.y) break;
        const i64 ld = Cheb(p, current);
        const POINT_I32 target = Along(p, current, ld + 16 * s, ld);
        if (target.y == k.y) break;
        const i64 lt = Cheb(k, target);
        const POINT_I32 r = Along(k, target, lt + lt / 4, lt);
        i32 f = 0;
        POINT_I32 q{};
        if (ArmOnRay(Whole(k), Whole(r), &f, &q) && Drop(f0, f) <= kWalkDrop) {
            if (q.x == current.x && q.y == current.y) break;
            current = q;
        } else {
            s >>= 1;
        }
    }
    *armEnd = current;
    return 1;
}

i32 CSCN_FitArmLines(CSCN_ARM *arm) {
    if (arm == nullptr || g_image.data == nullptr) return 0;
    POINT_NODE nodes[3][kFitRays];
    i32 n[3] = {0, 0, 0};
    for (i32 i = 0; i < kFitRays; ++i) {
        const POINT_I32 s = Along(arm->diagonalEnd, arm->armEnd, i, kFitRays);
        const POINT_I32 end = Along(arm->corner, s, 5, 4);
        const Ray r = SampleRay(Whole(arm->corner), Whole(end));
        // The first five edges only: the ray ends a module or two beyond the pattern, and
        // beyond the odd pattern's one-module separator lie data modules whose edges are
        // no part of the arm.
        i32 e[kListEdges];
        if (CSCN_FindAlternatingEdges(g_cscnLineBuffer, r.count, e, kListEdges) != kListEdges) continue;
        if (Drop(e[3] - e[1], e[4] - e[2]) > kWalkDrop) continue;
        const i32 centres[3] = {(e[3] + e[4]) / 2, (e[2] + e[3]) / 2, (e[1] + e[2]) / 2};
        for (i32 l = 0; l < 3; ++l) {
            const POINT_I32 pt = PointOnRay(r, centres[l]);
            nodes[l][n[l]] = POINT_NODE{pt.x, pt.y, nullptr};
            if (n[l] > 0) nodes[l][n[l] - 1].next = &nodes[l][n[l]];
            ++n[l];
        }
    }
    for (i32 l = 0; l < 3; ++l) {
        arm->lineValid[l] = 0;
        if (n[l] < kFitPoints) continue;
        const POINT_NODE &a = nodes[l][0];
        const POINT_NODE &b = nodes[l][n[l] - 1];
        const i32 alongX = Abs64(static_cast<i64>(b.x) - a.x) > Abs64(static_cast<i64>(b.y) - a.y) ? 1 : 0;
        if (Geo_FitLineToPointList(&nodes[l][0], n[l], &arm->lines[l], alongX) == 1) arm->lineValid[l] = 1;
    }
    return arm->lineValid[0] != 0 && arm->lineValid[1] != 0 && arm->lineValid[2] != 0 ? 1 : 0;
}

int CSCN_MeasureFinder(CSCN_FINDER_REF *ref) {
    if (ref == nullptr || ref->finder == nullptr || ref->centre == nullptr || ref->endA == nullptr ||
        ref->endB == nullptr)
        return 0;
    CSCN_FINDER &f = *ref->finder;
    const POINT_I32 k = *ref->centre, a = *ref->endA, b = *ref->endB;
    POINT_I32 p{};
    if (CSCN_FindFinderDiagonalEnd(k, a, b, &p) == 0) return 0;
    const bool left = Geo_IsLeftTurn(&k, &a, &b) == 1;
    const POINT_I32 end1 = left ? b : a, end2 = left ? a : b;
    const POINT_I32 k16{k.x * 16, k.y * 16};
    CSCN_ARM arms[2];
    const POINT_I32 ends[2] = {end1, end2};
    for (i32 j = 0; j < 2; ++j) {
        arms[j] = CSCN_ARM{};
        arms[j].corner = k16;
        arms[j].diagonalEnd = p;
        arms[j].armEnd = {ends[j].x * 16, ends[j].y * 16};
        if (CSCN_WalkArmEnd(k16, p, &arms[j].armEnd) == 0) return 0;
        (j == 0 ? f.armEnd1 : f.armEnd2) = Whole(arms[j].armEnd);
        if (CSCN_FitArmLines(&arms[j]) == 0) return 0;
    }
    POINT_I32 x[3][3];
    for (i32 i = 0; i < 3; ++i)
        for (i32 j = 0; j < 3; ++j)
            if (Geo_IntersectLineFits(&arms[0].lines[i], &arms[1].lines[j], &x[i][j]) == 0) return 0;
    i64 sum = 0;
    for (i32 i = 0; i < 3; ++i)
        for (i32 j = 0; j < 2; ++j) sum += Cheb(x[i][j], x[i][j + 1]) + Cheb(x[j][i], x[j + 1][i]);
    f.moduleSize = static_cast<f32>(sum) / 12.0f;
    const POINT_I32 o = x[0][0];
    f.diagonal = {x[2][2].x - o.x, x[2][2].y - o.y};
    f.axis1 = {8 * (x[0][2].x - o.x), 8 * (x[0][2].y - o.y)};
    f.axis2 = {8 * (x[2][0].x - o.x), 8 * (x[2][0].y - o.y)};
    f.latticeCorner = o;
    f.corner = k16;
    for (i32 l = 0; l < 3; ++l) {
        f.lines[l] = arms[0].lines[l];
        f.lines[3 + l] = arms[1].lines[l];
    }
    f.valid = 1;
    return 1;
}

}  // namespace vexo

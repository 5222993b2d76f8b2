// The segment finder's banded driver: tracks grow band by band, finished tracks are paired
// with perpendicular arms into L candidates, and the candidate list is cleaned.
#include <cmath>

#include "core/pixel.h"
#include "datamatrix/dm_segment.h"

namespace vexo {

i32 g_dmDarkOnLightArmProbes = 1;
i32 g_dmLightOnDarkArmProbes = 0;

namespace {

inline i64 Abs64(i64 v) { return v < 0 ? -v : v; }
inline i32 Min(i32 a, i32 b) { return a < b ? a : b; }
inline i32 Max(i32 a, i32 b) { return a > b ? a : b; }

i32 Chebyshev(i32 x0, i32 y0, i32 x1, i32 y1) {
    const i64 l = Abs64(static_cast<i64>(x1) - x0) > Abs64(static_cast<i64>(y1) - y0) ? Abs64(static_cast<i64>(x1) - x0)
                                                                                      : Abs64(static_cast<i64>(y1) - y0);
    return l > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<i32>(l);
}

// The contrast a pair of end levels asks of a transition count.
i32 LevelContrast(i32 a, i32 b) {
    const i32 m = Max(a, b);
    return m < 74 ? 10 : (m - 30) >> 2;
}

i32 RunContrast(const u8 *s, i32 stride, i32 count) {
    if (s == nullptr || count <= 0) return 10;
    i32 lo = 255, hi = 0;
    for (i32 i = 0; i < count; ++i) {
        const i32 v = s[static_cast<i64>(i) * stride];
        lo = Min(lo, v);
        hi = Max(hi, v);
    }
    const i32 d = 2 * (hi - lo);
    return d > 30 ? d / 3 : 10;
}

}  // namespace

i64 DM_TransitionBudget(i32 n) {
    const i64 den = 2 * (32 - static_cast<i64>(g_image.width));
    const i64 q = den == 0 ? 0 : (34 * static_cast<i64>(n) + 1) / den;
    return static_cast<i64>(n) * (20 + q);
}

i32 DM_ColumnContrastThreshold(const u8 *column, i32 count) { return RunContrast(column, g_dmImage.width, count); }

i32 DM_RowContrastThreshold(const u8 *run, i32 count) { return RunContrast(run, 1, count); }

namespace {

// The walk of a transition count; `sampled` reads each position between pixels (bilinear, in
// 1/1024 pixel) instead of truncating it to a whole pixel.
i32 CountTransitionsAlong(i32 x0, i32 y0, i32 x1, i32 y1, i32 contrast, bool sampled) {
    const DM_IMAGE &img = g_dmImage;
    // A start outside the image reads nothing, on either side.
    if (img.pixels == nullptr || x0 < 0 || y0 < 0 || x0 >= img.width || y0 >= img.height) return 0;
    const i64 dx = static_cast<i64>(x1) - x0, dy = static_cast<i64>(y1) - y0;
    const i64 n = (Abs64(dx) > Abs64(dy) ? Abs64(dx) : Abs64(dy)) + 1;
    const i64 sx = Abs64(dx) * 1024 / n, sy = Abs64(dy) * 1024 / n;
    const auto at = [&](i64 k, i32 *v) {
        if (!sampled) {
            const i64 x = x0 + (dx < 0 ? -((k * sx) >> 10) : (k * sx) >> 10);
            const i64 y = y0 + (dy < 0 ? -((k * sy) >> 10) : (k * sy) >> 10);
            if (x < 0 || y < 0 || x >= img.width || y >= img.height) return false;
            *v = img.pixels[y * img.width + x];
            return true;
        }
        const i64 fx = static_cast<i64>(x0) * 1024 + (dx < 0 ? -(k * sx) : k * sx);
        const i64 fy = static_cast<i64>(y0) * 1024 + (dy < 0 ? -(k * sy) : k * sy);
        if (fx < 0 || fy < 0) return false;
        const i64 x = fx >> 10, y = fy >> 10;
        if (x >= img.width || y >= img.height) return false;
        const u8 *p = img.pixels + y * img.width + x;
        const i64 ax = fx & 1023, ay = fy & 1023;
        const i64 right = x + 1 < img.width ? 1 : 0, below = y + 1 < img.height ? img.width : 0;
        const i64 top = p[0] * (1024 - ax) + p[right] * ax;
        const i64 bottom = p[below] * (1024 - ax) + p[below + right] * ax;
        *v = static_cast<i32>((top * (1024 - ay) + bottom * ay + (1 << 19)) >> 20);
        return true;
    };
    i32 cur = img.pixels[static_cast<i64>(y0) * img.width + x0];
    i32 count = 0;
    i64 k = 1;
    i32 v = 0;
    while (k < n && at(k, &v)) {
        if (v == cur) {
            ++k;
            continue;
        }
        const bool down = v < cur;
        const i32 start = cur;
        i32 last = v;
        i32 next = 0;
        ++k;
        while (k < n && at(k, &next) && (down ? next < last : next > last)) {
            last = next;
            ++k;
        }
        const i32 level = down ? start : last;
        const i32 c = contrast > 0 ? contrast : (level < 74 ? 10 : (level - 30) >> 2);
        if ((down ? start - last : last - start) >= c) ++count;
        cur = last;
    }
    return count;
}

}  // namespace

i32 DM_CountLineTransitions(i32 x0, i32 y0, i32 x1, i32 y1, i32 contrast) {
    return CountTransitionsAlong(x0, y0, x1, y1, contrast, false);
}

// The finder reads its lines along and beside tracked edges (a track's own line, an arm's, the
// quiet sides of a candidate) between pixels rather than on whole pixels: a whole-pixel line on
// or near a slanted straight edge weaves through the edge's part-covered pixels, every step
// across its minor axis reading as a fall and a rise, so no symbol off the axes passed the
// budget. Texture, bars or print on the line still give their transitions.
i32 DM_CountSampledLineTransitions(i32 x0, i32 y0, i32 x1, i32 y1, i32 contrast) {
    return CountTransitionsAlong(x0, y0, x1, y1, contrast, true);
}

i32 DM_IntersectTrackLines(const GEO_POINT *a0, const GEO_POINT *a1, const GEO_POINT *b0, const GEO_POINT *b1,
                           GEO_POINT *out) {
    if (a0 == nullptr || a1 == nullptr || b0 == nullptr || b1 == nullptr || out == nullptr) return 0;
    const i64 x1 = a0->x, y1 = a0->y, x2 = a1->x, y2 = a1->y;
    const i64 x3 = b0->x, y3 = b0->y, x4 = b1->x, y4 = b1->y;
    const i64 den = (x1 - x2) * (y3 - y4) - (y1 - y2) * (x3 - x4);
    if (den == 0) return 0;
    const i64 ca = x1 * y2 - y1 * x2, cb = x3 * y4 - y3 * x4;
    const i64 x = (ca * (x3 - x4) - (x1 - x2) * cb) / den;
    const i64 y = (ca * (y3 - y4) - (y1 - y2) * cb) / den;
    if (x < 0 || y < 0 || x >= g_dmImage.width || y >= g_dmImage.height) return 0;
    out->x = static_cast<i32>(x);
    out->y = static_cast<i32>(y);
    return 1;
}

i32 DM_IsRightAngle(const GEO_POINT *corner, const GEO_POINT *p, const GEO_POINT *q) {
    const auto sq = [](const GEO_POINT *u, const GEO_POINT *v) {
        const i64 dx = static_cast<i64>(u->x) - v->x, dy = static_cast<i64>(u->y) - v->y;
        return dx * dx + dy * dy;
    };
    const i64 a = sq(corner, p), b = sq(corner, q), c = sq(p, q);
    const i64 den = 2 * static_cast<i64>(std::sqrt(static_cast<f64>(a))) * static_cast<i64>(std::sqrt(static_cast<f64>(b)));
    if (den <= 0) return 0;
    const i64 v = (a + b - c) * 1000 / den;
    return v >= -258 && v <= 258 ? 1 : 0;
}

i32 DM_HasRoomForArm(const DM_EDGE_TRACK *track) {
    const i64 a = track->topX / 16, b = track->bottomX / 16;
    const i64 rows = static_cast<i64>(track->topY) - track->bottomY;
    const i64 d = static_cast<i64>(std::sqrt(static_cast<f64>(rows * rows + (a - b) * (a - b))));
    const i64 f = 3 * d / 5;
    if (track->polarity == 1) return a >= f && b >= f ? 1 : 0;
    return a + f <= g_dmImage.width && b + f <= g_dmImage.width ? 1 : 0;
}

namespace {

struct ArmProbe {
    bool atTop;          // probe point beside T (else B)
    bool across;         // + (ox, -oy) (else + (-ox, +oy))
    i32 risingPolarity;  // seeds rise when the track has this polarity
    bool flip;           // candidate darkOnLight = 1 - polarity
    bool leftFirst;      // track left to column 0, then right (else right, then left)
    bool trackOverArm;   // the ratio tested is Lr / La (else La / Lr)
};

constexpr ArmProbe kArmProbes[4] = {
    {true, false, 0, false, true, true},
    {true, true, 1, true, false, false},
    {false, false, 1, false, true, false},
    {false, true, 0, true, false, true},
};
static_assert(sizeof(kArmProbes) / sizeof(kArmProbes[0]) == 4);

}  // namespace

void DM_PairArms(DM_EDGE_TRACK *track, DM_CANDIDATE *out, i32 *found, i32 capacity) {
    const DM_IMAGE &img = g_dmImage;
    if (track == nullptr || out == nullptr || found == nullptr || img.pixels == nullptr) return;
    const i32 dx = (track->bottomX - track->topX) / 16, dy = track->bottomY - track->topY;
    const i32 m = Max(dx < 0 ? -dx : dx, dy < 0 ? -dy : dy);
    if (m < 1) return;
    const i32 lr = static_cast<i32>(std::floor(std::sqrt(static_cast<f64>(dx) * dx + static_cast<f64>(dy) * dy) + 0.5));
    if (lr < 1) return;
    track->length = lr;
    if (*found >= capacity) return;
    const GEO_POINT t{(track->topX + 8) / 16, track->topY};
    const GEO_POINT b{(track->bottomX + 8) / 16, track->bottomY};
    const i32 ox = 7 * dy / m, oy = 7 * dx / m;
    for (const ArmProbe &probe : kArmProbes) {
        const i32 dol = probe.flip ? 1 - track->polarity : track->polarity;
        if ((dol == 1 ? g_dmDarkOnLightArmProbes : g_dmLightOnDarkArmProbes) == 0) continue;
        const GEO_POINT base = probe.atTop ? t : b;
        const i32 x = base.x + (probe.across ? ox : -ox), y = base.y + (probe.across ? -oy : oy);
        if (x < 0 || y < 0 || x >= img.width || y >= img.height) continue;
        const bool rising = track->polarity == probe.risingPolarity;
        const i32 y0 = Max(y - 14, 0), y1 = Min(y + 14, img.height - 1);
        const u8 *column = img.pixels + static_cast<i64>(y0) * img.width + x;
        i32 seeds[10];
        u8 bright[10], dark[10], widths[10];
        const i32 n = rising ? DM_EdgeRunsRisingColumn(column, y1 - y0 + 1, seeds, 10, bright, dark, widths, 255, 512)
                             : DM_EdgeRunsFallingColumn(column, y1 - y0 + 1, seeds, 10, bright, dark, widths, 255, 512);
        const i32 armThreshold = g_dmOptions.segmentFinderOption != 0 ? DM_ColumnContrastThreshold(column, y1 - y0 + 1) : 0;
        i32 best = 16777215;
        for (i32 i = 0; i < n; ++i) {
            DM_ARM_TRACK arm{};
            arm.state = 1;
            arm.polarity = rising ? 1 : 0;
            arm.leftX = arm.rightX = x;
            arm.leftY = arm.rightY = 16 * y0 + seeds[i];
            arm.leftLevel = arm.rightLevel = bright[i];
            arm.leftWidth = arm.rightWidth = widths[i];
            arm.threshold = armThreshold;
            const bool tracked = probe.leftFirst
                                     ? DM_TrackLeft(&arm, 0) == 1 && DM_TrackRight(&arm, Min(x + 7, img.width - 1)) == 1
                                     : DM_TrackRight(&arm, img.width - 1) == 1 && DM_TrackLeft(&arm, Max(x - 7, 0)) == 1;
            if (!tracked || arm.steps <= 39 || 100 * arm.misses / arm.steps >= 8) continue;
            const GEO_POINT l{arm.leftX, (arm.leftY + 8) / 16}, r{arm.rightX, (arm.rightY + 8) / 16};
            GEO_POINT corner{};
            if (DM_IntersectTrackLines(&t, &b, &l, &r, &corner) == 0) continue;
            const GEO_POINT &trackFar = probe.atTop ? b : t;
            const GEO_POINT &armFar = probe.leftFirst ? l : r;
            if (DM_IsRightAngle(&corner, &trackFar, &armFar) == 0) continue;
            const f64 ax = static_cast<f64>(armFar.x) - corner.x, ay = static_cast<f64>(armFar.y) - corner.y;
            const i32 la = static_cast<i32>(std::sqrt(ax * ax + ay * ay) + 0.5);
            arm.length = la;
            if (la <= 39) continue;
            const i32 diff = la > lr ? la - lr : lr - la;
            if (diff * 100 / Max(la, lr) > 30) {
                const i32 ratio = probe.trackOverArm ? lr * 100 / la : la * 100 / lr;
                if (ratio < 20 || ratio > 70) continue;
            }
            const i32 armContrast = LevelContrast(arm.leftLevel, arm.rightLevel);
            const i32 transitions =
                DM_CountSampledLineTransitions(arm.leftX, arm.leftY / 16, arm.rightX, arm.rightY / 16, armContrast);
            if (100 * static_cast<i64>(transitions) > DM_TransitionBudget(arm.steps)) continue;
            const f64 sx = static_cast<f64>((arm.rightX * 16 - track->topX) / 16);
            const f64 sy = static_cast<f64>((arm.rightY - track->topY * 16) / 16);
            const i32 score = static_cast<i32>(std::sqrt(sx * sx + sy * sy) + 0.5);
            if (score >= best) continue;
            best = score;
            DM_CANDIDATE &c = out[*found];
            c.valid = 1;
            c.darkOnLight = dol;
            c.corner = corner;
            if (probe.atTop) {
                c.armEnd1 = probe.leftFirst ? b : r;
                c.armEnd2 = probe.leftFirst ? l : b;
            } else {
                c.armEnd1 = probe.leftFirst ? l : t;
                c.armEnd2 = probe.leftFirst ? t : r;
            }
            c.contrastHint = armContrast;
            if (++*found >= capacity) return;
        }
    }
}

void DM_FinishTracks(DM_EDGE_TRACK *tracks, i32 *trackCount, DM_CANDIDATE *out, i32 capacity, i32 *found) {
    if (tracks == nullptr || trackCount == nullptr || found == nullptr) return;
    DM_EDGE_TRACK finished[kDmSegmentTrackCapacity];
    i32 nf = 0, kept = 0;
    const i32 count = *trackCount;
    for (i32 i = 0; i < count; ++i) {
        DM_EDGE_TRACK &k = tracks[i];
        if (k.state == 0) continue;
        if (k.closed == 0) {
            tracks[kept++] = k;
            continue;
        }
        if (k.steps <= 39 || 100 * k.misses / k.steps >= 8) continue;
        const i32 x0 = k.topX / 16, x1 = k.bottomX / 16;
        const i32 n = Chebyshev(x0, k.topY, x1, k.bottomY);
        const i32 c = LevelContrast(k.topLevel, k.bottomLevel);
        const i32 transitions = DM_CountSampledLineTransitions(x0, k.topY, x1, k.bottomY, c);
        if (100 * static_cast<i64>(transitions) >= DM_TransitionBudget(n)) continue;
        finished[nf++] = k;
        if (nf == kDmSegmentTrackCapacity) break;  // the finder's budget: the rest is not visited
    }
    *trackCount = kept;
    for (i32 i = 0; i < nf; ++i) {
        if (g_dmOptions.segmentFinderOption != 0 && (finished[i].state != 1 || DM_HasRoomForArm(&finished[i]) == 0)) continue;
        DM_PairArms(&finished[i], out, found, capacity);
    }
}

i32 DM_CheckCandidates(DM_CANDIDATE *list, i32 count) {
    if (list == nullptr) return 0;
    i32 kept = 0;
    for (i32 i = 0; i < count; ++i) {
        DM_CANDIDATE c = list[i];
        const GEO_POINT k = c.corner;
        GEO_POINT &p = c.armEnd1;
        GEO_POINT &q = c.armEnd2;
        const i32 d1 = Chebyshev(k.x, k.y, p.x, p.y), d2 = Chebyshev(k.x, k.y, q.x, q.y);
        if (d1 == 0 || d2 == 0) continue;  // an arm of no length has no side to test
        if (g_dmOptions.segmentFinderOption == 0) {
            const auto quiet = [](GEO_POINT from, GEO_POINT to, GEO_POINT away, i32 d) {
                const i32 sx = static_cast<i32>(2 * (static_cast<i64>(to.x) - away.x) / d);
                const i32 sy = static_cast<i32>(2 * (static_cast<i64>(to.y) - away.y) / d);
                const i32 x0 = from.x + sx, y0 = from.y + sy, x1 = to.x + sx, y1 = to.y + sy;
                const i32 n = DM_CountSampledLineTransitions(x0, y0, x1, y1, 0);
                return 100 * static_cast<i64>(n) < DM_TransitionBudget(Chebyshev(x0, y0, x1, y1));
            };
            if (!quiet(p, k, q, d2) || !quiet(q, k, p, d1)) continue;
        }
        if (d1 < 100 && d2 < 100) {
            const i32 diff = d1 > d2 ? d1 - d2 : d2 - d1;
            const i32 pct = diff * 100 / Max(d1, d2);
            if (pct >= 11 && pct <= 24) {
                const i32 h = diff >> 1;
                GEO_POINT &moved = d2 >= d1 ? q : p;
                moved.x += (k.x - moved.x) * h / d1;
                moved.y += (k.y - moved.y) * h / d1;
            }
        }
        list[kept++] = c;
    }
    return kept;
}

i32 DM_SegmentFinder(DM_CANDIDATE *out, i32 wanted, i32 darkOnLightProbes, i32 lightOnDarkProbes) {
    const DM_IMAGE &img = g_dmImage;
    if (out == nullptr || img.pixels == nullptr || img.width != g_image.width || img.height != g_image.height) return 0;
    g_dmDarkOnLightArmProbes = darkOnLightProbes;
    g_dmLightOnDarkArmProbes = g_dmOptions.segmentFinderOption != 0 ? 0 : lightOnDarkProbes;
    if (wanted <= 0 || img.width < 1) return 0;
    DM_EDGE_TRACK tracks[kDmSegmentTrackCapacity];
    i32 count = 0, found = 0;
    for (i32 y = 32; y < img.height; y += 32) {
        i32 rp[kDmSegmentRowEdges], fp[kDmSegmentRowEdges], rc = 0, fc = 0;
        u8 rb[kDmSegmentRowEdges], fb[kDmSegmentRowEdges], rw[kDmSegmentRowEdges], fw[kDmSegmentRowEdges];
        DM_ScanRowEdges(img.pixels + static_cast<i64>(y) * img.width, img.width, rp, fp, kDmSegmentRowEdges, rb, fb, rw,
                        fw, &rc, &fc, 255, -1);
        count = DM_StartTracks(rp, rb, rw, rc, 1, y, tracks, count, kDmSegmentTrackCapacity);
        count = DM_StartTracks(fp, fb, fw, fc, 0, y, tracks, count, kDmSegmentTrackCapacity);
        i32 kept = 0;
        for (i32 i = 0; i < count; ++i) {
            if (DM_TrackDown(&tracks[i], Min(y + 32, img.height)) == 1) tracks[kept++] = tracks[i];
        }
        count = kept;
        DM_FinishTracks(tracks, &count, out, wanted, &found);
        if (found >= wanted) return found >= 1 ? DM_CheckCandidates(out, found) : 0;
    }
    i32 kept = 0;
    for (i32 i = 0; i < count; ++i) {
        if (tracks[i].state != 1) continue;
        tracks[kept] = tracks[i];
        tracks[kept++].closed = 1;
    }
    count = kept;
    DM_FinishTracks(tracks, &count, out, wanted, &found);
    return found > 0 ? DM_CheckCandidates(out, found) : 0;
}

}  // namespace vexo

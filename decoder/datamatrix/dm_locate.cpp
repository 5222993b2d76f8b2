// Locating and sizing a Data Matrix candidate: the layout class from the transitions on the
// diagonals (with the arm repair), the order in which classes are tried, module counting on
// the timing edges and the snapping of the counts to Data Matrix region sizes.
#include "datamatrix/dm_locate.h"

#include <cstring>

#include "core/pixel.h"
#include "datamatrix/dm_driver.h"
#include "datamatrix/dm_line_walk.h"
#include "toolkit/geometry_points.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {

const DM_LOCATE_CALLS kDmLocateCalls = {
    .classify = DM_ClassifyLayout,
    .tryLargeSymbolPath = DM_TryLargeSymbolPath,
    .measureCell = DM_MeasureCell,
    .completeLattice = DM_CompleteLattice,
};
const DM_LOCATE_CALLS *g_dmLocateCalls = &kDmLocateCalls;

namespace {

i32 g_noiseThreshold = 15;
i32 g_altScore = 0;

constexpr i32 kStartThreshold = 15;
constexpr i32 kMaxModuleCount = 49;
constexpr i32 kMinModuleCount = 6;
constexpr i32 kRepairEdges = 128;
constexpr i32 kCornerEdges = 200;
constexpr i32 kMaxDarkCentres = 8;  // the reflected run centres stop at this many
constexpr i32 kVoteBins = 100;

// Class chain: NEXT[class + 1].
constexpr i8 kNextClass[8] = {0, -1, -1, 1, -1, 2, -1, 4};
static_assert(sizeof(kNextClass) == 8);
// Vote thresholds of module counting by class + 1 (classes -1..6).
constexpr i8 kRowsMinVotes[8] = {8, 9, 10, 16, 0, 16, 0, 20};
constexpr i8 kColsMinVotes[8] = {18, 9, 10, 16, 0, 16, 0, 20};
static_assert(sizeof(kRowsMinVotes) == 8 && sizeof(kColsMinVotes) == 8);

i32 Dist(GEO_POINT a, GEO_POINT b) { return Geo_DistanceInt(a.x, a.y, b.x, b.y); }
GEO_POINT Fourth(GEO_POINT a, GEO_POINT c, GEO_POINT b) { return GEO_POINT{a.x + b.x - c.x, a.y + b.y - c.y}; }
i32 ClassIndex(i32 layoutClass) { return layoutClass + 1; }
bool ClassInTable(i32 layoutClass) { return layoutClass >= -1 && layoutClass <= 6; }

u8 *Scratch(i32 offset) {
    u8 *w = DM_WorkBuffer();
    return w != nullptr ? w + offset : nullptr;
}

i32 FallingEdgesOn(u8 *image, GEO_POINT a, GEO_POINT b, i32 ratio, i32 capacity) {
    u8 *buf = Scratch(kDmDiagonalSamplesOffset);
    if (buf == nullptr) return 0;
    const i32 n = Geo_SampleLine(image, &a, &b, buf, kDmLineSamples);
    i32 positions[kCornerEdges];
    return Prof_FindFallingEdges(buf, n, ratio, 6, positions, capacity);
}

i32 TransitionsOn(u8 *image, GEO_POINT a, GEO_POINT b) {
    u8 *buf = Scratch(kDmDiagonalSamplesOffset);
    if (buf == nullptr || g_image.width > kDmLineSamples) return 0;
    const i32 n = Geo_SampleLineSorted(image, &a, &b, buf);
    const i32 step = DM_DiagonalStepThreshold(buf, n);
    return DM_CountTransitionsChecked(buf, n, step > g_noiseThreshold ? step : g_noiseThreshold);
}

bool InMargin(GEO_POINT p) { return p.x >= 1 && p.x < g_image.width - 1 && p.y >= 1 && p.y < g_image.height - 1; }

i32 RunVotes(const u8 *p, i32 n, i32 minStep, i32 *winner) {
    i32 hist[kVoteBins] = {};
    i32 edges[kDmMaxEdgeCentres];
    DM_VoteModuleCounts(edges, DM_RisingEdgeCentres(p, n, edges, minStep), n, hist);
    DM_VoteModuleCounts(edges, DM_FallingEdgeCentres(p, n, edges, minStep), n, hist);
    i32 peak = 0;
    *winner = DM_WinnerOfVotes(hist, &peak);
    return peak;
}

// Evenness for squares of several regions (D <= 3): both counts made equal and even.
void EvenSquare(i32 *rows, i32 *cols) {
    const bool ro = (*rows & 1) != 0, co = (*cols & 1) != 0;
    if (ro && co) {
        const i32 v = *rows == *cols ? *rows + 1 : (*rows + *cols) / 2;
        *rows = *cols = (v & 1) != 0 ? v + 1 : v;
    } else if (ro) {
        *rows = *cols;
    } else if (co) {
        *cols = *rows;
    } else {
        *rows = *cols = *rows > *cols ? *rows : *cols;
    }
}

bool InSizeRange(i32 rows, i32 cols) { return rows >= 7 && rows <= 47 && cols >= 7 && cols <= 47; }

i32 SnapSquareOfOne(DM_GEOMETRY *g, i32 rows, i32 cols) {
    if (rows <= 24 && cols <= 24) {
        rows = cols = rows > cols ? rows : cols;
    } else if ((rows & 1) != 0) {
        cols = rows;
    } else if ((cols & 1) != 0) {
        rows = cols;
    } else {
        rows = cols = (rows + cols) / 2 + 1;
    }
    g->moduleRows = rows;
    g->moduleCols = cols;
    if (!InSizeRange(rows, cols)) return -1;
    g->regionRows = g->regionCols = 1;
    return 0;
}

i32 SnapRectangle(DM_GEOMETRY *g, i32 rows, i32 cols) {
    i32 r = 0;
    if (rows >= 4 && rows <= 8) {
        rows = 6;
        r = cols >= 14 && cols <= 18 ? (cols = 16, 0) : (cols >= 26 && cols <= 30 ? -1 : -2);
    } else if (rows >= 9 && rows <= 12) {
        rows = 10;
        r = cols >= 23 && cols <= 25 ? (cols = 24, 0) : (cols >= 30 && cols <= 34 ? -1 : -2);
    } else if (rows >= 13 && rows <= 16) {
        r = -1;
    } else if (rows != cols) {
        r = -2;
    } else {
        g->layoutClass = kDmLayoutSquare1;
        g->moduleRows = rows;
        g->moduleCols = cols;
        if (!InSizeRange(rows, cols)) return -1;
        g->regionRows = g->regionCols = 1;
        return 0;
    }
    g->moduleRows = rows;
    g->moduleCols = cols;
    return r;
}

i32 SnapWideRectangle(DM_GEOMETRY *g, i32 rows, i32 cols) {
    i32 r = -2;
    if (rows >= 4 && rows <= 8) {
        rows = 6;
        if (cols >= 12 && cols <= 16) cols = 14, r = 0;
    } else if (rows >= 9 && rows <= 12) {
        rows = 10;
        if (cols >= 14 && cols <= 18) cols = 16, r = 0;
    } else if (rows >= 13 && rows <= 16) {
        rows = 14;
        if (cols >= 14 && cols <= 18) cols = 16, r = 0;
        if (cols >= 20 && cols <= 24) cols = 22, r = 0;
    }
    g->moduleRows = rows;
    g->moduleCols = cols;
    if (r != 0) return r;
    g->regionRows = 1;
    g->regionCols = 2;
    return 0;
}

}  // namespace

i32 DM_GetNoiseThreshold() { return g_noiseThreshold; }
void DM_SetNoiseThreshold(i32 g) { g_noiseThreshold = g; }
void DM_SetAltScoreFlag(i32 flag) { g_altScore = flag; }
i32 DM_GetAltScoreFlag() { return g_altScore; }

i32 DM_NextLayoutClass(i32 layoutClass) {
    const i32 k = ClassIndex(layoutClass);
    return k < 0 || k > 7 ? kDmStatusNoCandidate : kNextClass[k];
}

i32 DM_LocateAndSize(u8 *image, DM_PREPARED_CANDIDATE *cand, DM_GEOMETRY *geo) {
    if (cand == nullptr || geo == nullptr) return kDmStatusNoCandidate;
    const DM_LOCATE_CALLS *calls = g_dmLocateCalls;
    const bool limit = DM_GetConfigBit12() != 0;
    g_noiseThreshold = kStartThreshold;
    i32 cls;
    if (5 * cand->arm1Length < 3 * cand->arm2Length) {
        if (limit) return kDmStatusNoCandidate;
        cls = kDmLayoutWideRectangle;
    } else {
        cls = calls->classify(image, &cand->armEnd1, &cand->corner, &cand->armEnd2, cand->darkOnLight);
        if (cls < 0 || (limit && cls > 4)) return kDmStatusNoCandidate;
        if (limit && cls == 4) cls = kDmLayoutSquare2;
    }
    i32 last = -1;
    for (i32 attempts = 0;;) {
        geo->layoutClass = cls;
        if (limit && cls <= 0) return kDmStatusNoCandidate;
        const i32 r = calls->tryLargeSymbolPath(cand, geo);
        if (r == 1) return 0;
        last = -1;
        if (r == -5) {
            if (cls == kDmLayoutRectangle || cls == kDmLayoutSquare1) return kDmStatusNoCandidate;
        } else if (r == 0 || r == -1) {
            const i32 s = calls->measureCell(image, cand, geo);
            if (s == 0) {
                return geo->moduleCols != 0 && cls != kDmLayoutSquare1 ? calls->completeLattice(image, cand, geo) : 0;
            }
            if (s == -3) return kDmStatusNoCandidate;
            last = s;
        }
        const i32 next = DM_NextLayoutClass(cls);
        if (next < 0) return kDmStatusNoCandidate;
        if (++attempts >= 3) return last;
        cls = next;
    }
}

i32 DM_ClassFromTransitions(i32 o, i32 b, i32 c) {
    if (o <= 4) return -1;
    if (o <= 34) return 1;
    if (o <= 59) return 2;
    if (b <= 39 || c <= 39) return 1;
    if (b <= 99 || c <= 99) return 2;
    if (o <= 119) return 4;
    if (b <= 139 || c <= 139) return 4;
    return 6;
}

i32 DM_ClassifyLayout(u8 *image, GEO_POINT *armEnd1, GEO_POINT *corner, GEO_POINT *armEnd2, i32) {
    if (armEnd1 == nullptr || corner == nullptr || armEnd2 == nullptr) return -1;
    DM_SetAltScoreFlag(0);
    i32 b = Dist(*armEnd1, *corner), c = Dist(*corner, *armEnd2);
    if (b > 0 && c > 0) {
        const f32 ratio = b > c ? static_cast<f32>(b) / static_cast<f32>(c) : static_cast<f32>(c) / static_cast<f32>(b);
        if (ratio > 1.4f) {
            const i32 r = DM_RepairShortArm(image, armEnd1, corner, armEnd2, b, c);
            if (r == 1) c = Dist(*corner, *armEnd2);
            if (r == 2) b = Dist(*armEnd1, *corner);
        }
    }
    const i32 na = DM_QuietZoneNoise(image, *corner, *armEnd1);
    const i32 nb = DM_QuietZoneNoise(image, *armEnd2, *corner);
    g_noiseThreshold = 11 * (na > nb ? na : nb) / 10;
    i32 o = TransitionsOn(image, *armEnd1, *armEnd2);
    o += TransitionsOn(image, *corner, Fourth(*armEnd1, *corner, *armEnd2));
    return DM_ClassFromTransitions(o, b, c);
}

i32 DM_QuietZoneNoise(u8 *image, GEO_POINT p, GEO_POINT q) {
    GEO_POINT x1{}, x2{};
    Geo_OffsetPerpendicular(&p, &q, &p, 5, &x1);
    Geo_OffsetPerpendicular(&p, &q, &q, 5, &x2);
    u8 *buf = Scratch(kDmDiagonalSamplesOffset);
    u8 hist[256];
    std::memset(hist, 0, sizeof(hist));
    if (buf != nullptr) {
        const i32 cap = g_image.width < kDmLineSamples ? g_image.width : kDmLineSamples;
        DM_RunAmplitudeHistogram(buf, Geo_SampleLineImage(image, &x1, &x2, buf, cap), hist);
    }
    return DM_NoiseLevelFromHistogram(hist);
}

void DM_RunAmplitudeHistogram(const u8 *s, i32 n, u8 hist[256]) {
    if (s == nullptr || hist == nullptr) return;
    DM_ForEachRun(s, n, [&](i32, i32, i32 amp, bool) { hist[amp] = static_cast<u8>(hist[amp] + 1); });
}

i32 DM_NoiseLevelFromHistogram(const u8 hist[256]) {
    i32 level = 6;
    for (i32 i = 0; i <= 123; ++i) {
        const i32 sum = hist[i] + hist[i + 1] + hist[i + 2] + hist[i + 3];
        if (sum > 8 && hist[i + 3] > 1) level = i + 3;
    }
    return level;
}

i32 DM_DiagonalStepThreshold(const u8 *s, i32 n) {
    const i32 h = n / 2;
    const auto half = [&](i32 from, i32 to) {
        if (to - from < 1 || s == nullptr) return 5;
        i32 lo = 255, hi = 0;
        for (i32 k = from; k < to; ++k) {
            lo = s[k] < lo ? s[k] : lo;
            hi = s[k] > hi ? s[k] : hi;
        }
        const i32 range = hi > 150 ? (255 - lo) - lo : hi - lo;
        return range > 33 ? (range - 10) >> 2 : 5;
    };
    const i32 a = half(3, h), b = half(h, n - 3);
    return a < b ? a : b;
}

i32 DM_CountTransitions(const u8 *s, i32 n, i32 t) {
    if (t == 0) t = 5;
    i32 count = 0;
    DM_ForEachRun(s, n, [&](i32, i32, i32 amp, bool) { count += amp >= t ? 1 : 0; });
    return count;
}

i32 DM_CountTransitionsChecked(const u8 *s, i32 n, i32 t) {
    return n < 2 || s == nullptr ? 0 : DM_CountTransitions(s, n, t);
}

void DM_PointAlongSegment(GEO_POINT p, GEO_POINT q, i32 n, GEO_POINT *out) {
    if (out == nullptr) return;
    SEGMENT_STEP s{p.x, p.y, q.x, q.y, n, 0, 0};
    Geo_SegmentPointAt(&s);
    *out = GEO_POINT{s.outX, s.outY};
}

i32 DM_RepairShortArm(u8 *image, GEO_POINT *armEnd1, GEO_POINT *corner, GEO_POINT *armEnd2, i32 b, i32 c) {
    if (armEnd1 == nullptr || corner == nullptr || armEnd2 == nullptr || b == c) return 0;
    GEO_POINT f = Fourth(*armEnd1, *corner, *armEnd2);
    DM_RepairFourthCorner(image, *armEnd1, &f);
    // The far side opposite the long arm, and the line k steps beyond it: when the symbol
    // goes on past that side, the short arm stopped early.
    const bool bottomShort = b > c;
    GEO_POINT *shortEnd = bottomShort ? armEnd2 : armEnd1;
    GEO_POINT *longEnd = bottomShort ? armEnd1 : armEnd2;
    const i32 longer = bottomShort ? b : c, shorter = bottomShort ? c : b;
    const i32 e0 = FallingEdgesOn(image, f, *shortEnd, 112, kRepairEdges);
    const i32 k = longer <= 23 ? longer / 4 : 6;
    GEO_POINT t1{}, t2{};
    DM_PointAlongSegment(f, *longEnd, -k, &t1);
    DM_PointAlongSegment(*shortEnd, *corner, -k, &t2);
    DM_PointAlongSegment(t1, t2, -10, &t1);
    DM_PointAlongSegment(t2, t1, -10, &t2);
    const i32 e1 = FallingEdgesOn(image, t1, t2, 112, kRepairEdges);
    if (e1 < e0 / 3) return 0;
    DM_PointAlongSegment(*shortEnd, *corner, shorter - longer, shortEnd);
    return bottomShort ? 1 : 2;
}

i32 DM_PairDarkRuns(i32 *falls, i32 *nf, i32 *rises, i32 *nr) {
    if (falls == nullptr || rises == nullptr || nf == nullptr || nr == nullptr) return 0;
    i32 kept = 0, r = 0;
    for (i32 f = 0; f < *nf && r < *nr; ++f) {
        if (rises[r] > falls[f]) {
            falls[kept] = falls[f];
            rises[kept] = rises[r];
            ++kept;
            ++r;
        }
    }
    if (kept > 0) *nf = *nr = kept;
    return kept;
}

i32 DM_RunCentresToPoints(const i32 *centres, i32 n, GEO_POINT s, GEO_POINT e, GEO_POINT *out, i32 *mean) {
    i32 count = 0;
    i64 sum = 0;
    for (i32 k = 0; k < n && centres != nullptr && out != nullptr; ++k) {
        GEO_POINT p{};
        DM_PointAlongSegment(s, e, centres[k] >> 4, &p);
        if (!InMargin(p)) break;
        out[count++] = p;
        sum += g_image.data[static_cast<i64>(p.y) * g_image.width + p.x];
    }
    if (mean != nullptr) *mean = count > 0 ? static_cast<i32>((sum + count / 2) / count) : 0;
    return count;
}

i32 DM_ExtendDarkCentres(GEO_POINT *pts, i32 n, i32 mean) {
    const i32 limit = 11 * mean / 10;
    while (pts != nullptr && n >= 2 && n < kMaxDarkCentres) {
        GEO_POINT next{};
        Geo_ReflectPoint(&pts[n - 1], &pts[n - 2], &next);
        if (!InMargin(next) || g_image.data[static_cast<i64>(next.y) * g_image.width + next.x] > limit) break;
        pts[n++] = next;
    }
    return n;
}

void DM_RepairFourthCorner(u8 *image, GEO_POINT a, GEO_POINT *f) {
    u8 *buf = Scratch(kDmDiagonalSamplesOffset);
    if (f == nullptr || buf == nullptr || g_image.data == nullptr) return;
    GEO_POINT s{}, e{};
    DM_PointAlongSegment(a, *f, -20, &s);
    DM_PointAlongSegment(*f, a, -20, &e);
    const i32 n = Geo_SampleLine(image, &s, &e, buf, kDmLineSamples);
    i32 falls[kCornerEdges], rises[kCornerEdges];
    i32 nf = Prof_FindFallingEdges(buf, n, 126, 6, falls, kCornerEdges);
    i32 nr = Prof_FindRisingEdges(buf, n, 126, 6, rises, kCornerEdges);
    DM_PairDarkRuns(falls, &nf, rises, &nr);
    i32 centres[kCornerEdges];
    const i32 nc = nf < nr ? nf : nr;
    for (i32 k = 0; k < nc; ++k) centres[k] = (falls[k] + rises[k]) >> 1;
    // Room for every run centre and the reflected ones after them.
    GEO_POINT pts[kCornerEdges + kMaxDarkCentres];
    i32 mean = 0;
    i32 np = DM_RunCentresToPoints(centres, nc, s, e, pts, &mean);
    if (np <= 2) return;
    np = DM_ExtendDarkCentres(pts, np, mean);
    const GEO_POINT mid{(pts[np - 1].x + pts[np - 2].x) >> 1, (pts[np - 1].y + pts[np - 2].y) >> 1};
    Geo_ReflectPoint(&pts[np - 1], &mid, f);
}

i32 DM_DefaultModuleCount(i32 layoutClass, i32 rows) {
    switch (layoutClass) {
        case -1: return rows != 0 ? 10 : 16;
        case 0: return rows != 0 ? 8 : 20;
        case 1: return 16;
        case 2:
        case 4: return 19;
        case 6: return 20;
        default: return 0;
    }
}

i32 DM_SampleTimingBand(u8 *image, GEO_POINT a, GEO_POINT b, GEO_POINT c, GEO_POINT d, const u8 **band) {
    i32 *sums = reinterpret_cast<i32 *>(Scratch(kDmBandSumsOffset));
    u8 *out = Scratch(kDmTimingSamplesOffset);
    u8 *line = Scratch(kDmDiagonalSamplesOffset);
    if (band != nullptr) *band = out;
    if (sums == nullptr || g_image.width > kDmLineSamples) return -1;
    std::memset(sums, 0, kDmLineSamples * sizeof(i32));
    i32 n = 0;
    for (i32 i = 0; i < 3; ++i) {
        GEO_POINT p{}, q{};
        Geo_StepTowardsRound(&a, &c, i, &p);
        Geo_StepTowardsRound(&b, &d, i, &q);
        n = Geo_SampleLineSorted(image, &p, &q, line);
        for (i32 k = 0; k < n; ++k) sums[k] += line[k];
    }
    i32 largest = 0;
    for (i32 k = 0; k < n; ++k) largest = sums[k] > largest ? sums[k] : largest;
    if (n <= 0 || largest == 0) return -1;
    for (i32 k = 0; k < n; ++k) out[k] = static_cast<u8>(static_cast<i64>(sums[k]) * 255 / largest);
    return n;
}

i32 DM_RunAmplitudes(const u8 *p, i32 n, i32 *out, i32 capacity) {
    i32 count = 0;
    DM_ForEachRun(p, n, [&](i32, i32, i32 amp, bool) {
        if (count < capacity && out != nullptr) out[count++] = amp;
    });
    return count;
}

i32 DM_NthLargest(const i32 *v, i32 n, i32 k) {
    // The k + 1 largest values, kept in descending order: k is small.
    constexpr i32 kMaxRank = 8;
    if (v == nullptr || k < 0 || k >= kMaxRank || n <= k) return 0;
    i32 top[kMaxRank];
    i32 held = 0;
    for (i32 i = 0; i < n; ++i) {
        if (held == k + 1 && v[i] <= top[k]) continue;
        i32 at = held < k + 1 ? held++ : k;
        while (at > 0 && top[at - 1] < v[i]) {
            top[at] = top[at - 1];
            --at;
        }
        top[at] = v[i];
    }
    return top[k];
}

void DM_VoteModuleCounts(const i32 *edges, i32 count, i32 n, i32 hist[100]) {
    for (i32 i = 1; edges != nullptr && hist != nullptr && i < count; ++i) {
        for (i32 j = 1; j <= 5 && j <= i; ++j) {
            const i64 d = static_cast<i64>(edges[i]) - edges[i - j];
            if (d <= 0) continue;
            const i64 v = (2000ll * j * n + 24 * d) / (100 * d);
            if (v >= 8 && v <= 89) ++hist[v];
        }
    }
}

i32 DM_WinnerOfVotes(const i32 hist[100], i32 *peak) {
    i32 w = 0, best = 0;
    for (i32 k = 1; k < kVoteBins; ++k) {
        if (hist[k] > best) {
            best = hist[k];
            w = k;
        }
    }
    if (peak != nullptr) *peak = best;
    if (w > 26 && w + 1 < kVoteBins && (w & 1) == 0) {
        const i32 l = hist[w - 1], r = hist[w + 1];
        if (l > r && 2 * l > best) {
            --w;
        } else if (r > l && 2 * r > best) {
            ++w;
        }
    }
    return w;
}

i32 DM_SecondTryStep(i32 winner, i32 peak, i32 minStep) {
    return winner > 2 * peak && minStep > 15 ? minStep * 4 / 3 : 0;
}

i32 DM_EstimateModuleCount(const u8 *p, i32 n, i32 *count) {
    i32 *amps = reinterpret_cast<i32 *>(Scratch(kDmCountScratchOffset));
    if (p == nullptr || count == nullptr || amps == nullptr || n <= 0) return 0;
    const i32 runs = DM_RunAmplitudes(p, n < kDmLineSamples ? n : kDmLineSamples, amps, kDmLineSamples);
    const i32 a = DM_NthLargest(amps, runs, 3);
    if (a == 0) return 0;
    i32 m = a / 4 > g_noiseThreshold ? a / 4 : g_noiseThreshold;
    i32 w = 0;
    i32 peak = RunVotes(p, n, m, &w);
    const i32 m2 = DM_SecondTryStep(w, peak, m);
    if (m2 != 0) peak = RunVotes(p, n, m2, &w);
    *count = w;
    return peak;
}

i32 DM_CountModules(u8 *image, DM_GEOMETRY *geo) {
    if (geo == nullptr || geo->regionRows < 1 || geo->regionRows >= kDmLatticeSide || !ClassInTable(geo->layoutClass))
        return -5;
    const i32 k = geo->regionRows;
    const GEO_POINT tl = geo->lattice[k - 1][0], tr = geo->lattice[k - 1][1];
    const GEO_POINT bl = geo->lattice[k][0], br = geo->lattice[k][1];
    const i32 ci = ClassIndex(geo->layoutClass);
    const u8 *band = nullptr;
    i32 n = DM_SampleTimingBand(image, tl, tr, bl, br, &band);
    const i32 votesC = n > 0 ? DM_EstimateModuleCount(band, n, &geo->moduleCols) : -1;
    enum { kPassed, kFailLow, kFailHigh } cols = kPassed;
    if (geo->moduleCols > kMaxModuleCount) {
        cols = kFailHigh;
    } else if (geo->moduleCols <= kMinModuleCount || 2 * votesC < kColsMinVotes[ci]) {
        cols = kFailLow;
    }
    if (cols != kPassed) geo->moduleCols = 0;
    n = DM_SampleTimingBand(image, tr, br, tl, bl, &band);
    const i32 votesR = n > 0 ? DM_EstimateModuleCount(band, n, &geo->moduleRows) : -1;
    if (geo->moduleRows > kMaxModuleCount || geo->moduleRows <= kMinModuleCount || 2 * votesR < kRowsMinVotes[ci]) {
        if (cols == kFailLow) return -5;
        if (cols == kFailHigh) return -3;
        geo->moduleRows = geo->moduleCols;
    }
    return DM_SnapSymbolSize(geo);
}

i32 DM_SnapSymbolSize(DM_GEOMETRY *geo) {
    if (geo == nullptr) return -2;
    i32 rows = geo->moduleRows - 2, cols = geo->moduleCols - 2;
    geo->moduleRows = rows;
    geo->moduleCols = cols;
    const i32 cls = geo->layoutClass;
    const i32 d = rows > cols ? rows - cols : cols - rows;
    if (cls > 0) {
        if (d > 3) return -2;
        if (d == 3) rows = cols = rows > cols ? rows : cols;
    }
    if (cls == 2 || cls == 4 || cls == 6) {
        EvenSquare(&rows, &cols);
        geo->moduleRows = rows;
        geo->moduleCols = cols;
        const bool fits = cls == 6 ? rows >= 18 && rows <= 22 : rows >= 14 && rows <= 24;
        if (!fits) return -2;
        if (!InSizeRange(rows, cols)) return -1;
        geo->regionRows = geo->regionCols = cls;
        return 0;
    }
    if (cls == kDmLayoutSquare1) return SnapSquareOfOne(geo, rows, cols);
    if (cls == kDmLayoutRectangle) return SnapRectangle(geo, rows, cols);
    if (cls == kDmLayoutWideRectangle) return SnapWideRectangle(geo, rows, cols);
    return -2;
}

}  // namespace vexo

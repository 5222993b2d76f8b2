#include "linear_image/lineimg_grouping.h"

#include "core/pixel.h"
#include "linear_image/lineimg_finder_scratch.h"
#include "toolkit/geometry_points.h"
#include "toolkit/profile.h"
#include "toolkit/quad.h"
#include "toolkit/sampling.h"

namespace vexo {

static_assert(sizeof(GROUP_WORK) <= static_cast<size_t>(kFinderScratchBytes));

namespace {

// Points along a band's sides for the end-line fits.
constexpr i32 kFitSpacing = 20;
// Bar lengths kept in a cluster: 0.8 to 1.5 times their mean.
constexpr f64 kShortestBar = 0.8;
constexpr f64 kLongestBar = 1.5;
// End trim: samples and edges of a look, the margin left beyond the last bar, and the gap
// (times the widest inside) that marks an edge as lying beyond the symbol.
constexpr i32 kTrimSamples = 512;
constexpr i32 kTrimEdges = 128;
constexpr i32 kTrimRatio = 102;
constexpr i32 kTrimMinStep = 6;
constexpr i32 kTrimMargin = 40;
constexpr f64 kTrimGap = 1.5;


GROUP_WORK *Work() { return reinterpret_cast<GROUP_WORK *>(LineImg_FinderScratch(0, sizeof(GROUP_WORK))); }

i64 Abs64(i64 v) { return v < 0 ? -v : v; }

i64 FirstSideExtent(const REGION_QUAD &q) {
    const i64 dx = Abs64(static_cast<i64>(q.c[0].x) - q.c[1].x);
    const i64 dy = Abs64(static_cast<i64>(q.c[0].y) - q.c[1].y);
    return dx > dy ? dx : dy;
}

int ContainedVerdict(const REGION_QUAD *a, const REGION_QUAD *b, i32 needed) {
    const bool aSmaller = FirstSideExtent(*a) < FirstSideExtent(*b);
    const REGION_QUAD &small = aSmaller ? *a : *b;
    const REGION_QUAD &large = aSmaller ? *b : *a;
    i32 inside = 0;
    for (const GEO_POINT &c : small.c) inside += Geo_PointInQuad(&c, &large);
    if (inside < needed) return 0;
    return aSmaller ? 1 : 2;
}

// Points every kFitSpacing pixels along p -> q (below its rounded length) appended to the
// list; false when the list is full.
bool AddSidePoints(GEO_POINT p, GEO_POINT q, POINT_NODE *points, i32 *n) {
    const i32 length = LineImg_RoundedDistance(p, q);
    for (i32 d = kFitSpacing; d < length; d += kFitSpacing) {
        if (*n >= kFitPoints) return false;
        GEO_POINT at;
        Geo_StepTowards(&p, &q, &at, d);
        points[*n] = POINT_NODE{at.x, at.y, nullptr};
        if (*n > 0) points[*n - 1].next = &points[*n];
        ++*n;
    }
    return true;
}

// The line fitted to the first sides (side 0: corners 0 -> 1) or the last sides (corners
// 2 -> 3) of the bands.
int FitSides(const REGION_QUAD *bands, i32 count, i32 side, i32 orientation, POINT_NODE *points, LINE_FIT *out) {
    i32 n = 0;
    const i32 from = side == 0 ? 0 : 2;
    for (i32 i = 0; i < count && AddSidePoints(bands[i].c[from], bands[i].c[from + 1], points, &n); ++i) {
    }
    return Geo_FitLineToPointList(points, n, out, orientation != 0 ? 1 : 0);
}

i64 BandKey(const REGION_QUAD &q, i32 orientation) {
    return orientation != 0 ? static_cast<i64>(q.c[0].x) + q.c[2].x : static_cast<i64>(q.c[0].y) + q.c[2].y;
}

REGION_QUAD FrameRect() {
    const i32 w = g_image.width - 1;
    const i32 h = g_image.height - 1;
    return REGION_QUAD{{{0, 0}, {w, 0}, {0, h}, {w, h}}};
}

bool InImage(GEO_POINT p) { return p.x >= 0 && p.y >= 0 && p.x < g_image.width && p.y < g_image.height; }

// Bar length of a band: its extent along its segment.
i64 BarLength(const REGION_QUAD &q, i32 orientation) {
    return orientation != 0 ? Abs64(static_cast<i64>(q.c[2].y) - q.c[0].y)
                            : Abs64(static_cast<i64>(q.c[2].x) - q.c[0].x);
}

}  // namespace

i32 LineImg_KeepConsistentBars(REGION_QUAD *bars, i32 count, i32 orientation) {
    if (bars == nullptr || count <= 0) return 0;
    i64 sum = 0;
    for (i32 i = 0; i < count; ++i) sum += BarLength(bars[i], orientation);
    const i64 mean = sum / count;
    const i64 lo = static_cast<i64>(kShortestBar * static_cast<f64>(mean) + 0.5);
    const i64 hi = static_cast<i64>(kLongestBar * static_cast<f64>(mean) + 0.5);
    for (i32 i = 0; i < count;) {
        const i64 length = BarLength(bars[i], orientation);
        if (length >= lo && length <= hi) {
            ++i;
            continue;
        }
        bars[i] = bars[--count];
        i = 0;
    }
    return count;
}

namespace {

// Distance from P (one bar length in from the end point m towards n) to 40 pixels beyond the
// outermost bar; -1 when the inside shows fewer than 3 rising edges.
i32 EndDistance(GEO_POINT m, GEO_POINT n, i32 barLength) {
    u8 samples[kTrimSamples];
    i32 edges[kTrimEdges];
    GEO_POINT p, q;
    Geo_StepTowards(&m, &n, &p, barLength);
    Geo_ReflectPoint(&p, &m, &q);
    i32 count = Geo_SampleLine(g_image.data, &p, &q, samples, kTrimSamples);
    i32 found = Prof_FindRisingEdges(samples, count, kTrimRatio, kTrimMinStep, edges, kTrimEdges);
    if (found < 3) return -1;
    i32 widest = 0;
    for (i32 k = 1; k < found; ++k)
        if (edges[k] - edges[k - 1] > widest) widest = edges[k] - edges[k - 1];
    count = Geo_SampleLine(g_image.data, &p, &m, samples, kTrimSamples);
    found = Prof_FindRisingEdges(samples, count, kTrimRatio, kTrimMinStep, edges, kTrimEdges);
    if (found < 2) return kTrimMargin;
    const i32 limit = static_cast<i32>(kTrimGap * widest + 0.5);
    for (i32 k = found - 1; k >= 1; --k)
        if (edges[k] - edges[k - 1] > limit) return ((edges[k - 1] + 8) >> 4) + kTrimMargin;
    return ((edges[found - 1] + 8) >> 4) + kTrimMargin;
}

}  // namespace

int LineImg_ContainedAll4(const REGION_QUAD *a, const REGION_QUAD *b) { return ContainedVerdict(a, b, 4); }
int LineImg_ContainedAny3(const REGION_QUAD *a, const REGION_QUAD *b) { return ContainedVerdict(a, b, 3); }

i32 LineImg_RemoveContained(REGION_QUAD *items, i32 count, QuadVerdictFn verdict) {
    if (items == nullptr || verdict == nullptr) return 0;
    // Each restart follows a removal.
    for (i32 i = 0; i < count; ++i) {
        for (i32 k = 0; k < count; ++k) {
            if (k == i) continue;
            const int v = verdict(&items[i], &items[k]);
            if (v != 1 && v != 2) continue;
            items[v == 1 ? i : k] = items[--count];
            i = -1;
            break;
        }
    }
    return count;
}

int LineImg_QuadFromBands(const REGION_QUAD *bands, i32 count, REGION_QUAD *quad, i32 orientation) {
    GROUP_WORK *w = Work();
    if (bands == nullptr || quad == nullptr || count < 1 || w == nullptr) return 0;
    LINE_FIT first, second;
    if (FitSides(bands, count, 0, orientation, w->fit.points, &first) == 0 ||
        FitSides(bands, count, 2, orientation, w->fit.points, &second) == 0) {
        return 0;
    }
    i32 lo = 0;
    i32 hi = 0;
    for (i32 i = 1; i < count; ++i) {
        if (BandKey(bands[i], orientation) < BandKey(bands[lo], orientation)) lo = i;
        if (BandKey(bands[i], orientation) > BandKey(bands[hi], orientation)) hi = i;
    }
    LINE_FIT near, far;
    Geo_LineThroughPoints(&bands[lo].c[0], &bands[lo].c[2], &near);
    Geo_LineThroughPoints(&bands[hi].c[1], &bands[hi].c[3], &far);
    GEO_POINT meet;
    // Side lines that cross inside the image frame no symbol.
    if (Geo_IntersectLineFits(&first, &second, &meet) != 0 && InImage(meet)) return 0;
    REGION_QUAD q;
    if (Geo_IntersectLineFits(&first, &near, &q.c[0]) == 0 || Geo_IntersectLineFits(&second, &near, &q.c[2]) == 0 ||
        Geo_IntersectLineFits(&first, &far, &q.c[1]) == 0 || Geo_IntersectLineFits(&second, &far, &q.c[3]) == 0) {
        return 0;
    }
    const REGION_QUAD frame = FrameRect();
    Geo_FitQuadToFrame(&q, &frame);
    *quad = q;
    return 1;
}

int LineImg_TryJoinQuads(REGION_QUAD *a, const REGION_QUAD *b, i32 orientation) {
    if (a == nullptr || b == nullptr) return 0;
    GEO_POINT a1, a2, b1, b2;
    Geo_Midpoint(&a->c[0], &a->c[2], &a1);
    Geo_Midpoint(&a->c[1], &a->c[3], &a2);
    Geo_Midpoint(&b->c[0], &b->c[2], &b1);
    Geo_Midpoint(&b->c[1], &b->c[3], &b2);
    const bool continues = (Geo_PointInQuad(&b1, a) != 0 && Geo_PointInQuad(&a2, b) != 0) ||
                           (Geo_PointInQuad(&a1, b) != 0 && Geo_PointInQuad(&b2, a) != 0);
    if (!continues) return 0;
    const REGION_QUAD pair[2] = {*a, *b};
    REGION_QUAD joined;
    if (LineImg_QuadFromBands(pair, 2, &joined, orientation) == 0) return 0;
    *a = joined;
    return 1;
}

int LineImg_TryExtendQuad(REGION_QUAD *a, const REGION_QUAD *b) {
    if (a == nullptr || b == nullptr) return 0;
    const bool aInB = Geo_PointInQuad(&a->c[0], b) != 0 && Geo_PointInQuad(&a->c[2], b) != 0;
    const bool bInA = Geo_PointInQuad(&b->c[0], a) != 0 && Geo_PointInQuad(&b->c[2], a) != 0;
    if (!aInB && !bInA) return 0;
    GEO_POINT top, bottom;
    if (Geo_IntersectLines64(&a->c[0], &a->c[2], &b->c[0], &b->c[1], &top) == 0 ||
        Geo_IntersectLines64(&a->c[0], &a->c[2], &b->c[2], &b->c[3], &bottom) == 0) {
        return 0;
    }
    *a = *b;
    return 1;
}

i32 LineImg_MergeQuads(REGION_QUAD *quads, i32 count, i32 orientation, MERGE_RULES rules) {
    if (quads == nullptr) return 0;
    // Each restart follows a join, which removes one quadrilateral.
    for (i32 a = 0; a < count; ++a) {
        for (i32 b = 0; b < count; ++b) {
            if (b == a) continue;
            const bool merged = (rules.join != 0 && LineImg_TryJoinQuads(&quads[a], &quads[b], orientation) != 0) ||
                                (rules.extend != 0 && LineImg_TryExtendQuad(&quads[a], &quads[b]) != 0);
            if (!merged) continue;
            quads[b] = quads[--count];
            a = -1;
            break;
        }
    }
    return count;
}

i32 LineImg_DropInvertedQuads(REGION_QUAD *quads, i32 count, i32 orientation) {
    if (quads == nullptr) return 0;
    for (i32 i = 0; i < count;) {
        const GEO_POINT *c = quads[i].c;
        const bool inverted = orientation != 0 ? c[2].y < c[0].y : c[0].x < c[2].x;
        if (inverted) {
            quads[i] = quads[--count];
        } else {
            ++i;
        }
    }
    return count;
}

void LineImg_TrimQuadEnds(REGION_QUAD *quad) {
    if (quad == nullptr || g_image.data == nullptr) return;
    GEO_POINT *c = quad->c;
    const i32 barLength = LineImg_RoundedDistance(c[0], c[2]);
    GEO_POINT m1, m2;
    Geo_Midpoint(&c[0], &c[2], &m1);
    Geo_Midpoint(&c[1], &c[3], &m2);
    const i32 nearEnd = EndDistance(m1, m2, barLength);
    if (nearEnd < 0) return;
    const i32 farEnd = EndDistance(m2, m1, barLength);
    if (farEnd < 0) return;
    GEO_POINT inner[4];
    Geo_StepTowards(&c[0], &c[1], &inner[0], barLength);
    Geo_StepTowards(&c[2], &c[3], &inner[2], barLength);
    Geo_StepTowards(&c[1], &c[0], &inner[1], barLength);
    Geo_StepTowards(&c[3], &c[2], &inner[3], barLength);
    REGION_QUAD trimmed;
    Geo_StepTowards(&inner[0], &c[0], &trimmed.c[0], nearEnd);
    Geo_StepTowards(&inner[2], &c[2], &trimmed.c[2], nearEnd);
    Geo_StepTowards(&inner[1], &c[1], &trimmed.c[1], farEnd);
    Geo_StepTowards(&inner[3], &c[3], &trimmed.c[3], farEnd);
    *quad = trimmed;
}

i32 LineImg_GroupSegments(REGION_QUAD *out, i32 capacity, i32 orientation) {
    GROUP_WORK *w = Work();
    SEGMENT_STORE &store = g_segmentStore;
    if (w == nullptr || out == nullptr || capacity <= 0) return 0;
    if (store.count < 0 || store.count > kSegmentCapacity) store.count = 0;
    if (orientation == 0) {
        // Flat bars are built as upright ones turned a quarter turn: first end on the right.
        for (i32 i = 0; i < store.count; ++i) {
            LINE_SEGMENT &s = store.seg[i];
            const GEO_POINT e0 = {s.x1, s.y1};
            const GEO_POINT e1 = {s.x0, s.y0};
            s.x0 = e0.x;
            s.y0 = e0.y;
            s.x1 = e1.x;
            s.y1 = e1.y;
            for (i32 k = 0; k < 4; ++k) {
                const i16 t = s.endBox[k];
                s.endBox[k] = s.endBox[k + 4];
                s.endBox[k + 4] = t;
            }
        }
    }
    const i32 bands = LineImg_BuildBands(&store, orientation, w->bands, w->segmentOf, kBandCapacity);
    const i32 clusters = LineImg_ClusterBands(w->bands, bands, &w->clusters, &w->shapes);
    i32 n = 0;
    for (i32 k = 0; k < clusters && n < kGroupCandidateCapacity; ++k) {
        const INDEX_RANGE r = w->clusters.cluster[k];
        i32 m = 0;
        for (i32 j = r.start; j <= r.end && m < kClusterWorkingMembers; ++j) w->fit.working[m++] = w->bands[w->clusters.member[j]];
        m = LineImg_RemoveContained(w->fit.working, m, LineImg_ContainedAll4);
        m = LineImg_KeepConsistentBars(w->fit.working, m, orientation);
        if (m <= 1) continue;
        if (LineImg_QuadFromBands(w->fit.working, m, &w->candidates[n], orientation) != 0) ++n;
    }
    n = LineImg_MergeQuads(w->candidates, n, orientation, MERGE_RULES{1, 0});
    n = LineImg_DropInvertedQuads(w->candidates, n, orientation);
    n = LineImg_RemoveContained(w->candidates, n, LineImg_ContainedAny3);
    const GEO_POINT centre = {g_image.width / 2, g_image.height / 2};
    for (i32 i = 0; i < n; ++i) {
        LineImg_TrimQuadEnds(&w->candidates[i]);
        i64 sx = 0;
        i64 sy = 0;
        for (const GEO_POINT &c : w->candidates[i].c) {
            sx += c.x;
            sy += c.y;
        }
        w->keys[i] = LineImg_RoundedDistance(centre, GEO_POINT{static_cast<i32>(sx >> 2), static_cast<i32>(sy >> 2)});
        w->order[i] = i;
    }
    Geo_PartialSortPairs(w->keys, n, n, w->order, 0);
    const i32 written = n < capacity ? n : capacity;
    for (i32 i = 0; i < written; ++i) {
        const REGION_QUAD &q = w->candidates[w->order[i]];
        out[i] = orientation != 0 ? q : REGION_QUAD{{q.c[3], q.c[2], q.c[1], q.c[0]}};
    }
    return written;
}

}  // namespace vexo

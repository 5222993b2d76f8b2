#include "linear_image/lineimg_finder.h"

#include "core/arena.h"
#include "core/pixel.h"
#include "linear_image/lineimg_finder_scratch.h"
#include "linear_image/lineimg_grouping.h"
#include "linear_image/lineimg_segments.h"
#include "toolkit/geometry_points.h"
#include "toolkit/matrix.h"
#include "toolkit/profile.h"
#include "toolkit/sampling.h"

namespace vexo {

LINEIMG_FINDER g_finder;

namespace {

constexpr i32 kRows = 1;
constexpr i32 kColumns = 0;
constexpr i32 kPairCap = 256;
constexpr i32 kColumnEdgeCap = 128;
constexpr i32 kPairTolerance = 70;
constexpr i32 kPairMinRun = 4;
constexpr i32 kLineGap = 4;       // the two lines of a pair
constexpr i32 kMinSpan = 27;      // a pass needs more than this along its lines
constexpr i32 kMinDepth = 6;      // and more than this across them
constexpr i32 kMinEdges = 7;
constexpr i32 kFilterBorder = 16;
constexpr i32 kFilterWindow = 8;
constexpr i32 kDefaultRatio = 106;
constexpr i32 kDefaultMinStep = 6;
constexpr i32 kCompanionMin = 8;
constexpr i32 kCompanionMax = 14;
// The column pass's five arrays lie at the start of the finder's block, its tracer behind them.
constexpr i32 kColumnArrayBytes = kPairCap * static_cast<i32>(sizeof(i32));
static_assert(5 * kColumnArrayBytes == kTraceScratchColumns);
static_assert(kTraceScratchColumns + kTraceScratchBytes <= kTraceScratchRefit);
static_assert(kTraceScratchRefit + kTraceScratchBytes <= kFinderScratchBytes);

// The step to the next pair: long segments mean tall bars, so fewer pairs are needed.
i32 NextStep(i32 mean) { return mean >= 32 ? 16 : (mean >= 16 ? 8 : 4); }

i32 Round(f64 v) { return static_cast<i32>(v + 0.5); }

struct BOX {
    i32 left, right, top, bottom;
};

// The region as a box, kept 4 pixels inside the frame (the passes read past it unchecked).
BOX ClipBox(const REGION_QUAD *r) {
    const i32 w = Pix_GetImageWidth();
    const i32 h = Pix_GetImageHeight();
    BOX b{r->c[0].x, r->c[1].x, r->c[0].y, r->c[2].y};
    const auto clamp = [](i32 v, i32 lo, i32 hi) { return v < lo ? lo : (v > hi ? hi : v); };
    b.left = clamp(b.left, kLineGap, w - 1 - kLineGap);
    b.right = clamp(b.right, kLineGap, w - 1 - kLineGap);
    b.top = clamp(b.top, kLineGap, h - 1 - kLineGap);
    b.bottom = clamp(b.bottom, kLineGap, h - 1 - kLineGap);
    return b;
}

// What both passes start from: the clipped box, the span of their lines (0 when the box is
// too small for the pass) and the region's edge thresholds.
struct PASS_START {
    BOX b;
    i32 span;
    i32 ratio;
    i32 minStep;
    const u8 *image;
    i32 stride;
};

bool StartPass(const REGION_QUAD *region, bool columns, PASS_START *p) {
    p->b = ClipBox(region);
    const BOX &b = p->b;
    p->span = columns ? b.bottom - b.top + 1 : b.right - b.left + 1;
    const i32 depth = columns ? b.right - b.left : b.bottom - b.top;
    p->image = Pix_GetImagePointer();
    p->stride = Pix_GetImageWidth();
    if (p->span <= kMinSpan || depth <= kMinDepth || p->image == nullptr) return false;
    u32 ratio = kDefaultRatio;
    u32 minStep = kDefaultMinStep;
    Prof_EstimateQuadThresholds(region, &ratio, &minStep);
    p->ratio = static_cast<i32>(ratio);
    p->minStep = static_cast<i32>(minStep);
    return true;
}

int TracePair(EDGE_PAIRING *e, i32 lineStart, i32 scratch, i32 *meanOut, bool columns) {
    if (meanOut != nullptr) *meanOut = 0;
    Geo_MatchPositionRuns(e);
    if (e->matchCount < 2) return 0;
    if (g_segmentStore.count >= kSegmentCapacity) {
        g_finder.full = 1;
        return 0;
    }
    i32 mean = 0;
    const int r = columns ? LineImg_BuildColumnSegments(e, &g_segmentStore, &mean, lineStart, scratch)
                          : LineImg_BuildRowSegments(e, &g_segmentStore, &mean, lineStart, scratch);
    if (meanOut != nullptr) *meanOut = mean;
    return r;
}

// Appends above each long, low quadrilateral in the central box one of its size.
i32 AddCompanions(REGION_QUAD *out, i32 n, i32 capacity) {
    REGION_QUAD central;
    LineImg_CentralBox(&central);
    i32 total = n;
    for (i32 i = 0; i < n && total < capacity; ++i) {
        const REGION_QUAD &q = out[i];
        bool inside = true;
        for (const POINT_I32 &c : q.c) inside = inside && Geo_PointInQuad(&c, &central) != 0;
        if (!inside) continue;
        const i32 a = Round(Geo_Distance(q.c[0].x, q.c[0].y, q.c[1].x, q.c[1].y));
        const i32 h = Round(Geo_Distance(q.c[0].x, q.c[0].y, q.c[2].x, q.c[2].y));
        if (h <= 0) continue;
        const i32 ratio = static_cast<i32>(static_cast<f32>(a) / static_cast<f32>(h) + 0.5f);
        if (ratio < kCompanionMin || ratio > kCompanionMax) continue;
        REGION_QUAD c{};
        Geo_StepTowards(&q.c[0], &q.c[2], &c.c[0], -h);
        Geo_StepTowards(&q.c[1], &q.c[3], &c.c[1], -h);
        c.c[2] = q.c[0];
        c.c[3] = q.c[1];
        out[total++] = c;
    }
    return total;
}

}  // namespace

void LineImg_CentralBox(REGION_QUAD *box) {
    const i32 w = Pix_GetImageWidth();
    const i32 h = Pix_GetImageHeight();
    const i32 dx = static_cast<i32>(0.4 * w);
    const i32 dy = static_cast<i32>(0.4 * h);
    box->c[0] = {w / 2 - dx, h / 2 - dy};
    box->c[1] = {w / 2 + dx, h / 2 - dy};
    box->c[2] = {w / 2 - dx, h / 2 + dy};
    box->c[3] = {w / 2 + dx, h / 2 + dy};
}

int LineImg_TraceRowPair(EDGE_PAIRING *pairing, i32 lineStart, i32 scratch, i32 *meanOut) {
    return TracePair(pairing, lineStart, scratch, meanOut, false);
}

int LineImg_TraceColumnPair(EDGE_PAIRING *pairing, i32 lineStart, i32 scratch, i32 *meanOut) {
    return TracePair(pairing, lineStart, scratch, meanOut, true);
}

void LineImg_FilterSegments(i32 orientation, i32) {
    const u8 *image = Pix_GetImagePointer();
    const i32 w = Pix_GetImageWidth();
    const i32 h = Pix_GetImageHeight();
    SEGMENT_STORE &s = g_segmentStore;
    if (s.count > kSegmentCapacity) s.count = kSegmentCapacity;
    i32 guard = 2 * kSegmentCapacity + 2;
    for (i32 i = 0; i < s.count && guard-- > 0;) {
        const LINE_SEGMENT &g = s.seg[i];
        bool keep = g.midX >= kFilterBorder && g.midX < w - kFilterBorder && g.midY >= kFilterBorder &&
                    g.midY < h - kFilterBorder && image != nullptr;
        if (keep) {
            i32 edges[kFilterWindow];
            // The midpoint is at least 16 pixels inside, so the 8 pixels around it are too.
            const i32 n = orientation == kRows
                              ? Prof_FindFallingEdges(image + static_cast<i64>(g.midY) * w + g.midX - kFilterWindow / 2,
                                                      kFilterWindow, kDefaultRatio, kDefaultMinStep, edges, kFilterWindow)
                              : Prof_FindColumnFallingEdges(image + static_cast<i64>(g.midY - kFilterWindow / 2) * w + g.midX,
                                                            kFilterWindow, kDefaultRatio, kDefaultMinStep, edges,
                                                            kFilterWindow);
            keep = n > 0;
        }
        if (keep) {
            ++i;
            continue;
        }
        s.seg[i] = s.seg[s.count - 1];
        --s.count;
    }
}

i32 LineImg_RowPass(const REGION_QUAD *region, REGION_QUAD *out, i32 capacity) {
    if (region == nullptr || out == nullptr || capacity <= 0) return 0;
    PASS_START p;
    if (!StartPass(region, false, &p)) return 0;
    const BOX &b = p.b;
    const i32 width = p.span;
    const u8 *image = p.image;
    const i32 stride = p.stride;
    void *arrays[5];
    for (void *&p : arrays) p = Mem_Alloc(kPairCap * static_cast<i32>(sizeof(i32)));
    if (Mem_AllNonNull(arrays, 5) == 0) {
        Mem_FreeList(arrays, 5);
        return 0;
    }
    i32 *posA = static_cast<i32 *>(arrays[0]);
    i32 *posB = static_cast<i32 *>(arrays[1]);
    const i32 r = p.ratio;
    const i32 m = p.minStep;
    for (i32 y = b.top + kLineGap; y < b.bottom;) {
        const i32 na = Prof_FindFallingEdges(image + static_cast<i64>(y) * stride + b.left, width, r, m, posA, kPairCap);
        const i32 nb = na < kMinEdges ? 0
                                      : Prof_FindFallingEdges(image + static_cast<i64>(y + kLineGap) * stride + b.left,
                                                              width, r, m, posB, kPairCap);
        if (nb < kMinEdges) {
            y += 16;
            continue;
        }
        EDGE_PAIRING e{kPairTolerance, kPairCap, kPairMinRun, na, nb, posA, posB, static_cast<i32 *>(arrays[2]), 0,
                       static_cast<i32 *>(arrays[3]), static_cast<i32 *>(arrays[4]), 0, y, y + kLineGap};
        i32 mean = 0;
        LineImg_TraceRowPair(&e, b.left, kTraceScratchRows, &mean);
        y += NextStep(mean);
        if (g_finder.full != 0) break;
    }
    LineImg_FilterSegments(kRows, kTraceScratchRows);
    i32 n = 0;
    if (g_finder.count < kFinderQuadCap) {
        n = LineImg_GroupSegments(out, capacity, kRows);
        if (n > 0 && n < capacity) n = AddCompanions(out, n, capacity);
    }
    Mem_FreeList(arrays, 5);
    return n;
}

i32 LineImg_ColumnPass(const REGION_QUAD *region, REGION_QUAD *out, i32 capacity) {
    if (region == nullptr || out == nullptr || capacity <= 0) return 0;
    PASS_START p;
    if (!StartPass(region, true, &p)) return 0;
    u8 *block = LineImg_FinderScratch(0, 5 * kColumnArrayBytes);
    if (block == nullptr) return 0;
    const BOX &b = p.b;
    const i32 height = p.span;
    const u8 *image = p.image;
    const i32 stride = p.stride;
    i32 *arrays[5];
    for (i32 k = 0; k < 5; ++k) arrays[k] = reinterpret_cast<i32 *>(block + k * kColumnArrayBytes);
    const i32 r = p.ratio;
    const i32 m = p.minStep;
    for (i32 x = b.left + kLineGap; x < b.right;) {
        const u8 *first = image + static_cast<i64>(b.top) * stride;
        const i32 na = Prof_FindColumnFallingEdges(first + x, height, r, m, arrays[0], kColumnEdgeCap);
        const i32 nb =
            na < kMinEdges ? 0 : Prof_FindColumnFallingEdges(first + x + kLineGap, height, r, m, arrays[1], kColumnEdgeCap);
        if (nb < kMinEdges) {
            x += 16;
            continue;
        }
        EDGE_PAIRING e{kPairTolerance, kPairCap, kPairMinRun, na, nb, arrays[0], arrays[1], arrays[2], 0,
                       arrays[3], arrays[4], 0, x, x + kLineGap};
        i32 mean = 0;
        LineImg_TraceColumnPair(&e, b.top, kTraceScratchColumns, &mean);
        x += NextStep(mean);
        if (g_finder.full != 0) break;
    }
    LineImg_FilterSegments(kColumns, kTraceScratchColumns);
    if (g_finder.count >= kFinderQuadCap) return 0;
    return LineImg_GroupSegments(out, capacity, kColumns);
}

i32 LineImg_RowPassAlone(const REGION_QUAD *region, REGION_QUAD *out, i32 capacity) {
    g_finder.full = 0;
    g_segmentStore.count = 0;
    return LineImg_RowPass(region, out, capacity);
}

i32 LineImg_ColumnPassAlone(const REGION_QUAD *region, REGION_QUAD *out, i32 capacity) {
    g_finder.full = 0;
    g_segmentStore.count = 0;
    return LineImg_ColumnPass(region, out, capacity);
}

i32 LineImg_FindQuads(const REGION_QUAD *region) {
    g_finder.count = 0;
    g_finder.full = 0;
    g_segmentStore.count = 0;
    if (region == nullptr) return 0;
    const i32 r = LineImg_RowPass(region, g_finder.quads, kFinderQuadCap);
    for (i32 k = 0; k < r; ++k) g_finder.kinds[k] = kQuadUpright;
    g_finder.count = static_cast<i16>(r);
    g_finder.full = 0;
    g_segmentStore.count = 0;
    const i32 c = r < kFinderQuadCap ? LineImg_ColumnPass(region, g_finder.quads + r, kFinderQuadCap - r) : 0;
    for (i32 k = r; k < r + c; ++k) g_finder.kinds[k] = kQuadFlat;
    g_finder.count = static_cast<i16>(r + c);
    LineImg_ExtendQuadSides(g_finder.quads, g_finder.kinds, g_finder.count);
    g_finder.count = static_cast<i16>(LineImg_SplitQuads(g_finder.quads, g_finder.kinds, g_finder.count));
    return g_finder.count;
}

i32 LineImg_GetQuads(REGION_QUAD *quads, u8 *kinds, i32 capacity) {
    i32 n = g_finder.count < capacity ? g_finder.count : capacity;
    if (n < 0 || quads == nullptr || kinds == nullptr) return 0;
    for (i32 k = 0; k < n; ++k) {
        quads[k] = g_finder.quads[k];
        kinds[k] = g_finder.kinds[k];
    }
    return n;
}

}  // namespace vexo

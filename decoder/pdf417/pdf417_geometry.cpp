#include "pdf417/pdf417_geometry.h"

#include <cmath>
#include <cstring>

#include "core/arena.h"
#include "core/pixel.h"
#include "pdf417/pdf417_rows.h"
#include "pdf417/pdf417_scanline.h"
#include "pdf417/pdf417_state.h"
#include "toolkit/angle_tables.h"
#include "toolkit/geometry_points.h"
#include "toolkit/quad.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kGuardAngleBins = 30;
constexpr i32 kSampleBlock = 440;
constexpr i32 kOffsetCount = 440;
constexpr i32 kRowMaxBins = 104;
constexpr i32 kRowMaxEdges = 105;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }
i32 Max32(i32 a, i32 b) { return a > b ? a : b; }
i32 Min32(i32 a, i32 b) { return a < b ? a : b; }

i32 WrapAngle(i32 a) {
    a %= kAngleSteps;
    return a < 0 ? a + kAngleSteps : a;
}

// Point k of the rasterised segment p-q (k = 0 .. L), as the toolkit's rasterisers walk it.
GEO_POINT WalkPoint(GEO_POINT p, GEO_POINT q, i64 L, i64 k) {
    const i64 dx = static_cast<i64>(q.x) - p.x;
    const i64 dy = static_cast<i64>(q.y) - p.y;
    const i64 ox = (2 * k * (dx < 0 ? -dx : dx) + L) / (2 * L);
    const i64 oy = (2 * k * (dy < 0 ? -dy : dy) + L) / (2 * L);
    return GEO_POINT{static_cast<i32>(p.x + (dx < 0 ? -ox : ox)), static_cast<i32>(p.y + (dy < 0 ? -oy : oy))};
}

// Samples the offsets (Geo_SegmentStepPixelOffsets pairs) translated to start; outside pixels
// read 0.
i32 SampleOffsets(GEO_POINT start, const GEO_POINT *offsets, i32 n, u8 *out) {
    const i64 w = g_image.width;
    const i64 h = g_image.height;
    for (i32 j = 0; j < n; ++j) {
        const i64 x = static_cast<i64>(start.x) + offsets[j].x;
        const i64 y = static_cast<i64>(start.y) + (static_cast<i64>(offsets[j].y) - offsets[j].x) / (w > 0 ? w : 1);
        out[j] = (x >= 0 && x < w && y >= 0 && y < h && g_image.data != nullptr) ? g_image.data[y * w + x] : 0;
    }
    return n;
}

// Expected normal angle of the line from v to mid.
i32 NormalAngle(GEO_POINT v, GEO_POINT mid) {
    const i32 base = mid.x - v.x >= 1 ? 0 : 314;
    if (mid.x == v.x) return mid.y - v.y < 1 ? base + 157 : base - 157;
    const f64 slope = (static_cast<f64>(mid.y) - v.y) / (static_cast<f64>(mid.x) - v.x);
    const f64 a = std::fabs(slope);
    if (a >= kPdfVerticalSlope) return slope > 0 ? base + 157 : base - 157;
    if (a <= kPdfFlatSlope) return base;
    return base + static_cast<i32>(100.0 * std::atan(slope));
}

// One Hough vote of the fits: accumulator cells[rho * angles + k], byte counters that stop
// at 255.
struct HOUGH {
    u8 *cells;
    i32 distances;
    i32 angles;
    i32 firstAngle;
    i32 shift;  // 22: quarter pixels; 24: whole pixels
};

void Vote(const HOUGH &h, i64 dx, i64 dy) {
    for (i32 k = 0; k < h.angles; ++k) {
        const i32 a = WrapAngle(h.firstAngle + k);
        const i64 rho = (dy * kAngleSin[a] + dx * kAngleCos[a]) >> h.shift;
        if (rho < 0 || rho >= h.distances) continue;
        u8 &c = h.cells[rho * h.angles + k];
        if (c < 255) ++c;
    }
}

// The (count, bin) pair of every distance, strongest first, in pairs; answers their count.
i32 PeakPairs(const HOUGH &h, GEO_POINT *pairs, i32 capacity) {
    const i32 n = Min32(h.distances, capacity);
    for (i32 r = 0; r < n; ++r) {
        const u8 *row = h.cells + static_cast<i64>(r) * h.angles;
        i32 best = 0;
        for (i32 k = 1; k < h.angles; ++k) {
            if (row[k] > row[best]) best = k;
        }
        pairs[r] = GEO_POINT{row[best], best};
    }
    Geo_ShellSortPointsDesc(pairs, n);
    return n;
}

// The winning angle bin among the `considered` strongest pairs, or -1.
i32 ScorePairs(const GEO_POINT *pairs, i32 n, i32 considered, i32 *score) {
    const i32 m = Min32(n, considered);
    if (m <= 0 || pairs[0].x <= 3) return -1;
    i32 best = -1;
    i32 bestScore = 0;
    for (i32 i = 0; i < m; ++i) {
        const i32 ci = pairs[i].x;
        if (ci <= 3 || 5 * (pairs[0].x - ci) > pairs[0].x) continue;
        i32 s = 100 * ci;
        for (i32 j = 0; j < m; ++j) {
            if (j != i && pairs[j].x > 3) s += 100 * pairs[j].x / (Abs32(pairs[i].y - pairs[j].y) + 1);
        }
        if (best < 0 || s > bestScore) best = i, bestScore = s;
    }
    if (best < 0) return -1;
    if (score != nullptr) *score = bestScore;
    return pairs[best].y;
}

// The distance with the largest count above 3 in column bin (first on ties), or -1.
i32 DistancePeak(const HOUGH &h, i32 bin) {
    i32 best = -1;
    for (i32 r = 0; r < h.distances; ++r) {
        const u8 c = h.cells[static_cast<i64>(r) * h.angles + bin];
        if (c > 3 && (best < 0 || c > h.cells[static_cast<i64>(best) * h.angles + bin])) best = r;
    }
    return best;
}

void LineThrough(GEO_POINT p, GEO_POINT q, SLOPE_LINE *line) {
    f64 intercept = 0;
    Geo_SlopeAndInterceptFromPoints(p, q, line, &intercept);
    line->intercept = intercept;
}

// Blocks of a fit, given back newest first.
struct FIT_BLOCKS {
    u8 *cells;
    u8 *samples;
    GEO_POINT *offsets;
    bool Take(i32 cellBytes) {
        cells = Mem_Alloc(cellBytes);
        samples = cells != nullptr ? Mem_Alloc(kSampleBlock) : nullptr;
        offsets = samples != nullptr ? Mem_AllocArray<GEO_POINT>(kOffsetCount) : nullptr;
        if (offsets == nullptr) {
            Release();
            return false;
        }
        std::memset(cells, 0, static_cast<size_t>(cellBytes));
        std::memset(samples, 0, kSampleBlock);
        std::memset(offsets, 0, kOffsetCount * sizeof(GEO_POINT));
        return true;
    }
    void Release() {
        if (offsets != nullptr) Mem_Free(offsets);
        if (samples != nullptr) Mem_Free(samples);
        if (cells != nullptr) Mem_Free(cells);
        cells = samples = nullptr;
        offsets = nullptr;
    }
};

bool ImageUsable() { return g_image.data != nullptr && g_image.width > 0 && g_image.height > 0; }

}  // namespace

int PDF_FitGuardLine(GEO_POINT p, GEO_POINT q, i32 width16, i32 minStep, SLOPE_LINE *line, i32 *score) {
    if (line == nullptr || !ImageUsable()) return 0;
    FIT_BLOCKS b{};
    if (!b.Take(kPdfGuardAccumulator)) return 0;
    if (score != nullptr) *score = 0;
    const i64 L = Max32(Abs32(q.x - p.x), Abs32(q.y - p.y));
    if (L <= 1 || 3 * static_cast<i64>(width16) > g_image.width || width16 < 0) {
        b.Release();
        return 0;
    }
    const GEO_POINT mid{static_cast<i32>((static_cast<i64>(p.x) + q.x) >> 1),
                        static_cast<i32>((static_cast<i64>(p.y) + q.y) >> 1)};
    GEO_POINT v{};
    Geo_OffsetPerpendicularAtEnd(&p, &mid, -10, &v);
    const i32 a0 = NormalAngle(v, mid);
    const i32 R = Min32(50, static_cast<i32>(1.2 * (6 * width16 / 17 + 10)));
    const HOUGH h{b.cells, 4 * R, kGuardAngleBins, a0 - 15, 22};
    const i32 half = 3 * width16 / 17;
    GEO_POINT a{};
    GEO_POINT e{};
    Geo_OffsetPerpendicularAtEnd(&q, &p, half, &a);
    Geo_OffsetPerpendicularAtEnd(&q, &p, -half, &e);
    const i32 n = Geo_SegmentStepPixelOffsets(&a, &e, b.offsets, 110, 0, 1);
    const i32 stride = L <= 50 ? 1 : L <= 101 ? 2 : 3;
    i32 edges[10];
    for (i64 k = 0; n > 0 && k < L - 1; k += stride) {
        const GEO_POINT cur = WalkPoint(p, q, L, k);
        const GEO_POINT start{static_cast<i32>(static_cast<i64>(a.x) + cur.x - p.x),
                              static_cast<i32>(static_cast<i64>(a.y) + cur.y - p.y)};
        SampleOffsets(start, b.offsets, n, b.samples);
        const i32 found = PDF_FallingEdgeCentres(b.samples, n, edges, 10, minStep);
        for (i32 f = 0; f < found; ++f) {
            const i64 dx = 16 * (static_cast<i64>(start.x) - v.x) + 2 * static_cast<i64>(edges[f]) * (p.x - a.x) / n;
            const i64 dy = 16 * (static_cast<i64>(start.y) - v.y) + 2 * static_cast<i64>(edges[f]) * (p.y - a.y) / n;
            Vote(h, dx, dy);
        }
    }
    GEO_POINT *pairs = b.offsets;  // the offsets are done with
    const i32 count = PeakPairs(h, pairs, kOffsetCount);
    const i32 bin = ScorePairs(pairs, count, 3, score);
    if (bin < 0) {
        LineThrough(p, q, line);
        b.Release();
        return -2;
    }
    i32 rho = DistancePeak(h, bin);
    if (rho < 0) {
        LineThrough(p, q, line);
        b.Release();
        return -3;
    }
    i32 angleBin = bin;
    i32 globalRho = -1;
    i32 globalBin = 0;
    for (i32 r = 0; r < h.distances; ++r) {
        for (i32 k = 0; k < h.angles; ++k) {
            const u8 c = h.cells[r * h.angles + k];
            if (c > 3 && (globalRho < 0 || c > h.cells[globalRho * h.angles + globalBin])) globalRho = r, globalBin = k;
        }
    }
    if (globalRho >= 0 && (globalRho != rho || globalBin != angleBin) && Abs32(rho - R) > Abs32(globalRho - R) + 9) {
        rho = globalRho;
        angleBin = globalBin;
    }
    const i32 angle = WrapAngle(h.firstAngle + angleBin);
    if (angle == 0 || angle == 314) {
        line->slope = kPdfVerticalSlope;
        line->intercept = angle == 0 ? v.x + rho / 4.0 : v.x - rho / 4.0;
    } else {
        line->slope = -static_cast<f64>(kAngleCos[angle]) / kAngleSin[angle];
        line->intercept = static_cast<f64>(rho) * 262144.0 / kAngleSin[angle] + v.y - v.x * line->slope;
    }
    b.Release();
    return 1;
}

int PDF_FitGuardLineNoScore(GEO_POINT p, GEO_POINT q, i32 width16, i32 minStep, SLOPE_LINE *line) {
    return PDF_FitGuardLine(p, q, width16, minStep, line, nullptr);
}

int PDF_FitRowDirection(GEO_POINT p, GEO_POINT q, i32 distanceBins, i32 angleBins, i32 minStep, SLOPE_LINE *line,
                        const GEO_POINT *crossSegment) {
    if (line == nullptr || !ImageUsable() || distanceBins <= 0 || angleBins <= 0) return -2;
    const i64 L = Max32(Abs32(q.x - p.x), Abs32(q.y - p.y));
    if (L < 10) return -2;
    const i32 distances = Min32(distanceBins, kRowMaxBins);
    const i32 angles = Min32(angleBins, kRowMaxBins);
    FIT_BLOCKS b{};
    if (!b.Take(kPdfRowAccumulator)) return -2;
    const GEO_POINT mid{static_cast<i32>((static_cast<i64>(p.x) + q.x) >> 1),
                        static_cast<i32>((static_cast<i64>(p.y) + q.y) >> 1)};
    GEO_POINT v{};
    Geo_OffsetPerpendicular(&p, &q, &mid, -distanceBins, &v);
    const HOUGH h{b.cells, distances, angles, NormalAngle(v, mid) - angles / 2, 24};
    const GEO_POINT a = crossSegment != nullptr ? crossSegment[0] : mid;
    const GEO_POINT e = crossSegment != nullptr ? crossSegment[1] : v;
    const i32 n = Geo_SegmentStepPixelOffsets(&a, &e, b.offsets, Min32(distanceBins, kOffsetCount), 0, 1);
    i32 edges[kRowMaxEdges];
    for (i64 k = 0; n > 0 && k < L; ++k) {
        const GEO_POINT cur = WalkPoint(p, q, L, k);
        // The cross segment follows the walk, as it stands at its middle.
        const GEO_POINT start{static_cast<i32>(static_cast<i64>(a.x) + cur.x - mid.x),
                              static_cast<i32>(static_cast<i64>(a.y) + cur.y - mid.y)};
        SampleOffsets(start, b.offsets, n, b.samples);
        const i32 found = PDF_RisingEdgeCentres(b.samples, n, edges, kRowMaxEdges, minStep);
        for (i32 f = 0; f < found; ++f) {
            const i64 dx = 16 * (static_cast<i64>(start.x) - v.x) + static_cast<i64>(edges[f]) * (e.x - a.x) / n;
            const i64 dy = 16 * (static_cast<i64>(start.y) - v.y) + static_cast<i64>(edges[f]) * (e.y - a.y) / n;
            Vote(h, dx, dy);
        }
    }
    GEO_POINT *pairs = b.offsets;
    const i32 count = PeakPairs(h, pairs, kOffsetCount);
    const i32 bin = ScorePairs(pairs, count, 6, nullptr);
    if (bin < 0) {
        b.Release();
        return -2;
    }
    if (DistancePeak(h, bin) < 0) {
        b.Release();
        return -3;
    }
    const i32 angle = WrapAngle(h.firstAngle + bin);
    line->slope = (angle == 0 || angle == 314) ? kPdfVerticalSlope
                                               : -static_cast<f64>(kAngleCos[angle]) / kAngleSin[angle];
    b.Release();
    return 0;
}

int PDF_ExtendGuardEnd(GEO_POINT *end, GEO_POINT towards, i32 guardWidth) {
    if (end == nullptr) return 1;
    i32 d = 3 * guardWidth / 34;
    if (d < 2) d = 3;
    GEO_POINT c1{};
    GEO_POINT c2{};
    Geo_OffsetPerpendicularAtEnd(&towards, end, -d, &c1);
    Geo_OffsetPerpendicularAtEnd(&towards, end, d, &c2);
    GEO_POINT offsets[50];
    const i32 n = Geo_SegmentStepPixelOffsets(&c1, &c2, offsets, 50, 0, 1);
    if (n <= 0 || !ImageUsable() || (end->x == towards.x && end->y == towards.y)) return 1;
    u8 samples[50];
    i32 risePos[2];
    i32 fallPos[2];
    u8 riseMag[2];
    u8 fallMag[2];
    i32 minStep = 7;
    GEO_POINT seg1 = c1;
    GEO_POINT seg2 = c2;
    GEO_POINT found1 = c1;
    GEO_POINT found2 = c2;
    bool missed = false;
    const i32 limit = 2 * (g_image.width + g_image.height);
    for (i32 k = 1; k <= limit;) {
        SampleOffsets(seg1, offsets, n, samples);
        i32 rises = 0;
        i32 falls = 0;
        PDF_AlternatingEdges(samples, n, minStep, risePos, riseMag, &rises, fallPos, fallMag, &falls, 2);
        i32 shift = 0;
        if (rises + falls > 0) {
            i32 m = 0;
            for (i32 i = 0; i < rises; ++i) m = Max32(m, riseMag[i]);
            for (i32 i = 0; i < falls; ++i) m = Max32(m, fallMag[i]);
            minStep = 4 * m < 40 ? 7 : 4 * m <= 124 ? 4 * m / 5 : 25;
            found1 = seg1;
            found2 = seg2;
            shift = 3 * k;
            ++k;
            missed = false;
        } else {
            if (missed) break;
            missed = true;
            shift = 3 * k - 2;
        }
        Geo_ShiftAlong(end, &towards, &c1, shift, &seg1);
        Geo_ShiftAlong(end, &towards, &c2, shift, &seg2);
        if (seg1.x < 1 || seg1.y < 1 || seg2.x < 1 || seg2.y < 1 || seg1.x >= g_image.width ||
            seg2.x >= g_image.width || seg1.y >= g_image.height || seg2.y >= g_image.height) {
            break;
        }
    }
    Geo_Midpoint(&found1, &found2, end);
    return 1;
}

void PDF_ProjectOntoLine(GEO_POINT point, SLOPE_LINE *direction, const SLOPE_LINE *line, GEO_POINT *out) {
    if (direction == nullptr || line == nullptr || out == nullptr) return;
    direction->intercept = direction->slope == kPdfVerticalSlope
                               ? static_cast<f64>(point.x)
                               : static_cast<f64>(point.y) - direction->slope * point.x;
    if (Geo_IntersectSlopeLines(out, direction->slope, direction->intercept, line->slope, line->intercept) == 0) {
        *out = point;
    }
}

void PDF_PerpendicularSlope(const SLOPE_LINE *line, SLOPE_LINE *out) {
    const f64 s = line->slope;
    if (std::fabs(s) >= kPdfVerticalSlope) {
        out->slope = kPdfFlatSlope;
    } else if (std::fabs(s) <= kPdfFlatSlope) {
        out->slope = kPdfVerticalSlope;
    } else {
        out->slope = -1.0 / s;
    }
}

int PDF_IsLeftSideKind(i32 kind) { return kind == 1 || kind == -1 || kind == 4 || kind == -4; }

namespace {

void MoveAlongScan(GEO_POINT *p, i32 orientation, i32 by) {
    if (orientation == 1) {
        p->y += by;
    } else {
        p->x += by;
    }
}

GEO_POINT EndPoint(const PDF_GUARD_END &e) { return GEO_POINT{e.x, e.y}; }

void SetEnd(PDF_GUARD_END *e, GEO_POINT p) {
    e->x = p.x;
    e->y = p.y;
}

// Both ends by their own widths along the scan direction: onto the pattern's inner edge.
void MoveEndsByWidths(PDF_CANDIDATE *c) {
    GEO_POINT e1 = EndPoint(c->end1);
    GEO_POINT e2 = EndPoint(c->end2);
    MoveAlongScan(&e1, c->orientation, c->end1.width);
    MoveAlongScan(&e2, c->orientation, c->end2.width);
    SetEnd(&c->end1, e1);
    SetEnd(&c->end2, e2);
}

}  // namespace

void PDF_PrepareGuardGeometry(PDF_CANDIDATE *c) {
    GEO_POINT mid{(c->end1.x + c->end2.x) / 2, (c->end1.y + c->end2.y) / 2};
    if (PDF_IsLeftSideKind(c->kind) != 0) {
        MoveEndsByWidths(c);
    } else {
        MoveAlongScan(&mid, c->orientation, (c->end1.width + c->end2.width) / 2);
    }
    const GEO_POINT e1 = EndPoint(c->end1);
    const GEO_POINT e2 = EndPoint(c->end2);
    c->guardWidth = Geo_DistanceToLine(&mid, &e1, &e2);
    const i32 k = c->kind;
    if (c->orientation == 0) {
        c->sideFlag = (k == 2 || k == 4 || k == -1 || k == -3) ? 1 : 0;
    } else {
        c->sideFlag = (k == 1 || k == 3 || k == -2 || k == -4) ? 1 : 0;
    }
}

void PDF_PrepareRapGeometry(PDF_CANDIDATE *c) {
    GEO_POINT mid{(c->end1.x + c->end2.x) / 2, (c->end1.y + c->end2.y) / 2};
    const i32 k = c->kind;
    if (k == 2 || k == 3 || k == 5) {
        c->cornerInner1 = EndPoint(c->end1);
        c->cornerInner2 = EndPoint(c->end2);
        MoveEndsByWidths(c);
    } else {
        MoveAlongScan(&mid, c->orientation, (c->end1.width + c->end2.width + 1) / 2);
    }
    const GEO_POINT e1 = EndPoint(c->end1);
    const GEO_POINT e2 = EndPoint(c->end2);
    c->rapWidth = Geo_DistanceToLine(&mid, &e1, &e2);
    c->guardWidth = c->rapWidth * 17 / 10;
    i32 side = c->orientation == 1 ? (k == 1 || k == 3 || k == 5) : (k == 2 || k == 4 || k == 5 || k == 6);
    if (c->mirrored != 0) side = side != 0 ? 0 : 1;
    c->sideFlag = side;
}

int PDF_BuildSymbolGeometry(PDF_CANDIDATE *c, PDF_ROW_ENTRY *rowTable) {
    if (c == nullptr || rowTable == nullptr) return 0;
    PDF_PrepareGuardGeometry(c);
    const bool component = g_pdfState.regionFlag != 0;
    const i32 extend = component ? -5 : -10;
    GEO_POINT e1 = EndPoint(c->end1);
    GEO_POINT e2 = EndPoint(c->end2);
    GEO_POINT workA{};
    GEO_POINT workB{};
    Geo_StepTowardsRound(&e1, &e2, extend, &workA);
    Geo_StepTowardsRound(&e2, &e1, extend, &workB);
    const i32 contrast = Min32(c->end1.contrast, c->end2.contrast);
    const i32 minStep = 4 * contrast < 40 ? 7 : 4 * contrast / 5;
    const i32 w16 = 16 * c->guardWidth / 17;
    if (c->sideFlag == 1) {
        PDF_FitGuardLine(workB, workA, w16, minStep, &c->guardLine, nullptr);
    } else {
        PDF_FitGuardLine(workA, workB, w16, minStep, &c->guardLine, nullptr);
    }
    PDF_PerpendicularSlope(&c->guardLine, &c->rowDirection);
    PDF_ProjectOntoLine(e1, &c->rowDirection, &c->guardLine, &e1);
    PDF_ProjectOntoLine(e2, &c->rowDirection, &c->guardLine, &e2);
    PDF_ProjectOntoLine(workA, &c->rowDirection, &c->guardLine, &c->workQ);
    PDF_ProjectOntoLine(workB, &c->rowDirection, &c->guardLine, &c->workP);
    SetEnd(&c->end1, e1);
    SetEnd(&c->end2, e2);
    if (!component) {
        c->cornerGuard1 = e1;
        PDF_ExtendGuardEnd(&c->cornerGuard1, c->workQ, c->guardWidth);
        c->cornerGuard2 = e2;
        PDF_ExtendGuardEnd(&c->cornerGuard2, c->workP, c->guardWidth);
    } else {
        c->cornerGuard1 = c->workQ;
        c->cornerGuard2 = c->workP;
    }
    c->guardLength = Geo_DistanceInt(c->cornerGuard2.x, c->cornerGuard2.y, c->cornerGuard1.x, c->cornerGuard1.y);
    c->centreGuard = GEO_POINT{(e1.x + e2.x) / 2, (e1.y + e2.y) / 2};
    const i32 wc = Max32(c->guardWidth, 50);
    const i32 lc = Min32(c->guardLength, 40);
    const bool rightKind = PDF_IsLeftSideKind(c->kind) == 0;
    const i32 s = (rightKind == (c->orientation == 0)) ? 1 : -1;
    Geo_StepTowardsRound(&c->centreGuard, &e1, s * lc / 2, &c->workP);
    Geo_OffsetPerpendicular(&c->centreGuard, &e1, &c->workP, s * wc, &c->workQ);
    const i32 angleBins = c->guardWidth <= 39 ? 79 : c->guardWidth <= 49 ? 88 : 105;
    if (PDF_FitRowDirection(c->workQ, c->workP, lc + 10, angleBins, minStep, &c->rowDirection, nullptr) != 0) {
        return 0;
    }
    GEO_POINT i1{};
    GEO_POINT i2{};
    Geo_ShiftAlong(&c->workP, &c->workQ, &c->cornerGuard1, c->guardWidth, &i1);
    Geo_ShiftAlong(&c->workP, &c->workQ, &c->cornerGuard2, c->guardWidth, &i2);
    Geo_StepTowardsRound(&i1, &i2, -10, &c->cornerInner1);
    Geo_StepTowardsRound(&i2, &i1, -10, &c->cornerInner2);
    const i32 innerWidth = static_cast<i32>(c->guardWidth * 1.3);
    if (c->sideFlag == 1) {
        PDF_FitGuardLine(c->cornerInner2, c->cornerInner1, innerWidth, minStep, &c->innerLine, nullptr);
    } else {
        PDF_FitGuardLine(c->cornerInner1, c->cornerInner2, innerWidth, minStep, &c->innerLine, nullptr);
    }
    PDF_ProjectOntoLine(c->centreGuard, &c->rowDirection, &c->guardLine, &c->centreGuard);
    PDF_ProjectOntoLine(c->centreGuard, &c->rowDirection, &c->innerLine, &c->centreInner);
    c->rowLine1.slope = c->rowDirection.slope;
    c->rowLine2.slope = c->rowDirection.slope;
    PDF_ProjectOntoLine(c->cornerGuard1, &c->rowLine1, &c->guardLine, &c->cornerGuard1);
    PDF_ProjectOntoLine(c->cornerGuard2, &c->rowLine2, &c->guardLine, &c->cornerGuard2);
    PDF_ProjectOntoLine(c->cornerGuard1, &c->rowLine1, &c->innerLine, &c->cornerInner1);
    PDF_ProjectOntoLine(c->cornerGuard2, &c->rowLine2, &c->innerLine, &c->cornerInner2);
    const i32 entries = PDF_ReadIndicatorColumn(c, rowTable, 0);
    if (entries <= 0) return 0;
    if (PDF_VoteRowIndicators(rowTable, entries, c->startFlag, c) == 0) return 0;
    return PDF_BuildRowTable(rowTable, entries, c);
}

void PDF_SetGuardCentres(PDF_CANDIDATE *candidates, i32 count) {
    if (candidates == nullptr) return;
    for (i32 i = 0; i < Min32(count, kPdfMaxCandidates); ++i) {
        PDF_CANDIDATE &c = candidates[i];
        if (c.pending == 0) continue;
        c.centreGuard = GEO_POINT{(c.end1.x + c.end2.x) / 2, (c.end1.y + c.end2.y) / 2};
        if (PDF_IsLeftSideKind(c.kind) != 0) MoveAlongScan(&c.centreGuard, c.orientation, c.end1.width);
    }
}

int PDF_IsGuardPair(i32 a, i32 b) {
    if ((a > 0) != (b > 0)) return 0;
    const i32 x = a < 0 ? -a : a;
    const i32 y = b < 0 ? -b : b;
    return ((x == 1 && y == 3) || (x == 3 && y == 1) || (x == 4 && y == 2) || (x == 2 && y == 4)) ? 1 : 0;
}

i32 PDF_ReleaseCoveredCandidates(PDF_CANDIDATE *candidates, i32 *count, i32 decodedIndex, i32 findPartner) {
    if (candidates == nullptr || count == nullptr || decodedIndex < 0 || decodedIndex >= *count) return -1;
    const PDF_CANDIDATE &d = candidates[decodedIndex];
    // The decoded symbol's outline in cyclic order: top-left, top-right, bottom-right, bottom-left.
    const GEO_POINT poly[4] = {d.symbolCorners[0], d.symbolCorners[1], d.symbolCorners[3], d.symbolCorners[2]};
    bool allZero = true;
    for (const GEO_POINT &p : poly) allZero = allZero && p.x == 0 && p.y == 0;
    if (allZero) return -1;
    const i32 decodedKind = d.kind;
    for (i32 j = 0; j < *count && j < kPdfMaxCandidates; ++j) {
        PDF_CANDIDATE &c = candidates[j];
        if (j == decodedIndex || c.pending == 0) continue;
        GEO_POINT mA{};
        GEO_POINT mB{};
        const GEO_POINT e1 = EndPoint(c.end1);
        const GEO_POINT e2 = EndPoint(c.end2);
        Geo_Midpoint(&c.centreGuard, &e1, &mA);
        Geo_Midpoint(&c.centreGuard, &e2, &mB);
        const GEO_POINT centre = c.centreGuard;
        const bool inCentre = Geo_PointInConvexPolygon(centre, poly, 4) >= 0;
        const bool inA = Geo_PointInConvexPolygon(mA, poly, 4) >= 0;
        const bool inB = Geo_PointInConvexPolygon(mB, poly, 4) >= 0;
        const i32 length = c.orientation == 0 ? Abs32(c.end1.y - c.end2.y) : Abs32(c.end1.x - c.end2.x);
        const bool partner = findPartner != 0 && PDF_IsGuardPair(c.kind, decodedKind) != 0;
        if (inCentre) {
            if (partner) return j;
            c.pending = 0;
        }
        for (int half = 0; half < 2; ++half) {
            if (!(half == 0 ? inA : inB)) continue;
            if (*count < kPdfMaxCandidates && c.end1.width < length) {
                PDF_CANDIDATE copy = c;
                if (half == 0) {
                    SetEnd(&copy.end1, centre);
                    copy.centreGuard = mB;
                } else {
                    SetEnd(&copy.end2, centre);
                    copy.centreGuard = mA;
                }
                candidates[(*count)++] = copy;
            }
            if (partner) return j;
            c.pending = 0;
        }
    }
    return -1;
}

}  // namespace vexo

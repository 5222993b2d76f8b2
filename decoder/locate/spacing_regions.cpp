#include "locate/spacing_regions.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "core/pixel.h"

namespace vexo {

CELL_GRID g_cellGrid{};
SPACING_REGION g_spacingRegions[kSpacingRegionsMax]{};
i16 g_spacingOrder[kSpacingRegionsMax]{};

namespace {

constexpr i32 kRunTolerance = 4;  // a run takes counter-steps of up to 3 grey levels
constexpr i32 kMinEdgeStep = 12;
constexpr i32 kRowMaxSpacing = 63;
constexpr i32 kDiagonalMaxSpacing = 47;
constexpr i32 kPeakMinAreaRatio = 16;

i32 Abs32(i32 v) { return v < 0 ? -v : v; }

// One scanned line: pixel j at first[j * stride], the cross pixels at +-cross, its cells
// from (cx, cy) by (dcx, dcy) per 4 pixels in `map`.
struct SPACING_LINE {
    const u8 *first;
    i64 stride;
    i64 cross;
    i32 length;
    u8 *cell;  // the first cell
    i32 cellStep;
    bool diagonal;
};

u8 PixelAt(const SPACING_LINE &l, i32 j) { return l.first[static_cast<i64>(j) * l.stride]; }
// Difference with index i (odd, from 3): sample i - 1 minus sample i - 3.
i32 DiffAt(const SPACING_LINE &l, i32 i) { return static_cast<i32>(PixelAt(l, i - 1)) - PixelAt(l, i - 3); }

void WriteSpacing(const SPACING_LINE &l, i32 f, i32 i) {
    const i32 s = i - f;
    u8 value = 0;
    if (l.diagonal) {
        if (s <= 0 || s > kDiagonalMaxSpacing) return;
        value = kDiagonalSpacings[s / 2];
    } else {
        if (s <= 0 || s > kRowMaxSpacing) return;
        value = static_cast<u8>(s);
    }
    for (i32 t = (f + 2) / 4; t <= (i + 2) / 4 - 1; ++t) l.cell[static_cast<i64>(t) * l.cellStep] = value;
}

// Walks the line's differences, run by run, and writes the spacing of consecutive edges.
void ScanSpacings(const SPACING_LINE &l) {
    const i32 last = l.length - 1;
    i32 f = -1;
    i32 i = 3;
    while (i < last) {
        const i32 d0 = DiffAt(l, i);
        if (d0 == 0) {
            i += 2;
            continue;
        }
        const bool falling = d0 < 0;
        const i32 before = PixelAt(l, i - 3);
        i32 steepest = i, steepestDiff = d0, end = i;
        i32 k = i + 2;
        for (; k < last; k += 2) {
            const i32 d = DiffAt(l, k);
            if (falling ? d >= kRunTolerance : d <= -kRunTolerance) break;
            if (falling ? d < steepestDiff : d > steepestDiff) {
                steepest = k;
                steepestDiff = d;
            }
            end = k;
        }
        const i32 lastSample = PixelAt(l, end - 1);
        const i32 top = falling ? before : lastSample;
        const i32 bottom = falling ? lastSample : before;
        const i32 step = top - bottom;
        const u8 *at = l.first + static_cast<i64>(steepest) * l.stride;
        const i32 crossGradient = Abs32(static_cast<i32>(at[l.cross]) - at[-l.cross]);
        if (step > kMinEdgeStep && 10 * step > top && crossGradient <= Abs32(steepestDiff)) {
            if (f >= 0) WriteSpacing(l, f, steepest);
            f = steepest;
        }
        i = k;
    }
}

// The map of the grid of one of the five.
u8 *CellAt(u8 *map, i32 cx, i32 cy) { return map + static_cast<i64>(cy) * g_cellGrid.across + cx; }

// The cells the diagonal from pixel (x, y) may write lie within the grid: the cell of the
// start, stepping one cell per 4 pixels, is cut where the diagonal leaves the grid.
// Its length is min(width - x, alongY) - 2: bounded by both edges.
void ScanDiagonal(u8 *map, i32 x, i32 y, i32 dy, i32 alongY) {
    const i32 w = g_image.width, n = g_cellGrid.across, m = g_cellGrid.down;
    i32 length = (w - x < alongY ? w - x : alongY) - 2;
    const i32 cx = x / 4, cy = y / 4;
    if (cx >= n || cy >= m || length < 5) return;
    // The cells reach index (length + 1) / 4 - 1; cut the line so that they stay on the grid.
    const i32 cellsX = n - cx, cellsY = dy < 0 ? cy + 1 : m - cy;
    const i32 cells = cellsX < cellsY ? cellsX : cellsY;
    if (4 * cells - 1 < length) length = 4 * cells - 1;
    const u8 *first = g_image.data + static_cast<i64>(y) * w + x;
    if (dy < 0) {
        Loc_AntiDiagonalSpacings(first, CellAt(map, cx, cy), length);
    } else {
        Loc_DiagonalSpacings(first, CellAt(map, cx, cy), length);
    }
}

void ClearMap(u8 *map) {
    for (i32 k = 0; k < g_cellGrid.cells; ++k) map[k] = 0;
}

// Keeps the smallest spacing of the four directions per cell and counts it.
void CombineSpacings(u16 *histogram) {
    const CELL_GRID &g = g_cellGrid;
    for (i32 k = 0; k < g.cells; ++k) {
        const u8 spacing[4] = {g.m3[k], g.m1[k], g.m4[k], g.m5[k]};
        static constexpr u8 kCodes[4] = {kSpacingRow, kSpacingAnti, kSpacingColumn, kSpacingDiagonal};
        u8 best = 0, code = kSpacingNone;
        for (i32 d = 0; d < 4; ++d) {
            if (spacing[d] != 0 && (best == 0 || spacing[d] < best)) {
                best = spacing[d];
                code = kCodes[d];
            }
        }
        g.m3[k] = best;
        g.m4[k] = code;
        if (best != 0 && best < kSpacingBins && histogram[best] < 0xffff) ++histogram[best];
    }
}

// Majority filter of radius r: more than `more` marked cells in the (2r+1)^2 window.
void MajorityFilter(u8 *map, i32 r, i32 more) {
    const CELL_GRID &g = g_cellGrid;
    const i32 n = g.across, m = g.down;
    if (map == nullptr || g.m2 == nullptr || n <= 0 || m <= 0) return;
    // Row sums of the window centred on each cell into M2.
    for (i32 y = 0; y < m; ++y) {
        const u8 *row = CellAt(map, 0, y);
        u8 *sums = CellAt(g.m2, 0, y);
        i32 sum = 0;
        for (i32 x = 0; x < n; ++x) {
            sum += row[x] != 0 ? 1 : 0;
            if (x - 2 * r - 1 >= 0) sum -= row[x - 2 * r - 1] != 0 ? 1 : 0;
            if (x - r >= 0) sums[x - r] = static_cast<u8>(sum);
        }
    }
    ClearMap(map);
    for (i32 x = r; x < n - r; ++x) {
        i32 sum = 0;
        for (i32 y = 0; y < m; ++y) {
            sum += *CellAt(g.m2, x, y);
            if (y - 2 * r - 1 >= 0) sum -= *CellAt(g.m2, x, y - 2 * r - 1);
            if (y - r >= r && y - r < m - r) *CellAt(map, x, y - r) = sum > more ? 1 : 0;
        }
    }
}

void FilterByHigh(u8 *map, i32 high) {
    if (high < 12) {
        Loc_MajorityFilter5(map);
    } else {
        Loc_MajorityFilter7(map);
    }
}

// Marks the cells of the band low < spacing <= high that `except` does not hold.
void MarkBand(u8 *map, i32 low, i32 high, const u8 *except) {
    const CELL_GRID &g = g_cellGrid;
    for (i32 k = 0; k < g.cells; ++k) {
        const i32 s = g.m3[k];
        if (low < s && s <= high && (except == nullptr || except[k] == 0)) map[k] = 1;
    }
}

struct SPACING_BAND {
    i32 low, high;
};

// Groups the peaks into at most two bands; answers the number of bands.
i32 GroupPeaks(const SPACING_PEAK *peaks, i32 j, SPACING_BAND bands[2]) {
    i32 bandCount = 0;
    i64 previousSum = -1;
    i32 k = 0;
    while (k < j && bandCount < 2) {
        i64 sum = peaks[k].area;
        i32 last = k;
        while (last + 1 < j && peaks[last + 1].area > 0) {
            const i64 ratio = static_cast<i64>(peaks[last].area) * 256 / peaks[last + 1].area;
            if (ratio < 300 || ratio > 700) break;
            ++last;
            sum += peaks[last].area;
        }
        if (previousSum >= 0 && sum * 4 < 3 * previousSum) break;
        bands[bandCount++] = SPACING_BAND{peaks[k].low, peaks[last].high};
        previousSum = sum;
        k = last + 1;
    }
    return bandCount;
}

bool GridReady() {
    const CELL_GRID &g = g_cellGrid;
    return g.cells > 0 && g.m3 != nullptr && g.m4 != nullptr && g.m5 != nullptr;
}

// Counts the span's cells into the stats (context), then clears them from the mask.
void CountAndClearSpan(void *context, i64 rowStart, i32 from, i32 to) {
    HULL_STATS &s = *static_cast<HULL_STATS *>(context);
    const CELL_GRID &g = g_cellGrid;
    s.area += static_cast<u32>(to - from + 1);
    for (i64 k = rowStart + from; k <= rowStart + to; ++k) {
        if (g.m5[k] == 0) continue;
        ++s.marked;
        s.spacingSum += g.m3[k];
        if (g.m4[k] <= kSpacingDiagonal) ++s.directions[g.m4[k]];
        g.m5[k] = 0;
    }
}

i64 Dot(GEO_POINT a, GEO_POINT b) { return static_cast<i64>(a.x) * b.x + static_cast<i64>(a.y) * b.y; }

// The tests of a cleared hull: filling, density, spacing against the short side and the
// long side against the bar direction. False to reject; else the rectangle and its flag.
bool MeasureCellHull(const GEO_POINT *hull, i32 count, const HULL_STATS &s, GEO_POINT corners[4], i32 *aligned) {
    const i64 d = s.marked, S = s.spacingSum;
    // A hull of fewer than three points counts nothing, and filled cells may carry no spacing.
    if (d == 0 || S == 0) return false;
    if (static_cast<i64>(s.area) > 2 * d) return false;
    if (16 * d * d * d / (S * S) <= 15) return false;
    const i64 meanSpacing16 = S * 16 / d;
    const u16 shares[4] = {static_cast<u16>(s.directions[kSpacingRow] * 256u / d),
                           static_cast<u16>(s.directions[kSpacingAnti] * 181u / d),
                           static_cast<u16>(s.directions[kSpacingColumn] * 256u / d),
                           static_cast<u16>(s.directions[kSpacingDiagonal] * 181u / d)};
    if (Loc_CellHullRectangle(corners, hull, count) == 0) return false;
    const GEO_POINT u{corners[0].x - corners[1].x, corners[0].y - corners[1].y};
    const GEO_POINT w{corners[2].x - corners[1].x, corners[2].y - corners[1].y};
    const i64 u2 = Dot(u, u), w2 = Dot(w, w);
    if (w2 == 0) return false;
    const i64 aspect = 64 * u2 / w2;
    i32 dx = 0, dy = 0, strength = 0;
    Loc_BarDirectionFromCounts(shares, &dx, &dy, &strength);
    // Long and narrow: the short side must span about 5.7 spacings.
    if (aspect > 90 && 8 * w2 < meanSpacing16 * meanSpacing16) return false;
    *aligned = 0;
    if (aspect > 128 && strength > 128) {
        const f64 along = static_cast<f64>(Dot(u, GEO_POINT{dx, dy}));
        const i64 d2 = static_cast<i64>(dx) * dx + static_cast<i64>(dy) * dy;
        const f64 cos2 = along * along / (static_cast<f64>(u2) * static_cast<f64>(d2));
        if (cos2 < 0.92) return false;
        *aligned = 1;
    }
    return true;
}

// The rectangle's bounding box widened by 8 pixels and cut to the frame.
void WriteSpacingBox(SPACING_REGION *out, const GEO_POINT corners[4]) {
    i32 x0 = corners[0].x, x1 = x0, y0 = corners[0].y, y1 = y0;
    for (i32 k = 1; k < 4; ++k) {
        x0 = corners[k].x < x0 ? corners[k].x : x0;
        x1 = corners[k].x > x1 ? corners[k].x : x1;
        y0 = corners[k].y < y0 ? corners[k].y : y0;
        y1 = corners[k].y > y1 ? corners[k].y : y1;
    }
    auto clamp = [](i32 v, i32 hi) { return static_cast<i16>(v < 0 ? 0 : (v > hi ? hi : v)); };
    out->top = clamp(y0 - 8, g_image.height - 1);
    out->bottom = clamp(y1 + 8, g_image.height - 1);
    out->left = clamp(x0 - 8, g_image.width - 1);
    out->right = clamp(x1 + 8, g_image.width - 1);
}

bool MaskSet(i32 cx, i32 cy) {
    const CELL_GRID &g = g_cellGrid;
    return cx >= 0 && cy >= 0 && cx < g.across && cy < g.down && *CellAt(g.m5, cx, cy) != 0;
}

}  // namespace

i32 Loc_SetupCellGrid() {
    CELL_GRID &g = g_cellGrid;
    g = CELL_GRID{};
    g.ringRadius = 1;
    if (g_image.data == nullptr || g_image.width <= 0 || g_image.height <= 0) return 0;
    const i64 bytes = static_cast<i64>(g_image.width) * g_image.height;
    u8 *buffer = Pix_WorkMemory(bytes);
    if (buffer == nullptr) return 0;
    const i32 n = g_image.width / 4, m = g_image.height / 4;
    g.across = static_cast<u16>(n);
    g.down = static_cast<u16>(m);
    g.cells = n * m;
    g.m1 = buffer;
    g.m2 = buffer + g.cells;
    g.m3 = buffer + bytes - 3 * static_cast<i64>(g.cells);
    g.m4 = g.m3 + g.cells;
    g.m5 = g.m4 + g.cells;
    const i32 offsets[8] = {1, n + 1, n, n - 1, -1, -n - 1, -n, 1 - n};
    for (i32 k = 0; k < 8; ++k) g.neighbour[k] = offsets[k];
    if (g.cells > 0) Loc_BuildSpacingMap();
    return 1;
}

i32 Loc_BuildSpacingMap() {
    CELL_GRID &g = g_cellGrid;
    if (g.cells <= 0 || g.m1 == nullptr || g_image.data == nullptr) return 1;
    const i32 w = g_image.width, h = g_image.height;
    ClearMap(g.m3);
    ClearMap(g.m1);
    ClearMap(g.m4);
    ClearMap(g.m5);
    // Every line needs the pixels beside it: rows and columns stop one short of the edge.
    for (i32 r = 2; r + 1 < h; r += 4) Loc_RowSpacings(g_image.data + static_cast<i64>(r) * w, CellAt(g.m3, 0, (r - 2) / 4), w);
    for (i32 x = 2; x + 1 < w; x += 4) Loc_ColumnSpacings(g_image.data + x, CellAt(g.m4, (x - 2) / 4, 0), h);
    i32 r = 8;
    for (; r < h; r += 4) ScanDiagonal(g.m1, 0, r, -1, r);
    for (i32 x = r + 1 - h; x < w - 4; x += 4) ScanDiagonal(g.m1, x, h - 1, -1, h);
    for (i32 y = 0; y < h - 4; y += 4) ScanDiagonal(g.m5, 0, y, 1, h - y);
    for (i32 x = 4; x < w - 4; x += 4) ScanDiagonal(g.m5, x, 0, 1, h);
    u16 histogram[kSpacingBins] = {};
    CombineSpacings(histogram);
    // The diagonal table's odd spacings join an even neighbour.
    static constexpr u8 kMoves[8][2] = {{3, 2}, {11, 12}, {17, 16}, {23, 22}, {25, 26}, {31, 32}, {37, 36}, {45, 46}};
    for (const auto &mv : kMoves) {
        histogram[mv[1]] = static_cast<u16>(histogram[mv[1]] + histogram[mv[0]]);
        histogram[mv[0]] = 0;
    }
    Loc_SelectSpacingBands(histogram);
    return 1;
}

void Loc_RowSpacings(const u8 *firstPixel, u8 *mapRow, i32 length) {
    if (firstPixel == nullptr || mapRow == nullptr || length < 5) return;
    ScanSpacings(SPACING_LINE{firstPixel, 1, g_image.width, length, mapRow, 1, false});
}

void Loc_ColumnSpacings(const u8 *firstPixel, u8 *firstCell, i32 length) {
    if (firstPixel == nullptr || firstCell == nullptr || length < 5) return;
    ScanSpacings(SPACING_LINE{firstPixel, g_image.width, 1, length, firstCell, g_cellGrid.across, false});
}

void Loc_AntiDiagonalSpacings(const u8 *firstPixel, u8 *firstCell, i32 length) {
    if (firstPixel == nullptr || firstCell == nullptr || length < 5) return;
    const i64 w = g_image.width;
    ScanSpacings(SPACING_LINE{firstPixel, 1 - w, w + 1, length, firstCell, 1 - g_cellGrid.across, true});
}

void Loc_DiagonalSpacings(const u8 *firstPixel, u8 *firstCell, i32 length) {
    if (firstPixel == nullptr || firstCell == nullptr || length < 5) return;
    const i64 w = g_image.width;
    ScanSpacings(SPACING_LINE{firstPixel, 1 + w, 1 - w, length, firstCell, 1 + g_cellGrid.across, true});
}

i32 Loc_FitHistogramPeak(SPACING_PEAK *peak, const u16 *h) {
    if (peak == nullptr || h == nullptr || peak->end >= kSpacingBins || peak->start > peak->end) return 0;
    i64 k = 0, sumH = 0, sumB = 0;
    for (i32 b = peak->start; b <= peak->end; b += 2) {
        ++k;
        sumH += h[b];
        sumB += b;
    }
    const i64 vbar = sumH / k, c = sumB / k;
    i64 S2 = 0, L = 0, S3 = 0, O = 0, S4 = 0;
    for (i32 b = peak->start; b <= peak->end; b += 2) {
        const i64 t = b - c, dv = vbar - h[b];
        S2 += t * t;
        L -= t * dv;
        S3 += t * t * t;
        O -= t * t * dv;
        S4 += t * t * t * t;
    }
    const i64 T = S2 * O - L * S3, U = S2 * S2 - k * S4, D = k * S3 * S3 + S2 * U;
    if (D == 0) return 0;  // one or two bins: no parabola
    const float fD = static_cast<float>(D);
    const float a2 = -static_cast<float>(k) * static_cast<float>(T) / fD;
    const float a1 = (static_cast<float>(k) * static_cast<float>(S3) * static_cast<float>(O) +
                      static_cast<float>(L) * static_cast<float>(U)) / fD;
    const float a0 = static_cast<float>(vbar) + static_cast<float>(S2) * static_cast<float>(T) / fD;
    if (!(a2 < 0.0f)) return 0;
    const float delta = a1 * a1 - 4.0f * a2 * a0;
    if (!(delta > 0.0f)) return 0;
    const float root = std::sqrt(delta);
    const float area = delta * root / (6.0f * a2 * a2);
    const float r1 = -(a1 - root) / (2.0f * a2), r2 = -(a1 + root) / (2.0f * a2);
    const float fc = static_cast<float>(c);
    const float ratio = area / (2.0f * fc + r1 + r2);
    if (!std::isfinite(area) || !std::isfinite(ratio) || !(ratio >= kPeakMinAreaRatio)) return 0;
    const float lowF = r1 + fc, highF = r2 + fc + 1.0f;
    if (!(lowF < 256.0f) || !(highF >= 0.0f && highF < 256.0f)) return 0;
    const i32 low = lowF > 0.0f ? static_cast<i32>(lowF) : 0, high = static_cast<i32>(highF);
    peak->low = static_cast<u8>(low);
    peak->high = static_cast<u8>(high);
    const f64 areaD = area < 1e18f ? static_cast<f64>(area) : 1e18;
    peak->area = static_cast<u16>(static_cast<i64>(areaD) & 0xffff);
    peak->centre = static_cast<u8>((low + high + 1) >> 1);
    return 1;
}

i32 Loc_SelectSpacingBands(u16 h[kSpacingBins]) {
    CELL_GRID &g = g_cellGrid;
    if (h == nullptr) return 0;
    h[0] = 0;
    i64 weighted = 0, total = 0;
    for (i32 i = 2; i <= 62; i += 2) {
        weighted += static_cast<i64>(i) * h[i];
        total += h[i];
    }
    const bool grid = g.cells > 0 && g.m5 != nullptr;
    if (total == 0) {
        if (grid) ClearMap(g.m5);
        return 0;
    }
    const i32 mean = static_cast<i32>(weighted / total);
    if (mean <= 2) {
        if (grid) {
            ClearMap(g.m5);
            Loc_MajorityFilter7(g.m5);
        }
        return mean;
    }
    SPACING_PEAK peaks[kSpacingPeaksMax] = {};
    i32 j = 0;
    for (i32 i = 2, budget = kSpacingBins; budget > 0; --budget) {
        i32 e = i;
        // A peak ends at a strict local minimum, at bin 62 at the latest.
        while (e < 62 && !(h[e] < h[e - 2] && h[e] < h[e + 2])) e += 2;
        if (e > 62) e = 62;
        SPACING_PEAK &p = peaks[j];
        p = SPACING_PEAK{};
        p.start = static_cast<u8>(i - 2);
        p.end = static_cast<u8>(e);
        if (Loc_FitHistogramPeak(&p, h) != 0 && ++j == kSpacingPeaksMax) break;
        if (e + 2 >= mean) break;
        i = e + 2;
    }
    for (i32 k = 0; k + 1 < j; ++k)
        if (peaks[k + 1].centre < peaks[k].high) peaks[k].high = peaks[k + 1].centre;
    for (i32 k = j - 1; k >= 1; --k)
        if (peaks[k - 1].centre > peaks[k].low) peaks[k].low = peaks[k - 1].centre;
    SPACING_BAND bands[2] = {};
    const i32 bandCount = GroupPeaks(peaks, j, bands);
    if (!grid) return mean;
    ClearMap(g.m5);
    if (bandCount >= 1) {
        MarkBand(g.m5, bands[0].low, bands[0].high, nullptr);
        FilterByHigh(g.m5, bands[0].high);
    }
    if (bandCount == 2) {
        ClearMap(g.m1);
        MarkBand(g.m1, bands[1].low, bands[1].high, g.m5);
        FilterByHigh(g.m1, bands[1].high);
        for (i32 k = 0; k < g.cells; ++k)
            if (g.m1[k] != 0) g.m5[k] = 1;
    }
    Loc_MajorityFilter7(g.m5);
    return mean;
}

void Loc_MajorityFilter5(u8 *map) { MajorityFilter(map, 2, 12); }
void Loc_MajorityFilter7(u8 *map) { MajorityFilter(map, 3, 24); }

i32 Loc_BarDirectionFromCounts(const u16 shares[4], i32 *dx, i32 *dy, i32 *strength) {
    if (shares == nullptr || dx == nullptr || dy == nullptr || strength == nullptr) return 1;
    const i64 R = shares[0], N = shares[1], K = shares[2], G = shares[3];
    auto ratio64 = [](i64 a, i64 b) -> i32 { return b == 0 ? 256 : static_cast<i32>(a * 64 / b); };
    if (N == G) {
        if (R > K) {
            *dx = 16, *dy = 0, *strength = ratio64(R, K);
        } else if (K > R) {
            *dx = 0, *dy = 16, *strength = ratio64(K, R);
        } else {
            *dx = 0, *dy = 0, *strength = 64;
        }
        return 1;
    }
    i64 f = 0, g = 0;
    if (K == R) {
        if (G > N) {
            *dx = -16, *dy = 16, *strength = ratio64(G, N);
        } else {
            *dx = 16, *dy = 16, *strength = ratio64(N, G);
        }
        return 1;
    }
    if (G > N) {
        f = K < R ? -G - R : -G;
        g = K < R ? G : G + K;
    } else {
        f = K < R ? N + R : N;
        g = K < R ? N : N + K;
    }
    auto a = [](i64 v) { return v < 0 ? -v : v; };
    const i64 V = f * f + g * g;
    const i64 O = V == 0 ? 0 : (a(R * f * g) + a(N * f * (f - g)) + a(K * f * f) + a(G * f * (f + g))) / V;
    const i64 W = V == 0 ? 0 : (a(R * g * g) + a(N * g * (f - g)) + a(K * f * g) + a(G * g * (f + g))) / V;
    const i64 F = V == 0 ? 0 : (a(R * f * g) + a(N * g * (f + g)) + a(K * g * g) + a(G * g * (f - g))) / V;
    const i64 H = V == 0 ? 0 : (a(R * f * f) + a(N * f * (f + g)) + a(K * f * g) + a(G * f * (f - g))) / V;
    const i64 below = O * O + W * W;
    *strength = below == 0 ? 256 : static_cast<i32>(64 * (F * F + H * H) / below);
    if (f == 0) {
        *dx = 0, *dy = -16;
    } else if (g != 0 && a(g) < a(f)) {
        *dx = static_cast<i32>(16 * f / g), *dy = -16;
    } else {
        *dx = 16, *dy = g == 0 ? 0 : static_cast<i32>(-16 * g / f);
    }
    return 1;
}

void Loc_SortSpacingRegions(i32 count) {
    const i32 n = count < 0 ? 0 : (count > kSpacingRegionsMax ? kSpacingRegionsMax : count);
    i64 keys[kSpacingRegionsMax];
    const i32 cx = g_image.width / 2, cy = g_image.height / 2;
    for (i32 k = 0; k < n; ++k) {
        const SPACING_REGION &r = g_spacingRegions[k];
        const i64 ddx = static_cast<i16>((r.left + r.right) / 2 - cx);
        const i64 ddy = static_cast<i16>((r.top + r.bottom) / 2 - cy);
        keys[k] = ddx * ddx + ddy * ddy;
        // Inserted after every earlier entry with a key not above its own.
        i32 at = k;
        while (at > 0 && keys[g_spacingOrder[at - 1]] > keys[k]) {
            g_spacingOrder[at] = g_spacingOrder[at - 1];
            --at;
        }
        g_spacingOrder[at] = static_cast<i16>(k);
    }
}

void Loc_DumpSpacingRegions(i32 count) {
    const i32 n = count < 0 ? 0 : (count > kSpacingRegionsMax ? kSpacingRegionsMax : count);
    const i32 w = g_image.width, h = g_image.height;
    if (n == 0 || w <= 0 || h <= 0) return;
    const int fd = ::open("D:\\AREASAS.txt", O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) return;
    for (i32 k = 0; k < n; ++k) {
        const GEO_POINT *c = g_spacingRegions[k].corners;
        const i64 sx = static_cast<i64>(c[0].x) + c[1].x + c[2].x + c[3].x;
        const i64 sy = static_cast<i64>(c[0].y) + c[1].y + c[2].y + c[3].y;
        const f64 cx = static_cast<f64>((sx + 2) / 4), cy = static_cast<f64>((sy + 2) / 4);
        const f64 side1 = std::hypot(static_cast<f64>(c[0].x - c[1].x), static_cast<f64>(c[0].y - c[1].y));
        const f64 side2 = std::hypot(static_cast<f64>(c[2].x - c[1].x), static_cast<f64>(c[2].y - c[1].y));
        char line[160];
        const int len = std::snprintf(line, sizeof(line), "%3.6f\t%3.6f\t%3.6f\t%d\t%d\r\n", (cx - w / 2) / w,
                                      (cy - h / 2) / h, 100.0 * side1 * side2 / (static_cast<f64>(w) * h), w, h);
        if (len > 0 && len < static_cast<int>(sizeof(line)) && ::write(fd, line, static_cast<size_t>(len)) != len) break;
    }
    ::close(fd);
}

i32 Loc_FindSpacingRegions() {
    if (Loc_SetupCellGrid() == 0 || !GridReady()) return 0;
    const CELL_GRID &g = g_cellGrid;
    i32 count = 0;
    for (i32 cy = 0; cy < g.down && count < kSpacingRegionsMax; ++cy)
        for (i32 cx = 0; cx < g.across && count < kSpacingRegionsMax; ++cx)
            if (*CellAt(g.m5, cx, cy) != 0 && Loc_EvaluateSpacingRegion(cx, cy, &g_spacingRegions[count]) != 0) ++count;
    if (count == 0) return 0;
    Loc_SortSpacingRegions(count);
    return count;
}

i32 Loc_EvaluateSpacingRegion(i32 cx, i32 cy, SPACING_REGION *out) {
    if (out == nullptr || !GridReady()) return 0;
    CELL_GRID &g = g_cellGrid;
    const i32 n = Loc_TraceCellHull(cx, cy);
    HULL_STATS stats{};
    Loc_ClearCellHull(g.hull, n, &stats);
    GEO_POINT corners[4];
    i32 aligned = 0;
    if (!MeasureCellHull(g.hull, n, stats, corners, &aligned)) return 0;
    WriteSpacingBox(out, corners);
    for (i32 k = 0; k < 4; ++k) out->corners[k] = corners[k];
    out->aligned = aligned;
    return 1;
}

i32 Loc_EvaluateSpacingRegionAt(i32 cx, i32 cy, SPACING_REGION *out) {
    if (out == nullptr || !GridReady()) return 0;
    CELL_GRID &g = g_cellGrid;
    u16 start = 0;
    const i32 n = Loc_TraceCellHullFromRun(cx, cy, &start);
    if (n <= 8 || start >= n) return 0;
    HULL_STATS stats{};
    Loc_ClearCellHullStats(g.hull + start, n - start, &stats);
    GEO_POINT corners[4];
    i32 aligned = 0;
    if (!MeasureCellHull(g.hull + start, n - start, stats, corners, &aligned)) return 0;
    WriteSpacingBox(out, corners);
    return 1;
}

i32 Loc_TraceCellHull(i32 cx, i32 cy) {
    CELL_GRID &g = g_cellGrid;
    if (!GridReady()) return 0;
    return Loc_TraceGridHull(g.m5, g.across, g.down, cx, cy, g.hull);
}

i32 Loc_TraceCellHullFromRun(i32 cx, i32 cy, u16 *start) {
    CELL_GRID &g = g_cellGrid;
    if (start != nullptr) *start = 0;
    if (!GridReady() || !MaskSet(cx, cy)) return 0;
    while (MaskSet(cx + 1, cy)) ++cx;
    // The hull's walk needs a start on the hull itself: the blob's first cell in row order.
    GEO_POINT top{};
    if (Loc_OutlineTopCell(g.m5, g.across, g.down, cx, cy, &top) == 0) return 0;
    return Loc_TraceGridHull(g.m5, g.across, g.down, top.x, top.y, g.hull);
}

void Loc_ClearCellHull(const GEO_POINT *hull, i32 count, HULL_STATS *stats) {
    HULL_STATS local{};
    HULL_STATS &s = stats != nullptr ? *stats : local;
    s = HULL_STATS{};
    if (!GridReady()) return;
    Loc_VisitHullSpans(hull, count, g_cellGrid.across, g_cellGrid.down, CountAndClearSpan, &s);
}

void Loc_ClearCellHullStats(const GEO_POINT *hull, i32 count, HULL_STATS *stats) {
    Loc_ClearCellHull(hull, count, stats);
}

u32 Loc_CellHullRectangle(GEO_POINT out[4], const GEO_POINT *hull, i32 count) {
    return Loc_MinAreaRectangleScaled(out, hull, count, 32);
}

i32 Loc_FindSpacingRegionSpiral(SPACING_REGION *out) {
    CELL_GRID &g = g_cellGrid;
    if (out == nullptr || !GridReady()) return 0;
    const i32 n = g.across, m = g.down, mx = n / 2, my = m / 2;
    auto tryCell = [&](i32 x, i32 y) { return MaskSet(x, y) && Loc_EvaluateSpacingRegionAt(x, y, out) != 0; };
    // Every ring grows the radius, and the search ends once a ring reaches the grid's sides.
    for (i32 r = g.ringRadius < 0 ? 0 : g.ringRadius; mx - r > 2 && mx + r < n; r = g.ringRadius) {
        g.ringRadius = r + 1;
        for (i32 x = mx - r; x <= mx + r; ++x) {
            if (my - r > 0 && tryCell(x, my - r)) return 1;
            if (my + r < m && tryCell(x, my + r)) return 1;
        }
        // Between those rows, on the grid only.
        for (i32 y = my - r + 1 < 0 ? 0 : my - r + 1; y < my + r && y < m; ++y) {
            if (tryCell(mx - r, y)) return 1;
            if (tryCell(mx + r, y)) return 1;
        }
    }
    return 0;
}

}  // namespace vexo

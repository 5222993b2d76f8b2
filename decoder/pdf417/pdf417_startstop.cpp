#include "pdf417/pdf417_startstop.h"

#include <algorithm>
#include <cmath>

#include "core/arena.h"

namespace vexo {

namespace {

// The step table of the confirmation; only the first two steps are ever taken.
constexpr i32 kConfirmSteps[6] = {8, 4, 12, 16, 20, 24};
static_assert(sizeof(kConfirmSteps) == 6 * sizeof(i32));

constexpr i32 kMaxWideElement = 80;
constexpr i32 kMinWideElement = 7;
constexpr i32 kNarrowBelow = 20;
constexpr i32 kPairAbove = 35;
constexpr i32 kRunGap = 50;
constexpr i32 kRunMinEntries = 6;
constexpr i32 kEstimateHalfSpan = 15;
constexpr i64 kMinGradientSquare = 3200;

i32 Abs(i32 v) { return v < 0 ? -v : v; }
i64 Abs64(i64 v) { return v < 0 ? -v : v; }
bool SignIs(i32 g, i32 sign) { return sign > 0 ? g > 0 : g < 0; }
bool Stronger(i32 g, i32 current, i32 sign) { return sign > 0 ? g > current : g < current; }
i32 Quotient(i32 a, i32 b) { return b == 0 ? 0 : a / b; }

i32 Pixel(const PDF_REGION_SEARCH *s, i32 x, i32 y) { return s->pixels[static_cast<i64>(y) * s->width + x]; }

bool SobelInside(const PDF_REGION_SEARCH *s, i32 x, i32 y) {
    return x >= 1 && y >= 1 && x < s->width - 1 && y < s->height - 1;
}

// Horizontal 3 x 3 Sobel at (x, y); 0 where the neighbourhood leaves the image.
i32 SobelX(const PDF_REGION_SEARCH *s, i32 x, i32 y) {
    if (!SobelInside(s, x, y)) return 0;
    return Pixel(s, x + 1, y - 1) + 2 * Pixel(s, x + 1, y) + Pixel(s, x + 1, y + 1) - Pixel(s, x - 1, y - 1) -
           2 * Pixel(s, x - 1, y) - Pixel(s, x - 1, y + 1);
}

i32 SobelY(const PDF_REGION_SEARCH *s, i32 x, i32 y) {
    if (!SobelInside(s, x, y)) return 0;
    return Pixel(s, x - 1, y + 1) + 2 * Pixel(s, x, y + 1) + Pixel(s, x + 1, y + 1) - Pixel(s, x - 1, y - 1) -
           2 * Pixel(s, x, y - 1) - Pixel(s, x + 1, y - 1);
}

bool ColumnLines(const PDF_REGION_SEARCH *s) {
    return s->scanKind == kPdfScanColumn || s->scanKind == kPdfScanObliqueV;
}

// Along a line (row or column) numbered `line`, at position pos.
i32 SobelAlong(const PDF_REGION_SEARCH *s, i32 line, i32 pos) {
    return ColumnLines(s) ? SobelY(s, line, pos) : SobelX(s, pos, line);
}
i32 SobelAcross(const PDF_REGION_SEARCH *s, i32 line, i32 pos) {
    return ColumnLines(s) ? SobelX(s, line, pos) : SobelY(s, pos, line);
}
i32 PixelOnLine(const PDF_REGION_SEARCH *s, i32 line, i32 pos) {
    return ColumnLines(s) ? Pixel(s, line, pos) : Pixel(s, pos, line);
}

i32 LineSample(const PDF_REGION_SEARCH *s, i32 pos) { return s->linePtr[static_cast<i64>(pos) * s->lineStep]; }

// Image row (kind 3) or column (kind 4) that the oblique line passes at position p.
i32 ObliqueCross(const PDF_REGION_SEARCH *s, i32 p) {
    const i64 v = static_cast<i64>(s->obliqueBase) + static_cast<i64>(s->obliqueSlope) * (p - s->scanStart);
    return static_cast<i32>(v >> s->obliqueShift);
}

// Line number of the scan line at position p.
i32 ScanLineAt(const PDF_REGION_SEARCH *s, i32 p) {
    switch (s->scanKind) {
        case kPdfScanRow: return s->midRow;
        case kPdfScanColumn: return s->midColumn;
        default: return ObliqueCross(s, p);
    }
}

i32 ISqrt(i64 n) {
    if (n <= 0) return 0;
    i64 r = static_cast<i64>(std::sqrt(static_cast<double>(n)));
    while (r * r > n) --r;
    while ((r + 1) * (r + 1) <= n) ++r;
    return static_cast<i32>(r);
}

}  // namespace

// ---- Entry, thresholds and straight scans.

void PDF_InitRegionSearch(PDF_REGION_SEARCH *s, u8 *block, u8 *line, u8 *pixels, i32 width, i32 height,
                          const i32 box[4], PDF_PATTERN_HIT *out, i32 polarityWanted) {
    *s = PDF_REGION_SEARCH{};
    i32 *arrays = reinterpret_cast<i32 *>(block);
    auto next = [&arrays]() {
        i32 *a = arrays;
        arrays += kPdfSearchMaxSide;
        return a;
    };
    s->rowEdges = next();
    s->rowGradient = next();
    s->rowCrossGradient = next();
    s->columnEdges = next();
    s->columnCrossGradient = next();
    s->columnGradient = next();
    s->normalCandidates = next();
    s->inverseCandidates = next();
    s->windows = next();
    s->fineGradient = next();
    s->narrowWidths = next();
    s->narrowList = next();
    s->pairList = next();
    s->localGradient = next();
    s->localEdges = next();
    s->lineBuffer = line;
    s->pixels = pixels;
    s->width = width;
    s->height = height;
    for (int i = 0; i < 4; ++i) s->box[i] = box[i];
    s->out = out;
    s->wantNormal = polarityWanted != 2 ? 1 : 0;
    s->wantInverse = polarityWanted != 1 ? 1 : 0;
    s->windowCapacity = kPdfWindowCapacity;
    s->obliqueShift = 16;
    s->lineStep = 1;
}

void PDF_SetContrastThresholds(PDF_REGION_SEARCH *s) {
    const i32 top = s->box[0], left = s->box[1], right = s->box[2], bottom = s->box[3];
    const i64 area = static_cast<i64>(bottom - top + 1) * (right - left + 1);
    const i32 step = std::max(1, ISqrt(area / 20));
    i32 lo = 255, hi = 0;
    for (i32 y = top; y <= bottom; y += step) {
        for (i32 x = left; x <= right; x += step) {
            const i32 v = Pixel(s, x, y);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
    s->minGrey = lo;
    s->maxGrey = hi;
    const i32 contrast = hi - lo;
    s->edgeThreshold = hi >= 162 ? 30 : 28 * contrast / 162 + 2;
    s->trackThreshold = s->edgeThreshold;
    s->strongThreshold = (contrast * 100) >> 8;
    s->pairThreshold = s->strongThreshold;
    s->fineThreshold = 1;
}

void PDF_ListLineEdges(PDF_REGION_SEARCH *s, i32 from, i32 lastExtremum) {
    const i32 *g = s->gradient;
    i32 *e = s->edges;
    const i32 thr = s->edgeThreshold;
    e[0] = from;
    i32 n = 1;
    s->normalCount = 0;
    s->inverseCount = 0;
    for (i32 x = from + 1; x <= lastExtremum && n < kPdfSearchMaxSide; ++x) {
        const i32 v = g[x];
        const bool rising = v > thr && g[x + 1] <= v && g[x - 1] < v;
        const bool falling = v < -thr && g[x + 1] >= v && g[x - 1] > v;
        if (!rising && !falling) continue;
        const i32 d = x - e[n - 1];
        const i32 before = g[e[n - 1]];
        if (d >= kMinWideElement && d <= kMaxWideElement) {
            if (rising && before < 0) s->normalCandidates[s->normalCount++] = n;
            if (falling && before > 0) s->inverseCandidates[s->inverseCount++] = n;
        }
        e[n++] = x;
    }
    s->edgeCount = n;
}

int PDF_ScanMiddleRow(PDF_REGION_SEARCH *s) {
    const i32 left = s->box[1], right = s->box[2];
    s->scanKind = kPdfScanRow;
    const i32 y = s->midRow = (s->box[0] + s->box[3]) >> 1;
    s->linePtr = s->pixels + static_cast<i64>(y) * s->width;
    s->lineStep = 1;
    s->scanStart = left + 1;
    s->scanEnd = right - 1;
    s->gradient = s->rowGradient;
    s->edges = s->rowEdges;
    for (i32 x = left + 1; x <= right - 1; ++x) s->rowGradient[x] = SobelX(s, x, y);
    PDF_ListLineEdges(s, left + 1, right - 2);
    s->rowEdgeCount = s->edgeCount;
    if (s->edgeCount <= 8) return 0;
    return PDF_TestPatternCandidates(s);
}

int PDF_ScanMiddleColumn(PDF_REGION_SEARCH *s) {
    const i32 top = s->box[0], bottom = s->box[3];
    s->scanKind = kPdfScanColumn;
    const i32 x = s->midColumn = (s->box[1] + s->box[2]) >> 1;
    s->linePtr = s->pixels + x;
    s->lineStep = s->width;
    s->scanStart = top + 1;
    s->scanEnd = bottom - 1;
    s->gradient = s->columnGradient;
    s->edges = s->columnEdges;
    for (i32 y = top + 1; y <= bottom - 1; ++y) s->columnGradient[y] = SobelY(s, x, y);
    PDF_ListLineEdges(s, top + 1, bottom - 2);
    s->columnEdgeCount = s->edgeCount;
    if (s->edgeCount <= 8) return 0;
    return PDF_TestPatternCandidates(s);
}

int PDF_FindStartStopInRegion(u8 *pixels, int width, int height, i32 box[4], void *arg, int mode) {
    if (width < 1 || width > kPdfSearchMaxSide || height < 1 || height > kPdfSearchMaxSide) return 0;
    if (pixels == nullptr || box == nullptr || arg == nullptr) return 0;
    const i32 top = box[0], left = box[1], right = box[2], bottom = box[3];
    if (top < 0 || bottom >= height || top >= bottom - 3) return 0;
    if (left < 0 || right >= width || left >= right - 3) return 0;
    void *blocks[2] = {Mem_Alloc(kPdfSearchBlockBytes), nullptr};
    if (blocks[0] == nullptr) return 0;
    blocks[1] = Mem_Alloc(kPdfSearchMaxSide);
    if (blocks[1] == nullptr) {
        Mem_FreeList(blocks, 1);
        return 0;
    }
    PDF_REGION_SEARCH s;
    PDF_InitRegionSearch(&s, static_cast<u8 *>(blocks[0]), static_cast<u8 *>(blocks[1]), pixels, width, height, box,
                         static_cast<PDF_PATTERN_HIT *>(arg), mode);
    PDF_SetContrastThresholds(&s);
    int found = 0;
    if (right - left < bottom - top) {
        found = PDF_ScanMiddleColumn(&s);
        if (found == 0) found = PDF_ScanMiddleRow(&s);
    } else {
        found = PDF_ScanMiddleRow(&s);
        if (found == 0) found = PDF_ScanMiddleColumn(&s);
    }
    if (found == 0) found = PDF_ObliqueRetry(&s);
    Mem_FreeList(blocks, 2);
    return found != 0 ? 1 : 0;
}

// ---- Pattern ratio tests. e[i - 1] and e[i] bound the wide element; spans are compared with
// the total width in hundredths of a module.

namespace {

bool SpanWithin(i32 span, i32 mul, i32 t, i32 low, i32 high) {
    const i64 v = static_cast<i64>(span) * mul;
    return v >= static_cast<i64>(t) * low && v <= static_cast<i64>(t) * high;
}
bool SpanAtMost(i32 span, i32 mul, i32 t, i32 high) { return static_cast<i64>(span) * mul <= static_cast<i64>(t) * high; }
bool SpanAtLeast(i32 span, i32 mul, i32 t, i32 low) { return static_cast<i64>(span) * mul >= static_cast<i64>(t) * low; }

constexpr i32 kStartModules = 1700;
constexpr i32 kStopModules = 1800;

}  // namespace

int PDF_QuickStartTest(const i32 *e, i32 i, i32 t) {
    const i32 *p = e + i;
    if (!SpanWithin(p[1] - p[-1], kStartModules, t, 700, 1000)) return 0;
    for (i32 j = 1; j <= 5; ++j) {
        if (!SpanWithin(p[j + 1] - p[j - 1], kStartModules, t, 100, 350)) return 0;
    }
    return SpanWithin(p[7] - p[5], kStartModules, t, 300, 550) ? 1 : 0;
}

int PDF_QuickStopTest(const i32 *e, i32 i, i32 t) {
    const i32 *p = e + i;
    const i32 m = kStopModules;
    return SpanWithin(p[1] - p[-1], m, t, 700, 900) && SpanWithin(p[2] - p[0], m, t, 100, 350) &&
                   SpanWithin(p[3] - p[1], m, t, 300, 500) && SpanWithin(p[4] - p[2], m, t, 300, 500) &&
                   SpanWithin(p[5] - p[3], m, t, 100, 350) && SpanWithin(p[6] - p[4], m, t, 100, 350) &&
                   SpanWithin(p[7] - p[5], m, t, 200, 400) && SpanWithin(p[8] - p[6], m, t, 200, 400)
               ? 1
               : 0;
}

int PDF_StrictStartTest(const i32 *e, i32 i, i32 t) {
    const i32 *p = e + i;
    const i32 m = kStartModules;
    const i32 k = t / 10;
    if (!SpanWithin(p[7] - p[5], m, t, 380 - Quotient(169, k), 440 + Quotient(437, k + 2))) return 0;
    const i32 pairLow = 170 - Quotient(303, k + 3);
    for (i32 j = 1; j <= 4; ++j) {
        if (!SpanWithin(p[j + 2] - p[j], m, t, pairLow, 180 + Quotient(861, k + 3))) return 0;
    }
    if (!SpanWithin(p[2] - p[0], m, t, pairLow, 200 + Quotient(861, k + 3))) return 0;
    if (!SpanWithin(p[1] - p[-1], m, t, std::max(880 - Quotient(1435, k + 5), 720), 910 + Quotient(322, k + 1))) return 0;
    if (!SpanAtMost(p[3] - p[2], m, t, 170) || !SpanAtLeast(p[7] - p[6], m, t, 180) || !SpanAtMost(p[5] - p[1], m, t, 500) ||
        !SpanAtLeast(p[6] - p[2], m, t, 335) || !SpanAtMost(p[7] - p[4], m, t, 630)) {
        return 0;
    }
    const i64 b1 = p[2] - p[1], s1 = p[3] - p[2], b2 = p[4] - p[3], s2 = p[5] - p[4], b3 = p[6] - p[5], s0 = p[1] - p[0];
    const i64 ends = static_cast<i64>(p[7] - p[5]) - (p[4] - p[0]);
    const i64 spread = (b2 - b3) * (b2 - b3) + (b2 - b1) * (b2 - b1) + (s1 - s2) * (s1 - s2) + (s1 - s0) * (s1 - s0) + ends * ends;
    return spread <= 20 && Abs64(s2 - b2) <= 4 && Abs64(s1 - b1) <= 4 ? 1 : 0;
}

int PDF_StrictStopTest(const i32 *e, i32 i, i32 t) {
    const i32 *p = e + i;
    const i32 m = kStopModules;
    const i32 k = t / 10;
    const i32 lowA = 280 - Quotient(451, k + 3), highA = 320 + Quotient(272, k + 2);
    if (!SpanWithin(p[8] - p[6], m, t, lowA, highA) || !SpanWithin(p[7] - p[5], m, t, lowA, highA)) return 0;
    const i32 lowB = 180 - Quotient(254, k + 2), highB = 225 + Quotient(373, k + 2);
    if (!SpanWithin(p[6] - p[4], m, t, lowB, highB) || !SpanWithin(p[5] - p[3], m, t, lowB, highB)) return 0;
    const i32 lowC = 375 - Quotient(307, k + 1), highC = 420 + Quotient(334, k + 3);
    if (!SpanWithin(p[4] - p[2], m, t, lowC, highC) || !SpanWithin(p[3] - p[1], m, t, lowC, highC)) return 0;
    if (!SpanWithin(p[2] - p[0], m, t, lowB, 225 + Quotient(542, k + 2))) return 0;
    if (!SpanWithin(p[1] - p[-1], m, t, 785 - Quotient(350, k + 2), 820 + Quotient(232, k + 2))) return 0;
    if (!SpanAtLeast(p[2] - p[-1], m, t, 835)) return 0;
    const i64 bars[4] = {p[2] - p[1], p[4] - p[3], p[6] - p[5], p[8] - p[7]};
    for (int j = 0; j < 3; ++j) {
        if (Abs64(bars[j + 1] - bars[j]) > 3) return 0;
    }
    const i32 space1 = p[5] - p[4], space3 = p[3] - p[2], space2 = p[7] - p[6];
    return space1 < space3 && space3 >= space2 && space2 >= space1 ? 1 : 0;
}

// ---- Reference strengths for the edges after the wide element.

void PDF_RefsStartFwd(i32 *const *r, const i32 *g, const i32 *p, i32 i, i32 f, i32 s) {
    *r[0] = (f * std::min(g[p[i + 2]], g[p[i + 4]])) >> s;
    *r[5] = (f * g[p[i + 6]]) >> s;
}
void PDF_RefsStartFwdInv(i32 *const *r, const i32 *g, const i32 *p, i32 i, i32 f, i32 s) {
    *r[0] = (f * std::min(-g[p[i + 4]], -g[p[i + 2]])) >> s;
    *r[5] = -(f * g[p[i + 6]]) >> s;
}
void PDF_RefsStartBack(i32 *const *r, const i32 *g, const i32 *p, i32 i, i32 f, i32 s) {
    *r[0] = (f * std::min(-g[p[i - 5]], -g[p[i - 3]])) >> s;
    *r[5] = -(f * g[p[i - 7]]) >> s;
}
void PDF_RefsStartBackInv(i32 *const *r, const i32 *g, const i32 *p, i32 i, i32 f, i32 s) {
    *r[0] = (f * std::min(g[p[i - 3]], g[p[i - 5]])) >> s;
    *r[5] = (f * g[p[i - 7]]) >> s;
}
void PDF_RefsStopFwd(i32 *const *r, const i32 *g, const i32 *p, i32 i, i32 f, i32 s) {
    *r[1] = (f * g[p[i + 2]]) >> s;
    *r[0] = (f * g[p[i + 4]]) >> s;
    *r[5] = (f * g[p[i + 6]]) >> s;
}
void PDF_RefsStopFwdInv(i32 *const *r, const i32 *g, const i32 *p, i32 i, i32 f, i32 s) {
    *r[1] = -(f * g[p[i + 2]]) >> s;
    *r[0] = -(f * g[p[i + 4]]) >> s;
    *r[5] = -(f * g[p[i + 6]]) >> s;
}
void PDF_RefsStopBack(i32 *const *r, const i32 *g, const i32 *p, i32 i, i32 f, i32 s) {
    *r[1] = -(f * g[p[i - 3]]) >> s;
    *r[0] = -(f * g[p[i - 5]]) >> s;
    *r[5] = -(f * g[p[i - 7]]) >> s;
}
void PDF_RefsStopBackInv(i32 *const *r, const i32 *g, const i32 *p, i32 i, i32 f, i32 s) {
    *r[1] = (f * g[p[i - 3]]) >> s;
    *r[0] = (f * g[p[i - 5]]) >> s;
    *r[5] = (f * g[p[i - 7]]) >> s;
}

// ---- Candidate dispatch.

namespace {

struct PDF_READING {
    i32 isStart;
    i32 forward;
    i32 firstSlot;
    i32 lastSlot;
    i32 outerSlot;  // the slot that must be set for the reading to be tried
    PDF_REF_CALLBACK initialDark, initialLight, trackDark, trackLight;
};

// In the order they are tried: start-backward, start-forward, stop-backward, stop-forward.
constexpr PDF_READING kReadings[4] = {
    {1, 0, -8, 0, -8, PDF_RefsStartBack, PDF_RefsStartBackInv, PDF_RefsStartFwd, PDF_RefsStartFwdInv},
    {1, 1, -1, 7, 7, PDF_RefsStartFwd, PDF_RefsStartFwdInv, PDF_RefsStartFwd, PDF_RefsStartFwdInv},
    {0, 0, -9, 0, -9, PDF_RefsStopBack, PDF_RefsStopBackInv, PDF_RefsStopFwd, PDF_RefsStopFwdInv},
    {0, 1, -1, 8, 8, PDF_RefsStopFwd, PDF_RefsStopFwdInv, PDF_RefsStopFwd, PDF_RefsStopFwdInv},
};
static_assert(sizeof(kReadings) / sizeof(kReadings[0]) == 4);

// The reading's edges in forward order (a backward reading mirrored and negated), so that
// one set of tests serves both: out[0] is the wide element's outer edge.
i32 ForwardEdges(const i32 *win, i32 c, const PDF_READING &r, i32 *out) {
    const i32 n = r.lastSlot - r.firstSlot + 1;
    for (i32 k = 0; k < n; ++k) out[k] = r.forward ? win[c - 1 + k] : -win[c - k];
    return n;
}

int TryReading(PDF_REGION_SEARCH *s, i32 c, const PDF_READING &r, i32 lightBars, i32 fineWindow) {
    if (s->windows[c + r.outerSlot] < 0) return 0;
    i32 e[10];
    const i32 n = ForwardEdges(s->windows, c, r, e);
    const i32 t = e[n - 1] - e[0];
    const PDF_PATTERN_TEST quick = r.isStart ? PDF_QuickStartTest : PDF_QuickStopTest;
    const PDF_PATTERN_TEST strict = r.isStart ? PDF_StrictStartTest : PDF_StrictStopTest;
    if (quick(e, 1, t) == 0 || strict(e, 1, t) == 0) return 0;
    PDF_PATTERN_DESC desc{quick,        strict,     lightBars ? r.initialLight : r.initialDark,
                          lightBars ? r.trackLight : r.trackDark, lightBars ? 0 : 1, r.isStart, r.forward,
                          r.firstSlot,  r.lastSlot};
    s->pattern = &desc;
    const int confirmed = PDF_ConfirmPatternOnLines(s, fineWindow, c);
    s->pattern = nullptr;
    return confirmed;
}

}  // namespace

int PDF_TestPatternCandidates(PDF_REGION_SEARCH *s) {
    for (i32 lightBars = 0; lightBars <= 1; ++lightBars) {
        if ((lightBars ? s->wantInverse : s->wantNormal) == 0) continue;
        i32 *list = lightBars ? s->inverseCandidates : s->normalCandidates;
        i32 *count = lightBars ? &s->inverseCount : &s->normalCount;
        PDF_BuildEdgeWindows(s, list, count, lightBars);
        for (i32 i = 0; i < *count; ++i) {
            for (const PDF_READING &r : kReadings) {
                if (TryReading(s, list[i], r, lightBars, i >= s->firstFineWindow ? 1 : 0) != 0) return 1;
            }
        }
    }
    return 0;
}

// ---- Edge windows.

namespace {

// Merges edges E[from], E[from + step], ... into window slots from `slot` outwards. The open
// slot takes a stronger edge of its sign; an edge of the other sign opens the next slot.
// Edges weaker than h are passed over. endOnLastOpen: stop as soon as the outermost slot is
// opened (else stop when one beyond it would be needed).
void WalkEdges(const PDF_REGION_SEARCH *s, i32 *win, i32 c, i32 slot, i32 sign, bool provisional, i32 from, i32 step, i32 h,
               bool endOnLastOpen) {
    const i32 *e = s->edges;
    const i32 *g = s->gradient;
    const i32 last = step < 0 ? c - 9 : c + 8;
    for (i32 k = from; k >= 0 && k < s->edgeCount; k += step) {
        const i32 p = e[k];
        const i32 v = g[p];
        if (h > 0 && v > -h && v < h) continue;
        if (SignIs(v, sign)) {
            if (provisional || Stronger(v, g[win[slot]], sign)) win[slot] = p;
            provisional = false;
            continue;
        }
        if (slot == last) break;
        slot += step;
        sign = -sign;
        win[slot] = p;
        provisional = false;
        if (endOnLastOpen && slot == last) break;
    }
}

i32 *OpenWindow(PDF_REGION_SEARCH *s, i32 *c) {
    *c = s->windowCount * kPdfWindowSlots + 9;
    i32 *win = s->windows;
    win[*c - 9] = win[*c - 8] = win[*c + 7] = win[*c + 8] = -1;
    return win;
}

void WindowFromCandidate(PDF_REGION_SEARCH *s, i32 j, i32 s1, i32 *c) {
    const i32 *e = s->edges;
    i32 *win = OpenWindow(s, c);
    win[*c - 1] = win[*c - 2] = e[j - 1];
    win[*c] = win[*c + 1] = e[j];
    WalkEdges(s, win, *c, *c - 2, -s1, true, j - 2, -1, 0, true);
    WalkEdges(s, win, *c, *c + 1, s1, true, j + 1, 1, 0, true);
    ++s->windowCount;
}

// Pass 2: wide elements whose inside shows only weak edges.
void WindowsAcrossWeakEdges(PDF_REGION_SEARCH *s, i32 *list, i32 *n, i32 s1, i32 *pairs) {
    const i32 *e = s->edges;
    const i32 *g = s->gradient;
    const i32 nE = s->edgeCount;
    i32 o = 0;
    while (o < nE - 2) {
        const i32 first = g[e[o]];
        if (s1 * first < s->strongThreshold) {
            ++o;
            continue;
        }
        const i32 t = Abs(first) >> 1;
        auto weak = [&](i32 idx) { return g[e[idx]] > -t && g[e[idx]] < t; };
        if (!weak(o + 1)) {
            ++o;
            continue;
        }
        i32 k = o + 1;
        while (k < nE - 2 && weak(k) && e[k] - e[o] <= kMaxWideElement) ++k;
        const i32 d = e[k] - e[o];
        if (-s1 * g[e[k]] < t || d < kMinWideElement || d > kMaxWideElement) {
            o = k;
            continue;
        }
        if (s->windowCount >= s->windowCapacity) break;
        s->pairList[2 * *pairs] = o;
        s->pairList[2 * *pairs + 1] = k;
        ++*pairs;
        i32 c = 0;
        i32 *win = OpenWindow(s, &c);
        if (o >= 7) {
            for (i32 q = 0; q <= 8; ++q) win[c - 9 + q] = o - 8 + q >= 0 ? e[o - 8 + q] : -1;
        } else {
            win[c - 1] = e[o];
        }
        if (k <= nE - 8) {
            for (i32 q = 0; q <= 8; ++q) win[c + q] = k + q < nE ? e[k + q] : -1;
        } else {
            win[c] = e[k];
        }
        ++s->windowCount;
        list[(*n)++] = c;
        o = k;
    }
}

// Pass 3: the pairs again with a threshold of half their weaker edge.
void WindowsFromPairs(PDF_REGION_SEARCH *s, i32 *list, i32 *n, i32 s1, i32 pairs) {
    const i32 *e = s->edges;
    const i32 *g = s->gradient;
    const i32 taken = std::min(pairs, s->windowCapacity - s->windowCount);
    for (i32 q = 0; q < taken; ++q) {
        const i32 a = s->pairList[2 * q], b = s->pairList[2 * q + 1];
        const i32 strength = std::min(s1 * g[e[a]], -s1 * g[e[b]]);
        if (strength <= s->pairThreshold) continue;
        i32 c = 0;
        i32 *win = OpenWindow(s, &c);
        win[c - 1] = e[a];
        win[c] = e[b];
        const i32 h = strength >> 1;
        WalkEdges(s, win, c, c - 1, s1, false, a - 1, -1, h, false);
        WalkEdges(s, win, c, c, -s1, false, b + 1, 1, h, false);
        ++s->windowCount;
        list[(*n)++] = c;
    }
}

// Merges the extrema of the fine profile over [x, xEnd) into f (entries alternate in sign,
// f[0]'s sign is `firstSign`); returns the new count.
i32 MergeFineEdges(const PDF_REGION_SEARCH *s, i32 *f, i32 nF, i32 base, i32 firstSign, i32 x, i32 xEnd) {
    const i32 *d = s->fineGradient;
    const i32 thr = s->fineThreshold;
    for (; x < xEnd; ++x) {
        const i32 v = d[x];
        const bool rising = v > thr && d[x + 1] <= v && d[x - 1] < v;
        const bool falling = v < -thr && d[x + 1] >= v && d[x - 1] > v;
        if (!rising && !falling) continue;
        const i32 sign = rising ? 1 : -1;
        const i32 openSign = ((nF - 1 - base) & 1) == 0 ? firstSign : -firstSign;
        if (sign == openSign) {
            if (Stronger(v, d[f[nF - 1]], sign)) f[nF - 1] = x;
        } else if (nF < kPdfSearchMaxSide) {
            f[nF++] = x;
        }
    }
    return nF;
}

// Pass 4: one narrow candidate re-profiled with simple differences.
void FineWindow(PDF_REGION_SEARCH *s, i32 j, i32 s1, i32 *list, i32 *n) {
    const i32 a = s->edges[j - 1], b = s->edges[j];
    const i32 w = b - a;
    const i32 x0 = std::max(s->scanStart, a - 2 * w);
    const i32 x1 = std::min(s->scanEnd, b + 2 * w);
    i32 *d = s->fineGradient;
    for (i32 x = x0; x <= x1; ++x) d[x] = LineSample(s, x + 1) - LineSample(s, x);
    i32 *f = s->narrowWidths;  // the fine edge list from here on
    f[0] = x0 + 1;
    i32 nF = MergeFineEdges(s, f, 1, 0, s1, x0 + 1, a);
    if (((nF - 1) & 1) == 0) --nF;  // the last entry before the element must be of the other sign
    const i32 nb = nF;
    const i32 marker = nF;
    f[nF++] = b + 1;
    nF = MergeFineEdges(s, f, nF, marker, s1, b + 1, x1);
    i32 start = SignIs(d[f[marker]], s1) ? marker : marker + 1;
    if (start < nF && SignIs(d[f[start]], -s1)) ++start;
    i32 c = 0;
    i32 *win = OpenWindow(s, &c);
    win[c - 1] = a;
    win[c] = b;
    if (nb >= 8) {
        for (i32 q = 0; q < 8; ++q) win[c - 9 + q] = f[nb - 8 + q];
    } else if (nb == 7) {
        for (i32 q = 0; q < 7; ++q) win[c - 8 + q] = f[q];
    }
    const i32 after = nF - start;
    if (after >= 7) {
        const i32 fill = after >= 8 ? 8 : 7;
        for (i32 q = 0; q < fill; ++q) win[c + 1 + q] = f[start + q];
    }
    ++s->windowCount;
    list[(*n)++] = c;
}

// Orders the first `places` narrow candidates by width, widest first (earlier among equals).
void OrderNarrow(PDF_REGION_SEARCH *s, i32 count, i32 places) {
    i32 *id = s->narrowList;
    i32 *w = s->narrowWidths;
    for (i32 q = 0; q < places; ++q) {
        i32 best = q;
        for (i32 r = q + 1; r < count; ++r) {
            if (w[r] > w[best]) best = r;
        }
        if (best == q) continue;
        const i32 bw = w[best], bid = id[best];
        for (i32 r = best; r > q; --r) {
            w[r] = w[r - 1];
            id[r] = id[r - 1];
        }
        w[q] = bw;
        id[q] = bid;
    }
}

}  // namespace

void PDF_BuildEdgeWindows(PDF_REGION_SEARCH *s, i32 *list, i32 *count, i32 lightBars) {
    const i32 s1 = lightBars ? 1 : -1;
    const i32 *e = s->edges;
    s->windowCount = 0;
    // Every listed candidate needs a window of its own; beyond the capacity they leave the list.
    const i32 listed = std::min(*count, s->windowCapacity);
    i32 narrow = 0, pairs = 0;
    for (i32 q = 0; q < listed; ++q) {
        const i32 j = list[q];
        const i32 w = e[j] - e[j - 1];
        if (w < kNarrowBelow) {
            s->narrowList[narrow] = j;
            s->narrowWidths[narrow] = w;
            ++narrow;
        } else if (w > kPairAbove) {
            s->pairList[2 * pairs] = j - 1;
            s->pairList[2 * pairs + 1] = j;
            ++pairs;
        }
        i32 c = 0;
        WindowFromCandidate(s, j, s1, &c);
        list[q] = c;
    }
    i32 n = listed;
    WindowsAcrossWeakEdges(s, list, &n, s1, &pairs);
    WindowsFromPairs(s, list, &n, s1, pairs);
    s->firstFineWindow = s->windowCount;
    const i32 wide = listed - narrow;
    const i32 taken = std::min({wide >= 5 ? 0 : 5 - wide, narrow, s->windowCapacity - s->windowCount});
    if (taken < narrow) OrderNarrow(s, narrow, taken);
    // The widths are not needed past here: their array becomes the fine edge list.
    for (i32 q = 0; q < taken; ++q) FineWindow(s, s->narrowList[q], s1, list, &n);
    *count = n;
}

// ---- Confirmation on neighbouring lines.

namespace {

struct PDF_TRACK {
    i32 e0, e1, w, lo, hi, line, thr;
};

struct PDF_LINE_BOUNDS {
    i32 lineLo, lineHi, posLo, posHi;
};

PDF_LINE_BOUNDS LineBounds(const PDF_REGION_SEARCH *s) {
    const i32 top = s->box[0], left = s->box[1], right = s->box[2], bottom = s->box[3];
    if (ColumnLines(s)) return {left, right, top, bottom};
    return {top, bottom, left, right};
}

// The strongest member of a run of same-signed extrema and the member right after it.
struct PDF_RUN {
    i32 sign;
    i32 strongest;
    i32 next;  // -1: none
};

// Finds the pattern on line n from the predicted wide-element start x0. On success the
// line's values go to *t and the refs are renewed from this line.
bool TrackLine(PDF_REGION_SEARCH *s, const PDF_LINE_BOUNDS &bounds, i32 n, i32 x0, i32 fine, PDF_TRACK *t,
               i32 *const *refs) {
    const PDF_PATTERN_DESC *desc = s->pattern;
    const i32 forward = desc->forward;
    const i32 s1 = desc->polarity ? -1 : 1;
    const i32 ws = std::max(x0 - 4, bounds.posLo + 1);
    const i32 we = std::min(x0 + t->w + 4, bounds.posHi - 1);
    if (we - ws + 1 < 3) return false;
    const i32 len = we - ws + 1;
    i32 *prof = s->localGradient;
    auto posAt = [&](i32 k) { return forward ? ws + k : we - k; };
    for (i32 k = 0; k < len; ++k) {
        const i32 v = SobelAlong(s, n, posAt(k));
        prof[k] = forward ? v : -v;
    }
    // Wide element: the first falling-then-rising (dark bars) pair of runs of the right width.
    i32 f1 = -1, f2 = -1;
    PDF_RUN prev{0, -1, -1}, cur{0, -1, -1};
    auto closeRun = [&]() {
        if (prev.sign == s1 && cur.sign == -s1) {
            const i32 dist = cur.strongest - prev.strongest;
            if (Abs(dist - t->w) <= 3) {
                f1 = prev.strongest;
                f2 = cur.strongest;
                if (cur.next >= 0) {
                    const i32 d2 = cur.next - f1;
                    if (Abs(d2 - t->w) <= 3 && Abs(d2 - t->w) < Abs(dist - t->w)) f2 = cur.next;
                }
                return true;
            }
        }
        prev = cur;
        return false;
    };
    for (i32 k = 1; k < len - 1 && f1 < 0; ++k) {
        const i32 v = prof[k];
        const bool rising = v > t->thr && prof[k + 1] <= v && prof[k - 1] < v;
        const bool falling = v < -t->thr && prof[k + 1] >= v && prof[k - 1] > v;
        if (!rising && !falling) continue;
        const i32 sign = rising ? 1 : -1;
        if (cur.strongest >= 0 && sign == cur.sign) {
            if (Stronger(v, prof[cur.strongest], sign)) {
                cur.strongest = k;
                cur.next = -1;
            } else if (cur.next < 0) {
                cur.next = k;
            }
            continue;
        }
        if (cur.strongest >= 0 && closeRun()) break;
        cur = {sign, k, -1};
    }
    if (f1 < 0 && cur.strongest >= 0) closeRun();
    if (f1 < 0) return false;
    const i32 strength1 = Abs(prof[f1]), strength2 = Abs(prof[f2]);

    // Continuation up to the expected far end plus 8 positions.
    const i32 room = forward ? bounds.posHi - 1 - ws : we - bounds.posLo - 1;
    const i32 kEnd = std::min(f2 + (t->hi - t->lo) - t->w + 8, room);
    if (kEnd >= kPdfSearchMaxSide) return false;
    for (i32 k = f2; k <= kEnd; ++k) {
        const i32 pos = posAt(k);
        if (fine) {
            const i32 nextPos = forward ? pos + 1 : pos - 1;
            prof[k] = PixelOnLine(s, n, nextPos) - PixelOnLine(s, n, pos);
        } else {
            const i32 v = SobelAlong(s, n, pos);
            prof[k] = forward ? v : -v;
        }
    }
    const i32 needed = desc->isStart ? 7 : 8;
    i32 e[10] = {f1, f2};
    i32 taken = 0;
    i32 lastSign = -s1;
    for (i32 k = f2 + 1; k < kEnd && taken < needed; ++k) {
        const i32 v = prof[k];
        const bool rising = v > 0 && prof[k + 1] <= v && prof[k - 1] < v;
        const bool falling = v < 0 && prof[k + 1] >= v && prof[k - 1] > v;
        if (!rising && !falling) continue;
        const i32 sign = rising ? 1 : -1;
        if (taken > 0 && sign == lastSign) {
            if (Abs(v) > Abs(prof[e[1 + taken]])) e[1 + taken] = k;
            continue;
        }
        if (sign == lastSign) continue;  // before the first: same sign as the second edge
        if (Abs(v) <= *refs[taken]) continue;
        e[2 + taken] = k;
        ++taken;
        lastSign = sign;
    }
    if (taken < needed) return false;
    const i32 total = e[1 + needed] - e[0];
    if (desc->quickTest(e, 1, total) == 0 || desc->strictTest(e, 1, total) == 0) return false;
    desc->trackRefs(refs, prof, e, 1, 1, 2);
    if (forward) {
        t->lo = t->e0 = ws + f1;
        t->e1 = ws + f2;
        t->hi = ws + e[1 + needed];
    } else {
        t->hi = t->e1 = we - f1;
        t->e0 = we - f2;
        t->lo = we - e[1 + needed];
    }
    t->w = t->e1 - t->e0;
    t->line = n;
    t->thr = std::max(s->trackThreshold, std::min(strength1, strength2) / 2);
    return true;
}

void WriteHit(PDF_REGION_SEARCH *s, PDF_TRACK first, PDF_TRACK second, const PDF_TRACK &start,
              const PDF_TRACK &firstConfirmed) {
    const PDF_PATTERN_DESC *desc = s->pattern;
    const bool columns = ColumnLines(s);
    const bool forward = desc->forward != 0;
    if (s->scanKind == kPdfScanObliqueH || s->scanKind == kPdfScanObliqueV) {
        // The start line is a projection: the first confirmed line stands in for it.
        const bool topIsFirst = columns ? !forward : forward;
        PDF_TRACK *upper = topIsFirst ? &first : &second;
        PDF_TRACK *lower = topIsFirst ? &second : &first;
        if (upper->line == start.line) {
            *upper = firstConfirmed;
        } else if (lower->line == start.line) {
            *lower = firstConfirmed;
        }
    }
    auto point = [columns](i32 pos, i32 line) { return columns ? POINT_I32{line, pos} : POINT_I32{pos, line}; };
    PDF_PATTERN_HIT *out = s->out;
    out->polarity = desc->polarity;
    out->isStart = desc->isStart;
    out->horizontal = columns ? 0 : 1;
    const PDF_TRACK &a = (columns ? !forward : forward) ? first : second;  // TL/TR side
    const PDF_TRACK &b = (&a == &first) ? second : first;
    if (forward) {
        out->topLeft = point(a.lo, a.line);
        out->bottomLeft = point(b.lo, b.line);
        out->topRight = point(a.hi, a.line);
        out->bottomRight = point(b.hi, b.line);
    } else {
        out->topLeft = point(a.hi, a.line);
        out->bottomLeft = point(b.hi, b.line);
        out->topRight = point(a.lo, a.line);
        out->bottomRight = point(b.lo, b.line);
    }
}

}  // namespace

int PDF_ConfirmPatternOnLines(PDF_REGION_SEARCH *s, i32 fineWindow, i32 c) {
    const PDF_PATTERN_DESC *desc = s->pattern;
    if (desc == nullptr) return 0;
    const i32 sign = desc->polarity ? 1 : -1;
    const i32 *win = s->windows;
    const i32 *g = s->gradient;
    PDF_TRACK start{win[c - 1], win[c], win[c] - win[c - 1], win[c + desc->firstSlot], win[c + desc->lastSlot], 0, 0};
    const i32 den0 = g[start.e1] - g[start.e0];
    const i32 cross0 = SobelAcross(s, ScanLineAt(s, start.e0), start.e0);
    const i32 cross1 = SobelAcross(s, ScanLineAt(s, start.e1), start.e1);
    const i32 tilt = den0 == 0 ? 0 : static_cast<i32>(256 * static_cast<i64>(cross1 - cross0) / den0);
    start.thr = std::max(s->trackThreshold, std::min(sign * g[start.e1], -sign * g[start.e0]) / 2);
    if (s->scanKind == kPdfScanObliqueH || s->scanKind == kPdfScanObliqueV) {
        const i32 yLo = ObliqueCross(s, start.lo), yHi = ObliqueCross(s, start.hi);
        start.line = (yLo + yHi) >> 1;
        if (yLo != yHi) {
            auto project = [&](i32 p) {
                return p - static_cast<i32>(static_cast<i64>(tilt) * (start.line - ObliqueCross(s, p)) / 256);
            };
            start.e0 = project(start.e0);
            start.e1 = project(start.e1);
            start.lo = project(start.lo);
            start.hi = project(start.hi);
            start.w = start.e1 - start.e0;
        }
    } else {
        start.line = ScanLineAt(s, start.e0);
    }
    const i32 fine = fineWindow != 0 && start.w <= 15 ? 1 : 0;
    const i32 *refGradient = fine ? s->fineGradient : s->gradient;
    i32 refA = 0, refB = 0, refC = 0;
    i32 *const startRefs[8] = {&refA, &refA, &refA, &refA, &refA, &refB, &refB, &refB};
    i32 *const stopRefs[8] = {&refB, &refA, &refA, &refB, &refB, &refC, &refC, &refA};
    i32 *const *refs = desc->isStart ? startRefs : stopRefs;
    desc->initialRefs(refs, refGradient, win, c, 1, 2);
    if (refA < 0 || refB < 0 || refC < 0) return 0;

    const PDF_LINE_BOUNDS bounds = LineBounds(s);
    PDF_TRACK cur = start, first = start, firstConfirmed = start;
    i32 num = tilt, den = -256;
    i32 count = 0, stepIndex = 0, dir = -1;
    // Each round either moves by at least four lines or ends a direction.
    for (i32 round = 0; round < 4 * kPdfSearchMaxSide; ++round) {
        const i32 step = kConfirmSteps[stepIndex];
        const i32 n = dir < 0 ? cur.line - step : cur.line + step;
        bool endDirection = dir < 0 ? n <= bounds.lineLo : n >= bounds.lineHi;
        if (!endDirection) {
            const i32 d = static_cast<i32>(static_cast<i64>(num) * step / den);
            const i32 b = desc->forward ? cur.lo : cur.hi - cur.w;
            const i32 x0 = dir < 0 ? b - d : b + d;
            PDF_TRACK next = cur;
            if (TrackLine(s, bounds, n, x0, fine, &next, refs)) {
                ++count;
                const i32 outerNow = desc->forward ? next.lo : next.hi;
                const i32 outerStart = desc->forward ? start.lo : start.hi;
                num = outerNow - outerStart;
                den = n - start.line;
                cur = next;
                if (count == 1) {
                    stepIndex = 0;
                    firstConfirmed = cur;
                    continue;
                }
                endDirection = true;
            } else if (count <= 1 && stepIndex == 0) {
                stepIndex = 1;
                continue;
            } else {
                endDirection = true;
            }
        }
        if (dir > 0) break;
        // Switch to the other direction from the start line.
        first = cur;
        desc->initialRefs(refs, refGradient, win, c, 1, 2);
        cur = start;
        num = -num;
        den = -den;
        stepIndex = 0;
        dir = 1;
    }
    if (count < 2) return 0;
    WriteHit(s, first, cur, start, firstConfirmed);
    return 1;
}

// ---- The line across the bars.

i32 PDF_LongestEdgeRun(const i32 *edges, i32 n, i32 *a, i32 *b) {
    *a = *b = 0;
    i32 best = 1, runStart = 0;
    for (i32 i = 1; i < n; ++i) {
        if (edges[i] - edges[i - 1] > kRunGap) runStart = i;
        if (i - runStart + 1 > best) {
            best = i - runStart + 1;
            *a = runStart;
            *b = i;
        }
    }
    return best;
}

namespace {

void CutToSpan(i32 *a, i32 *b) {
    if (*b - *a > 2 * kEstimateHalfSpan) {
        const i32 m = (*a + *b) >> 1;
        *a = m - kEstimateHalfSpan;
        *b = m + kEstimateHalfSpan;
    }
}

struct PDF_GRADIENT_SET {
    i32 gx[2 * (2 * kEstimateHalfSpan + 1)];
    i32 gy[2 * (2 * kEstimateHalfSpan + 1)];
    i32 n;
};

void AddGradient(PDF_GRADIENT_SET *set, i32 gx, i32 gy) {
    if (static_cast<i64>(gx) * gx + static_cast<i64>(gy) * gy <= kMinGradientSquare) return;
    set->gx[set->n] = gx;
    set->gy[set->n] = gy;
    ++set->n;
}

i32 Truncate100(i64 num, i64 den) {
    // Bounded by Cauchy-Schwarz for real sums; the clamp only keeps the cast defined.
    const double v = std::clamp(100.0 * static_cast<double>(num) / static_cast<double>(den), -1e9, 1e9);
    return static_cast<i32>(v);
}

// Dominant gradient direction of the set, one of its components 100; outliers removed once.
int DirectionFromGradients(const PDF_GRADIENT_SET &set, POINT_I32 *d) {
    i64 sxx = 0, syy = 0, sxy = 0;
    for (i32 i = 0; i < set.n; ++i) {
        sxx += static_cast<i64>(set.gx[i]) * set.gx[i];
        syy += static_cast<i64>(set.gy[i]) * set.gy[i];
        sxy += static_cast<i64>(set.gx[i]) * set.gy[i];
    }
    if (set.n == 0) return 0;
    const bool horizontal = syy < sxx;
    const i64 dx = horizontal ? 100 : Truncate100(sxy, syy);
    const i64 dy = horizontal ? Truncate100(sxy, sxx) : 100;
    for (i32 i = 0; i < set.n; ++i) {
        const i64 gx = set.gx[i], gy = set.gy[i];
        const i64 along = dx * gx + dy * gy;
        const i64 across = dx * gy - dy * gx;
        if (Abs64(across) >= Abs64(along)) {
            sxx -= gx * gx;
            syy -= gy * gy;
            sxy -= gx * gy;
        }
    }
    if (horizontal) {
        if (sxx == 0) return 0;
        *d = {100, Truncate100(sxy, sxx)};
    } else {
        if (syy == 0) return 0;
        *d = {Truncate100(sxy, syy), 100};
    }
    return 1;
}

}  // namespace

namespace {

// Gradients at middle-row entries a..b (the cross gradient computed and kept); the sum of
// the positions that counted.
i64 AddRowGradients(PDF_REGION_SEARCH *s, PDF_GRADIENT_SET *set, i32 a, i32 b) {
    i64 sum = 0;
    for (i32 i = a; i <= b; ++i) {
        const i32 x = s->rowEdges[i];
        const i32 gy = s->rowCrossGradient[x] = SobelY(s, x, s->midRow);
        const i32 before = set->n;
        AddGradient(set, s->rowGradient[x], gy);
        if (set->n > before) sum += x;
    }
    return sum;
}

i64 AddColumnGradients(PDF_REGION_SEARCH *s, PDF_GRADIENT_SET *set, i32 a, i32 b) {
    i64 sum = 0;
    for (i32 i = a; i <= b; ++i) {
        const i32 y = s->columnEdges[i];
        const i32 gx = s->columnCrossGradient[y] = SobelX(s, s->midColumn, y);
        const i32 before = set->n;
        AddGradient(set, gx, s->columnGradient[y]);
        if (set->n > before) sum += y;
    }
    return sum;
}

}  // namespace

int PDF_DirectionFromRowEdges(PDF_REGION_SEARCH *s, POINT_I32 *p, POINT_I32 *d, i32 a, i32 b) {
    CutToSpan(&a, &b);
    PDF_GRADIENT_SET set{};
    const i64 sum = AddRowGradients(s, &set, a, b);
    if (set.n == 0 || DirectionFromGradients(set, d) == 0) return 0;
    *p = {static_cast<i32>(sum / set.n), s->midRow};
    return 1;
}

int PDF_DirectionFromColumnEdges(PDF_REGION_SEARCH *s, POINT_I32 *p, POINT_I32 *d, i32 a, i32 b) {
    CutToSpan(&a, &b);
    PDF_GRADIENT_SET set{};
    const i64 sum = AddColumnGradients(s, &set, a, b);
    if (set.n == 0 || DirectionFromGradients(set, d) == 0) return 0;
    *p = {s->midColumn, static_cast<i32>(sum / set.n)};
    return 1;
}

int PDF_DirectionFromBothEdges(PDF_REGION_SEARCH *s, POINT_I32 *p, POINT_I32 *d, i32 a, i32 b, i32 c, i32 e) {
    CutToSpan(&a, &b);
    CutToSpan(&c, &e);
    PDF_GRADIENT_SET set{};
    const i64 sumX = AddRowGradients(s, &set, a, b);
    const i32 rowCount = set.n;
    const i64 sumY = AddColumnGradients(s, &set, c, e);
    const i32 columnCount = set.n - rowCount;
    if (set.n == 0 || DirectionFromGradients(set, d) == 0) return 0;
    if (rowCount == 0) {
        *p = {s->midColumn, static_cast<i32>(sumY / columnCount)};
    } else if (columnCount == 0) {
        *p = {static_cast<i32>(sumX / rowCount), s->midRow};
    } else {
        *p = {static_cast<i32>((sumX / rowCount + s->midColumn) >> 1), static_cast<i32>((s->midRow + sumY / columnCount) >> 1)};
    }
    return 1;
}

int PDF_EstimateScanDirection(PDF_REGION_SEARCH *s, POINT_I32 *p, POINT_I32 *d) {
    i32 a = 0, b = 0, c = 0, e = 0;
    const i32 r = PDF_LongestEdgeRun(s->rowEdges, s->rowEdgeCount, &a, &b);
    const i32 q = PDF_LongestEdgeRun(s->columnEdges, s->columnEdgeCount, &c, &e);
    const bool rowsCount = r >= kRunMinEntries, columnsCount = q >= kRunMinEntries;
    if (!rowsCount) return columnsCount ? PDF_DirectionFromColumnEdges(s, p, d, c, e) : 0;
    if (!columnsCount) return PDF_DirectionFromRowEdges(s, p, d, a, b);
    const bool centreInRows = s->midColumn >= s->rowEdges[a] && s->midColumn <= s->rowEdges[b];
    const bool centreInColumns = s->midRow >= s->columnEdges[c] && s->midRow <= s->columnEdges[e];
    if (centreInRows && centreInColumns) return PDF_DirectionFromBothEdges(s, p, d, a, b, c, e);
    return r < q ? PDF_DirectionFromColumnEdges(s, p, d, c, e) : PDF_DirectionFromRowEdges(s, p, d, a, b);
}

int PDF_ClipLineToBox(POINT_I32 *p, POINT_I32 d, const i32 box[4], POINT_I32 *end) {
    const i64 top = box[0], left = box[1], right = box[2], bottom = box[3];
    const i64 px = p->x, py = p->y, dx = d.x, dy = d.y;
    *end = *p;
    POINT_I32 hits[4];
    i32 n = 0;
    auto add = [&](i64 x, i64 y) {
        for (i32 i = 0; i < n; ++i) {
            if (hits[i].x == x && hits[i].y == y) return;  // a corner met by two border lines
        }
        hits[n++] = {static_cast<i32>(x), static_cast<i32>(y)};
    };
    if (dx != 0) {
        for (const i64 x : {left, right}) {
            const i64 y = (dx * py + dy * (x - px)) / dx;
            if (y >= top && y <= bottom) add(x, y);
        }
    }
    if (dy != 0) {
        for (const i64 y : {top, bottom}) {
            const i64 x = (dy * px + dx * (y - py)) / dy;
            if (x >= left && x <= right) add(x, y);
        }
    }
    if (n < 2) return -1;
    const bool inside = px >= left && px <= right && py >= top && py <= bottom;
    auto ahead = [&](const POINT_I32 &h) { return (h.x - px) * dx + (h.y - py) * dy > 0; };
    if (inside) {
        if (ahead(hits[0])) {
            *end = hits[0];
        } else if (ahead(hits[1])) {
            *end = hits[1];
        }
        return 0;
    }
    const bool firstAhead = ahead(hits[0]);
    *p = firstAhead ? hits[1] : hits[0];
    *end = firstAhead ? hits[0] : hits[1];
    return 0;
}

int PDF_ScanObliqueLine(PDF_REGION_SEARCH *s, POINT_I32 a, POINT_I32 b) {
    // The retry hands points of the box shrunk by one; the samples run one past the end.
    auto inner = [s](POINT_I32 q) {
        return q.y > s->box[0] && q.x > s->box[1] && q.x < s->box[2] && q.y < s->box[3];
    };
    if (!inner(a) || !inner(b)) return 0;
    i32 dx = b.x - a.x, dy = b.y - a.y;
    const bool mostlyHorizontal = Abs(dy) < Abs(dx);
    if (mostlyHorizontal ? b.x < a.x : b.y < a.y) {
        std::swap(a, b);
        dx = -dx;
        dy = -dy;
    }
    if (!mostlyHorizontal && dy == 0) return 0;
    // Positions run along x (mostly horizontal) or y; the other coordinate follows the slope.
    const bool h = mostlyHorizontal;
    s->scanKind = h ? kPdfScanObliqueH : kPdfScanObliqueV;
    s->obliqueShift = 16;
    s->obliqueSlope = static_cast<i32>((static_cast<i64>(h ? dy : dx) << 16) / (h ? dx : dy));
    s->obliqueBase = ((h ? a.y : a.x) << 16) | 0x8000;
    s->scanStart = h ? a.x : a.y;
    s->scanEnd = h ? b.x : b.y;
    i32 *g = h ? s->rowGradient : s->columnGradient;
    for (i32 p = s->scanStart; p <= s->scanEnd + 1; ++p) {
        const i32 c = ObliqueCross(s, p);
        const i32 x = h ? p : std::clamp(c, 0, s->width - 1);
        const i32 y = h ? std::clamp(c, 0, s->height - 1) : p;
        s->lineBuffer[p] = static_cast<u8>(Pixel(s, x, y));
        g[p] = h ? SobelX(s, x, y) : SobelY(s, x, y);
    }
    s->gradient = g;
    s->edges = h ? s->rowEdges : s->columnEdges;
    s->linePtr = s->lineBuffer;
    s->lineStep = 1;
    PDF_ListLineEdges(s, s->scanStart, s->scanEnd - 1);
    if (mostlyHorizontal) {
        s->rowEdgeCount = s->edgeCount;
    } else {
        s->columnEdgeCount = s->edgeCount;
    }
    if (s->edgeCount < 9) return 0;
    return PDF_TestPatternCandidates(s);
}

int PDF_ObliqueRetry(PDF_REGION_SEARCH *s) {
    POINT_I32 p{}, d{};
    if (PDF_EstimateScanDirection(s, &p, &d) == 0) return 0;
    const i32 inner[4] = {s->box[0] + 1, s->box[1] + 1, s->box[2] - 1, s->box[3] - 1};
    POINT_I32 b{}, a{};
    PDF_ClipLineToBox(&p, d, inner, &b);
    PDF_ClipLineToBox(&p, POINT_I32{-d.x, -d.y}, inner, &a);
    return PDF_ScanObliqueLine(s, a, b);
}

}  // namespace vexo

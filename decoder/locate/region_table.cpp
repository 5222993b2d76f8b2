#include "locate/region_table.h"

#include <algorithm>
#include <cstring>

#include "core/frame_margins.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "locate/region_select.h"
#include "pdf417/pdf417_services.h"
#include "toolkit/quad.h"

namespace vexo {

namespace {

static_assert(kRoiTableSize == kMaxRegions);

// Region sizes in 1/10000 of the search window.
constexpr i64 kTinyMeasure = 49;
constexpr i64 kFirstPassMeasure = 120;
constexpr i64 kLoneGrowMeasure = 399;
constexpr i64 kSecondPassMeasure = 249;
constexpr i32 kRowGap = 20;
constexpr int kGrowX = 80;
constexpr int kGrowY = 60;
constexpr i32 kEdgeKeep = 4;
constexpr i32 kCoveredPer1024 = 714;
constexpr int kPdfDarkBars = 1;
constexpr i32 kNearSides = 9;
// The 2D words whose symbol counts must all be single for overlapping regions to merge.
constexpr int kSingleSymbolWords[] = {kSymPdf417, kSymQr, kSymAztec, kSymDataMatrix, kSymCsCode, kSymGroup21400};
static_assert(sizeof(kSingleSymbolWords) / sizeof(kSingleSymbolWords[0]) == 6);

struct Table {
    REGION_QUAD *quads;
    ROI_BOX *boxes;
    i64 measure[kMaxRegions];
    int count;
};

i64 WindowArea() {
    const FRAME_MARGINS &m = g_frameMargins;
    const i64 w = static_cast<i64>(m.lastColumn) - m.firstColumn + 1;
    const i64 h = static_cast<i64>(m.lastRow) - m.firstRow + 1;
    return w > 0 && h > 0 ? w * h : 0;
}

// A region without pixels, or a window without pixels, measures 0.
i64 Measure(const REGION_QUAD &q, i64 window) {
    const i64 w = static_cast<i64>(q.c[kTopRight].x) - q.c[kTopLeft].x + 1;
    const i64 h = static_cast<i64>(q.c[kBottomLeft].y) - q.c[kTopLeft].y + 1;
    if (window <= 0 || w <= 0 || h <= 0) return 0;
    return w * h * 10000 / window;
}

// The last entry takes place `to`, with its candidate box and measure.
void MoveLastInto(Table &t, int to) {
    const int last = t.count - 1;
    t.quads[to] = t.quads[last];
    t.boxes[to] = t.boxes[last];
    t.measure[to] = t.measure[last];
    t.count = last;
}

REGION_QUAD BoxQuad(i32 left, i32 top, i32 right, i32 bottom) {
    return REGION_QUAD{{{left, top}, {right, top}, {left, bottom}, {right, bottom}}};
}

ROI_BOX QuadBox(const REGION_QUAD &q) {
    return ROI_BOX{static_cast<i16>(q.c[kTopLeft].y), static_cast<i16>(q.c[kBottomLeft].y),
                   static_cast<i16>(q.c[kTopLeft].x), static_cast<i16>(q.c[kTopRight].x)};
}

bool WithinRows(i32 a, i32 b) {
    const i64 d = static_cast<i64>(a) - b;
    return d >= -kRowGap && d <= kRowGap;
}

void DropTiny(Table &t, i64 window) {
    int i = 0;
    while (i < t.count) {
        t.measure[i] = Measure(t.quads[i], window);
        if (t.measure[i] <= kTinyMeasure) {
            MoveLastInto(t, i);
        } else {
            ++i;
        }
    }
}

// Moves the last entry over j and answers where entry k now stands.
int RemoveAfterMerge(Table &t, int k, int j) {
    const bool kWasLast = k == t.count - 1;
    MoveLastInto(t, j);
    return kWasLast ? j : k;
}

// Small regions absorb the small regions whose corner lies in their box; once a region
// has absorbed one, it takes every later small region of its walk as well.
void MergeFirstPass(Table &t, i64 window) {
    for (int k = 0; k < t.count; ++k) {
        if (t.measure[k] > kFirstPassMeasure) continue;
        int cur = k;
        bool merged = false;
        for (int j = 0; j < t.count; ++j) {
            if (j == cur || t.measure[j] > kFirstPassMeasure) continue;
            if (!merged && Loc_CornerInBox(&t.quads[j], &t.quads[cur]) == 0) continue;
            Loc_QuadBoundingBox(&t.quads[cur], &t.quads[j], &t.quads[cur]);
            t.boxes[cur] = QuadBox(t.quads[cur]);
            // The absorbing entry may itself be the last one: it then continues at j.
            cur = RemoveAfterMerge(t, cur, j);
            t.measure[cur] = Measure(t.quads[cur], window);
            merged = true;
            --j;
        }
    }
}

bool CloseForSecondPass(const REGION_QUAD &k, const REGION_QUAD &j) {
    return Loc_QuadsTouch(&k, &j) != 0 || WithinRows(k.c[kBottomRight].y, j.c[kTopLeft].y) ||
           WithinRows(k.c[kTopLeft].y, j.c[kBottomRight].y);
}

// The partner of small region k for the second pass, or -1.
int SecondPassPartner(const Table &t, int k) {
    for (int j = 0; j < t.count; ++j) {
        if (j == k || t.measure[j] > kSecondPassMeasure) continue;
        if (CloseForSecondPass(t.quads[k], t.quads[j])) return j;
    }
    return -1;
}

// Small regions close to each other, in the box sense or only by rows, become one grown
// region; the merged region is examined again from the start.
void MergeSecondPass(Table &t, i64 window) {
    for (int k = 0; k < t.count; ++k) {
        int cur = k;
        // Each merge removes an entry, so this ends after at most count rounds.
        while (t.measure[cur] <= kSecondPassMeasure) {
            const int j = SecondPassPartner(t, cur);
            if (j < 0) break;
            Loc_QuadBoundingBox(&t.quads[cur], &t.quads[j], &t.quads[cur]);
            Loc_GrowQuad(&t.quads[cur], kGrowX, kGrowY);
            Loc_GrowBox(&t.boxes[cur], kGrowX, kGrowY);
            cur = RemoveAfterMerge(t, cur, j);
            t.measure[cur] = Measure(t.quads[cur], window);
        }
    }
}

bool ReadingSingleSymbols() {
    for (int index : kSingleSymbolWords) {
        if ((g_params.flagsWord[index] & kFlag2DCountMask) > 1) return false;
    }
    return (g_params.optionWord & 3u) == 0;
}

bool Near(i32 a, i32 b) {
    const i64 d = static_cast<i64>(a) - b;
    return d >= -kNearSides && d <= kNearSides;
}

bool CornerInQuad(const REGION_QUAD &a, const REGION_QUAD &q) {
    for (const GEO_POINT &c : a.c) {
        if (Geo_PointInQuad(&c, &q) != 0) return true;
    }
    return false;
}

// Box spanning both quads, by their top-left and bottom-right corners.
REGION_QUAD SpanBox(const REGION_QUAD &a, const REGION_QUAD &b) {
    const i32 left = a.c[kTopLeft].x < b.c[kTopLeft].x ? a.c[kTopLeft].x : b.c[kTopLeft].x;
    const i32 top = a.c[kTopLeft].y < b.c[kTopLeft].y ? a.c[kTopLeft].y : b.c[kTopLeft].y;
    const i32 right = a.c[kBottomRight].x > b.c[kBottomRight].x ? a.c[kBottomRight].x : b.c[kBottomRight].x;
    const i32 bottom = a.c[kBottomRight].y > b.c[kBottomRight].y ? a.c[kBottomRight].y : b.c[kBottomRight].y;
    return BoxQuad(left, top, right, bottom);
}

// The partner of quad a, or -1.
int OverlapPartner(const REGION_QUAD *quads, int n, int a) {
    for (int i = 0; i < n; ++i) {
        if (i == a) continue;
        if (CornerInQuad(quads[a], quads[i]) || Near(quads[i].c[kTopLeft].x, quads[a].c[kTopRight].x) ||
            Near(quads[i].c[kTopLeft].y, quads[a].c[kBottomLeft].y)) {
            return i;
        }
    }
    return -1;
}

i32 Min4(i32 a, i32 b, i32 c, i32 d) { return std::min({a, b, c, d}); }
i32 Max4(i32 a, i32 b, i32 c, i32 d) { return std::max({a, b, c, d}); }

}  // namespace

i32 *Loc_LoadRegions(const REGION_QUAD *src, int n) {
    int m = n < kMaxRegions ? n : kMaxRegions;
    if (src == nullptr || m < 0) m = 0;
    if (m > 0 && src != g_state.locatedRegions) {
        std::memmove(g_state.locatedRegions, src, static_cast<size_t>(m) * sizeof(REGION_QUAD));
    }
    for (int i = 0; i < kMaxRegions; ++i) g_state.regionClass[i] = 0;
    Table t{g_state.locatedRegions, g_roiTable, {}, m};
    const i64 window = WindowArea();
    DropTiny(t, window);
    MergeFirstPass(t, window);
    if (t.count == 1 && t.measure[0] <= kLoneGrowMeasure) {
        Loc_GrowQuad(&t.quads[0], kGrowX, kGrowY);
        Loc_GrowBox(&t.boxes[0], kGrowX, kGrowY);
        t.measure[0] = Measure(t.quads[0], window);
    }
    MergeSecondPass(t, window);
    g_state.locatedCount = t.count;
    return &g_state.locatedCount;
}

int Loc_CornerInBox(const REGION_QUAD *a, const REGION_QUAD *b) {
    if (a == nullptr || b == nullptr) return 0;
    for (int c = 0; c < 4; ++c) {
        const i32 point[2] = {a->c[c].x, a->c[c].y};
        if (Dec_PointInBox(b, point) != 0) return 1;
    }
    return 0;
}

int Loc_QuadsTouch(const REGION_QUAD *a, const REGION_QUAD *b) {
    return Loc_CornerInBox(a, b) != 0 || Loc_CornerInBox(b, a) != 0 ? 1 : 0;
}

void Loc_QuadBoundingBox(const REGION_QUAD *a, const REGION_QUAD *b, REGION_QUAD *out) {
    if (a == nullptr || b == nullptr || out == nullptr) return;
    const i32 left = a->c[kTopLeft].x < b->c[kTopLeft].x ? a->c[kTopLeft].x : b->c[kTopLeft].x;
    const i32 right = a->c[kTopRight].x > b->c[kTopRight].x ? a->c[kTopRight].x : b->c[kTopRight].x;
    const i32 top = a->c[kTopLeft].y < b->c[kTopLeft].y ? a->c[kTopLeft].y : b->c[kTopLeft].y;
    const i32 bottom = a->c[kBottomLeft].y > b->c[kBottomLeft].y ? a->c[kBottomLeft].y : b->c[kBottomLeft].y;
    *out = BoxQuad(left, top, right, bottom);
}

void Loc_GrowQuad(REGION_QUAD *q, int dx, int dy) {
    if (q == nullptr) return;
    const i64 left = static_cast<i64>(q->c[kTopLeft].x) - dx;
    const i64 right = static_cast<i64>(q->c[kTopRight].x) + dx;
    const i64 top = static_cast<i64>(q->c[kTopLeft].y) - dy;
    const i64 bottom = static_cast<i64>(q->c[kBottomLeft].y) + dy;
    const i32 maxX = g_image.width - kEdgeKeep;
    const i32 maxY = g_image.height - kEdgeKeep;
    *q = BoxQuad(left < kEdgeKeep ? kEdgeKeep : static_cast<i32>(left), top < kEdgeKeep ? kEdgeKeep : static_cast<i32>(top),
                 right > maxX ? maxX : static_cast<i32>(right), bottom > maxY ? maxY : static_cast<i32>(bottom));
}

void Loc_GrowBox(ROI_BOX *b, int dx, int dy) {
    if (b == nullptr) return;
    REGION_QUAD q = BoxQuad(b->left, b->top, b->right, b->bottom);
    Loc_GrowQuad(&q, dx, dy);
    *b = QuadBox(q);
}

int Loc_PointInQuadBox(const i32 point[2], const REGION_QUAD *q) { return Dec_PointInBox(q, point); }

int Loc_CoveredByResult(const i32 box[4]) {
    if (box == nullptr) return 0;
    const PIXEL_BOX given{box[0], box[1], box[2], box[3]};
    const int n = g_candidateStore.count < kCandidateCapacity ? g_candidateStore.count : kCandidateCapacity;
    for (int i = 0; i < n; ++i) {
        const CANDIDATE_RECORD &r = g_candidateStore.records[i];
        if (r.mark <= 0) continue;
        const PIXEL_BOX stored{r.top, r.left, r.right, r.bottom};
        i32 ratioGiven = 0;
        i32 ratioStored = 0;
        if (Dec_BoxOverlapRatios(&given, &stored, &ratioGiven, &ratioStored) == 1) {
            return ratioGiven > kCoveredPer1024 ? 1 : 0;
        }
    }
    return 0;
}

int Loc_SearchPdfInQuad(const REGION_QUAD *q, void *arg) {
    if (q == nullptr) return 0;
    const POINT_I32 *c = q->c;
    i32 box[4] = {Min4(c[0].y, c[1].y, c[2].y, c[3].y), Min4(c[0].x, c[1].x, c[2].x, c[3].x),
                  Max4(c[0].x, c[1].x, c[2].x, c[3].x), Max4(c[0].y, c[1].y, c[2].y, c[3].y)};
    if (Loc_CoveredByResult(box) == 1) return 2;
    return PDF_FindStartStopInRegion(g_image.data, g_image.width, g_image.height, box, arg, kPdfDarkBars) != 0 ? 1 : 0;
}

int Loc_SearchPdfInWindow(void *arg) {
    const FRAME_MARGINS &m = g_frameMargins;
    i32 box[4] = {m.firstRow, m.firstColumn, m.lastColumn, m.lastRow};
    return PDF_FindStartStopInRegion(g_image.data, g_image.width, g_image.height, box, arg, kPdfDarkBars) != 0 ? 1 : 0;
}

int Loc_MergeOverlappingRegions(REGION_QUAD *quads, int n) {
    if (quads == nullptr || n <= 1 || !ReadingSingleSymbols()) return n;
    int a = 0;
    // Each merge removes a quad, so the walk restarts at most n times.
    while (a < n) {
        const int i = OverlapPartner(quads, n, a);
        if (i < 0) {
            ++a;
            continue;
        }
        quads[a] = SpanBox(quads[a], quads[i]);
        // When a is the last quad, its merged box is the one moved into place i.
        quads[i] = quads[n - 1];
        --n;
        a = 0;
    }
    return n;
}

}  // namespace vexo

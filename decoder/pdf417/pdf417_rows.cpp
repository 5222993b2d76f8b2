#include "pdf417/pdf417_rows.h"

#include <cstring>

#include "core/arena.h"
#include "core/pixel.h"
#include "pdf417/pdf417_arena.h"
#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_state.h"
#include "toolkit/geometry_points.h"
#include "toolkit/sampling.h"

namespace vexo {

namespace {

constexpr i32 kWalkPoints = 100;
constexpr i32 kExtension = 25;
constexpr i32 kLastWalkIndex = kPdfWalkEntries - 1;

i32 Max32(i32 a, i32 b) { return a > b ? a : b; }
i32 Min32(i32 a, i32 b) { return a < b ? a : b; }

void LinkNodes(POINT_NODE *nodes, i32 n) {
    std::memset(nodes, 0, sizeof(POINT_NODE) * static_cast<size_t>(n));
    for (i32 i = 0; i + 1 < n; ++i) nodes[i].next = &nodes[i + 1];
}

struct WALK {
    PDF_CANDIDATE *c;
    PDF_ROW_ENTRY *t;
    i32 startRow;
    i32 count;
    i32 misses;
    i32 maxReads;
    bool full;
    POINT_NODE *guard;
    POINT_NODE *inner;
};

i32 MissLimit(i32 m) { return m > 11 ? 15 : m >= 4 ? m + 3 : 6; }

// One reading position: false once the table is full.
bool ReadAt(WALK &w, GEO_POINT g, GEO_POINT in) {
    const GEO_POINT from = w.c->startFlag == 1 ? g : in;
    const GEO_POINT to = w.c->startFlag == 1 ? in : g;
    i32 value = kPdfNoCodeword;
    const int ok = w.c->rapMode == 0 ? PDF_ReadCodewordOnSegment(from, to, &value)
                                     : PDF_ReadRapOnSegment(from, to, &value);
    if (ok != 1) {
        ++w.misses;
        return true;
    }
    w.misses = 0;
    if (PDF_AddIndicatorRead(w.t, &w.count, w.startRow, value, from, to, &w.maxReads) == 0) {
        w.full = true;
        return false;
    }
    return true;
}

// Reads positions from..n-1 of the two lists, extending them by 25 pixels from their last
// point (away from the centres) while the reads go on.
void RunDirection(WALK &w, i32 n, i32 from, GEO_POINT centreG, GEO_POINT cornerG, GEO_POINT centreI,
                  GEO_POINT cornerI) {
    const i32 extensions = (g_image.width + g_image.height) / kExtension + 2;
    for (i32 round = 0; round <= extensions; ++round) {
        for (i32 i = from; i < n; ++i) {
            if (!ReadAt(w, GEO_POINT{w.guard[i].x, w.guard[i].y}, GEO_POINT{w.inner[i].x, w.inner[i].y})) return;
            if (w.misses > MissLimit(w.maxReads)) return;
        }
        // A component's column ends with its quad: the rest would all be misses.
        if (g_pdfState.regionFlag != 0 && n < kWalkPoints) return;
        const GEO_POINT lastG{w.guard[n - 1].x, w.guard[n - 1].y};
        const GEO_POINT lastI{w.inner[n - 1].x, w.inner[n - 1].y};
        GEO_POINT toG{};
        GEO_POINT toI{};
        Geo_ShiftAlong(&centreG, &cornerG, &lastG, kExtension, &toG);
        Geo_ShiftAlong(&centreI, &cornerI, &lastI, kExtension, &toI);
        LinkNodes(w.guard, kWalkPoints);
        LinkNodes(w.inner, kWalkPoints);
        n = Min32(Geo_RasteriseLine(&lastG, &toG, w.guard, kWalkPoints),
                  Geo_RasteriseLine(&lastI, &toI, w.inner, kWalkPoints));
        if (n < 2) return;
        from = 1;
        w.misses = 0;
    }
}

void SwapEnds(PDF_ROW_ENTRY *e) {
    const GEO_POINT f = e->firstFrom;
    const GEO_POINT g = e->firstTo;
    e->firstFrom = e->lastFrom;
    e->firstTo = e->lastTo;
    e->lastFrom = f;
    e->lastTo = g;
}

void Reverse(PDF_ROW_ENTRY *t, i32 count) {
    for (i32 i = 0, j = count - 1; i < j; ++i, --j) {
        PDF_ROW_ENTRY a = t[i];
        PDF_ROW_ENTRY b = t[j];
        SwapEnds(&a);
        SwapEnds(&b);
        t[i] = b;
        t[j] = a;
    }
}

}  // namespace

int PDF_AddIndicatorRead(PDF_ROW_ENTRY *t, i32 *count, i32 startRow, i32 value, GEO_POINT from, GEO_POINT to,
                         i32 *maxReads) {
    const i32 n = *count;
    PDF_ROW_ENTRY *e = nullptr;
    if (n > 0 && t[n - 1].value == value) {
        e = &t[n - 1];
    } else if (n > 1 && t[n - 2].value == value && t[n - 1].reads <= 1) {
        // A one-off misread between two equal reads does not split the row.
        e = &t[n - 2];
    }
    if (e != nullptr) {
        e->lastFrom = from;
        e->lastTo = to;
        *maxReads = Max32(*maxReads, ++e->reads);
        return 1;
    }
    if (n + startRow > kLastWalkIndex) return 0;
    t[(*count)++] = PDF_ROW_ENTRY{from, to, from, to, value, 1, 0, 0};
    *maxReads = Max32(*maxReads, 1);
    return 1;
}

i32 PDF_ReadIndicatorColumn(PDF_CANDIDATE *c, PDF_ROW_ENTRY *rowTable, i32 startRow) {
    if (c == nullptr || rowTable == nullptr || startRow < 0 || startRow > kLastWalkIndex) return 0;
    PDF_ALIGNED_BLOCK<POINT_NODE> guardBlock;
    PDF_ALIGNED_BLOCK<POINT_NODE> innerBlock;
    POINT_NODE *guard = guardBlock.Take(kWalkPoints);
    POINT_NODE *inner = guard != nullptr ? innerBlock.Take(kWalkPoints) : nullptr;
    if (inner == nullptr) {
        guardBlock.Release();
        return 0;
    }
    LinkNodes(guard, kWalkPoints);
    LinkNodes(inner, kWalkPoints);
    WALK w{c, rowTable, startRow, 0, 0, 0, false, guard, inner};
    i32 n = Min32(Geo_RasteriseLine(&c->centreGuard, &c->cornerGuard1, guard, kWalkPoints),
                  Geo_RasteriseLine(&c->centreInner, &c->cornerInner1, inner, kWalkPoints));
    if (n > 0) {
        RunDirection(w, n, 0, c->centreGuard, c->cornerGuard1, c->centreInner, c->cornerInner1);
        Reverse(rowTable, w.count);
        if (!w.full) {
            LinkNodes(guard, kWalkPoints);
            LinkNodes(inner, kWalkPoints);
            n = Min32(Geo_RasteriseLine(&c->centreGuard, &c->cornerGuard2, guard, kWalkPoints),
                      Geo_RasteriseLine(&c->centreInner, &c->cornerInner2, inner, kWalkPoints));
            if (n >= 3) {
                w.misses = 0;
                RunDirection(w, n, 1, c->centreGuard, c->cornerGuard2, c->centreInner, c->cornerInner2);
            }
        }
    }
    innerBlock.Release();
    guardBlock.Release();
    return w.count;
}

int PDF_VoteRowIndicators(PDF_ROW_ENTRY *t, i32 count, i32 startFlag, PDF_CANDIDATE *c) {
    if (t == nullptr || c == nullptr) return 0;
    i32 hist[3][30] = {};
    // Histogram of each cluster: rows, level and columns for a left indicator column.
    const i32 left[3] = {0, 1, 2};
    const i32 right[3] = {2, 0, 1};
    for (i32 i = 0; i < count; ++i) {
        const i32 cluster = static_cast<i32>(static_cast<u32>(t[i].value) >> 28);
        if (cluster != 0 && cluster != 3 && cluster != 6) continue;
        const i32 h = (startFlag == 1 ? left : right)[cluster / 3];
        hist[h][(t[i].value & 0x0FFFFFFF) % 30] += t[i].reads;
    }
    i32 voted[3];
    i64 product = 1;
    for (i32 h = 0; h < 3; ++h) {
        voted[h] = 0;
        for (i32 b = 1; b < 30; ++b) {
            if (hist[h][b] > hist[h][voted[h]]) voted[h] = b;
        }
        product *= hist[h][voted[h]];
    }
    c->columns = 0;
    c->rows = 0;
    c->level = 0;
    if (product <= 5) return 0;
    const i32 columns = voted[2] + 1;
    const i32 rows = 3 * voted[0] + voted[1] % 3 + 1;
    const i32 level = voted[1] / 3;
    if (columns > 30 || rows < 3 || level > 8 || columns * rows > 929 || (1 << level) >= columns * rows) return 0;
    c->columns = columns;
    c->rows = rows;
    c->level = level;
    for (i32 i = 0; i < count; ++i) {
        t[i].row = -1;
        const i32 cluster = static_cast<i32>(static_cast<u32>(t[i].value) >> 28);
        if (cluster != 0 && cluster != 3 && cluster != 6) continue;
        const i32 v = t[i].value & 0x0FFFFFFF;
        const i32 r = 3 * (v / 30) + cluster / 3 + 1;
        if (r <= rows && v % 30 == voted[(startFlag == 1 ? left : right)[cluster / 3]]) t[i].row = r;
    }
    return 1;
}

int PDF_RowOrderVote(PDF_ROW_ENTRY *t, i32 count) {
    if (t == nullptr) return 0;
    i32 total = 0;
    for (i32 j = 0; j + 1 < count; ++j) {
        if (t[j].row <= 0) continue;
        for (i32 k = j + 1; k < count; ++k) {
            if (t[k].row > 0) total += t[k].row < t[j].row ? -1 : 1;
        }
        if (j >= 2 && (total > 5 || total < -5)) break;
    }
    const bool falling = total < 0;
    for (i32 j = 0; j < count; ++j) {
        const i32 a = t[j].row;
        if (a <= 0) continue;
        i32 between = 0;
        for (i32 k = j + 1; k < count; ++k) {
            if (t[k].row <= 0) continue;
            if (falling ? t[k].row < a : t[k].row > a) break;
            ++between;
        }
        for (i32 k = j - 1; j > 0 && k >= 0; --k) {
            if (t[k].row <= 0) continue;
            if (falling ? t[k].row > a : t[k].row < a) break;
            ++between;
        }
        if (between >= 2) t[j].row = -1;
    }
    return falling ? 1 : 0;
}

i32 PDF_CompactRowEntries(PDF_ROW_ENTRY *t, i32 count) {
    if (t == nullptr) return 0;
    i32 kept = 0;
    for (i32 i = 0; i < count; ++i) {
        if (t[i].row != -1) t[kept++] = t[i];
    }
    return kept;
}

void PDF_SetEndsFromRows(PDF_CANDIDATE *c, const PDF_ROW_ENTRY *t) {
    if (c == nullptr || t == nullptr || c->rows <= 0 || c->rows > kPdfMaxRows) return;
    const PDF_ROW_ENTRY &first = t[0];
    const PDF_ROW_ENTRY &last = t[c->rows - 1];
    const GEO_POINT e1 = c->rowsDescending != 0 ? last.lastFrom : first.firstFrom;
    const GEO_POINT e2 = c->rowsDescending != 0 ? first.firstFrom : last.lastFrom;
    c->end1.x = e1.x;
    c->end1.y = e1.y;
    c->end2.x = e2.x;
    c->end2.y = e2.y;
}

namespace {

// Slot `at` derived from slot `from`, `steps` row pitches along p->q.
void DeriveSlot(PDF_ROW_ENTRY *t, i32 at, i32 from, GEO_POINT p, GEO_POINT q, f64 distance, i32 reads) {
    const i32 d = static_cast<i32>(distance + 0.5);
    PDF_ROW_ENTRY &e = t[at];
    Geo_ShiftAlong(&p, &q, &t[from].firstFrom, d, &e.firstFrom);
    Geo_ShiftAlong(&p, &q, &t[from].firstTo, d, &e.firstTo);
    e.lastFrom = e.firstFrom;
    e.lastTo = e.firstTo;
    e.value = kPdfNoCodeword;
    e.reads = reads;
    e.row = at + 1;
}

}  // namespace

int PDF_BuildRowTable(PDF_ROW_ENTRY *t, i32 count, PDF_CANDIDATE *c) {
    if (t == nullptr || c == nullptr || count < 0 || count > kPdfWalkEntries) return 0;
    const i32 rows = c->rows;
    if (rows < 1 || rows > kPdfMaxRows) return 0;
    c->rowsDescending = PDF_RowOrderVote(t, count);
    count = PDF_CompactRowEntries(t, count);
    c->rowEntries = count;
    if (count <= 2) return 0;
    // The walk's entries move behind the row slots (the two ranges may overlap).
    PDF_ROW_ENTRY *scratch = t + kPdfMaxRows;
    std::memmove(scratch, t, sizeof(PDF_ROW_ENTRY) * static_cast<size_t>(count));
    std::memset(t, 0, sizeof(PDF_ROW_ENTRY) * kPdfMaxRows);
    for (i32 i = 0; i < count; ++i) {
        const i32 r = scratch[i].row;
        if (r < 1 || r > rows) continue;
        if (t[r - 1].row == 0 || scratch[i].reads >= t[r - 1].reads) t[r - 1] = scratch[i];
    }
    i32 n = 0;
    while (n < rows && t[n].row == 0) ++n;
    if (n == rows) n = 0;
    i32 b = rows - 1;
    while (b >= 0 && t[b].row == 0) --b;
    if (b < 0) b = rows - 1;
    if (b - n <= 1 || t[n].row == t[b].row) return 0;
    const f64 span = Geo_Distance(t[n].firstFrom.x, t[n].firstFrom.y, t[b].firstFrom.x, t[b].firstFrom.y);
    const f64 pitch = span / static_cast<f64>(t[b].row - t[n].row);
    c->rowPitch = pitch < 0 ? -pitch : pitch;
    if (c->rowPitch < 1.5) {
        c->columns = 0;
        c->rows = 0;
        c->level = 0;
        return 0;
    }
    const GEO_POINT pn = t[n].firstFrom;
    const GEO_POINT pb = t[b].firstFrom;
    for (i32 i = 0; n - 1 - i >= 0; ++i) DeriveSlot(t, n - 1 - i, n, pb, pn, (i + 1) * c->rowPitch, -(i + 1));
    for (i32 k = 1; b + k < rows; ++k) DeriveSlot(t, b + k, b, pn, pb, k * c->rowPitch, -k);
    i32 interpolated = 0;
    for (i32 s = n + 1; s < b; ++s) {
        if (t[s].row != 0) continue;
        i32 g = 0;
        while (s + g < b && t[s + g].row == 0) ++g;
        for (i32 k = 1; k <= g; ++k) DeriveSlot(t, s - 1 + k, s - 1, pn, pb, k * c->rowPitch, -k);
        interpolated += g;
        s += g;
    }
    if (c->rowsDescending != 0) {
        for (i32 k = 0; k < rows; ++k) SwapEnds(&t[k]);
    }
    PDF_SetEndsFromRows(c, t);
    if (5 * interpolated > 2 * (b - n)) return 0;
    for (i32 k = 0; k < rows; ++k) t[k].cluster = 3 * (k % 3);
    return 1;
}

}  // namespace vexo

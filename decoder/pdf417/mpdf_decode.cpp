#include "pdf417/mpdf_decode.h"

#include <cmath>
#include <cstring>

#include "core/modules.h"
#include "pdf417/mpdf_sequence.h"
#include "pdf417/mpdf_variants.h"
#include "pdf417/pdf417_codeword.h"
#include "pdf417/pdf417_interpret.h"
#include "pdf417/pdf417_scanline.h"
#include "pdf417/pdf417_services.h"
#include "pdf417/pdf417_rows.h"
#include "toolkit/geometry_points.h"
#include "toolkit/quad.h"

namespace vexo {

MPDF_DECODER_STATE g_mpdfState;

namespace {

static_assert(kMpdfMaxRapColumns * kMpdfSetEntries <= kPdfWalkEntries);

GEO_POINT Mid(GEO_POINT a, GEO_POINT b) { return GEO_POINT{(a.x + b.x) / 2, (a.y + b.y) / 2}; }

// One RAP column's rows: where they start in the row table, how many, their set and kind.
struct RAP_SET {
    PDF_ROW_ENTRY *rows;
    i32 count;
    i32 set;
    i32 kind;
    i32 descending;
};

// The foot of the perpendicular from p onto the line a-b (p itself when a = b).
GEO_POINT Foot(GEO_POINT p, GEO_POINT a, GEO_POINT b) {
    const f64 dx = b.x - a.x;
    const f64 dy = b.y - a.y;
    const f64 len2 = dx * dx + dy * dy;
    if (len2 <= 0) return p;
    const f64 t = ((p.x - a.x) * dx + (p.y - a.y) * dy) / len2;
    return GEO_POINT{static_cast<i32>(std::lround(a.x + t * dx)), static_cast<i32>(std::lround(a.y + t * dy))};
}

// The walk geometry of RAP column k: reads from line A to line B (startFlag 1) or back,
// on segments square to the column, which is how the rows cross it.
void SetUpColumn(PDF_CANDIDATE *c, const MPDF_RAP_COLUMNS *cols, i32 k, i32 startFlag) {
    *c = PDF_CANDIDATE{};
    c->rapMode = 1;
    c->startFlag = startFlag;
    c->end1.contrast = 7;
    c->end2.contrast = 7;
    const GEO_POINT *a = cols->lines[2 * k];
    const GEO_POINT *b = cols->lines[2 * k + 1];
    // A little past the column's ends: the walk stops where the reads do.
    Geo_StepTowardsRound(&a[0], &a[1], -10, &c->cornerGuard1);
    Geo_StepTowardsRound(&a[1], &a[0], -10, &c->cornerGuard2);
    c->centreGuard = Mid(a[0], a[1]);
    c->cornerInner1 = Foot(c->cornerGuard1, b[0], b[1]);
    c->cornerInner2 = Foot(c->cornerGuard2, b[0], b[1]);
    c->centreInner = Foot(c->centreGuard, b[0], b[1]);
}

// Reads and cleans the RAP sequence of column k into rows: the rows kept.
i32 ReadRapColumn(const MPDF_RAP_COLUMNS *cols, i32 k, i32 startFlag, PDF_ROW_ENTRY *rows, i32 startRow,
                  RAP_SET *out) {
    PDF_CANDIDATE c;
    SetUpColumn(&c, cols, k, startFlag);
    const i32 n = PDF_ReadIndicatorColumn(&c, rows, startRow);
    *out = RAP_SET{rows, 0, 1, 0, 0};
    if (n <= 0) return 0;
    out->set = MPDF_VoteRapSet(rows, n);
    out->count = MPDF_PrepareRapSequence(rows, n, &c);
    out->descending = c.rowsDescending;
    return out->count;
}

// Every row at the middle of its reads: the row's centre line rather than its first read.
void CentreRows(RAP_SET *s) {
    for (i32 i = 0; i < s->count; ++i) {
        PDF_ROW_ENTRY &e = s->rows[i];
        e.firstFrom = Mid(e.firstFrom, e.lastFrom);
        e.firstTo = Mid(e.firstTo, e.lastTo);
        e.lastFrom = e.firstFrom;
        e.lastTo = e.firstTo;
    }
}

// Data columns between RAP columns i and j (order of the symbol): 1 or 2, 0 when neither.
i32 CountDataColumns(const MPDF_RAP_COLUMNS *cols, i32 i, i32 j, i32 startFlag) {
    const GEO_POINT *ai = cols->lines[2 * i];
    const GEO_POINT *bi = cols->lines[2 * i + 1];
    const GEO_POINT *aj = cols->lines[2 * j];
    const GEO_POINT *bj = cols->lines[2 * j + 1];
    const GEO_POINT mi = Mid(ai[0], ai[1]);
    const i32 rapWidth = Geo_DistanceToLine(&mi, &bi[0], &bi[1]);
    // Inner edges: the symbol's right line of the left column and left line of the right one.
    const GEO_POINT *from = startFlag != 0 ? bi : ai;
    const GEO_POINT *to = startFlag != 0 ? aj : bj;
    const GEO_POINT m = Mid(from[0], from[1]);
    const i32 gap = Geo_DistanceToLine(&m, &to[0], &to[1]);
    if (rapWidth <= 0) return 0;
    // A codeword is 17 modules, a RAP 10.
    const i32 n = (10 * gap + 17 * rapWidth / 2) / (17 * rapWidth);
    return n == 1 || n == 2 ? n : 0;
}

// The columns from the symbol's left to its right: along the scan direction (first-edge
// line to last-edge line) when the RAPs read that way, else against it.
void SymbolOrder(const MPDF_RAP_COLUMNS *cols, i32 n, i32 startFlag, i32 *order) {
    const GEO_POINT a = Mid(cols->lines[0][0], cols->lines[0][1]);
    const GEO_POINT b = Mid(cols->lines[1][0], cols->lines[1][1]);
    i64 key[kMpdfMaxRapColumns];
    for (i32 k = 0; k < n; ++k) {
        const GEO_POINT m = Mid(cols->lines[2 * k][0], cols->lines[2 * k][1]);
        key[k] = static_cast<i64>(m.x - a.x) * (b.x - a.x) + static_cast<i64>(m.y - a.y) * (b.y - a.y);
        if (startFlag == 0) key[k] = -key[k];
        order[k] = k;
    }
    for (i32 i = 1; i < n; ++i) {
        for (i32 j = i; j > 0 && key[order[j]] < key[order[j - 1]]; --j) {
            const i32 t = order[j];
            order[j] = order[j - 1];
            order[j - 1] = t;
        }
    }
}

f64 RowPitch(const RAP_SET &s) {
    const PDF_ROW_ENTRY &f = s.rows[0];
    const PDF_ROW_ENTRY &l = s.rows[s.count - 1];
    const i32 steps = (l.row - f.row + 52) % 52;
    if (steps <= 0) return 0;
    return Geo_Distance(f.firstFrom.x, f.firstFrom.y, l.firstFrom.x, l.firstFrom.y) / steps;
}

// The codeword of a cell between p and q, tried on lines shifted across the row.
i32 ReadCell(GEO_POINT p, GEO_POINT q, GEO_POINT along, i32 cluster, i32 pitch) {
    const i32 shifts[5] = {0, -1, 1, -2, 2};
    for (i32 s : shifts) {
        const i32 d = s * pitch / 5;
        GEO_POINT a = p;
        GEO_POINT b = q;
        if (d != 0) {
            const GEO_POINT o{0, 0};
            Geo_ShiftAlong(&o, &along, &p, d, &a);
            Geo_ShiftAlong(&o, &along, &q, d, &b);
        }
        i32 value = kPdfNoCodeword;
        if (PDF_ReadCodewordOnSegment(a, b, &value) != 1) continue;
        if (static_cast<i32>(static_cast<u32>(value) >> 28) == cluster) return value & 0x0FFFFFFF;
    }
    return kPdfNoCodeword;
}

// Codewords row by row: each gap between neighbouring RAP columns split into its columns.
void ReadCodewords(const RAP_SET *sets, i32 n, const i32 *gaps, MPDF_SYMBOL *sym, f64 pitch) {
    for (i32 i = 0; i < kMpdfMaxCodewords; ++i) sym->codewords[i] = kPdfNoCodeword;
    const i32 p = static_cast<i32>(pitch + 0.5);
    for (i32 r = 0; r < sym->rows; ++r) {
        const GEO_POINT along{sets[0].rows[sym->rows - 1].firstFrom.x - sets[0].rows[0].firstFrom.x,
                              sets[0].rows[sym->rows - 1].firstFrom.y - sets[0].rows[0].firstFrom.y};
        i32 column = 0;
        for (i32 g = 0; g + 1 < n; ++g) {
            const GEO_POINT a = sets[g].rows[r].firstTo;
            const GEO_POINT b = sets[g + 1].rows[r].firstFrom;
            for (i32 k = 0; k < gaps[g] && column < sym->columns; ++k, ++column) {
                const GEO_POINT s{a.x + (b.x - a.x) * k / gaps[g], a.y + (b.y - a.y) * k / gaps[g]};
                const GEO_POINT e{a.x + (b.x - a.x) * (k + 1) / gaps[g], a.y + (b.y - a.y) * (k + 1) / gaps[g]};
                sym->codewords[r * sym->columns + column] = ReadCell(s, e, along, sets[0].rows[r].cluster, p);
            }
        }
    }
}

void SetCorners(const RAP_SET &left, const RAP_SET &right, i32 rows, REGION_QUAD *q) {
    q->c[0] = left.rows[0].firstFrom;
    q->c[1] = right.rows[0].firstTo;
    q->c[2] = left.rows[rows - 1].firstFrom;
    q->c[3] = right.rows[rows - 1].firstTo;
}

}  // namespace

i32 MPDF_KindFromSides(i32 orientation, i32 s0, i32 s1, i32 p) {
    if ((s0 != 0 && s0 != 1) || (s1 != 0 && s1 != 1) || (p != 0 && p != 1)) return -1;
    if (orientation != 0 && orientation != 1) return -1;
    if (s0 == 0 && s1 == 0) return -1;
    if (orientation == 1) {
        if (s0 == 1 && s1 == 1) return p != 0 ? 6 : 5;
        if (s0 == 1) return p != 0 ? 4 : 1;
        return p != 0 ? 2 : 3;
    }
    if (s0 == 1 && s1 == 1) return p != 0 ? 5 : 6;
    if (s0 == 1) return p != 0 ? 3 : 2;
    return p != 0 ? 1 : 4;
}

i32 MPDF_GuardWidthOfColumns(const MPDF_RAP_COLUMNS *cols) {
    if (cols == nullptr || cols->lineCount < 2) return 0;
    const GEO_POINT m = Mid(cols->lines[0][0], cols->lines[0][1]);
    return Geo_DistanceToLine(&m, &cols->lines[1][0], &cols->lines[1][1]) * 17 / 10;
}

int MPDF_ReadStructure(const MPDF_RAP_COLUMNS *cols, PDF_ROW_ENTRY *table, MPDF_SYMBOL *sym) {
    if (cols == nullptr || table == nullptr || sym == nullptr || cols->lineCount < 4) return 0;
    if (MPDF_GuardWidthOfColumns(cols) > kMpdfMaxGuardWidth) return 0;
    const i32 found = cols->lineCount / 2 < kMpdfMaxRapColumns ? cols->lineCount / 2 : kMpdfMaxRapColumns;
    // The reading direction that gives the first column more rows is the symbol's.
    RAP_SET first[2];
    i32 got[2];
    for (i32 f = 0; f < 2; ++f) {
        got[f] = ReadRapColumn(cols, 0, 1 - f, table + f * kMpdfSetEntries, f * kMpdfSetEntries, &first[f]);
    }
    const i32 startFlag = got[0] >= got[1] ? 1 : 0;
    if (got[startFlag != 0 ? 0 : 1] <= 2) return 0;
    i32 order[kMpdfMaxRapColumns];
    SymbolOrder(cols, found, startFlag, order);
    RAP_SET sets[kMpdfMaxRapColumns];
    i32 located[kMpdfMaxRapColumns];
    i32 n = 0;
    for (i32 k = 0; k < found; ++k) {
        const i32 index = order[k];
        located[n] = index;
        const i32 rc = ReadRapColumn(cols, index, startFlag, table + n * kMpdfSetEntries, n * kMpdfSetEntries, &sets[n]);
        if (rc <= 2) {
            return 0;
        }
        ++n;
    }
    // A centre column (set 2) between two outer ones, or two outer ones.
    if (n == 3 && sets[1].set != 2) n = 2;
    if (sets[0].set != 1 || sets[n - 1].set != 1) return 0;
    const i32 kinds[3] = {1, n == 3 ? 5 : 3, 3};
    i32 gaps[2] = {0, 0};
    i32 columns = 0;
    for (i32 g = 0; g + 1 < n; ++g) {
        gaps[g] = CountDataColumns(cols, located[g], located[g + 1], startFlag);
        if (gaps[g] == 0) return 0;
        columns += gaps[g];
    }
    for (i32 k = 0; k < n; ++k) {
        sets[k].kind = kinds[k];
        if (sets[k].descending != 0) MPDF_ReverseRows(sets[k].rows, sets[k].count);
        CentreRows(&sets[k]);
    }
    const i32 variant = MPDF_FindVariant(sets[0].rows, sets[0].count, sets[0].kind, sets[1].rows, sets[1].count,
                                         sets[1].kind, columns);
    if (variant < 0) return 0;
    PDF_CANDIDATE c{};
    c.rapMode = 1;
    c.rowPitch = RowPitch(sets[0]);
    if (c.rowPitch < 1.0) return 0;
    for (i32 k = 0; k < n; ++k) {
        if (MPDF_CompleteRows(&c, sets[k].rows, sets[k].count, sets[k].kind, variant) == 0) return 0;
    }
    const u8 *e = MPDF_VARIANT_TABLE[variant];
    sym->variant = variant;
    sym->columns = e[0];
    sym->rows = e[1];
    sym->checkCount = e[11];
    ReadCodewords(sets, n, gaps, sym, c.rowPitch);
    SetCorners(sets[0], sets[n - 1], sym->rows, &sym->corners);
    return 1;
}

int MPDF_DecodeImage() {
    MPDF_DECODER_STATE &s = g_mpdfState;
    s.length = 0;
    s.ready = 0;
    static PDF_ROW_ENTRY table[kPdfRowTableEntries];
    static MPDF_SYMBOL symbol;
    std::memset(table, 0, sizeof table);
    if (MPDF_LocateRapColumns(&s.columns) == 0 || s.columns.lineCount < 2) return 0;
    PDF_ResetReadParams();
    PDF_SetReadParams(0, 0);
    if (MPDF_ReadStructure(&s.columns, table, &symbol) == 0) return 0;
    s.corners = symbol.corners;
    const i32 length = PDF_CorrectAndDecodeTyped(symbol.codewords, symbol.columns * symbol.rows, symbol.checkCount,
                                                 kPdfTypeMicro, s.text, kMpdfTextCapacity);
    if (length <= 0) return 0;
    s.length = length;
    if (Dec_StoreResult(s.text, length, &s.corners) == 0) return 0;
    s.ready = 1;
    return 1;
}

int MPDF_GetResultLength() { return g_mpdfState.ready != 0 ? g_mpdfState.length : 0; }

const u8 *MPDF_GetResultText() {
    MPDF_DECODER_STATE &s = g_mpdfState;
    if (s.ready == 0 || s.length <= 0 || s.length > kMpdfTextCapacity) return nullptr;
    s.text[s.length] = 0;
    return s.text;
}

void MPDF_WriteAimId(char *out) { PDF_WriteAimId(out); }

}  // namespace vexo

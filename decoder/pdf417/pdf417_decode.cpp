#include "pdf417/pdf417_decode.h"

#include <cstring>

#include "core/arena.h"
#include "core/frame_margins.h"
#include "core/params.h"
#include "core/pixel.h"
#include "core/state.h"
#include "locate/box_list.h"
#include "locate/region_select.h"
#include "pdf417/pdf417_arena.h"
#include "pdf417/pdf417_geometry.h"
#include "pdf417/pdf417_guards.h"
#include "pdf417/pdf417_interpret.h"
#include "pdf417/pdf417_macro.h"
#include "pdf417/pdf417_matrix.h"
#include "pdf417/pdf417_scanline.h"
#include "pdf417/pdf417_state.h"
#include "toolkit/geometry_points.h"
#include "toolkit/quad.h"

namespace vexo {

PDF_MATRIX_CACHE g_pdfMatrixCache = {-1, -1, -1, {}, {}};

namespace {

constexpr u32 kStageWordFastPdf = 2;
constexpr i32 kPdfBoxGrowX = 60;
constexpr i32 kPdfBoxGrowY = 16;
constexpr u8 kScanRows = 1;
constexpr u8 kScanColumns = 2;
constexpr i32 kUsedBoxMargin = 2;

i32 Max32(i32 a, i32 b) { return a > b ? a : b; }
i32 Min32(i32 a, i32 b) { return a < b ? a : b; }
i32 Abs32(i32 v) { return v < 0 ? -v : v; }

GEO_POINT Away(GEO_POINT from, GEO_POINT at, i32 d) {
    GEO_POINT out = at;
    Geo_ShiftAlong(&from, &at, &at, d, &out);
    return out;
}

}  // namespace

i32 PDF_SetStatus(i32 s) {
    i32 &b = g_pdfState.bestStatus;
    if ((b < s && s <= 0) || (s >= 0 && (s < b || b < 0))) b = s;
    return s;
}

void PDF_ClearMatrixCache() {
    g_pdfMatrixCache.columns = -1;
    g_pdfMatrixCache.rows = -1;
    g_pdfMatrixCache.level = -1;
    std::memset(g_pdfMatrixCache.confidence, 0, sizeof g_pdfMatrixCache.confidence);
}

void PDF_CacheMatrix(const PDF_CANDIDATE *c, const i32 *codewords, const u8 *confidences) {
    const i32 cells = c->rows * c->columns;
    if (cells <= 0 || cells > kPdfMaxCells || confidences == nullptr) return;
    g_pdfMatrixCache.columns = c->columns;
    g_pdfMatrixCache.rows = c->rows;
    g_pdfMatrixCache.level = c->level;
    std::memcpy(g_pdfMatrixCache.codewords, codewords, sizeof(i32) * static_cast<size_t>(cells));
    std::memcpy(g_pdfMatrixCache.confidence, confidences, static_cast<size_t>(cells));
}

int PDF_MergeCachedMatrix(PDF_CANDIDATE *c, i32 *codewords, u8 *confidences) {
    const PDF_MATRIX_CACHE &m = g_pdfMatrixCache;
    if (m.level == -1 || m.level != c->level || m.columns != c->columns || m.rows != c->rows || confidences == nullptr) {
        return 0;
    }
    const i32 cells = c->rows * c->columns;
    i32 disagreements = 0;
    for (i32 i = 0; i < cells; ++i) {
        if (confidences[i] == 3 && m.confidence[i] == 3 && codewords[i] != m.codewords[i] && ++disagreements > 3) {
            return 0;
        }
    }
    for (i32 i = 0; i < cells; ++i) {
        if (m.confidence[i] > 1 && confidences[i] < 2) {
            if (confidences[i] == 0) --c->erasures;
            codewords[i] = m.codewords[i];
            confidences[i] = m.confidence[i];
        }
    }
    return 1;
}

i32 PDF_DecodeSymbol(PDF_CANDIDATE *c, i32 *codewords, PDF_ROW_ENTRY *rows) {
    if (PDF_BuildSymbolGeometry(c, rows) != 1) return kPdfStatusGeometry;
    g_pdfState.codewordWidth = c->guardWidth;
    const bool startKind = c->kind == 1 || c->kind == -1 || c->kind == 2 || c->kind == -2;
    const i32 last = c->rows - 1;
    const GEO_POINT firstNoted = startKind ? rows[0].firstFrom : rows[0].firstTo;
    const GEO_POINT lastNoted = startKind ? rows[last].lastFrom : rows[last].lastTo;
    const i32 w = Geo_DistanceInt(rows[0].firstFrom.x, rows[0].firstFrom.y, rows[0].firstTo.x, rows[0].firstTo.y);
    c->erasures = c->rows * c->columns;
    const i32 read = PDF_ReadMatrix(c, rows, codewords);
    if (read < 0) return PDF_SetStatus(kPdfStatusMatrix);
    const i32 k = c->columns - read + 2;
    REGION_QUAD q{};  // top-left, top-right, bottom-left, bottom-right
    if (startKind) {
        q.c[0] = Away(rows[0].firstTo, firstNoted, w);
        q.c[2] = Away(rows[last].firstTo, lastNoted, w);
        q.c[1] = Away(q.c[0], rows[0].firstTo, k * w);
        q.c[3] = Away(q.c[2], rows[last].firstTo, k * w);
    } else {
        q.c[1] = Away(rows[0].firstFrom, firstNoted, w);
        q.c[3] = Away(rows[last].firstFrom, lastNoted, w);
        q.c[0] = Away(q.c[1], rows[0].firstFrom, k * w);
        q.c[2] = Away(q.c[3], rows[last].firstFrom, k * w);
    }
    g_pdfState.symbolCorners = q;
    for (int i = 0; i < 4; ++i) c->symbolCorners[i] = q.c[i];
    if (g_pdfState.joinedMode == 0 && g_pdfState.regionFlag == 0 && g_state.extraGeometryStep == 1 &&
        Geo_InRoi(&q, nullptr, 1) != 1) {
        return kPdfStatusNoData;
    }
    PDF_MergeCachedMatrix(c, codewords, c->confidence);
    if (c->erasures >= (1 << (c->level + 1))) {
        PDF_CacheMatrix(c, codewords, c->confidence);
        g_pdfState.readFailed = 1;
        return PDF_SetStatus(kPdfStatusErasures);
    }
    std::memset(g_pdfState.text, 0, sizeof g_pdfState.text);
    const i32 length = PDF_CorrectAndDecode(codewords, c->columns * c->rows, c->level, g_pdfState.text, kPdfTextCapacity);
    g_pdfState.length = Max32(length, 0);
    if (length == kPdfCorrectionFailed) {
        PDF_SetStatus(kPdfStatusCorrection);
        PDF_CacheMatrix(c, codewords, c->confidence);
        g_pdfState.readFailed = 1;
        return kPdfStatusCorrection;
    }
    PDF_ClearMatrixCache();
    return length > 0 ? kPdfStatusText : PDF_SetStatus(kPdfStatusNoData);
}

// ---- Results and modes.

void PDF_ResetState() {
    std::memset(g_pdfState.text, 0, sizeof g_pdfState.text);
    g_pdfState.length = 0;
    g_pdfState.bestStatus = 0;
    g_pdfState.regionFlag = 0;
    std::memset(g_pdfState.regionQuad, 0, sizeof g_pdfState.regionQuad);
    g_pdfState.codewordWidth = 0;
    g_pdfState.joinedMode = 0;
    g_pdfState.contrastMode = 0;
    PDF_ResetReadParams();
    PDF_ClearMatrixCache();
}

void PDF_ReadModeBits() {
    const u32 word = g_params.flagsWord[kSymPdf417];
    g_pdfState.joinedMode = (word & 0xFu) == 2 ? 2 : 0;
    g_pdfState.bothRequired = (word & kFlag2DCountOption) != 0 ? 1 : 0;
    const bool b5 = (word & (1u << 5)) != 0;
    const bool b6 = (word & (1u << 6)) != 0;
    g_pdfState.contrastMode = b6 ? (b5 ? 2 : 1) : 0;
}

const u8 *PDF_GetResultText() { return g_pdfState.length > 0 ? g_pdfState.text : nullptr; }
int PDF_GetResultLength() { return g_pdfState.length; }
void PDF_ClearResultLength() { g_pdfState.length = 0; }
int PDF_HasMacro() { return g_pdfMacro.present; }
int PDF_GetMacroSegmentIndex() { return g_pdfMacro.segmentIndex; }
int PDF_GetMacroSegmentCount() { return g_pdfMacro.countWord; }
int PDF_GetMacroFileIdItem(int i) { return static_cast<u32>(i) > 15u ? -1 : g_pdfMacro.fileId[i]; }

void PDF_SetRegionQuad(i32 flag, const i32 *quad) {
    g_pdfState.regionFlag = flag;
    for (int k = 0; k < 4; ++k) g_pdfState.regionQuad[k] = quad != nullptr ? GEO_POINT{quad[2 * k], quad[2 * k + 1]} : GEO_POINT{};
}

void PDF_DropCandidatesOutside(PDF_CANDIDATE *candidates, i32 count, const GEO_POINT *quad) {
    for (i32 i = 0; i < count; ++i) {
        PDF_CANDIDATE &c = candidates[i];
        GEO_POINT p{(c.end1.x + c.end2.x) / 2, (c.end1.y + c.end2.y) / 2};
        if (c.kind == 0 || c.kind == 3) {
            if (c.orientation == 1) {
                p.y += c.end1.width;
            } else {
                p.x += c.end1.width;
            }
        }
        if (Geo_PointInConvexPolygon(p, quad, 4) == -1) c.pending = 0;
    }
}

int PDF_AddText(const u8 *text, i32 length, i32 front) {
    i32 &n = g_pdfState.length;
    if (length < 0 || n < 0 || static_cast<i64>(n) + length > kPdfTextCapacity) return 0;
    if (front != 0) {
        std::memmove(g_pdfState.text + length, g_pdfState.text, static_cast<size_t>(n));
        std::memmove(g_pdfState.text, text, static_cast<size_t>(length));
    } else {
        std::memmove(g_pdfState.text + n, text, static_cast<size_t>(length));
    }
    n += length;
    return 1;
}

int PDF_InsertTextFront(const u8 *text, i32 length) { return PDF_AddText(text, length, 1); }

i32 PDF_QuadPairLayout(const REGION_QUAD quads[2]) {
    bool flat[2];
    for (int k = 0; k < 2; ++k) {
        flat[k] = Abs32(quads[k].c[1].x - quads[k].c[0].x) > Abs32(quads[k].c[1].y - quads[k].c[0].y);
    }
    if (flat[0] == flat[1]) return 1;
    return flat[0] ? 3 : 2;
}

int PDF_QuadCentreSeen(const REGION_QUAD *quads, i32 count, const REGION_QUAD *quad) {
    i64 sx = 0;
    i64 sy = 0;
    for (const GEO_POINT &p : quad->c) sx += p.x, sy += p.y;
    const GEO_POINT centre{static_cast<i32>(sx / 4), static_cast<i32>(sy / 4)};
    for (i32 i = 0; i < count; ++i) {
        if (Geo_PointInQuad(&centre, &quads[i]) != 0) return 1;
    }
    return 0;
}

// ---- One decode over a set of boxes.

namespace {

struct WORK {
    PDF_ALIGNED_BLOCK<PDF_CANDIDATE> candidateBlock;
    PDF_CANDIDATE *candidates;
    i32 *codewords;
    u8 *confidence;
    PDF_ROW_ENTRY *rows;
    bool Take() {
        candidates = candidateBlock.Take(kPdfMaxCandidates);
        codewords = candidates != nullptr ? Mem_AllocArray<i32>(kPdfMaxCells) : nullptr;
        confidence = codewords != nullptr ? Mem_AllocArray<u8>(kPdfMaxCells) : nullptr;
        rows = confidence != nullptr ? Mem_AllocArray<PDF_ROW_ENTRY>(kPdfRowTableEntries) : nullptr;
        return rows != nullptr;
    }
    i32 Release(i32 status) {
        if (rows != nullptr) Mem_Free(rows);
        if (confidence != nullptr) Mem_Free(confidence);
        if (codewords != nullptr) Mem_Free(codewords);
        candidateBlock.Release();
        return status;
    }
};

// Length of the quad edge p-q or r-s whose summed coordinate differences are larger.
i32 LongerEdge(GEO_POINT p, GEO_POINT q, GEO_POINT r, GEO_POINT s) {
    const i64 a = static_cast<i64>(Abs32(q.x - p.x)) + Abs32(q.y - p.y);
    const i64 b = static_cast<i64>(Abs32(s.x - r.x)) + Abs32(s.y - r.y);
    return a >= b ? Geo_DistanceInt(p.x, p.y, q.x, q.y) : Geo_DistanceInt(r.x, r.y, s.x, s.y);
}

void ReportFailedSymbol() {
    if (g_pdfState.readFailed == 0) {
        g_state.decodeRecord[1] = 0;
        return;
    }
    const REGION_QUAD &q = g_pdfState.symbolCorners;
    g_state.decodeRecordWord = 1;
    g_state.decodeRecordQuad = q;
    const f64 across = LongerEdge(q.c[0], q.c[1], q.c[2], q.c[3]);
    const f64 down = LongerEdge(q.c[0], q.c[2], q.c[1], q.c[3]);
    const f64 frame = 0.4 * g_image.width * g_image.height;
    g_state.decodeRecord[1] = across * down > frame ? 2 : 0;
}

void Prepare(WORK &w, PDF_CANDIDATE *c) {
    std::memset(w.rows, 0, sizeof(PDF_ROW_ENTRY) * kPdfRowTableEntries);
    std::memset(w.confidence, 0, kPdfMaxCells);
    c->pending = 0;
    c->rapMode = 0;
    c->confidence = w.confidence;
}

bool Store(const REGION_QUAD &q) {
    if (g_pdfState.storedCount >= 2) return false;
    g_pdfState.storedQuads[g_pdfState.storedCount++] = q;
    return true;
}

}  // namespace

i32 PDF_DecodeInRegions(const i32 (*boxes)[4], i32 count, const u8 *flags, i32 force) {
    WORK w{};
    if (!w.Take()) return w.Release(kPdfStatusArena);
    std::memset(w.candidates, 0, sizeof(PDF_CANDIDATE) * kPdfMaxCandidates);
    PDF_DECODER_STATE &s = g_pdfState;
    s.symbolCorners = REGION_QUAD{};
    s.storedQuads[0] = s.storedQuads[1] = REGION_QUAD{};
    s.bestStatus = kPdfStatusNoneRecorded;
    s.readFailed = 0;
    s.storedCount = 0;
    i32 n = 0;
    for (i32 b = 0; b < count && boxes != nullptr && flags != nullptr; ++b) {
        if (force == 0 && b < kMaxRegions && g_state.regionClass[b] == kRegionClassBars) continue;
        if (n > 3) break;
        if ((flags[b] & kScanRows) != 0 && n < kPdfMaxCandidates) {
            n += PDF_ScanRowsForGuards(w.candidates + n, kPdfMaxCandidates - n, s.contrastMode, boxes[b], g_image.height);
        }
        if ((flags[b] & kScanColumns) != 0 && n < kPdfMaxCandidates) {
            n += PDF_ScanColumnsForGuards(w.candidates + n, kPdfMaxCandidates - n, s.contrastMode, boxes[b],
                                          g_image.width);
        }
    }
    n = Min32(n, kPdfMaxCandidates);
    if (n == 0) return w.Release(kPdfStatusNoCandidate);
    if ((s.contrastMode == 0 && w.candidates[0].kind < 0) || (s.contrastMode == 1 && w.candidates[0].kind > 0)) {
        return w.Release(kPdfStatusContrast);
    }
    if (s.regionFlag != 0) PDF_DropCandidatesOutside(w.candidates, n, s.regionQuad);
    PDF_SetGuardCentres(w.candidates, n);
    PDF_SetReadParams(0, w.candidates[0].kind < 0 ? 1 : 0);
    i32 successes = 0;
    for (i32 i = 0; i < n && i < kPdfMaxCandidates; ++i) {
        PDF_CANDIDATE *c = &w.candidates[i];
        if (c->pending == 0) continue;
        if (s.storedCount >= 2) break;
        Prepare(w, c);
        i32 status = PDF_DecodeSymbol(c, w.codewords, w.rows);
        i32 decoded = -1;
        if (status == kPdfStatusText) {
            decoded = i;
            Store(s.symbolCorners);
            PDF_ReleaseCoveredCandidates(w.candidates, &n, i, 0);
        } else {
            const i32 j = PDF_ReleaseCoveredCandidates(w.candidates, &n, i, status);
            if (j >= 0) {
                Prepare(w, &w.candidates[j]);
                status = PDF_DecodeSymbol(&w.candidates[j], w.codewords, w.rows);
                if (status != kPdfStatusText) continue;
                PDF_SetStatus(kPdfStatusText);
                Store(s.symbolCorners);
                // The same symbol from its other guard is not a second one.
                if (s.storedCount == 2 && PDF_QuadCentreSeen(s.storedQuads, 1, &s.storedQuads[1]) != 0) {
                    s.storedCount = 1;
                    continue;
                }
                decoded = j;
            }
        }
        if (decoded < 0) continue;
        Geo_AddQuadBox(&s.symbolCorners, &g_boxList, 1, kUsedBoxMargin);
        ++successes;
        if (s.joinedMode == 0 || s.regionFlag != 0) {
            PDF_SetStatus(kPdfStatusText);
            Dec_SetJoinedCount(successes);
            return w.Release(kPdfStatusText);
        }
        if (successes == 1) {
            std::memcpy(s.firstText, s.text, static_cast<size_t>(Min32(s.length, kPdfTextCapacity)));
            s.firstLength = Min32(s.length, kPdfTextCapacity);
            s.firstIndex = decoded;
            continue;
        }
        i32 front = 0;
        const i32 layout = PDF_QuadPairLayout(s.storedQuads);
        if (layout == 1) {
            i32 order[2] = {0, 1};
            Geo_OrderQuadPair(s.storedQuads, 2, order);
            front = order[0] == 1 ? 0 : 1;
        } else {
            front = layout == 3 ? 1 : 0;
        }
        // A join that would not fit is refused: the image ends as with one success.
        if (PDF_AddText(s.firstText, s.firstLength, front) == 0) {
            successes = 1;
            break;
        }
        s.bestStatus = kPdfStatusText;
        Dec_SetJoinedCount(2);
        return w.Release(kPdfStatusText);
    }
    if (successes == 1) {
        if (s.joinedMode == 2 && s.bothRequired != 0) return w.Release(kPdfStatusOneOfTwo);
        std::memcpy(s.text, s.firstText, static_cast<size_t>(s.firstLength));
        s.length = s.firstLength;
        PDF_SetStatus(kPdfStatusText);
        Dec_SetJoinedCount(1);
        return w.Release(kPdfStatusText);
    }
    ReportFailedSymbol();
    return w.Release(s.bestStatus);
}

int PDF_DecodeImage() {
    if (g_state.stageWord != kStageWordFastPdf) {
        REGION_QUAD quads[kMaxRegions];
        const i32 n = Max32(0, Min32(g_state.locatedCount, kMaxRegions));
        Dec_ExpandCandidateBoxes(g_roiTable, n, quads, kPdfBoxGrowX, kPdfBoxGrowY);
        for (i32 i = 0; i < n; ++i) {
            g_state.pdfCandidateBoxes[i] = PDF_CANDIDATE_BOX{quads[i].c[0].y, quads[i].c[0].x, quads[i].c[1].x,
                                                             quads[i].c[2].y};
            g_state.pdfCandidateTags[i] = kScanRows | kScanColumns;
        }
        g_state.pdfCandidateCount = n;
    }
    static_assert(sizeof(PDF_CANDIDATE_BOX) == 4 * sizeof(i32));
    const i32 count = Max32(0, Min32(g_state.pdfCandidateCount, kMaxRegions));
    const auto *boxes = reinterpret_cast<const i32(*)[4]>(g_state.pdfCandidateBoxes);
    return PDF_DecodeInRegions(boxes, count, g_state.pdfCandidateTags, 0) == kPdfStatusText ? 1 : 0;
}

int PDF_DecodeInQuad(CC_PDF_REQUEST *request) {
    if (request == nullptr || request->quad == nullptr) return 0;
    request->length = 0;
    PDF_SetRegionQuad(1, request->quad);
    i32 top = request->quad[1];
    i32 bottom = top;
    i32 left = request->quad[0];
    i32 right = left;
    for (int k = 1; k < 4; ++k) {
        left = Min32(left, request->quad[2 * k]);
        right = Max32(right, request->quad[2 * k]);
        top = Min32(top, request->quad[2 * k + 1]);
        bottom = Max32(bottom, request->quad[2 * k + 1]);
    }
    // The request's points may lie outside the frame; nothing else limits a forced scan.
    const i32 box[1][4] = {{Max32(top, 0), Max32(left, 0), Min32(right, g_image.width - 1),
                            Min32(bottom, g_image.height - 1)}};
    // The component's rows run along its first side: scan image columns when that side
    // stands upright (a symbol turned a quarter), whose start pattern no image row crosses.
    const i64 runX = static_cast<i64>(request->quad[2]) - request->quad[0];
    const i64 runY = static_cast<i64>(request->quad[3]) - request->quad[1];
    const u8 flags[1] = {static_cast<u8>((runY < 0 ? -runY : runY) > (runX < 0 ? -runX : runX) ? kScanColumns : kScanRows)};
    i32 status = kPdfStatusNoCandidate;
    if (box[0][0] <= box[0][3] && box[0][1] <= box[0][2]) status = PDF_DecodeInRegions(box, 1, flags, 1);
    g_pdfState.regionFlag = 0;
    if (status != kPdfStatusText) return 0;
    const i32 length = PDF_GetResultLength();
    // Either way the component's text is not the PDF417 module's own result.
    PDF_ClearResultLength();
    if (length > request->capacity || request->buffer == nullptr) return 0;
    std::memcpy(request->buffer, g_pdfState.text, static_cast<size_t>(length));
    request->length = length;
    return 1;
}

}  // namespace vexo

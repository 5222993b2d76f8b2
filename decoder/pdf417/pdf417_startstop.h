// The fast PDF417 stage's start/stop search: does a start or stop pattern cross a box, and
// where. One line through the box's middle (row, then column, or the other way for a tall
// box), windows of edges around every wide element on it, the pattern ratios, then two more
// lines parallel to it; a line across the bars when the straight ones fail. The entry is
// PDF_FindStartStopInRegion (pdf417_services.h); the routines below are its steps, visible
// so that tests can drive them on synthetic lines.
#pragma once

#include "core/types.h"
#include "pdf417/pdf417_services.h"

namespace vexo {

inline constexpr i32 kPdfSearchMaxSide = 3888;
inline constexpr i32 kPdfSearchArrays = 17;  // room carved; fifteen are used
inline constexpr i32 kPdfSearchBlockBytes = kPdfSearchArrays * kPdfSearchMaxSide * 4;
inline constexpr i32 kPdfWindowSlots = 18;
inline constexpr i32 kPdfWindowCapacity = kPdfSearchMaxSide / kPdfWindowSlots;
static_assert(kPdfSearchBlockBytes == 264384);
static_assert(kPdfWindowCapacity == 216);

// Scan kinds: what a line number and a position are on the current scan line.
inline constexpr i32 kPdfScanRow = 1;
inline constexpr i32 kPdfScanColumn = 2;
inline constexpr i32 kPdfScanObliqueH = 3;
inline constexpr i32 kPdfScanObliqueV = 4;

// refs, gradient by position, edge list, index of the wide element's second edge, factor, shift.
using PDF_REF_CALLBACK = void (*)(i32 *const *refs, const i32 *g, const i32 *p, i32 i, i32 f, i32 s);
// Forward-ordered edges: e[i - 1], e[i] bound the wide element; t is the total width.
using PDF_PATTERN_TEST = int (*)(const i32 *e, i32 i, i32 t);

struct PDF_PATTERN_DESC {
    PDF_PATTERN_TEST quickTest;
    PDF_PATTERN_TEST strictTest;
    PDF_REF_CALLBACK initialRefs;
    PDF_REF_CALLBACK trackRefs;
    i32 polarity;
    i32 isStart;
    i32 forward;
    i32 firstSlot;
    i32 lastSlot;
};

struct PDF_REGION_SEARCH {
    u8 *pixels;
    i32 width, height;
    i32 box[4];  // top, left, right, bottom
    i32 minGrey, maxGrey;
    i32 edgeThreshold;
    i32 fineThreshold;
    i32 trackThreshold;
    i32 pairThreshold;
    i32 strongThreshold;
    PDF_PATTERN_HIT *out;
    i32 wantNormal, wantInverse;
    i32 scanKind;
    const u8 *linePtr;
    i32 lineStep;  // sample step through linePtr: 1, or width for a column
    i32 scanStart, scanEnd;
    i32 midRow, midColumn;
    i32 *rowEdges;
    i32 rowEdgeCount;
    i32 *rowGradient;
    i32 *rowCrossGradient;
    i32 *columnEdges;
    i32 columnEdgeCount;
    i32 *columnCrossGradient;
    i32 *columnGradient;
    u8 *lineBuffer;
    i32 obliqueSlope, obliqueBase, obliqueShift;
    i32 *gradient;
    i32 *edges;
    i32 edgeCount;
    i32 *normalCandidates;
    i32 normalCount;
    i32 *inverseCandidates;
    i32 inverseCount;
    i32 *windows;
    i32 windowCapacity;
    i32 windowCount;
    i32 firstFineWindow;
    i32 *fineGradient;
    i32 *narrowWidths;
    i32 *narrowList;
    i32 *pairList;
    i32 *localGradient;
    i32 *localEdges;
    PDF_PATTERN_DESC *pattern;
};

// Carves the arrays out of a block of kPdfSearchBlockBytes and a line buffer of
// kPdfSearchMaxSide bytes, and sets the image, the box, out and the wanted polarities.
void PDF_InitRegionSearch(PDF_REGION_SEARCH *s, u8 *block, u8 *line, u8 *pixels, i32 width, i32 height,
                          const i32 box[4], PDF_PATTERN_HIT *out, i32 polarityWanted);
void PDF_SetContrastThresholds(PDF_REGION_SEARCH *s);

// Straight scans: 1 when a pattern on the box's middle row (column) was confirmed.
int PDF_ScanMiddleRow(PDF_REGION_SEARCH *s);
int PDF_ScanMiddleColumn(PDF_REGION_SEARCH *s);
// Edges and candidates of the current line from its gradient (positions from..to hold one):
// edges[0] = from, extrema tested from from + 1 to lastExtremum. Sets edgeCount and the
// two candidate counts.
void PDF_ListLineEdges(PDF_REGION_SEARCH *s, i32 from, i32 lastExtremum);
// Windows and readings of both wanted polarities: 1 at the first confirmed one.
int PDF_TestPatternCandidates(PDF_REGION_SEARCH *s);

int PDF_QuickStartTest(const i32 *e, i32 i, i32 t);
int PDF_QuickStopTest(const i32 *e, i32 i, i32 t);
int PDF_StrictStartTest(const i32 *e, i32 i, i32 t);
int PDF_StrictStopTest(const i32 *e, i32 i, i32 t);

void PDF_RefsStartFwd(i32 *const *refs, const i32 *g, const i32 *p, i32 i, i32 f, i32 s);
void PDF_RefsStartFwdInv(i32 *const *refs, const i32 *g, const i32 *p, i32 i, i32 f, i32 s);
void PDF_RefsStartBack(i32 *const *refs, const i32 *g, const i32 *p, i32 i, i32 f, i32 s);
void PDF_RefsStartBackInv(i32 *const *refs, const i32 *g, const i32 *p, i32 i, i32 f, i32 s);
void PDF_RefsStopFwd(i32 *const *refs, const i32 *g, const i32 *p, i32 i, i32 f, i32 s);
void PDF_RefsStopFwdInv(i32 *const *refs, const i32 *g, const i32 *p, i32 i, i32 f, i32 s);
void PDF_RefsStopBack(i32 *const *refs, const i32 *g, const i32 *p, i32 i, i32 f, i32 s);
void PDF_RefsStopBackInv(i32 *const *refs, const i32 *g, const i32 *p, i32 i, i32 f, i32 s);

// Windows for the candidates list[0 .. *count - 1] (edge indexes of wide elements' second
// edges) of one polarity (lightBars 0 dark, 1 light); entries become window centres and
// added windows' centres are appended. Sets windowCount and firstFineWindow.
void PDF_BuildEdgeWindows(PDF_REGION_SEARCH *s, i32 *list, i32 *count, i32 lightBars);

// 1 when the reading in s->pattern around window centre c is seen on two more lines; then
// s->out is written.
int PDF_ConfirmPatternOnLines(PDF_REGION_SEARCH *s, i32 fineWindow, i32 c);

// The line across the bars.
int PDF_ObliqueRetry(PDF_REGION_SEARCH *s);
// Longest run of list entries each at most 50 after the one before (the first among equal
// runs): its entry count, with [*a, *b]; [0, 0] of length 1 for one entry or none.
i32 PDF_LongestEdgeRun(const i32 *edges, i32 n, i32 *a, i32 *b);
int PDF_EstimateScanDirection(PDF_REGION_SEARCH *s, POINT_I32 *p, POINT_I32 *d);
int PDF_DirectionFromRowEdges(PDF_REGION_SEARCH *s, POINT_I32 *p, POINT_I32 *d, i32 a, i32 b);
int PDF_DirectionFromColumnEdges(PDF_REGION_SEARCH *s, POINT_I32 *p, POINT_I32 *d, i32 a, i32 b);
int PDF_DirectionFromBothEdges(PDF_REGION_SEARCH *s, POINT_I32 *p, POINT_I32 *d, i32 a, i32 b, i32 c, i32 e);
// Moves *p onto the box border when it lies outside; *end = the border point ahead along d.
// 0, or -1 (with *end = *p) when the line does not cross the border twice.
int PDF_ClipLineToBox(POINT_I32 *p, POINT_I32 d, const i32 box[4], POINT_I32 *end);
int PDF_ScanObliqueLine(PDF_REGION_SEARCH *s, POINT_I32 a, POINT_I32 b);

}  // namespace vexo

// MicroPDF417 locating: the row-address-pattern (RAP) columns of one candidate region,
// found on three scan lines across it, traced along the column in both directions, merged,
// kept when long and ordered across the symbol, each as two boundary lines with hints on
// which side the symbol body lies and on the column's polarity.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

inline constexpr i32 kMpdfLineEntries = 32;
inline constexpr i32 kMpdfMaxEdges = 128;
inline constexpr i32 kMpdfTraceSteps = 512;
inline constexpr i32 kMpdfMaxTraces = 60;
inline constexpr i32 kMpdfColumnEntries = 20;  // two per column
inline constexpr i32 kMpdfMaxRegions = 20;

// Column k: lines[2k] through the first edges of its RAPs (first met along the scan),
// lines[2k + 1] through their last edges; [0] the end towards the region's first corner.
struct MPDF_RAP_COLUMNS {
    GEO_POINT lines[kMpdfLineEntries][2];
    u8 sideFlags[kMpdfLineEntries];       // 1: the symbol body lies beyond that line
    u8 polarityFlags[kMpdfLineEntries / 2];  // 1: falling edges outnumber rising ones at line 2k
    i32 lineCount;
    i32 vertical;  // line 0 runs more vertically than horizontally
};

// One step of a trace: the RAP's first-edge and last-edge points on its scan line.
struct MPDF_STEP {
    GEO_POINT first;
    GEO_POINT last;
};

struct MPDF_TRACE {
    GEO_POINT towards;  // the trace moves from `away` towards `towards`
    GEO_POINT away;
    GEO_POINT endA;     // current segment ends
    GEO_POINT endB;
    MPDF_STEP start;
    MPDF_STEP *steps;   // the starting segment first
    i32 count;          // entries in steps
    i32 capacity;
};

struct MPDF_COLUMN_TABLE {
    MPDF_STEP ends[kMpdfColumnEntries];  // first and last step of column k at 2k, 2k + 1
    i32 length[kMpdfColumnEntries / 2];
    REGION_QUAD box[kMpdfColumnEntries / 2];
    i32 count;  // entries (two per column)
};

// The edge thresholds measured on a search's middle line, used by its other samplers.
struct MPDF_THRESHOLDS {
    i32 ratio;
    i32 minStep;
};
extern MPDF_THRESHOLDS g_mpdfThresholds;

// Fills `columns` for the current region: 0 (untouched) when more than 20 regions were
// loaded, else 1 (lineCount tells what was found).
int MPDF_LocateRapColumns(MPDF_RAP_COLUMNS *columns);
// The same inside `quad` (top-left, top-right, bottom-left, bottom-right), work memory
// taken from the second buffer; the region count is the caller's.
int MPDF_LocateInQuad(const REGION_QUAD *quad, MPDF_RAP_COLUMNS *columns);
i32 MPDF_NormaliseQuads(REGION_QUAD *quads, i32 count);
// RAP windows among count edge positions (1/16 sample): start index and module width of
// each, at most `capacity`; the number found.
i32 MPDF_FindRapCandidates(const i32 *edges, i32 count, i32 *starts, i32 *moduleWidths, i32 capacity);
// Steps of the trace beyond its starting segment.
i32 MPDF_TraceRapColumn(MPDF_TRACE *trace, u8 *samples, i32 *xs, i32 *ys, i32 capacity);
void MPDF_StepAlongDirection(GEO_POINT a, GEO_POINT b, GEO_POINT p, GEO_POINT *out, i32 d);
// Adds the column unless it repeats a stored one (then the longer stays): the entry count.
i32 MPDF_AddColumn(MPDF_COLUMN_TABLE *table, i32 count, i32 capacity, MPDF_STEP first, MPDF_STEP last, i32 length);
// Drops columns shorter than half the longest and orders the rest across the symbol into
// order[] (column indexes); the number kept.
i32 MPDF_SelectColumns(MPDF_COLUMN_TABLE *table, i32 *order);
// Whether a run of n steps with J jumps of more than 5 pixels is steady.
int MPDF_SteadyRun(const MPDF_STEP *steps, i32 n);

void MPDF_ClassifyColumnSides(MPDF_RAP_COLUMNS *columns);
void MPDF_ModuleWidthOfColumn(const GEO_POINT (*lines)[2], i32 k, i32 unused, i32 *width);
void MPDF_ProbeColumnSides(const GEO_POINT *line, const GEO_POINT *otherLine, i32 *sums, i32 moduleWidth);
// The span of edges on from-to in modules of moduleWidth; 0 with fewer than 6 edges or a
// module width of 0.
i32 MPDF_EdgeSpanModules(GEO_POINT from, GEO_POINT to, i32 moduleWidth);
void MPDF_ClassifyColumnPolarity(MPDF_RAP_COLUMNS *columns);
void MPDF_ProbeColumnPolarity(const GEO_POINT *line, const GEO_POINT *otherLine, i32 *balance);

}  // namespace vexo

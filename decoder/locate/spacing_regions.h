// Regions of regularly spaced edges: a grid of 4 x 4-pixel cells carrying the spacing of
// the strong edges that cross them, the spacing bands that look like code texture, and
// the records of the regions found on that grid.
#pragma once

#include "core/types.h"
#include "locate/block_blobs.h"
#include "toolkit/geometry.h"

namespace vexo {

inline constexpr i32 kSpacingRegionsMax = 64;
inline constexpr i32 kSpacingBins = 64;
inline constexpr i32 kSpacingPeaksMax = 10;

// The cell grid over the installed frame and its five maps in the second buffer.
struct CELL_GRID {
    u16 across;  // n = width / 4
    u16 down;    // m = height / 4
    i32 cells;
    u8 *m1;  // anti-diagonal spacings, later the second band's mask
    u8 *m2;  // filter scratch
    u8 *m3;  // row spacings, then the combined spacing
    u8 *m4;  // column spacings, then the direction code
    u8 *m5;  // diagonal spacings, then the cell mask
    i32 neighbour[8];  // E, SE, S, SW, W, NW, N, NE in map units
    i32 ringRadius;    // the spiral search's next ring
    GEO_POINT hull[kBlockHullMax];  // the last traced hull, in cells
};
extern CELL_GRID g_cellGrid;

enum SpacingDirection : u8 { kSpacingNone = 0, kSpacingRow = 1, kSpacingAnti = 2, kSpacingColumn = 3, kSpacingDiagonal = 4 };

struct SPACING_REGION {
    i16 top, bottom, left, right;
    GEO_POINT corners[4];
    i32 aligned;
};
extern SPACING_REGION g_spacingRegions[kSpacingRegionsMax];
extern i16 g_spacingOrder[kSpacingRegionsMax];

// Counts over the cells under a hull. Wider than 16 bits: a hull on a 1280 x 960 frame
// can hold more cells than that, and its spacing sum far more.
struct HULL_STATS {
    u32 directions[5];  // marked cells per direction code
    u32 area;           // cells under the hull's spans
    u32 marked;
    u32 spacingSum;     // combined spacing of the marked cells
};

struct SPACING_PEAK {
    u8 low;  // band: low < spacing <= high
    u8 high;
    u16 area;
    u8 start;  // histogram bins fitted
    u8 end;
    u8 centre;
};

// Diagonal spacing in pixels of k two-pixel steps: round(2k sqrt 2), 0 past the table.
inline constexpr u8 kDiagonalSpacings[24] = {0,  3,  6,  8,  11, 14, 17, 20, 23, 25, 28, 31,
                                             34, 37, 40, 42, 45, 48, 51, 54, 57, 59, 62, 0};
static_assert(sizeof(kDiagonalSpacings) == 24);

// The finder: regions of the installed frame's cell mask, at most 64, in g_spacingRegions
// with their order list by distance from the frame centre. 0 when none (or no frame).
i32 Loc_FindSpacingRegions();
// Traces the hull of the mask's blob whose first cell in row order is (cx, cy), clears the
// mask under it and writes *out when the blob looks like code texture. 1 when written.
i32 Loc_EvaluateSpacingRegion(i32 cx, i32 cy, SPACING_REGION *out);
// The same from any cell of a blob (the spiral's seeds): hulls of 8 points or fewer are
// rejected with the mask untouched, and only the box of *out is written.
i32 Loc_EvaluateSpacingRegionAt(i32 cx, i32 cy, SPACING_REGION *out);
// Hull of the mask blob through (cx, cy) into g_cellGrid.hull; the number of points (0 for
// a lone cell, 2 for a blob too thin for a hull).
i32 Loc_TraceCellHull(i32 cx, i32 cy);
// From any cell: moves right along the run of marked cells and traces the blob of the run's
// last cell. *start: the index of the hull's top point in the list, where clearing begins.
i32 Loc_TraceCellHullFromRun(i32 cx, i32 cy, u16 *start);
// Clears the mask under the hull (spans widened by a cell each side) and counts its cells
// into *stats, which it sets first.
void Loc_ClearCellHull(const GEO_POINT *hull, i32 count, HULL_STATS *stats);
void Loc_ClearCellHullStats(const GEO_POINT *hull, i32 count, HULL_STATS *stats);
// Smallest rectangle around a cell hull, corners in pixels, the longer side first; its area
// in square cells, 0 when none.
u32 Loc_CellHullRectangle(GEO_POINT out[4], const GEO_POINT *hull, i32 count);
// Rings of cells around the grid centre from the grid's ring radius; the first blob that
// passes gives its box. The radius keeps its growth, so the next call starts on the ring
// after the one that succeeded. Expects Loc_SetupCellGrid to have run. 1 when found.
i32 Loc_FindSpacingRegionSpiral(SPACING_REGION *out);

// Sets the grid over the installed frame (ring radius 1) and builds the spacing map and the
// cell mask. 1; 0 when no frame or second buffer of width x height bytes is installed.
i32 Loc_SetupCellGrid();
i32 Loc_BuildSpacingMap();
// Spacing scans of one line of `length` pixels from firstPixel, into the cells of the map
// from the given one. Rows and columns write spacings of 2 .. 62; diagonals table entries.
void Loc_RowSpacings(const u8 *firstPixel, u8 *mapRow, i32 length);
void Loc_ColumnSpacings(const u8 *firstPixel, u8 *firstCell, i32 length);
void Loc_AntiDiagonalSpacings(const u8 *firstPixel, u8 *firstCell, i32 length);
void Loc_DiagonalSpacings(const u8 *firstPixel, u8 *firstCell, i32 length);
// Chooses up to two bands of code-like spacing and writes the cell mask; the mean spacing.
i32 Loc_SelectSpacingBands(u16 histogram[kSpacingBins]);
// Least-squares parabola over bins start, start + 2, ..., end; 1 accepted.
i32 Loc_FitHistogramPeak(SPACING_PEAK *peak, const u16 *histogram);
// Map of the grid rewritten as 0/1: more than 12 (24) marked cells in the 5 x 5 (7 x 7) window.
void Loc_MajorityFilter5(u8 *map);
void Loc_MajorityFilter7(u8 *map);
// Direction (dx, dy) of 16 units and its strength from the row, anti-diagonal, column and
// diagonal shares. 1.
i32 Loc_BarDirectionFromCounts(const u16 shares[4], i32 *dx, i32 *dy, i32 *strength);
// Order list of the first count regions by distance from the frame centre, ties in table order.
void Loc_SortSpacingRegions(i32 count);
// Appends one line per region to "D:\AREASAS.txt" in the working directory.
void Loc_DumpSpacingRegions(i32 count);

}  // namespace vexo

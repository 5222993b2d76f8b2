// Blobs of high-contrast 8 x 8-pixel blocks: the block grid over the installed frame, its
// maps in the second buffer, the hulls of the blobs and the rectangles around them.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

inline constexpr i32 kBlockSize = 8;
inline constexpr i32 kBlockBoxesMax = 50;
inline constexpr i32 kBlockHullMax = 255;

// Directions 0..7: east, south-east, south, south-west, west, north-west, north, north-east.
inline constexpr i8 kBlockStepX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
inline constexpr i8 kBlockStepY[8] = {0, 1, 1, 1, 0, -1, -1, -1};
static_assert(sizeof(kBlockStepX) == 8 && sizeof(kBlockStepY) == 8);

struct BLOCK_GRID {
    u16 across;  // n = width / 8
    u16 down;    // m = height / 8
    i32 blocks;
    u8 *mapA;
    u8 *mapB;
    i32 *fillList;  // block numbers of the outline blocks where a fill starts
    i32 fillCount;
    i32 diagonalStride;      // width + 1
    i32 antiDiagonalStride;  // width - 1
    i32 neighbour[8];        // the directions' offsets in map units
};
extern BLOCK_GRID g_blockGrid;

struct BLOCK_BOX {
    i16 top, bottom, left, right;
};
struct BLOCK_BOX_TABLE {
    BLOCK_BOX box[kBlockBoxesMax];
    i16 order[kBlockBoxesMax];
};
extern BLOCK_BOX_TABLE g_blockBoxes;

// The block-blob finder: boxes in pixels of the dense high-contrast areas whose hull has more
// than five corners, at most 50, ordered by distance from the frame centre. 0 when no frame
// or second buffer is installed.
i32 Loc_FindBlockBlobs();  // into g_blockBoxes
i32 Loc_FindBlockBlobBoxes(BLOCK_BOX_TABLE *table);
// The grid over the installed frame and its areas in the second buffer; 0 without either.
i32 Loc_SetupBlockGrid();
// Map A = 1 on interior blocks whose middle cross has hi >= 48 and 4 (hi - lo) >= hi; map B cleared.
void Loc_MarkContrastBlocks();
// Alternative block tests from a block's top-left pixel: the same test on its diagonals
// (0/1), and its direction class 0..4 (1 row-wise change, 2 anti-diagonal, 3 column, 4 else).
i32 Loc_BlockDiagonalContrast(const u8 *topLeft);
i32 Loc_ClassifyBlockDirection(const u8 *topLeft);
// Labels the outline of the blob through block (x, y) 5, 6 or 7 and fills its inside with 8.
void Loc_FillBlockBlob(u8 *map, i32 x, i32 y);
// Rewrites the map as 1 where more than 10 filled blocks lie in the 5 x 5 window, else 0.
void Loc_MarkDenseBlocks(u8 *map);
// Order list of the first count boxes of g_blockBoxes.
void Loc_SortBoxesByCentre(i32 count);

// First set neighbour of block (x, y) searching directions cyclically from `from`; -1 for
// none. Blocks outside the grid count as empty.
i32 Loc_NextBlockNeighbour(const u8 *map, i32 x, i32 y, i32 from);
// Hull of the blob whose outline passes through block (x, y), the blob's first block in
// row order, on a map of the grid: clockwise from (x, y). The number of points; 2 for a
// blob too thin for a hull, 0 for a lone block. Blocks outside the map count as empty.
i32 Loc_TraceBlockHull(const u8 *map, i32 x, i32 y, GEO_POINT hull[kBlockHullMax]);
// Clears the map's blocks under the hull, spans widened by one block on each side.
void Loc_ClearHullBlocks(u8 *map, const GEO_POINT *hull, i32 count);

// The same hull and spans on any grid of n x m cells stored row by row (the block grid's
// forms above use it with the block grid's size).
i32 Loc_TraceGridHull(const u8 *map, i32 n, i32 m, i32 x, i32 y, GEO_POINT hull[kBlockHullMax]);
// Follows the outline through the set cell (x, y), whose east neighbour is clear, and puts
// in *top the first cell in row order that the walk visits. 0 when (x, y) is not set.
i32 Loc_OutlineTopCell(const u8 *map, i32 n, i32 m, i32 x, i32 y, GEO_POINT *top);
// Called for every span under a hull: cells rowStart + from .. rowStart + to of the map,
// already cut to the grid.
using HULL_SPAN_VISITOR = void (*)(void *context, i64 rowStart, i32 from, i32 to);
// Walks the hull's rows top down as the clearing does (spans widened by one cell on each
// side); nothing for fewer than 3 or more than 255 points.
void Loc_VisitHullSpans(const GEO_POINT *hull, i32 count, i32 n, i32 m, HULL_SPAN_VISITOR visit, void *context);
// The visitor that clears: context is the map.
void Loc_ClearSpan(void *map, i64 rowStart, i32 from, i32 to);
// Foot of the perpendicular from q onto the line through a and b; 0 (out untouched) when
// a and b coincide.
i32 Loc_FootOfPerpendicular(GEO_POINT *out, GEO_POINT a, GEO_POINT b, GEO_POINT q);
// Smallest-area rectangle around a convex hull in blocks: corners in pixels, the longer
// side first. Its area in square blocks; 0 for fewer than 3 points.
u32 Loc_MinAreaRectangle(GEO_POINT corners[4], const GEO_POINT *hull, i32 count);
// The same with the hull points multiplied by `scale` (1..64) before the feet and the
// corners divided by 8: 64 for 8-pixel blocks, 32 for 4-pixel cells.
u32 Loc_MinAreaRectangleScaled(GEO_POINT corners[4], const GEO_POINT *hull, i32 count, i32 scale);

}  // namespace vexo

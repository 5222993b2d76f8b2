// Edge-direction cells of the texture-region finder: the direction of a strong edge through
// 4 x 4-pixel cells, found coarse to fine along rows and columns, the cells where roughly
// perpendicular directions meet and the 8 x 8-pixel blocks holding such cells.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

// Intervals of one scan line, sorted by start, in pixels along the line.
struct EDGE_INTERVALS {
    i16 *start;
    i16 *end;
    i16 count;
    i16 capacity;
};

// Where the maps and the scratch of the texture finder lie in the second buffer.
struct TEXTURE_LAYOUT {
    i32 cellsAcross, cellsDown;  // cw, ch
    i32 blocksAcross, blocksDown;
    u8 *directionCells;
    u8 *crossings;
    u8 *blocks;
    i16 *intervalStarts;  // one line after the other, one entry per cell of the line
    i16 *intervalEnds;
    i16 *mergedStarts;  // one merged line
    i16 *mergedEnds;
    u8 *boxTemp;     // the box count's own temporary map, blocks
    u16 *codes;      // the grading's 16-bit level codes, blocks
    u16 *codeSums;   // their sums, blocks
    u16 *codeTemp;   // the sums' temporary map, blocks
    u8 *end;  // first byte past the layout
};

inline constexpr i32 kTextureLabelsMax = 253;
inline constexpr i32 kTextureComponentsMax = kTextureLabelsMax + 1;  // records numbered from 1

// One labelled component of graded blocks; the rectangle and the extents are the finder's.
struct TEXTURE_COMPONENT {
    GEO_POINT corners[4];
    i16 startX, startY;  // its first block in row order
    i16 extentA, extentB;
    i16 size;  // blocks; the finder later uses 0 for invalid and 1 for taken
    i16 inner3, inner2;
};

// The layout over the installed frame; 0 when no frame or second buffer is installed.
i32 Loc_TextureLayout(TEXTURE_LAYOUT *out);

// Direction class 1..16 of a Prewitt gradient: class k is the direction (k - 1) x 22.5 degrees
// from +x toward +y.
i32 Loc_GradientClass(i32 gx, i32 gy);

void Loc_BuildDirectionCells(u8 *map, i32 cw, i32 ch);
void Loc_ScanRowsCoarseToFine(u8 *map, i32 cw, i32 ch);
void Loc_ScanColumnsCoarseToFine(u8 *map, i32 cw, i32 ch);
// Scans pixels from .. to - 1 of one image row (column), writing the first class met in each
// cell of the line and the line's intervals of +-16 pixels around the recorded edges.
void Loc_ScanRowDirections(const u8 *row, i32 from, i32 to, EDGE_INTERVALS *intervals, u8 *cells);
void Loc_ScanColumnDirections(const u8 *columnTop, i32 from, i32 to, EDGE_INTERVALS *intervals, u8 *cells,
                              i32 cellsPerRow);
void Loc_MarkCrossingCells(const u8 *map, u8 *crossings, i32 cw, i32 ch);
void Loc_CellsToBlocks(const u8 *crossings, u8 *blocks, i32 blocksAcross, i32 blocksDown);

// Sum over the (2r + 1)-square window of every block, windows cut at the map's edges (8-bit
// sums); in and out may be the same map. Uses the layout's own temporary map.
void Loc_BoxCount(const u8 *in, u8 *out, i32 n, i32 m, i32 r);
// Grades 0..3 in place from the 0/1 crossing blocks: the highest level whose region, opened
// by a 3 x 3 square, covers the block. The cross variant weighs a block and its four neighbours.
void Loc_GradeBlocks(u8 *map, i32 n, i32 m);
void Loc_GradeBlocksCross(u8 *map, i32 n, i32 m);
// Labels the components of blocks graded above level into labels (1..253) and records[1..];
// their number. 0 when the labels run out; the label map is then cleared.
i32 Loc_LabelBlockComponents(const u8 *map, u8 *labels, TEXTURE_COMPONENT *records, i32 n, i32 m, i32 level);

}  // namespace vexo

// The reference grid of an arranged group: module lines paired into lattice nodes, the nodes
// placed in integer grid coordinates by an affine model, the grid size from the finders, and
// the border of the grid refined by following the symbol's sides.
#pragma once

#include "core/types.h"
#include "hanxin/cscn_outline.h"
#include "hanxin/cscn_symbol.h"

namespace vexo {

inline constexpr i32 kCscnPairLimit = 96;   // segments per family the pairing takes
inline constexpr i32 kCscnPassNodes = 60;
inline constexpr i32 kCscnGridNodes = 120;

// The lattice model: image position of (u, v) = origin + u basisU + v basisV (1/16 pixel).
struct CSCN_AFFINE_GRID {
    i32 valid;
    POINT_I32 basisU;
    POINT_I32 basisV;
    POINT_I32 origin;
    POINT_I32 point;  // the point to solve or to add to the origin
    i32 u;
    i32 v;
    i32 sumX;
    i32 sumY;
    i32 count;
};

// A lattice node: where a row and a column line meet (or one end of an unpaired line).
struct CSCN_GRID_NODE {
    const CSCN_EDGE_SEGMENT *row;     // null for a node made of a column line alone
    const CSCN_EDGE_SEGMENT *column;  // null for a node made of a row line alone
    POINT_I32 point;                  // 1/16 pixel
    i32 u;
    i32 v;
    i32 orientation;  // 1: the row line starts where the column line ends; 0 the other way
    i32 assigned;
};

struct CSCN_PAIRING {
    const CSCN_EDGE_SEGMENT *rows;
    i32 rowCount;
    const CSCN_EDGE_SEGMENT *columns;
    i32 columnCount;
    u8 rowPaired[kCscnPairLimit];     // paired in either pass
    u8 columnPaired[kCscnPairLimit];
    CSCN_GRID_NODE nodes[kCscnGridNodes];
    i32 firstPassCount;  // nodes [0, firstPassCount) of orientation 1, then those of orientation 0
    i32 count;
};

struct CSCN_ASSIGNMENT {
    CSCN_AFFINE_GRID *model;
    CSCN_GRID_NODE *nodes;
    i32 count;
    i32 minU, maxU, minV, maxV;
};

// Handed from the reference grid to the border refinement.
struct CSCN_GRID_CONTEXT {
    POINT_I32 corners[4];  // whole pixels, slot order
    i32 moduleSizes[4];    // whole pixels
    CSCN_SYMBOL *symbol;
    CSCN_AFFINE_GRID *model;
};

// 1 when a reference grid was found (cells, side tables, narrowed versions), else 0.
i32 CSCN_FindReferenceGrid(CSCN_SYMBOL *symbol);
// 1 at once for a found grid; else builds the corner-only grid: 1, or 0 when it fails.
i32 CSCN_EnsureGrid(CSCN_SYMBOL *symbol, i32 found);
// Nodes of both pairing passes; 0 when a family holds more than kCscnPairLimit segments.
i32 CSCN_PairSegments(CSCN_PAIRING *pairing);
// sum += point - u basisU - v basisV, count += 1, origin = sum / count (reset first if asked).
void CSCN_AccumulateOrigin(CSCN_AFFINE_GRID *model, i32 reset);
// 1 with (u, v) of the model's point; 0 for a singular basis or a quotient out of range.
i32 CSCN_SolveGridCoordinates(CSCN_AFFINE_GRID *model);
// Grid coordinates for the nodes; the basis (estimateBasis) and the origin sums (updateOrigin)
// taken from them. Answers the nodes examined; 0 and nothing assigned for a singular basis.
i32 CSCN_AssignGrid(CSCN_ASSIGNMENT *assignment, i32 estimateBasis, i32 updateOrigin);
// The corner cells of a class-c grid from the finders.
void CSCN_SeedCornerCells(CSCN_SYMBOL *symbol, i32 c);
i32 CSCN_BuildReferenceGrid(const CSCN_OUTLINE *outline, CSCN_SYMBOL *symbol);

// ---- The grid's sides.
struct CSCN_SIDE_FOLLOWER {
    LINE_FIT sideLine;
    POINT_I32 direction;  // 1/16 pixel
    LINE_FIT crossLine;
    POINT_I32 point;  // 1/16 pixel
    i32 threshold;    // thousandths
    POINT_I32 points[40];
    i32 count;
};

i32 CSCN_QuadFromPoints(const POINT_I32 *corners, CSCN_SIDE_SET *set);
i32 CSCN_OuterOutline(const CSCN_SYMBOL *symbol, CSCN_SIDE_SET *set, i32 *moduleSizes);
i32 CSCN_SidesFromGrid(CSCN_GRID_CONTEXT *context, CSCN_SIDE_SET *set);
// The index of the segment picked to continue the side, or -1.
i32 CSCN_FollowSide(CSCN_SIDE_FOLLOWER *follower, const CSCN_EDGE_SEGMENT *segments, const i32 *scores, i32 count);
i32 CSCN_RefineBorder(CSCN_GRID_CONTEXT *context, i32 selector);
void CSCN_RefineCells(CSCN_SYMBOL *symbol);
// The border cells the cell refinement places, in its order (at most 20), with the side
// group (0: side 01, 1: side 12, 2: side 30, 3: side 23) whose finders give the radius.
i32 CSCN_ListBorderTargets(i32 c, i32 *u, i32 *v, i32 *group);
i32 CSCN_BorderTargetRadius(const CSCN_SYMBOL *symbol, i32 group);
i32 CSCN_BuildCornerGrid(CSCN_SYMBOL *symbol);

}  // namespace vexo

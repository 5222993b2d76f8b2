// The symbol reader's per-group work record and the steps that fill it from a group of
// measured finder patterns.
#pragma once

#include "core/types.h"
#include "hanxin/cscn_finder.h"
#include "toolkit/geometry.h"

namespace vexo {

// A traced module edge moved into the middle of its module: ends in 1/16 pixel.
struct CSCN_EDGE_SEGMENT {
    i32 x0;
    i32 y0;
    i32 x1;
    i32 y1;
    LINE_FIT line;
    i32 valid;
};

// The four sides of a symbol (01, 30, 12, 23) and its corners (slots 0, 1, 3, 2).
struct CSCN_SIDE_SET {
    CSCN_EDGE_SEGMENT sides[4];
    POINT_I32 corners[4];
};

inline constexpr i32 kCscnGridSide = 12;

// One node of the reference grid, (u, v) lattice steps from slot 0.
struct CSCN_REFERENCE_CELL {
    i32 imageX;  // 1/16 pixel
    i32 imageY;
    i32 moduleX;
    i32 moduleY;
    i32 column;
    i32 row;
    i32 imageFound;
    i32 moduleSet;
    i32 present;
    i32 usable;
};

// Corner slots run around the symbol; slot 3 holds the differently oriented pattern. An
// empty slot is an all-zero record. The caller clears the whole record before each group.
struct CSCN_SYMBOL {
    CSCN_FINDER corners[4];
    i32 size;
    i32 sizeVersion;
    i32 minSize;
    i32 maxSize;
    i32 minVersion;
    i32 maxVersion;
    i32 gridFound;
    i32 minClass;
    i32 maxClass;
    i32 functionInfoFound;
    i32 levelHint;
    i32 maskHint;
    CSCN_REFERENCE_CELL referenceCells[kCscnGridSide * kCscnGridSide];
    CSCN_EDGE_SEGMENT columnSides[kCscnGridSide][kCscnGridSide];  // [v][u]: node (u, v) to (u, v + 1)
    CSCN_EDGE_SEGMENT rowSides[kCscnGridSide][kCscnGridSide];     // [u][v]: node (u, v) to (u + 1, v)
    i32 refinedSidesValid;
    CSCN_SIDE_SET refinedSides;
    u8 candidateVersions[4];
    u8 candidateCount;
    REGION_QUAD quad;  // the symbol's corners once sampled
};

extern CSCN_SYMBOL g_cscnSymbol;

inline constexpr i32 kCscnMaxArrangements = 20;

// One way to place the group's finders: the finder index per slot, or for an empty slot the
// complement of the entry's own table index (never equal to another entry's slot).
struct CSCN_ARRANGEMENT {
    i32 count;  // finders placed, 2 to 4
    i32 slot[4];
};

struct CSCN_ARRANGEMENT_TABLE {
    CSCN_ARRANGEMENT entry[kCscnMaxArrangements];
    i32 count;
};

// Every arrangement the directions allow, in enumeration order, duplicates not yet merged.
void CSCN_ListArrangements(const CSCN_FINDER *finders, i32 count, CSCN_ARRANGEMENT_TABLE *table);
// Merges the two-finder duplicates, then (more than one left) the three-finder ones.
void CSCN_MergeArrangements(CSCN_ARRANGEMENT_TABLE *table);

// Which finder sits in which corner: 1 with the chosen finders copied into their slots,
// 0 (symbol untouched) when fewer than two finders or no arrangement fits.
int CSCN_ArrangeFinders(const CSCN_FINDER *finders, i32 count, CSCN_SYMBOL *symbol);

}  // namespace vexo

namespace vexo {

// The mean module size of the last size estimate, whole pixels; 0 until one succeeds.
extern f32 g_cscnModuleSize;

// Edge points (1/16 pixel) along `dir` from a finder's corner over ten module sizes: the
// alternating edges of the pass, at most min(n, 5).
i32 CSCN_EdgesAlongDirection(const CSCN_FINDER *finder, POINT_I32 dir, POINT_I32 *points, i32 n);
i32 CSCN_EdgesAlongDirectionIfValid(const CSCN_FINDER *finder, POINT_I32 dir, POINT_I32 *points, i32 n);
// The symbol size in modules from edge distances between corner finders, with the
// tolerance range; 0 (range 0) when nothing could be measured.
i32 CSCN_EstimateSymbolSize(const CSCN_SYMBOL *symbol, i32 *minSize, i32 *maxSize);

}  // namespace vexo

namespace vexo {

// The running slope of one edge trace, x 1024 (1/16 pixel across per whole pixel along).
// The sums are 64-bit: each position adds about 16,384 x slope x d, and the prediction
// multiplies the weighted sum by d again, which passes 32 bits on long or steep traces.
struct CSCN_SLOPE_AVERAGE {
    i32 lastOffset;    // 1/16 pixel, in the sense of the positive direction
    i32 lastDistance;  // whole pixels
    i32 weight;
    i32 reset;  // set: the next update clears the sums first
    i64 weightedSum;
    i64 weightSum;
};

// One edge followed away from its start point. The main axis is x in column mode (a roughly
// horizontal edge, one image column sampled per step), y otherwise.
struct CSCN_EDGE_TRACER {
    i32 startCross;  // 1/16 pixel
    i32 startMain;   // whole pixels
    i32 step;        // whole pixels per step after the first ten
    i32 extent;      // farthest main-axis position (exclusive)
    i32 tolerance;   // 1/16 pixel
    u32 rising;      // 1: dark to light in increasing cross coordinate
    i32 columnMode;
    u32 ratio;
    u32 minStep;
    i32 fitValid;
    CSCN_SLOPE_AVERAGE slope;
    POINT_I32 first;  // 1/16 pixel, the end reached in the negative direction
    POINT_I32 last;   // the end reached in the positive direction
    LINE_FIT line;    // cross over main, 1/16 pixel; alongX = columnMode
    LINE_SUMS sums;   // main coordinate as u, cross coordinate as v
    f32 sumsSolution[2];
    i32 solved;
};

// A crossing segment and what to do with the edges met along it.
struct CSCN_TRACE_REQUEST {
    const GEO_POINT *from;  // whole pixels
    const GEO_POINT *to;
    CSCN_EDGE_SEGMENT *segments;
    i32 *scores;  // may be null: the cosine of each kept segment, x 1000
    i32 maxSegments;
    i32 moduleWidth;  // whole pixels
    i32 minLength;    // whole pixels
    u32 rising;       // 1: the rising edges along from -> to, 0 the falling ones
    POINT_I32 refDirection;
    i32 minCosine;       // thousandths
    i32 refAngle;        // milliradians, 0..1570
    i32 checkDirection;  // 1: filter by direction
    i32 angleMode;       // 1: compare angles, else cosines
    i32 angleClass;      // 1: 523 milliradians, 2: 349, else 261
};

// Milliradians of the direction (dx, dy) folded into 0..1570; 785 on the diagonals.
i32 CSCN_EdgeAngle(i32 dx, i32 dy);
// The angle tolerance of an angle class: 523, 349 or 261 milliradians.
i32 CSCN_AngleTolerance(i32 angleClass);

// The start point as the first fitted point: both ends on it, the slope and the line sums
// reset and given the start.
void CSCN_StartEdgeTrace(CSCN_EDGE_TRACER *tracer);
// Adds weight x (lastOffset x 1024 / lastDistance) to the average; a zero distance adds
// nothing, the reset flag clears the sums first. Answers 1.
i32 CSCN_UpdateSlopeAverage(CSCN_SLOPE_AVERAGE *average);
// Follow the edge from the start: row traces with y increasing and decreasing, column traces
// with x increasing and decreasing. Each moves `last` (positive) or `first` (negative) and
// adds the accepted points, all but the last one, to the line sums.
void CSCN_TraceEdgeDown(CSCN_EDGE_TRACER *tracer);
void CSCN_TraceEdgeUp(CSCN_EDGE_TRACER *tracer);
void CSCN_TraceEdgeRight(CSCN_EDGE_TRACER *tracer);
void CSCN_TraceEdgeLeft(CSCN_EDGE_TRACER *tracer);
// The traced line moved into the middle of the module beside it (the darkest of six parallels
// in pass 1, the brightest in pass 0): 1, or 0 without a valid fit or a parallel inside.
i32 CSCN_CentreEdgeLine(CSCN_EDGE_TRACER *tracer, LINE_FIT *out, i32 pass);
// Traces the edges of one polarity met along the crossing segment; answers the number of
// segments written (at most maxSegments), 0 for a null pointer or nothing kept.
i32 CSCN_TraceEdgesAcross(const CSCN_TRACE_REQUEST *request);
// Pulls a point (1/16 pixel) to the grey centroid of the window of `radius` pixels around
// it: dark pixels weigh in the normal pass, light ones in the inverse pass.
void CSCN_CentreOfMass(POINT_I32 *point, i32 radius);

}  // namespace vexo

// The edge list of one scan line: written by the linear image side, read by
// Line_DecodeEdgeLine. The arrays are reached through pointers so that a caller can hand
// over arrays of exactly a line's size; by default they point at the record's own room.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr int kLineEdgeRoom = 600;

struct LINEIMG_EDGE_INPUT {
    u16 edgeCount;
    i16 widthCount;    // edgeCount - 1
    u16 sampleCount;   // samples of the line; x 16 gives the line length in edge units
    u16 *widths;       // element widths in 1/16 sample, bar first
    u16 *edges;        // edge positions in 1/16 sample, from the first bar's start
};

extern LINEIMG_EDGE_INPUT g_lineEdgeInput;
extern u16 g_lineEdgeWidthRoom[kLineEdgeRoom];
extern u16 g_lineEdgePositionRoom[kLineEdgeRoom];

}  // namespace vexo

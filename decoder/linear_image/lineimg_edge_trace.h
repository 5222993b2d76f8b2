// The one edge follower behind the six tracers: a rule record says along which axis it
// steps, how its window is read and which edges it takes.
#pragma once

#include "core/types.h"
#include "linear_image/lineimg_segments.h"

namespace vexo {

struct TRACE_RULES {
    u8 columns;         // 1: steps along x, the window runs along a column
    u8 backward;        // 1: 7 samples read against the axis from 1 before prev + n
    i8 stepFlag1;       // line step for flag 1 (flag 0 steps the other way)
    u8 roundHalf;       // new coordinate from (p + 8) >> 4 instead of p >> 4
    u8 meanTest;        // stop at an edge beyond twice the mean position
    u8 repeatAfterCut;  // a cut first edge repeats the line instead of taking the edge
    u8 widen;           // positions 17 to 31 move the window outwards
    i32 candidateLo;    // positions taken as candidates
    i32 candidateHi;
    i32 cutLo;  // a first edge outside [cutLo, cutHi] marks the cut
    i32 cutHi;
    i32 sumTolerance;  // 0: no test; else the 4-pixel sums of successive points agree within it
    i32 farMargin;     // the window anchor stays at or below W - farMargin, H - farMargin
    i32 minStep;       // negative: the decoder's current minimum step
};

// The six tracers, rows of kTraceRules.
enum TraceKind : int {
    kTraceRows = 0,
    kTraceColumns = 1,
    kTraceRefitRows = 2,
    kTraceRefitRowsBack = 3,
    kTraceRefitColumns = 4,
    kTraceRefitColumnsBack = 5,
    kTraceKinds = 6,
};
extern const TRACE_RULES kTraceRules[kTraceKinds];

// Follows the edge of t by the rules; 1 with ends and count, else 0. t->window and
// t->points must hold kTraceWindow and kTracePoints entries.
int LineImg_RunTrace(EDGE_TRACE *t, const TRACE_RULES *rules);

// Sets t's buffers from the finder's scratch at offset scratch: 0 when it is not there.
int LineImg_AttachTraceScratch(EDGE_TRACE *t, i32 scratch);

}  // namespace vexo

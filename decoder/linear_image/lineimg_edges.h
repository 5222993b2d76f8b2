// Edge lists of a pair of scan lines: gradient-centroid edges of each line, the edges both
// lines agree on, and the cleaned alternating bar edges (1/16 sample) that the linear
// symbology table decodes. Samples are bytes, dark low: a falling edge starts a bar, a
// rising edge ends it. Every step works in place on the caller's arrays and allocates
// nothing.
#pragma once

#include "core/types.h"
#include "linear_image/lineimg_module.h"

namespace vexo {

inline constexpr i32 kLineImgEdgeCap = 400;    // edges of one polarity of one line
inline constexpr i32 kLineImgMatchCap = 126;   // falling edges that two lines may share
inline constexpr i32 kLineImgInputEdgeCap = 2 * kLineImgMatchCap;  // edges handed to the table
inline constexpr i32 kLineImgMatchSteps = 200;

// Rising (falling) edges of samples[0..n-1]: one per strictly monotonic run whose ends
// differ by at least minStep, at its gradient centroid; at most capacity. Returns the count.
u16 LineImg_RisingEdges(const u8 *samples, i32 n, i32 *positions, i32 *steps, i32 minStep, i32 capacity);
u16 LineImg_FallingEdges(const u8 *samples, i32 n, i32 *positions, i32 *steps, i32 minStep, i32 capacity);
// Runs of at least 4 falling edges that both lines agree on, copied to out (line B's
// positions, at most 126). Counts outside 5..126 or more than 200 search steps: 0 and
// *matched = 0.
int LineImg_MatchLines(const i32 *fallA, i32 countA, const i32 *fallB, i32 countB, i32 *out, i32 *matched);
// Pairs the edges of A and B lying within 32 of each other; both lists are rewritten as
// their pairs. Returns the number of pairs.
i32 LineImg_IntersectEdges(i32 *posA, i32 *stepA, i32 countA, i32 *posB, i32 *stepB, i32 countB);
// Reduces one line's lists to falling, rising, falling, ... in place; returns the number
// of bars (0 with fewer than 8 of either after the start).
i32 LineImg_AlternateEdges(i32 *risePos, i32 *riseStep, i32 riseCount, i32 *fallPos, i32 *fallStep,
                           i32 fallCount);
int LineImg_TrimWeakEnds(const i32 *risePos, const i32 *riseStep, const i32 *fallPos, const i32 *fallStep, i32 n,
                         i32 *first, i32 *last);
i32 LineImg_MergeWeakElements(i32 *risePos, i32 *riseStep, i32 *fallPos, i32 *fallStep, i32 first, i32 last);
// Removes every run of more than 5 consecutive bars whose edge steps sum below 30.
i32 LineImg_DropWeakRuns(i32 *risePos, i32 *riseStep, i32 *fallPos, i32 *fallStep, i32 n);
// Widths (bar, space, bar, ...) and edges of m bars into the record and the widths into
// the edge input; 0 when a width is not positive or the record or the input has no room.
i32 LineImg_WriteWidths(const i32 *barStarts, const i32 *barEnds, i32 m, LINEIMG_LINE_RECORD *record);
// Edge positions of m bars into the edge input: 2m, or 0 (a width not positive, too many).
i32 LineImg_WriteEdgeInput(const i32 *barStarts, const i32 *barEnds, i32 m);

}  // namespace vexo

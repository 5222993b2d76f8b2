// Following an edge of the installed image beyond two known points of it, one falling-edge
// profile every 4 pixels.
#pragma once

#include "core/types.h"

namespace vexo {

inline constexpr i32 kEdgeTrackMaxPoints = 200;

// Extends the edge through P and Q (whole pixels, P before Q along it): beyond Q when
// reverse is 0, before P otherwise. Axis 1: the edge runs down the image (steps in y,
// profiles along rows); any other axis: across (steps in x, profiles down columns).
// expectedShift: the across-offset expected per step; ratio: relative contrast x 1024 for
// the profile edge finders; limit: the largest along-coordinate a step may reach. Sets
// *count to 0, and answers 1 with start, end and *count (the given points included) when
// the tracked edge has at least 4 points; answers 0 with start and end unwritten
// otherwise. Null outputs or no installed image give 0.
int Loc_ExtendFallingEdge(POINT_I32 p, POINT_I32 q, int reverse, POINT_I32 *start, POINT_I32 *end, i32 expectedShift,
                          int axis, i32 ratio, i32 limit, i32 *count);

}  // namespace vexo

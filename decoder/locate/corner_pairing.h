// Merging of edge segments that continue one another, and pairing of segments that meet
// at roughly a right angle into L-corner candidates (the two solid arms of a Data Matrix
// symbol). Coordinates in 1/16 pixel, directions in 1/16 degree.
#pragma once

#include "core/types.h"
#include "locate/gradient_segments.h"

namespace vexo {

// Merges in place segments whose facing ends lie under 6 pixels apart and whose
// directions agree within 5 degrees; a merged record keeps its old length. Answers the
// new count (a count of 0 or less unchanged).
i32 Loc_MergeSegments(GRADIENT_SEGMENT *segs, i32 count);
// 1 when b continues a: same direction within 5 degrees, gap under 24 pixels, on one line.
int Loc_SegmentsContinue(const GRADIENT_SEGMENT &a, const GRADIENT_SEGMENT &b);
// Pairs segments into L candidates (p = first arm end, d = the fourth corner, q = second
// arm end, v = the corner, flag 1 when the arm ends kept their order, i.e. a dark L on a
// light ground). Needs the installed image and its second buffer (the texture test).
// Answers the number written, at most capacity; 0 for capacity or count below 1.
i32 Loc_PairSegmentsIntoCorners(DM_L_CANDIDATE *out, i32 capacity, const GRADIENT_SEGMENT *segs, i32 count);
// 1 when the line from A to B, extended 3 pixels at each end, crosses a textured area.
int Loc_DiagonalLooksTextured(POINT_I32 a, POINT_I32 b);
// 1 when the arms O-A and O-B differ in length by at most a factor 5 and no long segment
// ends inside the parallelogram they span.
int Loc_CornerAreaClear(POINT_I32 a, POINT_I32 o, POINT_I32 b, const GRADIENT_SEGMENT *segs, i32 count);
// 1 when P and Q are in order around O (positive cross product), else 0 after exchanging.
int Loc_OrderAroundCorner(POINT_I32 *p, POINT_I32 o, POINT_I32 *q);
// P = the start point of a, Q = the end point of b.
void Loc_SegmentEndPoints(const GRADIENT_SEGMENT &a, const GRADIENT_SEGMENT &b, POINT_I32 *p, POINT_I32 *q);

}  // namespace vexo

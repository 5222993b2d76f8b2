// Straight edge segments of a search window, grown from Sobel gradients at half resolution.
// Angles are in 1/16 degree (5760 a turn), clockwise on the screen; coordinates of the
// records are in 1/16 pixel of the full image.
#pragma once

#include "core/types.h"

namespace vexo {

// One straight edge: start and end point, the direction of (x0 - x1, y0 - y1), which is
// the gradient turned a quarter turn clockwise, and the approximate length.
struct GRADIENT_SEGMENT {
    i16 x0;
    i16 y0;
    i16 x1;
    i16 y1;
    u16 direction;
    u16 length;
};
static_assert(sizeof(GRADIENT_SEGMENT) == 12);

inline constexpr i32 kAngleTurn = 5760;
inline constexpr i32 kAngleHalfTurn = 2880;

// Direction of (dx, dy) in 0..5760 from the arctangent table; only the low 16 bits of each
// argument count, as signed values. (0, 0) gives 4320.
i16 Loc_DirectionAngle(i32 dx, i32 dy);
// |a - b| of the 16-bit operands folded to 0..2880.
i16 Loc_AngleDistance(i32 a, i32 b);
// The approximate square root of q from the bit pattern of its float (exact at powers of
// 4, never below the true root), truncated and capped at 65535; 0 for q <= 0.
u16 Loc_ApproxRoot(i64 q);

// The finder over the window spanned by the quad's corners (clipped to the installed
// image). Writes at most capacity records and answers their count; 0 for a capacity below
// 1, a null array or quad, no installed image, a window under 4 half-resolution pixels in
// either direction, or an arena without room for the five work blocks. Every block taken
// is given back before it returns.
i32 Loc_FindGradientSegments(GRADIENT_SEGMENT *out, const REGION_QUAD *window, i32 capacity);

// The seed scan over W x H maps, in square rings from the centre; records in map
// coordinates x 32. Rows 0 and H - 1 and columns 0 and W - 1 of the angle map must be 0.
i32 Loc_ScanSegmentSeeds(u16 *angles, const u16 *magnitudes, i32 W, i32 H, GRADIENT_SEGMENT *out, i32 capacity);
// 1 when a segment was traced from the seed (its neighbours one step away must exist);
// the record is relative to the seed. Traced runs are cleared in the angle map.
int Loc_TrySegmentSeed(u16 *angle, const u16 *magnitude, i32 W, GRADIENT_SEGMENT *out);
// Trace row by row (a steep edge), respectively column by column, and fit a line.
int Loc_FitVerticalEdge(u16 *angle, const u16 *magnitude, i32 W, GRADIENT_SEGMENT *out);
int Loc_FitHorizontalEdge(u16 *angle, const u16 *magnitude, i32 W, GRADIENT_SEGMENT *out);
// One run of like orientation on a row (column: entries stride apart); line points at the
// line's entry in the seed's column (row). lo and hi are exclusive bounds, in and out.
int Loc_TraceRowRun(u16 *line, i32 angle, i16 *lo, i16 *hi);
int Loc_TraceColumnRun(u16 *line, i32 angle, i32 stride, i16 *lo, i16 *hi);
// Sets the direction and orders the end points so that the direction is the gradient
// turned a quarter turn clockwise.
void Loc_OrientSegment(i32 gradientAngle, GRADIENT_SEGMENT *seg);

}  // namespace vexo

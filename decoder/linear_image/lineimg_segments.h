// Bar-edge segments: the falling edges that two parallel scan lines 4 pixels apart have in
// common are followed through the image, two lines a step, and kept as straight segments
// with their two ends. Row orientation follows upright bars (rows scanned, first end the
// upper one), column orientation flat bars (columns scanned, first end the left one).
// Whole pixels; edge positions inside sampled windows in 1/16 sample.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"
#include "toolkit/quad.h"

namespace vexo {

inline constexpr i32 kSegmentCapacity = 100;
inline constexpr i32 kTracePoints = 200;
inline constexpr i32 kTraceWindow = 8;
// A tracer's scratch: its edge window, then its point list.
inline constexpr i32 kTraceScratchBytes =
    kTraceWindow * static_cast<i32>(sizeof(i32)) + kTracePoints * static_cast<i32>(sizeof(GEO_POINT));

struct LINE_SEGMENT {
    i32 x0, y0;  // first end: upper (rows) or left (columns)
    i32 x1, y1;
    i32 midX, midY;  // (x0 + x1) >> 1, (y0 + y1) >> 1
    i32 length;
    i32 angleBin;  // written by the band builder
    i16 endBox[8];  // x0 - m, x0 + m, y0 - m, y0 + m, x1 - m, x1 + m, y1 - m, y1 + m
    i16 box[4];     // min x, max x, min y, max y
};

struct SEGMENT_STORE {
    LINE_SEGMENT seg[kSegmentCapacity];
    i32 count;
};

// The region finder's store; each pass empties it before it scans.
extern SEGMENT_STORE g_segmentStore;

// One trace. flag 1 follows the edge from b through a onwards (upwards or leftwards), 0 from
// a through b. Outputs end0, end1 (end0 the upper or left one) and count (points followed,
// a and b included). window and points lie in the caller's scratch.
struct EDGE_TRACE {
    GEO_POINT a;
    GEO_POINT b;
    i32 flag;
    i32 expectedShift;
    i32 ratio;
    GEO_POINT end0;
    GEO_POINT end1;
    i32 count;
    i32 *window;        // kTraceWindow edge positions
    GEO_POINT *points;  // kTracePoints
};

// The two sampled lines of a refit: sample k of line A lies at (xA[k], yA[k]).
struct SAMPLED_LINE_PAIR {
    const i32 *xA;
    const i32 *yA;
    i32 countA;
    const i32 *xB;
    const i32 *yB;
    i32 countB;
};

// Quantised angle in degrees of a slope given as 1024 dy / dx: 10, 15, ..., 85 for slopes
// leaning one way, 90 near the vertical, 105 .. 175 leaning the other way, 180 near the
// horizontal. 95 and 100 never occur.
i32 LineImg_EdgeAngle(i32 slope);
// The angle of the line through p and q: 90 when p.x = q.x (no division), else
// LineImg_EdgeAngle((p.y - q.y) * 1024 / (p.x - q.x)) with integer division.
i32 LineImg_SegmentAngle(const GEO_POINT *p, const GEO_POINT *q);

// Follow a falling edge along rows (2 rows a step; the window is 8 pixels of the row) or
// along columns, with the decoder's current minimum step and the given ratio. scratch is
// the offset of kTraceScratchBytes in the finder's scratch. 1 with the ends and the count
// when the edge was followed for at least 2 points beyond a and b; else 0 (count 0 when
// a and b share the line). Reads nothing within 16 pixels of the image border.
int LineImg_TraceEdgeRows(const GEO_POINT *a, const GEO_POINT *b, i32 flag, GEO_POINT *end0, GEO_POINT *end1,
                          i32 expectedShift, i32 ratio, i32 *countOut, i32 scratch);
int LineImg_TraceEdgeColumns(const GEO_POINT *a, const GEO_POINT *b, i32 flag, GEO_POINT *end0, GEO_POINT *end1,
                             i32 expectedShift, i32 ratio, i32 *countOut, i32 scratch);

// Segments from the matched edges of one row pair (lineA, lineB: the rows' y) or column
// pair (the columns' x); lineStart is the x (y) of the lines' first sample. Edges near a
// segment stored before the call are skipped; a new segment starting within 2 pixels of an
// old one replaces it only when it is longer. Stops at kSegmentCapacity. Returns 1 and
// writes the rounded mean length of the segments added or lengthened (0 for none).
int LineImg_BuildRowSegments(const EDGE_PAIRING *pairing, SEGMENT_STORE *store, i32 *meanOut, i32 lineStart,
                             i32 scratch);
int LineImg_BuildColumnSegments(const EDGE_PAIRING *pairing, SEGMENT_STORE *store, i32 *meanOut, i32 lineStart,
                                i32 scratch);

// The refit family: the edges of two sampled lines (an edge at p stands for sample p >> 4
// of its line) traced with the refit tracers (direction 0 forward, 1 backward) at ratio
// 102 and minimum step 6; every traced segment is appended. Returns 1 and the mean.
int LineImg_RefitRowSegments(const EDGE_PAIRING *pairing, const SAMPLED_LINE_PAIR *lines, SEGMENT_STORE *store,
                             i32 *meanOut, i32 direction, i32 scratch);
int LineImg_RefitColumnSegments(const EDGE_PAIRING *pairing, const SAMPLED_LINE_PAIR *lines, SEGMENT_STORE *store,
                                i32 *meanOut, i32 direction, i32 scratch);
// The refit tracers on one record (window and points set by the caller): rows rightwards,
// rows leftwards, columns downwards, columns upwards. 1 with ends and count, else 0.
int LineImg_RefitTraceRows(EDGE_TRACE *t);
int LineImg_RefitTraceRowsBack(EDGE_TRACE *t);
int LineImg_RefitTraceColumns(EDGE_TRACE *t);
int LineImg_RefitTraceColumnsBack(EDGE_TRACE *t);

// |p - q| rounded (add 0.5, truncate), at most INT32_MAX.
i32 LineImg_RoundedDistance(GEO_POINT p, GEO_POINT q);

// Writes midpoint, length (rounded when round is set, else truncated) and the boxes of
// margin m from the two ends.
void LineImg_SetSegment(LINE_SEGMENT *s, GEO_POINT e0, GEO_POINT e1, i32 margin, i32 round);

}  // namespace vexo

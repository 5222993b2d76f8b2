// Line sampling and rasterisation: stepping along segments, clipping them to the frame,
// and reading grey values along them from the installed frame or from a caller image of
// the installed size.
//
// The rasterised segment from p to q (dx = q.x - p.x, dy = q.y - p.y, L = max(|dx|, |dy|),
// sx, sy the signs of dx, dy) has the points k = 0 .. L
//   x_k = p.x + sx * floor((2 k |dx| + L) / (2 L)),  y_k = p.y + sy * floor((2 k |dy| + L) / (2 L)):
// the major coordinate moves by one per point and the minor one is rounded half up in
// magnitude from p. Point 0 is p and point L is q. Walked from q, a segment visits other
// points wherever a half occurs. Every whole-pixel sampler and rasteriser below visits
// these points; each states which k it covers.
//
// The frame is PIXEL_FRAME (g_frame). A caller image is laid out like the installed image,
// with IMAGE_DESC's width as row stride and width and height as bounds. No routine writes
// more entries than the capacity it is given; degenerate input writes nothing.
#pragma once

#include "core/types.h"
#include "toolkit/geometry.h"

namespace vexo {

// Input segment and step count of Geo_SegmentPointAt, and its output point.
struct SEGMENT_STEP {
    i32 x0;
    i32 y0;
    i32 x1;
    i32 y1;
    i32 k;
    i32 outX;
    i32 outY;
};

// Segment and output of the offset generators Geo_BresenhamOffsets and
// Geo_PixelStepOffsets16.
struct SEGMENT_OFFSETS {
    i32 x0;
    i32 y0;
    i32 x1;
    i32 y1;
    GEO_POINT *out;
    i32 maxCount;
};

// Edge callback of Geo_RefineEdgeByRays: non-zero with *position (1/16 sample, sample k at
// 16k) when the samples hold an edge.
using RayEdgeFn = i32 (*)(const u8 *samples, i32 count, i32 *position);

struct RAY_REFINE {
    i32 startX;
    i32 startY;
    i32 endX;
    i32 endY;
    i32 centreX;
    i32 centreY;
    i32 resultX;  // output
    i32 resultY;  // output
    u8 *buffer;
    i32 bufferLength;
    RayEdgeFn findEdge;
};

struct GEO_LERP {
    i32 a;
    i32 b;
    i32 t;  // 1/1024
};

// 1 when 0 <= x < width and 0 <= y < height of the frame (x, y in pixels, 1/4 and 1/16
// pixel respectively).
i32 Geo_InFrame(i32 x, i32 y);
i32 Geo_InFrame4(i32 x, i32 y);
i32 Geo_InFrame16(i32 x, i32 y);
// Frame pixel at (x, y), or dflt outside the frame.
i32 Geo_PixelOrDefault(i32 x, i32 y, i32 dflt);
// a + (b - a) * t / 1024, truncating; 0 for a null record.
i32 Geo_Lerp1024(const GEO_LERP *lerp);

// out = the point at distance d from p towards q (d may be negative or beyond q), rounded
// half up for positive coordinates, in single precision; returns the rounded length
// trunc(sqrt(dx^2 + dy^2 + 0.5)). p = q gives out = p and 0. out may alias p or q.
i32 Geo_StepTowards(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 d);
// out = p + (q - p) * d / max(|dx|, |dy|), truncated; out = p when p = q.
void Geo_StepTowardsChebyshev(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 d);
// outX, outY = (x0, y0) + k * (dx, dy) / max(|dx|, |dy|), each rounded half away from zero;
// k may be negative (beyond the first end).
void Geo_SegmentPointAt(SEGMENT_STEP *s);

// Offsets from p of the points every `step` along the major axis of p-q, the first (0, 0);
// written while k * step < max(|dx|, |dy|), at most maxCount. Returns the number written
// (0 for maxCount <= 0, step <= 0 or p = q; 1 when step reaches q).
i32 Geo_SegmentStepOffsets(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 maxCount, i32 step);
// As above with the limit 16 * length when length > 0 (the points may then pass q).
i32 Geo_SegmentStepOffsetsWithin(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 maxCount, i32 length,
                                 i32 step);
// As above with the limit 16 * length when length > 0; each entry is {x offset, x offset +
// y offset * image width}, the second indexing an image buffer directly.
i32 Geo_SegmentStepPixelOffsets(const GEO_POINT *p, const GEO_POINT *q, GEO_POINT *out, i32 maxCount, i32 length,
                                i32 step);

// Clips p-q to [0, width-1] x [0, height-1] in place: p towards q, then q towards the
// clipped p. A segment beside the frame lands on the border, not necessarily on its line.
// On failure both points become (0, 0).
void Geo_ClipSegment(GEO_POINT *p, GEO_POINT *q, i32 width, i32 height);

// Frame pixels of points 0 .. min(len, L) - 1 (q itself is never sampled); 0 when an end is
// outside the frame or fewer than 2 samples would be written.
i32 Geo_SampleLineBresenham(i32 x0, i32 y0, i32 x1, i32 y1, u8 *buf, i32 len);
// Caller-image pixels of points 1 .. L - 1 (strictly between p and q), 255 outside; at
// most len; 0 when L < 2.
i32 Geo_SampleLine(const u8 *image, const GEO_POINT *p, const GEO_POINT *q, u8 *buf, i32 len);
// As Geo_SampleLine, also writing each point's coordinates (outside points too).
i32 Geo_SampleLineWithCoords(const u8 *image, const GEO_POINT *p, const GEO_POINT *q, u8 *buf, i32 *xs, i32 *ys,
                             i32 len);
// Caller-image pixels of points 0 .. L; an outside point repeats the previous sample (128
// for the first). Returns min(L + 1, len); 0 when L < 2 or len <= 0.
i32 Geo_SampleLineImage(const u8 *image, const GEO_POINT *p, const GEO_POINT *q, u8 *buf, i32 len);
// Caller-image pixels of the whole segment walked from the end with the smaller major
// coordinate, so that p-q and q-p give the same samples; outside points as
// Geo_SampleLineImage. Takes no capacity: at most the installed image width is written, and
// buf must hold that many. The decoder's frames are at most 1280 pixels wide, so its
// callers' 1280-sample buffers suffice.
i32 Geo_SampleLineSorted(const u8 *image, const GEO_POINT *p, const GEO_POINT *q, u8 *buf);
// Pixels of the installed image (stride and size from g_image) at the start point and the
// n = max(|dx|, |dy|) further points of the error-term walk towards (x1, y1), 0 outside;
// returns n + 1. No capacity check: out must hold n + 1 bytes.
i32 DM_SampleImageLine(const u8 *image, i32 x0, i32 y0, i32 x1, i32 y1, u8 *out);
// Bilinear frame samples one pixel apart along the major axis from (x0, y0), ends in 1/16
// pixel, both inside [0, 16 width) x [0, 16 height); L >> 4 samples (L in sixteenths), at
// most len. Outside the reader's reach a sample is 128.
i32 Geo_SampleLine16(i32 x0, i32 y0, i32 x1, i32 y1, u8 *buf, i32 len);
// Frame pixels along a ray of 1024-step increments from an inside start, at most
// min(len, max(|dx|, |dy|) + 1), stopping at the first point outside the frame.
i32 Geo_SampleRay(i32 x0, i32 y0, i32 x1, i32 y1, u8 *buf, i32 len);
// Sum of the frame pixels of points 0 .. L - 1; returns L (0, sum untouched, when an end
// is outside or L = 0).
i32 Geo_SumLine(i32 x0, i32 y0, i32 x1, i32 y1, u32 *sum);
// Sum of the samples of Geo_SampleLine16; returns their count.
i32 Geo_SumLine16(i32 x0, i32 y0, i32 x1, i32 y1, u32 *sum);
// Sum of |sample(k) - sample(k - 1)| over the samples of Geo_SumLine / Geo_SumLine16.
i32 Geo_LineVariation(i32 x0, i32 y0, i32 x1, i32 y1, u32 *sum);
i32 Geo_LineVariation16(i32 x0, i32 y0, i32 x1, i32 y1, u32 *sum);

// Points 0 .. L into first and the nodes that follow through next, at most count nodes
// (fewer when a next link is null); 0 when L < 2.
i32 Geo_RasteriseLine(const GEO_POINT *p, const GEO_POINT *q, POINT_NODE *first, i32 count);
// Points 1 .. L - 1, at most count; 0 when L < 2.
i32 Geo_RasteriseLineXY(const GEO_POINT *p, const GEO_POINT *q, i32 *xs, i32 *ys, i32 count);

// Offsets from the start of points 0 .. n - 1 of the rasterised segment, n = min(maxCount,
// L); 0 when n < 2.
i32 Geo_BresenhamOffsets(SEGMENT_OFFSETS *s);
// Ends in 1/16 pixel: offsets (1/16 pixel) of points one pixel apart along the major axis,
// rounded half away from zero, at most min(maxCount, L / 16).
i32 Geo_PixelStepOffsets16(SEGMENT_OFFSETS *s);

// 3 x 3 binomial smoothing (1 2 1 / 2 4 2 / 1 2 1, >> 4) of the frame rectangle from corner
// 0 (top-left) to the column of corner 1 and the row of corner 2, in place. The rectangle
// must lie at least one pixel inside the frame; returns 1 when smoothed, 0 when refused
// (or when the work arena cannot hold the scratch copy).
i32 Geo_SmoothRegion3x3(const REGION_QUAD *region);

// Searches the segment for the edge point closest to its line along rays from the centre:
// eight rays to S k / 9 (S the segment's Chebyshev length), then six rays over the interval
// around the best ray, until the interval is one pixel. 1 with the closest edge point in
// resultX, resultY; 0 when fewer than four of the first rays find an edge.
i32 Geo_RefineEdgeByRays(RAY_REFINE *r);

}  // namespace vexo

// Point-level routines on the installed grey image: 1/16-pixel samplers, probes that move a
// point across a ring onto its middle, steps to the darkest or brightest neighbour, and
// re-centring of a point in a dark or light run. The bulls-eye finder and the QR finder
// both rely on these contracts.
//
// Callers that think of a point on the ring of a dark-on-light pattern name four of these
// by the extreme they move the point to (Azt_SnapToDarkSmall and its kin):
//   dark, small pattern   -> Azt_ClimbToDarkest    (walks to the darkest sample nearby)
//   dark, large pattern   -> Azt_ProbeRisingEdges  (centres the point in a dark run)
//   bright, small pattern -> Azt_ClimbToBrightest  (walks to the brightest sample nearby)
//   bright, large pattern -> Azt_ProbeFallingEdges (centres the point in a light run)
// The bulls-eye finder uses the bright pair for dark-on-light symbols, whose corners lie on
// a light ring.
#pragma once

#include "core/types.h"

namespace vexo {

// Point samplers, point (x, y) in 1/16 pixel; the result is grey x 16 (0..4080).
// Bilinear over the pixel holding the point and its right, lower and lower-right
// neighbours; 0 when any of the four lies outside the image.
u16 Azt_SampleBilinear16(const i32 point[2]);
// Catmull-Rom bicubic over the 4 x 4 pixels from (X - 1, Y - 1) to (X + 2, Y + 2),
// (X, Y) = point >> 4, clamped to 0..4080; 0 when any of the 16 lies outside the image.
u16 Azt_SampleBicubic16(const i32 point[2]);

// Edge probes: point in 1/16 pixel, moved in place along the direction (a, b), the
// displacement of one step in 1/16 pixel. Each looks up to 23 steps behind and ahead of the
// point. When a sample point leaves the image (or a step does not fit in an int) the point is
// left alone and 0 is returned.
// Falling: moves the point to the middle between the nearest light-to-dark edge behind it
// and the one ahead (the middle of a light run); returns the correction in 1/16 step.
float Azt_ProbeFallingEdges(i32 point[2], float a, float b);
// Rising: the same with dark-to-light edges (the middle of a dark run).
float Azt_ProbeRisingEdges(i32 point[2], float a, float b);
// Climbs: bicubic samples one step behind and ahead choose the brighter (darker) side; the
// point then walks that way, up to 13 steps, and stops on the first sample brighter (darker)
// than the next two. Without such a sample the point stays. The result is always 0.
float Azt_ClimbToBrightest(i32 point[2], float a, float b);
float Azt_ClimbToDarkest(i32 point[2], float a, float b);

// Neighbour steps, point in whole pixels: moves it to the darkest (brightest) of its 3 x 3
// pixels and returns that grey. A point without all eight neighbours inside the image stays
// and gets the grey of its own pixel; a point outside the image stays and gets 255 (0 for the
// brightest step), a value that passes no darkness (brightness) test.
u8 Azt_StepToDarkestNeighbour(i32 point[2]);
u8 Azt_StepToBrightestNeighbour(i32 point[2]);

// Run centring, point in whole pixels: centres the point in the vertical run of pixels
// below (above) the threshold that holds it, then in the horizontal run on the new row; a
// walk towards row or column 0 stops there without testing it, and the image size bounds
// the walks down and right. The new coordinate is (bound before + bound after + 1) >> 1.
// 1 when centred (a point whose pixel is not in such a run keeps that coordinate); 0 when a
// run is longer than the limit (the vertical result may already be applied) and for a point
// outside the image, which is not read. Walks at most limit + 1 pixels each way.
int Azt_CentreInDarkRun(i32 point[2], u16 threshold, u16 limit);
int Azt_CentreInBrightRun(i32 point[2], u16 threshold, u16 limit);

// Sorts values[0..n-1] ascending, equal values keeping their order. values[n] is work space
// and holds 0 afterwards, so the array needs n + 1 slots. n <= 1 leaves the array alone.
void Azt_SortInts(int *values, int n);

}  // namespace vexo
